// The converters of bound parameters into X/Open SQL arguments: each builds
// the argument's data-type descriptor and appends its value (or, for long
// data in chunks, its run of values) to the request's value list. The
// converter of a parameter is the cell of bufToSQLTBL at its SQL type and
// its C type's column.
#pragma once

#include <array>
#include <cstdint>

#include "src/asn1/rda_sql.h"

struct RDA_CliHSTMT;
struct RDA_CliParm;
struct XmTree;

// (statement, parameter, out: the descriptor, value list, request tree):
// 1 built; 0 failed, after a trace line (and, for a value the parameter's
// SQL type cannot take, a diagnostic on the statement).
using RdaCliParamConverter = int32_t (*)(RDA_CliHSTMT* hstmt, const RDA_CliParm* parm, RDAXOPENSQLDataDescr** spec,
                                         RDASQLValList* values, XmTree* tree);

// Columns of the matrix by C type: entry (C type + 18) for C types -18..11,
// -999 for a C type without a column.
inline constexpr int32_t kRdaCliCTypeBase = 18;
inline constexpr uint32_t kRdaCliCTypes = 30;
inline constexpr int16_t kRdaCliNoColumn = -999;
extern const std::array<int16_t, kRdaCliCTypes> mapCType;

// Rows by SQL type: entry (SQL type + 10) for SQL types -10..12.
inline constexpr int32_t kRdaCliSqlTypeBase = 10;
inline constexpr uint32_t kRdaCliSqlRows = 23;
inline constexpr uint32_t kRdaCliCColumns = 16;
using RdaCliConverterRow = std::array<RdaCliParamConverter, kRdaCliCColumns>;
extern const std::array<RdaCliConverterRow, kRdaCliSqlRows> bufToSQLTBL;

// SQL_C_DEFAULT: looked up as C type 0, which has no column.
inline constexpr int16_t RDA_CLI_C_DEFAULT = 99;

// The matrix column of a C type; negative when it has none.
int32_t getCParamIndex(int16_t cType);
// The converter of the pair; NULL when the pair is refused.
RdaCliParamConverter RDA_cliParamConverter(int16_t cType, int16_t sqlType);
// 1 when a parameter of `cType` can be sent as `sqlType`, else 0.
int32_t rda_cliBindConvCheck(int16_t cType, int16_t sqlType);

// The converters.
int32_t cToC(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t cToV(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t cToN(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t cToX(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t cToT(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t cToWC(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t cToWV(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t wcToC(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t wcToV(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t wcToN(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t wcToX(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t wcToT(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t wcToWC(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t wcToWV(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t xToV(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t xToWV(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t lToN(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t sToN(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t lToI(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t ulToI(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t lToS(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t sToS(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t usToS(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t bitToBit(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t tiToTi(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t dbOrFToX(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
int32_t lbToB(RDA_CliHSTMT*, const RDA_CliParm*, RDAXOPENSQLDataDescr**, RDASQLValList*, XmTree*);
