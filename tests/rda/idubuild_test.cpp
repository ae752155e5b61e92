// Builders of the RDA service GIDUs: each message is encoded with the X/Open
// top-level codec in a protected pass, compared with octets worked out by
// hand from X.690 and the ASN.1 of the messages, and decoded back to what
// the builder was given.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rda/rda_fixture.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_sqlbuild.h"
#include "support/counting_alloc.h"

namespace {

Bytes opId5() { return hex("02 01 05"); }
const Bytes kXopenArcs = hex("2A 86 3A 00 88 1A 03");
const Bytes kYes = kXopenArcs + hex("03 01 01");  // integrity-yes
const Bytes k8859 = kXopenArcs + hex("04 01");    // 8859-1

using Check = std::function<void(const RDAXOPENIdu&)>;

struct Case {
  const char* what;
  GIDU* g;
  RdaEventCode event;
  Bytes wire;
  Check check;
  bool xopenOnly = false;  // the ISO family writes it otherwise
};

OctStgV octs(const char* s) {
  return OctStgV{static_cast<uint32_t>(std::strlen(s)), reinterpret_cast<uint8_t*>(const_cast<char*>(s))};
}
std::string str(const OctStgV& o) { return std::string(reinterpret_cast<const char*>(o.octets), o.length); }
std::vector<uint32_t> arcs(const ObjIdV& o) { return std::vector<uint32_t>(o.arcs, o.arcs + o.count); }
std::vector<uint32_t> arcs(const ObjIdV* o) { return arcs(*o); }

class IduBuild : public RdaGiduTest {
 protected:
  void TearDown() override {
    for (GIDU* g : made_) al_deleteGidu(g);
    RdaGiduTest::TearDown();
  }
  GIDU* keep(GIDU* g) {
    if (g != nullptr) made_.push_back(g);
    return g;
  }

  // Every case: a GIDU of type 200 for its event with the template's
  // references, its octets, and `check` on what was built and on what the
  // octets decode to.
  void verify(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      if (c.g != nullptr && std::find(made_.begin(), made_.end(), c.g) == made_.end()) made_.push_back(c.g);
    }
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      ASSERT_NE(c.g, nullptr);
      EXPECT_EQ(c.g->event, c.event);
      EXPECT_EQ(c.g->iduType, 200u);
      EXPECT_EQ(c.g->ue, &ue_);
      EXPECT_EQ(c.g->pe, &pe_);
      EXPECT_EQ(c.g->uc, &uc_);
      EXPECT_EQ(c.g->pc, &pc_);
      auto* built = static_cast<RDAXOPENIdu*>(c.g->idu);
      EXPECT_EQ(built->tag, rda_getRdaEventTag(c.event));
      const Bytes wire = wireOf(c.g);
      EXPECT_EQ(wire, c.wire);
      RDAXOPENIdu* back = decoded(wire);
      ASSERT_NE(back, nullptr) << "decodes";
      EXPECT_EQ(back->tag, built->tag);
      EXPECT_EQ(back->term_RI.opId, 5);
      if (c.check) {
        c.check(*built);
        c.check(*back);
      }
      if (!c.xopenOnly) {
        EXPECT_EQ(wireOf(c.g, fRDAIdu), c.wire) << "ISO";
        EXPECT_NE(decoded(c.wire, aRDAIdu), nullptr) << "ISO";
      }
    }
  }

  std::vector<GIDU*> made_;
};

// ---------------------------------------------------------------------------
// Dialogue and transactions

TEST_F(IduBuild, DialogueAndTransactionMessages) {
  static const uint8_t suffixOctets[] = {0xAB, 0xCD};
  const OctStgV sfx{2, const_cast<uint8_t*>(suffixOctets)};
  RDAAuthData pw{};
  pw.code = RDA_AUTH_TEXT;
  pw.text = const_cast<char*>("pw");
  static uint8_t authOctets[] = {1, 2};
  RDAAuthData octAuth{};
  octAuth.code = RDA_AUTH_OCTETS;
  octAuth.octets = OctStgV{2, authOctets};
  const uint32_t one = 1, zero = 0;
  const OctStgV u = octs("u");
  const OctStgV x = octs("x");

  const Bytes minimalReq = cx(0, hex("80 02 AB CD")) + px(1, text("usr")) + hex("84 02 01 80") + cx(30, {});
  const Bytes fullReq = cx(0, hex("80 02 AB CD")) + px(1, text("usr")) + cx(2, hex("80 02 70 77")) +
                        hex("83 01 FF 84 02 01 80") + cx(30, px(0, kYes) + px(1, text("u")));
  verify({
      {"R-Initialize request without options",
       keep(rda_createSQLInitReq(tmpl_, 5, &sfx, "usr", nullptr, nullptr, 0x80, nullptr, nullptr)), 0x8000,
       cx(0, opId5() + cx(0, minimalReq)),
       [](const RDAXOPENIdu& i) {
         const RDAInit_Req& r = i.init_RI.req;
         EXPECT_EQ(r.mask & ~0x10u, 0x40u) << "a decoded default flag is marked";
         EXPECT_EQ(r.flag, 0u);
         EXPECT_EQ(r.suffix.code, 0x4000u);
         EXPECT_EQ(str(r.suffix.octets), "\xAB\xCD");
         EXPECT_STREQ(r.identityOfUser, "usr");
         EXPECT_EQ(r.functionalUnits & 0x7F, 0u);
         EXPECT_EQ(r.sql.mask, 0u);
       }},
      {"R-Initialize request with every option",
       keep(rda_createSQLInitReq(tmpl_, 5, &sfx, "usr", &pw, &one, 0x80, rda_xopenIntegrityYes, &u)), 0x8000,
       cx(0, opId5() + cx(0, fullReq)),
       [](const RDAXOPENIdu& i) {
         const RDAInit_Req& r = i.init_RI.req;
         EXPECT_EQ(r.mask, 0x58u);
         EXPECT_STREQ(r.userAuthData.text, "pw");
         EXPECT_NE(r.flag, 0u);
         EXPECT_EQ(r.sql.mask, 3u);
         EXPECT_EQ(arcs(r.sql.conformLevel), arcs(rda_xopenIntegrityYes));
         EXPECT_EQ(str(r.sql.userData), "u");
       }},
      {"R-Initialize response, controlled with flag 0 and no authentication data",
       keep(rda_createSQLInitRsp(tmpl_, 5, 1, &zero, nullptr, 0x80, nullptr)), 0x80D2,
       cx(1, opId5() + cx(0, cx(0, hex("80 01 00")) + hex("81 02 01 80"))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.init_RC.outcome, RDA_OUTCOME_RESULT);
         EXPECT_EQ(i.init_RC.result.mask, 1u);
         EXPECT_EQ(i.init_RC.result.control.mask, 1u);
         EXPECT_EQ(i.init_RC.result.control.flag, 0u);
       }},
      {"R-Initialize response, controlled without flag, with authentication and user data",
       keep(rda_createSQLInitRsp(tmpl_, 5, 1, nullptr, &octAuth, 0x80, &x)), 0x80D2,
       cx(1, opId5() + cx(0, cx(0, cx(1, hex("81 02 01 02"))) + hex("81 02 01 80") + cx(30, hex("80 01 78")))),
       [](const RDAXOPENIdu& i) {
         const RDAInit_Result& r = i.init_RC.result;
         EXPECT_EQ(r.mask, 5u);
         EXPECT_NE(r.control.mask & 2u, 0u);
         EXPECT_EQ(r.control.cntlAuthData.code, RDA_AUTH_OCTETS);
         EXPECT_EQ(str(r.control.cntlAuthData.octets), "\x01\x02");
         EXPECT_EQ(str(r.sql.userData), "x");
       }},
      {"R-Initialize response, a zero flag leaves the authentication data out",
       keep(rda_createSQLInitRsp(tmpl_, 5, 1, &zero, &octAuth, 0x80, nullptr)), 0x80D2,
       cx(1, opId5() + cx(0, cx(0, hex("80 01 00")) + hex("81 02 01 80"))), nullptr},
      {"R-Initialize response, not controlled",
       keep(rda_createSQLInitRsp(tmpl_, 5, 0, nullptr, nullptr, 0x80, nullptr)), 0x80D2,
       cx(1, opId5() + cx(0, hex("81 02 01 80"))), nullptr},
      {"R-Terminate request", keep(rda_createSQLTermReq(tmpl_, 5)), 0x8010, cx(3, opId5() + hex("80 00")), nullptr},
      {"R-Terminate response", keep(rda_createSQLTermRsp(tmpl_, 5)), 0x80E2, cx(4, opId5() + hex("80 00")), nullptr},
      {"R-BeginTransaction request", keep(rda_createSQLBgnTransReq(tmpl_, 5)), 0x8020, cx(5, opId5() + hex("80 00")),
       nullptr},
      {"R-Commit request", keep(rda_createSQLCommitReq(tmpl_, 5)), 0x8030, cx(7, opId5() + hex("80 00")), nullptr},
      {"R-Commit response without text", keep(rda_createSQLCommitRsp(tmpl_, 5, 7, nullptr)), 0x8102,
       cx(8, opId5() + cx(0, hex("80 01 07"))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.commit_RC.result.mask, 0u);
         EXPECT_EQ(i.commit_RC.result.value, 7);
       }},
      {"R-Commit response with text", keep(rda_createSQLCommitRsp(tmpl_, 5, -1, L"\u00e9")), 0x8102,
       cx(8, opId5() + cx(0, hex("80 01 FF 81 02 C3 A9"))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.commit_RC.result.mask, 1u);
         EXPECT_STREQ(i.commit_RC.result.text, "\xC3\xA9");
       },
       true},
      {"R-Rollback request", keep(rda_createSQLRollbackReq(tmpl_, 5)), 0x8040, cx(9, opId5() + hex("80 00")), nullptr},
      {"R-Rollback response", keep(rda_createSQLRollbackRsp(tmpl_, 5)), 0x8112, cx(10, opId5() + hex("80 00")),
       nullptr},
  });
}

TEST_F(IduBuild, CommitResponseSentInTheIsoFamilyCarriesItsValueAndNoText) {
  GIDU* g = keep(rda_createSQLCommitRsp(tmpl_, 5, -1, L"x"));
  ASSERT_NE(g, nullptr);
  // [8] { INTEGER 5, [0] { [0] INTEGER -1 } }: ISO has no message text.
  const Bytes wire = hex("A8 08 02 01 05 A0 03 80 01 FF");
  EXPECT_EQ(wireOf(g, fRDAIdu), wire);
  auto* back = reinterpret_cast<RDAIdu*>(decoded(wire, aRDAIdu));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->commit_RC.result.value, -1);
}

TEST_F(IduBuild, ControlledInitResponseWithoutItsAuthenticationDataIsRefusedBeforeBuilding) {
  const uint32_t one = 1;
  const long before = liveBlocks.load();
  EXPECT_EQ(rda_createSQLInitRsp(tmpl_, 5, 1, &one, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(rda_createSQLInitRsp(tmpl_, 5, 1, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(liveBlocks.load(), before) << "nothing built";
  EXPECT_TRUE(traced("*** rda_createSQLInitRsp: mandatory parameter  cntlAuthData is currently referencing NULL"));
}

TEST_F(IduBuild, FailedCopiesDeleteWhatWasBuilt) {
  const OctStgV sfx = octs("s");
  const wchar_t bad[] = {static_cast<wchar_t>(0x110000), 0};
  quietEntries();
  const long before = liveBlocks.load();
  EXPECT_EQ(rda_createSQLInitReq(tmpl_, 5, &sfx, nullptr, nullptr, nullptr, 0, nullptr, nullptr), nullptr);
  EXPECT_TRUE(traced("*** rda_createSQLInitReq: can't copy identityOfUser"));
  EXPECT_EQ(rda_createSQLInitReq(tmpl_, 5, nullptr, "u", nullptr, nullptr, 0, nullptr, nullptr), nullptr);
  EXPECT_TRUE(traced("*** rda_createSQLInitReq: can't copy dlgIDSuffix"));
  EXPECT_EQ(rda_createSQLCommitRsp(tmpl_, 5, 0, bad), nullptr);
  EXPECT_TRUE(traced("*** rda_createSQLCommitRsp: can't copy messageText"));
  {
    FailingAlloc fail(0);
    EXPECT_EQ(rda_createSQLTermReq(tmpl_, 5), nullptr);
  }
  EXPECT_TRUE(traced("*** rda_createSQLTermReq: can't create gidu with RDA IDU"));
  EXPECT_EQ(liveBlocks.load(), before);
}

// ---------------------------------------------------------------------------
// Data resources and DBL statements

TEST_F(IduBuild, DataResourceMessages) {
  RDAAccessCntlData acd{};
  acd.code = RDA_AUTH_TEXT;
  acd.text = const_cast<char*>("k");
  const int32_t usage = 2;
  verify({
      {"R-Open request with only its handle", keep(rda_createSQLOpenReq(tmpl_, 5, 1, nullptr, nullptr, nullptr, nullptr, nullptr)),
       0x8070, cx(15, opId5() + cx(0, hex("80 01 01"))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.open_RI.req.mask, 0u);
         EXPECT_EQ(i.open_RI.req.handle, 1);
       }},
      {"R-Open request with everything",
       keep(rda_createSQLOpenReq(tmpl_, 5, 0, "db", &acd, &usage, rda_xopenChar8859_1, rda_xopenIntegrityYes)), 0x8070,
       cx(15, opId5() + cx(0, hex("80 01 00 82 02 64 62") + cx(3, hex("80 01 6B")) + hex("84 01 02") +
                                  cx(30, px(0, k8859) + px(1, kYes)))),
       [](const RDAXOPENIdu& i) {
         const RDAOpen_Req& r = i.open_RI.req;
         EXPECT_EQ(r.mask, 0x3Cu);
         EXPECT_STREQ(r.dataResourceName, "db");
         EXPECT_STREQ(r.accessCntlData.text, "k");
         EXPECT_EQ(r.usageMode, 2);
         EXPECT_EQ(r.sql.mask, 3u);
         EXPECT_EQ(arcs(r.sql.charSet), arcs(rda_xopenChar8859_1));
         EXPECT_EQ(arcs(r.sql.conformLevel), arcs(rda_xopenIntegrityYes));
       }},
      {"R-Open response with the flag only", keep(rda_createSQLOpenRsp(tmpl_, 5, 1, nullptr, nullptr)), 0x8142,
       cx(16, opId5() + cx(0, cx(30, hex("81 01 FF")))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.open_RC.result.mask, 1u);
         EXPECT_EQ(i.open_RC.result.sql.mask, 2u);
         EXPECT_NE(i.open_RC.result.sql.flag, 0u);
       }},
      {"R-Open response with identifiers", keep(rda_createSQLOpenRsp(tmpl_, 5, 0, rda_xopenChar8859_1, rda_xopenIntegrityYes)),
       0x8142, cx(16, opId5() + cx(0, cx(30, px(0, k8859) + px(2, kYes)))), nullptr},
      {"R-Open response with nothing", keep(rda_createSQLOpenRsp(tmpl_, 5, 0, nullptr, nullptr)), 0x8142,
       cx(16, opId5() + cx(0, {})), [](const RDAXOPENIdu& i) { EXPECT_EQ(i.open_RC.result.mask, 0u); }},
      {"R-Close request", keep(rda_createSQLCloseReq(tmpl_, 5)), 0x8080, cx(17, opId5() + cx(0, {})), nullptr},
      {"R-Close response", keep(rda_createSQLCloseRsp(tmpl_, 5)), 0x8152, cx(18, opId5() + cx(0, {})), nullptr},
      {"R-DropDBL request of no handle", keep(rda_createSQLDropDBLReq(tmpl_, 5, 0, nullptr)), 0x80C0,
       cx(25, opId5() + cx(0, {})), [](const RDAXOPENIdu& i) { EXPECT_EQ(i.dropDBL_RI.req.mask, 0u); }},
      {"R-DropDBL request", keep(rda_createSQLDropDBLReq(tmpl_, 5, 2, std::data({7, 8}))), 0x80C0,
       cx(25, opId5() + cx(0, cx(0, hex("02 01 07 02 01 08")))),
       [](const RDAXOPENIdu& i) { EXPECT_EQ(i.dropDBL_RI.req.list.count, 2u); }},
      {"R-DropDBL response", keep(rda_createSQLDropDBLRsp(tmpl_, 5, 1, std::data({7}))), 0x8192,
       cx(26, opId5() + cx(0, cx(0, seq(hex("80 01 07 81 00"))))),
       [](const RDAXOPENIdu& i) {
         const auto* n = reinterpret_cast<const RDAHandleExcpNode*>(i.dropDBL_RC.result.list.links.next);
         EXPECT_EQ(n->excp.handle, 7);
         EXPECT_EQ(n->excp.code, 0x4001u);
       }},
  });
}

class DblBuild : public IduBuild {
 protected:
  void SetUp() override {
    IduBuild::SetUp();
    values_ = _xm_allocTree(nullptr);
  }
  // A value list in the value tree holding the given texts as char values.
  RDASQLValList* row(std::initializer_list<const char*> texts) {
    RDASQLValList* l = rda_createSQLValList(values_);
    for (const char* t : texts) {
      OctStgV o = octs(t);
      EXPECT_EQ(rda_addXOPENSQLVal(values_, &l->values, RDA_SQLVAL_CHAR, &o, 0, 0, nullptr, nullptr, 0, 0), 1);
    }
    return l;
  }
  XmTree* values_ = nullptr;  // taken over by the builder
};

uint32_t valueCount(const RDASQLValList& l) { return l.values.count; }

TEST_F(DblBuild, ExecuteAndInvokeRequestsCarryTheirArguments) {
  const OctStgV stmt = octs("s");
  const Bytes stmtWire = cx(1, hex("80 01 73"));
  const Bytes ab = hex("A1 06") + seq(hex("80 02 61 62"));  // SQLValList [1] { "ab" }
  const Bytes cd = hex("A1 06") + seq(hex("80 02 63 64"));
  RDASQLValList* one[] = {row({"ab"})};
  RDASQLValList* none[] = {nullptr};
  RDASQLValList* empty[] = {row({})};
  RDASQLValList* three[] = {row({"ab"}), nullptr, row({"cd"})};
  RDASQLValList* inv1[] = {row({"ab"})};
  RDASQLValList* inv2[] = {row({"cd"}), nullptr};
  const int32_t handle = 3;
  void* spec[] = {rda_createXOPENIntegerType(values_, 0, "c", 10, 1)};
  const Bytes specWire = seq(hex("80 01 00 81 01 63") + cx(8, hex("02 01 0A 0A 01 01")));
  // The value tree goes to the first GIDU; the others use lists in it.
  GIDU* first =
      keep(rda_createSQLExecDBLReq(tmpl_, 5, nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr, 1, one, 1, values_));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(xm_getParentOfTree(values_), rda_iduTree(first)) << "the value tree is taken over";
  verify({
      {"R-ExecuteDBL, one list and repetition 1", first, 0x8090,
       cx(19, opId5() + cx(0, stmtWire + cx(4, hex("80 01 01") + cx(1, ab)))),
       [](const RDAXOPENIdu& i) {
         const RDAExecDBL_Req& r = i.execDBL_RI.req;
         EXPECT_EQ(r.mask & 0x1Fu, 0x10u);  // bit 5: the X/Open flag, marked when decoded as its default
         EXPECT_EQ(r.args.code, 0x4004u);
         EXPECT_EQ(r.args.single.mask, 3u);
         EXPECT_EQ(r.args.single.count, 1);
         EXPECT_EQ(valueCount(r.args.single.values), 1u);
       }},
      {"R-ExecuteDBL, no list even with a repetition count",
       rda_createSQLExecDBLReq(tmpl_, 5, nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr, 0, one, 4, nullptr), 0x8090,
       cx(19, opId5() + cx(0, stmtWire)),
       [](const RDAXOPENIdu& i) { EXPECT_EQ(i.execDBL_RI.req.mask & 0x1Fu, 0u); }},
      {"R-ExecuteDBL, one null list and repetition 0",
       rda_createSQLExecDBLReq(tmpl_, 5, nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr, 1, none, 0, nullptr), 0x8090,
       cx(19, opId5() + cx(0, stmtWire + cx(4, {}))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.execDBL_RI.req.args.code, 0x4004u);
         EXPECT_EQ(i.execDBL_RI.req.args.single.mask & 2u, 0u);
       }},
      {"R-ExecuteDBL, one empty list is left out",
       rda_createSQLExecDBLReq(tmpl_, 5, nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr, 1, empty, 2, nullptr),
       0x8090, cx(19, opId5() + cx(0, stmtWire + cx(4, hex("80 01 02")))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.execDBL_RI.req.args.single.mask, 1u);
         EXPECT_EQ(i.execDBL_RI.req.args.single.count, 2);
       }},
      {"R-ExecuteDBL, three lists with a null one",
       rda_createSQLExecDBLReq(tmpl_, 5, nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr, 3, three, 9, nullptr),
       0x8090, cx(19, opId5() + cx(0, stmtWire + cx(5, cx(0, ab + cd)))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.execDBL_RI.req.args.code, 0x4005u);
         EXPECT_EQ(i.execDBL_RI.req.args.multi.rows.count, 2u);
         EXPECT_TRUE(wellLinked(i.execDBL_RI.req.args.multi.rows));
       }},
      {"R-ExecuteDBL with handle, character set and specs",
       rda_createSQLExecDBLReq(tmpl_, 5, &handle, rda_xopenChar8859_1, &stmt, 1, spec, 1, spec, 0, nullptr, 1, nullptr),
       0x8090,
       cx(19, opId5() + cx(0, hex("80 01 03") + cx(1, hex("80 01 73") + px(1, k8859)) + cx(2, cx(0, specWire)) +
                                  cx(3, cx(0, specWire)))),
       [](const RDAXOPENIdu& i) {
         const RDAExecDBL_Req& r = i.execDBL_RI.req;
         EXPECT_EQ(r.mask & 0x1Fu, 0x0Du);
         EXPECT_EQ(r.handle, 3);
         EXPECT_EQ(r.stmt.mask, 2u);
         EXPECT_EQ(r.argSpecs.count, 1u);
         EXPECT_EQ(r.resultSpecs.count, 1u);
       },
       true},  // X/Open descriptors
      {"R-InvokeDBL, one list", rda_createSQLInvokeDBLReq(tmpl_, 5, 9, 1, inv1, 0, nullptr), 0x80B0,
       cx(23, opId5() + cx(0, hex("80 01 09") + cx(1, cx(1, ab)))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.invokeDBL_RI.req.mask & 3u, 2u);
         EXPECT_EQ(i.invokeDBL_RI.req.args.code, 0x4001u);
       }},
      {"R-InvokeDBL, lists", rda_createSQLInvokeDBLReq(tmpl_, 5, 9, 2, inv2, 0, nullptr), 0x80B0,
       cx(23, opId5() + cx(0, hex("80 01 09") + cx(2, cx(0, cd)))),
       [](const RDAXOPENIdu& i) { EXPECT_EQ(i.invokeDBL_RI.req.args.code, 0x4002u); }},
      {"R-InvokeDBL without arguments", rda_createSQLInvokeDBLReq(tmpl_, 5, 9, 0, nullptr, 0, nullptr), 0x80B0,
       cx(23, opId5() + cx(0, hex("80 01 09"))), nullptr},
      {"R-DefineDBL", rda_createSQLDefineDBLReq(tmpl_, 5, 4, &handle, nullptr, &stmt, 1, spec, 0, nullptr, nullptr),
       0x80A0, cx(21, opId5() + cx(0, hex("80 01 04 81 01 03") + cx(2, hex("80 01 73")) + cx(3, cx(0, specWire)))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.defineDBL_RI.req.mask, 0x0Au);
         EXPECT_EQ(i.defineDBL_RI.req.cmdHandle, 4);
       },
       true},
  });
}

TEST_F(DblBuild, ResponsesCarryResultSpecsRowsAndExceptions) {
  void* spec[] = {rda_createXOPENIntegerType(values_, 0, "c", 10, 1)};
  const Bytes specWire = seq(hex("80 01 00 81 01 63") + cx(8, hex("02 01 0A 0A 01 01")));
  void* rows[] = {rda_createResultVal(values_, nullptr, row({"ab"})), rda_createResultVal(values_, nullptr, nullptr)};
  const Bytes rowsWire = seq(cx(1, hex("A1 06") + seq(hex("80 02 61 62")))) + seq({});
  RDAXOPENSQLDBLExcp* e = rda_createXOPENDBLExcp(values_, nullptr);
  e->mask |= 1;
  e->sqlState = const_cast<char*>("42000");
  GIDU* first = keep(rda_createSQLExecDBLRsp(tmpl_, 5, 1, spec, 2, rows, values_));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(xm_getParentOfTree(values_), rda_iduTree(first));
  verify({
      {"R-ExecuteDBL response", first, 0x8162, cx(20, opId5() + cx(0, cx(1, cx(0, specWire)) + cx(2, rowsWire))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.execDBL_RC.result.mask, 3u);
         EXPECT_EQ(i.execDBL_RC.result.rows.count, 2u);
         EXPECT_TRUE(wellLinked(i.execDBL_RC.result.rows));
       },
       true},  // ISO rows must carry an exception
      {"R-ExecuteDBL response with nothing", rda_createSQLExecDBLRsp(tmpl_, 5, 0, nullptr, 0, nullptr, nullptr), 0x8162,
       cx(20, opId5() + cx(0, {})), nullptr},
      {"R-InvokeDBL response", rda_createSQLInvokeDBLRsp(tmpl_, 5, 1, spec, 0, nullptr, nullptr), 0x8182,
       cx(24, opId5() + cx(0, cx(0, cx(0, specWire)))), nullptr, true},
      {"R-DefineDBL response", rda_createSQLDefineDBLRsp(tmpl_, 5, 1, spec, e, nullptr), 0x8172,
       cx(22, opId5() + cx(0, cx(0, cx(0, specWire)) + cx(1, px(0, text("42000"))))),
       [](const RDAXOPENIdu& i) {
         EXPECT_EQ(i.defineDBL_RC.result.mask, 3u);
         EXPECT_STREQ(i.defineDBL_RC.result.exception->sqlState, "42000");
       },
       true},
  });
}

TEST_F(DblBuild, ValueTreeIsFreedWhenTheRequestCannotBeMade) {
  quietEntries();
  const long before = liveBlocks.load();
  XmTree* vt = _xm_allocTree(nullptr);
  RDASQLValList* l = rda_createSQLValList(vt);
  RDASQLValList* lists[] = {l};
  const OctStgV stmt = octs("s");
  {
    FailingAlloc fail(0);
    EXPECT_EQ(rda_createSQLExecDBLReq(tmpl_, 5, nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr, 1, lists, 1, vt),
              nullptr);
  }
  EXPECT_EQ(liveBlocks.load(), before) << "the value tree went with the failure";
  // A response leaves it to the caller.
  vt = _xm_allocTree(nullptr);
  {
    FailingAlloc fail(0);
    EXPECT_EQ(rda_createSQLExecDBLRsp(tmpl_, 5, 0, nullptr, 0, nullptr, vt), nullptr);
  }
  EXPECT_GT(liveBlocks.load(), before);
  _xm_freeTree(vt);
  // Taken over, it is freed with the GIDU.
  vt = _xm_allocTree(nullptr);
  l = rda_createSQLValList(vt);
  lists[0] = l;
  GIDU* g = rda_createSQLInvokeDBLReq(tmpl_, 5, 1, 1, lists, 0, vt);
  ASSERT_NE(g, nullptr);
  al_deleteGidu(g);
  EXPECT_EQ(liveBlocks.load(), before);
}

// ---------------------------------------------------------------------------
// Control

TEST_F(IduBuild, ControlMessages) {
  const OctStgV sfx = octs("\x01");
  RDAAuthData auth{};
  auth.code = RDA_AUTH_TEXT;
  auth.text = const_cast<char*>("k");
  static uint32_t titleArcs[] = {1, 2, 3};
  RDADlgIDClientInvoc ci{};
  ci.apTitle.kind = UL_TITLE_OBJID;
  ci.apTitle.objId = ObjIdV{3, titleArcs};
  ci.aeQual.kind = UL_QUAL_INTEGER;
  ci.aeQual.integer = 7;
  ci.apInvokeId = 1;
  ci.aeInvokeId = 2;
  const RDAStatusEntry entries[] = {{3, 0x4001, "ignored"}, {4, 0x4006, "ab"}, {5, 0x4006, nullptr}};
  const Bytes dlg = cx(1, hex("80 01 01")) + cx(2, hex("80 01 6B"));
  const Bytes invoc = cx(0, hex("06 02 2A 03")) + cx(1, hex("02 01 07")) + hex("82 01 01 83 01 02");
  GIDU* statusRsp = rda_createStatusRsp(tmpl_, 5, 3, entries);
  verify({
      {"R-Cancel request with nothing", keep(rda_createCancelReq(tmpl_, 5, nullptr, nullptr, nullptr, 0, nullptr)),
       0x8050, cx(11, opId5() + cx(0, {})), [](const RDAXOPENIdu& i) { EXPECT_EQ(i.cancel_RI.req.mask, 0u); }},
      {"R-Cancel request", keep(rda_createCancelReq(tmpl_, 5, nullptr, &sfx, &auth, 2, std::data({3, 4}))), 0x8050,
       cx(11, opId5() + cx(0, cx(0, dlg) + cx(1, hex("02 01 03 02 01 04")))),
       [](const RDAXOPENIdu& i) {
         const RDACancel_Req& r = i.cancel_RI.req;
         EXPECT_EQ(r.mask, 3u);
         EXPECT_EQ(r.dialogue.mask, 0u);
         EXPECT_EQ(r.dialogue.suffix.code, 0x4000u);
         EXPECT_EQ(r.opIds.count, 2u);
       }},
      {"R-Status request with a client invocation",
       keep(rda_createStatusReq(tmpl_, 5, &ci, &sfx, &auth, 1, std::data({9}))), 0x8060,
       cx(13, opId5() + cx(0, cx(0, cx(0, invoc) + dlg) + cx(1, hex("02 01 09")))),
       [](const RDAXOPENIdu& i) {
         const RDACntlledDlg& d = i.status_RI.req.dialogue;
         EXPECT_EQ(d.mask, 1u);
         EXPECT_EQ(arcs(d.clientInvoc.apTitle.objId), (std::vector<uint32_t>{1, 2, 3}));
         EXPECT_EQ(d.clientInvoc.aeInvokeId, 2);
       }},
      {"R-Cancel response", keep(rda_createCancelRsp(tmpl_, 5)), 0x8122, cx(12, opId5() + hex("80 00")), nullptr},
      {"R-Status response", statusRsp, 0x8132,
       cx(14, opId5() + cx(0, cx(0, seq(hex("80 01 03 81 00")) + seq(hex("80 01 04 86 02 61 62")) +
                                        seq(hex("80 01 05 86 00"))))),
       [](const RDAXOPENIdu& i) { EXPECT_EQ(i.status_RC.result.infos.count, 3u); }},
      {"R-Status response with no entry", keep(rda_createStatusRsp(tmpl_, 5, 0, nullptr)), 0x8132,
       cx(14, opId5() + cx(0, {})), nullptr},
  });
  auto* status = static_cast<RDAIdu*>(statusRsp->idu);
  const UL_Link* p = status->status_RC.result.infos.links.next;
  EXPECT_EQ(reinterpret_cast<const RDAStatusNode*>(p)->info.text, nullptr) << "a status without 0x4006 has no text";
  p = p->next->next;
  EXPECT_EQ(reinterpret_cast<const RDAStatusNode*>(p)->info.text, nullptr) << "a null text is kept";
}

TEST_F(IduBuild, ControlledDialogueCopies) {
  RDAAuthData auth{};
  auth.code = RDA_AUTH_TEXT;
  auth.text = const_cast<char*>("k");
  RDACntlledDlg d{};
  ASSERT_EQ(RDA_copyCntlledDlg(nullptr, nullptr, &auth, tree_, &d), 1);
  EXPECT_EQ(d.mask, 0u);
  EXPECT_EQ(d.suffix.code, 0u);
  EXPECT_STREQ(d.authData.text, "k");
  EXPECT_NE(d.authData.text, auth.text);

  RDADlgIDClientInvoc dn{};
  dn.apTitle.kind = UL_TITLE_DN;
  RDACntlledDlg d2{};
  EXPECT_EQ(RDA_copyCntlledDlg(&dn, nullptr, &auth, tree_, &d2), 0);
  EXPECT_TRUE(traced("*** RDA_copyCntlledDlg: can't copy dlgIDclientInvoc"));
  EXPECT_EQ(rda_createCancelReq(tmpl_, 5, &dn, nullptr, &auth, 0, nullptr), nullptr);
  EXPECT_TRUE(traced("*** rda_createCancelReq: can't copy cntlledDlg"));

  RDAList ids{};
  ASSERT_EQ(RDA_copyListOfOpID(3, std::data({1, 2, 3}), tree_, &ids), 1);
  EXPECT_EQ(ids.count, 3u);
  EXPECT_EQ(reinterpret_cast<RDAIntNode*>(ids.links.prev)->value, 3);
  {
    FailingAlloc fail(1);
    EXPECT_EQ(RDA_copyListOfOpID(3, std::data({1, 2, 3}), tree_, &ids), 0);
  }
  EXPECT_EQ(ids.count, 1u) << "what was appended stays";
  EXPECT_TRUE(traced("*** rda_createCancelReq: can't copy cancel opID"));
}

TEST_F(IduBuild, AppCtxNameOfALocalNameRecord) {
  RDALocalName n{"local", *rda_xopenAppCtxName};
  EXPECT_EQ(rda_getAppCtxName(&n), &n.appCtxName);
  QvSetOsiError(0);
  EXPECT_EQ(rda_getAppCtxName(nullptr), nullptr);
  EXPECT_EQ(QvGetOsiError(), 52484);
  EXPECT_TRUE(traced("*** rda_getAppCtxName: mandatory parameter localname is referencing NULL"));
}

// Every allocation of a builder failing in turn: NULL, and nothing left
// behind (the value tree of a request included), until the builder has all
// it needs.
TEST_F(IduBuild, BuildersLeaveNothingWhenAnyAllocationFails) {
  quietEntries();
  const OctStgV sfx = octs("s");
  const OctStgV stmt = octs("select 1");
  RDAAuthData auth{};
  auth.code = RDA_AUTH_TEXT;
  auth.text = const_cast<char*>("pw");
  const uint32_t one = 1;
  const RDAStatusEntry entries[] = {{3, 0x4006, "ab"}, {4, 0x4006, "cd"}};
  const int32_t ops[] = {1, 2, 3};
  XmTree* vt = nullptr;
  RDASQLValList* lists[2] = {};
  struct Builder {
    const char* what;
    std::function<GIDU*()> build;
    std::function<void()> prepare = nullptr;
  };
  const Builder builders[] = {
      {"R-Initialize request",
       [&] { return rda_createSQLInitReq(tmpl_, 5, &sfx, "usr", &auth, &one, 0, rda_xopenIntegrityYes, &sfx); }},
      {"R-Initialize response", [&] { return rda_createSQLInitRsp(tmpl_, 5, 1, nullptr, &auth, 0, &sfx); }},
      {"R-Commit response", [&] { return rda_createSQLCommitRsp(tmpl_, 5, 1, L"text"); }},
      {"R-Open request",
       [&] {
         return rda_createSQLOpenReq(tmpl_, 5, 0, "db", &auth, nullptr, rda_xopenChar8859_1, rda_xopenIntegrityYes);
       }},
      {"R-Open response",
       [&] { return rda_createSQLOpenRsp(tmpl_, 5, 1, rda_xopenChar8859_1, rda_xopenIntegrityYes); }},
      {"R-ExecuteDBL request with rows",
       [&] {
         return rda_createSQLExecDBLReq(tmpl_, 5, nullptr, rda_xopenChar8859_1, &stmt, 0, nullptr, 0, nullptr, 2, lists,
                                        1, vt);
       },
       [&] {
         // The caller's value tree, taken over by the builder whatever happens.
         vt = _xm_allocTree(nullptr);
         for (auto*& l : lists) {
           l = rda_createSQLValList(vt);
           OctStgV v = octs("v");
           rda_addXOPENSQLVal(vt, &l->values, RDA_SQLVAL_CHAR, &v, 0, 0, nullptr, nullptr, 0, 0);
         }
       }},
      {"R-DropDBL response", [&] { return rda_createSQLDropDBLRsp(tmpl_, 5, 3, ops); }},
      {"R-Status request", [&] { return rda_createStatusReq(tmpl_, 5, nullptr, &sfx, &auth, 3, ops); }},
      {"R-Status response", [&] { return rda_createStatusRsp(tmpl_, 5, 2, entries); }},
  };
  for (const Builder& b : builders) {
    for (int n = 0;; ++n) {
      ASSERT_LT(n, 60) << b.what;
      const long before = liveBlocks.load();
      if (b.prepare) b.prepare();
      GIDU* g = nullptr;
      {
        FailingAlloc fail(n);
        g = b.build();
      }
      if (g != nullptr) {
        al_deleteGidu(g);
        EXPECT_EQ(liveBlocks.load(), before) << b.what;
        break;
      }
      EXPECT_EQ(liveBlocks.load(), before) << b.what << ", allocation " << n;
    }
  }
}

}  // namespace
