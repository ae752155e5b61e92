// Reading results through the driver's exports against rdapeer: rows into
// bound columns and by SQLGetData (the default C type, pieces, a column
// read again from its start), SQLExtendedFetch, UTF-16 bound columns, the
// end of the data, cursor names, and SQLCancel while another call holds the
// connection.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/qvthread.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_cursor.h"
#include "src/rdaclient/rdacli_handles.h"
#include "stmt_fixture.h"

namespace {

using namespace std::chrono_literals;

// A column number as SQLGetData takes it; negative numbers read the column
// again from its start.
SQLUSMALLINT column(int n) { return static_cast<SQLUSMALLINT>(n); }

std::string text(const SQLCHAR* t) { return reinterpret_cast<const char*>(t); }

void makeTable(Session& s) {
  ASSERT_EQ(s.exec("CREATE TABLE r(i INTEGER, v VARCHAR(20), f DOUBLE, l LONG VARCHAR)"), SQL_SUCCESS);
  ASSERT_EQ(s.exec("INSERT INTO r VALUES (1, 'abcdefgh', 1.5, 'long one'), (2, NULL, NULL, NULL), "
                   "(3, 'x', -2.25, '')"),
            SQL_SUCCESS);
}

// One statement handle runs a query, then texts without a result: each
// answer says what its result is, so nothing is described and an INSERT is
// committed at once, bound or not, closed or not.
TEST_F(Statements, AHandleThatRanAQueryRunsTextsWithoutAResult) {
  start();
  inChild([&] {
    Session s;
    makeTable(s);
    SQLHSTMT stmt = s.newStatement();
    SQLINTEGER i = 0;
    SQLLEN iInd = 0;
    SQLSMALLINT columns = -1;
    SQLLEN rows = 0;
    for (const bool bound : {false, true}) {
      SCOPED_TRACE(bound ? "bound" : "unbound");
      ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT i FROM r ORDER BY i"), SQL_NTS), SQL_SUCCESS)
          << allErrors(nullptr, nullptr, stmt);
      if (bound) {
        ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &i, 0, &iInd), SQL_SUCCESS);
      }
      while (SQLFetch(stmt) == SQL_SUCCESS) {
      }
      ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
      const std::string insert = bound ? "INSERT INTO r (i) VALUES (11)" : "INSERT INTO r (i) VALUES (10)";
      ASSERT_EQ(SQLExecDirect(stmt, sqlText(insert.c_str()), SQL_NTS), SQL_SUCCESS)
          << allErrors(nullptr, nullptr, stmt);
      EXPECT_EQ(SQLNumResultCols(stmt, &columns), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
      EXPECT_EQ(columns, 0);
      EXPECT_EQ(SQLRowCount(stmt, &rows), SQL_SUCCESS);
      EXPECT_EQ(rows, 1);
      // The same again without closing first: the fetch ran to the end.
      ASSERT_EQ(SQLExecDirect(stmt, sqlText("UPDATE r SET v = 'u' WHERE i >= 10"), SQL_NTS), SQL_SUCCESS)
          << allErrors(nullptr, nullptr, stmt);
      EXPECT_EQ(SQLNumResultCols(stmt, &columns), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
      EXPECT_EQ(columns, 0);
    }
    // A prepared query is still described before it runs.
    ASSERT_EQ(SQLPrepare(stmt, sqlText("SELECT i, v FROM r"), SQL_NTS), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(SQLNumResultCols(stmt, &columns), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(columns, 2);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
  EXPECT_EQ(query("SELECT i, v FROM r WHERE i >= 10 ORDER BY i"), (std::vector<std::string>{"10|u", "11|u"}));
}

TEST_F(Statements, RowsIntoBoundColumnsAndThroughGetData) {
  start();
  inChild([&] {
    Session s;
    makeTable(s);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT i, v, f, l FROM r ORDER BY i"), SQL_NTS), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    SQLINTEGER i = 0;
    SQLCHAR v[5];  // cut: 4 characters and the NUL
    SQLDOUBLE f = 0;
    SQLLEN iInd = 0, vInd = 0, fInd = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &i, 0, &iInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, v, sizeof v, &vInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_DOUBLE, &f, 0, &fInd), SQL_SUCCESS);

    // Row 1: the bound text is cut (01004), the rest whole.
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt).substr(0, 6), "01004:");
    EXPECT_EQ(i, 1);
    EXPECT_EQ(iInd, 4);
    EXPECT_EQ(text(v), "abcd");
    EXPECT_EQ(vInd, 8);
    EXPECT_EQ(f, 1.5);

    SQLLEN ind = 0;
    SQLCHAR whole[16];

    // Row 2: NULLs in bound columns and through SQLGetData.
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(i, 2);
    EXPECT_EQ(vInd, SQL_NULL_DATA);
    EXPECT_EQ(fInd, SQL_NULL_DATA);
    EXPECT_EQ(SQLGetData(stmt, 4, SQL_C_CHAR, whole, sizeof whole, &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, SQL_NULL_DATA);

    // Row 3 by SQLExtendedFetch; only SQL_FETCH_NEXT is served.
    SQLULEN rows = 99;
    SQLUSMALLINT status = 99;
    EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_PRIOR, 0, &rows, &status), SQL_ERROR);
    const Diag d = nextError(nullptr, nullptr, stmt);
    EXPECT_EQ(d.state, L"S1106");
    EXPECT_EQ(d.message, kMessagePrefix + L"Invalid fetch type");
    EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, &status), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(rows, 1u);
    EXPECT_EQ(status, SQL_ROW_SUCCESS);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(text(v), "x");
    EXPECT_EQ(f, -2.25);
    EXPECT_EQ(SQLGetData(stmt, 4, SQL_C_CHAR, whole, sizeof whole, &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, 0) << "an empty text is no NULL";

    // The end of the data, then again.
    EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, &status), SQL_NO_DATA);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(status, SQL_ROW_NOROW);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);

    // The LONG VARCHAR column as described and as SQLColAttributes tells it.
    SQLSMALLINT type = 0;
    EXPECT_EQ(SQLDescribeCol(stmt, 4, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_LONGVARCHAR);
    SQLLEN n = 0;
    EXPECT_EQ(SQLColAttributes(stmt, 4, SQL_COLUMN_SEARCHABLE, nullptr, 0, nullptr, &n), SQL_SUCCESS);
    EXPECT_EQ(n, SQL_LIKE_ONLY);

    // A closed cursor has no rows.
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(nextError(nullptr, nullptr, stmt).state, L"24000");
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);

    // Unbound columns through SQLGetData.
    stmt = s.newStatement();
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT i, v, l FROM r ORDER BY i"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    // SQL_C_DEFAULT: an INTEGER column as SQL_C_LONG, a LONG VARCHAR as text.
    SQLINTEGER asDefault = 0;
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_DEFAULT, &asDefault, sizeof asDefault, &ind), SQL_SUCCESS);
    EXPECT_EQ(asDefault, 1);
    EXPECT_EQ(ind, 4);
    SQLCHAR longText[32] = "";
    EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_DEFAULT, longText, sizeof longText, &ind), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(text(longText), "long one");

    // Column 2 in pieces, then again from its start as column -2.
    SQLCHAR piece[4];
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, piece, sizeof piece, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(text(piece), "abc");
    EXPECT_EQ(ind, 8);
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, piece, sizeof piece, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(text(piece), "def");
    EXPECT_EQ(ind, 5);
    EXPECT_EQ(SQLGetData(stmt, column(-2), SQL_C_CHAR, piece, sizeof piece, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(text(piece), "abc") << "read again from the start";
    EXPECT_EQ(SQLGetData(stmt, column(-2), SQL_C_CHAR, whole, sizeof whole, &ind), SQL_SUCCESS);
    EXPECT_EQ(text(whole), "abcdefgh");
    EXPECT_EQ(ind, 8) << "the length measured, not -3";

    EXPECT_EQ(SQLGetData(stmt, column(-1), SQL_C_CHAR, whole, sizeof whole, &ind), SQL_SUCCESS);
    EXPECT_EQ(text(whole), "1");
    EXPECT_EQ(ind, 1);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

// More rows than one block: the driver asks for each next block as the
// rows run out, and a statement's rows are its own.
TEST_F(Statements, ManyRowsOverSeveralBlocks) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE m(i INTEGER)"), SQL_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO m WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 250) "
                     "SELECT x FROM c"),
              SQL_SUCCESS);
    SQLHSTMT a = s.newStatement();
    SQLHSTMT b = s.newStatement();
    ASSERT_EQ(SQLExecDirect(a, sqlText("SELECT i FROM m ORDER BY i"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(b, sqlText("SELECT i FROM m ORDER BY i DESC"), SQL_NTS), SQL_SUCCESS);
    SQLINTEGER x = 0, y = 0;
    ASSERT_EQ(SQLBindCol(a, 1, SQL_C_LONG, &x, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(b, 1, SQL_C_LONG, &y, 0, nullptr), SQL_SUCCESS);
    for (int r = 1; r <= 250; ++r) {
      ASSERT_EQ(SQLFetch(a), SQL_SUCCESS) << r << allErrors(nullptr, nullptr, a);
      ASSERT_EQ(SQLFetch(b), SQL_SUCCESS) << r << allErrors(nullptr, nullptr, b);
      ASSERT_EQ(x, r);
      ASSERT_EQ(y, 251 - r);
    }
    EXPECT_EQ(SQLFetch(a), SQL_NO_DATA);
    EXPECT_EQ(SQLFetch(b), SQL_NO_DATA);
    EXPECT_EQ(SQLFreeStmt(a, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(b, SQL_DROP), SQL_SUCCESS);
  });
}

// Under unixODBC a bound SQL_C_WCHAR column is UTF-16 with byte lengths:
// each fetch converts the row's value into the application's buffer.
TEST_F(Statements, Utf16BoundColumnsAfterEachFetch) {
  start();
  inChild([&] {
    QvSetWideUnitForTest(2);
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE w(k INTEGER, x NVARCHAR(20))"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    std::u16string insert = u"INSERT INTO w VALUES (1, 'a\u00e9\U0001F600'), (2, NULL), (3, 'longer than the buffer')";
    ASSERT_EQ(SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(insert.data()), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT x FROM w ORDER BY k"), SQL_NTS), SQL_SUCCESS);
    char16_t buffer[8];
    SQLLEN ind = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_WCHAR, buffer, sizeof buffer, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(std::u16string(buffer), u"a\u00e9\U0001F600");
    EXPECT_EQ(ind, 8);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(ind, SQL_NULL_DATA);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::u16string(buffer), u"longer ");
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR message[300];
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLError(nullptr, nullptr, stmt, state, &native, message, sizeof message, &length), SQL_SUCCESS);
    EXPECT_EQ(text(state), "01004");
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

// A long text read through SQLGetData SQL_C_WCHAR in UTF-16 pieces: each
// piece ends at a character, and together they are the text.
TEST_F(Statements, Utf16PiecesOfALongText) {
  start();
  inChild([&] {
    setlocale(LC_CTYPE, "C.UTF-8");
    QvSetWideUnitForTest(2);
    Session s;
    std::u16string whole;
    while (whole.size() < 100000) whole += u"\u00e9\U0001F600ab";
    SQLHSTMT stmt = s.newStatement();
    std::u16string create = u"CREATE TABLE big(v TEXT)";
    ASSERT_EQ(SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(create.data()), SQL_NTS), SQL_SUCCESS);
    std::u16string insert = u"INSERT INTO big VALUES ('" + whole + u"')";
    ASSERT_EQ(SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(insert.data()), SQL_NTS), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT v FROM big"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    std::u16string got;
    char16_t piece[5000];
    SQLLEN ind = 0;
    SQLRETURN rc;
    int pieces = 0;
    while ((rc = SQLGetData(stmt, 1, SQL_C_WCHAR, piece, sizeof piece, &ind)) != SQL_NO_DATA) {
      ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
      ASSERT_LT(++pieces, 100);
      got += piece;
      if (rc == SQL_SUCCESS) {
        EXPECT_EQ(ind, static_cast<SQLLEN>(std::char_traits<char16_t>::length(piece) * 2));
      }
    }
    EXPECT_EQ(got.size(), whole.size());
    EXPECT_TRUE(got == whole);
  });
}

TEST_F(Statements, CursorNamesThroughTheExports) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    SQLCHAR name[200];
    SQLSMALLINT length = -1;
    EXPECT_EQ(SQLGetCursorName(stmt, name, sizeof name, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(text(name), "");

    EXPECT_EQ(SQLSetCursorName(stmt, sqlText("orders"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLGetCursorName(stmt, name, sizeof name, &length), SQL_SUCCESS);
    EXPECT_EQ(text(name), "orders");
    EXPECT_EQ(length, 6) << "the length measured, not -3";
    EXPECT_EQ(SQLGetCursorName(stmt, name, 4, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(text(name), "ord");
    EXPECT_EQ(length, 6);
    EXPECT_EQ(nextError(nullptr, nullptr, stmt).state, L"01004");
    SQLHSTMT other = s.newStatement();
    EXPECT_EQ(SQLSetCursorName(other, sqlText("orders"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(nextError(nullptr, nullptr, other).state, L"34000");
    EXPECT_EQ(SQLSetCursorName(other, sqlText("SQLCURx"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(nextError(nullptr, nullptr, other).state, L"34000");

    // The wide form takes names of every allowed length whole, and refuses
    // longer ones rather than cutting them to another name.
    const std::wstring longest(128, L'n');
    EXPECT_EQ(SQLSetCursorNameW(other, const_cast<SQLWCHAR*>(longest.c_str()), SQL_NTS), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, other);
    EXPECT_EQ(SQLGetCursorName(other, name, sizeof name, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 128);
    EXPECT_EQ(text(name), std::string(128, 'n'));
    for (const size_t chars : {129, 300}) {
      const std::wstring tooLong(chars, L'z');
      EXPECT_EQ(SQLSetCursorNameW(other, const_cast<SQLWCHAR*>(tooLong.c_str()), SQL_NTS), SQL_ERROR) << chars;
      EXPECT_EQ(nextError(nullptr, nullptr, other).state, L"34000");
    }
    EXPECT_EQ(SQLGetCursorName(other, name, sizeof name, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 128) << "the name stays";
    EXPECT_EQ(SQLFreeStmt(other, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

extern "C" SQLRETURN SQLRequestType(SQLHDBC dbc, SQLCHAR* type, SQLCHAR* buffer, SQLSMALLINT bufferLength,
                                    SQLSMALLINT* length);

// The exported type-name query: the server's type table, asked on the
// connection's context like any call of the application.
TEST_F(Statements, RequestTypeAsksTheServersTypeTable) {
  start();
  inChild([&] {
    Session s;
    SQLCHAR name[32] = "";
    SQLSMALLINT length = -1;
    EXPECT_EQ(SQLRequestType(s.dbc, sqlText("4"), name, sizeof name, &length), SQL_SUCCESS)
        << allErrors(nullptr, s.dbc, nullptr);
    EXPECT_EQ(text(name), "INTEGER");
    EXPECT_EQ(length, 7);
    EXPECT_EQ(SQLRequestType(s.dbc, sqlText("12345"), name, sizeof name, &length), SQL_NO_DATA);
    EXPECT_EQ(text(name), "");
    EXPECT_EQ(SQLRequestType(nullptr, sqlText("4"), name, sizeof name, &length), SQL_INVALID_HANDLE);
  });
}

std::atomic<unsigned int> gCancelledOp{0};
int cancelHook(unsigned int opId) {
  gCancelledOp = opId;
  return 7;
}

// SQLCancel reaches a statement while another thread's call holds its
// connection, and leaves its diagnostics alone.
TEST_F(Statements, CancelRunsOutsideTheConnectionsLock) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS) << "no hook";
    lmoAddSQLState(&static_cast<LmoStmt*>(stmt)->errors, "01S99", 0, "kept");

    QvMutexHandle mutex = s.rec()->tls.lmo->connMutex;
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
      QvWaitForThreadSafeObject(mutex);
      held = true;
      while (!release) std::this_thread::sleep_for(1ms);
      QvReleaseThreadSafeMutex(mutex);
    });
    while (!held) std::this_thread::sleep_for(1ms);
    gQv_sql_cancel = cancelHook;
    auto other = std::async(std::launch::async, [&] {
      SQLSMALLINT n = 0;
      return SQLNumResultCols(stmt, &n);
    });
    auto cancel = std::async(std::launch::async, [&] { return SQLCancel(stmt); });
    const bool answered = cancel.wait_for(10s) == std::future_status::ready;
    const bool otherWaited = other.wait_for(0ms) == std::future_status::timeout;
    const uint32_t kept = static_cast<LmoStmt*>(stmt)->errors.count;
    release = true;
    holder.join();
    ASSERT_TRUE(answered);
    EXPECT_TRUE(otherWaited) << "the lock is the one the connection's calls take";
    EXPECT_EQ(cancel.get(), 7);
    EXPECT_EQ(kept, 1u) << "the statement's diagnostics untouched";
    EXPECT_EQ(gCancelledOp.load(), static_cast<LmoStmt*>(stmt)->rdaStmt->opId);
    other.get();
    gQv_sql_cancel = nullptr;
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

}  // namespace
