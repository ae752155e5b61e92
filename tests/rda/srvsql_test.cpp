// SQL specialization server rules: one data resource per dialogue,
// transactions around open and close, statements outside transactions,
// argument values against their description, and the route from an
// indication to its answer through the rules of both sides.
#include <gtest/gtest.h>

#include "rda/srv_fixture.h"

namespace {

class SrvSqlTest : public SrvTest {
 protected:
  // The route of the server role with the rules of both sides in their
  // slots; every other step records.
  static constexpr std::array<AlGiduFn, 16> kRealRoute = {
      &step<0>, &step<1>, &step<2>, &step<3>, &step<4>, &step<5>, &step<6>, &step<7>,
      &RDA_surSQLExecRulesSnd, &step<9>, &RDA_surSQLExecRulesRcv, &RDA_surExecCkServerSnd,
      &step<12>, &step<13>, &step<14>, &step<15>};

  void SetUp() override {
    SrvTest::SetUp();
    acb_->routeTbl = kRealRoute.data();
    dlg_ = openDialogue();
    level_[0] = 1;
    level_[1] = 2;
    dlg_->sqlConformLevelDef = &levelOid_;
  }

  // The number an answer carries; one its service cannot carry travels as
  // "operation aborted" with the number as diagnostic.
  static uint32_t numberOf(const GIDU* g) {
    const uint32_t n = rda_getSQLErr(g);
    const RDAErr* e = rda_rcError(g->idu, RdaFamily::Iso);
    return n == RDA_GENERR_OP_ABORTED && e != nullptr ? static_cast<uint32_t>(e->diag.code) : n;
  }
  // Runs an indication from the receive chain; 0 when it reached the user
  // step (slot 14), else the SQL or generic number of its answer, held or
  // sent.
  uint32_t verdict(GIDU* g) {
    clearHops();
    const auto opId = static_cast<uint32_t>(static_cast<RDAIdu*>(g->idu)->term_RI.opId);
    rcv(g);
    if (!hopsAt(14).empty()) return 0;
    // An answer the SQL rules made went back: it passes the send rules.
    while (GIDU* back = AL_surRouteDQ(acb_)) AL_surRoute(back, AL_SUR_QUE, 0);
    for (const UL_Link* l = dlg_->opList->links.next; l != &dlg_->opList->links; l = l->next) {
      const auto* op = static_cast<const OpEnt*>(l);
      if (op->opID == opId && op->rsp != nullptr) return numberOf(op->rsp);
    }
    for (const auto& h : hops_)
      if (h.opId == static_cast<int32_t>(opId) && h.slot >= 0 && h.slot != 14) return numberOf(h.gidu);
    return 999;
  }
  // Answers the operation as the server user would, from the send chain.
  void answer(GIDU* g) {
    clearHops();
    acb_->routeLevel = 4;
    AL_surRoute(g, AL_SUR_QUE, 0);  // slot 4: recorded
    GIDU* at4 = hops_.back().gidu;
    hops_.pop_back();
    acb_->routeLevel = 8;
    RDA_surExecCkServerSnd(at4);
  }

  GIDU* openInd(int32_t opId, int32_t hndl, int32_t parent = 0, std::optional<int32_t> usage = std::nullopt) {
    GIDU* g = SrvTest::openInd(opId, hndl, parent);
    auto* req = &static_cast<RDAIdu*>(g->idu)->open_RI.req;
    if (usage) {
      req->mask |= RDA_OPEN_USAGE;
      req->usageMode = *usage;
    }
    return g;
  }
  // Opens resource 10 and keeps it (its R-Open answered).
  void openResource() {
    ASSERT_EQ(verdict(openInd(1, 10)), 0u);
    answer(rsp(RDA_OPEN_RSP, 1));
    ASSERT_NE(RDA_surGetRsrcEnt(10, dlg_), nullptr);
    clearHops();
  }
  GIDU* execInd(int32_t opId, RDAExecDBL_Req** req = nullptr) {
    void* b = nullptr;
    GIDU* g = ind(RDA_EXECDBL_IND, opId, &b);
    if (req != nullptr) *req = static_cast<RDAExecDBL_Req*>(b);
    return g;
  }
  static int32_t refuseSchema(const ObjIdV*, const RDASQLDBLStmt* s) {
    return s != nullptr && s->text.length == 6 ? 1 : 0;  // "CREATE" only
  }
  void setText(GIDU* g, RDASQLDBLStmt* stmt, const char* text) {
    const auto n = static_cast<uint32_t>(strlen(text));
    stmt->text.length = n;
    stmt->text.octets = static_cast<uint8_t*>(_xm_allocItem(xm_getParentOfItem(g->idu), n, 0));
    memcpy(stmt->text.octets, text, n);
  }

  DlgEnt* dlg_ = nullptr;
  uint32_t level_[2]{};
  ObjIdV levelOid_{2, level_};
};

TEST_F(SrvSqlTest, ADialogueHoldsOneResourceOpenedOutsideTransactions) {
  openResource();
  EXPECT_EQ(verdict(openInd(2, 20)), 104u) << "a second resource";
  EXPECT_EQ(RDA_surGetRsrcEnt(20, dlg_), nullptr) << "the refusal deleted what the R-Open made";
  EXPECT_EQ(verdict(openInd(3, 30, 10)), 104u) << "through a parent";
  EXPECT_EQ(verdict(ind(RDA_BGNTRANS_IND, 4)), 0u);
  RDA_surDeleteRsrcEnt(RDA_surGetRsrcEnt(10, dlg_));
  EXPECT_EQ(verdict(openInd(5, 50)), 109u) << "inside a transaction";
  void* b = nullptr;
  GIDU* close = ind(RDA_CLOSE_IND, 6, &b);
  initRing(&static_cast<RDAListSeq*>(b)->list);
  EXPECT_EQ(verdict(close), 109u);
}

TEST_F(SrvSqlTest, OpenChecksConformanceLevelAndUsageMode) {
  EXPECT_EQ(verdict(openInd(1, 10, 0, 2)), 110u) << "carried as operation aborted";
  EXPECT_EQ(verdict(openInd(2, 10, 0, 1)), 0u);
  EXPECT_EQ(RDA_surGetRsrcEnt(10, dlg_)->sql->usageMode, 1u);
  answer(rsp(RDA_OPEN_RSP, 2));
  EXPECT_NE(RDA_surGetRsrcEnt(10, dlg_), nullptr) << "the answered R-Open keeps its resource";
  RDA_surDeleteRsrcEnt(RDA_surGetRsrcEnt(10, dlg_));
  dlg_->sqlConformLevelDef = nullptr;
  EXPECT_EQ(verdict(openInd(3, 10)), 106u) << "no level anywhere";
  dlg_->sqlConformLevelDef = &levelOid_;
  RDA_surSQLRulesTable.isAccessControlValid = [](const ObjIdV*, const RDAAccessCntlData*, const char*,
                                                 const char*) { return 0; };
  EXPECT_EQ(verdict(openInd(4, 10)), 100u);
}

TEST_F(SrvSqlTest, StatementsOutsideATransactionPassOnlyWhenSchemaStatements) {
  openResource();
  RDA_surSQLRulesTable.isSchemaStmt = refuseSchema;
  RDAExecDBL_Req* req = nullptr;
  GIDU* g = execInd(2, &req);
  setText(g, &req->stmt, "CREATE");
  EXPECT_EQ(verdict(g), 0u);
  g = execInd(3, &req);
  setText(g, &req->stmt, "SELECT 1");
  EXPECT_EQ(verdict(g), 108u);

  // R-DefineDBL is not refused for it; its R-InvokeDBL is.
  void* b = nullptr;
  g = ind(RDA_DEFINEDBL_IND, 4, &b);
  auto* def = static_cast<RDADefineDBL_Req*>(b);
  def->cmdHandle = 7;
  setText(g, &def->stmt, "SELECT 2");
  EXPECT_EQ(verdict(g), 0u);
  answer(rsp(RDA_DEFINEDBL_RSP, 4));
  ASSERT_NE(RDA_surGetDBLEnt(7, dlg_), nullptr) << "the answered R-DefineDBL keeps its command";
  g = ind(RDA_INVOKEDBL_IND, 5, &b);
  static_cast<RDAInvokeDBL_Req*>(b)->cmdHandle = 7;
  EXPECT_EQ(verdict(g), 108u);
  EXPECT_EQ(verdict(ind(RDA_BGNTRANS_IND, 6)), 0u);
  g = ind(RDA_INVOKEDBL_IND, 7, &b);
  static_cast<RDAInvokeDBL_Req*>(b)->cmdHandle = 7;
  EXPECT_EQ(verdict(g), 0u);
}

TEST_F(SrvSqlTest, StatementHooksRefuseInTheirOrder) {
  openResource();
  EXPECT_EQ(verdict(ind(RDA_BGNTRANS_IND, 2)), 0u);
  struct Case {
    const char* what;
    void (*set)(RdaSurSQLRulesTbl&);
    uint32_t err;
  } cases[] = {
      {"transaction statement", [](RdaSurSQLRulesTbl& t) { t.isTransStmt = [](const ObjIdV*, const RDASQLDBLStmt*) { return 1; }; }, 103},
      {"usage mode", [](RdaSurSQLRulesTbl& t) { t.isUsageModeValid = [](const ObjIdV*, uint32_t, const RDASQLDBLStmt*) { return 0; }; }, 110},
      {"host identifier", [](RdaSurSQLRulesTbl& t) { t.isHostIdValid = [](const ObjIdV*, const RDASQLDBLStmt*) { return 0; }; }, 105},
  };
  int32_t opId = 10;
  for (const Case& c : cases) {
    RDA_surSQLRulesTable = rules_;
    c.set(RDA_surSQLRulesTable);
    EXPECT_EQ(verdict(execInd(opId++)), c.err) << c.what;
  }
}

// Descriptor and value lists built by hand, ISO family.
class ArgCheckTest : public SrvTest {
 protected:
  RDAList spec(std::initializer_list<std::pair<uint32_t, uint32_t>> items) {  // {type tag code, nullable}
    RDAList l{};
    initRing(&l);
    for (auto [code, nullable] : items) {
      auto* d = static_cast<RDASQLDataTypeDescr*>(_xm_allocItem(tree_, sizeof(RDASQLDataTypeDescr), XM_ZERO));
      d->mask = 0x01;
      d->nullable = nullable;
      d->type.code = code;
      auto* n = static_cast<RDADescrNode*>(_xm_allocItem(tree_, sizeof(RDADescrNode), XM_ZERO));
      n->descr = d;
      link(&l, &n->links);
    }
    return l;
  }
  struct V {
    uint32_t code;  // 0: no value
    std::optional<int32_t> indicator;
  };
  RDAList row(std::initializer_list<V> vals) {
    RDAList l{};
    initRing(&l);
    for (const V& v : vals) {
      auto* s = static_cast<RDASQLVal*>(_xm_allocItem(tree_, sizeof(RDASQLVal), XM_ZERO));
      if (v.code != 0) {
        s->mask |= 0x01;
        s->value.code = v.code;
      }
      if (v.indicator) {
        s->mask |= 0x02;
        s->indicator = *v.indicator;
      }
      auto* n = static_cast<RDAValNode*>(_xm_allocItem(tree_, sizeof(RDAValNode), XM_ZERO));
      n->val = s;
      link(&l, &n->links);
    }
    return l;
  }
  RDADBLArgs single(const RDAList& r, uint32_t mask = 0x03) {
    RDADBLArgs a{};
    a.code = RDA_EXEC_SINGLE_ROW;
    a.single.mask = mask;
    a.single.count = 1;
    a.single.values.code = 0x4001;
    a.single.values.values = r;
    a.single.values.values.links.next->prev = &a.single.values.values.links;
    a.single.values.values.links.prev->next = &a.single.values.values.links;
    return a;
  }
};

TEST_F(ArgCheckTest, ValuesMatchTheirSpecification) {
  RDAList s = spec({{0x4005, 0}, {0x4008, 1}});  // CHARACTER not nullable, INTEGER nullable
  struct Case {
    const char* what;
    std::initializer_list<V> vals;
    uint32_t err;
  } cases[] = {
      {"both match", {{0x4000, {}}, {0x4003, {}}}, 0},
      {"null where nullable", {{0x4000, {}}, {0, -1}}, 0},
      {"null where not nullable", {{0, 0}, {0x4003, {}}}, 102},
      {"positive indicator counts as a value", {{0x4000, 5}, {0x4003, {}}}, 0},
      {"wrong type", {{0x4003, {}}, {0x4003, {}}}, 102},
      {"value tag beyond the table", {{0x4000, {}}, {0x4040, {}}}, 102},
      {"value without a tag", {{0x4000, {}}, {0, {}}}, 102},
  };
  for (const Case& c : cases) {
    RDAList r = row(c.vals);
    RDADBLArgs a = single(r);
    EXPECT_EQ(cmpTypeNVal(true, &s, true, &a, false), c.err) << c.what;
  }
  EXPECT_EQ(cmpTypeNVal(false, &s, true, nullptr, false), 0u) << "no argument description";
}

TEST_F(ArgCheckTest, RowCountsAgainstTheSpecification) {
  RDAList s = spec({{0x4008, 1}, {0x4008, 1}});
  // A list of rows: every row must be complete; NULL only with indicator -1.
  auto addRow = [&](RDADBLArgs& args, std::initializer_list<V> vals) {
    auto* n = static_cast<RDARowNode*>(_xm_allocItem(tree_, sizeof(RDARowNode), XM_ZERO));
    RDAList r = row(vals);
    n->row.code = 0x4001;
    n->row.values = r;
    n->row.values.links.next->prev = &n->row.values.links;
    n->row.values.links.prev->next = &n->row.values.links;
    link(&args.multi.rows, &n->links);
  };
  RDADBLArgs multi{};
  multi.code = RDA_EXEC_MULTI_ROW;
  initRing(&multi.multi.rows);
  addRow(multi, {{0x4003, {}}, {0x4003, {}}});
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &multi, false), 0u);
  addRow(multi, {{0x4003, {}}, {0, 0}});  // indicator 0 in a row list is no NULL
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &multi, false), 102u);
  RDADBLArgs shortRows{};
  shortRows.code = RDA_EXEC_MULTI_ROW;
  initRing(&shortRows.multi.rows);
  addRow(shortRows, {{0x4003, {}}, {0x4003, {}}});
  addRow(shortRows, {{0x4003, {}}});
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &shortRows, false), 101u) << "a short row";

  // A single row of another length: refused unless the row's flags word,
  // masked with 0x4005, is 1.
  RDAList one = row({{0x4003, {}}});
  RDADBLArgs a = single(one, 0x02);
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &a, false), 101u);
  a.single.mask = 0x03;
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &a, false), 0u);
}

TEST_F(ArgCheckTest, XopenRecordsAreReadWhereTheyLie) {
  // The X/Open descriptor carries three more elements before its type, and
  // its value record is wider: a check that read them as ISO records would
  // compare the wrong words.
  RDAList s{};
  initRing(&s);
  auto* d = static_cast<RDAXOPENSQLDataTypeDescr*>(_xm_allocItem(tree_, sizeof(RDAXOPENSQLDataTypeDescr), XM_ZERO));
  d->nullable = 0;
  d->number = 7;
  d->type.code = 0x4020;  // boolean
  auto* dn = static_cast<RDADescrNode*>(_xm_allocItem(tree_, sizeof(RDADescrNode), XM_ZERO));
  dn->descr = d;
  link(&s, &dn->links);
  RDAList r{};
  initRing(&r);
  auto* v = static_cast<RDAXOPENSQLVal*>(_xm_allocItem(tree_, sizeof(RDAXOPENSQLVal), XM_ZERO));
  v->mask = 0x01;
  v->value.code = 0x401B;  // [27] boolean
  auto* vn = static_cast<RDAValNode*>(_xm_allocItem(tree_, sizeof(RDAValNode), XM_ZERO));
  vn->val = v;
  link(&r, &vn->links);
  RDADBLArgs a = single(r);
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &a, true), 0u);
  v->mask = 0x02;  // NULL with indicator 0, not nullable
  v->indicator = 0;
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &a, true), 102u);
  d->nullable = 1;
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &a, true), 0u);
  v->indicator = 3;  // a positive indicator is no NULL, and there is no value
  EXPECT_EQ(cmpTypeNVal(true, &s, true, &a, true), 102u);
}

TEST_F(ArgCheckTest, CharacterItemsNeedTheirCharacterSet) {
  RDAList ints = spec({{0x4008, 1}});
  EXPECT_EQ(checkForCharSet(&ints, false), 1);
  RDAList chars = spec({{0x4008, 1}, {0x400F, 1}});
  EXPECT_EQ(checkForCharSet(&chars, false), 0) << "VARCHAR without its set";
  auto* last = static_cast<RDADescrNode*>(static_cast<void*>(chars.links.prev));
  static_cast<RDASQLDataTypeDescr*>(last->descr)->type.varChar.mask = 0x01;
  EXPECT_EQ(checkForCharSet(&chars, false), 1);
  RDAList empty{};
  initRing(&empty);
  EXPECT_EQ(checkForCharSet(&empty, false), 0);
}

TEST_F(SrvSqlTest, ExecuteWithoutCharacterSetOrWithMismatchedArgumentsIsRefused) {
  openResource();
  EXPECT_EQ(verdict(ind(RDA_BGNTRANS_IND, 2)), 0u);
  XmTree* t = nullptr;
  RDAExecDBL_Req* req = nullptr;
  GIDU* g = execInd(3, &req);
  t = xm_getParentOfItem(g->idu);
  initRing(&req->argSpecs);
  auto* d = static_cast<RDASQLDataTypeDescr*>(_xm_allocItem(t, sizeof(RDASQLDataTypeDescr), XM_ZERO));
  d->type.code = 0x4005;  // CHARACTER, no set
  auto* n = static_cast<RDADescrNode*>(_xm_allocItem(t, sizeof(RDADescrNode), XM_ZERO));
  n->descr = d;
  link(&req->argSpecs, &n->links);
  req->mask |= RDA_EXEC_ARGSPEC;
  EXPECT_EQ(verdict(g), 107u);
}

}  // namespace
