// PDV-lists, Fully-encoded-data, User-data and simply-encoded values.
#include "src/presentation/pdv.h"

#include "common/timer2.h"
#include "src/asn1/ber.h"
#include "src/presentation/pcodec.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ps_trace.h"
#include "src/runtime/xm.h"

uint32_t PS_pre_encoded_test = 0;

namespace {

constexpr const char* kSrc = "src/ps_pdv";

[[noreturn]] void fail(uint32_t code, uint32_t line) { aaRaise(code, kSrc, line); }

// A sub-list of the decode tree for one record and its values; closed on
// every way out, with any sub-list a value's routine left open below it.
class SubList {
 public:
  SubList() { open(); }
  ~SubList() { close(); }
  SubList(const SubList&) = delete;
  SubList& operator=(const SubList&) = delete;

  void open() {
    close();
    tree_ = aaStartSubList();
  }
  void close() {
    if (tree_ == nullptr) return;
    for (XmTree* t = aaEndSubList(); t != nullptr && t != tree_; t = aaEndSubList()) {
    }
    tree_ = nullptr;
  }

 private:
  XmTree* tree_ = nullptr;
};

// The end of a level that holds values, kept to come back to it after a
// value that failed to parse.
struct LevelEnd {
  int32_t level;
  uint8_t* end;
  EopEnv env;

  static LevelEnd current() { return LevelEnd{lev, eop[lev], eopenv[lev]}; }
  bool known() const { return end != nullptr && env.endBuffer != nullptr; }
  // The read position at the end, the level left.
  void leave() const {
    currentBuffer = env.endBuffer;
    aabuf = env.bufferEnd;
    aapdu = end;
    lev = level - 1;
    aa_normalise();
  }
};

void traceValueError(uint32_t error) {
  const auto e = static_cast<unsigned>(error);
  const auto osi = static_cast<unsigned>(QvGetOsiError());
  TM_TRACE(ps_TM_handle, 8, kSrc, "aPdv: parsing error pt->residue=0x%x osi_errno=0x%x\n\n", e, osi);
  TM_TRACE(tm_ts_modCB, 4096, kSrc, "aPdv: parsing error pt->residue=0x%x osi_errno=0x%x\n\n", e, osi);
}

// One value of the record's context, parsed with extensibility off. A value
// that fails leaves its error in the record (and the first of the PPDU in
// pdvFmtPrs) and NULL.
void* parseValue(PdvType* rec) {
  int32_t err = 0;
  void* v = nullptr;
  {
    PsExtensibility off(0);
    v = aaparse(static_cast<int32_t>(rec->context), &err);
  }
  rec->error = static_cast<uint32_t>(err);
  rec->value = v;
  if (v != nullptr) return v;
  if (rec->error == 0) rec->error = AAE_INVVALUE;
  traceValueError(rec->error);
  if (pdvFmtPrs == 0) pdvFmtPrs = rec->error;
  return nullptr;
}

// The slot whose identifier map entry is the received identifier; PDVs of a
// context that is unknown or was rejected by the provider end the parse.
int32_t slotOf(int32_t id) {
  if (pP != nullptr && id >= 0)
    for (int32_t s = 0; s < kPsMaxContexts; ++s)
      if (pP->idMap[s] == id) return s;
  TM_TRACE(ps_TM_handle, 8, kSrc, "aPdv: pctxid %d names no presentation context\n", static_cast<int>(id));
  aa_jump_out(PE_PCTXID_INV);
}

void checkContext(int32_t slot) {
  const PcdtEntry& e = pP->pcdt[slot];
  if (e.result == kPcdtProviderRejected) {
    TM_TRACE(ps_TM_handle, 8, kSrc, "The pctxid has been rejected by the provider\n");
    aa_jump_out(PE_PCTXID_INV);
  }
  const AbsSyntaxTable* table = pm_asTable(pP);
  const AbsSyntax* row = nullptr;
  if (table != nullptr && e.asIdx >= 0 && e.asIdx < kPsMaxAsyn && table->entries[e.asIdx].id.count != kPsFreeEntry)
    row = &table->entries[e.asIdx];
  if (row == nullptr) {
    TM_TRACE(ps_TM_handle, 8, kSrc, "aaparse: AAERROR %d\n\n", static_cast<int>(PE_PCTXID_NOT));
    TM_TRACE(tm_ts_modCB, 4096, kSrc, "aaparse: AAERROR %d\n\n", static_cast<int>(PE_PCTXID_NOT));
    aa_jump_out(PE_NOT_PRE_ENC);
  }
  if (PS_pre_encoded_test != 0 && row->parse != nullptr) aa_jump_out(PE_NOT_PRE_ENC);
}

// [0]: one value in a constructed element of its own.
void parseSingle(PdvType* rec, int32_t pdvLevel) {
  aa_push_mark();
  if (parseValue(rec) == nullptr) {
    // Back to the start of the [0], then over it.
    aa_pop_restore();
    aa_skip();
  } else {
    aa_pop_mark();
    if (PS_pre_encoded_test != 0) {
      lev = pdvLevel - 1;
      return;
    }
    if (!ps_levelEnds()) fail(AAE_BADENC, __LINE__);
  }
  if (!ps_levelEnds()) fail(AAE_BADENC, __LINE__);
}

// [1] and [2]: values one after the other in the contents of an OCTET STRING
// or BIT STRING, each in a record of its own chained to the first.
void parseSegments(PdvType* rec, int32_t pdvLevel, SubList& sub) {
  if (rec->encoding == kEncOctetAligned) aaadjoct();
  else aaadjbit();
  const bool test = PS_pre_encoded_test != 0;
  const LevelEnd contents = LevelEnd::current();
  if (!test && !contents.known()) fail(AAE_BADENC, __LINE__);
  PdvType* prev = nullptr;
  for (PdvType* seg = rec;;) {
    aa_normalise();
    const uint8_t* before = aapdu;
    if (parseValue(seg) == nullptr) {
      if (prev != nullptr) prev->next = nullptr;  // the chain ends before it
      break;
    }
    if (test) break;
    aa_normalise();
    if (lev != contents.level) fail(AAE_BADENC, __LINE__);
    if (aapdu == contents.end) break;
    if (aapdu == before) fail(AAE_BADENC, __LINE__);  // a value that reads nothing
    sub.open();
    PdvType* next = newPdvType(seg, nullptr);
    if (next == nullptr) fail(AAE_NOMEM, __LINE__);
    next->context = seg->context;
    next->tsName = seg->tsName;
    next->encoding = seg->encoding;
    prev = seg;
    seg = next;
  }
  if (test) {
    lev = pdvLevel - 1;
    return;
  }
  contents.leave();
  if (!ps_levelEnds()) fail(AAE_BADENC, __LINE__);
}

// The values of [APPLICATION 0]: one value of the default context in the
// contents of an OCTET STRING.
uint32_t parseSimpleContents(Simply_enc_data* d) {
  aaadjoct();
  const LevelEnd contents = LevelEnd::current();
  if (getSimply_enc_data(d) == nullptr) fail(AAE_MSGPARAM, __LINE__);
  if (PS_pre_encoded_test != 0) {
    lev = contents.level - 1;
    return 1;
  }
  aa_normalise();
  if (!contents.known() || lev != contents.level || aapdu != contents.end) fail(AAE_BADENC, __LINE__);
  contents.leave();
  return 1;
}

// The values of a PDV-list's segments formatted back to front into *total;
// false when one of them reported an error.
bool formatSegments(PdvType* first, int32_t slot, int32_t tsIdx, int64_t* total) {
  uint32_t count = 0;
  for (const PdvType* p = first; p != nullptr; p = p->next) ++count;
  *total = 0;
  for (uint32_t i = count; i-- > 0;) {
    PdvType* seg = first;
    for (uint32_t k = 0; k < i; ++k) seg = seg->next;
    *total += aaformat(slot, tsIdx, seg->value, &seg->error, static_cast<int32_t>(seg->option));
    if (seg->error != 0) return false;
  }
  return true;
}

}  // namespace

PdvType* newPdvType(PdvType* prev, XmTree* tree) {
  void* p = tree != nullptr ? _xm_allocItem(tree, sizeof(PdvType), XM_ZERO) : aamalloc(sizeof(PdvType));
  if (p == nullptr) return nullptr;
  auto* pdv = static_cast<PdvType*>(p);
  pdv->tsName.count = kObjIdAbsent;
  if (prev != nullptr) prev->next = pdv;
  return pdv;
}

int64_t fPdv(PdvType* pdv) {
  if (pdv == nullptr) fail(AAE_MSGPARAM, __LINE__);
  const auto slot = static_cast<int32_t>(pdv->context);
  if (pP == nullptr || slot < 0 || slot >= kPsMaxContexts) fail(PE_PCTXID_NOT, __LINE__);
  const PcdtEntry& e = pP->pcdt[slot];
  const int32_t tsIdx = e.tsIdx != -1 ? e.tsIdx : static_cast<int32_t>(pdv->tsIdx);
  int64_t n = 0;
  switch (pdv->encoding) {
    case kEncSingleAsn1:
      n = aaformat(slot, tsIdx, pdv->value, &pdv->error, static_cast<int32_t>(pdv->option));
      if (pdv->error != 0) return 0;
      n = ber_addid(0xA0, 0, n);
      break;
    case kEncOctetAligned:
    case kEncArbitrary: {
      int64_t values = 0;
      if (!formatSegments(pdv, slot, tsIdx, &values)) return 0;
      if (pdv->encoding == kEncOctetAligned) n = ber_addid(0x80, 1, afadjoct(values));
      else n = ber_addid(0x80, 2, afadjbit(values));
      break;
    }
    default:
      fail(AAE_BADENC, __LINE__);
  }
  const int32_t id = pP->idMap[slot];
  pdv->context = static_cast<uint32_t>(id);
  n += ber_addid(0, 2, ber_addint(id));
  if (pdv->tsName.count != kObjIdAbsent && (directMult == 0 || e.tsCount > 1))
    n += ber_addid(0, 6, ber_addobj(&pdv->tsName));
  return ber_addid(0x20, 16, n);
}

PdvType* aPdv() {
  SubList sub;
  PdvType* rec = newPdvType(nullptr, nullptr);
  if (rec == nullptr) fail(AAE_NOMEM, __LINE__);
  if (ber_getid(0, 16) < 0) fail(AAE_MSGPARAM, __LINE__);
  const int32_t pdvLevel = lev;
  if (ber_getid(0, 6) >= 0) ber_getobj(kObjIdMaxArcs, &rec->tsName);
  if (ber_getid(0, 2) < 0) fail(AAE_BADENC, __LINE__);
  int32_t id = 0;
  ber_getint(&id);
  const int32_t slot = slotOf(id);
  rec->context = static_cast<uint32_t>(slot);
  checkContext(slot);
  const int32_t code = ber_gettype();
  if (code == 0) fail(AAE_MSGPARAM, __LINE__);
  rec->encoding = static_cast<uint32_t>(code);
  switch (rec->encoding) {
    case kEncSingleAsn1:
      parseSingle(rec, pdvLevel);
      break;
    case kEncOctetAligned:
    case kEncArbitrary:
      parseSegments(rec, pdvLevel, sub);
      break;
    default:
      aaextens(AAE_NOTINCHOICE);  // skips the unknown element under aaextensibility
      if (!ps_levelEnds()) aa_skip();
      break;
  }
  return rec;
}

int64_t fFully_enc_data(Fully_enc_data* data) {
  if (data == nullptr) fail(AAE_MSGPARAM, __LINE__);
  UL_Link* head = &data->list.links;
  int64_t n = 0;
  for (UL_Link* p = head->prev; p != nullptr && p != head; p = p->prev) n += fPdv(reinterpret_cast<PdvNode*>(p)->pdv);
  return n;
}

uint32_t aFully_enc_data(Fully_enc_data* data) {
  PsExtensibility kept(aaextensibility);
  const int32_t level = lev;
  pdvListInit(data);
  while (!ps_levelEnds()) {
    auto* node = static_cast<PdvNode*>(aamalloc(sizeof(PdvNode)));
    if (node == nullptr) fail(AAE_NOMEM, __LINE__);
    node->pdv = aPdv();
    if (node->pdv == nullptr) fail(AAE_MSGPARAM, __LINE__);
    pdvListAppend(data, node);
    if (PS_pre_encoded_test != 0) {
      lev = level - 1;
      break;
    }
  }
  if (data->list.count == 0) fail(AAE_OVFLO, __LINE__);
  return 1;
}

int64_t fUser_data(User_data* data) {
  if (data == nullptr) fail(AAE_MSGPARAM, __LINE__);
  switch (data->kind) {
    case kUserDataSimple:
      return ber_addid(0x40, 0, afadjoct(addSimply_enc_data(&data->simple)));
    case kUserDataFull:
      return ber_addid(0x60, 1, fFully_enc_data(&data->full));
    default:
      fail(AAE_NONSPEC, __LINE__);
  }
}

uint32_t aUser_data(User_data* data) {
  const int32_t code = ber_peektype();
  if (code == 0) return 0;
  (void)ber_gettype();
  if (code == static_cast<int32_t>(kUserDataSimple)) {
    parseSimpleContents(&data->simple);
  } else if (code == static_cast<int32_t>(kUserDataFull)) {
    aFully_enc_data(&data->full);
  } else {
    if (aaextensibility == 0) fail(AAE_NOTINCHOICE, __LINE__);
    aa_skip();
  }
  data->kind = static_cast<uint32_t>(code);
  return 1;
}

int64_t addSimply_enc_data(Simply_enc_data* data) {
  if (data == nullptr) fail(AAE_MSGPARAM, __LINE__);
  uint32_t err = 0;
  return asformat(data->value, &err);
}

void* getSimply_enc_data(Simply_enc_data* data) {
  if (data == nullptr) return nullptr;
  int32_t err = 0;
  data->value = asparse(&err);
  return data->value;
}
