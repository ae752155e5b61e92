// The server state table of RDA, the service element's server event table
// and the invalid-sequence diagnostics of requests received out of
// sequence.
#include "src/rda/rda_statetbl.h"

using namespace rda_statetbl;

namespace {

constexpr uint32_t U = kRdaStateUnchanged;
constexpr uint32_t S_I = RDA_S_I, SB = RDA_SB, SA = RDA_SA, ST = RDA_ST, SN = RDA_SN, SC = RDA_SC, SR = RDA_SR,
                   SS = RDA_SS, SE = RDA_SE;

// Actions of the server action tables used by several rows.
constexpr uint32_t kDrop = 1;    // the request is dropped
constexpr uint32_t kInvSeq = 2;  // answered with an invalid-sequence error

// States in which the server user may answer an operation.
constexpr uint32_t kAnswering = in({SA, ST, SC, SR, SE});
// Where a request is dropped: a transaction that can only be ended, and
// the wait after a failed R-BeginTransaction.
constexpr uint32_t kDropping = in({SN, SS});

// A request of an operation allowed in SA and ST (action `pass`); answered
// out of sequence elsewhere, dropped in SN and SS.
constexpr Row operation(uint32_t event, uint32_t pass) {
  return {event, {{in({SA, ST}), pass, U}, {in({S_I, SB, SC, SR, SE}), kInvSeq, U}, {kDropping, kDrop, U}}};
}

}  // namespace

// Received requests in APDU form, sent responses in service form.
extern constexpr RdaEventTbl RDA_aseServerEventTbl = eventTable({
    {0x8008, 0},  {0x80D2, 1},  {0x81A2, 2},  {0x8018, 3},  {0x80E2, 4},  {0x81B2, 5},  {0x80D8, 6},
    {0x8028, 7},  {0x81C2, 8},  {0x8038, 9},  {0x8102, 10}, {0x81D2, 11}, {0x8048, 13}, {0x8112, 14},
    {0x81E2, 15}, {0x8058, 17}, {0x8078, 17}, {0x8122, 18}, {0x81F2, 18}, {0x8068, 19}, {0x8088, 19},
    {0x8132, 20}, {0x8202, 20}, {0x8142, 22}, {0x8212, 22}, {0x8152, 24}, {0x8222, 24}, {0x8098, 25},
    {0x8162, 26}, {0x8232, 26}, {0x80A8, 28}, {0x8172, 29}, {0x8242, 29}, {0x80B8, 30}, {0x8182, 31},
    {0x8252, 31}, {0x80C8, 33}, {0x8192, 34}, {0x8262, 34},
});

// Rows 21 and 23 (no code maps to them) repeat rows 17 and 19, which the
// R-Open and R-Close requests share with R-Cancel and R-Status.
extern constexpr std::array<uint32_t, kRdaServerEvents * kRdaServerStates> serverStateTbl =
    stateTable<kRdaServerEvents, kRdaServerStates>({
        {0, {{in({S_I}), 3, SB}, {in({SB, SA, ST, SC, SR, SE}), kInvSeq, U}, {kDropping, kDrop, U}}},  // R-Initialize
        {1, {{in({SB}), 4, SA}}},
        {2, {{in({SB}), 4, S_I}}},
        {3, {{in({SA}), 5, SE}, {in({S_I, SB, ST, SC, SR, SE}), kInvSeq, U}, {kDropping, kDrop, U}}},  // R-Terminate
        {4, {{in({SE}), 6, S_I}}},
        {5, {{in({SE}), 6, SA}}},
        {6, {{in({SS}), kDrop, SA}}},  // what the client sends after a failed R-BeginTransaction
        {7, {{in({SA}), 7, ST}, {in({S_I, SB, ST, SC, SR, SE}), kInvSeq, U}, {kDropping, kDrop, U}}},  // R-BeginTransaction
        {8, {{in({ST, SC, SR}), 8, SS}}},
        {9, {{in({ST, SN}), 9, SC}, {in({S_I, SB, SA, SC, SR, SE}), kInvSeq, U}, {in({SS}), kDrop, U}}},  // R-Commit
        {10, {{in({SC}), 10, SA}}},
        {11, {{in({SC}), 10, ST}}},
        {12, {{in({SC}), 10, SN}}},  // error while rollback only
        {13, {{in({ST, SN}), 11, SR}, {in({S_I, SB, SA, SC, SR, SE}), kInvSeq, U}, {in({SS}), kDrop, U}}},  // R-Rollback
        {14, {{in({SR}), 12, SA}}},
        {15, {{in({SR}), 12, ST}}},
        {16, {{in({SR}), 12, SN}}},  // error while rollback only
        operation(17, 13),           // R-Cancel, R-Open
        {18, {{kAnswering, 14, U}}},
        operation(19, 15),           // R-Status, R-Close
        {20, {{kAnswering, 16, U}}},
        operation(21, 17),
        {22, {{kAnswering, 18, U}}},
        operation(23, 19),
        {24, {{kAnswering, 20, U}}},
        operation(25, 21),           // R-ExecuteDBL
        {26, {{kAnswering, 22, U}}},
        {27, {{in({ST}), 23, SN}, {in({SC, SR}), 23, U}}},  // its error with 8213
        operation(28, 24),           // R-DefineDBL
        {29, {{kAnswering, 25, U}}},
        operation(30, 26),           // R-InvokeDBL
        {31, {{kAnswering, 27, U}}},
        {32, {{in({ST}), 28, SN}, {in({SC, SR}), 28, U}}},  // its error with 8213
        operation(33, 29),           // R-DropDBL
        {34, {{kAnswering, 30, U}}},
    });

// Rows: the request of service k (0-12) in APDU form, 13 the event 0x80D8.
extern constexpr RdaEventTbl serverInvSeqEventTbl = eventTable({
    {0x8008, 0},  {0x8018, 1},  {0x8028, 2},  {0x8038, 3},  {0x8048, 4},  {0x8058, 5},  {0x8068, 6},
    {0x8078, 7},  {0x8088, 8},  {0x8098, 9},  {0x80A8, 10}, {0x80B8, 11}, {0x80C8, 12}, {0x80D8, 13},
});

namespace {

// Diagnostics as the client prints them: 1 dialogue not active, 2 dialogue
// initializing, 3 dialogue already active, 4 transaction not open,
// 5 transaction open, 6 transaction terminating, 7 dialogue terminating.
using InvSeqRow = std::array<int32_t, kRdaServerStates>;  // S_I SB SA ST SN SC SR SS SE
constexpr InvSeqRow kInitRow = {-1, 2, 3, 3, -1, 3, 3, -1, 7};
constexpr InvSeqRow kDialogueRow = {1, 2, -1, 5, -1, 6, 6, -1, 7};       // R-Terminate, R-BeginTransaction
constexpr InvSeqRow kTransactionRow = {1, 2, 4, -1, -1, 6, 6, -1, 7};    // R-Commit, R-Rollback
constexpr InvSeqRow kOperationRow = {1, 2, -1, -1, -1, 6, 6, -1, 7};     // every other request
constexpr InvSeqRow kNoneRow = {-1, -1, -1, -1, -1, -1, -1, -1, -1};     // 0x80D8

constexpr std::array<int32_t, kRdaServerInvSeqRows * kRdaServerStates> invSeqTable() {
  const InvSeqRow* rows[kRdaServerInvSeqRows] = {
      &kInitRow,      &kDialogueRow,  &kDialogueRow,  &kTransactionRow, &kTransactionRow,
      &kOperationRow, &kOperationRow, &kOperationRow, &kOperationRow,   &kOperationRow,
      &kOperationRow, &kOperationRow, &kOperationRow, &kNoneRow,
  };
  std::array<int32_t, kRdaServerInvSeqRows * kRdaServerStates> t{};
  for (uint32_t r = 0; r < kRdaServerInvSeqRows; ++r)
    for (uint32_t s = 0; s < kRdaServerStates; ++s) t[r * kRdaServerStates + s] = (*rows[r])[s];
  return t;
}

}  // namespace

extern constexpr std::array<int32_t, kRdaServerInvSeqRows * kRdaServerStates> serverInvSeqTbl = invSeqTable();
