// Rules of the SQL specialization in the server role.
#include <iterator>

#include "src/acse/al_trace.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

bool rda_srvIsXopen(const ACB* acb) {
  return acb != nullptr && ul_objidvcmp(&acb->appContext, rda_xopenAppCtxName) != 0;
}

// ---------------------------------------------------------------------------
// Rules.

namespace {

constexpr const char* kSrc = "src/rdasrv";

struct SqlCtx {
  GIDU* gidu;  // the indication (NULL once consumed) or the response
  OpEnt* op;
  DlgEnt* dlg;
  ACB* acb;
  const RDAIdu* idu;
  bool xopen;
};

using SqlRule = int32_t (*)(SqlCtx& c);

const ObjIdV* ctxOf(const SqlCtx& c) { return &c.acb->appContext; }

void quickAborts(GIDU* g, uint32_t code) {
  const AlSurConf* conf = AL_surGetConf();
  AL_surSendQuickAborts(g, conf != nullptr ? conf->opQueHndl : nullptr, conf != nullptr ? conf->sendToAe : nullptr,
                        code);
}

// Answers the indication with SQL error `number`: 0, or 52556 after
// `cantCreate`.
int32_t refuse(SqlCtx& c, uint32_t number, const char* cantCreate) {
  c.op->rsp = rda_srvGenErr(&c.gidu, number, nullptr);
  if (c.op->rsp != nullptr) return 0;
  TM_TRACE(rda_surTMHandle, 0x08, kSrc, cantCreate, number);
  return RDA_SUR_ERR_NO_RESOURCE;
}

ObjIdV* copyOid(const ObjIdV& src, XmTree* tree) { return ul_objidvcpyRetPtr(&src, tree); }

int32_t procSQLInitInd(SqlCtx& c) {
  const RDAInit_Req& req = c.idu->init_RI.req;
  if ((req.mask & RDA_INIT_SQL) == 0 || (req.sql.mask & 0x01) == 0) return 0;
  c.dlg->sqlConformLevelDef = copyOid(req.sql.conformLevel, c.dlg->tree);
  if (c.dlg->sqlConformLevelDef == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLInitInd: can't copy sQLConformLevelDef");
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  return 0;
}

int32_t procSQLOpenInd(SqlCtx& c) {
  const RDAOpen_Req& req = c.idu->open_RI.req;
  if (c.dlg->transState == RDA_TRANS_OPEN)
    return refuse(c, RDA_SQLTransOpen, "*** procSQLOpenInd: can't create RDA_SQLTransOpen error\n");
  if (c.dlg->rsrcList.count >= 2 || (req.mask & RDA_OPEN_PARENT) != 0)
    return refuse(c, RDA_SQLDataRsrcAlreadyOpen, "*** procSQLOpenInd: can't create RDA_SQLDataRsrcAlreadyOpen error\n");
  const RDAAccessCntlData* access = (req.mask & RDA_OPEN_ACCESS) != 0 ? &req.accessCntlData : nullptr;
  const char* name = (req.mask & RDA_OPEN_NAME) != 0 ? req.dataResourceName : nullptr;
  if (RDA_surSQLRulesTable.isAccessControlValid(ctxOf(c), access, name, c.dlg->identityOfUser) == 0)
    return refuse(c, RDA_SQLAccessCntlViolation, "*** procSQLOpenInd: can't create RDA_SQLAccessCntlViolation error\n");
  RsrcEnt* r = RDA_surGetRsrcEnt(static_cast<uint32_t>(req.handle), c.dlg);
  if (r == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLOpenInd: internal error, can't find data resouce %d\n", req.handle);
    return RDA_SUR_ERR_INTERNAL_ERROR;
  }
  r->sql = static_cast<RsrcSQLExt*>(_xm_allocItem(r->tree, sizeof(RsrcSQLExt), XM_ZERO));
  if (r->sql == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLOpenInd: can't create specRsrcEntExt\n");
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  if ((req.mask & RDA_OPEN_SQL) != 0) {
    if ((req.sql.mask & 0x02) != 0) {
      r->sql->conformLevel = copyOid(req.sql.conformLevel, r->tree);
      if (r->sql->conformLevel == nullptr) {
        TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLOpenInd: can't copy sQLConformLevel\n");
        return RDA_SUR_ERR_NO_RESOURCE;
      }
    } else {
      r->sql->conformLevel = c.dlg->sqlConformLevelDef;
    }
    if ((req.sql.mask & 0x01) != 0) {
      r->sql->clientDefCharSet = copyOid(req.sql.charSet, r->tree);
      if (r->sql->clientDefCharSet == nullptr) {
        TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLOpenInd: can't copy clientDefCharSet\n");
        return RDA_SUR_ERR_NO_RESOURCE;
      }
    }
  }
  const ObjIdV* level = r->sql->conformLevel != nullptr ? r->sql->conformLevel : c.dlg->sqlConformLevelDef;
  if (level == nullptr || RDA_surSQLRulesTable.isConformLevelValid(ctxOf(c), level) == 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procSQLOpenInd: invalid SQL conformance level\n");
    return refuse(c, RDA_SQLINvSQLConformLevel, "*** procSQLOpenInd: can't create RDA_SQLINvSQLConformLevel error\n");
  }
  const int32_t usage = (req.mask & RDA_OPEN_USAGE) != 0 ? req.usageMode : 0;
  if (usage != 0 && usage != 1) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procSQLOpenInd: invalid SQL usage mode value %d\n", usage);
    return refuse(c, RDA_SQLUsageModeViolation, "*** procSQLOpenInd: can't create RDA_SQLUsageModeViolation error\n");
  }
  r->sql->usageMode = static_cast<uint32_t>(usage);
  return 0;
}

int32_t procSQLCloseInd(SqlCtx& c) {
  if (c.dlg->transState == RDA_TRANS_OPEN)
    return refuse(c, RDA_SQLTransOpen, "*** procSQLCloseInd: can't create RDA_SQLTransOpen error\n");
  return 0;
}

// The checks R-ExecuteDBL and R-DefineDBL share, in their order: statement
// kind, usage mode, host identifier, character set. Sets *err to the SQL
// error (0 none); `who` names the rule in the traces.
struct StmtTexts {
  const char* trans;
  const char* usage;
  const char* hostId;
  const char* charSet;
  const char* cantTrans;
  const char* cantUsage;
  const char* cantHostId;
  const char* cantCharSet;
};

int32_t checkStmt(SqlCtx& c, const RDASQLDBLStmt* stmt, bool argSpecPresent, const RDAList* argSpec,
                  const StmtTexts& t, bool* refused) {
  *refused = true;
  const RsrcEnt* first =
      c.dlg->rsrcList.count > 0 ? static_cast<const RsrcEnt*>(c.dlg->rsrcList.links.next) : nullptr;
  const RsrcSQLExt* ext = first != nullptr ? first->sql : nullptr;
  const RdaSurSQLRulesTbl& q = RDA_surSQLRulesTable;
  if (q.isTransStmt(ctxOf(c), stmt) != 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.trans);
    return refuse(c, RDA_SQLDBLStmtNotAllowed, t.cantTrans);
  }
  if (q.isUsageModeValid(ctxOf(c), ext != nullptr ? ext->usageMode : 0, stmt) == 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.usage);
    return refuse(c, RDA_SQLUsageModeViolation, t.cantUsage);
  }
  if (q.isHostIdValid(ctxOf(c), stmt) == 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.hostId);
    return refuse(c, RDA_SQLHostIdError, t.cantHostId);
  }
  if ((ext == nullptr || ext->clientDefCharSet == nullptr) && argSpecPresent && checkForCharSet(argSpec, c.xopen) == 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "%s", t.charSet);
    return refuse(c, RDA_SQLNoCharSet, t.cantCharSet);
  }
  *refused = false;
  return 0;
}

int32_t procSQLExecInd(SqlCtx& c) {
  const RDAExecDBL_Req& req = c.idu->execDBL_RI.req;
  if (c.dlg->transState != RDA_TRANS_OPEN && RDA_surSQLRulesTable.isSchemaStmt(ctxOf(c), &req.stmt) == 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc,
             "procSQLExecInd: transaction is not opened while a non-schema statement is received\n");
    return refuse(c, RDA_SQLTransNotOpen, "*** procSQLExecInd: can't create RDA_SQLTransNotOpen error\n");
  }
  static constexpr StmtTexts kTexts{
      "procSQLExecInd: the SQL Statement is a transaction statement\n",
      "procSQLExecInd: the SQL Statement can't not be performed with the current usage mode\n",
      "procSQLExecInd: invalid host identifier\n",
      "procSQLExecInd: sQLDBLArgSpec doesn't not specify the character set\n",
      "*** procSQLExecInd: can't create RDA_SQLDBLStmtNotAllowed error\n",
      "*** procSQLExecInd: can't create RDA_SQLUsageModeViolation error\n",
      "*** procSQLExecInd: can't create RDA_SQLHostIdError error\n",
      "*** procSQLExecInd: can't create RDA_SQLNoCharSet error\n",
  };
  const bool specPresent = (req.mask & RDA_EXEC_ARGSPEC) != 0;
  bool refused = false;
  const int32_t r = checkStmt(c, &req.stmt, specPresent, &req.argSpecs, kTexts, &refused);
  if (refused) return r;
  const uint32_t err = cmpTypeNVal(specPresent, &req.argSpecs, (req.mask & RDA_EXEC_ARGS) != 0, &req.args, c.xopen);
  if (err != 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc, "procSQLExecInd: the type in argVal and argSpec don't match\n");
    return refuse(c, err, "*** procSQLExecInd: can't create %d error\n");
  }
  return 0;
}

int32_t procSQLDefineInd(SqlCtx& c) {
  const RDADefineDBL_Req& req = c.idu->defineDBL_RI.req;
  static constexpr StmtTexts kTexts{
      "procSQLDefineInd: the SQL Statement is a transaction statement\n",
      "procSQLDefineInd: the SQL Statement can't not be performed with the current usage mode\n",
      "procSQLDefineInd: invalid host identifier\n",
      "procSQLDefineInd: sQLDBLArgSpec doesn't not specify the character set\n",
      "*** procSQLDefineInd: can't create RDA_SQLDBLStmtNotAllowed error\n",
      "*** procSQLDefineInd: can't create RDA_SQLUsageModeViolation error\n",
      "*** procSQLDefineInd: can't create RDA_SQLHostIdError error\n",
      "*** procSQLDefineInd: can't create RDA_SQLNoCharSet error\n",
  };
  bool refused = false;
  const int32_t r = checkStmt(c, &req.stmt, (req.mask & RDA_DEFINE_ARGSPEC) != 0, &req.argSpecs, kTexts, &refused);
  if (refused) return r;
  DBLEnt* d = RDA_surGetDBLEnt(static_cast<uint32_t>(req.cmdHandle), c.dlg);
  if (d == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLDefineInd: can't find command handle %d\n", req.cmdHandle);
    return RDA_SUR_ERR_INTERNAL_ERROR;
  }
  auto* ext = static_cast<DBLSQLExt*>(_xm_allocItem(d->tree, sizeof(DBLSQLExt), XM_ZERO));
  if (ext == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLDefineInd: can't create specDBLEntExt\n");
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  ext->mask = req.stmt.mask;
  if ((req.stmt.mask & 0x02) != 0 && ul_objidvcpy(&ext->charSet, &req.stmt.charSet, d->tree) == 0) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLDefineInd: can't copy charSet\n");
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  if (ul_octstgvcpy(&ext->text, &req.stmt.text, d->tree) == 0) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLDefineInd: can't copy stmtText\n");
    return RDA_SUR_ERR_NO_RESOURCE;
  }
  d->sql = ext;
  return 0;
}

int32_t procSQLInvokeInd(SqlCtx& c) {
  const RDAInvokeDBL_Req& req = c.idu->invokeDBL_RI.req;
  const DBLEnt* d = RDA_surGetDBLEnt(static_cast<uint32_t>(req.cmdHandle), c.dlg);
  if (d == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLInvokeInd: can't find command handle %d\n", req.cmdHandle);
    return RDA_SUR_ERR_INTERNAL_ERROR;
  }
  if (c.dlg->transState != RDA_TRANS_OPEN && RDA_surSQLRulesTable.isSchemaStmt(ctxOf(c), d->sql) == 0) {
    TM_TRACE(rda_surTMHandle, 0x10, kSrc,
             "procSQLInvokeInd: transaction is not opened while a non-schema statement is received\n");
    return refuse(c, RDA_SQLTransNotOpen, "*** procSQLInvokeInd: can't create RDA_SQLTransNotOpen error\n");
  }
  return 0;
}

// Deleting the operation after its answer leaves what it made or acts on:
// the dialogue (R-Initialize), the command (R-DefineDBL), and the close or
// drop list already freed by the generic rules (R-Close, R-DropDBL).
int32_t procSQLClearTag(SqlCtx& c) {
  c.op->refKind = OPREF_NONE;
  return 0;
}

int32_t procSQLOpenRsp(SqlCtx& c) {
  if (c.op->refKind != OPREF_RSRC_MADE || !rda_srvRsrcListed(c.dlg, static_cast<RsrcEnt*>(c.op->ref))) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLOpenRsp: internal error, can't find data resouce\n");
    return RDA_SUR_ERR_INTERNAL_ERROR;
  }
  auto* r = static_cast<RsrcEnt*>(c.op->ref);
  c.op->refKind = OPREF_NONE;  // the resource stays open
  const RDAOpen_Result& res = c.idu->open_RC.result;
  if ((res.mask & 0x01) == 0 || r->sql == nullptr) return 0;
  if ((res.sql.mask & 0x04) != 0 && (r->sql->conformLevel = copyOid(res.sql.conformLevel, r->tree)) == nullptr)
    return RDA_ERR_NO_RESOURCE;
  if ((res.sql.mask & 0x01) != 0 && (r->sql->serverDefCharSet = copyOid(res.sql.charSet, r->tree)) == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** procSQLOpenRsp: can't copy serverDefCharSet\n");
    return RDA_ERR_NO_RESOURCE;
  }
  return 0;
}

constexpr SqlRule kSqlRcvEvent[RDA_SERVICES] = {
    procSQLInitInd, nullptr,         nullptr,         nullptr,          nullptr,          nullptr, nullptr,
    procSQLOpenInd, procSQLCloseInd, procSQLExecInd,  procSQLDefineInd, procSQLInvokeInd, nullptr,
};
constexpr SqlRule kSqlSndEvent[RDA_SERVICES] = {
    procSQLClearTag, procSQLClearTag, nullptr,         nullptr, nullptr,         nullptr, nullptr,
    procSQLOpenRsp,  procSQLClearTag, nullptr,         procSQLClearTag, nullptr, procSQLClearTag,
};

// The association's RDA element, made current, for an RDA GIDU. NULL when
// the GIDU is no business of the SQL rules (routed on) or the ACB has no
// RDA element (quick aborts).
RdaAcbElem* enter(GIDU* g) {
  if (g->iduType != AL_IDU_RDA || g->idu == nullptr) {
    AL_surRoute(g, AL_SUR_QUE, 0);
    return nullptr;
  }
  RdaAcbElem* e = rda_srvAcbElem(static_cast<ACB*>(g->uc));
  if (e == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, "*** RDA_surSQLExecRules: can't find RDA acb elem\n");
    quickAborts(g, RDA_SUR_ERR_NO_SUCH_ACB_ELEM);
    al_deleteGidu(g);
  }
  return e;
}

bool isServer(const ACB* acb) {
  const RdaUcbElem* u = acb != nullptr ? rda_srvUcbElem(acb->ucb) : nullptr;
  return u != nullptr && u->role != 0;
}

// The operation the GIDU names in the dialogue; NULL after the quick aborts.
OpEnt* opOrAbort(GIDU* g, int32_t opId, const DlgEnt* dlg, const char* line) {
  OpEnt* op = RDA_surGetOpEnt(static_cast<uint32_t>(opId), dlg);
  if (op == nullptr) {
    TM_TRACE(rda_surTMHandle, 0x08, kSrc, line, opId);
    quickAborts(g, RDA_SUR_ERR_NO_SUCH_OP_ENT);
    al_deleteGidu(g);
  }
  return op;
}

// Runs the rule of `slot`: true to go on; false when it disposed of the
// GIDU or ended the association (quick aborts with the references of
// `refs`, the GIDU deleted).
bool runRule(const SqlRule (&table)[RDA_SERVICES], uint32_t slot, SqlCtx& c, const GIDU& refs) {
  SqlRule rule = slot < RDA_SERVICES ? table[slot] : nullptr;
  const int32_t r = rule != nullptr ? rule(c) : 0;
  if (r > 0) {
    GIDU copy = refs;
    quickAborts(&copy, static_cast<uint32_t>(r));
    al_deleteGidu(c.gidu);
  }
  return r == 0;
}

}  // namespace

void RDA_surSQLExecRulesRcv(GIDU* g) {
  AL_TRACE_GIDU(rda_surTMHandle, 0x80, kSrc, "RDA_surSQLExecRulesRcv", g, 1);
  RdaAcbElem* assoc = g != nullptr ? enter(g) : nullptr;
  if (assoc == nullptr) return;
  auto* acb = static_cast<ACB*>(g->uc);
  if (!isServer(acb) || assoc->dlgEnt == nullptr) {
    AL_surRoute(g, AL_SUR_QUE, 0);
    return;
  }
  const auto* idu = static_cast<const RDAIdu*>(g->idu);
  OpEnt* op = opOrAbort(g, idu->term_RI.opId, assoc->dlgEnt,
                        "*** RDA_surSQLExecRulesRcv: can't find operation entity %d\n");
  if (op == nullptr) return;
  const GIDU refs = *g;  // an error response consumes the indication
  SqlCtx c{g, op, assoc->dlgEnt, acb, idu, rda_srvIsXopen(acb)};
  if (!runRule(kSqlRcvEvent, (rda_getRdaEventTag(g->event) - 0x4000) >> 1, c, refs)) return;
  if (op->rsp != nullptr) {
    // Answered here: the answer goes back and takes its place in the order
    // on the send side.
    op->opStatus = RDA_OPST_ANSWERED;
    op->rspOfRules = 1;
    GIDU* rsp = op->rsp;
    op->rsp = nullptr;
    rda_srvRouteBack(rsp);
    return;
  }
  AL_surRoute(c.gidu, AL_SUR_QUE, 0);
}

void RDA_surSQLExecRulesSnd(GIDU* g) {
  AL_TRACE_GIDU(rda_surTMHandle, 0x80, kSrc, "RDA_surSQLExecRulesSnd", g, 1);
  RdaAcbElem* assoc = g != nullptr ? enter(g) : nullptr;
  if (assoc == nullptr) return;
  auto* acb = static_cast<ACB*>(g->uc);
  auto* idu = static_cast<RDAIdu*>(g->idu);
  RdaRcFields f{};
  const bool result = ((g->event & AL_EV_CODE_MASK) | AL_EV_PRIMITIVE) != RDA_BGNTRANS_ERSP &&
                      rda_rcFields(idu, RdaFamily::Iso, &f) && f.outcome != nullptr &&
                      *f.outcome != RDA_OUTCOME_ERROR;
  if (isServer(acb) && result && assoc->dlgEnt != nullptr) {
    OpEnt* op = opOrAbort(g, *f.opId, assoc->dlgEnt, "*** RDA_surSQLExecRulesSnd: can't find operation entity %d\n");
    if (op == nullptr) return;
    SqlCtx c{g, op, assoc->dlgEnt, acb, idu, rda_srvIsXopen(acb)};
    if (!runRule(kSqlSndEvent, (rda_getRdaEventTag(g->event) - 0x4001) >> 1, c, *g)) return;
  }
  AL_surRoute(g, AL_SUR_QUE, 0);
}
// ---------------------------------------------------------------------------
// Argument checks.

namespace {

// The tag code an argument value of tag code 0x4000 + i carries for a
// descriptor to match, by i; 0 matches nothing.
constexpr uint32_t kValues[28] = {16389, 16390, 16391, 16392, 16393, 16394, 16395, 16396, 16397, 16398,
                                  16399, 16400, 16401, 16403, 16404, 0,     0,     0,     0,     0,
                                  0,     0,     0,     0,     0,     0,     0,     16416};

struct DescrView {
  uint32_t nullable;
  const RDASQLType* type;
};

DescrView descrOf(const UL_Link* node, bool xopen) {
  const void* d = reinterpret_cast<const RDADescrNode*>(node)->descr;
  if (d == nullptr) return {0, nullptr};
  if (xopen) {
    const auto* x = static_cast<const RDAXOPENSQLDataTypeDescr*>(d);
    return {x->nullable, &x->type};
  }
  const auto* i = static_cast<const RDASQLDataTypeDescr*>(d);
  return {i->nullable, &i->type};
}

struct ValView {
  uint32_t mask;
  uint32_t code;
  int32_t indicator;
};

ValView valOf(const UL_Link* node, bool xopen) {
  const void* v = reinterpret_cast<const RDAValNode*>(node)->val;
  if (v == nullptr) return {0, 0, 0};
  if (xopen) {
    const auto* x = static_cast<const RDAXOPENSQLVal*>(v);
    return {x->mask, (x->mask & 0x01) != 0 ? x->value.code : 0, x->indicator};
  }
  const auto* i = static_cast<const RDASQLVal*>(v);
  return {i->mask, (i->mask & 0x01) != 0 ? i->value.code : 0, i->indicator};
}

uint32_t countOf(const RDAList& l) {
  uint32_t n = 0;
  if (l.links.next != nullptr)
    for (const UL_Link* p = l.links.next; p != &l.links; p = p->next) ++n;
  return n;
}

// Value j against item j; a value counts as NULL when flagged with an
// indicator of 0 or less (`rowList`: exactly -1).
uint32_t cmpRow(const RDAList& spec, const RDAList& row, bool rowList, bool xopen) {
  const UL_Link* d = spec.links.next;
  for (const UL_Link* v = row.links.next; v != &row.links && d != &spec.links; v = v->next, d = d->next) {
    const ValView val = valOf(v, xopen);
    const DescrView item = descrOf(d, xopen);
    const bool flagged = (val.mask & 0x02) != 0;
    const bool isNull = flagged && (rowList ? val.indicator == -1 : val.indicator <= 0);
    if (isNull) {
      if (item.nullable != 1) return RDA_SQLArgTypeMismatch;
      continue;
    }
    // A value tag outside the table matches no type.
    const uint32_t i = val.code - 0x4000;
    if (val.code < 0x4000 || i >= std::size(kValues) || kValues[i] == 0 || item.type == nullptr ||
        item.type->code != kValues[i])
      return RDA_SQLArgTypeMismatch;
  }
  return 0;
}

}  // namespace

int32_t checkForCharSet(const RDAList* argSpec, bool xopen) {
  if (argSpec == nullptr || argSpec->links.next == nullptr || argSpec->links.next == &argSpec->links) return 0;
  // A character item must name its own character set when the resource has
  // no default one.
  for (const UL_Link* l = argSpec->links.next; l != &argSpec->links; l = l->next) {
    const RDASQLType* t = descrOf(l, xopen).type;
    if (t == nullptr) continue;
    if (t->code == 0x4005 && (t->character.mask & 0x01) == 0) return 0;
    if (t->code == 0x400F && (t->varChar.mask & 0x01) == 0) return 0;
  }
  return 1;
}

uint32_t cmpTypeNVal(bool specPresent, const RDAList* spec, bool valsPresent, const RDADBLArgs* vals, bool xopen) {
  if (!specPresent || !valsPresent || spec == nullptr || vals == nullptr || spec->links.next == nullptr) return 0;
  const uint32_t n = countOf(*spec);
  if (vals->code == RDA_EXEC_SINGLE_ROW) {
    const RDAList& row = vals->single.values.values;
    const bool hasRow = (vals->single.mask & 0x02) != 0 && row.links.next != nullptr;
    const uint32_t count = hasRow ? countOf(row) : 0;
    if (count != n) return (vals->single.mask & 0x4005) == 1 ? 0 : RDA_SQLArgCountMismatch;
    return hasRow ? cmpRow(*spec, row, false, xopen) : 0;
  }
  if (vals->code == RDA_EXEC_MULTI_ROW && vals->multi.rows.links.next != nullptr) {
    const RDAList& rows = vals->multi.rows;
    for (const UL_Link* l = rows.links.next; l != &rows.links; l = l->next) {
      const RDAList& row = reinterpret_cast<const RDARowNode*>(l)->row.values;
      if (row.links.next == nullptr || countOf(row) != n) return RDA_SQLArgCountMismatch;
      if (const uint32_t e = cmpRow(*spec, row, true, xopen)) return e;
    }
  }
  return 0;
}
