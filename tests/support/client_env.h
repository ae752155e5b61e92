// Fixture of the end-to-end tests of the RDA client: an environment of the
// client (the client's own start-up brings the stack up) in a sandbox
// configuration that names a server at a given port, and connections that
// the test allocates, disconnected and freed at the end. Every XM block
// must be back when the test ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "src/rdaclient/rdacli_handles.h"
#include "support/sandbox.h"
#include "support/xm_count.h"

class ClientEnvTest : public XmCountTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The client's configuration naming the server at `port` (with
  // `common` as more lines of [COMMON]), and its environment.
  void start(int port, int responseTimeOut = 30, const std::string& common = "");
  // A new connection of the environment.
  RDA_CliHDBC* conn();
  // Connects to the data resource `name` as scott/tiger.
  static int32_t connect(RDA_CliHDBC* c, const char* name, const char* connectString = nullptr,
                         const char* user = "scott", const char* password = "tiger");
  std::filesystem::path dir(const std::string& name) const { return sandbox_.dir() / name; }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  RDA_CliHENV* env_ = nullptr;
  std::vector<RDA_CliHDBC*> conns_;

 private:
  int32_t savedQuiet_ = 0;
};
