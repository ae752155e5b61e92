#include "src/session/session_ind.h"

#include "src/session/sessiontls.h"

namespace {

SsUser* userOf(const Smachine* s) {
  return s != nullptr && s->owner != nullptr && s->owner->callback != nullptr ? s->owner : nullptr;
}

SpduArea* area() {
  SessionTLS* t = getSessionTLS(0);
  return t != nullptr ? &t->spdu : nullptr;
}

const SpduArea& areaOrEmpty() {
  static const SpduArea kEmpty{};
  const SpduArea* a = area();
  return a != nullptr ? *a : kEmpty;
}

// Makes `buf` a ring of one that no longer counts as the received SPDU's
// data, so that nothing else frees or hands it on.
SessionBuffer* standAlone(SessionBuffer* buf) {
  if (buf == nullptr) return nullptr;
  if (buf->next != nullptr && buf->prev != nullptr) {
    buf->prev->next = buf->next;
    buf->next->prev = buf->prev;
  }
  buf->next = buf->prev = buf;
  if (SpduArea* a = area()) {
    if (a->userData == buf) a->userData = nullptr;
    if (a->delivered == buf) a->delivered = nullptr;
  }
  return buf;
}

// The user data of the SPDU just received, handed over.
SessionBuffer* takeSpduData() {
  const SpduArea* a = area();
  return a != nullptr ? standAlone(a->userData) : nullptr;
}

SIDU indication(const Smachine* s, uint32_t event) {
  SIDU x{};
  x.event = event;
  x.credit = static_cast<uint8_t>(s->credit > 0xFF ? 0xFF : s->credit);
  return x;
}

// An indication with the received SPDU's user data and nothing more.
int32_t plain(Smachine* s, uint32_t event) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, event);
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

// An indication carrying `buf`; without a user the buffer is freed.
int32_t withData(Smachine* s, uint32_t event, SessionBuffer* buf) {
  standAlone(buf);
  SsUser* u = userOf(s);
  if (u == nullptr) {
    bfree(buf);
    return 0;
  }
  SIDU x = indication(s, event);
  x.userData = buf;
  return u->callback(s, &x);
}

int32_t withSerial(Smachine* s, uint32_t event) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, event);
  x.serial = areaOrEmpty().serial;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t withReason(Smachine* s, uint32_t event, uint32_t reason) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, event);
  x.reason = reason;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t withTokens(Smachine* s, uint32_t event, uint8_t tokens) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, event);
  x.tokens = tokens;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t connect(Smachine* s, uint32_t event) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  const SpduArea& a = areaOrEmpty();
  SIDU x = indication(s, event);
  x.version = s->version;
  x.callingSsap = &u->ssap;
  x.address = &s->peerAddr;
  x.userRef = s->userRef;
  x.cid = a.cid;
  x.requirements = s->requirements;
  x.serial = a.serial;
  x.tokens = a.tokenSetting;
  x.reason = 0;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

// Aborts carry no credit.
int32_t abortInd(Smachine* s, uint32_t event, uint32_t reason, bool userData) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, event);
  x.credit = 0;
  x.reason = reason;
  if (userData) x.userData = takeSpduData();
  return u->callback(s, &x);
}

}  // namespace

int32_t SACTDind(Smachine* s, uint32_t reason) { return withReason(s, SI_ACTD_IND, reason); }
int32_t SACTDcnf(Smachine* s) { return plain(s, SI_ACTD_CNF); }
int32_t SACTEind(Smachine* s) { return withSerial(s, SI_ACTE_IND); }
int32_t SACTEcnf(Smachine* s) { return plain(s, SI_ACTE_CNF); }
int32_t SACTIind(Smachine* s, uint32_t reason) { return withReason(s, SI_ACTI_IND, reason); }
int32_t SACTIcnf(Smachine* s) { return plain(s, SI_ACTI_CNF); }

int32_t SACTRind(Smachine* s) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  const SpduArea& a = areaOrEmpty();
  SIDU x = indication(s, SI_ACTR_IND);
  x.serial = a.serial;  // old serial number, from the linking information
  x.cid = a.cid;
  x.activityId = a.arActivityId;
  x.oldActivityId = a.oldActivityId;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t SACTSind(Smachine* s) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, SI_ACTS_IND);
  x.activityId = areaOrEmpty().activityId;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t SCDind(Smachine* s) { return plain(s, SI_CD_IND); }
int32_t SCDcnf(Smachine* s) { return plain(s, SI_CD_CNF); }
int32_t SCGind(Smachine* s) { return plain(s, SI_CG_IND); }
int32_t SCONind(Smachine* s) { return connect(s, SI_CON_IND); }
int32_t SCONcnf(Smachine* s) { return connect(s, SI_CON_CNF); }

int32_t SCONref(Smachine* s, uint32_t reason) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, SI_CON_REF);
  x.cid = areaOrEmpty().cid;
  x.requirements = s->requirements;
  x.reason = reason;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t SDTind(Smachine* s, SessionBuffer* buf) {
  if (s != nullptr) s->lastDataKind = 'h';
  return withData(s, SI_DT_IND, buf);
}

int32_t SDTcnf(Smachine* s, SessionBuffer* buf) { return withData(s, SI_DT_CNF, buf); }
int32_t SEXind(Smachine* s, SessionBuffer* buf) { return withData(s, SI_EX_IND, buf); }
int32_t SGTind(Smachine* s, uint8_t tokens) { return withTokens(s, SI_GT_IND, tokens); }
int32_t SPABind(Smachine* s, uint32_t reason) { return abortInd(s, SI_PAB_IND, reason, false); }

int32_t SPERind(Smachine* s) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, SI_PER_IND);
  x.reason = 0;
  return u->callback(s, &x);
}

int32_t SPTind(Smachine* s, uint8_t tokens) { return withTokens(s, SI_PT_IND, tokens); }
int32_t SRELind(Smachine* s) { return plain(s, SI_REL_IND); }
int32_t SRELcnf(Smachine* s) { return plain(s, SI_REL_CNF); }
int32_t SRELref(Smachine* s) { return plain(s, SI_REL_REF); }

// The resynchronisation items are those of the RS or RA: its type and its
// token setting item.
int32_t SRSYNind(Smachine* s, uint64_t serial) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  const SpduArea& a = areaOrEmpty();
  SIDU x = indication(s, SI_RSYN_IND);
  x.syncType = a.resyncType;
  x.tokens = a.tokenSetting;
  x.serial = serial;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t SRSYNcnf(Smachine* s) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  const SpduArea& a = areaOrEmpty();
  SIDU x = indication(s, SI_RSYN_CNF);
  x.tokens = a.tokenSetting;
  x.serial = a.serial;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t SSYNMAind(Smachine* s) { return withSerial(s, SI_SYNMA_IND); }
int32_t SSYNMAcnf(Smachine* s) { return plain(s, SI_SYNMA_CNF); }

int32_t SSYNmind(Smachine* s) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  const SpduArea& a = areaOrEmpty();
  SIDU x = indication(s, SI_SYNMI_IND);
  x.syncType = a.syncType;
  x.serial = a.serial;
  x.userData = takeSpduData();
  return u->callback(s, &x);
}

int32_t SSYNmcnf(Smachine* s) { return withSerial(s, SI_SYNMI_CNF); }

int32_t STDind(Smachine* s, SessionBuffer* buf) {
  if (s != nullptr) s->lastDataKind = 'x';
  return withData(s, SI_TD_IND, buf);
}

int32_t SUABind(Smachine* s) { return abortInd(s, SI_UAB_IND, 0, true); }
int32_t SUERind(Smachine* s) { return withReason(s, SI_UER_IND, areaOrEmpty().reason); }

int32_t SFLOind(Smachine* s) {
  SsUser* u = userOf(s);
  if (u == nullptr) return 0;
  SIDU x = indication(s, SI_FLO_IND);
  return u->callback(s, &x);
}

int32_t SABind(Smachine* s) {
  if ((areaOrEmpty().transportDisconnect & 0x02) != 0) return SUABind(s);
  return SPABind(s, kPAbortProtocol);
}
