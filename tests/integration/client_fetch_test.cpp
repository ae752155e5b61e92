// The RDA client end to end against rdapeer, through the rda_cli* calls
// only: when the fetch asks the server for rows, ten thousand rows of every
// column type into bound buffers of every C type their type converts to and
// read in pieces, long values whole and in pieces, the result sets and
// output values of a procedure call, cursor names in the server's texts,
// and a server that goes away between two fetches.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "integration/client_sql_fixture.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_cursor.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_fetch.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/runtime/xm.h"
#include "support/cli_diag.h"
#include "support/locale.h"

namespace {

using namespace std::chrono_literals;
using ClientFetch = ClientSql;

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
  char buf[512];
  va_list args;
  va_start(args, f);
  std::vsnprintf(buf, sizeof buf, f, args);
  va_end(args);
  return buf;
}

std::string hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += format("%02x", c);
  return out;
}

size_t count(const std::vector<std::string>& texts, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& t : texts)
    if (t.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// When the fetch asks the server

TEST_F(ClientFetch, TheFirstFetchAsksForRowsOnlyWhenTheOpenBroughtNone) {
  // FETCHBLOCK_SIZE=2: each FETCH asks for two rows.
  up({"--init-data", initData(64)}, 30, "FETCHBLOCK_SIZE=2\n");
  ASSERT_EQ(c_->optLevel, 0u);
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(s->fetchSize, 2u);
  ASSERT_EQ(run(s, "CREATE TABLE t (a INTEGER)"), 0) << message(s);
  ASSERT_EQ(run(s, "INSERT INTO t VALUES (1), (2), (3), (4), (5)"), 0) << message(s);
  // A plain open (DECLARE, OPEN) brings no rows: a FETCH goes out on the
  // first, third and fifth fetch.
  ASSERT_EQ(prepare(s, "SELECT a FROM t ORDER BY a"), 0) << message(s);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  texts();
  int32_t a = 0;
  ASSERT_EQ(rda_cliBindCol(s, 1, RDA_CLI_C_LONG, &a, 4, nullptr), 0);
  const std::string fetch = "FETCH SQLCUR" + id(s) + " INTO :H";
  for (int i = 1; i <= 5; ++i) {
    ASSERT_EQ(rda_cliFetch(s), 0) << i << " " << message(s);
    EXPECT_EQ(a, i);
    EXPECT_EQ(count(texts(), fetch), i % 2 == 1 ? 1u : 0u) << "fetch " << i;
  }
  // The fifth FETCH's answer ended the data: no more requests.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(rda_cliFetch(s), 100);
  EXPECT_TRUE(texts().empty());
  ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);

  // A FETCH answered with "02000" alone: 100, and no request after it.
  ASSERT_EQ(rda_cliExecDirectNew(s, L"DELETE FROM t", NTS), 0) << message(s);
  ASSERT_EQ(prepare(s, "SELECT a FROM t"), 0) << message(s);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  texts();
  EXPECT_EQ(rda_cliFetch(s), 100);
  EXPECT_EQ(s->errors.count, 0u);
  EXPECT_EQ(texts(), std::vector<std::string>{fetch});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rda_cliFetch(s), 100);
  EXPECT_TRUE(texts().empty());
}

TEST_F(ClientFetch, AFetchTheServerRefusesFailsWithTheServersDiagnostic) {
  up({"--init-data", initData(64)}, 30, "FETCHBLOCK_SIZE=2\n");
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "CREATE TABLE t (k INTEGER, a INTEGER)"), 0) << message(s);
  // The third row's value does not fit the column's 32 bits: the peer
  // refuses the FETCH that would bring it.
  ASSERT_EQ(run(s, "INSERT INTO t VALUES (1, 1), (2, 2), (3, 5000000000), (4, 4)"), 0) << message(s);
  ASSERT_EQ(prepare(s, "SELECT a FROM t ORDER BY k"), 0) << message(s);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  int32_t a = 0;
  ASSERT_EQ(rda_cliBindCol(s, 1, RDA_CLI_C_LONG, &a, 4, nullptr), 0);
  for (int i = 1; i <= 2; ++i) {
    ASSERT_EQ(rda_cliFetch(s), 0) << message(s);
    EXPECT_EQ(a, i);
  }
  a = 0;
  EXPECT_EQ(rda_cliFetch(s), -1);
  EXPECT_EQ(a, 0) << "no row delivered";
  const std::string said = lastDiag(s->errors).state + lastDiag(c_->errors).state;
  EXPECT_EQ(said, "22003") << message(s) << " / " << lastDiag(c_->errors).message;
  EXPECT_EQ(rda_cliFreeStmt(s, 0), 0) << message(s);
  // The connection goes on (the binding stays).
  ASSERT_EQ(run(s, "SELECT count(*) FROM t"), 0) << message(s);
  ASSERT_EQ(rda_cliFetch(s), 0) << message(s);
  EXPECT_EQ(a, 4);
}

TEST_F(ClientFetch, AnOptimisedOpenWithRowsNeedsNoFetchRequest) {
  up({}, 30, "FETCHBLOCK_SIZE=2\n");
  ASSERT_EQ(c_->optLevel, 1u);
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3"), 0) << message(s);
  texts();
  int32_t a = 0;
  ASSERT_EQ(rda_cliBindCol(s, 1, RDA_CLI_C_LONG, &a, 4, nullptr), 0);
  ASSERT_EQ(rda_cliFetch(s), 0);
  EXPECT_EQ(a, 1);
  EXPECT_TRUE(texts().empty()) << "the open brought the first block";
  ASSERT_EQ(rda_cliFetch(s), 0);
  EXPECT_TRUE(texts().empty());
  ASSERT_EQ(rda_cliFetch(s), 0);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(texts().size(), 1u) << "the next block";
  EXPECT_EQ(rda_cliFetch(s), 100);
  EXPECT_TRUE(texts().empty());
}

// ---------------------------------------------------------------------------
// Ten thousand rows at each level, with paging on and off

// The values of row x (NULL in every column but x when x % 97 is 0).
constexpr int kRows = 10000;
bool nullRow(int x) { return x % 97 == 0; }
int year(int x) { return 2000 + x % 25; }
int month(int x) { return 1 + x % 12; }
int day(int x) { return 1 + x % 28; }
int hour(int x) { return x % 24; }
int minute(int x) { return x % 60; }
int second(int x) { return x * 7 % 60; }
std::string dateText(int x) { return format("%04d-%02d-%02d", year(x), month(x), day(x)); }
std::string timeText(int x) { return format("%02d:%02d:%02d", hour(x), minute(x), second(x)); }
std::string stampText(int x) { return dateText(x) + " " + timeText(x); }
std::string rowText(int x) { return "row " + std::to_string(x); }
std::string wideText(int x) { return "w\xC3\xA9" + std::to_string(x) + "\xE2\x82\xAC"; }  // "wé<x>€"
size_t wideChars(int x) { return std::to_string(x).size() + 3; }
std::string bytesOf(int x) { return format("%08d", x); }

const char* kCreate =
    "CREATE TABLE t (x INTEGER, i INTEGER, bt INTEGER, ty INTEGER, d DOUBLE, n NUMERIC(10,2), vn VARCHAR(20), "
    "vb VARCHAR(20), v VARCHAR(20), vd VARCHAR(20), vt VARCHAR(20), vs VARCHAR(30), w NVARCHAR(20), "
    "b VARBINARY(8), dt DATE, tm TIME, ts TIMESTAMP)";

std::string insertRows() {
  auto n = [](const std::string& e) { return "CASE WHEN x % 97 = 0 THEN NULL ELSE " + e + " END"; };
  const std::string date = "printf('%04d-%02d-%02d', 2000 + x % 25, 1 + x % 12, 1 + x % 28)";
  const std::string time = "printf('%02d:%02d:%02d', x % 24, x % 60, x * 7 % 60)";
  return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(kRows) +
         ") INSERT INTO t SELECT x, " + n("x") + ", " + n("x % 2") + ", " + n("x % 200") + ", " + n("x + 0.5") + ", " +
         n("x + 0.25") + ", " + n("CAST(x AS TEXT)") + ", " + n("CAST(x % 2 AS TEXT)") + ", " + n("'row ' || x") + ", " +
         n(date) + ", " + n(time) + ", " + n(date + " || ' ' || " + time) + ", " +
         n("'w' || char(233) || x || char(8364)") + ", " + n("CAST(printf('%08d', x) AS BLOB)") + ", " + n(date) +
         ", " + n(time) + ", " + n(date + " || ' ' || " + time) + " FROM c";
}

// One bound column: the column, the C type, the buffer's length, and what
// row x must leave ("shown value/indicator").
struct Binding {
  const char* column;
  int16_t cType;
  std::function<std::string(int)> want;
  int16_t showAs = 0;  // how the buffer is shown when not as cType (SQL_C_DEFAULT)
  int64_t bufLen = 128;
};

std::string number(int64_t v, int ind) { return std::to_string(v) + "/" + std::to_string(ind); }
std::string text(const std::string& s) { return s + "/" + std::to_string(s.size()); }
std::string wide(const std::string& utf8, size_t chars) { return utf8 + "/" + std::to_string(chars * 4); }
std::string real4(double v) { return format("%.9g/4", static_cast<double>(static_cast<float>(v))); }
std::string real8(double v) { return format("%.17g/8", v); }
std::string date(int x) { return format("%d-%d-%d/6", year(x), month(x), day(x)); }
std::string time(int x) { return format("%d:%d:%d/6", hour(x), minute(x), second(x)); }
std::string stamp(int y, int mo, int d, int h, int mi, int s) { return format("%d-%d-%d %d:%d:%d.0/16", y, mo, d, h, mi, s); }
std::string g15(double v) { return format("%.15G", v); }

// The buffer as C type `c`, and the indicator.
std::string shown(int16_t c, const unsigned char* buf, int64_t bufLen, int64_t ind) {
  if (ind == -1) return "NULL";
  auto as = [&](auto v) {
    std::memcpy(&v, buf, sizeof v);
    return v;
  };
  std::string v;
  switch (c) {
    case RDA_CLI_C_ULONG: v = std::to_string(as(uint32_t{})); break;
    case RDA_CLI_C_USHORT: v = std::to_string(as(uint16_t{})); break;
    case RDA_CLI_C_SLONG: case RDA_CLI_C_LONG: v = std::to_string(as(int32_t{})); break;
    case RDA_CLI_C_SSHORT: case RDA_CLI_C_SHORT: v = std::to_string(as(int16_t{})); break;
    case RDA_CLI_C_BIT: case RDA_CLI_C_TINYINT: v = std::to_string(buf[0]); break;
    case RDA_CLI_C_FLOAT: v = format("%.9g", static_cast<double>(as(float{}))); break;
    case RDA_CLI_C_DOUBLE: v = format("%.17g", as(double{})); break;
    case RDA_CLI_C_DATE: {
      const auto d = as(RdaCliDate{});
      v = format("%d-%d-%d", d.year, d.month, d.day);
      break;
    }
    case RDA_CLI_C_TIME: {
      const auto t = as(RdaCliTime{});
      v = format("%d:%d:%d", t.hour, t.minute, t.second);
      break;
    }
    case RDA_CLI_C_TIMESTAMP: {
      const auto t = as(RdaCliTimestamp{});
      v = format("%d-%d-%d %d:%d:%d.%u", t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction);
      break;
    }
    case RDA_CLI_C_CHAR: v.assign(reinterpret_cast<const char*>(buf), strnlen(reinterpret_cast<const char*>(buf), bufLen)); break;
    case RDA_CLI_C_WCHAR: {
      std::wstring w;
      for (int64_t i = 0; i + 4 <= bufLen; i += 4) {
        wchar_t ch;
        std::memcpy(&ch, buf + i, 4);
        if (ch == 0) break;
        w.push_back(ch);
      }
      v = utf8(w.c_str());
      break;
    }
    case RDA_CLI_C_BINARY:
      v = hex(std::string(reinterpret_cast<const char*>(buf), static_cast<size_t>(ind < bufLen ? ind : bufLen)));
      break;
    default: v = "?"; break;
  }
  return v + "/" + std::to_string(ind);
}

std::vector<Binding> bindings() {
  const auto x4 = [](int x) { return number(x, 4); };
  const auto x2 = [](int x) { return number(x, 2); };
  const auto xText = [](int x) { return text(std::to_string(x)); };
  const auto xWide = [](int x) { return wide(std::to_string(x), std::to_string(x).size()); };
  return {
      // INTEGER
      {"i", RDA_CLI_C_ULONG, x4}, {"i", RDA_CLI_C_USHORT, x2}, {"i", RDA_CLI_C_SLONG, x4},
      {"i", RDA_CLI_C_SSHORT, x2}, {"bt", RDA_CLI_C_BIT, [](int x) { return number(x % 2, 1); }},
      {"ty", RDA_CLI_C_TINYINT, [](int x) { return number(x % 200, 1); }},
      {"i", RDA_CLI_C_DEFAULT, x4, RDA_CLI_C_LONG}, {"i", RDA_CLI_C_CHAR, xText}, {"i", RDA_CLI_C_LONG, x4},
      {"i", RDA_CLI_C_SHORT, x2}, {"i", RDA_CLI_C_FLOAT, [](int x) { return real4(x); }},
      {"i", RDA_CLI_C_DOUBLE, [](int x) { return real8(x); }}, {"i", RDA_CLI_C_WCHAR, xWide},
      // DOUBLE
      {"d", RDA_CLI_C_ULONG, x4}, {"d", RDA_CLI_C_USHORT, x2}, {"d", RDA_CLI_C_SLONG, x4}, {"d", RDA_CLI_C_SSHORT, x2},
      {"d", RDA_CLI_C_DEFAULT, [](int x) { return real8(x + 0.5); }, RDA_CLI_C_DOUBLE},
      {"d", RDA_CLI_C_CHAR, [](int x) { return text(g15(x + 0.5)); }}, {"d", RDA_CLI_C_LONG, x4},
      {"d", RDA_CLI_C_SHORT, x2}, {"d", RDA_CLI_C_FLOAT, [](int x) { return real4(x + 0.5); }},
      {"d", RDA_CLI_C_DOUBLE, [](int x) { return real8(x + 0.5); }},
      {"d", RDA_CLI_C_WCHAR, [](int x) { return wide(g15(x + 0.5), g15(x + 0.5).size()); }},
      // NUMERIC(10,2)
      {"n", RDA_CLI_C_ULONG, x4}, {"n", RDA_CLI_C_USHORT, x2}, {"n", RDA_CLI_C_SLONG, x4}, {"n", RDA_CLI_C_SSHORT, x2},
      {"n", RDA_CLI_C_DEFAULT, [](int x) { return text(std::to_string(x) + ".25"); }, RDA_CLI_C_CHAR},
      {"n", RDA_CLI_C_CHAR, [](int x) { return text(std::to_string(x) + ".25"); }}, {"n", RDA_CLI_C_LONG, x4},
      {"n", RDA_CLI_C_SHORT, x2}, {"n", RDA_CLI_C_FLOAT, [](int x) { return real4(x + 0.25); }},
      {"n", RDA_CLI_C_DOUBLE, [](int x) { return real8(x + 0.25); }},
      {"n", RDA_CLI_C_WCHAR, [](int x) { return wide(std::to_string(x) + ".25", std::to_string(x).size() + 3); }},
      // VARCHAR
      {"vn", RDA_CLI_C_ULONG, x4}, {"vn", RDA_CLI_C_USHORT, x2}, {"vn", RDA_CLI_C_SLONG, x4},
      {"vn", RDA_CLI_C_SSHORT, x2}, {"vb", RDA_CLI_C_BIT, [](int x) { return number(x % 2, 1); }},
      {"vb", RDA_CLI_C_TINYINT, [](int x) { return number(x % 2, 1); }},
      {"v", RDA_CLI_C_BINARY, [](int x) { return hex(rowText(x)) + "/" + std::to_string(rowText(x).size()); }},
      {"v", RDA_CLI_C_DEFAULT, [](int x) { return text(rowText(x)); }, RDA_CLI_C_CHAR},
      {"v", RDA_CLI_C_CHAR, [](int x) { return text(rowText(x)); }}, {"vn", RDA_CLI_C_LONG, x4},
      {"vn", RDA_CLI_C_SHORT, x2}, {"vn", RDA_CLI_C_FLOAT, [](int x) { return real4(x); }},
      {"vn", RDA_CLI_C_DOUBLE, [](int x) { return real8(x); }}, {"vd", RDA_CLI_C_DATE, date},
      {"vt", RDA_CLI_C_TIME, time},
      {"vs", RDA_CLI_C_TIMESTAMP, [](int x) { return stamp(year(x), month(x), day(x), hour(x), minute(x), second(x)); }},
      {"v", RDA_CLI_C_WCHAR, [](int x) { return wide(rowText(x), rowText(x).size()); }},
      // WVARCHAR
      {"w", RDA_CLI_C_DEFAULT, [](int x) { return wide(wideText(x), wideChars(x)); }, RDA_CLI_C_WCHAR},
      {"w", RDA_CLI_C_CHAR, [](int x) { return text(wideText(x)); }},
      {"w", RDA_CLI_C_WCHAR, [](int x) { return wide(wideText(x), wideChars(x)); }},
      // VARBINARY(8)
      {"b", RDA_CLI_C_BINARY, [](int x) { return hex(bytesOf(x)) + "/8"; }},
      {"b", RDA_CLI_C_DEFAULT, [](int x) { return hex(bytesOf(x)) + "/8"; }, RDA_CLI_C_BINARY},
      {"b", RDA_CLI_C_CHAR, [](int x) { return hex(bytesOf(x)) + "/16"; }},
      {"b", RDA_CLI_C_WCHAR, [](int x) { return wide(hex(bytesOf(x)), 16); }},
      // DATE
      {"dt", RDA_CLI_C_BINARY, [](int x) { return hex(dateText(x)) + "/10"; }},
      {"dt", RDA_CLI_C_DEFAULT, date, RDA_CLI_C_DATE}, {"dt", RDA_CLI_C_CHAR, [](int x) { return text(dateText(x)); }},
      {"dt", RDA_CLI_C_DATE, date},
      {"dt", RDA_CLI_C_TIMESTAMP, [](int x) { return stamp(year(x), month(x), day(x), 0, 0, 0); }},
      {"dt", RDA_CLI_C_WCHAR, [](int x) { return wide(dateText(x), 10); }},
      // TIME
      {"tm", RDA_CLI_C_BINARY, [](int x) { return hex(timeText(x)) + "/8"; }},
      {"tm", RDA_CLI_C_DEFAULT, time, RDA_CLI_C_TIME}, {"tm", RDA_CLI_C_CHAR, [](int x) { return text(timeText(x)); }},
      {"tm", RDA_CLI_C_TIME, time},
      {"tm", RDA_CLI_C_TIMESTAMP, [](int x) { return stamp(1970, 1, 1, hour(x), minute(x), second(x)); }},
      {"tm", RDA_CLI_C_WCHAR, [](int x) { return wide(timeText(x), 8); }},
      // TIMESTAMP
      {"ts", RDA_CLI_C_BINARY, [](int x) { return hex(stampText(x)) + "/19"; }},
      {"ts", RDA_CLI_C_DEFAULT,
       [](int x) { return stamp(year(x), month(x), day(x), hour(x), minute(x), second(x)); }, RDA_CLI_C_TIMESTAMP},
      {"ts", RDA_CLI_C_CHAR, [](int x) { return text(stampText(x)); }}, {"ts", RDA_CLI_C_DATE, date},
      {"ts", RDA_CLI_C_TIME, time},
      {"ts", RDA_CLI_C_TIMESTAMP,
       [](int x) { return stamp(year(x), month(x), day(x), hour(x), minute(x), second(x)); }},
      {"ts", RDA_CLI_C_WCHAR, [](int x) { return wide(stampText(x), 19); }},
  };
}

// Reads an unbound column of the current row with SQLGetData in pieces of
// `piece` bytes; the pieces joined (as UTF-8 for wide text), or "NULL".
std::string readInPieces(RDA_CliHSTMT* s, int16_t col, int16_t cType, int64_t piece, int* calls) {
  std::vector<unsigned char> buf(static_cast<size_t>(piece));
  std::string out;
  std::wstring w;
  for (*calls = 0;; ++*calls) {
    int64_t ind = 0;
    const int32_t rc = rda_cliGetCol(s, col, cType, buf.data(), piece, &ind);
    if (rc == 100) break;
    if (rc != 0 && rc != 1) return "error " + lastDiag(s->errors).message;
    if (ind == -1) return "NULL";
    if (cType == RDA_CLI_C_BINARY) {
      out.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(ind < piece ? ind : piece));
    } else if (cType == RDA_CLI_C_WCHAR) {
      for (int64_t i = 0; i + 4 <= piece; i += 4) {
        wchar_t ch;
        std::memcpy(&ch, buf.data() + i, 4);
        if (ch == 0) break;
        w.push_back(ch);
      }
    } else {
      out.append(reinterpret_cast<const char*>(buf.data()));
    }
    if (rc == 0) {
      ++*calls;
      break;
    }
  }
  return cType == RDA_CLI_C_WCHAR ? utf8(w.c_str()) : out;
}

struct LevelAndPaging {
  int level;
  int paging;
};

class ClientRows : public ClientSql, public ::testing::WithParamInterface<LevelAndPaging> {
 protected:
  void SetUp() override {
    ClientSql::SetUp();
    savedPaging_ = giEnablePaging;
    giEnablePaging = GetParam().paging;
  }
  void TearDown() override {
    ClientSql::TearDown();
    giEnablePaging = savedPaging_;
  }

 private:
  int32_t savedPaging_ = 1;
};

TEST_P(ClientRows, TenThousandRowsIntoEveryCTypeAndInPieces) {
  LocaleGuard locale("C.UTF-8");
  ASSERT_TRUE(locale.ok());
  up({"--init-data", initData(GetParam().level)});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, kCreate), 0) << message(s);
  ASSERT_EQ(run(s, insertRows()), 0) << message(s);
  ASSERT_EQ(s->rowCount, static_cast<uint32_t>(kRows));

  const std::vector<Binding> bound = bindings();
  std::string select = "SELECT x";
  for (const Binding& b : bound) select += std::string(", ") + b.column;
  select += ", v, w, b FROM t ORDER BY x";  // read in pieces
  const auto pieces = static_cast<int16_t>(bound.size() + 2);

  long afterRun[2] = {0, 0};
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run + 1));
    ASSERT_EQ(prepare(s, select), 0) << message(s);
    ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
    texts();
    int32_t x = 0;
    ASSERT_EQ(rda_cliBindCol(s, 1, RDA_CLI_C_LONG, &x, 4, nullptr), 0);
    std::vector<std::vector<unsigned char>> buffers(bound.size());
    std::vector<int64_t> inds(bound.size());
    for (size_t i = 0; i < bound.size(); ++i) {
      buffers[i].assign(static_cast<size_t>(bound[i].bufLen), 0);
      ASSERT_EQ(rda_cliBindCol(s, static_cast<int16_t>(i + 2), bound[i].cType, buffers[i].data(), bound[i].bufLen,
                               &inds[i]),
                0);
    }
    int failures = 0;
    for (int row = 1; row <= kRows && failures < 10; ++row) {
      const int32_t rc = rda_cliFetch(s);
      if (rc != 0) {
        ADD_FAILURE() << "row " << row << ": " << rc << " " << message(s);
        ++failures;
        break;
      }
      if (x != row) {
        ADD_FAILURE() << "row " << row << " came as " << x;
        ++failures;
      }
      for (size_t i = 0; i < bound.size(); ++i) {
        const Binding& b = bound[i];
        const std::string want = nullRow(row) ? "NULL" : b.want(row);
        const std::string got = shown(b.showAs != 0 ? b.showAs : b.cType, buffers[i].data(), b.bufLen, inds[i]);
        if (got != want && ++failures <= 10)
          ADD_FAILURE() << "row " << row << " column " << b.column << " as C type " << b.cType << ": " << got
                        << ", want " << want;
      }
      // Text, wide text and binary in pieces.
      int calls = 0;
      const std::string v = readInPieces(s, pieces, RDA_CLI_C_CHAR, 4, &calls);
      const std::string w = readInPieces(s, pieces + 1, RDA_CLI_C_WCHAR, 12, &calls);
      const std::string b = readInPieces(s, pieces + 2, RDA_CLI_C_BINARY, 3, &calls);
      if (nullRow(row) ? (v != "NULL" || w != "NULL" || b != "NULL")
                       : (v != rowText(row) || w != wideText(row) || b != bytesOf(row))) {
        if (++failures <= 10) ADD_FAILURE() << "row " << row << " in pieces: " << v << " " << w << " " << b;
      }
    }
    EXPECT_EQ(rda_cliFetch(s), 100) << message(s);
    // Blocks of 100: the open brings the first at level 1.
    EXPECT_EQ(count(texts(), "FETCH SQLCUR" + id(s)), GetParam().level == 64 ? 100u : 99u);
    ASSERT_EQ(rda_cliFreeStmt(s, 0), 0) << message(s);
    ASSERT_EQ(rda_cliFreeStmt(s, 2), 0);
    afterRun[run] = xmLive();
  }
  EXPECT_EQ(afterRun[1], afterRun[0]) << "no growth from one run to the next";
}

INSTANTIATE_TEST_SUITE_P(Levels, ClientRows,
                         ::testing::Values(LevelAndPaging{64, 1}, LevelAndPaging{65, 1}, LevelAndPaging{1, 1},
                                           LevelAndPaging{64, 0}, LevelAndPaging{65, 0}, LevelAndPaging{1, 0}),
                         [](const auto& info) {
                           const int l = info.param.level;
                           return std::string(l == 64 ? "Level0" : l == 65 ? "Level1Digits" : "Level1EightByte") +
                                  (info.param.paging != 0 ? "Paged" : "Unpaged");
                         });

// ---------------------------------------------------------------------------
// Long values

TEST_F(ClientFetch, LongValuesWholeAndInPieces) {
  up({});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "CREATE TABLE big (k INTEGER, t TEXT, b BLOB)"), 0) << message(s);
  // A text of 1 MiB, and binary values of 70,000 and 64,000 octets, each a
  // run of "abcdefg" (7 does not divide 32000: every part starts elsewhere
  // in the run).
  const std::string run7 = "replace(printf('%.*c', 150000, 'x'), 'x', 'abcdefg')";
  ASSERT_EQ(run(s, "INSERT INTO big VALUES (1, substr(" + run7 + ", 1, 1048576), CAST(substr(" + run7 +
                       ", 1, 70000) AS BLOB)), (2, 'short', CAST(substr(" + run7 + ", 1, 64000) AS BLOB))"),
            0)
      << message(s);
  std::string pattern;
  while (pattern.size() < 1048576) pattern += "abcdefg";
  const std::string text = pattern.substr(0, 1048576);

  struct Read {
    const char* what;
    int16_t col;
    int16_t cType;
    int64_t piece;
    std::string want;
    int calls;  // SQLGetData calls that returned data
  };
  for (int pass = 0; pass < 2; ++pass) {
    const bool whole = pass == 0;
    SCOPED_TRACE(whole ? "whole" : "in pieces");
    ASSERT_EQ(run(s, "SELECT k, t, b FROM big ORDER BY k"), 0) << message(s);
    const Read first[] = {
        {"1 MiB text", 2, RDA_CLI_C_CHAR, whole ? 1048577 : 1000, text, whole ? 1 : 1050},
        {"70,000 octets", 3, RDA_CLI_C_BINARY, whole ? 70000 : 999, pattern.substr(0, 70000), whole ? 1 : 71},
    };
    const Read second[] = {
        {"short text", 2, RDA_CLI_C_CHAR, 1000, "short", 1},
        {"64,000 octets", 3, RDA_CLI_C_BINARY, whole ? 64000 : 32001, pattern.substr(0, 64000), whole ? 1 : 2},
    };
    for (const auto* rows : {first, second}) {
      ASSERT_EQ(rda_cliFetch(s), 0) << message(s);
      for (int i = 0; i < 2; ++i) {
        const Read& r = rows[i];
        int calls = 0;
        const std::string got = readInPieces(s, r.col, r.cType, r.piece, &calls);
        EXPECT_EQ(got.size(), r.want.size()) << r.what;
        EXPECT_TRUE(got == r.want) << r.what;
        EXPECT_EQ(calls, r.calls) << r.what;
      }
    }
    EXPECT_EQ(rda_cliFetch(s), 100);
    ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);
  }
  // Read again from the start with the column number negated.
  ASSERT_EQ(run(s, "SELECT b FROM big WHERE k = 1"), 0) << message(s);
  ASSERT_EQ(rda_cliFetch(s), 0);
  std::vector<unsigned char> buf(40000);
  int64_t ind = 0;
  ASSERT_EQ(rda_cliGetCol(s, 1, RDA_CLI_C_BINARY, buf.data(), 40000, &ind), 1);
  EXPECT_EQ(ind, 70000);
  ASSERT_EQ(rda_cliGetCol(s, -1, RDA_CLI_C_BINARY, buf.data(), 40000, &ind), 1);
  EXPECT_EQ(ind, 70000) << "from its start again";
  ASSERT_EQ(rda_cliGetCol(s, 1, RDA_CLI_C_BINARY, buf.data(), 40000, &ind), 0);
  EXPECT_EQ(ind, 30000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), 30000), pattern.substr(40000, 30000));
}

// ---------------------------------------------------------------------------
// A procedure call

TEST_F(ClientFetch, AProcedureWithTwoResultSetsAndOutputParameters) {
  up({});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "INSERT INTO rdapeer_procedures VALUES ('p', 'IN', 1, 'a INTEGER'), ('p', 'OUT', 2, 'b INTEGER'), "
                   "('p', 'OUT', 3, 'c VARCHAR(10)'), ('p', 'RESULT', 1, 'SELECT ?1 + 1 UNION ALL SELECT ?1 + 2'), "
                   "('p', 'RESULT', 2, 'SELECT ''second'', ?1'), ('p', 'OUTPUT', 1, 'SELECT ?1 * 2, ''out'''), "
                   "('q', 'OUT', 1, 'b INTEGER'), ('q', 'OUTPUT', 1, 'SELECT 1, 2')"),
            0)
      << message(s);
  int32_t a = 5, b = 0;
  char c[10] = "";
  int64_t aInd = 4, bInd = 0, cInd = 0;
  ASSERT_EQ(rda_cliBindParam(s, 1, RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 10, 0, &a, &aInd, nullptr,
                             RDA_CLI_PARAM_INPUT, 4),
            0);
  ASSERT_EQ(rda_cliBindParam(s, 2, RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 10, 0, &b, &bInd, nullptr,
                             RDA_CLI_PARAM_OUTPUT, 4),
            0);
  ASSERT_EQ(rda_cliBindParam(s, 3, RDA_CLI_C_CHAR, RDA_CLI_SQL_VARCHAR, 10, 0, c, &cInd, nullptr,
                             RDA_CLI_PARAM_OUTPUT, sizeof c),
            0);
  ASSERT_EQ(run(s, "CALL p(?, ?, ?)"), 0) << message(s);
  int32_t v = 0;
  ASSERT_EQ(rda_cliBindCol(s, 1, RDA_CLI_C_LONG, &v, 4, nullptr), 0);
  for (int want : {6, 7}) {
    ASSERT_EQ(rda_cliFetch(s), 0) << message(s);
    EXPECT_EQ(v, want);
  }
  EXPECT_EQ(rda_cliFetch(s), 100) << "the first set's end; another follows";
  EXPECT_EQ(b, 0) << "no output values yet";

  ASSERT_EQ(rda_cliMoreResults(s), 0) << message(s);
  char word[16];
  ASSERT_EQ(rda_cliBindCol(s, 1, RDA_CLI_C_CHAR, word, sizeof word, nullptr), 0);
  ASSERT_EQ(rda_cliFetch(s), 0) << message(s);
  EXPECT_STREQ(word, "second");
  int32_t second = 0;
  int64_t ind = 0;
  EXPECT_EQ(rda_cliGetCol(s, 2, RDA_CLI_C_LONG, &second, 4, &ind), 0);
  EXPECT_EQ(second, 5);
  texts();
  // The end of the last set: the output values, then 100.
  EXPECT_EQ(rda_cliFetch(s), 100) << message(s);
  EXPECT_EQ(b, 10);
  EXPECT_EQ(bInd, 4);
  EXPECT_STREQ(c, "out");
  EXPECT_EQ(cInd, 3);
  const std::vector<std::string> t = texts();
  ASSERT_FALSE(t.empty());
  EXPECT_NE(t.back().find("DECLARE SQLCUR" + id(s) + " RESULT CURSOR"), std::string::npos) << t.back();
  EXPECT_EQ(rda_cliMoreResults(s), 100);

  // More output parameters bound than the call returns values for: one
  // bound, two returned.
  RDA_CliHSTMT* q = stmt();
  ASSERT_EQ(rda_cliBindParam(q, 1, RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 10, 0, &b, &bInd, nullptr,
                             RDA_CLI_PARAM_OUTPUT, 4),
            0);
  EXPECT_EQ(run(q, "CALL q(?)"), -1);
  EXPECT_EQ(lastDiag(q->errors).message,
            "Dynamic SQL error - Invalid descriptor count - More parameters bound for output(1) then returned(2)");
}

// ---------------------------------------------------------------------------
// Cursor names

TEST_F(ClientFetch, ACursorNameSetByTheApplicationNamesTheCursorAtTheServer) {
  up({"--init-data", initData(64)});
  RDA_CliHSTMT* s = stmt();
  char name[32];
  int16_t len = 0;
  ASSERT_EQ(rda_cliGetCursorName(s, name, sizeof name, &len), 0);
  EXPECT_EQ(len, 0);
  ASSERT_EQ(run(s, "CREATE TABLE t (a INTEGER)"), 0) << message(s);
  ASSERT_EQ(rda_cliGetCursorName(s, name, sizeof name, &len), 0);
  EXPECT_EQ(std::string(name), "SQLCUR" + id(s)) << "generated at the first open";
  ASSERT_EQ(run(s, "INSERT INTO t VALUES (1), (2)"), 0) << message(s);

  RDA_CliHSTMT* named = stmt();
  ASSERT_EQ(rda_cliSetCursorName(named, "orders", NTS), 0);
  EXPECT_EQ(rda_cliSetCursorName(stmt(), "orders", NTS), -1) << "one connection, one cursor of a name";
  ASSERT_EQ(prepare(named, "SELECT a FROM t ORDER BY a"), 0) << message(named);
  texts();
  ASSERT_EQ(rda_cliExecute(named), 0) << message(named);
  int32_t a = 0;
  ASSERT_EQ(rda_cliBindCol(named, 1, RDA_CLI_C_LONG, &a, 4, nullptr), 0);
  ASSERT_EQ(rda_cliFetch(named), 0) << message(named);
  EXPECT_EQ(a, 1);
  ASSERT_EQ(rda_cliFreeStmt(named, 0), 0);
  EXPECT_EQ(texts(), (std::vector<std::string>{"DECLARE orders CURSOR FOR stmt_id_" + id(named), "OPEN orders",
                                               "FETCH orders INTO :H", "CLOSE orders"}));
  ASSERT_EQ(rda_cliGetCursorName(named, name, sizeof name, &len), 0);
  EXPECT_STREQ(name, "orders");

  // Another connection may use the same name.
  RDA_CliHDBC* other = conn();
  ASSERT_EQ(connect(other, "rdatest"), 0) << lastDiag(other->errors).message;
  RDA_CliHSTMT* there = stmt(other);
  EXPECT_EQ(rda_cliSetCursorName(there, "orders", NTS), 0);
}

// ---------------------------------------------------------------------------
// A server that goes between two fetches

TEST_F(ClientFetch, AServerGoneBetweenTwoFetchesFailsTheNextFetchAtOnce) {
  up({"--init-data", initData(64)}, 30, "FETCHBLOCK_SIZE=2\n");
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "CREATE TABLE t (a INTEGER)"), 0) << message(s);
  ASSERT_EQ(run(s, "INSERT INTO t VALUES (1), (2), (3), (4)"), 0) << message(s);
  ASSERT_EQ(prepare(s, "SELECT a FROM t"), 0) << message(s);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(rda_cliFetch(s), 0) << message(s);
  peer_->stop();
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(rda_cliFetch(s), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
  EXPECT_EQ(lastDiag(c_->errors).state, "HZ520");
  EXPECT_EQ(c_->state & RDA_CLI_ST_ASSOCIATED, 0u);
  // The next call fails cleanly, and the statement goes: its cursor and
  // its prepared text went with the association.
  EXPECT_EQ(rda_cliFetch(s), -1);
  EXPECT_EQ(lastDiag(s->errors).message, "Transaction rollback - Statement completion unknown - Transaction is not open");
  EXPECT_EQ(rda_cliFreeStmt(s, 1), 0);
}

}  // namespace
