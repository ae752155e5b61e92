// Stands in for the session requests of the presentation layer: records
// every request a PPDU builder makes, with the octets it would carry. Like
// the real requests it encodes the PPDU record of the request into a fresh
// chain of session buffers (CP-type with directMult set, simply-encoded data
// of TD, TC and TCC and every TE bare) and sends nothing when the encoding,
// or a value inside it, failed.
#pragma once

#include <cstdint>
#include <vector>

#include "src/presentation/psend.h"

class PpduSendRecorder {
 public:
  struct Sent {
    PsRequest request;
    Pmachine* pm;
    PIDU* pidu;
    uint32_t noData;
    std::vector<uint8_t> octets;  // the session user data; empty without
  };

  // Puts itself in psSend; the destructor puts the previous sender back.
  PpduSendRecorder();
  ~PpduSendRecorder();
  PpduSendRecorder(const PpduSendRecorder&) = delete;
  PpduSendRecorder& operator=(const PpduSendRecorder&) = delete;

  std::vector<Sent> sent;  // the requests that went down, in order
  std::vector<PsRequest> asked;  // every request made, in order
  uint32_t discarded = 0;  // requests whose encoding failed
  // What a request answers once encoded; 0 fails it with osi_errno failError.
  int32_t result = 1;
  int32_t failError = 0;

 private:
  static int32_t record(PsRequest request, Pmachine* pm, PIDU* pidu, uint32_t noData);
  PsSendFn saved_;
  PpduSendRecorder* outer_;
};
