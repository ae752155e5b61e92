#include "src/runtime/inifile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/locale.h"

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// A fresh directory for the files of one test, and the "C" locale for the
// case-insensitive compares; both are put back afterwards.
class IniFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "initestXXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0700);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string path(const std::string& name = "test.ini") const { return dir_ + "/" + name; }

  void put(const std::string& content, const std::string& name = "test.ini") const {
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    out << content;
  }

  std::string contents(const std::string& name = "test.ini") const {
    std::ifstream in(path(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    return names;
  }

  // The value as the caller sees it, and the call's result.
  std::string get(const char* section, const char* key, const char* def = "DEF", int32_t* result = nullptr,
                  const std::string& name = "test.ini") const {
    char buf[1200];
    std::memset(buf, 0x7F, sizeof buf);
    const int32_t r = GetPrivateProfileString(section, key, def, buf, sizeof buf, path(name).c_str());
    if (result != nullptr) *result = r;
    return buf;
  }

  std::string dir_;
  LocaleGuard locale_{"C"};
};

// Child-process bodies: each ends the child with 0 when the writer answered
// 0, 1 when it answered otherwise, 3 when the set-up failed.

// Writes as an unprivileged user (gives up root first, so that permissions
// apply).
[[noreturn]] void writeUnprivileged(const std::string& file) {
  if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
  std::_Exit(WritePrivateProfileString("A", "k", "2", file.c_str()) == 0 ? 0 : 1);
}

// Writes under a file size limit of `limit` bytes, so that a longer write
// fails half-way.
[[noreturn]] void writeUnderSizeLimit(const std::string& file, rlim_t limit) {
  ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim;
  lim.rlim_cur = lim.rlim_max = limit;
  if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) std::_Exit(3);
  std::_Exit(WritePrivateProfileString("B", "k", "2", file.c_str()) == 0 ? 0 : 1);
}

TEST(IniClassify, CommentLinesAreBlankOrSemicolonLinesWithBlanksOnly) {
  struct Case {
    const char* line;
    int comment;
  } cases[] = {
      {"", 1}, {"   ", 1}, {";x", 1}, {"   ; x", 1}, {"#x", 0}, {"\t;x", 0}, {"\t", 0}, {"k=v", 0}, {"\r", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IsCommentLine(c.line), c.comment) << '"' << c.line << '"';
  EXPECT_EQ(IsCommentLine(nullptr), 0);
}

TEST(IniClassify, NewSectionNeedsBracketFirstAndClosingBracketLater) {
  struct Case {
    const char* line;
    int header;
  } cases[] = {
      {"[a]", 1}, {"  [a] trailing", 1}, {"[]", 1}, {"[a", 0}, {"a[b]", 0}, {"\t[a]", 0}, {"", 0}, {"]", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IsNewSection(c.line), c.header) << '"' << c.line << '"';
  EXPECT_EQ(IsNewSection(nullptr), 0);
}

TEST(IniClassify, BlankStripCutsTrailingSpacesAndSkipsLeadingOnes) {
  char a[] = "  a b  ";
  char* s = BlankStrip(a);
  EXPECT_STREQ(s, "a b");
  EXPECT_EQ(s, a + 2);
  EXPECT_EQ(a[5], '\0');  // trailing blanks overwritten in place

  char blanks[] = "   ";
  EXPECT_STREQ(BlankStrip(blanks), "");
  char tabs[] = "\ta\t";
  EXPECT_STREQ(BlankStrip(tabs), "\ta\t");  // a tab is not a blank
  EXPECT_EQ(BlankStrip(nullptr), nullptr);
}

TEST_F(IniFile, LineReaderStopsAfterLineFeedAndLeavesTheRestUnread) {
  put("ab\ncdef\nlast");
  const int fd = ::open(path().c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char buf[8];
  EXPECT_EQ(qv_gets(buf, sizeof buf, fd), 3);
  EXPECT_STREQ(buf, "ab\n");
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 3);  // nothing read beyond the line
  EXPECT_EQ(qv_gets(buf, 4, fd), 3);       // size - 1 bytes, terminated
  EXPECT_STREQ(buf, "cde");
  EXPECT_EQ(qv_gets(buf, sizeof buf, fd), 2);
  EXPECT_STREQ(buf, "f\n");
  EXPECT_EQ(qv_gets(buf, sizeof buf, fd), 4);  // last line without its line feed
  EXPECT_STREQ(buf, "last");
  EXPECT_EQ(qv_gets(buf, sizeof buf, fd), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(qv_gets(buf, 1, fd), 0);
  EXPECT_EQ(qv_gets(nullptr, 8, fd), 0);
  ::close(fd);
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(qv_gets(buf, sizeof buf, fd), 0);  // a failing read ends the line
  EXPECT_STREQ(buf, "");
}

TEST_F(IniFile, StringValuesFollowTheFileSyntax) {
  struct Case {
    const char* what;
    std::string content;
    const char* section;
    const char* key;
    std::string value;
    int32_t result;
  } cases[] = {
      {"lower-case header matches", "[sec]\nkey=v\n", "SEC", "KEY", "v", 1},
      {"header with trailing blank", "[S] \nk=v\n", "S", "k", "DEF", 3},
      {"header with leading blank", " [S]\nk=v\n", "S", "k", "DEF", 3},
      {"leading-blank header ends the section", "[S]\n [T]\nk=v\n", "S", "k", "DEF", 3},
      {"header with trailing text ends the section", "[S]\n[T] x\nk=v\n", "S", "k", "DEF", 3},
      {"[] ends the section", "[S]\n[]\nk=v\n", "S", "k", "DEF", 3},
      {"[ without ] does not", "[S]\n[T\nk=v\n", "S", "k", "v", 1},
      {"tab-indented header does not", "[S]\n\t[T]\nk=v\n", "S", "k", "v", 1},
      {"tab before a key is kept", "[S]\n\tk=v\n", "S", "k", "DEF", 3},
      {"carriage-return line ends", "[S]\r\nk=v\r\n", "S", "k", "DEF", 3},
      {"carriage return stays in the value", "[S]\nk=v\r\n", "S", "k", "v\r", 2},
      {"blanks around key and value", "[S]\n  k  =  v w  \n", "S", "k", "v w", 3},
      {"value of blanks", "[S]\nk=   \n", "S", "k", "", 0},
      {"value holding =", "[S]\nk=a=b\n", "S", "k", "a=b", 3},
      {"first section of a name wins", "[S]\na=1\n[S]\nb=2\n", "S", "b", "DEF", 3},
      {"first key of a name wins", "[S]\nk=1\nK=2\n", "S", "k", "1", 1},
      {"comments and empty lines skipped", "[S]\n; [T]\n\n   \nk=v\n", "S", "k", "v", 1},
      {"# has no meaning", "[S]\n#k=v\n", "S", "#k", "v", 1},
      {"keys before any section not seen", "k=v\n[S]\n", "S", "k", "DEF", 3},
      {"line without = skipped", "[S]\nk\nk=v\n", "S", "k", "v", 1},
  };
  for (const auto& c : cases) {
    put(c.content);
    int32_t r = -99;
    EXPECT_EQ(get(c.section, c.key, "DEF", &r), c.value) << c.what;
    EXPECT_EQ(r, c.result) << c.what;
  }
}

TEST_F(IniFile, MissingOrUnusableFileOrArgumentsGiveTheDefault) {
  int32_t r = 0;
  EXPECT_EQ(get("S", "k", "dflt", &r, "missing.ini"), "dflt");
  EXPECT_EQ(r, 4);
  put("[S]\nk=v\n");
  EXPECT_EQ(get(nullptr, "k", "dflt", &r), "dflt");
  EXPECT_EQ(get("S", "nokey", nullptr, &r), "");  // a null default counts as empty
  EXPECT_EQ(r, 0);

  char buf[8] = "keep";
  EXPECT_EQ(GetPrivateProfileString("S", "k", "d", buf, 0, path().c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("S", "k", "d", buf, -5, path().c_str()), 0);
  EXPECT_STREQ(buf, "keep");
  EXPECT_EQ(GetPrivateProfileString("S", "k", "d", nullptr, 8, path().c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("S", "k", "d", buf, sizeof buf, nullptr), 1);
  EXPECT_STREQ(buf, "d");

  // A directory or a pipe is no file: the default, and no wait for a writer.
  EXPECT_EQ(get("S", "k", "dflt", &r, ""), "dflt");  // the directory itself
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(get("S", "k", "dflt", &r, "fifo"), "dflt");
  EXPECT_EQ(GetPrivateProfileInt("S", "k", 7, path("fifo").c_str()), 7);
}

TEST_F(IniFile, CopyIsCutToSizeMinusOneAndAlwaysTerminated) {
  put("[S]\nk=abcdef\n");
  struct Case {
    int32_t size;
    const char* def;
    const char* key;
    std::string copied;
    int32_t result;
  } cases[] = {
      {7, "", "k", "abcdef", 6},  // fits with its terminator
      {6, "", "k", "abcde", 6},   // as long as the buffer: cut, result size
      {3, "", "k", "ab", 3},
      {1, "", "k", "", 1},
      {2, "xyz", "none", "x", 2},  // the default follows the same rule
      {4, "xyz", "none", "xyz", 3},
  };
  for (const auto& c : cases) {
    char buf[16];
    std::memset(buf, 0x7F, sizeof buf);
    EXPECT_EQ(GetPrivateProfileString("S", c.key, c.def, buf, c.size, path().c_str()), c.result) << c.size;
    EXPECT_EQ(std::string(buf), c.copied) << c.size;
    for (size_t i = static_cast<size_t>(c.size); i < sizeof buf; ++i) ASSERT_EQ(buf[i], 0x7F) << "byte " << i;
  }
}

TEST_F(IniFile, LongLineIsSplitAt1023Bytes) {
  const std::string first = "a=" + std::string(1021, 'x');  // 1023 bytes
  const std::string second = "b=" + std::string(475, 'y');
  ASSERT_EQ((first + second).size(), 1500u);
  put("[S]\n" + first + second + "\nc=1\n");
  EXPECT_EQ(get("S", "a"), std::string(1021, 'x'));
  EXPECT_EQ(get("S", "b"), std::string(475, 'y'));
  EXPECT_EQ(get("S", "c"), "1");
}

TEST_F(IniFile, IntegerValuesCompareTheKeyAsWrittenAndReadLikeStrtol) {
  struct Case {
    std::string content;
    const char* key;
    int32_t expected;
  } cases[] = {
      {"[S]\nk = 5\n", "k", -1},  // blanks around = : not the key
      {"[S]\nk=5\n", "k", 5},
      {"[S]\nK=5\n", "k", 5},
      {"[S]\nk=12ab\n", "k", 12},
      {"[S]\nk=ab\n", "k", 0},
      {"[S]\nk=\n", "k", -1},  // empty value: the default
      {"[S]\nk= \n", "k", 0},  // a blank is not empty
      {"[S]\nk= -7\n", "k", -7},
      {"[S]\nk=4294967297\n", "k", 1},  // low 32 bits
      {"[s]\nk=5\n", "k", 5},
      {"[S]\r\nk=5\r\n", "k", -1},
      {"[S]\n[T]\nk=5\n", "k", -1},
      {"[S]\n;k=5\nk\n", "k", -1},
      {"[S]\nk=1\nk=2\n", "k", 1},
  };
  for (const auto& c : cases) {
    put(c.content);
    EXPECT_EQ(GetPrivateProfileInt("S", c.key, -1, path().c_str()), c.expected) << c.content;
  }
  EXPECT_EQ(GetPrivateProfileInt("S", "k", 9, path("missing.ini").c_str()), 9);
  EXPECT_EQ(GetPrivateProfileInt("T", "k", 9, path().c_str()), 9);
  EXPECT_EQ(GetPrivateProfileInt(nullptr, "k", 9, path().c_str()), 9);
  EXPECT_EQ(GetPrivateProfileInt("S", nullptr, 9, path().c_str()), 9);
}

TEST_F(IniFile, SectionListingCopiesNonCommentLinesEachTerminated) {
  put("[S]\na=1\n; note\n\nb\n[T]\nc=3\n[E]\n; only a comment\n");
  char buf[64];
  std::memset(buf, 0x7F, sizeof buf);
  EXPECT_EQ(GetPrivateProfileString("S", nullptr, "d", buf, sizeof buf, path().c_str()), 7);
  EXPECT_EQ(std::string(buf, 7), "a=1\0b\0\0"s);

  EXPECT_EQ(GetPrivateProfileString("E", nullptr, "d", buf, sizeof buf, path().c_str()), 1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(GetPrivateProfileString("X", nullptr, "d", buf, sizeof buf, path().c_str()), 1);  // no section
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(GetPrivateProfileString("S", nullptr, "dflt", buf, sizeof buf, path("none.ini").c_str()), 4);
  EXPECT_STREQ(buf, "dflt");  // no file: the default
}

TEST_F(IniFile, SectionListingNeverWritesPastTheBuffer) {
  put("[S]\na=1\nlongline\n");
  struct Case {
    int32_t size;
    std::string listed;
    int32_t result;
  } cases[] = {
      {16, "a=1\0longline\0\0"s, 14},
      {15, "a=1\0longline\0\0"s, 15},  // one byte to spare counts as full
      {14, "a=1\0longline\0\0"s, 14},  // fills the buffer exactly
      {8, "a=1\0lo\0\0"s, 8},  // the line is cut to what fits
      {5, "a=1\0\0"s, 5},
      {4, "a=\0\0"s, 4},
      {2, "\0\0"s, 2},
      {1, "\0"s, 1},
  };
  for (const auto& c : cases) {
    char buf[32];
    std::memset(buf, 0x7F, sizeof buf);
    EXPECT_EQ(GetPrivateProfileString("S", nullptr, "", buf, c.size, path().c_str()), c.result) << c.size;
    EXPECT_EQ(std::string(buf, c.listed.size()), c.listed) << c.size;
    for (size_t i = static_cast<size_t>(c.size); i < sizeof buf; ++i) ASSERT_EQ(buf[i], 0x7F) << "byte " << i;
  }
}

TEST_F(IniFile, NamesBeyondTheLimitsAreNotFound) {
  const std::string longest(iIniMaxSectionLen, 's');
  const std::string tooLong(iIniMaxSectionLen + 1, 's');
  const std::string longestKey(iIniMaxKeyLen, 'k');
  const std::string tooLongKey(iIniMaxKeyLen + 1, 'k');
  put("[" + longest + "]\n" + longestKey + "=1\n");

  EXPECT_EQ(get(longest.c_str(), longestKey.c_str()), "1");
  EXPECT_EQ(GetPrivateProfileInt(longest.c_str(), longestKey.c_str(), 5, path().c_str()), 1);
  EXPECT_EQ(get(tooLong.c_str(), "k"), "DEF");
  EXPECT_EQ(get(longest.c_str(), tooLongKey.c_str()), "DEF");
  int32_t r = 0;
  EXPECT_EQ(get(tooLong.c_str(), nullptr, "DEF", &r), "");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(GetPrivateProfileInt(tooLong.c_str(), "k", 5, path().c_str()), 5);
  EXPECT_EQ(GetPrivateProfileInt(longest.c_str(), tooLongKey.c_str(), 5, path().c_str()), 5);

  const std::string before = contents();
  EXPECT_EQ(WritePrivateProfileString(tooLong.c_str(), "k", "v", path().c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("S", tooLongKey.c_str(), "v", path().c_str()), 0);
  EXPECT_EQ(contents(), before);
  EXPECT_EQ(WritePrivateProfileString(longest.c_str(), longestKey.c_str(), "2", path().c_str()), 1);
  EXPECT_EQ(get(longest.c_str(), longestKey.c_str()), "2");
}

TEST_F(IniFile, WritingToMissingFileCreatesSectionAndKey) {
  EXPECT_EQ(WritePrivateProfileString("S", "K", "V", path().c_str()), 1);
  EXPECT_EQ(contents(), "[S]\nK=V\n");
  EXPECT_EQ(get("S", "K"), "V");
}

TEST_F(IniFile, WriterReplacesOrPlacesTheKeyLine) {
  struct Case {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  } cases[] = {
      {"empty file", "", "S", "K", "V", "[S]\nK=V\n"},
      {"replaced key keeps its place", "[A]\nk=1\nj=2\n[B]\nk=3\n", "A", "K", "9", "[A]\nK=9\nj=2\n[B]\nk=3\n"},
      {"new key after trailing comments, before next header", "[A]\nx=1\n; note\n\n[B]\ny=2\n", "A", "n", "5",
       "[A]\nx=1\n; note\n\nn=5\n[B]\ny=2\n"},
      {"key of a later section untouched", "[A]\nx=1\n[B]\nk=1\n", "A", "k", "2", "[A]\nx=1\nk=2\n[B]\nk=1\n"},
      {"new section at the end", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
      {"last line without line feed, new key", "[A]\nx=1", "A", "k", "v", "[A]\nx=1\nk=v\n"},
      {"last line without line feed, new section", "[A]\nx=1", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
      {"header is the last line", "[A]", "A", "k", "v", "[A]\nk=v\n"},
      {"line without = equal to the key is replaced", "[A]\nflag\nz=1\n", "A", "FLAG", "1",
       "[A]\nFLAG=1\nz=1\n"},
      {"only the first duplicate is replaced", "[A]\nk=1\nk=2\n", "A", "k", "3", "[A]\nk=3\nk=2\n"},
      {"key with blanks around it is replaced", "[A]\nk = 1\n", "A", "k", "2", "[A]\nk=2\n"},
      {"key with leading blanks is replaced", "[A]\n  k=1\nj=2\n", "A", "K", "3", "[A]\nK=3\nj=2\n"},
      {"section matched without case", "[a]\nk=1\n", "A", "K", "2", "[a]\nK=2\n"},
      {"only the first section of a name", "[A]\n[A]\nk=1\n", "A", "k", "2", "[A]\nk=2\n[A]\nk=1\n"},
      {"header with blank is not the section", "[A] \nk=1\n", "A", "k", "2", "[A] \nk=1\n[A]\nk=2\n"},
      {"carriage-return file gets a new section", "[A]\r\nk=1\r\n", "A", "k", "2", "[A]\r\nk=1\r\n[A]\nk=2\n"},
      {"value holding =", "[A]\nk=a=b\n", "A", "k", "c=d", "[A]\nk=c=d\n"},
      {"empty value", "[A]\nk=1\n", "A", "k", "", "[A]\nk=\n"},
      {"NUL bytes of other lines kept", "[A]\nx=a\0b\n[B]\n"s, "B", "k", "v", "[A]\nx=a\0b\n[B]\nk=v\n"s},
  };
  for (const auto& c : cases) {
    put(c.before);
    EXPECT_EQ(WritePrivateProfileString(c.section, c.key, c.value, path().c_str()), 1) << c.what;
    EXPECT_EQ(contents(), c.after) << c.what;
  }
  EXPECT_EQ(entries(), std::vector<std::string>{"test.ini"}) << "temporary files left behind";
}

// A key line written with blanks around its key is the line the string
// reader answers: the writer replaces it, so what was written is read back.
TEST_F(IniFile, WrittenKeyWithBlanksIsReadBackByBothReaders) {
  put("[A]\nk = 1\n");
  ASSERT_EQ(WritePrivateProfileString("A", "k", "2", path().c_str()), 1);
  EXPECT_EQ(get("A", "k"), "2");
  EXPECT_EQ(GetPrivateProfileInt("A", "k", 0, path().c_str()), 2);
}

TEST_F(IniFile, WriterRewritesLargeFilesWhole) {
  std::string big;
  for (int i = 0; i < 5000; ++i) big += "[S" + std::to_string(i) + "]\nkey=" + std::string(100, 'v') + "\n";
  put(big);
  ASSERT_EQ(WritePrivateProfileString("S0", "new", "1", path().c_str()), 1);
  const std::string after = contents();
  const std::string head = "[S0]\nkey=" + std::string(100, 'v') + "\n";
  EXPECT_EQ(after, head + "new=1\n" + big.substr(head.size()));
}

TEST_F(IniFile, WriterRejectsBadArgumentsWithoutTouchingTheFile) {
  put("[A]\nk=1\n");
  const std::string file = path();
  const char* p = file.c_str();
  EXPECT_EQ(WritePrivateProfileString(nullptr, "k", "v", p), 0);
  EXPECT_EQ(WritePrivateProfileString("A", nullptr, "v", p), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", nullptr, p), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", "v", nullptr), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", "v", ""), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", "v\n[B]", p), 0);
  EXPECT_EQ(WritePrivateProfileString("A\n", "k", "v", p), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k\nj", "v", p), 0);
  EXPECT_EQ(contents(), "[A]\nk=1\n");
  // A directory or a pipe is not replaced by a file.
  EXPECT_EQ(WritePrivateProfileString("A", "k", "v", dir_.c_str()), 0);
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", "v", path("fifo").c_str()), 0);
  struct stat st;
  ASSERT_EQ(::stat(path("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(IniFile, WriterKeepsTheModeOfTheFileAndGivesNewFilesTheUsualOne) {
  put("[A]\nk=1\n");
  ASSERT_EQ(::chmod(path().c_str(), 0640), 0);
  ASSERT_EQ(WritePrivateProfileString("A", "k", "2", path().c_str()), 1);
  struct stat st;
  ASSERT_EQ(::stat(path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // A new file gets what any file created with mode 0666 gets here.
  const int ref = ::open(path("ref").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  ASSERT_GE(ref, 0);
  ::close(ref);
  struct stat refSt;
  ASSERT_EQ(::stat(path("ref").c_str(), &refSt), 0);
  ASSERT_EQ(WritePrivateProfileString("A", "k", "1", path("new.ini").c_str()), 1);
  ASSERT_EQ(::stat(path("new.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, refSt.st_mode & 07777);
}

TEST_F(IniFile, WriterUpdatesTheFileASymbolicLinkNames) {
  put("[A]\nk=1\n", "real.ini");
  ASSERT_EQ(::symlink("real.ini", path("link.ini").c_str()), 0);
  ASSERT_EQ(WritePrivateProfileString("A", "k", "2", path("link.ini").c_str()), 1);
  EXPECT_TRUE(fs::is_symlink(path("link.ini")));
  EXPECT_EQ(contents("real.ini"), "[A]\nk=2\n");

  ASSERT_EQ(::symlink("nowhere.ini", path("dangling.ini").c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", "2", path("dangling.ini").c_str()), 0);
  EXPECT_TRUE(fs::is_symlink(path("dangling.ini")));
}

TEST_F(IniFile, FileThatCannotBeReadIsNeverEmptied) {
  put("[A]\nk=1\n");
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(path().c_str(), 0222), 0);  // may be written, not read
  const std::string file = path();
  EXPECT_EXIT(writeUnprivileged(file), ::testing::ExitedWithCode(0), "");
  ASSERT_EQ(::chmod(path().c_str(), 0644), 0);
  EXPECT_EQ(contents(), "[A]\nk=1\n");
}

TEST_F(IniFile, FailureToCreateTheNewFileLeavesTheOldOne) {
  put("[A]\nk=1\n");
  ASSERT_EQ(::chmod(path().c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);  // no new file can be made beside it
  const std::string file = path();
  EXPECT_EXIT(writeUnprivileged(file), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(contents(), "[A]\nk=1\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"test.ini"});
}

TEST_F(IniFile, FailedWriteLeavesTheOriginalWholeAndNoTemporaryFile) {
  const std::string original = "[A]\nk=1\n; " + std::string(200, 'c') + "\n";
  put(original);
  const std::string file = path();
  EXPECT_EXIT(writeUnderSizeLimit(file, 100), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(contents(), original);
  EXPECT_EQ(entries(), std::vector<std::string>{"test.ini"});
}

TEST_F(IniFile, ReadersDuringWritesSeeTheOldOrTheNewFileNeverAnEmptyOne) {
  put("[A]\npad=" + std::string(3000, 'p') + "\nk=1\n");
  const std::string file = path();
  std::atomic<bool> done{false};
  std::atomic<int> failedWrites{0};
  std::thread writer([&] {
    for (int i = 0; i < 100; ++i)
      if (WritePrivateProfileString("A", "k", i % 2 ? "1" : "2", file.c_str()) != 1) ++failedWrites;
    done = true;
  });
  int reads = 0;
  int wrong = 0;
  while (!done || reads < 100) {
    const std::string v = get("A", "k");
    if (v != "1" && v != "2" && wrong++ == 0) ADD_FAILURE() << "read " << reads << " gave " << v;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(failedWrites.load(), 0);
}

}  // namespace
