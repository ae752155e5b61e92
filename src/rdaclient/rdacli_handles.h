// The RDA client's control blocks of the environment, the connection and
// the statement. Every block begins alike: two ring links, the 32-bit tag,
// the block's XM tree. A block's template GIDU carries the four references
// that every GIDU made for the block copies, and its links are the head of
// the block's event queue, on which the receive entry leaves what arrives
// for the waiter.
//
// Minimal version: the leading words, the template, the activation flag and
// state word that the receive entry keeps, the diagnostics, and of the
// statement what its options and diagnostics need; the rest of the blocks
// comes with the client's handles.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/rdaclient/rdacli_error.h"

struct XmTree;

inline constexpr uint32_t RDA_CLI_TAG_HENV = 264;
inline constexpr uint32_t RDA_CLI_TAG_HDBC = 265;
inline constexpr uint32_t RDA_CLI_TAG_HSTMT = 266;

// Environment flags.
inline constexpr uint32_t RDA_CLI_ENV_ACTIVATED = 1;

// Connection state bits.
inline constexpr uint32_t RDA_CLI_ST_ASSOCIATED = 1;
inline constexpr uint32_t RDA_CLI_ST_DIALOGUE = 2;
inline constexpr uint32_t RDA_CLI_ST_TRANSACTION = 4;
inline constexpr uint32_t RDA_CLI_ST_ROLLED_BACK = 8;
inline constexpr uint32_t RDA_CLI_ST_RESOURCE_OPEN = 16;
inline constexpr uint32_t RDA_CLI_ST_DISCONNECTING = 128;

struct RDA_CliHENV {
  RDA_CliHENV* next;
  RDA_CliHENV* prev;
  uint32_t tag;  // RDA_CLI_TAG_HENV
  XmTree* tree;
  GIDU tmpl;     // ue = this block, pe = the UCB once activated; its links are the event queue
  uint32_t flags;
  RDA_CliErrorList errors;
};

struct RDA_CliHDBC {
  RDA_CliHDBC* next;
  RDA_CliHDBC* prev;
  uint32_t tag;  // RDA_CLI_TAG_HDBC
  uint32_t productType;
  XmTree* tree;
  GIDU* tmpl;    // ue, pe = the environment's UCB, uc = this block, pc = the ACB; NULL after an abort
  RDA_CliHENV* env;
  uint32_t state;
  RDA_CliErrorList errors;
};

// Statement option flags.
inline constexpr uint32_t RDA_CLI_STMT_UNIQUEROW = 1;

struct RDA_CliHSTMT {
  RDA_CliHSTMT* next;
  RDA_CliHSTMT* prev;
  uint32_t tag;  // RDA_CLI_TAG_HSTMT
  XmTree* tree;
  RDA_CliHDBC* conn;
  RDA_CliErrorList errors;
  uint32_t maxRows;       // option 1
  uint32_t queryTimeOut;  // option 0
  uint32_t optionFlags;   // bit 0: option 1001
};
