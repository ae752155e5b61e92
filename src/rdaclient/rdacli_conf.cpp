#include "src/rdaclient/rdacli_conf.h"

#include <cstdio>

#include "common/charscpy.h"
#include "common/qvstring.h"
#include "src/acse/al_trace.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/ps_trace.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_trace.h"
#include "src/rdaclient/clicnf.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/dbresource.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"

namespace {

constexpr const char* kSrc = "src/rdacnf";

void ringInit(RdaCliLink* head) { head->next = head->prev = head; }

// The size of the server name read from the resource file.
constexpr int32_t kDbServerNameSize = 256;

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

// ---------------------------------------------------------------------------
// Users

int32_t RDA_cliAddUser() {
  RdaCliConfInfo* c = QvGetRdaCliConfInfo();
  if (c == nullptr) return 1;
  char name[24];
  std::snprintf(name, sizeof name, "user%u", c->userCount + 1);
  return confAddUser(c, name);
}

const char* RDA_cliGetUser(uint32_t n) {
  RdaCliConfInfo* c = QvGetRdaCliConfInfo();
  if (c == nullptr || n == 0) return nullptr;
  if (n > c->userCount && RDA_cliAddUser() != 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc,
             "*** rda_cliGetUser: not enough addresses from config file, config address = %d, number required = %d\n",
             static_cast<int>(c->userCount), static_cast<int>(n));
    return nullptr;
  }
  uint32_t i = 1;
  for (const RdaCliLink* l = c->users.next; l != &c->users; l = l->next, ++i)
    if (i == n) return reinterpret_cast<const RdaUser*>(l)->name;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Server list

int32_t createSrvrInfo(uint32_t* err) {
  RdaCliTLS* t = getRdaCliTLS(0);
  if (t != nullptr) {
    deleteSrvrInfo();
    auto* list = static_cast<RdaSrvrList*>(_xm_allocItemWithTree(sizeof(RdaSrvrList), XM_ZERO));
    if (list != nullptr) {
      list->tree = xm_getParentOfItem(list);
      ringInit(&list->ring);
      t->srvrList = list;
      return 1;
    }
  }
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** createSrvrInfo: can't create the server list\n");
  if (err != nullptr) *err = RDA_ERR_NO_RESOURCE;
  return 0;
}

void deleteSrvrInfo() {
  RdaCliTLS* t = getRdaCliTLS(0);
  if (t == nullptr || t->srvrList == nullptr) return;
  _xm_freeTree(t->srvrList->tree);
  t->srvrList = nullptr;
}

RdaSrvrList* QvGetRdaSrvrList() {
  RdaCliTLS* t = getRdaCliTLS(0);
  return t != nullptr ? t->srvrList : nullptr;
}

int32_t RDA_cliInitSrvrInfo() { return 1; }

namespace {

SrvrInfo* findServer(RdaSrvrList* list, const char* name) {
  if (list == nullptr || name == nullptr) return nullptr;
  for (RdaCliLink* l = list->ring.next; l != &list->ring; l = l->next) {
    auto* s = reinterpret_cast<SrvrInfo*>(l);
    if (s->rsrcName != nullptr && gqv_stricmp(s->rsrcName, name) == 0) return s;
  }
  return nullptr;
}

}  // namespace

SrvrInfo* RDA_cliAddSrvrInfo(const char* serverName, const char* name) {
  RdaSrvrList* list = QvGetRdaSrvrList();
  if (list == nullptr || serverName == nullptr || name == nullptr) return nullptr;
  auto* s = static_cast<SrvrInfo*>(_xm_allocItem(list->tree, sizeof(SrvrInfo), XM_ZERO));
  char* server = s != nullptr ? ul_charscpy(serverName, list->tree) : nullptr;
  char* rsrc = server != nullptr ? ul_charscpy(name, list->tree) : nullptr;
  if (rsrc == nullptr) {
    // An entry without its names would be found by nothing and break the
    // lookups that read them: none is linked.
    if (server != nullptr) _xm_freeItem(server);
    if (s != nullptr) _xm_freeItem(s);
    list->error = RDA_ERR_NO_RESOURCE;
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliAddSrvrInfo: can't create the entry of %s\n", name);
    return nullptr;
  }
  s->serverName = server;
  s->control = kConfDefaultControl;
  s->fuMask = kConfDefaultFuMask;
  s->conformLevel = rda_xopenIntegrityYes;
  s->charSet = rda_xopenChar8859_1;
  s->usageMode = kConfDefaultUsageMode;
  s->rsrcName = rsrc;
  s->accessCtl = nullptr;
  s->links.next = &list->ring;
  s->links.prev = list->ring.prev;
  list->ring.prev->next = &s->links;
  list->ring.prev = &s->links;
  ++list->count;
  return s;
}

int32_t RDA_addDbResource(const char* name, const char* connectString) {
  RdaSrvrList* list = QvGetRdaSrvrList();
  if (list == nullptr || name == nullptr) return 0;
  if (findServer(list, name) != nullptr) return 1;
  char server[kDbServerNameSize] = "";
  if (qv_getDbResourceInfo(name, server, sizeof server, nullptr, 0, nullptr, 0, nullptr, 0, rda_cliTMHandle,
                           connectString) != 1)
    return 0;
  return RDA_cliAddSrvrInfo(server, name) != nullptr ? 1 : 0;
}

SrvrInfo* RDA_cliGetServer(const char* name, const char* connectString) {
  if (name == nullptr) {
    RdaCliConfInfo* c = QvGetRdaCliConfInfo();
    return c != nullptr ? &c->defaultServer : nullptr;
  }
  (void)RDA_addDbResource(name, connectString);
  return findServer(QvGetRdaSrvrList(), name);
}
