// The BER runtime's switch for the presentation layer's test of pre-encoded
// user data.
//
// The presentation layer sets it for the length of one test parse of the
// first segment of a unit of user data (PtestForPreEncoded): that segment
// may be followed by others, so a length that runs past its end is taken as
// it stands, and tearBufferFromCurrent only records the position instead of
// cutting the chain.
#pragma once

#include <cstdint>

// 1 while that test parse runs, else 0.
extern uint32_t rtp_testForPreEncoded;
