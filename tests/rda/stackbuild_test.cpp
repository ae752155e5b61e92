// Builders of the stack-control requests and of the ACSE primitives of the
// RDA user: what each GIDU carries, the APDU octets worked out by hand from
// X.690 over the ASN.1 of ISO 8650, the directory entries an A-ASSOCIATE
// request is made from, and the OSI error numbers of their failures.
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "rda/rda_fixture.h"
#include "src/acse/acse_apdu.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_stackbuild.h"
#include "src/runtime/qvinfo.h"
#include "support/counting_alloc.h"
#include "support/sandbox.h"

namespace {

std::vector<uint8_t> octets(const OctStgV& v) { return {v.octets, v.octets + v.length}; }
std::vector<uint32_t> arcs(const ObjIdV& v) { return {v.arcs, v.arcs + v.count}; }

uint32_t kCtxArcs[] = {1, 2, 3, 4};
const ObjIdV kCtx{4, kCtxArcs};

// Octets of {1 3 9999 42 7}, the AP title of every directory entry.
const Bytes kApTitle = hex("06 05 2B CE 0F 2A 07");

class StackBuild : public RdaGiduTest {
 protected:
  void SetUp() override {
    RdaGiduTest::SetUp();
    std::filesystem::create_directories(sandbox_.dir() / "schema");
    std::ofstream("mirodel.ini") << "[COMMON]\nqv_root=/opt/q\nSchemapath=" << (sandbox_.dir() / "schema").string()
                                 << "/\n[CLIENT]\nport=2000\n";
    std::ofstream(sandbox_.dir() / "schema/qvdrd.ini") << "[sales]\nPORT=5000\nADDRESS=10.0.0.1\n";
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, "./mirodel.ini"), 1);
    QvResetCachedAddrList();
    QvSetOsiError(0);
  }
  void TearDown() override {
    for (GIDU* g : made_) al_deleteGidu(g);
    RdaGiduTest::TearDown();
  }
  GIDU* keep(GIDU* g) {
    if (g != nullptr) made_.push_back(g);
    return g;
  }
  void expectRefs(const GIDU* g) {
    EXPECT_EQ(g->ue, &ue_);
    EXPECT_EQ(g->pe, &pe_);
    EXPECT_EQ(g->uc, &uc_);
    EXPECT_EQ(g->pc, &pc_);
  }
  // The APDU's octets as they travel: without the private presentation
  // part, which the conversion to a PPDU takes out.
  static Bytes wire(GIDU* g) {
    auto* apdu = static_cast<AcseApdu*>(g->idu);
    if (apdu->code == AC_APDU_AARQ) apdu->aarq.presence &= ~AC_AARQ_CONN_PARAMS;
    if (apdu->code == AC_APDU_AARE) apdu->aare.presence &= ~AC_AARE_CONN_RESULT;
    if (apdu->code == AC_APDU_RLRE) apdu->rlre.presence &= ~AC_RLRE_RELEASE_RESULT;
    return formatted([&] { return fApdu(apdu); });
  }
  // Runs `build` with the n-th allocation failing, for n = 0, 1, ... until
  // it succeeds: every failure returns NULL, leaves no XM block behind and,
  // when `osiError` is set, reports an OSI error number.
  void everyAllocationFails(const std::function<GIDU*()>& build, bool osiError) {
    quietEntries();
    for (long n = 0;; ++n) {
      SCOPED_TRACE(n);
      ASSERT_LT(n, 200);
      const long before = liveBlocks;
      QvSetOsiError(0);
      GIDU* g = nullptr;
      {
        FailingAlloc fail(n);
        g = build();
      }
      if (g != nullptr) {
        al_deleteGidu(g);
        EXPECT_EQ(liveBlocks, before);
        break;
      }
      EXPECT_EQ(liveBlocks, before);
      if (osiError) {
        EXPECT_NE(QvGetOsiError(), 0);
      }
    }
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME"};
  std::vector<GIDU*> made_;
};

TEST_F(StackBuild, AcseGiduCarriesTheApduOfItsEvent) {
  const struct {
    uint32_t event;
    uint32_t code;
  } cases[] = {
      {AL_A_ASSOC_REQ, AC_APDU_AARQ}, {AL_A_ASSOC_RSP, AC_APDU_AARE}, {AL_A_RELEASE_REQ, AC_APDU_RLRQ},
      {AL_A_RELEASE_RSP, AC_APDU_RLRE}, {AL_A_ABORT_REQ, AC_APDU_ABRT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.event);
    const long before = liveBlocks;
    void* body = nullptr;
    GIDU* g = rda_createGiduWithApdu(tmpl_, c.event, &body);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->event, c.event);
    EXPECT_EQ(g->iduType, AL_IDU_ACSE);
    EXPECT_EQ(g->next, g);
    EXPECT_EQ(g->prev, g);
    expectRefs(g);
    auto* apdu = static_cast<AcseApdu*>(g->idu);
    EXPECT_EQ(apdu->code, c.code);
    EXPECT_EQ(body, static_cast<void*>(&apdu->aarq));
    EXPECT_EQ(apdu->aarq.presence, 0u);
    EXPECT_EQ(xm_getParentOfTree(xm_getParentOfItem(apdu)), xm_getParentOfItem(g)) << "freed with the GIDU";
    al_deleteGidu(g);
    EXPECT_EQ(liveBlocks, before);
  }
  everyAllocationFails(
      [&] {
        void* body = &body;
        GIDU* g = rda_createGiduWithApdu(tmpl_, AL_A_ABORT_REQ, &body);
        EXPECT_EQ(body == nullptr, g == nullptr);
        return g;
      },
      false);
  EXPECT_TRUE(traced("*** rda_createGiduWithApdu: can't create gidu\n"));
  EXPECT_TRUE(traced("*** rda_createGiduWithApdu: can't create apdu content\n"));
}

TEST_F(StackBuild, StackControlRequestsAreBareGidusOfTheirEvents) {
  const struct {
    const char* name;
    GIDU* (*build)(const GIDU*);
    uint32_t event;
  } cases[] = {
      {"rda_createDeactivateReq", rda_createDeactivateReq, 2},
      {"rda_createForcedDeactReq", rda_createForcedDeactReq, 4},
      {"rda_createQabortReq", rda_createQabortReq, 6},
      {"rda_createProvStopReq", rda_createProvStopReq, 8},
      {"rda_createProvStartReq", rda_createProvStartReq, 9},
      {"rda_createSurNextEventReq", rda_createSurNextEventReq, 0x8370},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GIDU* g = keep(c.build(tmpl_));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->event, c.event);
    EXPECT_EQ(g->iduType, AL_IDU_RDA);
    EXPECT_EQ(g->idu, nullptr);
    expectRefs(g);
    EXPECT_TRUE(traced(std::string(c.name) + " () called"));
  }
  quietEntries();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FailingAlloc fail(0);
    EXPECT_EQ(c.build(tmpl_), nullptr);
    EXPECT_TRUE(traced("*** " + std::string(c.name) + ": can't create gidu\n"));
  }
  EXPECT_EQ(QvGetOsiError(), 0) << "these builders set no OSI error";
}

TEST_F(StackBuild, ActivateCarriesTheLocalEntryAndTheRole) {
  GIDU* g = keep(rda_createActivateReq(tmpl_, "qvclient", 0));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->event, AL_ACT_REQ);
  EXPECT_EQ(g->iduType, AL_IDU_RDA);
  expectRefs(g);
  auto* idu = static_cast<RDAIdu*>(g->idu);
  EXPECT_EQ(idu->tag, RDA_ACTIVATE_REQ);
  const UL_AEId* ae = idu->activate.aeId;
  ASSERT_NE(ae, nullptr);
  EXPECT_EQ(ae->mask, UL_AEID_APTITLE | UL_AEID_AEQUAL | UL_AEID_APINVOKE | UL_AEID_AEINVOKE |
                          UL_AEID_NSERVICE | UL_AEID_TCLASS);
  EXPECT_EQ(ae->apInvokeId, 0);
  EXPECT_EQ(ae->aeInvokeId, 0);
  EXPECT_EQ(octets(ae->pAddress.tSel), (std::vector<uint8_t>{0x07, 0xD0}));
  ASSERT_NE(idu->activate.actData, nullptr);
  EXPECT_EQ(idu->activate.actData->flag, 0u);
  EXPECT_EQ(xm_getParentOfItem(const_cast<UL_AEId*>(ae)), rda_iduTree(g));

  GIDU* server = keep(rda_createActivateReq(tmpl_, "qvclient", 1));
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(static_cast<RDAIdu*>(server->idu)->activate.actData->flag, 1u);
}

TEST_F(StackBuild, ActivateForAMissingNameGivesNoAeTableEntry) {
  const long before = liveBlocks;
  EXPECT_EQ(rda_createActivateReq(tmpl_, "nosuch", 0), nullptr);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ERR_NO_AETABLE_ENTRY));
  EXPECT_TRUE(traced("*** rda_createActivateReq: Directory failure (directory error = 18)\n"));
  EXPECT_EQ(liveBlocks, before);
}

TEST_F(StackBuild, ActivateLeavesNothingWhenMemoryRunsOut) {
  everyAllocationFails([&] { return rda_createActivateReq(tmpl_, "qvclient", 0); }, false);
}

TEST_F(StackBuild, AssocReqFillsTheAarqFromBothDirectoryEntries) {
  GIDU* g = keep(rda_createAssocReq(tmpl_, "qvclient", "sales", &kCtx, nullptr, 0x0102, nullptr));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->event, AL_A_ASSOC_REQ);
  EXPECT_EQ(g->iduType, AL_IDU_ACSE);
  expectRefs(g);
  EXPECT_TRUE(traced("rda_createAssocReq: connect qvclient to sales\n"));
  auto* apdu = static_cast<AcseApdu*>(g->idu);
  ASSERT_EQ(apdu->code, AC_APDU_AARQ);
  const AcAarq& a = apdu->aarq;
  EXPECT_EQ(a.presence, 0x01u | 0x04 | 0x08 | 0x40 | 0x80 | 0x100 | 0x200 | 0x8000);
  EXPECT_EQ(a.protocolVersion, 0x80u);
  EXPECT_EQ(arcs(a.contextName), (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_NE(a.contextName.arcs, kCtxArcs) << "a copy";
  EXPECT_EQ(arcs(a.calledApTitle.objId), (std::vector<uint32_t>{1, 3, 9999, 42, 7}));
  EXPECT_EQ(a.calledAeQual.kind, UL_QUAL_INTEGER);
  EXPECT_EQ(arcs(a.callingApTitle.objId), (std::vector<uint32_t>{1, 3, 9999, 42, 7}));
  EXPECT_EQ(a.callingApInvoke, 0);
  EXPECT_EQ(a.callingAeInvoke, 0);

  const AcConnParams& cp = a.connParams;
  EXPECT_EQ(cp.presence, 0x400u | 0x800);
  EXPECT_EQ(cp.presentationMode, 1);
  EXPECT_EQ(cp.sessRequirements, 0x0102u);
  EXPECT_EQ(cp.networkService, 0);
  EXPECT_EQ(cp.transportClass, 4);
  EXPECT_EQ(octets(cp.callingAddress.tSel), (std::vector<uint8_t>{0x07, 0xD0}));
  EXPECT_EQ(octets(cp.calledAddress.tSel), (std::vector<uint8_t>{0x13, 0x88}));
  EXPECT_EQ(octets(cp.calledAddress.pSel), (std::vector<uint8_t>{0x44, 0xBB}));
  // Both rings hang on the copies' own heads.
  ASSERT_TRUE(wellLinked(cp.callingAddress.nAddrs));
  ASSERT_TRUE(wellLinked(cp.calledAddress.nAddrs));
  ASSERT_EQ(cp.calledAddress.nAddrs.count, 1u);
  const auto* n = reinterpret_cast<const UL_NaddrEntry*>(cp.calledAddress.nAddrs.links.next);
  EXPECT_EQ(octets(n->addr), (std::vector<uint8_t>{10, 0, 0, 1}));

  const Bytes expected = tlv(0x60, hex("80 02 07 80")                       // [0] version1
                                       + hex("A1 05 06 03 2A 03 04")        // [1] {1 2 3 4}
                                       + tlv(0xA2, kApTitle)                // [2] called AP title
                                       + hex("A3 03 02 01 00")              // [3] called AE qualifier 0
                                       + tlv(0xA6, kApTitle)                // [6] calling AP title
                                       + hex("A7 03 02 01 00")              // [7] calling AE qualifier 0
                                       + hex("A8 03 02 01 00 A9 03 02 01 00"));  // [8] [9] 0
  EXPECT_EQ(wire(g), expected);
}

TEST_F(StackBuild, AssocReqPresentationRequirementsJoinTheOtherFlags) {
  const uint32_t presReq = 0x40;
  GIDU* g = keep(rda_createAssocReq(tmpl_, "qvclient", "sales", &kCtx, &presReq, 0x0102, nullptr));
  ASSERT_NE(g, nullptr);
  const AcConnParams& cp = static_cast<AcseApdu*>(g->idu)->aarq.connParams;
  EXPECT_EQ(cp.presence, 0x40u | 0x400 | 0x800);
  EXPECT_EQ(cp.presRequirements, 0x40u);
}

TEST_F(StackBuild, AssocReqResourceEntryFromTheConnectionString) {
  GIDU* g = keep(rda_createAssocReq(tmpl_, "qvclient", "hr", &kCtx, nullptr, 2, "DSN=x;PORT=6000;ADDRESS=10.1.2.3"));
  ASSERT_NE(g, nullptr);
  const AcConnParams& cp = static_cast<AcseApdu*>(g->idu)->aarq.connParams;
  EXPECT_EQ(octets(cp.calledAddress.tSel), (std::vector<uint8_t>{0x17, 0x70}));
}

TEST_F(StackBuild, AssocReqMissingParametersBuildNothing) {
  const struct {
    const char* local;
    uint32_t sReq;
    const ObjIdV* ctx;
    const char* line;
  } cases[] = {
      {nullptr, 2, &kCtx, "*** rda_createAssocReq: mandatory parameter localname is referencing NULL\n"},
      {"", 2, &kCtx, "*** rda_createAssocReq: mandatory parameter localname is referencing NULL\n"},
      {"qvclient", 0, &kCtx, "*** rda_createAssocReq: mandatory parameter sReq is referencing NULL\n"},
      {"qvclient", 2, nullptr, "*** rda_createAssocReq: mandatory parameter appCtxName is referencing NULL\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    QvSetOsiError(0);
    trace().clear();
    const long before = liveBlocks;
    EXPECT_EQ(rda_createAssocReq(tmpl_, c.local, "sales", c.ctx, nullptr, c.sReq, nullptr), nullptr);
    EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ERR_NO_REQED_PARAM));
    EXPECT_TRUE(traced(c.line));
    EXPECT_EQ(liveBlocks, before) << "no GIDU was made";
  }
}

TEST_F(StackBuild, AssocReqDirectoryFailureOfEitherEntry) {
  const struct {
    const char* local;
    const char* peer;
  } cases[] = {{"nosuch", "sales"}, {"qvclient", "nosuch"}, {"qvclient", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.local);
    QvSetOsiError(0);
    trace().clear();
    const long before = liveBlocks;
    EXPECT_EQ(rda_createAssocReq(tmpl_, c.local, c.peer, &kCtx, nullptr, 2, nullptr), nullptr);
    EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ERR_NO_AETABLE_ENTRY));
    EXPECT_TRUE(traced("*** rda_createAssocReq: Directory failure (directory error ="));
    EXPECT_EQ(liveBlocks, before);
  }
}

// The directory of this system always gives the transport class; an AP
// title or AE qualifier can still be missing from an entry.
TEST_F(StackBuild, IncompleteAeTableEntries) {
  const uint32_t all = UL_AEID_APTITLE | UL_AEID_AEQUAL | UL_AEID_TCLASS;
  const struct {
    uint32_t mask;
    uint32_t result;
  } cases[] = {
      {all, 0},
      {all | UL_AEID_NSERVICE, 0},
      {all & ~UL_AEID_APTITLE, RDA_ERR_INCOMPLETE_AETABLE},
      {all & ~UL_AEID_AEQUAL, RDA_ERR_INCOMPLETE_AETABLE},
      {all & ~UL_AEID_TCLASS, RDA_ERR_INCOMPLETE_AETABLE},
      {0, RDA_ERR_INCOMPLETE_AETABLE},
  };
  for (const auto& c : cases) {
    UL_AEId entry{};
    entry.mask = c.mask;
    trace().clear();
    EXPECT_EQ(rda_checkAeTableEntry(entry, "sales"), c.result) << c.mask;
    EXPECT_EQ(traced("*** rda_createAssocReq: __AETABLE__ entry for sales is not complete\n"), c.result != 0);
  }
}

TEST_F(StackBuild, AssocReqLeavesNothingWhenMemoryRunsOut) {
  everyAllocationFails([&] { return rda_createAssocReq(tmpl_, "qvclient", "sales", &kCtx, nullptr, 2, nullptr); },
                       true);
}

TEST_F(StackBuild, AssocRspResultAndDiagnostic) {
  const uint32_t presReq = 0x40;
  const struct {
    const char* what;
    GIDU* g;
    uint32_t result;
    uint32_t diagnostic;
    uint32_t crPresence;
  } cases[] = {
      {"accepted", rda_createAssocRsp(tmpl_, &kCtx, 0, nullptr, 2), 0, 0, 0},
      {"rejected", rda_createAssocRsp(tmpl_, &kCtx, 2, nullptr, 2), 2, 1, 0},
      {"rejected with reason", rda_createAssocRspWithReason(tmpl_, &kCtx, 2, &presReq, 2, 3), 2, 3, 0x10},
      {"accepted with reason", rda_createAssocRspWithReason(tmpl_, &kCtx, 0, nullptr, 2, 3), 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NE(keep(c.g), nullptr);
    EXPECT_EQ(c.g->event, AL_A_ASSOC_RSP);
    expectRefs(c.g);
    const AcAare& a = static_cast<AcseApdu*>(c.g->idu)->aare;
    EXPECT_EQ(a.presence, 0x01u | 0x2000);
    EXPECT_EQ(a.protocolVersion, 0x80u);
    EXPECT_EQ(arcs(a.contextName), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(a.result, c.result);
    EXPECT_EQ(a.resultSource, 0x4001u);
    EXPECT_EQ(a.diagnostic, c.diagnostic);
    EXPECT_EQ(a.connResult.sessRequirements, 2u);
    EXPECT_EQ(a.connResult.presence, c.crPresence);
  }
  // result [2] 2; result-source-diagnostic [3] acse-service-user [1] 3.
  EXPECT_EQ(wire(cases[2].g),
            tlv(0x61, hex("80 02 07 80 A1 05 06 03 2A 03 04 A2 03 02 01 02 A3 05 A1 03 02 01 03")));
}

TEST_F(StackBuild, AssocRspMissingParametersBuildNothing) {
  const long before = liveBlocks;
  EXPECT_EQ(rda_createAssocRsp(tmpl_, &kCtx, 0, nullptr, 0), nullptr);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ERR_NO_REQED_PARAM));
  QvSetOsiError(0);
  EXPECT_EQ(rda_createAssocRspWithReason(tmpl_, nullptr, 1, nullptr, 2, 1), nullptr);
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(RDA_ERR_NO_REQED_PARAM));
  EXPECT_EQ(liveBlocks, before);
}

TEST_F(StackBuild, ReleaseAndAbortApdus) {
  const int32_t one = 1;
  const int32_t zero = 0;
  const struct {
    const char* what;
    GIDU* g;
    uint32_t event;
    uint32_t presence;
    Bytes wire;
  } cases[] = {
      {"RLRQ with reason", rda_createRelReq(tmpl_, &one), AL_A_RELEASE_REQ, 0x01, hex("62 03 80 01 01")},
      {"RLRQ without", rda_createRelReq(tmpl_, nullptr), AL_A_RELEASE_REQ, 0, hex("62 00")},
      {"RLRE with reason", rda_createRelRsp(tmpl_, &zero, 1), AL_A_RELEASE_RSP, 0x05, hex("63 03 80 01 00")},
      {"RLRE without", rda_createRelRsp(tmpl_, nullptr, 0), AL_A_RELEASE_RSP, 0x04, hex("63 00")},
      {"ABRT", rda_createAbortReq(tmpl_), AL_A_ABORT_REQ, 0, hex("64 03 80 01 00")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NE(keep(c.g), nullptr);
    EXPECT_EQ(c.g->event, c.event);
    expectRefs(c.g);
    const AcseApdu* apdu = static_cast<AcseApdu*>(c.g->idu);
    EXPECT_EQ(apdu->rlrq.presence, c.presence);
    EXPECT_EQ(wire(c.g), c.wire);
  }
  EXPECT_EQ(static_cast<AcseApdu*>(cases[2].g->idu)->rlre.releaseResult, 1);
  EXPECT_EQ(static_cast<AcseApdu*>(cases[4].g->idu)->abrt.source, AC_ABORT_USER);
}

TEST_F(StackBuild, AcsePrimitivesReportNoResource) {
  const struct {
    const char* line;
    std::function<GIDU*()> build;
  } cases[] = {
      {"*** rda_createAssocRsp: can't create ACSE IDU\n", [&] { return rda_createAssocRsp(tmpl_, &kCtx, 0, nullptr, 2); }},
      {"*** rda_createAssocRsp: can't create ACSE IDU\n",
       [&] { return rda_createAssocRspWithReason(tmpl_, &kCtx, 1, nullptr, 2, 4); }},
      {"*** rda_createRelReq: can't create ACSE IDU\n", [&] { return rda_createRelReq(tmpl_, nullptr); }},
      {"*** rda_createRelRsp: can't create ACSE IDU\n", [&] { return rda_createRelRsp(tmpl_, nullptr, 0); }},
      {"", [&] { return rda_createAbortReq(tmpl_); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    everyAllocationFails(c.build, true);
    EXPECT_EQ(QvGetOsiError(), 0) << "the last run succeeded and set none";
    if (c.line[0] != '\0') {
      EXPECT_TRUE(traced(c.line));
    }
  }
  EXPECT_TRUE(traced("*** rda_createAssocRsp: can't copy appCtxName\n"));
}

}  // namespace
