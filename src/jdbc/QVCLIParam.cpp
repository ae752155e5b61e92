// The natives of jdbc.sql.cli.qvclistmt behind prepared and callable
// statements: prepare, the parameter records the Java values wait in, their
// binding at each execution, and the output values read back.
#include <cstring>
#include <cwchar>
#include <string>

#include "src/jdbc/QVCLIStmtImpl.h"
#include "src/jdbc/qvjni.h"
#include "src/jdbc/qvjtypes.h"
#include "src/jdbc/qvnatives.h"
#include "src/jdbc/qvparam.h"
#include "src/jdbc/qvprint.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/QVCLIParam";

// Characters of the SQL text of a prepare.
constexpr size_t kPrepareChars = 32768;
// The most markers a statement can have: its count is a 16-bit number.
constexpr int64_t kMaxParams = INT16_MAX;

// The array's own length sits in a header just before its first record.
struct ParamHeader {
  int64_t count;
  int64_t reserved;
};
static_assert(sizeof(ParamHeader) % alignof(ParamData) == 0);

ParamHeader* headerOf(const ParamData* array) {
  return reinterpret_cast<ParamHeader*>(const_cast<ParamData*>(array)) - 1;
}

ParamData* record(ParamData* array, int32_t n) { return &array[n - 1]; }

// The buffer a value of `sqlType` takes (`bytes`: the input's own octets
// for strings and binary values); -1 for a type the records do not take.
int64_t bufferSize(int16_t sqlType, int32_t direction, size_t bytes) {
  const bool out = direction == kQvjParamOutput;
  switch (sqlType) {
    case SQL_WVARCHAR:
    case SQL_WCHAR:
      return out ? kQvjWideOutBytes : static_cast<int64_t>(bytes);
    case SQL_LONGVARCHAR:
    case SQL_CHAR:
    case SQL_VARCHAR:
      return out ? kQvjCharOutBytes : static_cast<int64_t>(bytes);
    case SQL_LONGVARBINARY:
    case SQL_VARBINARY:
    case SQL_BINARY:
      return static_cast<int64_t>(bytes);
    case SQL_INTEGER: return 8;
    case SQL_SMALLINT: return 2;
    case SQL_REAL: return 4;
    case SQL_DOUBLE: return 8;
    case SQL_DATE:
    case SQL_TYPE_DATE: return sizeof(DATE_STRUCT);
    case SQL_TIME:
    case SQL_TYPE_TIME: return sizeof(TIME_STRUCT);
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    default: return -1;
  }
}

// The ODBC 2 code a record keeps for the ODBC 3 date and time types.
int16_t storedType(int16_t sqlType) {
  switch (sqlType) {
    case SQL_TYPE_DATE: return SQL_DATE;
    case SQL_TYPE_TIME: return SQL_TIME;
    case SQL_TYPE_TIMESTAMP: return SQL_TIMESTAMP;
    default: return sqlType;
  }
}

bool isBinary(int16_t sqlType) {
  return sqlType == SQL_LONGVARBINARY || sqlType == SQL_VARBINARY || sqlType == SQL_BINARY;
}
bool isText(int16_t sqlType) {
  return sqlType == SQL_WVARCHAR || sqlType == SQL_WCHAR || sqlType == SQL_LONGVARCHAR || sqlType == SQL_CHAR ||
         sqlType == SQL_VARCHAR;
}

}  // namespace

// ---- The records ----

ParamData* QvjNewParamArray(int64_t count) {
  if (count < 1 || count > kMaxParams) return nullptr;
  void* block = AllocItem(sizeof(ParamHeader) + static_cast<size_t>(count) * sizeof(ParamData));
  if (block == nullptr) return nullptr;
  auto* header = static_cast<ParamHeader*>(block);
  header->count = count;
  return reinterpret_cast<ParamData*>(header + 1);
}

int64_t QvjParamCount(const ParamData* array) { return array != nullptr ? headerOf(array)->count : 0; }

void QvjFreeParamArray(ParamData* array) {
  if (array == nullptr) return;
  for (int64_t i = QvjParamCount(array); i > 0; --i) {
    FreeItem(array[i - 1].data);
    array[i - 1].data = nullptr;
  }
  FreeItem(headerOf(array));
}

bool allocParam(ParamData* array, int32_t n, int16_t sqlType, int32_t size) {
  ParamData* p = record(array, n);
  if (p->data == nullptr || p->size != size) {
    void* block = AllocItem(static_cast<size_t>(size));
    if (block == nullptr) return false;
    FreeItem(p->data);
    p->data = block;
    p->size = size;
  }
  p->sqlType = sqlType;
  p->indicator = 0;
  return true;
}

QvjParamSet setParam(ParamData* array, int32_t n, int16_t sqlType, int16_t cType, const void* value, size_t bytes,
                     int32_t direction) {
  const int16_t type = storedType(sqlType);
  if (direction == kQvjParamOutput && isBinary(type)) return QvjParamSet::BinaryOutput;
  const int64_t size = bufferSize(type, direction, bytes);
  if (size < 0) return QvjParamSet::UnsupportedType;
  if (size > INT32_MAX) return QvjParamSet::NoMemory;
  if (!allocParam(array, n, type, static_cast<int32_t>(size))) return QvjParamSet::NoMemory;
  ParamData* p = record(array, n);
  p->cType = cType;
  p->direction = direction;
  if (direction != kQvjParamInput) return QvjParamSet::Ok;
  if (isText(type)) {
    // The text with its terminator: the length is the terminator's to find.
    if (size > 0 && value != nullptr) std::memcpy(p->data, value, static_cast<size_t>(size));
    p->indicator = SQL_NTS;
  } else if (isBinary(type)) {
    if (size > 0 && value != nullptr) std::memcpy(p->data, value, static_cast<size_t>(size));
    p->indicator = static_cast<SQLLEN>(size);
  } else if (value != nullptr) {
    // A 32-bit integer goes into the first four of its eight bytes.
    std::memcpy(p->data, value, type == SQL_INTEGER ? sizeof(SQLINTEGER) : static_cast<size_t>(size));
  }
  return QvjParamSet::Ok;
}

void setNullParam(ParamData* array, int32_t n) {
  ParamData* p = record(array, n);
  p->sqlType = SQL_VARCHAR;
  p->cType = SQL_C_CHAR;
  p->size = 0;
  p->indicator = SQL_NULL_DATA;
  p->direction = kQvjParamInput;
}

// ---- The Java object's records ----

namespace {

ParamData* arrayOf(JNIEnv* env, jobject obj) {
  return reinterpret_cast<ParamData*>(static_cast<intptr_t>(QvjStmtParamArray(env, obj)));
}

// The 16-bit count the natives compare indexes with.
int16_t numParams16(JNIEnv* env, jobject obj) { return static_cast<int16_t>(QvjStmtNumParams(env, obj)); }

// The object's records and parameter n's; NULL after an exception was set
// pending for it.
ParamData* paramRecords(JNIEnv* env, jobject obj, jint index) {
  if (!CheckParamIndex(env, obj, index)) return nullptr;
  bool failed = false;
  ParamData* array = GetParamArray(env, obj, &failed);
  if (array == nullptr) {
    QvjThrowOwn(env, "S1001", "Memory allocation failure");
    return nullptr;
  }
  // The records were made for another count than the object now holds.
  if (index > QvjParamCount(array)) {
    QvSignalError(env, L" Invalid Parameter Index ", L"", 0);
    return nullptr;
  }
  return array;
}

// A refusal of setParam as an exception.
void refused(JNIEnv* env, QvjParamSet result, int16_t sqlType, const char* name) {
  TR_TRACE(kSrc, htrJDBC, 2, "setParam error fails");
  if (result == QvjParamSet::NoMemory) {
    QvjThrowOwn(env, "S1001", "Memory allocation failure");
    return;
  }
  const std::string text = std::string("Invalid SQL data type - ") + name + ": SQL type " +
                           std::to_string(sqlType) +
                           (result == QvjParamSet::BinaryOutput ? " cannot be an output parameter" : " is not supported");
  QvjThrowOwn(env, "S1004", text.c_str());
}

// RegisterInputParam: index check, records, the value put in.
void registerInput(JNIEnv* env, jobject obj, jint index, int16_t cType, int16_t sqlType, const void* value,
                   size_t bytes, const char* name) {
  if (JDBCTrace != 0) QVPrntRegisterInputParam(kQvPrntEntry, 0, name, index, cType, sqlType, value);
  ParamData* array = paramRecords(env, obj, index);
  if (array == nullptr) return;
  const QvjParamSet r = setParam(array, index, sqlType, cType, value, bytes, kQvjParamInput);
  if (r != QvjParamSet::Ok) {
    refused(env, r, sqlType, name);
    return;
  }
  if (JDBCTrace != 0) QVPrntRegisterInputParam(kQvPrntExit, 0, name, index, cType, sqlType, value);
}

// Throws java/lang/IllegalArgumentException with `text`.
void illegalArgument(JNIEnv* env, const char* text) {
  jclass cls = env->FindClass("java/lang/IllegalArgumentException");
  if (cls == nullptr) env->FatalError("Unable to find 'java/lang/IllegalArgumentException'");
  env->ThrowNew(cls, text);
  env->DeleteLocalRef(cls);
}

// The record of an output parameter being read: NULL after an exception.
ParamData* outRecord(JNIEnv* env, jobject obj, jint index) {
  ParamData* array = paramRecords(env, obj, index);
  return array != nullptr ? &array[index - 1] : nullptr;
}

// A numeric output value: 0 for NULL, for no value, or for a buffer too
// small for the getter's type.
template <class T>
T paramNumber(JNIEnv* env, jobject obj, jint index, bool* ok) {
  *ok = false;
  ParamData* p = outRecord(env, obj, index);
  if (p == nullptr) return T{};
  *ok = true;
  const bool null = p->indicator == SQL_NULL_DATA;
  QvjSetParamWasNull(env, obj, null ? 1 : 0);
  T value{};
  if (!null && p->data != nullptr && p->size >= static_cast<int32_t>(sizeof(T))) std::memcpy(&value, p->data, sizeof(T));
  return value;
}

// A date or time output value as an int array; null for NULL.
template <class Struct, int Fields>
jintArray paramDateTime(JNIEnv* env, jobject obj, jint index, const char* name, void (*fields)(const Struct&, jint*),
                        void (*print)(int, long, long, const Struct*)) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, index, nullptr);
  ParamData* p = outRecord(env, obj, index);
  if (p == nullptr) return nullptr;
  if (p->indicator == SQL_NULL_DATA) {
    if (JDBCTrace != 0) print(kQvPrntExit, 0, index, nullptr);
    return nullptr;
  }
  if (p->data == nullptr || p->size < static_cast<int32_t>(sizeof(Struct))) {
    const std::string text = std::string("Unsupported format for ") + name;
    wchar_t wide[64];
    std::swprintf(wide, 64, L"%s", text.c_str());
    QvSignalError(env, wide, L"22000", 0);
    return nullptr;
  }
  Struct value{};
  std::memcpy(&value, p->data, sizeof value);
  jint out[Fields];
  fields(value, out);
  jintArray array = env->NewIntArray(Fields);
  if (array == nullptr) return nullptr;
  env->SetIntArrayRegion(array, 0, Fields, out);
  if (JDBCTrace != 0) print(kQvPrntExit, 0, index, &value);
  return array;
}

}  // namespace

bool CheckParamIndex(JNIEnv* env, jobject obj, jint index) {
  if (index >= 1 && index <= numParams16(env, obj)) return true;
  QvSignalError(env, L" Invalid Parameter Index ", L"", 0);
  return false;
}

ParamData* GetParamArray(JNIEnv* env, jobject obj, bool* failed) {
  *failed = false;
  if (ParamData* array = arrayOf(env, obj); array != nullptr) return array;
  const jlong count = QvjStmtNumParams(env, obj);
  if (count == 0) return nullptr;
  ParamData* array = QvjNewParamArray(count);
  if (array == nullptr) {
    logErrorMsgStmt(nullptr, obj, "Failed to allocate storage for parameter array", SQL_ERROR, nullptr, 2);
    *failed = true;
    return nullptr;
  }
  QvjSetStmtParamArray(env, obj, static_cast<jlong>(reinterpret_cast<intptr_t>(array)));
  return array;
}

// ---- Natives ----

namespace {

// clearParameters: the statement lets go of the records' buffers before
// they are freed.
void clearParameters(JNIEnv* env, jobject obj) {
  if (JDBCTrace != 0) QVPrntclearParameters(kQvPrntEntry, 0);
  SQLHSTMT hstmt = QvjStmtHandle(env, obj);
  if (hstmt != nullptr && numParams16(env, obj) != 0) {
    if (ParamData* array = arrayOf(env, obj); array != nullptr) {
      const SQLRETURN rc = QvjCall([&] { return lmoSQLFreeStmt(hstmt, SQL_RESET_PARAMS); });
      if (!QvCheckResultStmt(env, obj, rc, "clearParameters")) return;
      QvjFreeParamArray(array);
    }
    QvjSetStmtParamArray(env, obj, 0);
  }
  if (JDBCTrace != 0) QVPrntclearParameters(kQvPrntExit, 0);
}

}  // namespace

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_doPrepareQuery(JNIEnv* env, jobject obj, jstring jsql,
                                                                 jboolean keep) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "doPrepareQuery";
    SQLHDBC hdbc = QvjStmtDbc(env, obj);
    if (JDBCTrace != 0) QVPrntdoPrepareQuery(kQvPrntEntry, 0, nullptr);
    if (jsql == nullptr) {
      QvCheckErrorStmt(env, obj, SQL_ERROR, kName);
      return;
    }
    QvjWideBuffer sql(kPrepareChars + 1);
    if (sql.failed()) {
      QvjStringTaken(env, QvjStr::NoMemory, kName, "SQL text", kPrepareChars);
      return;
    }
    if (!QvjTakeString(env, jsql, sql.get(), kPrepareChars, kName, "SQL text")) return;
    if (JDBCTrace != 0) QVPrntdoPrepareQuery(kQvPrntStrings, 0, sql.get());
    if (!QvjStmtStartLocalTran(env, obj)) return;

    // The statement prepared before goes with its bindings; the records
    // stay for a prepare that keeps them.
    if (SQLHSTMT old = QvjStmtHandle(env, obj); old != nullptr) {
      const SQLRETURN rc = QvjCall([&] { return lmoSQLFreeStmt(old, SQL_DROP); });
      QvjSetStmtHandle(env, obj, nullptr);
      if (!QvCheckResultStmt(env, obj, rc, kName)) return;
    }
    SQLHSTMT hstmt = nullptr;
    SQLRETURN rc = QvjCall([&] { return lmoSQLAllocStmt(hdbc, &hstmt); });
    if (QvjSucceeded(rc)) QvjSetStmtHandle(env, obj, hstmt);
    if (!QvCheckResultStmt(env, obj, rc, kName)) return;
    if (keep == JNI_FALSE) {
      clearParameters(env, obj);
      if (env->ExceptionCheck()) return;
    }
    rc = QvjCall([&] { return lmoSQLPrepareW(hstmt, sql.get(), SQL_NTS); });
    if (!QvCheckResultStmt(env, obj, rc, kName)) return;
    SQLSMALLINT count = 0;
    QvjCall([&] { return lmoSQLNumParams(hstmt, &count); });
    if (keep != JNI_FALSE) {
      if (count != QvjStmtNumParams(env, obj)) {
        QvCheckErrorStmt(env, obj, SQL_ERROR, "Argument count mismatch in prepare");
        return;
      }
    } else {
      // clearParameters freed the records of the old count (a record left
      // by a statement without markers goes too).
      QvjFreeParamArray(arrayOf(env, obj));
      QvjSetStmtNumParams(env, obj, count);
      QvjSetStmtParamArray(env, obj, 0);
    }
    if (JDBCTrace != 0) QVPrntdoPrepareQuery(kQvPrntExit, 0, sql.get());
  });
}

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_Execute__(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jboolean{JNI_FALSE}, [&]() -> jboolean {
    SQLHSTMT hstmt = QvjStmtHandle(env, obj);
    const int16_t count = numParams16(env, obj);
    if (!QvjStmtStartLocalTran(env, obj)) return JNI_FALSE;
    bool failed = false;
    ParamData* array = GetParamArray(env, obj, &failed);
    if (failed) {
      QvjThrowOwn(env, "S1001", "Memory allocation failure");
      return JNI_FALSE;
    }
    SQLRETURN rc = QvjCall([&] { return lmoSQLFreeStmt(hstmt, SQL_RESET_PARAMS); });
    if (!QvCheckResultStmt(env, obj, rc, "Execute (RESET PARAMETERS)")) return JNI_FALSE;
    const int64_t records = QvjParamCount(array);
    for (int32_t n = 1; n <= count && n <= records; ++n) {
      ParamData& p = array[n - 1];
      if (p.data == nullptr && p.indicator != SQL_NULL_DATA) continue;
      const bool out = p.direction == kQvjParamOutput;
      rc = QvjCall([&] {
        return lmoSQLBindParameter(hstmt, static_cast<SQLUSMALLINT>(n), out ? SQL_PARAM_OUTPUT : SQL_PARAM_INPUT,
                                   static_cast<SQLSMALLINT>(p.cType), static_cast<SQLSMALLINT>(p.sqlType), 0, 0,
                                   p.data, p.size, &p.indicator);
      });
      if (!QvCheckResultStmt(env, obj, rc, out ? "Execute (OUT PARM)" : "Execute (IN PARM)")) return JNI_FALSE;
    }
    rc = QvjCall([&] { return lmoSQLExecute(hstmt); });
    if (!QvCheckResultStmt(env, obj, rc, "Execute")) return JNI_FALSE;
    SQLSMALLINT columns = 0;
    rc = QvjCall([&] { return lmoSQLNumResultCols(hstmt, &columns); });
    if (!QvCheckResultStmt(env, obj, rc, "Execute")) return JNI_FALSE;
    return columns > 0 ? JNI_TRUE : JNI_FALSE;
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setInt(JNIEnv* env, jobject obj, jint index, jint value) {
  QvjGuardVoid(env, [&] {
    const SQLINTEGER v = value;
    registerInput(env, obj, index, SQL_C_SLONG, SQL_INTEGER, &v, sizeof v, "setInt");
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setShort(JNIEnv* env, jobject obj, jint index, jshort value) {
  QvjGuardVoid(env, [&] {
    const SQLSMALLINT v = value;
    registerInput(env, obj, index, SQL_C_SHORT, SQL_SMALLINT, &v, sizeof v, "setShort");
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setFloat(JNIEnv* env, jobject obj, jint index, jfloat value) {
  QvjGuardVoid(env, [&] {
    const SQLREAL v = value;
    registerInput(env, obj, index, SQL_C_FLOAT, SQL_REAL, &v, sizeof v, "setFloat");
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setDouble(JNIEnv* env, jobject obj, jint index, jdouble value) {
  QvjGuardVoid(env, [&] {
    const SQLDOUBLE v = value;
    registerInput(env, obj, index, SQL_C_DOUBLE, SQL_DOUBLE, &v, sizeof v, "setDouble");
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setString(JNIEnv* env, jobject obj, jint index, jstring value) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "setString";
    if (value == nullptr) {
      illegalArgument(env, "string must be specified");
      return;
    }
    wchar_t text[kQvjParamStringChars + 1];
    size_t chars = 0;
    const QvjStr r = QvJstrToWstrUsingJchar(env, text, value, kQvjParamStringChars, &chars);
    if (!QvjStringTaken(env, r, kName, "string", kQvjParamStringChars)) return;
    registerInput(env, obj, index, SQL_C_WCHAR, SQL_WVARCHAR, text, (chars + 1) * sizeof(wchar_t), kName);
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setBytes(JNIEnv* env, jobject obj, jint index, jbyteArray value) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "setBytes";
    if (value == nullptr) {
      illegalArgument(env, "byte array must be specified");
      return;
    }
    const jsize length = env->GetArrayLength(value);
    if (env->ExceptionCheck()) return;
    void* copy = AllocItem(static_cast<size_t>(length > 0 ? length : 0));
    if (copy == nullptr) {
      QvjThrowOwn(env, "S1001", "Memory allocation failure");
      return;
    }
    if (length > 0) env->GetByteArrayRegion(value, 0, length, static_cast<jbyte*>(copy));
    if (!env->ExceptionCheck())
      registerInput(env, obj, index, SQL_C_BINARY, SQL_LONGVARBINARY, copy, static_cast<size_t>(length), kName);
    FreeItem(copy);
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setDate(JNIEnv* env, jobject obj, jint index, jint year, jint month,
                                                          jint day) {
  QvjGuardVoid(env, [&] {
    const DATE_STRUCT v{static_cast<SQLSMALLINT>(year), static_cast<SQLUSMALLINT>(month),
                        static_cast<SQLUSMALLINT>(day)};
    registerInput(env, obj, index, SQL_C_DATE, SQL_DATE, &v, sizeof v, "setDate");
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setTime(JNIEnv* env, jobject obj, jint index, jint hour,
                                                          jint minute, jint second) {
  QvjGuardVoid(env, [&] {
    const TIME_STRUCT v{static_cast<SQLUSMALLINT>(hour), static_cast<SQLUSMALLINT>(minute),
                        static_cast<SQLUSMALLINT>(second)};
    registerInput(env, obj, index, SQL_C_TIME, SQL_TIME, &v, sizeof v, "setTime");
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setTimestamp(JNIEnv* env, jobject obj, jint index, jint year,
                                                               jint month, jint day, jint hour, jint minute,
                                                               jint second, jint fraction) {
  QvjGuardVoid(env, [&] {
    // The fraction is nanoseconds, up to 999,999,999: all 32 bits of it.
    const TIMESTAMP_STRUCT v{static_cast<SQLSMALLINT>(year),    static_cast<SQLUSMALLINT>(month),
                             static_cast<SQLUSMALLINT>(day),    static_cast<SQLUSMALLINT>(hour),
                             static_cast<SQLUSMALLINT>(minute), static_cast<SQLUSMALLINT>(second),
                             static_cast<SQLUINTEGER>(static_cast<uint32_t>(fraction))};
    registerInput(env, obj, index, SQL_C_TIMESTAMP, SQL_TIMESTAMP, &v, sizeof v, "setTimestamp");
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setNull(JNIEnv* env, jobject obj, jint index) {
  QvjGuardVoid(env, [&] {
    if (ParamData* array = paramRecords(env, obj, index); array != nullptr) setNullParam(array, index);
  });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_clearParameters(JNIEnv* env, jobject obj) {
  QvjGuardVoid(env, [&] { clearParameters(env, obj); });
}

QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_registerOutParameter(JNIEnv* env, jobject obj, jint index,
                                                                       jint jdbcType, jint scale) {
  QvjGuardVoid(env, [&] {
    constexpr const char* kName = "registerOutParameter";
    if (JDBCTrace != 0) QVPrntregisterOutParameter(kQvPrntEntry, 0, index, jdbcType, scale);
    ParamData* array = paramRecords(env, obj, index);
    if (array == nullptr) return;
    int16_t cType = 0;
    int16_t sqlType = MapJdbcTypeToSql(jdbcType, &cType);
    if (sqlType == 0) {
      TR_TRACE(kSrc, htrJDBC, 2, "Unsupported JDBC %d type in parameter", static_cast<int>(jdbcType));
      QvCheckErrorStmt(env, obj, SQL_ERROR, kName);
      return;
    }
    // NUMERIC and DECIMAL values come back as text.
    if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) {
      sqlType = SQL_VARCHAR;
      cType = SQL_C_CHAR;
    }
    const QvjParamSet r = setParam(array, index, sqlType, cType, nullptr, 0, kQvjParamOutput);
    if (r != QvjParamSet::Ok) {
      refused(env, r, sqlType, kName);
      return;
    }
    if (JDBCTrace != 0) QVPrntregisterOutParameter(kQvPrntExit, 0, index, jdbcType, scale);
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getParamInt(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jint{0}, [&]() -> jint {
    if (JDBCTrace != 0) QVPrntgetParamInt(kQvPrntEntry, 0, index);
    bool ok = false;
    const SQLINTEGER v = paramNumber<SQLINTEGER>(env, obj, index, &ok);
    if (ok && JDBCTrace != 0) QVPrntgetParamInt(kQvPrntExit, v, index);
    return v;
  });
}

QV_EXPORT jshort JNICALL Java_jdbc_sql_cli_qvclistmt_getParamShort(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jshort{0}, [&]() -> jshort {
    if (JDBCTrace != 0) QVPrntgetParamShort(kQvPrntEntry, 0, index);
    bool ok = false;
    const SQLSMALLINT v = paramNumber<SQLSMALLINT>(env, obj, index, &ok);
    if (ok && JDBCTrace != 0) QVPrntgetParamShort(kQvPrntExit, v, index);
    return v;
  });
}

QV_EXPORT jfloat JNICALL Java_jdbc_sql_cli_qvclistmt_getParamFloat(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jfloat{0}, [&]() -> jfloat {
    if (JDBCTrace != 0) QVPrntgetParamFloat(kQvPrntEntry, 0, index);
    bool ok = false;
    const SQLREAL v = paramNumber<SQLREAL>(env, obj, index, &ok);
    if (ok && JDBCTrace != 0) QVPrntgetParamFloat(kQvPrntExit, v, index);
    return v;
  });
}

QV_EXPORT jdouble JNICALL Java_jdbc_sql_cli_qvclistmt_getParamDouble(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jdouble{0}, [&]() -> jdouble {
    if (JDBCTrace != 0) QVPrntgetParamDouble(kQvPrntEntry, 0, index);
    bool ok = false;
    const SQLDOUBLE v = paramNumber<SQLDOUBLE>(env, obj, index, &ok);
    if (ok && JDBCTrace != 0) QVPrntgetParamDouble(kQvPrntExit, v, index);
    return v;
  });
}

QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getParamString(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jstring{nullptr}, [&]() -> jstring {
    if (JDBCTrace != 0) QVPrntgetParamString(kQvPrntEntry, 0, index, nullptr);
    ParamData* p = outRecord(env, obj, index);
    if (p == nullptr) return nullptr;
    if (p->indicator == SQL_NULL_DATA) {
      if (JDBCTrace != 0) QVPrntgetParamString(kQvPrntExit, 0, index, nullptr);
      return nullptr;
    }
    const size_t size = p->data != nullptr && p->size > 0 ? static_cast<size_t>(p->size) : 0;
    if (p->cType == SQL_C_WCHAR) {
      // The text up to its terminator, within the buffer.
      const size_t room = size / sizeof(wchar_t);
      const auto* text = static_cast<const wchar_t*>(p->data);
      QvjWideBuffer copy(room + 1);
      if (copy.failed()) {
        QvjThrowOwn(env, "S1001", "Memory allocation failure");
        return nullptr;
      }
      if (room > 0) std::wmemcpy(copy.get(), text, room);
      copy.get()[room] = L'\0';
      jstring s = NewStringFromWstr(env, copy.get());
      if (s != nullptr && JDBCTrace != 0) QVPrntgetParamString(kQvPrntExit, 0, index, copy.get());
      return s;
    }
    if (p->cType == SQL_C_CHAR) {
      std::string text(static_cast<const char*>(p->data != nullptr ? p->data : ""),
                       size > 0 ? strnlen(static_cast<const char*>(p->data), size) : 0);
      jstring s = QvCstrToJstr(env, text.c_str(), -1);
      if (s != nullptr && JDBCTrace != 0) {
        // The record shows the text handed back, in its wide form.
        std::wstring wide(text.size() + 1, L'\0');
        QvWidenText(text.c_str(), -3, wide.data(), static_cast<int32_t>(wide.size()));
        QVPrntgetParamString(kQvPrntExit, 0, index, wide.c_str());
      }
      return s;
    }
    QvSignalError(env, L"Unsupported format for getParamString", L"22000", 0);
    return nullptr;
  });
}

QV_EXPORT jbyteArray JNICALL Java_jdbc_sql_cli_qvclistmt_getParamBytes(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jbyteArray{nullptr}, [&]() -> jbyteArray {
    ParamData* p = outRecord(env, obj, index);
    if (p == nullptr || p->indicator == SQL_NULL_DATA) return nullptr;
    // What the buffer holds: never more than its size, nothing for another
    // negative indicator.
    SQLLEN n = p->indicator < 0 ? 0 : p->indicator;
    if (p->data == nullptr) n = 0;
    if (n > p->size) n = p->size;
    jbyteArray a = env->NewByteArray(static_cast<jsize>(n));
    if (a == nullptr) return nullptr;
    if (n > 0) env->SetByteArrayRegion(a, 0, static_cast<jsize>(n), static_cast<const jbyte*>(p->data));
    return a;
  });
}

QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getParamDate(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jintArray{nullptr}, [&] {
    return paramDateTime<DATE_STRUCT, kQvjDateFields>(env, obj, index, "getParamDate", QvjDateFields,
                                                      QVPrntgetParamDate);
  });
}

QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getParamTime(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jintArray{nullptr}, [&] {
    return paramDateTime<TIME_STRUCT, kQvjTimeFields>(env, obj, index, "getParamTime", QvjTimeFields,
                                                      QVPrntgetParamTime);
  });
}

QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getParamTimestamp(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jintArray{nullptr}, [&] {
    return paramDateTime<TIMESTAMP_STRUCT, kQvjTimestampFields>(env, obj, index, "getParamTimestamp",
                                                                QvjTimestampFields, QVPrntgetParamTimestamp);
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getParamType(JNIEnv* env, jobject obj, jint index) {
  return QvjGuard(env, jint{0}, [&]() -> jint {
    ParamData* p = outRecord(env, obj, index);
    return p != nullptr ? MapSqlTypeToJdbc(static_cast<int32_t>(p->sqlType)) : 0;
  });
}
