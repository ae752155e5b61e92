// Shared by the tests of invocations, SAO blocks, SACF routing, flow control
// and aborts: an application entity of two contexts over a copy of the ASE
// table whose rows carry abstract-syntax indexes 7, 8 and 9, an invocation
// of it, and doubles for every routine an association calls that are not
// the application layer's own. The doubles note what reaches them; those at
// the ends of the chains keep the GIDU, which the fixture deletes at the end.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "src/acse/acse_apdu.h"
#include "src/acse/flow.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sacf.h"
#include "src/acse/sao.h"
#include "src/presentation/pidu.h"
#include "src/rda/rda_asx.h"
#include "src/runtime/xm.h"
#include "support/xm_count.h"

namespace saofix {

inline uint32_t kRdaBasic[] = {1, 0, 9579, 2, 2, 1};
inline uint32_t kXopenBasic[] = {1, 2, 826, 0, 1050, 3, 2, 2, 1};
inline uint32_t kOwnApTitle[] = {1, 2, 3};
inline uint32_t kPeerApTitle[] = {1, 2, 4};
inline uint8_t kPsel[] = {0xAA, 0xBB};
inline uint8_t kNaddr[] = {0x01, 0x02};

// What reached a double.
struct Seen {
  std::string who;
  GIDU* gidu;
  uint32_t event;
  uint32_t iduType;
  int32_t routeIdx;  // of the fixture's SaoCB when it was called
  uint32_t errNo;
};

inline void* ref(uintptr_t v) { return reinterpret_cast<void*>(v); }

inline ObjIdV oid(uint32_t* arcs, uint32_t n) { return ObjIdV{n, arcs}; }

}  // namespace saofix

class SaoTest : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    self = this;
    for (int i = 0; i < kRdaAsxRows; ++i) asx[i] = RDA_asxTBL[i];
    for (int i = 0; i < 3; ++i) {
      asx[i].asIdx = 7 + static_cast<uint32_t>(i);
      asx[i].send = aseSnd;
      asx[i].receive = aseRcv;
    }
    for (int i = 0; i < kRdaActxRows; ++i) {
      actx[i] = RDA_actxTBL[i];
      if (actx[i].arcCount == 0) continue;
      actx[i].routeTbl = route;
      actx[i].sacfSnd = sacfSnd;
      actx[i].sacfRcv = sacfRcv;
      actx[i].aeUp = aeUp;
      actx[i].aeDown = aeDown;
      actx[i].cvrtApdu = cvrtApdu;
      actx[i].cvrtPpdu = cvrtPpdu;
    }
    const AlGiduFn chain[kSacfRouteEntries] = {AL_sacfFlowRcv, passOn, AL_sacfAseRcv, AL_sacfAseSnd,
                                               passOn,         AL_sacfFlowSnd, toUser, toPresentation};
    std::memcpy(route, chain, sizeof route);
    params = newParams(7, 0);
    GIDU* act = al_createGidu(nullptr, AL_IDU_RDA, AL_ACT_REQ);
    ASSERT_NE(act, nullptr);
    act->ue = saofix::ref(0x11);
    aei = createAei(act, aeiUser, params);
    al_deleteGidu(act);
    ASSERT_NE(aei, nullptr);
    ring.links.next = ring.links.prev = &ring.links;
  }

  void TearDown() override {
    for (GIDU* g : kept) al_deleteGidu(g);
    kept.clear();
    if (sao != nullptr) {
      sao->refCount = 0;
      AL_deleteSaoCB(sao);
    }
    for (AeiCB* a : extraAeis) AL_deleteAeiCB(a);
    AL_deleteAeiCB(aei);
    self = nullptr;
    XmCountTest::TearDown();
  }

  AeiDescriptor descriptor(UL_AEId* p) { return AeiDescriptor{sizeof(AeiCB), 258, actx, asx, p}; }
  AeiCB* createAei(GIDU* g, AlGiduFn user, UL_AEId* p) {
    AeiDescriptor d = descriptor(p);
    return AL_createAeiCB(g, user, &d);
  }

  // Activation parameters in a tree of their own: P-selector, one network
  // address, AP title {1 2 3}, AE qualifier `qual`, AE invocation `aeInvoke`.
  static UL_AEId* newParams(int64_t qual, int32_t aeInvoke) {
    auto* p = static_cast<UL_AEId*>(_xm_allocItemWithTree(sizeof(UL_AEId), XM_ZERO));
    if (p == nullptr) return nullptr;
    XmTree* tree = xm_getParentOfItem(p);
    p->mask = UL_AEID_APTITLE | UL_AEID_AEQUAL | UL_AEID_AEINVOKE;
    p->pAddress.mask = UL_PADDR_PSEL;
    p->pAddress.pSel = OctStgV{2, saofix::kPsel};
    auto* n = static_cast<UL_NaddrEntry*>(_xm_allocItem(tree, sizeof(UL_NaddrEntry), XM_ZERO));
    n->addr = OctStgV{2, saofix::kNaddr};
    n->links.next = n->links.prev = &p->pAddress.nAddrs.links;
    p->pAddress.nAddrs.links.next = p->pAddress.nAddrs.links.prev = &n->links;
    p->pAddress.nAddrs.count = 1;
    p->apTitle.kind = UL_TITLE_OBJID;
    p->apTitle.objId = saofix::oid(saofix::kOwnApTitle, 3);
    p->aeQual.kind = UL_QUAL_INTEGER;
    p->aeQual.integer = qual;
    p->aeInvokeId = aeInvoke;
    return p;
  }

  // An A-ASSOCIATE request of the RDA Basic context from {1 2 3} qualifier
  // 7 to {1 2 4} qualifier 9.
  static AcAarq aarq(uint32_t* context = saofix::kRdaBasic, uint32_t arcs = 6) {
    AcAarq a{};
    a.presence = AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AE_QUAL | AC_AARQ_CALLING_AP_TITLE |
                 AC_AARQ_CALLING_AE_QUAL | AC_AARQ_CONN_PARAMS;
    a.contextName = saofix::oid(context, arcs);
    a.calledApTitle.kind = UL_TITLE_OBJID;
    a.calledApTitle.objId = saofix::oid(saofix::kPeerApTitle, 3);
    a.calledAeQual = UL_AEQual{UL_QUAL_INTEGER, {9}};
    a.callingApTitle.kind = UL_TITLE_OBJID;
    a.callingApTitle.objId = saofix::oid(saofix::kOwnApTitle, 3);
    a.callingAeQual = UL_AEQual{UL_QUAL_INTEGER, {7}};
    a.connParams.calledAddress.mask = UL_PADDR_PSEL;
    a.connParams.calledAddress.pSel = OctStgV{2, saofix::kPsel};
    a.connParams.calledAddress.nAddrs.links.next = a.connParams.calledAddress.nAddrs.links.prev =
        &a.connParams.calledAddress.nAddrs.links;
    return a;
  }

  // The initiator's block of the fixture's invocation for `a`.
  SaoCB* initiate(const AcAarq& a) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_ACSE, AL_A_ASSOC_REQ);
    if (g == nullptr) return nullptr;
    g->ue = aei;
    SaoCB* made = AL_createSaoCB(g, &a);
    al_deleteGidu(g);
    return made;
  }
  void makeSao() {
    const AcAarq a = aarq();
    sao = initiate(a);
    ASSERT_NE(sao, nullptr);
  }

  // A P-CONNECT indication carrying `a` (when given) as the user data of
  // context 1, proposing contexts 1 and 3 under the indexes given.
  static GIDU* pconnInd(const AcAarq* a, int32_t asIdx1 = 7, int32_t asIdx3 = 8) {
    GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
    auto* pidu = static_cast<PIDU*>(g->idu);
    pidu->event = 89;
    pidu->ctxDefList[1] = asIdx1;
    pidu->ctxDefList[3] = asIdx3;
    pidu->remote.mask = UL_PADDR_PSEL;
    pidu->remote.pSel = OctStgV{2, saofix::kPsel};
    pidu->remote.nAddrs.links.next = pidu->remote.nAddrs.links.prev = &pidu->remote.nAddrs.links;
    if (a != nullptr) addData(g, 1, apduOf(g, *a));
    return g;
  }
  static AcseApdu* apduOf(GIDU* g, const AcAarq& a) {
    auto* apdu = static_cast<AcseApdu*>(_xm_allocItem(xm_getParentOfItem(g->idu), sizeof(AcseApdu), XM_ZERO));
    apdu->code = AC_APDU_AARQ;
    apdu->aarq = a;
    return apdu;
  }
  // Appends a data element of context `ctx` to the PIDU of a presentation
  // GIDU (or of the one a type-21 header wraps).
  static DElem* addData(GIDU* g, int32_t ctx, void* value) {
    auto* pidu = static_cast<PIDU*>(g->iduType == AL_IDU_PRES ? g->idu : static_cast<AeHDR*>(g->idu)->wrapped);
    auto* d = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(pidu), sizeof(DElem), XM_ZERO));
    p_clear_delem(d);
    d->pctxId = ctx;
    d->value = value;
    d->prev = pidu->dataList.prev;
    d->next = &pidu->dataList;
    pidu->dataList.prev->next = d;
    pidu->dataList.prev = d;
    return d;
  }

  // A GIDU of the association: a service element's APDU GIDU (one header
  // of context `ctx`), or a presentation GIDU of presentation event `pev`.
  GIDU* apduGidu(uint32_t iduType, uint32_t event, uint32_t ctx) {
    GIDU* g = AL_createGiduWithAeHDR(nullptr, iduType, event);
    g->uc = sao;
    static_cast<AeHDR*>(g->idu)->pctxId = ctx;
    static_cast<AeHDR*>(g->idu)->hdrWord1 = 17;
    return g;
  }
  GIDU* presGidu(uint32_t pev, uint32_t credit = 5) {
    GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
    g->uc = sao;
    static_cast<PIDU*>(g->idu)->event = pev;
    static_cast<PIDU*>(g->idu)->credit = credit;
    return g;
  }
  GIDU* localEvent(uint32_t event) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, event);
    g->uc = sao;
    return g;
  }

  std::vector<std::string> whoSaw() const {
    std::vector<std::string> out;
    for (const saofix::Seen& s : seen) out.push_back(s.who);
    return out;
  }
  size_t count(const std::string& who) const {
    size_t n = 0;
    for (const saofix::Seen& s : seen) n += s.who == who ? 1 : 0;
    return n;
  }
  const saofix::Seen* last(const std::string& who) const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it)
      if (it->who == who) return &*it;
    return nullptr;
  }

  // Doubles.
  static void note(const char* who, GIDU* g) {
    self->seen.push_back({who, g, g->event, g->iduType, self->sao != nullptr ? self->sao->routeIdx : -99, g->errNo});
  }
  static void keep(const char* who, GIDU* g) {
    note(who, g);
    self->kept.push_back(g);
  }
  static void sacfSnd(GIDU* g) { keep("sacfSnd", g); }
  static void sacfRcv(GIDU* g) { keep("sacfRcv", g); }
  static void aeUp(GIDU* g) { keep("aeUp", g); }
  static int32_t aeDown(GIDU* g) {
    keep("aeDown", g);
    return 1;
  }
  static void aeiUser(GIDU* g) { keep("aeiUser", g); }
  static void passOn(GIDU* g) {
    note(self->sao->routeIdx == 3 ? "seqSnd" : "seqRcv", g);
    AL_sacfRoute(g, AL_SACF_NEXT);
  }
  static void toUser(GIDU* g) { keep("user", g); }
  static void toPresentation(GIDU* g) { keep("presentation", g); }
  static void aseSnd(GIDU* g, PctxEntry*, void*, SaoCB*) { keep("aseSnd", g); }
  static void aseRcv(GIDU* g, PctxEntry*, void*, SaoCB*) { keep("aseRcv", g); }
  // The conversions: an APDU GIDU becomes a presentation GIDU of the
  // header's event (the input deleted); a presentation GIDU becomes the
  // GIDUs that the test queued in `converted` (the input deleted).
  static GIDU* cvrtApdu(GIDU* g) {
    note("cvrtApdu", g);
    GIDU* p = al_createGiduWithPidu(g, AL_IDU_PRES, AL_EV_PRIMITIVE);
    if (p != nullptr) static_cast<PIDU*>(p->idu)->event = static_cast<AeHDR*>(g->idu)->hdrWord1;
    AL_deleteGiduWithAeHDR(g);
    return p;
  }
  static GIDU* cvrtPpdu(GIDU* g) {
    note("cvrtPpdu", g);
    al_deleteGidu(g);
    GIDU* ring = self->converted;
    self->converted = nullptr;
    return ring;
  }

  static inline SaoTest* self = nullptr;
  AsxEntry asx[kRdaAsxRows]{};
  ActxEntry actx[kRdaActxRows]{};
  AlGiduFn route[kSacfRouteEntries]{};
  UL_AEId* params = nullptr;
  AeiCB* aei = nullptr;
  SaoCB* sao = nullptr;
  UL_Ring ring{};
  std::vector<AeiCB*> extraAeis;
  std::vector<saofix::Seen> seen;
  std::vector<GIDU*> kept;
  GIDU* converted = nullptr;  // what cvrtPpdu yields next
};
