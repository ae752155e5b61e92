// EXTERNAL contents: the alternative groups, the choice of the group of the
// transfer syntax in force, and the embedded value through the
// presentation-context entry points.
#include "src/asn1/ber_external.h"

#include <cstring>

#include "src/asn1/ber_context.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/ber_values.h"
#include "src/presentation/pmachine.h"

namespace {

constexpr const char* kSrcExte = "src/rtp_exte";
constexpr const char* kSrcExt = "src/rtp_ext_";

constexpr int32_t kTypeSingle = 16384;  // [0]; [1] and [2] follow

// The PCDT entry of a context index; NULL outside the table.
const PcdtEntry* entryOf(int32_t index) {
  if (pP == nullptr || index < 0 || index >= kPsMaxContexts) return nullptr;
  return &pP->pcdt[index];
}

// The index of the context whose identifier is id; id itself when none is.
int32_t contextIndexOf(int32_t id) {
  if (pP != nullptr)
    for (int32_t i = 0; i < kPsMaxContexts; ++i)
      if (pP->pcdt[i].ctxId != -1 && pP->pcdt[i].ctxId == id) return i;
  return id;
}

// The transfer syntax in force for a context index; -1 when none is.
int32_t tsInForce(int32_t index) {
  const PcdtEntry* e = entryOf(index);
  return e != nullptr ? e->tsIdx : -1;
}

// Direct references of both forms, as the fixed form (absent when it has
// more arcs than that holds).
const ObjId* fixedRef(const ObjId& r, ObjId&) { return &r; }
const ObjId* fixedRef(const ObjIdV& r, ObjId& tmp) {
  tmp.count = kObjIdAbsent;
  if (r.count <= kObjIdMaxArcs && (r.count == 0 || r.arcs != nullptr)) {
    tmp.count = r.count;
    for (uint32_t i = 0; i < r.count; ++i) tmp.arcs[i] = r.arcs[i];
  }
  return &tmp;
}

void readDirectRef(ObjId& r) { ber_getobj(kObjIdMaxArcs, &r); }
void readDirectRef(ObjIdV& r) { ber_getobjv(&r); }
void markAbsent(ObjId& r) { r.count = kObjIdAbsent; }
void markAbsent(ObjIdV& r) {
  r.count = kObjIdAbsent;
  r.arcs = nullptr;
}

void readDescriptor(ExternalValue& e, bool present) {
  if (present) ber_getstg(kExtDescriptorMax, e.descriptor);
  else e.descriptor[0] = '\0';
}
void readDescriptor(ExternalValueV& e, bool present) { e.descriptor = present ? ber_getstgv() : nullptr; }

int64_t addDescriptor(const ExternalValue& e) {
  char d[kExtDescriptorMax + 1];
  std::memcpy(d, e.descriptor, kExtDescriptorMax);
  d[kExtDescriptorMax] = '\0';
  if (d[0] == '\0') return 0;
  return ber_addid(0, 7, ber_addstg(d));
}
int64_t addDescriptor(const ExternalValueV& e) {
  if (e.descriptor == nullptr || e.descriptor[0] == '\0') return 0;
  return ber_addid(0, 7, ber_addstg(e.descriptor));
}

int64_t addDirectRef(const ObjId& id) { return ber_addid(0, 6, ber_addobj(&id)); }

template <class E>
void goToCorrectEncoding(E& e, uint32_t line) {
  for (;;) {
    if (ber_getid(0, 6) >= 0) readDirectRef(e.directRef);
    else markAbsent(e.directRef);
    if (ber_getid(0, 2) >= 0) {
      int32_t id = 0;
      ber_getint(&id);
      e.context = contextIndexOf(id);
    } else {
      e.context = -1;
    }
    readDescriptor(e, ber_getid(0, 7) >= 0);
    // A group without a direct reference is the value itself; one without
    // an indirect reference has no context to choose by and is taken too.
    if (e.directRef.count == kObjIdAbsent || e.context == -1) return;
    ObjId tmp;
    if (find_tsidx_obj(fixedRef(e.directRef, tmp)) == tsInForce(e.context)) return;
    const int32_t type = ber_gettype() - kTypeSingle;
    if (type < 0 || type > 2) aaRaise(AAE_BADENC, kSrcExt, line);
    aa_skip();
  }
}

// Parses the encoding alternative of the group taken and leaves it.
template <class E>
void getEncoding(E& e, const uint32_t lines[3]) {
  e.encoding = static_cast<uint32_t>(ber_gettype());
  ObjId tmp;
  const ObjId* ts = fixedRef(e.directRef, tmp);
  auto* status = reinterpret_cast<int32_t*>(&e.status);
  if (e.encoding == kEncSingleAsn1) {
    const int32_t l = lev;
    aa_push_mark();
    e.value = amparse(e.context, ts, status);
    if (e.value != nullptr) {
      if (lev != l || ber_chkend() == 0) aaRaise(AAE_BADENC, kSrcExt, lines[0]);
      aa_pop_mark();
    } else {
      // Back to the start of the [0], then over it.
      aa_pop_restore();
      aa_skip();
    }
    return;
  }
  if (e.encoding == kEncOctetAligned) aaadjoct();
  else if (e.encoding == kEncArbitrary) aaadjbit();
  else aaRaise(AAE_BADENC, kSrcExt, lines[2]);
  const int32_t l = lev;
  uint8_t* const end = eop[l];
  const EopEnv env = eopenv[l];
  if (end == nullptr || env.endBuffer == nullptr) aaRaise(AAE_LENERR, kSrcExt, lines[1]);
  e.value = amparse(e.context, ts, status);
  if (e.value != nullptr) {
    aa_normalise();
    if (lev != l || aapdu != end) aaRaise(AAE_BADENC, kSrcExt, lines[1]);
  }
  currentBuffer = env.endBuffer;
  aabuf = env.bufferEnd;
  aapdu = end;
  lev = l - 1;
  aa_normalise();
}

// The encoding alternative of one group, formatted for context index ctx
// in transfer syntax tsIdx (-1: the context's own).
template <class E>
int64_t addEncoding(E& e, int32_t ctx, int32_t tsIdx, uint32_t line) {
  const auto length = static_cast<int32_t>(e.argument);
  switch (e.encoding) {
    case kEncSingleAsn1:
      return ber_addid(0xA0, 0, aaformat(ctx, tsIdx, e.value, &e.status, length));
    case kEncOctetAligned:
      return ber_addid(0x80, 1, afadjoct(aaformat(ctx, tsIdx, e.value, &e.status, length)));
    case kEncArbitrary:
      return ber_addid(0x80, 2, afadjbit(aaformat(ctx, tsIdx, e.value, &e.status, length)));
    default:
      aaRaise(AAE_BADENC, kSrcExte, line);
  }
}

template <class E>
int64_t addSingle(E& e) {
  e.directRef.count = kObjIdAbsent;  // the single form carries no direct reference
  if (e.encoding == 0) e.encoding = aaenctype(e.context, -1);
  int64_t total = addEncoding(e, e.context, -1, 911);
  total += addDescriptor(e);
  if (e.context >= 0) {
    e.context = static_cast<int32_t>(rtp_translateCtxId(e.context));
    total += ber_addid(0, 2, ber_addint(e.context));
  }
  cons = 32;
  return total;
}

template <class E>
int64_t addMulti(E& e) {
  const int32_t index = e.context;
  const PcdtEntry* pe = entryOf(index);
  if (pe == nullptr) aaRaise(PE_PCTXID_NOT, kSrcExt, __LINE__);
  const auto id = static_cast<int32_t>(rtp_translateCtxId(index));
  const bool withRef = e.directRef.count != kObjIdAbsent && pe->tsCount > 1;
  int64_t total = 0;
  int32_t groups = 0;
  for (const int32_t ts : pe->tsSlots) {
    if (ts == -1) continue;
    if (ts < 0 || ts >= kPsMaxTsyn) aaRaise(PE_PCTXID_NOT, kSrcExt, __LINE__);
    const int32_t saved = current_fmt_tsidx;
    if (e.encoding == 0) e.encoding = aaenctype(index, ts);
    int64_t n = addEncoding(e, index, ts, 1240);
    switch_ts_fmt(static_cast<uint32_t>(saved));
    n += addDescriptor(e);
    n += ber_addid(0, 2, ber_addint(id));
    if (withRef) n += addDirectRef(tst[ts].id);
    total += n;
    ++groups;
  }
  // An EXTERNAL needs one encoding at least.
  if (groups == 0) aaRaise(AAE_BADENC, kSrcExt, __LINE__);
  e.context = id;
  cons = 32;
  return total;
}

}  // namespace

uint32_t rtp_translateCtxId(int32_t index) {
  const PcdtEntry* e = entryOf(index);
  return static_cast<uint32_t>(e != nullptr ? e->ctxId : index);
}

void rtp_goToCorrectEncoding(ExternalValue* e) { goToCorrectEncoding(*e, 1393); }
void rtp_goToCorrectEncodingv(ExternalValueV* e) { goToCorrectEncoding(*e, 1654); }

uint64_t ber_getext(ExternalValue* e) {
  static constexpr uint32_t kLines[3] = {283, 240, 310};
  rtp_goToCorrectEncoding(e);
  getEncoding(*e, kLines);
  if (pdvFmtPrs == 0) pdvFmtPrs = e->status;
  // Further groups are skipped.
  if (ber_chkend() == 0) aa_skip();
  return 1;
}

uint64_t ber_getextv(ExternalValueV* e) {
  static constexpr uint32_t kLines[3] = {374, 419, 458};
  rtp_goToCorrectEncodingv(e);
  getEncoding(*e, kLines);
  if (pdvFmtPrs == 0) pdvFmtPrs = e->status;
  if (ber_chkend() == 0) aaRaise(AAE_BADENC, kSrcExt, 491);
  return 1;
}

int64_t rtp_multiEncodingExt(ExternalValue* e) { return addMulti(*e); }
int64_t rtp_multiEncodingExtv(ExternalValueV* e) { return addMulti(*e); }

int64_t ber_addext(ExternalValue* e) { return directMult != 0 ? addMulti(*e) : addSingle(*e); }
int64_t ber_addextv(ExternalValueV* e) { return directMult != 0 ? addMulti(*e) : addSingle(*e); }
