// Identifier and length octets, read and written, against encodings worked
// out by hand from X.690.
#include <cstring>
#include <string>

#include "asn1/ber_fixture.h"

namespace {

using BerLength = BerTest;

TEST_F(BerLength, GetidMatchesClassAndTagAndConsumesNothingOnAMismatch) {
  struct Case {
    Bytes in;
    int32_t cls, tag;
    int64_t want;
    uint32_t cons;  // checked on a match
  };
  const Case cases[] = {
      {{0x85, 0x03, 1, 2, 3}, 0x80, 5, 3, 0},             // [5] primitive
      {{0xA5, 0x03, 0x80, 0x01, 0x00}, 0x80, 5, 3, 32},   // [5] constructed
      {{0x9F, 0x81, 0x00, 0x01, 0x07}, 0x80, 128, 1, 0},  // [128], high-tag form
      {{0x7F, 0x1F, 0x00}, 0x40, 31, 0, 32},              // [APPLICATION 31] constructed, empty
      {{0x85, 0x01, 0x00}, 0x80, 6, -2, 0},               // other low tag
      {{0x85, 0x01, 0x00}, 0x40, 5, -2, 0},               // other class
      {{0x85, 0x01, 0x00}, 0x80, 128, -3, 0},             // low-tag identifier, high tag asked
      {{0x9F, 0x81, 0x01, 0x00}, 0x80, 128, -4, 0},       // high-tag number 129
      {{}, 0x80, 5, -1, 0},                               // the level has ended
  };
  for (const Case& c : cases) {
    SessionBuffer* chain = chainOf({c.in});
    int64_t got = 99;
    uint8_t* start = nullptr;
    const int32_t err = parse(chain, [&] {
      start = aapdu;
      cons = 77;
      got = ber_getid(c.cls, c.tag);
      if (got < 0) {
        EXPECT_EQ(aapdu, start) << "nothing consumed";
        EXPECT_EQ(cons, 77u);
        EXPECT_EQ(lev, 0);
      } else {
        EXPECT_EQ(lev, 1);
        EXPECT_EQ(cons, c.cons);
      }
    });
    EXPECT_EQ(err, 0);
    EXPECT_EQ(got, c.want) << "class " << c.cls << " tag " << c.tag;
    freeChain(chain);
  }
}

TEST_F(BerLength, TypeCodesCarryTheClassAboveTheTagNumber) {
  struct Case {
    Bytes in;
    int32_t code;
  };
  const Case cases[] = {
      {{0x02, 0x00}, 2},                     // UNIVERSAL 2
      {{0x30, 0x00}, 16},                    // SEQUENCE, constructed bit not in the code
      {{0x61, 0x00}, 0x2000 + 1},            // [APPLICATION 1]
      {{0x80, 0x00}, 16384},                 // [0]
      {{0xC3, 0x00}, 0x6000 + 3},            // [PRIVATE 3]
      {{0x9F, 0x81, 0x00, 0x00}, 16384 + 128},
      {{0x5F, 0xBF, 0x7F, 0x00}, 0x2000 + 8191},  // the largest number read
      {{0x1F, 0x1F, 0x00}, 31},
  };
  for (const Case& c : cases) {
    SessionBuffer* chain = chainOf({c.in});
    int32_t got = -1;
    EXPECT_EQ(parse(chain, [&] { got = ber_gettype(); }), 0);
    EXPECT_EQ(got, c.code);
    freeChain(chain);
  }
}

TEST_F(BerLength, MalformedIdentifiersAndLengthsAreRefused) {
  struct Case {
    const char* what;
    Bytes in;
    int32_t code;
    const char* file;
    uint32_t line;  // 0: not checked
  };
  const Case cases[] = {
      {"high-tag number 8192", {0x9F, 0xC0, 0x00, 0x00}, 24, "src/rtp_type", 331},
      {"three subsequent tag octets", {0x9F, 0x80, 0x80, 0x01, 0x00}, 24, "src/rtp_type", 331},
      {"identifier UNIVERSAL 0, constructed", {0x20, 0x00}, 24, "src/rtp_type", 0},
      {"identifier UNIVERSAL 0, high-tag form", {0x1F, 0x00, 0x00}, 24, "src/rtp_type", 0},
      {"length 0x85", {0x04, 0x85, 0, 0, 0, 0, 1, 0xAA}, 25, "src/rtp_leng", 101},
      {"length 0xFF", {0x04, 0xFF}, 25, "src/rtp_leng", 101},
      {"short length past the chain", {0x04, 0x05, 0xAA, 0xBB}, 25, "src/rtp_leng", 85},
      {"long length past the chain", {0x04, 0x81, 0x05, 0xAA}, 25, "src/rtp_leng", 137},
      {"length octets cut off", {0x04, 0x82, 0x01}, 25, "src/rtp_cfg", 0},
      {"identifier cut off", {0x9F, 0x81}, 25, "src/rtp_cfg", 0},
      {"indefinite primitive", {0x04, 0x80, 0xAA, 0x00, 0x00}, 25, "src/rtp_type", 0},
      {"inner length past the outer", {0x30, 0x03, 0x04, 0x05, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}, 25, "src/rtp_leng", 85},
      {"identifier past the outer end", {0x30, 0x80, 0x30, 0x01, 0x04, 0x00}, 25, "src/rtp_cfg", 0},
      {"end-of-contents past the outer end", {0x30, 0x03, 0x30, 0x80, 0x00, 0x00}, 25, "src/rtp_cfg", 0},
  };
  for (const Case& c : cases) {
    SessionBuffer* chain = chainOf({c.in});
    bool done = false;
    const int32_t err = parse(chain, [&] {
      while (ber_gettype() != 0) {
        if (cons == 0) aa_skip();  // primitive contents
      }
      done = true;
    });
    EXPECT_EQ(err, c.code) << c.what;
    EXPECT_FALSE(done) << c.what;
    EXPECT_STREQ(aafile, c.file) << c.what;
    if (c.line != 0) {
      EXPECT_EQ(aaline, c.line) << c.what;
    }
    EXPECT_EQ(QvGetOsiError(), c.code) << "aaerror sets osi_errno: " << c.what;
    QvSetOsiError(0);
    freeChain(chain);
  }
}

TEST_F(BerLength, LengthRunningPastTheChainIsRefusedBeforeAnythingIsRead) {
  // 04 05 AA BB split over two buffers: the length alone decides.
  SessionBuffer* chain = chainSplit({0x04, 0x05, 0xAA, 0xBB}, {3});
  bool opened = false;
  EXPECT_EQ(parse(chain, [&] {
              ber_getid(0, 4);
              opened = true;
            }),
            25);
  EXPECT_FALSE(opened);
  EXPECT_EQ(aapdu, chain->data + 2) << "stopped right after the length octet";
  freeChain(chain);
}

TEST_F(BerLength, LongFormLengthsOfOneToFourOctets) {
  struct Case {
    Bytes lengthOctets;
    int64_t want;
  };
  const Case cases[] = {
      {{0x81, 0x80}, 128},
      {{0x82, 0x01, 0x00}, 256},
      {{0x83, 0x00, 0x01, 0x01}, 257},
      {{0x84, 0x00, 0x00, 0x01, 0x02}, 258},
  };
  for (const Case& c : cases) {
    Bytes in{0x04};
    in.insert(in.end(), c.lengthOctets.begin(), c.lengthOctets.end());
    in.resize(in.size() + static_cast<size_t>(c.want), 0x5A);
    SessionBuffer* chain = chainOf({in});
    int64_t got = -1;
    EXPECT_EQ(parse(chain, [&] {
                got = ber_getid(0, 4);
                aa_skip();
                EXPECT_EQ(ber_chkend(), 1) << "the whole chain is read";
              }),
              0);
    EXPECT_EQ(got, c.want);
    freeChain(chain);
  }
}

TEST_F(BerLength, IndefiniteLengthEndsAtEndOfContents) {
  // SEQUENCE (indefinite) { OCTET STRING AA } 00 00, then NULL.
  SessionBuffer* chain = chainOf({{0x30, 0x80, 0x04, 0x01, 0xAA, 0x00, 0x00, 0x05, 0x00}});
  EXPECT_EQ(parse(chain, [&] {
              EXPECT_EQ(ber_getid(0, 16), 0);
              EXPECT_EQ(lev, 1);
              EXPECT_EQ(eopenv[1].remaining, -1);
              EXPECT_EQ(eop[1], nullptr);
              EXPECT_EQ(ber_getid(0, 4), 1);
              aa_skip();
              EXPECT_EQ(ber_getid(0, 4), -2) << "the end-of-contents octets are no element";
              EXPECT_EQ(ber_chkend(), 2);
              EXPECT_EQ(lev, 0);
              EXPECT_EQ(ber_getid(0, 5), 0);
              EXPECT_EQ(ber_chkend(), 1);
            }),
            0);
  freeChain(chain);
}

TEST_F(BerLength, ThirtyOneLevelsOpenAndTheThirtySecondIsRefused) {
  Bytes in;
  for (int i = 0; i < 32; ++i) in.insert(in.end(), {0xA0, 0x80});
  for (int i = 0; i < 32; ++i) in.insert(in.end(), {0x00, 0x00});
  SessionBuffer* chain = chainOf({in});
  int32_t opened = 0;
  EXPECT_EQ(parse(chain, [&] {
              while (ber_getid(0x80, 0) == 0) ++opened;
            }),
            5);
  EXPECT_EQ(opened, 31);
  EXPECT_EQ(lev, 31);
  EXPECT_STREQ(aafile, "src/rtp_leng");
  EXPECT_EQ(aaline, 55u);
  freeChain(chain);
}

TEST_F(BerLength, PeekingConsumesNothingAndSeesTheEndOfTheLevel) {
  SessionBuffer* chain = chainOf({{0x30, 0x02, 0xA2, 0x00}});
  EXPECT_EQ(parse(chain, [&] {
              ASSERT_EQ(ber_getid(0, 16), 2);
              uint8_t* at = aapdu;
              EXPECT_EQ(ber_peektype(), 16386);
              EXPECT_EQ(ber_peektypeVal(), 16386);
              EXPECT_EQ(aapdu, at);
              EXPECT_EQ(ber_gettype(), 16386);
              EXPECT_EQ(cons, 32u);
              EXPECT_EQ(ber_gettype(), 0) << "[2] is empty: its end, and the level is left";
              EXPECT_EQ(lev, 1);
              at = aapdu;
              EXPECT_EQ(ber_peektype(), 0);
              EXPECT_EQ(lev, 1) << "peeking at the end leaves the level open";
              EXPECT_EQ(aapdu, at);
              EXPECT_EQ(ber_chkend(), 1);
              EXPECT_EQ(lev, 0);
            }),
            0);
  freeChain(chain);
  chain = chainOf({{0x9F, 0x21, 0x00}});
  EXPECT_EQ(parse(chain, [] { ber_peektypeVal(); }), 24) << "high-tag form refused by the low-tag peek";
  freeChain(chain);
}

TEST_F(BerLength, SegmentedLengthIsMeasuredWithoutConsuming) {
  // Constructed OCTET STRING (indefinite): 04 02 AA BB, 24 03 { 04 01 CC }, 00 00.
  SessionBuffer* chain =
      chainOf({{0x24, 0x80, 0x04, 0x02, 0xAA, 0xBB, 0x24, 0x03, 0x04, 0x01, 0xCC, 0x00, 0x00}});
  EXPECT_EQ(parse(chain, [&] {
              ASSERT_EQ(ber_getid(0, 4), 0);
              uint8_t* at = aapdu;
              EXPECT_EQ(ber_getlen(), 3);
              EXPECT_EQ(ber_getlenOpt(), 3u);
              EXPECT_EQ(aapdu, at);
              EXPECT_EQ(lev, 1);
              EXPECT_EQ(cons, 32u);
              EXPECT_EQ(aadatalen(), 3u);
              EXPECT_EQ(lev, 0) << "aadatalen consumes the element";
              EXPECT_EQ(ber_chkend(), 1);
            }),
            0);
  freeChain(chain);
}

TEST_F(BerLength, GetidForValTakesLowTagsOnly) {
  SessionBuffer* chain = chainOf({{0x81, 0x01, 0x09}});
  EXPECT_EQ(parse(chain, [&] {
              EXPECT_EQ(ber_getidForVal(0x80, 2), -2);
              EXPECT_EQ(ber_getidForVal(0x80, 1), 1);
              aa_skip();
              EXPECT_EQ(ber_getidForVal(0x80, 1), -1);
              ber_getidForVal(0x80, 31);
            }),
            25);
  freeChain(chain);
}

TEST_F(BerLength, AddidWritesIdentifierAndLengthInFrontOfTheContents) {
  struct Case {
    const char* what;
    std::function<int64_t()> body;
    int64_t result;
    Bytes want;
  };
  const Case cases[] = {
      {"[1] constructed, length 200", [] { cons = 32; return ber_addid(0x80, 1, 200) - 200; }, 3, {0xA1, 0x81, 0xC8}},
      {"[1] primitive, length 200", [] { cons = 0; return ber_addid(0x80, 1, 200) - 200; }, 3, {0x81, 0x81, 0xC8}},
      {"empty element is primitive", [] { cons = 32; return ber_addid(0, 4, 0); }, 2, {0x04, 0x00}},
      {"constructed bit in the class", [] { return ber_addid(32, 16, 0); }, 2, {0x30, 0x00}},
      {"high tag 128", [] { cons = 0; return ber_addid(0x80, 128, 0); }, 4, {0x9F, 0x81, 0x00, 0x00}},
      {"high tag 16384", [] { return ber_addid(0x40, 16384, 0); }, 5, {0x5F, 0x81, 0x80, 0x00, 0x00}},
      {"tag 31", [] { cons = 32; return ber_addid(0xC0, 31, 5) - 5; }, 3, {0xFF, 0x1F, 0x05}},
      {"length 256", [] { cons = 0; return ber_addid(0, 4, 256) - 256; }, 4, {0x04, 0x82, 0x01, 0x00}},
      {"length 2^24", [] { cons = 0; return ber_addid(0, 4, 1 << 24) - (1 << 24); }, 6,
       {0x04, 0x84, 0x01, 0x00, 0x00, 0x00}},
      {"indefinite", [] { cons = 32; return ber_addid(0, 16, -1) + 1; }, 2, {0x30, 0x80}},
      {"end-of-contents", [] { return ber_addeoc(); }, 0, {0x00, 0x00}},
  };
  for (const Case& c : cases) {
    uint32_t err = 0;
    SessionBuffer* chain = nullptr;
    const int64_t n = format(c.body, &err, &chain);
    EXPECT_EQ(err, 0u) << c.what;
    EXPECT_EQ(n, c.result) << c.what;
    EXPECT_EQ(bytesOf(chain), c.want) << c.what;
    freeChain(chain);
  }
}

TEST_F(BerLength, AddidReturnsContentsPlusHeaderAndMarksItConstructed) {
  SessionBuffer* chain = nullptr;
  uint32_t err = 0;
  const int64_t n = format(
      [] {
        const uint8_t contents[200] = {};
        aa_copy(contents, nullptr, sizeof contents);
        cons = 0;
        const int64_t inner = ber_addid(0x80, 1, 200);
        EXPECT_EQ(inner, 203);
        EXPECT_EQ(cons, 32u);
        return ber_addid(0x80, 3, inner);
      },
      &err, &chain);
  EXPECT_EQ(n, 206);
  const Bytes out = bytesOf(chain);
  ASSERT_EQ(out.size(), 206u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0xA3, 0x81, 0xCB, 0x81, 0x81, 0xC8}));
  freeChain(chain);
}

TEST_F(BerLength, EndOfContentsNeedsTwoOctetsOfRoomInTheBuffer) {
  ASSERT_EQ(init_buffers(20, 8), 1);
  uint32_t err = 0;
  SessionBuffer* chain = nullptr;
  format(
      [] {
        const uint8_t seven[7] = {};
        aa_copy(seven, nullptr, 7);
        return ber_addeoc();
      },
      &err, &chain);
  EXPECT_EQ(err, 26u);
  EXPECT_EQ(QvGetOsiError(), 26);
  freeChain(chain);
}

TEST_F(BerLength, IdentifierAndLengthSizeForContents) {
  const std::pair<int64_t, uint64_t> cases[] = {{0, 0},     {1, 2},       {127, 2},      {128, 3},      {255, 3},
                                                {256, 4},   {65535, 4},   {65536, 5},    {0xFFFFFF, 5}, {0x1000000, 6}};
  for (auto [n, want] : cases) EXPECT_EQ(aalenid(n), want) << n;
}

}  // namespace
