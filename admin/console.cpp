#include <cstdio>
#include <cstring>

#include "admin/cfgtool.h"

namespace {

bool isPad(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool readInputLine(std::string& line) {
  std::fflush(stdout);
  char buf[kInputLineSize];
  if (std::fgets(buf, sizeof buf, stdin) == nullptr) return false;
  size_t len = std::strlen(buf);
  if (len > 0 && buf[len - 1] == '\n') {
    buf[--len] = '\0';
  } else {
    // Cut: the rest of the line is not a second answer.
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
  }
  line.assign(buf, len);
  return true;
}

void removePadding(std::string& text) {
  size_t end = text.size();
  while (end > 0 && isPad(text[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && isPad(text[begin])) ++begin;
  text = text.substr(begin, end - begin);
}

char firstNonBlank(const std::string& text) {
  for (char c : text)
    if (!isPad(c)) return c;
  return '\0';
}
