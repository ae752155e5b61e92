#include "support/credentials.h"

namespace {

std::string shifted(std::string_view text, int sign) {
  std::string out(text);
  int k = 1;
  for (char& c : out) {
    c = static_cast<char>(static_cast<unsigned char>(c) + sign * k);
    k = k == 9 ? 1 : k + 1;
  }
  return out;
}

}  // namespace

std::string scrambleCredential(std::string_view text) { return shifted(text, 1); }
std::string unscrambleCredential(std::string_view text) { return shifted(text, -1); }
