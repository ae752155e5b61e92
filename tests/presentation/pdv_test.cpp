// Presentation data values: PDV-lists and User-data against octets worked
// out by hand, the context each PDV finds, and values that fail.
#include "presentation/ppdu_fixture.h"

namespace {

class Pdv : public PpduTest {
 protected:
  int32_t readUserData(const std::string& bytes, User_data* out, size_t piece = 0) {
    *out = User_data{};
    return decode(hex(bytes), psParseUserData, out, piece);
  }

  int32_t one_ = 1, three_ = 3, five_ = 5, six_ = 6, broken_ = -999;
};

TEST_F(Pdv, IdentifierOfThePeerFindsTheSlotThatHoldsIt) {
  define(1, 7, acse_);  // the peer's context 7 lives in slot 1
  User_data got;
  ASSERT_EQ(readUserData("61 0A 30 08 02 01 07 A0 03 02 01 05", &got), 0);
  ASSERT_EQ(pdvs(got).size(), 1u);
  EXPECT_EQ(pdvs(got)[0]->context, 1u);
  EXPECT_EQ(pdvs(got)[0]->encoding, kEncSingleAsn1);
  EXPECT_EQ(pdvs(got)[0]->tsName.count, kObjIdAbsent);
  EXPECT_EQ(intOf(pdvs(got)[0]->value), 5);

  // Written by this side, slot 1 goes out as the peer's 7.
  User_data out{};
  append(&out, single(1, &five_));
  EXPECT_EQ(encodeHex(psFormatUserData, &out), "61 0A 30 08 02 01 07 A0 03 02 01 05");
  EXPECT_EQ(pdvs(out)[0]->context, 7u);
}

TEST_F(Pdv, PdvOfAContextThatCannotTakeItEndsTheParse) {
  define(1, 7, acse_);
  define(3, 9, rda_, kPcdtProviderRejected);
  define(5, 11, rda_, kPcdtUserRejected);
  struct Case {
    const char* what;
    const char* identifier;
    uint32_t err;
  };
  const Case cases[] = {
      {"rejected by the provider", "02 01 09", PE_PCTXID_INV},
      {"rejected by the user: no abstract syntax", "02 01 0B", PE_NOT_PRE_ENC},
      {"no slot holds it", "02 01 0D", PE_PCTXID_INV},
      {"negative, as the map of a free slot reads", "02 01 FF", PE_PCTXID_INV},
      {"beyond the table", "02 02 01 2C", PE_PCTXID_INV},
  };
  for (const Case& c : cases) {
    const Bytes pdv = hex(c.identifier) + hex("A0 03 02 01 05");
    const Bytes list = Bytes{0x30, static_cast<uint8_t>(pdv.size())} + pdv;
    User_data got{};
    EXPECT_EQ(decode(Bytes{0x61, static_cast<uint8_t>(list.size())} + list, psParseUserData, &got),
              static_cast<int32_t>(c.err))
        << c.what;
  }
}

TEST_F(Pdv, ValueThatFailsToParseLeavesThePpduReadable) {
  define(1, 1, acse_);
  // Three PDV-lists: an OCTET STRING where an INTEGER belongs, an INTEGER
  // out of range, a good one.
  User_data got;
  ASSERT_EQ(readUserData("61 1E "
                         "30 08 02 01 01 A0 03 04 01 00 "
                         "30 08 02 01 01 A0 03 02 01 7F "
                         "30 08 02 01 01 A0 03 02 01 06",
                         &got, 5),
            0);
  const auto list = pdvs(got);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->value, nullptr);
  EXPECT_EQ(list[0]->error, static_cast<uint32_t>(AAE_MSGPARAM));
  EXPECT_EQ(list[1]->value, nullptr);
  EXPECT_EQ(list[1]->error, static_cast<uint32_t>(AAE_DTVALID));
  EXPECT_EQ(intOf(list[2]->value), 6);
  EXPECT_EQ(pdvFmtPrs, static_cast<uint32_t>(AAE_MSGPARAM)) << "the first error wins";
  // Structure errors around a value still end the parse.
  EXPECT_EQ(readUserData("61 0D 30 0B 02 01 01 A0 06 02 01 05 02 01 06", &got), AAE_BADENC) << "two values in [0]";
  EXPECT_EQ(readUserData("61 0D 30 0B 02 01 01 A0 03 02 01 05 02 01 06", &got), AAE_BADENC) << "more after [0]";
  EXPECT_EQ(readUserData("61 08 30 06 06 02 51 01 A0 00", &got), AAE_BADENC) << "no identifier";
  EXPECT_EQ(readUserData("61 05 30 03 02 01 01", &got), AAE_MSGPARAM) << "no values";
  EXPECT_EQ(readUserData("61 07 30 05 02 01 01 A5 00", &got), AAE_NOTINCHOICE) << "unknown values tag";
  EXPECT_EQ(readUserData("61 00", &got), AAE_OVFLO) << "no PDV-list";
  EXPECT_EQ(readUserData("62 00", &got), AAE_NOTINCHOICE) << "not User-data";
}

TEST_F(Pdv, OctetAlignedValuesBecomeChainedSegments) {
  define(1, 1, acse_);
  User_data got;
  const char* bytes = "61 0D 30 0B 02 01 01 81 06 02 01 05 02 01 06";
  ASSERT_EQ(readUserData(bytes, &got, 3), 0);
  ASSERT_EQ(pdvs(got).size(), 1u);
  const PdvType* first = pdvs(got)[0];
  EXPECT_EQ(first->encoding, kEncOctetAligned);
  EXPECT_EQ(intOf(first->value), 5);
  ASSERT_NE(first->next, nullptr);
  EXPECT_EQ(first->next->context, 1u);
  EXPECT_EQ(intOf(first->next->value), 6);
  EXPECT_EQ(first->next->next, nullptr);

  // The same segments written: one OCTET STRING holding both values.
  User_data out{};
  PdvType* p = single(1, &five_);
  p->encoding = kEncOctetAligned;
  PdvType* second = newPdvType(p, nullptr);
  second->value = &six_;
  append(&out, p);
  EXPECT_EQ(encodeHex(psFormatUserData, &out), bytes);

  // Arbitrary: a BIT STRING with its unused-bits octet; a failing second
  // value is cut off the chain.
  ASSERT_EQ(readUserData("61 0E 30 0C 02 01 01 82 07 00 02 01 05 02 01 7F", &got), 0);
  EXPECT_EQ(pdvs(got)[0]->encoding, kEncArbitrary);
  EXPECT_EQ(intOf(pdvs(got)[0]->value), 5);
  EXPECT_EQ(pdvs(got)[0]->next, nullptr);
  EXPECT_EQ(pdvFmtPrs, static_cast<uint32_t>(AAE_DTVALID));
}

TEST_F(Pdv, TransferSyntaxNameIsWrittenOnlyWhereItTellsSomething) {
  initiator();
  struct Case {
    const char* what;
    uint32_t directMultiple;
    uint32_t proposed;
    const char* bytes;
  };
  const Case cases[] = {
      {"connect, one transfer syntax proposed", 0xFFFFFFFFu, 1, "30 08 02 01 03 A0 03 02 01 05"},
      {"connect, two proposed", 0xFFFFFFFFu, 2, "30 0C 06 02 51 01 02 01 03 A0 03 02 01 05"},
      {"any other PPDU whose record names it", 0, 1, "30 0C 06 02 51 01 02 01 03 A0 03 02 01 05"},
  };
  for (const Case& c : cases) {
    pm_->pcdt[3].tsCount = c.proposed;
    PdvType* p = single(3, &five_);
    p->tsName = tst[ps_asn1_tsidx].id;
    directMult = c.directMultiple;
    EXPECT_EQ(hexOf(encodeWith([p] { return fPdv(p); })), c.bytes) << c.what;
  }
  directMult = 0;
  PdvType* unnamed = single(3, &five_);
  EXPECT_EQ(hexOf(encodeWith([unnamed] { return fPdv(unnamed); })), "30 08 02 01 03 A0 03 02 01 05");
}

TEST_F(Pdv, FullyEncodedDataKeepsTheOrderOfItsPdvLists) {
  initiator();
  User_data out{};
  append(&out, single(1, &one_));
  append(&out, single(3, &three_));
  append(&out, single(1, &five_));
  const char* bytes =
      "61 1E 30 08 02 01 01 A0 03 02 01 01 30 08 02 01 03 A0 03 02 01 03 30 08 02 01 01 A0 03 02 01 05";
  EXPECT_EQ(encodeHex(psFormatUserData, &out), bytes);
  User_data got;
  ASSERT_EQ(readUserData(bytes, &got, 1), 0);
  const auto list = pdvs(got);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(intOf(list[0]->value), 1);
  EXPECT_EQ(list[1]->context, 3u);
  EXPECT_EQ(intOf(list[2]->value), 5);
}

TEST_F(Pdv, SimplyEncodedDataIsTheDefaultContextsValueInAnOctetString) {
  pm_->dfltAsIdx = acse_;
  pm_->dfltTsIdx = ps_asn1_tsidx;
  User_data out{};
  out.kind = kUserDataSimple;
  out.simple.value = &five_;
  EXPECT_EQ(encodeHex(psFormatUserData, &out), "40 03 02 01 05");
  EXPECT_EQ(encodeHex(psFormatSimple, &out), "02 01 05") << "the bare form";

  User_data got;
  ASSERT_EQ(readUserData("40 03 02 01 05", &got), 0);
  EXPECT_EQ(got.kind, kUserDataSimple);
  EXPECT_EQ(intOf(got.simple.value), 5);
  ASSERT_EQ(readUserData("60 80 04 01 02 04 02 01 05 00 00", &got, 2), 0) << "constructed OCTET STRING";
  EXPECT_EQ(intOf(got.simple.value), 5);
  got = User_data{};
  ASSERT_EQ(decode(hex("02 01 05"), psParseSimple, &got), 0);
  EXPECT_EQ(got.kind, kUserDataSimple);
  EXPECT_EQ(intOf(got.simple.value), 5);
  EXPECT_EQ(readUserData("40 03 04 01 00", &got), AAE_MSGPARAM) << "a value that cannot be read";
  EXPECT_EQ(readUserData("40 06 02 01 05 02 01 06", &got), AAE_BADENC) << "a second value";
}

TEST_F(Pdv, ValueThatFailsToFormatLeavesItsErrorForTheSender) {
  initiator();
  User_data out{};
  append(&out, single(1, &one_));
  append(&out, single(3, &broken_));
  QvSetOsiError(0);
  (void)encode(psFormatUserData, &out);
  // The PPDU's own pass went through; the value's pass failed, which is
  // what the sender looks at before it sends anything.
  EXPECT_EQ(lastFormatError_, 0u);
  EXPECT_EQ(QvGetOsiError(), AAE_FMTERR);
  EXPECT_EQ(pdvs(out)[1]->error, static_cast<uint32_t>(AAE_FMTERR));

  PdvType* bad = single(1, &one_);
  bad->encoding = 5;
  EXPECT_TRUE(encodeWith([bad] { return fPdv(bad); }).empty());
  EXPECT_EQ(lastFormatError_, static_cast<uint32_t>(AAE_BADENC));
  PdvType* outside = single(40, &one_);
  EXPECT_TRUE(encodeWith([outside] { return fPdv(outside); }).empty());
  EXPECT_EQ(lastFormatError_, PE_PCTXID_NOT);
}

TEST_F(Pdv, PreEncodedTestRefusesValuesThatHaveRoutines) {
  define(1, 1, acse_);
  const OctStgV rda = sel("RDA");
  const uint32_t arcs[] = {1, 9, 7};
  const int32_t raw = p_asynreg(&rda, 3, arcs, nullptr, nullptr, 1);
  ASSERT_GE(raw, 0);
  ASSERT_EQ(p_assoc(&rda, raw, ps_asn1_tsidx), 1);
  define(3, 3, raw);
  PS_pre_encoded_test = 1;
  rtp_testForPreEncoded = 1;
  User_data got;
  EXPECT_EQ(readUserData("61 0A 30 08 02 01 01 A0 03 02 01 05", &got), static_cast<int32_t>(PE_NOT_PRE_ENC));
  EXPECT_EQ(pm_->preEncRcv, 0u);
  // The first segment of a long value of a pre-encoded syntax: its length
  // runs past the octets at hand.
  ASSERT_EQ(readUserData("61 82 01 00 30 81 FC 02 01 03 A0 81 F6 04 81 F3 01 02", &got), 0);
  EXPECT_EQ(pm_->preEncRcv, 1u);
  ASSERT_EQ(pdvs(got).size(), 1u);
  EXPECT_EQ(pdvs(got)[0]->context, 3u);
  EXPECT_NE(pdvs(got)[0]->value, nullptr);
}

}  // namespace
