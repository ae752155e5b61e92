// Configuration lookup by information type, the search for the main
// configuration file, server address lists, connection-string keywords and
// the data-source file search.
#pragma once

#include <cstdint>

#include "src/runtime/tm.h"

// Information types answered by qv_getInfo.
enum QvInfoType : int32_t {
  QV_INFO_INIFILE = 1,
  QV_INFO_DBINIFILE = 2,
  QV_INFO_DRDINIFILE = 3,
  QV_INFO_SCHEMAPATH = 4,
  QV_INFO_HOSTNAME = 5,
  QV_INFO_PSELECTOR = 6,
  QV_INFO_SSELECTOR = 7,
  QV_INFO_AETITLE = 8,
  QV_INFO_KEEPALIVE = 9,
  QV_INFO_CLIENT_TRACEFILE = 10,
  QV_INFO_SERVER_TRACEFILE = 11,
  QV_INFO_SESSPOLLWAITTIME = 12,
  QV_INFO_CLIENT_TRACEMASK = 13,
  QV_INFO_SERVER_TRACEOPTIONS = 14,
  QV_INFO_TRANSPORT = 15,
  QV_INFO_FETCHBLOCK_SIZE = 16,
  QV_INFO_NUM_OF_BUFFERS = 17,
  QV_INFO_BUFFER_SIZE = 18,
  QV_INFO_RESPONSE_TIME_OUT = 19,
  QV_INFO_ODBC_TRACEFILE = 22,
  QV_INFO_ODBC_TRACEOPTIONS = 23,
  QV_INFO_ROOT = 24,
  QV_INFO_CONFIG = 25,
  QV_INFO_SERVER_ADDRESS = 26,
  QV_INFO_RDASTMTOPTIMIZELEVEL = 27,
  QV_INFO_SERVER_PORT = 28,
  QV_INFO_CLIENT_PORT = 29,
  QV_INFO_LOCALADDRESS = 30,
  QV_INFO_INFOINIFILE = 31,
  QV_INFO_AUTOCOMMIT = 32,
  QV_INFO_PROMPTFORUID = 33,
  QV_INFO_LOOKUPFROMDB = 34,
  QV_INFO_USETHREADS = 35,
  QV_INFO_LOGFILEMAXSIZE = 36,
  QV_INFO_USEPAGES = 37,
  QV_INFO_PAGESIZE = 38,
  QV_INFO_SECURITYPACKAGE = 39,
  QV_INFO_CLIENT_SECURITYPACKAGE = 40,
  QV_INFO_EXTENDEDFUNCTIONS = 42,
  QV_INFO_ODBC_MESSAGEPREFIX = 43,
  QV_INFO_APPMASK = 44,
  QV_INFO_SCHEMAOWNER = 45,
  QV_INFO_SUPPORTQUERYTIMEOUT = 46,
  QV_INFO_USESCHEMALIKEESCAPECLAUSE = 47,
  QV_INFO_SETLOCALE = 48,
  QV_INFO_8BITCHARACTER = 49,
  QV_INFO_MAPDEFAULTWCHARASCHAR = 50,
  QV_INFO_JDBC_MESSAGEPREFIX = 51,
  QV_INFO_ENCRYPTIONPACKAGE = 52,
  QV_INFO_LOGFILECLOSE = 53,
  QV_INFO_DEFAULTQUERYTIMEOUT = 54,
  QV_INFO_CRYPTOPROVIDER = 55,
  QV_INFO_ADDRESSSELECTION = 56,
  QV_INFO_IGNOREUNICODEFUNCTIONS = 57,
  QV_INFO_UTF8MODE = 58,
  QV_INFO_GETINFOMETHOD = 59,
  QV_INFO_DISABLEINFOCACHING = 60,
  QV_INFO_SUPPORTQUERYCANCEL = 61,
  QV_INFO_UNICODEENCODING = 62,
};

// String types: 1 copied, 2 buffer too small; file-read strings answer the
// length copied. Integer types answer the value. 0: unsupported type.
inline constexpr int32_t QV_INFO_COPIED = 1;
inline constexpr int32_t QV_INFO_TOO_SMALL = 2;
inline constexpr int32_t QV_INFO_VALUE_TOO_LONG = 3;  // qv_setInfo

inline constexpr int32_t QV_PATH_SIZE = 512;

extern int32_t gMirodelConfig_Found;
extern int32_t gCharacterMode;
extern int32_t gUTF8Mode;
extern int32_t gUnicodeEncoding;
// The process's run mode: 2 once the RDA client has made its environment
// (the client's start-up writes it; GetQvRunMode reads it).
extern int32_t gQVRunMode;

int32_t qv_getInfo(int32_t type, int32_t ignored, char* buffer, int32_t size, TmHandle traceModule);
int32_t qv_setInfo(int32_t type, int32_t ignored, const char* value);
int32_t qv_getInfoExt(int32_t type, const char* section, const char* key, char* buffer, int32_t size,
                      const char* userConnectString);
int32_t qv_getInfoClientTrace(const char* key, char* buffer, int32_t size);
void QvCheckForMirodelConfig(TmHandle traceModule, char* path);
void QvReadMultiThreadOption(TmHandle traceModule);
void QvReadLogFileTruncationOption();
void QvReadPageOptions(TmHandle traceModule);
int32_t GetQvRunMode();

// Server address lists.
char* QvGetNextAddr(char* list, int32_t* isLast);
const uint8_t* QvGetNextBinAddr(const uint8_t* entry, int32_t* isLast, int32_t* remaining);
char* QvGetCachedAddrList();
void QvResetCachedAddrList();
char* QvRemoveCurAddr(char* list, int32_t* isLast);

// Connection strings.
int32_t ReadKeywordFromUsrConnectString(const char* keyword, const char* def, char* buffer, int32_t size,
                                        const char* connectString);
void HideAuthenticationDataForTracing(char* connectString);
void HideAuthenticationDataForTracingW(wchar_t* connectString);

// The data-source file (path holds QV_PATH_SIZE bytes).
void QvGetOdbcDsnFile(TmHandle traceModule, char* path);
