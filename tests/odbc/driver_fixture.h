// Test support of the ODBC layer's unit tests: the driver's start-up run once
// for the test program, connection and statement records standing for what
// the connect road will make, and a child process for tests that need a
// start-up of their own.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "src/odbc/dispatch.h"
#include "src/odbc/lmo.h"
#include "src/odbc/odbcapi.h"

// Runs the driver's start-up once for this program, on a thread of its own
// and without a configuration file.
void attachDriverOnce();

// A connection record as the multi-threaded allocation leaves it: a record
// set of its own, made on the calling thread and parked under thread id 0,
// the context's connection mutex and the served connection set.
class TestConnection {
 public:
  TestConnection();
  ~TestConnection();
  TestConnection(const TestConnection&) = delete;
  TestConnection& operator=(const TestConnection&) = delete;
  LmoDbc* dbc() { return &dbc_; }
  SQLHDBC handle() { return &dbc_; }

 private:
  LmoDbc dbc_{};
};

class TestStatement {
 public:
  explicit TestStatement(TestConnection& c);
  ~TestStatement();
  TestStatement(const TestStatement&) = delete;
  TestStatement& operator=(const TestStatement&) = delete;
  LmoStmt* stmt() { return &stmt_; }
  SQLHSTMT handle() { return &stmt_; }

 private:
  LmoStmt stmt_{};
};

// Uses its own function table for the dispatch while it lives.
class FuncTable {
 public:
  FuncTable();
  ~FuncTable();
  FuncTable(const FuncTable&) = delete;
  FuncTable& operator=(const FuncTable&) = delete;
  QvOdbcFunc& operator[](int32_t number) { return table_[number]; }

 private:
  QvOdbcFunc table_[kQvOdbcFuncCount];
};

// Runs `body` in a forked child (a driver start-up is once per process) and
// expects it to pass.
void inChild(const std::function<void()>& body);

// The lines of a file that hold `text`.
int countLines(const std::string& file, const std::string& text);
