// Parameter values: preparation for an execution, SQLPutData, the long-data
// chunks, and the parameter description calls.
#include "src/odbc/lmoparam.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/rdaclient/rdacli_bufcvt.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmoparam";

constexpr int16_t kCChar = 1;
constexpr int16_t kCDate = 9;
constexpr int16_t kCTime = 10;
constexpr int16_t kCTimestamp = 11;
constexpr int16_t kCBinary = -2;
constexpr int16_t kCWchar = -8;

// Table rows of the diagnostics named here.
constexpr int32_t kErrRestricted = 15;    // 07006
constexpr int32_t kErrBadParameter = 64;  // S1093

bool dateTimeCType(int16_t c) { return c == kCDate || c == kCTime || c == kCTimestamp; }
bool dateTimeSqlType(int16_t s) { return s == 9 || s == 10 || s == 11; }
bool textCType(int16_t c) { return c == kCChar || c == kCWchar; }

// SQL_LEN_DATA_AT_EXEC(n) is -100 - n; SQL_DATA_AT_EXEC is -2.
bool dataAtExec(int64_t length) { return length == kLmoDataAtExec || length <= -100; }

// A length/indicator that no value of the C type can have.
bool badLength(int16_t cType, int64_t length) {
  if (cType != kCChar && cType != kCWchar && cType != kCBinary) return false;
  if (length >= 0 || length == kLmoNullData) return false;
  return !(length == kLmoNts && cType != kCBinary);
}

struct DateValue {
  int16_t year;
  uint16_t month;
  uint16_t day;
};
struct TimeValue {
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
};
struct TimestampValue {
  int16_t year;
  uint16_t month;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint32_t fraction;
};

// The text of a date, time or timestamp value into `out` (kLmoDateTimeText
// bytes, terminated).
void dateTimeText(int16_t cType, const void* value, char* out) {
  std::tm t{};
  out[0] = '\0';
  switch (cType) {
    case kCDate: {
      DateValue d;
      std::memcpy(&d, value, sizeof d);
      t.tm_mday = d.day;
      t.tm_mon = d.month != 0 ? d.month - 1 : 0;
      t.tm_year = d.year != 0 ? d.year - 1900 : 0;
      std::strftime(out, kLmoDateTimeText, "%Y-%m-%d", &t);
      break;
    }
    case kCTime: {
      TimeValue v;
      std::memcpy(&v, value, sizeof v);
      t.tm_hour = v.hour;
      t.tm_min = v.minute;
      t.tm_sec = v.second;
      std::strftime(out, kLmoDateTimeText, "%H:%M:%S", &t);
      break;
    }
    default: {
      TimestampValue v;
      std::memcpy(&v, value, sizeof v);
      std::snprintf(out, kLmoDateTimeText, "%4d-%02hd-%02hd %02hd:%02hd:%02hd.%09ld", v.year,
                    static_cast<short>(v.month), static_cast<short>(v.day), static_cast<short>(v.hour),
                    static_cast<short>(v.minute), static_cast<short>(v.second), static_cast<long>(v.fraction));
      break;
    }
  }
}

// The part of a date or time text between its first quote and the next
// ("{d '2001-02-03'}" gives 2001-02-03); the whole text when it has no
// quote. Units are bytes or wide characters.
template <class Ch>
void quotedPart(const Ch* text, int64_t units, int64_t* start, int64_t* count) {
  int64_t open = 0;
  while (open < units && text[open] != Ch('\'')) ++open;
  if (open == units) {
    *start = 0;
    *count = units;
    return;
  }
  int64_t close = open + 1;
  while (close < units && text[close] != Ch('\'')) ++close;
  *start = open + 1;
  *count = close - open - 1;
}

// Copies a text value into the prepared buffer, applying the quote rule
// for date and time SQL types; the prepared length in bytes.
int64_t copyText(LmoParam* p, const void* value, int64_t bytes) {
  auto* out = static_cast<uint8_t*>(p->prepared);
  if (!dateTimeSqlType(p->sqlType)) {
    std::memcpy(out, value, static_cast<size_t>(bytes));
    return bytes;
  }
  int64_t start = 0;
  int64_t count = 0;
  if (p->cType == kCWchar) {
    quotedPart(static_cast<const wchar_t*>(value), bytes / static_cast<int64_t>(sizeof(wchar_t)), &start, &count);
    std::memcpy(out, static_cast<const wchar_t*>(value) + start, static_cast<size_t>(count) * sizeof(wchar_t));
    return count * static_cast<int64_t>(sizeof(wchar_t));
  }
  quotedPart(static_cast<const char*>(value), bytes, &start, &count);
  std::memcpy(out, static_cast<const char*>(value) + start, static_cast<size_t>(count));
  return count;
}

int16_t noMemory(LmoStmt* stmt, const char* trace) {
  lmoAddError(&stmt->errors, kLmoErrMemory, 0, nullptr);
  TR_TRACE(kSrc, htrODBC, 2, "%s", trace);
  return -1;
}

int16_t lengthRefused(LmoStmt* stmt, const LmoParam* p, int64_t length) {
  char text[96];
  std::snprintf(text, sizeof text, "Parameter %u: length <%lld> invalid", static_cast<unsigned>(p->number),
                static_cast<long long>(length));
  lmoAddError(&stmt->errors, kLmoErrBadLength, 0, text);
  TR_TRACE(kSrc, htrODBC, 2, "%s", text);
  return -1;
}

// Appends bytes to a ring of chunks, filling the last one first.
bool appendChunks(RdaCliLink* head, const uint8_t* data, int64_t length) {
  if (head->next == nullptr) head->next = head->prev = head;
  while (length > 0) {
    auto* last = head->prev != head ? reinterpret_cast<RDA_CliChunk*>(head->prev) : nullptr;
    if (last == nullptr || last->used == kRdaCliChunkSize) {
      void* nodeHandle = nullptr;
      auto* node = static_cast<RDA_CliChunk*>(GAllocMem(&nodeHandle, sizeof(RDA_CliChunk)));
      if (node == nullptr) return false;
      void* dataHandle = nullptr;
      node->data = static_cast<uint8_t*>(GAllocMem(&dataHandle, kRdaCliChunkSize));
      if (node->data == nullptr) {
        QvFreeMem(nodeHandle);
        return false;
      }
      node->used = 0;
      node->links.next = head;
      node->links.prev = head->prev;
      head->prev->next = &node->links;
      head->prev = &node->links;
      last = node;
    }
    const int64_t room = kRdaCliChunkSize - last->used;
    const int64_t n = length < room ? length : room;
    std::memcpy(last->data + last->used, data, static_cast<size_t>(n));
    last->used += static_cast<uint32_t>(n);
    data += n;
    length -= n;
  }
  return true;
}

int16_t traced(const char* line, int16_t r) {
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, line, MapRetCodeToStr(r));
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

LmoParam* lmoFindParam(LmoStmt* stmt, uint16_t number) {
  if (lmoRingEmpty(&stmt->params)) return nullptr;
  for (LmoLink* l = stmt->params.next; l != &stmt->params; l = l->next) {
    auto* p = reinterpret_cast<LmoParam*>(l);
    if (p->number == number) return p;
  }
  return nullptr;
}

void lmoFreeChunks(RdaCliLink* head) {
  if (head->next == nullptr) {
    head->next = head->prev = head;
    return;
  }
  while (head->next != head) {
    auto* c = reinterpret_cast<RDA_CliChunk*>(head->next);
    head->next = c->links.next;
    QvFreeMem(c->data);
    QvFreeMem(c);
  }
  head->prev = head;
}

int64_t lmoChunkBytes(const RdaCliLink* head) {
  int64_t n = 0;
  if (head->next == nullptr) return 0;
  for (const RdaCliLink* l = head->next; l != head; l = l->next) n += reinterpret_cast<const RDA_CliChunk*>(l)->used;
  return n;
}

void lmoFreeParamValue(LmoParam* p) {
  QvFreeMem(p->preparedHandle);
  p->preparedHandle = nullptr;
  p->prepared = nullptr;
  p->ready = 0;
  lmoFreeChunks(&p->chunks);
}

void lmoFreeParams(LmoStmt* stmt) {
  QDelete(&stmt->params, kQDeleteParams);
  stmt->pendingCount = 0;
  stmt->currentParam = nullptr;
}

int16_t getDefaultType(int16_t sqlType) {
  switch (sqlType) {
    case -9: case -8: case -5: case 0: case 1: case 2: case 3: case 12:
      return 1;
    case -7: return -7;
    case -6: return -6;
    case -4: case -3: case -2: return -2;
    case 4: return 4;
    case 5: return 5;
    case 6: case 8: return 8;
    case 7: return 7;
    case 9: case 10: case 11: return sqlType;
    default: return -1;
  }
}

int16_t lmoOdbcVersionType(const LmoStmt* stmt, int16_t sqlType) {
  const LmoEnv* env = stmt != nullptr && stmt->dbc != nullptr ? stmt->dbc->env : nullptr;
  if (env == nullptr || env->odbcVersion != 3 || !dateTimeSqlType(sqlType)) return sqlType;
  return static_cast<int16_t>(sqlType + 82);
}

bool lmoIsLongParam(const LmoParam* p) {
  if (p->cType == kCBinary) return true;
  if (!textCType(p->cType)) return false;
  return p->sqlType == 12 || p->sqlType == -1 || p->sqlType == -9 || p->sqlType == -10;
}

int32_t paramValidConv(const LmoParam* p) {
  const int32_t ok = rda_cliBindConvCheck(p->cType, p->sqlType);
  if (ok == 0)
    TR_TRACE(kSrc, htrODBC, 2, "paramValidConv: conversion not supported.fSQLType=%d, fBufType=%d", p->cType,
             p->sqlType);
  return ok;
}

// ---------------------------------------------------------------------------
// Preparation

int16_t prepareParam(LmoStmt* stmt, LmoParam* p, int32_t) {
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "prepareParam: called");
  if (p->value == nullptr) p->preparedLength = kLmoNullData;
  if (badLength(p->cType, p->preparedLength)) return traced("    PrepareParam :returns %s", lengthRefused(stmt, p, p->preparedLength));
  int64_t length = 0;
  if (p->preparedLength != kLmoNullData) {
    if (dateTimeCType(p->cType)) {
      length = kLmoDateTimeText;
      p->preparedLength = kLmoDateTimeText;
    } else {
      GetDataLength(p->cType, p->value, p->preparedLength, &length);
      if (length == 0) p->preparedLength = textCType(p->cType) ? kLmoEmptyText : kLmoNullData;
    }
  }
  if (p->preparedLength == kLmoNullData || p->preparedLength == kLmoEmptyText) {
    p->prepared = nullptr;
    if (dateTimeCType(p->cType)) p->cType = kCChar;
    p->ready = 1;
    return traced("    PrepareParam :returns %s", 0);
  }
  p->prepared = GAllocMem(&p->preparedHandle, static_cast<size_t>(length));
  if (p->prepared == nullptr) return traced("    PrepareParam :returns %s", noMemory(stmt, "prepareParam :Memory allocation failure"));
  switch (p->cType) {
    case kCWchar:
    case kCChar:
      p->preparedLength = copyText(p, p->value, length);
      break;
    case kCDate:
    case kCTime:
    case kCTimestamp: {
      const char* kind = p->cType == kCDate ? "Date" : p->cType == kCTime ? "time" : "timestamp";
      if (ODBCTrace != 0)
        TR_TRACE(kSrc, htrODBC, 64, p->cType == kCTimestamp ? "PrepareParam: Process %s" : "prepareParam: Process %s",
                 kind);
      dateTimeText(p->cType, p->value, static_cast<char*>(p->prepared));
      if (ODBCTrace != 0)
        TR_TRACE(kSrc, htrODBC, 64, "prepareParam: %s is <%s>",
                 p->cType == kCDate ? "Date" : p->cType == kCTime ? "Time" : "Timestamp",
                 static_cast<char*>(p->prepared));
      p->preparedLength = kLmoNts;
      p->cType = kCChar;
      break;
    }
    default:
      std::memcpy(p->prepared, p->value, static_cast<size_t>(length));
      p->preparedLength = length;
      break;
  }
  return traced("    PrepareParam :returns %s", 0);
}

int16_t CheckAndPrepareDataAtExecParams(LmoStmt* stmt, int32_t flags) {
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "CheckAndPrepareDataAtExecParams called");
  stmt->pendingCount = 0;
  stmt->currentParam = nullptr;
  int16_t r = 0;
  if (!lmoRingEmpty(&stmt->params)) {
    for (LmoLink* l = stmt->params.next; l != &stmt->params; l = l->next) {
      auto* p = reinterpret_cast<LmoParam*>(l);
      // Every execution starts from the application's buffers: nothing of
      // an earlier one (an abandoned data-at-execution sequence included)
      // is sent again.
      lmoFreeParamValue(p);
      if (p->direction == kLmoParamOutput) {
        p->ready = 1;
        continue;
      }
      p->preparedLength = p->indicator != nullptr ? *p->indicator : kLmoNts;
      p->cType = p->bindCType;
      if (paramValidConv(p) == 0) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "CheckAndPrepareDataAtExecParams :Conversion from fCType %d to fSQLType %d is not allowed",
                      p->cType, p->sqlType);
        lmoAddError(&stmt->errors, kErrRestricted, 0, text);
        r = -1;
        break;
      }
      if (dataAtExec(p->preparedLength)) {
        ++stmt->pendingCount;
        p->preparedLength = kLmoDataAtExec;
        r = 99;
        continue;
      }
      p->ready = 1;
      if (prepareParam(stmt, p, flags) == -1) {
        r = -1;
        break;
      }
    }
  }
  return traced("CheckAndPrepareDataAtExecParams: returns %s", r);
}

// ---------------------------------------------------------------------------
// SQLPutData

int16_t lmoPutDataValue(LmoStmt* stmt, LmoParam* p, const void* data, int64_t length) {
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "LmPutData: called");
  const bool isLong = lmoIsLongParam(p);
  // A NULL value, given as such or without data, ends the parameter.
  if (length == kLmoNullData || (data == nullptr && length != 0)) {
    if (isLong && lmoChunkBytes(&p->chunks) > 0) return traced("    LmPutData : returns %s", lengthRefused(stmt, p, length));
    p->preparedLength = kLmoNullData;
    p->ready = 1;
    if (dateTimeCType(p->cType)) p->cType = kCChar;
    return traced("    LmPutData : returns %s", 0);
  }
  if (badLength(p->cType, length)) return traced("    LmPutData : returns %s", lengthRefused(stmt, p, length));
  int64_t n = 0;
  if (dateTimeCType(p->cType)) {
    p->sqlType = 1;
    n = kLmoDateTimeText;
  } else {
    GetDataLength(p->cType, data, length, &n);
  }
  if (!isLong) {
    p->prepared = GAllocMem(&p->preparedHandle, static_cast<size_t>(n));
    if (p->prepared == nullptr) return traced("    LmPutData : returns %s", noMemory(stmt, "LmPutData :Memory allocation failure"));
  }
  p->ready = 1;
  if (isLong) {
    if (n > 0 && !appendChunks(&p->chunks, static_cast<const uint8_t*>(data), n))
      return traced("    LmPutData : returns %s", noMemory(stmt, "LmPutData :Memory allocation failure"));
    return traced("    LmPutData : returns %s", 0);
  }
  switch (p->cType) {
    case kCChar:
    case kCWchar:
      p->preparedLength = copyText(p, data, n);
      break;
    case kCDate:
    case kCTime:
    case kCTimestamp:
      // The text is terminated: its length is measured, not the room.
      dateTimeText(p->cType, data, static_cast<char*>(p->prepared));
      p->cType = kCChar;
      p->preparedLength = kLmoNts;
      break;
    default:
      std::memcpy(p->prepared, data, static_cast<size_t>(n));
      p->preparedLength = n;
      break;
  }
  if (p->preparedLength == 0 && textCType(p->cType)) p->preparedLength = kLmoEmptyText;
  return traced("    LmPutData : returns %s", 0);
}

// ---------------------------------------------------------------------------
// Description

int16_t QVSQLNumParams(LmoStmt* stmt, int16_t* count) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLNumParams: Invalid Statement handle");
    return -2;
  }
  lmoClearErrorList(&s->errors);
  int16_t local = 0;
  return static_cast<int16_t>(rda_cliNumParams(s->rdaStmt, count != nullptr ? count : &local));
}

int16_t QVSQLDescribeParam(LmoStmt* stmt, uint16_t parameter, int16_t* sqlType, uint64_t* size, int16_t* decimals,
                           int16_t* nullable) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLDescribeParam: Invalid Statement handle");
    return -2;
  }
  lmoClearErrorList(&s->errors);
  int16_t count = 0;
  rda_cliNumParams(s->rdaStmt, &count);
  if (parameter > static_cast<uint16_t>(count < 0 ? 0 : count)) {
    lmoAddError(&s->errors, kErrBadParameter, 0, nullptr);
    return -1;
  }
  int16_t type = 0;
  const int32_t r =
      rda_cliDescribeParam(s->rdaStmt, parameter, &type, size, decimals, nullable, nullptr);
  if (sqlType != nullptr) *sqlType = lmoOdbcVersionType(s, type);
  return static_cast<int16_t>(r);
}

// The driver's parameter attribute call: the parameter number, the
// descriptor type, the size of the character buffer, the character buffer
// and the numeric value out (SQL_PARAM_DIRECTION 1000 gives the parameter's
// direction; the client writes no character output).
int16_t QVSQLParamAttributes(LmoStmt* stmt, uint16_t parameter, int16_t attribute, int16_t bufferLength, int64_t,
                             int16_t, void* buffer, void* number) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLColAttributes: Invalid Statement handle");
    return -2;
  }
  lmoClearErrorList(&s->errors);
  int16_t length = 0;
  int64_t local = 0;
  auto* numeric = number != nullptr ? static_cast<int64_t*>(number) : &local;
  return static_cast<int16_t>(rda_cliParamAttributes(s->rdaStmt, static_cast<int16_t>(parameter), attribute,
                                                     static_cast<char*>(buffer), bufferLength, &length, numeric));
}
