// Statements of the ODBC layer: their records, prepare, execution with the
// parameters' values, data at execution, and the commit that follows a
// statement in autocommit mode.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>

#include "common/qvunicode.h"
#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/lmoparam.h"
#include "src/odbc/odbcwidebuf.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_cursor.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmostmt";
constexpr int32_t kNts = -3;

// Table rows of the diagnostics named here.
constexpr int32_t kErrWarning = 1;         // 01000
constexpr int32_t kErrCType = 54;          // S1003
constexpr int32_t kErrSqlType = 55;        // S1004
constexpr int32_t kErrArgument = 57;       // S1009
constexpr int32_t kErrOption = 63;         // S1092
constexpr int32_t kErrNoDataPending = 81;  // S1DE0

constexpr int16_t kCDefault = 99;

int16_t invalidStatement(const char* line) {
  TR_TRACE(kSrc, htrODBC, 2, "%s", line);
  return -2;
}

// The text begins with the driver-command prefix "_QV_", in any case.
bool isSpecialCommand(const wchar_t* text, int32_t length) {
  if (text == nullptr) return false;
  static constexpr wchar_t kPrefix[] = L"_QV_";
  for (int32_t i = 0; i < 4; ++i) {
    if (length != kNts && i >= length) return false;
    if (text[i] == L'\0' || static_cast<wchar_t>(std::towupper(static_cast<wint_t>(text[i]))) != kPrefix[i])
      return false;
  }
  return true;
}

// A text length the driver takes: a count, or -3 for a terminated text.
bool badTextLength(int32_t length) { return length < 0 && length != kNts; }

void freeSavedText(LmoStmt* s) {
  QvReleaseWstr(s->savedText);
  s->savedText = nullptr;
  s->savedTextLength = 0;
}

// Keeps a direct execution's text while it waits for data at execution.
bool saveText(LmoStmt* s, const wchar_t* text, int32_t length) {
  freeSavedText(s);
  if (text == nullptr) return true;
  const int64_t n = length == kNts ? static_cast<int64_t>(std::wcslen(text)) : length;
  s->savedText = QvAllocateWstr(n + 1);
  if (s->savedText == nullptr) return false;
  std::wmemcpy(s->savedText, text, static_cast<size_t>(n));
  s->savedTextLength = static_cast<int32_t>(n);
  return true;
}

// Binds the statement's parameters with the client, numbers 1, 2, ... up
// to the first one missing (or, for an execution, not ready). Input
// parameters go with their prepared values, output parameters with the
// application's buffers; long data with its chunks. The first failure.
int32_t bindWithClient(LmoStmt* s, bool chunks, const char* name) {
  for (uint32_t n = 1; n <= UINT16_MAX; ++n) {
    LmoParam* p = lmoFindParam(s, static_cast<uint16_t>(n));
    if (p == nullptr || (!chunks && p->ready == 0)) break;
    const bool input = p->direction != kLmoParamOutput;
    if (chunks && input && lmoIsLongParam(p) && p->prepared == nullptr &&
        (p->preparedLength == kLmoDataAtExec && (p->ready != 0 || lmoChunkBytes(&p->chunks) > 0)))
      p->preparedLength = lmoChunkBytes(&p->chunks);
    const int32_t r = rda_cliBindParam(s->rdaStmt, static_cast<int32_t>(n), p->cType, p->sqlType, p->columnSize,
                                       p->decimalDigits, input ? p->prepared : p->value,
                                       input ? &p->preparedLength : p->indicator,
                                       chunks && input && lmoIsLongParam(p) ? &p->chunks : nullptr, p->direction,
                                       p->bufferLength);
    if (r != 0) {
      TR_TRACE(kSrc, htrODBC, 2, "%s: RDA_cliBindParam failed", name);
      return r;
    }
  }
  return 0;
}

// Ends an execution: nothing prepared for it is kept.
void endExecution(LmoStmt* s) {
  s->pendingCount = 0;
  s->currentParam = nullptr;
  if (lmoRingEmpty(&s->params)) return;
  for (LmoLink* l = s->params.next; l != &s->params; l = l->next) lmoFreeParamValue(reinterpret_cast<LmoParam*>(l));
}

// The connection's diagnostics of a failed autocommit commit, the driver's
// and the client's, become the statement's.
void moveCommitDiagnostics(LmoStmt* s) {
  LmoDbc* d = s->dbc;
  wchar_t state[kLmoSqlStateChars];
  int32_t native = 0;
  wchar_t* message = QvAllocateWstr(kLmoMessageChars);
  if (message == nullptr) return;
  int16_t length = 0;
  while (lmoError(nullptr, d, nullptr, state, &native, message, kLmoMessageChars, &length) == 0)
    lmoAddSQLStateW(&s->errors, state, native, message);
  RDA_CliHDBC* rda = d->rdaDbc;
  while (rda != nullptr && rda->errors.count > 0) {
    int32_t whole = 0;
    if (rda_cliError(nullptr, rda, nullptr, state, &native, message, kLmoMessageChars, &whole) != 0) break;
    lmoTakeBracketedNative(message, &native);
    lmoAddSQLStateW(&s->errors, state, native, message);
  }
  QvReleaseWstr(message);
}

// The commit of a statement without a result in autocommit mode: 0, or -1
// when the commit failed (its diagnostics then on the statement).
int16_t autocommit(LmoStmt* s, const char* name, bool special) {
  LmoDbc* d = s->dbc;
  if (d->autocommit != 1 || (d->stmtOptionsSupport & 0x8) != 0) return 0;
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    %s: Autocommit on", name);
  int16_t columns = 0;
  if (rda_cliNumResultCols(s->rdaStmt, &columns) != 0 || columns > 0 || special) return 0;
  const int16_t r = QVSQLTransact(nullptr, d, 0);
  if (r == 0 || r == 1) return 0;
  TR_TRACE(kSrc, htrODBC, 2, "    %s: Autocommit failed", name);
  moveCommitDiagnostics(s);
  return -1;
}

int16_t lmoExecuteW(LmoStmt* stmt, const wchar_t* text, int32_t length, const char* name, bool direct) {
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    lmoExecute: called");
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "%s: Bad Statment handle", name);
    return -2;
  }
  lmoClearErrorList(&s->errors);
  ++s->rowSerial;
  s->specialCommand = text != nullptr && isSpecialCommand(text, length) ? 1 : 0;

  int16_t r = CheckAndPrepareDataAtExecParams(s, 0);
  if (r == -1) {
    TR_TRACE(kSrc, htrODBC, 2, "%s: BindParameter conversion not supported", name);
    endExecution(s);
  } else if (r == 99) {
    if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "%s: needs more data", name);
    freeSavedText(s);
    if (direct && !saveText(s, text, length)) {
      lmoAddError(&s->errors, kLmoErrMemory, 0, nullptr);
      endExecution(s);
      r = -1;
    }
  } else {
    int32_t c = bindWithClient(s, false, name);
    if (c == 0) {
      if (direct && s->specialCommand != 0) c = rda_cliExecImmediateSpecialCmd(s->rdaStmt, text, length);
      else if (direct) c = rda_cliExecDirect(s->rdaStmt, text, length);
      else c = rda_cliExecute(s->rdaStmt);
      if (c != 0) TR_TRACE(kSrc, htrODBC, 2, "%s: RDA_cliExecute failed", name);
      else c = autocommit(s, name, s->specialCommand != 0);
    }
    endExecution(s);
    r = static_cast<int16_t>(c);
  }
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    lmoExecute: returns %s", MapRetCodeToStr(r));
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

int16_t QVSQLAllocStmt(LmoDbc* dbc, LmoStmt** out) {
  if (out != nullptr) *out = nullptr;
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) return invalidStatement("SQLAllocStmt: Invalid hdbc handle");
  lmoClearErrorList(&d->errors);
  auto* s = new (std::nothrow) LmoStmt{};
  if (s == nullptr || lmoRegister(LmoKind::Stmt, s) == 0) {
    delete s;
    TR_TRACE(kSrc, htrODBC, 1, "SQLAllocStmt: Cannot allocate win Statement");
    return -1;
  }
  s->self = s;
  s->dbc = d;
  s->params.next = s->params.prev = &s->params;
  const int32_t r = rda_cliAllocStmt(d->rdaDbc, &s->rdaStmt);
  if (r != 0 && r != 1) {
    QVSQLFreeStmt(s, 1);
    return static_cast<int16_t>(r);
  }
  if (out != nullptr) *out = s;
  return static_cast<int16_t>(r);
}

int16_t QVSQLFreeStmt(LmoStmt* stmt, uint16_t option) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLFreeStmt: Invalid statement handle");
  lmoClearErrorList(&s->errors);
  if (s->rdaStmt != nullptr) {
    const int32_t r = rda_cliFreeStmt(s->rdaStmt, static_cast<int16_t>(option));
    if (r != 0) return static_cast<int16_t>(r);
  }
  switch (option) {
    case 0:  // SQL_CLOSE
      ++s->rowSerial;
      return 0;
    case 1:  // SQL_DROP
      lmoFreeParams(s);
      freeSavedText(s);
      lmoFreeWideShadows(s);
      lmoUnregister(s);
      lmoClearErrorList(&s->errors);
      delete s;
      return 0;
    case 2:  // SQL_UNBIND: the client dropped its column bindings
      return 0;
    case 3:  // SQL_RESET_PARAMS
      lmoFreeParams(s);
      return 0;
    default:
      lmoAddError(&s->errors, kErrOption, 0, "SQLFreeStmt: Option type out of range");
      TR_TRACE(kSrc, htrODBC, 2, "SQLFreeStmt: Option type out of range");
      return -1;
  }
}

// ---------------------------------------------------------------------------
// Prepare and execute

namespace {

template <class Ch>
int16_t prepare(LmoStmt* stmt, const Ch* text, int32_t length, const char* name) {
  LmoStmt* s = lmoLiveStmt(stmt);
  char line[64];
  if (s == nullptr) {
    std::snprintf(line, sizeof line, "%s: Invalid statement handle", name);
    return invalidStatement(line);
  }
  lmoClearErrorList(&s->errors);
  if (text == nullptr) {
    std::snprintf(line, sizeof line, "%s: Statement is NULL", name);
    // The narrow form says so in the diagnostic too.
    lmoAddError(&s->errors, kErrArgument, 0, sizeof(Ch) == 1 ? line : nullptr);
    TR_TRACE(kSrc, htrODBC, 2, "%s", line);
    return -1;
  }
  if (badTextLength(length)) {
    lmoAddError(&s->errors, kLmoErrBadLength, 0, nullptr);
    TR_TRACE(kSrc, htrODBC, 2, "%s: Length invalid <%d>", name, static_cast<int>(length));
    return -1;
  }
  ++s->rowSerial;
  if constexpr (sizeof(Ch) == 1) return static_cast<int16_t>(rda_cliPrepare(s->rdaStmt, text, length));
  else return static_cast<int16_t>(rda_cliPrepareW(s->rdaStmt, text, length));
}

// A direct execution's text: given, with a length the driver takes.
bool refusedText(LmoStmt* s, const void* text, int32_t length) {
  if (text != nullptr && !badTextLength(length)) return false;
  lmoClearErrorList(&s->errors);
  if (text == nullptr) {
    lmoAddError(&s->errors, kErrArgument, 0, "SQLExecDirect: Statement is NULL");
    TR_TRACE(kSrc, htrODBC, 2, "SQLExecDirect: Statement is NULL");
  } else {
    lmoAddError(&s->errors, kLmoErrBadLength, 0, nullptr);
    TR_TRACE(kSrc, htrODBC, 2, "SQLExecDirect: Length invalid <%d>", static_cast<int>(length));
  }
  return true;
}

}  // namespace

int16_t QVSQLPrepare(LmoStmt* stmt, char* text, int32_t length) { return prepare(stmt, text, length, "SQLPrepare"); }

int16_t QVSQLPrepareW(LmoStmt* stmt, wchar_t* text, int32_t length) {
  return prepare(stmt, text, length, "SQLPrepareW");
}

int16_t QVSQLExecute(LmoStmt* stmt) {
  if (lmoLiveStmt(stmt) == nullptr) return invalidStatement("SQLExecute: Invalid stmt handle");
  return lmoExecuteW(stmt, nullptr, 0, "SQLExecute", false);
}

int16_t QVSQLExecDirectW(LmoStmt* stmt, wchar_t* text, int32_t length) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLExecDirect: Invalid stmt handle");
  if (refusedText(s, text, length)) return -1;
  return lmoExecuteW(s, text, length, "SQLExecDirect", true);
}

int16_t QVSQLExecDirect(LmoStmt* stmt, char* text, int32_t length) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLExecDirect: Invalid stmt handle");
  if (refusedText(s, text, length)) return -1;
  wchar_t* wide = QvMbsToWcs(text, length);
  if (wide == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLExecDirect: Out of memory");
    return -1;
  }
  // The characters the bytes make.
  const int16_t r = lmoExecuteW(s, wide, static_cast<int32_t>(std::wcslen(wide)), "SQLExecDirect", true);
  QvReleaseWstr(wide);
  return r;
}

// ---------------------------------------------------------------------------
// Parameters

int16_t QVSQLBindParameter(LmoStmt* stmt, uint16_t parameter, int16_t ioType, int16_t cType, int16_t sqlType,
                           uint64_t columnSize, int16_t decimalDigits, void* value, int64_t bufferLength,
                           int64_t* indicator) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLBindParam: Invalid statement handle");
  lmoClearErrorList(&s->errors);
  char text[96];
  if (CheckBufType(cType) != 0) {
    std::snprintf(text, sizeof text, "SQLBindParam: Buffer data type <%d> not supported", cType);
    lmoAddError(&s->errors, kErrCType, 0, text);
    return -1;
  }
  if (CheckSQLType(sqlType) != 0) {
    std::snprintf(text, sizeof text, "SQLBindParam: SQL date type <%d> not supported", sqlType);
    lmoAddError(&s->errors, kErrSqlType, 0, text);
    return -1;
  }
  LmoParam* p = lmoFindParam(s, parameter);
  if (p == nullptr) {
    void* handle = nullptr;
    p = static_cast<LmoParam*>(GAllocMem(&handle, sizeof(LmoParam)));
    if (p == nullptr) {
      lmoAddError(&s->errors, kLmoErrMemory, 0, nullptr);
      TR_TRACE(kSrc, htrODBC, 1, "SQLBindParam: Cannot allocate windows memory for parameter");
      return -1;
    }
    *p = LmoParam{};
    p->memHandle = handle;
    p->chunks.next = p->chunks.prev = &p->chunks;
    lmoRingAppend(&s->params, &p->link);
  }
  if (cType == kCDefault) {
    const int16_t c = getDefaultType(sqlType);
    if (c == -1) TR_TRACE(kSrc, htrODBC, 64, "SQLBindParam: Default type not found");
    else cType = c;
  }
  lmoFreeParamValue(p);
  p->number = parameter;
  p->direction = (ioType & 3) != 0 ? kLmoParamInput : kLmoParamOutput;
  p->cType = cType;
  p->sqlType = sqlType;
  p->columnSize = columnSize;
  p->decimalDigits = decimalDigits;
  p->value = value;
  p->indicator = indicator;
  p->bufferLength = bufferLength;
  p->bindCType = cType;
  p->preparedLength = 0;
  return 0;
}

// ---------------------------------------------------------------------------
// Data at execution

int16_t QVSQLParamData(LmoStmt* stmt, void** value) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLParamData: Invalid stmt handle");
  lmoClearErrorList(&s->errors);
  if (s->pendingCount == 0) {
    lmoAddError(&s->errors, kErrNoDataPending, 0, "LmParamData: No data at execution time for the parameter");
    return -1;
  }
  LmoLink* from = s->params.next;
  if (s->currentParam != nullptr) {
    --s->pendingCount;
    from = s->currentParam->link.next;
  }
  for (LmoLink* l = from; l != &s->params; l = l->next) {
    auto* p = reinterpret_cast<LmoParam*>(l);
    if (p->direction != kLmoParamOutput && p->preparedLength == kLmoDataAtExec && p->ready == 0) {
      s->currentParam = p;
      if (value != nullptr) *value = p->value;
      return 99;
    }
  }

  // Every value is there: the statement runs.
  ++s->rowSerial;
  int32_t c = bindWithClient(s, true, "SQLParamData");
  if (c == 0) {
    c = s->savedText != nullptr ? rda_cliExecDirect(s->rdaStmt, s->savedText, s->savedTextLength)
                                : rda_cliExecute(s->rdaStmt);
    if (c != 0) TR_TRACE(kSrc, htrODBC, 2, "%s: RDA_cliExecute failed", "SQLParamData");
    else c = autocommit(s, "SQLParamData", false);
  }
  endExecution(s);
  return static_cast<int16_t>(c);
}

int16_t QVSQLPutData(LmoStmt* stmt, void* data, int64_t length) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLPutData: Invalid stmt handle");
  lmoClearErrorList(&s->errors);
  if (s->pendingCount == 0) {
    lmoAddError(&s->errors, kErrNoDataPending, 0, "LmPutData: No data to be sent for parameter at execution time");
    return -1;
  }
  LmoParam* p = s->currentParam;
  if (p == nullptr) {
    lmoAddError(&s->errors, kLmoErrSequence, 0, "LmPutData: Function sequence error");
    return -1;
  }
  if (p->preparedLength != kLmoDataAtExec) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "LmPutData: Native Error:SQLPutData does not support long data values for SQLType=%d", p->sqlType);
    lmoAddError(&s->errors, kErrWarning, 99, text);
    return -1;
  }
  return lmoPutDataValue(s, p, data, length);
}

// ---------------------------------------------------------------------------
// Cursor names and cancel

int16_t QVSQLSetCursorName(LmoStmt* stmt, char* name, int16_t length) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  // A length is a count or -3: the client never copies by any other.
  if (badTextLength(length)) {
    lmoAddError(&s->errors, kLmoErrBadLength, 0, nullptr);
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetCursorName: Length invalid <%d>", static_cast<int>(length));
    return -1;
  }
  return static_cast<int16_t>(rda_cliSetCursorName(s->rdaStmt, name, length));
}

int16_t QVSQLGetCursorName(LmoStmt* stmt, char* name, int16_t bufferLength, int16_t* nameLength) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLGetCursorName: Invalid statement handle");
  lmoClearErrorList(&s->errors);
  int16_t local = 0;
  if (nameLength == nullptr) nameLength = &local;
  const int32_t r = rda_cliGetCursorName(s->rdaStmt, name, bufferLength, nameLength);
  if (r != 0) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetCursorName: rda_cliGetCursorName returns error");
    return static_cast<int16_t>(r);
  }
  if (*nameLength == kNts)
    *nameLength = name != nullptr && bufferLength > 0 ? static_cast<int16_t>(strnlen(name, bufferLength)) : 0;
  return 0;
}

// Runs outside the connection's lock (the export calls it directly), so
// that it can reach a statement whose connection another call holds: it
// touches neither the diagnostics nor anything else of the record.
int16_t QVSQLCancel(LmoStmt* stmt) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) return invalidStatement("SQLCancel: Invalid stmt handle");
  return static_cast<int16_t>(rda_cliCancel(s->rdaStmt));
}
