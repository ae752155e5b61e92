#include "src/odbc/exports.h"

#include <cwchar>

#include "common/qvunicode.h"
#include "src/odbc/odbcwide.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/exports";

unsigned lowBits(const void* h) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)); }

}  // namespace

LmoTLS* qvDbcContext(SQLHDBC hdbc, SQLRETURN* rc) {
  *rc = SQL_ERROR;
  LmoDbc* dbc = lmoLiveDbc(hdbc);
  if (hdbc != nullptr && dbc == nullptr) {
    *rc = SQL_INVALID_HANDLE;
    return nullptr;
  }
  LmoTLS* ctx = dbc != nullptr ? QvGetWorkingTLS(nullptr, dbc, nullptr) : nullptr;
  if (ctx == nullptr) TR_TRACE(kSrc, htrODBC, 2, "Could not find TLS for %X connection", lowBits(hdbc));
  return ctx;
}

LmoTLS* qvStmtContext(SQLHSTMT hstmt, SQLRETURN* rc) {
  *rc = SQL_ERROR;
  LmoStmt* stmt = lmoLiveStmt(hstmt);
  if (hstmt != nullptr && (stmt == nullptr || lmoLiveDbc(stmt->dbc) == nullptr)) {
    *rc = SQL_INVALID_HANDLE;
    return nullptr;
  }
  LmoTLS* ctx = stmt != nullptr ? QvGetWorkingTLS(nullptr, nullptr, stmt) : nullptr;
  if (ctx == nullptr) TR_TRACE(kSrc, htrODBC, 2, "Could not find TLS for %X stmt", lowBits(hstmt));
  return ctx;
}

void qvNoteTruncated(SQLHDBC hdbc, SQLHSTMT hstmt) {
  if (LmoStmt* stmt = lmoLiveStmt(hstmt)) lmoAddError(&stmt->errors, kLmoErrTruncated, 0, nullptr);
  else if (LmoDbc* dbc = lmoLiveDbc(hdbc)) lmoAddError(&dbc->errors, kLmoErrTruncated, 0, nullptr);
}

SQLRETURN qvCutResult(SQLRETURN rc, bool cut, SQLHDBC hdbc, SQLHSTMT hstmt) {
  if (!cut || rc != SQL_SUCCESS) return rc;
  qvNoteTruncated(hdbc, hstmt);
  return SQL_SUCCESS_WITH_INFO;
}

SQLSMALLINT qvOdbc2Type(SQLSMALLINT type) {
  switch (type) {
    case SQL_TYPE_DATE: return SQL_DATE;
    case SQL_TYPE_TIME: return SQL_TIME;
    case SQL_TYPE_TIMESTAMP: return SQL_TIMESTAMP;
    default: return type;
  }
}

NarrowIn::NarrowIn(const SQLCHAR* text, int64_t length) : length_(length) {
  if (text == nullptr) return;
  // A length the cores refuse: nothing of the text is read (it need not be
  // terminated), the length goes on to be refused.
  const bool refused = length < 0 && length != SQL_NTS;
  text_ = refused ? QvAllocateWstr(1) : QvMbsToWcs(reinterpret_cast<const char*>(text), length);
  if (text_ == nullptr) {
    failed_ = true;
    return;
  }
  if (length >= 0) length_ = static_cast<int64_t>(std::wcslen(text_));
}

NarrowIn::~NarrowIn() { QvReleaseWstr(text_); }

int64_t qvPutNarrow(const SQLWCHAR* text, int64_t chars, SQLCHAR* out, int64_t size, bool* cut) {
  const int64_t whole = QvNarrowLength(text, chars);
  if (cut != nullptr) *cut = out != nullptr && whole + 1 > size;
  if (out != nullptr && size > 0)
    QvNarrowText(text, chars, reinterpret_cast<char*>(out), static_cast<int32_t>(size > INT32_MAX ? INT32_MAX : size));
  return whole;
}
