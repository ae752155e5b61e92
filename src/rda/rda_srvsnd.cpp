// Server rules for the server user's answers: each answer is matched to its
// operation, applied to the dialogue's entities, or refused back to the
// server user with a local error when it contradicts the indication, and
// then held until every earlier operation of the association is answered.
#include <iterator>

#include "src/acse/al_trace.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdasrv";

// One answer on its way through a rule.
struct SndCtx {
  GIDU* rsp;
  OpEnt* op;
  RDAIdu* idu;
};

using SndRule = int32_t (*)(SndCtx& c);

AlGiduFn towardsUser() {
  const AlSurConf* conf = AL_surGetConf();
  return conf != nullptr ? conf->opQueHndl : nullptr;
}

// Gives the answer back to the server user as a local error; -1.
int32_t refuse(SndCtx& c, uint32_t code) {
  AL_surSendLocalError(c.rsp, code, towardsUser());
  c.rsp = nullptr;
  return -1;
}

// ---------------------------------------------------------------------------
// Dialogue and transactions.

int32_t procInitRsp(SndCtx& c) {
  DlgEnt* dlg = c.op->dlgEnt;
  const RDAInit_Result& res = c.idu->init_RC.result;
  const bool cntl = (res.mask & RDA_INITRSP_CNTL) != 0;
  // Every check before any change: a refused answer leaves the dialogue as
  // it was, for the server user to answer again.
  if (!cntl && dlg->cntlSvcRequested == 1) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc,
             "*** procInitRsp: cntl service was requested but there is no cntlSvcData in rsp\n");
    return refuse(c, RDA_SUR_ERR_MISSING_CNTLDATA);
  }
  if (cntl && (res.control.mask & RDA_INITCNTL_AUTH) == 0) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procInitRsp: auth data shall exist when cntlSvcAllowed is TRUE\n");
    return refuse(c, RDA_SUR_ERR_MISSING_AUTHDATA);
  }
  const uint32_t allowed = res.functionalUnits;
  if ((dlg->fuSet | allowed) != dlg->fuSet) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc,
             "*** procInitRsp: fuAllowed 0x%lx has more funtional units than the fuReq 0x%lx\n",
             static_cast<unsigned long>(allowed), static_cast<unsigned long>(dlg->fuSet));
    return refuse(c, RDA_SUR_ERR_BAD_FUALLOW);
  }
  if (cntl) {
    RDAAuthData copy{};
    if (rda_copyAuthData(&copy, &res.control.cntlAuthData, dlg->tree) == 0) {
      TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procInitRsp: can't copy auth data\n");
      return refuse(c, RDA_SUR_ERR_NO_RESOURCE);
    }
    dlg->cntlAuthData = copy;
    dlg->cntlSvcAllowed = res.control.flag;
  }
  dlg->fuSet = allowed;
  return 0;
}

// The dialogue ends with this answer, which leaves at once.
int32_t endDialogue(SndCtx& c) {
  RDA_surDeleteDlgEnt(c.op->dlgEnt);
  GIDU* rsp = c.rsp;
  c.rsp = nullptr;
  AL_surRoute(rsp, AL_SUR_QUE, 0);
  return -1;
}

int32_t procInitErr(SndCtx& c) { return endDialogue(c); }
int32_t procTermRsp(SndCtx& c) { return endDialogue(c); }

int32_t procBgnTransErr(SndCtx& c) {
  c.op->dlgEnt->transState = RDA_TRANS_NONE;
  c.op->dlgEnt->transRolledBack = 0;
  return 0;
}

int32_t procCommitRsp(SndCtx& c) {
  c.op->dlgEnt->transState = RDA_TRANS_NONE;
  if (c.idu->commit_RC.result.value == 1) c.op->dlgEnt->transRolledBack = 1;
  return 0;
}

int32_t procRollbackRsp(SndCtx& c) {
  c.op->dlgEnt->transState = RDA_TRANS_NONE;
  c.op->dlgEnt->transRolledBack = 1;
  return 0;
}

// ---------------------------------------------------------------------------
// Data resources and commands.

int32_t procOpenErr(SndCtx& c) {
  if (c.op->refKind == OPREF_RSRC_MADE && rda_srvRsrcListed(c.op->dlgEnt, static_cast<RsrcEnt*>(c.op->ref)))
    RDA_surDeleteRsrcEnt(static_cast<RsrcEnt*>(c.op->ref));
  c.op->refKind = OPREF_NONE;
  return 0;
}

int32_t procDefineErr(SndCtx& c) {
  if (c.op->refKind == OPREF_DBL_MADE && rda_srvDBLListed(c.op->dlgEnt, static_cast<DBLEnt*>(c.op->ref)))
    RDA_surDeleteDBLEnt(static_cast<DBLEnt*>(c.op->ref));
  c.op->refKind = OPREF_NONE;
  return 0;
}

// The entities of the operation's close or drop list go, except those the
// answer lists as kept; a kept handle that the list does not hold refuses
// the answer (checked before anything changes).
template <class Ent>
int32_t closeOrDrop(SndCtx& c, uint32_t kind, const RDAListSeq& result, bool (*listed)(const DlgEnt*, const Ent*),
                    uint32_t (*handleOf)(const Ent*), void (*drop)(Ent*), const char* notRequested, uint32_t code) {
  DlgEnt* dlg = c.op->dlgEnt;
  auto* refs = c.op->refKind == kind ? static_cast<RefList*>(c.op->ref) : nullptr;
  auto find = [&](uint32_t h) -> RefItem* {
    if (refs == nullptr) return nullptr;
    for (UL_Link* l = refs->list.links.next; l != &refs->list.links; l = l->next) {
      auto* e = static_cast<Ent*>(static_cast<RefItem*>(l)->ent);
      if (listed(dlg, e) && handleOf(e) == h) return static_cast<RefItem*>(l);
    }
    return nullptr;
  };
  const bool hasList = (result.mask & RDA_LIST_PRESENT) != 0 && result.list.links.next != nullptr;
  if (hasList) {
    for (const UL_Link* l = result.list.links.next; l != &result.list.links; l = l->next) {
      const int32_t h = reinterpret_cast<const RDAHandleExcpNode*>(l)->excp.handle;
      if (find(static_cast<uint32_t>(h)) == nullptr) {
        TM_TRACE(rda_surTMHandle, 0x08, kSrc, notRequested, h);
        return refuse(c, code);
      }
    }
    for (const UL_Link* l = result.list.links.next; l != &result.list.links; l = l->next) {
      RefItem* kept = find(static_cast<uint32_t>(reinterpret_cast<const RDAHandleExcpNode*>(l)->excp.handle));
      if (kept == nullptr) continue;  // listed twice
      kept->prev->next = kept->next;
      kept->next->prev = kept->prev;
      --refs->list.count;
      _xm_freeItem(kept);
    }
  }
  if (refs != nullptr) {
    // A resource deleted together with its parent is passed over.
    for (UL_Link* l = refs->list.links.next; l != &refs->list.links; l = l->next) {
      auto* e = static_cast<Ent*>(static_cast<RefItem*>(l)->ent);
      if (listed(dlg, e)) drop(e);
    }
    _xm_freeTree(refs->tree);
  }
  c.op->refKind = OPREF_NONE;
  c.op->ref = nullptr;
  return 0;
}

uint32_t rsrcHandle(const RsrcEnt* r) { return r->dataRsrcHndl; }
uint32_t cmdHandle(const DBLEnt* d) { return d->cmdHndl; }

int32_t procCloseRsp(SndCtx& c) {
  return closeOrDrop<RsrcEnt>(c, OPREF_CLOSE_LIST, c.idu->close_RC.result, rda_srvRsrcListed, rsrcHandle,
                              RDA_surDeleteRsrcEnt, "*** procCloseRsp: data resource %d was not in the R-Close indication\n",
                              RDA_SUR_ERR_UNREQ_DATA_RSRC);
}

int32_t procDropRsp(SndCtx& c) {
  return closeOrDrop<DBLEnt>(c, OPREF_DROP_LIST, c.idu->dropDBL_RC.result, rda_srvDBLListed, cmdHandle,
                             RDA_surDeleteDBLEnt, "*** procDropRsp: data resource %d was not in the R-DropDBL indication\n",
                             kRdaSurErrUnreqCmd);
}

// Slot 0 and 1 R-Initialize result and error; 2k+1 and 2k+2 those of
// service k.
constexpr SndRule kSndEvent[2 * RDA_SERVICES + 1] = {
    procInitRsp, procInitErr,  nullptr, procTermRsp,  nullptr, nullptr, procBgnTransErr, procCommitRsp, nullptr,
    procRollbackRsp, nullptr,  nullptr, nullptr,      nullptr, nullptr, nullptr,         procOpenErr,   procCloseRsp,
    nullptr,     nullptr,      nullptr, nullptr,      procDefineErr, nullptr, nullptr,   procDropRsp,   nullptr,
};

}  // namespace

void RDA_surExecCkServerSnd(GIDU* rsp) {
  AL_TRACE_GIDU(rda_surTMHandle, 0x80, kSrc, "RDA_surExecCkServerSnd", rsp, 1);
  if (rsp == nullptr) return;
  auto* acb = static_cast<ACB*>(rsp->uc);
  RdaAcbElem* assoc = rda_srvAcbElem(acb);
  auto* idu = static_cast<RDAIdu*>(rsp->idu);
  const int32_t opId = idu != nullptr ? idu->term_RC.opId : 0;
  OpEnt* op = assoc != nullptr && idu != nullptr ? RDA_surGetOpEnt(static_cast<uint32_t>(opId), assoc->dlgEnt) : nullptr;
  if (op == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surExecCkServerSnd: can't find operation entity %d\n", opId);
    AL_surSendLocalError(rsp, RDA_SUR_ERR_NO_SUCH_OP_ENT, towardsUser());
    return;
  }
  // The operation of that id is of another service: this answer is not its
  // own (the rules would read the wrong records of the operation, and the
  // client would get an answer of a service it did not ask for).
  if (al_serviceOf(rsp->event) % RDA_SERVICES != al_serviceOf(op->event) % RDA_SERVICES) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc,
             "*** RDA_surExecCkServerSnd: operation entity %d is of another service\n", opId);
    AL_surSendLocalError(rsp, RDA_SUR_ERR_NO_SUCH_OP_ENT, towardsUser());
    return;
  }
  if (op->rsp != nullptr) {
    char name[AL_EVENT_TEXT_SIZE] = "";
    al_traceEvent(rsp, name);
    TM_TRACE(rda_surTMHandle, 0x08, kSrc,
             "*** RDA_surExecCkServerSnd: the pending operation for %s already contains a response\n", name);
    AL_surSendLocalError(rsp, RDA_SUR_ERR_DUP_RSP, towardsUser());
    return;
  }
  const uint32_t tag = rda_getRdaEventTag(rsp->event);
  uint32_t slot = 0;
  if (((rsp->event & AL_EV_CODE_MASK) | AL_EV_PRIMITIVE) == RDA_BGNTRANS_ERSP) {
    slot = tag - 0x4000;
  } else {
    RdaRcFields f{};
    const bool isError = rda_rcFields(idu, RdaFamily::Iso, &f) && f.outcome != nullptr && *f.outcome == RDA_OUTCOME_ERROR;
    slot = isError ? tag - 0x4000 : tag - 0x4001;
  }
  SndCtx c{rsp, op, idu};
  if (SndRule rule = slot < std::size(kSndEvent) ? kSndEvent[slot] : nullptr) {
    const int32_t r = rule(c);
    if (r > 0) {
      const AlSurConf* conf = AL_surGetConf();
      AL_surSendQuickAborts(rsp, towardsUser(), conf != nullptr ? conf->sendToAe : nullptr, static_cast<uint32_t>(r));
      al_deleteGidu(rsp);
      return;
    }
    if (r < 0) return;
  }
  op->rsp = rsp;
  const uint32_t e = rda_getGenErr(rsp);
  op->opStatus = e == RDA_GENERR_DUP_OPID || e == RDA_GENERR_OP_ABORTED || e == RDA_GENERR_NOT_NEGOTIATED
                     ? RDA_OPST_REFUSED
                     : RDA_OPST_ANSWERED;
  RDA_surSendNextRsp(op->dlgEnt, op, 0, AL_SUR_QUE);
}
