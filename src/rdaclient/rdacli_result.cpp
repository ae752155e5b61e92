#include "src/rdaclient/rdacli_result.h"

#include "src/asn1/rda_sql.h"
#include "src/rdaclient/rdacli_confirm.h"
#include "src/rdaclient/rdacli_handles.h"

// Minimal version: no column records are made; they come with the result
// handling.
int32_t updateColSpec(RDA_CliHSTMT*, const RDAList*) { return 1; }

// Minimal version: each row's exception part is taken; the values are
// queued per column with the result handling.
int32_t updateColVal(RDA_CliHSTMT* stmt, const RDAList* rows) {
  if (rows == nullptr || rows->links.next == nullptr) return 1;
  for (const UL_Link* l = rows->links.next; l != &rows->links; l = l->next) {
    const auto* node = reinterpret_cast<const RDAXOPENResultNode*>(l);
    if (copyDBLExcp(&node->row, stmt) == 0) return 0;
  }
  return 1;
}
