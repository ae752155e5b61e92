// Result sets of the ODBC layer: describing, binding and reading the columns
// of an executed statement, the row count and further result sets, and the
// names of SQL types (from the information file, else asked of the
// server).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "src/odbc/cores.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/lmoparam.h"
#include "src/odbc/lmoresult.h"
#include "src/odbc/odbcapi.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_fetch.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/lmoresult";

constexpr int32_t kErrColumn = 53;  // S1002
constexpr int16_t kCChar = 1;
constexpr int16_t kCDefault = 99;
constexpr int32_t kTypeNameBytes = 32;  // a type name and its terminator
constexpr int32_t kInfoPathBytes = 512;

LmoStmt* liveStatement(LmoStmt* stmt, const char* name) {
  LmoStmt* s = lmoLiveStmt(stmt);
  if (s == nullptr) TR_TRACE(kSrc, htrODBC, 2, "%s: Invalid Statement handle", name);
  return s;
}

// How SQLColAttributes answers an attribute it asks of the client in
// another form.
enum class Mode { Plain, Display, Unsigned, Searchable, TypeName };

// A value or text of a server answer that may go into the information file:
// a line of its own.
bool fitsIniLine(const char* value) { return std::strpbrk(value, "\r\n") == nullptr; }

}  // namespace

// ---------------------------------------------------------------------------
// Describing

int16_t QVSQLNumResultCols(LmoStmt* stmt, int16_t* columns) {
  LmoStmt* s = liveStatement(stmt, "SQLNumResultCols");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  int16_t local = 0;
  return static_cast<int16_t>(rda_cliNumResultCols(s->rdaStmt, columns != nullptr ? columns : &local));
}

int16_t QVSQLDescribeColW(LmoStmt* stmt, uint16_t column, wchar_t* name, int16_t bufferLength, int16_t* nameLength,
                          int16_t* sqlType, uint64_t* columnSize, int16_t* decimalDigits, int16_t* nullable) {
  LmoStmt* s = liveStatement(stmt, "SQLDescribeCol");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  if (column == 0) {
    lmoAddError(&s->errors, kErrColumn, 0, nullptr);
    TR_TRACE(kSrc, htrODBC, 2, "SQLDescribeCol: Column number null");
    return -1;
  }
  if (bufferLength < 0) {
    lmoAddError(&s->errors, kLmoErrBadLength, 0, "SQLDescribeCol: Length of the column name buffer negative");
    return -1;
  }
  int16_t localLength = 0;
  int16_t localType = 0;
  if (nameLength == nullptr) nameLength = &localLength;
  if (sqlType == nullptr) sqlType = &localType;
  const int32_t r = rda_cliDescribeCol(s->rdaStmt, static_cast<int16_t>(column), name, bufferLength, nameLength,
                                       sqlType, columnSize, decimalDigits, nullable);
  if (r == 0) {
    if (*nameLength == -3) *nameLength = name != nullptr ? static_cast<int16_t>(std::wcslen(name)) : 0;
    *sqlType = lmoOdbcVersionType(s, *sqlType);
  }
  return static_cast<int16_t>(r);
}

int16_t QVSQLColAttributesW(LmoStmt* stmt, uint16_t column, uint16_t attribute, void* text, int16_t bufferLength,
                            int16_t* textLength, int64_t* number) {
  LmoStmt* s = liveStatement(stmt, "SQLColAttributes");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  wchar_t local[16];
  auto* buffer = static_cast<wchar_t*>(text);
  if (buffer == nullptr) {
    buffer = local;
    bufferLength = sizeof local;
  }
  if (bufferLength >= static_cast<int16_t>(sizeof(wchar_t))) buffer[0] = L'\0';
  int16_t localLength = 0;
  int64_t localNumber = 0;
  if (textLength == nullptr) textLength = &localLength;
  if (number == nullptr) number = &localNumber;
  *textLength = 0;

  switch (attribute) {
    case SQL_COLUMN_UPDATABLE:
      *number = 1;
      *textLength = 4;
      return 0;
    case SQL_COLUMN_CASE_SENSITIVE:
      *number = 1;
      return 0;
    case SQL_COLUMN_MONEY:
    case SQL_COLUMN_AUTO_INCREMENT:
      *number = 0;
      return 0;
    default:
      break;
  }

  Mode mode = Mode::Plain;
  uint16_t asked = attribute;
  switch (attribute) {
    case SQL_COLUMN_DISPLAY_SIZE: mode = Mode::Display; asked = SQL_COLUMN_TYPE; break;
    case SQL_COLUMN_UNSIGNED: mode = Mode::Unsigned; asked = SQL_COLUMN_TYPE; break;
    case SQL_COLUMN_SEARCHABLE: mode = Mode::Searchable; asked = SQL_COLUMN_TYPE; break;
    case SQL_COLUMN_LABEL: asked = SQL_COLUMN_NAME; break;
    default: break;
  }
  const auto col = static_cast<int16_t>(column);
  int32_t r = rda_cliColAttribute(s->rdaStmt, col, asked, buffer, bufferLength, textLength, number);
  if (attribute == SQL_COLUMN_TYPE_NAME) {
    if (*textLength < 1 && buffer[0] == L'\0') {
      TR_TRACE(kSrc, htrODBC, 16,
               "Type Name was not available in Result Column Attributes. We will map the type information.\n");
      mode = Mode::TypeName;
      asked = SQL_COLUMN_TYPE;
      r = rda_cliColAttribute(s->rdaStmt, col, asked, buffer, bufferLength, textLength, number);
    } else {
      TR_TRACE(kSrc, htrODBC, 16, "Type Name was available in Result Column Attributes.\n");
    }
  }
  if (attribute == SQL_COLUMN_TYPE || mode == Mode::TypeName)
    *number = lmoOdbcVersionType(s, static_cast<int16_t>(*number));
  if (*textLength == -3) *textLength = static_cast<int16_t>(std::wcslen(buffer) * sizeof(wchar_t));

  switch (mode) {
    case Mode::Plain:
      break;
    case Mode::Display:
      switch (*number) {
        case 4: *number = 11; break;
        case 5: *number = 6; break;
        case -7: *number = 1; break;
        case -6: *number = 4; break;
        case 7: *number = 14; break;
        case 6: case 8: *number = 24; break;
        default: {
          const bool dateTime = *number == 9 || *number == 10 || *number == 11;
          r = dateTime ? rda_cliColAttribute(s->rdaStmt, col, SQL_COLUMN_PRECISION, buffer, bufferLength, textLength,
                                             number)
                       : rda_cliColAttribute(s->rdaStmt, col, SQL_COLUMN_LENGTH, nullptr, 0, textLength, number);
          if (*textLength == -3) *textLength = static_cast<int16_t>(QvNarrowLength(buffer, -3));
          break;
        }
      }
      break;
    case Mode::Unsigned:
      *number = *number == 1 || *number == 12 ? 1 : 0;
      break;
    case Mode::Searchable:
      *number = *number == -1 || *number == -4 || *number == -10 ? SQL_LIKE_ONLY : SQL_SEARCHABLE;
      break;
    case Mode::TypeName:
      mapTypeToName(s, static_cast<int16_t>(*number), buffer, bufferLength, textLength);
      break;
  }
  return static_cast<int16_t>(r);
}

// ---------------------------------------------------------------------------
// Type names

void mapTypeToName(LmoStmt* stmt, int16_t sqlType, wchar_t* buffer, int16_t bufferLength, int16_t* length) {
  if (buffer != nullptr && bufferLength >= static_cast<int16_t>(sizeof(wchar_t))) buffer[0] = L'\0';
  if (length != nullptr) *length = 0;
  char path[kInfoPathBytes] = "qvinfo.ini";
  qv_getInfo(QV_INFO_INFOINIFILE, 0, path, sizeof path, -1);
  char key[16];
  std::snprintf(key, sizeof key, "%d", sqlType);
  char name[kTypeNameBytes] = "";
  GetPrivateProfileString("QV_TYPES", key, "", name, sizeof name, path);
  if (name[0] == '\0') {
    int16_t found = 0;
    if (lmoRequestType(stmt->dbc, key, name, sizeof name, &found) == 0 && name[0] != '\0') {
      // Later look-ups are answered from the file, unless the server's
      // answer would break its lines.
      if (fitsIniLine(name)) WritePrivateProfileString("QV_TYPES", key, name, path);
      else TR_TRACE(kSrc, htrODBC, 16, "Type name of %s not kept: it holds a line break", key);
    }
  }
  const auto chars = static_cast<int64_t>(std::strlen(name));
  if (chars == 0) return;
  if (buffer != nullptr && bufferLength >= static_cast<int16_t>(sizeof(wchar_t)))
    QvWidenText(name, chars, buffer, bufferLength / static_cast<int32_t>(sizeof(wchar_t)));
  if (length != nullptr) *length = static_cast<int16_t>(chars * static_cast<int64_t>(sizeof(wchar_t)));
}

namespace {

// The steps of the type-name query on the connection's own context: the
// cores themselves.
struct CoreSteps {
  static int16_t alloc(LmoDbc* d, void** s) {
    LmoStmt* stmt = nullptr;
    const int16_t r = QVSQLAllocStmt(d, &stmt);
    *s = stmt;
    return r;
  }
  static int16_t prepare(void* s, char* text) { return QVSQLPrepare(static_cast<LmoStmt*>(s), text, -3); }
  static int16_t execute(void* s) { return QVSQLExecute(static_cast<LmoStmt*>(s)); }
  static int16_t bind(void* s, char* buffer, int16_t length, int64_t* indicator) {
    return QVSQLBindCol(static_cast<LmoStmt*>(s), 1, kCChar, buffer, length, indicator);
  }
  static int16_t fetch(void* s) { return QVSQLFetch(static_cast<LmoStmt*>(s)); }
  static int16_t drop(void* s) { return QVSQLFreeStmt(static_cast<LmoStmt*>(s), 1); }
};

// The same from an application's thread: each step through the dispatch,
// on the connection's context and under its lock.
struct DispatchedSteps {
  static int16_t alloc(LmoDbc* d, void** s) { return lmoSQLAllocStmt(d, s); }
  static int16_t prepare(void* s, char* text) { return lmoSQLPrepare(s, reinterpret_cast<SQLCHAR*>(text), SQL_NTS); }
  static int16_t execute(void* s) { return lmoSQLExecute(s); }
  static int16_t bind(void* s, char* buffer, int16_t length, int64_t* indicator) {
    return lmoSQLBindCol(s, 1, SQL_C_CHAR, buffer, length, indicator);
  }
  static int16_t fetch(void* s) { return lmoSQLFetch(s); }
  static int16_t drop(void* s) { return lmoSQLFreeStmt(s, SQL_DROP); }
};

template <class Steps>
int16_t requestType(LmoDbc* dbc, const char* type, char* buffer, int16_t bufferLength, int16_t* length) {
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLRequestType: called");
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLRequestType: Invalid hdbc handle");
    return -2;
  }
  char local[50];
  if (buffer == nullptr || bufferLength <= 0) {
    buffer = local;
    bufferLength = sizeof local;
  }
  buffer[0] = '\0';
  char table[sizeof gsSchemaOwner + 16];
  if (gsSchemaOwner[0] == '\0') std::snprintf(table, sizeof table, "QV_TYPES ");
  else std::snprintf(table, sizeof table, "%s.QV_TYPES ", gsSchemaOwner);
  const size_t textSize = std::strlen(table) + std::strlen(type != nullptr ? type : "") + 64;
  char* text = static_cast<char*>(std::malloc(textSize));
  if (text == nullptr) return -1;
  std::snprintf(text, textSize, "SELECT TYPE_NAME FROM %s WHERE DATA_TYPE = %s", table, type != nullptr ? type : "");

  void* s = nullptr;
  int64_t indicator = 0;
  int16_t r = Steps::alloc(d, &s);
  if (r == 0 || r == 1) {
    if ((r = Steps::prepare(s, text)) == 0 && (r = Steps::execute(s)) == 0 &&
        (r = Steps::bind(s, buffer, bufferLength, &indicator)) == 0) {
      r = Steps::fetch(s);
      if (r == 0 || r == 110) {
        if (indicator > 0 && indicator < bufferLength) buffer[indicator] = '\0';
        r = Steps::drop(s);
        s = nullptr;
        if (r == 0 && length != nullptr) *length = static_cast<int16_t>(indicator);
      }
    }
    if (s != nullptr) Steps::drop(s);
  }
  std::free(text);
  if (r != 0) buffer[0] = '\0';
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLRequestType: returns %s", MapRetCodeToStr(r));
  return r;
}

}  // namespace

int16_t lmoRequestType(LmoDbc* dbc, const char* type, char* buffer, int16_t bufferLength, int16_t* length) {
  return requestType<CoreSteps>(dbc, type, buffer, bufferLength, length);
}

QV_EXPORT SQLRETURN SQL_API SQLRequestType(SQLHDBC dbc, SQLCHAR* type, SQLCHAR* buffer, SQLSMALLINT bufferLength,
                                           SQLSMALLINT* length) {
  return qvExport([&] {
    return requestType<DispatchedSteps>(static_cast<LmoDbc*>(dbc), reinterpret_cast<const char*>(type),
                                        reinterpret_cast<char*>(buffer), bufferLength, length);
  });
}

// ---------------------------------------------------------------------------
// Binding and reading

int16_t QVSQLBindCol(LmoStmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufferLength,
                     int64_t* indicator) {
  LmoStmt* s = liveStatement(stmt, "SQLBindCol");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  if (column == 0) {
    lmoAddError(&s->errors, kErrColumn, 0, nullptr);
    return -1;
  }
  if (bufferLength < 0) {
    lmoAddError(&s->errors, kLmoErrBadLength, 0, nullptr);
    return -1;
  }
  return static_cast<int16_t>(
      rda_cliBindCol(s->rdaStmt, static_cast<int16_t>(column), cType, value, bufferLength, indicator));
}

// The next row into the bound columns. Every fetch passes here: nothing
// beyond the client's own work.
int16_t QVSQLFetch(LmoStmt* stmt) {
  LmoStmt* s = liveStatement(stmt, "SQLFetch");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  // What the application's boundary kept of the last row is stale now.
  ++s->rowSerial;
  return static_cast<int16_t>(rda_cliFetch(s->rdaStmt));
}

int16_t QVSQLExtendedFetch(LmoStmt* stmt, uint16_t orientation, int64_t, uint64_t* rowCount, uint16_t* rowStatus) {
  LmoStmt* s = liveStatement(stmt, "SQLExtendedFetch");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  if (orientation != SQL_FETCH_NEXT) {
    lmoAddSQLState(&s->errors, "S1106", 0, "Invalid fetch type");
    TR_TRACE(kSrc, htrODBC, 2, "SQLExtendedFetch: Invalid fetch type");
    return -1;
  }
  int16_t r = QVSQLFetch(s);
  if (r == 110) r = 0;
  const bool none = r > 1;
  if (rowCount != nullptr) *rowCount = none ? 0 : 1;
  if (rowStatus != nullptr) *rowStatus = none ? SQL_ROW_NOROW : SQL_ROW_SUCCESS;
  return r;
}

int16_t QVSQLGetData(LmoStmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufferLength,
                     int64_t* indicator) {
  LmoStmt* s = liveStatement(stmt, "SQLGetData");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  int64_t local = 0;
  if (indicator == nullptr) indicator = &local;
  // A negative number reads the column again from its start.
  const auto col = static_cast<int16_t>(column);
  if (cType == kCDefault) {
    if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLGetData. rda_cliDescribeCol called");
    int16_t type = 0;
    const int16_t described = col < 0 ? static_cast<int16_t>(-col) : col;
    const int32_t d = rda_cliDescribeCol(s->rdaStmt, described, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr);
    if (d == 0 || d == 1) {
      if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLGetData: Column <%i> is type <%i>", described, type);
      const int16_t c = getDefaultType(type);
      if (ODBCTrace != 0)
        TR_TRACE(kSrc, htrODBC, 64, "    SQLGetData: Column <%i> defult type is <%i>", described, c);
      if (c == -1) TR_TRACE(kSrc, htrODBC, 64, "SQLGetData: Default type not found");
      else cType = c;
    }
  }
  if (ODBCTrace != 0) TR_TRACE(kSrc, htrODBC, 64, "    SQLGetData: fCType is <%i>", cType);
  const int32_t r = rda_cliGetCol(s->rdaStmt, col, cType, value, bufferLength, indicator);
  if (cType == kCChar && r == 0 && *indicator != -1) {
    auto* text = static_cast<char*>(value);
    if (*indicator == -3) *indicator = text != nullptr && bufferLength > 0 ? static_cast<int64_t>(strnlen(text, bufferLength)) : 0;
    if (text != nullptr && *indicator >= 0 && *indicator + 1 <= bufferLength) text[*indicator] = '\0';
  }
  return static_cast<int16_t>(r);
}

int16_t QVSQLRowCount(LmoStmt* stmt, int64_t* rows) {
  LmoStmt* s = liveStatement(stmt, "SQLRowCount");
  if (s == nullptr) return -2;
  lmoClearErrorList(&s->errors);
  int64_t local = 0;
  return static_cast<int16_t>(rda_cliRowCount(s->rdaStmt, rows != nullptr ? rows : &local));
}

int16_t QVSQLMoreResults(LmoStmt* stmt) {
  LmoStmt* s = liveStatement(stmt, "SQLMoreResults");
  if (s == nullptr) return -2;
  ++s->rowSerial;
  return static_cast<int16_t>(rda_cliMoreResults(s->rdaStmt));
}
