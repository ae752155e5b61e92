#include "src/runtime/qvinfo.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "common/timer2.h"
#include "src/runtime/dbresource.h"
#include "src/runtime/inifile.h"
#include "support/recordset.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

// A fresh record set in a temporary working directory, with MIRODEL_INI,
// ODBCINI and HOME unset; all three and the directory are restored after.
class Config : public RecordSetTest {
 protected:
  void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path().empty() ? fs::path(".") : p.parent_path());
    std::ofstream(p) << text;
  }
  std::string iniPath() {
    char buf[QV_PATH_SIZE];
    EXPECT_EQ(qv_getInfo(QV_INFO_INIFILE, 0, buf, sizeof buf, -1), QV_INFO_COPIED);
    return buf;
  }
  int32_t getInt(int32_t type) { return qv_getInfo(type, 0, nullptr, 0, -1); }
  std::string getStr(int32_t type, int32_t* result = nullptr) {
    char buf[QV_PATH_SIZE] = "?";
    const int32_t r = qv_getInfo(type, 0, buf, sizeof buf, -1);
    if (result != nullptr) *result = r;
    return buf;
  }
  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "ODBCINI"};
  const fs::path& dir_ = sandbox_.dir();
};

TEST_F(Config, WorkingDirectoryFileBeatsTheEnvironment) {
  write("mirodel.ini", "[COMMON]\nqv_root=/here\n");
  write("other/m.ini", "[COMMON]\nqv_root=/there\n");
  setenv("MIRODEL_INI", (dir_ / "other/m.ini").c_str(), 1);
  EXPECT_EQ(iniPath(), "./mirodel.ini");
  EXPECT_EQ(getStr(QV_INFO_ROOT), "/here");
  EXPECT_EQ(gMirodelConfig_Found, 1);
}

TEST_F(Config, MissingEnvironmentFileFallsThroughToHome) {
  write("home/mirodel.ini", "[CLIENT]\nRESPONSE_TIME_OUT=77\n");
  setenv("MIRODEL_INI", (dir_ / "nowhere.ini").c_str(), 1);
  setenv("HOME", (dir_ / "home").c_str(), 1);
  EXPECT_EQ(iniPath(), (dir_ / "home/mirodel.ini").string());
  EXPECT_EQ(getInt(QV_INFO_RESPONSE_TIME_OUT), 77);
  EXPECT_EQ(gMirodelConfig_Found, 0);  // no qv_root in it
}

TEST_F(Config, OverLongEnvironmentPathsAreSkipped) {
  write("home/mirodel.ini", "[COMMON]\nqv_root=/r\n");
  setenv("MIRODEL_INI", std::string(600, 'x').c_str(), 1);
  setenv("HOME", (dir_ / "home").c_str(), 1);
  EXPECT_EQ(iniPath(), (dir_ / "home/mirodel.ini").string());
}

TEST_F(Config, NothingFoundAnswersEveryDefault) {
  EXPECT_EQ(iniPath(), "mirodel.ini");
  const struct {
    int32_t type;
    int32_t value;
  } defaults[] = {
      {QV_INFO_RESPONSE_TIME_OUT, 3600}, {QV_INFO_FETCHBLOCK_SIZE, 100}, {QV_INFO_LOGFILEMAXSIZE, 8192},
      {QV_INFO_NUM_OF_BUFFERS, 20},      {QV_INFO_BUFFER_SIZE, 10240},   {QV_INFO_SESSPOLLWAITTIME, 20},
      {QV_INFO_RDASTMTOPTIMIZELEVEL, 73}, {QV_INFO_KEEPALIVE, 1},        {QV_INFO_USETHREADS, -1},
      {QV_INFO_DEFAULTQUERYTIMEOUT, -1}, {QV_INFO_USEPAGES, 1},          {QV_INFO_PAGESIZE, 0},
      {QV_INFO_EXTENDEDFUNCTIONS, 255},  {QV_INFO_AUTOCOMMIT, 1},        {QV_INFO_UTF8MODE, 1},
      {QV_INFO_PROMPTFORUID, 1},         {QV_INFO_ENCRYPTIONPACKAGE, 0}, {QV_INFO_UNICODEENCODING, 1},
  };
  for (const auto& d : defaults) EXPECT_EQ(getInt(d.type), d.value) << "type " << d.type;
  EXPECT_EQ(getStr(QV_INFO_CLIENT_TRACEMASK), "FATAL|SNO|PARM|ERRORS");
  EXPECT_EQ(getStr(QV_INFO_SERVER_TRACEOPTIONS), "all:f");
  EXPECT_EQ(getStr(QV_INFO_CLIENT_PORT), "0");
  int32_t r = 0;
  EXPECT_EQ(getStr(QV_INFO_ODBC_MESSAGEPREFIX, &r), "[Quenlow][Varenta ODBC]");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(getStr(QV_INFO_JDBC_MESSAGEPREFIX, &r), "[Quenlow][Varenta JDBC]");
  EXPECT_EQ(getStr(QV_INFO_CONFIG, &r), "");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(getStr(QV_INFO_ROOT, &r), "");
  EXPECT_EQ(r, 0);
}

TEST_F(Config, ValuesWithTheirOwnRules) {
  const struct {
    const char* line;
    int32_t type;
    int32_t value;
  } cases[] = {
      {"[CLIENT]\nRESPONSE_TIME_OUT=0\n", QV_INFO_RESPONSE_TIME_OUT, INT_MAX},
      {"[CLIENT]\nRESPONSE_TIME_OUT=-5\n", QV_INFO_RESPONSE_TIME_OUT, INT_MAX},
      {"[CLIENT]\nRESPONSE_TIME_OUT=1\n", QV_INFO_RESPONSE_TIME_OUT, 1},
      {"[CLIENT]\nautocommitoff=1\n", QV_INFO_AUTOCOMMIT, 0},
      {"[CLIENT]\nautocommitoff=0\n", QV_INFO_AUTOCOMMIT, 1},
      {"[CLIENT]\nautocommitoff=2\n", QV_INFO_AUTOCOMMIT, 1},
      {"[ODBC32]\nUnicodeEncoding=-1\n", QV_INFO_UNICODEENCODING, 1},
      {"[ODBC32]\nUnicodeEncoding=0\n", QV_INFO_UNICODEENCODING, 0},
      {"[Common]\nUseThreads=0\n", QV_INFO_USETHREADS, 0},
      {"[common]\nLogFileMaxSize=16\n", QV_INFO_LOGFILEMAXSIZE, 16},
  };
  for (const auto& c : cases) {
    write("mirodel.ini", c.line);
    EXPECT_EQ(getInt(c.type), c.value) << c.line;
  }
  write("mirodel.ini", "[ODBC32]\nUnicodeEncoding=-1\n");
  getInt(QV_INFO_UNICODEENCODING);
  EXPECT_EQ(gUnicodeEncoding, 1);
}

TEST_F(Config, BuiltInTextsNeedRoomForTheirTerminator) {
  char buf[32];
  EXPECT_EQ(qv_getInfo(QV_INFO_AETITLE, 0, buf, 18, -1), QV_INFO_TOO_SMALL);
  EXPECT_EQ(qv_getInfo(QV_INFO_AETITLE, 0, buf, 19, -1), QV_INFO_COPIED);
  EXPECT_STREQ(buf, "{ 1 3 9999 42 7} 0");
  const struct {
    int32_t type;
    const char* text;
  } texts[] = {{QV_INFO_HOSTNAME, "NOT_SET"},     {QV_INFO_PSELECTOR, "0x44BB"}, {QV_INFO_SSELECTOR, "0x44CC"},
               {QV_INFO_TRANSPORT, "TP0TCP"},     {QV_INFO_LOCALADDRESS, "00.00.00.00"}};
  for (const auto& t : texts) {
    const int32_t len = static_cast<int32_t>(std::strlen(t.text));
    EXPECT_EQ(qv_getInfo(t.type, 0, buf, len, -1), QV_INFO_TOO_SMALL);
    EXPECT_EQ(qv_getInfo(t.type, 0, buf, len + 1, -1), QV_INFO_COPIED);
    EXPECT_STREQ(buf, t.text);
  }
  EXPECT_EQ(qv_getInfo(QV_INFO_HOSTNAME, 0, nullptr, 100, -1), QV_INFO_TOO_SMALL);
}

TEST_F(Config, UnsupportedTypesAnswerZero) {
  char buf[16] = "";
  for (int32_t t : {0, 20, 21, 41, 63, -1}) EXPECT_EQ(qv_getInfo(t, 0, buf, sizeof buf, -1), 0) << t;
}

TEST_F(Config, ResourceFilePathIsComposedByTheFirstStringRequest) {
  write("mirodel.ini", "[COMMON]\nqv_root=/r\nSchemapath=/opt/db\n");
  EXPECT_EQ(getInt(QV_INFO_FETCHBLOCK_SIZE), 100);
  EXPECT_EQ(getGutilTLS(0)->drdFile[0], '\0');  // integer requests pass no buffer
  EXPECT_EQ(getStr(QV_INFO_SCHEMAPATH), "/opt/db/");
  EXPECT_EQ(getStr(QV_INFO_DBINIFILE), "/opt/db/qvdrd.ini");
  EXPECT_EQ(getStr(QV_INFO_DRDINIFILE), "/opt/db/qvdrd.ini");
  EXPECT_EQ(getStr(QV_INFO_INFOINIFILE), "/opt/db/qvinfo.ini");
  char small[8];
  EXPECT_EQ(qv_getInfo(QV_INFO_DBINIFILE, 0, small, sizeof small, -1), QV_INFO_TOO_SMALL);
  char out[QV_PATH_SIZE];
  ASSERT_EQ(QvGetSrvrStatFileName(out), 1);
  EXPECT_STREQ(out, "/opt/db//qvstat.bin");
}

TEST_F(Config, SchemaPathTurnsSeparatorsAndEndsInASlash) {
  write("mirodel.ini", "[COMMON]\nqv_root=/r\nSchemapath=C:\\data\\schema\n");
  EXPECT_EQ(getStr(QV_INFO_SCHEMAPATH), "C:/data/schema/");
}

TEST_F(Config, OverLongSchemaPathLeavesTheResourceFileEmpty) {
  write("mirodel.ini", "[COMMON]\nqv_root=/r\nSchemapath=/" + std::string(505, 's') + "\n");
  EXPECT_EQ(getStr(QV_INFO_SCHEMAPATH).size(), 507u);
  EXPECT_EQ(getStr(QV_INFO_DBINIFILE), "");  // 507 + 9 does not fit 512 bytes
  EXPECT_EQ(getStr(QV_INFO_INFOINIFILE), "");
}

TEST_F(Config, SettingTheFileReadsTheSchemaPathAgain) {
  write("a.ini", "[COMMON]\nqv_root=/r\nSchemapath=/a\n");
  write("b.ini", "[COMMON]\nqv_root=/r\nSchemapath=/b\n[SERVER]\nport=99\n");
  EXPECT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, std::string(512, 'p').c_str()), QV_INFO_VALUE_TOO_LONG);
  EXPECT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, "a.ini"), 1);
  EXPECT_EQ(getStr(QV_INFO_DBINIFILE), "/a/qvdrd.ini");
  EXPECT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, "b.ini"), 1);
  EXPECT_EQ(getStr(QV_INFO_DBINIFILE), "/b/qvdrd.ini");
  EXPECT_EQ(getStr(QV_INFO_SERVER_PORT), "99");
  EXPECT_EQ(qv_setInfo(QV_INFO_SERVER_PORT, 0, "5000"), 1);
  EXPECT_EQ(getStr(QV_INFO_SERVER_PORT), "5000");
  EXPECT_EQ(qv_setInfo(QV_INFO_SERVER_PORT, 0, std::string(32, '1').c_str()), QV_INFO_VALUE_TOO_LONG);
  EXPECT_EQ(qv_setInfo(QV_INFO_KEEPALIVE, 0, "x"), 1);
}

TEST_F(Config, ClientTraceKeysAndTheirDefault) {
  char buf[16];
  EXPECT_EQ(qv_getInfoClientTrace("sess", buf, 9), QV_INFO_TOO_SMALL);  // no lookup ran yet
  EXPECT_EQ(qv_getInfoClientTrace("sess", buf, 10), QV_INFO_COPIED);
  EXPECT_STREQ(buf, "FATAL|SNO");
  write("mirodel.ini", "[TraceClient]\nsess=ALL\n");
  iniPath();
  EXPECT_EQ(qv_getInfoClientTrace("sess", buf, sizeof buf), 3);
  EXPECT_STREQ(buf, "ALL");
  EXPECT_EQ(qv_getInfoClientTrace("rda", buf, sizeof buf), 9);
  EXPECT_STREQ(buf, "FATAL|SNO");
}

TEST_F(Config, ExtendedLookupCachesTheAddressList) {
  write("mirodel.ini", "[COMMON]\nqv_root=/r\nSchemapath=" + dir_.string() + "\n");
  write("qvdrd.ini", "[sales]\nADDRESS=10.0.0.1 10.0.0.2\nPORT=5000\n");
  char buf[64];
  EXPECT_EQ(qv_getInfoExt(QV_INFO_DBINIFILE, "sales", "PORT", buf, sizeof buf, nullptr), 4);
  EXPECT_STREQ(buf, "5000");
  EXPECT_EQ(qv_getInfoExt(QV_INFO_DBINIFILE, "sales", "TYPE", buf, sizeof buf, "DSN=x;TYPE=oracle"), 6);
  EXPECT_STREQ(buf, "oracle");
  EXPECT_EQ(qv_getInfoExt(QV_INFO_DBINIFILE, "sales", "ADDRESS", buf, sizeof buf, nullptr), 17);
  EXPECT_STREQ(QvGetCachedAddrList(), "10.0.0.1 10.0.0.2");
  write("qvdrd.ini", "[sales]\nADDRESS=changed\n");
  char small[6];
  std::memset(small, 'z', sizeof small);
  EXPECT_EQ(qv_getInfoExt(QV_INFO_DBINIFILE, "sales", "ADDRESS", small, sizeof small, nullptr), 1);
  EXPECT_STREQ(small, "10.0.");  // from the cache, cut and terminated
  EXPECT_EQ(qv_getInfoExt(QV_INFO_DBINIFILE, nullptr, "ADDRESS", buf, sizeof buf, nullptr), 0);
}

TEST_F(Config, DatabaseSchemaPathsResolveAgainstTheSchemaPath) {
  write("mirodel.ini", "[COMMON]\nqv_root=/r\nSchemapath=/opt/db/\n");
  const struct {
    const char* configured;
    const char* actual;
  } cases[] = {{"./sales", "/opt/db/sales/"}, {".", "/opt/db/"}, {"/srv/x", "/srv/x/"}, {"", "/opt/db/"},
               {"d:\\x", "d:/x/"}};
  for (const auto& c : cases) {
    char path[QV_PATH_SIZE];
    std::snprintf(path, sizeof path, "%s", c.configured);
    EXPECT_EQ(qv_adjustDbSchemaPath(path, -1), 1);
    EXPECT_STREQ(path, c.actual) << c.configured;
  }
  char longPath[QV_PATH_SIZE];
  std::snprintf(longPath, sizeof longPath, "./%s", std::string(505, 'y').c_str());
  EXPECT_EQ(qv_adjustDbSchemaPath(longPath, -1), 0);
}

TEST_F(Config, DatabaseResourceFromFileOrConnectionString) {
  write("mirodel.ini", "[COMMON]\nqv_root=/r\nSchemapath=" + dir_.string() + "\n");
  write("qvdrd.ini", "[sales]\nTYPE=ora\nCONNECT_STRING=a=b\nSCHEMA_PATH=./s\n[untyped]\nPORT=1\n");
  char server[256], cs[64], type[16], schema[QV_PATH_SIZE];
  ASSERT_EQ(qv_getDbResourceInfo("sales", server, sizeof server, cs, sizeof cs, type, sizeof type, schema,
                                 sizeof schema, -1, nullptr),
            1);
  EXPECT_STREQ(server, "sales");
  EXPECT_STREQ(cs, "a=b");
  EXPECT_STREQ(type, "ora");
  EXPECT_EQ(std::string(schema), dir_.string() + "/s/");
  EXPECT_EQ(qv_getDbResourceInfo("untyped", nullptr, 0, nullptr, 0, type, sizeof type, nullptr, 0, -1, nullptr), 0);
  EXPECT_EQ(qv_getDbResourceInfo("elsewhere", server, sizeof server, nullptr, 0, type, sizeof type, nullptr, 0, -1,
                                 "TYPE=db2"),
            1);
  EXPECT_STREQ(type, "db2");
  EXPECT_EQ(qv_getDbResourceInfo("", server, sizeof server, nullptr, 0, nullptr, 0, nullptr, 0, -1, nullptr), 0);
  EXPECT_EQ(qv_getDbResourceInfo("sales", server, 3, nullptr, 0, nullptr, 0, nullptr, 0, -1, nullptr), 0);
}

TEST_F(Config, ResourceFileIsBuiltFromTheOlderFilesOnce) {
  write("mirodel.ini", "[SERVER]\nLocalName=srv1\n");
  write("s/qvdb.ini",
        "[Contents List]\nsales=x\n[sales]\nSERVER=srv1\nTYPE=ora\nCONNECT_STRING=" + std::string(300, 'c') +
            "\nREMARKS=main db\n[hr]\nSERVER=srv2\nTYPE=db2\n");
  write("s/qvserver.ini", "[srv1]\nNADDRESS1=10.1.1.1\nTSELECTOR=102\n[srv2]\nNADDRESS1=host2\nTSELECTOR=0x66\n");
  const std::string s = (dir_ / "s").string() + "/";
  EXPECT_EQ(checkCreateDrd((dir_ / "none").string().append("/").c_str(), "mirodel.ini"), 5);
  write("t/qvdb.ini", "[a]\n");
  EXPECT_EQ(checkCreateDrd((dir_ / "t").string().append("/").c_str(), "mirodel.ini"), 6);
  ASSERT_EQ(checkCreateDrd(s.c_str(), "mirodel.ini"), 4);
  const std::string drd = s + "qvdrd.ini";
  char buf[512];
  GetPrivateProfileString("sales", "ADDRESS", "", buf, sizeof buf, drd.c_str());
  EXPECT_STREQ(buf, "10.1.1.1");
  GetPrivateProfileString("sales", "CONNECT_STRING", "", buf, sizeof buf, drd.c_str());
  EXPECT_EQ(std::string(buf), std::string(300, 'c'));  // not cut
  GetPrivateProfileString("hr", "PORT", "", buf, sizeof buf, drd.c_str());
  EXPECT_STREQ(buf, "0x66");
  GetPrivateProfileString("Contents List", "sales", "none", buf, sizeof buf, drd.c_str());
  EXPECT_STREQ(buf, "none");
  GetPrivateProfileString("SERVER", "PORT", "", buf, sizeof buf, "mirodel.ini");
  EXPECT_STREQ(buf, "102");
  const auto before = fs::last_write_time(drd);
  write("s/qvserver.ini", "[srv1]\nNADDRESS1=changed\n");
  EXPECT_EQ(checkCreateDrd(s.c_str(), "mirodel.ini"), 4);
  EXPECT_EQ(fs::last_write_time(drd), before);
}

TEST_F(Config, ResourceFileBuildKeepsAConfiguredPortAndReportsFailedWrites) {
  write("s/qvdb.ini", "[sales]\nSERVER=srv1\nTYPE=ora\n");
  write("s/qvserver.ini", "[srv1]\nNADDRESS1=10.1.1.1\nTSELECTOR=102\n[srv2]\nNADDRESS1=host2\n");
  const std::string s = (dir_ / "s").string() + "/";
  const std::string drd = s + "qvdrd.ini";
  char buf[64];
  // No local name, and a local name whose server has no port: the lookup
  // finds nothing and the configured port stays.
  for (const char* mirodel : {"[SERVER]\nPORT=5000\n", "[SERVER]\nLocalName=srv2\nPORT=5000\n"}) {
    write("mirodel.ini", mirodel);
    EXPECT_EQ(checkCreateDrd(s.c_str(), "mirodel.ini"), QV_DRD_PRESENT);
    GetPrivateProfileString("SERVER", "PORT", "", buf, sizeof buf, "mirodel.ini");
    EXPECT_STREQ(buf, "5000") << mirodel;
    fs::remove(drd);
  }
  // The main configuration file cannot be written: said so, and the
  // resource file is built all the same.
  EXPECT_EQ(checkCreateDrd(s.c_str(), (dir_ / "missing/mirodel.ini").c_str()), QV_DRD_WRITE_FAILED);
  GetPrivateProfileString("sales", "TYPE", "", buf, sizeof buf, drd.c_str());
  EXPECT_STREQ(buf, "ora");
  fs::remove(drd);
  // The resource file cannot be written (a link to nowhere): said so, and
  // the link is left as it was.
  fs::create_symlink(dir_ / "nowhere/qvdrd.ini", drd);
  EXPECT_EQ(checkCreateDrd(s.c_str(), "mirodel.ini"), QV_DRD_WRITE_FAILED);
  EXPECT_TRUE(fs::is_symlink(drd));
}

TEST_F(Config, DsnFileSearchEndsWithTheBareName) {
  setenv("ODBCINI", (dir_ / "missing.ini").c_str(), 1);
  setenv("HOME", (dir_ / "home").c_str(), 1);
  char path[QV_PATH_SIZE];
  QvGetOdbcDsnFile(-1, path);
  EXPECT_STREQ(path, "odbc.ini");
  write("home/odbc.ini", "[x]\n");
  QvGetOdbcDsnFile(-1, path);
  EXPECT_STREQ(path, (dir_ / "home/odbc.ini").c_str());
  write("odbc.ini", "[x]\n");
  QvGetOdbcDsnFile(-1, path);
  EXPECT_STREQ(path, "./odbc.ini");
}

class Addresses : public RecordSetTest {};

TEST_F(Addresses, WalkingATextList) {
  char list[] = "  10.0.0.1 10.0.0.2";
  int32_t last = -1;
  char* a = QvGetNextAddr(list, &last);
  EXPECT_STREQ(a, "10.0.0.1");
  EXPECT_EQ(last, 0);
  char* b = QvGetNextAddr(a + std::strlen(a) + 1, &last);
  EXPECT_STREQ(b, "10.0.0.2");
  EXPECT_EQ(last, 1);
  EXPECT_EQ(QvGetNextAddr(nullptr, &last), nullptr);
  char empty[] = "";
  EXPECT_EQ(QvGetNextAddr(empty, nullptr), nullptr);
}

TEST_F(Addresses, RemovingTheFailedAddressShortensTheCache) {
  char list[] = "a1 b2 c3";
  int32_t last = -1;
  char* rest = QvRemoveCurAddr(list, &last);
  EXPECT_STREQ(rest, "b2 c3");
  EXPECT_EQ(last, 0);
  EXPECT_EQ(rest, QvGetCachedAddrList());
  rest = QvRemoveCurAddr(rest, &last);  // moves within the cache itself
  EXPECT_STREQ(rest, "c3");
  EXPECT_EQ(last, 1);
  EXPECT_EQ(QvRemoveCurAddr(rest, &last), nullptr);
  EXPECT_STREQ(QvGetCachedAddrList(), "c3");
  QvResetCachedAddrList();
  EXPECT_STREQ(QvGetCachedAddrList(), "");

  std::string longList = "first";
  for (int i = 0; i < 20; ++i) longList += " 10.10.10." + std::to_string(100 + i);
  const std::string full = longList.substr(6);  // what follows "first "
  rest = QvRemoveCurAddr(longList.data(), &last);
  ASSERT_NE(rest, nullptr);
  const size_t len = std::strlen(rest);
  EXPECT_LE(len, 127u);
  EXPECT_EQ(full.compare(0, len, rest), 0);
  EXPECT_EQ(full[len], ' ');  // cut between two addresses
}

TEST_F(Addresses, WalkingAByteList) {
  const uint8_t bytes[9] = {10, 0, 0, 1, 0x20, 10, 0, 0, 2};
  int32_t last = -1, remaining = 9;
  EXPECT_EQ(QvGetNextBinAddr(bytes, &last, &remaining), bytes);
  EXPECT_EQ(remaining, 4);
  EXPECT_EQ(last, 0);
  QvGetNextBinAddr(bytes + 5, &last, &remaining);
  EXPECT_EQ(remaining, -1);
  EXPECT_EQ(last, 1);
}

TEST(ConnectString, KeywordLookup) {
  char buf[16];
  EXPECT_EQ(ReadKeywordFromUsrConnectString("TYPE", "", buf, sizeof buf, "DSN=a;type=oracle;UID=u"), 6);
  EXPECT_STREQ(buf, "oracle");
  EXPECT_EQ(ReadKeywordFromUsrConnectString("UID", "", buf, sizeof buf, "DSN=a; UID  = me x;PWD=p"), 5);
  EXPECT_STREQ(buf, " me x");
  EXPECT_EQ(ReadKeywordFromUsrConnectString("UID", "dflt", buf, sizeof buf, "UIDX=1;UID-=2"), 4);
  EXPECT_STREQ(buf, "dflt");
  EXPECT_EQ(ReadKeywordFromUsrConnectString("UID", nullptr, buf, sizeof buf, "XUID=1"), 0);
  EXPECT_EQ(ReadKeywordFromUsrConnectString("UID", "d", buf, sizeof buf, "UID=;x"), 1);  // empty value
  EXPECT_EQ(ReadKeywordFromUsrConnectString("UID", "", buf, sizeof buf, "XUID=1;UID=2"), 1);
  EXPECT_STREQ(buf, "2");
  char small[4];
  EXPECT_EQ(ReadKeywordFromUsrConnectString("K", "", small, sizeof small, "K=abcdef"), 3);
  EXPECT_STREQ(small, "abc");
}

TEST(ConnectString, MaskingKeepsLengthsAndSeparators) {
  char cs[] = "DSN=sales;PWD=secret;UID=bob;XUID=keep; User Id = ann;password=x;UID=again";
  HideAuthenticationDataForTracing(cs);
  EXPECT_STREQ(cs, "DSN=sales;PWD=******;UID=***;XUID=keep; User Id =****;password=*;UID=*****");
  HideAuthenticationDataForTracing(nullptr);
  wchar_t w[] = L"UID=bob;DSN=d;Pwd =xy";
  HideAuthenticationDataForTracingW(w);
  EXPECT_EQ(std::wstring(w), L"UID=***;DSN=d;Pwd =**");
}

// A keyword right after '=' (inside another keyword's value) qualifies too,
// and every occurrence is masked, in both forms.
TEST(ConnectString, MaskingReachesEveryOccurrenceAlsoAfterAnEquals) {
  char cs[] = "DSN=a;X=PWD=s1;PWD=s2;pwd = s3";
  HideAuthenticationDataForTracing(cs);
  EXPECT_STREQ(cs, "DSN=a;X=PWD=**;PWD=**;pwd =***");
  wchar_t w[] = L"DSN=a;X=PWD=s1;PWD=s2;pwd = s3;A=uid=me";
  HideAuthenticationDataForTracingW(w);
  EXPECT_EQ(std::wstring(w), L"DSN=a;X=PWD=**;PWD=**;pwd =***;A=uid=**");
  // Reading a keyword's value still wants it at the start or after ';' or a blank.
  char buf[8];
  EXPECT_EQ(ReadKeywordFromUsrConnectString("PWD", "", buf, sizeof buf, "X=PWD=s1;PWD=s2"), 2);
  EXPECT_STREQ(buf, "s2");
}

}  // namespace
