// The service user's control blocks, their element lists, the route
// stepping by four with its input queue, and delivery to the user and to
// the application entity, under a configuration of doubles.
#include <string>
#include <utility>
#include <vector>

#include "src/acse/acse_apdu.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sur.h"
#include "src/runtime/xm.h"
#include "support/trace_capture.h"
#include "support/xm_count.h"

namespace {

void* ref(uintptr_t v) { return reinterpret_cast<void*>(v); }

uint32_t kContext[] = {1, 0, 9579, 2, 2, 1};

struct Seen {
  std::string who;
  GIDU* gidu;
  uint32_t event;
  uint32_t level;  // the ACB's route level when it was called, or the index of a route step
  AlGiduFn upcall;
};

class Sur : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    self = this;
    ucbs.links.next = ucbs.links.prev = &ucbs.links;
    handlers[0] = {200, routeTbl, ucbCtor, elemDtor, acbCtor, elemDtor};
    handlers[1] = {};
    handlers[2] = {};
    conf = {opQue, AL_surSendToAe, aeSnd, surRcv, handlers, 260, 261, [] { return &self->ucbs; }};
    saved = AL_surSetConf(&conf);
    fillRoute(std::make_integer_sequence<int, 16>{});
  }
  void TearDown() override {
    for (GIDU* g : kept) al_deleteGidu(g);
    for (UCB* u : ucbsMade) AL_surDeleteUCB(u);
    AL_surSetConf(saved);
    self = nullptr;
    XmCountTest::TearDown();
  }

  template <int... N>
  void fillRoute(std::integer_sequence<int, N...>) {
    ((routeTbl[N] = routeStep<N>), ...);
  }
  template <int N>
  static void routeStep(GIDU* g) {
    self->seen.push_back({"route", g, g->event, static_cast<uint32_t>(N), nullptr});
    self->kept.push_back(g);
  }

  // Element records: an XM block each, so that a lost one shows.
  static void* ucbCtor(GIDU*) { return self->failCtor == 1 ? nullptr : _xm_allocItemWithTree(8, XM_ZERO); }
  static void* acbCtor(GIDU*) { return self->failCtor == 2 ? nullptr : _xm_allocItemWithTree(8, XM_ZERO); }
  static void* refusingCtor(GIDU*) { return nullptr; }
  static void elemDtor(void* e) {
    ++self->destroyed;
    _xm_freeTree(xm_getParentOfItem(e));
  }

  static void note(const char* who, GIDU* g, AlGiduFn upcall = nullptr) {
    self->seen.push_back({who, g, g->event, 0, upcall});
    self->kept.push_back(g);
  }
  static void opQue(GIDU* g) { note("opQue", g); }
  static void surRcv(GIDU* g) { note("surRcv", g); }
  static void user(GIDU* g) { note("user", g); }
  static void provider(GIDU* g) { note("provider", g); }
  static void aeSnd(GIDU* g, AlGiduFn upcall) { note("aeSnd", g, upcall); }

  UCB* makeUcb(void* userRef = ref(0x5)) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, AL_ACT_REQ);
    const int32_t ok = AL_surCreateUCB(g, user, userRef);
    auto* u = ok != 0 ? static_cast<UCB*>(g->ue) : nullptr;
    al_deleteGidu(g);
    if (u != nullptr) ucbsMade.push_back(u);
    return u;
  }
  // A GIDU of the user carrying an A-ASSOCIATE request, ue the UCB.
  GIDU* assocReq(UCB* u) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_ACSE, AL_A_ASSOC_REQ);
    auto* apdu = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
    _xm_moveTree(xm_getParentOfItem(g), xm_getParentOfItem(apdu));
    apdu->code = AC_APDU_AARQ;
    apdu->aarq.contextName = ObjIdV{6, kContext};
    g->idu = apdu;
    g->ue = u;
    return g;
  }
  ACB* makeAcb(UCB* u) {
    GIDU* g = assocReq(u);
    const int32_t ok = AL_surCreateACB(g);
    auto* a = ok != 0 ? static_cast<ACB*>(g->uc) : nullptr;
    al_deleteGidu(g);
    return a;
  }
  // A GIDU inside the service user: ue the UCB, uc the ACB.
  GIDU* inside(UCB* u, ACB* a, uint32_t event = 0x8000) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, event);
    g->ue = u;
    g->uc = a;
    return g;
  }
  std::vector<std::string> whoSaw() const {
    std::vector<std::string> out;
    for (const Seen& s : seen) out.push_back(s.who);
    return out;
  }

  static inline Sur* self = nullptr;
  AlGiduFn routeTbl[kSurRouteEntries]{};
  SurEventHndl handlers[3]{};
  AlSurConf conf{};
  const AlSurConf* saved = nullptr;
  UL_Ring ucbs{};
  std::vector<UCB*> ucbsMade;
  std::vector<Seen> seen;
  std::vector<GIDU*> kept;
  int failCtor = 0;
  int destroyed = 0;
};

// ---------------------------------------------------------------------------
// Blocks

TEST_F(Sur, UserBlockIsMadeListedAndDeleted) {
  const long before = xmLive();
  UCB* u = makeUcb();
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->cbId, 260u);
  EXPECT_EQ(u->userRef, ref(0x5));
  EXPECT_EQ(u->receiveEntry, &user);
  EXPECT_EQ(u->deleteFlag, 0u);
  EXPECT_EQ(u->acbList.count, 0u);
  ASSERT_EQ(u->elemList.count, 1u);
  const UcbElem* e = AL_surGetUcbElem(200, u);
  ASSERT_NE(e, nullptr);
  EXPECT_NE(e->rdaElem, nullptr);
  EXPECT_EQ(ucbs.count, 1u);
  EXPECT_EQ(ucbs.links.next, u);
  EXPECT_EQ(AL_surValidateUCB(u), 1);

  ucbsMade.clear();
  AL_surDeleteUCB(u);
  EXPECT_EQ(ucbs.count, 0u);
  EXPECT_EQ(ucbs.links.next, &ucbs.links);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(xmLive(), before);
}

TEST_F(Sur, UserBlockRefusalsLeaveNothingAndTheGiduAsItWas) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_PARAM | AL_TL_ERROR}});
  GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, AL_ACT_REQ);
  g->ue = ref(0x99);
  EXPECT_EQ(AL_surCreateUCB(g, nullptr, nullptr), 0);
  EXPECT_TRUE(trace.contains("*** AL_surCreateUCB: surUser is NULL"));

  // A second service whose element is refused: the first element's record
  // is destroyed again.
  handlers[1] = {220, routeTbl, refusingCtor, elemDtor, acbCtor, elemDtor};
  const long before = xmLive();
  EXPECT_EQ(AL_surCreateUCB(g, user, nullptr), 0);
  EXPECT_TRUE(trace.contains("*** AL_surCreateUcbElemList: can't create ucb elem for idu type 220"));
  EXPECT_TRUE(trace.contains("*** AL_surCreateUCB: can't create UCB elemList"));
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(xmLive(), before);
  handlers[1] = {};

  for (long n = 0; n < 3; ++n) {
    EXPECT_EQ(withBudget(n, [&] { return AL_surCreateUCB(g, user, nullptr); }), 0) << "allocation " << n;
    EXPECT_EQ(xmLive(), before);
  }
  EXPECT_EQ(g->ue, ref(0x99));
  EXPECT_EQ(ucbs.count, 0u);
  al_deleteGidu(g);
}

TEST_F(Sur, AssociationBlockReservesItsQuickAbortsAndStaysWhileAPassHoldsIt) {
  UCB* u = makeUcb();
  const long before = xmLive();
  ACB* a = makeAcb(u);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->cbId, 261u);
  EXPECT_EQ(a->ucb, u);
  EXPECT_EQ(std::vector<uint32_t>(a->appContext.arcs, a->appContext.arcs + a->appContext.count),
            std::vector<uint32_t>(kContext, kContext + 6));
  EXPECT_NE(a->appContext.arcs, kContext);
  for (GIDU* q : {a->qabortReq, a->qabortInd}) {
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->event, AL_QABORT);
    EXPECT_EQ(q->iduType, AL_IDU_RDA);
  }
  ASSERT_NE(a->currentElem, nullptr);
  EXPECT_EQ(a->currentElem->iduType, 200u);
  EXPECT_EQ(a->currentElem->ucbElem, AL_surGetUcbElem(200, u));
  EXPECT_TRUE(al_queueEmpty(&a->inputQueue));
  EXPECT_EQ(u->acbList.count, 1u);
  EXPECT_EQ(AL_surValidateACB(a, u), 1);

  a->linkCount = 1;
  AL_surDeleteACB(a);
  EXPECT_EQ(a->cbId, 261u) << "a pass holds it";
  EXPECT_EQ(u->acbList.count, 1u);
  a->linkCount = 0;
  al_queueAppend(&a->inputQueue, inside(u, a));
  a->inputCount = 1;
  AL_surDeleteACB(a);
  EXPECT_EQ(u->acbList.count, 0u);
  EXPECT_EQ(xmLive(), before) << "with its quick aborts, elements and input queue";
}

TEST_F(Sur, AssociationBlockRefusalsLeaveNothing) {
  UCB* u = makeUcb();
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR | AL_TL_TABLE}});
  const long before = xmLive();
  GIDU* bare = inside(u, static_cast<ACB*>(ref(0x77)), AL_A_ASSOC_REQ);
  EXPECT_EQ(AL_surCreateACB(bare), 0);
  EXPECT_TRUE(trace.contains("*** AL_surCreateACB: can't copy app context"));
  EXPECT_EQ(bare->uc, ref(0x77));
  al_deleteGidu(bare);

  failCtor = 2;
  GIDU* g = assocReq(u);
  EXPECT_EQ(AL_surCreateACB(g), 0);
  EXPECT_TRUE(trace.contains("*** AL_surCreateAcbElemList: can't create acb elem for idu type 200"));
  EXPECT_TRUE(trace.contains("*** AL_surCreateACB: can't create ACB elemList"));
  failCtor = 0;
  long n = 0;
  for (; n < 20; ++n) {
    if (withBudget(n, [&] { return AL_surCreateACB(g); }) != 0) break;
    EXPECT_EQ(g->uc, nullptr) << "allocation " << n;
    EXPECT_EQ(u->acbList.count, 0u);
    EXPECT_EQ(xmLive(), before + 4) << "allocation " << n << ": only the request GIDU is left";
  }
  EXPECT_GT(n, 6) << "the block needs several allocations";
  AL_surDeleteACB(static_cast<ACB*>(g->uc));
  al_deleteGidu(g);
  EXPECT_EQ(xmLive(), before);
}

TEST_F(Sur, DeletingAUserLeavesABusyAssociationToItsPass) {
  const long before = xmLive();
  UCB* u = makeUcb();
  ucbsMade.clear();
  ACB* busy = makeAcb(u);
  ACB* idle = makeAcb(u);
  ASSERT_NE(idle, nullptr);
  busy->linkCount = 1;
  AL_surDeleteUCB(u);  // returns: the busy ACB does not hold it in a loop
  EXPECT_EQ(busy->deleteFlag, 1u);
  EXPECT_EQ(u->acbList.count, 1u) << "the idle one is gone";
  EXPECT_EQ(ucbs.count, 0u) << "the user is unlisted at once";
  EXPECT_EQ(AL_surValidateUCB(u), 0);
  AL_surDeleteUCB(u);  // again: still waiting for the pass
  EXPECT_EQ(busy->deleteFlag, 1u);

  // The pass ends and deletes its ACB, and with it the user.
  busy->linkCount = 0;
  AL_surDeleteACB(busy);
  EXPECT_EQ(xmLive(), before);
  EXPECT_EQ(destroyed, 3);
}

TEST_F(Sur, ValidationNamesTheWrongId) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR | AL_TL_ROUTE}});
  // A live UCB, so that its id is read and found wrong.
  UCB* u = makeUcb();
  ASSERT_NE(u, nullptr);
  u->cbId = 7;
  EXPECT_EQ(AL_surValidateUCB(u), 0);
  u->cbId = 260;
  EXPECT_TRUE(trace.contains("*** AL_surValidateUCB: UCB contains CB ID 7 not 260"));
  EXPECT_EQ(AL_surValidateUCB(nullptr), 0);
  EXPECT_TRUE(trace.contains("AL_surValidateUCB: Warning: UCB contains NULL value"));
  ACB fakeAcb{};
  fakeAcb.cbId = 260;
  EXPECT_EQ(AL_surValidateACB(&fakeAcb, nullptr), 0);
  EXPECT_TRUE(trace.contains("*** AL_surValidateACB: ACB contains CB ID 260 not 261"));
}

// A user's reference to an association of another user, or to one that
// has been deleted, is refused without reading the block.
TEST_F(Sur, AnAssociationOfAnotherUserOrOneDeletedIsNotValid) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  UCB* u = makeUcb();
  UCB* other = makeUcb(ref(0x6));
  ACB* a = makeAcb(u);
  ACB* gone = makeAcb(u);
  ASSERT_NE(gone, nullptr);
  AL_surDeleteACB(gone);
  EXPECT_EQ(AL_surValidateACB(a, u), 1);
  EXPECT_EQ(AL_surValidateACB(a, other), 0);
  EXPECT_TRUE(trace.contains("*** AL_surValidateACB: ACB 0x"));
  EXPECT_EQ(AL_surValidateACB(gone, u), 0);
}

// A user deleted (its memory freed) or a pointer that never was a user is
// refused without reading the block; a live one still passes.
TEST_F(Sur, AUserDeletedOrForeignIsNotValid) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  UCB* live = makeUcb();
  UCB* gone = makeUcb(ref(0x6));
  ASSERT_NE(gone, nullptr);
  ucbsMade.pop_back();
  AL_surDeleteUCB(gone);
  EXPECT_EQ(AL_surValidateUCB(live), 1);
  EXPECT_EQ(AL_surValidateUCB(gone), 0);
  EXPECT_TRUE(trace.contains("*** AL_surValidateUCB: UCB 0x"));
  EXPECT_TRUE(trace.contains(" is not a live UCB"));
  UCB foreign{};
  foreign.cbId = 260;  // the right id, but never made
  EXPECT_EQ(AL_surValidateUCB(&foreign), 0);
  EXPECT_FALSE(trace.contains("CB ID"));
}

TEST_F(Sur, ElementsAreFoundByTheirIduType) {
  handlers[1] = {220, routeTbl, ucbCtor, elemDtor, acbCtor, elemDtor};
  UCB* u = makeUcb();
  ACB* a = makeAcb(u);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->elemList.count, 2u);
  EXPECT_EQ(a->currentElem->iduType, 200u);
  EXPECT_EQ(AL_surUpdateCurrentCB(220, a), 1);
  EXPECT_EQ(a->currentElem->iduType, 220u);
  EXPECT_EQ(a->currentElem->ucbElem, AL_surGetUcbElem(220, u));
  EXPECT_EQ(AL_surUpdateCurrentCB(240, a), 0);
  EXPECT_EQ(a->currentElem->iduType, 220u);
  EXPECT_EQ(AL_surGetUcbElem(240, u), nullptr);
  EXPECT_EQ(AL_surGetEventHndl(220), &handlers[1]);
  EXPECT_EQ(AL_surGetEventHndl(0), nullptr);
  EXPECT_EQ(AL_surGetRouteTbl(200), routeTbl);
  EXPECT_EQ(AL_surGetRouteTbl(240), nullptr);
  AL_surDeleteACB(a);
}

// ---------------------------------------------------------------------------
// Routing

class SurRoute : public Sur {
 protected:
  void SetUp() override {
    Sur::SetUp();
    u = makeUcb();
    a = makeAcb(u);
    ASSERT_NE(a, nullptr);
    a->routeTbl = routeTbl;
  }
  void TearDown() override {
    AL_surDeleteACB(a);
    Sur::TearDown();
  }
  UCB* u = nullptr;
  ACB* a = nullptr;
};

TEST_F(SurRoute, OddLevelsStepDownAndEvenLevelsUpByFour) {
  struct Case {
    uint32_t from;
    uint32_t calls;
    uint32_t after;
  };
  for (const Case c : {Case{13, 9, 9}, Case{2, 2, 6}, Case{0, 0, 4}, Case{5, 1, 1}, Case{12, 12, 16}}) {
    seen.clear();
    a->routeLevel = c.from;
    AL_surRoute(inside(u, a), AL_SUR_QUE, 0);
    ASSERT_EQ(seen.size(), 1u) << "from " << c.from;
    EXPECT_EQ(seen[0].level, c.calls) << "from " << c.from;
    EXPECT_EQ(a->routeLevel, c.after) << "from " << c.from;
  }
}

TEST_F(SurRoute, BeyondTheTableTheGiduIsDropped) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  const long before = xmLive();
  for (uint32_t level : {1u, 3u, 16u}) {
    a->routeLevel = level;
    AL_surRoute(inside(u, a), AL_SUR_QUE, 0);
    EXPECT_EQ(a->routeLevel, level);
  }
  routeTbl[4] = nullptr;
  a->routeLevel = 4;
  AL_surRoute(inside(u, a), AL_SUR_QUE, 0);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(xmLive(), before);
  EXPECT_EQ(trace.count("*** AL_surRoute: no handler at route level"), 4u);
}

TEST_F(SurRoute, ReversedGiduWaitsAndThenLeadsBackTheOtherWay) {
  // The sequencing rules of a send pass (level 0) have run: level 4.
  a->routeLevel = 4;
  GIDU* g = inside(u, a);
  AL_surRoute(g, AL_SUR_REVERSE, 0);
  EXPECT_EQ(a->inputCount, 1u);
  EXPECT_EQ(g->ue, routeTbl);
  EXPECT_EQ(g->uc, reinterpret_cast<void*>(uintptr_t{5}));
  a->routeTbl = nullptr;
  a->routeLevel = 0;
  EXPECT_EQ(AL_surRouteDQ(a), g);
  EXPECT_EQ(a->routeTbl, routeTbl);
  EXPECT_EQ(a->routeLevel, 5u);
  EXPECT_EQ(g->ue, u);
  EXPECT_EQ(g->uc, a);
  EXPECT_EQ(a->inputCount, 0u);
  AL_surRoute(g, AL_SUR_QUE, 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].level, 1u) << "back towards the user";

  // Queued as it stands; an empty queue leaves the route alone.
  a->routeLevel = 6;
  GIDU* h = inside(u, a);
  AL_surRoute(h, AL_SUR_QUE, 1);
  EXPECT_EQ(h->uc, reinterpret_cast<void*>(uintptr_t{6}));
  a->routeLevel = 2;
  EXPECT_EQ(AL_surRouteDQ(a), h);
  EXPECT_EQ(a->routeLevel, 6u);
  a->routeTbl = nullptr;
  EXPECT_EQ(AL_surRouteDQ(a), nullptr);
  EXPECT_EQ(a->routeTbl, nullptr);
  EXPECT_EQ(a->routeLevel, 6u);
  al_deleteGidu(h);
}

// ---------------------------------------------------------------------------
// Delivery

TEST_F(SurRoute, UserGetsItsOwnReferences) {
  a->userAssocRef = ref(0xA5);
  AL_surSendToUser(inside(u, a));
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"user"}));
  const GIDU* g = seen[0].gidu;
  EXPECT_EQ(g->ue, ref(0x5));
  EXPECT_EQ(g->pe, u);
  EXPECT_EQ(g->uc, ref(0xA5));
  EXPECT_EQ(g->pc, a);

  u->deleteFlag = 1;
  AL_surSendToUser(inside(u, a));
  EXPECT_EQ(seen[1].gidu->pe, nullptr) << "a user to be removed";
  u->deleteFlag = 0;

  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  const long before = xmLive();
  AL_surSendToUser(inside(nullptr, a));
  u->receiveEntry = nullptr;
  AL_surSendToUser(inside(u, a));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(xmLive(), before);
  EXPECT_EQ(trace.count("*** AL_surSendToUser: UCB is null, free R-INIT.req"), 2u);
}

TEST_F(SurRoute, EntityGetsItsReferencesAndTheUpcallWithActivateOnly) {
  a->aeAssocRef = ref(0x5A0);
  u->aeUserRef = ref(0xAE1);
  AL_surSendToAe(inside(u, a));
  AL_surSendToAe(inside(u, nullptr, AL_ACT_REQ));
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"aeSnd", "aeSnd"}));
  EXPECT_EQ(seen[0].gidu->pc, ref(0x5A0));
  EXPECT_EQ(seen[0].gidu->pe, ref(0xAE1));
  EXPECT_EQ(seen[0].upcall, nullptr);
  EXPECT_EQ(seen[1].gidu->pc, nullptr) << "no ACB";
  EXPECT_EQ(seen[1].upcall, &surRcv);

  // Without a configuration the GIDU cannot go on.
  AL_surSetConf(nullptr);
  const long before = xmLive();
  AL_surSendToAe(inside(u, a));
  EXPECT_EQ(xmLive(), before);
  AL_surSetConf(&conf);
}

TEST_F(SurRoute, LocalErrorDropsTheUnit) {
  GIDU* g = inside(u, a);
  g->idu = _xm_allocItemWithTree(64, XM_ZERO);
  _xm_moveTree(xm_getParentOfItem(g), xm_getParentOfItem(g->idu));
  const long before = xmLive();
  AL_surSendLocalError(g, 52543, opQue);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"opQue"}));
  EXPECT_EQ(g->event, AL_LOCERR_IND);
  EXPECT_EQ(g->errNo, 52543u);
  EXPECT_EQ(g->idu, nullptr);
  EXPECT_EQ(g->ue, u) << "references stay";
  EXPECT_EQ(xmLive(), before - 2);
}

TEST_F(SurRoute, QuickAbortsGoOnceButEmptyTheInputQueueEachTime) {
  for (int i = 0; i < 2; ++i) AL_surRouteQ(inside(u, a));
  GIDU* cause = inside(u, a, 0x80D6);
  cause->pe = ref(0x3);
  cause->pc = ref(0x4);
  AL_surSendQuickAborts(cause, user, provider, 52543);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"provider", "user"}));
  for (const Seen& s : seen) {
    EXPECT_EQ(s.event, AL_QABORT);
    EXPECT_EQ(s.gidu->errNo, 52543u);
    EXPECT_EQ(s.gidu->ue, u);
    EXPECT_EQ(s.gidu->pe, ref(0x3));
    EXPECT_EQ(s.gidu->uc, a);
    EXPECT_EQ(s.gidu->pc, ref(0x4));
  }
  EXPECT_EQ(a->inputCount, 0u);
  EXPECT_TRUE(al_queueEmpty(&a->inputQueue));
  EXPECT_EQ(a->passFlag, 1u);
  EXPECT_EQ(a->deleteFlag, 1u);

  AL_surRouteQ(inside(u, a));
  AL_surSendQuickAborts(cause, user, provider, 52543);
  EXPECT_EQ(seen.size(), 2u) << "both are spent";
  EXPECT_EQ(a->inputCount, 0u) << "the queue is still emptied";
  al_deleteGidu(cause);
}

TEST_F(SurRoute, QuickAbortsNeedNoMemory) {
  GIDU* cause = inside(u, a);
  withoutMemoryAfter(0, [&] {
    AL_surSendQuickAborts(cause, user, provider, 52546);
    return 0;
  });
  EXPECT_EQ(whoSaw(), (std::vector<std::string>{"provider", "user"}));
  al_deleteGidu(cause);
}

}  // namespace
