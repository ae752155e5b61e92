// Marks what the shared library exports: the ODBC functions, the JNI natives
// and the named exported data. Everything else stays hidden.
#pragma once

#define QV_EXPORT extern "C" __attribute__((visibility("default")))
