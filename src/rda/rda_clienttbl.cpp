// The client state table of RDA and the service element's client event
// table.
#include "src/rda/rda_statetbl.h"

using namespace rda_statetbl;

namespace {

constexpr uint32_t U = kRdaStateUnchanged;
constexpr uint32_t C_I = RDA_C_I, CB = RDA_CB, CA = RDA_CA, CT = RDA_CT, CN = RDA_CN, CC = RDA_CC, CR = RDA_CR,
                   CE = RDA_CE;

// States in which the response to an operation is taken.
constexpr uint32_t kAnswering = in({CA, CT, CC, CR, CE});
// Where a server may answer an operation out of sequence (error 8208).
constexpr uint32_t kOutOfSequence = in({CB, CC, CR, CE});

}  // namespace

// Requests in service form, responses and error responses in APDU form.
extern constexpr RdaEventTbl RDA_aseClientEventTbl = eventTable({
    {0x8000, 0},  {0x8010, 4},  {0x8020, 8},  {0x8030, 11}, {0x8040, 16}, {0x8050, 21}, {0x8060, 24},
    {0x8070, 27}, {0x8080, 30}, {0x8090, 33}, {0x80A0, 37}, {0x80B0, 40}, {0x80C0, 44},
    {0x80DA, 1},  {0x80EA, 5},  {0x810A, 12}, {0x811A, 17}, {0x812A, 22}, {0x813A, 25}, {0x814A, 28},
    {0x815A, 31}, {0x816A, 34}, {0x817A, 38}, {0x818A, 41}, {0x819A, 45},
    {0x81AA, 2},  {0x81BA, 6},  {0x81CA, 9},  {0x81DA, 13}, {0x81EA, 18}, {0x81FA, 22}, {0x820A, 25},
    {0x821A, 28}, {0x822A, 31}, {0x823A, 34}, {0x824A, 38}, {0x825A, 41}, {0x826A, 45},
});

// Actions (client action tables): 0 refused; 2 R-Initialize request;
// 6 R-BeginTransaction request; 8 R-BeginTransaction error; 23 and 28 error
// value 8213; the others pass the GIDU on.
//
// An error 8208 (the server took the request out of sequence) that answers
// the outstanding R-Initialize, R-Terminate, R-Commit or R-Rollback returns
// the dialogue to the state before that request: it would otherwise stay in
// CB, CE, CC or CR, where no request is accepted.
extern constexpr std::array<uint32_t, kRdaClientEvents * kRdaClientStates> clientStateTbl =
    stateTable<kRdaClientEvents, kRdaClientStates>({
        {0, {{in({C_I}), 2, CB}}},                                 // R-Initialize request
        {1, {{in({CB}), 3, CA}}},                                  // its response
        {2, {{in({CB}), 3, C_I}}},                                 // its error
        {3, {{in({CB}), 3, C_I}, {in({CA, CT, CN, CC, CR, CE}), 3, U}}},  //   with 8208
        {4, {{in({CA}), 4, CE}}},                                  // R-Terminate request
        {5, {{in({CE}), 5, C_I}}},                                 // its response
        {6, {{in({CE}), 5, CA}}},                                  // its error
        {7, {{in({CE}), 5, CA}, {in({CB, CT, CN, CC, CR}), 5, U}}},  //   with 8208
        {8, {{in({CA}), 6, CT}}},                                  // R-BeginTransaction request
        {9, {{in({CT, CC, CR}), 8, CA}}},                          // its error
        {10, {{in({CB, CT, CN, CC, CR, CE}), 7, U}}},              //   with 8208
        {11, {{in({CT, CN}), 9, CC}}},                             // R-Commit request
        {12, {{in({CC}), 10, CA}}},                                // its response
        {13, {{in({CC}), 10, CT}}},                                // its error
        {14, {{in({CC}), 10, CT}, {in({CB, CA, CR, CE}), 10, U}}},  //   with 8208
        {15, {{in({CC}), 10, CN}}},                                //   while rollback only
        {16, {{in({CT, CN}), 11, CR}}},                            // R-Rollback request
        {17, {{in({CR}), 12, CA}}},                                // its response
        {18, {{in({CR}), 12, CT}}},                                // its error
        {19, {{in({CR}), 12, CT}, {in({CB, CA, CC, CE}), 12, U}}},  //   with 8208
        {20, {{in({CR}), 12, CN}}},                                //   while rollback only
        {21, {{in({CA, CT}), 13, U}}},                             // R-Cancel request
        {22, {{kAnswering, 14, U}}},                               // its response or error
        {23, {{kOutOfSequence, 14, U}}},                           //   error with 8208
        {24, {{in({CA, CT}), 15, U}}},                             // R-Status
        {25, {{kAnswering, 16, U}}},
        {26, {{kOutOfSequence, 16, U}}},
        {27, {{in({CA, CT}), 17, U}}},                             // R-Open
        {28, {{kAnswering, 18, U}}},
        {29, {{kOutOfSequence, 18, U}}},
        {30, {{in({CA, CT}), 19, U}}},                             // R-Close
        {31, {{kAnswering, 20, U}}},
        {32, {{kOutOfSequence, 20, U}}},
        {33, {{in({CA, CT}), 21, U}}},                             // R-ExecuteDBL
        {34, {{kAnswering, 22, U}}},
        {35, {{kOutOfSequence, 22, U}}},
        {36, {{in({CT}), 23, CN}, {in({CC, CR}), 23, U}, {in({CE}), 22, U}}},  //   error with 8213
        {37, {{in({CA, CT}), 24, U}}},                             // R-DefineDBL
        {38, {{kAnswering, 25, U}}},
        // As stored: the cell of CB holds action 0 with next state 145, so
        // an R-DefineDBL error 8208 in CB is refused, unlike its siblings.
        {39, {{in({CC, CR, CE}), 25, U}, {in({CB}), 0, 145}}},
        {40, {{in({CA, CT}), 26, U}}},                             // R-InvokeDBL
        {41, {{kAnswering, 27, U}}},
        {42, {{kOutOfSequence, 27, U}}},
        {43, {{in({CT}), 28, CN}, {in({CC, CR}), 28, U}}},         //   error with 8213
        {44, {{in({CA, CT}), 29, U}}},                             // R-DropDBL
        {45, {{kAnswering, 30, U}}},
        {46, {{kOutOfSequence, 30, U}}},
    });
