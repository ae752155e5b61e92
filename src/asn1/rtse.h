// RTSE protocol data units (ISO 9066-2): the APDU CHOICE, the four SET
// APDUs, ConnectionData and SessionConnectionIdentifier. The presentation
// layer's connect-PPDU codecs use the ConnectionData pair; the rest is
// complete for the APDUs but has no caller.
//
// Parse routines answer all ones when they read their value; the member
// routines parse the contents of an element whose identifier the caller
// took. Format routines write back to front and return the octet count.
#pragma once

#include "src/asn1/ber_values.h"
#include "src/asn1/codec_table.h"

// Type codes of the RTS_apdus alternatives.
inline constexpr uint32_t RTS_RTTP = 2;       // INTEGER priority
inline constexpr uint32_t RTS_RTTR = 4;       // OCTET STRING
inline constexpr uint32_t RTS_RTORQ = 16400;  // [16]
inline constexpr uint32_t RTS_RTOAC = 16401;  // [17]
inline constexpr uint32_t RTS_RTORJ = 16402;  // [18]
inline constexpr uint32_t RTS_RTAB = 16406;   // [22]

// Type codes of the ConnectionData alternatives.
inline constexpr uint32_t RTS_CD_OPEN = 16384;     // [0] ANY
inline constexpr uint32_t RTS_CD_RECOVER = 16385;  // [1] SessionConnectionIdentifier

// Type codes of the calling SS-user reference.
inline constexpr uint32_t RTS_REF_T61 = 20;
inline constexpr uint32_t RTS_REF_OCTETS = 4;

// An OCTET STRING of at most 16 octets in place.
struct RtsOcts16 {
  uint32_t length;
  uint8_t octets[16];
};

struct RtsCallingRef {
  uint32_t kind;  // RTS_REF_T61 or RTS_REF_OCTETS
  union {
    char text[16];  // NUL-terminated: at most 15 characters
    RtsOcts16 octets;
  };
};

inline constexpr uint32_t RTS_SCI_ADDITIONAL = 4;

struct RtsSessConnId {
  uint32_t mask;  // RTS_SCI_ADDITIONAL
  RtsCallingRef callingRef;
  BerTime commonRef;   // UTCTime
  char additional[16];  // [0] T61String, NUL-terminated
};

struct RtsConnectionData {
  uint32_t kind;  // RTS_CD_OPEN or RTS_CD_RECOVER
  union {
    BerAny open;  // the whole element inside [0]
    RtsSessConnId recover;
  };
};

// Presence bits and defaults of RTORQ / RTOAC.
inline constexpr uint32_t RTS_RQ_CHECKPOINT = 1;
inline constexpr uint32_t RTS_RQ_WINDOW = 2;
inline constexpr uint32_t RTS_RQ_DIALOGUE = 4;
inline constexpr uint32_t RTS_RQ_CONNDATA = 8;
inline constexpr uint32_t RTS_RQ_APPPROTOCOL = 16;
inline constexpr uint32_t RTS_AC_CHECKPOINT = 1;
inline constexpr uint32_t RTS_AC_WINDOW = 2;
inline constexpr uint32_t RTS_AC_CONNDATA = 4;
inline constexpr int32_t RTS_DEFAULT_WINDOW = 3;

struct RtoRQapdu {
  uint32_t mask;
  int32_t checkpointSize;  // [0], 0 when absent
  int32_t windowSize;      // [1], 3 when absent
  int32_t dialogueMode;    // [2], 0 when absent
  RtsConnectionData connectionData;  // [3], required
  int32_t applicationProtocol;       // [4]
};

struct RtoACapdu {
  uint32_t mask;
  int32_t checkpointSize;  // [0], 0 when absent
  int32_t windowSize;      // [1], 3 when absent
  RtsConnectionData connectionData;  // [2], required
};

inline constexpr uint32_t RTS_RJ_REASON = 1;
inline constexpr uint32_t RTS_RJ_USERDATA = 2;

struct RtoRJapdu {
  uint32_t mask;
  int32_t refuseReason;  // [0]: required when read, always written
  BerAny userData;       // [1] ANY
};

inline constexpr uint32_t RTS_AB_REASON = 1;
inline constexpr uint32_t RTS_AB_REFLECTED = 2;
inline constexpr uint32_t RTS_AB_USERDATA = 4;

struct RtoABapdu {
  uint32_t mask;
  int32_t abortReason;          // [0]
  uint32_t reflectedParameter;  // [1] BIT STRING, written as 16 bits
  BerAny userData;              // [2] ANY
};

struct RTS_apdus {
  uint32_t kind;  // RTS_RTTP ... RTS_RTAB
  union {
    int32_t rttp;
    RtsOcts16 rttr;
    RtoRQapdu rtorq;
    RtoACapdu rtoac;
    RtoRJapdu rtorj;
    RtoABapdu rtab;
  };
};

// A new record in the decode tree; NULL when no element follows.
RTS_apdus* aRTS_apdus();
int64_t fRTS_apdus(RTS_apdus* apdu);
uint32_t aRtoRQapdu(RtoRQapdu* rq);
int64_t fRtoRQapdu(RtoRQapdu* rq);
uint32_t aRtoACapdu(RtoACapdu* ac);
int64_t fRtoACapdu(RtoACapdu* ac);
uint32_t aRtoRJapdu(RtoRJapdu* rj);
int64_t fRtoRJapdu(RtoRJapdu* rj);
uint32_t aRtoABapdu(RtoABapdu* ab);
int64_t fRtoABapdu(RtoABapdu* ab);
// 0 when no element follows.
uint32_t aRtsConnectionData(RtsConnectionData* cd);
int64_t fRtsConnectionData(RtsConnectionData* cd);
uint32_t aRtsSessConnId(RtsSessConnId* sci);
int64_t fRtsSessConnId(RtsSessConnId* sci);

extern const CtType kRtsApdus;
