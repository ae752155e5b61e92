#include "src/odbc/lmoutil.h"

#include "src/odbc/lmo.h"
#include "src/odbc/lmoparam.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

void ensureRing(LmoLink* head) {
  if (head->next == nullptr || head->prev == nullptr) head->next = head->prev = head;
}

}  // namespace

bool lmoRingEmpty(const LmoLink* head) { return head->next == nullptr || head->next == head; }

void lmoRingAppend(LmoLink* head, LmoLink* node) {
  ensureRing(head);
  node->next = head;
  node->prev = head->prev;
  head->prev->next = node;
  head->prev = node;
}

LmoLink* lmoRingPopFirst(LmoLink* head) {
  if (lmoRingEmpty(head)) return nullptr;
  LmoLink* node = head->next;
  head->next = node->next;
  node->next->prev = head;
  node->next = node->prev = nullptr;
  return node;
}

int32_t CheckBufType(int16_t cType) {
  switch (cType) {
    case 1: case 4: case 5: case 7: case 8: case 9: case 10: case 11: case 99:
    case -2: case -6: case -7: case -8: case -15: case -16: case -17: case -18:
      return 0;
    default:
      return 1;
  }
}

int32_t CheckSQLType(int16_t sqlType) {
  if (sqlType >= 1 && sqlType <= 12) return 0;
  switch (sqlType) {
    case -1: case -2: case -3: case -4: case -6: case -7: case -8: case -9: case -10:
      return 0;
    default:
      return 1;
  }
}

void GetDataLength(int16_t cType, const void* value, int64_t length, int64_t* lengthOut) {
  if (lengthOut == nullptr) return;
  int64_t n = 0;
  if (value != nullptr && length != -1 && cType >= -18 && cType <= 8) {
    switch (cType) {
      case -18: case -16: case 4: case 7:
        n = 4;
        break;
      case -17: case -15: case 5:
        n = 2;
        break;
      case -7: case -6:
        n = 1;
        break;
      case 8:
        n = 8;
        break;
      case -8:
        n = length == -3 ? static_cast<int64_t>(std::wcslen(static_cast<const wchar_t*>(value)) * sizeof(wchar_t))
                         : length;
        break;
      case 1:
        n = length == -3 ? static_cast<int64_t>(std::strlen(static_cast<const char*>(value))) : length;
        break;
      case -2:
        n = length;
        break;
      default:
        break;
    }
  }
  *lengthOut = n;
}

void* GAllocMem(void** handleOut, size_t size) {
  void* p = std::malloc(size > 0 ? size : 1);
  if (handleOut != nullptr) *handleOut = p;
  return p;
}

void QvFreeMem(void* handle) { std::free(handle); }

void QDelete(LmoLink* head, int32_t kind) {
  while (LmoLink* node = lmoRingPopFirst(head)) {
    if (kind == kQDeleteParams) lmoFreeParamValue(reinterpret_cast<LmoParam*>(node));
    QvFreeMem(reinterpret_cast<LmoMemRecord*>(node)->memHandle);
  }
}
