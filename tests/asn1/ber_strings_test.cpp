// OCTET STRING, character strings, BIT STRING and ANY contents against
// encodings worked out by hand from X.690.
#include <cstring>

#include "asn1/codec_fixture.h"

namespace {

using BerStrings = CodecTest;

struct ErrorCase {
  const char* what;
  Bytes in;
  int32_t code;
};

// An OCTET STRING element of `contents` as the encoders write it: one
// primitive element below 4096 octets, else 4096-octet segments and the rest.
Bytes octetString(const Bytes& contents) {
  auto header = [](uint8_t id, size_t len) {
    Bytes h{id};
    if (len < 128) {
      h.push_back(static_cast<uint8_t>(len));
    } else if (len < 256) {
      h.insert(h.end(), {0x81, static_cast<uint8_t>(len)});
    } else {
      h.insert(h.end(), {0x82, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)});
    }
    return h;
  };
  if (contents.size() < 4096) return header(0x04, contents.size()) + contents;
  Bytes inner;
  for (size_t at = 0; at < contents.size(); at += 4096) {
    const size_t n = std::min<size_t>(4096, contents.size() - at);
    inner = inner + header(0x04, n) + Bytes(contents.begin() + static_cast<long>(at),
                                            contents.begin() + static_cast<long>(at + n));
  }
  return header(0x24, inner.size()) + inner;
}

OctStgV octv(Bytes& b) { return OctStgV{static_cast<uint32_t>(b.size()), b.data()}; }

TEST_F(BerStrings, OctetStringsAreSegmentedFrom4096Octets) {
  Bytes v4095 = pattern(4095);
  EXPECT_EQ(formatted([&] {
              OctStgV v = octv(v4095);
              return ber_addid(0, 4, ber_addoctv(&v));
            }),
            hex("04 82 0F FF") + v4095);
  Bytes v4096 = pattern(4096);
  EXPECT_EQ(formatted([&] {
              OctStgV v = octv(v4096);
              return ber_addid(0, 4, ber_addoctv(&v));
            }),
            hex("24 82 10 04 04 82 10 00") + v4096);
  Bytes v5000 = pattern(5000);
  const Bytes want5000 = hex("24 82 13 90 04 82 10 00") + Bytes(v5000.begin(), v5000.begin() + 4096) +
                         hex("04 82 03 88") + Bytes(v5000.begin() + 4096, v5000.end());
  EXPECT_EQ(octetString(v5000), want5000) << "the helper agrees with the hand encoding";
  EXPECT_EQ(formatted([&] {
              OctStgV v = octv(v5000);
              return ber_addid(0, 4, ber_addoctv(&v));
            }),
            want5000);
  Bytes empty;
  EXPECT_EQ(formatted([&] {
              OctStgV v = octv(empty);
              return ber_addid(0, 4, ber_addoctv(&v));
            }),
            hex("04 00"));
}

TEST_F(BerStrings, AllStringFormattersSegmentAlike) {
  const Bytes v = pattern(8192 + 7);
  std::string s(v.size(), 'x');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('A' + i % 26);
  const Bytes want = octetString(v);
  const Bytes wantText = octetString(text(s));
  std::vector<uint8_t> inline_(4 + v.size());
  auto* o = reinterpret_cast<OctStg*>(inline_.data());
  o->length = static_cast<uint32_t>(v.size());
  std::memcpy(o->octets, v.data(), v.size());
  EXPECT_EQ(formatted([&] { return ber_addid(0, 4, ber_addocts(o)); }), want);
  EXPECT_EQ(formatted([&] { return ber_addid(0, 4, ber_addstg(s.c_str())); }), wantText);
  EXPECT_EQ(formatted([&] { return ber_addid(0, 4, ber_addstgv(s.data())); }), wantText);
}

TEST_F(BerStrings, VariableOctetStringsReadWholeAndSegmented) {
  struct Case {
    const char* what;
    Bytes in;
    Bytes want;
  };
  const Case cases[] = {
      {"primitive", hex("04 03 41 42 43"), text("ABC")},
      {"empty primitive", hex("04 00"), {}},
      {"empty constructed", hex("24 00"), {}},
      {"segments", hex("24 08 04 02 41 42 04 02 43 44"), text("ABCD")},
      {"nested segments", hex("24 0A 24 04 04 02 41 42 04 02 43 44"), text("ABCD")},
      {"indefinite", hex("24 80 04 01 41 04 01 42 00 00"), text("AB")},
      {"10000 octets", octetString(pattern(10000)), pattern(10000)},
  };
  for (const Case& c : cases) {
    OctStgV v{};
    uint32_t n = 99;
    EXPECT_EQ(readOne(c.in, [&] { n = ber_getoctv(&v); }), 0) << c.what;
    EXPECT_EQ(n, c.want.size()) << c.what;
    EXPECT_EQ(Bytes(v.octets, v.octets + v.length), c.want) << c.what;
    EXPECT_EQ(readOne(c.in, [&] { n = ber_getoctv_page(&v); }), 0) << c.what;
    EXPECT_EQ(Bytes(v.octets, v.octets + v.length), c.want) << c.what;
    char* s = nullptr;
    EXPECT_EQ(readOne(c.in, [&] { s = ber_getstgv(); }), 0) << c.what;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Bytes(s, s + c.want.size()), c.want) << c.what;
    EXPECT_EQ(s[c.want.size()], '\0');
    EXPECT_EQ(readOne(c.in, [&] { s = ber_getstgv_page(); }), 0) << c.what;
    EXPECT_EQ(Bytes(s, s + c.want.size()), c.want) << c.what;
    aafreeall(aagetlist());
  }
  // A segmented string split over two buffers at every octet.
  const Bytes in = hex("24 80 24 04 04 02 41 42 04 81 02 43 44 00 00");
  size_t cut = 0;
  EXPECT_EQ(readAtEveryCut(in,
                           [&] {
                             OctStgV v{};
                             ber_getoctv(&v);
                             EXPECT_EQ(Bytes(v.octets, v.octets + v.length), text("ABCD"));
                           },
                           &cut),
            0)
      << "cut at " << cut;
  aafreeall(aagetlist());
}

TEST_F(BerStrings, LengthPastTheDataOfATestParseTakesNoMemory) {
  // The presentation layer's test parse of a first segment accepts lengths
  // that run past the data; a string of 2 GB must not be allocated for it.
  rtp_testForPreEncoded = 1;
  const Bytes in = hex("04 84 7F FF FF FF 41 42");
  OctStgV v{};
  EXPECT_EQ(readOne(in, [&] { ber_getoctv(&v); }), 25);
  EXPECT_EQ(v.octets, nullptr);
  EXPECT_EQ(readOne(in, [&] { ber_getoctv_page(&v); }), 25);
  EXPECT_EQ(readOne(in, [&] { ber_getstgv(); }), 25);
  BitStgV b{};
  EXPECT_EQ(readOne(hex("03 84 7F FF FF FF 00 41"), [&] { ber_getbitv(&b); }), 25);
  rtp_testForPreEncoded = 0;
}

TEST_F(BerStrings, SegmentsMustBeOctetStrings) {
  const ErrorCase cases[] = {
      {"bit string segment", hex("24 05 03 03 00 01 02"), 22},
      {"nested bit string segment", hex("24 07 24 05 03 03 00 01 02"), 22},
  };
  for (const ErrorCase& c : cases) {
    OctStgV v{};
    EXPECT_EQ(readOne(c.in, [&] { ber_getoctv(&v); }), c.code) << c.what;
    uint8_t room[4 + 16];
    EXPECT_EQ(readOne(c.in, [&] { ber_getocts(16, reinterpret_cast<OctStg*>(room)); }), c.code) << c.what;
    char buf[17];
    EXPECT_EQ(readOne(c.in, [&] { ber_getstg(16, buf); }), c.code) << c.what;
  }
  aafreeall(aagetlist());
}

TEST_F(BerStrings, InlineStringsRefuseWhatIsTooLongUnlessExtensible) {
  const Bytes primitive = hex("04 0A") + text("0123456789");
  const Bytes segmented = hex("24 0E 04 05") + text("01234") + hex("04 05") + text("56789");
  for (const Bytes& in : {primitive, segmented}) {
    uint8_t room[4 + 10] = {};
    auto* o = reinterpret_cast<OctStg*>(room);
    aaextensibility = 0;
    EXPECT_EQ(readOne(in, [&] { ber_getocts(8, o); }), 1);
    EXPECT_EQ(aaline, 90u) << "the whole value is measured first";
    aaextensibility = 1;
    uint32_t n = 0;
    // The rest is skipped: the input is used up.
    EXPECT_EQ(readOne(in, [&] { n = ber_getocts(8, o); }), 0);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(o->length, 8u);
    EXPECT_EQ(Bytes(o->octets, o->octets + 10), (text("01234567") + Bytes(2, 0))) << "nothing beyond the maximum";
    char buf[9 + 1];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(readOne(in, [&] { ber_getstg(8, buf); }), 0);
    EXPECT_STREQ(buf, "01234567");
    EXPECT_EQ(buf[9], 'z') << "buf holds max + 1 octets";
    aaextensibility = 0;
    EXPECT_EQ(readOne(in, [&] { ber_getstg(8, buf); }), 1);
    EXPECT_STREQ(aafile, "src/rtp_char");
    EXPECT_EQ(aaline, 95u);
  }
  uint8_t room[4 + 10] = {};
  auto* o = reinterpret_cast<OctStg*>(room);
  EXPECT_EQ(readOne(primitive, [&] { ber_getocts(10, o); }), 0);
  EXPECT_EQ(Bytes(o->octets, o->octets + o->length), text("0123456789"));
  char buf[11];
  EXPECT_EQ(readOne(hex("16 00"), [&] { ber_getstg(10, buf); }), 0);
  EXPECT_STREQ(buf, "");
}

// ---------------------------------------------------------------------------
// BIT STRING

TEST_F(BerStrings, BitStringsIntoAFlagWord) {
  struct Case {
    const char* what;
    Bytes in;
    uint32_t word;
    uint32_t octets;
  };
  const Case cases[] = {
      {"five unused bits cleared", hex("03 02 05 A7"), 0xA0, 1},
      {"first octet is the low octet", hex("03 03 00 34 12"), 0x1234, 2},
      {"four octets", hex("03 05 00 01 02 03 84"), 0x84030201, 4},
      {"no bits", hex("03 01 00"), 0, 0},
      {"segments give the word of one element", hex("23 08 03 02 00 A5 03 02 04 F0"), 0xF0A5, 2},
      {"the same bits in one element", hex("03 03 04 A5 F0"), 0xF0A5, 2},
      {"segment of three bits", hex("23 08 03 02 05 A0 03 02 00 FF"), 0xE0BF, 2},
  };
  for (const Case& c : cases) {
    uint32_t w = 0xDEAD;
    uint32_t n = 99;
    EXPECT_EQ(readOne(c.in, [&] { n = ber_getbitw(&w); }), 0) << c.what;
    EXPECT_EQ(w, c.word) << c.what;
    EXPECT_EQ(n, c.octets) << c.what;
  }
}

TEST_F(BerStrings, FlagWordErrors) {
  const ErrorCase cases[] = {
      {"unused count 8", hex("03 02 08 FF"), 33},
      {"no unused-bits octet", hex("03 00"), 1},
      {"unused bits without octets", hex("03 01 03"), 33},
      {"five octets", hex("03 06 00 01 02 03 04 05"), 1},
      {"segment of another type", hex("23 03 04 01 00"), 21},
      {"empty segment", hex("23 02 03 00"), 1},
      {"segment with unused count 9", hex("23 04 03 02 09 00"), 33},
      {"33 bits in segments", hex("23 0B 03 05 00 FF FF FF FF 03 02 07 80"), 1},
  };
  for (const ErrorCase& c : cases) {
    uint32_t w = 0;
    EXPECT_EQ(readOne(c.in, [&] { ber_getbitw(&w); }), c.code) << c.what;
    EXPECT_STREQ(aafile, "src/rtp_bits");
  }
  aaextensibility = 1;
  uint32_t w = 0;
  uint32_t n = 0;
  EXPECT_EQ(readOne(hex("03 06 03 01 02 03 04 05"), [&] { n = ber_getbitw(&w); }), 0);
  EXPECT_EQ(w, 0x04030201u) << "the first four octets whole";
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(readOne(hex("23 0B 03 05 00 FF FF FF FF 03 02 07 80"), [&] { ber_getbitw(&w); }), 0);
  EXPECT_EQ(w, 0xFFFFFFFFu);
}

TEST_F(BerStrings, FlagWordsAreWrittenLowOctetFirst) {
  EXPECT_EQ(formatted([] { return ber_addid(0, 3, ber_addbitw(3, 0xA0)); }), hex("03 02 05 A0"));
  EXPECT_EQ(formatted([] { return ber_addid(0, 3, ber_addbitw(16, 0x1234)); }), hex("03 03 00 34 12"));
  // Eleven bits: the five unused bits are the low ones of the second octet.
  EXPECT_EQ(formatted([] { return ber_addid(0, 3, ber_addbitw(11, 0xFFFF)); }), hex("03 03 05 FF E0"));
  EXPECT_EQ(formatted([] { return ber_addid(0, 3, ber_addbitw(11, 0x2010)); }), hex("03 03 05 10 20"));
  EXPECT_EQ(formatted([] { return ber_addid(0, 3, ber_addbitw(0, 0)); }), hex("03 01 00"));
  EXPECT_EQ(formatted([] { return ber_addid(0, 3, ber_addbitw(32, 0x04030201)); }), hex("03 05 00 01 02 03 04"));
  EXPECT_EQ(formatError([] { return ber_addbitw(33, 0); }), 1u);
}

TEST_F(BerStrings, VariableBitStrings) {
  BitStgV v{};
  EXPECT_EQ(readOne(hex("03 03 05 A5 E0"), [&] { ber_getbitv(&v); }), 0);
  EXPECT_EQ(v.unused, 5u);
  EXPECT_EQ(Bytes(v.octets, v.octets + v.count), hex("A5 E0"));
  EXPECT_EQ(readOne(hex("23 0B 03 02 00 A5 03 01 00 03 02 04 F0"), [&] { ber_getbitv(&v); }), 0);
  EXPECT_EQ(v.unused, 4u);
  EXPECT_EQ(Bytes(v.octets, v.octets + v.count), hex("A5 F0"));
  EXPECT_EQ(readOne(hex("23 00"), [&] { ber_getbitv(&v); }), 0);
  EXPECT_EQ(v.count, 0u);
  const ErrorCase cases[] = {
      {"empty primitive", hex("03 00"), 25},
      {"unused count 8", hex("03 02 08 FF"), 33},
      {"unused bits without octets", hex("03 01 01"), 33},
      {"segment after unused bits", hex("23 08 03 02 04 F0 03 02 00 A5"), 23},
      {"segment of another type", hex("23 03 04 01 00"), 21},
      {"segment unused count 8", hex("23 04 03 02 08 00"), 33},
  };
  for (const ErrorCase& c : cases) EXPECT_EQ(readOne(c.in, [&] { ber_getbitv(&v); }), c.code) << c.what;
  aafreeall(aagetlist());

  Bytes bits = hex("A5 F0");
  BitStgV out{4, 2, bits.data()};
  EXPECT_EQ(formatted([&] { return ber_addid(0, 3, ber_addbitv(&out)); }), hex("03 03 04 A5 F0"));
  BitStgV none{0, 0, nullptr};
  EXPECT_EQ(formatted([&] { return ber_addid(0, 3, ber_addbitv(&none)); }), hex("03 01 00"));
  // 4096 octets: one segment, its unused count the value's.
  Bytes big = pattern(4096);
  BitStgV whole{3, 4096, big.data()};
  EXPECT_EQ(formatted([&] { return ber_addid(0, 3, ber_addbitv(&whole)); }), hex("23 82 10 05 03 82 10 01 03") + big);
  // 4100 octets: the first segment has no unused bits, the tail the value's.
  Bytes more = pattern(4100);
  BitStgV two{2, 4100, more.data()};
  const Bytes want = hex("23 82 10 0C 03 82 10 01 00") + Bytes(more.begin(), more.begin() + 4096) + hex("03 05 02") +
                     Bytes(more.begin() + 4096, more.end());
  EXPECT_EQ(formatted([&] { return ber_addid(0, 3, ber_addbitv(&two)); }), want);
  EXPECT_EQ(readOne(want, [&] { ber_getbitv(&v); }), 0);
  EXPECT_EQ(v.unused, 2u);
  EXPECT_EQ(Bytes(v.octets, v.octets + v.count), more);
  aafreeall(aagetlist());
}

TEST_F(BerStrings, FlagArrays) {
  uint32_t flags[8];
  int32_t n = 0;
  EXPECT_EQ(readOne(hex("03 02 05 A0"), [&] { n = ber_getbits(8, flags); }), 0);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::vector<uint32_t>(flags, flags + 8), (std::vector<uint32_t>{255, 0, 255, 0, 0, 0, 0, 0}));
  EXPECT_EQ(readOne(hex("23 08 03 02 07 80 03 02 06 40"), [&] { n = ber_getbits(8, flags); }), 0);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::vector<uint32_t>(flags, flags + 3), (std::vector<uint32_t>{255, 0, 255}));
  EXPECT_EQ(readOne(hex("03 03 00 FF FF"), [&] { n = ber_getbits(8, flags); }), 1) << "16 bits into 8";
  aaextensibility = 1;
  EXPECT_EQ(readOne(hex("03 03 00 FF FF"), [&] { n = ber_getbits(8, flags); }), 0);
  EXPECT_EQ(n, 8);
  aaextensibility = 0;
  EXPECT_EQ(readOne(hex("03 00"), [&] { ber_getbits(8, flags); }), 1);
  EXPECT_EQ(readOne(hex("03 01 01"), [&] { ber_getbits(8, flags); }), 33);
  EXPECT_EQ(readOne(hex("03 02 08 00"), [&] { ber_getbits(8, flags); }), 33);
  const uint32_t set[3] = {1, 0, 7};
  EXPECT_EQ(formatted([&] { return ber_addid(0, 3, ber_addbits(3, set)); }), hex("03 02 05 A0"));
}

// ---------------------------------------------------------------------------
// ANY

TEST_F(BerStrings, AnyTakesTheWholeNextElement) {
  struct Case {
    const char* what;
    Bytes in;
    Bytes want;
  };
  const Case cases[] = {
      {"definite", hex("30 03 02 01 05 04 00"), hex("30 03 02 01 05")},
      {"indefinite", hex("30 80 02 01 05 00 00 04 00"), hex("30 80 02 01 05 00 00")},
      {"long length", hex("04 81 02 AA BB 05 00"), hex("04 81 02 AA BB")},
  };
  for (const Case& c : cases) {
    // Inside a SEQUENCE, so that the element after it is still to read.
    const Bytes in = Bytes{0x30, static_cast<uint8_t>(c.in.size())} + c.in;
    size_t cut = 0;
    const int32_t err = readAtEveryCut(
        in,
        [&] {
          BerAny a{};
          EXPECT_EQ(ber_getany(&a), c.want.size());
          EXPECT_EQ(Bytes(a.pointer, a.pointer + a.length), c.want);
          EXPECT_NE(ber_gettype(), 0) << "the next element follows";
          aa_skip();
          EXPECT_EQ(ber_gettype(), 0);
        },
        &cut);
    EXPECT_EQ(err, 0) << c.what << " cut at " << cut;
  }
  SessionBuffer* chain = chainOf({hex("30 00")});
  EXPECT_EQ(parse(chain,
                  [] {
                    ber_getid(0, 16);
                    BerAny a{};
                    EXPECT_EQ(ber_getany(&a), 0u) << "no element left";
                    EXPECT_EQ(a.pointer, nullptr);
                    EXPECT_EQ(ber_chkend(), 1) << "the end is still there";
                  }),
            0);
  freeChain(chain);
  aafreeall(aagetlist());
  Bytes enc = hex("30 03 02 01 05");
  BerAny a{static_cast<uint32_t>(enc.size()), enc.data()};
  EXPECT_EQ(formatted([&] { return ber_addid(0, 16, ber_addany(&a)); }), hex("30 05 30 03 02 01 05"));
}

}  // namespace
