#include "src/rdaclient/rdaclitls.h"

#include "src/rdaclient/rdacli_conf.h"

namespace {
constexpr const char* kSrc = "src/rdacli";
}  // namespace

TLSFamily<RdaCliTLS> gRdaCliTLS(&hSerializeRdaCliMutex,
                                TLSMissTrace{&rda_cliTMHandle, -1, 9, kSrc, "Could not found RdaCli TLS for %lX thread\n"});

int32_t initRdaCliTLS() { return gRdaCliTLS.init(); }

RdaCliTLS* getRdaCliTLS(int32_t remove) {
  RdaCliTLS* t = gRdaCliTLS.getOwn(remove);
  if (t == nullptr) {
    QvWaitForSingleObject(hSerializeRdaCliMutex);
    traceRdaCliTLS("getRdaCliTLS(1)");
    QvReleaseMutex(hSerializeRdaCliMutex);
  }
  return t;
}

RdaCliTLS* check_and_getRdaCliTLS(int32_t remove) {
  RdaCliTLS* t = gRdaCliTLS.getOwn(remove, false);
  if (t == nullptr)
    TM_TRACE(rda_cliTMHandle, 16, kSrc, "check_and_getRdaCliTLS(). No active RdaCli TLS for %lX thread\n",
             static_cast<unsigned long>(QvGetThreadId()));
  return t;
}

void removeRdaCliTLS() { delete getRdaCliTLS(1); }

void destroyRdaCliTLSCache() { gRdaCliTLS.destroyCache(); }

char* qvGetRdaCliMsgBuf() {
  RdaCliTLS* t = getRdaCliTLS(0);
  return t != nullptr ? t->msgBuf : nullptr;
}

void traceRdaCliTLS(const char* title) {
  if (!tm_siteOn(rda_cliTMHandle, 8)) return;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "******** %s ****************\n", title != nullptr ? title : "");
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "RdaCli TLS Cache List. Size=%d\n", iTLSCacheSize);
  if (const TLSCache* c = gRdaCliTLS.cache.load(std::memory_order_acquire)) {
    const int32_t last = gRdaCliTLS.maxIndex.load(std::memory_order_acquire);
    for (int32_t i = 0; i <= last && i < iTLSCacheSize; ++i)
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "Index:%d Thread:%lX. TLS:%lX\n", i,
               static_cast<unsigned long>(c[i].threadId.load(std::memory_order_acquire)),
               reinterpret_cast<unsigned long>(c[i].record.load(std::memory_order_acquire)));
  }
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "RdaCli TLS List\n");
  for (const RdaCliTLS* r = gRdaCliTLS.first; r != nullptr; r = r->next)
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "RdaCli TLS: Thread:%lX. TLS:%lX\n", static_cast<unsigned long>(r->ownerThreadId),
             reinterpret_cast<unsigned long>(r));
}
