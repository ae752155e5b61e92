// Two presentation users joined through the real session layer: two session
// record sets on one thread over the in-memory wire, the presentation layer
// as each side's session user. They connect, send P-DATA larger than a pool
// buffer both ways, release, connect again and abort; tshark's dissectors
// read the traffic down to the presentation PDUs.
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "presentation/pfixture.h"
#include "src/acse/gidu.h"
#include "src/asn1/ber.h"
#include "src/asn1/ber_values.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/ps_ssu.h"
#include "src/runtime/xm.h"
#include "support/session_wire.h"
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

SessionWire* gWire = nullptr;
std::map<int, std::vector<Seen>> gSeen;  // by side

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
  gSeen[gWire->current()].push_back(std::move(s));
  _xm_freeTree(xm_getParentOfItem(g));
  return 1;
}

std::string pattern(size_t n, int seed) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xFF));
  return s;
}

class PresentationWire : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    // The calling session selector is side A's of the wire.
    static uint8_t ssel[] = {0x00, 0x01};
    UL_Paddress local{};
    local.mask = kPsInitSsel;
    local.sSel = OctStgV{2, ssel};
    ASSERT_EQ(init_presentation(&local, nullptr, nullptr, nullptr), 1);
    // Two abstract syntaxes of OCTET STRINGs each, as an association
    // carries ACSE and its application's syntax.
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
    gSeen.clear();
  }
  void TearDown() override {
    gSeen.clear();
    init_pmgmt();
    pP = nullptr;
    RecordSetTest::TearDown();
  }

  // A presentation GIDU of the current side with an empty PIDU.
  static GIDU* primitive(uint32_t event, Pmachine* pm, PIDU** out) {
    GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
    *out = static_cast<PIDU*>(g->idu);
    (*out)->event = event;
    g->pc = pm;
    return g;
  }
  // A data element of context `ctx` holding `text` (kept by the test).
  void element(PIDU* p, const std::string& text, int32_t ctx = 3) {
    texts_.push_back(text);
    values_.push_back(OctStgV{static_cast<uint32_t>(texts_.back().size()),
                              reinterpret_cast<uint8_t*>(texts_.back().data())});
    auto* d = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(p), sizeof(DElem), XM_ZERO));
    p_clear_delem(d);
    d->pctxId = ctx;
    d->value = &values_.back();
    d->next = &p->dataList;
    d->prev = p->dataList.prev;
    p->dataList.prev->next = d;
    p->dataList.prev = d;
  }

  // Side A asks for a connection to "B" with `text` in context 1; side B's
  // user accepts it with `answer`. The two machines.
  std::pair<Pmachine*, Pmachine*> connect(SessionWire& w, const std::string& text, const std::string& answer) {
    static uint8_t calling[] = {'A'}, called[] = {'B'}, bsel[] = {0x00, 0x02};
    w.enter(SessionWire::A);
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
    Pmachine* a = p_connect(g);
    EXPECT_NE(a, nullptr) << QvGetOsiError();
    if (a == nullptr) return {nullptr, nullptr};
    w.pump();
    auto& atB = gSeen[SessionWire::B];
    EXPECT_FALSE(atB.empty());
    if (atB.empty()) return {a, nullptr};
    const Seen ind = atB.back();
    EXPECT_EQ(ind.event, uint32_t{P_CON_IND});
    EXPECT_EQ(ind.contexts, std::vector<int32_t>{1});  // slot 1 of the called side
    EXPECT_EQ(ind.values, std::vector<std::string>{text});
    w.enter(SessionWire::B);
    g = primitive(P_CON_ACC, ind.pm, &p);
    p->sessRequirements = SR_DUPLEX;
    p->credit = 1;
    element(p, answer, 1);
    EXPECT_EQ(psp(g), 1u) << QvGetOsiError();
    w.pump();
    auto& atA = gSeen[SessionWire::A];
    EXPECT_FALSE(atA.empty());
    if (!atA.empty()) {
      EXPECT_EQ(atA.back().event, uint32_t{P_CON_CNF});
      EXPECT_EQ(atA.back().values, std::vector<std::string>{answer});
    }
    return {a, ind.pm};
  }

  // The side's user sends `event` (with `text` in context 1 when given).
  uint32_t send(SessionWire& w, SessionWire::Side side, Pmachine* pm, uint32_t event, const std::string& text = "") {
    w.enter(side);
    PIDU* p = nullptr;
    GIDU* g = primitive(event, pm, &p);
    p->credit = 1;
    if (!text.empty()) element(p, text);
    const uint32_t r = psp(g);
    w.pump();
    return r;
  }

  // Units sent since the last call, A's then B's, as TPKTs.
  void capture(SessionWire& w) {
    for (SessionWire::Side side : {SessionWire::A, SessionWire::B}) {
      const auto& units = w.sent(side);
      for (size_t i = taken_[side]; i < units.size(); ++i) {
        std::string p = {'\x03', '\x00', '\x00', '\x00', '\x02', '\xF0', '\x80'};
        p.append(units[i].begin(), units[i].end());
        p[2] = static_cast<char>(p.size() >> 8);
        p[3] = static_cast<char>(p.size() & 0xFF);
        traffic_.push_back(CapturedTpkt{side == SessionWire::A, p});
      }
      taken_[side] = units.size();
    }
  }

  std::deque<std::string> texts_;
  std::deque<OctStgV> values_;
  std::vector<CapturedTpkt> traffic_;
  size_t taken_[2] = {0, 0};
};

const Seen* lastOf(SessionWire::Side side, uint32_t event) {
  const auto& v = gSeen[side];
  for (auto it = v.rbegin(); it != v.rend(); ++it)
    if (it->event == event) return &*it;
  return nullptr;
}

TEST_F(PresentationWire, TwoUsersConnectExchangeDataReleaseAndAbort) {
  SessionWire w(kPoolSize, ps_ssu);
  w.confirms = true;
  gWire = &w;
  auto [a, b] = connect(w, "hello", "welcome");
  ASSERT_NE(b, nullptr);
  capture(w);

  // P-DATA both ways, each larger than a pool buffer.
  const std::string toB = pattern(kUnit, 1), toA = pattern(kUnit, 2);
  ASSERT_EQ(send(w, SessionWire::A, a, P_DT_REQ, toB), 1u) << QvGetOsiError();
  capture(w);
  const Seen* dataAtB = lastOf(SessionWire::B, P_DT_IND);
  ASSERT_NE(dataAtB, nullptr);
  EXPECT_EQ(dataAtB->values, std::vector<std::string>{toB});
  ASSERT_EQ(send(w, SessionWire::B, b, P_DT_REQ, toA), 1u) << QvGetOsiError();
  capture(w);
  const Seen* dataAtA = lastOf(SessionWire::A, P_DT_IND);
  ASSERT_NE(dataAtA, nullptr);
  EXPECT_EQ(dataAtA->values, std::vector<std::string>{toA});
  // The pieces' confirms were swallowed but one per sent unit.
  EXPECT_EQ(a->cnfSuppress, 0u);
  EXPECT_EQ(b->cnfSuppress, 0u);

  // Orderly release.
  ASSERT_EQ(send(w, SessionWire::A, a, P_REL_REQ), 1u) << QvGetOsiError();
  ASSERT_NE(lastOf(SessionWire::B, P_REL_IND), nullptr);
  ASSERT_EQ(send(w, SessionWire::B, b, P_REL_ACC), 1u) << QvGetOsiError();
  ASSERT_NE(lastOf(SessionWire::A, P_REL_CNF), nullptr);
  capture(w);
  EXPECT_EQ(plist.count, 0u) << "both machines went with the release";

  // A second connection, ended by A's user abort.
  auto [a2, b2] = connect(w, "again", "yes");
  ASSERT_NE(b2, nullptr);
  ASSERT_EQ(send(w, SessionWire::A, a2, P_UAB_REQ, "bye"), 1u) << QvGetOsiError();
  const Seen* abort = lastOf(SessionWire::B, P_UAB_IND);
  ASSERT_NE(abort, nullptr);
  EXPECT_EQ(abort->values, std::vector<std::string>{"bye"});
  capture(w);
  EXPECT_EQ(plist.count, 0u);
  for (SessionWire::Side side : {SessionWire::A, SessionWire::B}) {
    w.enter(side);
    EXPECT_EQ(QvGetSbCount(), 0u) << side;
  }
  gWire = nullptr;

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  char dir[] = "/tmp/pwireXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  TsharkDecode how;
  how.presentation = true;
  how.fields = {"ses.type", "pres.mode_value"};
  const TsharkView view = decodeTpktTraffic(traffic_, dir, 102, how);
  (void)std::system(("rm -rf " + std::string(dir)).c_str());
  ASSERT_EQ(view.error, "");
  EXPECT_EQ(view.detail.find("Malformed"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Error"), std::string::npos) << view.detail;
  // Our test syntaxes have no dissector: that warning alone is expected.
  const std::string noDissector = "BER: Dissector for OID not implemented";
  for (size_t at = view.detail.find("Expert Info (Warning"); at != std::string::npos;
       at = view.detail.find("Expert Info (Warning", at + 1))
    EXPECT_NE(view.detail.substr(at, view.detail.find('\n', at) - at).find(noDissector), std::string::npos)
        << view.detail.substr(at, 200);
  auto times = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = view.detail.find(what); at != std::string::npos; at = view.detail.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(times("CP-type"), 2u);
  EXPECT_EQ(times("CPA-PPDU"), 2u);
  EXPECT_EQ(times("aru-ppdu: normal-mode-parameters"), 1u);
  // Contexts 1 and 3 on every PDV-list: connect data, both P-DATA, release, abort.
  EXPECT_GE(times("presentation-context-identifier: 3 (iso.9.4)"), 4u) << view.detail;
  EXPECT_EQ(view.fields.substr(0, view.fields.find('\n')), "13;1") << view.fields;
}

}  // namespace
