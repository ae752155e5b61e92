// Session protocol machine: one table-driven machine per connection.
//
// Stable maps (event, state) to an index into Sproc, the action routines;
// s_fsm runs the action of the cell, which sets the connection's new state,
// and ends the connection when it is left in STA01. Events 1..33 are the
// user's requests and responses and carry its SIDU; transport events, the
// session timer (38) and received SPDUs come with none (an SPDU's items are
// in the SessionTLS's received-SPDU area).
#pragma once

#include <array>
#include <cstdint>

#include "src/session/session.h"

// An action routine: 0 success; S_EVENT_IGNORED (not a failure); a session
// error above that is a failure, with the state left as it was.
using SprocFn = uint32_t (*)(Smachine* s, SIDU* sidu);

// The action routines in their Sproc slot order (slots 194 and 195 hold
// Str000 again).
#define S_ACTIONS(X) \
  X(Str000) X(Str001) X(Str002) X(Str003) X(Str004) X(Str005) X(Str006) X(Str007) \
  X(Str008) X(Str009) X(Str010) X(Str011) X(Str012) X(Str013) X(Str014) X(Str015) \
  X(Str016) X(Str017) X(Str018) X(Str019) X(Str020) X(Str021) X(Str022) X(Str023) \
  X(Str024) X(Str025) X(Str026) X(Str027) X(Str028) X(Str029) X(Str030) X(Str031) \
  X(Str032) X(Str033) X(Str034) X(Str035) X(Str036) X(Str100) X(Str101) X(Str102) \
  X(Str103) X(Str104) X(Str105) X(Str106) X(Str107) X(Str108) X(Str109) X(Str110) \
  X(Str111) X(Str112) X(Str113) X(Str114) X(Str115) X(Str116) X(Str117) X(Str200) \
  X(Str201) X(Str202) X(Str203) X(Str204) X(Str205) X(Str206) X(Str207) X(Str300) \
  X(Str301) X(Str302) X(Str400) X(Str401) X(Str402) X(Str403) X(Str404) X(Str405) \
  X(Str500) X(Str501) X(Str502) X(Str503) X(Str504) X(Str505) X(Str506) X(Str507) \
  X(Str508) X(Str509) X(Str510) X(Str511) X(Str512) X(Str600) X(Str601) X(Str602) \
  X(Str603) X(Str604) X(Str605) X(StrB05) X(Str607) X(Str608) X(Str609) X(Str700) \
  X(Str701) X(Str702) X(Str703) X(Str704) X(Str705) X(Str706) X(Str707) X(Str708) \
  X(Str709) X(Str710) X(Str711) X(Str712) X(Str713) X(Str714) X(Str715) X(Str716) \
  X(Str717) X(Str718) X(StrB00) X(StrB01) X(StrB02) X(StrB03) X(StrB04) X(Str724) \
  X(Str725) X(Str726) X(Str727) X(Str728) X(Str729) X(Str730) X(Str731) X(Str732) \
  X(Str733) X(Str734) X(Str735) X(Str736) X(Str737) X(Str738) X(Str739) X(Str740) \
  X(Str741) X(Str742) X(Str743) X(Str744) X(Str800) X(Str801) X(Str802) X(Str803) \
  X(Str804) X(Str805) X(Str806) X(Str807) X(Str808) X(Str809) X(Str810) X(Str811) \
  X(Str812) X(Str813) X(Str814) X(Str815) X(Str816) X(Str817) X(Str818) X(Str819) \
  X(Str820) X(Str821) X(Str822) X(Str823) X(Str824) X(Str825) X(Str826) X(Str827) \
  X(Str828) X(Str829) X(Str830) X(Str831) X(Str832) X(Str833) X(Str834) X(Str835) \
  X(Str836) X(Str837) X(Str900) X(Str901) X(Str902) X(Str903) X(StrA00) X(StrA01) \
  X(StrA02) X(StrA03) X(StrA04) X(StrA05) X(StrA06) X(StrA07) X(StrA08) X(StrA09) \
  X(StrA10) X(StrA11) \

#define S_DECLARE_ACTION(name) uint32_t name(Smachine* s, SIDU* sidu);
S_ACTIONS(S_DECLARE_ACTION)
#undef S_DECLARE_ACTION

#define S_ACTION_SLOT(name) A_##name,
enum SprocSlot : uint8_t { S_ACTIONS(S_ACTION_SLOT) };
#undef S_ACTION_SLOT

inline constexpr uint32_t kSprocSlots = 196;
inline constexpr uint32_t kStableSize = kSessStates * kSessEvents;  // 2656

// Cell of event e (1..83) in state s: Stable[s + 32 * (e - 1)].
extern const std::array<uint8_t, kStableSize> Stable;
extern const std::array<SprocFn, kSprocSlots> Sproc;
extern const std::array<const char*, kSprocSlots> trname;  // each routine's name
extern const std::array<const char*, kSessStates> stname;  // state names

// The action table s_fsm dispatches through: Sproc.data(). Tests point it at
// a copy with some slots replaced, and put it back.
extern const SprocFn* gSprocTable;

// Runs the action of (state, event) on `s`: S_INVALID_EVENT for an event
// outside 1..83 and S_INVALID_STATE for a state above 31 (or no connection),
// with nothing touched; else the action's result. A connection left in STA01
// has been released when this returns.
uint32_t s_fsm(Smachine* s, SIDU* sidu, uint32_t state, uint32_t event);

// State name for traces; "?" outside 0..31.
const char* s_stateName(uint32_t state);
