// What the test peer reads of a client's R-Initialize user data and what
// the client makes of the peer's answer: the optimisation level words.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace peer {

// The optimisation level word of a client's R-Initialize user data
// ("KVO_RDA_CLIENT,<level>,<address>,<connect string>,V1"); nothing when
// the data is not of that form.
std::optional<int> clientLevelWord(std::string_view userData);

// The user data the peer answers R-Initialize with by default: optimisation
// level 1, NUMERIC and DECIMAL values as digit strings.
inline constexpr const char* kServerUserData = "KVO_RDA_SERVER,65,0,0,V1";

// What a dialogue runs with once the client has read the server's answer:
// the optimisation level both sides use and the form of NUMERIC and DECIMAL
// values (8 bytes, or digit strings).
struct Negotiated {
  int level = 0;
  bool eightByteNumerics = false;
};
// As the client reads it: its own level (bits 0-2 of its word) and the
// server's (the first field after "KVO_RDA_SERVER," read as a number, bits
// 0-2; bit 6 set asks for digit strings). Level 0 when either is 0 or the
// server's is the higher; 8-byte values when both are non-zero and bit 6 is
// clear. Server user data shorter than the role and its comma counts as
// none.
Negotiated negotiate(std::optional<std::string_view> clientUserData, std::optional<std::string_view> serverUserData);

}  // namespace peer
