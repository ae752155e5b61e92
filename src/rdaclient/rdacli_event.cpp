#include "src/rdaclient/rdacli_event.h"

#include <climits>

#include "common/qvthread.h"
#include "src/acse/ai_rcv.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_perror.h"
#include "src/rda/rda_sur.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/rdacli_event";

const AcseApdu* apduOf(const GIDU* g) {
  if (g->idu == nullptr) return nullptr;
  return static_cast<const AcseApdu*>(g->idu);
}

void addDiag(RDA_CliErrorList* list, uint32_t row, uint32_t native, XmTree* tree) {
  RDA_cliAddError(list, row, static_cast<int32_t>(native), nullptr, tree);
}

// A failure of the stack: two diagnostics of the stack-error row, the
// second of which names the error.
void stackError(RDA_CliErrorList* list, uint32_t errNo, XmTree* tree) {
  char name[kRdaErrorNameSize] = "";
  RDA_cliAddError(list, RDA_CLI_ROW_STACK_ERROR, static_cast<int32_t>(errNo), nullptr, tree);
  RDA_cliAddError(list, RDA_CLI_ROW_STACK_ERROR, static_cast<int32_t>(errNo), rda_printError(errNo, name), tree);
}

RDA_CliHDBC* connectionOf(const GIDU* g) {
  auto* c = static_cast<RDA_CliHDBC*>(g->uc);
  return c != nullptr && c->tag == RDA_CLI_TAG_HDBC ? c : nullptr;
}

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
// the environment's queue, which outlives the connection's template.
void connectionLost(RDA_CliHENV* env, RDA_CliHDBC* conn, GIDU* gidu) {
  if (conn != nullptr) {
    conn->state = 0;
    if (conn->tmpl != nullptr) conn->tmpl->pc = nullptr;
    addDiag(&conn->errors, RDA_CLI_ROW_CONNECTION_LOST, 0, conn->tree);
  }
  queueOnEnvironment(env, gidu);
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

void RDA_cliPurgeEventQueue(GIDU* queue) {
  while (GIDU* g = al_queueTake(queue)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "RDA_cliPurgeEventQueue() Removing GIDU(idu_type=%d, event_type=%d) from Queue\n",
             static_cast<int>(g->iduType), static_cast<int>(g->event));
    al_deleteGidu(g);
  }
}

void cliRcv(GIDU* gidu) {
  if (gidu == nullptr) return;
  AL_TRACE_GIDU(rda_cliTMHandle, 128, kSrc, "cliRcv", gidu, 1);
  auto* env = static_cast<RDA_CliHENV*>(gidu->ue);
  if (env == nullptr || env->tag != RDA_CLI_TAG_HENV) {
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
    const uint32_t number = rda_getSQLErr(gidu);
    if (number != 0) addDiag(&conn->errors, 0, number, conn->tree);
  } else if (gidu->iduType == AL_IDU_ACSE) {
    const AcseApdu* apdu = apduOf(gidu);
    switch (gidu->event) {
      case AL_A_ASSOC_CNF:
        if (apdu != nullptr && apdu->code == AC_APDU_AARE && apdu->aare.result == AC_RESULT_ACCEPTED) {
          conn->state = RDA_CLI_ST_ASSOCIATED;
          if (conn->tmpl != nullptr) conn->tmpl->pc = gidu->pc;
        } else {
          uint32_t row = RDA_CLI_ROW_ASSOC_REFUSED;
          uint32_t native = 0;
          if (apdu != nullptr && apdu->code == AC_APDU_AARE &&
              (apdu->aare.resultSource == AC_SOURCE_USER || apdu->aare.resultSource == AC_SOURCE_PROVIDER)) {
            native = apdu->aare.diagnostic;
            if (native == 1) row = RDA_CLI_ROW_ASSOC_REFUSED_BY_USER;
          }
          addDiag(&conn->errors, row, native, conn->tree);
        }
        break;
      case AL_A_RELEASE_CNF:
        if (apdu != nullptr && apdu->code == AC_APDU_RLRE && apdu->rlre.releaseResult == 0) {
          conn->state = 0;
          if (conn->tmpl != nullptr) conn->tmpl->pc = nullptr;
        } else {
          addDiag(&conn->errors, RDA_CLI_ROW_RELEASE_REFUSED, 0, conn->tree);
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

namespace {
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

void RDA_cliSendEvent(GIDU* gidu, int32_t mode) {
  if (gidu == nullptr) return;
  // What the wait needs is read now: the GIDU belongs to the stack once sent.
  auto* env = static_cast<RDA_CliHENV*>(gidu->ue);
  RDA_CliHDBC* conn = connectionOf(gidu);
  rda_surSnd(gidu, gidu->event == AL_ACT_REQ ? cliRcv : nullptr);
  if (mode != RDA_CLI_SEND_WAIT) return;
  GIDU* queue = nullptr;
  if (conn != nullptr && conn->tmpl != nullptr) {
    TM_TRACE(rda_cliTMHandle, 64, kSrc, "RDA_cliSendEvent(): Connection event queue is used\n");
    queue = conn->tmpl;
  } else if (env != nullptr && env->tag == RDA_CLI_TAG_HENV) {
    TM_TRACE(rda_cliTMHandle, 64, kSrc, "RDA_cliSendEvent(): Environment event queue is used\n");
    queue = &env->tmpl;
  }
  if (queue == nullptr) return;
  int32_t status = 0;
  al_deleteGidu(ai_do_rcv(queue, responseTimeOut(), &status));
}
