// Transactions of the ODBC layer: commit and rollback on a connection or
// over the environment, and the application's start of a transaction.
#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/rdaclient/rdacli_trans.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmotrans";
constexpr int32_t kErrBadCompletion = 59;  // S1012

}  // namespace

int16_t QVSQLTransact(LmoEnv* env, LmoDbc* dbc, uint16_t completion) {
  LmoDbc* d = lmoLiveDbc(dbc);
  LmoEnv* e = lmoLiveEnv(env);
  if ((dbc != nullptr && d == nullptr) || (env != nullptr && e == nullptr) || (d == nullptr && e == nullptr)) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLTransact: Invalid handle");
    return -2;
  }
  LmoErrorList* list = d != nullptr ? &d->errors : &e->errors;
  lmoClearErrorList(list);
  if (completion >= 2) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLTransact: Invalid option");
    // Without a connection the environment's list takes it.
    lmoAddError(list, kErrBadCompletion, 0, nullptr);
    return -1;
  }
  return static_cast<int16_t>(rda_cliTransact(e != nullptr ? e->rdaEnv : nullptr, d != nullptr ? d->rdaDbc : nullptr,
                                              static_cast<int16_t>(completion)));
}

int16_t QVSQLStartTransaction(LmoDbc* dbc) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLStartTransaction: Invalid hdbc handle");
    return -2;
  }
  lmoClearErrorList(&d->errors);
  return static_cast<int16_t>(rda_cliStartTransaction(d->rdaDbc));
}
