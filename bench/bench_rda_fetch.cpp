// Rows fetched through the RDA client's own calls (rda_cliFetch into bound
// columns) from rdapeer on 127.0.0.1: a table of 100,000 rows of five
// columns shaped like the block of bench_rda_rows' BM_DecodeTypicalResultBlock
// (INTEGER, CHAR VARYING, DECIMAL, a date-time and DOUBLE, about one value in
// three NULL), so that the rows/s of the whole road (requests, the stack,
// the peer's SQLite, decoding, the column queues, conversion into C types)
// can be set beside the decode-only figure.
//
//   bench_rda_fetch [--fetchblock=N] [Google Benchmark flags]
//
// [COMMON] FETCHBLOCK_SIZE (rows per FETCH request, 100 unless --fetchblock
// says otherwise) is read once per process: run the program once per block
// size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/qvthread.h"
#include "src/odbc/alltls.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_fetch.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/runtime/xm.h"
#include "src/session/tp0tcp.h"
#include "support/memory_dir.h"
#include "support/peer_process.h"
#include "support/recordset.h"
#include "support/stack.h"

namespace {

constexpr int kRows = 100000;
int gFetchBlock = 100;

// rdapeer on a table of kRows rows, the client's environment naming it and
// one connection; made once.
struct World {
  MemoryDir dir;
  std::unique_ptr<PeerProcess> peer;
  RDA_CliHENV* env = nullptr;
  RDA_CliHDBC* dbc = nullptr;
  std::string failure;

  World() {
    peer = std::make_unique<PeerProcess>(dir.path() / "peer", std::vector<std::string>{"--idle", "600"});
    if (peer->port() <= 0) {
      failure = "rdapeer did not start: " + peer->errors();
      return;
    }
    StackConfig config;
    config.serverPort = peer->port();
    config.responseTimeOut = 60;
    config.extraCommon = "FETCHBLOCK_SIZE=" + std::to_string(gFetchBlock) + "\n";
    const std::string ini = writeStackConfig(dir.path() / "client", config);
    setenv("MIRODEL_INI", ini.c_str(), 1);
    setenv("DEFAULT_TRACE_OUTPUT", (dir.path() / "qvstart.log").c_str(), 1);
    giQuietMode = 1;
    // What the driver's start-up does before its first environment: the
    // process mutexes, the thread's record set, its XM root.
    ensureProcessMutexes();
    QvSetMultiThread(1);
    if (QvCreateAllTLS() != 1 || xm_init() == nullptr) {
      failure = "no record set for the thread";
      return;
    }
    if (rda_cliAllocEnv(&env) != 0 || rda_cliAllocConnect(env, &dbc) != 0) {
      failure = "no client environment or connection";
      return;
    }
    if (rda_cliConnect(dbc, "rdatest", RDA_CLI_NTS, "scott", RDA_CLI_NTS, "tiger", RDA_CLI_NTS, nullptr) != 0) {
      failure = "connect refused";
      return;
    }
    const std::string fill =
        "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(kRows - 1) +
        ") INSERT INTO t SELECT "
        "CASE WHEN (x * 5) % 3 = 0 THEN NULL ELSE 100000 + x END, "
        "CASE WHEN (x * 5 + 1) % 3 = 0 THEN NULL ELSE 'customer ' || x || ' of the region' END, "
        "CASE WHEN (x * 5 + 2) % 3 = 0 THEN NULL ELSE (x * 37 % 100000) + (x % 100) / 100.0 END, "
        "CASE WHEN (x * 5 + 3) % 3 = 0 THEN NULL ELSE printf('2026-12-10 15:%02d:%02d', x / 60 % 60, x % 60) END, "
        "CASE WHEN (x * 5 + 4) % 3 = 0 THEN NULL ELSE 1.5 * (x % 64) END FROM c";
    for (const std::string& sql : {std::string("CREATE TABLE t (id INTEGER, name VARCHAR(64), amount NUMERIC(10,2), "
                                               "ordered_at TIMESTAMP, weight DOUBLE)"),
                                   fill}) {
      RDA_CliHSTMT* s = nullptr;
      const std::wstring w(sql.begin(), sql.end());
      if (rda_cliAllocStmt(dbc, &s) != 0 || rda_cliExecDirectNew(s, w.c_str(), RDA_CLI_NTS) != 0) {
        failure = "the table could not be made";
        return;
      }
      rda_cliFreeStmt(s, 1);
    }
  }
  ~World() {
    if (dbc != nullptr) {
      rda_cliDisconnect(dbc);
      rda_cliFreeConnect(dbc);
    }
    if (env != nullptr) rda_cliFreeEnv(env);
  }
};

World& world() {
  static World w;
  return w;
}

// One execution of the SELECT and a fetch of every row into five bound
// columns; the rows fetched.
int fetchAll(RDA_CliHSTMT* s) {
  static const wchar_t kSelect[] = L"SELECT id, name, amount, ordered_at, weight FROM t";
  int32_t id = 0;
  char name[65];
  char amount[34];
  RdaCliTimestamp when{};
  double weight = 0;
  int64_t ind[5] = {};
  if (rda_cliExecDirectNew(s, kSelect, RDA_CLI_NTS) != 0) return -1;
  rda_cliBindCol(s, 1, RDA_CLI_C_LONG, &id, 4, &ind[0]);
  rda_cliBindCol(s, 2, RDA_CLI_C_CHAR, name, sizeof name, &ind[1]);
  rda_cliBindCol(s, 3, RDA_CLI_C_CHAR, amount, sizeof amount, &ind[2]);
  rda_cliBindCol(s, 4, RDA_CLI_C_TIMESTAMP, &when, sizeof when, &ind[3]);
  rda_cliBindCol(s, 5, RDA_CLI_C_DOUBLE, &weight, 8, &ind[4]);
  int rows = 0;
  int32_t rc = 0;
  while ((rc = rda_cliFetch(s)) == 0 || rc == 1) {
    ++rows;
    benchmark::DoNotOptimize(id);
    benchmark::DoNotOptimize(weight);
  }
  if (rc != 100) return -1;
  rda_cliFreeStmt(s, 0);
  return rows;
}

void BM_FetchRowsThroughTheClient(benchmark::State& state) {
  World& w = world();
  if (!w.failure.empty()) {
    state.SkipWithError(w.failure.c_str());
    return;
  }
  RDA_CliHSTMT* s = nullptr;
  if (rda_cliAllocStmt(w.dbc, &s) != 0) {
    state.SkipWithError("no statement");
    return;
  }
  for (auto _ : state) {
    if (fetchAll(s) != kRows) {
      state.SkipWithError("the fetch did not deliver every row");
      break;
    }
  }
  rda_cliFreeStmt(s, 1);
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["fetchblock"] = gFetchBlock;
}
BENCHMARK(BM_FetchRowsThroughTheClient)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--fetchblock=", 13) == 0) {
      gFetchBlock = std::atoi(argv[i] + 13);
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      --i;
    }
  }
  if (gFetchBlock <= 0) {
    std::fprintf(stderr, "--fetchblock must be a positive number\n");
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
