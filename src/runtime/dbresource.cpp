#include "src/runtime/dbresource.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/qvinfo";
constexpr size_t kValueSize = 1024;  // a value never exceeds one ini line

void slashes(char* path) {
  for (char* p = path; *p != '\0'; ++p)
    if (*p == '\\') *p = '/';
}

// Appends '/' unless the text ends in one; false when it would not fit.
bool endWithSlash(char* path, size_t size) {
  const size_t len = std::strlen(path);
  if (len > 0 && path[len - 1] == '/') return true;
  if (len + 1 >= size) return false;
  path[len] = '/';
  path[len + 1] = '\0';
  return true;
}

// A key of the resource's section, else the keyword of the connection string.
int32_t readResourceKey(const char* drdFile, const char* name, const char* key, char* out, int32_t size,
                        const char* userConnectString) {
  const int32_t r = GetPrivateProfileString(name, key, "", out, size, drdFile);
  if (r != 0) return r;
  return ReadKeywordFromUsrConnectString(key, "", out, size, userConnectString);
}

std::string readKey(const char* section, const char* key, const std::string& file) {
  char value[kValueSize];
  GetPrivateProfileString(section, key, "", value, sizeof value, file.c_str());
  return value;
}

}  // namespace

int32_t qv_initSchemaPath(const char* configPath, TmHandle tm) {
  GutilTLS* g = getGutilTLS(0);
  if (g == nullptr || configPath == nullptr) return 0;
  GetPrivateProfileString("COMMON", "Schemapath", "", g->schemaPath, sizeof g->schemaPath, configPath);
  if (g->schemaPath[0] == '\0') {
    TM_TRACE(tm, 8, kSrc, "%s()::QV_INFO_SCHEMAPATH - schema path is not set in <%s>\n", "qv_initSchemaPath",
             configPath);
    return 0;
  }
  slashes(g->schemaPath);
  if (!endWithSlash(g->schemaPath, sizeof g->schemaPath)) {
    TM_TRACE(tm, 8, kSrc, "%s()::QV_INFO_SCHEMAPATH - schema path is too long in <%s>\n", "qv_initSchemaPath",
             configPath);
    g->schemaPath[0] = '\0';
    return 0;
  }
  TM_TRACE(tm, 16, kSrc, "Current Schema Path:<%s>.\n", g->schemaPath);
  return 1;
}

int32_t qv_getDbResourceInfo(const char* name, char* serverOut, int32_t serverSize, char* connectStringOut,
                             int32_t connectStringSize, char* typeOut, int32_t typeSize, char* schemaPathOut,
                             int32_t schemaPathSize, TmHandle tm, const char* userConnectString) {
  constexpr const char* fn = "qv_getDbResourceInfo";
  char drd[QV_PATH_SIZE] = "";
  qv_getInfo(QV_INFO_DBINIFILE, 0, drd, sizeof drd, tm);
  if (name == nullptr) name = "";
  if (serverOut != nullptr) {
    if (serverSize <= 0 || std::strlen(name) >= static_cast<size_t>(serverSize)) {
      TM_TRACE(tm, 8, kSrc, "<%s> Server name <%s> does not fit in <%d> bytes.\n", fn, name, serverSize);
      return 0;
    }
    std::memcpy(serverOut, name, std::strlen(name) + 1);
    if (name[0] == '\0') {
      TM_TRACE(tm, 8, kSrc, "<%s> Server is not set for database resource <%s> \n", fn, name);
      return 0;
    }
    TM_TRACE(tm, 16, kSrc, "<%s> Server name = <%s>.\n", fn, serverOut);
  }
  if (connectStringOut != nullptr) {
    readResourceKey(drd, name, "CONNECT_STRING", connectStringOut, connectStringSize, userConnectString);
    TM_TRACE(tm, 16, kSrc, "<%s> Connect String = <%s>.\n", fn, connectStringOut);
  }
  if (typeOut != nullptr) {
    readResourceKey(drd, name, "TYPE", typeOut, typeSize, userConnectString);
    if (typeSize <= 0 || typeOut[0] == '\0') {
      TM_TRACE(tm, 8, kSrc, "<%s> Database Type is not set for database resource <%s> \n", fn, name);
      return 0;
    }
    TM_TRACE(tm, 16, kSrc, "<%s> Database Type = <%s>.\n", fn, typeOut);
  }
  if (schemaPathOut != nullptr) {
    char path[QV_PATH_SIZE] = "";
    readResourceKey(drd, name, "SCHEMA_PATH", path, sizeof path, userConnectString);
    if (qv_adjustDbSchemaPath(path, tm) != 1 || schemaPathSize <= 0 ||
        std::strlen(path) >= static_cast<size_t>(schemaPathSize))
      return 0;
    std::memcpy(schemaPathOut, path, std::strlen(path) + 1);
    TM_TRACE(tm, 16, kSrc, "<%s> Database schema path = <%s>.\n", fn, schemaPathOut);
  }
  return 1;
}

int32_t qv_adjustDbSchemaPath(char* path, TmHandle tm) {
  constexpr size_t kSize = QV_PATH_SIZE;
  if (path == nullptr) return 0;
  char configured[kSize];
  std::snprintf(configured, sizeof configured, "%s", path);
  char schema[kSize] = "";
  qv_getInfo(QV_INFO_SCHEMAPATH, 0, schema, sizeof schema, tm);

  char actual[kSize];
  int n = 0;
  if (configured[0] == '\0') n = std::snprintf(actual, sizeof actual, "%s", schema);
  else if (configured[0] == '.')
    n = std::snprintf(actual, sizeof actual, "%s%s", schema, configured[1] != '\0' ? configured + 2 : "");
  else n = std::snprintf(actual, sizeof actual, "%s", configured);
  slashes(actual);
  if (n < 0 || static_cast<size_t>(n) >= sizeof actual || !endWithSlash(actual, sizeof actual)) {
    TM_TRACE(tm, 8, kSrc, "<%s> Database schema path too long. Configured = <%s>.\n", "qv_adjustDbSchemaPath",
             configured);
    return 0;
  }
  std::memcpy(path, actual, std::strlen(actual) + 1);
  TM_TRACE(tm, 64, kSrc, "<%s> Database schema path. Configured = <%s>. Actual = <%s>\n", "qv_adjustDbSchemaPath",
           configured, path);
  return 1;
}

void qv_getResourceFileName(char* out) {
  const GutilTLS* g = getGutilTLS(0);
  if (out == nullptr || g == nullptr) return;
  std::memcpy(out, g->drdFile, sizeof g->drdFile);
}

int32_t QvGetSrvrStatFileName(char* out) {
  char schema[QV_PATH_SIZE] = "";
  if (out == nullptr || qv_getInfo(QV_INFO_SCHEMAPATH, 0, schema, sizeof schema, -1) != QV_INFO_COPIED) return 0;
  const int n = std::snprintf(out, QV_PATH_SIZE, "%s/%s", schema, "qvstat.bin");
  return n >= 0 && n < QV_PATH_SIZE ? 1 : 0;
}

namespace {

// Writes [section] key=value, except that an empty value never replaces one
// that is there. False when the write failed.
bool writeKeepingValues(const char* section, const char* key, const std::string& value, const std::string& file) {
  if (value.empty() && !readKey(section, key, file).empty()) return true;
  return WritePrivateProfileString(section, key, value.c_str(), file.c_str()) != 0;
}

}  // namespace

int32_t checkCreateDrd(const char* schemaDirectory, const char* mainConfigPath) {
  const std::string dir = schemaDirectory != nullptr ? schemaDirectory : "";
  const std::string drd = dir + "qvdrd.ini";
  const std::string db = dir + "qvdb.ini";
  const std::string servers = dir + "qvserver.ini";
  if (FILE* f = std::fopen(drd.c_str(), "r")) {
    std::fclose(f);
    return QV_DRD_PRESENT;
  }
  FILE* dbf = std::fopen(db.c_str(), "r");
  if (dbf == nullptr) return QV_DRD_NO_DB_FILE;
  FILE* sf = std::fopen(servers.c_str(), "r");
  if (sf == nullptr) {
    std::fclose(dbf);
    return QV_DRD_NO_SERVER_FILE;
  }
  std::fclose(sf);
  struct stat st;
  const bool drdPathTaken = ::lstat(drd.c_str(), &st) == 0;  // by something that cannot be read

  std::vector<std::string> databases;
  char line[128];
  while (std::fgets(line, sizeof line, dbf) != nullptr) {
    const char* open = std::strchr(line, '[');
    const char* close = open != nullptr ? std::strchr(open + 1, ']') : nullptr;
    if (close == nullptr) continue;
    std::string section(open + 1, close);
    if (section != "CONTENTS LIST" && section != "Contents List") databases.push_back(section);
  }
  std::fclose(dbf);

  // Without a local name (or a port for it) the lookup finds nothing; the
  // port already configured is kept then.
  const std::string cfg = mainConfigPath != nullptr ? mainConfigPath : "";
  const std::string localName = readKey("SERVER", "LocalName", cfg);
  bool written = writeKeepingValues("SERVER", "PORT", readKey(localName.c_str(), "TSELECTOR", servers), cfg);

  bool drdWritten = true;
  for (const std::string& d : databases) {
    const char* s = d.c_str();
    const std::string server = readKey(s, "SERVER", db);
    drdWritten = drdWritten && writeKeepingValues(s, "ADDRESS", readKey(server.c_str(), "NADDRESS1", servers), drd);
    drdWritten = drdWritten && writeKeepingValues(s, "PORT", readKey(server.c_str(), "TSELECTOR", servers), drd);
    for (const char* key : {"TYPE", "CONNECT_STRING", "SCHEMA_PATH", "REMARKS"})
      drdWritten = drdWritten && writeKeepingValues(s, key, readKey(s, key, db), drd);
  }
  // A part-built file would be taken for a finished one by the next call:
  // the file made here goes, so that the next call builds it again.
  if (!drdWritten && !drdPathTaken) std::remove(drd.c_str());
  return written && drdWritten ? QV_DRD_PRESENT : QV_DRD_WRITE_FAILED;
}
