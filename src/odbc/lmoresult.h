// The names of SQL types that SQLColAttributes answers when a result
// description carries none: from the information file, else asked of the
// server and kept in the file.
#pragma once

#include <cstdint>
#include <cwchar>

struct LmoDbc;
struct LmoStmt;

// The name of an SQL type into a wide buffer of `bufferLength` bytes, cut
// to fit and terminated; *length gets the whole name's length in bytes (4
// per character), 0 when there is none.
void mapTypeToName(LmoStmt* stmt, int16_t sqlType, wchar_t* buffer, int16_t bufferLength, int16_t* length);
// Asks the server's type table for the name of type `type` (decimal text):
// 0 with the name in `buffer` and its length in *length; the failing step's
// result otherwise (100 when the table has no such type).
int16_t lmoRequestType(LmoDbc* dbc, const char* type, char* buffer, int16_t bufferLength, int16_t* length);
