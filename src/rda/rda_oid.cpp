#include "src/rda/rda_oid.h"

namespace {

constexpr ObjIdV kIntegrityYes{0, nullptr};
constexpr ObjIdV kChar8859_1{0, nullptr};

}  // namespace

const ObjIdV* const rda_xopenIntegrityYes = &kIntegrityYes;
const ObjIdV* const rda_xopenChar8859_1 = &kChar8859_1;
