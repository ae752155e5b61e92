// Allocation and release of the client's environment, connection and
// statement blocks.
#include "src/rdaclient/rdacli_handles.h"

#include <cstdio>

#include "common/qvthread.h"
#include "src/acse/gidu_queue.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_perror.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_result.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_handles";

// Native error of an environment that finds no RDA user to call from.
constexpr int32_t kNoUserForActivation = 52507;

RdaCliRing gHenvRing;

// The operation-id seed of the connections: each takes it and moves it on
// by 1000. Under hSerializeRdaCliMutex.
uint64_t gOpIdSeed = 1;
constexpr uint64_t kOpIdStep = 1000;

template <class Block>
Block* blockOf(RdaCliLink* l) {
  return reinterpret_cast<Block*>(l);
}

void addIndex(RDA_CliErrorList* list, uint32_t index, const char* text, XmTree* tree) {
  RDA_cliAddError(list, index, 0, text, tree);
}

// Frees an environment that is linked in henvList; stops the stack with the
// last one.
void releaseEnv(RDA_CliHENV* env) {
  RDA_cliRingRemove(henvList, &env->links);
  env->tag = ~RDA_CLI_TAG_HENV;
  RDA_cliUnlinkBlock(env);
  {
    QvCheckedLock lock(hSerializeRdaCliMutex);
    RDA_cliPurgeEventQueue(&env->tmpl);
  }
  RDA_cliClearErrorList(&env->errors);
  _xm_freeTree(env->tree);
  if (henvList->count == 0) {
    henvList = nullptr;
    RDA_cliDuvikTerm(RDA_CLI_MODE_FIRST);
  }
}

}  // namespace

RdaCliRing* henvList = nullptr;

// ---------------------------------------------------------------------------
// Rings

void RDA_cliRingInit(RdaCliRing* ring) {
  ring->head.next = ring->head.prev = &ring->head;
  ring->count = 0;
}

void RDA_cliRingAppend(RdaCliRing* ring, RdaCliLink* link) {
  if (ring->head.next == nullptr) RDA_cliRingInit(ring);
  link->next = &ring->head;
  link->prev = ring->head.prev;
  ring->head.prev->next = link;
  ring->head.prev = link;
  ++ring->count;
}

void RDA_cliRingRemove(RdaCliRing* ring, RdaCliLink* link) {
  if (link->next == nullptr || link->next == link) return;
  link->prev->next = link->next;
  link->next->prev = link->prev;
  link->next = link->prev = link;
  if (ring != nullptr && ring->count > 0) --ring->count;
}

// ---------------------------------------------------------------------------
// Environment

int32_t rda_cliAllocEnv(RDA_CliHENV** out) {
  if (getRdaCliTLS(0) == nullptr) return RDA_CLI_ERROR;
  QvGlobalLock lock;
  if (out != nullptr) *out = nullptr;
  gQVRunMode = 2;
  if (henvList == nullptr) {
    uint32_t err = 0;
    if (RDA_cliDuvikInit(&err, RDA_CLI_MODE_FIRST) == 0) {
      char name[kRdaErrorNameSize] = "";
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocEnv: can't initialize the Duvik RDA stack, err=%s\n",
               rda_printError(err, name));
      return RDA_CLI_ERROR;
    }
    RDA_cliRingInit(&gHenvRing);
    henvList = &gHenvRing;
  }

  auto* env = static_cast<RDA_CliHENV*>(_xm_allocItemWithTree(sizeof(RDA_CliHENV), XM_ZERO));
  if (env != nullptr) {
    env->tag = RDA_CLI_TAG_HENV;
    env->tree = xm_getParentOfItem(env);
    if (RDA_cliLinkBlock(env) == 0) {
      _xm_freeTree(env->tree);
      env = nullptr;
    }
  }
  if (env == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocEnv: can't crate RDA_CliHENV\n");
    if (henvList->count == 0) {
      henvList = nullptr;
      RDA_cliDuvikTerm(RDA_CLI_MODE_FIRST);
    }
    return RDA_CLI_ERROR;
  }
  const RdaCliConfInfo* conf = QvGetRdaCliConfInfo();
  env->fetchSize = conf != nullptr ? conf->fetchBlockSize : 0;
  RDA_cliRingInit(&env->conns);
  RDA_cliInitErrorList(&env->errors);
  al_selfLink(&env->tmpl);
  RDA_cliRingAppend(henvList, &env->links);
  if (out != nullptr) *out = env;

  env->user = RDA_cliGetUser(henvList->count);
  if (env->user == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocEnv: can't find address for this activation\n");
    RDA_cliAddError(&env->errors, RDA_CLI_ROW_NO_ERROR, kNoUserForActivation, nullptr, env->tree);
    return RDA_CLI_ERROR;
  }
  env->tmpl.ue = env;
  env->tmpl.pe = env->tmpl.uc = env->tmpl.pc = nullptr;
  GIDU* act = rda_createActivateReq(&env->tmpl, env->user, kRdaRoleClient);
  if (act == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocEnv: can't create Activate request\n");
    releaseEnv(env);
    if (out != nullptr) *out = nullptr;
    return RDA_CLI_ERROR;
  }
  RDA_cliSendEvent(act, RDA_CLI_SEND_WAIT);
  if ((env->flags & RDA_CLI_ENV_ACTIVATED) != 0) return RDA_CLI_SUCCESS;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocEnv: activation failed\n");
  return RDA_CLI_ERROR;
}

int32_t rda_cliFreeEnv(RDA_CliHENV* env) {
  QvGlobalLock lock;
  if (!RDA_cliIsLiveBlock(env, RDA_CLI_TAG_HENV)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliFreeEnv: invalid environment handle %lx\n",
             reinterpret_cast<unsigned long>(env));
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&env->errors);
  if (env->conns.count > 0) {
    char text[96];
    std::snprintf(text, sizeof text, "%d connection handles still exist under this environment handle",
                  static_cast<int>(env->conns.count));
    addIndex(&env->errors, RDA_CLI_ROW_SEQUENCE, text, env->tree);
    return RDA_CLI_ERROR;
  }
  if ((env->flags & RDA_CLI_ENV_ACTIVATED) != 0) {
    GIDU* deact = rda_createDeactivateReq(&env->tmpl);
    if (deact == nullptr) {
      addIndex(&env->errors, RDA_CLI_ROW_NO_MEMORY, nullptr, env->tree);
      return RDA_CLI_ERROR;
    }
    RDA_cliSendEvent(deact, RDA_CLI_SEND_WAIT);
    if ((env->flags & RDA_CLI_ENV_ACTIVATED) != 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliFreeEnv: Deactivate request failed\n");
      return RDA_CLI_ERROR;
    }
  }
  releaseEnv(env);
  return RDA_CLI_SUCCESS;
}

// ---------------------------------------------------------------------------
// Connection

int32_t rda_cliAllocConnect(RDA_CliHENV* env, RDA_CliHDBC** out) {
  if (out != nullptr) *out = nullptr;
  if (!RDA_cliIsLiveBlock(env, RDA_CLI_TAG_HENV)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocConnect: invalid environment handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&env->errors);
  XmTree* tree = nullptr;
  {
    // The environment's tree is shared by the connections of every thread.
    QvCheckedLock lock(hSerializeRdaCliMutex);
    tree = _xm_allocTree(env->tree);
  }
  auto* conn = tree != nullptr ? static_cast<RDA_CliHDBC*>(_xm_allocItem(tree, sizeof(RDA_CliHDBC), XM_ZERO)) : nullptr;
  auto fail = [&](const char* line) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "%s", line);
    if (tree != nullptr) {
      QvCheckedLock lock(hSerializeRdaCliMutex);
      _xm_freeTree(tree);
    }
    addIndex(&env->errors, RDA_CLI_ROW_NO_MEMORY, nullptr, env->tree);
    return RDA_CLI_ERROR;
  };
  if (conn == nullptr) return fail("*** rda_cliAllocConnect: can't create connection handle\n");
  conn->tag = RDA_CLI_TAG_HDBC;
  conn->tree = tree;
  conn->env = env;
  conn->fetchSize = env->fetchSize;
  conn->decimalPoint = '.';
  conn->maxRowsSupport = 1;
  conn->stmtOptionsSupport = 3;
  conn->alwaysUseCursor = 1;
  conn->tmpl = rda_createTemplateGidu(env, conn, env->tmpl.pe, nullptr);
  if (conn->tmpl == nullptr) return fail("*** rda_cliAllocConn: can't build template gidu\n");
  // The template dies with the connection.
  _xm_moveTree(tree, xm_getParentOfItem(conn->tmpl));
  al_selfLink(conn->tmpl);
  RDA_cliRingInit(&conn->stmts);
  RDA_cliInitErrorList(&conn->errors);
  if (RDA_cliLinkBlock(conn) == 0) return fail("*** rda_cliAllocConnect: can't create connection handle\n");
  {
    QvCheckedLock lock(hSerializeRdaCliMutex);
    conn->opId = static_cast<uint32_t>(gOpIdSeed);
    gOpIdSeed += kOpIdStep;
    RDA_cliRingAppend(&env->conns, &conn->links);
  }
  if (out != nullptr) *out = conn;
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliFreeConnect(RDA_CliHDBC* conn) {
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliFreeConnect: invalid connection handle %lx\n",
             reinterpret_cast<unsigned long>(conn));
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&conn->errors);
  if ((conn->state & RDA_CLI_ST_ASSOCIATED) != 0) {
    addIndex(&conn->errors, RDA_CLI_ROW_SEQUENCE, "Connection has not been released", conn->tree);
    return RDA_CLI_ERROR;
  }
  if (conn->stmts.count > 0) {
    char text[96];
    std::snprintf(text, sizeof text, " %d statement handles still exist under this connection handle",
                  static_cast<int>(conn->stmts.count));
    addIndex(&conn->errors, RDA_CLI_ROW_SEQUENCE, text, conn->tree);
    return RDA_CLI_ERROR;
  }
  RDA_CliHENV* env = conn->env;
  conn->tag = ~RDA_CLI_TAG_HDBC;
  RDA_cliUnlinkBlock(conn);
  QvCheckedLock lock(hSerializeRdaCliMutex);
  RDA_cliRingRemove(&env->conns, &conn->links);
  if (conn->tmpl != nullptr) {
    // What is still queued is delivered to no one.
    RDA_cliPurgeEventQueue(conn->tmpl);
    al_deleteGidu(conn->tmpl);
  }
  _xm_freeTree(conn->tree);
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliPurgeEnvQueue(RDA_CliHDBC* conn) {
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC) || conn->env == nullptr) return 0;
  QvCheckedLock lock(hSerializeRdaCliMutex);
  RDA_cliPurgeEventQueue(&conn->env->tmpl);
  return 0;
}

// ---------------------------------------------------------------------------
// Statement

int32_t rda_cliAllocStmt(RDA_CliHDBC* conn, RDA_CliHSTMT** out) {
  if (out != nullptr) *out = nullptr;
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocStmt: invalid connection handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&conn->errors);
  if ((conn->state & RDA_CLI_ST_ASSOCIATED) == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocStmt: connection is not opened\n");
    addIndex(&conn->errors, RDA_CLI_ROW_NO_CONNECTION, nullptr, conn->tree);
    return RDA_CLI_ERROR;
  }
  XmTree* tree = _xm_allocTree(conn->tree);
  auto* stmt = tree != nullptr ? static_cast<RDA_CliHSTMT*>(_xm_allocItem(tree, sizeof(RDA_CliHSTMT), XM_ZERO)) : nullptr;
  if (stmt != nullptr) {
    stmt->tag = RDA_CLI_TAG_HSTMT;
    if (RDA_cliLinkBlock(stmt) == 0) stmt = nullptr;
  }
  if (stmt == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliAllocStmt: can't create new statement handle\n");
    _xm_freeTree(tree);
    addIndex(&conn->errors, RDA_CLI_ROW_NO_MEMORY, nullptr, conn->tree);
    return RDA_CLI_ERROR;
  }
  stmt->tree = tree;
  stmt->conn = conn;
  stmt->opId = ++conn->opId;
  RDA_cliRingInit(&stmt->params);
  RDA_cliRingInit(&stmt->cols);
  RDA_cliRingInit(&stmt->paramDescs);
  RDA_cliInitErrorList(&stmt->errors);
  stmt->fetchState = 1;
  stmt->fetchSize = conn->fetchSize;
  stmt->maxRows = conn->maxRows;
  stmt->queryTimeOut = conn->queryTimeOut;
  stmt->optionFlags = (conn->stmtOptionsSupport & RDA_CLI_STMT_OPTIONS_SUPPORT) | RDA_CLI_STMT_OPT32;
  RDA_cliRingAppend(&conn->stmts, &stmt->links);
  if (out != nullptr) *out = stmt;
  return RDA_CLI_SUCCESS;
}

void RDA_cliFreeRecords(RdaCliRing* ring) {
  if (ring->head.next == nullptr) {
    RDA_cliRingInit(ring);
    return;
  }
  while (ring->head.next != &ring->head) {
    RdaCliLink* l = ring->head.next;
    RDA_cliRingRemove(ring, l);
    _xm_freeItem(l);
  }
  ring->count = 0;
}

void RDA_cliDropStmt(RDA_CliHSTMT* stmt) {
  RDA_cliRingRemove(&stmt->conn->stmts, &stmt->links);
  stmt->tag = ~RDA_CLI_TAG_HSTMT;
  RDA_cliUnlinkBlock(stmt);
  _xm_freeTree(stmt->tree);
}

int32_t rda_cliFreeStmt(RDA_CliHSTMT* stmt, int16_t option) {
  if (!RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliFreeStmt: invalid statement handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&stmt->errors);
  const bool open = (stmt->state & RDA_CLI_STMT_CURSOR_OPEN) != 0;
  switch (option) {
    case 0:
      return open && RDA_cliCloseCursor(stmt) == 0 ? RDA_CLI_ERROR : RDA_CLI_SUCCESS;
    case 1:
      if (open && RDA_cliCloseCursor(stmt) == 0) return RDA_CLI_ERROR;
      if ((stmt->state & RDA_CLI_STMT_PREPARED) != 0 && RDA_cliReleaseSQL(stmt) == 0) return RDA_CLI_ERROR;
      RDA_cliDropStmt(stmt);
      return RDA_CLI_SUCCESS;
    case 2:
      if (open) {
        // The records and their received values stay for the open cursor.
        for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next)
          blockOf<RDA_CliCol>(l)->flags &= ~RDA_CLI_COL_BOUND;
      } else {
        RDA_cliFreeCols(stmt);
      }
      return RDA_CLI_SUCCESS;
    case 3:
      RDA_cliFreeRecords(&stmt->params);
      stmt->returnValues = 0;
      return RDA_CLI_SUCCESS;
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "SQLFreeStmt fOption %d is invalid", static_cast<int>(option));
      addIndex(&stmt->errors, RDA_CLI_ROW_INVALID_ARGUMENT, text, stmt->tree);
      return RDA_CLI_ERROR;
    }
  }
}

RDA_CliHSTMT* RDA_cliGetStmtHndl(RDA_CliHDBC* conn, uint32_t opId) {
  if (conn == nullptr || conn->stmts.head.next == nullptr) return nullptr;
  for (RdaCliLink* l = conn->stmts.head.next; l != &conn->stmts.head; l = l->next)
    if (blockOf<RDA_CliHSTMT>(l)->opId == opId) return blockOf<RDA_CliHSTMT>(l);
  return nullptr;
}

// ---------------------------------------------------------------------------
// Connection options

int32_t rda_cliSetConnectOption(RDA_CliHDBC* conn, int32_t option, uint32_t value) {
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) return RDA_CLI_SUCCESS;
  switch (option) {
    case RDA_CLI_CONN_OPT_QUERY_TIMEOUT:
      conn->queryTimeOut = value;
      break;
    case RDA_CLI_CONN_OPT_MAX_ROWS:
      conn->maxRows = value;
      break;
    case RDA_CLI_CONN_OPT_AUTOCOMMIT:
      if (value != 0) conn->optionFlags |= RDA_CLI_CONN_AUTOCOMMIT;
      else conn->optionFlags &= ~RDA_CLI_CONN_AUTOCOMMIT;
      break;
    case RDA_CLI_CONN_OPT_1000:
      conn->option1000 = value;
      break;
    case RDA_CLI_CONN_OPT_1001:
      if (value == 1) conn->optionFlags |= RDA_CLI_CONN_OPT1001;
      else conn->optionFlags &= ~RDA_CLI_CONN_OPT1001;
      break;
    default:
      break;
  }
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliGetConnectOption(RDA_CliHDBC* conn, int32_t option, uint32_t* value) {
  if (!RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC) || value == nullptr) return RDA_CLI_SUCCESS;
  switch (option) {
    case RDA_CLI_CONN_OPT_QUERY_TIMEOUT:
      *value = conn->queryTimeOut;
      break;
    case RDA_CLI_CONN_OPT_MAX_ROWS:
      *value = conn->maxRows;
      break;
    case RDA_CLI_CONN_OPT_ASSOCIATED:
      *value = conn->state & RDA_CLI_ST_ASSOCIATED;
      break;
    default:
      break;
  }
  return RDA_CLI_SUCCESS;
}

namespace {
// The setters of one field each: the value is stored as given.
template <class T, T RDA_CliHDBC::*Field>
int32_t setField(RDA_CliHDBC* conn, T value) {
  if (RDA_cliIsLiveBlock(conn, RDA_CLI_TAG_HDBC)) conn->*Field = value;
  return RDA_CLI_SUCCESS;
}
}  // namespace

int32_t rda_cliSetDecimalPointOption(RDA_CliHDBC* conn, char value) {
  return setField<char, &RDA_CliHDBC::decimalPoint>(conn, value);
}
int32_t rda_cliSetMaxRowsOption(RDA_CliHDBC* conn, uint32_t value) {
  return setField<uint32_t, &RDA_CliHDBC::maxRowsSupport>(conn, value);
}
int32_t rda_cliSetStmtOptionsSupport(RDA_CliHDBC* conn, uint32_t value) {
  return setField<uint32_t, &RDA_CliHDBC::stmtOptionsSupport>(conn, value);
}
int32_t rda_cliSetConnOptionAlwaysUseCursor(RDA_CliHDBC* conn, uint32_t value) {
  return setField<uint32_t, &RDA_CliHDBC::alwaysUseCursor>(conn, value);
}
int32_t rda_cliSetProductType(RDA_CliHDBC* conn, uint32_t value) {
  return setField<uint32_t, &RDA_CliHDBC::productType>(conn, value);
}
int32_t rda_cliSetMapDefaultWcharAsChar(RDA_CliHDBC* conn, uint32_t value) {
  return setField<uint32_t, &RDA_CliHDBC::mapDefaultWcharAsChar>(conn, value);
}
