// The ODBC layer's records behind the handles given to applications (an
// environment, its connections, their statements), and the registry of the
// live ones that every entry point checks a handle against before it reads
// the record.
//
// Minimal version: the fields the dispatch, the diagnostics and the function
// table need; the records get the rest of their fields with the connect and
// statement roads.
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

struct LmoDbc {
  LmoDbc* self;
  RDA_CliHDBC* rdaDbc;
  LmoEnv* env;
  LmoErrorList errors;
  uint64_t flags;
  AllTLS tls;  // the connection's record set, its LmoTLS first
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
