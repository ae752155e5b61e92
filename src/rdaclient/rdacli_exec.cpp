#include "src/rdaclient/rdacli_exec.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_execreq.h"
#include "src/rdaclient/rdacli_fetch.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_exec";

constexpr const char* kNotPrepared = "SQL statement not prepared";
constexpr const char* kCursorOpen = "Cursor is already open";
constexpr const char* kPending = "Pending result still exist";

// Driver commands that take part in a distributed transaction: their
// diagnostics are warnings of the transaction manager.
constexpr wchar_t kXaCommand[] = L"_QV_SET_INFO XA ";
constexpr size_t kXaCommandLength = sizeof kXaCommand / sizeof kXaCommand[0] - 1;

bool liveStatement(RDA_CliHSTMT* stmt, const char* name) {
  if (RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) return true;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: invalid statement handle\n", name);
  return false;
}

int32_t fail(RDA_CliHSTMT* stmt, uint32_t row, const char* text) {
  RDA_cliAddError(&stmt->errors, row, 0, text, stmt->tree);
  return RDA_CLI_ERROR;
}

// A text and its length as the caller gives them: a text, and a count of
// characters or RDA_CLI_NTS.
bool badText(RDA_CliHSTMT* stmt, const void* text, int32_t length) {
  if (text != nullptr && (length >= 0 || length == RDA_CLI_NTS)) return false;
  char message[64];
  if (text == nullptr) std::snprintf(message, sizeof message, "SQL text is NULL");
  else std::snprintf(message, sizeof message, "Invalid string length %d", static_cast<int>(length));
  fail(stmt, RDA_CLI_ROW_INVALID_ARGUMENT, message);
  return true;
}

// Leading blanks are skipped; a counted length loses one per blank, and the
// skip ends with the counted text.
const wchar_t* skipBlanks(const wchar_t* text, int32_t* length) {
  while (*length != 0 && *text == L' ') {
    ++text;
    if (*length != RDA_CLI_NTS) --*length;
  }
  return text;
}

bool rowsPending(const RDA_CliHSTMT* stmt) {
  if (stmt->cols.count == 0 || stmt->cols.head.next == nullptr || stmt->cols.head.next == &stmt->cols.head)
    return false;
  return reinterpret_cast<const RDA_CliCol*>(stmt->cols.head.next)->values.count > 0;
}

const RDA_CliCol* firstDescribed(const RDA_CliHSTMT* stmt) {
  if (stmt->cols.count == 0 || stmt->cols.head.next == nullptr || stmt->cols.head.next == &stmt->cols.head)
    return nullptr;
  const auto* col = reinterpret_cast<const RDA_CliCol*>(stmt->cols.head.next);
  return (col->flags & RDA_CLI_COL_DESCRIBED) != 0 ? col : nullptr;
}

// A transaction is open on the statement's connection, or has just been
// begun.
bool inTransaction(RDA_CliHSTMT* stmt) {
  return (stmt->conn->state & RDA_CLI_ST_TRANSACTION) != 0 || RDA_cliBgnTrans(stmt) != 0;
}

// The statement's SQL text becomes a copy of `text`.
bool keepText(RDA_CliHSTMT* stmt, const wchar_t* text, int32_t length) {
  if (stmt->sqlText != nullptr) _xm_freeItem(stmt->sqlText);
  stmt->sqlText = length == RDA_CLI_NTS ? ul_wcharscpy(text, stmt->tree) : ul_wcharncpy(text, length, stmt->tree);
  return stmt->sqlText != nullptr;
}

RdaCliRing* paramsOf(RDA_CliHSTMT* stmt) { return stmt->params.count > 0 ? &stmt->params : nullptr; }

// After an execution that opened no cursor: the output parameters of a
// procedure call, if it had any.
int32_t afterOpen(RDA_CliHSTMT* stmt) {
  if (stmt->cols.count > 0 || stmt->moreResults != 0) return RDA_CLI_SUCCESS;
  return rda_cliGetReturnValue(stmt);
}

void markBlock(RDA_CliHSTMT* stmt) {
  if (stmt->endOfData == 0 && rowsPending(stmt)) {
    stmt->blockReceived = 1;
    TM_TRACE(rda_cliTMHandle, 32, kSrc, "Marking that we recieved block of records \n");
  }
}

// The bound parameter of a driver command: its text, NUL-terminated.
GIDU* commandRequest(RDA_CliHSTMT* stmt, wchar_t* command) {
  XmTree* tree = _xm_allocTree(stmt->tree);
  if (tree == nullptr) return nullptr;
  auto* parm = static_cast<RDA_CliParm*>(_xm_allocItem(tree, sizeof(RDA_CliParm), XM_ZERO));
  GIDU* req = nullptr;
  if (parm != nullptr) {
    int64_t length = RDA_CLI_LEN_NTS;
    parm->number = 1;
    parm->cType = RDA_CLI_C_WCHAR;
    parm->sqlType = RDA_CLI_SQL_WCHAR;
    parm->columnSize = kRdaCliMaxCommand;
    parm->scale = 0;
    parm->bindFlags = RDA_CLI_PARM_BOUND;
    parm->direction = RDA_CLI_PARAM_INPUT;
    parm->value = command;
    parm->lenInd = &length;
    parm->bufferLength = static_cast<int64_t>(kRdaCliCmdSize * sizeof(wchar_t));
    RdaCliRing params;
    RDA_cliRingInit(&params);
    RDA_cliRingAppend(&params, &parm->links);
    req = RDA_cliCreateExecSQL(stmt, "EXECUTE IMMEDIATE :H", &params);
  }
  _xm_freeTree(tree);
  return req;
}

}  // namespace

// ---------------------------------------------------------------------------
// Prepare

int32_t rda_cliPrepare(RDA_CliHSTMT* stmt, const char* sql, int32_t length) {
  if (!liveStatement(stmt, "rda_cliPrepare")) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if (badText(stmt, sql, length)) return RDA_CLI_ERROR;
  // The text is converted as the current locale reads it, counted or not,
  // so that a statement never depends on how its length was given.
  const size_t bytes = length == RDA_CLI_NTS ? std::strlen(sql) : strnlen(sql, static_cast<size_t>(length));
  std::string copy;
  try {
    copy.assign(sql, bytes);
  } catch (const std::bad_alloc&) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliPrepare: can't allocate sqlStr\n");
    return fail(stmt, RDA_CLI_ROW_NO_MEMORY, nullptr);
  }
  const size_t chars = qvmbstowcs(nullptr, copy.c_str(), 0);
  if (chars == static_cast<size_t>(-1) || chars > static_cast<size_t>(INT32_MAX) - 1) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliPrepare: the text does not convert in the current locale\n");
    RDA_cliAddSQLState(&stmt->errors, "22018", 0,
                       "Invalid character value - the SQL text does not convert in the current locale",
                       stmt->tree);
    return RDA_CLI_ERROR;
  }
  auto* wide = static_cast<wchar_t*>(_xm_allocItem(stmt->tree, (chars + 1) * sizeof(wchar_t), 0));
  if (wide == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliPrepare: can't allocate sqlStr\n");
    return fail(stmt, RDA_CLI_ROW_NO_MEMORY, nullptr);
  }
  qvmbstowcs(wide, copy.c_str(), chars + 1);
  wide[chars] = L'\0';
  const int32_t result = rda_cliPrepareW(stmt, wide, static_cast<int32_t>(chars));
  _xm_freeItem(wide);
  return result;
}

int32_t rda_cliPrepareW(RDA_CliHSTMT* stmt, const wchar_t* sql, int32_t length) {
  if (!liveStatement(stmt, "rda_cliPrepareW")) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if (badText(stmt, sql, length)) return RDA_CLI_ERROR;
  sql = skipBlanks(sql, &length);
  if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0) return fail(stmt, RDA_CLI_ROW_CURSOR_STATE, kCursorOpen);
  if ((stmt->state & RDA_CLI_STMT_PREPARED) != 0) {
    // At level 0 the server keeps the old statement until it is released.
    if (stmt->conn->optLevel == 0) {
      if (RDA_cliReleaseSQL(stmt) == 0) return RDA_CLI_ERROR;
    } else {
      RDA_cliClearResult(stmt);
    }
    stmt->state &= ~RDA_CLI_STMT_PREPARED;
  }
  if (!keepText(stmt, sql, length)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliPrepareW: can't allocate sqlStr\n");
    return fail(stmt, RDA_CLI_ROW_NO_MEMORY, nullptr);
  }
  stmt->state &= ~RDA_CLI_STMT_EXECUTED;
  if (RDA_cliPrepareSQL(stmt) == 0) return RDA_CLI_ERROR;
  stmt->state |= RDA_CLI_STMT_PREPARED;
  // A server that describes parameters sends their count with the confirm.
  if ((stmt->optionFlags & RDA_CLI_STMT_OPTIONS_SUPPORT) == 0) stmt->paramCount = RDAutil_getParamCount(stmt->sqlText);
  return RDA_CLI_SUCCESS;
}

uint32_t RDAutil_getParamCount(const wchar_t* sql) {
  if (sql == nullptr || (std::wcschr(sql, L'?') == nullptr && std::wcschr(sql, L':') == nullptr)) return 0;
  uint32_t count = 0;
  bool inSingle = false;
  bool inDouble = false;
  for (const wchar_t* p = sql; *p != L'\0'; ++p) {
    switch (*p) {
      case L'"':
        if (!inSingle) inDouble = !inDouble;
        break;
      case L'\'':
        if (inDouble) break;
        if (!inSingle) inSingle = true;
        else if (p[1] == L'\'') ++p;  // a quote written twice stands for itself
        else inSingle = false;
        break;
      case L'?':
        if (!inSingle && !inDouble) ++count;
        break;
      case L':':
        if (inSingle || inDouble) break;
        ++count;
        while (p[1] != L'\0' && p[1] != L',' && p[1] != L' ' && p[1] != L')') ++p;
        break;
      default:
        break;
    }
  }
  return count;
}

int32_t rda_cliNumParams(RDA_CliHSTMT* stmt, int16_t* count) {
  if (!liveStatement(stmt, "rda_cliNumParams")) return RDA_CLI_INVALID_HANDLE;
  if ((stmt->state & RDA_CLI_STMT_PREPARED) == 0) return fail(stmt, RDA_CLI_ROW_SEQUENCE, kNotPrepared);
  if (count != nullptr) *count = static_cast<int16_t>(stmt->paramCount);
  return RDA_CLI_SUCCESS;
}

// ---------------------------------------------------------------------------
// Execute

int32_t rda_cliExecute(RDA_CliHSTMT* stmt) {
  if (!liveStatement(stmt, "rda_cliExecute")) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if ((stmt->state & RDA_CLI_STMT_PREPARED) == 0) return fail(stmt, RDA_CLI_ROW_SEQUENCE, kNotPrepared);
  if (rowsPending(stmt)) return fail(stmt, RDA_CLI_ROW_CURSOR_STATE, kPending);
  if (!inTransaction(stmt)) return RDA_CLI_ERROR;
  stmt->state &= ~RDA_CLI_STMT_EXECUTED;
  const RDA_CliHDBC* conn = stmt->conn;
  int32_t result = RDA_CLI_ERROR;
  if (conn->alwaysUseCursor == 0 && stmt->queryFlag == 0) {
    result = RDA_cliExecSQL(stmt) != 0 ? RDA_CLI_SUCCESS : RDA_CLI_ERROR;
  } else if (conn->optLevel == 1) {
    if (RDA_opt1_cliOpenCursor(stmt, paramsOf(stmt), nullptr, RDA_CLI_OPEN_FIRST) == 0) return RDA_CLI_ERROR;
    result = afterOpen(stmt);
  } else {
    result = RDA_cliOpenCursor(stmt, paramsOf(stmt), nullptr) != 0 ? RDA_CLI_SUCCESS : RDA_CLI_ERROR;
  }
  if (result != RDA_CLI_ERROR) stmt->state |= RDA_CLI_STMT_EXECUTED;
  return result;
}

int32_t rda_cliExecDirectNew(RDA_CliHSTMT* stmt, const wchar_t* sql, int32_t length) {
  if (!liveStatement(stmt, "rda_cliExecute")) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if (badText(stmt, sql, length)) return RDA_CLI_ERROR;
  if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0) return fail(stmt, RDA_CLI_ROW_CURSOR_STATE, kCursorOpen);
  stmt->state &= ~(RDA_CLI_STMT_PREPARED | RDA_CLI_STMT_EXECUTED);
  if (!inTransaction(stmt)) return RDA_CLI_ERROR;
  sql = skipBlanks(sql, &length);
  if (!keepText(stmt, sql, length)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc,
             length == RDA_CLI_NTS ? "*** rda_cliExecDirectNew: can't allocate sqlStr\n"
                                   : "*** rda_cliPrepare: can't allocate sqlStr\n");
    return fail(stmt, RDA_CLI_ROW_NO_MEMORY, nullptr);
  }
  // Whatever the level: the text itself follows FOR.
  if (RDA_opt1_cliOpenCursor(stmt, paramsOf(stmt), stmt->sqlText, RDA_CLI_OPEN_FIRST) == 0) return RDA_CLI_ERROR;
  // The text can be executed again with rda_cliExecute.
  stmt->state |= RDA_CLI_STMT_PREPARED | RDA_CLI_STMT_EXECUTED;
  return afterOpen(stmt);
}

int16_t rda_cliExecDirect(RDA_CliHSTMT* stmt, const wchar_t* sql, int32_t length) {
  return static_cast<int16_t>(rda_cliExecDirectNew(stmt, sql, length));
}

int32_t rda_cliExecImmediateSpecialCmd(RDA_CliHSTMT* stmt, const wchar_t* command, int32_t length) {
  if (!liveStatement(stmt, "rda_cliExecImmediateSpecialCmd")) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if (badText(stmt, command, length)) return RDA_CLI_ERROR;
  if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0 && RDA_cliCloseCursor(stmt) == 0) return RDA_CLI_ERROR;
  command = skipBlanks(command, &length);
  if (rowsPending(stmt)) return fail(stmt, RDA_CLI_ROW_CURSOR_STATE, kPending);
  const size_t n = length == RDA_CLI_NTS ? std::wcslen(command) : static_cast<size_t>(length);
  if (n > static_cast<size_t>(kRdaCliMaxCommand)) {
    char message[96];
    std::snprintf(message, sizeof message, "Length of internal command exceeds supported limit of %d.",
                  static_cast<int>(kRdaCliMaxCommand));
    return fail(stmt, RDA_CLI_ROW_COMPLETION_UNKNOWN, message);
  }
  RdaCliTLS* tls = getRdaCliTLS(0);
  if (tls == nullptr) return fail(stmt, RDA_CLI_ROW_NO_MEMORY, nullptr);
  std::wmemcpy(tls->command, command, n);
  tls->command[n] = L'\0';
  if (!inTransaction(stmt)) return RDA_CLI_ERROR;

  const uint32_t before = stmt->errors.count;
  GIDU* req = commandRequest(stmt, tls->command);
  if (req == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliExecDirect: memory allocation problem\n");
    // The builder may have said why already.
    if (stmt->errors.count == before) fail(stmt, RDA_CLI_ROW_NO_MEMORY, nullptr);
    return RDA_CLI_ERROR;
  }
  if (stmt->resultTree != nullptr) _xm_freeTree(stmt->resultTree);
  stmt->resultTree = _xm_allocTree(stmt->tree);
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);

  if (stmt->errors.count > 0) {
    stmt->moreResults = lastResultSetErr(&stmt->errors) != 0 ? 0 : 1;
    stmt->endOfData = static_cast<uint32_t>(noDataErrOnly(&stmt->errors));
    if (stmt->errors.count > 0) {
      if (qvwcsnicmp(tls->command, kXaCommand, kXaCommandLength) == 0)
        TM_TRACEW(rda_cliTMHandle, 32, kSrc, L"*** rda_cliExecDirect: executed with warning: %ls\n", tls->command);
      else
        TM_TRACEW(rda_cliTMHandle, 8, kSrc, L"*** rda_cliExecDirect: can't execute %ls\n", tls->command);
      return RDA_CLI_ERROR;
    }
  }
  if ((stmt->state & RDA_CLI_STMT_CONFIRMED) == 0) {
    if (stmt->conn->errors.count == 0) fail(stmt, RDA_CLI_ROW_COMPLETION_UNKNOWN, "No confirmation received");
    return RDA_CLI_ERROR;
  }
  if (stmt->cols.count == 0) return RDA_CLI_SUCCESS;
  stmt->state |= RDA_CLI_STMT_CURSOR_OPEN;
  markBlock(stmt);
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliMoreResults(RDA_CliHSTMT* stmt) {
  if (!liveStatement(stmt, "rda_cliExecute")) return RDA_CLI_INVALID_HANDLE;
  if (const int32_t closed = rda_cliFreeStmt(stmt, 0); closed != RDA_CLI_SUCCESS) return closed;
  if (stmt->moreResults == 0) return RDA_CLI_NO_DATA;
  if ((stmt->state & RDA_CLI_STMT_PREPARED) == 0) return fail(stmt, RDA_CLI_ROW_SEQUENCE, kNotPrepared);
  if (rowsPending(stmt)) return fail(stmt, RDA_CLI_ROW_CURSOR_STATE, kPending);
  if (!inTransaction(stmt)) return RDA_CLI_ERROR;
  if (RDA_opt1_cliOpenCursor(stmt, nullptr, nullptr, RDA_CLI_OPEN_NEXT) == 0) return RDA_CLI_ERROR;
  if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0) return RDA_CLI_SUCCESS;
  stmt->moreResults = 0;
  return RDA_CLI_NO_DATA;
}

int32_t rda_cliGetReturnValue(RDA_CliHSTMT* stmt) {
  if (!liveStatement(stmt, "rda_cliExecute")) return RDA_CLI_INVALID_HANDLE;
  if (stmt->returnValues == 0) {
    TM_TRACE(rda_cliTMHandle, 16, kSrc, "No output parameters are bound\n");
    return RDA_CLI_SUCCESS;
  }
  if (const int32_t closed = rda_cliFreeStmt(stmt, 0); closed != RDA_CLI_SUCCESS) return closed;
  if (RDA_opt1_cliOpenCursor(stmt, nullptr, nullptr, RDA_CLI_OPEN_RESULT) == 0) return RDA_CLI_ERROR;
  const RDA_CliCol* first = firstDescribed(stmt);
  const int32_t result = first != nullptr && (stmt->endOfData == 0 || first->values.count > 0)
                             ? rda_cliFetchReturnVal(stmt)
                             : RDA_CLI_NO_DATA;
  // The return values' cursor is closed; what their delivery reported
  // stays for the caller.
  if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0) (void)RDA_cliCloseCursor(stmt);
  return result;
}
