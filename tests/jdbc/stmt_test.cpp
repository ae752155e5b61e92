// The statement and result-set natives of qvclistmt over scripted ODBC
// calls: the statement handle's life, Execute, stepping through rows, the
// column getters (long values in pieces, NULLs, the restart of a column)
// and the result-set metadata.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "jni_fixture.h"
#include "src/jdbc/qvjtypes.h"
#include "src/odbc/lmoinit.h"

namespace {

const std::u16string kPrefix = u"[Quenlow][Varenta JDBC]";

class Statement : public JniDriverTest {
 protected:
  SQLHSTMT handle() { return d_->stmt.handle(); }
  // SQLGetData answers from a value delivered in pieces of what fits the
  // buffer, as the driver's text and binary readers do: the indicator is
  // what is still to come, 1 while more follows. A negative column starts
  // the value again. `unit` is 4 for wide text (with its terminator), 1 for
  // bytes.
  void value(std::vector<uint8_t> bytes, size_t unit, bool null = false) {
    value_ = std::move(bytes);
    null_ = null;
    at_ = 0;
    columns_.clear();
    d_->script(QV_FN_GETDATA, [this, unit](uint64_t* w) {
      const auto column = static_cast<int16_t>(arg<uint16_t>(w, 1));
      columns_.push_back(column);
      if (column < 0) at_ = 0;
      SQLLEN* indicator = arg<SQLLEN*>(w, 5);
      if (null_) {
        *indicator = SQL_NULL_DATA;
        return int16_t{0};
      }
      if (at_ == value_.size() && at_ > 0) return int16_t{SQL_NO_DATA};
      const auto size = static_cast<size_t>(arg<int64_t>(w, 4));
      const size_t room = unit == 4 ? (size / 4 - 1) * 4 : size;
      const size_t n = std::min(room, value_.size() - at_);
      auto* out = arg<uint8_t*>(w, 3);
      if (n > 0) std::memcpy(out, value_.data() + at_, n);
      if (unit == 4) std::memset(out + n, 0, 4);
      *indicator = static_cast<SQLLEN>(value_.size() - at_);
      at_ += n;
      return static_cast<int16_t>(at_ < value_.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
    });
  }
  static std::vector<uint8_t> wide(const std::wstring& text) {
    std::vector<uint8_t> b(text.size() * sizeof(wchar_t));
    std::memcpy(b.data(), text.data(), b.size());
    return b;
  }
  // A column SQLDescribeCol reports as of that SQL type.
  void describedAs(int16_t type) {
    d_->script(QV_FN_DESCRIBECOL, [type](uint64_t* w) {
      *arg<SQLSMALLINT*>(w, 5) = type;
      return int16_t{0};
    });
  }
  // A fixed-size value of a numeric or date getter.
  template <class T>
  void fixed(T v, bool null = false) {
    d_->script(QV_FN_GETDATA, [v, null, this](uint64_t* w) {
      columns_.push_back(static_cast<int16_t>(arg<uint16_t>(w, 1)));
      EXPECT_EQ(arg<int64_t>(w, 4), static_cast<int64_t>(sizeof(T)));
      *arg<SQLLEN*>(w, 5) = null ? SQL_NULL_DATA : static_cast<SQLLEN>(sizeof(T));
      // The native zeroed its buffer: NULL reads as 0.
      if (!null) std::memcpy(arg<void*>(w, 3), &v, sizeof(T));
      return int16_t{0};
    });
  }

  std::vector<uint8_t> value_;
  bool null_ = false;
  size_t at_ = 0;
  std::vector<int16_t> columns_;
};

TEST_F(Statement, ALongVarcharComesBackWholeFromPiecesJoinedInOrder) {
  std::wstring text;
  for (int i = 0; text.size() < 10000; ++i) text += std::to_wstring(i) + L"\U0001F600,";
  text.resize(10000);
  value(wide(text), 4);
  jstring s = Java_jdbc_sql_cli_qvclistmt_getString(env(), stmt_, 2);
  EXPECT_EQ(jvm_.text(s), u16(text));
  EXPECT_EQ(columns_, (std::vector<int16_t>{-2, 2, 2})) << "three pieces, the first restarting the column";
  EXPECT_EQ(jvm_.liveLocals(), 1) << "only the result is left";
  EXPECT_EQ(warnings(stmt_).size(), 0u) << "more data is no warning";
}

TEST_F(Statement, GetStringOfNullAndEmptyValues) {
  jvm_.prim(stmt_, "_sql_wasnull") = 7;
  value({}, 4, true);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getString(env(), stmt_, 1), nullptr);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_wasnull"), 7) << "getString leaves _sql_wasnull";
  value({}, 4);
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getString(env(), stmt_, 1)), u"");
  d_->script(QV_FN_GETDATA, [](uint64_t*) { return int16_t{SQL_NO_DATA}; });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getString(env(), stmt_, 1), nullptr);
  EXPECT_EQ(thrown().message, u"getString fails:") << "no data is an error for a getter";
}

TEST_F(Statement, GetBytesReadsBinaryColumnsOnly) {
  describedAs(SQL_INTEGER);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getBytes(env(), stmt_, 1), nullptr);
  const Thrown t = thrown();
  EXPECT_EQ(t.message, u"Unsupported format for getBytes");
  EXPECT_EQ(t.sqlState, u"22000");
  EXPECT_EQ(t.code, 0);

  for (int16_t type : {SQL_LONGVARBINARY, SQL_VARBINARY, SQL_BINARY}) {
    describedAs(type);
    std::vector<uint8_t> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    value(bytes, 1);
    jbyteArray a = Java_jdbc_sql_cli_qvclistmt_getBytes(env(), stmt_, 3);
    ASSERT_NE(a, nullptr);
    const std::vector<int8_t>& got = jvm_.object(a)->bytes;
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), bytes) << type;
    EXPECT_EQ(columns_, (std::vector<int16_t>{-3, 3, 3}));
    env()->DeleteLocalRef(a);
  }
  // NULL is null; an empty value is an empty array, not a NULL.
  value({}, 1, true);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getBytes(env(), stmt_, 3), nullptr);
  value({}, 1);
  jbyteArray empty = Java_jdbc_sql_cli_qvclistmt_getBytes(env(), stmt_, 3);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(jvm_.object(empty)->bytes.empty());
}

// A later piece that claims more than the first one announced is cut to
// what the array holds.
TEST_F(Statement, GetBytesWritesNothingPastItsArray) {
  describedAs(SQL_VARBINARY);
  int call = 0;
  d_->script(QV_FN_GETDATA, [&call](uint64_t* w) {
    std::memset(arg<void*>(w, 3), 0x5A, 4096);
    *arg<SQLLEN*>(w, 5) = call == 0 ? 5000 : 9000;
    return static_cast<int16_t>(++call < 3 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
  });
  jbyteArray a = Java_jdbc_sql_cli_qvclistmt_getBytes(env(), stmt_, 1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(jvm_.object(a)->bytes.size(), 5000u);
  EXPECT_EQ(jvm_.pending(), nullptr);
}

TEST_F(Statement, NumericGettersRestartTheColumnAndSetWasNull) {
  fixed<SQLINTEGER>(42);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getInt(env(), stmt_, 4), 42);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getInt(env(), stmt_, 4), 42) << "twice on a column, the same value";
  EXPECT_EQ(columns_, (std::vector<int16_t>{-4, -4}));
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_wasnull"), 0);
  fixed<SQLINTEGER>(42, true);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getInt(env(), stmt_, 4), 0);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_wasnull"), 1);
  fixed<SQLSMALLINT>(-7);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getShort(env(), stmt_, 1), -7);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_wasnull"), 0) << "the next value clears it";
  fixed<SQLREAL>(1.5f);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getFloat(env(), stmt_, 1), 1.5f);
  fixed<SQLDOUBLE>(0.0, true);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getDouble(env(), stmt_, 1), 0.0);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_wasnull"), 1);
}

TEST_F(Statement, DatesAndTimesAreIntArrays) {
  TIMESTAMP_STRUCT ts{2001, 2, 3, 4, 5, 6, 123456789};
  fixed(ts);
  jintArray a = Java_jdbc_sql_cli_qvclistmt_getTimestamp(env(), stmt_, 7);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(jvm_.object(a)->ints, (std::vector<int32_t>{2001, 2, 3, 4, 5, 6, 123456789}));
  fixed(DATE_STRUCT{-100, 12, 31});
  a = Java_jdbc_sql_cli_qvclistmt_getDate(env(), stmt_, 5);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(jvm_.object(a)->ints, (std::vector<int32_t>{-100, 12, 31}));
  fixed(TIME_STRUCT{23, 59, 58});
  a = Java_jdbc_sql_cli_qvclistmt_getTime(env(), stmt_, 6);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(jvm_.object(a)->ints, (std::vector<int32_t>{23, 59, 58}));
  jvm_.prim(stmt_, "_sql_wasnull") = 7;
  fixed(DATE_STRUCT{}, true);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getDate(env(), stmt_, 5), nullptr);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_wasnull"), 7);
}

// A row that came with a warning is still a row.
TEST_F(Statement, NextAndGetMoreResults) {
  struct Case {
    int16_t rc;
    jboolean result;
    bool thrown;
    size_t warnings;
  };
  const Case cases[] = {{SQL_SUCCESS, JNI_TRUE, false, 0},
                        {SQL_NO_DATA, JNI_FALSE, false, 0},
                        {SQL_SUCCESS_WITH_INFO, JNI_TRUE, false, 1},
                        {SQL_ERROR, JNI_FALSE, true, 0},
                        {SQL_NEED_DATA, JNI_FALSE, true, 0}};
  for (bool more : {false, true}) {
    for (const Case& c : cases) {
      jvm_.object(stmt_)->warnings.clear();
      Scripts::diag(d_->stmtErrors(), L"01004", 0, L"the diagnostic");
      d_->script(more ? QV_FN_MORERESULTS : QV_FN_FETCH, [c](uint64_t*) { return c.rc; });
      EXPECT_EQ((more ? Java_jdbc_sql_cli_qvclistmt_getMoreResults : Java_jdbc_sql_cli_qvclistmt_next)(env(), stmt_),
                c.result);
      EXPECT_EQ(warnings(stmt_).size(), c.warnings) << c.rc;
      const Thrown t = thrown();
      if (c.thrown) {
        // The text goes only to the trace.
        EXPECT_EQ(t.message, more ? u"getMoreResults" : u"next");
        EXPECT_EQ(t.sqlState, u"");
        EXPECT_EQ(t.code, 0);
      } else {
        EXPECT_EQ(t.cls, "") << c.rc;
      }
      if (c.warnings > 0) {
        EXPECT_EQ(warnings(stmt_)[0]->message, kPrefix + u"the diagnostic");
      }
      lmoClearErrorList(d_->stmtErrors());
    }
  }
}

TEST_F(Statement, ExecuteClosesAnOpenCursorOrAllocatesAStatement) {
  std::vector<uint16_t> freed;
  d_->script(QV_FN_FREESTMT, [&](uint64_t* w) {
    freed.push_back(arg<uint16_t>(w, 1));
    return int16_t{0};
  });
  std::wstring sent;
  d_->script(QV_FN_EXECDIRECT, [&](uint64_t* w) {
    sent = arg<wchar_t*>(w, 1);
    EXPECT_EQ(arg<int32_t>(w, 2), SQL_NTS);
    return int16_t{0};
  });
  int16_t columns = 0;
  d_->script(QV_FN_NUMRESULTCOLS, [&](uint64_t* w) {
    *arg<SQLSMALLINT*>(w, 1) = columns;
    return int16_t{0};
  });
  // Autocommit on: no local transaction.
  d_->script(QV_FN_GETCONNECTOPTION, [](uint64_t* w) {
    *arg<uint32_t*>(w, 2) = 1;
    return int16_t{0};
  });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_,
                                                                     jvm_.str(u"UPDATE t SET v = '\U0001F600'")),
            JNI_FALSE)
      << "an UPDATE has no result set";
  EXPECT_EQ(sent, L"UPDATE t SET v = '\U0001F600'");
  EXPECT_EQ(freed, (std::vector<uint16_t>{SQL_CLOSE, SQL_RESET_PARAMS}))
      << "bindings of an earlier prepared execution do not reach a direct text";
  columns = 3;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_, jvm_.str(u"SELECT a, b, c FROM t")),
            JNI_TRUE);

  // Without a handle one is allocated and kept.
  jvm_.prim(stmt_, "_sql_hstmt") = 0;
  d_->script(QV_FN_ALLOCSTMT, [this](uint64_t* w) {
    *arg<SQLHSTMT*>(w, 1) = handle();
    return int16_t{0};
  });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_, jvm_.str(u"SELECT 1")), JNI_TRUE);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_hstmt"), reinterpret_cast<intptr_t>(handle()));
  EXPECT_EQ(freed, (std::vector<uint16_t>{SQL_CLOSE, SQL_RESET_PARAMS, SQL_CLOSE, SQL_RESET_PARAMS, SQL_RESET_PARAMS}));

  d_->script(QV_FN_EXECDIRECT, [](uint64_t*) { return int16_t{SQL_ERROR}; });
  Scripts::diag(d_->stmtErrors(), L"23000", 19, L"UNIQUE constraint failed: t.i");
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_, jvm_.str(u"INSERT")), JNI_FALSE);
  const Thrown t = thrown();
  EXPECT_EQ(t.message, kPrefix + u"UNIQUE constraint failed: t.i");
  EXPECT_EQ(t.sqlState, u"23000");
  EXPECT_EQ(t.code, 19);
}

TEST_F(Statement, TheStatementHandlesLife) {
  std::vector<uint16_t> freed;
  d_->script(QV_FN_FREESTMT, [&](uint64_t* w) {
    freed.push_back(arg<uint16_t>(w, 1));
    return static_cast<int16_t>(freed.size() == 1 ? SQL_ERROR : SQL_SUCCESS);
  });
  d_->script(QV_FN_ALLOCSTMT, [this](uint64_t* w) {
    *arg<SQLHSTMT*>(w, 1) = handle();
    return int16_t{0};
  });
  // closeStmt drops the handle even when closing the cursor failed, and
  // reports the close.
  Java_jdbc_sql_cli_qvclistmt_closeStmt(env(), stmt_);
  EXPECT_EQ(freed, (std::vector<uint16_t>{SQL_CLOSE, SQL_DROP}));
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_hstmt"), 0);
  EXPECT_EQ(thrown().message, u"closeStmt SQL_CLOSE fails:");
  // Without a handle: no call at all.
  Java_jdbc_sql_cli_qvclistmt_closeStmt(env(), stmt_);
  Java_jdbc_sql_cli_qvclistmt_closeResultSet(env(), stmt_);
  EXPECT_EQ(freed.size(), 2u);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_createStmt(env(), stmt_), 0);
  EXPECT_EQ(jvm_.prim(stmt_, "_sql_hstmt"), reinterpret_cast<intptr_t>(handle()));
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_createStmt(env(), stmt_), 0);
  EXPECT_EQ(freed, (std::vector<uint16_t>{SQL_CLOSE, SQL_DROP, SQL_DROP})) << "the old one dropped first";
  Java_jdbc_sql_cli_qvclistmt_closeResultSet(env(), stmt_);
  EXPECT_EQ(freed.back(), SQL_CLOSE);
  EXPECT_NE(jvm_.prim(stmt_, "_sql_hstmt"), 0) << "closeResultSet keeps the handle";
}

TEST_F(Statement, OptionsAndCursorNames) {
  std::vector<std::pair<uint16_t, int64_t>> set;
  d_->script(QV_FN_SETSTMTOPTION, [&](uint64_t* w) {
    set.emplace_back(arg<uint16_t>(w, 1), static_cast<int64_t>(arg<uint64_t>(w, 2)));
    return int16_t{0};
  });
  Java_jdbc_sql_cli_qvclistmt_setEscapeProcessing(env(), stmt_, JNI_TRUE);
  Java_jdbc_sql_cli_qvclistmt_setEscapeProcessing(env(), stmt_, JNI_FALSE);
  Java_jdbc_sql_cli_qvclistmt_setMaxRows(env(), stmt_, 10);
  Java_jdbc_sql_cli_qvclistmt_setMaxFieldSize(env(), stmt_, 100);
  Java_jdbc_sql_cli_qvclistmt_setQueryTimeout(env(), stmt_, -1);
  EXPECT_EQ(set, (std::vector<std::pair<uint16_t, int64_t>>{
                     {SQL_NOSCAN, 0}, {SQL_NOSCAN, 1}, {SQL_MAX_ROWS, 10}, {SQL_MAX_LENGTH, 100}, {SQL_QUERY_TIMEOUT, -1}}));
  d_->script(QV_FN_GETSTMTOPTION, [](uint64_t* w) {
    *arg<uint32_t*>(w, 2) = arg<uint16_t>(w, 1) == SQL_MAX_LENGTH ? 32768 : 5;
    return int16_t{0};
  });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getMaxFieldSize(env(), stmt_), 32768);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getQueryTimeout(env(), stmt_), 5);

  Java_jdbc_sql_cli_qvclistmt_setCursorName(env(), stmt_, nullptr);
  Thrown t = thrown();
  EXPECT_EQ(t.cls, "java/lang/IllegalArgumentException");
  EXPECT_EQ(t.message, u"name must be specified");
  std::string named;
  d_->script(QV_FN_SETCURSORNAME, [&](uint64_t* w) {
    named = arg<char*>(w, 1);
    return int16_t{0};
  });
  Java_jdbc_sql_cli_qvclistmt_setCursorName(env(), stmt_, jvm_.str(u"C1"));
  EXPECT_EQ(named, "C1");
  Java_jdbc_sql_cli_qvclistmt_setCursorName(env(), stmt_, jvm_.str(std::u16string(129, u'c')));
  EXPECT_EQ(thrown().sqlState, u"S1090");
  d_->script(QV_FN_GETCURSORNAME, [](uint64_t* w) {
    std::strcpy(arg<char*>(w, 1), "SQLCUR7");
    return int16_t{0};
  });
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getCursorName(env(), stmt_)), u"SQLCUR7");
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getFetchSize(env(), stmt_), QvFetchSize);
}

TEST_F(Statement, ResultSetMetadataFromColumnAttributes) {
  d_->script(QV_FN_NUMRESULTCOLS, [](uint64_t* w) {
    *arg<SQLSMALLINT*>(w, 1) = 7;
    return int16_t{0};
  });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getColumnCount(env(), stmt_), 7);
  SQLLEN answer = 0;
  std::vector<uint16_t> asked;
  d_->script(QV_FN_COLATTRIBUTES, [&](uint64_t* w) {
    EXPECT_EQ(arg<uint16_t>(w, 1), 3);
    const uint16_t field = arg<uint16_t>(w, 2);
    asked.push_back(field);
    if (SQLLEN* n = arg<SQLLEN*>(w, 6); n != nullptr) *n = answer;
    if (field == SQL_COLUMN_NAME || field == SQL_COLUMN_LABEL) {
      EXPECT_EQ(arg<int16_t>(w, 4), 516) << "bytes";
      std::wcscpy(arg<wchar_t*>(w, 3), field == SQL_COLUMN_NAME ? L"price \u20ac" : L"other");
    }
    return int16_t{0};
  });
  answer = 1;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isAutoIncrement(env(), stmt_, 3), JNI_TRUE);
  answer = 0x100;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isCaseSensitive(env(), stmt_, 3), JNI_FALSE) << "the low byte";
  answer = 3;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isSearchable(env(), stmt_, 3), JNI_FALSE);
  answer = 2;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isSearchable(env(), stmt_, 3), JNI_TRUE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isNullable(env(), stmt_, 3), JNI_TRUE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isWritable(env(), stmt_, 3), JNI_TRUE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isDefinitelyWritable(env(), stmt_, 3), JNI_FALSE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isColReadOnly(env(), stmt_, 3), JNI_FALSE);
  answer = 0;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isSigned(env(), stmt_, 3), JNI_TRUE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isCurrency(env(), stmt_, 3), JNI_FALSE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isColReadOnly(env(), stmt_, 3), JNI_TRUE);
  answer = 38;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getPrecision(env(), stmt_, 3), 38);
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getColumnDisplaySize(env(), stmt_, 3), 38);
  answer = SQL_WVARCHAR;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getColumnType(env(), stmt_, 3), 12);
  answer = SQL_TYPE_TIMESTAMP;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getColumnType(env(), stmt_, 3), 93);
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getColumnName(env(), stmt_, 3)), u"price \u20ac");
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getColumnLabel(env(), stmt_, 3)), u"other");
  EXPECT_EQ(asked, (std::vector<uint16_t>{SQL_COLUMN_AUTO_INCREMENT, SQL_COLUMN_CASE_SENSITIVE, SQL_COLUMN_SEARCHABLE,
                                          SQL_COLUMN_SEARCHABLE, SQL_COLUMN_NULLABLE, SQL_COLUMN_UPDATABLE,
                                          SQL_COLUMN_UPDATABLE, SQL_COLUMN_UPDATABLE, SQL_COLUMN_UNSIGNED,
                                          SQL_COLUMN_MONEY, SQL_COLUMN_UPDATABLE, SQL_COLUMN_PRECISION,
                                          SQL_COLUMN_DISPLAY_SIZE, SQL_COLUMN_TYPE, SQL_COLUMN_TYPE, SQL_COLUMN_NAME,
                                          SQL_COLUMN_LABEL}));
  d_->script(QV_FN_COLATTRIBUTES, [](uint64_t*) { return int16_t{SQL_ERROR}; });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getTableName(env(), stmt_, 3), nullptr);
  EXPECT_EQ(thrown().message, u"getTableName fails:");
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getScale(env(), stmt_, 3), 0);
  EXPECT_EQ(thrown().message, u"getScale fails:");
}

}  // namespace
