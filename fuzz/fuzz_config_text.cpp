// The configuration texts: the main configuration file read through every
// information type of qv_getInfo, the ini reader and writer on it, the
// database-resource file, the OSI configuration file, connection-string
// keywords and server address lists, all over files of a sandbox directory
// made at start-up (HOME and OSID point into it; it goes at exit).
//
// Input: octet 0 picks the size of the caller's buffers (1-766); the rest is
// cut at its first two zero octets into the text of mirodel.ini, the text
// given both to qvdrd.ini and to osid.cfg, and a text whose first three
// lines name a section (or object), a key and a value and which as a whole
// is the connection string and the address list. A key that was written
// must read back as written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "src/runtime/dbresource.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"
#include "src/session/osicfg.h"

namespace {

std::string gDir;
std::string gMirodel;

void removeSandbox() {
  std::error_code ec;
  std::filesystem::remove_all(gDir, ec);
}

void writeFile(const std::string& path, std::string_view text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
}

// A buffer of exactly `size` octets on the heap, so that an overrun is seen.
struct Buffer {
  std::vector<char> octets;
  explicit Buffer(size_t size) : octets(size, '\x5A') {}
  char* data() { return octets.data(); }
  int32_t size() const { return static_cast<int32_t>(octets.size()); }
  // The text is terminated inside the buffer.
  bool terminated() const { return std::memchr(octets.data(), '\0', octets.size()) != nullptr; }
};

// Lines of the third text, each cut at a zero octet.
std::vector<std::string> linesOf(std::string_view text, size_t count) {
  std::vector<std::string> out;
  while (out.size() < count) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    out.emplace_back(line.substr(0, line.find('\0')));
    if (end == std::string_view::npos) {
      text = {};
    } else {
      text.remove_prefix(end + 1);
    }
  }
  return out;
}

bool has(const std::string& s, const char* chars) { return s.find_first_of(chars) != std::string::npos; }

// Names and a value that the ini format can hold as they are: a section
// that its header line gives back, a key without '=' or blanks at its ends,
// a value without blanks at its ends, all on one line.
bool plainEntry(const std::string& section, const std::string& key, const std::string& value) {
  if (section.empty() || key.empty() || section.size() > 200 || key.size() > 200 || value.size() > 500) return false;
  if (has(section, "[]\n\r ;") || has(key, "=[]\n\r ;") || has(value, "\n\r")) return false;
  if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) return false;
  return true;
}

void iniFile(const std::string& section, const std::string& key, const std::string& value, size_t size) {
  Buffer b(size);
  GetPrivateProfileString(section.c_str(), key.c_str(), "default", b.data(), b.size(), gMirodel.c_str());
  if (!b.terminated()) __builtin_trap();
  Buffer listing(size);
  GetPrivateProfileString(section.c_str(), nullptr, "", listing.data(), listing.size(), gMirodel.c_str());
  (void)GetPrivateProfileInt(section.c_str(), key.c_str(), -7, gMirodel.c_str());

  if (WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), gMirodel.c_str()) == 0 ||
      !plainEntry(section, key, value))
    return;
  // The reader finds what the writer wrote: both take the first section and
  // the first key line that match.
  char back[1024];
  GetPrivateProfileString(section.c_str(), key.c_str(), "\x01", back, sizeof back, gMirodel.c_str());
  if (value != back) __builtin_trap();
}

void lookups(const std::string& section, const std::string& key, const std::string& text, size_t size) {
  for (int32_t type = 0; type <= 63; ++type) {
    Buffer b(size);
    const int32_t r = qv_getInfo(type, 0, b.data(), b.size(), -1);
    (void)r;
  }
  Buffer b(size);
  (void)qv_getInfoExt(QV_INFO_DRDINIFILE, section.c_str(), key.c_str(), b.data(), b.size(), text.c_str());
  (void)qv_getInfoExt(QV_INFO_DRDINIFILE, section.c_str(), "ADDRESS", b.data(), b.size(), text.c_str());
  QvResetCachedAddrList();
  (void)qv_getInfoClientTrace(key.c_str(), b.data(), b.size());
  char server[64];
  char connect[128];
  char type[32];
  char schema[QV_PATH_SIZE];
  (void)qv_getDbResourceInfo(section.c_str(), server, sizeof server, connect, sizeof connect, type, sizeof type, schema,
                             sizeof schema, -1, text.c_str());
}

void connectionString(const std::string& key, const std::string& text, size_t size) {
  for (const char* keyword : {"DSN", "UID", "PWD", "CONNECT_STRING", "TYPE", "SCHEMA_PATH", key.c_str()}) {
    Buffer b(size);
    const int32_t r = ReadKeywordFromUsrConnectString(keyword, "d", b.data(), b.size(), text.c_str());
    if (r < 0 || r > b.size() || !b.terminated()) __builtin_trap();
  }
  std::string hidden = text.c_str();
  const size_t before = hidden.size();
  HideAuthenticationDataForTracing(hidden.data());
  if (std::strlen(hidden.c_str()) > before) __builtin_trap();
}

void addressList(const std::string& text) {
  std::string list = text.c_str();
  list.push_back('\0');
  char* at = list.data();
  const char* end = list.data() + list.size();
  for (int i = 0; i < 64 && at < end; ++i) {
    int32_t last = 0;
    char* addr = QvGetNextAddr(at, &last);
    if (addr == nullptr || last != 0) break;
    at = addr + std::strlen(addr) + 1;
  }
  std::string again = text.c_str();
  int32_t last = 0;
  for (char* rest = again.data(); rest != nullptr && last == 0;) rest = QvRemoveCurAddr(rest, &last);
  QvResetCachedAddrList();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  char dir[] = "/tmp/fuzz_config_XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  gDir = dir;
  gMirodel = gDir + "/mirodel.ini";
  std::atexit(removeSandbox);
  setenv("HOME", dir, 1);
  setenv("OSID", (gDir + "/osid.cfg").c_str(), 1);
  unsetenv("MIRODEL_INI");
  unsetenv("ODBCINI");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t bufferSize = 1 + static_cast<size_t>(data[0]) * 3;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string_view texts[3];
  for (int i = 0; i < 2; ++i) {
    const size_t cut = rest.find('\0');
    texts[i] = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut + 1);
  }
  texts[2] = rest;

  writeFile(gMirodel, texts[0]);
  writeFile(gDir + "/qvdrd.ini", texts[1]);
  writeFile(gDir + "/osid.cfg", texts[1]);
  if (qv_setInfo(QV_INFO_INIFILE, 0, gMirodel.c_str()) != 1) std::abort();

  const std::vector<std::string> names = linesOf(texts[2], 3);
  const std::string whole(texts[2]);
  lookups(names[0], names[1], whole, bufferSize);
  if (char* v = get_osi_cfg_value(names[0].c_str(), names[1].c_str())) {
    if (std::memchr(v, '\0', kOsiCfgValueSize) == nullptr) __builtin_trap();
    std::free(v);
  }
  connectionString(names[1], whole, bufferSize);
  addressList(whole);
  iniFile(names[0], names[1], names[2], bufferSize);
  return 0;
}
