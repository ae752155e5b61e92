// Trace masks of the client's modules from the configuration.
#include <cstring>

#include "common/qvstring.h"
#include "src/rdaclient/clicnf.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/runtime/qvinfo.h"

namespace {

// The [TraceClient] keys of the trace table's rows, in row order.
constexpr const char* kModuleKeys[kTraceTblModules] = {
    "CLI", "XM", "RTP", "PRES", "SESS", "AL", "RDA", "SUR", "AE", "SAO", "SACF", "RDAASE", "ACSE", "ALL",
};

// A word this long or longer matches nothing.
constexpr size_t kMaxWord = 24;

constexpr int32_t kValueSize = 127;

bool isSeparator(char c) { return c == '|' || c == ' ' || c == '\t'; }

}  // namespace

const TraceMaskBits traceMaskBits[kTraceMaskWords] = {
    {"FATAL", 0x1},     {"SNO", 0x2},      {"PARM", 0x4},    {"ERRORS", 0x8},
    {"MAJOR_EV", 0x10}, {"MINOR_EV", 0x20}, {"INFO", 0x40},   {"F_TRACE", 0x80},
    {"TRIVIA", 0x100},  {"TIMESTAMP", 0x200}, {"MAX", 0x2ff}, {"MAX_PLUS", 0xffff},
};

int32_t parseTraceMask(const char* text, uint32_t* mask) {
  if (text == nullptr || mask == nullptr) return 1;
  if (text[0] == '\0') return 0;
  const char* p = text;
  for (;;) {
    const char* end = p;
    while (*end != '\0' && !isSeparator(*end)) ++end;
    const size_t len = static_cast<size_t>(end - p);
    if (len < kMaxWord) {
      char word[kMaxWord];
      std::memcpy(word, p, len);
      word[len] = '\0';
      for (const TraceMaskBits& w : traceMaskBits)
        if (gqv_strcmp(word, w.word) == 0) *mask |= w.bits;
    }
    if (*end == '\0') break;
    p = end + 1;
  }
  return 0;
}

int32_t GetTraceMask(const char* module, uint32_t* maskOut) {
  char value[kValueSize] = "";
  if (qv_getInfoClientTrace(module, value, sizeof value) == 0) return 0;
  uint32_t mask = 0;
  parseTraceMask(value, &mask);
  if (mask != 0 && maskOut != nullptr) *maskOut = mask;
  return 0;
}

int32_t SetTraceMask(RdaCliConfInfo* c) {
  TraceTblRow* rows = c != nullptr && c->traceTbl != nullptr ? c->traceTbl : traceTBL;
  for (int32_t i = 0; i < kTraceTblModules; ++i) GetTraceMask(kModuleKeys[i], &rows[i].mask);
  return 0;
}
