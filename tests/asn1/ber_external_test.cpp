// EXTERNAL: the groups and the choice among them, the three encodings of
// the embedded value, and its re-segmentation in place at every split of
// headers and segments across buffers. Encodings worked out by hand from
// X.690 (EXTERNAL as X.208 defines it).
#include <cstring>

#include "asn1/pcontext_fixture.h"
#include "src/asn1/ber_external.h"

namespace {

using BerExternal = ContextTest;

int32_t intOf(void* v) { return v != nullptr ? *static_cast<int32_t*>(v) : -999; }

Bytes rawOf(void* v) {
  if (v == nullptr) return {};
  auto* o = static_cast<OctStgV*>(v);
  return Bytes(o->octets, o->octets + o->length);
}

ExternalValue extOf(int32_t context, uint32_t encoding, void* value) {
  ExternalValue e{};
  e.context = context;
  e.directRef.count = kObjIdAbsent;
  e.encoding = encoding;
  e.value = value;
  return e;
}

// OCTET STRING segments of `v` as afadjoct lays them out: 4096-octet pieces
// and the rest, each a primitive UNIVERSAL 4.
Bytes octetSegments(const Bytes& v) {
  Bytes out;
  for (size_t at = 0; at < v.size(); at += 4096) out = out + tlv(0x04, slice(v, at, std::min<size_t>(4096, v.size() - at)));
  return out;
}
Bytes bitSegments(const Bytes& v) {
  Bytes out;
  for (size_t at = 0; at < v.size(); at += 4096)
    out = out + tlv(0x03, Bytes{0x00} + slice(v, at, std::min<size_t>(4096, v.size() - at)));
  return out;
}

// ---------------------------------------------------------------------------
// Reading

TEST_F(BerExternal, IndirectReferenceNamesTheContextByItsIdentifier) {
  define(3, 7, kAsInt, kTsBer);
  ExternalValue e{};
  EXPECT_EQ(readOne(hex("28 0D 02 01 07 07 03 61 62 63 A0 03 02 01 2A"), [&] { ber_getext(&e); }), 0);
  EXPECT_EQ(e.context, 3) << "the index of the context whose identifier is 7";
  EXPECT_EQ(e.encoding, kEncSingleAsn1);
  EXPECT_EQ(e.directRef.count, kObjIdAbsent);
  EXPECT_STREQ(e.descriptor, "abc");
  EXPECT_EQ(e.status, 0u);
  EXPECT_EQ(intOf(e.value), 42);
  EXPECT_EQ(curr_parse_context_ID, 3);
}

TEST_F(BerExternal, IndirectReferenceOfNoContextParsesNothing) {
  // 99 is outside the table, 5 names a free entry; neither has an abstract
  // syntax: the value is reported with 40974 and the EXTERNAL is closed.
  define(1, 1, kAsInt, kTsBer);
  for (const Bytes& ref : {hex("02 01 63"), hex("02 01 05"), hex("02 04 7F FF FF FF"), hex("02 01 80")}) {
    ExternalValue e{};
    e.value = &e;
    pdvFmtPrs = 0;
    EXPECT_EQ(readOne(tlv(0x28, ref + hex("A0 03 02 01 2A")), [&] { ber_getext(&e); }), 0);
    EXPECT_EQ(e.value, nullptr);
    EXPECT_EQ(e.status, 40974u);
    EXPECT_EQ(pdvFmtPrs, 40974u) << "the data-value path takes the status";
  }
  // The same numbers as context indexes to write with.
  for (int32_t bad : {99, 32, -128, INT32_MAX}) {
    int32_t v = 1;
    ExternalValue e = extOf(bad, kEncSingleAsn1, &v);
    EXPECT_EQ(formatError([&] { return ber_addext(&e); }), 40974u) << bad;
    e.encoding = 0;
    EXPECT_EQ(formatError([&] { return ber_addext(&e); }), 40974u) << bad;
  }
}

TEST_F(BerExternal, GroupOfTheTransferSyntaxInForceIsTaken) {
  // Group A: {1 2 3}, context 1, [1] INTEGER 5; group B: {1 2 4}, [1] INTEGER 6.
  const Bytes twoGroups = hex("28 18 06 02 2A 03 02 01 01 81 03 02 01 05 06 02 2A 04 02 01 01 81 03 02 01 06");
  PcdtEntry& c = define(1, 1, kAsInt, kTsB);
  ExternalValue e{};
  EXPECT_EQ(readOne(twoGroups, [&] { ber_getext(&e); }), 0);
  EXPECT_EQ(intOf(e.value), 6);
  EXPECT_EQ(e.directRef.count, 3u);
  EXPECT_EQ(e.directRef.arcs[2], 4u);
  EXPECT_EQ(e.encoding, kEncOctetAligned);
  // A in force: the first group, the rest skipped.
  c.tsIdx = kTsA;
  EXPECT_EQ(readOne(twoGroups, [&] { ber_getext(&e); }), 0);
  EXPECT_EQ(intOf(e.value), 5);
  // A third transfer syntax: both groups skipped, no encoding left.
  c.tsIdx = kTsC;
  EXPECT_EQ(readOne(twoGroups, [&] { ber_getext(&e); }), 15);
  // A group without an indirect reference is taken: the default context.
  pm_.dfltAsIdx = kAsInt;
  pm_.dfltTsIdx = kTsBer;
  EXPECT_EQ(readOne(hex("28 09 06 02 2A 03 81 03 02 01 05"), [&] { ber_getext(&e); }), 0);
  EXPECT_EQ(e.context, -1);
  EXPECT_EQ(intOf(e.value), 5);
  // A skipped group must end with an encoding.
  EXPECT_EQ(readOne(hex("28 0A 06 02 2A 03 02 01 01 04 01 00"), [&] { ber_getext(&e); }), 15);
}

TEST_F(BerExternal, EncodingsOtherThanTheThreeAreRefused) {
  define(1, 1, kAsInt, kTsBer);
  ExternalValue e{};
  EXPECT_EQ(readOne(hex("28 05 02 01 01 83 00"), [&] { ber_getext(&e); }), 15);
  EXPECT_EQ(readOne(hex("28 03 02 01 01"), [&] { ber_getext(&e); }), 15) << "no encoding";
  int32_t v = 1;
  ExternalValue out = extOf(1, 16387, &v);
  EXPECT_EQ(formatError([&] { return ber_addext(&out); }), 15u);
}

TEST_F(BerExternal, EmbeddedValueMustEndWithItsElement) {
  define(1, 1, kAsInt, kTsBer);
  ExternalValue e{};
  EXPECT_EQ(readOne(hex("28 0B 02 01 01 A0 06 02 01 05 02 01 06"), [&] { ber_getext(&e); }), 15);
  EXPECT_EQ(readOne(hex("28 0B 02 01 01 81 06 02 01 05 02 01 06"), [&] { ber_getext(&e); }), 15);
  // A value that fails to parse leaves the EXTERNAL readable to its end.
  int32_t after = 0;
  EXPECT_EQ(readOne(hex("30 0E 28 09 02 01 01 A0 04 04 02 AA BB 02 01 09"),
                    [&] {
                      ber_getid(0, 8);
                      ber_getext(&e);
                      ber_getid(0, 2);
                      ber_getint(&after);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(e.value, nullptr);
  EXPECT_EQ(e.status, 3u);
  EXPECT_EQ(after, 9);
}

TEST_F(BerExternal, VariableFormReadsOneGroupOnly) {
  define(3, 7, kAsInt, kTsBer);
  ExternalValueV e{};
  EXPECT_EQ(readOne(hex("28 11 06 02 51 01 02 01 07 07 03 61 62 63 A0 03 02 01 2A"), [&] { ber_getextv(&e); }), 0);
  EXPECT_EQ(e.context, 3);
  ASSERT_NE(e.descriptor, nullptr);
  EXPECT_STREQ(e.descriptor, "abc");
  ASSERT_EQ(e.directRef.count, 3u);
  EXPECT_EQ(e.directRef.arcs[0], 2u);
  EXPECT_EQ(intOf(e.value), 42);
  // A second group after the one taken.
  EXPECT_EQ(readOne(hex("28 0B 02 01 07 A0 03 02 01 2A 02 01 07"), [&] { ber_getextv(&e); }), 15);
  EXPECT_EQ(aaline, 491u);
}

// ---------------------------------------------------------------------------
// Writing

TEST_F(BerExternal, SingleGroupWritesIndirectReferenceDescriptorAndEncoding) {
  define(3, 7, kAsInt, kTsBer);
  int32_t v = 5;
  ExternalValue e = extOf(3, 0, &v);
  e.directRef.count = 2;  // never written in the single form
  std::strcpy(e.descriptor, "abc");
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }),
            hex("28 0D 02 01 07 07 03 61 62 63 A0 03 02 01 05"));
  EXPECT_EQ(e.context, 7) << "the identifier after writing";
  EXPECT_EQ(e.encoding, kEncSingleAsn1) << "chosen for the context";
  EXPECT_EQ(e.directRef.count, kObjIdAbsent);
  EXPECT_EQ(cons, 32u);
  // A descriptor of 32 characters without its NUL is cut at 32.
  e = extOf(3, kEncSingleAsn1, &v);
  std::memset(e.descriptor, 'x', sizeof e.descriptor);
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }),
            hex("28 2A 02 01 07") + tlv(0x07, Bytes(32, 'x')) + hex("A0 03 02 01 05"));
}

TEST_F(BerExternal, OctetAlignedAndArbitraryUpTo4096OctetsArePrimitive) {
  define(1, 1, kAsRaw, kTsA);
  define(2, 2, kAsRaw, kTsC);
  Bytes v100 = pattern(100);
  OctStgV r100{100, v100.data()};
  ExternalValue e = extOf(1, 0, &r100);
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }), hex("28 69 02 01 01 81 64") + v100);
  e = extOf(2, 0, &r100);
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }), hex("28 6A 02 01 02 82 65 00") + v100);
  Bytes v4096 = pattern(4096);
  OctStgV r4096{4096, v4096.data()};
  e = extOf(1, 0, &r4096);
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }), hex("28 82 10 07 02 01 01 81 82 10 00") + v4096);
  Bytes v4097 = pattern(4097);
  OctStgV r4097{4097, v4097.data()};
  e = extOf(1, 0, &r4097);
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }),
            hex("28 82 10 0E 02 01 01 A1 82 10 07 04 82 10 00") + slice(v4097, 0, 4096) + hex("04 01") +
                slice(v4097, 4096, 1));
  // Read back, each comes out whole.
  for (const Bytes* v : {&v100, &v4096, &v4097}) {
    OctStgV r{static_cast<uint32_t>(v->size()), const_cast<uint8_t*>(v->data())};
    for (int32_t ctx : {1, 2}) {
      ExternalValue w = extOf(ctx, 0, &r);
      const Bytes enc = formatted([&] { return ber_addid(32, 8, ber_addext(&w)); });
      ExternalValue got{};
      EXPECT_EQ(readOne(enc, [&] { ber_getext(&got); }), 0);
      EXPECT_EQ(rawOf(got.value), *v) << v->size() << " octets in context " << ctx;
    }
  }
}

TEST_F(BerExternal, LargeValuesAreSegmentedAt4096OctetsForEveryBufferSize) {
  define(1, 1, kAsRaw, kTsA);
  define(2, 2, kAsRaw, kTsC);
  Bytes v = pattern(10000);
  OctStgV raw{10000, v.data()};
  // By hand: [1] of 4096, 4096 and 1808 octets; [2] the same with an
  // unused-bits octet 0 in front of each piece.
  const Bytes octets = hex("28 82 27 23 02 01 01 A1 82 27 1C") + hex("04 82 10 00") + slice(v, 0, 4096) +
                       hex("04 82 10 00") + slice(v, 4096, 4096) + hex("04 82 07 10") + slice(v, 8192, 1808);
  const Bytes bits = hex("28 82 27 26 02 01 02 A2 82 27 1F") + hex("03 82 10 01 00") + slice(v, 0, 4096) +
                     hex("03 82 10 01 00") + slice(v, 4096, 4096) + hex("03 82 07 11 00") + slice(v, 8192, 1808);
  EXPECT_EQ(tlv(0x28, hex("02 01 01") + tlv(0xA1, octetSegments(v))), octets) << "the helper agrees";
  std::vector<int32_t> sizes;
  for (int32_t s = 1; s <= 48; ++s) sizes.push_back(s);
  for (int32_t s : {100, 1000, 4095, 4096, 4097, 4100, 4101, 4102, 5000, 9999, 10000, 10005, 10011, 10240, 20000})
    sizes.push_back(s);
  for (int32_t size : sizes) {
    ASSERT_EQ(init_buffers(kSbDefaultCount, size), 1);
    ExternalValue e = extOf(1, 0, &raw);
    EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }), octets) << "buffer size " << size;
    e = extOf(2, 0, &raw);
    EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }), bits) << "buffer size " << size;
  }
  // Exactly two pieces, no rest.
  ASSERT_EQ(init_buffers(kSbDefaultCount, 7), 1);
  Bytes v8192 = pattern(8192);
  OctStgV r8192{8192, v8192.data()};
  ExternalValue e = extOf(1, 0, &r8192);
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }),
            tlv(0x28, hex("02 01 01") + tlv(0xA1, octetSegments(v8192))));
  e = extOf(2, 0, &r8192);
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }),
            tlv(0x28, hex("02 01 02") + tlv(0xA2, bitSegments(v8192))));
}

TEST_F(BerExternal, SegmentedValuesAreJoinedAtEveryBufferSplit) {
  define(1, 1, kAsRaw, kTsA);
  define(2, 2, kAsRaw, kTsC);
  const Bytes v = pattern(10000);
  const Bytes octets = tlv(0x28, hex("02 01 01") + tlv(0xA1, octetSegments(v)));
  const Bytes bits = tlv(0x28, hex("02 01 02") + tlv(0xA2, bitSegments(v)));
  for (const Bytes* enc : {&octets, &bits}) {
    auto check = [&] {
      ExternalValue e{};
      ber_getext(&e);
      EXPECT_EQ(rawOf(e.value), v);
    };
    // Two buffers, cut at every octet around each header.
    std::vector<size_t> cuts;
    for (size_t seg : {size_t{0}, size_t{4100}, size_t{8200}, size_t{8201}})
      for (size_t c = 1; c < 24; ++c) cuts.push_back(seg + c);
    for (size_t c : cuts) EXPECT_EQ(readCut(*enc, check, {c}), 0) << "cut at " << c;
    // Buffers of k octets each (from a pool of buffers just as large).
    for (size_t k : {1, 2, 3, 5, 7, 11, 64, 4095, 4099, 4101}) {
      ASSERT_EQ(init_buffers(kSbDefaultCount, static_cast<int32_t>(k)), 1);
      std::vector<size_t> every;
      for (size_t c = k; c < enc->size(); c += k) every.push_back(c);
      EXPECT_EQ(readCut(*enc, check, every), 0) << "buffers of " << k;
    }
    ASSERT_EQ(init_buffers(kSbDefaultCount, kSbDefaultSize), 1);
    aafreeall(aagetlist());
  }
}

TEST_F(BerExternal, JoinHandlesIndefiniteAndNestedSegments) {
  define(1, 1, kAsRaw, kTsA);
  define(2, 2, kAsRaw, kTsC);
  struct Case {
    const char* what;
    Bytes in;
    Bytes want;
  };
  const Case cases[] = {
      {"indefinite", hex("28 80 02 01 01 A1 80 04 02 AB CD 04 01 EF 00 00 00 00"), hex("AB CD EF")},
      {"nested", hex("28 0F 02 01 01 A1 0A 24 04 04 02 AB CD 04 02 EF 01"), hex("AB CD EF 01")},
      {"empty segment", hex("28 0B 02 01 01 A1 06 04 00 04 02 AB CD"), hex("AB CD")},
      {"bits, indefinite", hex("28 80 02 01 02 A2 80 03 03 00 AB CD 03 02 00 EF 00 00 00 00"), hex("AB CD EF")},
      {"bits, primitive", hex("28 07 02 01 02 82 02 00 AB"), hex("AB")},
  };
  for (const Case& c : cases) {
    size_t cut = 0;
    EXPECT_EQ(readAtEveryCut(
                  c.in,
                  [&] {
                    ExternalValue e{};
                    ber_getext(&e);
                    EXPECT_EQ(rawOf(e.value), c.want) << c.what;
                  },
                  &cut),
              0)
        << c.what << " cut at " << cut;
  }
  // The EXTERNAL goes on after a joined value.
  SessionBuffer* chain = chainOf({hex("30 13 28 0C 02 01 01 A1 07 04 01 AB 04 02 CD EF 02 01 01 05 00")});
  EXPECT_EQ(parse(chain,
                  [&] {
                    ber_getid(0, 16);
                    ber_getid(0, 8);
                    ExternalValue e{};
                    ber_getext(&e);
                    EXPECT_EQ(rawOf(e.value), hex("AB CD EF"));
                    EXPECT_EQ(ber_getid(0, 2), 1) << "the INTEGER after the EXTERNAL";
                    aa_skip();
                    EXPECT_EQ(ber_getid(0, 5), 0);
                    EXPECT_EQ(ber_chkend(), 1);
                  }),
            0);
  freeChain(chain);
}

TEST_F(BerExternal, SegmentErrors) {
  define(1, 1, kAsRaw, kTsA);
  define(2, 2, kAsRaw, kTsC);
  Bytes segs31, segs32;
  for (int i = 0; i < 31; ++i) segs31 = segs31 + hex("04 01") + Bytes{static_cast<uint8_t>(i)};
  segs32 = segs31 + hex("04 01 1F");
  struct Case {
    const char* what;
    Bytes in;
    int32_t code;
  };
  const Case cases[] = {
      {"32 segments", tlv(0x28, hex("02 01 01") + tlv(0xA1, segs32)), 29},
      {"segment of another type", hex("28 09 02 01 01 A1 04 03 02 00 AB"), 22},
      {"no segment", hex("28 05 02 01 01 A1 00"), 15},
      {"bit segment after unused bits", hex("28 0D 02 01 02 A2 08 03 02 04 A0 03 02 00 AB"), 23},
      {"bit segment of another type", hex("28 09 02 01 02 A2 04 04 02 00 AB"), 22},
      {"bit segment of unused count 8", hex("28 09 02 01 02 A2 04 03 02 08 AB"), 33},
      {"primitive arbitrary without unused-bits octet", hex("28 05 02 01 02 82 00"), 25},
  };
  for (const Case& c : cases) {
    ExternalValue e{};
    EXPECT_EQ(readOne(c.in, [&] { ber_getext(&e); }), c.code) << c.what;
  }
  ExternalValue e{};
  EXPECT_EQ(readOne(tlv(0x28, hex("02 01 01") + tlv(0xA1, segs31)), [&] { ber_getext(&e); }), 0);
  EXPECT_EQ(rawOf(e.value).size(), 31u);
}

TEST_F(BerExternal, PreEncodedValueIsSegmentedAcrossItsOwnBuffers) {
  define(2, 2, kAsPre, kTsA);
  const Bytes v = pattern(10000);
  // Room in front of the first buffer, or none (new buffers go in front).
  const std::pair<size_t, int32_t> layouts[] = {{10000, 10240}, {3000, 10240}, {4096, 4096}, {1, 16}, {16, 16}};
  for (const auto& [piece, pool] : layouts) {
    ASSERT_EQ(init_buffers(kSbDefaultCount, pool), 1);
    std::vector<Bytes> parts;
    for (size_t at = 0; at < v.size(); at += piece) parts.push_back(slice(v, at, std::min(piece, v.size() - at)));
    SessionBuffer* pre = chainOf(parts);
    ExternalValue e = extOf(2, 0, pre);
    e.argument = 10000;
    EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }),
              tlv(0x28, hex("02 01 02") + tlv(0xA1, octetSegments(v))))
        << "pieces of " << piece;
    EXPECT_EQ(pm_.preEncFmt, 1u);
  }
}

TEST_F(BerExternal, OneGroupPerCandidateTransferSyntax) {
  PcdtEntry& c = define(1, 9, kAsInt, kTsB);
  c.tsSlots[kTsA] = kTsA;
  c.tsSlots[kTsB] = kTsB;
  c.tsCount = 2;
  directMult = 0xFFFFFFFF;
  int32_t v = 5;
  ExternalValue e = extOf(1, 0, &v);
  e.directRef.count = 0;  // present: the groups name their transfer syntax
  std::strcpy(e.descriptor, "d");
  // Slot 1 (A) is written first and so stands last.
  const Bytes groupB = hex("06 02 2A 04 02 01 09 07 01 64 81 03 02 01 05");
  const Bytes groupA = hex("06 02 2A 03 02 01 09 07 01 64 81 03 02 01 05");
  const Bytes enc = formatted([&] { return ber_addid(32, 8, ber_addext(&e)); });
  EXPECT_EQ(enc, tlv(0x28, groupB + groupA));
  EXPECT_EQ(e.context, 9);
  EXPECT_EQ(e.encoding, kEncOctetAligned) << "chosen for the first slot, kept for the rest";
  // Read back with B in force: the first group.
  directMult = 0;
  ExternalValue got{};
  EXPECT_EQ(readOne(enc, [&] { ber_getext(&got); }), 0);
  EXPECT_EQ(got.context, 1);
  EXPECT_EQ(got.directRef.arcs[2], 4u);
  EXPECT_EQ(intOf(got.value), 5);
  // One candidate only: no direct reference.
  directMult = 1;
  c.tsSlots[kTsA] = -1;
  c.tsCount = 1;
  e = extOf(1, 0, &v);
  e.directRef.count = 0;
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addext(&e)); }), hex("28 08 02 01 09 81 03 02 01 05"));
  // No candidate at all.
  c.tsSlots[kTsB] = -1;
  e = extOf(1, 0, &v);
  EXPECT_EQ(formatError([&] { return ber_addext(&e); }), 15u);
}

TEST_F(BerExternal, VariableFormWritesLikeTheFixedForm) {
  define(3, 7, kAsInt, kTsBer);
  int32_t v = 5;
  char desc[] = "abc";
  ExternalValueV e{3, {kObjIdAbsent, nullptr}, desc, 0, 0, 0, &v};
  EXPECT_EQ(formatted([&] { return ber_addid(32, 8, ber_addextv(&e)); }),
            hex("28 0D 02 01 07 07 03 61 62 63 A0 03 02 01 05"));
  EXPECT_EQ(e.context, 7);
}

}  // namespace
