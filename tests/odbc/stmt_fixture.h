// Fixture of the statement tests of the ODBC layer against rdapeer: a peer
// on a SQLite file of the test that records what it is sent, the client's
// configuration naming it, and in the child that runs the driver a
// connected session with helpers to run statements and read diagnostics.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "src/odbc/lmo.h"
#include "src/odbc/odbcapi.h"
#include "support/memory_dir.h"
#include "support/peer_process.h"
#include "support/sandbox.h"

struct Diag {
  SQLRETURN rc = 0;
  std::wstring state;
  int32_t native = 0;
  std::wstring message;
};

// The message prefix of the driver's diagnostics.
extern const std::wstring kMessagePrefix;

std::string narrowText(const std::wstring& w);

// The next diagnostic of a handle through SQLErrorW.
Diag nextError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt);
// Every pending diagnostic of a handle, as "STATE:message" lines.
std::string allErrors(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt);

// In the child: the driver's environment, set to ODBC 2, and one connection
// to the peer as u/p on the data source "rdatest".
struct Session {
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  LmoDbc* rec() const { return static_cast<LmoDbc*>(dbc); }
  SQLHSTMT newStatement();
  // SQLExecDirect of a narrow text on a new statement, dropped afterwards;
  // its result (its diagnostics are written to `errors` when given).
  SQLRETURN exec(const std::string& text, std::string* errors = nullptr);
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
};

SQLCHAR* sqlText(const std::string& s);

class Statements : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Starts rdapeer on the test's database with `options` and writes the
  // client's configuration (`common`: more lines of [COMMON]).
  void start(std::vector<std::string> options = {}, const std::string& common = "");
  std::filesystem::path database() const { return memory_.path() / "test.sqlite"; }
  // The R-ExecuteDBL lines the peer recorded.
  std::vector<PeerRecordLine> executes() const;
  // The rows of a query on the database file, values as text ("NULL" for
  // NULL), columns separated by '|'.
  std::vector<std::string> query(const std::string& sql) const;

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  MemoryDir memory_;
  std::string tmp_;
  std::unique_ptr<PeerProcess> peer_;
};
