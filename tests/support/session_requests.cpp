#include "support/session_requests.h"

#include "src/session/buffer_pool.h"

namespace {

SessionRequests* gCurrent = nullptr;

}  // namespace

SessionRequests::SessionRequests() : saved_(psSessionService), outer_(gCurrent) {
  service_.request = request;
  service_.connect = connect;
  psSessionService = &service_;
  gCurrent = this;
}

SessionRequests::~SessionRequests() {
  psSessionService = saved_;
  gCurrent = outer_;
}

std::vector<uint32_t> SessionRequests::events() const {
  std::vector<uint32_t> out;
  for (const Request& r : requests) out.push_back(r.sidu.event);
  return out;
}

SessionRequests::Request SessionRequests::take(Smachine* s, SIDU* sidu) {
  Request r{s, *sidu, {}, {}, {}, {}};
  r.sidu.userData = nullptr;
  for (SessionBuffer* b = sidu->userData; b != nullptr;) {
    r.data.append(reinterpret_cast<const char*>(b->data), b->length);
    r.endFlags.push_back(b->endFlag);
    b = b->next != sidu->userData ? b->next : nullptr;
  }
  return r;
}

int32_t SessionRequests::request(Smachine* s, SIDU* sidu) {
  SessionRequests* self = gCurrent;
  Request r = self->take(s, sidu);
  if (self->result == 0) {
    QvSetSessionError(self->error);
    if (self->error == S_EVENT_IGNORED) {
      s_freeChain(sidu->userData);
      sidu->userData = nullptr;
    }
    return 0;
  }
  s_freeChain(sidu->userData);
  sidu->userData = nullptr;
  self->requests.push_back(std::move(r));
  QvSetSessionError(0);
  return 1;
}

Smachine* SessionRequests::connect(SIDU* sidu) {
  SessionRequests* self = gCurrent;
  Request r = self->take(nullptr, sidu);
  if (sidu->address != nullptr) r.called = *sidu->address;
  if (sidu->callingSsap != nullptr) r.calling = *sidu->callingSsap;
  if (!self->connectSucceeds) {
    QvSetSessionError(S_CONREQ_FAIL);
    return nullptr;
  }
  s_freeChain(sidu->userData);
  sidu->userData = nullptr;
  self->requests.push_back(std::move(r));
  return self->connection();
}
