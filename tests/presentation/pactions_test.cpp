// Action routines: the checks of the user's data, the session version,
// the release collision and the answers to a CP the decoder refused.
#include "presentation/pmfixture.h"

namespace {

using PresentationActions = MachineTest;

Bytes tlv(uint8_t tag, const Bytes& contents) {
  Bytes out{tag};
  const size_t n = contents.size();
  if (n < 128) {
    out.push_back(static_cast<uint8_t>(n));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(n & 0xFF));
  }
  return out + contents;
}

TEST_F(PresentationActions, DataRequestsRefuseUserDataTheConnectionCannotCarry) {
  struct Case {
    const char* what;
    uint32_t event;
    std::vector<int32_t> contexts;  // one element each; empty: no data
    uint32_t error;
  };
  const Case cases[] = {
      {"P-DATA without data", P_DT_REQ, {}, PE_MISS_DE},
      {"typed data without data", P_TD_REQ, {}, PE_MISS_DE},
      {"expedited data without data", P_EX_REQ, {}, PE_MISS_DE},
      {"expedited data naming a context", P_EX_REQ, {3}, PE_DFLT_NOT},
      {"no context and no default context", P_DT_REQ, {-1}, PE_DFLT_NOT},
      {"a context that is not defined", P_DT_REQ, {5}, PE_PCTXID_NOT},
      {"a context id below 0", P_DT_REQ, {-2}, PE_PCTXID_INV},
      {"elements with and without a context", P_DT_REQ, {3, -1}, PE_PCTXID_CONS},
      {"release data of an undefined context", P_REL_REQ, {7}, PE_PCTXID_NOT},
  };
  connected();
  for (const Case& c : cases) {
    PIDU* p = newPidu(c.event);
    for (int32_t ctx : c.contexts) element(p, ctx, &one_);
    QvSetOsiError(0);
    EXPECT_EQ(run(p), 0u) << c.what;
    EXPECT_EQ(err(), static_cast<int32_t>(c.error)) << c.what;
  }
  EXPECT_TRUE(sess_.requests.empty());
  EXPECT_EQ(pm_->state, STAt0);
}

TEST_F(PresentationActions, ActivityDiscardCarriesUserDataOnlyOnSessionVersion2) {
  connected();
  pm_->sessVersion = 1;
  PIDU* p = newPidu(P_ACTD_REQ);
  element(p, 3, &one_);
  EXPECT_EQ(run(p), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_SESS_VERS));
  EXPECT_TRUE(sess_.requests.empty());

  p = newPidu(P_ACTD_REQ);
  p->reason = 2;
  EXPECT_EQ(run(p), 1u) << err();
  ASSERT_EQ(sess_.events(), std::vector<uint32_t>{1});
  EXPECT_TRUE(sess_.requests[0].data.empty());
  EXPECT_EQ(sess_.requests[0].sidu.reason, 2u);

  pm_->sessVersion = 2;
  p = newPidu(P_ACTD_REQ);
  element(p, 3, &one_);
  EXPECT_EQ(run(p), 1u) << err();
  // User-data: one PDV-list of context 3 holding INTEGER 1.
  EXPECT_EQ(sentHex(1), "61 0A 30 08 02 01 03 A0 03 02 01 01");
}

TEST_F(PresentationActions, ReleaseCollisionKeepsTheConnectionUntilTheSecondAnswer) {
  connected();
  ASSERT_EQ(run(newPidu(P_REL_REQ)), 1u) << err();
  EXPECT_EQ(pm_->relPending, 1u);
  // The peer asked for release too.
  ASSERT_EQ(arrive(SI_REL_IND), 1);
  EXPECT_EQ(pm_->relCollision, 1u);
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_REL_IND});
  // The first accept clears the collision and keeps the connection.
  ASSERT_EQ(run(newPidu(P_REL_ACC)), 1u) << err();
  EXPECT_EQ(pm_->state, STAt0);
  EXPECT_EQ(pm_->relPending, 0u);
  EXPECT_EQ(pm_->relCollision, 0u);
  EXPECT_TRUE(live());
  // The peer's accept completes it.
  ASSERT_EQ(arrive(SI_REL_CNF), 1);
  ASSERT_EQ(gSeenInd.size(), 2u);
  EXPECT_EQ(gSeenInd[1].event, uint32_t{P_REL_CNF});
  EXPECT_FALSE(live());
  EXPECT_EQ(sess_.events(), (std::vector<uint32_t>{19, 20}));
}

TEST_F(PresentationActions, ReleaseWithoutCollisionEndsAtTheAccept) {
  connected();
  ASSERT_EQ(arrive(SI_REL_IND), 1);
  ASSERT_EQ(run(newPidu(P_REL_ACC)), 1u) << err();
  EXPECT_FALSE(live());
  EXPECT_EQ(sess_.events(), std::vector<uint32_t>{20});
}

// A CP the decoder refused part of is answered with a CPR and never reaches
// the user.
TEST_F(PresentationActions, ACpTheDecoderRefusedIsAnsweredWithAProviderRefusal) {
  const Bytes mode = hex("A0 03 80 01 01");
  const Bytes called = hex("82 03 52 44 41");  // "RDA"
  // Default context {1 9 9}, not registered, in BER {2 1 1}.
  const Bytes unknownDefault = hex("A6 09 80 03 31 09 09 81 02 51 01");
  Bytes seventeen;
  for (int i = 0; i < 17; ++i)
    seventeen = seventeen + tlv(0x30, Bytes{0x02, 0x01, static_cast<uint8_t>(2 * i + 1)} + hex("06 03 31 09 01") +
                                          hex("30 04 06 02 51 01"));
  struct Case {
    const char* what;
    Bytes cp;
    const char* cpr;
  };
  const Case cases[] = {
      {"an unknown default context", tlv(0x31, mode + tlv(0xA2, called + unknownDefault)),
       "30 06 87 01 02 8A 01 05"},
      {"more contexts than the connection can hold", tlv(0x31, mode + tlv(0xA2, called + tlv(0xA4, seventeen))),
       "30 03 8A 01 02"},
      {"a called selector nobody has", tlv(0x31, mode + tlv(0xA2, hex("82 01 58"))), "30 03 8A 01 03"},
  };
  alignas(Smachine) unsigned char other[sizeof(Smachine)] = {};
  for (const Case& c : cases) {
    sess_.requests.clear();
    gSeenInd.clear();
    SIDU x{};
    x.event = SI_CON_IND;
    x.version = 2;
    x.userData = chainOf(c.cp, 0);
    EXPECT_EQ(ps_ssu(reinterpret_cast<Smachine*>(other), &x), 0) << c.what;
    ASSERT_EQ(sess_.events(), std::vector<uint32_t>{14}) << c.what << ": S-CONNECT refused";
    EXPECT_EQ(sentHex(0), c.cpr) << c.what;
    EXPECT_TRUE(gSeenInd.empty()) << c.what;
    EXPECT_EQ(find_pm_sm(reinterpret_cast<Smachine*>(other)), nullptr) << c.what;
  }
}

// A CP's protocol version is a set of bits: one that offers version 1 with
// another version is taken; one without version 1 is refused with provider
// reason 4 (protocol version not supported).
TEST_F(PresentationActions, AConnectOfferingVersionOneAmongOthersIsTaken) {
  const Bytes mode = hex("A0 03 80 01 01");
  const Bytes called = hex("82 03 52 44 41");  // "RDA"
  struct Case {
    const char* what;
    const char* version;
    bool taken;
  };
  const Case cases[] = {
      {"version 1 alone", "80 02 07 80", true},
      {"version 1 and another", "80 02 06 C0", true},
      {"another version only", "80 02 06 40", false},
  };
  alignas(Smachine) unsigned char other[sizeof(Smachine)] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sess_.requests.clear();
    gSeenInd.clear();
    SIDU x{};
    x.event = SI_CON_IND;
    x.version = 2;
    x.userData = chainOf(tlv(0x31, mode + tlv(0xA2, hex(c.version) + called)), 0);
    (void)ps_ssu(reinterpret_cast<Smachine*>(other), &x);
    if (c.taken) {
      ASSERT_EQ(gSeenInd.size(), 1u);
      EXPECT_EQ(gSeenInd[0].event, uint32_t{P_CON_IND});
      EXPECT_TRUE(sess_.requests.empty());
    } else {
      EXPECT_TRUE(gSeenInd.empty());
      ASSERT_EQ(sess_.events(), std::vector<uint32_t>{14}) << "S-CONNECT refused";
      EXPECT_EQ(sentHex(0), "30 03 8A 01 04");
    }
    if (Pmachine* pm = find_pm_sm(reinterpret_cast<Smachine*>(other))) pm_dealloc(pm);
  }
}

TEST_F(PresentationActions, AConnectRequestNeedsASessionVersionAndNoPresentationRequirements) {
  PIDU* p = newPidu(P_CON_REQ);
  p->sessVersion = 0;
  EXPECT_EQ(run(p), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_SESS_VERS));
  p = newPidu(P_CON_REQ);
  p->presRequirements = 1;
  EXPECT_EQ(run(p), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_FUNCTIONAL));
  EXPECT_EQ(pm_->state, STAI0);
  EXPECT_TRUE(sess_.requests.empty());
}

}  // namespace
