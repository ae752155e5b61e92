#include "common/sys_deps.h"

#include <sys/utsname.h>

#include <array>
#include <cstddef>

#include "src/runtime/tm.h"

namespace {

constexpr std::array<QvPlatformNames, 10> kPlatforms{{
    {"IWINDOWS32", "iwinnt"},
    {"SSUNOS5", "ssunos5"},
    {"PHPUX", "phpux"},
    {"AUNIX", "aunix"},
    {"ILINUX", "ilinux"},
    {"ISCOUNIX", "iscounix"},
    {"AVMS", "avms"},
    {"RAIX", "raix"},
    {"OS390", "os390"},
    {"IWINDOWS64", "iwinnt"},
}};

constexpr QvPlatformNames kUnknownPlatform{"UNKNOWN PLATFORM", "unknown_platform"};

constexpr const char* kSrcFile = "common/sys_deps";

}  // namespace

QvPlatformNames QvPlatformNamesOf(int32_t code) {
  if (code < 1 || code > static_cast<int32_t>(kPlatforms.size())) return kUnknownPlatform;
  return kPlatforms[static_cast<size_t>(code - 1)];
}

int32_t QvGetPlatform() { return QV_PLATFORM_ILINUX; }
const char* QvGetPlatformName() { return QvPlatformNamesOf(QvGetPlatform()).name; }
const char* QvGetPlatformFolderName() { return QvPlatformNamesOf(QvGetPlatform()).folder; }
const char* QvGetBuildName() { return "Unicode"; }

void TraceSystemInfo() {
  TM_TRACE(1, 16, kSrcFile, "TraceSystemInfo() called\n");
  struct utsname u {};
  if (uname(&u) == 0) {
    TM_TRACE(1, 16, kSrcFile, "OS: System Name=%s, ", u.sysname);
    TM_TRACE(1, 16, kSrcFile, "Node Name=%s, ", u.nodename);
    TM_TRACE(1, 16, kSrcFile, "Release=%s, ", u.release);
    TM_TRACE(1, 16, kSrcFile, "Version=%s, ", u.version);
    TM_TRACE(1, 16, kSrcFile, "machine=%s\n", u.machine);
  } else {
    TM_TRACE(1, 16, kSrcFile, "Couldn't get OS version information\n");
  }
  TM_TRACE(1, 16, kSrcFile, "OS version information not implemented\n");
  TM_TRACE(1, 16, kSrcFile, "TraceSystemInfo() return\n");
}
