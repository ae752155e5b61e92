#include "support/trace_capture.h"

#include <gtest/gtest.h>

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
