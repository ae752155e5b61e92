// Per-thread records of ACSE and of its service element.
//
// AcseTLS holds the layer-management counters and thresholds, the manager's
// callback and profiles, and the ACSE local error number (ac_errno).
// AcseAseTLS holds the service element's list of per-association control
// blocks.
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"
#include "src/acse/acpm.h"

// ACSE local error numbers (ac_errno).
enum AcErrorCode : uint32_t {
  AC_ERR_NONE = 0,
  AC_ERR_NO_MACHINE = 2,          // no protocol-machine record
  AC_ERR_INVALID_USER_EVENT = 3,  // user event not valid in the machine's state
  AC_ERR_NO_CONTEXT_NAME = 9,     // application context name without arcs
  AC_ERR_BAD_RESULT_SOURCE = 10,  // result source neither service user nor provider
  AC_ERR_TOO_MANY_USER_DATA = 11, // more than four user-information entries
  AC_ERR_NULL_PARAMETER = 12,     // a required pointer or attribute missing
  AC_ERR_BAD_ATTRIBUTE = 15,      // no such layer-management attribute, or not settable
};

// Layer-management attributes 16385-16398: counters and their thresholds.
inline constexpr uint32_t kAcLmeFirstAttr = 16385;
inline constexpr uint32_t kAcLmeAttrCount = 14;

struct AcseTLS;
// Called when a counter reaches a multiple of its threshold: (attribute id,
// new count, 0, the thread's record).
using AcLmeCallback = void (*)(uint32_t attribute, uint32_t count, uint32_t zero, AcseTLS* tls);

struct AcseTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  AcLmeCallback lmeCallback;            // NULL = none
  uint64_t profileA[2];                 // opaque to ACSE
  uint64_t profileB[2];
  uint32_t lmeAttr[kAcLmeAttrCount];    // attribute 16385 + i at index i
  uint32_t acErrno;                     // AcErrorCode of the last failure
  AcseTLS* next;
};

// Identity marks of a control block.
inline constexpr uint32_t kAcseAseCbAlive = 771;
inline constexpr uint32_t kAcseAseCbReleased = static_cast<uint32_t>(-772);

// Per-association control block of the ACSE service element, on a circular
// list whose head is in the thread's AcseAseTLS.
struct AcseAseCB {
  AcseAseCB* next;
  AcseAseCB* prev;
  uint32_t mark;     // kAcseAseCbAlive while alive
  AcpmRecord acpm;   // state and initiator flag of the protocol machine
};

struct AcseAseTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  uint32_t initialised;  // 1 once the service element is initialised on the thread
  AcseAseCB* head;       // self-linked list head in its own XM tree
  AcseAseTLS* next;
};

extern TLSFamily<AcseTLS> gAcseTLS;
extern TLSFamily<AcseAseTLS> gAcseAseTLS;

int32_t initAcseTLS();
AcseTLS* getAcseTLS(int32_t remove);
void removeAcseTLS();
void destroyAcseTLSCache();

int32_t initAcseAseTLS();
AcseAseTLS* getAcseAseTLS(int32_t remove);
void removeAcseAseTLS();
void destroyAcseAseTLSCache();

// ac_errno of the calling thread; a thread without an AcseTLS keeps none
// (reads as AC_ERR_NONE).
void QvSetAcError(uint32_t number);
uint32_t QvGetAcError();
