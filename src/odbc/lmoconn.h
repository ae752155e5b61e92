// The connect road of the ODBC layer below its cores: the RDA connect with
// fail-over to the further addresses of a server, the set-up after a
// connect, and the conversions of connect arguments to UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

struct LmoDbc;
struct RDA_CliHDBC;

// UTF-8 buffers of the connect arguments, terminator included.
inline constexpr int32_t kLmoServerBytes = 129;
inline constexpr int32_t kLmoCredentialBytes = 513;

// UTF-8 of `chars` characters of text (-3: up to its terminator; NULL text:
// empty) into `out` of `outBytes` bytes, cut at a character boundary; false
// when it had to be cut. A character without a UTF-8 form becomes '?'.
bool lmoToUtf8(const wchar_t* text, int64_t chars, char* out, size_t outBytes);

// Tries the further addresses of the server's address list after a
// load-balancing refusal: the one that refused is dropped from the thread's
// cached list, the RDA connection released and connected again, until an
// address answers with anything but that refusal. When none is left or the
// last refused too, the refusal goes into the driver connection's list and
// the RDA connection is released. The last connect's result.
int32_t QvConnectOnRedundantServers(RDA_CliHDBC* rdaDbc, const char* server, int16_t serverLength, const char* user,
                                    int16_t userLength, const char* password, int16_t passwordLength,
                                    const char* connectString, int32_t result, LmoDbc* dbc);

// The RDA connect of a connection with its fail-over; the thread's cached
// address list is reset afterwards. 0 connected, else the client's code.
int32_t lmoRdaConnect(LmoDbc* dbc, const char* server, const char* user, const char* password,
                      const char* connectString);

// Converts the server name (cut to 128 bytes at a character boundary), the
// user and the password (lengths in characters, -3: terminated) to UTF-8
// and connects with lmoRdaConnect. A credential longer than 512 bytes is
// refused with S1090 "<caller>: Bad length of UID" (or PWD) and -1.
int32_t lmoConnectWide(LmoDbc* dbc, const wchar_t* server, const wchar_t* user, int16_t userLength,
                       const wchar_t* password, int16_t passwordLength, const char* connectString, const char* caller);

// The set-up after a successful connect: trace levels from the connect
// string, the server's settings handed to the client. The map-default
// option's result.
int16_t QVSQLInitConnInfo(LmoDbc* dbc);

// The map-default flag from the entry "MapDefaultWcharAsChar=1" of text
// (case-insensitive); 0 without text or entry. Sets and returns it.
int32_t QvSetMapDefaultWcharAsChar(LmoDbc* dbc, const wchar_t* text, const wchar_t* dsn);

// The driver's query of one information text on the server (an SQL query,
// or the key of the special command when the connection asks that way); 0
// with the text in `out` (empty for NULL), else -1.
int16_t lmoRequestInfo(LmoDbc* dbc, const char* query, char* out, int32_t outSize);
