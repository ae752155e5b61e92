#include "src/rda/rda_oid.h"

#include <cstdint>
#include <iterator>

namespace {

// The arcs of these identifiers are this system's own choice; client and
// server of this system agree on them.
constexpr uint32_t kAppCtxArcs[] = {1, 2, 826, 0, 1050, 3, 2, 2, 1};
constexpr uint32_t kIntegrityYesArcs[] = {1, 2, 826, 0, 1050, 3, 3, 1, 1};
constexpr uint32_t kIntegrityNoArcs[] = {1, 2, 826, 0, 1050, 3, 3, 1, 2};
constexpr uint32_t kChar8859_1Arcs[] = {1, 2, 826, 0, 1050, 3, 4, 1};

// The copies read the arcs only.
constexpr ObjIdV oid(const uint32_t* arcs, size_t n) {
  return ObjIdV{static_cast<uint32_t>(n), const_cast<uint32_t*>(arcs)};
}

constexpr ObjIdV kAppCtx = oid(kAppCtxArcs, std::size(kAppCtxArcs));
constexpr ObjIdV kIntegrityYes = oid(kIntegrityYesArcs, std::size(kIntegrityYesArcs));
constexpr ObjIdV kIntegrityNo = oid(kIntegrityNoArcs, std::size(kIntegrityNoArcs));
constexpr ObjIdV kChar8859_1 = oid(kChar8859_1Arcs, std::size(kChar8859_1Arcs));

}  // namespace

const ObjIdV* const rda_xopenAppCtxName = &kAppCtx;
const ObjIdV* const rda_xopenIntegrityYes = &kIntegrityYes;
const ObjIdV* const rda_xopenIntegrityNo = &kIntegrityNo;
const ObjIdV* const rda_xopenChar8859_1 = &kChar8859_1;
