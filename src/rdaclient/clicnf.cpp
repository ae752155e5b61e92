// The client configuration record filled from the configuration.
#include "src/rdaclient/clicnf.h"

#include "common/charscpy.h"
#include "src/asn1/ul_types.h"
#include "src/rda/rda_errno.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/runtime/dif.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/tp0addr.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/clicnf";
constexpr int32_t kValueSize = 127;
constexpr const char* kLocalName = "qvclient";

int32_t noResource(RdaCliConfInfo* c) {
  c->error = RDA_ERR_NO_RESOURCE;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliIniParse: no memory for the configuration record\n");
  return 1;
}

// A text value of the configuration copied into the record's tree.
int32_t copyText(RdaCliConfInfo* c, int32_t type, char** field) {
  char value[kValueSize] = "";
  qv_getInfo(type, 0, value, sizeof value, rda_cliTMHandle);
  char* copy = ul_charscpy(value, c->tree);
  if (copy == nullptr) return noResource(c);
  *field = copy;
  return 0;
}

uint32_t intValue(int32_t type) { return static_cast<uint32_t>(qv_getInfo(type, 0, nullptr, 0, rda_cliTMHandle)); }

}  // namespace

int32_t confAddUser(RdaCliConfInfo* c, const char* name) {
  auto* user = static_cast<RdaUser*>(_xm_allocItem(c->tree, sizeof(RdaUser), XM_ZERO));
  if (user == nullptr) return noResource(c);
  user->name = ul_charscpy(name, c->tree);
  if (user->name == nullptr) {
    _xm_freeItem(user);
    return noResource(c);
  }
  RdaCliLink* head = &c->users;
  user->links.next = head;
  user->links.prev = head->prev;
  head->prev->next = &user->links;
  head->prev = &user->links;
  ++c->userCount;
  return 0;
}

namespace {

using Accessor = int32_t (*)(RdaCliConfInfo*);

constexpr Accessor kAccessors[] = {
    GetTraceOutput, GetTransport,    GetLocalName,  GetNumOfBuffers, GetBufferSize,
    GetFetchBlockSize, GetRDAUserName, GetRspTimeOut, GetServerName, GetControl,
    GetConformLevel, GetCharSet,     GetUsageMode,  GetRsrcName,
};

}  // namespace

int32_t RDA_cliInitConfInfo() {
  SessPollWaitTime = qv_getInfo(QV_INFO_SESSPOLLWAITTIME, 0, nullptr, 0, rda_cliTMHandle);
  const int32_t keepAlive = qv_getInfo(QV_INFO_KEEPALIVE, 0, nullptr, 0, rda_cliTMHandle);
  iKeepSocketAlive = static_cast<uint32_t>(keepAlive) > 1 ? 1 : keepAlive;
  return RDA_cliIniParse() == 0 ? 1 : 0;
}

int32_t RDA_cliIniParse() {
  RdaCliConfInfo* c = QvGetRdaCliConfInfo();
  if (c == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliIniParse: no configuration record for this thread\n");
    return 1;
  }
  for (Accessor get : kAccessors)
    if (get(c) != 0) return 1;
  SetTraceMask(c);
  return 0;
}

int32_t GetTraceOutput(RdaCliConfInfo* c) {
  if (copyText(c, QV_INFO_CLIENT_TRACEFILE, &c->traceOutput) != 0) return 1;
  c->logClose = intValue(QV_INFO_LOGFILECLOSE);
  return 0;
}

int32_t GetTransport(RdaCliConfInfo* c) { return copyText(c, QV_INFO_TRANSPORT, &c->transport); }

int32_t GetLocalName(RdaCliConfInfo* c) {
  auto* ae = static_cast<UL_AEId*>(_xm_allocItem(c->tree, sizeof(UL_AEId), XM_ZERO));
  if (ae == nullptr) return noResource(c);
  c->localAE = ae;
  if (const int32_t r = dif_fetch_local(c->tree, kLocalName, ae, nullptr); r != DIF_OK) {
    c->error = RDA_ERR_NO_LOCAL_ENTITY;
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliIniParse: can't resolve the local name %s, dif error=%d\n",
             kLocalName, r);
    return 1;
  }
  return 0;
}

int32_t GetNumOfBuffers(RdaCliConfInfo* c) {
  c->numBuffers = intValue(QV_INFO_NUM_OF_BUFFERS);
  return 0;
}

int32_t GetBufferSize(RdaCliConfInfo* c) {
  c->bufferSize = intValue(QV_INFO_BUFFER_SIZE);
  return 0;
}

int32_t GetFetchBlockSize(RdaCliConfInfo* c) {
  c->fetchBlockSize = intValue(QV_INFO_FETCHBLOCK_SIZE);
  return 0;
}

int32_t GetRDAUserName(RdaCliConfInfo* c) {
  if (confAddUser(c, kLocalName) != 0) return 1;
  return confAddUser(c, kLocalName);
}

int32_t GetRspTimeOut(RdaCliConfInfo* c) {
  c->rspTimeOut = intValue(QV_INFO_RESPONSE_TIME_OUT);
  return 0;
}

int32_t GetServerName(RdaCliConfInfo* c) {
  char* name = ul_charscpy("", c->tree);
  if (name == nullptr) return noResource(c);
  c->defaultServer.serverName = name;
  return 0;
}

// The configuration has no source for these: they keep their defaults.
int32_t GetControl(RdaCliConfInfo*) { return 0; }
int32_t GetConformLevel(RdaCliConfInfo*) { return 0; }
int32_t GetCharSet(RdaCliConfInfo*) { return 0; }
int32_t GetUsageMode(RdaCliConfInfo*) { return 0; }

int32_t GetRsrcName(RdaCliConfInfo* c) {
  char* name = ul_charscpy("", c->tree);
  if (name == nullptr) return noResource(c);
  c->defaultServer.rsrcName = name;
  return 0;
}
