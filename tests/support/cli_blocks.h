// An environment, a connection and one statement of the RDA client made by
// hand and entered in the set of live blocks, for tests that drive the
// client's calls and confirm handlers without a stack: the connection's
// template names a stand-in UCB, so what the handlers send goes nowhere.
// The statement has a tree of its own; its XM blocks are counted.
#pragma once

#include "src/rdaclient/rdacli_handles.h"
#include "support/xm_count.h"

class CliBlocksTest : public XmCountTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  RDA_CliHENV env{};
  RDA_CliHDBC conn{};
  RDA_CliHSTMT stmt{};

 private:
  int fakeUcb_ = 0;
};
