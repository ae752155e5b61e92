#include "src/asn1/authmech.h"

#include <iterator>

int32_t aAuthMech0(void*) { return 0; }
int32_t aAuthMech1(void*) { return 0; }
int32_t aAuthMech2(void*) { return 0; }
int32_t aAuthMech3(void*) { return 0; }
int64_t fAuthMech0(void*) { return 0; }
int64_t fAuthMech1(void*) { return 0; }
int64_t fAuthMech2(void*) { return 0; }
int64_t fAuthMech3(void*) { return 0; }

namespace {

struct Mechanism {
  int32_t (*get)(void*);
  int64_t (*add)(void*);
};
constexpr Mechanism kMechanisms[] = {
    {aAuthMech0, fAuthMech0},
    {aAuthMech1, fAuthMech1},
    {aAuthMech2, fAuthMech2},
    {aAuthMech3, fAuthMech3},
};

const Mechanism* select(const ObjIdV* name) {
  if (name == nullptr || name->count == 0 || name->arcs == nullptr) return nullptr;
  const uint32_t first = name->arcs[0];
  return first < std::size(kMechanisms) ? &kMechanisms[first] : nullptr;
}

}  // namespace

int32_t getother(void* value, const ObjIdV* mechanism) {
  const Mechanism* m = select(mechanism);
  return m != nullptr ? m->get(value) : 0;
}

int64_t addother(void* value, const ObjIdV* mechanism) {
  const Mechanism* m = select(mechanism);
  return m != nullptr ? m->add(value) : 0;
}
