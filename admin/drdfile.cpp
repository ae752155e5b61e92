#include "admin/drdfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/qvstring.h"
#include "src/runtime/inifile.h"

namespace {

constexpr size_t npos = static_cast<size_t>(-1);
// Longest line the ini reader takes whole.
constexpr size_t kMaxLine = 1023;

using Lines = std::vector<std::string>;  // each line with its line feed, if it has one

std::string text(const std::string& line) {
  return (!line.empty() && line.back() == '\n') ? line.substr(0, line.size() - 1) : line;
}

bool isComment(const std::string& line) { return IsCommentLine(text(line).c_str()) != 0; }

bool isHeader(const std::string& line) {
  const std::string t = text(line);
  return IsCommentLine(t.c_str()) == 0 && IsNewSection(t.c_str()) != 0;
}

void endLine(std::string& line) {
  if (line.empty() || line.back() != '\n') line += '\n';
}

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool validName(const std::string& name) {
  return name.size() <= static_cast<size_t>(iIniMaxSectionLen) && !hasLineBreak(name) &&
         name.find_first_of("[]") == std::string::npos;
}

size_t findSection(const Lines& lines, const std::string& name) {
  if (!validName(name)) return npos;
  const std::string bracketed = "[" + name + "]";
  for (size_t i = 0; i < lines.size(); ++i)
    if (!isComment(lines[i]) && plib_stricmp(text(lines[i]).c_str(), bracketed.c_str()) == 0) return i;
  return npos;
}

size_t sectionEnd(const Lines& lines, size_t header) {
  size_t j = header + 1;
  while (j < lines.size() && !isHeader(lines[j])) ++j;
  return j;
}

bool isKeyLine(const std::string& line, const char* key) {
  if (isComment(line)) return false;
  std::string t = text(line);
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  t.resize(eq);
  return plib_stricmp(BlankStrip(t.data()), key) == 0;
}

// Drops the lines of `keys` from the section at `header`, and the header
// when no key line is left.
void removeKeys(Lines& lines, size_t header, const std::vector<const char*>& keys) {
  for (size_t j = sectionEnd(lines, header); j-- > header + 1;) {
    for (const char* key : keys) {
      if (isKeyLine(lines[j], key)) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(j));
        break;
      }
    }
  }
  const size_t end = sectionEnd(lines, header);
  for (size_t j = header + 1; j < end; ++j)
    if (!isComment(lines[j])) return;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header));
}

void writeKeys(Lines& lines, size_t header, const std::vector<DrdKeyValue>& keys) {
  for (const DrdKeyValue& kv : keys) {
    const std::string keyLine = std::string(kv.key) + "=" + kv.value + "\n";
    const size_t end = sectionEnd(lines, header);
    size_t insertAt = header + 1;
    bool replaced = false;
    for (size_t j = header + 1; j < end && !replaced; ++j) {
      if (isKeyLine(lines[j], kv.key)) {
        lines[j] = keyLine;
        replaced = true;
      } else if (!isComment(lines[j])) {
        insertAt = j + 1;
      }
    }
    if (replaced) continue;
    endLine(lines[insertAt - 1]);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), keyLine);
  }
}

// Reads the file into lines. A missing file reads as empty; false when it
// is there but cannot be read whole, or is not a regular file.
bool readLines(const std::string& path, Lines& lines) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT;
  std::string all;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char buf[4096];
  while (ok) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got > 0) {
      all.append(buf, static_cast<size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      ok = false;
    }
  }
  ::close(fd);
  if (!ok) return false;
  for (size_t pos = 0; pos < all.size();) {
    const size_t nl = all.find('\n', pos);
    const size_t next = nl == std::string::npos ? all.size() : nl + 1;
    lines.push_back(all.substr(pos, next - pos));
    pos = next;
  }
  return true;
}

// Reads the file, lets `edit` change its lines, and writes it back when the
// edit asks for it.
template <class Edit>
bool editFile(const std::string& path, Edit&& edit) {
  if (path.empty()) return false;
  Lines lines;
  if (!readLines(path, lines)) return false;
  if (!edit(lines)) return true;
  std::string data;
  for (const std::string& line : lines) data += line;
  return qv_replaceFile(path.c_str(), data) != 0;
}

}  // namespace

bool drdWriteSection(const std::string& path, const std::string* oldName, const std::string& newName,
                     const std::vector<DrdKeyValue>& keys) {
  if (!validName(newName)) return false;
  for (const DrdKeyValue& kv : keys)
    if (hasLineBreak(kv.value) || std::strlen(kv.key) + 1 + kv.value.size() > kMaxLine) return false;

  std::vector<const char*> names;
  for (const DrdKeyValue& kv : keys) names.push_back(kv.key);
  return editFile(path, [&](Lines& lines) {
    const bool sameSection = oldName != nullptr && plib_stricmp(oldName->c_str(), newName.c_str()) == 0;
    if (oldName != nullptr) {
      const size_t old = findSection(lines, *oldName);
      if (old != npos && sameSection) {
        lines[old] = "[" + newName + "]" + (lines[old].back() == '\n' ? "\n" : "");
      } else if (old != npos) {
        removeKeys(lines, old, names);
      }
    }
    const size_t header = findSection(lines, newName);
    if (header != npos) {
      writeKeys(lines, header, keys);
      return true;
    }
    if (!lines.empty()) endLine(lines.back());
    lines.push_back("[" + newName + "]\n");
    for (const DrdKeyValue& kv : keys) lines.push_back(std::string(kv.key) + "=" + kv.value + "\n");
    return true;
  });
}

bool drdRemoveKeys(const std::string& path, const std::string& name, const std::vector<const char*>& keys) {
  return editFile(path, [&](Lines& lines) {
    const size_t header = findSection(lines, name);
    if (header == npos) return false;
    removeKeys(lines, header, keys);
    return true;
  });
}
