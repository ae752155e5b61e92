// The client's event engine: the client's receive entry, its event queues,
// and the one place that hands GIDUs to the stack and waits for the answer.
//
// Minimal version: the receive entry keeps the activation, the association
// state and a count of diagnostics and queues what arrives; RDA confirms are
// queued without handlers of their own. The confirm handlers, the
// diagnostics' texts and the statements come with the client.
#pragma once

#include <array>
#include <cstdint>

struct GIDU;

// The texts of the RDA state an invalid-sequence error names; state n (from
// 1) is entry n - 1.
inline constexpr uint32_t kRdaCliInvSeqStates = 7;
extern const std::array<const char*, kRdaCliInvSeqStates> RDA_cliInvSeqMsg;
// The text of invalid-sequence state `state` as received; NULL for a state
// the table has no text for.
const char* rda_cliInvSeqText(uint32_t state);

// Modes of RDA_cliSendEvent.
inline constexpr int32_t RDA_CLI_SEND_WAIT = 1;
inline constexpr int32_t RDA_CLI_SEND_ONLY = 2;

// The client's receive entry, registered with the Activate request: takes
// the GIDU over (ue = the environment block, pe = the UCB, uc = the
// connection block, pc = the ACB), keeps what it says in the blocks and
// queues it for the waiter. A GIDU without a valid environment is deleted.
void cliRcv(GIDU* gidu);

// Unlinks and deletes every GIDU of `queue`.
void RDA_cliPurgeEventQueue(GIDU* queue);
