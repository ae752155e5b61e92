// The converters of bound parameters, read back from the request they build:
// the matrix of allowed pairs, one value per converter arriving exactly,
// the length/indicator rules, refused texts and numbers, long data in
// chunks, and both character modes.
#include "src/rdaclient/rdacli_bufcvt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "src/rdaclient/rdacli_execreq.h"
#include "stmt_fixture.h"

namespace {

constexpr int64_t kNoPointer = std::numeric_limits<int64_t>::min();

template <class T>
std::vector<uint8_t> raw(T v) {
  std::vector<uint8_t> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}
std::vector<uint8_t> str(const std::string& s) {
  std::vector<uint8_t> b(s.begin(), s.end());
  b.push_back(0);
  return b;
}
std::vector<uint8_t> wstr(const std::wstring& s) {
  std::vector<uint8_t> b((s.size() + 1) * sizeof(wchar_t));
  std::memcpy(b.data(), s.c_str(), b.size());
  return b;
}

std::string num(double d) {
  char b[64];
  std::snprintf(b, sizeof b, "%.17g", d);
  return b;
}

// "[tag] fields", " not-null" when the nullable field says so, " attr=N".
std::string specText(const RDAXOPENSQLDataDescr* d) {
  const RDASQLType& t = d->type;
  const uint32_t n = t.code - 0x4000;
  std::string s = "[" + std::to_string(n) + "] ";
  switch (n) {
    case 5:
    case 19:
      s += std::to_string(t.character.length);
      break;
    case 13:
      s += std::to_string(t.dateTime.kind);
      if ((t.dateTime.mask & 2u) != 0) s += "," + std::to_string(t.dateTime.precision);
      break;
    case 15:
    case 20:
      s += std::to_string(t.varChar.maxLength);
      break;
    case 16:
    case 17:
    case 18:
      s += std::to_string(t.length);
      break;
    default:
      s += std::to_string(t.number.first) + "," + std::to_string(t.number.second);
  }
  if ((d->mask & 1u) != 0 && d->nullable == 0) s += " not-null";
  if (d->number != 0) s += " attr=" + std::to_string(d->number);
  return s;
}

std::string hexOf(const uint8_t* p, uint32_t n) {
  std::string out;
  char b[4];
  for (uint32_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", p[i]);
    out += b;
  }
  return out;
}

// "[tag] value", or "NULL indicator"; more than 64 octets as their count.
std::string valueText(const RDAXOPENSQLVal* v) {
  if ((v->mask & 1u) == 0) return "NULL " + std::to_string(v->indicator);
  const RDAXOPENSQLValue& x = v->value;
  const uint32_t n = x.code - 0x4000;
  std::string s = "[" + std::to_string(n) + "] ";
  auto text = [&](const uint8_t* p, uint32_t len) {
    return len > 64 ? std::to_string(len) + " octets" : std::string(reinterpret_cast<const char*>(p), len);
  };
  switch (n) {
    case 0:
    case 10:
    case 13:
    case 14:
      return s + text(x.octets.octets, x.octets.length);
    case 1:
    case 2:
      return s + text(x.numeric.octets, x.numeric.length);
    case 3:
    case 4:
      return s + std::to_string(x.integer);
    case 5:
    case 6:
    case 7:
      return s + num(x.real);
    case 8:
      return s + x.dateTime;
    case 12:
      return s + (x.bitString.count > 64 ? std::to_string(x.bitString.count) + " octets"
                                         : hexOf(x.bitString.octets, x.bitString.count));
    default:
      return s + "?";
  }
}

// What one parameter becomes: the descriptor, the values joined by "|",
// or the diagnostics of a refusal joined by "; ".
struct Outcome {
  std::string spec;
  std::string values;
  std::string diags;
};
std::ostream& operator<<(std::ostream& o, const Outcome& x) {
  return o << "{" << x.spec << " / " << x.values << " / " << x.diags << "}";
}

class Converters : public ClientStmtTest {
 protected:
  Outcome run(int16_t cType, int16_t sqlType, const std::vector<uint8_t>& value, int64_t ind, uint64_t size = 10,
              int16_t scale = 0, RdaCliLink* chunks = nullptr) {
    RDA_cliFreeRecords(&stmt.params);
    RDA_cliClearErrorList(&stmt.errors);
    value_ = value;
    ind_ = ind;
    void* v = value_.empty() ? nullptr : value_.data();
    Outcome out;
    if (bind(cType, sqlType, v, ind == kNoPointer ? nullptr : &ind_, size, scale, 1, chunks) != 0) {
      out.diags = "bind: " + lastDiag(stmt.errors).message;
      return out;
    }
    GIDU* g = RDA_cliCreateExecSQL(&stmt, "X ?", &stmt.params);
    if (g == nullptr) {
      for (const CliDiag& d : cliDiags(stmt.errors)) out.diags += (out.diags.empty() ? "" : "; ") + d.state;
      return out;
    }
    const RDAExecDBL_Req* r = request(g);
    if (r == nullptr) return out;
    const auto specs = specsOf(*r);
    EXPECT_EQ(specs.size(), 1u);
    if (!specs.empty()) out.spec = specText(specs[0]);
    for (const RDAXOPENSQLVal* val : valuesOf(*r)) out.values += (out.values.empty() ? "" : "|") + valueText(val);
    return out;
  }

  std::vector<uint8_t> value_;
  int64_t ind_ = 0;
};

// Columns of the matrix, in order.
constexpr int16_t kColumnTypes[16] = {-18, -17, -16, -15, -8, -7, -6, -2, 1, 4, 5, 7, 8, 9, 10, 11};

TEST_F(Converters, TheMatrixAllowsExactlyItsPairs) {
  // Rows: SQL types -10 .. 12; 'x' a converter.
  const char* grid[23] = {
      "....x...x.......",  // -10 WLONGVARCHAR
      "xxxxx...xxxxxxxx",  // -9 WVARCHAR
      "xxxxx...xxxxx...",  // -8 WCHAR
      ".xxx.xx.x.......",  // -7 BIT
      ".xxx.xx.x.......",  // -6 TINYINT
      "................",  // -5 BIGINT
      ".......x........",  // -4 LONGVARBINARY
      ".......x........",  // -3 VARBINARY
      ".......x........",  // -2 BINARY
      "xxxxx...xxxxxxxx",  // -1 LONGVARCHAR
      "................",  // 0
      "....x...x.......",  // 1 CHAR
      "xxxxx...xxxxx...",  // 2 NUMERIC
      "....x...xxx.....",  // 3 DECIMAL
      "x.x.x...xx.xx...",  // 4 INTEGER
      ".xxxx...x.xxx...",  // 5 SMALLINT
      "....x...x..xx...",  // 6 FLOAT
      "....x...x..xx...",  // 7 REAL
      "....x...x..xx...",  // 8 DOUBLE
      "....x...x....x.x",  // 9 DATE
      "....x...x.....xx",  // 10 TIME
      "....x...x....xxx",  // 11 TIMESTAMP
      "xxxxx...xxxxxxxx",  // 12 VARCHAR
  };
  for (int row = 0; row < 23; ++row) {
    const auto sqlType = static_cast<int16_t>(row - 10);
    for (int col = 0; col < 16; ++col) {
      EXPECT_EQ(rda_cliBindConvCheck(kColumnTypes[col], sqlType), grid[row][col] == 'x' ? 1 : 0)
          << "SQL type " << sqlType << ", C type " << kColumnTypes[col];
    }
  }
  // Columns of every C type; the ones without answer 0 for every SQL type.
  for (int16_t c = -25; c <= 14; ++c) {
    int expected = -1;
    for (int col = 0; col < 16; ++col)
      if (kColumnTypes[col] == c) expected = col;
    EXPECT_EQ(getCParamIndex(c) < 0 ? -1 : getCParamIndex(c), expected) << "C type " << c;
    if (expected < 0) {
      for (int16_t s = -12; s <= 14; ++s) EXPECT_EQ(rda_cliBindConvCheck(c, s), 0) << c << ", " << s;
    }
  }
  EXPECT_LT(getCParamIndex(RDA_CLI_C_DEFAULT), 0) << "SQL_C_DEFAULT is C type 0";
  EXPECT_EQ(rda_cliBindConvCheck(RDA_CLI_C_DEFAULT, RDA_CLI_SQL_CHAR), 0);
  for (int16_t s : {-12, -11, 13, 93})
    for (int16_t c : kColumnTypes) EXPECT_EQ(rda_cliBindConvCheck(c, s), 0) << c << ", " << s;
  // Date and time C types answer the check but are never bound.
  int32_t v = 0;
  for (int16_t c : {RDA_CLI_C_DATE, RDA_CLI_C_TIME, RDA_CLI_C_TIMESTAMP}) {
    EXPECT_EQ(rda_cliBindConvCheck(c, RDA_CLI_SQL_TIMESTAMP), 1);
    EXPECT_EQ(bind(c, RDA_CLI_SQL_TIMESTAMP, &v, nullptr), -1);
    EXPECT_EQ(lastDiag(stmt.errors).state, "S1003");
  }
}

TEST_F(Converters, EachConverterSendsItsValueExactly) {
  gCharacterMode = 0;
  constexpr int64_t NTS = RDA_CLI_LEN_NTS;
  struct Case {
    const char* converter;
    int16_t cType;
    int16_t sqlType;
    std::vector<uint8_t> value;
    int64_t ind;
    uint64_t size;
    int16_t scale;
    const char* spec;
    std::string values;
  };
  const std::string bigDouble = "1" + std::string(308, '0');
  const Case cases[] = {
      {"cToC", 1, 1, str("abc"), NTS, 10, 0, "[5] 10 not-null", "[0] abc"},
      {"cToV", 1, 12, str("hello"), 5, 20, 0, "[15] 20 not-null", "[10] hello"},
      {"cToV", 1, -1, str("long"), kNoPointer, 100, 0, "[15] 100 not-null attr=8", "[10] long"},
      {"cToN", 1, 2, str("12.50"), NTS, 10, 2, "[6] 0,2 not-null", "[1] 12.50"},
      {"cToN", 1, 3, str("-3"), 2, 5, 0, "[6] 0,0 not-null", "[1] -3"},
      {"cToX", 1, 4, str(" 42 "), NTS, 10, 0, "[8] 10,1 not-null", "[3] 42"},
      {"cToX", 1, 5, str("-7"), NTS, 5, 0, "[9] 5,1 not-null", "[4] -7"},
      {"cToX", 1, -7, str("1"), NTS, 1, 0, "[9] 1,1 not-null attr=32", "[4] 1"},
      {"cToX", 1, -6, str("200"), NTS, 3, 0, "[9] 3,1 not-null attr=16", "[4] 200"},
      {"cToX", 1, 6, str("2.5"), NTS, 15, 0, "[10] 15,38 not-null", "[5] 2.5"},
      {"cToX", 1, 7, str("-0.25"), NTS, 7, 0, "[11] 7,38 not-null", "[6] -0.25"},
      {"cToX", 1, 8, str("1e10"), NTS, 15, 0, "[12] 15,38 not-null", "[7] 10000000000"},
      {"cToT", 1, 9, str("2001-02-03"), NTS, 10, 0, "[13] 1 not-null", "[8] 2001-02-03"},
      {"cToT", 1, 10, str("10:11:12"), 8, 8, 0, "[13] 2 not-null", "[8] 10:11:12"},
      {"cToT", 1, 11, str("2001-02-03 04:05:06.123456789"), NTS, 29, 0, "[13] 3 not-null",
       "[8] 2001-02-03 04:05:06.123456789"},
      {"cToWC", 1, -8, str("abc"), NTS, 10, 0, "[19] 10 not-null", "[13] abc"},
      {"cToWV", 1, -9, str("abc"), 3, 30, 0, "[20] 30 not-null", "[14] abc"},
      {"cToWV", 1, -10, str("abc"), NTS, 30, 0, "[20] 30 not-null attr=8", "[14] abc"},
      {"wcToC", -8, 1, wstr(L"abc"), NTS, 10, 0, "[5] 10 not-null", "[0] abc"},
      {"wcToV", -8, 12, wstr(L"xyz"), 12, 10, 0, "[15] 10 not-null", "[10] xyz"},
      {"wcToV", -8, -1, wstr(L"xyz"), NTS, 10, 0, "[15] 10 not-null attr=8", "[10] xyz"},
      {"wcToN", -8, 2, wstr(L"-12.5"), NTS, 10, 2, "[6] 10,2 not-null", "[1] -12.50"},
      {"wcToN", -8, 3, wstr(L"7"), 4, 5, 1, "[6] 5,1 not-null", "[1] 7.0"},
      {"wcToX", -8, 4, wstr(L"123"), NTS, 10, 0, "[8] 10,1 not-null", "[3] 123"},
      {"wcToX", -8, 5, wstr(L"-12"), NTS, 5, 0, "[9] 5,1 not-null", "[4] -12"},
      {"wcToX", -8, 8, wstr(L"0.5"), NTS, 15, 0, "[12] 15,38 not-null", "[7] 0.5"},
      {"wcToT", -8, 10, wstr(L"10:11:12"), NTS, 8, 0, "[13] 2 not-null", "[8] 10:11:12"},
      {"wcToWC", -8, -8, wstr(L"\u00e9\U0001F600"), NTS, 10, 0, "[19] 10 not-null", "[13] \xC3\xA9\xF0\x9F\x98\x80"},
      {"wcToWV", -8, -9, wstr(L"\U0001F600x"), 8, 10, 0, "[20] 10 not-null", "[14] \xF0\x9F\x98\x80x"},
      {"wcToWV", -8, -10, wstr(L"w"), NTS, 10, 0, "[20] 10 not-null attr=8", "[14] w"},
      {"xToV", -18, 12, raw<uint32_t>(4000000000u), 4, 10, 0, "[15] 10 not-null", "[10] 4000000000"},
      {"xToV", -17, 12, raw<uint16_t>(65535), 2, 10, 0, "[15] 10 not-null", "[10] 65535"},
      {"xToV", -16, 12, raw<int32_t>(-5), 4, 10, 0, "[15] 10 not-null", "[10] -5"},
      {"xToV", -15, 12, raw<int16_t>(-32768), 2, 10, 0, "[15] 10 not-null", "[10] -32768"},
      {"xToV", 4, -1, raw<int32_t>(7), 4, 10, 0, "[15] 10 not-null attr=8", "[10] 7"},
      {"xToV", 5, 12, raw<int16_t>(8), kNoPointer, 10, 0, "[15] 10 not-null", "[10] 8"},
      {"xToV", 7, 12, raw<float>(1.5f), 4, 10, 0, "[15] 10 not-null", "[10] 1.500000"},
      {"xToV", 8, 12, raw<double>(0.125), 8, 10, 0, "[15] 10 not-null", "[10] 0.125000"},
      {"xToV", 8, 12, raw<double>(1e308), 8, 400, 0, "[15] 400 not-null", "[10] 316 octets"},
      {"xToWV", 4, -9, raw<int32_t>(-42), 4, 10, 0, "[20] 10 not-null", "[14] -42"},
      {"xToWV", 8, -8, raw<double>(2.5), 8, 10, 0, "[20] 10 not-null", "[14] 2.500000"},
      {"lToN", -16, 2, raw<int32_t>(-123), 4, 10, 0, "[6] 4,0 not-null", "[1] -123"},
      {"lToN", -18, 2, raw<uint32_t>(4000000000u), 4, 10, 0, "[6] 10,0 not-null", "[1] 4000000000"},
      {"lToN", 4, 3, raw<int32_t>(5), 4, 10, 2, "[6] 1,2 not-null", "[1] 5"},
      {"sToN", -15, 2, raw<int16_t>(-32768), 2, 10, 0, "[6] 6,0 not-null", "[1] -32768"},
      {"sToN", -17, 2, raw<uint16_t>(65535), 2, 10, 0, "[6] 5,0 not-null", "[1] 65535"},
      {"sToN", 5, 3, raw<int16_t>(77), 2, 10, 0, "[6] 2,0 not-null", "[1] 77"},
      {"lToI", -16, 4, raw<int32_t>(INT32_MIN), 4, 10, 0, "[8] 10,1 not-null", "[3] -2147483648"},
      {"lToI", 4, 4, raw<int32_t>(INT32_MAX), 4, 10, 0, "[8] 10,1 not-null", "[3] 2147483647"},
      {"ulToI", -18, 4, raw<uint32_t>(7), 4, 10, 0, "[8] 10,1 not-null", "[3] 7"},
      {"lToS", -16, 5, raw<int32_t>(70000), 4, 5, 0, "[9] 5,1 not-null", "[4] 70000"},
      {"lToS", -16, -7, raw<int32_t>(1), 4, 1, 0, "[9] 1,1 not-null attr=32", "[4] 1"},
      {"sToS", 5, 5, raw<int16_t>(-32768), 2, 5, 0, "[9] 5,1 not-null", "[4] -32768"},
      {"sToS", -15, -6, raw<int16_t>(-3), 2, 3, 0, "[9] 3,1 not-null attr=16", "[4] -3"},
      {"usToS", -17, 5, raw<uint16_t>(65535), 2, 5, 0, "[9] 5,1 not-null", "[4] 65535"},
      {"bitToBit", -7, -7, raw<uint8_t>(1), 1, 1, 0, "[9] 1,1 not-null attr=32", "[4] 1"},
      {"bitToBit", -7, -6, raw<uint8_t>(0), 1, 3, 0, "[9] 3,1 not-null attr=16", "[4] 0"},
      {"tiToTi", -6, -6, raw<uint8_t>(200), 1, 3, 0, "[9] 3,1 not-null attr=16", "[4] 200"},
      {"dbOrFToX", 8, 2, raw<double>(2.25), 8, 15, 0, "[12] 15,38 not-null", "[7] 2.25"},
      {"dbOrFToX", 8, 4, raw<double>(-3.9), 8, 10, 0, "[8] 10,1 not-null", "[3] -3"},
      {"dbOrFToX", 7, 5, raw<float>(7.9f), 4, 5, 0, "[9] 5,1 not-null", "[4] 7"},
      {"dbOrFToX", 8, 5, raw<double>(-2147483648.9), 8, 5, 0, "[9] 5,1 not-null", "[4] -2147483648"},
      {"dbOrFToX", 8, 6, raw<double>(0.5), 8, 15, 0, "[10] 15,38 not-null", "[5] 0.5"},
      {"dbOrFToX", 7, 7, raw<float>(0.5f), 4, 7, 0, "[11] 7,38 not-null", "[6] 0.5"},
      {"dbOrFToX", 8, 8, raw<double>(1e308), 8, 15, 0, "[12] 15,38 not-null", "[7] 1e+308"},
      {"lbToB", -2, -2, {0x00, 0x01, 0x02, 0xFF}, 4, 4, 0, "[17] 4 not-null attr=16", "[12] 00 01 02 FF"},
      {"lbToB", -2, -3, {0xAB, 0xCD}, 1, 10, 0, "[17] 1 not-null", "[12] AB"},
      {"lbToB", -2, -4, {0xAB}, 1, 10, 0, "[17] 1 not-null attr=8", "[12] AB"},
      {"lbToB", -2, -3, {0xAB}, RDA_CLI_EMPTY_TEXT, 10, 0, "[17] 0 not-null", "[12] "},
  };
  for (const Case& c : cases) {
    const Outcome o = run(c.cType, c.sqlType, c.value, c.ind, c.size, c.scale);
    const std::string what = std::string(c.converter) + " C " + std::to_string(c.cType) + " SQL " +
                             std::to_string(c.sqlType);
    EXPECT_EQ(o.diags, "") << what;
    EXPECT_EQ(o.spec, c.spec) << what;
    EXPECT_EQ(o.values, c.values) << what;
  }
  // The widest printed double arrives whole.
  const Outcome wide = run(8, 12, raw<double>(1e308), 8, 400);
  ASSERT_NE(wide.values.find("316 octets"), std::string::npos);
}

TEST_F(Converters, NullAndEmptyTextFollowTheLengthRules) {
  gCharacterMode = 0;
  // NULL through every pair that can be bound: the descriptor without the
  // nullable field, the value a NULL carrying -1.
  int pairs = 0;
  for (int16_t s = -10; s <= 12; ++s) {
    for (int16_t c : kColumnTypes) {
      if (rda_cliBindConvCheck(c, s) == 0 || c == RDA_CLI_C_DATE || c == RDA_CLI_C_TIME || c == RDA_CLI_C_TIMESTAMP)
        continue;
      ++pairs;
      const Outcome o = run(c, s, raw<int64_t>(0), RDA_CLI_NULL_DATA);
      EXPECT_EQ(o.diags, "") << c << ", " << s;
      EXPECT_EQ(o.spec.find("not-null"), std::string::npos) << c << ", " << s << ": " << o.spec;
      EXPECT_EQ(o.values, "NULL -1") << c << ", " << s;
    }
  }
  EXPECT_EQ(pairs, 106);

  // An empty text (-4), and lengths given or measured.
  constexpr int64_t EMPTY = RDA_CLI_EMPTY_TEXT;
  struct Case {
    int16_t cType;
    int16_t sqlType;
    std::vector<uint8_t> value;
    int64_t ind;
    Outcome want;
  };
  const std::string date33 = "2001-02-03 04:05:06.1234567890123";
  const std::string numeric42 = "-" + std::string(39, '1') + ".5";
  const Case cases[] = {
      {1, 12, str("x"), EMPTY, {"[15] 10", "NULL -2", ""}},
      {1, 1, str("x"), EMPTY, {"[5] 10", "NULL -2", ""}},
      {-8, -9, wstr(L"x"), EMPTY, {"[20] 10", "NULL -2", ""}},
      {-8, 1, wstr(L"x"), EMPTY, {"[5] 10", "NULL -2", ""}},
      {1, 2, str("x"), EMPTY, {"[6] 0,0 not-null", "[1] ", ""}},
      // An empty text comes without a buffer.
      {1, 2, {}, EMPTY, {"[6] 0,0 not-null", "[1] ", ""}},
      {1, 12, {}, EMPTY, {"[15] 10", "NULL -2", ""}},
      {1, 4, {}, EMPTY, {"", "", "22005; 40001"}},
      {-8, 2, {}, EMPTY, {"", "", "40001"}},
      {1, 9, str("x"), EMPTY, {"", "", "40001; 40001"}},
      {-8, 11, wstr(L"x"), EMPTY, {"", "", "40001; 40001"}},
      {1, 4, str("x"), EMPTY, {"", "", "22005; 40001"}},
      {-8, 2, wstr(L"x"), EMPTY, {"", "", "40001"}},
      {1, 12, str("hello"), 3, {"[15] 10 not-null", "[10] hel", ""}},
      {-8, -9, wstr(L"hello"), 8, {"[20] 10 not-null", "[14] he", ""}},
      {-8, -9, wstr(L"hello"), 9, {"[20] 10 not-null", "[14] he", ""}},
      {1, 9, str("2001-02-03xyz"), 13, {"[13] 1 not-null", "[8] 2001-02-03", ""}},
      {1, 10, str("10:11:12.5"), 10, {"[13] 2 not-null", "[8] 10:11:12", ""}},
      {1, 11, str(date33 + "99"), 35, {"[13] 3 not-null", "[8] " + date33.substr(0, 32), ""}},
      {1, 11, str(date33), RDA_CLI_LEN_NTS, {"", "", "40001"}},
      {1, 2, str(numeric42), RDA_CLI_LEN_NTS, {"[6] 0,0 not-null", "[1] " + numeric42, ""}},
      {1, 2, str(numeric42 + "0"), RDA_CLI_LEN_NTS, {"", "", "40001"}},
      {1, 2, str(numeric42 + "0"), 42, {"[6] 0,0 not-null", "[1] " + numeric42, ""}},
      {-8, 2, wstr(L"1234567890123456789012345678901234567890123"), RDA_CLI_LEN_NTS, {"", "", "40001"}},
      {1, 12, str("x"), -2, {"", "", "40001"}},
      {1, 12, str("x"), -100, {"", "", "40001"}},
      {1, 12, str("x"), int64_t{1} << 32, {"", "", "40001"}},
      {-2, -2, {1, 2}, kNoPointer, {"[17] 0 attr=16", "NULL -1", ""}},
      {-2, -2, {1, 2}, RDA_CLI_LEN_NTS, {"", "", "40001"}},
      {4, 12, raw<int32_t>(9), RDA_CLI_LEN_NTS, {"[15] 10 not-null", "[10] 9", ""}},
      {4, 12, raw<int32_t>(9), EMPTY, {"[15] 10 not-null", "[10] 9", ""}},
      {1, 12, {}, 3, {"[15] 10", "NULL -1", ""}},
  };
  for (const Case& c : cases) {
    const Outcome o = run(c.cType, c.sqlType, c.value, c.ind);
    EXPECT_EQ(o.spec, c.want.spec) << c.cType << ", " << c.sqlType << ", " << c.ind << " " << o;
    EXPECT_EQ(o.values, c.want.values) << c.cType << ", " << c.sqlType << ", " << c.ind << " " << o;
    EXPECT_EQ(o.diags, c.want.diags) << c.cType << ", " << c.sqlType << ", " << c.ind << " " << o;
  }
  // The date refusal says why.
  run(1, 9, str("x"), EMPTY);
  ASSERT_EQ(stmt.errors.count, 2u);
  EXPECT_EQ(cliDiags(stmt.errors)[0].message,
            "Transaction rollback - Statement completion unknown - Data value is not a valid ODBC-date-literal or "
            "ODBC-timestamp-literal");
  EXPECT_EQ(cliDiags(stmt.errors)[1].message,
            "Transaction rollback - Statement completion unknown - Cannot build argument");
}

TEST_F(Converters, TextsAndNumbersTheTypeCannotTakeAreRefused) {
  struct Case {
    int16_t cType;
    int16_t sqlType;
    std::vector<uint8_t> value;
    std::string result;  // the value sent, or the SQLSTATEs of the refusal
  };
  const Case cases[] = {
      {1, 4, str("abc"), "22005; 40001"},
      {1, 4, str("12abc"), "22005; 40001"},
      {1, 4, str("12.5"), "22005; 40001"},
      {1, 4, str(" 12 "), "[3] 12"},
      {1, 4, str("99999999999"), "22003; 40001"},
      {1, 4, str("-2147483649"), "22003; 40001"},
      {1, 4, str("-2147483648"), "[3] -2147483648"},
      {1, 5, str("2147483647"), "[4] 2147483647"},
      {1, -7, str("4294967296"), "22003; 40001"},
      {1, -6, str("1x"), "22005; 40001"},
      {1, 8, str("1e999"), "22003; 40001"},
      {1, 8, str("inf"), "22003; 40001"},
      {1, 8, str("nan"), "22005; 40001"},
      {1, 6, str("1.5 "), "[5] 1.5"},
      {1, 7, str("1,5"), "22005; 40001"},
      {-8, 4, wstr(L"x1"), "22005; 40001"},
      {-8, 4, wstr(L"99999999999"), "22003; 40001"},
      {8, 4, raw<double>(3e9), "22003; 40001"},
      {8, 4, raw<double>(NAN), "22003; 40001"},
      {8, 5, raw<double>(-2147483649.0), "22003; 40001"},
      {7, 4, raw<float>(INFINITY), "22003; 40001"},
      {-18, 4, raw<uint32_t>(4000000000u), "22003; 40001"},
      {-18, 4, raw<uint32_t>(2147483647u), "[3] 2147483647"},
  };
  for (const Case& c : cases) {
    const Outcome o = run(c.cType, c.sqlType, c.value, c.cType == 1 || c.cType == -8 ? RDA_CLI_LEN_NTS : 8);
    EXPECT_EQ(o.diags.empty() ? o.values : o.diags, c.result) << c.cType << ", " << c.sqlType;
  }
}

// A chunk list as the ODBC layer collects it from SQLPutData.
class ChunkList {
 public:
  explicit ChunkList(const std::vector<std::string>& parts) {
    head_.next = head_.prev = &head_;
    data_.reserve(parts.size());
    chunks_.resize(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
      data_.push_back(parts[i]);
      RDA_CliChunk& c = chunks_[i];
      c.data = reinterpret_cast<uint8_t*>(data_.back().data());
      c.used = static_cast<uint32_t>(parts[i].size());
      c.links.prev = head_.prev;
      c.links.next = &head_;
      head_.prev->next = &c.links;
      head_.prev = &c.links;
    }
  }
  RdaCliLink* head() { return &head_; }
  int64_t total() const {
    int64_t n = 0;
    for (const std::string& d : data_) n += static_cast<int64_t>(d.size());
    return n;
  }

 private:
  RdaCliLink head_{};
  std::vector<std::string> data_;
  std::vector<RDA_CliChunk> chunks_;
};

std::string wideOctets(const std::wstring& w) {
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(wchar_t));
}

TEST_F(Converters, LongDataInChunksGoesAsPartsOrJoined) {
  gCharacterMode = 0;
  const std::string full(kRdaCliChunkSize, 'a');
  const std::string wideFull = wideOctets(std::wstring(kRdaCliChunkSize / sizeof(wchar_t), L'w'));
  struct Case {
    int16_t cType;
    int16_t sqlType;
    std::vector<std::string> chunks;
    Outcome want;
  };
  const Case cases[] = {
      {1, -1, {full, full}, {"[15] 10 not-null attr=8", "[10] 32000 octets|[10] 32000 octets|NULL -1", ""}},
      {1, 12, {full, "tail"}, {"[15] 10 not-null", "[10] 32000 octets|[10] tail", ""}},
      {1, 12, {"only"}, {"[15] 10 not-null", "[10] only", ""}},
      {1, 12, {}, {"[15] 10 not-null", "[10] ", ""}},
      {-2, -4, {full}, {"[17] 32000 not-null attr=8", "[12] 32000 octets|NULL -1", ""}},
      {-2, -4, {full, "\x01\x02"}, {"[17] 32002 not-null attr=8", "[12] 32000 octets|[12] 01 02", ""}},
      {-8, -10, {wideFull, wideFull}, {"[20] 10 not-null attr=8", "[14] 16000 octets", ""}},
      {-8, -9, {wideOctets(L"ab"), wideOctets(L"\u00e9")}, {"[20] 10 not-null", "[14] ab\xC3\xA9", ""}},
      {1, -10, {"ab", "cd"}, {"[20] 10 not-null attr=8", "[14] abcd", ""}},
      {-8, -1, {wideOctets(L"ab"), wideOctets(L"cd")}, {"[15] 10 not-null attr=8", "[10] abcd", ""}},
      {1, 1, {"ab"}, {"[5] 10", "NULL -1", ""}},  // CHARACTER takes no chunks
  };
  for (const Case& c : cases) {
    ChunkList chunks(c.chunks);
    const Outcome o = run(c.cType, c.sqlType, {}, chunks.total(), 10, 0, chunks.head());
    EXPECT_EQ(o.spec, c.want.spec) << c.cType << ", " << c.sqlType << " " << o;
    EXPECT_EQ(o.values, c.want.values) << c.cType << ", " << c.sqlType << " " << o;
    EXPECT_EQ(o.diags, c.want.diags) << c.cType << ", " << c.sqlType << " " << o;
  }
  // A NULL indicator wins over the chunks.
  ChunkList some({"x"});
  EXPECT_EQ(run(1, 12, {}, RDA_CLI_NULL_DATA, 10, 0, some.head()).values, "NULL -1");
}

TEST_F(Converters, InCharacterModeWideTypesGoAsCharacterTypes) {
  gCharacterMode = 1;
  struct Case {
    int16_t cType;
    int16_t sqlType;
    std::vector<uint8_t> value;
    Outcome want;
  };
  const Case cases[] = {
      {-8, -8, wstr(L"\u00e9\U0001F600"), {"[5] 10 not-null", "[0] \xC3\xA9\xF0\x9F\x98\x80", ""}},
      {-8, -9, wstr(L"\u00e9"), {"[15] 10 not-null", "[10] \xC3\xA9", ""}},
      {1, -8, str("ab"), {"[5] 10 not-null", "[0] ab", ""}},
      {1, -10, str("ab"), {"[15] 10 not-null attr=8", "[10] ab", ""}},
      {4, -9, raw<int32_t>(-42), {"[15] 10 not-null", "[10] -42", ""}},
  };
  for (const Case& c : cases) {
    const Outcome o = run(c.cType, c.sqlType, c.value, c.cType == 4 ? 4 : RDA_CLI_LEN_NTS);
    EXPECT_EQ(o.spec, c.want.spec) << c.cType << ", " << c.sqlType << " " << o;
    EXPECT_EQ(o.values, c.want.values) << c.cType << ", " << c.sqlType << " " << o;
  }
}

}  // namespace
