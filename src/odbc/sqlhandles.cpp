// Exports of the handle area: environments, connections and statements,
// their freeing, cancel and transactions.
#include <pthread.h>

#include "common/verinfo.h"
#include "src/odbc/cores.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmoenv.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwidebuf.h"
#include "src/odbc/qvprnt.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/sqlhandles";

// Held for the whole of SQLAllocEnv, start-up included.
pthread_mutex_t SerializeEntryMutex = PTHREAD_MUTEX_INITIALIZER;

class EntryLock {
 public:
  EntryLock() { pthread_mutex_lock(&SerializeEntryMutex); }
  ~EntryLock() { pthread_mutex_unlock(&SerializeEntryMutex); }
  EntryLock(const EntryLock&) = delete;
  EntryLock& operator=(const EntryLock&) = delete;
};


}  // namespace

SQLRETURN lmoSQLAllocEnv(SQLHENV* env) {
  EntryLock entry;
  if (iQvOdbcInitFlag == 0) {
    initODBC();
    if (QvOdbcAttached()) {
      QvCheckedLock global(hSerializeGlobalMutex);
      TR_TRACE(kSrc, htrODBC, 16, "***************************DRIVER INITIALIZATION***************************");
      if (gLmoShareVars == nullptr && lmoAllocEnv() != 0)
        TR_TRACE(kSrc, htrODBC, 2, "lmoAllocEnv() returned error. Driver initialization was not successful.");
    }
  }
  // Without a start-up that succeeded there is no driver-wide mutex to run
  // anything under.
  if (!QvOdbcAttached()) return SQL_ERROR;
  traceVersionInfo();
  if (ODBCTrace != 0) QVPrntSQLAllocEnv(1, SQL_SUCCESS, env);
  SQLRETURN rc;
  {
    QvDriverLock lock;
    rc = QVSQLAllocEnv(reinterpret_cast<LmoEnv**>(env));
  }
  if (ODBCTrace != 0) QVPrntSQLAllocEnv(2, rc, env);
  if (rc == SQL_SUCCESS && iQvOdbcInitFlag == 0) {
    if (QvIsMultiThreaded() != 0) QvChangeThreadIdInAllMainTLSInCache(0);
    iQvOdbcInitFlag = 1;
  }
  return rc;
}

SQLRETURN lmoSQLAllocConnect(SQLHENV env, SQLHDBC* dbc) {
  return qvTraced(QVPrntSQLAllocConnect, [&] {
    QvDriverLock lock;
    return QVSQLAllocConnect(static_cast<LmoEnv*>(env), reinterpret_cast<LmoDbc**>(dbc));
  }, env, dbc);
}

SQLRETURN lmoSQLFreeEnv(SQLHENV env) {
  return qvTraced(QVPrntSQLFreeEnv, [&] {
    QvDriverLock lock;
    return QVSQLFreeEnv(static_cast<LmoEnv*>(env));
  }, env);
}

namespace {

SQLRETURN freeConnect(SQLHDBC hdbc) {
  if (QvIsMultiThreaded() == 0) {
    QvDriverLock lock;
    return QVSQLFreeConnect(static_cast<LmoDbc*>(hdbc));
  }
  SQLRETURN rc = SQL_ERROR;
  LmoTLS* ctx = qvDbcContext(hdbc, &rc);
  if (ctx == nullptr) return rc;
  rda_cliPurgeEnvQueue(static_cast<LmoDbc*>(hdbc)->rdaDbc);
  rc = qvDispatch(ctx, QV_FN_FREECONNECT, hdbc);
  // A connection the core kept keeps its mutex, stack instance and records
  // (the dispatch parked them again); a freed one's are the caller's now.
  if (!qvOk(rc)) return rc;
  QvDestroyMutex(ctx->connMutex);
  ctx->connMutex = nullptr;
  RDA_cliDuvikTerm(RDA_CLI_MODE_CONNECTION);
  QvRemoveAllTLS();
  return rc;
}

}  // namespace

SQLRETURN lmoSQLFreeConnect(SQLHDBC hdbc) {
  return qvTraced(QVPrntSQLFreeConnect, [&] { return freeConnect(hdbc); }, hdbc);
}

SQLRETURN lmoSQLAllocStmt(SQLHDBC dbc, SQLHSTMT* stmt) { return qvOnDbc(dbc, QV_FN_ALLOCSTMT, dbc, stmt); }

SQLRETURN lmoSQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  return qvOnStmt(stmt, QV_FN_FREESTMT, stmt, &option);
}

// No lock: a cancel may come while the statement's connection is busy in
// another thread.
SQLRETURN lmoSQLCancel(SQLHSTMT stmt) {
  return qvTraced(QVPrntSQLCancel, [&] { return QVSQLCancel(static_cast<LmoStmt*>(stmt)); }, stmt);
}

SQLRETURN lmoSQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  if (dbc != nullptr) return qvOnDbc(dbc, QV_FN_TRANSACT, env, dbc, &completion);
  return qvTraced(QVPrntSQLTransact, [&] {
    QvDriverLock lock;
    return QVSQLTransact(static_cast<LmoEnv*>(env), nullptr, completion);
  }, env, dbc, completion);
}

SQLRETURN lmoSQLStartTransaction(SQLHDBC dbc) {
  if (dbc != nullptr) return qvOnDbc(dbc, QV_FN_STARTTRANSACTION, dbc);
  return qvTraced(QVPrntSQLStartTransaction, [&] {
    QvDriverLock lock;
    return QVSQLStartTransaction(nullptr);
  }, dbc);
}

// The driver's own function beyond the ODBC set.
QV_EXPORT SQLRETURN SQL_API SQLStartTransaction(SQLHDBC dbc);

QV_EXPORT SQLRETURN SQL_API SQLAllocEnv(SQLHENV* env) {
  try {
    return lmoSQLAllocEnv(env);
  } catch (...) {
    return SQL_ERROR;
  }
}
QV_EXPORT SQLRETURN SQL_API SQLAllocConnect(SQLHENV env, SQLHDBC* dbc) {
  return qvExport([&] { return lmoSQLAllocConnect(env, dbc); });
}
QV_EXPORT SQLRETURN SQL_API SQLFreeEnv(SQLHENV env) { return qvExport([&] { return lmoSQLFreeEnv(env); }); }
QV_EXPORT SQLRETURN SQL_API SQLFreeConnect(SQLHDBC dbc) { return qvExport([&] { return lmoSQLFreeConnect(dbc); }); }
QV_EXPORT SQLRETURN SQL_API SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* stmt) {
  return qvExport([&] { return lmoSQLAllocStmt(dbc, stmt); });
}
QV_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  return qvExport([&] { return qvAppFreeStmt(stmt, option); });
}
QV_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT stmt) { return qvExport([&] { return lmoSQLCancel(stmt); }); }
QV_EXPORT SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  return qvExport([&] { return lmoSQLTransact(env, dbc, completion); });
}
QV_EXPORT SQLRETURN SQL_API SQLStartTransaction(SQLHDBC dbc) {
  return qvExport([&] { return lmoSQLStartTransaction(dbc); });
}
