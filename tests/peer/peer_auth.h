// Identity checks of the test peer: the client's R-Initialize user data and
// the credentials it scrambles.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace peer {

// The optimisation level word of a client's R-Initialize user data
// ("KVO_RDA_CLIENT,<level>,<address>,<connect string>,V1"); nothing when
// the data is not of that form.
std::optional<int> clientLevelWord(std::string_view userData);

// Whether a client with this level word sends its user name and password
// scrambled (any of bits 3-5).
inline bool credentialsScrambled(int levelWord) { return (levelWord & 0x38) != 0; }

// A scrambled text back in clear: octet i less k modulo 256, k running
// 1, 2, ..., 9, 1, 2, ...
std::string unscramble(std::string_view text);
// And the other way, as the client does it.
std::string scramble(std::string_view text);

// The user data the peer answers R-Initialize with: optimisation level 1,
// NUMERIC and DECIMAL values as digit strings.
inline constexpr const char* kServerUserData = "KVO_RDA_SERVER,65,0,0,V1";

}  // namespace peer
