// Connection strings of the ODBC layer: a connection's store of its connect
// string (wide, and the UTF-8 copy sent to the server), the options the
// driver appends to it, the keywords the driver reads out of it, the custom
// properties it passes on, and the browse-connect check.
//
// A connect string is keyword=value attributes separated by ";". The driver
// reads DSN, Driver, Database, UID, PWD and ExtendedFunctions itself
// (lmo_parse); every other attribute but Server is a custom property that
// travels to the server and back into a driver connect's output string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

struct LmoDbc;

// Sizes of the parsed attributes, terminator included: DSN, Database and
// ExtendedFunctions 128 characters, UID and PWD 512.
inline constexpr int32_t kLmoAttrChars = 129;
inline constexpr int32_t kLmoCredentialChars = 513;
// The longest attribute lmo_append_custom_property takes.
inline constexpr int32_t kLmoCustomAttrMax = 1024;

// Cut trailing blanks in place; return the first character that is not a
// blank. NULL for NULL.
wchar_t* lmo_blank_strip(wchar_t* text);
char* lmo_blank_stripA(char* text);

// A wide buffer of `max` characters filled piece by piece: it keeps at most
// max - 1 characters and its terminator; what does not fit is cut. `len`
// counts what it holds. It starts empty, or with `append` behind the text
// the buffer holds.
struct LmoWideText {
  LmoWideText(wchar_t* buffer, size_t max, bool append = false);
  // `n` characters of text (SIZE_MAX: up to its terminator).
  void put(const wchar_t* text, size_t n = SIZE_MAX);
  wchar_t* buf;
  size_t max;
  size_t len = 0;
};

// ---- The store ----

// Copies at most 16384 characters of text; NULL empties the store (and its
// UTF-8 copy).
void QvSetConnectStr(LmoDbc* dbc, const wchar_t* text);
// Appends ";" and text, as far as the store holds; nothing for NULL.
void QvAppendConnectStr(LmoDbc* dbc, const wchar_t* text);
// Puts text and ";" in front of the stored string; nothing for NULL.
void QvAppendConnectStrAtStart(LmoDbc* dbc, const wchar_t* text);
// The stored string, the options suffix appended first when withOptions is
// non-zero.
wchar_t* QvGetConnectStr(LmoDbc* dbc, int32_t withOptions);
// The same, then its UTF-8 copy (cut at a character boundary to fit 16385
// bytes).
char* QvGetUtf8ConnectStr(LmoDbc* dbc, int32_t withOptions);

// The options suffix: ";;SQL_ACCESS_MODE=...;...;CLIENT_VERSION=...;",
// appended to the text in `text` (of textChars characters), as far as it
// holds.
void QvGetConnectOptions(const LmoDbc* dbc, wchar_t* text, size_t textChars);
// Appends the options suffix to the stored string.
void QvAppendConnectOptions(LmoDbc* dbc);

// ---- The attributes the driver reads ----

// Fills the six outputs (each emptied first): dsn, database and
// extendedFunctions of kLmoAttrChars characters, uid and pwd of
// kLmoCredentialChars, driver of as many characters as text and its
// terminator. DSN and Driver exclude each other (the later one is stored
// empty), as does a Database after a DSN. 1; 0 when an argument is NULL;
// -1 when a value is longer than its field, with *tooLong naming its
// keyword (the values are then all empty).
int32_t lmo_parse(const wchar_t* text, wchar_t* dsn, wchar_t* uid, wchar_t* pwd, wchar_t* driver,
                  wchar_t* database, wchar_t* extendedFunctions, const char** tooLong = nullptr);

// Appends every custom property of `length` characters of text to out
// (outMax characters with the terminator), each followed by ";" and cut to
// fit. 0, or -1 with a diagnostic on the connection for an attribute longer
// than 1024 characters or one without "=" (a single ";" ending the text is
// no attribute). NULL out: -1; NULL text empties out.
int32_t lmo_append_custom_property(LmoDbc* dbc, const wchar_t* text, int64_t length, wchar_t* out,
                                   int64_t outMax);
// The checks of lmo_append_custom_property alone, appending nothing.
int32_t lmoCheckCustomProperties(LmoDbc* dbc, const wchar_t* text, int64_t length);

// The value after the first case-insensitive occurrence of keyword anywhere
// in text: from one character after it up to ";" or the end, cut to
// outChars - 1. 0, or 1 with out empty when the keyword is absent.
int32_t lmo_getKeyValue(const wchar_t* text, const wchar_t* keyword, wchar_t* out, size_t outChars);
// The same value (at most 143 characters) as a decimal integer; 1 and 0 when
// the keyword is absent.
int32_t lmo_getKeyValueAsInt(const wchar_t* text, const wchar_t* keyword, int32_t* out);

// ---- Browse connect ----

// Lists in out what the browse dialogue still needs: with "Driver" in the
// text the driver attributes not found, with "DSN" neither; at step 1 also
// the user attributes, marked "*". 1 when something is missing (out gets
// the list cut to outMax - 1 characters, *outLength its whole length), 0
// when the text is complete, -1 without text or without "Driver" and
// "DSN". The values of DSN and of a braced Driver are not searched; the
// text itself is left as it is.
int32_t QvCheckBrowseConnectStr(const wchar_t* text, wchar_t* out, int64_t outMax, int16_t* outLength, int32_t step);
