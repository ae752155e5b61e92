// The message file qverror.bin: the input is written to a file of a
// sandbox directory (made at start-up, removed at exit) and read as section
// "RDAC" (82 rows) and as section "ODBC" (85 rows). A table that loads has
// every SQLSTATE and message terminated within its field.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>

#include "src/rdaclient/qverror.h"

namespace {

std::string gPath;
std::string gDir;

void removeSandbox() {
  std::error_code ec;
  std::filesystem::remove_all(gDir, ec);
}

QvErrorRow* allocRows(void*, int32_t rows) { return static_cast<QvErrorRow*>(std::calloc(rows, sizeof(QvErrorRow))); }
void freeRows(void*, QvErrorRow* rows) { std::free(rows); }
void trace(void*, bool, const char* text) {
  if (text == nullptr) std::abort();
}

bool terminated(const wchar_t* field, size_t size) { return wmemchr(field, L'\0', size) != nullptr; }

void readSection(const char* name, int32_t rows) {
  const QvErrorFileReader reader{name, rows, allocRows, freeRows, trace, nullptr};
  QvErrorFileHeader header{};
  QvErrorSection section{};
  QvErrorRow* table = nullptr;
  if (qvReadErrorFile(gPath.c_str(), reader, &header, &section, &table) != QvErrorFileResult::Loaded) {
    if (table != nullptr) std::abort();
    return;
  }
  if (table == nullptr || section.count < rows) std::abort();
  for (int32_t r = 0; r < rows; ++r)
    if (!terminated(table[r].sqlState, kQvSqlStateSize) || !terminated(table[r].message, kQvMessageSize))
      std::abort();
  std::free(table);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (gPath.empty()) {
    char dir[] = "/tmp/fuzz_message_file.XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    gDir = dir;
    gPath = gDir + "/qverror.bin";
    std::atexit(removeSandbox);
  }
  const int fd = open(gPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
  readSection("RDAC", 82);
  readSection("ODBC", 85);
  return 0;
}
