// A record set for the calling thread whose XM blocks are counted, so that a
// test can show what a call leaves behind; at the end every block must be
// back.
#pragma once

#include "support/counting_alloc.h"
#include "support/recordset.h"

class XmCountTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // XM blocks alive beyond the thread's root tree.
  long xmLive() const { return liveBlocks.load() - base_; }
  // Runs `step` with allocation number n (from 0) failing.
  template <class F>
  auto withBudget(long n, F step) {
    allocBudget = n;
    auto r = step();
    allocBudget = -1;
    return r;
  }
  // Runs `step` with every allocation failing after the first n.
  template <class F>
  auto withoutMemoryAfter(long n, F step) {
    allocFailAfter = n;
    auto r = step();
    allocFailAfter = -1;
    return r;
  }

 private:
  long base_ = 0;
  int32_t savedSwitch_ = 1;
};
