#include "src/runtime/startup.h"

#include "common/qvmutexes.h"
#include "common/timer2.h"
#include "src/runtime/xm.h"

int32_t qv_startRuntime(std::initializer_list<int32_t (*)()> layerRecords) {
  glMainThreadId = QvGetThreadHandle();
  if (QvCreateMutexes() == 0) return 0;
  hSerializeMutex = QvCreateMutex();
  if (hSerializeMutex == nullptr || initXmTLS() == 0 || initGutilTLS() == 0 || xm_init() == nullptr) return 0;
  for (int32_t (*init)() : layerRecords)
    if (init() == 0) return 0;
  return 1;
}
