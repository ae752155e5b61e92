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

// Hands the GIDU to the service user (with cliRcv as the receive entry for
// the Activate request) and, in mode RDA_CLI_SEND_WAIT, waits in the receive
// loop for the first GIDU queued for the connection (else the environment)
// within the response time-out, and deletes it. What arrived is read from
// the blocks afterwards.
void RDA_cliSendEvent(GIDU* gidu, int32_t mode);

// Unlinks and deletes every GIDU of `queue`.
void RDA_cliPurgeEventQueue(GIDU* queue);
