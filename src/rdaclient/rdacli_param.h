// Parameters of a statement: the bound parameters that the request
// builders turn into R-ExecuteDBL arguments, and the descriptions of the
// parameter markers that the server returns with a confirm.
#pragma once

#include <cstdint>

#include "src/asn1/rda_codec.h"
#include "src/rdaclient/rdacli_conf.h"

struct RDA_CliHSTMT;

// C types of the value buffers (SQL_C_*).
inline constexpr int16_t RDA_CLI_C_CHAR = 1;
inline constexpr int16_t RDA_CLI_C_LONG = 4;
inline constexpr int16_t RDA_CLI_C_SHORT = 5;
inline constexpr int16_t RDA_CLI_C_FLOAT = 7;
inline constexpr int16_t RDA_CLI_C_DOUBLE = 8;
inline constexpr int16_t RDA_CLI_C_DATE = 9;
inline constexpr int16_t RDA_CLI_C_TIME = 10;
inline constexpr int16_t RDA_CLI_C_TIMESTAMP = 11;
inline constexpr int16_t RDA_CLI_C_BINARY = -2;
inline constexpr int16_t RDA_CLI_C_TINYINT = -6;
inline constexpr int16_t RDA_CLI_C_BIT = -7;
inline constexpr int16_t RDA_CLI_C_WCHAR = -8;
inline constexpr int16_t RDA_CLI_C_SSHORT = -15;
inline constexpr int16_t RDA_CLI_C_SLONG = -16;
inline constexpr int16_t RDA_CLI_C_USHORT = -17;
inline constexpr int16_t RDA_CLI_C_ULONG = -18;

// SQL types of the parameters (SQL_*).
inline constexpr int16_t RDA_CLI_SQL_CHAR = 1;
inline constexpr int16_t RDA_CLI_SQL_NUMERIC = 2;
inline constexpr int16_t RDA_CLI_SQL_DECIMAL = 3;
inline constexpr int16_t RDA_CLI_SQL_INTEGER = 4;
inline constexpr int16_t RDA_CLI_SQL_SMALLINT = 5;
inline constexpr int16_t RDA_CLI_SQL_FLOAT = 6;
inline constexpr int16_t RDA_CLI_SQL_REAL = 7;
inline constexpr int16_t RDA_CLI_SQL_DOUBLE = 8;
inline constexpr int16_t RDA_CLI_SQL_DATE = 9;
inline constexpr int16_t RDA_CLI_SQL_TIME = 10;
inline constexpr int16_t RDA_CLI_SQL_TIMESTAMP = 11;
inline constexpr int16_t RDA_CLI_SQL_VARCHAR = 12;
inline constexpr int16_t RDA_CLI_SQL_LONGVARCHAR = -1;
inline constexpr int16_t RDA_CLI_SQL_BINARY = -2;
inline constexpr int16_t RDA_CLI_SQL_VARBINARY = -3;
inline constexpr int16_t RDA_CLI_SQL_LONGVARBINARY = -4;
inline constexpr int16_t RDA_CLI_SQL_BIGINT = -5;
inline constexpr int16_t RDA_CLI_SQL_TINYINT = -6;
inline constexpr int16_t RDA_CLI_SQL_BIT = -7;
inline constexpr int16_t RDA_CLI_SQL_WCHAR = -8;
inline constexpr int16_t RDA_CLI_SQL_WVARCHAR = -9;
inline constexpr int16_t RDA_CLI_SQL_WLONGVARCHAR = -10;
inline constexpr int16_t RDA_CLI_SQL_VARIANT = -12;

// Length/indicator values of a bound value.
inline constexpr int64_t RDA_CLI_NULL_DATA = -1;
inline constexpr int64_t RDA_CLI_LEN_NTS = -3;
inline constexpr int64_t RDA_CLI_EMPTY_TEXT = -4;  // an empty SQL_C_CHAR or SQL_C_WCHAR text

// Directions of a parameter.
inline constexpr int16_t RDA_CLI_PARAM_INPUT = 1;
inline constexpr int16_t RDA_CLI_PARAM_OUTPUT = 4;

// Bind flags.
inline constexpr uint32_t RDA_CLI_PARM_BOUND = 1;

// The octets of long data collected by the ODBC layer from SQLPutData: a
// ring of chunks through a head the ODBC layer owns (RdaCliLink), each of up
// to kRdaCliChunkSize octets.
inline constexpr uint32_t kRdaCliChunkSize = 32000;
struct RDA_CliChunk {
  RdaCliLink links;
  uint8_t* data;
  uint32_t used;  // octets of data in use
};

// One bound parameter (an item of the statement's tree). The value, the
// length/indicator and the chunks stay the caller's and are read when the
// request is built.
struct RDA_CliParm {
  RdaCliLink links;       // in the statement's parameter ring
  uint16_t number;        // from 1
  int16_t cType;
  int16_t sqlType;
  uint64_t columnSize;
  int16_t scale;
  uint32_t bindFlags;     // RDA_CLI_PARM_BOUND
  void* value;            // NULL for long data in chunks
  int64_t* lenInd;        // RDA_CLI_LEN_NTS, RDA_CLI_NULL_DATA, RDA_CLI_EMPTY_TEXT or a length
  RdaCliLink* chunks;     // head of a ring of RDA_CliChunk, or NULL
  int16_t direction;      // RDA_CLI_PARAM_INPUT or RDA_CLI_PARAM_OUTPUT
  int64_t bufferLength;
};

// One parameter described by the server (an item of the statement's tree).
struct RDA_CliParamSpec {
  RdaCliLink links;       // in the statement's description ring
  uint16_t number;        // from 1
  int16_t sqlType;
  int64_t precision;
  int16_t scale;
  uint32_t attributes;    // the descriptor's attribute word
  int16_t direction;      // attributes & 7
  int16_t nullable;
};

// Attribute bit of a descriptor that describes a parameter marker.
inline constexpr uint32_t RDA_CLI_ATTR_PARAMETER = 1u << 30;
// Native error of an INTEGER or SMALLINT described with a binary radix.
inline constexpr int32_t RDA_CLI_ERR_BINARY_RADIX = 52505;

// Composes a diagnostic text in the thread's client message buffer and adds
// it to the statement's diagnostics under row `row`; the text.
const char* RDA_cliStmtMessage(RDA_CliHSTMT* hstmt, uint32_t row, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Binds parameter `number` of the statement: a new one must be the next
// number, a bound one is replaced in place. 0; -1 with a diagnostic (the
// ring unchanged); -2 for a bad handle.
int32_t rda_cliBindParam(RDA_CliHSTMT* hstmt, int32_t number, int16_t cType, int16_t sqlType, uint64_t columnSize,
                         int16_t scale, void* value, int64_t* lenInd, RdaCliLink* chunks, int16_t direction,
                         int64_t bufferLength);
// The bound parameter or description of `number`; NULL when none.
RDA_CliParm* getParm(RDA_CliHSTMT* hstmt, int32_t number);
RDA_CliParamSpec* getParamSpec(RDA_CliHSTMT* hstmt, int32_t number);
// SQLDescribeParam: the server's description, or VARCHAR(999) when the
// server describes none. Every out-pointer may be NULL. 0, -1, -2.
int32_t rda_cliDescribeParam(RDA_CliHSTMT* hstmt, int32_t number, int16_t* sqlType, uint64_t* columnSize,
                             int16_t* scale, int16_t* nullable, int16_t* direction);
// SQLParamAttributes: descriptor type 1000 gives the direction in
// `*numeric`; the character outputs are never written. 0, -1, -2.
inline constexpr int16_t RDA_CLI_PARAM_ATTR_DIRECTION = 1000;
int32_t rda_cliParamAttributes(RDA_CliHSTMT* hstmt, int32_t number, int16_t descType, char* text, int16_t textSize,
                               int16_t* textLength, int64_t* numeric);
// Keeps the parameter descriptions of an R-ExecuteDBL confirm's result
// description (its descriptors with attribute bit 30): 1, or 0 with a
// diagnostic.
int32_t updateParamSpec(RDA_CliHSTMT* hstmt, const RDAList* resultSpecs);
