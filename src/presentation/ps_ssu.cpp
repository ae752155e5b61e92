// Session indications and confirms, and received data.
#include "src/presentation/ps_ssu.h"

#include <cstring>

#include "common/timer2.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/preencoded.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pind.h"
#include "src/presentation/plock.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ppdu.h"
#include "src/presentation/ppdu_build.h"
#include "src/presentation/ps_trace.h"
#include "src/presentation/psend.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"
#include "src/session/session_ind.h"

namespace {

constexpr const char* kSrc = "src/ps_ssu";

constexpr uint32_t kSReceive = 33;  // the session's receive request

// How the user data of an event is decoded.
enum class Dec { None, UserData, DataOrSimple, Simple, CP, CPA, CPR, RS, RSA, Typed, Abort };

// SIDU items an event carries into the PIDU (the credit always).
enum : uint32_t {
  kFReason = 1,
  kFSerial = 2,
  kFTokens = 4,
  kFSync = 8,
  kFActIds = 16,
  kFCid = 32,
  kFConnect = 64,  // session requirements, connect word, session version
};

struct Arrival {
  uint32_t sessionEvent;
  uint32_t event;  // the presentation event
  Dec dec;
  bool version2Only;
  uint32_t fields;
  uint32_t failedInd;
  const char* trace;  // the transport trace line of the arrival; NULL = none
};

constexpr Arrival kArrivals[] = {
    {SI_ACTD_IND, PS_ACTD_IND, Dec::UserData, true, kFReason, P_ACTD_IND, nullptr},
    {SI_ACTD_CNF, PS_ACTD_CNF, Dec::UserData, true, 0, P_ACTD_CNF, nullptr},
    {SI_ACTE_IND, PS_ACTE_IND, Dec::UserData, false, kFSerial, P_ACTE_IND, nullptr},
    {SI_ACTE_CNF, PS_ACTE_CNF, Dec::UserData, false, 0, P_ACTE_CNF, nullptr},
    {SI_ACTI_IND, PS_ACTI_IND, Dec::UserData, true, kFReason, P_ACTI_IND, nullptr},
    {SI_ACTI_CNF, PS_ACTI_CNF, Dec::UserData, true, 0, P_ACTI_CNF, nullptr},
    {SI_ACTR_IND, PS_ACTR_IND, Dec::UserData, false, kFActIds | kFSerial | kFCid, P_ACTR_IND, nullptr},
    {SI_ACTS_IND, PS_ACTS_IND, Dec::UserData, false, kFActIds, P_ACTS_IND, nullptr},
    {SI_CD_IND, PS_CD_IND, Dec::DataOrSimple, false, 0, P_CD_IND, nullptr},
    {SI_CD_CNF, PS_CD_CNF, Dec::DataOrSimple, false, 0, P_CD_CNF, nullptr},
    {SI_CG_IND, PS_CG_IND, Dec::UserData, false, 0, P_CG_IND, nullptr},
    {SI_CON_CNF, PS_CPA, Dec::CPA, false, kFTokens | kFSerial | kFCid | kFConnect, P_CON_CNF, "Received a SCONCNF\n\n"},
    {SI_CON_REF, PS_CPR, Dec::CPR, false, kFCid | kFConnect, P_CON_REF, "Received a SCONREF\n\n"},
    {SI_DT_CNF, PS_TF, Dec::None, false, 0, 0, nullptr},
    {SI_EX_IND, PS_TE, Dec::Simple, false, 0, P_EX_IND, nullptr},
    {SI_GT_IND, PS_GT_IND, Dec::UserData, true, kFTokens, P_GT_IND, nullptr},
    {SI_PAB_IND, PS_SAB_IND, Dec::UserData, false, 0, P_SAB_IND, "Received a SPABIND\n\n"},
    {SI_PER_IND, PS_PER_IND, Dec::None, false, kFReason, 0, nullptr},
    {SI_PT_IND, PS_PT_IND, Dec::UserData, false, kFTokens, P_PT_IND, nullptr},
    {SI_REL_IND, PS_REL_IND, Dec::UserData, false, 0, P_REL_IND, "Received a SRELIND\n\n"},
    {SI_REL_CNF, PS_REL_CNF, Dec::UserData, false, 0, P_REL_CNF, "Received a SRELCNF\n\n"},
    {SI_REL_REF, PS_REL_REF, Dec::UserData, false, 0, P_REL_REF, "Received a SRELREF\n\n"},
    {SI_RSYN_IND, PS_RS, Dec::RS, false, kFSerial | kFSync | kFTokens, P_RSYN_IND, nullptr},
    {SI_RSYN_CNF, PS_RSA, Dec::RSA, false, kFSerial | kFTokens, P_RSYN_CNF, nullptr},
    {SI_SYNMA_IND, PS_SYNM_IND, Dec::UserData, false, kFSerial, P_SYNM_IND, nullptr},
    {SI_SYNMA_CNF, PS_SYNM_CNF, Dec::UserData, false, 0, P_SYNM_CNF, nullptr},
    {SI_SYNMI_IND, PS_SYN_IND, Dec::UserData, false, kFSerial | kFSync, P_SYN_IND, nullptr},
    {SI_SYNMI_CNF, PS_SYN_CNF, Dec::UserData, false, kFSerial, P_SYN_CNF, nullptr},
    {SI_UAB_IND, PS_ARU, Dec::Abort, false, 0, P_UAB_IND, "Received a SUABIND\n\n"},
    {SI_UER_IND, PS_UER_IND, Dec::UserData, false, kFReason, P_UER_IND, nullptr},
    {SI_FLO_IND, PS_FC, Dec::None, false, 0, 0, nullptr},
};

const Arrival* arrivalOf(uint32_t sessionEvent) {
  for (const Arrival& a : kArrivals)
    if (a.sessionEvent == sessionEvent) return &a;
  return nullptr;
}

void dropData(SIDU* sidu) {
  s_freeChain(sidu->userData);
  sidu->userData = nullptr;
}

// A fresh PIDU in a tree of its own; NULL (traced, PE_MALLOC) on no memory.
PIDU* newPidu() {
  XmTree* tree = _xm_allocTree(nullptr);
  auto* pidu = tree != nullptr ? static_cast<PIDU*>(_xm_allocItem(tree, sizeof(PIDU), XM_ZERO)) : nullptr;
  if (pidu == nullptr) {
    if (tree != nullptr) _xm_freeTree(tree);
    TM_TRACE(ps_TM_handle, 1, kSrc, "Malloc failed on PIDU coming up the stack\n\n");
    QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
    return nullptr;
  }
  p_clear_pidu(pidu);
  TM_TRACE(ps_TM_handle, 64, kSrc, "ps_ssu: pidu=%lx\n\n", reinterpret_cast<unsigned long>(pidu));
  return pidu;
}

// Simply-encoded data is read when the connection defines exactly one
// context, or none and a default context.
bool simplyEncoded(const Pmachine* pm) {
  return pm->definedCount == 1 || (pm->definedCount == 0 && pm->dfltAsIdx != -1);
}

// Decodes the SIDU's user data; the decoder's error is the machine's last
// error.
void decode(Pmachine* pm, SIDU* sidu, Dec dec) {
  AaParseFn fn = nullptr;
  void* record = nullptr;
  switch (dec) {
    case Dec::None:
      return;
    case Dec::UserData:
      fn = psParseUserData;
      record = &inf;
      break;
    case Dec::DataOrSimple:
      fn = simplyEncoded(pm) ? psParseSimple : psParseUserData;
      record = &inf;
      break;
    case Dec::Simple:
      fn = psParseSimple;
      record = &inf;
      break;
    case Dec::CP:
      cp = CP_type{};
      fn = psParseCP;
      record = &cp;
      break;
    case Dec::CPA:
      cpa = CPA_PPDU{};
      fn = psParseCPA;
      record = &cpa;
      break;
    case Dec::CPR:
      cpr = CPR_PPDU{};
      fn = psParseCPR;
      record = &cpr;
      break;
    case Dec::RS:
      rs = RS_PPDU{};
      fn = psParseRS;
      record = &rs;
      break;
    case Dec::RSA:
      rsa = RSA_PPDU{};
      fn = psParseRSA;
      record = &rsa;
      break;
    case Dec::Typed:
      ttd = Typed_data_type{};
      fn = psParseTyped;
      record = &ttd;
      break;
    case Dec::Abort:
      abrt = Abort_type{};
      fn = psParseAbort;
      record = &abrt;
      break;
  }
  if (sidu->userData == nullptr) return;
  set_Pcalled(pm);
  aSetUp(sidu->userData);
  pdvFmtPrs = 0;
  (void)p_parse(fn, record, &pm->lastError);
}

void copyFields(uint32_t fields, const SIDU* sidu, PIDU* pidu) {
  pidu->credit = sidu->credit;
  if ((fields & kFReason) != 0) pidu->reason = static_cast<int32_t>(sidu->reason);
  if ((fields & kFSerial) != 0) pidu->serial = sidu->serial;
  if ((fields & kFTokens) != 0) pidu->tokenItem = sidu->tokens;
  if ((fields & kFSync) != 0) pidu->syncType = sidu->syncType;
  if ((fields & kFActIds) != 0) {
    pidu->activityId = p_actIdFromSession(sidu->activityId);
    pidu->oldActivityId = p_actIdFromSession(sidu->oldActivityId);
  }
  if ((fields & kFCid) != 0) pidu->cid = sidu->cid;
  if ((fields & kFConnect) != 0) {
    pidu->sessRequirements = sidu->requirements;
    pidu->connectWord = sidu->userRef;
    pidu->sessVersion = sidu->version;
  }
}

// Holds the chain of an event's pre-encoded values while the machine runs
// (see p_keptChain): unless an indication took it to the user, the chain
// goes back to the pool when the event ends.
class KeptChain {
 public:
  explicit KeptChain(SessionBuffer* chain) : outer_(p_keptChain) { p_keptChain = chain; }
  ~KeptChain() {
    if (p_keptChain != nullptr) s_freeChain(p_keptChain);
    p_keptChain = outer_;
  }
  KeptChain(const KeptChain&) = delete;
  KeptChain& operator=(const KeptChain&) = delete;

 private:
  SessionBuffer* outer_;
};

// The fate of a decoded event's user data: pre-encoded values read from it
// lie in its buffers, which are then taken out of the SIDU to be held while
// the event runs (the indication that carries the values gives them to the
// user); data without such values, or that is to be dropped, goes back to
// the pool at once. Returns the chain to hold, or NULL.
SessionBuffer* valuesChain(Pmachine* pm, PIDU* pidu, SIDU* sidu, bool drop) {
  if (sidu->userData == nullptr) return nullptr;
  if (pm->preEncRcv == 0 || drop) {
    pm->preEncRcv = 0;
    dropData(sidu);
    return nullptr;
  }
  pidu->endOfSdu = sidu->userData->endFlag != 0 ? 1 : 0;
  if (pidu->endOfSdu != 0) pm->preEncRcv = 0;
  SessionBuffer* kept = sidu->userData;
  sidu->userData = nullptr;
  return kept;
}

// The tail every decoded event goes through: the user data's fate, the
// decoder's error, then the machine.
int32_t finish(Pmachine* pm, PIDU* pidu, SIDU* sidu, bool freeData) {
  const KeptChain keep(valuesChain(pm, pidu, sidu, freeData || pm->lastError != 0));
  const auto err = static_cast<uint32_t>(pm->lastError);
  if (err == AAE_NOMEM || static_cast<uint32_t>(QvGetOsiError()) == PE_MALLOC) {
    PquickAbort(pm, pidu);
    aafreeall(aagetlist());
    return 0;
  }
  if (err != 0) {
    pidu->userError = err;
    pm->lastError = 0;
    if (sidu->event != SI_PAB_IND && sidu->event != SI_UAB_IND && sidu->event != SI_REL_CNF &&
        ppduARP(pm, pidu, 0, -1) == 0)
      (void)PsendQabortDown(pm);
    pidu->event = PS_RAB_IND;
  } else if (pdvFmtPrs != 0) {
    pidu->userError = pdvFmtPrs;
  } else if (QvGetOsiError() != 0) {
    pidu->userError = static_cast<uint32_t>(QvGetOsiError());
  }
  const uint32_t r = p_fsm(pm, pidu);
  aafreeall(aagetlist());
  return static_cast<int32_t>(r);
}

// The calling address of an S-CONNECT indication into the PIDU's tree;
// false (traced) on no memory.
bool callingAddress(const SIDU* sidu, PIDU* pidu) {
  const SAddress* a = sidu->address;
  if (a == nullptr) return true;
  XmTree* tree = _xm_allocTree(xm_getParentOfItem(pidu));
  if (tree == nullptr) {
    TM_TRACE(ps_TM_handle, 1, kSrc, "Malloc failed on SCONIND paddr_subtree\n\n");
    return false;
  }
  auto copy = [&](const uint8_t* from, uint32_t n, OctStgV* to, const char* what) {
    to->length = n;
    to->octets = static_cast<uint8_t*>(_xm_allocItem(tree, n > 0 ? n : 1, 0));
    if (to->octets == nullptr) {
      TM_TRACE(ps_TM_handle, 1, kSrc, "%s", what);
      return false;
    }
    if (n > 0) std::memcpy(to->octets, from, n);
    return true;
  };
  UL_Paddress& r = pidu->remote;
  const uint32_t slen = a->ssap.len < kSsapMaxLen ? a->ssap.len : kSsapMaxLen;
  if (!copy(a->ssap.sel, slen, &r.sSel, "Malloc failed on SCONIND pidu->remote.address.sSel\n\n")) return false;
  r.mask |= 2;
  const uint32_t tlen = a->tsap.len < kTsapMaxLen ? a->tsap.len : kTsapMaxLen;
  if (!copy(a->tsap.sel, tlen, &r.tSel, "Malloc failed on SCONIND pidu->remote.address.tSel\n\n")) return false;
  r.mask |= 4;
  auto* n = static_cast<UL_NaddrEntry*>(_xm_allocItem(tree, sizeof(UL_NaddrEntry), XM_ZERO));
  if (n == nullptr) {
    TM_TRACE(ps_TM_handle, 1, kSrc, "Malloc failed on SCONIND nAddr\n\n");
    return false;
  }
  const uint32_t nlen = a->nsap.len < kNsapMaxLen ? a->nsap.len : kNsapMaxLen;
  if (!copy(a->nsap.addr, nlen, &n->addr, "Malloc failed on SCONIND nAddr->data.value\n\n")) return false;
  n->links.next = n->links.prev = &r.nAddrs.links;
  r.nAddrs.links.next = r.nAddrs.links.prev = &n->links;
  r.nAddrs.count = 1;
  return true;
}

int32_t connectIndication(Pmachine* pm, SIDU* sidu) {
  TM_TRACE(tm_ts_modCB, 16384, kSrc, "Received a SCONIND\n\n");
  PIDU* pidu = newPidu();
  if (pidu == nullptr || !callingAddress(sidu, pidu)) {
    QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
    dropData(sidu);
    PquickAbort(pm, pidu);
    return 0;
  }
  copyFields(kFTokens | kFSerial | kFCid | kFConnect, sidu, pidu);
  pidu->event = PS_CP;
  decode(pm, sidu, Dec::CP);
  // Without user data there is no CP to answer.
  if (sidu->userData == nullptr) pm->lastError = static_cast<int32_t>(AAE_MSGPARAM);
  // Values of a pre-encoded syntax in the CP's user data stay in its
  // buffers until the P-CONNECT indication has given them to the user, also
  // when the CP is refused in part (the machine decides what goes up).
  const KeptChain keep(valuesChain(pm, pidu, sidu, false));
  const auto err = static_cast<uint32_t>(pm->lastError);
  // These the CP's answer refuses; any other error ends the connection.
  if (err != 0 && err != PE_NOT_PRE_ENC && err != PE_PSAP_NOT && err != PE_PCTXID_INV && err != PE_NO_RESOURCES) {
    bool sent = false;
    if (err != AAE_NOMEM) {
      pm->lastError = 0;
      sent = ppduARP(pm, nullptr, 0, -1) != 0;
    }
    if (!sent) (void)PsendQabortDown(pm);
    p_free_pidu(pidu);
    pm_dealloc(pm);
    aafreeall(aagetlist());
    return 0;
  }
  if (pdvFmtPrs != 0) pidu->userError = pdvFmtPrs;
  const uint32_t r = p_fsm(pm, pidu);
  aafreeall(aagetlist());
  return static_cast<int32_t>(r);
}

// The event a decoded S-TYPED-DATA makes.
uint32_t typedEvent() {
  switch (ttd.kind) {
    case kPpduAc:
      return PS_AC;
    case kPpduAca:
      return PS_ACA;
    default:
      return PS_TTD;
  }
}

// Whether a value of the connection could travel pre-encoded: some context
// in use has an abstract syntax without routines.
bool anyPreEncoded(const Pmachine* pm) {
  const AbsSyntaxTable* t = pm_asTable(pm);
  if (t == nullptr) return false;
  if (pm->passThrough != 0) return true;
  auto preEncoded = [&](int32_t asIdx) {
    return asIdx >= 0 && asIdx < kPsMaxAsyn && t->entries[asIdx].id.count != kPsFreeEntry &&
           t->entries[asIdx].parse == nullptr;
  };
  if (preEncoded(pm->dfltAsIdx)) return true;
  for (const PcdtEntry& e : pm->pcdt)
    if (e.ctxId != -1 && preEncoded(e.asIdx)) return true;
  return false;
}

// The octets of a ring of buffers.
uint64_t ringLength(const SessionBuffer* first) {
  uint64_t n = 0;
  const SessionBuffer* b = first;
  do {
    n += b->length;
    b = b->next;
  } while (b != nullptr && b != first);
  return n;
}

// Splices a segment (a ring of one or more buffers) onto the held chain.
void appendHeld(Pmachine* pm, SessionBuffer* b) {
  pm->heldLength += ringLength(b);
  if (pm->heldChain == nullptr) {
    pm->heldChain = b;
    return;
  }
  SessionBuffer* h = pm->heldChain;
  SessionBuffer* last = b->prev;
  h->prev->next = b;
  b->prev = h->prev;
  last->next = h;
  h->prev = last;
}

int32_t dataIndication(Pmachine* pm, SIDU* sidu) {
  const bool typed = sidu->event == SI_TD_IND;
  if (pm->x410Mode != 0 && !typed) {
    if (PsendPreEncodedToUser(pm, sidu) != 0) return 1;
    dropData(sidu);
    // A delivery that failed has ended the connection already.
    if (find_pm_pm(pm) != nullptr) PquickAbort(pm, nullptr);
    return 0;
  }
  if (segmentedData(pm, sidu) == 0) {
    // A segment handed to the user may have ended the connection: the
    // user's callback can abort it, and a failed delivery quick-aborts it.
    if (find_pm_pm(pm) == nullptr) {
      dropData(sidu);
      return 0;
    }
    if (pm->lastError == 0 && pdvFmtPrs == 0 && QvGetOsiError() == 0) {
      if (pm->heldChain != nullptr) {
        SIDU more{};
        more.event = kSReceive;
        more.credit = 1;
        (void)ps_session(pm->s, &more);
      }
      return 1;
    }
    PIDU* pidu = newPidu();
    if (pidu == nullptr) {
      dropData(sidu);
      PquickAbort(pm, nullptr);
      return 0;
    }
    if (pm->lastError == 0) pm->lastError = static_cast<int32_t>(pdvFmtPrs != 0 ? pdvFmtPrs : QvGetOsiError());
    QvSetOsiError(0);
    pidu->failedInd = typed ? P_TD_IND : P_DT_IND;
    return finish(pm, pidu, sidu, false);
  }
  PIDU* pidu = newPidu();
  if (pidu == nullptr) {
    dropData(sidu);
    PquickAbort(pm, nullptr);
    return 0;
  }
  pidu->credit = sidu->credit;
  pidu->endOfSdu = 1;
  decode(pm, sidu, typed ? Dec::Typed : Dec::DataOrSimple);
  pidu->event = typed ? typedEvent() : PS_TD;
  if (pm->lastError != 0) pidu->failedInd = typed ? P_TD_IND : P_DT_IND;
  return finish(pm, pidu, sidu, false);
}

// Token give and please in X.410 mode carry the user's octets as they are.
int32_t x410Tokens(Pmachine* pm, SIDU* sidu) {
  PIDU* pidu = newPidu();
  if (pidu == nullptr) {
    dropData(sidu);
    PquickAbort(pm, nullptr);
    return 0;
  }
  copyFields(kFTokens, sidu, pidu);
  auto* e = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(pidu), sizeof(DElem), XM_ZERO));
  if (e == nullptr) {
    dropData(sidu);
    QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
    PquickAbort(pm, pidu);
    return 0;
  }
  e->pctxId = -1;
  e->value = sidu->userData;
  KeptChain kept(sidu->userData);
  sidu->userData = nullptr;
  e->next = e->prev = &pidu->dataList;
  pidu->dataList.next = pidu->dataList.prev = e;
  return P_deliver(pm, pidu, sidu->event == SI_GT_IND ? P_GT_IND : P_PT_IND) ? 1 : 0;
}

}  // namespace

int32_t ps_ssu(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return 0;
  PsLock lock;
  QvSetOsiError(0);
  inf.kind = 0;
  TM_TRACE(ps_TM_handle, 64, kSrc, "ps_ssu: sidu=%lx ->event=%d ->buffer=%lx ->credit=%x\n\n",
           reinterpret_cast<unsigned long>(sidu), static_cast<int>(sidu->event),
           reinterpret_cast<unsigned long>(sidu->userData), static_cast<unsigned>(sidu->credit));
  Pmachine* pm = find_pm_sm(s);
  if (pm == nullptr) {
    if (sidu->event != SI_CON_IND) {
      // Nobody wants it; its buffers go back to the pool.
      if (sidu->event != SI_DT_CNF && sidu->event != SI_PAB_IND)
        TM_TRACE(ps_TM_handle, 32, kSrc, "Supressed extraneous event = 0x%x\n", static_cast<unsigned>(sidu->event));
      dropData(sidu);
      return 0;
    }
    pm = pm_alloc(nullptr, s, nullptr, 0);
    if (pm == nullptr) {
      dropData(sidu);
      return 0;
    }
  }
  TM_TRACE(ps_TM_handle, 64, kSrc, "ps_ssu: p=%lx\n\n", reinterpret_cast<unsigned long>(pm));
  set_Pcalled(pm);
  switch (sidu->event) {
    case SI_CON_IND:
      return connectIndication(pm, sidu);
    case SI_DT_IND:
    case SI_TD_IND:
      return dataIndication(pm, sidu);
    case SI_DT_CNF:
      if (pm->cnfSuppress != 0) {
        dropData(sidu);
        --pm->cnfSuppress;
        TM_TRACE(ps_TM_handle, 32, kSrc, "Supressed an SDTCNF, %d left for user %x\n",
                 static_cast<int>(pm->cnfSuppress), static_cast<unsigned>(reinterpret_cast<uintptr_t>(pm->user)));
        return 1;
      }
      break;
    case SI_PT_IND:
    case SI_GT_IND:
      if (pm->x410Mode != 0 && sidu->userData != nullptr && (sidu->event == SI_PT_IND || pm->sessVersion == 2))
        return x410Tokens(pm, sidu);
      break;
    default:
      break;
  }
  const Arrival* a = arrivalOf(sidu->event);
  if (a == nullptr) {
    dropData(sidu);
    PquickAbort(pm, nullptr);
    return 0;
  }
  PIDU* pidu = newPidu();
  if (pidu == nullptr) {
    dropData(sidu);
    PquickAbort(pm, nullptr);
    return 0;
  }
  if (a->trace != nullptr) TM_TRACE(tm_ts_modCB, 16384, kSrc, "%s", a->trace);
  copyFields(a->fields, sidu, pidu);
  pidu->event = a->event;
  if (!a->version2Only || pm->sessVersion == 2) decode(pm, sidu, a->dec);
  else decode(pm, sidu, Dec::None);
  if (pm->lastError != 0) pidu->failedInd = a->failedInd;
  switch (sidu->event) {
    case SI_EX_IND:
      pm->expedited = 1;
      break;
    case SI_CON_REF:
      // A refusal of the session layer itself: no PPDU to read.
      if (sidu->reason != 0 && sidu->userData == nullptr) {
        pidu->event = PS_CONREF;
        pidu->reason = static_cast<int32_t>(sidu->reason);
      }
      break;
    case SI_UAB_IND:
      if (sidu->userData == nullptr || abrt.kind == kPpduSequence) pidu->event = PS_ARP;
      break;
    default:
      break;
  }
  return finish(pm, pidu, sidu, sidu->event == SI_DT_CNF);
}

// ---------------------------------------------------------------------------
// Received data in segments

int32_t segmentedData(Pmachine* pm, SIDU* sidu) {
  SessionBuffer* b = sidu->userData;
  if (b == nullptr) return 0;
  const bool end = b->endFlag != 0;
  if (end && pm->preEncRcv == 0) {
    if (pm->heldChain != nullptr) {
      if (pm->heldLength + ringLength(b) > kPsMaxSsdu) {
        s_freeChain(pm->heldChain);
        pm->heldChain = nullptr;
        pm->heldLength = 0;
        dropData(sidu);
        pm->lastError = static_cast<int32_t>(PE_DATA_MAX);
        return 0;
      }
      appendHeld(pm, b);
      sidu->userData = pm->heldChain;
      pm->heldChain = nullptr;
      pm->heldLength = 0;
    }
    return 1;
  }
  if (pm->heldChain != nullptr) {
    if (pm->heldLength + ringLength(b) > kPsMaxSsdu) {
      // A unit this large is refused: the connection ends.
      s_freeChain(pm->heldChain);
      pm->heldChain = nullptr;
      pm->heldLength = 0;
      dropData(sidu);
      pm->lastError = static_cast<int32_t>(PE_DATA_MAX);
      return 0;
    }
    sidu->userData = nullptr;
    appendHeld(pm, b);
    return 0;
  }
  // The machine is not touched once a segment has gone to the user: the
  // flag for the segments that follow is set before.
  if (pm->preEncRcv != 0) {
    TM_TRACE(ps_TM_handle, 256, kSrc, "got another pre-encoded buffer, send to user!\n");
    pm->preEncRcv = end ? 0 : 1;
    if (PsendPreEncodedToUser(pm, sidu) == 0) dropData(sidu);
    return 0;
  }
  if (PtestForPreEncoded(pm, sidu) != 0) {
    TM_TRACE(ps_TM_handle, 256, kSrc, "It is the first, parsed PCI and send to user!\n");
    return 0;
  }
  if (find_pm_pm(pm) == nullptr || pm->lastError != 0) return 0;
  sidu->userData = nullptr;
  appendHeld(pm, b);
  return 0;
}

int32_t PtestForPreEncoded(Pmachine* pm, SIDU* sidu) {
  if (sidu->userData == nullptr || !anyPreEncoded(pm)) return 0;
  PIDU* pidu = newPidu();
  if (pidu == nullptr) return 0;
  const bool typed = sidu->event == SI_TD_IND;
  set_Pcalled(pm);
  aSetUp(sidu->userData);
  pdvFmtPrs = 0;
  inf = User_data{};
  PS_pre_encoded_test = 1;
  rtp_testForPreEncoded = 1;
  (void)p_parse(simplyEncoded(pm) ? psParseSimple : psParseUserData, &inf, &pm->lastError);
  PS_pre_encoded_test = 0;
  rtp_testForPreEncoded = 0;
  if (static_cast<uint32_t>(pm->lastError) == PE_NOT_PRE_ENC) pm->lastError = 0;
  if (pm->lastError != 0 || pdvFmtPrs != 0 || pm->preEncRcv == 0) {
    pm->preEncRcv = 0;
    p_free_pidu(pidu);
    aafreeall(aagetlist());
    return 0;
  }
  if (get_userdata(pm, pidu, &inf) == 0) {
    pm->preEncRcv = 0;
    p_free_pidu(pidu);
    aafreeall(aagetlist());
    return 0;
  }
  pidu->credit = sidu->credit;
  pidu->endOfSdu = sidu->userData->endFlag != 0 ? 1 : 0;
  // The segments after this one come through the pass-through.
  pm->preEncRcv = pidu->endOfSdu != 0 ? 0 : 1;
  // The value lies in the segment's buffers, which go with the indication;
  // when it cannot be made they go back to the pool.
  KeptChain kept(sidu->userData);
  sidu->userData = nullptr;
  const bool delivered = P_deliver(pm, pidu, typed ? P_TD_IND : P_DT_IND);
  aafreeall(aagetlist());
  return delivered ? 1 : 0;
}

int32_t PsendPreEncodedToUser(Pmachine* pm, SIDU* sidu) {
  PIDU* pidu = newPidu();
  if (pidu == nullptr) return 0;
  auto* e = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(pidu), sizeof(DElem), XM_ZERO));
  if (e == nullptr) {
    TM_TRACE(ps_TM_handle, 1, kSrc, "Malloc failed on PIDU coming up the stack\n\n");
    QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
    p_free_pidu(pidu);
    return 0;
  }
  pidu->credit = sidu->credit;
  pidu->endOfSdu = sidu->userData != nullptr && sidu->userData->endFlag != 0 ? 1 : 0;
  e->pctxId = -1;
  e->value = sidu->userData;
  // The segment goes with the indication, or back to the pool when that
  // cannot be made.
  KeptChain kept(sidu->userData);
  sidu->userData = nullptr;
  e->next = e->prev = &pidu->dataList;
  pidu->dataList.next = pidu->dataList.prev = e;
  return P_deliver(pm, pidu, sidu->event == SI_TD_IND ? P_TD_IND : P_DT_IND) ? 1 : 0;
}
