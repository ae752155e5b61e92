// Hooks of the authentication mechanisms: the contents of the other form
// ([3]) of an authentication value.
//
// Minimal version: no mechanism decodes or encodes anything; the
// application layer replaces these with its mechanism dispatch.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"

// Decodes the other-form contents for the mechanism named; 0: nothing read.
int32_t getother(void* value, const ObjId* mechanism);
// Encodes them back to front; the octet count (0: nothing written).
int64_t addother(const void* value, const ObjId* mechanism);
