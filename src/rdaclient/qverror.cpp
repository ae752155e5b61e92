#include "src/rdaclient/qverror.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/qvunicode.h"

namespace {

constexpr int32_t kNameSize = 6;
constexpr int32_t kCountSize = 5;
constexpr int32_t kOffsetSize = 10;
constexpr int32_t kMessageLenSize = 5;
constexpr int32_t kMaxKey = 5;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// One reading of one section; fail() traces its reason.
class Reading {
 public:
  Reading(FILE* f, const QvErrorFileReader& r) : f_(f), r_(r) {}

  bool fail(const char* text) {
    r_.trace(r_.ctx, true, text);
    return false;
  }
  bool read(void* out, size_t n) { return n == 0 || std::fread(out, 1, n, f_) == n; }
  // A decimal field of `width` octets; false when the file ends first.
  bool number(int32_t width, int64_t* value) {
    char text[kOffsetSize + 1] = "";
    if (!read(text, static_cast<size_t>(width))) return false;
    text[width] = '\0';
    *value = std::strtoll(text, nullptr, 10);
    return true;
  }
  bool seek(int64_t offset, int whence) { return fseeko(f_, static_cast<off_t>(offset), whence) == 0; }

  bool header(QvErrorFileHeader* h) {
    uint8_t head[2];
    if (!read(head, sizeof head)) return fail("Error reading header data from binary file.");
    h->first = head[0];
    h->sectionCount = static_cast<int8_t>(head[1]);
    return true;
  }

  // Finds the section and reads its count and offset.
  bool section(const QvErrorFileHeader& h, QvErrorSection* s) {
    const char* noSection = "Desired error section not found in binary file.";
    for (int32_t i = 0;; ++i) {
      if (i >= h.sectionCount) return fail(noSection);
      if (i > 0 && !seek(kCountSize + kOffsetSize, SEEK_CUR)) return fail("Error advancing file pointer in binary file.");
      char name[kNameSize];
      if (!read(name, sizeof name)) return fail("Error reading section header data from binary file.");
      if (std::memchr(name, '\0', sizeof name) != nullptr && std::strcmp(name, r_.section) == 0) {
        std::memcpy(s->name, name, sizeof name);
        break;
      }
    }
    int64_t count = 0;
    if (!number(kCountSize, &count)) return fail("Error reading section header data from binary file.");
    if (count == 0) return fail("Error determining number of errors.");
    if (count < r_.rows) return fail("Error in binary file, not enough error messages.");
    s->count = static_cast<int32_t>(count);
    int64_t offset = 0;
    if (!number(kOffsetSize, &offset)) return fail("Error reading section header data from binary file.");
    if (offset <= 0) return fail("Error determining section offset.");
    s->offset = offset;
    if (!seek(offset, SEEK_SET)) return fail("Error advancing file pointer in binary file.");
    return true;
  }

  bool row(int32_t index, QvErrorRow* row) {
    int8_t keyLen = 0;
    if (!read(&keyLen, 1)) return fail("Error reading key length from binary file.");
    // The table holds five characters and a terminator: a longer key (or
    // none) is a file this reader does not understand.
    if (keyLen < 1 || keyLen > kMaxKey) {
      char text[96];
      std::snprintf(text, sizeof text, "Invalid key length %d of message %d in binary file.", keyLen, index);
      return fail(text);
    }
    char key[kMaxKey];
    if (!read(key, static_cast<size_t>(keyLen))) return fail("Error reading key from binary file.");
    const int32_t keyChars = utf8towcs(key, keyLen, row->sqlState, kQvSqlStateSize - 1);
    if (keyChars <= 0) return fail("utf8towcs conversion of key from binary error file failed.");
    row->sqlState[keyChars] = L'\0';

    int64_t length = 0;
    if (!number(kMessageLenSize, &length)) return fail("Error reading message length from binary file.");
    if (length <= 0) return fail("Error determining message length.");
    const int64_t kept = length > kQvMessageMax ? kQvMessageMax : length;
    if (length > kQvMessageMax) {
      char text[96];
      std::snprintf(text, sizeof text, "Message %d was too long and has been truncated to %d characters.", index,
                    kQvMessageMax);
      r_.trace(r_.ctx, false, text);
    }
    if (!read(buffer_, static_cast<size_t>(kept))) return fail("Error reading message from binary file.");
    // A message cut at the limit may end inside a character: the converter
    // stops before it.
    const int32_t chars = utf8towcs(buffer_, static_cast<int32_t>(kept), row->message, kQvMessageMax);
    if (chars <= 0) return fail("utf8towcs conversion of error message from binary error file failed.");
    row->message[chars] = L'\0';
    if (length > kept && !seek(length - kept, SEEK_CUR)) return fail("Error advancing file pointer in binary file.");
    return true;
  }

 private:
  FILE* f_;
  const QvErrorFileReader& r_;
  char buffer_[kQvMessageMax];
};

}  // namespace

QvErrorFileResult qvReadErrorFile(const char* path, const QvErrorFileReader& reader, QvErrorFileHeader* header,
                                  QvErrorSection* section, QvErrorRow** table) {
  *table = nullptr;
  if (path == nullptr || reader.section == nullptr || reader.rows < 1) return QvErrorFileResult::Failed;
  File f(std::fopen(path, "rb"));
  if (!f) return QvErrorFileResult::Missing;
  Reading reading(f.get(), reader);
  if (!reading.header(header) || !reading.section(*header, section)) return QvErrorFileResult::Failed;
  QvErrorRow* rows = reader.allocRows(reader.ctx, reader.rows);
  if (rows == nullptr) {
    reading.fail("Error allocating memory for error message array.");
    return QvErrorFileResult::Failed;
  }
  for (int32_t i = 0; i < reader.rows; ++i) {
    if (!reading.row(i, &rows[i])) {
      reader.freeRows(reader.ctx, rows);
      return QvErrorFileResult::Failed;
    }
  }
  *table = rows;
  return QvErrorFileResult::Loaded;
}
