// A client-role stack for tests against rdapeer (support/peer_process.h) or
// any other RDA server: the event engine's blocks associated with the
// server of a configuration, requests sent through RDA_cliSendEvent and
// each confirm taken off the connection's queue to be read, and helpers
// that build the requests a client sends and read what an R-ExecuteDBL
// confirm carries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/acse/gidu.h"
#include "src/asn1/rda_idu.h"
#include "support/stack.h"

using Got = std::unique_ptr<GIDU, void (*)(GIDU*)>;

class Client {
 public:
  explicit Client(const std::string& ini) : side_(StackSide::Role::Client, ini) {}

  // Up to the association; "" when it is there, else what failed.
  std::string associate();
  RDA_CliHDBC& conn() { return c_.conn; }
  GIDU* tmpl() { return c_.conn.tmpl; }
  int32_t nextOp() { return ++op_; }

  // Sends `req` and returns its answer.
  Got call(GIDU* req, int32_t seconds = 10);
  // What the connection gets next, without a request; NULL when nothing
  // came.
  Got next(int32_t seconds = 10);
  // What the environment gets next (an abort); NULL when nothing came.
  Got environmentEvent(int32_t seconds = 10);
  void send(GIDU* req);

 private:
  StackSide side_;
  StackClient c_;
  int32_t op_ = 0;
};

const RDAXOPENIdu& iduOf(const GIDU* g);
// A line on what came: event, error, RDA error and its text.
std::string describe(const GIDU* g);

// R-Initialize as the client sends it: the level word in the user data
// ("KVO_RDA_CLIENT,<level>,127.0.0.1,DSN=rdatest;PWD=*****,V1") and, with
// its scrambling bits, the user name and password scrambled.
GIDU* initRequest(Client& c, const std::string& user, const std::string& password, int level,
                  bool controlled = false);

// One argument value: its value kind (0: NULL with `indicator`) and, by
// kind, its text (octets of character, numeric, date-time and bit values;
// ASCII for the wide kinds), integer or real.
struct Val {
  uint32_t type;
  std::string text;
  int64_t integer = 0;
  double real = 0;
  int32_t indicator = -1;  // of a NULL value
};
// One argument descriptor: its type code (RDA_SQLTYPE_*), length (or
// precision), scale and the attribute word.
struct ArgSpec {
  uint32_t type;
  int32_t length = 0;
  int32_t scale = 0;
  int32_t attributes = 0;
};

// R-ExecuteDBL of `sql` with `rows` of arguments (none: no argument part;
// one: the single-row form asking for `repetition` rows) and `specs`, from
// the template `ref` with operation id `opId`.
GIDU* execDBLRequest(const GIDU* ref, int32_t opId, const std::string& sql, const std::vector<std::vector<Val>>& rows,
                     int32_t repetition, const std::vector<ArgSpec>& specs = {});
// The same on the client's connection.
GIDU* execRequest(Client& c, const std::string& sql, const std::vector<std::vector<Val>>& rows, int32_t repetition,
                  const std::vector<ArgSpec>& specs = {});

// What an R-ExecuteDBL confirm carries: the described columns' names, the
// rows as texts, the SQLSTATEs of its exceptions in order, and the last
// diagnostics number.
struct ExecResult {
  std::string failure;  // "" when an R-ExecuteDBL result came
  size_t columns = 0;
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> states;
  int32_t count = -1;
};
// A value as text: NULL, the integer, the real ("%.6g"), the octets of a
// character or numeric value, the hex of a bit string.
std::string cellText(const RDAXOPENSQLVal* v);
ExecResult exec(Client& c, const std::string& sql, const std::vector<std::vector<Val>>& rows = {},
                int32_t repetition = 0, const std::vector<ArgSpec>& specs = {});
