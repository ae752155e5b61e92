// Presentation-layer switch read by the BER runtime.
//
// Minimal version: only the flag the runtime reads; the presentation layer
// sets it around its test of pre-encoded user data when it is built.
#pragma once

#include <cstdint>

// 1 while the presentation layer test-parses the first segment of user data:
// lengths that run past that segment are accepted, and
// tearBufferFromCurrent only records the position.
extern uint32_t rtp_testForPreEncoded;
