// The catalog and information queries of the driver, as the driver writes
// them, run against the peer's catalog through the client's own road
// (PREPARE, then the optimised cursor open): each answers rows under the
// column names the driver reads, with and without the LIKE escape clause,
// with plain and N'' literals and with an owner in front of the table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peer/peer_fixture.h"

namespace {

using peer::ExecAnswer;

class PeerCatalog : public PeerSql {
 protected:
  void SetUp() override {
    PeerSql::SetUp();
    catalog();
    session_.level = 1;
    sql("CREATE TABLE T1 (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, amount NUMERIC(10,2), wide NVARCHAR(8))");
    sql("CREATE TABLE T2 (k INTEGER PRIMARY KEY, t1 INTEGER REFERENCES T1 (id) ON DELETE CASCADE, b BLOB)");
    sql("CREATE INDEX T2_t1 ON T2 (t1)");
    sql("CREATE UNIQUE INDEX T1_name ON T1 (name)");
    sql("CREATE VIEW V1 AS SELECT id, name FROM T1");
    sql("INSERT INTO rdapeer_procedures VALUES ('twosets', 'IN', 1, 'a INTEGER'), ('twosets', 'OUT', 2, 'b INTEGER'), "
        "('twosets', 'RESULT', 1, 'SELECT 1')");
  }

  // The answer of `text` as the client runs a catalog query: prepared, then
  // opened with the first block of rows.
  ExecAnswer query(const std::string& text) {
    const ExecAnswer prepared = exec(std::string("PREPARE stmt_id_4 FROM :H") + '\0', {{w(text)}}, 1);
    if (!states(prepared).empty()) return prepared;
    const ExecAnswer a = exec("DECLARE SQLCUR4  CURSOR FOR stmt_id_4", {{}}, 100);
    exec("CLOSE SQLCUR4");
    return a;
  }
};

// The criteria of the driver's catalog texts: literal form, escape clause
// and owner of the catalog tables.
struct Form {
  bool national;
  bool escape;
  std::string owner;
};
// A text built piece by piece, in order: the driver's criteria open with
// " WHERE " the first time and " AND " after.
class Text {
 public:
  Text(const Form& f, std::string head, bool whereWritten = false) : f_(f), text_(std::move(head)), where_(whereWritten) {}
  Text& like(const std::string& column, const std::string& value) {
    text_ += next() + column + (f_.national ? " LIKE N'" : " LIKE '") + value + "' " + (f_.escape ? " ESCAPE '\\' " : "");
    return *this;
  }
  Text& equal(const std::string& column, const std::string& value) {
    text_ += next() + column + (f_.national ? " = N'" : " = '") + value + "'";
    return *this;
  }
  // A fixed criterion.
  Text& criterion(const std::string& text) {
    text_ += next() + text;
    return *this;
  }
  Text& add(const std::string& text) {
    text_ += text;
    return *this;
  }
  const std::string& str() const { return text_; }

 private:
  std::string next() {
    const bool first = !where_;
    where_ = true;
    return first ? " WHERE " : " AND ";
  }
  Form f_;
  std::string text_;
  bool where_;
};
std::string table(const Form& f, const char* name) { return (f.owner.empty() ? "" : f.owner + ".") + name + " "; }

struct CatalogText {
  const char* what;
  std::string text;
  std::vector<std::string> columns;
};

std::vector<CatalogText> catalogTexts(const Form& f) {
  std::vector<CatalogText> out;
  const bool owner = !f.owner.empty();
  out.push_back({"SQLTables catalogs",
                 owner ? Text(f, "SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM " + table(f, "QV_TABLES"))
                             .like("TABLE_QUALIFIER", "%")
                             .add(" ORDER BY TABLE_CAT")
                             .str()
                       : "SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM QV_TABLES WHERE TABLE_QUALIFIER LIKE '%' "
                         "ORDER BY TABLE_CAT",
                 {"TABLE_CAT"}});
  out.push_back({"SQLTables schemas",
                 owner ? Text(f, "SELECT  DISTINCT TABLE_OWNER as TABLE_SCHEM FROM " + table(f, "QV_TABLES"))
                             .like("TABLE_OWNER", "%")
                             .add(" ORDER BY TABLE_SCHEM")
                             .str()
                       : "SELECT DISTINCT TABLE_OWNER as TABLE_SCHEM FROM QV_TABLES WHERE TABLE_OWNER LIKE '%' ORDER "
                         "BY TABLE_SCHEM",
                 {"TABLE_SCHEM"}});
  out.push_back({"SQLTables types",
                 owner ? Text(f, "SELECT  TABLE_TYPE FROM " + table(f, "QV_TABLES"))
                             .like("TABLE_TYPE", "%")
                             .add(" ORDER BY TABLE_TYPE")
                             .str()
                       : "SELECT DISTINCT TABLE_TYPE FROM QV_TABLES WHERE TABLE_TYPE LIKE '%' ORDER BY TABLE_TYPE",
                 {"TABLE_TYPE"}});
  const std::string escape = f.escape ? " ESCAPE '\\' " : "";
  out.push_back({"SQLTables",
                 Text(f,
                      "SELECT TABLE_QUALIFIER as TABLE_CAT , TABLE_OWNER as TABLE_SCHEM, TABLE_NAME, TABLE_TYPE, "
                      "REMARKS FROM " +
                          table(f, "QV_TABLES"))
                     .like("TABLE_NAME", "T%")
                     .like("TABLE_OWNER", "%")
                     .like("TABLE_QUALIFIER", "%")
                     .criterion("(TABLE_TYPE LIKE 'TABLE'" + escape + " OR TABLE_TYPE LIKE 'VIEW'" + escape + ")")
                     .add(" ORDER BY TABLE_TYPE,TABLE_CAT,TABLE_SCHEM")
                     .str(),
                 {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"}});
  out.push_back(
      {"SQLColumns",
       Text(f,
            "SELECT TABLE_QUALIFIER as TABLE_CAT, TABLE_OWNER as TABLE_SCHEM, TABLE_NAME, COLUMN_NAME, DATA_TYPE, "
            "TYPE_NAME, QV_PRECISION as COLUMN_SIZE, QV_LENGTH as BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, QV_RADIX "
            "as NUM_PREC_RADIX, QV_NULLABLE as NULLABLE, REMARKS , NULL as COLUMN_DEF, NULL as SQL_DATA_TYPE, NULL as "
            "SQL_DATETIME_SUB,NULL as CHAR_OCTET_LENGTH, NULL as ORDINAL_POSITION, '' as IS_NULLABLE  FROM " +
                table(f, "QV_COLUMNS") + " WHERE (PSEUDO_COLUMN IS NULL OR PSEUDO_COLUMN != 2)",
            true)
           .like("TABLE_NAME", "T1")
           .like("COLUMN_NAME", "%")
           .like("TABLE_OWNER", "%")
           .equal("TABLE_QUALIFIER", "main")
           .str(),
       {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE",
        "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE",
        "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"}});
  out.push_back({"SQLStatistics",
                 Text(f,
                      "SELECT TABLE_QUALIFIER as TABLE_CAT,TABLE_OWNER as TABLE_SCHEM,TABLE_NAME,NON_UNIQUE,"
                      "INDEX_QUALIFIER,INDEX_NAME,QV_TYPE as TYPE,SEQ_IN_INDEX as ORDINAL_POSITION,COLUMN_NAME,"
                      "QV_COLLATION as ASC_OR_DESC,QV_CARDINALITY as CARDINALITY,QV_PAGES as PAGES, FILTER_CONDITIONS "
                      "as FILTER_CONDITION FROM " +
                          table(f, "QV_STATISTICS"))
                     .equal("TABLE_NAME", "T1")
                     .equal("TABLE_OWNER", "")
                     .equal("TABLE_QUALIFIER", "main")
                     .criterion("(NON_UNIQUE = 0 OR QV_TYPE = 0)")
                     .str(),
                 {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER", "INDEX_NAME", "TYPE",
                  "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC", "CARDINALITY", "PAGES", "FILTER_CONDITION"}});
  for (const bool typeZero : {false, true}) {
    Text t(f, std::string("SELECT QV_SCOPE as SCOPE , COLUMN_NAME,  DATA_TYPE, TYPE_NAME, QV_PRECISION as "
                          "COLUMN_SIZE, QV_LENGTH as BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, ") +
                  (typeZero ? "QV_NULLABLE as PSEUDO_COLUMN FROM " : "PSEUDO_COLUMN FROM ") + table(f, "QV_COLUMNS"));
    t.equal("TABLE_NAME", "T1").equal("TABLE_OWNER", "").equal("TABLE_QUALIFIER", "main");
    if (!typeZero) t.criterion("(QV_COLUMNTYPE = 1 OR QV_COLUMNTYPE = 3)");
    t.criterion("(QV_SCOPE is null OR QV_SCOPE >= 0)");
    t.add(typeZero ? " AND QV_NULLABLE = 0" : " AND (QV_NULLABLE = 0 OR QV_NULLABLE = 1)").add(" ORDER BY SCOPE");
    out.push_back({typeZero ? "SQLSpecialColumns, driver type 0" : "SQLSpecialColumns", t.str(),
                   {"SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS",
                    "PSEUDO_COLUMN"}});
  }
  out.push_back({"SQLProcedureColumns",
                 Text(f,
                      "SELECT QV_QUALIFIER as PROCEDURE_CAT, QV_OWNER as PROCEDURE_SCHEM,            QV_NAME as "
                      "PROCEDURE_NAME, COLUMN_NAME, QV_COLUMNTYPE as COLUMN_TYPE,DATA_TYPE,            TYPE_NAME,"
                      "QV_PRECISION as PRECISION, QV_LENGTH as LENGTH, QV_SCALE as SCALE,            QV_RADIX as "
                      "RADIX, QV_NULLABLE as NULLABLE, REMARKS FROM " +
                          table(f, "QV_PROCCOLUMNS"))
                     .like("QV_NAME", "two%")
                     .like("COLUMN_NAME", "%")
                     .like("QV_OWNER", "%")
                     .equal("QV_QUALIFIER", "main")
                     .str(),
                 {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "COLUMN_NAME", "COLUMN_TYPE", "DATA_TYPE",
                  "TYPE_NAME", "PRECISION", "LENGTH", "SCALE", "RADIX", "NULLABLE", "REMARKS"}});
  out.push_back({"SQLProcedures",
                 Text(f,
                      "SELECT QV_QUALIFIER as PROCEDURE_CAT,QV_OWNER as PROCEDURE_SCHEM,             QV_NAME as "
                      "PROCEDURE_NAME, NUM_INPUT_PARAMS as RESERVED_1, NUM_OUTPUT_PARAMS as RESERVED_2, "
                      "NUM_RESULT_SETS as RESERVED_3,REMARKS, PROCEDURE_TYPE FROM " +
                          table(f, "QV_PROC"))
                     .like("QV_NAME", "%")
                     .like("QV_OWNER", "%")
                     .equal("QV_QUALIFIER", "main")
                     .add(" ORDER BY PROCEDURE_CAT, PROCEDURE_SCHEM, PROCEDURE_NAME")
                     .str(),
                 {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "RESERVED_1", "RESERVED_2", "RESERVED_3",
                  "REMARKS", "PROCEDURE_TYPE"}});
  const std::string fkHead =
      "select PKTABLE_QUALIFIER as PKTABLE_CAT, PKTABLE_OWNER as PKTABLE_SCHEM, PKTABLE_NAME, PKCOLUMN_NAME,        "
      "                 FKTABLE_QUALIFIER as FKTABLE_CAT, FKTABLE_OWNER as FKTABLE_SCHEM, FKTABLE_NAME, "
      "FKCOLUMN_NAME,                         KEY_SEQ, UPDATE_RULE, DELETE_RULE, FK_NAME, PK_NAME, NULL as "
      "DEFFERABILITY FROM " +
      table(f, "QV_FKEYS");
  const std::vector<std::string> fkColumns = {"PKTABLE_CAT", "PKTABLE_SCHEM", "PKTABLE_NAME", "PKCOLUMN_NAME",
                                              "FKTABLE_CAT", "FKTABLE_SCHEM", "FKTABLE_NAME", "FKCOLUMN_NAME",
                                              "KEY_SEQ",     "UPDATE_RULE",   "DELETE_RULE",  "FK_NAME",
                                              "PK_NAME",     "DEFFERABILITY"};
  out.push_back({"SQLForeignKeys of a primary-key table",
                 Text(f, fkHead)
                     .equal("PKTABLE_NAME", "T1")
                     .equal("PKTABLE_OWNER", "")
                     .equal("PKTABLE_QUALIFIER", "main")
                     .criterion("FKTABLE_NAME is not null")
                     .add(" ORDER BY FKTABLE_CAT, FKTABLE_SCHEM, FKTABLE_NAME, KEY_SEQ")
                     .str(),
                 fkColumns});
  out.push_back({"SQLForeignKeys of a foreign-key table",
                 Text(f, fkHead)
                     .equal("FKTABLE_NAME", "T2")
                     .equal("FKTABLE_OWNER", "")
                     .equal("FKTABLE_QUALIFIER", "main")
                     .add(" ORDER BY PKTABLE_CAT, PKTABLE_SCHEM, PKTABLE_NAME, KEY_SEQ")
                     .str(),
                 fkColumns});
  out.push_back({"SQLPrimaryKeys",
                 Text(f,
                      "select PKTABLE_QUALIFIER as TABLE_CAT, PKTABLE_OWNER as TABLE_SCHEM,          PKTABLE_NAME as "
                      "TABLE_NAME, PKCOLUMN_NAME as COLUMN_NAME, KEY_SEQ,PK_NAME FROM " +
                          table(f, "QV_FKEYS"))
                     .equal("PKTABLE_NAME", "T1")
                     .equal("PKTABLE_OWNER", "")
                     .equal("PKTABLE_QUALIFIER", "main")
                     .criterion("FKTABLE_NAME is null ")
                     .add(" ORDER BY TABLE_CAT, TABLE_SCHEM, TABLE_NAME, KEY_SEQ")
                     .str(),
                 {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"}});
  const std::string typeInfo =
      "SELECT TYPE_NAME, DATA_TYPE, QV_PRECISION as PRECISION, LITERAL_PREFIX, LITERAL_SUFFIX, CREATE_PARAMS, "
      "QV_NULLABLE as NULLABLE, CASE_SENSITIVE, QV_SEARCHABLE as SEARCHABLE, UNSIGNED_ATTRIB as UNSIGNED_ATTRIBUTE, "
      "QV_MONEY as FIXED_PREC_SCALE, AUTO_INCREMENT, LOCAL_TYPE_NAME, MINIMUM_SCALE, MAXIMUM_SCALE , NULL as "
      "SQL_DATA_TYPE, NULL as SQL_DATETIME_SUB,NULL as NUM_PREC_RADIX  FROM " +
      table(f, "QV_TYPES");
  const std::vector<std::string> typeColumns = {
      "TYPE_NAME",      "DATA_TYPE",       "PRECISION",     "LITERAL_PREFIX",     "LITERAL_SUFFIX",
      "CREATE_PARAMS",  "NULLABLE",        "CASE_SENSITIVE", "SEARCHABLE",        "UNSIGNED_ATTRIBUTE",
      "FIXED_PREC_SCALE", "AUTO_INCREMENT", "LOCAL_TYPE_NAME", "MINIMUM_SCALE",    "MAXIMUM_SCALE",
      "SQL_DATA_TYPE",  "SQL_DATETIME_SUB", "NUM_PREC_RADIX"};
  out.push_back({"SQLGetTypeInfo", typeInfo + " WHERE DATA_TYPE = 4", typeColumns});
  out.push_back({"SQLGetTypeInfo of every type", typeInfo, typeColumns});
  // The information queries.
  out.push_back({"SQLRequestType", "SELECT TYPE_NAME FROM " + table(f, "QV_TYPES") + " WHERE DATA_TYPE = 93", {"TYPE_NAME"}});
  for (const char* column : {"INFO_INT", "INFO_BITMASK", "INFO_TEXT"})
    out.push_back({"SQLGetInfo", std::string("SELECT ") + column + " FROM " + table(f, "QV_INFO") + "WHERE INFO_NUM = 23",
                   {column}});
  out.push_back({"driver type", "SELECT INFO_TEXT FROM QV_INFO WHERE INFO_NAME like 'LMO_DRIVER_TYPE'", {"INFO_TEXT"}});
  return out;
}

TEST_F(PeerCatalog, EveryCatalogAndInformationTextAnswersRowsUnderItsColumnNames) {
  const Form forms[] = {{false, false, ""}, {true, false, ""}, {false, true, ""}, {true, true, "SYS"}, {false, false, "SYS"}};
  for (const Form& f : forms) {
    for (const CatalogText& t : catalogTexts(f)) {
      SCOPED_TRACE(std::string(t.what) + (f.national ? ", N''" : "") + (f.escape ? ", ESCAPE" : "") +
                   (f.owner.empty() ? "" : ", owner") + ": " + t.text);
      const ExecAnswer a = query(t.text);
      EXPECT_EQ(columnNames(a), t.columns);
      EXPECT_GT(valueRows(a), 0u);
      EXPECT_EQ(states(a), std::vector<std::string>{"02000"});
    }
  }
}

// What the catalog says of the tables: the values the driver reads.
TEST_F(PeerCatalog, CatalogAgreesWithTheDescriptions) {
  ExecAnswer a = query("SELECT COLUMN_NAME, DATA_TYPE, TYPE_NAME, QV_PRECISION, QV_SCALE, QV_NULLABLE FROM QV_COLUMNS "
                       "WHERE TABLE_NAME = 'T1' ORDER BY ORDINAL_POSITION");
  ASSERT_EQ(valueRows(a), 4u);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"v:id", "i:4", "v:INTEGER", "i:10", "i:0", "i:1"}));
  EXPECT_EQ(cells(row(a, 1)), (Cells{"v:name", "i:12", "v:VARCHAR", "i:20", "NULL", "i:0"}));
  EXPECT_EQ(cells(row(a, 2)), (Cells{"v:amount", "i:2", "v:NUMERIC", "i:10", "i:2", "i:1"}));
  EXPECT_EQ(cells(row(a, 3)), (Cells{"v:wide", "i:-9", "v:NVARCHAR", "i:8", "NULL", "i:1"}));
  // The descriptions of the same columns carry the same type names.
  a = exec("SELECT id, name, amount, wide FROM T1");
  const char* names[] = {"INTEGER", "VARCHAR", "NUMERIC", "NVARCHAR"};
  for (size_t c = 0; c < 4; ++c) {
    const std::string attributes = spec(a, c)->name;
    EXPECT_EQ(attributes.substr(attributes.rfind('|') + 1), names[c]);
  }
  a = query("SELECT PKTABLE_NAME, PKCOLUMN_NAME, FKTABLE_NAME, FKCOLUMN_NAME, KEY_SEQ, DELETE_RULE FROM QV_FKEYS "
            "WHERE FKTABLE_NAME IS NOT NULL");
  ASSERT_EQ(valueRows(a), 1u);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"v:T1", "v:id", "v:T2", "v:t1", "i:1", "i:0"}));
  a = query("SELECT INFO_TEXT FROM QV_INFO WHERE INFO_NAME like 'LMO_DRIVER_TYPE'");
  ASSERT_EQ(valueRows(a), 1u);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"v:SQLITE"}));
  a = query("SELECT TYPE_NAME FROM QV_TYPES WHERE DATA_TYPE = 93");
  EXPECT_EQ(cells(row(a, 0)), (Cells{"v:TIMESTAMP"}));
  a = query("SELECT NUM_INPUT_PARAMS, NUM_OUTPUT_PARAMS, NUM_RESULT_SETS FROM QV_PROC WHERE QV_NAME = 'twosets'");
  EXPECT_EQ(cells(row(a, 0)), (Cells{"i:1", "i:1", "i:1"}));
  EXPECT_EQ(valueRows(query("SELECT TABLE_NAME FROM QV_TABLES")), 3u) << "T1, T2 and V1; the peer's own tables left out";
}

// --info values replace or add QV_INFO rows, NULL among them.
TEST(PeerInfo, InformationValuesCanBeSetAndAreNullWhenSaidSo) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  peer::InfoValues info = peer::defaultInfo();
  info[8196] = "1";
  info[29] = std::nullopt;
  info[10002] = "text";
  ASSERT_EQ(peer::setUpCatalog(db, info), "");
  EXPECT_EQ(peer::infoText(db, 8196), "1");
  EXPECT_EQ(peer::infoText(db, 29), std::nullopt);
  EXPECT_EQ(peer::infoText(db, 10002), "text");
  EXPECT_EQ(peer::infoText(db, 8192), "2");
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT INFO_INT, INFO_BITMASK FROM QV_INFO WHERE INFO_NUM = 8196", -1, &s, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 1);
  EXPECT_EQ(sqlite3_column_int(s, 1), 1);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

}  // namespace
