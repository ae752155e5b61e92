// The ACSE element inside the SACF passes of an RDA association: its output
// goes on with the running pass through the SACF entries, so that an
// A-ASSOCIATE request meets the sequence check before the element and flow
// control with the conversion after it, and a received APDU is converted,
// checked by the element and then by the sequence check. The presentation
// layer and the user are doubles at the ends of the route.
#include "acse/sao_fixture.h"
#include "src/acse/acse_ase.h"
#include "src/acse/cvrt_apdu.h"
#include "src/presentation/pevents.h"
#include "src/rda/rda_sacf.h"

namespace {

XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }

class AcsePass : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    for (int i = 0; i < kSacfRouteEntries; ++i) route[i] = RDA_sacfRouteTBL[i];
    route[6] = toUser;
    route[7] = toPresentation;
    asx[0].send = ac_aseSnd;
    asx[0].receive = ac_aseRcv;
    for (ActxEntry& row : actx) {
      if (row.arcCount == 0) continue;
      row.sacfSnd = rda_sacfSnd;
      row.sacfRcv = rda_sacfRcv;
      row.cvrtApdu = AL_cvrtApdu;
      row.cvrtPpdu = [](GIDU* g) { return rda_sacfTypeRing(AL_cvrtPpdu(g), static_cast<SaoCB*>(g->uc)); };
    }
    makeSao();
    sao->appContext = saofix::oid(saofix::kRdaBasic, 6);
    ASSERT_EQ(ac_aseInit(), 1);
    cb = static_cast<AcseAseCB*>(ac_aseEstab());
    ASSERT_NE(cb, nullptr);
    sao->pctxTbl[1].aseBlock = cb;
  }
  void TearDown() override {
    ac_aseRel(cb, 0);
    ac_aseTerm();
    SaoTest::TearDown();
  }
  // A record of `code` in a tree of its own under `tree`.
  static AcseApdu* record(XmTree* tree, uint32_t code) {
    auto* a = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
    _xm_moveTree(tree, treeOf(a));
    a->code = code;
    return a;
  }
  // A presentation indication or confirm carrying `code` in the ACSE context.
  GIDU* received(uint32_t pev, uint32_t code) {
    GIDU* g = presGidu(pev);
    AcseApdu* a = record(treeOf(g->idu), code);
    addData(g, 1, a);
    return g;
  }
  static const PIDU* pidu(const GIDU* g) { return static_cast<const PIDU*>(g->idu); }
  static const AcseApdu* firstValue(const GIDU* g) {
    return static_cast<const AcseApdu*>(static_cast<const DElem*>(pidu(g)->dataList.next)->value);
  }
  static const AcseApdu* apdu(const GIDU* g) {
    return static_cast<const AcseApdu*>(static_cast<const AeHDR*>(g->idu)->wrapped);
  }

  AcseAseCB* cb = nullptr;
};

TEST_F(AcsePass, AssociationRequestAndItsConfirm) {
  GIDU* req = apduGidu(AL_IDU_ACSE, AL_A_ASSOC_REQ, 1);
  AcseApdu* aarq = record(treeOf(req), AC_APDU_AARQ);
  aarq->aarq.presence = AC_AARQ_VERSION | AC_AARQ_CONN_PARAMS;
  aarq->aarq.connParams.sessRequirements = 2;
  static_cast<AeHDR*>(req->idu)->wrapped = aarq;
  rda_sacfSnd(req);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"presentation"}));
  const GIDU* cp = seen[0].gidu;
  EXPECT_EQ(cp->iduType, AL_IDU_PRES);
  EXPECT_EQ(pidu(cp)->event, static_cast<uint32_t>(P_CON_REQ));
  EXPECT_EQ(pidu(cp)->sessRequirements, 2u);
  EXPECT_EQ(firstValue(cp), aarq);
  EXPECT_EQ(aarq->aarq.presence, AC_AARQ_VERSION);
  EXPECT_EQ(cb->acpm.state, ACPM_AWAIT_AARE);
  EXPECT_EQ(sao->sacfState, 1u) << "association pending";
  EXPECT_EQ(sao->saoFlags & SAO_SACF_BUSY, 0u);

  seen.clear();
  GIDU* cnf = received(P_CON_CNF, AC_APDU_AARE);
  static_cast<PIDU*>(cnf->idu)->sessRequirements = 2;
  rda_sacfRcv(cnf);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"user"}));
  const GIDU* up = seen[0].gidu;
  EXPECT_EQ(up->event, AL_A_ASSOC_CNF);
  EXPECT_EQ(up->iduType, AL_IDU_ACSE);
  EXPECT_EQ(apdu(up)->aare.connResult.sessRequirements, 2u);
  EXPECT_EQ(cb->acpm.state, ACPM_ASSOCIATED);
  EXPECT_EQ(sao->sacfState, 2u) << "associated";
}

TEST_F(AcsePass, AareWithoutARequestAbortsBothWays) {
  rda_sacfRcv(received(P_CON_CNF, AC_APDU_AARE));
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"user", "presentation"}));
  const GIDU* ind = seen[0].gidu;
  EXPECT_EQ(ind->event, AL_A_ABORT_IND);
  EXPECT_EQ(ind->errNo, 49255u);
  const GIDU* abrt = seen[1].gidu;
  EXPECT_EQ(abrt->iduType, AL_IDU_PRES);
  EXPECT_EQ(pidu(abrt)->event, static_cast<uint32_t>(P_UAB_REQ));
  EXPECT_EQ(firstValue(abrt)->code, static_cast<uint32_t>(AC_APDU_ABRT));
  EXPECT_EQ(firstValue(abrt)->abrt.source, AC_ABORT_PROVIDER);
  EXPECT_NE(sao->saoFlags & SAO_DELETE_PENDING, 0u);
  EXPECT_EQ(sao->sacfState, 0u);
}

TEST_F(AcsePass, RefusedUserRequestComesBackThroughTheReceiveChain) {
  GIDU* rel = apduGidu(AL_IDU_ACSE, AL_A_RELEASE_REQ, 1);
  static_cast<AeHDR*>(rel->idu)->wrapped = record(treeOf(rel), AC_APDU_RLRQ);
  sao->sacfState = 2;  // the SACF lets it pass; the ACSE machine is idle
  rda_sacfSnd(rel);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"user"}));
  EXPECT_EQ(seen[0].event, AL_LOCERR_IND);
  EXPECT_EQ(seen[0].errNo, 49255u);
  EXPECT_EQ(cb->acpm.state, ACPM_IDLE);
}

}  // namespace
