// The DatabaseMetaData natives that answer with a result set: each opens an
// ODBC catalog function on the statement object's handle (allocated when
// there is none), whose rows the Java side then reads with next and the
// getters. Each returns the catalog call's return code.
#include <cwchar>
#include <initializer_list>

#include "src/jdbc/QVCLIStmtImpl.h"
#include "src/jdbc/qvjni.h"
#include "src/jdbc/qvnatives.h"
#include "src/jdbc/qvprint.h"
#include "src/odbc/lmoinit.h"

namespace {

// Characters of a catalog argument.
constexpr size_t kNameChars = 128;

// One string argument: NULL stays a NULL pointer.
struct Name {
  wchar_t text[kNameChars + 1];
  bool given = false;
  SQLWCHAR* get() { return given ? text : nullptr; }
  const wchar_t* shown() const { return given ? text : nullptr; }
};

// Copies the arguments; false after an exception was set pending.
bool take(JNIEnv* env, const char* method, std::initializer_list<std::pair<jstring, Name*>> args) {
  for (const auto& [j, n] : args) {
    n->given = j != nullptr;
    n->text[0] = L'\0';
    if (j != nullptr && !QvjTakeString(env, j, n->text, kNameChars, method, "catalog argument")) return false;
  }
  return true;
}

// Steps 3 to 5 of every catalog native: the statement, the call, the
// return code.
template <class Call>
jint run(JNIEnv* env, jobject obj, const char* name, Call&& call) {
  SQLHSTMT hstmt = QvjStmtHandle(env, obj);
  if (hstmt == nullptr) {
    SQLHDBC hdbc = QvjStmtDbc(env, obj);
    const SQLRETURN rc = QvjCall([&] { return lmoSQLAllocStmt(hdbc, &hstmt); });
    if (QvjSucceeded(rc)) QvjSetStmtHandle(env, obj, hstmt);
    if (!QvCheckResultStmt(env, obj, rc, name)) return rc;
  }
  const SQLRETURN rc = QvjCall([&] { return call(hstmt); });
  QvCheckResultStmt(env, obj, rc, name);
  return rc;
}

}  // namespace

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getTables(JNIEnv* env, jobject obj, jstring jcatalog,
                                                             jstring jschema, jstring jtable, jstring jtypes) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    constexpr const char* kName = "getTables";
    if (JDBCTrace != 0) QVPrntgetTables(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr);
    Name c, s, t, ty;
    if (!take(env, kName, {{jcatalog, &c}, {jschema, &s}, {jtable, &t}, {jtypes, &ty}})) return SQL_ERROR;
    if (JDBCTrace != 0) QVPrntgetTables(kQvPrntStrings, 0, c.shown(), s.shown(), t.shown(), ty.shown());
    const jint rc = run(env, obj, kName, [&](SQLHSTMT h) {
      return lmoSQLTablesW(h, c.get(), SQL_NTS, s.get(), SQL_NTS, t.get(), SQL_NTS, ty.get(), SQL_NTS);
    });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0)
      QVPrntgetTables(kQvPrntExit, rc, c.shown(), s.shown(), t.shown(), ty.shown());
    return rc;
  });
}

namespace {

// getSchemas, getCatalogs and getTableTypes: SQLTables with the ODBC
// conventions for listing schemas, catalogs and table types.
jint enumeration(JNIEnv* env, jobject obj, const char* name, void (*print)(int, long), const wchar_t* catalog,
                 const wchar_t* schema, const wchar_t* table, const wchar_t* types) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0);
  wchar_t c[2], s[2], t[2], ty[2];
  std::wcscpy(c, catalog);
  std::wcscpy(s, schema);
  std::wcscpy(t, table);
  if (types != nullptr) std::wcscpy(ty, types);
  const jint rc = run(env, obj, name, [&](SQLHSTMT h) {
    return lmoSQLTablesW(h, c, SQL_NTS, s, SQL_NTS, t, SQL_NTS, types != nullptr ? ty : nullptr,
                         types != nullptr ? SQL_NTS : 0);
  });
  if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0) print(kQvPrntExit, rc);
  return rc;
}

}  // namespace

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getSchemas(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{SQL_ERROR},
                  [&] { return enumeration(env, obj, "getSchemas", QVPrntgetSchemas, L"", L"%", L"", nullptr); });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getCatalogs(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{SQL_ERROR},
                  [&] { return enumeration(env, obj, "getCatalogs", QVPrntgetCatalogs, L"%", L"", L"", nullptr); });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getTableTypes(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{SQL_ERROR},
                  [&] { return enumeration(env, obj, "getTableTypes", QVPrntgetTableTypes, L"", L"", L"", L"%"); });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getColumns(JNIEnv* env, jobject obj, jstring jcatalog,
                                                              jstring jschema, jstring jtable, jstring jcolumn) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    constexpr const char* kName = "getColumns";
    if (JDBCTrace != 0) QVPrntgetColumns(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr);
    Name c, s, t, col;
    if (!take(env, kName, {{jcatalog, &c}, {jschema, &s}, {jtable, &t}, {jcolumn, &col}})) return SQL_ERROR;
    if (JDBCTrace != 0) QVPrntgetColumns(kQvPrntStrings, 0, c.shown(), s.shown(), t.shown(), col.shown());
    const jint rc = run(env, obj, kName, [&](SQLHSTMT h) {
      return lmoSQLColumnsW(h, c.get(), SQL_NTS, s.get(), SQL_NTS, t.get(), SQL_NTS, col.get(), SQL_NTS);
    });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0)
      QVPrntgetColumns(kQvPrntExit, rc, c.shown(), s.shown(), t.shown(), col.shown());
    return rc;
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getProcedures(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                 jstring jschema, jstring jprocedure) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    constexpr const char* kName = "getProcedures";
    if (JDBCTrace != 0) QVPrntgetProcedures(kQvPrntEntry, 0, nullptr, nullptr, nullptr);
    Name c, s, p;
    if (!take(env, kName, {{jcatalog, &c}, {jschema, &s}, {jprocedure, &p}})) return SQL_ERROR;
    if (JDBCTrace != 0) QVPrntgetProcedures(kQvPrntStrings, 0, c.shown(), s.shown(), p.shown());
    const jint rc = run(env, obj, kName, [&](SQLHSTMT h) {
      return lmoSQLProceduresW(h, c.get(), SQL_NTS, s.get(), SQL_NTS, p.get(), SQL_NTS);
    });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0)
      QVPrntgetProcedures(kQvPrntExit, rc, c.shown(), s.shown(), p.shown());
    return rc;
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getProcedureColumns(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                       jstring jschema, jstring jprocedure,
                                                                       jstring jcolumn) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    constexpr const char* kName = "getProcedureColumns";
    if (JDBCTrace != 0) QVPrntgetProcedureColumns(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr);
    Name c, s, p, col;
    if (!take(env, kName, {{jcatalog, &c}, {jschema, &s}, {jprocedure, &p}, {jcolumn, &col}})) return SQL_ERROR;
    if (JDBCTrace != 0) QVPrntgetProcedureColumns(kQvPrntStrings, 0, c.shown(), s.shown(), p.shown(), col.shown());
    const jint rc = run(env, obj, kName, [&](SQLHSTMT h) {
      return lmoSQLProcedureColumnsW(h, c.get(), SQL_NTS, s.get(), SQL_NTS, p.get(), SQL_NTS, col.get(), SQL_NTS);
    });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0)
      QVPrntgetProcedureColumns(kQvPrntExit, rc, c.shown(), s.shown(), p.shown(), col.shown());
    return rc;
  });
}

namespace {

// getPrimaryKeys, getImportedKeys, getExportedKeys and getVersionColumns:
// catalog, schema and table.
template <class Call>
jint threeNames(JNIEnv* env, jobject obj, const char* name, jstring jcatalog, jstring jschema, jstring jtable,
                void (*print)(int, long, const wchar_t*, const wchar_t*, const wchar_t*), Call&& call) {
  if (JDBCTrace != 0) print(kQvPrntEntry, 0, nullptr, nullptr, nullptr);
  Name c, s, t;
  if (!take(env, name, {{jcatalog, &c}, {jschema, &s}, {jtable, &t}})) return SQL_ERROR;
  if (JDBCTrace != 0) print(kQvPrntStrings, 0, c.shown(), s.shown(), t.shown());
  const jint rc = run(env, obj, name, [&](SQLHSTMT h) { return call(h, c, s, t); });
  if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0) print(kQvPrntExit, rc, c.shown(), s.shown(), t.shown());
  return rc;
}

}  // namespace

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getPrimaryKeys(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                  jstring jschema, jstring jtable) {
  return QvjGuard(env, jint{SQL_ERROR}, [&] {
    return threeNames(env, obj, "getPrimaryKeys", jcatalog, jschema, jtable, QVPrntgetPrimaryKeys,
                      [](SQLHSTMT h, Name& c, Name& s, Name& t) {
                        return lmoSQLPrimaryKeysW(h, c.get(), SQL_NTS, s.get(), SQL_NTS, t.get(), SQL_NTS);
                      });
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getImportedKeys(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                   jstring jschema, jstring jtable) {
  return QvjGuard(env, jint{SQL_ERROR}, [&] {
    return threeNames(env, obj, "getImportedKeys", jcatalog, jschema, jtable, QVPrntgetImportedKeys,
                      [](SQLHSTMT h, Name& c, Name& s, Name& t) {
                        return lmoSQLForeignKeysW(h, nullptr, 0, nullptr, 0, nullptr, 0, c.get(), SQL_NTS, s.get(),
                                                  SQL_NTS, t.get(), SQL_NTS);
                      });
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getExportedKeys(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                   jstring jschema, jstring jtable) {
  return QvjGuard(env, jint{SQL_ERROR}, [&] {
    return threeNames(env, obj, "getExportedKeys", jcatalog, jschema, jtable, QVPrntgetExportedKeys,
                      [](SQLHSTMT h, Name& c, Name& s, Name& t) {
                        return lmoSQLForeignKeysW(h, c.get(), SQL_NTS, s.get(), SQL_NTS, t.get(), SQL_NTS, nullptr, 0,
                                                  nullptr, 0, nullptr, 0);
                      });
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getVersionColumns(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                     jstring jschema, jstring jtable) {
  return QvjGuard(env, jint{SQL_ERROR}, [&] {
    return threeNames(env, obj, "getVersionColumns", jcatalog, jschema, jtable, QVPrntgetVersionColumns,
                      [](SQLHSTMT h, Name& c, Name& s, Name& t) {
                        return lmoSQLSpecialColumnsW(h, SQL_ROWVER, c.get(), SQL_NTS, s.get(), SQL_NTS, t.get(),
                                                     SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE);
                      });
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getCrossReference(JNIEnv* env, jobject obj, jstring jpkCatalog,
                                                                     jstring jpkSchema, jstring jpkTable,
                                                                     jstring jfkCatalog, jstring jfkSchema,
                                                                     jstring jfkTable) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    constexpr const char* kName = "getCrossReference";
    if (JDBCTrace != 0) QVPrntgetCrossReference(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    Name pc, ps, pt, fc, fs, ft;
    if (!take(env, kName,
              {{jpkCatalog, &pc}, {jpkSchema, &ps}, {jpkTable, &pt}, {jfkCatalog, &fc}, {jfkSchema, &fs},
               {jfkTable, &ft}}))
      return SQL_ERROR;
    if (JDBCTrace != 0)
      QVPrntgetCrossReference(kQvPrntStrings, 0, pc.shown(), ps.shown(), pt.shown(), fc.shown(), fs.shown(),
                              ft.shown());
    const jint rc = run(env, obj, kName, [&](SQLHSTMT h) {
      return lmoSQLForeignKeysW(h, pc.get(), SQL_NTS, ps.get(), SQL_NTS, pt.get(), SQL_NTS, fc.get(), SQL_NTS,
                                fs.get(), SQL_NTS, ft.get(), SQL_NTS);
    });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0)
      QVPrntgetCrossReference(kQvPrntExit, rc, pc.shown(), ps.shown(), pt.shown(), fc.shown(), fs.shown(),
                              ft.shown());
    return rc;
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getTypeInfo(JNIEnv* env, jobject obj) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    if (JDBCTrace != 0) QVPrntgetTypeInfo(kQvPrntEntry, 0);
    const jint rc = run(env, obj, "getTypeInfo", [](SQLHSTMT h) { return lmoSQLGetTypeInfoW(h, SQL_ALL_TYPES); });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0) QVPrntgetTypeInfo(kQvPrntExit, rc);
    return rc;
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getIndexInfo(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                jstring jschema, jstring jtable, jboolean unique,
                                                                jboolean approximate) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    constexpr const char* kName = "getIndexInfo";
    const long u = unique != JNI_FALSE ? 1 : 0;
    const long a = approximate != JNI_FALSE ? 1 : 0;
    if (JDBCTrace != 0) QVPrntgetIndexInfo(kQvPrntEntry, 0, u, a, nullptr, nullptr, nullptr);
    Name c, s, t;
    if (!take(env, kName, {{jcatalog, &c}, {jschema, &s}, {jtable, &t}})) return SQL_ERROR;
    if (JDBCTrace != 0) QVPrntgetIndexInfo(kQvPrntStrings, 0, u, a, c.shown(), s.shown(), t.shown());
    const jint rc = run(env, obj, kName, [&](SQLHSTMT h) {
      return lmoSQLStatisticsW(h, c.get(), SQL_NTS, s.get(), SQL_NTS, t.get(), SQL_NTS,
                               u != 0 ? SQL_INDEX_UNIQUE : SQL_INDEX_ALL, a != 0 ? SQL_QUICK : SQL_ENSURE);
    });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0)
      QVPrntgetIndexInfo(kQvPrntExit, rc, u, a, c.shown(), s.shown(), t.shown());
    return rc;
  });
}

QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getBestRowIdentifier(JNIEnv* env, jobject obj, jstring jcatalog,
                                                                        jstring jschema, jstring jtable, jint scope,
                                                                        jboolean nullable) {
  return QvjGuard(env, jint{SQL_ERROR}, [&]() -> jint {
    constexpr const char* kName = "getBestRowIdentifier";
    const long n = nullable != JNI_FALSE ? 1 : 0;
    if (JDBCTrace != 0) QVPrntgetBestRowIdentifier(kQvPrntEntry, 0, scope, n, nullptr, nullptr, nullptr);
    Name c, s, t;
    if (!take(env, kName, {{jcatalog, &c}, {jschema, &s}, {jtable, &t}})) return SQL_ERROR;
    if (JDBCTrace != 0) QVPrntgetBestRowIdentifier(kQvPrntStrings, 0, scope, n, c.shown(), s.shown(), t.shown());
    const jint rc = run(env, obj, kName, [&](SQLHSTMT h) {
      return lmoSQLSpecialColumnsW(h, SQL_BEST_ROWID, c.get(), SQL_NTS, s.get(), SQL_NTS, t.get(), SQL_NTS,
                                   static_cast<SQLUSMALLINT>(scope), n != 0 ? SQL_NULLABLE : SQL_NO_NULLS);
    });
    if (QvjSucceeded(static_cast<SQLRETURN>(rc)) && JDBCTrace != 0)
      QVPrntgetBestRowIdentifier(kQvPrntExit, rc, scope, n, c.shown(), s.shown(), t.shown());
    return rc;
  });
}
