// Driver start-up and shut-down. The library has no load-time
// initialisation: the first SQLAllocEnv (which the JNI start-up native also
// calls) runs the attach once it has not succeeded yet.
#pragma once

#include <cstdint>

#include "src/odbc/odbcapi.h"

inline constexpr int32_t kQvPathSize = 260;
inline constexpr int32_t kQvSubProtocolSize = 128;
inline constexpr int32_t kQvMessagePrefixSize = 128;
inline constexpr int32_t kQvSchemaOwnerSize = 129;

// jdbcDllInit reasons.
inline constexpr int32_t kQvProcessAttach = 0;
inline constexpr int32_t kQvProcessDetach = 1;
inline constexpr int32_t kQvThreadAttach = 2;
inline constexpr int32_t kQvThreadDetach = 3;

extern void* ghInstance;
extern char gpcIniFile[kQvPathSize];
extern char gpcTraceFile[kQvPathSize];
extern int32_t gi8BitChar;
extern int32_t QvFetchSize;
extern char gszSubProtocol[kQvSubProtocolSize];
extern char gsJDBCErrorMessagePrefix[kQvMessagePrefixSize];
// The owner the driver puts before the names of the server's catalog
// tables; empty: the names stand alone.
extern char gsSchemaOwner[kQvSchemaOwnerSize];
extern int32_t JDBCTrace;
extern int32_t JDBCTraceLevel;
extern int32_t ODBCTrace;
// 0 until the first SQLAllocEnv succeeded.
extern int32_t iQvOdbcInitFlag;
// The directory whose mirodel.ini the start-up search tries last; a test
// names its own.
extern const char* gpcQvTmpConfigDir;

// True once a start-up succeeded; until then every export but SQLAllocEnv
// answers -1.
bool QvOdbcAttached();

// The product type the ODBC layer branches on: 3.
int32_t QvGetProductType();

// 1, or 0 when the attach fails.
int32_t jdbcDllInit(void* instance, int32_t reason);
int32_t initODBC();
int32_t exitODBC();

// Reads the call-trace settings and opens (first) or adjusts the two trace
// handles; a level of -1 is read from the configuration. 1.
int32_t QvInitTrace(int32_t first, int32_t traceLevel, int32_t cliTraceLevel);
// Finds the main configuration file and makes it the thread's.
void QvCheckForMirodelConfig();
