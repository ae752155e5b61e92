// RDA event codes, the tags of their IDU alternatives, and the GIDUs built
// for them: what the constructor prepares, where it hangs the IDU, and the
// copies the builders share.
#include <cstring>
#include <vector>

#include "asn1/codec_fixture.h"
#include "src/acse/gidu.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"
#include "support/trace_capture.h"
#include "support/xm_count.h"

namespace {

void* ref(uintptr_t v) { return reinterpret_cast<void*>(v); }

TEST(RdaEventCode, FamiliesFollowTheLayout) {
  for (uint32_t k = 0; k < kRdaServiceCount; ++k) {
    EXPECT_EQ(rdaRequestEvent(k), 0x8000 + 16 * k);
    EXPECT_EQ(al_serviceOf(rdaRequestEvent(k)), k);
    EXPECT_EQ(al_serviceOf(rdaResponseEvent(k)), 13 + k);
    EXPECT_EQ(al_serviceOf(rdaErrorEvent(k)), 26 + k);
  }
  EXPECT_EQ(RDA_INIT_IND, 0x8004u);
  EXPECT_EQ(RDA_INIT_CNF, 0x80D6u);
  EXPECT_EQ(RDA_INIT_ECNF, 0x81A6u);
  EXPECT_EQ(RDA_TERM_RSP, 0x80E2u);
  EXPECT_EQ(RDA_BGNTRANS_ERSP, 0x81C2u);
  EXPECT_EQ(RDA_COMMIT_ERSP, 0x81D2u);
  EXPECT_EQ(RDA_DROPDBL_ERSP, 0x8262u);
  EXPECT_EQ(RDA_EXECDBL_CNF, 0x8166u);
  EXPECT_EQ(al_serviceOf(RDA_SUR_NXTEVENT_REQ), 55u);
  EXPECT_EQ(al_serviceOf(AL_A_PABORT_IND), 5u) << "0x48054 is looked up as 0x8054";
}

TEST(RdaEventTag, EventsMapToTheirAlternatives) {
  const struct {
    uint32_t event;
    uint32_t tag;
  } cases[] = {
      {0x8000, 0x4000}, {0x8004, 0x4001}, {0x8008, 0x4001}, {0x800C, 0x4001}, {0x8010, 0x4003},
      {0x8018, 0x4002}, {0x80C0, 0x4019}, {0x80D2, 0x4001}, {0x80D6, 0x4001}, {0x80DA, 0x4002},
      {0x80E2, 0x4004}, {0x8192, 0x401A}, {0x81A2, 0x4001}, {0x81A6, 0x4001}, {0x81AA, 0x4002},
      {0x81B6, 0x4004}, {0x81C2, 0x4006}, {0x81D2, 0x4008}, {0x8262, 0x401A}, {0x480D6, 0x4001},
      {0x48018, 0x4002},
  };
  for (const auto& c : cases) EXPECT_EQ(rda_getRdaEventTag(c.event), c.tag) << std::hex << c.event;
}

using RdaGidu = XmCountTest;

TEST_F(RdaGidu, RequestResponseAndErrorBodiesFollowOpIdAndOutcome) {
  const struct {
    uint32_t event;
    uint32_t tag;
    uint32_t outcome;  // 0: none written
  } cases[] = {
      {RDA_INIT_REQ, RDA_INIT_RI, 0},
      {RDA_EXECDBL_REQ, RDA_EXECDBL_RI, 0},
      {RDA_EXECDBL_IND, RDA_EXECDBL_RI, 0},
      {RDA_INIT_RSP, RDA_INIT_RC, RDA_OUTCOME_RESULT},
      {RDA_OPEN_CNF, RDA_OPEN_RC, RDA_OUTCOME_RESULT},
      {RDA_INIT_ERSP, RDA_INIT_RC, RDA_OUTCOME_ERROR},
      {RDA_COMMIT_ERSP, RDA_COMMIT_RC, RDA_OUTCOME_ERROR},
      {RDA_DROPDBL_ECNF, RDA_DROPDBL_RC, RDA_OUTCOME_ERROR},
      {RDA_BGNTRANS_ERSP, RDA_BGNTRANS_RC, 0},  // the error follows opId directly
  };
  for (const auto& c : cases) {
    void* body = ref(1);
    GIDU* g = rda_createGiduWithRdaIdu(nullptr, c.event, 77, &body);
    ASSERT_NE(g, nullptr) << std::hex << c.event;
    EXPECT_EQ(g->iduType, AL_IDU_RDA);
    EXPECT_EQ(g->event, c.event);
    auto* idu = static_cast<RDAIdu*>(g->idu);
    EXPECT_EQ(idu->tag, c.tag) << std::hex << c.event;
    EXPECT_EQ(idu->init_RI.opId, 77);
    if (c.tag == RDA_BGNTRANS_RC) {
      EXPECT_EQ(body, &idu->bgnTrans_RC.error);
    } else if (c.outcome != 0) {
      EXPECT_EQ(idu->init_RC.outcome, c.outcome) << std::hex << c.event;
      EXPECT_EQ(body, &idu->init_RC.result) << std::hex << c.event;
      EXPECT_EQ(body, &idu->commit_RC.error);
    } else {
      EXPECT_EQ(body, &idu->init_RI.req) << std::hex << c.event;
      EXPECT_EQ(body, &idu->execDBL_RI.req);
    }
    al_deleteGidu(g);
  }
}

TEST_F(RdaGidu, BeginTransactionErrorHasNoOutcomeWordAndCommitErrorHasOne) {
  void* body = nullptr;
  GIDU* bt = rda_createGiduWithRdaIdu(nullptr, 0x81C2, 5, &body);
  ASSERT_NE(bt, nullptr);
  uint32_t words[4];
  std::memcpy(words, bt->idu, sizeof words);
  EXPECT_EQ(words[0], 0x4006u);
  EXPECT_EQ(words[2], 5u) << "opId";
  EXPECT_EQ(words[3], 0u) << "no outcome word";
  GIDU* cmt = rda_createGiduWithRdaIdu(nullptr, 0x81D2, 5, &body);
  ASSERT_NE(cmt, nullptr);
  std::memcpy(words, cmt->idu, sizeof words);
  EXPECT_EQ(words[3], 0x4001u);
  al_deleteGidu(bt);
  al_deleteGidu(cmt);
}

TEST_F(RdaGidu, ActivateIsPrivate99WithTheAeIdentifierPlaceAndNoOpId) {
  void* body = nullptr;
  GIDU* g = rda_createGiduWithRdaIdu(nullptr, AL_ACT_REQ, 1234, &body);
  ASSERT_NE(g, nullptr);
  auto* idu = static_cast<RDAIdu*>(g->idu);
  EXPECT_EQ(idu->tag, 0x6063u);
  EXPECT_EQ(body, &idu->activate.aeId);
  EXPECT_EQ(idu->activate.aeId, nullptr);
  EXPECT_EQ(idu->init_RI.opId, 0) << "the operation id is not stored";
  al_deleteGidu(g);
}

TEST_F(RdaGidu, EmptyAlternativeGivesNoBody) {
  for (uint32_t event : {0x8018u, 0x80DAu, 0x81AAu}) {
    void* body = ref(1);
    GIDU* g = rda_createGiduWithRdaIdu(nullptr, event, 9, &body);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(body, nullptr) << std::hex << event;
    EXPECT_EQ(static_cast<RDAIdu*>(g->idu)->tag, RDA_EMPTY);
    EXPECT_EQ(static_cast<RDAIdu*>(g->idu)->init_RI.opId, 0) << "nothing else is set";
    al_deleteGidu(g);
  }
}

TEST_F(RdaGidu, IduHangsInItsOwnTreeUnderTheGiduAndGoesWithIt) {
  TemplateGidu* tmpl = rda_createTemplateGidu(ref(1), ref(3), ref(2), ref(4));
  ASSERT_NE(tmpl, nullptr);
  const long withTemplate = xmLive();
  void* body = nullptr;
  GIDU* g = rda_createGiduWithRdaIdu(tmpl, RDA_OPEN_REQ, 3, &body);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->ue, ref(1));
  EXPECT_EQ(g->pe, ref(2));
  EXPECT_EQ(g->uc, ref(3));
  EXPECT_EQ(g->pc, ref(4));
  EXPECT_EQ(g->next, g);
  EXPECT_EQ(g->prev, g);
  XmTree* iduTree = xm_getParentOfItem(g->idu);
  EXPECT_NE(iduTree, xm_getParentOfItem(g));
  EXPECT_EQ(xm_getParentOfTree(iduTree), xm_getParentOfItem(g));
  // What a builder allocates in the IDU's tree goes with the GIDU too.
  auto* open = static_cast<RDAOpen_Req*>(body);
  open->dataResourceName = static_cast<char*>(_xm_allocItem(iduTree, 16, XM_ZERO));
  ASSERT_NE(open->dataResourceName, nullptr);
  al_deleteGidu(g);
  EXPECT_EQ(xmLive(), withTemplate);
  al_deleteGidu(tmpl);
}

TEST_F(RdaGidu, IduIsLargeEnoughForEitherFamily) {
  GIDU* g = rda_createGiduWithRdaIdu(nullptr, RDA_COMMIT_CNF, 1, nullptr);
  ASSERT_NE(g, nullptr);
  // Under the address sanitizer a record of the smaller family would fail here.
  auto* octets = static_cast<uint8_t*>(g->idu);
  EXPECT_EQ(octets[sizeof(RDAIdu) - 1], 0);
  EXPECT_EQ(octets[sizeof(RDAXOPENIdu) - 1], 0);
  al_deleteGidu(g);
}

TEST_F(RdaGidu, NoMemoryLeavesNothingAndTraces) {
  TraceCapture trace({{&rda_comTMHandle, "RDA : ", 0x08}});
  const long withTrace = xmLive();
  // al_createGidu takes two allocations, the IDU with its tree two more.
  for (long budget = 0; budget < 4; ++budget) {
    void* body = ref(1);
    EXPECT_EQ(withBudget(budget, [&] { return rda_createGiduWithRdaIdu(nullptr, RDA_INIT_REQ, 1, &body); }),
              nullptr);
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(xmLive(), withTrace) << budget;
  }
  EXPECT_EQ(trace.count("*** rda_createGiduWithRdaIdu: can't create gidu\n"), 2u);
  EXPECT_EQ(trace.count("*** rda_createGiduWithRdaIdu: can't create rdaIdu content\n"), 2u);
  for (long budget : {0L, 1L}) {
    EXPECT_EQ(withBudget(budget, [] { return rda_createTemplateGidu(nullptr, nullptr, nullptr, nullptr); }),
              nullptr);
    EXPECT_EQ(xmLive(), withTrace);
  }
}

TEST_F(RdaGidu, EventAndTagAreTracedAtLevel0x40) {
  TraceCapture trace({{&rda_comTMHandle, "RDA : ", 0x40}});
  GIDU* g = rda_createGiduWithRdaIdu(nullptr, RDA_CLOSE_ERSP, 1, nullptr);
  al_deleteGidu(g);
  EXPECT_TRUE(trace.contains("RDA event type=8222\n"));
  EXPECT_TRUE(trace.contains("RDA idu tag=4012\n"));
}

TEST_F(RdaGidu, TemplateHoldsReferencesInGiduOrderAndIsUpdatedInPlace) {
  TemplateGidu* t = rda_createTemplateGidu(ref(0xE), ref(0xC), ref(0xB), ref(0xA));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->ue, ref(0xE));
  EXPECT_EQ(t->uc, ref(0xC));
  EXPECT_EQ(t->pe, ref(0xB));
  EXPECT_EQ(t->pc, ref(0xA));
  EXPECT_EQ(t->next, t);
  EXPECT_EQ(t->event, 0u);
  EXPECT_EQ(t->idu, nullptr);
  EXPECT_EQ(xmLive(), 2) << "alone in a tree of its own";
  rda_updateTemplateGidu(t, ref(1), ref(2), ref(3), ref(4));
  EXPECT_EQ(t->ue, ref(1));
  EXPECT_EQ(t->uc, ref(2));
  EXPECT_EQ(t->pe, ref(3));
  EXPECT_EQ(t->pc, ref(4));
  al_deleteGidu(t);
}

TEST_F(RdaGidu, AuthDataIsCopiedDeepIntoTheTree) {
  XmTree* tree = _xm_allocTree(nullptr);
  char text[] = "secret";
  uint8_t octs[] = {1, 2, 3};
  uint8_t bits[] = {0xA0};
  RDAAuthData src{};
  RDAAuthData dst{};
  src.code = RDA_AUTH_TEXT;
  src.text = text;
  ASSERT_EQ(rda_copyAuthData(&dst, &src, tree), 1);
  EXPECT_STREQ(dst.text, "secret");
  EXPECT_NE(dst.text, text);
  EXPECT_EQ(xm_getParentOfItem(dst.text), tree);

  src.code = RDA_AUTH_OCTETS;
  src.octets = OctStgV{3, octs};
  ASSERT_EQ(rda_copyAccessCntlData(&dst, &src, tree), 1);
  EXPECT_EQ(dst.code, RDA_AUTH_OCTETS);
  EXPECT_EQ(std::vector<uint8_t>(dst.octets.octets, dst.octets.octets + 3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_NE(dst.octets.octets, octs);

  src.code = RDA_AUTH_BITS;
  src.bits = BitStgV{5, 1, bits};
  ASSERT_EQ(rda_copyAuthData(&dst, &src, tree), 1);
  EXPECT_EQ(dst.bits.unused, 5u);
  EXPECT_EQ(dst.bits.count, 1u);
  EXPECT_EQ(dst.bits.octets[0], 0xA0);
  EXPECT_NE(dst.bits.octets, bits);
  _xm_freeTree(tree);
}

TEST_F(RdaGidu, AuthDataFailuresReturn0WithTheirTraces) {
  TraceCapture trace({{&rda_comTMHandle, "RDA : ", 0x08}});
  XmTree* tree = _xm_allocTree(nullptr);
  char text[] = "pw";
  uint8_t octs[] = {1};
  RDAAuthData src{};
  RDAAuthData dst{};
  src.code = 0x4003;
  EXPECT_EQ(rda_copyAuthData(&dst, &src, tree), 0);
  EXPECT_EQ(dst.code, 0x4003u) << "the code is copied first";
  EXPECT_TRUE(trace.contains("*** copyAuthData: bad tag number for RDAAuthData\n"));

  const struct {
    uint32_t code;
    const char* line;
  } cases[] = {
      {RDA_AUTH_TEXT, "*** copyAuthData: can't get memory for character string\n"},
      {RDA_AUTH_OCTETS, "*** copyAuthData: can't get memory for octet string\n"},
      {RDA_AUTH_BITS, "*** copyAuthData: can't get memory for bit string\n"},
  };
  for (const auto& c : cases) {
    src = RDAAuthData{};
    src.code = c.code;
    if (c.code == RDA_AUTH_TEXT) src.text = text;
    else if (c.code == RDA_AUTH_OCTETS) src.octets = OctStgV{1, octs};
    else src.bits = BitStgV{0, 1, octs};
    EXPECT_EQ(withBudget(0, [&] { return rda_copyAuthData(&dst, &src, tree); }), 0) << c.code;
    EXPECT_EQ(trace.count(c.line), 1u) << c.line;
  }
  _xm_freeTree(tree);
}

TEST_F(RdaGidu, ClientInvocationIdIsCopiedWithItsOwnArcs) {
  XmTree* tree = _xm_allocTree(nullptr);
  uint32_t arcs[] = {1, 3, 6, 1};
  RDADlgIDClientInvoc src{};
  src.apTitle.kind = UL_TITLE_OBJID;
  src.apTitle.objId = ObjIdV{4, arcs};
  src.aeQual.kind = UL_QUAL_INTEGER;
  src.aeQual.integer = 12;
  src.apInvokeId = 5;
  src.aeInvokeId = 6;
  RDADlgIDClientInvoc dst{};
  ASSERT_EQ(rda_copyClientInvocId(&dst, &src, tree), 1);
  EXPECT_EQ(dst.apTitle.kind, UL_TITLE_OBJID);
  ASSERT_EQ(dst.apTitle.objId.count, 4u);
  EXPECT_NE(dst.apTitle.objId.arcs, arcs);
  EXPECT_EQ(std::vector<uint32_t>(dst.apTitle.objId.arcs, dst.apTitle.objId.arcs + 4),
            (std::vector<uint32_t>{1, 3, 6, 1}));
  EXPECT_EQ(xm_getParentOfItem(dst.apTitle.objId.arcs), tree);
  EXPECT_EQ(dst.aeQual.integer, 12);
  EXPECT_EQ(dst.apInvokeId, 5);
  EXPECT_EQ(dst.aeInvokeId, 6);

  // A failed copy never leaves the source's arcs in the destination.
  RDADlgIDClientInvoc failed{};
  EXPECT_EQ(withBudget(0, [&] { return rda_copyClientInvocId(&failed, &src, tree); }), 0);
  EXPECT_NE(failed.apTitle.objId.arcs, arcs);
  _xm_freeTree(tree);
}

TEST_F(RdaGidu, ClientInvocationIdInDirectoryFormsIsRefused) {
  XmTree* tree = _xm_allocTree(nullptr);
  UL_Ring ring{};
  RDADlgIDClientInvoc dn{};
  dn.apTitle.kind = UL_TITLE_DN;
  dn.apTitle.dn = &ring;
  dn.aeQual.kind = UL_QUAL_INTEGER;
  RDADlgIDClientInvoc rdn{};
  rdn.apTitle.kind = UL_TITLE_OBJID;
  rdn.aeQual.kind = UL_QUAL_RDN;
  rdn.aeQual.rdn = &ring;
  for (const RDADlgIDClientInvoc* src : {&dn, &rdn}) {
    RDADlgIDClientInvoc dst{};
    EXPECT_EQ(rda_copyClientInvocId(&dst, src, tree), 0);
    EXPECT_EQ(dst.apTitle.kind, 0u) << "left untouched";
  }
  EXPECT_EQ(xmLive(), 1) << "nothing but the tree";
  _xm_freeTree(tree);
}

// The IDUs the constructor prepares are what the RDA codec writes: the
// octets below follow from the RDA message definitions by hand.
class RdaGiduWire : public CodecTest {
 protected:
  static Bytes encode(void* idu) {
    rtp_setf(balloc(-1));
    uint32_t err = 0;
    p_format(fRDAIdu, idu, &err);
    SessionBuffer* out = nullptr;
    rtp_getf(&out);
    EXPECT_EQ(err, 0u);
    Bytes b = bytesOf(out);
    freeChain(out);
    return b;
  }
};

TEST_F(RdaGiduWire, PreparedIdusEncodeAsTheirAlternatives) {
  void* body = nullptr;
  // R-Commit request: [7] { INTEGER 5, [0] NULL }.
  GIDU* cmt = rda_createGiduWithRdaIdu(nullptr, RDA_COMMIT_REQ, 5, &body);
  ASSERT_NE(cmt, nullptr);
  EXPECT_EQ(encode(cmt->idu), hex("A7 05 02 01 05 80 00"));
  // R-Commit error response: [8] { INTEGER 5, [1] { [APPLICATION 15] } }.
  GIDU* cmtErr = rda_createGiduWithRdaIdu(nullptr, RDA_COMMIT_ERSP, 5, &body);
  ASSERT_NE(cmtErr, nullptr);
  static_cast<RDAErr*>(body)->code = RDA_ERR_BASE + 15;
  EXPECT_EQ(encode(cmtErr->idu), hex("A8 07 02 01 05 A1 02 4F 00"));
  // R-BeginTransaction error: [6] { INTEGER 5, [0] { [APPLICATION 15] } }.
  GIDU* bt = rda_createGiduWithRdaIdu(nullptr, RDA_BGNTRANS_ERSP, 5, &body);
  ASSERT_NE(bt, nullptr);
  static_cast<RDAErr*>(body)->code = RDA_ERR_BASE + 15;
  EXPECT_EQ(encode(bt->idu), hex("A6 07 02 01 05 A0 02 4F 00"));
  al_deleteGidu(cmt);
  al_deleteGidu(cmtErr);
  al_deleteGidu(bt);
}

}  // namespace
