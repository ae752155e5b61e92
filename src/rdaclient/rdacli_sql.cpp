#include "src/rdaclient/rdacli_sql.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <new>
#include <string>

#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_execreq.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_result.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_sql";

// What a failure says of an answer that never came.
constexpr const char* kNoConfirmation = "No confirmation received";
constexpr const char* kNoResponse = "No response from server within the timeout period";
constexpr const char* kNoResponseOfExecute = "No response from server within the timeout period.";
constexpr const char* kNoConfirmationOfOpen = "No confirmation received within the timeout period.";

// A text for the server. It grows as it is composed, so that an SQL text or
// a list of host variables of any length goes out as it is; a failed
// allocation leaves it unusable (ok() false), and the request is then one
// that cannot be built.
class SqlText {
 public:
  void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (!ok_) return;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0) {
      ok_ = false;
    } else {
      try {
        const size_t at = s_.size();
        s_.resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(s_.data() + at, static_cast<size_t>(n) + 1, format, again);
        s_.resize(at + static_cast<size_t>(n));
      } catch (const std::bad_alloc&) {
        ok_ = false;
      }
    }
    va_end(again);
  }
  void append(const char* text, size_t length) {
    if (!ok_) return;
    try {
      s_.append(text, length);
    } catch (const std::bad_alloc&) {
      ok_ = false;
    }
  }
  // " :H," once per host variable, the last comma left out.
  void hostVariables(uint32_t count) {
    if (!ok_ || count == 0) return;
    try {
      s_.reserve(s_.size() + 4 * static_cast<size_t>(count));
      for (uint32_t i = 0; i < count; ++i) s_.append(" :H,");
      s_.pop_back();
    } catch (const std::bad_alloc&) {
      ok_ = false;
    }
  }
  void fail() { ok_ = false; }
  bool ok() const { return ok_; }
  const char* c_str() const { return s_.c_str(); }
  size_t size() const { return s_.size(); }

 private:
  std::string s_;
  bool ok_ = true;
};

int opIdOf(const RDA_CliHSTMT* stmt) { return static_cast<int>(stmt->opId); }

bool hasMembers(const RdaCliRing* params) { return params != nullptr && params->count > 0; }

RDA_CliCol* firstColumn(const RDA_CliHSTMT* stmt) {
  if (stmt->cols.count == 0 || stmt->cols.head.next == nullptr || stmt->cols.head.next == &stmt->cols.head)
    return nullptr;
  return reinterpret_cast<RDA_CliCol*>(stmt->cols.head.next);
}

// The cursor takes its generated name at its first open, and keeps it.
void defaultCursorName(RDA_CliHSTMT* stmt) {
  if (stmt->cursorName[0] == '\0')
    std::snprintf(stmt->cursorName, sizeof stmt->cursorName, "SQLCUR%d", opIdOf(stmt));
}

void freeResultTree(RDA_CliHSTMT* stmt) {
  if (stmt->resultTree != nullptr) {
    // Values of the block may still be queued or current (elements of an
    // array nobody read, a row the application left): they go first.
    RDA_cliDropQueuedValues(stmt);
    _xm_freeTree(stmt->resultTree);
  }
  stmt->resultTree = nullptr;
}

// A fresh tree for the values of the cursor's next block; false when there
// is none (the values then come from the statement's tree).
bool newResultTree(RDA_CliHSTMT* stmt) {
  freeResultTree(stmt);
  stmt->resultTree = _xm_allocTree(stmt->tree);
  return stmt->resultTree != nullptr;
}

// A request that could not be built: S1001, unless the builder has said
// why already (a parameter it could not convert, say).
void cannotBuild(RDA_CliHSTMT* stmt, const char* name, uint32_t diagnosticsBefore) {
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: can't build R-ExecuteDBL request\n", name);
  if (stmt->errors.count == diagnosticsBefore)
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, stmt->tree);
}

// 40001 with the text of the missing answer, written in the thread's
// message buffer.
void missingAnswer(RDA_CliHSTMT* stmt, const char* text) {
  if (char* buffer = qvGetRdaCliMsgBuf()) {
    std::snprintf(buffer, kRdaCliMsgSize, "%s", text);
    text = buffer;
  }
  RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_COMPLETION_UNKNOWN, 0, text, stmt->tree);
}

// The outcome of a request the statement has waited for: diagnostics of the
// statement or of its connection fail it as they stand; else the confirm
// makes it a success; else the answer is missing. With `confirmFirst` the
// confirm counts before the connection's diagnostics.
int32_t outcome(RDA_CliHSTMT* stmt, bool confirmed, const char* name, const SqlText& text, const char* missing,
                bool confirmFirst = false) {
  const bool connFailed = stmt->conn->errors.count > 0;
  if (stmt->errors.count > 0 || (connFailed && !(confirmFirst && confirmed))) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: can't execute %s\n", name, text.c_str());
    return 0;
  }
  if (confirmed) return 1;
  missingAnswer(stmt, missing);
  return 0;
}

bool confirmed(const RDA_CliHSTMT* stmt) { return (stmt->state & RDA_CLI_STMT_CONFIRMED) != 0; }

// Builds the request of `text` with the arguments of `params`, sends it,
// waits and judges the answer.
int32_t execText(RDA_CliHSTMT* stmt, const SqlText& text, const RdaCliRing* params, const char* name,
                 const char* missing, bool confirmFirst = false) {
  const uint32_t before = stmt->errors.count;
  GIDU* req = text.ok() ? RDA_cliCreateExecSQL(stmt, text.c_str(), hasMembers(params) ? params : nullptr) : nullptr;
  if (req == nullptr) {
    cannotBuild(stmt, name, before);
    return 0;
  }
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  return outcome(stmt, confirmed(stmt), name, text, missing, confirmFirst);
}

// The UTF-8 form of a wide SQL text, appended to `text`; a text that has
// none (a character beyond Unicode) makes a request that cannot be built.
void appendUtf8(SqlText* text, const wchar_t* sql) {
  if (*sql == L'\0') return;
  const int32_t bytes = wcstoutf8(sql, QV_NTS, nullptr, 0);  // with the NUL
  if (bytes <= 1) {
    text->fail();
    return;
  }
  std::string utf8;
  try {
    utf8.resize(static_cast<size_t>(bytes));
  } catch (const std::bad_alloc&) {
    text->fail();
    return;
  }
  if (wcstoutf8(sql, QV_NTS, utf8.data(), bytes) != bytes) {
    text->fail();
    return;
  }
  text->append(utf8.data(), static_cast<size_t>(bytes) - 1);
}

bool hasState(const RDA_CliError* e, const wchar_t* state) { return std::wcsncmp(e->sqlState, state, 5) == 0; }

RDA_CliError* nextOf(const RDA_CliErrorList* list, RDA_CliErrLink* l) {
  return l == &list->ring ? nullptr : static_cast<RDA_CliError*>(l);
}

// The text begins with the upper-case word, in any case.
bool beginsWith(const wchar_t* text, const wchar_t* word) {
  for (; *word != L'\0'; ++word, ++text)
    if (*text == L'\0' || std::towupper(static_cast<wint_t>(*text)) != static_cast<wint_t>(*word)) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Cursors

int32_t RDA_cliOpenCursor(RDA_CliHSTMT* stmt, RdaCliRing* params, const char* sql) {
  stmt->endOfData = 0;
  defaultCursorName(stmt);
  SqlText declare;
  if (sql != nullptr) declare.add("DECLARE %s CURSOR FOR %s", stmt->cursorName, sql);
  else declare.add("DECLARE %s CURSOR FOR stmt_id_%d", stmt->cursorName, opIdOf(stmt));
  if (execText(stmt, declare, nullptr, "RDA_cliOpenCursor", kNoConfirmation) == 0) return 0;

  SqlText open;
  open.add("OPEN %s", stmt->cursorName);
  if (hasMembers(params)) {
    open.add(" USING");
    open.hostVariables(params->count);
  }
  if (execText(stmt, open, params, "RDA_cliOpenCursor", kNoConfirmation) == 0) return 0;
  stmt->state |= RDA_CLI_STMT_CURSOR_OPEN;
  if (!newResultTree(stmt)) TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliOpenCursor: can't allocate a cursor Tree\n");
  return 1;
}

int32_t RDA_opt1_cliOpenCursor(RDA_CliHSTMT* stmt, RdaCliRing* params, const wchar_t* sql, int32_t mode) {
  RDA_CliHDBC* conn = stmt->conn;
  defaultCursorName(stmt);
  stmt->blockReceived = 0;
  const char* word = mode == RDA_CLI_OPEN_NEXT ? "NEXT" : mode == RDA_CLI_OPEN_RESULT ? "RESULT" : "";
  if (mode != RDA_CLI_OPEN_RESULT) {
    stmt->endOfData = 0;
    stmt->moreResults = 1;
  }
  SqlText text;
  if (conn->stmtOptionsSupport != 0)
    text.add("DECLARE %s %s CURSOR STMT_OPTIONS 'mrows=%d;qt=%d;op=%ld' FOR ", stmt->cursorName, word,
             static_cast<int>(stmt->maxRows), static_cast<int>(stmt->queryTimeOut), static_cast<long>(stmt->optionFlags));
  else if (conn->maxRowsSupport != 0)
    text.add("DECLARE %s %s CURSOR MAXROWS %d FOR ", stmt->cursorName, word, static_cast<int>(stmt->maxRows));
  else
    text.add("DECLARE %s %s CURSOR FOR ", stmt->cursorName, word);
  if (sql != nullptr) appendUtf8(&text, sql);
  else text.add("stmt_id_%d", opIdOf(stmt));

  const uint32_t before = stmt->errors.count;
  GIDU* req = text.ok() ? RDA_opt_cliCreateExecSQLWithFetchData(stmt, text.c_str(), hasMembers(params) ? params : nullptr,
                                                                 static_cast<int32_t>(stmt->fetchSize))
                        : nullptr;
  if (req == nullptr) {
    cannotBuild(stmt, "RDA_opt1_cliOpenCursor", before);
    return 0;
  }
  if (!newResultTree(stmt))
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_opt1_cliOpenCursor: can't allocate a cursor Tree\n");
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);

  auto fail = [stmt] {
    freeResultTree(stmt);
    return 0;
  };
  if (stmt->errors.count > 0) {
    // "02001": no further result set; "02000" alone: no (more) rows, which
    // is no failure.
    stmt->moreResults = lastResultSetErr(&stmt->errors) != 0 ? 0 : 1;
    stmt->endOfData = static_cast<uint32_t>(noDataErrOnly(&stmt->errors));
    if (stmt->endOfData == 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_opt1_cliOpenCursor: can't execute %s\n", text.c_str());
      return fail();
    }
  }
  if (!confirmed(stmt)) {
    if (conn->errors.count > 0 && stmt->endOfData == 0) return fail();
    missingAnswer(stmt, kNoConfirmationOfOpen);
    return fail();
  }
  // A statement without a result set leaves no cursor open.
  if (stmt->cols.count == 0) return 1;
  stmt->state |= RDA_CLI_STMT_CURSOR_OPEN;
  const RDA_CliCol* first = firstColumn(stmt);
  if (stmt->endOfData == 0 && first != nullptr && first->values.count > 0) {
    stmt->blockReceived = 1;
    TM_TRACE(rda_cliTMHandle, 32, kSrc, "Marking that we recieved block of records \n");
  }
  return 1;
}

int32_t RDA_cliCloseCursor(RDA_CliHSTMT* stmt) {
  // At a non-zero level the server closes a cursor itself once it has sent
  // the end of its data.
  if (stmt->conn->optLevel == 0 || stmt->endOfData == 0) {
    SqlText text;
    text.add("CLOSE %s", stmt->cursorName);
    if (execText(stmt, text, nullptr, "RDA_cliCloseCursor", kNoConfirmation) == 0) return 0;
  }
  stmt->state &= ~RDA_CLI_STMT_CURSOR_OPEN;
  RDA_cliClearResult(stmt);
  freeResultTree(stmt);
  return 1;
}

int32_t RDA_cliFetchCol(RDA_CliHSTMT* stmt) {
  if (stmt->cols.count == 0) {
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_INVALID_COLUMN, 0, " Cannot fetch. Column list count is 0.", stmt->tree);
    return 0;
  }
  // The previous block's values live in the cursor's tree.
  if (stmt->resultTree != nullptr && !newResultTree(stmt)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliFetchCol: can't allocate a cursor Tree\n");
    return 0;
  }
  SqlText text;
  text.add("FETCH %s INTO", stmt->cursorName);
  text.hostVariables(stmt->cols.count);
  const uint32_t before = stmt->errors.count;
  GIDU* req = text.ok() ? RDA_cliCreateFetchSQL(stmt, text.c_str(), static_cast<int32_t>(stmt->fetchSize)) : nullptr;
  if (req == nullptr) {
    cannotBuild(stmt, "RDA_cliFetchCol", before);
    return 0;
  }
  // The FETCH keeps the result (and its confirm mark) of the open: whether
  // this request is answered is seen by the mark cleared meanwhile.
  const uint32_t mark = stmt->state & RDA_CLI_STMT_CONFIRMED;
  stmt->state &= ~RDA_CLI_STMT_CONFIRMED;
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  const bool answered = confirmed(stmt);
  stmt->state |= mark;
  return outcome(stmt, answered, "RDA_cliFetchCol", text, kNoResponse);
}

// ---------------------------------------------------------------------------
// Prepared statements

int32_t RDA_cliPrepareSQL(RDA_CliHSTMT* stmt) {
  RDA_CliHDBC* conn = stmt->conn;
  // Whatever an earlier request left must not pass for this one's answer.
  RDA_cliClearResult(stmt);
  SqlText text;
  if (conn->stmtOptionsSupport != 0)
    text.add("PREPARE stmt_id_%d STMT_OPTIONS 'op=%d' FROM :H", opIdOf(stmt), static_cast<int>(stmt->optionFlags));
  else
    text.add("PREPARE stmt_id_%d FROM :H", opIdOf(stmt));
  const wchar_t* sql = stmt->sqlText != nullptr ? stmt->sqlText : L"";
  const size_t chars = std::wcslen(sql);

  auto fail = [stmt](XmTree* tree, const char* line) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "%s", line);
    if (tree != nullptr) _xm_freeTree(tree);
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, stmt->tree);
    return 0;
  };
  if (!text.ok() || chars > static_cast<size_t>(INT32_MAX) || conn->tmpl == nullptr)
    return fail(nullptr, "*** RDA_cliPrepareSQL: can't build R-ExecuteDBL request\n");
  XmTree* tree = _xm_allocTree(nullptr);
  if (tree == nullptr) return fail(nullptr, "*** RDA_cliPrepareSQL: can't allocate tree\n");
  void* spec = rda_createXOPENWCharType(tree, 1, nullptr, nullptr, static_cast<int32_t>(chars), 0);
  RDASQLValList* list = spec != nullptr ? rda_createSQLValList(tree) : nullptr;
  if (list == nullptr) return fail(tree, "*** RDA_cliPrepareSQL: can't create SQLValList\n");
  const OctStgV value{static_cast<uint32_t>(chars), reinterpret_cast<uint8_t*>(const_cast<wchar_t*>(sql))};
  if (rda_addXOPENSQLVal(tree, &list->values, RDA_SQLVAL_WCHAR, &value, 0, 0, nullptr, nullptr, 0, 0.0) != 1)
    return fail(tree, "*** RDA_cliPrepareSQL: add SQLVal\n");
  // The text goes with one zero octet after it.
  const OctStgV statement{static_cast<uint32_t>(text.size() + 1),
                          reinterpret_cast<uint8_t*>(const_cast<char*>(text.c_str()))};
  GIDU* req = rda_createSQLExecDBLReq(conn->tmpl, static_cast<int32_t>(stmt->opId), nullptr, nullptr, &statement, 1,
                                      &spec, 0, nullptr, 1, &list, 1, tree);
  if (req == nullptr) return fail(nullptr, "*** RDA_cliPrepareSQL: can't build R-ExecuteDBL request\n");
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  if (outcome(stmt, confirmed(stmt), "RDA_cliPrepareSQL", text, kNoResponse) == 0) return 0;
  stmt->queryFlag = static_cast<uint32_t>(RDA_cliCheckSelectStmtW(sql));
  // At a non-zero level the prepare's confirm describes the result.
  if (conn->optLevel == 0 && stmt->queryFlag != 0) return RDA_cliDescribeSQL(stmt);
  return 1;
}

int32_t RDA_cliExecSQL(RDA_CliHSTMT* stmt) {
  SqlText text;
  text.add("EXECUTE stmt_id_%d", opIdOf(stmt));
  if (stmt->params.count > 0) {
    text.add(" USING");
    text.hostVariables(stmt->params.count);
  }
  return execText(stmt, text, &stmt->params, "RDA_cliExecSQL", kNoResponseOfExecute);
}

int32_t RDA_cliDescribeSQL(RDA_CliHSTMT* stmt) {
  SqlText text;
  text.add("DESCRIBE stmt_id_%d", opIdOf(stmt));
  return execText(stmt, text, nullptr, "RDA_cliDescribeSQL", kNoResponse);
}

int32_t RDA_cliReleaseSQL(RDA_CliHSTMT* stmt) {
  SqlText text;
  text.add("RELEASE stmt_id_%d", opIdOf(stmt));
  if (execText(stmt, text, nullptr, "RDA_cliReleaseSQL", kNoConfirmation, true) == 0) return 0;
  RDA_cliClearResult(stmt);
  return 1;
}

void RDA_cliClearResult(RDA_CliHSTMT* stmt) {
  if ((stmt->state & RDA_CLI_STMT_CONFIRMED) == 0) return;
  RDA_cliClearColumns(stmt);
  stmt->state &= ~RDA_CLI_STMT_CONFIRMED;
  // No result columns until the next description: an answer without one
  // (an INSERT's) opens no cursor. Bound records stay in the ring.
  stmt->cols.count = 0;
  stmt->resultKind = 0;
}

// ---------------------------------------------------------------------------
// Filters and the query test

int32_t noDataErrOnly(RDA_CliErrorList* list) {
  if (list->ring.next == nullptr) return 1;
  while (RDA_CliError* e = nextOf(list, list->ring.next)) {
    if (!hasState(e, L"02000")) return 0;
    RDA_cliRemoveError(list, e);
  }
  return 1;
}

int32_t lastResultSetErr(RDA_CliErrorList* list) {
  if (list->ring.next == nullptr) return 0;
  int32_t removed = 0;
  for (RDA_CliErrLink* l = list->ring.next; l != &list->ring;) {
    RDA_CliErrLink* next = l->next;
    auto* e = static_cast<RDA_CliError*>(l);
    if (hasState(e, L"02001")) {
      RDA_cliRemoveError(list, e);
      removed = 1;
    }
    l = next;
  }
  return removed;
}

int32_t RDA_cliTruncErrOnly(const RDA_CliErrorList* list) {
  if (list->ring.next == nullptr) return 1;
  for (const RDA_CliErrLink* l = list->ring.next; l != &list->ring; l = l->next)
    if (!hasState(static_cast<const RDA_CliError*>(l), L"01004")) return 0;
  return 1;
}

int32_t RDA_cliCheckSelectStmtW(const wchar_t* sql) {
  if (sql == nullptr) return 0;
  while (*sql != L'\0' && qviswalpha(*sql) == 0) ++sql;
  return beginsWith(sql, L"SELECT") || beginsWith(sql, L"CALL") ? 1 : 0;
}
