#include "src/runtime/xm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

#include "support/counting_alloc.h"
#include "support/recordset.h"

namespace {


// A record set with an XM root tree, and XM's allocations counted.
class Xm : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    xm_shutdown();  // start the root again under the counting hooks
    xm_setDefaultAlloc(countingAlloc, countingFree);
    liveBlocks = 0;
    ASSERT_NE(xm_init(), nullptr);
    root = getXmTLS(0)->rootTree;
  }
  void TearDown() override {
    xm_shutdown();
    EXPECT_EQ(liveBlocks.load(), 0) << "blocks left after the root was released";
    xm_setDefaultAlloc(XM_malloc, XM_free);
    giEnablePaging = 1;
    giXmPageSize = 16384;
    giXmKeptPagesMax = 64;
    RecordSetTest::TearDown();
  }
  static uint64_t trailerWord(const XmTree* t, const uint8_t* page, uint64_t capacity, int i) {
    (void)t;
    uint64_t w = 0;
    std::memcpy(&w, page + capacity + 8 * i, sizeof w);
    return w;
  }
  static bool isMemberOf(const XmTree* tree, const void* user) {
    const XmLink* want = &xm_header(const_cast<void*>(user))->link;
    for (const XmLink* l = tree->children.next; l != &tree->children; l = l->next)
      if (l == want) return true;
    return false;
  }
  XmTree* root = nullptr;
};

TEST_F(Xm, PagePiecesAreAlignedAndTheFirstRequestIsRounded) {
  XmTree* t = _xm_allocTree(nullptr);
  auto* p1 = static_cast<uint8_t*>(xm_allocItemFromPage(t, 10, 1));
  ASSERT_NE(p1, nullptr);
  EXPECT_EQ(t->page, p1);
  EXPECT_EQ(t->pageCapacity, 16360u);
  EXPECT_EQ(trailerWord(t, p1, 16360, 0), 16360u);
  EXPECT_EQ(trailerWord(t, p1, 16360, 1), 0u);
  EXPECT_EQ(trailerWord(t, p1, 16360, 2), 0u);
  EXPECT_EQ(xm_allocItemFromPage(t, 10, 1), p1 + 16);
  EXPECT_EQ(xm_allocItemFromPage(t, 10, 1), p1 + 32);

  auto* big = static_cast<uint8_t*>(xm_allocItemFromPage(t, 20000, 0));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(t->pageCapacity, 20000u);
  EXPECT_EQ(t->page, big);
  EXPECT_EQ(trailerWord(t, p1, 16360, 1), 20000u);
  EXPECT_EQ(trailerWord(t, p1, 16360, 2), reinterpret_cast<uintptr_t>(big));
  EXPECT_EQ(trailerWord(t, big, 20000, 0), 20000u);
  // The full page's tail is never searched again: the next piece opens a page.
  auto* after = static_cast<uint8_t*>(xm_allocItemFromPage(t, 8, 0));
  EXPECT_EQ(t->page, after);
  EXPECT_EQ(t->pageCapacity, 16360u);
  EXPECT_EQ(trailerWord(t, big, 20000, 2), reinterpret_cast<uintptr_t>(after));
  _xm_freeTree(t);
}

TEST_F(Xm, PagingOffFallsBackToHeadedItemsAndStaysOff) {
  giEnablePaging = 0;
  XmTree* t = _xm_allocTree(root);
  giEnablePaging = 1;
  xm_enableOrDisablePageAllocation(t, 1);
  EXPECT_EQ(t->paging, 0);
  void* p = xm_allocItemFromPage(t, 10, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(xm_getParentOfItem(p), t);
  EXPECT_EQ(t->page, nullptr);

  XmTree* on = _xm_allocTree(root);
  xm_enableOrDisablePageAllocation(on, 0);
  EXPECT_EQ(on->paging, 0);
  _xm_freeTree(t);
  _xm_freeTree(on);
}

TEST_F(Xm, ReleasingATreeHandsStillHeldItemsToTheRoot) {
  XmTree* t = _xm_allocTree(root);
  void* shared = _xm_allocItem(t, 32, XM_ZERO);
  void* own = _xm_allocItem(t, 32, 0);
  (void)own;
  xm_addReferenceItem(shared);
  EXPECT_EQ(xm_header(shared)->refCount, 2u);
  const long before = liveBlocks.load();
  _xm_freeTree(t);
  EXPECT_EQ(liveBlocks.load(), before - 2);  // the tree and its own item
  EXPECT_EQ(xm_header(shared)->refCount, 1u);
  EXPECT_EQ(xm_getParentOfItem(shared), root);
  EXPECT_TRUE(isMemberOf(root, shared));
  _xm_freeItem(shared);
  EXPECT_EQ(liveBlocks.load(), before - 3);
}

TEST_F(Xm, ReferencedTreeKeepsItsStructureUntilTheLastRelease) {
  XmTree* t = _xm_allocTree(root);
  XmTree* sub = _xm_allocTree(t);
  void* a = _xm_allocItem(sub, 8, 0);
  xm_addReferenceTree(t);
  EXPECT_EQ(t->hdr.refCount, 2u);
  EXPECT_EQ(sub->hdr.refCount, 2u);
  EXPECT_EQ(xm_header(a)->refCount, 2u);
  const long before = liveBlocks.load();
  _xm_freeTree(t);
  EXPECT_EQ(liveBlocks.load(), before);
  EXPECT_EQ(xm_header(a)->refCount, 1u);
  EXPECT_EQ(xm_getParentOfItem(a), sub);
  _xm_freeTree(t);
  EXPECT_EQ(liveBlocks.load(), before - 3);
}

TEST_F(Xm, ShutdownFreesEverythingWhateverTheCounts) {
  XmTree* t = _xm_allocTree(nullptr);  // hangs under the root
  XmTree* sub = _xm_allocTree(t);
  void* held = _xm_allocItem(sub, 100, 0);
  xm_addReferenceItem(held);
  xm_addReferenceItem(held);
  xm_addReferenceTree(sub);
  _xm_allocItem(nullptr, 10, 0);
  xm_allocItemFromPage(t, 100, 0);
  _xm_freeTree(t);  // sub and held now belong to the root
  EXPECT_TRUE(isMemberOf(root, held) || xm_getParentOfItem(held) == sub);
  xm_shutdown();
  EXPECT_EQ(liveBlocks.load(), 0);
  EXPECT_EQ(getXmTLS(0)->rootTree, nullptr);
}

TEST_F(Xm, RootOfTreeStopsBelowTheThreadRoot) {
  XmTree* top = _xm_allocTree(root);
  XmTree* mid = _xm_allocTree(top);
  XmTree* leaf = _xm_allocTree(mid);
  void* item = _xm_allocItem(leaf, 4, 0);
  EXPECT_EQ(xm_getRootOfTree(top), top);
  EXPECT_EQ(xm_getRootOfTree(leaf), top);
  EXPECT_EQ(xm_getRootOfItem(item), top);
  XmTree* loose = _xm_allocTree(nullptr);
  EXPECT_EQ(xm_getParentOfTree(loose), nullptr);
  EXPECT_EQ(xm_getRootOfTree(loose), loose);
  void* rootItem = _xm_allocItem(root, 4, 0);
  EXPECT_EQ(xm_getRootOfItem(rootItem), nullptr);  // an item, not a tree
  _xm_freeTree(top);
  _xm_freeTree(loose);
  _xm_freeItem(rootItem);
}

TEST_F(Xm, ItemWithTreeGoesWithItsTree) {
  void* p = _xm_allocItemWithTree(64, XM_ZERO);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(p)[63], 0);
  XmTree* t = xm_getRootOfItem(p);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(xm_getParentOfItem(p), t);
  const long before = liveBlocks.load();
  _xm_freeTree(t);
  EXPECT_EQ(liveBlocks.load(), before - 2);
}

TEST_F(Xm, ReallocKeepsTheCountAndTheSmallerContent) {
  XmTree* t = _xm_allocTree(root);
  auto* p = static_cast<char*>(_xm_allocItem(t, 16, 0));
  std::memcpy(p, "abcdefghijklmnop", 16);
  xm_addReferenceItem(p);
  xm_addReferenceItem(p);
  auto* q = static_cast<char*>(_xm_reallocItem(p, 16, 4));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(std::memcmp(q, "abcd", 4), 0);
  EXPECT_EQ(xm_header(q)->refCount, 3u);
  EXPECT_EQ(xm_getParentOfItem(q), t);
  auto* r = static_cast<char*>(_xm_reallocItem(q, 4, 4096));
  EXPECT_EQ(std::memcmp(r, "abcd", 4), 0);
  _xm_freeTree(t);
}

TEST_F(Xm, MovesRelinkItemsAndTrees) {
  XmTree* a = _xm_allocTree(root);
  XmTree* b = _xm_allocTree(root);
  void* p = _xm_allocItem(a, 8, 0);
  _xm_moveItem(p, b);
  EXPECT_EQ(xm_getParentOfItem(p), b);
  EXPECT_TRUE(isMemberOf(b, p));
  EXPECT_FALSE(isMemberOf(a, p));
  _xm_moveTree(a, b);
  EXPECT_EQ(xm_getParentOfTree(b), a);
  EXPECT_EQ(xm_getRootOfItem(p), a);
  _xm_moveTree(nullptr, b);
  EXPECT_EQ(xm_getParentOfTree(b), root);
  _xm_moveItem(p, nullptr);  // detached: freed on its own
  EXPECT_EQ(xm_getParentOfItem(p), nullptr);
  _xm_freeItem(p);
  _xm_freeTree(a);
  _xm_freeTree(b);
}

TEST_F(Xm, UserMemoryTreeKeepsItsChildren) {
  XmTree* t = _xm_allocTree(root);
  t->hdr.flags |= XM_USERMEM;
  EXPECT_EQ(xm_isUserMem(t), 1);
  void* p = _xm_allocItem(t, 8, 0);
  xm_addReferenceItem(p);
  _xm_freeTree(t);
  // Not released with the tree: the root tree holds it now.
  EXPECT_EQ(xm_header(p)->refCount, 2u);
  EXPECT_EQ(xm_getParentOfItem(p), root);
  EXPECT_TRUE(isMemberOf(root, p));
}

// A user-memory tree is still a tree to the release of the tree that holds
// it: it goes with its parent, and its children go to the root tree.
TEST_F(Xm, UserMemoryTreeNestedInATreeGoesWithItsParent) {
  XmTree* parent = _xm_allocTree(root);
  XmTree* user = _xm_allocTree(parent);
  user->hdr.flags |= XM_USERMEM;
  void* kept = _xm_allocItem(user, 8, 0);
  _xm_allocItem(parent, 8, 0);
  _xm_freeTree(parent);
  EXPECT_EQ(xm_getParentOfItem(kept), root);
  EXPECT_TRUE(isMemberOf(root, kept));
  EXPECT_EQ(liveBlocks.load(), 2) << "root and the user tree's child";
  // The root's list holds nothing of the released trees.
  for (XmLink* l = root->children.next; l != &root->children; l = l->next)
    EXPECT_EQ(reinterpret_cast<XmItem*>(l), xm_header(kept));
}

TEST_F(Xm, ShutdownReleasesAUserMemoryTreeUnderTheRoot) {
  XmTree* user = _xm_allocTree(nullptr);  // hangs under the root, parent NULL
  user->hdr.flags |= XM_USERMEM;
  _xm_allocItem(user, 8, 0);
  XmTree* inner = _xm_allocTree(user);
  inner->hdr.flags |= XM_USERMEM;
  _xm_allocItem(inner, 8, 0);
  xm_addReferenceTree(user);  // held twice: shutdown still frees it all
  xm_shutdown();
  EXPECT_EQ(liveBlocks.load(), 0);
  ASSERT_NE(xm_init(), nullptr);
}

TEST_F(Xm, AllocationFailureReturnsNullAndLinksNothing) {
  xm_setDefaultTaskAlloc([](size_t) -> void* { return nullptr; }, [](void*) {});
  EXPECT_EQ(_xm_allocTree(root), nullptr);
  EXPECT_EQ(_xm_allocItem(root, 8, 0), nullptr);
  EXPECT_EQ(_xm_allocItemWithTree(8, 0), nullptr);
  xm_setDefaultTaskAlloc(nullptr, nullptr);
  EXPECT_EQ(root->children.next, &root->children);
  XmTree* t = _xm_allocTree(root);
  ASSERT_NE(xm_allocItemFromPage(t, 8, 0), nullptr);
  xm_setDefaultTaskAlloc([](size_t) -> void* { return nullptr; }, [](void*) {});
  EXPECT_EQ(xm_allocItemFromPage(t, 20000, 0), nullptr);
  xm_setDefaultTaskAlloc(nullptr, nullptr);
  EXPECT_NE(xm_allocItemFromPage(t, 8, 0), nullptr);  // the old page is still used
  _xm_freeTree(t);
}

// A tree that keeps its pages, with one page of the standard size filled
// with `fill`; the page is returned.
uint8_t* keepingTreeWithPage(XmTree** tree, uint8_t fill) {
  *tree = _xm_allocTree(nullptr);
  xm_keepReleasedPages(*tree);
  auto* page = static_cast<uint8_t*>(xm_allocItemFromPage(*tree, 16000, 0));
  if (page != nullptr) std::memset(page, fill, 16360);
  return page;
}

TEST_F(Xm, ReleasedPagesOfAKeepingTreeGoToTheNextOneWithinTheLimit) {
  giXmKeptPagesMax = 2;
  XmTree* t = nullptr;
  uint8_t* first = keepingTreeWithPage(&t, 0xAB);
  XmTree* sub = _xm_allocTree(t);  // trees made below keep their pages too
  auto* inSub = static_cast<uint8_t*>(xm_allocItemFromPage(sub, 16000, 0));
  ASSERT_NE(xm_allocItemFromPage(t, 16000, 0), nullptr);  // released third: beyond the limit
  ASSERT_NE(xm_allocItemFromPage(t, 20000, 0), nullptr);  // larger than a page: never kept
  ASSERT_NE(inSub, nullptr);
  std::memset(inSub, 0xCD, 16360);
  EXPECT_EQ(liveBlocks.load(), 7);  // root, two trees, four pages
  _xm_freeTree(t);
  EXPECT_EQ(liveBlocks.load(), 3) << "root and the first two pages released kept";
  ASSERT_EQ(getXmTLS(0)->keptCount, 2u);
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_TRUE(__asan_address_is_poisoned(first + 100));
  EXPECT_TRUE(__asan_address_is_poisoned(inSub)) << "the data may not be touched";
  // Their headers link the kept pages and stay readable, so that the leak
  // checker, which follows no pointer held in poisoned memory, finds every
  // page kept (with the headers poisoned, the second page was reported).
  EXPECT_FALSE(__asan_address_is_poisoned(xm_header(inSub)));
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif

  // The next keeping tree takes them in turn, zero-filled as asked, with a
  // fresh trailer; a tree that does not keep its pages gets fresh ones.
  XmTree* u = _xm_allocTree(root);
  xm_keepReleasedPages(u);
  XmTree* plain = _xm_allocTree(root);
  std::vector<uint8_t*> reused;
  for (int i = 0; i < 2; ++i) {
    auto* p = static_cast<uint8_t*>(xm_allocItemFromPage(u, 16000, XM_ZERO));
    ASSERT_TRUE(p == first || p == inSub);
    EXPECT_EQ(xm_getParentOfItem(p), u);
    for (int k = 0; k < 16360; ++k) ASSERT_EQ(p[k], 0) << k;
    EXPECT_EQ(trailerWord(u, p, 16360, 0), 16360u);
    EXPECT_EQ(trailerWord(u, p, 16360, 2), 0u);
    reused.push_back(p);
  }
  EXPECT_NE(reused[0], reused[1]);
  EXPECT_EQ(getXmTLS(0)->keptCount, 0u);
  EXPECT_EQ(liveBlocks.load(), 5);
  ASSERT_NE(xm_allocItemFromPage(plain, 16000, 0), nullptr);
  EXPECT_EQ(liveBlocks.load(), 6);
  _xm_freeTree(plain);
  EXPECT_EQ(liveBlocks.load(), 4) << "a tree that does not keep gives its page back";
  EXPECT_EQ(getXmTLS(0)->keptCount, 0u);
  _xm_freeTree(u);
  EXPECT_EQ(getXmTLS(0)->keptCount, 2u);
  xm_releaseKeptPages();
  EXPECT_EQ(liveBlocks.load(), 1);
  EXPECT_EQ(getXmTLS(0)->keptCount, 0u);
}

TEST_F(Xm, KeptPagesOfAnotherSizeAreFreedNotReused) {
  XmTree* t = nullptr;
  ASSERT_NE(keepingTreeWithPage(&t, 0xAB), nullptr);
  _xm_freeTree(t);
  ASSERT_EQ(getXmTLS(0)->keptCount, 1u);
  giXmPageSize = 8192;
  XmTree* u = _xm_allocTree(nullptr);
  xm_keepReleasedPages(u);
  ASSERT_NE(xm_allocItemFromPage(u, 8, XM_ZERO), nullptr);
  EXPECT_EQ(u->pageCapacity, 8168u);
  EXPECT_EQ(getXmTLS(0)->keptCount, 0u);
  EXPECT_EQ(liveBlocks.load(), 3);  // root, the tree and its new page
  giXmPageSize = 16384;
  _xm_freeTree(u);
  EXPECT_EQ(getXmTLS(0)->keptCount, 0u) << "a page of the old size is not kept either";
  EXPECT_EQ(liveBlocks.load(), 1);
}

TEST_F(Xm, ShutdownFreesTheKeptPagesAndAReleasedRootsTreesPages) {
  XmTree* t = nullptr;
  ASSERT_NE(keepingTreeWithPage(&t, 0xAB), nullptr);
  XmTree* u = nullptr;
  ASSERT_NE(keepingTreeWithPage(&u, 0xCD), nullptr);
  _xm_freeTree(t);
  EXPECT_EQ(getXmTLS(0)->keptCount, 1u);
  xm_shutdown();  // u goes with the root, and its page with the kept one
  EXPECT_EQ(liveBlocks.load(), 0);
  EXPECT_EQ(getXmTLS(0)->keptCount, 0u);
  ASSERT_NE(xm_init(), nullptr);
}

TEST(XmInit, NeedsTheThreadRecordAndKeepsAnExistingRoot) {
  ensureProcessMutexes();
  std::thread t([] {
    EXPECT_EQ(xm_init(), nullptr);  // no XmTLS on this thread
    ASSERT_EQ(initXmTLS(), 1);
    void* first = xm_init();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, getXmTLS(0)->rootTree);
    EXPECT_EQ(xm_init(), getXmTLS(0));  // a root existed
    xm_shutdown();
    EXPECT_EQ(getXmTLS(0)->rootTree, nullptr);
    removeXmTLS();
  });
  t.join();
}

TEST(XmConcurrency, RecordSetsOnSeveralThreadsWorkInParallel) {
  ensureProcessMutexes();
  constexpr int kThreads = 8;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int n = 0; n < kThreads; ++n) {
    threads.emplace_back([&failures, n] {
      if (QvCreateAllTLS() != 1 || xm_init() == nullptr) {
        ++failures;
        return;
      }
      for (int round = 0; round < 200; ++round) {
        XmTree* t = _xm_allocTree(nullptr);
        for (int i = 0; i < 20; ++i) {
          auto* v = static_cast<int*>(xm_allocItemFromPage(t, 4 + i, 0));
          auto* w = static_cast<int*>(_xm_allocItem(t, 16, XM_ZERO));
          if (v == nullptr || w == nullptr) ++failures;
          else *v = n;
        }
        QvSetOsiError(n * 1000 + round);
        if (QvGetOsiError() != n * 1000 + round) ++failures;
        if (getXmTLS(0)->ownerThreadId != QvGetThreadId()) ++failures;
        QvCheckAndWaitForSingleObject(hSerializeGlobalMutex);
        QvCheckAndWaitForSingleObject(hSerializeGlobalMutex);
        QvCheckAndReleaseMutex(hSerializeGlobalMutex);
        QvCheckAndReleaseMutex(hSerializeGlobalMutex);
        _xm_freeTree(t);
      }
      xm_shutdown();
      QvRemoveAllTLS();
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
