#include "src/session/systemtls.h"

#include "src/session/stimer.h"

TLSFamily<SystemTLS> gSystemTLS(&hSerializeSystemMutex,
                                TLSMissTrace{nullptr, 0, 9, "src/system", "Could not found System TLS for %lX thread\n"});

int32_t initSystemTLS() { return gSystemTLS.init(); }

SystemTLS* getSystemTLS(int32_t remove) { return gSystemTLS.getOwn(remove); }

void removeSystemTLS() {
  SystemTLS* s = gSystemTLS.getOwn(1);
  if (s == nullptr) return;
  timer_dropQueue(s);
  delete s;
}

void destroySystemTLSCache() { gSystemTLS.destroyCache(); }
