#include "common/qvmutexes.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(Mutexes, RemoveAndCreateAgain) {
  // Runs in a child process: the mutexes are process-wide.
  EXPECT_EXIT(
      {
        QvRemoveMutexes();  // whatever this process made before
        if (QvCreateMutexes() != 1 || hSerializeSessionMutex == nullptr || hSerializeConnectSem == nullptr)
          std::exit(1);
        int v = -1;
        sem_getvalue(&hSerializeConnectSem->s, &v);
        if (v != 0) std::exit(2);
        QvRemoveMutexes();
        if (hSerializeGlobalMutex != nullptr || hSerializeConnectSem != nullptr) std::exit(3);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// A start-up tried again after a half-failed one makes only what is
// missing: the mutexes the first made may be held already.
TEST(Mutexes, CreateAgainMakesOnlyWhatIsMissing) {
  EXPECT_EXIT(
      {
        QvRemoveMutexes();
        if (QvCreateMutexes() != 1) std::exit(1);
        QvMutexHandle lmo = hSerializeLmoMutex;
        QvSemHandle sem = hSerializeConnectSem;
        QvDestroyMutex(hSerializeAcseMutex);
        hSerializeAcseMutex = nullptr;
        if (QvCreateMutexes() != 1) std::exit(2);
        if (hSerializeLmoMutex != lmo || hSerializeConnectSem != sem) std::exit(3);
        if (hSerializeAcseMutex == nullptr) std::exit(4);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
