// The replaceable message file qverror.bin: SQLSTATE tables by section
// ("RDAC" for the RDA client, "ODBC" for the ODBC layer).
//
// Layout (numbers are ASCII decimal text of the stated width, each parsed
// within its width; leading zeros or blanks allowed):
//   0        1   not interpreted
//   1        1   section count n, a signed byte
//   2+21i    6   name of section i, NUL-padded (must hold a NUL)
//   8+21i    5   message count of section i
//   13+21i  10   absolute offset of section i's first message record
// A section's records follow one another from its offset, record r giving
// row r: key length k (a signed byte, 1-5), the SQLSTATE in k octets of
// UTF-8, the message length m (5 digits, not 0) and m octets of UTF-8.
//
// The reader is shared by the readers of both sections: what differs
// between them (section, rows, where the table comes from, how messages are
// traced) is passed in a QvErrorFileReader.
#pragma once

#include <cstdint>
#include <cwchar>

inline constexpr int32_t kQvSqlStateSize = 6;    // five characters and a terminator
inline constexpr int32_t kQvMessageMax = 2048;   // characters of a message
inline constexpr int32_t kQvMessageSize = kQvMessageMax + 1;

// One row of a SQLSTATE table.
struct QvErrorRow {
  wchar_t sqlState[kQvSqlStateSize];
  wchar_t message[kQvMessageSize];
};

// What the reader found at the head of the file.
struct QvErrorFileHeader {
  uint8_t first;         // octet 0, not interpreted
  int8_t sectionCount;
};
// The section that was read.
struct QvErrorSection {
  char name[kQvSqlStateSize];
  int32_t count;   // messages the file holds
  int64_t offset;  // of the first record
};

struct QvErrorFileReader {
  const char* section;  // wanted section name
  int32_t rows;         // rows the table indexes: fewer refuse the file, more are not read
  // The table of `rows` rows; NULL when memory is short.
  QvErrorRow* (*allocRows)(void* ctx, int32_t rows);
  void (*freeRows)(void* ctx, QvErrorRow* table);
  // One message of the reader (no newline); `error` for a failure.
  void (*trace)(void* ctx, bool error, const char* text);
  void* ctx;
};

enum class QvErrorFileResult { Loaded, Missing, Failed };

// Reads `reader.section` of the file at `path`. Loaded: `*table` holds the
// rows, `*header` and `*section` what was found. Missing: no such file.
// Failed: the reason was traced, and no table is left.
QvErrorFileResult qvReadErrorFile(const char* path, const QvErrorFileReader& reader, QvErrorFileHeader* header,
                                  QvErrorSection* section, QvErrorRow** table);
