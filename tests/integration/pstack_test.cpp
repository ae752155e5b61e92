// Two stacks brought up by the end-to-end start-up, a server in a child
// process and a client on this thread, connect at the presentation level
// over loopback TCP: each finds its own and its peer's address in the
// sandbox directory, the P-CONNECT carries user data both ways, and an
// orderly release ends it. The client waits in the receive loop, pumping
// the real stack, for what its presentation user queues. A relay between
// them keeps the octets, which tshark reads down to the presentation PDUs.
// A server that never answers gives the waiting client its time-out.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "src/acse/ai_rcv.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/ber.h"
#include "src/asn1/ber_values.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/psyntax.h"
#include "src/presentation/users.h"
#include "src/runtime/dif.h"
#include "src/runtime/ul_names.h"
#include "src/runtime/xm.h"
#include "src/session/tp0tcp.h"
#include "support/recordset.h"
#include "support/sandbox.h"
#include "support/stack.h"
#include "support/tpkt_capture.h"

namespace {

using namespace std::chrono_literals;

// What this process's presentation user saw.
struct Seen {
  uint32_t event;
  Pmachine* pm;
  std::vector<std::string> values;
};
std::vector<Seen> gSeen;
GIDU* gQueue = nullptr;  // where the user leaves what it saw; NULL: it frees it

void* parseOctets(void*) {
  if (ber_getid(0, 4) < 0) aaRaise(AAE_MSGPARAM, "test", __LINE__);
  auto* v = static_cast<OctStgV*>(aamalloc(sizeof(OctStgV)));
  if (v == nullptr) aaRaise(AAE_NOMEM, "test", __LINE__);
  ber_getoctv(v);
  return v;
}
int64_t formatOctets(void* v) { return ber_addid(0, 4, ber_addoctv(static_cast<OctStgV*>(v))); }

int32_t user(GIDU* g) {
  Seen s{g->event == AL_QABORT ? AL_QABORT : static_cast<const PIDU*>(g->idu)->event,
         static_cast<Pmachine*>(g->pc), {}};
  if (g->event != AL_QABORT) {
    const auto* p = static_cast<const PIDU*>(g->idu);
    for (const DElemLink* l = p->dataList.next; l != &p->dataList; l = l->next) {
      const auto* v = static_cast<const OctStgV*>(static_cast<const DElem*>(l)->value);
      s.values.emplace_back(v != nullptr ? std::string(reinterpret_cast<const char*>(v->octets), v->length) : "");
    }
  }
  gSeen.push_back(std::move(s));
  // Each sent unit comes back as a data confirm, which nobody waits for.
  if (gQueue != nullptr && gSeen.back().event != P_DT_CNF) al_queueAppend(gQueue, g);
  else _xm_freeTree(xm_getParentOfItem(g));
  return 1;
}

const Seen* seen(uint32_t event) {
  for (const Seen& s : gSeen)
    if (s.event == event) return &s;
  return nullptr;
}

// The directory entry of `name`, in a tree of the thread's.
bool entry(const char* name, UL_AEId* out) {
  XmTree* tree = _xm_allocTree(getXmTLS(0)->rootTree);
  return tree != nullptr && dif_fetch_local(tree, name, out, nullptr) == DIF_OK;
}

// A presentation user under the P-selector of this side's own entry, with an
// abstract syntax of OCTET STRINGs in BER.
bool registerUser(const char* ownName) {
  UL_AEId own{};
  if (!entry(ownName, &own)) return false;
  const OctStgV& psel = own.pAddress.pSel;
  const uint32_t arcs[] = {1, 9, 3};
  if (p_activate(&psel, user, kPsModeNormal, 0) != 1) return false;
  const int32_t as = p_asynreg(&psel, 3, arcs, parseOctets, formatOctets, 0);
  return as == 0 && p_assoc(&psel, as, ps_asn1_tsidx) == 1;
}

GIDU* primitive(uint32_t event, Pmachine* pm, PIDU** out) {
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
  *out = static_cast<PIDU*>(g->idu);
  (*out)->event = event;
  (*out)->credit = 1;
  g->pc = pm;
  return g;
}

void element(PIDU* p, OctStgV* value) {
  auto* d = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(p), sizeof(DElem), XM_ZERO));
  p_clear_delem(d);
  d->pctxId = 1;
  d->value = value;
  d->next = &p->dataList;
  d->prev = p->dataList.prev;
  p->dataList.prev->next = d;
  p->dataList.prev = d;
}

OctStgV text(const char* s) {
  return OctStgV{static_cast<uint32_t>(std::strlen(s)), reinterpret_cast<uint8_t*>(const_cast<char*>(s))};
}

// The server: accepts one connection with "welcome", accepts its release
// and ends when the transport connection is gone. 0 when all of it went.
// A silent server takes the connection and never answers.
int serve(ChildProcess& me, const std::string& ini, bool silent) {
  StackSide side(StackSide::Role::Server, ini);
  if (!side.ok() || !registerUser("qvserver")) return 10;
  me.ready(side.port());
  if (!side.runUntil([] { return seen(P_CON_IND) != nullptr; }, 10s)) return 11;
  if (silent) {
    (void)side.runUntil([] { return getSessionTLS(0)->tp0.activeCount == 0; }, 20s);
    return 0;
  }
  const Seen ind = *seen(P_CON_IND);
  if (ind.values != std::vector<std::string>{"hello"}) return 12;
  PIDU* p = nullptr;
  GIDU* g = primitive(P_CON_ACC, ind.pm, &p);
  p->sessRequirements = SR_DUPLEX;
  OctStgV welcome = text("welcome");
  element(p, &welcome);
  if (psp(g) != 1) return 13;
  if (!side.runUntil([] { return seen(P_REL_IND) != nullptr; }, 10s)) return 14;
  g = primitive(P_REL_ACC, ind.pm, &p);
  if (psp(g) != 1) return 15;
  if (!side.runUntil([] { return getSessionTLS(0)->tp0.activeCount == 0; }, 10s)) return 16;
  return 0;
}

class PresentationStacks : public StackTest {
 protected:
  void SetUp() override {
    StackTest::SetUp();
    gSeen.clear();
  }
  void TearDown() override {
    if (gQueue != nullptr)
      while (GIDU* g = al_queueTake(gQueue)) al_deleteGidu(g);
    gQueue = nullptr;
    gSeen.clear();
    StackTest::TearDown();
  }
  // Starts the server and waits for its start-up; the configuration file.
  std::string startServer(const StackConfig& config, bool silent) {
    const std::string ini = writeStackConfig(sandbox_.dir(), config);
    server_ = std::make_unique<ChildProcess>([ini, silent](ChildProcess& me) { return serve(me, ini, silent); });
    int32_t port = 0;
    EXPECT_TRUE(server_->awaitReady(10s, &port)) << "server start-up: " << server_->wait(1s);
    EXPECT_EQ(port, config.serverPort);
    return ini;
  }
  // The client's P-CONNECT to the database resource, "hello" in context 1.
  Pmachine* connect() {
    UL_AEId peer{};
    EXPECT_TRUE(entry(kStackResource, &peer));
    PIDU* p = nullptr;
    GIDU* g = primitive(P_CON_REQ, nullptr, &p);
    p->local.pSel = PSelector{static_cast<int32_t>(peer.pAddress.pSel.length), peer.pAddress.pSel.octets};
    p->remote = peer.pAddress;
    p->transportKind = 2;
    p->sessRequirements = SR_DUPLEX;
    p->ctxDefList[1] = 0;
    element(p, &hello_);
    return p_connect(g);
  }
  // The event of the next GIDU the receive loop gives within `seconds`.
  uint32_t next(int32_t seconds) {
    int32_t status = 0;
    GIDU* g = ai_do_rcv(gQueue, seconds, &status);
    if (g == nullptr) return 0;
    const uint32_t event = g->event == AL_QABORT ? AL_QABORT : static_cast<const PIDU*>(g->idu)->event;
    al_deleteGidu(g);
    return event;
  }

  std::unique_ptr<ChildProcess> server_;
  GIDU queue_{};
  OctStgV hello_ = text("hello");
};

TEST_F(PresentationStacks, ClientAndServerConnectAndReleaseOverLoopback) {
  StackConfig config;
  config.serverPort = freeLoopbackPort();
  ASSERT_NE(config.serverPort, 0);
  // The server's process first, before the relay's thread.
  startServer(config, false);
  RecordingRelay relay;
  ASSERT_TRUE(relay.ok());
  relay.start(config.serverPort);
  config.resourcePort = relay.port();
  const std::string ini = writeStackConfig(sandbox_.dir(), config);

  StackSide client(StackSide::Role::Client, ini);
  ASSERT_TRUE(client.ok()) << client.error();
  ASSERT_TRUE(registerUser("qvclient"));
  al_selfLink(&queue_);
  gQueue = &queue_;
  Pmachine* pm = connect();
  ASSERT_NE(pm, nullptr) << QvGetOsiError();
  ASSERT_EQ(next(10), uint32_t{P_CON_CNF});
  ASSERT_NE(seen(P_CON_CNF), nullptr);
  EXPECT_EQ(seen(P_CON_CNF)->values, std::vector<std::string>{"welcome"});

  PIDU* p = nullptr;
  ASSERT_EQ(psp(primitive(P_REL_REQ, pm, &p)), 1u) << QvGetOsiError();
  EXPECT_EQ(next(10), uint32_t{P_REL_CNF});
  EXPECT_EQ(server_->wait(10s), 0);
  EXPECT_TRUE(relay.finish(5));
  const std::vector<CapturedTpkt> packets = relay.tpkts();

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  TsharkDecode how;
  how.presentation = true;
  how.fields = {"cotp.type", "ses.type"};
  const TsharkView view = decodeTpktTraffic(packets, sandbox_.dir().string(), relay.port(), how);
  ASSERT_EQ(view.error, "");
  EXPECT_EQ(view.detail.find("Malformed"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Error"), std::string::npos) << view.detail;
  EXPECT_NE(view.detail.find("CP-type"), std::string::npos) << view.detail;
  EXPECT_NE(view.detail.find("CPA-PPDU"), std::string::npos) << view.detail;
  EXPECT_EQ(view.fields,
            "0x0e;\n"    // CR
            "0x0d;\n"    // CC
            "0x0f;13\n"  // CN with the CP
            "0x0f;14\n"  // AC with the CPA
            "0x0f;9\n"   // FN
            "0x0f;10\n"  // DN
            "0x08;\n")   // DR
      << view.detail;
}

}  // namespace

namespace {

TEST_F(PresentationStacks, SilentServerGivesTheWaitingClientItsTimeOut) {
  StackConfig config;
  config.serverPort = freeLoopbackPort();
  ASSERT_NE(config.serverPort, 0);
  const std::string ini = startServer(config, true);

  StackSide client(StackSide::Role::Client, ini);
  ASSERT_TRUE(client.ok()) << client.error();
  ASSERT_TRUE(registerUser("qvclient"));
  al_selfLink(&queue_);
  gQueue = &queue_;
  ASSERT_NE(connect(), nullptr) << QvGetOsiError();
  const auto t0 = std::chrono::steady_clock::now();
  int32_t status = -7;
  EXPECT_EQ(ai_do_rcv(gQueue, 2, &status), nullptr);
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(status, 0) << "the connection is alive; the time-out ended the wait";
  EXPECT_GE(took, 1s) << "two whole seconds last at least one";
  EXPECT_LT(took, 5s);
  EXPECT_EQ(seen(P_CON_CNF), nullptr);
}

}  // namespace
