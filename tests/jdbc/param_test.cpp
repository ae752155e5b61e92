// Prepared statements and their parameters: the records the Java values
// wait in (sizes, reuse, NULL, output records), their binding at execution
// over scripted ODBC calls, the output getters, the index checks, prepare
// and the records' release.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jni_fixture.h"
#include "src/jdbc/qvparam.h"

namespace {

const std::u16string kPrefix = u"[Quenlow][Varenta JDBC]";

// ---- The records on their own ----

TEST(ParamRecords, AllocParamReusesABlockOfTheSameSizeOnly) {
  ParamData* a = QvjNewParamArray(2);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(QvjParamCount(a), 2);
  ASSERT_TRUE(allocParam(a, 2, SQL_INTEGER, 8));
  void* first = a[1].data;
  a[1].indicator = 17;
  ASSERT_TRUE(allocParam(a, 2, SQL_DOUBLE, 8));
  EXPECT_EQ(a[1].data, first) << "same size, same block";
  EXPECT_EQ(a[1].sqlType, SQL_DOUBLE);
  EXPECT_EQ(a[1].indicator, 0);
  ASSERT_TRUE(allocParam(a, 2, SQL_SMALLINT, 2));
  EXPECT_EQ(a[1].size, 2);
  EXPECT_EQ(a[0].data, nullptr) << "the other record untouched";
  QvjFreeParamArray(a);
}

TEST(ParamRecords, ArraysOfNoOrTooManyMarkersAreNotMade) {
  EXPECT_EQ(QvjNewParamArray(0), nullptr);
  EXPECT_EQ(QvjNewParamArray(-1), nullptr);
  EXPECT_EQ(QvjNewParamArray((int64_t{1} << 40) + 1), nullptr);
  ParamData* a = QvjNewParamArray(32767);
  ASSERT_NE(a, nullptr);
  QvjFreeParamArray(a);
}

// Sizes by SQL type, input and output; a refusal leaves the record as it
// was.
TEST(ParamRecords, SetParamSizesByTypeAndRefusesWithoutTouchingTheRecord) {
  struct Case {
    int16_t sqlType;
    int32_t direction;
    size_t bytes;
    QvjParamSet result;
    int32_t size;
    int64_t stored;
  };
  const Case cases[] = {
      {SQL_WVARCHAR, 0, 12, QvjParamSet::Ok, 12, SQL_WVARCHAR},
      {SQL_WCHAR, 1, 0, QvjParamSet::Ok, 4100, SQL_WCHAR},
      {SQL_VARCHAR, 1, 0, QvjParamSet::Ok, 1025, SQL_VARCHAR},
      {SQL_LONGVARBINARY, 0, 3, QvjParamSet::Ok, 3, SQL_LONGVARBINARY},
      {SQL_INTEGER, 1, 0, QvjParamSet::Ok, 8, SQL_INTEGER},
      {SQL_SMALLINT, 0, 2, QvjParamSet::Ok, 2, SQL_SMALLINT},
      {SQL_REAL, 0, 4, QvjParamSet::Ok, 4, SQL_REAL},
      {SQL_TYPE_DATE, 0, 6, QvjParamSet::Ok, 6, SQL_DATE},
      {SQL_TYPE_TIME, 1, 0, QvjParamSet::Ok, 6, SQL_TIME},
      {SQL_TYPE_TIMESTAMP, 0, 16, QvjParamSet::Ok, 16, SQL_TIMESTAMP},
      {SQL_WLONGVARCHAR, 1, 0, QvjParamSet::UnsupportedType, 0, 0},
      {SQL_NUMERIC, 0, 0, QvjParamSet::UnsupportedType, 0, 0},
      {SQL_BIGINT, 0, 0, QvjParamSet::UnsupportedType, 0, 0},
      {SQL_BIT, 0, 0, QvjParamSet::UnsupportedType, 0, 0},
      {SQL_VARBINARY, 1, 0, QvjParamSet::BinaryOutput, 0, 0},
      // A value no 32-bit buffer size can hold.
      {SQL_LONGVARBINARY, 0, size_t{INT32_MAX} + 1, QvjParamSet::NoMemory, 0, 0},
  };
  const uint8_t value[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0, 0};
  for (const Case& c : cases) {
    ParamData* a = QvjNewParamArray(1);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(setParam(a, 1, SQL_SMALLINT, SQL_C_SHORT, value, 2, 0), QvjParamSet::Ok);
    const ParamData before = a[0];
    EXPECT_EQ(setParam(a, 1, c.sqlType, SQL_C_DEFAULT, c.direction == 0 ? value : nullptr, c.bytes, c.direction),
              c.result)
        << c.sqlType;
    if (c.result == QvjParamSet::Ok) {
      EXPECT_EQ(a[0].size, c.size) << c.sqlType;
      EXPECT_EQ(a[0].sqlType, c.stored) << c.sqlType;
      EXPECT_EQ(a[0].direction, c.direction);
    } else {
      EXPECT_EQ(std::memcmp(&before, &a[0], sizeof before), 0) << "unchanged after refusing " << c.sqlType;
    }
    QvjFreeParamArray(a);
  }
}

TEST(ParamRecords, SetNullParamKeepsTheBufferForTheNextValue) {
  ParamData* a = QvjNewParamArray(1);
  const SQLDOUBLE d = 2.5;
  ASSERT_EQ(setParam(a, 1, SQL_DOUBLE, SQL_C_DOUBLE, &d, sizeof d, 1), QvjParamSet::Ok);
  void* block = a[0].data;
  setNullParam(a, 1);
  EXPECT_EQ(a[0].sqlType, SQL_VARCHAR);
  EXPECT_EQ(a[0].cType, SQL_C_CHAR);
  EXPECT_EQ(a[0].size, 0);
  EXPECT_EQ(a[0].indicator, SQL_NULL_DATA);
  EXPECT_EQ(a[0].direction, 0);
  EXPECT_EQ(a[0].data, block);
  ASSERT_EQ(setParam(a, 1, SQL_DOUBLE, SQL_C_DOUBLE, &d, sizeof d, 0), QvjParamSet::Ok);
  EXPECT_EQ(a[0].size, 8);
  QvjFreeParamArray(a);
}

// ---- The natives ----

class Params : public JniDriverTest {
 protected:
  void SetUp() override {
    JniDriverTest::SetUp();
    jvm_.prim(stmt_, "_sql_numParams") = 3;
    // Autocommit on: no local transaction to mark.
    d_->script(QV_FN_GETCONNECTOPTION, [](uint64_t* w) {
      *arg<uint32_t*>(w, 2) = 1;
      return int16_t{0};
    });
  }
  void TearDown() override {
    QvjFreeParamArray(records());
    jvm_.prim(stmt_, "_sql_paramDataArray") = 0;
    JniDriverTest::TearDown();
  }
  ParamData* records() { return reinterpret_cast<ParamData*>(static_cast<intptr_t>(jvm_.prim(stmt_, "_sql_paramDataArray"))); }
  ParamData& rec(int n) { return records()[n - 1]; }
  jbyteArray bytes(std::vector<int8_t> b) {
    FakeObject* o = jvm_.make(nullptr);
    o->bytes = std::move(b);
    return static_cast<jbyteArray>(jvm_.local(o));
  }

  struct Bound {
    uint16_t n;
    int16_t io, cType, sqlType;
    uint64_t columnSize;
    int16_t digits;
    void* value;
    int64_t bufferLength;
    SQLLEN* indicator;
  };
  // Scripts an execution: SQLFreeStmt, SQLBindParameter and SQLExecute
  // are recorded, the result has `columns` columns.
  void scriptExecution(int16_t columns = 0) {
    d_->script(QV_FN_FREESTMT, [this](uint64_t* w) {
      calls_.push_back("free " + std::to_string(arg<uint16_t>(w, 1)));
      return int16_t{0};
    });
    d_->script(QV_FN_BINDPARAMETER, [this](uint64_t* w) {
      bound_.push_back(Bound{arg<uint16_t>(w, 1), arg<int16_t>(w, 2), arg<int16_t>(w, 3), arg<int16_t>(w, 4),
                             arg<uint64_t>(w, 5), arg<int16_t>(w, 6), arg<void*>(w, 7), arg<int64_t>(w, 8),
                             arg<SQLLEN*>(w, 9)});
      calls_.push_back("bind " + std::to_string(arg<uint16_t>(w, 1)));
      return int16_t{0};
    });
    d_->script(QV_FN_EXECUTE, [this](uint64_t*) {
      calls_.push_back("execute");
      return int16_t{0};
    });
    d_->script(QV_FN_NUMRESULTCOLS, [columns](uint64_t* w) {
      *arg<SQLSMALLINT*>(w, 1) = columns;
      return int16_t{0};
    });
  }

  std::vector<std::string> calls_;
  std::vector<Bound> bound_;
};

TEST_F(Params, AnEmptyStringIsItsTerminatorAlone) {
  Java_jdbc_sql_cli_qvclistmt_setString(env(), stmt_, 1, jvm_.str(u""));
  ASSERT_EQ(jvm_.pending(), nullptr);
  EXPECT_EQ(rec(1).size, 4);
  EXPECT_EQ(*static_cast<wchar_t*>(rec(1).data), L'\0');
  EXPECT_EQ(rec(1).indicator, SQL_NTS);
  EXPECT_EQ(rec(1).cType, SQL_C_WCHAR);
  EXPECT_EQ(rec(1).sqlType, SQL_WVARCHAR);
  Java_jdbc_sql_cli_qvclistmt_setString(env(), stmt_, 2, jvm_.str(u"a\U0001F600"));
  EXPECT_EQ(rec(2).size, 12) << "two characters and the terminator, four bytes each";
  EXPECT_EQ(std::wstring(static_cast<wchar_t*>(rec(2).data)), L"a\U0001F600");
  Java_jdbc_sql_cli_qvclistmt_setString(env(), stmt_, 2, nullptr);
  Thrown t = thrown();
  EXPECT_EQ(t.cls, "java/lang/IllegalArgumentException");
  EXPECT_EQ(t.message, u"string must be specified");
  Java_jdbc_sql_cli_qvclistmt_setString(env(), stmt_, 2, jvm_.str(std::u16string(1025, u's')));
  EXPECT_EQ(thrown().sqlState, u"S1090");
  Java_jdbc_sql_cli_qvclistmt_setBytes(env(), stmt_, 3, nullptr);
  EXPECT_EQ(thrown().message, u"byte array must be specified");
  Java_jdbc_sql_cli_qvclistmt_setBytes(env(), stmt_, 3, bytes({0, -1, 16}));
  EXPECT_EQ(rec(3).size, 3);
  EXPECT_EQ(rec(3).indicator, 3);
  EXPECT_EQ(std::memcmp(rec(3).data, "\x00\xff\x10", 3), 0);
}

TEST_F(Params, BuffersAreReplacedOnlyWhenTheSizeChanges) {
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 1, 5);
  void* block = rec(1).data;
  EXPECT_EQ(rec(1).size, 8);
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 1, -6);
  EXPECT_EQ(rec(1).data, block);
  EXPECT_EQ(*static_cast<SQLINTEGER*>(rec(1).data), -6);
  Java_jdbc_sql_cli_qvclistmt_setDouble(env(), stmt_, 1, 2.25);
  EXPECT_EQ(rec(1).data, block) << "a double takes the same 8 bytes";
  EXPECT_EQ(*static_cast<SQLDOUBLE*>(rec(1).data), 2.25);
  Java_jdbc_sql_cli_qvclistmt_setShort(env(), stmt_, 1, 7);
  EXPECT_EQ(rec(1).size, 2);
  EXPECT_EQ(*static_cast<SQLSMALLINT*>(rec(1).data), 7);
  EXPECT_EQ(rec(1).cType, SQL_C_SHORT);
}

TEST_F(Params, TimestampFractionsKeepAllTheirBits) {
  Java_jdbc_sql_cli_qvclistmt_setTimestamp(env(), stmt_, 1, 2001, 2, 3, 4, 5, 6, 123456789);
  const auto* ts = static_cast<TIMESTAMP_STRUCT*>(rec(1).data);
  EXPECT_EQ(ts->year, 2001);
  EXPECT_EQ(ts->second, 6);
  EXPECT_EQ(ts->fraction, 123456789u);
  Java_jdbc_sql_cli_qvclistmt_setDate(env(), stmt_, 2, -44, 3, 15);
  EXPECT_EQ(static_cast<DATE_STRUCT*>(rec(2).data)->year, -44);
  Java_jdbc_sql_cli_qvclistmt_setTime(env(), stmt_, 3, 23, 59, 58);
  EXPECT_EQ(static_cast<TIME_STRUCT*>(rec(3).data)->minute, 59);
}

TEST_F(Params, ANullIsBoundAsVarcharWithoutABuffer) {
  scriptExecution();
  Java_jdbc_sql_cli_qvclistmt_setNull(env(), stmt_, 1);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__(env(), stmt_), JNI_FALSE);
  ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
  EXPECT_EQ(calls_, (std::vector<std::string>{"free 3", "bind 1", "execute"})) << "never-set markers are not bound";
  ASSERT_EQ(bound_.size(), 1u);
  const Bound& b = bound_[0];
  EXPECT_EQ(b.io, SQL_PARAM_INPUT);
  EXPECT_EQ(b.cType, SQL_C_CHAR);
  EXPECT_EQ(b.sqlType, SQL_VARCHAR);
  EXPECT_EQ(b.columnSize, 0u);
  EXPECT_EQ(b.digits, 0);
  EXPECT_EQ(b.bufferLength, 0);
  EXPECT_EQ(b.indicator, &rec(1).indicator);
  EXPECT_EQ(*b.indicator, SQL_NULL_DATA);
}

TEST_F(Params, OutputRecordsAndTheirGetters) {
  scriptExecution(2);
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 1, 9);
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 2, 2 /* NUMERIC */, 0);
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 3, 4 /* INTEGER */, 0);
  ASSERT_EQ(jvm_.pending(), nullptr);
  EXPECT_EQ(rec(2).sqlType, SQL_VARCHAR);
  EXPECT_EQ(rec(2).cType, SQL_C_CHAR);
  EXPECT_EQ(rec(2).size, 1025);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamType(env(), stmt_, 2), 12);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__(env(), stmt_), JNI_TRUE) << "two result columns";
  ASSERT_EQ(bound_.size(), 3u);
  EXPECT_EQ(bound_[0].io, SQL_PARAM_INPUT);
  EXPECT_EQ(bound_[1].io, SQL_PARAM_OUTPUT);
  EXPECT_EQ(bound_[1].bufferLength, 1025);
  EXPECT_EQ(bound_[2].cType, SQL_C_SLONG);

  // What the ODBC layer put into the records.
  std::strcpy(static_cast<char*>(rec(2).data), "-12.50");
  rec(2).indicator = 6;
  *static_cast<SQLINTEGER*>(rec(3).data) = 77;
  rec(3).indicator = 4;
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getParamString(env(), stmt_, 2)), u"-12.50")
      << "a DECIMAL read by getParamString";
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamInt(env(), stmt_, 3), 77);
  EXPECT_EQ(jvm_.prim(stmt_, "_param_wasnull"), 0);
  rec(3).indicator = SQL_NULL_DATA;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamInt(env(), stmt_, 3), 0);
  EXPECT_EQ(jvm_.prim(stmt_, "_param_wasnull"), 1);
  rec(2).indicator = SQL_NULL_DATA;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamString(env(), stmt_, 2), nullptr);

  // A type the records do not take, a binary output, a code without a type.
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 1, -1 /* LONGVARCHAR */, 0);
  Thrown t = thrown();
  EXPECT_EQ(t.sqlState, u"S1004");
  EXPECT_NE(t.message.find(u"SQL type -10"), std::u16string::npos) << narrow(t.message);
  EXPECT_EQ(rec(1).direction, 0) << "the record is as it was";
  EXPECT_EQ(*static_cast<SQLINTEGER*>(rec(1).data), 9);
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 1, -3 /* VARBINARY */, 0);
  EXPECT_EQ(thrown().sqlState, u"S1004");
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 1, 1111, 0);
  EXPECT_EQ(thrown().message, u"registerOutParameter fails:");
}

TEST_F(Params, TimestampsAndBytesOfOutputRecords) {
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 1, 93 /* TIMESTAMP */, 0);
  *static_cast<TIMESTAMP_STRUCT*>(rec(1).data) = TIMESTAMP_STRUCT{1999, 12, 31, 23, 59, 58, 3000000000u};
  rec(1).indicator = 16;
  jintArray a = Java_jdbc_sql_cli_qvclistmt_getParamTimestamp(env(), stmt_, 1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(jvm_.object(a)->ints,
            (std::vector<int32_t>{1999, 12, 31, 23, 59, 58, static_cast<int32_t>(3000000000u)}));
  rec(1).indicator = SQL_NULL_DATA;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamTimestamp(env(), stmt_, 1), nullptr);
  // A date getter on a record too small for a date.
  Java_jdbc_sql_cli_qvclistmt_setShort(env(), stmt_, 2, 1);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamDate(env(), stmt_, 2), nullptr);
  EXPECT_EQ(thrown().sqlState, u"22000");

  // getParamBytes copies what the buffer holds, never beyond it.
  Java_jdbc_sql_cli_qvclistmt_setBytes(env(), stmt_, 3, bytes({1, 2, 3, 4}));
  struct Case {
    SQLLEN indicator;
    std::vector<int8_t> expected;
    bool null;
  };
  const Case cases[] = {{2, {1, 2}, false},
                        {4, {1, 2, 3, 4}, false},
                        {4000, {1, 2, 3, 4}, false},
                        {SQL_NTS, {}, false},
                        {SQL_NULL_DATA, {}, true}};
  for (const Case& c : cases) {
    rec(3).indicator = c.indicator;
    jbyteArray b = Java_jdbc_sql_cli_qvclistmt_getParamBytes(env(), stmt_, 3);
    if (c.null) {
      EXPECT_EQ(b, nullptr);
      continue;
    }
    ASSERT_NE(b, nullptr) << c.indicator;
    EXPECT_EQ(jvm_.object(b)->bytes, c.expected) << c.indicator;
    env()->DeleteLocalRef(b);
  }
}

// getParamString reads by the record's C type, within its buffer.
TEST_F(Params, GetParamStringReadsByTheRecordsCType) {
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 1, 1 /* CHAR: wide */, 0);
  EXPECT_EQ(rec(1).size, 4100);
  // A text that fills the buffer without a terminator stops at its end.
  auto* w = static_cast<wchar_t*>(rec(1).data);
  for (int i = 0; i < 4100 / 4; ++i) w[i] = L'\U0001F600';
  rec(1).indicator = 4100;
  const std::u16string got = jvm_.text(Java_jdbc_sql_cli_qvclistmt_getParamString(env(), stmt_, 1));
  EXPECT_EQ(got.size(), 2u * 1025u);
  Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, 2, 2 /* NUMERIC: 8-bit */, 0);
  std::memset(rec(2).data, 'x', 1025);
  rec(2).indicator = 1025;
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getParamString(env(), stmt_, 2)).size(), 1025u);
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 3, 1);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamString(env(), stmt_, 3), nullptr);
  const Thrown t = thrown();
  EXPECT_EQ(t.message, u"Unsupported format for getParamString");
  EXPECT_EQ(t.sqlState, u"22000");
}

TEST_F(Params, IndexZeroAndOnePastTheCountAreRefused) {
  for (jint index : {0, 4, -1}) {
    Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, index, 1);
    EXPECT_EQ(thrown().message, u" Invalid Parameter Index ") << index;
    Java_jdbc_sql_cli_qvclistmt_setNull(env(), stmt_, index);
    EXPECT_EQ(thrown().message, u" Invalid Parameter Index ");
    Java_jdbc_sql_cli_qvclistmt_registerOutParameter(env(), stmt_, index, 4, 0);
    EXPECT_EQ(thrown().message, u" Invalid Parameter Index ");
    EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getParamInt(env(), stmt_, index), 0);
    const Thrown t = thrown();
    EXPECT_EQ(t.message, u" Invalid Parameter Index ");
    EXPECT_EQ(t.sqlState, u"");
    EXPECT_EQ(t.code, 0);
  }
  EXPECT_EQ(records(), nullptr) << "nothing was made for them";
  // Records made for three markers know their count when the field says
  // more.
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 3, 1);
  jvm_.prim(stmt_, "_sql_numParams") = 5;
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 5, 1);
  EXPECT_EQ(thrown().message, u" Invalid Parameter Index ");
}

// 2^40 + 1 markers: the low 16 bits pass the index check, the records
// cannot be made.
TEST_F(Params, RecordsThatCannotBeMadeThrowS1001) {
  jvm_.prim(stmt_, "_sql_numParams") = (int64_t{1} << 40) + 1;
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 1, 5);
  EXPECT_EQ(thrown().sqlState, u"S1001");
  scriptExecution();
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__(env(), stmt_), JNI_FALSE);
  EXPECT_EQ(thrown().sqlState, u"S1001");
  EXPECT_TRUE(calls_.empty()) << "nothing ran";
  EXPECT_EQ(records(), nullptr);
}

TEST_F(Params, PrepareDropsTheOldStatementAndCountsMarkers) {
  std::vector<std::string> calls;
  d_->script(QV_FN_FREESTMT, [&](uint64_t* w) {
    calls.push_back("free " + std::to_string(arg<uint16_t>(w, 1)));
    return int16_t{0};
  });
  d_->script(QV_FN_ALLOCSTMT, [&](uint64_t* w) {
    calls.push_back("alloc");
    *arg<SQLHSTMT*>(w, 1) = d_->stmt.handle();
    return int16_t{0};
  });
  std::wstring prepared;
  d_->script(QV_FN_PREPARE, [&](uint64_t* w) {
    calls.push_back("prepare");
    prepared = arg<wchar_t*>(w, 1);
    return int16_t{0};
  });
  int16_t markers = 2;
  d_->script(QV_FN_NUMPARAMS, [&](uint64_t* w) {
    *arg<SQLSMALLINT*>(w, 1) = markers;
    return int16_t{0};
  });
  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 3, 1);
  ASSERT_NE(records(), nullptr);
  Java_jdbc_sql_cli_qvclistmt_doPrepareQuery(env(), stmt_, jvm_.str(u"INSERT INTO t VALUES (?, ?)"), JNI_FALSE);
  ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
  EXPECT_EQ(calls, (std::vector<std::string>{"free 1", "alloc", "free 3", "prepare"}))
      << "the old statement dropped, the bindings reset before the records go";
  EXPECT_EQ(prepared, L"INSERT INTO t VALUES (?, ?)");
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_numParams"), 2);
  EXPECT_EQ(records(), nullptr);

  Java_jdbc_sql_cli_qvclistmt_setInt(env(), stmt_, 2, 1);
  ParamData* kept = records();
  markers = 3;
  Java_jdbc_sql_cli_qvclistmt_doPrepareQuery(env(), stmt_, jvm_.str(u"INSERT INTO t VALUES (?, ?, ?)"), JNI_TRUE);
  EXPECT_EQ(thrown().message, u"Argument count mismatch in prepare fails:");
  EXPECT_EQ(records(), kept) << "the kept records stay";
  markers = 2;
  Java_jdbc_sql_cli_qvclistmt_doPrepareQuery(env(), stmt_, jvm_.str(u"INSERT INTO u VALUES (?, ?)"), JNI_TRUE);
  EXPECT_EQ(jvm_.pending(), nullptr);
  EXPECT_EQ(records(), kept);
  Java_jdbc_sql_cli_qvclistmt_doPrepareQuery(env(), stmt_, nullptr, JNI_TRUE);
  EXPECT_EQ(thrown().message, u"doPrepareQuery fails:");
}

TEST_F(Params, ClearParametersResetsTheBindingsBeforeFreeing) {
  scriptExecution();
  Java_jdbc_sql_cli_qvclistmt_setString(env(), stmt_, 1, jvm_.str(u"x"));
  Java_jdbc_sql_cli_qvclistmt_clearParameters(env(), stmt_);
  EXPECT_EQ(calls_, (std::vector<std::string>{"free 3"}));
  EXPECT_EQ(records(), nullptr);
  // Without markers or a statement: nothing to do.
  jvm_.prim(stmt_, "_sql_numParams") = 0;
  Java_jdbc_sql_cli_qvclistmt_clearParameters(env(), stmt_);
  EXPECT_EQ(calls_.size(), 1u);
}

}  // namespace
