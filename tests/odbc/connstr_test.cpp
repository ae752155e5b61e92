// Connection strings: the attributes the driver reads, the custom
// properties it passes on, keyword values, the store and the browse check.
#include "src/odbc/connstr.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "src/odbc/lmo.h"
#include "src/odbc/lmoconn.h"

namespace {

struct Parsed {
  int32_t result = 0;
  std::wstring dsn, uid, pwd, driver, database, ext;
  std::string tooLong;
};

Parsed parse(const std::wstring& text) {
  Parsed p;
  wchar_t dsn[kLmoAttrChars], uid[kLmoCredentialChars], pwd[kLmoCredentialChars], database[kLmoAttrChars],
      ext[kLmoAttrChars];
  std::vector<wchar_t> driver(text.size() + 1);
  const char* tooLong = nullptr;
  p.result = lmo_parse(text.c_str(), dsn, uid, pwd, driver.data(), database, ext, &tooLong);
  p.dsn = dsn;
  p.uid = uid;
  p.pwd = pwd;
  p.driver = driver.data();
  p.database = database;
  p.ext = ext;
  p.tooLong = tooLong != nullptr ? tooLong : "";
  return p;
}

TEST(ParseConnectString, KeywordsAndTheirValues) {
  struct Case {
    std::wstring text;
    std::wstring dsn, uid, pwd, driver, database, ext;
  };
  const Case cases[] = {
      {L"DSN=a;Driver=b", L"a", L"", L"", L"", L"", L""},
      {L"Driver=b;DSN=a", L"", L"", L"", L"b", L"", L""},
      {L"DSN =a", L"=a", L"", L"", L"", L"", L""},  // the blank ends the keyword
      {L"X=UID=u", L"", L"u", L"", L"", L"", L""},  // an unknown keyword's value is read as a keyword
      {L"dsn=a;uid=u;pwd=p;EXTENDEDFUNCTIONS=MapDefaultWcharAsChar=1", L"a", L"u", L"p", L"", L"", L"MapDefaultWcharAsChar=1"},
      {L"DSN=a;Database=d", L"a", L"", L"", L"", L"", L""},
      {L"Database=d;DSN=a", L"a", L"", L"", L"", L"d", L""},
      {L"Driver={x y};Database=d;UID=u;PWD= p ;", L"", L"u", L" p ", L"{x y}", L"d", L""},
      {L"UID=u;;PWD=p;Server=s", L"", L"u", L"p", L"", L"", L""},
      {L"DSN", L"", L"", L"", L"", L"", L""},          // nothing after the keyword
      {L"UID=", L"", L"", L"", L"", L"", L""},
      {L"DSN;UID=u", L"UID=u", L"", L"", L"", L"", L""},  // the value begins one character after the keyword
      {std::wstring(256, L'k') + L"=x;UID=u", L"", L"u", L"", L"", L"", L""},
      {L"", L"", L"", L"", L"", L"", L""},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.text);
    const std::string what(c.text.begin(), c.text.end());
    EXPECT_EQ(p.result, 1) << what;
    EXPECT_EQ(p.dsn, c.dsn) << what;
    EXPECT_EQ(p.uid, c.uid) << what;
    EXPECT_EQ(p.pwd, c.pwd) << what;
    EXPECT_EQ(p.driver, c.driver) << what;
    EXPECT_EQ(p.database, c.database) << what;
    EXPECT_EQ(p.ext, c.ext) << what;
  }
}

// Values longer than their fields are refused, never cut.
TEST(ParseConnectString, ValueLongerThanItsFieldIsRefused) {
  struct Case {
    std::wstring text;
    int32_t result;
    std::string tooLong;
  };
  const Case cases[] = {
      {L"DSN=" + std::wstring(128, L'd'), 1, ""},
      {L"DSN=" + std::wstring(129, L'd'), -1, "DSN"},
      {L"Database=" + std::wstring(129, L'd'), -1, "Database"},
      {L"ExtendedFunctions=" + std::wstring(129, L'e'), -1, "ExtendedFunctions"},
      {L"UID=u;PWD=" + std::wstring(512, L'p'), 1, ""},
      {L"UID=u;PWD=" + std::wstring(513, L'p'), -1, "PWD"},
      {L"UID=" + std::wstring(513, L'u'), -1, "UID"},
      // A value stored empty because DSN came first is no value.
      {L"DSN=a;Database=" + std::wstring(300, L'd'), 1, ""},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.text);
    EXPECT_EQ(p.result, c.result) << c.text.size();
    EXPECT_EQ(p.tooLong, c.tooLong) << c.text.size();
    if (c.result < 0) {
      EXPECT_EQ(p.uid + p.pwd + p.dsn, L"") << "nothing kept";
    }
  }
  wchar_t buf[8];
  EXPECT_EQ(lmo_parse(nullptr, buf, buf, buf, buf, buf, buf), 0);
}

TEST(KeywordValue, FirstOccurrenceAnywhereUpToTheSemicolon) {
  struct Case {
    const wchar_t* text;
    const wchar_t* keyword;
    int32_t result;
    const wchar_t* value;
    int32_t number;
  };
  const Case cases[] = {
      {L"DSN=a;QVCLITraceOptions=3;X=1", L"QVCLITraceOptions", 0, L"3", 3},
      {L"DSN=a;qvtraceoptions=2", L"QVTraceOptions", 0, L"2", 2},
      {L"QVCLITraceOptions=3", L"QVTraceOptions", 1, L"", 0},
      {L"DefaultQueryTimeout=-5", L"DefaultQueryTimeout", 0, L"-5", -5},
      {L"DefaultQueryTimeout", L"DefaultQueryTimeout", 0, L"", 0},
      {L"XDefaultQueryTimeout=7;", L"DefaultQueryTimeout", 0, L"7", 7},
  };
  for (const Case& c : cases) {
    wchar_t value[16] = L"#";
    EXPECT_EQ(lmo_getKeyValue(c.text, c.keyword, value, 16), c.result) << c.text;
    EXPECT_STREQ(value, c.value) << c.text;
    int32_t n = -99;
    EXPECT_EQ(lmo_getKeyValueAsInt(c.text, c.keyword, &n), c.result) << c.text;
    EXPECT_EQ(n, c.number) << c.text;
  }
  wchar_t small[4];
  EXPECT_EQ(lmo_getKeyValue(L"K=abcdef", L"K", small, 4), 0);
  EXPECT_STREQ(small, L"abc") << "cut to the buffer";
}

// The custom properties and their checks work on a connection record for
// its diagnostics; no connection is made.
class CustomProperty : public ::testing::Test {
 protected:
  void TearDown() override { lmoClearErrorList(&dbc_->errors); }
  std::wstring lastMessage() {
    wchar_t state[6];
    wchar_t message[256] = L"";
    int32_t native = 0;
    std::wstring last;
    while (lmoError(nullptr, dbc_.get(), nullptr, state, &native, message, 256, nullptr) == 0) last = message;
    return last;
  }
  std::unique_ptr<LmoDbc> dbc_ = std::make_unique<LmoDbc>();
};

TEST_F(CustomProperty, EveryOtherAttributeIsPassedOnWhole) {
  struct Case {
    std::wstring text;
    int32_t result;
    std::wstring out;
    std::wstring message;
  };
  const std::wstring longAttr = L"K=" + std::wstring(1022, L'v');
  const Case cases[] = {
      {L"DSN=a;X=1;Server=s;y = 2;uid=u;PWD=p;Driver=d;Database=b;ExtendedFunctions=e", 0, L"X=1;y = 2;", L""},
      {L"DSN=x;UID=u;", 0, L"", L""},  // a single ";" ends the last attribute
      {L"A=B=C", 0, L"A=B=C;", L""},
      {L" Server =s;x=", 0, L"x=;", L""},
      {longAttr, 0, longAttr + L";", L""},
      {longAttr + L"v", -1, L"", L"Invalid string or buffer length - Connection string attribute exceeds maximum limit"},
      {L";;", -1, L"", L"Invalid string or buffer length - Connection string attribute not in the keyword=value format"},
      {L"DSN=a;;", -1, L"", L"Invalid string or buffer length - Connection string attribute not in the keyword=value format"},
      {L"DSN=a;novalue", -1, L"", L"Invalid string or buffer length - Connection string attribute not in the keyword=value format"},
  };
  for (const Case& c : cases) {
    std::vector<wchar_t> out(2000, L'#');
    out[0] = L'\0';
    const std::string what(c.text.begin(), c.text.begin() + std::min<size_t>(c.text.size(), 40));
    EXPECT_EQ(lmoCheckCustomProperties(dbc_.get(), c.text.c_str(), static_cast<int64_t>(c.text.size())), c.result)
        << what;
    EXPECT_EQ(lastMessage(), c.message) << what;
    EXPECT_EQ(lmo_append_custom_property(dbc_.get(), c.text.c_str(), static_cast<int64_t>(c.text.size()), out.data(),
                                         2000),
              c.result)
        << what;
    EXPECT_EQ(lastMessage(), c.message) << what;
    if (c.result == 0) {
      EXPECT_EQ(std::wstring(out.data()), c.out) << what;
    }
  }
}

TEST_F(CustomProperty, AppendsBehindWhatIsThereAndCutsToTheBuffer) {
  wchar_t out[12];
  std::wcscpy(out, L"UID=u;");
  EXPECT_EQ(lmo_append_custom_property(dbc_.get(), L"X=1;Y=22", 8, out, 12), 0);
  EXPECT_STREQ(out, L"UID=u;X=1;Y") << "11 characters and the terminator";
  EXPECT_EQ(lmo_append_custom_property(dbc_.get(), L"X=1", 3, nullptr, 12), -1);
  EXPECT_EQ(lmo_append_custom_property(dbc_.get(), nullptr, 3, out, 12), 0);
  EXPECT_STREQ(out, L"");
  EXPECT_EQ(lmo_append_custom_property(dbc_.get(), L"bad", 0, out, 12), 0) << "length 0: nothing to look at";
}

TEST(ConnectStringStore, SetAppendAndPutInFront) {
  auto dbc = std::make_unique<LmoDbc>();
  QvSetConnectStr(dbc.get(), L"DSN=a");
  QvAppendConnectStr(dbc.get(), L"UID=u");
  QvAppendConnectStrAtStart(dbc.get(), L"Driver=d");
  EXPECT_STREQ(QvGetConnectStr(dbc.get(), 0), L"Driver=d;DSN=a;UID=u");
  QvAppendConnectStr(dbc.get(), nullptr);
  QvAppendConnectStrAtStart(dbc.get(), nullptr);
  EXPECT_STREQ(dbc->connectStr, L"Driver=d;DSN=a;UID=u");
  QvSetConnectStr(dbc.get(), nullptr);
  EXPECT_STREQ(dbc->connectStr, L"");
  QvAppendConnectStrAtStart(dbc.get(), L"X=1");
  EXPECT_STREQ(dbc->connectStr, L"X=1;");

  // At most 16384 characters, whatever is added.
  const std::wstring longText(20000, L'x');
  QvSetConnectStr(dbc.get(), longText.c_str());
  EXPECT_EQ(std::wcslen(dbc->connectStr), 16384u);
  QvAppendConnectStr(dbc.get(), L"Y=1");
  QvAppendConnectStrAtStart(dbc.get(), L"Z=1");
  EXPECT_EQ(std::wcslen(dbc->connectStr), 16384u);
  EXPECT_EQ(std::wstring(dbc->connectStr, 4), L"Z=1;");

  // The UTF-8 copy of a text beyond ASCII.
  QvSetConnectStr(dbc.get(), L"X=\u00e9\U0001F600");
  EXPECT_STREQ(QvGetUtf8ConnectStr(dbc.get(), 0), "X=\xc3\xa9\xf0\x9f\x98\x80");
}

TEST(ConnectStringStore, OptionsSuffixCarriesTheConnectionsSettings) {
  auto dbc = std::make_unique<LmoDbc>();
  dbc->accessMode = 1;
  dbc->loginTimeOut = 20;
  dbc->txnIsolation = 8;
  dbc->autocommit = 0;
  std::snprintf(dbc->currentQualifier, sizeof dbc->currentQualifier, "%s", "cat");
  QvSetConnectStr(dbc.get(), L"DSN=a");
  const std::wstring expected = L"DSN=a;;SQL_ACCESS_MODE=1;SQL_LOGIN_TIMEOUT=20;SQL_TXN_ISOLATION=8;SQL_AUTOCOMMIT=0;"
                                L"SQL_CURRENT_QUALIFIER=cat;QV_PRODUCT_CODE=3;ODBC_VER=3;CLIENT_VERSION=";
  const std::wstring text = QvGetConnectStr(dbc.get(), 1);
  EXPECT_EQ(text.substr(0, expected.size()), expected);
  EXPECT_EQ(text.back(), L';');
  wchar_t small[10] = L"A=1";
  QvGetConnectOptions(dbc.get(), small, 10);
  EXPECT_STREQ(small, L"A=1;;SQL_") << "cut to the buffer";
}

TEST(MapDefaultWcharAsChar, EntryWithValueOne) {
  const std::pair<const wchar_t*, int32_t> cases[] = {
      {L"MapDefaultWcharAsChar=1", 1}, {L"x=2;mapdefaultwcharaschar=1;y", 1}, {L"MapDefaultWcharAsChar=0", 0},
      {L"MapDefaultWcharAsChar=11", 0}, {L"MapDefaultWcharAsChar", 0},        {L"", 0},
      {nullptr, 0},
  };
  auto dbc = std::make_unique<LmoDbc>();
  for (const auto& [text, flag] : cases) {
    dbc->mapDefaultWcharAsChar = 7;
    EXPECT_EQ(QvSetMapDefaultWcharAsChar(dbc.get(), text, nullptr), flag) << (text != nullptr ? "" : "NULL");
    EXPECT_EQ(dbc->mapDefaultWcharAsChar, flag);
  }
}

TEST(BrowseCheck, ListsWhatIsMissing) {
  const std::wstring driverList =
      L"Database:Database Name?;TYPE:IP Type?;CONNECT_STRING:Connection String?;SCHEMA_PATH:Schema Path?;"
      L"PORT:Server Port?;ADDRESS:Server Network Address?;";
  const std::wstring userList = L"*UID:User Name?;*PWD:Password?;";
  const std::wstring allDriver = L"Driver={x};Database=d;TYPE=t;CONNECT_STRING=c;SCHEMA_PATH=s;PORT=1;ADDRESS=a";
  struct Case {
    std::wstring text;
    int32_t step;
    int32_t result;
    std::wstring out;
  };
  const Case cases[] = {
      {L"Driver={x}", 1, 1, driverList + userList},
      {L"Driver={x}", 2, 1, driverList},
      {L"driver={x};database=d;port=1", 2, 1,
       L"TYPE:IP Type?;CONNECT_STRING:Connection String?;SCHEMA_PATH:Schema Path?;ADDRESS:Server Network Address?;"},
      {allDriver, 1, 1, userList},
      {allDriver + L";UID=u;PWD=p", 1, 0, L""},
      {allDriver, 2, 0, L""},
      // Names holding keywords do not count for them.
      {L"Driver={PORT ADDRESS};Database=d", 2, 1,
       L"TYPE:IP Type?;CONNECT_STRING:Connection String?;SCHEMA_PATH:Schema Path?;PORT:Server Port?;"
       L"ADDRESS:Server Network Address?;"},
      {L"DSN=UIDPWD", 1, 1, userList},
      {L"DSN=a", 1, 1, userList},
      {L"DSN=a;UID=u;PWD=p", 1, 0, L""},
      {L"DSN=a", 2, 0, L""},
      {L"UID=u;PWD=p", 1, -1, L""},
      {L"", 1, -1, L""},
  };
  for (const Case& c : cases) {
    std::vector<wchar_t> out(400, L'#');
    int16_t length = -1;
    const std::string what(c.text.begin(), c.text.end());
    EXPECT_EQ(QvCheckBrowseConnectStr(c.text.c_str(), out.data(), 400, &length, c.step), c.result) << what;
    EXPECT_EQ(std::wstring(out.data()), c.out) << what;
    if (c.result == 1) {
      EXPECT_EQ(length, static_cast<int16_t>(c.out.size())) << what;
    }
  }
  EXPECT_EQ(QvCheckBrowseConnectStr(nullptr, nullptr, 0, nullptr, 1), -1);
  // Without a buffer, or with a short one: the whole length.
  int16_t length = 0;
  EXPECT_EQ(QvCheckBrowseConnectStr(L"DSN=a", nullptr, 0, &length, 1), 1);
  EXPECT_EQ(length, static_cast<int16_t>(userList.size()));
  wchar_t shortOut[6];
  EXPECT_EQ(QvCheckBrowseConnectStr(L"DSN=a", shortOut, 6, &length, 1), 1);
  EXPECT_STREQ(shortOut, L"*UID:");
  EXPECT_EQ(length, static_cast<int16_t>(userList.size()));
}

TEST(ConnectArguments, Utf8IsCutAtACharacterBoundary) {
  char out[6];
  EXPECT_TRUE(lmoToUtf8(L"ab\u00e9", -3, out, sizeof out));
  EXPECT_STREQ(out, "ab\xc3\xa9");
  EXPECT_FALSE(lmoToUtf8(L"abcd\u00e9", -3, out, sizeof out)) << "the two bytes of e-acute do not fit";
  EXPECT_STREQ(out, "abcd");
  EXPECT_TRUE(lmoToUtf8(L"abcdefgh", 3, out, sizeof out));
  EXPECT_STREQ(out, "abc");
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0x110000), 0};
  EXPECT_TRUE(lmoToUtf8(bad, -3, out, sizeof out));
  EXPECT_STREQ(out, "a?");
  EXPECT_TRUE(lmoToUtf8(nullptr, -3, out, sizeof out));
  EXPECT_STREQ(out, "");
}

}  // namespace
