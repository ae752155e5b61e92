// Wide half of the string function set: the exported gqv_w* pointers (the
// narrow ones are in common/qvstring.h) and the wide case helpers behind
// them. A host may replace the pointers before the first connection.
#pragma once

#include <cstddef>
#include <cwchar>

#include "common/export.h"
#include "common/qvunicode.h"

QV_EXPORT int (*gqv_wstrcmp)(const wchar_t*, const wchar_t*);
QV_EXPORT int (*gqv_wstrncmp)(const wchar_t*, const wchar_t*, size_t);
QV_EXPORT int (*gqv_wstricmp)(const wchar_t*, const wchar_t*);
QV_EXPORT int (*gqv_wstrnicmp)(const wchar_t*, const wchar_t*, size_t);
QV_EXPORT int (*gqv_wmemcmp)(const wchar_t*, const wchar_t*, size_t);
QV_EXPORT int (*gqv_wislower)(wchar_t);
QV_EXPORT int (*gqv_wisupper)(wchar_t);
QV_EXPORT wchar_t* (*gqv_wstrlwr)(wchar_t*);
QV_EXPORT wchar_t* (*gqv_wstrupr)(wchar_t*);
QV_EXPORT wchar_t (*gqv_wtolower)(wchar_t);
QV_EXPORT wchar_t (*gqv_wtoupper)(wchar_t);

// gqv_wtolower(c) when gqv_wisupper(c), else c.
wchar_t plib_wtolower(wchar_t c);
// Compares plib_wtolower of each pair over at most n characters: 0 when
// equal, else the difference of the lower-cased pair.
int plib_wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n);
// Case-insensitive search; a pointer into `text`, or NULL.
const wchar_t* sl_wstristr(const wchar_t* text, const wchar_t* needle);
