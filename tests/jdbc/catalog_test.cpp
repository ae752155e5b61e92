// The catalog result-set natives of qvclistmt over scripted ODBC catalog
// calls: what each passes (NULL names as NULL pointers, the enumeration
// conventions, the options of statistics and special columns), the
// statement they allocate when there is none, and their return codes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "jni_fixture.h"

namespace {

const std::u16string kPrefix = u"[Quenlow][Varenta JDBC]";

// One name argument as the ODBC function got it: absent (NULL) or its text,
// and its length argument.
struct Got {
  std::optional<std::wstring> text;
  int16_t length;
  bool operator==(const Got& o) const { return text == o.text && length == o.length; }
};
Got nameAt(const uint64_t* w, int32_t i) {
  const wchar_t* p = arg<wchar_t*>(w, i);
  return Got{p != nullptr ? std::optional<std::wstring>(p) : std::nullopt, arg<int16_t>(w, i + 1)};
}
const Got kNull{std::nullopt, SQL_NTS};
const Got kNullZero{std::nullopt, 0};
Got nts(const std::wstring& t) { return Got{t, SQL_NTS}; }

class Catalog : public JniDriverTest {
 protected:
  // Records the names of a catalog call whose names start at word 1 (or
  // `first`), `count` of them, and answers `rc`.
  // `scalars`: the words of 16-bit arguments, read into scalars_.
  void record(int32_t fn, int32_t count, int32_t first = 1, int16_t rc = 0, std::vector<int32_t> scalars = {}) {
    d_->script(fn, [this, count, first, rc, scalars](uint64_t* w) {
      names_.clear();
      for (int32_t i = 0; i < count; ++i) names_.push_back(nameAt(w, first + 2 * i));
      scalars_.clear();
      for (int32_t i : scalars) scalars_.push_back(arg<uint16_t>(w, i));
      return rc;
    });
  }
  std::vector<Got> names_;
  std::vector<uint16_t> scalars_;
};

TEST_F(Catalog, GetTablesPassesANullCatalogAsNull) {
  record(QV_FN_TABLES, 4);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getTables(env(), stmt_, nullptr, jvm_.str(u"S%"), jvm_.str(u"T_1"), nullptr), 0);
  EXPECT_EQ(names_, (std::vector<Got>{kNull, nts(L"S%"), nts(L"T_1"), kNull}));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getTables(env(), stmt_, jvm_.str(u""), nullptr, jvm_.str(u"\U0001F600"),
                                                  jvm_.str(u"TABLE,VIEW")),
            0);
  EXPECT_EQ(names_, (std::vector<Got>{nts(L""), kNull, nts(L"\U0001F600"), nts(L"TABLE,VIEW")}));
}

TEST_F(Catalog, EnumerationsUseTheOdbcConventions) {
  record(QV_FN_TABLES, 4);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getSchemas(env(), stmt_), 0);
  EXPECT_EQ(names_, (std::vector<Got>{nts(L""), nts(L"%"), nts(L""), kNullZero}));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getCatalogs(env(), stmt_), 0);
  EXPECT_EQ(names_, (std::vector<Got>{nts(L"%"), nts(L""), nts(L""), kNullZero}));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getTableTypes(env(), stmt_), 0);
  EXPECT_EQ(names_, (std::vector<Got>{nts(L""), nts(L""), nts(L""), nts(L"%")}));
}

TEST_F(Catalog, KeysAndReferences) {
  record(QV_FN_PRIMARYKEYS, 3);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getPrimaryKeys(env(), stmt_, nullptr, nullptr, jvm_.str(u"orders")), 0);
  EXPECT_EQ(names_, (std::vector<Got>{kNull, kNull, nts(L"orders")}));
  record(QV_FN_FOREIGNKEYS, 6);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getImportedKeys(env(), stmt_, jvm_.str(u"main"), nullptr, jvm_.str(u"lines")),
            0);
  EXPECT_EQ(names_, (std::vector<Got>{kNullZero, kNullZero, kNullZero, nts(L"main"), kNull, nts(L"lines")}));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getExportedKeys(env(), stmt_, nullptr, nullptr, jvm_.str(u"orders")), 0);
  EXPECT_EQ(names_, (std::vector<Got>{kNull, kNull, nts(L"orders"), kNullZero, kNullZero, kNullZero}));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getCrossReference(env(), stmt_, jvm_.str(u"a"), jvm_.str(u"b"),
                                                          jvm_.str(u"c"), jvm_.str(u"d"), nullptr, jvm_.str(u"f")),
            0);
  EXPECT_EQ(names_, (std::vector<Got>{nts(L"a"), nts(L"b"), nts(L"c"), nts(L"d"), kNull, nts(L"f")}));
  record(QV_FN_COLUMNS, 4);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getColumns(env(), stmt_, nullptr, nullptr, jvm_.str(u"t"), jvm_.str(u"%")), 0);
  EXPECT_EQ(names_, (std::vector<Got>{kNull, kNull, nts(L"t"), nts(L"%")}));
  record(QV_FN_PROCEDURES, 3);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getProcedures(env(), stmt_, nullptr, nullptr, jvm_.str(u"p%")), 0);
  EXPECT_EQ(names_, (std::vector<Got>{kNull, kNull, nts(L"p%")}));
  record(QV_FN_PROCEDURECOLUMNS, 4);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getProcedureColumns(env(), stmt_, nullptr, nullptr, jvm_.str(u"p"), nullptr),
            0);
  EXPECT_EQ(names_, (std::vector<Got>{kNull, kNull, nts(L"p"), kNull}));
}

TEST_F(Catalog, StatisticsAndSpecialColumnsOptions) {
  record(QV_FN_STATISTICS, 3, 1, 0, {7, 8});
  struct Index {
    jboolean unique, approximate;
    uint16_t expectedUnique, expectedAccuracy;
  };
  for (const Index& i : {Index{JNI_TRUE, JNI_FALSE, SQL_INDEX_UNIQUE, SQL_ENSURE},
                         Index{JNI_FALSE, JNI_TRUE, SQL_INDEX_ALL, SQL_QUICK}}) {
    EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getIndexInfo(env(), stmt_, nullptr, nullptr, jvm_.str(u"t"), i.unique,
                                                       i.approximate),
              0);
    EXPECT_EQ(scalars_, (std::vector<uint16_t>{i.expectedUnique, i.expectedAccuracy}));
  }
  record(QV_FN_SPECIALCOLUMNS, 3, 2, 0, {1, 8, 9});
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getVersionColumns(env(), stmt_, nullptr, nullptr, jvm_.str(u"t")), 0);
  EXPECT_EQ(scalars_, (std::vector<uint16_t>{SQL_ROWVER, SQL_SCOPE_SESSION, SQL_NULLABLE}));
  EXPECT_EQ(names_, (std::vector<Got>{kNull, kNull, nts(L"t")}));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getBestRowIdentifier(env(), stmt_, nullptr, nullptr, jvm_.str(u"t"),
                                                             0x10001, JNI_FALSE),
            0);
  EXPECT_EQ(scalars_, (std::vector<uint16_t>{SQL_BEST_ROWID, 1, SQL_NO_NULLS})) << "the scope taken as 16 bits";
  int16_t asked = -1;
  d_->script(QV_FN_GETTYPEINFO, [&](uint64_t* w) {
    asked = arg<int16_t>(w, 1);
    return int16_t{0};
  });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getTypeInfo(env(), stmt_), 0);
  EXPECT_EQ(asked, SQL_ALL_TYPES);
}

// Without a statement one is allocated and kept for the rows; the return
// code goes back with the exception or the warning.
TEST_F(Catalog, AStatementIsMadeWhenThereIsNoneAndTheCodeComesBack) {
  jvm_.prim(stmt_, "_sql_hstmt") = 0;
  int allocs = 0;
  d_->script(QV_FN_ALLOCSTMT, [&](uint64_t* w) {
    ++allocs;
    *arg<SQLHSTMT*>(w, 1) = d_->stmt.handle();
    return int16_t{0};
  });
  record(QV_FN_TABLES, 4);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getSchemas(env(), stmt_), 0);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_hstmt"), reinterpret_cast<intptr_t>(d_->stmt.handle()));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getCatalogs(env(), stmt_), 0);
  EXPECT_EQ(allocs, 1) << "an existing statement is reused";

  record(QV_FN_TABLES, 4, 1, SQL_SUCCESS_WITH_INFO);
  Scripts::diag(d_->stmtErrors(), L"01000", 0, L"a note");
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getTables(env(), stmt_, nullptr, nullptr, nullptr, nullptr), 1);
  ASSERT_EQ(warnings(stmt_).size(), 1u);
  record(QV_FN_TABLES, 4, 1, SQL_ERROR);
  Scripts::diag(d_->stmtErrors(), L"S1C00", 0, L"Driver not capable");
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getTables(env(), stmt_, nullptr, nullptr, nullptr, nullptr), SQL_ERROR);
  const Thrown t = thrown();
  EXPECT_EQ(t.message, kPrefix + u"Driver not capable");
  EXPECT_EQ(t.sqlState, u"S1C00");
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getPrimaryKeys(env(), stmt_, nullptr, nullptr,
                                                       jvm_.str(std::u16string(129, u't'))),
            SQL_ERROR);
  EXPECT_EQ(thrown().sqlState, u"S1090") << "a name over 128 characters";
}

}  // namespace
