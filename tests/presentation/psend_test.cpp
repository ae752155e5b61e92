// Session requests of the presentation layer: size checks, a unit of
// several buffers, the abort without ARP on version 1, the transport
// provider and the called address of S-CONNECT, refused requests.
#include <deque>

#include "presentation/pmfixture.h"
#include "src/presentation/ppdu_build.h"
#include "src/presentation/psend.h"
#include "src/session/sessiontls.h"

namespace {

class PresentationSend : public MachineTest {
 protected:
  // A connection whose one context (slot 1) carries OCTET STRINGs: its data
  // travels simply encoded.
  void octetConnection() {
    octets_ = octetSyntax(3);
    define(1, 1, octets_);
    pm_->state = STAt0;
  }
  OctStgV* value(size_t n, char fill = 'A') {
    text_.push_back(std::string(n, fill));
    values_.push_back(OctStgV{static_cast<uint32_t>(n), reinterpret_cast<uint8_t*>(text_.back().data())});
    return &values_.back();
  }
  std::deque<std::string> text_;
  std::deque<OctStgV> values_;
  int32_t octets_ = -1;
};

TEST_F(PresentationSend, ExpeditedDataHoldsFourteenOctets) {
  octetConnection();
  PIDU* p = newPidu(P_EX_REQ);
  element(p, -1, value(12));  // 04 0C + 12 octets
  ASSERT_EQ(run(p), 1u) << err();
  ASSERT_EQ(sess_.events(), std::vector<uint32_t>{16});
  EXPECT_EQ(sentHex(0), "04 0C 41 41 41 41 41 41 41 41 41 41 41 41");
  p = newPidu(P_EX_REQ);
  element(p, -1, value(13));
  EXPECT_EQ(run(p), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_DATA_MAX));
  EXPECT_EQ(sess_.requests.size(), 1u);
}

TEST_F(PresentationSend, UserDataLimitsDependOnTheSessionVersionAndTheEvent) {
  octetConnection();
  struct Case {
    const char* what;
    uint32_t event;
    uint32_t version;
    uint32_t limit;
    size_t octets;
    uint32_t error;  // 0: sent
  };
  const Case cases[] = {
      {"release, 513 octets on version 1", P_REL_REQ, 1, 0, 505, PE_DATA_MAX},
      {"release, 512 octets on version 1", P_REL_REQ, 1, 0, 504, 0},
      {"release, 600 octets on version 2", P_REL_REQ, 2, 0, 600, 0},
      {"release over the user-data limit", P_REL_REQ, 2, 100, 600, PE_DATA_USER_MAX},
      {"data, 600 octets on version 1", P_DT_REQ, 1, 0, 600, 0},
      {"data over the user-data limit", P_DT_REQ, 1, 100, 600, PE_DATA_USER_MAX},
  };
  for (const Case& c : cases) {
    sess_.requests.clear();
    pm_->state = STAt0;
    pm_->sessVersion = c.version;
    pm_->dataLimit = c.limit;
    PIDU* p = newPidu(c.event);
    element(p, 1, value(c.octets));
    QvSetOsiError(0);
    const uint32_t before = QvGetSbCount();
    EXPECT_EQ(run(p), c.error == 0 ? 1u : 0u) << c.what;
    if (c.error != 0) {
      EXPECT_EQ(err(), static_cast<int32_t>(c.error)) << c.what;
      EXPECT_TRUE(sess_.requests.empty()) << c.what;
      EXPECT_EQ(QvGetSbCount(), before) << c.what << ": the encoded buffers went back";
    } else {
      ASSERT_EQ(sess_.requests.size(), 1u) << c.what;
      // Release: [APPLICATION 0] around the OCTET STRING, each with a
      // three-octet length; data: the bare OCTET STRING.
      const size_t expected = c.event == P_REL_REQ ? c.octets + 8 : c.octets + 4;
      EXPECT_EQ(sess_.requests[0].data.size(), expected) << c.what;
    }
  }
}

TEST_F(PresentationSend, DataOfThreeBuffersLeavesAsThreeSessionDataRequests) {
  close_buffers();
  ASSERT_EQ(init_buffers(20, 1024), 1);
  octetConnection();
  PIDU* p = newPidu(P_DT_REQ);
  p->credit = 3;
  element(p, 1, value(2500, 'x'));  // 2504 octets: three 1024-octet buffers
  ASSERT_EQ(run(p), 1u) << err();
  ASSERT_EQ(sess_.events(), (std::vector<uint32_t>{15, 15, 15}));
  std::string all;
  for (const auto& r : sess_.requests) {
    ASSERT_EQ(r.endFlags.size(), 1u) << "one buffer each";
    all += r.data;
  }
  EXPECT_EQ(sess_.requests[0].sidu.credit, 3);
  EXPECT_EQ(sess_.requests[1].sidu.credit, 0);
  EXPECT_EQ(sess_.requests[2].sidu.credit, 0);
  EXPECT_EQ(sess_.requests[0].endFlags[0], 0u);
  EXPECT_EQ(sess_.requests[1].endFlags[0], 0u);
  EXPECT_EQ(sess_.requests[2].endFlags[0], 1u) << "the last piece ends the unit";
  EXPECT_EQ(all.size(), 2504u);
  EXPECT_EQ(hexOf(Bytes(all.begin(), all.begin() + 4)), "04 82 09 C4");
  EXPECT_EQ(pm_->cnfSuppress, 2u) << "two of the three data confirms are swallowed";
}

// A continuation of pre-encoded data goes without a format pass, so pP may
// be another connection's: the confirms to swallow are counted on the
// machine that owns the session connection.
TEST_F(PresentationSend, SwallowedConfirmsAreCountedOnTheConnectionThatSends) {
  alignas(Smachine) unsigned char otherConnection[sizeof(Smachine)] = {};
  Pmachine* other = pm_alloc(nullptr, reinterpret_cast<Smachine*>(otherConnection), user_, 0);
  ASSERT_NE(other, nullptr);
  pm_->state = STAt0;
  pm_->segSend = 1;
  set_Pcalled(other);
  PIDU* p = newPidu(P_DT_REQ);
  SessionBuffer* first = balloc(10);
  SessionBuffer* second = balloc(10);
  first->endFlag = 0;
  second->next = first;
  second->prev = first;
  first->next = second;
  first->prev = second;
  element(p, -1, first);
  ASSERT_EQ(pxPDTREQ(pm_, p), 1) << err();
  p_free_pidu(p);
  EXPECT_EQ(sess_.events(), (std::vector<uint32_t>{15, 15}));
  EXPECT_EQ(pm_->cnfSuppress, 1u);
  EXPECT_EQ(other->cnfSuppress, 0u);
  EXPECT_EQ(pm_->segSend, 0u) << "the unit ended";
}

TEST_F(PresentationSend, AProviderAbortOnSessionVersion1CarriesNoArp) {
  connected();
  pm_->sessVersion = 1;
  ASSERT_EQ(ppduARP(pm_, nullptr, 2, 20), 1) << err();
  pm_->sessVersion = 2;
  ASSERT_EQ(ppduARP(pm_, nullptr, 2, 20), 1) << err();
  ASSERT_EQ(sess_.events(), (std::vector<uint32_t>{31, 31}));
  EXPECT_EQ(sentHex(0), "");
  EXPECT_EQ(sentHex(1), "30 06 80 01 02 81 01 14");
}

TEST_F(PresentationSend, TheConnectChoosesTheTransportAndChecksTheCalledAddress) {
  struct Case {
    uint32_t kind;
    size_t tselLength;
    const char* provider;  // NULL: refused
    uint32_t providerKind;
  };
  const Case cases[] = {
      {0, 2, "TP4", 1}, {1, 2, "TP024", 0}, {2, 28, "TP0TCP", 1}, {2, 29, nullptr, 0}, {2, 32, nullptr, 0},
  };
  static uint8_t tsel[32];
  static uint8_t ssel[] = {0x00, 0x02};
  static uint8_t rda[] = {'R', 'D', 'A'};
  for (size_t i = 0; i < sizeof tsel; ++i) tsel[i] = static_cast<uint8_t>(0x40 + i);
  for (const Case& c : cases) {
    sess_.requests.clear();
    GIDU* g = nullptr;
    PIDU* p = newPidu(0, &g);
    p->local.pSel = PSelector{3, rda};
    p->transportKind = c.kind;
    p->remote.sSel = OctStgV{2, ssel};
    p->remote.tSel = OctStgV{static_cast<uint32_t>(c.tselLength), tsel};
    g->uc = reinterpret_cast<void*>(uintptr_t{9});
    QvSetOsiError(0);
    Pmachine* pm = p_connect(g);
    if (c.provider == nullptr) {
      EXPECT_EQ(pm, nullptr) << c.tselLength;
      EXPECT_EQ(err(), static_cast<int32_t>(PE_TSELECTOR)) << c.tselLength;
      EXPECT_TRUE(sess_.requests.empty());
      continue;
    }
    ASSERT_NE(pm, nullptr) << err();
    EXPECT_EQ(pm->state, STAI1);
    EXPECT_EQ(pm->connRef, 9u);
    EXPECT_EQ(pm->s, sess_.connection());
    EXPECT_STREQ(QvGetStpParams()->providerName, c.provider);
    EXPECT_EQ(QvGetStpParams()->providerKind, c.providerKind);
    ASSERT_EQ(sess_.requests.size(), 1u);
    const auto& r = sess_.requests[0];
    EXPECT_EQ(r.sidu.event, 12u);
    EXPECT_EQ(r.sidu.version, 2) << "version 2 unless the user says otherwise";
    EXPECT_EQ(r.called.ssap.len, 2);
    EXPECT_EQ(r.called.tsap.len, c.tselLength);
    EXPECT_EQ(r.called.tsap.sel[c.tselLength - 1], tsel[c.tselLength - 1]);
    // CP-type, normal mode, calling selector "RDA".
    EXPECT_EQ(sentHex(0), "31 0C A0 03 80 01 01 A2 05 81 03 52 44 41");
    pm_dealloc(pm);
  }
}

TEST_F(PresentationSend, ARefusedSessionRequestReportsTheSessionError) {
  connected();
  const uint32_t before = QvGetSbCount();
  for (uint32_t error : {uint32_t{S_INV_TRANSITION}, uint32_t{S_EVENT_IGNORED}}) {
    sess_.result = 0;
    sess_.error = error;
    PIDU* p = newPidu(P_DT_REQ);
    element(p, 3, &one_);
    EXPECT_EQ(run(p), 0u);
    EXPECT_EQ(err(), static_cast<int32_t>(error));
    EXPECT_EQ(QvGetSbCount(), before) << error;
  }
  sess_.result = 1;
  sess_.connectSucceeds = false;
  pm_->state = STAI0;
  EXPECT_EQ(run(newPidu(P_CON_REQ)), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_SCONNECT));
  EXPECT_EQ(pm_->state, STAI0);
  EXPECT_EQ(QvGetSbCount(), before);
}

}  // namespace
