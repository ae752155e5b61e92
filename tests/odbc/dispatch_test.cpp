// The numbered dispatch and the exports in front of it, with the driver's
// own function table or a test table in its place.
#include "src/odbc/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver_fixture.h"
#include "src/odbc/lmoinfo.h"
#include "src/odbc/odbcapi.h"
#include "src/odbc/odbcwide.h"

namespace {

using namespace std::chrono_literals;

// What the last test-table call saw.
struct Seen {
  std::vector<uint64_t> words;
  uint64_t threadId = 0;
  GutilTLS* gutil = nullptr;
  bool driverMutexHeld = false;
  std::wstring text;
  std::vector<int64_t> lengths;
  std::vector<bool> nulls;
};
Seen gSeen;

bool heldElsewhere(QvMutexHandle m) {
  bool held = false;
  std::thread([&] {
    held = pthread_mutex_trylock(&m->m) != 0;
    if (!held) pthread_mutex_unlock(&m->m);
  }).join();
  return held;
}

int16_t record(uint64_t* w, int32_t count) {
  gSeen.words.assign(w, w + count);
  gSeen.threadId = QvGetThreadId();
  gSeen.gutil = getGutilTLS(0);
  gSeen.driverMutexHeld = hSerializeMutex != nullptr && heldElsewhere(hSerializeMutex);
  return 7;
}

int16_t recordBind(uint64_t* w) { return record(w, 6); }
int16_t recordBindParameter(uint64_t* w) { return record(w, 10); }
int16_t recordFetch(uint64_t* w) { return record(w, 1); }

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { attachDriverOnce(); gSeen = Seen{}; }
  TestConnection conn_;
  TestStatement stmt_{conn_};
  FuncTable table_;
};

TEST_F(Dispatch, ScalarsArriveByAddressAndDateTypesAsTheirOdbc2Codes) {
  table_[QV_FN_BINDCOL] = recordBind;
  table_[QV_FN_GETDATA] = recordBind;
  table_[QV_FN_BINDPARAMETER] = recordBindParameter;
  char buffer[64];
  SQLLEN indicator = 0;
  EXPECT_EQ(SQLBindCol(stmt_.handle(), 3, SQL_C_TYPE_TIMESTAMP, buffer, sizeof buffer, &indicator), 7);
  ASSERT_EQ(gSeen.words.size(), 6u);
  EXPECT_EQ(qvPtrArg<SQLHSTMT>(gSeen.words.data(), 0), stmt_.handle());
  EXPECT_EQ(qvScalarArg<uint16_t>(gSeen.words.data(), 1), 3);
  EXPECT_EQ(qvScalarArg<int16_t>(gSeen.words.data(), 2), SQL_C_TIMESTAMP);
  EXPECT_EQ(qvPtrArg<char*>(gSeen.words.data(), 3), buffer);
  EXPECT_EQ(qvScalarArg<int64_t>(gSeen.words.data(), 4), 64);
  EXPECT_EQ(qvPtrArg<SQLLEN*>(gSeen.words.data(), 5), &indicator);

  const std::pair<SQLSMALLINT, SQLSMALLINT> types[] = {{91, 9}, {92, 10}, {93, 11}, {1, 1}, {-8, -8}};
  for (const auto& [given, passed] : types) {
    EXPECT_EQ(SQLGetData(stmt_.handle(), 1, given, buffer, 8, &indicator), 7);
    EXPECT_EQ(qvScalarArg<int16_t>(gSeen.words.data(), 2), passed) << given;
    EXPECT_EQ(SQLBindParameter(stmt_.handle(), 2, SQL_PARAM_INPUT, given, given, 10, 0, buffer, 8, &indicator), 7);
    EXPECT_EQ(qvScalarArg<int16_t>(gSeen.words.data(), 3), passed) << given;
    EXPECT_EQ(qvScalarArg<int16_t>(gSeen.words.data(), 4), passed) << given;
    EXPECT_EQ(qvScalarArg<uint64_t>(gSeen.words.data(), 5), 10u);
  }
}

TEST_F(Dispatch, NumbersOutsideTheTableFail) {
  LmoTLS* ctx = conn_.dbc()->tls.lmo;
  for (int32_t number : {0, 47, -1}) {
    ctx->result = 0;
    EXPECT_EQ(QvExecFuncOnThread(ctx, number, 0, nullptr), -1) << number;
    EXPECT_EQ(static_cast<uint16_t>(ctx->result), 65535) << number;
  }
  EXPECT_EQ(conn_.dbc()->tls.gutil->ownerThreadId, 0u) << "parked again";
}

TEST_F(Dispatch, MultiThreadedCallSeesTheConnectionsRecordsUnderItsOwnId) {
  table_[QV_FN_FETCH] = recordFetch;
  ASSERT_EQ(QvIsMultiThreaded(), 1);
  std::thread([&] { EXPECT_EQ(SQLFetch(stmt_.handle()), 7); }).join();
  EXPECT_NE(gSeen.threadId, 0u);
  EXPECT_EQ(gSeen.gutil, conn_.dbc()->tls.gutil) << "found by the caller's id during the call";
  EXPECT_FALSE(gSeen.driverMutexHeld);
  for (void* r : {static_cast<void*>(conn_.dbc()->tls.lmo), static_cast<void*>(conn_.dbc()->tls.session)})
    EXPECT_EQ(*static_cast<uint64_t*>(r), 0u) << "parked after the call";
  EXPECT_EQ(conn_.dbc()->tls.xm->cacheSlot->threadId.load(), 0u);
}

TEST_F(Dispatch, SingleThreadedCallsRunUnderTheDriverMutex) {
  table_[QV_FN_FETCH] = recordFetch;
  QvSetMultiThread(0);
  const SQLRETURN rc = SQLFetch(stmt_.handle());
  QvSetMultiThread(1);
  EXPECT_EQ(rc, 7);
  EXPECT_TRUE(gSeen.driverMutexHeld);
  EXPECT_EQ(gSeen.threadId, glMainThreadId);
  EXPECT_EQ(conn_.dbc()->tls.gutil->ownerThreadId, 0u) << "no thread id changes";
}

// A call that waits until `peers` calls are inside at once, or a while.
std::atomic<int> gInside{0};
std::atomic<int> gMostInside{0};
int16_t overlapping(uint64_t*) {
  const int now = ++gInside;
  int most = gMostInside.load();
  while (now > most && !gMostInside.compare_exchange_weak(most, now)) {
  }
  const auto until = std::chrono::steady_clock::now() + 150ms;
  while (gInside.load() < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  --gInside;
  return 0;
}

TEST_F(Dispatch, ConnectionsRunAtOnceAndOneConnectionsCallsInTurn) {
  table_[QV_FN_FETCH] = overlapping;
  TestConnection other;
  TestStatement otherStmt(other);
  auto twoCalls = [](SQLHSTMT a, SQLHSTMT b) {
    gMostInside = 0;
    std::thread t1([&] { SQLFetch(a); });
    std::thread t2([&] { SQLFetch(b); });
    t1.join();
    t2.join();
    return gMostInside.load();
  };
  EXPECT_EQ(twoCalls(stmt_.handle(), otherStmt.handle()), 2);
  EXPECT_EQ(twoCalls(stmt_.handle(), stmt_.handle()), 1);
}

TEST_F(Dispatch, HandlesThatAreNoLiveRecordsAreRefused) {
  int bogus = 0;
  EXPECT_EQ(SQLFetch(&bogus), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLExecute(conn_.handle()), SQL_INVALID_HANDLE) << "a connection is no statement";
  EXPECT_EQ(SQLDisconnect(stmt_.handle()), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLErrorW(&bogus, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFetch(nullptr), SQL_ERROR);
  EXPECT_EQ(SQLGetFunctions(nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLCancel(nullptr), SQL_INVALID_HANDLE);
}

// A core's refusal is S1C00 on its handle, which SQLError reads behind the
// message prefix.
TEST_F(Dispatch, RefusalOfACoreReadsBehindThePrefix) {
  SQLULEN value = 0;
  EXPECT_EQ(SQLGetStmtOption(stmt_.handle(), SQL_NOSCAN, &value), SQL_ERROR);
  SQLCHAR state[6] = {0};
  SQLINTEGER native = -1;
  SQLCHAR message[128] = {0};
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLError(nullptr, nullptr, stmt_.handle(), state, &native, message, sizeof message, &length), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "S1C00");
  const std::string text = "[Quenlow][Varenta JDBC]Driver not capable - SQLGetStmtOption(Option=2): Driver not capable";
  EXPECT_EQ(reinterpret_cast<char*>(message), text);
  EXPECT_EQ(length, static_cast<SQLSMALLINT>(text.size()));
  EXPECT_EQ(SQLError(nullptr, nullptr, stmt_.handle(), state, &native, message, sizeof message, &length), SQL_NO_DATA);
}

// A diagnostic popped into a short buffer: the start of it and a
// terminator, its whole length, and a result that says it was cut.
TEST_F(Dispatch, NarrowErrorIntoShortBuffer) {
  lmoAddSQLStateW(&stmt_.stmt()->errors, L"S1000", 0, L"abcdefghijklmnopqrst");
  SQLCHAR state[6] = {0};
  SQLINTEGER native = -1;
  SQLCHAR message[8];
  std::memset(message, '#', sizeof message);
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLError(nullptr, nullptr, stmt_.handle(), state, &native, message, 5, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(message), "[Que");
  EXPECT_EQ(message[5], '#');
  EXPECT_EQ(length, 23 + 20);
  EXPECT_EQ(stmt_.stmt()->errors.count, 0u) << "no diagnostic of its own: the next read would meet it again";
}

int16_t gCursorNameSize = 0;
int16_t cursorName(uint64_t* w) {
  gCursorNameSize = qvScalarArg<int16_t>(w, 2);
  std::snprintf(qvPtrArg<char*>(w, 1), static_cast<size_t>(gCursorNameSize), "%s", "SQL_CUR1");
  if (auto* length = qvPtrArg<int16_t*>(w, 3)) *length = 8;
  return gCursorNameSize > 8 ? 0 : 1;  // cut, as the core reports it
}

// The wide form reads the name through a 200-byte narrow buffer, whatever
// size the caller gives.
TEST_F(Dispatch, WideCursorNameAsksAtMost200Bytes) {
  table_[QV_FN_GETCURSORNAME] = cursorName;
  QvSetWideUnitForTest(4);
  std::vector<SQLWCHAR> name(1000, L'#');
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLGetCursorNameW(stmt_.handle(), name.data(), 1000, &length), SQL_SUCCESS);
  EXPECT_EQ(gCursorNameSize, 200);
  EXPECT_EQ(std::wstring(name.data()), L"SQL_CUR1");
  EXPECT_EQ(length, 8);
  EXPECT_EQ(SQLGetCursorNameW(stmt_.handle(), name.data(), 5, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(gCursorNameSize, 5);
  EXPECT_EQ(length, 8);
  QvSetWideUnitForTest(0);
}

int16_t recordColumns(uint64_t* w) {
  record(w, 9);
  gSeen.nulls.clear();
  gSeen.lengths.clear();
  for (int i = 1; i < 9; i += 2) {
    gSeen.nulls.push_back(qvPtrArg<wchar_t*>(w, i) == nullptr);
    gSeen.lengths.push_back(qvScalarArg<int16_t>(w, i + 1));
  }
  const wchar_t* table = qvPtrArg<wchar_t*>(w, 5);
  gSeen.text = table != nullptr ? table : L"";
  return 0;
}

TEST_F(Dispatch, NarrowCatalogNamesWidenAndEmptyOnesPassAsNull) {
  table_[QV_FN_COLUMNS] = recordColumns;
  auto* empty = reinterpret_cast<SQLCHAR*>(const_cast<char*>(""));
  auto* table = reinterpret_cast<SQLCHAR*>(const_cast<char*>("EMPLOYEES_AND_MORE"));
  EXPECT_EQ(SQLColumns(stmt_.handle(), nullptr, 0, empty, SQL_NTS, table, 9, empty, 0), 0);
  EXPECT_EQ(gSeen.nulls, (std::vector<bool>{true, true, false, true}));
  EXPECT_EQ(gSeen.lengths, (std::vector<int64_t>{SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS}));
  EXPECT_EQ(gSeen.text, L"EMPLOYEES");
}

// The driver's answer to which functions it has, with the real table.
TEST_F(Dispatch, GetFunctionsAnswersOneAllAsBooleansAndAllAsBitmap) {
  std::vector<SQLUSMALLINT> bitmap(kApiOdbc3AllFunctionsSize + 2, 0xBEEF);
  ASSERT_EQ(SQLGetFunctions(conn_.handle(), SQL_API_ODBC3_ALL_FUNCTIONS, bitmap.data()), SQL_SUCCESS);
  std::vector<int> set;
  for (int id = 0; id < kApiOdbc3AllFunctionsSize * 16; ++id)
    if ((bitmap[id >> 4] >> (id & 15)) & 1) set.push_back(id);
  std::vector<int> expected;
  for (int id = 1; id <= 23; ++id) expected.push_back(id);
  for (int id = 40; id <= 54; ++id) expected.push_back(id);
  for (int id : {57, 60, 63, 65, 66, 67, 71, 72, 1001, 1003, 1005, 1006, 1007, 1012, 1014, 1016, 1019, 1020})
    expected.push_back(id);
  EXPECT_EQ(set, expected) << "55, 58, 59, 61, 1011 and 1021 stay clear";
  EXPECT_EQ(bitmap[kApiOdbc3AllFunctionsSize], 0xBEEF);

  std::vector<SQLUSMALLINT> booleans(102, 0xBEEF);
  ASSERT_EQ(SQLGetFunctions(conn_.handle(), SQL_API_ALL_FUNCTIONS, booleans.data()), SQL_SUCCESS);
  for (int id = 0; id < 100; ++id)
    EXPECT_EQ(booleans[id], std::count(expected.begin(), expected.end(), id) ? 1 : 0) << id;
  EXPECT_EQ(booleans[100], 0xBEEF) << "100 booleans, no more";

  SQLUSMALLINT one = 7;
  EXPECT_EQ(SQLGetFunctions(conn_.handle(), SQL_API_SQLFETCH, &one), SQL_SUCCESS);
  EXPECT_EQ(one, 1);
  EXPECT_EQ(SQLGetFunctions(conn_.handle(), SQL_API_SQLBROWSECONNECT, &one), SQL_SUCCESS);
  EXPECT_EQ(one, 0);
}

}  // namespace
