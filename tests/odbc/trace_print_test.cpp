// The ODBC call trace: the value formatters and the printers, called
// directly with fixed handle values, against the records written out by
// hand (the writer's blank before each 8-bit line, none before a wide one).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <string>

#include "driver_fixture.h"
#include "src/odbc/exports.h"
#include "src/odbc/exports3.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/qvprnt.h"
#include "src/odbc/qvprntval.h"
#include "src/runtime/gutrace.h"
#include "support/call_trace.h"
#include "support/recordset.h"

namespace {

// The writer on the test's file with htrODBC open at `mask` and the trace
// switched on; the driver's own handle and switch come back afterwards.
class OdbcTrace : public CallTrace {
 protected:
  void SetUp() override {
    // The start-up comes before the writer is the test's (it opens its
    // handles), and after the process mutexes the writer's test support
    // makes, which it then keeps.
    ensureProcessMutexes();
    attachDriverOnce();
    CallTrace::SetUp();
    savedOdbc_ = htrODBC;
    savedJdbc_ = htrJDBC;
    savedFlag_ = ODBCTrace;
    start();
    htrODBC = tr_open("qvsql", 63);
    htrJDBC = nullptr;
    ODBCTrace = 1;
  }
  void TearDown() override {
    htrODBC = savedOdbc_;
    htrJDBC = savedJdbc_;
    ODBCTrace = savedFlag_;
    CallTrace::TearDown();
  }

  TrHandle savedOdbc_ = nullptr;
  TrHandle savedJdbc_ = nullptr;
  int32_t savedFlag_ = 0;
};

template <class T>
T* at(uintptr_t address) {
  return reinterpret_cast<T*>(address);
}

const auto kEnv = at<void>(0x20);
const auto kDbc = at<void>(0x30);
const auto kStmt = at<void>(0x10);

std::string ptr(const void* p) {
  char s[32];
  std::snprintf(s, sizeof s, "%p", p);
  return s;
}

// ---- Value formatters ----

TEST_F(OdbcTrace, LengthLinesByModeAndSpecialValue) {
  const SQLLEN big = 5000000000;
  const SQLSMALLINT neg = -4;
  const SQLINTEGER thirty = 30;
  QVGetpcbValue("cbSqlStr", nullptr, SQL_NTS, kQvLenValue);
  QVGetpcbValue("cbValue", nullptr, -7, kQvLenValue);
  QVGetpcbValue("pcbValue", &big, 0, kQvLenPtr);
  QVGetpcbValue("pcbValue", nullptr, 0, kQvLenPtr);
  QVGetpcbValue("pcbDesc", &neg, 0, kQvLenPtr16);
  QVGetpcbValue("StringLength", &thirty, 0, kQvLenPtr32);
  QVGetpcbValue("x", &thirty, 0, 9);  // an unknown mode writes nothing
  for (SQLLEN n : {-1, -2, -5}) QVGetpcbValue("v", nullptr, n, kQvLenValue);
  EXPECT_EQ(trace(),
            "    cbSqlStr=SQL_NTS\n"
            "    cbValue=-7\n"
            "    pcbValue=5000000000\n"
            "    pcbValue=<NULL>\n"
            "    pcbDesc=SQL_NO_TOTAL\n"
            "    StringLength=30\n"
            "    v=SQL_NULL_DATA\n"
            "    v=SQL_DATA_AT_EXEC\n"
            "    v=SQL_DEFAULT_PARAM\n");
}

TEST_F(OdbcTrace, TextValuesAreCutAtTheirLengthTheirZeroAnd1023Bytes) {
  const std::string longText(5000, 'x');
  const char withZero[] = "ab\0cd";
  const SQLSMALLINT three = 3;
  QVGetStrValue("szSqlStr", longText.c_str(), nullptr, SQL_NTS, kQvLenValue);
  QVGetStrValue("a", withZero, nullptr, SQL_NO_TOTAL, kQvLenValue);
  QVGetStrValue("b", "abcdef", nullptr, 3, kQvLenValue);
  QVGetStrValue("c", "abcdef", &three, 0, kQvLenPtr16);
  QVGetStrValue("d", nullptr, nullptr, 3, kQvLenValue);
  QVGetStrValue("e", "x", nullptr, 0, kQvLenPtr16);
  QVGetStrValue("f", "x", nullptr, 0, 7);
  QVGetStrValue("g", "x", nullptr, -1, kQvLenValue);
  QVGetStrValue("h", "x", nullptr, -2, kQvLenValue);
  QVGetStrValue("i", "x", nullptr, -5, kQvLenValue);
  QVGetStrValue("j", "x", nullptr, -9, kQvLenValue);
  QVGetStrValue("k", "abcdef", nullptr, SQL_NTS, kQvLenValue, 4);  // an output buffer of 4 bytes
  EXPECT_EQ(trace(),
            "    szSqlStr=<TRUNCATED for printing>\n"
            "    szSqlStr=" + std::string(1023, 'x') + "\n"
            "    a=ab\n"
            "    b=abc\n"
            "    c=abc\n"
            "    d=<NULL>\n"
            "    e=<Invalid pcbValue>\n"
            "    f=<Invalid pcbValue>\n"
            "    g=<NULL DATA>\n"
            "    h=<DATA AT EXEC>\n"
            "    i=<SQL_DEFAULT_PARAM>\n"
            "    j=<-ve pcbValue>\n"
            "    k=abcd\n");
}

TEST_F(OdbcTrace, BoundValuesByTheirCType) {
  SQLLEN n = 4;
  TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 5, 9, 500000000};
  const int32_t sl = -5;
  const uint32_t ul = 4000000000u;
  const int16_t ss = -3;
  const uint16_t us = 65535;
  const unsigned char byte = 200;
  const float f = 1.5f;
  const double d = 2.25;
  const wchar_t wide[] = L"wide";
  QVGetrgbValue("rgbValue", &ts, &n, 0, kQvLenPtr, SQL_C_TIMESTAMP);
  QVGetrgbValue("rgbValue", &ts, &n, 0, kQvLenPtr, SQL_C_TYPE_TIMESTAMP);
  QVGetrgbValue("rgbValue", wide, &n, 0, kQvLenPtr, SQL_C_WCHAR);  // nothing
  QVGetrgbValue("rgbValue", &sl, &n, 0, kQvLenPtr, SQL_C_LONG);
  QVGetrgbValue("rgbValue", &ul, &n, 0, kQvLenPtr, SQL_C_ULONG);
  QVGetrgbValue("rgbValue", &ss, &n, 0, kQvLenPtr, SQL_C_SHORT);
  QVGetrgbValue("rgbValue", &us, &n, 0, kQvLenPtr, SQL_C_USHORT);
  QVGetrgbValue("rgbValue", &byte, &n, 0, kQvLenPtr, SQL_C_BIT);
  QVGetrgbValue("rgbValue", &byte, &n, 0, kQvLenPtr, SQL_C_TINYINT);
  QVGetrgbValue("rgbValue", &f, &n, 0, kQvLenPtr, SQL_C_FLOAT);
  QVGetrgbValue("rgbValue", &d, &n, 0, kQvLenPtr, SQL_C_DOUBLE);
  QVGetrgbValue("rgbValue", &d, &n, 0, kQvLenPtr, SQL_C_DATE);
  QVGetrgbValue("rgbValue", &d, &n, 0, kQvLenPtr, SQL_C_NUMERIC);  // nothing
  QVGetrgbValue("rgbValue", "text", &n, 0, kQvLenPtr, SQL_C_CHAR);
  QVGetrgbValue("rgbValue", nullptr, &n, 0, kQvLenPtr, SQL_C_CHAR);
  QVGetrgbValue("rgbValue", &d, nullptr, 0, kQvLenPtr, SQL_C_DOUBLE);
  QVGetrgbValue("rgbValue", &d, &n, 0, 8, SQL_C_DOUBLE);
  n = SQL_NULL_DATA;
  QVGetrgbValue("rgbValue", &d, &n, 0, kQvLenPtr, SQL_C_DOUBLE);
  EXPECT_EQ(trace(),
            "    rgbValue=2024-2-29 13:5:9\n"
            "    rgbValue=2024-2-29 13:5:9\n"
            "    rgbValue=-5\n"
            "    rgbValue=4000000000\n"
            "    rgbValue=-3\n"
            "    rgbValue=65535\n"
            "    rgbValue=200\n"
            "    rgbValue=-56\n"
            "    rgbValue=1.500000\n"
            "    rgbValue=2.250000\n"
            "    rgbValue=" + ptr(&d) + "\n"
            "    rgbValue=text\n"
            "    rgbValue=<NULL>\n"
            "    rgbValue=<Invalid pcbValue>\n"
            "    rgbValue=Unknown pcbValue type=8\n"
            "    rgbValue=<NULL DATA>\n");
}

// ---- Levels ----

TEST_F(OdbcTrace, LevelThreeDumpsEveryWideLineAndAnUnknownLevelWritesNothing) {
  const struct {
    int32_t level;
    bool lines;
    bool dump;
  } levels[] = {{1, true, false}, {2, true, false}, {3, true, true}, {7, false, false}};
  for (const auto& l : levels) {
    ASSERT_EQ(QvInitTrace(0, -1, l.level), 1);
    EXPECT_EQ(ODBCTrace, 1);
    std::remove(file_.c_str());
    QVPrntSQLExecDirectW(1, SQL_SUCCESS, kStmt, const_cast<SQLWCHAR*>(L"SELECT 1"), SQL_NTS);
    const std::string t = trace();
    EXPECT_EQ(t.find(" [TID = 7F2A]:SQLExecDirectW called: \n    hstmt=0x10\n    szSqlStr=\n SELECT 1\n") !=
                  std::string::npos,
              l.lines)
        << l.level << t;
    EXPECT_EQ(t.find("<Unicode Trace:Hex>") != std::string::npos, l.dump) << l.level << t;
    EXPECT_EQ(t.empty(), !l.lines) << l.level;
  }
}

// ---- Records of one call per family ----

TEST_F(OdbcTrace, EnvironmentAndConnectionRecords) {
  SQLHENV env = kEnv;
  SQLHDBC dbc = kDbc;
  QVPrntSQLAllocEnv(1, SQL_SUCCESS, &env);
  QVPrntSQLAllocEnv(2, SQL_SUCCESS, &env);
  QVPrntSQLAllocConnect(1, SQL_SUCCESS, kEnv, &dbc);
  QVPrntSQLAllocConnect(2, SQL_ERROR, kEnv, nullptr);
  QVPrntSQLFreeConnect(1, SQL_SUCCESS, kDbc);
  QVPrntSQLFreeConnect(2, SQL_SUCCESS, kDbc);
  QVPrntSQLFreeConnect(3, SQL_SUCCESS, kDbc);  // no such phase
  const std::string t = trace();
  const std::regex expected(
      "^ \\[TID: 7F2A\\], qvprnt:[0-9]+: \\*{70}\n"
      " \\[TID = 7F2A\\]:SQLAllocEnv called:\n"
      "    phenv=" + ptr(&env) + "\n"
      " \\[TID = 7F2A\\]:SQLAllocEnv: returns SQL_SUCCESS\n"
      "    \\*phenv=0x20\n"
      " \\[TID = 7F2A\\]:SQLAllocConnect called:\n"
      "    henv=0x20\n"
      "    phdbc=" + ptr(&dbc) + "\n"
      " \\[TID = 7F2A\\]:SQLAllocConnect: returns SQL_ERROR\n"
      "    \\*phdbc=<NULL>\n"
      " \\[TID = 7F2A\\]:SQLFreeConnect called: \n"
      "    hdbc=0x30\n"
      " \\[TID = 7F2A\\]:SQLFreeConnect: returns SQL_SUCCESS\n$");
  EXPECT_TRUE(std::regex_match(t, expected)) << t;
}

TEST_F(OdbcTrace, ConnectRecordsHideUsersAndPasswords) {
  QVPrntSQLConnectW(1, SQL_SUCCESS, kDbc, const_cast<SQLWCHAR*>(L"rdatest"), SQL_NTS, const_cast<SQLWCHAR*>(L"bob"),
                    3, const_cast<SQLWCHAR*>(L"secret"), SQL_NTS);
  QVPrntSQLConnectW(1, SQL_SUCCESS, kDbc, nullptr, 0, nullptr, 0, nullptr, SQL_NTS);
  QVPrntSQLConnectW(2, SQL_ERROR, kDbc, nullptr, 0, nullptr, 0, nullptr, 0);
  // Every qualifying keyword is masked, also one inside another's value.
  wchar_t in[] = L"DSN=a;X=PWD=s1;PWD=s2;pwd = s3;User Id=ann;Password=pw;UID=u";
  wchar_t out[100];
  std::wcscpy(out, in);
  SQLSMALLINT outLength = static_cast<SQLSMALLINT>(std::wcslen(out));
  QVPrntSQLDriverConnectW(1, SQL_SUCCESS, kDbc, nullptr, in, SQL_NTS, out, 100, &outLength, SQL_DRIVER_NOPROMPT);
  QVPrntSQLDriverConnectW(2, SQL_SUCCESS, kDbc, nullptr, in, SQL_NTS, out, 100, &outLength, SQL_DRIVER_NOPROMPT);
  QVPrntSQLDriverConnectW(1, SQL_SUCCESS, kDbc, nullptr, nullptr, 0, nullptr, 0, nullptr, 9);
  const std::string masked = "DSN=a;X=PWD=**;PWD=**;pwd =***;User Id=***;Password=**;UID=*";
  EXPECT_EQ(std::wstring(in), L"DSN=a;X=PWD=s1;PWD=s2;pwd = s3;User Id=ann;Password=pw;UID=u");  // untouched
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLConnectW called:\n"
            "    hdbc=0x30\n"
            "    wszDSN=\n rdatest\n"
            "    cbDSN=SQL_NTS\n"
            "    wszUID=\n ***\n"
            "    cbUID=3\n"
            "    wszAuthStr=\n ***\n"
            "    cbAuthStr=SQL_NTS\n"
            " [TID = 7F2A]:SQLConnectW called:\n"
            "    hdbc=0x30\n"
            "    wszDSN=<NULL>\n"
            "    cbDSN=0\n"
            "    wszUID=<NULL>\n"
            "    cbUID=0\n"
            "    wszAuthStr=<NULL>\n"
            "    cbAuthStr=SQL_NTS\n"
            " [TID = 7F2A]:SQLConnectW:returns SQL_ERROR\n"
            " [TID = 7F2A]:SQLDriverConnectW called:\n"
            "    hdbc=0x30\n"
            "    cbConnStrIn=SQL_NTS\n"
            "    wszConnStrIn=\n " + masked + "\n"
            "    cbConnStrOutMax=100\n"
            "    fDriverCompletion=SQL_DRIVER_NOPROMPT\n"
            " [TID = 7F2A]:SQLDriverConnectW: returns SQL_SUCCESS\n"
            "    pcbConnStrOut=" + std::to_string(outLength) + "\n"
            "    wszConnStrOut=\n " + masked + "\n"
            " [TID = 7F2A]:SQLDriverConnectW called:\n"
            "    hdbc=0x30\n"
            "    cbConnStrIn=0\n"
            "    wszConnStrIn=<NULL>\n"
            "    cbConnStrOutMax=0\n");
}

TEST_F(OdbcTrace, StatementRecords) {
  QVPrntSQLFetch(1, SQL_SUCCESS, kStmt);
  QVPrntSQLFetch(2, SQL_SUCCESS, kStmt);
  const std::string fetch = trace();
  EXPECT_EQ(fetch,
            " [TID = 7F2A]:SQLFetch Called: \n"
            "    hstmt=0x10\n"
            " [TID = 7F2A]:SQLFetch: returns SQL_SUCCESS\n");
  std::remove(file_.c_str());
  const std::string sql(5000, 's');
  QVPrntSQLExecDirect(1, SQL_SUCCESS, kStmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  QVPrntSQLExecDirect(2, SQL_STILL_EXECUTING, kStmt, nullptr, 0);
  QVPrntSQLExecute(2, 5, kStmt);
  QVPrntSQLFetch(2, SQL_NO_DATA, kStmt);
  QVPrntSQLMoreResults(2, SQL_NO_DATA, kStmt);
  QVPrntSQLFreeStmt(1, SQL_SUCCESS, kStmt, SQL_DROP);
  QVPrntSQLFreeStmt(1, SQL_SUCCESS, kStmt, 9);
  SQLULEN rows = 0;
  QVPrntSQLExtendedFetch(1, SQL_SUCCESS, kStmt, SQL_FETCH_NEXT, 1, &rows, nullptr);
  QVPrntSQLExtendedFetch(2, SQL_SUCCESS, kStmt, SQL_FETCH_NEXT, 1, &rows, nullptr);
  QVPrntSQLFetchScroll(1, SQL_SUCCESS, kStmt, SQL_FETCH_NEXT, 0);
  QVPrntSQLFetchScroll(1, SQL_SUCCESS, kStmt, SQL_FETCH_ABSOLUTE, -3);
  QVPrntSQLFetchScroll(2, SQL_SUCCESS, kStmt, SQL_FETCH_ABSOLUTE, -3);
  SQLLEN count = 12345678901;
  QVPrntSQLRowCount(2, SQL_SUCCESS, kStmt, &count);
  QVPrntSQLRowCount(2, SQL_SUCCESS, kStmt, nullptr);
  SQLSMALLINT cols = 3;
  QVPrntSQLNumResultCols(2, SQL_SUCCESS, kStmt, &cols);
  SQLSMALLINT nameLength = 4;
  char name[5] = "CUR1";
  QVPrntSQLGetCursorName(1, SQL_SUCCESS, kStmt, reinterpret_cast<SQLCHAR*>(name), 5, &nameLength);
  QVPrntSQLGetCursorName(2, SQL_SUCCESS, kStmt, reinterpret_cast<SQLCHAR*>(name), 5, &nameLength);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLExecDirect called: \n"
            "    hstmt=0x10\n"
            "    szSqlStr=<TRUNCATED for printing>\n"
            "    szSqlStr=" + std::string(1023, 's') + "\n"
            "    cbSqlStr=SQL_NTS\n"
            " [TID = 7F2A]:SQLExecDirect: returns SQL_STILL_EXECUTING\n"
            " [TID = 7F2A]:SQLExecute: returns \n"
            " [TID = 7F2A]:SQLFetch: returns SQL_NO_DATA\n"
            " [TID = 7F2A]:SQLMoreResults: returns SQL_NO_DATA\n"
            " [TID = 7F2A]:SQLFreeStmt called: \n"
            "    hstmt=0x10\n"
            "    fOption=SQL_DROP\n"
            " [TID = 7F2A]:SQLFreeStmt called: \n"
            "    hstmt=0x10\n"
            " SQLExtendedFetch Called: \n"
            "    hstmt=0x10\n"
            "    fFetchType=1\n"
            "    irow=1\n"
            "    pcrow=" + ptr(&rows) + "\n"
            "    rgfRowStatus=<NULL>\n"
            " SQLExtendedFetch: returns SQL_SUCCESS\n"
            " SQLFetchScroll Called: \n"
            "    hstmt=0x10\n"
            "    FetchOrientation=SQL_FETCH_NEXT\n"
            "    FetchOffset=0\n"
            " SQLFetchScroll Called: \n"
            "    hstmt=0x10\n"
            "    FetchOrientation=5\n"
            "    FetchOffset=-3\n"
            " SQLFetchScroll: returns SQL_SUCCESS\n"
            " [TID = 7F2A]:SQLRowCount: returns SQL_SUCCESS\n"
            "    pcrow=12345678901\n"
            " [TID = 7F2A]:SQLRowCount: returns SQL_SUCCESS\n"
            "    pcrow=<NULL>\n"
            " [TID = 7F2A]:SQLNumResultCols: returns SQL_SUCCESS\n"
            "    pccol=3\n"
            " [TID = 7F2A]:SQLGetCursorName called: \n"
            "    hstmt=0x10\n"
            "    szCursor=" + ptr(name) + "\n"
            "    cbCursorMax=5\n"
            "    pcbCursor=" + ptr(&nameLength) + "\n"
            " [TID = 7F2A]:SQLGetCursorName: returns SQL_SUCCESS\n"
            "    szCursor=CUR1\n"
            "    pcbCursor=4\n");
}

TEST_F(OdbcTrace, ColumnAndDataRecords) {
  TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 5, 9, 500000000};
  SQLLEN indicator = sizeof ts;
  QVPrntSQLGetData(1, SQL_SUCCESS, kStmt, 2, SQL_C_TIMESTAMP, &ts, sizeof ts, &indicator);
  QVPrntSQLGetData(2, SQL_SUCCESS, kStmt, 2, SQL_C_TIMESTAMP, &ts, sizeof ts, &indicator);
  wchar_t text[8] = L"abc";
  indicator = 12;
  QVPrntSQLGetData(2, SQL_SUCCESS, kStmt, 1, SQL_C_WCHAR, text, sizeof text, &indicator);
  QVPrntSQLGetData(2, SQL_ERROR, kStmt, 1, SQL_C_WCHAR, text, sizeof text, &indicator);
  QVPrntSQLBindCol(1, SQL_SUCCESS, kStmt, 3, 93, text, 32, nullptr);
  QVPrntSQLBindCol(2, SQL_SUCCESS, kStmt, 3, 93, text, 32, nullptr);
  SQLSMALLINT nameLength = 3, type = SQL_VARCHAR, scale = 0, nullable = SQL_NULLABLE;
  SQLULEN size = 5000000000;
  wchar_t name[4] = L"n\U0001F600m";
  QVPrntSQLDescribeColW(2, SQL_SUCCESS, kStmt, 1, name, 4, &nameLength, &type, &size, &scale, &nullable);
  QVPrntSQLDescribeColW(2, SQL_SUCCESS, kStmt, 1, name, 4, nullptr, nullptr, nullptr, nullptr, nullptr);
  SQLLEN number = 7;
  QVPrntSQLColAttributes(1, SQL_SUCCESS, kStmt, 1, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &number);
  QVPrntSQLColAttributes(2, SQL_SUCCESS, kStmt, 1, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &number);
  QVPrntSQLColAttributes(2, SQL_SUCCESS, kStmt, 1, 99, nullptr, 0, nullptr, nullptr);
  QVPrntSQLColAttribute(1, SQL_SUCCESS, kStmt, 1, 1, nullptr, 0, nullptr, nullptr);
  const std::string t = trace();
  EXPECT_EQ(t,
            " [TID = 7F2A]:SQLGetData called:\n"
            "    hstmt=0x10\n"
            "    icol=2\n"
            "    fCType=SQL_C_TIMESTAMP\n"
            "    rgbValue=" + ptr(&ts) + "\n"
            "    cbValueMax=16\n"
            "    pcbValue=" + ptr(&indicator) + "\n"
            " [TID = 7F2A]:SQLGetData: returns SQL_SUCCESS\n"
            "    rgbValue=2024-2-29 13:5:9\n"
            "    pcbValue=16\n"
            " [TID = 7F2A]:SQLGetData: returns SQL_SUCCESS\n"
            "    pcbValue=12\n"
            " [TID = 7F2A]:SQLGetData: returns SQL_ERROR\n"
            " [TID = 7F2A]:SQLBindCol called:\n"
            "    hstmt=0x10\n"
            "    icol=3\n"
            "    fCType=93 <Invalid Type>\n"
            "    cbValueMax=32\n"
            "    pcbValue=<NULL>\n"
            " [TID = 7F2A]:SQLBindCol: returns SQL_SUCCESS\n"
            "    pcbValue=<NULL>\n"
            " [TID = 7F2A]:SQLDescribeColW: returns SQL_SUCCESS\n"
            "    szColName=\n n\xF0\x9F\x98\x80m\n"
            "    pcbColName=3\n"
            "    fSqlType=SQL_VARCHAR\n"
            "    pcbColDef=5000000000\n"
            "    pibScale=0\n"
            "    pfNullable=SQL_NULLABLE\n"
            " [TID = 7F2A]:SQLDescribeColW: returns SQL_SUCCESS\n"
            "    szColName=<Invalid pcbValue>\n"
            "    pcbColName=<NULL>\n"
            "    pfSqlType=<NULL>\n"
            "    pcbColDef=<NULL>\n"
            "    pibScale=<NULL>\n"
            "    pfNullable=<NULL>\n"
            " [TID = 7F2A]:SQLColAttributes called:\n"
            "    hstmt=0x10\n"
            "    icol=1\n"
            "    fDescType=SQL_COLUMN_LENGTH\n"
            "    rgbDesc=<NULL>\n"
            "    cbDescMax=0\n"
            "    pcbDesc=<NULL>\n"
            "    pfDesc=" + ptr(&number) + "\n"
            " [TID = 7F2A]:SQLColAttributes: returns SQL_SUCCESS\n"
            "    pfDesc=7\n"
            " [TID = 7F2A]:SQLColAttributes: returns SQL_SUCCESS\n"
            "    pfDesc = <NULL>\n"
            " [TID = 7F2A]:SQLColAttribute called:\n"
            "    StatementHandle=0x10\n"
            "    ColumnNumber=1\n"
            "    CharacterAttribute=<NULL>\n"
            "    BufferLength=0\n"
            "    StringLength=<NULL>\n"
            "    NumericAttribute=<NULL>\n");
}

// A value longer than the buffer it was asked into is read no further than
// the buffer: the call was given 8 bytes.
TEST_F(OdbcTrace, OutputValuesAreReadWithinTheBufferTheCallWasGiven) {
  auto buffer = std::make_unique<char[]>(8);
  std::memset(buffer.get(), 'b', 8);
  SQLLEN indicator = 100;
  QVPrntSQLGetData(2, SQL_SUCCESS_WITH_INFO, kStmt, 1, SQL_C_BINARY, buffer.get(), 8, &indicator);
  QVPrntSQLGetData(2, SQL_SUCCESS_WITH_INFO, kStmt, 1, SQL_C_CHAR, buffer.get(), 8, &indicator);
  indicator = SQL_NO_TOTAL;
  QVPrntSQLGetData(2, SQL_SUCCESS_WITH_INFO, kStmt, 1, SQL_C_BINARY, buffer.get(), 8, &indicator);
  SQLSMALLINT nameLength = 50;
  QVPrntSQLDescribeCol(2, SQL_SUCCESS_WITH_INFO, kStmt, 1, reinterpret_cast<SQLCHAR*>(buffer.get()), 8, &nameLength,
                       nullptr, nullptr, nullptr, nullptr);
  auto wide = std::make_unique<wchar_t[]>(2);
  wide[0] = L'w';
  wide[1] = L'v';
  QVPrntSQLGetCursorNameW(2, SQL_SUCCESS_WITH_INFO, kStmt, wide.get(), 2, &nameLength);
  const std::string eight(8, 'b');
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLGetData: returns SQL_SUCCESS_WITH_INFO\n"
            "    rgbValue=" + eight + "\n"
            "    pcbValue=100\n"
            " [TID = 7F2A]:SQLGetData: returns SQL_SUCCESS_WITH_INFO\n"
            "    rgbValue=" + eight + "\n"
            "    pcbValue=100\n"
            " [TID = 7F2A]:SQLGetData: returns SQL_SUCCESS_WITH_INFO\n"
            "    rgbValue=" + eight + "\n"
            "    pcbValue=SQL_NO_TOTAL\n"
            " [TID = 7F2A]:SQLDescribeCol: returns SQL_SUCCESS_WITH_INFO\n"
            "    szColName=" + eight + "\n"
            "    pcbColName=50\n"
            "    pfSqlType=<NULL>\n"
            "    pcbColDef=<NULL>\n"
            "    pibScale=<NULL>\n"
            "    pfNullable=<NULL>\n"
            " [TID = 7F2A]:SQLGetCursorNameW: returns SQL_SUCCESS_WITH_INFO\n"
            "    szCursor=\n wv\n"
            "    pcbCursor=50\n");
}

TEST_F(OdbcTrace, ParameterRecords) {
  SQLLEN indicator = SQL_NTS;
  QVPrntSQLBindParameter(1, SQL_SUCCESS, kStmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, nullptr, 21,
                         &indicator);
  QVPrntSQLBindParameter(2, SQL_SUCCESS, kStmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, nullptr, 21,
                         &indicator);
  char value[] = "abc";
  QVPrntSQLBindParameter(2, SQL_ERROR, kStmt, 2, 3, SQL_C_CHAR, SQL_VARCHAR, 20, 0, value, 4, &indicator);
  SQLPOINTER token = at<void>(0x40);
  QVPrntSQLParamData(1, SQL_SUCCESS, kStmt, &token);
  QVPrntSQLPutData(1, SQL_SUCCESS, kStmt, value, 2);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLBindParameter called:\n"
            "    hstmt=0x10\n"
            "    ipar=1\n"
            "    fParamType=SQL_PARAM_INPUT\n"
            "    fCType=SQL_C_CHAR\n"
            "    fSqlType=SQL_VARCHAR\n"
            "    cbColDef=20\n"
            "    ibScale=0\n"
            "    cbValueMax=21\n"
            "    pcbValue=" + ptr(&indicator) + "\n"
            "    rgbValue=<NULL>\n"
            "    pcbValue=SQL_NTS\n"
            " [TID = 7F2A]:SQLBindParameter: returns SQL_SUCCESS\n"
            "    rgbValue=abc\n"
            "    pcbValue=SQL_NTS\n"
            " [TID = 7F2A]:SQLBindParameter: returns SQL_ERROR\n"
            " [TID = 7F2A]:SQLParamData called:\n"
            "    hstmt=0x10\n"
            "    prgbValue=0x40\n"
            " [TID = 7F2A]:SQLPutData called:\n"
            "    hstmt=0x10\n"
            "    rgbValue=ab\n"
            "    cbValue=2\n");
}

TEST_F(OdbcTrace, CatalogRecords) {
  QVPrntSQLTables(1, SQL_SUCCESS, kStmt, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(const_cast<char*>("T%")),
                  SQL_NTS, nullptr, 0);
  QVPrntSQLTables(2, SQL_SUCCESS, kStmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
  QVPrntSQLStatisticsW(1, SQL_SUCCESS, kStmt, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(L"t\u00e9"), 2,
                       SQL_INDEX_ALL, SQL_ENSURE);
  QVPrntSQLSpecialColumns(1, SQL_SUCCESS, kStmt, SQL_ROWVER, nullptr, 0, nullptr, 0, nullptr, 0, 2, 7);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLTables called:\n"
            "    hstmt=0x10\n"
            "    szTableQualifier=<NULL>\n"
            "    cbTableQualifier=0\n"
            "    szTableOwner=<NULL>\n"
            "    cbTableOwner=0\n"
            "    szTableName=T%\n"
            "    cbTableName=SQL_NTS\n"
            "    szTableType=<NULL>\n"
            "    cbTableType=0\n"
            " [TID = 7F2A]:SQLTables: returns SQL_SUCCESS\n"
            " [TID = 7F2A]:SQLStatisticsW called:\n"
            "    hstmt=0x10\n"
            "    szTableQualifier=<NULL>\n"
            "    cbTableQualifier=0\n"
            "    szTableOwner=<NULL>\n"
            "    cbTableOwner=0\n"
            "    szTableName=\n t\xC3\xA9\n"
            "    cbTableName=2\n"
            "    fUnique=SQL_INDEX_ALL\n"
            "    fAccuracy=SQL_ENSURE\n"
            " [TID = 7F2A]:SQLSpecialColumns called:\n"
            "    hstmt=0x10\n"
            "    fColType=SQL_ROWVER\n"
            "    szTableQualifier=<NULL>\n"
            "    cbTableQualifier=0\n"
            "    szTableOwner=<NULL>\n"
            "    cbTableOwner=0\n"
            "    szTableName=<NULL>\n"
            "    cbTableName=0\n"
            "    fScope=SCOPE_SESSION\n");
}

TEST_F(OdbcTrace, InformationAndOptionRecords) {
  char qualifier[] = "sales";
  QVPrntSQLGetConnectOption(1, SQL_SUCCESS, kDbc, SQL_CURRENT_QUALIFIER, qualifier);
  QVPrntSQLGetConnectOption(2, SQL_SUCCESS, kDbc, SQL_CURRENT_QUALIFIER, qualifier);
  uint32_t number = 4000000000u;
  QVPrntSQLGetConnectOption(2, SQL_ERROR, kDbc, 999, &number);
  QVPrntSQLSetConnectOption(1, SQL_SUCCESS, kDbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>(qualifier));
  QVPrntSQLSetConnectOption(1, SQL_SUCCESS, kDbc, 999, 0x1'0000'0007);
  // The wide form's text option is wide text, written as such.
  QVPrntSQLSetConnectOptionW(1, SQL_SUCCESS, kDbc, SQL_CURRENT_QUALIFIER,
                             reinterpret_cast<SQLULEN>(L"caf\u00e9\U0001F600"));
  QVPrntSQLSetConnectOptionW(1, SQL_SUCCESS, kDbc, SQL_AUTOCOMMIT, 1);
  QVPrntSQLGetStmtOption(2, SQL_SUCCESS, kStmt, 12, &number);
  SQLSMALLINT length = 6;
  QVPrntSQLGetInfo(1, SQL_SUCCESS, kDbc, 28, nullptr, 0, nullptr);
  QVPrntSQLGetInfoW(2, SQL_ERROR, kDbc, 92, nullptr, 0, &length);
  SQLUSMALLINT exists = 1;
  QVPrntSQLGetFunctions(1, SQL_SUCCESS, kDbc, 40, &exists);
  QVPrntSQLGetFunctions(2, SQL_SUCCESS, kDbc, 40, &exists);
  QVPrntSQLGetStmtAttr(2, SQL_ERROR, kStmt, 9, nullptr, 0, nullptr);
  SQLINTEGER stringLength = 4;
  QVPrntSQLGetConnectAttr(2, SQL_ERROR, kDbc, -2, nullptr, 0, &stringLength);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLGetConnectOption called:\n"
            "    hdbc=0x30\n"
            "    fOption=SQL_CURRENT_QUALIFIER\n"
            "    pvParam=" + ptr(qualifier) + "\n"
            " [TID = 7F2A]:SQLGetConnectOption: returns SQL_SUCCESS\n"
            "    fOption=SQL_CURRENT_QUALIFIER\n"
            "    pvParam=sales\n"
            " [TID = 7F2A]:SQLGetConnectOption: returns SQL_ERROR\n"
            "    fOption=999\n"
            " [TID = 7F2A]:SQLSetConnectOption called:\n"
            "    hdbc=0x30\n"
            "    fOption=SQL_CURRENT_QUALIFIER\n"
            "    vParam=sales\n"
            " [TID = 7F2A]:SQLSetConnectOption called:\n"
            "    hdbc=0x30\n"
            "    fOption=999\n"
            "    vParam=7\n"
            " [TID = 7F2A]:SQLSetConnectOptionW called:\n"
            "    hdbc=0x30\n"
            "    fOption=SQL_CURRENT_QUALIFIER\n"
            "    vParam=\n caf\xC3\xA9\xF0\x9F\x98\x80\n"
            " [TID = 7F2A]:SQLSetConnectOptionW called:\n"
            "    hdbc=0x30\n"
            "    fOption=SQL_AUTOCOMMIT\n"
            "    vParam=1\n"
            " [TID = 7F2A]:SQLGetStmtOption: returns SQL_SUCCESS\n"
            "    fOption= SQL_USE_BOOKMARKS\n"
            "    pvParam=4000000000\n"
            " [TID = 7F2A]:SQLGetInfo called:\n"
            "    hdbc=0x30\n"
            "    fInfoType=QL_IDENTIFIER_CASE \n"
            "    rgbInfoValue=<NULL>\n"
            "    cbInfoValueMax=0\n"
            "    pcbInfoValue=<NULL>\n"
            " [TID = 7F2A]:SQLGetInfoW: returns SQL_ERROR\n"
            "    pcbInfoValue=6\n"
            " [TID = 7F2A]:SQLGetFunctions called:\n"
            "    hdbc=0x30\n"
            "     fFunction=40\n"
            "    pfExists=" + ptr(&exists) + "\n"
            " [TID = 7F2A]:SQLGetFunctions: returns SQL_SUCCESS\n"
            "    pfExists=1\n"
            " [TID = 7F2A]:SQLGetStmtAttr: returns SQL_ERROR\n"
            "    StringLength=<NULL>\n"
            " [TID = 7F2A]:SQLGetConnectAttr: returns SQL_ERROR\n"
            "    StringLength=4\n");
}

TEST_F(OdbcTrace, DiagnosticRecordsShowTheBuffersAlsoForNoData) {
  char state[6] = "00000";
  SQLINTEGER native = 0;
  char message[16] = "";
  SQLSMALLINT length = 0;
  QVPrntSQLGetDiagRec(1, SQL_SUCCESS, SQL_HANDLE_STMT, kStmt, 1, reinterpret_cast<SQLCHAR*>(state), &native,
                      reinterpret_cast<SQLCHAR*>(message), 16, &length);
  QVPrntSQLGetDiagRec(2, SQL_NO_DATA, SQL_HANDLE_STMT, kStmt, 1, reinterpret_cast<SQLCHAR*>(state), &native,
                      reinterpret_cast<SQLCHAR*>(message), 16, &length);
  wchar_t wstate[6] = L"42000";
  native = -7;
  wchar_t wmessage[8] = L"bad \u00e9";
  length = 5;
  QVPrntSQLErrorW(2, SQL_SUCCESS, nullptr, nullptr, kStmt, wstate, &native, wmessage, 8, &length);
  QVPrntSQLGetDiagRecW(2, SQL_ERROR, 9, kStmt, 1, nullptr, nullptr, nullptr, 0, nullptr);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLGetDiagRec called: \n"
            " \tHandleType=3\n"
            "    Handle=0x10\n"
            " \tRecNumber=1\n"
            "    szSqlState=" + ptr(state) + "\n"
            "    pfNativeError=" + ptr(&native) + "\n"
            "    szErrorMsg=" + ptr(message) + "\n"
            "    cbErrorMsgMax=16\n"
            "    pcbErrorMsg=" + ptr(&length) + "\n"
            " [TID = 7F2A]:SQLGetDiagRec: returns SQL_NO_DATA\n"
            "    szSqlState=00000\n"
            "    pfNativeError=0\n"
            "    szErrorMsg=\n"
            "    pcbErrorMsg=0\n"
            " [TID = 7F2A]:SQLErrorW: returns SQL_SUCCESS\n"
            "   szSqlState=42000\n"
            "    pfNativeError=-7\n"
            "    szErrorMsg=\n bad \xC3\xA9\n"
            "    pcbErrorMsg=5\n"
            " [TID = 7F2A]:SQLGetDiagRecW: returns SQL_ERROR\n");
}

// A narrow SQLExecDirect writes its records around those of the wide call
// it makes, which the dispatch writes on the connection's records.
TEST_F(OdbcTrace, NarrowExecDirectNestsTheWideRecords) {
  TestConnection c;
  TestStatement s(c);
  FuncTable table;
  table[QV_FN_EXECDIRECT] = [](uint64_t*) -> int16_t { return 0; };
  EXPECT_EQ(lmoSQLExecDirect(s.handle(), reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT 1")), SQL_NTS),
            SQL_SUCCESS);
  const std::string h = ptr(s.handle());
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLExecDirect called: \n"
            "    hstmt=" + h + "\n"
            "    szSqlStr=SELECT 1\n"
            "    cbSqlStr=SQL_NTS\n"
            " [TID = 7F2A]:SQLExecDirectW called: \n"
            "    hstmt=" + h + "\n"
            "    szSqlStr=\n SELECT 1\n"
            "    cbSqlStr=SQL_NTS\n"
            " [TID = 7F2A]:SQLExecDirectW: returns SQL_SUCCESS\n"
            " [TID = 7F2A]:SQLExecDirect: returns SQL_SUCCESS\n");
}

// The ODBC 3.51 functions write their records around those of the ODBC 2
// call they make.
TEST_F(OdbcTrace, EndTranNestsTheTransactRecords) {
  TestConnection c;
  FuncTable table;
  table[QV_FN_TRANSACT] = [](uint64_t*) -> int16_t { return 0; };
  EXPECT_EQ(lmoSQLEndTran(SQL_HANDLE_DBC, c.handle(), SQL_ROLLBACK), SQL_SUCCESS);
  const std::string h = ptr(c.handle());
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLEndTran called:\n"
            "    HandleType=SQL_HANDLE_DBC\n"
            "    Handle=" + h + "\n"
            "    CompletionType=SQL_ROLLBACK\n"
            " [TID = 7F2A]:SQLTransact called:\n"
            "    henv=<NULL>\n"
            "    hdbc=" + h + "\n"
            "    fType=SQL_ROLLBACK\n"
            " [TID = 7F2A]:SQLTransact: returns SQL_SUCCESS\n"
            " [TID = 7F2A]:SQLEndTran: returns SQL_SUCCESS\n");
}

// An attribute getter shows the length it stored; the descriptor handle
// itself is not shown.
TEST_F(OdbcTrace, StatementAttributeRecords) {
  TestConnection c;
  TestStatement s(c);
  SQLHANDLE desc = nullptr;
  SQLINTEGER length = -9;
  EXPECT_EQ(lmoSQLGetStmtAttr(s.handle(), SQL_ATTR_APP_ROW_DESC, &desc, 8, &length), SQL_SUCCESS);
  EXPECT_EQ(lmoSQLGetStmtAttr(s.handle(), SQL_ATTR_CURSOR_SENSITIVITY, &desc, 8, nullptr), SQL_ERROR);
  const std::string t = trace();
  const std::string h = ptr(s.handle());
  EXPECT_EQ(t.substr(0, t.find(" [TID = 7F2A]:SQLGetStmtAttr called:", 1)),
            " [TID = 7F2A]:SQLGetStmtAttr called:\n"
            "    StatementHandle=" + h + "\n"
            "    Attribute=SQL_ATTR_APP_ROW_DESC\n"
            "    Value=" + ptr(&desc) + "\n"
            "    BufferLength=8\n"
            "    StringLength=" + ptr(&length) + "\n"
            " [TID = 7F2A]:SQLGetStmtAttr: returns SQL_SUCCESS\n"
            "    StringLength=4\n");
  // A refusal: its own trace line between the records, the exit record
  // with the length pointer that was not given and no diagnostics.
  EXPECT_NE(t.find("    Attribute=SQL_ATTR_CURSOR_SENSITIVITY\n"), std::string::npos) << t;
  EXPECT_NE(t.find("SQLGetStmtAttr: Invalid attribute: -2\n"
                   " [TID = 7F2A]:SQLGetStmtAttr: returns SQL_ERROR\n"
                   "    StringLength=<NULL>\n"),
            std::string::npos)
      << t;
}

// The parameter attribute call's words: the descriptor type, the buffer
// size, the character buffer and the numeric value out.
TEST_F(OdbcTrace, ParamAttributesRecords) {
  TestConnection c;
  TestStatement s(c);
  FuncTable table;
  table[QV_FN_PARAMATTRIBUTES] = [](uint64_t* w) -> int16_t {
    *reinterpret_cast<SQLLEN*>(static_cast<uintptr_t>(w[7])) = SQL_PARAM_OUTPUT;
    return 0;
  };
  char text[8] = "";
  SQLLEN direction = 0;
  EXPECT_EQ(lmoSQLParamAttributes(s.handle(), 2, 1000, 8, 0, 0, text, &direction), SQL_SUCCESS);
  EXPECT_EQ(direction, SQL_PARAM_OUTPUT);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:SQLParamAttributes called:\n"
            "    hstmt=" + ptr(s.handle()) + "\n"
            "    param=2\n"
            "    cbDescMax=8\n"
            "    fDescType=QV_SQL_PARAM_DIRECTION\n"
            "    pcbDesc=<NULL>\n"
            "    pfDesc=" + ptr(&direction) + "\n"
            " [TID = 7F2A]:SQLParamAttributes: returns SQL_SUCCESS\n"
            "    pfDesc=4\n");
}

}  // namespace
