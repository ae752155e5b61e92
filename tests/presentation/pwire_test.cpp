// Two presentation users joined through the real session layer, the
// presentation layer as each side's session user: two session record sets
// on one thread over the in-memory wire, and two threads over TCP on
// 127.0.0.1 (transport class 0). They connect, send P-DATA larger than a
// pool buffer both ways, release, connect again and abort; tshark's
// dissectors read the traffic down to the presentation PDUs.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "presentation/pfixture.h"
#include "src/acse/gidu.h"
#include "src/asn1/ber.h"
#include "src/asn1/ber_values.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/plock.h"
#include "src/presentation/ps_ssu.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"
#include "support/session_wire.h"
#include "support/side_thread.h"
#include "support/thread_records.h"
#include "support/tpkt_capture.h"

namespace {

constexpr int32_t kPoolSize = 1024;
constexpr size_t kUnit = 5000;

// What a user saw of one indication or confirm.
struct Seen {
  uint32_t event;
  Pmachine* pm;
  std::vector<int32_t> contexts;
  std::vector<std::string> values;
  int32_t reason;
};

// Indications by side; the side is the wire's current one, or the side of
// the thread the indication arrives on.
SessionWire* gWire = nullptr;
std::mutex gSeenLock;
std::map<int, std::vector<Seen>> gSeen;

void* parseOctets(void*) {
  if (ber_getid(0, 4) < 0) aaRaise(AAE_MSGPARAM, "test", __LINE__);
  auto* v = static_cast<OctStgV*>(aamalloc(sizeof(OctStgV)));
  if (v == nullptr) aaRaise(AAE_NOMEM, "test", __LINE__);
  ber_getoctv(v);
  return v;
}
int64_t formatOctets(void* v) { return ber_addid(0, 4, ber_addoctv(static_cast<OctStgV*>(v))); }

int32_t user(GIDU* g) {
  Seen s{};
  const auto* p = static_cast<const PIDU*>(g->idu);
  s.event = g->event == AL_QABORT ? AL_QABORT : p->event;
  s.pm = static_cast<Pmachine*>(g->pc);
  if (g->event != AL_QABORT) {
    s.reason = p->reason;
    for (const DElemLink* l = p->dataList.next; l != &p->dataList; l = l->next) {
      const auto* e = static_cast<const DElem*>(l);
      s.contexts.push_back(e->pctxId);
      const auto* v = static_cast<const OctStgV*>(e->value);
      s.values.push_back(v != nullptr ? std::string(reinterpret_cast<const char*>(v->octets), v->length) : "");
    }
  }
  {
    std::lock_guard<std::mutex> hold(gSeenLock);
    gSeen[gWire != nullptr ? gWire->current() : SideThread::current()].push_back(std::move(s));
  }
  _xm_freeTree(xm_getParentOfItem(g));
  return 1;
}

std::optional<Seen> lastOf(int side, uint32_t event) {
  std::lock_guard<std::mutex> hold(gSeenLock);
  const auto& v = gSeen[side];
  for (auto it = v.rbegin(); it != v.rend(); ++it)
    if (it->event == event) return *it;
  return std::nullopt;
}

std::string pattern(size_t n, int seed) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xFF));
  return s;
}

// Both sides' users and their abstract syntaxes: "A" calls, "B" is called.
// Each has two syntaxes of OCTET STRINGs, as an association carries ACSE
// and its application's syntax. `callingSsel` is the calling side's
// session selector.
void startPresentation(const OctStgV& callingSsel) {
  UL_Paddress local{};
  local.mask = kPsInitSsel;
  local.sSel = callingSsel;
  ASSERT_EQ(init_presentation(&local, nullptr, nullptr, nullptr), 1);
  for (const char* s : {"A", "B"}) {
    const OctStgV v = sel(s);
    ASSERT_EQ(p_activate(&v, user, kPsModeNormal, 0), 1);
    for (uint32_t n : {3u, 4u}) {
      const uint32_t arcs[] = {1, 9, n};
      const int32_t a = p_asynreg(&v, 3, arcs, parseOctets, formatOctets, 0);
      ASSERT_EQ(a, static_cast<int32_t>(n - 3));
      ASSERT_EQ(p_assoc(&v, a, ps_asn1_tsidx), 1);
    }
  }
}

// Primitives as the presentation user makes them; the values of their data
// elements are kept here.
class Primitives {
 public:
  // A presentation GIDU with an empty PIDU.
  static GIDU* primitive(uint32_t event, Pmachine* pm, PIDU** out) {
    GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
    *out = static_cast<PIDU*>(g->idu);
    (*out)->event = event;
    g->pc = pm;
    return g;
  }
  // A data element of context `ctx` holding `text`.
  void element(PIDU* p, const std::string& text, int32_t ctx = 3) {
    OctStgV* value = nullptr;
    {
      std::lock_guard<std::mutex> hold(lock_);
      texts_.push_back(text);
      values_.push_back(OctStgV{static_cast<uint32_t>(texts_.back().size()),
                                reinterpret_cast<uint8_t*>(texts_.back().data())});
      value = &values_.back();
    }
    auto* d = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(p), sizeof(DElem), XM_ZERO));
    p_clear_delem(d);
    d->pctxId = ctx;
    d->value = value;
    d->next = &p->dataList;
    d->prev = p->dataList.prev;
    p->dataList.prev->next = d;
    p->dataList.prev = d;
  }
  // A's P-CONNECT request to "B" at session selector 00 02, with `text` in
  // context 1; `address` may add the transport address.
  Pmachine* connectRequest(const std::string& text, const std::function<void(PIDU*)>& address = {}) {
    static uint8_t calling[] = {'A'}, called[] = {'B'}, bsel[] = {0x00, 0x02};
    PIDU* p = nullptr;
    GIDU* g = primitive(0, nullptr, &p);
    p->local.pSel = PSelector{1, calling};
    p->remote.pSel = OctStgV{1, called};
    p->remote.sSel = OctStgV{2, bsel};
    p->transportKind = 2;
    p->sessRequirements = SR_DUPLEX;
    p->ctxDefList[1] = 0;
    p->ctxDefList[3] = 1;
    p->credit = 1;
    element(p, text, 1);
    if (address) address(p);
    Pmachine* a = p_connect(g);
    EXPECT_NE(a, nullptr) << QvGetOsiError();
    return a;
  }
  // The user's `event` on machine `pm`, with `text` in context `ctx` when
  // given, and credit 1; psp's result.
  uint32_t request(Pmachine* pm, uint32_t event, const std::string& text = "", int32_t ctx = 3) {
    PIDU* p = nullptr;
    GIDU* g = primitive(event, pm, &p);
    p->credit = 1;
    if (event == P_CON_ACC) p->sessRequirements = SR_DUPLEX;
    if (!text.empty()) element(p, text, ctx);
    const uint32_t r = psp(g);
    EXPECT_EQ(r, 1u) << "event " << event << ": " << QvGetOsiError();
    return r;
  }

 private:
  std::mutex lock_;
  std::deque<std::string> texts_;
  std::deque<OctStgV> values_;
};

class PresentationWire : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    // The calling session selector is side A's of the wire.
    static uint8_t ssel[] = {0x00, 0x01};
    startPresentation(OctStgV{2, ssel});
    gSeen.clear();
  }
  void TearDown() override {
    gSeen.clear();
    init_pmgmt();
    pP = nullptr;
    RecordSetTest::TearDown();
  }

  // Side A asks for a connection to "B" with `text` in context 1; side B's
  // user accepts it with `answer`. The two machines.
  std::pair<Pmachine*, Pmachine*> connect(SessionWire& w, const std::string& text, const std::string& answer) {
    w.enter(SessionWire::A);
    Pmachine* a = prim_.connectRequest(text);
    if (a == nullptr) return {nullptr, nullptr};
    w.pump();
    const auto ind = lastOf(SessionWire::B, P_CON_IND);
    EXPECT_TRUE(ind.has_value());
    if (!ind) return {a, nullptr};
    EXPECT_EQ(ind->contexts, std::vector<int32_t>{1});  // slot 1 of the called side
    EXPECT_EQ(ind->values, std::vector<std::string>{text});
    w.enter(SessionWire::B);
    prim_.request(ind->pm, P_CON_ACC, answer, 1);
    w.pump();
    const auto cnf = lastOf(SessionWire::A, P_CON_CNF);
    EXPECT_TRUE(cnf.has_value());
    if (cnf) {
      EXPECT_EQ(cnf->values, std::vector<std::string>{answer});
    }
    return {a, ind->pm};
  }

  // The side's user sends `event` (with `text` in context 3 when given).
  uint32_t send(SessionWire& w, SessionWire::Side side, Pmachine* pm, uint32_t event, const std::string& text = "") {
    w.enter(side);
    const uint32_t r = prim_.request(pm, event, text);
    w.pump();
    return r;
  }

  // Units sent since the last call, A's then B's, as TPKTs.
  void capture(SessionWire& w) { w.takeTpkts(&traffic_); }

  Primitives prim_;
  std::vector<CapturedTpkt> traffic_;
};

TEST_F(PresentationWire, TwoUsersConnectExchangeDataReleaseAndAbort) {
  SessionWire w(kPoolSize, ps_ssu);
  w.confirms = true;
  gWire = &w;
  auto [a, b] = connect(w, "hello", "welcome");
  ASSERT_NE(b, nullptr);
  capture(w);

  // P-DATA both ways, each larger than a pool buffer.
  const std::string toB = pattern(kUnit, 1), toA = pattern(kUnit, 2);
  ASSERT_EQ(send(w, SessionWire::A, a, P_DT_REQ, toB), 1u);
  capture(w);
  const auto dataAtB = lastOf(SessionWire::B, P_DT_IND);
  ASSERT_TRUE(dataAtB.has_value());
  EXPECT_EQ(dataAtB->values, std::vector<std::string>{toB});
  ASSERT_EQ(send(w, SessionWire::B, b, P_DT_REQ, toA), 1u);
  capture(w);
  const auto dataAtA = lastOf(SessionWire::A, P_DT_IND);
  ASSERT_TRUE(dataAtA.has_value());
  EXPECT_EQ(dataAtA->values, std::vector<std::string>{toA});
  // The pieces' confirms were swallowed but one per sent unit.
  EXPECT_EQ(a->cnfSuppress, 0u);
  EXPECT_EQ(b->cnfSuppress, 0u);

  // Orderly release.
  ASSERT_EQ(send(w, SessionWire::A, a, P_REL_REQ), 1u);
  ASSERT_TRUE(lastOf(SessionWire::B, P_REL_IND).has_value());
  ASSERT_EQ(send(w, SessionWire::B, b, P_REL_ACC), 1u);
  ASSERT_TRUE(lastOf(SessionWire::A, P_REL_CNF).has_value());
  capture(w);
  EXPECT_EQ(plist.count, 0u) << "both machines went with the release";

  // A second connection, ended by A's user abort.
  auto [a2, b2] = connect(w, "again", "yes");
  ASSERT_NE(b2, nullptr);
  ASSERT_EQ(send(w, SessionWire::A, a2, P_UAB_REQ, "bye"), 1u);
  const auto abort = lastOf(SessionWire::B, P_UAB_IND);
  ASSERT_TRUE(abort.has_value());
  EXPECT_EQ(abort->values, std::vector<std::string>{"bye"});
  capture(w);
  EXPECT_EQ(plist.count, 0u);
  for (SessionWire::Side side : {SessionWire::A, SessionWire::B}) {
    w.enter(side);
    EXPECT_EQ(QvGetSbCount(), 0u) << side;
  }
  gWire = nullptr;

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  std::string fields;
  auto times = decodeCleanly(traffic_, 102,
                             {"CP-type", "CPA-PPDU", "aru-ppdu: normal-mode-parameters",
                              "presentation-context-identifier: 3 (iso.9.4)"},
                             &fields);
  EXPECT_EQ(times["CP-type"], 2u);
  EXPECT_EQ(times["CPA-PPDU"], 2u);
  EXPECT_EQ(times["aru-ppdu: normal-mode-parameters"], 1u);
  // Contexts 1 and 3 on every PDV-list: connect data, both P-DATA, release, abort.
  EXPECT_GE(times["presentation-context-identifier: 3 (iso.9.4)"], 4u);
  EXPECT_EQ(fields.substr(0, fields.find('\n')), "0x0f;13;1") << fields;
}

// ---------------------------------------------------------------------------
// Over TCP: each side on a thread of its own with its own record set,
// session layer and buffer pool; the presentation layer is the process's.

constexpr int kCalling = 0;
constexpr int kCalled = 1;

class PresentationTcp : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    savedQuiet_ = giQuietMode;
    giQuietMode = 1;
    char tmpl[] = "/tmp/ptcpXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    iniFile_ = dir_ + "/mirodel.ini";
    std::ofstream(iniFile_) << "[COMMON]\nqv_root=" << dir_ << "\n[SERVER]\nForkOnConnect=0\n";
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, iniFile_.c_str()), 1);
    startPresentation(OctStgV{2, const_cast<uint8_t*>(kCallingSel.ssap.sel)});
    gSeen.clear();
  }
  void TearDown() override {
    gSeen.clear();
    init_pmgmt();
    pP = nullptr;
    giQuietMode = savedQuiet_;
    std::filesystem::remove_all(dir_);
    RecordSetTest::TearDown();
  }

  // The calling side asks the called side, through `relay`, for a
  // connection with `text`; the called user accepts with `answer`. The two
  // machines.
  std::pair<Pmachine*, Pmachine*> connect(SideThread& calling, SideThread& called, const RecordingRelay& relay,
                                          const std::string& text, const std::string& answer) {
    {
      std::lock_guard<std::mutex> hold(gSeenLock);
      gSeen.clear();
    }
    Pmachine* a = nullptr;
    const int port = relay.port();
    calling.call([&] {
      a = prim_.connectRequest(text, [port](PIDU* p) {
        static uint8_t loopback[] = {127, 0, 0, 1};
        auto* tsel = static_cast<uint8_t*>(_xm_allocItem(xm_getParentOfItem(p), 2, XM_ZERO));
        tsel[0] = static_cast<uint8_t>(port >> 8);
        tsel[1] = static_cast<uint8_t>(port & 0xFF);
        p->remote.tSel = OctStgV{2, tsel};
        auto* n = static_cast<UL_NaddrEntry*>(_xm_allocItem(xm_getParentOfItem(p), sizeof(UL_NaddrEntry), XM_ZERO));
        n->addr = OctStgV{4, loopback};
        n->links.next = n->links.prev = &p->remote.nAddrs.links;
        p->remote.nAddrs.links.next = p->remote.nAddrs.links.prev = &n->links;
        p->remote.nAddrs.count = 1;
      });
      return a != nullptr ? 1u : 0u;
    });
    if (a == nullptr) return {nullptr, nullptr};
    EXPECT_TRUE(waitFor([] { return lastOf(kCalled, P_CON_IND).has_value(); })) << "no P-CONNECT indication";
    const auto ind = lastOf(kCalled, P_CON_IND);
    if (!ind) return {a, nullptr};
    EXPECT_EQ(ind->values, std::vector<std::string>{text});
    called.call([&] { return prim_.request(ind->pm, P_CON_ACC, answer, 1); });
    EXPECT_TRUE(waitFor([] { return lastOf(kCalling, P_CON_CNF).has_value(); })) << "no P-CONNECT confirm";
    const auto cnf = lastOf(kCalling, P_CON_CNF);
    if (!cnf) return {a, nullptr};
    EXPECT_EQ(cnf->values, std::vector<std::string>{answer});
    return {a, ind->pm};
  }

  static const SSAPaddr kCallingSel;
  static const SSAPaddr kCalledSel;
  Primitives prim_;
  std::string dir_;
  std::string iniFile_;
  int32_t savedQuiet_ = 0;
};

const SSAPaddr PresentationTcp::kCallingSel = [] {
  SSAPaddr a{};
  a.ssap.len = 2;
  a.ssap.sel[1] = 0x01;
  return a;
}();
const SSAPaddr PresentationTcp::kCalledSel = [] {
  SSAPaddr a{};
  a.ssap.len = 2;
  a.ssap.sel[1] = 0x02;
  return a;
}();

// Whether the process-wide machine list is empty, read under the
// presentation layer's lock: the called side frees its machine on its own
// thread, at a moment of its own.
bool noMachineLeft() {
  PsLock lock;
  return plist.count == 0;
}

TEST_F(PresentationTcp, TwoUsersConnectExchangeDataReleaseAndAbortOverLoopback) {
  std::vector<CapturedTpkt> first, second;
  int serverPort = 0;
  {
    SideThread called(kCalled, iniFile_, &kCalledSel, true, kPoolSize, ps_ssu);
    ASSERT_TRUE(called.ok()) << "the called side could not listen";
    serverPort = called.port();
    SideThread calling(kCalling, iniFile_, &kCallingSel, false, kPoolSize, ps_ssu);
    ASSERT_TRUE(calling.ok());
    auto poolsAreFull = [&] {
      for (SideThread* t : {&calling, &called}) EXPECT_EQ(t->call([] { return QvGetSbCount(); }), 0u);
    };

    // The first connection: data both ways and an orderly release.
    {
      RecordingRelay relay;
      ASSERT_TRUE(relay.ok());
      relay.start(serverPort);
      auto [a, b] = connect(calling, called, relay, "hello", "welcome");
      ASSERT_NE(b, nullptr);
      const std::string toB = pattern(kUnit, 1), toA = pattern(kUnit, 2);
      calling.call([&] { return prim_.request(a, P_DT_REQ, toB); });
      ASSERT_TRUE(waitFor([] { return lastOf(kCalled, P_DT_IND).has_value(); }));
      EXPECT_EQ(lastOf(kCalled, P_DT_IND)->values, std::vector<std::string>{toB});
      called.call([&] { return prim_.request(b, P_DT_REQ, toA); });
      ASSERT_TRUE(waitFor([] { return lastOf(kCalling, P_DT_IND).has_value(); }));
      EXPECT_EQ(lastOf(kCalling, P_DT_IND)->values, std::vector<std::string>{toA});
      // Each side's unit went as several S-DATA; of their confirms all but
      // one are swallowed, and that one reaches the user.
      EXPECT_TRUE(waitFor([] {
        return lastOf(kCalling, P_DT_CNF).has_value() && lastOf(kCalled, P_DT_CNF).has_value();
      }));
      EXPECT_EQ(calling.call([&] { return a->cnfSuppress; }), 0u);
      EXPECT_EQ(called.call([&] { return b->cnfSuppress; }), 0u);

      calling.call([&] { return prim_.request(a, P_REL_REQ); });
      ASSERT_TRUE(waitFor([] { return lastOf(kCalled, P_REL_IND).has_value(); }));
      called.call([&] { return prim_.request(b, P_REL_ACC); });
      ASSERT_TRUE(waitFor([] { return lastOf(kCalling, P_REL_CNF).has_value(); }));
      EXPECT_TRUE(relay.finish(5)) << "both sides end the transport connection";
      first = relay.tpkts();
    }
    EXPECT_TRUE(waitFor(noMachineLeft)) << "both machines went with the release";

    // The second connection, ended by the calling user's abort.
    {
      RecordingRelay relay;
      ASSERT_TRUE(relay.ok());
      relay.start(serverPort);
      auto [a, b] = connect(calling, called, relay, "again", "yes");
      ASSERT_NE(b, nullptr);
      calling.call([&] { return prim_.request(a, P_UAB_REQ, "bye"); });
      ASSERT_TRUE(waitFor([] { return lastOf(kCalled, P_UAB_IND).has_value(); }));
      EXPECT_EQ(lastOf(kCalled, P_UAB_IND)->values, std::vector<std::string>{"bye"});
      EXPECT_TRUE(relay.finish(5)) << "both sides end the transport connection";
      second = relay.tpkts();
    }
    EXPECT_TRUE(waitFor(noMachineLeft));
    poolsAreFull();
  }

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  // One line per TPKT: the COTP type, the SPDU types tshark found once the
  // TPDUs of a unit were joined, the presentation mode of CP and CPA.
  std::string fields;
  auto times = decodeCleanly(first, serverPort,
                             {"CP-type", "CPA-PPDU", "presentation-context-identifier: 3 (iso.9.4)",
                              "[Reassembled COTP length: 5031]"},
                             &fields);
  EXPECT_EQ(times["CP-type"], 1u);
  EXPECT_EQ(times["CPA-PPDU"], 1u);
  // Both units: one PDV of context 3 each, 5000 octets with their PPDU.
  EXPECT_EQ(times["presentation-context-identifier: 3 (iso.9.4)"], 2u);
  EXPECT_EQ(times["[Reassembled COTP length: 5031]"], 2u);
  // Each unit leaves as five DT TPDUs, one per pool buffer.
  const std::string unit = "0x0f;;\n0x0f;;\n0x0f;;\n0x0f;;\n0x0f;1,1;\n";  // GT + DT
  EXPECT_EQ(fields,
            "0x0e;;\n"      // CR
            "0x0d;;\n"      // CC
            "0x0f;13;1\n"   // CN with the CP, normal mode
            "0x0f;14;1\n" +  // AC with the CPA
                unit + unit +
                "0x0f;9;\n"   // FN
                "0x0f;10;\n"  // DN
                "0x08;;\n");  // DR from the calling side
  times = decodeCleanly(second, serverPort, {"CP-type", "CPA-PPDU", "aru-ppdu: normal-mode-parameters"}, &fields);
  EXPECT_EQ(times["CP-type"], 1u);
  EXPECT_EQ(times["CPA-PPDU"], 1u);
  EXPECT_EQ(times["aru-ppdu: normal-mode-parameters"], 1u);
  EXPECT_EQ(fields, "0x0e;;\n0x0d;;\n0x0f;13;1\n0x0f;14;1\n0x0f;25;\n0x08;;\n");  // ... AB with the ARU, DR
}

}  // namespace
