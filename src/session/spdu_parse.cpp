// The SPDU reader: one received transport data unit in, protocol-machine
// events out.
//
// Every octet here comes from the peer. The value readers check, before they
// touch a value, that the parameter's code, its LI and its value lie within
// the SPDU or group being read (which itself lies within the data received);
// anything that does not fit leaves the SPDU by the escape.
#include "src/session/spdu.h"

#include <cstring>

#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spm.h"
#include "src/session/stimer.h"
#include "src/session/tp0addr.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/spdu";

// Escape codes: where the SPDU went wrong, for the trace.
enum : uint32_t {
  kBadLength = 1,    // an LI runs past the SPDU, group or unit
  kBadLi = 2,        // a three-octet LI below 255
  kBadValue = 3,     // wrong size or content of a value
  kBadNoSession = 4, // no session record
};

[[noreturn]] void escape(uint32_t code) { throw SpduEscape{code}; }

SessionTLS& tls() {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) escape(kBadNoSession);
  return *t;
}

const char* kindName(uint32_t kind) {
  switch (kind) {
    case SPDU_NORMAL: return "normal";
    case SPDU_EXPEDITED: return "expedited";
    case SPDU_UNIT: return "unit";
    default: return "?";
  }
}

// Octets left between the cursor and the end of what is being read.
size_t left(const SessionTLS& t) {
  return t.parseCursor < t.parseEnd ? static_cast<size_t>(t.parseEnd - t.parseCursor) : 0;
}

// The LI of the parameter at the cursor, without moving.
uint32_t peek_li() {
  SessionTLS& t = tls();
  const uint8_t* at = t.parseCursor;
  const uint32_t li = get_li();
  t.parseCursor = at;
  return li;
}

bool versionOne(const Smachine* s) { return s->version == 1; }

// The user-data limit of most SPDUs: 512 octets in version 1, else none.
uint32_t v1Limit(const Smachine* s) { return versionOne(s) ? kUserDataV1Max : 0; }

// Reads the parameters up to `end`, in strictly ascending code order,
// through `onCode` (1 taken, 0 refuse the SPDU, -1 not handled: skipped).
template <class F>
int32_t readParams(const uint8_t* end, F&& onCode) {
  SessionTLS& t = tls();
  t.parseEnd = end;
  int32_t previous = -1;
  while (t.parseCursor < end) {
    const uint8_t code = *t.parseCursor;
    if (code <= previous) return 0;
    previous = code;
    const int32_t r = onCode(code);
    if (r == 0) return 0;
    if (r < 0) skip(0);
  }
  return t.parseCursor == end ? 1 : 0;
}

// A group at the cursor: its parameters through `onCode`; the enclosing end
// is back in place afterwards.
template <class F>
int32_t readGroup(F&& onCode) {
  SessionTLS& t = tls();
  const uint8_t* outer = t.parseEnd;
  const uint32_t li = get_li();
  const uint8_t* end = t.parseCursor + li;
  const int32_t r = readParams(end, onCode);
  t.parseEnd = outer;
  return r;
}

void clearReferences(SpduArea& a) {
  a.cid.calledLen = a.cid.callingLen = a.cid.commonLen = a.cid.additionalLen = 0;
}

// PIs 9-12 of a connection identifier or linking information.
int32_t referenceItem(uint8_t code) {
  ScidBlock& c = tls().spdu.cid;
  switch (code) {
    case PI_CALLED_SS_REF: c.calledLen = getvs(sizeof c.called, c.called); return 1;
    case PI_CALLING_SS_REF: c.callingLen = getvs(sizeof c.calling, c.calling); return 1;
    case PI_COMMON_REF: c.commonLen = getvs(sizeof c.common, c.common); return 1;
    case PI_ADD_INFO: c.additionalLen = getvs(sizeof c.additional, c.additional); return 1;
    default: return -1;
  }
}

uint8_t selectorInto(SAddress& rec) {
  rec.ssap.len = static_cast<uint8_t>(getvs(kSsapMaxLen, rec.ssap.sel));
  return rec.ssap.len;
}

// The enclosure item: only "beginning and end of a unit" is accepted.
int32_t enclosure() {
  const uint32_t v = get1(-1);
  tls().spdu.enclosure = static_cast<uint8_t>(v);
  return v == 3 ? 1 : 0;
}

// An address record with an empty selector and network part and the local
// transport part.
void localRecord(SAddress& rec) {
  const SessionTLS& t = tls();
  rec = SAddress{};
  rec.tsap = t.localAddr.tsap;
  if (rec.tsap.len > kTsapMaxLen) rec.tsap.len = kTsapMaxLen;
  rec.tsapWord = t.localAddr.word;
}

void connectDefaults(SpduArea& a) {
  a.protocolOptions = 0;
  a.version = 1;
  a.tokenSetting = 0;
  a.serial = kNoSerial;
  a.requirements = kDefaultRequirements;
  clearReferences(a);
}

uint32_t userDataLength(const SpduArea& a) { return a.userData != nullptr ? a.userData->length : 0; }

// Readers of the SPDUs that keep only an enclosure item and user data.
int32_t enclosureAndData(const uint8_t* end, uint32_t limit, uint32_t event) {
  SpduArea& a = tls().spdu;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PGI_USER_DATA: get_user_data(limit); return 1;
          default: return -1;
        }
      }))
    return 0;
  a.pendingEvent = static_cast<int32_t>(event);
  return 1;
}

// Readers of SPDUs with a mandatory serial number, an optional enclosure
// item and user data.
int32_t serialAndData(const uint8_t* end, Smachine* s, bool enclosureAllowed) {
  bool serial = false;
  SpduArea& a = tls().spdu;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosureAllowed ? enclosure() : -1;
          case PI_SERIAL: a.serial = get6(); serial = true; return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  return serial ? 1 : 0;
}

bool stateIn(const Smachine* s, std::initializer_list<uint8_t> states) {
  for (uint8_t st : states)
    if (s->state == st) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Value readers

uint32_t get_li() {
  SessionTLS& t = tls();
  if (left(t) < 2) escape(kBadLength);
  const uint8_t* p = t.parseCursor;
  uint32_t li = p[1];
  size_t header = 2;
  if (li == 255) {
    if (left(t) < 4) escape(kBadLength);
    li = (uint32_t{p[2]} << 8) | p[3];
    if (li < 255) escape(kBadLi);
    header = 4;
  }
  if (left(t) - header < li) escape(kBadLength);
  t.parseCursor = p + header;
  return li;
}

uint32_t get1(int32_t dflt) {
  const uint32_t li = get_li();
  if (li == 0 && dflt >= 0) return static_cast<uint32_t>(dflt);
  if (li != 1) escape(kBadValue);
  SessionTLS& t = tls();
  return *t.parseCursor++;
}

uint32_t get2(int32_t dflt) {
  const uint32_t li = get_li();
  if (li == 0) return static_cast<uint32_t>(dflt);
  if (li != 2) escape(kBadValue);
  SessionTLS& t = tls();
  const uint32_t v = (uint32_t{t.parseCursor[0]} << 8) | t.parseCursor[1];
  t.parseCursor += 2;
  return v;
}

int32_t get4() {
  const uint32_t li = get_li();
  if (li == 0) return 0;
  if (li != 4) escape(kBadValue);
  SessionTLS& t = tls();
  const uint8_t* p = t.parseCursor;
  const uint32_t v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  t.parseCursor += 4;
  return static_cast<int32_t>(v);
}

uint64_t get6() {
  const uint32_t li = get_li();
  if (li == 0) return 0;
  if (li > 6) escape(kBadValue);
  SessionTLS& t = tls();
  uint64_t v = 0;
  for (uint32_t i = 0; i < li; ++i) {
    const uint8_t c = t.parseCursor[i];
    if (c < '0' || c > '9') escape(kBadValue);
    v = v * 10 + (c - '0');
  }
  t.parseCursor += li;
  return v;
}

uint32_t getvs(uint32_t max, uint8_t* dest) {
  const uint32_t li = get_li();
  if (li == 0) return 0;
  if (li > max) escape(kBadValue);
  SessionTLS& t = tls();
  std::memcpy(dest, t.parseCursor, li);
  t.parseCursor += li;
  return li;
}

void get_user_data(uint32_t max) {
  const uint32_t li = get_li();
  if (li == 0) return;
  if (max != 0 && li > max) escape(kBadValue);
  SessionTLS& t = tls();
  SessionBuffer* in = t.parseInput;
  if (in == nullptr) escape(kBadValue);
  // The value lies within the received data (get_li checked it), so the
  // buffer only narrows.
  in->data = const_cast<uint8_t*>(t.parseCursor);
  in->length = li;
  t.spdu.userData = in;
  t.parseCursor += li;
}

void skip(uint32_t max) {
  const uint32_t li = get_li();
  if (max != 0 && li > max) escape(kBadValue);
  tls().parseCursor += li;
}

// ---------------------------------------------------------------------------
// Group readers

int32_t p_ci_pgi() { return readGroup(referenceItem); }

int32_t p_cai_pgi() {
  if (peek_li() == 0) {
    (void)get_li();
    return 1;  // an empty group
  }
  SpduArea& a = tls().spdu;
  bool options = false, version = false;
  if (!readGroup([&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_PROT_OPTIONS: a.protocolOptions = static_cast<uint8_t>(get1(0)); options = true; return 1;
          case PI_TSDU_MAX: (void)get4(); return 1;
          case PI_VERSION: a.version = static_cast<uint8_t>(get1(0)); version = true; return 1;
          case PI_ISN: a.serial = get6(); return 1;
          case PI_TOKEN_SETTING: a.tokenSetting = static_cast<uint8_t>(get1(0)); return 1;
          default: return -1;
        }
      }))
    return 0;
  return options && version && a.version != 0 ? 1 : 0;
}

int32_t p_link_pgi() {
  SpduArea& a = tls().spdu;
  bool oldId = false, serial = false;
  if (!readGroup([&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ACTIVITY_ID:
            a.oldActivityId.len = getvs(sizeof a.oldActivityId.id, a.oldActivityId.id);
            oldId = true;
            return 1;
          case PI_SERIAL: a.serial = get6(); serial = true; return 1;
          default: return referenceItem(code);
        }
      }))
    return 0;
  return oldId && serial ? 1 : 0;
}

// ---------------------------------------------------------------------------
// SPDU readers

int32_t p_CN_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  connectDefaults(a);
  a.calling = s->peerAddr;
  localRecord(a.called);
  a.dataOverflow = 0;
  bool userData = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PGI_CONN_ID: return p_ci_pgi();
          case PGI_CONN_ACC: return p_cai_pgi();
          case PI_SREQ: a.requirements = get2(kDefaultRequirements); return 1;
          case PI_CALLING_SSEL: selectorInto(a.calling); return 1;
          case PI_CALLED_SSEL: selectorInto(a.called); return 1;
          case PI_DATA_OVERFLOW:
            (void)get1(0);
            a.dataOverflow = 1;  // its presence is what counts
            return 1;
          case PGI_USER_DATA:
            get_user_data(kUserDataV1Max);
            userData = true;
            return 1;
          case PGI_EXT_USER_DATA: {
            if (userData) return 0;  // only one of the two
            const uint32_t li = peek_li();
            if (li <= kUserDataV1Max) return 0;
            get_user_data(kExtUserDataMax);
            return 1;
          }
          default: return -1;
        }
      }))
    return 0;
  a.pendingEvent = EV_CN;
  return 1;
}

int32_t p_AC_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  connectDefaults(a);
  a.called = s->peerAddr;
  localRecord(a.calling);
  a.tokenItem = 0;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PGI_CONN_ID: return p_ci_pgi();
          case PGI_CONN_ACC: return p_cai_pgi();
          case PI_TOKEN_ITEM: a.tokenItem = static_cast<uint8_t>(get1(0)); return 1;
          case PI_SREQ: a.requirements = get2(kDefaultRequirements); return 1;
          case PI_ENCLOSURE: return enclosure();
          case PI_CALLING_SSEL: selectorInto(a.calling); return 1;
          case PI_CALLED_SSEL: selectorInto(a.called); return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  a.pendingEvent = EV_AC;
  return 1;
}

int32_t p_RF_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  a.version = 1;
  a.transportDisconnect = 1;
  a.requirements = kDefaultRequirements;
  a.requirementsPresent = 0;
  clearReferences(a);
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PGI_CONN_ID: return p_ci_pgi();
          case PI_TDISC: a.transportDisconnect = static_cast<uint8_t>(get1(1)); return 1;
          case PI_SREQ:
            a.requirements = get2(kDefaultRequirements);
            a.requirementsPresent = 1;
            return 1;
          case PI_VERSION: a.version = static_cast<uint8_t>(get1(-1)); return a.version != 0 ? 1 : 0;
          case PI_ENCLOSURE: return enclosure();
          case PI_REASON: get_user_data(versionOne(s) ? kUserDataV1Max + 1 : 0); return 1;
          default: return -1;
        }
      }))
    return 0;
  a.pendingEvent = a.transportDisconnect != 0 ? EV_RF_REL : EV_RF_KEEP;
  return 1;
}

int32_t p_FN_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  a.transportDisconnect = 1;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_TDISC: a.transportDisconnect = static_cast<uint8_t>(get1(1)); return 1;
          case PI_ENCLOSURE: return enclosure();
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  a.pendingEvent = (a.transportDisconnect & 0x01) != 0 ? EV_FN_REL : EV_FN_KEEP;
  return 1;
}

int32_t p_DN_spdu(const uint8_t* end, Smachine* s) { return enclosureAndData(end, v1Limit(s), EV_DN); }
int32_t p_NF_spdu(const uint8_t* end, Smachine* s) { return enclosureAndData(end, v1Limit(s), EV_NF); }
int32_t p_CD_spdu(const uint8_t* end, Smachine* s) { return enclosureAndData(end, v1Limit(s), EV_CD); }
int32_t p_CDA_spdu(const uint8_t* end, Smachine* s) { return enclosureAndData(end, v1Limit(s), EV_CDA); }
int32_t p_GTC_spdu(const uint8_t* end, Smachine*) { return enclosureAndData(end, 0, EV_GTC); }
int32_t p_AIA_spdu(const uint8_t* end, Smachine*) { return enclosureAndData(end, 0, EV_AIA); }
int32_t p_ADA_spdu(const uint8_t* end, Smachine*) { return enclosureAndData(end, 0, EV_ADA); }

int32_t p_AB_spdu(const uint8_t* end, Smachine* s, uint32_t kind) {
  SpduArea& a = tls().spdu;
  bool disconnectItem = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_TDISC:
            a.transportDisconnect = static_cast<uint8_t>(get1(-1));
            disconnectItem = true;
            return 1;
          case PI_ENCLOSURE: return enclosure();
          case PI_REFLECT:
            if ((a.transportDisconnect & 0x02) != 0 || !disconnectItem) return -1;
            skip(kAbortDataMax);
            return 1;
          case PGI_USER_DATA:
            if (!disconnectItem || (a.transportDisconnect & 0x02) == 0) return -1;
            get_user_data(versionOne(s) ? kAbortDataMax : 0);
            return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!disconnectItem) return 0;
  if (userDataLength(a) > kAbortDataMax) {
    if (kind != SPDU_NORMAL) return 0;
    if (s->texp != 0 && s->state != STA15D) return 0;
  } else {
    if (s->state == STA15D) return 0;
    if (s->texp != 0 && kind != SPDU_EXPEDITED) return 0;
  }
  a.pendingEvent = (a.transportDisconnect & 0x01) != 0 ? EV_AB_REL : EV_AB_KEEP;
  return 1;
}

namespace {

int32_t nothingKept(const uint8_t* end, uint32_t event) {
  if (!readParams(end, [](uint8_t) -> int32_t { return -1; })) return 0;
  tls().spdu.pendingEvent = static_cast<int32_t>(event);
  return 1;
}

int32_t enclosureOnly(const uint8_t* end, uint32_t event) {
  if (!readParams(end, [](uint8_t code) -> int32_t { return code == PI_ENCLOSURE ? enclosure() : -1; })) return 0;
  tls().spdu.pendingEvent = static_cast<int32_t>(event);
  return 1;
}

// GT and PT: an event only when they carry a token item or user data.
int32_t tokens(const uint8_t* end, uint32_t limit, bool enclosureAllowed, uint32_t event) {
  SpduArea& a = tls().spdu;
  a.tokenItem = 0;
  bool any = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_TOKEN_ITEM:
            a.tokenItem = static_cast<uint8_t>(get1(-1));
            any = true;
            return a.tokenItem != 0 ? 1 : 0;
          case PI_ENCLOSURE: return enclosureAllowed ? enclosure() : -1;
          case PGI_USER_DATA:
            get_user_data(limit);
            any = true;
            return 1;
          default: return -1;
        }
      }))
    return 0;
  a.pendingEvent = any ? static_cast<int32_t>(event) : -1;
  return 1;
}

}  // namespace

int32_t p_AA_spdu(const uint8_t* end, Smachine*) { return nothingKept(end, EV_AA); }
int32_t p_EX_spdu(const uint8_t* end, Smachine*) { return nothingKept(end, EV_EX); }
int32_t p_GTA_spdu(const uint8_t* end, Smachine*) { return nothingKept(end, EV_GTA); }
int32_t p_TD_spdu(const uint8_t* end, Smachine*) { return enclosureOnly(end, EV_TD); }
int32_t p_DT_spdu(const uint8_t* end, Smachine*) { return enclosureOnly(end, EV_DT); }
int32_t p_GT_spdu(const uint8_t* end, Smachine*) { return tokens(end, 0, false, EV_GT); }
int32_t p_PT_spdu(const uint8_t* end, Smachine* s) { return tokens(end, v1Limit(s), true, EV_PT); }

int32_t p_PR_spdu(const uint8_t* end, Smachine*) {
  SpduArea& a = tls().spdu;
  bool type = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        if (code != PI_PREPARE_TYPE) return -1;
        a.prepareType = static_cast<uint8_t>(get1(-1));
        type = true;
        return 1;
      }))
    return 0;
  if (!type) return 0;
  switch (a.prepareType) {
    case 1: a.pendingEvent = EV_PR_MAA; return 1;
    case 2: a.pendingEvent = EV_PR_RS; return 1;
    case 3: a.pendingEvent = EV_PR_RA; return 1;
    case 4: a.pendingEvent = EV_PR_AB; return 1;
    default: return 0;
  }
}

int32_t p_MIP_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  a.syncType = 0;
  bool serial = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_SYNC_TYPE: a.syncType = static_cast<uint8_t>(get1(-1)); return a.syncType == 1 ? 1 : 0;
          case PI_ENCLOSURE: return enclosure();
          case PI_SERIAL: a.serial = get6(); serial = true; return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!serial) return 0;
  a.pendingEvent = EV_MIP;
  return 1;
}

int32_t p_MIA_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  bool serial = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PI_SERIAL: a.serial = get6(); serial = true; return 1;
          case PI_MIA_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!serial) return 0;
  a.pendingEvent = EV_MIA;
  return 1;
}

int32_t p_MAP_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  a.syncType = 0;
  bool syncType = false, serial = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_SYNC_TYPE: a.syncType = static_cast<uint8_t>(get1(-1)); syncType = true; return 1;
          case PI_ENCLOSURE: return enclosure();
          case PI_SERIAL: a.serial = get6(); serial = true; return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!syncType || !serial) return 0;
  a.pendingEvent = EV_MAP;
  return 1;
}

int32_t p_MAA_spdu(const uint8_t* end, Smachine* s) {
  if (!serialAndData(end, s, true)) return 0;
  if (s->state == STA04B) return 0;
  if (stateIn(s, {STA01A, STA01C, STA04A, STA05A, STA05B, STA05C, STA06, STA15A, STA15B, STA15C, STA16, STA20}) &&
      (s->requirements & SR_MAJORSYNC) == 0)
    return 0;
  tls().spdu.pendingEvent = EV_MAA;
  return 1;
}

int32_t p_AE_spdu(const uint8_t* end, Smachine* s) {
  if (!serialAndData(end, s, true)) return 0;
  tls().spdu.pendingEvent = EV_AE;
  return 1;
}

int32_t p_AEA_spdu(const uint8_t* end, Smachine* s) {
  if (!serialAndData(end, s, false)) return 0;
  if (s->state == STA04A) return 0;
  if (stateIn(s, {STA01A, STA01C, STA04B, STA05A, STA05B, STA05C, STA06, STA15A, STA15B, STA15C, STA16, STA20}) &&
      (s->requirements & SR_ACTIVITY) == 0)
    return 0;
  tls().spdu.pendingEvent = EV_AEA;
  return 1;
}

int32_t p_RS_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  a.tokenSetting = 0;
  bool type = false, serial = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PI_TOKEN_SETTING: a.tokenSetting = static_cast<uint8_t>(get1(0)); return 1;
          case PI_RESYNC_TYPE: a.resyncType = static_cast<uint8_t>(get1(-1)); type = true; return a.resyncType <= 2 ? 1 : 0;
          case PI_SERIAL: a.serial = get6(); serial = true; return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!type || !serial) return 0;
  static constexpr uint32_t kEvent[] = {EV_RS_RESTART, EV_RS_ABANDON, EV_RS_SET};
  a.pendingEvent = static_cast<int32_t>(kEvent[a.resyncType]);
  return 1;
}

int32_t p_RA_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  a.tokenSetting = 0;
  bool serial = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PI_TOKEN_SETTING: a.tokenSetting = static_cast<uint8_t>(get1(0)); return 1;
          case PI_SERIAL: a.serial = get6(); serial = true; return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!serial) return 0;
  a.pendingEvent = EV_RA;
  return 1;
}

int32_t p_ER_spdu(const uint8_t* end, Smachine*) {
  bool reflect = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        if (code != PI_REFLECT) return -1;
        skip(kAbortDataMax);
        reflect = true;
        return 1;
      }))
    return 0;
  if (!reflect) return 0;
  tls().spdu.pendingEvent = EV_ER;
  return 1;
}

int32_t p_ED_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  bool reason = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PI_REASON: a.reason = static_cast<uint8_t>(get1(-1)); reason = true; return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!reason) return 0;
  a.pendingEvent = EV_ED;
  return 1;
}

int32_t p_AS_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  bool id = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PI_ACTIVITY_ID: a.activityId.len = getvs(sizeof a.activityId.id, a.activityId.id); id = true; return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!id) return 0;
  a.pendingEvent = EV_AS;
  return 1;
}

int32_t p_AR_spdu(const uint8_t* end, Smachine* s) {
  SpduArea& a = tls().spdu;
  clearReferences(a);
  bool link = false, id = false;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PGI_LINKING: link = true; return p_link_pgi();
          case PI_ACTIVITY_ID:
            a.arActivityId.len = getvs(sizeof a.arActivityId.id, a.arActivityId.id);
            id = true;
            return 1;
          case PGI_USER_DATA: get_user_data(v1Limit(s)); return 1;
          default: return -1;
        }
      }))
    return 0;
  if (!link || !id) return 0;
  a.pendingEvent = EV_AR;
  return 1;
}

namespace {

int32_t reasonAndData(const uint8_t* end, uint32_t event) {
  SpduArea& a = tls().spdu;
  a.reason = 0;
  if (!readParams(end, [&](uint8_t code) -> int32_t {
        switch (code) {
          case PI_ENCLOSURE: return enclosure();
          case PI_REASON: a.reason = static_cast<uint8_t>(get1(0)); return 1;
          case PGI_USER_DATA: get_user_data(0); return 1;
          default: return -1;
        }
      }))
    return 0;
  a.pendingEvent = static_cast<int32_t>(event);
  return 1;
}

}  // namespace

int32_t p_AI_spdu(const uint8_t* end, Smachine*) { return reasonAndData(end, EV_AI); }
int32_t p_AD_spdu(const uint8_t* end, Smachine*) { return reasonAndData(end, EV_AD); }

// ---------------------------------------------------------------------------
// Dump

int32_t tm_dmppdu(const uint8_t* start, uint32_t length, const char* label) {
  if (start == nullptr || length < 2) return 0;
  uint32_t header = 2;
  uint32_t li = start[1];
  if (li == 255 && length >= 4) {
    li = (uint32_t{start[2]} << 8) | start[3];
    header = 4;
  }
  const uint32_t shown = header + li <= length ? header + li : length;
  TM_TRACE(sess_TM_handle, 4095, kSrc, "%s: type=%u li=%u data=%u\n", label, static_cast<unsigned>(start[0]),
           static_cast<unsigned>(li), static_cast<unsigned>(length - shown));
  TM_DUMPHEX(sess_TM_handle, 4095, kSrc, label, start, static_cast<int32_t>(shown));
  return 0;
}

// ---------------------------------------------------------------------------
// parse_SPDU

namespace {

enum class Head { None, GT, PT };

// Category 0 and 1 SPDUs, the ones that may stand first in a unit.
bool firstCategory(uint8_t si) {
  switch (si) {
    case SI_GT: case SI_PT: case SI_EX: case SI_PR: case SI_NF: case SI_FN: case SI_DN:
    case SI_RF: case SI_CN: case SI_AC: case SI_GTC: case SI_GTA: case SI_AB: case SI_AA:
    case SI_TD:
      return true;
    default:
      return false;
  }
}

// Reads an SPDU header at the cursor: the SI, its LI; the end of its
// parameter field is returned, within the unit.
uint8_t header(SessionTLS& t, const uint8_t* dataEnd, const uint8_t** spduEnd) {
  t.parseEnd = dataEnd;
  const uint8_t* start = t.parseCursor;
  if (start >= dataEnd) escape(kBadLength);
  const uint8_t si = *start;
  t.spdu.spduStart = start;
  t.spdu.spduLength = static_cast<uint32_t>(dataEnd - start) >= 2 ? 2 : 1;
  const uint32_t li = get_li();
  *spduEnd = t.parseCursor + li;
  t.spdu.spduLength = static_cast<uint32_t>(*spduEnd - start);
  if (tm_siteOn(sess_TM_handle, 256)) tm_dmppdu(start, t.spdu.spduLength, "inpdu");
  return si;
}

int32_t readFirst(uint8_t si, const uint8_t* end, Smachine* s, uint32_t kind) {
  switch (si) {
    case SI_GT: return p_GT_spdu(end, s);
    case SI_PT: return p_PT_spdu(end, s);
    case SI_EX: return p_EX_spdu(end, s);
    case SI_PR: return p_PR_spdu(end, s);
    case SI_NF: return p_NF_spdu(end, s);
    case SI_FN: return p_FN_spdu(end, s);
    case SI_DN: return p_DN_spdu(end, s);
    case SI_RF: return p_RF_spdu(end, s);
    case SI_CN: return p_CN_spdu(end, s);
    case SI_AC: return p_AC_spdu(end, s);
    case SI_GTC: return p_GTC_spdu(end, s);
    case SI_GTA: return p_GTA_spdu(end, s);
    case SI_AB: return p_AB_spdu(end, s, kind);
    case SI_AA: return p_AA_spdu(end, s);
    case SI_TD: return p_TD_spdu(end, s);
    default: return 0;
  }
}

bool kindAllowed(uint8_t si, uint32_t kind) {
  switch (si) {
    case SI_EX: case SI_PR: return kind == SPDU_EXPEDITED;
    case SI_AB: return kind == SPDU_NORMAL || kind == SPDU_EXPEDITED;
    default: return kind == SPDU_NORMAL;
  }
}

// The second SPDU of a pair; -1 when the SI may not follow the first.
int32_t readSecond(Head head, uint8_t si, const uint8_t* end, Smachine* s) {
  SessionTLS& t = tls();
  const uint8_t* params = t.parseCursor;
  if (head == Head::GT) {
    switch (si) {
      case SI_DT: return p_DT_spdu(end, s);
      case SI_AI: return p_AI_spdu(end, s);
      case SI_AR: return p_AR_spdu(end, s);
      case SI_MAP:
        if (p_MAP_spdu(end, s)) return 1;
        t.parseCursor = params;
        return p_AE_spdu(end, s);
      case SI_AS: return p_AS_spdu(end, s);
      case SI_MIP: return p_MIP_spdu(end, s);
      case SI_RS: return p_RS_spdu(end, s);
      case SI_AD: return p_AD_spdu(end, s);
      case SI_CD: return p_CD_spdu(end, s);
      default: return -1;
    }
  }
  switch (si) {
    case SI_ER: return p_ER_spdu(end, s);
    case SI_ED: return p_ED_spdu(end, s);
    case SI_AIA: return p_AIA_spdu(end, s);
    case SI_RA: return p_RA_spdu(end, s);
    case SI_MAA:
      if (p_MAA_spdu(end, s)) return 1;
      t.parseCursor = params;
      return p_AEA_spdu(end, s);
    case SI_MIA: return p_MIA_spdu(end, s);
    case SI_ADA: return p_ADA_spdu(end, s);
    case SI_CDA: return p_CDA_spdu(end, s);
    default: return -1;
  }
}

// Narrows the input buffer to the octets from the cursor to the end of the
// unit and makes them the delivered user information.
uint32_t deliverRest(SessionTLS& t, const uint8_t* dataEnd, const char* label) {
  SessionBuffer* in = t.parseInput;
  const uint32_t n = static_cast<uint32_t>(dataEnd - t.parseCursor);
  in->data = const_cast<uint8_t*>(t.parseCursor);
  in->length = n;
  TM_DUMPHEX(sess_TM_handle, 32, kSrc, label, in->data, static_cast<int32_t>(n));
  t.spdu.delivered = in;
  t.parseCursor = dataEnd;
  return n;
}

// Feeds one event; false when the machine failed. `*gone` tells whether the
// connection was released meanwhile.
bool feed(SessionTLS& t, Smachine* s, int32_t event, bool* gone) {
  const uint32_t releasedBefore = t.released;
  t.released = 0;
  const uint32_t r = s_fsm(s, nullptr, s->state, static_cast<uint32_t>(event));
  *gone = t.released != 0 && !s_isLive(&t, s);
  t.released |= releasedBefore;
  return r <= S_EVENT_IGNORED;
}

// A unit that could not be taken: the connection is aborted.
void badSpdu(SessionTLS& t, Smachine* s, uint32_t kind, bool dataHandedOn) {
  TM_TRACE(sess_TM_handle, 8, kSrc, "Bad %s pSessionTLS -> SPDU s=%lx state=%u\n", kindName(kind),
           reinterpret_cast<unsigned long>(s), static_cast<unsigned>(s->state));
  TM_TRACE(sess_TM_handle, 4095, kSrc, "Bad %s pSessionTLS -> SPDU s=%lx state=%u\n ", kindName(kind),
           reinterpret_cast<unsigned long>(s), static_cast<unsigned>(s->state));
  // Once an event has run, the received octets may belong to the user.
  if (!dataHandedOn && tm_siteOn(sess_TM_handle, 256)) tm_dmppdu(t.spdu.spduStart, t.spdu.spduLength, "badpdu");
  t.spdu.spduStart = nullptr;
  t.spdu.spduLength = 0;
  if (s->state == STA01 || s->state == STA01B || s->state == STA16) return;
  reclaim_buf();
  t.spdu.userData = nullptr;
  t.spdu.delivered = nullptr;
  if (s->texp != 0) {
    (void)pduAB(s, 5, nullptr);
  } else if (SessionBuffer* b = balloc(0)) {
    (void)pduAB(s, 5, b);
  }
  STIMreq(s, kStimRelease);
  const uint8_t was = s->state;
  s->state = STA16;
  if (was != STA01C && s->owner != nullptr) SPABind(s, kPAbortProtocol);
}

}  // namespace

void parse_SPDU(Smachine* s, SessionBuffer* buf, uint32_t kind) {
  SessionTLS* tp = getSessionTLS(0);
  if (tp == nullptr || s == nullptr || buf == nullptr) return;
  if (buf->data == nullptr) buf->length = 0;  // nothing to read
  SessionTLS& t = *tp;
  SpduArea& a = t.spdu;
  const uint8_t* dataEnd = buf->data + buf->length;
  t.parseInput = buf;
  t.parseCursor = buf->data;
  t.parseEnd = dataEnd;
  a.pendingEvent = -1;
  a.userData = nullptr;
  a.delivered = nullptr;
  a.spduStart = buf->data;
  a.spduLength = 0;

  bool handedOn = false;  // an event has run: the data may be the user's now
  try {
    // The first SPDU.
    const uint8_t* end = nullptr;
    const uint8_t si = header(t, dataEnd, &end);
    if (si > SI_TD || !firstCategory(si) || !kindAllowed(si, kind)) escape(kBadValue);
    if (!readFirst(si, end, s, kind)) escape(kBadValue);
    const Head head = si == SI_GT ? Head::GT : si == SI_PT ? Head::PT : Head::None;
    if (si == SI_EX) deliverRest(t, dataEnd, "EX ui rcvd");
    if (si == SI_TD && deliverRest(t, dataEnd, "TD ui rcvd") == 0) escape(kBadLength);

    if (t.parseCursor == dataEnd) {
      if (a.pendingEvent < 0) return;  // an empty GT or PT alone
      const int32_t event = a.pendingEvent;
      bool gone = false;
      handedOn = true;
      if (!feed(t, s, event, &gone)) {
        if (gone) return;
        escape(kBadValue);
      }
      if (gone) return;
      if (event == static_cast<int32_t>(EV_AC) && a.tokenItem != 0) {
        // The token item of an AC asks for tokens, as a PT would.
        a.userData = nullptr;
        a.pendingEvent = EV_PT;
        if (!feed(t, s, EV_PT, &gone)) {
          if (gone) return;
          escape(kBadValue);
        }
      }
      return;
    }
    if (head == Head::None) escape(kBadLength);

    // Keep the first SPDU's result while the second is read.
    const int32_t firstEvent = a.pendingEvent;
    const uint8_t firstTokens = a.tokenItem;
    SessionBuffer* firstData = nullptr;
    if (a.userData != nullptr) {
      firstData = balloc(static_cast<int32_t>(a.userData->length));
      if (firstData == nullptr) escape(kBadValue);
      std::memcpy(firstData->data, a.userData->data, a.userData->length);
      SessionBuffer* held = &t.tp0.held;
      firstData->next = held;
      firstData->prev = held->prev;
      held->prev->next = firstData;
      held->prev = firstData;
    }

    // The second SPDU.
    a.userData = nullptr;
    a.delivered = nullptr;
    a.pendingEvent = -1;
    const uint8_t si2 = header(t, dataEnd, &end);
    if (si2 > SI_CDA) escape(kBadValue);
    const int32_t r = readSecond(head, si2, end, s);
    if (r <= 0) escape(kBadValue);
    if (head == Head::GT && si2 == SI_DT && deliverRest(t, dataEnd, "DT ui rcvd") == 0) escape(kBadLength);
    if (t.parseCursor != dataEnd || a.pendingEvent < 0) escape(kBadLength);

    bool gone = false;
    handedOn = true;
    if (!feed(t, s, a.pendingEvent, &gone)) {
      if (gone) return;
      escape(kBadValue);
    }
    if (gone) return;  // the second SPDU ended the connection
    if (firstEvent >= 0) {
      a.pendingEvent = firstEvent;
      a.tokenItem = firstTokens;
      a.userData = firstData;
      a.delivered = nullptr;
      if (!feed(t, s, firstEvent, &gone)) {
        if (gone) return;
        escape(kBadValue);
      }
    }
  } catch (const SpduEscape& e) {
    TM_TRACE(sess_TM_handle, 64, kSrc, "parse_SPDU: escape %u\n", static_cast<unsigned>(e.code));
    badSpdu(t, s, kind, handedOn);
  }
}
