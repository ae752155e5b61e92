// Fixtures of the natives' unit tests: the fake JNI environment with the
// field IDs of both classes cached, a qvcli and a qvclistmt object, and,
// for the natives that reach the ODBC layer, a connection and a statement
// record of that layer whose calls a test scripts through the dispatch's
// function table.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "fake_jni.h"
#include "odbc/driver_fixture.h"
#include "src/jdbc/qvnatives.h"
#include "src/odbc/dispatch.h"
#include "src/odbc/lmo.h"

// What a native threw, read off the pending exception (which is cleared).
struct Thrown {
  std::string cls;
  std::u16string message;
  std::u16string sqlState;
  int32_t code = 0;
};

class JniTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  JNIEnv* env() { return jvm_.env(); }
  // A class reference as the JVM hands one to a static native.
  jclass classRef(const std::string& name);
  // The pending exception, taken; an empty class when there is none.
  Thrown thrown();
  // The warnings chained on obj, in order.
  std::vector<FakeObject*> warnings(jobject obj) { return jvm_.object(obj)->warnings; }

  FakeJvm& jvm_ = FakeJvm::get();
  jobject cli_ = nullptr;
  jobject stmt_ = nullptr;
};

// The calls of the dispatch that a test scripts: each number's function.
using Script = std::function<int16_t(uint64_t* words)>;

// The dispatch's table in the test's hands while the object lives: a call
// without a script goes to the driver's own function. One at a time.
class Scripts {
 public:
  Scripts();
  ~Scripts();
  Scripts(const Scripts&) = delete;
  Scripts& operator=(const Scripts&) = delete;
  void script(int32_t number, Script body);
  // How often a scripted number was called.
  int calls(int32_t number) const { return calls_[static_cast<size_t>(number)]; }
  // Adds a record to a list of diagnostics (the connection's, the
  // statement's).
  static void diag(LmoErrorList* list, const wchar_t* state, int32_t native, const std::wstring& message);

 private:
  FuncTable table_;
  std::array<int, kQvOdbcFuncCount> calls_{};
};

// Scripts with the driver's records standing for a connection and a
// statement.
class ScriptedDriver : public Scripts {
 public:
  LmoErrorList* dbcErrors() { return &conn.dbc()->errors; }
  LmoErrorList* stmtErrors() { return &stmt.stmt()->errors; }

  TestConnection conn;
  TestStatement stmt{conn};
};

// JniTest with the driver started and the objects' handle fields holding
// the records of a ScriptedDriver.
class JniDriverTest : public JniTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Puts the driver's handles into the objects' fields.
  void useDriver(ScriptedDriver& d);
  std::unique_ptr<ScriptedDriver> d_;
};

// The argument words of a dispatched call.
template <class T>
T arg(const uint64_t* w, int32_t i) {
  if constexpr (std::is_pointer_v<T>) {
    return qvPtrArg<T>(w, i);
  } else {
    return qvScalarArg<T>(w, i);
  }
}
