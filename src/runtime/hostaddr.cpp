#include "src/runtime/hostaddr.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

const char* tp0hname_to_ipaddr(const char* hostName, char* out, size_t size) {
  if (hostName == nullptr || hostName[0] == '\0' || out == nullptr || size < kIpTextSize) return nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(hostName, nullptr, &hints, &found) != 0 || found == nullptr) return nullptr;
  const char* text = nullptr;
  for (const addrinfo* a = found; a != nullptr && text == nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addr == nullptr || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    text = inet_ntop(AF_INET, &in->sin_addr, out, static_cast<socklen_t>(size));
  }
  freeaddrinfo(found);
  return text;
}
