// What the statement and result cores refuse themselves, before the client
// is asked: bad types, lengths, column and parameter numbers, options and
// call sequences, each with its SQLSTATE and text.
#include <gtest/gtest.h>

#include <string>

#include "driver_fixture.h"
#include "src/odbc/cores.h"
#include "src/odbc/lmoparam.h"
#include "src/odbc/odbcapi.h"

namespace {

class Refusals : public ::testing::Test {
 protected:
  void SetUp() override { attachDriverOnce(); }
  // Every pending diagnostic of the statement, "STATE:message" with the
  // prefix left out.
  std::string errors() {
    std::string out;
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR message[512];
    SQLSMALLINT length = 0;
    while (SQLError(nullptr, nullptr, stmt_.handle(), state, &native, message, sizeof message, &length) ==
           SQL_SUCCESS) {
      const std::string m = reinterpret_cast<char*>(message);
      out += std::string(reinterpret_cast<char*>(state)) + ":" + m.substr(m.find(']', m.find(']') + 1) + 1) + "\n";
    }
    return out;
  }
  TestConnection conn_;
  TestStatement stmt_{conn_};
};

TEST_F(Refusals, BindParameterTypes) {
  SQLINTEGER v = 0;
  const struct {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    const char* error;
  } cases[] = {
      {-25, SQL_INTEGER, "S1003:Program type out of range - SQLBindParam: Buffer data type <-25> not supported\n"},
      {SQL_C_LONG, -5, "S1004:SQL data type out of range - SQLBindParam: SQL date type <-5> not supported\n"},
      {SQL_C_LONG, 0, "S1004:SQL data type out of range - SQLBindParam: SQL date type <0> not supported\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SQLBindParameter(stmt_.handle(), 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 0, 0, &v, 0, nullptr),
              SQL_ERROR);
    EXPECT_EQ(errors(), c.error);
  }
  EXPECT_EQ(lmoFindParam(stmt_.stmt(), 1), nullptr) << "nothing kept of a refused binding";

  // SQL_C_DEFAULT takes the SQL type's default, and stays for a type that has
  // none (the execution's conversion check refuses it then).
  ASSERT_EQ(SQLBindParameter(stmt_.handle(), 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_INTEGER, 0, 0, &v, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_.handle(), 2, SQL_PARAM_OUTPUT, SQL_C_DEFAULT, SQL_LONGVARCHAR, 0, 0, &v, 0,
                             nullptr),
            SQL_SUCCESS);
  // A 3.x date code is taken as its 2.x one.
  ASSERT_EQ(SQLBindParameter(stmt_.handle(), 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0, &v, 0,
                             nullptr),
            SQL_SUCCESS);
  const LmoParam* p1 = lmoFindParam(stmt_.stmt(), 1);
  const LmoParam* p2 = lmoFindParam(stmt_.stmt(), 2);
  const LmoParam* p3 = lmoFindParam(stmt_.stmt(), 3);
  ASSERT_TRUE(p1 != nullptr && p2 != nullptr && p3 != nullptr);
  EXPECT_EQ(p1->bindCType, SQL_C_LONG);
  EXPECT_EQ(p1->direction, 1);
  EXPECT_EQ(p2->bindCType, SQL_C_DEFAULT);
  EXPECT_EQ(p2->direction, 4);
  EXPECT_EQ(p3->bindCType, SQL_C_DATE);
  EXPECT_EQ(p3->sqlType, SQL_DATE);
  EXPECT_EQ(p3->direction, 1) << "input-output values are sent";
  EXPECT_EQ(SQLFreeStmt(stmt_.handle(), SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(lmoFindParam(stmt_.stmt(), 1), nullptr);
}

TEST_F(Refusals, TextsAndLengths) {
  SQLCHAR text[] = "SELECT 1";
  EXPECT_EQ(SQLPrepare(stmt_.handle(), text, -5), SQL_ERROR);
  EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
  EXPECT_EQ(SQLPrepare(stmt_.handle(), nullptr, SQL_NTS), SQL_ERROR);
  EXPECT_EQ(errors(), "S1009:Invalid argument value\n") << "the wide form, behind the export, says no more";
  EXPECT_EQ(QVSQLPrepare(stmt_.stmt(), nullptr, SQL_NTS), -1);
  EXPECT_EQ(errors(), "S1009:Invalid argument value - SQLPrepare: Statement is NULL\n");
  // A direct execution takes no other negative length either.
  for (const SQLINTEGER length : {-5, -1, -4}) {
    EXPECT_EQ(SQLExecDirect(stmt_.handle(), text, length), SQL_ERROR) << length;
    EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
    SQLWCHAR wide[] = L"SELECT 1";
    EXPECT_EQ(SQLExecDirectW(stmt_.handle(), wide, length), SQL_ERROR) << length;
    EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
  }
  EXPECT_EQ(SQLExecDirect(stmt_.handle(), nullptr, SQL_NTS), SQL_ERROR);
  EXPECT_EQ(errors(), "S1009:Invalid argument value - SQLExecDirect: Statement is NULL\n");
}

// A length that is neither a count nor SQL_NTS is refused before anything
// of the text is read: the texts here have no terminator.
TEST_F(Refusals, NegativeLengthsReadNothing) {
  SQLCHAR text[] = {'S', 'E', 'L'};
  SQLWCHAR wide[] = {L'a', L'b'};
  for (const SQLSMALLINT length : {-5, -1, -4, -32768}) {
    EXPECT_EQ(SQLExecDirect(stmt_.handle(), text, length), SQL_ERROR) << length;
    EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
    EXPECT_EQ(SQLPrepare(stmt_.handle(), text, length), SQL_ERROR) << length;
    EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
    EXPECT_EQ(SQLSetCursorName(stmt_.handle(), text, length), SQL_ERROR) << length;
    EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
    EXPECT_EQ(SQLSetCursorNameW(stmt_.handle(), wide, length), SQL_ERROR) << length;
    EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
  }
  EXPECT_EQ(QVSQLSetCursorName(nullptr, nullptr, SQL_NTS), SQL_INVALID_HANDLE);
  EXPECT_EQ(QVSQLGetCursorName(nullptr, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(QVSQLFetch(nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(QVSQLCancel(nullptr), SQL_INVALID_HANDLE);
}

TEST_F(Refusals, ColumnsAndFetchTypes) {
  SQLCHAR name[32];
  EXPECT_EQ(SQLDescribeCol(stmt_.handle(), 0, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(errors(), "S1002:Invalid column number\n");
  SQLWCHAR wide[8];
  EXPECT_EQ(QVSQLDescribeColW(stmt_.stmt(), 1, wide, -1, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(errors(), "S1090:Invalid string or buffer length - SQLDescribeCol: Length of the column name buffer "
                      "negative\n");
  SQLINTEGER v = 0;
  EXPECT_EQ(SQLBindCol(stmt_.handle(), 0, SQL_C_LONG, &v, 4, nullptr), SQL_ERROR);
  EXPECT_EQ(errors(), "S1002:Invalid column number\n");
  EXPECT_EQ(SQLBindCol(stmt_.handle(), 1, SQL_C_LONG, &v, -1, nullptr), SQL_ERROR);
  EXPECT_EQ(errors(), "S1090:Invalid string or buffer length\n");
  SQLULEN rows = 7;
  SQLUSMALLINT status = 7;
  for (const SQLUSMALLINT type : {SQL_FETCH_PRIOR, SQL_FETCH_FIRST, SQL_FETCH_ABSOLUTE}) {
    EXPECT_EQ(SQLExtendedFetch(stmt_.handle(), type, 0, &rows, &status), SQL_ERROR);
    EXPECT_EQ(errors(), "S1106:Invalid fetch type\n");
  }
  EXPECT_EQ(rows, 7u) << "nothing written";
}

TEST_F(Refusals, DataAtExecutionOutOfSequence) {
  SQLINTEGER v = 0;
  EXPECT_EQ(SQLPutData(stmt_.handle(), &v, 4), SQL_ERROR);
  EXPECT_EQ(errors(),
            "S1DE0:No data at execution values pending - LmPutData: No data to be sent for parameter at execution "
            "time\n");
  // Pending, but SQLParamData has not named the parameter yet.
  stmt_.stmt()->pendingCount = 1;
  EXPECT_EQ(SQLPutData(stmt_.handle(), &v, 4), SQL_ERROR);
  EXPECT_EQ(errors(), "S1010:Function sequence error - LmPutData: Function sequence error\n");
  stmt_.stmt()->pendingCount = 0;
}

TEST_F(Refusals, FreeStmtOptionOutOfRangeWithoutClientStatement) {
  EXPECT_EQ(SQLFreeStmt(stmt_.handle(), 4), SQL_ERROR);
  EXPECT_EQ(errors(), "S1092:Option type out of range - SQLFreeStmt: Option type out of range\n");
}

TEST(DefaultTypes, OfEverySqlType) {
  const struct {
    int16_t sqlType;
    int16_t cType;
  } cases[] = {{-9, 1}, {-8, 1}, {-5, 1}, {0, 1},  {1, 1},  {2, 1},  {3, 1},   {12, 1}, {-7, -7}, {-6, -6},
               {-4, -2}, {-3, -2}, {-2, -2}, {4, 4}, {5, 5}, {6, 8}, {8, 8},   {7, 7},  {9, 9},   {10, 10},
               {11, 11}, {-1, -1}, {-10, -1}, {91, -1}, {13, -1}};
  for (const auto& c : cases) EXPECT_EQ(getDefaultType(c.sqlType), c.cType) << c.sqlType;
}

}  // namespace
