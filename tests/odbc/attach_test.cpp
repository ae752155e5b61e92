// Driver start-up: what it reads from the configuration, the search for the
// configuration file, SQLAllocEnv's tries and a start-up tried again. Each
// start-up runs in a child process of its own.
#include "src/odbc/lmoinit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/qvmutexes.h"
#include "driver_fixture.h"
#include "src/odbc/connstr.h"
#include "src/odbc/lmoerr.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/qvinfo.h"
#include "support/recordset.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace {

class Attach : public ::testing::Test {
 protected:
  // mirodel.ini in the sandbox with these [JDBC] lines (and others), named
  // by MIRODEL_INI; the trace file beside it.
  void writeConfig(const std::string& jdbc, const std::string& common = "") {
    std::ofstream(sandbox_.dir() / "mirodel.ini") << "[COMMON]\n" << common << "[JDBC]\nTraceFile=" << traceFile()
                                                  << "\n" << jdbc;
    setenv("MIRODEL_INI", (sandbox_.dir() / "mirodel.ini").c_str(), 1);
  }
  std::string traceFile() const { return (sandbox_.dir() / "calls.log").string(); }
  void useSandboxForSharedConfig() {
    tmpDir_ = (sandbox_.dir() / "shared").string();
    fs::create_directories(tmpDir_);
    gpcQvTmpConfigDir = tmpDir_.c_str();
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID"};
  std::string tmpDir_;
};

TEST_F(Attach, WithoutConfigurationTheDefaultsHold) {
  useSandboxForSharedConfig();
  inChild([] {
    ASSERT_EQ(initODBC(), 1);
    EXPECT_TRUE(QvOdbcAttached());
    EXPECT_EQ(gi8BitChar, 1);
    EXPECT_STREQ(gszSubProtocol, "Varenta");
    EXPECT_STREQ(gpcTraceFile, "qvjdbc.log");
    EXPECT_STREQ(gsJDBCErrorMessagePrefix, "[Quenlow][Varenta JDBC]");
    ASSERT_NE(htrJDBC, nullptr);
    ASSERT_NE(htrODBC, nullptr);
    EXPECT_EQ(htrJDBC->mask, 1u);
    EXPECT_EQ(htrODBC->mask, 0u);
    EXPECT_EQ(JDBCTrace, 0);
    EXPECT_EQ(ODBCTrace, 0);
    EXPECT_EQ(QvFetchSize, 100);
    EXPECT_EQ(QvIsMultiThreaded(), 1);
    EXPECT_NE(hSerializeMutex, nullptr);
    EXPECT_NE(gSQLStateTable, nullptr);
    EXPECT_NE(MainTLS.lmo, nullptr);
    EXPECT_EQ(MainTLS.lmo->ownerThreadId, QvGetThreadId());
    EXPECT_EQ(glMainThreadId, QvGetThreadId());
  });
}

TEST_F(Attach, JdbcSectionSetsTraceLevelsAndSettings) {
  struct Case {
    std::string jdbc;
    std::string common;
    uint64_t jdbcMask, odbcMask;
    int32_t jdbcTrace, odbcTrace, eightBit, fetch;
    std::string subProtocol;
  };
  const Case cases[] = {
      {"TraceOptions=5\nCLITraceOptions=5\n", "", 1, 0, 1, 1, 1, 100, "Varenta"},
      {"TraceOptions=1\nCLITraceOptions=2\n8BitChar=0\n", "FETCHBLOCK_SIZE=0\n", 63, 255, 1, 1, 0, 20, "Varenta"},
      {"TraceOptions=3\nCLITraceOptions=3\nURLSubProtocol=  abc  \n", "FETCHBLOCK_SIZE=7\n", 1023, 1023, 1, 1, 1, 7,
       "abc"},
  };
  for (const Case& c : cases) {
    writeConfig(c.jdbc, c.common);
    inChild([&] {
      ASSERT_EQ(initODBC(), 1);
      EXPECT_EQ(htrJDBC->mask, c.jdbcMask) << c.jdbc;
      EXPECT_EQ(htrODBC->mask, c.odbcMask) << c.jdbc;
      EXPECT_EQ(JDBCTrace, c.jdbcTrace);
      EXPECT_EQ(ODBCTrace, c.odbcTrace);
      EXPECT_EQ(gi8BitChar, c.eightBit);
      EXPECT_EQ(QvFetchSize, c.fetch);
      EXPECT_EQ(gszSubProtocol, c.subProtocol);
      EXPECT_EQ(gpcTraceFile, traceFile());
    });
  }
}

TEST(BlankStrip, CutsBothEndsInPlace) {
  char narrow[] = "  abc  ";
  EXPECT_STREQ(lmo_blank_stripA(narrow), "abc");
  wchar_t wide[] = L"   x y ";
  EXPECT_STREQ(lmo_blank_strip(wide), L"x y");
  char blanks[] = "   ";
  EXPECT_STREQ(lmo_blank_stripA(blanks), "");
  EXPECT_EQ(lmo_blank_stripA(nullptr), nullptr);
}

// The shared directory's file is tried last, and only when nobody else can
// have written it.
class ConfigSearch : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    shared_ = sandbox_.dir() / "shared";
    fs::create_directories(shared_);
    tmp_ = shared_.string();
    gpcQvTmpConfigDir = tmp_.c_str();
  }
  void TearDown() override {
    gpcQvTmpConfigDir = "/tmp";
    RecordSetTest::TearDown();
  }
  std::string found() {
    QvCheckForMirodelConfig();
    char path[QV_PATH_SIZE] = "";
    qv_getInfo(QV_INFO_INIFILE, 0, path, sizeof path, -1);
    return path;
  }
  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID"};
  fs::path shared_;
  std::string tmp_;
};

TEST_F(ConfigSearch, SharedDirectoryFileIsFoundLast) {
  const fs::path file = shared_ / "mirodel.ini";
  std::ofstream(file) << "[COMMON]\n";
  fs::permissions(file, fs::perms(0644));
  EXPECT_EQ(found(), file.string());

  const fs::path home = sandbox_.dir() / "home";
  fs::create_directories(home);
  std::ofstream(home / "mirodel.ini") << "[COMMON]\n";
  setenv("HOME", home.c_str(), 1);
  qv_setInfo(QV_INFO_INIFILE, 0, "nowhere/mirodel.ini");
  EXPECT_EQ(found(), (home / "mirodel.ini").string()) << "the home directory comes first";
}

TEST_F(ConfigSearch, SharedDirectoryFileOthersMayWriteIsRefused) {
  const fs::path file = shared_ / "mirodel.ini";
  std::ofstream(file) << "[COMMON]\n";
  fs::permissions(file, fs::perms(0666));
  EXPECT_NE(found(), file.string());
  fs::permissions(file, fs::perms(0620));
  EXPECT_NE(found(), file.string());

  fs::remove(file);
  const fs::path real = sandbox_.dir() / "real.ini";
  std::ofstream(real) << "[COMMON]\n";
  fs::permissions(real, fs::perms(0644));
  fs::create_symlink(real, file);
  EXPECT_NE(found(), file.string()) << "a link anyone may have planted";
}

// A stack whose application entity cannot start.
int32_t failingAeInit() { return 0; }
const RdaCliStackOps kFailAeInit = [] {
  RdaCliStackOps ops = kRdaCliStackOps;
  ops.aeInit = failingAeInit;
  return ops;
}();

TEST_F(Attach, AllocEnvRunsStartUpUntilAnEnvironmentIsMade) {
  writeConfig("TraceOptions=2\nCLITraceOptions=2\n");
  useSandboxForSharedConfig();
  inChild([&] {
    SQLHENV env = nullptr;
    EXPECT_EQ(SQLFetch(nullptr), SQL_ERROR) << "nothing before a start-up";
    gRdaCliStackOps = &kFailAeInit;
    EXPECT_EQ(SQLAllocEnv(&env), SQL_ERROR) << "no environment: its stack does not start";
    EXPECT_EQ(SQLAllocEnv(&env), SQL_ERROR);
    EXPECT_EQ(gLmoShareVars, nullptr);
    EXPECT_EQ(countLines(traceFile(), "DLL_PROCESS_ATTACH"), 2);
    EXPECT_EQ(countLines(traceFile(), "lmoAllocEnv() returned error. Driver initialization was not successful."), 2);
    EXPECT_EQ(iQvOdbcInitFlag, 0);

    gRdaCliStackOps = &kRdaCliStackOps;
    EXPECT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    ASSERT_NE(gLmoShareVars, nullptr);
    EXPECT_EQ(env, gLmoShareVars);
    EXPECT_EQ(gLmoShareVars->odbcVersion, 3);
    EXPECT_NE(gLmoShareVars->rdaEnv, nullptr);
    EXPECT_EQ(iQvOdbcInitFlag, 1);
    lmoAddError(&gLmoShareVars->errors, 0, 0, nullptr);
    SQLHENV again = nullptr;
    EXPECT_EQ(SQLAllocEnv(&again), SQL_SUCCESS);
    EXPECT_EQ(again, env);
    EXPECT_EQ(gLmoShareVars->errors.count, 0u) << "emptied";
    EXPECT_EQ(countLines(traceFile(), "DLL_PROCESS_ATTACH"), 3) << "no start-up once one made the environment";
    EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
    EXPECT_EQ(SQLAllocEnv(&again), SQL_SUCCESS);
    EXPECT_EQ(again, env) << "freeing leaves the one environment";
    SQLHDBC dbc = nullptr;
    EXPECT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS) << "and it serves";
    EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLAllocEnv(nullptr), SQL_INVALID_HANDLE);
    // The start-up set is found by its records' own id, its cache slots
    // carry 0.
    EXPECT_EQ(MainTLS.lmo->ownerThreadId, QvGetThreadId());
    EXPECT_EQ(MainTLS.xm->cacheSlot->threadId.load(), 0u);
    EXPECT_EQ(countLines(traceFile(), "Wide characters at the ODBC interface: 4-byte wchar_t"), 1);
    // The start-up's steps in their order, then the environment's.
    std::ifstream in(traceFile());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t wide = text.find("Wide characters at the ODBC interface");
    const size_t attach = text.find("DLL_PROCESS_ATTACH");
    const size_t init = text.find("DRIVER INITIALIZATION");
    const size_t noEnv = text.find("lmoAllocEnv() returned error");
    EXPECT_LT(wide, attach);
    EXPECT_LT(attach, init);
    EXPECT_LT(init, noEnv);
    EXPECT_NE(noEnv, std::string::npos);
  });
}

TEST_F(Attach, NullStatementIsOneTracedError) {
  writeConfig("CLITraceOptions=1\n");
  useSandboxForSharedConfig();
  inChild([&] {
    ASSERT_EQ(initODBC(), 1);
    const int before = countLines(traceFile(), "Could not find TLS");
    EXPECT_EQ(SQLFetch(nullptr), SQL_ERROR);
    EXPECT_EQ(countLines(traceFile(), "Could not find TLS for 0 stmt"), before + 1);
  });
}

// A start-up tried again after one that failed half-way makes only what is
// missing: what the first made may be in use already.
TEST_F(Attach, StartUpTriedAgainKeepsWhatExists) {
  useSandboxForSharedConfig();
  inChild([] {
    ASSERT_EQ(QvCreateMutexes(), 1);
    QvDestroyMutex(hSerializeSessionMutex);
    hSerializeSessionMutex = nullptr;
    const QvMutexHandle lmoMutex = hSerializeLmoMutex;
    ASSERT_EQ(initXmTLS(), 1);
    XmTLS* xm = getXmTLS(0);
    ASSERT_EQ(initODBC(), 1);
    EXPECT_EQ(hSerializeLmoMutex, lmoMutex);
    EXPECT_NE(hSerializeSessionMutex, nullptr);
    EXPECT_EQ(MainTLS.xm, xm) << "the thread's record is kept, none is made beside it";
    const QvMutexHandle driverMutex = hSerializeMutex;
    const TrHandle odbc = htrODBC;
    LmoTLS* lmo = MainTLS.lmo;
    ASSERT_EQ(initODBC(), 1);
    EXPECT_EQ(hSerializeMutex, driverMutex);
    EXPECT_EQ(htrODBC, odbc);
    EXPECT_EQ(MainTLS.lmo, lmo);
  });
}

TEST_F(Attach, ThreadReasonsOnlyTraceAndDetachUndoesTheStartUp) {
  writeConfig("TraceOptions=2\n");
  useSandboxForSharedConfig();
  inChild([&] {
    EXPECT_EQ(jdbcDllInit(nullptr, kQvThreadAttach), 1);
    EXPECT_EQ(jdbcDllInit(nullptr, 9), 1);
    ASSERT_EQ(initODBC(), 1);
    EXPECT_EQ(jdbcDllInit(nullptr, kQvThreadAttach), 1);
    EXPECT_EQ(jdbcDllInit(nullptr, kQvThreadDetach), 1);
    EXPECT_EQ(countLines(traceFile(), "***************************DLL_THREAD_ATTACH***************************"), 1);
    EXPECT_EQ(countLines(traceFile(), "***************************DLL_THREAD_DETACH***************************"), 1);
    EXPECT_EQ(exitODBC(), 1);
    EXPECT_EQ(countLines(traceFile(), "DLL_PROCESS_DETACH"), 1);
    EXPECT_FALSE(QvOdbcAttached());
    EXPECT_EQ(hSerializeMutex, nullptr);
    EXPECT_EQ(gSQLStateTable, nullptr);
    EXPECT_EQ(gLmoTLS.getOwn(0, false), nullptr);
  });
}

}  // namespace
