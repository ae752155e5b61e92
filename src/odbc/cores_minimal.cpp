// Minimal version: the cores of the information and option roads. Each
// checks its handle and answers -1 with S1C00 ("Driver not capable") on it;
// SQLGetInfo answers the driver's version locally, and the
// driver's information query fails.
#include <cstring>

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoconn.h"
#include "src/odbc/odbcwide.h"
#include "common/verinfo.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/cores";

int16_t notCapable(LmoErrorList* list) {
  lmoClearErrorList(list);
  lmoAddError(list, kLmoErrNotCapable, 0, nullptr);
  return -1;
}

int16_t onStmt(LmoStmt* stmt) {
  LmoStmt* s = lmoLiveStmt(stmt);
  return s != nullptr ? notCapable(&s->errors) : -2;
}

int16_t onDbc(LmoDbc* dbc) {
  LmoDbc* d = lmoLiveDbc(dbc);
  return d != nullptr ? notCapable(&d->errors) : -2;
}

}  // namespace

int16_t QVSQLGetConnectOption(LmoDbc* d, uint16_t, void*) { return onDbc(d); }

int16_t QVSQLGetInfo(LmoDbc* dbc, uint16_t type, void* value, int16_t bufferLength, int16_t* length) {
  LmoDbc* d = nullptr;
  if (dbc != nullptr && (d = lmoLiveDbc(dbc)) == nullptr) return -2;
  if (d == nullptr && type != 7) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetInfo: Invalid hdbc handle");
    return -2;
  }
  if (d != nullptr) lmoClearErrorList(&d->errors);
  if (type != 7) {
    char text[64];
    std::snprintf(text, sizeof text, "SQLGetInfo(OptionType:%d) Driver not Capable", type);
    lmoAddError(&d->errors, kLmoErrNotCapable, 0, text);
    return -1;
  }
  const char* version = QvGetProductVersion();
  const size_t n = std::strlen(version);
  if (length != nullptr) *length = static_cast<int16_t>(n);
  if (value == nullptr) return 0;
  char* out = static_cast<char*>(value);
  const size_t fit = bufferLength > 0 ? std::min(n, static_cast<size_t>(bufferLength) - 1) : 0;
  if (bufferLength > 0) {
    std::memcpy(out, version, fit);
    out[fit] = '\0';
  }
  if (fit == n && bufferLength > 0) return 0;
  if (d != nullptr) lmoAddError(&d->errors, kLmoErrTruncated, 0, nullptr);
  return 1;
}

int16_t QVSQLGetStmtOption(LmoStmt* s, uint16_t, void*) { return onStmt(s); }
int16_t QVSQLSetConnectOption(LmoDbc* d, uint16_t, uint64_t) { return onDbc(d); }
int16_t QVSQLSetStmtOption(LmoStmt* s, uint16_t, uint64_t) { return onStmt(s); }

int16_t lmoRequestInfo(LmoDbc*, const char*, char* out, int32_t outSize) {
  if (out != nullptr && outSize > 0) out[0] = '\0';
  return -1;
}
