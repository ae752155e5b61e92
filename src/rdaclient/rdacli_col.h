// Result columns of a statement and the values received for them.
//
// A statement that returns rows keeps one RDA_CliCol per result column, in a
// ring whose head is the statement's `cols`. A column record holds the
// application's binding, the description the server sent and the queue of
// values received for the column and not yet consumed. Every row of a
// received block puts one RDA_CliValueItem on each column's queue; the fetch
// takes one per column per row, and SQLGetData converts the column's current
// value on demand.
#pragma once

#include <cstdint>
#include <cwchar>

#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/ul_names.h"

// Column state flags.
//   RDA_CLI_COL_BOUND (bit 0, rdacli_handles.h): bound by rda_cliBindCol
inline constexpr uint32_t RDA_CLI_COL_DESCRIBED = 2;  // set by updateColSpec
// Set by a converter that keeps no read position when it delivered the
// current value cut: nothing of it is left for a further SQLGetData.
inline constexpr uint32_t RDA_CLI_COL_CUT_READ = 4;

// Description flags (the attribute word of the column's descriptor).
inline constexpr uint32_t RDA_CLI_DESC_HIDDEN = 1;       // hidden column
inline constexpr uint32_t RDA_CLI_DESC_TYPE2201 = 2;     // reported through descriptor type 2201
inline constexpr uint32_t RDA_CLI_DESC_LONG = 4;         // long data
inline constexpr uint32_t RDA_CLI_DESC_FIXED = 8;        // fixed-length binary or tiny integer
inline constexpr uint32_t RDA_CLI_DESC_BIT = 16;         // bit, or another character form
inline constexpr uint32_t RDA_CLI_DESC_SKIP = 1u << 30;  // not a result column: takes no number

// A long binary value arrives as parts of exactly this many bytes, ended by
// one shorter part.
inline constexpr uint32_t RDA_CLI_LONG_PART = 32000;

// Size of a date, time or timestamp text in a value item (the text and its
// NUL).
inline constexpr uint32_t RDA_CLI_DATETIME_SIZE = 34;

// Where a converter writes: the C type, the buffer and its length in bytes,
// and the length/indicator word (never NULL once stored in a column: a
// binding without one is aimed at the column's spare word).
struct RDA_CliBind {
  int16_t cType;
  void* buffer;
  int64_t bufLen;
  int64_t* ind;
};

// Counted text in a value item: CHAR and VARCHAR bytes as received with one
// NUL after them; NUMERIC and DECIMAL bytes as received (digit text or the
// 8-byte form), no terminator.
struct RDA_CliText {
  uint32_t length;  // bytes
  uint8_t* text;
};
// Counted wide text: WCHAR and WVARCHAR converted from UTF-8, a NUL
// character after them.
struct RDA_CliWText {
  uint32_t length;  // characters
  wchar_t* text;
};

// The data of one received value, by the item's SQL type. INTEGER, SMALLINT,
// BIT and TINYINT values are 32-bit integers; FLOAT, REAL and DOUBLE
// doubles; binary values a bit-string record {unused bits of the last
// octet, octet count, octets}; DATE, TIME and TIMESTAMP the received text
// with its NUL.
union RDA_CliValueData {
  int32_t integer;
  double real;
  RDA_CliText text;
  RDA_CliWText wtext;
  BitStgV bits;
  char dateTime[RDA_CLI_DATETIME_SIZE];
};

// One received value on a column's queue. Items come from the pages of the
// statement's cursor tree (else the statement's tree) while XM paging is on,
// and go with that tree; otherwise each is an XM item of its own (`owned`)
// and is freed when it is dropped. Counted bytes follow the record in the
// same piece of memory.
struct RDA_CliValueItem {
  RdaCliLink links;       // in the column's queue
  RDA_CliValueData* data; // NULL for a NULL value, else &value
  int16_t sqlType;        // from the value's tag (RDA_cliCvrtValTagToSQLType)
  uint16_t owned;         // an XM item of its own, freed one by one
  RDA_CliValueData value;
};

struct RDA_CliCol {
  RdaCliLink links;  // in the statement's column ring
  int16_t colNum;    // 1-based
  uint32_t flags;    // RDA_CLI_COL_BOUND, RDA_CLI_COL_DESCRIBED
  RDA_CliBind bind;  // the application's binding (or the last SQLGetData's)
  int64_t spareInd;  // indicator of a binding made without one
  wchar_t* name;     // item of the statement's tree, or NULL

  // Description.
  int16_t sqlType;
  int16_t scale;     // decimal digits
  uint32_t colSize;
  int16_t nullable;  // 0 no nulls, 1 nullable

  // Read position of the current value, for values delivered in pieces:
  // the position within the current value or part (bytes or characters),
  // the total length of a long binary value over all its parts and the
  // length of it delivered so far, the further parts the current value
  // occupies in the queue and how many of them have been taken.
  uint32_t pos;
  uint32_t totalLen;
  uint32_t deliveredLen;
  uint16_t extraParts;
  uint16_t partsTaken;
  // The queue link of the part taken last (rda_cliFetchNextPartOfColumnValue);
  // meaningful while partsTaken is above 0.
  RdaCliLink* partAt;

  // The value SQLGetData reads next (RDA_cliConsumed() once read whole), the
  // start of the current value (NULL for a NULL value, and before the first
  // fetch) and the SQL type of the current value item.
  const void* curValue;
  const void* startValue;
  int16_t curType;

  // The description's attribute text, cut into its parts in place, and the
  // parts the column answers for.
  wchar_t* attr;
  const wchar_t* baseColName;  // part 3
  const wchar_t* tableName;    // part 2
  const wchar_t* catalogName;  // part 0
  const wchar_t* schemaName;   // part 1
  const wchar_t* label;        // part 4
  const wchar_t* typeName;     // part 5

  uint32_t descFlags;  // RDA_CLI_DESC_* of the description
  RdaCliRing values;   // queue of RDA_CliValueItem
  int16_t arrayFlag;   // each row carries an element count, then the elements
};

// The mark a column's current value pointer carries once the value has been
// read whole.
inline const void* RDA_cliConsumed() {
  static const char mark = 0;
  return &mark;
}
