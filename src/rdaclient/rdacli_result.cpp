#include "src/rdaclient/rdacli_result.h"

#include "src/asn1/rda_sql.h"
#include "src/rda/rda_list.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_confirm.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/runtime/xm.h"

namespace {

RDA_CliCol* columnOf(RDA_CliHSTMT* stmt, int16_t number) {
  if (stmt->cols.head.next == nullptr) RDA_cliRingInit(&stmt->cols);
  for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next) {
    auto* col = reinterpret_cast<RDA_CliCol*>(l);
    if (col->colNum == number) return col;
  }
  return nullptr;
}

}  // namespace

// Minimal version: one described record per result column, in column
// order, with its number and nullability; the description's types, sizes,
// names and attributes come with the result handling.
int32_t updateColSpec(RDA_CliHSTMT* stmt, const RDAList* resultSpecs) {
  RDA_cliClearResult(stmt);
  stmt->state |= RDA_CLI_STMT_CONFIRMED;
  int16_t number = 0;
  if (!rda_ringEmpty(*resultSpecs)) {
    for (const UL_Link* l = resultSpecs->links.next; l != &resultSpecs->links; l = l->next) {
      const auto* d =
          static_cast<const RDAXOPENSQLDataDescr*>(reinterpret_cast<const RDADescrNode*>(l)->descr);
      if (d == nullptr || (static_cast<uint32_t>(d->number) & RDA_CLI_DESC_SKIP) != 0) continue;
      ++number;
      RDA_CliCol* col = columnOf(stmt, number);
      if (col == nullptr) {
        col = static_cast<RDA_CliCol*>(_xm_allocItem(stmt->tree, sizeof(RDA_CliCol), XM_ZERO));
        if (col == nullptr) return 0;
        col->colNum = number;
        RDA_cliRingInit(&col->values);
        RDA_cliRingAppend(&stmt->cols, &col->links);
      }
      col->flags |= RDA_CLI_COL_DESCRIBED;
      col->nullable = (d->mask & 1u) != 0 ? static_cast<int16_t>(d->nullable) : 1;
      col->descFlags = static_cast<uint32_t>(d->number);
    }
  }
  stmt->cols.count = static_cast<uint32_t>(number);
  return 1;
}

// Minimal version: each row's exception part is taken and its values are
// queued in column order, as NULL or not; their data is kept with the
// result handling.
int32_t updateColVal(RDA_CliHSTMT* stmt, const RDAList* rows) {
  if (rows == nullptr || rda_ringEmpty(*rows)) return 1;
  for (const UL_Link* l = rows->links.next; l != &rows->links; l = l->next) {
    const auto* node = reinterpret_cast<const RDAXOPENResultNode*>(l);
    if (copyDBLExcp(&node->row, stmt) == 0) return 0;
    if ((node->row.mask & 2u) == 0 || rda_ringEmpty(node->row.values.values)) continue;
    int16_t number = 0;
    const RDAList& values = node->row.values.values;
    for (const UL_Link* v = values.links.next; v != &values.links; v = v->next) {
      RDA_CliCol* col = columnOf(stmt, ++number);
      if (col == nullptr || number > static_cast<int16_t>(stmt->cols.count)) break;
      auto* item = static_cast<RDA_CliValueItem*>(_xm_allocItem(stmt->tree, sizeof(RDA_CliValueItem), XM_ZERO));
      if (item == nullptr) return 0;
      item->owned = 1;
      const auto* val = static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(v)->val);
      item->data = val != nullptr && (val->mask & 1u) != 0 ? &item->value : nullptr;
      RDA_cliRingAppend(&col->values, &item->links);
    }
  }
  return 1;
}
