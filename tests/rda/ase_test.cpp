// The RDA service element on one association: its role set by the first
// event, the state checks run with the real actions, what goes on downward
// and upward (doubles of the SACF's two entries note it), local errors and
// quick aborts, the answers of the server role, and the management of the
// per-association control blocks.
#include <array>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "rda/rda_fixture.h"
#include "src/acse/sao.h"
#include "src/rda/rda_ase.h"
#include "src/rda/rda_aseact.h"
#include "src/rda/rda_asx.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rdatls.h"

namespace {

constexpr uint32_t k8208 = RDA_ERR_INV_SEQUENCE;
constexpr uint32_t k8213 = RDA_ERR_BASE + 21;
constexpr uint32_t kOther = RDA_ERR_BASE + 18;
constexpr int kIsoRow = 1;
constexpr int kXopenRow = 2;

// What reached one of the SACF entries.
struct Seen {
  bool down;  // rda_sacfSnd; else rda_sacfRcv
  GIDU* gidu;
  uint32_t event;
  uint32_t errNo;
  uint32_t state;  // of the association when the GIDU went on
};

// One event of a dialogue: sent by the local user or received, with the
// error value it carries, and the state and rollback-only flag after it.
struct Step {
  bool sent;
  RdaEventCode code;
  uint32_t value;
  uint32_t state;
  uint32_t flag;
};

uint32_t delivered(RdaEventCode apdu) { return (apdu & ~AL_EV_APDU) | AL_EV_DELIVERED; }

class RdaAse : public RdaGiduTest {
 protected:
  void SetUp() override {
    RdaGiduTest::SetUp();
    self = this;
    ASSERT_EQ(rda_aseInit(), 1);
    renew(kIsoRow);
  }
  void TearDown() override {
    endAssociation();
    EXPECT_EQ(rda_aseTerm(), 1);
    self = nullptr;
    RdaGiduTest::TearDown();
  }

  // A fresh association whose RDA context 1 is served by ASE row `row`
  // (ISO or X/Open) and whose ACSE context is 3; its peer's AE title is
  // {1 2 4} qualifier 9 with AE invocation 33.
  void renew(int row) {
    endAssociation();
    cb_ = static_cast<RDA_AseCB*>(rda_aseEstab());
    ASSERT_NE(cb_, nullptr);
    sao_ = SaoCB{};
    pctx_ = {};
    pctx_[1] = PctxEntry{&RDA_asxTBL[row], kRdaIduType, cb_, 0};
    pctx_[3] = PctxEntry{&RDA_asxTBL[0], AL_IDU_ACSE, nullptr, 0};
    sao_.pctxTbl = pctx_.data();
    sao_.sacfSnd = down;
    sao_.sacfRcv = up;
    sao_.qabortReq = al_createGidu(nullptr, AL_IDU_NONE, AL_QABORT);
    sao_.qabortInd = al_createGidu(nullptr, AL_IDU_NONE, AL_QABORT);
    setPeer({1, 2, 4, 9});
    sao_.idFlags = SAO_ID_AEINVOKE;
    sao_.peerAeInvoke = 33;
    sao_.peerApInvoke = 44;
  }
  void setPeer(std::vector<uint32_t> arcs) {
    peerArcs_ = std::move(arcs);
    sao_.peerTitle.kind = UL_TITLE_OBJID;
    sao_.peerTitle.objId = ObjIdV{static_cast<uint32_t>(peerArcs_.size()), peerArcs_.data()};
  }
  void endAssociation() {
    forget();
    al_deleteGidu(sao_.qabortReq);
    al_deleteGidu(sao_.qabortInd);
    sao_.qabortReq = sao_.qabortInd = nullptr;
    if (cb_ != nullptr) {
      EXPECT_EQ(rda_aseRel(cb_, 0), 1);
    }
    cb_ = nullptr;
  }
  void forget() {
    for (const Seen& s : seen) al_deleteGidu(s.gidu);
    seen.clear();
  }

  GIDU* make(RdaEventCode code, uint32_t value = 0) {
    GIDU* g = rdaElementGidu(tmpl_, code, value);
    if (g != nullptr) g->uc = &sao_;
    return g;
  }
  void send(RdaEventCode code, uint32_t value = 0) { rda_aseSnd(make(code, value), pctx_.data(), cb_, &sao_); }
  void receive(RdaEventCode code, uint32_t value = 0) { rda_aseRcv(make(code, value), pctx_.data(), cb_, &sao_); }

  uint32_t state() const { return cb_->stateCk->state; }

  // Each step goes on alone, in its APDU form downward or its delivered
  // form upward.
  template <size_t N>
  void play(const Step (&steps)[N]) {
    for (const Step& st : steps) {
      SCOPED_TRACE(testing::Message() << "code " << std::hex << st.code << " value " << st.value);
      if (st.sent) send(st.code, st.value);
      else receive(st.code, st.value);
      const Seen& out = only();
      EXPECT_EQ(out.down, st.sent);
      EXPECT_EQ(out.event, st.sent ? st.code | AL_EV_APDU : delivered(st.code));
      EXPECT_EQ(state(), st.state);
      EXPECT_EQ(cb_->stateCk->rollbackOnly, st.flag);
      forget();
    }
  }
  // Installs a role by its first event and puts the association in `s`.
  void client(uint32_t s) {
    if (cb_->role == RDA_ASE_ROLE_NONE) send(RDA_INIT_REQ);
    forget();
    cb_->stateCk->state = s;
  }
  void server(uint32_t s) {
    if (cb_->role == RDA_ASE_ROLE_NONE) receive(0x8008);
    forget();
    cb_->stateCk->state = s;
  }

  // The one GIDU that went on since the last forget().
  const Seen& only() {
    EXPECT_EQ(seen.size(), 1u);
    static const Seen none{};
    return seen.empty() ? none : seen.back();
  }
  static const AeHDR* hdrOf(const Seen& s) { return static_cast<const AeHDR*>(s.gidu->idu); }
  static const RDAIdu* iduOf(const Seen& s) { return static_cast<const RDAIdu*>(hdrOf(s)->wrapped); }
  // The octets of the IDU under a GIDU's header, by a family's encoder.
  static Bytes wireUnder(const Seen& s, AaFormatFn format) {
    GIDU view{};
    view.idu = hdrOf(s)->wrapped;
    return wireOf(&view, format);
  }

  static void note(bool isDown, GIDU* g) {
    self->seen.push_back({isDown, g, g->event, g->errNo, self->cb_ != nullptr ? self->cb_->stateCk->state : 0});
  }
  static void down(GIDU* g) { note(true, g); }
  static void up(GIDU* g) {
    note(false, g);
    if (self->onUp) {
      auto hook = std::move(self->onUp);
      self->onUp = nullptr;
      hook();
    }
  }

  static inline RdaAse* self = nullptr;
  RDA_AseCB* cb_ = nullptr;
  SaoCB sao_{};
  std::array<PctxEntry, kPctxEntries> pctx_{};
  std::vector<uint32_t> peerArcs_;
  std::vector<Seen> seen;
  std::function<void()> onUp;  // runs once inside the next upward delivery
};

TEST_F(RdaAse, TheFirstEventSentMustBeAnInitializeRequest) {
  send(0x8070);
  const Seen& refused = only();
  EXPECT_FALSE(refused.down);
  EXPECT_EQ(refused.event, AL_LOCERR_IND);
  EXPECT_EQ(refused.errNo, RDA_ASE_ERR_INVALID_SEQ);
  EXPECT_EQ(refused.gidu->idu, nullptr) << "the IDU is freed";
  EXPECT_EQ(cb_->role, RDA_ASE_ROLE_NONE);
  EXPECT_TRUE(traced("*** rda_aseSnd: Event is out of sequence"));
  forget();

  GIDU* init = make(RDA_INIT_REQ);
  static_cast<RDAIdu*>(static_cast<AeHDR*>(init->idu)->wrapped)->init_RI.req.mask = 0x11;
  rda_aseSnd(init, pctx_.data(), cb_, &sao_);
  const Seen& sent = only();
  EXPECT_TRUE(sent.down);
  EXPECT_EQ(sent.event, 0x8008u) << "APDU form";
  EXPECT_EQ(hdrOf(sent)->hdrWord1, 17u) << "P-DATA request";
  EXPECT_EQ(iduOf(sent)->init_RI.req.mask, 0x10u) << "the client invocation is never sent";
  EXPECT_EQ(sent.state, RDA_C_I) << "the state is stored after the pass";
  EXPECT_EQ(state(), RDA_CB);
  EXPECT_EQ(cb_->role, RDA_ASE_ROLE_CLIENT);
  EXPECT_EQ(cb_->stateCheck, &RDA_clientStateCk);
  EXPECT_EQ(cb_->stateCk->eventTbl, &RDA_aseClientEventTbl);
}

TEST_F(RdaAse, ClientRequestsAreSentOnlyWhereTheStateAllowsThem) {
  struct Case {
    RdaEventCode code;
    uint32_t accepted;  // states as bits
    uint32_t next;
  };
  constexpr uint32_t U = kRdaStateUnchanged;
  constexpr uint32_t kOps = 1u << RDA_CA | 1u << RDA_CT;
  const Case cases[] = {
      {0x8000, 1u << RDA_C_I, RDA_CB},
      {0x8010, 1u << RDA_CA, RDA_CE},
      {0x8020, 1u << RDA_CA, RDA_CT},
      {0x8030, 1u << RDA_CT | 1u << RDA_CN, RDA_CC},  // in CN only these two
      {0x8040, 1u << RDA_CT | 1u << RDA_CN, RDA_CR},
      {0x8050, kOps, U}, {0x8060, kOps, U}, {0x8070, kOps, U}, {0x8080, kOps, U},
      {0x8090, kOps, U}, {0x80A0, kOps, U}, {0x80B0, kOps, U}, {0x80C0, kOps, U},
  };
  client(RDA_C_I);
  for (const Case& c : cases) {
    for (uint32_t s = 0; s < kRdaClientStates; ++s) {
      SCOPED_TRACE(testing::Message() << std::hex << c.code << " in " << RDA_getClientState(s));
      cb_->stateCk->state = s;
      send(c.code);
      const Seen& out = only();
      if ((c.accepted >> s & 1u) != 0) {
        EXPECT_TRUE(out.down);
        EXPECT_EQ(out.event, c.code | AL_EV_APDU);
        EXPECT_EQ(state(), c.next == U ? s : c.next);
      } else {
        EXPECT_FALSE(out.down);
        EXPECT_EQ(out.event, AL_LOCERR_IND);
        EXPECT_EQ(out.errNo, RDA_ASE_ERR_BLANK_CELL);
        EXPECT_EQ(state(), s);
      }
      forget();
    }
  }
}

// The rollback-only flag in both families: set by an error value 8213 in a
// transaction, read by the next R-Commit or R-Rollback error, cleared by
// R-BeginTransaction. The error value is read from each service's own
// record, so an 8208 answer of R-Commit, R-Rollback and R-BeginTransaction
// is told apart from their other errors in either family.
TEST_F(RdaAse, TransactionsAndTheRollbackOnlyFlagInBothFamilies) {
  const Step steps[] = {
      {true, 0x8000, 0, RDA_CB, 0},       {false, 0x80DA, 0, RDA_CA, 0},
      {true, 0x8020, 0, RDA_CT, 0},       {false, 0x823A, k8213, RDA_CN, 1},
      // Out of sequence: back to the state before the request.
      {true, 0x8030, 0, RDA_CC, 1},       {false, 0x81DA, k8208, RDA_CT, 1},
      {true, 0x8030, 0, RDA_CC, 1},       {false, 0x81DA, kOther, RDA_CN, 1},
      {true, 0x8040, 0, RDA_CR, 1},       {false, 0x81EA, k8208, RDA_CT, 1},
      {true, 0x8040, 0, RDA_CR, 1},       {false, 0x81EA, kOther, RDA_CN, 1},
      {true, 0x8040, 0, RDA_CR, 1},       {false, 0x811A, 0, RDA_CA, 1},
      {true, 0x8020, 0, RDA_CT, 0},       {false, 0x81CA, k8208, RDA_CT, 0},  // no R-Synchronize
      {true, 0x8030, 0, RDA_CC, 0},       {false, 0x81DA, kOther, RDA_CT, 0},
      {true, 0x8030, 0, RDA_CC, 0},       {false, 0x810A, 0, RDA_CA, 0},
  };
  for (int row : {kIsoRow, kXopenRow}) {
    renew(row);
    SCOPED_TRACE(testing::Message() << "row " << row);
    play(steps);
    EXPECT_EQ(cb_->stateCk->family, row == kXopenRow ? RdaFamily::Xopen : RdaFamily::Iso);
  }
}

// An error 8208 (taken out of sequence by the server) that answers the
// outstanding R-Initialize, R-Terminate, R-Commit or R-Rollback returns the
// dialogue to the state before that request, where the client goes on: it
// used to stay in CB, CE, CC or CR, where no request is accepted.
TEST_F(RdaAse, AnOutOfSequenceAnswerReturnsToTheStateBeforeItsRequest) {
  struct Case {
    const char* what;
    uint32_t from;
    Step request, answer, next;
  };
  const Case cases[] = {
      {"R-Initialize", RDA_C_I, {true, 0x8000, 0, RDA_CB, 0}, {false, 0x81AA, k8208, RDA_C_I, 0},
       {true, 0x8000, 0, RDA_CB, 0}},
      {"R-Terminate", RDA_CA, {true, 0x8010, 0, RDA_CE, 0}, {false, 0x81BA, k8208, RDA_CA, 0},
       {true, 0x8070, 0, RDA_CA, 0}},
      {"R-Commit", RDA_CT, {true, 0x8030, 0, RDA_CC, 0}, {false, 0x81DA, k8208, RDA_CT, 0},
       {true, 0x8090, 0, RDA_CT, 0}},
      {"R-Rollback", RDA_CT, {true, 0x8040, 0, RDA_CR, 0}, {false, 0x81EA, k8208, RDA_CT, 0},
       {true, 0x8030, 0, RDA_CC, 0}},
  };
  for (int row : {kIsoRow, kXopenRow}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << " row " << row);
      renew(row);
      client(c.from);
      const Step steps[] = {c.request, c.answer, c.next};
      play(steps);
    }
  }
}

TEST_F(RdaAse, ReceivedResponsesTheStateRefusesBecomeLocalErrors) {
  struct Case {
    const char* what;
    uint32_t state;
    RdaEventCode code;
    uint32_t value;
    bool deliveredAsConfirm;
  };
  const Case cases[] = {
      {"R-ExecuteDBL error 8213 in CA", RDA_CA, 0x823A, k8213, false},
      {"R-ExecuteDBL error 8213 in CE", RDA_CE, 0x823A, k8213, true},
      // The stored cell of an R-DefineDBL error 8208 in CB refuses it,
      // unlike its siblings.
      {"R-DefineDBL error 8208 in CB", RDA_CB, 0x824A, k8208, false},
      {"R-InvokeDBL error 8208 in CB", RDA_CB, 0x825A, k8208, true},
      {"R-Commit response in CT", RDA_CT, 0x810A, 0, false},
  };
  client(RDA_C_I);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cb_->stateCk->state = c.state;
    receive(c.code, c.value);
    const Seen& out = only();
    EXPECT_FALSE(out.down);
    EXPECT_EQ(out.event, c.deliveredAsConfirm ? delivered(c.code) : AL_LOCERR_IND);
    if (!c.deliveredAsConfirm) {
      EXPECT_EQ(out.errNo, RDA_ASE_ERR_BLANK_CELL);
    }
    EXPECT_EQ(state(), c.state);
    EXPECT_EQ(cb_->stateCk->rollbackOnly, 0u);
    forget();
  }
  cb_->stateCk->state = RDA_CA;
  send(RDA_INIT_REQ);
  EXPECT_EQ(only().errNo, RDA_ASE_ERR_BLANK_CELL) << "a second R-Initialize";
  EXPECT_EQ(state(), RDA_CA);
}

TEST_F(RdaAse, EventsOfNoRoleAreRefusedSentAndAbortTheAssociationReceived) {
  client(RDA_CA);
  send(RDA_SUR_NXTEVENT_REQ);
  EXPECT_EQ(only().event, AL_LOCERR_IND);
  EXPECT_EQ(only().errNo, RDA_ERR_INVALID_EVENT_TYPE);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ERR_INVALID_EVENT_TYPE));
  forget();

  // A private [99] decoded from the wire: its code lies beyond the tables.
  const long before = liveBlocks.load();
  receive(0x18318);
  ASSERT_EQ(seen.size(), 2u);
  for (const Seen& s : seen) {
    EXPECT_EQ(s.event, AL_QABORT);
    EXPECT_EQ(s.errNo, RDA_ERR_INVALID_EVENT_TYPE);
  }
  EXPECT_TRUE(seen[0].down != seen[1].down) << "both ways";
  EXPECT_EQ(liveBlocks.load(), before) << "the received GIDU is deleted";
  EXPECT_NE(sao_.saoFlags & SAO_DELETE_PENDING, 0u);
  EXPECT_EQ(state(), RDA_CA);
}

TEST_F(RdaAse, AFailedBeginTransactionIsConfirmedAndAnsweredWithSynchronize) {
  for (uint32_t s : {RDA_CT, RDA_CC, RDA_CR}) {
    SCOPED_TRACE(RDA_getClientState(s));
    client(s);
    receive(0x81CA, kOther);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].down) << "the error confirm climbs first";
    EXPECT_EQ(seen[0].event, 0x81C6u);
    EXPECT_EQ(seen[0].state, s);
    const Seen& sync = seen[1];
    EXPECT_TRUE(sync.down);
    EXPECT_EQ(sync.event, RDA_EMPTY_EVENT);
    EXPECT_EQ(sync.gidu->iduType, kRdaIduType);
    EXPECT_EQ(sync.gidu->uc, &sao_);
    EXPECT_EQ(sync.gidu->ue, &ue_);
    EXPECT_EQ(hdrOf(sync)->hdrWord1, 17u);
    EXPECT_EQ(hdrOf(sync)->hdrOrigin, 4u);
    EXPECT_EQ(hdrOf(sync)->pctxId, 1u) << "sent in the RDA context of the response";
    EXPECT_EQ(wireUnder(sync, fRDAIdu), hex("82 00"));
    EXPECT_EQ(state(), RDA_CA);
    forget();
  }
}

TEST_F(RdaAse, NoMemoryForTheSynchronizeRequestAbortsTheAssociation) {
  std::set<std::string> failures;
  for (int n = 0;; ++n) {
    ASSERT_LT(n, 20);
    renew(kIsoRow);
    client(RDA_CT);
    quietEntries();
    trace().clear();
    const long before = liveBlocks.load();
    GIDU* g = make(0x81CA, kOther);
    {
      FailingAlloc fail(n);
      rda_aseRcv(g, pctx_.data(), cb_, &sao_);
    }
    if (seen.size() == 2 && seen[1].event == RDA_EMPTY_EVENT) break;
    SCOPED_TRACE(n);
    ASSERT_EQ(seen.size(), 2u);
    for (const Seen& s : seen) {
      EXPECT_EQ(s.event, AL_QABORT);
      EXPECT_EQ(s.errNo, RDA_ASE_ERR_NO_RESOURCE);
    }
    EXPECT_EQ(liveBlocks.load(), before) << "both GIDUs deleted";
    EXPECT_EQ(state(), RDA_CT);
    for (const char* line : {"*** action14and6: Can't create R-Synchronize RI",
                             "*** action14and6: Can't create AeHDR for R-Synchronize RI"})
      if (traced(line)) failures.insert(line);
  }
  EXPECT_EQ(failures.size(), 2u);
}

// The state stored by an action is not seen by what runs inside the
// continuation: a user that sends from its receive callback is checked
// against the old state.
TEST_F(RdaAse, TheNewStateIsStoredAfterTheContinuationReturns) {
  client(RDA_CB);
  uint32_t seenInside = 99;
  onUp = [&] {
    seenInside = state();
    send(0x8020);  // R-BeginTransaction: allowed in CA, not in CB
  };
  receive(0x80DA);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].event, 0x80D6u);
  EXPECT_EQ(seenInside, RDA_CB);
  EXPECT_EQ(seen[1].event, AL_LOCERR_IND);
  EXPECT_EQ(seen[1].errNo, RDA_ASE_ERR_BLANK_CELL);
  EXPECT_EQ(state(), RDA_CA);
}

TEST_F(RdaAse, ARefusedIndicationOrConfirmIsDropped) {
  client(RDA_CA);
  const long before = liveBlocks.load();
  GIDU* g = make(0x8106);
  EXPECT_EQ(RDA_aseBlank(cb_->stateCk, g, kRdaStateRefused), -1);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(liveBlocks.load(), before);
  EXPECT_EQ(state(), RDA_CA);
}

// ---------------------------------------------------------------------------
// Server role

TEST_F(RdaAse, TheFirstReceivedApduMakesTheAssociationAServer) {
  struct Case {
    std::vector<uint32_t> peer;
    std::vector<uint32_t> apTitle;
    int64_t aeQual;
  };
  const Case cases[] = {{{1, 2, 4, 9}, {1, 2, 4}, 9}, {{7}, {}, 7}, {{}, {}, 0}};
  for (const Case& c : cases) {
    renew(kIsoRow);
    setPeer(c.peer);
    receive(0x8008);
    const Seen& ind = only();
    EXPECT_FALSE(ind.down);
    EXPECT_EQ(ind.event, 0x8004u);
    EXPECT_EQ(ind.state, RDA_S_I);
    EXPECT_EQ(state(), RDA_SB);
    EXPECT_EQ(cb_->role, RDA_ASE_ROLE_SERVER);
    EXPECT_EQ(cb_->stateCheck, &RDA_serverStateCk);
    const RDAInit_Req& req = iduOf(ind)->init_RI.req;
    EXPECT_EQ(req.mask & 1u, 1u);
    EXPECT_EQ(req.client.apTitle.kind, UL_TITLE_OBJID);
    EXPECT_EQ(std::vector<uint32_t>(req.client.apTitle.objId.arcs,
                                    req.client.apTitle.objId.arcs + req.client.apTitle.objId.count),
              c.apTitle);
    EXPECT_EQ(req.client.aeQual.kind, UL_QUAL_INTEGER);
    EXPECT_EQ(req.client.aeQual.integer, c.aeQual);
    EXPECT_EQ(req.client.aeInvokeId, 33) << "present";
    EXPECT_EQ(req.client.apInvokeId, 0) << "absent";
  }

  renew(kIsoRow);
  quietEntries();
  GIDU* g = make(0x8008);
  {
    FailingAlloc fail(0);
    rda_aseRcv(g, pctx_.data(), cb_, &sao_);
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].errNo, RDA_ASE_ERR_NO_RESOURCE);
  EXPECT_EQ(seen[1].event, AL_QABORT);
  EXPECT_EQ(state(), RDA_S_I);
  EXPECT_TRUE(traced("*** action3: can't create apTitle"));
}

TEST_F(RdaAse, ARequestOutOfSequenceIsAnsweredWithTheInvalidSequenceError) {
  const Bytes opId = hex("02 01 05");
  const Bytes diag = hex("70 03 80 01");
  struct Case {
    uint32_t state;
    RdaEventCode request;
    RdaEventCode answer;
    uint8_t diag;
    Bytes wire;
  };
  const Case cases[] = {
      {RDA_SA, 0x8038, 0x81DA, 4, cx(8, opId + cx(1, diag + Bytes{4}))},
      {RDA_SA, 0x8008, 0x81AA, 3, cx(1, opId + cx(1, diag + Bytes{3}))},
      {RDA_ST, 0x8028, 0x81CA, 5, cx(6, opId + cx(0, diag + Bytes{5}))},
      {RDA_SC, 0x8048, 0x81EA, 6, cx(10, opId + cx(1, diag + Bytes{6}))},
      {RDA_SE, 0x8098, 0x823A, 7, cx(20, opId + cx(1, diag + Bytes{7}))},
      {RDA_S_I, 0x80C8, 0x826A, 1, cx(26, opId + cx(1, diag + Bytes{1}))},
  };
  for (int row : {kIsoRow, kXopenRow}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "row " << row << " request " << std::hex << c.request);
      renew(row);
      server(c.state);
      receive(c.request);
      const Seen& out = only();
      EXPECT_TRUE(out.down);
      EXPECT_EQ(out.event, c.answer);
      EXPECT_EQ(hdrOf(out)->hdrWord1, 17u);
      EXPECT_EQ(hdrOf(out)->hdrOrigin, 4u);
      EXPECT_EQ(hdrOf(out)->pctxId, 1u);
      const Bytes wire = wireUnder(out, row == kXopenRow ? fRDAXOPENIdu : fRDAIdu);
      EXPECT_EQ(wire, c.wire);
      EXPECT_NE(decoded(wire, row == kXopenRow ? aRDAXOPENIdu : aRDAIdu), nullptr);
      EXPECT_EQ(state(), c.state);
    }
  }
}

TEST_F(RdaAse, NoMemoryForTheInvalidSequenceAnswerAbortsTheAssociation) {
  server(RDA_SA);
  quietEntries();
  const long before = liveBlocks.load();
  GIDU* g = make(0x8038);
  {
    FailingAlloc fail(0);
    rda_aseRcv(g, pctx_.data(), cb_, &sao_);
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].event, AL_QABORT);
  EXPECT_EQ(seen[0].errNo, RDA_ASE_ERR_NO_RESOURCE);
  EXPECT_EQ(liveBlocks.load(), before);
  EXPECT_TRUE(traced("*** action1: Can't create invalidSequence error RC for"));
}

TEST_F(RdaAse, AfterAFailedBeginTransactionRequestsAreDroppedUntilTheClientAnswers) {
  server(RDA_ST);
  send(0x81C2, kOther);
  EXPECT_EQ(only().event, 0x81CAu);
  EXPECT_EQ(state(), RDA_SS);
  forget();
  for (RdaEventCode code : {0x8008u, 0x8018u, 0x8028u, 0x8038u, 0x8048u, 0x8098u}) {
    const long before = liveBlocks.load();
    receive(code);
    EXPECT_TRUE(seen.empty()) << std::hex << code;
    EXPECT_EQ(liveBlocks.load(), before);
    EXPECT_EQ(state(), RDA_SS);
  }
  EXPECT_TRUE(traced("is dropped according to the RDA Standard"));
  receive(0x80D8);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(state(), RDA_SA);
}

TEST_F(RdaAse, ServerTransactionsAndResponses) {
  const Step steps[] = {
      {false, 0x8028, 0, RDA_ST, 0},     {true, 0x8232, k8213, RDA_SN, 1},  // rollback only
      {false, 0x8038, 0, RDA_SC, 1},     {true, 0x81D2, kOther, RDA_SN, 1},
      {false, 0x8048, 0, RDA_SR, 1},     {true, 0x8112, 0, RDA_SA, 1},
      {false, 0x8028, 0, RDA_ST, 0},     {true, 0x8232, kOther, RDA_ST, 0},
      {false, 0x8038, 0, RDA_SC, 0},     {true, 0x81D2, kOther, RDA_ST, 0},
  };
  for (int row : {kIsoRow, kXopenRow}) {
    renew(row);
    server(RDA_SA);
    SCOPED_TRACE(testing::Message() << "row " << row);
    play(steps);
  }
  cb_->stateCk->state = RDA_SE;
  send(0x8192);
  EXPECT_EQ(only().event, 0x819Au) << "an R-DropDBL response";
  EXPECT_EQ(state(), RDA_SE);
  forget();
  cb_->stateCk->state = RDA_SA;
  send(0x8102);
  EXPECT_EQ(only().event, AL_LOCERR_IND) << "an R-Commit response outside SC";
  EXPECT_EQ(only().errNo, RDA_ASE_ERR_BLANK_CELL);
}

// ---------------------------------------------------------------------------
// Management

// GIDUs that reach the element without its block, or without an
// association to go on with, are answered or deleted, never followed.
TEST_F(RdaAse, AMissingBlockOrAssociationIsAnsweredNotFollowed) {
  rda_aseSnd(make(RDA_INIT_REQ), pctx_.data(), nullptr, &sao_);
  EXPECT_EQ(only().event, AL_LOCERR_IND);
  EXPECT_EQ(only().errNo, RDA_ASE_ERR_NO_SUCH_ASECB);
  forget();
  RDA_AseCB stranger{};
  rda_aseRcv(make(0x8008), pctx_.data(), &stranger, &sao_);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].event, AL_QABORT);
  EXPECT_EQ(seen[0].errNo, RDA_ASE_ERR_NO_SUCH_ASECB);
  forget();

  const long before = liveBlocks.load();
  GIDU* lost = make(0x8070);
  lost->uc = nullptr;
  rda_aseSnd(lost, pctx_.data(), cb_, &sao_);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(liveBlocks.load(), before);
  EXPECT_TRUE(traced("no SACF entry to go on with"));
  EXPECT_EQ(cb_->role, RDA_ASE_ROLE_NONE);
}

TEST_F(RdaAse, AThreadWithoutItsRecordCannotInitialise) {
  int32_t init = -1, initialised = -1;
  std::thread([&] {
    init = rda_aseInit();
    initialised = RDA_isAseInitialized();
  }).join();
  EXPECT_EQ(init, 0);
  EXPECT_EQ(initialised, 0);
  EXPECT_TRUE(traced("*** rda_aseInit: no RDA-ASE record for the thread"));
  EXPECT_EQ(RDA_isAseInitialized(), 1) << "this thread's element is untouched";
}

TEST_F(RdaAse, ControlBlocksAndTheirErrors) {
  EXPECT_EQ(rda_aseInit(), 0);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_INITIALIZED_ALREADY));
  EXPECT_EQ(rda_aseTerm(), 0);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_ACTIVE_USERS));
  EXPECT_EQ(RDA_isAseInitialized(), 1);

  server(RDA_SA);
  EXPECT_EQ(rda_aseRel(cb_, 2), 0);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_INVALID_PARAMETER));
  EXPECT_EQ(cb_->role, RDA_ASE_ROLE_SERVER) << "nothing changed";
  EXPECT_EQ(state(), RDA_SA);
  EXPECT_EQ(rda_aseRel(nullptr, 0), 0);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_NO_SUCH_ASECB));
  RDA_AseCB stranger{};
  EXPECT_EQ(rda_aseRel(&stranger, 0), 0);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_NO_SUCH_ASECB));
  EXPECT_EQ(RDA_aseValidateCB(&stranger), 0);
  EXPECT_EQ(RDA_aseValidateCB(cb_), 1);

  // A reset association takes a role again from its next first event.
  EXPECT_EQ(rda_aseRel(cb_, 1), 1);
  EXPECT_EQ(cb_->role, RDA_ASE_ROLE_NONE);
  EXPECT_EQ(cb_->stateCheck, nullptr);
  send(RDA_INIT_REQ);
  EXPECT_EQ(only().state, RDA_C_I);
  EXPECT_EQ(cb_->role, RDA_ASE_ROLE_CLIENT);
  EXPECT_EQ(state(), RDA_CB);

  RDA_AseCBHead* head = getRdaAseTLS(0)->head;
  void* second = rda_aseEstab();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(head->count, 2u);
  EXPECT_EQ(rda_aseRel(second, 0), 1);
  endAssociation();
  EXPECT_EQ(head->count, 0u);
  EXPECT_EQ(head->next, reinterpret_cast<RDA_AseCB*>(head));
  EXPECT_EQ(rda_aseTerm(), 1);
  EXPECT_EQ(RDA_isAseInitialized(), 0);
  for (auto call : {+[] { return rda_aseTerm(); }, +[] { return rda_aseEstab() != nullptr ? 1 : 0; },
                    +[] { return rda_aseRel(nullptr, 0); }}) {
    EXPECT_EQ(call(), 0);
    EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_NOT_INITIALIZED));
  }
  ASSERT_EQ(rda_aseInit(), 1);  // for TearDown
}

TEST_F(RdaAse, NoMemoryToInitialiseOrEstablish) {
  endAssociation();
  ASSERT_EQ(rda_aseTerm(), 1);
  quietEntries();
  const long before = liveBlocks.load();
  {
    FailingAlloc fail(0);
    EXPECT_EQ(rda_aseInit(), 0);
  }
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_NO_RESOURCE));
  EXPECT_EQ(RDA_isAseInitialized(), 0);
  ASSERT_EQ(rda_aseInit(), 1);
  const long initialised = liveBlocks.load();
  for (int n = 0;; ++n) {
    ASSERT_LT(n, 20);
    void* made = nullptr;
    {
      FailingAlloc fail(n);
      made = rda_aseEstab();
    }
    if (made != nullptr) {
      EXPECT_EQ(rda_aseRel(made, 0), 1);
      break;
    }
    EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ASE_ERR_NO_RESOURCE)) << n;
    EXPECT_EQ(liveBlocks.load(), initialised) << n;
    EXPECT_EQ(getRdaAseTLS(0)->head->count, 0u);
  }
  EXPECT_EQ(liveBlocks.load(), initialised);
  EXPECT_EQ(rda_aseTerm(), 1);
  EXPECT_EQ(liveBlocks.load(), before);
  ASSERT_EQ(rda_aseInit(), 1);
}

}  // namespace
