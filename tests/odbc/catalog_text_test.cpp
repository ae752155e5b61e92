// The SQL texts of the catalog calls, written out by hand: arguments given,
// absent and empty, patterns, counted lengths, the owner of the catalog
// tables, both literal forms, the LIKE escape clause, quotes inside values
// and values longer than any fixed buffer.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "src/odbc/lmocatalog.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcapi.h"
#include "src/runtime/qvinfo.h"

namespace {

// The heads of the texts, up to the catalog table.
const std::wstring kTables =
    L"SELECT TABLE_QUALIFIER as TABLE_CAT , TABLE_OWNER as TABLE_SCHEM, TABLE_NAME, TABLE_TYPE, REMARKS FROM ";
const std::wstring kTablesOrder = L" ORDER BY TABLE_TYPE,TABLE_CAT,TABLE_SCHEM";
const std::wstring kColumns =
    L"SELECT TABLE_QUALIFIER as TABLE_CAT, TABLE_OWNER as TABLE_SCHEM, TABLE_NAME, COLUMN_NAME, DATA_TYPE, TYPE_NAME, "
    L"QV_PRECISION as COLUMN_SIZE, QV_LENGTH as BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, QV_RADIX as "
    L"NUM_PREC_RADIX, QV_NULLABLE as NULLABLE, REMARKS , NULL as COLUMN_DEF, NULL as SQL_DATA_TYPE, NULL as "
    L"SQL_DATETIME_SUB,NULL as CHAR_OCTET_LENGTH, NULL as ORDINAL_POSITION, '' as IS_NULLABLE  FROM QV_COLUMNS  "
    L"WHERE (PSEUDO_COLUMN IS NULL OR PSEUDO_COLUMN != 2)";
const std::wstring kStatistics =
    L"SELECT TABLE_QUALIFIER as TABLE_CAT,TABLE_OWNER as TABLE_SCHEM,TABLE_NAME,NON_UNIQUE,INDEX_QUALIFIER,"
    L"INDEX_NAME,QV_TYPE as TYPE,SEQ_IN_INDEX as ORDINAL_POSITION,COLUMN_NAME,QV_COLLATION as ASC_OR_DESC,"
    L"QV_CARDINALITY as CARDINALITY,QV_PAGES as PAGES, FILTER_CONDITIONS as FILTER_CONDITION FROM QV_STATISTICS ";
const std::wstring kSpecial =
    L"SELECT QV_SCOPE as SCOPE , COLUMN_NAME,  DATA_TYPE, TYPE_NAME, QV_PRECISION as COLUMN_SIZE, QV_LENGTH as "
    L"BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, PSEUDO_COLUMN FROM QV_COLUMNS ";
const std::wstring kSpecial0 =
    L"SELECT QV_SCOPE as SCOPE , COLUMN_NAME,  DATA_TYPE, TYPE_NAME, QV_PRECISION as COLUMN_SIZE, QV_LENGTH as "
    L"BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, QV_NULLABLE as PSEUDO_COLUMN FROM QV_COLUMNS ";
const std::wstring kProcColumns =
    L"SELECT QV_QUALIFIER as PROCEDURE_CAT, QV_OWNER as PROCEDURE_SCHEM,            QV_NAME as PROCEDURE_NAME, "
    L"COLUMN_NAME, QV_COLUMNTYPE as COLUMN_TYPE,DATA_TYPE,            TYPE_NAME,QV_PRECISION as PRECISION, "
    L"QV_LENGTH as LENGTH, QV_SCALE as SCALE,            QV_RADIX as RADIX, QV_NULLABLE as NULLABLE, REMARKS FROM "
    L"QV_PROCCOLUMNS ";
const std::wstring kProcs =
    L"SELECT QV_QUALIFIER as PROCEDURE_CAT,QV_OWNER as PROCEDURE_SCHEM,             QV_NAME as PROCEDURE_NAME, "
    L"NUM_INPUT_PARAMS as RESERVED_1, NUM_OUTPUT_PARAMS as RESERVED_2, NUM_RESULT_SETS as RESERVED_3,REMARKS, "
    L"PROCEDURE_TYPE FROM QV_PROC ";
const std::wstring kProcsOrder = L" ORDER BY PROCEDURE_CAT, PROCEDURE_SCHEM, PROCEDURE_NAME";
const std::wstring kFkeys =
    L"select PKTABLE_QUALIFIER as PKTABLE_CAT, PKTABLE_OWNER as PKTABLE_SCHEM, PKTABLE_NAME, PKCOLUMN_NAME,       "
    L"                  FKTABLE_QUALIFIER as FKTABLE_CAT, FKTABLE_OWNER as FKTABLE_SCHEM, FKTABLE_NAME, "
    L"FKCOLUMN_NAME,                         KEY_SEQ, UPDATE_RULE, DELETE_RULE, FK_NAME, PK_NAME, NULL as "
    L"DEFFERABILITY FROM QV_FKEYS ";
const std::wstring kPkeys =
    L"select PKTABLE_QUALIFIER as TABLE_CAT, PKTABLE_OWNER as TABLE_SCHEM,          PKTABLE_NAME as TABLE_NAME, "
    L"PKCOLUMN_NAME as COLUMN_NAME, KEY_SEQ,PK_NAME FROM QV_FKEYS ";
const std::wstring kPkeysOrder = L" ORDER BY TABLE_CAT, TABLE_SCHEM, TABLE_NAME, KEY_SEQ";
const std::wstring kTypes =
    L"SELECT TYPE_NAME, DATA_TYPE, QV_PRECISION as PRECISION, LITERAL_PREFIX, LITERAL_SUFFIX, CREATE_PARAMS, "
    L"QV_NULLABLE as NULLABLE, CASE_SENSITIVE, QV_SEARCHABLE as SEARCHABLE, UNSIGNED_ATTRIB as UNSIGNED_ATTRIBUTE, "
    L"QV_MONEY as FIXED_PREC_SCALE, AUTO_INCREMENT, LOCAL_TYPE_NAME, MINIMUM_SCALE, MAXIMUM_SCALE , NULL as "
    L"SQL_DATA_TYPE, NULL as SQL_DATETIME_SUB,NULL as NUM_PREC_RADIX  FROM QV_TYPES ";

const LmoCatArg kNone{};
LmoCatArg t(const wchar_t* s, int32_t length = -3) { return LmoCatArg{s, length}; }

// The settings the texts depend on, restored afterwards.
class CatalogText : public ::testing::Test {
 protected:
  void SetUp() override {
    mode_ = gCharacterMode;
    escape_ = giUseSchemaLikeEscapeClause;
    gsSchemaOwner[0] = '\0';
  }
  void TearDown() override {
    gCharacterMode = mode_;
    giUseSchemaLikeEscapeClause = escape_;
    gsSchemaOwner[0] = '\0';
  }
  int32_t mode_ = 0;
  int32_t escape_ = 0;
};

// "{'}" in an expected text is the opening of a literal: ' with 8-bit
// characters, N' otherwise.
std::wstring literals(std::wstring text, bool national) {
  for (size_t at = text.find(L"{'}"); at != std::wstring::npos; at = text.find(L"{'}", at))
    text.replace(at, 3, national ? L"N'" : L"'");
  return text;
}

struct Case {
  const char* what;
  std::function<std::wstring()> build;
  std::wstring expected;
};

TEST_F(CatalogText, EveryCallsTextInBothLiteralForms) {
  const Case cases[] = {
      // SQLTables: the three lists, then tables.
      {"catalogs", [] { return lmoTablesText(t(L"%"), t(L""), t(L""), kNone); },
       L"SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM QV_TABLES WHERE TABLE_QUALIFIER LIKE '%' ORDER BY TABLE_CAT"},
      {"catalogs, counted", [] { return lmoTablesText(t(L"%x", 1), t(L"x", 0), t(L"", 0), kNone); },
       L"SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM QV_TABLES WHERE TABLE_QUALIFIER LIKE '%' ORDER BY TABLE_CAT"},
      {"schemas", [] { return lmoTablesText(t(L""), t(L"%"), t(L""), kNone); },
       L"SELECT DISTINCT TABLE_OWNER as TABLE_SCHEM FROM QV_TABLES WHERE TABLE_OWNER LIKE '%' ORDER BY TABLE_SCHEM"},
      {"table types", [] { return lmoTablesText(t(L""), t(L""), t(L""), t(L"%")); },
       L"SELECT DISTINCT TABLE_TYPE FROM QV_TABLES WHERE TABLE_TYPE LIKE '%' ORDER BY TABLE_TYPE"},
      {"catalog % with NULL schema is no list", [] { return lmoTablesText(t(L"%"), kNone, t(L""), kNone); },
       kTables + L"QV_TABLES  WHERE TABLE_NAME LIKE {'}'  AND TABLE_QUALIFIER LIKE {'}%' " + kTablesOrder},
      {"every table", [] { return lmoTablesText(kNone, kNone, kNone, kNone); }, kTables + L"QV_TABLES " + kTablesOrder},
      {"type list", [] { return lmoTablesText(kNone, kNone, kNone, t(L"'TABLE', 'VIEW'")); },
       kTables + L"QV_TABLES  WHERE (TABLE_TYPE LIKE 'TABLE' OR TABLE_TYPE LIKE 'VIEW')" + kTablesOrder},
      {"type list without quotes", [] { return lmoTablesText(kNone, kNone, t(L"T%"), t(L"TABLE,VIEW ,")); },
       kTables + L"QV_TABLES  WHERE TABLE_NAME LIKE {'}T%'  AND (TABLE_TYPE LIKE 'TABLE' OR TABLE_TYPE LIKE 'VIEW')" +
           kTablesOrder},
      {"all arguments", [] { return lmoTablesText(t(L"main"), t(L""), t(L"T1xyz", 2), t(L"TABLE")); },
       kTables + L"QV_TABLES  WHERE TABLE_NAME LIKE {'}T1'  AND TABLE_OWNER LIKE {'}'  AND TABLE_QUALIFIER LIKE "
                 L"{'}main'  AND (TABLE_TYPE LIKE 'TABLE')" +
           kTablesOrder},
      {"empty type list", [] { return lmoTablesText(kNone, kNone, kNone, t(L"")); }, kTables + L"QV_TABLES " + kTablesOrder},
      // SQLColumns: ORDER BY only without a table name.
      {"columns of a table", [] { return lmoColumnsText(kNone, kNone, t(L"T1"), kNone); },
       kColumns + L" AND TABLE_NAME LIKE {'}T1' "},
      {"every column", [] { return lmoColumnsText(kNone, kNone, kNone, kNone); },
       kColumns + L" ORDER BY TABLE_CAT,TABLE_SCHEM,TABLE_NAME"},
      {"columns, empty table", [] { return lmoColumnsText(t(L"main"), t(L""), t(L""), t(L"n%")); },
       kColumns + L" AND TABLE_NAME LIKE {'}'  AND COLUMN_NAME LIKE {'}n%'  AND TABLE_OWNER LIKE {'}'  AND "
                  L"TABLE_QUALIFIER = {'}main' ORDER BY TABLE_CAT,TABLE_SCHEM,TABLE_NAME"},
      // SQLStatistics.
      {"unique indexes", [] { return lmoStatisticsText(kNone, t(L""), t(L"T1"), SQL_INDEX_UNIQUE); },
       kStatistics + L" WHERE TABLE_NAME = {'}T1' AND TABLE_OWNER = {'}' AND (NON_UNIQUE = 0 OR QV_TYPE = 0)"},
      {"every index", [] { return lmoStatisticsText(t(L"main"), kNone, t(L"T1"), SQL_INDEX_ALL); },
       kStatistics + L" WHERE TABLE_NAME = {'}T1' AND TABLE_QUALIFIER = {'}main'"},
      {"unique indexes of every table", [] { return lmoStatisticsText(kNone, kNone, kNone, SQL_INDEX_UNIQUE); },
       kStatistics + L" WHERE (NON_UNIQUE = 0 OR QV_TYPE = 0)"},
      // SQLSpecialColumns.
      {"best row id",
       [] { return lmoSpecialColumnsText(2, SQL_BEST_ROWID, kNone, kNone, t(L"T1"), SQL_SCOPE_CURROW, SQL_NULLABLE); },
       kSpecial + L" WHERE TABLE_NAME = {'}T1' AND (QV_COLUMNTYPE = 1 OR QV_COLUMNTYPE = 3) AND (QV_SCOPE is null OR "
                  L"QV_SCOPE >= 0) AND (QV_NULLABLE = 0 OR QV_NULLABLE = 1) ORDER BY SCOPE"},
      {"row version, no table",
       [] { return lmoSpecialColumnsText(1, SQL_ROWVER, kNone, kNone, kNone, SQL_SCOPE_SESSION, SQL_NO_NULLS); },
       kSpecial + L" WHERE (QV_COLUMNTYPE = 2 OR QV_COLUMNTYPE = 3) AND (QV_SCOPE is null OR QV_SCOPE >= 2) AND "
                  L"QV_NULLABLE = 0 ORDER BY SCOPE"},
      {"driver type 0",
       [] { return lmoSpecialColumnsText(0, SQL_ROWVER, t(L"c"), t(L"s"), kNone, SQL_SCOPE_TRANSACTION, 7); },
       kSpecial0 + L" WHERE TABLE_OWNER = {'}s' AND TABLE_QUALIFIER = {'}c' AND (QV_SCOPE is null OR QV_SCOPE >= 1) "
                   L"ORDER BY SCOPE"},
      // SQLProcedureColumns and SQLProcedures.
      {"procedure columns", [] { return lmoProcedureColumnsText(t(L"main"), t(L""), t(L"p%"), t(L"%")); },
       kProcColumns + L" WHERE QV_NAME LIKE {'}p%'  AND COLUMN_NAME LIKE {'}%'  AND QV_OWNER LIKE {'}'  AND "
                      L"QV_QUALIFIER = {'}main'"},
      {"every procedure column", [] { return lmoProcedureColumnsText(kNone, kNone, kNone, kNone); }, kProcColumns},
      {"procedures", [] { return lmoProceduresText(kNone, t(L"s"), t(L"two%")); },
       kProcs + L" WHERE QV_NAME LIKE {'}two%'  AND QV_OWNER LIKE {'}s' " + kProcsOrder},
      {"every procedure", [] { return lmoProceduresText(kNone, kNone, kNone); }, kProcs + kProcsOrder},
      // SQLForeignKeys: the order follows which tables are given.
      {"keys referring to a table", [] { return lmoForeignKeysText(kNone, kNone, t(L"T1"), kNone, kNone, kNone); },
       kFkeys + L" WHERE PKTABLE_NAME = {'}T1' AND FKTABLE_NAME is not null ORDER BY FKTABLE_CAT, FKTABLE_SCHEM, "
                L"FKTABLE_NAME, KEY_SEQ"},
      {"keys of a table", [] { return lmoForeignKeysText(t(L"x"), kNone, kNone, t(L"main"), kNone, t(L"T2")); },
       kFkeys + L" WHERE FKTABLE_NAME = {'}T2' AND FKTABLE_QUALIFIER = {'}main' ORDER BY PKTABLE_CAT, PKTABLE_SCHEM, "
                L"PKTABLE_NAME, KEY_SEQ"},
      {"keys between two tables", [] { return lmoForeignKeysText(kNone, t(L""), t(L"T1"), kNone, kNone, t(L"T2")); },
       kFkeys + L" WHERE PKTABLE_NAME = {'}T1' AND PKTABLE_OWNER = {'}' AND FKTABLE_NAME = {'}T2'"},
      {"every key", [] { return lmoForeignKeysText(kNone, kNone, kNone, kNone, kNone, kNone); },
       kFkeys + L" WHERE FKTABLE_NAME is not null ORDER BY PKTABLE_CAT, PKTABLE_SCHEM, PKTABLE_NAME, KEY_SEQ"},
      // SQLPrimaryKeys and SQLGetTypeInfo.
      {"primary key", [] { return lmoPrimaryKeysText(t(L"main"), kNone, t(L"T1")); },
       kPkeys + L" WHERE PKTABLE_NAME = {'}T1' AND PKTABLE_QUALIFIER = {'}main' AND FKTABLE_NAME is null " +
           kPkeysOrder},
      {"every primary key", [] { return lmoPrimaryKeysText(kNone, kNone, kNone); },
       kPkeys + L" WHERE FKTABLE_NAME is null " + kPkeysOrder},
      {"every type", [] { return lmoTypeInfoText(SQL_ALL_TYPES); }, kTypes},
      {"one type", [] { return lmoTypeInfoText(SQL_TYPE_DATE); }, kTypes + L" WHERE DATA_TYPE = 91"},
      {"negative type", [] { return lmoTypeInfoText(SQL_WVARCHAR); }, kTypes + L" WHERE DATA_TYPE = -9"},
  };
  for (const int32_t mode : {1, 0}) {
    gCharacterMode = mode;
    for (const Case& c : cases)
      EXPECT_EQ(c.build(), literals(c.expected, mode != 1)) << c.what << (mode != 1 ? ", N''" : "");
  }
}

TEST_F(CatalogText, AnOwnerGoesBeforeEveryCatalogTable) {
  std::snprintf(gsSchemaOwner, kQvSchemaOwnerSize, "SYS");
  gCharacterMode = 1;
  EXPECT_EQ(lmoTypeInfoText(SQL_INTEGER),
            kTypes.substr(0, kTypes.size() - 9) + L"SYS.QV_TYPES  WHERE DATA_TYPE = 4");
  EXPECT_EQ(lmoTablesText(t(L"%"), t(L""), t(L""), kNone),
            L"SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM SYS.QV_TABLES  WHERE TABLE_QUALIFIER LIKE '%'  ORDER "
            L"BY TABLE_CAT");
  EXPECT_EQ(lmoTablesText(t(L""), t(L"%"), t(L""), kNone),
            L"SELECT  DISTINCT TABLE_OWNER as TABLE_SCHEM FROM SYS.QV_TABLES  WHERE TABLE_OWNER LIKE '%'  ORDER BY "
            L"TABLE_SCHEM");
  gCharacterMode = 0;
  EXPECT_EQ(lmoTablesText(t(L""), t(L""), t(L""), t(L"%")),
            L"SELECT  TABLE_TYPE FROM SYS.QV_TABLES  WHERE TABLE_TYPE LIKE N'%'  ORDER BY TABLE_TYPE");
  for (const std::wstring& text :
       {lmoTablesText(kNone, kNone, kNone, kNone), lmoColumnsText(kNone, kNone, kNone, kNone),
        lmoStatisticsText(kNone, kNone, kNone, 1), lmoSpecialColumnsText(2, 1, kNone, kNone, kNone, 0, 2),
        lmoProcedureColumnsText(kNone, kNone, kNone, kNone), lmoProceduresText(kNone, kNone, kNone),
        lmoForeignKeysText(kNone, kNone, kNone, kNone, kNone, kNone), lmoPrimaryKeysText(kNone, kNone, kNone)})
    EXPECT_NE(text.find(L" FROM SYS.QV_"), std::wstring::npos) << std::string(text.begin(), text.end());
}

TEST_F(CatalogText, TheEscapeClauseFollowsEveryLike) {
  gCharacterMode = 1;
  giUseSchemaLikeEscapeClause = 1;
  EXPECT_EQ(lmoTablesText(kNone, t(L"s"), t(L"T\\_1"), t(L"TABLE,VIEW")),
            kTables + L"QV_TABLES  WHERE TABLE_NAME LIKE 'T\\_1'  ESCAPE '\\'  AND TABLE_OWNER LIKE 's'  ESCAPE '\\' "
                      L" AND (TABLE_TYPE LIKE 'TABLE' ESCAPE '\\'  OR TABLE_TYPE LIKE 'VIEW' ESCAPE '\\' )" +
                kTablesOrder);
  EXPECT_EQ(lmoPrimaryKeysText(kNone, kNone, t(L"T_1")),
            kPkeys + L" WHERE PKTABLE_NAME = 'T_1' AND FKTABLE_NAME is null " + kPkeysOrder)
      << "no escape after an equal criterion";
}

// A value cannot end its literal: every quote in it is doubled.
TEST_F(CatalogText, QuotesInsideValuesAreDoubled) {
  for (const int32_t mode : {1, 0}) {
    gCharacterMode = mode;
    const std::wstring q = mode == 1 ? L"'" : L"N'";
    EXPECT_EQ(lmoColumnsText(kNone, kNone, t(L"O'Brien"), kNone), kColumns + L" AND TABLE_NAME LIKE " + q + L"O''Brien' ");
    EXPECT_EQ(lmoPrimaryKeysText(t(L"x' OR '1'='1"), kNone, kNone),
              kPkeys + L" WHERE PKTABLE_QUALIFIER = " + q + L"x'' OR ''1''=''1' AND FKTABLE_NAME is null " +
                  kPkeysOrder);
  }
  EXPECT_EQ(lmoTablesText(kNone, kNone, kNone, t(L"'TABLE') OR (1=1")),
            kTables + L"QV_TABLES  WHERE (TABLE_TYPE LIKE 'TABLE'') OR (1=1')" + kTablesOrder);
  EXPECT_EQ(lmoTablesText(kNone, kNone, kNone, t(L"'''")), kTables + L"QV_TABLES  WHERE (TABLE_TYPE LIKE '''')" +
                                                                kTablesOrder);
}

// Far beyond 8,000 characters, and a NUL inside a counted value ends it.
TEST_F(CatalogText, LongValuesAreWrittenWhole) {
  gCharacterMode = 1;
  const std::wstring name(20000, L'n');
  const std::wstring text = lmoForeignKeysText(t(name.c_str()), t(name.c_str()), t(name.c_str()), t(name.c_str()),
                                               t(name.c_str()), t(name.c_str()));
  EXPECT_EQ(text, kFkeys + L" WHERE PKTABLE_NAME = '" + name + L"' AND PKTABLE_OWNER = '" + name +
                      L"' AND PKTABLE_QUALIFIER = '" + name + L"' AND FKTABLE_NAME = '" + name +
                      L"' AND FKTABLE_OWNER = '" + name + L"' AND FKTABLE_QUALIFIER = '" + name + L"'");
  const wchar_t withNul[] = {L'a', L'b', L'\0', L'c'};
  EXPECT_EQ(lmoPrimaryKeysText(kNone, kNone, t(withNul, 4)),
            kPkeys + L" WHERE PKTABLE_NAME = 'ab' AND FKTABLE_NAME is null " + kPkeysOrder);
}

}  // namespace
