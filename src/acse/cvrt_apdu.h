// Conversion between the GIDUs of the application service elements and the
// presentation GIDUs that carry them.
//
// Downwards (AL_cvrtApdu), at the bottom of an association's SACF send pass:
// a service element's GIDU, one APDU under an AeHDR that names its
// presentation context and the presentation primitive to use, becomes one
// presentation GIDU (IDU type 20) whose PIDU carries that primitive and the
// APDU as a data element. The APDU's tree moves under the PIDU's, so it
// lives and dies with the presentation GIDU. An A-ASSOCIATE request or
// response and an A-RELEASE response also hand the presentation and session
// parameters they carry in their private part to the PIDU; that part never
// reaches the wire.
//
// Upwards (AL_cvrtPpdu), at the start of the receive pass: a presentation
// indication or confirm becomes one GIDU per received data element, typed
// by the element that owns its context, or, without user data, the
// presentation GIDU itself wrapped as IDU type 21. The ACSE APDUs of
// connection and release primitives get back the parameters of the
// primitive in their private part.
//
// Both conversions consume their input in every case. The GIDUs' uc is the
// association's SaoCB. Failures end in a local error for the user or in
// quick aborts of the association, sent through the SaoCB's SACF entries.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"

struct PIDU;

// The presentation GIDU of the service element's GIDU, or NULL (the input
// deleted, and a local error or quick aborts sent when the cause was not
// the input's type).
GIDU* AL_cvrtApdu(GIDU* gidu);
// The GIDUs of a presentation indication or confirm: the first of a ring
// linked through the queue links, in the order of the data elements; NULL
// when the primitive was consumed (deleted, refused or aborted).
GIDU* AL_cvrtPpdu(GIDU* gidu);

// Fills the PIDU's context definition list from the association's context
// table: the abstract-syntax index of the element under each odd context
// id it uses, -1 everywhere else.
void pcdl(PIDU* pidu, const GIDU* gidu);

// Sends the quick aborts of the GIDU's association with `osiError` and
// deletes the GIDU with its header when `deleteGidu` is set.
void quickAborts(GIDU* gidu, uint32_t osiError, int32_t deleteGidu);
// Deletes every GIDU of the ring `first` belongs to, with its header.
void purgeList(GIDU* first);
