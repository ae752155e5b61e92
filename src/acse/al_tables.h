// The table types that configure an application entity: its application
// service elements with their abstract syntaxes (the ASE table) and its
// application contexts, each with the routines of an association's SAO,
// SACF and exits. The application layer works through these rows; the
// service on top (src/rda/rda_asx.h) provides the constant tables.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/asn1/ber_runtime.h"

struct SaoCB;
struct PctxEntry;

// Rows an ASE table and an application-context table hold at most, their
// end row (arc count 0) included.
inline constexpr int32_t kAsxMaxRows = 15;
inline constexpr int32_t kActxMaxRows = 5;

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
  // OSI error of the quick aborts that end an association on which a GIDU
  // names a context of no service element (or an element without the entry).
  uint32_t badContextError;
};
