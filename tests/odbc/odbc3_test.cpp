// The ODBC 3.51 entry points: handles, the environment's ODBC version and
// the SQLSTATEs it maps, statement attributes and the dummy descriptors,
// scrolling, transactions, diagnostics records and column attributes, the
// last ones against rdapeer in a child with a start-up of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "src/odbc/cores.h"
#include "src/odbc/lmoerr.h"
#include "src/odbc/lmoodbc3.h"
#include "src/odbc/odbcwide.h"
#include "driver_fixture.h"
#include "stmt_fixture.h"
#include "support/locale.h"

namespace {

// Every pair, each also written in lower case; what is not in the table
// stays.
TEST(SqlStateMap, Odbc3EnvironmentMapsEveryPairAndOdbc2NoneOfThem) {
  const wchar_t* expected[][2] = {
      {L"01S03", L"01001"}, {L"01S04", L"01001"}, {L"22003", L"HY019"}, {L"22008", L"22007"}, {L"22005", L"22018"},
      {L"24000", L"07005"}, {L"37000", L"42000"}, {L"70100", L"HY018"}, {L"S0001", L"42S01"}, {L"S0002", L"42S02"},
      {L"S0011", L"42S11"}, {L"S0012", L"42S12"}, {L"S0021", L"42S21"}, {L"S0022", L"42S22"}, {L"S0023", L"42S23"},
      {L"S1000", L"HY000"}, {L"S1001", L"HY001"}, {L"S1003", L"HY003"}, {L"S1004", L"HY004"}, {L"S1008", L"HY008"},
      {L"S1009", L"HY009"}, {L"S1011", L"HY011"}, {L"S1012", L"HY012"}, {L"S1090", L"HY090"}, {L"S1091", L"HY091"},
      {L"S1092", L"HY092"}, {L"S1093", L"HY093"}, {L"S1096", L"HY096"}, {L"S1097", L"HY097"}, {L"S1098", L"HY098"},
      {L"S1099", L"HY099"}, {L"S1100", L"HY100"}, {L"S1101", L"HY101"}, {L"S1103", L"HY103"}, {L"S1104", L"HY104"},
      {L"S1105", L"HY105"}, {L"S1106", L"HY106"}, {L"S1107", L"HY107"}, {L"S1108", L"HY108"}, {L"S1109", L"HY109"},
      {L"S1110", L"HY110"}, {L"S1111", L"HY111"}, {L"S1C00", L"HYC00"}, {L"S1T00", L"HYT00"},
  };
  ASSERT_EQ(std::size(expected), static_cast<size_t>(kQvSqlStatePairs));
  LmoEnv env{};
  env.self = &env;
  ASSERT_EQ(lmoRegister(LmoKind::Env, &env), 1);
  for (const int32_t version : {3, 2}) {
    env.odbcVersion = version;
    for (const auto& pair : expected) {
      for (const bool lower : {false, true}) {
        wchar_t state[6];
        std::wcscpy(state, pair[0]);
        if (lower)
          for (wchar_t& c : state) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        const std::wstring given = state;
        QvMapSqlState(&env, state);
        EXPECT_EQ(std::wstring(state), version == 3 ? pair[1] : given) << narrowText(given) << " v" << version;
      }
    }
    for (const wchar_t* other : {L"S1DE0", L"23000", L"HY090", L"01004", L"S109"}) {
      wchar_t state[6];
      std::wcscpy(state, other);
      QvMapSqlState(&env, state);
      EXPECT_EQ(std::wstring(state), other);
    }
  }
  wchar_t state[6] = L"S1090";
  QvMapSqlState(nullptr, state);
  EXPECT_EQ(std::wstring(state), L"S1090") << "no environment: unchanged";
  lmoUnregister(&env);
}

TEST(AttributeMaps, FirstMatchingPairWins) {
  EXPECT_EQ(qvConnOption(SQL_ATTR_AUTOCOMMIT), 102u);
  EXPECT_EQ(qvConnOption(SQL_ATTR_CURRENT_CATALOG), 109u);
  EXPECT_EQ(qvConnOption(115), kQvAttrUnsupported) << "SQL_ATTR_ANSI_APP";
  EXPECT_EQ(qvConnOption(4242), kQvAttrUnsupported);
  EXPECT_EQ(qvStmtOption(SQL_ATTR_ROW_ARRAY_SIZE), static_cast<uint32_t>(SQL_ROWSET_SIZE));
  EXPECT_EQ(qvStmtOption(SQL_ATTR_APP_ROW_DESC), kQvAttrDescriptor);
  EXPECT_EQ(qvStmtOption(SQL_ATTR_PARAMS_PROCESSED_PTR), kQvAttrIgnored);
  EXPECT_EQ(qvStmtOption(SQL_ATTR_CURSOR_SCROLLABLE), kQvAttrUnsupported);
  EXPECT_EQ(qvStmtOption(SQL_ATTR_QUERY_TIMEOUT), 0u);
  EXPECT_EQ(qvColAttributeOfField(SQL_DESC_NAME), SQL_COLUMN_NAME);
  EXPECT_EQ(qvColAttributeOfField(SQL_DESC_COUNT), SQL_COLUMN_COUNT);
  EXPECT_EQ(qvColAttributeOfField(SQL_DESC_NULLABLE), SQL_COLUMN_NULLABLE);
  EXPECT_EQ(qvColAttributeOfField(SQL_DESC_BASE_TABLE_NAME), kQvFieldUnsupported);
}

// Connection attributes over a stand-in of the option cores: what they are
// asked and what they answer.
struct FakeOptions {
  uint16_t option = 0;
  uint64_t value = 0;
  std::string text;  // the text a text option was set to
};
FakeOptions gOptions;

int16_t fakeGetOption(uint64_t* w) {
  const auto option = *reinterpret_cast<uint16_t*>(w[1]);
  auto* value = reinterpret_cast<char*>(w[2]);
  if (option == SQL_CURRENT_QUALIFIER) std::strcpy(value, "catalogue_\xC3\xA9");
  else *reinterpret_cast<uint32_t*>(value) = 1;
  return 0;
}

int16_t fakeSetOption(uint64_t* w) {
  gOptions.option = *reinterpret_cast<uint16_t*>(w[1]);
  gOptions.value = *reinterpret_cast<uint64_t*>(w[2]);
  if (gOptions.option == SQL_CURRENT_QUALIFIER) gOptions.text = reinterpret_cast<const char*>(gOptions.value);
  return 0;
}

class ConnectAttributes : public ::testing::Test {
 protected:
  void SetUp() override {
    attachDriverOnce();
    gOptions = FakeOptions{};
    table_[QV_FN_GETCONNECTOPTION] = fakeGetOption;
    table_[QV_FN_SETCONNECTOPTION] = fakeSetOption;
  }
  void TearDown() override { QvSetWideUnitForTest(4); }
  std::string firstState() {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR message[256];
    SQLSMALLINT length = 0;
    SQLError(nullptr, conn_.handle(), nullptr, state, &native, message, sizeof message, &length);
    return reinterpret_cast<char*>(state);
  }
  LocaleGuard locale_{"C.UTF-8"};  // the 8-bit texts are UTF-8
  TestConnection conn_;
  FuncTable table_;
};

// A text is cut where the caller's buffer ends, at a character, with its
// whole length and 01004; the wide forms count bytes of their unit.
TEST_F(ConnectAttributes, TextAttributesTellTheirWholeLength) {
  char narrow[16];
  std::memset(narrow, 'x', sizeof narrow);
  SQLINTEGER length = 0;
  EXPECT_EQ(SQLGetConnectAttr(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, narrow, 12, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(narrow, "catalogue_") << "the two bytes of the last character do not fit";
  EXPECT_EQ(narrow[12], 'x');
  EXPECT_EQ(length, 12);
  EXPECT_EQ(firstState(), "01004");
  EXPECT_EQ(SQLGetConnectAttr(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, narrow, 13, &length), SQL_SUCCESS);
  EXPECT_STREQ(narrow, "catalogue_\xC3\xA9");
  EXPECT_EQ(firstState(), "");
  EXPECT_EQ(SQLGetConnectAttr(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, nullptr, 0, &length), SQL_SUCCESS);
  EXPECT_EQ(length, 12);

  SQLWCHAR wide[16] = {0};
  ASSERT_EQ(SQLGetConnectAttrW(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, wide, sizeof wide, &length), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(wide), L"catalogue_\u00e9");
  EXPECT_EQ(length, 11 * 4);
  QvSetWideUnitForTest(2);
  char16_t units[8];
  std::fill(std::begin(units), std::end(units), u'#');
  EXPECT_EQ(SQLGetConnectAttrW(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, units, 10, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(units), u"cata");
  EXPECT_EQ(units[5], u'#');
  EXPECT_EQ(length, 22);

  SQLUINTEGER on = 0;
  EXPECT_EQ(SQLGetConnectAttrW(conn_.handle(), SQL_ATTR_AUTOCOMMIT, &on, 0, &length), SQL_SUCCESS);
  EXPECT_EQ(on, 1u);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(SQLGetConnectAttr(conn_.handle(), SQL_ATTR_ENLIST_IN_DTC, &on, 0, &length), SQL_ERROR);
}

TEST_F(ConnectAttributes, SetGoesToTheOptionWithATerminatedText) {
  char text[] = "abcdef";
  EXPECT_EQ(SQLSetConnectAttr(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, text, 3), SQL_SUCCESS);
  EXPECT_EQ(gOptions.option, SQL_CURRENT_QUALIFIER);
  EXPECT_EQ(gOptions.text, "abc");
  SQLWCHAR wide[] = L"x\u00e9z";
  EXPECT_EQ(SQLSetConnectAttrW(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, wide, SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(gOptions.text, "x\xC3\xA9z");
  EXPECT_EQ(SQLSetConnectAttrW(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, wide, 8), SQL_SUCCESS);
  EXPECT_EQ(gOptions.text, "x\xC3\xA9");
  QvSetWideUnitForTest(2);
  char16_t units[] = u"uv\U0001F600w";
  EXPECT_EQ(SQLSetConnectAttrW(conn_.handle(), SQL_ATTR_CURRENT_CATALOG, units, 8), SQL_SUCCESS);
  EXPECT_EQ(gOptions.text, "uv\xF0\x9F\x98\x80");
  EXPECT_EQ(SQLSetConnectAttrW(conn_.handle(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                               SQL_IS_UINTEGER),
            SQL_SUCCESS);
  EXPECT_EQ(gOptions.option, SQL_AUTOCOMMIT);
  EXPECT_EQ(gOptions.value, 0u);
  EXPECT_EQ(SQLSetConnectAttr(conn_.handle(), SQL_ATTR_ANSI_APP, nullptr, 0), SQL_ERROR);
}

// The next diagnostic through SQLGetDiagRec: "STATE:message" without the
// prefix, or "" when there is none.
std::string diag(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record = 1) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLCHAR message[1024] = {0};
  SQLSMALLINT length = 0;
  const SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native, message, sizeof message, &length);
  if (rc == SQL_NO_DATA) return "";
  EXPECT_EQ(rc, SQL_SUCCESS);
  const std::string m = reinterpret_cast<char*>(message);
  const std::string prefix = narrowText(kMessagePrefix);
  return std::string(reinterpret_cast<char*>(state)) + ":" + (m.rfind(prefix, 0) == 0 ? m.substr(prefix.size()) : m);
}

TEST_F(Statements, EnvironmentVersionAndHandles) {
  start();
  inChild([&] {
    SQLHENV env = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    SQLINTEGER version = 0, length = 0;
    ASSERT_EQ(SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &version, 0, &length), SQL_SUCCESS);
    EXPECT_EQ(version, 3) << "ODBC 3 until an application says otherwise";
    EXPECT_EQ(length, 4);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &version, 0, &length), SQL_SUCCESS);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(380), 0), SQL_ERROR);
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_CONNECTION_POOLING, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, nullptr, 0, &length), SQL_ERROR);
    EXPECT_EQ(SQLGetEnvAttr(env, SQL_ATTR_CONNECTION_POOLING, &version, 0, &length), SQL_ERROR);
    ASSERT_EQ(SQLGetEnvAttr(env, 1065, &version, 0, &length), SQL_SUCCESS);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(diag(SQL_HANDLE_ENV, env), "") << "refusals of their own add no diagnostic";

    SQLHDBC dbc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_EQ(SQLConnect(dbc, sqlText("rdatest"), SQL_NTS, sqlText("u"), SQL_NTS, sqlText("p"), SQL_NTS), SQL_SUCCESS);
    SQLHSTMT stmt = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    SQLHANDLE other = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &other), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, stmt), SQL_ERROR);
    EXPECT_EQ(SQLSetConnectAttr(dbc, 115, nullptr, 0), SQL_ERROR) << "SQL_ATTR_ANSI_APP";
    EXPECT_EQ(diag(SQL_HANDLE_DBC, dbc), "");

    // The version decides the SQLSTATEs: S1090 and S1009 in ODBC 2 ...
    EXPECT_EQ(SQLPrepare(stmt, sqlText("SELECT 1"), -5), SQL_ERROR);
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt), "S1090:Invalid string or buffer length");
    EXPECT_EQ(SQLFreeStmt(stmt, 4), SQL_ERROR);
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt).substr(0, 6), "S1009:") << "the client's refusal";
    // ... HY090 and HY009 in ODBC 3, through SQLErrorW too.
    EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLPrepare(stmt, sqlText("SELECT 1"), -5), SQL_ERROR);
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt), "HY090:Invalid string or buffer length");
    EXPECT_EQ(SQLFreeStmt(stmt, 4), SQL_ERROR);
    EXPECT_EQ(nextError(nullptr, nullptr, stmt).state, L"HY009");

    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_INVALID_HANDLE) << "dropped";
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  });
}

// iODBC asks for records 1, 2, 3: each call gives the next one.
TEST_F(Statements, DiagnosticRecordsArriveInOrderWhateverTheNumber) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(SQLSetEnvAttr(s.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    auto* rec = static_cast<LmoStmt*>(stmt);
    lmoAddError(&rec->errors, kLmoErrBadLength, 1, "first");
    lmoAddError(&rec->errors, kLmoErrNotCapable, 2, "second");
    lmoAddError(&rec->errors, kLmoErrTruncated, 3, "third");
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt, 1), "HY090:Invalid string or buffer length - first");
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLWCHAR message[256] = {0};
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 2, state, &native, message, 256, &length), SQL_SUCCESS);
    EXPECT_EQ(std::wstring(state), L"HYC00");
    EXPECT_EQ(native, 2);
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt, 3), "01004:Success with warning - Data, right truncation - third");
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt, 4), "");
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DESC, stmt, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  });
}

TEST_F(Statements, StatementAttributesDescriptorsAndScrolling) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE t(a INTEGER)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    SQLHANDLE descs[4] = {};
    const SQLINTEGER attrs[4] = {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC,
                                 SQL_ATTR_IMP_PARAM_DESC};
    for (int i = 0; i < 4; ++i) {
      SQLINTEGER length = 0;
      ASSERT_EQ(SQLGetStmtAttr(stmt, attrs[i], &descs[i], 0, &length), SQL_SUCCESS);
      EXPECT_NE(descs[i], nullptr);
      for (int k = 0; k < i; ++k) EXPECT_NE(descs[i], descs[k]);
      EXPECT_EQ(SQLSetStmtAttr(stmt, attrs[i], descs[i], 0), SQL_ERROR) << "a descriptor is not set";
    }
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SCROLLABLE, descs, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, descs, 0), SQL_SUCCESS) << "ignored";
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, descs, 0), SQL_ERROR);
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_SENSITIVITY, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(SQLSetStmtAttr(nullptr, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0), SQL_INVALID_HANDLE);
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt), "");

    // Only the next row is served.
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT a FROM t"), SQL_NTS), SQL_SUCCESS);
    for (const SQLSMALLINT orientation : {SQL_FETCH_FIRST, SQL_FETCH_PRIOR, SQL_FETCH_ABSOLUTE, SQL_FETCH_LAST}) {
      EXPECT_EQ(SQLFetchScroll(stmt, orientation, 0), SQL_ERROR);
      EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt), "") << "no diagnostic";
    }
    EXPECT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  });
}

// The row array is one row: the option core keeps 1 and says so.
TEST_F(Statements, RowArraySizeStaysOne) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    const SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(5), 0);
    const std::string d = diag(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(d.substr(0, 6), "01S02:");
    SQLULEN size = 0;
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  });
}

TEST_F(Statements, EndTranCommitsAndRollsBack) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(SQLSetEnvAttr(s.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(s.exec("CREATE TABLE t(a INTEGER)"), SQL_SUCCESS);
    // The server's statement options leave the commit to the application.
    s.rec()->stmtOptionsSupport |= 0x8;
    EXPECT_EQ(s.exec("INSERT INTO t VALUES (1)"), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_TRUE(query("SELECT a FROM t").empty());
    EXPECT_EQ(s.exec("INSERT INTO t VALUES (2)"), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(query("SELECT a FROM t"), std::vector<std::string>{"2"});

    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, s.dbc, 2), SQL_ERROR);
    EXPECT_EQ(diag(SQL_HANDLE_DBC, s.dbc), "HY012:Invalid transaction operation code");
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, s.dbc, SQL_COMMIT), SQL_ERROR);
    // On the environment the refusal goes into the environment's list.
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, s.env, -1), SQL_ERROR);
    EXPECT_EQ(diag(SQL_HANDLE_ENV, s.env), "HY012:Invalid transaction operation code");
    EXPECT_EQ(diag(SQL_HANDLE_DBC, s.dbc), "");
  });
}

// Column labels longer than 31 characters come whole, and a buffer that
// is too short gets as much as fits with 01004.
TEST_F(Statements, ColAttributeReadsTextsWhole) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(SQLSetEnvAttr(s.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    const std::string label(40, 'L');
    ASSERT_EQ(s.exec("CREATE TABLE t(" + label + " INTEGER, d DATE)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT " + label + ", d FROM t"), SQL_NTS), SQL_SUCCESS);
    SQLCHAR text[64] = {0};
    SQLSMALLINT length = 0;
    SQLLEN number = 0;
    for (const SQLUSMALLINT field : {SQL_DESC_LABEL, SQL_DESC_NAME}) {
      ASSERT_EQ(SQLColAttribute(stmt, 1, field, text, sizeof text, &length, &number), SQL_SUCCESS);
      EXPECT_EQ(reinterpret_cast<char*>(text), label);
      EXPECT_EQ(length, 40);
    }
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_LABEL, text, 11, &length, &number), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), std::string(10, 'L'));
    EXPECT_EQ(text[11], 'x') << "nothing past the buffer";
    EXPECT_EQ(length, 40);
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt).substr(0, 6), "01004:");
    ASSERT_EQ(SQLColAttribute(stmt, 0, SQL_DESC_COUNT, nullptr, 0, nullptr, &number), SQL_SUCCESS);
    EXPECT_EQ(number, 2);
    ASSERT_EQ(SQLColAttribute(stmt, 2, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &number), SQL_SUCCESS);
    EXPECT_EQ(number, SQL_TYPE_DATE) << "the ODBC 3 date type";
    EXPECT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_BASE_TABLE_NAME, text, sizeof text, &length, &number), SQL_ERROR);
    EXPECT_EQ(diag(SQL_HANDLE_STMT, stmt), "");

    SQLWCHAR wide[64] = {0};
    ASSERT_EQ(SQLColAttributeW(stmt, 1, SQL_DESC_LABEL, wide, sizeof wide, &length, &number), SQL_SUCCESS);
    EXPECT_EQ(std::wstring(wide), std::wstring(40, L'L'));
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(40 * sizeof(SQLWCHAR)));
    // In UTF-16 the lengths are bytes of two per unit.
    QvSetWideUnitForTest(2);
    uint16_t units[64] = {0};
    ASSERT_EQ(SQLColAttributeW(stmt, 1, SQL_DESC_LABEL, units, sizeof units, &length, &number), SQL_SUCCESS);
    EXPECT_EQ(length, 80);
    EXPECT_EQ(units[39], 'L');
    EXPECT_EQ(units[40], 0);
    QvSetWideUnitForTest(4);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  });
}

}  // namespace
