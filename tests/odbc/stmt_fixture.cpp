#include "stmt_fixture.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>

#include "src/odbc/lmoinit.h"
#include "src/runtime/gutrace.h"
#include "src/session/tp0tcp.h"
#include "support/stack.h"

namespace fs = std::filesystem;

const std::wstring kMessagePrefix = L"[Quenlow][Varenta JDBC]";

std::string narrowText(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
  return s;
}

SQLCHAR* sqlText(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

Diag nextError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  Diag d;
  SQLWCHAR state[6] = {0};
  SQLINTEGER native = -1;
  SQLWCHAR message[2200] = {0};
  SQLSMALLINT length = -1;
  d.rc = SQLErrorW(env, dbc, stmt, state, &native, message, 2200, &length);
  d.state = state;
  d.native = native;
  d.message = message;
  if (d.rc == SQL_SUCCESS) {
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(d.message.size()));
  }
  return d;
}

std::string allErrors(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  std::string out;
  for (int i = 0; i < 20; ++i) {
    const Diag d = nextError(env, dbc, stmt);
    if (d.rc != SQL_SUCCESS) break;
    out += narrowText(d.state) + ":" + narrowText(d.message) + "\n";
  }
  return out;
}

Session::Session() {
  giQuietMode = 1;
  EXPECT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  // An ODBC 2 application: the SQLSTATEs stay in their ODBC 2 form.
  EXPECT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0), SQL_SUCCESS);
  EXPECT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  const SQLRETURN rc = SQLConnect(dbc, sqlText("rdatest"), SQL_NTS, sqlText("u"), SQL_NTS, sqlText("p"), SQL_NTS);
  EXPECT_EQ(rc, SQL_SUCCESS) << allErrors(nullptr, dbc, nullptr);
}

Session::~Session() {
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS) << allErrors(nullptr, dbc, nullptr);
  EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS) << allErrors(nullptr, dbc, nullptr);
}

SQLHSTMT Session::newStatement() {
  SQLHSTMT stmt = nullptr;
  EXPECT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS) << allErrors(nullptr, dbc, nullptr);
  return stmt;
}

SQLRETURN Session::exec(const std::string& text, std::string* errors) {
  SQLHSTMT stmt = newStatement();
  const SQLRETURN rc = SQLExecDirect(stmt, sqlText(text), SQL_NTS);
  const std::string e = allErrors(nullptr, nullptr, stmt);
  if (errors != nullptr) *errors = e;
  else if (rc != SQL_SUCCESS) ADD_FAILURE() << text << ": " << rc << "\n" << e;
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  return rc;
}

void Statements::SetUp() {
  tmp_ = (sandbox_.dir() / "shared").string();
  gpcQvTmpConfigDir = tmp_.c_str();
}

void Statements::TearDown() { gpcQvTmpConfigDir = "/tmp"; }

void Statements::start(std::vector<std::string> options, const std::string& common) {
  options.insert(options.end(), {"--user", "u:p", "--db", database().string(), "--record",
                                 (sandbox_.dir() / "record").string()});
  peer_ = std::make_unique<PeerProcess>(sandbox_.dir() / "peer", options);
  ASSERT_GT(peer_->port(), 0);
  StackConfig c;
  c.serverPort = peer_->port();
  c.extraCommon = common;
  const std::string ini = writeStackConfig(sandbox_.dir() / "client", c);
  setenv("MIRODEL_INI", ini.c_str(), 1);
}

std::vector<PeerRecordLine> Statements::executes() const {
  std::vector<PeerRecordLine> lines;
  for (PeerRecordLine& l : readPeerRecord(sandbox_.dir() / "record"))
    if (l.kind == "R-ExecuteDBL") lines.push_back(l);
  return lines;
}

std::vector<std::string> Statements::query(const std::string& sql) const {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << database();
    sqlite3_close(db);
    return rows;
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  } else {
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        if (i > 0) row += '|';
        const auto* t = sqlite3_column_text(s, i);
        row += t != nullptr ? reinterpret_cast<const char*>(t) : "NULL";
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return rows;
}
