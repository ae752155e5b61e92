#include "src/runtime/tracefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

FILE* qvOpenTraceFile(const char* path, const char* mode) {
  if (path == nullptr || path[0] == '\0' || mode == nullptr) return nullptr;
  int flags = O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  if (std::strcmp(mode, "w") == 0) flags |= O_WRONLY | O_TRUNC;
  else if (std::strcmp(mode, "a") == 0) flags |= O_WRONLY | O_APPEND;
  else if (std::strcmp(mode, "a+") == 0) flags |= O_RDWR | O_APPEND;
  else return nullptr;
  // Non-blocking only for the open itself, so that a FIFO without a reader
  // fails instead of hanging the caller.
  const int fd = open(path, flags, S_IRUSR | S_IWUSR);
  if (fd < 0) return nullptr;
  const int fl = fcntl(fd, F_GETFL);
  if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  FILE* f = fdopen(fd, mode);
  if (f == nullptr) close(fd);
  return f;
}

const char* qvTraceFileName(const char* path) {
  if (path == nullptr) return "";
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

int64_t qvTracePosition(FILE* f) {
  if (f == nullptr || f == stdout || f == stderr) return 0;
  const long pos = std::ftell(f);
  return pos < 0 ? 0 : static_cast<int64_t>(pos);
}

namespace {

bool writeChars(FILE* f, const uint8_t* row, int32_t n) {
  char text[17];
  for (int32_t i = 0; i < n; ++i) text[i] = row[i] >= 0x20 && row[i] < 0x7f ? static_cast<char>(row[i]) : '.';
  text[n] = '\0';
  return std::fprintf(f, "  |  %s\n", text) >= 0;
}

}  // namespace

bool qvWriteHexRows(FILE* f, const uint8_t* buffer, int32_t length) {
  if (f == nullptr || buffer == nullptr || length <= 0) return true;
  for (int32_t i = 0; i < length; ++i) {
    if (i % 16 == 0 && std::fprintf(f, "%5x: ", static_cast<unsigned>(i)) < 0) return false;
    if (std::fprintf(f, "%02x ", buffer[i]) < 0) return false;
    if (i % 16 == 15 && !writeChars(f, buffer + (i - 15), 16)) return false;
  }
  const int32_t rest = length % 16;
  if (rest != 0) {
    for (int32_t k = rest; k < 16; ++k)
      if (std::fputs("   ", f) < 0) return false;
    if (!writeChars(f, buffer + (length - rest), rest)) return false;
  }
  return true;
}
