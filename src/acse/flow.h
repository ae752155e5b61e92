// SACF flow control, the element next to the presentation layer (send
// index 5, receive index 0 of the route table). Downwards it converts the
// service elements' GIDUs into presentation GIDUs, grants presentation
// credit, stops the user when too many data requests wait for their
// confirm, and arms the elements' triggers. Upwards it records the credit
// the presentation layer reports and asks for more, lets confirms release
// the requests held back, holds received data back while the user has
// stopped the provider, and converts presentation GIDUs into the elements'
// GIDUs. Its state lives in the SaoCB.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"

inline constexpr int32_t AL_pStopThreshold = 10;  // provider-stop queue length that is traced
inline constexpr int32_t AL_uStopLow = 2;        // fewer unconfirmed requests restart the user
inline constexpr int32_t AL_uStopHigh = 8;       // unconfirmed requests after which the user stops
inline constexpr int32_t AL_creditLow = 4;       // reported credit below which more is asked for
inline constexpr int32_t AL_creditHigh = 5;      // credit granted up to

void AL_sacfFlowSnd(GIDU* gidu);
void AL_sacfFlowRcv(GIDU* gidu);
