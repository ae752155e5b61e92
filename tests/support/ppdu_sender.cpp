#include "support/ppdu_sender.h"

#include "common/timer2.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ppdu.h"
#include "src/session/buffer_pool.h"

namespace {

PpduSendRecorder* gCurrent = nullptr;

// The encoder of a request and the record it reads; NULL for none.
AaFormatFn encoderOf(PsRequest r, void** record) {
  const bool simple = inf.kind == kUserDataSimple;
  switch (r) {
    case PsRequest::ConnectRequest:
      *record = &cp;
      return psFormatCP;
    case PsRequest::ConnectAccept:
      *record = &cpa;
      return psFormatCPA;
    case PsRequest::ConnectRefuse:
      *record = &cpr;
      return psFormatCPR;
    case PsRequest::UserAbort:
    case PsRequest::ProviderAbort:
      *record = &abrt;
      return psFormatAbort;
    case PsRequest::Data:
    case PsRequest::CapabilityRequest:
    case PsRequest::CapabilityResponse:
      *record = &inf;
      return simple ? psFormatSimple : psFormatUserData;
    case PsRequest::Expedited:
      *record = &inf;
      return psFormatSimple;
    case PsRequest::TypedData:
      *record = &inf;
      return psFormatUserData;
    case PsRequest::ResyncAbandon:
    case PsRequest::ResyncRestart:
    case PsRequest::ResyncSet:
      *record = &rs;
      return psFormatRS;
    case PsRequest::ResyncResponse:
      *record = &rsa;
      return psFormatRSA;
    case PsRequest::QuickAbort:
      break;
  }
  *record = nullptr;
  return nullptr;
}

}  // namespace

PpduSendRecorder::PpduSendRecorder() : saved_(psSend), outer_(gCurrent) {
  gCurrent = this;
  psSend = record;
}

PpduSendRecorder::~PpduSendRecorder() {
  psSend = saved_;
  gCurrent = outer_;
}

int32_t PpduSendRecorder::record(PsRequest request, Pmachine* pm, PIDU* pidu, uint32_t noData) {
  PpduSendRecorder* self = gCurrent;
  self->asked.push_back(request);
  Sent s{request, pm, pidu, noData, {}};
  void* rec = nullptr;
  AaFormatFn encoder = noData != 0 ? nullptr : encoderOf(request, &rec);
  if (encoder != nullptr) {
    set_Pcalled(pm);
    QvSetOsiError(0);
    directMult = request == PsRequest::ConnectRequest ? 0xFFFFFFFFu : 0;
    SessionBuffer* head = balloc(-1);
    if (head == nullptr) return 0;
    rtp_setf(head);
    uint32_t err = 0;
    p_format(encoder, rec, &err);
    directMult = 0;
    SessionBuffer* chain = nullptr;
    rtp_getf(&chain);
    const bool ok = err == 0 && QvGetOsiError() == 0;
    for (SessionBuffer* b = chain; ok && b != nullptr;) {
      s.octets.insert(s.octets.end(), b->data, b->data + b->length);
      b = b->next != chain ? b->next : nullptr;
    }
    while (chain != nullptr) {
      SessionBuffer* next = chain->next != chain ? chain->next : nullptr;
      bfree(chain);
      chain = next;
    }
    if (!ok) {
      ++self->discarded;
      return 0;
    }
  }
  if (self->result == 0) {
    QvSetOsiError(self->failError);
    return 0;
  }
  self->sent.push_back(std::move(s));
  return 1;
}
