// The application layer's per-thread record.
#include <thread>

#include "src/acse/al_trace.h"
#include "src/acse/altls.h"
#include "support/recordset.h"
#include "support/trace_capture.h"

namespace {

using AlTls = RecordSetTest;

TEST_F(AlTls, EachThreadFindsItsOwnZeroedRecord) {
  AlTLS* mine = getAlTLS(0);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->ownerThreadId, QvGetThreadId());
  for (AeiCB* c : mine->aeiCandidates) EXPECT_EQ(c, nullptr);

  AlTLS* theirs = nullptr;
  AlTLS* theirsAgain = nullptr;
  std::thread([&] {
    ASSERT_EQ(initAlTLS(), 1);
    theirs = getAlTLS(0);
    theirsAgain = getAlTLS(0);
    removeAlTLS();
  }).join();
  EXPECT_NE(theirs, nullptr);
  EXPECT_NE(theirs, mine);
  EXPECT_EQ(theirsAgain, theirs);
  EXPECT_EQ(getAlTLS(0), mine);
}

TEST_F(AlTls, AMissIsTracedOnTheApplicationLayersModule) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", 9}});
  AlTLS* found = nullptr;
  std::thread([&] { found = getAlTLS(0); }).join();
  EXPECT_EQ(found, nullptr);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_NE(trace.lines()[0].find("AL  : "), std::string::npos) << trace.lines()[0];
  EXPECT_NE(trace.lines()[0].find("Could not found Al TLS for "), std::string::npos) << trace.lines()[0];
  EXPECT_NE(trace.lines()[0].find(" thread"), std::string::npos);
}

}  // namespace
