#include "src/odbc/lmotls.h"

#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmotls";

// Misses are traced here, on the call trace, not by the family.
constexpr TLSMissTrace kNoMissTrace{nullptr, -1, 0, kSrc, ""};

void traceMiss() {
  TR_TRACE(kSrc, htrODBC, 3, "Could not found Lmo TLS for %lX thread\n", static_cast<unsigned long>(QvGetThreadId()));
}

}  // namespace

TLSFamily<LmoTLS> gLmoTLS(&hSerializeLmoMutex, kNoMissTrace);

int32_t initLmoTLS() { return gLmoTLS.init(); }

LmoTLS* getLmoTLS(int32_t remove) {
  LmoTLS* t = gLmoTLS.get(QvGetThreadId(), remove, false);
  if (t == nullptr) traceMiss();
  return t;
}

void removeLmoTLS() { delete getLmoTLS(1); }

void destroyLmoTLSCache() { gLmoTLS.destroyCache(); }

char* qvGetLmoMsgBuf() {
  LmoTLS* t = getLmoTLS(0);
  return t != nullptr ? t->msgBuf : nullptr;
}

wchar_t* qvGetLmoMsgBufW() {
  LmoTLS* t = getLmoTLS(0);
  return t != nullptr ? reinterpret_cast<wchar_t*>(t->msgBuf) : nullptr;
}
