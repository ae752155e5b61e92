// The database metadata natives of qvcli over a scripted SQLGetInfo: a table
// of (information type, server value, native, result) for every rule and
// quirk, the scalar-function lists, the version numbers, getURL, and the
// plain parts on their own.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "jni_fixture.h"
#include "src/jdbc/qvmeta.h"
#include "src/odbc/lmoinit.h"

namespace {

const std::u16string kPrefix = u"[Quenlow][Varenta JDBC]";

// Every table-made native by its Java name.
using TextNative = jstring(JNICALL*)(JNIEnv*, jobject);
using BoolNative = jboolean(JNICALL*)(JNIEnv*, jobject);
using IntNative = jint(JNICALL*)(JNIEnv*, jobject);
using AnyNative = std::variant<TextNative, BoolNative, IntNative>;
const std::map<std::string, AnyNative>& natives() {
  static const std::map<std::string, AnyNative> m = {
#define QVJ_TEST_NATIVE(m, type, info, rule, operand) {#m, AnyNative{&Java_jdbc_sql_cli_qvcli_##m}},
      QVJ_METADATA(QVJ_TEST_NATIVE)
#undef QVJ_TEST_NATIVE
  };
  return m;
}

class Metadata : public JniDriverTest {
 protected:
  void SetUp() override {
    JniDriverTest::SetUp();
    d_->script(QV_FN_GETINFO, [this](uint64_t* w) {
      const uint16_t type = arg<uint16_t>(w, 1);
      asked_.push_back(type);
      void* value = arg<void*>(w, 2);
      const int16_t size = arg<int16_t>(w, 3);
      const auto text = texts_.find(type);
      if (text != texts_.end()) {
        EXPECT_EQ(size, 255);
        const std::string& t = text->second;
        const size_t fit = std::min(t.size(), static_cast<size_t>(size - 1));
        std::memcpy(value, t.data(), fit);
        static_cast<char*>(value)[fit] = '\0';
        if (SQLSMALLINT* length = arg<SQLSMALLINT*>(w, 4); length != nullptr) *length = static_cast<SQLSMALLINT>(t.size());
        if (fit < t.size()) {
          Scripts::diag(d_->dbcErrors(), L"01004", 0, L"String data right truncation");
          return int16_t{SQL_SUCCESS_WITH_INFO};
        }
        return int16_t{0};
      }
      const auto number = numbers_.find(type);
      if (number == numbers_.end()) return int16_t{SQL_ERROR};
      EXPECT_EQ(size, 4);
      *static_cast<uint32_t*>(value) = number->second;
      return int16_t{0};
    });
  }
  // Calls the native and gives its result as text ("true", "12", ...).
  std::string call(const std::string& method) {
    const auto it = natives().find(method);
    if (it == natives().end()) return "no such native " + method;
    return std::visit(
        [this](auto f) -> std::string {
          const auto r = f(env(), cli_);
          if constexpr (std::is_same_v<decltype(r), const jstring>) {
            return r == nullptr ? "null" : narrow(jvm_.text(r));
          } else if constexpr (std::is_same_v<decltype(r), const jboolean>) {
            return r != JNI_FALSE ? "true" : "false";
          } else {
            return std::to_string(r);
          }
        },
        it->second);
  }

  std::map<uint16_t, std::string> texts_;
  std::map<uint16_t, uint32_t> numbers_;
  std::vector<uint16_t> asked_;
};

// (information type, server value, native, expected); a text value for
// the natives that read text.
struct Case {
  uint16_t info;
  std::variant<uint32_t, std::string> value;
  const char* method;
  const char* expected;
};

TEST_F(Metadata, EachRuleAndQuirkOverItsInformationType) {
  const Case cases[] = {
      {47, std::string("scott"), "getUserName", "scott"},
      {17, std::string(""), "getDatabaseProductName", ""},
      {29, std::string("\""), "getIdentifierQuoteString", "\""},
      {20, std::string("Y"), "allProceduresAreCallable", "true"},
      {20, std::string("y"), "allProceduresAreCallable", "false"},
      {103, std::string("N"), "doesMaxRowSizeIncludeBlobs", "false"},
      // Outer joins: anything but N is support; F full, P partial.
      {38, std::string("N"), "supportsOuterJoins", "false"},
      {38, std::string(""), "supportsOuterJoins", "true"},
      {38, std::string("P"), "supportsOuterJoins", "true"},
      {38, std::string("F"), "supportsFullOuterJoins", "true"},
      {38, std::string("P"), "supportsFullOuterJoins", "false"},
      {38, std::string("P"), "supportsLimitedOuterJoins", "true"},
      {0, 12u, "getMaxConnections", "12"},
      {1, 0xFFFFFFFFu, "getMaxStatements", "-1"},
      {26, 8u, "getDefaultTransactionIsolation", "8"},
      {107, 0x10080u, "getMaxUserNameLength", "65664"},
      {85, 4u, "nullsAreSortedAtEnd", "true"},
      {85, 4u, "nullsAreSortedHigh", "false"},
      {85, 0u, "nullsAreSortedHigh", "true"},
      {84, 2u, "usesLocalFiles", "true"},
      {84, 2u, "usesLocalFilePerTable", "false"},
      // Case-sensitive mixed case (3): none of the identifier answers.
      {28, 3u, "supportsMixedCaseIdentifiers", "false"},
      {28, 3u, "storesUpperCaseIdentifiers", "false"},
      {28, 3u, "storesLowerCaseIdentifiers", "false"},
      {28, 3u, "storesMixedCaseIdentifiers", "false"},
      {28, 4u, "supportsMixedCaseIdentifiers", "true"},
      {28, 4u, "storesMixedCaseIdentifiers", "true"},
      {93, 1u, "supportsMixedCaseQuotedIdentifiers", "true"},
      {93, 1u, "storesUpperCaseQuotedIdentifiers", "true"},
      {93, 2u, "storesLowerCaseQuotedIdentifiers", "true"},
      {93, 3u, "supportsMixedCaseQuotedIdentifiers", "false"},
      {86, 2u, "supportsAlterTableWithDropColumn", "true"},
      {86, 2u, "supportsAlterTableWithAddColumn", "false"},
      {22, 0u, "nullPlusNonNullIsNull", "true"},
      {48, 1u, "supportsConvert", "true"},
      {74, 2u, "supportsTableCorrelationNames", "true"},
      {74, 2u, "supportsDifferentTableCorrelationNames", "false"},
      {88, 0u, "supportsGroupBy", "false"},
      {88, 3u, "supportsGroupByUnrelated", "true"},
      {88, 2u, "supportsGroupByBeyondSelect", "true"},
      {75, 1u, "supportsNonNullableColumns", "true"},
      {15, 0u, "supportsMinimumSQLGrammar", "true"},
      {15, 0u, "supportsCoreSQLGrammar", "false"},
      {15, 2u, "supportsExtendedSQLGrammar", "true"},
      {15, 3u, "supportsMinimumSQLGrammar", "false"},
      {118, 4u, "supportsANSI92IntermediateSQL", "true"},
      {118, 4u, "supportsANSI92EntryLevelSQL", "false"},
      {114, 1u, "isCatalogAtStart", "true"},
      {91, 8u, "supportsSchemasInIndexDefinitions", "true"},
      {91, 8u, "supportsSchemasInTableDefinitions", "false"},
      {92, 0x10u, "supportsCatalogsInPrivilegeDefinitions", "true"},
      {80, 4u, "supportsSelectForUpdate", "true"},
      {95, 0x10u, "supportsCorrelatedSubqueries", "true"},
      {96, 2u, "supportsUnionAll", "true"},
      {96, 2u, "supportsUnion", "false"},
      {23, 2u, "supportsOpenCursorsAcrossCommit", "true"},
      {24, 1u, "supportsOpenCursorsAcrossRollback", "false"},
      {24, 1u, "supportsOpenStatementsAcrossRollback", "true"},
      {46, 0u, "supportsTransactions", "false"},
      {46, 4u, "dataDefinitionIgnoredInTransactions", "true"},
      {46, 1u, "supportsDataManipulationTransactionsOnly", "true"},
      // SQL_TXN_CAPABLE is an enumeration, read as bits as the driver
      // always has: 2 (all) counts as "causes a commit".
      {46, 2u, "dataDefinitionCausesTransactionCommit", "true"},
      {46, 2u, "supportsDataDefinitionAndDataManipulationTransactions", "true"},
      {7, std::string("07.30.0000"), "getDriverMajorVersion", "7"},
      {7, std::string("07.30.0000"), "getDriverMinorVersion", "30"},
      {7, std::string(""), "getDriverMajorVersion", "0"},
      {7, std::string(""), "getDriverMinorVersion", "0"},
      {49, 0x800005u, "getNumericFunctions", "abs,asin,truncate"},
      {50, 0x40001u, "getStringFunctions", "concat,space"},
      {51, 0u, "getSystemFunctions", ""},
      {52, 0x10200u, "getTimeDateFunctions", "curtime,monthname"},
  };
  for (const Case& c : cases) {
    texts_.clear();
    numbers_.clear();
    if (const auto* s = std::get_if<std::string>(&c.value)) texts_[c.info] = *s;
    else numbers_[c.info] = std::get<uint32_t>(c.value);
    asked_.clear();
    EXPECT_EQ(call(c.method), c.expected) << c.method << " on " << c.info;
    EXPECT_EQ(asked_, std::vector<uint16_t>{c.info}) << c.method;
    EXPECT_EQ(jvm_.pending(), nullptr) << c.method << ": " << narrow(thrown().message);
  }
}

TEST_F(Metadata, GetAutoCloseAsksTheRollbackBehaviourOnlyAboveOne) {
  struct AutoClose {
    uint32_t commit, rollback;
    const char* expected;
    size_t questions;
  };
  for (const AutoClose& a : {AutoClose{0, 2, "true", 1}, AutoClose{1, 2, "true", 1}, AutoClose{2, 0, "true", 2},
                             AutoClose{2, 2, "false", 2}}) {
    numbers_ = {{23, a.commit}, {24, a.rollback}};
    asked_.clear();
    EXPECT_EQ(call("getAutoClose"), a.expected) << a.commit << "/" << a.rollback;
    EXPECT_EQ(asked_.size(), a.questions);
  }
}

TEST_F(Metadata, IsolationLevelsAreBitsOfTheMask) {
  struct Level {
    uint32_t mask;
    jint level;
    jboolean expected;
  };
  for (const Level& l : {Level{3, 2, JNI_TRUE}, Level{3, 4, JNI_FALSE}, Level{0xF, 8, JNI_TRUE}, Level{0, 0, JNI_TRUE},
                         Level{3, 0, JNI_FALSE}, Level{0, 1, JNI_FALSE}}) {
    numbers_ = {{72, l.mask}};
    EXPECT_EQ(Java_jdbc_sql_cli_qvcli_supportsTransactionIsolationLevel(env(), cli_, l.level), l.expected)
        << l.mask << " " << l.level;
  }
  asked_.clear();
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_supportsSpecificConvert(env(), cli_, 4, 12), JNI_FALSE);
  EXPECT_TRUE(asked_.empty()) << "no question";
}

TEST_F(Metadata, GetUrlJoinsTheSubProtocolAndTheDataSource) {
  const std::string saved = gszSubProtocol;
  std::strcpy(gszSubProtocol, "Varenta");
  texts_[2] = "rdatest";
  EXPECT_EQ(call("getURL"), "jdbc:Varenta:rdatest");
  // The longest of both still fits.
  std::string sub(127, 'p');
  std::strcpy(gszSubProtocol, sub.c_str());
  texts_[2] = std::string(254, 'd');
  EXPECT_EQ(call("getURL"), "jdbc:" + sub + ":" + std::string(254, 'd'));
  std::strcpy(gszSubProtocol, saved.c_str());
}

TEST_F(Metadata, ALongAnswerComesCutWithItsWarning) {
  texts_[89] = std::string(300, 'k');
  EXPECT_EQ(call("getSQLKeywords"), std::string(254, 'k'));
  ASSERT_EQ(warnings(cli_).size(), 1u);
  EXPECT_EQ(warnings(cli_)[0]->sqlState, u"01004");
}

TEST_F(Metadata, AFailedQuestionThrowsUnderTheNativesName) {
  EXPECT_EQ(call("supportsUnion"), "false");
  Thrown t = thrown();
  EXPECT_EQ(t.message, u"supportsUnion fails:");
  EXPECT_EQ(call("getMaxRowSize"), "0");
  EXPECT_EQ(thrown().message, u"getMaxRowSize fails:");
  Scripts::diag(d_->dbcErrors(), L"08003", 0, L"Connection not open");
  EXPECT_EQ(call("getCatalogTerm"), "null");
  t = thrown();
  EXPECT_EQ(t.message, kPrefix + u"Connection not open");
  EXPECT_EQ(t.sqlState, u"08003");
}

// ---- Plain parts ----

TEST(MetadataTables, EveryNativeHasAnEntryAndTheFunctionListsAreInBitOrder) {
  EXPECT_EQ(kQvjMetaCount, 118u);
  const size_t counts[] = {24, 19, 3, 17};
  for (int32_t which = 0; which < 4; ++which) {
    const QvjFunctionName* t = QvjFunctionTable(which);
    size_t n = 0;
    size_t longest = 0;
    for (; t[n].name[0] != '\0'; ++n) {
      EXPECT_EQ(t[n].bit, 1u << n) << t[n].name;
      longest += std::strlen(t[n].name) + 1;
    }
    EXPECT_EQ(n, counts[which]);
    EXPECT_EQ(QvjFunctionTextBytes(which), longest);
    std::string all(QvjFunctionTextBytes(which), '\0');
    const size_t len = QvjFunctionText(which, 0xFFFFFFFFu, all.data(), all.size());
    EXPECT_EQ(len + 1, longest) << "every name fits its buffer exactly";
  }
  char text[16];
  EXPECT_EQ(QvjFunctionText(2, 0x7, text, sizeof text), 15u) << "a name that does not fit is left out";
  EXPECT_STREQ(text, "username,dbname");
}

TEST(MetadataTables, VersionTexts) {
  struct V {
    const char* text;
    int32_t major, minor;
  };
  for (const V& v : {V{"07.30.0000", 7, 30}, V{"", 0, 0}, V{"3", 3, 0}, V{"x.1.2", 0, 0}, V{"01.02.0003 beta", 1, 2}}) {
    int32_t major = -1, minor = -1;
    QvjVersionParse(v.text, &major, &minor);
    EXPECT_EQ(major, v.major) << v.text;
    EXPECT_EQ(minor, v.minor) << v.text;
  }
}

}  // namespace
