#include "support/peer_client.h"

#include <cstdio>
#include <sstream>

#include "src/acse/ai_rcv.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/runtime/xm.h"
#include "support/credentials.h"

std::string Client::associate() {
  if (!side_.ok() || side_.startRda() != 1) return "start-up: " + side_.error();
  if (!c_.activate()) return "no activation";
  if (!c_.associate()) return "no association";
  return "";
}

Got Client::call(GIDU* req, int32_t seconds) { return Got(c_.call(req, seconds), al_deleteGidu); }

Got Client::next(int32_t seconds) {
  int32_t status = 0;
  return Got(ai_do_rcv(c_.conn.tmpl, seconds, &status), al_deleteGidu);
}

Got Client::environmentEvent(int32_t seconds) {
  int32_t status = 0;
  return Got(ai_do_rcv(&c_.env.tmpl, seconds, &status), al_deleteGidu);
}

void Client::send(GIDU* req) { RDA_cliSendEvent(req, RDA_CLI_SEND_ONLY); }

const RDAXOPENIdu& iduOf(const GIDU* g) { return *static_cast<const RDAXOPENIdu*>(g->idu); }

std::string describe(const GIDU* g) {
  if (g == nullptr) return "nothing";
  std::ostringstream s;
  s << "event 0x" << std::hex << g->event << std::dec << " error " << g->errNo;
  if (g->iduType == AL_IDU_RDA) {
    s << " RDA error " << rda_getSQLErr(g);
    const RDAErr* err = rda_rcError(g->idu, RdaFamily::Xopen);
    if (err != nullptr && rda_getSQLErr(g) == RDA_GENERR_OP_ABORTED && err->diag.text != nullptr)
      s << " (" << err->diag.text << ")";
  }
  return s.str();
}

GIDU* initRequest(Client& c, const std::string& user, const std::string& password, int level, bool controlled) {
  const bool scrambled = credentialsScrambled(level);
  const std::string name = scrambled ? scrambleCredential(user) : user;
  std::string pass = scrambled ? scrambleCredential(password) : password;
  std::string data = "KVO_RDA_CLIENT," + std::to_string(level) + ",127.0.0.1,DSN=rdatest;PWD=*****,V1";
  uint8_t suffix[] = {127, 0, 0, 1, 0, 1, 2, 3, 4, 5, 6, 7};
  const OctStgV dlg{sizeof suffix, suffix};
  RDAAuthData auth{};
  auth.code = RDA_AUTH_TEXT;
  auth.text = pass.data();
  const OctStgV userData{static_cast<uint32_t>(data.size()), reinterpret_cast<uint8_t*>(data.data())};
  const uint32_t flag = 1;
  return rda_createSQLInitReq(c.tmpl(), c.nextOp(), &dlg, name.c_str(), &auth, controlled ? &flag : nullptr, 0xFE,
                              rda_xopenIntegrityYes, &userData);
}

namespace {

void* argSpec(XmTree* tree, const ArgSpec& s) {
  RDAXOPENSQLDataDescr* d = nullptr;
  switch (s.type) {
    case RDA_SQLTYPE_CHAR:
      d = rda_createXOPENCharType(tree, 1, nullptr, nullptr, s.length, 0);
      break;
    case RDA_SQLTYPE_NUMERIC:
      d = rda_createXOPENNumericType(tree, 0, nullptr, s.length, s.scale);
      break;
    case RDA_SQLTYPE_INTEGER:
      d = rda_createXOPENIntegerType(tree, 0, nullptr, s.length, 1);
      break;
    case RDA_SQLTYPE_DOUBLE:
      d = rda_createXOPENDoublePrecisionType(tree, 0, nullptr, s.length, 38);
      break;
    case RDA_SQLTYPE_BITVARYING:
      d = rda_createXOPENBitVaryingType(tree, 0, nullptr, s.length);
      break;
    case RDA_SQLTYPE_WCHAR:
      d = rda_createXOPENWCharType(tree, 0, nullptr, nullptr, s.length, 0);
      break;
    default:
      d = rda_createXOPENVarCharType(tree, 0, nullptr, nullptr, s.length);
      break;
  }
  if (d != nullptr) d->number = s.attributes;
  return d;
}

}  // namespace

GIDU* execRequest(Client& c, const std::string& sql, const std::vector<std::vector<Val>>& rows, int32_t repetition,
                  const std::vector<ArgSpec>& specs) {
  return execDBLRequest(c.tmpl(), c.nextOp(), sql, rows, repetition, specs);
}

GIDU* execDBLRequest(const GIDU* ref, int32_t opId, const std::string& sql, const std::vector<std::vector<Val>>& rows,
                     int32_t repetition, const std::vector<ArgSpec>& specs) {
  XmTree* vt = _xm_allocTree(nullptr);
  std::vector<RDASQLValList*> lists;
  for (const auto& row : rows) {
    RDASQLValList* l = rda_createSQLValList(vt);
    if (l == nullptr) return nullptr;
    for (const Val& v : row) {
      // Wide values go to the builder as wide characters.
      const std::wstring wide(v.text.begin(), v.text.end());
      const bool isWide = v.type == RDA_SQLVAL_WCHAR || v.type == RDA_SQLVAL_WVARCHAR;
      const OctStgV str = isWide ? OctStgV{static_cast<uint32_t>(wide.size()),
                                           reinterpret_cast<uint8_t*>(const_cast<wchar_t*>(wide.data()))}
                                 : OctStgV{static_cast<uint32_t>(v.text.size()),
                                           reinterpret_cast<uint8_t*>(const_cast<char*>(v.text.data()))};
      const BitStgV bits{0, static_cast<uint32_t>(v.text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(v.text.data()))};
      if (rda_addXOPENSQLVal(vt, &l->values, v.type == 0 ? RDA_SQLVAL_VARCHAR : v.type, &str, 0, v.integer, &str,
                             &bits, v.type == 0 ? v.indicator : 0, v.real) != 1)
        return nullptr;
    }
    lists.push_back(l);
  }
  std::vector<void*> descrs;
  for (const ArgSpec& s : specs) descrs.push_back(argSpec(vt, s));
  const OctStgV stmt{static_cast<uint32_t>(sql.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(sql.data()))};
  return rda_createSQLExecDBLReq(ref, opId, nullptr, nullptr, &stmt, static_cast<uint32_t>(descrs.size()),
                                 descrs.data(), 0, nullptr, static_cast<uint32_t>(lists.size()), lists.data(),
                                 repetition, vt);
}

std::string cellText(const RDAXOPENSQLVal* v) {
  if ((v->mask & 1u) == 0) return v->indicator == -1 ? "NULL" : "?";
  const RDAXOPENSQLValue& x = v->value;
  char buf[64];
  switch (x.code) {
    case RDA_SQLVAL_INTEGER:
    case RDA_SQLVAL_SMALLINT:
      return std::to_string(x.integer);
    case RDA_SQLVAL_DOUBLE:
    case RDA_SQLVAL_FLOAT:
    case RDA_SQLVAL_REAL:
      std::snprintf(buf, sizeof buf, "%.6g", x.real);
      return buf;
    case RDA_SQLVAL_CHAR:
    case RDA_SQLVAL_VARCHAR:
    case RDA_SQLVAL_WCHAR:
    case RDA_SQLVAL_WVARCHAR:
      return std::string(reinterpret_cast<const char*>(x.octets.octets), x.octets.length);
    case RDA_SQLVAL_NUMERIC:
    case RDA_SQLVAL_DECIMAL:
      return std::string(reinterpret_cast<const char*>(x.numeric.octets), x.numeric.length);
    case RDA_SQLVAL_DATETIME:
      return x.dateTime;
    case RDA_SQLVAL_BITVARYING: {
      std::string hex;
      for (uint32_t k = 0; k < x.bitString.count; ++k) {
        std::snprintf(buf, sizeof buf, "%02X", x.bitString.octets[k]);
        hex += buf;
      }
      return hex;
    }
    default:
      return "code " + std::to_string(x.code);
  }
}

ExecResult exec(Client& c, const std::string& sql, const std::vector<std::vector<Val>>& rows, int32_t repetition,
                const std::vector<ArgSpec>& specs) {
  ExecResult r;
  Got g = c.call(execRequest(c, sql, rows, repetition, specs));
  if (g == nullptr || g->event != RDA_EXECDBL_CNF) {
    r.failure = sql + ": " + describe(g.get());
    return r;
  }
  const RDAExecDBL_Result& res = iduOf(g.get()).execDBL_RC.result;
  if ((res.mask & 1u) != 0) {
    r.columns = res.resultSpecs.count;
    if (!rda_ringEmpty(res.resultSpecs))
      for (const UL_Link* p = res.resultSpecs.links.next; p != &res.resultSpecs.links; p = p->next) {
        const auto* d = static_cast<const RDAXOPENSQLDataDescr*>(reinterpret_cast<const RDADescrNode*>(p)->descr);
        r.names.push_back((d->mask & 2u) != 0 && d->colName != nullptr ? d->colName : "");
      }
  }
  if ((res.mask & 2u) == 0 || rda_ringEmpty(res.rows)) return r;
  for (const UL_Link* p = res.rows.links.next; p != &res.rows.links; p = p->next) {
    const RDAXOPENResultVals& row = reinterpret_cast<const RDAXOPENResultNode*>(p)->row;
    if (row.exception != nullptr) {
      if ((row.exception->mask & 1u) != 0) r.states.push_back(row.exception->sqlState);
      if ((row.exception->diag.mask & 1u) != 0) r.count = row.exception->diag.number;
    }
    if ((row.mask & 2u) == 0) continue;
    std::vector<std::string> cells;
    const RDAList& vals = row.values.values;
    if (!rda_ringEmpty(vals))
      for (const UL_Link* q = vals.links.next; q != &vals.links; q = q->next)
        cells.push_back(cellText(static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(q)->val)));
    r.rows.push_back(cells);
  }
  return r;
}
