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
