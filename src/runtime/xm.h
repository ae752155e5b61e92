// XM memory manager: every block is an item of a tree, trees nest, and
// releasing a tree releases what was allocated in it. Items and trees carry
// reference counts so that one structure can have two holders. A tree can
// also hand out unheaded 8-byte aligned pieces from large pages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/tlsfamily.h"

struct XmTree;

struct XmLink {
  XmLink* next;
  XmLink* prev;
};

// Header in front of every item's user area.
struct XmItem {
  XmLink link;  // place in the owner's child list
  uint32_t flags;
  uint32_t refCount;
  XmTree* owner;  // parent tree; NULL for a detached item
};

// A tree is a bare header of the same shape followed by its child list and
// its page state.
struct XmTree {
  XmItem hdr;
  XmLink children;  // circular; an empty list points at itself
  uint8_t paging;
  uint64_t pageCapacity;
  uint8_t* page;  // user area of the current page item
  uint64_t pageUsed;
};

inline constexpr uint32_t XM_RELEASED = 2;
inline constexpr uint32_t XM_TREE = 16;
inline constexpr uint32_t XM_ITEM = 32;
inline constexpr uint32_t XM_USERMEM = 64;
inline constexpr uint32_t XM_KIND = 0x70;
inline constexpr uint32_t XM_KEEPPAGES = 128;  // tree: its released pages are kept for reuse
inline constexpr uint32_t XM_ZERO = 1;  // allocation flag: zero-fill
inline constexpr uint64_t XM_PAGE_TRAILER = 24;

struct AaDecodeTree;

struct XmTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  XmTree* rootTree;
  AaDecodeTree* decodeTree;  // current decode tree of the BER runtime
  XmTLS* next;
  XmItem* keptPages;  // released pages kept for reuse, linked through their headers
  uint32_t keptCount;
};

using XmAllocFn = void* (*)(size_t);
using XmFreeFn = void (*)(void*);

extern XmAllocFn XM_defaultAlloc;
extern XmFreeFn XM_defaultFree;
extern XmAllocFn XM_defaultTaskAlloc;
extern XmFreeFn XM_defaultTaskFree;
extern int32_t giEnablePaging;
extern int32_t giXmPageSize;
// Most released pages a thread keeps for reuse (see xm_keepReleasedPages).
extern int32_t giXmKeptPagesMax;
extern TmHandle xm_modCB;

extern TLSFamily<XmTLS> gXmTLS;
int32_t initXmTLS();
XmTLS* getXmTLS(int32_t remove);
void removeXmTLS();
void destroyXmTLSCache();

void* XM_malloc(size_t size);
void XM_free(void* block);
void xm_setDefaultAlloc(XmAllocFn alloc, XmFreeFn release);
void xm_setDefaultTaskAlloc(XmAllocFn alloc, XmFreeFn release);

XmTree* _xm_allocTree(XmTree* parent);
void* _xm_allocItem(XmTree* tree, uint32_t size, uint32_t flags);
void* _xm_allocItemWithTree(uint32_t size, uint32_t flags);
void* xm_allocItemFromPage(XmTree* tree, uint32_t size, uint32_t flags);
void _xm_freeItem(void* item);
void _xm_freeTree(XmTree* tree);
void* _xm_reallocItem(void* item, uint32_t oldSize, uint32_t newSize);
void _xm_moveItem(void* item, XmTree* tree);
void _xm_moveTree(XmTree* newParent, XmTree* tree);
void xm_addReferenceItem(void* item);
void xm_addReferenceTree(XmTree* tree);
XmTree* xm_getParentOfItem(void* item);
XmTree* xm_getParentOfTree(XmTree* tree);
XmTree* xm_getRootOfTree(XmTree* tree);
XmTree* xm_getRootOfItem(void* item);
int32_t xm_isUserMem(XmTree* tree);
void xm_enableOrDisablePageAllocation(XmTree* tree, uint8_t value);
// Makes `tree`, and the trees made below it afterwards, keep their released
// pages: a page of the standard size that goes with its tree is held by the
// releasing thread, up to giXmKeptPagesMax pages, and handed to the next
// tree of the thread that needs a page, so that a tree made and released
// over and over does not make the heap fetch, fault in and give back fresh
// memory every time. A kept page is still an allocated block (freed by
// xm_shutdown or xm_releaseKeptPages); under AddressSanitizer it is poisoned
// while it waits, so that a use after release is caught.
void xm_keepReleasedPages(XmTree* tree);
// Frees the calling thread's kept pages.
void xm_releaseKeptPages();
void* xm_init();
void xm_shutdown();

// The header of an item from its user pointer, and back.
inline XmItem* xm_header(void* item) { return static_cast<XmItem*>(item) - 1; }
inline void* xm_user(XmItem* hdr) { return hdr + 1; }
