// Bound parameters and the parameter descriptions a server returns:
// rda_cliBindParam's checks and numbering, SQLDescribeParam with and without
// the server's descriptions, SQLParamAttributes, and how a confirm's
// description list becomes the descriptions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_param.h"
#include "stmt_fixture.h"

namespace {

using ClientParams = ClientStmtTest;

std::string diagText(const RDA_CliErrorList& l) { return lastDiag(l).state + " " + lastDiag(l).message; }

TEST_F(ClientParams, BindChecksTheTypesAndTheNumberAndLeavesTheRingOnFailure) {
  int32_t v = 0;
  struct Case {
    int16_t cType;
    int16_t sqlType;
    int32_t number;
    const char* diag;  // "": bound
  };
  const Case cases[] = {
      {RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 3, "S1009 CLI error: Invalid argument value - Parameter 3 is invalid"},
      {RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 0, "S1009 CLI error: Invalid argument value - Cannot find parameter 0"},
      {RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, -1, "S1009 CLI error: Invalid argument value - Cannot find parameter -1"},
      {RDA_CLI_C_DATE, RDA_CLI_SQL_DATE, 1, "S1003 CLI error: Program type out of range -  Invalid fBufType: [9]"},
      {2, RDA_CLI_SQL_NUMERIC, 1, "S1003 CLI error: Program type out of range -  Invalid fBufType: [2]"},
      {99, RDA_CLI_SQL_CHAR, 1, "S1003 CLI error: Program type out of range -  Invalid fBufType: [99]"},
      {RDA_CLI_C_LONG, RDA_CLI_SQL_BIGINT, 1, "S1004 CLI error: Data type out of range - Invalid fSQLType -5"},
      {RDA_CLI_C_LONG, 0, 1, "S1004 CLI error: Data type out of range - Invalid fSQLType 0"},
      {RDA_CLI_C_LONG, 13, 1, "S1004 CLI error: Data type out of range - Invalid fSQLType 13"},
      {RDA_CLI_C_LONG, -11, 1, "S1004 CLI error: Data type out of range - Invalid fSQLType -11"},
      {RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 1, ""},
      {RDA_CLI_C_CHAR, RDA_CLI_SQL_VARCHAR, 2, ""},
      {RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 4, "S1009 CLI error: Invalid argument value - Parameter 4 is invalid"},
      {RDA_CLI_C_DOUBLE, RDA_CLI_SQL_DOUBLE, 3, ""},
      {RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 70000, "S1009 CLI error: Invalid argument value - Parameter 70000 is invalid"},
  };
  for (const Case& c : cases) {
    const uint32_t before = stmt.params.count;
    const int32_t rc = bind(c.cType, c.sqlType, &v, nullptr, 10, 0, c.number);
    if (*c.diag == '\0') {
      EXPECT_EQ(rc, 0) << c.number << ": " << diagText(stmt.errors);
      EXPECT_EQ(stmt.errors.count, 0u);
      continue;
    }
    EXPECT_EQ(rc, -1) << c.diag;
    EXPECT_EQ(diagText(stmt.errors), c.diag);
    EXPECT_EQ(stmt.errors.count, 1u) << "each call starts with an empty list";
    EXPECT_EQ(stmt.params.count, before) << c.diag;
  }
  ASSERT_EQ(stmt.params.count, 3u);
  RDA_CliParm* second = getParm(&stmt, 2);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->cType, RDA_CLI_C_CHAR);

  // Binding 2 again replaces its values in place.
  int64_t ind = 4;
  RdaCliLink chunks{&chunks, &chunks};
  EXPECT_EQ(rda_cliBindParam(&stmt, 2, RDA_CLI_C_WCHAR, RDA_CLI_SQL_WVARCHAR, 77, 3, nullptr, &ind, &chunks,
                             RDA_CLI_PARAM_OUTPUT, 16),
            0);
  EXPECT_EQ(getParm(&stmt, 2), second);
  EXPECT_EQ(stmt.params.count, 3u);
  EXPECT_EQ(second->number, 2);
  EXPECT_EQ(second->cType, RDA_CLI_C_WCHAR);
  EXPECT_EQ(second->sqlType, RDA_CLI_SQL_WVARCHAR);
  EXPECT_EQ(second->columnSize, 77u);
  EXPECT_EQ(second->scale, 3);
  EXPECT_EQ(second->bindFlags, RDA_CLI_PARM_BOUND);
  EXPECT_EQ(second->value, nullptr);
  EXPECT_EQ(second->lenInd, &ind);
  EXPECT_EQ(second->chunks, &chunks);
  EXPECT_EQ(second->direction, RDA_CLI_PARAM_OUTPUT);
  EXPECT_EQ(second->bufferLength, 16);
  std::vector<int> order;
  for (RdaCliLink* l = stmt.params.head.next; l != &stmt.params.head; l = l->next)
    order.push_back(reinterpret_cast<RDA_CliParm*>(l)->number);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

  // Every accepted C and SQL type.
  for (int16_t c : {1, 4, 5, 7, 8, -2, -6, -7, -8, -15, -16, -17, -18})
    EXPECT_EQ(bind(c, RDA_CLI_SQL_CHAR, &v, nullptr, 0, 0, 1), 0) << c;
  for (int16_t s : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1, -2, -3, -4, -6, -7, -8, -9, -10})
    EXPECT_EQ(bind(RDA_CLI_C_CHAR, s, &v, nullptr, 0, 0, 1), 0) << s;

  // No memory for a new record: S1001, nothing appended.
  EXPECT_EQ(withBudget(0, [&] { return bind(RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, &v, nullptr); }), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1001");
  EXPECT_EQ(stmt.params.count, 3u);

  // Not a statement.
  EXPECT_EQ(rda_cliBindParam(reinterpret_cast<RDA_CliHSTMT*>(&conn), 1, 1, 1, 0, 0, &v, nullptr, nullptr, 1, 0), -2);
  EXPECT_EQ(rda_cliBindParam(nullptr, 1, 1, 1, 0, 0, &v, nullptr, nullptr, 1, 0), -2);

  // SQLFreeStmt(SQL_RESET_PARAMS) frees them.
  EXPECT_EQ(rda_cliFreeStmt(&stmt, 3), 0);
  EXPECT_EQ(stmt.params.count, 0u);
  EXPECT_EQ(getParm(&stmt, 1), nullptr);
}

TEST_F(ClientParams, WithoutServerDescriptionsEveryParameterIsVarchar999) {
  stmt.optionFlags = RDA_CLI_STMT_OPT32;
  int16_t type = 0, scale = 9, nullable = 0, direction = 0;
  uint64_t size = 0;
  EXPECT_EQ(rda_cliDescribeParam(&stmt, 42, &type, &size, &scale, &nullable, &direction), 0);
  EXPECT_EQ(type, 12);
  EXPECT_EQ(size, 999u);
  EXPECT_EQ(scale, 0);
  EXPECT_EQ(nullable, 1);
  EXPECT_EQ(direction, 1);
  EXPECT_EQ(rda_cliDescribeParam(&stmt, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0) << "no out-value given";
  EXPECT_EQ(stmt.errors.count, 0u);
  EXPECT_EQ(rda_cliDescribeParam(reinterpret_cast<RDA_CliHSTMT*>(&env), 1, &type, &size, &scale, &nullable,
                                 &direction),
            -2);
}

// A description list as a confirm brings it, built in the statement's tree.
class ParamDescriptions : public ClientStmtTest {
 protected:
  RDAXOPENSQLDataDescr* add(RDAXOPENSQLDataDescr* d, uint32_t attributes) {
    EXPECT_NE(d, nullptr);
    d->number = static_cast<int32_t>(attributes);
    descrs_.push_back(d);
    return d;
  }
  static constexpr uint32_t P = RDA_CLI_ATTR_PARAMETER;
  const RDAList* list() {
    rda_ringInit(&list_);
    EXPECT_EQ(RDA_copyListOfSDTD(static_cast<uint32_t>(descrs_.size()), descrs_.data(), stmt.tree, &list_), 1);
    return &list_;
  }
  struct Want {
    int16_t type;
    int64_t precision;
    int16_t scale;
    int16_t nullable;
    int16_t direction;
  };
  void expectDescriptions(const std::vector<Want>& want) {
    ASSERT_EQ(stmt.paramDescs.count, want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      const RDA_CliParamSpec* s = getParamSpec(&stmt, static_cast<int32_t>(i + 1));
      ASSERT_NE(s, nullptr) << i + 1;
      EXPECT_EQ(s->sqlType, want[i].type) << "parameter " << i + 1;
      EXPECT_EQ(s->precision, want[i].precision) << "parameter " << i + 1;
      EXPECT_EQ(s->scale, want[i].scale) << "parameter " << i + 1;
      EXPECT_EQ(s->nullable, want[i].nullable) << "parameter " << i + 1;
      EXPECT_EQ(s->direction, want[i].direction) << "parameter " << i + 1;
    }
  }
  XmTree* t() { return stmt.tree; }

  std::vector<void*> descrs_;
  RDAList list_{};
};

TEST_F(ParamDescriptions, ParameterDescriptorsAreNumberedAndTyped) {
  gCharacterMode = 0;
  const int32_t six = 6;
  add(rda_createXOPENVarCharType(t(), 1, "a result column", nullptr, 30), 0);
  add(rda_createXOPENVarCharType(t(), 1, nullptr, nullptr, 100), P | 1);
  add(rda_createXOPENVarCharType(t(), 0, nullptr, nullptr, 100), P | 8 | 4);
  add(rda_createXOPENWVarCharType(t(), 1, nullptr, nullptr, 50), P | 8 | 2);
  add(rda_createXOPENWCharType(t(), 1, nullptr, nullptr, 20, 0), P | 1);
  add(rda_createXOPENBitVaryingType(t(), 1, nullptr, 30), P | 1);
  add(rda_createXOPENBitVaryingType(t(), 1, nullptr, 30), P | 8 | 16 | 1);
  add(rda_createXOPENBitVaryingType(t(), 1, nullptr, 30), P | 16 | 1);
  add(rda_createXOPENIntegerType(t(), 1, "another column", 10, 7), 1);  // not a parameter: its radix is not read
  add(rda_createXOPENCharType(t(), 1, nullptr, nullptr, 10, 0), P | 1);
  add(rda_createXOPENCharType(t(), 1, nullptr, nullptr, 10, 0), P | 32 | 1);
  add(rda_createXOPENNumericType(t(), 1, nullptr, 10, 2), P | 1);
  add(rda_createXOPENDecimalType(t(), 1, nullptr, 8, 0x10003), P | 1);
  add(rda_createXOPENIntegerType(t(), 1, nullptr, 10, 1), P | 1);
  add(rda_createXOPENSmallIntType(t(), 1, nullptr, 5, 1), P | 1);
  add(rda_createXOPENSmallIntType(t(), 1, nullptr, 1, 1), P | 32 | 16 | 1);
  add(rda_createXOPENSmallIntType(t(), 1, nullptr, 3, 1), P | 16 | 1);
  add(rda_createXOPENFloatType(t(), 1, nullptr, 15, 38), P | 1);
  add(rda_createXOPENRealType(t(), 1, nullptr, 7, 38), P | 1);
  add(rda_createXOPENDoublePrecisionType(t(), 1, nullptr, 15, 38), P | 1);
  add(rda_createXOPENDateTimeType(t(), 1, nullptr, 1, nullptr), P | 1);
  add(rda_createXOPENDateTimeType(t(), 1, nullptr, 2, nullptr), P | 1);
  add(rda_createXOPENDateTimeType(t(), 1, nullptr, 3, nullptr), P | 1);
  add(rda_createXOPENDateTimeType(t(), 1, nullptr, 3, &six), P | 1);
  add(rda_createXOPENVariantType(t(), 1, nullptr, 40), P | 1);
  stmt.paramCount = 99;
  ASSERT_EQ(updateParamSpec(&stmt, list()), 1) << diagText(stmt.errors);
  expectDescriptions({
      {12, 100, 0, 1, 1},  {-1, 100, 0, 0, 4}, {-10, 50, 0, 1, 2}, {-8, 20, 0, 1, 1},  {-3, 30, 0, 1, 1},
      {-4, 30, 0, 1, 1},   {-2, 30, 0, 1, 1},  {1, 10, 0, 1, 1},   {0, 10, 0, 1, 1},   {2, 10, 2, 1, 1},
      {3, 8, 3, 1, 1},     {4, 10, 0, 1, 1},   {5, 5, 0, 1, 1},    {-7, 1, 0, 1, 1},   {-6, 3, 0, 1, 1},
      {6, 15, 0, 1, 1},    {7, 7, 0, 1, 1},    {8, 15, 0, 1, 1},   {9, 10, 0, 1, 1},   {10, 8, 0, 1, 1},
      {11, 19, 0, 1, 1},   {11, 26, 6, 1, 1},  {-12, 40, 0, 1, 1},
  });
  EXPECT_EQ(stmt.paramCount, 23u);
  EXPECT_EQ(getParamSpec(&stmt, 2)->attributes, P | 8 | 4);

  // The server's descriptions answer SQLDescribeParam and SQLParamAttributes.
  stmt.optionFlags = RDA_CLI_STMT_OPTIONS_SUPPORT | RDA_CLI_STMT_OPT32;
  int16_t type = 0, scale = 0, nullable = 9, direction = 0;
  uint64_t size = 0;
  EXPECT_EQ(rda_cliDescribeParam(&stmt, 22, &type, &size, &scale, &nullable, &direction), 0);
  EXPECT_EQ(type, 11);
  EXPECT_EQ(size, 26u);
  EXPECT_EQ(scale, 6);
  EXPECT_EQ(nullable, 1);
  EXPECT_EQ(direction, 1);
  EXPECT_EQ(rda_cliDescribeParam(&stmt, 2, &type, &size, &scale, &nullable, &direction), 0);
  EXPECT_EQ(nullable, 0);
  EXPECT_EQ(direction, 4);
  EXPECT_EQ(rda_cliDescribeParam(&stmt, 24, &type, &size, &scale, &nullable, &direction), -1);
  EXPECT_EQ(diagText(stmt.errors), "S1002 CLI error: Invalid column name");
  RDA_cliClearErrorList(&stmt.errors);

  int64_t numeric = 0;
  char text[8] = "x";
  int16_t textLength = 5;
  EXPECT_EQ(rda_cliParamAttributes(&stmt, 2, 1000, text, sizeof text, &textLength, &numeric), 0);
  EXPECT_EQ(numeric, 4);
  EXPECT_STREQ(text, "x") << "the character outputs are not written";
  EXPECT_EQ(textLength, 5);
  EXPECT_EQ(rda_cliParamAttributes(&stmt, 2, 5, text, sizeof text, &textLength, &numeric), -1);
  EXPECT_EQ(diagText(stmt.errors), "S1009 CLI error: Invalid argument value - ParamAttribute: fDescType 5 is invalid");
  EXPECT_EQ(rda_cliParamAttributes(&stmt, 30, 1000, text, sizeof text, &textLength, &numeric), -1);
  EXPECT_EQ(diagText(stmt.errors), "S1002 CLI error: Invalid column name");
  EXPECT_EQ(stmt.errors.count, 1u);
  EXPECT_EQ(rda_cliParamAttributes(reinterpret_cast<RDA_CliHSTMT*>(&conn), 1, 1000, text, 8, &textLength, &numeric),
            -2);

  // A new list replaces the descriptions.
  descrs_.clear();
  add(rda_createXOPENIntegerType(t(), 1, nullptr, 10, 1), P | 1);
  ASSERT_EQ(updateParamSpec(&stmt, list()), 1);
  expectDescriptions({{4, 10, 0, 1, 1}});
  EXPECT_EQ(stmt.paramCount, 1u);
  EXPECT_EQ(updateParamSpec(&stmt, nullptr), 1);
  EXPECT_EQ(stmt.paramDescs.count, 0u);
  EXPECT_EQ(stmt.paramCount, 0u);
}

TEST_F(ParamDescriptions, AnUndescribableParameterEndsTheUpdate) {
  gCharacterMode = 0;
  auto* interval = add(createXOPENDescr(t(), 1, nullptr), P | 1);
  interval->type.code = 0x400E;
  struct Case {
    RDAXOPENSQLDataDescr* bad;
    const char* diag;
    int32_t native;
  };
  const Case cases[] = {
      {rda_createXOPENIntegerType(t(), 1, nullptr, 10, 0), "00000 No error", 52505},
      {rda_createXOPENSmallIntType(t(), 1, nullptr, 5, 2), "00000 No error", 52505},
      {interval, "S1004 CLI error: Data type out of range - Invalid fSQLType 0 for parameter 2", 0},
  };
  for (const Case& c : cases) {
    descrs_.clear();
    add(rda_createXOPENVarCharType(t(), 1, nullptr, nullptr, 10), P | 1);
    add(c.bad, P | 1);
    add(rda_createXOPENVarCharType(t(), 1, nullptr, nullptr, 10), P | 1);
    stmt.paramCount = 7;
    RDA_cliClearErrorList(&stmt.errors);
    EXPECT_EQ(updateParamSpec(&stmt, list()), 0) << c.diag;
    EXPECT_EQ(diagText(stmt.errors), c.diag);
    EXPECT_EQ(lastDiag(stmt.errors).native, c.native);
    EXPECT_EQ(stmt.paramDescs.count, 1u) << "the nodes built so far stay";
    EXPECT_EQ(stmt.paramCount, 7u) << "and the earlier count";
  }

  // No memory for a node.
  descrs_.clear();
  add(rda_createXOPENVarCharType(t(), 1, nullptr, nullptr, 10), P | 1);
  add(rda_createXOPENVarCharType(t(), 1, nullptr, nullptr, 10), P | 1);
  const RDAList* l = list();
  RDA_cliClearErrorList(&stmt.errors);
  // The second node's allocation fails.
  EXPECT_EQ(withBudget(1, [&] { return updateParamSpec(&stmt, l); }), 0);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1001");
  EXPECT_EQ(stmt.paramDescs.count, 1u);
}

}  // namespace
