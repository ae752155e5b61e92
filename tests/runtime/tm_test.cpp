#include "src/runtime/tm.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/qvthread.h"
#include "src/runtime/qvinfo.h"
#include "support/clock.h"
#include "support/recordset.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// Sets an environment variable for the lifetime of the object.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvGuard() {
    if (saved_) setenv(name_.c_str(), saved_->c_str(), 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// The trace manager started with `slots` module slots and its output in a
// trace file of a fresh temporary directory; the process-wide trace state
// is put back afterwards.
class TraceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureProcessMutexes();
    char tmpl[] = "/tmp/tmtestXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    file_ = dir_ / "trace.log";
    savedCap_ = giTmLogFileMaxSize;
    savedThreadId_ = glMainThreadId;
    savedSwitch_ = QvMultiThread;
    bConfigInfoTraced = 1;  // the header has its own tests
    giTmTraceTruncationMessage = 1;
  }
  void TearDown() override {
    tm_shutdown();
    tm_output("", 0, 0);
    tmOutFunc = nullptr;
    giTmLogFileMaxSize = savedCap_;
    giTmTraceTruncationMessage = 1;
    bConfigInfoTraced = 0;
    glMainThreadId = savedThreadId_;
    QvSetMultiThread(savedSwitch_);
    fs::remove_all(dir_);
  }
  void start(int32_t slots) {
    ASSERT_EQ(tm_init(slots), 1);
    giTmLogFileMaxSize = 0;
    tm_output(file_.c_str(), 0, 0);
  }
  // Every thread is seen as thread 7F2A.
  void pinThread() {
    QvSetMultiThread(0);
    glMainThreadId = 0x7F2A;
  }
  std::string trace() {
    tm_output("", 0, 0);  // closes the file, so that all of it is on disk
    std::string text = readFile(file_);
    tm_output(file_.c_str(), 1, 0);
    return text;
  }

  fs::path dir_;
  fs::path file_;
  int32_t savedCap_ = 0;
  uint64_t savedThreadId_ = 0;
  int32_t savedSwitch_ = 1;
};

TEST_F(TraceFile, OpenTakesTheHighestFreeSlotAndRefusesDuplicatesAndOverflow) {
  start(3);
  EXPECT_EQ(tm_init(5), 1);  // once per process
  EXPECT_EQ(tmNumModules.load(), 3);
  EXPECT_EQ(tm_open("A: ", "a"), 2);
  EXPECT_EQ(tm_open("B: ", "b"), 1);
  EXPECT_EQ(tm_open("C: ", "c"), 0);
  EXPECT_EQ(tm_open("B2: ", "b"), -1);
  EXPECT_EQ(tm_open("D: ", "d"), -1);
  EXPECT_EQ(trace(), "TM: Duplicate getoptName\nTM: All Modules in use\n");

  tm_close(1);
  EXPECT_EQ(TM_validMod(1), 0);
  EXPECT_EQ(tm_siteOn(1, 0xFFFFFFFF), 0);
  EXPECT_EQ(tm_open("D: ", "d"), 1);
  EXPECT_EQ(TM_validMod(1), 1);
  EXPECT_EQ(TM_validMod(3), 0);
  EXPECT_EQ(TM_validMod(-1), 0);
}

TEST_F(TraceFile, ModuleMaskDecidesWhetherASiteWrites) {
  start(2);
  const TmHandle h = tm_open("SESS: ", "sess");
  TM_TRACE(h, 0x10, "src/sinit", "not yet\n");
  tm_setMask(h, 0x18);
  EXPECT_EQ(_tm_query(h, 0x10), 1);
  EXPECT_EQ(_tm_query(h, 0x20), 0);
  TM_TRACE(h, 0x20, "src/sinit", "minor\n");
  TM_TRACE(h, 0x10, "src/sinit", "major %d\n", 1);
  EXPECT_EQ(count(trace(), "major 1\n"), 1u);
  EXPECT_EQ(count(trace(), "minor"), 0u);
  EXPECT_EQ(count(trace(), "not yet"), 0u);
}

TEST_F(TraceFile, LineCarriesPrefixThreadAndShortSourceName) {
  start(1);
  pinThread();
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x10);
  tm_traceSite(h, 0x10, "src/sinit", 12, "connect %s\n", "ok");
  EXPECT_EQ(trace(), "SESS:  [TID: 7F2A]:[] sinit:12: connect ok\n");
}

TEST_F(TraceFile, ErrorLinesAndTimestampMaskCarryTheTime) {
  EnvGuard tz("TZ", "UTC");
  tzset();
  ClockSteer clock;
  clock.set(741476948, 123456);
  start(1);
  pinThread();
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x18);
  tm_traceSite(h, 8, "src/sinit", 12, "error\n");
  tm_traceSite(h, 0x10, "src/sinit", 13, "event\n");
  tm_setMask(h, 0x210);
  tm_traceSite(h, 0x10, "src/sinit", 14, "stamped\n");
  EXPECT_EQ(trace(),
            "SESS:  [TID: 7F2A]:[Wed Jun 30 21:49:08.123 1993] sinit:12: error\n"
            "SESS:  [TID: 7F2A]:[] sinit:13: event\n"
            "SESS:  [TID: 7F2A]:[Wed Jun 30 21:49:08.123 1993] sinit:14: stamped\n");
  tzset();
}

TEST_F(TraceFile, FormatFlagsChooseTheColumns) {
  start(1);
  pinThread();
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x10);
  const struct {
    uint32_t flags;
    const char* line;
  } cases[] = {
      {3, "SESS:  [TID: 7F2A]:[] sinit:12: m\n"},
      {2, "SESS:  m\n"},
      {1, "[TID: 7F2A]:[] sinit:12: m\n"},
      {0, "m\n"},
  };
  for (const auto& c : cases) {
    ASSERT_NE(_tm_setFlags(h, c.flags), nullptr);
    tm_traceSite(h, 0x10, "/a/b/src/sinit", 12, "m\n");
  }
  std::string expected;
  for (const auto& c : cases) expected += c.line;
  EXPECT_EQ(trace(), expected);
  EXPECT_EQ(_tm_setFlags(5, 3), nullptr);
}

TEST_F(TraceFile, WideLineIsWrittenInUtf8AndDumpedWhenAsked) {
  start(1);
  pinThread();
  const TmHandle h = tm_open("SESS: ", "sess");
  _tm_setFlags(h, 0);
  tm_setMask(h, 0x10);
  TM_TRACEW(h, 0x10, "src/sinit", L"name=%ls n=%d\n", L"\u00e4\u20ac", 7);
  EXPECT_EQ(trace(), "name=\xc3\xa4\xe2\x82\xac n=7\n");

  tm_setMask(h, 0x410);
  TM_TRACEW(h, 0x10, "src/sinit", L"%ls", L"A\u00e4");
  EXPECT_EQ(trace(),
            "name=\xc3\xa4\xe2\x82\xac n=7\n"
            "A\xc3\xa4<Unicode Trace:Hex>\n"
            "    0: 41 00 00 00 e4 00 00 00 " +
                std::string(8 * 3, ' ') + "  |  A.......\n");
}

TEST_F(TraceFile, WideLineThatCannotBeConvertedWritesNothing) {
  start(1);
  const TmHandle h = tm_open("SESS: ", "sess");
  _tm_setFlags(h, 0);
  tm_setMask(h, 0x10);
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0x110000), 0};
  TM_TRACEW(h, 0x10, "src/sinit", L"%ls", bad);
  TM_TRACEW(h, 0x10, "src/sinit", L"after\n");
  EXPECT_EQ(trace(), "after\n");
}

TEST_F(TraceFile, AsciiLevelSetsTheMaskOfTheModuleNamedExactly) {
  start(3);
  const TmHandle sess = tm_open("SESS: ", "sess");
  const TmHandle sessx = tm_open("SESX: ", "sessx");
  const struct {
    const char* text;
    int32_t result;
    uint32_t sessMask;
  } cases[] = {
      {"sess=ff", 1, 0xff},
      {"sess:1A", 1, 0x1a},
      {"sess,10", 1, 0x10},
      {"sess", 0, 0x10},
      {"session=ff", 0, 0x10},
      {"ses=ff", 0, 0x10},
      {"sess=zz", 1, 0},
      {"sess=123456789", 1, 0xFFFFFFFF},
      {"sess=", 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tm_setAsciiLevel(c.text), c.result) << c.text;
    EXPECT_EQ(tmModule[sess].load()->mask.load(), c.sessMask) << c.text;
  }
  EXPECT_EQ(tmModule[sessx].load()->mask.load(), 0u);
  EXPECT_EQ(tm_setAsciiLevel("sessx=3"), 1);
  EXPECT_EQ(tmModule[sessx].load()->mask.load(), 3u);
  EXPECT_EQ(tm_setAsciiLevel(nullptr), 0);
}

TEST_F(TraceFile, FullFileGetsOneTruncationLineThenNothing) {
  {
    std::ofstream(file_) << std::string(1024, 'x');
  }
  start(1);
  tm_output(file_.c_str(), 1, 0);
  giTmLogFileMaxSize = 1024;
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x10);
  TM_TRACE(h, 0x10, "src/sinit", "first\n");
  const std::string expected = std::string(1024, 'x') + "================ LOG FILE TRUNCATED ================\n";
  EXPECT_EQ(trace(), expected);
  TM_TRACE(h, 0x10, "src/sinit", "second\n");
  _tm_dumpHex(h, 0x10, "dump", "abc", 3, "src/sinit", 1, 1);
  EXPECT_EQ(trace(), expected);
}

TEST_F(TraceFile, LinesBelowTheCapAreWritten) {
  start(1);
  giTmLogFileMaxSize = 1024;
  const TmHandle h = tm_open("SESS: ", "sess");
  _tm_setFlags(h, 0);
  tm_setMask(h, 0x10);
  TM_TRACE(h, 0x10, "src/sinit", "%s\n", std::string(1100, 'y').c_str());
  TM_TRACE(h, 0x10, "src/sinit", "dropped\n");
  EXPECT_EQ(trace(), std::string(1100, 'y') + "\n================ LOG FILE TRUNCATED ================\n");
}

TEST_F(TraceFile, HexDumpRowsHaveOffsetBytesAndCharacters) {
  start(1);
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x210);
  const unsigned char data[20] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J',
                                  'K', 'L', 'M', 'N', 'O', 'P', 0x00, 0x7f, 'z', 0x80};
  _tm_dumpHex(h, 0x200, "Only time", data, 20, "src/sess/sdump", 7, 1);
  EXPECT_EQ(trace(), "");

  _tm_dumpHex(h, 0x10, "Title", data, 20, "src/sess/sdump", 7, 1);
  _tm_dumpHex(h, 0x10, "Empty", data, 0, "src/sess/sdump", 8, 1);
  _tm_setFlags(h, 0);
  _tm_dumpHex(h, 0x10, "Bare", data, 16, "src/sess/sdump", 9, 1);
  EXPECT_EQ(trace(),
            "SESS:  src/sess/sdump:7 Title\n"
            "    0: 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50   |  ABCDEFGHIJKLMNOP\n"
            "   10: 00 7f 7a 80 " +
                std::string(12 * 3, ' ') +
                "  |  ..z.\n"
                "SESS:  src/sess/sdump:8 Empty\n"
            "Bare\n"
            "    0: 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50   |  ABCDEFGHIJKLMNOP\n");
}

TEST_F(TraceFile, OverlongOutputNameKeepsThePreviousOutput) {
  start(1);
  const TmHandle h = tm_open("SESS: ", "sess");
  _tm_setFlags(h, 0);
  tm_setMask(h, 0x10);
  const std::string longName = (dir_ / std::string(600, 'n')).string();
  EXPECT_EQ(tm_output(longName.c_str(), 0, 0), 1);
  EXPECT_EQ(tm_output(nullptr, 0, 1), 1);
  TM_TRACE(h, 0x10, "src/sinit", "still here\n");
  EXPECT_EQ(std::string(sTmFileName), file_.string());
  EXPECT_EQ(bTmFileCloseAfterTrace, 0);
  EXPECT_EQ(trace(), "still here\n");
}

TEST_F(TraceFile, NamingTheSameFileAgainDoesNotEmptyIt) {
  start(1);
  const TmHandle h = tm_open("SESS: ", "sess");
  _tm_setFlags(h, 0);
  tm_setMask(h, 0x10);
  tm_output(file_.c_str(), 0, 1);  // close after every line
  TM_TRACE(h, 0x10, "src/sinit", "one\n");
  tm_output(file_.c_str(), 0, 1);
  TM_TRACE(h, 0x10, "src/sinit", "two\n");
  EXPECT_EQ(readFile(file_), "one\ntwo\n");

  // A new name is opened by the next line, emptied when append is off.
  const fs::path other = dir_ / "other.log";
  std::ofstream(other) << "old\n";
  tm_output(other.c_str(), 0, 0);
  TM_TRACE(h, 0x10, "src/sinit", "three\n");
  tm_output("", 0, 0);
  EXPECT_EQ(readFile(other), "three\n");
  EXPECT_EQ(readFile(file_), "one\ntwo\n");
}

TEST_F(TraceFile, TraceFileIsPrivateAndALinkIsNotFollowed) {
  const mode_t savedMask = umask(0);
  start(1);
  const TmHandle h = tm_open("SESS: ", "sess");
  _tm_setFlags(h, 0);
  tm_setMask(h, 0x10);
  TM_TRACE(h, 0x10, "src/sinit", "private\n");
  umask(savedMask);
  struct stat st {};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const fs::path target = dir_ / "target.log";
  const fs::path link = dir_ / "link.log";
  std::ofstream(target) << "kept\n";
  fs::create_symlink(target, link);
  tm_output(link.c_str(), 1, 0);
  testing::internal::CaptureStderr();
  TM_TRACE(h, 0x10, "src/sinit", "not through the link\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "not through the link\n");
  EXPECT_EQ(readFile(target), "kept\n");
}

TEST_F(TraceFile, PrintAddrAcceptsBufferNumbersZeroToNineOnly) {
  int x = 0;
  char expected[32];
  std::snprintf(expected, sizeof expected, "%p", static_cast<void*>(&x));
  for (int32_t n = 0; n <= 9; ++n) EXPECT_STREQ(_tm_printAddr(&x, n), expected) << n;
  EXPECT_NE(_tm_printAddr(&x, 0), _tm_printAddr(&x, 9));
  EXPECT_STREQ(_tm_printAddr(&x, 10), "TM: invalid buffer number");
  EXPECT_STREQ(_tm_printAddr(&x, -1), "TM: invalid buffer number");
  EXPECT_STREQ(_tm_printAddr(&x, INT32_MIN), "TM: invalid buffer number");
}

std::vector<std::pair<uint32_t, std::string>> gHookLines;
void recordHook(uint32_t bits, const char* text) { gHookLines.emplace_back(bits, text); }

TEST_F(TraceFile, LineHookGetsTheComposedLineInsteadOfTheFile) {
  EnvGuard tz("TZ", "UTC");
  tzset();
  ClockSteer clock;
  clock.set(741476948, 123456);
  start(1);
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x210);
  EXPECT_EQ(tm_register(64, nullptr), 0);
  EXPECT_EQ(tm_register(0, recordHook), 0);
  ASSERT_EQ(tm_register(128, recordHook), 1);
  gHookLines.clear();
  tm_traceSite(h, 0x10, "src/sinit", 12, "n=%d", 4);
  tm_traceSite(h, 0x210, "src/sinit", 13, "stamped");
  _tm_setFlags(h, 1);
  tm_traceSite(h, 0x10, "src/sinit", 14, "%s", std::string(200, 'z').c_str());
  ASSERT_EQ(gHookLines.size(), 3u);
  EXPECT_EQ(gHookLines[0], std::make_pair(0x10u, std::string("SESS:  sinit:12 n=4")));
  EXPECT_EQ(gHookLines[1],
            std::make_pair(0x210u, std::string("SESS:  sinit:13 stamped\tTIMESTAMP=(123 ms) Wed Jun 30 21:49:08 1993\n")));
  EXPECT_EQ(gHookLines[2].second, "sinit:14 " + std::string(127 - 9, 'z'));
  EXPECT_EQ(trace(), "");
  tzset();
}

// The configuration header, in a working directory of its own with a main
// configuration file and a schema folder.
class ConfigHeader : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    char tmpl[] = "/tmp/tmhdrXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    savedCwd_ = fs::current_path();
    fs::current_path(dir_);
    fs::create_directories(dir_ / "schema");
    std::ofstream("mirodel.ini") << "[COMMON]\nqv_root=/opt/q\nSchemapath=" << (dir_ / "schema").string()
                                 << "\n";
    std::ofstream(dir_ / "schema/qvdrd.ini") << "[DRD]\nsales=1\n";
    std::ofstream(dir_ / "schema/qvinfo.ini") << "[INFO]\nk=v\n";
    gMirodelConfig_Found = 0;
    savedCap_ = giTmLogFileMaxSize;
    bConfigInfoTraced = 0;
    giTmTraceTruncationMessage = 1;
  }
  void TearDown() override {
    tm_shutdown();
    tm_output("", 0, 0);
    giTmLogFileMaxSize = savedCap_;
    bConfigInfoTraced = 0;
    fs::current_path(savedCwd_);
    fs::remove_all(dir_);
    gMirodelConfig_Found = 0;
    RecordSetTest::TearDown();
  }
  fs::path dir_;
  fs::path savedCwd_;
  int32_t savedCap_ = 0;
};

TEST_F(ConfigHeader, WrittenOnceBeforeTheFirstQualifyingLine) {
  EnvGuard ini("MIRODEL_INI", nullptr);
  EnvGuard home("HOME", nullptr);
  EnvGuard shlib("SHLIB_PATH", nullptr);
  EnvGuard cls("CLASSPATH", "/j/a.jar");
  ASSERT_EQ(tm_init(2), 1);
  giTmLogFileMaxSize = 0;
  tm_output("trace.log", 0, 0);
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x9);

  EXPECT_EQ(tm_traceConfigInfo(0), 1);  // masks within 0xf, bits 0: not yet
  EXPECT_EQ(bConfigInfoTraced, 0);
  tm_setMask(h, 0x18);
  TM_TRACE(h, 0x8, "src/sinit", "first\n");
  TM_TRACE(h, 0x8, "src/sinit", "second\n");
  tm_traceConfigInfo(0xf);
  tm_output("", 0, 0);

  const std::string text = readFile(dir_ / "trace.log");
  const std::string schema = (dir_ / "schema").string() + "/";
  const std::string expectedHead =
      "Product Version: 1.0.0.0\n"
      "MIRODEL_INI Configuration file: <./mirodel.ini>\n"
      "Platform: ILINUX\n"
      "Architecture: 64-bit\n"
      "Build: Unicode\n"
      "\n**********Contents of file:<./mirodel.ini>*********\n"
      "[COMMON]\nqv_root=/opt/q\nSchemapath=" +
      (dir_ / "schema").string() + "\n" + std::string(56, '*') + "\n" +
      "\n**********Contents of file:<" + schema + "qvdrd.ini>*********\n[DRD]\nsales=1\n" + std::string(56, '*') +
      "\n" + "\n**********Contents of file:<" + schema + "qvinfo.ini>*********\n[INFO]\nk=v\n" +
      std::string(56, '*') + "\n" + "\n**********Environment Variables  *********\nMIRODEL_INI = <NOT_SET>\n";
  EXPECT_EQ(text.substr(0, expectedHead.size()), expectedHead);
  EXPECT_NE(text.find("\nSHLIB_PATH = <NOT_SET>\nCLASSPATH = </j/a.jar>\nODBCINI = <"), std::string::npos);
  EXPECT_EQ(count(text, "Product Version"), 1u);
  EXPECT_EQ(count(text, "**********Environment Variables  *********"), 1u);
  const size_t first = text.find("first\n");
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(text.find(std::string(56, '*') + "\n", text.find("Environment Variables")), first);
  EXPECT_NE(text.find("second\n"), std::string::npos);
}

TEST_F(ConfigHeader, ModuleMaskBeyondTheLowClassesAlsoTriggersIt) {
  ASSERT_EQ(tm_init(1), 1);
  giTmLogFileMaxSize = 0;
  tm_output("trace.log", 0, 0);
  const TmHandle h = tm_open("SESS: ", "sess");
  tm_setMask(h, 0x10);
  tm_traceConfigInfo(0);
  tm_output("", 0, 0);
  EXPECT_EQ(bConfigInfoTraced, 1);
  EXPECT_EQ(readFile(dir_ / "trace.log").rfind("Product Version: 1.0.0.0\n", 0), 0u);
}

// A thread without records traces the first line of a process whose modules
// 0 and 1 take every class, so the header runs its configuration lookups
// while the trace mutex is held: nothing on that road may trace again.
TEST(TmLocking, HeaderOnAThreadWithoutRecordsDoesNotTraceUnderTheLock) {
  ensureProcessMutexes();
  EXPECT_EXIT(
      {
        alarm(5);
        char tmpl[] = "/tmp/tmlockXXXXXX";
        if (mkdtemp(tmpl) == nullptr) std::_Exit(2);
        const std::string file = std::string(tmpl) + "/t.log";
        QvSetMultiThread(1);
        bConfigInfoTraced = 0;
        tm_init(2);
        giTmLogFileMaxSize = 0;
        tm_output(file.c_str(), 0, 0);
        for (const char* name : {"a", "b"}) tm_setMask(tm_open("X: ", name), 0xFFFFFFFF);
        std::thread t([] {
          TM_TRACE(0, 8, "src/x", "from a bare thread\n");
          TM_TRACEW(1, 8, "src/x", L"%ls\n", L"wide");
        });
        t.join();
        tm_output("", 0, 0);
        std::ifstream in(file);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fs::remove_all(tmpl);
        std::_Exit(all.find("from a bare thread\n") != std::string::npos &&
                           all.find("MIRODEL_INI Configuration file: <>\n") != std::string::npos
                       ? 0
                       : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(TmLocking, ConcurrentLinesAreWrittenWhole) {
  ensureProcessMutexes();
  char tmpl[] = "/tmp/tmconcXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string file = std::string(tmpl) + "/t.log";
  const int32_t savedCap = giTmLogFileMaxSize;
  bConfigInfoTraced = 1;
  ASSERT_EQ(tm_init(1), 1);
  giTmLogFileMaxSize = 0;
  tm_output(file.c_str(), 0, 0);
  const TmHandle h = tm_open("C: ", "c");
  _tm_setFlags(h, 0);
  tm_setMask(h, 0x10);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([h, t] {
      for (int i = 0; i < 200; ++i) TM_TRACE(h, 0x10, "src/c", "%d:%s\n", t, std::string(100, 'a' + t).c_str());
    });
  for (auto& t : threads) t.join();
  tm_shutdown();
  tm_output("", 0, 0);
  giTmLogFileMaxSize = savedCap;
  bConfigInfoTraced = 0;
  std::istringstream lines(readFile(fs::path(file)));
  int n = 0;
  for (std::string line; std::getline(lines, line); ++n) {
    ASSERT_EQ(line.size(), 102u) << line;
    EXPECT_EQ(line.substr(2), std::string(100, static_cast<char>('a' + (line[0] - '0'))));
  }
  EXPECT_EQ(n, 800);
  fs::remove_all(tmpl);
}

}  // namespace
