// The client's stack start-up and shut-down: the configuration it reads,
// its trace output, the server list and users it keeps, the statement
// options, and that a stop (or a failed start) leaves nothing behind, so
// that the next start on the same thread works.
#include "src/rdaclient/rdacli_init.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "src/rda/rda_ae.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_sur.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_options.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/session/sessiontls.h"
#include "src/session/systemtls.h"
#include "src/session/tp0tcp.h"
#include "support/sandbox.h"
#include "support/stack.h"
#include "support/xm_count.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t openFiles() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

// A record set for the test's thread with XM counted, in a configuration
// sandbox; the stack is stopped at the end if a test left it running.
class ClientStartup : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    savedQuiet_ = giQuietMode;
    giQuietMode = 1;
  }
  void TearDown() override {
    if (running_) stop();
    gRdaCliStackOps = &kRdaCliStackOps;
    giQuietMode = savedQuiet_;
    XmCountTest::TearDown();
  }
  // The sandbox configuration, with error traces of the client on.
  void configure(const std::string& client = "", const std::string& traceClient = "CLI=ERRORS|SNO|FATAL",
                 const std::string& common = "") {
    StackConfig c;
    c.serverPort = 7000;
    c.extraCommon = common;
    ini_ = writeStackConfig(sandbox_.dir(), c);
    std::ofstream(ini_, std::ios::app) << client << "[TraceClient]\n" << traceClient << "\n";
    setenv("MIRODEL_INI", ini_.c_str(), 1);
  }
  bool start(int32_t mode = RDA_CLI_MODE_FIRST) {
    err_ = 0;
    running_ = RDA_cliDuvikInit(&err_, mode) == 1;
    return running_;
  }
  void stop() {
    RDA_cliDuvikTerm(RDA_CLI_MODE_FIRST);
    running_ = false;
    ASSERT_NE(xm_init(), nullptr) << "the stop shut the thread's XM down";
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  std::string ini_;
  uint32_t err_ = 0;
  bool running_ = false;
  int32_t savedQuiet_ = 0;
};

TEST_F(ClientStartup, WithoutConfigurationFileTheDefaultsApply) {
  ASSERT_TRUE(start()) << err_;
  const RdaCliConfInfo* c = QvGetRdaCliConfInfo();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->fetchBlockSize, 100u);
  EXPECT_EQ(c->numBuffers, 20u);
  EXPECT_EQ(c->bufferSize, 10240u);
  EXPECT_EQ(c->rspTimeOut, 3600u);
  EXPECT_EQ(giRdaStmtOptimizeLevel, 73);
  EXPECT_EQ(QvGetStpParams()->tpduSize, 2048u);
  EXPECT_EQ(QvGetStpParams()->listenQLen, 0);
  EXPECT_EQ(QvGetStpParams()->addressSelection, 0u);
  const SrvrInfo& s = c->defaultServer;
  EXPECT_STREQ(s.serverName, "");
  EXPECT_STREQ(s.rsrcName, "");
  EXPECT_EQ(s.control, 1u);
  EXPECT_EQ(s.fuMask, 236u);
  EXPECT_EQ(s.conformLevel, rda_xopenIntegrityYes);
  EXPECT_EQ(s.charSet, rda_xopenChar8859_1);
  EXPECT_EQ(s.usageMode, 1u);
  EXPECT_NE(sQLStateTBL, nullptr);
  EXPECT_NE(QvGetRdaSrvrList(), nullptr);
  EXPECT_EQ(RDA_cliGetServer(nullptr, nullptr), &c->defaultServer);
}

TEST_F(ClientStartup, ConfiguredValuesReachTheStack) {
  configure("tpduSize=8192\nAddressSelection=3\nNUM_OF_BUFFERS=7\nBUFFER_SIZE=4096\n", "CLI=FATAL",
            "RdaStmtOptimizeLevel=9\n");
  ASSERT_TRUE(start()) << err_;
  EXPECT_TRUE(fs::equivalent(gpLumaroInitFile, ini_));
  EXPECT_EQ(QvGetStpParams()->tpduSize, 8192u);
  EXPECT_EQ(QvGetStpParams()->addressSelection, 3u);
  EXPECT_EQ(QvGetRdaCliConfInfo()->numBuffers, 7u);
  EXPECT_EQ(getSystemTLS(0)->bufferSize, 4096);
  EXPECT_EQ(giRdaStmtOptimizeLevel, 9);
  EXPECT_EQ(gQvPaddress.sSel.length, QvGetRdaCliConfInfo()->localAE->pAddress.sSel.length);
  EXPECT_EQ(getRdaCliTLS(0)->accessPoint.ssap.len, gQvPaddress.sSel.length);
}

TEST_F(ClientStartup, StartupTraceGoesToDefaultTraceOutputUntilAFileIsConfigured) {
  const fs::path startFile = sandbox_.dir() / "start.log";
  setenv("DEFAULT_TRACE_OUTPUT", startFile.c_str(), 1);
  configure();
  ASSERT_TRUE(start()) << err_;
  stop();
  std::string text = readFile(startFile);
  EXPECT_NE(text.find("starting the RDA client stack, mode 0"), std::string::npos) << text;
  EXPECT_NE(text.find("RDA client stack started, mode 0"), std::string::npos) << "no file configured: it stays";

  const fs::path cliFile = sandbox_.dir() / "cli.log";
  fs::remove(startFile);
  configure("TraceFile=" + cliFile.string() + "\n");
  ASSERT_TRUE(start()) << err_;
  stop();
  text = readFile(startFile);
  EXPECT_NE(text.find("starting the RDA client stack, mode 0"), std::string::npos) << text;
  EXPECT_EQ(text.find("RDA client stack started"), std::string::npos) << text;
  EXPECT_NE(readFile(cliFile).find("RDA client stack started, mode 0"), std::string::npos);
}

TEST_F(ClientStartup, OverlongDefaultTraceOutputIsNotUsed) {
  const std::string longName = (sandbox_.dir() / std::string(600, 'n')).string();
  setenv("DEFAULT_TRACE_OUTPUT", longName.c_str(), 1);
  configure();
  ASSERT_TRUE(start()) << err_;
  EXPECT_STREQ(gszRdaCliStartupTrace, "qvstart.log");
  stop();
  const std::string text = readFile(sandbox_.dir() / "qvstart.log");
  EXPECT_NE(text.find("starting the RDA client stack"), std::string::npos);
}

TEST_F(ClientStartup, ServerListUsersAndStatementOptions) {
  configure();
  ASSERT_TRUE(start()) << err_;
  RdaSrvrList* list = QvGetRdaSrvrList();
  SrvrInfo* s = RDA_cliGetServer(kStackResource, nullptr);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->rsrcName, kStackResource);
  EXPECT_EQ(RDA_cliGetServer("RDATEST", nullptr), s) << "names compare without regard to case";
  EXPECT_EQ(list->count, 1u);
  EXPECT_EQ(s->control, 1u);
  EXPECT_EQ(s->fuMask, 236u);
  EXPECT_EQ(s->usageMode, 1u);
  EXPECT_NE(RDA_cliGetServer("elsewhere", "ADDRESS=127.0.0.1;PORT=9"), nullptr) << "not in qvdrd.ini";
  EXPECT_EQ(list->count, 2u);
  EXPECT_EQ(RDA_cliGetServer("", nullptr), nullptr);
  EXPECT_EQ(RDA_cliGetServer(std::string(256, 'r').c_str(), nullptr), nullptr);
  EXPECT_EQ(list->count, 2u);
  EXPECT_EQ(RDA_addDbResource("ELSEWHERE", nullptr), 1);
  EXPECT_EQ(list->count, 2u);
  EXPECT_EQ(withBudget(0, [] { return RDA_addDbResource("third", nullptr); }), 0);
  EXPECT_EQ(list->count, 2u) << "no half-made entry is linked";
  EXPECT_EQ(list->error, RDA_ERR_NO_RESOURCE);

  EXPECT_STREQ(RDA_cliGetUser(1), "qvclient");
  EXPECT_STREQ(RDA_cliGetUser(2), "qvclient");
  EXPECT_STREQ(RDA_cliGetUser(3), "user3");
  EXPECT_EQ(RDA_cliGetUser(5), nullptr) << "one user is added at a time";
  EXPECT_STREQ(RDA_cliGetUser(4), "user4");
  EXPECT_EQ(RDA_cliGetUser(0), nullptr);

  RDA_CliHSTMT stmt{};
  stmt.tag = RDA_CLI_TAG_HSTMT;
  EXPECT_EQ(rda_cliSetStmtOption(&stmt, 0, 5), -2) << "not a live block";
  ASSERT_EQ(RDA_cliLinkBlock(&stmt), 1);
  EXPECT_EQ(rda_cliSetStmtOption(&stmt, 0, 5), 0);
  EXPECT_EQ(rda_cliSetStmtOption(&stmt, 1, 77), 0);
  EXPECT_EQ(rda_cliSetStmtOption(&stmt, 1001, 9), 0);
  EXPECT_EQ(stmt.optionFlags, RDA_CLI_STMT_UNIQUEROW);
  EXPECT_EQ(rda_cliSetStmtOption(&stmt, 1001, 0), 0);
  EXPECT_EQ(stmt.optionFlags, 0u);
  EXPECT_EQ(rda_cliSetStmtOption(&stmt, 2, 1), -1);
  uint32_t v = 0;
  EXPECT_EQ(rda_cliGetStmtOption(&stmt, 0, &v), 0);
  EXPECT_EQ(v, 5u);
  EXPECT_EQ(rda_cliGetStmtOption(&stmt, 1, &v), 0);
  EXPECT_EQ(v, 77u);
  EXPECT_EQ(rda_cliGetStmtOption(&stmt, 1001, &v), -1);
  EXPECT_EQ(rda_cliGetStmtOption(&stmt, 0, nullptr), -1);
  RDA_cliUnlinkBlock(&stmt);
  EXPECT_EQ(rda_cliGetStmtOption(&stmt, 0, &v), -2);
  EXPECT_EQ(rda_cliSetStmtOption(nullptr, 0, 1), -2);
  stop();
  EXPECT_NE(readFile(sandbox_.dir() / "qvstart.log").find("*** rda_cliSetStmtOption: invalid option:2"),
            std::string::npos);
}

TEST_F(ClientStartup, StopLeavesNothingAndTheNextStartWorks) {
  configure();
  const size_t files = openFiles();
  ASSERT_TRUE(start()) << err_;
  stop();
  EXPECT_EQ(openFiles(), files) << "no socket or file left open";
  EXPECT_EQ(sQLStateTBL, nullptr);
  EXPECT_EQ(tmNumModules.load(), 0);
  for (int i = 0; i < kTraceTblModules; ++i) EXPECT_EQ(*traceTBL[i].handle, -1) << i;
  EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr);
  EXPECT_EQ(QvGetRdaSrvrList(), nullptr);
  const SystemTLS* sys = getSystemTLS(0);
  EXPECT_TRUE(sys->timerQueue.next == nullptr || sys->timerQueue.next == &sys->timerQueue) << "no timer left";
  EXPECT_EQ(sys->poolTree, nullptr) << "the pool is released";
  EXPECT_EQ(xmLive(), 0);

  ASSERT_TRUE(start()) << "a second start on the same thread: " << err_;
  stop();
  EXPECT_EQ(xmLive(), 0);
}

// The layers' entries with one of them failing.
int32_t failActivate(const SSAPaddr*, SsIndication) {
  QvSetSessionError(S_SSAP_IN_USE);
  return 0;
}
int32_t failAe() {
  QvSetOsiError(52541);
  return 0;
}
int32_t failDeactivate(const SSAPaddr*) { return 0; }
int32_t failAeTerm() {
  QvSetOsiError(52538);
  return 0;
}
const RdaCliStackOps kFailActivate = {failActivate, s_deactivate, rda_aeInit, rda_surInit, rda_aeTerm, rda_surTerm};
const RdaCliStackOps kFailAe = {s_activate, s_deactivate, failAe, rda_surInit, rda_aeTerm, rda_surTerm};
const RdaCliStackOps kFailSur = {s_activate, s_deactivate, rda_aeInit, failAe, rda_aeTerm, rda_surTerm};
const RdaCliStackOps kFailDeactivate = {s_activate, failDeactivate, rda_aeInit, rda_surInit, rda_aeTerm, rda_surTerm};
const RdaCliStackOps kFailAeTerm = {s_activate, s_deactivate, rda_aeInit, rda_surInit, failAeTerm, rda_surTerm};
int32_t alreadyDeactivated(const SSAPaddr*) { return 1; }
const RdaCliStackOps kDeactivated = {s_activate, alreadyDeactivated, rda_aeInit, rda_surInit, rda_aeTerm,
                                     rda_surTerm};

TEST_F(ClientStartup, FailedStartUndoesItselfSoTheNextStartWorks) {
  configure();
  const fs::path traceFile = sandbox_.dir() / "qvstart.log";
  const size_t files = openFiles();
  struct Case {
    const char* what;
    const RdaCliStackOps* ops;
    uint32_t err;
    const char* trace;
  };
  const Case cases[] = {
      {"step 15", &kFailActivate, S_SSAP_IN_USE, "*** RDA_cliDuvikInit: can't activate session"},
      {"step 17, AE", &kFailAe, 52541, "*** RDA_cliDuvikInit: can't initialize AE, osi_errno="},
      {"step 17, SUR", &kFailSur, 52541, "*** RDA_cliDuvikInit: can't initialize SUR, osi_errno="},
  };
  for (const Case& c : cases) {
    gRdaCliStackOps = c.ops;
    EXPECT_FALSE(start()) << c.what;
    EXPECT_EQ(err_, c.err) << c.what;
    EXPECT_NE(readFile(traceFile).find(c.trace), std::string::npos) << c.what;
    EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr) << c.what;
    EXPECT_EQ(rda_surUcbQueue(), nullptr) << c.what;
    EXPECT_EQ(sQLStateTBL, nullptr) << c.what;
    EXPECT_EQ(xmLive(), 0) << c.what;
    gRdaCliStackOps = &kRdaCliStackOps;
    ASSERT_TRUE(start()) << c.what << ": the next start, " << err_;
    stop();
    EXPECT_EQ(openFiles(), files) << c.what;
  }
}

TEST_F(ClientStartup, FailingStopStepStopsTheStopWithItsTrace) {
  configure();
  const fs::path traceFile = sandbox_.dir() / "qvstart.log";
  struct Case {
    const RdaCliStackOps* ops;
    const char* trace;
  };
  for (const Case& c : {Case{&kFailDeactivate, "*** RDA_cliDuvikTerm: can't deactivate session"},
                        Case{&kFailAeTerm, "*** RDA_cliDuvikTerm: can't terminate AE, osi_errno="}}) {
    ASSERT_TRUE(start()) << err_;
    gRdaCliStackOps = c.ops;
    RDA_cliDuvikTerm(RDA_CLI_MODE_FIRST);
    EXPECT_NE(QvGetRdaCliConfInfo(), nullptr) << c.trace << ": the stop went no further";
    EXPECT_NE(rda_surUcbQueue(), nullptr) << c.trace;
    EXPECT_NE(readFile(traceFile).find(c.trace), std::string::npos) << c.trace;
    // Again from where it stopped: the session user went before the
    // entity failed, so only what follows is still up.
    gRdaCliStackOps = c.ops == &kFailAeTerm ? &kDeactivated : &kRdaCliStackOps;
    stop();
    gRdaCliStackOps = &kRdaCliStackOps;
    EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr);
    EXPECT_EQ(xmLive(), 0);
  }
}

}  // namespace
