#include "src/rdaclient/rdacli_conf.h"

#include "common/charscpy.h"
#include "src/acse/al_trace.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/ps_trace.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_trace.h"
#include "src/rdaclient/clicnf.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"

namespace {

constexpr const char* kSrc = "src/rdacnf";

void ringInit(RdaCliLink* head) { head->next = head->prev = head; }

}  // namespace

TmHandle rda_cliTMHandle = -1;
TmHandle rda_AllTMHandle = -1;

TraceTblRow traceTBL[kTraceTblModules + 1] = {
    {"CLI : ", "cli", &rda_cliTMHandle, 0},   {"XM  : ", "xm", &xm_modCB, 0},
    {"RTP : ", "rtp", &rtp_TM_handle, 0},     {"PRES: ", "pres", &ps_TM_handle, 0},
    {"SESS: ", "sess", &sess_TM_handle, 0},   {"AL  : ", "al", &al_comTMHandle, 0},
    {"RDA : ", "rda", &rda_comTMHandle, 0},   {"SUR : ", "sur", &rda_surTMHandle, 0},
    {"AE  : ", "ae", &rda_aeTMHandle, 0},     {"SAO : ", "sao", &rda_saoTMHandle, 0},
    {"SACF: ", "sacf", &rda_sacfTMHandle, 0}, {"RASE: ", "rase", &rda_aseTMHandle, 0},
    {"ACSE: ", "acse", &ac_aseTMHandle, 0},   {"ALL: ", "All", &rda_AllTMHandle, 0},
    {nullptr, nullptr, nullptr, 0},
};

RdaCliConfInfo* allocConfInfo() {
  auto* c = static_cast<RdaCliConfInfo*>(_xm_allocItemWithTree(sizeof(RdaCliConfInfo), XM_ZERO));
  if (c == nullptr) return nullptr;
  c->tree = xm_getParentOfItem(c);
  c->error = 0;
  c->localAE = nullptr;
  c->transport = ul_charscpy(kConfDefaultTransport, c->tree);
  c->numBuffers = kConfDefaultBuffers;
  c->bufferSize = kConfDefaultBufferSize;
  c->fetchBlockSize = kConfDefaultFetchBlock;
  c->traceOutput = nullptr;
  c->logClose = 0;
  c->traceTbl = traceTBL;
  ringInit(&c->users);
  c->userCount = 0;
  c->rspTimeOut = 0;
  SrvrInfo& s = c->defaultServer;
  ringInit(&s.links);
  s.serverName = ul_charscpy(kConfDefaultServer, c->tree);
  s.control = kConfDefaultControl;
  s.fuMask = kConfDefaultFuMask;
  s.conformLevel = rda_xopenIntegrityYes;
  s.charSet = rda_xopenChar8859_1;
  s.usageMode = kConfDefaultUsageMode;
  s.rsrcName = nullptr;
  s.accessCtl = nullptr;
  if (c->transport == nullptr || s.serverName == nullptr) {
    _xm_freeTree(c->tree);
    return nullptr;
  }
  return c;
}

void deleteConfInfo() {
  RdaCliTLS* t = getRdaCliTLS(0);
  if (t == nullptr || t->confInfo == nullptr) return;
  _xm_freeTree(t->confInfo->tree);
  t->confInfo = nullptr;
}

int32_t createConfInfo(uint32_t* err) {
  uint32_t reason = RDA_ERR_NO_RESOURCE;
  RdaCliTLS* t = getRdaCliTLS(0);
  if (t != nullptr) {
    deleteConfInfo();
    t->confInfo = allocConfInfo();
    if (t->confInfo != nullptr) {
      if (RDA_cliInitConfInfo() != 0) return 1;
      if (t->confInfo->error != 0) reason = t->confInfo->error;
      deleteConfInfo();
    }
  }
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** createConfInfo: can't fill the configuration record, err=%u\n", reason);
  if (err != nullptr) *err = reason;
  return 0;
}

RdaCliConfInfo* QvGetRdaCliConfInfo() {
  RdaCliTLS* t = getRdaCliTLS(0);
  return t != nullptr ? t->confInfo : nullptr;
}
