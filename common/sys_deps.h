// Platform identification of the build and the operating-system report in
// the trace.
#pragma once

#include <cstdint>

inline constexpr int32_t QV_PLATFORM_ILINUX = 5;  // this build

struct QvPlatformNames {
  const char* name;    // display name
  const char* folder;  // folder of platform-specific libraries under the installation root
};

// The names of a platform code; codes without a platform give
// "UNKNOWN PLATFORM" / "unknown_platform".
QvPlatformNames QvPlatformNamesOf(int32_t code);

int32_t QvGetPlatform();
const char* QvGetPlatformName();
const char* QvGetPlatformFolderName();
const char* QvGetBuildName();

// Writes the system's identification to the trace (handle 1, mask 16).
void TraceSystemInfo();
