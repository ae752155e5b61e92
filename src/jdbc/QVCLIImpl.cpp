// The natives of jdbc.sql.cli.qvcli: environment, connection, connect
// options, transactions and the bridge's configuration.
#include "src/jdbc/QVCLIImpl.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "src/jdbc/qvnatives.h"
#include "src/jdbc/qvprint.h"
#include "src/odbc/connstr.h"
#include "src/odbc/lmoinit.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"

namespace {

// Field IDs of qvcli, filled by its static initialiser (initStaticVarsCLI).
std::atomic<jfieldID> g_dbcID{nullptr};
std::atomic<jfieldID> g_envID{nullptr};
std::atomic<jfieldID> g_badConnectionID{nullptr};
std::atomic<jfieldID> g_inXATransactionID{nullptr};
std::atomic<jfieldID> g_transactionLevelID{nullptr};
std::atomic<jfieldID> g_systemStmtID{nullptr};

constexpr const char* kSrc = "src/QVCLIImpl";

// Limits of the string arguments, in characters.
constexpr size_t kUserChars = 512;
constexpr size_t kPasswordChars = 512;
constexpr size_t kDsnChars = 32;
constexpr size_t kConnectStrChars = 16384;
constexpr size_t kNativeSqlChars = 32768;
constexpr size_t kCatalogChars = 128;
// What SQLGetConnectOptionW can give for the current qualifier.
constexpr size_t kCatalogReadChars = 257;

// Connection options.
constexpr SQLUSMALLINT kOptQueryTimeout = 0;
constexpr SQLUSMALLINT kOptAccessMode = 101;
constexpr SQLUSMALLINT kOptAutocommit = 102;
constexpr SQLUSMALLINT kOptLoginTimeout = 103;
constexpr SQLUSMALLINT kOptTrace = 104;
constexpr SQLUSMALLINT kOptTxnIsolation = 108;
constexpr SQLUSMALLINT kOptCurrentQualifier = 109;

// Serialises getSubProtocol's re-reading of gszSubProtocol.
std::mutex gSubProtocolMutex;

struct FieldSpec {
  std::atomic<jfieldID>* id;
  const char* name;
  const char* signature;
  const char* missing;
};
constexpr FieldSpec kCliFields[] = {
    {&g_dbcID, "_sql_hdbc", "J", "Undefined Field '_sql_hdbc' "},
    {&g_envID, "_sql_henv", "J", "Undefined Field '_sql_henv' "},
    {&g_badConnectionID, "_badConnection", "Z", "Undefined Field '_badConnection' "},
    {&g_inXATransactionID, "_inXATransaction", "Z", "Undefined Field '_inXATransaction' "},
    {&g_transactionLevelID, "_transactionLevel", "I", "Undefined Field '_transactionLevel' "},
    {&g_systemStmtID, "_systemStmt", "Ljdbc/sql/cli/qvclistmt;", "Undefined Field '_systemStmt' "},
};

jfieldID id(const std::atomic<jfieldID>& cache) { return cache.load(std::memory_order_acquire); }

void setLong(JNIEnv* env, jobject obj, const std::atomic<jfieldID>& f, jlong value) {
  if (jfieldID i = id(f); i != nullptr) env->SetLongField(obj, i, value);
}
jint getInt(JNIEnv* env, jobject obj, const std::atomic<jfieldID>& f) {
  jfieldID i = id(f);
  return i != nullptr ? env->GetIntField(obj, i) : 0;
}
void setInt(JNIEnv* env, jobject obj, const std::atomic<jfieldID>& f, jint value) {
  if (jfieldID i = id(f); i != nullptr) env->SetIntField(obj, i, value);
}
bool getBool(JNIEnv* env, jobject obj, const std::atomic<jfieldID>& f) {
  jfieldID i = id(f);
  return i != nullptr && env->GetBooleanField(obj, i) != JNI_FALSE;
}

// A connection option read into a zeroed word; its low 32 bits.
SQLRETURN getOption(SQLHDBC hdbc, SQLUSMALLINT option, int32_t* value) {
  SQLULEN word = 0;
  const SQLRETURN rc = QvjCall([&] { return lmoSQLGetConnectOption(hdbc, option, &word); });
  *value = static_cast<int32_t>(static_cast<uint32_t>(word));
  return rc;
}

// A Java int as an option value: negative values stay negative.
SQLULEN optionValue(jint value) { return static_cast<SQLULEN>(static_cast<SQLLEN>(value)); }

SQLRETURN setOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
  return QvjCall([&] { return lmoSQLSetConnectOption(hdbc, option, value); });
}

// A native that sets one connection option from a scalar; the trace shows
// `shown`.
void setOptionNative(JNIEnv* env, jobject obj, SQLUSMALLINT option, SQLULEN value, const char* name,
                     void (*print)(int, long, long), long shown) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, shown);
  if (!QvCheckResult(env, obj, setOption(QvjCliDbc(env, obj), option, value), name)) return;
  if (JDBCTrace != 0) print(kQvPrntExit, 0, shown);
}

// A native that reads one connection option: false after its error path.
bool getOptionNative(JNIEnv* env, jobject obj, SQLUSMALLINT option, const char* name, void (*print)(int, long),
                     int32_t* value) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0);
  *value = 0;
  return QvCheckResult(env, obj, getOption(QvjCliDbc(env, obj), option, value), name);
}

}  // namespace

SQLHENV QvjCliEnv(JNIEnv* env, jobject cli) {
  jfieldID i = id(g_envID);
  return i != nullptr ? QvjHandle<SQLHENV>(env->GetLongField(cli, i)) : nullptr;
}

SQLHDBC QvjCliDbc(JNIEnv* env, jobject cli) {
  jfieldID i = id(g_dbcID);
  return i != nullptr ? QvjHandle<SQLHDBC>(env->GetLongField(cli, i)) : nullptr;
}

void logErrorMsg(JNIEnv* env, jobject obj, const char* name, SQLRETURN rc, QvjDiag* out, uint64_t level) {
  QvjReadDiagnostics(env, obj, "QVCLIImpl", name, rc, QvjCliEnv(env, obj), QvjCliDbc(env, obj), nullptr, true, out,
                     level);
}

void QvCheckError(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name) {
  QvjRaise(env, obj, rc, name, logErrorMsg);
}

void QvCheckWarning(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name) {
  QvjWarn(env, obj, rc, name, logErrorMsg);
}

bool QvCheckResult(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name) {
  return QvjCheck(env, obj, rc, name, logErrorMsg);
}

bool CondStartLocalTran(JNIEnv* env, jobject stmt, jobject cli) {
  if (cli == nullptr) return true;
  if (jfieldID i = id(g_systemStmtID); i != nullptr) {
    jobject system = env->GetObjectField(cli, i);
    const bool same = system != nullptr && env->IsSameObject(stmt, system) != JNI_FALSE;
    if (system != nullptr) env->DeleteLocalRef(system);
    if (same) return true;
  }
  if (getInt(env, cli, g_transactionLevelID) > 0) return true;
  if (getBool(env, cli, g_inXATransactionID)) return true;
  const jboolean autocommit = Java_jdbc_sql_cli_qvcli_getAutoCommit(env, cli);
  if (env->ExceptionCheck()) return false;
  if (autocommit != JNI_FALSE) return true;
  if (JDBCTrace != 0) TR_TRACE(kSrc, htrJDBC, 64, "\tLocal transaction started");
  setInt(env, cli, g_transactionLevelID, 1);
  return true;
}

// ---- Natives ----

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_initStaticVarsCLI(JNIEnv* env, jclass cls) {
  for (const FieldSpec& f : kCliFields) {
    jfieldID i = env->GetFieldID(cls, f.name, f.signature);
    if (i == nullptr) env->FatalError(f.missing);
    f.id->store(i, std::memory_order_release);
  }
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_initCLI(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] {
    // The first call starts the driver, and with it the trace.
    if (JDBCTrace != 0) QVPrntinitCLI(kQvPrntEntry, 0);
    SQLHENV henv = nullptr;
    SQLRETURN rc = SQL_ERROR;
    try {
      rc = lmoSQLAllocEnv(&henv);
    } catch (...) {
      rc = SQL_ERROR;
    }
    setLong(env, obj, g_envID, QvjField(henv));
    if (jfieldID i = id(g_badConnectionID); i != nullptr) env->SetBooleanField(obj, i, JNI_FALSE);
    if (!QvCheckResult(env, obj, rc, "initCLI")) return;
    if (JDBCTrace != 0) QVPrntinitCLI(kQvPrntExit, 0);
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_freeCLI(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] {
    if (JDBCTrace != 0) QVPrntfreeCLI(kQvPrntEntry, 0);
    SQLHENV henv = QvjCliEnv(env, obj);
    const SQLRETURN rc = QvjCall([&] { return lmoSQLFreeEnv(henv); });
    if (!QvCheckResult(env, obj, rc, "freeCLI")) return;
    if (JDBCTrace != 0) QVPrntfreeCLI(kQvPrntExit, 0);
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_openConnectionWithProperties(
    JNIEnv* env, jobject obj, jstring juid, jstring jpwd, jstring jdsn, jstring jconn, jboolean traceGiven,
    jboolean traceOn, jboolean readOnly, jboolean /*notRead*/, jboolean queryTimeoutGiven, jint queryTimeout,
    jboolean loginTimeoutGiven, jint loginTimeout, jboolean isolationGiven, jint isolation) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "openConnectionWithProperties";
    if (JDBCTrace != 0) QVPrntopenConnectionWithProperties(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr);
    if (jdsn == nullptr) {
      QvCheckError(env, obj, SQL_ERROR, kName);
      return;
    }
    wchar_t uid[kUserChars + 1];
    wchar_t pwd[kPasswordChars + 1];
    wchar_t dsn[kDsnChars + 1];
    QvjWideBuffer conn(kConnectStrChars + 1);
    if (conn.failed()) {
      QvjStringTaken(env, QvjStr::NoMemory, kName, "connection string", kConnectStrChars);
      return;
    }
    if (!QvjTakeString(env, juid, uid, kUserChars, kName, "user name") ||
        !QvjTakeString(env, jpwd, pwd, kPasswordChars, kName, "password") ||
        !QvjTakeString(env, jdsn, dsn, kDsnChars, kName, "data source name") ||
        !QvjTakeString(env, jconn, conn.get(), kConnectStrChars, kName, "connection string"))
      return;
    if (JDBCTrace != 0) QVPrntopenConnectionWithProperties(kQvPrntStrings, 0, uid, pwd, dsn, conn.get());

    SQLHENV henv = QvjCliEnv(env, obj);
    SQLHDBC hdbc = nullptr;
    const SQLRETURN alloc = QvjCall([&] { return lmoSQLAllocConnect(henv, &hdbc); });
    if (!QvCheckResult(env, obj, alloc, "openConnection")) return;
    setLong(env, obj, g_dbcID, QvjField(hdbc));

    if (conn.get()[0] != L'\0') {
      // The connection string is parsed at connect time by the ODBC layer.
      if (LmoDbc* d = lmoLiveDbc(hdbc); d != nullptr) QvSetConnectStr(d, conn.get());
    }
    struct Option {
      bool given;
      SQLUSMALLINT option;
      SQLULEN value;
    };
    const Option options[] = {
        {traceGiven != JNI_FALSE, kOptTrace, traceOn != JNI_FALSE ? 1u : 0u},
        {readOnly != JNI_FALSE, kOptAccessMode, 1},
        {queryTimeoutGiven != JNI_FALSE, kOptQueryTimeout, optionValue(queryTimeout)},
        {loginTimeoutGiven != JNI_FALSE, kOptLoginTimeout, optionValue(loginTimeout)},
        {isolationGiven != JNI_FALSE, kOptTxnIsolation, optionValue(isolation)},
        {true, kOptAutocommit, 1},
    };
    for (const Option& o : options) {
      if (!o.given) continue;
      if (!QvCheckResult(env, obj, setOption(hdbc, o.option, o.value), kName)) return;
    }
    const SQLRETURN rc =
        QvjCall([&] { return lmoSQLConnectW(hdbc, dsn, SQL_NTS, uid, SQL_NTS, pwd, SQL_NTS); });
    if (!QvCheckResult(env, obj, rc, kName)) return;
    if (JDBCTrace != 0) QVPrntopenConnectionWithProperties(kQvPrntExit, 0, uid, pwd, dsn, conn.get());
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_closeConnection(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "closeConnection";
    if (JDBCTrace != 0) QVPrntcloseConnection(kQvPrntEntry, 0);
    SQLHDBC hdbc = QvjCliDbc(env, obj);
    if (!QvCheckResult(env, obj, QvjCall([&] { return lmoSQLDisconnect(hdbc); }), kName)) return;
    if (!QvCheckResult(env, obj, QvjCall([&] { return lmoSQLFreeConnect(hdbc); }), kName)) return;
    // The handle is gone: later natives must not pass it on.
    setLong(env, obj, g_dbcID, 0);
    if (JDBCTrace != 0) QVPrntcloseConnection(kQvPrntExit, 0);
  });
}

QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_nativeSql(JNIEnv* env, jobject obj, jstring jsql) {
  return QvjGuard(env, jstring{nullptr}, [&]() -> jstring {
    constexpr const char* kName = "nativeSql";
    if (JDBCTrace != 0) QVPrntnativeSql(kQvPrntEntry, 0, nullptr, nullptr);
    if (jsql == nullptr) {
      QvCheckError(env, obj, SQL_ERROR, kName);
      return nullptr;
    }
    QvjWideBuffer sql(kNativeSqlChars + 1);
    if (sql.failed()) {
      QvjStringTaken(env, QvjStr::NoMemory, kName, "SQL text", kNativeSqlChars);
      return nullptr;
    }
    if (!QvjTakeString(env, jsql, sql.get(), kNativeSqlChars, kName, "SQL text")) return nullptr;
    if (JDBCTrace != 0) QVPrntnativeSql(kQvPrntStrings, 0, sql.get(), nullptr);
    jstring result = NewStringFromWstr(env, sql.get());
    if (result != nullptr && JDBCTrace != 0) QVPrntnativeSql(kQvPrntExit, 0, sql.get(), sql.get());
    return result;
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(JNIEnv* env, jobject obj, jboolean value) {
  const long on = value != JNI_FALSE ? 1 : 0;
  QvjGuardVoid(env, [&] { setOptionNative(env, obj, kOptAutocommit, on, "setAutoCommit", QVPrntsetAutoCommit, on); });
}

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_getAutoCommit(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jboolean{JNI_TRUE}, [&]() -> jboolean {
    int32_t value = 0;
    // A failed question counts as autocommit on.
    if (!getOptionNative(env, obj, kOptAutocommit, "getAutoCommit", QVPrntgetAutoCommit, &value)) return JNI_TRUE;
    if (JDBCTrace != 0) QVPrntgetAutoCommit(kQvPrntExit, value == 1);
    return value == 1 ? JNI_TRUE : JNI_FALSE;
  });
}

namespace {

// internalCommit and internalRollback: the local transaction ends before the
// call, also when the call fails.
void transact(JNIEnv* env, jobject obj, SQLUSMALLINT completion) {
  const bool commit = completion == SQL_COMMIT;
  if (JDBCTrace != 0) (commit ? QVPrntcommit : QVPrntrollback)(kQvPrntEntry, 0);
  setInt(env, obj, g_transactionLevelID, 0);
  if (JDBCTrace != 0)
    TR_TRACE(kSrc, htrJDBC, 64, "%s", commit ? "\tLocal transaction commited" : "\tLocal transaction rolled back");
  SQLHENV henv = QvjCliEnv(env, obj);
  SQLHDBC hdbc = QvjCliDbc(env, obj);
  const SQLRETURN rc = QvjCall([&] { return lmoSQLTransact(henv, hdbc, completion); });
  if (!QvCheckResult(env, obj, rc, commit ? "commit" : "rollback")) return;
  if (JDBCTrace != 0) (commit ? QVPrntcommit : QVPrntrollback)(kQvPrntExit, 0);
}

}  // namespace

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_internalCommit(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] { transact(env, obj, SQL_COMMIT); });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_internalRollback(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] { transact(env, obj, SQL_ROLLBACK); });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_setReadOnly(JNIEnv* env, jobject obj, jboolean value) {
  const long on = value != JNI_FALSE ? 1 : 0;
  QvjGuardVoid(env, [&] { setOptionNative(env, obj, kOptAccessMode, on, "setReadOnly", QVPrntsetReadOnly, on); });
}

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_isReadOnly(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jboolean{JNI_FALSE}, [&]() -> jboolean {
    int32_t value = 0;
    if (!getOptionNative(env, obj, kOptAccessMode, "isReadOnly", QVPrntisReadOnly, &value)) return JNI_FALSE;
    if (JDBCTrace != 0) QVPrntisReadOnly(kQvPrntExit, value == 1);
    return value == 1 ? JNI_TRUE : JNI_FALSE;
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_setCatalog(JNIEnv* env, jobject obj, jstring jcatalog) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "setCatalog";
    if (JDBCTrace != 0) QVPrntsetCatalog(kQvPrntEntry, 0, nullptr);
    if (jcatalog == nullptr) {
      QvCheckError(env, obj, SQL_ERROR, kName);
      return;
    }
    wchar_t catalog[kCatalogChars + 1];
    if (!QvjTakeString(env, jcatalog, catalog, kCatalogChars, kName, "catalog name")) return;
    if (JDBCTrace != 0) QVPrntsetCatalog(kQvPrntStrings, 0, catalog);
    SQLHDBC hdbc = QvjCliDbc(env, obj);
    const SQLRETURN rc = QvjCall([&] {
      return lmoSQLSetConnectOptionW(hdbc, kOptCurrentQualifier, static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(catalog)));
    });
    if (!QvCheckResult(env, obj, rc, kName)) return;
    if (JDBCTrace != 0) QVPrntsetCatalog(kQvPrntExit, 0, catalog);
  });
}

QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_getCatalog(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jstring{nullptr}, [&]() -> jstring {
    if (JDBCTrace != 0) QVPrntgetCatalog(kQvPrntEntry, 0, nullptr);
    wchar_t catalog[kCatalogReadChars] = {0};
    SQLHDBC hdbc = QvjCliDbc(env, obj);
    const SQLRETURN rc = QvjCall([&] { return lmoSQLGetConnectOptionW(hdbc, kOptCurrentQualifier, catalog); });
    if (!QvCheckResult(env, obj, rc, "getCatalog")) return nullptr;
    catalog[kCatalogReadChars - 1] = L'\0';
    jstring result = NewStringFromWstr(env, catalog);
    if (result != nullptr && JDBCTrace != 0) QVPrntgetCatalog(kQvPrntExit, 0, catalog);
    return result;
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_setTransactionIsolation(JNIEnv* env, jobject obj, jint level) {
  QvjGuardVoid(env, [&] {
    setOptionNative(env, obj, kOptTxnIsolation, optionValue(level), "setTransactionIsolation",
                    QVPrntsetTransactionIsolation, level);
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvcli_getTransactionIsolation(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0}, [&]() -> jint {
    int32_t value = 0;
    if (!getOptionNative(env, obj, kOptTxnIsolation, "getTransactionIsolation", QVPrntgetTransactionIsolation,
                         &value))
      return 0;
    if (JDBCTrace != 0) QVPrntgetTransactionIsolation(kQvPrntExit, value);
    return value;
  });
}

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_isConnected(JNIEnv* env, jobject obj) {
  return QvjCliDbc(env, obj) != nullptr && !getBool(env, obj, g_badConnectionID) ? JNI_TRUE : JNI_FALSE;
}

QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_getSubProtocol(JNIEnv* env, jobject /*obj*/) {
  return QvjGuard(env, jstring{nullptr}, [&]() -> jstring {
    if (JDBCTrace != 0) QVPrntgetSubProtocol(kQvPrntEntry, nullptr);
    char current[kQvSubProtocolSize];
    {
      std::lock_guard<std::mutex> lock(gSubProtocolMutex);
      // A path too long for the buffer keeps the value read at start-up.
      const char* ini = std::getenv("MIRODEL_INI");
      if (ini != nullptr && std::strlen(ini) < QV_PATH_SIZE) {
        char path[QV_PATH_SIZE];
        std::strcpy(path, ini);
        if (FILE* f = std::fopen(path, "r"); f != nullptr) {
          std::fclose(f);
          char value[kQvSubProtocolSize] = {0};
          GetPrivateProfileString("JDBC", "URLSubProtocol", "Varenta", value, kQvSubProtocolSize, path);
          const char* stripped = lmo_blank_stripA(value);
          std::snprintf(gszSubProtocol, kQvSubProtocolSize, "%s", stripped);
        }
      }
      std::snprintf(current, sizeof current, "%s", gszSubProtocol);
    }
    if (JDBCTrace != 0) QVPrntgetSubProtocol(kQvPrntExit, current);
    return QvCstrToJstr(env, current, -1);
  });
}

QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_getTraceFileName(JNIEnv* env, jobject /*obj*/) {
  return QvjGuard(env, jstring{nullptr}, [&] { return QvCstrToJstr(env, gpcTraceFile, -1); });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvcli_getTraceLevel(JNIEnv* /*env*/, jobject /*obj*/) {
  return JDBCTraceLevel;
}
