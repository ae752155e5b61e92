// Two RDA stacks joined through the real presentation and session layers:
// side A activated in the client role, side B in the server role, each with
// its own record set, over the in-memory session wire. A associates with B
// in the "X/OPEN Basic" context, sends an R-Initialize that B answers, and
// releases; a second association ends with A's abort. tshark's dissectors
// read the traffic down to the ACSE APDUs.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/gidu.h"
#include "src/asn1/rda_idu.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ps_ssu.h"
#include "src/presentation/users.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rda/rdatls.h"
#include "src/runtime/xm.h"
#include "support/recordset.h"
#include "support/session_wire.h"
#include "support/tpkt_capture.h"

namespace {

constexpr int32_t kPoolSize = 1024;

uint32_t kXopenBasic[] = {1, 2, 826, 0, 1050, 3, 2, 2, 1};
uint32_t kTitleA[] = {1, 2, 3};
uint32_t kTitleB[] = {1, 2, 4};
uint8_t kPselA[] = {'A'};
uint8_t kPselB[] = {'B'};
uint8_t kSselB[] = {0x00, 0x02};
uint8_t kNaddr[] = {0x7F, 0x00, 0x00, 0x01};

SessionWire* gWire = nullptr;
int ucb[2];
int acb[2];

// What each side's user got, kept until the end of the test.
std::map<int, std::vector<GIDU*>> gGot;

void user(GIDU* g) { gGot[gWire->current()].push_back(g); }

GIDU* lastGot(SessionWire::Side side) { return gGot[side].empty() ? nullptr : gGot[side].back(); }

class StackWire : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    static uint8_t ssel[] = {0x00, 0x01};
    UL_Paddress local{};
    local.mask = kPsInitSsel;
    local.sSel = OctStgV{2, ssel};
    ASSERT_EQ(init_presentation(&local, nullptr, nullptr, nullptr), 1);
    gGot.clear();
  }
  void TearDown() override {
    // What the users kept went with their sides' record sets.
    gGot.clear();
    gWire = nullptr;
    init_pmgmt();
    pP = nullptr;
    RecordSetTest::TearDown();
  }

  // The side's entity, activated on its P-selector in its role.
  void activate(SessionWire& w, SessionWire::Side side) {
    w.enter(side);
    ASSERT_EQ(rda_aeInit(), 1) << QvGetOsiError();
    GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, AL_ACT_REQ);
    auto* idu = static_cast<RDAIdu*>(_xm_allocItemWithTree(sizeof(RDAIdu), XM_ZERO));
    XmTree* t = xm_getParentOfItem(idu);
    _xm_moveTree(xm_getParentOfItem(g), t);
    idu->tag = RDA_ACTIVATE_REQ;
    auto* p = static_cast<UL_AEId*>(_xm_allocItem(t, sizeof(UL_AEId), XM_ZERO));
    p->mask = UL_AEID_APTITLE | UL_AEID_AEQUAL | UL_AEID_AEINVOKE | UL_AEID_APINVOKE;
    p->pAddress.mask = UL_PADDR_PSEL;
    p->pAddress.pSel = OctStgV{1, side == SessionWire::A ? kPselA : kPselB};
    auto* n = static_cast<UL_NaddrEntry*>(_xm_allocItem(t, sizeof(UL_NaddrEntry), XM_ZERO));
    n->addr = OctStgV{4, kNaddr};
    n->links.next = n->links.prev = &p->pAddress.nAddrs.links;
    p->pAddress.nAddrs.links.next = p->pAddress.nAddrs.links.prev = &n->links;
    p->pAddress.nAddrs.count = 1;
    p->apTitle.kind = UL_TITLE_OBJID;
    p->apTitle.objId = ObjIdV{3, side == SessionWire::A ? kTitleA : kTitleB};
    p->aeQual = UL_AEQual{UL_QUAL_INTEGER, {side == SessionWire::A ? 7 : 9}};
    auto* act = static_cast<RDAActData*>(_xm_allocItem(t, sizeof(RDAActData), XM_ZERO));
    act->flag = side == SessionWire::A ? 0 : 1;
    idu->activate = RDAActivate_Req{p, act};
    g->idu = idu;
    g->ue = &ucb[side];
    rda_aeSnd(g, user);
    GIDU* cnf = lastGot(side);
    ASSERT_NE(cnf, nullptr);
    ASSERT_EQ(cnf->event, AL_ACT_CNF);
    ASSERT_EQ(cnf->errNo, 0u);
    aei_[side] = static_cast<AeiCB*>(cnf->pe);
  }

  // A's A-ASSOCIATE request to B, as the service user hands it to the
  // entity.
  GIDU* assocReq() {
    GIDU* g = al_createGidu(nullptr, AL_IDU_ACSE, AL_A_ASSOC_REQ);
    auto* apdu = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
    XmTree* t = xm_getParentOfItem(apdu);
    _xm_moveTree(xm_getParentOfItem(g), t);
    apdu->code = AC_APDU_AARQ;
    AcAarq& a = apdu->aarq;
    a.presence = AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AE_QUAL | AC_AARQ_CALLING_AP_TITLE |
                 AC_AARQ_CALLING_AE_QUAL | AC_AARQ_CONN_PARAMS;
    a.protocolVersion = kAcProtocolVersion1;
    a.contextName = ObjIdV{9, kXopenBasic};
    a.calledApTitle.kind = UL_TITLE_OBJID;
    a.calledApTitle.objId = ObjIdV{3, kTitleB};
    a.calledAeQual = UL_AEQual{UL_QUAL_INTEGER, {9}};
    a.callingApTitle.kind = UL_TITLE_OBJID;
    a.callingApTitle.objId = ObjIdV{3, kTitleA};
    a.callingAeQual = UL_AEQual{UL_QUAL_INTEGER, {7}};
    AcConnParams& cp = a.connParams;
    cp.presentationMode = 1;
    cp.callingAddress.mask = UL_PADDR_PSEL;
    cp.callingAddress.pSel = OctStgV{1, kPselA};
    cp.callingAddress.nAddrs.links.next = cp.callingAddress.nAddrs.links.prev = &cp.callingAddress.nAddrs.links;
    cp.calledAddress.mask = UL_PADDR_PSEL | UL_PADDR_SSEL;
    cp.calledAddress.pSel = OctStgV{1, kPselB};
    cp.calledAddress.sSel = OctStgV{2, kSselB};
    cp.calledAddress.nAddrs.links.next = cp.calledAddress.nAddrs.links.prev = &cp.calledAddress.nAddrs.links;
    cp.sessRequirements = SR_DUPLEX;
    cp.transportClass = 0;
    g->idu = apdu;
    g->ue = &ucb[SessionWire::A];
    g->pe = aei_[SessionWire::A];
    g->uc = &acb[SessionWire::A];
    return g;
  }

  // Sends on the side and delivers what follows; the last GIDU the other
  // side's user got, when it got one.
  template <class Build>
  GIDU* exchange(SessionWire& w, SessionWire::Side side, Build build) {
    const SessionWire::Side other = side == SessionWire::A ? SessionWire::B : SessionWire::A;
    const size_t before = gGot[other].size();
    w.enter(side);
    GIDU* g = build();
    EXPECT_NE(g, nullptr);
    if (g == nullptr) return nullptr;
    rda_aeSnd(g, nullptr);
    w.pump();
    capture(w);
    return gGot[other].size() > before ? gGot[other].back() : nullptr;
  }

  // A's association with B, accepted: the confirm A got.
  GIDU* associate(SessionWire& w) {
    GIDU* ind = exchange(w, SessionWire::A, [&] { return assocReq(); });
    EXPECT_NE(ind, nullptr);
    if (ind == nullptr) return nullptr;
    EXPECT_EQ(ind->event, AL_A_ASSOC_IND);
    EXPECT_EQ(ind->ue, &ucb[SessionWire::B]);
    EXPECT_EQ(ind->pe, aei_[SessionWire::B]);
    const ObjIdV ctx{9, kXopenBasic};
    GIDU* cnf = exchange(w, SessionWire::B, [&] {
      return rda_createAssocRsp(ind, &ctx, AC_RESULT_ACCEPTED, nullptr, SR_DUPLEX);
    });
    EXPECT_NE(cnf, nullptr);
    if (cnf == nullptr) return nullptr;
    EXPECT_EQ(cnf->event, AL_A_ASSOC_CNF);
    EXPECT_EQ(cnf->uc, &acb[SessionWire::A]);
    EXPECT_EQ(cnf->ue, &ucb[SessionWire::A]);
    return cnf;
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

  AeiCB* aei_[2] = {nullptr, nullptr};
  std::vector<CapturedTpkt> traffic_;
  size_t taken_[2] = {0, 0};
};

TEST_F(StackWire, AssociateInitializeReleaseAndAbort) {
  SessionWire w(kPoolSize, ps_ssu);
  w.confirms = true;
  gWire = &w;
  activate(w, SessionWire::A);
  activate(w, SessionWire::B);
  ASSERT_FALSE(HasFatalFailure());

  GIDU* cnf = associate(w);
  ASSERT_NE(cnf, nullptr);
  const OctStgV dlg{2, kSselB};
  GIDU* ind = exchange(w, SessionWire::A, [&] {
    return rda_createSQLInitReq(cnf, 1, &dlg, "tester", nullptr, nullptr, 0, nullptr, nullptr);
  });
  ASSERT_NE(ind, nullptr);
  EXPECT_EQ(ind->event, RDA_INIT_IND);
  GIDU* rsp = exchange(w, SessionWire::B, [&] { return rda_createSQLInitRsp(ind, 1, 0, nullptr, nullptr, 0, nullptr); });
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(rsp->event, RDA_INIT_CNF);

  // The dialogue ends before the association may be released.
  ind = exchange(w, SessionWire::A, [&] { return rda_createSQLTermReq(cnf, 2); });
  ASSERT_NE(ind, nullptr);
  EXPECT_EQ(ind->event, RDA_TERM_IND);
  rsp = exchange(w, SessionWire::B, [&] { return rda_createSQLTermRsp(ind, 2); });
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(rsp->event, RDA_TERM_CNF);

  ind = exchange(w, SessionWire::A, [&] { return rda_createRelReq(cnf, nullptr); });
  ASSERT_NE(ind, nullptr);
  EXPECT_EQ(ind->event, AL_A_RELEASE_IND);
  GIDU* rel = exchange(w, SessionWire::B, [&] { return rda_createRelRsp(ind, nullptr, 0); });
  ASSERT_NE(rel, nullptr);
  EXPECT_EQ(rel->event, AL_A_RELEASE_CNF);
  for (SessionWire::Side side : {SessionWire::A, SessionWire::B}) EXPECT_EQ(RDA_aeSaoCount(aei_[side]), 0u) << side;

  // A second association, which A aborts.
  cnf = associate(w);
  ASSERT_NE(cnf, nullptr);
  GIDU* abort = exchange(w, SessionWire::A, [&] { return rda_createAbortReq(cnf); });
  ASSERT_NE(abort, nullptr);
  EXPECT_EQ(abort->event, AL_A_ABORT_IND);
  for (SessionWire::Side side : {SessionWire::A, SessionWire::B}) EXPECT_EQ(RDA_aeSaoCount(aei_[side]), 0u) << side;
  EXPECT_EQ(plist.count, 0u) << "no presentation connection is left";

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  char dir[] = "/tmp/rdawireXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  TsharkDecode how;
  how.presentation = true;
  how.fields = {"ses.type"};
  const TsharkView view = decodeTpktTraffic(traffic_, dir, 102, how);
  (void)std::system(("rm -rf " + std::string(dir)).c_str());
  ASSERT_EQ(view.error, "");
  EXPECT_EQ(view.detail.find("Malformed"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Error"), std::string::npos) << view.detail;
  // The RDA syntax has no dissector: that warning alone is expected.
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
  // Two associations; R-Initialize and R-Terminate with their answers; a
  // release; an abort.
  EXPECT_EQ(times(" bytes on wire "), 11u);
  EXPECT_EQ(times("    aarq\n"), 2u);
  EXPECT_EQ(times("    aare\n"), 2u);
  EXPECT_EQ(times("    rlrq"), 1u);
  EXPECT_EQ(times("    rlre"), 1u);
  EXPECT_EQ(times("    abrt\n"), 1u);
  EXPECT_EQ(times("aSO-context-name: 1.2.826.0.1050.3.2.2.1"), 4u);
  EXPECT_EQ(times("ap-title-form2: 1.2.4"), 2u) << "called AP title";
  EXPECT_EQ(times("ap-title-form2: 1.2.3"), 2u) << "calling AP title";
  EXPECT_EQ(times("aso-qualifier-form2: 9"), 2u);
  EXPECT_EQ(times("result: accepted (0)"), 2u);
  EXPECT_EQ(times("result-source-diagnostic: service-user (1)"), 2u);
  EXPECT_EQ(times("abort-source: service-user (0)"), 1u);
}

}  // namespace
