// Session service entry points, the user registry and connection records.
#include "src/session/session.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "common/qvstring.h"
#include "common/qvthread.h"
#include "src/session/osicfg.h"
#include "src/session/sessiontls.h"
#include "src/session/spm.h"
#include "src/session/stimer.h"
#include "src/session/tpi.h"

TmHandle sess_TM_handle = -1;

namespace {

constexpr const char* kSrc = "src/sessmgmt";

// Session error names, 0x8000 + n.
constexpr const char* sessErrorTab[] = {
    "S_NO_ERROR",          "S_EVENT_IGNORED",      "S_UNSPECIFIED",     "S_INVALID_EVENT",
    "S_INVALID_STATE",     "S_INV_TRANSITION",     "S_NO_MORE_SSAP",    "S_SSAP_IN_USE",
    "S_SSAP_NOT_IN_USE",   "S_SSAP_BUSY",          "S_NO_MORE_CONN",    "S_BAD_FUS",
    "S_BAD_VERSION",       "S_USER_DATA_OVERFLOW", "S_INVALID_ISN",     "S_NO_BUFFER",
    "S_CONREQ_FAIL",       "S_INVALID_TSI",        "S_NO_EXPEDITED",    "S_PROTOCOL_ERROR",
    "S_ZERO_LENGTH_SSDU",  "S_NO_TOKEN_SPECIFIED", "S_NO_RESOURCES",
};

void unlinkBuffer(SessionBuffer* b) {
  if (b->next != nullptr && b->prev != nullptr) {
    b->prev->next = b->next;
    b->next->prev = b->prev;
  }
  b->next = b->prev = b;
}

bool emptySelector(const SSAPaddr* sel) { return sel == nullptr || sel->ssap.len == 0; }

// Runs the machine on `s` and tells whether `s` outlived the call.
uint32_t runMachine(SessionTLS* t, Smachine* s, SIDU* sidu, uint32_t event, bool* live) {
  const uint32_t releasedBefore = t->released;
  t->released = 0;
  const uint32_t r = s_fsm(s, sidu, s->state, event);
  *live = t->released == 0 || s_isLive(t, s);
  t->released |= releasedBefore;
  return r;
}

}  // namespace

const char* s_errorName(uint32_t err) {
  if (err >= S_NO_ERROR && err <= S_NO_RESOURCES) return sessErrorTab[err - S_NO_ERROR];
  return "?";
}

// ---------------------------------------------------------------------------
// Buffer queues and chains

void sq_init(SbQueue* q) {
  q->head = SessionBuffer{};
  q->head.next = q->head.prev = &q->head;
  q->count = 0;
}

void sq_append(SbQueue* q, SessionBuffer* buf) {
  if (buf == nullptr) return;
  unlinkBuffer(buf);
  buf->next = &q->head;
  buf->prev = q->head.prev;
  q->head.prev->next = buf;
  q->head.prev = buf;
  ++q->count;
}

bool sq_empty(const SbQueue* q) { return q->head.next == nullptr || q->head.next == &q->head; }

SessionBuffer* sq_take(SbQueue* q) {
  if (sq_empty(q)) return nullptr;
  SessionBuffer* b = q->head.next;
  unlinkBuffer(b);
  if (q->count > 0) --q->count;
  return b;
}

void sq_freeAll(SbQueue* q) {
  while (SessionBuffer* b = sq_take(q)) bfree(b);
}

void s_freeChain(SessionBuffer* chain) {
  if (chain == nullptr) return;
  if (chain->next != nullptr && chain->prev != nullptr) {
    while (chain->next != chain) bfree(chain->next);
  }
  bfree(chain);
}

// ---------------------------------------------------------------------------
// Errors and parameters of the thread

void QvSetSessionError(uint32_t err) {
  if (SessionTLS* t = getSessionTLS(0)) t->sessionError = err;
}

uint32_t QvGetSessionError() {
  const SessionTLS* t = getSessionTLS(0);
  return t != nullptr ? t->sessionError : 0;
}

StpParams* QvGetStpParams() {
  SessionTLS* t = getSessionTLS(0);
  return t != nullptr ? &t->tpParams : nullptr;
}

// ---------------------------------------------------------------------------
// Selectors and addresses

int32_t ssap_cmp(const SSel* a, const SSel* b) {
  if (a == nullptr || b == nullptr || a->len != b->len || a->len == 0 || a->len > kSsapMaxLen) return -1;
  return gqv_memcmp(a->sel, b->sel, a->len);
}

int32_t tsap_cmp(const TSAPaddr* a, const TSAPaddr* b) {
  if (a == nullptr || b == nullptr || a->len != b->len || a->len == 0 || a->len > kTsapMaxLen) return -1;
  return gqv_memcmp(a->sel, b->sel, a->len);
}

int32_t nsap_cmp(const NSAPaddr* a, const NSAPaddr* b) {
  if (a == nullptr || b == nullptr || a->len != b->len || a->len == 0 || a->len > kNsapMaxLen) return -1;
  return gqv_memcmp(a->addr, b->addr, a->len);
}

char* dumpssap(const SSel* selector, char* text, uint32_t size) {
  if (text == nullptr || size == 0) return text;
  if (selector == nullptr) {
    std::snprintf(text, size, "0, NULL");
    return text;
  }
  int n = std::snprintf(text, size, "%d, ", selector->len);
  // The record holds at most 16 selector octets whatever its length says.
  const uint32_t count = selector->len < kSsapMaxLen ? selector->len : kSsapMaxLen;
  for (uint32_t i = 0; i < count && n >= 0 && static_cast<uint32_t>(n) < size; ++i)
    n += std::snprintf(text + n, size - static_cast<uint32_t>(n), "%2x ", selector->sel[i]);
  return text;
}

// ---------------------------------------------------------------------------
// Users

SsUser* find_ss_user(const SSAPaddr* selector) {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return nullptr;
  const bool empty = emptySelector(selector);
  for (SsLink* l = t->users.next; l != &t->users; l = l->next) {
    auto* u = static_cast<SsUser*>(l);
    if (empty ? u->ssap.ssap.len == 0 : ssap_cmp(&u->ssap.ssap, &selector->ssap) == 0) return u;
  }
  char dump[kDumpSsapSize];
  TM_TRACE(sess_TM_handle, 64, kSrc,
           "find_ss_user() couldn't find SSAP (%s) in the local transport service user table.",
           dumpssap(selector != nullptr ? &selector->ssap : nullptr, dump, sizeof dump));
  return nullptr;
}

int32_t s_activate(const SSAPaddr* selector, SsIndication callback) {
  QvGlobalLock lock;
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return 0;
  if (emptySelector(selector) ? t->users.next != &t->users : find_ss_user(selector) != nullptr) {
    QvSetSessionError(S_SSAP_IN_USE);
    return 0;
  }
  auto* u = new (std::nothrow) SsUser{};
  if (u == nullptr) {
    QvSetSessionError(S_NO_MORE_SSAP);
    return 0;
  }
  if (selector != nullptr) u->ssap = *selector;
  u->callback = callback;
  u->next = &t->users;
  u->prev = t->users.prev;
  t->users.prev->next = u;
  t->users.prev = u;
  QvSetSessionError(0);
  return 1;
}

int32_t s_deactivate(const SSAPaddr* selector) {
  QvGlobalLock lock;
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return 0;
  SsUser* u = find_ss_user(selector);
  if (u == nullptr) {
    QvSetSessionError(S_SSAP_NOT_IN_USE);
    return 0;
  }
  for (SmLink* l = t->machines.next; l != &t->machines; l = l->next) {
    const auto* s = static_cast<Smachine*>(l);
    if (s->owner == u && s->state != STA01C && s->state != STA16) {
      QvSetSessionError(S_SSAP_BUSY);
      return 0;
    }
  }
  // Connections that only wait for their end lose their user, so that no
  // later indication or confirm reaches the freed record.
  for (SmLink* l = t->machines.next; l != &t->machines; l = l->next) {
    auto* s = static_cast<Smachine*>(l);
    if (s->owner == u) s->owner = nullptr;
  }
  u->prev->next = u->next;
  u->next->prev = u->prev;
  delete u;
  QvSetSessionError(0);
  return 1;
}

int32_t s_unitdata() {
  QvSetSessionError(S_INVALID_EVENT);
  return 0;
}

// ---------------------------------------------------------------------------
// Connections

void init_spm(Smachine* s) {
  s->state = STA01;
  s->owner = nullptr;
  s->segmenting = 0;
  s->lastDataKind = 0;
  s->rcvPending = 0;
  s->inputDisabled = 0;
  sq_init(&s->outQ);
  sq_init(&s->cnfQ);
  sq_init(&s->exQ);
  s->prCount = 0;
  s->credit = 0;
  S_tpi_initSpmTInfo(s);
}

Smachine* s_alloc() {
  auto* s = new (std::nothrow) Smachine{};
  if (s == nullptr) return nullptr;
  s->next = s->prev = s;
  s->tcepId = -1;  // no transport endpoint yet
  init_spm(s);
  return s;
}

bool s_isLive(const SessionTLS* t, const Smachine* s) {
  if (t == nullptr || s == nullptr) return false;
  for (const SmLink* l = t->machines.next; l != &t->machines; l = l->next)
    if (l == s) return true;
  return false;
}

void s_release(Smachine* s) {
  if (s == nullptr) return;
  TM_TRACE(sess_TM_handle, 64, kSrc, "Deactivate session machine");
  STIMcan(s);  // no timer may fire into the freed record
  S_tpi_releaseBuffers(s);
  s->prev->next = s->next;
  s->next->prev = s->prev;
  sq_freeAll(&s->outQ);
  sq_freeAll(&s->cnfQ);
  sq_freeAll(&s->exQ);
  delete s;
  if (SessionTLS* t = getSessionTLS(0)) t->released = 1;
}

int32_t session(Smachine* s, SIDU* sidu) {
  if (sidu != nullptr) sidu->trailing = 0;
  SessionTLS* t = getSessionTLS(0);
  uint32_t r = 0;
  if (t == nullptr || s == nullptr || !s_isLive(t, s)) {
    r = S_INVALID_STATE;  // no connection, or not one of this thread's
  } else if (sidu == nullptr) {
    r = S_INVALID_EVENT;  // no primitive
  } else {
    bool live = false;
    r = runMachine(t, s, sidu, sidu->event, &live);
    if (r < S_UNSPECIFIED && live) S_tpi_updateReceiveCreditAndPostReceiveBuffer(s, sidu->credit);
  }
  QvSetSessionError(r);
  return r == 0 ? 1 : 0;
}

Smachine* s_connect(SIDU* sidu) {
  QvGlobalLock lock;
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return nullptr;
  if (sidu == nullptr) {
    QvSetSessionError(S_INVALID_EVENT);
    return nullptr;
  }
  sidu->trailing = 0;
  SsUser* u = find_ss_user(sidu->callingSsap);
  if (u == nullptr) {
    QvSetSessionError(S_SSAP_NOT_IN_USE);
    return nullptr;
  }
  Smachine* s = s_alloc();
  if (s == nullptr) {
    QvSetSessionError(S_NO_MORE_CONN);
    return nullptr;
  }
  s->owner = u;
  s->next = &t->machines;
  s->prev = t->machines.prev;
  t->machines.prev->next = s;
  t->machines.prev = s;
  s->credit = sidu->credit;
  sidu->credit = 0;

  bool live = false;
  const uint32_t r = runMachine(t, s, sidu, kEvConnectReq, &live);
  QvSetSessionError(r);
  if (r == 0 && live) return s;
  // A refused request leaves the connection in STA01, where the machine has
  // already ended it; one left anywhere else could never be reached again.
  if (live) s_release(s);
  return nullptr;
}

// ---------------------------------------------------------------------------
// Start-up, transport providers

void init_mgmt() {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return;
  session_freeRecords(t);
}

uint32_t init_session(TpLocalAddr* params) {
  QvGlobalLock lock;
  init_timers();
  const uint32_t r = init_ifc(params);
  if (r == 0) init_mgmt();
  return r;
}

void term_session() {
  (void)close_ifc();
  // The providers attached go with the layer: a later start attaches again.
  if (SessionTLS* t = getSessionTLS(0)) t->stackInfo = qv_s_stackInfo;
}

uint32_t s_attach_transport(const char* genericName) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "s_attach_transport: genericName=(%s)  ",
           genericName != nullptr ? genericName : "");
  if (genericName == nullptr) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "s_attach_transport: NULL genericName");
    return kSessErrNoProvider;
  }
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return S_UNSPECIFIED;
  if (t->stackInfo.count >= kMaxProviders) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "s_attach_transport: maximum number of attached transport providers is %d",
             kMaxProviders);
    return S_NO_TOKEN_SPECIFIED;
  }
  if (S_tpi_invalidProviderGenericName(genericName) != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "s_attach_transport: no device name found for %s", genericName);
    return kSessErrBadProvider;
  }
  char* device = get_osi_cfg_value(genericName, "tp_provider");
  const uint32_t r = s_tp_bind(genericName, device != nullptr ? device : kDefaultDeviceName, nullptr);
  std::free(device);
  if (r != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "s_attach_transport: s_tp_bind failed with 0x%x", r);
    return r;
  }
  if (gqv_strcmp(genericName, "TP4") != 0 && gqv_strcmp(genericName, "TP024") != 0) ++t->stackInfo.count;
  return 0;
}

void s_detach_transport() {}
