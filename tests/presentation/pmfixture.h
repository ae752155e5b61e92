// Fixture of the protocol machine tests: the PPDU fixture's user "RDA" (its
// indications recorded), its machine on a session connection of the
// session stand-in, PIDUs made as the application layer makes them, and
// session indications fed to ps_ssu.
#pragma once

#include <string>
#include <vector>

#include "presentation/ppdu_fixture.h"
#include "src/acse/gidu.h"
#include "src/asn1/ber_values.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/ps_ssu.h"
#include "src/runtime/xm.h"
#include "src/session/session_ind.h"
#include "support/session_requests.h"

// What the user saw of one indication or confirm.
struct SeenInd {
  uint32_t giduEvent;
  uint32_t event;  // the PIDU's
  int32_t reason;
  uint32_t eventId;
  uint32_t userError;
  uint32_t failedInd;
  uint32_t errNo;
  void* pc;
  std::vector<int32_t> contexts;  // of the data elements
  std::vector<int32_t> values;    // INTEGER values of the elements (-1: none)
  int32_t results[kPiduCtxCount];
  int32_t ctxIds[kPiduCtxCount];
};

inline std::vector<SeenInd> gSeenInd;

inline int32_t recordIndication(GIDU* g) {
  SeenInd s{};
  s.giduEvent = g->event;
  s.errNo = g->errNo;
  s.pc = g->pc;
  if (const auto* p = static_cast<const PIDU*>(g->idu); p != nullptr && g->event != AL_QABORT) {
    s.event = p->event;
    s.reason = p->reason;
    s.eventId = p->eventId;
    s.userError = p->userError;
    s.failedInd = p->failedInd;
    for (int32_t i = 0; i < kPiduCtxCount; ++i) {
      s.results[i] = p->ctxResultList[i];
      s.ctxIds[i] = p->ctxIdList[i];
    }
    for (const DElemLink* l = p->dataList.next; l != &p->dataList; l = l->next) {
      const auto* e = static_cast<const DElem*>(l);
      s.contexts.push_back(e->pctxId);
      s.values.push_back(e->value != nullptr ? *static_cast<const int32_t*>(e->value) : -1);
    }
  }
  gSeenInd.push_back(s);
  _xm_freeTree(xm_getParentOfItem(g));
  return 1;
}

class MachineTest : public PpduTest {
 protected:
  void SetUp() override {
    PpduTest::SetUp();
    gSeenInd.clear();
    user_->callback = recordIndication;
    pm_->s = sess_.connection();
    pm_->sessVersion = 2;
  }
  void TearDown() override {
    gSeenInd.clear();
    PpduTest::TearDown();
  }

  // A reset PIDU in a GIDU, as the application layer hands it down.
  static PIDU* newPidu(uint32_t event, GIDU** gidu = nullptr) {
    GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
    if (gidu != nullptr) *gidu = g;
    auto* p = static_cast<PIDU*>(g->idu);
    p->event = event;
    return p;
  }
  // A data element of context `ctx` appended to the PIDU.
  static void element(PIDU* p, int32_t ctx, void* value) {
    auto* d = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(p), sizeof(DElem), XM_ZERO));
    p_clear_delem(d);
    d->pctxId = ctx;
    d->value = value;
    d->next = &p->dataList;
    d->prev = p->dataList.prev;
    p->dataList.prev->next = d;
    p->dataList.prev = d;
  }
  // Runs the PIDU on the machine and frees it as psp does; the result.
  uint32_t run(PIDU* p, Pmachine* pm = nullptr) {
    const uint32_t r = p_fsm(pm != nullptr ? pm : pm_, p);
    p_free_pidu(p);
    return r;
  }
  // Contexts 1 and 3 accepted in BER, connected on a session of version 2.
  void connected() {
    initiator();
    pm_->pcdt[1].tsIdx = ps_asn1_tsidx;
    pm_->pcdt[3].tsIdx = ps_asn1_tsidx;
    pm_->state = STAt0;
  }
  // A session indication with `octets` (in buffers of `piece`; 0: one) to
  // ps_ssu on the machine's connection; its result.
  int32_t arrive(uint32_t event, const Bytes& octets = {}, uint8_t credit = 1, size_t piece = 0,
                 uint32_t reason = 0) {
    SIDU x{};
    x.event = event;
    x.credit = credit;
    x.reason = reason;
    x.version = 2;
    if (!octets.empty()) x.userData = chainOf(octets, piece);
    return ps_ssu(pm_->s != nullptr ? pm_->s : sess_.connection(), &x);
  }
  bool live(const Pmachine* pm = nullptr) const { return find_pm_pm(pm != nullptr ? pm : pm_) != nullptr; }
  // The octets of the i-th recorded request, as hex.
  std::string sentHex(size_t i) const {
    if (i >= sess_.requests.size()) return "(nothing sent)";
    const std::string& d = sess_.requests[i].data;
    return hexOf(Bytes(d.begin(), d.end()));
  }
  static int32_t err() { return QvGetOsiError(); }

  // Abstract syntax {1 9 n} of "RDA" whose values are OCTET STRINGs
  // (OctStgV), associated with BER.
  static int32_t octetSyntax(uint32_t n) {
    const OctStgV v = sel("RDA");
    const uint32_t arcs[] = {1, 9, n};
    const int32_t a = p_asynreg(&v, 3, arcs, parseOctets, formatOctets, 0);
    EXPECT_GE(a, 0) << QvGetOsiError();
    EXPECT_EQ(p_assoc(&v, a, ps_asn1_tsidx), 1) << QvGetOsiError();
    return a;
  }
  static void* parseOctets(void*) {
    if (ber_getid(0, 4) < 0) aaRaise(AAE_MSGPARAM, "test", __LINE__);
    auto* v = static_cast<OctStgV*>(aamalloc(sizeof(OctStgV)));
    if (v == nullptr) aaRaise(AAE_NOMEM, "test", __LINE__);
    ber_getoctv(v);
    return v;
  }
  static int64_t formatOctets(void* v) { return ber_addid(0, 4, ber_addoctv(static_cast<OctStgV*>(v))); }

  SessionRequests sess_;
  int32_t one_ = 1, three_ = 3, five_ = 5;
};
