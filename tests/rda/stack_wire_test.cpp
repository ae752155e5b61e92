// Two RDA stacks joined through the real presentation and session layers:
// side A activated in the client role, side B in the server role, each with
// its own record set, over the in-memory session wire and over loopback TCP
// (each side on a thread of its own). A associates with B in the
// "X/OPEN Basic" context, opens and closes a dialogue with R-Initialize and
// R-Terminate that B answers, and releases; a second association ends with
// A's abort. tshark's dissectors read the traffic down to the ACSE APDUs.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/gidu.h"
#include "src/asn1/rda_idu.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ps_ssu.h"
#include "src/presentation/users.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_aetls.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rda/rdatls.h"
#include "src/runtime/xm.h"
#include "support/recordset.h"
#include "src/runtime/qvinfo.h"
#include "src/session/tp0tcp.h"
#include "support/session_wire.h"
#include "support/side_thread.h"
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

constexpr int kA = 0;  // the client
constexpr int kB = 1;  // the server

SessionWire* gWire = nullptr;
int ucb[2];
int acb[2];

// What each side's user got; the GIDUs live as long as the side's records.
// The side is the wire's current one, or the side of the thread.
std::mutex gGotLock;
std::map<int, std::vector<GIDU*>> gGot;

void user(GIDU* g) {
  std::lock_guard<std::mutex> hold(gGotLock);
  gGot[gWire != nullptr ? gWire->current() : SideThread::current()].push_back(g);
}

size_t gotCount(int side) {
  std::lock_guard<std::mutex> hold(gGotLock);
  return gGot[side].size();
}

GIDU* lastGot(int side) {
  std::lock_guard<std::mutex> hold(gGotLock);
  return gGot[side].empty() ? nullptr : gGot[side].back();
}

// The side's Activate request: AP title {1 2 3} qualifier 7 on P-selector
// "A" in the client role, or {1 2 4} qualifier 9 on "B" as the server.
GIDU* activateReq(int side) {
  GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, AL_ACT_REQ);
  auto* idu = static_cast<RDAIdu*>(_xm_allocItemWithTree(sizeof(RDAIdu), XM_ZERO));
  XmTree* t = xm_getParentOfItem(idu);
  _xm_moveTree(xm_getParentOfItem(g), t);
  idu->tag = RDA_ACTIVATE_REQ;
  auto* p = static_cast<UL_AEId*>(_xm_allocItem(t, sizeof(UL_AEId), XM_ZERO));
  p->mask = UL_AEID_APTITLE | UL_AEID_AEQUAL | UL_AEID_AEINVOKE | UL_AEID_APINVOKE;
  p->pAddress.mask = UL_PADDR_PSEL;
  p->pAddress.pSel = OctStgV{1, side == kA ? kPselA : kPselB};
  auto* n = static_cast<UL_NaddrEntry*>(_xm_allocItem(t, sizeof(UL_NaddrEntry), XM_ZERO));
  n->addr = OctStgV{4, kNaddr};
  n->links.next = n->links.prev = &p->pAddress.nAddrs.links;
  p->pAddress.nAddrs.links.next = p->pAddress.nAddrs.links.prev = &n->links;
  p->pAddress.nAddrs.count = 1;
  p->apTitle.kind = UL_TITLE_OBJID;
  p->apTitle.objId = ObjIdV{3, side == kA ? kTitleA : kTitleB};
  p->aeQual = UL_AEQual{UL_QUAL_INTEGER, {side == kA ? 7 : 9}};
  auto* act = static_cast<RDAActData*>(_xm_allocItem(t, sizeof(RDAActData), XM_ZERO));
  act->flag = side == kA ? 0 : 1;
  idu->activate = RDAActivate_Req{p, act};
  g->idu = idu;
  g->ue = &ucb[side];
  return g;
}

// Initialises the side's entity and activates it: its invocation, or NULL.
AeiCB* activateSide(int side) {
  if (rda_aeInit() != 1) return nullptr;
  rda_aeSnd(activateReq(side), user);
  GIDU* cnf = lastGot(side);
  if (cnf == nullptr || cnf->event != AL_ACT_CNF || cnf->errNo != 0) return nullptr;
  return static_cast<AeiCB*>(cnf->pe);
}

// A's A-ASSOCIATE request to B, as the service user hands it to the
// entity; with a port, B is reached over TCP on 127.0.0.1.
GIDU* assocReq(AeiCB* aei, int port) {
  GIDU* g = al_createGidu(nullptr, AL_IDU_ACSE, AL_A_ASSOC_REQ);
  auto* apdu = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
  XmTree* t = xm_getParentOfItem(apdu);
  _xm_moveTree(xm_getParentOfItem(g), t);
  apdu->code = AC_APDU_AARQ;
  AcAarq& a = apdu->aarq;
  a.presence = AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AE_QUAL | AC_AARQ_CALLING_AP_TITLE | AC_AARQ_CALLING_AE_QUAL |
               AC_AARQ_CONN_PARAMS;
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
  UL_Paddress& called = cp.calledAddress;
  called.mask = UL_PADDR_PSEL | UL_PADDR_SSEL;
  called.pSel = OctStgV{1, kPselB};
  called.sSel = OctStgV{2, kSselB};
  called.nAddrs.links.next = called.nAddrs.links.prev = &called.nAddrs.links;
  if (port != 0) {
    auto* tsel = static_cast<uint8_t*>(_xm_allocItem(t, 2, XM_ZERO));
    tsel[0] = static_cast<uint8_t>(port >> 8);
    tsel[1] = static_cast<uint8_t>(port & 0xFF);
    called.mask |= UL_PADDR_TSEL;
    called.tSel = OctStgV{2, tsel};
    auto* n = static_cast<UL_NaddrEntry*>(_xm_allocItem(t, sizeof(UL_NaddrEntry), XM_ZERO));
    n->addr = OctStgV{4, kNaddr};
    n->links.next = n->links.prev = &called.nAddrs.links;
    called.nAddrs.links.next = called.nAddrs.links.prev = &n->links;
    called.nAddrs.count = 1;
  }
  cp.sessRequirements = SR_DUPLEX;
  cp.transportClass = 0;
  g->idu = apdu;
  g->ue = &ucb[kA];
  g->pe = aei;
  g->uc = &acb[kA];
  return g;
}

// The ACSE view of one association that opened and closed a dialogue and
// was released, and of one that was aborted.
const std::vector<std::string> kAcseTexts = {
    " bytes on wire ", "    aarq\n", "    aare\n", "    rlrq", "    rlre", "    abrt\n",
    "aSO-context-name: 1.2.826.0.1050.3.2.2.1", "ap-title-form2: 1.2.4", "ap-title-form2: 1.2.3",
    "aso-qualifier-form2: 9", "result: accepted (0)", "result-source-diagnostic: service-user (1)",
    "abort-source: service-user (0)"};

// `units`: the number of TPKTs when only the session units count (the
// in-memory wire); 0 over TCP, where the transport's own TPDUs travel too.
void expectAcse(std::map<std::string, size_t> times, size_t units) {
  if (units != 0) {
    EXPECT_EQ(times[" bytes on wire "], units);
  }
  EXPECT_EQ(times["    aarq\n"], 2u);
  EXPECT_EQ(times["    aare\n"], 2u);
  EXPECT_EQ(times["    rlrq"], 1u);
  EXPECT_EQ(times["    rlre"], 1u);
  EXPECT_EQ(times["    abrt\n"], 1u);
  EXPECT_EQ(times["aSO-context-name: 1.2.826.0.1050.3.2.2.1"], 4u);
  EXPECT_EQ(times["ap-title-form2: 1.2.4"], 2u) << "called AP title";
  EXPECT_EQ(times["ap-title-form2: 1.2.3"], 2u) << "calling AP title";
  EXPECT_EQ(times["aso-qualifier-form2: 9"], 2u);
  EXPECT_EQ(times["result: accepted (0)"], 2u);
  EXPECT_EQ(times["result-source-diagnostic: service-user (1)"], 2u);
  EXPECT_EQ(times["abort-source: service-user (0)"], 1u);
}

// The two stacks as a test drives them: `send` makes a GIDU on a side with
// `build`, hands it to that side's entity, and returns what the other
// side's user got next (NULL when nothing came).
struct Peers {
  std::function<GIDU*(int side, const std::function<GIDU*()>& build)> send;
  AeiCB* aei[2];
};

// A's association with B (at `port` over TCP), accepted: the confirm A got.
GIDU* associate(Peers& p, int port) {
  GIDU* ind = p.send(kA, [&] { return assocReq(p.aei[kA], port); });
  EXPECT_NE(ind, nullptr);
  if (ind == nullptr) return nullptr;
  EXPECT_EQ(ind->event, AL_A_ASSOC_IND);
  EXPECT_EQ(ind->ue, &ucb[kB]);
  EXPECT_EQ(ind->pe, p.aei[kB]);
  const ObjIdV ctx{9, kXopenBasic};
  GIDU* cnf = p.send(kB, [&] { return rda_createAssocRsp(ind, &ctx, AC_RESULT_ACCEPTED, nullptr, SR_DUPLEX); });
  EXPECT_NE(cnf, nullptr);
  if (cnf == nullptr) return nullptr;
  EXPECT_EQ(cnf->event, AL_A_ASSOC_CNF);
  EXPECT_EQ(cnf->uc, &acb[kA]);
  EXPECT_EQ(cnf->ue, &ucb[kA]);
  EXPECT_EQ(cnf->pe, p.aei[kA]);
  return cnf;
}

// A dialogue opened and closed on the association of `cnf`, then its
// release.
void dialogueAndRelease(Peers& p, GIDU* cnf) {
  static uint8_t suffix[] = {0x01, 0x02};
  const OctStgV dlg{2, suffix};
  GIDU* ind = p.send(kA, [&] {
    return rda_createSQLInitReq(cnf, 1, &dlg, "tester", nullptr, nullptr, 0, nullptr, nullptr);
  });
  ASSERT_NE(ind, nullptr);
  EXPECT_EQ(ind->event, RDA_INIT_IND);
  GIDU* rsp = p.send(kB, [&] { return rda_createSQLInitRsp(ind, 1, 0, nullptr, nullptr, 0, nullptr); });
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(rsp->event, RDA_INIT_CNF);
  // The dialogue ends before the association may be released.
  ind = p.send(kA, [&] { return rda_createSQLTermReq(cnf, 2); });
  ASSERT_NE(ind, nullptr);
  EXPECT_EQ(ind->event, RDA_TERM_IND);
  rsp = p.send(kB, [&] { return rda_createSQLTermRsp(ind, 2); });
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(rsp->event, RDA_TERM_CNF);
  ind = p.send(kA, [&] { return rda_createRelReq(cnf, nullptr); });
  ASSERT_NE(ind, nullptr);
  EXPECT_EQ(ind->event, AL_A_RELEASE_IND);
  GIDU* rel = p.send(kB, [&] { return rda_createRelRsp(ind, nullptr, 0); });
  ASSERT_NE(rel, nullptr);
  EXPECT_EQ(rel->event, AL_A_RELEASE_CNF);
}

void abortAssociation(Peers& p, GIDU* cnf) {
  GIDU* abort = p.send(kA, [&] { return rda_createAbortReq(cnf); });
  ASSERT_NE(abort, nullptr);
  EXPECT_EQ(abort->event, AL_A_ABORT_IND);
}

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

  void activate(SessionWire& w, SessionWire::Side side) {
    w.enter(side);
    aei_[side] = activateSide(side);
    ASSERT_NE(aei_[side], nullptr) << QvGetOsiError();
  }

  // Sends on the side and delivers what follows; the last GIDU the other
  // side's user got, when it got one.
  GIDU* exchange(SessionWire& w, SessionWire::Side side, const std::function<GIDU*()>& build) {
    const SessionWire::Side other = side == SessionWire::A ? SessionWire::B : SessionWire::A;
    const size_t before = gotCount(other);
    w.enter(side);
    GIDU* g = build();
    EXPECT_NE(g, nullptr);
    if (g == nullptr) return nullptr;
    rda_aeSnd(g, nullptr);
    w.pump();
    capture(w);
    return gotCount(other) > before ? lastGot(other) : nullptr;
  }

  // Units sent since the last call, A's then B's, as TPKTs.
  void capture(SessionWire& w) { w.takeTpkts(&traffic_); }

  AeiCB* aei_[2] = {nullptr, nullptr};
  std::vector<CapturedTpkt> traffic_;
};

TEST_F(StackWire, AssociateInitializeReleaseAndAbort) {
  SessionWire w(kPoolSize, ps_ssu);
  w.confirms = true;
  gWire = &w;
  activate(w, SessionWire::A);
  activate(w, SessionWire::B);
  ASSERT_FALSE(HasFatalFailure());
  Peers p{[&](int side, const std::function<GIDU*()>& build) {
            return exchange(w, static_cast<SessionWire::Side>(side), build);
          },
          {aei_[kA], aei_[kB]}};

  GIDU* cnf = associate(p, 0);
  ASSERT_NE(cnf, nullptr);
  dialogueAndRelease(p, cnf);
  ASSERT_FALSE(HasFatalFailure());
  for (int side : {kA, kB}) EXPECT_EQ(RDA_aeSaoCount(aei_[side]), 0u) << side;

  cnf = associate(p, 0);
  ASSERT_NE(cnf, nullptr);
  abortAssociation(p, cnf);
  for (int side : {kA, kB}) EXPECT_EQ(RDA_aeSaoCount(aei_[side]), 0u) << side;
  EXPECT_EQ(plist.count, 0u) << "no presentation connection is left";

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  // Two associations, two dialogue exchanges, a release and an abort.
  expectAcse(decodeCleanly(traffic_, 102, kAcseTexts), 11);
}

// The client aborts while the server's user still holds an indication: the
// A-ASSOCIATE indication (the called presentation connection has no
// reference for the association yet), or an R-Initialize indication. The
// abort reaches the server's user, no association or presentation
// connection is left on either side, and the answer the user sends
// afterwards goes nowhere: nothing of the freed association is touched (the
// sanitizer build reports any such access) and nothing reaches the client.
TEST_F(StackWire, AnAbortWhileTheServerHoldsAnIndicationEndsItAndTheAnswerGoesNowhere) {
  SessionWire w(kPoolSize, ps_ssu);
  w.confirms = true;
  gWire = &w;
  activate(w, SessionWire::A);
  activate(w, SessionWire::B);
  ASSERT_FALSE(HasFatalFailure());
  Peers p{[&](int side, const std::function<GIDU*()>& build) {
            return exchange(w, static_cast<SessionWire::Side>(side), build);
          },
          {aei_[kA], aei_[kB]}};
  static uint8_t suffix[] = {0x01, 0x02};
  const OctStgV dlg{2, suffix};
  const ObjIdV ctx{9, kXopenBasic};
  for (const bool associated : {false, true}) {
    SCOPED_TRACE(associated ? "R-Initialize held" : "A-ASSOCIATE held");
    GIDU* held = nullptr;
    GIDU* ref = nullptr;  // the client's view of its association
    if (associated) {
      ref = associate(p, 0);
      ASSERT_NE(ref, nullptr);
      held = p.send(kA, [&] {
        return rda_createSQLInitReq(ref, 1, &dlg, "tester", nullptr, nullptr, 0, nullptr, nullptr);
      });
      ASSERT_NE(held, nullptr);
      ASSERT_EQ(held->event, RDA_INIT_IND);
    } else {
      held = p.send(kA, [&] { return assocReq(p.aei[kA], 0); });
      ASSERT_NE(held, nullptr);
      ASSERT_EQ(held->event, AL_A_ASSOC_IND);
      ASSERT_EQ(RDA_aeSaoCount(aei_[kA]), 1u);
      ref = al_createGidu(nullptr, AL_IDU_ACSE, AL_A_ASSOC_CNF);
      ref->ue = &ucb[kA];
      ref->pe = aei_[kA];
      ref->uc = &acb[kA];
      ref->pc = aei_[kA]->saoList.links.next;
      gGot[kA].push_back(ref);  // goes with the side's records
    }
    GIDU* abort = p.send(kA, [&] { return rda_createAbortReq(ref); });
    ASSERT_NE(abort, nullptr) << "the server's user is told";
    EXPECT_EQ(abort->event, AL_A_ABORT_IND);
    for (int side : {kA, kB}) EXPECT_EQ(RDA_aeSaoCount(aei_[side]), 0u) << side;
    EXPECT_EQ(plist.count, 0u) << "no presentation connection is left";
    const size_t clientGot = gotCount(kA);
    GIDU* answer = p.send(kB, [&] {
      return associated ? rda_createSQLInitRsp(held, 1, 0, nullptr, nullptr, 0, nullptr)
                        : rda_createAssocRsp(held, &ctx, AC_RESULT_ACCEPTED, nullptr, SR_DUPLEX);
    });
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(gotCount(kA), clientGot);
    EXPECT_EQ(plist.count, 0u);
  }
}

// A server whose presentation layer does not know the X/Open RDA syntax
// accepts the connection but refuses that context: the client's user gets
// a rejecting A-ASSOCIATE confirm with a diagnostic (not an association on
// which the first R-Initialize fails), and the connection is aborted, so
// that neither side is left with an association or a connection.
TEST_F(StackWire, AServerThatRefusesTheRdaContextGivesARejectedAssociation) {
  SessionWire w(kPoolSize, ps_ssu);
  w.confirms = true;
  gWire = &w;
  activate(w, SessionWire::A);
  w.enter(SessionWire::B);
  RdaAeTLS* tls = getRdaAeTLS(0);
  ASSERT_NE(tls, nullptr);
  ASSERT_EQ(tls->asxTbl[2].aseId, kRdaIduType) << "the X/Open row";
  tls->asxTbl[2].arcCount = 0;  // the table ends before it: its syntax is never registered
  activate(w, SessionWire::B);
  ASSERT_FALSE(HasFatalFailure());
  Peers p{[&](int side, const std::function<GIDU*()>& build) {
            return exchange(w, static_cast<SessionWire::Side>(side), build);
          },
          {aei_[kA], aei_[kB]}};
  GIDU* ind = p.send(kA, [&] { return assocReq(p.aei[kA], 0); });
  ASSERT_NE(ind, nullptr);
  ASSERT_EQ(ind->event, AL_A_ASSOC_IND);
  const ObjIdV ctx{9, kXopenBasic};
  GIDU* cnf = p.send(kB, [&] { return rda_createAssocRsp(ind, &ctx, AC_RESULT_ACCEPTED, nullptr, SR_DUPLEX); });
  ASSERT_NE(cnf, nullptr);
  EXPECT_EQ(cnf->event, AL_A_ASSOC_CNF);
  const AcAare& aare = static_cast<const AcseApdu*>(cnf->idu)->aare;
  EXPECT_EQ(aare.result, AC_RESULT_REJECTED_PERMANENT);
  EXPECT_EQ(aare.resultSource, AC_SOURCE_PROVIDER);
  EXPECT_EQ(aare.diagnostic, 1u) << "no reason given";
  w.pump();
  for (int side : {kA, kB}) EXPECT_EQ(RDA_aeSaoCount(aei_[side]), 0u) << side;
  EXPECT_EQ(plist.count, 0u) << "the connection is aborted";
  EXPECT_EQ(lastGot(kB)->event, AL_A_PABORT_IND) << "the server's user is told of the abort";
}

// The server's presentation layer sends a bare user abort (an ARU-PPDU
// without user data, as any peer's P-U-ABORT may come): the client's user
// gets an A-ABORT indication and no association is left on either side.
TEST_F(StackWire, ABareUserAbortIsAnAAbortIndicationForTheClient) {
  SessionWire w(kPoolSize, ps_ssu);
  w.confirms = true;
  gWire = &w;
  activate(w, SessionWire::A);
  activate(w, SessionWire::B);
  ASSERT_FALSE(HasFatalFailure());
  Peers p{[&](int side, const std::function<GIDU*()>& build) {
            return exchange(w, static_cast<SessionWire::Side>(side), build);
          },
          {aei_[kA], aei_[kB]}};
  ASSERT_NE(associate(p, 0), nullptr);
  ASSERT_EQ(RDA_aeSaoCount(aei_[kB]), 1u);
  void* serverConnection = static_cast<SaoCB*>(aei_[kB]->saoList.links.next)->pconn;
  const size_t before = gotCount(kA);
  w.enter(SessionWire::B);
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
  static_cast<PIDU*>(g->idu)->event = P_UAB_REQ;
  g->pc = serverConnection;
  EXPECT_EQ(psp(g), 1u);
  w.pump();
  ASSERT_EQ(gotCount(kA), before + 1);
  EXPECT_EQ(lastGot(kA)->event, AL_A_ABORT_IND);
  EXPECT_EQ(lastGot(kA)->iduType, AL_IDU_ACSE);
  EXPECT_EQ(RDA_aeSaoCount(aei_[kA]), 0u) << "the client holds no SaoCB";
  EXPECT_EQ(plist.count, 0u);
}

// Over TCP: each side on a thread of its own with its own record set,
// session layer and buffer pool; the presentation layer is the process's.
class StackTcp : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    savedQuiet_ = giQuietMode;
    giQuietMode = 1;
    char tmpl[] = "/tmp/rdatcpXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    iniFile_ = dir_ + "/mirodel.ini";
    std::ofstream(iniFile_) << "[COMMON]\nqv_root=" << dir_ << "\n[SERVER]\nForkOnConnect=0\n";
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, iniFile_.c_str()), 1);
    UL_Paddress local{};
    local.mask = kPsInitSsel;
    local.sSel = OctStgV{2, const_cast<uint8_t*>(kCallingSel.ssap.sel)};
    ASSERT_EQ(init_presentation(&local, nullptr, nullptr, nullptr), 1);
    gGot.clear();
  }
  void TearDown() override {
    gGot.clear();
    init_pmgmt();
    pP = nullptr;
    giQuietMode = savedQuiet_;
    std::filesystem::remove_all(dir_);
    RecordSetTest::TearDown();
  }

  static const SSAPaddr kCallingSel;
  static const SSAPaddr kCalledSel;
  std::string dir_;
  std::string iniFile_;
  int32_t savedQuiet_ = 0;
};

const SSAPaddr StackTcp::kCallingSel = [] {
  SSAPaddr a{};
  a.ssap.len = 2;
  a.ssap.sel[1] = 0x01;
  return a;
}();
const SSAPaddr StackTcp::kCalledSel = [] {
  SSAPaddr a{};
  a.ssap.len = 2;
  std::memcpy(a.ssap.sel, kSselB, 2);
  return a;
}();

TEST_F(StackTcp, AssociateInitializeReleaseAndAbortOverLoopback) {
  std::vector<CapturedTpkt> first, second;
  int serverPort = 0;
  {
    SideThread server(kB, iniFile_, &kCalledSel, true, kPoolSize, ps_ssu);
    ASSERT_TRUE(server.ok()) << "the server side could not listen";
    serverPort = server.port();
    SideThread client(kA, iniFile_, &kCallingSel, false, kPoolSize, ps_ssu);
    ASSERT_TRUE(client.ok());
    SideThread* thread[2] = {&client, &server};
    AeiCB* aei[2] = {nullptr, nullptr};
    for (int side : {kA, kB}) {
      thread[side]->call([&] {
        aei[side] = activateSide(side);
        return aei[side] != nullptr ? 1u : 0u;
      });
      ASSERT_NE(aei[side], nullptr) << side;
    }
    Peers p{[&](int side, const std::function<GIDU*()>& build) -> GIDU* {
              const int other = side == kA ? kB : kA;
              const size_t before = gotCount(other);
              const uint32_t sent = thread[side]->call([&] {
                GIDU* g = build();
                if (g == nullptr) return 0u;
                rda_aeSnd(g, nullptr);
                return 1u;
              });
              EXPECT_EQ(sent, 1u);
              if (sent == 0 || !waitFor([&] { return gotCount(other) > before; })) return nullptr;
              return lastGot(other);
            },
            {aei[kA], aei[kB]}};
    auto saoCount = [&](int side) { return thread[side]->call([&] { return RDA_aeSaoCount(aei[side]); }); };

    {
      RecordingRelay relay;
      ASSERT_TRUE(relay.ok());
      relay.start(serverPort);
      GIDU* cnf = associate(p, relay.port());
      ASSERT_NE(cnf, nullptr);
      dialogueAndRelease(p, cnf);
      ASSERT_FALSE(HasFatalFailure());
      EXPECT_TRUE(relay.finish(5)) << "both sides end the transport connection";
      first = relay.tpkts();
    }
    for (int side : {kA, kB}) EXPECT_EQ(saoCount(side), 0u) << side;

    {
      RecordingRelay relay;
      ASSERT_TRUE(relay.ok());
      relay.start(serverPort);
      GIDU* cnf = associate(p, relay.port());
      ASSERT_NE(cnf, nullptr);
      abortAssociation(p, cnf);
      EXPECT_TRUE(relay.finish(5)) << "both sides end the transport connection";
      second = relay.tpkts();
    }
    for (int side : {kA, kB}) EXPECT_EQ(saoCount(side), 0u) << side;
    EXPECT_EQ(client.call([] { return plist.count; }), 0u) << "no presentation connection is left";
  }

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  auto times = decodeCleanly(first, serverPort, kAcseTexts);
  for (const auto& [text, n] : decodeCleanly(second, serverPort, kAcseTexts)) times[text] += n;
  expectAcse(times, 0);
}

}  // namespace
