// Types and values between JDBC and ODBC: the maps between java.sql.Types
// codes and ODBC SQL and C types, the int arrays Java gets for dates and
// times, the results of the column attributes, and the sizing of the
// pieces in which long values are read.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>

#include "src/odbc/odbcapi.h"

// The java.sql.Types code of an ODBC SQL type (1111, OTHER, for a type
// without one).
int32_t MapSqlTypeToJdbc(int32_t sqlType);
// The ODBC SQL type and C type of a java.sql.Types code; 0 and 0 for a code
// without one.
int16_t MapJdbcTypeToSql(int32_t jdbcType, int16_t* cType);

// The fields Java gets for a date (year, month, day), a time (hour, minute,
// second) and a timestamp (the seven fields); the year signed.
inline constexpr int kQvjDateFields = 3;
inline constexpr int kQvjTimeFields = 3;
inline constexpr int kQvjTimestampFields = 7;
void QvjDateFields(const DATE_STRUCT& value, jint out[kQvjDateFields]);
void QvjTimeFields(const TIME_STRUCT& value, jint out[kQvjTimeFields]);
void QvjTimestampFields(const TIMESTAMP_STRUCT& value, jint out[kQvjTimestampFields]);

// What a ResultSetMetaData native makes of a column attribute's number.
enum class QvjColRule {
  Value,     // the number itself
  LowByte,   // its low byte
  NotZero,   // 1 when it is not 0
  IsZero,    // 1 when it is 0
  IsOne,     // 1 when it is 1
  IsTwo,     // 1 when it is 2
  NotThree,  // 1 when it is not 3
};
jint QvjColAttributeResult(QvjColRule rule, SQLLEN value);

// Pieces of long values read with SQLGetData.
inline constexpr SQLLEN kQvjStringPieceBytes = 16372;  // 4093 wide characters, the last for the terminator
inline constexpr size_t kQvjStringPieceChars = 4093;
inline constexpr SQLLEN kQvjBytesPieceBytes = 4096;

// The bytes of one binary piece that go into the Java array: the piece's
// data (the indicator, at most the piece size) as far as the array of
// `arrayLength` bytes has room from `offset` on; 0 for none.
jsize QvjPieceBytes(SQLLEN indicator, SQLLEN pieceSize, jsize arrayLength, jsize offset);
// The length of the Java array for a binary value whose first piece
// reports `indicator` bytes: -1 when Java cannot hold it.
jsize QvjBytesLength(SQLLEN indicator);
