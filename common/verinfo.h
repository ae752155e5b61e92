// Product version of the build, in the trace and on standard output.
#pragma once

// Four numbers separated by ".".
const char* QvGetProductVersion();
// Traces "Product Version: ..." through handle 1, mask 16.
void traceVersionInfo();
// Writes the version, the compile options and the build time to stdout.
void versionInfo();
