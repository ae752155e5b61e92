#include "src/acse/al_trace.h"

#include <cstdio>

#include "src/acse/gidu.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pnames.h"

TmHandle ac_aseTMHandle = -1;

const char* const adsTBL[8] = {".req", ".rsp", ".ind", ".cnf", "-RI", "-RC", "-RI", "-RC"};
const char* const rAdsTBL[8] = {".?", ".ersp", ".?", ".ecnf", "-?", "-ERC", "-?", "-ERC"};
const char* const duvik_names[16] = {
    "ACT.req",   "ACT.cnf",   "DEACT.req",  "DEACT.cnf",  "FDEACT.req",  "FDEACT.cnf",  "QABORT",      "LOCERR.ind",
    "PSTOP.req", "PSTART.req", "USTOP.ind", "USTART.ind", "RESTART.REQ", "RESTART.RSP", "RESTART.IND", "RESTART.CNF",
};
const char* const acse_names[6] = {"ASSOC", "ASSOC", "REL", "REL", "ABORT", "P-ABORT"};
const char* const rda_names[39] = {
    // requests
    "INIT", "TERM", "BT", "CMT", "RBK", "CNCL", "STAT", "OPN", "CLS", "EXDBL", "DFDBL", "IVDBL", "DRDBL",
    // responses (R-BeginTransaction has none)
    "INIT", "TERM", "???", "CMT", "RBK", "CNCL", "STAT", "OPN", "CLS", "EXDBL", "DFDBL", "IVDBL", "DRDBL",
    // error responses
    "INIT", "TERM", "BT", "CMT", "RBK", "CNCL", "STAT", "OPN", "CLS", "EXDBL", "DFDBL", "IVDBL", "DRDBL",
};
const char* const ccr_names[13] = {"???", "BGN", "BGN", "PRP", "RDY", "CMT", "CMT",
                                   "RBK", "RBK", "RCVR", "RCVR", "CMTBGN", "RBKBGN"};
const char* const tp_names[56] = {
    "???",     "BD",      "BD",      "BID",      "BID",       "ED",         "ED",       "UERR",
    "UERR",    "UABRT",   "GRC",     "RQC",      "HDSHK",     "HDSHK",      "HDSHK-GC", "HDSHK-GC",
    "DFR",     "PREP",    "HR",      "TOK-GV",   "TOK-PLS",   "RCVR",       "INIT",     "INIT",
    "???",     "???",     "???",     "???",      "???",       "???",        "???",      "???",
    "???",     "???",     "???",     "BT",       "CMT",       "RDY",        "DONE",     "CMTCMPL",
    "RBK",     "RBKCMPL", "ABRT-HR", "DET-ASSOC", "ASSOC-LOST", "CAF-PLS",   "CAF-GV",   "CAF-FAIL",
    "CAF-DET", "CAF-RCVR", "PABRT",  "LOC-BD",   "ACT",       "ACT",        "RESTART",  "???",
};

namespace {

constexpr const char* kUnknown = "????";
constexpr uint32_t kRdaSurNextEvent = 55;  // the service user's next-event request
constexpr uint32_t kRdaErrorFamily = 26;   // first service number of the RDA error responses

template <size_t N>
const char* nameAt(const char* const (&table)[N], uint32_t index) {
  return index < N ? table[index] : kUnknown;
}

const char* presName(const void* pidu) {
  if (pidu == nullptr) return kUnknown;
  return nameAt(p_names, static_cast<const PIDU*>(pidu)->event);
}

const char* localPrefix(uint32_t iduType) {
  switch (iduType) {
    case AL_IDU_RDA:
      return "R-";
    case AL_IDU_CCR:
      return "C-";
    case AL_IDU_ACSE:
      return "A-";
    case AL_IDU_TP:
      return "TP-";
    default:
      return "";
  }
}

}  // namespace

char* al_traceEvent(const GIDU* gidu, char (&buffer)[AL_EVENT_TEXT_SIZE]) {
  if (gidu == nullptr) return nullptr;
  const uint32_t event = gidu->event;
  const char* prefix = "";
  const char* name = kUnknown;
  const char* suffix = "";
  if (al_isPrimitive(event)) {
    const uint32_t n = al_serviceOf(event);
    const uint32_t form = (event >> 1) & 7;
    switch (gidu->iduType) {
      case AL_IDU_PRES:
        prefix = "P-";
        name = presName(gidu->idu);
        break;
      case AL_IDU_PRES_RCV:
        prefix = "P-*";
        name = presName(gidu->idu != nullptr ? static_cast<const AeHDR*>(gidu->idu)->wrapped : nullptr);
        break;
      case AL_IDU_TP:
        prefix = "TP-";
        name = nameAt(tp_names, n);
        suffix = adsTBL[form];
        break;
      case AL_IDU_UDT:
        name = "UDT event";
        break;
      case AL_IDU_INTERNAL:
        name = "Internal event";
        break;
      case AL_IDU_RDA:
        prefix = "R-";
        name = n == kRdaSurNextEvent ? "SURNXTEVENT" : nameAt(rda_names, n);
        suffix = n >= kRdaErrorFamily && n < kRdaSurNextEvent ? rAdsTBL[form] : adsTBL[form];
        break;
      case AL_IDU_CCR:
        prefix = "C-";
        name = nameAt(ccr_names, n);
        suffix = adsTBL[form];
        break;
      case AL_IDU_ACSE:
        prefix = "A-";
        name = nameAt(acse_names, n);
        suffix = adsTBL[form];
        break;
      default:
        break;
    }
  } else {
    prefix = localPrefix(gidu->iduType);
    name = nameAt(duvik_names, event);
  }
  std::snprintf(buffer, sizeof buffer, "%s%s%s", prefix, name, suffix);
  return buffer;
}

char* al_traceRefs(const GIDU* gidu, int32_t full, char (&buffer)[AL_REFS_TEXT_SIZE]) {
  if (gidu == nullptr) return nullptr;
  auto word = [](const void* p) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)); };
  if (full != 0)
    std::snprintf(buffer, sizeof buffer, "gidu=%lx ue=%lx pe=%lx uc=%lx pc=%lx", word(gidu), word(gidu->ue),
                  word(gidu->pe), word(gidu->uc), word(gidu->pc));
  else
    std::snprintf(buffer, sizeof buffer, "gidu=%lx uc=%lx pc=%lx", word(gidu), word(gidu->uc), word(gidu->pc));
  return buffer;
}

void al_traceGiduLine(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const char* function,
                      const GIDU* gidu, int32_t full) {
  char event[AL_EVENT_TEXT_SIZE];
  char refs[AL_REFS_TEXT_SIZE];
  const char* e = al_traceEvent(gidu, event);
  const char* r = al_traceRefs(gidu, full, refs);
  tm_traceSite(handle, bits, srcFile, line, "%s: %s, %s\n", function, e != nullptr ? e : "(null)",
               r != nullptr ? r : "gidu=0");
}
