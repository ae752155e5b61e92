// Copies of narrow, wide and UTF-8 text as new items of an XM tree (the
// thread's root tree when the tree is NULL). Every copy is NUL-terminated;
// NULL when the source is NULL, a length is out of range, the text cannot be
// converted or the item cannot be allocated.
#pragma once

#include <cstdint>
#include <cwchar>

struct XmTree;

char* ul_charscpy(const char* s, XmTree* tree);
// n bytes copied as strncpy() does, terminated at index n.
char* ul_charncpy(const char* src, int32_t n, XmTree* tree);
wchar_t* ul_wcharscpy(const wchar_t* s, XmTree* tree);
// n characters copied as wcsncpy() does, terminated at index n.
wchar_t* ul_wcharncpy(const wchar_t* src, int32_t n, XmTree* tree);
// Locale conversion of a narrow string into (byte length + 1) characters.
wchar_t* ul_mbstowcs(const char* s, XmTree* tree);
// Each byte, as a signed 8-bit value widened with its sign, up to n bytes or
// the first NUL; n + 1 characters.
wchar_t* ul_mbsntowcs(const char* src, int32_t n, XmTree* tree);
// UTF-8 copy of `len` wide characters (QV_NTS: up to and with the terminator).
char* ul_dupWcharToUtf8(XmTree* tree, const wchar_t* src, int32_t len);
// Wide copy of `len` UTF-8 bytes (QV_NTS: up to and with the terminator).
wchar_t* ul_dupUtf8ToWchar(XmTree* tree, const char* src, int32_t len);
// Bytes wcstombs() needs for `len` characters (QV_NTS: the whole string),
// terminator not counted; -1 when they cannot be converted or measured.
int32_t ul_getBufferSizeForwcstombs(XmTree* tree, const wchar_t* src, int32_t len);
