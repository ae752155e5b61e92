// GIDUs, AE headers and their PIDUs: who holds which tree, what deletion
// frees, and that a failed creation leaves nothing behind.
#include <functional>
#include <vector>

#include "common/timer2.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu.h"
#include "src/presentation/pidu.h"
#include "src/runtime/xm.h"
#include "support/trace_capture.h"
#include "support/xm_count.h"

namespace {

using Gidu = XmCountTest;

void* ref(uintptr_t v) { return reinterpret_cast<void*>(v); }

XmTree* treeOf(void* item) { return xm_getParentOfItem(item); }

// A unit in a tree of its own moved under the GIDU's tree, as the IDU
// builders and the APDU conversion hang theirs.
void* hangUnit(GIDU* g, uint32_t size) {
  void* unit = _xm_allocItemWithTree(size, XM_ZERO);
  if (unit != nullptr) _xm_moveTree(treeOf(g), treeOf(unit));
  return unit;
}

TEST_F(Gidu, CreatedAloneInItsOwnTreeSelfLinkedWithoutReferences) {
  GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, 0x8000);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->next, g);
  EXPECT_EQ(g->prev, g);
  EXPECT_EQ(g->event, 0x8000u);
  EXPECT_EQ(g->iduType, AL_IDU_RDA);
  EXPECT_EQ(g->ue, nullptr);
  EXPECT_EQ(g->pe, nullptr);
  EXPECT_EQ(g->uc, nullptr);
  EXPECT_EQ(g->pc, nullptr);
  EXPECT_EQ(g->errNo, 0u);
  EXPECT_EQ(g->extra, nullptr);
  EXPECT_EQ(g->idu, nullptr);
  EXPECT_EQ(xm_getRootOfItem(g), treeOf(g)) << "its tree hangs right below the thread's root tree";
  EXPECT_EQ(xmLive(), 2) << "one tree, one item";
  al_deleteGidu(g);
  EXPECT_EQ(xmLive(), 0);
}

TEST_F(Gidu, CreationCopiesTheFourReferencesOnly) {
  GIDU* model = al_createGidu(nullptr, AL_IDU_ACSE, 0x8044);
  ASSERT_NE(model, nullptr);
  model->ue = ref(0x11);
  model->pe = ref(0x22);
  model->uc = ref(0x33);
  model->pc = ref(0x44);
  model->errNo = 9;
  model->idu = ref(0x55);
  GIDU other;
  model->next = model->prev = &other;  // queued somewhere

  GIDU* g = al_createGidu(model, AL_IDU_RDA, 0x8010);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->ue, ref(0x11));
  EXPECT_EQ(g->pe, ref(0x22));
  EXPECT_EQ(g->uc, ref(0x33));
  EXPECT_EQ(g->pc, ref(0x44));
  EXPECT_EQ(g->next, g) << "not the model's links";
  EXPECT_EQ(g->prev, g);
  EXPECT_EQ(g->iduType, AL_IDU_RDA) << "not the model's type";
  EXPECT_EQ(g->event, 0x8010u);
  EXPECT_EQ(g->errNo, 0u);
  EXPECT_EQ(g->idu, nullptr) << "not the model's unit";
  EXPECT_NE(treeOf(g), treeOf(model));
  model->idu = nullptr;
  al_deleteGidu(model);
  al_deleteGidu(g);
}

TEST_F(Gidu, HeadersStackInTheGidusTree) {
  GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, 0x8000);
  ASSERT_NE(g, nullptr);
  void* unit = hangUnit(g, 40);
  g->idu = unit;
  AeHDR* first = AL_createAeHDR(g);
  ASSERT_NE(first, nullptr);
  AeHDR* second = AL_createAeHDR(g);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(g->idu, second);
  EXPECT_EQ(second->wrapped, first);
  EXPECT_EQ(first->wrapped, unit);
  EXPECT_EQ(treeOf(first), treeOf(g));
  EXPECT_EQ(treeOf(second), treeOf(g));
  EXPECT_EQ(second->hdrWord1, 0u);
  EXPECT_EQ(second->pctxId, 0u);

  AL_deleteAeHDR(g);
  EXPECT_EQ(g->idu, first);
  const long afterPop = xmLive();
  AL_deleteAeHDR(g);
  EXPECT_EQ(g->idu, unit) << "the last header unwraps the unit";
  EXPECT_EQ(xmLive(), afterPop - 1) << "the header item is freed";
  al_deleteGidu(g);
}

TEST_F(Gidu, PiduLivesInAChildTreeAndIsReset) {
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, 0x8000);
  ASSERT_NE(g, nullptr);
  auto* p = static_cast<PIDU*>(g->idu);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(xm_getParentOfTree(treeOf(p)), treeOf(g));
  EXPECT_EQ(p->dfltCtx, -1);
  EXPECT_EQ(p->ctxIdList[31], -1);
  EXPECT_EQ(p->dataList.next, &p->dataList);
  EXPECT_EQ(p->endOfSdu, 1u);
  EXPECT_EQ(p->sessVersion, 2u);
  EXPECT_EQ(p->reason, -1);
  al_deleteGidu(g);
  EXPECT_EQ(xmLive(), 0) << "the PIDU's tree goes with the GIDU";
}

TEST_F(Gidu, FreeingThePiduFreesTheWholeGidu) {
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, 0x8000);
  ASSERT_NE(g, nullptr);
  ASSERT_NE(hangUnit(g, 16), nullptr);
  p_free_pidu(static_cast<PIDU*>(g->idu));
  EXPECT_EQ(xmLive(), 0);
}

TEST_F(Gidu, DeletionFreesHeadersPiduAndUnitTrees) {
  GIDU* g = AL_createGiduWithAeHDR(nullptr, AL_IDU_RDA, 0x80D6);
  ASSERT_NE(g, nullptr);
  auto* hdr = static_cast<AeHDR*>(g->idu);
  hdr->wrapped = hangUnit(g, 200);
  ASSERT_NE(hdr->wrapped, nullptr);
  // The builders allocate into the unit's tree.
  ASSERT_NE(_xm_allocItem(treeOf(hdr->wrapped), 30, 0), nullptr);
  ASSERT_NE(AL_createAeHDR(g), nullptr);
  ASSERT_NE(AL_createPidu(g), nullptr);
  EXPECT_GT(xmLive(), 6);
  al_deleteGidu(g);
  EXPECT_EQ(xmLive(), 0);
}

TEST_F(Gidu, DeleteWithHeaderPopsThenFreesEverything) {
  GIDU* g = AL_createGiduWithAeHDR(nullptr, AL_IDU_ACSE, 0x8000);
  ASSERT_NE(g, nullptr);
  static_cast<AeHDR*>(g->idu)->wrapped = hangUnit(g, 8);
  AL_deleteGiduWithAeHDR(g);
  EXPECT_EQ(xmLive(), 0);
  al_deleteGidu(nullptr);
  AL_deleteGiduWithAeHDR(nullptr);
}

TEST_F(Gidu, HeaderIsPoppedOnlyFromAServicePrimitiveThatCarriesOneAndIsNoPresentationGidu) {
  const struct {
    uint32_t event;
    uint32_t type;
    bool withHeader;
    bool popped;
  } cases[] = {
      {0x8000, AL_IDU_RDA, true, true},
      {0x48054, AL_IDU_ACSE, true, true},  // flags above bit 15 change nothing
      {0x8000, AL_IDU_PRES, true, false},  // a presentation GIDU carries a PIDU
      {AL_LOCERR_IND, AL_IDU_RDA, true, false},
      {AL_ACT_REQ, AL_IDU_RDA, true, false},
      {0x8000, AL_IDU_RDA, false, false},  // nothing to pop
  };
  for (const auto& c : cases) {
    GIDU* g = al_createGidu(nullptr, c.type, c.event);
    ASSERT_NE(g, nullptr);
    AeHDR* hdr = c.withHeader ? AL_createAeHDR(g) : nullptr;
    if (c.withHeader) hdr->wrapped = ref(0x77);
    AL_deleteAeHDR(g);
    if (c.popped) EXPECT_EQ(g->idu, ref(0x77)) << std::hex << c.event << " " << std::dec << c.type;
    else EXPECT_EQ(g->idu, hdr) << std::hex << c.event << " " << std::dec << c.type;
    g->idu = nullptr;
    al_deleteGidu(g);
  }
}

TEST_F(Gidu, LocalErrorPopsTheHeaderFreesTheUnitAndKeepsReferencesAndType) {
  GIDU* g = AL_createGiduWithAeHDR(nullptr, AL_IDU_RDA, 0x8090);
  ASSERT_NE(g, nullptr);
  g->ue = ref(1);
  g->pe = ref(2);
  g->uc = ref(3);
  g->pc = ref(4);
  static_cast<AeHDR*>(g->idu)->wrapped = hangUnit(g, 100);
  ASSERT_NE(_xm_allocItem(treeOf(static_cast<AeHDR*>(g->idu)->wrapped), 50, 0), nullptr);
  EXPECT_EQ(AL_createLocalError(g, 52481), g);
  EXPECT_EQ(g->event, static_cast<uint32_t>(AL_LOCERR_IND));
  EXPECT_EQ(g->errNo, 52481u);
  EXPECT_EQ(g->idu, nullptr);
  EXPECT_EQ(g->iduType, AL_IDU_RDA);
  EXPECT_EQ(g->ue, ref(1));
  EXPECT_EQ(g->pe, ref(2));
  EXPECT_EQ(g->uc, ref(3));
  EXPECT_EQ(g->pc, ref(4));
  EXPECT_EQ(g->next, g);
  EXPECT_EQ(xmLive(), 2) << "only the GIDU and its tree are left";
  al_deleteGidu(g);
}

TEST_F(Gidu, LocalErrorOfAnEmptyGiduChangesOnlyEventAndErrorNumber) {
  GIDU* g = al_createGidu(nullptr, AL_IDU_ACSE, 0x8020);
  ASSERT_NE(g, nullptr);
  g->uc = ref(5);
  AL_createLocalError(g, 53009);
  EXPECT_EQ(g->event, 7u);
  EXPECT_EQ(g->errNo, 53009u);
  EXPECT_EQ(g->iduType, AL_IDU_ACSE);
  EXPECT_EQ(g->uc, ref(5));
  EXPECT_EQ(xmLive(), 2);
  al_deleteGidu(g);
  EXPECT_EQ(AL_createLocalError(nullptr, 1), nullptr);
}

TEST_F(Gidu, LocalErrorOfAPresentationGiduFreesItsPidu) {
  GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, 0x8000);
  ASSERT_NE(g, nullptr);
  AL_createLocalError(g, 53013);
  EXPECT_EQ(g->idu, nullptr);
  EXPECT_EQ(xmLive(), 2);
  al_deleteGidu(g);
}

// A unit that lies in the GIDU's own tree (here a second header) is freed
// alone: freeing "its tree" would free the GIDU under the caller.
TEST_F(Gidu, LocalErrorNeverFreesTheGiduItselfWhenTheUnitSharesItsTree) {
  GIDU* g = AL_createGiduWithAeHDR(nullptr, AL_IDU_RDA, 0x8000);
  ASSERT_NE(g, nullptr);
  static_cast<AeHDR*>(g->idu)->wrapped = hangUnit(g, 8);
  ASSERT_NE(AL_createAeHDR(g), nullptr);
  EXPECT_EQ(AL_createLocalError(g, 52481), g);
  EXPECT_EQ(g->event, 7u);
  EXPECT_EQ(g->idu, nullptr);
  al_deleteGidu(g);
  EXPECT_EQ(xmLive(), 0);

  GIDU* local = al_createGidu(nullptr, AL_IDU_RDA, AL_DEACT_REQ);
  ASSERT_NE(local, nullptr);
  ASSERT_NE(AL_createAeHDR(local), nullptr);  // a local event's header is not popped
  AL_createLocalError(local, 52481);
  EXPECT_EQ(local->idu, nullptr);
  EXPECT_EQ(xmLive(), 2);
  al_deleteGidu(local);
}

TEST_F(Gidu, EveryFailedCreationLeavesNothingBehind) {
  GIDU* base = al_createGidu(nullptr, AL_IDU_RDA, 0x8000);
  ASSERT_NE(base, nullptr);
  const long withBase = xmLive();
  const struct {
    const char* what;
    long allocations;  // what a success takes
    std::function<bool()> create;
  } cases[] = {
      {"al_createGidu", 2, [] {
         GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, 0x8000);
         al_deleteGidu(g);
         return g != nullptr;
       }},
      {"al_createGiduWithPidu", 4, [] {
         GIDU* g = al_createGiduWithPidu(nullptr, AL_IDU_PRES, 0x8000);
         al_deleteGidu(g);
         return g != nullptr;
       }},
      {"AL_createGiduWithAeHDR", 3, [] {
         GIDU* g = AL_createGiduWithAeHDR(nullptr, AL_IDU_RDA, 0x8000);
         al_deleteGidu(g);
         return g != nullptr;
       }},
      {"AL_createPidu", 2, [base] {
         PIDU* p = AL_createPidu(base);
         if (p != nullptr) _xm_freeTree(xm_getParentOfItem(p));
         return p != nullptr;
       }},
      {"AL_createAeHDR", 1, [base] {
         void* before = base->idu;
         AeHDR* h = AL_createAeHDR(base);
         if (h == nullptr) return before != base->idu;  // must stay unchanged
         base->idu = h->wrapped;
         _xm_freeItem(h);
         return true;
       }},
  };
  for (const auto& c : cases) {
    for (long budget = 0; budget < c.allocations; ++budget) {
      EXPECT_FALSE(withBudget(budget, c.create)) << c.what << " with " << budget << " allocations";
      EXPECT_EQ(xmLive(), withBase) << c.what << " with " << budget << " allocations";
    }
    EXPECT_TRUE(withBudget(c.allocations, c.create)) << c.what;
    EXPECT_EQ(xmLive(), withBase) << c.what;
  }
  al_deleteGidu(base);
}

TEST_F(Gidu, AeTitleIsTheApTitleWithTheQualifierAsLastArc) {
  XmTree* tree = _xm_allocTree(nullptr);
  uint32_t arcs[] = {1, 3, 9999, 7};
  UL_APTitle ap{};
  ap.kind = UL_TITLE_OBJID;
  ap.objId = ObjIdV{4, arcs};
  UL_AEQual q{};
  q.kind = UL_QUAL_INTEGER;
  q.integer = 42;
  UL_APTitle* t = al_createAeTitle(&ap, &q, tree);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->kind, 6u);
  ASSERT_EQ(t->objId.count, 5u);
  EXPECT_EQ(std::vector<uint32_t>(t->objId.arcs, t->objId.arcs + 5), (std::vector<uint32_t>{1, 3, 9999, 7, 42}));
  EXPECT_EQ(treeOf(t), tree);
  EXPECT_EQ(treeOf(t->objId.arcs), tree);

  // Forms it cannot build, and no memory: OSI error 52993.
  UL_APTitle dn{};
  dn.kind = UL_TITLE_DN;
  UL_AEQual rdn{};
  rdn.kind = UL_QUAL_RDN;
  const long before = xmLive();
  for (auto [a, b] : {std::pair{&dn, &q}, std::pair{&ap, &rdn}, std::pair{&ap, static_cast<UL_AEQual*>(nullptr)}}) {
    QvSetOsiError(0);
    EXPECT_EQ(al_createAeTitle(a, b, tree), nullptr);
    EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(AL_ERR_BAD_PARAM));
  }
  for (long budget : {0L, 1L}) {
    QvSetOsiError(0);
    EXPECT_EQ(withBudget(budget, [&] { return al_createAeTitle(&ap, &q, tree); }), nullptr);
    EXPECT_EQ(QvGetOsiError(), 52993);
    EXPECT_EQ(xmLive(), before) << "nothing half-made is left in the tree";
  }
  _xm_freeTree(tree);
}

TEST_F(Gidu, EachOperationTracesItsEntryWhenTheLevelIsOn) {
  {
    TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
    al_deleteGidu(al_createGidu(nullptr, AL_IDU_RDA, 0x8000));
    EXPECT_TRUE(trace.lines().empty()) << "level 128 is off";
  }
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ENTRY}});
  GIDU* g = AL_createGiduWithAeHDR(nullptr, AL_IDU_RDA, 0x80D6);
  ASSERT_NE(g, nullptr);
  g->uc = ref(0xabc);
  AL_createLocalError(g, 1);
  al_deleteGidu(g);
  for (const char* fn : {"al_createGidu: R-INIT.cnf, gidu=", "AL_createGiduWithAeHDR: R-INIT.cnf, gidu=",
                         "AL_createAeHDR: R-INIT.cnf, gidu=", "AL_createLocalError: R-INIT.cnf, gidu=",
                         "al_deleteGidu: R-LOCERR.ind, gidu="})
    EXPECT_EQ(trace.count(fn), 1u) << fn;
  EXPECT_TRUE(trace.contains(" uc=abc pc=0\n"));
}

}  // namespace
