// The client's per-thread record: lookups with and without a record, and
// what a miss writes into the client's trace.
#include "src/rdaclient/rdaclitls.h"

#include <gtest/gtest.h>

#include <thread>

#include "src/rdaclient/rdacli_conf.h"
#include "support/recordset.h"
#include "support/trace_capture.h"

namespace {

class ClientTls : public ::testing::Test {
 protected:
  void SetUp() override { ensureProcessMutexes(); }
};

TEST_F(ClientTls, MissIsQuietForTheCheckingLookupAndDumpedForTheOther) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 0xFFFF}});
  std::thread([&] {
    EXPECT_EQ(check_and_getRdaCliTLS(0), nullptr);
    ASSERT_EQ(trace.lines().size(), 1u);
    EXPECT_TRUE(trace.contains("check_and_getRdaCliTLS(). No active RdaCli TLS for"));
    trace.clear();

    EXPECT_EQ(getRdaCliTLS(0), nullptr);
    EXPECT_EQ(qvGetRdaCliMsgBuf(), nullptr);
    EXPECT_TRUE(trace.contains("Could not found RdaCli TLS for"));
    EXPECT_TRUE(trace.contains("******** getRdaCliTLS(1) ****************"));
    EXPECT_TRUE(trace.contains("RdaCli TLS Cache List. Size=100"));
    EXPECT_TRUE(trace.contains("RdaCli TLS List"));
  }).join();
}

TEST_F(ClientTls, RemovingLookupUnlinksTheRecord) {
  std::thread([] {
    ASSERT_EQ(initRdaCliTLS(), 1);
    RdaCliTLS* mine = getRdaCliTLS(0);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(check_and_getRdaCliTLS(0), mine);
    EXPECT_EQ(qvGetRdaCliMsgBuf(), mine->msgBuf);
    EXPECT_EQ(getRdaCliTLS(1), mine);
    EXPECT_EQ(check_and_getRdaCliTLS(0), nullptr) << "neither the cache nor the list has it";
    delete mine;
  }).join();
}

TEST_F(ClientTls, DumpListsTheCacheAndEveryRecord) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
  std::thread([&] {
    ASSERT_EQ(initRdaCliTLS(), 1);
    RdaCliTLS* mine = getRdaCliTLS(0);
    trace.clear();
    QvWaitForSingleObject(hSerializeRdaCliMutex);
    traceRdaCliTLS("title");
    QvReleaseMutex(hSerializeRdaCliMutex);
    char line[64];
    std::snprintf(line, sizeof line, "RdaCli TLS: Thread:%lX. TLS:%lX", static_cast<unsigned long>(QvGetThreadId()),
                  reinterpret_cast<unsigned long>(mine));
    EXPECT_TRUE(trace.contains(line));
    std::snprintf(line, sizeof line, "Thread:%lX. TLS:%lX", static_cast<unsigned long>(QvGetThreadId()),
                  reinterpret_cast<unsigned long>(mine));
    EXPECT_EQ(trace.count(line), 2u) << "in the cache and in the list";
    removeRdaCliTLS();
  }).join();
}

}  // namespace
