#include "src/odbc/dispatch.h"

#include <algorithm>

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinfo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/qvprnt.h"
#include "src/rda/rda_perror.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/runtime/gutrace.h"

namespace {

// Unpackers: the words back into the core's arguments.
using W = uint64_t*;

template <class T>
T P(const W w, int32_t i) {
  return qvPtrArg<T>(w, i);
}
template <class T>
T S(const W w, int32_t i) {
  return qvScalarArg<T>(w, i);
}

using Env = LmoEnv*;
using Dbc = LmoDbc*;
using Stmt = LmoStmt*;
using Wc = wchar_t*;

}  // namespace

int16_t QvMtSQLAllocStmt(W w) { return QVSQLAllocStmt(P<Dbc>(w, 0), P<LmoStmt**>(w, 1)); }
int16_t QvMtSQLBindCol(W w) {
  return QVSQLBindCol(P<Stmt>(w, 0), S<uint16_t>(w, 1), S<int16_t>(w, 2), P<void*>(w, 3), S<int64_t>(w, 4),
                      P<int64_t*>(w, 5));
}
int16_t QvMtSQLCancel(W w) { return QVSQLCancel(P<Stmt>(w, 0)); }
int16_t QvMtSQLColAttributesW(W w) {
  return QVSQLColAttributesW(P<Stmt>(w, 0), S<uint16_t>(w, 1), S<uint16_t>(w, 2), P<void*>(w, 3), S<int16_t>(w, 4),
                             P<int16_t*>(w, 5), P<int64_t*>(w, 6));
}
int16_t QvMtSQLConnectW(W w) {
  return QVSQLConnectW(P<Dbc>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4), P<Wc>(w, 5),
                       S<int16_t>(w, 6));
}
int16_t QvMtSQLDescribeColW(W w) {
  return QVSQLDescribeColW(P<Stmt>(w, 0), S<uint16_t>(w, 1), P<Wc>(w, 2), S<int16_t>(w, 3), P<int16_t*>(w, 4),
                           P<int16_t*>(w, 5), P<uint64_t*>(w, 6), P<int16_t*>(w, 7), P<int16_t*>(w, 8));
}
int16_t QvMtSQLDisconnect(W w) { return QVSQLDisconnect(P<Dbc>(w, 0)); }
int16_t QvMtSQLErrorW(W w) {
  return QVSQLErrorW(P<Env>(w, 0), P<Dbc>(w, 1), P<Stmt>(w, 2), P<Wc>(w, 3), P<int32_t*>(w, 4), P<Wc>(w, 5),
                     S<int16_t>(w, 6), P<int16_t*>(w, 7));
}
int16_t QvMtSQLExecDirectW(W w) { return QVSQLExecDirectW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int32_t>(w, 2)); }
int16_t QvMtSQLExecute(W w) { return QVSQLExecute(P<Stmt>(w, 0)); }
int16_t QvMtSQLFetch(W w) { return QVSQLFetch(P<Stmt>(w, 0)); }
int16_t QvMtSQLFreeConnect(W w) { return QVSQLFreeConnect(P<Dbc>(w, 0)); }
int16_t QvMtSQLFreeStmt(W w) { return QVSQLFreeStmt(P<Stmt>(w, 0), S<uint16_t>(w, 1)); }
int16_t QvMtSQLGetCursorName(W w) {
  return QVSQLGetCursorName(P<Stmt>(w, 0), P<char*>(w, 1), S<int16_t>(w, 2), P<int16_t*>(w, 3));
}
int16_t QvMtSQLNumResultCols(W w) { return QVSQLNumResultCols(P<Stmt>(w, 0), P<int16_t*>(w, 1)); }
int16_t QvMtSQLPrepareW(W w) { return QVSQLPrepareW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int32_t>(w, 2)); }
int16_t QvMtSQLRowCount(W w) { return QVSQLRowCount(P<Stmt>(w, 0), P<int64_t*>(w, 1)); }
int16_t QvMtSQLSetCursorName(W w) { return QVSQLSetCursorName(P<Stmt>(w, 0), P<char*>(w, 1), S<int16_t>(w, 2)); }
int16_t QvMtSQLTransact(W w) { return QVSQLTransact(P<Env>(w, 0), P<Dbc>(w, 1), S<uint16_t>(w, 2)); }
int16_t QvMtSQLColumnsW(W w) {
  return QVSQLColumnsW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4), P<Wc>(w, 5),
                       S<int16_t>(w, 6), P<Wc>(w, 7), S<int16_t>(w, 8));
}
int16_t QvMtSQLGetConnectOption(W w) {
  return QVSQLGetConnectOption(P<Dbc>(w, 0), S<uint16_t>(w, 1), P<void*>(w, 2));
}
int16_t QvMtSQLGetData(W w) {
  return QVSQLGetData(P<Stmt>(w, 0), S<uint16_t>(w, 1), S<int16_t>(w, 2), P<void*>(w, 3), S<int64_t>(w, 4),
                      P<int64_t*>(w, 5));
}
int16_t QvMtSQLGetFunctions(W w) { return QVSQLGetFunctions(P<Dbc>(w, 0), S<uint16_t>(w, 1), P<uint16_t*>(w, 2)); }
int16_t QvMtSQLGetInfo(W w) {
  return QVSQLGetInfo(P<Dbc>(w, 0), S<uint16_t>(w, 1), P<void*>(w, 2), S<int16_t>(w, 3), P<int16_t*>(w, 4));
}
int16_t QvMtSQLGetStmtOptio(W w) { return QVSQLGetStmtOption(P<Stmt>(w, 0), S<uint16_t>(w, 1), P<void*>(w, 2)); }
int16_t QvMtSQLGetTypeInfoW(W w) { return QVSQLGetTypeInfoW(P<Stmt>(w, 0), S<int16_t>(w, 1)); }
int16_t QvMtSQLParamData(W w) { return QVSQLParamData(P<Stmt>(w, 0), P<void**>(w, 1)); }
int16_t QvMtSQLPutData(W w) { return QVSQLPutData(P<Stmt>(w, 0), P<void*>(w, 1), S<int64_t>(w, 2)); }
int16_t QvMtSQLSetConnectOption(W w) {
  return QVSQLSetConnectOption(P<Dbc>(w, 0), S<uint16_t>(w, 1), S<uint64_t>(w, 2));
}
int16_t QvMtSQLSetStmtOption(W w) { return QVSQLSetStmtOption(P<Stmt>(w, 0), S<uint16_t>(w, 1), S<uint64_t>(w, 2)); }
int16_t QvMtSQLSpecialColumnsW(W w) {
  return QVSQLSpecialColumnsW(P<Stmt>(w, 0), S<uint16_t>(w, 1), P<Wc>(w, 2), S<int16_t>(w, 3), P<Wc>(w, 4),
                              S<int16_t>(w, 5), P<Wc>(w, 6), S<int16_t>(w, 7), S<uint16_t>(w, 8), S<uint16_t>(w, 9));
}
int16_t QvMtSQLStatisticsW(W w) {
  return QVSQLStatisticsW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4), P<Wc>(w, 5),
                          S<int16_t>(w, 6), S<uint16_t>(w, 7), S<uint16_t>(w, 8));
}
int16_t QvMtSQLTablesW(W w) {
  return QVSQLTablesW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4), P<Wc>(w, 5),
                      S<int16_t>(w, 6), P<Wc>(w, 7), S<int16_t>(w, 8));
}
int16_t QvMtSQLDriverConnectW(W w) {
  return QVSQLDriverConnectW(P<Dbc>(w, 0), P<void*>(w, 1), P<Wc>(w, 2), S<int16_t>(w, 3), P<Wc>(w, 4),
                             S<int16_t>(w, 5), P<int16_t*>(w, 6), S<uint16_t>(w, 7));
}
int16_t QvMtSQLDescribeParam(W w) {
  return QVSQLDescribeParam(P<Stmt>(w, 0), S<uint16_t>(w, 1), P<int16_t*>(w, 2), P<uint64_t*>(w, 3),
                            P<int16_t*>(w, 4), P<int16_t*>(w, 5));
}
int16_t QvMtSQLForeignKeysW(W w) {
  return QVSQLForeignKeysW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4), P<Wc>(w, 5),
                           S<int16_t>(w, 6), P<Wc>(w, 7), S<int16_t>(w, 8), P<Wc>(w, 9), S<int16_t>(w, 10),
                           P<Wc>(w, 11), S<int16_t>(w, 12));
}
int16_t QvMtSQLNumParams(W w) { return QVSQLNumParams(P<Stmt>(w, 0), P<int16_t*>(w, 1)); }
int16_t QvMtSQLPrimaryKeysW(W w) {
  return QVSQLPrimaryKeysW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4), P<Wc>(w, 5),
                           S<int16_t>(w, 6));
}
int16_t QvMtSQLProcedureColumnsW(W w) {
  return QVSQLProcedureColumnsW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4),
                                P<Wc>(w, 5), S<int16_t>(w, 6), P<Wc>(w, 7), S<int16_t>(w, 8));
}
int16_t QvMtSQLProceduresW(W w) {
  return QVSQLProceduresW(P<Stmt>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4), P<Wc>(w, 5),
                          S<int16_t>(w, 6));
}
int16_t QvMtSQLBindParameter(W w) {
  return QVSQLBindParameter(P<Stmt>(w, 0), S<uint16_t>(w, 1), S<int16_t>(w, 2), S<int16_t>(w, 3), S<int16_t>(w, 4),
                            S<uint64_t>(w, 5), S<int16_t>(w, 6), P<void*>(w, 7), S<int64_t>(w, 8),
                            P<int64_t*>(w, 9));
}
int16_t QvMtSQLMoreResults(W w) { return QVSQLMoreResults(P<Stmt>(w, 0)); }
int16_t QvMtSQLExtendedFetch(W w) {
  return QVSQLExtendedFetch(P<Stmt>(w, 0), S<uint16_t>(w, 1), S<int64_t>(w, 2), P<uint64_t*>(w, 3),
                            P<uint16_t*>(w, 4));
}
int16_t QvMtSQLBrowseConnectW(W w) {
  return QVSQLBrowseConnectW(P<Dbc>(w, 0), P<Wc>(w, 1), S<int16_t>(w, 2), P<Wc>(w, 3), S<int16_t>(w, 4),
                             P<int16_t*>(w, 5));
}
int16_t QvMtSQLStartTransaction(W w) { return QVSQLStartTransaction(P<Dbc>(w, 0)); }
int16_t QvMtSQLParamAttributes(W w) {
  return QVSQLParamAttributes(P<Stmt>(w, 0), S<uint16_t>(w, 1), S<int16_t>(w, 2), S<int16_t>(w, 3),
                              S<int64_t>(w, 4), S<int16_t>(w, 5), P<void*>(w, 6), P<void*>(w, 7));
}

const QvOdbcFunc QvOdbcFuncs[kQvOdbcFuncCount] = {
    nullptr,
    QvMtSQLAllocStmt,         QvMtSQLBindCol,          QvMtSQLCancel,           QvMtSQLColAttributesW,
    QvMtSQLConnectW,          QvMtSQLDescribeColW,     QvMtSQLDisconnect,       QvMtSQLErrorW,
    QvMtSQLExecDirectW,       QvMtSQLExecute,          QvMtSQLFetch,            QvMtSQLFreeConnect,
    QvMtSQLFreeStmt,          QvMtSQLGetCursorName,    QvMtSQLNumResultCols,    QvMtSQLPrepareW,
    QvMtSQLRowCount,          QvMtSQLSetCursorName,    QvMtSQLTransact,         QvMtSQLColumnsW,
    QvMtSQLGetConnectOption,  QvMtSQLGetData,          QvMtSQLGetFunctions,     QvMtSQLGetInfo,
    QvMtSQLGetStmtOptio,      QvMtSQLGetTypeInfoW,     QvMtSQLParamData,        QvMtSQLPutData,
    QvMtSQLSetConnectOption,  QvMtSQLSetStmtOption,    QvMtSQLSpecialColumnsW,  QvMtSQLStatisticsW,
    QvMtSQLTablesW,           QvMtSQLDriverConnectW,   QvMtSQLDescribeParam,    QvMtSQLForeignKeysW,
    QvMtSQLNumParams,         QvMtSQLPrimaryKeysW,     QvMtSQLProcedureColumnsW, QvMtSQLProceduresW,
    QvMtSQLBindParameter,     QvMtSQLMoreResults,      QvMtSQLExtendedFetch,    QvMtSQLBrowseConnectW,
    QvMtSQLStartTransaction,  QvMtSQLParamAttributes,
};

const QvOdbcFunc* gQvOdbcFuncTable = QvOdbcFuncs;

namespace {

constexpr int16_t kBadNumber = static_cast<int16_t>(65535);

bool validNumber(int32_t number) { return number >= 1 && number < kQvOdbcFuncCount; }

void store(LmoTLS* ctx, int32_t number, int32_t wordCount, const uint64_t* words) {
  ctx->funcNumber = number;
  const int32_t n = std::clamp(wordCount, 0, kLmoArgWords);
  if (words != nullptr) std::copy(words, words + n, ctx->args);
}

int16_t call(LmoTLS* ctx, int32_t number) {
  const QvOdbcFunc f = validNumber(number) ? gQvOdbcFuncTable[number] : nullptr;
  // The call's records, written where its connection's records are the
  // caller's.
  const bool traced = ODBCTrace != 0 && f != nullptr;
  if (traced) QvTraceDispatched(1, number, 0, ctx->args);
  ctx->result = f != nullptr ? f(ctx->args) : kBadNumber;
  if (traced) QvTraceDispatched(2, number, ctx->result, ctx->args);
  return ctx->result;
}

}  // namespace

int16_t QvExecFuncOnThread(LmoTLS* ctx, int32_t number, int32_t wordCount, const uint64_t* words) {
  if (ctx == nullptr) return -1;
  if (QvIsMultiThreaded() == 0) {
    QvWaitForThreadSafeObject(hSerializeMutex);
    store(ctx, number, wordCount, words);
    const int16_t r = call(ctx, number);
    QvReleaseThreadSafeMutex(hSerializeMutex);
    return r;
  }
  const bool locks = number != QV_FN_CANCEL;
  if (locks) QvWaitForThreadSafeObject(ctx->connMutex);
  store(ctx, number, wordCount, words);
  AllTLS* set = ctx->servedDbc != nullptr ? &ctx->servedDbc->tls : nullptr;
  const uint64_t previous = QvChangeThreadIdInAllTLS(set, QvGetThreadId());
  const int16_t r = call(ctx, number);
  // A freed connection's records stay with the caller: the export's free
  // road removes them. A connection that was not freed is parked again.
  const bool freed = number == QV_FN_FREECONNECT && (r == 0 || r == 1);
  if (!freed) QvChangeThreadIdInAllTLS(set, previous);
  if (locks) QvReleaseThreadSafeMutex(ctx->connMutex);
  return r;
}

LmoTLS* QvGetWorkingTLS(LmoEnv*, LmoDbc* dbc, LmoStmt* stmt) {
  if (dbc != nullptr) return dbc->tls.lmo;
  if (stmt != nullptr && stmt->dbc != nullptr) return stmt->dbc->tls.lmo;
  return nullptr;
}

namespace {

constexpr const char* kSrc = "src/dispatch";

bool succeeded(int16_t r) { return r == 0 || r == 1; }

}  // namespace

int16_t QvCreateClientThreadOrAllocConnect(QvAllocConnectRequest* request) {
  int16_t r = -1;
  LmoDbc* dbc = nullptr;
  if (QvIsMultiThreaded() == 0) {
    r = QVSQLAllocConnectOnThread(request->env, &dbc);
    LmoTLS* ctx = getLmoTLS(0);
    if (succeeded(r) && dbc != nullptr && ctx != nullptr) {
      ctx->servedDbc = dbc;
      dbc->tls.lmo = ctx;
    }
  } else if (QvCreateAllTLS() == 1) {
    // Everything made here for the connection goes again when a later step
    // fails: the record set and the stack instance are the calling thread's
    // newest.
    QvCheckForMirodelConfig();
    uint32_t err = 0;
    QvMutexHandle mutex = nullptr;
    if (RDA_cliDuvikInit(&err, RDA_CLI_MODE_CONNECTION) != 1) {
      char name[kRdaErrorNameSize];
      TR_TRACE(kSrc, htrODBC, 1, "*** rda_cliAllocEnv: can't initialize the Duvik RDA stack, err=%s\n",
               rda_printError(err, name));
      QvRemoveAllTLS();
    } else if ((mutex = QvCreateMutex()) == nullptr) {
      TR_TRACE(kSrc, htrODBC, 2, "Can not create mutex\n");
      RDA_cliDuvikTerm(RDA_CLI_MODE_CONNECTION);
      QvRemoveAllTLS();
    } else if (r = QVSQLAllocConnectOnThread(request->env, &dbc); !succeeded(r) || dbc == nullptr) {
      QvDestroyMutex(mutex);
      RDA_cliDuvikTerm(RDA_CLI_MODE_CONNECTION);
      QvRemoveAllTLS();
      if (succeeded(r)) r = -1;
    } else {
      QvGetAllTLS(&dbc->tls);
      dbc->tls.lmo->servedDbc = dbc;
      dbc->tls.lmo->connMutex = mutex;
      QvChangeThreadIdInAllTLS(&dbc->tls, 0);
    }
  }
  if (request->out != nullptr) *request->out = succeeded(r) ? dbc : nullptr;
  if (request->result != nullptr) *request->result = r;
  return r;
}
