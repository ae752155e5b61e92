// RDA messages of every service in both families, and the SQL values, type
// descriptors, statements, result rows and diagnostics inside them. Octets
// worked out by hand from X.690 and the ASN.1 of the messages.
#include <functional>
#include <string>
#include <vector>

#include "asn1/codec_fixture.h"
#include "src/asn1/rda_idu.h"

namespace {

struct Family {
  const char* name;
  void* (*parse)(void*);
  int64_t (*format)(void*);
};
const Family kIso{"ISO", aRDAIdu, fRDAIdu};
const Family kXopen{"X/Open", aRDAXOPENIdu, fRDAXOPENIdu};

// Context [n] around contents; universal SEQUENCE; text octets.
Bytes cx(uint8_t n, const Bytes& contents) { return tlv(static_cast<uint8_t>(0xA0 | n), contents); }
Bytes px(uint8_t n, const Bytes& contents) { return tlv(static_cast<uint8_t>(0x80 | n), contents); }
Bytes seq(const Bytes& contents) { return tlv(0x30, contents); }
Bytes opId(uint8_t v) { return hex("02 01") + Bytes{v}; }

class RdaMembers : public CodecTest {
 protected:
  void TearDown() override {
    aaextensibility = 0;
    aafreeall(aagetlist());
    CodecTest::TearDown();
  }

  static void* decode(const Family& f, const Bytes& bytes, int32_t* err) {
    SessionBuffer* chain = chainOf({bytes});
    void* out = nullptr;
    *err = parse(chain, [&] {
      out = f.parse(nullptr);
      EXPECT_EQ(ber_peektype(), 0) << "input left over";
    });
    freeChain(chain);
    return out;
  }
  static int32_t decodeError(const Family& f, const Bytes& bytes) {
    int32_t err = 0;
    decode(f, bytes, &err);
    return err;
  }
  static Bytes encode(const Family& f, void* idu) {
    return formatted([&] { return f.format(idu); });
  }
  // Runs `body` in a parse pass over `bytes`, nothing opened; the code.
  static int32_t run(const Bytes& bytes, const std::function<void()>& body) {
    SessionBuffer* chain = chainOf({bytes});
    const int32_t err = parse(chain, body);
    freeChain(chain);
    return err;
  }
  // Decodes, checks the code and that it re-encodes to `expected`.
  template <class Idu>
  Idu* roundTrip(const Family& f, const Bytes& wire, const Bytes& expected) {
    int32_t err = -1;
    auto* idu = static_cast<Idu*>(decode(f, wire, &err));
    EXPECT_EQ(err, 0) << f.name;
    if (idu == nullptr) return nullptr;
    EXPECT_EQ(encode(f, idu), expected) << f.name;
    return idu;
  }
};

// ---------------------------------------------------------------------------
// Pieces of the messages below.

const Bytes kApTitle = cx(0, hex("06 02 2A 03"));  // [0] around OBJECT IDENTIFIER 1.2.3
const Bytes kAeQual = cx(1, hex("02 01 07"));      // [1] around INTEGER 7
const Bytes kClientInvoc = kApTitle + kAeQual + hex("82 01 01 83 01 02");
const Bytes kSuffix = cx(1, hex("80 01 01"));  // [1] around DlgIDSuffix [0] '01'H
const Bytes kAuth = cx(2, hex("80 01 6B"));    // [2] around AuthData [0] "k"
// A descriptor: nullable FALSE, name "c", INTEGER (10, 0).
const Bytes kIntDescr = seq(hex("80 01 00 81 01 63") + cx(8, hex("02 01 0A 0A 01 00")));
// CHARACTER (charSet 1.2.3, length 20, FALSE), nullable TRUE.
const Bytes kCharDescr = seq(hex("80 01 FF") + cx(5, hex("06 02 2A 03 02 01 14 01 01 00")));
const Bytes kExcp = hex("80 05 34 32 30 30 30 81 01 01 82 03 62 61 64");  // "42000", 1, "bad"
const Bytes kAeId = hex("30 0C A0 0A 30 08 A3 06 31 04 04 02 01 02");

struct Case {
  const char* what;
  Bytes wire;
  uint32_t tag;
};

// Members whose wire form is the same in both families.
std::vector<Case> commonMembers() {
  const Bytes initReq = tlv(0xE0, kClientInvoc) + cx(0, hex("80 02 AB CD")) + hex("81 03 75 73 72") +
                        cx(2, hex("81 02 01 02")) + hex("83 01 FF 84 02 01 FE") + cx(30, hex("80 02 2A 03 81 01 55"));
  const Bytes initResult = cx(0, hex("80 01 00") + cx(1, hex("80 01 70"))) + hex("81 02 01 80") + cx(30, hex("80 01 11"));
  const Bytes statusResult =
      cx(0, seq(hex("80 01 04 81 00")) + seq(hex("80 01 05 86 02 61 62")) + seq(hex("80 01 06 85 00")));
  const Bytes openReq = hex("80 01 01 81 01 02 82 02 64 62") + cx(3, hex("80 01 70")) + hex("84 01 01") +
                        cx(30, hex("80 02 2A 03 81 02 2A 04"));
  return {
      {"Initialize RI", cx(0, opId(1) + cx(0, initReq)), RDA_INIT_RI},
      {"Initialize RI, only what is mandatory", cx(0, opId(1) + cx(0, cx(0, hex("80 00")) + hex("81 00 83 01 00 84 02 01 00"))),
       RDA_INIT_RI},
      {"Initialize RC result", cx(1, opId(1) + cx(0, initResult)), RDA_INIT_RC},
      {"Initialize RC error", cx(1, opId(1) + cx(1, hex("70 03 80 01 02"))), RDA_INIT_RC},
      {"Terminate RI", hex("A3 05 02 01 05 80 00"), RDA_TERM_RI},
      {"Terminate RC", hex("A4 05 02 01 05 80 00"), RDA_TERM_RC},
      {"BeginTransaction RI", hex("A5 05 02 01 05 80 00"), RDA_BGNTRANS_RI},
      {"BeginTransaction RC", hex("A6 07 02 01 05 A0 02 4F 00"), RDA_BGNTRANS_RC},
      {"Commit RI", hex("A7 05 02 01 05 80 00"), RDA_COMMIT_RI},
      {"Commit RC", hex("A8 08 02 01 05 A0 03 80 01 07"), RDA_COMMIT_RC},
      {"Rollback RI", hex("A9 05 02 01 05 80 00"), RDA_ROLLBACK_RI},
      {"Rollback RC", hex("AA 07 02 01 05 A1 02 4F 00"), RDA_ROLLBACK_RC},
      {"Cancel RI", cx(11, opId(3) + cx(0, cx(0, kSuffix + kAuth) + cx(1, hex("02 01 01 02 01 02")))), RDA_CANCEL_RI},
      {"Cancel RC", hex("AC 05 02 01 03 80 00"), RDA_CANCEL_RC},
      {"Cancel RC error", hex("AC 07 02 01 03 A1 02 43 00"), RDA_CANCEL_RC},
      {"Status RI", cx(13, opId(3) + cx(0, cx(0, cx(0, kClientInvoc) + kSuffix + kAuth))), RDA_STATUS_RI},
      {"Status RC", cx(14, opId(3) + cx(0, statusResult)), RDA_STATUS_RC},
      {"Open RI", cx(15, opId(2) + cx(0, openReq)), RDA_OPEN_RI},
      {"Open RC", cx(16, opId(2) + cx(0, cx(30, hex("80 02 2A 03 81 01 FF 82 02 2A 04")))), RDA_OPEN_RC},
      {"Open RC, data resource already open", cx(16, opId(2) + cx(1, hex("65 03 80 01 09"))), RDA_OPEN_RC},
      {"Open RC, diagnostic", cx(16, opId(2) + cx(1, hex("69 06 80 01 02 81 01 78"))), RDA_OPEN_RC},
      {"Close RI", cx(17, opId(4) + cx(0, cx(0, hex("02 01 01 02 01 02")))), RDA_CLOSE_RI},
      {"Close RC", cx(18, opId(4) + cx(0, cx(0, seq(hex("80 01 01 81 00"))))), RDA_CLOSE_RC},
      {"Close RC, no exceptions", cx(18, opId(4) + hex("A0 00")), RDA_CLOSE_RC},
      {"ExecuteDBL RC error", cx(20, opId(6) + cx(1, hex("41 00"))), RDA_EXECDBL_RC},
      {"DefineDBL RC error", cx(22, opId(6) + cx(1, hex("72 03 80 01 00"))), RDA_DEFINEDBL_RC},
      {"InvokeDBL RC error", cx(24, opId(6) + cx(1, hex("42 00"))), RDA_INVOKEDBL_RC},
      {"DropDBL RI", cx(25, opId(7) + cx(0, cx(0, hex("02 01 04")))), RDA_DROPDBL_RI},
      {"DropDBL RC", cx(26, opId(7) + cx(0, cx(0, seq(hex("80 01 04 81 00"))))), RDA_DROPDBL_RC},
      {"DropDBL RC error", cx(26, opId(7) + cx(1, hex("53 00"))), RDA_DROPDBL_RC},
      {"stack activation", hex("FF 63 15") + cx(0, kAeId) + hex("A1 03 80 01 FF"), RDA_ACTIVATE_REQ},
  };
}

// Rows of the ExecuteDBL response: ISO rows always carry [0].
std::vector<Case> isoMembers() {
  const Bytes args = cx(4, hex("80 01 02") + cx(1, cx(1, seq(hex("83 01 07")) + seq(hex("80 01 78 9E 01 00")))));
  const Bytes multi = cx(5, cx(0, cx(1, seq(hex("83 01 01"))) + cx(1, seq(hex("83 01 02")))));
  const Bytes specs = cx(0, kIntDescr + kCharDescr);
  const Bytes row = seq(cx(0, kExcp) + cx(1, cx(1, seq(hex("83 01 01")) + seq(hex("85 00")) + seq(hex("9E 01 FF")))));
  const Bytes emptyExcpRow = seq(hex("A0 00") + cx(1, cx(1, seq(hex("81 02 12 3C")))));
  return {
      {"ExecuteDBL RI, single row", cx(19, opId(6) + cx(0, hex("80 01 01") + cx(1, hex("80 02 73 31")) + cx(2, specs) +
                                                           cx(3, cx(0, kIntDescr)) + args)),
       RDA_EXECDBL_RI},
      {"ExecuteDBL RI, multi row", cx(19, opId(6) + cx(0, cx(1, hex("80 01 73 81 02 2A 03")) + multi)), RDA_EXECDBL_RI},
      {"ExecuteDBL RC", cx(20, opId(6) + cx(0, cx(1, cx(0, kIntDescr)) + cx(2, row + emptyExcpRow))), RDA_EXECDBL_RC},
      {"DefineDBL RI", cx(21, opId(6) + cx(0, hex("80 01 01 81 01 02") + cx(2, hex("80 01 73")) + cx(3, specs) +
                                                cx(4, cx(0, kCharDescr)))),
       RDA_DEFINEDBL_RI},
      {"DefineDBL RC", cx(22, opId(6) + cx(0, cx(0, cx(0, kIntDescr)) + cx(1, kExcp))), RDA_DEFINEDBL_RC},
      {"InvokeDBL RI", cx(23, opId(6) + cx(0, hex("80 01 09") + cx(1, hex("80 01 02")))), RDA_INVOKEDBL_RI},
      {"InvokeDBL RI, multi row", cx(23, opId(6) + cx(0, hex("80 01 09") + cx(2, cx(0, cx(1, seq(hex("84 01 05"))))))),
       RDA_INVOKEDBL_RI},
      {"InvokeDBL RC", cx(24, opId(6) + cx(0, cx(0, cx(0, kIntDescr)) + cx(2, emptyExcpRow))), RDA_INVOKEDBL_RC},
  };
}

std::vector<Case> xopenMembers() {
  // Values of every X/Open alternative.
  const Bytes values = seq(hex("80 01 78")) + seq(hex("81 02 12 3C")) + seq(hex("82 01 05")) + seq(hex("83 01 07")) +
                       seq(hex("84 01 FF")) + seq(hex("85 00")) + seq(hex("86 00")) + seq(hex("87 00")) +
                       seq(px(8, text("2026-12-10 15:14:54"))) + seq(px(9, text("abc"))) + seq(hex("8A 01 01")) +
                       seq(hex("8B 03 00 80 01")) + seq(hex("8C 02 04 F0")) + seq(hex("8D 00")) + seq(hex("8E 01 02")) +
                       seq(hex("9B 01 FF")) + seq(hex("9E 01 FF")) + seq(hex(""));
  const Bytes args = cx(4, hex("80 01 01") + cx(1, cx(1, values)));
  // Descriptors of the X/Open alternatives, with the X/Open elements.
  const Bytes descrs =
      seq(hex("80 01 FF 81 01 61 82 01 FF 83 01 03 84 01 62") + cx(13, hex("0A 01 03 02 01 06"))) +
      seq(hex("80 01 FF") + cx(13, hex("0A 01 01"))) + seq(hex("80 01 FF") + cx(14, hex("0A 01 02 02 01 02 02 01 03"))) +
      seq(hex("80 01 FF") + cx(14, hex("0A 01 02 02 01 02"))) + seq(hex("80 01 FF") + cx(15, hex("06 02 2A 03 02 01 50"))) +
      seq(hex("80 01 FF") + cx(15, hex("02 01 50"))) + seq(hex("80 01 FF") + cx(16, hex("02 01 08"))) +
      seq(hex("80 01 FF") + cx(17, hex("02 01 10"))) + seq(hex("80 01 FF") + cx(18, hex("02 01 04"))) +
      seq(hex("80 01 FF") + cx(19, hex("02 01 14 01 01 FF"))) + seq(hex("80 01 FF") + cx(20, hex("02 01 14"))) +
      seq(hex("80 01 FF BF 20 02 05 00")) + kIntDescr + kCharDescr;
  // Exception with the diagnostics area: [3] SQLDiag { [0] 2, [1] "t", [2] "u", [3] two ExcpInfo }.
  const Bytes info1 = seq(hex("80 05 34 32 30 30 30 81 03 49 53 4F 82 03 49 53 4F 83 01 6D 84 01 61 8C 01 69"));
  const Bytes info2 = seq(hex("80 00 81 00 82 00"));
  const Bytes diagExcp = kExcp + cx(3, hex("80 01 02 81 01 74 82 01 75") + cx(3, info1 + info2));
  const Bytes rows = seq(cx(1, cx(1, seq(hex("83 01 01")) + seq(hex("9E 01 FF"))))) + seq(cx(0, diagExcp)) +
                     seq(hex("A0 00") + cx(1, cx(1, seq(hex("89 00")))));
  return {
      {"ExecuteDBL RI, single row", cx(19, opId(6) + cx(0, hex("80 01 01") + cx(1, hex("80 02 73 31")) +
                                                           cx(2, cx(0, descrs)) + args + hex("86 01 FF"))),
       RDA_EXECDBL_RI},
      {"ExecuteDBL RI, multi row",
       cx(19, opId(6) + cx(0, cx(1, hex("80 01 73")) + cx(5, cx(0, cx(1, seq(hex("83 01 01"))))) + hex("86 01 00"))),
       RDA_EXECDBL_RI},
      {"ExecuteDBL RC", cx(20, opId(6) + cx(0, cx(1, cx(0, descrs)) + cx(2, rows))), RDA_EXECDBL_RC},
      {"DefineDBL RI", cx(21, opId(6) + cx(0, hex("80 01 01") + cx(2, hex("80 01 73")) + cx(4, cx(0, kCharDescr)))),
       RDA_DEFINEDBL_RI},
      {"DefineDBL RC", cx(22, opId(6) + cx(0, cx(1, diagExcp))), RDA_DEFINEDBL_RC},
      {"InvokeDBL RI", cx(23, opId(6) + cx(0, hex("80 01 09") + cx(1, hex("80 01 02")) + hex("86 01 00"))),
       RDA_INVOKEDBL_RI},
      {"InvokeDBL RC", cx(24, opId(6) + cx(0, cx(0, cx(0, kIntDescr)) + cx(2, rows))), RDA_INVOKEDBL_RC},
      {"Commit RC with message text", hex("A8 0B 02 01 05 A0 06 80 01 00 81 01 78"), RDA_COMMIT_RC},
  };
}

void roundTripAll(RdaMembers* t, const Family& f, const std::vector<Case>& cases,
                  const std::function<void*(const Family&, const Bytes&, int32_t*)>& decode,
                  const std::function<Bytes(const Family&, void*)>& encode) {
  (void)t;
  for (const Case& c : cases) {
    int32_t err = -1;
    void* idu = decode(f, c.wire, &err);
    EXPECT_EQ(err, 0) << f.name << ": " << c.what;
    if (idu == nullptr) {
      ADD_FAILURE() << f.name << ": " << c.what << " not decoded";
      continue;
    }
    EXPECT_EQ(*static_cast<uint32_t*>(idu), c.tag) << f.name << ": " << c.what;
    EXPECT_EQ(encode(f, idu), c.wire) << f.name << ": " << c.what;
  }
}

// ---------------------------------------------------------------------------
// Every member of each family

TEST_F(RdaMembers, EveryIsoMemberDecodesAndEncodesToTheSameOctets) {
  std::vector<Case> cases = commonMembers();
  for (const Case& c : isoMembers()) cases.push_back(c);
  roundTripAll(this, kIso, cases, decode, encode);
}

TEST_F(RdaMembers, EveryXOpenMemberDecodesAndEncodesToTheSameOctets) {
  std::vector<Case> cases = commonMembers();
  for (const Case& c : xopenMembers()) cases.push_back(c);
  roundTripAll(this, kXopen, cases, decode, encode);
}

// A SEQUENCE-typed element with nothing in it is written constructed, A0 00;
// the empty result alternatives (Terminate, Cancel, Rollback) stay 80 00.
// Either form is read.
TEST_F(RdaMembers, EmptySequencesAreWrittenConstructedAndReadInEitherForm) {
  const struct {
    const char* what;
    Bytes primitive;
    Bytes constructed;
    bool writtenConstructed;
  } cases[] = {
      {"Close RC, no exceptions", hex("B2 05 02 01 04 80 00"), hex("B2 05 02 01 04 A0 00"), true},
      {"Cancel RI, empty request", hex("AB 05 02 01 03 80 00"), hex("AB 05 02 01 03 A0 00"), true},
      {"Status RC, empty result", hex("AE 05 02 01 03 80 00"), hex("AE 05 02 01 03 A0 00"), true},
      {"Open RC, empty result", hex("B0 05 02 01 02 80 00"), hex("B0 05 02 01 02 A0 00"), true},
      {"row with an empty exception",
       hex("B4 14 02 01 06 A0 0F A2 0D 30 0B 80 00 A1 07 A1 05 30 03 83 01 07"),
       hex("B4 14 02 01 06 A0 0F A2 0D 30 0B A0 00 A1 07 A1 05 30 03 83 01 07"), true},
      {"Terminate RC", hex("A4 05 02 01 05 80 00"), hex("A4 05 02 01 05 A0 00"), false},
      {"Cancel RC", hex("AC 05 02 01 03 80 00"), hex("AC 05 02 01 03 A0 00"), false},
      {"Rollback RC", hex("AA 05 02 01 05 80 00"), hex("AA 05 02 01 05 A0 00"), false},
  };
  for (const Family* f : {&kIso, &kXopen}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(f->name) + ": " + c.what);
      const Bytes& written = c.writtenConstructed ? c.constructed : c.primitive;
      for (const Bytes* wire : {&c.primitive, &c.constructed}) {
        int32_t err = -1;
        void* idu = decode(*f, *wire, &err);
        ASSERT_EQ(err, 0);
        ASSERT_NE(idu, nullptr);
        EXPECT_EQ(encode(*f, idu), written);
      }
    }
  }
}

TEST_F(RdaMembers, FamilyDifferencesAreRefusedByTheOtherFamily) {
  const std::vector<Case> iso = isoMembers();
  const std::vector<Case> xo = xopenMembers();
  // ISO rows with a value and [30] and X/Open rows with the X/Open elements.
  EXPECT_EQ(decodeError(kXopen, iso[0].wire), AAE_REQEOC) << "X/Open value followed by [30]";
  EXPECT_EQ(decodeError(kIso, xo[0].wire), AAE_NOTINCHOICE) << "ISO descriptor [2]: not a type";
  EXPECT_EQ(decodeError(kIso, xo[1].wire), AAE_REQEOC) << "ISO request with [6]";
  EXPECT_EQ(decodeError(kIso, xo[2].wire), AAE_NOTINCHOICE) << "ISO descriptor [13]";
  EXPECT_EQ(decodeError(kIso, xo[7].wire), AAE_REQEOC) << "ISO Commit result with [1]";
}

TEST_F(RdaMembers, DescriptorsOfEveryMemberAreWellMade) {
  for (const CtType* t : {&kRdaIdu, &kRdaXopenIdu, &kRdaDBLArgs, &kRdaXopenDBLArgs, &kRdaXopenExcpInfo,
                          &kRdaSQLDataTypeDescr, &kRdaXopenSQLDataTypeDescr, &kRdaSQLVal, &kRdaXopenSQLVal})
    EXPECT_TRUE(ct_valid(*t));
}

// ---------------------------------------------------------------------------
// Services

TEST_F(RdaMembers, MalformedMembersAreRefusedWithTheirCodes) {
  struct Err {
    const char* what;
    Bytes wire;
    int32_t err;
  };
  const Err cases[] = {
      {"Terminate RI whose [0] has contents", hex("A3 06 02 01 05 80 01 00"), AAE_REQEOC},
      {"BeginTransaction RC without [0]", hex("A6 03 02 01 05"), AAE_MSGPARAM},
      {"RC whose second element is [2]", cx(16, opId(1) + hex("82 00")), AAE_NOTINCHOICE},
      {"Initialize RI without identityOfUser", cx(0, opId(1) + cx(0, cx(0, hex("80 00")) + hex("84 02 01 00"))),
       AAE_MSGPARAM},
      {"Initialize RI without functional units", cx(0, opId(1) + cx(0, cx(0, hex("80 00")) + hex("81 00"))),
       AAE_MSGPARAM},
      {"Initialize RI without dlgIDSuffix", cx(0, opId(1) + cx(0, hex("81 00 84 02 01 00"))), AAE_MSGPARAM},
      {"Open RI without its handle", cx(15, opId(1) + cx(0, hex("81 01 02"))), AAE_MSGPARAM},
      {"Status RI with an empty list of operations", cx(13, opId(1) + cx(0, hex("A1 00"))), AAE_OVFLO},
      {"status outside [1]..[6]", cx(14, opId(1) + cx(0, cx(0, seq(hex("80 01 04 87 00"))))), AAE_NOTINCHOICE},
      {"Close exception other than [1]", cx(18, opId(1) + cx(0, cx(0, seq(hex("80 01 04 82 00"))))), AAE_MSGPARAM},
      {"ExecuteDBL RI without its statement", cx(19, opId(1) + cx(0, hex("80 01 01"))), AAE_MSGPARAM},
      {"DefineDBL RI without its command handle", cx(21, opId(1) + cx(0, cx(2, hex("80 01 73")))), AAE_MSGPARAM},
      {"InvokeDBL RI without its command handle", cx(23, opId(1) + cx(0, cx(1, hex("80 01 02")))), AAE_MSGPARAM},
      {"empty SQLDBLArgSpec list", cx(19, opId(1) + cx(0, cx(1, hex("80 01 73")) + cx(2, hex("A0 00")))), AAE_OVFLO},
      {"result row that is no SEQUENCE", cx(20, opId(1) + cx(0, cx(2, hex("A1 00")))), AAE_MSGPARAM},
  };
  for (const Family* f : {&kIso, &kXopen})
    for (const Err& c : cases) EXPECT_EQ(decodeError(*f, c.wire), c.err) << f->name << ": " << c.what;
}

TEST_F(RdaMembers, InitializeResultControlDefaultsItsFlagOnlyWhenPresent) {
  const Bytes without = cx(1, opId(1) + cx(0, hex("81 02 01 00")));
  const Bytes empty = cx(1, opId(1) + cx(0, hex("80 00 81 02 01 00")));
  for (const Family* f : {&kIso, &kXopen}) {
    auto* a = roundTrip<RDAIdu>(*f, without, without);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->init_RC.result.mask, 0u);
    auto* b = roundTrip<RDAIdu>(*f, empty, cx(1, opId(1) + cx(0, hex("A0 03 80 01 FF 81 02 01 00"))));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->init_RC.result.mask, 1u);
    EXPECT_EQ(b->init_RC.result.control.mask, 1u);
    EXPECT_NE(b->init_RC.result.control.flag, 0u);
  }
}

TEST_F(RdaMembers, FunctionalUnitsAreWrittenAsSevenBits) {
  RDAIdu idu{};
  idu.tag = RDA_INIT_RC;
  idu.init_RC.opId = 1;
  idu.init_RC.outcome = RDA_OUTCOME_RESULT;
  idu.init_RC.result.functionalUnits = 0xFFFFFFFFu;  // the unused eighth bit goes out as 0
  EXPECT_EQ(encode(kIso, &idu), hex("A1 09 02 01 01 A0 04 81 02 01 FE"));
}

TEST_F(RdaMembers, OpenRequestWithOnlyItsHandleKeepsAnEmptyMask) {
  const Bytes wire = cx(15, opId(2) + cx(0, hex("80 01 01")));
  for (const Family* f : {&kIso, &kXopen}) {
    auto* idu = roundTrip<RDAIdu>(*f, wire, wire);
    ASSERT_NE(idu, nullptr);
    EXPECT_EQ(idu->open_RI.req.mask, 0u);
    EXPECT_EQ(idu->open_RI.req.handle, 1);
  }
}

TEST_F(RdaMembers, ExecuteDBLFlagIsXOpenOnlyAndAlwaysWrittenThere) {
  const Bytes bare = cx(19, opId(6) + cx(0, cx(1, hex("80 01 73"))));
  const Bytes flagged = cx(19, opId(6) + cx(0, cx(1, hex("80 01 73")) + hex("86 01 FF")));
  EXPECT_EQ(decodeError(kIso, flagged), AAE_REQEOC);
  auto* iso = roundTrip<RDAIdu>(kIso, bare, bare);
  ASSERT_NE(iso, nullptr);
  EXPECT_EQ(iso->execDBL_RI.req.mask, 0u);

  auto* xo = roundTrip<RDAXOPENIdu>(kXopen, bare, cx(19, opId(6) + cx(0, cx(1, hex("80 01 73")) + hex("86 01 00"))));
  ASSERT_NE(xo, nullptr);
  EXPECT_EQ(xo->execDBL_RI.req.mask, 1u << 5);
  EXPECT_EQ(xo->execDBL_RI.req.flag, 0u);
  auto* xf = roundTrip<RDAXOPENIdu>(kXopen, flagged, flagged);
  ASSERT_NE(xf, nullptr);
  EXPECT_NE(xf->execDBL_RI.req.flag, 0u);
  EXPECT_EQ(xf->execDBL_RI.req.stmt.text.length, 1u);
}

TEST_F(RdaMembers, StatusAndHandleListsComeOutInListOrder) {
  const Bytes wire = cx(14, opId(3) + cx(0, cx(0, seq(hex("80 01 04 81 00")) + seq(hex("80 01 05 86 02 61 62")) +
                                                   seq(hex("80 01 06 85 00")))));
  auto* idu = roundTrip<RDAIdu>(kIso, wire, wire);
  ASSERT_NE(idu, nullptr);
  const RDAList& l = idu->status_RC.result.infos;
  ASSERT_EQ(l.count, 3u);
  auto* first = reinterpret_cast<RDAStatusNode*>(l.links.next);
  auto* second = reinterpret_cast<RDAStatusNode*>(first->links.next);
  EXPECT_EQ(first->info.opId, 4);
  EXPECT_EQ(first->info.code, 0x4001u);
  EXPECT_EQ(second->info.code, 0x4006u);
  EXPECT_STREQ(second->info.text, "ab");
}

// ---------------------------------------------------------------------------
// SQL values

TEST_F(RdaMembers, IsoValueWithIndicatorKeepsBothInOrder) {
  RDASQLVal* v = nullptr;
  ASSERT_EQ(run(hex("30 06 83 01 07 9E 01 FF"), [&] { v = aRDASQLVal(); }), 0);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->mask, 3u);
  EXPECT_EQ(v->value.code, 0x4003u);
  EXPECT_EQ(v->value.integer, 7);
  EXPECT_EQ(v->indicator, -1);
  EXPECT_EQ(formatted([&] { return fRDASQLVal(v); }), hex("30 06 83 01 07 9E 01 FF"));
}

TEST_F(RdaMembers, ValuePresenceFollowsTheFamily) {
  struct ValCase {
    const char* what;
    Bytes wire;
    int32_t isoErr;
    int32_t xopenErr;
    uint32_t xopenMask;
  };
  const ValCase cases[] = {
      {"value then [30]", hex("30 06 83 01 07 9E 01 FF"), 0, AAE_REQEOC, 0},
      {"[30] alone", hex("30 03 9E 01 FF"), 0, 0, 2},
      {"[8] datetime", seq(px(8, text("2026-01-01"))), AAE_REQEOC, 0, 1},
      {"[27] boolean", hex("30 03 9B 01 FF"), AAE_REQEOC, 0, 1},
      {"empty", hex("30 00"), 0, 0, 0},
      {"[29]: no alternative", hex("30 02 9D 00"), AAE_REQEOC, AAE_REQEOC, 0},
      {"numeric of 8 octets", seq(px(1, pattern(8))), 0, 0, 1},
      {"numeric of 9 octets", seq(px(1, pattern(9))), AAE_OVFLO, 0, 1},
      {"decimal of 43 octets", seq(px(2, pattern(43))), AAE_OVFLO, 0, 1},
      {"decimal of 44 octets", seq(px(2, pattern(44))), AAE_OVFLO, AAE_OVFLO, 0},
  };
  for (const ValCase& c : cases) {
    RDASQLVal* iv = nullptr;
    EXPECT_EQ(run(c.wire, [&] { iv = aRDASQLVal(); }), c.isoErr) << c.what;
    if (c.isoErr == 0 && iv != nullptr) {
      EXPECT_EQ(formatted([&] { return fRDASQLVal(iv); }), c.wire) << c.what;
    }
    RDAXOPENSQLVal* xv = nullptr;
    EXPECT_EQ(run(c.wire, [&] { xv = aRDAXOPENSQLVal(); }), c.xopenErr) << c.what;
    if (c.xopenErr == 0 && xv != nullptr) {
      EXPECT_EQ(xv->mask, c.xopenMask) << c.what;
      EXPECT_EQ(formatted([&] { return fRDAXOPENSQLVal(xv); }), c.wire) << c.what;
    }
  }
}

TEST_F(RdaMembers, IsoValueWithoutAnAlternativeLeavesTheCodeAlone) {
  RDASQLVal* v = nullptr;
  EXPECT_EQ(run(seq(hex("88 01 31")), [&] { v = aRDASQLVal(); }), AAE_REQEOC);
  EXPECT_EQ(run(hex("02 01 05"), [&] { v = aRDASQLVal(); }), 0);
  EXPECT_EQ(v, nullptr) << "no SEQUENCE: no value";
}

TEST_F(RdaMembers, InlineTextsAreLimitedOrCutUnderExtensibility) {
  struct Limit {
    const char* what;
    Bytes wire;
    std::string cut;
  };
  const std::string s33(33, 'd');
  const std::string s17 = "abcdefghijklmnopq";
  const Limit cases[] = {
      {"datetime of 33 characters", seq(px(8, text(s33))), s33.substr(0, 32)},
      {"[9] of 17 characters", seq(px(9, text(s17))), s17.substr(0, 16)},
  };
  for (const Limit& c : cases) {
    RDAXOPENSQLVal* v = nullptr;
    EXPECT_EQ(run(c.wire, [&] { v = aRDAXOPENSQLVal(); }), AAE_OVFLO) << c.what;
    aaextensibility = 1;
    EXPECT_EQ(run(c.wire, [&] { v = aRDAXOPENSQLVal(); }), 0) << c.what;
    aaextensibility = 0;
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::string(v->value.dateTime), c.cut) << c.what;
  }
  // Exactly at the limits.
  const std::string s32(32, 'e');
  RDAXOPENSQLVal* v = nullptr;
  EXPECT_EQ(run(seq(px(8, text(s32))), [&] { v = aRDAXOPENSQLVal(); }), 0);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(std::string(v->value.dateTime), s32);
  EXPECT_EQ(formatted([&] { return fRDAXOPENSQLVal(v); }), seq(px(8, text(s32))));

  // ExcpInfo names and SQLDiag texts: 16 characters.
  RDAXOPENExcpInfo info{};
  const Bytes over = seq(hex("80 00 81 00 82 00") + px(12, text(s17)));
  EXPECT_EQ(run(over, [&] { aRDAXOPENExcpInfo(&info); }), AAE_OVFLO);
  aaextensibility = 1;
  EXPECT_EQ(run(over, [&] { aRDAXOPENExcpInfo(&info); }), 0);
  aaextensibility = 0;
  EXPECT_EQ(info.mask, 1u << 12);
  EXPECT_STREQ(info.names[8], "abcdefghijklmnop");
  RDAXOPENSQLDiag diag{};
  EXPECT_EQ(readOne(cx(3, px(1, text(s17)) + hex("A3 02 30 00")), [&] { aRDAXOPENSQLDiag(&diag); }), AAE_OVFLO);
}

// ---------------------------------------------------------------------------
// Descriptors

TEST_F(RdaMembers, DescriptorWithoutNullableIsNullableAndWritesItBack) {
  const Bytes wire = seq(hex("A8 06 02 01 0A 0A 01 00"));
  const Bytes back = seq(hex("80 01 FF A8 06 02 01 0A 0A 01 00"));
  RDASQLDataTypeDescr* d = nullptr;
  ASSERT_EQ(run(wire, [&] { d = aRDASQLDataTypeDescr(); }), 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->mask, 1u);
  EXPECT_NE(d->nullable, 0u);
  EXPECT_EQ(d->type.code, 0x4008u);
  EXPECT_EQ(d->type.number.first, 10);
  EXPECT_EQ(formatted([&] { return fRDASQLDataTypeDescr(d); }), back);
  RDAXOPENSQLDataTypeDescr* x = nullptr;
  ASSERT_EQ(run(wire, [&] { x = aRDAXOPENSQLDataTypeDescr(); }), 0);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(formatted([&] { return fRDAXOPENSQLDataTypeDescr(x); }), back);
}

TEST_F(RdaMembers, XOpenDescriptorElementsFollowTheirOwnRules) {
  // [2] FALSE comes back TRUE; [3] 0 is not written again.
  RDAXOPENSQLDataTypeDescr* x = nullptr;
  ASSERT_EQ(run(seq(hex("80 01 00 82 01 00 83 01 00 A8 06 02 01 0A 0A 01 00")),
                [&] { x = aRDAXOPENSQLDataTypeDescr(); }),
            0);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->mask, (1u << 0) | (1u << 2));
  EXPECT_EQ(formatted([&] { return fRDAXOPENSQLDataTypeDescr(x); }),
            seq(hex("80 01 00 82 01 FF A8 06 02 01 0A 0A 01 00")));

  // [32] holds exactly one NULL, in the high-tag form.
  RDAXOPENSQLDataTypeDescr n{};
  n.mask = 0;
  n.type.code = 0x4020;
  EXPECT_EQ(formatted([&] { return fRDAXOPENSQLDataTypeDescr(&n); }), hex("30 05 BF 20 02 05 00"));
  EXPECT_EQ(run(hex("30 06 BF 20 03 05 01 00"), [&] { x = aRDAXOPENSQLDataTypeDescr(); }), AAE_REQEOC);
  EXPECT_EQ(run(hex("30 03 BF 20 00"), [&] { x = aRDAXOPENSQLDataTypeDescr(); }), AAE_MSGPARAM);
}

TEST_F(RdaMembers, DescriptorTypesOutsideTheFamilyAreRefused) {
  struct TypeCase {
    const char* what;
    Bytes wire;
    int32_t isoErr;
    int32_t xopenErr;
  };
  const TypeCase cases[] = {
      {"[13] datetime", seq(cx(13, hex("0A 01 03"))), AAE_NOTINCHOICE, 0},
      {"[21]", seq(cx(21, hex("02 01 03"))), AAE_NOTINCHOICE, AAE_NOTINCHOICE},
      {"no type", seq(hex("80 01 FF")), AAE_NOTINCHOICE, AAE_NOTINCHOICE},
      {"CHARACTER without its length", seq(cx(5, hex("06 02 2A 03 01 01 00"))), AAE_MSGPARAM, AAE_MSGPARAM},
      {"NUMERIC with a third INTEGER", seq(cx(6, hex("02 01 05 02 01 02 02 01 01"))), AAE_REQEOC, AAE_REQEOC},
      {"element after the type", seq(cx(6, hex("02 01 05 02 01 02")) + hex("80 01 FF")), AAE_REQEOC, AAE_REQEOC},
  };
  for (const TypeCase& c : cases) {
    EXPECT_EQ(run(c.wire, [] { aRDASQLDataTypeDescr(); }), c.isoErr) << c.what;
    EXPECT_EQ(run(c.wire, [] { aRDAXOPENSQLDataTypeDescr(); }), c.xopenErr) << c.what;
  }
  RDASQLDataTypeDescr d{};
  d.type.code = 0x400D;
  EXPECT_EQ(formatError([&] { return fRDASQLDataTypeDescr(&d); }), AAE_NONSPEC);
  RDASQLVal v{};
  v.mask = 1;
  v.value.code = 0x4008;
  EXPECT_EQ(formatError([&] { return fRDASQLVal(&v); }), AAE_NONSPEC);
}

// ---------------------------------------------------------------------------
// Specifications, rows and diagnostics

TEST_F(RdaMembers, EmptySpecificationListIsRefused) {
  RDAList l{};
  EXPECT_EQ(readOne(hex("A2 02 A0 00"), [&] { aRDASQLDBLArgSpec(&l); }), AAE_OVFLO);
  EXPECT_EQ(readOne(hex("A2 02 A0 00"), [&] { aRDAXOPENSQLDBLResultSpec(&l); }), AAE_OVFLO);
}

// The diagnostics area's list of records has at least one element: an empty
// one is refused when read and, rather than sent for the peer to refuse,
// when written.
TEST_F(RdaMembers, DiagnosticsListIsNeverEmpty) {
  RDAXOPENSQLDiag diag{};
  EXPECT_EQ(readOne(cx(3, hex("80 01 05 A3 00")), [&] { aRDAXOPENSQLDiag(&diag); }), AAE_OVFLO);

  // A row count in [0] and the diagnostics present, but no record.
  RDAXOPENSQLDBLExcp e{};
  e.mask = 1u << 3;
  e.diag.mask = 1u << 0;
  e.diag.number = 5;
  RDAList& list = e.diag.exceptions;
  list.links.next = list.links.prev = &list.links;
  EXPECT_EQ(formatError([&] { return fRDAXOPENSQLDBLExcp(&e); }), AAE_OVFLO);
  EXPECT_EQ(formatError([&] { return fRDAXOPENSQLDiag(&e.diag); }), AAE_OVFLO);

  // One record "00000" with empty origins.
  char state[] = "00000";
  char none[] = "";
  RDAExcpNode node{};
  node.info.returnedSQLState = state;
  node.info.classOrigin = none;
  node.info.subclassOrigin = none;
  node.links.next = node.links.prev = &list.links;
  list.links.next = list.links.prev = &node.links;
  list.count = 1;
  const Bytes wire = hex("A3 12 80 01 05 A3 0D 30 0B 80 05 30 30 30 30 30 81 00 82 00");
  EXPECT_EQ(formatted([&] { return fRDAXOPENSQLDBLExcp(&e); }), wire);
  RDAXOPENSQLDBLExcp* back = nullptr;
  ASSERT_EQ(readOne(cx(0, wire), [&] { back = aRDAXOPENSQLDBLExcp(); }), 0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->diag.number, 5);
  EXPECT_EQ(back->diag.exceptions.count, 1u);
}

TEST_F(RdaMembers, ExceptionInfoNeedsItsThreeMandatoryTexts) {
  RDAXOPENExcpInfo info{};
  EXPECT_EQ(run(seq(hex("80 00 81 00 83 01 6D")), [&] { aRDAXOPENExcpInfo(&info); }), AAE_MSGPARAM);
  const Bytes full = seq(hex("80 01 41 81 01 42 82 01 43 83 01 6D") + px(4, text("n4")) + px(7, text("n7")) +
                         px(12, text("sixteen-chars-16")));
  ASSERT_EQ(run(full, [&] { aRDAXOPENExcpInfo(&info); }), 0);
  EXPECT_EQ(info.mask, (1u << 3) | (1u << 4) | (1u << 7) | (1u << 12));
  EXPECT_STREQ(info.subclassOrigin, "C");
  EXPECT_STREQ(info.names[0], "n4");
  EXPECT_STREQ(info.names[3], "n7");
  EXPECT_STREQ(info.names[8], "sixteen-chars-16");
  EXPECT_EQ(formatted([&] { return fRDAXOPENExcpInfo(&info); }), full);
}

TEST_F(RdaMembers, ResultRowExceptionIsMandatoryInIsoOnly) {
  const Bytes bare = seq(cx(1, cx(1, seq(hex("83 01 01")))));
  RDAResultVals iso{};
  EXPECT_EQ(run(bare, [&] { aRDAResultVals(&iso); }), AAE_MSGPARAM);
  RDAXOPENResultVals xo{};
  ASSERT_EQ(run(bare, [&] { aRDAXOPENResultVals(&xo); }), 0);
  EXPECT_EQ(xo.exception, nullptr);
  EXPECT_EQ(xo.mask, 2u);
  EXPECT_EQ(formatted([&] { return fRDAXOPENResultVals(&xo); }), bare);
  iso.mask = 0;
  iso.exception = nullptr;
  EXPECT_EQ(formatError([&] { return fRDAResultVals(&iso); }), AAE_MSGPARAM) << "ISO always writes [0]";
}

TEST_F(RdaMembers, RowsCutAcrossBuffersAreRead) {
  const Bytes wire = xopenMembers()[2].wire;
  size_t where = 0;
  EXPECT_EQ(readAtEveryCut(wire, [] {
              void* idu = nullptr;
              // The member was opened by the reader: parse the RC contents.
              RDAExecDBL_RC rc{};
              idu = &rc;
              EXPECT_NE(aRDAXOPENExecDBL_RC(static_cast<RDAExecDBL_RC*>(idu)), 0u);
            }, &where),
            0)
      << "cut at " << where;
}

}  // namespace
