// Object identifiers of the X/Open variant of RDA that the client names in
// its server entries: the SQL conformance level "integrity-yes" and the
// character set "8859-1".
//
// Minimal version: the identifiers are only named here, with no arcs; the
// RDA service gives them their values when it is built.
#pragma once

#include "src/asn1/decode_tree.h"

extern const ObjIdV* const rda_xopenIntegrityYes;
extern const ObjIdV* const rda_xopenChar8859_1;
