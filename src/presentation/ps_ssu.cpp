#include "src/presentation/ps_ssu.h"

#include "src/session/session.h"

int32_t ps_ssu(Smachine*, SIDU* sidu) {
  if (sidu == nullptr) return 0;
  s_freeChain(sidu->userData);
  sidu->userData = nullptr;
  return 0;
}
