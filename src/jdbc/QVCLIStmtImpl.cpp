// The natives of jdbc.sql.cli.qvclistmt that give a JDBC statement its ODBC
// statement, run SQL text directly, step through the result, read its
// values and describe its columns (the object is at once Statement,
// ResultSet and ResultSetMetaData), and the statement side's error path.
#include "src/jdbc/QVCLIStmtImpl.h"

#include <atomic>
#include <cstring>

#include "src/jdbc/QVCLIImpl.h"
#include "src/jdbc/qvjtypes.h"
#include "src/jdbc/qvnatives.h"
#include "src/jdbc/qvprint.h"
#include "src/odbc/lmoinit.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/QVCLIStmtImpl";

// Field IDs of qvclistmt, filled by its static initialiser
// (initStaticVarsCLISTMT).
std::atomic<jfieldID> g_dbcID{nullptr};
std::atomic<jfieldID> g_stmtID{nullptr};
std::atomic<jfieldID> g_numParamsID{nullptr};
std::atomic<jfieldID> g_paramDataArrayID{nullptr};
std::atomic<jfieldID> g_wasNullID{nullptr};
std::atomic<jfieldID> g_wasParamNullID{nullptr};
std::atomic<jfieldID> g_parentCliID{nullptr};

struct FieldSpec {
  std::atomic<jfieldID>* id;
  const char* name;
  const char* signature;
  const char* missing;
};
constexpr FieldSpec kStmtFields[] = {
    {&g_dbcID, "_sql_hdbc", "J", "Undefined Field '_sql_hdbc' "},
    {&g_stmtID, "_sql_hstmt", "J", "Undefined Field '_sql_hstmt' "},
    {&g_numParamsID, "_sql_numParams", "J", "Undefined Field '_sql_numParams' "},
    {&g_paramDataArrayID, "_sql_paramDataArray", "J", "Undefined Field '_sql_paramDataArray' "},
    {&g_wasNullID, "_sql_wasnull", "J", "Undefined Field '_sql_wasnull' "},
    {&g_wasParamNullID, "_param_wasnull", "J", "Undefined Field '_param_wasnull' "},
    {&g_parentCliID, "_parentCli", "Ljdbc/sql/cli/qvcli;", "Undefined Field '_parentCli' "},
};

// Limits of the string arguments, in characters.
constexpr size_t kSqlChars = 32768;
constexpr size_t kCursorNameChars = 128;
// Wide buffers of what the statement reads back.
constexpr SQLSMALLINT kCursorNameRead = 129;
constexpr SQLSMALLINT kAttributeBytes = 516;

// Statement options.
constexpr SQLUSMALLINT kOptQueryTimeout = 0;
constexpr SQLUSMALLINT kOptMaxRows = 1;
constexpr SQLUSMALLINT kOptNoScan = 2;
constexpr SQLUSMALLINT kOptMaxLength = 3;

jfieldID id(const std::atomic<jfieldID>& cache) { return cache.load(std::memory_order_acquire); }

jlong getLong(JNIEnv* env, jobject obj, const std::atomic<jfieldID>& f) {
  jfieldID i = id(f);
  return i != nullptr ? env->GetLongField(obj, i) : 0;
}
void setLong(JNIEnv* env, jobject obj, const std::atomic<jfieldID>& f, jlong value) {
  if (jfieldID i = id(f); i != nullptr) env->SetLongField(obj, i, value);
}

SQLHDBC stmtDbc(JNIEnv* env, jobject obj) { return QvjHandle<SQLHDBC>(getLong(env, obj, g_dbcID)); }
SQLHSTMT stmtHandle(JNIEnv* env, jobject obj) { return QvjHandle<SQLHSTMT>(getLong(env, obj, g_stmtID)); }

// The column number of a first read: its negative asks the ODBC layer to
// read the column again from its start.
SQLUSMALLINT restartColumn(jint column) { return static_cast<SQLUSMALLINT>(-column); }

// A statement option's low 32 bits, read into a zeroed word.
jint getOptionNative(JNIEnv* env, jobject obj, SQLUSMALLINT option, const char* name, void (*print)(int, long)) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0);
  SQLULEN word = 0;
  SQLHSTMT hstmt = stmtHandle(env, obj);
  const SQLRETURN rc = QvjCall([&] { return lmoSQLGetStmtOption(hstmt, option, &word); });
  if (!QvCheckResultStmt(env, obj, rc, name)) return 0;
  const auto value = static_cast<jint>(static_cast<uint32_t>(word));
  if (JDBCTrace != 0) print(kQvPrntExit, value);
  return value;
}

// A Java int as an option value (negative values stay negative); the trace
// shows `shown`.
void setOptionNative(JNIEnv* env, jobject obj, SQLUSMALLINT option, jint value, const char* name,
                     void (*print)(int, long, long), long shown) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, shown);
  SQLHSTMT hstmt = stmtHandle(env, obj);
  const SQLRETURN rc = QvjCall(
      [&] { return lmoSQLSetStmtOption(hstmt, option, static_cast<SQLULEN>(static_cast<SQLLEN>(value))); });
  if (!QvCheckResultStmt(env, obj, rc, name)) return;
  if (JDBCTrace != 0) print(kQvPrntExit, 0, shown);
}
void setOptionNative(JNIEnv* env, jobject obj, SQLUSMALLINT option, jint value, const char* name,
                     void (*print)(int, long, long)) {
  setOptionNative(env, obj, option, value, name, print, value);
}

// next and getMoreResults: no data is false, a warning is chained, any
// other failure is thrown without its diagnostic text (which goes to the
// trace only).
jboolean stepResult(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name, const char* traceName,
                    const wchar_t* message) {
  if (rc == SQL_SUCCESS) return JNI_TRUE;
  if (rc == SQL_NO_DATA) return JNI_FALSE;
  // The row (or the next result) is there: the warning is chained.
  if (rc == SQL_SUCCESS_WITH_INFO) {
    QvCheckWarningStmt(env, obj, rc, name);
    return env->ExceptionCheck() ? JNI_FALSE : JNI_TRUE;
  }
  logErrorMsgStmt(env, obj, traceName, rc, nullptr, 2);
  QvSignalError(env, message, L"", 0);
  return JNI_FALSE;
}

// A numeric column value (0 for NULL); sets _sql_wasnull.
template <class Value, class Shown>
Value getNumber(JNIEnv* env, jobject obj, jint column, SQLSMALLINT cType, const char* name,
                void (*print)(int, Shown, long)) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, column);
  Value value{};
  SQLLEN indicator = 0;
  SQLHSTMT hstmt = stmtHandle(env, obj);
  const SQLRETURN rc = QvjCall(
      [&] { return lmoSQLGetData(hstmt, restartColumn(column), cType, &value, sizeof value, &indicator); });
  if (!QvCheckResultStmt(env, obj, rc, name)) return 0;
  setLong(env, obj, g_wasNullID, indicator == SQL_NULL_DATA ? 1 : 0);
  if (JDBCTrace != 0) print(kQvPrntExit, value, column);
  return value;
}

// A date, time or timestamp column as an int array; null for NULL.
template <class Struct, int Fields>
jintArray getDateTime(JNIEnv* env, jobject obj, jint column, SQLSMALLINT cType, const char* name,
                      void (*fields)(const Struct&, jint*), void (*print)(int, long, long, const Struct*)) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, column, nullptr);
  Struct value{};
  SQLLEN indicator = 0;
  SQLHSTMT hstmt = stmtHandle(env, obj);
  const SQLRETURN rc = QvjCall(
      [&] { return lmoSQLGetData(hstmt, restartColumn(column), cType, &value, sizeof value, &indicator); });
  if (!QvCheckResultStmt(env, obj, rc, name)) return nullptr;
  if (indicator == SQL_NULL_DATA) {
    if (JDBCTrace != 0) print(kQvPrntExit, 0, column, nullptr);
    return nullptr;
  }
  jint out[Fields];
  fields(value, out);
  jintArray array = env->NewIntArray(Fields);
  if (array == nullptr) return nullptr;
  env->SetIntArrayRegion(array, 0, Fields, out);
  if (JDBCTrace != 0) print(kQvPrntExit, 0, column, &value);
  return array;
}

// A ResultSetMetaData number.
jint colNumber(JNIEnv* env, jobject obj, jint column, SQLUSMALLINT field, QvjColRule rule, const char* name,
               void (*print)(int, long, long)) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, column);
  SQLLEN number = 0;
  SQLHSTMT hstmt = stmtHandle(env, obj);
  const SQLRETURN rc = QvjCall([&] {
    return lmoSQLColAttributes(hstmt, static_cast<SQLUSMALLINT>(column), field, nullptr, 0, nullptr, &number);
  });
  if (!QvCheckResultStmt(env, obj, rc, name)) return 0;
  const jint result = QvjColAttributeResult(rule, number);
  if (JDBCTrace != 0) print(kQvPrntExit, result, column);
  return result;
}

// A ResultSetMetaData text.
jstring colText(JNIEnv* env, jobject obj, jint column, SQLUSMALLINT field, const char* name,
                void (*print)(int, long, long, const wchar_t*)) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, column, nullptr);
  wchar_t text[kAttributeBytes / sizeof(wchar_t)] = {0};
  SQLSMALLINT length = 0;
  SQLHSTMT hstmt = stmtHandle(env, obj);
  const SQLRETURN rc = QvjCall([&] {
    return lmoSQLColAttributesW(hstmt, static_cast<SQLUSMALLINT>(column), field, text, kAttributeBytes, &length,
                                nullptr);
  });
  if (!QvCheckResultStmt(env, obj, rc, name)) return nullptr;
  text[kAttributeBytes / sizeof(wchar_t) - 1] = L'\0';
  jstring result = NewStringFromWstr(env, text);
  if (result != nullptr && JDBCTrace != 0) print(kQvPrntExit, 0, column, text);
  return result;
}

void deleteLocal(JNIEnv* env, jobject ref) {
  if (ref != nullptr) env->DeleteLocalRef(ref);
}

}  // namespace

SQLHDBC QvjStmtDbc(JNIEnv* env, jobject stmt) { return stmtDbc(env, stmt); }
SQLHSTMT QvjStmtHandle(JNIEnv* env, jobject stmt) { return stmtHandle(env, stmt); }
void QvjSetStmtHandle(JNIEnv* env, jobject stmt, SQLHSTMT hstmt) { setLong(env, stmt, g_stmtID, QvjField(hstmt)); }
jlong QvjStmtNumParams(JNIEnv* env, jobject stmt) { return getLong(env, stmt, g_numParamsID); }
void QvjSetStmtNumParams(JNIEnv* env, jobject stmt, jlong count) { setLong(env, stmt, g_numParamsID, count); }
jlong QvjStmtParamArray(JNIEnv* env, jobject stmt) { return getLong(env, stmt, g_paramDataArrayID); }
void QvjSetStmtParamArray(JNIEnv* env, jobject stmt, jlong address) {
  setLong(env, stmt, g_paramDataArrayID, address);
}
void QvjSetParamWasNull(JNIEnv* env, jobject stmt, jlong value) { setLong(env, stmt, g_wasParamNullID, value); }

bool QvjStmtStartLocalTran(JNIEnv* env, jobject stmt) {
  jobject parent = nullptr;
  if (jfieldID i = id(g_parentCliID); i != nullptr) parent = env->GetObjectField(stmt, i);
  const bool go = CondStartLocalTran(env, stmt, parent);
  deleteLocal(env, parent);
  return go;
}

void logErrorMsgStmt(JNIEnv* env, jobject obj, const char* name, SQLRETURN rc, QvjDiag* out, uint64_t level) {
  SQLHDBC hdbc = nullptr;
  SQLHSTMT hstmt = nullptr;
  if (env != nullptr) {
    hdbc = stmtDbc(env, obj);
    hstmt = stmtHandle(env, obj);
  }
  QvjReadDiagnostics(env, obj, "QVCLIStmtImpl", name, rc, nullptr, hdbc, hstmt, hdbc != nullptr && hstmt != nullptr,
                     out, level);
}

void QvCheckErrorStmt(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name) {
  QvjRaise(env, obj, rc, name, logErrorMsgStmt);
}

void QvCheckWarningStmt(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name) {
  QvjWarn(env, obj, rc, name, logErrorMsgStmt);
}

bool QvCheckResultStmt(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name) {
  return QvjCheck(env, obj, rc, name, logErrorMsgStmt);
}

// ---- Statement natives ----

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_initStaticVarsCLISTMT(JNIEnv* env, jclass cls) {
  for (const FieldSpec& f : kStmtFields) {
    jfieldID i = env->GetFieldID(cls, f.name, f.signature);
    if (i == nullptr) env->FatalError(f.missing);
    f.id->store(i, std::memory_order_release);
  }
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_createStmt(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0}, [&]() -> jint {
    if (JDBCTrace != 0) QVPrntcreateStmt(kQvPrntEntry, 0);
    if (SQLHSTMT old = stmtHandle(env, obj); old != nullptr) {
      QvjCall([&] { return lmoSQLFreeStmt(old, SQL_DROP); });
      setLong(env, obj, g_stmtID, 0);
    }
    SQLHDBC hdbc = stmtDbc(env, obj);
    SQLHSTMT hstmt = nullptr;
    const SQLRETURN rc = QvjCall([&] { return lmoSQLAllocStmt(hdbc, &hstmt); });
    if (!QvjSucceeded(rc)) {
      QvCheckErrorStmt(env, obj, rc, "createStmt");
      return 0;
    }
    setLong(env, obj, g_stmtID, QvjField(hstmt));
    if (rc == SQL_SUCCESS_WITH_INFO) QvCheckWarningStmt(env, obj, rc, "createStmt");
    if (JDBCTrace != 0) QVPrntcreateStmt(kQvPrntExit, 0);
    return rc;
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_closeStmt(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] {
    if (JDBCTrace != 0) QVPrntcloseStmt(kQvPrntEntry, 0);
    SQLHSTMT hstmt = stmtHandle(env, obj);
    if (hstmt != nullptr) {
      const SQLRETURN closed = QvjCall([&] { return lmoSQLFreeStmt(hstmt, SQL_CLOSE); });
      const SQLRETURN dropped = QvjCall([&] { return lmoSQLFreeStmt(hstmt, SQL_DROP); });
      setLong(env, obj, g_stmtID, 0);
      if (!QvCheckResultStmt(env, obj, closed, "closeStmt SQL_CLOSE")) return;
      if (!QvCheckResultStmt(env, obj, dropped, "closeStmt SQL_DROP")) return;
    }
    if (JDBCTrace != 0) QVPrntcloseStmt(kQvPrntExit, 0);
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_closeResultSet(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] {
    if (JDBCTrace != 0) QVPrntcloseResultSet(kQvPrntEntry, 0);
    SQLHSTMT hstmt = stmtHandle(env, obj);
    if (hstmt != nullptr &&
        !QvCheckResultStmt(env, obj, QvjCall([&] { return lmoSQLFreeStmt(hstmt, SQL_CLOSE); }), "closeStmt"))
      return;
    if (JDBCTrace != 0) QVPrntcloseResultSet(kQvPrntExit, 0);
  });
}

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(JNIEnv* env, jobject obj,
                                                                                  jstring jsql) {
  return QvjGuard(env, jboolean{JNI_FALSE}, [&]() -> jboolean {
    constexpr const char* kName = "Execute";
    SQLHDBC hdbc = stmtDbc(env, obj);
    if (JDBCTrace != 0) QVPrntExecute(kQvPrntEntry, 0, nullptr);
    if (jsql == nullptr) {
      QvCheckErrorStmt(env, obj, SQL_ERROR, kName);
      return JNI_FALSE;
    }
    QvjWideBuffer sql(kSqlChars + 1);
    if (sql.failed()) {
      QvjStringTaken(env, QvjStr::NoMemory, kName, "SQL text", kSqlChars);
      return JNI_FALSE;
    }
    if (!QvjTakeString(env, jsql, sql.get(), kSqlChars, kName, "SQL text")) return JNI_FALSE;
    if (JDBCTrace != 0) QVPrntExecute(kQvPrntStrings, 0, sql.get());

    SQLHSTMT hstmt = stmtHandle(env, obj);
    if (hstmt != nullptr) {
      if (!QvCheckResultStmt(env, obj, QvjCall([&] { return lmoSQLFreeStmt(hstmt, SQL_CLOSE); }), kName))
        return JNI_FALSE;
    } else {
      const SQLRETURN rc = QvjCall([&] { return lmoSQLAllocStmt(hdbc, &hstmt); });
      if (QvjSucceeded(rc)) setLong(env, obj, g_stmtID, QvjField(hstmt));
      if (!QvCheckResultStmt(env, obj, rc, kName)) return JNI_FALSE;
    }
    if (!QvjStmtStartLocalTran(env, obj)) return JNI_FALSE;
    // Parameters bound by an earlier prepared execution on this statement
    // point into records that may be gone: a direct text runs without them.
    SQLRETURN rc = QvjCall([&] { return lmoSQLFreeStmt(hstmt, SQL_RESET_PARAMS); });
    if (!QvCheckResultStmt(env, obj, rc, kName)) return JNI_FALSE;
    rc = QvjCall([&] { return lmoSQLExecDirectW(hstmt, sql.get(), SQL_NTS); });
    if (JDBCTrace != 0) TR_TRACE(kSrc, htrJDBC, 256, "after SQLExecDirect");
    if (!QvCheckResultStmt(env, obj, rc, kName)) return JNI_FALSE;
    SQLSMALLINT count = 0;
    rc = QvjCall([&] { return lmoSQLNumResultCols(hstmt, &count); });
    if (!QvCheckResultStmt(env, obj, rc, kName)) return JNI_FALSE;
    const jboolean result = count > 0 ? JNI_TRUE : JNI_FALSE;
    if (JDBCTrace != 0) QVPrntExecute(kQvPrntExit, result, sql.get());
    return result;
  });
}

namespace {

jint rowCount(JNIEnv* env, jobject obj, const char* name, void (*print)(int, long)) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0);
  SQLLEN rows = 0;
  SQLHSTMT hstmt = stmtHandle(env, obj);
  if (!QvCheckResultStmt(env, obj, QvjCall([&] { return lmoSQLRowCount(hstmt, &rows); }), name)) return 0;
  const jint result = static_cast<jint>(rows);
  if (JDBCTrace != 0) print(kQvPrntExit, result);
  return result;
}

}  // namespace

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getRowCount(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0}, [&] { return rowCount(env, obj, "getRowCount", QVPrntgetRowCount); });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getUpdateCount(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0}, [&] { return rowCount(env, obj, "getUpdateCount", QVPrntgetUpdateCount); });
}

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_getMoreResults(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jboolean{JNI_FALSE}, [&]() -> jboolean {
    if (JDBCTrace != 0) QVPrntgetMoreResults(kQvPrntEntry, 0);
    SQLHSTMT hstmt = stmtHandle(env, obj);
    const SQLRETURN rc = QvjCall([&] { return lmoSQLMoreResults(hstmt); });
    const jboolean result = stepResult(env, obj, rc, "getMoreResults", " getMoreResults fails", L"getMoreResults");
    if (!env->ExceptionCheck() && JDBCTrace != 0) QVPrntgetMoreResults(kQvPrntExit, result);
    return result;
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_cancel(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] {
    if (JDBCTrace != 0) QVPrntcancel(kQvPrntEntry, 0);
    SQLHSTMT hstmt = stmtHandle(env, obj);
    if (!QvCheckResultStmt(env, obj, QvjCall([&] { return lmoSQLCancel(hstmt); }), "cancel")) return;
    if (JDBCTrace != 0) QVPrntcancel(kQvPrntExit, 0);
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setCursorName(JNIEnv* env, jobject obj, jstring jname) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "setCursorName";
    if (JDBCTrace != 0) QVPrntsetCursorName(kQvPrntEntry, 0, nullptr);
    if (jname == nullptr) {
      jclass cls = env->FindClass("java/lang/IllegalArgumentException");
      if (cls == nullptr) env->FatalError("Unable to find 'java/lang/IllegalArgumentException'");
      env->ThrowNew(cls, "name must be specified");
      deleteLocal(env, cls);
      return;
    }
    wchar_t name[kCursorNameChars + 1];
    if (!QvjTakeString(env, jname, name, kCursorNameChars, kName, "cursor name")) return;
    if (JDBCTrace != 0) QVPrntsetCursorName(kQvPrntStrings, 0, name);
    SQLHSTMT hstmt = stmtHandle(env, obj);
    if (!QvCheckResultStmt(env, obj, QvjCall([&] { return lmoSQLSetCursorNameW(hstmt, name, SQL_NTS); }), kName))
      return;
    if (JDBCTrace != 0) QVPrntsetCursorName(kQvPrntExit, 0, name);
  });
}

QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getCursorName(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jstring{nullptr}, [&]() -> jstring {
    if (JDBCTrace != 0) QVPrntgetCursorName(kQvPrntEntry, 0, nullptr);
    wchar_t name[kCursorNameRead] = {0};
    SQLSMALLINT length = 0;
    SQLHSTMT hstmt = stmtHandle(env, obj);
    const SQLRETURN rc = QvjCall([&] { return lmoSQLGetCursorNameW(hstmt, name, kCursorNameRead, &length); });
    if (!QvCheckResultStmt(env, obj, rc, "getCursorName")) return nullptr;
    name[kCursorNameRead - 1] = L'\0';
    jstring result = NewStringFromWstr(env, name);
    if (result != nullptr && JDBCTrace != 0) QVPrntgetCursorName(kQvPrntExit, 0, name);
    return result;
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getMaxFieldSize(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0}, [&] { return getOptionNative(env, obj, kOptMaxLength, "getMaxFieldSize", QVPrntgetMaxFieldSize); });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setMaxFieldSize(JNIEnv* env, jobject obj, jint max) {
  QvjGuardVoid(env, [&] { setOptionNative(env, obj, kOptMaxLength, max, "setMaxFieldSize", QVPrntsetMaxFieldSize); });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getMaxRows(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0}, [&] { return getOptionNative(env, obj, kOptMaxRows, "getMaxRows", QVPrntgetMaxRows); });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setMaxRows(JNIEnv* env, jobject obj, jint max) {
  QvjGuardVoid(env, [&] { setOptionNative(env, obj, kOptMaxRows, max, "setMaxRows", QVPrntsetMaxRows); });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getQueryTimeout(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0},
                  [&] { return getOptionNative(env, obj, kOptQueryTimeout, "getQueryTimeout", QVPrntgetQueryTimeout); });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setQueryTimeout(JNIEnv* env, jobject obj, jint x) {
  QvjGuardVoid(env,
               [&] { setOptionNative(env, obj, kOptQueryTimeout, x, "setQueryTimeout", QVPrntsetQueryTimeout); });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setEscapeProcessing(JNIEnv* env, jobject obj, jboolean enable) {
  // SQL_NOSCAN is the inverse of escape processing; the trace shows the flag.
  QvjGuardVoid(env, [&] {
    setOptionNative(env, obj, kOptNoScan, enable != JNI_FALSE ? 0 : 1, "setEscapeProcessing", QVPrntsetEscapeProcessing,
                    enable != JNI_FALSE ? 1 : 0);
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getFetchSize(JNIEnv* /*env*/, jobject /*obj*/) {
  return QvFetchSize;
}

// ---- Result-set natives ----

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_next(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jboolean{JNI_FALSE}, [&]() -> jboolean {
    if (JDBCTrace != 0) QVPrntnext(kQvPrntEntry, 0);
    SQLHSTMT hstmt = stmtHandle(env, obj);
    const SQLRETURN rc = QvjCall([&] { return lmoSQLFetch(hstmt); });
    const jboolean result = stepResult(env, obj, rc, "next", " next fails", L"next");
    if (!env->ExceptionCheck() && JDBCTrace != 0) QVPrntnext(kQvPrntExit, result);
    return result;
  });
}

QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getString(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jstring{nullptr}, [&]() -> jstring {
    constexpr const char* kName = "getString";
    if (JDBCTrace != 0) QVPrntgetString(kQvPrntEntry, 0, column, nullptr);
    wchar_t piece[kQvjStringPieceChars];
    piece[0] = L'\0';
    SQLHSTMT hstmt = stmtHandle(env, obj);
    SQLUSMALLINT target = restartColumn(column);
    jstring result = nullptr;
    SQLRETURN rc = SQL_SUCCESS;
    do {
      SQLLEN indicator = 0;
      rc = QvjCall([&] { return lmoSQLGetData(hstmt, target, SQL_C_WCHAR, piece, kQvjStringPieceBytes, &indicator); });
      target = static_cast<SQLUSMALLINT>(column);
      // 1 means that more of the value follows: no warning for it.
      if (!QvjSucceeded(rc)) {
        deleteLocal(env, result);
        QvCheckErrorStmt(env, obj, rc, kName);
        return nullptr;
      }
      if (indicator == 0) {
        if (result == nullptr) result = env->NewStringUTF("");
        break;
      }
      if (indicator < 0) continue;
      piece[kQvjStringPieceChars - 1] = L'\0';
      jstring chunk = NewStringFromWstr(env, piece);
      if (chunk == nullptr) {
        deleteLocal(env, result);
        return nullptr;
      }
      if (result == nullptr) {
        result = chunk;
        continue;
      }
      jstring joined = QvConcatJstr(env, result, chunk);
      deleteLocal(env, chunk);
      deleteLocal(env, result);
      result = joined;
      if (result == nullptr) return nullptr;
    } while (rc == SQL_SUCCESS_WITH_INFO);
    if (JDBCTrace != 0) QVPrntgetString(kQvPrntExit, 0, column, result != nullptr ? piece : nullptr);
    return result;
  });
}

QV_EXPORT jbyteArray JNICALL Java_jdbc_sql_cli_qvclistmt_getBytes(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jbyteArray{nullptr}, [&]() -> jbyteArray {
    constexpr const char* kName = "getBytes";
    if (JDBCTrace != 0) QVPrntgetBytes(kQvPrntEntry, 0, column);
    SQLHSTMT hstmt = stmtHandle(env, obj);
    wchar_t name[kCursorNameRead] = {0};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    SQLRETURN rc = QvjCall([&] {
      return lmoSQLDescribeColW(hstmt, static_cast<SQLUSMALLINT>(column), name, kCursorNameRead, &nameLength, &type,
                                &size, &digits, &nullable);
    });
    if (!QvCheckResultStmt(env, obj, rc, kName)) return nullptr;
    if (type != SQL_LONGVARBINARY && type != SQL_VARBINARY && type != SQL_BINARY) {
      QvSignalError(env, L"Unsupported format for getBytes", L"22000", 0);
      return nullptr;
    }
    unsigned char piece[kQvjBytesPieceBytes];
    SQLUSMALLINT target = restartColumn(column);
    jbyteArray result = nullptr;
    jsize offset = 0;
    do {
      SQLLEN indicator = 0;
      rc = QvjCall(
          [&] { return lmoSQLGetData(hstmt, target, SQL_C_BINARY, piece, kQvjBytesPieceBytes, &indicator); });
      target = static_cast<SQLUSMALLINT>(column);
      if (!QvjSucceeded(rc)) {
        deleteLocal(env, result);
        QvCheckErrorStmt(env, obj, rc, kName);
        return nullptr;
      }
      if (result == nullptr && indicator >= 0) {
        // The first piece tells the whole length; an empty value is an
        // empty array, not a NULL.
        const jsize length = QvjBytesLength(indicator);
        if (length < 0) {
          QvjThrowOwn(env, "S1001", "Memory allocation failure");
          return nullptr;
        }
        result = env->NewByteArray(length);
        if (result == nullptr) return nullptr;
      }
      const jsize n = result != nullptr ? QvjPieceBytes(indicator, kQvjBytesPieceBytes,
                                                        env->GetArrayLength(result), offset)
                                        : 0;
      if (n > 0) {
        env->SetByteArrayRegion(result, offset, n, reinterpret_cast<const jbyte*>(piece));
        offset += n;
      }
    } while (rc == SQL_SUCCESS_WITH_INFO);
    if (JDBCTrace != 0) QVPrntgetBytes(kQvPrntExit, offset, column);
    return result;
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getInt(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jint{0},
                  [&] { return getNumber<SQLINTEGER>(env, obj, column, SQL_C_LONG, "getInt", QVPrntgetInt); });
}

QV_EXPORT jshort JNICALL Java_jdbc_sql_cli_qvclistmt_getShort(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jshort{0},
                  [&] { return getNumber<SQLSMALLINT>(env, obj, column, SQL_C_SHORT, "getShort", QVPrntgetShort); });
}

QV_EXPORT jfloat JNICALL Java_jdbc_sql_cli_qvclistmt_getFloat(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jfloat{0},
                  [&] { return getNumber<SQLREAL>(env, obj, column, SQL_C_FLOAT, "getFloat", QVPrntgetFloat); });
}

QV_EXPORT jdouble JNICALL Java_jdbc_sql_cli_qvclistmt_getDouble(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jdouble{0},
                  [&] { return getNumber<SQLDOUBLE>(env, obj, column, SQL_C_DOUBLE, "getDouble", QVPrntgetDouble); });
}

QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getDate(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jintArray{nullptr}, [&] {
    return getDateTime<DATE_STRUCT, kQvjDateFields>(env, obj, column, SQL_C_DATE, "getDate", QvjDateFields,
                                                    QVPrntgetDate);
  });
}

QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getTime(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jintArray{nullptr}, [&] {
    return getDateTime<TIME_STRUCT, kQvjTimeFields>(env, obj, column, SQL_C_TIME, "getTime", QvjTimeFields,
                                                    QVPrntgetTime);
  });
}

QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getTimestamp(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jintArray{nullptr}, [&] {
    return getDateTime<TIMESTAMP_STRUCT, kQvjTimestampFields>(env, obj, column, SQL_C_TIMESTAMP, "getTimestamp",
                                                              QvjTimestampFields, QVPrntgetTimestamp);
  });
}

// ---- ResultSetMetaData natives ----

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnCount(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{0}, [&]() -> jint {
    if (JDBCTrace != 0) QVPrntgetColumnCount(kQvPrntEntry, 0);
    SQLSMALLINT count = 0;
    SQLHSTMT hstmt = stmtHandle(env, obj);
    if (!QvCheckResultStmt(env, obj, QvjCall([&] { return lmoSQLNumResultCols(hstmt, &count); }),
                           "getColumnCount"))
      return 0;
    if (JDBCTrace != 0) QVPrntgetColumnCount(kQvPrntExit, count);
    return count;
  });
}

#define QVJ_COL_NUMBER(method, jtype, field, rule)                                                             \
  QV_EXPORT jtype JNICALL Java_jdbc_sql_cli_qvclistmt_##method(JNIEnv* env, jobject obj, jint column) {         \
    return QvjGuard(env, jtype{0}, [&] {                                                                       \
      return static_cast<jtype>(colNumber(env, obj, column, field, QvjColRule::rule, #method, QVPrnt##method)); \
    });                                                                                                        \
  }

QVJ_COL_NUMBER(isAutoIncrement, jboolean, SQL_COLUMN_AUTO_INCREMENT, LowByte)
QVJ_COL_NUMBER(isCaseSensitive, jboolean, SQL_COLUMN_CASE_SENSITIVE, LowByte)
QVJ_COL_NUMBER(isSearchable, jboolean, SQL_COLUMN_SEARCHABLE, NotThree)
QVJ_COL_NUMBER(isCurrency, jboolean, SQL_COLUMN_MONEY, LowByte)
QVJ_COL_NUMBER(isNullable, jboolean, SQL_COLUMN_NULLABLE, NotZero)
QVJ_COL_NUMBER(isSigned, jboolean, SQL_COLUMN_UNSIGNED, IsZero)
QVJ_COL_NUMBER(getColumnDisplaySize, jint, SQL_COLUMN_DISPLAY_SIZE, Value)
QVJ_COL_NUMBER(getPrecision, jint, SQL_COLUMN_PRECISION, Value)
QVJ_COL_NUMBER(getScale, jint, SQL_COLUMN_SCALE, Value)
QVJ_COL_NUMBER(isColReadOnly, jboolean, SQL_COLUMN_UPDATABLE, IsZero)
QVJ_COL_NUMBER(isWritable, jboolean, SQL_COLUMN_UPDATABLE, IsTwo)
QVJ_COL_NUMBER(isDefinitelyWritable, jboolean, SQL_COLUMN_UPDATABLE, IsOne)

#undef QVJ_COL_NUMBER

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnType(JNIEnv* env, jobject obj, jint column) {
  return QvjGuard(env, jint{0}, [&]() -> jint {
    if (JDBCTrace != 0) QVPrntgetColumnType(kQvPrntEntry, 0, column);
    SQLLEN number = 0;
    SQLHSTMT hstmt = stmtHandle(env, obj);
    const SQLRETURN rc = QvjCall([&] {
      return lmoSQLColAttributes(hstmt, static_cast<SQLUSMALLINT>(column), SQL_COLUMN_TYPE, nullptr, 0, nullptr,
                                 &number);
    });
    if (!QvCheckResultStmt(env, obj, rc, "getColumnType")) return 0;
    const jint result = MapSqlTypeToJdbc(static_cast<int32_t>(number));
    if (JDBCTrace != 0) QVPrntgetColumnType(kQvPrntExit, result, column);
    return result;
  });
}

#define QVJ_COL_TEXT(method, field)                                                                     \
  QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_##method(JNIEnv* env, jobject obj, jint column) { \
    return QvjGuard(env, jstring{nullptr},                                                               \
                    [&] { return colText(env, obj, column, field, #method, QVPrnt##method); });          \
  }

QVJ_COL_TEXT(getColumnLabel, SQL_COLUMN_LABEL)
QVJ_COL_TEXT(getColumnName, SQL_COLUMN_NAME)
QVJ_COL_TEXT(getSchemaName, SQL_COLUMN_OWNER_NAME)
QVJ_COL_TEXT(getTableName, SQL_COLUMN_TABLE_NAME)
QVJ_COL_TEXT(getCatalogName, SQL_COLUMN_QUALIFIER_NAME)
QVJ_COL_TEXT(getColumnTypeName, SQL_COLUMN_TYPE_NAME)

#undef QVJ_COL_TEXT
