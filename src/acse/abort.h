// Aborts of an association towards both sides, and the emptying of GIDU
// queues.
//
// An orderly abort builds a fresh ACSE A-ABORT request for the provider and
// an A-P-ABORT indication for the user. A quick abort sends the two GIDUs
// the SaoCB reserved when it was made (event 6 "QABORT"), so it works when
// no memory is left; each is sent at most once in the SaoCB's life, and
// every quick abort marks the SaoCB delete pending.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"

struct SaoCB;

// An A-ABORT request (IDU type 240, event 0x8040) with the references of
// `gidu` (or none), one header of `origin` under the association's ACSE
// context, and an ABRT of the service provider. NULL when it cannot be
// made (traced).
GIDU* AL_aeCreateAAbortReq(const GIDU* gidu, const SaoCB* sao, uint32_t origin);
// An A-P-ABORT indication (IDU type 240, event 0x48054) alike, carrying an
// ACSE provider-abort record.
GIDU* AL_aeCreateAPAbortInd(const GIDU* gidu, const SaoCB* sao, uint32_t origin);

// Passes a new A-ABORT request to `providerFn` and a new A-P-ABORT
// indication to `userFn` (each when given); falls back to quick aborts with
// 53009 when one cannot be made. `gidu` stays with the caller.
void AL_aeSendAAborts(SaoCB* sao, const GIDU* gidu, AlGiduFn userFn, AlGiduFn providerFn, uint32_t origin);
// Marks the SaoCB delete pending and passes its unspent quick-abort request
// to `providerFn` and its unspent quick-abort indication to `userFn`, with
// `errNo` and the references and IDU type of `gidu` (without one, pc the
// SaoCB). `gidu` stays with the caller.
void AL_aeSendQuickAborts(SaoCB* sao, const GIDU* gidu, AlGiduFn userFn, AlGiduFn providerFn, uint32_t errNo);

// Delete every GIDU of the queue (a sentinel), the first with its top
// header popped first.
void AL_aePurgeGiduQ(GIDU* queue);
void al_purgeGiduQ(GIDU* queue);
