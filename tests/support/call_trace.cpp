#include "support/call_trace.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "common/qvthread.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/tm.h"
#include "support/recordset.h"

namespace fs = std::filesystem;

std::string readWholeFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void CallTrace::SetUp() {
  ensureProcessMutexes();
  char tmpl[] = "/tmp/trtestXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
  file_ = dir_ / "calls.log";
  savedCap_ = giTmLogFileMaxSize;
  savedThreadId_ = glMainThreadId;
  savedSwitch_ = QvMultiThread;
  QvSetMultiThread(0);
  glMainThreadId = 0x7F2A;
  reset();
}

void CallTrace::TearDown() {
  reset();
  giTmLogFileMaxSize = savedCap_;
  glMainThreadId = savedThreadId_;
  QvSetMultiThread(savedSwitch_);
  fs::remove_all(dir_);
}

void CallTrace::reset() {
  tr_shutdown();
  gTraceCB = TraceCB{};
  giTrTraceTruncationMessage = 1;
}

void CallTrace::start(uint64_t formatFlags, int32_t closeAfterLine) {
  ASSERT_EQ(tr_init("prog", file_.c_str(), 0, formatFlags, closeAfterLine), 1);
  giTmLogFileMaxSize = 0;
}

std::string CallTrace::trace() {
  tr_shutdown();
  return readWholeFile(file_);
}
