#include "support/locale.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// The directory holding the compiled locale; empty when it cannot be made.
class CompiledLocale {
 public:
  CompiledLocale() {
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec) / ("rda_locale_" + std::to_string(getpid()));
    if (ec || !std::filesystem::create_directories(dir, ec)) return;
    dir_ = dir.string();
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + dir_ + "/de_DE.UTF-8' >/dev/null 2>&1";
    (void)std::system(cmd.c_str());
    if (!std::filesystem::exists(dir / "de_DE.UTF-8" / "LC_NUMERIC", ec)) dir_.clear();
  }
  ~CompiledLocale() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

const std::string& compiledLocaleDir() {
  static CompiledLocale once;
  return once.dir();
}

}  // namespace

CommaLocale::CommaLocale() {
  const std::string& dir = compiledLocaleDir();
  if (dir.empty()) return;
  if (const char* old = std::getenv("LOCPATH")) {
    hadLocPath_ = true;
    savedLocPath_ = old;
  }
  savedLocale_ = std::setlocale(LC_ALL, nullptr);
  setenv("LOCPATH", dir.c_str(), 1);
  ok_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

CommaLocale::~CommaLocale() {
  if (compiledLocaleDir().empty()) return;
  std::setlocale(LC_ALL, savedLocale_.c_str());
  if (hadLocPath_) setenv("LOCPATH", savedLocPath_.c_str(), 1);
  else unsetenv("LOCPATH");
}
