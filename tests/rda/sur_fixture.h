// Fixture of the service-user tests: the service user started on the test's
// thread with its own configuration, whose entity is a recorder (it answers
// Activate and Deactivate requests at once, as the entity does, and keeps
// everything else), a user receive entry that records what it is given,
// and builders of the GIDUs a user and an entity hand to the service user.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rda/rda_fixture.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/sur.h"
#include "src/rda/rda_asx.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rda/rda_sur.h"
#include "src/rda/rda_surint.h"

inline constexpr uint32_t kXopenBasic[] = {1, 2, 826, 0, 1050, 3, 2, 2, 1};
inline constexpr uint32_t kCallingTitle[] = {1, 3, 9999, 42, 7};

class SurTest : public RdaBuildTest {
 protected:
  // What reached the entity or the user, in order.
  struct Hop {
    bool toUser;
    GIDU* gidu;
    uint32_t event;
    uint32_t errNo;
  };

  void SetUp() override {
    RdaBuildTest::SetUp();
    self_ = this;
    savedSurHandle_ = rda_surTMHandle;
    rda_surTMHandle = rda_comTMHandle;  // the service user's lines are caught with the RDA module's
    conf_ = AL_surConf;
    conf_.aeSnd = &aeSnd;
    saved_ = AL_surSetConf(&conf_);
    ASSERT_EQ(rda_surInit(), 1);
  }

  void TearDown() override {
    if (UL_Ring* ring = rda_surUcbQueue())
      while (ring->links.next != &ring->links) AL_surDeleteUCB(static_cast<UCB*>(ring->links.next));
    rda_surTerm();
    for (Hop& h : hops_) al_deleteGidu(h.gidu);
    hops_.clear();
    AL_surSetConf(saved_);
    rda_surTMHandle = savedSurHandle_;
    self_ = nullptr;
    RdaBuildTest::TearDown();
  }

  // ---- the entity and the user

  static void aeSnd(GIDU* g, AlGiduFn up) {
    SurTest* t = self_;
    if (g->event == AL_ACT_REQ || g->event == AL_DEACT_REQ || g->event == AL_FDEACT_REQ) {
      // Answered at once, as the entity does: the confirm climbs back.
      t->upcall_ = up != nullptr ? up : t->upcall_;
      g->event += 1;
      g->errNo = 0;
      g->pe = &t->aei_;
      al_freeUnit(g);
      t->upcall_(g);
      return;
    }
    t->hops_.push_back({false, g, g->event, g->errNo});
    if (t->onAe_) {
      auto hook = t->onAe_;
      hook(g);
    }
  }

  static void userRcv(GIDU* g) {
    SurTest* t = self_;
    t->hops_.push_back({true, g, g->event, g->errNo});
    if (t->onUser_) {
      auto hook = t->onUser_;
      hook(g);
    }
  }

  std::vector<Hop> hopsTo(bool user) const {
    std::vector<Hop> out;
    for (const Hop& h : hops_)
      if (h.toUser == user) out.push_back(h);
    return out;
  }
  std::vector<Hop> toAe() const { return hopsTo(false); }
  std::vector<Hop> toUser() const { return hopsTo(true); }

  // ---- builders

  // Activates a user in `role`; its UCB.
  UCB* activate(uint32_t role) {
    void* body = nullptr;
    GIDU* g = rda_createGiduWithRdaIdu(nullptr, AL_ACT_REQ, 0, &body);
    if (g == nullptr) return nullptr;
    auto* idu = static_cast<RDAIdu*>(g->idu);
    idu->activate.actData =
        static_cast<RDAActData*>(_xm_allocItem(xm_getParentOfItem(idu), sizeof(RDAActData), XM_ZERO));
    idu->activate.actData->flag = role;
    g->ue = &userRef_;
    rda_surSnd(g, userRcv);
    if (hops_.empty() || hops_.back().event != AL_ACT_CNF || hops_.back().errNo != 0) return nullptr;
    auto* ucb = static_cast<UCB*>(hops_.back().gidu->pe);
    if (role != RDA_SUR_CLIENT) nextEvent(ucb, nullptr);  // a server asks for what follows
    return ucb;
  }

  // The server user's request for the next event.
  void nextEvent(UCB* ucb, ACB* acb) {
    GIDU* g = rda_createSurNextEventReq(nullptr);
    refs(g, ucb, acb);
    rda_surSnd(g, nullptr);
  }

  // The user's A-ASSOCIATE request (X/Open basic context), its calling AP
  // title in `titleKind`.
  GIDU* assocReq(UCB* ucb, uint32_t titleKind = UL_TITLE_OBJID) {
    void* body = nullptr;
    GIDU* g = rda_createGiduWithApdu(nullptr, AL_A_ASSOC_REQ, &body);
    if (g == nullptr) return nullptr;
    auto* q = static_cast<AcAarq*>(body);
    q->contextName = {9, const_cast<uint32_t*>(kXopenBasic)};
    q->presence = AC_AARQ_CALLING_AP_TITLE | AC_AARQ_CALLING_AE_QUAL | AC_AARQ_CALLING_AE_INVOKE;
    q->callingApTitle.kind = titleKind;
    if (titleKind == UL_TITLE_OBJID) q->callingApTitle.objId = {5, const_cast<uint32_t*>(kCallingTitle)};
    q->callingAeQual.kind = UL_QUAL_INTEGER;
    q->callingAeQual.integer = 3;
    q->callingAeInvoke = 9;
    q->connParams.sessRequirements = 2;
    refs(g, ucb, nullptr);
    g->uc = &assocRef_;
    return g;
  }

  // A client association: request down, positive confirm up; its ACB.
  ACB* associate(UCB* ucb) {
    rda_surSnd(assocReq(ucb), nullptr);
    const std::vector<Hop> down = toAe();
    if (down.empty() || down.back().event != AL_A_ASSOC_REQ) return nullptr;
    auto* acb = static_cast<ACB*>(down.back().gidu->uc);
    GIDU* cnf = acseUp(AL_A_ASSOC_RSP, ucb, acb);
    cnf->event = AL_A_ASSOC_CNF;
    rda_surRcv(cnf);
    return acb;
  }

  // A GIDU of type 240 as the entity hands it up (APDU of `buildEvent`).
  GIDU* acseUp(uint32_t buildEvent, UCB* ucb, ACB* acb) {
    void* body = nullptr;
    GIDU* g = rda_createGiduWithApdu(nullptr, buildEvent, &body);
    if (g == nullptr) return nullptr;
    g->ue = ucb;
    g->uc = acb;
    g->pe = &aei_;
    g->pc = &sao_;
    return g;
  }

  // An RDA GIDU of the user on its association (`code` in service form);
  // `body` gets its request or result record.
  GIDU* rdaDown(RdaEventCode code, UCB* ucb, ACB* acb, int32_t opId = 1, void** body = nullptr) {
    GIDU* g = rda_createGiduWithRdaIdu(nullptr, code, opId, body);
    if (g != nullptr) refs(g, ucb, acb);
    return g;
  }
  // An RDA GIDU as the entity hands it up: `code` in delivered form.
  GIDU* rdaUp(RdaEventCode code, UCB* ucb, ACB* acb, int32_t opId = 1, void** body = nullptr) {
    GIDU* g = rda_createGiduWithRdaIdu(nullptr, code & ~AL_EV_DELIVERED, opId, body);
    if (g == nullptr) return nullptr;
    g->event = code;
    g->ue = ucb;
    g->uc = acb;
    g->pe = &aei_;
    g->pc = &sao_;
    return g;
  }

  void refs(GIDU* g, UCB* ucb, ACB* acb) {
    g->ue = &userRef_;
    g->pe = ucb;
    g->uc = &assocRef_;
    g->pc = acb;
  }

  static bool ucbListed(const UCB* ucb) {
    UL_Ring* ring = rda_surUcbQueue();
    for (UL_Link* l = ring->links.next; l != &ring->links; l = l->next)
      if (l == ucb) return true;
    return false;
  }
  static RdaAcbElem* acbElem(ACB* acb) { return rda_surCurrentAcbElem(acb); }

  static inline SurTest* self_ = nullptr;
  AlSurConf conf_{};
  const AlSurConf* saved_ = nullptr;
  TmHandle savedSurHandle_ = -1;
  AlGiduFn upcall_ = nullptr;
  std::vector<Hop> hops_;
  std::function<void(GIDU*)> onUser_;
  std::function<void(GIDU*)> onAe_;
  int userRef_ = 0, assocRef_ = 0, aei_ = 0, sao_ = 0;
};
