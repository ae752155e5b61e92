// SQLGetInfo: a few answers of the driver itself, and the server's
// information, asked through a query on its QV_INFO table or through the
// special command _QV_GET_INFO, and kept in the information file (one
// section per server driver type) so that later connections to servers of
// the same type need not ask again. The exported helpers SQLRequestInfo,
// SQLRequestInfoSpecialCmd and SQLbufcpy.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "common/qvmutexes.h"
#include "common/qvstring.h"
#include "common/qvthread.h"
#include "common/verinfo.h"
#include "src/odbc/alltls.h"
#include "src/odbc/cores.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoconn.h"
#include "src/odbc/lmoinfo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/lmogetinfo";
constexpr int32_t kInfoPathSize = 512;
constexpr int32_t kCachedValueSize = 2048;  // what a cached value may hold, terminator included
constexpr int32_t kLocalBufferSize = 50;    // a request made without a buffer
constexpr int32_t kMissing16 = -99;         // a 16-bit key that is not in the file
constexpr int64_t kNullData = -1;
constexpr const char* kSpecialPrefix = "_QV_";

bool ok(int16_t r) { return r == 0 || r == 1; }

// ---- The information file ----

// Information is cached only for a connection whose server said what it is:
// a driver type that is no longer "unknown" and that makes a section
// header of its own.
bool cacheKnown(const LmoDbc* d) {
  if (d->driverType[0] == '\0' || qv_stricmp(d->driverType, "unknown") == 0) return false;
  for (const char* c = d->driverType; *c != '\0'; ++c)
    if (static_cast<unsigned char>(*c) < 0x20 || *c == '[' || *c == ']') return false;
  return true;
}

void infoPath(char (&path)[kInfoPathSize]) {
  std::snprintf(path, sizeof path, "qvinfo.ini");
  qv_getInfo(QV_INFO_INFOINIFILE, 0, path, sizeof path, -1);
}

// A value the file gives back as it was written: one line, no blanks at
// its ends (the reader strips them) and short enough for the reader.
bool readsBack(const char* value) {
  const size_t n = std::strlen(value);
  if (n == 0 || n >= static_cast<size_t>(kCachedValueSize)) return false;
  if (std::strpbrk(value, "\r\n") != nullptr) return false;
  return !(value[0] == ' ' || value[0] == '\t' || value[n - 1] == ' ' || value[n - 1] == '\t');
}

void cacheWrite(const LmoDbc* d, uint16_t type, const char* value) {
  if (!cacheKnown(d) || (d->flags & kLmoDbcNoInfoCaching) != 0) return;
  if (!readsBack(value)) {
    TR_TRACE(kSrc, htrODBC, 16, "QVINFO: answer of type %d not cached", static_cast<int>(type));
    return;
  }
  char path[kInfoPathSize];
  infoPath(path);
  char key[16];
  std::snprintf(key, sizeof key, "%u", static_cast<unsigned>(type));
  if (WritePrivateProfileString(d->driverType, key, value, path) == 0)
    TR_TRACE(kSrc, htrODBC, 16, "QVINFO: cannot write %s", path);
}

// The cached text of a type into `out`; false when there is none.
bool cacheRead(const LmoDbc* d, uint16_t type, char (&out)[kCachedValueSize]) {
  out[0] = '\0';
  if (!cacheKnown(d)) return false;
  char path[kInfoPathSize];
  infoPath(path);
  char key[16];
  std::snprintf(key, sizeof key, "%u", static_cast<unsigned>(type));
  GetPrivateProfileString(d->driverType, key, "", out, sizeof out, path);
  return out[0] != '\0';
}

// ---- Answers into the application's buffers ----

// A text answer: the whole length goes out; a text that does not fit is cut
// and terminated, with 01004 and 1. A NULL buffer asks for the length only.
int16_t putText(LmoDbc* d, void* value, int16_t bufferLength, const char* text, size_t length, int16_t* lengthOut) {
  if (lengthOut != nullptr) *lengthOut = static_cast<int16_t>(std::min<size_t>(length, INT16_MAX));
  if (value == nullptr) return 0;
  auto* out = static_cast<char*>(value);
  if (bufferLength > 0) {
    const size_t n = std::min(length, static_cast<size_t>(bufferLength) - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
  }
  if (bufferLength > 0 && length < static_cast<size_t>(bufferLength)) return 0;
  if (d != nullptr) lmoAddError(&d->errors, kLmoErrTruncated, 0, nullptr);
  return 1;
}

int16_t putText(LmoDbc* d, void* value, int16_t bufferLength, const char* text, int16_t* lengthOut) {
  return putText(d, value, bufferLength, text, std::strlen(text), lengthOut);
}

template <class T>
int16_t putNumber(void* value, T number, int16_t* lengthOut) {
  if (value != nullptr) std::memcpy(value, &number, sizeof number);
  if (lengthOut != nullptr) *lengthOut = static_cast<int16_t>(sizeof number);
  return 0;
}

int16_t refuse(LmoDbc* d, uint16_t type) {
  char text[64];
  std::snprintf(text, sizeof text, "SQLGetInfo(OptionType:%d) Driver not Capable", static_cast<int>(type));
  TR_TRACE(kSrc, htrODBC, 16, "%s", text);
  lmoAddError(&d->errors, kLmoErrNotCapable, 0, text);
  return -1;
}

// The request of one type; a server without the value (no row) is a type
// the driver cannot answer.
int16_t ask(LmoDbc* d, uint16_t type, const char* column, int16_t cType, void* buffer, int64_t length,
            int64_t* indicator) {
  char key[16];
  std::snprintf(key, sizeof key, "%u", static_cast<unsigned>(type));
  const std::string text = QvBuildQvInfoQuery(d, column, key);
  const int16_t r = QvRequestInfo(d, buffer, length, indicator, text.c_str(), cType);
  if (r == 100) refuse(d, type);
  return r;
}

// ---- Local answers ----

int16_t localAnswer(LmoDbc* d, uint16_t type, void* value, int16_t bufferLength, int16_t* lengthOut) {
  char name[kLmoNameChars];
  switch (type) {
    case 0:
      return putNumber<int16_t>(value, 0, lengthOut);
    case 9: case 12: case 15:
      return putNumber<int16_t>(value, 1, lengthOut);
    case 2:
    case 13:
      QvNarrowText(type == 2 ? d->dataSourceName : d->serverName, -3, name, kLmoNameChars);
      return putText(d, value, bufferLength, name, lengthOut);
    case 6:
      return putText(d, value, bufferLength, "qvjdbc.a", lengthOut);
    case 7:
      return putText(d, value, bufferLength, QvGetProductVersion(), lengthOut);
    case 77:
      return putText(d, value, bufferLength, "03.51", lengthOut);
    default:  // 1024
      if (lengthOut != nullptr) *lengthOut = 0;
      return 0;
  }
}

// ---- Server answers ----

int16_t shortAnswer(LmoDbc* d, uint16_t type, void* value, int16_t* lengthOut) {
  if (cacheKnown(d)) {
    char path[kInfoPathSize];
    infoPath(path);
    char key[16];
    std::snprintf(key, sizeof key, "%u", static_cast<unsigned>(type));
    const int32_t cached = GetPrivateProfileInt(d->driverType, key, kMissing16, path);
    if (cached != kMissing16) return putNumber(value, static_cast<int16_t>(cached), lengthOut);
  }
  int16_t answer = 0;
  int64_t indicator = 0;
  const int16_t r = ask(d, type, "INFO_INT", kQvInfoCShort, &answer, sizeof answer, &indicator);
  if (!ok(r) && r != 110) return -1;
  if (indicator == kNullData) {
    answer = 0;
  } else if (r != 1) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", answer);
    cacheWrite(d, type, text);
  }
  return putNumber(value, answer, lengthOut);
}

int16_t longAnswer(LmoDbc* d, uint16_t type, void* value, int16_t* lengthOut, bool always) {
  char cached[kCachedValueSize];
  if (!always && cacheRead(d, type, cached))
    return putNumber(value, static_cast<int32_t>(std::strtoll(cached, nullptr, 10)), lengthOut);
  int32_t answer = 0;
  int64_t indicator = 0;
  const int16_t r = ask(d, type, "INFO_BITMASK", kQvInfoCLong, &answer, sizeof answer, &indicator);
  if (!ok(r) && r != 110) return -1;
  if (indicator == kNullData) {
    answer = 0;
  } else if (!always && r != 1 && type != 26) {  // the default isolation is the connection's own
    char text[16];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(answer));
    cacheWrite(d, type, text);
  }
  return putNumber(value, answer, lengthOut);
}

// Texts that belong to one connection, not to the server's type.
bool neverCached(uint16_t type) { return type == 16 || type == 39 || type == 42 || type == 47; }

int16_t textAnswer(LmoDbc* d, uint16_t type, void* value, int16_t bufferLength, int16_t* lengthOut, bool always) {
  char cached[kCachedValueSize];
  if (!always && cacheRead(d, type, cached)) {
    // "NULL" stands for a value the server gave as NULL.
    const char* text = qv_stricmp(cached, "NULL") != 0 ? cached : type == 29 ? " " : "";
    return putText(d, value, bufferLength, text, lengthOut);
  }
  // The answer is fetched whole into a buffer of the driver's, so that it
  // can be cached whatever the application's buffer holds.
  std::vector<char> buffer(static_cast<size_t>(std::max<int32_t>(kCachedValueSize, int32_t{bufferLength} + 1)), '\0');
  int64_t indicator = 0;
  const int16_t r = ask(d, type, "INFO_TEXT", kQvInfoCChar, buffer.data(), static_cast<int64_t>(buffer.size()),
                        &indicator);
  if (r == 1) {
    // Longer than the driver's buffer: cut, never cached.
    putText(d, value, bufferLength, buffer.data(), std::strlen(buffer.data()), nullptr);
    if (lengthOut != nullptr) *lengthOut = static_cast<int16_t>(std::clamp<int64_t>(indicator, 0, INT16_MAX));
    lmoAddError(&d->errors, kLmoErrTruncated, 0, nullptr);
    return 1;
  }
  if (r != 0 && r != 110) return -1;
  const bool isNull = indicator == kNullData;
  if (isNull) buffer[0] = '\0';
  if (!always && !neverCached(type)) {
    // A text "NULL" would read back as a NULL answer: it is not cached.
    if (isNull) cacheWrite(d, type, "NULL");
    else if (qv_stricmp(buffer.data(), "NULL") != 0) cacheWrite(d, type, buffer.data());
  }
  return putText(d, value, bufferLength, buffer.data(), lengthOut);
}

// ---- The request road ----

int16_t requestOnStatement(LmoDbc* d, void* buffer, int64_t length, int64_t* indicatorOut, char* text, int16_t cType,
                           bool direct) {
  char local[kLocalBufferSize];
  if (buffer == nullptr || (length <= 0 && cType == kQvInfoCChar)) {
    buffer = local;
    length = sizeof local;
  }
  int64_t indicator = 0;
  LmoStmt* s = nullptr;
  int16_t r = QVSQLAllocStmt(d, &s);
  if (!ok(r) || s == nullptr) return ok(r) ? int16_t{-1} : r;
  if (direct) {
    r = QVSQLExecDirect(s, text, -3);
  } else if (ok(r = QVSQLPrepare(s, text, -3))) {
    r = QVSQLExecute(s);
  }
  if (ok(r) && ok(r = QVSQLBindCol(s, 1, cType, buffer, length, &indicator))) {
    r = QVSQLFetch(s);
    if (r == 0 || r == 110 || r == 1) {
      if (cType == kQvInfoCChar && indicator > 0 && indicator < length) static_cast<char*>(buffer)[indicator] = '\0';
      const int16_t dropped = QVSQLFreeStmt(s, 1);
      if (indicatorOut != nullptr) *indicatorOut = indicator;
      return r == 1 ? r : dropped;
    }
  }
  if (r != 100) lmoMoveStmtErrors(s, d);
  QVSQLFreeStmt(s, 1);
  return r;
}

int16_t specialCmd(LmoDbc* d, void* buffer, int64_t length, int64_t* indicator, const char* key, int16_t cType) {
  if (ODBCTrace != 0)
    TR_TRACE(kSrc, htrODBC, 64, "    SQLRequestInfoSpecialCmd: called: InfoType %s", key != nullptr ? key : "");
  if (key == nullptr) key = "";
  std::string command = std::string(kSpecialPrefix) + "GET_INFO " + key;
  int16_t r;
  if (command.size() >= static_cast<size_t>(kQvInfoCommandSize)) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLRequestInfoSpecialCmd: Request too large for buffer");
    lmoAddError(&d->errors, kLmoErrGeneral, 0, "SQLRequestInfoSpecialCmd: Request too large for buffer");
    r = -1;
  } else {
    r = requestOnStatement(d, buffer, length, indicator, command.data(), cType, true);
  }
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLRequestInfoSpecialCmd: returns %s", MapRetCodeToStr(r));
  return r;
}

int16_t requestInfo(LmoDbc* d, void* buffer, int64_t length, int64_t* indicator, const char* text, int16_t cType) {
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLRequestInfo: called");
  int16_t r;
  if ((d->flags & kLmoDbcSpecialCommands) != 0) {
    r = specialCmd(d, buffer, length, indicator, text, cType);
  } else if (text == nullptr) {
    r = -1;
  } else {
    std::string query = text;
    r = requestOnStatement(d, buffer, length, indicator, query.data(), cType, false);
  }
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLRequestInfo: returns %s", MapRetCodeToStr(r));
  return r;
}

constexpr int32_t kMostErrorsMoved = 64;

}  // namespace

// ---------------------------------------------------------------------------

void lmoMoveStmtErrors(LmoStmt* stmt, LmoDbc* dbc) {
  LmoStmt* s = lmoLiveStmt(stmt);
  LmoDbc* d = lmoLiveDbc(dbc);
  if (s == nullptr || d == nullptr) return;
  std::vector<wchar_t> message(kLmoMessageChars);
  wchar_t state[kLmoSqlStateChars];
  for (int32_t i = 0; i < kMostErrorsMoved; ++i) {
    int32_t native = 0;
    int16_t length = 0;
    if (lmoError(nullptr, nullptr, s, state, &native, message.data(), kLmoMessageChars, &length) != 0) break;
    lmoAddSQLStateW(&d->errors, state, native, message.data());
  }
  for (int32_t i = 0; i < kMostErrorsMoved && s->rdaStmt != nullptr; ++i) {
    int32_t native = 0;
    int32_t length = 0;
    message[0] = L'\0';
    if (rda_cliError(nullptr, nullptr, s->rdaStmt, state, &native, message.data(), kLmoMessageChars - 1, &length) != 0)
      break;
    lmoTakeBracketedNative(message.data(), &native);
    lmoAddSQLStateW(&d->errors, state, native, message.data());
  }
}

int16_t QvRunOnConnectionFn(LmoDbc* dbc, int16_t (*fn)(void*), void* arg) {
  LmoTLS* ctx = dbc->tls.lmo;
  if (ctx == nullptr) return -1;
  if (QvIsMultiThreaded() == 0) {
    QvWaitForThreadSafeObject(hSerializeMutex);
    const int16_t r = fn(arg);
    QvReleaseThreadSafeMutex(hSerializeMutex);
    return r;
  }
  QvWaitForThreadSafeObject(ctx->connMutex);
  AllTLS* set = ctx->servedDbc != nullptr ? &ctx->servedDbc->tls : nullptr;
  const uint64_t previous = QvChangeThreadIdInAllTLS(set, QvGetThreadId());
  const int16_t r = fn(arg);
  QvChangeThreadIdInAllTLS(set, previous);
  QvReleaseThreadSafeMutex(ctx->connMutex);
  return r;
}

QvInfoKind QvInfoKindOf(uint16_t t) {
  switch (t) {
    case 0: case 2: case 6: case 7: case 9: case 12: case 13: case 15: case 77: case 1024:
      return QvInfoKind::Local;
    case 8192: return QvInfoKind::AlwaysText;
    case 8193: return QvInfoKind::AlwaysLong;
    case 1: case 22: case 23: case 24: case 28: case 46: case 74: case 75: case 84: case 85: case 88: case 93:
    case 106: case 107: case 114: case 116: case 10005:
      return QvInfoKind::Short;
    case 8: case 26: case 43: case 44: case 86: case 91: case 92: case 95: case 96: case 102: case 104: case 105:
    case 108: case 109: case 110: case 112: case 115: case 172: case 8197: case 10001: case 10021: case 10022:
      return QvInfoKind::Long;
    case 11: case 14: case 25: case 27: case 29: case 45: case 47: case 73: case 87: case 89: case 90: case 94:
    case 103: case 111: case 113: case 171: case 8194: case 8195: case 8196: case 8198: case 10000: case 10002:
    case 10003: case 10004:
      return QvInfoKind::Text;
    default:
      break;
  }
  if ((t >= 30 && t <= 35) || (t >= 97 && t <= 101)) return QvInfoKind::Short;
  if ((t >= 48 && t <= 72) || (t >= 78 && t <= 83) || (t >= 117 && t <= 170)) return QvInfoKind::Long;
  if ((t >= 16 && t <= 21) || (t >= 36 && t <= 42)) return QvInfoKind::Text;
  return QvInfoKind::Refused;
}

std::string QvBuildQvInfoQuery(const LmoDbc* dbc, const char* column, const char* key) {
  if (dbc != nullptr && (dbc->flags & kLmoDbcSpecialCommands) != 0) return std::string(key) + " " + column;
  std::string table = "QV_INFO ";
  if (gsSchemaOwner[0] != '\0') table = std::string(gsSchemaOwner) + "." + table;
  return std::string("SELECT ") + column + " FROM " + table + "WHERE INFO_NUM = " + key;
}

int16_t QvRequestInfo(LmoDbc* dbc, void* buffer, int64_t length, int64_t* indicator, const char* text,
                      int16_t cType) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLRequestInfo: Invalid hdbc handle");
    return -2;
  }
  return requestInfo(d, buffer, length, indicator, text, cType);
}

int16_t QvRequestInfoSpecialCmd(LmoDbc* dbc, void* buffer, int64_t length, int64_t* indicator, const char* key,
                                int16_t cType) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLRequestInfoSpecialCmd: Invalid hdbc handle");
    return -2;
  }
  return specialCmd(d, buffer, length, indicator, key, cType);
}

int16_t lmoRequestInfo(LmoDbc* dbc, const char* query, char* out, int32_t outSize) {
  if (out == nullptr || outSize <= 0) return -1;
  out[0] = '\0';
  int64_t indicator = 0;
  const int16_t r = QvRequestInfo(dbc, out, outSize, &indicator, query, kQvInfoCChar);
  if (r != 0 && r != 110) {
    out[0] = '\0';
    return -1;
  }
  if (indicator == kNullData) out[0] = '\0';
  return 0;
}

int16_t QVSQLGetInfo(LmoDbc* dbc, uint16_t type, void* value, int16_t bufferLength, int16_t* length) {
  LmoDbc* d = nullptr;
  if (dbc != nullptr && (d = lmoLiveDbc(dbc)) == nullptr) return -2;
  if (d == nullptr && type != 7) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetInfo: Invalid hdbc handle");
    return -2;
  }
  if (d == nullptr) return putText(nullptr, value, bufferLength, QvGetProductVersion(), length);
  lmoClearErrorList(&d->errors);
  switch (QvInfoKindOf(type)) {
    case QvInfoKind::Local: return localAnswer(d, type, value, bufferLength, length);
    case QvInfoKind::Short: return shortAnswer(d, type, value, length);
    case QvInfoKind::Long: return longAnswer(d, type, value, length, false);
    case QvInfoKind::Text: return textAnswer(d, type, value, bufferLength, length, false);
    case QvInfoKind::AlwaysText: return textAnswer(d, type, value, bufferLength, length, true);
    case QvInfoKind::AlwaysLong: return longAnswer(d, type, value, length, true);
    case QvInfoKind::Refused: break;
  }
  return refuse(d, type);
}

// ---------------------------------------------------------------------------
// Exports

namespace {

// The two exported requests: the connection checked, the request run on its
// context, the length handed back when a value came.
template <class Request>
SQLRETURN exportedRequest(const char* name, SQLHDBC dbc, SQLUSMALLINT* lengthOut, Request request) {
  return qvExport([&]() -> SQLRETURN {
    LmoDbc* d = lmoLiveDbc(dbc);
    if (d == nullptr) {
      TR_TRACE(kSrc, htrODBC, 2, "%s: Invalid hdbc handle", name);
      return SQL_INVALID_HANDLE;
    }
    int64_t indicator = 0;
    const int16_t r = QvRunOnConnection(d, [&] { return request(d, &indicator); });
    if ((r == 0 || r == 1 || r == 110) && lengthOut != nullptr) *lengthOut = static_cast<SQLUSMALLINT>(indicator);
    return r;
  });
}

}  // namespace

QV_EXPORT SQLRETURN SQL_API SQLRequestInfo(SQLHDBC dbc, SQLPOINTER buffer, SQLSMALLINT length, SQLUSMALLINT* lengthOut,
                                           SQLCHAR* text, SQLSMALLINT cType) {
  return exportedRequest("SQLRequestInfo", dbc, lengthOut, [&](LmoDbc* d, int64_t* indicator) {
    return requestInfo(d, buffer, length, indicator, reinterpret_cast<const char*>(text), cType);
  });
}

QV_EXPORT SQLRETURN SQL_API SQLRequestInfoSpecialCmd(SQLHDBC dbc, SQLPOINTER buffer, SQLSMALLINT length,
                                                     SQLUSMALLINT* lengthOut, SQLCHAR* key, SQLSMALLINT cType) {
  return exportedRequest("SQLRequestInfoSpecialCmd", dbc, lengthOut, [&](LmoDbc* d, int64_t* indicator) {
    return specialCmd(d, buffer, length, indicator, reinterpret_cast<const char*>(key), cType);
  });
}

// Copies a text into a buffer of `length` bytes: whole when it is shorter,
// else its first length - 1 bytes and a terminator; the bytes copied go to
// *lengthOut (the buffer's length when it was cut). No buffer, no text or
// no room: nothing is written.
QV_EXPORT void SQL_API SQLbufcpy(SQLCHAR* destination, const SQLCHAR* source, SQLSMALLINT length,
                                 SQLUSMALLINT* lengthOut) {
  if (destination == nullptr || source == nullptr || length <= 0) return;
  const size_t n = std::strlen(reinterpret_cast<const char*>(source));
  if (n < static_cast<size_t>(length)) {
    std::memcpy(destination, source, n + 1);
    if (lengthOut != nullptr) *lengthOut = static_cast<SQLUSMALLINT>(n);
    return;
  }
  std::memcpy(destination, source, static_cast<size_t>(length) - 1);
  destination[length - 1] = '\0';
  if (lengthOut != nullptr) *lengthOut = static_cast<SQLUSMALLINT>(length);
}
