// Construction of the GIDUs of the RDA service: a GIDU of IDU type 200 with
// an empty RDAIdu prepared for an event, the template GIDU that carries a
// connection's four references into every GIDU built for it, and the deep
// copies of authentication data and client invocation identifiers that the
// IDU builders share.
//
// A built GIDU belongs to the caller until it is handed on; its RDAIdu lives
// in a tree of its own under the GIDU's tree, so that deleting the GIDU
// (al_deleteGidu) frees the IDU and whatever the builders allocate in the
// IDU's tree (xm_getParentOfItem of the IDU).
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_event.h"

// A record of the GIDU layout, alone in an XM tree of its own, never sent:
// the reference GIDU of one connection or environment. Its owner frees it
// with al_deleteGidu.
using TemplateGidu = GIDU;

// A GIDU of type 200 for `event` with the references of `ref` (a GIDU or a
// TemplateGidu, or NULL) and a zeroed RDAIdu in its idu slot, large enough
// for either family. The tag is set from the event; for event 0 (Activate)
// it is private [99] and `body` gets the place of the AE identifier pointer;
// for tag [2], `body` gets NULL; otherwise opId is stored and `body` gets the
// request, result or error record (after outcome 0x4000 for a response,
// 0x4001 for an error response other than R-BeginTransaction's). `body` may
// be NULL. NULL when memory runs out (nothing left).
GIDU* rda_createGiduWithRdaIdu(const GIDU* ref, RdaEventCode event, int32_t opId, void** body);

// A GIDU of type 240 for the ACSE `event` (0x8000, 0x8012, 0x8020, 0x8032
// or 0x8040) with the references of `ref` and a zeroed AcseApdu in its idu
// slot, in a tree of its own under the GIDU's tree. The APDU's code follows
// from the event (AARQ, AARE, RLRQ, RLRE, ABRT); `body` (may be NULL) gets
// the place of its variant. NULL when memory runs out (nothing left).
GIDU* rda_createGiduWithApdu(const GIDU* ref, uint32_t event, void** body);

// Note the order: uc before pe. NULL when memory runs out; writes no trace.
TemplateGidu* rda_createTemplateGidu(void* ue, void* uc, void* pe, void* pc);
void rda_updateTemplateGidu(TemplateGidu* tmpl, void* ue, void* uc, void* pe, void* pc);

// Deep copy of authentication (or access-control) data, the value's storage
// from `tree`. The choice code is always copied; 1, or 0 for an unknown
// code or when memory runs out.
int32_t rda_copyAuthData(RDAAuthData* dst, const RDAAuthData* src, XmTree* tree);
int32_t rda_copyAccessCntlData(RDAAccessCntlData* dst, const RDAAccessCntlData* src, XmTree* tree);

// Copies a client invocation identifier, the AP title's arcs into `tree`.
// 0 (dst untouched) for a directory-name AP title or an RDN AE qualifier,
// which are not supported; else 1, or 0 when memory runs out.
int32_t rda_copyClientInvocId(RDADlgIDClientInvoc* dst, const RDADlgIDClientInvoc* src, XmTree* tree);
