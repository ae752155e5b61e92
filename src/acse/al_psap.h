// Copy of a presentation address record (PSAP address).
#pragma once

#include "src/asn1/ul_types.h"

struct XmTree;

// Copies the presence mask, each present selector (a negative length, read
// as signed, counts as 0; length 0 gives no octets) and the network
// addresses of `src` into `dst`, every octet copy and ring entry in `tree`.
// Selectors that are not present are left as they are in `dst`. Returns
// `dst`, or NULL when memory runs out.
UL_Paddress* al_copyPSAP(UL_Paddress* dst, const UL_Paddress* src, XmTree* tree);
