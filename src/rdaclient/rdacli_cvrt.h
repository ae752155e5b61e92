// Conversion of received SQL values to the C types of application buffers:
// the type tables, the conversion matrix and its dispatch, and the
// converters of numbers, dates and times. The readers of text, binary,
// variant and array values are in rdacli_deliver.h.
#pragma once

#include <cstdint>

#include "src/rdaclient/rdacli_bufcvt.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sqltype.h"

struct RDA_CliHSTMT;
struct RDA_CliBind;
struct RDA_CliCol;

// The SQL and C types beside those of rdacli_param.h and rdacli_bufcvt.h.
inline constexpr int16_t RDA_CLI_SQL_UNKNOWN = 0;  // a CHAR column of another character form
inline constexpr int16_t RDA_CLI_C_UTINYINT = -28;  // bound and read as RDA_CLI_C_TINYINT
inline constexpr int16_t RDA_CLI_C_STINYINT = -26;  // bound and read as RDA_CLI_C_TINYINT
inline constexpr int16_t RDA_CLI_C_VARIANT = -12;
inline constexpr int16_t RDA_CLI_C_ARRAY = 256;  // an array column's elements as one block

// Client native error (with error index 0) of an 8-byte numeric that is too
// long or whose scale is too large. (An integer described with a binary
// radix: RDA_CLI_ERR_BINARY_RADIX, rdacli_param.h.)
inline constexpr int32_t RDA_CLI_ERR_BAD_NUMERIC = 52508;

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
inline constexpr int kRdaCliCvrtRows = 25;
inline constexpr int kRdaCliCvrtColumns = 18;
extern const RdaCliCvrtFn fSqlType2CTypeFunc[kRdaCliCvrtRows][kRdaCliCvrtColumns];

// Converts the value `data` (NULL for a NULL value) of column `col` into
// the binding; diagnostics go to the statement's list.
void RDA_cliCvrtSQLToCol(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data);

// SQL type of a value's tag; 0 for a tag outside the table. (The type tags
// of descriptors: RDA_cliCvrtTagToSQLType, rdacli_sqltype.h.)
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
