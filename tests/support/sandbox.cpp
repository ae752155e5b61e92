#include "support/sandbox.h"

#include <cstdlib>
#include <stdexcept>

#include "src/runtime/qvinfo.h"

namespace fs = std::filesystem;

ConfigSandbox::ConfigSandbox(std::initializer_list<const char*> unsetVars) {
  std::string tmpl = (fs::temp_directory_path() / "rdacfgXXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  savedCwd_ = fs::current_path();
  for (const char* v : unsetVars) {
    const char* val = std::getenv(v);
    saved_.emplace_back(v, val != nullptr ? std::optional<std::string>(val) : std::nullopt);
    unsetenv(v);
  }
  fs::current_path(dir_);
  gMirodelConfig_Found = 0;
}

ConfigSandbox::~ConfigSandbox() {
  std::error_code ec;
  fs::current_path(savedCwd_, ec);
  for (auto& [name, val] : saved_) {
    if (val) setenv(name.c_str(), val->c_str(), 1);
    else unsetenv(name.c_str());
  }
  fs::remove_all(dir_, ec);
  gMirodelConfig_Found = 0;
}
