#include "src/session/osicfg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <unistd.h>

namespace {

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

std::optional<std::string> lookup(const char* name, const char* key) {
  std::unique_ptr<char, FreeDeleter> v(get_osi_cfg_value(name, key));
  if (!v) return std::nullopt;
  return std::string(v.get());
}

// Runs each test in a scratch directory with OSID as the test sets it;
// the working directory and OSID are put back afterwards.
class OsiCfg : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    savedCwd_ = cwd;
    if (const char* v = std::getenv("OSID")) savedOsid_ = v;
    char tmpl[] = "/tmp/osicfgXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    unsetenv("OSID");
  }
  void TearDown() override {
    ASSERT_EQ(chdir(savedCwd_.c_str()), 0);
    if (savedOsid_) setenv("OSID", savedOsid_->c_str(), 1);
    else unsetenv("OSID");
    std::remove((dir_ + "/osid.cfg").c_str());
    std::remove((dir_ + "/named.cfg").c_str());
    rmdir(dir_.c_str());
  }
  void write(const std::string& file, const std::string& text) {
    std::ofstream(dir_ + "/" + file, std::ios::binary) << text;
  }
  // Writes the file OSID names and points OSID at it.
  void named(const std::string& text) {
    write("named.cfg", text);
    setenv("OSID", (dir_ + "/named.cfg").c_str(), 1);
  }

  std::string dir_;
  std::string savedCwd_;
  std::optional<std::string> savedOsid_;
};

TEST_F(OsiCfg, WithoutAFileThereIsNoAnswer) {
  EXPECT_EQ(lookup("TP0TCP", "tp_provider"), std::nullopt) << "OSID unset, no osid.cfg here";
  setenv("OSID", (dir_ + "/missing.cfg").c_str(), 1);
  write("osid.cfg", "TP0TCP tp_provider=local\n");
  EXPECT_EQ(lookup("TP0TCP", "tp_provider"), std::nullopt) << "OSID names the file, even a missing one";
}

TEST_F(OsiCfg, TheFileInTheCurrentDirectoryServesWhenOsidIsUnset) {
  write("osid.cfg", "TP0TCP tp_provider=local\n");
  EXPECT_EQ(lookup("TP0TCP", "tp_provider"), "local");
}

TEST_F(OsiCfg, LinesKeysAndValuesFollowTheFileSyntax) {
  struct Case {
    const char* text;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"TP0TCPX tp_provider=a\nTP0 tp_provider=b\n", std::nullopt},
      {"tp0tcp tp_provider=lower\n", std::nullopt},
      {"TP0TCP tp_provider2=x tp_provider=y\n", "y"},
      {"TP0TCP tp tp_provider=z\n", "z"},
      {"TP0TCP foo = bar tp_provider\n", ""},
      {"TP0TCP tp_provider   \n", ""},
      {"TP0TCP\nTP0TCP tp_provider=q\n", "q"},
      {"TP0TCP other=1\nTP0TCP tp_provider=second\nTP0TCP tp_provider=third\n", "second"},
      {"# TP0TCP tp_provider=x\n#TP0TCP tp_provider=x\n", std::nullopt},
      {"TP0TCP # tp_provider=x\nTP0TCP tp_provider=w\n", "w"},
      {"TP0TCP tp_provider=#v\n", ""},
      {"TP0TCP tp_provider = spaced\n", "spaced"},
      {"TP0TCP tp_provider =tight\n", "tight"},
      {"TP0TCP tp_provider= loose more\n", "loose"},
      {" \t TP0TCP\ttp_provider=tab\n", "tab"},
      {"TP0TCP =tp_provider tp_provider=after\n", "after"},
      {"TP0TCP tp_provider=last", "last"},
      {"\n\n   \n", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    named(c.text);
    EXPECT_EQ(lookup("TP0TCP", "tp_provider"), c.value) << "file: " << c.text;
  }
}

TEST_F(OsiCfg, AValueKeepsSeventyNineCharacters) {
  const std::string longValue(100, 'v');
  named("TP0TCP tp_provider=" + longValue + "\n");
  std::unique_ptr<char, FreeDeleter> v(get_osi_cfg_value("TP0TCP", "tp_provider"));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(std::string(v.get()), longValue.substr(0, kOsiCfgValueSize - 1));
}

TEST_F(OsiCfg, LinesAreReadInPiecesOf1023Characters) {
  // The piece after the first 1023 characters is a line of its own.
  named(std::string(1023, 'x') + "TP0TCP tp_provider=piece\n");
  EXPECT_EQ(lookup("TP0TCP", "tp_provider"), "piece");
  named("TP0TCP " + std::string(1100, 'a') + " tp_provider=lost\n");
  EXPECT_EQ(lookup("TP0TCP", "tp_provider"), std::nullopt);
}

TEST_F(OsiCfg, MissingNamesGiveNoAnswer) {
  named("TP0TCP tp_provider=x\n");
  EXPECT_EQ(lookup(nullptr, "tp_provider"), std::nullopt);
  EXPECT_EQ(lookup("TP0TCP", nullptr), std::nullopt);
}

TEST(OsiCfgHelpers, TokensStopAtWhiteSpaceAndLineEnds) {
  EXPECT_STREQ(skip_white_space(" \t x"), "x");
  EXPECT_EQ(skip_white_space(" \t \n y"), nullptr);
  EXPECT_EQ(skip_white_space(""), nullptr);
  EXPECT_EQ(skip_white_space(nullptr), nullptr);
  EXPECT_STREQ(scan_until_white_space("abc def"), " def");
  EXPECT_EQ(scan_until_white_space("abc\n"), nullptr);
  EXPECT_EQ(scan_until_white_space("abc"), nullptr);
  char out[4];
  copystring(out, sizeof out, "abcdef ghi");
  EXPECT_STREQ(out, "abc");
  copystring(out, sizeof out, "#x");
  EXPECT_STREQ(out, "");
  copystring(out, sizeof out, nullptr);
  EXPECT_STREQ(out, "");
}

}  // namespace
