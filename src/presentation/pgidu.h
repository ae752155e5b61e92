// The generic interface data unit (GIDU): the record in which the
// presentation layer hands its indications and confirms up and takes its
// requests and responses, and in which the application layer above it
// passes every primitive between its elements. Its event-code word, the
// local stack events and the IDU types are given here with it; the ACSE
// primitives, the application-entity headers and the creation and deletion
// of GIDUs belong to the application layer (src/acse/gidu.h).
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Event code: bit 15 set for a service primitive, else a local stack event
// whose number (0-15) is the whole word. Of a primitive, bits 4-14 hold the
// service number, bit 3 the APDU form, bit 2 the delivered form (indication
// or confirm), bit 1 the response side; bits 16 and up are flags that every
// table lookup and trace name ignores.

inline constexpr uint32_t AL_EV_PRIMITIVE = 0x8000;
inline constexpr uint32_t AL_EV_APDU = 0x8;
inline constexpr uint32_t AL_EV_DELIVERED = 0x4;
inline constexpr uint32_t AL_EV_RESPONSE = 0x2;
inline constexpr uint32_t AL_EV_CODE_MASK = 0x7FFF;  // what lookups see

constexpr bool al_isPrimitive(uint32_t event) { return (event & AL_EV_PRIMITIVE) != 0; }
// The service number of a primitive.
constexpr uint32_t al_serviceOf(uint32_t event) { return (event & AL_EV_CODE_MASK) >> 4; }

// Local stack events.
enum : uint32_t {
  AL_ACT_REQ = 0,
  AL_ACT_CNF = 1,
  AL_DEACT_REQ = 2,
  AL_DEACT_CNF = 3,
  AL_FDEACT_REQ = 4,
  AL_FDEACT_CNF = 5,
  AL_QABORT = 6,
  AL_LOCERR_IND = 7,
  AL_PSTOP_REQ = 8,
  AL_PSTART_REQ = 9,
  AL_USTOP_IND = 10,
  AL_USTART_IND = 11,
  AL_RESTART_REQ = 12,
  AL_RESTART_RSP = 13,
  AL_RESTART_IND = 14,
  AL_RESTART_CNF = 15,
};
inline constexpr uint32_t kAlLocalEventCount = 16;

// IDU types: what a GIDU carries.
enum : uint32_t {
  AL_IDU_NONE = 0,        // a local event of the application layer itself
  AL_IDU_PRES = 20,       // idu is a PIDU
  AL_IDU_PRES_RCV = 21,   // idu is an AeHDR wrapping a received PIDU
  AL_IDU_TP = 180,        // transaction processing (named in traces only)
  AL_IDU_UDT = 181,
  AL_IDU_INTERNAL = 182,
  AL_IDU_RDA = 200,       // idu is the AeHDR chain over an RDA IDU, or the IDU itself
  AL_IDU_CCR = 220,       // commitment (named in traces only)
  AL_IDU_ACSE = 240,      // idu is the AeHDR chain over an ACSE APDU
};

// ---------------------------------------------------------------------------
// Records

struct GIDU {
  GIDU* next;  // queue links; a GIDU in no queue points to itself
  GIDU* prev;
  uint32_t event;
  void* ue;    // user entity
  void* pe;    // provider entity
  void* uc;    // user connection
  void* pc;    // provider connection
  uint32_t errNo;  // OSI error number of a local error event
  void* extra;     // only the quick-abort GIDU of a presentation connection hangs a buffer here
  uint32_t iduType;
  void* idu;       // top AeHDR, PIDU or the IDU itself
};

// Makes a GIDU a queue of its own (or an empty queue head).
inline void al_selfLink(GIDU* g) { g->next = g->prev = g; }
