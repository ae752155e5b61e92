// The client's event engine: the client's receive entry, its event queues,
// the dispatch of RDA confirms to their handlers, and the one place that
// hands GIDUs to the stack and waits for the answer.
#pragma once

#include <array>
#include <cstdint>

#include "src/rdaclient/rdacli_confirm.h"

struct GIDU;
struct RDA_CliHDBC;

// The texts of the RDA state an invalid-sequence error names; state n (from
// 1) is entry n - 1.
inline constexpr uint32_t kRdaCliInvSeqStates = 7;
extern const std::array<const char*, kRdaCliInvSeqStates> RDA_cliInvSeqMsg;
// The text of invalid-sequence state `state` as received; NULL for a state
// the table has no text for.
const char* rda_cliInvSeqText(uint32_t state);

// The handler slots of the RDA confirms.
inline constexpr uint32_t kRdaConfirmSlots = 27;
extern const std::array<RdaConfirmFn, kRdaConfirmSlots> rdaConfirm;
// The slot of a received RDA confirm, and the member its handler gets;
// false when the GIDU carries no response.
bool rda_cliConfirmSlot(GIDU* gidu, uint32_t* slot, void** member);

// RDA error number -> row of the client's SQLSTATE table, for 1-24 and for
// 100-109 at number - 75.
inline constexpr uint32_t kRdaCliErrorMap = 35;
extern const std::array<uint32_t, kRdaCliErrorMap> cliError;
// The row of an RDA error number; RDA_CLI_ROW_STACK_ERROR outside the map.
uint32_t rda_cliErrorRow(uint32_t number);

// Modes of RDA_cliSendEvent.
inline constexpr int32_t RDA_CLI_SEND_WAIT = 1;
inline constexpr int32_t RDA_CLI_SEND_ONLY = 2;

// The client's receive entry, registered with the Activate request: takes
// the GIDU over (ue = the environment block, pe = the UCB, uc = the
// connection block, pc = the ACB), keeps what it says in the blocks and
// queues it for the waiter. A GIDU without a live environment is deleted.
void cliRcv(GIDU* gidu);

// Hands the GIDU to the service user (with cliRcv as the receive entry for
// the Activate request) and, in mode RDA_CLI_SEND_WAIT, waits in the receive
// loop for the first GIDU queued for the connection (else the environment)
// within the response time-out, and deletes it. The wait also ends once the
// receive entry has handled an abort of the waiting connection. What
// arrived is read from the blocks afterwards.
void RDA_cliSendEvent(GIDU* gidu, int32_t mode);

// Unlinks and deletes every GIDU of `queue`.
void RDA_cliPurgeEventQueue(GIDU* queue);

// The handler of RDA error confirms: a diagnostic on the connection (or on
// the statement of an R-ExecuteDBL error).
void procEcnf(RDA_CliHDBC* hdbc, void* member, GIDU* gidu);
