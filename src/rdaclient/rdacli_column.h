// The column calls of the client: binding and reading result columns, the
// number of result columns, the row count, and the description and
// attributes of a column. Each checks that its handle is a statement (-2
// otherwise); all but rda_cliDescribeCol clear the statement's diagnostics
// first.
#pragma once

#include <cstdint>
#include <cwchar>

struct RDA_CliHSTMT;
struct RDA_CliCol;

// ColAttribute descriptor types.
inline constexpr uint16_t RDA_CLI_ATTR_COUNT = 0;
inline constexpr uint16_t RDA_CLI_ATTR_NAME = 1;
inline constexpr uint16_t RDA_CLI_ATTR_TYPE = 2;
inline constexpr uint16_t RDA_CLI_ATTR_LENGTH = 3;
inline constexpr uint16_t RDA_CLI_ATTR_PRECISION = 4;
inline constexpr uint16_t RDA_CLI_ATTR_SCALE = 5;
inline constexpr uint16_t RDA_CLI_ATTR_NULLABLE = 7;
inline constexpr uint16_t RDA_CLI_ATTR_TYPE_NAME = 14;
inline constexpr uint16_t RDA_CLI_ATTR_TABLE_NAME = 15;
inline constexpr uint16_t RDA_CLI_ATTR_SCHEMA_NAME = 16;
inline constexpr uint16_t RDA_CLI_ATTR_CATALOG_NAME = 17;
inline constexpr uint16_t RDA_CLI_ATTR_OCTET_LENGTH = 1013;
inline constexpr uint16_t RDA_CLI_ATTR_ARRAY = 2001;
inline constexpr uint16_t RDA_CLI_ATTR_VISIBLE = 2200;
inline constexpr uint16_t RDA_CLI_ATTR_TYPE2201 = 2201;
inline constexpr uint16_t RDA_CLI_ATTR_BASE_COLUMN = 2202;
inline constexpr uint16_t RDA_CLI_ATTR_LABEL = 2203;
inline constexpr uint16_t RDA_CLI_ATTR_FLAGS = 2204;
inline constexpr uint16_t RDA_CLI_ATTR_HIDDEN_COUNT = 2205;

// Binds column `col` to a buffer, or unbinds it (no buffer): 0, -1, -2.
int32_t rda_cliBindCol(RDA_CliHSTMT* hstmt, int16_t col, int16_t cType, void* buffer, int64_t bufLen,
                       int64_t* ind);
// Converts the current value of an unbound column into the buffer: 0; 1
// when the value was cut and more of it is left to read; 100 when it has
// been read already; -1; -2. A negated column number reads the value again
// from its start.
int32_t rda_cliGetCol(RDA_CliHSTMT* hstmt, int16_t col, int16_t cType, void* buffer, int64_t bufLen, int64_t* ind);
// The number of result columns, hidden ones left out: 0, -1, -2.
int32_t rda_cliNumResultCols(RDA_CliHSTMT* hstmt, int16_t* count);
// The row count of the last non-query, else -1: 0 or -2.
int32_t rda_cliRowCount(RDA_CliHSTMT* hstmt, int64_t* count);
// The description of a column; `bufLen` in characters. Every output may be
// NULL. 0, 1 (name cut), -1, -2.
int32_t rda_cliDescribeCol(RDA_CliHSTMT* hstmt, int16_t col, wchar_t* name, int16_t bufLen, int16_t* nameLen,
                           int16_t* sqlType, uint64_t* colSize, int16_t* scale, int16_t* nullable);
// One attribute of a column: numbers to `num`, strings to `buf` (`bufLen`
// in bytes, 4 per character). 0, 1 (string cut), -1, -2.
int32_t rda_cliColAttribute(RDA_CliHSTMT* hstmt, int16_t col, uint16_t descType, wchar_t* buf, int16_t bufLen,
                            int16_t* strLen, int64_t* num);

// The statement's column record with that number, or NULL.
RDA_CliCol* getCol(RDA_CliHSTMT* hstmt, int32_t number);
// The outputs of rda_cliDescribeCol from a described column: 0, or 1 when
// the name was cut.
int32_t getResultCol(RDA_CliHSTMT* hstmt, RDA_CliCol* col, wchar_t* name, int16_t bufLen, int16_t* nameLen,
                     int16_t* sqlType, uint64_t* colSize, int16_t* scale, int16_t* nullable);
