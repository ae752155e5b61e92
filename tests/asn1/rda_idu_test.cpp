// RDA messages: the top-level CHOICE of both families, the RI/RC frames, the
// error alternatives of every service, diagnostics and lists of INTEGERs.
// Octets worked out by hand from X.690 and the ASN.1 of the messages.
#include <algorithm>
#include <functional>
#include <vector>

#include "asn1/codec_fixture.h"
#include "src/asn1/rda_idu.h"

namespace {

struct Family {
  const char* name;
  void* (*parse)(void*);
  int64_t (*format)(void*);
};
const Family kFamilies[] = {{"ISO", aRDAIdu, fRDAIdu}, {"X/Open", aRDAXOPENIdu, fRDAXOPENIdu}};

class RdaIdu : public CodecTest {
 protected:
  void TearDown() override {
    aafreeall(aagetlist());
    CodecTest::TearDown();
  }

  // Decodes `bytes` cut at `cuts`; the code of the pass in *err.
  static void* decode(const Family& f, const Bytes& bytes, int32_t* err, const std::vector<size_t>& cuts = {}) {
    std::vector<Bytes> parts;
    size_t from = 0;
    for (size_t c : cuts) {
      parts.push_back(slice(bytes, from, c - from));
      from = c;
    }
    parts.push_back(slice(bytes, from, bytes.size() - from));
    SessionBuffer* chain = chainOf(parts);
    void* out = nullptr;
    *err = parse(chain, [&] { out = f.parse(nullptr); });
    freeChain(chain);
    return out;
  }
  static int32_t decodeError(const Family& f, const Bytes& bytes) {
    int32_t err = 0;
    decode(f, bytes, &err);
    return err;
  }
  // Runs `body` in a parse pass over `bytes`, nothing opened.
  static int32_t readAny(const Bytes& bytes, const std::function<void()>& body) {
    SessionBuffer* chain = chainOf({bytes});
    const int32_t err = parse(chain, body);
    freeChain(chain);
    return err;
  }
  static Bytes encode(const Family& f, void* idu) {
    return formatted([&] { return f.format(idu); });
  }
};

// ---------------------------------------------------------------------------
// Top level

TEST_F(RdaIdu, MessagesOfBothFamiliesDecodeAndEncodeToTheSameOctets) {
  struct Case {
    const char* what;
    Bytes wire;
    uint32_t tag;
    int32_t opId;
  };
  const Case cases[] = {
      {"empty [2]", hex("82 00"), RDA_EMPTY, 0},
      {"empty PRIVATE 55", hex("DF 37 00"), RDA_EMPTY_PRIVATE, 0},
      {"Commit RI", hex("A7 05 02 01 05 80 00"), RDA_COMMIT_RI, 5},
      {"Rollback RI, operation 128", hex("A9 06 02 02 00 80 80 00"), RDA_ROLLBACK_RI, 128},
      {"Terminate RI, operation -1", hex("A3 05 02 01 FF 80 00"), RDA_TERM_RI, -1},
      {"Terminate RC result", hex("A4 05 02 01 05 80 00"), RDA_TERM_RC, 5},
      {"BeginTransaction RC", hex("A6 07 02 01 05 A0 02 4F 00"), RDA_BGNTRANS_RC, 5},
      {"Rollback RC error", hex("AA 0A 02 01 05 A1 05 70 03 80 01 03"), RDA_ROLLBACK_RC, 5},
      {"Commit RC result", hex("A8 08 02 01 05 A0 03 80 01 07"), RDA_COMMIT_RC, 5},
  };
  for (const Family& f : kFamilies) {
    for (const Case& c : cases) {
      int32_t err = -1;
      auto* idu = static_cast<RDAIdu*>(decode(f, c.wire, &err));
      ASSERT_EQ(err, 0) << f.name << ": " << c.what;
      ASSERT_NE(idu, nullptr) << f.name << ": " << c.what;
      EXPECT_EQ(idu->tag, c.tag) << f.name << ": " << c.what;
      if (c.tag != RDA_EMPTY && c.tag != RDA_EMPTY_PRIVATE) {
        EXPECT_EQ(idu->term_RI.opId, c.opId) << c.what;
      }
      EXPECT_EQ(encode(f, idu), c.wire) << f.name << ": " << c.what;
    }
  }
}

TEST_F(RdaIdu, MembersCarryTheirResultsAndErrors) {
  int32_t err = -1;
  auto* bt = static_cast<RDAIdu*>(decode(kFamilies[0], hex("A6 07 02 01 05 A0 02 4F 00"), &err));
  ASSERT_NE(bt, nullptr);
  EXPECT_EQ(bt->bgnTrans_RC.error.code, RDA_ERR_BASE + 15);

  auto* rb = static_cast<RDAIdu*>(decode(kFamilies[0], hex("AA 0A 02 01 05 A1 05 70 03 80 01 03"), &err));
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(rb->rollback_RC.outcome, RDA_OUTCOME_ERROR);
  EXPECT_EQ(rb->rollback_RC.error.code, RDA_ERR_INV_SEQUENCE);
  EXPECT_EQ(rb->rollback_RC.error.invSequence.mask, 1u);
  EXPECT_EQ(rb->rollback_RC.error.invSequence.value, 3);

  auto* tr = static_cast<RDAIdu*>(decode(kFamilies[0], hex("A4 05 02 01 05 80 00"), &err));
  ASSERT_NE(tr, nullptr);
  EXPECT_EQ(tr->term_RC.outcome, RDA_OUTCOME_RESULT);

  auto* cm = static_cast<RDAIdu*>(decode(kFamilies[0], hex("A8 08 02 01 05 A0 03 80 01 07"), &err));
  ASSERT_NE(cm, nullptr);
  EXPECT_EQ(cm->commit_RC.outcome, RDA_OUTCOME_RESULT);
  EXPECT_EQ(cm->commit_RC.result.value, 7);
}

TEST_F(RdaIdu, MalformedMessagesAreRefusedWithTheirCodes) {
  struct Case {
    const char* what;
    Bytes wire;
    int32_t err;
  };
  const Case cases[] = {
      {"[2] with contents", hex("82 01 00"), AAE_REQEOC},
      {"[2] constructed with an element", hex("A2 03 02 01 05"), AAE_REQEOC},
      {"[2] holding two zero octets", hex("82 02 00 00"), AAE_REQEOC},
      {"PRIVATE 55 with contents", hex("DF 37 01 05"), AAE_REQEOC},
      {"RC whose second element is [2]", hex("A4 05 02 01 05 82 00"), AAE_NOTINCHOICE},
      {"RC without its second element", hex("A4 03 02 01 05"), AAE_NOTINCHOICE},
      {"RC error the service does not have", hex("A4 07 02 01 05 A1 02 40 00"), AAE_MSGPARAM},
      {"RC error wrapper with more inside", hex("A4 09 02 01 05 A1 04 4F 00 05 00"), AAE_REQEOC},
      {"RI [0] with contents", hex("A3 06 02 01 05 80 01 00"), AAE_REQEOC},
      {"RI without [0]", hex("A3 03 02 01 05"), AAE_MSGPARAM},
      {"RI elements out of order", hex("A3 05 80 00 02 01 05"), AAE_MSGPARAM},
      {"operation id of five octets", hex("A7 09 02 05 01 02 03 04 05 80 00"), AAE_OVFLO},
      {"two zero octets after the last element", hex("A7 07 02 01 05 80 00 00 00"), AAE_REQEOC},
      {"element after the last one", hex("A7 07 02 01 05 80 00 05 00"), AAE_REQEOC},
      {"BeginTransaction RC with an empty [0]", hex("A6 05 02 01 05 80 00"), AAE_MSGPARAM},
      {"BeginTransaction RC without [0]", hex("A6 03 02 01 05"), AAE_MSGPARAM},
      {"length past the data", hex("A7 06 02 01 05 80 00"), AAE_LENERR},
  };
  for (const Family& f : kFamilies)
    for (const Case& c : cases) EXPECT_EQ(decodeError(f, c.wire), c.err) << f.name << ": " << c.what;
}

TEST_F(RdaIdu, UnknownTopLevelIdentifierGivesNullWithoutErrorAndConsumesNothing) {
  const Bytes cases[] = {hex("9B 00"),    hex("BB 00"), hex("63 00"), hex("30 00"),
                         hex("DF 36 00"), hex("BF 1F 00"), hex("02 01 05"), Bytes{}};
  for (const Family& f : kFamilies) {
    for (const Bytes& wire : cases) {
      SessionBuffer* chain = chainOf({wire});
      void* idu = &chain;
      int32_t before = -1, after = -1;
      const int32_t err = parse(chain, [&] {
        before = ber_peektype();
        idu = f.parse(nullptr);
        after = ber_peektype();
      });
      freeChain(chain);
      EXPECT_EQ(err, 0) << f.name;
      EXPECT_EQ(idu, nullptr) << f.name;
      EXPECT_EQ(after, before) << f.name;
    }
  }
}

TEST_F(RdaIdu, IndefiniteLengthsAndSplitBuffersAreRead) {
  for (const Family& f : kFamilies) {
    int32_t err = -1;
    auto* idu = static_cast<RDAIdu*>(decode(f, hex("A4 80 02 01 05 A1 80 4F 00 00 00 00 00"), &err));
    ASSERT_EQ(err, 0) << f.name;
    ASSERT_NE(idu, nullptr);
    EXPECT_EQ(idu->term_RC.error.code, RDA_ERR_BASE + 15);
    EXPECT_EQ(encode(f, idu), hex("A4 07 02 01 05 A1 02 4F 00")) << "written back with definite lengths";

    const Bytes wire = hex("AA 0A 02 01 05 A1 05 70 03 80 01 03");
    for (size_t cut = 1; cut < wire.size(); ++cut) {
      auto* rb = static_cast<RDAIdu*>(decode(f, wire, &err, {cut}));
      ASSERT_EQ(err, 0) << f.name << " cut at " << cut;
      ASSERT_NE(rb, nullptr);
      EXPECT_EQ(rb->rollback_RC.error.invSequence.value, 3) << "cut at " << cut;
    }
  }
}

TEST_F(RdaIdu, TagCodeOutsideTheChoiceIsNotWritten) {
  for (const Family& f : kFamilies) {
    RDAIdu idu{};
    for (uint32_t tag : {0u, 0x401Bu, 0x6036u, 0x2002u}) {
      idu.tag = tag;
      EXPECT_EQ(formatError([&] { return f.format(&idu); }), AAE_NONSPEC) << f.name << " tag " << tag;
    }
    // An error whose value the service does not have.
    idu.tag = RDA_TERM_RC;
    idu.term_RC.outcome = RDA_OUTCOME_ERROR;
    idu.term_RC.error.code = RDA_ERR_BASE;
    EXPECT_EQ(formatError([&] { return f.format(&idu); }), AAE_NONSPEC) << f.name;
    idu.term_RC.outcome = 0x4002;
    EXPECT_EQ(formatError([&] { return f.format(&idu); }), AAE_NONSPEC) << f.name;
  }
}

TEST_F(RdaIdu, CommitResultMessageTextIsXOpenOnly) {
  const Bytes wire = hex("A8 0B 02 01 05 A0 06 80 01 00 81 01 78");
  EXPECT_EQ(decodeError(kFamilies[0], wire), AAE_REQEOC);
  int32_t err = -1;
  auto* idu = static_cast<RDAXOPENIdu*>(decode(kFamilies[1], wire, &err));
  ASSERT_EQ(err, 0);
  ASSERT_NE(idu, nullptr);
  EXPECT_EQ(idu->commit_RC.result.mask, 1u);
  EXPECT_EQ(idu->commit_RC.result.value, 0);
  EXPECT_STREQ(idu->commit_RC.result.text, "x");
  EXPECT_EQ(encode(kFamilies[1], idu), wire);
}

TEST_F(RdaIdu, DescriptorsOfBothFamiliesAreWellMade) {
  EXPECT_TRUE(ct_valid(kRdaIdu));
  EXPECT_TRUE(ct_valid(kRdaXopenIdu));
  for (const CtType* t : {&kRdaInit_Err, &kRdaOpen_Err, &kRdaExecDBL_Err, &kRdaListOfOpID, &kRdaErrDiag})
    EXPECT_TRUE(ct_valid(*t));
}

// ---------------------------------------------------------------------------
// Diagnostics

TEST_F(RdaIdu, ErrDiagWithoutCodeDefaultsItAndWritesItBack) {
  // Terminate RC, error [APPLICATION 18] holding only [1] "x".
  for (const Family& f : kFamilies) {
    int32_t err = -1;
    auto* idu = static_cast<RDAIdu*>(decode(f, hex("A4 0A 02 01 05 A1 05 72 03 81 01 78"), &err));
    ASSERT_EQ(err, 0) << f.name;
    ASSERT_NE(idu, nullptr);
    const RDAErr& e = idu->term_RC.error;
    EXPECT_EQ(e.code, RDA_ERR_DIAG);
    EXPECT_EQ(e.diag.mask, 3u) << "bit 0 set for the defaulted code";
    EXPECT_EQ(e.diag.code, 0);
    EXPECT_STREQ(e.diag.text, "x");
    EXPECT_EQ(encode(f, idu), hex("A4 0D 02 01 05 A1 08 72 06 80 01 00 81 01 78"));
  }
}

TEST_F(RdaIdu, ErrDiagFieldsAreReadAndWrittenByTheirBits) {
  RDAErrDiag d{};
  EXPECT_EQ(readOne(hex("A0 06 80 01 2A 81 01 41"), [&] { aRDAErrDiag(&d); }), 0);
  EXPECT_EQ(d.mask, 3u);
  EXPECT_EQ(d.code, 42);
  EXPECT_STREQ(d.text, "A");
  EXPECT_EQ(readOne(hex("A0 06 81 01 41 80 01 2A"), [&] { aRDAErrDiag(&d); }), AAE_REQEOC) << "order is fixed";

  d = RDAErrDiag{};
  EXPECT_EQ(formatted([&] { return fRDAErrDiag(&d); }), Bytes{}) << "nothing present";
  char text[] = "ab";
  d.mask = 2;
  d.text = text;
  EXPECT_EQ(formatted([&] { return fRDAXOPENErrDiag(&d); }), hex("81 02 61 62"));
}

// ---------------------------------------------------------------------------
// Error alternatives of every service

using ErrParse = uint32_t (*)(RDAErr*);
using ErrFormat = int64_t (*)(RDAErr*);
struct ErrType {
  const char* name;
  ErrParse parse[2];
  ErrFormat format[2];
  std::vector<uint16_t> accepted;
};

#define ERR_TYPE(T, ...) \
  ErrType { #T, {aRDA##T, aRDAXOPEN##T}, {fRDA##T, fRDAXOPEN##T}, __VA_ARGS__ }

const ErrType kErrTypes[] = {
    ERR_TYPE(Init_Err, {0, 14, 16, 18, 22}),
    ERR_TYPE(Term_Err, {15, 16, 18, 20}),
    ERR_TYPE(BgnTrans_Err, {15, 16, 18, 20}),
    ERR_TYPE(Commit_Err, {15, 16}),
    ERR_TYPE(Rollback_Err, {15, 16}),
    ERR_TYPE(Cancel_Err, {3, 4, 11, 15, 16, 18, 20}),
    ERR_TYPE(Status_Err, {3, 4, 11, 15, 16, 18, 20}),
    ERR_TYPE(Open_Err, {5, 8, 9, 10, 13, 15, 16, 18, 19, 20, 24, 26, 27, 28}),
    ERR_TYPE(Close_Err, {15, 16, 18, 19, 20, 26}),
    ERR_TYPE(ExecDBL_Err, {1, 6, 7, 15, 16, 17, 18, 19, 20, 21, 23, 25, 29, 30, 31, 32, 33}),
    ERR_TYPE(DefineDBL_Err, {6, 7, 12, 15, 16, 17, 18, 19, 20, 23, 31, 32, 33}),
    ERR_TYPE(InvokeDBL_Err, {1, 2, 15, 16, 18, 19, 20, 21, 25, 29, 30, 33}),
    ERR_TYPE(DropDBL_Err, {15, 16, 18, 19, 20}),
};

// [APPLICATION n] as each alternative is written: DataRsrcAlreadyOpen with
// handle 0, the other alternatives with a parameter empty and constructed,
// the rest empty and primitive; tags above 30 in the high-tag form.
Bytes errElement(uint16_t n) {
  if (n == 5) return hex("65 03 80 01 00");
  const bool param = n == 9 || n == 16 || n == 18;
  const uint8_t cls = param ? 0x60 : 0x40;
  if (n <= 30) return Bytes{static_cast<uint8_t>(cls | n), 0x00};
  return Bytes{static_cast<uint8_t>(cls | 0x1F), static_cast<uint8_t>(n), 0x00};
}

TEST_F(RdaIdu, EachErrorTypeAcceptsExactlyItsApplicationTags) {
  for (const ErrType& t : kErrTypes) {
    for (int fam = 0; fam < 2; ++fam) {
      for (uint16_t n = 0; n <= 40; ++n) {
        const bool want = std::find(t.accepted.begin(), t.accepted.end(), n) != t.accepted.end();
        RDAErr e{};
        e.code = 0xDEAD;
        uint32_t got = 0;
        int32_t left = -1;
        SessionBuffer* chain = chainOf({errElement(n)});
        const int32_t err = parse(chain, [&] {
          got = t.parse[fam](&e);
          left = ber_peektype();
        });
        freeChain(chain);
        ASSERT_EQ(err, 0) << t.name << " n=" << n;
        EXPECT_EQ(got != 0, want) << t.name << "[" << fam << "] n=" << n;
        EXPECT_EQ(e.code, want ? RDA_ERR_BASE + n : 0xDEADu) << t.name << " n=" << n;
        EXPECT_EQ(left, want ? 0 : static_cast<int32_t>(RDA_ERR_BASE + n)) << "a refused element stays";

        e = RDAErr{};
        e.code = RDA_ERR_BASE + n;
        if (want) EXPECT_EQ(formatted([&] { return t.format[fam](&e); }), errElement(n)) << t.name << " n=" << n;
        else EXPECT_EQ(formatError([&] { return t.format[fam](&e); }), AAE_NONSPEC) << t.name << " n=" << n;
      }
      // Another class with an accepted number is no alternative.
      RDAErr e{};
      uint32_t got = 1;
      SessionBuffer* chain = chainOf({Bytes{static_cast<uint8_t>(0x80 | t.accepted[0]), 0x00}});
      EXPECT_EQ(parse(chain, [&] { got = t.parse[fam](&e); }), 0);
      freeChain(chain);
      EXPECT_EQ(got, 0u) << t.name;
    }
  }
}

TEST_F(RdaIdu, DataResourceAlreadyOpenCarriesItsHandle) {
  RDAErr e{};
  EXPECT_EQ(readAny(hex("65 03 80 01 07"), [&] { EXPECT_NE(aRDAOpen_Err(&e), 0u); }), 0);
  EXPECT_EQ(e.code, RDA_ERR_DATA_RSRC_ALREADY_OPEN);
  EXPECT_EQ(e.alreadyOpen.handle, 7);
  EXPECT_EQ(formatted([&] { return fRDAOpen_Err(&e); }), hex("65 03 80 01 07"));
  EXPECT_EQ(readAny(hex("65 00"), [&] { aRDAOpen_Err(&e); }), AAE_MSGPARAM) << "the handle is mandatory";
}

// ---------------------------------------------------------------------------
// Lists of INTEGERs

TEST_F(RdaIdu, ListsOfIntegersKeepTheirOrder) {
  RDAList ring{};
  EXPECT_EQ(readOne(hex("A1 09 02 01 01 02 01 02 02 01 03"), [&] { aRDAListOfOpID(&ring); }), 0);
  ASSERT_EQ(ring.count, 3u);
  std::vector<int32_t> got;
  for (UL_Link* p = ring.links.next; p != &ring.links; p = p->next) got.push_back(reinterpret_cast<RDAIntNode*>(p)->value);
  EXPECT_EQ(got, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(formatted([&] { return fRDAListOfOpID(&ring); }), hex("02 01 01 02 01 02 02 01 03"));

  EXPECT_EQ(readOne(hex("A1 00"), [&] { aRDAListOfCmdHndl(&ring); }), AAE_OVFLO) << "an empty list";
  EXPECT_EQ(readOne(hex("A1 03 04 01 01"), [&] { aRDAListOfDataRsrcHndl(&ring); }), AAE_MSGPARAM);

  RDAList blank{};
  EXPECT_EQ(formatted([&] { return fRDAXOPENListOfOpID(&blank); }), Bytes{}) << "a list never set up is empty";
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Stack activation

// Activate request: an AE identifier holding only the network address 01 02,
// activation data FALSE.
const Bytes kActivate = hex("FF 63 15 A0 0E 30 0C A0 0A 30 08 A3 06 31 04 04 02 01 02 A1 03 80 01 00");

TEST_F(RdaIdu, ActivateRequestIsWrittenAsWorkedOutAndReadBack) {
  uint8_t addr[] = {0x01, 0x02};
  UL_NaddrEntry entry{};
  entry.addr = OctStgV{2, addr};
  UL_AEId id{};
  id.pAddress.nAddrs.links = UL_Link{&entry.links, &entry.links};
  id.pAddress.nAddrs.count = 1;
  entry.links = UL_Link{&id.pAddress.nAddrs.links, &id.pAddress.nAddrs.links};
  RDAActData act{0};
  RDAIdu idu{};
  idu.tag = RDA_ACTIVATE_REQ;
  idu.activate = RDAActivate_Req{&id, &act};

  for (const Family& f : kFamilies) {
    const Bytes wire = encode(f, &idu);
    EXPECT_EQ(wire, kActivate) << f.name;
    // What the encoder writes, the decoder reads: [0] ends before [1].
    int32_t err = -1;
    auto* back = static_cast<RDAIdu*>(decode(f, wire, &err));
    ASSERT_EQ(err, 0) << f.name;
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->tag, RDA_ACTIVATE_REQ);
    ASSERT_NE(back->activate.aeId, nullptr);
    EXPECT_EQ(back->activate.aeId->mask, 0u);
    EXPECT_EQ(back->activate.aeId->tClass, 4);
    EXPECT_EQ(back->activate.aeId->pAddress.nAddrs.count, 1u);
    ASSERT_NE(back->activate.actData, nullptr);
    EXPECT_EQ(back->activate.actData->flag, 0u);
    EXPECT_EQ(encode(f, back), kActivate);
  }

  idu.activate.actData = nullptr;
  EXPECT_EQ(formatError([&] { return fRDAIdu(&idu); }), AAE_MSGPARAM) << "no activation data to write";
}

TEST_F(RdaIdu, MalformedActivateRequestsAreRefused) {
  const Bytes aeId = hex("30 0C A0 0A 30 08 A3 06 31 04 04 02 01 02");
  struct Case {
    const char* what;
    Bytes wire;
    int32_t err;
  };
  const Case cases[] = {
      {"no [1]", hex("FF 63 10") + tlv(0xA0, aeId), AAE_MSGPARAM},
      {"[0] with more than the AE identifier", hex("FF 63 17") + tlv(0xA0, aeId + hex("05 00")) + hex("A1 03 80 01 00"),
       AAE_REQEOC},
      {"[0] holding no AE identifier", hex("FF 63 09 A0 02 05 00 A1 03 80 01 00"), AAE_MSGPARAM},
      {"[1] without its BOOLEAN", hex("FF 63 12") + tlv(0xA0, aeId) + hex("A1 00"), AAE_MSGPARAM},
  };
  for (const Family& f : kFamilies)
    for (const Case& c : cases) EXPECT_EQ(decodeError(f, c.wire), c.err) << f.name << ": " << c.what;
}

// ---------------------------------------------------------------------------
// Controlled dialogues

TEST_F(RdaIdu, ControlledDialogueWithClientInvocation) {
  const Bytes contents = hex(
      "A0 11 A0 04 06 02 2A 03 A1 03 02 01 07 82 01 05 83 01 06"  // [0] client invocation
      " A1 03 80 01 01"                                           // [1] suffix 01
      " A2 03 80 01 75");                                         // [2] text "u"
  RDACntlledDlg c{};
  EXPECT_EQ(readOne(tlv(0xA0, contents), [&] { aRDACntlledDlg(&c); }), 0);
  EXPECT_EQ(c.mask, 1u);
  EXPECT_EQ(c.clientInvoc.apTitle.kind, UL_TITLE_OBJID);
  EXPECT_EQ(c.clientInvoc.apTitle.objId.count, 3u);
  EXPECT_EQ(c.clientInvoc.aeQual.kind, UL_QUAL_INTEGER);
  EXPECT_EQ(c.clientInvoc.aeQual.integer, 7);
  EXPECT_EQ(c.clientInvoc.apInvokeId, 5);
  EXPECT_EQ(c.clientInvoc.aeInvokeId, 6);
  EXPECT_EQ(c.suffix.code, 0x4000u);
  ASSERT_EQ(c.suffix.octets.length, 1u);
  EXPECT_EQ(c.suffix.octets.octets[0], 0x01);
  EXPECT_EQ(c.authData.code, RDA_AUTH_TEXT);
  EXPECT_STREQ(c.authData.text, "u");
  EXPECT_EQ(formatted([&] { return fRDAXOPENCntlledDlg(&c); }), contents);

  const Bytes short_ = hex("A1 03 80 01 01 A2 03 80 01 75");
  EXPECT_EQ(readOne(tlv(0xA0, short_), [&] { aRDACntlledDlg(&c); }), 0);
  EXPECT_EQ(c.mask, 0u);
  EXPECT_EQ(formatted([&] { return fRDACntlledDlg(&c); }), short_);

  EXPECT_EQ(readOne(hex("A0 05 A2 03 80 01 75"), [&] { aRDACntlledDlg(&c); }), AAE_MSGPARAM) << "no suffix";
  EXPECT_EQ(readOne(hex("A0 0A A1 03 80 01 01 A2 03 83 01 75"), [&] { aRDACntlledDlg(&c); }), AAE_MSGPARAM)
      << "authentication data of no alternative";
  EXPECT_EQ(readOne(hex("A0 10 A0 09 A0 04 06 02 2A 03 82 01 05 A1 03 80 01 01"), [&] { aRDACntlledDlg(&c); }),
            AAE_MSGPARAM)
      << "client invocation without its AE qualifier";
}

TEST_F(RdaIdu, AuthenticationDataAlternatives) {
  const Bytes cases[] = {hex("80 02 61 62"), hex("81 02 01 02"), hex("82 02 07 80")};
  const uint32_t codes[] = {RDA_AUTH_TEXT, RDA_AUTH_OCTETS, RDA_AUTH_BITS};
  for (size_t i = 0; i < 3; ++i) {
    RDAAuthData a{};
    EXPECT_EQ(readAny(cases[i], [&] { EXPECT_NE(aRDAAccessCntlData(&a), 0u); }), 0);
    EXPECT_EQ(a.code, codes[i]);
    EXPECT_EQ(formatted([&] { return fRDAAuthData(&a); }), cases[i]);
  }
  RDAAuthData a{};
  a.code = 0x4003;
  EXPECT_EQ(readAny(hex("83 00"), [&] { EXPECT_EQ(aRDAAuthData(&a), 0u); }), 0);
  EXPECT_EQ(a.code, 0x4003u);
  EXPECT_EQ(formatError([&] { return fRDAAuthData(&a); }), AAE_NONSPEC);
}

}  // namespace
