#include "peer/peer_auth.h"

#include <cstdlib>

namespace peer {

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

Negotiated negotiate(std::optional<std::string_view> clientUserData, std::optional<std::string_view> serverUserData) {
  Negotiated n;
  const int client = clientUserData.has_value() ? clientLevelWord(*clientUserData).value_or(0) & 7 : 0;
  constexpr std::string_view kRole = "KVO_RDA_SERVER";
  if (!serverUserData.has_value() || serverUserData->size() < kRole.size() + 1 ||
      serverUserData->substr(0, kRole.size()) != kRole)
    return n;
  const std::string_view rest = serverUserData->substr(kRole.size() + 1);
  const std::string field(rest.substr(0, rest.find(',')));
  const long word = std::strtol(field.c_str(), nullptr, 10);
  const int server = static_cast<int>(word & 7);
  if (client == 0 || server == 0) return n;
  n.eightByteNumerics = (word & 64) == 0;
  if (server <= client) n.level = server;
  return n;
}

}  // namespace peer
