#include "src/rdaclient/rdacli_conf.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "src/acse/al_trace.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/ul_types.h"
#include "src/presentation/ps_trace.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_trace.h"
#include "src/rdaclient/clicnf.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"
#include "src/session/tp0addr.h"
#include "src/session/tpi.h"
#include "support/recordset.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> users(const RdaCliConfInfo* c) {
  std::vector<std::string> names;
  for (const RdaCliLink* l = c->users.next; l != &c->users; l = l->next)
    names.emplace_back(reinterpret_cast<const RdaUser*>(l)->name);
  return names;
}

// A record set in a temporary working directory with MIRODEL_INI and HOME
// unset; the trace table's masks and the transport globals the
// configuration sets are put back afterwards.
class ClientConf : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    for (int i = 0; i < kTraceTblModules; ++i) savedMasks_[i] = traceTBL[i].mask;
    savedPoll_ = SessPollWaitTime;
    savedKeepAlive_ = iKeepSocketAlive;
  }
  void TearDown() override {
    xm_setDefaultAlloc(XM_malloc, XM_free);
    deleteConfInfo();
    for (int i = 0; i < kTraceTblModules; ++i) traceTBL[i].mask = savedMasks_[i];
    SessPollWaitTime = savedPoll_;
    iKeepSocketAlive = savedKeepAlive_;
    RecordSetTest::TearDown();
  }
  void configure(const std::string& text) {
    std::ofstream("mirodel.ini") << "[COMMON]\nqv_root=/opt/q\n" << text;
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, "./mirodel.ini"), 1);
  }
  uint32_t mask(int row) const { return traceTBL[row].mask; }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME"};
  std::array<uint32_t, kTraceTblModules> savedMasks_{};
  int32_t savedPoll_ = 0;
  int32_t savedKeepAlive_ = 0;
};

TEST(TraceTable, FourteenModulesEndedByAnEmptyRow) {
  const struct {
    const char* prefix;
    const char* option;
    TmHandle* handle;
  } want[] = {
      {"CLI : ", "cli", &rda_cliTMHandle},   {"XM  : ", "xm", &xm_modCB},
      {"RTP : ", "rtp", &rtp_TM_handle},     {"PRES: ", "pres", &ps_TM_handle},
      {"SESS: ", "sess", &sess_TM_handle},   {"AL  : ", "al", &al_comTMHandle},
      {"RDA : ", "rda", &rda_comTMHandle},   {"SUR : ", "sur", &rda_surTMHandle},
      {"AE  : ", "ae", &rda_aeTMHandle},     {"SAO : ", "sao", &rda_saoTMHandle},
      {"SACF: ", "sacf", &rda_sacfTMHandle}, {"RASE: ", "rase", &rda_aseTMHandle},
      {"ACSE: ", "acse", &ac_aseTMHandle},   {"ALL: ", "All", &rda_AllTMHandle},
  };
  for (int i = 0; i < kTraceTblModules; ++i) {
    EXPECT_STREQ(traceTBL[i].prefix, want[i].prefix) << i;
    EXPECT_STREQ(traceTBL[i].optName, want[i].option) << i;
    EXPECT_EQ(traceTBL[i].handle, want[i].handle) << i;
  }
  EXPECT_EQ(traceTBL[kTraceTblModules].prefix, nullptr);
  EXPECT_EQ(traceTBL[kTraceTblModules].optName, nullptr);
  EXPECT_EQ(traceTBL[kTraceTblModules].handle, nullptr);
  EXPECT_EQ(traceTBL[kTraceTblModules].mask, 0u);
}

TEST_F(ClientConf, NewRecordCarriesTheBuiltInDefaults) {
  RdaCliConfInfo* c = allocConfInfo();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->error, 0u);
  EXPECT_EQ(c->tree, xm_getParentOfItem(c));
  EXPECT_EQ(c->localAE, nullptr);
  EXPECT_STREQ(c->transport, "TP4");
  EXPECT_EQ(c->numBuffers, 10u);
  EXPECT_EQ(c->bufferSize, 1024u);
  EXPECT_EQ(c->fetchBlockSize, 10u);
  EXPECT_EQ(c->traceOutput, nullptr);
  EXPECT_EQ(c->logClose, 0u);
  EXPECT_EQ(c->traceTbl, traceTBL);
  EXPECT_EQ(c->users.next, &c->users);
  EXPECT_EQ(c->users.prev, &c->users);
  EXPECT_EQ(c->userCount, 0u);
  EXPECT_EQ(c->rspTimeOut, 0u);
  const SrvrInfo& s = c->defaultServer;
  EXPECT_EQ(s.links.next, &s.links);
  EXPECT_STREQ(s.serverName, "defaultServer");
  EXPECT_EQ(s.control, 1u);
  EXPECT_EQ(s.fuMask, 236u);
  EXPECT_EQ(s.conformLevel, rda_xopenIntegrityYes);
  EXPECT_EQ(s.charSet, rda_xopenChar8859_1);
  EXPECT_EQ(s.usageMode, 1u);
  EXPECT_EQ(s.rsrcName, nullptr);
  _xm_freeTree(c->tree);
}

TEST_F(ClientConf, RecordIsFilledFromTheConfiguration) {
  configure(
      "SessPollWaitTime=9\nFETCHBLOCK_SIZE=50\nLogFileClose=1\n"
      "[CLIENT]\nport=2000\nNUM_OF_BUFFERS=7\nBUFFER_SIZE=4096\nRESPONSE_TIME_OUT=30\nTraceFile=/tmp/cli.log\n");
  SessPollWaitTime = 1000;
  iKeepSocketAlive = 0;
  uint32_t err = 77;
  ASSERT_EQ(createConfInfo(&err), 1);
  EXPECT_EQ(err, 77u) << "untouched on success";
  RdaCliConfInfo* c = QvGetRdaCliConfInfo();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(getRdaCliTLS(0)->confInfo, c);
  EXPECT_EQ(c->error, 0u);
  EXPECT_STREQ(c->transport, "TP0TCP");
  EXPECT_EQ(c->numBuffers, 7u);
  EXPECT_EQ(c->bufferSize, 4096u);
  EXPECT_EQ(c->fetchBlockSize, 50u);
  EXPECT_EQ(c->rspTimeOut, 30u);
  EXPECT_STREQ(c->traceOutput, "/tmp/cli.log");
  EXPECT_EQ(c->logClose, 1u);
  EXPECT_EQ(users(c), (std::vector<std::string>{"qvclient", "qvclient"}));
  EXPECT_EQ(c->userCount, 2u);
  EXPECT_NE(reinterpret_cast<RdaUser*>(c->users.next)->name, reinterpret_cast<RdaUser*>(c->users.prev)->name)
      << "each user has its own copy";
  EXPECT_STREQ(c->defaultServer.serverName, "");
  EXPECT_STREQ(c->defaultServer.rsrcName, "");
  EXPECT_EQ(c->defaultServer.control, 1u);
  EXPECT_EQ(c->defaultServer.fuMask, 236u);
  EXPECT_EQ(c->defaultServer.conformLevel, rda_xopenIntegrityYes);
  EXPECT_EQ(c->defaultServer.usageMode, 1u);
  ASSERT_NE(c->localAE, nullptr);
  EXPECT_EQ(c->localAE->pAddress.tSel.length, 2u);
  EXPECT_EQ(c->localAE->pAddress.tSel.octets[0], 0x07);
  EXPECT_EQ(c->localAE->pAddress.tSel.octets[1], 0xD0);
  EXPECT_EQ(c->localAE->apTitle.objId.count, 5u);
  EXPECT_EQ(xm_getParentOfItem(c->localAE), c->tree);
  EXPECT_EQ(SessPollWaitTime, 9);
  EXPECT_EQ(iKeepSocketAlive, 1);
}

TEST_F(ClientConf, SecondFillAppendsTwoMoreUsers) {
  configure("");
  uint32_t err = 0;
  ASSERT_EQ(createConfInfo(&err), 1);
  ASSERT_EQ(RDA_cliIniParse(), 0);
  EXPECT_EQ(QvGetRdaCliConfInfo()->userCount, 4u);
  EXPECT_EQ(users(QvGetRdaCliConfInfo()).size(), 4u);
}

TEST_F(ClientConf, TraceMasksFromTheTraceClientSection) {
  configure(
      "[TraceClient]\nCLI=ERRORS|MAJOR_EV\nSESS=MAX\nXM=MAX_PLUS\nRDA=errors\nAL=FATAL | SNO\n"
      "ACSE=INFO|TIMESTAMP|TRIVIA\nSUR=\nALL=F_TRACE|PARM|MINOR_EV\n");
  traceTBL[6].mask = 0x40;  // RDA
  traceTBL[7].mask = 0x80;  // SUR
  uint32_t err = 0;
  ASSERT_EQ(createConfInfo(&err), 1);
  EXPECT_EQ(mask(0), 0x18u);    // CLI
  EXPECT_EQ(mask(1), 0xffffu);  // XM
  EXPECT_EQ(mask(4), 0x2ffu);   // SESS
  EXPECT_EQ(mask(5), 0x3u);     // AL
  EXPECT_EQ(mask(6), 0x40u) << "no word matches: unchanged";
  EXPECT_EQ(mask(7), 0x80u) << "empty value: unchanged";
  EXPECT_EQ(mask(12), 0x340u);  // ACSE
  EXPECT_EQ(mask(13), 0xa4u);   // ALL
  for (int row : {2, 3, 8, 9, 10, 11}) EXPECT_EQ(mask(row), 0x3u) << row;
}

TEST_F(ClientConf, WithoutTheTraceClientSectionEveryMaskIsFatalAndSno) {
  configure("[CLIENT]\nport=1\n");
  for (int i = 0; i < kTraceTblModules; ++i) traceTBL[i].mask = 0x100;
  uint32_t err = 0;
  ASSERT_EQ(createConfInfo(&err), 1);
  for (int i = 0; i < kTraceTblModules; ++i) EXPECT_EQ(mask(i), 0x3u) << i;
}

TEST_F(ClientConf, MissingClientEntryFailsWithNoLocalEntity) {
  configure("[CLIENT]\nport=\n");
  uint32_t err = 0;
  EXPECT_EQ(createConfInfo(&err), 0);
  EXPECT_EQ(err, 52504u);
  EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr) << "the record is deleted";
}

void* failingAlloc(size_t) { return nullptr; }

TEST_F(ClientConf, NoMemoryFailsWithNoResource) {
  configure("");
  uint32_t err = 0;
  ASSERT_EQ(createConfInfo(&err), 1);
  xm_setDefaultAlloc(failingAlloc, XM_free);
  EXPECT_EQ(RDA_cliIniParse(), 1);
  EXPECT_EQ(QvGetRdaCliConfInfo()->error, 52481u);
  EXPECT_EQ(createConfInfo(&err), 0);
  EXPECT_EQ(err, 52481u);
  EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr);
}

TEST_F(ClientConf, RecordBelongsToTheThreadThatMadeIt) {
  configure("");
  uint32_t err = 0;
  ASSERT_EQ(createConfInfo(&err), 1);
  RdaCliConfInfo* mine = QvGetRdaCliConfInfo();
  ASSERT_NE(mine, nullptr);
  RdaCliConfInfo* other = mine;
  std::thread([&other] { other = QvGetRdaCliConfInfo(); }).join();
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(createConfInfo(&err), 1);
  EXPECT_NE(QvGetRdaCliConfInfo(), nullptr);
  EXPECT_EQ(users(QvGetRdaCliConfInfo()).size(), 2u) << "a new record replaces the old one";
}

TEST(TraceMaskWords, ParsedExactlyAndOredIn) {
  const struct {
    const char* text;
    uint32_t start;
    uint32_t result;
  } cases[] = {
      {"FATAL|SNO", 0, 0x3},
      {"ERRORS|MAJOR_EV", 0, 0x18},
      {"FATAL | SNO", 0, 0x3},
      {"  PARM\tINFO  ", 0, 0x44},
      {"MAX", 0, 0x2ff},
      {"MAX_PLUS", 0, 0xffff},
      {"TIMESTAMP||F_TRACE|", 0, 0x280},
      {"errors|Fatal", 0, 0},
      {"FATALX|XFATAL|FATA", 0, 0},
      {"SNO", 0x100, 0x102},
      {"", 0x55, 0x55},
      {"FATAL_FATAL_FATAL_FATAL_|SNO", 0, 0x2},
      {"MINOR_EV|TRIVIA", 0, 0x120},
  };
  for (const auto& c : cases) {
    uint32_t m = c.start;
    EXPECT_EQ(parseTraceMask(c.text, &m), 0) << c.text;
    EXPECT_EQ(m, c.result) << c.text;
  }
  uint32_t m = 9;
  EXPECT_EQ(parseTraceMask(nullptr, &m), 1);
  EXPECT_EQ(m, 9u);
}

}  // namespace
