// The RDA application entity over the real presentation layer's user table,
// with the presentation layer's primitive entries replaced by doubles that
// keep what they are given.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/timer2.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_errno.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/presentation/pidu.h"
#include "src/presentation/psyntax.h"
#include "src/presentation/users.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_sacf.h"
#include "src/rda/rda_trace.h"
#include "src/rda/rdatls.h"
#include "src/runtime/xm.h"
#include "support/recordset.h"
#include "support/trace_capture.h"

namespace {

uint32_t kOwnApTitle[] = {1, 2, 3};
uint32_t kPeerApTitle[] = {1, 2, 4};
uint32_t kRdaBasic[] = {1, 0, 9579, 2, 2, 1};
uint8_t kNaddr[] = {0x7F, 0, 0, 1};
uint8_t kPeerPsel[] = {'P', 'E'};
int ucbMark = 0;
int acbMark = 0;

OctStgV sel(const char* s) {
  return OctStgV{static_cast<uint32_t>(std::strlen(s)), reinterpret_cast<uint8_t*>(const_cast<char*>(s))};
}

void selfLinkRing(UL_Ring* r) { r->links.next = r->links.prev = &r->links; }

class RdaAe : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    self = this;
    ASSERT_EQ(init_presentation(nullptr, nullptr, nullptr, nullptr), 1);
    savedPsp_ = RDA_psp;
    savedPconn_ = RDA_pconn;
    RDA_psp = fakePsp;
    RDA_pconn = fakePconn;
    QvSetOsiError(0);
    ASSERT_EQ(rda_aeInit(), 1);
    tls = getRdaAeTLS(0);
    ASSERT_NE(tls, nullptr);
  }
  void TearDown() override {
    for (GIDU* g : kept) al_deleteGidu(g);
    RDA_psp = savedPsp_;
    RDA_pconn = savedPconn_;
    init_pmgmt();
    self = nullptr;
    RecordSetTest::TearDown();
  }

  // An Activate request for AP title {1 2 3}, AE qualifier `qual`, AE
  // invocation `invoke` on P-selector `psel`, in `role`.
  static GIDU* activateReq(int64_t qual, int32_t invoke, const char* psel, uint32_t role, bool complete = true) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, AL_ACT_REQ);
    auto* idu = static_cast<RDAIdu*>(_xm_allocItemWithTree(sizeof(RDAIdu), XM_ZERO));
    XmTree* t = xm_getParentOfItem(idu);
    _xm_moveTree(xm_getParentOfItem(g), t);
    idu->tag = RDA_ACTIVATE_REQ;
    auto* p = static_cast<UL_AEId*>(_xm_allocItem(t, sizeof(UL_AEId), XM_ZERO));
    p->mask = UL_AEID_APTITLE | (complete ? UL_AEID_AEQUAL : 0) | UL_AEID_AEINVOKE | UL_AEID_APINVOKE;
    p->pAddress.mask = UL_PADDR_PSEL;
    p->pAddress.pSel = sel(psel);
    auto* n = static_cast<UL_NaddrEntry*>(_xm_allocItem(t, sizeof(UL_NaddrEntry), XM_ZERO));
    n->addr = OctStgV{4, kNaddr};
    n->links.next = n->links.prev = &p->pAddress.nAddrs.links;
    p->pAddress.nAddrs.links.next = p->pAddress.nAddrs.links.prev = &n->links;
    p->pAddress.nAddrs.count = 1;
    p->apTitle.kind = UL_TITLE_OBJID;
    p->apTitle.objId = ObjIdV{3, kOwnApTitle};
    p->aeQual.kind = UL_QUAL_INTEGER;
    p->aeQual.integer = qual;
    p->aeInvokeId = invoke;
    auto* act = static_cast<RDAActData*>(_xm_allocItem(t, sizeof(RDAActData), XM_ZERO));
    act->flag = role;
    idu->activate = RDAActivate_Req{p, act};
    g->idu = idu;
    g->ue = &ucbMark;
    return g;
  }

  // Activates and returns the confirm the user got.
  GIDU* activate(int64_t qual, int32_t invoke, const char* psel, uint32_t role = 1, bool complete = true) {
    const size_t before = toUser.size();
    rda_aeSnd(activateReq(qual, invoke, psel, role, complete), userEntry);
    EXPECT_EQ(toUser.size(), before + 1);
    return toUser.empty() ? nullptr : toUser.back();
  }
  AeiCB* activated(const char* psel, uint32_t role = 1) {
    GIDU* cnf = activate(7, 0, psel, role);
    EXPECT_EQ(cnf->errNo, 0u);
    return static_cast<AeiCB*>(cnf->pe);
  }

  static AcAarq aarq() {
    AcAarq a{};
    a.presence = AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AE_QUAL | AC_AARQ_CALLING_AP_TITLE | AC_AARQ_CALLING_AE_QUAL;
    a.contextName = ObjIdV{6, kRdaBasic};
    a.calledApTitle.kind = UL_TITLE_OBJID;
    a.calledApTitle.objId = ObjIdV{3, kOwnApTitle};
    a.calledAeQual = UL_AEQual{UL_QUAL_INTEGER, {7}};
    a.callingApTitle.kind = UL_TITLE_OBJID;
    a.callingApTitle.objId = ObjIdV{3, kPeerApTitle};
    a.callingAeQual = UL_AEQual{UL_QUAL_INTEGER, {9}};
    a.connParams.calledAddress.mask = UL_PADDR_PSEL;
    a.connParams.calledAddress.pSel = OctStgV{2, kPeerPsel};
    selfLinkRing(&a.connParams.calledAddress.nAddrs);
    return a;
  }

  // The user's A-ASSOCIATE request as the entity holds it (one header over
  // the AARQ), of the invocation `aei`.
  static GIDU* assocReq(AeiCB* aei, const AcAarq& a) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_ACSE, AL_A_ASSOC_REQ);
    auto* apdu = static_cast<AcseApdu*>(_xm_allocItem(xm_getParentOfItem(g), sizeof(AcseApdu), XM_ZERO));
    apdu->code = AC_APDU_AARQ;
    apdu->aarq = a;
    g->idu = apdu;
    AL_createAeHDR(g);
    g->ue = aei;
    return g;
  }
  SaoCB* associate(AeiCB* aei) {
    GIDU* g = assocReq(aei, aarq());
    SaoCB* sao = RDA_aeCreateSaoCB(g, &acbMark);
    al_deleteGidu(g);
    return sao;
  }

  // A P-CONNECT indication of presentation connection `pm` carrying the
  // AARQ in context 1, proposing the ACSE and ISO RDA syntaxes as the
  // entity registered them.
  GIDU* pconnInd(const AcAarq& a, void* pm) {
    GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
    auto* pidu = static_cast<PIDU*>(g->idu);
    XmTree* t = xm_getParentOfItem(pidu);
    pidu->event = 89;
    pidu->ctxDefList[1] = static_cast<int32_t>(tls->asxTbl[0].asIdx);
    pidu->ctxDefList[3] = static_cast<int32_t>(tls->asxTbl[1].asIdx);
    pidu->local.pSel = PSelector{3, reinterpret_cast<uint8_t*>(const_cast<char*>("AE1"))};
    pidu->remote.mask = UL_PADDR_PSEL;
    pidu->remote.pSel = OctStgV{2, kPeerPsel};
    selfLinkRing(&pidu->remote.nAddrs);
    auto* apdu = static_cast<AcseApdu*>(_xm_allocItem(t, sizeof(AcseApdu), XM_ZERO));
    apdu->code = AC_APDU_AARQ;
    apdu->aarq = a;
    auto* d = static_cast<DElem*>(_xm_allocItem(t, sizeof(DElem), XM_ZERO));
    p_clear_delem(d);
    d->pctxId = 1;
    d->value = apdu;
    d->next = d->prev = &pidu->dataList;
    pidu->dataList.next = pidu->dataList.prev = d;
    g->pc = pm;
    return g;
  }

  static void userEntry(GIDU* g) {
    self->toUser.push_back(g);
    self->kept.push_back(g);
  }
  static uint32_t fakePsp(GIDU* g) {
    self->toPres.push_back(g);
    self->kept.push_back(g);
    if (self->pspRefuses) {
      QvSetOsiError(12345);
      return 0;
    }
    return 1;
  }
  static void* fakePconn(GIDU* g) {
    self->toPres.push_back(g);
    self->kept.push_back(g);
    return &self->pconn;
  }

  static PIDU* piduOf(GIDU* g) { return static_cast<PIDU*>(g->idu); }
  static AcseApdu* firstApdu(GIDU* g) {
    PIDU* p = piduOf(g);
    return p->dataList.next == &p->dataList ? nullptr
                                            : static_cast<AcseApdu*>(static_cast<DElem*>(p->dataList.next)->value);
  }

  static inline RdaAe* self = nullptr;
  RdaAeTLS* tls = nullptr;
  std::vector<GIDU*> toUser;
  std::vector<GIDU*> toPres;
  std::vector<GIDU*> kept;
  bool pspRefuses = false;
  int pconn = 0;

 private:
  RdaPspFn savedPsp_ = nullptr;
  RdaPconnFn savedPconn_ = nullptr;
};

TEST_F(RdaAe, InitialisationIsOnceAndTermWaitsForTheInvocations) {
  EXPECT_EQ(rda_aeInit(), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), RDA_AE_ERR_INITIALIZED_ALREADY);
  activated("AE1");
  EXPECT_EQ(rda_aeTerm(), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), RDA_AE_ERR_AEI_ACTIVE);
}

TEST_F(RdaAe, ActivateRegistersTheAddressAndRefusesAReusedIdentity) {
  GIDU* cnf = activate(7, 0, "AE1");
  EXPECT_EQ(cnf->event, AL_ACT_CNF);
  EXPECT_EQ(cnf->errNo, 0u);
  EXPECT_EQ(cnf->ue, &ucbMark);
  auto* aei = static_cast<AeiCB*>(cnf->pe);
  ASSERT_NE(aei, nullptr);
  EXPECT_EQ(aei->ucb, &ucbMark);
  const OctStgV ae1 = sel("AE1");
  PsUser* user = find_ps_user(&ae1);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->callback, rda_aeRcv);
  EXPECT_EQ(p_getUserRef(&ae1), reinterpret_cast<uintptr_t>(aei));
  // Each row of the thread's ASE table keeps its abstract syntax's index.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(find_asidx_obj3(tls->asxTbl[i].arcCount, tls->asxTbl[i].arcs, user),
                                        static_cast<int32_t>(tls->asxTbl[i].asIdx));

  struct Case {
    const char* what;
    int64_t qual;
    int32_t invoke;
    const char* psel;
    bool complete;
    uint32_t err;
  };
  const Case cases[] = {
      {"same identity, other address", 7, 0, "AE2", true, RDA_AE_ERR_AE_ID_INUSE},
      {"no AE qualifier", 8, 0, "AE2", false, RDA_AE_ERR_BAD_ACT_PARAM},
      {"other identity on the active address", 8, 0, "AE1", true, 0},
      {"other invocation id", 7, 1, "AE3", true, 0},
  };
  for (const Case& c : cases) {
    GIDU* r = activate(c.qual, c.invoke, c.psel, 1, c.complete);
    EXPECT_EQ(r->errNo, c.err) << c.what;
    EXPECT_EQ(r->event, AL_ACT_CNF) << c.what;
    EXPECT_EQ(r->ue, &ucbMark) << c.what;
    EXPECT_EQ(r->pe == nullptr, c.err != 0) << c.what;
  }
  EXPECT_EQ(tls->RDA_aeiCBs->count, 3u);
  EXPECT_EQ(find_ps_user(&ae1), user) << "the shared address was not registered twice";
}

TEST_F(RdaAe, PresentationRefusalsFailTheActivateAndLeaveNothing) {
  const OctStgV taken = sel("AE9");
  ASSERT_EQ(p_activate(&taken, rda_aeRcv, kPsModeNormal, 0), 1);
  EXPECT_EQ(activate(7, 0, "AE9")->errNo, RDA_AE_ERR_REG_FAILED);

  tls->asxTbl[2].decode = nullptr;
  EXPECT_EQ(activate(7, 0, "AE4")->errNo, RDA_AE_ERR_ASX_FAILED);
  tls->asxTbl[2].decode = RDA_asxTBL[2].decode;
  const OctStgV ae4 = sel("AE4");
  EXPECT_EQ(find_ps_user(&ae4), nullptr) << "the address is given up again";
  EXPECT_EQ(tls->RDA_aeiCBs->count, 0u);
}

TEST_F(RdaAe, DeactivateKeepsAnInvocationWithAssociations) {
  AeiCB* aei = activated("AE1");
  SaoCB* sao = associate(aei);
  ASSERT_NE(sao, nullptr);
  EXPECT_EQ(sao->acb, &acbMark);
  EXPECT_EQ(RDA_aeSaoCount(aei), 1u);

  GIDU* d = al_createGidu(nullptr, AL_IDU_RDA, AL_DEACT_REQ);
  d->pe = aei;
  d->ue = &ucbMark;
  rda_aeSnd(d, nullptr);
  EXPECT_EQ(toUser.back()->event, AL_DEACT_CNF);
  EXPECT_EQ(toUser.back()->errNo, RDA_AE_ERR_ACTIVE_ASSOCS);
  EXPECT_EQ(tls->RDA_aeiCBs->count, 1u);

  GIDU* f = al_createGidu(nullptr, AL_IDU_RDA, AL_FDEACT_REQ);
  f->pe = aei;
  f->ue = &ucbMark;
  const size_t before = toUser.size();
  rda_aeSnd(f, nullptr);
  ASSERT_GT(toUser.size(), before + 1);
  size_t aborts = 0;
  for (size_t i = before; i < toUser.size(); ++i)
    if (toUser[i]->event == AL_A_PABORT_IND && toUser[i]->uc == &acbMark) ++aborts;
  EXPECT_EQ(aborts, 1u) << "the user hears of the association's end";
  EXPECT_EQ(toUser.back()->event, AL_FDEACT_CNF);
  EXPECT_EQ(toUser.back()->errNo, 0u);
  EXPECT_EQ(toUser.back()->pe, nullptr) << "the invocation is gone";
  EXPECT_EQ(tls->RDA_aeiCBs->count, 0u);
  const OctStgV ae1 = sel("AE1");
  EXPECT_EQ(find_ps_user(&ae1), nullptr);
}

TEST_F(RdaAe, DeactivateGivesTheAddressUpOnlyWithItsLastInvocation) {
  AeiCB* first = activated("AE1");
  GIDU* second = activate(8, 0, "AE1");
  ASSERT_EQ(second->errNo, 0u);
  const OctStgV ae1 = sel("AE1");
  for (AeiCB* aei : {first, static_cast<AeiCB*>(second->pe)}) {
    GIDU* d = al_createGidu(nullptr, AL_IDU_RDA, AL_DEACT_REQ);
    d->pe = aei;
    rda_aeSnd(d, nullptr);
    EXPECT_EQ(toUser.back()->event, AL_DEACT_CNF);
    EXPECT_EQ(toUser.back()->errNo, 0u);
    EXPECT_EQ(toUser.back()->pe, nullptr);
    EXPECT_EQ(find_ps_user(&ae1) != nullptr, tls->RDA_aeiCBs->count != 0)
        << "the address stays while an invocation uses it";
  }
  EXPECT_EQ(tls->RDA_aeiCBs->count, 0u);
}

TEST_F(RdaAe, AssociateRequestWithoutAssociationIsRejectedToTheUser) {
  AeiCB* aei = activated("AE1");
  AcAarq a = aarq();
  uint32_t unknown[] = {1, 2, 3, 4};
  a.contextName = ObjIdV{4, unknown};
  GIDU* g = assocReq(aei, a);
  AL_deleteAeHDR(g);
  // As the service user hands it over: pe the invocation, uc the ACB.
  g->ue = &ucbMark;
  g->pe = aei;
  g->uc = &acbMark;
  rda_aeSnd(g, nullptr);
  GIDU* cnf = toUser.back();
  EXPECT_EQ(cnf, g);
  EXPECT_EQ(cnf->event, AL_A_ASSOC_CNF);
  EXPECT_EQ(cnf->uc, &acbMark);
  EXPECT_EQ(cnf->pe, aei);
  EXPECT_EQ(cnf->ue, &ucbMark);
  EXPECT_EQ(static_cast<AcseApdu*>(cnf->idu)->aare.result, AC_RESULT_REJECTED_TRANSIENT);
  EXPECT_EQ(RDA_aeSaoCount(aei), 0u);
}

TEST_F(RdaAe, RefusedConnectRequestComesBackAsANegativeConfirm) {
  AeiCB* aei = activated("AE1");
  SaoCB* sao = associate(aei);
  ASSERT_NE(sao, nullptr);
  static GIDU* received = nullptr;
  sao->saoRcv = [](GIDU* g) { received = g; };
  RDA_pconn = [](GIDU* g) -> void* {
    al_deleteGidu(g);
    return nullptr;
  };
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
  piduOf(g)->event = 14;
  g->ue = aei;
  g->pe = &pconn;
  g->uc = sao;
  EXPECT_EQ(RDA_aeSndPpdu(g), 0);
  ASSERT_NE(received, nullptr);
  EXPECT_EQ(received->iduType, AL_IDU_PRES);
  EXPECT_EQ(piduOf(received)->event, 91u);
  EXPECT_EQ(received->ue, aei);
  EXPECT_EQ(received->pe, &pconn);
  EXPECT_EQ(received->uc, sao);
  EXPECT_EQ(sao->pconn, nullptr);
  al_deleteGidu(received);
  received = nullptr;
  RDA_aeDeleteSaoCB(sao, aei);
}

TEST_F(RdaAe, AssignedConnectIndicationGetsItsAssociation) {
  AeiCB* aei = activated("AE1", 1);
  int pm = 0;
  rda_aeRcv(pconnInd(aarq(), &pm));
  ASSERT_EQ(RDA_aeSaoCount(aei), 1u);
  auto* sao = static_cast<SaoCB*>(aei->saoList.links.next);
  EXPECT_EQ(sao->pconn, &pm);
  EXPECT_EQ(sao->role, SAO_ROLE_RESPONDER);
  EXPECT_EQ(sao->aeiCB, aei);
}

TEST_F(RdaAe, ConnectIndicationIsRefusedWithAnAcseUserDiagnostic) {
  struct Case {
    const char* what;
    uint32_t role;
    int64_t calledQual;
  };
  // A stack in the client role takes no connection; a called AE qualifier
  // that names no invocation is refused with the low byte of its error.
  const Case cases[] = {{"client role only", 0, 7}, {"unknown called AE qualifier", 1, 99}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AeiCB* aei = activated(c.role == 0 ? "AC1" : "AS1", c.role);
    AcAarq a = aarq();
    a.calledAeQual.integer = c.calledQual;
    int pm = 0;
    toPres.clear();
    rda_aeRcv(pconnInd(a, &pm));
    EXPECT_EQ(RDA_aeSaoCount(aei), 0u);
    ASSERT_EQ(toPres.size(), 1u);
    GIDU* rsp = toPres[0];
    EXPECT_EQ(rsp->event, AL_EV_PRIMITIVE);
    EXPECT_EQ(rsp->pc, &pm);
    PIDU* p = piduOf(rsp);
    EXPECT_EQ(p->event, 16u);
    ASSERT_EQ(p->responding.pSel.length, 3);
    EXPECT_EQ(std::memcmp(p->responding.pSel.octets, "AE1", 3), 0);
    EXPECT_EQ(p->ctxResultList[1], 0);
    EXPECT_EQ(p->ctxResultList[5], -1) << "not proposed";
    AcseApdu* aare = firstApdu(rsp);
    ASSERT_NE(aare, nullptr);
    EXPECT_EQ(aare->code, AC_APDU_AARE);
    EXPECT_EQ(aare->aare.result, AC_RESULT_REJECTED_PERMANENT);
    EXPECT_EQ(aare->aare.resultSource, AC_SOURCE_USER);
    const uint32_t diag = c.role == 0 ? 1u : (AL_ERR_CALLED_AEQUAL & 0xFF);
    EXPECT_EQ(aare->aare.diagnostic, diag);
    EXPECT_LE(aare->aare.diagnostic, 14u);
    EXPECT_EQ(aare->aare.presence, 0u);
    EXPECT_EQ(aare->aare.contextName.count, 6u);
    // The next case activates anew.
    GIDU* f = al_createGidu(nullptr, AL_IDU_RDA, AL_FDEACT_REQ);
    f->pe = aei;
    rda_aeSnd(f, nullptr);
  }
}

TEST_F(RdaAe, ElementRefusingAnIncomingAssociationGivesNoReasonGiven) {
  tls->asxTbl[1].establish = []() -> void* { return nullptr; };
  AeiCB* aei = activated("AE1", 1);
  int pm = 0;
  rda_aeRcv(pconnInd(aarq(), &pm));
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), RDA_SAO_ERR_ASE_ESTAB_FAILED);
  ASSERT_EQ(toPres.size(), 1u);
  EXPECT_EQ(piduOf(toPres[0])->event, 16u);
  ASSERT_NE(firstApdu(toPres[0]), nullptr);
  EXPECT_EQ(firstApdu(toPres[0])->aare.diagnostic, 1u);
  EXPECT_EQ(RDA_aeSaoCount(aei), 0u) << "the refused association is deleted";
}

TEST_F(RdaAe, EventForNoAssociationIsDroppedWithATrace) {
  TraceCapture trace({{&rda_aeTMHandle, "AE  : ", 0xFFFF}});
  activated("AE1");
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
  piduOf(g)->event = 100;
  rda_aeRcv(g);
  GIDU* h = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
  piduOf(h)->event = 92;
  rda_aeRcv(h);
  EXPECT_TRUE(trace.contains("*** rda_aeRcv: null saoCB, P_S_ABORT.indication is dropped"));
  EXPECT_TRUE(trace.contains("*** rda_aeRcv: null saoCB, event P-"));
  EXPECT_EQ(toUser.size(), 1u);
  EXPECT_TRUE(toPres.empty());
}

TEST_F(RdaAe, RefusedPrimitiveComesBackAsALocalError) {
  for (int i = 0; i < kRdaActxRows; ++i) ASSERT_EQ(RDA_actxTBL[i].saoRcv, i < 2 ? rda_saoRcv : nullptr);
  AeiCB* aei = activated("AE1");
  SaoCB* sao = associate(aei);
  ASSERT_NE(sao, nullptr);
  sao->pconn = &pconn;
  pspRefuses = true;
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
  piduOf(g)->event = 18;
  g->ue = aei;
  g->uc = sao;
  g->pc = &pconn;
  EXPECT_EQ(RDA_aeSndPpdu(g), 0);
  ASSERT_FALSE(toUser.empty());
  GIDU* e = toUser.back();
  EXPECT_EQ(e->event, AL_LOCERR_IND);
  EXPECT_EQ(e->errNo, 12345u);
  EXPECT_EQ(e->pc, sao);
  EXPECT_EQ(e->uc, &acbMark);
  EXPECT_EQ(e->pe, aei);
  EXPECT_EQ(e->ue, &ucbMark);
  sao->refCount = 0;
  RDA_aeDeleteSaoCB(sao, aei);
}

TEST_F(RdaAe, AssociateRejectCarriesSessionRequirementsOnlyWhenAsked) {
  AeiCB* aei = activated("AE1");
  struct Case {
    bool connParams;
    uint32_t presence;
  };
  for (const Case c : {Case{false, AC_AARE_VERSION}, Case{true, AC_AARE_VERSION | AC_AARE_CONN_RESULT}}) {
    AcAarq a = aarq();
    if (c.connParams) {
      a.presence |= AC_AARQ_CONN_PARAMS;
      a.connParams.sessRequirements = 0x0342;
    }
    GIDU* g = assocReq(aei, a);
    int acb = 0;
    RDA_aeSendAssociateReject(g, userEntry, nullptr, &acb, 9);
    GIDU* cnf = toUser.back();
    EXPECT_EQ(cnf, g);
    EXPECT_EQ(cnf->event, AL_A_ASSOC_CNF);
    EXPECT_EQ(cnf->iduType, AL_IDU_ACSE);
    EXPECT_EQ(cnf->ue, &ucbMark);
    EXPECT_EQ(cnf->pe, aei);
    EXPECT_EQ(cnf->uc, &acb);
    EXPECT_EQ(cnf->pc, nullptr);
    auto* aare = static_cast<AcseApdu*>(cnf->idu);
    ASSERT_EQ(aare->code, AC_APDU_AARE);
    EXPECT_EQ(aare->aare.presence, c.presence);
    EXPECT_EQ(aare->aare.protocolVersion, 0x80u);
    EXPECT_EQ(aare->aare.result, AC_RESULT_REJECTED_TRANSIENT);
    EXPECT_EQ(aare->aare.resultSource, AC_SOURCE_PROVIDER);
    EXPECT_EQ(aare->aare.diagnostic, 1u);
    EXPECT_EQ(aare->aare.connResult.sessRequirements, c.connParams ? 0x0342u : 0u);
    ASSERT_EQ(aare->aare.contextName.count, 6u);
    EXPECT_NE(aare->aare.contextName.arcs, kRdaBasic) << "a copy of its own";
    EXPECT_EQ(std::memcmp(aare->aare.contextName.arcs, kRdaBasic, sizeof kRdaBasic), 0);
  }
}

TEST_F(RdaAe, AssociationsOfOneInvocationMadeFromTwoThreadsAtOnce) {
  AeiCB* aei = activated("AE1");
  std::atomic<int> ready{0};
  std::atomic<int> failures{0};
  auto work = [&] {
    ASSERT_EQ(QvCreateAllTLS(), 1);
    ASSERT_NE(xm_init(), nullptr);
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    for (int i = 0; i < 300; ++i) {
      GIDU* g = assocReq(aei, aarq());
      SaoCB* sao = RDA_aeCreateSaoCB(g, nullptr);
      al_deleteGidu(g);
      if (sao == nullptr) {
        ++failures;
        continue;
      }
      RDA_aeDeleteSaoCB(sao, aei);
    }
    xm_shutdown();
    QvRemoveAllTLS();
  };
  std::thread a(work);
  std::thread b(work);
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(RDA_aeSaoCount(aei), 0u);
  EXPECT_EQ(aei->saoList.links.next, &aei->saoList.links);
  EXPECT_EQ(aei->saoList.links.prev, &aei->saoList.links);
}

}  // namespace
