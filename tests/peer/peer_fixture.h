// The fixture of the test peer's in-process tests: one Session on an
// in-memory database (with the catalog when asked for), R-ExecuteDBL
// requests built with the stack's own builders and run on it, and readers of
// the descriptors, rows and exceptions of the answer.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "peer/peer_catalog.h"
#include "peer/peer_sql.h"
#include "rda/rda_fixture.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_sqlbuild.h"
#include "support/peer_client.h"

// One argument value: a value kind and its octets ("" with kNull for a NULL
// with `indicator`); integers and reals as decimal text.
struct Arg {
  uint32_t type;
  std::string text;
  int32_t indicator = -1;
};
inline constexpr uint32_t kNull = 0;
inline Arg i(int v) { return {RDA_SQLVAL_INTEGER, std::to_string(v)}; }
inline Arg v(const std::string& s) { return {RDA_SQLVAL_VARCHAR, s}; }
inline Arg w(const std::string& s) { return {RDA_SQLVAL_WCHAR, s}; }
inline Arg null() { return {kNull, ""}; }

// One argument descriptor: its type code (RDA_SQLTYPE_*), first and second
// number, and attribute word.
struct Spec {
  uint32_t type;
  int32_t first = 0;
  int32_t second = 0;
  int32_t attributes = 0;
};

using Cells = std::vector<std::string>;

class PeerSql : public RdaGiduTest {
 protected:
  void SetUp() override {
    RdaGiduTest::SetUp();
    ASSERT_EQ(sqlite3_open(":memory:", &session_.db), SQLITE_OK);
    db_ = session_.db;
  }
  void TearDown() override {
    for (GIDU* g : requests_) al_deleteGidu(g);
    RdaGiduTest::TearDown();
  }

  void sql(const char* text) { ASSERT_EQ(peer::runPlain(db_, text), "") << text; }
  void catalog() { ASSERT_EQ(peer::setUpCatalog(db_, peer::defaultInfo()), ""); }

  // The answer to `text` with `rows` of argument values (none: no argument
  // part; one: the single-row form with `repetition`) described by `specs`.
  peer::ExecAnswer exec(const std::string& text, const std::vector<std::vector<Arg>>& rows = {},
                        int32_t repetition = 0, const std::vector<Spec>& specs = {}) {
    std::vector<std::vector<Val>> values;
    for (const auto& row : rows) {
      values.emplace_back();
      for (const Arg& a : row)
        values.back().push_back(Val{a.type, a.text, a.type == RDA_SQLVAL_INTEGER ? std::stoll(a.text) : 0,
                                    a.type == RDA_SQLVAL_DOUBLE ? std::stod(a.text) : 0, a.indicator});
    }
    std::vector<ArgSpec> descrs;
    for (const Spec& s : specs) descrs.push_back(ArgSpec{s.type, s.first, s.second, s.attributes});
    GIDU* req = execDBLRequest(tmpl_, 7, text, values, repetition, descrs);
    EXPECT_NE(req, nullptr);
    peer::ExecAnswer answer;
    if (req == nullptr) return answer;
    requests_.push_back(req);
    EXPECT_TRUE(peer::runExecDBL(session_, static_cast<RDAXOPENIdu*>(req->idu)->execDBL_RI.req, tree_, &answer));
    return answer;
  }

  static const RDAXOPENResultVals* row(const peer::ExecAnswer& a, size_t n) {
    return static_cast<const RDAXOPENResultVals*>(a.rows.at(n));
  }
  // The SQLSTATE of an entry's exception, "" without one.
  static std::string state(const RDAXOPENResultVals* r) {
    return r->exception != nullptr && (r->exception->mask & 1u) != 0 ? r->exception->sqlState : "";
  }
  static std::string lastState(const peer::ExecAnswer& a) {
    return a.rows.empty() ? "(none)" : state(row(a, a.rows.size() - 1));
  }
  // Every SQLSTATE of the answer's exceptions, in order.
  static std::vector<std::string> states(const peer::ExecAnswer& a) {
    std::vector<std::string> out;
    for (size_t n = 0; n < a.rows.size(); ++n)
      if (const std::string s = state(row(a, n)); !s.empty()) out.push_back(s);
    return out;
  }
  // The entries that carry values.
  static size_t valueRows(const peer::ExecAnswer& a) {
    size_t n = 0;
    for (size_t r = 0; r < a.rows.size(); ++r) n += (row(a, r)->mask & 2u) != 0 ? 1 : 0;
    return n;
  }
  // The diagnostics number of the answer's exception (-1 without).
  static int32_t rowCount(const peer::ExecAnswer& a) {
    for (size_t r = 0; r < a.rows.size(); ++r)
      if (row(a, r)->exception != nullptr && (row(a, r)->exception->diag.mask & 1u) != 0)
        return row(a, r)->exception->diag.number;
    return -1;
  }
  // The values of an entry, each as "<kind>:<value>".
  static std::vector<std::string> cells(const RDAXOPENResultVals* r) {
    std::vector<std::string> out;
    if ((r->mask & 2u) == 0) return out;
    for (const UL_Link* p = r->values.values.links.next; p != &r->values.values.links; p = p->next) {
      const auto* val = static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(p)->val);
      const RDAXOPENSQLValue& x = val->value;
      if ((val->mask & 1u) == 0) {
        out.push_back(val->indicator == -1 ? "NULL" : "?");
        continue;
      }
      char buf[64];
      switch (x.code) {
        case RDA_SQLVAL_INTEGER:
          out.push_back("i:" + std::to_string(x.integer));
          break;
        case RDA_SQLVAL_DOUBLE:
          std::snprintf(buf, sizeof buf, "d:%g", x.real);
          out.push_back(buf);
          break;
        case RDA_SQLVAL_VARCHAR:
          out.push_back("v:" + std::string(reinterpret_cast<const char*>(x.octets.octets), x.octets.length));
          break;
        case RDA_SQLVAL_WVARCHAR:
          out.push_back("w:" + std::string(reinterpret_cast<const char*>(x.octets.octets), x.octets.length));
          break;
        case RDA_SQLVAL_NUMERIC:
          out.push_back("n:" + std::string(reinterpret_cast<const char*>(x.numeric.octets), x.numeric.length));
          break;
        case RDA_SQLVAL_DATETIME:
          out.push_back(std::string("t:") + x.dateTime);
          break;
        case RDA_SQLVAL_BITVARYING: {
          std::string hexText = "b:";
          for (uint32_t k = 0; k < x.bitString.count; ++k) {
            std::snprintf(buf, sizeof buf, "%02X", x.bitString.octets[k]);
            hexText += buf;
          }
          out.push_back(hexText);
          break;
        }
        default:
          out.push_back("code " + std::to_string(x.code));
      }
    }
    return out;
  }
  static const RDAXOPENSQLDataDescr* spec(const peer::ExecAnswer& a, size_t n) {
    return static_cast<const RDAXOPENSQLDataDescr*>(a.specs.at(n));
  }
  // The names of the described columns (parameter descriptors left out).
  static std::vector<std::string> columnNames(const peer::ExecAnswer& a) {
    std::vector<std::string> out;
    for (size_t n = 0; n < a.specs.size(); ++n)
      if ((spec(a, n)->number & (1 << 30)) == 0)
        out.push_back((spec(a, n)->mask & 2u) != 0 && spec(a, n)->colName != nullptr ? spec(a, n)->colName : "");
    return out;
  }

  peer::Session session_;
  sqlite3* db_ = nullptr;
  std::vector<GIDU*> requests_;
};
