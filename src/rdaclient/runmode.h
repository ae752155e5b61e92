// The process's run mode: 2 once the RDA client has made its environment.
//
// Minimal version: only the global; the client's start-up sets it.
#pragma once

#include <cstdint>

extern int32_t gQVRunMode;
