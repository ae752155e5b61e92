// A temporary working directory for tests that read configuration files:
// the named environment variables are unset and the process-wide "found a
// configuration" flag cleared; all of it, and the old working directory,
// comes back when the object goes (and the directory with it).
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ConfigSandbox {
 public:
  explicit ConfigSandbox(std::initializer_list<const char*> unsetVars);
  ~ConfigSandbox();
  ConfigSandbox(const ConfigSandbox&) = delete;
  ConfigSandbox& operator=(const ConfigSandbox&) = delete;
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::filesystem::path savedCwd_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
