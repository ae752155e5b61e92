#include "src/odbc/lmoerr.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "src/odbc/lmo.h"
#include "support/locale.h"

namespace {

struct Popped {
  int16_t rc;
  std::wstring state;
  int32_t native;
  std::wstring message;
  int16_t length;
};

Popped pop(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt, int16_t size = 2049) {
  wchar_t state[kLmoSqlStateChars] = L"";
  std::wstring buf(static_cast<size_t>(size) + 2, L'#');  // guard characters behind the buffer
  int32_t native = -7;
  int16_t length = -7;
  Popped p{};
  p.rc = lmoError(env, dbc, stmt, state, &native, buf.data(), size, &length);
  p.state = state;
  p.native = native;
  EXPECT_EQ(buf[static_cast<size_t>(size)], L'#');
  p.message = buf.c_str();
  p.length = length;
  return p;
}

class Diagnostics : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lmo_initErrorStateTable(), 1); }
  void TearDown() override {
    lmoClearErrorList(&env_.errors);
    lmoClearErrorList(&dbc_.errors);
    lmoClearErrorList(&stmt_.errors);
  }
  LmoEnv env_{};
  LmoDbc dbc_{};
  LmoStmt stmt_{};
};

TEST(SqlStateTable, BuiltInRowsAreTheDriversIndices) {
  struct Row {
    int index;
    const wchar_t* state;
    const wchar_t* message;
  };
  const Row rows[] = {
      {0, L"00000", L"Success"},
      {4, L"01004", L"Success with warning - Data, right truncation"},
      {46, L"37000", L"Syntax error or access violation in PREPARE or EXECUTE IMMEDIATE"},
      {52, L"S1001", L"Memory allocation failure"},
      {61, L"S1090", L"Invalid string or buffer length"},
      {77, L"S1108", L"Concurrency option out of range "},
      {80, L"S1C00", L"Driver not capable"},
      {83, L"99000", L"Yet to classify the error state"},
      {84, L"01S02", L"Option value changed"},
  };
  for (const Row& r : rows) {
    EXPECT_STREQ(ODBC_gSQLStateTable[r.index].sqlState, r.state) << r.index;
    EXPECT_STREQ(ODBC_gSQLStateTable[r.index].message, r.message) << r.index;
  }
  for (int i = 0; i < kLmoErrorRows; ++i) EXPECT_EQ(std::wcslen(ODBC_gSQLStateTable[i].sqlState), 5u) << i;
}

TEST(ReturnCodeNames, EveryCodeAndTheRest) {
  const std::pair<int32_t, const char*> names[] = {
      {0, "SQL_SUCCESS"},   {1, "SQL_SUCCESS_WITH_INFO"}, {2, "SQL_STILL_EXECUTING"}, {99, "SQL_NEED_DATA"},
      {100, "SQL_NO_DATA"}, {110, "SQL_ROWLIMIT_EXCEEDED"}, {-1, "SQL_ERROR"},         {-2, "SQL_INVALID_HANDLE"},
      {3, ""},              {-3, ""},
  };
  for (const auto& [code, name] : names) EXPECT_STREQ(MapRetCodeToStr(code), name) << code;
}

TEST_F(Diagnostics, AddErrorComposesRowMessageAndText) {
  lmoAddError(&dbc_.errors, kLmoErrorRows, 5, "x");  // out of range: nothing
  EXPECT_EQ(dbc_.errors.count, 0u);
  lmoAddError(&dbc_.errors, -1, 5, nullptr);
  EXPECT_EQ(dbc_.errors.count, 0u);

  lmoAddError(&dbc_.errors, 84, 5, "x");
  lmoAddError(&dbc_.errors, 80, 0, nullptr);
  lmoAddErrorW(&dbc_.errors, 61, 9, L"SQLConnectW: Bad length of DSN");
  EXPECT_EQ(dbc_.errors.count, 3u);

  Popped p = pop(nullptr, &dbc_, nullptr);
  EXPECT_EQ(p.rc, 0);
  EXPECT_EQ(p.state, L"01S02");
  EXPECT_EQ(p.native, 5);
  EXPECT_EQ(p.message, L"Option value changed - x");
  EXPECT_EQ(p.length, 24);
  p = pop(nullptr, &dbc_, nullptr);
  EXPECT_EQ(p.state, L"S1C00");
  EXPECT_EQ(p.message, L"Driver not capable");
  p = pop(nullptr, &dbc_, nullptr);
  EXPECT_EQ(p.message, L"Invalid string or buffer length - SQLConnectW: Bad length of DSN");
  EXPECT_EQ(p.native, 9);
  EXPECT_EQ(pop(nullptr, &dbc_, nullptr).rc, 100);
  EXPECT_EQ(dbc_.errors.count, 0u);
}

TEST_F(Diagnostics, AddErrorCutsAt1023Characters) {
  const std::string text(3000, 'y');
  lmoAddError(&stmt_.errors, 1, 0, text.c_str());
  lmoAddErrorW(&stmt_.errors, 1, 0, std::wstring(3000, L'z').c_str());
  for (wchar_t fill : {L'y', L'z'}) {
    const Popped p = pop(nullptr, nullptr, &stmt_);
    EXPECT_EQ(p.message.size(), 1023u);
    EXPECT_EQ(p.message.substr(0, 23), L"Success with warning - ");
    EXPECT_EQ(p.message.back(), fill);
  }
}

TEST_F(Diagnostics, EightBitTextWidensThroughTheLocaleElseByValue) {
  {
    LocaleGuard utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok());
    lmoAddError(&env_.errors, 0, 0, "caf\xC3\xA9");
  }
  {
    LocaleGuard c("C");
    lmoAddError(&env_.errors, 0, 0, "caf\xE9");
  }
  EXPECT_EQ(pop(&env_, nullptr, nullptr).message, L"Success - caf\u00E9");
  EXPECT_EQ(pop(&env_, nullptr, nullptr).message, L"Success - caf\u00E9");
}

TEST_F(Diagnostics, AddSqlStateKeepsFiveCharactersAndEmptiesANullMessage) {
  EXPECT_EQ(lmoAddSQLState(&env_.errors, "HY0001", 3, nullptr), 0);
  EXPECT_EQ(lmoAddSQLStateW(&env_.errors, L"42S02", 4, L"no table"), 0);
  EXPECT_EQ(lmoAddSQLStateW(nullptr, L"42S02", 4, L"no table"), -1);
  Popped p = pop(&env_, nullptr, nullptr);
  EXPECT_EQ(p.state, L"HY000");
  EXPECT_EQ(p.message, L"");
  EXPECT_EQ(p.length, 0);
  p = pop(&env_, nullptr, nullptr);
  EXPECT_EQ(p.state, L"42S02");
  EXPECT_EQ(p.message, L"no table");
}

TEST_F(Diagnostics, PopUsesTheStatementsListAloneWhenGiven) {
  lmoAddError(&dbc_.errors, 51, 0, nullptr);
  EXPECT_EQ(pop(nullptr, &dbc_, &stmt_).rc, 100);
  EXPECT_EQ(dbc_.errors.count, 1u);
  EXPECT_EQ(pop(&env_, &dbc_, nullptr).state, L"S1000");
  EXPECT_EQ(pop(nullptr, nullptr, nullptr).rc, -2);
}

// A short buffer gets the start of the message and its terminator; the
// length is the whole message's.
TEST_F(Diagnostics, PopIntoShortBufferTerminatesAndGivesFullLength) {
  lmoAddSQLStateW(&stmt_.errors, L"S1000", 0, L"abcdefghijklmnopqrst");
  const Popped p = pop(nullptr, nullptr, &stmt_, 5);
  EXPECT_EQ(p.rc, 0);
  EXPECT_EQ(p.message, L"abcd");
  EXPECT_EQ(p.length, 20);
}

TEST_F(Diagnostics, ClearFreesEveryEntry) {
  for (int i = 0; i < 5; ++i) lmoAddError(&stmt_.errors, i, i, "t");
  EXPECT_EQ(stmt_.errors.count, 5u);
  EXPECT_EQ(getOdbcError(nullptr, nullptr, &stmt_), 0);
  EXPECT_EQ(stmt_.errors.count, 5u) << "printing leaves the entries";
  lmoClearErrorList(&stmt_.errors);
  EXPECT_EQ(stmt_.errors.count, 0u);
  EXPECT_EQ(getOdbcError(nullptr, nullptr, &stmt_), 100);
  EXPECT_EQ(getOdbcError(nullptr, nullptr, nullptr), -2);
}

}  // namespace
