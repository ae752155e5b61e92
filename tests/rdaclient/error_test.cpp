// Client diagnostics: what each row gives, the reading of the lists by the
// ODBC layer, the load-balancing test, and the message file qverror.bin.
#include "src/rdaclient/rdacli_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/qvinfo.h"
#include "support/cli_diag.h"
#include "support/sandbox.h"
#include "support/trace_capture.h"
#include "support/xm_count.h"

namespace {

// Blocks of the three kinds made by hand, entered in the set of live
// blocks; their lists are emptied at the end.
class ClientDiagnostics : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    env.tag = RDA_CLI_TAG_HENV;
    conn.tag = RDA_CLI_TAG_HDBC;
    conn.env = &env;
    stmt.tag = RDA_CLI_TAG_HSTMT;
    stmt.conn = &conn;
    RDA_cliInitErrorList(&env.errors);
    RDA_cliInitErrorList(&conn.errors);
    RDA_cliInitErrorList(&stmt.errors);
    for (const void* b : {static_cast<const void*>(&env), static_cast<const void*>(&conn),
                          static_cast<const void*>(&stmt)})
      ASSERT_EQ(RDA_cliLinkBlock(b), 1);
  }
  void TearDown() override {
    for (RDA_CliErrorList* l : {&env.errors, &conn.errors, &stmt.errors}) RDA_cliClearErrorList(l);
    for (const void* b : {static_cast<const void*>(&env), static_cast<const void*>(&conn),
                          static_cast<const void*>(&stmt)})
      RDA_cliUnlinkBlock(b);
    XmCountTest::TearDown();
  }

  // Pops one diagnostic with a message buffer of `size` characters.
  struct Popped {
    int32_t rc;
    std::string state;
    int32_t native;
    std::string message;
    int32_t length;
  };
  Popped pop(RDA_CliHENV* e, RDA_CliHDBC* c, RDA_CliHSTMT* s, int32_t size = 2100) {
    wchar_t state[6] = L"?????";
    std::vector<wchar_t> message(static_cast<size_t>(size) + 8, L'#');
    int32_t native = -7;
    int32_t length = -7;
    const int32_t rc = rda_cliError(e, c, s, state, &native, message.data(), size, &length);
    EXPECT_EQ(message[static_cast<size_t>(size)], L'#') << "nothing written beyond the buffer";
    return {rc, utf8(state), native, rc == 0 || rc == 100 ? utf8(message.data()) : "", length};
  }

  RDA_CliHENV env{};
  RDA_CliHDBC conn{};
  RDA_CliHSTMT stmt{};
};

TEST_F(ClientDiagnostics, EachRowGivesItsStateAndMessage) {
  const std::string longText(3000, 'x');
  struct Case {
    uint32_t index;
    int32_t native;
    const char* text;
    const char* state;
    std::string message;
  };
  const Case cases[] = {
      {79, 0x1A, "refused", "S201a", "refused"},
      {79, 0x1234, "refused", "S2123", "refused"},
      {79, 0, nullptr, "S1900", "ACSE error: Implementation defined ACSE error"},
      {80, 0x0005, "t", "S8005", "t"},
      {80, 0x8011, "t", "S7011", "t"},
      {80, 0xA0FF, "t", "S60ff", "t"},
      {80, 0xC001, "t", "S5001", "t"},
      {80, 0xCD05, "t", "S4005", "t"},
      {80, 0xCF10, "t", "S3010", "t"},
      {80, 0x1205, "t", "S1901", "t"},
      {80, 0xCD05, nullptr, "S1901", "Duvik proprietary error: Implementation defined Duvik error"},
      {9, 0, nullptr, "08003", "Connection exception - Connection does not exist"},
      {9, 3, "abc", "08003", "Connection exception - Connection does not exist - abc"},
      {10, 0, longText.c_str(), "08004",
       ("Connection exception - Connection failure - " + longText).substr(0, 2047)},
      {81, 0, "Database:x", "08900", "Connection exception - Server lookup Failed - Database:x"},
  };
  for (const Case& c : cases) {
    RDA_cliAddError(&conn.errors, c.index, c.native, c.text, nullptr);
    const CliDiag d = lastDiag(conn.errors);
    EXPECT_EQ(d.state, c.state) << c.index << " " << std::hex << c.native;
    EXPECT_EQ(d.native, c.native) << c.index;
    EXPECT_EQ(d.message, c.message) << c.index;
  }
  EXPECT_EQ(conn.errors.count, std::size(cases));

  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
  RDA_cliAddError(&conn.errors, 82, 5, "x", nullptr);
  RDA_cliAddError(&conn.errors, 0xFFFFFFFF, 5, nullptr, nullptr);
  EXPECT_EQ(conn.errors.count, std::size(cases)) << "nothing added outside the table";
  EXPECT_EQ(trace.count("Error index out range errorInx 82, nativeError 0x5"), 1u);
}

TEST_F(ClientDiagnostics, UtfEightTextsAndExplicitStates) {
  RDA_cliAddErrorUtf8(&conn.errors, 80, 0, "gr\xC3\xBC\xC3\x9F", nullptr);
  EXPECT_EQ(lastDiag(conn.errors).message, "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(RDA_cliAddSQLStateUtf8(&conn.errors, "42S02long", 12, "caf\xC3\xA9", nullptr), 1);
  EXPECT_EQ(lastDiag(conn.errors).state, "42S02") << "five characters kept";
  EXPECT_EQ(lastDiag(conn.errors).message, "caf\xC3\xA9");
  EXPECT_EQ(RDA_cliAddSQLState(&conn.errors, "HY000", 1, nullptr, nullptr), 1);
  EXPECT_EQ(lastDiag(conn.errors).message, "") << "no message: an empty one";
  EXPECT_EQ(RDA_cliAddSQLStateW(&conn.errors, L"01S02", 2, L"wide", nullptr), 1);
  EXPECT_EQ(lastDiag(conn.errors).state, "01S02");
  EXPECT_EQ(RDA_cliAddSQLStateUtf8(&conn.errors, "HY000", 1, std::string(5000, 'm').c_str(), nullptr), 1);
  EXPECT_EQ(lastDiag(conn.errors).message.size(), 2048u);
  // A text that is no UTF-8 is kept octet by octet rather than lost.
  RDA_cliAddErrorUtf8(&conn.errors, 79, 1, "\xC3(", nullptr);
  EXPECT_EQ(cliDiags(conn.errors).back().message.size(), 3u);

  withBudget(0, [&] { return RDA_cliAddSQLState(&conn.errors, "HY000", 1, "m", nullptr); });
  EXPECT_EQ(conn.errors.count, 6u) << "no memory: nothing added";
  RDA_cliClearErrorList(&conn.errors);
  EXPECT_EQ(conn.errors.count, 0u);
  EXPECT_EQ(RDA_cliFirstError(&conn.errors), nullptr);
}

TEST_F(ClientDiagnostics, PopTakesTheStatementsThenTheConnectionsThenTheEnvironments) {
  RDA_cliAddSQLState(&env.errors, "E0001", 1, "env", nullptr);
  RDA_cliAddSQLState(&conn.errors, "C0001", 2, "conn 1", nullptr);
  RDA_cliAddSQLState(&conn.errors, "C0002", 3, "conn 2", nullptr);
  RDA_cliAddSQLState(&stmt.errors, "S0001", 4, "stmt", nullptr);

  struct Step {
    const char* state;
    int32_t native;
  };
  for (const Step& want : {Step{"S0001", 4}, Step{"C0001", 2}, Step{"C0002", 3}, Step{"E0001", 1}}) {
    const Popped p = pop(nullptr, nullptr, &stmt);
    EXPECT_EQ(p.rc, 0);
    EXPECT_EQ(p.state, want.state);
    EXPECT_EQ(p.native, want.native);
    EXPECT_EQ(p.length, -3);
  }
  const Popped none = pop(nullptr, nullptr, &stmt);
  EXPECT_EQ(none.rc, 100);
  EXPECT_EQ(none.state, "00000");
  EXPECT_EQ(none.native, 0);
  EXPECT_EQ(none.length, 0);
  EXPECT_EQ(pop(nullptr, nullptr, nullptr).rc, 100) << "no handle at all";
  EXPECT_EQ(pop(&env, nullptr, nullptr).rc, 100);
}

TEST_F(ClientDiagnostics, ShortBufferGetsATerminatedCutAndTheFullLength) {
  const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
  RDA_cliAddSQLState(&conn.errors, "01004", 0, thirty.c_str(), nullptr);
  RDA_cliAddSQLState(&conn.errors, "01004", 0, thirty.c_str(), nullptr);
  RDA_cliAddSQLState(&conn.errors, "01004", 0, thirty.c_str(), nullptr);
  const Popped cut = pop(nullptr, &conn, nullptr, 10);
  EXPECT_EQ(cut.message, thirty.substr(0, 9));
  EXPECT_EQ(cut.length, 30);
  const Popped exact = pop(nullptr, &conn, nullptr, 30);
  EXPECT_EQ(exact.message, thirty.substr(0, 29)) << "30 characters need 31";
  EXPECT_EQ(exact.length, 30);
  const Popped whole = pop(nullptr, &conn, nullptr, 100);
  EXPECT_EQ(whole.message, thirty);
  EXPECT_EQ(whole.length, -3);
}

TEST_F(ClientDiagnostics, BadHandlesAreRefused) {
  RDA_CliHDBC stranger{};
  stranger.tag = RDA_CLI_TAG_HDBC;  // the right tag, but never a live block
  struct Case {
    const char* what;
    RDA_CliHENV* e;
    RDA_CliHDBC* c;
    RDA_CliHSTMT* s;
  };
  const Case cases[] = {
      {"statement as connection", nullptr, reinterpret_cast<RDA_CliHDBC*>(&stmt), nullptr},
      {"connection as statement", nullptr, nullptr, reinterpret_cast<RDA_CliHSTMT*>(&conn)},
      {"connection as environment", reinterpret_cast<RDA_CliHENV*>(&conn), nullptr, nullptr},
      {"not a live block", nullptr, &stranger, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pop(c.e, c.c, c.s).rc, -2) << c.what;
    char state[6];
    char message[16];
    EXPECT_EQ(rda_cliGetError(c.e, c.c, c.s, state, message, sizeof message, 1), -2) << c.what;
  }
  char state[6];
  char message[16];
  EXPECT_EQ(rda_cliGetError(nullptr, nullptr, nullptr, state, message, sizeof message, 1), -2);

  RDA_cliUnlinkBlock(&stmt);
  EXPECT_EQ(pop(nullptr, nullptr, &stmt).rc, -2) << "a block no longer live";
  RDA_cliLinkBlock(&stmt);
}

TEST_F(ClientDiagnostics, GetErrorReadsWithoutRemovingAndOnlyAGivenStatementsList) {
  RDA_cliAddSQLState(&conn.errors, "C0001", 0, "first", nullptr);
  RDA_cliAddSQLState(&conn.errors, "C0002", 0, "second message", nullptr);
  char state[6];
  char message[8];
  EXPECT_EQ(rda_cliGetError(nullptr, nullptr, &stmt, state, message, sizeof message, 1), 100)
      << "the statement's own list is empty";
  EXPECT_EQ(pop(nullptr, nullptr, &stmt).state, "C0001") << "while rda_cliError falls back to the connection's";

  RDA_cliAddSQLState(&conn.errors, "C0003", 0, "third", nullptr);
  ASSERT_EQ(rda_cliGetError(nullptr, &conn, nullptr, state, message, sizeof message, 1), 0);
  EXPECT_STREQ(state, "C0002");
  EXPECT_STREQ(message, "second ") << "cut to the buffer, terminated";
  ASSERT_EQ(rda_cliGetError(nullptr, &conn, nullptr, state, message, sizeof message, 0), 0);
  EXPECT_STREQ(state, "C0003");
  EXPECT_EQ(rda_cliGetError(nullptr, &conn, nullptr, state, message, sizeof message, 0), 100);
  ASSERT_EQ(rda_cliGetError(nullptr, &conn, nullptr, state, message, sizeof message, 1), 0);
  EXPECT_STREQ(state, "C0002") << "first = 1 restarts";
  EXPECT_EQ(conn.errors.count, 2u) << "nothing removed";

  // The entry the cursor points at goes away: the walk ends, nothing stale is read.
  EXPECT_EQ(pop(nullptr, &conn, nullptr).state, "C0002");
  EXPECT_EQ(pop(nullptr, &conn, nullptr).state, "C0003");
  RDA_cliAddSQLState(&conn.errors, "C0004", 0, "fourth", nullptr);
  EXPECT_EQ(rda_cliGetError(nullptr, &conn, nullptr, state, message, sizeof message, 0), 100);
  RDA_cliClearErrorList(&conn.errors);
  EXPECT_EQ(rda_cliGetError(nullptr, &conn, nullptr, state, message, sizeof message, 1), 100);
  EXPECT_STREQ(state, "00000");
}

TEST_F(ClientDiagnostics, LoadBalancingRefusalIsToldByItsBracketedNumberAtTheEnd) {
  struct Case {
    const char* message;
    int32_t result;
  };
  const Case cases[] = {
      {"Server busy, try another [-2130706431]", 1},
      {"[-2130706431] Server busy", 0},
      {"Server busy [2164260865]", 1},
      {"Server busy [-2130706432]", 0},
      {"[-2130706431]", 0},
      {"]", 0},
      {"Server busy -2130706431]", 0},
  };
  EXPECT_EQ(rda_cli_IsLoadBalancingError(&conn), 0) << "empty list";
  for (const Case& c : cases) {
    RDA_cliClearErrorList(&conn.errors);
    RDA_cliAddSQLState(&conn.errors, "HZ180", 0, c.message, nullptr);
    RDA_cliAddSQLState(&conn.errors, "HZ180", 0, "later [-2130706431]", nullptr);
    EXPECT_EQ(rda_cli_IsLoadBalancingError(&conn), c.result) << c.message;
  }
  EXPECT_EQ(rda_cli_IsLoadBalancingError(reinterpret_cast<RDA_CliHDBC*>(&env)), 0);
  rda_cli_ClearPrevError(&conn);
  EXPECT_EQ(conn.errors.count, 0u);
}

// ---------------------------------------------------------------------------
// The message file

struct Record {
  std::string key;
  std::string message;
  int keyLength = -1;      // -1: the key's own length
  int messageLength = -1;  // -1: the message's own length
};

std::string field(long value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*ld", width, value);
  return text;
}

std::string records(const std::vector<Record>& rs) {
  std::string out;
  for (const Record& r : rs) {
    out += static_cast<char>(r.keyLength >= 0 ? r.keyLength : static_cast<int>(r.key.size()));
    out += r.key;
    out += field(r.messageLength >= 0 ? r.messageLength : static_cast<long>(r.message.size()), 5);
    out += r.message;
  }
  return out;
}

// A file with the given sections, each {name, count, records}; the records
// follow the section table in order.
struct Section {
  std::string name;
  long count;
  std::vector<Record> rows;
};
std::string messageFile(const std::vector<Section>& sections) {
  std::string head = "Q";
  head += static_cast<char>(sections.size());
  long offset = 2 + 21 * static_cast<long>(sections.size());
  std::string body;
  for (const Section& s : sections) {
    std::string name = s.name;
    name.resize(6, '\0');
    head += name + field(s.count, 5) + field(offset, 10);
    const std::string r = records(s.rows);
    body += r;
    offset += static_cast<long>(r.size());
  }
  return head + body;
}

std::vector<Record> rows(int n, const char* prefix = "R") {
  std::vector<Record> rs;
  for (int i = 0; i < n; ++i) rs.push_back({field(i, 5), std::string(prefix) + std::to_string(i)});
  return rs;
}

class MessageFile : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    configure((sandbox_.dir() / "schema").string() + "/");
  }
  void TearDown() override {
    rda_freeErrorStateTable();
    XmCountTest::TearDown();
  }
  void configure(const std::string& schemaPath) {
    std::filesystem::create_directories(sandbox_.dir() / "schema");
    std::ofstream("mirodel.ini") << "[COMMON]\nqv_root=/opt/q\nSchemaPath=" << schemaPath << "\n";
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, "./mirodel.ini"), 1);
  }
  void write(const std::string& bytes) {
    std::ofstream(sandbox_.dir() / "schema" / "qverror.bin", std::ios::binary) << bytes;
  }
  static bool builtIn() {
    for (uint32_t r = 0; r < kRdaCliErrorRows; ++r)
      if (utf8(rda_cliRowState(r)) != utf8(RDAC_gSQLStateTable[r].sqlState) ||
          utf8(rda_cliRowMessage(r)) != utf8(RDAC_gSQLStateTable[r].message))
        return false;
    return true;
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME"};
};

TEST_F(MessageFile, RdacSectionReplacesTheBuiltInTable) {
  std::vector<Record> rs = rows(82);
  rs[5] = {"\xC3\x84" "B", "Sp\xC3\xA4ter"};
  write(messageFile({{"ODBC", 85, rows(85, "O")}, {"RDAC", 82, rs}}));
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 0xFFFF}});
  ASSERT_EQ(rda_initErrorStateTable(), 1);
  EXPECT_FALSE(builtIn());
  EXPECT_EQ(utf8(rda_cliRowState(0)), "00000");
  EXPECT_EQ(utf8(rda_cliRowMessage(0)), "R0");
  EXPECT_EQ(utf8(rda_cliRowState(5)), "\xC3\x84" "B");
  EXPECT_EQ(utf8(rda_cliRowMessage(5)), "Sp\xC3\xA4ter");
  EXPECT_EQ(utf8(rda_cliRowMessage(81)), "R81");
  ASSERT_NE(gRDABinHeader.section, nullptr);
  EXPECT_STREQ(gRDABinHeader.section->name, "RDAC");
  EXPECT_EQ(gRDABinHeader.header->sectionCount, 2);
  EXPECT_TRUE(trace.contains("Attempting to open: "));
  EXPECT_TRUE(trace.contains("Creating error message array."));

  RDA_CliErrorList list{};
  RDA_cliAddError(&list, 7, 0, "more", nullptr);
  EXPECT_EQ(lastDiag(list).message, "R7 - more") << "diagnostics come from the table in use";
  RDA_cliClearErrorList(&list);
  EXPECT_EQ(rda_initErrorStateTable(), 1) << "built once";
}

TEST_F(MessageFile, LongMessageIsCutAndTheNextRecordReadWhole) {
  std::vector<Record> rs = rows(82);
  rs[3].message = std::string(3000, 'L');
  write(messageFile({{"RDAC", 82, rs}}));
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 0xFFFF}});
  ASSERT_EQ(rda_initErrorStateTable(), 1);
  EXPECT_EQ(utf8(rda_cliRowMessage(3)), std::string(2048, 'L'));
  EXPECT_EQ(utf8(rda_cliRowState(4)), "00004");
  EXPECT_EQ(utf8(rda_cliRowMessage(4)), "R4");
  EXPECT_TRUE(trace.contains("Message 3 was too long and has been truncated to 2048 characters."));
}

TEST_F(MessageFile, CountAboveTheTableReadsOnlyItsRows) {
  write(messageFile({{"RDAC", 99999, rows(82)}}));
  ASSERT_EQ(rda_initErrorStateTable(), 1);
  EXPECT_EQ(utf8(rda_cliRowMessage(81)), "R81");
}

TEST_F(MessageFile, BadFilesFallBackToTheBuiltInTable) {
  const std::string good = messageFile({{"RDAC", 82, rows(82)}});
  std::vector<Record> badUtf8 = rows(82);
  badUtf8[10].message = "bad \xC3( here";
  std::vector<Record> badKey = rows(82);
  badKey[2].keyLength = 6;
  badKey[2].key = "ABCDEF";
  std::vector<Record> zeroKey = rows(82);
  zeroKey[2].keyLength = 0;
  zeroKey[2].key = "";
  std::vector<Record> zeroLength = rows(82);
  zeroLength[7].messageLength = 0;
  zeroLength[7].message = "";
  struct Case {
    const char* what;
    std::string bytes;
    const char* trace;
  };
  const Case cases[] = {
      {"81 rows", messageFile({{"RDAC", 81, rows(81)}}), "Error in binary file, not enough error messages."},
      {"no RDAC section", messageFile({{"ODBC", 85, rows(85)}}), "Desired error section not found in binary file."},
      {"no sections", std::string("Q\0", 2), "Desired error section not found in binary file."},
      {"name without NUL", messageFile({{"RDACXY", 82, rows(82)}}), "Desired error section not found in binary file."},
      {"count 0", messageFile({{"RDAC", 0, rows(82)}}), "Error determining number of errors."},
      {"one octet", "Q", "Error reading header data from binary file."},
      {"short section table", good.substr(0, 10), "Error reading section header data from binary file."},
      {"short message", good.substr(0, good.size() - 2), "Error reading message from binary file."},
      {"short key", good.substr(0, good.size() - 12), "Error reading key from binary file."},
      {"short length", good.substr(0, good.size() - 6), "Error reading message length from binary file."},
      {"no more records", good.substr(0, good.size() - 14), "Error reading key length from binary file."},
      {"bad UTF-8", messageFile({{"RDAC", 82, badUtf8}}),
       "utf8towcs conversion of error message from binary error file failed."},
      {"key of six", messageFile({{"RDAC", 82, badKey}}), "Invalid key length 6 of message 2 in binary file."},
      {"key of none", messageFile({{"RDAC", 82, zeroKey}}), "Invalid key length 0 of message 2 in binary file."},
      {"message length 0", messageFile({{"RDAC", 82, zeroLength}}), "Error determining message length."},
  };
  for (const Case& c : cases) {
    write(c.bytes);
    TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 0xFFFF}});
    ASSERT_EQ(rda_initErrorStateTable(), 1) << c.what;
    EXPECT_TRUE(builtIn()) << c.what;
    EXPECT_TRUE(trace.contains(c.trace)) << c.what;
    EXPECT_TRUE(trace.contains(
        "rda_initErrorStateTableFromCustomFile() was not successful. Internal SQLStateTable will be used."))
        << c.what;
    EXPECT_EQ(gRDABinHeader.header, nullptr) << c.what;
    rda_freeErrorStateTable();
  }
}

TEST_F(MessageFile, MissingFileAndOverlongSchemaPathUseTheBuiltInTable) {
  {
    TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 0xFFFF}});
    ASSERT_EQ(rda_initErrorStateTable(), 1);
    EXPECT_TRUE(builtIn());
    EXPECT_TRUE(trace.contains("Binary error message file could not be found."));
    rda_freeErrorStateTable();
  }
  const std::string longPath = "/" + std::string(499, 's') + "/";
  ASSERT_EQ(longPath.size(), 501u);
  configure(longPath);
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 0xFFFF}});
  ASSERT_EQ(rda_initErrorStateTable(), 1);
  EXPECT_TRUE(builtIn());
  EXPECT_TRUE(trace.contains("Full schema path too large to fit into buffer."));
}

TEST_F(MessageFile, NoMemoryForTheTableFails) {
  EXPECT_EQ(withoutMemoryAfter(0, [] { return rda_initErrorStateTable(); }), 0);
  EXPECT_EQ(sQLStateTBL, nullptr);
  EXPECT_EQ(gRDABinHeader.header, nullptr);
}

}  // namespace
