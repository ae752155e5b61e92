#include "src/runtime/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/qvstring.h"

namespace {

// A line is read in pieces of at most this many bytes, terminator included.
constexpr int kLineSize = 1024;
// Holds the bracketed section name, and then the key.
constexpr int kNameSize = 512;
static_assert(iIniMaxSectionLen + 3 == kNameSize && iIniMaxKeyLen + 1 == kNameSize);

// Stores bytes from `nextByte` (0..255, or -1 at the end) up to and including
// a line feed, at most size - 1 of them, and terminates the buffer.
template <class NextByte>
int readPiece(char* out, int size, NextByte&& nextByte) {
  if (out == nullptr || size <= 0) return 0;
  int n = 0;
  while (n < size - 1) {
    const int c = nextByte();
    if (c < 0) break;
    out[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  out[n] = '\0';
  return n;
}

// Buffered line reader over an open file. Reads the same pieces as qv_gets
// without one system call per byte, and tells a read error from the end of
// the file (the writer must not mistake one for the other).
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // One piece of at most kLineSize - 1 bytes; 0 at the end or on an error.
  int next(char* out) {
    return readPiece(out, kLineSize, [this] { return byte(); });
  }

  // Appends everything not read yet to `out`; false on a read error.
  bool rest(std::string& out) {
    for (;;) {
      out.append(buf_ + pos_, len_ - pos_);
      pos_ = len_;
      if (!fill()) return !failed_;
    }
  }

  bool failed() const { return failed_; }

 private:
  int byte() {
    if (pos_ == len_ && !fill()) return -1;
    return static_cast<unsigned char>(buf_[pos_++]);
  }

  bool fill() {
    pos_ = len_ = 0;
    if (failed_ || eof_) return false;
    for (;;) {
      const ssize_t got = ::read(fd_, buf_, sizeof buf_);
      if (got > 0) {
        len_ = static_cast<size_t>(got);
        return true;
      }
      if (got < 0 && errno == EINTR) continue;
      (got == 0 ? eof_ : failed_) = true;
      return false;
    }
  }

  int fd_;
  char buf_[4096];
  size_t pos_ = 0;
  size_t len_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

// Closes a descriptor when it goes out of scope.
struct FdGuard {
  int fd = -1;
  FdGuard() = default;
  explicit FdGuard(int f) : fd(f) {}
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  ~FdGuard() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens `path` for reading when it is a regular file; -1 otherwise (with
// errno set). A pipe or a device could block or never end, so it counts as a
// file that cannot be read.
int openRegular(const char* path, struct stat* st) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat local;
  if (st == nullptr) st = &local;
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

void removeLineFeed(char* line, int n) {
  if (n > 0 && line[n - 1] == '\n') line[n - 1] = '\0';
}

bool isBlank(char c) { return c == ' '; }

// "[section]" into `out`; false when the name is missing or too long.
bool bracketSection(const char* section, char (&out)[kNameSize]) {
  if (section == nullptr || std::strlen(section) > static_cast<size_t>(iIniMaxSectionLen)) return false;
  std::snprintf(out, sizeof out, "[%s]", section);
  return true;
}

bool keyFits(const char* key) { return std::strlen(key) <= static_cast<size_t>(iIniMaxKeyLen); }

// Copies `text` into the caller's buffer: at most size - 1 bytes, always
// terminated. Returns the length copied, or size when the text was cut.
int32_t copyOut(char* buffer, int32_t size, const char* text) {
  const size_t len = std::strlen(text);
  if (len < static_cast<size_t>(size)) {
    std::memcpy(buffer, text, len + 1);
    return static_cast<int32_t>(len);
  }
  std::memcpy(buffer, text, static_cast<size_t>(size) - 1);
  buffer[size - 1] = '\0';
  return size;
}

// Reads pieces until a non-comment line equals `bracketed` (without regard
// to case). True when found; the reader then stands on the next line.
bool findSection(LineReader& reader, const char* bracketed) {
  char line[kLineSize];
  int n;
  while ((n = reader.next(line)) > 0) {
    removeLineFeed(line, n);
    if (!IsCommentLine(line) && plib_stricmp(line, bracketed) == 0) return true;
  }
  return false;
}

// Lists the non-comment lines of the section the reader stands in.
int32_t listSection(LineReader& reader, char* buffer, int32_t size) {
  char line[kLineSize];
  int32_t left = size - 1;
  int n;
  while ((n = reader.next(line)) > 0) {
    removeLineFeed(line, n);
    if (IsCommentLine(line)) continue;
    if (IsNewSection(line)) break;
    const size_t len = std::strlen(line);
    const int32_t pos = size - 1 - left;
    if (len + 1 > static_cast<size_t>(left)) {
      // The line and the closing terminator do not both fit: keep what
      // does, then the two terminators in the last two bytes.
      if (size < 2) {
        buffer[0] = '\0';
        return size;
      }
      const size_t room = static_cast<size_t>(size - 2 - pos);
      std::memcpy(buffer + pos, line, len < room ? len : room);
      buffer[size - 2] = '\0';
      buffer[size - 1] = '\0';
      return size;
    }
    std::memcpy(buffer + pos, line, len + 1);
    left -= static_cast<int32_t>(len) + 1;
    buffer[pos + static_cast<int32_t>(len) + 1] = '\0';
    if (left <= 1) {
      buffer[size - 2] = '\0';
      buffer[size - 1] = '\0';
      return size;
    }
  }
  return size - left;
}

// ---- writer ----------------------------------------------------------------

// Reads the existing file and builds its new text. False when the file
// cannot be read whole.
bool buildText(int fd, const char* bracketed, const char* key, const char* value, std::string& text) {
  LineReader reader(fd);
  char line[kLineSize];
  int n;

  // Everything up to and including the section header is kept as it is.
  bool found = false;
  while ((n = reader.next(line)) > 0) {
    text.append(line, static_cast<size_t>(n));
    removeLineFeed(line, n);
    if (!IsCommentLine(line) && plib_stricmp(line, bracketed) == 0) {
      found = true;
      break;
    }
  }
  if (reader.failed()) return false;

  // Appended text starts on a line of its own, also after a last line that
  // has no line feed.
  auto endLine = [&text] {
    if (!text.empty() && text.back() != '\n') text += '\n';
  };
  const std::string keyLine = std::string(key) + "=" + value + "\n";

  if (!found) {
    endLine();
    text += bracketed;
    text += '\n';
    text += keyLine;
    return true;
  }

  // In the section: the first line of the key is dropped and the key line
  // takes its place; otherwise the key line goes before the next header.
  std::string heldHeader;
  while ((n = reader.next(line)) > 0) {
    const std::string raw(line, static_cast<size_t>(n));
    removeLineFeed(line, n);
    if (IsCommentLine(line)) {
      text += raw;
      continue;
    }
    if (IsNewSection(line)) {
      heldHeader = raw;
      break;
    }
    // The key is matched as the string reader matches it, blanks around it
    // left out: a line the readers answer for the key is the one replaced.
    if (char* eq = std::strchr(line, '=')) *eq = '\0';
    if (plib_stricmp(BlankStrip(line), key) == 0) break;
    text += raw;
  }
  if (reader.failed()) return false;
  endLine();
  text += keyLine;
  text += heldHeader;
  return reader.rest(text);
}

// The file the writer replaces: `path` itself, or the file a symbolic link
// at `path` leads to (renaming over the link would cut it off from the file
// it names). False for a link that leads nowhere.
bool writeTarget(const char* path, std::string& target) {
  struct stat st;
  if (::lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) {
    target = path;
    return true;
  }
  char* resolved = ::realpath(path, nullptr);
  if (resolved == nullptr) return false;
  target = resolved;
  std::free(resolved);
  return true;
}

bool writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t put = ::write(fd, p, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += put;
    left -= static_cast<size_t>(put);
  }
  return true;
}

// Creates a file of our own beside `target`. An existing file's copy starts
// private and takes the file's mode once it is ours; a new file gets the
// mode any newly created file would (0666 less the umask).
int createTemp(const std::string& target, bool replacing, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = target + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes `text` to a temporary file and renames it over `target`; on any
// failure the temporary file is removed and `target` is left as it was.
bool replaceFile(const std::string& target, const std::string& text, const struct stat* old) {
  std::string tempPath;
  const int fd = createTemp(target, old != nullptr, tempPath);
  if (fd < 0) return false;
  bool ok = true;
  if (old != nullptr) {
    // Ownership can only be kept where we may give it; the mode always is.
    if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
      // the copy stays ours
    }
    ok = ::fchmod(fd, old->st_mode & 07777) == 0;
  }
  ok = ok && writeAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(tempPath.c_str());
  return ok;
}

}  // namespace

int32_t qv_replaceFile(const char* path, const std::string& text) {
  std::string target;
  if (path == nullptr || *path == '\0' || !writeTarget(path, target)) return 0;
  struct stat st;
  if (::stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) return 0;
    return replaceFile(target, text, nullptr) ? 1 : 0;
  }
  return replaceFile(target, text, &st) ? 1 : 0;
}

int qv_gets(char* buffer, int size, int fd) {
  return readPiece(buffer, size, [fd]() -> int {
    unsigned char c;
    for (;;) {
      const ssize_t got = ::read(fd, &c, 1);
      if (got == 1) return c;
      if (got < 0 && errno == EINTR) continue;
      return -1;
    }
  });
}

int IsCommentLine(const char* line) {
  if (line == nullptr) return 0;
  while (isBlank(*line)) ++line;
  return (*line == '\0' || *line == ';') ? 1 : 0;
}

int IsNewSection(const char* line) {
  if (line == nullptr) return 0;
  while (isBlank(*line)) ++line;
  if (*line != '[') return 0;
  return std::strchr(line + 1, ']') != nullptr ? 1 : 0;
}

char* BlankStrip(char* text) {
  if (text == nullptr) return nullptr;
  size_t len = std::strlen(text);
  while (len > 0 && isBlank(text[len - 1])) text[--len] = '\0';
  while (isBlank(*text)) ++text;
  return text;
}

int32_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buffer,
                                int32_t size, const char* path) {
  if (buffer == nullptr || size <= 0) return 0;
  if (def == nullptr) def = "";
  if (section == nullptr) return copyOut(buffer, size, def);

  FdGuard file(openRegular(path, nullptr));
  if (file.fd < 0) return copyOut(buffer, size, def);
  buffer[0] = '\0';
  // A name too long to hold is a name no section or key can have.
  char bracketed[kNameSize];
  const bool named = bracketSection(section, bracketed) && (key == nullptr || keyFits(key));
  LineReader reader(file.fd);
  if (!named || !findSection(reader, bracketed)) return key == nullptr ? 1 : copyOut(buffer, size, def);
  if (key == nullptr) return listSection(reader, buffer, size);

  char line[kLineSize];
  int n;
  while ((n = reader.next(line)) > 0) {
    removeLineFeed(line, n);
    if (IsCommentLine(line)) continue;
    if (IsNewSection(line)) break;
    char* eq = std::strchr(line, '=');
    if (eq == nullptr) continue;
    *eq = '\0';
    if (plib_stricmp(BlankStrip(line), key) == 0) return copyOut(buffer, size, BlankStrip(eq + 1));
  }
  return copyOut(buffer, size, def);
}

int32_t GetPrivateProfileInt(const char* section, const char* key, int32_t def, const char* path) {
  char bracketed[kNameSize];
  if (!bracketSection(section, bracketed) || key == nullptr || !keyFits(key)) return def;
  FdGuard file(openRegular(path, nullptr));
  if (file.fd < 0) return def;
  LineReader reader(file.fd);
  if (!findSection(reader, bracketed)) return def;

  char line[kLineSize];
  int n;
  while ((n = reader.next(line)) > 0) {
    removeLineFeed(line, n);
    if (IsCommentLine(line)) continue;
    if (IsNewSection(line)) break;
    char* eq = std::strchr(line, '=');
    if (eq == nullptr) continue;
    *eq = '\0';
    if (plib_stricmp(line, key) != 0) continue;
    if (eq[1] == '\0') return def;
    // Out-of-range numbers come back as strtol's limits; either way the
    // low 32 bits are the answer.
    const long v = std::strtol(eq + 1, nullptr, 10);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(v)));
  }
  return def;
}

int32_t WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path) {
  char bracketed[kNameSize];
  if (!bracketSection(section, bracketed) || key == nullptr || !keyFits(key) || value == nullptr ||
      path == nullptr || *path == '\0')
    return 0;
  // A line feed in any of them would write lines of its own into the file.
  if (std::strchr(section, '\n') || std::strchr(key, '\n') || std::strchr(value, '\n')) return 0;

  std::string text;
  FdGuard file(openRegular(path, nullptr));
  if (file.fd < 0) {
    // Only a missing file is created; one that is there but cannot be read
    // is left alone.
    if (errno != ENOENT) return 0;
    text = std::string(bracketed) + "\n" + key + "=" + value + "\n";
  } else if (!buildText(file.fd, bracketed, key, value, text)) {
    return 0;
  }
  return qv_replaceFile(path, text);
}
