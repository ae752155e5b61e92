// Wide-character helpers and the conversions between the three text forms
// of the driver: wchar_t (4 bytes, one UTF-32 unit per character), UTF-8
// (wire text and trace files) and UTF-16 (the ODBC wide interface and Java).
//
// Every layer calls the C library's wide-string functions through the qv*
// names below, so that one place decides how they behave.
//
// Length convention of the conversions: a source length of -3 means
// "NUL-terminated, terminator included" (utf8towcs and wcstoutf8 also take
// -1 that way); a destination length of 0 (or no destination) asks only for
// the size the result needs, in destination units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <cwchar>

inline constexpr int32_t QV_NTS = -3;  // source length: NUL-terminated, terminator included

// ---- Wrappers of the C library (lengths in characters) ----

wchar_t* qvwcscpy(wchar_t* dst, const wchar_t* src);
wchar_t* qvwcsncpy(wchar_t* dst, const wchar_t* src, size_t n);
wchar_t* qvwcscat(wchar_t* dst, const wchar_t* src);
wchar_t* qvwcsncat(wchar_t* dst, const wchar_t* src, size_t n);
// Zero-filled heap copy (length + 1 characters), released with free();
// NULL for a NULL string or when memory is short.
wchar_t* qvwcsdup(const wchar_t* s);
// A zero-filled buffer of `chars` wide characters (at least one), released
// with QvReleaseWstr; NULL when memory is short or `chars` is negative.
wchar_t* QvAllocateWstr(int64_t chars);
void QvReleaseWstr(wchar_t* s);
int qvwcscmp(const wchar_t* a, const wchar_t* b);  // locale collation order
int qvwcsncmp(const wchar_t* a, const wchar_t* b, size_t n);
// Compare towlower() of each pair until they differ or `a` ends; the result
// is the difference of the last pair compared.
int qvwcsicmp(const wchar_t* a, const wchar_t* b);
int qvwcsnicmp(const wchar_t* a, const wchar_t* b, size_t n);
wchar_t* qvwcschr(const wchar_t* s, wchar_t c);
wchar_t* qvwcsrchr(const wchar_t* s, wchar_t c);
size_t qvwcscspn(const wchar_t* s, const wchar_t* reject);
wchar_t* qvwcspbrk(const wchar_t* s, const wchar_t* accept);
size_t qvwcsspn(const wchar_t* s, const wchar_t* accept);
wchar_t* qvwcsstr(const wchar_t* haystack, const wchar_t* needle);
wchar_t* qvwcstok(wchar_t* s, const wchar_t* delim, wchar_t** state);
wchar_t* qvwcslwr(wchar_t* s);  // in place; returns s
wchar_t* qvwcsupr(wchar_t* s);
wchar_t qvtowlower(wchar_t c);
wchar_t qvtowupper(wchar_t c);
wchar_t* qvwmemcpy(wchar_t* dst, const wchar_t* src, size_t n);
wchar_t* qvwmemmove(wchar_t* dst, const wchar_t* src, size_t n);
wchar_t* qvwmemset(wchar_t* dst, wchar_t c, int32_t n);  // nothing for n <= 0
// Compares n characters as signed 32-bit values: 0, 1 or -1.
int qvwmemcmp(const wchar_t* a, const wchar_t* b, size_t n);
double qvwcstod(const wchar_t* s, wchar_t** end);
long qvwcstol(const wchar_t* s, wchar_t** end, int base);
unsigned long qvwcstoul(const wchar_t* s, wchar_t** end, int base);
size_t qvwcsftime(wchar_t* dst, size_t max, const wchar_t* format, const struct tm* t);  // formats nothing: 0
int qviswalnum(wchar_t c);
int qviswalpha(wchar_t c);
int qviswdigit(wchar_t c);
int qviswlower(wchar_t c);
int qviswupper(wchar_t c);
int qviswpunct(wchar_t c);
int qviswspace(wchar_t c);
int qviswascii(wchar_t c);  // 1 when c, taken as signed, is below 128
size_t qvwcslen(const wchar_t* s);
char* qvsetlocale(int category, const char* locale);
size_t qvmbstrlen(const char* s);

// ---- Conversions through the process locale ----

// mbstowcs(); on a conversion error the destination (when there is one) is
// left empty. The error value (size_t)-1 is passed through.
size_t qvmbstowcs(wchar_t* dst, const char* src, size_t n);
// Terminates the `srcBytes` bytes of `src` in `scratch` (which must hold
// srcBytes + 1 bytes) and converts them; 0 without a scratch buffer.
size_t qvmbstowcs_l(wchar_t* dst, size_t n, const char* src, int32_t srcBytes, char* scratch);
// wcstombs() after emptying the destination.
size_t qvwcstombs(char* dst, const wchar_t* src, size_t n);
// As above, then a terminator is written after the units converted: the
// destination must hold n + 1 units.
size_t _qvmbstowcs(wchar_t* dst, const char* src, size_t n);
size_t _qvwcstombs(char* dst, const wchar_t* src, size_t n);
// -1 when dstLen is 0; else the destination is emptied and qvwcstombs runs.
int32_t qvWideCharToMultipByteFixUp(const wchar_t* src, int32_t srcLen, char* dst, int32_t dstLen);
// Bytes wcstombs() needs for `len` characters of `src`; for QV_NTS the whole
// string plus 1 for the terminator. -1 when they cannot be converted.
int32_t qvGetBufLenForWideCharToMultiByteFixup(const wchar_t* src, int32_t len);

// ---- Unicode conversions ----

// UTF-8 to wide characters (up to U+10FFFF). Returns the characters
// written, the count needed when dstLen is 0 or dst is NULL, 0 on failure.
int32_t utf8towcs(const char* src, int32_t srcLen, wchar_t* dst, int32_t dstLen);
// Wide characters to UTF-8. Returns the bytes written, the bytes needed when
// dstLen is 0 or dst is NULL, 0 on failure (including a character that is
// negative or above U+10FFFF).
int32_t wcstoutf8(const wchar_t* src, int32_t srcLen, char* dst, int32_t dstLen);
// A surrogate pair becomes one character (U+10000..U+10FFFF); every other
// unit, an unpaired surrogate too, one character by zero extension. Returns
// the characters written, the characters needed when dstLen is 0 or dst is
// NULL, 0 when the destination is too small.
int32_t utf16towcs(const uint16_t* src, int32_t srcLen, wchar_t* dst, int32_t dstLen);
// One unit per character up to U+FFFF; U+10000..U+10FFFF as a surrogate
// pair. Returns the units written, the units needed when dstLen is 0 or dst
// is NULL, 0 when the destination is too small or a character has no UTF-16
// form.
int32_t wcstoutf16(const wchar_t* src, int32_t srcLen, uint16_t* dst, int32_t dstLen);

// Workers of utf8towcs and wcstoutf8: explicit lengths only, and no trace
// (so the trace manager may use them while it holds its own lock).
int32_t unix_utf8towcs(const char* src, int32_t srcLen, wchar_t* dst, int32_t dstLen);
int32_t unix_utf8towcslen(const char* src, int32_t srcLen);
int32_t unix_wcstoutf8(const wchar_t* src, int32_t srcLen, char* dst, int32_t dstLen);
int32_t unix_wcstoutf8len(const wchar_t* src, int32_t srcLen);

// Case-insensitive search: a pointer into `haystack`, or NULL.
wchar_t* qvwcsistr(const wchar_t* haystack, const wchar_t* needle);
