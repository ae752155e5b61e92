// Minimal version: the action routines of major synchronisation,
// resynchronisation and activity end, interrupt, discard and control give
// are not built yet. Until each is, it answers like the
// empty cell (S_INV_TRANSITION) and changes nothing. Building a routine
// takes its name off this list.
#include "src/session/spm.h"

#define S_STUBBED_ACTIONS(X) \
  X(Str600) X(Str601) X(Str602) X(Str603) X(Str604) X(Str605) X(Str607) X(Str608) \
  X(Str609) X(Str700) X(Str701) X(Str702) X(Str703) X(Str704) X(Str705) X(Str706) \
  X(Str707) X(Str708) X(Str709) X(Str710) X(Str711) X(Str712) X(Str713) X(Str714) \
  X(Str715) X(Str716) X(Str717) X(Str718) X(Str724) X(Str725) X(Str726) X(Str727) \
  X(Str728) X(Str729) X(Str730) X(Str731) X(Str732) X(Str733) X(Str734) X(Str735) \
  X(Str736) X(Str737) X(Str738) X(Str739) X(Str740) X(Str741) X(Str742) X(Str743) \
  X(Str744) X(Str800) X(Str801) X(Str802) X(Str803) X(Str804) X(Str805) X(Str806) \
  X(Str807) X(Str808) X(Str809) X(Str810) X(Str811) X(Str812) X(Str813) X(Str814) \
  X(Str815) X(Str816) X(Str817) X(Str818) X(Str819) X(Str820) X(Str821) X(Str822) \
  X(Str823) X(Str824) X(Str825) X(Str830) X(Str831) X(Str832) X(Str833) X(Str834) \
  X(Str835) X(Str836) X(Str837) \

#define S_DEFINE_STUB(name) \
  uint32_t name(Smachine*, SIDU*) { return S_INV_TRANSITION; }
S_STUBBED_ACTIONS(S_DEFINE_STUB)
#undef S_DEFINE_STUB
