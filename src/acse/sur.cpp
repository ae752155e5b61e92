// Service-user control blocks, their element lists, routing and delivery.
#include "src/acse/sur.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

#include "common/qvthread.h"
#include "src/acse/abort.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/alsur";

std::atomic<const AlSurConf*> gConf{nullptr};

const AlSurConf* conf() {
  const AlSurConf* c = gConf.load(std::memory_order_acquire);
  if (c == nullptr) TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surConf is not registered\n");
  return c;
}

unsigned long hexOf(const void* p) { return reinterpret_cast<unsigned long>(p); }

void ringInit(UL_Ring* ring) {
  ring->links.next = ring->links.prev = &ring->links;
  ring->count = 0;
}

void linkAppend(UL_Ring* ring, UL_Link* l) {
  l->prev = ring->links.prev;
  l->next = &ring->links;
  ring->links.prev->next = l;
  ring->links.prev = l;
  ++ring->count;
}

// Takes `l` out of `ring` and uncounts it; a link that is in no ring (it
// links to itself) is left alone.
void linkRemove(UL_Ring* ring, UL_Link* l) {
  if (l->next == l) return;
  l->prev->next = l->next;
  l->next->prev = l->prev;
  l->next = l->prev = l;
  if (ring != nullptr && ring->count > 0) --ring->count;
}

UL_Link* ringFirst(UL_Ring* ring) { return ring->links.next != &ring->links ? ring->links.next : nullptr; }

UL_Ring* ucbRing(const AlSurConf* c) { return c != nullptr && c->ucbQueue != nullptr ? c->ucbQueue() : nullptr; }

void traceGidu(uint32_t bits, const char* format, const GIDU* gidu) {
  if (!tm_siteOn(al_comTMHandle, bits)) return;
  char name[AL_EVENT_TEXT_SIZE];
  const char* e = al_traceEvent(gidu, name);
  tm_traceSite(al_comTMHandle, bits, kSrc, __LINE__, format, e != nullptr ? e : "(null)");
}

// Destroys the elements made so far after a failed list: each element's
// record goes to its destructor, and the list is left empty.
template <class Elem>
void unwindElems(UL_Ring* list, bool ucbSide) {
  while (UL_Link* l = ringFirst(list)) {
    auto* e = static_cast<Elem*>(l);
    linkRemove(list, l);
    if (const SurEventHndl* h = AL_surGetEventHndl(e->iduType)) {
      SurDtorFn dtor = ucbSide ? h->deleteUCB : h->deleteACB;
      if (dtor != nullptr && e->rdaElem != nullptr) dtor(e->rdaElem);
    }
    _xm_freeItem(e);
  }
  list->count = 0;
}

// Frees a UCB whose deletion has begun, once its last ACB is gone.
void finishUCB(UCB* ucb) {
  if (ringFirst(&ucb->acbList) != nullptr) return;
  ucb->acbList.count = 0;
  AL_surDeleteUcbElemList(ucb);
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surDeleteUCB: ucb 0x%lx is deleted\n", hexOf(ucb));
  _xm_freeTree(ucb->tree);
}

// Every live UCB of the process, whichever record set made it: with
// multi-threading on, the associations of one user run on the stack
// instances of its connections, each on a record set of its own, while the
// user's UCB was made on the instance its Activate came through. Under
// hSerializeRdaSurMutex; a UCB leaves it before it is freed.
std::vector<const UCB*>& liveUcbs() {
  static auto* v = new std::vector<const UCB*>();
  return *v;
}

class SurLock {
 public:
  SurLock() { QvWaitForSingleObject(hSerializeRdaSurMutex); }
  ~SurLock() { QvReleaseMutex(hSerializeRdaSurMutex); }
  SurLock(const SurLock&) = delete;
  SurLock& operator=(const SurLock&) = delete;
};

bool enterUcb(const UCB* ucb) {
  SurLock lock;
  try {
    liveUcbs().push_back(ucb);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void leaveUcb(const UCB* ucb) {
  SurLock lock;
  auto& v = liveUcbs();
  v.erase(std::remove(v.begin(), v.end(), ucb), v.end());
}

bool liveUcbLocked(const UCB* ucb) {
  const auto& v = liveUcbs();
  return std::find(v.begin(), v.end(), ucb) != v.end();
}

bool ucbDeleting(const UCB* ucb) {
  const AlSurConf* c = gConf.load(std::memory_order_acquire);
  return c != nullptr && ucb->cbId == ~c->ucbId;
}

}  // namespace

const AlSurConf* AL_surSetConf(const AlSurConf* c) { return gConf.exchange(c, std::memory_order_acq_rel); }
const AlSurConf* AL_surGetConf() { return gConf.load(std::memory_order_acquire); }

// ---------------------------------------------------------------------------
// Blocks

int32_t AL_surCreateUCB(GIDU* gidu, AlGiduFn receiveEntry, void* userReference) {
  if (receiveEntry == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_PARAM, kSrc, "*** AL_surCreateUCB: surUser is NULL\n");
    return 0;
  }
  const AlSurConf* c = conf();
  XmTree* tree = c != nullptr && gidu != nullptr ? _xm_allocTree(nullptr) : nullptr;
  auto* ucb = tree != nullptr ? static_cast<UCB*>(_xm_allocItem(tree, sizeof(UCB), XM_ZERO)) : nullptr;
  if (ucb == nullptr) {
    _xm_freeTree(tree);
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateUCB: can't create UCB\n");
    return 0;
  }
  void* oldUe = gidu->ue;
  gidu->ue = ucb;
  ucb->next = ucb->prev = ucb;
  ucb->cbId = c->ucbId;
  ucb->tree = tree;
  ucb->userRef = userReference;
  ringInit(&ucb->acbList);
  ucb->receiveEntry = receiveEntry;
  ringInit(&ucb->elemList);
  if (AL_surCreateUcbElemList(gidu) == 0) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateUCB: can't create UCB elemList\n");
    gidu->ue = oldUe;
    _xm_freeTree(tree);
    return 0;
  }
  if (!enterUcb(ucb)) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateUCB: can't create UCB\n");
    gidu->ue = oldUe;
    AL_surDeleteUcbElemList(ucb);
    _xm_freeTree(tree);
    return 0;
  }
  if (UL_Ring* ring = ucbRing(c)) linkAppend(ring, ucb);
  return 1;
}

void AL_surDeleteUCB(UCB* ucb) {
  if (ucb == nullptr) return;
  const AlSurConf* c = gConf.load(std::memory_order_acquire);
  if (!ucbDeleting(ucb)) {
    leaveUcb(ucb);
    linkRemove(ucbRing(c), ucb);
    ucb->cbId = ~ucb->cbId;
  }
  // An ACB that a pass still holds is left to that pass (its delete flag
  // set); deleting the last ACB finishes the UCB.
  UL_Link* l = ringFirst(&ucb->acbList);
  while (l != nullptr) {
    UL_Link* next = l->next != &ucb->acbList.links ? l->next : nullptr;
    auto* acb = static_cast<ACB*>(l);
    if (acb->linkCount > 0) acb->deleteFlag = 1;
    else AL_surDeleteACB(acb);  // may finish the UCB when it is the last
    if (next == nullptr) return;
    l = next;
  }
  finishUCB(ucb);
}

int32_t AL_surCreateACB(GIDU* gidu) {
  const AlSurConf* c = conf();
  XmTree* tree = c != nullptr && gidu != nullptr ? _xm_allocTree(nullptr) : nullptr;
  auto* acb = tree != nullptr ? static_cast<ACB*>(_xm_allocItem(tree, sizeof(ACB), XM_ZERO)) : nullptr;
  if (acb == nullptr) {
    _xm_freeTree(tree);
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateACB: can't create AL_SurACB\n");
    return 0;
  }
  void* oldUc = gidu->uc;
  gidu->uc = acb;
  acb->next = acb->prev = acb;
  acb->tree = tree;
  al_selfLink(&acb->inputQueue);
  ringInit(&acb->elemList);
  auto fail = [&](const char* line) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "%s", line);
    al_deleteGidu(acb->qabortReq);
    al_deleteGidu(acb->qabortInd);
    gidu->uc = oldUc;
    _xm_freeTree(tree);
    return 0;
  };
  acb->qabortReq = al_createGidu(gidu, AL_IDU_RDA, AL_QABORT);
  if (acb->qabortReq == nullptr) return fail("*** AL_surCreateACB: can't create qabort req\n");
  acb->qabortInd = al_createGidu(gidu, AL_IDU_RDA, AL_QABORT);
  if (acb->qabortInd == nullptr) return fail("*** AL_surCreateACB: can't create qabort ind\n");
  acb->cbId = c->acbId;
  const auto* apdu = static_cast<const AcseApdu*>(gidu->idu);
  const ObjIdV* name = nullptr;
  if (apdu != nullptr && apdu->code == AC_APDU_AARQ) name = &apdu->aarq.contextName;
  else if (apdu != nullptr && apdu->code == AC_APDU_AARE) name = &apdu->aare.contextName;
  if (name == nullptr || ul_objidvcpy(&acb->appContext, name, tree) == 0)
    return fail("*** AL_surCreateACB: can't copy app context\n");
  acb->ucb = static_cast<UCB*>(gidu->ue);
  if (AL_surCreateAcbElemList(gidu) == 0) return fail("*** AL_surCreateACB: can't create ACB elemList\n");
  if (acb->ucb != nullptr) {
    QvWaitForSingleObject(hSerializeRdaSurMutex);
    linkAppend(&acb->ucb->acbList, acb);
    QvReleaseMutex(hSerializeRdaSurMutex);
  }
  return 1;
}

void AL_surDeleteACB(ACB* acb) {
  if (acb == nullptr || acb->linkCount > 0) return;
  UCB* ucb = acb->ucb;
  QvWaitForSingleObject(hSerializeRdaSurMutex);
  linkRemove(ucb != nullptr ? &ucb->acbList : nullptr, acb);
  QvReleaseMutex(hSerializeRdaSurMutex);
  acb->cbId = ~acb->cbId;
  al_deleteGidu(acb->qabortReq);
  al_deleteGidu(acb->qabortInd);
  acb->qabortReq = acb->qabortInd = nullptr;
  AL_surDeleteAcbElemList(acb);
  AL_surPurgeInputQue(acb);
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surDeleteACB: acb 0x%lx is deleted\n", hexOf(acb));
  _xm_freeTree(acb->tree);
  if (ucb != nullptr && ucbDeleting(ucb)) finishUCB(ucb);
}

int32_t AL_surValidateUCB(const UCB* ucb) {
  if (ucb == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "AL_surValidateUCB: Warning: UCB contains NULL value\n");
    return 0;
  }
  const AlSurConf* c = conf();
  // A user may hand back a UCB that has since been deleted (its memory
  // freed) or a pointer that never was one: it is looked for among the
  // live UCBs before it is read.
  bool live = false;
  uint32_t id = 0;
  {
    SurLock lock;
    live = liveUcbLocked(ucb);
    if (live) id = ucb->cbId;
  }
  if (!live) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surValidateUCB: UCB 0x%lx is not a live UCB\n", hexOf(ucb));
    return 0;
  }
  const uint32_t want = c != nullptr ? c->ucbId : 0;
  if (c == nullptr || id != want) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surValidateUCB: UCB contains CB ID %d not %d\n",
             static_cast<int32_t>(id), static_cast<int32_t>(want));
    return 0;
  }
  return 1;
}

int32_t AL_surUcbLive(const UCB* ucb) {
  if (ucb == nullptr) return 0;
  SurLock lock;
  return liveUcbLocked(ucb) ? 1 : 0;
}

int32_t AL_surValidateACB(const ACB* acb, const UCB* ucb) {
  if (acb == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "AL_surValidateACB: Warning: ACB contains NULL value (ucb 0x%lx)\n",
             hexOf(ucb));
    return 0;
  }
  // A user may hand back the reference of an association that has since
  // been deleted (its memory freed): it is looked for among the user's
  // associations before it is read. The user's associations may be made
  // and ended on other record sets meanwhile.
  bool held = true;
  uint32_t id = 0;
  {
    SurLock lock;
    if (ucb != nullptr) held = UL_ringHolds(&ucb->acbList, acb);
    if (held) id = acb->cbId;
  }
  if (!held) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surValidateACB: ACB 0x%lx is not one of UCB 0x%lx\n",
             hexOf(acb), hexOf(ucb));
    return 0;
  }
  const AlSurConf* c = conf();
  const uint32_t want = c != nullptr ? c->acbId : 0;
  if (c == nullptr || id != want) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surValidateACB: ACB contains CB ID %d not %d\n",
             static_cast<int32_t>(id), static_cast<int32_t>(want));
    return 0;
  }
  return 1;
}

ACB* AL_surFindACB(const UCB* ucb, bool (*match)(const ACB* acb, const void* arg), const void* arg) {
  if (ucb == nullptr || match == nullptr) return nullptr;
  SurLock lock;
  for (const UL_Link* l = ucb->acbList.links.next; l != nullptr && l != &ucb->acbList.links; l = l->next) {
    const auto* acb = static_cast<const ACB*>(l);
    if (match(acb, arg)) return const_cast<ACB*>(acb);
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Element lists

int32_t AL_surCreateUcbElemList(GIDU* gidu) {
  auto* ucb = static_cast<UCB*>(gidu->ue);
  const AlSurConf* c = conf();
  if (ucb == nullptr || c == nullptr) return 0;
  ringInit(&ucb->elemList);
  for (const SurEventHndl* h = c->eventHndl; h != nullptr && h->iduType != 0; ++h) {
    auto* e = static_cast<UcbElem*>(_xm_allocItem(ucb->tree, sizeof(UcbElem), XM_ZERO));
    if (e == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateUcbElemList: can't create an ucb elem\n");
      unwindElems<UcbElem>(&ucb->elemList, true);
      return 0;
    }
    e->iduType = h->iduType;
    e->rdaElem = h->createUCB != nullptr ? h->createUCB(gidu) : nullptr;
    if (e->rdaElem == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateUcbElemList: can't create ucb elem for idu type %d\n",
               static_cast<int32_t>(h->iduType));
      _xm_freeItem(e);
      unwindElems<UcbElem>(&ucb->elemList, true);
      return 0;
    }
    linkAppend(&ucb->elemList, e);
  }
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surCreateUcbElemList: UCB elemList successfully created\n");
  return 1;
}

int32_t AL_surCreateAcbElemList(GIDU* gidu) {
  auto* ucb = static_cast<UCB*>(gidu->ue);
  auto* acb = static_cast<ACB*>(gidu->uc);
  const AlSurConf* c = conf();
  if (acb == nullptr || c == nullptr) return 0;
  ringInit(&acb->elemList);
  acb->currentElem = nullptr;
  for (const SurEventHndl* h = c->eventHndl; h != nullptr && h->iduType != 0; ++h) {
    auto* e = static_cast<AcbElem*>(_xm_allocItem(acb->tree, sizeof(AcbElem), XM_ZERO));
    if (e == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateAcbElemList: can't create an acb elem\n");
      unwindElems<AcbElem>(&acb->elemList, false);
      return 0;
    }
    e->iduType = h->iduType;
    e->ucbElem = ucb != nullptr ? AL_surGetUcbElem(h->iduType, ucb) : nullptr;
    if (e->ucbElem == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_TABLE, kSrc, "*** AL_surCreateAcbElemList: can't find corresponding ucb elem\n");
      _xm_freeItem(e);
      unwindElems<AcbElem>(&acb->elemList, false);
      return 0;
    }
    e->rdaElem = h->createACB != nullptr ? h->createACB(gidu) : nullptr;
    if (e->rdaElem == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surCreateAcbElemList: can't create acb elem for idu type %d\n",
               static_cast<int32_t>(h->iduType));
      _xm_freeItem(e);
      unwindElems<AcbElem>(&acb->elemList, false);
      return 0;
    }
    linkAppend(&acb->elemList, e);
  }
  acb->currentElem = static_cast<AcbElem*>(ringFirst(&acb->elemList));
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surCreateAcbElemList: ACB elemList successfully created\n");
  return 1;
}

void AL_surDeleteUcbElemList(UCB* ucb) {
  if (ucb == nullptr) return;
  unwindElems<UcbElem>(&ucb->elemList, true);
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surDeleteUcbElemList: UCB elemList successfully deleted\n");
}

void AL_surDeleteAcbElemList(ACB* acb) {
  if (acb == nullptr) return;
  unwindElems<AcbElem>(&acb->elemList, false);
  acb->currentElem = nullptr;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surDeleteAcbElemList: ACB elemList successfully deleted\n");
}

UcbElem* AL_surGetUcbElem(uint32_t iduType, UCB* ucb) {
  if (ucb != nullptr)
    for (UL_Link* l = ucb->elemList.links.next; l != &ucb->elemList.links; l = l->next)
      if (static_cast<UcbElem*>(l)->iduType == iduType) return static_cast<UcbElem*>(l);
  TM_TRACE(al_comTMHandle, AL_TL_TABLE, kSrc, "*** AL_surGetUcbElem: can't find iduType 0x%x in elemList\n", iduType);
  return nullptr;
}

int32_t AL_surUpdateCurrentCB(uint32_t iduType, ACB* acb) {
  if (acb == nullptr) return 0;
  if (acb->currentElem != nullptr && acb->currentElem->iduType == iduType) return 1;
  for (UL_Link* l = acb->elemList.links.next; l != &acb->elemList.links; l = l->next) {
    if (static_cast<AcbElem*>(l)->iduType == iduType) {
      acb->currentElem = static_cast<AcbElem*>(l);
      TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surUpdateCurrentCB: currentCB updated\n");
      return 1;
    }
  }
  TM_TRACE(al_comTMHandle, AL_TL_TABLE, kSrc, "*** AL_surUpdateCurrentCB: can't find iduType 0x%x in elemList\n",
           iduType);
  return 0;
}

const SurEventHndl* AL_surGetEventHndl(uint32_t iduType) {
  const AlSurConf* c = gConf.load(std::memory_order_acquire);
  if (c == nullptr || iduType == 0) return nullptr;
  for (const SurEventHndl* h = c->eventHndl; h != nullptr && h->iduType != 0; ++h)
    if (h->iduType == iduType) return h;
  return nullptr;
}

const AlGiduFn* AL_surGetRouteTbl(uint32_t iduType) {
  const SurEventHndl* h = AL_surGetEventHndl(iduType);
  return h != nullptr ? h->routeTbl : nullptr;
}

// ---------------------------------------------------------------------------
// Routing

void AL_surRoute(GIDU* gidu, int32_t qopt, int32_t dir) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (acb == nullptr) {
    traceGidu(AL_TL_ERROR, "*** AL_surRoute: no ACB, %s deleted\n", gidu);
    al_deleteGidu(gidu);
    return;
  }
  if (qopt == AL_SUR_REVERSE) {
    ++acb->routeLevel;
    const uint32_t level = acb->routeLevel;
    AL_surRouteQ(gidu);
    TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "AL_surRoute: reversed routing direction, routeLevel=%d\n",
             static_cast<int32_t>(level));
    return;
  }
  if (dir == 1) {
    if (tm_siteOn(al_comTMHandle, AL_TL_ROUTE)) {
      char name[AL_EVENT_TEXT_SIZE];
      tm_traceSite(al_comTMHandle, AL_TL_ROUTE, kSrc, __LINE__, "AL_surRoute: qopt is AL_SUR_QUE, queue %s; routeLevel=%d\n",
                   al_traceEvent(gidu, name), static_cast<int32_t>(acb->routeLevel));
    }
    AL_surRouteQ(gidu);
    return;
  }
  // Odd levels step down the chains back, even levels up.
  const int64_t level = acb->routeLevel;
  const int64_t at = (level & 1) != 0 ? level - 4 : level;
  AlGiduFn handler = acb->routeTbl != nullptr && at >= 0 && at < kSurRouteEntries ? acb->routeTbl[at] : nullptr;
  if (handler == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_surRoute: no handler at route level %ld\n",
             static_cast<long>(at));
    traceGidu(AL_TL_ERROR, "*** AL_surRoute: %s deleted\n", gidu);
    al_deleteGidu(gidu);
    return;
  }
  acb->routeLevel = static_cast<uint32_t>((level & 1) != 0 ? level - 4 : level + 4);
  if (tm_siteOn(al_comTMHandle, AL_TL_ROUTE)) {
    char name[AL_EVENT_TEXT_SIZE];
    tm_traceSite(al_comTMHandle, AL_TL_ROUTE, kSrc, __LINE__,
                 "AL_surRoute: routing %s to next module, next routeLevel = %d\n", al_traceEvent(gidu, name),
                 static_cast<int32_t>(acb->routeLevel));
  }
  handler(gidu);
}

void AL_surRouteQ(GIDU* gidu) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (acb == nullptr) {
    traceGidu(AL_TL_ERROR, "*** AL_surRouteQ: no ACB, %s deleted\n", gidu);
    al_deleteGidu(gidu);
    return;
  }
  gidu->ue = const_cast<AlGiduFn*>(acb->routeTbl);
  gidu->uc = reinterpret_cast<void*>(static_cast<uintptr_t>(acb->routeLevel));
  al_queueAppend(&acb->inputQueue, gidu);
  ++acb->inputCount;
  TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "AL_surRouteQ: current input queue contains %d events\n",
           static_cast<int32_t>(acb->inputCount));
}

GIDU* AL_surRouteDQ(ACB* acb) {
  if (acb == nullptr || acb->inputCount < 1) return nullptr;
  GIDU* gidu = al_queueTake(&acb->inputQueue);
  if (gidu == nullptr) {
    acb->inputCount = 0;
    return nullptr;
  }
  --acb->inputCount;
  acb->routeTbl = static_cast<const AlGiduFn*>(gidu->ue);
  acb->routeLevel = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gidu->uc));
  gidu->ue = acb->ucb;
  gidu->uc = acb;
  if (tm_siteOn(al_comTMHandle, AL_TL_ROUTE)) {
    char name[AL_EVENT_TEXT_SIZE];
    tm_traceSite(al_comTMHandle, AL_TL_ROUTE, kSrc, __LINE__, "AL_surRouteDQ: %s is removed from input queue (lnkCnt=%d)\n",
                 al_traceEvent(gidu, name), static_cast<int32_t>(acb->inputCount));
  }
  return gidu;
}

void AL_surPurgeInputQue(ACB* acb) {
  if (acb == nullptr) return;
  while (GIDU* g = al_queueTake(&acb->inputQueue)) al_deleteGidu(g);
  acb->inputCount = 0;
}

// ---------------------------------------------------------------------------
// Delivery

void AL_surSendToUser(GIDU* gidu) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  auto* ucb = static_cast<UCB*>(gidu->ue);
  gidu->pc = acb;
  if (acb != nullptr) gidu->uc = acb->userAssocRef;
  gidu->pe = ucb;
  if (ucb != nullptr) {
    gidu->ue = ucb->userRef;
    if (ucb->deleteFlag != 0) gidu->pe = nullptr;
  }
  if (ucb != nullptr && ucb->receiveEntry != nullptr) {
    traceGidu(AL_TL_RESULT, "%s is sent to user\n", gidu);
    ucb->receiveEntry(gidu);
    return;
  }
  traceGidu(AL_TL_ERROR, "*** AL_surSendToUser: UCB is null, free %s\n", gidu);
  al_deleteGidu(gidu);
}

void AL_surSendToAe(GIDU* gidu) {
  traceGidu(AL_TL_RESULT, "%s is sent to AE\n", gidu);
  auto* acb = static_cast<ACB*>(gidu->uc);
  auto* ucb = static_cast<UCB*>(gidu->ue);
  gidu->pc = acb != nullptr ? acb->aeAssocRef : nullptr;
  gidu->pe = ucb != nullptr ? ucb->aeUserRef : nullptr;
  const AlSurConf* c = conf();
  if (c == nullptr || c->aeSnd == nullptr) {
    traceGidu(AL_TL_ERROR, "*** AL_surSendToAe: no entry of the AE, %s deleted\n", gidu);
    al_deleteGidu(gidu);
    return;
  }
  c->aeSnd(gidu, gidu->event == AL_ACT_REQ ? c->surRcv : nullptr);
}

void AL_surSendLocalError(GIDU* gidu, uint32_t errNo, AlGiduFn sendFn) {
  al_freeUnit(gidu);
  gidu->event = AL_LOCERR_IND;
  gidu->errNo = errNo;
  if (sendFn != nullptr) sendFn(gidu);
  else al_deleteGidu(gidu);
}

void AL_surSendQuickAborts(GIDU* gidu, AlGiduFn userFn, AlGiduFn providerFn, uint32_t errNo) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (acb == nullptr) return;
  AL_surPurgeInputQue(acb);
  acb->passFlag = 1;
  acb->deleteFlag = 1;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_surSendQuickAborts: delete flag of ACB 0x%lx is on\n", hexOf(acb));
  struct Reserved {
    GIDU** slot;
    AlGiduFn fn;
    const char* line;
  };
  const Reserved reserved[] = {
      {&acb->qabortReq, providerFn, "AL_surSendQuickAborts: Quick Abort req is sent to provider (ACB = 0x%lx)\n"},
      {&acb->qabortInd, userFn, "AL_surSendQuickAborts: Quick Abort ind is sent to user (ACB = 0x%lx)\n"},
  };
  for (const Reserved& r : reserved) {
    if (*r.slot == nullptr || r.fn == nullptr) continue;
    GIDU* q = *r.slot;
    *r.slot = nullptr;
    q->ue = gidu->ue;
    q->pe = gidu->pe;
    q->uc = gidu->uc;
    q->pc = gidu->pc;
    q->iduType = gidu->iduType;
    q->errNo = errNo;
    TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, r.line, hexOf(acb));
    r.fn(q);
  }
}
