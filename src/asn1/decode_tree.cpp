// The calling thread's decode tree and its sub-lists.
#include "src/asn1/decode_tree.h"

#include "src/asn1/ber_runtime.h"
#include "src/runtime/xm.h"

namespace {

XmTree* slotTree(const XmTLS* x) { return reinterpret_cast<XmTree*>(x->decodeTree); }
void setSlot(XmTLS* x, XmTree* t) { x->decodeTree = reinterpret_cast<AaDecodeTree*>(t); }

// A decode tree is made and released for every unit received: its pages
// are kept for the next one.
XmTree* currentTree(XmTLS* x) {
  if (x->decodeTree == nullptr) {
    XmTree* t = _xm_allocTree(nullptr);
    xm_keepReleasedPages(t);
    setSlot(x, t);
  }
  return slotTree(x);
}

// Releases a whole decode tree; the slot forgets it when it is (or is below)
// the tree released, so that no later allocation lands in freed memory.
void releaseTop(XmTree* top) {
  if (top == nullptr) return;
  XmTLS* x = getXmTLS(0);
  if (x != nullptr) {
    if (top == x->rootTree) return;  // never the thread's root tree
    XmTree* cur = slotTree(x);
    if (cur != nullptr && (cur == top || xm_getRootOfTree(cur) == top)) setSlot(x, nullptr);
  }
  _xm_freeTree(top);
}

// The open sub-list and its parent; NULL when the current tree is the
// decode tree itself (its parent is the root tree or none).
XmTree* openSubList(const XmTLS* x, XmTree** parent) {
  XmTree* cur = slotTree(x);
  if (cur == nullptr) return nullptr;
  XmTree* p = xm_getParentOfTree(cur);
  if (p == nullptr || p == x->rootTree) return nullptr;
  *parent = p;
  return cur;
}

}  // namespace

void* aamalloc(uint64_t n) {
  XmTLS* x = getXmTLS(0);
  if (x == nullptr || n > UINT32_MAX) return nullptr;
  XmTree* t = currentTree(x);
  return t != nullptr ? _xm_allocItem(t, static_cast<uint32_t>(n), XM_ZERO) : nullptr;
}

void* aamallocFromPage(uint64_t n) {
  XmTLS* x = getXmTLS(0);
  if (x == nullptr || n > UINT32_MAX) return nullptr;
  XmTree* t = currentTree(x);
  return t != nullptr ? xm_allocItemFromPage(t, static_cast<uint32_t>(n), XM_ZERO) : nullptr;
}

XmTree* aagetlist() {
  XmTLS* x = getXmTLS(0);
  if (x == nullptr) return nullptr;
  XmTree* t = slotTree(x);
  setSlot(x, nullptr);
  return t;
}

void aafreeall(XmTree* tree) {
  if (tree != nullptr) releaseTop(xm_getRootOfTree(tree));
}

void aafreeall(AaDecodeTree* tree) { aafreeall(reinterpret_cast<XmTree*>(tree)); }

void aafreeall(void* item) {
  if (item != nullptr) releaseTop(xm_getRootOfItem(item));
}

XmTree* aaStartSubList() {
  XmTLS* x = getXmTLS(0);
  XmTree* t = x != nullptr ? _xm_allocTree(slotTree(x)) : nullptr;
  xm_keepReleasedPages(t);  // also when no decode tree was open
  if (t == nullptr) {
    // The current tree keeps its values, so that the receiver can still
    // release them.
    TM_TRACE(xm_modCB, 1, "src/aaxm", "aastartTree can't allocate tree\n");
    aaRaise(AAE_NOMEM, "src/aaxm", 139);
  }
  setSlot(x, t);
  return t;
}

XmTree* aaEndSubList() {
  XmTLS* x = getXmTLS(0);
  if (x == nullptr) return nullptr;
  XmTree* parent = nullptr;
  XmTree* sub = openSubList(x, &parent);
  if (sub != nullptr) setSlot(x, parent);
  return sub;
}

void aaFreeSubList() {
  XmTLS* x = getXmTLS(0);
  if (x == nullptr) return;
  XmTree* parent = nullptr;
  XmTree* sub = openSubList(x, &parent);
  if (sub == nullptr) return;
  setSlot(x, parent);
  _xm_freeTree(sub);
}
