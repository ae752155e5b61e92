// The SPDU builders: each writes an SPDU's header and parameters back to
// front, last parameter first, and puts them in front of the user data,
// which is never copied.
//
// The header is written into a work area first. It then goes into the room
// in front of the user data when there is enough; otherwise it goes into a
// buffer of its own, linked in front of the user data in the same unit, so
// that a buffer whose data start at its area start is never written before
// its area. The octets on the wire are the same either way.
#include <cstring>

#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/spdubld";

// Room for the longest header: a CN with every reference at 64 octets, both
// selectors and the extended user-data header stays below 300 octets.
constexpr uint32_t kHeaderRoom = 512;

// The user data of a unit: the buffer and every buffer after it in its ring.
uint32_t chainLength(const SessionBuffer* buf) {
  if (buf == nullptr) return 0;
  uint32_t n = buf->length;
  for (const SessionBuffer* b = buf->next; b != nullptr && b != buf; b = b->next) n += b->length;
  return n;
}

// Drops the user data of a unit: the first buffer is emptied, the rest freed.
void dropData(SessionBuffer* buf) {
  if (buf->next != nullptr) {
    while (buf->next != buf) bfree(buf->next);
  }
  buf->data = buf->area + buf->capacity;
  buf->length = 0;
}

// A header being built in a work area on the builder's stack.
class Header {
 public:
  explicit Header(SessionTLS* t) : t_(t) {
    t_->writeBase = area_;
    t_->writePtr = area_ + kHeaderRoom;
    t_->writeOverflow = 0;
  }
  ~Header() {
    t_->writeBase = nullptr;
    t_->writePtr = nullptr;
  }
  Header(const Header&) = delete;
  Header& operator=(const Header&) = delete;

  const uint8_t* start() const { return t_->writePtr; }
  uint32_t length() const { return static_cast<uint32_t>(area_ + kHeaderRoom - t_->writePtr); }
  bool overflow() const { return t_->writeOverflow != 0; }

 private:
  SessionTLS* t_;
  uint8_t area_[kHeaderRoom];
};

// Puts the header in front of the user data in `buf`, or into a buffer of
// its own linked in front; `*first` is the unit's first buffer. False when
// no buffer could be had.
bool placeHeader(SessionTLS* t, const Header& h, SessionBuffer* buf, SessionBuffer** first) {
  const uint32_t n = h.length();
  if (static_cast<uint32_t>(buf->data - buf->area) >= n) {
    buf->data -= n;
    buf->length += n;
    std::memcpy(buf->data, h.start(), n);
    t->writePtr = buf->data;
    *first = buf;
    return true;
  }
  SessionBuffer* head = balloc(static_cast<int32_t>(n));
  if (head == nullptr) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "no buffer for an SPDU header of %u octets\n", static_cast<unsigned>(n));
    return false;
  }
  std::memcpy(head->data, h.start(), n);
  head->endFlag = 0;
  // Linked just before `buf` in its ring.
  head->next = buf;
  head->prev = buf->prev;
  buf->prev->next = head;
  buf->prev = head;
  t->writePtr = head->data;
  *first = head;
  return true;
}

// Queues the unit that starts at `first` (its ring in order, ending with the
// buffer before `first`) and asks the transport to send.
uint32_t queueUnit(Smachine* s, SessionBuffer* first, uint32_t total) {
  SessionBuffer* b = first;
  SessionBuffer* last = first->prev;
  for (;;) {
    SessionBuffer* following = b->next;
    const bool end = b == last;
    if (!end) b->endFlag = 0;
    sq_append(&s->outQ, b);
    if (end) break;
    b = following;
  }
  (void)total;
  return s_transmit(s);
}

SessionTLS* sessionOrNull() { return getSessionTLS(0); }

// Finishes a normal-path SPDU whose header is in `h`: placed, queued, sent.
uint32_t finish(Smachine* s, const Header& h, SessionBuffer* buf, uint32_t total) {
  SessionTLS* t = sessionOrNull();
  if (h.overflow()) return S_NO_BUFFER;
  SessionBuffer* first = nullptr;
  if (!placeHeader(t, h, buf, &first)) return S_NO_BUFFER;
  if (first == buf) return sendpdu(s, buf, total);
  if (tm_siteOn(sess_TM_handle, 256)) tm_dmppdu(first->data, first->length, "sendpdu");
  return queueUnit(s, first, total);
}

// The user data of `buf` as PI 193, when there is any.
uint32_t userData(const SessionBuffer* buf) {
  const uint32_t len = chainLength(buf);
  return len > 0 ? add_id(PGI_USER_DATA, len) : 0;
}

// The empty GT or PT in front of the second SPDU of a pair.
uint32_t pairHead(uint8_t si) { return add_id(si, 0); }

uint32_t paired(Smachine* s, uint8_t head, uint8_t si, SessionBuffer* buf, uint32_t (*params)(const void*),
                const void* arg) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  if (params != nullptr) p += params(arg);
  uint32_t total = add_id(si, p);
  total += pairHead(head);
  return finish(s, h, buf, total);
}

uint32_t serialParam(uint64_t serial) { return add_id(PI_SERIAL, add_ascii(serial)); }

uint32_t oneOctet(uint8_t code, uint32_t value) { return add_id(code, add_int(1, value)); }

}  // namespace

// ---------------------------------------------------------------------------
// Encoders

uint32_t add_int(uint32_t n, uint32_t value) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || n == 0) return 0;
  if (n > 4 || t->writePtr - t->writeBase < static_cast<ptrdiff_t>(n)) {
    t->writeOverflow = 1;
    return 0;
  }
  for (uint32_t i = 0; i < n; ++i) {
    *--t->writePtr = static_cast<uint8_t>(value & 0xFF);
    value >>= 8;
  }
  return n;
}

uint32_t add_id(uint8_t code, uint32_t length) {
  uint32_t n = 0;
  if (length < 255) {
    n += add_int(1, length);
  } else {
    n += add_int(2, length);
    n += add_int(1, 255);
  }
  n += add_int(1, code);
  return length + n;
}

uint32_t add_ascii(uint64_t value) {
  uint32_t n = 0;
  do {
    n += add_int(1, static_cast<uint32_t>('0' + value % 10));
    value /= 10;
  } while (value != 0);
  return n;
}

uint32_t add_blk(uint32_t n, const uint8_t* source) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || n == 0 || source == nullptr) return 0;
  if (t->writePtr - t->writeBase < static_cast<ptrdiff_t>(n)) {
    t->writeOverflow = 1;
    return 0;
  }
  t->writePtr -= n;
  std::memcpy(t->writePtr, source, n);
  return n;
}

uint32_t add_scid(const ScidBlock* cid, bool withCalled, bool withCalling) {
  if (cid == nullptr) return 0;
  auto part = [](uint8_t code, uint32_t len, const uint8_t* value, uint32_t size) -> uint32_t {
    if (len == 0) return 0;
    return add_id(code, add_blk(len < size ? len : size, value));
  };
  uint32_t n = part(PI_ADD_INFO, cid->additionalLen, cid->additional, sizeof cid->additional);
  n += part(PI_COMMON_REF, cid->commonLen, cid->common, sizeof cid->common);
  if (withCalling) n += part(PI_CALLING_SS_REF, cid->callingLen, cid->calling, sizeof cid->calling);
  if (withCalled) n += part(PI_CALLED_SS_REF, cid->calledLen, cid->called, sizeof cid->called);
  return n;
}

uint32_t add_cai(const Smachine* s, uint8_t tokenSetting, uint64_t isn) {
  const uint32_t r = s->requirements;
  uint32_t n = 0;
  if ((r & 0xD9) != 0) n += oneOctet(PI_TOKEN_SETTING, tokenSetting);
  if ((r & SR_ACTIVITY) == 0 && (r & (SR_MINORSYNC | SR_MAJORSYNC | SR_RESYNC)) != 0)
    n += add_id(PI_ISN, add_ascii(isn));
  n += oneOctet(PI_VERSION, s->version);
  n += oneOctet(PI_PROT_OPTIONS, 0);
  return add_id(PGI_CONN_ACC, n);
}

// ---------------------------------------------------------------------------
// Queueing

uint32_t sendpdu(Smachine* s, SessionBuffer* buf, uint32_t total) {
  SessionTLS* t = sessionOrNull();
  if (t != nullptr && t->writePtr != nullptr) buf->data = t->writePtr;
  buf->length = total - (chainLength(buf) - buf->length);
  if (tm_siteOn(sess_TM_handle, 256)) tm_dmppdu(buf->data, buf->length, "sendpdu");
  return queueUnit(s, buf, total);
}

// ---------------------------------------------------------------------------
// Connection SPDUs

namespace {

uint32_t selectorParam(uint8_t code, const SSel& sel) {
  if (sel.len == 0) return 0;
  return add_id(code, add_blk(sel.len < kSsapMaxLen ? sel.len : kSsapMaxLen, sel.sel));
}

const SSel& userSelector(const Smachine* s) {
  static const SSel kNone{};
  return s->owner != nullptr ? s->owner->ssap.ssap : kNone;
}

}  // namespace

uint32_t pduCN(Smachine* s, uint8_t tokenSetting, const ScidBlock* cid, uint64_t isn, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  const uint32_t len = chainLength(buf);
  uint32_t p = 0;
  if (len > 0) p += add_id(len <= kUserDataV1Max ? PGI_USER_DATA : PGI_EXT_USER_DATA, len);
  p += selectorParam(PI_CALLED_SSEL, s->peerAddr.ssap);
  p += selectorParam(PI_CALLING_SSEL, userSelector(s));
  p += add_id(PI_SREQ, add_int(2, s->requirements));
  p += add_cai(s, tokenSetting, isn);
  if (const uint32_t c = add_scid(cid, false, true); c > 0) p += add_id(PGI_CONN_ID, c);
  return finish(s, h, buf, add_id(SI_CN, p));
}

uint32_t pduAC(Smachine* s, uint8_t tokenSetting, const ScidBlock* cid, uint64_t isn, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  p += selectorParam(PI_CALLED_SSEL, userSelector(s));
  p += selectorParam(PI_CALLING_SSEL, s->peerAddr.ssap);
  p += add_id(PI_SREQ, add_int(2, s->requirements));
  p += add_cai(s, tokenSetting, isn);
  if (const uint32_t c = add_scid(cid, true, false); c > 0) p += add_id(PGI_CONN_ID, c);
  return finish(s, h, buf, add_id(SI_AC, p));
}

uint32_t pduRF(Smachine* s, uint32_t keepTransport, const ScidBlock* cid, uint8_t reason, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  if (reason != 2) dropData(buf);
  Header h(t);
  uint32_t p = add_id(PI_REASON, add_int(1, reason) + chainLength(buf));
  if (reason == 2) {
    if (s->version != 1) p += oneOctet(PI_VERSION, s->version);
    p += add_id(PI_SREQ, add_int(2, s->requirements));
  }
  p += oneOctet(PI_TDISC, keepTransport == 0 ? 1 : 0);
  if (const uint32_t c = add_scid(cid, true, false); c > 0) p += add_id(PGI_CONN_ID, c);
  return finish(s, h, buf, add_id(SI_RF, p));
}

uint32_t pduFN(Smachine* s, uint32_t keepTransport, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  p += oneOctet(PI_TDISC, keepTransport == 0 ? 1 : 0);
  return finish(s, h, buf, add_id(SI_FN, p));
}

namespace {

uint32_t dataOnly(Smachine* s, uint8_t si, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  return finish(s, h, buf, add_id(si, userData(buf)));
}

// The expedited path: the transport offers no expedited flow, so the octets
// are handed to TEXPreq, which takes them and sends nothing.
void expedite(Smachine* s, const uint8_t* octets, uint32_t length) {
  if (tm_siteOn(sess_TM_handle, 256)) tm_dmppdu(octets, length, "expedited");
  TEXPreq(s, octets, length);
}

}  // namespace

uint32_t pduDN(Smachine* s, SessionBuffer* buf) { return dataOnly(s, SI_DN, buf); }
uint32_t pduNF(Smachine* s, SessionBuffer* buf) { return dataOnly(s, SI_NF, buf); }
uint32_t pduGTC(Smachine* s, SessionBuffer* buf) { return dataOnly(s, SI_GTC, buf); }

uint32_t pduAB(Smachine* s, uint8_t value, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr) return S_NO_BUFFER;
  Header h(t);
  const uint32_t len = chainLength(buf);
  uint32_t p = len > 0 ? add_id(PGI_USER_DATA, len) : 0;
  p += oneOctet(PI_TDISC, value);
  const uint32_t total = add_id(SI_AB, p);
  if (h.overflow()) return S_NO_BUFFER;
  if (buf == nullptr || (len <= kAbortDataMax && s->texp != 0)) {
    if (tm_siteOn(sess_TM_handle, 256)) tm_dmppdu(t->spdu.spduStart, t->spdu.spduLength, "inpdu");
    TEXPreq(s, h.start(), h.length());
    if (buf != nullptr) s_freeChain(buf);
    return 0;
  }
  return finish(s, h, buf, total);
}

uint32_t pduAA(Smachine* s, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  dropData(buf);
  Header h(t);
  return finish(s, h, buf, add_id(SI_AA, 0));
}

uint32_t pduDT(Smachine* s, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  TM_DUMPHEX(sess_TM_handle, 32, kSrc, "DT ui sent", buf->data, static_cast<int32_t>(buf->length));
  Header h(t);
  uint32_t total = add_id(SI_DT, 0);
  total += pairHead(SI_GT);
  return finish(s, h, buf, total + chainLength(buf));
}

uint32_t pduTD(Smachine* s, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  TM_DUMPHEX(sess_TM_handle, 32, kSrc, "TD ui sent", buf->data, static_cast<int32_t>(buf->length));
  Header h(t);
  return finish(s, h, buf, add_id(SI_TD, 0) + chainLength(buf));
}

uint32_t pduEX(Smachine* s, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  TM_DUMPHEX(sess_TM_handle, 32, kSrc, "EX ui sent", buf->data, static_cast<int32_t>(buf->length));
  {
    Header h(t);
    (void)add_id(SI_EX, 0);
    if (static_cast<uint32_t>(buf->data - buf->area) >= h.length()) {
      buf->data -= h.length();
      buf->length += h.length();
      std::memcpy(buf->data, h.start(), h.length());
      expedite(s, buf->data, buf->length);
    } else {
      expedite(s, h.start(), h.length());
    }
  }
  s_freeChain(buf);
  return 0;
}

uint32_t pduGT(Smachine* s, uint8_t tokens, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  p += oneOctet(PI_TOKEN_ITEM, tokens);
  return finish(s, h, buf, add_id(SI_GT, p));
}

uint32_t pduPT(Smachine* s, uint8_t tokens, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  p += oneOctet(PI_TOKEN_ITEM, tokens);
  return finish(s, h, buf, add_id(SI_PT, p));
}

uint32_t pduGTA(Smachine* s, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  return finish(s, h, buf, add_id(SI_GTA, chainLength(buf)));
}

uint32_t pduPR(Smachine* s, uint8_t type) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr) return S_NO_BUFFER;
  Header h(t);
  (void)add_id(SI_PR, oneOctet(PI_PREPARE_TYPE, type));
  expedite(s, h.start(), h.length());
  return 0;
}

// ---------------------------------------------------------------------------
// Pairs: GT or PT in front

namespace {

struct SerialArgs {
  uint64_t serial;
  uint32_t syncType;  // 0: no PI 15
};

uint32_t serialParams(const void* arg) {
  const auto* a = static_cast<const SerialArgs*>(arg);
  uint32_t n = serialParam(a->serial);
  if (a->syncType != 0) n += oneOctet(PI_SYNC_TYPE, a->syncType);
  return n;
}

uint32_t reasonParam(const void* arg) { return oneOctet(PI_REASON, *static_cast<const uint8_t*>(arg)); }

}  // namespace

uint32_t pduMIP(Smachine* s, uint64_t serial, uint32_t explicitConfirm, SessionBuffer* buf) {
  const SerialArgs a{serial, explicitConfirm != 0 ? 1u : 0u};
  return paired(s, SI_GT, SI_MIP, buf, serialParams, &a);
}

uint32_t pduMIA(Smachine* s, uint64_t serial, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  const uint32_t len = chainLength(buf);
  uint32_t p = len > 0 ? add_id(PI_MIA_DATA, len) : 0;
  p += serialParam(serial);
  uint32_t total = add_id(SI_MIA, p);
  total += pairHead(SI_PT);
  return finish(s, h, buf, total);
}

uint32_t pduMAP(Smachine* s, uint64_t serial, SessionBuffer* buf) {
  const SerialArgs a{serial, 1};
  return paired(s, SI_GT, SI_MAP, buf, serialParams, &a);
}

uint32_t pduMAA(Smachine* s, uint64_t serial, SessionBuffer* buf) {
  const SerialArgs a{serial, 0};
  return paired(s, SI_PT, SI_MAA, buf, serialParams, &a);
}

uint32_t pduAE(Smachine* s, uint64_t serial, SessionBuffer* buf) {
  const SerialArgs a{serial, 0};
  return paired(s, SI_GT, SI_AE, buf, serialParams, &a);
}

uint32_t pduAEA(Smachine* s, uint64_t serial, SessionBuffer* buf) {
  const SerialArgs a{serial, 0};
  return paired(s, SI_PT, SI_AEA, buf, serialParams, &a);
}

uint32_t pduRS(Smachine* s, uint8_t type, uint8_t tokenSetting, uint64_t serial, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  p += serialParam(serial);
  p += oneOctet(PI_RESYNC_TYPE, type);
  if (s->av != 0) p += oneOctet(PI_TOKEN_SETTING, tokenSetting);
  uint32_t total = add_id(SI_RS, p);
  total += pairHead(SI_GT);
  return finish(s, h, buf, total);
}

uint32_t pduRA(Smachine* s, uint8_t tokenSetting, uint64_t serial, SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  p += serialParam(serial);
  if (s->av != 0) p += oneOctet(PI_TOKEN_SETTING, tokenSetting);
  uint32_t total = add_id(SI_RA, p);
  total += pairHead(SI_PT);
  return finish(s, h, buf, total);
}

namespace {

uint32_t activityParam(const ActId* id) {
  if (id == nullptr || id->len == 0) return 0;
  return add_id(PI_ACTIVITY_ID, add_blk(id->len < sizeof id->id ? id->len : sizeof id->id, id->id));
}

}  // namespace

uint32_t pduAS(Smachine* s, const ActId* id, SessionBuffer* buf) {
  return paired(s, SI_GT, SI_AS, buf, [](const void* a) { return activityParam(static_cast<const ActId*>(a)); }, id);
}

uint32_t pduAR(Smachine* s, const ScidBlock* cid, const ActId* oldId, const ActId* id, uint64_t oldSerial,
               SessionBuffer* buf) {
  SessionTLS* t = sessionOrNull();
  if (t == nullptr || s == nullptr || buf == nullptr) return S_NO_BUFFER;
  Header h(t);
  uint32_t p = userData(buf);
  p += activityParam(id);
  uint32_t link = serialParam(oldSerial);
  link += activityParam(oldId);
  link += add_scid(cid, true, true);
  p += add_id(PGI_LINKING, link);
  uint32_t total = add_id(SI_AR, p);
  total += pairHead(SI_GT);
  return finish(s, h, buf, total);
}

uint32_t pduAI(Smachine* s, uint8_t reason, SessionBuffer* buf) {
  return paired(s, SI_GT, SI_AI, buf, reasonParam, &reason);
}
uint32_t pduAIA(Smachine* s, SessionBuffer* buf) { return paired(s, SI_PT, SI_AIA, buf, nullptr, nullptr); }
uint32_t pduAD(Smachine* s, uint8_t reason, SessionBuffer* buf) {
  return paired(s, SI_GT, SI_AD, buf, reasonParam, &reason);
}
uint32_t pduADA(Smachine* s, SessionBuffer* buf) { return paired(s, SI_PT, SI_ADA, buf, nullptr, nullptr); }
uint32_t pduED(Smachine* s, uint8_t reason, SessionBuffer* buf) {
  return paired(s, SI_PT, SI_ED, buf, reasonParam, &reason);
}
uint32_t pduCD(Smachine* s, SessionBuffer* buf) { return paired(s, SI_GT, SI_CD, buf, nullptr, nullptr); }
uint32_t pduCDA(Smachine* s, SessionBuffer* buf) { return paired(s, SI_PT, SI_CDA, buf, nullptr, nullptr); }
