// PPDU builders: the records they fill from a PIDU and the connection, and
// the octets the session requests would carry, written out by hand.
#include <unistd.h>

#include "presentation/ppdu_fixture.h"
#include "src/presentation/pidu.h"
#include "src/presentation/ppdu_build.h"
#include "src/runtime/xm.h"
#include "support/ppdu_sender.h"
#include "support/session_wire.h"
#include "support/tpkt_capture.h"

namespace {

class PpduBuild : public PpduTest {
 protected:
  void TearDown() override {
    for (PIDU* p : pidus_) p_free_pidu(p);
    pidus_.clear();
    PpduTest::TearDown();
  }

  // A reset PIDU in an XM tree of its own.
  PIDU* newPidu() {
    XmTree* tree = _xm_allocTree(nullptr);
    auto* p = static_cast<PIDU*>(_xm_allocItem(tree, sizeof(PIDU), XM_ZERO));
    p_clear_pidu(p);
    pidus_.push_back(p);
    return p;
  }
  // A data element of context `ctx` appended to the PIDU.
  static DElem* element(PIDU* p, int32_t ctx, void* value) {
    auto* d = static_cast<DElem*>(_xm_allocItem(xm_getParentOfItem(p), sizeof(DElem), XM_ZERO));
    p_clear_delem(d);
    d->pctxId = ctx;
    d->value = value;
    d->next = &p->dataList;
    d->prev = p->dataList.prev;
    p->dataList.prev->next = d;
    p->dataList.prev = d;
    return d;
  }
  // Contexts 1 and 3 accepted in BER, as after the CPA.
  void connected() {
    initiator();
    pm_->pcdt[1].tsIdx = ps_asn1_tsidx;
    pm_->pcdt[3].tsIdx = ps_asn1_tsidx;
    pm_->state = STAt0;
  }
  std::string sentHex(size_t i = 0) const {
    return i < rec_.sent.size() ? hexOf(rec_.sent[i].octets) : std::string("(nothing sent)");
  }
  static int32_t err() { return QvGetOsiError(); }

  PpduSendRecorder rec_;
  std::vector<PIDU*> pidus_;
  int32_t one_ = 1, three_ = 3, five_ = 5, six_ = 6, broken_ = -999;
};

TEST_F(PpduBuild, ConnectNamesEveryContextAndCarriesTheDataAsPdvLists) {
  initiator();
  PIDU* p = newPidu();
  element(p, 3, &five_);
  ASSERT_EQ(ppduCP(pm_, p), 1) << err();
  ASSERT_EQ(rec_.sent.size(), 1u);
  EXPECT_EQ(rec_.sent[0].request, PsRequest::ConnectRequest);
  EXPECT_EQ(cp.presence, kCpNormal);
  EXPECT_EQ(cp.mode.value, kModeNormal);
  EXPECT_EQ(cp.normal.presence, kCpContexts | kCpUserData) << "no protocol-version, no selectors";
  EXPECT_EQ(cp.normal.protocolVersion, kProtocolVersion1);
  ASSERT_EQ(cp.normal.contexts.count, 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(cp.normal.contexts.items[i].tsCount, 1u);
    EXPECT_EQ(ul_objidcmp(&cp.normal.contexts.items[i].tsNames[0], &tst[ps_asn1_tsidx].id), 1);
  }
  ASSERT_EQ(pdvs(cp.normal.userData).size(), 1u);
  EXPECT_EQ(ul_objidcmp(&pdvs(cp.normal.userData)[0]->tsName, &tst[ps_asn1_tsidx].id), 1)
      << "recorded, written only when it tells something";
  EXPECT_EQ(sentHex(),
            "31 33 A0 03 80 01 01 A2 2C "
            "A4 1E 30 0D 02 01 01 06 02 31 01 30 04 06 02 51 01 "
            "30 0D 02 01 03 06 02 31 02 30 04 06 02 51 01 "
            "61 0A 30 08 02 01 03 A0 03 02 01 05");
}

TEST_F(PpduBuild, ConnectWritesTheTransferSyntaxNameWhenSeveralWereProposed) {
  const uint32_t other[] = {1, 2, 3};
  const int32_t ts = p_txfrSynReg(3, other, kEncSingleAsn1, &tst[ps_asn1_tsidx].routines);
  ASSERT_GE(ts, 0);
  const OctStgV rda = sel("RDA");
  ASSERT_EQ(p_assoc(&rda, rda_, ts), 1);
  initiator();
  PIDU* p = newPidu();
  element(p, 3, &five_);
  ASSERT_EQ(ppduCP(pm_, p), 1) << err();
  EXPECT_EQ(sentHex(),
            "31 3B A0 03 80 01 01 A2 34 "
            "A4 22 30 0D 02 01 01 06 02 31 01 30 04 06 02 51 01 "
            "30 11 02 01 03 06 02 31 02 30 08 06 02 51 01 06 02 2A 03 "
            "61 0E 30 0C 06 02 51 01 02 01 03 A0 03 02 01 05");
}

TEST_F(PpduBuild, ConnectRefusesBadParametersAndSendsNothing) {
  initiator();
  PsX410Params wrongKind{};
  wrongKind.mode = kX410Rtoac;
  static uint8_t longSel[17] = {};
  struct Case {
    const char* what;
    std::function<void(PIDU*)> set;
    int32_t err;
  };
  const Case cases[] = {
      {"X.410 parameters of a CPA", [&](PIDU* p) { p->x410Params = &wrongKind; }, static_cast<int32_t>(PE_X410_TAG_INV)},
      {"calling selector of 17", [](PIDU* p) { p->local.pSel = PSelector{17, longSel}; },
       static_cast<int32_t>(PE_PSELECTOR)},
      {"called selector of 17", [](PIDU* p) { p->remote.pSel = OctStgV{17, longSel}; },
       static_cast<int32_t>(PE_PSELECTOR)},
  };
  for (const Case& c : cases) {
    PIDU* p = newPidu();
    c.set(p);
    QvSetOsiError(0);
    EXPECT_EQ(ppduCP(pm_, p), 0) << c.what;
    EXPECT_EQ(err(), c.err) << c.what;
  }
  EXPECT_TRUE(rec_.asked.empty());
  EXPECT_EQ(pm_->x410Mode, 0u);
}

TEST_F(PpduBuild, X410ConnectTakesTheCallersRtseRecord) {
  PsX410Params x{};
  x.mode = kX410Rtorq;
  x.rtorq.presence = kRqWindow;
  x.rtorq.windowSize = 5;
  static uint8_t open[] = {0x04, 0x01, 0xAA};
  x.rtorq.connectionData.kind = RTS_CD_OPEN;
  x.rtorq.connectionData.open = BerAny{sizeof open, open};
  PIDU* p = newPidu();
  p->x410Params = &x;
  ASSERT_EQ(ppduCP(pm_, p), 1) << err();
  EXPECT_EQ(pm_->x410Mode, 1u);
  EXPECT_EQ(sentHex(), "31 11 A0 03 80 01 00 A1 0A 81 01 05 A3 05 A0 03 04 01 AA");
}

TEST_F(PpduBuild, AcceptAndRefusalCarryTheResultsAndTheResponderSelector) {
  // The responder's contexts: the peer's 7 accepted in slot 1, its 9
  // rejected by the provider (abstract syntax not supported) in slot 3.
  define(1, 7, acse_);
  define(3, 9, rda_, kPcdtProviderRejected);
  pm_->pcdt[3].providerReason = kPcdtReasonAsynNotSupported;
  static uint8_t b[] = {'B'};

  PIDU* acc = newPidu();
  acc->responding.pSel = PSelector{1, b};
  element(acc, 1, &five_);
  ASSERT_EQ(ppduCPA(pm_, acc), 1) << err();
  EXPECT_EQ(sentHex(0),
            "31 29 A0 03 80 01 01 A2 22 83 01 42 "
            "A5 11 30 07 80 01 00 81 02 51 01 30 06 80 01 02 82 01 01 "
            "61 0A 30 08 02 01 07 A0 03 02 01 05");

  const uint32_t perm = cprSndPermGrp.count;
  PIDU* rej = newPidu();
  rej->responding.pSel = PSelector{1, b};
  rej->dfltCtx = acse_;  // requested, and the connection has none
  rej->dfltResult = 2;
  rej->reason = 2;
  ASSERT_EQ(ppduCPR(pm_, rej), 1) << err();
  EXPECT_EQ(sentHex(1),
            "30 1C 83 01 42 "
            "A5 11 30 07 80 01 00 81 02 51 01 30 06 80 01 02 82 01 01 "
            "87 01 02 8A 01 02");
  EXPECT_EQ(cprSndPermGrp.count, perm + 1);

  PsX410Params wrongKind{};
  wrongKind.mode = kX410Rtorq;
  PIDU* bad = newPidu();
  bad->x410Params = &wrongKind;
  EXPECT_EQ(ppduCPA(pm_, bad), 0);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_X410_TAG_INV));
  EXPECT_EQ(ppduCPR(pm_, bad), 0);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_X410_TAG_INV));
  EXPECT_EQ(rec_.sent.size(), 2u);
}

TEST_F(PpduBuild, ProviderRefusalNamesItsReason) {
  const uint32_t perm = cprSndPermGrp.count;
  PIDU* p = newPidu();
  ASSERT_EQ(conn_prej(pm_, p, 5), 1) << err();
  EXPECT_EQ(p->event, 16u);
  EXPECT_EQ(sentHex(), "30 06 87 01 02 8A 01 05") << "default-context-result 2, provider-reason 5";
  EXPECT_EQ(cprSndPermGrp.count, perm + 1);

  // X.410 mode: RTORJ with refuse reason 0, whatever the record held.
  cpr.x410.refuseReason = 77;
  pm_->x410Mode = 1;
  const uint32_t none = cprSndNoReason.count;
  ASSERT_EQ(conn_prej(pm_, newPidu(), 3), 1);
  EXPECT_EQ(sentHex(1), "31 03 80 01 00");
  EXPECT_EQ(cprSndNoReason.count, none + 1);

  // A refusal that cannot be sent ends the connection without PPDU.
  rec_.result = 0;
  rec_.failError = static_cast<int32_t>(PE_SESSION);
  EXPECT_EQ(conn_prej(pm_, newPidu(), 3), 0);
  ASSERT_EQ(rec_.asked.size(), 4u);
  EXPECT_EQ(rec_.asked[2], PsRequest::ConnectRefuse);
  EXPECT_EQ(rec_.asked[3], PsRequest::QuickAbort);
}

TEST_F(PpduBuild, ProviderAbortWritesWhatItIsGivenAndCountsIt) {
  const uint32_t noReason = arpSndNoReason.count;
  const uint32_t withReason = arpSndPrErrGrp.count;
  ASSERT_EQ(ppduARP(pm_, nullptr, -1, -1), 1) << err();
  EXPECT_EQ(sentHex(0), "30 00");
  EXPECT_EQ(arpSndNoReason.count, noReason + 1);
  ASSERT_EQ(ppduARP(pm_, newPidu(), 1, 2), 1) << err();
  EXPECT_EQ(sentHex(1), "30 06 80 01 01 81 01 02");
  EXPECT_EQ(arpSndPrErrGrp.count, withReason + 1);
  pm_->x410Mode = 1;
  ASSERT_EQ(ppduARP(pm_, nullptr, 6, 0), 1) << err();
  EXPECT_EQ(sentHex(2), "31 03 80 01 04") << "RTAB with abortReason protocolError";
  rec_.result = 0;
  EXPECT_EQ(ppduARP(pm_, nullptr, -1, -1), 0);
  EXPECT_EQ(arpSndNoReason.count, noReason + 1) << "not counted when not sent";
}

TEST_F(PpduBuild, UserDataGroupsRunsOfOneContextIntoOnePdvList) {
  connected();
  PIDU* p = newPidu();
  element(p, 1, &one_);
  element(p, 3, &three_);
  element(p, 3, &five_);
  element(p, 1, &six_);
  ASSERT_EQ(ppduTD(pm_, p), 1) << err();
  EXPECT_EQ(inf.kind, kUserDataFull);
  const auto list = pdvs(inf);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1]->encoding, kEncOctetAligned);
  ASSERT_NE(list[1]->next, nullptr);
  EXPECT_EQ(list[1]->next->value, &five_);
  EXPECT_EQ(list[0]->tsName.count, kObjIdAbsent) << "names only in a CP-type";
  EXPECT_EQ(sentHex(),
            "61 21 "
            "30 08 02 01 01 A0 03 02 01 01 "
            "30 0B 02 01 03 81 06 02 01 03 02 01 05 "
            "30 08 02 01 01 A0 03 02 01 06");
}

TEST_F(PpduBuild, DataWithoutContextGoesSimplyEncoded) {
  connected();
  pm_->dfltAsIdx = acse_;
  pm_->dfltTsIdx = ps_asn1_tsidx;
  PIDU* p = newPidu();
  element(p, -1, &five_);
  ASSERT_EQ(ppduTD(pm_, p), 1) << err();
  EXPECT_EQ(inf.kind, kUserDataSimple);
  EXPECT_EQ(sentHex(), "02 01 05") << "S-DATA carries simply-encoded data bare";

  // One value is all simply-encoded data holds: more are refused, not lost.
  PIDU* two = newPidu();
  element(two, 1, &five_);
  element(two, -1, &six_);
  EXPECT_EQ(ppduTD(pm_, two), 0);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_MAX_DELEM));
  EXPECT_EQ(rec_.sent.size(), 1u);
}

TEST_F(PpduBuild, ValueThatCannotBeWrittenSendsNothing) {
  connected();
  PIDU* p = newPidu();
  element(p, 1, &one_);
  element(p, 3, &broken_);
  EXPECT_EQ(ppduTD(pm_, p), 0);
  EXPECT_EQ(err(), AAE_FMTERR);
  EXPECT_TRUE(rec_.sent.empty());
  EXPECT_EQ(rec_.discarded, 1u);
}

TEST_F(PpduBuild, UserAbortListsTheContextsOfItsDataLastFirst) {
  connected();
  auto abortWith = [&](uint32_t state, uint32_t sessionUnits) {
    pm_->state = state;
    pm_->sRequirements = sessionUnits;
    PIDU* p = newPidu();
    element(p, 1, &one_);
    element(p, 3, &three_);
    EXPECT_EQ(ppduARU(pm_, p), 1) << err();
    return hexOf(rec_.sent.back().octets);
  };
  EXPECT_EQ(abortWith(STAt0, 2),
            "A0 2A A0 12 30 07 02 01 03 06 02 51 01 30 07 02 01 01 06 02 51 01 "
            "61 14 30 08 02 01 01 A0 03 02 01 01 30 08 02 01 03 A0 03 02 01 03");
  EXPECT_EQ(abortWith(STAI1, 2), "A0 00") << "waiting for the answer to its CP";
  EXPECT_EQ(abortWith(STAt0, 1), "A0 00") << "half-duplex alone";

  PsX410Params x{};
  x.rtab.presence = kAbReason;
  x.rtab.abortReason = 2;
  PIDU* p = newPidu();
  p->x410Params = &x;
  ASSERT_EQ(ppduARU(pm_, p), 1);
  EXPECT_EQ(sentHex(3), "31 03 80 01 02");
}

TEST_F(PpduBuild, ResynchronizeCapabilityAndExpeditedRequests) {
  connected();
  PIDU* abandon = newPidu();
  abandon->event = 26;
  ASSERT_EQ(ppduRS(pm_, abandon), 1);
  PIDU* set = newPidu();
  set->event = 28;
  element(set, 1, &five_);
  ASSERT_EQ(ppduRS(pm_, set), 1);
  EXPECT_EQ(rs.presence, kRsUserData) << "no identifier list from the builders";
  PIDU* other = newPidu();
  other->event = 40;
  EXPECT_EQ(ppduRS(pm_, other), 1);
  ASSERT_EQ(ppduRSA(pm_, newPidu()), 1);
  ASSERT_EQ(ppduTC(pm_, newPidu()), 1);
  PIDU* cap = newPidu();
  element(cap, 3, &three_);
  ASSERT_EQ(ppduTCC(pm_, cap), 1);
  PIDU* ex = newPidu();
  element(ex, -1, &six_);
  pm_->dfltAsIdx = acse_;
  pm_->dfltTsIdx = ps_asn1_tsidx;
  ASSERT_EQ(ppduTE(pm_, ex), 1);

  ASSERT_EQ(rec_.sent.size(), 6u) << "nothing for event 40";
  const struct {
    PsRequest request;
    uint32_t noData;
    const char* octets;
  } expected[] = {
      {PsRequest::ResyncAbandon, 0, "30 00"},
      {PsRequest::ResyncSet, 0, "30 0C 61 0A 30 08 02 01 01 A0 03 02 01 05"},
      {PsRequest::ResyncResponse, 0, "30 00"},
      {PsRequest::CapabilityRequest, 1, ""},
      {PsRequest::CapabilityResponse, 0, "61 0A 30 08 02 01 03 A0 03 02 01 03"},
      {PsRequest::Expedited, 0, "02 01 06"},
  };
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(rec_.sent[i].request, expected[i].request) << i;
    EXPECT_EQ(rec_.sent[i].noData, expected[i].noData) << i;
    EXPECT_EQ(sentHex(i), expected[i].octets) << i;
  }
}

// ---------------------------------------------------------------------------
// An outside decoder: tshark's presentation dissector reads the PPDUs built
// here, carried in SPDUs of the session layer's builders, in TPKTs and COTP
// data TPDUs.

// Each SPDU of a side in a TPKT and a COTP DT.
CapturedTpkt tpkt(bool fromClient, const std::vector<uint8_t>& spdu) {
  std::string p = {'\x03', '\x00', '\x00', '\x00', '\x02', '\xF0', '\x80'};
  p.append(spdu.begin(), spdu.end());
  p[2] = static_cast<char>(p.size() >> 8);
  p[3] = static_cast<char>(p.size() & 0xFF);
  return CapturedTpkt{fromClient, p};
}

std::string asText(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

TEST_F(PpduBuild, TsharkReadsTheBuiltPpdusInTheirSessionPrimitives) {
  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  // The application's abstract syntaxes: ACSE in context 1, RDA in 3.
  const OctStgV rda = sel("RDA");
  const uint32_t acseArcs[] = {2, 2, 1, 0, 1};
  const uint32_t rdaArcs[] = {1, 0, 9579, 2, 1, 1};
  const int32_t acse = p_asynreg(&rda, 5, acseArcs, parseSmallInt, formatSmallInt, 0);
  const int32_t rdaAs = p_asynreg(&rda, 6, rdaArcs, parseSmallInt, formatSmallInt, 0);
  ASSERT_EQ(p_assoc(&rda, acse, ps_asn1_tsidx), 1);
  ASSERT_EQ(p_assoc(&rda, rdaAs, ps_asn1_tsidx), 1);
  int32_t defs[kPsMaxContexts];
  for (int32_t& d : defs) d = -1;
  defs[1] = acse;
  defs[3] = rdaAs;
  ASSERT_EQ(store_pcdl_pcdt(defs, pm_), 1);

  static uint8_t calling[] = {'A'};
  PIDU* con = newPidu();
  con->local.pSel = PSelector{1, calling};
  con->remote.pSel = rda;
  element(con, 3, &five_);
  ASSERT_EQ(ppduCP(pm_, con), 1) << err();
  // Both contexts accepted in BER.
  pm_->pcdt[1].tsIdx = ps_asn1_tsidx;
  pm_->pcdt[3].tsIdx = ps_asn1_tsidx;
  PIDU* acc = newPidu();
  element(acc, 3, &six_);
  ASSERT_EQ(ppduCPA(pm_, acc), 1) << err();
  PIDU* td = newPidu();
  element(td, 3, &one_);
  ASSERT_EQ(ppduTD(pm_, td), 1) << err();
  ASSERT_EQ(ppduARP(pm_, nullptr, 2, 20), 1) << err();
  PIDU* rej = newPidu();
  rej->reason = 1;
  ASSERT_EQ(ppduCPR(pm_, rej), 1) << err();
  ASSERT_EQ(rec_.sent.size(), 5u);
  const std::string cpOctets = asText(rec_.sent[0].octets);

  // Side A connects with the CP; then `side` sends `event` with `octets`.
  auto connect = [&](SessionWire& w) {
    SAddress peer{};
    peer.ssap = w.selector(SessionWire::B).ssap;
    SIDU req{};
    req.requirements = SR_DUPLEX;
    req.version = 3;
    req.address = &peer;
    w.enter(SessionWire::A);
    req.userData = w.buffer(cpOctets);
    ASSERT_NE(w.connect(&req), nullptr);
    w.pump();
  };
  auto request = [&](SessionWire& w, SessionWire::Side side, uint32_t event, size_t sent, int32_t reason = 0) {
    SIDU sidu{};
    sidu.event = event;
    sidu.requirements = SR_DUPLEX;
    sidu.reason = reason;
    w.enter(side);
    sidu.userData = w.buffer(asText(rec_.sent[sent].octets));
    ASSERT_EQ(w.request(side, &sidu), 1) << event;
    w.pump();
  };
  std::vector<CapturedTpkt> dialogue;
  std::vector<CapturedTpkt> refusal;
  {
    SessionWire w;
    connect(w);
    request(w, SessionWire::B, 13, 1);  // accept with the CPA
    request(w, SessionWire::A, 15, 2);  // data: the TD
    request(w, SessionWire::B, 31, 3);  // abort: the ARP
    const auto& a = w.sent(SessionWire::A);
    const auto& b = w.sent(SessionWire::B);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    dialogue = {tpkt(true, a[0]), tpkt(false, b[0]), tpkt(true, a[1]), tpkt(false, b[1])};
  }
  {
    SessionWire w;
    connect(w);
    request(w, SessionWire::B, 14, 4, 2);  // refused by the called user: the CPR rides along
    refusal = {tpkt(true, w.sent(SessionWire::A)[0]), tpkt(false, w.sent(SessionWire::B)[0])};
  }

  char dir[] = "/tmp/ppdudecodeXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const TsharkView one = decodeTpktTraffic(dialogue, dir, 102, TsharkDecode{true});
  const TsharkView two = decodeTpktTraffic(refusal, dir, 102, TsharkDecode{true});
  (void)std::system(("rm -rf " + std::string(dir)).c_str());
  ASSERT_EQ(one.error, "");
  ASSERT_EQ(two.error, "");
  for (const TsharkView* v : {&one, &two}) {
    EXPECT_EQ(v->detail.find("Malformed"), std::string::npos) << v->detail;
    EXPECT_EQ(v->detail.find("Expert Info (Error"), std::string::npos) << v->detail;
  }
  auto times = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(times(one.detail, "ISO 8823 OSI Presentation Protocol"), 4u);
  EXPECT_EQ(times(two.detail, "ISO 8823 OSI Presentation Protocol"), 2u);
  const char* expected[] = {
      "CP-type",
      "mode-value: normal-mode (1)",
      "calling-presentation-selector: 41",
      "called-presentation-selector: 524441",
      "presentation-context-definition-list: 2 items",
      "abstract-syntax-name: 2.2.1.0.1",
      "abstract-syntax-name: 1.0.9579.2.1.1",
      "Transfer-syntax-name: 2.1.1",
      "CPA-PPDU",
      "presentation-context-definition-result-list: 2 items",
      "result: acceptance (0)",
      "fully-encoded-data: 1 item",
      "single-ASN1-type (0)",
      "arp-ppdu",
      "provider-reason: unexpected-ppdu (2)",
      "event-identifier: s-sync-minor-confirm (20)",
  };
  for (const char* e : expected) EXPECT_NE(one.detail.find(e), std::string::npos) << e;
  // The PDV-lists of the CP, the CPA and the TD are known by their context.
  EXPECT_EQ(times(one.detail, "presentation-context-identifier: 3 (iso.0.9579.2.1.1)"), 3u) << one.detail;
  EXPECT_NE(two.detail.find("CPR-PPDU: normal-mode-parameters"), std::string::npos) << two.detail;
  EXPECT_NE(two.detail.find("provider-reason: temporary-congestion (1)"), std::string::npos) << two.detail;
}

}  // namespace
