// The presentation protocol machine fed arbitrary session user data: every
// session indication and confirm, in every state of a connection, in one
// unit or in two segments, through ps_ssu; the session requests it makes go
// to a stand-in that takes their data. Afterwards every connection is
// released and every buffer must be back in the pool.
//
// Input: octet 0 picks the state (low three bits, 0-6), the session version
// (bit 3: version 1) and switches: bit 4 two segments, bit 5 data confirms to
// swallow, bit 6 X.410 mode, bit 7 a called side without a machine; octet 1
// picks the session event (90 + its value modulo 35); octet 2 the size of
// the buffers the data is cut into (1-64); the rest is the user data.
//
// The user "RDA" has abstract syntaxes {1 9 1} and {1 9 2} (INTEGER values)
// and {1 9 3} (pre-encoded); an existing connection has contexts 1, 3 and 5
// for them, accepted in BER, and {1 9 1} as its default context.
#include <cstdint>
#include <cstdlib>
#include <set>

#include "fuzz/fuzz_support.h"
#include "src/acse/gidu.h"
#include "src/presentation/contexts.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/ps_ssu.h"
#include "src/presentation/psend.h"
#include "src/presentation/users.h"
#include "src/runtime/xm.h"
#include "src/session/session_ind.h"

namespace {

void* prsInt(void*) {
  if (ber_getid(0, 2) < 0) aaRaise(AAE_MSGPARAM, "fuzz", __LINE__);
  auto* v = static_cast<int32_t*>(aamalloc(sizeof(int32_t)));
  if (v == nullptr) aaRaise(AAE_NOMEM, "fuzz", __LINE__);
  ber_getint(v);
  return v;
}
int64_t fmtInt(void* v) {
  if (v == nullptr) aaRaise(AAE_INVVALUE, "fuzz", __LINE__);
  return ber_addid(0, 2, ber_addint(*static_cast<int32_t*>(v)));
}

alignas(Smachine) unsigned char gConnection[sizeof(Smachine)];
Smachine* connection() { return reinterpret_cast<Smachine*>(gConnection); }

int32_t takeRequest(Smachine*, SIDU* sidu) {
  s_freeChain(sidu->userData);
  sidu->userData = nullptr;
  return 1;
}
Smachine* takeConnect(SIDU* sidu) {
  takeRequest(nullptr, sidu);
  return connection();
}
const PsSessionService kStandIn{takeRequest, takeConnect};

PsUser* gUser = nullptr;
int32_t gAs[3] = {-1, -1, -1};

// Pre-encoded values (and the octets of X.410-mode tokens) are the user's
// buffers: each goes back once.
int32_t user(GIDU* g) {
  const auto* p = static_cast<const PIDU*>(g->idu);
  const bool octets =
      p != nullptr && (p->event == P_DT_IND || p->event == P_TD_IND || p->event == P_GT_IND || p->event == P_PT_IND);
  if (g->event != AL_QABORT && p != nullptr) {
    std::set<SessionBuffer*> buffers;
    for (const DElemLink* l = p->dataList.next; l != &p->dataList; l = l->next) {
      const auto* e = static_cast<const DElem*>(l);
      if (e->value == nullptr || (e->pctxId != 5 && !(octets && e->pctxId == -1))) continue;
      auto* first = static_cast<SessionBuffer*>(e->value);
      SessionBuffer* b = first;
      do {
        buffers.insert(b);
        b = b->next;
      } while (b != nullptr && b != first);
    }
    for (SessionBuffer* b : buffers) {
      b->next = b->prev = b;
      bfree(b);
    }
  }
  _xm_freeTree(xm_getParentOfItem(g));
  return 1;
}

Pmachine* newConnection(uint32_t state, uint32_t version, bool x410) {
  Pmachine* pm = pm_alloc(nullptr, connection(), gUser, 0);
  if (pm == nullptr) std::abort();
  int32_t defs[kPsMaxContexts];
  for (int32_t& v : defs) v = -1;
  defs[1] = gAs[0];
  defs[3] = gAs[1];
  defs[5] = gAs[2];
  if (store_pcdl_pcdt(defs, pm) == 0) std::abort();
  if (state != STAI1) {
    for (int32_t slot : {1, 3, 5}) pm->pcdt[slot].tsIdx = ps_asn1_tsidx;
    pm->dfltAsIdx = gAs[0];
    pm->dfltTsIdx = ps_asn1_tsidx;
  }
  pm->state = state;
  pm->sessVersion = version;
  pm->x410Mode = x410 ? 1 : 0;
  return pm;
}

int32_t feed(uint32_t event, const uint8_t* data, size_t size, size_t piece, bool end) {
  SIDU x{};
  x.event = event;
  x.credit = 1;
  x.version = 2;
  x.reason = size > 0 ? data[0] & 3 : 0;
  if (size > 0) {
    x.userData = chainOf(data, size, piece, false);
    x.userData->endFlag = end ? 1 : 0;
  }
  return ps_ssu(connection(), &x);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  if (init_buffers(20, 64) == 0) std::abort();
  if (init_presentation(nullptr, nullptr, nullptr, nullptr) == 0) std::abort();
  psSessionService = &kStandIn;
  static uint8_t rda[] = {'R', 'D', 'A'};
  const OctStgV sel{3, rda};
  if (p_activate(&sel, user, kPsModeNormal, 5) == 0) std::abort();
  gUser = find_ps_user(&sel);
  for (uint32_t i = 0; i < 3; ++i) {
    const uint32_t arcs[] = {1, 9, i + 1};
    const bool pre = i == 2;
    gAs[i] = p_asynreg(&sel, 3, arcs, pre ? nullptr : prsInt, pre ? nullptr : fmtInt, pre ? 1 : 0);
    if (gAs[i] < 0 || p_assoc(&sel, gAs[i], ps_asn1_tsidx) == 0) std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  const uint32_t event = 90 + data[1] % 35;
  const size_t piece = 1 + data[2] % 64;
  data += 3;
  size -= 3;
  if ((flags & 0x80) == 0) {
    Pmachine* pm = newConnection(flags & 7, (flags & 8) != 0 ? 1 : 2, (flags & 0x40) != 0);
    if ((flags & 0x20) != 0) pm->cnfSuppress = 2;
  }
  if ((flags & 0x10) != 0 && size > 1) {
    const size_t half = size / 2;
    (void)feed(event, data, half, piece, false);
    (void)feed(event, data + half, size - half, piece, true);
  } else {
    (void)feed(event, data, size, piece, true);
  }
  while (plist.next != nullptr) pm_dealloc(plist.next);
  aafreeall(aagetlist());
  rtp_setp(nullptr);
  if (QvGetSbCount() != 0) __builtin_trap();  // every buffer went back
  return 0;
}
