#include "src/rdaclient/rdacli_confirm.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "src/asn1/rda_requests.h"
#include "src/asn1/rda_services.h"
#include "src/rda/rda_erridu.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_result.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"

namespace {

constexpr const char* kSrc = "src/rdacli_confirm";

constexpr char kServerRole[] = "KVO_RDA_SERVER";
constexpr size_t kRoleLength = sizeof kServerRole - 1;  // 14
// The level word follows the role and its comma.
constexpr size_t kRoleField = kRoleLength + 1;
// Longest answer looked at: its first field is all that is read.
constexpr size_t kAnswerMax = 256;

constexpr uint32_t kLevelMask = 7;
constexpr long kStringNumerics = 0x40;  // bit 6 of the level word

constexpr const char* kCheckOption = "WITH CHECK OPTION violation";
constexpr const char* kIncompatible = "Syntax error or access violation. Client is not compatible with Server";

constexpr size_t kSqlStateLength = 5;

void beginNext(RDA_CliHDBC* conn) {
  if (RDA_cliBgnTransOnConnection(conn) == 0)
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "Commit on connection failed.\n");
}

}  // namespace

void procInitCnf(RDA_CliHDBC* conn, void* member, GIDU*) {
  conn->state |= RDA_CLI_ST_DIALOGUE;
  conn->optLevel = 0;
  conn->numericFormat = 1;
  const auto* rc = static_cast<const RDAInit_RC*>(member);
  const RDAInit_Result& r = rc->result;
  if ((r.mask & (1u << 2)) == 0 || (r.sql.mask & 1u) == 0 || r.sql.userData.octets == nullptr) return;
  const OctStgV& data = r.sql.userData;
  // An answer shorter than the role, its comma and a level carries no
  // level: it counts as none.
  if (data.length <= kRoleField || std::memcmp(data.octets, kServerRole, kRoleLength) != 0) return;
  char answer[kAnswerMax];
  const size_t rest = data.length - kRoleField < sizeof answer - 1 ? data.length - kRoleField : sizeof answer - 1;
  std::memcpy(answer, data.octets + kRoleField, rest);
  answer[rest] = '\0';
  if (char* comma = std::strchr(answer, ',')) *comma = '\0';
  const long word = std::strtol(answer, nullptr, 10);
  const auto serverLevel = static_cast<uint32_t>(word) & kLevelMask;
  const bool strings = (word & kStringNumerics) != 0;
  const auto clientLevel = static_cast<uint32_t>(giRdaStmtOptimizeLevel) & kLevelMask;
  TM_TRACE(rda_cliTMHandle, 16, kSrc, "Optimization: client level=%d, server level=%d\n", static_cast<int>(clientLevel),
           static_cast<int>(serverLevel));
  if (clientLevel == 0 || serverLevel == 0) return;
  if (serverLevel > clientLevel) {
    // A server must not answer above the level asked for: none is used.
    TM_TRACE(rda_cliTMHandle, 2, kSrc,
             "KVO RDA client requests RDA statement optimization level (%d), KVO RDA must not reply the high level "
             "optimization (%d)\n",
             static_cast<int>(clientLevel), static_cast<int>(serverLevel));
  } else {
    conn->optLevel = serverLevel;
    TM_TRACE(rda_cliTMHandle, 16, kSrc, "Optimize: Negotiated level = %d\n", static_cast<int>(serverLevel));
  }
  if (!strings) {
    conn->numericFormat = 0;
    TM_TRACE(rda_cliTMHandle, 16, kSrc, "Numeric Format: 8 Byte Integer\n");
  } else {
    TM_TRACE(rda_cliTMHandle, 16, kSrc, "Numeric Format: String\n");
  }
}

void procTermCnf(RDA_CliHDBC* conn, void*, GIDU*) { conn->state &= ~RDA_CLI_ST_DIALOGUE; }

void procOpenCnf(RDA_CliHDBC* conn, void*, GIDU*) { conn->state |= RDA_CLI_ST_RESOURCE_OPEN; }

void procCloseCnf(RDA_CliHDBC* conn, void*, GIDU*) { conn->state &= ~RDA_CLI_ST_RESOURCE_OPEN; }

void cleanUpTrans(RDA_CliHDBC* conn) {
  TM_TRACE(rda_cliTMHandle, 128, kSrc, "cleanUpTrans() called\n");
  conn->state &= ~RDA_CLI_ST_TRANSACTION;
}

void procBgnTransEcnf(RDA_CliHDBC* conn, void* member, GIDU* gidu) {
  cleanUpTrans(conn);
  procEcnf(conn, member, gidu);
}

void procCommitCnf(RDA_CliHDBC* conn, void* member, GIDU*) {
  TM_TRACE(rda_cliTMHandle, 16, kSrc, "Commit confirmation processed\n");
  cleanUpTrans(conn);
  beginNext(conn);
  const auto* rc = static_cast<const RDAXOPENCommit_RC*>(member);
  if (rc->result.value == 0) return;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** procComitCnf: SQL_COMMIT caused a rollback. Error = %d\n",
           static_cast<int>(rc->result.value));
  // The transaction was rolled back: the caller of the commit reads the
  // mark as it reads a rollback's.
  conn->state |= RDA_CLI_ST_ROLLED_BACK;
  RDA_cliAddErrorUtf8(&conn->errors, RDA_CLI_ROW_ROLLBACK, rc->result.value,
                      (rc->result.mask & 1u) != 0 ? rc->result.text : nullptr, conn->tree);
}

void procRollbackCnf(RDA_CliHDBC* conn, void*, GIDU*) {
  TM_TRACE(rda_cliTMHandle, 16, kSrc, "Rollback confirmation processed\n");
  conn->state |= RDA_CLI_ST_ROLLED_BACK;
  cleanUpTrans(conn);
  if ((conn->state & RDA_CLI_ST_DISCONNECTING) == 0) beginNext(conn);
}

void procExecDBLCnf(RDA_CliHDBC* conn, void* member, GIDU*) {
  const auto* rc = static_cast<const RDAExecDBL_RC*>(member);
  RDA_CliHSTMT* stmt = RDA_cliGetStmtHndl(conn, static_cast<uint32_t>(rc->opId));
  if (stmt == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc,
             "*** procExecDBLCnf: there is no outstanding request for the R-ExecuteDBL confirm\n");
    return;
  }
  stmt->state |= RDA_CLI_STMT_CONFIRMED;
  const RDAExecDBL_Result& r = rc->result;
  if ((r.mask & 1u) != 0) {
    if (updateColSpec(stmt, &r.resultSpecs) == 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** procExecDBLCnf: can't update column list\n");
      RDA_cliClearResult(stmt);
      return;
    }
    if ((stmt->state & RDA_CLI_STMT_PREPARED) == 0 && updateParamSpec(stmt, &r.resultSpecs) == 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** procExecDBLCnf: can't update parameter list\n");
      RDA_cliClearResult(stmt);
      return;
    }
  }
  if ((r.mask & 2u) != 0 && updateColVal(stmt, &r.rows) == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** procExecDBLCnf: can't update column values\n");
    RDA_cliClearResult(stmt);
  }
}

int32_t copyDBLExcp(const RDAXOPENResultVals* row, RDA_CliHSTMT* stmt) {
  const RDAXOPENSQLDBLExcp* e = row != nullptr ? row->exception : nullptr;
  const bool main = e != nullptr && (e->mask & 1u) != 0 && e->sqlState != nullptr;
  if (main && std::strncmp(e->sqlState, "00000", kSqlStateLength) != 0) {
    RDA_cliAddSQLStateUtf8(&stmt->errors, e->sqlState, (e->mask & 2u) != 0 ? e->code : 0,
                           (e->mask & 4u) != 0 ? e->errText : nullptr, stmt->tree);
  } else {
    stmt->resultKind = RDA_CLI_RESULT_ROWCOUNT;
    stmt->rowCount = 1;
  }
  if (e == nullptr || (e->mask & 8u) == 0) return 1;
  const RDAXOPENSQLDiag& diag = e->diag;
  if (diag.exceptions.links.next != nullptr) {
    for (const UL_Link* l = diag.exceptions.links.next; l != &diag.exceptions.links; l = l->next) {
      const RDAXOPENExcpInfo& x = reinterpret_cast<const RDAExcpNode*>(l)->info;
      const char* state = x.returnedSQLState;
      if (state == nullptr || std::strlen(state) != kSqlStateLength) {
        TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** copyDBLExcp: length of returnedSQLState is not %d\n",
                 static_cast<int>(kSqlStateLength));
        RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_ERROR, RDA_CLI_ERR_BAD_SQLSTATE, nullptr, stmt->tree);
        return 0;
      }
      if (std::strcmp(state, "00000") == 0) continue;
      const char* message = (x.mask & (1u << 3)) != 0 ? x.messageText : nullptr;
      if (std::strcmp(state, "44000") == 0 && message != nullptr && strcasecmp(message, kCheckOption) == 0) {
        state = "42000";
        message = kIncompatible;
      }
      RDA_cliAddSQLStateUtf8(&stmt->errors, state, 0, message, stmt->tree);
    }
  }
  if ((diag.mask & 1u) != 0) {
    stmt->resultKind = RDA_CLI_RESULT_ROWCOUNT;
    stmt->rowCount = static_cast<uint32_t>(diag.number);
  }
  return 1;
}
