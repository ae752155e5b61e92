#include "admin/cfgtool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin/restable.h"
#include "admin/traceopt.h"
#include "src/runtime/inifile.h"

#ifndef CFGTOOL_VERSION
#define CFGTOOL_VERSION "1.0.0"
#endif

std::string gszMirodelINI;

namespace {

constexpr const char* cfgToolErrorMsg[] = {
    "\nError: Database Resource Directory file not found:<%s>\n",
    "\nError: Insufficient privilege on Database Resource Directory file:<%s>\n",
    "\nError: Configuration file:<%s> not found\n",
    "\nError: Insufficient privilege on Configuration file:<%s>\n",
    "\nError: Unable to write Database Resource Directory file:<%s>\n",
    "\nError: Unable to write Configuration file:<%s>\n",
};
constexpr int kErrorCount = static_cast<int>(sizeof cfgToolErrorMsg / sizeof cfgToolErrorMsg[0]);

// A file in a directory everyone may write to is taken only when it is a
// plain file (not a link someone else could point elsewhere), owned by us
// or root, and nobody else may write it.
bool trustedShared(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_uid != ::geteuid() && st.st_uid != 0) return false;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
  return isReadableFile(path);
}

enum class MenuChoice { Add, Browse, Trace, Exit };

MenuChoice menuGetChoice() {
  for (;;) {
    std::puts("\n    Main Menu");
    std::puts("    ==== ====\n");
    std::puts("    1. Add database entry");
    std::puts("    2. View/Edit/Delete database entries");
    std::puts("    3. Edit Trace Options");
    std::puts("    E. Exit\n");
    std::printf("Choice: ");
    std::string line;
    if (!readInputLine(line)) return MenuChoice::Exit;
    switch (firstNonBlank(line)) {
      case '1':
        return MenuChoice::Add;
      case '2':
        return MenuChoice::Browse;
      case '3':
        return MenuChoice::Trace;
      case 'e':
      case 'E':
        return MenuChoice::Exit;
      default:
        std::puts("Invalid choice.");
    }
  }
}

void menuRun() {
  ResourceTable table;
  for (;;) {
    switch (menuGetChoice()) {
      case MenuChoice::Add:
        if (initResourceTable(table) != 1) return;
        insertRecord(table);
        cleanTable(table);
        break;
      case MenuChoice::Browse:
        if (initResourceTable(table) != 1) return;
        viewTable(table);
        cleanTable(table);
        break;
      case MenuChoice::Trace:
        editTraceOptions();
        break;
      case MenuChoice::Exit:
        return;
    }
  }
}

}  // namespace

bool isReadableFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return ok;
}

const char* GetErrorMsg(int n) { return (n >= 0 && n < kErrorCount) ? cfgToolErrorMsg[n] : ""; }

void printError(int n, const std::string& path) { std::printf(GetErrorMsg(n), path.c_str()); }

const char* getVersionString() { return CFGTOOL_VERSION; }
const char* getBuildDateString() { return CFGTOOL_VERSION; }

int CheckForFilePermission(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return 1;
  FILE* f = std::fopen(path.c_str(), "r+");
  if (f == nullptr) return 0;
  std::fclose(f);
  return 1;
}

int rdaCheckForMirodelConfig(std::string& path) {
  path.clear();
  auto tryFile = [&path](const std::string& candidate, bool shared = false) {
    if (candidate.empty() || !(shared ? trustedShared(candidate) : isReadableFile(candidate))) return false;
    path = candidate;
    return true;
  };
  const char* env = std::getenv("MIRODEL_INI");
  const char* home = std::getenv("HOME");
  if (!tryFile("./mirodel.ini") && !(env != nullptr && tryFile(env)) &&
      !(home != nullptr && *home != '\0' && tryFile(std::string(home) + "/mirodel.ini")) &&
      !tryFile("/tmp/mirodel.ini", true))
    path = "mirodel.ini";

  char root[512];
  GetPrivateProfileString("Common", "qv_root", "", root, sizeof root, path.c_str());
  return root[0] != '\0' ? 1 : 0;
}

int cfgtoolMain(int argc, char** argv) {
  if (argc > 2 && (std::strcmp(argv[1], "-c") == 0 || std::strcmp(argv[1], "-s") == 0)) return 0;
  std::printf("Quenlow Varenta Administration Tool v%s (%s)\n\n", getVersionString(), getBuildDateString());

  if (argc > 2 && std::strcmp(argv[1], "-i") == 0) {
    if (!isReadableFile(argv[2])) {
      printError(kErrConfigNotFound, argv[2]);
      return -1;
    }
    gszMirodelINI = argv[2];
  } else {
    std::string path;
    if (rdaCheckForMirodelConfig(path) == 0) {
      printError(kErrConfigNotFound, path);
      return -1;
    }
    gszMirodelINI = path;
  }

  std::printf("Current Configuration file: <%s>\n", gszMirodelINI.c_str());
  menuRun();
  return 0;
}
