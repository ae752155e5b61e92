// The client's stack start-up against rdapeer: the first instance of the
// process (mode 0) associates with the peer through the event engine, a
// connection's own instance (mode 1) starts and stops beside it on another
// thread, and the first then associates again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "src/acse/gidu_queue.h"
#include "src/odbc/alltls.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/ul_names.h"
#include "src/runtime/xm.h"
#include "support/cli_diag.h"
#include "support/peer_process.h"
#include "support/stack.h"

namespace {

// The records of one record set on the calling thread, with `ini` as its
// configuration file.
class RecordSet {
 public:
  explicit RecordSet(const std::string& ini) {
    ok_ = QvCreateAllTLS() == 1 && xm_init() != nullptr && qv_setInfo(QV_INFO_INIFILE, 0, ini.c_str()) == 1;
  }
  ~RecordSet() { QvRemoveAllTLS(); }
  RecordSet(const RecordSet&) = delete;
  RecordSet& operator=(const RecordSet&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

std::string octetsOf(const OctStgV& o) { return std::string(reinterpret_cast<const char*>(o.octets), o.length); }

class ClientStartupPeer : public StackTest {};

// Associates, initialises a dialogue and releases; "" or what failed.
std::string dialogue(StackClient& c) {
  if (!c.associate()) return "no association: " + lastDiag(c.conn.errors).state;
  static uint8_t suffix[] = {0x7F, 0, 0, 1};
  const OctStgV dlg{sizeof suffix, suffix};
  const OctStgV data{24, reinterpret_cast<uint8_t*>(const_cast<char*>("KVO_RDA_CLIENT,1,0,,V1  "))};
  GIDU* init =
      rda_createSQLInitReq(c.conn.tmpl, 1, &dlg, "scott", nullptr, nullptr, 0xFE, rda_xopenIntegrityYes, &data);
  GIDU* cnf = c.call(init);
  const bool initialised = cnf != nullptr && cnf->event == RDA_INIT_CNF;
  al_deleteGidu(cnf);
  if (!initialised) return "no R-Initialize confirm";
  if ((c.conn.state & RDA_CLI_ST_DIALOGUE) == 0) return "the confirm's handler did not run";
  RDA_cliSendEvent(rda_createRelReq(c.conn.tmpl, nullptr), RDA_CLI_SEND_WAIT);
  if (c.conn.state != 0) return "not released";
  return "";
}

TEST_F(ClientStartupPeer, FirstInstanceAssociatesAndAConnectionInstanceStartsBesideIt) {
  PeerProcess peer(sandbox_.dir() / "peer", {});
  ASSERT_GT(peer.port(), 0);
  StackConfig config;
  config.serverPort = peer.port();
  const std::string ini = writeStackConfig(sandbox_.dir(), config);

  RecordSet records(ini);
  ASSERT_TRUE(records.ok());
  uint32_t err = 0;
  ASSERT_EQ(RDA_cliDuvikInit(&err, RDA_CLI_MODE_FIRST), 1) << err;
  {
    StackClient c;
    ASSERT_TRUE(c.activate());
    EXPECT_EQ(dialogue(c), "");

    // A connection's own instance on a thread of its own.
    std::thread([&] {
      RecordSet own(ini);
      ASSERT_TRUE(own.ok());
      uint32_t e = 0;
      ASSERT_EQ(RDA_cliDuvikInit(&e, RDA_CLI_MODE_CONNECTION), 1) << e;
      const RdaCliTLS* t = getRdaCliTLS(0);
      const UL_Paddress& local = t->confInfo->localAE->pAddress;
      EXPECT_EQ(octetsOf(local.sSel), octetsOf(gQvPaddress.sSel)) << "the process's presentation address";
      EXPECT_EQ(octetsOf(local.pSel), octetsOf(gQvPaddress.pSel));
      EXPECT_NE(local.sSel.octets, gQvPaddress.sSel.octets) << "a copy of its own";
      EXPECT_EQ(t->accessPoint.ssap.len, gQvPaddress.sSel.length) << "its own access point";
      RDA_cliDuvikTerm(RDA_CLI_MODE_CONNECTION);
      EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr);
    }).join();

    EXPECT_EQ(dialogue(c), "") << "the first instance associates again";
    RDA_cliSendEvent(rda_createDeactivateReq(&c.env.tmpl), RDA_CLI_SEND_WAIT);
    EXPECT_EQ(c.env.flags & RDA_CLI_ENV_ACTIVATED, 0u);
  }
  RDA_cliDuvikTerm(RDA_CLI_MODE_FIRST);
  EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr) << "the stop ran to its end";
  EXPECT_EQ(peer.stop(), 0);
}

}  // namespace
