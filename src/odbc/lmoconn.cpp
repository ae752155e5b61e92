// Connection records and the SQLConnect road: allocation, connect with
// fail-over, the set-up after a connect, disconnect and free.
#include "src/odbc/lmoconn.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "common/qvunicode.h"
#include "src/odbc/connstr.h"
#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/lmoconn";
constexpr const char* kUnknownDriverType = "unknown";
constexpr int16_t kNts = -3;

void copyText(char* dst, size_t size, const char* src) {
  const size_t n = strnlen(src, size - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// The connection's execution context: the calling thread's record while a
// call runs on it.
LmoTLS* contextOf(LmoDbc* dbc) { return dbc->tls.lmo != nullptr ? dbc->tls.lmo : getLmoTLS(0); }

// A text information value of the connection's own SQLGetInfo; false when it
// fails.
bool infoText(LmoDbc* dbc, uint16_t type, char* out, int16_t size) {
  out[0] = '\0';
  int16_t length = 0;
  const int16_t r = QVSQLGetInfo(dbc, type, out, size, &length);
  return r == 0 || r == 1;
}

template <class T>
bool infoNumber(LmoDbc* dbc, uint16_t type, T* out) {
  T value{};
  int16_t length = 0;
  const int16_t r = QVSQLGetInfo(dbc, type, &value, sizeof value, &length);
  if (r != 0 && r != 1) return false;
  *out = value;
  return true;
}

// The server, user and password of a connect as UTF-8; the password is
// wiped when the connect is done.
struct ConnectArgs {
  char server[kLmoServerBytes];
  char user[kLmoCredentialBytes];
  char password[kLmoCredentialBytes];
  ~ConnectArgs() { std::memset(password, 0, sizeof password); }
};

}  // namespace

bool lmoToUtf8(const wchar_t* text, int64_t chars, char* out, size_t outBytes) {
  if (out == nullptr || outBytes == 0) return text == nullptr || chars == 0;
  size_t used = 0;
  bool whole = true;
  if (text != nullptr) {
    for (int64_t i = 0; chars == kNts ? text[i] != L'\0' : i < chars; ++i) {
      char one[4];
      int32_t n = unix_wcstoutf8(text + i, 1, one, sizeof one);
      if (n <= 0) {
        one[0] = '?';
        n = 1;
      }
      if (used + static_cast<size_t>(n) > outBytes - 1) {
        whole = false;
        break;
      }
      std::memcpy(out + used, one, static_cast<size_t>(n));
      used += static_cast<size_t>(n);
    }
  }
  out[used] = '\0';
  return whole;
}

int32_t QvConnectOnRedundantServers(RDA_CliHDBC* rdaDbc, const char* server, int16_t serverLength, const char* user,
                                    int16_t userLength, const char* password, int16_t passwordLength,
                                    const char* connectString, int32_t result, LmoDbc* dbc) {
  for (;;) {
    char* list = QvGetCachedAddrList();
    int32_t isLast = 0;
    char* rest = list != nullptr && list[0] != '\0' ? QvRemoveCurAddr(list, &isLast) : nullptr;
    if (rest == nullptr) break;
    rda_cliDisconnect(rdaDbc);
    rda_cli_ClearPrevError(rdaDbc);
    TR_TRACE(kSrc, htrODBC, 64, "\tTrying to connect using IP addresses %s", rest);
    result = rda_cliConnect(rdaDbc, server, serverLength, user, userLength, password, passwordLength, connectString);
    if (result != -1) return result;
    if (rda_cli_IsLoadBalancingError(rdaDbc) == 0) return result;
    if (isLast != 0) break;
  }
  QvAddRdaCliErrorToLmo(rdaDbc, dbc);
  rda_cliDisconnect(rdaDbc);
  return result;
}

int32_t lmoRdaConnect(LmoDbc* dbc, const char* server, const char* user, const char* password,
                      const char* connectString) {
  // The name goes terminated: the client takes one of 128 bytes only so.
  int32_t r = rda_cliConnect(dbc->rdaDbc, server, kNts, user, kNts, password, kNts, connectString);
  if (r == -1 && rda_cli_IsLoadBalancingError(dbc->rdaDbc) != 0)
    r = QvConnectOnRedundantServers(dbc->rdaDbc, server, kNts, user, kNts, password, kNts, connectString, r, dbc);
  QvResetCachedAddrList();
  return r;
}

int32_t lmoConnectWide(LmoDbc* dbc, const wchar_t* server, const wchar_t* user, int16_t userLength,
                       const wchar_t* password, int16_t passwordLength, const char* connectString, const char* caller) {
  ConnectArgs args;
  lmoToUtf8(server, kNts, args.server, sizeof args.server);
  // A credential is never cut: one that does not fit is refused.
  const struct {
    const wchar_t* text;
    int16_t length;
    char* out;
    const char* keyword;
  } credentials[] = {{user, userLength, args.user, "UID"}, {password, passwordLength, args.password, "PWD"}};
  for (const auto& c : credentials) {
    if (!lmoToUtf8(c.text, c.length, c.out, kLmoCredentialBytes)) {
      char text[96];
      std::snprintf(text, sizeof text, "%s: Bad length of %s", caller, c.keyword);
      lmoAddError(&dbc->errors, kLmoErrBadLength, 0, text);
      return -1;
    }
  }
  return lmoRdaConnect(dbc, args.server, args.user, args.password, connectString);
}

int32_t QvSetMapDefaultWcharAsChar(LmoDbc* dbc, const wchar_t* text, const wchar_t*) {
  int32_t flag = 0;
  if (text != nullptr) {
    static constexpr wchar_t kEntry[] = L"MapDefaultWcharAsChar";
    if (const wchar_t* at = qvwcsistr(text, kEntry)) {
      const wchar_t* value = qvwcschr(at, L'=');
      if (value != nullptr) {
        ++value;
        size_t n = 0;
        while (value[n] != L'\0' && value[n] != L';') ++n;
        flag = n == 1 && value[0] == L'1' ? 1 : 0;
      }
    }
  }
  if (dbc != nullptr) dbc->mapDefaultWcharAsChar = flag;
  return flag;
}

int16_t QVSQLInitConnInfo(LmoDbc* dbc) {
  RDA_CliHDBC* rda = dbc->rdaDbc;
  // 1. Call-trace levels named by the connect string.
  int32_t traceLevel = -1;
  int32_t cliTraceLevel = -1;
  if (lmo_getKeyValueAsInt(dbc->connectStr, L"QVTraceOptions", &traceLevel) != 0) traceLevel = -1;
  if (lmo_getKeyValueAsInt(dbc->connectStr, L"QVCLITraceOptions", &cliTraceLevel) != 0) cliTraceLevel = -1;
  QvInitTrace(0, traceLevel, cliTraceLevel);

  // 2-3. The product and the information flags.
  rda_cliSetProductType(rda, static_cast<uint32_t>(QvGetProductType()));
  if (qv_getInfo(QV_INFO_GETINFOMETHOD, 0, nullptr, 0, -1) != 0) {
    dbc->flags |= kLmoDbcSpecialCommands;
    TR_TRACE(kSrc, htrODBC, 64, "QVINFO: Using special command");
  }
  if (qv_getInfo(QV_INFO_DISABLEINFOCACHING, 0, nullptr, 0, -1) != 0) {
    dbc->flags |= kLmoDbcNoInfoCaching;
    TR_TRACE(kSrc, htrODBC, 64, "QVINFO: Caching disabled");
  }

  // 4. The server's driver type.
  char text[kLmoDriverTypeSize];
  if (qv_getInfo(QV_INFO_LOOKUPFROMDB, 0, nullptr, 0, -1) == 0) {
    copyText(dbc->driverType, sizeof dbc->driverType, "DAM");
    dbc->driverTypeNumber = 2;
    dbc->cursorOption = 0;
  } else {
    if (lmoRequestInfo(dbc, "SELECT INFO_TEXT FROM QV_INFO WHERE INFO_NAME like 'LMO_DRIVER_TYPE'", dbc->driverType,
                       sizeof dbc->driverType) != 0)
      copyText(dbc->driverType, sizeof dbc->driverType, "Default");
    if (!infoText(dbc, 8192, text, sizeof text)) dbc->driverTypeNumber = 2;
    else if (text[0] != '\0') dbc->driverTypeNumber = std::strtol(text, nullptr, 10);
    int32_t cursor = 0;
    dbc->cursorOption = infoNumber(dbc, 8193, &cursor) ? cursor : 0;
  }
  rda_cliSetConnectOption(rda, RDA_CLI_CONN_OPT_1000, static_cast<uint32_t>(dbc->cursorOption));

  // 5-8. Decimal point, maximum rows, statement options, cursor use.
  const bool point = infoText(dbc, 8194, text, sizeof text) && text[0] != '\0';
  rda_cliSetDecimalPointOption(rda, point ? text[0] : '.');
  const uint32_t maxRows = infoText(dbc, 8195, text, sizeof text) ? std::strtoul(text, nullptr, 10) : 0;
  rda_cliSetMaxRowsOption(rda, maxRows);
  dbc->stmtOptionsSupport =
      infoText(dbc, 8196, text, sizeof text) ? static_cast<int32_t>(std::strtol(text, nullptr, 10)) : 0;
  rda_cliSetStmtOptionsSupport(rda, static_cast<uint32_t>(dbc->stmtOptionsSupport));
  int32_t alwaysCursor = 0;
  dbc->alwaysUseCursor = infoNumber(dbc, 8197, &alwaysCursor) ? alwaysCursor : 0;
  rda_cliSetConnOptionAlwaysUseCursor(rda, static_cast<uint32_t>(dbc->alwaysUseCursor));

  // 9. Cursor commit behaviour.
  int16_t commit = 2;
  if (!infoNumber(dbc, 23, &commit)) commit = 2;
  rda_cliSetConnectOption(rda, RDA_CLI_CONN_OPT_1001, static_cast<uint32_t>(commit));

  // 10. Map default wide as narrow.
  const int16_t result =
      static_cast<int16_t>(rda_cliSetMapDefaultWcharAsChar(rda, static_cast<uint32_t>(dbc->mapDefaultWcharAsChar)));

  // 11. Application mask.
  char mask[64] = "";
  qv_getInfo(QV_INFO_APPMASK, 0, mask, sizeof mask, -1);
  dbc->appMask = static_cast<int32_t>(std::strtoul(mask, nullptr, 16));

  // 12. Transaction isolation.
  int32_t isolation = 0;
  if (infoNumber(dbc, 26, &isolation)) dbc->txnIsolation = isolation;

  // The lookups that failed fell back to their defaults: what they reported
  // is no diagnostic of the connect.
  lmoClearErrorList(&dbc->errors);

  // 13. Default query time-out.
  if (dbc->queryTimeoutSupport != 0) {
    int32_t timeout = -1;
    if (lmo_getKeyValueAsInt(dbc->connectStr, L"DefaultQueryTimeout", &timeout) != 0) {
      timeout = qv_getInfo(QV_INFO_DEFAULTQUERYTIMEOUT, 0, nullptr, 0, -1);
      if (timeout != -1) TR_TRACE(kSrc, htrODBC, 16, "Read DefaultQueryTimeout=%d from mirodel.ini.", timeout);
    } else {
      TR_TRACE(kSrc, htrODBC, 16, "Read DefaultQueryTimeout=%d from connect string.", timeout);
    }
    if (timeout != -1) rda_cliSetConnectOption(rda, RDA_CLI_CONN_OPT_QUERY_TIMEOUT, static_cast<uint32_t>(timeout));
  } else {
    TR_TRACE(kSrc, htrODBC, 16, "QueryTimeout support is not enabled.");
  }
  return result;
}

// ---------------------------------------------------------------------------
// Cores

int16_t QVSQLAllocConnectOnThread(LmoEnv* env, LmoDbc** out) {
  if (out != nullptr) *out = nullptr;
  LmoEnv* e = lmoLiveEnv(env);
  if (e == nullptr || out == nullptr) return -2;
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 32, "SQLAllocConnectOnThread: called");
  if (LmoTLS* t = getLmoTLS(0)) t->windowHandle = 0;
  lmoClearErrorList(&e->errors);
  auto* dbc = new (std::nothrow) LmoDbc{};
  if (dbc == nullptr || lmoRegister(LmoKind::Dbc, dbc) == 0) {
    delete dbc;
    TR_TRACE(kSrc, htrODBC, 2, "SQLAllocConnect: Cannot allocate hdbc memory");
    lmoAddError(&e->errors, kLmoErrMemory, 0, "SQLAllocConnect: Cannot allocate hdbc memory");
    return -1;
  }
  dbc->self = dbc;
  dbc->env = e;
  dbc->responseTimeOut = qv_getInfo(QV_INFO_RESPONSE_TIME_OUT, 0, nullptr, 0, -1);
  dbc->autocommit = qv_getInfo(QV_INFO_AUTOCOMMIT, 0, nullptr, 0, -1);
  copyText(dbc->driverType, sizeof dbc->driverType, kUnknownDriverType);
  dbc->loginTimeOut = 3200;
  dbc->txnIsolation = 1;
  dbc->queryTimeoutSupport = qv_getInfo(QV_INFO_SUPPORTQUERYTIMEOUT, 0, nullptr, 0, -1);
  const int32_t r = rda_cliAllocConnect(e->rdaEnv, &dbc->rdaDbc);
  if (r != 0) {
    lmoUnregister(dbc);
    delete dbc;
  } else {
    rda_cliSetConnectOption(dbc->rdaDbc, RDA_CLI_CONN_OPT_AUTOCOMMIT, static_cast<uint32_t>(dbc->autocommit));
    *out = dbc;
  }
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 32, "SQLAllocConnectOnThread: return with: %d", static_cast<int>(r));
  return static_cast<int16_t>(r);
}

int16_t QVSQLConnectW(LmoDbc* dbc, wchar_t* dsn, int16_t dsnLength, wchar_t* user, int16_t userLength,
                      wchar_t* password, int16_t passwordLength) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLConnectW: Invalid hdbc handle");
    return -2;
  }
  if (user == nullptr) {
    user = const_cast<wchar_t*>(L"");
    userLength = 0;
  }
  if (password == nullptr) {
    password = const_cast<wchar_t*>(L"");
    passwordLength = 0;
  }
  lmoClearErrorList(&d->errors);
  const struct {
    int16_t length;
    const char* text;
  } lengths[] = {{dsnLength, "SQLConnectW: Bad length of DSN"},
                 {userLength, "SQLConnectW: Bad length of UID"},
                 {passwordLength, "SQLConnectW: Bad length of PWD"}};
  for (const auto& l : lengths) {
    if (l.length < 0 && l.length != kNts) {
      lmoAddError(&d->errors, kLmoErrBadLength, 0, l.text);
      return -1;
    }
  }

  // The data source names the server: both are its first 128 characters.
  wchar_t name[kLmoNameChars];
  {
    LmoWideText n(name, kLmoNameChars);
    if (dsn != nullptr) n.put(dsn, dsnLength == kNts ? SIZE_MAX : static_cast<size_t>(dsnLength));
  }
  TR_TRACE(kSrc, htrODBC, 64, "non-ODBC product\n");
  QvAppendConnectOptions(d);

  const int32_t r = lmoConnectWide(d, name, user, userLength, password, passwordLength, QvGetUtf8ConnectStr(d, 0),
                                   "SQLConnectW");

  LmoWideText(d->serverName, kLmoNameChars).put(name);
  LmoWideText(d->dataSourceName, kLmoNameChars).put(name);
  QvSetMapDefaultWcharAsChar(d, nullptr, nullptr);
  d->driverType[0] = '\0';
  if (r != 0) {
    QvSetConnectStr(d, nullptr);
    return static_cast<int16_t>(r);
  }
  return QVSQLInitConnInfo(d);
}

int16_t QVSQLDisconnect(LmoDbc* dbc) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLDisconnect: Invalid hdbc handle");
    return -2;
  }
  lmoClearErrorList(&d->errors);
  const int32_t r = rda_cliDisconnect(d->rdaDbc);
  QvSetConnectStr(d, nullptr);
  return static_cast<int16_t>(r);
}

int16_t QVSQLFreeConnect(LmoDbc* dbc) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLFreeConnect: Invalid hdbc handle");
    return -2;
  }
  lmoClearErrorList(&d->errors);
  // A connection the client keeps (still associated, statements left) is
  // kept here too, with the client's diagnostic.
  const int32_t r = rda_cliFreeConnect(d->rdaDbc);
  if (r == -1) return -1;
  lmoUnregister(d);
  if (LmoTLS* ctx = contextOf(d); ctx != nullptr && ctx->servedDbc == d) ctx->servedDbc = nullptr;
  delete d;
  return r == -2 ? 0 : static_cast<int16_t>(r);
}
