#include "src/rdaclient/rdacli_cursor.h"

#include <cstring>

#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/runtime/tm.h"

// The definition of the exported hook (declared with QV_EXPORT).
extern "C" {
__attribute__((visibility("default"))) int (*gQv_sql_cancel)(unsigned int opId) = nullptr;
}

namespace {

constexpr const char* kSrc = "src/rdacli_cursor";
// Generated names begin so; an application may not use it.
constexpr char kReserved[] = "SQLCUR";
constexpr size_t kReservedLength = sizeof kReserved - 1;

bool live(RDA_CliHSTMT* stmt, const char* call) {
  if (RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) return true;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: invalid statement handle\n", call);
  return false;
}

int32_t refuse(RDA_CliHSTMT* stmt, uint32_t row) {
  RDA_cliAddError(&stmt->errors, row, 0, nullptr, stmt->tree);
  return RDA_CLI_ERROR;
}

RDA_CliHSTMT* stmtOf(RdaCliLink* l) { return reinterpret_cast<RDA_CliHSTMT*>(l); }

}  // namespace

int32_t rda_cliSetCursorName(RDA_CliHSTMT* stmt, const char* name, int16_t length) {
  if (!live(stmt, "rda_cliSetCursorName")) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_CURSOR_STATE, "%s", "SetCursorName: cursor is already open");
    return RDA_CLI_ERROR;
  }
  if (name == nullptr || (length < 0 && length != RDA_CLI_NTS)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliSetCursorName: invalid name or length %d\n", static_cast<int>(length));
    return refuse(stmt, RDA_CLI_ROW_INVALID_ARGUMENT);
  }
  // A terminated name is measured before anything is copied.
  const size_t n = length == RDA_CLI_NTS ? strnlen(name, kRdaCliMaxCursorName + 1) : static_cast<size_t>(length);
  if (n > static_cast<size_t>(kRdaCliMaxCursorName)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_clISetCursorName: cursor length %d exceeds maximum\n",
             length == RDA_CLI_NTS ? static_cast<int>(std::strlen(name)) : static_cast<int>(length));
    return refuse(stmt, RDA_CLI_ROW_INVALID_CURSOR_NAME);
  }
  char wanted[kRdaCliCursorNameSize];
  std::memcpy(wanted, name, n);
  wanted[n] = '\0';
  if (wanted[0] == '\0') {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_clISetCursorName: cursor name is empty\n");
    return refuse(stmt, RDA_CLI_ROW_INVALID_CURSOR_NAME);
  }
  if (std::strncmp(wanted, kReserved, kReservedLength) == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_clISetCursorName: cursor name %s starts with SQLCUR\n", wanted);
    return refuse(stmt, RDA_CLI_ROW_INVALID_CURSOR_NAME);
  }
  RdaCliRing& stmts = stmt->conn->stmts;
  for (RdaCliLink* l = stmts.head.next; l != nullptr && l != &stmts.head; l = l->next) {
    if (std::strcmp(stmtOf(l)->cursorName, wanted) == 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_clISetCursorName: cursor name %s not unique\n", wanted);
      return refuse(stmt, RDA_CLI_ROW_INVALID_CURSOR_NAME);
    }
  }
  std::memcpy(stmt->cursorName, wanted, n + 1);
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliGetCursorName(RDA_CliHSTMT* stmt, char* buffer, int16_t size, int16_t* length) {
  if (!live(stmt, "rda_cliGetCursorName")) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  const int32_t room = buffer != nullptr && size > 0 ? size : 0;
  const size_t n = strnlen(stmt->cursorName, sizeof stmt->cursorName - 1);
  if (n == 0) {
    if (length != nullptr) *length = 0;
    if (room > 0) buffer[0] = '\0';
    return RDA_CLI_SUCCESS;
  }
  if (static_cast<size_t>(room) > n) {
    std::memcpy(buffer, stmt->cursorName, n + 1);
    if (length != nullptr) *length = RDA_CLI_NTS;
    return RDA_CLI_SUCCESS;
  }
  // Cut: what fits before the NUL, and the whole length.
  if (room > 0) {
    std::memcpy(buffer, stmt->cursorName, static_cast<size_t>(room - 1));
    buffer[room - 1] = '\0';
  }
  if (length != nullptr) *length = static_cast<int16_t>(n);
  RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_TRUNCATED, 0, nullptr, stmt->tree);
  return RDA_CLI_SUCCESS_WITH_INFO;
}

int32_t rda_cliCancel(RDA_CliHSTMT* stmt) {
  if (!live(stmt, "rda_cliCancel")) return RDA_CLI_INVALID_HANDLE;
  int (*const hook)(unsigned int) = gQv_sql_cancel;
  if (hook == nullptr) return RDA_CLI_SUCCESS;
  TM_TRACE(rda_cliTMHandle, 16, kSrc, "*** rda_cliCancel: calling gQv_sql_cancel\n");
  return static_cast<int16_t>(hook(stmt->opId));
}
