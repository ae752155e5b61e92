// PPDU builders: from a PIDU and the connection's context table to the PPDU
// record of their kind, then the session request.
#include "src/presentation/ppdu_build.h"

#include <cstring>

#include "common/timer2.h"
#include "src/presentation/management.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ppdu.h"
#include "src/presentation/psend.h"
#include "src/runtime/xm.h"
#include "src/session/buffer_pool.h"

namespace {

// Presentation events the builders look at.
constexpr uint32_t kEvConnectRefuse = 16;  // CONN.-rsp
constexpr uint32_t kEvResyncAbandon = 26;
constexpr uint32_t kEvResyncRestart = 27;
constexpr uint32_t kEvResyncSet = 28;

// Provider reason of a CPR: the default context is not supported.
constexpr int32_t kReasonDefaultNotSupported = 5;
// RTSE abortReason protocolError, sent in X.410 mode for a provider abort.
constexpr int32_t kRtabProtocolError = 4;

int32_t fail(uint32_t err) {
  QvSetOsiError(static_cast<int32_t>(err));
  return 0;
}

bool hasData(const PIDU* pidu) { return pidu != nullptr && pidu->dataList.next != &pidu->dataList; }

const PsX410Params* x410Of(const PIDU* pidu) {
  return pidu != nullptr ? static_cast<const PsX410Params*>(pidu->x410Params) : nullptr;
}

// A selector of the PIDU into a PPDU record: absent (-1), written when not
// empty; over 16 octets is PE_PSELECTOR. 0 or the error.
uint32_t takeSelector(int64_t length, const uint8_t* octets, PselBlock* out, bool* present) {
  *present = false;
  out->length = 0;
  if (length == -1) return 0;
  if (length < 0 || length > static_cast<int64_t>(kPselMaxLen) || (length > 0 && octets == nullptr))
    return PE_PSELECTOR;
  out->length = static_cast<uint32_t>(length);
  if (length > 0) std::memcpy(out->octets, octets, out->length);
  *present = length > 0;
  return 0;
}

uint32_t takeSelector(const PSelector& s, PselBlock* out, bool* present) {
  return takeSelector(s.length, s.octets, out, present);
}

// The called selector is held with an unsigned length; all ones is absent.
uint32_t takeSelector(const OctStgV& s, PselBlock* out, bool* present) {
  return takeSelector(static_cast<int32_t>(s.length), s.octets, out, present);
}

const AbsSyntax* abstractSyntaxOf(const Pmachine* pm, int32_t asIdx) {
  const AbsSyntaxTable* t = pm_asTable(pm);
  if (t == nullptr || asIdx < 0 || asIdx >= kPsMaxAsyn || t->entries[asIdx].id.count == kPsFreeEntry) return nullptr;
  return &t->entries[asIdx];
}

bool validTs(int32_t tsIdx) { return tsIdx >= 0 && tsIdx < kPsMaxTsyn && tst[tsIdx].id.count != kPsFreeEntry; }

// One context-list item per slot with an identifier, in slot order.
uint32_t contextList(const Pmachine* pm, Context_list* out) {
  out->count = 0;
  for (const PcdtEntry& e : pm->pcdt) {
    if (e.ctxId == -1) continue;
    const AbsSyntax* as = abstractSyntaxOf(pm, e.asIdx);
    if (as == nullptr) return PE_ASYN_NOT;
    Context_list_item& item = out->items[out->count++];
    item = Context_list_item{};
    item.pctxId = e.ctxId;
    item.asName = as->id;
    for (const int32_t t : e.tsSlots) {
      if (t == -1) continue;
      if (!validTs(t) || item.tsCount == kPsMaxTsyn) return PE_TSYN_NOT;
      item.tsNames[item.tsCount++] = tst[t].id;
    }
  }
  return 0;
}

// The octets of a pre-encoded value: the ring of session buffers it is.
uint32_t preEncodedLength(const Pmachine* pm, int32_t slot, const void* value) {
  const AbsSyntax* as = abstractSyntaxOf(pm, pm->pcdt[slot].asIdx);
  if (as == nullptr || as->format != nullptr || value == nullptr) return 0;
  const auto* first = static_cast<const SessionBuffer*>(value);
  uint32_t n = 0;
  const SessionBuffer* b = first;
  do {
    n += b->length;
    b = b->next;
  } while (b != nullptr && b != first);
  return n;
}

// Counts a provider abort or refusal that went down.
void count(PsCounter* noReason, PsCounter* withReason, bool inGroup, Pmachine* pm, PIDU* pidu, int32_t reason) {
  const void* remote = pidu != nullptr ? &pidu->remote : nullptr;
  const void* responding = pidu != nullptr ? &pidu->responding : nullptr;
  if (reason == -1 || reason == 0) P_increment(noReason, pm, remote, responding, reason);
  else if (inGroup) P_increment(withReason, pm, remote, responding, reason);
}

// User-data of a PPDU record from the PIDU, when it has data elements: the
// presence bit set, or 0 when it cannot be built.
bool userData(Pmachine* pm, PIDU* pidu, User_data* target, uint32_t* presence, uint32_t bit, uint32_t withTs) {
  if (!hasData(pidu)) return true;
  if (put_userdata(pm, pidu, target, withTs) == 0) return false;
  *presence |= bit;
  return true;
}

int32_t send(PsRequest request, Pmachine* pm, PIDU* pidu, uint32_t noData = 0) {
  return psSend(request, pm, pidu, noData);
}

}  // namespace

// ---------------------------------------------------------------------------
// User data

int32_t put_userdata(Pmachine* pm, PIDU* pidu, User_data* target, uint32_t withTs) {
  if (pm == nullptr || pidu == nullptr || target == nullptr) return fail(PE_MISS_PARM);
  *target = User_data{};
  if (!hasData(pidu)) return 1;
  const DElemLink* head = &pidu->dataList;
  const auto* last = static_cast<const DElem*>(head->prev);
  if (last->pctxId == -1 || pm->definedCount == 1) {
    // Simply-encoded data carries one value.
    if (head->next != head->prev) return fail(PE_MAX_DELEM);
    target->kind = kUserDataSimple;
    target->simple.value = last->value;
    return 1;
  }
  XmTree* tree = xm_getParentOfItem(pidu);
  if (tree == nullptr) return fail(PE_MALLOC);
  pdvListInit(&target->full);
  for (const DElemLink* p = head->next; p != head;) {
    const auto* group = static_cast<const DElem*>(p);
    const int32_t slot = group->pctxId;
    if (slot < 0 || slot >= kPsMaxContexts) return fail(PE_PCTXID_INV);
    const PcdtEntry& e = pm->pcdt[slot];
    // Until the answer to the CP settles it, BER, the one transfer syntax
    // registered, carries the values.
    const int32_t ts = e.tsIdx != -1 ? e.tsIdx : ps_asn1_tsidx;
    if (!validTs(ts)) return fail(PE_TSYN_NOT);
    PdvType* pdv = newPdvType(nullptr, tree);
    auto* node = static_cast<PdvNode*>(_xm_allocItem(tree, sizeof(PdvNode), XM_ZERO));
    if (pdv == nullptr || node == nullptr) return fail(PE_MALLOC);
    PdvType* seg = pdv;
    for (;;) {
      const auto* el = static_cast<const DElem*>(p);
      seg->context = static_cast<uint32_t>(slot);
      seg->tsIdx = static_cast<uint32_t>(ts);
      seg->encoding = tst[ts].encoding;
      seg->value = el->value;
      seg->option = preEncodedLength(pm, slot, el->value);
      if (withTs != 0) seg->tsName = tst[ts].id;
      p = p->next;
      if (p == head || static_cast<const DElem*>(p)->pctxId != slot) break;
      seg = newPdvType(seg, tree);
      if (seg == nullptr) return fail(PE_MALLOC);
    }
    // Several values of one context travel as segments of one PDV-list.
    if (pdv->next != nullptr && pdv->encoding == kEncSingleAsn1)
      for (PdvType* s = pdv; s != nullptr; s = s->next) s->encoding = kEncOctetAligned;
    node->pdv = pdv;
    pdvListAppend(&target->full, node);
  }
  target->kind = kUserDataFull;
  return 1;
}

// ---------------------------------------------------------------------------
// Connection PPDUs

int32_t ppduCP(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  cp = CP_type{};
  if (const PsX410Params* x = x410Of(pidu)) {
    if (x->mode != kX410Rtorq) return fail(PE_X410_TAG_INV);
    pm->x410Mode = 1;
    cp.presence = kCpX410;
    cp.mode.value = kModeX410;
    cp.x410 = x->rtorq;
    return send(PsRequest::ConnectRequest, pm, pidu);
  }
  cp.presence = kCpNormal;
  cp.mode.value = kModeNormal;
  CP_normal& n = cp.normal;
  n.protocolVersion = kProtocolVersion1;  // version-1 goes without the member
  bool present = false;
  if (const uint32_t err = takeSelector(pidu->local.pSel, &n.calling, &present)) return fail(err);
  if (present) n.presence |= kCpCalling;
  if (const uint32_t err = takeSelector(pidu->remote.pSel, &n.called, &present)) return fail(err);
  if (present) n.presence |= kCpCalled;
  if (pm->definedCount != 0) {
    if (const uint32_t err = contextList(pm, &n.contexts)) return fail(err);
    n.presence |= kCpContexts;
  }
  if (pm->dfltAsIdx != -1) {
    const AbsSyntax* as = abstractSyntaxOf(pm, pm->dfltAsIdx);
    if (as == nullptr) return fail(PE_ASYN_NOT);
    if (!validTs(pm->dfltTsIdx)) return fail(PE_DFLT_CTX);
    n.defaultContext = DfltCtx{as->id, tst[pm->dfltTsIdx].id};
    n.presence |= kCpDefault;
  }
  n.presRequirements = pidu->presRequirements;
  if (n.presRequirements != 0) n.presence |= kCpPresRequirements;
  if (!userData(pm, pidu, &n.userData, &n.presence, kCpUserData, 1)) return 0;
  return send(PsRequest::ConnectRequest, pm, pidu);
}

int32_t ppduCPA(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  cpa = CPA_PPDU{};
  if (const PsX410Params* x = x410Of(pidu)) {
    if (x->mode != kX410Rtoac) return fail(PE_X410_TAG_INV);
    cpa.presence = kCpaX410;
    cpa.mode.value = kModeX410;
    cpa.x410 = x->rtoac;
    return send(PsRequest::ConnectAccept, pm, pidu);
  }
  cpa.presence = kCpaNormal;
  cpa.mode.value = kModeNormal;
  CPA_normal& n = cpa.normal;
  n.protocolVersion = kProtocolVersion1;
  bool present = false;
  if (const uint32_t err = takeSelector(pidu->responding.pSel, &n.responding, &present)) return fail(err);
  if (present) n.presence |= kCpaResponding;
  if (pm->definedCount != 0) {
    set_pcdt_rslt(pm, &n.results);
    n.presence |= kCpaResults;
  }
  n.presRequirements = pidu->presRequirements;
  if (n.presRequirements != 0) n.presence |= kCpaPresRequirements;
  if (!userData(pm, pidu, &n.userData, &n.presence, kCpaUserData, 0)) return 0;
  return send(PsRequest::ConnectAccept, pm, pidu);
}

int32_t ppduCPR(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  cpr = CPR_PPDU{};
  if (const PsX410Params* x = x410Of(pidu)) {
    if (x->mode != kX410Rtorj) return fail(PE_X410_TAG_INV);
    cpr.kind = kPpduSet;
    cpr.x410 = x->rtorj;
  } else {
    cpr.kind = kPpduSequence;
    CPR_normal& n = cpr.normal;
    n.protocolVersion = kProtocolVersion1;
    bool present = false;
    if (const uint32_t err = takeSelector(pidu->responding.pSel, &n.responding, &present)) return fail(err);
    if (present) n.presence |= kCprResponding;
    if (pm->definedCount != 0) {
      set_pcdt_rslt(pm, &n.results);
      n.presence |= kCprResults;
    }
    if (pm->dfltAsIdx == -1 && pidu->dfltCtx != -1) {
      n.defaultResult = pidu->dfltResult == 1 || pidu->dfltResult == 2 ? pidu->dfltResult : 0;
      n.presence |= kCprDefaultResult;
    }
    if (pidu->reason != -1) {
      n.providerReason = pidu->reason;
      n.presence |= kCprProviderReason;
    }
    if (!userData(pm, pidu, &n.userData, &n.presence, kCprUserData, 0)) return 0;
  }
  if (send(PsRequest::ConnectRefuse, pm, pidu) == 0) return 0;
  ppduCprNm30(pm, pidu);
  return 1;
}

void ppduCprNm30(Pmachine* pm, PIDU* pidu) {
  const bool withReason = cpr.kind == kPpduSequence && (cpr.normal.presence & kCprProviderReason) != 0;
  const int32_t reason = withReason ? cpr.normal.providerReason : -1;
  count(&cprSndNoReason, &cprSndPermGrp, reason >= 2 && reason <= 6, pm, pidu, reason);
}

int32_t conn_prej(Pmachine* pm, PIDU* pidu, int32_t reason) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  pidu->event = kEvConnectRefuse;
  cpr = CPR_PPDU{};
  if (pm->x410Mode != 0 || pidu->x410Params != nullptr) {
    cpr.kind = kPpduSet;
    cpr.x410.refuseReason = 0;
  } else {
    cpr.kind = kPpduSequence;
    cpr.normal.protocolVersion = kProtocolVersion1;
    cpr.normal.providerReason = reason;
    cpr.normal.presence = kCprProviderReason;
    if (reason == kReasonDefaultNotSupported) {
      cpr.normal.defaultResult = static_cast<int32_t>(kPcdtProviderRejected);
      cpr.normal.presence |= kCprDefaultResult;
    }
  }
  if (send(PsRequest::ConnectRefuse, pm, pidu) == 0) {
    (void)send(PsRequest::QuickAbort, pm, pidu);
    return 0;
  }
  ppduCprNm30(pm, pidu);
  return 1;
}

// ---------------------------------------------------------------------------
// Aborts

int32_t ppduARU(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  abrt = Abort_type{};
  if (const PsX410Params* x = x410Of(pidu)) {
    abrt.kind = kPpduSet;
    abrt.x410 = x->rtab;
    return send(PsRequest::UserAbort, pm, pidu);
  }
  abrt.kind = kPpduAruNormal;
  ARU_normal& n = abrt.aru;
  const bool halfDuplexOnly = pm->sRequirements == 1;
  if (hasData(pidu) && pm->state != STAI1 && !halfDuplexOnly) {
    if (put_userdata(pm, pidu, &n.userData, 0) == 0) return 0;
    n.presence |= kAruUserData;
    if (pm->definedCount != 0) {
      // One identifier per data element, the last element first.
      P_CtxIdLst& ids = n.contextIds;
      const DElemLink* head = &pidu->dataList;
      for (const DElemLink* p = head->prev; p != head; p = p->prev) {
        const int32_t slot = static_cast<const DElem*>(p)->pctxId;
        if (slot == -1) continue;  // simply encoded: no context to name
        if (slot < 0 || slot >= kPsMaxContexts) return fail(PE_PCTXID_INV);
        if (ids.count == kPsMaxListItems) return fail(PE_MAX_DELEM);
        int32_t ts = pm->pcdt[slot].tsIdx;
        if (ts == -1) ts = pm->dfltTsIdx;
        if (ts == -1) ts = ps_asn1_tsidx;
        if (!validTs(ts)) return fail(PE_TSYN_NOT);
        ids.items[ids.count++] = P_CtxIdItem{pm->idMap[slot], tst[ts].id};
      }
      if (ids.count != 0) n.presence |= kAruContextIds;
    }
  }
  return send(PsRequest::UserAbort, pm, pidu);
}

int32_t ppduARP(Pmachine* pm, PIDU* pidu, int32_t reason, int32_t event) {
  if (pm == nullptr) return fail(PE_MISS_PARM);
  abrt = Abort_type{};
  if (pm->x410Mode != 0) {
    abrt.kind = kPpduSet;
    abrt.x410.presence = kAbReason;
    abrt.x410.abortReason = kRtabProtocolError;
  } else {
    abrt.kind = kPpduSequence;
    if (reason != -1) {
      abrt.arp.providerReason = reason;
      abrt.arp.presence |= kArpReason;
    }
    if (event != -1) {
      abrt.arp.eventId = event;
      abrt.arp.presence |= kArpEvent;
    }
  }
  if (send(PsRequest::ProviderAbort, pm, pidu) == 0) return 0;
  count(&arpSndNoReason, &arpSndPrErrGrp, true, pm, pidu, reason);
  return 1;
}

// ---------------------------------------------------------------------------
// Data and resynchronisation

int32_t ppduTD(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  // A continuation of a segmented value is already encoded session user data.
  if (pm->segSend == 0 && put_userdata(pm, pidu, &inf, 0) == 0) return 0;
  return send(PsRequest::Data, pm, pidu);
}

int32_t ppduTE(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  if (put_userdata(pm, pidu, &inf, 0) == 0) return 0;
  return send(PsRequest::Expedited, pm, pidu);
}

int32_t ppduTTD(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  if (put_userdata(pm, pidu, &inf, 0) == 0) return 0;
  return send(PsRequest::TypedData, pm, pidu);
}

int32_t ppduTC(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  const bool data = hasData(pidu);
  if (data && put_userdata(pm, pidu, &inf, 0) == 0) return 0;
  return send(PsRequest::CapabilityRequest, pm, pidu, data ? 0 : 1);
}

int32_t ppduTCC(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  const bool data = hasData(pidu);
  if (data && put_userdata(pm, pidu, &inf, 0) == 0) return 0;
  return send(PsRequest::CapabilityResponse, pm, pidu, data ? 0 : 1);
}

int32_t ppduRS(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  PsRequest request;
  switch (pidu->event) {
    case kEvResyncAbandon:
      request = PsRequest::ResyncAbandon;
      break;
    case kEvResyncRestart:
      request = PsRequest::ResyncRestart;
      break;
    case kEvResyncSet:
      request = PsRequest::ResyncSet;
      break;
    default:
      return 1;
  }
  rs = RS_PPDU{};
  if (!userData(pm, pidu, &rs.userData, &rs.presence, kRsUserData, 0)) return 0;
  return send(request, pm, pidu);
}

int32_t ppduRSA(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  rsa = RSA_PPDU{};
  if (!userData(pm, pidu, &rsa.userData, &rsa.presence, kRsUserData, 0)) return 0;
  return send(PsRequest::ResyncResponse, pm, pidu);
}
