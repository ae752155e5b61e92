// The RDA service element in the SACF passes of an association: the
// sequence check, the element and flow control run for real, the
// conversions and both ends of the passes are the fixture's doubles.
#include <gtest/gtest.h>

#include "acse/sao_fixture.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_ase.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_sacf.h"

namespace {

constexpr uint32_t kRdaCtx = 3;  // RDA Basic: ACSE under 1, ISO RDA under 3

class AseOnSacf : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    route[1] = route[4] = RDA_sacfSeqCk;
    asx[1].send = rda_aseSnd;
    asx[1].receive = rda_aseRcv;
    for (ActxEntry& a : actx) {
      if (a.arcCount == 0) continue;
      a.sacfSnd = rda_sacfSnd;
      a.sacfRcv = rda_sacfRcv;
    }
    ASSERT_EQ(rda_aseInit(), 1);
    makeSao();
    block = static_cast<RDA_AseCB*>(rda_aseEstab());
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(sao->pctxTbl[kRdaCtx].aseId, kRdaIduType);
    sao->pctxTbl[kRdaCtx].aseBlock = block;
    sao->sacfState = 2;  // the association is established
  }
  void TearDown() override {
    EXPECT_EQ(rda_aseRel(block, 0), 1);
    EXPECT_EQ(rda_aseTerm(), 1);
    SaoTest::TearDown();
  }

  // An RDA GIDU of the association as the element gets it: one header of
  // the RDA context over the IDU of `event`'s service form.
  GIDU* rdaGidu(RdaEventCode event) {
    GIDU* g = rda_createGiduWithRdaIdu(nullptr, event & ~AL_EV_APDU, 5, nullptr);
    AeHDR* hdr = AL_createAeHDR(g);
    hdr->pctxId = kRdaCtx;
    g->event = event;
    g->uc = sao;
    return g;
  }

  RDA_AseCB* block = nullptr;
};

TEST_F(AseOnSacf, AnInitializeRequestGoesDownAndItsResponseComesUp) {
  rda_sacfSnd(rdaGidu(RDA_INIT_REQ));
  ASSERT_NE(last("cvrtApdu"), nullptr);
  EXPECT_EQ(last("cvrtApdu")->event, 0x8008u) << "the APDU form left the element";
  ASSERT_NE(last("presentation"), nullptr);
  EXPECT_EQ(block->role, RDA_ASE_ROLE_CLIENT);
  EXPECT_EQ(block->stateCk->state, 1u) << "CB";
  EXPECT_EQ(sao->sacfState, 3u);

  converted = rdaGidu(0x80DA);
  rda_sacfRcv(presGidu(18));
  ASSERT_NE(last("user"), nullptr);
  EXPECT_EQ(last("user")->event, 0x80D6u);
  EXPECT_EQ(block->stateCk->state, 2u) << "CA";
  EXPECT_EQ(sao->sacfState, 5u);
  EXPECT_EQ(sao->saoFlags & SAO_SACF_BUSY, 0u);
}

// Waiting for the R-Initialize response the SACF lets an R-Open request
// pass; the element refuses it and the user gets the local error.
TEST_F(AseOnSacf, ARequestTheElementRefusesComesBackAsALocalError) {
  rda_sacfSnd(rdaGidu(RDA_INIT_REQ));
  seen.clear();
  rda_sacfSnd(rdaGidu(RDA_OPEN_REQ));
  EXPECT_EQ(last("presentation"), nullptr);
  ASSERT_NE(last("user"), nullptr);
  EXPECT_EQ(last("user")->event, AL_LOCERR_IND);
  EXPECT_EQ(last("user")->errNo, 52583u);
  EXPECT_EQ(block->stateCk->state, 1u) << "CB";
  EXPECT_EQ(sao->saoFlags & SAO_SACF_BUSY, 0u);
}

}  // namespace
