#include "support/thread_records.h"

#include "src/odbc/alltls.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/buffer_pool.h"
#include "src/session/session.h"
#include "src/session/sessiontls.h"
#include "src/session/tp0tcp.h"

ThreadRecords::ThreadRecords(const std::string& iniFile, const Options& options, TpLocalAddr* local,
                             uint32_t* result) {
  *result = 1;
  const Tp0ThreadHooks hooks{QvIsMainThread, QvCreateThreadOrAcceptConnection};
  tp0tcp_setThreadHooks(&hooks);
  ok_ = QvCreateAllTLS() == 1 && xm_init() != nullptr && init_buffers(options.poolBuffers, options.poolSize) == 1 &&
        qv_setInfo(QV_INFO_INIFILE, 0, iniFile.c_str()) == 1;
  if (!ok_) return;
  StpParams* p = QvGetStpParams();
  p->listenQLen = options.listenQueue;
  p->tpduSize = options.tpduSize;
  p->processLimit = options.processLimit;
  p->addressSelection = 0;
  if (options.adjust) options.adjust(p);
  *result = init_session(local);
  if (*result == 0 && options.listenQueue > 0) *result = s_attach_transport("TP0TCP");
  QvGetStpParams()->pollWait = 0;
  started_ = *result == 0;
}

ThreadRecords::~ThreadRecords() {
  if (started_) term_session();
  if (ok_) close_buffers();
  xm_shutdown();
  QvRemoveAllTLS();
}
