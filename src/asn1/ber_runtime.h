// BER runtime: passes, the process-wide cursor, the buffer chain, marks and
// the error escape.
//
// A decode or encode is a pass: the runtime is pointed at a chain of session
// buffers (rtp_setp / rtp_setf), a parse or format function runs inside a pass
// frame (p_parse / p_format), and that function walks the encoding through the
// one cursor below. Malformed input leaves the pass at once: aaerror throws an
// AaEscape carrying the code, and only the pass frame that started the pass
// catches it and turns it into its result.
//
// Positions in the chain are kept in one form: a position at the end of a
// buffer's data is the start of the next non-empty buffer, except at the end
// of the chain. Every read first moves the cursor over buffer boundaries
// (underFlow) and never passes the data of the chain.
#pragma once

#include <cstdint>

#include "src/asn1/ber_buffer.h"
#include "src/runtime/tm.h"

inline constexpr int32_t kAaMaxLevel = 31;  // deepest nesting level
inline constexpr int32_t kAaLevels = kAaMaxLevel + 1;
inline constexpr int32_t kAaStaticMarks = 4;

// Where a level's contents end.
struct EopEnv {
  int64_t remaining;         // contents length of the level; -1 = indefinite
  SessionBuffer* endBuffer;  // buffer that holds the end; NULL = beyond the chain
  uint8_t* bufferEnd;        // end of that buffer's data
};

// One saved parse position.
struct AaMark {
  AaMark* link;  // next older mark (marks kept in XM items only)
  uint32_t cons;
  int32_t lev;
  uint8_t* aapdu;
  uint8_t* eop;
  SessionBuffer* buffer;
  EopEnv env;
};

// ---------------------------------------------------------------------------
// Cursor (one pass at a time in the whole process)

extern uint8_t* aapdu;  // parse: next octet to read
extern uint8_t* aabuf;  // parse: end of the current buffer's data
extern uint8_t* afpdu;  // format: first octet written so far
extern uint8_t* afbuf;  // format: start of the current buffer's data
extern SessionBuffer* currentBuffer;
extern SessionBuffer* headOfBufferChain;
extern int32_t lev;                  // parse: nesting level, 0 = the whole chain
extern uint8_t* eop[kAaLevels];      // per level: end of its contents; NULL = indefinite
extern EopEnv eopenv[kAaLevels];
extern uint32_t cons;                // 32 when the element just read or wrapped is constructed
extern const char* aafile;           // source of the next error
extern uint32_t aaline;
extern uint32_t aaextensibility;     // tolerate unknown elements and over-long values
extern uint32_t freeall;             // encoders release variable-form values after writing
extern TmHandle rtp_TM_handle;       // trace module of the runtime, -1 = none
extern TmHandle tm_ts_modCB;         // second trace handle of the error lines; opened by no module

// Mark stack: four static marks, then XM items in the thread's root tree.
extern AaMark aa_pre_allocated[kAaStaticMarks];
extern int32_t pre_allocated_count;
extern AaMark* aa_context_stack;  // newest first

// Single context: one more saved position outside the stack.
extern uint8_t* aap;
extern int32_t aal;
extern uint32_t aac;
extern uint8_t* aae;
extern SessionBuffer* saveBuffer;
extern EopEnv aaenv;

// ---------------------------------------------------------------------------
// Hook table

using AaEndOfDataFn = uint8_t* (*)(int64_t beyond);
using AaLengthOfDataFn = int64_t (*)(uint8_t* from, SessionBuffer* buffer);
using AaVoidFn = void (*)();
using AaMarkFn = int32_t (*)();
using AaExtensFn = void (*)(uint32_t code);
using AaCopyFn = uint64_t (*)(const void* from, void* to, uint64_t n);
using AaAllocFn = SessionBuffer* (*)(int32_t len);
using AaFreeFn = void (*)(SessionBuffer* buf);
using AaSetUpFn = void (*)(SessionBuffer* buf);
using AaGetfFn = uint8_t* (*)(SessionBuffer** out);

extern AaEndOfDataFn getEndOfData;
extern AaLengthOfDataFn getLengthOfData;
extern AaVoidFn overFlow;
extern AaVoidFn underFlow;
extern AaVoidFn markSingleContext;
extern AaVoidFn restoreSingleContext;
extern AaMarkFn aaPushMark;
extern AaMarkFn aaPopMark;
extern AaMarkFn aaPopRestore;
extern AaVoidFn aaSkip;
extern AaExtensFn aaExtens;
extern AaCopyFn aaCopy;
extern AaAllocFn allocateBuffer;
extern AaFreeFn deallocateBuffer;
extern AaSetUpFn aSetUp;
extern AaSetUpFn fSetUp;
extern AaGetfFn fGetf;

// ---------------------------------------------------------------------------
// Errors

enum AaError : uint32_t {
  AAE_OVFLO = 1,
  AAE_DUPPARAM,
  AAE_MSGPARAM,
  AAE_REQEOC,
  AAE_MAX_NESTING,
  AAE_NOTINSET,
  AAE_NOTINCHOICE,
  AAE_SEQOFOVFLO,
  AAE_EOCATANY,
  AAE_OBJIDOVFLO,
  AAE_NOTEOC,
  AAE_BADOBJID,
  AAE_FMTERR,
  AAE_BADOFS,
  AAE_BADENC,
  AAE_DTVALID,
  AAE_MAXENC,
  AAE_NOMEM,
  AAE_ENCOVFLO,
  AAE_NOTPRIM,
  AAE_NOTBITS,
  AAE_NOTOCTS,
  AAE_RESIDUE,
  AAE_IDERR,
  AAE_LENERR,
  AAE_BUFOVFLO,
  AAE_NOTCONS,
  AAE_LISTFULL,
  AAE_FILE_NOT_AVAIL,
  AAE_BADTAG,
  AAE_NONSPEC,
  AAE_INVVALUE,
  AAE_UNKNOWN_ANY,
};
inline constexpr int32_t kRtpErrorCount = 33;
extern const char* const rtpErrorTab[kRtpErrorCount];  // code n at entry n - 1

// The error escape: thrown by aaerror and aa_jump_out, caught only by the
// pass frames.
struct AaEscape {
  uint32_t code;
};

// A pass frame; rtp_env names the innermost one running (NULL: none).
struct RtpFrame {
  RtpFrame* outer;
  AaMark* markTop;     // mark stack on entry, put back when the pass escapes
  int32_t markCount;
};
extern RtpFrame* rtp_env;

// Sets osi_errno, traces the error with aafile/aaline and leaves the pass.
[[noreturn]] void aaerror(uint32_t code);
// Leaves the pass with `value` as its code, without trace or osi_errno.
[[noreturn]] void aa_jump_out(uint32_t value);
// aafile = file, aaline = line, then aaerror(code).
[[noreturn]] void aaRaise(uint32_t code, const char* file, uint32_t line);

// ---------------------------------------------------------------------------
// Pass frames

using AaParseFn = void* (*)(void* arg);
using AaFormatFn = int64_t (*)(void* arg);

// Parse pass under hSerializeGlobalMutex. With arg: arg when fn(arg) answered
// non-zero, else NULL; without: fn(NULL). A NULL result is error 32. Errors go
// to *err, or to osi_errno when err is NULL.
void* p_parse(AaParseFn fn, void* arg, int32_t* err);
// Format pass under hSerializeGlobalMutex; the octet count written. An escape
// sets *err (when given) and osi_errno; a count of 0 sets osi_errno 32 when
// it is still 0.
int64_t p_format(AaFormatFn fn, void* arg, uint32_t* err);
// The same frames without the lock, for callers that hold it.
void* rtp_parse(AaParseFn fn, void* arg, int32_t* err);
int64_t rtp_format(AaFormatFn fn, void* arg, uint32_t* err);

// Set-up and collection.
void rtp_setp(SessionBuffer* chain);
void rtp_setf(SessionBuffer* buf);
uint8_t* rtp_getf(SessionBuffer** out);
// Installs the buffer pool's allocation and release for the pass.
void setBufferHandling();
// The pool the runtime takes the buffers of its chains from: the session
// layer's balloc and bfree, which that layer hands over when it sets up a
// pool. Until then no buffer can be had (and none is released).
void rtp_setBufferPool(AaAllocFn alloc, AaFreeFn release);

// ---------------------------------------------------------------------------
// Buffer chain

void under_flow();
void over_flow();
uint8_t* findEnd(int64_t beyond);
int64_t findLength(uint8_t* from, SessionBuffer* buffer);
uint64_t copyFromBuffer(const void* from, void* to, uint64_t n);
uint64_t copyToBuffer(const void* from, void* to, uint64_t n);
SessionBuffer* tearBufferFromCurrent();
void chainToFrontOfCurrent(SessionBuffer* buf);

// ---------------------------------------------------------------------------
// Marks, skipping, extensibility

int32_t pushMark();
int32_t popMark();
int32_t popRestore();
void markSingleCtxt();
void restoreSingleCtxt();
void skipField();
void extensSkip(uint32_t code);
// Drops every mark; items are released.
void aa_clearMarks();

// Stubs through the hooks.
uint64_t aa_copy(const void* from, void* to, uint64_t n);
void aa_skip();
int32_t aa_push_mark();
int32_t aa_pop_mark();
int32_t aa_pop_restore();
void aaextens(uint32_t code);
void aamark();
void aarestore();
void rtp_prev_nesting();

// Debugging dump of the rest of the current parse level to standard output.
void display();
void disp(int32_t depth);
void ind(int32_t depth);

// ---------------------------------------------------------------------------
// Cursor primitives shared by the codecs

[[noreturn]] void aa_readPastEnd();

// Moves the read position over a used-up buffer.
inline void aa_normalise() {
  if (aapdu == aabuf) underFlow();
}

// The next octet of the chain. Error 25 at the end of the chain's data, and at
// `limit` (the end of an enclosing level, NULL = none).
inline uint8_t aa_getOctet(const uint8_t* limit = nullptr) {
  if (aapdu == aabuf) underFlow();
  if (aapdu == aabuf || aapdu == limit) [[unlikely]]
    aa_readPastEnd();
  return *aapdu++;
}

// Writes one octet in front of what was written so far.
inline void aa_putOctet(uint8_t octet) {
  while (afpdu <= afbuf) overFlow();
  *--afpdu = octet;
}

// End of the nearest enclosing level of definite length (level 0 excluded:
// the chain's end bounds every read by itself); NULL when there is none.
const uint8_t* aa_levelLimit();
inline void aa_leaveLevel() {
  if (lev > 0) --lev;
}
// Moves the read position to the end of the current level (definite length),
// without leaving it. Error 25 when that end lies beyond the chain.
void aa_toLevelEnd();
