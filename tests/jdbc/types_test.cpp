// Types and values between JDBC and ODBC: the two type maps, the int arrays
// of dates and times, the column-attribute rules and the sizing of binary
// pieces.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "src/jdbc/qvjtypes.h"

namespace {

TEST(TypeMaps, OdbcSqlTypesToJdbcCodes) {
  const std::pair<int32_t, int32_t> cases[] = {
      {-10, -1}, {-1, -1}, {-9, 12}, {12, 12}, {-8, 1},  {1, 1},   {-7, -7}, {-6, -6}, {-5, -5},   {-4, -4},
      {-3, -3},  {-2, -2}, {2, 2},   {3, 3},   {4, 4},   {5, 5},   {6, 6},   {7, 7},   {8, 8},     {9, 91},
      {91, 91},  {10, 92}, {92, 92}, {11, 93}, {93, 93}, {0, 1111}, {-11, 1111}, {13, 1111}, {-12, 1111}};
  for (const auto& [sql, jdbc] : cases) EXPECT_EQ(MapSqlTypeToJdbc(sql), jdbc) << sql;
}

TEST(TypeMaps, JdbcCodesToOdbcSqlAndCTypes) {
  struct Case {
    int32_t jdbc;
    int16_t sql;
    int16_t c;
  };
  const Case cases[] = {{-7, -7, 99}, {-6, -6, 99}, {-5, -5, 99}, {-4, -4, 99}, {-3, -3, 99},  {-2, -2, 99},
                        {-1, -10, 99}, {1, -8, -8}, {2, 2, 1},    {3, 3, 1},    {4, 4, -16},   {5, 5, 5},
                        {6, 6, 8},    {7, 7, 7},    {8, 8, 8},    {12, -9, 99}, {91, 9, 9},    {92, 10, 10},
                        {93, 11, 11}, {0, 0, 0},    {1111, 0, 0}, {2004, 0, 0}, {-16, 0, 0}};
  for (const Case& c : cases) {
    int16_t cType = 77;
    EXPECT_EQ(MapJdbcTypeToSql(c.jdbc, &cType), c.sql) << c.jdbc;
    EXPECT_EQ(cType, c.c) << c.jdbc;
  }
}

TEST(DateTimeFields, YearSignedOtherFieldsUnsigned) {
  jint date[kQvjDateFields];
  QvjDateFields(DATE_STRUCT{-44, 3, 15}, date);
  EXPECT_EQ(date[0], -44);
  EXPECT_EQ(date[1], 3);
  EXPECT_EQ(date[2], 15);

  jint time[kQvjTimeFields];
  QvjTimeFields(TIME_STRUCT{23, 59, 58}, time);
  EXPECT_EQ(time[0], 23);
  EXPECT_EQ(time[2], 58);

  TIMESTAMP_STRUCT ts{};
  ts.year = 1999;
  ts.month = 12;
  ts.day = 31;
  ts.hour = 65535;  // unsigned 16 bits
  ts.minute = 1;
  ts.second = 2;
  ts.fraction = 4000000000u;  // unsigned 32 bits: the int carries its bits
  jint fields[kQvjTimestampFields];
  QvjTimestampFields(ts, fields);
  EXPECT_EQ(fields[0], 1999);
  EXPECT_EQ(fields[3], 65535);
  EXPECT_EQ(static_cast<uint32_t>(fields[6]), 4000000000u);
}

TEST(ColumnAttributes, RulesOfTheMetadataNatives) {
  struct Case {
    QvjColRule rule;
    SQLLEN value;
    jint result;
  };
  const Case cases[] = {
      {QvjColRule::Value, 4096, 4096},  {QvjColRule::LowByte, 0x101, 1}, {QvjColRule::LowByte, 0x100, 0},
      {QvjColRule::NotZero, 2, 1},      {QvjColRule::NotZero, 0, 0},     {QvjColRule::IsZero, 0, 1},
      {QvjColRule::IsZero, 1, 0},       {QvjColRule::IsOne, 1, 1},       {QvjColRule::IsOne, 2, 0},
      {QvjColRule::IsTwo, 2, 1},        {QvjColRule::IsTwo, 1, 0},       {QvjColRule::NotThree, 3, 0},
      {QvjColRule::NotThree, 2, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(QvjColAttributeResult(c.rule, c.value), c.result) << c.value;
}

TEST(BinaryPieces, APieceNeverWritesPastTheArray) {
  struct Case {
    SQLLEN indicator;
    jsize length;
    jsize offset;
    jsize bytes;
  };
  const Case cases[] = {
      {10000, 10000, 0, 4096},     // first of three pieces
      {5904, 10000, 4096, 4096},   // the indicator tells what is still to come
      {1808, 10000, 8192, 1808},   // the last piece
      {5000, 10000, 8192, 1808},   // a piece claiming more than the array holds
      {100, 10000, 10000, 0},      // the array is full
      {0, 10, 0, 0},               // no data
      {SQL_NULL_DATA, 10, 0, 0},
      {SQL_NO_TOTAL, 10, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(QvjPieceBytes(c.indicator, kQvjBytesPieceBytes, c.length, c.offset), c.bytes) << c.indicator;
  EXPECT_EQ(QvjBytesLength(0), 0);
  EXPECT_EQ(QvjBytesLength(10000), 10000);
  EXPECT_EQ(QvjBytesLength(SQL_NULL_DATA), -1);
  EXPECT_EQ(QvjBytesLength(SQLLEN{1} << 40), -1) << "no Java array holds it";
}

}  // namespace
