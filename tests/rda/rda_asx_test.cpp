// The configuration tables of the RDA application entity: the service
// elements with their abstract syntaxes and codecs, the application
// contexts, the SACF route table and the service user's configuration.
#include <vector>

#include "asn1/codec_fixture.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/flow.h"
#include "src/acse/sacf.h"
#include "src/acse/sao.h"
#include "src/acse/sur.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_ase.h"
#include "src/rda/rda_asx.h"

namespace {

using RdaAsx = CodecTest;

std::vector<uint32_t> arcsOf(const uint32_t* arcs, uint32_t n) { return std::vector<uint32_t>(arcs, arcs + n); }

TEST_F(RdaAsx, RowsNameAcseThenTheTwoRdaSyntaxesAndEndTheTable) {
  struct Row {
    std::vector<uint32_t> arcs;
    uint32_t aseId;
  };
  const Row rows[] = {{{2, 2, 1, 0, 1}, 240}, {{1, 0, 9579, 2, 1, 1}, 200}, {{1, 2, 826, 0, 1050, 3, 2, 1, 1}, 200}};
  for (int i = 0; i < 3; ++i) {
    const AsxEntry& e = RDA_asxTBL[i];
    EXPECT_EQ(arcsOf(e.arcs, e.arcCount), rows[i].arcs) << "row " << i;
    EXPECT_EQ(e.aseId, rows[i].aseId);
    EXPECT_NE(e.decode, nullptr);
    EXPECT_NE(e.encode, nullptr);
    EXPECT_EQ(e.trigger, nullptr) << "no element asks for a trigger";
    EXPECT_EQ(e.asIdx, 0u) << "only a thread's copy holds the presentation layer's index";
  }
  EXPECT_EQ(RDA_asxTBL[0].decode, &aApdu);
  EXPECT_EQ(RDA_asxTBL[0].encode, &fApdu);
  EXPECT_EQ(RDA_asxTBL[3].arcCount, 0u);
}

TEST_F(RdaAsx, BothRdaRowsLeadToTheOneRdaServiceElement) {
  for (int i : {1, 2}) {
    const AsxEntry& e = RDA_asxTBL[i];
    EXPECT_EQ(e.send, &rda_aseSnd) << "row " << i;
    EXPECT_EQ(e.receive, &rda_aseRcv);
    EXPECT_EQ(e.init, &rda_aseInit);
    EXPECT_EQ(e.establish, &rda_aseEstab);
    EXPECT_EQ(e.release, &rda_aseRel);
    EXPECT_EQ(e.terminate, &rda_aseTerm);
  }
}

TEST_F(RdaAsx, AcseRowReadsAndWritesAnAbortOfTheProvider) {
  // [APPLICATION 4] { abort-source [0] 1 (acse-service-provider) }
  const Bytes abrt = hex("64 03 80 01 01");
  SessionBuffer* chain = chainOf({abrt});
  rtp_setp(chain);
  int32_t err = -1;
  auto* apdu = static_cast<AcseApdu*>(p_parse(RDA_asxTBL[0].decode, nullptr, &err));
  freeChain(chain);
  ASSERT_EQ(err, 0);
  ASSERT_NE(apdu, nullptr);
  EXPECT_EQ(apdu->code, static_cast<uint32_t>(AC_APDU_ABRT));
  EXPECT_EQ(apdu->abrt.source, AC_ABORT_PROVIDER);

  rtp_setf(balloc(-1));
  uint32_t ferr = 0;
  EXPECT_EQ(p_format(RDA_asxTBL[0].encode, apdu, &ferr), 5);
  SessionBuffer* out = nullptr;
  rtp_getf(&out);
  EXPECT_EQ(bytesOf(out), abrt);
  freeChain(out);
  aafreeall(aagetlist());
}

TEST_F(RdaAsx, RdaRowsRunInTheProtectedPasses) {
  const Bytes commitRI = hex("A7 05 02 01 05 80 00");
  for (int i = 1; i < 3; ++i) {
    const AsxEntry& row = RDA_asxTBL[i];
    SessionBuffer* chain = chainOf({commitRI});
    rtp_setp(chain);
    int32_t err = -1;
    auto* idu = static_cast<RDAIdu*>(p_parse(row.decode, nullptr, &err));
    freeChain(chain);
    ASSERT_EQ(err, 0);
    ASSERT_NE(idu, nullptr);
    EXPECT_EQ(idu->tag, RDA_COMMIT_RI);

    rtp_setf(balloc(-1));
    uint32_t ferr = 0;
    EXPECT_EQ(p_format(row.encode, idu, &ferr), 7);
    SessionBuffer* out = nullptr;
    rtp_getf(&out);
    EXPECT_EQ(bytesOf(out), commitRI);
    freeChain(out);

    // An identifier of no alternative: no record, which the frame reports.
    chain = chainOf({hex("30 00")});
    rtp_setp(chain);
    EXPECT_EQ(p_parse(row.decode, nullptr, &err), nullptr);
    freeChain(chain);
    EXPECT_EQ(err, static_cast<int32_t>(AAE_INVVALUE));
  }
  aafreeall(aagetlist());
}

TEST(RdaTables, ContextsUseAcseWithOneRdaSyntaxOverTheSacfRoute) {
  struct Ctx {
    const char* name;
    std::vector<uint32_t> arcs;
    std::vector<uint32_t> syntaxes;
  };
  const Ctx ctxs[] = {{"RDA Basic", {1, 0, 9579, 2, 2, 1}, {0, 1}},
                      {"X/OPEN Basic", {1, 2, 826, 0, 1050, 3, 2, 2, 1}, {0, 2}}};
  for (int i = 0; i < 2; ++i) {
    const ActxEntry& e = RDA_actxTBL[i];
    EXPECT_STREQ(e.name, ctxs[i].name);
    EXPECT_EQ(arcsOf(e.arcs, e.arcCount), ctxs[i].arcs);
    EXPECT_EQ(arcsOf(e.syntaxList, e.syntaxCount), ctxs[i].syntaxes);
    EXPECT_EQ(e.saoSize, sizeof(SaoCB));
    EXPECT_EQ(e.saoTag, 257u);
    EXPECT_EQ(e.routeTbl, RDA_sacfRouteTBL);
    EXPECT_EQ(e.lastRouteIdx, 7u);
  }
  EXPECT_EQ(RDA_actxTBL[2].arcCount, 0u);

  // Receive chain on the even indexes, send chain on the odd ones.
  EXPECT_EQ(RDA_sacfRouteTBL[0], &AL_sacfFlowRcv);
  EXPECT_EQ(RDA_sacfRouteTBL[2], &AL_sacfAseRcv);
  EXPECT_EQ(RDA_sacfRouteTBL[3], &AL_sacfAseSnd);
  EXPECT_EQ(RDA_sacfRouteTBL[5], &AL_sacfFlowSnd);
}

TEST(RdaTables, ServiceUserServesRdaWithTheBlockIdsOfItsControlBlocks) {
  EXPECT_EQ(AL_surConf.sendToAe, &AL_surSendToAe);
  EXPECT_EQ(AL_surConf.ucbId, 260u);
  EXPECT_EQ(AL_surConf.acbId, 261u);
  ASSERT_EQ(AL_surConf.eventHndl, eventHndl);
  EXPECT_EQ(eventHndl[0].iduType, 200u);
  EXPECT_EQ(eventHndl[0].routeTbl, routeRdaTbl);
  EXPECT_EQ(eventHndl[1].iduType, 0u) << "ends the list";
  EXPECT_EQ(routeRdaTbl[3], &AL_surSendToAe) << "back down to the entity";
  EXPECT_EQ(routeRdaTbl[12], &AL_surSendToAe) << "end of the send chain";
}

}  // namespace
