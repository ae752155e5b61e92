// Pins a locale for the lifetime of the object and puts the old one back.
#pragma once

#include <clocale>
#include <string>

class LocaleGuard {
 public:
  explicit LocaleGuard(const char* name) : saved_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }
  LocaleGuard(const LocaleGuard&) = delete;
  LocaleGuard& operator=(const LocaleGuard&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

// A locale whose decimal point is a comma (de_DE.UTF-8), made once per
// process with localedef in a temporary directory (removed at exit): for
// the lifetime of the object LOCPATH names that directory and the locale is
// in force; both are put back afterwards.
class CommaLocale {
 public:
  CommaLocale();
  ~CommaLocale();
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;
  bool ok() const { return ok_; }

 private:
  bool hadLocPath_ = false;
  std::string savedLocPath_;
  std::string savedLocale_;
  bool ok_ = false;
};
