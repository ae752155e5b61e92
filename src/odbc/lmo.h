// The ODBC layer's records behind the handles given to applications (an
// environment, its connections, their statements), and the registry of the
// live ones that every entry point checks a handle against before it reads
// the record.
//
// Minimal version of the statement record: the fields the dispatch and the
// diagnostics need; it gets the rest with the statement road.
#pragma once

#include <cstdint>

#include "src/odbc/alltls.h"
#include "src/odbc/lmoerr.h"

struct RDA_CliHENV;
struct RDA_CliHDBC;
struct RDA_CliHSTMT;

struct LmoEnv {
  LmoEnv* self;
  RDA_CliHENV* rdaEnv;
  LmoErrorList errors;
  int32_t odbcVersion;  // 2 or 3
};

// Information flags of a connection.
inline constexpr uint64_t kLmoDbcDescribeParam = 0x01;
inline constexpr uint64_t kLmoDbcExtendedFetch = 0x02;
inline constexpr uint64_t kLmoDbcMoreResults = 0x04;
inline constexpr uint64_t kLmoDbcBrowseConnect = 0x08;
inline constexpr uint64_t kLmoDbcFetchScroll = 0x10;
inline constexpr uint64_t kLmoDbcSpecialCommands = 0x20;  // information asked by special command
inline constexpr uint64_t kLmoDbcNoInfoCaching = 0x40;    // answers never written to the information file

// Text fields of a connection, terminator included.
inline constexpr int32_t kLmoNameChars = 129;               // data source and server name
inline constexpr int32_t kLmoConnectStrChars = 16384;       // the longest connect string
inline constexpr int32_t kLmoUtf8ConnectStrBytes = 16385;
inline constexpr int32_t kLmoDriverTypeSize = 128;
inline constexpr int32_t kLmoQualifierSize = 129;

struct LmoDbc {
  LmoDbc* self;
  RDA_CliHDBC* rdaDbc;
  LmoEnv* env;
  LmoErrorList errors;
  int64_t responseTimeOut;
  int64_t traceOption;       // connection option 104 as last set
  int64_t autocommit;        // given to the client as connection option 102
  int64_t driverTypeNumber;  // set after connect, 2 by default
  uint64_t flags;            // kLmoDbc* bits
  int64_t cursorOption;      // given to the client as connection option 1000
  wchar_t dataSourceName[kLmoNameChars];
  wchar_t serverName[kLmoNameChars];
  char driverType[kLmoDriverTypeSize];  // "unknown" until a connect tells it
  AllTLS tls;  // the connection's record set, its LmoTLS first
  wchar_t connectStr[kLmoConnectStrChars + 1];
  char utf8ConnectStr[kLmoUtf8ConnectStrBytes];
  int64_t accessMode;
  int64_t loginTimeOut;
  int64_t txnIsolation;
  int32_t alwaysUseCursor;
  char currentQualifier[kLmoQualifierSize];
  int32_t stmtOptionsSupport;
  int32_t mapDefaultWcharAsChar;
  int32_t appMask;
  int32_t queryTimeoutSupport;
};

struct LmoStmt {
  LmoStmt* self;
  RDA_CliHSTMT* rdaStmt;
  LmoDbc* dbc;
  LmoErrorList errors;
};

// The process's one environment, once start-up has made it.
extern LmoEnv* gLmoShareVars;

enum class LmoKind : uint8_t { Env = 1, Dbc = 2, Stmt = 3 };

// 1, or 0 when memory is short (the record must then not be handed out).
int32_t lmoRegister(LmoKind kind, const void* record);
void lmoUnregister(const void* record);
bool lmoIsLive(LmoKind kind, const void* record);

// The live record behind a handle, or NULL.
LmoEnv* lmoLiveEnv(const void* handle);
LmoDbc* lmoLiveDbc(const void* handle);
LmoStmt* lmoLiveStmt(const void* handle);
