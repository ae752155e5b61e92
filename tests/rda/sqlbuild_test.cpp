// Builders of SQL descriptors, values, exceptions and their lists, in both
// families. Octets worked out by hand from X.690 and the ASN.1 of the
// messages.
#include <cstring>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "rda/rda_fixture.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr int32_t kNoResource = 52481;

// 1.2.826.0.1050.3 as OBJECT IDENTIFIER contents, without the last arcs.
const Bytes kXopenArcs = hex("2A 86 3A 00 88 1A 03");
const Bytes k8859 = tlv(0x06, kXopenArcs + hex("04 01"));

std::vector<Bytes> octetsOf(const RDAList& l) {
  std::vector<Bytes> out;
  for (const UL_Link* p = l.links.next; p != &l.links; p = p->next) {
    const auto* v = static_cast<RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(p)->val);
    out.emplace_back(v->value.octets.octets, v->value.octets.octets + v->value.octets.length);
  }
  return out;
}

template <class T>
T* valAt(const RDAList& l, uint32_t i) {
  const UL_Link* p = l.links.next;
  while (i-- > 0) p = p->next;
  return static_cast<T*>(reinterpret_cast<const RDAValNode*>(p)->val);
}

class SqlBuild : public RdaBuildTest {
 protected:
  void SetUp() override {
    RdaBuildTest::SetUp();
    rda_ringInit(&list_);
    savedMode_ = gCharacterMode;
    gCharacterMode = 0;
  }
  void TearDown() override {
    gCharacterMode = savedMode_;
    RdaBuildTest::TearDown();
  }
  Bytes encodeX(RDAXOPENSQLVal* v) {
    return formatted([&] { return fRDAXOPENSQLVal(v); });
  }
  Bytes encodeIso(RDASQLVal* v) {
    return formatted([&] { return fRDASQLVal(v); });
  }

  RDAList list_{};
  int32_t savedMode_ = 0;
};

// ---------------------------------------------------------------------------
// X/Open values

TEST_F(SqlBuild, XopenValuesOfEveryKindEncodeAndDecodeBack) {
  const uint8_t num[] = {0x12, 0x3C};
  const uint8_t bits[] = {0xA5, 0xF0};
  const char dt[] = "2024-01-02";
  const wchar_t wide[] = L"\u00e9a";
  OctStgV str{2, reinterpret_cast<uint8_t*>(const_cast<char*>("ab"))};
  OctStgV numeric{2, const_cast<uint8_t*>(num)};
  OctStgV date{10, reinterpret_cast<uint8_t*>(const_cast<char*>(dt))};
  OctStgV wstr{2, reinterpret_cast<uint8_t*>(const_cast<wchar_t*>(wide))};
  BitStgV bit{4, 2, const_cast<uint8_t*>(bits)};
  struct Case {
    const char* what;
    uint32_t type;
    Bytes wire;
  };
  const Case cases[] = {
      {"char", RDA_SQLVAL_CHAR, seq(hex("80 02 61 62"))},
      {"numeric", RDA_SQLVAL_NUMERIC, seq(hex("81 02 12 3C"))},
      {"decimal", RDA_SQLVAL_DECIMAL, seq(hex("82 02 12 3C"))},
      {"integer, low 32 bits of the 64-bit argument", RDA_SQLVAL_INTEGER, seq(hex("83 01 05"))},
      {"smallint, the 32-bit argument", RDA_SQLVAL_SMALLINT, seq(hex("84 01 FE"))},
      {"float", RDA_SQLVAL_FLOAT, seq(hex("85 03 80 F8 80"))},
      {"real", RDA_SQLVAL_REAL, seq(hex("86 03 80 F8 80"))},
      {"double precision", RDA_SQLVAL_DOUBLE, seq(hex("87 03 80 F8 80"))},
      {"date-time", RDA_SQLVAL_DATETIME, seq(px(8, text(dt)))},
      {"varchar", RDA_SQLVAL_VARCHAR, seq(hex("8A 02 61 62"))},
      {"bit varying", RDA_SQLVAL_BITVARYING, seq(hex("8C 03 04 A5 F0"))},
      {"wide char in UTF-8", RDA_SQLVAL_WCHAR, seq(hex("8D 03 C3 A9 61"))},
      {"wide varchar in UTF-8", RDA_SQLVAL_WVARCHAR, seq(hex("8E 03 C3 A9 61"))},
  };
  for (const Case& c : cases) {
    const bool wideKind = c.type == RDA_SQLVAL_WCHAR || c.type == RDA_SQLVAL_WVARCHAR;
    const OctStgV* s = wideKind ? &wstr : c.type == RDA_SQLVAL_DATETIME ? &date : &str;
    // Indicator 3 is kept in the record but not sent.
    ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, c.type, s, -2, 0x100000005LL, &numeric, &bit, 3, 0.5), 1) << c.what;
    auto* v = valAt<RDAXOPENSQLVal>(list_, list_.count - 1);
    EXPECT_EQ(v->mask, 1u) << c.what;
    EXPECT_EQ(v->indicator, 3) << c.what;
    EXPECT_EQ(encodeX(v), c.wire) << c.what;
    RDAXOPENSQLVal* back = nullptr;
    ASSERT_EQ(run(c.wire, [&] { back = aRDAXOPENSQLVal(); }), 0) << c.what;
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->value.code, c.type) << c.what;
    EXPECT_EQ(encodeX(back), c.wire) << c.what;
  }
  EXPECT_EQ(list_.count, std::size(cases));
  EXPECT_TRUE(wellLinked(list_));
}

TEST_F(SqlBuild, XopenNegativeIndicatorGivesTheIndicatorOnly) {
  OctStgV str{2, reinterpret_cast<uint8_t*>(const_cast<char*>("ab"))};
  for (int32_t indicator : {-1, -5}) {
    ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, nullptr, indicator, 0), 1);
    auto* v = valAt<RDAXOPENSQLVal>(list_, list_.count - 1);
    EXPECT_EQ(v->mask, 2u);
    EXPECT_EQ(v->value.code, 0u);
    EXPECT_EQ(encodeX(v), seq(px(30, Bytes{static_cast<uint8_t>(indicator)})));
  }
  // Even a value type outside the family: a NULL has no type.
  EXPECT_EQ(rda_addXOPENSQLVal(tree_, &list_, 16393, nullptr, 0, 0, nullptr, nullptr, -1, 0), 1);
  EXPECT_EQ(list_.count, 3u);
}

TEST_F(SqlBuild, XopenLimitsOfNumericAndDateTimeItems) {
  std::vector<uint8_t> octets(43, 0x11);
  std::string dt(33, '9');
  struct Case {
    const char* what;
    uint32_t type;
    uint32_t count;
    bool ok;
    const char* trace;
  };
  const Case cases[] = {
      {"numeric of 42 octets", RDA_SQLVAL_NUMERIC, 42, true, nullptr},
      {"numeric of 43 octets", RDA_SQLVAL_NUMERIC, 43, false, "can't copy numericItem, length <43>"},
      {"decimal of 43 octets", RDA_SQLVAL_DECIMAL, 43, false, "can't copy numericItem, length <43>"},
      {"date-time of 32", RDA_SQLVAL_DATETIME, 32, true, nullptr},
      {"date-time of 33", RDA_SQLVAL_DATETIME, 33, false, "can't copy dateTimeItem, length <33>"},
  };
  for (const Case& c : cases) {
    QvSetOsiError(0);
    trace().clear();
    const uint32_t before = list_.count;
    OctStgV numeric{c.count, octets.data()};
    OctStgV date{c.count, reinterpret_cast<uint8_t*>(dt.data())};
    const int32_t r = rda_addXOPENSQLVal(tree_, &list_, c.type, &date, 0, 0, &numeric, nullptr, 0, 0);
    EXPECT_EQ(r, c.ok ? 1 : 0) << c.what;
    EXPECT_EQ(list_.count, before + (c.ok ? 1 : 0)) << c.what;
    EXPECT_EQ(QvGetOsiError(), c.ok ? 0 : kNoResource) << c.what;
    if (c.trace != nullptr) {
      EXPECT_TRUE(traced(std::string("*** rda_addXOPENSQLVal: ") + c.trace)) << c.what;
    }
  }
  auto* longest = valAt<RDAXOPENSQLVal>(list_, 1);
  EXPECT_EQ(std::string(longest->value.dateTime), std::string(32, '9'));

  // A date-time text without a terminator: its count's octets only.
  const char longer[] = "12:30:45.123";
  OctStgV part{8, reinterpret_cast<uint8_t*>(const_cast<char*>(longer))};
  ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_DATETIME, &part, 0, 0, nullptr, nullptr, 0, 0), 1);
  auto* v = valAt<RDAXOPENSQLVal>(list_, list_.count - 1);
  EXPECT_STREQ(v->value.dateTime, "12:30:45");
  EXPECT_EQ(encodeX(v), seq(px(8, text("12:30:45"))));

  // No text at all.
  OctStgV none{0, nullptr};
  QvSetOsiError(0);
  EXPECT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_DATETIME, &none, 0, 0, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(QvGetOsiError(), kNoResource);
}

TEST_F(SqlBuild, XopenValueTypesOutsideTheFamilyAreRefusedWithoutOsiError) {
  for (uint32_t type : {16393u, 16395u, 16383u, 16399u, 0u}) {
    QvSetOsiError(0);
    trace().clear();
    EXPECT_EQ(rda_addXOPENSQLVal(tree_, &list_, type, nullptr, 0, 0, nullptr, nullptr, 0, 0), 0) << type;
    EXPECT_EQ(QvGetOsiError(), 0) << type;
    EXPECT_TRUE(traced("*** rda_addXOPENSQLVal: Invalid valueType=" + std::to_string(type))) << type;
  }
  EXPECT_EQ(list_.count, 0u);
}

TEST_F(SqlBuild, EightBitCharacterModeSendsWideValuesAndTypesAsNarrowOnes) {
  const wchar_t wide[] = L"x\u00e9";
  OctStgV wstr{2, reinterpret_cast<uint8_t*>(const_cast<wchar_t*>(wide))};
  struct Mode {
    int32_t mode;
    uint32_t wcharVal, wvarcharVal, wcharType, wvarcharType;
  };
  for (const Mode& m : {Mode{1, 16384, 16394, 16389, 16399}, Mode{0, 16397, 16398, 16403, 16404}}) {
    gCharacterMode = m.mode;
    rda_ringInit(&list_);
    ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_WCHAR, &wstr, 0, 0, nullptr, nullptr, 0, 0), 1);
    ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_WVARCHAR, &wstr, 0, 0, nullptr, nullptr, 0, 0), 1);
    EXPECT_EQ(valAt<RDAXOPENSQLVal>(list_, 0)->value.code, m.wcharVal);
    EXPECT_EQ(valAt<RDAXOPENSQLVal>(list_, 1)->value.code, m.wvarcharVal);
    EXPECT_EQ(octetsOf(list_), (std::vector<Bytes>{hex("78 C3 A9"), hex("78 C3 A9")}));
    EXPECT_EQ(rda_createXOPENWCharType(tree_, 1, nullptr, nullptr, 4, 0)->type.code, m.wcharType);
    EXPECT_EQ(rda_createXOPENWVarCharType(tree_, 1, nullptr, nullptr, 4)->type.code, m.wvarcharType);
  }
}

TEST_F(SqlBuild, XopenWideTextThatIsNoUnicodeIsRefused) {
  const wchar_t bad[] = {static_cast<wchar_t>(0x110000), 0};
  OctStgV wstr{1, reinterpret_cast<uint8_t*>(const_cast<wchar_t*>(bad))};
  QvSetOsiError(0);
  EXPECT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_WCHAR, &wstr, 0, 0, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(QvGetOsiError(), kNoResource);
  // An empty wide text is an empty value.
  OctStgV empty{0, nullptr};
  ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_WCHAR, &empty, 0, 0, nullptr, nullptr, 0, 0), 1);
  EXPECT_EQ(encodeX(valAt<RDAXOPENSQLVal>(list_, 0)), seq(hex("8D 00")));
}

TEST_F(SqlBuild, XopenValuesTakeOnePieceOfPageMemoryEach) {
  tree_->paging = 1;
  OctStgV str{3, reinterpret_cast<uint8_t*>(const_cast<char*>("abc"))};
  ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, nullptr, 0, 0), 1);
  ASSERT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, nullptr, 0, 0), 1);
  auto* node = reinterpret_cast<RDAValNode*>(list_.links.next);
  auto* v = static_cast<RDAXOPENSQLVal*>(node->val);
  // The value right behind its node, the octets right behind the value.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(v), reinterpret_cast<uint8_t*>(node) + sizeof(RDAValNode));
  EXPECT_GE(v->value.octets.octets, reinterpret_cast<uint8_t*>(v) + sizeof(RDAXOPENSQLVal));
  EXPECT_LT(v->value.octets.octets, reinterpret_cast<uint8_t*>(v) + sizeof(RDAXOPENSQLVal) + 8);
  EXPECT_EQ(octetsOf(list_), (std::vector<Bytes>{text("abc"), text("abc")}));
}

// ---------------------------------------------------------------------------
// X/Open descriptors

TEST_F(SqlBuild, XopenDescriptorsEncodeToHandWorkedOctets) {
  const int32_t precision = 6;
  struct Case {
    const char* what;
    RDAXOPENSQLDataDescr* d;
    Bytes wire;
  };
  const Case cases[] = {
      {"nullable, no name: presence 0", rda_createXOPENIntegerType(tree_, 1, nullptr, 10, 1),
       seq(cx(8, hex("02 01 0A 0A 01 01")))},
      {"not nullable, named", rda_createXOPENSmallIntType(tree_, 0, "c", 5, 1),
       seq(hex("80 01 00 81 01 63") + cx(9, hex("02 01 05 0A 01 01")))},
      {"char with character set", rda_createXOPENCharType(tree_, 1, nullptr, rda_xopenChar8859_1, 20, 0),
       seq(cx(5, k8859 + hex("02 01 14 01 01 00")))},
      {"char without character set", rda_createXOPENCharType(tree_, 1, nullptr, nullptr, 20, 1),
       seq(cx(5, hex("02 01 14 01 01 FF")))},
      {"numeric", rda_createXOPENNumericType(tree_, 1, nullptr, 10, 2), seq(cx(6, hex("02 01 0A 02 01 02")))},
      {"decimal", rda_createXOPENDecimalType(tree_, 1, nullptr, 10, 2), seq(cx(7, hex("02 01 0A 02 01 02")))},
      {"float", rda_createXOPENFloatType(tree_, 1, nullptr, 15, 38), seq(cx(10, hex("02 01 0F 02 01 26")))},
      {"real", rda_createXOPENRealType(tree_, 1, nullptr, 7, 38), seq(cx(11, hex("02 01 07 02 01 26")))},
      {"double", rda_createXOPENDoublePrecisionType(tree_, 1, nullptr, 15, 38), seq(cx(12, hex("02 01 0F 02 01 26")))},
      {"date-time with precision", rda_createXOPENDateTimeType(tree_, 1, nullptr, 3, &precision),
       seq(cx(13, hex("0A 01 03 02 01 06")))},
      {"date-time without", rda_createXOPENDateTimeType(tree_, 1, nullptr, 3, nullptr), seq(cx(13, hex("0A 01 03")))},
      {"varchar", rda_createXOPENVarCharType(tree_, 1, nullptr, rda_xopenChar8859_1, 254),
       seq(cx(15, k8859 + hex("02 02 00 FE")))},
      {"bit varying", rda_createXOPENBitVaryingType(tree_, 1, nullptr, 8), seq(cx(17, hex("02 01 08")))},
      {"variant", rda_createXOPENVariantType(tree_, 1, nullptr, 4), seq(cx(18, hex("02 01 04")))},
      {"wide char", rda_createXOPENWCharType(tree_, 1, nullptr, nullptr, 20, 0), seq(cx(19, hex("02 01 14 01 01 00")))},
      {"wide varchar", rda_createXOPENWVarCharType(tree_, 1, nullptr, nullptr, 20), seq(cx(20, hex("02 01 14")))},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.d, nullptr) << c.what;
    EXPECT_EQ(formatted([&] { return fRDAXOPENSQLDataTypeDescr(c.d); }), c.wire) << c.what;
    RDAXOPENSQLDataDescr* back = nullptr;
    ASSERT_EQ(run(c.wire, [&] { back = aRDAXOPENSQLDataTypeDescr(); }), 0) << c.what;
    EXPECT_EQ(back->type.code, c.d->type.code) << c.what;
  }
  EXPECT_EQ(cases[0].d->mask, 0u);
  EXPECT_EQ(cases[1].d->mask, 3u);
  EXPECT_STREQ(cases[1].d->colName, "c");
  EXPECT_NE(cases[2].d->type.character.charSet.arcs, rda_xopenChar8859_1->arcs) << "the arcs are copied";
}

TEST_F(SqlBuild, DescriptorBuildersThatGetNoMemoryFailWithNoResource) {
  struct Case {
    const char* trace;
    std::function<void*()> build;
  };
  const Case cases[] = {
      {"*** rda_createXOPENCharType: can't create RDAXOPENSQLDataDescr",
       [&] { return rda_createXOPENCharType(tree_, 1, nullptr, nullptr, 1, 0); }},
      {"*** rda_createXOPENDateTimeType: can't create RDAXOPENSQLDataDescr",
       [&] { return rda_createXOPENDateTimeType(tree_, 1, nullptr, 1, nullptr); }},
      {"*** createXOPENDescr: can't get mem to create RDAXOPENSQLDataDescr",
       [&] { return rda_createXOPENVariantType(tree_, 1, nullptr, 1); }},
      {"*** rda_createSQLNumericType: can't create RDASQLDataDescr",
       [&] { return rda_createSQLNumericType(tree_, 1, nullptr, 1, 1); }},
      {"*** createSQLDescr: can't get mem to create RDASQLDataDescr",
       [&] { return rda_createSQLCharType(tree_, 1, nullptr, nullptr, 1, 0); }},
      {"*** rda_createSQLDblExcp: can't get mem to create RDASQLDBLExcp",
       [&] { return rda_createSQLDBLExcp(tree_, nullptr, nullptr, nullptr); }},
      {"*** rda_createXOPENDBLExcp: can't get mem to create RDAXOPENSQLDBLExcp",
       [&] { return rda_createXOPENDBLExcp(tree_, nullptr); }},
      {"*** rda_createSQLValList: can't create RDASQLValList", [&] { return rda_createSQLValList(tree_); }},
      {"*** rda_createResultVal: can't get mem to create RDAResultVal",
       [&] { return rda_createResultVal(tree_, nullptr, nullptr); }},
  };
  for (const Case& c : cases) {
    QvSetOsiError(0);
    trace().clear();
    {
      FailingAlloc fail(0);
      EXPECT_EQ(c.build(), nullptr) << c.trace;
    }
    EXPECT_EQ(QvGetOsiError(), kNoResource) << c.trace;
    EXPECT_TRUE(traced(c.trace)) << c.trace;
  }
  // The character set that cannot be copied after the descriptor was had.
  {
    FailingAlloc fail(1);
    EXPECT_EQ(rda_createXOPENVarCharType(tree_, 1, nullptr, rda_xopenChar8859_1, 1), nullptr);
  }
  EXPECT_TRUE(traced("*** rda_createXOPENVarCharType: can't copy charSet"));
  // Nor values.
  OctStgV str{1, reinterpret_cast<uint8_t*>(const_cast<char*>("a"))};
  QvSetOsiError(0);
  for (int n : {0, 1}) {
    {
      FailingAlloc fail(0);
      EXPECT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, nullptr, 0, 0), 0);
    }
    {
      FailingAlloc fail(0);
      EXPECT_EQ(rda_addXOPENSQLVal(tree_, &list_, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, nullptr, -1, 0), 0);
    }
    {
      FailingAlloc fail(n);  // the node, then the value
      EXPECT_EQ(rda_addSQLVal(tree_, &list_, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, 0, 0), 0);
    }
  }
  EXPECT_EQ(QvGetOsiError(), kNoResource);
  EXPECT_EQ(list_.count, 0u);
}

// ---------------------------------------------------------------------------
// X/Open exceptions and small copies

TEST_F(SqlBuild, XopenExceptionCarriesItsDiagnosticsRecords) {
  const int32_t number = 7;
  RDAXOPENSQLDBLExcp* e = rda_createXOPENDBLExcp(tree_, &number);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->mask, 0u);
  ASSERT_EQ(rda_addXOPENDBLExcp(tree_, e, L"42000", L"ISO", L"X", L"m\u00e9"), 1);
  ASSERT_EQ(rda_addXOPENDBLExcp(tree_, e, L"01000", L"", L"", nullptr), 1);
  EXPECT_EQ(e->mask, 1u << 3);
  const Bytes first = seq(px(0, text("42000")) + px(1, text("ISO")) + px(2, text("X")) + px(3, hex("6D C3 A9")));
  const Bytes second = seq(px(0, text("01000")) + hex("81 00 82 00"));
  EXPECT_EQ(formatted([&] { return fRDAXOPENSQLDBLExcp(e); }), cx(3, hex("80 01 07") + cx(3, first + second)));

  QvSetOsiError(0);
  EXPECT_EQ(rda_addXOPENDBLExcp(tree_, e, nullptr, L"ISO", L"X", nullptr), 0);
  EXPECT_EQ(QvGetOsiError(), kNoResource);
  EXPECT_EQ(e->diag.exceptions.count, 2u);
  RDAXOPENSQLDBLExcp* bare = rda_createXOPENDBLExcp(tree_, nullptr);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->diag.mask, 0u);
  EXPECT_TRUE(rda_ringEmpty(bare->diag.exceptions));
}

TEST_F(SqlBuild, SmallCopiesOfOctetsAndBits) {
  struct One {
    uint32_t length;
    uint8_t octets[2];
  };
  One src1{1, {0x7F, 0}};
  One src2{2, {1, 2}};
  One dst{9, {0, 0}};
  EXPECT_EQ(ul_octstgcpy(reinterpret_cast<OctStg*>(&dst), reinterpret_cast<OctStg*>(&src1)), 1);
  EXPECT_EQ(dst.length, 1u);
  EXPECT_EQ(dst.octets[0], 0x7F);
  EXPECT_EQ(ul_octstgcpy(reinterpret_cast<OctStg*>(&dst), reinterpret_cast<OctStg*>(&src2)), 0);
  EXPECT_EQ(dst.length, 1u) << "nothing copied";

  uint8_t octets[] = {0xF0, 0x0F};
  BitStgV b{4, 2, octets};
  BitStgV copy{};
  ASSERT_EQ(ul_bitsDup(tree_, &copy, &b), 1);
  EXPECT_EQ(copy.unused, 4u);
  EXPECT_EQ(copy.count, 2u);
  EXPECT_NE(copy.octets, octets);
  EXPECT_EQ(Bytes(copy.octets, copy.octets + 2), hex("F0 0F"));
  FailingAlloc fail(0);
  EXPECT_EQ(ul_bitsDup(tree_, &copy, &b), 0);
}

// ---------------------------------------------------------------------------
// ISO values, descriptors and exceptions

TEST_F(SqlBuild, IsoValuesTreatOnlyIndicatorMinusOneAsNull) {
  const uint8_t num8[] = {1, 2, 3, 4, 5, 6, 7, 8};
  OctStgV str{2, reinterpret_cast<uint8_t*>(const_cast<char*>("ab"))};
  OctStgV n8{8, const_cast<uint8_t*>(num8)};
  OctStgV n9{9, const_cast<uint8_t*>(num8)};
  struct Case {
    const char* what;
    uint32_t type;
    const OctStgV* numeric;
    int32_t indicator;
    Bytes wire;
  };
  const Case cases[] = {
      {"NULL", RDA_SQLVAL_CHAR, nullptr, -1, seq(hex("9E 01 FF"))},
      {"indicator -2 is a value", RDA_SQLVAL_CHAR, nullptr, -2, seq(hex("80 02 61 62"))},
      {"numeric of 8 octets", RDA_SQLVAL_NUMERIC, &n8, 0, seq(px(1, Bytes(num8, num8 + 8)))},
      {"decimal", RDA_SQLVAL_DECIMAL, &n8, 0, seq(px(2, Bytes(num8, num8 + 8)))},
      {"integer, low 32 bits", RDA_SQLVAL_INTEGER, nullptr, 0, seq(hex("83 01 05"))},
      {"smallint", RDA_SQLVAL_SMALLINT, nullptr, 0, seq(hex("84 01 FE"))},
      {"double", RDA_SQLVAL_DOUBLE, nullptr, 0, seq(hex("87 03 80 F8 80"))},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(rda_addSQLVal(tree_, &list_, c.type, &str, -2, 0x100000005LL, c.numeric, c.indicator, 0.5), 1) << c.what;
    auto* v = valAt<RDASQLVal>(list_, list_.count - 1);
    EXPECT_EQ(v->mask, c.indicator == -1 ? 2u : 1u) << c.what;
    EXPECT_EQ(encodeIso(v), c.wire) << c.what;
    RDASQLVal* back = nullptr;
    ASSERT_EQ(run(c.wire, [&] { back = aRDASQLVal(); }), 0) << c.what;
    EXPECT_EQ(encodeIso(back), c.wire) << c.what;
  }
  QvSetOsiError(0);
  EXPECT_EQ(rda_addSQLVal(tree_, &list_, RDA_SQLVAL_NUMERIC, nullptr, 0, 0, &n9, 0, 0), 0);
  EXPECT_EQ(QvGetOsiError(), kNoResource);
  EXPECT_TRUE(traced("*** rda_createSQLVal: can't copy numericItem"));
  EXPECT_EQ(rda_addSQLVal(tree_, &list_, RDA_SQLVAL_DECIMAL, nullptr, 0, 0, &n9, 0, 0), 0);
  EXPECT_TRUE(traced("*** rda_createSQLVal: can't copy decimalItem"));
  EXPECT_EQ(rda_addSQLVal(tree_, &list_, RDA_SQLVAL_CHAR, nullptr, 0, 0, nullptr, 0, 0), 0);
  EXPECT_TRUE(traced("*** rda_createSQLVal: can't copy charItem"));
  EXPECT_EQ(list_.count, std::size(cases));
  EXPECT_TRUE(wellLinked(list_));
}

TEST_F(SqlBuild, IsoDescriptorsEncodeToHandWorkedOctets) {
  static uint32_t arcs[] = {1, 2, 3};
  const ObjIdV cs{3, arcs};
  struct Case {
    const char* what;
    RDASQLDataDescr* d;
    Bytes wire;
  };
  const Case cases[] = {
      {"char", rda_createSQLCharType(tree_, 0, "c", &cs, 20, 0),
       seq(hex("80 01 00 81 01 63") + cx(5, hex("06 02 2A 03 02 01 14 01 01 00")))},
      {"numeric", rda_createSQLNumericType(tree_, 1, nullptr, 10, 2), seq(cx(6, hex("02 01 0A 02 01 02")))},
      {"decimal", rda_createSQLDecimalType(tree_, 1, nullptr, 10, 2), seq(cx(7, hex("02 01 0A 02 01 02")))},
      {"integer", rda_createSQLIntegerType(tree_, 1, nullptr, 10, 1), seq(cx(8, hex("02 01 0A 0A 01 01")))},
      {"smallint", rda_createSQLSmallIntType(tree_, 1, nullptr, 5, 1), seq(cx(9, hex("02 01 05 0A 01 01")))},
      {"float", rda_createSQLFloatType(tree_, 1, nullptr, 15, 38), seq(cx(10, hex("02 01 0F 02 01 26")))},
      {"real", rda_createSQLRealType(tree_, 1, nullptr, 7, 38), seq(cx(11, hex("02 01 07 02 01 26")))},
      {"double", rda_createSQLDoublePrecisionType(tree_, 1, nullptr, 15, 38), seq(cx(12, hex("02 01 0F 02 01 26")))},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.d, nullptr) << c.what;
    EXPECT_EQ(formatted([&] { return fRDASQLDataTypeDescr(c.d); }), c.wire) << c.what;
  }
  EXPECT_EQ(cases[1].d->mask, 0u);
}

TEST_F(SqlBuild, IsoExceptionStoresSqlCodeEightAsOneHundred) {
  struct Case {
    int32_t code;
    int32_t stored;
  };
  for (const Case& c : {Case{8, 100}, Case{0, 0}, Case{100, 100}, Case{-8, -8}}) {
    RDASQLDBLExcp* e = rda_createSQLDBLExcp(tree_, nullptr, &c.code, nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->mask, 2u);
    EXPECT_EQ(e->code, c.stored) << c.code;
  }
  const int32_t code = 1;
  RDASQLDBLExcp* e = rda_createSQLDBLExcp(tree_, L"42000", &code, L"b\u00e9");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->mask, 7u);
  EXPECT_EQ(formatted([&] { return fRDASQLDBLExcp(e); }), px(0, text("42000")) + hex("81 01 01 82 03 62 C3 A9"));
  const wchar_t bad[] = {static_cast<wchar_t>(0x110000), 0};
  QvSetOsiError(0);
  EXPECT_EQ(rda_createSQLDBLExcp(tree_, nullptr, nullptr, bad), nullptr);
  EXPECT_EQ(QvGetOsiError(), kNoResource);
  EXPECT_TRUE(traced("*** rda_createSQLDblExcp: can't copy sQLErrText"));
}

// ---------------------------------------------------------------------------
// Lists of rows and descriptors

TEST_F(SqlBuild, CopiedRowsOwnTheirValueRings) {
  RDASQLValList* values = rda_createSQLValList(tree_);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values->code, 0x4001u);
  OctStgV str{1, reinterpret_cast<uint8_t*>(const_cast<char*>("a"))};
  ASSERT_EQ(rda_addSQLVal(tree_, &values->values, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, 0, 0), 1);
  ASSERT_EQ(rda_addSQLVal(tree_, &values->values, RDA_SQLVAL_CHAR, &str, 0, 0, nullptr, -1, 0), 1);
  auto* full = static_cast<RDAResultVals*>(rda_createResultVal(tree_, nullptr, values));
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full->mask, 2u);
  EXPECT_TRUE(wellLinked(full->values.values));
  EXPECT_EQ(full->values.values.count, 2u);
  EXPECT_TRUE(rda_ringEmpty(values->values)) << "the values moved";

  RDASQLValList* none = rda_createSQLValList(tree_);
  auto* empty = static_cast<RDAResultVals*>(rda_createResultVal(tree_, nullptr, none));
  auto* bare = static_cast<RDAResultVals*>(rda_createResultVal(tree_, nullptr, nullptr));
  ASSERT_NE(empty, nullptr);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->mask, 0u);

  RDAList rows{};
  void* vals[] = {full, empty, bare};
  ASSERT_EQ(RDA_copyListOfResultVals(3, vals, tree_, &rows), 1);
  EXPECT_EQ(rows.count, 3u);
  EXPECT_TRUE(wellLinked(rows));
  const auto* first = reinterpret_cast<RDAResultNode*>(rows.links.next);
  const auto* second = reinterpret_cast<RDAResultNode*>(first->links.next);
  EXPECT_TRUE(wellLinked(first->row.values.values));
  EXPECT_EQ(first->row.values.values.count, 2u);
  EXPECT_EQ(first->row.values.values.links.next->prev, &first->row.values.values.links);
  EXPECT_TRUE(wellLinked(second->row.values.values));
  EXPECT_EQ(second->row.values.values.links.next, &second->row.values.values.links) << "empty ring at its own head";
  EXPECT_TRUE(rda_ringEmpty(full->values.values)) << "the source row gave its values away";
}

TEST_F(SqlBuild, CopyOfRowsStopsAtANullEntry) {
  RDAList rows{};
  EXPECT_EQ(RDA_copyListOfResultVals(0, nullptr, tree_, &rows), 1);
  EXPECT_TRUE(rda_ringEmpty(rows));
  EXPECT_EQ(rows.count, 0u);

  void* a = rda_createResultVal(tree_, nullptr, nullptr);
  void* vals[] = {a, a, nullptr};
  EXPECT_EQ(RDA_copyListOfResultVals(3, vals, tree_, &rows), 0);
  EXPECT_EQ(rows.count, 2u);
  EXPECT_TRUE(wellLinked(rows));
  EXPECT_TRUE(traced("*** rda_createSQLExecRsp: vals[2] is NULL"));
}

TEST_F(SqlBuild, DescriptorListsShareOrDuplicateTheirDescriptors) {
  void* descrs[] = {rda_createSQLIntegerType(tree_, 1, "a", 10, 1), rda_createSQLSmallIntType(tree_, 0, "b", 5, 1)};
  RDAList shared{};
  ASSERT_EQ(RDA_copyListOfSDTD(2, descrs, tree_, &shared), 1);
  EXPECT_EQ(shared.count, 2u);
  EXPECT_TRUE(wellLinked(shared));
  EXPECT_EQ(reinterpret_cast<RDADescrNode*>(shared.links.next)->descr, descrs[0]);

  RDAList* dup = RDA_dupListOfSDTD(tree_, &shared);
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(dup->count, 2u);
  EXPECT_TRUE(wellLinked(*dup));
  auto* copy = static_cast<RDASQLDataDescr*>(reinterpret_cast<RDADescrNode*>(dup->links.prev)->descr);
  EXPECT_NE(copy, descrs[1]);
  EXPECT_EQ(copy->type.number.first, 5);
  EXPECT_EQ(copy->colName, static_cast<RDASQLDataDescr*>(descrs[1])->colName) << "names stay shared";
  EXPECT_EQ(formatted([&] { return fRDAListOfSDTD(dup); }), formatted([&] { return fRDAListOfSDTD(&shared); }));
}

// ---------------------------------------------------------------------------
// Identifiers

TEST_F(SqlBuild, XopenIdentifiersEncodeToTheirArcs) {
  struct Case {
    const ObjIdV* oid;
    Bytes contents;
  };
  const Case cases[] = {
      {rda_xopenAppCtxName, kXopenArcs + hex("02 02 01")},
      {rda_xopenIntegrityYes, kXopenArcs + hex("03 01 01")},
      {rda_xopenIntegrityNo, kXopenArcs + hex("03 01 02")},
      {rda_xopenChar8859_1, kXopenArcs + hex("04 01")},
  };
  for (const Case& c : cases) {
    ObjIdV copy = *c.oid;
    EXPECT_EQ(formatted([&] { return ber_addobjv(&copy); }), c.contents);
  }
}

}  // namespace
