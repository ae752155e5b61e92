// The exports' wide boundary: what a UTF-16 application (unixODBC) and a
// 4-byte one (iODBC, the JNI natives) hand in and get back, through the
// dispatch, with guard units around every buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/verinfo.h"
#include "driver_fixture.h"
#include "src/odbc/odbcwide.h"

namespace {

constexpr uint16_t kGuard16 = 0xBEEF;
constexpr wchar_t kGuard32 = 0x7EADBEEF;

class WideUnit {
 public:
  explicit WideUnit(int32_t unit) { QvSetWideUnitForTest(unit); }
  ~WideUnit() { QvSetWideUnitForTest(0); }
};

const wchar_t* const kText = L"a\U0001F600b";  // a, U+1F600, b
const std::vector<uint16_t> kText16 = {'a', 0xD83D, 0xDE00, 'b'};

std::wstring gIn;
int32_t gInLength = 0;
const wchar_t* gOut = kText;

int16_t execDirect(uint64_t* w) {
  const wchar_t* text = qvPtrArg<wchar_t*>(w, 1);
  gIn = text != nullptr ? text : L"(null)";
  gInLength = qvScalarArg<int32_t>(w, 2);
  return 0;
}

// SQLDescribeColW's core: the name cut to the buffer as the cores cut it.
int16_t describeCol(uint64_t* w) {
  auto* name = qvPtrArg<wchar_t*>(w, 2);
  const int16_t size = qvScalarArg<int16_t>(w, 3);
  const WideOut out = QvPutWide(gOut, -3, name, size);
  if (auto* length = qvPtrArg<int16_t*>(w, 4)) *length = static_cast<int16_t>(out.units);
  return out.truncated ? 1 : 0;
}

// SQLGetInfo's core answering the text type 10002 (pyodbc asks it).
int16_t getInfo(uint64_t* w) {
  if (qvScalarArg<uint16_t>(w, 1) != 10002) return -1;
  auto* value = qvPtrArg<char*>(w, 2);
  const int16_t size = qvScalarArg<int16_t>(w, 3);
  std::snprintf(value, static_cast<size_t>(size), "%s", "Y");
  if (auto* length = qvPtrArg<int16_t*>(w, 4)) *length = 1;
  return 0;
}

class Boundary : public ::testing::Test {
 protected:
  void SetUp() override { attachDriverOnce(); }
  TestConnection conn_;
  TestStatement stmt_{conn_};
  FuncTable table_;
};

TEST_F(Boundary, InputTextInEitherForm) {
  table_[QV_FN_EXECDIRECT] = execDirect;
  {
    WideUnit u(2);
    std::vector<uint16_t> sql = kText16;
    sql.push_back(0);
    EXPECT_EQ(SQLExecDirectW(stmt_.handle(), reinterpret_cast<SQLWCHAR*>(sql.data()), SQL_NTS), 0);
    EXPECT_EQ(gIn, kText);
    EXPECT_EQ(gInLength, SQL_NTS);
    EXPECT_EQ(SQLExecDirectW(stmt_.handle(), reinterpret_cast<SQLWCHAR*>(sql.data()), 3), 0);
    EXPECT_EQ(gIn, L"a\U0001F600") << "three units: a and the pair";
    EXPECT_EQ(gInLength, 2);
  }
  WideUnit u(4);
  std::wstring sql = kText;
  EXPECT_EQ(SQLExecDirectW(stmt_.handle(), sql.data(), 3), 0);
  EXPECT_EQ(gIn, kText);
  EXPECT_EQ(gInLength, 3);
}

TEST_F(Boundary, OutputTextIntoUtf16Buffers) {
  table_[QV_FN_DESCRIBECOL] = describeCol;
  WideUnit u(2);
  struct Case {
    SQLSMALLINT units;
    std::vector<uint16_t> written;
    SQLRETURN rc;
  };
  const Case cases[] = {
      {5, {'a', 0xD83D, 0xDE00, 'b', 0}, 0},
      {4, {'a', 0xD83D, 0xDE00, 0}, 1},
      {3, {'a', 0}, 1},  // never half a pair
      {1, {0}, 1},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> buf(8, kGuard16);
    SQLSMALLINT length = -1;
    const SQLRETURN rc = SQLDescribeColW(stmt_.handle(), 1, reinterpret_cast<SQLWCHAR*>(buf.data() + 1), c.units,
                                         &length, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(rc, c.rc) << c.units;
    EXPECT_EQ(length, 4) << "the whole name in units";
    EXPECT_EQ(buf[0], kGuard16);
    for (size_t i = 0; i < c.written.size(); ++i) EXPECT_EQ(buf[1 + i], c.written[i]) << c.units << " " << i;
    for (size_t i = 1 + c.written.size(); i < buf.size(); ++i) EXPECT_EQ(buf[i], kGuard16) << c.units;
  }
  // A cut reported as SQL_SUCCESS_WITH_INFO leaves 01004 to read.
  SQLWCHAR state[6];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  uint16_t message[128];
  int truncations = 0;
  while (SQLErrorW(nullptr, nullptr, stmt_.handle(), state, &native, reinterpret_cast<SQLWCHAR*>(message), 128,
                   &length) == SQL_SUCCESS) {
    const auto* s = reinterpret_cast<const uint16_t*>(state);
    EXPECT_EQ(std::u16string(s, s + 5), u"01004");
    ++truncations;
  }
  EXPECT_EQ(truncations, 3);
}

TEST_F(Boundary, OutputTextInto4ByteBuffersIsTheCoresOwn) {
  table_[QV_FN_DESCRIBECOL] = describeCol;
  WideUnit u(4);
  std::vector<wchar_t> buf(6, kGuard32);
  SQLSMALLINT length = -1;
  EXPECT_EQ(SQLDescribeColW(stmt_.handle(), 1, buf.data() + 1, 3, &length, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(std::wstring(buf.data() + 1), L"a\U0001F600");
  EXPECT_EQ(length, 3);
  EXPECT_EQ(buf[0], kGuard32);
  EXPECT_EQ(buf[4], kGuard32);
}

// A message longer than unixODBC's 513-unit buffer (given as 512), through
// SQLErrorW itself: a pop cannot be repeated, so it is cut once, with the
// whole length and result 1.
TEST_F(Boundary, LongDiagnosticIntoTheDriverManagersBuffer) {
  std::wstring text(560, L'm');
  text += L"\U0001F600";  // the pair would straddle the cut
  lmoAddSQLStateW(&conn_.dbc()->errors, L"S1000", 42, text.c_str());
  WideUnit u(2);
  std::vector<uint16_t> state(8, kGuard16);
  std::vector<uint16_t> message(515, kGuard16);
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLErrorW(nullptr, conn_.handle(), nullptr, reinterpret_cast<SQLWCHAR*>(state.data() + 1), &native,
                      reinterpret_cast<SQLWCHAR*>(message.data() + 1), 512, &length),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(state.begin() + 1, state.begin() + 7), std::u16string(u"S1000\0", 6));
  EXPECT_EQ(state[7], kGuard16);
  EXPECT_EQ(native, 42);
  EXPECT_EQ(length, 23 + 562) << "behind the message prefix";
  EXPECT_EQ(message[511], 'm');
  EXPECT_EQ(message[512], 0);
  EXPECT_EQ(message[513], kGuard16);
  EXPECT_EQ(SQLErrorW(nullptr, conn_.handle(), nullptr, reinterpret_cast<SQLWCHAR*>(state.data() + 1), &native,
                      reinterpret_cast<SQLWCHAR*>(message.data() + 1), 512, &length),
            SQL_NO_DATA);
}

TEST_F(Boundary, InformationTextIsWidenedForEveryTextType) {
  table_[QV_FN_GETINFO] = getInfo;
  for (int32_t unit : {2, 4}) {
    WideUnit u(unit);
    std::vector<uint32_t> buf(4, 0x7EADBEEF);
    SQLSMALLINT length = -1;
    EXPECT_EQ(SQLGetInfoW(conn_.handle(), 10002, buf.data(), 12, &length), 0);
    if (unit == 2) {
      const auto* units = reinterpret_cast<const uint16_t*>(buf.data());
      EXPECT_EQ(units[0], 'Y');
      EXPECT_EQ(units[1], 0);
      EXPECT_EQ(length, 2);
    } else {
      EXPECT_EQ(buf[0], static_cast<uint32_t>('Y'));
      EXPECT_EQ(buf[1], 0u);
      EXPECT_EQ(length, 4);
    }
    EXPECT_EQ(buf[3], 0x7EADBEEFu);
  }
}

// The driver's version needs no connection, in either form.
TEST_F(Boundary, DriverVersionWithoutConnection) {
  const std::string version = QvGetProductVersion();
  {
    WideUnit u(2);
    uint16_t buf[64];
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQLGetInfoW(nullptr, SQL_DRIVER_VER, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(version.size() * 2));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buf)), std::u16string(version.begin(), version.end()));
  }
  WideUnit u(4);
  SQLWCHAR buf[64];
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQLGetInfoW(nullptr, SQL_DRIVER_VER, buf, sizeof buf, &length), SQL_SUCCESS);
  EXPECT_EQ(length, static_cast<SQLSMALLINT>(version.size() * 4));
  EXPECT_EQ(std::wstring(buf), std::wstring(version.begin(), version.end()));
  length = 0;
  EXPECT_EQ(SQLGetInfoW(nullptr, SQL_DRIVER_VER, nullptr, 0, &length), SQL_SUCCESS);
  EXPECT_EQ(length, static_cast<SQLSMALLINT>(version.size() * 4)) << "four times the narrow length";
  EXPECT_EQ(SQLGetInfoW(nullptr, SQL_DRIVER_NAME, buf, sizeof buf, &length), SQL_INVALID_HANDLE);
}

}  // namespace
