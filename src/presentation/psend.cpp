// The session requests of the PPDU builders.
#include "src/presentation/psend.h"

#include "common/timer2.h"
#include "src/presentation/perrno.h"

PsSendFn psSend = ps_send_request;

int32_t ps_send_request(PsRequest, Pmachine*, PIDU*, uint32_t) {
  QvSetOsiError(static_cast<int32_t>(PE_SESSION));
  return 0;
}
