#include <vector>

#include "presentation/pfixture.h"

namespace {

using SyntaxRegistry = PresentationTest;

uint32_t err() { return static_cast<uint32_t>(QvGetOsiError()); }

TEST_F(SyntaxRegistry, StartUpRegistersBasicEncodingFirst) {
  EXPECT_EQ(ntst, 1u);
  EXPECT_EQ(ps_asn1_tsidx, 0);
  const ObjId ber{3, {2, 1, 1}};
  EXPECT_EQ(ul_objidcmp(&tst[0].id, &ber), 1);
  EXPECT_EQ(tst[0].encoding, kEncSingleAsn1);
  EXPECT_EQ(tst[0].routines.getInt, ber_getint);
  EXPECT_EQ(tst[0].routines.addLong, ber_addlong);
  EXPECT_EQ(tst[0].routines.aSetUp, aSetUp);
  EXPECT_EQ(freeall, 0u);
  for (int32_t t = 1; t < kPsMaxTsyn; ++t) EXPECT_EQ(tst[t].id.count, kPsFreeEntry);
  EXPECT_EQ(current_fmt_tsidx, -1);
  EXPECT_EQ(current_prs_tsidx, -1);
}

TEST_F(SyntaxRegistry, TransferSyntaxRegistrationChecksAndLimits) {
  const TsRoutines& ber = tst[0].routines;
  const uint32_t berArcs[] = {2, 1, 1};
  EXPECT_EQ(p_txfrSynReg(3, berArcs, kEncSingleAsn1, &ber), -1);
  EXPECT_EQ(err(), PE_TSYN_USED);
  TsRoutines gap = ber;
  gap.peekType = nullptr;
  const uint32_t a[] = {1, 2, 3};
  const uint32_t secondArc40[] = {1, 40};
  const uint32_t seventeen[17] = {1, 2};
  struct Case {
    const char* what;
    uint32_t count;
    const uint32_t* arcs;
    uint32_t encoding;
    const TsRoutines* routines;
    uint32_t err;
  };
  const Case cases[] = {
      {"one arc", 1, a, kEncOctetAligned, &ber, PE_TSYN_INV},
      {"17 arcs", 17, seventeen, kEncOctetAligned, &ber, PE_TSYN_INV},
      {"second arc 40", 2, secondArc40, kEncOctetAligned, &ber, PE_TSYN_INV},
      {"encoding kind", 3, a, 16387, &ber, PE_ENC_INV},
      {"no routines", 3, a, kEncOctetAligned, nullptr, PE_MISS_PARM},
      {"a routine missing", 3, a, kEncOctetAligned, &gap, PE_MISS_RTN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(p_txfrSynReg(c.count, c.arcs, c.encoding, c.routines), -1) << c.what;
    EXPECT_EQ(err(), c.err) << c.what;
  }
  EXPECT_EQ(ntst, 1u);
  // Three more fill the table; a fifth is refused.
  for (uint32_t n = 3; n <= 5; ++n) {
    const uint32_t arcs[] = {1, 2, n};
    EXPECT_EQ(p_txfrSynReg(3, arcs, kEncOctetAligned, &ber), static_cast<int32_t>(n - 2));
    EXPECT_EQ(err(), 0u);
  }
  const uint32_t fifth[] = {1, 2, 6};
  EXPECT_EQ(p_txfrSynReg(3, fifth, kEncOctetAligned, &ber), -1);
  EXPECT_EQ(err(), PE_NO_RESOURCES);
}

TEST_F(SyntaxRegistry, LookupsSkipDeregisteredEntriesAnywhereInTheTable) {
  const TsRoutines& ber = tst[0].routines;
  const uint32_t a[] = {1, 2, 3}, b[] = {1, 2, 4};
  ASSERT_EQ(p_txfrSynReg(3, a, kEncOctetAligned, &ber), 1);
  ASSERT_EQ(p_txfrSynReg(3, b, kEncArbitrary, &ber), 2);
  ASSERT_EQ(p_tsyndereg(1), 1);
  EXPECT_EQ(ntst, 2u);
  // Entry 2 lies past the count of entries in use.
  const ObjId idB{3, {1, 2, 4}}, idA{3, {1, 2, 3}}, prefix{2, {1, 2}};
  EXPECT_EQ(find_tsidx_obj(&idB), 2);
  EXPECT_EQ(find_tsidx_obj(&idA), -1);
  EXPECT_EQ(find_tsidx_obj(&prefix), -1) << "identifiers compare whole";
  EXPECT_EQ(find_tsidx_num(1), 0);
  EXPECT_EQ(find_tsidx_num(2), 1);
  EXPECT_EQ(p_tsyndereg(1), 0);
  EXPECT_EQ(err(), PE_TSYN_NOT);
  EXPECT_EQ(p_tsyndereg(4), 0);
  EXPECT_EQ(err(), PE_TSYN_INV);
  // The free entry is taken again first.
  EXPECT_EQ(p_txfrSynReg(3, a, kEncOctetAligned, &ber), 1);
}

TEST_F(SyntaxRegistry, AbstractSyntaxRegistrationChecksAndLimits) {
  activate("A");
  activate("X");
  const OctStgV psap = sel("A"), unknown = sel("Q"), tooLong = sel("ABCDEFGHIJKLMNOP");
  const uint32_t id[] = {1, 9, 0};
  const uint32_t seventeen[17] = {1, 2, 3};
  const uint32_t secondArc40[] = {1, 40, 1};
  const uint32_t firstArc3[] = {3, 1};
  auto parse = [](void* v) -> void* { return v; };
  auto format = [](void*) -> int64_t { return 1; };
  struct Case {
    const char* what;
    const OctStgV* psap;
    uint32_t count;
    const uint32_t* arcs;
    AaParseFn parse;
    AaFormatFn format;
    uint32_t preEncoded;
    uint32_t err;
  };
  const Case cases[] = {
      {"selector of 16 octets", &tooLong, 3, id, parse, format, 0, PE_PSAP_INV},
      {"17 arcs", &psap, 17, seventeen, parse, format, 0, PE_ASYN_INV},
      {"second arc 40", &psap, 3, secondArc40, parse, format, 0, PE_ASYN_INV},
      {"first arc 3", &psap, 2, firstArc3, parse, format, 0, PE_ASYN_INV},
      {"no such user", &unknown, 3, id, parse, format, 0, PE_PSAP_NOT},
      {"pre-encoded with a routine", &psap, 3, id, nullptr, format, 1, PE_NO_RTN},
      {"no parse routine", &psap, 3, id, nullptr, format, 0, PE_MISS_RTN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(p_asynreg(c.psap, c.count, c.arcs, c.parse, c.format, c.preEncoded), -1) << c.what;
    EXPECT_EQ(err(), c.err) << c.what;
  }
  EXPECT_EQ(p_asynreg(&psap, 3, id, nullptr, nullptr, 1), 0) << "pre-encoded";
  EXPECT_EQ(p_asynreg(&psap, 3, id, parse, format, 0), -1);
  EXPECT_EQ(err(), PE_ASYN_USED);
  const OctStgV other = sel("X");
  EXPECT_EQ(p_asynreg(&other, 3, id, parse, format, 0), 0) << "another user's table";
  for (uint32_t n = 1; n < 16; ++n) {
    const uint32_t arcs[] = {1, 9, n};
    EXPECT_EQ(p_asynreg(&psap, 3, arcs, parse, format, 0), static_cast<int32_t>(n));
  }
  const uint32_t seventeenth[] = {1, 9, 16};
  EXPECT_EQ(p_asynreg(&psap, 3, seventeenth, parse, format, 0), -1);
  EXPECT_EQ(err(), PE_NO_RESOURCES);
  // A freed entry is taken again.
  EXPECT_EQ(p_asyndereg(&psap, 4), 1);
  EXPECT_EQ(p_asyndereg(&psap, 4), 0);
  EXPECT_EQ(err(), PE_ASYN_NOT);
  EXPECT_EQ(p_asyndereg(&psap, 16), 0);
  EXPECT_EQ(err(), PE_ASYN_INV);
  EXPECT_EQ(p_asynreg(&psap, 3, seventeenth, parse, format, 0), 4);
}

TEST_F(SyntaxRegistry, AssociationOfAbstractAndTransferSyntaxes) {
  PsUser* u = activate("A");
  const OctStgV psap = sel("A");
  const int32_t as = abstractSyntax("A", 1);  // associated with BER
  EXPECT_EQ(find_tsidx_as_ts(as, 0, &u->asTable), 1);
  EXPECT_EQ(u->asTable.entries[as].tsCount, 1u);
  struct Case {
    const char* what;
    int32_t as, ts;
    uint32_t err;
  };
  const Case assoc[] = {
      {"already associated", as, 0, PE_TSYN_USED},
      {"transfer syntax not registered", as, 2, PE_TSYN_NOT},
      {"transfer-syntax index", as, 4, PE_TSYN_INV},
      {"abstract syntax not registered", 5, 0, PE_ASYN_NOT},
      {"abstract-syntax index", -1, 0, PE_ASYN_INV},
  };
  for (const Case& c : assoc) {
    EXPECT_EQ(p_assoc(&psap, c.as, c.ts), 0) << c.what;
    EXPECT_EQ(err(), c.err) << c.what;
  }
  EXPECT_EQ(p_deassoc(&psap, as, 0), 1);
  EXPECT_EQ(find_tsidx_as_ts(as, 0, &u->asTable), 0);
  EXPECT_EQ(u->asTable.entries[as].tsCount, 0u);
  EXPECT_EQ(p_deassoc(&psap, as, 0), 0);
  EXPECT_EQ(err(), PE_SEQUENCE);
  EXPECT_EQ(find_tsidx_as_ts(9, 0, &u->asTable), 0) << "free entry";
}

TEST_F(SyntaxRegistry, IdentifierQueries) {
  activate("A");
  const OctStgV psap = sel("A");
  const uint32_t six[] = {1, 2, 826, 0, 1050, 3};
  const int32_t as = p_asynreg(&psap, 6, six, nullptr, nullptr, 1);
  ASSERT_EQ(as, 0);
  // Too small a buffer: the difference, nothing copied.
  std::vector<uint32_t> arcs(6, 0xEE);
  uint32_t capacity = 4;
  EXPECT_EQ(p_get_asyn_id(&psap, as, &capacity, arcs.data()), -2);
  EXPECT_EQ(arcs, std::vector<uint32_t>(6, 0xEE));
  capacity = 6;
  EXPECT_EQ(p_get_asyn_id(&psap, as, &capacity, arcs.data()), 1);
  EXPECT_EQ(arcs, std::vector<uint32_t>(six, six + 6));
  EXPECT_EQ(capacity, 6u);
  capacity = 6;
  EXPECT_EQ(p_get_asyn_id(&psap, 3, &capacity, arcs.data()), 0);
  EXPECT_EQ(err(), PE_ASYN_NOT);
  capacity = 2;
  EXPECT_EQ(p_get_tsyn_id(0, &capacity, arcs.data()), -1);
  capacity = 3;
  EXPECT_EQ(p_get_tsyn_id(0, &capacity, arcs.data()), 1);
  EXPECT_EQ(arcs[0], 2u);
  EXPECT_EQ(p_get_tsyn_id(1, &capacity, arcs.data()), 0);
  EXPECT_EQ(err(), PE_TSYN_NOT);
  // By identifier.
  EXPECT_EQ(p_find_asidx(&psap, 6, six), 0);
  EXPECT_EQ(p_find_asidx(&psap, 5, six), -1);
  EXPECT_EQ(err(), PE_ASYN_NOT);
  const OctStgV unknown = sel("Q");
  EXPECT_EQ(p_find_asidx(&unknown, 6, six), -1);
  EXPECT_EQ(err(), PE_PSAP_NOT);
  const uint32_t ber[] = {2, 1, 1};
  EXPECT_EQ(p_find_tsidx(3, ber), 0);
  EXPECT_EQ(p_find_tsidx(2, ber), -1);
}

TEST_F(SyntaxRegistry, SlotArithmetic) {
  const int32_t proposed[] = {-1, 1, 2, -1}, supported[] = {-1, -1, 2, 3}, none[] = {-1, -1, -1, -1};
  EXPECT_EQ(locate_first_tsidx(proposed, supported), 2);
  EXPECT_EQ(locate_first_tsidx(proposed, none), -1);
  EXPECT_EQ(find_tsidx_highest(supported), 3);
  EXPECT_EQ(find_tsidx_highest(none), -1);
  EXPECT_EQ(P_tempConvert(5, 0), 5u);
  EXPECT_EQ(P_tempConvert(5, 7), 7u);
  EXPECT_EQ(P_tempConvert(0, 0), 0u);
}

TEST_F(SyntaxRegistry, ContextBeingCodedNamesItsAbstractSyntax) {
  PsUser* u = activate("A");
  const int32_t as = abstractSyntax("A", 3);
  Pmachine* pm = pm_alloc(nullptr, nullptr, u, 0);
  ASSERT_NE(pm, nullptr);
  pm->pcdt[1].asIdx = as;
  pm->connRef = 42;
  set_Pcalled(pm);
  curr_format_context_ID = 1;
  curr_parse_context_ID = 0;
  EXPECT_EQ(get_format_pcontext(), &u->asTable.entries[as]);
  EXPECT_EQ(get_parse_pcontext(), nullptr) << "identifiers below 1";
  curr_parse_context_ID = 3;
  EXPECT_EQ(get_parse_pcontext(), nullptr) << "a slot without abstract syntax";
  EXPECT_EQ(p_get_apref(), 42u);
  EXPECT_EQ(p_get_pcep_id(), pm);
  pm_dealloc(pm);
  EXPECT_EQ(pP, nullptr);
}

}  // namespace
