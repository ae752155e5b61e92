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

// Captures the lines of one module of a trace manager that is already
// running (a started client stack): its mask is widened and the output goes
// to a file of its own while the object lives, then both are given back.
class RunningTraceCapture {
 public:
  RunningTraceCapture(TmHandle handle, uint32_t mask);
  ~RunningTraceCapture();
  RunningTraceCapture(const RunningTraceCapture&) = delete;
  RunningTraceCapture& operator=(const RunningTraceCapture&) = delete;

  // Whether a line written since the start or the last clear() holds `text`.
  bool contains(const std::string& text) const;
  void clear();

 private:
  std::string text() const;

  TmHandle handle_;
  uint32_t savedMask_ = 0;
  std::string savedFile_;
  std::string file_;
  size_t seen_ = 0;
};
