// The environment-level cores.
#include "src/odbc/lmoenv.h"

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmoenv";

}  // namespace

int16_t lmoAllocEnv() {
  TR_TRACE(kSrc, htrODBC, 2, "lmoAllocEnv: Cannot allocate env. memory");
  return -1;
}

int16_t lmoFreeEnv() {
  LmoEnv* env = gLmoShareVars;
  if (env == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "lmoFreeEnv: Invalid Env handle");
    return -2;
  }
  lmoClearErrorList(&env->errors);
  lmoUnregister(env);
  gLmoShareVars = nullptr;
  delete env;
  return 0;
}

int16_t QVSQLAllocEnv(LmoEnv** out) {
  if (out == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLAllocEnv: Invalid Enviornment handle");
    return -2;
  }
  LmoEnv* env = gLmoShareVars;
  if (env == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLAllocEnv: Driver initialization had failed. Invalid global context.");
    return -1;
  }
  lmoClearErrorList(&env->errors);
  *out = env;
  return 0;
}

int16_t QVSQLFreeEnv(LmoEnv* env) {
  if (env == nullptr || !lmoIsLive(LmoKind::Env, env)) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLFreeEnv: Invalid Env handle");
    return -2;
  }
  lmoClearErrorList(&env->errors);
  return 0;
}
