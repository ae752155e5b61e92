// The R-ExecuteDBL requests of the client: their octets worked out by hand,
// the order in which a parameter is judged, the argument part with and
// without parameters, output parameters as fetch data, the FETCH request,
// and failures that leave nothing behind.
#include "src/rdaclient/rdacli_execreq.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_bufcvt.h"
#include "stmt_fixture.h"
#include "support/trace_capture.h"

namespace {

using Requests = ClientStmtTest;

std::vector<std::string> messages(const RDA_CliErrorList& l) {
  std::vector<std::string> out;
  for (const CliDiag& d : cliDiags(l)) out.push_back(d.state + " " + d.message);
  return out;
}

TEST_F(Requests, OctetsAreTheStatementTheDescriptorsAndOneValueList) {
  // A BINARY value and a NULL INTEGER: the descriptor of the first says
  // "not nullable" ([0] FALSE) and carries attribute 16 ([3]); the second
  // has neither, and its value is the indicator alone ([30] -1).
  uint8_t bytes[] = {0x01, 0x02, 0xFF};
  int64_t three = 3;
  int32_t unused = 0;
  int64_t null = RDA_CLI_NULL_DATA;
  ASSERT_EQ(bind(RDA_CLI_C_BINARY, RDA_CLI_SQL_BINARY, bytes, &three, 3), 0);
  ASSERT_EQ(bind(RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, &unused, &null, 10), 0);
  const Bytes stmtWire = cx(1, hex("80 08") + text("SELECT ?"));
  const Bytes specs = seq(hex("80 01 00 83 01 10") + cx(17, hex("02 01 03"))) + seq(cx(8, hex("02 01 0A 0A 01 01")));
  const Bytes values = hex("A1 0D") + seq(hex("8C 04 00 01 02 FF")) + seq(hex("9E 01 FF"));
  EXPECT_EQ(wire(RDA_cliCreateExecSQL(&stmt, "SELECT ?", &stmt.params)),
            cx(19, hex("02 01 07") + cx(0, stmtWire + cx(2, cx(0, specs)) + cx(4, hex("80 01 01") + cx(1, values)))));

  // FETCH: one NULL CHARACTER(10), the row count as repetition count.
  const Bytes fetchStmt = cx(1, hex("80 07") + text("FETCH C"));
  const Bytes charSpec = seq(cx(5, hex("02 01 0A 01 01 00")));
  EXPECT_EQ(wire(RDA_cliCreateFetchSQL(&stmt, "FETCH C", 20)),
            cx(19, hex("02 01 07") + cx(0, fetchStmt + cx(2, cx(0, charSpec)) +
                                            cx(4, hex("80 01 14") + cx(1, hex("A1 05") + seq(hex("9E 01 FF")))))));

  // Without parameters: no argument part at all; the fetch-data form has
  // its repetition count and no values.
  const Bytes plain = cx(1, hex("80 05") + text("PLAIN"));
  EXPECT_EQ(wire(RDA_cliCreateExecSQL(&stmt, "PLAIN", nullptr)), cx(19, hex("02 01 07") + cx(0, plain)));
  RdaCliRing none;
  RDA_cliRingInit(&none);
  EXPECT_EQ(wire(RDA_cliCreateExecSQL(&stmt, "PLAIN", &none)), cx(19, hex("02 01 07") + cx(0, plain)));
  EXPECT_EQ(wire(RDA_opt_cliCreateExecSQLWithFetchData(&stmt, "PLAIN", &none, 2)),
            cx(19, hex("02 01 07") + cx(0, plain + cx(4, hex("80 01 02")))));
  EXPECT_EQ(wire(RDA_opt_cliCreateExecSQLWithFetchData(&stmt, "PLAIN", nullptr, 100)),
            cx(19, hex("02 01 07") + cx(0, plain + cx(4, hex("80 01 64")))));
}

// Parameters made by hand, with types the binding would refuse.
class HandMadeParams : public ClientStmtTest {
 protected:
  void SetUp() override {
    ClientStmtTest::SetUp();
    RDA_cliRingInit(&ring_);
  }
  void add(int16_t cType, int16_t sqlType, const char* text = "1", int16_t direction = RDA_CLI_PARAM_INPUT) {
    parms_.push_back({});
    RDA_CliParm& p = parms_.back();
    p.number = static_cast<uint16_t>(parms_.size());
    p.cType = cType;
    p.sqlType = sqlType;
    p.columnSize = 10;
    p.value = const_cast<char*>(text);
    p.lenInd = &nts_;
    p.direction = direction;
  }
  const RdaCliRing* ring() {
    RDA_cliRingInit(&ring_);
    for (RDA_CliParm& p : parms_) RDA_cliRingAppend(&ring_, &p.links);
    return &ring_;
  }

  std::vector<RDA_CliParm> parms_ = std::vector<RDA_CliParm>();
  RdaCliRing ring_{};
  int64_t nts_ = RDA_CLI_LEN_NTS;
};

TEST_F(HandMadeParams, TheSqlTypeIsJudgedBeforeTheCTypeBeforeTheCell) {
  parms_.reserve(8);
  const std::string prefix = "40001 Transaction rollback - Statement completion unknown - ";
  struct Case {
    int16_t cType;
    int16_t sqlType;
    const char* exec;
    const char* fetchData;
  };
  const Case cases[] = {
      {99, 13, "Invalid SQL type 13", "Invalid SQL type 13"},
      {99, -11, "Invalid SQL type -11", "Invalid SQL type -11"},
      {99, 12, "Invalid  C type 99", "Invalid C type 99"},
      {2, -5, "Invalid  C type 2", "Invalid C type 2"},
      {4, -5, "Conversion from fSQLType=[-5] to fBufType=[4] failed.",
       "Conversion from  fSQLType=[-5] to fBufType=[4] failed."},
      {1, -2, "Conversion from fSQLType=[-2] to fBufType=[1] failed.",
       "Conversion from  fSQLType=[-2] to fBufType=[1] failed."},
      {4, 1, "Conversion from fSQLType=[1] to fBufType=[4] failed.",
       "Conversion from  fSQLType=[1] to fBufType=[4] failed."},
  };
  for (const Case& c : cases) {
    parms_.clear();
    add(RDA_CLI_C_CHAR, RDA_CLI_SQL_VARCHAR);  // a good one first
    add(c.cType, c.sqlType);
    add(99, 13);  // the first failing parameter ends the build
    for (int fetchData = 0; fetchData < 2; ++fetchData) {
      RDA_cliClearErrorList(&stmt.errors);
      TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
      GIDU* g = fetchData != 0 ? RDA_opt_cliCreateExecSQLWithFetchData(&stmt, "X", ring(), 1)
                               : RDA_cliCreateExecSQL(&stmt, "X", ring());
      EXPECT_EQ(g, nullptr);
      const std::string message = fetchData != 0 ? c.fetchData : c.exec;
      EXPECT_EQ(messages(stmt.errors), std::vector<std::string>{prefix + message});
      const bool typeMessage = message.rfind("Invalid", 0) == 0;
      const std::string traced =
          std::string(fetchData != 0 && !typeMessage ? "RDA_opt_cliCreateExecSQLWithFetchData() "
                                                     : "RDA_cliCreateExecSQL() ") +
          message;
      EXPECT_TRUE(trace.contains(traced)) << traced;
    }
  }
  // A converter that fails: its own diagnostic, then the builder's.
  parms_.clear();
  add(RDA_CLI_C_CHAR, RDA_CLI_SQL_INTEGER, "abc");
  RDA_cliClearErrorList(&stmt.errors);
  EXPECT_EQ(RDA_cliCreateExecSQL(&stmt, "X", ring()), nullptr);
  EXPECT_EQ(messages(stmt.errors),
            (std::vector<std::string>{"22005 Data exception - Error in assignment", prefix + "Cannot build argument"}));
  RDA_cliClearErrorList(&stmt.errors);
  EXPECT_EQ(RDA_opt_cliCreateExecSQLWithFetchData(&stmt, "X", ring(), 1), nullptr);
  EXPECT_EQ(messages(stmt.errors).back(), prefix + "Cannot build arguement");
}

TEST_F(HandMadeParams, OutputParametersAskForTheirValueAsFetchData) {
  parms_.reserve(8);
  int64_t given = 3;
  add(RDA_CLI_C_CHAR, RDA_CLI_SQL_VARCHAR, "in1");
  add(RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, "xxxx", RDA_CLI_PARAM_OUTPUT);
  parms_.back().lenInd = &given;
  add(RDA_CLI_C_CHAR, RDA_CLI_SQL_LONGVARCHAR, "in2");
  add(99, 13, "", RDA_CLI_PARAM_OUTPUT);  // not judged by type
  add(RDA_CLI_C_CHAR, RDA_CLI_SQL_BIT, "", RDA_CLI_PARAM_OUTPUT);
  parms_.back().lenInd = nullptr;
  const RdaCliRing* params = ring();
  const std::vector<RDA_CliParm> before = parms_;
  stmt.returnValues = 9;
  const RDAExecDBL_Req* r = request(RDA_opt_cliCreateExecSQLWithFetchData(&stmt, "CALL P(?, ?, ?, ?, ?)", params, 7));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(stmt.returnValues, 3u);
  EXPECT_EQ(r->args.single.count, 7);
  const auto specs = specsOf(*r);
  const auto values = valuesOf(*r);
  ASSERT_EQ(specs.size(), 5u);
  ASSERT_EQ(values.size(), 5u);
  const int32_t attrs[] = {0, 1, 8, 1, 1};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(specs[i]->number, attrs[i]) << i;
    const bool output = attrs[i] == 1;
    EXPECT_EQ(specs[i]->type.code, output ? RDA_SQLTYPE_CHAR : RDA_SQLTYPE_VARCHAR) << i;
    EXPECT_EQ(specs[i]->nullable, output ? 1u : 0u) << i;
    EXPECT_EQ(values[i]->mask & 1u, output ? 0u : 1u) << i;
    if (output) {
      EXPECT_EQ(values[i]->indicator, -1) << i;
    }
  }
  EXPECT_EQ(octets(values[0]), "in1");
  EXPECT_EQ(octets(values[2]), "in2");
  EXPECT_EQ(given, 3) << "the caller's indicator is left alone";
  ASSERT_EQ(parms_.size(), before.size());
  for (size_t i = 0; i < parms_.size(); ++i)
    EXPECT_EQ(std::memcmp(&parms_[i], &before[i], sizeof(RDA_CliParm)), 0) << "parameter " << i + 1 << " unchanged";

  // The plain builder converts output parameters by type.
  parms_.resize(3);
  r = request(RDA_cliCreateExecSQL(&stmt, "X", ring()));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(specsOf(*r)[1]->type.code, RDA_SQLTYPE_INTEGER);
}

TEST_F(Requests, ParametersGoInRingOrderAndTheFetchKeepsTheResult) {
  gCharacterMode = 0;
  int32_t one = 1;
  wchar_t wide[] = L"zwei";
  std::string chunk(kRdaCliChunkSize, 'c');
  RDA_CliChunk c{};
  RdaCliLink head{&c.links, &c.links};
  c.links = {&head, &head};
  c.data = reinterpret_cast<uint8_t*>(chunk.data());
  c.used = kRdaCliChunkSize;
  int64_t total = kRdaCliChunkSize;
  double three = 3.0;
  int64_t nts = RDA_CLI_LEN_NTS;
  ASSERT_EQ(bind(RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, &one, nullptr, 10), 0);
  ASSERT_EQ(bind(RDA_CLI_C_CHAR, RDA_CLI_SQL_LONGVARCHAR, nullptr, &total, 100000, 0, kNext, &head), 0);
  ASSERT_EQ(bind(RDA_CLI_C_WCHAR, RDA_CLI_SQL_WVARCHAR, wide, &nts, 10), 0);
  ASSERT_EQ(bind(RDA_CLI_C_DOUBLE, RDA_CLI_SQL_DOUBLE, &three, nullptr, 15), 0);
  stmt.state |= RDA_CLI_STMT_CONFIRMED;
  stmt.resultKind = RDA_CLI_RESULT_ROWCOUNT;
  stmt.rowCount = 4;
  const RDAExecDBL_Req* r = request(RDA_cliCreateExecSQL(&stmt, "INSERT ?, ?, ?, ?", &stmt.params));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(stmt.resultKind, 0u) << "the statement's result is dropped";
  EXPECT_EQ(stmt.state & RDA_CLI_STMT_CONFIRMED, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r->stmt.text.octets), r->stmt.text.length), "INSERT ?, ?, ?, ?");
  const auto specs = specsOf(*r);
  const auto values = valuesOf(*r);
  ASSERT_EQ(specs.size(), 4u);
  ASSERT_EQ(values.size(), 5u) << "the long value's run of two";
  EXPECT_EQ(specs[0]->type.code, RDA_SQLTYPE_INTEGER);
  EXPECT_EQ(values[0]->value.integer, 1);
  EXPECT_EQ(specs[1]->type.code, RDA_SQLTYPE_VARCHAR);
  EXPECT_EQ(specs[1]->number, 8);
  EXPECT_EQ(values[1]->value.octets.length, kRdaCliChunkSize);
  EXPECT_EQ(values[2]->mask, 2u) << "the end of an exact multiple";
  EXPECT_EQ(specs[2]->type.code, RDA_SQLTYPE_WVARCHAR);
  EXPECT_EQ(octets(values[3]), "zwei");
  EXPECT_EQ(specs[3]->type.code, RDA_SQLTYPE_DOUBLE);
  EXPECT_EQ(values[4]->value.real, 3.0);
  EXPECT_EQ(r->args.single.count, 1);

  stmt.state |= RDA_CLI_STMT_CONFIRMED;
  stmt.resultKind = RDA_CLI_RESULT_ROWCOUNT;
  stmt.rowCount = 4;
  ASSERT_NE(request(RDA_cliCreateFetchSQL(&stmt, "FETCH", 3)), nullptr);
  EXPECT_EQ(stmt.resultKind, RDA_CLI_RESULT_ROWCOUNT) << "FETCH leaves the result";
  EXPECT_EQ(stmt.rowCount, 4u);
}

TEST_F(Requests, EveryFailureFreesTheCallsTreeAndLeavesTheParameters) {
  gCharacterMode = 0;
  int32_t one = 1;
  wchar_t wide[] = L"-12.5";
  char text[] = "abc";
  std::string chunk(100, 'c');
  RDA_CliChunk c{};
  RdaCliLink head{&c.links, &c.links};
  c.links = {&head, &head};
  c.data = reinterpret_cast<uint8_t*>(chunk.data());
  c.used = 100;
  int64_t total = 100;
  int64_t nts = RDA_CLI_LEN_NTS;
  ASSERT_EQ(bind(RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, &one, nullptr, 10), 0);
  ASSERT_EQ(bind(RDA_CLI_C_WCHAR, RDA_CLI_SQL_NUMERIC, wide, &nts, 10, 2), 0);
  ASSERT_EQ(bind(RDA_CLI_C_WCHAR, RDA_CLI_SQL_VARCHAR, wide, &nts, 10), 0);
  ASSERT_EQ(bind(RDA_CLI_C_CHAR, RDA_CLI_SQL_WCHAR, text, &nts, 10), 0);
  ASSERT_EQ(bind(RDA_CLI_C_CHAR, RDA_CLI_SQL_LONGVARCHAR, nullptr, &total, 100, 0, kNext, &head), 0);
  ASSERT_EQ(bind(RDA_CLI_C_CHAR, RDA_CLI_SQL_CHAR, text, &nts, 10, 0, kNext, nullptr, RDA_CLI_PARAM_OUTPUT), 0);
  std::vector<RDA_CliParm> before;
  for (RdaCliLink* l = stmt.params.head.next; l != &stmt.params.head; l = l->next)
    before.push_back(*reinterpret_cast<RDA_CliParm*>(l));
  const long base = xmLive();

  struct Builder {
    const char* name;
    std::function<GIDU*()> build;
  };
  const Builder builders[] = {
      {"RDA_cliCreateExecSQL", [&] { return RDA_cliCreateExecSQL(&stmt, "X ?", &stmt.params); }},
      {"RDA_opt_cliCreateExecSQLWithFetchData",
       [&] { return RDA_opt_cliCreateExecSQLWithFetchData(&stmt, "X ?", &stmt.params, 10); }},
      {"RDA_cliCreateFetchSQL", [&] { return RDA_cliCreateFetchSQL(&stmt, "FETCH", 10); }},
  };
  for (const Builder& b : builders) {
    long failures = 0;
    for (long n = 0;; ++n) {
      ASSERT_LT(n, 1000) << b.name << " never succeeds";
      GIDU* g = withBudget(n, b.build);
      if (g != nullptr) {
        al_deleteGidu(g);
        break;
      }
      ++failures;
      EXPECT_GE(stmt.errors.count, 1u) << b.name << ", allocation " << n;
      const std::string state = lastDiag(stmt.errors).state;
      EXPECT_TRUE(state == "S1001" || state == "40001") << b.name << ", allocation " << n << ": " << state;
      RDA_cliClearErrorList(&stmt.errors);
      xm_releaseKeptPages();
      EXPECT_EQ(xmLive(), base) << b.name << ", allocation " << n << ": the call's tree is freed";
      size_t i = 0;
      for (RdaCliLink* l = stmt.params.head.next; l != &stmt.params.head; l = l->next, ++i)
        EXPECT_EQ(std::memcmp(l, &before[i], sizeof(RDA_CliParm)), 0) << b.name << ", allocation " << n;
    }
    EXPECT_GE(failures, 3) << b.name;
    xm_releaseKeptPages();
    EXPECT_EQ(xmLive(), base);
  }

  // An aborted connection has no template: 08003, nothing left.
  GIDU* tmpl = conn.tmpl;
  conn.tmpl = nullptr;
  EXPECT_EQ(RDA_cliCreateExecSQL(&stmt, "X", nullptr), nullptr);
  EXPECT_EQ(lastDiag(stmt.errors).state, "08003");
  conn.tmpl = tmpl;
  RDA_cliClearErrorList(&stmt.errors);
  EXPECT_EQ(xmLive(), base);
}

}  // namespace
