#include "src/rdaclient/rdacli_event.h"

#include <climits>
#include <cstdio>

#include "common/qvclock.h"
#include "common/qvthread.h"
#include "src/acse/acpm.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/ai_rcv.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_perror.h"
#include "src/rda/rda_sur.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/rdacli_event";

constexpr const char* kRefusedText = "Server is down or running on a different port or Incorrect IP Address";

// Consecutive failed passes of the stack's loop that end a wait.
constexpr int32_t kFailedPassesEnd = 2;

// The outcome word of a response that carries the result alternative.
constexpr uint32_t kResultOutcome = 0x4000;

const AcseApdu* apduOf(const GIDU* g) { return static_cast<const AcseApdu*>(g->idu); }

// A failure of the stack: two diagnostics of the stack-error row, the
// second of which names the error.
void stackError(RDA_CliErrorList* list, uint32_t errNo, XmTree* tree) {
  char name[kRdaErrorNameSize] = "";
  RDA_cliAddError(list, RDA_CLI_ROW_STACK_ERROR, static_cast<int32_t>(errNo), nullptr, tree);
  RDA_cliAddError(list, RDA_CLI_ROW_STACK_ERROR, static_cast<int32_t>(errNo), rda_printError(errNo, name), tree);
}

RDA_CliHDBC* connectionOf(const GIDU* g) { return RDA_cliBlock(static_cast<RDA_CliHDBC*>(g->uc), RDA_CLI_TAG_HDBC); }

// Leaves `gidu` as the only GIDU of `queue`: an answer not yet taken is
// superseded by the later one.
void replaceQueued(GIDU* queue, GIDU* gidu) {
  RDA_cliPurgeEventQueue(queue);
  al_queueAppend(queue, gidu);
}

void queueOnEnvironment(RDA_CliHENV* env, GIDU* gidu) {
  QvCheckedLock lock(hSerializeRdaCliMutex);
  TM_TRACE(rda_cliTMHandle, 64, kSrc, "cliRcv(): Environment event queue is used\n");
  replaceQueued(&env->tmpl, gidu);
}

// The association is gone: the connection forgets it, and the abort goes to
// the environment's queue, which outlives the connection's template. A
// caller waiting on the connection stops waiting.
void connectionLost(RDA_CliHENV* env, RDA_CliHDBC* conn, GIDU* gidu) {
  if (conn != nullptr) {
    conn->state = 0;
    if (conn->tmpl != nullptr) conn->tmpl->pc = nullptr;
    RDA_cliAddError(&conn->errors, RDA_CLI_ROW_CONNECTION_LOST, 0, nullptr, conn->tree);
    conn->abortSeen = 1;
  }
  queueOnEnvironment(env, gidu);
}

void associationConfirm(RDA_CliHDBC* conn, GIDU* gidu) {
  const AcseApdu* apdu = apduOf(gidu);
  if (apdu != nullptr && apdu->code == AC_APDU_AARE && apdu->aare.result == AC_RESULT_ACCEPTED) {
    conn->state = RDA_CLI_ST_ASSOCIATED;
    if (conn->tmpl != nullptr) conn->tmpl->pc = gidu->pc;
    return;
  }
  uint32_t row = RDA_CLI_ROW_ASSOC_REFUSED;
  uint32_t native = 0;
  if (apdu != nullptr && apdu->code == AC_APDU_AARE &&
      (apdu->aare.resultSource == AC_SOURCE_USER || apdu->aare.resultSource == AC_SOURCE_PROVIDER)) {
    native = apdu->aare.diagnostic;
    if (native == 1) row = RDA_CLI_ROW_ASSOC_REFUSED_BY_USER;
  }
  RDA_cliAddError(&conn->errors, row, static_cast<int32_t>(native), kRefusedText, conn->tree);
  if (row == RDA_CLI_ROW_ASSOC_REFUSED)
    if (const char* name = acse_printUserError(native))
      RDA_cliAddError(&conn->errors, RDA_CLI_ROW_ASSOC_REFUSED, static_cast<int32_t>(native), name, conn->tree);
}

// The response time-out of the calling thread's client configuration, else
// of the configuration file; seconds.
int32_t responseTimeOut() {
  const RdaCliConfInfo* conf = QvGetRdaCliConfInfo();
  const uint32_t seconds =
      conf != nullptr ? conf->rspTimeOut
                      : static_cast<uint32_t>(qv_getInfo(QV_INFO_RESPONSE_TIME_OUT, 0, nullptr, 0, rda_cliTMHandle));
  return seconds > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(seconds);
}

}  // namespace

const std::array<const char*, kRdaCliInvSeqStates> RDA_cliInvSeqMsg = {
    "RDA dialogue not active", "RDA dialogue initializing", "RDA dialogue already active",
    "RDA transaction not open", "RDA transaction open",      "RDA transaction terminating",
    "RDA dialogue terminating",
};

const char* rda_cliInvSeqText(uint32_t state) {
  return state >= 1 && state <= kRdaCliInvSeqStates ? RDA_cliInvSeqMsg[state - 1] : nullptr;
}

const std::array<RdaConfirmFn, kRdaConfirmSlots> rdaConfirm = {
    procInitCnf,      procEcnf,      nullptr,         procTermCnf,    procEcnf, nullptr,  procBgnTransEcnf,
    procCommitCnf,    procEcnf,      procRollbackCnf, nullptr,        procEcnf, nullptr,  procEcnf,
    nullptr,          procOpenCnf,   procEcnf,        procCloseCnf,   procEcnf, procExecDBLCnf,
    procEcnf,         nullptr,       nullptr,         nullptr,        nullptr,  nullptr,  nullptr,
};

const std::array<uint32_t, kRdaCliErrorMap> cliError = {
    0,  30, 31, 32, 33, 0,  34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45,
    46, 47, 48, 0,  49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 0,  59, 60,
};

uint32_t rda_cliErrorRow(uint32_t number) {
  if (number >= 1 && number <= 24) return cliError[number];
  if (number >= 100 && number <= 109) return cliError[number - 75];
  return RDA_CLI_ROW_STACK_ERROR;
}

bool rda_cliConfirmSlot(GIDU* gidu, uint32_t* slot, void** member) {
  if (gidu == nullptr || gidu->idu == nullptr) return false;
  RdaRcFields f{};
  if (!rda_rcFields(gidu->idu, RdaFamily::Xopen, &f)) return false;
  const uint32_t tag = rda_getRdaEventTag(gidu->event) - 0x4000;
  // The R-BeginTransaction error has no outcome word: its slot is its tag.
  *slot = f.outcome == nullptr || *f.outcome != kResultOutcome ? tag : tag - 1;
  *member = &static_cast<RDAXOPENIdu*>(gidu->idu)->init_RC;
  return true;
}

void RDA_cliPurgeEventQueue(GIDU* queue) {
  while (GIDU* g = al_queueTake(queue)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "RDA_cliPurgeEventQueue() Removing GIDU(idu_type=%d, event_type=%d) from Queue\n",
             static_cast<int>(g->iduType), static_cast<int>(g->event));
    al_deleteGidu(g);
  }
}

void procEcnf(RDA_CliHDBC* conn, void* member, GIDU* gidu) {
  RDA_CliErrorList* list = &conn->errors;
  XmTree* tree = conn->tree;
  if ((gidu->event & (AL_EV_CODE_MASK | AL_EV_PRIMITIVE)) == RDA_EXECDBL_ECNF) {
    const auto* rc = static_cast<const RDAExecDBL_RC*>(member);
    RDA_CliHSTMT* stmt = RDA_cliGetStmtHndl(conn, static_cast<uint32_t>(rc->opId));
    if (stmt == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** procEcnf: can't find statement handle, opID %d\n",
               static_cast<int>(rc->opId));
      return;
    }
    list = &stmt->errors;
    tree = stmt->tree;
    conn = stmt->conn;
  }
  const uint32_t n = rda_getSQLErr(gidu);
  if (n == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** procEcnf: can't get value for RDA error\n");
    return;
  }
  const uint32_t row = rda_cliErrorRow(n);
  if (row == RDA_CLI_ROW_STACK_ERROR) {
    // A number the map has no row for.
    RDA_cliAddError(list, row, static_cast<int32_t>(n), nullptr, tree);
    return;
  }
  const RDAErr* err = rda_rcError(gidu->idu, RdaFamily::Xopen);
  char text[256];
  const char* t = nullptr;
  switch (n) {
    case RDA_GENERR_DATA_RSRC_NOT_AVAIL:
    case RDA_GENERR_OP_ABORTED:
      if (err != nullptr && (err->diag.mask & 2u) != 0) t = err->diag.text;
      break;
    case RDA_GENERR_DATA_RSRC_OPEN:
      if (err != nullptr) {
        std::snprintf(text, sizeof text, "data resource %d is already opened", static_cast<int>(err->alreadyOpen.handle));
        t = text;
      }
      break;
    case 11: {
      const char* name = conn->server != nullptr && conn->server->rsrcName != nullptr ? conn->server->rsrcName : "";
      std::snprintf(text, sizeof text, "Database Name:%s is not valid on Server.", name);
      t = text;
      break;
    }
    case RDA_GENERR_INV_SEQUENCE:
      if (err != nullptr && (err->invSequence.mask & 1u) != 0)
        t = rda_cliInvSeqText(static_cast<uint32_t>(err->invSequence.value));
      break;
    case 23:
      conn->state |= RDA_CLI_ST_ROLLED_BACK;
      break;
    default:
      break;
  }
  RDA_cliAddErrorUtf8(list, row, 0, t, tree);
}

void cliRcv(GIDU* gidu) {
  if (gidu == nullptr) return;
  AL_TRACE_GIDU(rda_cliTMHandle, 128, kSrc, "cliRcv", gidu, 1);
  auto* env = RDA_cliBlock(static_cast<RDA_CliHENV*>(gidu->ue), RDA_CLI_TAG_HENV);
  if (env == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** cliRcv: invalid environment handle\n");
    al_deleteGidu(gidu);
    return;
  }
  RDA_CliHDBC* conn = connectionOf(gidu);

  if (!al_isPrimitive(gidu->event)) {
    switch (gidu->event) {
      case AL_ACT_CNF:
        if (gidu->errNo == 0) {
          env->flags |= RDA_CLI_ENV_ACTIVATED;
          env->tmpl.pe = gidu->pe;
        } else {
          stackError(&env->errors, gidu->errNo, env->tree);
        }
        break;
      case AL_DEACT_CNF:
        if (gidu->errNo == 0) {
          env->flags &= ~RDA_CLI_ENV_ACTIVATED;
          env->tmpl.pe = nullptr;
        } else {
          stackError(&env->errors, gidu->errNo, env->tree);
        }
        break;
      case AL_QABORT:
        connectionLost(env, conn, gidu);
        return;
      case AL_LOCERR_IND:
        if (gidu->errNo != 0) {
          if (conn != nullptr) stackError(&conn->errors, gidu->errNo, conn->tree);
          else stackError(&env->errors, gidu->errNo, env->tree);
        }
        break;
      default:
        break;
    }
  } else if (conn == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** cliRcv: invalid connection handle\n");
  } else if (gidu->iduType == AL_IDU_RDA) {
    uint32_t slot = 0;
    void* member = nullptr;
    if (rda_cliConfirmSlot(gidu, &slot, &member) && slot < kRdaConfirmSlots && rdaConfirm[slot] != nullptr)
      rdaConfirm[slot](conn, member, gidu);
  } else if (gidu->iduType == AL_IDU_ACSE) {
    const AcseApdu* apdu = apduOf(gidu);
    switch (gidu->event) {
      case AL_A_ASSOC_CNF:
        associationConfirm(conn, gidu);
        break;
      case AL_A_RELEASE_CNF:
        if (apdu != nullptr && apdu->code == AC_APDU_RLRE && apdu->rlre.releaseResult == 0) {
          conn->state = 0;
          if (conn->tmpl != nullptr) conn->tmpl->pc = nullptr;
        } else {
          RDA_cliAddError(&conn->errors, RDA_CLI_ROW_RELEASE_REFUSED, 0, nullptr, conn->tree);
        }
        break;
      case AL_A_ABORT_IND:
      case AL_A_PABORT_IND:
        connectionLost(env, conn, gidu);
        return;
      default:
        break;
    }
  }

  if (conn != nullptr && conn->tmpl != nullptr) {
    TM_TRACE(rda_cliTMHandle, 64, kSrc, "cliRcv(): Connection event queue is used\n");
    replaceQueued(conn->tmpl, gidu);
  } else {
    queueOnEnvironment(env, gidu);
  }
}

void RDA_cliSendEvent(GIDU* gidu, int32_t mode) {
  if (gidu == nullptr) return;
  // What the wait needs is read now: the GIDU belongs to the stack once sent.
  RDA_CliHENV* env = RDA_cliBlock(static_cast<RDA_CliHENV*>(gidu->ue), RDA_CLI_TAG_HENV);
  RDA_CliHDBC* conn = connectionOf(gidu);
  if (conn != nullptr) conn->abortSeen = 0;
  GIDU* queue = nullptr;
  if (mode == RDA_CLI_SEND_WAIT) {
    if (conn != nullptr && conn->tmpl != nullptr) {
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "RDA_cliSendEvent(): Connection event queue is used\n");
      queue = conn->tmpl;
    } else if (env != nullptr) {
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "RDA_cliSendEvent(): Environment event queue is used\n");
      queue = &env->tmpl;
    }
    // What is still queued arrived before this request: it is no answer to
    // it, and must not end the wait.
    if (queue != nullptr) {
      QvCheckedLock lock(hSerializeRdaCliMutex);
      RDA_cliPurgeEventQueue(queue);
    }
  }
  rda_surSnd(gidu, gidu->event == AL_ACT_REQ ? cliRcv : nullptr);
  if (queue == nullptr) return;
  // One pass of the stack at a time, so that an abort of this connection,
  // which goes to the environment's queue, ends the wait at once. A pass
  // that fails once may have met the end of another transport connection
  // of the instance (one just aborted, say): the wait gives up only when
  // the next pass fails too, as it does when nothing is left to watch.
  struct timeval start {};
  QvMonoTimeOfDay(&start);
  const int64_t deadline = QvDeadline(start.tv_sec, responseTimeOut());
  int32_t failedPasses = 0;
  for (;;) {
    int32_t status = 0;
    if (GIDU* got = ai_do_rcv(queue, 0, &status)) {
      al_deleteGidu(got);
      return;
    }
    failedPasses = status < 0 ? failedPasses + 1 : 0;
    if (failedPasses >= kFailedPassesEnd || (conn != nullptr && conn->abortSeen != 0)) return;
    struct timeval now {};
    QvMonoTimeOfDay(&now);
    if (now.tv_sec > deadline || (now.tv_sec == deadline && now.tv_usec >= start.tv_usec)) return;
  }
}
