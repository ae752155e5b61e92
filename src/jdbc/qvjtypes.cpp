#include "src/jdbc/qvjtypes.h"

#include <algorithm>

namespace {

// java.sql.Types codes.
constexpr int32_t kJdbcBit = -7;
constexpr int32_t kJdbcTinyInt = -6;
constexpr int32_t kJdbcBigInt = -5;
constexpr int32_t kJdbcLongVarBinary = -4;
constexpr int32_t kJdbcVarBinary = -3;
constexpr int32_t kJdbcBinary = -2;
constexpr int32_t kJdbcLongVarChar = -1;
constexpr int32_t kJdbcChar = 1;
constexpr int32_t kJdbcNumeric = 2;
constexpr int32_t kJdbcDecimal = 3;
constexpr int32_t kJdbcInteger = 4;
constexpr int32_t kJdbcSmallInt = 5;
constexpr int32_t kJdbcFloat = 6;
constexpr int32_t kJdbcReal = 7;
constexpr int32_t kJdbcDouble = 8;
constexpr int32_t kJdbcVarChar = 12;
constexpr int32_t kJdbcDate = 91;
constexpr int32_t kJdbcTime = 92;
constexpr int32_t kJdbcTimestamp = 93;
constexpr int32_t kJdbcOther = 1111;

struct JdbcToSql {
  int32_t jdbc;
  int16_t sql;
  int16_t c;
};
constexpr JdbcToSql kJdbcToSql[] = {
    {kJdbcBit, SQL_BIT, SQL_C_DEFAULT},
    {kJdbcTinyInt, SQL_TINYINT, SQL_C_DEFAULT},
    {kJdbcBigInt, SQL_BIGINT, SQL_C_DEFAULT},
    {kJdbcLongVarBinary, SQL_LONGVARBINARY, SQL_C_DEFAULT},
    {kJdbcVarBinary, SQL_VARBINARY, SQL_C_DEFAULT},
    {kJdbcBinary, SQL_BINARY, SQL_C_DEFAULT},
    {kJdbcLongVarChar, SQL_WLONGVARCHAR, SQL_C_DEFAULT},
    {kJdbcChar, SQL_WCHAR, SQL_C_WCHAR},
    {kJdbcNumeric, SQL_NUMERIC, SQL_C_CHAR},
    {kJdbcDecimal, SQL_DECIMAL, SQL_C_CHAR},
    {kJdbcInteger, SQL_INTEGER, SQL_C_SLONG},
    {kJdbcSmallInt, SQL_SMALLINT, SQL_C_SHORT},
    {kJdbcFloat, SQL_FLOAT, SQL_C_DOUBLE},
    {kJdbcReal, SQL_REAL, SQL_C_FLOAT},
    {kJdbcDouble, SQL_DOUBLE, SQL_C_DOUBLE},
    {kJdbcVarChar, SQL_WVARCHAR, SQL_C_DEFAULT},
    {kJdbcDate, SQL_DATE, SQL_C_DATE},
    {kJdbcTime, SQL_TIME, SQL_C_TIME},
    {kJdbcTimestamp, SQL_TIMESTAMP, SQL_C_TIMESTAMP},
};

}  // namespace

int32_t MapSqlTypeToJdbc(int32_t sqlType) {
  switch (sqlType) {
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARCHAR:
      return kJdbcLongVarChar;
    case SQL_WVARCHAR:
    case SQL_VARCHAR:
      return kJdbcVarChar;
    case SQL_WCHAR:
    case SQL_CHAR:
      return kJdbcChar;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return kJdbcDate;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return kJdbcTime;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return kJdbcTimestamp;
    default:
      // BIT to BINARY and NUMERIC to DOUBLE have the same codes in both.
      if ((sqlType >= SQL_BIT && sqlType <= SQL_BINARY) || (sqlType >= SQL_NUMERIC && sqlType <= SQL_DOUBLE))
        return sqlType;
      return kJdbcOther;
  }
}

int16_t MapJdbcTypeToSql(int32_t jdbcType, int16_t* cType) {
  for (const JdbcToSql& m : kJdbcToSql) {
    if (m.jdbc == jdbcType) {
      if (cType != nullptr) *cType = m.c;
      return m.sql;
    }
  }
  if (cType != nullptr) *cType = 0;
  return 0;
}

void QvjDateFields(const DATE_STRUCT& value, jint out[kQvjDateFields]) {
  out[0] = static_cast<int16_t>(value.year);
  out[1] = static_cast<uint16_t>(value.month);
  out[2] = static_cast<uint16_t>(value.day);
}

void QvjTimeFields(const TIME_STRUCT& value, jint out[kQvjTimeFields]) {
  out[0] = static_cast<uint16_t>(value.hour);
  out[1] = static_cast<uint16_t>(value.minute);
  out[2] = static_cast<uint16_t>(value.second);
}

void QvjTimestampFields(const TIMESTAMP_STRUCT& value, jint out[kQvjTimestampFields]) {
  out[0] = static_cast<int16_t>(value.year);
  out[1] = static_cast<uint16_t>(value.month);
  out[2] = static_cast<uint16_t>(value.day);
  out[3] = static_cast<uint16_t>(value.hour);
  out[4] = static_cast<uint16_t>(value.minute);
  out[5] = static_cast<uint16_t>(value.second);
  // An unsigned 32-bit fraction; Java reads the int's bits back as such.
  out[6] = static_cast<jint>(static_cast<uint32_t>(value.fraction));
}

jint QvjColAttributeResult(QvjColRule rule, SQLLEN value) {
  switch (rule) {
    case QvjColRule::Value: return static_cast<jint>(value);
    case QvjColRule::LowByte: return static_cast<jint>(value & 0xFF);
    case QvjColRule::NotZero: return value != 0 ? 1 : 0;
    case QvjColRule::IsZero: return value == 0 ? 1 : 0;
    case QvjColRule::IsOne: return value == 1 ? 1 : 0;
    case QvjColRule::IsTwo: return value == 2 ? 1 : 0;
    case QvjColRule::NotThree: return value != 3 ? 1 : 0;
  }
  return 0;
}

jsize QvjPieceBytes(SQLLEN indicator, SQLLEN pieceSize, jsize arrayLength, jsize offset) {
  if (indicator <= 0 || offset < 0 || offset >= arrayLength) return 0;
  const SQLLEN room = arrayLength - offset;
  return static_cast<jsize>(std::min({indicator, pieceSize, room}));
}

jsize QvjBytesLength(SQLLEN indicator) {
  // Java arrays hold at most INT32_MAX - 8 elements on common VMs.
  constexpr SQLLEN kMaxArray = INT32_MAX - 8;
  if (indicator < 0 || indicator > kMaxArray) return -1;
  return static_cast<jsize>(indicator);
}
