// The PPDU encoders and decoders against octets worked out by hand from the
// presentation protocol's ASN.1 and the basic encoding rules.
#include "presentation/ppdu_fixture.h"

namespace {

class PpduCodec : public PpduTest {
 protected:
  // Normal-mode CP-type: mode-selector, then the normal-mode parameters.
  static CP_type normalCp() {
    CP_type p{};
    p.presence = kCpNormal;
    p.mode.value = kModeNormal;
    return p;
  }
  static PselBlock psel(const char* s) {
    PselBlock b{static_cast<uint32_t>(std::strlen(s)), {}};
    std::memcpy(b.octets, s, b.length);
    return b;
  }
  static Context_list_item item(int32_t id, uint32_t asArc) {
    Context_list_item it{};
    it.pctxId = id;
    it.asName = ObjId{3, {1, 9, asArc}};
    it.tsCount = 1;
    it.tsNames[0] = ObjId{3, {2, 1, 1}};
    return it;
  }
  // The CP-type of the connection test below: selectors, contexts 1 and 3,
  // a default context, presentation requirements and one PDV-list.
  static constexpr const char* kFullCp =
      "31 4D A0 03 80 01 01 A2 46 "
      "80 02 07 80 "                 // protocol-version {version-1}
      "81 01 41 "                    // calling selector "A"
      "82 03 52 44 41 "              // called selector "RDA"
      "A4 1E "                       // context-definition list
      "30 0D 02 01 01 06 02 31 01 30 04 06 02 51 01 "
      "30 0D 02 01 03 06 02 31 02 30 04 06 02 51 01 "
      "A6 08 80 02 31 01 81 02 51 01 "  // default-context-name {1 9 1} {2 1 1}
      "88 02 06 80 "                    // presentation-requirements {context-management}
      "61 0A 30 08 02 01 03 A0 03 02 01 05";  // one PDV-list of context 3: INTEGER 5

  int32_t five_ = 5;
};

TEST_F(PpduCodec, ModeSelectorAndBitStringsAreWrittenWithTheirExactBitCounts) {
  CP_type p = normalCp();
  p.normal.presence = kCpVersion | kCpPresRequirements | kCpUserSessRequirements;
  p.normal.protocolVersion = kProtocolVersion1;
  p.normal.presRequirements = 0x80;      // context-management
  p.normal.userSessRequirements = 0x40;  // duplex
  EXPECT_EQ(encodeHex(psFormatCP, &p),
            "31 14 A0 03 80 01 01 A2 0D "
            "80 02 07 80 "     // 1 bit, 7 unused
            "88 02 06 80 "     // 2 bits, 6 unused
            "89 03 05 40 00");  // 11 bits, 5 unused
}

TEST_F(PpduCodec, ConnectPpduCarriesItsMembersAndItsDecoderFillsTheContextTable) {
  initiator();
  CP_type p = normalCp();
  p.normal.presence = kCpVersion | kCpCalling | kCpCalled | kCpContexts | kCpDefault | kCpPresRequirements | kCpUserData;
  p.normal.protocolVersion = kProtocolVersion1;
  p.normal.calling = psel("A");
  p.normal.called = psel("RDA");
  p.normal.contexts.count = 2;
  p.normal.contexts.items[0] = item(1, 1);
  p.normal.contexts.items[1] = item(3, 2);
  p.normal.defaultContext = DfltCtx{ObjId{3, {1, 9, 1}}, ObjId{3, {2, 1, 1}}};
  p.normal.presRequirements = 0x80;
  append(&p.normal.userData, single(3, &five_));
  directMult = 0xFFFFFFFFu;  // as the CP's sender sets it: one transfer syntax, no name
  EXPECT_EQ(encodeHex(psFormatCP, &p), hexOf(hex(kFullCp)));
  directMult = 0;

  // The called side: a new machine with no user yet.
  Pmachine* called = pm_alloc(nullptr, nullptr, nullptr, 0);
  set_Pcalled(called);
  CP_type got{};
  ASSERT_EQ(decode(hex(kFullCp), psParseCP, &got, 7), 0);
  EXPECT_EQ(got.presence, kCpMode | kCpNormal);
  EXPECT_EQ(got.mode.value, kModeNormal);
  EXPECT_EQ(got.normal.presence, p.normal.presence);
  EXPECT_EQ(got.normal.calling.length, 1u);
  EXPECT_EQ(got.normal.contexts.count, 2u);
  EXPECT_EQ(got.normal.contexts.items[1].pctxId, 3);
  EXPECT_EQ(got.normal.contexts.items[1].tsCount, 1u);
  // The hooks ran while the CP was read: the user of "RDA", its contexts
  // and the default context, so that the PDV found its context.
  EXPECT_EQ(called->user, user_);
  EXPECT_EQ(called->userRef, 5u);
  EXPECT_EQ(called->definedCount, 2u);
  EXPECT_EQ(called->pcdt[3].asIdx, rda_);
  EXPECT_EQ(called->pcdt[3].tsIdx, ps_asn1_tsidx);
  EXPECT_EQ(called->dfltAsIdx, acse_);
  ASSERT_EQ(pdvs(got.normal.userData).size(), 1u);
  EXPECT_EQ(pdvs(got.normal.userData)[0]->context, 3u);
  EXPECT_EQ(intOf(pdvs(got.normal.userData)[0]->value), 5);
  EXPECT_EQ(pdvFmtPrs, 0u);
  pm_dealloc(called);
}

TEST_F(PpduCodec, ConnectPpduMembersInAnyOrderReadAsInTheStandardOrder) {
  const Bytes standard = hex(kFullCp);
  // The normal-mode parameters first, then the mode-selector.
  Bytes swapped = slice(standard, 0, 2) + slice(standard, 7, standard.size() - 7) + slice(standard, 2, 5);
  Pmachine* called = pm_alloc(nullptr, nullptr, nullptr, 0);
  set_Pcalled(called);
  CP_type got{};
  ASSERT_EQ(decode(swapped, psParseCP, &got), 0);
  // Written again, it is the standard order.
  directMult = 0xFFFFFFFFu;
  EXPECT_EQ(encodeHex(psFormatCP, &got), hexOf(standard));
  pm_dealloc(called);
}

TEST_F(PpduCodec, ConnectPpduDecodingErrors) {
  struct Case {
    const char* what;
    const char* bytes;
    int32_t err;
  };
  const Case cases[] = {
      {"no mode-selector", "31 02 A2 00", AAE_MSGPARAM},
      {"mode-selector without mode-value", "31 04 A0 00 A2 00", AAE_MSGPARAM},
      {"called selector of no user, no catch-all user", "31 0A A0 03 80 01 01 A2 03 82 01 58",
       static_cast<int32_t>(PE_PSAP_NOT)},
      {"context item without transfer syntax", "31 12 A0 03 80 01 01 A2 0B A4 09 30 07 02 01 01 06 02 31 01",
       AAE_MSGPARAM},
      {"empty transfer-syntax list", "31 14 A0 03 80 01 01 A2 0D A4 0B 30 09 02 01 01 06 02 31 01 30 00",
       AAE_OVFLO},
  };
  for (const Case& c : cases) {
    Pmachine* called = pm_alloc(nullptr, nullptr, nullptr, 0);
    set_Pcalled(called);
    CP_type got{};
    EXPECT_EQ(decode(hex(c.bytes), psParseCP, &got), c.err) << c.what;
    pm_dealloc(called);
  }
}

TEST_F(PpduCodec, UnknownMembersAreSkippedInConnectAndRefusedInAccept) {
  // After the User-data: a [20] that the standard does not know.
  const char* cpBytes =
      "31 2C A0 03 80 01 01 A2 25 82 03 52 44 41 "
      "A4 0F 30 0D 02 01 01 06 02 31 01 30 04 06 02 51 01 "
      "61 0A 30 08 02 01 01 A0 03 02 01 07 94 01 00";
  Pmachine* called = pm_alloc(nullptr, nullptr, nullptr, 0);
  set_Pcalled(called);
  CP_type gotCp{};
  EXPECT_EQ(decode(hex(cpBytes), psParseCP, &gotCp), 0);
  EXPECT_EQ(intOf(pdvs(gotCp.normal.userData)[0]->value), 7);
  // An unknown member of the CP's SET and of its mode-selector too.
  EXPECT_EQ(decode(hex("31 0D A0 06 80 01 01 81 01 09 A2 00 9F 30 00"), psParseCP, &gotCp), 0);
  EXPECT_EQ(aaextensibility, 0u) << "the caller's setting comes back";
  pm_dealloc(called);

  set_Pcalled(pm_);
  initiator();
  CPA_PPDU gotCpa{};
  EXPECT_EQ(decode(hex("31 16 A0 03 80 01 01 A2 0F 61 0A 30 08 02 01 01 A0 03 02 01 07 94 01 00"), psParseCPA,
                   &gotCpa),
            AAE_REQEOC);
  EXPECT_EQ(decode(hex("31 0A A0 06 80 01 01 81 01 09 A2 00"), psParseCPA, &gotCpa), AAE_NOTINSET);
  EXPECT_EQ(decode(hex("31 08 A0 03 80 01 01 9F 30 00"), psParseCPA, &gotCpa), AAE_NOTINSET);
}

TEST_F(PpduCodec, AcceptWithoutVersionOrUserDataReadsAsVersionOneWithoutData) {
  initiator();
  CPA_PPDU got{};
  got.normal.protocolVersion = 0;
  ASSERT_EQ(decode(hex("31 07 A0 03 80 01 01 A2 00"), psParseCPA, &got), 0);
  EXPECT_EQ(got.presence, kCpaMode | kCpaNormal);
  EXPECT_EQ(got.normal.presence, 0u) << "no User-data";
  EXPECT_EQ(got.normal.protocolVersion, kProtocolVersion1);
  EXPECT_EQ(decode(hex("31 0A A0 03 80 01 01 A0 03 80 01 01"), psParseCPA, &got), AAE_DUPPARAM);
  EXPECT_EQ(decode(hex("31 02 A2 00"), psParseCPA, &got), AAE_MSGPARAM);
}

TEST_F(PpduCodec, AcceptResultListIsStoredAsSoonAsItIsRead) {
  initiator();
  // Results: context 1 accepted in BER, context 3 provider-rejected (1);
  // the User-data that follows already sees them.
  const char* bytes =
      "31 29 A0 03 80 01 01 A2 22 "
      "83 01 42 "
      "A5 11 30 07 80 01 00 81 02 51 01 30 06 80 01 02 82 01 01 "
      "61 0A 30 08 02 01 03 A0 03 02 01 07";
  CPA_PPDU got{};
  EXPECT_EQ(decode(hex(bytes), psParseCPA, &got), static_cast<int32_t>(PE_PCTXID_INV))
      << "a PDV of the context just rejected";
  EXPECT_EQ(pm_->pcdt[1].tsIdx, ps_asn1_tsidx);
  EXPECT_EQ(pm_->pcdt[3].result, kPcdtProviderRejected);
  EXPECT_EQ(got.normal.results.count, 2u);
  EXPECT_EQ(got.normal.results.items[1].providerReason, 1);
}

TEST_F(PpduCodec, ListsHoldAtMostTheirLimitAndAtLeastOneItem) {
  const Bytes ctxItem = hex("30 0D 02 01 01 06 02 31 01 30 04 06 02 51 01");
  const Bytes ts = hex("06 02 51 01");
  auto items = [](const Bytes& one, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b = b + one;
    return b;
  };
  auto wrap = [](uint8_t id, const Bytes& contents) {
    Bytes h{id};
    if (contents.size() < 128) {
      h.push_back(static_cast<uint8_t>(contents.size()));
    } else {
      h.push_back(0x82);
      h.push_back(static_cast<uint8_t>(contents.size() >> 8));
      h.push_back(static_cast<uint8_t>(contents.size()));
    }
    return h + contents;
  };
  Context_list list{};
  auto readList = [&](const Bytes& contents) {
    return decodeWith(wrap(0xA4, contents), [&] {
      (void)ber_gettype();
      aContext_list(&list);
    });
  };
  EXPECT_EQ(readList(items(ctxItem, 32)), 0);
  EXPECT_EQ(list.count, 32u);
  EXPECT_EQ(readList(items(ctxItem, 33)), AAE_SEQOFOVFLO);
  EXPECT_EQ(readList({}), AAE_OVFLO);
  const Bytes head = hex("02 01 01 06 02 31 01");
  EXPECT_EQ(readList(wrap(0x30, head + wrap(0x30, items(ts, 4)))), 0);
  EXPECT_EQ(list.items[0].tsCount, 4u);
  EXPECT_EQ(readList(wrap(0x30, head + wrap(0x30, items(ts, 5)))), AAE_SEQOFOVFLO);
  EXPECT_EQ(readList(wrap(0x30, head + wrap(0x30, {}))), AAE_OVFLO);

  P_CtxDelRslt results{};
  EXPECT_EQ(decodeWith(wrap(0xA1, items(hex("02 01 00"), 17)),
                       [&] {
                         (void)ber_gettype();
                         aP_CtxDelRslt(&results);
                       }),
            AAE_SEQOFOVFLO);
  P_CtxIdLst ids{};
  EXPECT_EQ(decodeWith(wrap(0xA0, items(hex("30 07 02 01 01 06 02 51 01"), 33)),
                       [&] {
                         (void)ber_gettype();
                         aP_CtxIdLst(&ids);
                       }),
            AAE_SEQOFOVFLO);
}

TEST_F(PpduCodec, RefusalAbortAndResynchronizePpdus) {
  struct Case {
    const char* what;
    std::function<int64_t()> write;
    const char* bytes;
  };
  CPR_PPDU refusal{};
  refusal.kind = kPpduSequence;
  refusal.normal.presence = kCprDefaultResult | kCprProviderReason;
  refusal.normal.defaultResult = 2;
  refusal.normal.providerReason = 5;
  CPR_PPDU x410Refusal{};
  x410Refusal.kind = kPpduSet;
  x410Refusal.x410.refuseReason = 0;  // written without its presence bit
  Abort_type arp{};
  arp.kind = kPpduSequence;
  Abort_type arpFull{};
  arpFull.kind = kPpduSequence;
  arpFull.arp = ARP_PPDU{kArpReason | kArpEvent, 1, 2};
  Abort_type aru{};
  aru.kind = kPpduAruNormal;
  aru.aru.presence = kAruContextIds;
  aru.aru.contextIds.count = 1;
  aru.aru.contextIds.items[0] = P_CtxIdItem{3, ObjId{3, {2, 1, 1}}};
  Abort_type rtab{};
  rtab.kind = kPpduSet;
  rtab.x410.presence = kAbReason | kAbReflected;
  rtab.x410.abortReason = 4;
  rtab.x410.reflectedParameter = 0x0180;
  RS_PPDU resync{};
  const Case cases[] = {
      {"CPR, normal mode", [&] { return fCPR_PPDU(&refusal); }, "30 06 87 01 02 8A 01 05"},
      {"CPR, X.410 mode", [&] { return fCPR_PPDU(&x410Refusal); }, "31 03 80 01 00"},
      {"empty ARP", [&] { return fAbort_type(&arp); }, "30 00"},
      {"ARP with reason and event", [&] { return fAbort_type(&arpFull); }, "30 06 80 01 01 81 01 02"},
      {"ARU, normal mode", [&] { return fAbort_type(&aru); }, "A0 0B A0 09 30 07 02 01 03 06 02 51 01"},
      {"ARU, X.410 mode", [&] { return fAbort_type(&rtab); }, "31 08 80 01 04 81 03 00 80 01"},
      {"empty RS", [&] { return fRS_PPDU(&resync); }, "30 00"},
  };
  for (const Case& c : cases) EXPECT_EQ(hexOf(encodeWith(c.write)), c.bytes) << c.what;

  // Read back, the refusal's results run through the hooks: the requested
  // default context goes with a default-context-result of 2.
  initiator();
  pm_->dfltAsIdx = acse_;
  pm_->dfltTsIdx = ps_asn1_tsidx;
  CPR_PPDU got{};
  ASSERT_EQ(decode(hex("30 06 87 01 02 8A 01 05"), psParseCPR, &got), 0);
  EXPECT_EQ(got.kind, kPpduSequence);
  EXPECT_EQ(got.normal.presence, kCprDefaultResult | kCprProviderReason);
  EXPECT_EQ(got.normal.protocolVersion, kProtocolVersion1);
  EXPECT_EQ(pm_->dfltAsIdx, -1);
  EXPECT_EQ(decode(hex("31 00"), psParseCPR, &got), AAE_MSGPARAM) << "RTORJ without refuseReason";

  Abort_type gotAbort{};
  ASSERT_EQ(decode(hex("A0 0B A0 09 30 07 02 01 03 06 02 51 01"), psParseAbort, &gotAbort), 0);
  EXPECT_EQ(gotAbort.kind, kPpduAruNormal);
  EXPECT_EQ(gotAbort.aru.contextIds.items[0].pctxId, 3);
  ASSERT_EQ(decode(hex("31 08 80 01 04 81 03 00 80 01"), psParseAbort, &gotAbort), 0);
  EXPECT_EQ(gotAbort.x410.presence, kAbReason | kAbReflected);
  EXPECT_EQ(gotAbort.x410.reflectedParameter, 0x0180u);
  EXPECT_EQ(decode(hex("30 05 80 01 01 05 00"), psParseAbort, &gotAbort), AAE_REQEOC);
  EXPECT_EQ(decode(hex("04 00"), psParseAbort, &gotAbort), AAE_INVVALUE) << "no Abort-type";
}

TEST_F(PpduCodec, X410ModeConnectCarriesTheRtseMembers) {
  CP_type p{};
  p.presence = kCpX410;
  p.mode.value = kModeX410;
  p.x410.presence = kRqWindow | kRqConnData;
  p.x410.windowSize = 5;
  static uint8_t open[] = {0x04, 0x01, 0xAA};
  p.x410.connectionData.kind = RTS_CD_OPEN;
  p.x410.connectionData.open = BerAny{sizeof open, open};
  const char* bytes = "31 11 A0 03 80 01 00 A1 0A 81 01 05 A3 05 A0 03 04 01 AA";
  EXPECT_EQ(encodeHex(psFormatCP, &p), bytes);

  CP_type got{};
  ASSERT_EQ(decode(hex(bytes), psParseCP, &got), 0);
  EXPECT_EQ(got.presence, kCpMode | kCpX410);
  EXPECT_EQ(got.mode.value, kModeX410);
  EXPECT_EQ(got.x410.presence, kRqWindow | kRqConnData);
  EXPECT_EQ(got.x410.windowSize, 5);
  EXPECT_EQ(got.x410.checkpointSize, 0);
  EXPECT_EQ(got.x410.connectionData.kind, RTS_CD_OPEN);
  EXPECT_EQ(decode(hex("31 0A A0 03 80 01 00 A1 03 81 01 05"), psParseCP, &got), AAE_MSGPARAM)
      << "no connectionDataRQ";
  CPA_PPDU gotCpa{};
  EXPECT_EQ(decode(hex("31 0A A0 03 80 01 00 A1 03 81 01 05"), psParseCPA, &gotCpa), AAE_MSGPARAM)
      << "no connectionDataAC";
}

TEST_F(PpduCodec, TypedDataTakesAlterContextAndUserData) {
  define(1, 1, acse_);
  Typed_data_type got{};
  ASSERT_EQ(decode(hex("A0 0B A1 09 02 01 01 02 01 03 02 01 05"), psParseTyped, &got), 0);
  EXPECT_EQ(got.kind, kPpduAc);
  EXPECT_EQ(got.ac.presence, kAcDeletions);
  EXPECT_EQ(got.ac.deletions.count, 3u);
  ASSERT_EQ(decode(hex("61 0A 30 08 02 01 01 A0 03 02 01 09"), psParseTyped, &got), 0);
  EXPECT_EQ(got.kind, kUserDataFull);
  EXPECT_EQ(intOf(pdvs(got.ttd)[0]->value), 9);
  // Written again: the same octets.
  EXPECT_EQ(encodeHex([](void* r) { return fTyped_data_type(static_cast<Typed_data_type*>(r)); }, &got),
            "61 0A 30 08 02 01 01 A0 03 02 01 09");
}

TEST_F(PpduCodec, AnUnknownDiscriminantCannotBeWritten) {
  CPR_PPDU refusal{};
  refusal.kind = 5;
  Abort_type abort{};
  abort.kind = 16385;
  User_data data{};
  data.kind = 8194;
  Typed_data_type typed{};
  typed.kind = 16386;
  const std::function<int64_t()> writes[] = {
      [&] { return fCPR_PPDU(&refusal); },
      [&] { return fAbort_type(&abort); },
      [&] { return fUser_data(&data); },
      [&] { return fTyped_data_type(&typed); },
  };
  for (const auto& w : writes) {
    EXPECT_TRUE(encodeWith(w).empty());
    EXPECT_EQ(lastFormatError_, static_cast<uint32_t>(AAE_NONSPEC));
  }
}

}  // namespace
