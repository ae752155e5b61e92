// Session service: the records that carry it and its entry points.
//
// The session layer offers its service to one kind of user, the
// presentation layer. A user registers under its session selector
// (s_activate) with a callback that receives every indication and confirm;
// S-CONNECT request enters s_connect, every other request and response
// enters `session`, which feeds the primitive's event to the protocol
// machine (src/session/spm.h). All state lives in the calling thread's
// SessionTLS (src/session/sessiontls.h); the layer has no thread of its own.
#pragma once

#include <cstdint>

#include "src/runtime/tm.h"
#include "src/session/buffer_pool.h"

extern TmHandle sess_TM_handle;  // trace module of the session layer

// ---------------------------------------------------------------------------
// Session error numbers (0x8000 + n), kept per thread by QvSetSessionError.

enum : uint32_t {
  S_NO_ERROR = 32768,
  S_EVENT_IGNORED = 32769,      // an action discarded the event; not a machine failure
  S_UNSPECIFIED = 32770,        // s_transmit failed
  S_INVALID_EVENT = 32771,      // event outside 1..83
  S_INVALID_STATE = 32772,      // state above 31, or no connection given
  S_INV_TRANSITION = 32773,     // the event is not valid in the state
  S_NO_MORE_SSAP = 32774,
  S_SSAP_IN_USE = 32775,
  S_SSAP_NOT_IN_USE = 32776,
  S_SSAP_BUSY = 32777,
  S_NO_MORE_CONN = 32778,
  S_BAD_FUS = 32779,            // unacceptable session requirements
  S_BAD_VERSION = 32780,
  S_USER_DATA_OVERFLOW = 32781,
  S_INVALID_ISN = 32782,
  S_NO_BUFFER = 32783,
  S_CONREQ_FAIL = 32784,
  S_INVALID_TSI = 32785,
  S_NO_EXPEDITED = 32786,       // a condition of the action not met
  S_PROTOCOL_ERROR = 32787,
  S_ZERO_LENGTH_SSDU = 32788,
  S_NO_TOKEN_SPECIFIED = 32789, // here: transport provider limit reached
  S_NO_RESOURCES = 32790,
};
// Unnamed in the error table.
inline constexpr uint32_t kSessErrBadProvider = 32793;   // invalid provider name
inline constexpr uint32_t kSessErrNoProvider = 32800;    // no provider name

// Name of a session error number for traces ("S_NO_ERROR" ...); "?" for a
// number without a name.
const char* s_errorName(uint32_t err);

// ---------------------------------------------------------------------------
// States of a session connection (Smachine::state).

enum SessionState : uint8_t {
  STA01, STA01A, STA01B, STA01C, STA01D, STA02A, STA02B, STA03,
  STA04A, STA04B, STA05A, STA05B, STA05C, STA06, STA08, STA09,
  STA10A, STA10B, STA11A, STA11B, STA11C, STA15A, STA15B, STA15C,
  STA15D, STA16, STA18, STA19, STA20, STA21, STA22, STA713,
};
inline constexpr uint32_t kSessStates = 32;
inline constexpr uint32_t kSessEvents = 83;  // events are numbered 1..83

// Events of the protocol machine the service entry and the timer raise;
// the full list is the row list of Stable (src/session/spm.cpp).
inline constexpr uint32_t kEvConnectReq = 12;   // S-CONNECT request
inline constexpr uint32_t kEvUserAbort = 31;    // S-U-ABORT request
inline constexpr uint32_t kEvReceive = 33;      // receive request
inline constexpr uint32_t kEvTConnectInd = 35;  // T-CONNECT indication
inline constexpr uint32_t kEvTConnectCnf = 36;  // T-CONNECT confirm
inline constexpr uint32_t kEvTDisconnect = 37;  // T-DISCONNECT indication
inline constexpr uint32_t kEvTimer = 38;        // session timer expiry

// Session requirements (functional units), bits of a u32 word.
enum : uint32_t {
  SR_HALFDUPLEX = 0x1,
  SR_DUPLEX = 0x2,
  SR_EXPEDITED = 0x4,
  SR_MINORSYNC = 0x8,
  SR_MAJORSYNC = 0x10,
  SR_RESYNC = 0x20,
  SR_ACTIVITY = 0x40,
  SR_NEGOTIATED_RELEASE = 0x80,
  SR_CAPABILITY = 0x100,
  SR_EXCEPTIONS = 0x200,
  SR_TYPEDDATA = 0x400,
};
inline constexpr uint32_t kSrRefused = ~uint32_t{0x7FF};  // any bit at or above 0x800

// ---------------------------------------------------------------------------
// Addresses

inline constexpr uint32_t kSsapMaxLen = 16;
inline constexpr uint32_t kTsapMaxLen = 28;
inline constexpr uint32_t kNsapMaxLen = 20;

// A session selector: length octet, then up to 16 octets.
struct SSel {
  uint8_t len;
  uint8_t sel[kSsapMaxLen];
};

// The 24-octet selector record a user registers with (s_activate) and
// names as the calling selector of an S-CONNECT request.
struct SSAPaddr {
  SSel ssap;
  uint8_t spare[7];
};
static_assert(sizeof(SSAPaddr) == 24);

struct TSAPaddr {  // transport selector: 32 octets
  uint32_t len;
  uint8_t sel[kTsapMaxLen];
};
struct NSAPaddr {  // network address: 24 octets
  uint32_t len;
  uint8_t addr[kNsapMaxLen];
};

// Peer address record (and the received address records of an SPDU):
// session selector, transport selector from octet 20, a word at octet 52,
// network address from octet 56.
struct SAddress {
  SSel ssap;
  uint8_t spare[3];
  TSAPaddr tsap;
  uint32_t tsapWord;
  NSAPaddr nsap;
};
static_assert(sizeof(SAddress) == 80);

// Session connection identifier: called and calling SS-user references,
// common reference, additional reference information.
struct ScidBlock {
  uint32_t calledLen;
  uint8_t called[64];
  uint32_t callingLen;
  uint8_t calling[64];
  uint32_t commonLen;
  uint8_t common[64];
  uint32_t additionalLen;
  uint8_t additional[4];
};
static_assert(sizeof(ScidBlock) == 212);

// Activity identifier: length, then up to 6 octets.
struct ActId {
  uint32_t len;
  uint8_t id[6];
};
static_assert(sizeof(ActId) == 12);

// ---------------------------------------------------------------------------
// Records

struct Smachine;
struct SIDU;

// The session user's indication callback: gets the connection and an
// indication SIDU that lives only for the call; it takes over the SIDU's
// user data. Its result is not used.
using SsIndication = int32_t (*)(Smachine* s, SIDU* sidu);

struct SsLink {
  SsLink* next;
  SsLink* prev;
};

// A registered session user.
struct SsUser : SsLink {
  SSAPaddr ssap;
  SsIndication callback;
};

// A queue of SessionBuffers: a ring through a sentinel buffer, and a count.
struct SbQueue {
  SessionBuffer head;
  uint32_t count;
};
void sq_init(SbQueue* q);
// Unlinks `buf` from any ring it is on and appends it.
void sq_append(SbQueue* q, SessionBuffer* buf);
// Unlinks and returns the first buffer; NULL when empty.
SessionBuffer* sq_take(SbQueue* q);
bool sq_empty(const SbQueue* q);
void sq_freeAll(SbQueue* q);

// Frees every buffer of a ring (a chain of user data); NULL is ignored.
void s_freeChain(SessionBuffer* chain);

struct SmLink {
  SmLink* next;
  SmLink* prev;
};

inline constexpr uint32_t kPrMarkers = 28;

// One session connection.
struct Smachine : SmLink {
  uint8_t state;        // SessionState
  uint8_t texp;         // transport expedited: 1 on the calling side of a transport
                        // that offers it (never over TP0)
  int32_t tcepId;       // transport endpoint; -1 = none
  SsUser* owner;        // NULL once the user is gone
  uint32_t credit;      // receive credit the user gave
  uint8_t version;      // protocol version 1 or 2
  uint8_t vact;         // activity in progress
  uint8_t vnextact;     // Vact after the next major sync or activity end
  uint8_t acc;          // 1: started from a T-CONNECT indication
  uint8_t tcRetained;   // transport connection kept after release (always 0)
  uint8_t relCollision; // release collision
  uint8_t collisionAnswered;
  uint8_t vsc;          // this side may confirm minor sync points
  uint8_t vrsp;         // pending resync/activity operation: 0 none, 1 restart,
                        // 2 set, 3 abandon, 4 activity interrupt, 5 activity discard
  uint64_t vrspnb;      // its serial number
  uint8_t av;           // tokens available
  uint8_t owned;        // tokens owned
  uint8_t usable;       // not available, or owned
  uint8_t notOwned;     // not (available and owned)
  uint8_t ownedAv;      // available and owned
  uint8_t peer;         // available and not owned
  uint32_t requirements;  // functional units in use
  uint64_t va;          // V(A): lowest serial number that may be confirmed
  uint64_t vm;          // V(M): next serial number
  uint64_t vr;          // V(R): lowest restart point
  SbQueue outQ;         // SPDUs waiting for s_transmit
  SbQueue cnfQ;         // sent units waiting for their data confirm
  SbQueue exQ;          // held expedited data
  uint32_t prCount;     // markers recorded while PR SPDUs are outstanding
  uint8_t prMarkers[kPrMarkers];
  uint8_t segmenting;   // a data unit given in several buffers is being sent
  uint8_t lastDataKind; // 'h' data, 'x' typed data: further received segments
  uint8_t rcvPending;   // a received unit continues in later buffers
  uint8_t inputDisabled;
  SAddress peerAddr;
  uint32_t userRef;     // the user's own connection reference
};

// Session interface data unit: one record for every primitive.
struct SIDU {
  uint32_t event;              // 1..33 requests and responses, 90..124 indications
  const SSAPaddr* callingSsap; // in indications: the user's own selector
  SAddress* address;           // peer address record
  uint32_t requirements;
  uint8_t tokens;              // token setting or token item
  uint8_t syncType;            // resynchronisation or synchronisation type
  uint32_t reason;             // refusal, abort, interrupt or discard reason; result
  uint64_t serial;             // initial serial number, or synchronisation point
  SessionBuffer* userData;     // chain of buffers, or NULL
  uint8_t credit;              // receive credit granted (indications: the connection's)
  uint8_t version;
  ActId activityId;
  ActId oldActivityId;
  ScidBlock cid;
  uint32_t userRef;
  uint32_t trailing;           // cleared by session and s_connect on entry
};

// ---------------------------------------------------------------------------
// Service entry and management

// A request or response on a connection: 1 when the machine's result is 0,
// else 0; the result is stored as the session error in every case.
int32_t session(Smachine* s, SIDU* sidu);
// S-CONNECT request: the new connection, or NULL with the session error set.
Smachine* s_connect(SIDU* sidu);
int32_t s_activate(const SSAPaddr* selector, SsIndication callback);
int32_t s_deactivate(const SSAPaddr* selector);
int32_t s_unitdata();

SsUser* find_ss_user(const SSAPaddr* selector);
// Writes "len, " and the selector's octets ("%2x " each, at most 16) into
// text (of `size` octets, always NUL-terminated); "0, NULL" for none.
char* dumpssap(const SSel* selector, char* text, uint32_t size);
inline constexpr uint32_t kDumpSsapSize = 64;  // room for the longest dump

// 0 when equal; all ones when a length differs, is 0 or exceeds the field.
int32_t ssap_cmp(const SSel* a, const SSel* b);
int32_t tsap_cmp(const TSAPaddr* a, const TSAPaddr* b);
int32_t nsap_cmp(const NSAPaddr* a, const NSAPaddr* b);

Smachine* s_alloc();
void init_spm(Smachine* s);
// Ends a connection: cancels its timers, unlinks it, frees its queued
// buffers and the record. Called by s_fsm when an action leaves STA01.
void s_release(Smachine* s);

struct TpLocalAddr;
uint32_t init_session(TpLocalAddr* params);
void init_mgmt();
void term_session();
uint32_t s_attach_transport(const char* genericName);
void s_detach_transport();

void QvSetSessionError(uint32_t err);
uint32_t QvGetSessionError();
