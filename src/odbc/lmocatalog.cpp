#include "src/odbc/lmocatalog.h"

#include <cstdio>
#include <new>

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcapi.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/qvinfo.h"

int32_t giUseSchemaLikeEscapeClause = 0;
wchar_t gcLikeEscapeChar = L'\\';

namespace {

constexpr const char* kSrc = "src/lmocatalog";
constexpr int32_t kNts = -3;

void setOwner(const char* owner) {
  size_t n = 0;
  while (owner[n] != '\0' && n + 1 < sizeof gsSchemaOwner) ++n;
  for (size_t i = 0; i < n; ++i) gsSchemaOwner[i] = owner[i];
  gsSchemaOwner[n] = '\0';
}

// The characters of an argument: up to its length, or its terminator when
// it is terminated, and never past a NUL inside it.
std::wstring_view chars(LmoCatArg a) {
  if (a.text == nullptr) return {};
  size_t n = 0;
  if (a.length < 0) {
    while (a.text[n] != L'\0') ++n;
  } else {
    while (n < static_cast<size_t>(a.length) && a.text[n] != L'\0') ++n;
  }
  return {a.text, n};
}

bool given(LmoCatArg a) { return a.text != nullptr; }
bool givenEmpty(LmoCatArg a) { return given(a) && chars(a).empty(); }
bool empty(LmoCatArg a) { return chars(a).empty(); }

// "%" alone: every catalog, schema or table type.
bool all(LmoCatArg a) {
  if (a.text == nullptr) return false;
  if (a.length == kNts) return a.text[0] == L'%' && a.text[1] == L'\0';
  return a.length == 1 && a.text[0] == L'%';
}

// A catalog table's name as the texts use it: owner, dot, name and a blank.
std::wstring table(const wchar_t* name) {
  std::wstring t;
  if (gsSchemaOwner[0] != '\0') {
    wchar_t owner[kQvSchemaOwnerSize];
    QvWidenText(gsSchemaOwner, -3, owner, kQvSchemaOwnerSize);
    t += owner;
    t += L'.';
  }
  t += name;
  t += L' ';
  return t;
}

// A value inside quotes: each quote doubled.
void quoted(std::wstring& out, std::wstring_view v) {
  for (wchar_t c : v) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
}

const wchar_t* open() { return gCharacterMode == 1 ? L"'" : L"N'"; }

void escapeClause(std::wstring& out) {
  if (giUseSchemaLikeEscapeClause == 0) return;
  out += L" ESCAPE '";
  quoted(out, std::wstring_view(&gcLikeEscapeChar, 1));
  out += L"' ";
}

// The statement text with its criteria: the first opens with " WHERE ",
// later ones with " AND ".
class Text {
 public:
  explicit Text(std::wstring head, bool whereWritten = false) : text_(std::move(head)), where_(whereWritten) {}

  Text& add(const std::wstring& s) {
    text_ += s;
    return *this;
  }
  Text& add(const wchar_t* s) {
    text_ += s;
    return *this;
  }
  // " WHERE " or " AND ", then the text.
  Text& criterion(const wchar_t* s) {
    next();
    text_ += s;
    return *this;
  }
  // Opens a criterion with the other word than usual: `first` when none came
  // before, else `later`.
  Text& criterion(const wchar_t* first, const wchar_t* later) {
    text_ += where_ ? later : first;
    where_ = true;
    return *this;
  }
  Text& like(const wchar_t* column, LmoCatArg v) {
    if (!given(v)) return *this;
    next();
    text_ += column;
    text_ += L" LIKE ";
    text_ += open();
    quoted(text_, chars(v));
    text_ += L"' ";
    escapeClause(text_);
    return *this;
  }
  Text& equal(const wchar_t* column, LmoCatArg v) {
    if (!given(v)) return *this;
    next();
    text_ += column;
    text_ += L" = ";
    text_ += open();
    quoted(text_, chars(v));
    text_ += L"'";
    return *this;
  }
  bool whereWritten() const { return where_; }
  std::wstring& str() { return text_; }

 private:
  void next() {
    text_ += where_ ? L" AND " : L" WHERE ";
    where_ = true;
  }
  std::wstring text_;
  bool where_;
};

bool blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The group of table types: each element of the comma-separated list with
// its blanks and one pair of quotes around it taken off; empty elements add
// nothing.
void tableTypes(Text& t, std::wstring_view list) {
  bool opened = false;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(L',', start);
    if (end == std::wstring_view::npos) end = list.size();
    std::wstring_view e = list.substr(start, end - start);
    while (!e.empty() && blank(e.front())) e.remove_prefix(1);
    while (!e.empty() && blank(e.back())) e.remove_suffix(1);
    if (!e.empty() && e.front() == L'\'') e.remove_prefix(1);
    if (!e.empty() && e.back() == L'\'') e.remove_suffix(1);
    if (!e.empty()) {
      if (!opened) t.criterion(L" WHERE (", L" AND (");
      else t.add(L" OR ");
      opened = true;
      t.add(L"TABLE_TYPE LIKE '");
      quoted(t.str(), e);
      t.add(L"'");
      escapeClause(t.str());
    }
    start = end + 1;
  }
  if (opened) t.add(L")");
}

}  // namespace

void lmoReadCatalogSettings() {
  char owner[kQvSchemaOwnerSize] = "";
  qv_getInfo(QV_INFO_SCHEMAOWNER, 0, owner, sizeof owner, -1);
  owner[sizeof owner - 1] = '\0';
  setOwner(owner);
  giUseSchemaLikeEscapeClause = qv_getInfo(QV_INFO_USESCHEMALIKEESCAPECLAUSE, 0, nullptr, 0, -1) != 0 ? 1 : 0;
}

std::wstring lmoTablesText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg tableName, LmoCatArg types) {
  const bool owner = gsSchemaOwner[0] != '\0';
  const LmoCatArg everything{L"%", kNts};
  if (all(catalog) && givenEmpty(schema) && givenEmpty(tableName)) {
    if (!owner)
      return L"SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM QV_TABLES WHERE TABLE_QUALIFIER LIKE '%' ORDER BY "
             L"TABLE_CAT";
    Text t(L"SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM " + table(L"QV_TABLES"));
    return t.like(L"TABLE_QUALIFIER", everything).add(L" ORDER BY TABLE_CAT").str();
  }
  if (all(schema) && givenEmpty(catalog) && givenEmpty(tableName)) {
    if (!owner)
      return L"SELECT DISTINCT TABLE_OWNER as TABLE_SCHEM FROM QV_TABLES WHERE TABLE_OWNER LIKE '%' ORDER BY "
             L"TABLE_SCHEM";
    Text t(L"SELECT  DISTINCT TABLE_OWNER as TABLE_SCHEM FROM " + table(L"QV_TABLES"));
    return t.like(L"TABLE_OWNER", everything).add(L" ORDER BY TABLE_SCHEM").str();
  }
  if (all(types) && givenEmpty(catalog) && givenEmpty(schema) && givenEmpty(tableName)) {
    if (!owner) return L"SELECT DISTINCT TABLE_TYPE FROM QV_TABLES WHERE TABLE_TYPE LIKE '%' ORDER BY TABLE_TYPE";
    Text t(L"SELECT  TABLE_TYPE FROM " + table(L"QV_TABLES"));
    return t.like(L"TABLE_TYPE", everything).add(L" ORDER BY TABLE_TYPE").str();
  }
  Text t(L"SELECT TABLE_QUALIFIER as TABLE_CAT , TABLE_OWNER as TABLE_SCHEM, TABLE_NAME, TABLE_TYPE, REMARKS FROM " +
         table(L"QV_TABLES"));
  t.like(L"TABLE_NAME", tableName).like(L"TABLE_OWNER", schema).like(L"TABLE_QUALIFIER", catalog);
  if (!empty(types)) tableTypes(t, chars(types));
  return t.add(L" ORDER BY TABLE_TYPE,TABLE_CAT,TABLE_SCHEM").str();
}

std::wstring lmoColumnsText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg tableName, LmoCatArg column) {
  Text t(std::wstring(L"SELECT TABLE_QUALIFIER as TABLE_CAT, TABLE_OWNER as TABLE_SCHEM, TABLE_NAME, COLUMN_NAME, "
                      L"DATA_TYPE, TYPE_NAME, QV_PRECISION as COLUMN_SIZE,") +
             L" QV_LENGTH as BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, QV_RADIX as NUM_PREC_RADIX, QV_NULLABLE as "
             L"NULLABLE, REMARKS " +
             L", NULL as COLUMN_DEF, NULL as SQL_DATA_TYPE, NULL as SQL_DATETIME_SUB,NULL as CHAR_OCTET_LENGTH, NULL "
             L"as ORDINAL_POSITION, '' as IS_NULLABLE " +
             L" FROM " + table(L"QV_COLUMNS") + L" WHERE (PSEUDO_COLUMN IS NULL OR PSEUDO_COLUMN != 2)",
         true);
  t.like(L"TABLE_NAME", tableName).like(L"COLUMN_NAME", column).like(L"TABLE_OWNER", schema);
  t.equal(L"TABLE_QUALIFIER", catalog);
  if (empty(tableName)) t.add(L" ORDER BY TABLE_CAT,TABLE_SCHEM,TABLE_NAME");
  return t.str();
}

std::wstring lmoStatisticsText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg tableName, uint16_t unique) {
  Text t(std::wstring(L"SELECT TABLE_QUALIFIER as TABLE_CAT,TABLE_OWNER as TABLE_SCHEM,TABLE_NAME,NON_UNIQUE,"
                      L"INDEX_QUALIFIER,INDEX_NAME,QV_TYPE as TYPE,SEQ_IN_INDEX as ORDINAL_POSITION,") +
         L"COLUMN_NAME,QV_COLLATION as ASC_OR_DESC,QV_CARDINALITY as CARDINALITY,QV_PAGES as PAGES, "
         L"FILTER_CONDITIONS as FILTER_CONDITION FROM " +
         table(L"QV_STATISTICS"));
  t.equal(L"TABLE_NAME", tableName).equal(L"TABLE_OWNER", schema).equal(L"TABLE_QUALIFIER", catalog);
  if (unique == SQL_INDEX_UNIQUE) t.criterion(L"(NON_UNIQUE = 0 OR QV_TYPE = 0)");
  return t.str();
}

std::wstring lmoSpecialColumnsText(int64_t driverTypeNumber, uint16_t identifierType, LmoCatArg catalog,
                                   LmoCatArg schema, LmoCatArg tableName, uint16_t scope, uint16_t nullable) {
  Text t(std::wstring(driverTypeNumber != 0
                          ? L"SELECT QV_SCOPE as SCOPE , COLUMN_NAME,  DATA_TYPE, TYPE_NAME, QV_PRECISION as "
                            L"COLUMN_SIZE, QV_LENGTH as BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, PSEUDO_COLUMN FROM "
                          : L"SELECT QV_SCOPE as SCOPE , COLUMN_NAME,  DATA_TYPE, TYPE_NAME, QV_PRECISION as "
                            L"COLUMN_SIZE, QV_LENGTH as BUFFER_LENGTH, QV_SCALE as DECIMAL_DIGITS, QV_NULLABLE as "
                            L"PSEUDO_COLUMN FROM ") +
         table(L"QV_COLUMNS"));
  t.equal(L"TABLE_NAME", tableName).equal(L"TABLE_OWNER", schema).equal(L"TABLE_QUALIFIER", catalog);
  if (driverTypeNumber != 0) {
    if (identifierType == SQL_BEST_ROWID) t.criterion(L"(QV_COLUMNTYPE = 1 OR QV_COLUMNTYPE = 3)");
    else if (identifierType == SQL_ROWVER) t.criterion(L"(QV_COLUMNTYPE = 2 OR QV_COLUMNTYPE = 3)");
  }
  wchar_t number[16];
  std::swprintf(number, 16, L"%i)", static_cast<int>(scope));
  t.criterion(L"(QV_SCOPE is null OR QV_SCOPE >= ").add(number);
  if (nullable == SQL_NO_NULLS) t.criterion(L"QV_NULLABLE = 0");
  else if (nullable == SQL_NULLABLE) t.criterion(L"(QV_NULLABLE = 0 OR QV_NULLABLE = 1)");
  return t.add(L" ORDER BY SCOPE").str();
}

std::wstring lmoProcedureColumnsText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg procedure, LmoCatArg column) {
  Text t(std::wstring(L"SELECT QV_QUALIFIER as PROCEDURE_CAT, QV_OWNER as PROCEDURE_SCHEM,            QV_NAME as "
                      L"PROCEDURE_NAME, COLUMN_NAME, QV_COLUMNTYPE as COLUMN_TYPE,DATA_TYPE,            TYPE_NAME,"
                      L"QV_PRECISION as PRECISION, QV_LENGTH as LENGTH, QV_SCALE as SCALE,            QV_RADIX as "
                      L"RADIX, QV_NULLABLE as NULLABLE, REMARKS FROM ") +
         table(L"QV_PROCCOLUMNS"));
  t.like(L"QV_NAME", procedure).like(L"COLUMN_NAME", column).like(L"QV_OWNER", schema);
  return t.equal(L"QV_QUALIFIER", catalog).str();
}

std::wstring lmoProceduresText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg procedure) {
  Text t(std::wstring(L"SELECT QV_QUALIFIER as PROCEDURE_CAT,QV_OWNER as PROCEDURE_SCHEM,             QV_NAME as "
                      L"PROCEDURE_NAME, NUM_INPUT_PARAMS as RESERVED_1, NUM_OUTPUT_PARAMS as RESERVED_2, "
                      L"NUM_RESULT_SETS as RESERVED_3,REMARKS, PROCEDURE_TYPE FROM ") +
         table(L"QV_PROC"));
  t.like(L"QV_NAME", procedure).like(L"QV_OWNER", schema).equal(L"QV_QUALIFIER", catalog);
  return t.add(L" ORDER BY PROCEDURE_CAT, PROCEDURE_SCHEM, PROCEDURE_NAME").str();
}

std::wstring lmoForeignKeysText(LmoCatArg pkCatalog, LmoCatArg pkSchema, LmoCatArg pkTable, LmoCatArg fkCatalog,
                                LmoCatArg fkSchema, LmoCatArg fkTable) {
  Text t(std::wstring(L"select PKTABLE_QUALIFIER as PKTABLE_CAT, PKTABLE_OWNER as PKTABLE_SCHEM, PKTABLE_NAME, "
                      L"PKCOLUMN_NAME,                         FKTABLE_QUALIFIER as FKTABLE_CAT, FKTABLE_OWNER as "
                      L"FKTABLE_SCHEM, FKTABLE_NAME, FKCOLUMN_NAME,                         KEY_SEQ, UPDATE_RULE, "
                      L"DELETE_RULE, FK_NAME, PK_NAME, NULL as DEFFERABILITY FROM ") +
         table(L"QV_FKEYS"));
  if (given(pkTable))
    t.equal(L"PKTABLE_NAME", pkTable).equal(L"PKTABLE_OWNER", pkSchema).equal(L"PKTABLE_QUALIFIER", pkCatalog);
  if (given(fkTable))
    t.equal(L"FKTABLE_NAME", fkTable).equal(L"FKTABLE_OWNER", fkSchema).equal(L"FKTABLE_QUALIFIER", fkCatalog);
  else
    t.criterion(L"FKTABLE_NAME is not null");
  if (!given(pkTable)) t.add(L" ORDER BY PKTABLE_CAT, PKTABLE_SCHEM, PKTABLE_NAME, KEY_SEQ");
  else if (!given(fkTable)) t.add(L" ORDER BY FKTABLE_CAT, FKTABLE_SCHEM, FKTABLE_NAME, KEY_SEQ");
  return t.str();
}

std::wstring lmoPrimaryKeysText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg tableName) {
  Text t(std::wstring(L"select PKTABLE_QUALIFIER as TABLE_CAT, PKTABLE_OWNER as TABLE_SCHEM,          PKTABLE_NAME "
                      L"as TABLE_NAME, PKCOLUMN_NAME as COLUMN_NAME, KEY_SEQ,PK_NAME FROM ") +
         table(L"QV_FKEYS"));
  t.equal(L"PKTABLE_NAME", tableName).equal(L"PKTABLE_OWNER", schema).equal(L"PKTABLE_QUALIFIER", catalog);
  t.criterion(L" WHERE FKTABLE_NAME is null ", L" AND FKTABLE_NAME is null ");
  return t.add(L" ORDER BY TABLE_CAT, TABLE_SCHEM, TABLE_NAME, KEY_SEQ").str();
}

std::wstring lmoTypeInfoText(int16_t sqlType) {
  std::wstring s = std::wstring(L"SELECT TYPE_NAME, DATA_TYPE, QV_PRECISION as PRECISION, LITERAL_PREFIX, "
                                L"LITERAL_SUFFIX, CREATE_PARAMS, QV_NULLABLE as NULLABLE, CASE_SENSITIVE, "
                                L"QV_SEARCHABLE as SEARCHABLE,") +
                   L" UNSIGNED_ATTRIB as UNSIGNED_ATTRIBUTE, QV_MONEY as FIXED_PREC_SCALE, AUTO_INCREMENT, "
                   L"LOCAL_TYPE_NAME, MINIMUM_SCALE, MAXIMUM_SCALE " +
                   L", NULL as SQL_DATA_TYPE, NULL as SQL_DATETIME_SUB,NULL as NUM_PREC_RADIX " + L" FROM " +
                   table(L"QV_TYPES");
  if (sqlType != SQL_ALL_TYPES) {
    wchar_t number[16];
    std::swprintf(number, 16, L"%i", static_cast<int>(sqlType));
    s += L" WHERE DATA_TYPE = ";
    s += number;
  }
  return s;
}

// ---------------------------------------------------------------------------
// The cores

namespace {

bool badLength(int16_t length) { return length < 0 && length != kNts; }

// The statement of a catalog call with its diagnostics cleared; NULL (after
// the trace line) when the handle is no live statement.
LmoStmt* begin(LmoStmt* stmt, const char* invalid) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "%s", invalid);
    return nullptr;
  }
  lmoClearErrorList(&s->errors);
  return s;
}

// A length that is neither a count nor -3 is refused with S1090.
bool refusedLengths(LmoStmt* s, std::initializer_list<int16_t> lengths, const char* name) {
  for (int16_t l : lengths) {
    if (!badLength(l)) continue;
    lmoAddError(&s->errors, kLmoErrBadLength, 0, nullptr);
    TR_TRACE(kSrc, htrODBC, 2, "%s: Invalid string length <%d>", name, static_cast<int>(l));
    return true;
  }
  return false;
}

// The driver type numbers below 2 have no procedures and no keys.
bool refusedByDriverType(LmoStmt* s, const char* message) {
  if (s->dbc == nullptr || s->dbc->driverTypeNumber >= 2) return false;
  lmoAddError(&s->errors, kLmoErrNotCapable, 0, message);
  TR_TRACE(kSrc, htrODBC, 2, "%s", message);
  return true;
}

// Builds the text, traces it, prepares it on the statement and executes it.
// `counted`: the prepare is given the text's length in characters, else -3.
template <class Build>
int16_t run(LmoStmt* s, const char* name, const wchar_t* traceFormat, bool counted, Build build) {
  std::wstring text;
  try {
    text = build();
  } catch (const std::bad_alloc&) {
    lmoAddError(&s->errors, kLmoErrMemory, 0, nullptr);
    TR_TRACE(kSrc, htrODBC, 2, "%s: Out of memory for the statement text", name);
    return -1;
  }
  TR_TRACEW(kSrc, htrODBC, 16, traceFormat, text.c_str());
  if (text.size() > static_cast<size_t>(INT32_MAX)) {
    lmoAddError(&s->errors, kLmoErrBadLength, 0, nullptr);
    return -1;
  }
  const auto length = static_cast<int32_t>(text.size());
  if (counted) TR_TRACE(kSrc, htrODBC, 16, "    %s: Sql stmt len= %d\n", name, length);
  // What the application's boundary kept of an earlier result is stale.
  ++s->rowSerial;
  int32_t r = rda_cliPrepareW(s->rdaStmt, text.c_str(), counted ? length : kNts);
  if (r < 0) {
    if (r == -1) TR_TRACE(kSrc, htrODBC, 2, "%s: rda_cliPrepareW failed", name);
    return static_cast<int16_t>(r);
  }
  r = rda_cliExecute(s->rdaStmt);
  if (r < 0) {
    if (r == -1) TR_TRACE(kSrc, htrODBC, 2, "%s: rda_cliExecute failed", name);
    return static_cast<int16_t>(r);
  }
  return 0;
}

LmoCatArg arg(const wchar_t* text, int16_t length) { return LmoCatArg{text, length}; }

}  // namespace

int16_t QVSQLTablesW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema, int16_t schemaLength,
                     wchar_t* tableName, int16_t tableLength, wchar_t* tableType, int16_t tableTypeLength) {
  LmoStmt* s = begin(stmt, "SQLTables: Invalid statement handle");
  if (s == nullptr) return -2;
  if (refusedLengths(s, {catalogLength, schemaLength, tableLength, tableTypeLength}, "SQLTablesW")) return -1;
  return run(s, "SQLTablesW", L"SQLTablesW Sql statement : <%ls>\n", true, [&] {
    return lmoTablesText(arg(catalog, catalogLength), arg(schema, schemaLength), arg(tableName, tableLength),
                         arg(tableType, tableTypeLength));
  });
}

int16_t QVSQLColumnsW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema, int16_t schemaLength,
                      wchar_t* tableName, int16_t tableLength, wchar_t* column, int16_t columnLength) {
  LmoStmt* s = begin(stmt, "SQLColumnsW: Invalid statement handle");
  if (s == nullptr) return -2;
  if (refusedLengths(s, {catalogLength, schemaLength, tableLength, columnLength}, "SQLColumnsW")) return -1;
  return run(s, "SQLColumnsW", L"SQLColumns Sql statement : <%ls>\n", false, [&] {
    return lmoColumnsText(arg(catalog, catalogLength), arg(schema, schemaLength), arg(tableName, tableLength),
                          arg(column, columnLength));
  });
}

int16_t QVSQLStatisticsW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                         int16_t schemaLength, wchar_t* tableName, int16_t tableLength, uint16_t unique,
                         uint16_t /*accuracy*/) {
  LmoStmt* s = begin(stmt, "SQLStatisticsW: Invalid statement handle");
  if (s == nullptr) return -2;
  if (refusedLengths(s, {catalogLength, schemaLength, tableLength}, "SQLStatisticsW")) return -1;
  return run(s, "SQLStatisticsW", L"SQLStatisticsW Sql statement: <%ls>\n", false, [&] {
    return lmoStatisticsText(arg(catalog, catalogLength), arg(schema, schemaLength), arg(tableName, tableLength),
                             unique);
  });
}

int16_t QVSQLSpecialColumnsW(LmoStmt* stmt, uint16_t identifierType, wchar_t* catalog, int16_t catalogLength,
                             wchar_t* schema, int16_t schemaLength, wchar_t* tableName, int16_t tableLength,
                             uint16_t scope, uint16_t nullable) {
  LmoStmt* s = begin(stmt, "SQLSpecialColumnsW: Invalid statement handle");
  if (s == nullptr) return -2;
  if (refusedLengths(s, {catalogLength, schemaLength, tableLength}, "SQLSpecialColumnsW")) return -1;
  const int64_t driverType = s->dbc != nullptr ? s->dbc->driverTypeNumber : 2;
  return run(s, "SQLSpecialColumnsW", L"SQLSpecialColumns Sql Statement: <%ls>\n", false, [&] {
    return lmoSpecialColumnsText(driverType, identifierType, arg(catalog, catalogLength), arg(schema, schemaLength),
                                 arg(tableName, tableLength), scope, nullable);
  });
}

int16_t QVSQLProcedureColumnsW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                               int16_t schemaLength, wchar_t* procedure, int16_t procedureLength, wchar_t* column,
                               int16_t columnLength) {
  LmoStmt* s = begin(stmt, "SQLProcedureColumnsW: Invalid statement handle");
  if (s == nullptr) return -2;
  if (refusedByDriverType(s, "SQLProcedureColumnsW is not supported by the current datasource.")) return -1;
  if (refusedLengths(s, {catalogLength, schemaLength, procedureLength, columnLength}, "SQLProcedureColumnsW"))
    return -1;
  return run(s, "SQLProcedureColumnsW", L"SQLProcedureColumnsW Sql statement : <%ls>\n", false, [&] {
    return lmoProcedureColumnsText(arg(catalog, catalogLength), arg(schema, schemaLength),
                                   arg(procedure, procedureLength), arg(column, columnLength));
  });
}

int16_t QVSQLProceduresW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                         int16_t schemaLength, wchar_t* procedure, int16_t procedureLength) {
  LmoStmt* s = begin(stmt, "SQLProceduresW: Invalid statement handle");
  if (s == nullptr) return -2;
  if (refusedByDriverType(s, "SQLProceduresW: not supported by the current datasource.")) return -1;
  if (refusedLengths(s, {catalogLength, schemaLength, procedureLength}, "SQLProceduresW")) return -1;
  return run(s, "SQLProcedures", L"SQLProcedures Sql statement : <%ls>\n", true, [&] {
    return lmoProceduresText(arg(catalog, catalogLength), arg(schema, schemaLength), arg(procedure, procedureLength));
  });
}

int16_t QVSQLForeignKeysW(LmoStmt* stmt, wchar_t* pkCatalog, int16_t pkCatalogLength, wchar_t* pkSchema,
                          int16_t pkSchemaLength, wchar_t* pkTable, int16_t pkTableLength, wchar_t* fkCatalog,
                          int16_t fkCatalogLength, wchar_t* fkSchema, int16_t fkSchemaLength, wchar_t* fkTable,
                          int16_t fkTableLength) {
  LmoStmt* s = begin(stmt, "SQLForeignKeysW: Invalid statement handle");
  if (s == nullptr) return -2;
  if (s->dbc != nullptr && s->dbc->driverTypeNumber < 2) {
    lmoAddErrorW(&s->errors, kLmoErrNotCapable, 0, L"SQLForeignKeysW: not supported by the current datasource.");
    TR_TRACE(kSrc, htrODBC, 2, "SQLForeignKeysW: not supported by the current datasource.");
    return -1;
  }
  if (refusedLengths(s, {pkCatalogLength, pkSchemaLength, pkTableLength, fkCatalogLength, fkSchemaLength,
                         fkTableLength},
                     "SQLForeignKeysW"))
    return -1;
  return run(s, "SQLForeignKeys", L"SQLForeignKeys Sql statement : <%ls>\n", true, [&] {
    return lmoForeignKeysText(arg(pkCatalog, pkCatalogLength), arg(pkSchema, pkSchemaLength),
                              arg(pkTable, pkTableLength), arg(fkCatalog, fkCatalogLength),
                              arg(fkSchema, fkSchemaLength), arg(fkTable, fkTableLength));
  });
}

int16_t QVSQLPrimaryKeysW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                          int16_t schemaLength, wchar_t* tableName, int16_t tableLength) {
  LmoStmt* s = begin(stmt, "SQLPrimaryKeysW: Invalid statement handle");
  if (s == nullptr) return -2;
  if (refusedByDriverType(s, "SQLPrimaryKeysW: not supported by the current datasource.")) return -1;
  if (refusedLengths(s, {catalogLength, schemaLength, tableLength}, "SQLPrimaryKeysW")) return -1;
  return run(s, "SQLPrimaryKeysW", L"SQLPrimaryKeysW Sql statement : <%ls>\n", true, [&] {
    return lmoPrimaryKeysText(arg(catalog, catalogLength), arg(schema, schemaLength), arg(tableName, tableLength));
  });
}

int16_t QVSQLGetTypeInfoW(LmoStmt* stmt, int16_t sqlType) {
  LmoStmt* s = begin(stmt, "SQLGetTypeInfoW: Invalid stmt handle");
  if (s == nullptr) return -2;
  return run(s, "SQLGetTypeInfoW", L"SQLGetTypeInfo: Sql Statement =%ls\n", false,
             [&] { return lmoTypeInfoText(sqlType); });
}
