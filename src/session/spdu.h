// Session protocol data units: their wire format, the reader that turns a
// received transport data unit into protocol-machine events, and the
// builders that write SPDUs in front of the user data they carry.
//
// An SPDU is an identifier octet (SI), a length (LI) of its parameter field
// and that field: parameters, each a code octet, an LI and a value. An LI is
// one octet 0..254, or 255 followed by two octets (high first) holding 255 or
// more. A parameter group (PGI) holds further parameters in its value. DT, TD
// and EX carry their user information after the parameter field.
//
// Everything works on the calling thread's SessionTLS: the reader's cursor
// and the received-SPDU area, the builders' write pointer.
#pragma once

#include <cstdint>

#include "src/session/session.h"

// SPDU identifiers. Several share a code: the SPDU that comes first in a
// concatenated pair (GT or PT) tells which one is meant.
enum : uint8_t {
  SI_ER = 0,   // exception report (after PT)
  SI_GT = 1,   // give tokens; DT after GT
  SI_DT = 1,
  SI_PT = 2,   // please tokens
  SI_EX = 5,   // expedited data
  SI_PR = 7,   // prepare
  SI_NF = 8,   // not finished
  SI_FN = 9,   // finish
  SI_DN = 10,  // disconnect
  SI_RF = 12,  // refuse
  SI_CN = 13,  // connect
  SI_AC = 14,  // accept
  SI_GTC = 21, // give tokens confirm
  SI_GTA = 22, // give tokens ack
  SI_AB = 25,  // abort; AI after GT
  SI_AI = 25,
  SI_AA = 26,  // abort accept; AIA after PT
  SI_AIA = 26,
  SI_AR = 29,  // activity resume
  SI_TD = 33,  // typed data
  SI_RA = 34,  // resynchronize ack
  SI_MAP = 41, // major sync point; AE
  SI_AE = 41,
  SI_MAA = 42, // major sync ack; AEA
  SI_AEA = 42,
  SI_AS = 45,  // activity start
  SI_ED = 48,  // exception data
  SI_MIP = 49, // minor sync point
  SI_MIA = 50, // minor sync ack
  SI_RS = 53,  // resynchronize
  SI_AD = 57,  // activity discard
  SI_ADA = 58, // activity discard ack
  SI_CD = 61,  // capability data
  SI_CDA = 62, // capability data ack
};

// Parameter codes.
enum : uint8_t {
  PGI_CONN_ID = 1,
  PGI_CONN_ACC = 5,
  PI_CALLED_SS_REF = 9,
  PI_CALLING_SS_REF = 10,
  PI_COMMON_REF = 11,
  PI_ADD_INFO = 12,
  PI_SYNC_TYPE = 15,
  PI_TOKEN_ITEM = 16,
  PI_TDISC = 17,
  PI_PROT_OPTIONS = 19,
  PI_SREQ = 20,
  PI_TSDU_MAX = 21,
  PI_VERSION = 22,
  PI_ISN = 23,
  PI_PREPARE_TYPE = 24,
  PI_ENCLOSURE = 25,
  PI_TOKEN_SETTING = 26,
  PI_RESYNC_TYPE = 27,
  PGI_LINKING = 33,
  PI_ACTIVITY_ID = 41,
  PI_SERIAL = 42,
  PI_MIA_DATA = 46,
  PI_REFLECT = 49,
  PI_REASON = 50,
  PI_CALLING_SSEL = 51,
  PI_CALLED_SSEL = 52,
  PI_DATA_OVERFLOW = 60,
  PGI_USER_DATA = 193,
  PGI_EXT_USER_DATA = 194,
};

// Events the reader raises (the rows of the protocol machine's table).
enum : uint32_t {
  EV_AA = 39, EV_AB_REL = 40, EV_AB_KEEP = 41, EV_AC = 42, EV_AD = 43, EV_ADA = 44,
  EV_AE = 45, EV_AEA = 46, EV_AI = 47, EV_AIA = 48, EV_AR = 49, EV_AS = 50,
  EV_CD = 51, EV_CDA = 52, EV_CN = 53, EV_DN = 54, EV_DT = 55, EV_ED = 56,
  EV_ER = 57, EV_EX = 58, EV_FN_REL = 59, EV_FN_KEEP = 60, EV_GT = 61, EV_GTA = 62,
  EV_GTC = 63, EV_MAA = 64, EV_MAP = 65, EV_MIA = 66, EV_MIP = 67, EV_NF = 68,
  EV_PR_MAA = 69, EV_PR_RA = 70, EV_PR_RS = 71, EV_PT = 72, EV_RA = 73,
  EV_RF_REL = 74, EV_RF_KEEP = 75, EV_RS_ABANDON = 76, EV_RS_RESTART = 77,
  EV_RS_SET = 78, EV_TD = 79, EV_PR_AB = 82,
};

// Kinds of transport data unit handed to the reader.
enum : uint32_t { SPDU_NORMAL = 0, SPDU_EXPEDITED = 1, SPDU_UNIT = 2 };

inline constexpr uint64_t kNoSerial = 1000000;       // serial number absent
inline constexpr uint32_t kDefaultRequirements = 0x349;
inline constexpr uint32_t kUserDataV1Max = 512;      // user data in version 1
inline constexpr uint32_t kExtUserDataMax = 10240;   // extended user data of CN
inline constexpr uint32_t kAbortDataMax = 9;         // AB user data (version 1), reflect values

// The reader's escape: a malformed value leaves the SPDU at once. Thrown by
// the value readers, caught only by parse_SPDU.
struct SpduEscape {
  uint32_t code;
};

// ---------------------------------------------------------------------------
// Reader

// Reads one transport data unit received on `s` (`kind` SPDU_NORMAL,
// SPDU_EXPEDITED or SPDU_UNIT): checks the SPDU or concatenated pair in it,
// decodes it into the received-SPDU area and feeds its events to the
// protocol machine. A bad unit aborts the connection (AB with value 5, state
// STA16). `s` may have been released when this returns.
void parse_SPDU(Smachine* s, SessionBuffer* buf, uint32_t kind);

// SPDU readers: the cursor at the first parameter, `end` the end of the
// parameter field. 1 accepted (the event in the pending-event field), 0
// refused; a malformed value escapes.
#define S_SPDU_READERS(X)                                                               \
  X(CN) X(AC) X(RF) X(FN) X(DN) X(NF) X(AA) X(EX) X(CD) X(CDA) X(TD) X(GT) X(PT) X(GTC) \
  X(GTA) X(PR) X(DT) X(MIP) X(MIA) X(MAP) X(MAA) X(AEA) X(RS) X(RA) X(ER) X(ED) X(AE)   \
  X(AS) X(AR) X(AI) X(AD) X(AIA) X(ADA)
#define S_DECLARE_READER(name) int32_t p_##name##_spdu(const uint8_t* end, Smachine* s);
S_SPDU_READERS(S_DECLARE_READER)
#undef S_DECLARE_READER
int32_t p_AB_spdu(const uint8_t* end, Smachine* s, uint32_t kind);

// Group readers, the cursor at the group's code: 1 accepted, 0 refused.
int32_t p_ci_pgi();
int32_t p_cai_pgi();
int32_t p_link_pgi();

// Value readers, the cursor at a parameter code; each checks that the code,
// the LI and the value lie within the SPDU or group being read, and moves
// past the parameter.
uint32_t get_li();                  // leaves the cursor at the value
uint32_t get1(int32_t dflt);        // dflt -1: the value must be there
uint32_t get2(int32_t dflt);
int32_t get4();
uint64_t get6();                    // 1..6 decimal digits
uint32_t getvs(uint32_t max, uint8_t* dest);
void get_user_data(uint32_t max);   // max 0: no limit
void skip(uint32_t max);            // max 0: no limit

// Trace dump of one SPDU (header and parameter field) under `label`.
int32_t tm_dmppdu(const uint8_t* start, uint32_t length, const char* label);

// ---------------------------------------------------------------------------
// Builders

// Encoders: each writes immediately before the write pointer, moves it back
// and returns the octets written.
uint32_t add_id(uint8_t code, uint32_t length);
uint32_t add_int(uint32_t n, uint32_t value);
uint32_t add_ascii(uint64_t value);
uint32_t add_blk(uint32_t n, const uint8_t* source);
uint32_t add_scid(const ScidBlock* cid, bool withCalled, bool withCalling);
uint32_t add_cai(const Smachine* s, uint8_t tokenSetting, uint64_t isn);

// Queues `buf` (its SPDU starting at the write pointer, `total` octets) on
// the connection's output queue and asks the transport to send.
uint32_t sendpdu(Smachine* s, SessionBuffer* buf, uint32_t total);

// The builders hand the buffer to the output queue (or free it on the
// expedited path); the caller must not use it again. They answer the
// transport's result, or S_NO_BUFFER when no buffer could be had for a
// header that does not fit in front of the user data: the buffer is then
// left as it was and stays the caller's.
uint32_t pduCN(Smachine* s, uint8_t tokenSetting, const ScidBlock* cid, uint64_t isn, SessionBuffer* buf);
uint32_t pduAC(Smachine* s, uint8_t tokenSetting, const ScidBlock* cid, uint64_t isn, SessionBuffer* buf);
uint32_t pduRF(Smachine* s, uint32_t keepTransport, const ScidBlock* cid, uint8_t reason, SessionBuffer* buf);
uint32_t pduFN(Smachine* s, uint32_t keepTransport, SessionBuffer* buf);
uint32_t pduDN(Smachine* s, SessionBuffer* buf);
uint32_t pduNF(Smachine* s, SessionBuffer* buf);
uint32_t pduAB(Smachine* s, uint8_t value, SessionBuffer* buf);  // buf may be NULL
uint32_t pduAA(Smachine* s, SessionBuffer* buf);
uint32_t pduDT(Smachine* s, SessionBuffer* buf);
uint32_t pduTD(Smachine* s, SessionBuffer* buf);
uint32_t pduEX(Smachine* s, SessionBuffer* buf);
uint32_t pduGT(Smachine* s, uint8_t tokens, SessionBuffer* buf);
uint32_t pduPT(Smachine* s, uint8_t tokens, SessionBuffer* buf);
uint32_t pduGTC(Smachine* s, SessionBuffer* buf);
uint32_t pduGTA(Smachine* s, SessionBuffer* buf);
uint32_t pduPR(Smachine* s, uint8_t type);
uint32_t pduMIP(Smachine* s, uint64_t serial, uint32_t explicitConfirm, SessionBuffer* buf);
uint32_t pduMIA(Smachine* s, uint64_t serial, SessionBuffer* buf);
uint32_t pduMAP(Smachine* s, uint64_t serial, SessionBuffer* buf);
uint32_t pduMAA(Smachine* s, uint64_t serial, SessionBuffer* buf);
uint32_t pduAE(Smachine* s, uint64_t serial, SessionBuffer* buf);
uint32_t pduAEA(Smachine* s, uint64_t serial, SessionBuffer* buf);
uint32_t pduRS(Smachine* s, uint8_t type, uint8_t tokenSetting, uint64_t serial, SessionBuffer* buf);
uint32_t pduRA(Smachine* s, uint8_t tokenSetting, uint64_t serial, SessionBuffer* buf);
uint32_t pduAS(Smachine* s, const ActId* id, SessionBuffer* buf);
uint32_t pduAR(Smachine* s, const ScidBlock* cid, const ActId* oldId, const ActId* id, uint64_t oldSerial,
               SessionBuffer* buf);
uint32_t pduAI(Smachine* s, uint8_t reason, SessionBuffer* buf);
uint32_t pduAIA(Smachine* s, SessionBuffer* buf);
uint32_t pduAD(Smachine* s, uint8_t reason, SessionBuffer* buf);
uint32_t pduADA(Smachine* s, SessionBuffer* buf);
uint32_t pduED(Smachine* s, uint8_t reason, SessionBuffer* buf);
uint32_t pduCD(Smachine* s, SessionBuffer* buf);
uint32_t pduCDA(Smachine* s, SessionBuffer* buf);
