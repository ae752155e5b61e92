// Conversion of received values to the C types of application buffers:
// the matrix, the number, date and time converters, and what they refuse.
// The values are made in memory, as a column's current value.
#include "src/rdaclient/rdacli_cvrt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_conf.h"
#include "support/cli_blocks.h"
#include "support/c_values.h"
#include "support/cli_diag.h"
#include "support/locale.h"
#include "support/trace_capture.h"

namespace {

constexpr int64_t kUntouched = 12345;
constexpr unsigned char kGuard = 0xAB;
constexpr size_t kBufSize = 64;

RDA_CliValueData I(int32_t v) {
  RDA_CliValueData d{};
  d.integer = v;
  return d;
}
RDA_CliValueData D(double v) {
  RDA_CliValueData d{};
  d.real = v;
  return d;
}
// Counted bytes: text, digit strings and the 8-byte numeric form.
RDA_CliValueData B(const char* bytes, size_t n) {
  RDA_CliValueData d{};
  d.text = RDA_CliText{static_cast<uint32_t>(n), reinterpret_cast<uint8_t*>(const_cast<char*>(bytes))};
  return d;
}
RDA_CliValueData T(const char* text) { return B(text, std::strlen(text)); }
RDA_CliValueData DT(const char* text) {
  RDA_CliValueData d{};
  std::snprintf(d.dateTime, sizeof d.dateTime, "%s", text);
  return d;
}

// Size of what a fixed-size C type writes.
size_t sizeOfC(int16_t c) {
  switch (c) {
    case RDA_CLI_C_ULONG: case RDA_CLI_C_SLONG: case RDA_CLI_C_LONG: case RDA_CLI_C_FLOAT: return 4;
    case RDA_CLI_C_USHORT: case RDA_CLI_C_SSHORT: case RDA_CLI_C_SHORT: return 2;
    case RDA_CLI_C_BIT: case RDA_CLI_C_TINYINT: case RDA_CLI_C_BINARY: return 1;
    case RDA_CLI_C_DOUBLE: return 8;
    case RDA_CLI_C_DATE: case RDA_CLI_C_TIME: return 6;
    case RDA_CLI_C_TIMESTAMP: return 16;
    default: return 0;
  }
}

// One conversion and what it must leave: the buffer shown as `show` (the C
// type itself when 0; NULL: nothing written), the indicator, and the
// newest diagnostic's SQLSTATE and added text ("" none; NULL text: not
// checked).
struct Case {
  int16_t sql;
  RDA_CliValueData v;
  int16_t c;
  int64_t bufLen;
  const char* out;
  int64_t ind;
  const char* state = "";
  const char* text = nullptr;
  int16_t show = 0;
  uint32_t size = 0;
  int16_t scale = 0;
};

class Conversion : public CliBlocksTest {
 protected:
  // Converts `v`, the current value of a column of `sqlType`, into `cType`.
  void convert(int16_t sqlType, const RDA_CliValueData* v, int16_t cType, int64_t bufLen, uint32_t size = 0,
               int16_t scale = 0) {
    convertItem(sqlType, sqlType, v, cType, bufLen, size, scale);
  }
  // The same with a value item of `itemType`.
  void convertItem(int16_t sqlType, int16_t itemType, const RDA_CliValueData* v, int16_t cType, int64_t bufLen,
                   uint32_t size = 0, int16_t scale = 0) {
    RDA_cliClearErrorList(&stmt.errors);
    std::memset(buf, kGuard, sizeof buf);
    ind = kUntouched;
    col.sqlType = sqlType;
    col.curType = itemType;
    col.colSize = size;
    col.scale = scale;
    bind = RDA_CliBind{cType, buf, bufLen, &ind};
    RDA_cliCvrtSQLToCol(&stmt, &bind, &col, v);
  }
  // The buffer read as C type `c`.
  std::string shown(int16_t c) const { return shownAs(c, buf, kBufSize); }
  bool untouchedFrom(size_t at) const {
    for (size_t i = at; i < kBufSize; ++i)
      if (buf[i] != kGuard) return false;
    return true;
  }
  // The text a diagnostic adds to its row's message.
  static std::string textOf(const CliDiag& d) {
    for (const RdaCliStateText& row : RDAC_gSQLStateTable) {
      if (utf8(row.sqlState) != d.state) continue;
      const std::string head = utf8(row.message) + " - ";
      if (d.message.compare(0, head.size(), head) == 0) return d.message.substr(head.size());
    }
    return "";
  }

  // Runs one case and checks what it left.
  void run(const Case& k) {
    convert(k.sql, &k.v, k.c, k.bufLen, k.size, k.scale);
    const std::string what = std::to_string(k.sql) + " -> " + std::to_string(k.c) + " (" +
                             std::to_string(k.bufLen) + "): " + (k.out != nullptr ? k.out : "nothing");
    if (k.out == nullptr) {
      EXPECT_TRUE(untouchedFrom(0)) << what;
    } else {
      const int16_t show = k.show != 0 ? k.show : k.c;
      EXPECT_EQ(shown(show), k.out) << what;
      const size_t written = sizeOfC(show) != 0 ? sizeOfC(show) : static_cast<size_t>(k.bufLen);
      EXPECT_TRUE(untouchedFrom(written)) << what << ": nothing beyond the buffer";
    }
    EXPECT_EQ(ind, k.ind) << what;
    if (*k.state == '\0') {
      EXPECT_EQ(stmt.errors.count, 0u) << what << ": " << lastDiag(stmt.errors).message;
      return;
    }
    ASSERT_EQ(stmt.errors.count, 1u) << what;
    EXPECT_EQ(lastDiag(stmt.errors).state, k.state) << what;
    if (k.text != nullptr) {
      EXPECT_EQ(textOf(lastDiag(stmt.errors)), k.text) << what;
    }
  }

  RDA_CliCol col{};
  RDA_CliBind bind{};
  unsigned char buf[kBufSize];
  int64_t ind = kUntouched;
};

constexpr const char* kIntUInt = "Integer value incompatible with conversion to unsigned integer";
constexpr const char* kIntSmall = "Integer value incompatible with conversion to Small integer";

TEST_F(Conversion, EachSourceTypeIntoItsCTypes) {
  const Case cases[] = {
      // INTEGER
      {RDA_CLI_SQL_INTEGER, I(70000), RDA_CLI_C_ULONG, 4, "70000", 4},
      {RDA_CLI_SQL_INTEGER, I(-1), RDA_CLI_C_ULONG, 4, nullptr, kUntouched, "22003", kIntUInt},
      {RDA_CLI_SQL_INTEGER, I(65535), RDA_CLI_C_USHORT, 2, "65535", 2},
      {RDA_CLI_SQL_INTEGER, I(65536), RDA_CLI_C_USHORT, 2, nullptr, kUntouched, "22003", kIntSmall},
      {RDA_CLI_SQL_INTEGER, I(-70000), RDA_CLI_C_SLONG, 4, "-70000", 4},
      {RDA_CLI_SQL_INTEGER, I(-32768), RDA_CLI_C_SSHORT, 2, "-32768", 2},
      {RDA_CLI_SQL_INTEGER, I(40000), RDA_CLI_C_SHORT, 2, nullptr, kUntouched, "22003", kIntSmall},
      {RDA_CLI_SQL_INTEGER, I(1), RDA_CLI_C_BIT, 1, "1", 1},
      {RDA_CLI_SQL_INTEGER, I(2), RDA_CLI_C_BIT, 1, nullptr, kUntouched, "22003",
       "Integer value incompatible with conversion to SQL_C_BIT"},
      {RDA_CLI_SQL_INTEGER, I(-128), RDA_CLI_C_TINYINT, 1, "128", 1},
      {RDA_CLI_SQL_INTEGER, I(256), RDA_CLI_C_TINYINT, 1, nullptr, kUntouched, "22003",
       "Integer value incompatible with conversion to SQL_C_TINYINT"},
      {RDA_CLI_SQL_INTEGER, I(70000), RDA_CLI_C_DEFAULT, 4, "70000", 4, "", nullptr, RDA_CLI_C_LONG},
      {RDA_CLI_SQL_INTEGER, I(70000), RDA_CLI_C_DEFAULT, 2, "4464", 2, "", nullptr, RDA_CLI_C_SHORT},
      {RDA_CLI_SQL_INTEGER, I(12345), RDA_CLI_C_CHAR, 6, "12345", 5},
      {RDA_CLI_SQL_INTEGER, I(12345), RDA_CLI_C_CHAR, 4, nullptr, kUntouched, "22003", ""},
      {RDA_CLI_SQL_INTEGER, I(12345), RDA_CLI_C_CHAR, 0, nullptr, 5, "01004", ""},
      {RDA_CLI_SQL_INTEGER, I(7), RDA_CLI_C_FLOAT, 4, "7", 4},
      {RDA_CLI_SQL_INTEGER, I(7), RDA_CLI_C_DOUBLE, 8, "7", 8},
      {RDA_CLI_SQL_INTEGER, I(7), RDA_CLI_C_BINARY, 4, nullptr, kUntouched, "S1003", "Cannot convert fSQLType 4 to fBufType -2"},
      // SMALLINT: no negative value as an unsigned one.
      {RDA_CLI_SQL_SMALLINT, I(-1), RDA_CLI_C_ULONG, 4, nullptr, kUntouched, "22003", kIntUInt},
      {RDA_CLI_SQL_SMALLINT, I(-1), RDA_CLI_C_USHORT, 2, nullptr, kUntouched, "22003", kIntSmall},
      {RDA_CLI_SQL_SMALLINT, I(300), RDA_CLI_C_SLONG, 4, "300", 4},
      {RDA_CLI_SQL_SMALLINT, I(-5), RDA_CLI_C_DEFAULT, 2, "-5", 2, "", nullptr, RDA_CLI_C_SHORT},
      {RDA_CLI_SQL_SMALLINT, I(-1), RDA_CLI_C_TINYINT, 1, "255", 1},
      {RDA_CLI_SQL_SMALLINT, I(-2), RDA_CLI_C_CHAR, 3, "-2", 2},
      // DOUBLE, FLOAT, REAL
      {RDA_CLI_SQL_DOUBLE, D(-3.9), RDA_CLI_C_SLONG, 4, "-3", 4},
      {RDA_CLI_SQL_DOUBLE, D(2147483647.9), RDA_CLI_C_LONG, 4, "2147483647", 4},
      {RDA_CLI_SQL_DOUBLE, D(2147483648.0), RDA_CLI_C_LONG, 4, nullptr, kUntouched, "22003",
       "Double value incompatible with conversion to Integer"},
      {RDA_CLI_SQL_DOUBLE, D(NAN), RDA_CLI_C_SLONG, 4, nullptr, kUntouched, "22003",
       "Double value incompatible with conversion to Integer"},
      {RDA_CLI_SQL_DOUBLE, D(4294967295.0), RDA_CLI_C_ULONG, 4, "4294967295", 4},
      {RDA_CLI_SQL_DOUBLE, D(-1.0), RDA_CLI_C_ULONG, 4, nullptr, kUntouched, "22003",
       "Double value incompatible with conversion to unsigned integer"},
      {RDA_CLI_SQL_FLOAT, D(-32768.5), RDA_CLI_C_SSHORT, 2, "-32768", 2},
      {RDA_CLI_SQL_FLOAT, D(32768.0), RDA_CLI_C_SHORT, 2, nullptr, kUntouched, "22003",
       "Double value incompatible with conversion to Small integer"},
      {RDA_CLI_SQL_REAL, D(65536.0), RDA_CLI_C_USHORT, 2, nullptr, kUntouched, "22003",
       "Double value incompatible with conversion to Unsigned Integer"},
      {RDA_CLI_SQL_DOUBLE, D(1e39), RDA_CLI_C_FLOAT, 4, nullptr, kUntouched, "22003",
       "Double value incompatible with conversion to Float"},
      {RDA_CLI_SQL_REAL, D(1e39), RDA_CLI_C_DEFAULT, 4, nullptr, kUntouched, "22003",
       "Double value incompatible with conversion to Float"},
      {RDA_CLI_SQL_REAL, D(1.5), RDA_CLI_C_DEFAULT, 4, "1.5", 4, "", nullptr, RDA_CLI_C_FLOAT},
      {RDA_CLI_SQL_FLOAT, D(1.5), RDA_CLI_C_DEFAULT, 8, "1.5", 8, "", nullptr, RDA_CLI_C_DOUBLE},
      {RDA_CLI_SQL_DOUBLE, D(3.14159), RDA_CLI_C_CHAR, 8, "3.14159", 7},
      {RDA_CLI_SQL_DOUBLE, D(3.14159), RDA_CLI_C_CHAR, 5, "3.14", 7, "01004", ""},
      {RDA_CLI_SQL_DOUBLE, D(3.14159), RDA_CLI_C_CHAR, 3, "3", 7, "01004", ""},
      {RDA_CLI_SQL_DOUBLE, D(12345.5), RDA_CLI_C_CHAR, 4, nullptr, kUntouched, "22003", ""},
      {RDA_CLI_SQL_DOUBLE, D(1e20), RDA_CLI_C_CHAR, 5, nullptr, kUntouched, "22003", ""},
      // NUMERIC and DECIMAL as digit strings
      {RDA_CLI_SQL_NUMERIC, T("123.45"), RDA_CLI_C_CHAR, 10, "123.45", 6},
      {RDA_CLI_SQL_NUMERIC, T("123.45"), RDA_CLI_C_DEFAULT, 10, "123.45", 6, "", nullptr, RDA_CLI_C_CHAR},
      {RDA_CLI_SQL_NUMERIC, T("123.45"), RDA_CLI_C_CHAR, 4, "123", 6, "01004", ""},
      {RDA_CLI_SQL_NUMERIC, T("123.45"), RDA_CLI_C_CHAR, 0, nullptr, 6, "01004", ""},
      {RDA_CLI_SQL_NUMERIC, T("123.45"), RDA_CLI_C_SLONG, 4, "123", 4},
      {RDA_CLI_SQL_NUMERIC, T("-.5"), RDA_CLI_C_SSHORT, 2, "0", 2},
      {RDA_CLI_SQL_NUMERIC, T("123.45"), RDA_CLI_C_DOUBLE, 8, "123.45", 8},
      {RDA_CLI_SQL_NUMERIC, T("123.45"), RDA_CLI_C_FLOAT, 4, "123.45", 4},
      {RDA_CLI_SQL_NUMERIC, T("-70000"), RDA_CLI_C_SSHORT, 2, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to small integer"},
      {RDA_CLI_SQL_NUMERIC, T("-1"), RDA_CLI_C_USHORT, 2, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to Small integer"},
      {RDA_CLI_SQL_NUMERIC, T("4294967296"), RDA_CLI_C_ULONG, 4, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to Unsigned integer"},
      {RDA_CLI_SQL_NUMERIC, T("99999999999999999999"), RDA_CLI_C_LONG, 4, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to Integer"},
      {RDA_CLI_SQL_DECIMAL, T("1.5"), RDA_CLI_C_LONG, 4, nullptr, kUntouched, "S1003", "Cannot convert fSQLType 3 to fBufType 4"},
      {RDA_CLI_SQL_DECIMAL, T("1.5"), RDA_CLI_C_DEFAULT, 8, "1.5", 3, "", nullptr, RDA_CLI_C_CHAR},
      // CHAR and VARCHAR to numbers, dates and times
      {RDA_CLI_SQL_CHAR, T("42"), RDA_CLI_C_LONG, 4, "42", 4},
      {RDA_CLI_SQL_VARCHAR, T("  -7  "), RDA_CLI_C_SHORT, 2, "-7", 2},
      {RDA_CLI_SQL_VARCHAR, T("abc"), RDA_CLI_C_LONG, 4, nullptr, kUntouched, "22005", ""},
      {RDA_CLI_SQL_VARCHAR, T("   "), RDA_CLI_C_DOUBLE, 8, nullptr, kUntouched, "22005", ""},
      {RDA_CLI_SQL_LONGVARCHAR, T("2.5"), RDA_CLI_C_DOUBLE, 8, "2.5", 8},
      {RDA_CLI_SQL_VARCHAR, T("3.5e39"), RDA_CLI_C_FLOAT, 4, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to Float"},
      {RDA_CLI_SQL_CHAR, T("1"), RDA_CLI_C_BIT, 1, "1", 1},
      {RDA_CLI_SQL_CHAR, T("x"), RDA_CLI_C_BIT, 1, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to SQL_C_BIT"},
      {RDA_CLI_SQL_CHAR, T("200"), RDA_CLI_C_TINYINT, 1, "200", 1},
      {RDA_CLI_SQL_CHAR, T("-129"), RDA_CLI_C_TINYINT, 1, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to SQL_C_TINYINT"},
      {RDA_CLI_SQL_VARCHAR, T("2024-02-29"), RDA_CLI_C_DATE, 6, "2024-2-29", 6},
      {RDA_CLI_SQL_VARCHAR, T("12:34:56"), RDA_CLI_C_TIME, 6, "12:34:56", 6},
      {RDA_CLI_SQL_VARCHAR, T("2024-02-29 12:34:56.5"), RDA_CLI_C_TIMESTAMP, 16, "2024-2-29 12:34:56.500000000", 16},
      {RDA_CLI_SQL_VARCHAR, T("someday"), RDA_CLI_C_DATE, 6, nullptr, kUntouched, "22005", ""},
      // DATE, TIME, TIMESTAMP
      {RDA_CLI_SQL_DATE, DT("2024-02-29"), RDA_CLI_C_CHAR, 11, "2024-02-29", 10, "", nullptr, 0, 10},
      {RDA_CLI_SQL_DATE, DT("2024-02-29"), RDA_CLI_C_CHAR, 5, "2024", 4, "01004", "", 0, 10},
      {RDA_CLI_SQL_DATE, DT("2024-02-29"), RDA_CLI_C_DEFAULT, 6, "2024-2-29", 6, "", nullptr, RDA_CLI_C_DATE, 10},
      {RDA_CLI_SQL_DATE, DT("2024-02-29"), RDA_CLI_C_TIMESTAMP, 16, "2024-2-29 0:0:0.0", 16, "", nullptr, 0, 10},
      {RDA_CLI_SQL_DATE, DT("2024-02-29"), RDA_CLI_C_TIME, 6, nullptr, kUntouched, "S1003",
       "Cannot convert fSQLType 9 to fBufType 10", 0, 10},
      {RDA_CLI_SQL_TIME, DT("12:34:56"), RDA_CLI_C_DEFAULT, 6, "12:34:56", 6, "", nullptr, RDA_CLI_C_TIME, 8},
      {RDA_CLI_SQL_TIME, DT("12:34:56"), RDA_CLI_C_TIMESTAMP, 16, "1970-1-1 12:34:56.0", 16, "", nullptr, 0, 8},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123456789"), RDA_CLI_C_CHAR, 64, "2024-02-29 12:34:56.123", 23, "",
       nullptr, 0, 23},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123"), RDA_CLI_C_CHAR, 64, "2024-02-29 12:34:56.123", 23, "", nullptr,
       0, 23},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123456789"), RDA_CLI_C_CHAR, 64, "2024-02-29 12:34:56", 19, "",
       nullptr, 0, 19},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123"), RDA_CLI_C_CHAR, 11, "2024-02-29", 10, "01004", "", 0, 23},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123"), RDA_CLI_C_DEFAULT, 16, "2024-2-29 12:34:56.123000000", 16, "",
       nullptr, RDA_CLI_C_TIMESTAMP, 23},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123456789"), RDA_CLI_C_TIMESTAMP, 16, "2024-2-29 12:34:56.123456789",
       16, "", nullptr, 0, 29},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123"), RDA_CLI_C_TIMESTAMP, 16, "2024-2-29 12:34:56.0", 16, "",
       nullptr, 0, 19},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123"), RDA_CLI_C_DATE, 6, "2024-2-29", 6, "", nullptr, 0, 23},
      {RDA_CLI_SQL_TIMESTAMP, DT("2024-02-29 12:34:56.123"), RDA_CLI_C_TIME, 6, "12:34:56", 6, "", nullptr, 0, 23},
      // BIT and TINYINT: the low byte
      {RDA_CLI_SQL_BIT, I(1), RDA_CLI_C_CHAR, 2, "1", 1},
      {RDA_CLI_SQL_BIT, I(1), RDA_CLI_C_CHAR, 1, nullptr, kUntouched, "01004", ""},
      {RDA_CLI_SQL_BIT, I(1), RDA_CLI_C_LONG, 4, "1", 4},
      {RDA_CLI_SQL_BIT, I(1), RDA_CLI_C_BINARY, 1, "1", 1},
      {RDA_CLI_SQL_BIT, I(1), RDA_CLI_C_BINARY, 0, nullptr, kUntouched, "01004", ""},
      {RDA_CLI_SQL_BIT, I(1), RDA_CLI_C_DEFAULT, 1, "1", 1, "", nullptr, RDA_CLI_C_BIT},
      {RDA_CLI_SQL_TINYINT, I(200), RDA_CLI_C_CHAR, 4, "200", 3},
      {RDA_CLI_SQL_TINYINT, I(200), RDA_CLI_C_SSHORT, 2, "200", 2},
      {RDA_CLI_SQL_TINYINT, I(200), RDA_CLI_C_DOUBLE, 8, "200", 8},
  };
  for (const Case& k : cases) run(k);
}

TEST_F(Conversion, EightByteNumerics) {
  conn.numericFormat = 0;
  const char v123[] = "\x00\x00\x00\x00\x7B\x00\x00\x00";       // 1.23 at scale 2
  const char v40000[] = "\x00\x00\x00\x00\x40\x9C\x00\x00";     // 40000
  const char v70000[] = "\x00\x00\x00\x80\x70\x11\x01\x00";     // -70000
  const char nine[] = "\x00\x00\x00\x00\x00\x00\x00\x00\x01";
  const Case cases[] = {
      {RDA_CLI_SQL_NUMERIC, B(v123, 8), RDA_CLI_C_CHAR, 10, "1.23", 4, "", nullptr, 0, 10, 2},
      {RDA_CLI_SQL_NUMERIC, B(v123, 8), RDA_CLI_C_DEFAULT, 10, "1.23", 4, "", nullptr, RDA_CLI_C_CHAR, 10, 2},
      {RDA_CLI_SQL_NUMERIC, B(v123, 8), RDA_CLI_C_CHAR, 3, "1.", 3, "01004", "", 0, 10, 2},
      {RDA_CLI_SQL_DECIMAL, B(v123, 8), RDA_CLI_C_CHAR, 0, nullptr, 4, "01004", "", 0, 10, 2},
      {RDA_CLI_SQL_NUMERIC, B(v123, 8), RDA_CLI_C_SLONG, 4, "1", 4, "", nullptr, 0, 10, 2},
      {RDA_CLI_SQL_NUMERIC, B(v123, 8), RDA_CLI_C_DOUBLE, 8, "1.23", 8, "", nullptr, 0, 10, 2},
      {RDA_CLI_SQL_NUMERIC, B(v40000, 8), RDA_CLI_C_SSHORT, 2, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to Small Integer", 0, 10, 0},
      {RDA_CLI_SQL_NUMERIC, B(v70000, 8), RDA_CLI_C_USHORT, 2, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to Unsigned short integer", 0, 10, 0},
      {RDA_CLI_SQL_NUMERIC, B(v70000, 8), RDA_CLI_C_ULONG, 4, nullptr, kUntouched, "22003",
       "Numeric value incompatible with conversion to Unsigned integer", 0, 10, 0},
      {RDA_CLI_SQL_NUMERIC, B(v70000, 8), RDA_CLI_C_LONG, 4, "-70000", 4, "", nullptr, 0, 10, 0},
      {RDA_CLI_SQL_NUMERIC, B(nine, 9), RDA_CLI_C_CHAR, 10, nullptr, kUntouched, "00000", nullptr, 0, 10, 0},
  };
  for (const Case& k : cases) run(k);
  EXPECT_EQ(lastDiag(stmt.errors).native, RDA_CLI_ERR_BAD_NUMERIC) << "more than 8 bytes";
}

TEST_F(Conversion, NullGivesMinusOneForEveryPair) {
  const int16_t cTypes[] = {RDA_CLI_C_ULONG, RDA_CLI_C_USHORT, RDA_CLI_C_SLONG, RDA_CLI_C_SSHORT, RDA_CLI_C_VARIANT, RDA_CLI_C_WCHAR,
                            RDA_CLI_C_BIT,   RDA_CLI_C_TINYINT, RDA_CLI_C_BINARY, RDA_CLI_C_CHAR, RDA_CLI_C_LONG, RDA_CLI_C_SHORT,
                            RDA_CLI_C_FLOAT, RDA_CLI_C_DOUBLE, RDA_CLI_C_DATE, RDA_CLI_C_TIME, RDA_CLI_C_TIMESTAMP, RDA_CLI_C_DEFAULT,
                            RDA_CLI_C_ARRAY, 3};
  for (int16_t sql = -12; sql <= 12; ++sql) {
    for (int16_t c : cTypes) {
      col.arrayFlag = c == RDA_CLI_C_ARRAY ? 1 : 0;
      convert(sql, nullptr, c, 8);
      EXPECT_EQ(ind, -1) << sql << " -> " << c;
      EXPECT_EQ(buf[0], 0) << sql << " -> " << c;
      EXPECT_TRUE(untouchedFrom(1));
      EXPECT_EQ(stmt.errors.count, 0u);
    }
  }
  convert(RDA_CLI_SQL_CHAR, nullptr, RDA_CLI_C_CHAR, 0);
  EXPECT_EQ(ind, -1);
  EXPECT_TRUE(untouchedFrom(0)) << "a text buffer of length 0 receives nothing";
}

TEST_F(Conversion, TypesOutsideTheMatrixAndValuesInAnotherLayout) {
  const RDA_CliValueData n = I(5);
  convert(13, &n, RDA_CLI_C_LONG, 4);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1004");
  EXPECT_EQ(textOf(lastDiag(stmt.errors)), "Invalid SQL type 13");
  convert(RDA_CLI_SQL_INTEGER, &n, 3, 4);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1004");
  EXPECT_EQ(textOf(lastDiag(stmt.errors)), "Invalid SQL C type 3");
  convert(RDA_CLI_SQL_UNKNOWN, &n, RDA_CLI_C_CHAR, 4);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1003");

  // An INTEGER value in a VARCHAR column would be read as a length and a
  // pointer: refused, nothing written.
  convertItem(RDA_CLI_SQL_VARCHAR, RDA_CLI_SQL_INTEGER, &n, RDA_CLI_C_LONG, 4);
  EXPECT_EQ(lastDiag(stmt.errors).state, "07006");
  EXPECT_TRUE(untouchedFrom(0));
  EXPECT_EQ(ind, kUntouched);
  const RDA_CliValueData text = T("3");
  convertItem(RDA_CLI_SQL_INTEGER, RDA_CLI_SQL_VARCHAR, &text, RDA_CLI_C_CHAR, 8);
  EXPECT_EQ(lastDiag(stmt.errors).state, "07006");
  // A DATE column reads the datetime text its values carry.
  const RDA_CliValueData day = DT("2024-01-02");
  convertItem(RDA_CLI_SQL_DATE, RDA_CLI_SQL_TIMESTAMP, &day, RDA_CLI_C_DATE, 6, 10);
  EXPECT_EQ(stmt.errors.count, 0u);
  EXPECT_EQ(shown(RDA_CLI_C_DATE), "2024-1-2");
  // A variant column takes a value of any type; an array value starts with
  // an integer element count.
  convertItem(RDA_CLI_SQL_VARIANT, RDA_CLI_SQL_INTEGER, &n, RDA_CLI_C_DEFAULT, 16);
  EXPECT_NE(lastDiag(stmt.errors).state, "07006");
  col.arrayFlag = 1;
  convertItem(RDA_CLI_SQL_VARCHAR, RDA_CLI_SQL_VARCHAR, &text, RDA_CLI_C_ARRAY, 8);
  EXPECT_EQ(lastDiag(stmt.errors).state, "07006");
  convertItem(RDA_CLI_SQL_VARCHAR, RDA_CLI_SQL_INTEGER, &n, RDA_CLI_C_ARRAY, 8);
  EXPECT_NE(lastDiag(stmt.errors).state, "07006");
  // The array block handed over in the buffer belongs to the caller.
  if (ind != kUntouched) {
    void* block = nullptr;
    std::memcpy(&block, buf, sizeof block);
    std::free(block);
  }
}

TEST_F(Conversion, DefaultOnWideTextFollowsTheConnectionsMapping) {
  static wchar_t empty[] = L"";
  RDA_CliValueData w{};
  w.wtext = RDA_CliWText{0, empty};
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 128}});
  for (int16_t sql : {RDA_CLI_SQL_WCHAR, RDA_CLI_SQL_WVARCHAR, RDA_CLI_SQL_WLONGVARCHAR}) {
    conn.mapDefaultWcharAsChar = 0;
    convert(sql, &w, RDA_CLI_C_DEFAULT, 8);
    EXPECT_FALSE(trace.contains("Mapping WCHAR as CHAR"));
    conn.mapDefaultWcharAsChar = 1;
    convert(sql, &w, RDA_CLI_C_DEFAULT, 8);
    EXPECT_EQ(trace.count("Mapping WCHAR as CHAR"), 1u) << sql;
    trace.clear();
    convert(sql, &w, RDA_CLI_C_WCHAR, 8);
    EXPECT_FALSE(trace.contains("Mapping WCHAR as CHAR")) << "only SQL_C_DEFAULT is mapped";
  }
}

TEST_F(Conversion, CommaLocaleDecimalPoint) {
  CommaLocale comma;
  ASSERT_TRUE(comma.ok());
  auto number = [&](auto v) {
    std::memcpy(&v, buf, sizeof v);
    return v;
  };
  const RDA_CliValueData pi = D(-3.25);
  convert(RDA_CLI_SQL_DOUBLE, &pi, RDA_CLI_C_CHAR, 16);
  EXPECT_EQ(shown(RDA_CLI_C_CHAR), "-3.25") << "the point is written as '.'";
  const RDA_CliValueData digits = T("12.75");
  convert(RDA_CLI_SQL_NUMERIC, &digits, RDA_CLI_C_DOUBLE, 8);
  EXPECT_EQ(number(double{}), 12.75);
  convert(RDA_CLI_SQL_VARCHAR, &digits, RDA_CLI_C_FLOAT, 4);
  EXPECT_EQ(number(float{}), 12.75f);
  conn.numericFormat = 0;
  const char v123[] = "\x00\x00\x00\x00\x7B\x00\x00\x00";
  const RDA_CliValueData eight = B(v123, 8);
  convert(RDA_CLI_SQL_NUMERIC, &eight, RDA_CLI_C_DOUBLE, 8, 10, 2);
  EXPECT_EQ(number(double{}), 1.23) << "the text made from the 8-byte form too";
  EXPECT_EQ(stmt.errors.count, 0u);
}

TEST_F(Conversion, TypeTables) {
  struct Tag {
    uint32_t tag;
    int16_t descr;  // as a descriptor's type tag
    int16_t value;  // as a value's tag
  };
  const Tag tags[] = {{0, 0, 1},   {1, 0, 2},    {2, 0, 3},   {3, 0, 4},   {4, 0, 5},    {5, 1, 6},   {6, 2, 7},
                      {7, 3, 8},   {8, 4, 11},   {9, 5, 0},   {10, 6, 12}, {11, 7, -2},  {12, 8, -3}, {13, 11, -8},
                      {14, 0, -9}, {15, 12, 0},  {16, 0, 0},  {17, -3, 0}, {18, -12, 0}, {19, -8, 0}, {20, -9, 0},
                      {27, 0, 0},  {32, 0, 0},   {33, 0, 0},  {0xFFFF, 0, 0}};
  for (const Tag& t : tags) {
    EXPECT_EQ(RDA_cliCvrtTagToSQLType(0x4000 + t.tag), t.descr) << t.tag;
    EXPECT_EQ(RDA_cliCvrtValTagToSQLType(0x4000 + t.tag), t.value) << t.tag;
  }
  EXPECT_EQ(RDA_cliCvrtTagToSQLType(5), 0) << "below the tag base";
  const int16_t cTypes[] = {-18, -17, -16, -15, -7, -6, -2, 99, 1, 4, 5, 7, 8, 9, 10, 11, -12, -8};
  for (int i = 0; i < static_cast<int>(std::size(cTypes)); ++i) EXPECT_EQ(getCTypeIndex(cTypes[i]), i) << cTypes[i];
  for (int16_t none : {-28, -26, -19, -14, -11, -1, 2, 3, 6, 12, 256}) EXPECT_EQ(getCTypeIndex(none), -1) << none;
  const int16_t variant[][2] = {{-12, -1}, {-8, -8}, {-4, -2}, {-3, -2}, {-2, -2}, {1, 1},  {2, 1},   {3, 1},
                                {4, 4},    {5, 5},   {6, 8},   {7, 7},   {8, 8},   {9, 11}, {11, 11}, {12, -1}};
  for (const auto& v : variant) EXPECT_EQ(getSQLTypeToVariantItem(v[0]), v[1]) << v[0];
}

}  // namespace
