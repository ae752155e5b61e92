// Host-name resolution for the directory and the transport.
#pragma once

#include <cstddef>

// Room for a dotted IPv4 address and its terminator.
inline constexpr size_t kIpTextSize = 16;

// The first IPv4 address of `hostName` as dotted decimal text in `out`
// (`size` octets, at least kIpTextSize). Returns `out`, or NULL when the name
// is empty or has no IPv4 address, or `out` is too small. Safe to call from
// several threads at once.
const char* tp0hname_to_ipaddr(const char* hostName, char* out, size_t size);
