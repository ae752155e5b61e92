// Value formatters of the ODBC call trace, shared by the printers: each
// writes level-32 lines on htrODBC. `name` is the argument's name printed
// before "=". Texts are shown with at most 1023 characters; nothing here
// allocates or keeps state.
#pragma once

#include <cstdint>

#include "src/odbc/odbcapi.h"

// Where a length comes from.
enum QvLenMode : int32_t {
  kQvLenValue = 1,  // the value itself (an input length)
  kQvLenPtr = 2,    // an SQLLEN at the pointer
  kQvLenPtr16 = 3,  // an SQLSMALLINT at the pointer
  kQvLenPtr32 = 4,  // an SQLINTEGER at the pointer
};

// No limit known for what may be read at a pointer: the text's own length
// or terminator decides (input texts, which the caller measured).
inline constexpr int64_t kQvNoCapacity = -1;

inline constexpr int32_t kQvShownChars = 1023;

void QVPrntHandle(const char* name, const void* pointer);
void QVGetpcbValue(const char* name, const void* pointer, int64_t value, int32_t mode);
// `capacity`: the most units that may be read at `text` (the buffer size an
// output call was given), or kQvNoCapacity.
void QVGetStrValue(const char* name, const char* text, const void* lengthPointer, int64_t length, int32_t mode,
                   int64_t capacity = kQvNoCapacity);
void QVGetWStrValue(const char* name, const wchar_t* text, const void* lengthPointer, int64_t length, int32_t mode,
                    int64_t capacity = kQvNoCapacity);
// The same for a connection string: user names and passwords masked.
void _QVGetWStrValue(const char* name, const wchar_t* text, const void* lengthPointer, int64_t length, int32_t mode,
                     int64_t capacity = kQvNoCapacity);
// A data buffer by its C type; `capacity` bounds text and binary values.
void QVGetrgbValue(const char* name, const void* data, const void* lengthPointer, int64_t length, int32_t mode,
                   SQLSMALLINT cType, int64_t capacity = kQvNoCapacity);
// A 2.x set-option value: a number, or for SQL_C_CHAR the address of a
// narrow text.
void QVPrintSetOptionValue(SQLSMALLINT cType, SQLULEN value);
// The same when the text is wide (the W export's value).
void QVPrintSetOptionValueW(SQLSMALLINT cType, SQLULEN value);
void QVPrintGetOptionValue(SQLSMALLINT cType, const void* value);
// The diagnostics of a handle given with its ODBC handle type.
void QVPrntErrList(SQLSMALLINT handleType, const void* handle);
// The diagnostics of the live ones among the handles (the error list of an
// exit record); handles that are no live record are left out.
void QvTraceErrors(const void* env, const void* dbc, const void* stmt);
