// The schema path and the database-resource file qvdrd.ini: one section per
// database resource with its server addresses, port, type, connection string
// and schema directory.
#pragma once

#include <cstdint>

#include "src/runtime/tm.h"

// Reads [COMMON] Schemapath into the thread's record; 1 when one was read.
int32_t qv_initSchemaPath(const char* configPath, TmHandle traceModule);

// Reads one database resource. Each output may be NULL; `serverSize` is the
// size of `serverOut`. Keys missing from the file are taken from the user's
// connection string. 1 on success, 0 on failure.
int32_t qv_getDbResourceInfo(const char* name, char* serverOut, int32_t serverSize, char* connectStringOut,
                             int32_t connectStringSize, char* typeOut, int32_t typeSize, char* schemaPathOut,
                             int32_t schemaPathSize, TmHandle traceModule, const char* userConnectString);

// Resolves a database's configured schema directory against the schema path
// (`path` holds 512 bytes). 1, or 0 when the result would not fit.
int32_t qv_adjustDbSchemaPath(char* path, TmHandle traceModule);

// `out` holds 512 bytes.
void qv_getResourceFileName(char* out);
int32_t QvGetSrvrStatFileName(char* out);

// Results of checkCreateDrd.
inline constexpr int32_t QV_DRD_PRESENT = 4;         // qvdrd.ini exists or was built
inline constexpr int32_t QV_DRD_NO_DB_FILE = 5;      // qvdb.ini cannot be opened
inline constexpr int32_t QV_DRD_NO_SERVER_FILE = 6;  // qvserver.ini cannot be opened
inline constexpr int32_t QV_DRD_WRITE_FAILED = 7;    // a file could not be written

// Builds qvdrd.ini in `schemaDirectory` (ending in '/') from the older
// qvdb.ini and qvserver.ini, and sets [SERVER] PORT of the main configuration
// file to the port of its [SERVER] LocalName. An empty value never replaces
// one already there. When qvdrd.ini cannot be written whole, a file made here
// is removed, so that the next call builds it again.
int32_t checkCreateDrd(const char* schemaDirectory, const char* mainConfigPath);
