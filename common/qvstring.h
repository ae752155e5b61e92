// Case-insensitive string helpers and the exported string function set.
//
// The library compares names, keywords and addresses through the gqv_*
// pointers rather than the C library directly; they are exported data that a
// host may replace before the first connection. The wide members are declared
// with the wide-string helpers (common/qvwchar.h).
#pragma once

#include <cstddef>

#include "common/export.h"

// Narrow members of the string function set.
QV_EXPORT int (*gqv_stricmp)(const char*, const char*);
QV_EXPORT int (*gqv_strnicmp)(const char*, const char*, size_t);
QV_EXPORT int (*gqv_toupper)(int);
QV_EXPORT int (*gqv_tolower)(int);
QV_EXPORT int (*gqv_strcmp)(const char*, const char*);
QV_EXPORT int (*gqv_strncmp)(const char*, const char*, size_t);
QV_EXPORT int (*gqv_memcmp)(const void*, const void*, size_t);
QV_EXPORT int (*gqv_islower)(int);
QV_EXPORT int (*gqv_isupper)(int);
QV_EXPORT char* (*gqv_strlwr)(char*);
QV_EXPORT char* (*gqv_strupr)(char*);

int qv_stricmp(const char* a, const char* b);
int qv_strnicmp(const char* a, const char* b, size_t n);
int qv_toupper(int c);
int qv_tolower(int c);
int qv_islower(int c);
int qv_isupper(int c);
char* strupr(char* s);
char* strlwr(char* s);
int stricmp(const char* a, const char* b);

int plib_tolower(int c);
int plib_stricmp(const char* a, const char* b);
int plib_strnicmp(const char* a, const char* b, size_t n);
char* plib_strupr(char* s);
char* plib_strlwr(char* s);

// Case-insensitive substring search; a pointer into `text`, or NULL.
const char* sl_stristr(const char* text, const char* needle);
