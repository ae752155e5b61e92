// The environment-level cores.
#include "src/odbc/lmoenv.h"

#include <new>

#include "src/odbc/cores.h"
#include "src/odbc/dispatch.h"
#include "src/odbc/lmo.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmoenv";

}  // namespace

int16_t lmoAllocEnv() {
  auto* env = new (std::nothrow) LmoEnv{};
  if (env == nullptr || lmoRegister(LmoKind::Env, env) == 0) {
    delete env;
    TR_TRACE(kSrc, htrODBC, 2, "lmoAllocEnv: Cannot allocate env. memory");
    return -1;
  }
  env->self = env;
  // The client's environment starts the process's first stack instance.
  const int32_t r = rda_cliAllocEnv(&env->rdaEnv);
  if (r != 0) {
    if (env->rdaEnv != nullptr) rda_cliFreeEnv(env->rdaEnv);
    lmoUnregister(env);
    delete env;
    return static_cast<int16_t>(r);
  }
  env->odbcVersion = 3;
  gLmoShareVars = env;
  return 0;
}

int16_t lmoFreeEnv() {
  LmoEnv* env = gLmoShareVars;
  if (env == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "lmoFreeEnv: Invalid Env handle");
    return -2;
  }
  lmoClearErrorList(&env->errors);
  rda_cliFreeEnv(env->rdaEnv);
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

int16_t QVSQLAllocConnect(LmoEnv* env, LmoDbc** out) {
  if (out != nullptr) *out = nullptr;
  if (!lmoIsLive(LmoKind::Env, env)) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLAllocConnect: Invalid Env handle");
    return -2;
  }
  if (out == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLAllocConnect: Invalid hdbc handle");
    return -2;
  }
  int16_t result = -1;
  QvAllocConnectRequest request{env, out, &result};
  QvCreateClientThreadOrAllocConnect(&request);
  if (result != 0 && result != 1) TR_TRACE(kSrc, htrODBC, 2, "SQLAllocConnect: Thread can not allocate hdbc");
  return result;
}
