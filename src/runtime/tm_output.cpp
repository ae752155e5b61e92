// Trace manager: output stream, size cap and the configuration header.
#include "src/runtime/tm_output.h"

#include <cstdlib>
#include <cstring>

#include "common/qvthread.h"
#include "common/sys_deps.h"
#include "common/timer2.h"
#include "common/verinfo.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/tm.h"
#include "src/runtime/tracefile.h"

FILE* tmFile = nullptr;
char sTmFileName[TM_FILE_NAME_SIZE] = "";
int32_t bTmFileAppend = 0;
int32_t bTmFileCloseAfterTrace = 0;
int32_t giTmLogFileMaxSize = 8388608;
int32_t giTmTraceTruncationMessage = 1;
int32_t bConfigInfoTraced = 0;

namespace {

constexpr char kStars[] = "********************************************************\n";  // 56
static_assert(sizeof kStars == 58);

bool onConsole() { return tmFile == nullptr || tmFile == stdout || tmFile == stderr; }

void writeTruncateMessage() {
  if (giTmTraceTruncationMessage == 0) return;
  std::fputs(kTraceTruncatedLine, tmOut());
  giTmTraceTruncationMessage = 0;
}

int32_t logConfigInfo(const char* path) {
  if (path == nullptr || path[0] == '\0') return 0;
  FILE* in = std::fopen(path, "r");
  if (in == nullptr) return 0;
  FILE* f = tmOut();
  bool ok = std::fprintf(f, "\n**********Contents of file:<%s>*********\n", path) >= 0;
  char line[1024];
  while (ok && std::fgets(line, sizeof line, in) != nullptr) ok = std::fputs(line, f) >= 0;
  ok = std::fputs(kStars, f) >= 0 && ok;
  std::fclose(in);
  return ok ? 1 : 0;
}

int32_t logEnvInfo() {
  FILE* f = tmOut();
  if (std::fputs("\n**********Environment Variables  *********\n", f) < 0) return 0;
  for (const char* name : {"MIRODEL_INI", "PATH", "LD_LIBRARY_PATH", "SHLIB_PATH", "CLASSPATH", "ODBCINI"}) {
    const char* value = std::getenv(name);
    if (std::fprintf(f, "%s = <%.1024s>\n", name, value != nullptr ? value : "NOT_SET") < 0) return 0;
  }
  return std::fputs(kStars, f) >= 0 ? 1 : 0;
}

// `base` + `name` into a 512-byte field; empty when it does not fit.
void composeName(char* field, const char* base, const char* name) {
  const int n = std::snprintf(field, TM_FILE_NAME_SIZE, "%s%s", base, name);
  if (n < 0 || n >= TM_FILE_NAME_SIZE) field[0] = '\0';
}

}  // namespace

FILE* tmOut() { return tmFile != nullptr ? tmFile : stderr; }

void tmCloseFile() {
  if (tmFile != nullptr && tmFile != stderr && tmFile != stdout) std::fclose(tmFile);
  tmFile = nullptr;
}

int32_t tmOpenOutput() {
  if (sTmFileName[0] == '\0') {
    tmCloseFile();
    return 1;
  }
  if (tmFile != nullptr) return 1;
  FILE* f = qvOpenTraceFile(sTmFileName, bTmFileAppend != 0 ? "a" : "w");
  if (f == nullptr) return 0;
  bTmFileAppend = 1;
  std::fseek(f, 0, SEEK_END);
  tmFile = f;
  return 1;
}

void tmCloseOutput() {
  if (bTmFileCloseAfterTrace != 0) tmCloseFile();
  else std::fflush(tmOut());
}

bool tmCapReached() {
  if (giTmLogFileMaxSize == 0) return false;
  if (qvTracePosition(tmOut()) < giTmLogFileMaxSize) return false;
  writeTruncateMessage();
  tmCloseOutput();
  return true;
}

void tmWriteManagerMessage(const char* text) {
  tmOpenOutput();
  std::fputs(text, tmOut());
  tmCloseOutput();
}

void tmTraceConfigInfoLocked(uint32_t bits) {
  if (bConfigInfoTraced != 0) return;
  if ((bits & 0xF) == 0) {
    bool wanted = false;
    const int32_t n = tmNumModules.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < n && !wanted; ++i) {
      const TmModuleCB* m = tmModule[i].load(std::memory_order_relaxed);
      wanted = m != nullptr && (m->mask.load(std::memory_order_relaxed) & 0xFF0) != 0;
    }
    if (!wanted) return;
  }
  bConfigInfoTraced = 1;
  char iniFile[TM_FILE_NAME_SIZE];
  char drdFile[TM_FILE_NAME_SIZE];
  char infoFile[TM_FILE_NAME_SIZE];
  tm_getIniFilenames(iniFile, drdFile, infoFile);
  tmOpenOutput();
  if (onConsole() && giTmLogFileMaxSize < 1) {
    writeTruncateMessage();
    tmCloseOutput();
    return;
  }
  if (tmCapReached()) return;
  FILE* f = tmOut();
  std::fprintf(f, "Product Version: %s\n", QvGetProductVersion());
  std::fprintf(f, "MIRODEL_INI Configuration file: <%s>\n", iniFile);
  std::fprintf(f, "Platform: %s\n", QvGetPlatformName());
  std::fprintf(f, "Architecture: %s\n", "64-bit");
  std::fprintf(f, "Build: %s\n", QvGetBuildName());
  logConfigInfo(iniFile);
  logConfigInfo(drdFile);
  logConfigInfo(infoFile);
  logEnvInfo();
  tmCloseOutput();
}

// ---------------------------------------------------------------------------
// Public operations

int32_t tm_output(const char* fileName, int32_t append, int32_t closeAfterTrace) {
  if (fileName == nullptr) return 1;
  const size_t len = strnlen(fileName, TM_FILE_NAME_SIZE);
  if (len >= TM_FILE_NAME_SIZE) return 1;  // does not fit: the output stays as it is
  QvWaitForSingleObject(hSerializeTmMutex);
  if (std::strcmp(fileName, sTmFileName) != 0) {
    // A new name: the next line opens it.
    tmCloseFile();
    std::memcpy(sTmFileName, fileName, len + 1);
    bTmFileAppend = append;
  } else if (append != 0) {
    bTmFileAppend = 1;
  }
  // Naming the same file again never empties what it already holds.
  bTmFileCloseAfterTrace = closeAfterTrace;
  QvReleaseMutex(hSerializeTmMutex);
  return 1;
}

int64_t tm_filelength() {
  QvWaitForSingleObject(hSerializeTmMutex);
  int64_t size = 0;
  if (!onConsole()) {
    const long here = std::ftell(tmFile);
    if (here >= 0 && std::fseek(tmFile, 0, SEEK_END) == 0) {
      const long end = std::ftell(tmFile);
      size = end >= 0 ? end : 0;
      std::fseek(tmFile, here, SEEK_SET);
    }
  }
  QvReleaseMutex(hSerializeTmMutex);
  return size;
}

int32_t tm_traceConfigInfo(uint32_t bits) {
  QvWaitForSingleObject(hSerializeTmMutex);
  tmTraceConfigInfoLocked(bits);
  QvReleaseMutex(hSerializeTmMutex);
  return 1;
}

void tm_getIniFilenames(char* iniFile, char* drdFile, char* infoFile) {
  if (iniFile == nullptr || drdFile == nullptr || infoFile == nullptr) return;
  iniFile[0] = drdFile[0] = infoFile[0] = '\0';
  // Without a record of its own the thread has no configuration to show,
  // and the lookup would report the missing record through the trace.
  if (gGutilTLS.getOwn(0, false) == nullptr) return;
  if (qv_getInfo(QV_INFO_INIFILE, 0, iniFile, TM_FILE_NAME_SIZE, -1) != QV_INFO_COPIED) iniFile[0] = '\0';
  char schema[TM_FILE_NAME_SIZE] = "";
  if (qv_getInfo(QV_INFO_SCHEMAPATH, 0, schema, sizeof schema, -1) != QV_INFO_COPIED) return;
  composeName(drdFile, schema, "qvdrd.ini");
  composeName(infoFile, schema, "qvinfo.ini");
}
