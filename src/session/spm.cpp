#include "src/session/spm.h"

#include "src/session/sessiontls.h"

namespace {

constexpr const char* kSrc = "src/spm";

constexpr uint32_t B(uint32_t state) { return uint32_t{1} << state; }

// One line of the transition table: an action and the states in which an
// event runs it. Every cell not named here is the empty cell Str000.
struct Row {
  uint8_t event;
  uint8_t action;
  uint32_t states;
};

constexpr Row kRows[] = {
    // 1: S-ACTIVITY-DISCARD request
    {1, A_Str814, B(STA04A) | B(STA11A) | B(STA15A) | B(STA713)},
    {1, A_Str815, B(STA04B)},
    {1, A_Str821, B(STA15B)},
    {1, A_Str001, B(STA15D)},
    {1, A_Str822, B(STA20)},
    // 2: S-ACTIVITY-DISCARD response
    {2, A_Str823, B(STA11C)},
    {2, A_Str001, B(STA15D)},
    // 3: S-ACTIVITY-END request
    {3, A_Str805, B(STA15B)},
    {3, A_Str001, B(STA15D)},
    {3, A_Str806, B(STA713)},
    // 4: S-ACTIVITY-END response
    {4, A_Str807, B(STA10B)},
    {4, A_Str001, B(STA15D)},
    // 5: S-ACTIVITY-INTERRUPT request
    {5, A_Str816, B(STA04A) | B(STA11A) | B(STA713)},
    {5, A_Str817, B(STA04B)},
    {5, A_Str832, B(STA15A)},
    {5, A_Str824, B(STA15B)},
    {5, A_Str001, B(STA15D)},
    {5, A_Str825, B(STA20)},
    {5, A_Str833, B(STA21)},
    // 6: S-ACTIVITY-INTERRUPT response
    {6, A_Str818, B(STA11B)},
    {6, A_Str001, B(STA15D)},
    // 7: S-ACTIVITY-RESUME request
    {7, A_Str001, B(STA15D)},
    {7, A_Str828, B(STA713)},
    // 8: S-ACTIVITY-START request
    {8, A_Str829, B(STA713)},
    // 9: S-CAPABILITY-DATA request
    {9, A_Str001, B(STA15D)},
    {9, A_Str902, B(STA713)},
    // 10: S-CAPABILITY-DATA response
    {10, A_Str001, B(STA15D)},
    {10, A_Str903, B(STA22)},
    // 11: S-CONTROL-GIVE request
    {11, A_Str001, B(STA15D)},
    {11, A_Str830, B(STA713)},
    // 12: S-CONNECT request
    {12, A_Str004, B(STA01)},
    {12, A_Str005, B(STA01C)},
    // 13: S-CONNECT response, accept
    {13, A_Str006, B(STA08)},
    {13, A_Str001, B(STA15D)},
    // 14: S-CONNECT response, reject
    {14, A_Str007, B(STA08)},
    {14, A_Str001, B(STA15D)},
    // 15: S-DATA request
    {15, A_Str100, B(STA09)},
    {15, A_Str101, B(STA10A) | B(STA10B) | B(STA713)},
    {15, A_Str110, B(STA15B)},
    {15, A_Str001, B(STA15D)},
    {15, A_Str111, B(STA18)},
    // 16: S-EXPEDITED-DATA request
    {16, A_Str200, B(STA09)},
    {16, A_Str201, B(STA10A) | B(STA10B) | B(STA18) | B(STA713)},
    {16, A_Str207, B(STA15B)},
    {16, A_Str001, B(STA15D)},
    // 17: S-TOKEN-GIVE request
    {17, A_Str104, B(STA04A) | B(STA04B) | B(STA10A) | B(STA10B) | B(STA15A) | B(STA713)},
    {17, A_Str112, B(STA15B)},
    {17, A_Str001, B(STA15D)},
    {17, A_Str113, B(STA20)},
    // 18: S-TOKEN-PLEASE request
    {18, A_Str105, B(STA09) | B(STA10A) | B(STA10B) | B(STA22) | B(STA713)},
    {18, A_Str114, B(STA15B)},
    {18, A_Str001, B(STA15D)},
    // 19: S-RELEASE request
    {19, A_Str015, B(STA09)},
    {19, A_Str033, B(STA15B)},
    {19, A_Str001, B(STA15D)},
    {19, A_Str014, B(STA713)},
    // 20: S-RELEASE response, accept
    {20, A_Str016, B(STA09)},
    {20, A_Str001, B(STA15D)},
    // 21: S-RELEASE response, reject
    {21, A_Str300, B(STA09)},
    {21, A_Str001, B(STA15D)},
    // 22: S-RESYNCHRONIZE request, abandon
    {22, A_Str700, B(STA04A) | B(STA10A) | B(STA10B) | B(STA20)},
    {22, A_Str701, B(STA09)},
    {22, A_Str702, B(STA11A)},
    {22, A_Str703, B(STA15A)},
    {22, A_Str704, B(STA15B)},
    {22, A_Str001, B(STA15D)},
    {22, A_Str705, B(STA713)},
    // 23: S-RESYNCHRONIZE request, restart
    {23, A_Str706, B(STA09)},
    {23, A_Str707, B(STA10A) | B(STA10B) | B(STA20)},
    {23, A_Str708, B(STA11A)},
    {23, A_Str709, B(STA15B)},
    {23, A_Str001, B(STA15D)},
    {23, A_Str710, B(STA713)},
    // 24: S-RESYNCHRONIZE request, set
    {24, A_Str711, B(STA04A)},
    {24, A_Str712, B(STA09)},
    {24, A_Str713, B(STA10A) | B(STA10B) | B(STA20)},
    {24, A_Str714, B(STA11A)},
    {24, A_Str715, B(STA15A)},
    {24, A_Str716, B(STA15B)},
    {24, A_Str001, B(STA15D)},
    {24, A_Str717, B(STA713)},
    // 25: S-RESYNCHRONIZE response
    {25, A_Str718, B(STA11A)},
    {25, A_Str001, B(STA15D)},
    // 26: S-SYNC-MAJOR request
    {26, A_Str600, B(STA15B)},
    {26, A_Str001, B(STA15D)},
    {26, A_Str601, B(STA713)},
    // 27: S-SYNC-MAJOR response
    {27, A_Str602, B(STA10A)},
    {27, A_Str001, B(STA15B) | B(STA15D)},
    // 28: S-SYNC-MINOR request
    {28, A_Str500, B(STA15B)},
    {28, A_Str001, B(STA15D)},
    {28, A_Str501, B(STA713)},
    // 29: S-SYNC-MINOR response
    {29, A_Str502, B(STA09) | B(STA713)},
    {29, A_Str503, B(STA10A) | B(STA10B)},
    {29, A_Str504, B(STA15B)},
    {29, A_Str001, B(STA15D)},
    // 30: S-TYPED-DATA request
    {30, A_Str400, B(STA09)},
    {30, A_Str401, B(STA10A) | B(STA10B) | B(STA18) | B(STA713)},
    {30, A_Str405, B(STA15B)},
    {30, A_Str001, B(STA15D)},
    // 31: S-U-ABORT request
    {31, A_Str010, B(STA01B)},
    {31, A_Str025, B(STA02A) | B(STA03) | B(STA04A) | B(STA04B) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA08) | B(STA09) | B(STA10A) | B(STA10B) | B(STA11A) | B(STA11B) | B(STA11C) | B(STA18) | B(STA19) | B(STA20) | B(STA21) | B(STA22) | B(STA713)},
    {31, A_Str032, B(STA06) | B(STA15A) | B(STA15B) | B(STA15C)},
    {31, A_Str035, B(STA15D)},
    // 32: S-U-EXCEPTION-REPORT request
    {32, A_StrA10, B(STA09) | B(STA10A) | B(STA10B) | B(STA713)},
    {32, A_StrA11, B(STA15B)},
    {32, A_Str001, B(STA15D)},
    // 33: receive request
    {33, A_Str036, B(STA01D) | B(STA02A) | B(STA02B) | B(STA03) | B(STA04A) | B(STA04B) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA08) | B(STA09) | B(STA10A) | B(STA10B) | B(STA11A) | B(STA11B) | B(STA11C) | B(STA15A) | B(STA15B) | B(STA15C) | B(STA15D) | B(STA18) | B(STA19) | B(STA20) | B(STA21) | B(STA22) | B(STA713)},
    // 34: (no primitive)
    // (valid in no state)
    // 35: T-CONNECT indication
    {35, A_Str002, B(STA01)},
    // 36: T-CONNECT confirm
    {36, A_Str003, B(STA01B)},
    // 37: T-DISCONNECT indication
    {37, A_Str023, B(STA01A) | B(STA16)},
    {37, A_Str024, B(STA01B) | B(STA02A) | B(STA03) | B(STA04A) | B(STA04B) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA08) | B(STA09) | B(STA10A) | B(STA10B) | B(STA11A) | B(STA11B) | B(STA11C) | B(STA15A) | B(STA15B) | B(STA15C) | B(STA15D) | B(STA18) | B(STA19) | B(STA20) | B(STA21) | B(STA22) | B(STA713)},
    {37, A_Str009, B(STA01C)},
    // 38: timer expiry
    {38, A_Str010, B(STA01A) | B(STA01C) | B(STA15D) | B(STA16)},
    // 39: AA SPDU
    {39, A_Str026, B(STA01A)},
    {39, A_Str009, B(STA01C) | B(STA16)},
    // 40: AB SPDU, transport connection released
    {40, A_Str009, B(STA01A) | B(STA01C) | B(STA16)},
    {40, A_Str029, B(STA02A) | B(STA03) | B(STA04A) | B(STA04B) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA08) | B(STA09) | B(STA10A) | B(STA10B) | B(STA11A) | B(STA11B) | B(STA11C) | B(STA15A) | B(STA15B) | B(STA15C) | B(STA15D) | B(STA18) | B(STA19) | B(STA20) | B(STA21) | B(STA22) | B(STA713)},
    // 41: AB SPDU, transport connection kept
    {41, A_Str026, B(STA01A)},
    {41, A_Str027, B(STA01C)},
    {41, A_Str028, B(STA02A) | B(STA03) | B(STA04A) | B(STA04B) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA08) | B(STA09) | B(STA10A) | B(STA10B) | B(STA11A) | B(STA11B) | B(STA11C) | B(STA18) | B(STA19) | B(STA20) | B(STA21) | B(STA22) | B(STA713)},
    {41, A_Str009, B(STA16)},
    // 42: AC SPDU
    {42, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {42, A_Str009, B(STA01C)},
    {42, A_Str011, B(STA02A)},
    // 43: AD SPDU
    {43, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {43, A_Str010, B(STA01C)},
    {43, A_Str808, B(STA05A) | B(STA10A) | B(STA10B) | B(STA19) | B(STA20) | B(STA713)},
    {43, A_Str809, B(STA06) | B(STA15B)},
    // 44: ADA SPDU
    {44, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {44, A_Str010, B(STA01C)},
    {44, A_Str810, B(STA05C)},
    {44, A_Str819, B(STA15C)},
    // 45: AE SPDU
    {45, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {45, A_Str010, B(STA01C)},
    {45, A_Str802, B(STA05A) | B(STA06) | B(STA15B) | B(STA15C)},
    {45, A_Str803, B(STA19) | B(STA20)},
    {45, A_Str804, B(STA713)},
    // 46: AEA SPDU
    {46, A_Str001, B(STA01A) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C) | B(STA15D) | B(STA16)},
    {46, A_Str010, B(STA01C)},
    {46, A_Str800, B(STA04A)},
    {46, A_Str801, B(STA04B)},
    {46, A_Str831, B(STA15A)},
    {46, A_Str837, B(STA20)},
    // 47: AI SPDU
    {47, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {47, A_Str010, B(STA01C)},
    {47, A_Str811, B(STA05A) | B(STA10A) | B(STA10B) | B(STA19) | B(STA20) | B(STA713)},
    {47, A_Str812, B(STA06) | B(STA15B)},
    {47, A_Str834, B(STA22)},
    // 48: AIA SPDU
    {48, A_Str001, B(STA01A) | B(STA15D)},
    {48, A_Str010, B(STA01C)},
    {48, A_Str813, B(STA05B)},
    {48, A_Str820, B(STA15C)},
    // 49: AR SPDU
    {49, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {49, A_Str010, B(STA01C)},
    {49, A_Str826, B(STA15B) | B(STA713)},
    // 50: AS SPDU
    {50, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {50, A_Str010, B(STA01C)},
    {50, A_Str827, B(STA15B) | B(STA713)},
    // 51: CD SPDU
    {51, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {51, A_Str010, B(STA01C)},
    {51, A_Str900, B(STA713)},
    // 52: CDA SPDU
    {52, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {52, A_Str010, B(STA01C)},
    {52, A_Str901, B(STA21)},
    // 53: CN SPDU
    {53, A_Str009, B(STA01A) | B(STA16)},
    {53, A_Str008, B(STA01C)},
    // 54: DN SPDU
    {54, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {54, A_Str009, B(STA01C)},
    {54, A_Str021, B(STA03)},
    {54, A_Str022, B(STA09)},
    // 55: DT SPDU
    {55, A_Str001, B(STA01A) | B(STA15D) | B(STA16) | B(STA19)},
    {55, A_Str009, B(STA01C)},
    {55, A_Str102, B(STA03)},
    {55, A_Str103, B(STA04A) | B(STA04B) | B(STA15A) | B(STA713)},
    {55, A_Str116, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C) | B(STA20)},
    {55, A_Str117, B(STA18) | B(STA21)},
    // 56: ED SPDU
    {56, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {56, A_Str010, B(STA01C)},
    {56, A_StrA00, B(STA03)},
    {56, A_StrA01, B(STA04A) | B(STA04B)},
    {56, A_StrA02, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15C)},
    {56, A_StrA03, B(STA19)},
    {56, A_StrA04, B(STA713)},
    // 57: ER SPDU
    {57, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {57, A_Str010, B(STA01C)},
    {57, A_StrA05, B(STA03)},
    {57, A_StrA06, B(STA04A) | B(STA04B) | B(STA21)},
    {57, A_StrA07, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15C)},
    {57, A_StrA08, B(STA19)},
    {57, A_StrA09, B(STA713)},
    // 58: EX SPDU
    {58, A_Str001, B(STA01A) | B(STA16)},
    {58, A_Str009, B(STA01C)},
    {58, A_Str202, B(STA02A)},
    {58, A_Str203, B(STA03)},
    {58, A_Str204, B(STA04A) | B(STA04B) | B(STA18) | B(STA21) | B(STA713)},
    {58, A_Str205, B(STA05A) | B(STA05B) | B(STA05C) | B(STA19) | B(STA20)},
    {58, A_Str206, B(STA06) | B(STA15A) | B(STA15C)},
    // 59: FN SPDU, transport connection released
    {59, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {59, A_Str009, B(STA01C)},
    {59, A_Str019, B(STA03)},
    {59, A_Str030, B(STA05A) | B(STA06) | B(STA15C) | B(STA19) | B(STA20)},
    {59, A_Str020, B(STA713)},
    // 60: FN SPDU, transport connection kept
    {60, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {60, A_Str009, B(STA01C)},
    {60, A_Str017, B(STA03)},
    {60, A_Str031, B(STA05A) | B(STA15C) | B(STA19) | B(STA20)},
    {60, A_Str018, B(STA713)},
    // 61: GT SPDU
    {61, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {61, A_Str009, B(STA01C)},
    {61, A_Str106, B(STA04A) | B(STA04B) | B(STA10A) | B(STA10B) | B(STA15A) | B(STA21) | B(STA713)},
    {61, A_Str108, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C)},
    {61, A_Str115, B(STA19) | B(STA20)},
    // 62: GTA SPDU
    {62, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {62, A_Str010, B(STA01C)},
    {62, A_Str836, B(STA18)},
    // 63: GTC SPDU
    {63, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {63, A_Str010, B(STA01C)},
    {63, A_Str835, B(STA713)},
    // 64: MAA SPDU
    {64, A_Str001, B(STA01A) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C) | B(STA15D) | B(STA16)},
    {64, A_Str010, B(STA01C)},
    {64, A_Str607, B(STA04A)},
    {64, A_Str608, B(STA15A)},
    {64, A_Str609, B(STA20)},
    // 65: MAP SPDU
    {65, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {65, A_Str010, B(STA01C)},
    {65, A_Str603, B(STA05A) | B(STA06) | B(STA15B) | B(STA15C)},
    {65, A_Str604, B(STA19) | B(STA20)},
    {65, A_Str605, B(STA713)},
    // 66: MIA SPDU
    {66, A_Str001, B(STA01A) | B(STA15D)},
    {66, A_Str010, B(STA01C)},
    {66, A_Str508, B(STA03) | B(STA713)},
    {66, A_Str509, B(STA04A) | B(STA04B) | B(STA15A)},
    {66, A_Str510, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C)},
    {66, A_Str511, B(STA19)},
    {66, A_Str512, B(STA20)},
    // 67: MIP SPDU
    {67, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {67, A_Str010, B(STA01C)},
    {67, A_Str505, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C)},
    {67, A_Str506, B(STA19) | B(STA20)},
    {67, A_Str507, B(STA713)},
    // 68: NF SPDU
    {68, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {68, A_Str010, B(STA01C)},
    {68, A_Str301, B(STA03)},
    {68, A_Str302, B(STA15B)},
    // 69: PR SPDU, type MAA
    {69, A_Str001, B(STA01A) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA16)},
    {69, A_Str010, B(STA01C)},
    {69, A_StrB05, B(STA04A) | B(STA04B)},
    // 70: PR SPDU, type RA
    {70, A_Str001, B(STA01A) | B(STA16)},
    {70, A_Str010, B(STA01C)},
    {70, A_StrB00, B(STA05A) | B(STA05B) | B(STA05C)},
    {70, A_StrB01, B(STA06)},
    // 71: PR SPDU, type RS
    {71, A_Str001, B(STA01A) | B(STA05B) | B(STA05C) | B(STA16)},
    {71, A_Str010, B(STA01C)},
    {71, A_StrB02, B(STA02A) | B(STA06) | B(STA15A) | B(STA15C) | B(STA18)},
    {71, A_StrB03, B(STA03) | B(STA04A) | B(STA04B) | B(STA10A) | B(STA10B) | B(STA19) | B(STA20) | B(STA713)},
    {71, A_StrB04, B(STA05A)},
    // 72: PT SPDU
    {72, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {72, A_Str009, B(STA01C)},
    {72, A_Str107, B(STA03) | B(STA04A) | B(STA04B) | B(STA15A) | B(STA18) | B(STA21) | B(STA713)},
    {72, A_Str109, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C) | B(STA19) | B(STA20)},
    // 73: RA SPDU
    {73, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {73, A_Str010, B(STA01C)},
    {73, A_Str743, B(STA05A)},
    {73, A_Str744, B(STA15C)},
    // 74: RF SPDU, transport connection released
    {74, A_Str001, B(STA01A) | B(STA16)},
    {74, A_Str009, B(STA01C)},
    {74, A_Str012, B(STA02A)},
    // 75: RF SPDU, transport connection kept
    {75, A_Str001, B(STA01A) | B(STA16)},
    {75, A_Str009, B(STA01C)},
    {75, A_Str013, B(STA02A)},
    // 76: RS SPDU, abandon
    {76, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {76, A_Str010, B(STA01C)},
    {76, A_Str724, B(STA03)},
    {76, A_Str725, B(STA04A) | B(STA04B) | B(STA10A) | B(STA19) | B(STA20)},
    {76, A_Str726, B(STA05A)},
    {76, A_Str727, B(STA05B) | B(STA05C)},
    {76, A_Str728, B(STA06)},
    {76, A_Str729, B(STA15B)},
    {76, A_Str730, B(STA713)},
    // 77: RS SPDU, restart
    {77, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {77, A_Str010, B(STA01C)},
    {77, A_Str731, B(STA03)},
    {77, A_Str732, B(STA04A) | B(STA04B) | B(STA19) | B(STA20)},
    {77, A_Str733, B(STA05A)},
    {77, A_Str727, B(STA05B) | B(STA05C)},
    {77, A_Str734, B(STA06)},
    {77, A_Str735, B(STA15B)},
    {77, A_Str736, B(STA713)},
    // 78: RS SPDU, set
    {78, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {78, A_Str010, B(STA01C)},
    {78, A_Str737, B(STA03)},
    {78, A_Str738, B(STA04A) | B(STA04B) | B(STA10A) | B(STA19) | B(STA20)},
    {78, A_Str739, B(STA05A)},
    {78, A_Str727, B(STA05B) | B(STA05C)},
    {78, A_Str740, B(STA06)},
    {78, A_Str741, B(STA15B)},
    {78, A_Str742, B(STA713)},
    // 79: TD SPDU
    {79, A_Str001, B(STA01A) | B(STA15D) | B(STA16)},
    {79, A_Str010, B(STA01C)},
    {79, A_Str402, B(STA03)},
    {79, A_Str403, B(STA04A) | B(STA04B) | B(STA15A) | B(STA18) | B(STA21) | B(STA713)},
    {79, A_Str404, B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA15B) | B(STA15C) | B(STA19) | B(STA20)},
    // 80: (no primitive)
    // (valid in no state)
    // 81: (no primitive)
    // (valid in no state)
    // 82: PR SPDU, type AB
    {82, A_Str010, B(STA01C)},
    {82, A_Str034, B(STA02A) | B(STA02B) | B(STA03) | B(STA04A) | B(STA04B) | B(STA05A) | B(STA05B) | B(STA05C) | B(STA06) | B(STA08) | B(STA09) | B(STA10A) | B(STA10B) | B(STA11A) | B(STA11B) | B(STA11C) | B(STA15A) | B(STA15B) | B(STA15C) | B(STA18) | B(STA19) | B(STA20) | B(STA21) | B(STA22) | B(STA713)},
    {82, A_Str009, B(STA16)},
    // 83: (no primitive)
    // (valid in no state)
};

constexpr std::array<uint8_t, kStableSize> buildStable() {
  std::array<uint8_t, kStableSize> t{};  // every cell Str000
  for (const Row& r : kRows) {
    if (r.event < 1 || r.event > kSessEvents) throw "event outside 1..83";
    for (uint32_t st = 0; st < kSessStates; ++st) {
      if ((r.states & B(st)) == 0) continue;
      uint8_t& cell = t[st + kSessStates * (r.event - 1u)];
      if (cell != A_Str000) throw "a cell is given two actions";
      cell = r.action;
    }
  }
  return t;
}

}  // namespace

constexpr std::array<uint8_t, kStableSize> Stable = buildStable();

#define S_ACTION_PTR(name) &name,
constexpr std::array<SprocFn, kSprocSlots> Sproc = {S_ACTIONS(S_ACTION_PTR) & Str000, &Str000};
#undef S_ACTION_PTR

#define S_ACTION_NAME(name) #name,
constexpr std::array<const char*, kSprocSlots> trname = {S_ACTIONS(S_ACTION_NAME) "Str000", "Str000"};
#undef S_ACTION_NAME

constexpr std::array<const char*, kSessStates> stname = {
    "STA01",  "STA01A", "STA01B", "STA01C", "STA01D", "STA02A", "STA02B", "STA03",
    "STA04A", "STA04B", "STA05A", "STA05B", "STA05C", "STA06",  "STA08",  "STA09",
    "STA10A", "STA10B", "STA11A", "STA11B", "STA11C", "STA15A", "STA15B", "STA15C",
    "STA15D", "STA16",  "STA18",  "STA19",  "STA20",  "STA21",  "STA22",  "STA713",
};

const SprocFn* gSprocTable = Sproc.data();

const char* s_stateName(uint32_t state) { return state < kSessStates ? stname[state] : "?"; }

uint32_t s_fsm(Smachine* s, SIDU* sidu, uint32_t state, uint32_t event) {
  TM_TRACE(sess_TM_handle, 64, kSrc, "fsm: s_fsm(s=%lx state=%s event=%u) called \n",
           reinterpret_cast<unsigned long>(s), s_stateName(state), event);
  if (event < 1 || event > kSessEvents) return S_INVALID_EVENT;
  if (state >= kSessStates || s == nullptr) return S_INVALID_STATE;

  const uint8_t index = Stable[state + kSessStates * (event - 1)];
  if (sidu != nullptr) {
    TM_TRACE(sess_TM_handle, 64, kSrc, "fsm: s=%lx state=%s event=%u cdt=%u inc=%u pool=%u %s \n",
             reinterpret_cast<unsigned long>(s), s_stateName(state), event, s->credit,
             static_cast<unsigned>(sidu->credit), QvGetSbCount(), trname[index]);
  } else {
    TM_TRACE(sess_TM_handle, 64, kSrc, "fsm: s=%lx state=%s event=%u cdt=%u pool=%u %s \n",
             reinterpret_cast<unsigned long>(s), s_stateName(state), event, s->credit, QvGetSbCount(),
             trname[index]);
  }

  // An action may reach the session user, whose callback may come back into
  // the layer and end connections; `released` tells whether any went.
  SessionTLS* t = getSessionTLS(0);
  const uint32_t releasedBefore = t != nullptr ? t->released : 0;
  if (t != nullptr) t->released = 0;

  const uint32_t r = gSprocTable[index](s, sidu);

  const bool live = t == nullptr || t->released == 0 || s_isLive(t, s);
  if (r > S_EVENT_IGNORED) {
    TM_TRACE(sess_TM_handle, 64, kSrc, "FAIL ret=%04x\n", r);
    TM_TRACE(sess_TM_handle, 8, kSrc, "FAIL ret=%d\n", static_cast<int>(r));
  } else if (live) {
    TM_TRACE(sess_TM_handle, 64, kSrc, "new state=%s OK\n", s_stateName(s->state));
  }
  if (live && s->state == STA01) s_release(s);
  if (t != nullptr) t->released |= releasedBefore;
  return r;
}

uint32_t Str000(Smachine*, SIDU*) { return S_INV_TRANSITION; }

// An event valid but meaningless in the state: a request's user data is
// freed; an SPDU gives back the credit it used.
uint32_t Str001(Smachine* s, SIDU* sidu) {
  if (sidu != nullptr) {
    s_freeChain(sidu->userData);
    sidu->userData = nullptr;
    return S_EVENT_IGNORED;
  }
  ++s->credit;
  return 0;
}
