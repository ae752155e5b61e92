// Hooks of the authentication mechanisms: the contents of the other form
// ([3]) of an authentication value, chosen by the first arc of the
// mechanism name; called by the upper-layer value codecs and by the ACSE
// APDU codecs. No mechanism is defined: every hook reads and writes
// nothing, so the other form cannot be decoded (the caller's element
// fails) and encodes as an empty [3].
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"

// Decodes the other-form contents into `value` (the authentication-value
// record) for the mechanism named; 0: nothing read. A NULL or empty name,
// or a first arc above 3, selects no hook and gives 0.
int32_t getother(void* value, const ObjIdV* mechanism);
// Encodes them back to front; the octet count (0: nothing written).
int64_t addother(void* value, const ObjIdV* mechanism);

// The hooks of mechanisms 0-3.
int32_t aAuthMech0(void* value);
int32_t aAuthMech1(void* value);
int32_t aAuthMech2(void* value);
int32_t aAuthMech3(void* value);
int64_t fAuthMech0(void* value);
int64_t fAuthMech1(void* value);
int64_t fAuthMech2(void* value);
int64_t fAuthMech3(void* value);
