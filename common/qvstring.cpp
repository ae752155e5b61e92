#include "common/qvstring.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>

// Bytes reach these helpers as signed chars. The C library's tables are only
// defined for unsigned char values (and EOF), so a negative byte is looked up
// as its unsigned value; where the table leaves it unchanged the caller gets
// its own (signed) value back.
namespace {

template <int (*Fn)(int)>
int mapByte(int c) {
  if (c < -128 || c > 255) return c;
  const int u = c & 0xFF;
  const int r = Fn(u);
  return r == u ? c : r;
}

template <int (*Fn)(int)>
int testByte(int c) {
  if (c < -128 || c > 255) return 0;
  return Fn(c & 0xFF);
}

int sysToupper(int c) { return std::toupper(c); }
int sysTolower(int c) { return std::tolower(c); }
int sysIslower(int c) { return std::islower(c); }
int sysIsupper(int c) { return std::isupper(c); }

}  // namespace

int qv_stricmp(const char* a, const char* b) { return strcasecmp(a, b); }
int qv_strnicmp(const char* a, const char* b, size_t n) { return strncasecmp(a, b, n); }
int qv_toupper(int c) { return mapByte<sysToupper>(c); }
int qv_tolower(int c) { return mapByte<sysTolower>(c); }
int qv_islower(int c) { return testByte<sysIslower>(c); }
int qv_isupper(int c) { return testByte<sysIsupper>(c); }

char* strupr(char* s) {
  for (char* p = s; *p != '\0'; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return s;
}

char* strlwr(char* s) {
  for (char* p = s; *p != '\0'; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return s;
}

int stricmp(const char* a, const char* b) {
  if (a == b) return 0;
  int ca, cb;
  do {
    ca = std::tolower(static_cast<unsigned char>(*a++));
    cb = std::tolower(static_cast<unsigned char>(*b++));
  } while (ca == cb && ca != 0);
  return ca - cb;
}

// Definitions of the exported pointers (C linkage and visibility come from
// their declarations).
int (*gqv_stricmp)(const char*, const char*) = qv_stricmp;
int (*gqv_strnicmp)(const char*, const char*, size_t) = qv_strnicmp;
int (*gqv_toupper)(int) = qv_toupper;
int (*gqv_tolower)(int) = qv_tolower;
int (*gqv_strcmp)(const char*, const char*) = std::strcmp;
int (*gqv_strncmp)(const char*, const char*, size_t) = std::strncmp;
int (*gqv_memcmp)(const void*, const void*, size_t) = std::memcmp;
int (*gqv_islower)(int) = qv_islower;
int (*gqv_isupper)(int) = qv_isupper;
char* (*gqv_strlwr)(char*) = strlwr;
char* (*gqv_strupr)(char*) = strupr;

int plib_tolower(int c) { return gqv_isupper(c) ? gqv_tolower(c) : c; }

int plib_strnicmp(const char* a, const char* b, size_t n) {
  for (; n > 0; --n, ++a, ++b) {
    const int ca = plib_tolower(static_cast<signed char>(*a));
    const int cb = plib_tolower(static_cast<signed char>(*b));
    if (ca != cb) return ca - cb;
    if (*a == '\0') return 0;
  }
  return 0;
}

int plib_stricmp(const char* a, const char* b) { return plib_strnicmp(a, b, static_cast<size_t>(-1)); }

char* plib_strupr(char* s) { return strupr(s); }

char* plib_strlwr(char* s) {
  for (char* p = s; *p != '\0'; ++p) *p = static_cast<char>(plib_tolower(static_cast<signed char>(*p)));
  return s;
}

const char* sl_stristr(const char* text, const char* needle) {
  if (text == nullptr || needle == nullptr) return nullptr;
  if (const char* hit = std::strstr(text, needle)) return hit;
  // The needle's copy is sized to the needle, whatever its length.
  std::string n(needle);
  if (const char* hit = std::strstr(text, gqv_strlwr(n.data()))) return hit;
  if (const char* hit = std::strstr(text, gqv_strupr(n.data()))) return hit;
  char* dup = strdup(text);
  if (dup == nullptr) return nullptr;
  const char* hit = std::strstr(gqv_strupr(dup), n.c_str());
  const char* result = hit != nullptr ? text + (hit - dup) : nullptr;
  std::free(dup);
  return result;
}
