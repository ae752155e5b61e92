// The receive loop. The stack has no thread of its own: a caller that has
// sent a request pumps the stack on its own thread until the answer has been
// queued for it. Received data climbs the stack inside the pump, and the
// user's receive entry appends to the very queue the loop watches.
#pragma once

#include <cstdint>

struct GIDU;

// One pass of the stack's event loop: negative when nothing is left to watch
// or the wait failed.
using AiPumpFn = int32_t (*)();

// The pump ai_do_rcv drives: do_session_queue. Tests point it elsewhere and
// put it back.
extern AiPumpFn gAiPump;

// Waits for the first GIDU of `queue` (a sentinel; empty when it links to
// itself) and returns it unlinked and self-linked. While the queue is empty
// the stack is pumped, until the time-out (whole seconds of the monotonic
// clock; 0 = one attempt) has passed or a pump fails. NULL when nothing came.
// `status` (may be NULL) gets the last pump's result, 0 when none was made.
GIDU* ai_do_rcv(GIDU* queue, int32_t timeoutSeconds, int32_t* status);
