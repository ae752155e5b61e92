#include "src/session/osicfg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool white(char c) { return c == ' ' || c == '\t' || c == '\n'; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Looks for the key on the rest of an object's line; the text after the key
// when found, else NULL.
const char* findKey(const char* p, const char* key, size_t keyLen) {
  for (;;) {
    p = skip_white_space(p);
    if (p == nullptr || *p == '#') return nullptr;  // end of line, or a comment
    if (*p == '=') {
      // An assignment sign: pass over it and the value that follows.
      p = skip_white_space(p + 1);
      if (p == nullptr) return nullptr;
      p = scan_until_white_space(p);
      if (p == nullptr) return nullptr;
      continue;
    }
    if (std::strncmp(p, key, keyLen) == 0 && (p[keyLen] == '=' || delimiter(p[keyLen]) != 0)) return p + keyLen;
    p = scan_until_white_space(p);
    if (p == nullptr) return nullptr;
  }
}

}  // namespace

int32_t delimiter(char c) { return c == '\0' || white(c) ? 1 : 0; }

const char* skip_white_space(const char* text) {
  if (text == nullptr) return nullptr;
  while (*text == ' ' || *text == '\t') ++text;
  return *text == '\0' || *text == '\n' ? nullptr : text;
}

const char* scan_until_white_space(const char* text) {
  if (text == nullptr) return nullptr;
  while (delimiter(*text) == 0) ++text;
  return *text == '\0' || *text == '\n' ? nullptr : text;
}

void copystring(char* dest, uint32_t size, const char* src) {
  if (dest == nullptr || size == 0) return;
  uint32_t n = 0;
  if (src != nullptr && *src != '#') {
    while (n + 1 < size && delimiter(src[n]) == 0) {
      dest[n] = src[n];
      ++n;
    }
  }
  dest[n] = '\0';
}

char* get_osi_cfg_value(const char* name, const char* key) {
  if (name == nullptr || key == nullptr || *name == '\0' || *key == '\0') return nullptr;
  const char* path = std::getenv("OSID");
  std::FILE* raw = std::fopen(path != nullptr ? path : "osid.cfg", "r");
  if (raw == nullptr) return nullptr;
  const std::unique_ptr<std::FILE, FileCloser> file(raw);

  const size_t nameLen = std::strlen(name);
  const size_t keyLen = std::strlen(key);
  char line[kOsiCfgPiece];
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    const char* p = skip_white_space(line);
    if (p == nullptr || *p == '#') continue;
    if (std::strncmp(p, name, nameLen) != 0 || delimiter(p[nameLen]) == 0) continue;
    const char* after = findKey(p + nameLen, key, keyLen);
    if (after == nullptr) continue;  // a later line of the object may hold it

    auto* value = static_cast<char*>(std::malloc(kOsiCfgValueSize));
    if (value == nullptr) return nullptr;
    value[0] = '\0';
    const char* q = skip_white_space(after);
    if (q != nullptr && *q == '=') copystring(value, kOsiCfgValueSize, skip_white_space(q + 1));
    return value;
  }
  return nullptr;
}
