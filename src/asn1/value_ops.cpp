// Compare and copy helpers of the shared value types.
#include <cstring>

#include "common/qvstring.h"
#include "src/asn1/decode_tree.h"
#include "src/runtime/xm.h"

namespace {

bool sameOctets(const void* a, const void* b, uint64_t n) {
  if (n == 0) return true;
  if (a == nullptr || b == nullptr) return a == b;
  return gqv_memcmp(a, b, static_cast<size_t>(n)) == 0;
}

// A copy of n octets as a new item of `tree`; NULL when it cannot be had.
void* copyItem(XmTree* tree, const void* src, uint64_t n) {
  if (n > UINT32_MAX || (n > 0 && src == nullptr)) return nullptr;
  void* item = _xm_allocItem(tree, static_cast<uint32_t>(n), 0);
  if (item != nullptr && n > 0) std::memcpy(item, src, static_cast<size_t>(n));
  return item;
}

}  // namespace

int32_t ul_objidcmp(const ObjId* a, const ObjId* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  if (a->count != b->count) return 0;
  // Counts above 16 (0xFFFF: absent) have no arcs to compare.
  if (a->count > kObjIdMaxArcs) return 1;
  return sameOctets(a->arcs, b->arcs, uint64_t{a->count} * 4) ? 1 : 0;
}

int32_t ul_objidcpy(ObjId* dst, const ObjId* src) {
  if (dst == nullptr || src == nullptr || src->count > kObjIdMaxArcs) return 0;
  dst->count = src->count;
  std::memcpy(dst->arcs, src->arcs, src->count * sizeof(uint32_t));
  return 1;
}

int32_t ul_objidvcmp(const ObjIdV* a, const ObjIdV* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  if (a->count != b->count) return 0;
  return sameOctets(a->arcs, b->arcs, uint64_t{a->count} * 4) ? 1 : 0;
}

int32_t ul_objidvcpy(ObjIdV* dst, const ObjIdV* src, XmTree* tree) {
  if (dst == nullptr || src == nullptr) return 0;
  if (src->count == 0) {
    dst->count = 0;
    return 1;
  }
  void* arcs = copyItem(tree, src->arcs, uint64_t{src->count} * 4);
  if (arcs == nullptr) return 0;
  dst->count = src->count;
  dst->arcs = static_cast<uint32_t*>(arcs);
  return 1;
}

ObjIdV* ul_objidvcpyRetPtr(const ObjIdV* src, XmTree* tree) {
  auto* v = static_cast<ObjIdV*>(_xm_allocItem(tree, sizeof(ObjIdV), XM_ZERO));
  if (v == nullptr) return nullptr;
  if (ul_objidvcpy(v, src, tree) == 0) {
    _xm_freeItem(v);
    return nullptr;
  }
  return v;
}

int32_t ul_octstgvcmp(const OctStgV* a, const OctStgV* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  if (a->length != b->length) return 0;
  return sameOctets(a->octets, b->octets, a->length) ? 1 : 0;
}

int32_t ul_octstgvcpy(OctStgV* dst, const OctStgV* src, XmTree* tree) {
  if (dst == nullptr || src == nullptr) return 0;
  void* octets = copyItem(tree, src->octets, src->length);
  if (octets == nullptr) return 0;
  dst->length = src->length;
  dst->octets = static_cast<uint8_t*>(octets);
  return 1;
}

OctStgV* ul_octstgvcpyRetPtr(const OctStgV* src, XmTree* tree) {
  auto* v = static_cast<OctStgV*>(_xm_allocItem(tree, sizeof(OctStgV), XM_ZERO));
  if (v == nullptr) return nullptr;
  if (ul_octstgvcpy(v, src, tree) == 0) {
    _xm_freeItem(v);
    return nullptr;
  }
  return v;
}

int32_t ul_octstgcmp(const OctStg* a, const OctStg* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  if (a->length != b->length) return 0;
  return sameOctets(a->octets, b->octets, a->length) ? 1 : 0;
}

int32_t ul_bitscpy(BitStgV* dst, const BitStgV* src, XmTree* tree) {
  if (dst == nullptr || src == nullptr) return 0;
  void* octets = copyItem(tree, src->octets, src->count);
  if (octets == nullptr) return 0;
  dst->unused = src->unused;
  dst->count = src->count;
  dst->octets = static_cast<uint8_t*>(octets);
  return 1;
}
