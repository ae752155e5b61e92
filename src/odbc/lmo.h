// The ODBC layer's records behind the handles given to applications (an
// environment, its connections, their statements and the parameters bound
// to those), and the registry of the live ones that every entry point
// checks a handle against before it reads the record.
#pragma once

#include <cstdint>

#include "src/odbc/alltls.h"
#include "src/odbc/lmoerr.h"
#include "src/rdaclient/rdacli_conf.h"

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

// Directions of a bound parameter.
inline constexpr int16_t kLmoParamInput = 1;
inline constexpr int16_t kLmoParamOutput = 4;

// Prepared lengths besides a byte count.
inline constexpr int64_t kLmoNullData = -1;
inline constexpr int64_t kLmoDataAtExec = -2;  // waits for SQLPutData
inline constexpr int64_t kLmoNts = -3;
inline constexpr int64_t kLmoEmptyText = -4;

// One bound parameter number of a statement: what the application bound,
// and the value made from it for one execution (an allocation of its own,
// on the statement's ring).
struct LmoParam {
  LmoLink link;
  void* memHandle;
  uint16_t number;
  int16_t direction;  // kLmoParamInput or kLmoParamOutput
  int16_t cType;      // the C type handed to the client for this execution
  int16_t sqlType;
  uint64_t columnSize;
  int16_t decimalDigits;
  void* value;         // the application's buffer; also SQLParamData's token
  int64_t* indicator;  // the application's length/indicator, may be NULL
  int64_t bufferLength;
  int32_t ready;           // the value is prepared (or the parameter is an output one)
  void* prepared;          // the value converted for sending, or NULL
  int64_t preparedLength;  // bytes, or kLmoNullData .. kLmoEmptyText
  void* preparedHandle;
  RdaCliLink chunks;       // ring of RDA_CliChunk: long data given by SQLPutData
  int16_t bindCType;       // the C type after default resolution at bind time
};

struct LmoWideShadows;

struct LmoStmt {
  LmoStmt* self;
  RDA_CliHSTMT* rdaStmt;
  LmoDbc* dbc;
  LmoErrorList errors;
  LmoLink params;          // ring of LmoParam, in the order first bound
  uint32_t pendingCount;   // parameters still waiting for data at execution
  LmoParam* currentParam;  // the one SQLPutData fills; NULL before the first SQLParamData
  int32_t specialCommand;  // the direct execution's text is a driver command
  wchar_t* savedText;      // a direct execution's text while it waits for data (not terminated)
  int32_t savedTextLength;
  // Advanced by every call that moves to another row or result: what the
  // application's boundary kept of the current row is stale then.
  uint64_t rowSerial;
  // The application boundary's conversions of UTF-16 buffers (odbcwidebuf.h);
  // NULL when there are none.
  LmoWideShadows* wide;
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
