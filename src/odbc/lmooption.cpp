// Connection and statement options: most are kept by the driver itself,
// query time-out and row limit by the RDA client, and an open server
// session is told of autocommit, isolation and catalog changes with driver
// commands. The exported SQLExecuteCustomCommand runs such a command.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "src/odbc/cores.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinfo.h"
#include "src/odbc/lmoinit.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_options.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmooption";
constexpr int32_t kErrBadValue = 57;  // S1009
constexpr const char* kSpecialPrefix = "_QV_";

// Option numbers.
constexpr uint16_t kQueryTimeout = 0;
constexpr uint16_t kMaxRows = 1;
constexpr uint16_t kAsyncEnable = 4;
constexpr uint16_t kAccessMode = 101;
constexpr uint16_t kAutocommit = 102;
constexpr uint16_t kLoginTimeout = 103;
constexpr uint16_t kOptTrace = 104;
constexpr uint16_t kTxnIsolation = 108;
constexpr uint16_t kCurrentQualifier = 109;
constexpr uint16_t kOdbcCursors = 110;
constexpr uint16_t kAppWcharType = 1061;
constexpr uint16_t kConnectionDead = 1209;

int16_t addError(LmoErrorList* list, int32_t index, int32_t traceLevel, const char* text, int16_t result) {
  if (text != nullptr) TR_TRACE(kSrc, htrODBC, traceLevel, "%s", text);
  lmoAddError(list, index, 0, text);
  return result;
}

int16_t notCapable(LmoErrorList* list, const char* text) { return addError(list, kLmoErrNotCapable, 16, text, -1); }

// The client's options are 32-bit: a greater value is taken as the
// greatest, and the application told so.
uint32_t clientValue(uint64_t value, bool* changed) {
  *changed = value > UINT32_MAX;
  return *changed ? UINT32_MAX : static_cast<uint32_t>(value);
}

// A text inside the single quotes of a driver command: its quotes doubled.
std::string quoted(const char* text) {
  std::string out;
  for (const char* c = text; *c != '\0'; ++c) {
    out += *c;
    if (*c == '\'') out += '\'';
  }
  return out;
}

// Tells an open session of a changed setting; 0 when the connection is
// not open.
int16_t tellServer(LmoDbc* d, const std::string& command) {
  if (!lmoConnectionOpen(d)) return 0;
  return QvExecuteCustomCommand(d, command.c_str());
}

int16_t executeCustom(LmoDbc* d, const char* command) {
  if (ODBCTrace != 0)
    TR_TRACE(kSrc, htrODBC, 64, "    SQLExecuteCustomCommand: called with query:%s", command != nullptr ? command : "");
  LmoStmt* s = nullptr;
  int16_t r = QVSQLAllocStmt(d, &s);
  if ((r == 0 || r == 1) && s != nullptr) {
    std::string text = command != nullptr ? command : "";
    const int16_t executed = command != nullptr ? QVSQLExecDirect(s, text.data(), -3) : int16_t{-1};
    const bool failed = executed != 0 && executed != 1 && executed != 100;
    if (failed) lmoMoveStmtErrors(s, d);
    const int16_t dropped = QVSQLFreeStmt(s, 1);
    r = failed ? executed : dropped;
  } else if (r == 0 || r == 1) {
    r = -1;
  }
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLExecuteCustomCommand: returns %s", MapRetCodeToStr(r));
  return r;
}

void put32(void* value, int64_t number) {
  const auto v = static_cast<uint32_t>(number);
  std::memcpy(value, &v, sizeof v);
}

}  // namespace

bool lmoConnectionOpen(LmoDbc* dbc) {
  uint32_t value = 0;
  if (dbc == nullptr || dbc->rdaDbc == nullptr) return false;
  if (rda_cliGetConnectOption(dbc->rdaDbc, RDA_CLI_CONN_OPT_ASSOCIATED, &value) != 0) return false;
  return value != 0;
}

int16_t QvExecuteCustomCommand(LmoDbc* dbc, const char* command) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLExecuteCustomCommand: Invalid hdbc handle");
    return -2;
  }
  return executeCustom(d, command);
}

int16_t QVSQLSetConnectOption(LmoDbc* dbc, uint16_t option, uint64_t value) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetConnectOption: Invalid hdbc handle");
    return -2;
  }
  lmoClearErrorList(&d->errors);
  LmoErrorList* errors = &d->errors;
  char text[160];
  switch (option) {
    case kQueryTimeout: {
      if (d->queryTimeoutSupport == 0) return 0;
      if (static_cast<int64_t>(value) < 0)
        return addError(errors, kLmoErrOptionChanged, 16,
                        "SQLSetConnectOption: SQL_QUERY_TIMEOUT Option Value changed", 1);
      bool changed = false;
      rda_cliSetConnectOption(d->rdaDbc, RDA_CLI_CONN_OPT_QUERY_TIMEOUT, clientValue(value, &changed));
      if (changed)
        return addError(errors, kLmoErrOptionChanged, 16,
                        "SQLSetConnectOption: SQL_QUERY_TIMEOUT Option Value changed", 1);
      return 0;
    }
    case kMaxRows: {
      bool changed = false;
      rda_cliSetConnectOption(d->rdaDbc, RDA_CLI_CONN_OPT_MAX_ROWS, clientValue(value, &changed));
      if (changed)
        return addError(errors, kLmoErrOptionChanged, 16, "SQLSetConnectOption: SQL_MAX_ROWS Option Value changed",
                        1);
      return 0;
    }
    case kAsyncEnable:
      TR_TRACE(kSrc, htrODBC, 2, "SQLSetConnectOption: SQL_ASYNC_ENABLE: Driver not capable");
      lmoAddError(errors, kLmoErrNotCapable, 0, nullptr);
      return -1;
    case kAccessMode:
      d->accessMode = static_cast<int64_t>(value);
      return 0;
    case kAutocommit: {
      if (value > 1)
        return addError(errors, kErrBadValue, 2, "SQLSetConnectOption(SQL_AUTOCOMMIT): Invalid Argument value", -1);
      // The session is told first: a change the server refuses is no change.
      std::snprintf(text, sizeof text, "%sSET_INFO SQL_AUTOCOMMIT '%ld'", kSpecialPrefix, static_cast<long>(value));
      const int16_t r = tellServer(d, text);
      if (r != 0 && r != 1) return r;
      d->autocommit = static_cast<int64_t>(value);
      rda_cliSetConnectOption(d->rdaDbc, RDA_CLI_CONN_OPT_AUTOCOMMIT, static_cast<uint32_t>(d->autocommit));
      return r;
    }
    case kLoginTimeout:
      d->loginTimeOut = static_cast<int64_t>(value);
      return 0;
    case kOptTrace:
      if (value > 1)
        return addError(errors, kErrBadValue, 2, "SQLSetConnectOption(SQL_OPT_TRACE): Invalid Argument value", -1);
      d->traceOption = static_cast<int64_t>(value);
      return 0;
    case 106: case 107: case 111: case 112:
      return 0;
    case kTxnIsolation: {
      std::snprintf(text, sizeof text, "%sSET_INFO SQL_TXN_ISOLATION '%ld'", kSpecialPrefix,
                    static_cast<long>(static_cast<int64_t>(value)));
      const int16_t r = tellServer(d, text);
      if (r != 0 && r != 1) return r;
      d->txnIsolation = static_cast<int64_t>(value);
      return r;
    }
    case kCurrentQualifier: {
      const auto* name = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
      if (name == nullptr)
        return addError(errors, kErrBadValue, 2, "SQLSetConnectOption(SQL_CURRENT_QUALIFIER): Invalid Argument value",
                        -1);
      char kept[kLmoQualifierSize];
      const size_t n = strnlen(name, sizeof kept - 1);
      std::memcpy(kept, name, n);
      kept[n] = '\0';
      const int16_t r =
          tellServer(d, std::string(kSpecialPrefix) + "SET_INFO SQL_CURRENT_QUALIFIER '" + quoted(kept) + "'");
      if (r != 0 && r != 1) return r;
      std::memcpy(d->currentQualifier, kept, n + 1);
      return r;
    }
    case kOdbcCursors:
      if (value == 1) return 0;
      return notCapable(errors, "SQLSetConnectOption:SQL_ODBC_CURSORS: Driver not capable");
    case kAppWcharType:
      if (value == 1) {
        TR_TRACE(kSrc, htrODBC, 16, "SQLSetConnectOption: SQL_ATTR_APP_WCHAR_TYPE to UTF16");
        return 0;
      }
      return notCapable(errors, "SQLSetConnectOption: SQL_ATTR_APP_WCHAR_TYPE to UTF8: Driver not capable");
    default:
      std::snprintf(text, sizeof text, "SQLSetConnectOption(Option=%d): Driver not capable", static_cast<int>(option));
      return notCapable(errors, text);
  }
}

int16_t QVSQLGetConnectOption(LmoDbc* dbc, uint16_t option, void* value) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetConnectOption: Invalid hdbc handle");
    return -2;
  }
  lmoClearErrorList(&d->errors);
  char text[96];
  std::snprintf(text, sizeof text, "SQLGetConnectOption(Option=%d): Driver not capable", static_cast<int>(option));
  if (value == nullptr) return notCapable(&d->errors, text);
  int16_t length = 0;
  switch (option) {
    case kQueryTimeout:
    case kMaxRows:
      rda_cliGetConnectOption(d->rdaDbc, option, static_cast<uint32_t*>(value));
      return 0;
    case kAsyncEnable:
      lmoAddError(&d->errors, kLmoErrNotCapable, 0, nullptr);
      return -1;
    case kAccessMode: put32(value, d->accessMode); return 0;
    case kAutocommit: put32(value, d->autocommit); return 0;
    case kLoginTimeout: put32(value, d->loginTimeOut); return 0;
    case kOptTrace: put32(value, d->traceOption); return 0;
    case kTxnIsolation: {
      // An open connection has the isolation it was given (the server's
      // default unless set since).
      if (lmoConnectionOpen(d)) {
        put32(value, d->txnIsolation);
        return 0;
      }
      const int16_t r = QVSQLGetInfo(d, 26, value, 4, &length);
      return r == 0 || r == 1 ? r : notCapable(&d->errors, text);
    }
    case kCurrentQualifier: {
      const int16_t r = QVSQLGetInfo(d, 16, value, kQvQualifierOutBytes, &length);
      return r == 0 || r == 1 ? r : notCapable(&d->errors, text);
    }
    case kOdbcCursors: put32(value, 1); return 0;
    case kConnectionDead: put32(value, lmoConnectionOpen(d) ? 0 : 1); return 0;
    default:
      return notCapable(&d->errors, text);
  }
}

int16_t QVSQLSetStmtOption(LmoStmt* stmt, uint16_t option, uint64_t value) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetStmtOption:  Invalid hstmt handle");
    return -2;
  }
  lmoClearErrorList(&s->errors);
  LmoErrorList* errors = &s->errors;
  const LmoDbc* d = s->dbc;
  char text[160];
  const auto asInt = static_cast<int64_t>(value);
  switch (option) {
    case kQueryTimeout: {
      if (d->queryTimeoutSupport == 0) return 0;
      if (asInt < 0) {
        rda_cliSetStmtOption(s->rdaStmt, RDA_CLI_OPT_QUERY_TIMEOUT, 0);
        std::snprintf(text, sizeof text, "SQLSetStmtOption:  Query Timeout %" PRId64 " requested, changed to 0.", asInt);
        return addError(errors, kLmoErrOptionChanged, 16, text, 1);
      }
      bool changed = false;
      rda_cliSetStmtOption(s->rdaStmt, RDA_CLI_OPT_QUERY_TIMEOUT, clientValue(value, &changed));
      if (!changed) return 0;
      std::snprintf(text, sizeof text, "SQLSetStmtOption:  Query Timeout %" PRIu64 " requested, changed to %u.", value,
                    UINT32_MAX);
      return addError(errors, kLmoErrOptionChanged, 16, text, 1);
    }
    case kMaxRows:
    case 1001: {
      bool changed = false;
      rda_cliSetStmtOption(s->rdaStmt, option, clientValue(value, &changed));
      if (!changed || option != kMaxRows) return 0;
      std::snprintf(text, sizeof text, "SQLSetStmtOption:  Max Rows %" PRIu64 " requested, changed to %u.", value,
                    UINT32_MAX);
      return addError(errors, kLmoErrOptionChanged, 16, text, 1);
    }
    case 2: case 3: case 7: case 11:
      return 0;
    case kAsyncEnable:
      if (value == 0) return 0;
      return notCapable(errors, "SQLSetStmtOption(SQL_ASYNC_ENABLE). Driver does not support the option");
    case 5:  // SQL_BIND_TYPE
      if (value != 0)
        TR_TRACE(kSrc, htrODBC, 16, "SQLSetStmtOption: Rowwise Binding requested. Size = %" PRId64 ". ", asInt);
      return 0;
    case 6:  // SQL_CURSOR_TYPE
      if (value == 0) return 0;
      std::snprintf(text, sizeof text,
                    "SQLSetStmtOption:  Cursor Type %" PRId64 " requested, changed to SQL_CURSOR_FORWARD_ONLY.", asInt);
      return addError(errors, kLmoErrOptionChanged, 16, text, 1);
    case 9:  // SQL_ROWSET_SIZE
      if (value == 1) return 0;
      std::snprintf(text, sizeof text, "SQLSetStmtOption:RowSet Size %" PRId64 " requested, changed to 1", asInt);
      TR_TRACE(kSrc, htrODBC, 16, "%s", text);
      if ((d->appMask & 0x1) != 0) return 0;
      lmoAddError(errors, kLmoErrOptionChanged, 0, text);
      return 1;
    case 22:
      if (value != 1)
        TR_TRACE(kSrc, htrODBC, 16, "SQLSetStmtOption:Parameter array size %" PRId64 " requested, changed to 1.",
                 asInt);
      return 0;
    case 26:  // SQL_ATTR_ROWS_FETCHED_PTR: every fetch brings one row
      if (auto* rows = reinterpret_cast<SQLULEN*>(static_cast<uintptr_t>(value))) *rows = 1;
      return 0;
    case 27:
      if (value != 1)
        TR_TRACE(kSrc, htrODBC, 16, "SQLSetStmtOption:Row Array Size %" PRId64 " requested, changed to 1.", asInt);
      return 0;
    default:
      std::snprintf(text, sizeof text, "SQLSetStmtOption(Option=%d):  Driver does not support the option specified",
                    static_cast<int>(option));
      return notCapable(errors, text);
  }
}

int16_t QVSQLGetStmtOption(LmoStmt* stmt, uint16_t option, void* value) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetStmtOption:  Invalid hstmt handle");
    return -2;
  }
  lmoClearErrorList(&s->errors);
  if (value != nullptr) {
    switch (option) {
      case kQueryTimeout:
      case kMaxRows:
        put32(value, 0);
        rda_cliGetStmtOption(s->rdaStmt, option, static_cast<uint32_t*>(value));
        return 0;
      case 3: put32(value, 32768); return 0;  // SQL_MAX_LENGTH
      case 4: case 6: put32(value, 0); return 0;
      case 9: case 27: put32(value, 1); return 0;
      default: break;
    }
  }
  char text[96];
  std::snprintf(text, sizeof text, "SQLGetStmtOption(Option=%d): Driver not capable", static_cast<int>(option));
  return notCapable(&s->errors, text);
}

QV_EXPORT SQLRETURN SQL_API SQLExecuteCustomCommand(SQLHDBC dbc, SQLCHAR* command) {
  return qvExport([&]() -> SQLRETURN {
    LmoDbc* d = lmoLiveDbc(dbc);
    if (d == nullptr) {
      TR_TRACE(kSrc, htrODBC, 2, "SQLExecuteCustomCommand: Invalid hdbc handle");
      return SQL_INVALID_HANDLE;
    }
    return QvRunOnConnection(d, [&] { return executeCustom(d, reinterpret_cast<const char*>(command)); });
  });
}
