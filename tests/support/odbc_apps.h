// Programs that act as ODBC applications in the tests (isql, iusql,
// python3-pyodbc, and the test's own small C programs): they load the driver
// library through a driver manager, never rdacore, and find their
// configuration in a private directory that the test writes: odbcinst.ini
// and odbc.ini (ODBCSYSINI, ODBCINI, HOME), the driver's mirodel.ini
// (MIRODEL_INI), with LC_ALL=C.UTF-8. The machine's own ODBC configuration
// is never read or written.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct ProgramRun {
  int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
  std::string out;
  std::string err;
};

// No sanitizer report and no crash in what the program printed; `what`
// names the run in a failure.
void expectCleanRun(const ProgramRun& r, const std::string& what);

class OdbcAppSandbox {
 public:
  // Registers `driverPath` as the driver "rdadriver" and `dsn` as a data
  // source of it; `mirodel` is the text of mirodel.ini.
  OdbcAppSandbox(const std::string& driverPath, const std::string& dsn, const std::string& mirodel);
  ~OdbcAppSandbox();
  OdbcAppSandbox(const OdbcAppSandbox&) = delete;
  OdbcAppSandbox& operator=(const OdbcAppSandbox&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  // The driver's call-trace file, as mirodel.ini names it with
  // traceSection().
  std::filesystem::path traceFile() const { return dir_ / "calls.log"; }
  // A [JDBC] section that writes the ODBC and JDBC call traces (level 2)
  // to traceFile().
  std::string traceSection() const;
  std::string trace() const;

  // Runs a program in the directory with the private environment, its
  // standard input fed from `input`; killed after `limit`. With
  // `preloadSanitizer`, the sanitizer runtimes the library was built with
  // (if it was) are preloaded: the program itself is not instrumented.
  ProgramRun run(const std::vector<std::string>& argv, const std::string& input = "",
                 std::chrono::milliseconds limit = std::chrono::seconds(30), bool preloadSanitizer = true) const;

  // Sets a variable of the programs' environment, over what run() would
  // give it (ASAN_OPTIONS for a JVM, which handles SIGSEGV itself).
  void setEnv(const std::string& name, const std::string& value) { extraEnv_[name] = value; }

 private:
  std::filesystem::path dir_;
  std::map<std::string, std::string> extraEnv_;
};
