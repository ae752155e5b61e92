// Conversion of the service elements' GIDUs into presentation GIDUs and
// back: data elements by context, the presentation and session parameters
// of the ACSE records' private part, and the local errors and aborts of
// records without their parameters, of unreadable PPDUs and of received
// data that is not the ACSE APDU a primitive needs.
#include "acse/sao_fixture.h"
#include "src/acse/acse_ase.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/cvrt_apdu.h"
#include "src/presentation/pevents.h"
#include "support/trace_capture.h"

namespace {

XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }

// True when `tree` lies (at any depth) under the tree of `g`.
bool under(XmTree* tree, const GIDU* g) {
  for (XmTree* t = xm_getParentOfTree(tree); t != nullptr; t = xm_getParentOfTree(t))
    if (t == treeOf(g)) return true;
  return false;
}

std::vector<uint8_t> octets(const uint8_t* p, int64_t n) { return n > 0 ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>{}; }

uint8_t kCalledPsel[] = {0x01, 0x02, 0x03};
uint8_t kCallingPsel[] = {0x44, 0xBB};
uint8_t kNet[] = {10, 0, 0, 1};

// An ACSE record or other value in a tree of its own under `tree`, as the
// builders and the decoder leave them.
template <class T = AcseApdu>
T* ownValue(XmTree* tree) {
  auto* v = static_cast<T*>(_xm_allocItemWithTree(sizeof(T), XM_ZERO));
  _xm_moveTree(tree, treeOf(v));
  return v;
}

class Cvrt : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    makeSao();
    sao->appContext = saofix::oid(saofix::kRdaBasic, 6);
  }

  GIDU* acseElement(uint32_t event, uint32_t pev, uint32_t code, AcseApdu** apdu) {
    GIDU* g = apduGidu(AL_IDU_ACSE, event, 1);
    auto* hdr = static_cast<AeHDR*>(g->idu);
    hdr->hdrWord1 = pev;
    *apdu = ownValue(treeOf(g));
    (*apdu)->code = code;
    hdr->wrapped = *apdu;
    return g;
  }
  // A received presentation GIDU with data elements of the contexts given,
  // each value a record of its own tree under the PIDU's.
  GIDU* received(uint32_t pev, std::initializer_list<std::pair<int32_t, uint32_t>> elements) {
    GIDU* g = presGidu(pev);
    g->ue = saofix::ref(0x21);
    g->pc = saofix::ref(0x24);
    for (auto [ctx, code] : elements) {
      AcseApdu* v = ownValue(treeOf(g->idu));
      v->code = code;
      addData(g, ctx, v);
    }
    return g;
  }
  static PIDU* pidu(const GIDU* g) { return static_cast<PIDU*>(g->idu); }
  static AeHDR* hdr(const GIDU* g) { return static_cast<AeHDR*>(g->idu); }
  static AcseApdu* apdu(const GIDU* g) { return static_cast<AcseApdu*>(hdr(g)->wrapped); }
  static std::vector<const DElem*> elements(const PIDU* p) {
    std::vector<const DElem*> out;
    for (const DElemLink* l = p->dataList.next; l != &p->dataList; l = l->next) out.push_back(static_cast<const DElem*>(l));
    return out;
  }
  // A fresh reserved pair of quick aborts, and its removal.
  void reserveAborts() {
    sao->saoFlags = 0;
    sao->qabortReq = al_createGidu(nullptr, AL_IDU_ACSE, AL_QABORT);
    sao->qabortInd = al_createGidu(nullptr, AL_IDU_ACSE, AL_QABORT);
  }
  void dropReservedAborts() {
    al_deleteGidu(sao->qabortReq);
    al_deleteGidu(sao->qabortInd);
    sao->qabortReq = sao->qabortInd = nullptr;
  }
  // Deletes what the doubles kept.
  void dropSeen() {
    for (GIDU* g : kept) al_deleteGidu(g);
    kept.clear();
    seen.clear();
  }
  // The quick aborts that went both ways, with their error.
  void expectQuickAborts(uint32_t errNo) {
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv"}));
    for (const saofix::Seen& s : seen) {
      EXPECT_EQ(s.event, AL_QABORT);
      EXPECT_EQ(s.errNo, errNo);
    }
    EXPECT_NE(sao->saoFlags & SAO_DELETE_PENDING, 0u);
  }
};

// ---------------------------------------------------------------------------
// Down

TEST_F(Cvrt, LoneRdaGiduBecomesADataRequestWithOneElement) {
  const long before = xmLive();
  GIDU* g = apduGidu(AL_IDU_RDA, 0x8008, 3);
  g->ue = saofix::ref(0x1);
  g->pe = saofix::ref(0x2);
  g->pc = saofix::ref(0x4);
  auto* idu = ownValue<uint64_t>(treeOf(g));
  hdr(g)->wrapped = idu;

  GIDU* p = AL_cvrtApdu(g);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->iduType, AL_IDU_PRES);
  EXPECT_EQ(p->event, AL_EV_PRIMITIVE);
  EXPECT_EQ(p->ue, saofix::ref(0x1));
  EXPECT_EQ(p->pe, saofix::ref(0x2));
  EXPECT_EQ(p->uc, sao);
  EXPECT_EQ(p->pc, saofix::ref(0x4));
  EXPECT_EQ(pidu(p)->event, static_cast<uint32_t>(P_DT_REQ));
  const auto e = elements(pidu(p));
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0]->pctxId, 3);
  EXPECT_EQ(e[0]->value, idu);
  EXPECT_TRUE(under(treeOf(idu), p)) << "the IDU lives with the presentation GIDU";
  al_deleteGidu(p);
  EXPECT_EQ(xmLive(), before) << "the input went with the conversion";
}

TEST_F(Cvrt, WrappedPresentationPrimitiveLosesItsHeader) {
  GIDU* g = presGidu(P_UAB_REQ);
  PIDU* inner = pidu(g);
  ASSERT_NE(AL_createAeHDR(g), nullptr);
  g->iduType = AL_IDU_PRES_RCV;
  EXPECT_EQ(AL_cvrtApdu(g), g);
  EXPECT_EQ(g->iduType, AL_IDU_PRES);
  EXPECT_EQ(g->idu, inner);
  al_deleteGidu(g);
}

TEST_F(Cvrt, UnknownTypeAndMissingApduAreDeleted) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  const long before = xmLive();
  EXPECT_EQ(AL_cvrtApdu(apduGidu(100, 0x8008, 3)), nullptr);
  EXPECT_TRUE(trace.contains("*** Unknown idu_type=0x64, APDUs deleted"));
  EXPECT_TRUE(trace.contains("*** Couldn't convert APDUs to PPDU, APDUs deleted"));
  EXPECT_EQ(AL_cvrtApdu(apduGidu(AL_IDU_RDA, 0x8008, 3)), nullptr) << "a header over nothing";
  EXPECT_EQ(xmLive(), before);
  EXPECT_TRUE(seen.empty());
}

TEST_F(Cvrt, AssociateRequestCarriesTheConnectionParameters) {
  AcseApdu* a = nullptr;
  GIDU* g = acseElement(AC_EV_AARQ, P_CON_REQ, AC_APDU_AARQ, &a);
  AcAarq& q = a->aarq;
  q.presence = AC_AARQ_VERSION | AC_AARQ_CONN_PARAMS;
  AcConnParams& cp = q.connParams;
  cp.presence = AC_CP_NSERVICE | AC_CP_TCLASS | AC_CP_PRES_REQUIREMENTS | AC_CP_TOKENS | AC_CP_SYNC_POINT;
  cp.presentationMode = 1;
  cp.callingAddress.mask = UL_PADDR_PSEL;
  cp.callingAddress.pSel = OctStgV{2, kCallingPsel};
  cp.calledAddress.mask = UL_PADDR_PSEL;
  cp.calledAddress.pSel = OctStgV{3, kCalledPsel};
  UL_NaddrEntry net{};
  net.addr = OctStgV{4, kNet};
  net.links.next = net.links.prev = &cp.calledAddress.nAddrs.links;
  cp.calledAddress.nAddrs.links.next = cp.calledAddress.nAddrs.links.prev = &net.links;
  cp.calledAddress.nAddrs.count = 1;
  cp.networkService = 2;
  cp.transportClass = 0;
  cp.presRequirements = 0x40;
  cp.sessRequirements = 0x0102;
  cp.initialTokens = 0x15;
  cp.initialSyncPoint = 7;

  GIDU* p = AL_cvrtApdu(g);
  ASSERT_NE(p, nullptr);
  const PIDU* d = pidu(p);
  EXPECT_EQ(d->event, static_cast<uint32_t>(P_CON_REQ));
  for (int32_t id = 0; id < kPiduCtxCount; ++id) {
    const int32_t want = id == 1 ? 7 : id == 3 ? 8 : -1;
    EXPECT_EQ(d->ctxDefList[id], want) << "context " << id;
  }
  EXPECT_EQ(octets(d->local.pSel.octets, d->local.pSel.length), (std::vector<uint8_t>{0x44, 0xBB}));
  EXPECT_NE(d->local.pSel.octets, kCallingPsel) << "a copy";
  EXPECT_EQ(octets(d->remote.pSel.octets, d->remote.pSel.length), (std::vector<uint8_t>{1, 2, 3}));
  ASSERT_EQ(d->remote.nAddrs.count, 1u);
  const auto* n = reinterpret_cast<const UL_NaddrEntry*>(d->remote.nAddrs.links.next);
  EXPECT_EQ(octets(n->addr.octets, n->addr.length), (std::vector<uint8_t>{10, 0, 0, 1}));
  EXPECT_NE(n, &net) << "the ring is the PIDU's own";
  EXPECT_EQ(d->transportKind, 2u) << "TP0TCP";
  EXPECT_EQ(d->transportClass, 0u);
  EXPECT_NE(d->local.flags & kPiduLocalTClassGiven, 0);
  EXPECT_EQ(d->flag2, 1u) << "normal mode";
  EXPECT_EQ(d->presRequirements, 0x40u);
  EXPECT_EQ(d->sessRequirements, 0x0102u);
  EXPECT_EQ(d->tokenItem, 0x15u);
  EXPECT_EQ(d->serial, 7u);
  EXPECT_EQ(d->connectWord, 2u) << "duplex";
  const auto e = elements(d);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0]->pctxId, 1);
  ASSERT_EQ(e[0]->value, a);
  EXPECT_EQ(q.presence, AC_AARQ_VERSION) << "the private part is not encoded";
  al_deleteGidu(p);
}

TEST_F(Cvrt, AssociateRequestWithoutTransportClassOrNetworkServiceGivesTheirDefaults) {
  AcseApdu* a = nullptr;
  GIDU* g = acseElement(AC_EV_AARQ, P_CON_REQ, AC_APDU_AARQ, &a);
  a->aarq.presence = AC_AARQ_CONN_PARAMS;
  a->aarq.connParams.networkService = 1;  // not marked present
  a->aarq.connParams.transportClass = 4;
  GIDU* p = AL_cvrtApdu(g);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pidu(p)->transportKind, 0u) << "TP4";
  EXPECT_EQ(pidu(p)->transportClass, 4u) << "the value is copied in any case";
  EXPECT_EQ(pidu(p)->local.flags & kPiduLocalTClassGiven, 0);
  EXPECT_EQ(pidu(p)->local.pSel.length, -1) << "no calling selector";
  EXPECT_EQ(pidu(p)->tokenItem, 0u);
  al_deleteGidu(p);
}

TEST_F(Cvrt, AssociateResponseCarriesTheConnectionResult) {
  AcseApdu* a = nullptr;
  GIDU* g = acseElement(AC_EV_AARE, P_CON_REJ, AC_APDU_AARE, &a);
  AcAare& r = a->aare;
  r.presence = AC_AARE_VERSION | AC_AARE_CONN_RESULT;
  r.result = 1;
  r.resultSource = AC_SOURCE_USER;
  r.diagnostic = 5;
  AcConnResult& cr = r.connResult;
  cr.presence = AC_CR_RESPONDING_ADDRESS | AC_CR_PRES_REQUIREMENTS | AC_CR_TOKENS | AC_CR_SYNC_POINT;
  cr.respondingAddress.mask = UL_PADDR_PSEL;
  cr.respondingAddress.pSel = OctStgV{3, kCalledPsel};
  cr.presRequirements = 0x40;
  cr.sessRequirements = 2;
  cr.initialTokens = 3;
  cr.initialSyncPoint = 9;
  GIDU* p = AL_cvrtApdu(g);
  ASSERT_NE(p, nullptr);
  const PIDU* d = pidu(p);
  EXPECT_EQ(d->event, static_cast<uint32_t>(P_CON_REJ));
  EXPECT_EQ(octets(d->responding.pSel.octets, d->responding.pSel.length), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(d->reason, 5) << "the diagnostic";
  EXPECT_EQ(d->presRequirements, 0x40u);
  EXPECT_EQ(d->sessRequirements, 2u);
  EXPECT_EQ(d->tokenItem, 3u);
  EXPECT_EQ(d->serial, 9u);
  EXPECT_EQ(r.presence, AC_AARE_VERSION) << "the private part is not encoded";
  al_deleteGidu(p);
}

TEST_F(Cvrt, ReleaseResponseLeavesItsResultPrivate) {
  AcseApdu* a = nullptr;
  GIDU* g = acseElement(AC_EV_RLRE, P_REL_ACC, AC_APDU_RLRE, &a);
  a->rlre.presence = AC_RLS_REASON | AC_RLRE_RELEASE_RESULT;
  GIDU* p = AL_cvrtApdu(g);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(a->rlre.presence, AC_RLS_REASON);
  al_deleteGidu(p);
}

TEST_F(Cvrt, RecordWithoutItsParametersGivesALocalErrorAndNoPpdu) {
  struct Case {
    uint32_t event, pev, code, presence;
    const char* line;
  };
  const Case cases[] = {
      {AC_EV_AARQ, P_CON_REQ, AC_APDU_AARQ, AC_AARQ_VERSION, "*** NO params in AARQ"},
      {AC_EV_AARE, P_CON_ACC, AC_APDU_AARE, AC_AARE_VERSION, "*** NO params in AARE"},
      {AC_EV_RLRE, P_REL_ACC, AC_APDU_RLRE, AC_RLS_REASON, "*** NO params in RLRE"},
      {AC_EV_AARQ, P_CON_REQ, AC_APDU_RLRQ, AC_AARQ_CONN_PARAMS, "*** NO params in AARQ"},  // not an AARQ
  };
  TraceCapture trace({{&al_comTMHandle, "AL  : ", 1}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    seen.clear();
    AcseApdu* a = nullptr;
    GIDU* g = acseElement(c.event, c.pev, c.code, &a);
    a->aarq.presence = c.presence;
    QvSetOsiError(0);
    EXPECT_EQ(AL_cvrtApdu(g), nullptr);
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
    const GIDU* err = seen[0].gidu;
    EXPECT_EQ(err->event, AL_LOCERR_IND);
    EXPECT_EQ(err->errNo, 53013u);
    EXPECT_EQ(err->iduType, AL_IDU_ACSE);
    EXPECT_EQ(err->idu, nullptr);
    EXPECT_EQ(err->uc, sao);
    EXPECT_EQ(QvGetOsiError(), 53013);
    EXPECT_TRUE(trace.contains(c.line));
  }
}

TEST_F(Cvrt, TokensAndSerialNumbersByEvent) {
  struct Case {
    uint32_t pev;
    uint32_t tokens;
    uint64_t serial;
    uint8_t syncType;
  };
  const Case cases[] = {
      {P_GT_REQ, 5, 9, 0}, {P_RSYN_SET, 5, 9, 0}, {P_SYN_REQ, 0, 9, 1}, {P_SYN_RSP, 0, 9, 0}, {P_DT_REQ, 0, 0, 0},
  };
  for (const Case& c : cases) {
    GIDU* g = apduGidu(AL_IDU_RDA, 0x8008, 3);
    hdr(g)->hdrWord1 = c.pev;
    hdr(g)->hdrWord6 = 5;
    hdr(g)->hdrWord7 = 9;
    hdr(g)->wrapped = ownValue<uint64_t>(treeOf(g));
    GIDU* p = AL_cvrtApdu(g);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(pidu(p)->tokenItem, c.tokens) << c.pev;
    EXPECT_EQ(pidu(p)->serial, c.serial) << c.pev;
    EXPECT_EQ(pidu(p)->syncType, c.syncType) << c.pev;
    al_deleteGidu(p);
  }
}

TEST_F(Cvrt, NoMemoryForThePresentationGiduAbortsTheAssociation) {
  dropReservedAborts();
  for (long n = 0;; ++n) {
    SCOPED_TRACE(n);
    ASSERT_LT(n, 50);
    const long before = xmLive();
    reserveAborts();
    GIDU* g = apduGidu(AL_IDU_RDA, 0x8008, 3);
    hdr(g)->wrapped = ownValue<uint64_t>(treeOf(g));
    GIDU* p = withBudget(n, [&] { return AL_cvrtApdu(g); });
    if (p != nullptr) {
      al_deleteGidu(p);
      dropReservedAborts();
      EXPECT_EQ(xmLive(), before);
      break;
    }
    expectQuickAborts(53009);
    dropSeen();
    EXPECT_EQ(xmLive(), before) << "the input is gone";
  }
}

// ---------------------------------------------------------------------------
// Up

TEST_F(Cvrt, DataIndicationGivesOneGiduPerElementInOrder) {
  GIDU* g = received(P_DT_IND, {{1, AC_APDU_ABRT}, {3, 0}});
  const auto e = elements(pidu(g));
  void* acseValue = e[0]->value;
  void* rdaValue = e[1]->value;
  GIDU* ring = AL_cvrtPpdu(g);
  ASSERT_NE(ring, nullptr);
  GIDU* second = ring->next;
  ASSERT_NE(second, ring);
  EXPECT_EQ(second->next, ring) << "a ring of two";
  EXPECT_EQ(ring->iduType, AL_IDU_ACSE);
  EXPECT_EQ(second->iduType, AL_IDU_RDA);
  for (GIDU* r : {ring, second}) {
    EXPECT_EQ(r->ue, saofix::ref(0x21));
    EXPECT_EQ(r->uc, sao);
    EXPECT_EQ(r->pc, saofix::ref(0x24));
    EXPECT_EQ(hdr(r)->hdrOrigin, 8u);
    EXPECT_EQ(hdr(r)->hdrWord1, static_cast<uint32_t>(P_DT_IND));
  }
  EXPECT_EQ(hdr(ring)->pctxId, 1u);
  EXPECT_EQ(hdr(ring)->wrapped, acseValue);
  EXPECT_EQ(hdr(second)->pctxId, 3u);
  EXPECT_EQ(hdr(second)->wrapped, rdaValue);
  EXPECT_TRUE(under(treeOf(rdaValue), second)) << "each GIDU owns its own value";
  al_unlinkGidu(second);
  al_deleteGidu(ring);
  EXPECT_EQ(static_cast<AcseApdu*>(hdr(second)->wrapped)->code, 0u) << "still readable";
  al_deleteGidu(second);
}

TEST_F(Cvrt, PrimitivesWithoutUserData) {
  struct Case {
    uint32_t pev;
    bool wrapped;     // passed on as type 21, else deleted
    uint32_t event;   // presentation event it keeps
  };
  const Case cases[] = {
      {P_DT_IND, false, 0}, {P_TD_IND, false, 0},       {P_CON_REF, true, P_CON_REF}, {P_GT_IND, true, P_GT_IND},
      {P_SYN_IND, true, P_SYN_IND}, {P_FC_IND, true, P_FC_IND}, {P_UAB_IND, true, P_UAB_IND},
      {P_SAB_IND, true, P_PAB_IND}, {P_RAB_IND, true, P_PAB_IND}, {P_EX_IND, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pev);
    const long before = xmLive();
    GIDU* g = received(c.pev, {});
    PIDU* inner = pidu(g);
    GIDU* r = AL_cvrtPpdu(g);
    if (!c.wrapped) {
      EXPECT_EQ(r, nullptr);
      EXPECT_EQ(xmLive(), before);
      continue;
    }
    ASSERT_EQ(r, g);
    EXPECT_EQ(r->iduType, AL_IDU_PRES_RCV);
    EXPECT_EQ(hdr(r)->wrapped, inner);
    EXPECT_EQ(hdr(r)->hdrOrigin, 8u);
    EXPECT_EQ(inner->event, c.event);
    al_deleteGidu(r);
  }
  EXPECT_TRUE(seen.empty());
}

TEST_F(Cvrt, AcseApdusOfConnectionAndReleasePrimitives) {
  struct Case {
    uint32_t pev;
    uint32_t code;
    uint32_t event;
  };
  const Case cases[] = {
      {P_CON_IND, AC_APDU_AARQ, AC_EV_AARQ}, {P_CON_CNF, AC_APDU_AARE, AC_EV_AARE}, {P_CON_REF, AC_APDU_AARE, AC_EV_AARE},
      {P_REL_IND, AC_APDU_RLRQ, AC_EV_RLRQ}, {P_REL_CNF, AC_APDU_RLRE, AC_EV_RLRE}, {P_REL_REF, AC_APDU_RLRE, AC_EV_RLRE},
      {P_UAB_IND, AC_APDU_ABRT, AC_EV_ABRT}, {P_PAB_IND, AC_APDU_ABRT, AC_EV_ABRT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pev);
    GIDU* g = received(c.pev, {{1, c.code}, {3, 0}});
    GIDU* r = AL_cvrtPpdu(g);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->next, r) << "the ACSE APDU alone";
    EXPECT_EQ(r->iduType, AL_IDU_ACSE);
    EXPECT_EQ(r->event, c.event);
    EXPECT_EQ(hdr(r)->pctxId, 1u);
    EXPECT_EQ(hdr(r)->hdrWord1, c.pev);
    EXPECT_EQ(apdu(r)->code, c.code);
    if (c.code == AC_APDU_RLRE) {
      EXPECT_EQ(apdu(r)->rlre.presence, AC_RLRE_RELEASE_RESULT);
      EXPECT_EQ(apdu(r)->rlre.releaseResult, c.pev == P_REL_CNF ? 0 : 1);
    }
    al_deleteGidu(r);
  }
  EXPECT_TRUE(seen.empty());
}

TEST_F(Cvrt, ConnectIndicationFillsTheRequestsPrivatePart) {
  GIDU* g = received(P_CON_IND, {{1, AC_APDU_AARQ}});
  PIDU* d = pidu(g);
  d->local.pSel = PSelector{3, kCalledPsel};
  d->remote.mask = UL_PADDR_PSEL;
  d->remote.pSel = OctStgV{2, kCallingPsel};
  d->remote.nAddrs.links.next = d->remote.nAddrs.links.prev = &d->remote.nAddrs.links;
  d->presRequirements = 0x40;
  d->transportKind = 2;
  d->transportClass = 0;
  d->local.flags = kPiduLocalTClassGiven;
  d->flag2 = 0;
  d->sessRequirements = 0x0102;
  d->tokenItem = 0x15;
  d->serial = 7;
  GIDU* r = AL_cvrtPpdu(g);
  ASSERT_NE(r, nullptr);
  const AcAarq& q = apdu(r)->aarq;
  EXPECT_NE(q.presence & AC_AARQ_CONN_PARAMS, 0u);
  const AcConnParams& cp = q.connParams;
  EXPECT_EQ(octets(cp.callingAddress.pSel.octets, cp.callingAddress.pSel.length), (std::vector<uint8_t>{1, 2, 3}))
      << "this side's selector, in the request's first address";
  EXPECT_EQ(octets(cp.calledAddress.pSel.octets, cp.calledAddress.pSel.length), (std::vector<uint8_t>{0x44, 0xBB}));
  EXPECT_TRUE(under(treeOf(cp.calledAddress.pSel.octets), r));
  EXPECT_EQ(cp.presence, AC_CP_PRES_REQUIREMENTS | AC_CP_TCLASS | AC_CP_TOKENS | AC_CP_SYNC_POINT);
  EXPECT_EQ(cp.presRequirements, 0x40u);
  EXPECT_EQ(cp.networkService, 2);
  EXPECT_EQ(cp.transportClass, 0);
  EXPECT_EQ(cp.presentationMode, 0) << "X.410 mode";
  EXPECT_EQ(cp.sessRequirements, 0x0102u);
  EXPECT_EQ(cp.initialTokens, 0x15);
  EXPECT_EQ(cp.initialSyncPoint, 7);
  al_deleteGidu(r);
}

TEST_F(Cvrt, ConnectConfirmFillsTheResponsesPrivatePart) {
  GIDU* g = received(P_CON_CNF, {{1, AC_APDU_AARE}});
  pidu(g)->responding.pSel = PSelector{3, kCalledPsel};
  pidu(g)->sessRequirements = 2;
  GIDU* r = AL_cvrtPpdu(g);
  ASSERT_NE(r, nullptr);
  const AcAare& a = apdu(r)->aare;
  EXPECT_NE(a.presence & AC_AARE_CONN_RESULT, 0u);
  EXPECT_EQ(a.connResult.presence, AC_CR_RESPONDING_ADDRESS | AC_CR_TOKENS | AC_CR_SYNC_POINT);
  const OctStgV& sel = a.connResult.respondingAddress.pSel;
  EXPECT_EQ(octets(sel.octets, sel.length), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(a.connResult.sessRequirements, 2u);
  al_deleteGidu(r);
}

TEST_F(Cvrt, TokenAndSynchronisationIndicationsCarryTokensAndSerialNumber) {
  for (uint32_t pev : {P_GT_IND, P_PT_IND, P_RSYN_IND, P_RSYN_CNF, P_SYN_IND, P_SYNM_IND}) {
    GIDU* g = received(pev, {{3, 0}});
    pidu(g)->tokenItem = 0x15;
    pidu(g)->serial = 12;
    GIDU* r = AL_cvrtPpdu(g);
    ASSERT_NE(r, nullptr);
    const bool carried = pev != P_SYNM_IND;
    EXPECT_EQ(hdr(r)->hdrWord6, carried ? 0x15u : 0u) << pev;
    EXPECT_EQ(hdr(r)->hdrWord7, carried ? 12u : 0u) << pev;
    al_deleteGidu(r);
  }
}

TEST_F(Cvrt, ParseErrorAbortsTheAssociation) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  GIDU* g = received(P_DT_IND, {{3, 0}});
  pidu(g)->userError = 0xA0D0;
  const long before = xmLive();
  EXPECT_EQ(AL_cvrtPpdu(g), nullptr);
  expectQuickAborts(53014);
  EXPECT_TRUE(trace.contains("*** Formatting or Parsing error=0xa0d0, PPDU deleted"));
  EXPECT_TRUE(trace.contains("*** Format or Parse error code ["));
  EXPECT_LT(xmLive(), before);
}

TEST_F(Cvrt, UnsupportedPrimitiveIsDeleted) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  const long before = xmLive();
  EXPECT_EQ(AL_cvrtPpdu(received(P_DT_CNF, {{3, 0}})), nullptr);
  EXPECT_EQ(xmLive(), before);
  EXPECT_TRUE(trace.contains("*** Unsupported PPDU deleted [DTA.cnf]"));
}

// A received value is read as an ACSE record only when it is one: first
// element, ACSE context, the APDU code the primitive needs.
TEST_F(Cvrt, PrimitiveWithoutItsAcseApduAbortsTheAssociation) {
  struct Case {
    const char* what;
    uint32_t pev;
    std::initializer_list<std::pair<int32_t, uint32_t>> data;
  };
  const Case cases[] = {
      {"confirm whose first element is of the RDA context", P_CON_CNF, {{3, AC_APDU_AARE}, {1, AC_APDU_AARE}}},
      {"confirm with another ACSE APDU", P_CON_CNF, {{1, AC_APDU_AARQ}}},
      {"confirm without data", P_CON_CNF, {}},
      {"refusal with an RDA value", P_CON_REF, {{3, 0}}},
      {"release indication without data", P_REL_IND, {}},
      {"release confirm with an RLRQ", P_REL_CNF, {{1, AC_APDU_RLRQ}}},
      {"abort with data of a context no element owns", P_UAB_IND, {{5, AC_APDU_ABRT}}},
  };
  dropReservedAborts();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const long before = xmLive();
    reserveAborts();
    EXPECT_EQ(AL_cvrtPpdu(received(c.pev, c.data)), nullptr);
    expectQuickAborts(53014);
    dropSeen();
    EXPECT_EQ(xmLive(), before) << "the primitive went";
  }
}

TEST_F(Cvrt, ConnectIndicationWithoutAnAssociateRequestIsRefused) {
  for (auto data : {std::initializer_list<std::pair<int32_t, uint32_t>>{},
                    std::initializer_list<std::pair<int32_t, uint32_t>>{{3, AC_APDU_AARQ}},
                    std::initializer_list<std::pair<int32_t, uint32_t>>{{1, AC_APDU_AARE}}}) {
    seen.clear();
    sao->saoFlags = 0;
    GIDU* g = received(P_CON_IND, data);
    PIDU* d = pidu(g);
    d->local.pSel = PSelector{3, kCalledPsel};
    d->ctxDefList[1] = 7;
    d->ctxDefList[3] = 8;
    d->ctxResultList[3] = 2;
    EXPECT_EQ(AL_cvrtPpdu(g), nullptr);
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"aeDown"})) << "a negative P-CONNECT response";
    EXPECT_EQ(seen[0].gidu, g);
    EXPECT_EQ(g->iduType, AL_IDU_PRES);
    EXPECT_EQ(g->event, AL_EV_PRIMITIVE);
    EXPECT_EQ(d->event, static_cast<uint32_t>(P_CON_REJ));
    EXPECT_EQ(d->ctxResultList[1], 0);
    EXPECT_EQ(d->ctxResultList[3], 0);
    EXPECT_EQ(d->ctxResultList[5], -1) << "not proposed";
    EXPECT_EQ(octets(d->responding.pSel.octets, d->responding.pSel.length), (std::vector<uint8_t>{1, 2, 3}));
    const auto e = elements(d);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0]->pctxId, 1);
    const AcAare& a = static_cast<const AcseApdu*>(e[0]->value)->aare;
    EXPECT_EQ(static_cast<const AcseApdu*>(e[0]->value)->code, static_cast<uint32_t>(AC_APDU_AARE));
    EXPECT_EQ(a.result, 1u);
    EXPECT_EQ(a.resultSource, AC_SOURCE_PROVIDER);
    EXPECT_EQ(a.diagnostic, 1u);
    EXPECT_EQ(a.presence, AC_AARE_VERSION);
    EXPECT_EQ(a.contextName.count, 6u);
    EXPECT_NE(sao->saoFlags & SAO_DELETE_PENDING, 0u);
  }
}

TEST_F(Cvrt, NoMemoryWhileConvertingLeavesNothingBehind) {
  dropReservedAborts();
  for (long n = 0;; ++n) {
    SCOPED_TRACE(n);
    ASSERT_LT(n, 50);
    const long before = xmLive();
    reserveAborts();
    GIDU* g = received(P_DT_IND, {{1, AC_APDU_ABRT}, {3, 0}});
    GIDU* r = withBudget(n, [&] { return AL_cvrtPpdu(g); });
    if (r != nullptr) {
      purgeList(r);
      dropReservedAborts();
      EXPECT_EQ(xmLive(), before);
      break;
    }
    expectQuickAborts(53009);
    dropSeen();
    EXPECT_EQ(xmLive(), before);
  }
}

}  // namespace
