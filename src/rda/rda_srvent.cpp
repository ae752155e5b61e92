// Server entities: creation with its checks, deletion, lookups and the
// ordered sending of answered operations.
#include "src/rda/rda_srvent.h"

#include "common/charscpy.h"
#include "common/qvstring.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/decode_tree.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdasrv";

void ringRemove(UL_Ring* ring, UL_Link* l) {
  if (l->next == nullptr || l->next == l) return;
  l->prev->next = l->next;
  l->next->prev = l->prev;
  l->next = l->prev = l;
  if (ring != nullptr && ring->count > 0) --ring->count;
}

XmTree* treeOf(void* item) { return xm_getParentOfItem(item); }

const RDAIdu* iduOf(const GIDU* g) { return static_cast<const RDAIdu*>(g->idu); }

}  // namespace

// ---------------------------------------------------------------------------
// Elements of the control blocks.

RdaAcbElem* rda_srvAcbElem(ACB* acb) {
  if (acb == nullptr || AL_surUpdateCurrentCB(AL_IDU_RDA, acb) == 0 || acb->currentElem == nullptr) return nullptr;
  return static_cast<RdaAcbElem*>(acb->currentElem->rdaElem);
}

RdaUcbElem* rda_srvUcbElem(UCB* ucb) {
  UcbElem* e = ucb != nullptr ? AL_surGetUcbElem(AL_IDU_RDA, ucb) : nullptr;
  return e != nullptr ? static_cast<RdaUcbElem*>(e->rdaElem) : nullptr;
}

// ---------------------------------------------------------------------------
// Error responses.

GIDU* rda_srvGenErr(GIDU** ind, uint32_t number, const void* diag) {
  // The builder keeps the indication when it cannot make the error GIDU and
  // deletes both only when a diagnostic text cannot be copied; no caller
  // here passes a text, so a NULL always leaves the indication with us.
  GIDU* e = number >= RDA_SQL_ERR_FIRST ? rda_createSQLErrIdu(*ind, number, diag)
                                        : rda_createGenErrIdu(*ind, number, diag);
  if (e != nullptr) *ind = nullptr;
  return e;
}

// ---------------------------------------------------------------------------
// Creation.

OpEnt* RDA_surCreateOpEnt(GIDU* ind) {
  AL_TRACE_GIDU(rda_surTMHandle, 0x80, kSrc, "RDA_surCreateOpEnt", ind, 1);
  RdaAcbElem* assoc = ind != nullptr ? rda_srvAcbElem(static_cast<ACB*>(ind->uc)) : nullptr;
  auto* op = assoc != nullptr && ind->idu != nullptr
                 ? static_cast<OpEnt*>(_xm_allocItemWithTree(sizeof(OpEnt), XM_ZERO))
                 : nullptr;
  if (op == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surCreateOpEnt: can't create opEnt\n");
    return nullptr;
  }
  op->next = op->prev = op;
  op->dlgEnt = assoc->dlgEnt;
  op->opID = static_cast<uint32_t>(iduOf(ind)->term_RI.opId);
  op->opStatus = RDA_OPST_ARRIVED;
  op->event = ind->event;
  bool dup = false;
  if (op->dlgEnt != nullptr) {
    dup = RDA_surGetOpEnt(op->opID, op->dlgEnt) != nullptr;
  } else if (assoc->opList.links.next != &assoc->opList.links) {
    dup = static_cast<OpEnt*>(assoc->opList.links.next)->opID == op->opID;
  }
  if (dup) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "rda_surCreateOpEnt: Duplicate Operation ID\n");
    op->opStatus = RDA_OPST_REFUSED;
    op->rsp = rda_srvGenErr(&ind, RDA_GENERR_DUP_OPID, nullptr);
    if (op->rsp == nullptr) {
      _xm_freeTree(treeOf(op));
      return nullptr;
    }
  }
  op->list = &assoc->opList;
  rda_ringAppend(&assoc->opList, op);
  if (!dup) ind->pc = op;
  return op;
}

DlgEnt* RDA_surCreateDlgEnt(GIDU* ind, OpEnt* op) {
  const RDAInit_Req& req = iduOf(ind)->init_RI.req;
  if (RDA_surGetDlgEnt(&req.client, &req.suffix.octets) != nullptr) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc,
             "RDA_surCreateDlgEnt: an existing dialouge already has the same dialogue ID\n");
    op->rsp = rda_srvGenErr(&ind, RDA_GENERR_DUP_DLGID, nullptr);
    return nullptr;
  }
  auto* dlg = static_cast<DlgEnt*>(_xm_allocItemWithTree(sizeof(DlgEnt), XM_ZERO));
  if (dlg == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surCreateDlgEnt: can't create dlgEnt\n");
    return nullptr;
  }
  dlg->tree = treeOf(dlg);
  if (ul_octstgvcpy(&dlg->dlgIDSuffix, &req.suffix.octets, dlg->tree) == 0) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surCreateDlgEnt: can't copy dialogue id suffix\n");
    _xm_freeTree(dlg->tree);
    return nullptr;
  }
  if (req.identityOfUser != nullptr) {
    dlg->identityOfUser = ul_charscpy(req.identityOfUser, dlg->tree);
    if (dlg->identityOfUser == nullptr) {
      TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surCreateDlgEnt: can't create identityOfUser\n");
      _xm_freeTree(dlg->tree);
      return nullptr;
    }
  }
  dlg->cntlSvcRequested = req.flag;
  dlg->fuSet = req.functionalUnits;
  dlg->transState = RDA_TRANS_NONE;
  dlg->transRolledBack = 0;
  rda_ringInit(&dlg->rsrcList);
  rda_ringInit(&dlg->dblList);
  // The R-Initialize's own operation was made before the dialogue existed.
  dlg->opList = op->list;
  RdaAcbElem* assoc = rda_srvAcbElem(static_cast<ACB*>(ind->uc));
  if (assoc != nullptr) assoc->dlgEnt = dlg;
  dlg->assoc = assoc;
  if (dlg->opList != nullptr)
    for (UL_Link* l = dlg->opList->links.next; l != &dlg->opList->links; l = l->next)
      static_cast<OpEnt*>(l)->dlgEnt = dlg;
  op->refKind = OPREF_DLG_MADE;
  op->ref = dlg;
  return dlg;
}

RsrcEnt* RDA_surCreateRsrcEnt(GIDU* ind, OpEnt* op) {
  const RDAOpen_Req& req = iduOf(ind)->open_RI.req;
  DlgEnt* dlg = op->dlgEnt;
  const uint32_t hndl = static_cast<uint32_t>(req.handle);
  RsrcEnt* parent = nullptr;
  uint32_t err = 0;
  if (RDA_surGetRsrcEnt(hndl, dlg) != nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc,
             "*** RDA_surCreateRsrcEnt: duplicate data resource handle with one dialogue entity\n");
    err = RDA_GENERR_DUP_RSRC_HNDL;
  } else if ((req.mask & RDA_OPEN_PARENT) != 0 &&
             (parent = RDA_surGetRsrcEnt(static_cast<uint32_t>(req.secondHandle), dlg)) == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surExecCkServerRcv: parent data resource handle not found\n");
    err = RDA_GENERR_NO_PARENT;
  } else if ((req.mask & RDA_OPEN_NAME) != 0 && req.dataResourceName != nullptr && parent != nullptr) {
    for (UL_Link* l = parent->children.links.next; l != &parent->children.links; l = l->next) {
      const auto* child = static_cast<const RsrcEnt*>(static_cast<RefItem*>(l)->ent);
      if (child->name != nullptr && gqv_strcmp(child->name, req.dataResourceName) == 0) {
        TM_TRACE(rda_surTMHandle, 0x10, kSrc, "RDA_surExecCkServerRcv: data resource open\n");
        err = RDA_GENERR_DATA_RSRC_OPEN;
        break;
      }
    }
  }
  if (err != 0) {
    const int32_t diag = req.handle;
    op->rsp = rda_srvGenErr(&ind, err, &diag);
    if (op->rsp == nullptr) {
      TM_TRACE(rda_surTMHandle, 0x08, kSrc,
               "*** RDA_surCreateRsrcEnt: can't create error response for R-Open indication\n");
      RDA_surDeleteOpEnt(op);
    }
    return nullptr;
  }

  auto* r = static_cast<RsrcEnt*>(_xm_allocItemWithTree(sizeof(RsrcEnt), XM_ZERO));
  auto fail = [&](const char* line) -> RsrcEnt* {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "%s", line);
    if (r != nullptr) _xm_freeTree(r->tree);
    RDA_surDeleteOpEnt(op);
    return nullptr;
  };
  if (r == nullptr) return fail("*** RDA_surCreateRsrcEnt: can't create resource entity\n");
  r->tree = treeOf(r);
  r->next = r->prev = r;
  rda_ringInit(&r->children);
  r->dataRsrcHndl = hndl;
  if ((req.mask & RDA_OPEN_NAME) != 0 && req.dataResourceName != nullptr) {
    r->name = ul_charscpy(req.dataResourceName, r->tree);
    if (r->name == nullptr) return fail("*** RDA_surCreateRsrcEnt: can't create data resource name \n");
  }
  r->dlgEnt = dlg;
  r->parent = parent;
  if (parent != nullptr) {
    auto* ref = static_cast<RefItem*>(_xm_allocItem(parent->tree, sizeof(RefItem), XM_ZERO));
    if (ref == nullptr) return fail("*** RDA_surCreateRsrcEnt: can't create ref rsrc ent\n");
    ref->ent = r;
    rda_ringAppend(&parent->children, ref);
  }
  _xm_moveTree(dlg->tree, r->tree);
  rda_ringAppend(&dlg->rsrcList, r);
  op->refKind = OPREF_RSRC_MADE;
  op->ref = r;
  return r;
}

DBLEnt* RDA_surCreateDBLEnt(GIDU* ind, OpEnt* op) {
  const RDADefineDBL_Req& req = iduOf(ind)->defineDBL_RI.req;
  DlgEnt* dlg = op->dlgEnt;
  RsrcEnt* rsrc = nullptr;
  uint32_t err = 0;
  if (RDA_surGetDBLEnt(static_cast<uint32_t>(req.cmdHandle), dlg) != nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc,
             "*** RDA_surCreateDBLEnt: duplicate command handle with one dialogue entity\n");
    err = RDA_GENERR_DUP_CMD_HNDL;
  } else if ((req.mask & RDA_DEFINE_RSRC) != 0) {
    rsrc = RDA_surGetRsrcEnt(static_cast<uint32_t>(req.handle), dlg);
    if (rsrc == nullptr) {
      TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surCreateDBLEnt: data resource handle %d is not opened\n",
               req.handle);
      err = RDA_GENERR_NO_RSRC_HNDL;
    }
  } else if (dlg->rsrcList.count >= 2) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc,
             "*** RDA_surCreateDBLEnt: dataRsrcHndl doesn't exist but there are more than one resource in current "
             "dialogue\n");
    err = RDA_GENERR_RSRC_AMBIGUOUS;
  } else if (dlg->rsrcList.count == 0) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surCreateDBLEnt: no data resource available\n");
    err = RDA_GENERR_NO_RSRC_OPEN;
  } else {
    rsrc = static_cast<RsrcEnt*>(dlg->rsrcList.links.next);
  }
  if (err != 0) {
    op->rsp = rda_srvGenErr(&ind, err, nullptr);
    if (op->rsp == nullptr) {
      TM_TRACE(rda_surTMHandle, 0x08, kSrc,
               "*** RDA_surCreateDBLEnt: can't create error response for R-Open indication\n");
      RDA_surDeleteOpEnt(op);
    }
    return nullptr;
  }
  auto* d = static_cast<DBLEnt*>(_xm_allocItemWithTree(sizeof(DBLEnt), XM_ZERO));
  if (d == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surCreateDBLEnt: can't create command entity\n");
    RDA_surDeleteOpEnt(op);
    return nullptr;
  }
  d->tree = treeOf(d);
  d->next = d->prev = d;
  d->cmdHndl = static_cast<uint32_t>(req.cmdHandle);
  d->rsrc = rsrc;
  d->dlgEnt = dlg;
  _xm_moveTree(dlg->tree, d->tree);
  rda_ringAppend(&dlg->dblList, d);
  op->refKind = OPREF_DBL_MADE;
  op->ref = d;
  return d;
}

// ---------------------------------------------------------------------------
// Deletion.

GIDU* rda_srvReleaseHeldInd(OpEnt* op) {
  GIDU* g = op->heldInd;
  if (g == nullptr) return nullptr;
  op->heldInd = nullptr;
  al_unlinkGidu(g);
  // While queued the indication keeps the association's and the user's
  // delete flags (in pc and pe); they go back to their blocks, so that
  // taking it out loses neither.
  auto* acb = static_cast<ACB*>(g->uc);
  if (acb != nullptr) {
    if (g->pc != nullptr) acb->deleteFlag = 1;
    if (g->pe != nullptr && acb->ucb != nullptr) acb->ucb->deleteFlag = 1;
    g->ue = acb->ucb;
  }
  g->pc = nullptr;
  g->pe = nullptr;
  return g;
}

void RDA_surDeleteOpEnt(OpEnt* op) {
  if (op == nullptr) return;
  TM_TRACE(rda_surTMHandle, 0x40, kSrc, "RDA_surDeleteOpEnt() called: opID=%d\n", static_cast<int32_t>(op->opID));
  ringRemove(op->list, op);
  al_deleteGidu(op->rsp);
  op->rsp = nullptr;
  al_deleteGidu(rda_srvReleaseHeldInd(op));
  DlgEnt* dlg = op->dlgEnt;
  switch (op->refKind) {
    case OPREF_DLG_MADE:
      if (auto* made = static_cast<DlgEnt*>(op->ref)) {
        // The dialogue would delete this operation again.
        op->refKind = OPREF_NONE;
        RDA_surDeleteDlgEnt(made);
      }
      break;
    case OPREF_RSRC_MADE:
      if (rda_srvRsrcListed(dlg, static_cast<RsrcEnt*>(op->ref))) RDA_surDeleteRsrcEnt(static_cast<RsrcEnt*>(op->ref));
      break;
    case OPREF_DBL_MADE:
      if (rda_srvDBLListed(dlg, static_cast<DBLEnt*>(op->ref))) RDA_surDeleteDBLEnt(static_cast<DBLEnt*>(op->ref));
      break;
    case OPREF_CLOSE_LIST:
    case OPREF_DROP_LIST:
      if (op->ref != nullptr) _xm_freeTree(static_cast<RefList*>(op->ref)->tree);
      break;
    default:
      break;
  }
  _xm_freeTree(treeOf(op));
}

void RDA_surDeleteDlgEnt(DlgEnt* dlg) {
  if (dlg == nullptr) return;
  TM_TRACE(rda_surTMHandle, 0x40, kSrc, "RDA_surDeleteDlgEnt() called\n");
  if (dlg->opList != nullptr) {
    while (dlg->opList->links.next != &dlg->opList->links) {
      auto* op = static_cast<OpEnt*>(dlg->opList->links.next);
      if (op->refKind == OPREF_DLG_MADE) op->refKind = OPREF_NONE;
      RDA_surDeleteOpEnt(op);
    }
  }
  // Commands first: they point at resources.
  while (dlg->dblList.links.next != &dlg->dblList.links) RDA_surDeleteDBLEnt(static_cast<DBLEnt*>(dlg->dblList.links.next));
  while (dlg->rsrcList.links.next != &dlg->rsrcList.links)
    RDA_surDeleteRsrcEnt(static_cast<RsrcEnt*>(dlg->rsrcList.links.next));
  // The association forgets it too, whoever deletes it.
  if (dlg->assoc != nullptr && dlg->assoc->dlgEnt == dlg) dlg->assoc->dlgEnt = nullptr;
  _xm_freeTree(dlg->tree);
}

void RDA_surDeleteRsrcEnt(RsrcEnt* r) {
  if (r == nullptr) return;
  DlgEnt* dlg = r->dlgEnt;
  if (RsrcEnt* parent = r->parent) {
    for (UL_Link* l = parent->children.links.next; l != &parent->children.links; l = l->next) {
      if (static_cast<RefItem*>(l)->ent == r) {
        ringRemove(&parent->children, l);
        _xm_freeItem(l);
        break;
      }
    }
  }
  while (r->children.links.next != &r->children.links) {
    auto* item = static_cast<RefItem*>(r->children.links.next);
    auto* child = static_cast<RsrcEnt*>(item->ent);
    ringRemove(&r->children, item);
    _xm_freeItem(item);
    child->parent = nullptr;
    RDA_surDeleteRsrcEnt(child);
  }
  // Commands bound to the resource no longer point at it.
  if (dlg != nullptr)
    for (UL_Link* l = dlg->dblList.links.next; l != &dlg->dblList.links; l = l->next)
      if (static_cast<DBLEnt*>(l)->rsrc == r) static_cast<DBLEnt*>(l)->rsrc = nullptr;
  ringRemove(dlg != nullptr ? &dlg->rsrcList : nullptr, r);
  _xm_freeTree(r->tree);
}

void RDA_surDeleteDBLEnt(DBLEnt* d) {
  if (d == nullptr) return;
  ringRemove(d->dlgEnt != nullptr ? &d->dlgEnt->dblList : nullptr, d);
  _xm_freeTree(d->tree);
}

// ---------------------------------------------------------------------------
// Lookups.

DlgEnt* RDA_surGetDlgEnt(const RDADlgIDClientInvoc* clientInvoc, const OctStgV* dlgIDSuffix) {
  const AlSurConf* c = AL_surGetConf();
  UL_Ring* ucbs = c != nullptr && c->ucbQueue != nullptr ? c->ucbQueue() : nullptr;
  if (ucbs == nullptr || clientInvoc == nullptr || dlgIDSuffix == nullptr) return nullptr;
  for (UL_Link* u = ucbs->links.next; u != &ucbs->links; u = u->next) {
    auto* ucb = static_cast<UCB*>(u);
    for (UL_Link* a = ucb->acbList.links.next; a != &ucb->acbList.links; a = a->next) {
      auto* acb = static_cast<ACB*>(a);
      for (UL_Link* e = acb->elemList.links.next; e != &acb->elemList.links; e = e->next) {
        auto* elem = static_cast<AcbElem*>(e);
        if (elem->iduType != AL_IDU_RDA || elem->rdaElem == nullptr) continue;
        auto* assoc = static_cast<RdaAcbElem*>(elem->rdaElem);
        if (assoc->dlgEnt != nullptr && clientInvocIDCmp(&assoc->clientInvoc, clientInvoc) != 0 &&
            ul_octstgvcmp(&assoc->dlgEnt->dlgIDSuffix, dlgIDSuffix) != 0)
          return assoc->dlgEnt;
      }
    }
  }
  return nullptr;
}

OpEnt* RDA_surGetOpEnt(uint32_t opID, const DlgEnt* dlg) {
  if (dlg == nullptr || dlg->opList == nullptr) return nullptr;
  for (UL_Link* l = dlg->opList->links.next; l != &dlg->opList->links; l = l->next)
    if (static_cast<OpEnt*>(l)->opID == opID) return static_cast<OpEnt*>(l);
  return nullptr;
}

RsrcEnt* RDA_surGetRsrcEnt(uint32_t dataRsrcHndl, const DlgEnt* dlg) {
  if (dlg == nullptr) return nullptr;
  for (UL_Link* l = dlg->rsrcList.links.next; l != &dlg->rsrcList.links; l = l->next)
    if (static_cast<RsrcEnt*>(l)->dataRsrcHndl == dataRsrcHndl) return static_cast<RsrcEnt*>(l);
  return nullptr;
}

DBLEnt* RDA_surGetDBLEnt(uint32_t cmdHndl, const DlgEnt* dlg) {
  if (dlg == nullptr) return nullptr;
  for (UL_Link* l = dlg->dblList.links.next; l != &dlg->dblList.links; l = l->next)
    if (static_cast<DBLEnt*>(l)->cmdHndl == cmdHndl) return static_cast<DBLEnt*>(l);
  return nullptr;
}

bool rda_srvRsrcListed(const DlgEnt* dlg, const RsrcEnt* r) {
  return dlg != nullptr && UL_ringHolds(&dlg->rsrcList, r);
}
bool rda_srvDBLListed(const DlgEnt* dlg, const DBLEnt* d) { return dlg != nullptr && UL_ringHolds(&dlg->dblList, d); }
bool rda_srvOpListed(const UL_Ring* list, const OpEnt* op) { return UL_ringHolds(list, op); }

int32_t clientInvocIDCmp(const RDADlgIDClientInvoc* a, const RDADlgIDClientInvoc* b) {
  if (a->aeInvokeId != b->aeInvokeId || a->apInvokeId != b->apInvokeId) return 0;
  if (a->aeQual.kind == UL_QUAL_RDN || b->aeQual.kind == UL_QUAL_RDN) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** clientInvocIDCmp: RDN is not supported\n");
    return 0;
  }
  if (a->aeQual.integer != b->aeQual.integer) return 0;
  if (a->apTitle.kind == UL_TITLE_DN || b->apTitle.kind == UL_TITLE_DN) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** clientInvocIDCmp: DN is not supported\n");
    return 0;
  }
  return ul_objidvcmp(&a->apTitle.objId, &b->apTitle.objId);
}

// ---------------------------------------------------------------------------
// Ordered sending.

void RDA_surSendNextRsp(DlgEnt* dlg, OpEnt* op, int32_t dir, int32_t qopt) {
  TM_TRACE(rda_surTMHandle, 0x80, kSrc, "RDA_surSendNextRsp() called\n");
  ACB* acb = nullptr;
  const AlGiduFn* routeTbl = nullptr;
  uint32_t routeLevel = 0;
  // Every answer leaves from the route position the caller stands at.
  auto route = [&](OpEnt* o) {
    GIDU* rsp = o->rsp;
    o->rsp = nullptr;
    if (acb == nullptr) {
      acb = static_cast<ACB*>(rsp->uc);
      if (acb != nullptr) {
        routeTbl = acb->routeTbl;
        routeLevel = acb->routeLevel;
      }
    } else {
      acb->routeTbl = routeTbl;
      acb->routeLevel = routeLevel;
    }
    // An answer the rules made has not been through the sequencing rule,
    // which the server user's own answers passed on their way down: sent
    // from the send chain, it goes through that rule now, as it would
    // have, turned back, from the receive chain.
    if (acb != nullptr && o->rspOfRules != 0 && qopt == AL_SUR_QUE && dir == 0)
      acb->routeLevel = kRdaSurLevelSeqToAe;
    AL_surRoute(rsp, qopt, dir);
    RDA_surDeleteOpEnt(o);
  };
  if (dlg == nullptr) {
    if (op == nullptr || op->rsp == nullptr) {
      TM_TRACE(rda_surTMHandle, 0x08, kSrc,
               "*** RDA_surSendNextRsp: dlgEnt and opEnt->rsp are both NULL, something is wrong\n");
      return;
    }
    route(op);
  } else if (dlg->opList != nullptr) {
    UL_Ring* list = dlg->opList;
    UL_Link* l = list->links.next;
    while (l != &list->links) {
      auto* o = static_cast<OpEnt*>(l);
      UL_Link* after = l->next;
      auto* next = after != &list->links ? static_cast<OpEnt*>(after) : nullptr;
      if (o->rsp != nullptr) {
        route(o);
      } else if (((o->event & AL_EV_CODE_MASK) | AL_EV_PRIMITIVE) == RDA_BGNTRANS_IND && next != nullptr &&
                 next->rsp != nullptr) {
        // An R-BeginTransaction gets no answer on success: a later answer
        // passes it. While its indication still waits for the server user
        // the operation stays, so that the user gets it all the same.
        if (o->heldInd == nullptr) RDA_surDeleteOpEnt(o);
      } else {
        break;
      }
      l = after;
    }
  }
  if (acb != nullptr) {
    acb->routeTbl = routeTbl;
    acb->routeLevel = routeLevel;
  }
}
