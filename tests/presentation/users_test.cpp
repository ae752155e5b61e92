#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "presentation/pfixture.h"
#include "src/odbc/alltls.h"
#include "src/runtime/xm.h"

namespace {

using PresentationUsers = PresentationTest;

// A presentation address with the given selectors and network address.
struct Address {
  std::string ssel, tsel, naddr;
  uint32_t mask = kPsInitSsel | kPsInitTsel;
  bool withNaddr = true;
  UL_NaddrEntry entry{};
  UL_Paddress p{};

  UL_Paddress* get() {
    p.mask = mask;
    p.sSel = sel(ssel.c_str());
    p.tSel = sel(tsel.c_str());
    p.nAddrs.links.next = p.nAddrs.links.prev = &p.nAddrs.links;
    if (withNaddr) {
      entry.addr = sel(naddr.c_str());
      entry.links.next = entry.links.prev = &p.nAddrs.links;
      p.nAddrs.links.next = p.nAddrs.links.prev = &entry.links;
      p.nAddrs.count = 1;
    }
    return &p;
  }
};

TEST_F(PresentationUsers, StartUpRefusesAddressPartsTheSessionAddressCannotHold) {
  struct Case {
    size_t ssel, tsel, naddr;
    uint32_t err;  // 0: accepted
  };
  const Case cases[] = {
      {16, 28, 20, 0},           {17, 0, 0, PE_SSELECTOR}, {0, 29, 0, PE_TSELECTOR},
      {0, 32, 0, PE_TSELECTOR},  {0, 33, 0, PE_TSELECTOR}, {0, 0, 21, PE_NADDRESS},
  };
  for (const Case& c : cases) {
    Address good{"S", "T", "N"};
    ASSERT_EQ(init_presentation(good.get(), nullptr, nullptr, nullptr), 1);
    Address a{std::string(c.ssel, 's'), std::string(c.tsel, 't'), std::string(c.naddr, 'n')};
    const int32_t r = init_presentation(a.get(), nullptr, nullptr, nullptr);
    EXPECT_EQ(r, c.err == 0 ? 1 : 0) << c.ssel << "/" << c.tsel << "/" << c.naddr;
    EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), c.err) << c.ssel << "/" << c.tsel << "/" << c.naddr;
    if (c.err != 0) {
      // Refused whole: the address of the last start-up stays.
      EXPECT_EQ(local_ssap.ssel.len, 1u);
      EXPECT_EQ(local_ssap.tsel.len, 1u);
      EXPECT_EQ(local_ssap.naddr.len, 1u);
      continue;
    }
    EXPECT_EQ(local_ssap.ssel.len, c.ssel);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(local_ssap.tsel.sel), local_ssap.tsel.len), a.tsel);
    EXPECT_EQ(local_ssap.naddr.len, c.naddr);
  }
  // Parts without their flag are stored empty.
  Address bare{"S", "T", "N", 0, false};
  ASSERT_EQ(init_presentation(bare.get(), nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(local_ssap.ssel.len, 0u);
  EXPECT_EQ(local_ssap.tsel.len, 0u);
  EXPECT_EQ(local_ssap.naddr.len, 0u);
}

TEST_F(PresentationUsers, ActivateChecksSelectorCallbackAndModes) {
  const OctStgV fifteen = sel("ABCDEFGHIJKLMNO");
  const OctStgV sixteen = sel("ABCDEFGHIJKLMNOP");
  EXPECT_EQ(p_activate(&fifteen, ignoreIndication, kPsModeNormal, 1), 1);
  EXPECT_EQ(QvGetOsiError(), 0);
  struct Case {
    const char* what;
    OctStgV psel;
    PsIndication callback;
    uint32_t mode;
    uint32_t err;
  };
  activate("X410", 0, kPsModeX410);
  activate("DFLT", 0, kPsModeDefault);
  const Case cases[] = {
      {"16 octets", sixteen, ignoreIndication, kPsModeNormal, PE_PSAP_INV},
      {"registered", fifteen, ignoreIndication, kPsModeNormal, PE_PSAP_USED},
      {"no callback", sel("NEW"), nullptr, kPsModeNormal, PE_MISS_RTN},
      {"second X.410 user", sel("NEW"), ignoreIndication, kPsModeX410, PE_ONE_X410},
      {"second default user", sel("NEW"), ignoreIndication, kPsModeDefault, PE_ONE_DEFAULT},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(p_activate(&c.psel, c.callback, c.mode, 0), 0) << c.what;
    EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), c.err) << c.what;
  }
  EXPECT_EQ(find_ps_user(&cases[2].psel), nullptr) << "the refusals registered nothing";
  // Sixteen users at most.
  std::vector<std::string> names;
  for (int i = 0; i < 13; ++i) names.push_back("U" + std::to_string(i));
  for (const std::string& n : names) activate(n.c_str());
  const OctStgV extra = sel("U17");
  EXPECT_EQ(p_activate(&extra, ignoreIndication, kPsModeNormal, 0), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_NO_RESOURCES);
}

TEST_F(PresentationUsers, ClonesAddSelectorsToAnExistingUser) {
  PsUser* a = activate("A", 1);
  activate("X", 0, kPsModeX410);
  const OctStgV b = sel("B"), x = sel("X"), unknown = sel("Q"), used = sel("A");
  EXPECT_EQ(p_activate_clone(&b, &used, 2), 1);
  EXPECT_EQ(find_ps_user(&b), a);
  EXPECT_EQ(p_getUserRef(&b), 2u);
  EXPECT_EQ(p_getUserRef(&used), 1u);
  struct Case {
    const char* what;
    OctStgV fresh, existing;
    uint32_t err;
  };
  const Case cases[] = {
      {"selector in use", b, used, PE_PSAP_USED},
      {"unknown user", sel("C"), unknown, PE_PSAP_NOT_CLONEABLE},
      {"X.410 user", sel("C"), x, PE_ONE_X410},
      {"invalid selector", sel("ABCDEFGHIJKLMNOP"), used, PE_PSAP_INV},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(p_activate_clone(&c.fresh, &c.existing, 3), 0) << c.what;
    EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), c.err) << c.what;
  }
}

TEST_F(PresentationUsers, DeactivateDropsAClonePromotesTheNextOrRemovesTheUser) {
  PsUser* u = activate("A", 1);
  const OctStgV a = sel("A"), b = sel("B"), c = sel("C");
  ASSERT_EQ(p_activate_clone(&b, &a, 2), 1);
  ASSERT_EQ(p_activate_clone(&c, &a, 3), 1);
  // A clone: the user stays with the others.
  EXPECT_EQ(p_deactivate(&b), 1);
  EXPECT_EQ(QvGetOsiError(), 0);
  EXPECT_EQ(find_ps_user(&b), nullptr);
  EXPECT_EQ(find_ps_user(&a), u);
  EXPECT_EQ(find_ps_user(&c), u);
  // The first selector: the next one takes its place.
  EXPECT_EQ(p_deactivate(&a), 1);
  EXPECT_EQ(find_ps_user(&c), u);
  EXPECT_EQ(psap_cmp_os(&u->addr.psel, 1, reinterpret_cast<const uint8_t*>("C")), 0);
  EXPECT_EQ(u->addr.userRef, 3u);
  EXPECT_EQ(u->addr.next, nullptr);
  // The only selector: the user goes.
  EXPECT_EQ(p_deactivate(&c), 1);
  EXPECT_EQ(psutab, nullptr);
  EXPECT_EQ(p_deactivate(&c), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_PSAP_NOT);
  const OctStgV tooLong = sel("ABCDEFGHIJKLMNOP");
  EXPECT_EQ(p_deactivate(&tooLong), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_PSAP_INV);
  // The default user's removal clears the default.
  activate("D", 0, kPsModeDefault);
  const OctStgV d = sel("D");
  EXPECT_EQ(p_deactivate(&d), 1);
  EXPECT_EQ(P_getCatchAllPUser(), nullptr);
}

TEST_F(PresentationUsers, UserWithLiveMachinesIsNotRemoved) {
  PsUser* u = activate("A");
  const OctStgV a = sel("A"), b = sel("B");
  ASSERT_EQ(p_activate_clone(&b, &a, 0), 1);
  Pmachine* pm = pm_alloc(&a, nullptr, u, 0);
  ASSERT_NE(pm, nullptr);
  // A selector may go while the user stays; the machine keeps its own copy.
  EXPECT_EQ(p_deactivate(&a), 1);
  EXPECT_EQ(psap_cmp_os(&pm->localPsel, 1, reinterpret_cast<const uint8_t*>("A")), 0);
  EXPECT_EQ(p_deactivate(&b), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_PSAP_USED);
  EXPECT_EQ(find_ps_user(&b), u);
  pm_dealloc(pm);
  EXPECT_EQ(p_deactivate(&b), 1);
  EXPECT_EQ(psutab, nullptr);
}

TEST_F(PresentationUsers, ConnectRequestOfAnUnknownSelectorGoesToTheDefaultUser) {
  PsUser* a = activate("A");
  const OctStgV known = sel("A"), unknown = sel("Z");
  EXPECT_EQ(p_connect_user(&known), a);
  EXPECT_EQ(p_connect_user(&unknown), nullptr);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_PSAP_NOT);
  PsUser* d = activate("D", 0, kPsModeDefault);
  EXPECT_EQ(p_connect_user(&unknown), d);
  EXPECT_EQ(p_connect_user(nullptr), d) << "no calling selector";
  EXPECT_EQ(p_connect_user(&known), a);
}

TEST_F(PresentationUsers, EmptySelectorsAndOctetLookups) {
  activate("A", 1);
  EXPECT_EQ(getNullPsap(), nullptr);
  PsUser* empty = activate("", 9);
  EXPECT_EQ(getNullPsap(), empty);
  uint64_t ref = 0;
  EXPECT_EQ(oct_find_ps_user(0, nullptr, &ref), empty);
  EXPECT_EQ(ref, 9u);
  EXPECT_EQ(oct_find_ps_user(1, reinterpret_cast<const uint8_t*>("A"), &ref), psutab);
  EXPECT_EQ(ref, 1u);
  EXPECT_EQ(oct_find_ps_user(1, reinterpret_cast<const uint8_t*>("B"), &ref), nullptr);
  // psap_cmp_os: lengths first, then the octets.
  const OctStgV ab = sel("AB");
  EXPECT_EQ(psap_cmp_os(&ab, 3, reinterpret_cast<const uint8_t*>("ABC")), -1);
  EXPECT_EQ(psap_cmp_os(&ab, 2, reinterpret_cast<const uint8_t*>("AB")), 0);
  EXPECT_GT(psap_cmp_os(&ab, 2, reinterpret_cast<const uint8_t*>("AA")), 0);
  const OctStgV none = sel("");
  EXPECT_EQ(psap_cmp_os(&none, 0, nullptr), 0);
}

// The presentation state is one per process: a connection's thread with a
// record set of its own, which never starts the layer nor registers a
// user, finds the environment's user by selector and its machine joins the
// one machine list, while the first thread goes on working.
TEST_F(PresentationUsers, ConnectionThreadUsesTheSharedUserAndMachineList) {
  PsUser* env = activate("RDA", 77);
  std::atomic<int> stage{0};
  std::atomic<Pmachine*> made{nullptr};
  int sessionOfThread = 0;
  auto* s = reinterpret_cast<Smachine*>(&sessionOfThread);
  std::thread connection([&] {
    ASSERT_EQ(QvCreateAllTLS(), 1);
    ASSERT_NE(xm_init(), nullptr);
    const OctStgV calling = sel("RDA");
    PsUser* u = p_connect_user(&calling);
    EXPECT_EQ(u, env);
    Pmachine* pm = pm_alloc(&calling, s, u, p_getUserRef(&calling));
    EXPECT_NE(pm, nullptr);
    EXPECT_EQ(find_pm_sm(s), pm);
    made = pm;
    stage = 1;
    while (stage.load() != 2) std::this_thread::yield();
    pm_dealloc(pm);
    xm_shutdown();
    QvRemoveAllTLS();
    stage = 3;
  });
  // Meanwhile: more users here.
  for (int i = 0; i < 5; ++i) activate(("M" + std::to_string(i)).c_str());
  while (stage.load() == 0) std::this_thread::yield();
  Pmachine* pm = find_pm_sm(s);
  EXPECT_EQ(pm, made.load());
  ASSERT_NE(pm, nullptr);
  EXPECT_EQ(pm->user, env);
  EXPECT_EQ(pm->userRef, 77u);
  const OctStgV rda = sel("RDA");
  EXPECT_EQ(p_deactivate(&rda), 0) << "the connection thread's machine uses the user";
  stage = 2;
  connection.join();
  EXPECT_EQ(stage.load(), 3);
  EXPECT_EQ(plist.count, 0u);
  EXPECT_EQ(p_deactivate(&rda), 1);
}

}  // namespace
