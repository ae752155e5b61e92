#include "support/trace_capture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {
std::vector<std::string> gCaptured;
void captureLine(uint32_t, const char* text) { gCaptured.emplace_back(text); }
}  // namespace

TraceCapture::TraceCapture(std::initializer_list<Module> modules) {
  savedHeader_ = bConfigInfoTraced;
  bConfigInfoTraced = 1;
  EXPECT_EQ(tm_init(static_cast<int32_t>(modules.size())), 1);
  for (const Module& m : modules) {
    // Option names must differ between modules.
    const std::string optName = "test" + std::to_string(handles_.size());
    *m.handle = tm_open(m.prefix, optName.c_str());
    tm_setMask(*m.handle, m.mask);
    handles_.push_back(m.handle);
  }
  EXPECT_EQ(tm_register(4096, captureLine), 1);
  gCaptured.clear();
}

TraceCapture::~TraceCapture() {
  tm_shutdown();
  tmOutFunc = nullptr;
  for (TmHandle* h : handles_) *h = -1;
  bConfigInfoTraced = savedHeader_;
  gCaptured.clear();
}

const std::vector<std::string>& TraceCapture::lines() const { return gCaptured; }

size_t TraceCapture::count(const std::string& text) const {
  size_t n = 0;
  for (const std::string& l : gCaptured)
    if (l.find(text) != std::string::npos) ++n;
  return n;
}

void TraceCapture::clear() { gCaptured.clear(); }

RunningTraceCapture::RunningTraceCapture(TmHandle handle, uint32_t mask) : handle_(handle) {
  for (uint32_t bit = 1; bit != 0; bit <<= 1)
    if (_tm_query(handle, bit) != 0) savedMask_ |= bit;
  savedFile_ = sTmFileName;
  char name[] = "/tmp/trace_captureXXXXXX";
  const int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  if (fd >= 0) close(fd);
  file_ = name;
  tm_output(file_.c_str(), 1, 0);
  tm_setMask(handle, savedMask_ | mask);
}

RunningTraceCapture::~RunningTraceCapture() {
  tm_setMask(handle_, savedMask_);
  tm_output(savedFile_.c_str(), 1, 0);
  std::remove(file_.c_str());
}

std::string RunningTraceCapture::text() const {
  std::ifstream in(file_, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return seen_ < all.size() ? all.substr(seen_) : std::string();
}

bool RunningTraceCapture::contains(const std::string& t) const { return text().find(t) != std::string::npos; }

void RunningTraceCapture::clear() { seen_ += text().size(); }
