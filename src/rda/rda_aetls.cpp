#include "src/rda/rda_aetls.h"

#include "src/rda/rda_trace.h"

TLSFamily<RdaAeTLS> gRdaAeTLS(&hSerializeRdaAeMutex,
                              TLSMissTrace{&rda_aeTMHandle, -1, 9, "src/rda", "Could not found RdaAe TLS for %lX thread\n"});

namespace {

// Each thread's entity registers the ASE table's abstract syntaxes under
// indexes of its own, so it works on a copy.
bool prepare(RdaAeTLS* rec) {
  for (int32_t i = 0; i < kRdaAsxRows; ++i) rec->asxTbl[i] = RDA_asxTBL[i];
  return true;
}

}  // namespace

int32_t initRdaAeTLS() { return gRdaAeTLS.init(prepare); }
RdaAeTLS* getSpecificRdaAeTLS(uint64_t threadId, int32_t remove) { return gRdaAeTLS.get(threadId, remove); }
RdaAeTLS* getRdaAeTLS(int32_t remove) { return gRdaAeTLS.getOwn(remove); }
void removeRdaAeTLS() { gRdaAeTLS.remove(); }
void destroyRdaAeTLSCache() { gRdaAeTLS.destroyCache(); }

UL_Ring* QvSwitchRDA_aeiCB(uint64_t threadId, int32_t flag) {
  RdaAeTLS* own = getRdaAeTLS(0);
  if (own == nullptr) return nullptr;
  if (flag != 0) {
    RdaAeTLS* other = getSpecificRdaAeTLS(threadId, 0);
    if (other != nullptr && own->savedAeiCBs == nullptr) {
      own->savedAeiCBs = own->RDA_aeiCBs;
      own->RDA_aeiCBs = other->RDA_aeiCBs;
    }
  } else if (own->savedAeiCBs != nullptr) {
    own->RDA_aeiCBs = own->savedAeiCBs;
    own->savedAeiCBs = nullptr;
  }
  return own->RDA_aeiCBs;
}
