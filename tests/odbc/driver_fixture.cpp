#include "driver_fixture.h"

#include <fstream>
#include <mutex>
#include <thread>

#include "src/odbc/dispatch.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/lmoparam.h"
#include "src/odbc/odbcwidebuf.h"
#include "src/odbc/odbcwide.h"
#include "src/runtime/gutrace.h"
#include "support/sandbox.h"
#include "support/stack.h"

void attachDriverOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    ConfigSandbox sandbox({"MIRODEL_INI", "HOME"});
    const std::string tmp = sandbox.dir().string();
    gpcQvTmpConfigDir = tmp.c_str();
    std::thread t([] {
      ASSERT_EQ(initODBC(), 1);
      // The thread's id may come again for a later thread of a test: the
      // start-up's records go under an id no thread has.
      QvChangeThreadIdInAllMainTLS(~uint64_t{0});
    });
    t.join();
    gpcQvTmpConfigDir = "/tmp";
  });
}

TestConnection::TestConnection() {
  attachDriverOnce();
  dbc_.self = &dbc_;
  EXPECT_EQ(QvCreateAllTLS(), 1);
  QvGetAllTLS(&dbc_.tls);
  dbc_.tls.lmo->servedDbc = &dbc_;
  dbc_.tls.lmo->connMutex = QvCreateMutex();
  EXPECT_EQ(lmoRegister(LmoKind::Dbc, &dbc_), 1);
  QvChangeThreadIdInAllTLS(&dbc_.tls, 0);
}

TestConnection::~TestConnection() {
  lmoUnregister(&dbc_);
  lmoClearErrorList(&dbc_.errors);
  QvDestroyMutex(dbc_.tls.lmo->connMutex);
  QvChangeThreadIdInAllTLS(&dbc_.tls, QvGetThreadId());
  QvRemoveAllTLS();
}

TestStatement::TestStatement(TestConnection& c) {
  stmt_.self = &stmt_;
  stmt_.params.next = stmt_.params.prev = &stmt_.params;
  stmt_.dbc = c.dbc();
  EXPECT_EQ(lmoRegister(LmoKind::Stmt, &stmt_), 1);
}

TestStatement::~TestStatement() {
  lmoFreeParams(&stmt_);
  lmoFreeWideShadows(&stmt_);
  lmoUnregister(&stmt_);
  lmoClearErrorList(&stmt_.errors);
}

FuncTable::FuncTable() {
  std::copy(QvOdbcFuncs, QvOdbcFuncs + kQvOdbcFuncCount, table_);
  gQvOdbcFuncTable = table_;
}

FuncTable::~FuncTable() { gQvOdbcFuncTable = QvOdbcFuncs; }

namespace {

// A child starts from a driver that never started, whatever this program
// started before it forked: the start-up undone, the trace writer unset.
void forgetStartUp() {
  if (QvOdbcAttached()) exitODBC();
  tr_shutdown();
  gTraceCB = TraceCB{};
  giTrTraceTruncationMessage = 1;
  htrODBC = nullptr;
  htrJDBC = nullptr;
  QvSetWideUnitForTest(0);
  QvFetchSize = 0;
}

}  // namespace

void inChild(const std::function<void()>& body) {
  ChildProcess child([&](ChildProcess&) {
    forgetStartUp();
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(child.wait(std::chrono::seconds(30)), 0);
}

int countLines(const std::string& file, const std::string& text) {
  std::ifstream in(file);
  int n = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find(text) != std::string::npos) ++n;
  return n;
}
