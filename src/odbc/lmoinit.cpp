#include "src/odbc/lmoinit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/qvmutexes.h"
#include "src/odbc/alltls.h"
#include "src/odbc/connstr.h"
#include "src/odbc/lmocatalog.h"
#include "src/odbc/lmoenv.h"
#include "src/odbc/lmoerr.h"
#include "src/odbc/odbcwide.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"
#include "src/session/tp0tcp.h"

void* ghInstance = nullptr;
char gpcIniFile[kQvPathSize] = "";
char gpcTraceFile[kQvPathSize] = "";
int32_t gi8BitChar = 1;
int32_t QvFetchSize = 0;
char gszSubProtocol[kQvSubProtocolSize] = "";
char gsJDBCErrorMessagePrefix[kQvMessagePrefixSize] = "";
char gsSchemaOwner[kQvSchemaOwnerSize] = "";
int32_t JDBCTrace = 0;
int32_t JDBCTraceLevel = 0;
int32_t ODBCTrace = 0;
int32_t iQvOdbcInitFlag = 0;
const char* gpcQvTmpConfigDir = "/tmp";

namespace {

constexpr const char* kSrc = "src/lmoinit";
constexpr const char* kConfigName = "/mirodel.ini";

// Set once an attach has succeeded; the exports refuse every call before.
std::atomic<bool> gAttached{false};

bool opens(const char* path) {
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

// A configuration file in a directory every user may write to is taken only
// when no one else can have put it there or changed it: a regular file (not
// a link) owned by this user or root and writable by its owner alone.
bool trustedSharedFile(const char* path) {
  struct stat st {};
  if (lstat(path, &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || (st.st_uid != geteuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    TR_TRACE(kSrc, htrODBC, 2, "Configuration file <%s> is not used: it is not owned by this user or root, or others may write it.",
             path);
    return false;
  }
  return opens(path);
}

void copyBounded(char* dst, size_t size, const char* src) {
  const size_t n = strnlen(src, size - 1);
  std::memmove(dst, src, n);
  dst[n] = '\0';
}

int32_t traceMask(int32_t level, int32_t otherwise) {
  switch (level) {
    case 1: return 63;
    case 2: return 255;
    case 3: return 1023;
    default: return otherwise;
  }
}

int32_t attach(void* instance) {
  ghInstance = instance;
  glMainThreadId = QvGetThreadId();
  // What the transport asks of the layer that owns the threads.
  static constexpr Tp0ThreadHooks kThreadHooks{QvIsMainThread, QvCreateThreadOrAcceptConnection};
  tp0tcp_setThreadHooks(&kThreadHooks);
  if (QvCreateMutexes() == 0) return 0;
  if (QvCreateMissingTLS() == 0) return 0;
  QvGetAllMainTLS();
  QvCheckForMirodelConfig();
  gpcIniFile[0] = '\0';
  qv_getInfo(QV_INFO_INIFILE, 0, gpcIniFile, kQvPathSize, 1);
  QvInitTrace(1, -1, -1);
  QvDetectWideUnit();
  gi8BitChar = GetPrivateProfileInt("JDBC", "8BitChar", 1, gpcIniFile);
  if (QvFetchSize == 0) {
    QvFetchSize = qv_getInfo(QV_INFO_FETCHBLOCK_SIZE, 0, nullptr, 0, 1);
    if (QvFetchSize == 0) QvFetchSize = 20;
  }
  GetPrivateProfileString("JDBC", "URLSubProtocol", "Varenta", gszSubProtocol, kQvSubProtocolSize, gpcIniFile);
  copyBounded(gszSubProtocol, kQvSubProtocolSize, lmo_blank_stripA(gszSubProtocol));
  qv_getInfo(QV_INFO_JDBC_MESSAGEPREFIX, 0, gsJDBCErrorMessagePrefix, kQvMessagePrefixSize, 1);
  lmoReadCatalogSettings();
  lmo_initErrorStateTable();
  QvReadMultiThreadOption(1);
  QvReadPageOptions(1);
  TR_TRACE(kSrc, htrJDBC, 16, "TID = %lX ***************************DLL_PROCESS_ATTACH***************************",
           static_cast<unsigned long>(QvGetThreadId()));
  if (hSerializeMutex == nullptr) hSerializeMutex = QvCreateMutex();
  if (hSerializeMutex == nullptr) {
    TR_TRACE(kSrc, htrJDBC, 2, "CreateMutex() returned error. Driver initialization has failed.");
    return 0;
  }
  gAttached.store(true, std::memory_order_release);
  return 1;
}

void detach() {
  TR_TRACE(kSrc, htrJDBC, 16, "TID = %lX ***************************DLL_PROCESS_DETACH***************************",
           static_cast<unsigned long>(QvGetThreadId()));
  gAttached.store(false, std::memory_order_release);
  QvChangeThreadIdInAllMainTLS(QvGetThreadId());
  lmoFreeEnv();
  lmo_freeErrorStateTable();
  QvRemoveAllTLS();
  QvRemoveAllTLSFromCache();
  QvRemoveMutexes();
  QvDestroyMutex(hSerializeMutex);
  hSerializeMutex = nullptr;
  MainTLS = AllTLS{};
  iQvOdbcInitFlag = 0;
}

}  // namespace

bool QvOdbcAttached() { return gAttached.load(std::memory_order_acquire); }

int32_t QvGetProductType() { return 3; }

int32_t jdbcDllInit(void* instance, int32_t reason) {
  switch (reason) {
    case kQvProcessAttach:
      return attach(instance);
    case kQvProcessDetach:
      detach();
      return 1;
    case kQvThreadAttach:
      TR_TRACE(kSrc, htrJDBC, 16, "TID = %lX ***************************DLL_THREAD_ATTACH***************************",
               static_cast<unsigned long>(QvGetThreadId()));
      return 1;
    case kQvThreadDetach:
      TR_TRACE(kSrc, htrJDBC, 16, "TID = %lX ***************************DLL_THREAD_DETACH***************************",
               static_cast<unsigned long>(QvGetThreadId()));
      return 1;
    default:
      return 1;
  }
}

int32_t initODBC() { return jdbcDllInit(nullptr, kQvProcessAttach); }

int32_t exitODBC() { return jdbcDllInit(nullptr, kQvProcessDetach); }

int32_t QvInitTrace(int32_t first, int32_t traceLevel, int32_t cliTraceLevel) {
  GetPrivateProfileString("JDBC", "TraceFile", "qvjdbc.log", gpcTraceFile, kQvPathSize, gpcIniFile);
  const int32_t j = traceLevel != -1 ? traceLevel : GetPrivateProfileInt("JDBC", "TraceOptions", 0, gpcIniFile);
  const int32_t jdbcMask = traceMask(j, 1);
  JDBCTraceLevel = j;
  JDBCTrace = j != 0 ? 1 : 0;
  const int32_t c = cliTraceLevel != -1 ? cliTraceLevel : GetPrivateProfileInt("JDBC", "CLITraceOptions", 0, gpcIniFile);
  const int32_t odbcMask = traceMask(c, 0);
  ODBCTrace = c != 0 ? 1 : 0;
  // A start-up tried again finds the handles of the first try open.
  if (first != 0 && htrJDBC == nullptr && htrODBC == nullptr) {
    tr_init("qvjdbc", gpcTraceFile, 0, 0, qv_getInfo(QV_INFO_LOGFILECLOSE, 0, nullptr, 0, 1));
    htrJDBC = tr_open("qvjdbc", static_cast<uint64_t>(jdbcMask));
    htrODBC = tr_open("qvsql", static_cast<uint64_t>(odbcMask));
  } else {
    tr_options(htrJDBC, static_cast<uint64_t>(jdbcMask));
    tr_options(htrODBC, static_cast<uint64_t>(odbcMask));
  }
  return 1;
}

void QvCheckForMirodelConfig() {
  char current[QV_PATH_SIZE] = "";
  qv_getInfo(QV_INFO_INIFILE, 0, current, sizeof current, 1);
  std::string taken;
  if (current[0] != '\0' && opens(current)) {
    taken = current;
  } else if (opens("./mirodel.ini")) {
    taken = "./mirodel.ini";
  } else if (const char* home = std::getenv("HOME"); home != nullptr && opens((std::string(home) + kConfigName).c_str())) {
    taken = std::string(home) + kConfigName;
  } else if (const std::string shared = std::string(gpcQvTmpConfigDir) + kConfigName; trustedSharedFile(shared.c_str())) {
    taken = shared;
  }
  if (!taken.empty() && taken.size() < QV_PATH_SIZE) qv_setInfo(QV_INFO_INIFILE, 0, taken.c_str());
}
