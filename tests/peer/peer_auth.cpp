#include "peer/peer_auth.h"

#include <cstdlib>

namespace peer {

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

std::optional<int> clientLevelWord(std::string_view userData) {
  constexpr std::string_view kRole = "KVO_RDA_CLIENT,";
  if (userData.substr(0, kRole.size()) != kRole) return std::nullopt;
  const std::string_view rest = userData.substr(kRole.size());
  const std::string field(rest.substr(0, rest.find(',')));
  if (field.empty() || field.size() > 10) return std::nullopt;
  char* end = nullptr;
  const long v = std::strtol(field.c_str(), &end, 10);
  if (*end != '\0' || v < 0 || v > 0x7FFFFFFF) return std::nullopt;
  return static_cast<int>(v);
}

std::string unscramble(std::string_view text) { return shifted(text, -1); }
std::string scramble(std::string_view text) { return shifted(text, 1); }

}  // namespace peer
