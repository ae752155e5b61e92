#include "src/runtime/gutrace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/qvthread.h"
#include "src/runtime/tm.h"
#include "support/call_trace.h"
#include "support/recordset.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) { return readWholeFile(p); }

const std::string kMarker(5, '\x0c');
const std::string kTruncated = "================ LOG FILE TRUNCATED ================\n";

TEST_F(CallTrace, OpenBeforeInitIsRefusedWithAMessage) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(tr_open("ODBC", 1), nullptr);
  EXPECT_EQ(tr_def_open("JDBC"), nullptr);
  tr_trace("src/x", 1, nullptr, 0xFF, "nothing");
  tr_options(nullptr, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "tr_open():Error: Trace Module was not initialized\n"
            "tr_def_open():Error: Trace Module was not initialized\n");
}

TEST_F(CallTrace, TwentyFiveHandlesWithDefaultAndAClosedSlotIsReused) {
  ASSERT_EQ(tr_init("prog", file_.c_str(), 7, 0, 0), 1);
  EXPECT_EQ(tr_init("other", nullptr, 0, 0, 0), 1);  // once per process
  EXPECT_STREQ(gTraceCB.fileName, file_.c_str());
  ASSERT_EQ(gTraceCB.defaultHandle, &gTraceCB.handles[0]);
  EXPECT_STREQ(gTraceCB.defaultHandle->name, "DEFAULT");
  EXPECT_EQ(gTraceCB.defaultHandle->mask, 7u);
  EXPECT_EQ(gTraceCB.count, 1);

  std::vector<TrHandle> opened;
  for (int i = 1; i < TR_MAX_HANDLES; ++i) opened.push_back(tr_open(("H" + std::to_string(i)).c_str(), 1));
  EXPECT_EQ(std::set<TrHandle>(opened.begin(), opened.end()).size(), 24u);
  EXPECT_EQ(opened.front(), &gTraceCB.handles[1]);
  EXPECT_EQ(gTraceCB.count, 25);
  EXPECT_EQ(tr_open("full", 1), nullptr);
  EXPECT_EQ(tr_def_open("full"), nullptr);

  tr_close(opened[5]);
  tr_close(opened[5]);  // twice: counted once
  EXPECT_EQ(gTraceCB.count, 24);
  const TrHandle again = tr_def_open("a name longer than twenty-seven characters");
  EXPECT_EQ(again, opened[5]);
  EXPECT_STREQ(again->name, "a name longer than twenty-s");
  EXPECT_EQ(again->mask, 7u);
}

TEST_F(CallTrace, LevelMaskAndFormatFlagsShapeTheLine) {
  start();
  const TrHandle h = tr_open("ODBC", 63);
  const struct {
    uint64_t flags;
    uint64_t level;
    const char* line;  // NULL: nothing written
  } cases[] = {
      {0, 64, nullptr},
      {0, 2, " [TID: 7F2A], lmocomm:120: SQLFetch 1\n"},
      {0, 32 | 2, " SQLFetch 1\n"},
      {4, 8, "ERR: [TID: 7F2A], lmocomm:120: SQLFetch 1\n"},
      {4, 16, "INFO: [TID: 7F2A], lmocomm:120: SQLFetch 1\n"},
      {1 | 4, 32 | 1, "ODBC: ERR: SQLFetch 1\n"},
  };
  std::string expected;
  for (const auto& c : cases) {
    gTraceCB.formatFlags = c.flags;
    tr_trace("src/lmocomm", 120, h, c.level, "SQLFetch %d", 1);
    if (c.line != nullptr) expected += c.line;
  }
  EXPECT_EQ(trace(), expected);
}

TEST_F(CallTrace, DefaultAndForeignHandles) {
  start();
  tr_options(nullptr, 4);
  tr_trace("src/a", 1, nullptr, 4, "through default");
  TrHandleSlot foreign{1, "X", ~uint64_t{0}};
  tr_trace("src/a", 2, &foreign, 4, "foreign");
  tr_options(&foreign, 0);
  EXPECT_EQ(foreign.mask, ~uint64_t{0});
  const TrHandle h = tr_open("H", 4);
  tr_close(h);
  tr_trace("src/a", 3, h, 4, "closed");
  EXPECT_EQ(trace(), " [TID: 7F2A], a:1: through default\n");
}

TEST_F(CallTrace, WithoutAFileNarrowLinesGoToStdoutAndWideLinesToStderr) {
  ASSERT_EQ(tr_init("prog", nullptr, 0, 0, 0), 1);
  giTmLogFileMaxSize = 0;
  const TrHandle h = tr_open("ODBC", 63);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  tr_trace("src/lmocomm", 7, h, 2, "narrow");
  tr_tracew("src/lmocomm", 8, h, 2, L" wide %ls\n", L"\u00e9");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "<UNICODE>[TID: 7F2A], src/lmocomm:8:  wide \xc3\xa9\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " [TID: 7F2A], lmocomm:7: narrow\n");
}

TEST_F(CallTrace, WideLineColumnsDumpAndConversionFailure) {
  start(1 | 4);
  const TrHandle h = tr_open("ODBC", 63 | TR_MASK_HEX_DUMP);
  tr_tracew("src/lmocomm", 9, h, 8, L"%ls", L"Hi");
  const wchar_t bad[] = {static_cast<wchar_t>(-5), 0};
  tr_tracew("src/lmocomm", 10, h, 32 | 16, L"%ls", bad);
  EXPECT_EQ(trace(),
            "ODBC:<UNICODE>ERR: :<UNICODE>[TID: 7F2A], src/lmocomm:9: Hi"
            "ODBC:<UNICODE>ERR: :<UNICODE>[TID: 7F2A]:<Unicode Trace:Hex>\n"
            "    0: 48 00 00 00 69 00 00 00 " +
                std::string(8 * 3, ' ') +
                "  |  H...i...\n"
                "ODBC:<UNICODE>INFO: :Error converting the trace message to UTF8\n"
                "ODBC:<UNICODE>INFO: :<Unicode Trace:Hex>\n"
                "    0: fb ff ff ff " +
                std::string(12 * 3, ' ') + "  |  ....\n");
}

TEST_F(CallTrace, HexDumpRows) {
  start();
  const TrHandle h = tr_open("ODBC", 2);
  const unsigned char data[18] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f',
                                  0x0a, '~'};
  tr_dumpHex(h, 4, "masked", data, sizeof data);
  tr_dumpHex(h, 2, "Buffer", data, sizeof data);
  EXPECT_EQ(trace(),
            "<UNICODE>[TID: 7F2A]:Buffer\n"
            "    0: 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66   |  0123456789abcdef\n"
            "   10: 0a 7e " +
                std::string(14 * 3, ' ') + "  |  .~\n");
}

TEST_F(CallTrace, FullFileIsMarkedOnceThenDropsEverything) {
  std::ofstream(file_, std::ios::binary) << std::string(1024, 'x');
  start();
  giTmLogFileMaxSize = 1024;
  const TrHandle h = tr_open("ODBC", 63);
  tr_trace("src/a", 1, h, 2, "first");
  const std::string expected = std::string(1024, 'x') + kTruncated + kMarker;
  EXPECT_EQ(trace(), expected);
  tr_trace("src/a", 2, h, 2, "second");
  tr_tracew("src/a", 3, h, 2, L"wide\n");
  tr_dumpHex(h, 2, "dump", "ab", 2);
  EXPECT_EQ(trace(), expected);
}

TEST_F(CallTrace, FileAlreadyEndingInTheMarkerIsNotMarkedAgain) {
  const std::string before = std::string(2000 - 5, 'x') + kMarker;
  std::ofstream(file_, std::ios::binary) << before;
  start();
  giTmLogFileMaxSize = 1024;
  const TrHandle h = tr_open("ODBC", 63);
  tr_trace("src/a", 1, h, 2, "first");
  tr_trace("src/a", 2, h, 2, "second");
  EXPECT_EQ(trace(), before);
  EXPECT_EQ(giTrTraceTruncationMessage, 0);
}

TEST_F(CallTrace, CloseAfterEachLineAppendsEveryLine) {
  std::ofstream(file_) << "earlier run\n";
  start(0, 1);
  const TrHandle h = tr_open("ODBC", 63);
  tr_trace("src/a", 1, h, 32, "one");
  EXPECT_EQ(gTraceCB.out, nullptr);
  tr_trace("src/a", 2, h, 32, "two");
  EXPECT_EQ(readFile(file_), "earlier run\n one\n two\n");
}

TEST_F(CallTrace, LongLineIsCutToTheBuffer) {
  start();
  const TrHandle h = tr_open("ODBC", 63);
  tr_trace("src/a", 1, h, 32, "%s", std::string(70000, 'q').c_str());
  EXPECT_EQ(trace(), " " + std::string(65534, 'q') + "\n");
}

TEST_F(CallTrace, TraceFileIsPrivateAndALinkIsNotFollowed) {
  const mode_t savedMask = umask(0);
  start();
  const TrHandle h = tr_open("ODBC", 63);
  tr_trace("src/a", 1, h, 32, "private");
  umask(savedMask);
  struct stat st {};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  reset();
  const fs::path target = dir_ / "target.log";
  const fs::path link = dir_ / "link.log";
  std::ofstream(target) << "kept\n";
  fs::create_symlink(target, link);
  ASSERT_EQ(tr_init("prog", link.c_str(), 0, 0, 0), 1);
  giTmLogFileMaxSize = 0;
  const TrHandle h2 = tr_open("ODBC", 63);
  testing::internal::CaptureStderr();
  tr_trace("src/a", 2, h2, 32, "not through the link");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), " not through the link\n");
  EXPECT_EQ(readFile(target), "kept\n");
}

TEST_F(CallTrace, OverlongFileNameSendsLinesToStderrNotToAShorterName) {
  const std::string longName = (dir_ / std::string(300, 'n')).string();
  ASSERT_EQ(tr_init("prog", longName.c_str(), 0, 0, 0), 1);
  giTmLogFileMaxSize = 0;
  EXPECT_EQ(gTraceCB.noFile, 0);
  EXPECT_STREQ(gTraceCB.fileName, "");
  const TrHandle h = tr_open("ODBC", 63);
  testing::internal::CaptureStderr();
  tr_trace("src/a", 1, h, 32, "to stderr");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), " to stderr\n");
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(CallTrace, ConcurrentLinesAreWrittenWhole) {
  QvSetMultiThread(1);
  start();
  const TrHandle h = tr_open("ODBC", 63);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([h, t] {
      for (int i = 0; i < 200; ++i) {
        tr_trace("src/a", 1, h, 32, "%d:%s", t, std::string(100, static_cast<char>('a' + t)).c_str());
        tr_tracew("src/a", 1, h, 32, L"%d:%ls\n", t, std::wstring(100, static_cast<wchar_t>(L'a' + t)).c_str());
      }
    });
  for (auto& t : threads) t.join();
  std::istringstream lines(trace());
  int n = 0;
  for (std::string line; std::getline(lines, line); ++n) {
    const size_t at = line[0] == ' ' ? 1 : 0;
    ASSERT_EQ(line.size(), at + 102) << line;
    EXPECT_EQ(line.substr(at + 2), std::string(100, static_cast<char>('a' + (line[at] - '0'))));
  }
  EXPECT_EQ(n, 1600);
}

}  // namespace
