// The table-driven codec engine on a small type of its own: the presence
// rules that the message types use less often (written when non-zero,
// pointers written when set, probing with the value variants) and the
// checks of ill-made descriptors.
#include "asn1/codec_fixture.h"
#include "src/asn1/codec_table.h"

namespace {

// Inner ::= SEQUENCE { [0] INTEGER OPTIONAL }
struct Inner {
  uint32_t mask;
  int32_t a;
};
constexpr CtField kInnerFields[] = {ctField(ctCtx(0), ctInt, offsetof(Inner, a)).optional(1)};
constexpr CtSeq kInnerSeq{kInnerFields, offsetof(Inner, mask)};
constexpr CtType kInner = ctSeqType(kInnerSeq, sizeof(Inner), CT_PAGE);

// Alt ::= CHOICE { [3] INTEGER, [4] BOOLEAN }, probed with the value variants.
struct Alt {
  uint32_t code;
  union {
    int32_t i;
    uint32_t b;
  };
};
constexpr CtField kAltAlts[] = {
    ctField(ctCtx(3), ctInt, offsetof(Alt, i)).valueProbe(),
    ctField(ctCtx(4), ctBool, offsetof(Alt, b)).valueProbe(),
};
constexpr CtChoice kAltChoice{kAltAlts, offsetof(Alt, code)};
constexpr CtType kAlt = ctChoiceType(kAltChoice, sizeof(Alt));

// Rec ::= SEQUENCE { [0] INTEGER (written when not 0), [1] Inner (a record
// of its own, written when set), [2] text OPTIONAL, Alt OPTIONAL }
struct Rec {
  uint32_t mask;
  int32_t n;
  Inner* inner;
  char* text;
  Alt alt;
};
constexpr CtField kRecFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(Rec, n)).whenNonZero(),
    ctField(ctCtx(1), kInner, offsetof(Rec, inner)).indirect().whenSet(),
    ctField(ctCtx(2), ctTextPage, offsetof(Rec, text)).optional(4),
    ctField(CT_SELF, kAlt, offsetof(Rec, alt)).optional(8),
};
constexpr CtSeq kRecSeq{kRecFields, offsetof(Rec, mask)};
constexpr CtType kRec = ctSeqType(kRecSeq, sizeof(Rec));

class CodecTable : public CodecTest {
 protected:
  void TearDown() override {
    aafreeall(aagetlist());
    CodecTest::TearDown();
  }
};

TEST_F(CodecTable, PresenceRulesReadAndWriteBack) {
  Rec r{};
  r.n = 99;
  r.inner = reinterpret_cast<Inner*>(&r);
  EXPECT_EQ(readOne(hex("30 00"), [&] { ct_parseType(kRec, &r, "test"); }), 0);
  EXPECT_EQ(r.mask, 0u);
  EXPECT_EQ(r.n, 0) << "absent: 0";
  EXPECT_EQ(r.inner, nullptr) << "absent: no record";
  EXPECT_EQ(formatted([&] { return ct_formatType(kRec, &r, "test"); }), Bytes{});

  const Bytes full = hex("80 01 05 A1 03 80 01 07 82 02 68 69 84 01 FF");
  EXPECT_EQ(readOne(tlv(0x30, full), [&] { ct_parseType(kRec, &r, "test"); }), 0);
  EXPECT_EQ(r.mask, 12u);
  EXPECT_EQ(r.n, 5);
  ASSERT_NE(r.inner, nullptr);
  EXPECT_EQ(r.inner->mask, 1u);
  EXPECT_EQ(r.inner->a, 7);
  EXPECT_STREQ(r.text, "hi");
  EXPECT_EQ(r.alt.code, 0x4004u);
  EXPECT_EQ(r.alt.b, 0xFFu);
  EXPECT_EQ(formatted([&] { return ct_formatType(kRec, &r, "test"); }), full);

  // A zero read from the wire is not written again.
  EXPECT_EQ(readOne(hex("30 03 80 01 00"), [&] { ct_parseType(kRec, &r, "test"); }), 0);
  EXPECT_EQ(formatted([&] { return ct_formatType(kRec, &r, "test"); }), Bytes{});

  // Indefinite lengths at every level, and every cut of the buffers.
  const Bytes indefinite = hex("30 80 A1 80 80 01 07 00 00 83 01 09 00 00");
  EXPECT_EQ(readOne(indefinite, [&] { ct_parseType(kRec, &r, "test"); }), 0);
  EXPECT_EQ(r.inner->a, 7);
  EXPECT_EQ(r.alt.i, 9);
  EXPECT_EQ(readAtEveryCut(tlv(0x30, full), [&] { ct_parseType(kRec, &r, "test"); }), 0);
}

TEST_F(CodecTable, EmptySequenceTaggedImplicitlyIsConstructedAndReadInEitherForm) {
  Inner empty{};
  Rec r{};
  r.inner = &empty;
  EXPECT_EQ(formatted([&] { return ct_formatType(kRec, &r, "test"); }), hex("A1 00"));
  for (const char* wire : {"30 02 A1 00", "30 02 81 00"}) {
    SCOPED_TRACE(wire);
    Rec back{};
    EXPECT_EQ(readOne(hex(wire), [&] { ct_parseType(kRec, &back, "test"); }), 0);
    ASSERT_NE(back.inner, nullptr);
    EXPECT_EQ(back.inner->mask, 0u);
  }
}

TEST_F(CodecTable, ChoiceProbedWithTheValueVariantsStopsAtTheEnd) {
  Rec r{};
  EXPECT_EQ(readOne(hex("30 03 83 01 09"), [&] { ct_parseType(kRec, &r, "test"); }), 0);
  EXPECT_EQ(r.alt.i, 9);
  EXPECT_EQ(readOne(hex("30 03 85 01 09"), [&] { ct_parseType(kRec, &r, "test"); }), AAE_REQEOC)
      << "no alternative: absent, then left over";
  EXPECT_EQ(readOne(hex("30 80 00 00"), [&] { ct_parseType(kRec, &r, "test"); }), 0);
  EXPECT_EQ(r.mask, 0u);
}

TEST_F(CodecTable, FormattingAMissingRecordOrUnknownAlternativeFails) {
  Rec r{};
  r.mask = 8;
  r.alt.code = 0x4005;
  EXPECT_EQ(formatError([&] { return ct_formatType(kRec, &r, "test"); }), AAE_NONSPEC);
  CtField mandatoryInner = ctField(ctCtx(1), kInner, offsetof(Rec, inner)).indirect();
  EXPECT_EQ(formatError([&] { return ct_formatField(mandatoryInner, &r, "test"); }), AAE_MSGPARAM);
}

// Ill-made descriptors.
constexpr CtField kChoiceImplicit[] = {ctField(ctCtx(0), kAlt)};
constexpr CtField kSelfContents[] = {ctField(CT_SELF, ctInt)};
constexpr CtField kOptionalNoBit[] = {ctField(ctCtx(0), ctInt).optional(0)};
constexpr CtField kDefaultText[] = {ctField(ctCtx(0), ctText).byDefault(1, 0)};
constexpr CtField kHighValueProbe[] = {ctField(ctCtx(31), ctInt).valueProbe()};
constexpr CtField kSetNoBit[] = {ctField(ctCtx(0), ctInt)};
constexpr CtField kTwice[] = {ctField(ctCtx(0), ctInt), ctField(ctCtx(0), ctBool)};
constexpr CtSeq kBadSeqs[] = {
    {kChoiceImplicit}, {kSelfContents}, {kOptionalNoBit, 0}, {kOptionalNoBit, -1},
    {kDefaultText, 0}, {kHighValueProbe}, {kSetNoBit, 0, CT_SET},
};
constexpr CtChoice kTwiceChoice{kTwice};
constexpr CtList kListInLinks{ctField(ctUniv(2), ctInt, 0), 32};
constexpr CtList kListPastNode{ctField(ctUniv(2), ctInt, 16), 18};

TEST_F(CodecTable, IllMadeDescriptorsAreFound) {
  EXPECT_TRUE(ct_valid(kRec));
  for (const CtSeq& s : kBadSeqs) EXPECT_FALSE(ct_valid(ctSeqType(s, 8))) << &s - kBadSeqs;
  EXPECT_FALSE(ct_valid(ctChoiceType(kTwiceChoice, 8)));
  EXPECT_FALSE(ct_valid(ctListType(kListInLinks)));
  EXPECT_FALSE(ct_valid(ctListType(kListPastNode)));
}

}  // namespace
