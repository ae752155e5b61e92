#include "src/runtime/qvinfo.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>

#include "common/qvstring.h"
#include "common/qvthread.h"
#include "common/timer2.h"
#include "src/runtime/dbresource.h"
#include "src/runtime/inifile.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/qvinfo";
constexpr const char* kIniName = "mirodel.ini";
constexpr const char* kTraceMaskDefault = "FATAL|SNO|PARM|ERRORS";
constexpr const char* kClientTraceDefault = "FATAL|SNO";

// Copies `src` into `dst` of `size` bytes only when it fits whole.
bool copyWhole(char* dst, int32_t size, const char* src) {
  const size_t len = std::strlen(src);
  if (dst == nullptr || size <= 0 || static_cast<size_t>(size) <= len) return false;
  std::memcpy(dst, src, len + 1);
  return true;
}

// Bounded copy that always terminates; false when the text was cut.
bool copyBounded(char* dst, size_t size, const char* src) {
  if (dst == nullptr || size == 0) return false;
  const size_t len = std::strlen(src);
  const size_t n = len < size ? len : size - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
  return n == len;
}

bool fileOpens(const char* path, const char* mode) {
  FILE* f = std::fopen(path, mode);
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

// Composes `base` + `name` into a path field; false (field emptied) when the
// result would not fit.
bool composePath(char (&field)[QV_PATH_SIZE], const char* base, const char* name) {
  const int n = std::snprintf(field, sizeof field, "%s%s", base, name);
  if (n < 0 || n >= static_cast<int>(sizeof field)) {
    field[0] = '\0';
    return false;
  }
  return true;
}

enum class Kind : uint8_t { FileString, FileInt, Builtin };

struct InfoEntry {
  int32_t type;
  Kind kind;
  const char* section;
  const char* key;  // for built-in texts: the name shown in the too-small trace
  const char* text; // string default or built-in text
  int32_t number;   // integer default
};

// The plain entries; types with their own rules are answered in qv_getInfo.
constexpr InfoEntry kInfo[] = {
    {QV_INFO_HOSTNAME, Kind::Builtin, nullptr, "HOSTNAME", "NOT_SET", 0},
    {QV_INFO_PSELECTOR, Kind::Builtin, nullptr, "PSELECTOR", "0x44BB", 0},
    {QV_INFO_SSELECTOR, Kind::Builtin, nullptr, "SSELECTOR", "0x44CC", 0},
    {QV_INFO_AETITLE, Kind::Builtin, nullptr, "AETITLE", "{ 1 3 9999 42 7} 0", 0},
    {QV_INFO_CLIENT_TRACEFILE, Kind::FileString, "CLIENT", "TraceFile", "", 0},
    {QV_INFO_SERVER_TRACEFILE, Kind::FileString, "SERVER", "TraceFile", "", 0},
    {QV_INFO_SESSPOLLWAITTIME, Kind::FileInt, "COMMON", "SessPollWaitTime", nullptr, 20},
    {QV_INFO_CLIENT_TRACEMASK, Kind::FileString, "TraceClient", "ALL", kTraceMaskDefault, 0},
    {QV_INFO_SERVER_TRACEOPTIONS, Kind::FileString, "SERVER", "TraceOptions", "all:f", 0},
    {QV_INFO_TRANSPORT, Kind::Builtin, nullptr, "TRANSPORT", "TP0TCP", 0},
    {QV_INFO_FETCHBLOCK_SIZE, Kind::FileInt, "COMMON", "FETCHBLOCK_SIZE", nullptr, 100},
    {QV_INFO_NUM_OF_BUFFERS, Kind::FileInt, "CLIENT", "NUM_OF_BUFFERS", nullptr, 20},
    {QV_INFO_BUFFER_SIZE, Kind::FileInt, "CLIENT", "BUFFER_SIZE", nullptr, 10240},
    {QV_INFO_ODBC_TRACEFILE, Kind::FileString, "ODBC32", "TraceFile", "", 0},
    {QV_INFO_ODBC_TRACEOPTIONS, Kind::FileInt, "ODBC32", "TraceOptions", nullptr, 0},
    {QV_INFO_ROOT, Kind::FileString, "COMMON", "qv_root", "", 0},
    {QV_INFO_SERVER_ADDRESS, Kind::FileString, "SERVER", "address", "", 0},
    {QV_INFO_RDASTMTOPTIMIZELEVEL, Kind::FileInt, "COMMON", "RdaStmtOptimizeLevel", nullptr, 73},
    {QV_INFO_CLIENT_PORT, Kind::FileString, "CLIENT", "port", "0", 0},
    {QV_INFO_LOCALADDRESS, Kind::Builtin, nullptr, "LOCAL ADDRESS", "00.00.00.00", 0},
    {QV_INFO_PROMPTFORUID, Kind::FileInt, "CLIENT", "PromptForUID", nullptr, 1},
    {QV_INFO_LOOKUPFROMDB, Kind::FileInt, "ODBC32", "LookUpFromDB", nullptr, 0},
    {QV_INFO_USETHREADS, Kind::FileInt, "Common", "UseThreads", nullptr, -1},
    {QV_INFO_LOGFILEMAXSIZE, Kind::FileInt, "Common", "LogFileMaxSize", nullptr, 8192},
    {QV_INFO_USEPAGES, Kind::FileInt, "Common", "UsePages", nullptr, 1},
    {QV_INFO_PAGESIZE, Kind::FileInt, "Common", "PageSize", nullptr, 0},
    {QV_INFO_SECURITYPACKAGE, Kind::FileString, "COMMON", "SecurityPackage", "", 0},
    {QV_INFO_CLIENT_SECURITYPACKAGE, Kind::FileString, "CLIENT", "SecurityPackage", "", 0},
    {QV_INFO_EXTENDEDFUNCTIONS, Kind::FileInt, "ODBC32", "ExtendedFunctions", nullptr, 255},
    {QV_INFO_APPMASK, Kind::FileString, "ODBC32", "AppMask", "", 0},
    {QV_INFO_SCHEMAOWNER, Kind::FileString, "CLIENT", "SchemaOwner", "", 0},
    {QV_INFO_SUPPORTQUERYTIMEOUT, Kind::FileInt, "CLIENT", "SupportQueryTimeout", nullptr, 0},
    {QV_INFO_USESCHEMALIKEESCAPECLAUSE, Kind::FileInt, "CLIENT", "UseSchemaLikeEscapeClause", nullptr, 0},
    {QV_INFO_SETLOCALE, Kind::FileString, "Common", "SetLocale", "", 0},
    {QV_INFO_MAPDEFAULTWCHARASCHAR, Kind::FileInt, "ODBC32", "MapDefaultWcharAsChar", nullptr, 0},
    {QV_INFO_ENCRYPTIONPACKAGE, Kind::FileInt, "COMMON", "EncryptionPackage", nullptr, 0},
    {QV_INFO_LOGFILECLOSE, Kind::FileInt, "Common", "LogFileClose", nullptr, 0},
    {QV_INFO_DEFAULTQUERYTIMEOUT, Kind::FileInt, "CLIENT", "DefaultQueryTimeout", nullptr, -1},
    {QV_INFO_CRYPTOPROVIDER, Kind::FileString, "COMMON", "CryptoProvider", "", 0},
    {QV_INFO_ADDRESSSELECTION, Kind::FileInt, "CLIENT", "AddressSelection", nullptr, 0},
    {QV_INFO_IGNOREUNICODEFUNCTIONS, Kind::FileInt, "ODBC32", "IgnoreUnicodeFunctions", nullptr, 0},
    {QV_INFO_GETINFOMETHOD, Kind::FileInt, "CLIENT", "GetInfoMethod", nullptr, 0},
    {QV_INFO_DISABLEINFOCACHING, Kind::FileInt, "CLIENT", "DisableQvInfoCaching", nullptr, 0},
    {QV_INFO_SUPPORTQUERYCANCEL, Kind::FileInt, "COMMON", "SupportQueryCancel", nullptr, 0},
};

const InfoEntry* findEntry(int32_t type) {
  for (const InfoEntry& e : kInfo)
    if (e.type == type) return &e;
  return nullptr;
}

int32_t fileString(const GutilTLS* g, const char* section, const char* key, const char* def, char* buffer,
                   int32_t size) {
  return GetPrivateProfileString(section, key, def, buffer, size, g->iniFile);
}

int32_t fileInt(const GutilTLS* g, const char* section, const char* key, int32_t def) {
  return GetPrivateProfileInt(section, key, def, g->iniFile);
}

// Types 1, 2, 3, 4 and 31: a path of the thread copied whole or not at all.
int32_t answerPath(TmHandle tm, const char* path, char* buffer, int32_t size, const char* tooSmallFormat) {
  if (copyWhole(buffer, size, path)) return QV_INFO_COPIED;
  TM_TRACE(tm, 8, kSrc, tooSmallFormat, path, size);
  return QV_INFO_TOO_SMALL;
}

constexpr const char* kTooLarge = "qv_getInfo(): <%s> too large to fit in the input buffer of <%d>.\n";

void readRoot(GutilTLS* g, char* root) {
  GetPrivateProfileString("COMMON", "qv_root", "", root, QV_PATH_SIZE, g->iniFile);
  if (root[0] != '\0') gMirodelConfig_Found = 1;
}

// What every lookup does first: find the configuration file, read the schema
// path, compose the database-resource file name.
void preamble(GutilTLS* g, int32_t size, TmHandle tm) {
  if (g->iniFile[0] == '\0') {
    QvCheckForMirodelConfig(tm, g->iniFile);
    char root[QV_PATH_SIZE];
    readRoot(g, root);
    if (root[0] != '\0')
      TM_TRACE(tm, 16, kSrc, "qv_getInfo(): <%s> has been set as the MIRODEL INI file.\n", g->iniFile);
    else
      TM_TRACE(tm, 8, kSrc, "qv_getInfo(): MIRODEL INI file <%s> is not found.\n", g->iniFile);
  }
  if (gMirodelConfig_Found != 0 && g->schemaPathSet == 0) {
    if (qv_initSchemaPath(g->iniFile, tm) == 1) g->schemaPathSet = 1;
  }
  if (g->drdFile[0] == '\0') {
    const size_t schemaLen = std::strlen(g->schemaPath);
    if (size <= 0 || static_cast<size_t>(size) <= schemaLen + 10 || !composePath(g->drdFile, g->schemaPath, "qvdrd.ini")) {
      TM_TRACE(tm, 8, kSrc,
               "qv_getInfo()::QV_INFO_DRDINIFILE - schema path too large to fit in the input buffer of <%d>.\n",
               size);
    } else {
      TM_TRACE(tm, 16, kSrc, "qv_getInfo()::QV_INFO_DRDINIFILE - DRD file = <%s>.\n", g->drdFile);
    }
  }
}

}  // namespace

int32_t gMirodelConfig_Found = 0;
int32_t gCharacterMode = 0;
int32_t gUTF8Mode = 1;
int32_t gUnicodeEncoding = 0;
int32_t gQVRunMode = 0;

int32_t qv_getInfo(int32_t type, int32_t, char* buffer, int32_t size, TmHandle tm) {
  // A caller without a trace module (the trace manager itself among them)
  // gets no trace of a missing record either.
  GutilTLS* g = gGutilTLS.getOwn(0, tm >= 0);
  if (g == nullptr) return 0;
  preamble(g, size, tm);

  switch (type) {
    case QV_INFO_INIFILE:
      TM_TRACE(tm, 16, kSrc, "qv_getInfo(): <%s> is the current MIRODEL INI file.\n", g->iniFile);
      return answerPath(tm, g->iniFile, buffer, size, kTooLarge);
    case QV_INFO_DBINIFILE:
    case QV_INFO_DRDINIFILE:
      if (copyWhole(buffer, size, g->drdFile)) {
        TM_TRACE(tm, 16, kSrc, "qv_getInfo()::QV_INFO_DRDINIFILE - DRD file = <%s>.\n", g->drdFile);
        return QV_INFO_COPIED;
      }
      TM_TRACE(tm, 8, kSrc,
               "qv_getInfo()::QV_INFO_DBINIFILE - schema path too large to fit in the input buffer of <%d>.\n", size);
      return QV_INFO_TOO_SMALL;
    case QV_INFO_SCHEMAPATH:
      return answerPath(tm, g->schemaPath, buffer, size, kTooLarge);
    case QV_INFO_INFOINIFILE:
      if (g->infoFile[0] == '\0' && !composePath(g->infoFile, g->schemaPath, "qvinfo.ini"))
        TM_TRACE(tm, 8, kSrc, "qv_getInfo()::QV_INFO_INFOINIFILE - schema path too large.\n");
      return answerPath(tm, g->infoFile, buffer, size, kTooLarge);
    case QV_INFO_KEEPALIVE:
      return 1;
    case QV_INFO_RESPONSE_TIME_OUT: {
      int32_t v = fileInt(g, "CLIENT", "RESPONSE_TIME_OUT", 3600);
      if (v <= 0) {
        v = INT32_MAX;
        TM_TRACE(tm, 16, kSrc,
                 "qv_getInfo(): RESPONSE_TIME_OUT value is beyond the valid range of signed long. Changed to <%d>\n",
                 v);
      }
      TM_TRACE(tm, 16, kSrc, "qv_getInfo(): RESPONSE_TIME_OUT = <%d>.\n", v);
      return v;
    }
    case QV_INFO_CONFIG:
      fileString(g, "Common", "Config", "", buffer, size);
      return QV_INFO_COPIED;
    case QV_INFO_SERVER_PORT:
      if (g->portOverride[0] != '\0') {
        if (copyWhole(buffer, size, g->portOverride)) return QV_INFO_COPIED;
        TM_TRACE(tm, 8, kSrc, kTooLarge, g->portOverride, size);
        return QV_INFO_TOO_SMALL;
      }
      return fileString(g, "SERVER", "port", "", buffer, size);
    case QV_INFO_AUTOCOMMIT:
      return fileInt(g, "CLIENT", "autocommitoff", 255) == 1 ? 0 : 1;
    case QV_INFO_ODBC_MESSAGEPREFIX:
      fileString(g, "ODBC32", "MessagePrefix", "[Quenlow][Varenta ODBC]", buffer, size);
      return QV_INFO_COPIED;
    case QV_INFO_JDBC_MESSAGEPREFIX:
      fileString(g, "JDBC", "MessagePrefix", "[Quenlow][Varenta JDBC]", buffer, size);
      return QV_INFO_COPIED;
    case QV_INFO_8BITCHARACTER:
      gCharacterMode = fileInt(g, "COMMON", "8BITCHARACTER", 0);
      return gCharacterMode;
    case QV_INFO_UTF8MODE:
      gUTF8Mode = fileInt(g, "COMMON", "UTF8Mode", 1);
      return gUTF8Mode;
    case QV_INFO_UNICODEENCODING: {
      const int32_t v = fileInt(g, "ODBC32", "UnicodeEncoding", -1);
      gUnicodeEncoding = v == -1 ? 1 : v;
      return gUnicodeEncoding;
    }
    default:
      break;
  }

  const InfoEntry* e = findEntry(type);
  if (e == nullptr) {
    TM_TRACE(tm, 8, kSrc, "qv_getInfo() <%d> is not a supported information type\n", type);
    return 0;
  }
  switch (e->kind) {
    case Kind::FileString:
      return fileString(g, e->section, e->key, e->text, buffer, size);
    case Kind::FileInt:
      return fileInt(g, e->section, e->key, e->number);
    case Kind::Builtin:
      if (copyWhole(buffer, size, e->text)) return QV_INFO_COPIED;
      TM_TRACE(tm, 8, kSrc, "qv_getInfo(): the input buffer of <%d> too small to store %s .\n", size, e->key);
      return QV_INFO_TOO_SMALL;
  }
  return 0;
}

int32_t qv_setInfo(int32_t type, int32_t, const char* value) {
  GutilTLS* g = getGutilTLS(0);
  if (g == nullptr) return 0;
  switch (type) {
    case QV_INFO_INIFILE: {
      if (value == nullptr || std::strlen(value) >= sizeof g->iniFile) return QV_INFO_VALUE_TOO_LONG;
      std::memcpy(g->iniFile, value, std::strlen(value) + 1);
      char root[QV_PATH_SIZE];
      readRoot(g, root);
      g->schemaPathSet = 0;
      g->drdFile[0] = '\0';
      return 1;
    }
    case QV_INFO_SERVER_PORT:
      if (value == nullptr || std::strlen(value) >= sizeof g->portOverride) return QV_INFO_VALUE_TOO_LONG;
      std::memcpy(g->portOverride, value, std::strlen(value) + 1);
      return 1;
    default:
      return 1;
  }
}

int32_t qv_getInfoExt(int32_t type, const char* section, const char* key, char* buffer, int32_t size,
                      const char* userConnectString) {
  char file[QV_PATH_SIZE] = "";
  if (qv_getInfo(type, 0, file, sizeof file, 0) == 0) return 0;
  if (section == nullptr || key == nullptr) return 0;
  GutilTLS* g = getGutilTLS(0);
  const bool address = g != nullptr && gqv_strcmp(key, "ADDRESS") == 0;
  if (address && g->serverAddress[0] != '\0') {
    copyBounded(buffer, size > 0 ? static_cast<size_t>(size) : 0, g->serverAddress);
    return 1;
  }
  int32_t r = GetPrivateProfileString(section, key, "", buffer, size, file);
  if (r == 0) r = ReadKeywordFromUsrConnectString(key, "", buffer, size, userConnectString);
  // Only a whole list is cached: a cut one would lose addresses of the
  // fail-over for every later connect.
  if (address && buffer != nullptr && size > 0 && !copyBounded(g->serverAddress, sizeof g->serverAddress, buffer))
    g->serverAddress[0] = '\0';
  return r;
}

int32_t qv_getInfoClientTrace(const char* key, char* buffer, int32_t size) {
  const GutilTLS* g = getGutilTLS(0);
  if (g != nullptr && g->iniFile[0] != '\0')
    return GetPrivateProfileString("TraceClient", key, kClientTraceDefault, buffer, size, g->iniFile);
  return copyWhole(buffer, size, kClientTraceDefault) ? QV_INFO_COPIED : QV_INFO_TOO_SMALL;
}

// One search for a configuration file: the working directory, the file an
// environment variable names, the home directory, else the bare name.
struct FileSearch {
  const char* fn;
  const char* name;
  const char* envVar;
  const char* envCheck;
  const char* homeCheck;
  const char* foundLocal;
  const char* foundOther;
  const char* fallback;
};

namespace {

// Takes one candidate into `path` when it fits; an over-long candidate (from
// the environment) is skipped with a trace.
bool takeCandidate(TmHandle tm, const FileSearch& s, char* path, const char* candidate) {
  if (std::strlen(candidate) < QV_PATH_SIZE) {
    std::memcpy(path, candidate, std::strlen(candidate) + 1);
    return true;
  }
  TM_TRACE(tm, 8, kSrc, "%s(): Path <%.64s...> is longer than %d characters and is skipped.\n", s.fn, candidate,
           QV_PATH_SIZE - 1);
  return false;
}

void searchFile(TmHandle tm, const FileSearch& s, char* path) {
  std::snprintf(path, QV_PATH_SIZE, "./%s", s.name);
  TM_TRACE(tm, 16, kSrc, "%s(): Checking config file <%s> in the current directory\n", s.fn, path);
  if (fileOpens(path, "r")) {
    TM_TRACE(tm, 16, kSrc, s.foundLocal, s.fn, path);
    return;
  }
  if (const char* env = std::getenv(s.envVar); env != nullptr && takeCandidate(tm, s, path, env)) {
    TM_TRACE(tm, 16, kSrc, s.envCheck, s.fn, path, s.envVar);
    if (fileOpens(path, "r")) {
      TM_TRACE(tm, 16, kSrc, s.foundOther, s.fn, path);
      return;
    }
  }
  if (const char* home = std::getenv("HOME")) {
    std::string candidate = std::string(home) + "/" + s.name;
    if (takeCandidate(tm, s, path, candidate.c_str())) {
      TM_TRACE(tm, 16, kSrc, s.homeCheck, s.fn, path, home);
      if (fileOpens(path, "r")) {
        TM_TRACE(tm, 16, kSrc, s.foundOther, s.fn, path);
        return;
      }
    }
  }
  std::snprintf(path, QV_PATH_SIZE, "%s", s.name);
  TM_TRACE(tm, 16, kSrc, s.fallback, s.fn, path);
}

constexpr const char* kFoundConfig = "%s(): File <%s> was found and will be used as the configuration file.\n";

constexpr FileSearch kMirodelSearch{
    "QvCheckForMirodelConfig",
    kIniName,
    "MIRODEL_INI",
    "%s(): Checking config file <%s> as specified by the environment variable:<%s>.\n",
    "%s(): Checking config file <%s> in the HOME directory:<%s>\n",
    kFoundConfig,
    kFoundConfig,
    "%s(): <%s> is the current MIRODEL INI file. This is its default value.\n",
};

constexpr FileSearch kDsnSearch{
    "QvGetOdbcDsnFile",
    "odbc.ini",
    "ODBCINI",
    "%s(): Checking DSN file <%s> as specified by the environment variable:<%s>.\n",
    "%s(): Checking DSN file <%s> in the HOME directory:<%s>\n",
    kFoundConfig,
    "%s(): File <%s> was found and will be used as the DSN file.\n",
    "%s(): <%s> is the current DSN file. This is its default value.\n",
};

}  // namespace

void QvCheckForMirodelConfig(TmHandle tm, char* path) { searchFile(tm, kMirodelSearch, path); }
void QvGetOdbcDsnFile(TmHandle tm, char* path) { searchFile(tm, kDsnSearch, path); }

void QvReadMultiThreadOption(TmHandle tm) {
  const int32_t v = qv_getInfo(QV_INFO_USETHREADS, 0, nullptr, 0, tm);
  if (v != -1) QvSetMultiThread(v);
  TM_TRACE(tm, 16, kSrc, "Threading is %s in configuration file\n", QvMultiThread != 0 ? "Enabled" : "Disabled");
}

void QvReadLogFileTruncationOption() {
  const int64_t kb = qv_getInfo(QV_INFO_LOGFILEMAXSIZE, 0, nullptr, 0, -1);
  const int64_t bytes = kb * 1024;
  giTmLogFileMaxSize = static_cast<int32_t>(bytes > INT32_MAX ? INT32_MAX : bytes < INT32_MIN ? INT32_MIN : bytes);
}

void QvReadPageOptions(TmHandle tm) {
  giEnablePaging = qv_getInfo(QV_INFO_USEPAGES, 0, nullptr, 0, tm);
  const int32_t size = qv_getInfo(QV_INFO_PAGESIZE, 0, nullptr, 0, tm);
  giXmPageSize = size == 0 ? 16384 : size;
  TM_TRACE(tm, 16, kSrc, "Paging is %s\n", giEnablePaging != 0 ? "Enabled" : "Disabled");
  TM_TRACE(tm, 16, kSrc, "Page size is %d\n", giXmPageSize);
}

int32_t GetQvRunMode() { return gQVRunMode; }

// ---------------------------------------------------------------------------
// Server address lists

char* QvGetNextAddr(char* list, int32_t* isLast) {
  if (isLast != nullptr) *isLast = 0;
  if (list == nullptr || *list == '\0') return nullptr;
  while (*list == ' ') ++list;
  char* end = std::strchr(list, ' ');
  if (end != nullptr) *end = '\0';
  else if (isLast != nullptr) *isLast = 1;
  return list;
}

const uint8_t* QvGetNextBinAddr(const uint8_t* entry, int32_t* isLast, int32_t* remaining) {
  if (isLast != nullptr) *isLast = 0;
  if (remaining != nullptr) {
    *remaining -= 5;
    if (*remaining <= 0 && isLast != nullptr) *isLast = 1;
  }
  return entry;
}

char* QvGetCachedAddrList() {
  GutilTLS* g = getGutilTLS(0);
  return g != nullptr ? g->serverAddress : nullptr;
}

void QvResetCachedAddrList() {
  if (GutilTLS* g = getGutilTLS(0)) g->serverAddress[0] = '\0';
}

char* QvRemoveCurAddr(char* list, int32_t* isLast) {
  if (isLast != nullptr) *isLast = 0;
  if (list == nullptr || *list == '\0') return nullptr;
  const char* rest = list + std::strcspn(list, " ");
  if (*rest == ' ') ++rest;
  if (std::strchr(rest, ' ') == nullptr && isLast != nullptr) *isLast = 1;
  if (*rest == '\0') return nullptr;
  GutilTLS* g = getGutilTLS(0);
  if (g == nullptr) return nullptr;
  // The rest may lie inside the cache itself, and a list from elsewhere may
  // be longer than the cache: move what fits, cut at an address boundary.
  const size_t cap = sizeof g->serverAddress - 1;
  size_t len = std::strlen(rest);
  if (len > cap) {
    len = cap;
    while (len > 0 && rest[len] != ' ') --len;
    while (len > 0 && rest[len - 1] == ' ') --len;
    if (len == 0) return nullptr;
  }
  std::memmove(g->serverAddress, rest, len);
  g->serverAddress[len] = '\0';
  return g->serverAddress;
}

// ---------------------------------------------------------------------------
// Connection strings

namespace {

int lowerOf(char c) { return plib_tolower(static_cast<signed char>(c)); }
wint_t lowerOf(wchar_t c) { return std::towlower(static_cast<wint_t>(c)); }

template <class Ch>
size_t lengthOf(const Ch* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// The value of the first qualifying occurrence of `keyword` at or after `from`:
// the keyword begins the string or follows a blank or ';' (or, with
// `afterEquals`, a '=': a keyword inside another one's value), and only
// blanks stand between it and the next '='. Returns the value's start and
// sets `valueLen`, or NULL.
template <class Ch>
Ch* findKeywordValue(Ch* str, size_t from, const Ch* keyword, size_t* valueLen, bool afterEquals = false) {
  const size_t klen = lengthOf(keyword);
  const size_t slen = lengthOf(str);
  if (klen == 0) return nullptr;
  for (size_t i = from; i + klen <= slen; ++i) {
    if (i > 0 && str[i - 1] != Ch(' ') && str[i - 1] != Ch(';') && !(afterEquals && str[i - 1] == Ch('='))) continue;
    size_t k = 0;
    while (k < klen && lowerOf(str[i + k]) == lowerOf(keyword[k])) ++k;
    if (k < klen) continue;
    size_t j = i + klen;
    while (str[j] == Ch(' ')) ++j;
    if (str[j] != Ch('=')) continue;
    Ch* value = str + j + 1;
    size_t n = 0;
    while (value[n] != 0 && value[n] != Ch(';')) ++n;
    *valueLen = n;
    return value;
  }
  return nullptr;
}

// Overwrites the value of every qualifying occurrence of each keyword; one
// that stands right after a '=' qualifies too, so that no value hides
// inside another's.
template <class Ch>
void maskKeywords(Ch* str, const Ch* const* keywords, size_t count) {
  if (str == nullptr) return;
  for (size_t k = 0; k < count; ++k) {
    size_t from = 0;
    size_t len = 0;
    while (Ch* value = findKeywordValue(str, from, keywords[k], &len, true)) {
      for (size_t i = 0; i < len; ++i) value[i] = Ch('*');
      from = static_cast<size_t>(value - str) + len;
    }
  }
}

int32_t copyCapped(const char* src, size_t len, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  const size_t n = len < static_cast<size_t>(size) ? len : static_cast<size_t>(size) - 1;
  std::memcpy(buffer, src, n);
  buffer[n] = '\0';
  return static_cast<int32_t>(n);
}

}  // namespace

int32_t ReadKeywordFromUsrConnectString(const char* keyword, const char* def, char* buffer, int32_t size,
                                        const char* connectString) {
  if (connectString != nullptr && keyword != nullptr) {
    size_t len = 0;
    const char* value = findKeywordValue(const_cast<char*>(connectString), 0, keyword, &len);
    if (value != nullptr && len > 0) return copyCapped(value, len, buffer, size);
  }
  if (def == nullptr) return 0;
  return copyCapped(def, std::strlen(def), buffer, size);
}

void HideAuthenticationDataForTracing(char* connectString) {
  static constexpr const char* kKeys[] = {"UID", "User Id", "Password", "PWD"};
  maskKeywords(connectString, kKeys, 4);
}

void HideAuthenticationDataForTracingW(wchar_t* connectString) {
  static constexpr const wchar_t* kKeys[] = {L"UID", L"User Id", L"Password", L"PWD"};
  maskKeywords(connectString, kKeys, 4);
}
