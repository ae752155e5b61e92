// A fresh call-trace writer with its file in a temporary directory; every
// thread is seen as thread 7F2A (multi-threading off). The process-wide
// state is put back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

class CallTrace : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  static void reset();
  // Starts the writer on the test's file with no cap.
  void start(uint64_t formatFlags = 0, int32_t closeAfterLine = 0);
  // What the file holds (the writer is closed; the next line reopens it).
  std::string trace();

  std::filesystem::path dir_;
  std::filesystem::path file_;
  int32_t savedCap_ = 0;
  uint64_t savedThreadId_ = 0;
  int32_t savedSwitch_ = 1;
};

std::string readWholeFile(const std::filesystem::path& p);
