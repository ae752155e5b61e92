// Cursor names (set, refused, read back into buffers of every size) and the
// cancel hook.
#include "src/rdaclient/rdacli_cursor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_handles.h"
#include "support/cli_blocks.h"
#include "support/cli_diag.h"
#include "support/trace_capture.h"

namespace {

class CursorNames : public CliBlocksTest {
 protected:
  void SetUp() override {
    CliBlocksTest::SetUp();
    conn.state = RDA_CLI_ST_ASSOCIATED;
  }
  std::string name() const { return stmt.cursorName; }
};

TEST_F(CursorNames, SetAcceptsAndRefuses) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
  const std::string longest(128, 'c');
  const std::string tooLong(129, 'c');
  struct Case {
    const char* what;
    const char* name;
    int16_t length;
    int32_t rc;
    const char* state;  // of the diagnostic; "" none
    std::string stored;
  };
  const Case cases[] = {
      {"128 characters, terminated", longest.c_str(), RDA_CLI_NTS, 0, "", longest},
      {"128 characters, counted", longest.c_str(), 128, 0, "", longest},
      {"129 characters, terminated", tooLong.c_str(), RDA_CLI_NTS, -1, "34000", ""},
      {"129 characters, counted", tooLong.c_str(), 129, -1, "34000", ""},
      {"a count shorter than the text", "abcdef", 3, 0, "", "abc"},
      {"reserved prefix", "SQLCUR12", RDA_CLI_NTS, -1, "34000", ""},
      {"the prefix in lower case", "sqlcur12", RDA_CLI_NTS, 0, "", "sqlcur12"},
      {"empty", "", RDA_CLI_NTS, -1, "34000", ""},
      {"no name", nullptr, 4, -1, "S1009", ""},
      {"a negative length", "abc", -1, -1, "S1009", ""},
      {"another negative length", "abc", -32768, -1, "S1009", ""},
  };
  for (const Case& c : cases) {
    stmt.cursorName[0] = '\0';
    EXPECT_EQ(rda_cliSetCursorName(&stmt, c.name, c.length), c.rc) << c.what;
    EXPECT_EQ(lastDiag(stmt.errors).state, *c.state != '\0' ? c.state : "") << c.what;
    EXPECT_EQ(name(), c.stored) << c.what;
  }
  EXPECT_TRUE(trace.contains("*** rda_clISetCursorName: cursor length 129 exceeds maximum"));
  EXPECT_TRUE(trace.contains("*** rda_clISetCursorName: cursor name SQLCUR12 starts with SQLCUR"));
  EXPECT_EQ(rda_cliSetCursorName(reinterpret_cast<RDA_CliHSTMT*>(&conn), "abc", 3), -2);
}

TEST_F(CursorNames, NamesAreUniqueOnAConnectionAndPinnedWhileTheCursorIsOpen) {
  RDA_CliHSTMT* other = nullptr;
  ASSERT_EQ(rda_cliAllocStmt(&conn, &other), 0);
  ASSERT_EQ(rda_cliSetCursorName(other, "orders", RDA_CLI_NTS), 0);
  EXPECT_EQ(rda_cliSetCursorName(&stmt, "orders", RDA_CLI_NTS), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message, "Invalid cursor name");
  EXPECT_EQ(rda_cliSetCursorName(&stmt, "Orders", RDA_CLI_NTS), 0) << "compared with regard to case";
  EXPECT_EQ(rda_cliSetCursorName(&stmt, "Orders", RDA_CLI_NTS), -1) << "the statement's own name again";
  EXPECT_EQ(rda_cliSetCursorName(other, "lines", RDA_CLI_NTS), 0) << "a new name for the other";
  EXPECT_EQ(rda_cliSetCursorName(&stmt, "orders", RDA_CLI_NTS), 0) << "the old one is free";

  stmt.state |= RDA_CLI_STMT_CURSOR_OPEN;
  EXPECT_EQ(rda_cliSetCursorName(&stmt, "again", RDA_CLI_NTS), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message, "Invalid cursor state - SetCursorName: cursor is already open");
  EXPECT_EQ(name(), "orders");
  stmt.state &= ~RDA_CLI_STMT_CURSOR_OPEN;
  EXPECT_EQ(rda_cliFreeStmt(other, 1), 0);
}

TEST_F(CursorNames, GetIntoBuffersOfEverySize) {
  char buf[16];
  int16_t len = 99;
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(rda_cliGetCursorName(&stmt, buf, sizeof buf, &len), 0);
  EXPECT_EQ(len, 0) << "no name before the first open";
  EXPECT_STREQ(buf, "");
  ASSERT_EQ(rda_cliSetCursorName(&stmt, "abc", RDA_CLI_NTS), 0);
  struct Case {
    int16_t size;
    int32_t rc;
    int16_t len;
    std::string out;  // "#" for nothing written
  };
  const Case cases[] = {
      {8, 0, -3, "abc"}, {4, 0, -3, "abc"}, {3, 1, 3, "ab"}, {1, 1, 3, ""}, {0, 1, 3, "#"}, {-1, 1, 3, "#"},
  };
  for (const Case& c : cases) {
    std::memset(buf, '#', sizeof buf);
    len = 99;
    EXPECT_EQ(rda_cliGetCursorName(&stmt, buf, c.size, &len), c.rc) << c.size;
    EXPECT_EQ(len, c.len) << c.size;
    if (c.out == "#") {
      EXPECT_EQ(buf[0], '#') << c.size;
    } else {
      EXPECT_STREQ(buf, c.out.c_str()) << c.size;
    }
    if (c.size >= 0) {
      EXPECT_EQ(buf[c.size], '#') << "nothing past the buffer";
    }
    EXPECT_EQ(lastDiag(stmt.errors).state, c.rc == 1 ? "01004" : "") << c.size;
  }
  EXPECT_EQ(rda_cliGetCursorName(&stmt, nullptr, 0, &len), 1);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(rda_cliGetCursorName(&stmt, buf, sizeof buf, nullptr), 0);
  EXPECT_EQ(rda_cliGetCursorName(nullptr, buf, sizeof buf, &len), -2);
}

unsigned int gCancelled = 0;
int cancelHook(unsigned int opId) {
  gCancelled = opId;
  return opId == 5 ? -1 : 0x10002;
}

TEST_F(CursorNames, CancelCallsTheHostsHook) {
  ASSERT_EQ(gQv_sql_cancel, nullptr);
  EXPECT_EQ(rda_cliCancel(&stmt), 0) << "no hook";
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 16}});
  gQv_sql_cancel = cancelHook;
  EXPECT_EQ(rda_cliCancel(&stmt), -1);
  EXPECT_EQ(gCancelled, stmt.opId);
  EXPECT_TRUE(trace.contains("*** rda_cliCancel: calling gQv_sql_cancel"));
  stmt.opId = 6;
  EXPECT_EQ(rda_cliCancel(&stmt), 2) << "a 16-bit code";
  EXPECT_EQ(rda_cliCancel(reinterpret_cast<RDA_CliHSTMT*>(&env)), -2);
  gQv_sql_cancel = nullptr;
  stmt.opId = 5;
}

}  // namespace
