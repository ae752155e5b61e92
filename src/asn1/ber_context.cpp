// Presentation-context entry points: from a context to its abstract syntax's
// routine, run in a nested pass, or to the pass-through of pre-encoded data.
#include "src/asn1/ber_context.h"

#include "common/timer2.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/pmachine.h"

int32_t curr_parse_context_ID = -1;
int32_t curr_format_context_ID = -1;

namespace {

constexpr const char* kSrcCtx = "src/rtp_mng_";

// Both error lines of an entry: the runtime's module and the second handle.
#define CTX_TRACE_ERROR(text, code)                                        \
  do {                                                                     \
    TM_TRACE(rtp_TM_handle, 8, kSrcCtx, text, static_cast<int>(code));     \
    TM_TRACE(tm_ts_modCB, 4096, kSrcCtx, text, static_cast<int>(code));    \
  } while (0)

// The PCDT entry of a context id; NULL for an id outside the table, which
// serves no context (ids come from the network as well).
const PcdtEntry* entryOf(int32_t ctxId) {
  if (pP == nullptr || ctxId < 0 || ctxId >= kPsMaxContexts) return nullptr;
  return &pP->pcdt[ctxId];
}

// The row of a registered abstract syntax; NULL for -1, an index outside
// the table or a free entry.
const AbsSyntax* rowOf(int32_t asIdx) {
  const AbsSyntaxTable* table = pm_asTable(pP);
  if (table == nullptr || asIdx < 0 || asIdx >= kPsMaxAsyn) return nullptr;
  const AbsSyntax* row = &table->entries[asIdx];
  return row->id.count == kPsFreeEntry ? nullptr : row;
}

// The transfer syntax of a context: the one settled, else the lowest one
// proposed (the values of a context go out in it while the connection is
// being set up); -1 when there is none.
int32_t tsOfEntry(const PcdtEntry& e) {
  if (e.tsIdx != -1) return e.tsIdx;
  for (const int32_t t : e.tsSlots)
    if (t != -1) return t;
  return -1;
}

const AbsSyntax* rowOfEntry(const PcdtEntry* e) { return e != nullptr ? rowOf(e->asIdx) : nullptr; }

template <class Word>
void report(Word* err, uint32_t code) {
  if (err != nullptr) *err = static_cast<Word>(code);
  else QvSetOsiError(static_cast<int32_t>(code));
}

[[noreturn]] void raise(uint32_t* err, uint32_t code, uint32_t line) {
  if (err != nullptr) *err = code;
  aaRaise(code, kSrcCtx, line);
}

void* runParse(AaParseFn fn, int32_t tsIdx, int32_t* err) {
  const int32_t saved = current_prs_tsidx;
  switch_ts_prs(static_cast<uint32_t>(tsIdx));
  void* v = p_parse(fn, nullptr, err);
  switch_ts_prs(static_cast<uint32_t>(saved));
  return v;
}

int64_t runFormat(AaFormatFn fn, int32_t tsIdx, void* value, uint32_t* err) {
  const int32_t saved = current_fmt_tsidx;
  switch_ts_fmt(static_cast<uint32_t>(tsIdx));
  const int64_t n = p_format(fn, value, err);
  switch_ts_fmt(static_cast<uint32_t>(saved));
  return n;
}

// The value's abstract syntax has no routine: its octets pass through.
void* passThroughParse() {
  pP->preEncRcv = 1;
  return aa_pre_encoded_parse();
}

int64_t passThroughFormat(void* value, uint32_t* err, int32_t length) {
  pP->preEncFmt = 1;
  return aa_pre_encoded_format(value, err, length);
}

[[noreturn]] void raiseEnctype(uint32_t code, uint32_t line) {
  TM_TRACE(rtp_TM_handle, 8, kSrcCtx, "aaenctype: AAERROR %d\n\n", static_cast<int>(code));
  TM_TRACE(tm_ts_modCB, 4096, kSrcCtx, "aaenctype(): AAERROR %d\n\n", static_cast<int>(code));
  aaRaise(code, kSrcCtx, line);
}

}  // namespace

void* aaparse(int32_t ctxId, int32_t* err) {
  curr_parse_context_ID = ctxId;
  const PcdtEntry* e = entryOf(ctxId);
  const AbsSyntax* row = rowOfEntry(e);
  if (row == nullptr) {
    CTX_TRACE_ERROR("aaparse: AAERROR %d\n\n", PE_PCTXID_NOT);
    report(err, PE_PCTXID_NOT);
    return nullptr;
  }
  if (row->parse == nullptr) return passThroughParse();
  return runParse(row->parse, e->tsIdx, err);
}

int64_t aaformat(int32_t ctxId, int32_t tsIdx, void* value, uint32_t* err, int32_t length) {
  curr_format_context_ID = ctxId;
  const PcdtEntry* e = entryOf(ctxId);
  if (e != nullptr && tsIdx == -1) tsIdx = e->tsIdx;
  const AbsSyntax* row = rowOfEntry(e);
  if (row == nullptr) {
    CTX_TRACE_ERROR("aaformat: AAERROR %d\n\n", PE_PCTXID_NOT);
    raise(err, PE_PCTXID_NOT, __LINE__);
  }
  if (row->format == nullptr) return passThroughFormat(value, err, length);
  return runFormat(row->format, tsIdx, value, err);
}

int64_t asformat(void* value, uint32_t* err) {
  curr_format_context_ID = -1;
  if (pP == nullptr) {
    CTX_TRACE_ERROR("asformat() AAERROR %d\n\n", PE_DFLT_NOT);
    raise(err, PE_DFLT_NOT, __LINE__);
  }
  if (pP->passThrough != 0) return passThroughFormat(value, err, 1);
  int32_t asIdx = pP->dfltAsIdx;
  int32_t tsIdx = pP->dfltTsIdx;
  if (asIdx == -1 || tsIdx == -1) {
    for (const PcdtEntry& e : pP->pcdt) {
      if (e.ctxId == -1) continue;
      asIdx = e.asIdx;
      tsIdx = tsOfEntry(e);
      break;
    }
  }
  const AbsSyntax* row = rowOf(asIdx);
  if (tsIdx == -1 || row == nullptr) {
    CTX_TRACE_ERROR("asformat() AAERROR %d\n\n", PE_DFLT_NOT);
    raise(err, PE_DFLT_NOT, __LINE__);
  }
  if (row->format == nullptr) return passThroughFormat(value, err, 1);
  return runFormat(row->format, tsIdx, value, err);
}

void* asparse(int32_t* err) {
  curr_parse_context_ID = -1;
  if (pP == nullptr) {
    CTX_TRACE_ERROR("asparse() AAERROR %d\n\n", PE_DFLT_NOT);
    report(err, PE_DFLT_NOT);
    return nullptr;
  }
  if (pP->passThrough != 0) return passThroughParse();
  int32_t asIdx = -1;
  int32_t tsIdx = -1;
  if (pP->dfltOnce != 0 || pP->definedCount == 0) {
    pP->dfltOnce = 0;
    asIdx = pP->dfltAsIdx;
    tsIdx = pP->dfltTsIdx;
  } else {
    for (const PcdtEntry& e : pP->pcdt) {
      if (e.ctxId == -1 || e.result != 0) continue;
      asIdx = e.asIdx;
      tsIdx = e.tsIdx;
      break;
    }
  }
  const AbsSyntax* row = rowOf(asIdx);
  if (tsIdx == -1 || row == nullptr) {
    CTX_TRACE_ERROR("asparse() AAERROR %d\n\n", PE_DFLT_NOT);
    report(err, PE_DFLT_NOT);
    return nullptr;
  }
  if (row->parse == nullptr) return passThroughParse();
  return runParse(row->parse, tsIdx, err);
}

void* amparse(int32_t ctxId, const ObjId* transferSyntax, int32_t* err) {
  curr_parse_context_ID = ctxId;
  if (ctxId == -1) {
    const AbsSyntax* row = pP != nullptr && pP->dfltTsIdx != -1 ? rowOf(pP->dfltAsIdx) : nullptr;
    if (row == nullptr) {
      CTX_TRACE_ERROR("amparse: AAERROR %d\n\n", PE_PCTXID_NOT);
      report(err, PE_PCTXID_NOT);
      return nullptr;
    }
    if (row->parse == nullptr) return passThroughParse();
    return runParse(row->parse, pP->dfltTsIdx, err);
  }
  const PcdtEntry* e = entryOf(ctxId);
  const AbsSyntax* row = rowOfEntry(e);
  if (row == nullptr) {
    CTX_TRACE_ERROR("amparse: AAERROR %d\n\n", PE_PCTXID_NOT);
    report(err, PE_PCTXID_NOT);
    return nullptr;
  }
  int32_t tsIdx = find_tsidx_obj(transferSyntax);
  if (tsIdx == -1) tsIdx = ps_asn1_tsidx;
  if (find_tsidx_as_ts(e->asIdx, tsIdx, pm_asTable(pP)) == 0) {
    CTX_TRACE_ERROR("amparse() AAERROR %d\n\n", PE_TSYN_NOT);
    if (err != nullptr) *err = static_cast<int32_t>(PE_TSYN_NOT);
    aaRaise(PE_TSYN_NOT, kSrcCtx, __LINE__);
  }
  if (row->parse == nullptr) return passThroughParse();
  return runParse(row->parse, tsIdx, err);
}

int64_t amformat(int32_t ctxId, ObjId* transferSyntaxOut, void* value, uint32_t* err) {
  curr_format_context_ID = ctxId;
  const PcdtEntry* e = entryOf(ctxId);
  const AbsSyntax* row = rowOfEntry(e);
  if (row == nullptr) {
    CTX_TRACE_ERROR("amformat: AAERROR %d\n\n", PE_PCTXID_NOT);
    raise(err, PE_PCTXID_NOT, __LINE__);
  }
  const int32_t tsIdx = e->tsIdx;
  if (tsIdx < 0 || tsIdx >= kPsMaxTsyn) {
    CTX_TRACE_ERROR("amformat: AAERROR %d\n\n", PE_PCTXID_NOT);
    raise(err, PE_PCTXID_NOT, __LINE__);
  }
  if (transferSyntaxOut != nullptr) *transferSyntaxOut = tst[tsIdx].id;
  if (row->format == nullptr) return passThroughFormat(value, err, 1);
  return runFormat(row->format, tsIdx, value, err);
}

uint32_t aaenctype(int32_t ctxId, int32_t tsIdx) {
  TM_TRACE(rtp_TM_handle, 64, kSrcCtx, "aaenctype: pctxid =0x%x\n\n", static_cast<unsigned>(ctxId));
  int32_t idx = -1;
  if (ctxId == -1) {
    idx = pP != nullptr ? pP->dfltTsIdx : -1;
    if (idx == -1) raiseEnctype(PE_DFLT_NOT, __LINE__);
  } else if (tsIdx != -1) {
    idx = tsIdx;
  } else {
    const PcdtEntry* e = entryOf(ctxId);
    if (e == nullptr) raiseEnctype(PE_PCTXID_NOT, __LINE__);
    if (e->tsIdx != -1) {
      idx = e->tsIdx;
    } else if (e->asIdx == -1) {
      raiseEnctype(PE_PCTXID_INV, __LINE__);
    } else {
      idx = tsOfEntry(*e);
      if (rowOf(e->asIdx) == nullptr || idx == -1) raiseEnctype(PE_PCTXID_NOT, __LINE__);
    }
  }
  if (idx < 0 || idx >= kPsMaxTsyn) raiseEnctype(PE_PCTXID_NOT, __LINE__);
  return tst[idx].encoding;
}

SessionBuffer* aa_pre_encoded_parse() {
  TM_TRACE(rtp_TM_handle, 128, kSrcCtx, "Entered aa_pre_encoded_parse()\n");
  return tearBufferFromCurrent();
}

int32_t aa_pre_encoded_format(void* value, uint32_t*, int32_t length) {
  TM_TRACE(rtp_TM_handle, 256, kSrcCtx, "Hit pre-encoded data\n");
  chainToFrontOfCurrent(static_cast<SessionBuffer*>(value));
  return length;
}
