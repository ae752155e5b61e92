// Result descriptions and rows made in memory with the RDA builders, as
// the confirm's decoder leaves them, for the tests of the statement's
// column records, value queues, fetch and readers.
#pragma once

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "src/asn1/rda_sql.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_result.h"
#include "src/runtime/xm.h"
#include "support/cli_blocks.h"

using Descr = RDAXOPENSQLDataDescr;

class ResultColumns : public CliBlocksTest {
 protected:
  void SetUp() override {
    CliBlocksTest::SetUp();
    msg = _xm_allocTree(nullptr);
    ASSERT_NE(msg, nullptr);
  }
  void TearDown() override {
    _xm_freeTree(msg);
    CliBlocksTest::TearDown();
  }

  // A description list of the descriptors.
  const RDAList* descrs(std::vector<Descr*> ds) {
    auto* list = static_cast<RDAList*>(_xm_allocItem(msg, sizeof(RDAList), XM_ZERO));
    std::vector<void*> v(ds.begin(), ds.end());
    EXPECT_EQ(RDA_copyListOfSDTD(static_cast<uint32_t>(v.size()), v.data(), msg, list), 1);
    return list;
  }
  // Descriptors with an attribute word and text.
  Descr* flagged(Descr* d, uint32_t flags, const char* attributes = nullptr) {
    d->number = static_cast<int32_t>(flags);
    if (attributes != nullptr) {
      d->mask |= 1u << 4;
      d->name = const_cast<char*>(attributes);
    }
    return d;
  }
  Descr* integer(const char* name = "I") { return rda_createXOPENIntegerType(msg, 1, name, 10, 1); }
  Descr* varchar(const char* name = "V", int32_t n = 20) { return rda_createXOPENVarCharType(msg, 1, name, nullptr, n); }
  Descr* binary(const char* name = "B") { return flagged(rda_createXOPENBitVaryingType(msg, 1, name, 100000), 4); }

  // A row's values.
  RDASQLValList* row() { return rda_createSQLValList(msg); }
  RDAXOPENSQLVal* last(RDASQLValList* r) {
    return static_cast<RDAXOPENSQLVal*>(reinterpret_cast<RDAValNode*>(r->values.links.prev)->val);
  }
  RDAXOPENSQLVal* addInt(RDASQLValList* r, int32_t v) {
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, RDA_SQLVAL_INTEGER, nullptr, 0, v, nullptr, nullptr, 0, 0), 1);
    return last(r);
  }
  RDAXOPENSQLVal* addNull(RDASQLValList* r) {
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, RDA_SQLVAL_INTEGER, nullptr, 0, 0, nullptr, nullptr, -1, 0), 1);
    return last(r);
  }
  RDAXOPENSQLVal* addText(RDASQLValList* r, const std::string& s, uint32_t kind = RDA_SQLVAL_VARCHAR) {
    const OctStgV o{static_cast<uint32_t>(s.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(s.data()))};
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, kind, &o, 0, 0, nullptr, nullptr, 0, 0), 1);
    return last(r);
  }
  RDAXOPENSQLVal* addWide(RDASQLValList* r, const wchar_t* s) {
    const OctStgV o{static_cast<uint32_t>(std::wcslen(s)), reinterpret_cast<uint8_t*>(const_cast<wchar_t*>(s))};
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, RDA_SQLVAL_WVARCHAR, &o, 0, 0, nullptr, nullptr, 0, 0), 1);
    return last(r);
  }
  RDAXOPENSQLVal* addBits(RDASQLValList* r, uint32_t n, uint8_t fill) {
    std::vector<uint8_t> bytes(n, fill);
    const BitStgV b{0, n, bytes.data()};
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, RDA_SQLVAL_BITVARYING, nullptr, 0, 0, nullptr, &b, 0, 0), 1);
    return last(r);
  }
  // The rows of a confirm, each without an exception.
  const RDAList* rows(std::vector<RDASQLValList*> rs) {
    std::vector<void*> v;
    for (RDASQLValList* r : rs) v.push_back(rda_createResultVal(msg, nullptr, r));
    auto* list = static_cast<RDAList*>(_xm_allocItem(msg, sizeof(RDAList), XM_ZERO));
    EXPECT_EQ(RDA_copyListOfResultVals(static_cast<uint32_t>(v.size()), v.data(), msg, list), 1);
    return list;
  }

  RDA_CliCol* column(int n) { return getCol(&stmt, n); }
  std::vector<int> numbers() {
    std::vector<int> out;
    for (RdaCliLink* l = stmt.cols.head.next; l != &stmt.cols.head; l = l->next)
      out.push_back(reinterpret_cast<RDA_CliCol*>(l)->colNum);
    return out;
  }
  std::vector<RDA_CliValueItem*> queue(int n) {
    std::vector<RDA_CliValueItem*> out;
    RdaCliRing& q = column(n)->values;
    for (RdaCliLink* l = q.head.next; l != &q.head; l = l->next) out.push_back(reinterpret_cast<RDA_CliValueItem*>(l));
    return out;
  }
  // What the fetch does with a row: the head item of every column becomes
  // its current value.
  void takeRow() {
    for (RdaCliLink* l = stmt.cols.head.next; l != &stmt.cols.head; l = l->next) {
      auto* col = reinterpret_cast<RDA_CliCol*>(l);
      auto* item = reinterpret_cast<RDA_CliValueItem*>(col->values.head.next);
      ASSERT_NE(&item->links, &col->values.head);
      col->pos = col->totalLen = col->deliveredLen = 0;
      col->curType = item->sqlType;
      col->curValue = col->startValue = item->data;
      col->partsTaken = 0;
      RDA_cliRingRemove(&col->values, &item->links);
    }
  }

  XmTree* msg = nullptr;
};
