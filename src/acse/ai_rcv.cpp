#include "src/acse/ai_rcv.h"

#include <limits>

#include "common/qvclock.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/ai_rcv";

void tracePumpError() {
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "ai_do_rcv() do_session_queue() returned with error\n");
}

}  // namespace

AiPumpFn gAiPump = do_session_queue;

GIDU* ai_do_rcv(GIDU* queue, int32_t timeoutSeconds, int32_t* status) {
  if (status != nullptr) *status = 0;
  GIDU* got = nullptr;
  int32_t last = 0;

  if (timeoutSeconds != 0) {
    // The deadline lives on the monotonic clock in 64 bits and saturates, so
    // neither the date nor a huge time-out can put it in the past. It keeps
    // the start's microseconds, so that a wait of N seconds lasts N seconds
    // even when it starts late in a second.
    struct timeval start {};
    QvMonoTimeOfDay(&start);
    const int64_t deadlineSec = QvDeadline(start.tv_sec, timeoutSeconds);
    struct timeval now = start;
    const long deadlineUsec = deadlineSec == std::numeric_limits<int64_t>::max() ? 0 : start.tv_usec;
    auto reached = [&] {
      return now.tv_sec > deadlineSec || (now.tv_sec == deadlineSec && now.tv_usec >= deadlineUsec);
    };
    for (;;) {
      if (!al_queueEmpty(queue)) {
        got = al_queueTake(queue);
        break;
      }
      last = gAiPump();
      if (last < 0) {
        tracePumpError();
        break;
      }
      if (al_queueEmpty(queue)) QvMonoTimeOfDay(&now);
      if (reached()) break;
    }
    if (got == nullptr && !al_queueEmpty(queue)) got = al_queueTake(queue);
    TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "ai_do_rcv() terminated with time = %ld, q_element = <%ld> \n",
             static_cast<long>(now.tv_sec - start.tv_sec), reinterpret_cast<long>(got));
  } else {
    if (!al_queueEmpty(queue)) {
      got = al_queueTake(queue);
    } else {
      last = gAiPump();
      if (last < 0) tracePumpError();
      if (!al_queueEmpty(queue)) got = al_queueTake(queue);
    }
    TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "q_element = <%ld> \n", reinterpret_cast<long>(got));
  }

  if (status != nullptr) *status = last;
  return got;
}
