// Error GIDUs: the event that answers a failing primitive, the value its
// service may carry, the parameter, and the readers of received errors.
// Octets worked out by hand from X.690 and the ASN.1 of the messages.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rda/rda_fixture.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_idubuild.h"

namespace {

class ErrIdu : public RdaGiduTest {
 protected:
  // A primitive with operation identifier 5 and the template's references
  // carrying `event` (its IDU is that of the service's request).
  GIDU* failing(RdaEventCode event) {
    GIDU* g = rda_createSQLTermReq(tmpl_, 5);
    if (g != nullptr) g->event = event;
    return g;
  }
};

const Bytes kOpId = hex("02 01 05");

TEST_F(ErrIdu, ErrorsAnswerTheirPrimitiveWithTheValueOfItsService) {
  const int32_t openHandle = 3;
  const RDAInvSequence seq4{1, 4};
  RDAErrDiag diag{3, 2, const_cast<char*>("x")};
  struct Case {
    const char* what;
    RdaEventCode failing;
    bool sql;
    uint32_t number;
    const void* diag;
    RdaEventCode answer;
    uint32_t value;
    uint32_t readBack;  // by rda_getSQLErr
    Bytes wire;
  };
  const Case cases[] = {
      {"local R-Open request", 0x8070, false, 14, nullptr, 0x8216, 8205, 14, cx(16, kOpId + cx(1, hex("4D 00")))},
      {"received R-Open indication", 0x8074, false, 14, nullptr, 0x8212, 8205, 14, cx(16, kOpId + cx(1, hex("4D 00")))},
      {"R-Initialize indication", 0x8004, false, 24, nullptr, 0x81A2, 8214, 24, cx(1, kOpId + cx(1, hex("56 00")))},
      {"R-Commit with its sequence state", 0x8034, false, 17, &seq4, 0x81D2, 8208, 17,
       cx(8, kOpId + cx(1, hex("70 03 80 01 04")))},
      {"R-Open with the open handle", 0x8074, false, 10, &openHandle, 0x8212, 8197, 10,
       cx(16, kOpId + cx(1, hex("65 03 80 01 03")))},
      {"R-ExecuteDBL aborted with its diagnostic", 0x8094, false, 19, &diag, 0x8232, 8210, 19,
       cx(19 + 1, kOpId + cx(1, hex("72 06 80 01 02 81 01 78")))},
      {"R-BeginTransaction: no outcome word", 0x8024, false, 17, nullptr, 0x81C2, 8208, 17,
       cx(6, kOpId + cx(0, hex("70 00")))},
      {"local R-Open response is answered for R-Open", 0x8142, false, 14, nullptr, 0x8216, 8205, 14,
       cx(16, kOpId + cx(1, hex("4D 00")))},
      {"a received R-Close response likewise", 0x8156, false, 17, nullptr, 0x8222, 8208, 17,
       cx(18, kOpId + cx(1, hex("70 00")))},
      {"SQL error of R-Close", 0x8084, true, 109, nullptr, 0x8222, 8218, 109, cx(18, kOpId + cx(1, hex("5A 00")))},
      {"SQL error of R-ExecuteDBL", 0x8094, true, 110, nullptr, 0x8232, 8225, 110,
       cx(20, kOpId + cx(1, hex("5F 21 00")))},
      {"generic number through the SQL builder", 0x8084, true, 17, nullptr, 0x8222, 8208, 17,
       cx(18, kOpId + cx(1, hex("70 00")))},
      // Numbers the service cannot carry go out as "operation aborted" with the number.
      {"16 on R-Initialize", 0x8004, false, 16, nullptr, 0x81A2, 8210, 19, cx(1, kOpId + cx(1, hex("72 03 80 01 10")))},
      {"21 on R-Open", 0x8074, false, 21, nullptr, 0x8212, 8210, 19, cx(16, kOpId + cx(1, hex("72 03 80 01 15")))},
      {"SQL 105 on R-Open", 0x8074, true, 105, nullptr, 0x8212, 8210, 19, cx(16, kOpId + cx(1, hex("72 03 80 01 69")))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GIDU* f = failing(c.failing);
    ASSERT_NE(f, nullptr);
    GIDU* e = c.sql ? rda_createSQLErrIdu(f, c.number, c.diag) : rda_createGenErrIdu(f, c.number, c.diag);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->event, c.answer);
    EXPECT_EQ(e->iduType, 200u);
    EXPECT_EQ(e->ue, &ue_);
    EXPECT_EQ(e->pc, &pc_);
    const auto* idu = static_cast<const RDAIdu*>(e->idu);
    EXPECT_EQ(idu->tag, rda_getRdaEventTag(c.answer));
    if (idu->tag == RDA_BGNTRANS_RC) {
      EXPECT_EQ(idu->bgnTrans_RC.error.code, c.value);
    } else {
      EXPECT_EQ(idu->term_RC.outcome, RDA_OUTCOME_ERROR);
      EXPECT_EQ(idu->open_RC.error.code, c.value);
    }
    const Bytes wire = wireOf(e);
    EXPECT_EQ(wire, c.wire);
    EXPECT_NE(decoded(wire), nullptr);
    EXPECT_EQ(rda_getSQLErr(e), c.readBack);
    EXPECT_EQ(rda_getGenErr(e), c.readBack < 100 ? c.readBack : 0u);
    al_deleteGidu(e);
  }
}

TEST_F(ErrIdu, AnErrorThatRCommitCannotCarryQuickAbortsTheAssociation) {
  for (RdaEventCode ev : {0x8034u, 0x8044u}) {  // R-Commit, R-Rollback indications
    GIDU* f = failing(ev);
    GIDU* q = rda_createGenErrIdu(f, 1, nullptr);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->event, 6u) << "QABORT";
    EXPECT_EQ(q->iduType, 200u);
    EXPECT_EQ(q->uc, &uc_);
    EXPECT_EQ(q->pc, &pc_);
    EXPECT_EQ(q->idu, nullptr);
    al_deleteGidu(q);
  }
  GIDU* f = failing(0x8034);
  GIDU* q = rda_createSQLErrIdu(f, 103, nullptr);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->event, 6u);
  al_deleteGidu(q);
}

TEST_F(ErrIdu, ReadersGiveNoErrorForAResult) {
  GIDU* term = rda_createSQLTermRsp(tmpl_, 5);
  GIDU* open = rda_createSQLOpenRsp(tmpl_, 5, 1, nullptr, nullptr);
  for (GIDU* g : {term, open}) {
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(rda_getGenErr(g), 0u);
    EXPECT_EQ(rda_getSQLErr(g), 0u);
    al_deleteGidu(g);
  }
  GIDU* req = rda_createSQLTermReq(tmpl_, 5);
  EXPECT_EQ(rda_getGenErr(req), 0u) << "a request";
  al_deleteGidu(req);
  EXPECT_EQ(rda_getGenErr(nullptr), 0u);
}

TEST_F(ErrIdu, DiagnosticCopies) {
  RDAErr err{};
  const int32_t handle = 9;
  EXPECT_EQ(copyDiagInfo(&err, &handle, tree_, 10), 1);
  EXPECT_EQ(err.alreadyOpen.handle, 9);
  EXPECT_EQ(copyDiagInfo(&err, nullptr, tree_, 10), 0) << "the open handle is required";
  EXPECT_EQ(copyDiagInfo(&err, nullptr, tree_, 17), 1);
  EXPECT_EQ(err.invSequence.mask, 0u);
  RDAErrDiag d{3, 4, const_cast<char*>("why")};
  for (uint32_t n : {9u, 19u}) {
    err = RDAErr{};
    ASSERT_EQ(copyDiagInfo(&err, &d, tree_, n), 1);
    EXPECT_EQ(err.diag.mask, 3u);
    EXPECT_EQ(err.diag.code, 4);
    EXPECT_STREQ(err.diag.text, "why");
    EXPECT_NE(err.diag.text, d.text);
  }
  err = RDAErr{};
  EXPECT_EQ(copyDiagInfo(&err, nullptr, tree_, 19), 1);
  EXPECT_EQ(err.diag.mask, 0u);
  EXPECT_EQ(copyDiagInfo(&err, &d, tree_, 14), 1) << "others take no parameter";
}

TEST_F(ErrIdu, OutOfMemoryKeepsOrDeletesTheFailingGiduAsPromised) {
  quietEntries();
  RDAErrDiag d{3, 4, const_cast<char*>("why")};
  for (int n = 0;; ++n) {
    ASSERT_LT(n, 50);
    const long before = liveBlocks.load();
    GIDU* f = failing(0x8094);
    ASSERT_NE(f, nullptr);
    trace().clear();
    GIDU* e = nullptr;
    {
      FailingAlloc fail(n);
      e = rda_createGenErrIdu(f, 19, &d);
    }
    if (e != nullptr) {
      al_deleteGidu(e);
      EXPECT_EQ(liveBlocks.load(), before);
      break;
    }
    if (traced("can't copy diagnostic info")) {
      EXPECT_EQ(liveBlocks.load(), before) << "both deleted, allocation " << n;
    } else {
      EXPECT_TRUE(traced("*** rda_createGenErrIdu: can't create rdaIdu")) << n;
      EXPECT_EQ(f->event, 0x8094u) << "the failing GIDU is kept";
      al_deleteGidu(f);
      EXPECT_EQ(liveBlocks.load(), before) << n;
    }
  }
}

}  // namespace
