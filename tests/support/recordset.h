// Test fixture support: the process mutexes and a record set for the
// calling thread, as the driver's start-up makes them.
#pragma once

#include <gtest/gtest.h>

#include "src/odbc/alltls.h"

// Creates the process mutexes once per test program.
void ensureProcessMutexes();

// Gives the calling thread its thirteen records and an XM root tree for the
// fixture's lifetime, and restores the multi-threading switch afterwards.
class RecordSetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  int32_t savedSwitch_ = 1;
};
