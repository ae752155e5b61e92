// Pass frames, the error escape, pass set-up and collection, and the cursor
// and hook globals of the BER runtime.
#include <atomic>
#include <cstdarg>

#include "common/qvthread.h"
#include "common/timer2.h"
#include "src/asn1/ber_runtime.h"

namespace {

constexpr const char* kSrcMng = "src/rtp_mng_";
constexpr const char* kSrcAaer = "src/rtp_aaer";

uint64_t noCopy(const void*, void*, uint64_t) { return 0; }
SessionBuffer* noBuffer(int32_t) { return nullptr; }
void noRelease(SessionBuffer*) {}

// Set once per process by the session layer (from any thread that sets up a
// pool; every thread sets the same pair).
std::atomic<AaAllocFn> gPoolAlloc{noBuffer};
std::atomic<AaFreeFn> gPoolRelease{noRelease};

// One trace line; the caller holds hSerializeTmMutex and tested the site.
__attribute__((format(printf, 4, 5))) void writeLine(TmHandle handle, uint32_t bits, uint32_t line, const char* format,
                                                     ...) {
  va_list args;
  va_start(args, format);
  _tm_trace(handle, bits, kSrcAaer, static_cast<int32_t>(line), format, args);
  va_end(args);
}

unsigned long addr(const void* p) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)); }

// Drops the marks a pass pushed and did not pop before it escaped, so that no
// mark item outlives the tree it was allocated in.
void unwindMarks(const RtpFrame& f) {
  while (aa_context_stack != nullptr && aa_context_stack != f.markTop) popMark();
  if (aa_context_stack == nullptr && pre_allocated_count > f.markCount) pre_allocated_count = f.markCount;
}

// Enters a frame (after the lock is held) and leaves it on every way out.
class FrameScope {
 public:
  explicit FrameScope(bool locked) : locked_(locked) {
    if (locked_) QvCheckAndWaitForSingleObject(hSerializeGlobalMutex);
    frame_ = RtpFrame{rtp_env, aa_context_stack, pre_allocated_count};
    rtp_env = &frame_;
  }
  ~FrameScope() {
    rtp_env = frame_.outer;
    if (locked_) QvCheckAndReleaseMutex(hSerializeGlobalMutex);
  }
  FrameScope(const FrameScope&) = delete;
  FrameScope& operator=(const FrameScope&) = delete;
  const RtpFrame& frame() const { return frame_; }

 private:
  RtpFrame frame_{};
  bool locked_;
};

// The frames' trace lines, by frame.
void tracePush(bool parse, bool locked, const RtpFrame* f) {
  const unsigned long a = addr(f);
  if (parse && locked) TM_TRACE(rtp_TM_handle, 64, kSrcMng, "p_parse(): pushing addr = %lx\n\n", a);
  else if (parse) TM_TRACE(rtp_TM_handle, 64, kSrcMng, "rtp_parse(): pushing addr = %lx\n\n", a);
  else if (locked) TM_TRACE(rtp_TM_handle, 64, kSrcMng, "p_format: pushing addr=%lx\n", a);
  else TM_TRACE(rtp_TM_handle, 64, kSrcMng, "rtp_format: pushing addr=%lx\n", a);
}

void tracePopParse(bool locked, const RtpFrame* f, uint32_t code, const void* result) {
  if (locked)
    TM_TRACE(rtp_TM_handle, 64, kSrcMng, "p_parse: popping addr=%lx loc_aaerror=%x return_val=%lx\n", addr(f), code,
             addr(result));
  else
    TM_TRACE(rtp_TM_handle, 64, kSrcMng, "rtp_parse: popping addr=%lx loc_aaerror=%x return_val=%lx\n", addr(f), code,
             addr(result));
}

void tracePopFormat(bool locked, const RtpFrame* f, uint32_t code, int64_t result) {
  const auto r = static_cast<unsigned>(result);
  if (locked)
    TM_TRACE(rtp_TM_handle, 64, kSrcMng, "p_format: popping addr=%lx loc_aaerror=%x return_val=%x\n", addr(f), code, r);
  else
    TM_TRACE(rtp_TM_handle, 64, kSrcMng, "rtp_format: popping addr=%lx loc_aaerror=%x return_val=%x\n", addr(f), code,
             r);
}

void* parseFrame(bool locked, AaParseFn fn, void* arg, int32_t* err) {
  FrameScope scope(locked);
  tracePush(true, locked, &scope.frame());
  void* result = nullptr;
  uint32_t code = 0;
  try {
    if (err != nullptr) *err = 0;
    if (fn != nullptr) {
      if (!locked) result = fn(arg);
      else if (arg != nullptr) result = fn(arg) != nullptr ? arg : nullptr;
      else result = fn(nullptr);
    }
    if (result == nullptr) {
      if (err != nullptr) *err = AAE_INVVALUE;
      else QvSetOsiError(AAE_INVVALUE);
    }
  } catch (const AaEscape& e) {
    code = e.code;
    result = nullptr;
    unwindMarks(scope.frame());
    if (err != nullptr) *err = static_cast<int32_t>(code);
    else QvSetOsiError(static_cast<int32_t>(code));
  }
  tracePopParse(locked, &scope.frame(), code, result);
  return result;
}

int64_t formatFrame(bool locked, AaFormatFn fn, void* arg, uint32_t* err) {
  FrameScope scope(locked);
  tracePush(false, locked, &scope.frame());
  int64_t result = 0;
  uint32_t code = 0;
  try {
    if (fn != nullptr) result = fn(arg);
    if (locked && result == 0 && QvGetOsiError() == 0) QvSetOsiError(AAE_INVVALUE);
  } catch (const AaEscape& e) {
    code = e.code;
    result = 0;
    unwindMarks(scope.frame());
    if (err != nullptr) *err = code;
    QvSetOsiError(static_cast<int32_t>(code));
  }
  tracePopFormat(locked, &scope.frame(), code, result);
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Globals

uint8_t* aapdu = nullptr;
uint8_t* aabuf = nullptr;
uint8_t* afpdu = nullptr;
uint8_t* afbuf = nullptr;
SessionBuffer* currentBuffer = nullptr;
SessionBuffer* headOfBufferChain = nullptr;
int32_t lev = 0;
uint8_t* eop[kAaLevels] = {};
EopEnv eopenv[kAaLevels] = {{-1, nullptr, nullptr}};
uint32_t cons = 0;
const char* aafile = "";
uint32_t aaline = 0;
uint32_t aaextensibility = 0;
uint32_t freeall = 0;
TmHandle rtp_TM_handle = -1;
TmHandle tm_ts_modCB = -1;
RtpFrame* rtp_env = nullptr;

AaEndOfDataFn getEndOfData = findEnd;
AaLengthOfDataFn getLengthOfData = findLength;
AaVoidFn overFlow = over_flow;
AaVoidFn underFlow = under_flow;
AaVoidFn markSingleContext = markSingleCtxt;
AaVoidFn restoreSingleContext = restoreSingleCtxt;
AaMarkFn aaPushMark = pushMark;
AaMarkFn aaPopMark = popMark;
AaMarkFn aaPopRestore = popRestore;
AaVoidFn aaSkip = skipField;
AaExtensFn aaExtens = extensSkip;
AaCopyFn aaCopy = noCopy;
AaAllocFn allocateBuffer = noBuffer;
AaFreeFn deallocateBuffer = noRelease;
AaSetUpFn aSetUp = rtp_setp;
AaSetUpFn fSetUp = rtp_setf;
AaGetfFn fGetf = rtp_getf;

const char* const rtpErrorTab[kRtpErrorCount] = {  // code n at entry n - 1
    "OVFLO", "DUPPARAM", "MSGPARAM", "REQEOC", "MAX_NESTING", "NOTINSET",
    "NOTINCHOICE", "SEQOFOVFLO", "EOCATANY", "OBJIDOVFLO", "NOTEOC", "BADOBJID",
    "FMTERR", "BADOFS", "BADENC", "DTVALID", "MAXENC", "NOMEM",
    "ENCOVFLO", "NOTPRIM", "NOTBITS", "NOTOCTS", "RESIDUE", "IDERR",
    "LENERR", "BUFOVFLO", "NOTCONS", "LISTFULL", "FILE_NOT_AVAIL", "BADTAG",
    "NONSPEC", "INVVALUE", "UNKNOWN_ANY",
};

// ---------------------------------------------------------------------------
// Error escape

void aaerror(uint32_t code) {
  QvSetOsiError(static_cast<int32_t>(code));
  const bool first = tm_siteOn(rtp_TM_handle, 8) != 0;
  const bool second = tm_siteOn(tm_ts_modCB, 4096) != 0;
  if (first || second) {
    // Both lines under one hold of the trace mutex: nothing comes between.
    const char* file = aafile != nullptr ? aafile : "";
    const int line = static_cast<int>(aaline);
    QvWaitForSingleObject(hSerializeTmMutex);
    const int c = static_cast<int>(code);
    if (first) writeLine(rtp_TM_handle, 8, __LINE__, "AAERROR: called error= %d from %s:%d\n", c, file, line);
    if (second) writeLine(tm_ts_modCB, 4096, __LINE__, "AAERROR: called error= %d from %s:%d\n", c, file, line);
    QvReleaseMutex(hSerializeTmMutex);
  }
  throw AaEscape{code};
}

void aa_jump_out(uint32_t value) { throw AaEscape{value}; }

void aaRaise(uint32_t code, const char* file, uint32_t line) {
  aafile = file;
  aaline = line;
  aaerror(code);
}

void aa_readPastEnd() { aaRaise(AAE_LENERR, "src/rtp_cfg", __LINE__); }

// ---------------------------------------------------------------------------
// Pass frames

void* p_parse(AaParseFn fn, void* arg, int32_t* err) { return parseFrame(true, fn, arg, err); }
int64_t p_format(AaFormatFn fn, void* arg, uint32_t* err) { return formatFrame(true, fn, arg, err); }
void* rtp_parse(AaParseFn fn, void* arg, int32_t* err) { return parseFrame(false, fn, arg, err); }
int64_t rtp_format(AaFormatFn fn, void* arg, uint32_t* err) { return formatFrame(false, fn, arg, err); }

// ---------------------------------------------------------------------------
// Set-up and collection

void setBufferHandling() {
  allocateBuffer = gPoolAlloc.load(std::memory_order_acquire);
  deallocateBuffer = gPoolRelease.load(std::memory_order_acquire);
}

void rtp_setBufferPool(AaAllocFn alloc, AaFreeFn release) {
  gPoolAlloc.store(alloc != nullptr ? alloc : noBuffer, std::memory_order_release);
  gPoolRelease.store(release != nullptr ? release : noRelease, std::memory_order_release);
}

void rtp_setp(SessionBuffer* chain) {
  aa_clearMarks();
  headOfBufferChain = currentBuffer = chain;
  lev = 0;
  if (chain != nullptr) {
    aapdu = chain->data;
    aabuf = chain->data + chain->length;
    int64_t total = 0;
    const SessionBuffer* b = chain;
    do {
      total += b->length;
      b = b->next;
    } while (b != chain);
    SessionBuffer* last = chain->prev;
    eop[0] = last->data + last->length;
    eopenv[0] = EopEnv{total, last, eop[0]};
  } else {
    aapdu = aabuf = nullptr;
    eop[0] = nullptr;
    eopenv[0] = EopEnv{0, nullptr, nullptr};
  }
  getEndOfData = findEnd;
  getLengthOfData = findLength;
  underFlow = under_flow;
  markSingleContext = markSingleCtxt;
  restoreSingleContext = restoreSingleCtxt;
  aaPushMark = pushMark;
  aaPopMark = popMark;
  aaPopRestore = popRestore;
  aaSkip = skipField;
  aaExtens = extensSkip;
  aaCopy = copyFromBuffer;
  setBufferHandling();
}

void rtp_setf(SessionBuffer* buf) {
  aa_clearMarks();
  if (buf != nullptr) {
    buf->next = buf->prev = buf;
    afpdu = buf->data + buf->length;
    afbuf = buf->data;
  } else {
    afpdu = afbuf = nullptr;
  }
  headOfBufferChain = currentBuffer = buf;
  cons = 0;
  aaCopy = copyToBuffer;
  getEndOfData = findEnd;
  getLengthOfData = findLength;
  overFlow = over_flow;
  setBufferHandling();
}

uint8_t* rtp_getf(SessionBuffer** out) {
  SessionBuffer* b = currentBuffer;
  if (out != nullptr) *out = b;
  if (b == nullptr) return nullptr;
  // Measured from the buffer's own data end, which is the end of its area
  // for every buffer the pool hands out.
  uint8_t* end = b->data + b->length;
  b->length = static_cast<uint32_t>(end - afpdu);
  b->data = afpdu;
  return afpdu;
}

// ---------------------------------------------------------------------------
// Levels and stubs

const uint8_t* aa_levelLimit() {
  for (int32_t l = lev; l > 0; --l)
    if (eop[l] != nullptr) return eop[l];
  return nullptr;
}

void aa_toLevelEnd() {
  if (eop[lev] == nullptr || eopenv[lev].endBuffer == nullptr) aaRaise(AAE_LENERR, "src/rtp_cfg", __LINE__);
  currentBuffer = eopenv[lev].endBuffer;
  aabuf = eopenv[lev].bufferEnd;
  aapdu = eop[lev];
}

uint64_t aa_copy(const void* from, void* to, uint64_t n) { return aaCopy(from, to, n); }
void aa_skip() { aaSkip(); }
int32_t aa_push_mark() { return aaPushMark(); }
int32_t aa_pop_mark() { return aaPopMark(); }
int32_t aa_pop_restore() { return aaPopRestore(); }
void aaextens(uint32_t code) { aaExtens(code); }
void aamark() { markSingleContext(); }
void aarestore() { restoreSingleContext(); }

void rtp_prev_nesting() {
  restoreSingleContext();
  aaSkip();
}
