// Presentation-context entry points: a value of a presentation context is
// parsed or formatted by the routine of the context's abstract syntax, in a
// protected pass of its own nested in the pass of the enclosing PDU.
//
// Parse entries report a context they cannot serve (the code in the caller's
// error word and an empty result, the enclosing pass goes on); format entries
// raise it and so end the enclosing pass. Errors inside a routine end only
// its own pass and reach the caller through the error word.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"

struct SessionBuffer;

// Presentation-layer error numbers of these entries (src/presentation/
// perrno.h, reached through the connection record's header): PE_TSYN_NOT
// (transfer syntax not linked to the abstract syntax), PE_PCTXID_INV
// (context with neither transfer nor abstract syntax), PE_PCTXID_NOT (no
// abstract syntax, or no transfer syntax for it), PE_DFLT_NOT
// (simply-encoded data and no context to take it).

// Context of the value being parsed / formatted; -1 for simply-encoded data.
extern int32_t curr_parse_context_ID;
extern int32_t curr_format_context_ID;

// A value of context ctxId at the parse cursor.
void* aaparse(int32_t ctxId, int32_t* err);
// A value of context ctxId; tsIdx -1 = the context's own transfer syntax.
// A pre-encoded value (a chain of session buffers) returns `length`.
int64_t aaformat(int32_t ctxId, int32_t tsIdx, void* value, uint32_t* err, int32_t length);
// Simply-encoded user data (the default or the first defined context).
void* asparse(int32_t* err);
int64_t asformat(void* value, uint32_t* err);
// A value of context ctxId (-1 = the default context) in the transfer
// syntax named by an object identifier.
void* amparse(int32_t ctxId, const ObjId* transferSyntax, int32_t* err);
// A value of context ctxId in its transfer syntax, whose object identifier
// is copied to transferSyntaxOut.
int64_t amformat(int32_t ctxId, ObjId* transferSyntaxOut, void* value, uint32_t* err);
// Encoding kind of the transfer syntax to be used for ctxId.
uint32_t aaenctype(int32_t ctxId, int32_t tsIdx);

// The pass-through of pre-encoded values.
SessionBuffer* aa_pre_encoded_parse();
int32_t aa_pre_encoded_format(void* value, uint32_t* err, int32_t length);
