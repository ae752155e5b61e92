// The handlers of the RDA confirms: what each confirm means for the
// connection's state word and the statement's result, recorded before the
// receive entry queues the confirm for the waiting caller.
#pragma once

#include <cstdint>

#include "src/asn1/rda_sql.h"

struct GIDU;
struct RDA_CliHDBC;
struct RDA_CliHSTMT;

// A handler of the rdaConfirm table: (connection, the confirm's response
// member in its RDAXOPENIdu, the GIDU).
using RdaConfirmFn = void (*)(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);

// Native error of a further exception whose SQLSTATE is not five characters.
inline constexpr int32_t RDA_CLI_ERR_BAD_SQLSTATE = 52509;

void procInitCnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
void procTermCnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
void procBgnTransEcnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
void procCommitCnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
void procRollbackCnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
void procOpenCnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
void procCloseCnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
void procExecDBLCnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
// Clears the transaction-open bit.
void cleanUpTrans(RDA_CliHDBC* hdbc);
// The exception part of one result element into the statement's
// diagnostics and row count: 1, or 0 for a malformed exception.
int32_t copyDBLExcp(const RDAXOPENResultVals* row, RDA_CliHSTMT* hstmt);
