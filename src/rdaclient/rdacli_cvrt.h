// Conversion of received SQL values to the C types of application buffers:
// the type tables, the conversion matrix and its dispatch, and the
// converters of numbers, dates and times. The readers of text, binary,
// variant and array values are in rdacli_deliver.h.
#pragma once

#include <cstdint>

struct RDA_CliHSTMT;
struct RDA_CliBind;
struct RDA_CliCol;

// SQL types.
inline constexpr int16_t RDA_SQL_VARIANT = -12;
inline constexpr int16_t RDA_SQL_WLONGVARCHAR = -10;
inline constexpr int16_t RDA_SQL_WVARCHAR = -9;
inline constexpr int16_t RDA_SQL_WCHAR = -8;
inline constexpr int16_t RDA_SQL_BIT = -7;
inline constexpr int16_t RDA_SQL_TINYINT = -6;
inline constexpr int16_t RDA_SQL_LONGVARBINARY = -4;
inline constexpr int16_t RDA_SQL_VARBINARY = -3;
inline constexpr int16_t RDA_SQL_BINARY = -2;
inline constexpr int16_t RDA_SQL_LONGVARCHAR = -1;
inline constexpr int16_t RDA_SQL_UNKNOWN = 0;
inline constexpr int16_t RDA_SQL_CHAR = 1;
inline constexpr int16_t RDA_SQL_NUMERIC = 2;
inline constexpr int16_t RDA_SQL_DECIMAL = 3;
inline constexpr int16_t RDA_SQL_INTEGER = 4;
inline constexpr int16_t RDA_SQL_SMALLINT = 5;
inline constexpr int16_t RDA_SQL_FLOAT = 6;
inline constexpr int16_t RDA_SQL_REAL = 7;
inline constexpr int16_t RDA_SQL_DOUBLE = 8;
inline constexpr int16_t RDA_SQL_DATE = 9;
inline constexpr int16_t RDA_SQL_TIME = 10;
inline constexpr int16_t RDA_SQL_TIMESTAMP = 11;
inline constexpr int16_t RDA_SQL_VARCHAR = 12;

// C types.
inline constexpr int16_t RDA_C_TINYINT_UNSIGNED = -28;
inline constexpr int16_t RDA_C_TINYINT_SIGNED = -26;
inline constexpr int16_t RDA_C_ULONG = -18;
inline constexpr int16_t RDA_C_USHORT = -17;
inline constexpr int16_t RDA_C_SLONG = -16;
inline constexpr int16_t RDA_C_SSHORT = -15;
inline constexpr int16_t RDA_C_VARIANT = -12;
inline constexpr int16_t RDA_C_WCHAR = -8;
inline constexpr int16_t RDA_C_BIT = -7;
inline constexpr int16_t RDA_C_TINYINT = -6;
inline constexpr int16_t RDA_C_BINARY = -2;
inline constexpr int16_t RDA_C_CHAR = 1;
inline constexpr int16_t RDA_C_LONG = 4;
inline constexpr int16_t RDA_C_SHORT = 5;
inline constexpr int16_t RDA_C_FLOAT = 7;
inline constexpr int16_t RDA_C_DOUBLE = 8;
inline constexpr int16_t RDA_C_DATE = 9;
inline constexpr int16_t RDA_C_TIME = 10;
inline constexpr int16_t RDA_C_TIMESTAMP = 11;
inline constexpr int16_t RDA_C_DEFAULT = 99;
inline constexpr int16_t RDA_C_ARRAY = 256;

// Client native errors of the conversions (with error index 0).
inline constexpr int32_t RDA_CLI_ERR_BINARY_RADIX = 52505;   // integer described with a binary radix
inline constexpr int32_t RDA_CLI_ERR_BAD_NUMERIC = 52508;    // 8-byte numeric too long, or scale too large

// The C structures of dates and times.
struct RdaCliDate {
  int16_t year;
  int16_t month;
  int16_t day;
};
struct RdaCliTime {
  int16_t hour;
  int16_t minute;
  int16_t second;
};
struct RdaCliTimestamp {
  int16_t year;
  int16_t month;
  int16_t day;
  int16_t hour;
  int16_t minute;
  int16_t second;
  uint32_t fraction;  // nanoseconds
};
static_assert(sizeof(RdaCliDate) == 6 && sizeof(RdaCliTime) == 6 && sizeof(RdaCliTimestamp) == 16);

// A converter of the matrix: writes the binding's buffer and indicator from
// the value data and adds its diagnostics to the statement.
using RdaCliCvrtFn = void (*)(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data);

// Matrix dimensions: one row per SQL type -12..12, one column per C type
// that has one.
inline constexpr int kRdaCliSqlRows = 25;
inline constexpr int kRdaCliCColumns = 18;
extern const RdaCliCvrtFn fSqlType2CTypeFunc[kRdaCliSqlRows][kRdaCliCColumns];

// Converts the value `data` (NULL for a NULL value) of column `col` into
// the binding; diagnostics go to the statement's list.
void RDA_cliCvrtSQLToCol(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data);

// SQL type of a result descriptor's type tag, of a value's tag; 0 for a tag
// outside the tables.
int16_t RDA_cliCvrtTagToSQLType(uint32_t tag);
int16_t RDA_cliCvrtValTagToSQLType(uint32_t tag);
// Matrix column of a C type, or -1.
int32_t getCTypeIndex(int16_t cType);
// Variant item type of an SQL type, or -1.
int32_t getSQLTypeToVariantItem(int16_t sqlType);

// The converters of this unit.
void getInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToUInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToSmallInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToUSmallInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToBit(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToTinyInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToFloat(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToDble(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getSmallInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToUInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToUSmallInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToBit(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToTinyInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToFloat(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToDble(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getDbl(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getFloat(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDbleToFloat(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDbleToInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDbleToUInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDbleToSmallInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDbleToUSmallInt(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDblToChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getBit(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getTinyint(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtBitToX(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtTinyintToX(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtBitToChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtTinyintToChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtNumToChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtNumToX(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtCharToX(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDateToX(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtTimeToX(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtTsToX(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
