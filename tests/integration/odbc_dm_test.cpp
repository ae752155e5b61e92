// The driver library as driver managers and applications load it: what it
// exports, and which wide form it finds its callers in under programs linked
// with unixODBC's or iODBC's library that open it themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/verinfo.h"
#include "support/odbc_apps.h"

namespace {

// What the library exports: the ODBC 2 and 3.51 functions in their narrow
// and wide forms with the driver's own, and the data and hooks of the
// stack.
const std::set<std::string> kOdbcExports = {
    "SQLAllocConnect",     "SQLAllocEnv",          "SQLAllocStmt",        "SQLBindCol",
    "SQLBindParameter",    "SQLBrowseConnect",     "SQLBrowseConnectW",   "SQLCancel",
    "SQLColAttributes",    "SQLColAttributesW",    "SQLColumns",          "SQLColumnsW",
    "SQLConnect",          "SQLConnectW",          "SQLDescribeCol",      "SQLDescribeColW",
    "SQLDescribeParam",    "SQLDisconnect",        "SQLDriverConnect",    "SQLDriverConnectW",
    "SQLError",            "SQLErrorW",            "SQLExecDirect",       "SQLExecDirectW",
    "SQLExecute",          "SQLExtendedFetch",     "SQLFetch",            "SQLForeignKeys",
    "SQLForeignKeysW",     "SQLFreeConnect",       "SQLFreeEnv",          "SQLFreeStmt",
    "SQLGetConnectOption", "SQLGetConnectOptionW", "SQLGetCursorName",    "SQLGetCursorNameW",
    "SQLGetData",          "SQLGetFunctions",      "SQLGetInfo",          "SQLGetInfoW",
    "SQLGetStmtOption",    "SQLGetTypeInfo",       "SQLGetTypeInfoW",     "SQLMoreResults",
    "SQLNumParams",        "SQLNumResultCols",     "SQLParamAttributes",  "SQLParamData",
    "SQLPrepare",          "SQLPrepareW",          "SQLPrimaryKeys",      "SQLPrimaryKeysW",
    "SQLProcedureColumns", "SQLProcedureColumnsW", "SQLProcedures",       "SQLProceduresW",
    "SQLPutData",          "SQLRequestType",       "SQLRowCount",         "SQLSetConnectOption",
    "SQLSetConnectOptionW",
    "SQLSetCursorName",    "SQLSetCursorNameW",    "SQLSetStmtOption",    "SQLSpecialColumns",
    "SQLSpecialColumnsW",  "SQLStartTransaction",  "SQLStatistics",       "SQLStatisticsW",
    "SQLTables",           "SQLTablesW",           "SQLTransact",
    // The ODBC 3.51 functions.
    "SQLAllocHandle",      "SQLCloseCursor",       "SQLColAttribute",     "SQLColAttributeW",
    "SQLEndTran",          "SQLFetchScroll",       "SQLFreeHandle",       "SQLGetConnectAttr",
    "SQLGetConnectAttrW",  "SQLGetDiagRec",        "SQLGetDiagRecW",      "SQLGetEnvAttr",
    "SQLGetStmtAttr",      "SQLGetStmtAttrW",      "SQLSetConnectAttr",   "SQLSetConnectAttrW",
    "SQLSetEnvAttr",       "SQLSetStmtAttr",       "SQLSetStmtAttrW",
    // The driver's information helpers and its command road.
    "SQLRequestInfo",      "SQLRequestInfoSpecialCmd", "SQLbufcpy",       "SQLExecuteCustomCommand",
};
const std::set<std::string> kStackExports = {
    "QvAtTerminateFuncPtr", "QvIsMultiProcessed", "QvSetListenSocket", "QvSwitchRDA_aeiCB", "giQuietMode",
    "gqv_islower",          "gqv_isupper",        "gqv_memcmp",        "gqv_strcmp",        "gqv_stricmp",
    "gqv_strlwr",           "gqv_strncmp",        "gqv_strnicmp",      "gqv_strupr",        "gqv_tolower",
    "gqv_toupper",          "gqv_wislower",       "gqv_wisupper",      "gqv_wmemcmp",       "gqv_wstrcmp",
    "gqv_wstricmp",         "gqv_wstrlwr",        "gqv_wstrncmp",      "gqv_wstrnicmp",     "gqv_wstrupr",
    "gqv_wtolower",         "gqv_wtoupper",       "tp0tcp_getSocket",  "gQv_sql_cancel",
};

// What the loader prints when it finds every ODBC export.
std::string everyExportFound() {
  const std::string n = std::to_string(kOdbcExports.size());
  return "found " + n + " of " + n + "\n";
}

std::set<std::string> definedDynamicSymbols(const std::string& library) {
  std::set<std::string> names;
  FILE* p = popen(("nm -D --defined-only " + library).c_str(), "r");
  if (p == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::istringstream in(line);
    std::string address, kind, name;
    // The address sanitizer marks each exported variable with a symbol of
    // its own. The JNI natives are checked against their Java classes
    // (jvm_test.cpp).
    if (in >> address >> kind >> name && name.rfind("__odr_asan.", 0) != 0 && name.rfind("Java_", 0) != 0)
      names.insert(name);
  }
  pclose(p);
  return names;
}

TEST(DriverLibrary, ExportsExactlyTheDriversNames) {
  std::set<std::string> expected = kOdbcExports;
  expected.insert(kStackExports.begin(), kStackExports.end());
  EXPECT_EQ(definedDynamicSymbols(RDADRIVER_PATH), expected);
  // Diagnostics by record number would be asked of a driver that had them.
  EXPECT_EQ(definedDynamicSymbols(RDADRIVER_PATH).count("SQLGetDiagField"), 0u);
}

std::vector<std::string> loaderArgs(const char* loader) {
  std::vector<std::string> args = {loader, RDADRIVER_PATH};
  args.insert(args.end(), kOdbcExports.begin(), kOdbcExports.end());
  return args;
}

// What a loader says when it found every name of the list.
// The loaders are instrumented themselves in the sanitizer build.
TEST(DriverLibrary, UnderUnixOdbcsLibraryAnswersInUtf16FromItsOwnCore) {
  OdbcAppSandbox box(RDADRIVER_PATH, "rdatest", "");
  std::ofstream(box.dir() / "mirodel.ini") << box.traceSection();
  const ProgramRun r = box.run(loaderArgs(ODBC_LOADER_UNIXODBC), "", std::chrono::seconds(30), false);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string version = QvGetProductVersion();
  EXPECT_NE(r.out.find(everyExportFound()), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("SQLAllocEnv 0\n"), std::string::npos) << "the environment and its stack start";
  EXPECT_NE(r.out.find("SQLGetInfoW 0 length " + std::to_string(version.size() * 2) + "\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("text " + version + "\nterminated yes\nguard kept\n"), std::string::npos) << r.out;
  EXPECT_NE(box.trace().find("Wide characters at the ODBC interface: UTF-16"), std::string::npos) << box.trace();
}

TEST(DriverLibrary, UnderIodbcsLibraryAnswersInFourByteCharacters) {
  OdbcAppSandbox box(RDADRIVER_PATH, "rdatest", "");
  std::ofstream(box.dir() / "mirodel.ini") << box.traceSection();
  const ProgramRun r = box.run(loaderArgs(ODBC_LOADER_IODBC), "", std::chrono::seconds(30), false);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string version = QvGetProductVersion();
  EXPECT_NE(r.out.find(everyExportFound()), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("SQLGetInfoW 0 length " + std::to_string(version.size() * 4) + "\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("text " + version + "\nterminated yes\nguard kept\n"), std::string::npos) << r.out;
  EXPECT_NE(box.trace().find("Wide characters at the ODBC interface: 4-byte wchar_t"), std::string::npos)
      << box.trace();
}

}  // namespace
