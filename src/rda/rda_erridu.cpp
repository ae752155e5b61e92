// Error GIDUs of the RDA service and the readers of received errors.
#include "src/rda/rda_erridu.h"

#include "common/charscpy.h"
#include "src/acse/al_trace.h"
#include "src/rda/rda_buildutil.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdaerr";

// The error event that answers a failing primitive, and its service.
struct Answer {
  RdaEventCode event;
  uint32_t service;
};

// The service is the failing primitive's own, whichever family its event is
// of; a primitive of the local user (a request or response as issued) is
// answered by an error confirm, any other by an error response.
bool answerOf(const GIDU* failing, Answer* a) {
  const uint32_t n = al_serviceOf(failing->event);
  if (n >= 3 * RDA_SERVICES) return false;
  a->service = n % RDA_SERVICES;
  const uint32_t low = failing->event & 0x800F;
  const bool local = al_isPrimitive(failing->event) && failing->iduType != AL_IDU_PRES &&
                     failing->iduType != AL_IDU_PRES_RCV && (low == 0x8000 || low == 0x8002);
  a->event = rdaErrorEvent(a->service) + (local ? AL_EV_DELIVERED : 0);
  return true;
}

int32_t opIdOf(const GIDU* g) {
  const auto* idu = static_cast<const RDAIdu*>(g->idu);
  if (idu == nullptr || idu->tag == RDA_EMPTY || idu->tag == RDA_EMPTY_PRIVATE || idu->tag == RDA_ACTIVATE_REQ)
    return 0;
  return idu->term_RI.opId;  // every request and response record begins with it
}

// Builds the error GIDU for `number` whose value for service k is
// table[row][k] (no table: none).
GIDU* errIdu(const char* fn, GIDU* failing, uint32_t number, const uint32_t (*table)[RDA_SERVICES], uint32_t rows,
             uint32_t row, const void* diag, bool withParam) {
  AL_TRACE_GIDU(rda_comTMHandle, 0x80, kSrc, fn, failing, 1);
  if (failing == nullptr) return nullptr;
  Answer a{};
  if (!answerOf(failing, &a)) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: event %x is no RDA service\n", fn, failing->event);
    return nullptr;
  }
  uint32_t value = row < rows ? table[row][a.service] : 0;
  RDAErrDiag substitute{};
  if (value == 0) {
    // The service cannot carry this error: "operation aborted" with the
    // number as diagnostic, or, where not even that is allowed, the
    // association is quick-aborted, so that the peer is not left waiting.
    const uint32_t aborted = rda_genErrStateTbl[RDA_GENERR_OP_ABORTED][a.service];
    if (aborted == 0) {
      TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: service %u cannot carry error %u: quick abort\n", fn, a.service,
               number);
      GIDU* q = al_createGidu(failing, AL_IDU_RDA, AL_QABORT);
      if (q == nullptr) {
        TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: can't create gidu\n", fn);
        return nullptr;
      }
      al_deleteGidu(failing);
      return q;
    }
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: service %u cannot carry error %u: sent as operation aborted\n", fn,
             a.service, number);
    substitute.mask = 0x01;
    substitute.code = static_cast<int32_t>(number);
    value = aborted;
    number = RDA_GENERR_OP_ABORTED;
    diag = &substitute;
    withParam = true;
  }

  void* body = nullptr;
  GIDU* g = rda_createGiduWithRdaIdu(failing, a.event, opIdOf(failing), &body);
  if (g == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: can't create rdaIdu\n", fn);
    return nullptr;
  }
  auto* err = static_cast<RDAErr*>(body);
  err->code = value;
  if (withParam && copyDiagInfo(err, diag, rda_iduTree(g), number) == 0) {
    char name[AL_EVENT_TEXT_SIZE] = "";
    al_traceEvent(failing, name);
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: can't copy diagnostic info for %s\n", fn, name);
    al_deleteGidu(g);
    al_deleteGidu(failing);
    return nullptr;
  }
  al_deleteGidu(failing);
  return g;
}

// The response fields of an IDU record of one family, by its tag.
template <class Idu>
bool rcFieldsOf(Idu* idu, RdaRcFields* out) {
  switch (idu->tag) {
#define RDA_RC_CASE(tag, member)                             \
  case tag:                                                  \
    *out = {&idu->member.opId, &idu->member.outcome, &idu->member.error}; \
    return true;
    RDA_RC_CASE(RDA_INIT_RC, init_RC)
    RDA_RC_CASE(RDA_TERM_RC, term_RC)
    RDA_RC_CASE(RDA_COMMIT_RC, commit_RC)
    RDA_RC_CASE(RDA_ROLLBACK_RC, rollback_RC)
    RDA_RC_CASE(RDA_CANCEL_RC, cancel_RC)
    RDA_RC_CASE(RDA_STATUS_RC, status_RC)
    RDA_RC_CASE(RDA_OPEN_RC, open_RC)
    RDA_RC_CASE(RDA_CLOSE_RC, close_RC)
    RDA_RC_CASE(RDA_EXECDBL_RC, execDBL_RC)
    RDA_RC_CASE(RDA_DEFINEDBL_RC, defineDBL_RC)
    RDA_RC_CASE(RDA_INVOKEDBL_RC, invokeDBL_RC)
    RDA_RC_CASE(RDA_DROPDBL_RC, dropDBL_RC)
#undef RDA_RC_CASE
    case RDA_BGNTRANS_RC:  // always an error, without an outcome word
      *out = {&idu->bgnTrans_RC.opId, nullptr, &idu->bgnTrans_RC.error};
      return true;
    default:
      return false;
  }
}

uint32_t readErr(const char* fn, const GIDU* g, uint32_t (*ofValue)(uint32_t)) {
  AL_TRACE_GIDU(rda_comTMHandle, 0x80, kSrc, fn, g, 1);
  if (g == nullptr || g->idu == nullptr || g->iduType != AL_IDU_RDA) return 0;
  // A GIDU does not say its family; the error records lie alike in both
  // (rda_rcError reads either through its own record).
  const RDAErr* err = rda_rcError(g->idu, RdaFamily::Iso);
  return err != nullptr ? ofValue(err->code) : 0;
}

}  // namespace

bool rda_rcFields(void* idu, RdaFamily family, RdaRcFields* out) {
  if (idu == nullptr || out == nullptr) return false;
  return family == RdaFamily::Xopen ? rcFieldsOf(static_cast<RDAXOPENIdu*>(idu), out)
                                    : rcFieldsOf(static_cast<RDAIdu*>(idu), out);
}

const RDAErr* rda_rcError(const void* idu, RdaFamily family) {
  RdaRcFields f{};
  if (!rda_rcFields(const_cast<void*>(idu), family, &f)) return nullptr;
  if (f.outcome != nullptr && *f.outcome != RDA_OUTCOME_ERROR) return nullptr;
  return f.error;
}

int32_t copyDiagInfo(RDAErr* err, const void* diag, XmTree* tree, uint32_t number) {
  switch (number) {
    case RDA_GENERR_DATA_RSRC_OPEN:
      if (diag == nullptr) return 0;
      err->alreadyOpen.handle = *static_cast<const int32_t*>(diag);
      return 1;
    case RDA_GENERR_INV_SEQUENCE:
      err->invSequence = diag != nullptr ? *static_cast<const RDAInvSequence*>(diag) : RDAInvSequence{};
      err->invSequence.mask &= 0x01;
      return 1;
    case RDA_GENERR_DATA_RSRC_NOT_AVAIL:
    case RDA_GENERR_OP_ABORTED: {
      err->diag = RDAErrDiag{};
      if (diag == nullptr) return 1;
      const auto* d = static_cast<const RDAErrDiag*>(diag);
      err->diag.mask = d->mask & 0x01;
      err->diag.code = d->code;
      if ((d->mask & 0x02) != 0 && d->text != nullptr) {
        err->diag.mask |= 0x02;
        err->diag.text = ul_charscpy(d->text, tree);
        if (err->diag.text == nullptr) {
          TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** copyDiagInfo: can't create diagnostic Info for opAborted error\n");
          return 0;
        }
      }
      return 1;
    }
    default:
      return 1;
  }
}

GIDU* rda_createGenErrIdu(GIDU* failing, uint32_t number, const void* diag) {
  return errIdu("rda_createGenErrIdu", failing, number, rda_genErrStateTbl, RDA_GEN_ERR_ROWS, number, diag, true);
}

GIDU* rda_createSQLErrIdu(GIDU* failing, uint32_t number, const void* diag) {
  if (number < RDA_SQL_ERR_FIRST) return rda_createGenErrIdu(failing, number, diag);
  return errIdu("rda_createSQLErrIdu", failing, number, rda_sqlErrStateTbl, RDA_SQL_ERR_ROWS,
                number - RDA_SQL_ERR_FIRST, nullptr, false);
}

uint32_t rda_getGenErr(const GIDU* gidu) { return readErr("rda_getGenErr", gidu, rda_genErrOfValue); }

uint32_t rda_getSQLErr(const GIDU* gidu) { return readErr("rda_getSQLErr", gidu, rda_sqlErrOfValue); }
