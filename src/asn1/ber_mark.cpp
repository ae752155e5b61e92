// Marks (saved parse positions), the single context, skipping and the
// extensibility switch.
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"
#include "src/runtime/xm.h"

AaMark aa_pre_allocated[kAaStaticMarks] = {};
int32_t pre_allocated_count = 0;
AaMark* aa_context_stack = nullptr;

uint8_t* aap = nullptr;
int32_t aal = 0;
uint32_t aac = 0;
uint8_t* aae = nullptr;
SessionBuffer* saveBuffer = nullptr;
EopEnv aaenv = {};

namespace {

constexpr const char* kSrcCfg = "src/rtp_cfg";

void saveTo(AaMark& m) {
  m.cons = cons;
  m.lev = lev;
  m.aapdu = aapdu;
  m.eop = eop[lev];
  m.buffer = currentBuffer;
  m.env = eopenv[lev];
}

void restoreFrom(const AaMark& m) {
  cons = m.cons;
  lev = m.lev;
  aapdu = m.aapdu;
  eop[lev] = m.eop;
  currentBuffer = m.buffer;
  eopenv[lev] = m.env;
  aabuf = m.buffer != nullptr ? m.buffer->data + m.buffer->length : m.aapdu;
}

AaMark* topMark() {
  if (pre_allocated_count == 0) return nullptr;
  if (pre_allocated_count == kAaStaticMarks && aa_context_stack != nullptr) return aa_context_stack;
  return &aa_pre_allocated[pre_allocated_count - 1];
}

}  // namespace

int32_t pushMark() {
  AaMark* m = nullptr;
  if (pre_allocated_count < kAaStaticMarks) {
    m = &aa_pre_allocated[pre_allocated_count++];
    m->link = nullptr;
  } else {
    const XmTLS* x = getXmTLS(0);
    m = static_cast<AaMark*>(_xm_allocItem(x != nullptr ? x->rootTree : nullptr, sizeof(AaMark), 0));
    if (m == nullptr) {
      TM_TRACE(rtp_TM_handle, 1, kSrcCfg, "pushMark: Malloc failed on allocating context block\n\n");
      // A mark that is not kept would make the matching pop restore an older one.
      aaRaise(AAE_NOMEM, kSrcCfg, __LINE__);
    }
    m->link = aa_context_stack;
    aa_context_stack = m;
  }
  saveTo(*m);
  return 1;
}

int32_t popMark() {
  if (pre_allocated_count == 0) return 0;
  if (pre_allocated_count == kAaStaticMarks && aa_context_stack != nullptr) {
    AaMark* m = aa_context_stack;
    aa_context_stack = m->link;
    _xm_freeItem(m);
  } else {
    --pre_allocated_count;
  }
  return 1;
}

int32_t popRestore() {
  const AaMark* m = topMark();
  if (m == nullptr) return 0;
  restoreFrom(*m);
  return aa_pop_mark();
}

void aa_clearMarks() {
  while (aa_context_stack != nullptr) {
    AaMark* m = aa_context_stack;
    aa_context_stack = m->link;
    _xm_freeItem(m);
  }
  pre_allocated_count = 0;
}

void markSingleCtxt() {
  aap = aapdu;
  aal = lev;
  aac = cons;
  aae = eop[lev];
  saveBuffer = currentBuffer;
  aaenv = eopenv[lev];
}

void restoreSingleCtxt() {
  aapdu = aap;
  lev = aal;
  cons = aac;
  eop[lev] = aae;
  currentBuffer = saveBuffer;
  eopenv[lev] = aaenv;
  // The read end follows the buffer, so that reading stays inside it.
  aabuf = saveBuffer != nullptr ? saveBuffer->data + saveBuffer->length : aap;
}

void skipField() {
  if (eopenv[lev].remaining < 0) {
    while (ber_gettype() != 0) aa_skip();
    return;
  }
  aa_toLevelEnd();
  aa_leaveLevel();
}

void extensSkip(uint32_t code) {
  if (aaextensibility != 0) aa_skip();
  else aaRaise(code, "src/rtp_mng_", __LINE__);
}
