// RDA errors: the internal error numbers of the service, the tables that turn
// a number into the error value the failing service may carry, and the
// readers that turn a received value back into a number.
//
// Numbers: 0 no error, 1..24 generic RDA errors, 100..110 errors of the SQL
// specialization. Values: 8192 + n for the error [APPLICATION n].
#pragma once

#include <cstdint>

#include "src/asn1/rda_codec.h"

inline constexpr uint32_t RDA_SERVICES = 13;      // R-Initialize (0) .. R-DropDBL (12)
inline constexpr uint32_t RDA_GEN_ERR_ROWS = 25;  // numbers 0..24
inline constexpr uint32_t RDA_SQL_ERR_FIRST = 100;
inline constexpr uint32_t RDA_SQL_ERR_ROWS = 11;  // numbers 100..110
inline constexpr uint32_t RDA_NO_SERVICE = 255;

// Generic error numbers with a parameter or a special use.
inline constexpr uint32_t RDA_GENERR_DATA_RSRC_NOT_AVAIL = 9;  // ErrDiag
inline constexpr uint32_t RDA_GENERR_DATA_RSRC_OPEN = 10;      // the open handle
inline constexpr uint32_t RDA_GENERR_INV_SEQUENCE = 17;        // InvSequence
inline constexpr uint32_t RDA_GENERR_OP_ABORTED = 19;          // ErrDiag

// [number][service]: the value the service carries for the number, 0 where
// its error list has none.
extern const uint32_t rda_genErrStateTbl[RDA_GEN_ERR_ROWS][RDA_SERVICES];
extern const uint32_t rda_sqlErrStateTbl[RDA_SQL_ERR_ROWS][RDA_SERVICES];
// [value - 8192] for the generic values 8192..8214: the number.
extern const uint32_t rda_genErrInvTbl[23];

// The service k of an error response (0x81A2 + 16k) or error confirm
// (0x81A6 + 16k), RDA_NO_SERVICE for every other code (bit 0 and the bits
// above the low 15 are not looked at).
uint32_t rda_errEventService(uint32_t event);

// The number a generic value names; 0 for any other value.
uint32_t rda_genErrOfValue(uint32_t value);
// The number a generic or SQL value names. A value outside both ranges
// names "operation aborted" (19), so that an error never reads as none.
uint32_t rda_sqlErrOfValue(uint32_t value);

// ---------------------------------------------------------------------------
// Error GIDUs.

struct GIDU;
struct XmTree;

// The error GIDU that answers the failing primitive: an error confirm
// (0x81A6 + 16k) for a request or response of the local user, else an
// error response to the peer (0x81A2 + 16k), k the failing primitive's
// service, with the references and operation identifier of the failing
// GIDU, which is deleted. `diag` by number: 10 a pointer to the u32 open
// handle; 9 and 19 an RDAErrDiag; 17 an RDAInvSequence; ignored otherwise.
// A number the service's error list cannot carry is sent as "operation
// aborted" (19) with the number as its diagnostic; where the list has no
// room for that either (R-Commit, R-Rollback), the result is a quick-abort
// request (local event 6) for the same association. NULL on failure: the
// failing GIDU is kept when no GIDU could be made, deleted too when the
// diagnostic could not be copied.
GIDU* rda_createGenErrIdu(GIDU* failing, uint32_t number, const void* diag);
// Numbers below 100 as rda_createGenErrIdu; 100..110 the SQL errors, which
// carry no parameter.
GIDU* rda_createSQLErrIdu(GIDU* failing, uint32_t number, const void* diag);

// The number of a received response or confirm: 0 for a result; for an
// error the generic number (rda_genErrOfValue) or, with the SQL values,
// rda_sqlErrOfValue. A GIDU without an RDA response gives 0.
uint32_t rda_getGenErr(const GIDU* gidu);
uint32_t rda_getSQLErr(const GIDU* gidu);

// ---------------------------------------------------------------------------
// Response records.

// The two families of RDA messages: ISO (RDAIdu) and X/Open (RDAXOPENIdu).
enum class RdaFamily : uint32_t { Iso = 0, Xopen = 1 };

// Where the response alternative of an IDU keeps its fields in the record
// of its family: the operation identifier, the outcome word (NULL for the
// R-BeginTransaction response, which is always an error and has none) and
// the error record.
struct RdaRcFields {
  int32_t* opId;
  uint32_t* outcome;
  RDAErr* error;
};
// The fields of the response alternative `idu` (an RDAIdu or RDAXOPENIdu
// by `family`) holds, chosen by its tag; false, `out` untouched, for a
// request or any alternative that is no response, or a NULL IDU.
bool rda_rcFields(void* idu, RdaFamily family, RdaRcFields* out);
// The error record of an error response; NULL for a result, for anything
// that is no response and for a NULL IDU.
const RDAErr* rda_rcError(const void* idu, RdaFamily family);

// Fills the parameter of error `number` in `err` from `diag` (see
// rda_createGenErrIdu), a text into `tree`. 1, or 0 when the text cannot be
// copied or the open handle is missing.
int32_t copyDiagInfo(RDAErr* err, const void* diag, XmTree* tree, uint32_t number);
