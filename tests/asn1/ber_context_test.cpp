// Presentation-context entry points: the choice of the context and its
// abstract syntax, the nested pass, the pass-through of pre-encoded data and
// how each failure reaches the caller.
#include "asn1/pcontext_fixture.h"

namespace {

using BerContext = ContextTest;

int32_t intOf(void* v) { return v != nullptr ? *static_cast<int32_t*>(v) : -999; }

TEST_F(BerContext, ParseRunsTheAbstractSyntaxOfTheContext) {
  define(3, 3, kAsInt, kTsBer);
  void* v = nullptr;
  int32_t err = -1;
  EXPECT_EQ(readOne(hex("30 03 02 01 2A"),
                    [&] {
                      v = aaparse(3, &err);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(intOf(v), 42);
  EXPECT_EQ(curr_parse_context_ID, 3);
}

TEST_F(BerContext, ContextWithoutAbstractSyntaxIsReportedByParseAndRaisedByFormat) {
  define(1, 1, -1, kTsBer);
  // Parse: NULL and 40974, and the enclosing pass reads on.
  int32_t err = 0;
  void* v = &err;
  int32_t after = 0;
  EXPECT_EQ(readOne(hex("30 03 02 01 07"),
                    [&] {
                      v = aaparse(1, &err);
                      ber_getid(0, 2);
                      ber_getint(&after);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(err, 40974);
  EXPECT_EQ(after, 7);
  // Format: out-int and the end of the enclosing pass with 40974.
  uint32_t out = 0;
  int32_t value = 5;
  bool reached = false;
  EXPECT_EQ(formatError([&] {
              const int64_t n = aaformat(1, -1, &value, &out, 0);
              reached = true;
              return n;
            }),
            40974u);
  EXPECT_EQ(out, 40974u);
  EXPECT_FALSE(reached);
  EXPECT_EQ(QvGetOsiError(), 40974);
}

TEST_F(BerContext, ContextIdsOutsideTheTableServeNoContext) {
  define(0, 0, kAsInt, kTsBer);
  for (int32_t id : {-1, -2, 32, 1000, INT32_MIN}) {
    int32_t err = 0;
    void* v = &err;
    EXPECT_EQ(readOne(hex("02 01 07"),
                      [&] {
                        v = aaparse(id, &err);
                        aa_skip();
                      }),
              0);
    EXPECT_EQ(v, nullptr) << id;
    EXPECT_EQ(err, 40974) << id;
    if (id != -1) {
      err = 0;
      EXPECT_EQ(readOne(hex("02 01 07"),
                        [&] {
                          v = amparse(id, &tst[kTsBer].id, &err);
                          aa_skip();
                        }),
                0);
      EXPECT_EQ(err, 40974) << id;
      EXPECT_EQ(formatError([&] { return aaenctype(id, -1); }), 40974u) << id;
    }
    int32_t value = 1;
    uint32_t out = 0;
    EXPECT_EQ(formatError([&] { return aaformat(id, -1, &value, &out, 0); }), 40974u) << id;
    EXPECT_EQ(formatError([&] { return amformat(id, nullptr, &value, &out); }), 40974u) << id;
  }
}

TEST_F(BerContext, ErrorInsideTheRoutineEndsOnlyItsOwnPass) {
  define(1, 1, kAsInt, kTsBer);
  int32_t err = 0;
  void* v = &err;
  int32_t after = 0;
  // The value is no INTEGER: its pass ends with 3, the enclosing pass skips it.
  EXPECT_EQ(readOne(hex("30 05 04 00 02 01 09"),
                    [&] {
                      v = aaparse(1, &err);
                      ber_gettype();  // over the OCTET STRING
                      aa_skip();
                      ber_getid(0, 2);
                      ber_getint(&after);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(err, 3);
  EXPECT_EQ(after, 9);
  // A routine that returns nothing is error 32.
  table_.entries[kAsInt].parse = [](void*) -> void* { return nullptr; };
  EXPECT_EQ(readOne(hex("02 01 07"),
                    [&] {
                      v = aaparse(1, &err);
                      aa_skip();
                    }),
            0);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(err, 32);
}

TEST_F(BerContext, AbstractSyntaxWithoutRoutinesPassesTheOctetsThrough) {
  define(1, 1, kAsPre, kTsBer);
  SessionBuffer* chain = chainOf({hex("30 05 04 03 41 42 43")});
  SessionBuffer* got = nullptr;
  EXPECT_EQ(parse(chain,
                  [&] {
                    ber_getid(0, 16);
                    got = static_cast<SessionBuffer*>(aaparse(1, nullptr));
                    EXPECT_EQ(ber_chkend(), 1);
                  }),
            0);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(Bytes(got->data, got->data + got->length), hex("04 03 41 42 43"));
  EXPECT_EQ(pm_.preEncRcv, 1u);
  freeChain(chain);

  // Formatting splices the value's buffers in and returns the length given.
  SessionBuffer* pre = chainOf({hex("04 03 41 42 43")});
  int64_t n = 0;
  const Bytes out = formatted([&] {
    n = aaformat(1, -1, pre, nullptr, 12345);
    cons = 32;
    return ber_addid(0, 16, 5);
  });
  EXPECT_EQ(n, 12345);
  EXPECT_EQ(out, hex("30 05 04 03 41 42 43"));
  EXPECT_EQ(pm_.preEncFmt, 1u);

  // One octet of room in front of the spliced buffer: what is written
  // around it runs on into a new buffer and keeps every octet.
  ASSERT_EQ(init_buffers(kSbDefaultCount, 6), 1);
  SessionBuffer* tight = chainOf({hex("04 03 41 42 43")});
  EXPECT_EQ(formatted([&] {
              const int64_t len = aaformat(1, -1, tight, nullptr, 5);
              return ber_addid(0, 16, ber_addid(0x40, 1, len));
            }),
            hex("30 07 41 05 04 03 41 42 43"));
}

TEST_F(BerContext, SimplyEncodedDataTakesTheDefaultOrTheFirstDefinedContext) {
  int32_t value = 300;
  // No default context: the first defined entry, 1 (3 is defined too).
  define(1, 1, kAsInt, kTsBer);
  define(3, 3, kAsBerOnly, kTsBer);
  EXPECT_EQ(formatted([&] { return asformat(&value, nullptr); }), hex("02 02 01 2C"));
  EXPECT_EQ(curr_format_context_ID, -1);
  // Entry 1 not settled: the lowest transfer syntax proposed for it.
  PcdtEntry& first = pm_.pcdt[1];
  first.tsIdx = -1;
  first.tsSlots[kTsBer] = -1;
  first.tsSlots[kTsA] = kTsA;
  first.tsSlots[kTsC] = kTsC;
  EXPECT_EQ(formatted([&] { return asformat(&value, nullptr); }), hex("02 02 01 2C"));
  // Nothing proposed either.
  first.tsSlots[kTsA] = first.tsSlots[kTsC] = -1;
  uint32_t out = 0;
  EXPECT_EQ(formatError([&] { return asformat(&value, &out); }), 40978u);
  EXPECT_EQ(out, 40978u);
  // A default context wins.
  pm_.pcdt[1].tsIdx = kTsBer;
  pm_.dfltAsIdx = kAsRaw;
  pm_.dfltTsIdx = kTsBer;
  Bytes raw = hex("AA BB");
  OctStgV rv{2, raw.data()};
  EXPECT_EQ(formatted([&] { return asformat(&rv, nullptr); }), hex("AA BB"));
}

TEST_F(BerContext, SimplyEncodedParseSkipsContextsNotAccepted) {
  define(1, 1, kAsRaw, kTsBer).result = 2;
  define(2, 2, kAsInt, kTsBer);
  void* v = nullptr;
  int32_t err = -1;
  EXPECT_EQ(readOne(hex("30 03 02 01 05"),
                    [&] {
                      v = asparse(&err);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(intOf(v), 5) << "entry 2, not the rejected entry 1";
  // The default-once flag takes the default context once.
  pm_.dfltAsIdx = kAsBerOnly;
  pm_.dfltTsIdx = kTsBer;
  pm_.dfltOnce = 1;
  EXPECT_EQ(readOne(hex("30 03 02 01 06"),
                    [&] {
                      v = asparse(&err);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(intOf(v), 6);
  EXPECT_EQ(pm_.dfltOnce, 0u);
  // No accepted context left: 40978.
  pm_.pcdt[2].result = 1;
  EXPECT_EQ(readOne(hex("02 01 07"),
                    [&] {
                      v = asparse(&err);
                      aa_skip();
                    }),
            0);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(err, 40978);
}

TEST_F(BerContext, PassThroughConnectionsCarryUserDataAsOctets) {
  pm_.passThrough = 1;
  SessionBuffer* chain = chainOf({hex("30 02 05 00")});
  SessionBuffer* got = nullptr;
  EXPECT_EQ(parse(chain,
                  [&] {
                    ber_getid(0, 16);
                    got = static_cast<SessionBuffer*>(asparse(nullptr));
                    EXPECT_EQ(ber_chkend(), 1);
                  }),
            0);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(Bytes(got->data, got->data + got->length), hex("05 00"));
  EXPECT_EQ(pm_.preEncRcv, 1u);
  freeChain(chain);
  SessionBuffer* pre = chainOf({hex("05 00")});
  int64_t n = 0;
  EXPECT_EQ(formatted([&] {
              n = asformat(pre, nullptr);
              return 2;
            }),
            hex("05 00"));
  EXPECT_EQ(n, 1);
}

TEST_F(BerContext, NamedTransferSyntaxFallsBackToBasicEncoding) {
  define(1, 1, kAsBerOnly, kTsBer);
  define(2, 2, kAsInt, kTsA);
  const ObjId unknown{3, {1, 2, 99}};
  void* v = nullptr;
  int32_t err = -1;
  EXPECT_EQ(readOne(hex("30 03 02 01 08"),
                    [&] {
                      v = amparse(1, &unknown, &err);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(intOf(v), 8) << "unknown transfer syntax: basic encoding, linked";
  // Transfer syntax A is not linked to the BER-only abstract syntax.
  EXPECT_EQ(readOne(hex("02 01 08"), [&] { v = amparse(1, &tst[kTsA].id, &err); }), 40968);
  EXPECT_EQ(err, 40968);
  // Unlinked basic encoding fails as well.
  table_.entries[kAsBerOnly].tsSlots[kTsBer] = -1;
  EXPECT_EQ(readOne(hex("02 01 08"), [&] { v = amparse(1, &unknown, &err); }), 40968);
  // The default context when the id is -1.
  pm_.dfltAsIdx = kAsInt;
  pm_.dfltTsIdx = kTsBer;
  EXPECT_EQ(readOne(hex("30 03 02 01 09"),
                    [&] {
                      v = amparse(-1, nullptr, &err);
                      EXPECT_EQ(ber_chkend(), 1);
                    }),
            0);
  EXPECT_EQ(intOf(v), 9);
  pm_.dfltTsIdx = -1;
  EXPECT_EQ(readOne(hex("02 01 09"),
                    [&] {
                      v = amparse(-1, nullptr, &err);
                      aa_skip();
                    }),
            0);
  EXPECT_EQ(err, 40974);
}

TEST_F(BerContext, FormatInTheContextsTransferSyntaxNamesIt) {
  define(2, 2, kAsInt, kTsB);
  ObjId named{};
  int32_t value = -1;
  EXPECT_EQ(formatted([&] { return amformat(2, &named, &value, nullptr); }), hex("02 01 FF"));
  EXPECT_EQ(ul_objidcmp(&named, &tst[kTsB].id), 1);
  pm_.pcdt[2].tsIdx = -1;
  EXPECT_EQ(formatError([&] { return amformat(2, &named, &value, nullptr); }), 40974u);
}

TEST_F(BerContext, EncodingKindOfTheTransferSyntaxInUse) {
  struct Case {
    const char* what;
    int32_t ctx, ts;
    uint32_t want;  // or the error raised
  };
  define(1, 1, kAsInt, kTsA);
  PcdtEntry& unsettled = define(2, 2, kAsInt, -1);
  unsettled.tsSlots[kTsB] = kTsB;
  unsettled.tsSlots[kTsC] = kTsC;
  define(3, 3, -1, -1);
  define(4, 4, kAsBerOnly, -1);
  pm_.dfltAsIdx = kAsInt;
  pm_.dfltTsIdx = kTsB;
  const Case cases[] = {
      {"default context", -1, kTsC, kEncOctetAligned},
      {"transfer syntax given", 1, kTsC, kEncArbitrary},
      {"the context's own", 1, -1, kEncOctetAligned},
      {"not settled: the lowest proposed", 2, -1, kEncOctetAligned},
      {"neither syntax", 3, -1, 40973},
      {"not settled, nothing proposed", 4, -1, 40974},
  };
  for (const Case& c : cases) {
    uint32_t got = 0;
    const uint32_t err = formatError([&] {
      got = aaenctype(c.ctx, c.ts);
      return 1;
    });
    if (c.want >= 40000) {
      EXPECT_EQ(err, c.want) << c.what;
    } else {
      EXPECT_EQ(err, 0u) << c.what;
      EXPECT_EQ(got, c.want) << c.what;
    }
  }
  pm_.dfltTsIdx = -1;
  EXPECT_EQ(formatError([] { return aaenctype(-1, kTsA); }), 40978u);
}

}  // namespace
