// Fixture of the server-rule tests: a service-user configuration of test
// doubles, UCBs and ACBs made by hand with their RDA elements, a route table
// whose every step records the GIDU it is handed (with its slot), and
// builders of indications and responses on an association.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <memory>
#include <vector>

#include "rda/rda_fixture.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sur.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_srvent.h"
#include "src/rda/rda_srvrules.h"

// Where a GIDU ended up.
struct SrvHop {
  GIDU* gidu;
  int32_t slot;  // route slot, or -1 towards the user (operation queue), -2 towards the AE
  uint32_t event;
  int32_t opId;
  uint32_t errNo;
};

class SrvTest : public RdaBuildTest {
 protected:
  struct Ucb {
    UCB ucb{};
    UcbElem elem{};
    RdaUcbElem rda{};
  };
  struct Acb {
    ACB acb{};
    AcbElem elem{};
    RdaAcbElem rda{};
  };

  void SetUp() override {
    RdaBuildTest::SetUp();
    self_ = this;
    ucbs_.links.next = ucbs_.links.prev = &ucbs_.links;
    ucbs_.count = 0;
    conf_.opQueHndl = &toUser;
    conf_.sendToAe = &toAe;
    conf_.eventHndl = kRows;
    conf_.ucbId = 260;
    conf_.acbId = 261;
    conf_.ucbQueue = &ucbRing;
    prevConf_ = AL_surSetConf(&conf_);
    auth_ = RDA_surUserAuth;
    rules_ = RDA_surSQLRulesTable;
    ucb_ = addUcb(1);
    acb_ = addAcb(ucb_);
  }
  void TearDown() override {
    RDA_surUserAuth = auth_;
    RDA_surSQLRulesTable = rules_;
    for (auto& a : acbs_) {
      if (a->rda.dlgEnt != nullptr) RDA_surDeleteDlgEnt(a->rda.dlgEnt);
      while (a->rda.opList.links.next != &a->rda.opList.links)
        RDA_surDeleteOpEnt(static_cast<OpEnt*>(a->rda.opList.links.next));
      while (GIDU* g = al_queueTake(&a->acb.inputQueue)) al_deleteGidu(g);
      al_deleteGidu(a->acb.qabortReq);
      al_deleteGidu(a->acb.qabortInd);
      _xm_freeTree(a->acb.tree);
    }
    for (auto& h : hops_) al_deleteGidu(h.gidu);
    hops_.clear();
    AL_surSetConf(prevConf_);
    self_ = nullptr;
    RdaBuildTest::TearDown();
  }

  static void link(UL_Ring* ring, UL_Link* l) {
    l->prev = ring->links.prev;
    l->next = &ring->links;
    ring->links.prev->next = l;
    ring->links.prev = l;
    ++ring->count;
  }
  static void initRing(UL_Ring* r) {
    r->links.next = r->links.prev = &r->links;
    r->count = 0;
  }

  UCB* addUcb(uint32_t role) {
    auto u = std::make_unique<Ucb>();
    u->ucb.cbId = 260;
    initRing(&u->ucb.acbList);
    initRing(&u->ucb.elemList);
    u->rda.role = role;
    u->elem.iduType = AL_IDU_RDA;
    u->elem.rdaElem = &u->rda;
    link(&u->ucb.elemList, &u->elem);
    link(&ucbs_, &u->ucb);
    UCB* p = &u->ucb;
    ucbStore_.push_back(std::move(u));
    return p;
  }

  // An association of `ucb` whose client invocation has AP title 1.2.<ap>
  // and AE invocation `ae`.
  ACB* addAcb(UCB* ucb, uint32_t ap = 7, int32_t ae = 1) {
    auto a = std::make_unique<Acb>();
    a->acb.cbId = 261;
    a->acb.ucb = ucb;
    a->acb.tree = _xm_allocTree(nullptr);
    al_selfLink(&a->acb.inputQueue);
    initRing(&a->acb.elemList);
    a->acb.routeTbl = kRoute.data();
    a->acb.routeLevel = 4;
    a->acb.qabortReq = al_createGidu(nullptr, AL_IDU_RDA, AL_QABORT);
    a->acb.qabortInd = al_createGidu(nullptr, AL_IDU_RDA, AL_QABORT);
    a->elem.iduType = AL_IDU_RDA;
    a->elem.rdaElem = &a->rda;
    link(&a->acb.elemList, &a->elem);
    initRing(&a->rda.opList);
    arcs_[0] = 1;
    arcs_[1] = 2;
    a->rda.clientInvoc.apTitle.kind = UL_TITLE_OBJID;
    a->rda.clientInvoc.apTitle.objId.count = 2;
    a->rda.clientInvoc.apTitle.objId.arcs = static_cast<uint32_t*>(_xm_allocItem(a->acb.tree, 8, 0));
    a->rda.clientInvoc.apTitle.objId.arcs[0] = 1;
    a->rda.clientInvoc.apTitle.objId.arcs[1] = ap;
    a->rda.clientInvoc.aeQual.kind = UL_QUAL_INTEGER;
    a->rda.clientInvoc.aeQual.integer = 3;
    a->rda.clientInvoc.aeInvokeId = ae;
    link(&ucb->acbList, &a->acb);
    ACB* p = &a->acb;
    acbs_.push_back(std::move(a));
    return p;
  }
  static RdaAcbElem* assoc(ACB* acb) { return rda_srvAcbElem(acb); }

  // An indication of service `event` (its delivered form) with operation
  // id `opId` on `acb`; `body` gets its request record.
  GIDU* ind(RdaEventCode event, int32_t opId, void** body = nullptr, ACB* acb = nullptr) {
    acb = acb != nullptr ? acb : acb_;
    void* b = nullptr;
    GIDU* g = rda_createGiduWithRdaIdu(nullptr, event, opId, &b);
    EXPECT_NE(g, nullptr);
    g->ue = acb->ucb;
    g->uc = acb;
    if (body != nullptr) *body = b;
    return g;
  }
  // A response (result) of the server user on `acb`.
  GIDU* rsp(RdaEventCode event, int32_t opId, void** body = nullptr, ACB* acb = nullptr) {
    return ind(event, opId, body, acb);
  }

  // An R-Initialize indication with suffix "S<n>" and every functional unit.
  GIDU* initInd(int32_t opId, char suffix = 'A', ACB* acb = nullptr, uint32_t fu = 0xFE) {
    void* b = nullptr;
    acb = acb != nullptr ? acb : acb_;
    GIDU* g = ind(RDA_INIT_IND, opId, &b, acb);
    auto* req = static_cast<RDAInit_Req*>(b);
    XmTree* t = xm_getParentOfItem(g->idu);
    req->suffix.code = 0x4000;
    req->suffix.octets.length = 1;
    req->suffix.octets.octets = static_cast<uint8_t*>(_xm_allocItem(t, 1, 0));
    req->suffix.octets.octets[0] = static_cast<uint8_t>(suffix);
    req->identityOfUser = const_cast<char*>("user");
    req->functionalUnits = fu;
    req->client = assoc(acb)->clientInvoc;
    return g;
  }

  // Runs a received indication through the receive check and gives the
  // dialogue of the association when there is one.
  DlgEnt* openDialogue(ACB* acb = nullptr, uint32_t fu = 0xFE, char suffix = 'A') {
    acb = acb != nullptr ? acb : acb_;
    acb->routeLevel = 10;
    RDA_surExecCkServerRcv(initInd(100, suffix, acb, fu));
    DlgEnt* d = assoc(acb)->dlgEnt;
    // The R-Initialize was handed on; its operation stays until answered,
    // which these tests do not need: the dialogue is kept when it goes.
    if (OpEnt* op = RDA_surGetOpEnt(100, d)) {
      op->refKind = OPREF_NONE;
      RDA_surDeleteOpEnt(op);
    }
    clearHops();
    return d;
  }

  // Runs a received indication from the receive chain's execution step.
  static void rcv(GIDU* g) {
    static_cast<ACB*>(g->uc)->routeLevel = 10;
    RDA_surExecCkServerRcv(g);
  }

  // An R-Open of `hndl` (parent `parent` when not 0, name when given).
  GIDU* openInd(int32_t opId, int32_t hndl, int32_t parent = 0, const char* name = nullptr) {
    void* b = nullptr;
    GIDU* g = ind(RDA_OPEN_IND, opId, &b);
    auto* req = static_cast<RDAOpen_Req*>(b);
    req->handle = hndl;
    if (parent != 0) {
      req->mask |= RDA_OPEN_PARENT;
      req->secondHandle = parent;
    }
    if (name != nullptr) {
      req->mask |= RDA_OPEN_NAME;
      req->dataResourceName = const_cast<char*>(name);
    }
    return g;
  }

  // Runs an indication from the receive chain's execution step and gives
  // the generic error number of its answer, read where it waits when it is
  // held behind earlier operations; 0 when it was passed on (slot 10).
  uint32_t verdict(GIDU* g) {
    clearHops();
    auto* acb = static_cast<ACB*>(g->uc);
    const auto opId = static_cast<uint32_t>(static_cast<RDAIdu*>(g->idu)->term_RI.opId);
    rcv(g);
    drainQueue(acb);
    if (!hopsAt(10).empty()) return 0;
    const UL_Ring& ops = assoc(acb)->opList;
    for (const UL_Link* l = ops.links.prev; l != &ops.links; l = l->prev) {
      const auto* op = static_cast<const OpEnt*>(l);
      if (op->opID == opId && op->rsp != nullptr) return rda_getGenErr(op->rsp);
    }
    auto back = hopsAt(99);
    return back.empty() ? 999 : rda_getGenErr(back.back().gidu);
  }

  void clearHops() {
    for (auto& h : hops_) al_deleteGidu(h.gidu);
    hops_.clear();
  }
  // The GIDUs the association's input queue holds (reversed answers),
  // recorded with slot 99 and taken out.
  void drainQueue(ACB* acb = nullptr) {
    acb = acb != nullptr ? acb : acb_;
    while (GIDU* g = al_queueTake(&acb->inputQueue)) {
      g->ue = acb->ucb;
      g->uc = acb;
      record(g, 99);
    }
    acb->inputCount = 0;
  }
  std::vector<SrvHop> hopsAt(int32_t slot) const {
    std::vector<SrvHop> out;
    for (const auto& h : hops_)
      if (h.slot == slot) out.push_back(h);
    return out;
  }

  static void record(GIDU* g, int32_t slot) {
    const auto* idu = static_cast<const RDAIdu*>(g->idu);
    int32_t opId = -1;
    if (g->iduType == AL_IDU_RDA && idu != nullptr && al_isPrimitive(g->event)) opId = idu->term_RI.opId;
    self_->hops_.push_back({g, slot, g->event, opId, g->errNo});
  }
  template <int N>
  static void step(GIDU* g) { record(g, N); }
  static void toUser(GIDU* g) { record(g, -1); }
  static void toAe(GIDU* g) { record(g, -2); }
  static UL_Ring* ucbRing() { return &self_->ucbs_; }

  static constexpr std::array<AlGiduFn, 16> kRoute = {&step<0>, &step<1>, &step<2>,  &step<3>,  &step<4>,  &step<5>,
                                                      &step<6>, &step<7>, &step<8>,  &step<9>,  &step<10>, &step<11>,
                                                      &step<12>, &step<13>, &step<14>, &step<15>};
  static constexpr SurEventHndl kRows[] = {{AL_IDU_RDA, kRoute.data(), nullptr, nullptr, nullptr, nullptr},
                                           {0, nullptr, nullptr, nullptr, nullptr, nullptr}};

  static inline SrvTest* self_ = nullptr;
  AlSurConf conf_{};
  const AlSurConf* prevConf_ = nullptr;
  RdaSurUserAuthTbl auth_{};
  RdaSurSQLRulesTbl rules_{};
  UL_Ring ucbs_{};
  std::vector<std::unique_ptr<Ucb>> ucbStore_;
  std::vector<std::unique_ptr<Acb>> acbs_;
  std::vector<SrvHop> hops_;
  uint32_t arcs_[2]{};
  UCB* ucb_ = nullptr;
  ACB* acb_ = nullptr;
};
