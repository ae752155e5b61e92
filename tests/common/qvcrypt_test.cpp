#include "common/qvcrypt.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "src/runtime/qvinfo.h"
#include "src/runtime/tm.h"
#include "support/recordset.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The file a loaded library came from.
std::string pathOf(void* lib) {
  link_map* map = nullptr;
  if (lib == nullptr || dlinfo(lib, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return "";
  return map->l_name;
}

// The file the loader finds for `name`, or "" when there is none.
std::string systemLibrary(const char* name) {
  void* lib = dlopen(name, RTLD_LAZY);
  const std::string path = pathOf(lib);
  if (lib != nullptr) dlclose(lib);
  return path;
}

// A working directory with a main configuration file whose qv_root is
// <dir>/root, and the trace manager writing every line of module 0, bare,
// into <dir>/trace.log.
class Crypt : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    char tmpl[] = "/tmp/qvcryptXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    root_ = dir_ / "root";
    fs::create_directories(root_);
    savedCwd_ = fs::current_path();
    fs::current_path(dir_);
    if (const char* v = std::getenv("MIRODEL_INI")) savedIni_ = v;
    unsetenv("MIRODEL_INI");
    gMirodelConfig_Found = 0;
    gEncrypt = 0;
    savedCap_ = giTmLogFileMaxSize;
    bConfigInfoTraced = 1;
    ASSERT_EQ(tm_init(1), 1);
    giTmLogFileMaxSize = 0;
    tm_output((dir_ / "trace.log").c_str(), 0, 0);
    tm_ = tm_open("", "crypt");
    ASSERT_EQ(tm_, 0);
    _tm_setFlags(tm_, 0);
    tm_setMask(tm_, 0xFFFFFFFF);
  }
  void TearDown() override {
    qvcrypt_exit(-1);
    gEncrypt = 0;
    tm_shutdown();
    tm_output("", 0, 0);
    giTmLogFileMaxSize = savedCap_;
    bConfigInfoTraced = 0;
    fs::current_path(savedCwd_);
    if (savedIni_) setenv("MIRODEL_INI", savedIni_->c_str(), 1);
    fs::remove_all(dir_);
    gMirodelConfig_Found = 0;
    RecordSetTest::TearDown();
  }
  // Writes mirodel.ini; `mode` empty leaves EncryptionPackage out.
  void configure(const std::string& mode, const std::string& root = "") {
    std::ofstream ini("mirodel.ini");
    ini << "[COMMON]\nqv_root=" << (root.empty() ? root_.string() : root) << "\n";
    if (!mode.empty()) ini << "EncryptionPackage=" << mode << "\n";
  }
  // The wrapper's own lines (the configuration lookup's are left out).
  std::string trace() {
    tm_output("", 0, 0);
    std::istringstream all(readFile(dir_ / "trace.log"));
    tm_output((dir_ / "trace.log").c_str(), 1, 0);
    std::string text;
    for (std::string line; std::getline(all, line);)
      if (line.rfind("qv_getInfo", 0) != 0) text += line + "\n";
    return text;
  }
  void clearTrace() {
    tm_output("", 0, 0);
    fs::remove(dir_ / "trace.log");
    tm_output((dir_ / "trace.log").c_str(), 0, 0);
  }
  fs::path installPath() { return root_ / "bin/ilinux/libcrypto.so"; }

  fs::path dir_;
  fs::path root_;
  fs::path savedCwd_;
  std::optional<std::string> savedIni_;
  int32_t savedCap_ = 0;
  TmHandle tm_ = -1;
};

TEST_F(Crypt, ModeMissingOrZeroLoadsNothingAndWrappersAnswerOff) {
  for (const std::string mode : {"", "0"}) {
    configure(mode);
    EXPECT_EQ(qvcrypt_init(tm_), 1) << mode;
    EXPECT_EQ(qvcrypt_getmode(), 0);
    EXPECT_EQ(hCryptoLib, nullptr);
    EXPECT_EQ(trace(),
              "qvcrypt_init() called \nqvcrypt_init(): Mode=0 \nqvcrypt_init() return: Status = 1\n");
    clearTrace();
  }
  QvCipherCtx* ctx = nullptr;
  unsigned char out[32];
  int32_t n = -7;
  const unsigned char in[4] = {1, 2, 3, 4};
  EXPECT_EQ(qvcrypt_CIPHER_CTX_init(&ctx), 1);
  EXPECT_EQ(ctx, nullptr);
  EXPECT_EQ(qvcrypt_EncryptInit_ex(ctx), 1);
  EXPECT_EQ(qvcrypt_DecryptInit_ex(ctx), 1);
  EXPECT_EQ(qvcrypt_EncryptUpdate(ctx, out, &n, in, 4), 0);
  EXPECT_EQ(qvcrypt_DecryptUpdate(ctx, out, &n, in, 4), 0);
  EXPECT_EQ(qvcrypt_EncryptFinal_ex(ctx, out, &n), 0);
  EXPECT_EQ(qvcrypt_DecryptFinal_ex(ctx, out, &n), 0);
  EXPECT_EQ(n, -7);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(&ctx), 1);
}

TEST_F(Crypt, RefusedModesFailWithTheirTrace) {
  const struct {
    const char* mode;
    const char* error;
  } cases[] = {
      {"2", "qvcrypt_init() Error - Window ecnryption not supported on non-windows platforms\n"},
      {"3", "qvcrypt_init() Error - Invalid encryption mode 3\n"},
      {"-1", "qvcrypt_init() Error - Invalid encryption mode -1\n"},
  };
  for (const auto& c : cases) {
    configure(c.mode);
    clearTrace();
    EXPECT_EQ(qvcrypt_init(tm_), 0) << c.mode;
    EXPECT_EQ(qvcrypt_getmode(), std::atoi(c.mode));
    EXPECT_EQ(hCryptoLib, nullptr);
    EXPECT_EQ(trace(), std::string("qvcrypt_init() called \nqvcrypt_init(): Mode=") + c.mode + " \n" + c.error +
                           "qvcrypt_init() return: Status = 0\n");
  }
  // Exit after the failed start (mode -1 has both low bits) closes nothing.
  clearTrace();
  EXPECT_EQ(qvcrypt_exit(tm_), 1);
  EXPECT_EQ(trace(),
            "qvcrypt_exit() calledqvcrypt_exit_windows() called\n"
            "qvcrypt_exit_windows() return: Status = 1\n"
            "qvcrypt_exit_openssl() called\n"
            "qvcrypt_exit_openssl() return: Status = 1\n"
            "qvcrypt_exit() return: Status = 1\n");
}

TEST_F(Crypt, AppendBinPathUsesTheGivenSize) {
  configure("0", "/opt/q");
  char out[64] = "?";
  const std::string expected = "/opt/q/bin/ilinux/libcrypto.so";
  EXPECT_EQ(QvAppendBinPath("libcrypto.so", out, sizeof out), 1);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(QvAppendBinPath("libcrypto.so", out, static_cast<int32_t>(expected.size() + 1)), 1);
  EXPECT_EQ(QvAppendBinPath("libcrypto.so", out, static_cast<int32_t>(expected.size())), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(QvAppendBinPath("libcrypto.so", out, 0), 0);
  EXPECT_EQ(QvAppendBinPath(nullptr, out, sizeof out), 0);
}

TEST_F(Crypt, RootTooLongForTheInstallPathSkipsThatAttempt) {
  const std::string longRoot = "/" + std::string(500, 'r');
  configure("1", longRoot);
  char out[512];
  EXPECT_EQ(QvAppendBinPath("libcrypto.so", out, sizeof out), 0);
  EXPECT_EXIT(
      {
        const int32_t r = qvcrypt_init(tm_);
        const std::string text = trace();
        std::_Exit(text.find("install binary folder") == std::string::npos &&
                           (r == 1) == (text.find("Unable to load") == std::string::npos)
                       ? 0
                       : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Crypt, LibraryStagedInTheInstallFolderIsLoadedFromThere) {
  const std::string system = systemLibrary("libcrypto.so.3");
  if (system.empty()) GTEST_SKIP() << "no libcrypto.so.3 on this machine";
  fs::create_directories(installPath().parent_path());
  fs::copy_file(system, installPath());
  configure("1");
  // In a child: the copy is a second libcrypto beside the system one.
  EXPECT_EXIT(
      {
        const int32_t r = qvcrypt_init(tm_);
        const std::string text = trace();
        const std::string expected =
            "qvcrypt_init() called \nqvcrypt_init(): Mode=1 \nqvcrypt_init_openssl() called\n"
            "qvcrypt_init_openssl(): Check for crypto lib in install binary folder. Library Path:<" +
            installPath().string() +
            "> \n"
            "qvcrypt_init_openssl() return: Status=1 \nqvcrypt_init() return: Status = 1\n";
        std::_Exit(r != 1 ? 1 : pathOf(hCryptoLib) != installPath().string() ? 2 : text != expected ? 3 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Crypt, LibraryWithoutTheCipherEntriesIsAFailedLoad) {
  const std::string other = systemLibrary("libm.so.6");
  if (other.empty()) GTEST_SKIP() << "no libm.so.6 on this machine";
  fs::create_directories(installPath().parent_path());
  fs::copy_file(other, installPath());
  configure("1");
  EXPECT_EXIT(
      {
        const int32_t r = qvcrypt_init(tm_);
        const std::string text = trace();
        const bool traced = text.find("qvcrypt_init_openssl(): Unable to load libcrypto.so \n"
                                      "qvcrypt_init() return: Status = 0\n") != std::string::npos;
        QvCipherCtx* ctx = nullptr;
        std::_Exit(r != 0 ? 1 : hCryptoLib != nullptr ? 2 : !traced ? 3 : qvcrypt_CIPHER_CTX_init(&ctx) != 0 ? 4 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

// The cipher through the system's libcrypto: loaded from the system path
// when the install folder has none.
class SystemCrypt : public Crypt {
 protected:
  void SetUp() override {
    Crypt::SetUp();
    if (systemLibrary("libcrypto.so.3").empty() && systemLibrary("libcrypto.so").empty())
      GTEST_SKIP() << "no libcrypto on this machine";
    configure("1");
    ASSERT_EQ(qvcrypt_init(tm_), 1);
  }
  std::vector<unsigned char> encrypt(const std::vector<unsigned char>& plain) {
    std::vector<unsigned char> out(plain.size() + 32);
    int32_t n1 = 0;
    int32_t n2 = 0;
    EXPECT_EQ(qvcrypt_EncryptUpdate(enc_, out.data(), &n1, plain.data(), static_cast<int32_t>(plain.size())), 1);
    EXPECT_EQ(qvcrypt_EncryptFinal_ex(enc_, out.data() + n1, &n2), 1);
    EXPECT_EQ(qvcrypt_EncryptInit_ex(enc_), 1);  // the next unit starts a new stream
    out.resize(static_cast<size_t>(n1 + n2));
    return out;
  }
  QvCipherCtx* enc_ = nullptr;
  QvCipherCtx* dec_ = nullptr;
};

TEST_F(SystemCrypt, LoadsFromTheSystemPathAfterTheInstallFolder) {
  const std::string text = trace();
  EXPECT_NE(text.find("Check for crypto lib in install binary folder. Library Path:<" + installPath().string() +
                      "> \ndlerror = "),
            std::string::npos);
  EXPECT_NE(text.find("qvcrypt_init_openssl(): Check for crypto lib in system path. File:<libcrypto.so> \n"),
            std::string::npos);
  EXPECT_NE(hCryptoLib, nullptr);
  clearTrace();
  EXPECT_EQ(qvcrypt_exit(tm_), 1);
  EXPECT_EQ(hCryptoLib, nullptr);
  EXPECT_EQ(trace(),
            "qvcrypt_exit() calledqvcrypt_exit_openssl() called\n"
            "qvcrypt_exit_openssl() return: Status = 1\n"
            "qvcrypt_exit() return: Status = 1\n");
  // Still mode 1, but nothing bound any more: the wrappers fail cleanly.
  QvCipherCtx* ctx = nullptr;
  EXPECT_EQ(qvcrypt_CIPHER_CTX_init(&ctx), 0);
  EXPECT_EQ(qvcrypt_EncryptInit_ex(reinterpret_cast<QvCipherCtx*>(&ctx)), 0);
}

TEST_F(SystemCrypt, ExitWhileAContextIsOpenKeepsTheLibraryUntilItIsGivenBack) {
  ASSERT_EQ(qvcrypt_CIPHER_CTX_init(&enc_), 1);
  ASSERT_EQ(qvcrypt_EncryptInit_ex(enc_), 1);
  EXPECT_EQ(qvcrypt_exit(tm_), 1);
  EXPECT_NE(hCryptoLib, nullptr) << "the open context still needs libcrypto";
  EXPECT_EQ(encrypt(std::vector<unsigned char>(100, 7)).size(), 112u) << "and still works";
  // A new start meanwhile keeps the library for good.
  ASSERT_EQ(qvcrypt_init(tm_), 1);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(&enc_), 1);
  EXPECT_NE(hCryptoLib, nullptr);
  // The last context given back after an exit takes the library with it.
  ASSERT_EQ(qvcrypt_CIPHER_CTX_init(&enc_), 1);
  ASSERT_EQ(qvcrypt_CIPHER_CTX_init(&dec_), 1);
  EXPECT_EQ(qvcrypt_exit(tm_), 1);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(&enc_), 1);
  EXPECT_NE(hCryptoLib, nullptr);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(&dec_), 1);
  EXPECT_EQ(hCryptoLib, nullptr);
  EXPECT_EQ(dec_, nullptr);
}

TEST_F(SystemCrypt, HundredOctetUnitMatchesOpensslEnc) {
  if (std::system("command -v openssl >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl program";
  std::vector<unsigned char> plain(100);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i * 7 + 3);
  ASSERT_EQ(qvcrypt_CIPHER_CTX_init(&enc_), 1);
  ASSERT_NE(enc_, nullptr);
  ASSERT_EQ(qvcrypt_EncryptInit_ex(enc_), 1);
  const std::vector<unsigned char> cipher = encrypt(plain);
  ASSERT_EQ(cipher.size(), 112u);

  std::ofstream(dir_ / "plain.bin", std::ios::binary).write(reinterpret_cast<const char*>(plain.data()), 100);
  std::string key;
  for (unsigned char b : __gQvCrypt__) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", b);
    key += hex;
  }
  const std::string cmd = "openssl enc -aes-128-ecb -K " + key + " -nosalt -in '" + (dir_ / "plain.bin").string() +
                          "' -out '" + (dir_ / "openssl.bin").string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  const std::string theirs = readFile(dir_ / "openssl.bin");
  EXPECT_EQ(std::string(cipher.begin(), cipher.end()), theirs);

  // The same unit again gives the same octets; and it deciphers back.
  EXPECT_EQ(encrypt(plain), cipher);
  ASSERT_EQ(qvcrypt_CIPHER_CTX_init(&dec_), 1);
  ASSERT_EQ(qvcrypt_DecryptInit_ex(dec_), 1);
  std::vector<unsigned char> back(cipher.size() + 16);
  int32_t n1 = 0;
  int32_t n2 = 0;
  ASSERT_EQ(qvcrypt_DecryptUpdate(dec_, back.data(), &n1, cipher.data(), static_cast<int32_t>(cipher.size())), 1);
  ASSERT_EQ(qvcrypt_DecryptFinal_ex(dec_, back.data() + n1, &n2), 1);
  back.resize(static_cast<size_t>(n1 + n2));
  EXPECT_EQ(back, plain);

  // A context is reset in place by a second init, and freed by cleanup.
  QvCipherCtx* same = enc_;
  EXPECT_EQ(qvcrypt_CIPHER_CTX_init(&enc_), 1);
  EXPECT_EQ(enc_, same);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(&enc_), 1);
  EXPECT_EQ(enc_, nullptr);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(&dec_), 1);
}

TEST_F(SystemCrypt, BadArgumentsAndCorruptCiphertextFailCleanly) {
  unsigned char out[64];
  int32_t n = 0;
  const unsigned char in[16] = {};
  EXPECT_EQ(qvcrypt_CIPHER_CTX_init(nullptr), 0);
  EXPECT_EQ(qvcrypt_EncryptInit_ex(nullptr), 0);
  ASSERT_EQ(qvcrypt_CIPHER_CTX_init(&dec_), 1);
  EXPECT_EQ(qvcrypt_DecryptUpdate(dec_, out, &n, in, 16), 0);  // not initialised for a direction yet
  ASSERT_EQ(qvcrypt_DecryptInit_ex(dec_), 1);
  EXPECT_EQ(qvcrypt_DecryptUpdate(dec_, out, &n, nullptr, 16), 0);
  EXPECT_EQ(qvcrypt_DecryptUpdate(dec_, out, &n, in, -1), 0);
  EXPECT_EQ(qvcrypt_DecryptUpdate(dec_, out, nullptr, in, 16), 0);
  // Sixteen zero octets are not a padded block under our key.
  ASSERT_EQ(qvcrypt_DecryptUpdate(dec_, out, &n, in, 16), 1);
  EXPECT_EQ(qvcrypt_DecryptFinal_ex(dec_, out + n, &n), 0);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(&dec_), 1);
  EXPECT_EQ(qvcrypt_CIPHER_CTX_cleanup(nullptr), 0);
}

}  // namespace
