#include "src/rdaclient/rdacli_sql.h"

#include <cwctype>

#include "common/qvunicode.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/xm.h"

namespace {

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

// Minimal version: the cursor is forgotten with its result data; the CLOSE
// text to the server comes with the cursor operations.
int32_t RDA_cliCloseCursor(RDA_CliHSTMT* stmt) {
  stmt->state &= ~RDA_CLI_STMT_CURSOR_OPEN;
  if (stmt->resultTree != nullptr) _xm_freeTree(stmt->resultTree);
  stmt->resultTree = nullptr;
  return 1;
}

// Minimal version: nothing is sent; the release text to the server comes
// with the cursor operations.
int32_t RDA_cliReleaseSQL(RDA_CliHSTMT*) { return 1; }

// Minimal version: the confirm mark and the row count are forgotten; the
// column records and queued values come with the result handling.
void RDA_cliClearResult(RDA_CliHSTMT* stmt) {
  if ((stmt->state & RDA_CLI_STMT_CONFIRMED) == 0) return;
  stmt->state &= ~RDA_CLI_STMT_CONFIRMED;
  stmt->resultKind = 0;
}

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
