// Trace lines of the modules a test opens, caught through the trace
// manager's line hook, for the lifetime of the object.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "src/runtime/tm.h"

class TraceCapture {
 public:
  struct Module {
    TmHandle* handle;  // the layer's handle global, set while the capture lives
    const char* prefix;
    uint32_t mask;
  };
  explicit TraceCapture(std::initializer_list<Module> modules);
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  const std::vector<std::string>& lines() const;
  // Lines that hold `text`.
  size_t count(const std::string& text) const;
  bool contains(const std::string& text) const { return count(text) > 0; }
  void clear();

 private:
  std::vector<TmHandle*> handles_;
  int32_t savedHeader_ = 0;
};
