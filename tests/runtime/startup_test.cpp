#include "src/runtime/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/qvmutexes.h"
#include "common/timer2.h"
#include "src/runtime/xm.h"

namespace {

std::string gCalls;
int32_t firstLayer() { return gCalls += 'a', 1; }
int32_t secondLayer() { return gCalls += 'b', 1; }
int32_t refusingLayer() { return gCalls += 'x', 0; }

// Each case runs in a child process: what it makes is process-wide.
TEST(Startup, MakesMutexesBaseRecordsRootTreeThenTheLayersRecordsInOrder) {
  EXPECT_EXIT(
      {
        if (qv_startRuntime({firstLayer, secondLayer}) != 1) std::exit(1);
        if (hSerializeMutex == nullptr || hSerializeGlobalMutex == nullptr || hSerializeConnectSem == nullptr)
          std::exit(2);
        if (glMainThreadId != QvGetThreadHandle() || getGutilTLS(0) == nullptr) std::exit(3);
        if (getXmTLS(0) == nullptr || getXmTLS(0)->rootTree == nullptr) std::exit(4);
        std::exit(gCalls == "ab" ? 0 : 5);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(Startup, StopsAtTheFirstLayerThatRefuses) {
  EXPECT_EXIT(std::exit(qv_startRuntime({refusingLayer, firstLayer}) == 0 && gCalls == "x" ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
}

}  // namespace
