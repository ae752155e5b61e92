// The scalar DatabaseMetaData natives of jdbc.sql.cli.qvcli: one SQLGetInfo
// question each, answered by the rule of its table entry (qvmeta.h).
#include "src/jdbc/qvmeta.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "src/jdbc/QVCLIImpl.h"
#include "src/jdbc/qvjni.h"
#include "src/jdbc/qvnatives.h"
#include "src/jdbc/qvprint.h"
#include "src/odbc/lmoinit.h"

const QvjMetaEntry kQvjMetaTable[kQvjMetaCount] = {
#define QVJ_META_ENTRY(m, type, info, rule, operand) {#m, info, QvjMetaRule::rule, operand},
    QVJ_METADATA(QVJ_META_ENTRY) QVJ_METADATA_WITH_ARGUMENTS(QVJ_META_ENTRY)
#undef QVJ_META_ENTRY
};

namespace {

constexpr QvjFunctionName kNumeric[] = {
    {0x1, "abs"},         {0x2, "acos"},      {0x4, "asin"},      {0x8, "atan"},      {0x10, "atan2"},
    {0x20, "ceiling"},    {0x40, "cos"},      {0x80, "cot"},      {0x100, "exp"},     {0x200, "floor"},
    {0x400, "log"},       {0x800, "mod"},     {0x1000, "sign"},   {0x2000, "sin"},    {0x4000, "sqrt"},
    {0x8000, "tan"},      {0x10000, "pi"},    {0x20000, "rand"},  {0x40000, "degrees"}, {0x80000, "log10"},
    {0x100000, "power"},  {0x200000, "radians"}, {0x400000, "round"}, {0x800000, "truncate"}, {0, ""},
};
constexpr QvjFunctionName kString[] = {
    {0x1, "concat"},    {0x2, "insert"},     {0x4, "left"},       {0x8, "ltrim"},      {0x10, "length"},
    {0x20, "locate"},   {0x40, "lcase"},     {0x80, "repeat"},    {0x100, "replace"},  {0x200, "right"},
    {0x400, "rtrim"},   {0x800, "substring"}, {0x1000, "ucase"},  {0x2000, "ascii"},   {0x4000, "char"},
    {0x8000, "difference"}, {0x10000, "locate_2"}, {0x20000, "soundex"}, {0x40000, "space"}, {0, ""},
};
constexpr QvjFunctionName kSystem[] = {
    {0x1, "username"}, {0x2, "dbname"}, {0x4, "ifnull"}, {0, ""},
};
constexpr QvjFunctionName kTimeDate[] = {
    {0x1, "now"},           {0x2, "curdate"},       {0x4, "dayofmonth"}, {0x8, "dayofweek"},
    {0x10, "dayofyear"},    {0x20, "month"},        {0x40, "quarter"},   {0x80, "week"},
    {0x100, "year"},        {0x200, "curtime"},     {0x400, "hour"},     {0x800, "minute"},
    {0x1000, "second"},     {0x2000, "timestampadd"}, {0x4000, "timestampdiff"}, {0x8000, "dayname"},
    {0x10000, "monthname"}, {0, ""},
};
constexpr const QvjFunctionName* kFunctionTables[] = {kNumeric, kString, kSystem, kTimeDate};

constexpr size_t textBytes(const QvjFunctionName* t) {
  size_t n = 0;
  for (; t->name[0] != '\0'; ++t) n += std::char_traits<char>::length(t->name) + 1;  // name and ',' or NUL
  return n == 0 ? 1 : n;
}
constexpr size_t kLongestFunctions =
    std::max({textBytes(kNumeric), textBytes(kString), textBytes(kSystem), textBytes(kTimeDate)});

SQLRETURN askText(SQLHDBC hdbc, uint16_t type, char* text) {
  std::memset(text, 0, kQvjInfoTextBytes + 1);
  SQLSMALLINT length = 0;
  const SQLRETURN rc =
      QvjCall([&] { return lmoSQLGetInfo(hdbc, type, text, kQvjInfoTextBytes, &length); });
  text[kQvjInfoTextBytes] = '\0';
  return rc;
}

SQLRETURN askNumber(SQLHDBC hdbc, uint16_t type, int32_t* value) {
  // 16-bit answers land in the low half of the zeroed word.
  uint32_t word = 0;
  const SQLRETURN rc = QvjCall([&] { return lmoSQLGetInfo(hdbc, type, &word, sizeof word, nullptr); });
  *value = static_cast<int32_t>(word);
  return rc;
}

// A text answer as Java gets it; `shown` for the trace.
jstring textResult(JNIEnv* env, const char* text, void (*print)(int, const char*)) {
  jstring s = QvCstrToJstr(env, text, -1);
  if (s != nullptr && JDBCTrace != 0) print(kQvPrntExit, text);
  return s;
}

// The native of entry `m` with a text result.
jstring textNative(JNIEnv* env, jobject obj, QvjMeta m, void (*print)(int, const char*)) {
  const QvjMetaEntry& e = kQvjMetaTable[static_cast<size_t>(m)];
  if (JDBCTrace != 0) print(kQvPrntEntry, nullptr);
  SQLHDBC hdbc = QvjCliDbc(env, obj);
  switch (e.rule) {
    case QvjMetaRule::Text: {
      char text[kQvjInfoTextBytes + 1];
      if (!QvCheckResult(env, obj, askText(hdbc, e.infoType, text), e.method)) return nullptr;
      return textResult(env, text, print);
    }
    case QvjMetaRule::Url: {
      char name[kQvjInfoTextBytes + 1];
      if (!QvCheckResult(env, obj, askText(hdbc, e.infoType, name), e.method)) return nullptr;
      char sub[kQvjSubProtocolBytes];
      {
        std::snprintf(sub, sizeof sub, "%s", gszSubProtocol);
      }
      char url[kQvjUrlBytes];
      QvjUrlText(sub, name, url, sizeof url);
      return textResult(env, url, print);
    }
    case QvjMetaRule::Functions: {
      int32_t mask = 0;
      if (!QvCheckResult(env, obj, askNumber(hdbc, e.infoType, &mask), e.method)) return nullptr;
      char text[kLongestFunctions];
      QvjFunctionText(e.operand, static_cast<uint32_t>(mask), text, sizeof text);
      return textResult(env, text, print);
    }
    default:
      return nullptr;
  }
}

// The native of entry `m` with a boolean or int result.
jint numberNative(JNIEnv* env, jobject obj, QvjMeta m, void (*print)(int, long)) {
  const QvjMetaEntry& e = kQvjMetaTable[static_cast<size_t>(m)];
  if (JDBCTrace != 0) print(kQvPrntEntry, 0);
  SQLHDBC hdbc = QvjCliDbc(env, obj);
  jint result = 0;
  switch (e.rule) {
    case QvjMetaRule::Yes:
    case QvjMetaRule::NotNo:
    case QvjMetaRule::FirstIs: {
      char text[kQvjInfoTextBytes + 1];
      if (!QvCheckResult(env, obj, askText(hdbc, e.infoType, text), e.method)) return 0;
      result = QvjMetaTextTest(e.rule, e.operand, text) ? 1 : 0;
      break;
    }
    case QvjMetaRule::Major:
    case QvjMetaRule::Minor: {
      char text[kQvjInfoTextBytes + 1];
      if (!QvCheckResult(env, obj, askText(hdbc, e.infoType, text), e.method)) return 0;
      int32_t major = 0;
      int32_t minor = 0;
      QvjVersionParse(text, &major, &minor);
      result = e.rule == QvjMetaRule::Major ? major : minor;
      break;
    }
    case QvjMetaRule::AutoClose: {
      int32_t commit = 0;
      if (!QvCheckResult(env, obj, askNumber(hdbc, e.infoType, &commit), e.method)) return 0;
      if (commit == 0 || commit == 1) {
        result = 1;
      } else if (commit > 1) {
        int32_t rollback = 0;
        if (!QvCheckResult(env, obj, askNumber(hdbc, 24, &rollback), e.method)) return 0;
        result = rollback == 0 || rollback == 1 ? 1 : 0;
      }
      break;
    }
    default: {
      int32_t value = 0;
      if (!QvCheckResult(env, obj, askNumber(hdbc, e.infoType, &value), e.method)) return 0;
      result = e.rule == QvjMetaRule::Number ? value : (QvjMetaNumberTest(e.rule, e.operand, value) ? 1 : 0);
      break;
    }
  }
  if (JDBCTrace != 0) print(kQvPrntExit, result);
  return result;
}

template <class T>
struct MetaNative;
template <>
struct MetaNative<jstring> {
  static jstring run(JNIEnv* env, jobject obj, QvjMeta m, void (*print)(int, const char*)) {
    return QvjGuard(env, jstring{nullptr}, [&] { return textNative(env, obj, m, print); });
  }
};
template <>
struct MetaNative<jboolean> {
  static jboolean run(JNIEnv* env, jobject obj, QvjMeta m, void (*print)(int, long)) {
    return QvjGuard(env, jboolean{JNI_FALSE},
                    [&] { return numberNative(env, obj, m, print) != 0 ? jboolean{JNI_TRUE} : jboolean{JNI_FALSE}; });
  }
};
template <>
struct MetaNative<jint> {
  static jint run(JNIEnv* env, jobject obj, QvjMeta m, void (*print)(int, long)) {
    return QvjGuard(env, jint{0}, [&] { return numberNative(env, obj, m, print); });
  }
};

}  // namespace

// ---- Plain parts ----

const QvjFunctionName* QvjFunctionTable(int32_t which) {
  return which >= 0 && which < 4 ? kFunctionTables[which] : nullptr;
}

size_t QvjFunctionTextBytes(int32_t which) {
  const QvjFunctionName* t = QvjFunctionTable(which);
  return t != nullptr ? textBytes(t) : 1;
}

size_t QvjFunctionText(int32_t which, uint32_t mask, char* out, size_t size) {
  size_t n = 0;
  if (size == 0) return 0;
  out[0] = '\0';
  const QvjFunctionName* t = QvjFunctionTable(which);
  for (; t != nullptr && t->name[0] != '\0'; ++t) {
    if ((mask & t->bit) == 0) continue;
    const size_t len = std::strlen(t->name);
    const size_t comma = n > 0 ? 1 : 0;
    if (n + comma + len + 1 > size) break;
    if (comma != 0) out[n++] = ',';
    std::memcpy(out + n, t->name, len);
    n += len;
    out[n] = '\0';
  }
  return n;
}

void QvjVersionParse(const char* text, int32_t* major, int32_t* minor) {
  int a = 0;
  int b = 0;
  int c = 0;
  if (text != nullptr) (void)std::sscanf(text, "%d.%d.%d", &a, &b, &c);
  *major = a;
  *minor = b;
}

bool QvjMetaNumberTest(QvjMetaRule rule, int32_t operand, int32_t answer) {
  switch (rule) {
    case QvjMetaRule::Equals: return answer == operand;
    case QvjMetaRule::OneOf:
      return answer >= 0 && answer < 32 && (static_cast<uint32_t>(operand) & (1u << answer)) != 0;
    case QvjMetaRule::AnyBit: return (answer & operand) != 0;
    case QvjMetaRule::NotZero: return answer != 0;
    case QvjMetaRule::Below: return answer < operand;
    default: return false;
  }
}

bool QvjMetaTextTest(QvjMetaRule rule, int32_t operand, const char* answer) {
  const char first = answer != nullptr ? answer[0] : '\0';
  switch (rule) {
    case QvjMetaRule::Yes: return first == 'Y';
    case QvjMetaRule::NotNo: return first != 'N';
    case QvjMetaRule::FirstIs: return first == static_cast<char>(operand);
    default: return false;
  }
}

bool QvjIsolationSupported(uint32_t mask, int32_t level) {
  if (level == 0) return mask == 0;
  return (mask & static_cast<uint32_t>(level)) != 0;
}

void QvjUrlText(const char* subProtocol, const char* dataSource, char* out, size_t size) {
  std::snprintf(out, size, "jdbc:%.*s:%.*s", static_cast<int>(kQvjSubProtocolBytes - 1), subProtocol,
                kQvjInfoTextBytes - 1, dataSource);
}

// ---- Natives ----

#define QVJ_META_NATIVE(m, type, info, rule, operand)                                   \
  QV_EXPORT type JNICALL Java_jdbc_sql_cli_qvcli_##m(JNIEnv* env, jobject obj) {        \
    return MetaNative<type>::run(env, obj, QvjMeta::m, QVPrnt##m);                       \
  }
QVJ_METADATA(QVJ_META_NATIVE)
#undef QVJ_META_NATIVE

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_supportsTransactionIsolationLevel(JNIEnv* env, jobject obj,
                                                                                   jint level) {
  return QvjGuard(env, jboolean{JNI_FALSE}, [&]() -> jboolean {
    const QvjMetaEntry& e = kQvjMetaTable[static_cast<size_t>(QvjMeta::supportsTransactionIsolationLevel)];
    if (JDBCTrace != 0) QVPrntsupportsTransactionIsolationLevel(kQvPrntEntry, 0, level);
    int32_t mask = 0;
    if (!QvCheckResult(env, obj, askNumber(QvjCliDbc(env, obj), e.infoType, &mask), e.method)) return JNI_FALSE;
    const bool result = QvjIsolationSupported(static_cast<uint32_t>(mask), level);
    if (JDBCTrace != 0) QVPrntsupportsTransactionIsolationLevel(kQvPrntExit, result ? 1 : 0, level);
    return result ? JNI_TRUE : JNI_FALSE;
  });
}

QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_supportsSpecificConvert(JNIEnv* /*env*/, jobject /*obj*/,
                                                                         jint fromType, jint toType) {
  if (JDBCTrace != 0) {
    QVPrntsupportsSpecificConvert(kQvPrntEntry, 0, fromType, toType);
    QVPrntsupportsSpecificConvert(kQvPrntExit, 0, fromType, toType);
  }
  return JNI_FALSE;
}
