#include "src/odbc/qvprnt.h"

#include <initializer_list>
#include <utility>

#include "common/qvthread.h"
#include "src/odbc/lmoerr.h"
#include "src/odbc/qvnames.h"
#include "src/odbc/qvprntval.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/qvprnt";

#define PRNT(...) TR_TRACE(kSrc, htrODBC, 32, __VA_ARGS__)

unsigned long tid() { return static_cast<unsigned long>(QvGetThreadId()); }

// Success and success with information, tested as the unsigned 16-bit code.
bool succeeded(SQLRETURN rc) { return static_cast<uint16_t>(rc) < 2; }

enum class Head { Plain, Blank };

void enter(const char* fn, Head head = Head::Plain) {
  PRNT("[TID = %lX]:%s called:%s", tid(), fn, head == Head::Blank ? " " : "");
}

void leave(const char* fn, SQLRETURN rc) { PRNT("[TID = %lX]:%s: returns %s", tid(), fn, MapRetCodeToStr(rc)); }

void separator() {
  TR_TRACE(kSrc, htrODBC, 16, "**********************************************************************");
}

void handle(const char* name, const void* p) { QVPrntHandle(name, p); }

// A handle stored through an output pointer, under "*" and its name.
void newHandle(const char* label, const void* const* p) {
  if (p == nullptr)
    PRNT("   %s=<NULL>", label);
  else
    QVPrntHandle(label, *p);
}

// An input text's length of SQL_NO_TOTAL says nothing of where the text
// ends: it is shown as a negative length, and nothing of the text is read.
int64_t inputLength(int64_t length) { return length == SQL_NO_TOTAL ? -5 : length; }

void text(const char* name, const SQLCHAR* s, int64_t length, const char* lengthName) {
  QVGetStrValue(name, reinterpret_cast<const char*>(s), nullptr, inputLength(length), kQvLenValue);
  QVGetpcbValue(lengthName, nullptr, length, kQvLenValue);
}

void wtext(const char* name, const SQLWCHAR* s, int64_t length, const char* lengthName) {
  QVGetWStrValue(name, s, nullptr, inputLength(length), kQvLenValue);
  QVGetpcbValue(lengthName, nullptr, length, kQvLenValue);
}

// An output text with its length read as 16-bit; `capacity` in units.
void out16(const char* name, const void* s, const SQLSMALLINT* length, const char* lengthName, int64_t capacity) {
  QVGetStrValue(name, static_cast<const char*>(s), length, 0, kQvLenPtr16, capacity < 0 ? 0 : capacity);
  QVGetpcbValue(lengthName, length, 0, kQvLenPtr16);
}

void wout16(const char* name, const void* s, const SQLSMALLINT* length, const char* lengthName, int64_t capacity) {
  QVGetWStrValue(name, static_cast<const SQLWCHAR*>(s), length, 0, kQvLenPtr16, capacity < 0 ? 0 : capacity);
  QVGetpcbValue(lengthName, length, 0, kQvLenPtr16);
}

// A code written by its name from a short list; other values write no line.
void choice(const char* label, int64_t value, std::initializer_list<std::pair<int64_t, const char*>> names) {
  for (const auto& [code, name] : names)
    if (code == value) PRNT("   %s=%s", label, name);
}

void nullability(const SQLSMALLINT* nullable) {
  if (nullable == nullptr) {
    PRNT("   pfNullable=<NULL>");
    return;
  }
  choice("pfNullable", *nullable, {{0, "SQL_NO_NULLS"}, {1, "SQL_NULLABLE"}, {2, "SQL_NULLABLE_UNKNOWN"}});
}

void small(const char* name, const SQLSMALLINT* p) {
  if (p == nullptr)
    PRNT("   %s=<NULL>", name);
  else
    PRNT("   %s=%d", name, static_cast<int>(*p));
}

void wide(const char* name, const SQLLEN* p) {
  if (p == nullptr)
    PRNT("   %s=<NULL>", name);
  else
    PRNT("   %s=%ld", name, static_cast<long>(*p));
}

void sqlTypeAt(const SQLSMALLINT* type) {
  if (type == nullptr)
    PRNT("   pfSqlType=<NULL>");
  else
    QVGetSQLType(*type);
}

// Descriptor types of SQLColAttributes.
constexpr const char* kDescTypes[] = {
    "SQL_COLUMN_COUNT",         "SQL_COLUMN_NAME",         "SQL_COLUMN_TYPE",         "SQL_COLUMN_LENGTH",
    "SQL_COLUMN_PRECISION",     "SQL_COLUMN_SCALE",        "SQL_COLUMN_DISPLAY_SIZE", "SQL_COLUMN_NULLABLE",
    "SQL_COLUMN_UNSIGNED",      "SQL_COLUMN_MONEY",        "SQL_COLUMN_UPDATABLE",    "SQL_COLUMN_AUTO_INCREMENT",
    "SQL_COLUMN_CASE_SENSITIVE", "SQL_COLUMN_SEARCHABLE",  "SQL_COLUMN_TYPE_NAME",    "SQL_COLUMN_TABLE_NAME",
    "SQL_COLUMN_OWNER_NAME",    "SQL_COLUMN_QUALIFIER_NAME", "SQL_COLUMN_LABEL",
};

void descType(SQLUSMALLINT type) {
  if (type < sizeof kDescTypes / sizeof kDescTypes[0])
    PRNT("   fDescType=%s", kDescTypes[type]);
  else
    PRNT("   fDescType=%d", static_cast<int>(type));
}

bool textDescType(SQLUSMALLINT type) { return type == 1 || (type >= 14 && type <= 18); }
bool textField(SQLUSMALLINT field) { return (field >= 14 && field <= 18) || field == 1011; }

void pfDesc(const SQLLEN* p) {
  if (p == nullptr)
    PRNT("   pfDesc = <NULL>");
  else
    PRNT("   pfDesc=%ld", static_cast<long>(*p));
}

// The entry lines of the column attribute calls.
void colAttributesEntry(const char* fn, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute, SQLPOINTER text,
                        SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  enter(fn);
  handle("hstmt", stmt);
  PRNT("   icol=%d", static_cast<int>(column));
  descType(attribute);
  handle("rgbDesc", text);
  PRNT("   cbDescMax=%d", static_cast<int>(bufferLength));
  handle("pcbDesc", textLength);
  handle("pfDesc", number);
}

void colAttributeEntry(const char* fn, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                       SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  enter(fn);
  handle("StatementHandle", stmt);
  PRNT("   ColumnNumber=%d", static_cast<int>(column));
  QVPrntColAttrType(field);
  handle("CharacterAttribute", text);
  PRNT("   BufferLength=%d", static_cast<int>(bufferLength));
  handle("StringLength", textLength);
  handle("NumericAttribute", number);
}

void attrEntry(const char* fn, const char* handleName, const void* h, SQLINTEGER attribute, bool stmt,
               SQLPOINTER value) {
  enter(fn);
  handle(handleName, h);
  if (stmt)
    QVPrntStmtAttr(attribute);
  else
    QVPrntConnectAttr(attribute);
  handle("Value", value);
}

// SQLSetEnvAttr, SQLSetConnectAttr(W), SQLSetStmtAttr(W).
void setAttr(int phase, SQLRETURN rc, const char* fn, const char* handleName, const void* h, SQLINTEGER attribute,
             bool stmt, SQLPOINTER value, SQLINTEGER length, const void* env, const void* dbc, const void* st) {
  if (phase == 1) {
    attrEntry(fn, handleName, h, attribute, stmt, value);
    PRNT("   StringLength=%d", static_cast<int>(length));
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc)) QvTraceErrors(env, dbc, st);
  }
}

// SQLGetEnvAttr, SQLGetConnectAttr(W), SQLGetStmtAttr(W).
void getAttr(int phase, SQLRETURN rc, const char* fn, const char* handleName, const void* h, SQLINTEGER attribute,
             bool stmt, SQLPOINTER value, SQLINTEGER bufferLength, SQLINTEGER* length, const void* env,
             const void* dbc, const void* st) {
  if (phase == 1) {
    attrEntry(fn, handleName, h, attribute, stmt, value);
    PRNT("   BufferLength=%d", static_cast<int>(bufferLength));
    handle("StringLength", length);
  } else if (phase == 2) {
    leave(fn, rc);
    QVGetpcbValue("StringLength", length, 0, kQvLenPtr32);
    if (!succeeded(rc)) QvTraceErrors(env, dbc, st);
  }
}

// A call whose only argument is its handle and whose exit lists only the
// handle's diagnostics.
void onlyHandle(int phase, SQLRETURN rc, const char* fn, Head head, const char* name, const void* h, SQLSMALLINT type) {
  if (phase == 1) {
    enter(fn, head);
    handle(name, h);
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc)) QVPrntErrList(type, h);
  }
}

// A text argument of a catalog call: its name, text and length names.
struct CatText {
  const char* name;
  const void* text;
  SQLSMALLINT length;
  const char* lengthName;
};

void catalog(int phase, SQLRETURN rc, const char* fn, SQLHSTMT stmt, bool isWide, std::initializer_list<CatText> texts) {
  if (phase == 1) {
    enter(fn);
    handle("hstmt", stmt);
    for (const CatText& t : texts) {
      if (isWide)
        wtext(t.name, static_cast<const SQLWCHAR*>(t.text), t.length, t.lengthName);
      else
        text(t.name, static_cast<const SQLCHAR*>(t.text), t.length, t.lengthName);
    }
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

// The three-part table name of several catalog calls.
#define QV_TABLE3(c, cl, s, sl, t, tl)                                                         \
  CatText{"szTableQualifier", c, cl, "cbTableQualifier"}, CatText{"szTableOwner", s, sl, "cbTableOwner"}, \
      CatText{"szTableName", t, tl, "cbTableName"}

void statistics(int phase, SQLRETURN rc, const char* fn, SQLHSTMT stmt, bool isWide, const void* c,
                SQLSMALLINT cl, const void* s, SQLSMALLINT sl, const void* t, SQLSMALLINT tl, SQLUSMALLINT unique,
                SQLUSMALLINT accuracy) {
  catalog(phase, rc, fn, stmt, isWide, {QV_TABLE3(c, cl, s, sl, t, tl)});
  if (phase != 1) return;
  choice("fUnique", unique, {{0, "SQL_INDEX_UNIQUE"}, {1, "SQL_INDEX_ALL"}});
  choice("fAccuracy", accuracy, {{0, "SQL_QUICK"}, {1, "SQL_ENSURE"}});
}

void specialColumns(int phase, SQLRETURN rc, const char* fn, SQLHSTMT stmt, bool isWide, SQLUSMALLINT colType,
                    const void* c, SQLSMALLINT cl, const void* s, SQLSMALLINT sl, const void* t, SQLSMALLINT tl,
                    SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  if (phase == 1) {
    enter(fn);
    handle("hstmt", stmt);
    choice("fColType", colType, {{1, "SQL_BEST_ROWID"}, {2, "SQL_ROWVER"}});
    for (const CatText& x : {QV_TABLE3(c, cl, s, sl, t, tl)}) {
      if (isWide)
        wtext(x.name, static_cast<const SQLWCHAR*>(x.text), x.length, x.lengthName);
      else
        text(x.name, static_cast<const SQLCHAR*>(x.text), x.length, x.lengthName);
    }
    choice("fScope", scope, {{0, "SQL_SCOPE_CURROW"}, {1, "SCOPE_TRANSACTION"}, {2, "SCOPE_SESSION"}});
    choice("fNullable", nullable, {{0, "SQL_NO_NULLS"}, {1, "SQL_NULLABLE"}});
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void describeCol(int phase, SQLRETURN rc, const char* fn, bool isWide, SQLHSTMT stmt, SQLUSMALLINT column,
                 const void* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                 SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  if (phase == 1) {
    enter(fn);
    handle("hstmt", stmt);
    PRNT("   icol=%d", static_cast<int>(column));
    handle(isWide ? "wszColName" : "szColName", name);
    PRNT("   cbColNameMax=%d", static_cast<int>(bufferLength));
    handle("pcbColName", nameLength);
    handle("pfSqlType", sqlType);
    handle("pcbColDef", columnSize);
    handle("pibScale", decimalDigits);
    handle("pfNullable", nullable);
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc)) {
      QvTraceErrors(nullptr, nullptr, stmt);
      return;
    }
    if (isWide)
      wout16("szColName", name, nameLength, "pcbColName", bufferLength);
    else
      out16("szColName", name, nameLength, "pcbColName", bufferLength);
    sqlTypeAt(sqlType);
    wide("pcbColDef", reinterpret_cast<const SQLLEN*>(columnSize));
    small("pibScale", decimalDigits);
    nullability(nullable);
  }
}

// SQLGetDiagRec(W) and SQLErrorW: the outputs for 0, 1 and 100.
void diagOutputs(bool isWide, const void* sqlState, const SQLINTEGER* native, const void* message,
                 SQLSMALLINT messageSize, const SQLSMALLINT* messageLength) {
  if (sqlState == nullptr) {
    PRNT("   szSqlState=<NULL>");
  } else if (isWide) {
    SQLWCHAR state[6] = {0};
    for (int i = 0; i < 5 && static_cast<const SQLWCHAR*>(sqlState)[i] != 0; ++i)
      state[i] = static_cast<const SQLWCHAR*>(sqlState)[i];
    TR_TRACEW(kSrc, htrODBC, 32, L"   szSqlState=%ls\n", state);
  } else {
    char state[6] = {0};
    for (int i = 0; i < 5 && static_cast<const char*>(sqlState)[i] != 0; ++i)
      state[i] = static_cast<const char*>(sqlState)[i];
    PRNT("   szSqlState=%s", state);
  }
  if (native == nullptr)
    PRNT("   pfNativeError=<NULL>");
  else
    PRNT("   pfNativeError=%ld", static_cast<long>(*native));
  if (isWide)
    wout16("szErrorMsg", message, messageLength, "pcbErrorMsg", messageSize);
  else
    out16("szErrorMsg", message, messageLength, "pcbErrorMsg", messageSize);
}

void diagRec(int phase, SQLRETURN rc, const char* fn, bool isWide, SQLSMALLINT handleType, SQLHANDLE h,
             SQLSMALLINT record, const void* sqlState, SQLINTEGER* native, const void* message,
             SQLSMALLINT messageSize, SQLSMALLINT* messageLength) {
  if (phase == 1) {
    enter(fn, Head::Blank);
    PRNT("\tHandleType=%d", static_cast<int>(handleType));
    handle("Handle", h);
    PRNT("\tRecNumber=%d", static_cast<int>(record));
    handle("szSqlState", sqlState);
    handle("pfNativeError", native);
    handle(isWide ? "wszErrorMsg" : "szErrorMsg", message);
    PRNT("   cbErrorMsgMax=%d", static_cast<int>(messageSize));
    handle("pcbErrorMsg", messageLength);
  } else if (phase == 2) {
    leave(fn, rc);
    if (succeeded(rc) || rc == SQL_NO_DATA)
      diagOutputs(isWide, sqlState, native, message, messageSize, messageLength);
    else
      QVPrntErrList(handleType, h);
  }
}

}  // namespace

// ---- Environment, connection and transaction functions ----

void QVPrntSQLAllocEnv(int phase, SQLRETURN rc, SQLHENV* phenv) {
  if (phase == 1) {
    separator();
    enter("SQLAllocEnv");
    handle("phenv", phenv);
  } else if (phase == 2) {
    leave("SQLAllocEnv", rc);
    newHandle("*phenv", phenv);
  }
}

void QVPrntSQLAllocConnect(int phase, SQLRETURN rc, SQLHENV henv, SQLHDBC* phdbc) {
  if (phase == 1) {
    enter("SQLAllocConnect");
    handle("henv", henv);
    handle("phdbc", phdbc);
  } else if (phase == 2) {
    leave("SQLAllocConnect", rc);
    newHandle("*phdbc", phdbc);
    // The parent's list: the connection asked for does not exist.
    if (!succeeded(rc)) QvTraceErrors(henv, nullptr, nullptr);
  }
}

void QVPrntSQLAllocStmt(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLHSTMT* phstmt) {
  if (phase == 1) {
    enter("SQLAllocStmt");
    handle("hdbc", hdbc);
    handle("phstmt", phstmt);
  } else if (phase == 2) {
    leave("SQLAllocStmt", rc);
    newHandle("*phstmt", phstmt);
    if (!succeeded(rc)) QvTraceErrors(nullptr, hdbc, nullptr);
  }
}

void QVPrntSQLAllocHandle(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE input, SQLHANDLE* output) {
  if (phase == 1) {
    separator();
    enter("SQLAllocHandle");
    QVPrntHandleType(handleType);
    handle("InputHandle", input);
    handle("OutputHandle", output);
  } else if (phase == 2) {
    leave("SQLAllocHandle", rc);
    newHandle("*OutputHandle", output);
    // The parent's list, when the parent is a live record.
    if (!succeeded(rc)) {
      if (handleType == SQL_HANDLE_DBC) QVPrntErrList(SQL_HANDLE_ENV, input);
      if (handleType == SQL_HANDLE_STMT || handleType == SQL_HANDLE_DESC) QVPrntErrList(SQL_HANDLE_DBC, input);
    }
  }
}

void QVPrntSQLFreeEnv(int phase, SQLRETURN rc, SQLHENV henv) {
  onlyHandle(phase, rc, "SQLFreeEnv", Head::Blank, "henv", henv, SQL_HANDLE_ENV);
}

void QVPrntSQLFreeConnect(int phase, SQLRETURN rc, SQLHDBC hdbc) {
  onlyHandle(phase, rc, "SQLFreeConnect", Head::Blank, "hdbc", hdbc, SQL_HANDLE_DBC);
}

void QVPrntSQLFreeHandle(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE h) {
  if (phase == 1) {
    separator();
    enter("SQLFreeHandle");
    QVPrntHandleType(handleType);
    handle("Handle", h);
  } else if (phase == 2) {
    leave("SQLFreeHandle", rc);
    if (!succeeded(rc)) QVPrntErrList(handleType, h);
  }
}

void QVPrntSQLConnectW(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR* uid,
                       SQLSMALLINT uidLength, SQLWCHAR* authStr, SQLSMALLINT authStrLength) {
  static const SQLWCHAR kHidden[] = L"***";
  if (phase == 1) {
    enter("SQLConnectW");
    handle("hdbc", hdbc);
    wtext("wszDSN", dsn, dsnLength, "cbDSN");
    wtext("wszUID", uid != nullptr ? kHidden : nullptr, uidLength, "cbUID");
    wtext("wszAuthStr", authStr != nullptr ? kHidden : nullptr, authStrLength, "cbAuthStr");
  } else if (phase == 2) {
    PRNT("[TID = %lX]:SQLConnectW:returns %s", tid(), MapRetCodeToStr(rc));
    if (!succeeded(rc)) QvTraceErrors(nullptr, hdbc, nullptr);
  }
}

namespace {

void connectIn(const char* fn, SQLHDBC hdbc, SQLWCHAR* in, SQLSMALLINT inLength, SQLSMALLINT outMax) {
  enter(fn);
  handle("hdbc", hdbc);
  QVGetpcbValue("cbConnStrIn", nullptr, inLength, kQvLenValue);
  _QVGetWStrValue("wszConnStrIn", in, nullptr, inLength, kQvLenValue);
  QVGetpcbValue("cbConnStrOutMax", nullptr, outMax, kQvLenValue);
}

void connectOut(const char* fn, SQLRETURN rc, SQLHDBC hdbc, SQLWCHAR* out, SQLSMALLINT outMax,
                SQLSMALLINT* outLength) {
  leave(fn, rc);
  if (!succeeded(rc)) {
    QvTraceErrors(nullptr, hdbc, nullptr);
    return;
  }
  QVGetpcbValue("pcbConnStrOut", outLength, 0, kQvLenPtr16);
  _QVGetWStrValue("wszConnStrOut", out, outLength, 0, kQvLenPtr16, outMax < 0 ? 0 : outMax);
}

}  // namespace

void QVPrntSQLDriverConnectW(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLength,
                             SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
  if (phase == 1) {
    connectIn("SQLDriverConnectW", hdbc, in, inLength, outMax);
    choice("fDriverCompletion", completion,
           {{0, "SQL_DRIVER_NOPROMPT"}, {1, "SQL_DRIVER_COMPLETE"}, {2, "SQL_DRIVER_PROMPT"},
            {3, "SQL_DRIVER_COMPLETE_REQUIRED"}});
  } else if (phase == 2) {
    connectOut("SQLDriverConnectW", rc, hdbc, out, outMax, outLength);
  }
}

void QVPrntSQLBrowseConnectW(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLWCHAR* in, SQLSMALLINT inLength,
                             SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength) {
  if (phase == 1)
    connectIn("SQLBrowseConnectW", hdbc, in, inLength, outMax);
  else if (phase == 2)
    connectOut("SQLBrowseConnectW", rc, hdbc, out, outMax, outLength);
}

void QVPrntSQLDisconnect(int phase, SQLRETURN rc, SQLHDBC hdbc) {
  onlyHandle(phase, rc, "SQLDisconnect", Head::Blank, "hdbc", hdbc, SQL_HANDLE_DBC);
}

void QVPrntSQLTransact(int phase, SQLRETURN rc, SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type) {
  if (phase == 1) {
    enter("SQLTransact");
    handle("henv", henv);
    handle("hdbc", hdbc);
    choice("fType", type, {{0, "SQL_COMMIT"}, {1, "SQL_ROLLBACK"}});
  } else if (phase == 2) {
    leave("SQLTransact", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, hdbc, nullptr);
  }
}

void QVPrntSQLEndTran(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE h, SQLSMALLINT completion) {
  if (phase == 1) {
    enter("SQLEndTran");
    QVPrntHandleType(handleType);
    handle("Handle", h);
    choice("CompletionType", completion, {{0, "SQL_COMMIT"}, {1, "SQL_ROLLBACK"}});
  } else if (phase == 2) {
    leave("SQLEndTran", rc);
    if (!succeeded(rc)) QVPrntErrList(handleType, h);
  }
}

void QVPrntSQLStartTransaction(int phase, SQLRETURN rc, SQLHDBC hdbc) {
  onlyHandle(phase, rc, "SQLStartTransaction", Head::Plain, "hdbc", hdbc, SQL_HANDLE_DBC);
}

void QVPrntSQLSetEnvAttr(int phase, SQLRETURN rc, SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                         SQLINTEGER length) {
  setAttr(phase, rc, "SQLSetEnvAttr", "EnvironmentHandle", env, attribute, false, value, length, env, nullptr, nullptr);
}

void QVPrntSQLGetEnvAttr(int phase, SQLRETURN rc, SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                         SQLINTEGER bufferLength, SQLINTEGER* length) {
  getAttr(phase, rc, "SQLGetEnvAttr", "EnvironmentHandle", env, attribute, false, value, bufferLength, length, env,
          nullptr, nullptr);
}

void QVPrntSQLSetConnectAttr(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER length) {
  setAttr(phase, rc, "SQLSetConnectAttr", "ConnectionHandle", dbc, attribute, false, value, length, nullptr, dbc,
          nullptr);
}

void QVPrntSQLSetConnectAttrW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                              SQLINTEGER length) {
  setAttr(phase, rc, "SQLSetConnectAttrW", "ConnectionHandle", dbc, attribute, false, value, length, nullptr, dbc,
          nullptr);
}

void QVPrntSQLGetConnectAttr(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER bufferLength, SQLINTEGER* length) {
  getAttr(phase, rc, "SQLGetConnectAttr", "ConnectionHandle", dbc, attribute, false, value, bufferLength, length,
          nullptr, dbc, nullptr);
}

void QVPrntSQLGetConnectAttrW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                              SQLINTEGER bufferLength, SQLINTEGER* length) {
  getAttr(phase, rc, "SQLGetConnectAttrW", "ConnectionHandle", dbc, attribute, false, value, bufferLength, length,
          nullptr, dbc, nullptr);
}

void QVPrntSQLSetConnectOption(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  if (phase == 1) {
    enter("SQLSetConnectOption");
    handle("hdbc", dbc);
    QVPrintSetOptionValue(QVGetConnectOption(option), value);
  } else if (phase == 2) {
    leave("SQLSetConnectOption", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, dbc, nullptr);
  }
}

void QVPrntSQLSetConnectOptionW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  if (phase == 1) {
    enter("SQLSetConnectOptionW");
    handle("hdbc", dbc);
    // A text option's value is wide text: shown through the wide writer.
    QVPrintSetOptionValueW(QVGetConnectOption(option), value);
  } else if (phase == 2) {
    leave("SQLSetConnectOptionW", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, dbc, nullptr);
  }
}

void QVPrntSQLGetConnectOption(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  if (phase == 1) {
    enter("SQLGetConnectOption");
    handle("hdbc", dbc);
    QVGetConnectOption(option);
    handle("pvParam", value);
  } else if (phase == 2) {
    leave("SQLGetConnectOption", rc);
    const SQLSMALLINT cType = QVGetConnectOption(option);
    if (succeeded(rc))
      QVPrintGetOptionValue(cType, value);
    else
      QvTraceErrors(nullptr, dbc, nullptr);
  }
}

void QVPrntSQLGetConnectOptionW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  if (phase == 1) {
    enter("SQLGetConnectOptionW");
    handle("hdbc", dbc);
    QVGetConnectOption(option);
    handle("pvParam", value);
  } else if (phase == 2) {
    leave("SQLGetConnectOptionW", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, dbc, nullptr);
  }
}

namespace {

void getInfo(int phase, SQLRETURN rc, const char* fn, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
             SQLSMALLINT bufferLength, SQLSMALLINT* length) {
  if (phase == 1) {
    enter(fn);
    handle("hdbc", dbc);
    QVGetInfo(type);
    handle("rgbInfoValue", value);
    PRNT("   cbInfoValueMax=%d", static_cast<int>(bufferLength));
    handle("pcbInfoValue", length);
  } else if (phase == 2) {
    leave(fn, rc);
    QVGetpcbValue("pcbInfoValue", length, 0, kQvLenPtr16);
    if (!succeeded(rc)) QvTraceErrors(nullptr, dbc, nullptr);
  }
}

}  // namespace

void QVPrntSQLGetInfo(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                      SQLSMALLINT bufferLength, SQLSMALLINT* length) {
  getInfo(phase, rc, "SQLGetInfo", dbc, type, value, bufferLength, length);
}

void QVPrntSQLGetInfoW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                       SQLSMALLINT bufferLength, SQLSMALLINT* length) {
  getInfo(phase, rc, "SQLGetInfoW", dbc, type, value, bufferLength, length);
}

void QVPrntSQLGetFunctions(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT function, SQLUSMALLINT* exists) {
  if (phase == 1) {
    enter("SQLGetFunctions");
    handle("hdbc", dbc);
    PRNT("    fFunction=%d", static_cast<int>(function));
    handle("pfExists", exists);
  } else if (phase == 2) {
    leave("SQLGetFunctions", rc);
    if (!succeeded(rc)) {
      QvTraceErrors(nullptr, dbc, nullptr);
    } else if (exists == nullptr) {
      PRNT("   pfExists=<NULL>");
    } else {
      PRNT("   pfExists=%d", static_cast<int>(*exists));
    }
  }
}

// ---- Statement functions ----

namespace {

template <class Ch>
void sqlText(int phase, SQLRETURN rc, const char* fn, Head head, SQLHSTMT stmt, const Ch* s, SQLINTEGER length) {
  if (phase == 1) {
    enter(fn, head);
    handle("hstmt", stmt);
    if constexpr (sizeof(Ch) == 1)
      text("szSqlStr", reinterpret_cast<const SQLCHAR*>(s), length, "cbSqlStr");
    else
      wtext("szSqlStr", s, length, "cbSqlStr");
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

}  // namespace

void QVPrntSQLPrepare(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* s, SQLINTEGER length) {
  sqlText(phase, rc, "SQLPrepare", Head::Plain, stmt, s, length);
}

void QVPrntSQLPrepareW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* s, SQLINTEGER length) {
  sqlText(phase, rc, "SQLPrepareW", Head::Plain, stmt, s, length);
}

void QVPrntSQLExecDirect(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* s, SQLINTEGER length) {
  sqlText(phase, rc, "SQLExecDirect", Head::Blank, stmt, s, length);
}

void QVPrntSQLExecDirectW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* s, SQLINTEGER length) {
  sqlText(phase, rc, "SQLExecDirectW", Head::Blank, stmt, s, length);
}

void QVPrntSQLExecute(int phase, SQLRETURN rc, SQLHSTMT stmt) {
  onlyHandle(phase, rc, "SQLExecute", Head::Blank, "hstmt", stmt, SQL_HANDLE_STMT);
}

void QVPrntSQLCancel(int phase, SQLRETURN rc, SQLHSTMT stmt) {
  onlyHandle(phase, rc, "SQLCancel", Head::Plain, "hstmt", stmt, SQL_HANDLE_STMT);
}

void QVPrntSQLCloseCursor(int phase, SQLRETURN rc, SQLHSTMT stmt) {
  onlyHandle(phase, rc, "SQLCloseCursor", Head::Blank, "StatementHandle", stmt, SQL_HANDLE_STMT);
}

void QVPrntSQLFetch(int phase, SQLRETURN rc, SQLHSTMT stmt) {
  if (phase == 1) {
    PRNT("[TID = %lX]:SQLFetch Called: ", tid());
    handle("hstmt", stmt);
  } else if (phase == 2) {
    leave("SQLFetch", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLMoreResults(int phase, SQLRETURN rc, SQLHSTMT stmt) {
  if (phase == 1) {
    enter("SQLMoreResults", Head::Blank);
    handle("hstmt", stmt);
  } else if (phase == 2) {
    leave("SQLMoreResults", rc);
    if (!succeeded(rc) && rc != SQL_NO_DATA) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLExtendedFetch(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT fetchType, SQLLEN row,
                            SQLULEN* rowCount, SQLUSMALLINT* rowStatus) {
  if (phase == 1) {
    PRNT("SQLExtendedFetch Called: ");
    handle("hstmt", stmt);
    PRNT("   fFetchType=%d", static_cast<int>(fetchType));
    PRNT("   irow=%ld", static_cast<long>(row));
    handle("pcrow", rowCount);
    handle("rgfRowStatus", rowStatus);
  } else if (phase == 2) {
    PRNT("SQLExtendedFetch: returns %s", MapRetCodeToStr(rc));
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLFetchScroll(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  if (phase == 1) {
    PRNT("SQLFetchScroll Called: ");
    handle("hstmt", stmt);
    if (orientation == SQL_FETCH_NEXT)
      PRNT("   FetchOrientation=SQL_FETCH_NEXT");
    else
      PRNT("   FetchOrientation=%d", static_cast<int>(orientation));
    PRNT("   FetchOffset=%ld", static_cast<long>(offset));
  } else if (phase == 2) {
    PRNT("SQLFetchScroll: returns %s", MapRetCodeToStr(rc));
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLFreeStmt(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT option) {
  if (phase == 1) {
    enter("SQLFreeStmt", Head::Blank);
    handle("hstmt", stmt);
    choice("fOption", option, {{0, "SQL_CLOSE"}, {1, "SQL_DROP"}, {2, "SQL_UNBIND"}, {3, "SQL_RESET_PARAMS"}});
  } else if (phase == 2) {
    leave("SQLFreeStmt", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLSetStmtAttr(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                          SQLINTEGER length) {
  setAttr(phase, rc, "SQLSetStmtAttr", "StatementHandle", stmt, attribute, true, value, length, nullptr, nullptr, stmt);
}

void QVPrntSQLSetStmtAttrW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                           SQLINTEGER length) {
  setAttr(phase, rc, "SQLSetStmtAttrW", "StatementHandle", stmt, attribute, true, value, length, nullptr, nullptr,
          stmt);
}

void QVPrntSQLGetStmtAttr(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                          SQLINTEGER bufferLength, SQLINTEGER* length) {
  getAttr(phase, rc, "SQLGetStmtAttr", "StatementHandle", stmt, attribute, true, value, bufferLength, length, nullptr,
          nullptr, stmt);
}

void QVPrntSQLGetStmtAttrW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                           SQLINTEGER bufferLength, SQLINTEGER* length) {
  getAttr(phase, rc, "SQLGetStmtAttrW", "StatementHandle", stmt, attribute, true, value, bufferLength, length,
          nullptr, nullptr, stmt);
}

void QVPrntSQLSetStmtOption(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value) {
  if (phase == 1) {
    enter("SQLSetStmtOption");
    handle("hstmt", stmt);
    QVGetStmtOption(option);
    PRNT("   vParam=%lu", static_cast<unsigned long>(value));
  } else if (phase == 2) {
    leave("SQLSetStmtOption", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLGetStmtOption(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value) {
  if (phase == 1) {
    enter("SQLGetStmtOption");
    handle("hstmt", stmt);
    QVGetStmtOption(option);
    handle("pvParam", value);
  } else if (phase == 2) {
    leave("SQLGetStmtOption", rc);
    QVGetStmtOption(option);
    if (succeeded(rc))
      QVPrintGetOptionValue(SQL_C_ULONG, value);
    else
      QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLSetCursorName(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT length) {
  if (phase == 1) {
    enter("SQLSetCursorName");
    handle("hstmt", stmt);
    text("szCursor", name, length, "cbCursor");
  } else if (phase == 2) {
    leave("SQLSetCursorName", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLSetCursorNameW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT length) {
  if (phase == 1) {
    enter("SQLSetCursorNameW");
    handle("hstmt", stmt);
    wtext("szCursor", name, length, "cbCursor");
  } else if (phase == 2) {
    leave("SQLSetCursorNameW", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

namespace {

void getCursorName(int phase, SQLRETURN rc, const char* fn, bool isWide, SQLHSTMT stmt, const void* name,
                   SQLSMALLINT bufferLength, SQLSMALLINT* nameLength) {
  if (phase == 1) {
    enter(fn, Head::Blank);
    handle("hstmt", stmt);
    handle(isWide ? "wszCursor" : "szCursor", name);
    PRNT("   cbCursorMax=%d", static_cast<int>(bufferLength));
    handle("pcbCursor", nameLength);
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc))
      QvTraceErrors(nullptr, nullptr, stmt);
    else if (isWide)
      wout16("szCursor", name, nameLength, "pcbCursor", bufferLength);
    else
      out16("szCursor", name, nameLength, "pcbCursor", bufferLength);
  }
}

}  // namespace

void QVPrntSQLGetCursorName(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength,
                            SQLSMALLINT* nameLength) {
  getCursorName(phase, rc, "SQLGetCursorName", false, stmt, name, bufferLength, nameLength);
}

void QVPrntSQLGetCursorNameW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT bufferLength,
                             SQLSMALLINT* nameLength) {
  getCursorName(phase, rc, "SQLGetCursorNameW", true, stmt, name, bufferLength, nameLength);
}

namespace {

void countOut(int phase, SQLRETURN rc, const char* fn, SQLHSTMT stmt, const char* name, const SQLSMALLINT* count) {
  if (phase == 1) {
    enter(fn);
    handle("hstmt", stmt);
    handle(name, count);
  } else if (phase == 2) {
    leave(fn, rc);
    if (succeeded(rc))
      small(name, count);
    else
      QvTraceErrors(nullptr, nullptr, stmt);
  }
}

}  // namespace

void QVPrntSQLNumResultCols(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT* columns) {
  countOut(phase, rc, "SQLNumResultCols", stmt, "pccol", columns);
}

void QVPrntSQLNumParams(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT* count) {
  countOut(phase, rc, "SQLNumParams", stmt, "wNumParams", count);
}

void QVPrntSQLRowCount(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLLEN* rows) {
  if (phase == 1) {
    enter("SQLRowCount");
    handle("hstmt", stmt);
    handle("pcrow", rows);
  } else if (phase == 2) {
    leave("SQLRowCount", rc);
    if (succeeded(rc))
      wide("pcrow", rows);
    else
      QvTraceErrors(nullptr, nullptr, stmt);
  }
}

namespace {

void typeInfo(int phase, SQLRETURN rc, const char* fn, SQLHSTMT stmt, SQLSMALLINT sqlType) {
  if (phase == 1) {
    enter(fn);
    handle("hstmt", stmt);
    QVGetSQLType(sqlType);
  } else if (phase == 2) {
    leave(fn, rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

}  // namespace

void QVPrntSQLGetTypeInfo(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT sqlType) {
  typeInfo(phase, rc, "SQLGetTypeInfo", stmt, sqlType);
}

void QVPrntSQLGetTypeInfoW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT sqlType) {
  typeInfo(phase, rc, "SQLGetTypeInfoW", stmt, sqlType);
}

// ---- Column, parameter and data functions ----

void QVPrntSQLBindCol(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER,
                      SQLLEN bufferLength, SQLLEN* indicator) {
  if (phase == 1) {
    enter("SQLBindCol");
    handle("hstmt", stmt);
    PRNT("   icol=%d", static_cast<int>(column));
    QVGetCType(cType);
    PRNT("   cbValueMax=%ld", static_cast<long>(bufferLength));
    handle("pcbValue", indicator);
  } else if (phase == 2) {
    leave("SQLBindCol", rc);
    if (succeeded(rc))
      QVGetpcbValue("pcbValue", indicator, 0, kQvLenPtr);
    else
      QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLGetData(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                      SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
  if (phase == 1) {
    enter("SQLGetData");
    handle("hstmt", stmt);
    PRNT("   icol=%d", static_cast<int>(column));
    QVGetCType(cType);
    handle("rgbValue", value);
    PRNT("   cbValueMax=%d", static_cast<int>(bufferLength));
    handle("pcbValue", indicator);
  } else if (phase == 2) {
    leave("SQLGetData", rc);
    if (!succeeded(rc)) {
      QvTraceErrors(nullptr, nullptr, stmt);
      return;
    }
    // No more of the value is read than the buffer the call was given.
    QVGetrgbValue("rgbValue", value, indicator, 0, kQvLenPtr, cType, bufferLength < 0 ? 0 : bufferLength);
    QVGetpcbValue("pcbValue", indicator, 0, kQvLenPtr);
  }
}

void QVPrntSQLPutData(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
  if (phase == 1) {
    enter("SQLPutData");
    handle("hstmt", stmt);
    text("rgbValue", static_cast<const SQLCHAR*>(data), length, "cbValue");
  } else if (phase == 2) {
    leave("SQLPutData", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLParamData(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLPOINTER* value) {
  if (phase == 1) {
    enter("SQLParamData");
    handle("hstmt", stmt);
    if (value == nullptr)
      PRNT("   prgbValue=<NULL>");
    else
      PRNT("   prgbValue=0x%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(*value)));
  } else if (phase == 2) {
    leave("SQLParamData", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLBindParameter(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT ioType,
                            SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                            SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
  if (phase == 1) {
    enter("SQLBindParameter");
    handle("hstmt", stmt);
    PRNT("   ipar=%d", static_cast<int>(parameter));
    choice("fParamType", ioType,
           {{1, "SQL_PARAM_INPUT"}, {2, "SQL_PARAM_INPUT_OUTPUT"}, {4, "SQL_PARAM_OUTPUT"}});
    QVGetCType(cType);
    QVGetSQLType(sqlType);
    PRNT("   cbColDef=%ld", static_cast<long>(columnSize));
    PRNT("   ibScale=%ld", static_cast<long>(decimalDigits));
    PRNT("   cbValueMax=%ld", static_cast<long>(bufferLength));
    handle("pcbValue", indicator);
  } else if (phase == 2) {
    // The value lines come before the exit header, whatever the result.
    QVGetrgbValue("rgbValue", value, indicator, 0, kQvLenPtr, cType,
                  bufferLength > 0 ? bufferLength : kQvNoCapacity);
    QVGetpcbValue("pcbValue", indicator, 0, kQvLenPtr);
    leave("SQLBindParameter", rc);
    if (!succeeded(rc)) QvTraceErrors(nullptr, nullptr, stmt);
  }
}

void QVPrntSQLDescribeCol(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                          SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                          SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  describeCol(phase, rc, "SQLDescribeCol", false, stmt, column, name, bufferLength, nameLength, sqlType, columnSize,
              decimalDigits, nullable);
}

void QVPrntSQLDescribeColW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name,
                           SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                           SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  describeCol(phase, rc, "SQLDescribeColW", true, stmt, column, name, bufferLength, nameLength, sqlType, columnSize,
              decimalDigits, nullable);
}

void QVPrntSQLDescribeParam(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT* sqlType,
                            SQLULEN* size, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  if (phase == 1) {
    enter("SQLDescribeParam");
    handle("hstmt", stmt);
    PRNT("   ipar=%d", static_cast<int>(parameter));
    handle("pfSqlType", sqlType);
    handle("pcbParamDef", size);
    handle("pibScale", decimalDigits);
    handle("pfNullable", nullable);
  } else if (phase == 2) {
    leave("SQLDescribeParam", rc);
    if (!succeeded(rc)) {
      QvTraceErrors(nullptr, nullptr, stmt);
      return;
    }
    sqlTypeAt(sqlType);
    wide("pcbParamDef", reinterpret_cast<const SQLLEN*>(size));
    small("pibScale", decimalDigits);
    nullability(nullable);
  }
}

void QVPrntSQLColAttributes(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute,
                            SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  if (phase == 1) {
    colAttributesEntry("SQLColAttributes", stmt, column, attribute, text, bufferLength, textLength, number);
  } else if (phase == 2) {
    leave("SQLColAttributes", rc);
    if (!succeeded(rc))
      QvTraceErrors(nullptr, nullptr, stmt);
    else if (textDescType(attribute))
      out16("rgbDesc", text, textLength, "pcbDesc", bufferLength);
    else
      pfDesc(number);
  }
}

void QVPrntSQLColAttributesW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute,
                             SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  if (phase == 1) {
    colAttributesEntry("SQLColAttributesW", stmt, column, attribute, text, bufferLength, textLength, number);
  } else if (phase == 2) {
    leave("SQLColAttributesW", rc);
    if (!succeeded(rc)) {
      QvTraceErrors(nullptr, nullptr, stmt);
      return;
    }
    const int64_t bytes = bufferLength < 0 ? 0 : bufferLength;
    if (textDescType(attribute))
      QVGetWStrValue("rgbDesc", static_cast<const SQLWCHAR*>(text), textLength, 0, kQvLenPtr16,
                     bytes / static_cast<int64_t>(sizeof(SQLWCHAR)));
    else
      QVGetStrValue("rgbDesc", static_cast<const char*>(text), textLength, 0, kQvLenPtr16, bytes);
    QVGetpcbValue("pcbDesc", textLength, 0, kQvLenPtr16);
  }
}

void QVPrntSQLColAttribute(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                           SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  if (phase == 1) {
    colAttributeEntry("SQLColAttribute", stmt, column, field, text, bufferLength, textLength, number);
  } else if (phase == 2) {
    leave("SQLColAttribute", rc);
    if (!succeeded(rc))
      QvTraceErrors(nullptr, nullptr, stmt);
    else
      out16("CharacterAttribute", text, textLength, "StringLength", bufferLength);
  }
}

void QVPrntSQLColAttributeW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                            SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  if (phase == 1) {
    colAttributeEntry("SQLColAttributeW", stmt, column, field, text, bufferLength, textLength, number);
  } else if (phase == 2) {
    leave("SQLColAttributeW", rc);
    if (!succeeded(rc)) {
      QvTraceErrors(nullptr, nullptr, stmt);
      return;
    }
    const int64_t bytes = bufferLength < 0 ? 0 : bufferLength;
    if (textField(field))
      QVGetWStrValue("CharacterAttribute", static_cast<const SQLWCHAR*>(text), textLength, 0, kQvLenPtr16,
                     bytes / static_cast<int64_t>(sizeof(SQLWCHAR)));
    else
      QVGetStrValue("CharacterAttribute", static_cast<const char*>(text), textLength, 0, kQvLenPtr16, bytes);
    QVGetpcbValue("StringLength", textLength, 0, kQvLenPtr16);
  }
}

void QVPrntSQLParamAttributes(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT descType,
                              SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  constexpr SQLSMALLINT kParamDirection = 1000;
  if (phase == 1) {
    enter("SQLParamAttributes");
    handle("hstmt", stmt);
    PRNT("   param=%d", static_cast<int>(parameter));
    PRNT("   cbDescMax=%d", static_cast<int>(bufferLength));
    if (descType == kParamDirection)
      PRNT("   fDescType=QV_SQL_PARAM_DIRECTION");
    else
      PRNT("   fDescType=%d", static_cast<int>(descType));
    handle("pcbDesc", textLength);
    handle("pfDesc", number);
  } else if (phase == 2) {
    leave("SQLParamAttributes", rc);
    if (!succeeded(rc))
      QvTraceErrors(nullptr, nullptr, stmt);
    else if (descType == kParamDirection)
      pfDesc(number);
    else
      out16("rgbDesc", text, textLength, "pcbDesc", bufferLength);
  }
}

// ---- Catalog functions ----

void QVPrntSQLTables(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl,
                     SQLCHAR* t, SQLSMALLINT tl, SQLCHAR* ty, SQLSMALLINT tyl) {
  catalog(phase, rc, "SQLTables", stmt, false,
          {QV_TABLE3(c, cl, s, sl, t, tl), CatText{"szTableType", ty, tyl, "cbTableType"}});
}

void QVPrntSQLTablesW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s,
                      SQLSMALLINT sl, SQLWCHAR* t, SQLSMALLINT tl, SQLWCHAR* ty, SQLSMALLINT tyl) {
  catalog(phase, rc, "SQLTablesW", stmt, true,
          {QV_TABLE3(c, cl, s, sl, t, tl), CatText{"szTableType", ty, tyl, "cbTableType"}});
}

void QVPrntSQLColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl,
                      SQLCHAR* t, SQLSMALLINT tl, SQLCHAR* col, SQLSMALLINT coll) {
  catalog(phase, rc, "SQLColumns", stmt, false,
          {QV_TABLE3(c, cl, s, sl, t, tl), CatText{"szColumnName", col, coll, "cbColumnName"}});
}

void QVPrntSQLColumnsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s,
                       SQLSMALLINT sl, SQLWCHAR* t, SQLSMALLINT tl, SQLWCHAR* col, SQLSMALLINT coll) {
  catalog(phase, rc, "SQLColumnsW", stmt, true,
          {QV_TABLE3(c, cl, s, sl, t, tl), CatText{"szColumnName", col, coll, "cbColumnName"}});
}

void QVPrntSQLStatistics(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s,
                         SQLSMALLINT sl, SQLCHAR* t, SQLSMALLINT tl, SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
  statistics(phase, rc, "SQLStatistics", stmt, false, c, cl, s, sl, t, tl, unique, accuracy);
}

void QVPrntSQLStatisticsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s,
                          SQLSMALLINT sl, SQLWCHAR* t, SQLSMALLINT tl, SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
  statistics(phase, rc, "SQLStatisticsW", stmt, true, c, cl, s, sl, t, tl, unique, accuracy);
}

void QVPrntSQLSpecialColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT colType, SQLCHAR* c,
                             SQLSMALLINT cl, SQLCHAR* s, SQLSMALLINT sl, SQLCHAR* t, SQLSMALLINT tl,
                             SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  specialColumns(phase, rc, "SQLSpecialColumns", stmt, false, colType, c, cl, s, sl, t, tl, scope, nullable);
}

void QVPrntSQLSpecialColumnsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT colType, SQLWCHAR* c,
                              SQLSMALLINT cl, SQLWCHAR* s, SQLSMALLINT sl, SQLWCHAR* t, SQLSMALLINT tl,
                              SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  specialColumns(phase, rc, "SQLSpecialColumnsW", stmt, true, colType, c, cl, s, sl, t, tl, scope, nullable);
}

void QVPrntSQLPrimaryKeys(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s,
                          SQLSMALLINT sl, SQLCHAR* t, SQLSMALLINT tl) {
  catalog(phase, rc, "SQLPrimaryKeys", stmt, false, {QV_TABLE3(c, cl, s, sl, t, tl)});
}

void QVPrntSQLPrimaryKeysW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s,
                           SQLSMALLINT sl, SQLWCHAR* t, SQLSMALLINT tl) {
  catalog(phase, rc, "SQLPrimaryKeysW", stmt, true, {QV_TABLE3(c, cl, s, sl, t, tl)});
}

#define QV_FKEYS                                                                                         \
  {CatText{"szPkQualifier", pkc, pkcl, "cbPkQualifier"}, CatText{"szPkOwner", pks, pksl, "cbPkOwner"},   \
   CatText{"szPkTableName", pkt, pktl, "cbPkTableName"}, CatText{"szFkQualifier", fkc, fkcl, "cbFkQualifier"}, \
   CatText{"szFkOwner", fks, fksl, "cbFkOwner"}, CatText{"szFkTableName", fkt, fktl, "cbFkTableName"}}

void QVPrntSQLForeignKeys(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* pkc, SQLSMALLINT pkcl, SQLCHAR* pks,
                          SQLSMALLINT pksl, SQLCHAR* pkt, SQLSMALLINT pktl, SQLCHAR* fkc, SQLSMALLINT fkcl,
                          SQLCHAR* fks, SQLSMALLINT fksl, SQLCHAR* fkt, SQLSMALLINT fktl) {
  catalog(phase, rc, "SQLForeignKeys", stmt, false, QV_FKEYS);
}

void QVPrntSQLForeignKeysW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* pkc, SQLSMALLINT pkcl, SQLWCHAR* pks,
                           SQLSMALLINT pksl, SQLWCHAR* pkt, SQLSMALLINT pktl, SQLWCHAR* fkc, SQLSMALLINT fkcl,
                           SQLWCHAR* fks, SQLSMALLINT fksl, SQLWCHAR* fkt, SQLSMALLINT fktl) {
  catalog(phase, rc, "SQLForeignKeysW", stmt, true, QV_FKEYS);
}

#define QV_PROC3                                                                                          \
  CatText{"szProcQualifier", c, cl, "cbProcQualifier"}, CatText{"szProcOwner", s, sl, "cbProcOwner"}, \
      CatText{"szProcName", p, pl, "cbProcName"}

void QVPrntSQLProcedures(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s,
                         SQLSMALLINT sl, SQLCHAR* p, SQLSMALLINT pl) {
  catalog(phase, rc, "SQLProcedures", stmt, false, {QV_PROC3});
}

void QVPrntSQLProceduresW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s,
                          SQLSMALLINT sl, SQLWCHAR* p, SQLSMALLINT pl) {
  catalog(phase, rc, "SQLProceduresW", stmt, true, {QV_PROC3});
}

void QVPrntSQLProcedureColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* c, SQLSMALLINT cl, SQLCHAR* s,
                               SQLSMALLINT sl, SQLCHAR* p, SQLSMALLINT pl, SQLCHAR* col, SQLSMALLINT coll) {
  catalog(phase, rc, "SQLProcedureColumns", stmt, false,
          {QV_PROC3, CatText{"szColumnName", col, coll, "cbColumnName"}});
}

void QVPrntSQLProcedureColumnsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* c, SQLSMALLINT cl, SQLWCHAR* s,
                                SQLSMALLINT sl, SQLWCHAR* p, SQLSMALLINT pl, SQLWCHAR* col, SQLSMALLINT coll) {
  catalog(phase, rc, "SQLProcedureColumnsW", stmt, true,
          {QV_PROC3, CatText{"szColumnName", col, coll, "cbColumnName"}});
}

// ---- Diagnostic functions ----

void QVPrntSQLGetDiagRec(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE h, SQLSMALLINT record,
                         SQLCHAR* sqlState, SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT messageSize,
                         SQLSMALLINT* messageLength) {
  diagRec(phase, rc, "SQLGetDiagRec", false, handleType, h, record, sqlState, native, message, messageSize,
          messageLength);
}

void QVPrntSQLGetDiagRecW(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE h, SQLSMALLINT record,
                          SQLWCHAR* sqlState, SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT messageSize,
                          SQLSMALLINT* messageLength) {
  diagRec(phase, rc, "SQLGetDiagRecW", true, handleType, h, record, sqlState, native, message, messageSize,
          messageLength);
}

void QVPrntSQLErrorW(int phase, SQLRETURN rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* sqlState,
                     SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength) {
  if (phase == 1) {
    enter("SQLErrorW", Head::Blank);
    handle("henv", env);
    handle("hdbc", dbc);
    handle("hstmt", stmt);
    handle("szSqlState", sqlState);
    handle("pfNativeError", native);
    handle("wszErrorMsg", message);
    PRNT("   cbErrorMsgMax=%d", static_cast<int>(messageSize));
    handle("pcbErrorMsg", messageLength);
  } else if (phase == 2) {
    leave("SQLErrorW", rc);
    if (succeeded(rc) || rc == SQL_NO_DATA)
      diagOutputs(true, sqlState, native, message, messageSize, messageLength);
    else
      QvTraceErrors(nullptr, dbc, stmt);
  }
}
