// The presentation layer as a session user.
//
// Minimal version: the presentation protocol machine is not built yet; the
// callback only takes over the user data of each indication and confirm and
// frees it.
#pragma once

#include <cstdint>

struct Smachine;
struct SIDU;

// The presentation layer's session-user callback, registered with
// s_activate; the session layer does not use its result.
int32_t ps_ssu(Smachine* s, SIDU* sidu);
