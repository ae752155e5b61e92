// Bound parameters end to end: the client's connection sends INSERTs whose
// arguments are built from every pair of C type and SQL type the client
// accepts, rdapeer runs them on its SQLite file, and the file read back
// holds exactly the values bound; in both character modes and both numeric
// formats, with long data in chunks.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "src/rda/rda_idubuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_bufcvt.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_execreq.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/tp0tcp.h"
#include "support/cli_diag.h"
#include "support/locale.h"
#include "support/peer_process.h"
#include "support/sandbox.h"
#include "support/stack.h"
#include "support/xm_count.h"

namespace {

// A value as SQLite holds it: its storage class and its text (integers and
// reals printed, blobs in hex).
struct Stored {
  int type;
  std::string text;
  bool operator==(const Stored& o) const { return type == o.type && text == o.text; }
};
std::ostream& operator<<(std::ostream& o, const Stored& s) { return o << s.type << ":" << s.text; }

std::string hexOf(const void* p, size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    const auto b = static_cast<const uint8_t*>(p)[i];
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}
std::string real(double d) {
  char b[64];
  std::snprintf(b, sizeof b, "%.17g", d);
  return b;
}
Stored integer(int64_t v) { return {SQLITE_INTEGER, std::to_string(v)}; }
Stored realValue(double v) { return {SQLITE_FLOAT, real(v)}; }
Stored textValue(const std::string& t) { return {SQLITE_TEXT, t}; }
const Stored kNull{SQLITE_NULL, ""};

// One bound parameter and what the peer's file must hold for it.
struct Bound {
  int16_t cType;
  int16_t sqlType;
  std::vector<uint8_t> value;
  int64_t ind;
  int16_t scale = 0;
  Stored want;
};

template <class T>
std::vector<uint8_t> raw(T v) {
  std::vector<uint8_t> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}
std::vector<uint8_t> narrow(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
// With its terminator.
std::vector<uint8_t> wide(const std::wstring& s) {
  std::vector<uint8_t> b((s.size() + 1) * sizeof(wchar_t));
  std::memcpy(b.data(), s.c_str(), b.size());
  return b;
}

constexpr int16_t kCTypes[] = {-18, -17, -16, -15, -8, -7, -6, -2, 1, 4, 5, 7, 8};

bool isChars(int16_t s) { return s == 1 || s == 12 || s == -1 || s == -8 || s == -9 || s == -10; }
bool isReals(int16_t s) { return s == 6 || s == 7 || s == 8; }
bool isTimes(int16_t s) { return s == 9 || s == 10 || s == 11; }

const std::string kNarrowText = "h\xC3\xA9llo";  // UTF-8, as the C.UTF-8 locale reads it
const std::wstring kWideText = L"w\u00e9\U0001F600";
const std::string kWideUtf8 = "w\xC3\xA9\xF0\x9F\x98\x80";

std::string timeText(int16_t s) {
  return s == 9 ? "2001-02-03" : s == 10 ? "10:11:12" : "2001-02-03 04:05:06.123";
}

// The value of a pair, and what it becomes.
Bound valueOf(int16_t c, int16_t s) {
  Bound b{c, s, {}, 0, 0, kNull};
  const int64_t NTS = RDA_CLI_LEN_NTS;
  switch (c) {
    case RDA_CLI_C_CHAR:
      if (isChars(s)) return {c, s, narrow(kNarrowText), 6, 0, textValue(kNarrowText)};
      if (s == 2 || s == 3) return {c, s, narrow("12.50"), 5, 2, textValue("12.50")};
      if (isReals(s)) return {c, s, narrow("2.5"), 3, 0, realValue(2.5)};
      if (isTimes(s)) return {c, s, narrow(timeText(s)), static_cast<int64_t>(timeText(s).size()), 0, textValue(timeText(s))};
      if (s == 4) return {c, s, narrow(" 42 "), 4, 0, integer(42)};
      if (s == 5) return {c, s, narrow("-7"), 2, 0, integer(-7)};
      if (s == -7) return {c, s, narrow("1"), 1, 0, integer(1)};
      return {c, s, narrow("200"), 3, 0, integer(200)};
    case RDA_CLI_C_WCHAR:
      if (isChars(s)) return {c, s, wide(kWideText), NTS, 0, textValue(kWideUtf8)};
      if (s == 2 || s == 3) return {c, s, wide(L"-12.5"), NTS, 2, textValue("-12.50")};
      if (isReals(s)) return {c, s, wide(L"0.5"), NTS, 0, realValue(0.5)};
      if (isTimes(s)) {
        const std::string t = timeText(s);
        return {c, s, wide(std::wstring(t.begin(), t.end())), NTS, 0, textValue(t)};
      }
      return {c, s, wide(L"-12"), 12, 0, integer(-12)};
    case RDA_CLI_C_BINARY:
      return {c, s, {0x00, 0xFF, 0x10}, 3, 0, {SQLITE_BLOB, "00FF10"}};
    case RDA_CLI_C_BIT:
      return {c, s, raw<uint8_t>(1), 1, 0, integer(1)};
    case RDA_CLI_C_TINYINT:
      return {c, s, raw<uint8_t>(200), 1, 0, integer(200)};
    default:
      break;
  }
  // Binary numbers: printed into character types, as numbers otherwise.
  struct Number {
    int16_t c;
    std::vector<uint8_t> value;
    const char* printed;
    double v;
  };
  const Number numbers[] = {
      {-18, raw<uint32_t>(2000000000u), "2000000000", 2000000000.0}, {-17, raw<uint16_t>(65535), "65535", 65535},
      {-16, raw<int32_t>(-2000000000), "-2000000000", -2000000000.0}, {-15, raw<int16_t>(-32768), "-32768", -32768},
      {4, raw<int32_t>(123456), "123456", 123456},                   {5, raw<int16_t>(-77), "-77", -77},
      {7, raw<float>(0.5f), "0.500000", 0.5},                        {8, raw<double>(-2.25), "-2.250000", -2.25},
  };
  for (const Number& n : numbers) {
    if (n.c != c) continue;
    b.value = n.value;
    b.ind = static_cast<int64_t>(n.value.size());
    const bool floating = c == 7 || c == 8;
    if (isChars(s)) b.want = textValue(n.printed);
    else if (isReals(s) || (floating && (s == 2 || s == 3))) b.want = realValue(n.v);
    else b.want = integer(static_cast<int64_t>(n.v));  // truncated toward zero
    return b;
  }
  return b;
}

struct Mode {
  int characterMode;
  bool eightByteNumerics;
};

class ClientParamsEndToEnd : public XmCountTest, public ::testing::WithParamInterface<Mode> {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    savedQuiet_ = giQuietMode;
    savedCharacterMode_ = gCharacterMode;
    giQuietMode = 1;
  }
  void TearDown() override {
    if (conn_ != nullptr) {
      if ((conn_->state & RDA_CLI_ST_ASSOCIATED) != 0) rda_cliDisconnect(conn_);
      EXPECT_EQ(rda_cliFreeConnect(conn_), 0);
    }
    if (env_ != nullptr) {
      EXPECT_EQ(rda_cliFreeEnv(env_), 0);
    }
    giQuietMode = savedQuiet_;
    gCharacterMode = savedCharacterMode_;
    ASSERT_NE(xm_init(), nullptr);
    XmCountTest::TearDown();
  }

  // The peer on its database file, the client connected to it, a statement
  // and an open transaction.
  void connect() {
    db_ = (sandbox_.dir() / "params.sqlite").string();
    std::vector<std::string> options = {"--db", db_};
    if (GetParam().eightByteNumerics) options.insert(options.end(), {"--init-data", "KVO_RDA_SERVER,1,0,0,V1"});
    peer_.emplace(sandbox_.dir() / "peer", options);
    ASSERT_GT(peer_->port(), 0);
    StackConfig c;
    c.serverPort = peer_->port();
    c.extraCommon = "8BITCHARACTER=" + std::to_string(GetParam().characterMode) + "\n";
    const std::string ini = writeStackConfig(sandbox_.dir(), c);
    setenv("MIRODEL_INI", ini.c_str(), 1);
    ASSERT_EQ(rda_cliAllocEnv(&env_), 0);
    ASSERT_EQ(gCharacterMode, GetParam().characterMode);
    ASSERT_EQ(rda_cliAllocConnect(env_, &conn_), 0);
    ASSERT_EQ(rda_cliConnect(conn_, "rdatest", RDA_CLI_NTS, "scott", RDA_CLI_NTS, "tiger", RDA_CLI_NTS, nullptr), 0)
        << lastDiag(conn_->errors).message;
    ASSERT_EQ(conn_->numericFormat, GetParam().eightByteNumerics ? 0u : 1u);
    ASSERT_EQ(rda_cliAllocStmt(conn_, &stmt_), 0);
    ASSERT_EQ(RDA_cliBgnTransOnConnection(conn_), 1);
  }

  // Runs `sql` with the statement's parameters; "" or what went wrong.
  std::string run(const std::string& sql) {
    RDA_cliClearErrorList(&stmt_->errors);
    GIDU* req = RDA_cliCreateExecSQL(stmt_, sql.c_str(), &stmt_->params);
    if (req == nullptr) return "not built: " + lastDiag(stmt_->errors).message;
    RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
    if (conn_->errors.count > 0) return "connection: " + lastDiag(conn_->errors).message;
    if (stmt_->errors.count > 0) return "statement: " + lastDiag(stmt_->errors).message;
    return "";
  }
  std::string commit() {
    RDA_cliSendEvent(rda_createSQLCommitReq(conn_->tmpl, static_cast<int32_t>(++conn_->opId)), RDA_CLI_SEND_WAIT);
    return conn_->errors.count > 0 ? lastDiag(conn_->errors).message : "";
  }
  // Binds `values` as parameters 1, 2, ... of the statement.
  void bindAll(std::vector<Bound>& values, const std::vector<RdaCliLink*>& chunks = {}) {
    ASSERT_EQ(rda_cliFreeStmt(stmt_, 3), 0);
    for (size_t i = 0; i < values.size(); ++i) {
      Bound& b = values[i];
      RdaCliLink* c = i < chunks.size() ? chunks[i] : nullptr;
      void* v = b.value.empty() ? nullptr : b.value.data();
      ASSERT_EQ(rda_cliBindParam(stmt_, static_cast<int32_t>(i + 1), b.cType, b.sqlType, 100, b.scale, v, &b.ind, c,
                                 RDA_CLI_PARAM_INPUT, static_cast<int64_t>(b.value.size())),
                0)
          << i;
    }
  }
  // Every row of `sql` in the peer's file.
  std::vector<std::vector<Stored>> rows(const std::string& sql) {
    std::vector<std::vector<Stored>> out;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(db_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_busy_timeout(db, 3000);
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (s != nullptr && sqlite3_step(s) == SQLITE_ROW) {
      std::vector<Stored> row;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const int type = sqlite3_column_type(s, i);
        switch (type) {
          case SQLITE_INTEGER:
            row.push_back(integer(sqlite3_column_int64(s, i)));
            break;
          case SQLITE_FLOAT:
            row.push_back(realValue(sqlite3_column_double(s, i)));
            break;
          case SQLITE_TEXT:
            row.push_back(textValue(std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                                                static_cast<size_t>(sqlite3_column_bytes(s, i)))));
            break;
          case SQLITE_BLOB:
            row.push_back({SQLITE_BLOB, hexOf(sqlite3_column_blob(s, i), static_cast<size_t>(sqlite3_column_bytes(s, i)))});
            break;
          default:
            row.push_back(kNull);
        }
      }
      out.push_back(row);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  LocaleGuard locale_{"C.UTF-8"};
  std::optional<PeerProcess> peer_;
  std::string db_;
  RDA_CliHENV* env_ = nullptr;
  RDA_CliHDBC* conn_ = nullptr;
  RDA_CliHSTMT* stmt_ = nullptr;
  int32_t savedQuiet_ = 0;
  int32_t savedCharacterMode_ = 0;
};

TEST_P(ClientParamsEndToEnd, EveryAcceptedPairArrivesAsBound) {
  ASSERT_TRUE(locale_.ok());
  connect();
  if (HasFatalFailure()) return;
  // Every pair the matrix and the binding accept: one column each.
  std::vector<Bound> values;
  for (int16_t s = -10; s <= 12; ++s)
    for (int16_t c : kCTypes)
      if (rda_cliBindConvCheck(c, s) == 1) values.push_back(valueOf(c, s));
  ASSERT_EQ(values.size(), 106u);
  std::string columns, markers;
  for (size_t i = 0; i < values.size(); ++i) {
    columns += (i == 0 ? "c" : ", c") + std::to_string(i);
    markers += i == 0 ? "?" : ", ?";
  }
  ASSERT_EQ(run("CREATE TABLE t (n, " + columns + ")"), "");
  const std::string insert = "INSERT INTO t VALUES (?, " + markers + ")";

  // Row 1: the values; row 2: NULLs; row 3: empty texts where a text may be
  // empty (the rest NULL).
  for (int row = 1; row <= 3; ++row) {
    std::vector<Bound> bound = values;
    for (Bound& b : bound) {
      if (row == 2) b.ind = RDA_CLI_NULL_DATA;
      if (row == 3) {
        const bool emptyText = (b.cType == RDA_CLI_C_CHAR && (isChars(b.sqlType) || b.sqlType == 2 || b.sqlType == 3)) ||
                               (b.cType == RDA_CLI_C_WCHAR && isChars(b.sqlType));
        b.ind = emptyText ? RDA_CLI_EMPTY_TEXT : RDA_CLI_NULL_DATA;
        b.value.clear();  // as the ODBC layer prepares them: no buffer
      }
    }
    bound.insert(bound.begin(), Bound{RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, raw<int32_t>(row), 4, 0, kNull});
    bindAll(bound);
    if (HasFatalFailure()) return;
    EXPECT_EQ(run(insert), "") << "row " << row;
    EXPECT_EQ(stmt_->rowCount, 1u) << "row " << row;
  }
  ASSERT_EQ(commit(), "");

  const auto got = rows("SELECT * FROM t ORDER BY n");
  ASSERT_EQ(got.size(), 3u);
  for (size_t i = 0; i < values.size(); ++i) {
    const Bound& b = values[i];
    const std::string what = "C " + std::to_string(b.cType) + ", SQL " + std::to_string(b.sqlType);
    EXPECT_EQ(got[0][i + 1], b.want) << what;
    EXPECT_EQ(got[1][i + 1], kNull) << what;
    const bool emptyText = (b.cType == RDA_CLI_C_CHAR && (isChars(b.sqlType) || b.sqlType == 2 || b.sqlType == 3)) ||
                           (b.cType == RDA_CLI_C_WCHAR && isChars(b.sqlType));
    EXPECT_EQ(got[2][i + 1], emptyText ? textValue("") : kNull) << what;
  }
}

// A chunk ring as the ODBC layer collects long data.
struct Chunks {
  explicit Chunks(std::vector<std::string> parts) : data(std::move(parts)), nodes(data.size()) {
    head.next = head.prev = &head;
    for (size_t i = 0; i < data.size(); ++i) {
      nodes[i].data = reinterpret_cast<uint8_t*>(data[i].data());
      nodes[i].used = static_cast<uint32_t>(data[i].size());
      nodes[i].links = {&head, head.prev};
      head.prev->next = &nodes[i].links;
      head.prev = &nodes[i].links;
    }
  }
  int64_t total() const {
    int64_t n = 0;
    for (const std::string& d : data) n += static_cast<int64_t>(d.size());
    return n;
  }
  std::vector<std::string> data;
  std::vector<RDA_CliChunk> nodes;
  RdaCliLink head{};
};

TEST_P(ClientParamsEndToEnd, LongDataInChunksArrivesWhole) {
  ASSERT_TRUE(locale_.ok());
  connect();
  if (HasFatalFailure()) return;
  ASSERT_EQ(run("CREATE TABLE big (a, b, c, d)"), "");
  std::string text;
  for (int i = 0; i < 64000; ++i) text += static_cast<char>('a' + i % 26);
  std::string blob(32005, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
  std::wstring wideText;
  for (int i = 0; i < 12000; ++i) wideText += i % 2 == 0 ? L'\u00e9' : L'\U0001F600';
  const std::string wideBytes(reinterpret_cast<const char*>(wideText.data()), wideText.size() * sizeof(wchar_t));
  std::string wideUtf8;
  for (int i = 0; i < 12000; ++i) wideUtf8 += i % 2 == 0 ? "\xC3\xA9" : "\xF0\x9F\x98\x80";

  Chunks exact({text.substr(0, 32000), text.substr(32000)});  // ends on a whole chunk
  Chunks binary({blob.substr(0, 32000), blob.substr(32000)});
  Chunks joined({wideBytes.substr(0, 32000), wideBytes.substr(32000)});
  Chunks single({"short"});
  std::vector<Bound> bound = {
      {RDA_CLI_C_CHAR, RDA_CLI_SQL_LONGVARCHAR, {}, exact.total(), 0, kNull},
      {RDA_CLI_C_BINARY, RDA_CLI_SQL_LONGVARBINARY, {}, binary.total(), 0, kNull},
      {RDA_CLI_C_WCHAR, RDA_CLI_SQL_WLONGVARCHAR, {}, joined.total(), 0, kNull},
      {RDA_CLI_C_CHAR, RDA_CLI_SQL_LONGVARCHAR, {}, single.total(), 0, kNull},
  };
  bindAll(bound, {&exact.head, &binary.head, &joined.head, &single.head});
  if (HasFatalFailure()) return;
  ASSERT_EQ(run("INSERT INTO big VALUES (?, ?, ?, ?)"), "");
  ASSERT_EQ(commit(), "");
  const auto got = rows("SELECT a, b, c, d FROM big");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0][0] == textValue(text)) << "64000 characters in two whole chunks";
  EXPECT_TRUE(got[0][1] == (Stored{SQLITE_BLOB, hexOf(blob.data(), blob.size())})) << "32005 octets";
  EXPECT_TRUE(got[0][2] == textValue(wideUtf8)) << "wide text joined from its chunks";
  EXPECT_EQ(got[0][3], textValue("short"));
}

INSTANTIATE_TEST_SUITE_P(Modes, ClientParamsEndToEnd,
                         ::testing::Values(Mode{0, false}, Mode{1, false}, Mode{0, true}),
                         [](const ::testing::TestParamInfo<Mode>& i) {
                           return std::string(i.param.characterMode == 1 ? "CharacterMode" : "WideMode") +
                                  (i.param.eightByteNumerics ? "EightByteNumerics" : "DigitStrings");
                         });

}  // namespace
