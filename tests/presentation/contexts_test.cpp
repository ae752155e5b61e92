#include "presentation/pfixture.h"

namespace {

// The user "RDA" with two abstract syntaxes associated with BER (as ACSE
// and RDA register them), a third transfer syntax that nothing is
// associated with, and a machine of the user.
class PresentationContexts : public PresentationTest {
 protected:
  void SetUp() override {
    PresentationTest::SetUp();
    user_ = activate("RDA", 5);
    acse_ = abstractSyntax("RDA", 1);
    rda_ = abstractSyntax("RDA", 2);
    const uint32_t other[] = {1, 2, 3};
    ASSERT_EQ(p_txfrSynReg(3, other, kEncOctetAligned, &tst[0].routines), kOther);
    pm_ = pm_alloc(nullptr, nullptr, user_, 0);
    ASSERT_NE(pm_, nullptr);
    QvSetOsiError(0);
  }

  static ObjId as(uint32_t n) { return ObjId{3, {1, 9, n}}; }
  static ObjId ber() { return tst[0].id; }
  static ObjId unknownTs() { return ObjId{3, {1, 2, 99}}; }

  static Context_list_item item(int32_t id, ObjId asName, std::initializer_list<ObjId> ts) {
    Context_list_item it{};
    it.pctxId = id;
    it.asName = asName;
    for (const ObjId& t : ts) it.tsNames[it.tsCount++] = t;
    return it;
  }
  static Result_list_item accepted(ObjId ts) { return Result_list_item{kResultTsName, kPcdtAccepted, ts, -1}; }
  static Result_list_item rejected(uint32_t result, int32_t reason) {
    return Result_list_item{kResultProviderReason, result, {}, reason};
  }

  // The initiator's contexts: identifier -> abstract syntax.
  int32_t propose(std::initializer_list<std::pair<int32_t, int32_t>> defs) {
    int32_t list[kPsMaxContexts];
    for (int32_t& d : list) d = -1;
    for (const auto& [id, a] : defs) list[id] = a;
    return store_pcdl_pcdt(list, pm_);
  }

  static constexpr int32_t kOther = 1;
  PsUser* user_ = nullptr;
  int32_t acse_ = -1, rda_ = -1;
  Pmachine* pm_ = nullptr;
};

uint32_t err() { return static_cast<uint32_t>(QvGetOsiError()); }

TEST_F(PresentationContexts, InitiatorsContextsTakeTheirIdentifiersAsSlots) {
  EXPECT_EQ(propose({{1, acse_}, {3, rda_}}), 1);
  EXPECT_EQ(pm_->definedCount, 2u);
  for (int32_t id : {1, 3}) {
    const PcdtEntry& e = pm_->pcdt[id];
    EXPECT_EQ(e.ctxId, id);
    EXPECT_EQ(pm_->idMap[id], id);
    EXPECT_EQ(e.asIdx, id == 1 ? acse_ : rda_);
    EXPECT_EQ(e.tsIdx, -1) << "not settled before the answer";
    EXPECT_EQ(e.tsCount, 1u);
    EXPECT_EQ(e.tsSlots[0], 0);
  }
  EXPECT_EQ(pm_->pcdt[2].ctxId, -1);
}

TEST_F(PresentationContexts, InitiatorsDefinitionListErrorsLeaveNoDefinedContexts) {
  struct Case {
    const char* what;
    int32_t id, as;
    uint32_t err;
  };
  const OctStgV rda = sel("RDA");
  const uint32_t lone[] = {1, 9, 7};
  const int32_t unlinked = p_asynreg(&rda, 3, lone, nullptr, nullptr, 1);
  const Case cases[] = {
      {"even identifier", 2, acse_, PE_PCTXID_INV},
      {"abstract syntax not registered", 5, 9, PE_ASYN_NOT},
      {"no transfer syntax for it", 5, unlinked, PE_SEQUENCE},
  };
  for (const Case& c : cases) {
    clear_ppm(pm_);
    pm_->user = user_;
    EXPECT_EQ(propose({{1, acse_}, {c.id, c.as}}), 0) << c.what;
    EXPECT_EQ(err(), c.err) << c.what;
    EXPECT_EQ(pm_->definedCount, 0u) << c.what;
  }
}

TEST_F(PresentationContexts, RequestedDefaultContextNeedsOneTransferSyntax) {
  EXPECT_EQ(store_dcn_pcdt(-1, pm_), 1);
  EXPECT_EQ(pm_->dfltAsIdx, -1);
  EXPECT_EQ(store_dcn_pcdt(rda_, pm_), 1);
  EXPECT_EQ(pm_->dfltAsIdx, rda_);
  EXPECT_EQ(pm_->dfltTsIdx, 0);
  EXPECT_EQ(store_dcn_pcdt(9, pm_), 0);
  EXPECT_EQ(err(), PE_ASYN_NOT);
  const OctStgV rda = sel("RDA");
  ASSERT_EQ(p_assoc(&rda, rda_, kOther), 1);
  EXPECT_EQ(store_dcn_pcdt(rda_, pm_), 0);
  EXPECT_EQ(err(), PE_SEQUENCE);
}

TEST_F(PresentationContexts, ReceivedContextsTakeOddSlotsAndMapThePeersIdentifiers) {
  Context_list list{};
  list.items[list.count++] = item(7, as(1), {ber()});
  list.items[list.count++] = item(9, as(2), {unknownTs(), ber()});
  EXPECT_EQ(store_prop_pcdt(&list, pm_), 1);
  EXPECT_EQ(pm_->definedCount, 2u);
  const PcdtEntry& first = pm_->pcdt[1];
  const PcdtEntry& second = pm_->pcdt[3];
  EXPECT_EQ(pm_->idMap[1], 7);
  EXPECT_EQ(pm_->idMap[3], 9);
  EXPECT_EQ(first.ctxId, 7) << "the identifier of an accepted slot is its map entry";
  EXPECT_EQ(second.ctxId, 9);
  EXPECT_EQ(first.asIdx, acse_);
  EXPECT_EQ(second.asIdx, rda_);
  EXPECT_EQ(second.tsIdx, 0);
  EXPECT_EQ(second.tsCount, 1u) << "only registered names count";
  EXPECT_EQ(second.result, kPcdtAccepted);
}

TEST_F(PresentationContexts, ReceivedContextsThatCannotBeServedAreProviderRejected) {
  Context_list list{};
  list.items[list.count++] = item(7, as(1), {ber()});
  list.items[list.count++] = item(7, as(2), {ber()});
  list.items[list.count++] = item(4, as(2), {ber()});
  list.items[list.count++] = item(11, as(8), {ber()});
  list.items[list.count++] = item(13, as(2), {unknownTs()});
  list.items[list.count++] = item(15, as(2), {tst[kOther].id});
  list.items[list.count++] = item(-1, as(2), {ber()});
  ASSERT_EQ(store_prop_pcdt(&list, pm_), 1);
  EXPECT_EQ(pm_->definedCount, 7u) << "every item counts";
  struct Want {
    int32_t slot, map, reason;
  };
  const Want rejectedSlots[] = {
      {3, 7, kPcdtReasonNotSpecified},     {5, 4, kPcdtReasonNotSpecified},
      {7, 11, kPcdtReasonAsynNotSupported}, {9, 13, kPcdtReasonTsynNotSupported},
      {11, 15, kPcdtReasonTsynNotSupported}, {13, -1, kPcdtReasonNotSpecified},
  };
  EXPECT_EQ(pm_->pcdt[1].ctxId, 7);
  for (const Want& w : rejectedSlots) {
    const PcdtEntry& e = pm_->pcdt[w.slot];
    EXPECT_EQ(e.ctxId, -1) << w.slot;
    EXPECT_EQ(e.result, kPcdtProviderRejected) << w.slot;
    EXPECT_EQ(e.providerReason, w.reason) << w.slot;
    EXPECT_EQ(pm_->idMap[w.slot], w.map) << w.slot << ": the map keeps the peer's identifier";
  }
  // The result list a responder sends: one item per slot, in order.
  Result_list out{};
  set_pcdt_rslt(pm_, &out);
  ASSERT_EQ(out.count, 7u);
  EXPECT_EQ(out.items[0].result, kPcdtAccepted);
  EXPECT_EQ(out.items[0].presence, kResultTsName);
  EXPECT_EQ(ul_objidcmp(&out.items[0].tsName, &tst[0].id), 1);
  for (uint32_t i = 1; i < 7; ++i) {
    EXPECT_EQ(out.items[i].result, kPcdtProviderRejected) << i;
    EXPECT_EQ(out.items[i].presence, kResultProviderReason) << i;
    EXPECT_EQ(out.items[i].providerReason, rejectedSlots[i - 1].reason) << i;
  }
}

TEST_F(PresentationContexts, ReceivedListLongerThanTheTableIsRefusedWhole) {
  Context_list list{};
  for (int32_t i = 0; i < 17; ++i) list.items[list.count++] = item(2 * i + 1, as(1), {ber()});
  EXPECT_EQ(store_prop_pcdt(&list, pm_), 0);
  EXPECT_EQ(err(), PE_NO_RESOURCES);
  EXPECT_EQ(pm_->definedCount, 0u);
  for (int32_t s = 0; s < kPsMaxContexts; ++s) {
    EXPECT_EQ(pm_->pcdt[s].ctxId, -1) << s;
    EXPECT_EQ(pm_->idMap[s], -1) << s;
  }
  // Sixteen fill the odd slots.
  list.count = 16;
  EXPECT_EQ(store_prop_pcdt(&list, pm_), 1);
  EXPECT_EQ(pm_->pcdt[31].ctxId, 31);
}

TEST_F(PresentationContexts, RespondingUserAcceptsOrRejectsAcceptedContexts) {
  Context_list list{};
  list.items[list.count++] = item(1, as(1), {ber()});
  list.items[list.count++] = item(3, as(2), {ber()});
  list.items[list.count++] = item(5, as(8), {ber()});
  ASSERT_EQ(store_prop_pcdt(&list, pm_), 1);
  int32_t results[kPsMaxContexts] = {};
  results[3] = 1;
  results[5] = 7;  // a provider-rejected slot is not looked at
  EXPECT_EQ(store_pcrl_pcdt(results, pm_), 1);
  EXPECT_EQ(pm_->pcdt[1].ctxId, 1);
  EXPECT_EQ(pm_->pcdt[3].ctxId, -1);
  EXPECT_EQ(pm_->pcdt[3].result, kPcdtUserRejected);
  Result_list out{};
  set_pcdt_rslt(pm_, &out);
  ASSERT_EQ(out.count, 3u);
  EXPECT_EQ(out.items[1].result, kPcdtUserRejected);
  EXPECT_EQ(out.items[1].presence, 0u);
  results[1] = 2;
  EXPECT_EQ(store_pcrl_pcdt(results, pm_), 0);
  EXPECT_EQ(err(), PE_SEQUENCE);
}

TEST_F(PresentationContexts, AnswerSettlesTheInitiatorsContexts) {
  ASSERT_EQ(propose({{1, acse_}, {3, rda_}, {5, rda_}}), 1);
  Result_list list{};
  list.items[list.count++] = accepted(ber());
  list.items[list.count++] = rejected(kPcdtProviderRejected, kPcdtReasonTsynNotSupported);
  // One result too few: refused before any is read.
  EXPECT_EQ(store_rslt_pcdt(&list, pm_), 0);
  EXPECT_EQ(err(), PE_PCTXID_NOT);
  EXPECT_EQ(pm_->pcdt[1].tsIdx, -1);
  EXPECT_EQ(pm_->pcdt[3].ctxId, 3);
  list.items[list.count++] = rejected(kPcdtUserRejected, -1);
  EXPECT_EQ(store_rslt_pcdt(&list, pm_), 1);
  EXPECT_EQ(pm_->pcdt[1].tsIdx, 0);
  EXPECT_EQ(pm_->pcdt[3].ctxId, -1);
  EXPECT_EQ(pm_->pcdt[3].providerReason, kPcdtReasonTsynNotSupported);
  EXPECT_EQ(pm_->idMap[3], 3);
  EXPECT_EQ(pm_->pcdt[5].ctxId, -1);
  EXPECT_EQ(pm_->pcdt[5].result, kPcdtUserRejected);
}

TEST_F(PresentationContexts, AcceptanceInAnUnregisteredTransferSyntaxIsRefused) {
  ASSERT_EQ(propose({{1, acse_}}), 1);
  Result_list list{};
  list.items[list.count++] = accepted(unknownTs());
  EXPECT_EQ(store_rslt_pcdt(&list, pm_), 0);
  EXPECT_EQ(err(), PE_TSYN_INV);
  list.items[0].presence = 0;  // no name at all
  EXPECT_EQ(store_rslt_pcdt(&list, pm_), 0);
  EXPECT_EQ(err(), PE_TSYN_INV);
}

// The hooks run inside the decoder's pass: a failure ends the pass with its
// number in the parse error word (the machine's last error), not in
// osi_errno.
TEST_F(PresentationContexts, CalledSelectorFindsTheUserOrFailsTheParse) {
  const uint8_t rda[] = {'R', 'D', 'A'}, other[] = {'Q'};
  Pmachine* called = pm_alloc(nullptr, nullptr, nullptr, 0);
  ASSERT_NE(called, nullptr);
  EXPECT_EQ(underParse(called, [&] { hitCpCled(3, rda); }), 0);
  EXPECT_EQ(called->user, user_);
  EXPECT_EQ(called->userRef, 5u);
  EXPECT_EQ(psap_cmp_os(&called->localPsel, 3, rda), 0);
  // No user of that selector and no catch-all user.
  called->user = nullptr;
  EXPECT_EQ(underParse(called, [&] { hitCpCled(1, other); }), static_cast<int32_t>(PE_PSAP_NOT));
  EXPECT_EQ(QvGetOsiError(), 0);
  EXPECT_EQ(called->user, nullptr);
  // The catch-all user takes it, with its own reference.
  PsUser* dflt = activate("D", 66, kPsModeDefault);
  EXPECT_EQ(underParse(called, [&] { hitCpCled(1, other); }), 0);
  EXPECT_EQ(called->user, dflt);
  EXPECT_EQ(called->userRef, 66u);
  EXPECT_EQ(psap_cmp_os(&called->localPsel, 1, other), 0);
  pm_dealloc(called);
}

TEST_F(PresentationContexts, ProposedContextsAndDefaultOfAReceivedConnect) {
  Pmachine* called = pm_alloc(nullptr, nullptr, nullptr, 0);
  ASSERT_NE(called, nullptr);
  Context_list list{};
  list.items[list.count++] = item(7, as(1), {ber()});
  // Without a called selector and without a user of the empty selector:
  // nothing stored.
  EXPECT_EQ(underParse(called, [&] { hitCpProP(&list); }), 0);
  EXPECT_EQ(called->definedCount, 0u);
  PsUser* empty = activate("", 3);
  ASSERT_EQ(p_asynreg(&empty->addr.psel, 3, as(1).arcs, nullptr, nullptr, 1), 0);
  ASSERT_EQ(p_assoc(&empty->addr.psel, 0, 0), 1);
  EXPECT_EQ(underParse(called, [&] { hitCpProP(&list); }), 0);
  EXPECT_EQ(called->user, empty);
  EXPECT_EQ(called->pcdt[1].ctxId, 7);
  // Default context: registered and associated, else provider-rejected.
  const ObjId asName = as(1), tsName = ber(), other = tst[kOther].id;
  EXPECT_EQ(underParse(called, [&] { hitCpDflt(&asName, &tsName); }), 0);
  EXPECT_EQ(called->dfltAsIdx, 0);
  EXPECT_EQ(called->dfltTsIdx, 0);
  EXPECT_EQ(called->dfltResult, kPcdtAccepted);
  EXPECT_EQ(underParse(called, [&] { hitCpDflt(&asName, &other); }), 0);
  EXPECT_EQ(called->dfltAsIdx, -1);
  EXPECT_EQ(called->dfltTsIdx, -1);
  EXPECT_EQ(called->dfltResult, kPcdtProviderRejected);
  // A list past the table ends the parse.
  for (int32_t i = 1; i < 17; ++i) list.items[list.count++] = item(2 * i + 7, as(1), {ber()});
  Pmachine* big = pm_alloc(nullptr, nullptr, empty, 0);
  EXPECT_EQ(underParse(big, [&] { hitCpProP(&list); }), static_cast<int32_t>(PE_NO_RESOURCES));
  EXPECT_EQ(big->definedCount, 0u);
  EXPECT_EQ(QvGetOsiError(), 0);
  pm_dealloc(big);
  pm_dealloc(called);
}

TEST_F(PresentationContexts, AnswerHooksStoreResultsOrFailTheParse) {
  ASSERT_EQ(propose({{1, acse_}, {3, rda_}}), 1);
  Result_list shortList{};
  shortList.items[shortList.count++] = accepted(ber());
  EXPECT_EQ(underParse(pm_, [&] { hitCpaProP(&shortList); }), static_cast<int32_t>(PE_PCTXID_NOT));
  EXPECT_EQ(QvGetOsiError(), 0) << "hook errors travel in the parse error word";
  EXPECT_EQ(underParse(pm_, [&] { hitCprProP(&shortList); }), static_cast<int32_t>(PE_PCTXID_NOT));
  Result_list list = shortList;
  list.items[list.count++] = accepted(ber());
  EXPECT_EQ(underParse(pm_, [&] { hitCpaProP(&list); }), 0);
  EXPECT_EQ(pm_->pcdt[3].tsIdx, 0);
  // No contexts defined: the results are not looked at.
  Pmachine* bare = pm_alloc(nullptr, nullptr, user_, 0);
  EXPECT_EQ(underParse(bare, [&] { hitCpaProP(&shortList); }), 0);
  // A rejected default context is dropped.
  ASSERT_EQ(store_dcn_pcdt(rda_, bare), 1);
  EXPECT_EQ(underParse(bare, [&] { hitCprDflt(0); }), 0);
  EXPECT_EQ(bare->dfltAsIdx, rda_);
  EXPECT_EQ(underParse(bare, [&] { hitCprDflt(2); }), 0);
  EXPECT_EQ(bare->dfltAsIdx, -1);
  EXPECT_EQ(bare->dfltTsIdx, -1);
  pm_dealloc(bare);
}

}  // namespace
