// The scrambling of user names and passwords that a client applies before
// R-Initialize when its optimisation level word asks for it, and its
// inverse, for test clients and the test peer.
#pragma once

#include <string>
#include <string_view>

// Whether a client with this level word sends its user name and password
// scrambled (any of bits 3-5).
inline bool credentialsScrambled(int levelWord) { return (levelWord & 0x38) != 0; }

// Octet i plus k modulo 256, k running 1, 2, ..., 9, 1, 2, ...
std::string scrambleCredential(std::string_view text);
// And back.
std::string unscrambleCredential(std::string_view text);
