#include "src/rdaclient/rdacli_sql.h"

#include "src/rda/rda_idubuild.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_result.h"
#include "src/runtime/xm.h"

namespace {
constexpr const char* kSrc = "src/rdacli_sql";
}  // namespace

// Minimal version: the cursor is forgotten with its result data; the CLOSE
// text to the server comes with the SQL-text operations.
int32_t RDA_cliCloseCursor(RDA_CliHSTMT* stmt) {
  stmt->state &= ~RDA_CLI_STMT_CURSOR_OPEN;
  if (stmt->resultTree != nullptr) _xm_freeTree(stmt->resultTree);
  stmt->resultTree = nullptr;
  return RDA_CLI_SUCCESS;
}

// Minimal version: the prepared mark is cleared; the release text to the
// server comes with the SQL-text operations.
int32_t RDA_cliReleaseSQL(RDA_CliHSTMT* stmt) {
  stmt->state &= ~RDA_CLI_STMT_PREPARED;
  return RDA_CLI_SUCCESS;
}

// Minimal version: R-Rollback sent and waited for, judged by the
// transaction bit the confirm clears and the diagnostics; the bookkeeping
// of the statements comes with the SQL-text operations.
int32_t RDA_cliRollback(RDA_CliHDBC* conn) {
  if (conn->tmpl == nullptr) return RDA_CLI_ERROR;
  GIDU* req = rda_createSQLRollbackReq(conn->tmpl, static_cast<int32_t>(++conn->opId));
  if (req == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliRollback: can't build R-Rollback request\n");
    RDA_cliAddError(&conn->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, conn->tree);
    return RDA_CLI_ERROR;
  }
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  if (conn->errors.count > 0 || (conn->state & RDA_CLI_ST_TRANSACTION) != 0) return RDA_CLI_ERROR;
  return RDA_CLI_SUCCESS;
}

// Minimal version: R-BeginTransaction sent without waiting, and the
// transaction taken as open; the statements' use of it comes with the
// SQL-text operations.
int32_t RDA_cliBgnTransOnConnection(RDA_CliHDBC* conn) {
  if (conn->tmpl == nullptr || (conn->state & RDA_CLI_ST_ASSOCIATED) == 0) return RDA_CLI_ERROR;
  GIDU* req = rda_createSQLBgnTransReq(conn->tmpl, static_cast<int32_t>(++conn->opId));
  if (req == nullptr) return RDA_CLI_ERROR;
  conn->state |= RDA_CLI_ST_TRANSACTION;
  RDA_cliSendEvent(req, RDA_CLI_SEND_ONLY);
  return RDA_CLI_SUCCESS;
}

// Minimal version: the columns' descriptions and queued values go with the
// confirm-received bit, and the row count is forgotten; the rest of the
// statement's result comes with the SQL-text operations.
void RDA_cliClearResult(RDA_CliHSTMT* stmt) {
  if ((stmt->state & RDA_CLI_STMT_CONFIRMED) != 0) {
    RDA_cliClearColumns(stmt);
    stmt->state &= ~RDA_CLI_STMT_CONFIRMED;
  }
  stmt->resultKind = 0;
  stmt->rowCount = 0;
}

// Minimal version: nothing is sent and the statement stays undescribed; the
// DESCRIBE text to the server comes with the SQL-text operations.
int32_t RDA_cliDescribeSQL(RDA_CliHSTMT*) { return 1; }
