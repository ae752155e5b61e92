// The RDA rows of the abstract-syntax table: their abstract syntaxes, and
// their routines run in the protected passes the presentation layer uses.
#include <vector>

#include "asn1/codec_fixture.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_asx.h"

namespace {

using RdaAsx = CodecTest;

std::vector<uint32_t> arcsOf(const AsxEntry& e) { return std::vector<uint32_t>(e.arcs, e.arcs + e.arcCount); }

TEST_F(RdaAsx, RowsNameTheRdaAbstractSyntaxesAndEndTheTable) {
  EXPECT_EQ(arcsOf(RDA_asxTBL[0]), (std::vector<uint32_t>{1, 0, 9579, 2, 1, 1}));
  EXPECT_EQ(arcsOf(RDA_asxTBL[1]), (std::vector<uint32_t>{1, 2, 826, 0, 1050, 3, 2, 1, 1}));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(RDA_asxTBL[i].aseId, 200u);
    EXPECT_NE(RDA_asxTBL[i].decode, nullptr);
    EXPECT_NE(RDA_asxTBL[i].encode, nullptr);
  }
  EXPECT_EQ(RDA_asxTBL[2].arcCount, 0u);
}

TEST_F(RdaAsx, RoutinesRunInTheProtectedPasses) {
  const Bytes commitRI = hex("A7 05 02 01 05 80 00");
  for (int i = 0; i < 2; ++i) {
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

}  // namespace
