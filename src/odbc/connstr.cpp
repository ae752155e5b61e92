#include "src/odbc/connstr.h"

#include <cstring>
#include <cwchar>

namespace {

template <class Ch>
Ch* blankStrip(Ch* text) {
  if (text == nullptr) return nullptr;
  size_t n = 0;
  while (text[n] != 0) ++n;
  while (n > 0 && text[n - 1] == Ch(' ')) --n;
  text[n] = 0;
  while (*text == Ch(' ')) ++text;
  return text;
}

}  // namespace

wchar_t* lmo_blank_strip(wchar_t* text) { return blankStrip(text); }
char* lmo_blank_stripA(char* text) { return blankStrip(text); }
