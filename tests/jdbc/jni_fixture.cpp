#include "jni_fixture.h"

#include "src/odbc/lmoerr.h"

namespace {

// The scripts of the running test, one per function number, reached through
// one trampoline per number.
std::array<Script, kQvOdbcFuncCount> gScripts;
std::array<int, kQvOdbcFuncCount>* gCalls = nullptr;

template <int N>
int16_t trampoline(uint64_t* words) {
  if (gCalls != nullptr) ++(*gCalls)[N];
  return gScripts[N](words);
}

template <int... N>
constexpr std::array<QvOdbcFunc, sizeof...(N)> trampolines(std::integer_sequence<int, N...>) {
  return {trampoline<N>...};
}

constexpr auto kTrampolines = trampolines(std::make_integer_sequence<int, kQvOdbcFuncCount>{});

}  // namespace

void JniTest::SetUp() {
  jvm_.reset();
  Java_jdbc_sql_cli_qvcli_initStaticVarsCLI(env(), classRef("jdbc/sql/cli/qvcli"));
  Java_jdbc_sql_cli_qvclistmt_initStaticVarsCLISTMT(env(), classRef("jdbc/sql/cli/qvclistmt"));
  cli_ = jvm_.newObject("jdbc/sql/cli/qvcli");
  stmt_ = jvm_.newStatement(cli_);
  jvm_.forgetLocals();
}

void JniTest::TearDown() {
  for (const std::string& f : jvm_.faults()) ADD_FAILURE() << "JNI rule broken: " << f;
  // The JVM checks that a native keeps no more than 16 local references.
  EXPECT_LE(jvm_.peakLocals(), 16);
  EXPECT_EQ(jvm_.pending(), nullptr) << "an exception no test looked at: " << jvm_.pendingClass();
}

jclass JniTest::classRef(const std::string& name) {
  FakeObject* r = jvm_.make(nullptr);
  r->classRef = jvm_.findClass(name);
  return reinterpret_cast<jclass>(r);
}

Thrown JniTest::thrown() {
  Thrown t;
  FakeObject* e = jvm_.take();
  if (e == nullptr) return t;
  t.cls = e->cls != nullptr ? e->cls->name : "";
  t.message = e->message;
  t.sqlState = e->sqlState;
  t.code = e->code;
  return t;
}

Scripts::Scripts() { gCalls = &calls_; }

Scripts::~Scripts() {
  gCalls = nullptr;
  gScripts = {};
}

void Scripts::script(int32_t number, Script body) {
  gScripts[static_cast<size_t>(number)] = std::move(body);
  table_[number] = kTrampolines[static_cast<size_t>(number)];
}

void Scripts::diag(LmoErrorList* list, const wchar_t* state, int32_t native, const std::wstring& message) {
  ASSERT_EQ(lmoAddSQLStateW(list, state, native, message.c_str()), 0);
}

void JniDriverTest::SetUp() {
  JniTest::SetUp();
  d_ = std::make_unique<ScriptedDriver>();
  useDriver(*d_);
}

void JniDriverTest::TearDown() {
  d_.reset();
  JniTest::TearDown();
}

void JniDriverTest::useDriver(ScriptedDriver& d) {
  jvm_.prim(cli_, "_sql_hdbc") = reinterpret_cast<intptr_t>(d.conn.handle());
  jvm_.prim(stmt_, "_sql_hdbc") = reinterpret_cast<intptr_t>(d.conn.handle());
  jvm_.prim(stmt_, "_sql_hstmt") = reinterpret_cast<intptr_t>(d.stmt.handle());
}
