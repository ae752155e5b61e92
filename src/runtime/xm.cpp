#include "src/runtime/xm.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/qvpoison.h"

namespace {

// A page that its thread may keep when it is released: one of the standard
// capacity made in a tree that keeps its pages. The capacity, in units of 8
// octets, is held in the upper half of the flags.
constexpr uint32_t kPageMark = 256;
constexpr uint32_t kPageCapShift = 16;
constexpr uint64_t kPageCapMax = uint64_t{0xFFFF} << 3;

void linkInit(XmLink* l) { l->next = l->prev = l; }

void linkUnlink(XmLink* l) {
  l->prev->next = l->next;
  l->next->prev = l->prev;
  linkInit(l);
}

void linkAppend(XmLink* head, XmLink* l) {
  l->prev = head->prev;
  l->next = head;
  head->prev->next = l;
  head->prev = l;
}

// The link is the header's first member, and the header the tree's.
XmItem* fromLink(XmLink* l) { return reinterpret_cast<XmItem*>(l); }
XmTree* asTree(XmItem* h) { return reinterpret_cast<XmTree*>(h); }

void* rawAlloc(size_t n) {
  return XM_defaultTaskAlloc != nullptr ? XM_defaultTaskAlloc(n) : XM_defaultAlloc(n);
}

void rawFree(void* p) {
  if (XM_defaultTaskFree != nullptr) XM_defaultTaskFree(p);
  else XM_defaultFree(p);
}

// Root lookups run inside the trace manager too, so they never trace.
XmTree* rootTree() {
  const XmTLS* x = gXmTLS.getOwn(0, false);
  return x != nullptr ? x->rootTree : nullptr;
}

uint64_t pageBlockSize(uint64_t capacity) { return sizeof(XmItem) + capacity + XM_PAGE_TRAILER; }
uint64_t markedCapacity(const XmItem* h) { return static_cast<uint64_t>(h->flags >> kPageCapShift) << 3; }

// Capacity of a page of the configured size.
uint64_t standardCapacity() {
  const uint64_t pageSize = giXmPageSize > 0 ? static_cast<uint64_t>(giXmPageSize) : 16384;
  return pageSize > XM_PAGE_TRAILER ? (pageSize - XM_PAGE_TRAILER) & ~uint64_t{7} : 0;
}

// Holds a released page for reuse by the calling thread; false when it is
// not to be kept (the thread keeps enough, or the page size has changed).
bool keepPage(XmItem* h) {
  XmTLS* x = gXmTLS.getOwn(0, false);
  const uint64_t capacity = markedCapacity(h);
  if (x == nullptr || giXmKeptPagesMax <= 0 || x->keptCount >= static_cast<uint32_t>(giXmKeptPagesMax) ||
      capacity != standardCapacity())
    return false;
  linkUnlink(&h->link);
  h->flags |= XM_RELEASED;
  h->owner = nullptr;
  h->link.next = reinterpret_cast<XmLink*>(x->keptPages);
  x->keptPages = h;
  ++x->keptCount;
  // The header stays addressable: it links the kept pages, and the leak
  // checker does not follow pointers held in poisoned memory.
  qvPoison(reinterpret_cast<uint8_t*>(h) + sizeof(XmItem), pageBlockSize(capacity) - sizeof(XmItem));
  return true;
}

// The calling thread's last kept page, addressable again; NULL when none.
XmItem* popKeptPage() {
  XmTLS* x = gXmTLS.getOwn(0, false);
  if (x == nullptr || x->keptPages == nullptr) return nullptr;
  XmItem* h = x->keptPages;
  x->keptPages = reinterpret_cast<XmItem*>(h->link.next);
  --x->keptCount;
  qvUnpoison(h, pageBlockSize(markedCapacity(h)));
  return h;
}

// A kept page of `capacity`, its header still to be set up; NULL when there
// is none. Pages of another capacity found on the way are freed.
XmItem* takeKeptPage(uint64_t capacity) {
  while (XmItem* h = popKeptPage()) {
    if (markedCapacity(h) == capacity) return h;
    rawFree(h);
  }
  return nullptr;
}

void releaseBlock(XmItem* h) {
  if ((h->flags & kPageMark) != 0 && keepPage(h)) return;
  linkUnlink(&h->link);
  h->flags |= XM_RELEASED;
  rawFree(h);
}

// Hands a member that still has holders to the root tree, or detaches it when
// the thread has none, so that it never points into a released tree.
void rehome(XmItem* h, XmTree* root) {
  linkUnlink(&h->link);
  if (root != nullptr) linkAppend(&root->children, &h->link);
  h->owner = root;
}

// Links the block `h` into `tree` as an item of `size` octets.
void* adoptItem(XmItem* h, XmTree* tree, uint64_t size, uint32_t flags) {
  h->flags = XM_ITEM;
  h->refCount = tree != nullptr ? tree->hdr.refCount : 1;
  h->owner = tree;
  linkInit(&h->link);
  if (tree != nullptr) {
    linkAppend(&tree->children, &h->link);
  } else if (XmTree* root = rootTree()) {
    linkAppend(&root->children, &h->link);
  }
  void* user = xm_user(h);
  if ((flags & XM_ZERO) != 0) std::memset(user, 0, static_cast<size_t>(size));
  return user;
}

void* allocItem(XmTree* tree, uint64_t size, uint32_t flags) {
  if (size > UINT32_MAX - sizeof(XmItem)) {
    TM_TRACE(xm_modCB, 9, "src/default", "XM_malloc() Fatal Error. Could not allocate memory. Size=%ld\n",
             static_cast<long>(size));
    return nullptr;
  }
  auto* h = static_cast<XmItem*>(rawAlloc(static_cast<size_t>(size) + sizeof(XmItem)));
  return h != nullptr ? adoptItem(h, tree, size, flags) : nullptr;
}

// A new page item of `capacity` octets and the trailer in `tree`: a kept
// page of the thread when the tree keeps its pages and the capacity is the
// standard one, else a fresh block.
uint8_t* allocPage(XmTree* tree, uint64_t capacity, uint32_t flags) {
  const bool keep =
      (tree->hdr.flags & XM_KEEPPAGES) != 0 && capacity == standardCapacity() && capacity <= kPageCapMax;
  void* page = nullptr;
  if (XmItem* h = keep ? takeKeptPage(capacity) : nullptr) page = adoptItem(h, tree, capacity + XM_PAGE_TRAILER, flags);
  else page = allocItem(tree, capacity + XM_PAGE_TRAILER, flags);
  if (page != nullptr && keep)
    xm_header(page)->flags |= kPageMark | static_cast<uint32_t>(capacity >> 3) << kPageCapShift;
  return static_cast<uint8_t*>(page);
}

void releaseMember(XmLink* l, bool treeGone, XmTree* root);

void releaseTree(XmTree* t, XmTree* root) {
  const bool gone = --t->hdr.refCount == 0;
  if (gone) linkUnlink(&t->hdr.link);
  if ((t->hdr.flags & XM_USERMEM) != 0) {
    // Its members are not released with it; they must not point into the
    // released block either, so the root tree takes them over.
    if (gone)
      while (t->children.next != &t->children) rehome(fromLink(t->children.next), t == root ? nullptr : root);
  } else {
    if (gone && t == root) {
      // Members handed to the root land at the tail of this very list: keep
      // taking the head until nothing is left, whatever the counts.
      while (t->children.next != &t->children) releaseMember(t->children.next, true, root);
    } else {
      for (XmLink* l = t->children.next; l != &t->children;) {
        XmLink* next = l->next;
        releaseMember(l, gone, root);
        l = next;
      }
    }
  }
  if (gone) {
    if (t == root) {
      if (XmTLS* x = gXmTLS.getOwn(0, false)) x->rootTree = nullptr;
    }
    t->hdr.flags |= XM_RELEASED;
    rawFree(t);
  }
}

// The kind is told by the tree and item bits alone: a tree flagged user
// memory (16 | 64) is a tree here, and must go with the tree that holds it.
bool isTree(const XmItem* h) { return (h->flags & XM_TREE) != 0; }
bool isItem(const XmItem* h) { return (h->flags & XM_ITEM) != 0; }

void releaseMember(XmLink* l, bool treeGone, XmTree* root) {
  XmItem* h = fromLink(l);
  if (isTree(h)) {
    XmTree* m = asTree(h);
    const bool survives = m->hdr.refCount > 1;
    if (treeGone && m->hdr.owner != nullptr && root != nullptr) rehome(h, root);
    releaseTree(m, root);
    if (survives && treeGone && root == nullptr) rehome(h, nullptr);
  } else if (isItem(h)) {
    if (--h->refCount == 0) releaseBlock(h);
    else if (treeGone) rehome(h, root);
  }
}

void addReference(XmTree* t) {
  ++t->hdr.refCount;
  for (XmLink* l = t->children.next; l != &t->children; l = l->next) {
    XmItem* h = fromLink(l);
    if (isTree(h)) addReference(asTree(h));
    else ++h->refCount;
  }
}

XmTree* topOf(XmItem* h) {
  XmTree* root = rootTree();
  while (h->owner != nullptr && h->owner != root) h = &h->owner->hdr;
  return (h->flags & XM_ITEM) != 0 ? nullptr : asTree(h);
}

void putTrailer(uint8_t* page, uint64_t capacity, uint64_t nextCapacity, uint64_t nextPage) {
  const uint64_t w[3] = {capacity, nextCapacity, nextPage};
  std::memcpy(page + capacity, w, sizeof w);
}

}  // namespace

XmAllocFn XM_defaultAlloc = XM_malloc;
XmFreeFn XM_defaultFree = XM_free;
XmAllocFn XM_defaultTaskAlloc = nullptr;
XmFreeFn XM_defaultTaskFree = nullptr;
int32_t giEnablePaging = 1;
int32_t giXmPageSize = 16384;
// A unit of 64 KiB decodes into about 35 pages of the default size.
int32_t giXmKeptPagesMax = 64;
TmHandle xm_modCB = -1;

QV_DEFINE_TLS_FAMILY(Xm, hSerializeXmMutex, &xm_modCB, 0, 9, "src/init", "Could not found XM TLS for %lX thread\n")

void* XM_malloc(size_t size) {
  if (XM_defaultTaskAlloc != nullptr) return XM_defaultTaskAlloc(size);
  void* p = size <= UINT32_MAX ? std::malloc(size) : nullptr;
  if (p == nullptr)
    TM_TRACE(xm_modCB, 9, "src/default", "XM_malloc() Fatal Error. Could not allocate memory. Size=%ld\n",
             static_cast<long>(size));
  return p;
}

void XM_free(void* block) {
  if (XM_defaultTaskFree != nullptr) XM_defaultTaskFree(block);
  else std::free(block);
}

void xm_setDefaultAlloc(XmAllocFn alloc, XmFreeFn release) {
  XM_defaultAlloc = alloc;
  XM_defaultFree = release;
}

void xm_setDefaultTaskAlloc(XmAllocFn alloc, XmFreeFn release) {
  XM_defaultTaskAlloc = alloc;
  XM_defaultTaskFree = release;
}

XmTree* _xm_allocTree(XmTree* parent) {
  auto* t = static_cast<XmTree*>(rawAlloc(sizeof(XmTree)));
  if (t == nullptr) return nullptr;
  t->hdr.flags = XM_TREE | (parent != nullptr ? parent->hdr.flags & XM_KEEPPAGES : 0);
  t->hdr.refCount = parent != nullptr ? parent->hdr.refCount : 1;
  t->hdr.owner = parent;
  linkInit(&t->hdr.link);
  linkInit(&t->children);
  t->paging = static_cast<uint8_t>(giEnablePaging);
  t->pageCapacity = 0;
  t->page = nullptr;
  t->pageUsed = 0;
  if (parent != nullptr) {
    linkAppend(&parent->children, &t->hdr.link);
  } else if (XmTree* root = rootTree()) {
    linkAppend(&root->children, &t->hdr.link);
  }
  return t;
}

void* _xm_allocItem(XmTree* tree, uint32_t size, uint32_t flags) { return allocItem(tree, size, flags); }

void* _xm_allocItemWithTree(uint32_t size, uint32_t flags) {
  XmTree* t = _xm_allocTree(nullptr);
  if (t == nullptr) return nullptr;
  void* item = _xm_allocItem(t, size, flags);
  if (item == nullptr) _xm_freeTree(t);
  return item;
}

void* xm_allocItemFromPage(XmTree* tree, uint32_t size, uint32_t flags) {
  if (tree == nullptr || tree->paging == 0) return _xm_allocItem(tree, size, flags);
  if (tree->page != nullptr) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(tree->page + tree->pageUsed);
    if (at % 8 != 0) tree->pageUsed = std::min(tree->pageUsed + (8 - at % 8), tree->pageCapacity);
  }
  uint64_t take = size;
  if (tree->page == nullptr || tree->pageCapacity - tree->pageUsed < size) {
    const uint64_t rounded = (static_cast<uint64_t>(size) + 7) & ~uint64_t{7};
    const uint64_t capacity = std::max(standardCapacity(), rounded);
    uint8_t* page = allocPage(tree, capacity, flags);
    if (page == nullptr) return nullptr;  // the old page keeps its state
    putTrailer(page, capacity, 0, 0);
    if (tree->page != nullptr) putTrailer(tree->page, tree->pageCapacity, capacity, reinterpret_cast<uintptr_t>(page));
    tree->page = page;
    tree->pageCapacity = capacity;
    tree->pageUsed = 0;
    take = rounded;
  }
  uint8_t* piece = tree->page + tree->pageUsed;
  tree->pageUsed += take;
  return piece;
}

void _xm_freeItem(void* item) {
  if (item == nullptr) return;
  XmItem* h = xm_header(item);
  if (--h->refCount == 0) releaseBlock(h);
}

void _xm_freeTree(XmTree* tree) {
  if (tree != nullptr) releaseTree(tree, rootTree());
}

void* _xm_reallocItem(void* item, uint32_t oldSize, uint32_t newSize) {
  if (item == nullptr) return nullptr;
  XmItem* h = xm_header(item);
  void* fresh = _xm_allocItem(h->owner, newSize, 0);
  if (fresh == nullptr) return nullptr;
  std::memcpy(fresh, item, std::min(oldSize, newSize));
  xm_header(fresh)->refCount = h->refCount;
  h->refCount = 1;
  _xm_freeItem(item);
  return fresh;
}

void _xm_moveItem(void* item, XmTree* tree) {
  if (item == nullptr) return;
  XmItem* h = xm_header(item);
  linkUnlink(&h->link);
  if (tree != nullptr) linkAppend(&tree->children, &h->link);
  h->owner = tree;
}

void _xm_moveTree(XmTree* newParent, XmTree* tree) {
  if (tree == nullptr) return;
  rehome(&tree->hdr, newParent != nullptr ? newParent : rootTree());
}

void xm_addReferenceItem(void* item) {
  if (item != nullptr) ++xm_header(item)->refCount;
}

void xm_addReferenceTree(XmTree* tree) {
  if (tree != nullptr) addReference(tree);
}

XmTree* xm_getParentOfItem(void* item) { return item != nullptr ? xm_header(item)->owner : nullptr; }
XmTree* xm_getParentOfTree(XmTree* tree) { return tree != nullptr ? tree->hdr.owner : nullptr; }
XmTree* xm_getRootOfTree(XmTree* tree) { return tree != nullptr ? topOf(&tree->hdr) : nullptr; }
XmTree* xm_getRootOfItem(void* item) { return item != nullptr ? topOf(xm_header(item)) : nullptr; }
int32_t xm_isUserMem(XmTree* tree) { return tree != nullptr && (tree->hdr.flags & XM_USERMEM) != 0 ? 1 : 0; }

void xm_enableOrDisablePageAllocation(XmTree* tree, uint8_t value) {
  if (tree != nullptr && tree->paging != 0) tree->paging = value;
}

void xm_keepReleasedPages(XmTree* tree) {
  if (tree != nullptr) tree->hdr.flags |= XM_KEEPPAGES;
}

void xm_releaseKeptPages() {
  while (XmItem* h = popKeptPage()) rawFree(h);
}

void* xm_init() {
  XmTLS* x = getXmTLS(0);
  if (x == nullptr) return nullptr;
  if (x->rootTree != nullptr) return x;
  x->rootTree = _xm_allocTree(nullptr);
  return x->rootTree;
}

void xm_shutdown() {
  XmTLS* x = getXmTLS(0);
  if (x == nullptr) return;
  if (x->rootTree != nullptr) {
    _xm_freeTree(x->rootTree);
    x->rootTree = nullptr;
  }
  // After the root tree: its trees may have left pages to keep.
  xm_releaseKeptPages();
}
