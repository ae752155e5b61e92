// The driver as an ODBC application sees it: loaded through unixODBC's
// library, talking to rdapeer on 127.0.0.1, with plain SQLite in this
// process beside each benchmark as the floor (the same work on a database
// of the same shape, without driver, protocol or peer).
//
//   bench_odbc [--fetchblock=N] [Google Benchmark flags]
//
// The peer's database and the floor's lie in memory (/dev/shm), so that
// commits measure the road and not a disk. [COMMON] FETCHBLOCK_SIZE (rows
// per FETCH request, 100 unless --fetchblock says otherwise) is read once
// per process by the driver: run the program once per block size.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "support/memory_dir.h"
#include "support/peer_process.h"

namespace {

constexpr int kTableRows = 10000;
int gFetchBlock = 100;

std::string errorsOf(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  std::string out;
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR text[600];
  SQLSMALLINT length = 0;
  while (SQLError(env, dbc, stmt, state, &native, text, sizeof text, &length) == SQL_SUCCESS)
    out += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text) + "; ";
  return out;
}

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }
SQLCHAR* text(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

// rdapeer on a database of kTableRows rows, the configuration that names it
// for the driver and unixODBC, and the driver's environment; made once.
struct World {
  MemoryDir dir;
  std::unique_ptr<PeerProcess> peer;
  SQLHENV env = SQL_NULL_HENV;
  std::string failure;

  World() {
    const std::string d = dir.path().string();
    const std::string db = d + "/peer.sqlite";
    fillTable(db);
    peer = std::make_unique<PeerProcess>(dir.path() / "peer",
                                         std::vector<std::string>{"--user", "u:p", "--db", db, "--idle", "600"});
    if (peer->port() <= 0) {
      failure = "rdapeer did not start: " + peer->errors();
      return;
    }
    std::filesystem::create_directories(dir.path() / "schema");
    std::ofstream(d + "/mirodel.ini") << "[COMMON]\nqv_root=" << d << "\nSchemaPath=" << d
                                      << "/schema/\nFETCHBLOCK_SIZE=" << gFetchBlock
                                      << "\n[CLIENT]\nRESPONSE_TIME_OUT=60\n";
    std::ofstream(d + "/schema/qvdrd.ini") << "[bench]\nADDRESS=127.0.0.1\nPORT=" << peer->port() << "\n";
    std::ofstream(d + "/odbcinst.ini") << "[rdadriver]\nDriver=" << RDADRIVER_PATH << "\nThreading=0\n";
    std::ofstream(d + "/odbc.ini") << "[bench]\nDriver=rdadriver\n";
    setenv("ODBCSYSINI", d.c_str(), 1);
    setenv("ODBCINI", (d + "/odbc.ini").c_str(), 1);
    setenv("MIRODEL_INI", (d + "/mirodel.ini").c_str(), 1);
    setenv("DEFAULT_TRACE_OUTPUT", (d + "/qvstart.log").c_str(), 1);
    unsetenv("ODBCINSTINI");
    if (!ok(SQLAllocEnv(&env))) failure = "no ODBC environment";
  }
  ~World() {
    if (env != SQL_NULL_HENV) SQLFreeEnv(env);
  }

  // The benchmark table: id, name, score, born, note (NULL in every third
  // row), as both databases hold it.
  static void fillTable(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE bench(id INTEGER PRIMARY KEY, name VARCHAR(40), score DOUBLE, born DATE, note "
                 "VARCHAR(20));"
                 "CREATE TABLE target(id INTEGER, name VARCHAR(40));"
                 "BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO bench VALUES (?, ?, ?, ?, ?)", -1, &s, nullptr);
    for (int i = 1; i <= kTableRows; ++i) {
      char name[40];
      std::snprintf(name, sizeof name, "name of row %d", i);
      sqlite3_bind_int(s, 1, i);
      sqlite3_bind_text(s, 2, name, -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(s, 3, i * 0.5);
      sqlite3_bind_text(s, 4, "2001-02-03", -1, SQLITE_STATIC);
      if (i % 3 == 0) sqlite3_bind_null(s, 5);
      else sqlite3_bind_text(s, 5, "a note", -1, SQLITE_STATIC);
      sqlite3_step(s);
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
};

World& world() {
  static World w;
  return w;
}

// A connected ODBC connection for the length of one benchmark.
struct Connection {
  SQLHDBC dbc = SQL_NULL_HDBC;
  std::string failure;
  Connection() {
    World& w = world();
    if (!w.failure.empty()) {
      failure = w.failure;
      return;
    }
    SQLAllocConnect(w.env, &dbc);
    if (!ok(SQLConnect(dbc, text("bench"), SQL_NTS, text("u"), SQL_NTS, text("p"), SQL_NTS)))
      failure = "connect: " + errorsOf(SQL_NULL_HENV, dbc, SQL_NULL_HSTMT);
  }
  ~Connection() {
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
  }
};

// The floor's own database, a copy of the peer's shape.
struct Floor {
  sqlite3* db = nullptr;
  Floor() {
    const std::string file = (world().dir.path() / "floor.sqlite").string();
    static const bool filled = (World::fillTable(file), true);
    (void)filled;
    sqlite3_open(file.c_str(), &db);
  }
  ~Floor() { sqlite3_close(db); }
};

// ---------------------------------------------------------------------------

void BM_OdbcConnectDisconnect(benchmark::State& state) {
  World& w = world();
  if (!w.failure.empty()) {
    state.SkipWithError(w.failure.c_str());
    return;
  }
  for (auto _ : state) {
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocConnect(w.env, &dbc);
    if (!ok(SQLConnect(dbc, text("bench"), SQL_NTS, text("u"), SQL_NTS, text("p"), SQL_NTS))) {
      state.SkipWithError(("connect: " + errorsOf(SQL_NULL_HENV, dbc, SQL_NULL_HSTMT)).c_str());
      SQLFreeConnect(dbc);
      break;
    }
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OdbcConnectDisconnect)->UseRealTime();

void BM_SqliteOpenClose(benchmark::State& state) {
  const std::string file = (world().dir.path() / "floor-open.sqlite").string();
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    // The schema is read at the first statement.
    sqlite3_exec(db, "SELECT 1", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SqliteOpenClose)->UseRealTime();

// One row by key: execute, fetch, read one column, close.
void BM_OdbcOneRowSelect(benchmark::State& state) {
  Connection c;
  if (!c.failure.empty()) {
    state.SkipWithError(c.failure.c_str());
    return;
  }
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(c.dbc, &stmt);
  int64_t row = 0;
  for (auto _ : state) {
    char sql[64];
    std::snprintf(sql, sizeof sql, "SELECT name FROM bench WHERE id = %lld", static_cast<long long>(row++ % kTableRows + 1));
    char name[64];
    SQLLEN ind = 0;
    if (!ok(SQLExecDirect(stmt, text(sql), SQL_NTS)) || !ok(SQLFetch(stmt)) ||
        !ok(SQLGetData(stmt, 1, SQL_C_CHAR, name, sizeof name, &ind))) {
      state.SkipWithError(errorsOf(SQL_NULL_HENV, SQL_NULL_HDBC, stmt).c_str());
      break;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
  }
  SQLFreeStmt(stmt, SQL_DROP);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OdbcOneRowSelect)->UseRealTime();

void BM_SqliteOneRowSelect(benchmark::State& state) {
  Floor f;
  int64_t row = 0;
  for (auto _ : state) {
    char sql[64];
    std::snprintf(sql, sizeof sql, "SELECT name FROM bench WHERE id = %lld", static_cast<long long>(row++ % kTableRows + 1));
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(f.db, sql, -1, &s, nullptr);
    sqlite3_step(s);
    char name[64];
    std::snprintf(name, sizeof name, "%s", reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    benchmark::DoNotOptimize(name);
    sqlite3_finalize(s);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SqliteOneRowSelect)->UseRealTime();

// Every row of the table, five columns each; arg 0 reads them with
// SQLGetData, arg 1 through bound columns.
void BM_OdbcFetchRows(benchmark::State& state) {
  const bool bound = state.range(0) != 0;
  Connection c;
  if (!c.failure.empty()) {
    state.SkipWithError(c.failure.c_str());
    return;
  }
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(c.dbc, &stmt);
  SQLINTEGER id = 0;
  char name[64], born[16], note[32];
  double score = 0;
  SQLLEN ind[5];
  if (bound) {
    SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &ind[0]);
    SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
    SQLBindCol(stmt, 3, SQL_C_DOUBLE, &score, 0, &ind[2]);
    SQLBindCol(stmt, 4, SQL_C_CHAR, born, sizeof born, &ind[3]);
    SQLBindCol(stmt, 5, SQL_C_CHAR, note, sizeof note, &ind[4]);
  }
  int64_t rows = 0;
  for (auto _ : state) {
    if (!ok(SQLExecDirect(stmt, text("SELECT id, name, score, born, note FROM bench"), SQL_NTS))) {
      state.SkipWithError(errorsOf(SQL_NULL_HENV, SQL_NULL_HDBC, stmt).c_str());
      break;
    }
    SQLRETURN rc;
    while (ok(rc = SQLFetch(stmt))) {
      if (!bound) {
        SQLGetData(stmt, 1, SQL_C_LONG, &id, 0, &ind[0]);
        SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
        SQLGetData(stmt, 3, SQL_C_DOUBLE, &score, 0, &ind[2]);
        SQLGetData(stmt, 4, SQL_C_CHAR, born, sizeof born, &ind[3]);
        SQLGetData(stmt, 5, SQL_C_CHAR, note, sizeof note, &ind[4]);
      }
      ++rows;
    }
    if (rc != SQL_NO_DATA) {
      state.SkipWithError(errorsOf(SQL_NULL_HENV, SQL_NULL_HDBC, stmt).c_str());
      break;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
  }
  SQLFreeStmt(stmt, SQL_DROP);
  state.SetItemsProcessed(rows);
  state.counters["fetchblock"] = gFetchBlock;
}
BENCHMARK(BM_OdbcFetchRows)->Arg(0)->Arg(1)->ArgName("bound")->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SqliteFetchRows(benchmark::State& state) {
  Floor f;
  int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(f.db, "SELECT id, name, score, born, note FROM bench", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
      char name[64], born[16], note[32];
      benchmark::DoNotOptimize(sqlite3_column_int(s, 0));
      std::snprintf(name, sizeof name, "%s", reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
      benchmark::DoNotOptimize(sqlite3_column_double(s, 2));
      std::snprintf(born, sizeof born, "%s", reinterpret_cast<const char*>(sqlite3_column_text(s, 3)));
      const unsigned char* n = sqlite3_column_text(s, 4);
      std::snprintf(note, sizeof note, "%s", n != nullptr ? reinterpret_cast<const char*>(n) : "");
      benchmark::DoNotOptimize(name);
      ++rows;
    }
    sqlite3_finalize(s);
  }
  state.SetItemsProcessed(rows);
}
BENCHMARK(BM_SqliteFetchRows)->UseRealTime()->Unit(benchmark::kMillisecond);

// One prepared INSERT with two parameters per iteration, each committed
// (autocommit).
void BM_OdbcParamInsert(benchmark::State& state) {
  Connection c;
  if (!c.failure.empty()) {
    state.SkipWithError(c.failure.c_str());
    return;
  }
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(c.dbc, &stmt);
  SQLINTEGER id = 0;
  char name[40] = "";
  SQLLEN nameInd = SQL_NTS;
  SQLPrepare(stmt, text("INSERT INTO target VALUES (?, ?)"), SQL_NTS);
  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, name, sizeof name, &nameInd);
  for (auto _ : state) {
    ++id;
    std::snprintf(name, sizeof name, "inserted %d", static_cast<int>(id));
    if (!ok(SQLExecute(stmt))) {
      state.SkipWithError(errorsOf(SQL_NULL_HENV, SQL_NULL_HDBC, stmt).c_str());
      break;
    }
  }
  SQLFreeStmt(stmt, SQL_DROP);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OdbcParamInsert)->UseRealTime();

void BM_SqliteParamInsert(benchmark::State& state) {
  Floor f;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(f.db, "INSERT INTO target VALUES (?, ?)", -1, &s, nullptr);
  int id = 0;
  for (auto _ : state) {
    ++id;
    char name[40];
    std::snprintf(name, sizeof name, "inserted %d", id);
    sqlite3_bind_int(s, 1, id);
    sqlite3_bind_text(s, 2, name, -1, SQLITE_TRANSIENT);
    sqlite3_step(s);
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SqliteParamInsert)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Our own flag first; the rest is Google Benchmark's.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--fetchblock=", 13) == 0) gFetchBlock = std::atoi(argv[i] + 13);
    else argv[kept++] = argv[i];
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
