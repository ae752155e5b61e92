#include "src/rdaclient/rdacli_init.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/qvcrypt.h"
#include "common/timer2.h"
#include "src/acse/al_psap.h"
#include "src/presentation/ps_ssu.h"
#include "src/presentation/users.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_perror.h"
#include "src/rda/rda_sur.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/dif.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/ul_names.h"
#include "src/runtime/xm.h"
#include "src/session/buffer_pool.h"
#include "src/session/sessiontls.h"
#include "src/session/tp0addr.h"

namespace {

constexpr const char* kSrc = "src/rdacli_init";
constexpr const char* kDefaultTrace = "qvstart.log";
constexpr uint32_t kStartupMask = TM_FATAL | TM_SNO;

// What one start-up has started, so that a failure takes exactly that down
// again.
struct Started {
  bool traceManager = false;
  bool table = false;
  int32_t modules = 0;  // rows of traceTBL registered
  bool records = false;
  bool buffers = false;
  bool session = false;
  bool presentation = false;
  bool accessPoint = false;
  bool ae = false;
  bool sur = false;
};

void closeModules(int32_t rows) {
  for (int32_t i = 0; i < rows && i < kTraceTblModules; ++i) {
    tm_close(*traceTBL[i].handle);
    *traceTBL[i].handle = -1;
  }
}

void forgetPaddress() { gQvPaddress = UL_Paddress{}; }

void undo(const Started& s, RdaCliTLS* t, int32_t mode) {
  if (s.sur) (void)gRdaCliStackOps->surTerm();
  if (s.ae) (void)gRdaCliStackOps->aeTerm();
  if (s.accessPoint) (void)gRdaCliStackOps->sDeactivate(&t->accessPoint);
  if (s.presentation) {
    init_pmgmt();
    forgetPaddress();
  }
  if (s.session) term_session();
  if (s.buffers) (void)close_buffers();
  if (s.records) {
    deleteSrvrInfo();
    deleteConfInfo();
  }
  if (mode == RDA_CLI_MODE_FIRST) {
    closeModules(s.modules);
    if (s.table) rda_freeErrorStateTable();
    if (s.traceManager) tm_shutdown();
  }
}

const char* errName(uint32_t err, char* buffer) { return rda_printError(err, buffer); }

// The start-up trace file: DEFAULT_TRACE_OUTPUT when it is set and fits.
bool startupTraceName() {
  const char* env = std::getenv("DEFAULT_TRACE_OUTPUT");
  const bool fits = env == nullptr || std::strlen(env) < sizeof gszRdaCliStartupTrace;
  std::strcpy(gszRdaCliStartupTrace, env != nullptr && fits ? env : kDefaultTrace);
  return fits;
}

// A selector of `len` octets into the configuration record's tree.
bool setSelector(OctStgV* sel, const uint8_t* octets, uint32_t len, XmTree* tree) {
  uint8_t* copy = nullptr;
  if (len > 0) {
    copy = static_cast<uint8_t*>(_xm_allocItem(tree, len, 0));
    if (copy == nullptr) return false;
    std::memcpy(copy, octets, len);
  }
  *sel = OctStgV{len, copy};
  return true;
}

}  // namespace

UL_Paddress gQvPaddress{};
char gpLumaroInitFile[kLumaroInitFileSize] = "";
int32_t giRdaStmtOptimizeLevel = 73;
char gszRdaCliStartupTrace[TM_FILE_NAME_SIZE] = "";

const RdaCliStackOps kRdaCliStackOps = {s_activate, s_deactivate, rda_aeInit, rda_surInit, rda_aeTerm, rda_surTerm};
const RdaCliStackOps* gRdaCliStackOps = &kRdaCliStackOps;

int32_t RDA_cliDuvikInit(uint32_t* err, int32_t mode) {
  uint32_t dummy = 0;
  if (err == nullptr) err = &dummy;
  char name[kRdaErrorNameSize] = "";
  Started s;

  // 1. The thread's records and its memory root.
  RdaCliTLS* t = getRdaCliTLS(0);
  StpParams* stp = QvGetStpParams();
  if (t == nullptr || stp == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: the thread has no record set\n");
    *err = RDA_ERR_NO_RESOURCE;
    return 0;
  }
  dif_init_local();
  if (xm_init() == nullptr) {
    *err = RDA_ERR_NO_RESOURCE;
    return 0;
  }

  // 2. The trace manager and the SQLSTATE table, once per process.
  if (mode == RDA_CLI_MODE_FIRST) {
    s.traceManager = tmNumModules.load(std::memory_order_acquire) == 0;
    tm_init(kTraceTblModules);
    const bool had = sQLStateTBL != nullptr;
    if (rda_initErrorStateTable() == 0) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: Error initializing the error message module\n");
      *err = RDA_ERR_NO_RESOURCE;
      undo(s, t, mode);
      return 0;
    }
    s.table = !had;
  }

  // 3-4. The start-up trace: every module at fatal and system errors.
  const bool nameFits = startupTraceName();
  TraceTblRow& all = traceTBL[kTraceTblAll];
  all.mask = kStartupMask;
  for (int32_t i = 0; i < kTraceTblModules; ++i) traceTBL[i].mask = all.mask;
  if (mode == RDA_CLI_MODE_FIRST) {
    tm_output(gszRdaCliStartupTrace, 1, 0);
    for (int32_t i = 0; i < kTraceTblModules; ++i) {
      const TraceTblRow& row = traceTBL[i];
      *row.handle = tm_open(row.prefix, row.optName);
      if (*row.handle == -1) {
        *err = RDA_ERR_TRACE_MODULE;
        undo(s, t, mode);
        return 0;
      }
      ++s.modules;
      tm_setMask(*row.handle, row.mask);
    }
  }
  all.mask = 0;
  if (!nameFits)
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: DEFAULT_TRACE_OUTPUT is too long, %s is used\n",
             kDefaultTrace);
  TM_TRACE(rda_cliTMHandle, 2, kSrc, "RDA_cliDuvikInit(): starting the RDA client stack, mode %d\n", mode);

  // 5-7. The configuration record and the server list.
  qv_getInfo(QV_INFO_INIFILE, 0, gpLumaroInitFile, sizeof gpLumaroInitFile, rda_cliTMHandle);
  if (createConfInfo(err) == 0) {
    undo(s, t, mode);
    return 0;
  }
  s.records = true;
  if (createSrvrInfo(err) == 0) {
    undo(s, t, mode);
    return 0;
  }
  RdaCliConfInfo* conf = t->confInfo;

  // 8. The configured trace.
  if (mode == RDA_CLI_MODE_FIRST) {
    // An empty name would mean standard error: the start-up file stays.
    if (conf->traceOutput != nullptr && conf->traceOutput[0] != '\0') tm_output(conf->traceOutput, 1, conf->logClose);
    if (all.mask != 0)
      for (int32_t i = 0; i < kTraceTblModules; ++i) traceTBL[i].mask |= all.mask;
    for (int32_t i = 0; i < kTraceTblModules; ++i)
      if (traceTBL[i].mask != 0) tm_setMask(*traceTBL[i].handle, traceTBL[i].mask);
    tm_traceConfigInfo(0);
  }

  // 9-11. Optimisation level, buffer pool, transport parameters.
  giRdaStmtOptimizeLevel = qv_getInfo(QV_INFO_RDASTMTOPTIMIZELEVEL, 0, nullptr, 0, rda_cliTMHandle);
  if (init_buffers(static_cast<int32_t>(conf->numBuffers), static_cast<int32_t>(conf->bufferSize)) != 1) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't initialize buffers of %u bytes\n",
             conf->bufferSize);
    *err = S_NO_BUFFER;
    undo(s, t, mode);
    return 0;
  }
  s.buffers = true;
  UL_Paddress& local = conf->localAE->pAddress;
  t->sessParams = TpLocalAddr{};
  if ((local.mask & UL_PADDR_TSEL) != 0 && local.tSel.octets != nullptr) {
    t->sessParams.tsap.len = local.tSel.length < kTsapMaxLen ? local.tSel.length : kTsapMaxLen;
    std::memcpy(t->sessParams.tsap.sel, local.tSel.octets, t->sessParams.tsap.len);
  }
  stp->listenQLen = 0;
  stp->tpduSize = static_cast<uint32_t>(GetPrivateProfileInt("CLIENT", "tpduSize", 2048, gpLumaroInitFile));
  stp->addressSelection = static_cast<uint32_t>(qv_getInfo(QV_INFO_ADDRESSSELECTION, 0, nullptr, 0, rda_cliTMHandle));

  // 12-13. Session layer and transport.
  if (const uint32_t r = init_session(&t->sessParams); r != 0) {
    *err = r;
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't initialize session, err=%s\n", errName(r, name));
    undo(s, t, mode);
    return 0;
  }
  s.session = true;
  if (const uint32_t r = s_attach_transport(conf->transport); r != 0) {
    *err = r;
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't attach to %s, err=%s\n", conf->transport,
             errName(r, name));
    undo(s, t, mode);
    return 0;
  }
  if (t->sessParams.tsap.len > 0 && t->sessParams.tsap.len <= kTsapMaxLen &&
      setSelector(&local.tSel, t->sessParams.tsap.sel, t->sessParams.tsap.len, conf->tree))
    local.mask |= UL_PADDR_TSEL;

  // 14. Presentation: the first instance sets the layer up, the others take
  // its address.
  if (mode == RDA_CLI_MODE_FIRST) {
    if (init_presentation(&local, nullptr, nullptr, nullptr) == 0) {
      *err = static_cast<uint32_t>(QvGetOsiError());
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't initialize presentation, err=%s\n",
               errName(*err, name));
      undo(s, t, mode);
      return 0;
    }
    s.presentation = true;
    if (al_copyPSAP(&gQvPaddress, &local, conf->tree) == nullptr) {
      *err = RDA_ERR_NO_RESOURCE;
      undo(s, t, mode);
      return 0;
    }
  } else if (al_copyPSAP(&local, &gQvPaddress, conf->tree) == nullptr) {
    *err = RDA_ERR_NO_RESOURCE;
    undo(s, t, mode);
    return 0;
  }

  // 15. The presentation layer as the session user of the selector.
  t->accessPoint = SSAPaddr{};
  if ((local.mask & UL_PADDR_SSEL) != 0 && local.sSel.octets != nullptr) {
    t->accessPoint.ssap.len = static_cast<uint8_t>(local.sSel.length < kSsapMaxLen ? local.sSel.length : kSsapMaxLen);
    std::memcpy(t->accessPoint.ssap.sel, local.sSel.octets, t->accessPoint.ssap.len);
  }
  if (gRdaCliStackOps->sActivate(&t->accessPoint, ps_ssu) != 1) {
    *err = QvGetSessionError();
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't activate session\n");
    undo(s, t, mode);
    return 0;
  }
  s.accessPoint = true;

  // 16. The transport's random generator.
  if (mode == RDA_CLI_MODE_FIRST) qvsrand(static_cast<uint32_t>(std::time(nullptr)));

  // 17. Application entity and service user.
  if (gRdaCliStackOps->aeInit() == 0) {
    *err = static_cast<uint32_t>(QvGetOsiError());
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't initialize AE, osi_errno=%s\n", errName(*err, name));
    undo(s, t, mode);
    return 0;
  }
  s.ae = true;
  if (gRdaCliStackOps->surInit() == 0) {
    *err = static_cast<uint32_t>(QvGetOsiError());
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't initialize SUR, osi_errno=%s\n",
             errName(*err, name));
    undo(s, t, mode);
    return 0;
  }
  s.sur = true;

  // 18. Packet encryption; the character modes cached.
  if (mode == RDA_CLI_MODE_FIRST && qvcrypt_init(rda_cliTMHandle) == 0) {
    *err = static_cast<uint32_t>(QvGetOsiError());
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikInit: can't initialize packet encryption\n");
    undo(s, t, mode);
    return 0;
  }
  (void)qv_getInfo(QV_INFO_8BITCHARACTER, 0, nullptr, 0, rda_cliTMHandle);
  (void)qv_getInfo(QV_INFO_UTF8MODE, 0, nullptr, 0, rda_cliTMHandle);
  TM_TRACE(rda_cliTMHandle, 2, kSrc, "RDA_cliDuvikInit(): RDA client stack started, mode %d\n", mode);
  return 1;
}

void RDA_cliDuvikTerm(int32_t mode) {
  char name[kRdaErrorNameSize] = "";
  RdaCliTLS* t = getRdaCliTLS(0);
  if (t == nullptr) return;
  if (gRdaCliStackOps->sDeactivate(&t->accessPoint) != 1) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikTerm: can't deactivate session\n");
    return;
  }
  if (mode == RDA_CLI_MODE_FIRST && qvcrypt_exit(rda_cliTMHandle) == 0)
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikTerm: Error terminating qvcrypt\n");
  term_session();
  if (gRdaCliStackOps->aeTerm() == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikTerm: can't terminate AE, osi_errno=%s\n",
             errName(static_cast<uint32_t>(QvGetOsiError()), name));
    return;
  }
  if (gRdaCliStackOps->surTerm() == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliDuvikTerm: can't terminate SUR, osi_errno=%s\n",
             errName(static_cast<uint32_t>(QvGetOsiError()), name));
    return;
  }
  TM_TRACE(rda_cliTMHandle, 2, kSrc, "RDA_cliDuvikTerm(): RDA client stack stopped, mode %d\n", mode);
  if (mode == RDA_CLI_MODE_FIRST) {
    for (int32_t i = 0; i < kTraceTblAll; ++i) {
      if (traceTBL[i].mask == 0) continue;
      tm_close(*traceTBL[i].handle);
      *traceTBL[i].handle = -1;
    }
  }
  (void)close_buffers();
  // Its octets go with the configuration record.
  if (mode == RDA_CLI_MODE_FIRST) forgetPaddress();
  deleteSrvrInfo();
  deleteConfInfo();
  if (mode == RDA_CLI_MODE_FIRST) {
    rda_freeErrorStateTable();
    tm_shutdown();
    for (int32_t i = 0; i < kTraceTblModules; ++i) *traceTBL[i].handle = -1;
  }
  xm_shutdown();
}
