#include "src/rdaclient/rdacli_trans.h"

#include <cstdio>

#include "common/qvthread.h"
#include "src/rda/rda_idubuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_sql.h"

namespace {

constexpr const char* kSrc = "src/rdacli_trans";

template <class Block>
Block* blockOf(RdaCliLink* l) {
  return reinterpret_cast<Block*>(l);
}

// R-BeginTransaction of the connection, sent without waiting: the server
// answers it only when it fails, and that answer is taken in while a later
// request waits. NULL when it cannot be built.
//
// The transaction counts as open once the request has gone without a new
// diagnostic: one left from an earlier call says nothing of this request,
// and a transaction the server has begun must not be begun again.
GIDU* beginRequest(RDA_CliHDBC* conn) {
  if (conn->tmpl == nullptr) return nullptr;
  return rda_createSQLBgnTransReq(conn->tmpl, static_cast<int32_t>(RDAutil_generateOpID()));
}

// Sends R-Commit or R-Rollback and waits. The confirm's handler closes the
// transaction (and begins the next); a wait that ends without any answer
// from the server is a failure too, never a transaction taken as ended.
int32_t endTransaction(RDA_CliHDBC* conn, GIDU* req, const char* name, const char* what) {
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  if (conn->errors.count == 0 && conn->answered == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: no confirmation of the %s\n", name, what);
    RDA_cliAddError(&conn->errors, RDA_CLI_ROW_COMPLETION_UNKNOWN, 0, "No confirmation received", conn->tree);
  }
  if (conn->errors.count > 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: can't execute %s\n", name, what);
    return 0;
  }
  return 1;
}

void closeAllCursors(RDA_CliHDBC* conn) {
  if (conn->stmts.head.next == nullptr) return;
  for (RdaCliLink* l = conn->stmts.head.next; l != &conn->stmts.head;) {
    RdaCliLink* next = l->next;
    auto* stmt = blockOf<RDA_CliHSTMT>(l);
    if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0) (void)RDA_cliCloseCursor(stmt);
    l = next;
  }
}

void invalidOption(RDA_CliErrorList* list, XmTree* tree, const char* format, int16_t type) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<int>(type));
  RDA_cliAddError(list, RDA_CLI_ROW_TRANSACTION_OPTION, 0, text, tree);
}

// The connection's transaction ended: one application start less.
void countEnd(RDA_CliHDBC* conn) {
  if (conn->transStarts > 0) --conn->transStarts;
}

int32_t transactEnvironment(RDA_CliHENV* env, int16_t type) {
  RDA_cliClearErrorList(&env->errors);
  if (type != RDA_CLI_COMMIT && type != RDA_CLI_ROLLBACK) {
    invalidOption(&env->errors, env->tree, "Invalid Transaction option %d", type);
    return RDA_CLI_ERROR;
  }
  bool rolledBack = false;
  if (env->conns.head.next != nullptr) {
    for (RdaCliLink* l = env->conns.head.next; l != &env->conns.head; l = l->next) {
      auto* conn = blockOf<RDA_CliHDBC>(l);
      if (type == RDA_CLI_COMMIT) {
        if ((conn->state & RDA_CLI_ST_TRANSACTION) == 0) continue;
        (void)RDA_cliCommit(conn);
        if ((conn->state & RDA_CLI_ST_ROLLED_BACK) != 0) {
          TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliTransact: SQL_COMMIT caused a rollback\n");
          RDA_cliAddError(&conn->errors, RDA_CLI_ROW_ROLLBACK, 0, nullptr, conn->tree);
          conn->state &= ~RDA_CLI_ST_ROLLED_BACK;
          rolledBack = true;
        }
      } else {
        // A connection without association has no dialogue to roll back:
        // the stack would refuse the request only on the environment's
        // queue, and the wait on the connection's would last the whole
        // response time-out.
        if ((conn->state & RDA_CLI_ST_ASSOCIATED) == 0 || conn->tmpl == nullptr) continue;
        (void)RDA_cliRollback(conn);
        conn->state &= ~RDA_CLI_ST_ROLLED_BACK;
      }
      countEnd(conn);
    }
  }
  if (type == RDA_CLI_ROLLBACK) return RDA_CLI_SUCCESS;
  if (rolledBack) RDA_cliAddError(&env->errors, RDA_CLI_ROW_TRANS_ROLLED_BACK, 0, nullptr, env->tree);
  return env->errors.count > 0 ? RDA_CLI_ERROR : RDA_CLI_SUCCESS;
}

}  // namespace

uint32_t gdwRDAOpID = kRdaCliFirstTransOpId;

uint32_t RDAutil_generateOpID() {
  QvCheckedLock lock(hSerializeRdaCliMutex);
  if (gdwRDAOpID >= kRdaCliTransOpIdEnd || gdwRDAOpID < kRdaCliFirstTransOpId) gdwRDAOpID = kRdaCliFirstTransOpId;
  return gdwRDAOpID++;
}

int32_t RDA_cliBgnTrans(RDA_CliHSTMT* stmt) {
  RDA_CliHDBC* conn = stmt->conn;
  GIDU* req = beginRequest(conn);
  if (req == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliBgnTrans: can't build R-BeginTransaction request\n");
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, stmt->tree);
    return 0;
  }
  const uint32_t before = stmt->errors.count + conn->errors.count;
  RDA_cliSendEvent(req, RDA_CLI_SEND_ONLY);
  if (stmt->errors.count + conn->errors.count == before) {
    conn->state |= RDA_CLI_ST_TRANSACTION;
    return 1;
  }
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliBgnTrans: can't execute R-ExecuteDBL request\n");
  return 0;
}

int32_t RDA_cliBgnTransOnConnection(RDA_CliHDBC* conn) {
  GIDU* req = beginRequest(conn);
  if (req == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliBgnTrans: can't build R-BeginTransaction request\n");
    RDA_cliAddError(&conn->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, conn->tree);
    return 0;
  }
  const uint32_t before = conn->errors.count;
  RDA_cliSendEvent(req, RDA_CLI_SEND_ONLY);
  if (conn->errors.count != before) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliBgnTrans: can't execute R-ExecuteDBL request\n");
    return 0;
  }
  conn->state |= RDA_CLI_ST_TRANSACTION;
  return 1;
}

int32_t RDA_cliCommit(RDA_CliHDBC* conn) {
  GIDU* req = conn->tmpl != nullptr
                  ? rda_createSQLCommitReq(conn->tmpl, static_cast<int32_t>(RDAutil_generateOpID()))
                  : nullptr;
  if (req == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliCommit: can't build R-Commit request\n");
    RDA_cliAddError(&conn->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, conn->tree);
    return 0;
  }
  if (endTransaction(conn, req, "RDA_cliCommit", "R-Commit") == 0) return 0;
  if ((conn->optionFlags & RDA_CLI_CONN_OPT1001) != 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliCommit: Closing all open cursors\n");
    closeAllCursors(conn);
  }
  return 1;
}

int32_t RDA_cliRollback(RDA_CliHDBC* conn) {
  GIDU* req = conn->tmpl != nullptr
                  ? rda_createSQLRollbackReq(conn->tmpl, static_cast<int32_t>(RDAutil_generateOpID()))
                  : nullptr;
  if (req == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliRollback: can't build R-Rollback request\n");
    RDA_cliAddError(&conn->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, conn->tree);
    return 0;
  }
  return endTransaction(conn, req, "RDA_cliRollback", "R-Rollback");
}

int32_t rda_cliTransact(RDA_CliHENV* env, RDA_CliHDBC* conn, int16_t type) {
  if (conn == nullptr) {
    if (!RDA_cliIsLiveBlock(env, RDA_CLI_TAG_HENV)) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliTransact: invalid environment handle\n");
      return RDA_CLI_INVALID_HANDLE;
    }
    return transactEnvironment(env, type);
  }
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliTransact: invalid connection handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&conn->errors);
  if ((conn->state & RDA_CLI_ST_TRANSACTION) == 0) return RDA_CLI_SUCCESS;
  int32_t ended = 0;
  switch (type) {
    case RDA_CLI_COMMIT:
      ended = RDA_cliCommit(conn);
      break;
    case RDA_CLI_ROLLBACK:
      ended = RDA_cliRollback(conn);
      break;
    default:
      invalidOption(&conn->errors, conn->tree, "Invalid transaction option %d", type);
      return RDA_CLI_ERROR;
  }
  // A commit the server turned into a rollback reports it here; the mark
  // must not outlive the call.
  conn->state &= ~RDA_CLI_ST_ROLLED_BACK;
  if (ended == 0) return RDA_CLI_ERROR;
  countEnd(conn);
  return (conn->state & RDA_CLI_ST_TRANSACTION) != 0 ? RDA_CLI_SUCCESS : RDA_CLI_ERROR;
}

int32_t rda_cliStartTransaction(RDA_CliHDBC* conn) {
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliStartTransaction: invalid connection handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  ++conn->transStarts;
  return RDA_CLI_SUCCESS;
}
