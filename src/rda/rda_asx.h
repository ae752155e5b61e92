// The static tables that configure the RDA application entity: the
// application service elements with their abstract syntaxes (RDA_asxTBL),
// the application contexts (RDA_actxTBL), the SACF route table of an
// association (RDA_sacfRouteTBL), and the service user's configuration
// (AL_surConf with its event-handler records and route table).
//
// The tables are constant; each thread's application entity works on a
// copy of RDA_asxTBL whose rows keep the presentation layer's index of their
// abstract syntax. A row's routines of service elements and entities not
// built here are NULL; the dispatch of the application layer refuses a GIDU
// that meets a NULL routine (traced) instead of calling it.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/acse/sur.h"
#include "src/asn1/ber_runtime.h"

struct SaoCB;
struct PctxEntry;

inline constexpr uint32_t kRdaIduType = 200;  // IDU type of RDA GIDUs
inline constexpr int32_t kRdaAsxRows = 15;
inline constexpr int32_t kRdaActxRows = 5;
inline constexpr int32_t kSacfRouteEntries = 8;

// Entries of an application service element.
// send / receive: take the GIDU over; the association's context table, the
// element's block for the association and the association.
using AseEntryFn = void (*)(GIDU* gidu, PctxEntry* pctxTbl, void* aseBlock, SaoCB* sao);
using AseInitFn = int32_t (*)();                             // 1, or 0 with osi_errno
using AseEstabFn = void* (*)();                              // the element's block for a new association, or NULL
using AseRelFn = int32_t (*)(void* aseBlock, int32_t mode);  // 0 release, 1 reset
using AseTriggerFn = void (*)(void* aseBlock);

struct AsxEntry {
  uint32_t arcCount;  // of the abstract syntax; 0 ends the table
  const uint32_t* arcs;
  uint32_t aseId;     // IDU type the element handles
  AaParseFn decode;   // runs in a parse pass; the new record or NULL
  AaFormatFn encode;  // runs in a format pass; the octets written
  AseEntryFn send;
  AseEntryFn receive;
  AseInitFn init;
  AseEstabFn establish;
  AseRelFn release;
  AseInitFn terminate;
  AseTriggerFn trigger;  // called when a trigger the element asked for fires
  uint32_t asIdx;        // 0 here; a thread's copy holds the presentation layer's index
};

// The AE's downward exit: 1 when the presentation layer accepted the
// primitive, else 0.
using AlExitFn = int32_t (*)(GIDU* gidu);
// A conversion between ASE GIDUs and a presentation GIDU: the result (a
// GIDU or a ring of them), or NULL; the input is consumed either way.
using AlCvrtFn = GIDU* (*)(GIDU* gidu);

struct ActxEntry {
  const char* name;
  uint32_t arcCount;  // of the application context; 0 ends the table
  const uint32_t* arcs;
  uint32_t syntaxCount;
  const uint32_t* syntaxList;  // rows of the ASE table
  uint32_t saoSize;            // block size of an association's SaoCB
  uint32_t saoTag;
  const AlGiduFn* routeTbl;    // the SACF route table
  uint32_t lastRouteIdx;
  AlGiduFn saoSnd;
  AlGiduFn saoRcv;
  AlGiduFn sacfSnd;
  AlGiduFn sacfRcv;
  AlGiduFn aeUp;       // delivers an indication or confirm to the AE user
  AlExitFn aeDown;     // hands a presentation primitive to the presentation layer
  AlCvrtFn cvrtPpdu;   // received presentation primitive to ASE GIDUs
  AlCvrtFn cvrtApdu;   // ASE GIDUs to one presentation primitive
  AseInitFn saoInit;
  AseInitFn saoTerm;
};

inline constexpr uint32_t kSaoTag = 257;

extern const AsxEntry RDA_asxTBL[kRdaAsxRows];
extern const ActxEntry RDA_actxTBL[kRdaActxRows];
// Even indexes form the receive chain, odd ones the send chain.
extern const AlGiduFn RDA_sacfRouteTBL[kSacfRouteEntries];

extern const AlGiduFn routeRdaTbl[kSurRouteEntries];
extern const SurEventHndl eventHndl[2];
extern const AlSurConf AL_surConf;
