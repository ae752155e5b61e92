#include "src/runtime/hostaddr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

TEST(HostName, ResolvesToDottedTextInTheCallersBuffer) {
  char out[kIpTextSize];
  EXPECT_STREQ(tp0hname_to_ipaddr("localhost", out, sizeof out), "127.0.0.1");
  EXPECT_STREQ(tp0hname_to_ipaddr("10.20.30.40", out, sizeof out), "10.20.30.40");
  EXPECT_STREQ(tp0hname_to_ipaddr("127.1", out, sizeof out), "127.0.0.1");
  EXPECT_EQ(tp0hname_to_ipaddr("no-such-host.invalid", out, sizeof out), nullptr);
  EXPECT_EQ(tp0hname_to_ipaddr("", out, sizeof out), nullptr);
  EXPECT_EQ(tp0hname_to_ipaddr(nullptr, out, sizeof out), nullptr);
  char small[8];
  EXPECT_EQ(tp0hname_to_ipaddr("localhost", small, sizeof small), nullptr);
}

TEST(HostName, ThreadsResolvingAtOnceKeepTheirOwnAnswers) {
  auto resolveMany = [](const char* name, bool* ok) {
    char out[kIpTextSize];
    for (int i = 0; i < 2000; ++i) {
      const char* r = tp0hname_to_ipaddr(name, out, sizeof out);
      if (r == nullptr || std::strcmp(r, name) != 0) return;
    }
    *ok = true;
  };
  bool okA = false;
  bool okB = false;
  std::thread a(resolveMany, "10.1.1.1", &okA);
  std::thread b(resolveMany, "172.16.254.3", &okB);
  a.join();
  b.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
}

}  // namespace
