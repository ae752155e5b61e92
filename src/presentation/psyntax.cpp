#include "src/presentation/psyntax.h"

namespace {

constexpr ObjId kFreeId = {kObjIdAbsent, {}};

}  // namespace

TsEntry tst[kPsMaxTsyn] = {{kFreeId, 0}, {kFreeId, 0}, {kFreeId, 0}, {kFreeId, 0}};
uint32_t ntst = 0;
int32_t ps_asn1_tsidx = -1;
int32_t current_fmt_tsidx = -1;
int32_t current_prs_tsidx = -1;

int32_t find_tsidx_obj(const ObjId* id) {
  if (id == nullptr) return -1;
  const uint32_t n = ntst < kPsMaxTsyn ? ntst : kPsMaxTsyn;
  for (uint32_t i = 0; i < n; ++i)
    if (tst[i].id.count != kObjIdAbsent && ul_objidcmp(&tst[i].id, id) == 1) return static_cast<int32_t>(i);
  return -1;
}

int32_t find_tsidx_as_ts(int32_t asIdx, int32_t tsIdx, const AbsSyntaxTable* table) {
  if (table == nullptr || asIdx < 0 || asIdx >= kPsMaxAsyn || tsIdx < 0 || tsIdx >= kPsMaxTsyn) return 0;
  const AbsSyntax& a = table->entries[asIdx];
  if (a.id.count == kObjIdAbsent) return 0;
  return a.tsSlots[tsIdx] == tsIdx ? 1 : 0;
}

void switch_ts_fmt(uint32_t) {}
void switch_ts_prs(uint32_t) {}
