// Object identifiers of the X/Open variant of RDA: the application context
// "X/OPEN Basic", the SQL conformance levels "integrity-yes" and
// "integrity-no", and the character set "8859-1".
#pragma once

#include "src/asn1/decode_tree.h"

extern const ObjIdV* const rda_xopenAppCtxName;
extern const ObjIdV* const rda_xopenIntegrityYes;
extern const ObjIdV* const rda_xopenIntegrityNo;
extern const ObjIdV* const rda_xopenChar8859_1;
