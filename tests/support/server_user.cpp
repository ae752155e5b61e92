#include "support/server_user.h"

#include "src/acse/acse_apdu.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rda/rda_sur.h"

namespace {

ServerUser* gServer = nullptr;  // the process's one server user

bool isRdaIndication(const GIDU* g) {
  return g->iduType == AL_IDU_RDA && al_isPrimitive(g->event) && g->idu != nullptr &&
         (g->event & 0x800F) == (0x8000 | AL_EV_DELIVERED);
}

}  // namespace

int32_t ServerCall::opId() const {
  // Every request record starts with the operation identifier.
  return isRdaIndication(ind) ? static_cast<const RDAIdu*>(ind->idu)->term_RI.opId : -1;
}

ServerUser::ServerUser(const std::string& iniFile, int32_t pollWait)
    : side_(StackSide::Role::Server, iniFile, pollWait) {}

ServerUser::~ServerUser() {
  for (GIDU* g : pending_) al_deleteGidu(g);
  if (gServer == this) gServer = nullptr;
}

void ServerUser::on(uint32_t iduType, uint32_t event, Handler handler) {
  handlers_[{iduType, event}] = std::move(handler);
}

const std::string& ServerUser::error() const { return side_.ok() ? error_ : side_.error(); }

bool ServerUser::start() {
  if (gServer != nullptr && gServer != this) {
    error_ = "a second server user in this process";
    return false;
  }
  if (!side_.ok() || side_.startRda() != 1) return false;
  gServer = this;
  if (!side_.activate(receive, &userRef_)) return false;
  // The Activate confirm comes back at once.
  if (pending_.size() != 1 || pending_[0]->event != AL_ACT_CNF || pending_[0]->errNo != 0) {
    error_ = "no Activate confirm";
    if (!pending_.empty())
      error_ += ": event " + std::to_string(pending_[0]->event) + ", error " + std::to_string(pending_[0]->errNo);
    return false;
  }
  dispatch(pending_[0]);
  pending_.clear();
  return true;
}

void ServerUser::receive(GIDU* gidu) {
  if (gServer == nullptr) {
    al_deleteGidu(gidu);
    return;
  }
  // Handled after the stack's pass returns, not inside its delivery.
  gServer->pending_.push_back(gidu);
}

bool ServerUser::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return side_.runUntil(
      [&] {
        while (!pending_.empty()) {
          GIDU* g = pending_.front();
          pending_.erase(pending_.begin());
          dispatch(g);
        }
        return done();
      },
      limit);
}

void ServerUser::dispatch(GIDU* gidu) {
  seen_.emplace_back(gidu->event, gidu->errNo);
  ServerAssoc* assoc = nullptr;
  if (gidu->pc != nullptr) {
    auto it = assocs_.find(gidu->pc);
    if (gidu->iduType == AL_IDU_ACSE && gidu->event == AL_A_ASSOC_IND) {
      // A new association, even where the block of one that ended unseen
      // has been used again.
      if (it != assocs_.end()) assocs_.erase(it);
      it = assocs_.emplace(gidu->pc, std::make_unique<ServerAssoc>()).first;
      it->second->acb = gidu->pc;
    }
    if (it != assocs_.end()) assoc = it->second.get();
  }
  if (assoc != nullptr && isRdaIndication(gidu)) ++assoc->indications;

  // Whatever came, the next one is asked for once it is answered (after the
  // Activate confirm too): until then the service user keeps it.
  GIDU* next = rda_createSurNextEventReq(gidu);
  const uint32_t event = gidu->event;
  void* const acb = gidu->pc;
  // ACSE events by their IDU type too: R-Rollback's codes are A-ABORT's.
  const bool acse = gidu->iduType == AL_IDU_ACSE;
  bool ends = (acse && (event == AL_A_ABORT_IND || event == AL_A_PABORT_IND)) ||
              (!al_isPrimitive(event) && event == AL_QABORT);
  ServerCall call{gidu, assoc};
  const auto h = handlers_.find({gidu->iduType, event});
  GIDU* answer = h != handlers_.end() ? h->second(call) : answerByDefault(call);
  if (answer != nullptr) {
    if (answer->iduType == AL_IDU_ACSE) {
      const auto* apdu = static_cast<const AcseApdu*>(answer->idu);
      if (answer->event == AL_A_ABORT_REQ) ends = true;
      if (answer->event == AL_A_RELEASE_RSP) ends = ends || (apdu != nullptr && apdu->rlre.releaseResult == 0);
      if (answer->event == AL_A_ASSOC_RSP) ends = ends || (apdu != nullptr && apdu->aare.result != AC_RESULT_ACCEPTED);
    }
    rda_surSnd(answer, nullptr);
  }
  // An association that has ended has no ACB any more: the request names
  // only the user.
  if (next != nullptr && ends) next->uc = next->pc = nullptr;
  if (next != nullptr) rda_surSnd(next, nullptr);
  if (!call.taken) al_deleteGidu(gidu);
  if (ends && acb != nullptr) end(acb);
}

GIDU* ServerUser::answerByDefault(ServerCall& call) {
  GIDU* g = call.ind;
  const int32_t op = call.opId();
  if (g->iduType == AL_IDU_ACSE) {
    const auto* apdu = static_cast<const AcseApdu*>(g->idu);
    switch (g->event) {
      case AL_A_ASSOC_IND: {
        const bool xopen = apdu != nullptr && apdu->code == AC_APDU_AARQ &&
                           ul_objidvcmp(&apdu->aarq.contextName, rda_xopenAppCtxName) == 1;
        return rda_createAssocRsp(g, rda_xopenAppCtxName, xopen ? AC_RESULT_ACCEPTED : AC_RESULT_REJECTED_PERMANENT,
                                  nullptr, SR_DUPLEX);
      }
      case AL_A_RELEASE_IND:
        return rda_createRelRsp(g, nullptr, 0);
      default:
        return nullptr;
    }
  }
  if (!isRdaIndication(g)) return nullptr;
  const auto* idu = static_cast<const RDAIdu*>(g->idu);
  switch (g->event) {
    case RDA_INIT_IND:
      return rda_createSQLInitRsp(g, op, 0, nullptr, nullptr, idu->init_RI.req.functionalUnits, nullptr);
    case RDA_TERM_IND:
      return rda_createSQLTermRsp(g, op);
    case RDA_COMMIT_IND:
      return rda_createSQLCommitRsp(g, op, 0, nullptr);
    case RDA_ROLLBACK_IND:
      return rda_createSQLRollbackRsp(g, op);
    case RDA_OPEN_IND:
      return rda_createSQLOpenRsp(g, op, 0, nullptr, nullptr);
    case RDA_CLOSE_IND:
      return rda_createSQLCloseRsp(g, op);
    case RDA_EXECDBL_IND:
      return rda_createSQLExecDBLRsp(g, op, 0, nullptr, 0, nullptr, nullptr);
    default:
      return nullptr;
  }
}

void ServerUser::end(void* acb) {
  if (assocs_.erase(acb) != 0) ++ended_;
}
