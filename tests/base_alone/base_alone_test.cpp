// A program made of the runtime base alone, with a global-mutex test of its
// own that calls no mutex the global one (as the admin tool has). That it
// links shows the base needs nothing from the layers above it, and that the
// process-mutex registry stays out of a program that does not ask for it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/qvstring.h"
#include "common/qvthread.h"
#include "common/timer2.h"
#include "src/runtime/dif.h"
#include "src/runtime/hostaddr.h"
#include "src/runtime/inifile.h"
#include "src/runtime/ul_names.h"
#include "src/runtime/xm.h"

int32_t QvIsGlobalMutex(QvMutexHandle) { return 0; }

namespace {

bool takenElsewhere(QvMutexHandle h) {
  std::atomic<bool> taken{false};
  std::thread([&] {
    if (pthread_mutex_trylock(&h->m) == 0) pthread_mutex_unlock(&h->m);
    else taken = true;
  }).join();
  return taken;
}

TEST(BaseAlone, ReentrantLockOnTheGlobalMutexIsPlainWithoutTheRegistry) {
  hSerializeGlobalMutex = QvCreateMutex();
  hSerializeGutilMutex = QvCreateMutex();
  ASSERT_EQ(initGutilTLS(), 1);
  ASSERT_EQ(QvCheckAndWaitForSingleObject(hSerializeGlobalMutex), 0);
  EXPECT_EQ(QvGetGlobalMutexLockCount(), 0);  // not counted: not the global one here
  EXPECT_TRUE(takenElsewhere(hSerializeGlobalMutex));
  EXPECT_EQ(QvCheckAndReleaseMutex(hSerializeGlobalMutex), 0);
  EXPECT_FALSE(takenElsewhere(hSerializeGlobalMutex));
  removeGutilTLS();
  QvDestroyMutex(hSerializeGutilMutex);
  QvDestroyMutex(hSerializeGlobalMutex);
  hSerializeGutilMutex = hSerializeGlobalMutex = nullptr;
}

TEST(BaseAlone, IniFilesStringsAndXmWork) {
  char dir[] = "/tmp/base_alone_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string ini = std::string(dir) + "/qvdrd.ini";
  ASSERT_NE(WritePrivateProfileString("SERVER", "PORT", "9001", ini.c_str()), 0);
  char value[16] = {};
  EXPECT_EQ(GetPrivateProfileString("server", "port", "", value, sizeof value, ini.c_str()), 4);
  EXPECT_STREQ(value, "9001");
  EXPECT_EQ(plib_stricmp("Port", "PORT"), 0);
  unlink(ini.c_str());
  rmdir(dir);

  hSerializeXmMutex = QvCreateMutex();
  ASSERT_EQ(initXmTLS(), 1);
  ASSERT_NE(xm_init(), nullptr);
  EXPECT_NE(_xm_allocItem(getXmTLS(0)->rootTree, 64, XM_ZERO), nullptr);
  xm_shutdown();
  removeXmTLS();
  QvDestroyMutex(hSerializeXmMutex);
  hSerializeXmMutex = nullptr;
}

TEST(BaseAlone, DirectoryConvertsAndResolvesWithoutTheLayersAbove) {
  EXPECT_EQ(checkAddr("10.0.0.1"), 1);
  char ip[kIpTextSize];
  EXPECT_STREQ(tp0hname_to_ipaddr("localhost", ip, sizeof ip), "127.0.0.1");
  uint8_t nsap[8] = {};
  ASSERT_EQ(DIFcvt_nsap("10.0.0.1", nsap, sizeof nsap), 4);
  EXPECT_EQ(nsap[0], 10);
  EXPECT_EQ(nsap[3], 1);
  UL_AEId record{};
  EXPECT_EQ(DIFfetch_local_tclass(nullptr, "4", &record.tClass), DIF_OK);
  EXPECT_EQ(record.tClass, 4);
}

}  // namespace
