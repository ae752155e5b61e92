// Parameter values of the ODBC layer: the value an application bound to a
// parameter (LmoParam) made into the value the RDA client sends, at the
// start of every execution and at each SQLPutData; the long data collected
// in chunks; and the default C type of an SQL type.
#pragma once

#include <cstdint>

struct LmoStmt;
struct LmoParam;
struct RdaCliLink;

// Prepared values of date, time and timestamp C types are text of at most
// this many bytes.
inline constexpr int64_t kLmoDateTimeText = 60;

// Prepares every input parameter of the statement for an execution (output
// parameters only become ready): 0 when all are ready, 99 when some wait
// for data at execution (their prepared length is -2), -1 with a
// diagnostic.
int16_t CheckAndPrepareDataAtExecParams(LmoStmt* stmt, int32_t flags);
// Prepares one input value from the application's buffer: 0, or -1 with a
// diagnostic.
int16_t prepareParam(LmoStmt* stmt, LmoParam* param, int32_t flags);
// Non-zero when the client converts the parameter's C type to its SQL type.
int32_t paramValidConv(const LmoParam* param);
// Whether values of the parameter arrive in pieces (SQL_C_BINARY, or text
// for a character SQL type that takes long data).
bool lmoIsLongParam(const LmoParam* param);
// Takes one SQLPutData value into the current parameter: 0, or -1 with a
// diagnostic.
int16_t lmoPutDataValue(LmoStmt* stmt, LmoParam* param, const void* data, int64_t length);

// Frees the parameter's prepared value and its chunks and clears its ready
// flag.
void lmoFreeParamValue(LmoParam* param);
// Empties a ring of RDA_CliChunk.
void lmoFreeChunks(RdaCliLink* head);
// The bytes held by a ring of RDA_CliChunk.
int64_t lmoChunkBytes(const RdaCliLink* head);
// Unlinks and frees every parameter record of the statement.
void lmoFreeParams(LmoStmt* stmt);
// The statement's parameter of that number, or NULL.
LmoParam* lmoFindParam(LmoStmt* stmt, uint16_t number);

// The default C type of an SQL type; -1 when it has none.
int16_t getDefaultType(int16_t sqlType);
// The ODBC 3 code of a date, time or timestamp type when the environment is
// version 3; any other type as it is.
int16_t lmoOdbcVersionType(const LmoStmt* stmt, int16_t sqlType);
