// Server rules for received indications: each indication gets its operation
// entity and is checked against the dialogue's entities; a failed check
// answers it with a generic error response (the server user never sees it),
// otherwise it is recorded and passed on. R-Cancel and R-Status are answered
// here completely.
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_surint.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdasrv";

// One indication on its way through a rule.
struct RcvCtx {
  GIDU* ind;      // NULL once consumed (turned into an error response)
  OpEnt* op;
  UL_Ring* opList;  // the list the operation is in, read while it lives
  bool opGone;    // the rule deleted the operation entity
  ACB* acb;
  const RDAIdu* idu;
};

using RcvRule = int32_t (*)(RcvCtx& c);

void quickAborts(const GIDU& refs, uint32_t code) {
  const AlSurConf* conf = AL_surGetConf();
  GIDU copy = refs;
  AL_surSendQuickAborts(&copy, conf != nullptr ? conf->opQueHndl : nullptr, conf != nullptr ? conf->sendToAe : nullptr,
                        code);
}

// Answers the indication with error `number` in the operation's rsp: 0, or
// 52556 after `cantCreate` when the response cannot be built.
int32_t answer(RcvCtx& c, uint32_t number, const void* diag, const char* cantCreate) {
  c.op->rsp = rda_srvGenErr(&c.ind, number, diag);
  if (c.op->rsp != nullptr) return 0;
  TM_TRACE(rda_surTMHandle, 0x08, kSrc, "%s", cantCreate);
  return RDA_SUR_ERR_NO_RESOURCE;
}

bool hasFu(const RcvCtx& c, uint32_t fu) { return (c.op->dlgEnt->fuSet & fu) != 0; }

// ---------------------------------------------------------------------------
// Dialogue and transactions.

int32_t procInitInd(RcvCtx& c) {
  DlgEnt* dlg = RDA_surCreateDlgEnt(c.ind, c.op);
  if (dlg != nullptr) {
    c.op->dlgEnt = dlg;
    return 0;
  }
  if (c.op->rsp != nullptr) {
    c.ind = nullptr;
    return 0;
  }
  TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procInitInd: can't create dialogue entity\n");
  return RDA_SUR_ERR_NO_RESOURCE;
}

int32_t procTermInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_TERM))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procTermInd: can't create RDA_ServiceNotNegotiated error\n");
  c.op->refKind = OPREF_DLG_ENDED;
  c.op->ref = c.op->dlgEnt;
  return 0;
}

int32_t procBgnTransInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_TRANS))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr,
                  "*** procBgnTransInd: can't create RDA_ServiceNotNegotiated error\n");
  c.op->dlgEnt->transState = RDA_TRANS_OPEN;
  c.op->dlgEnt->transRolledBack = 0;
  return 0;
}

int32_t procCommitInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_TRANS))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procCommitInd: can't create RDA_ServiceNotNegotiated error\n");
  return 0;
}

int32_t procRollbackInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_TRANS))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr,
                  "*** procRollbackInd: can't create RDA_ServiceNotNegotiated error\n");
  c.op->dlgEnt->transState = RDA_TRANS_NONE;
  c.op->dlgEnt->transRolledBack = 1;
  return 0;
}

// ---------------------------------------------------------------------------
// Data resources and commands.

// After a create function gave NULL: its error response consumed the
// indication, or it failed for memory and deleted the operation.
int32_t afterCreate(RcvCtx& c, const char* cantCreate) {
  if (!rda_srvOpListed(c.opList, c.op)) {
    c.opGone = true;
  } else if (c.op->rsp != nullptr) {
    c.ind = nullptr;
    return 0;
  }
  TM_TRACE(rda_surTMHandle, 0x08, kSrc, "%s", cantCreate);
  return RDA_SUR_ERR_NO_RESOURCE;
}

int32_t procOpenInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_OPEN))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procOpenInd: can't create RDA_ServiceNotNegotiated error\n");
  if (RDA_surCreateRsrcEnt(c.ind, c.op) != nullptr) return 0;
  return afterCreate(c, "*** procOpenInd: can't create resource entity\n");
}

int32_t procDefineInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_DBL))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procDefineInd: can't create RDA_ServiceNotNegotiated error\n");
  if (RDA_surCreateDBLEnt(c.ind, c.op) != nullptr) return 0;
  return afterCreate(c, "*** procDefineInd: can't create defined DBL entity\n");
}

// The close or drop list of the operation: an entry for each listed handle
// that `find` knows (others traced with `unknown` and skipped), or for every
// entity of `all` when nothing is listed.
template <class Find>
int32_t makeRefList(RcvCtx& c, uint32_t kind, const RDAListSeq& req, const UL_Ring& all, Find find,
                    const char* unknown, const char* cantList, const char* cantItem) {
  auto* list = static_cast<RefList*>(_xm_allocItemWithTree(sizeof(RefList), XM_ZERO));
  if (list == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "%s", cantList);
    c.op->refKind = OPREF_NONE;
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  list->tree = xm_getParentOfItem(list);
  list->list.links.next = list->list.links.prev = &list->list.links;
  auto add = [&](void* ent) {
    auto* item = static_cast<RefItem*>(_xm_allocItem(list->tree, sizeof(RefItem), XM_ZERO));
    if (item == nullptr) return false;
    item->ent = ent;
    item->prev = list->list.links.prev;
    item->next = &list->list.links;
    list->list.links.prev->next = item;
    list->list.links.prev = item;
    ++list->list.count;
    return true;
  };
  bool ok = true;
  if ((req.mask & RDA_LIST_PRESENT) != 0 && req.list.links.next != nullptr) {
    for (const UL_Link* l = req.list.links.next; ok && l != &req.list.links; l = l->next) {
      const int32_t h = reinterpret_cast<const RDAIntNode*>(l)->value;
      void* ent = find(static_cast<uint32_t>(h));
      if (ent == nullptr) TM_TRACE(rda_surTMHandle, 0x10, kSrc, unknown, h);
      else ok = add(ent);
    }
  } else {
    for (const UL_Link* l = all.links.next; ok && l != &all.links; l = l->next) ok = add(const_cast<UL_Link*>(l));
  }
  if (!ok) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "%s", cantItem);
    _xm_freeTree(list->tree);
    c.op->refKind = OPREF_NONE;
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  c.op->refKind = kind;
  c.op->ref = list;
  return 0;
}

int32_t procCloseInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_OPEN))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procCloseInd: can't create RDA_ServiceNotNegotiated error\n");
  DlgEnt* dlg = c.op->dlgEnt;
  return makeRefList(
      c, OPREF_CLOSE_LIST, c.idu->close_RI.req, dlg->rsrcList,
      [dlg](uint32_t h) -> void* { return RDA_surGetRsrcEnt(h, dlg); }, "validateCloseInd: can't find resource handle %d\n",
      "*** validateCloseInd: can't create rsrcListToBeDeleted\n",
      "*** validateCloseInd: can't create reference resource entity\n");
}

int32_t procDropInd(RcvCtx& c) {
  if (!hasFu(c, RDA_FU_DBL))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procDropInd: can't create RDA_ServiceNotNegotiated error\n");
  DlgEnt* dlg = c.op->dlgEnt;
  return makeRefList(
      c, OPREF_DROP_LIST, c.idu->dropDBL_RI.req, dlg->dblList,
      [dlg](uint32_t h) -> void* { return RDA_surGetDBLEnt(h, dlg); }, "procDropInd: can't find resource handle %d\n",
      "*** procDropInd: can't create dBLListToBeDeleted\n", "*** procDropInd: can't create reference resource entity\n");
}

// A single row of arguments whose repetition count is not positive: the
// count, else 1.
int32_t repetitionOf(const RDADBLArgs& args, uint32_t singleForm) {
  if (args.code != singleForm || (args.single.mask & 0x01) == 0) return 1;
  return args.single.count;
}

int32_t procExecInd(RcvCtx& c) {
  constexpr const char* kCant = "*** procExecInd: can't create error response for R-ExecuteDBL indication\n";
  if (!hasFu(c, RDA_FU_EXEC))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procExecInd: can't create RDA_ServiceNotNegotiated error\n");
  const RDAExecDBL_Req& req = c.idu->execDBL_RI.req;
  DlgEnt* dlg = c.op->dlgEnt;
  if (dlg->rsrcList.count == 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procExecInd: there are currently no data resources opend\n");
    return answer(c, RDA_GENERR_NO_RSRC_OPEN, nullptr, kCant);
  }
  if ((req.mask & RDA_EXEC_RSRC) == 0) {
    const auto* only = static_cast<const RsrcEnt*>(dlg->rsrcList.links.next);
    if (dlg->rsrcList.count != 1 || only->children.count != 0) {
      TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procExecInd: the execDBL ind does not specific the data resource name\n");
      return answer(c, RDA_GENERR_RSRC_AMBIGUOUS, nullptr, kCant);
    }
  } else if (RDA_surGetRsrcEnt(static_cast<uint32_t>(req.handle), dlg) == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procExecInd: can't find data resource handle %d\n", req.handle);
    return answer(c, RDA_GENERR_NO_RSRC_HNDL, nullptr, kCant);
  }
  if (dlg->transRolledBack != 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc,
             "procExecInd: the execDBL ind shouldn't be received since the transaction was rolled back\n");
    return answer(c, RDA_GENERR_ROLLED_BACK, nullptr, kCant);
  }
  if ((req.mask & RDA_EXEC_ARGS) != 0) {
    const int32_t n = repetitionOf(req.args, RDA_EXEC_SINGLE_ROW);
    if (n <= 0) {
      TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procExecInd: the repetitionCount is not positive (%d)\n", n);
      return answer(c, RDA_GENERR_REPCOUNT, nullptr, kCant);
    }
  }
  return 0;
}

int32_t procInvokeInd(RcvCtx& c) {
  constexpr const char* kCant = "*** procInvokeInd: can't create error response for R-InvokeDBL indication\n";
  if (!hasFu(c, RDA_FU_DBL))
    return answer(c, RDA_GENERR_NOT_NEGOTIATED, nullptr, "*** procInvokeInd: can't create RDA_ServiceNotNegotiated error\n");
  const RDAInvokeDBL_Req& req = c.idu->invokeDBL_RI.req;
  DlgEnt* dlg = c.op->dlgEnt;
  if (RDA_surGetDBLEnt(static_cast<uint32_t>(req.cmdHandle), dlg) == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procInvokeInd: can't find command handle %d\n", req.cmdHandle);
    return answer(c, RDA_GENERR_NO_CMD_HNDL, nullptr, kCant);
  }
  if (dlg->transRolledBack != 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procInvokeInd: transRolledBack is true\n");
    return answer(c, RDA_GENERR_ROLLED_BACK, nullptr, kCant);
  }
  if ((req.mask & RDA_INVOKE_ARGS) != 0) {
    const int32_t n = repetitionOf(req.args, RDA_INVOKE_SINGLE_ROW);
    if (n <= 0) {
      TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procInvokeInd: the repetitionCount is not positive (%d)\n", n);
      return answer(c, RDA_GENERR_REPCOUNT, nullptr, kCant);
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// R-Cancel and R-Status: answered here, at once.

struct CtlTexts {
  const char* fuMissing;
  const char* noDialogue;
  const char* notAllowed;
  const char* authFailed;
  const char* cantError;
  const char* cantBuild;
};

constexpr CtlTexts kCancelTexts{
    "procCancelInd: functional unit is not negotiated for R-Cancel\n",
    "procCancelInd: can't find dialogue id in R-Cancel ind\n",
    "procCancelInd: control service not allowed\n",
    "procCancelInd: control authentication failure\n",
    "*** procCancelInd: can't create error response for R-Cancel indication\n",
    "*** procCancelInd: can't build R-Cancel response\n",
};
constexpr CtlTexts kStatusTexts{
    "procStatusInd: function unit is not negotiated for R-Status\n",
    "procStatusInd: can't find dialogue id in R-Status ind\n",
    "procStatusInd: control services not allowed\n",
    "procStatusInd: control authentication failure\n",
    "*** procStatusInd: can't create error response for R-Status indication\n",
    "*** procStatusInd: can't build R-Status response\n",
};

// The operation is answered and gone: its indication is deleted, the own
// operation removed, and whatever of the own dialogue waited behind it is
// sent.
int32_t finishCtl(RcvCtx& c) {
  DlgEnt* own = c.op->dlgEnt;
  al_deleteGidu(c.ind);
  c.ind = nullptr;
  RDA_surDeleteOpEnt(c.op);
  c.opGone = true;
  RDA_surSendNextRsp(own, nullptr, 1, AL_SUR_REVERSE);
  return -1;
}

// Sends the target dialogue's ready answers. Those of another association's
// dialogue are turned back on that association from where its own rules
// would have turned them (its route position is not this pass's), and run
// there at once unless a pass of its own runs to take them.
void sendTargetAnswers(DlgEnt* target, const DlgEnt* own) {
  ACB* acb = target != own && target->assoc != nullptr ? target->assoc->acb : nullptr;
  if (acb == nullptr) {
    RDA_surSendNextRsp(target, nullptr, 1, AL_SUR_REVERSE);
    return;
  }
  const AlGiduFn* tbl = acb->routeTbl;
  const uint32_t level = acb->routeLevel;
  acb->routeTbl = AL_surGetRouteTbl(AL_IDU_RDA);
  acb->routeLevel = kRdaSurLevelSeqToAe - 1;
  RDA_surSendNextRsp(target, nullptr, 1, AL_SUR_REVERSE);
  acb->routeTbl = tbl;
  acb->routeLevel = level;
  rda_surRunQueue(acb);
}

int32_t procCtlInd(RcvCtx& c, bool cancel) {
  const CtlTexts& t = cancel ? kCancelTexts : kStatusTexts;
  const RDACancel_Req& req = cancel ? c.idu->cancel_RI.req : c.idu->status_RI.req;
  DlgEnt* own = c.op->dlgEnt;
  DlgEnt* target = own;
  uint32_t err = 0;
  if (!hasFu(c, cancel ? RDA_FU_CANCEL : RDA_FU_STATUS)) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.fuMissing);
    err = RDA_GENERR_NOT_NEGOTIATED;
  } else if ((req.mask & RDA_CNTL_DLG) != 0) {
    RdaAcbElem* assoc = rda_srvAcbElem(c.acb);
    const RDADlgIDClientInvoc* client =
        (req.dialogue.mask & RDA_CNTL_CLIENT) != 0 || assoc == nullptr ? &req.dialogue.clientInvoc : &assoc->clientInvoc;
    target = RDA_surGetDlgEnt(client, &req.dialogue.suffix.octets);
    if (target == nullptr) {
      TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.noDialogue);
      err = RDA_GENERR_NO_CNTL_DLG;
    } else if (target->cntlSvcAllowed == 0) {
      TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.notAllowed);
      err = RDA_GENERR_CNTL_NOT_ALLOWED;
    } else if (target != own && (RDA_surUserAuth.cntlSvcAuth == nullptr ||
                                 RDA_surUserAuth.cntlSvcAuth(&c.acb->appContext, client, &req.dialogue.suffix.octets,
                                                             &req.dialogue.authData, &target->cntlAuthData) == 0)) {
      TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.authFailed);
      err = RDA_GENERR_CNTL_AUTH;
    }
  }
  if (err != 0) {
    GIDU* e = rda_srvGenErr(&c.ind, err, nullptr);
    if (e == nullptr) {
      TM_TRACE(rda_surTMHandle, 0x08, kSrc, "%s", t.cantError);
      RDA_surDeleteOpEnt(c.op);
      c.opGone = true;
      return RDA_SUR_ERR_NO_RESOURCE;
    }
    if (cancel) {
      c.op->rsp = e;
      return 0;
    }
    rda_srvRouteBack(e);
    return finishCtl(c);
  }

  const auto listed = [&req](auto each) {
    for (const UL_Link* l = req.opIds.links.next; l != &req.opIds.links; l = l->next)
      each(static_cast<uint32_t>(reinterpret_cast<const RDAIntNode*>(l)->value));
  };
  const bool hasList = (req.mask & RDA_CNTL_OPIDS) != 0 && req.opIds.links.next != nullptr;
  GIDU* answerGidu = nullptr;
  if (cancel) {
    bool failed = false;
    auto consider = [&](OpEnt* o) {
      if (failed || o == nullptr || o == c.op || o->opStatus != RDA_OPST_ARRIVED || o->heldInd == nullptr) return;
      const uint32_t ev = (o->event & AL_EV_CODE_MASK) | AL_EV_PRIMITIVE;
      if (ev != RDA_OPEN_IND && ev != RDA_CLOSE_IND && ev != RDA_EXECDBL_IND) return;
      o->opStatus = RDA_OPST_CANCELLED;
      GIDU* held = rda_srvReleaseHeldInd(o);
      held->ue = c.ind->ue;
      o->rsp = rda_srvGenErr(&held, RDA_GENERR_CANCELLED, nullptr);
      o->rspOfRules = 1;
      if (o->rsp == nullptr) {
        char name[AL_EVENT_TEXT_SIZE] = "";
        al_traceEvent(held, name);
        TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procCancelInd: can't build error response for %s\n", name);
        al_deleteGidu(held);
        failed = true;
      }
    };
    if (hasList) {
      listed([&](uint32_t id) { consider(RDA_surGetOpEnt(id, target)); });
    } else if (target->opList != nullptr) {
      for (UL_Link* l = target->opList->links.next; l != &target->opList->links; l = l->next)
        consider(static_cast<OpEnt*>(l));
    }
    if (failed) {
      RDA_surDeleteOpEnt(c.op);
      c.opGone = true;
      return RDA_SUR_ERR_NO_RESOURCE;
    }
    sendTargetAnswers(target, own);
    answerGidu = rda_createCancelRsp(c.ind, static_cast<int32_t>(c.op->opID));
  } else {
    RDAStatusEntry entries[RDA_STATUS_MAX];
    uint32_t n = 0;
    auto add = [&](uint32_t id, uint32_t status) {
      if (n >= RDA_STATUS_MAX) {
        TM_TRACE(rda_surTMHandle, 0x08, kSrc,
                 "*** procStatusInd: the number of pending operations exceeds the MAX %d >= %d\n",
                 static_cast<int32_t>(n), static_cast<int32_t>(RDA_STATUS_MAX));
        return;
      }
      entries[n++] = {static_cast<int32_t>(id), status, nullptr};
    };
    if (hasList) {
      listed([&](uint32_t id) {
        const OpEnt* o = RDA_surGetOpEnt(id, target);
        add(id, o != nullptr ? o->opStatus : RDA_OPST_UNKNOWN);
      });
    } else if (target->opList != nullptr) {
      for (UL_Link* l = target->opList->links.next; l != &target->opList->links; l = l->next)
        if (l != c.op) add(static_cast<OpEnt*>(l)->opID, static_cast<OpEnt*>(l)->opStatus);
    }
    answerGidu = rda_createStatusRsp(c.ind, static_cast<int32_t>(c.op->opID), n, entries);
  }
  if (answerGidu == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "%s", t.cantBuild);
    RDA_surDeleteOpEnt(c.op);
    c.opGone = true;
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  rda_srvRouteBack(answerGidu);
  if (!cancel) sendTargetAnswers(target, own);
  return finishCtl(c);
}

int32_t procCancelInd(RcvCtx& c) { return procCtlInd(c, true); }
int32_t procStatusInd(RcvCtx& c) { return procCtlInd(c, false); }

constexpr RcvRule kRcvEvent[RDA_SERVICES] = {
    procInitInd,   procTermInd,  procBgnTransInd, procCommitInd, procRollbackInd, procCancelInd, procStatusInd,
    procOpenInd,   procCloseInd, procExecInd,     procDefineInd, procInvokeInd,   procDropInd,
};

}  // namespace

void rda_srvRouteBack(GIDU* g) {
  auto* acb = static_cast<ACB*>(g->uc);
  const AlGiduFn* tbl = acb != nullptr ? acb->routeTbl : nullptr;
  const uint32_t level = acb != nullptr ? acb->routeLevel : 0;
  AL_surRoute(g, AL_SUR_REVERSE, 1);
  if (acb != nullptr) {
    acb->routeTbl = tbl;
    acb->routeLevel = level;
  }
}

void RDA_surExecCkServerRcv(GIDU* ind) {
  AL_TRACE_GIDU(rda_surTMHandle, 0x80, kSrc, "RDA_surExecCkServerRcv", ind, 1);
  if (ind == nullptr) return;
  // Building an error response consumes the indication: what the quick
  // aborts need of it is kept from the start.
  GIDU refs{};
  refs.ue = ind->ue;
  refs.pe = ind->pe;
  refs.uc = ind->uc;
  refs.pc = ind->pc;
  refs.iduType = ind->iduType;
  refs.event = ind->event;

  OpEnt* op = RDA_surCreateOpEnt(ind);
  if (op == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surExecCkServerRcv: can't create op ent\n");
    al_deleteGidu(ind);
    quickAborts(refs, RDA_SUR_ERR_NO_RESOURCE);
    return;
  }
  // A duplicate's error response was made from the indication.
  const bool consumed = op->rsp != nullptr;
  RcvCtx c{consumed ? nullptr : ind, op, op->list, false, static_cast<ACB*>(refs.uc),
           consumed ? nullptr : static_cast<const RDAIdu*>(ind->idu)};
  if (!consumed) {
    const uint32_t slot = (rda_getRdaEventTag(refs.event) - 0x4000) >> 1;
    RcvRule rule = slot < RDA_SERVICES ? kRcvEvent[slot] : nullptr;
    int32_t r = 0;
    if (rule != nullptr && slot != 0 && op->dlgEnt == nullptr) {
      // Only an R-Initialize may come before the dialogue; the state check
      // lets nothing else through.
      TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surExecCkServerRcv: no dialogue for the indication\n");
      r = RDA_SUR_ERR_INTERNAL_ERROR;
    } else if (rule != nullptr) {
      r = rule(c);
    }
    if (r > 0) {
      if (!c.opGone && rda_srvOpListed(c.opList, op)) RDA_surDeleteOpEnt(op);
      al_deleteGidu(c.ind);
      quickAborts(refs, static_cast<uint32_t>(r));
      return;
    }
    if (r < 0) return;
  }
  bool pass = true;
  if (op->rsp != nullptr) {
    op->rspOfRules = 1;
    const uint32_t e = rda_getGenErr(op->rsp);
    op->opStatus = e == RDA_GENERR_DUP_OPID || e == RDA_GENERR_NOT_NEGOTIATED ? RDA_OPST_REFUSED : RDA_OPST_ANSWERED;
    pass = false;
  }
  RDA_surSendNextRsp(op->dlgEnt, op, 1, AL_SUR_REVERSE);
  if (pass && c.ind != nullptr) AL_surRoute(c.ind, AL_SUR_QUE, 0);
}
