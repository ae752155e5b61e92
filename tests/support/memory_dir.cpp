#include "support/memory_dir.h"

#include <stdlib.h>

#include <stdexcept>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

MemoryDir::MemoryDir() {
  std::error_code ec;
  const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string tmpl = (base / "rdamemXXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + base.string());
  path_ = tmpl;
}

MemoryDir::~MemoryDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}
