#include "presentation/pfixture.h"
#include "src/acse/gidu.h"
#include "src/runtime/xm.h"

namespace {

using ConnectionMachines = PresentationTest;

TEST_F(ConnectionMachines, MachinesJoinTheListClearedAndAreFoundByEachKey) {
  PsUser* u = activate("A", 1);
  int sessionA = 0, sessionB = 0;
  auto* sa = reinterpret_cast<Smachine*>(&sessionA);
  auto* sb = reinterpret_cast<Smachine*>(&sessionB);
  char selector[] = "A";
  const OctStgV a = sel(selector);
  Pmachine* first = pm_alloc(&a, sa, u, 7);
  Pmachine* second = pm_alloc(nullptr, sb, nullptr, 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(plist.count, 2u);
  EXPECT_EQ(plist.next, first);
  EXPECT_EQ(plist.prev, second);
  // A fresh machine: idle, no default context, every slot free.
  EXPECT_EQ(first->state, STAI0);
  EXPECT_EQ(first->userRef, 7u);
  EXPECT_EQ(first->dfltAsIdx, -1);
  EXPECT_EQ(first->dfltTsIdx, -1);
  EXPECT_EQ(first->definedCount, 0u);
  // The quick-abort indication is reserved with the machine, in its tree.
  ASSERT_NE(first->abortGidu, nullptr);
  EXPECT_NE(first->abortGidu->extra, nullptr);
  EXPECT_EQ(first->abortGidu->next, first->abortGidu);
  EXPECT_EQ(xm_getParentOfTree(xm_getParentOfItem(first->abortGidu)), xm_getParentOfItem(first));
  for (int32_t s = 0; s < kPsMaxContexts; ++s) {
    EXPECT_EQ(first->pcdt[s].ctxId, -1);
    EXPECT_EQ(first->pcdt[s].tsSlots[0], -1);
    EXPECT_EQ(first->pcdt[s].providerReason, -1);
    EXPECT_EQ(first->idMap[s], -1);
  }
  // The local selector is the machine's own copy.
  selector[0] = 'Z';
  EXPECT_EQ(psap_cmp_os(p_get_local_psel(first), 1, reinterpret_cast<const uint8_t*>("A")), 0);
  EXPECT_EQ(p_get_local_psel(second)->length, 0u);
  first->connRef = 11;
  second->connRef = 12;
  EXPECT_EQ(find_pm_sm(sb), second);
  EXPECT_EQ(find_pm_apref(11), first);
  EXPECT_EQ(find_pm_pm(second), second);
  const OctStgV wanted = sel("A");
  EXPECT_EQ(find_pm_psapid(&wanted), first);
  Pmachine outside{};
  EXPECT_EQ(find_pm_pm(&outside), nullptr);
  EXPECT_EQ(p_get_local_psel(&outside), nullptr);
  pm_dealloc(first);
  EXPECT_EQ(plist.count, 1u);
  EXPECT_EQ(plist.next, second);
  EXPECT_EQ(find_pm_apref(11), nullptr);
  pm_dealloc(second);
  EXPECT_EQ(plist.count, 0u);
  EXPECT_EQ(plist.next, nullptr);
  EXPECT_EQ(plist.prev, nullptr);
}

TEST_F(ConnectionMachines, SelectorLongerThanTheLocalAddressIsRefused) {
  const OctStgV seventeen = sel("ABCDEFGHIJKLMNOPQ");
  EXPECT_EQ(pm_alloc(&seventeen, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_PSAP_INV);
  EXPECT_EQ(plist.count, 0u);
}

}  // namespace
