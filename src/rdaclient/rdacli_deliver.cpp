#include "src/rdaclient/rdacli_deliver.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_fetch.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/tm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_deliver";
constexpr int64_t kWide = sizeof(wchar_t);  // bytes of a wide character
// Scratch room of a value printed as 8-bit text on its way to wide text.
constexpr size_t kPrintRoom = 512;
// The largest array block made.
constexpr uint64_t kMaxArrayBlock = uint64_t{1} << 40;

const RDA_CliValueData& valueOf(const void* data) { return *static_cast<const RDA_CliValueData*>(data); }

void setInd(RDA_CliBind* bind, int64_t value) {
  if (bind->ind != nullptr) *bind->ind = value;
}

void truncated(RDA_CliHSTMT* stmt) { RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_TRUNCATED, 0, nullptr, stmt->tree); }

void refused(RDA_CliHSTMT* stmt, uint32_t row) { RDA_cliAddError(&stmt->errors, row, 0, nullptr, stmt->tree); }

// Bytes the buffer offers: none without a buffer.
int64_t roomOf(const RDA_CliBind* bind) { return bind->buffer != nullptr && bind->bufLen > 0 ? bind->bufLen : 0; }

uint32_t restOf(uint32_t length, uint32_t pos) { return pos < length ? length - pos : 0; }

// Writes one wide character at unit `i` of a buffer that need not be
// aligned.
void putWide(void* buffer, size_t i, wchar_t c) {
  std::memcpy(static_cast<char*>(buffer) + i * sizeof(wchar_t), &c, sizeof c);
}

// ---------------------------------------------------------------------------
// Binary values over their parts

// The whole length of the current binary value: as the fetch measured it
// over its parts, or the one part's.
uint64_t binaryTotal(const RDA_CliCol* col, const void* data) {
  if (col->totalLen == 0 && col->extraParts == 0 && col->partsTaken == 0) return valueOf(data).bits.count;
  return col->totalLen;
}

// Hands `want` bytes of the current binary value, from the read position
// on, to `sink`, taking its further parts in turn; the bytes handed. The
// value ends where its parts end.
template <class Sink>
uint64_t readParts(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data, uint64_t want,
                   Sink sink) {
  const BitStgV* part = &valueOf(data).bits;
  uint64_t done = 0;
  while (done < want) {
    const uint32_t avail = restOf(part->count, col->pos);
    if (avail == 0) {
      if (rda_cliFetchNextPartOfColumnValue(stmt, bind, col) != RDA_CLI_SUCCESS ||
          col->curType != RDA_CLI_SQL_VARBINARY)
        break;
      part = &valueOf(col->curValue).bits;
      continue;
    }
    const auto n = static_cast<uint32_t>(want - done < avail ? want - done : avail);
    sink(part->octets + col->pos, n);
    col->pos += n;
    col->deliveredLen += n;
    done += n;
  }
  return done;
}

constexpr char kHex[] = "0123456789abcdef";

// The bytes the default conversion of an SQL type of fixed size writes;
// 0 for the others.
int64_t fixedSizeOf(int16_t sqlType) {
  switch (sqlType) {
    case RDA_CLI_SQL_INTEGER:
    case RDA_CLI_SQL_REAL:
      return 4;
    case RDA_CLI_SQL_SMALLINT:
      return 2;
    case RDA_CLI_SQL_BIT:
    case RDA_CLI_SQL_TINYINT:
      return 1;
    case RDA_CLI_SQL_FLOAT:
    case RDA_CLI_SQL_DOUBLE:
      return 8;
    case RDA_CLI_SQL_DATE:
    case RDA_CLI_SQL_TIME:
      return 6;
    case RDA_CLI_SQL_TIMESTAMP:
      return 16;
    default:
      return 0;
  }
}

// True when the diagnostics added since `before` hold one other than a
// truncation.
bool failedSince(const RDA_CliErrorList& list, uint32_t before) {
  uint32_t n = list.count > before ? list.count - before : 0;
  for (const RDA_CliErrLink* l = list.ring.prev; n > 0 && l != &list.ring; l = l->prev, --n)
    if (std::wcsncmp(static_cast<const RDA_CliError*>(l)->sqlState, L"01004", 5) != 0) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Text

void getChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const RDA_CliText& t = valueOf(data).text;
  const uint32_t rest = restOf(t.length, col->pos);
  setInd(bind, rest);
  const int64_t room = roomOf(bind);
  if (room <= rest) {
    truncated(stmt);
    if (room == 0) return;  // no room even for the NUL
  }
  const uint32_t n = room <= rest ? static_cast<uint32_t>(room - 1) : rest;
  auto* out = static_cast<char*>(bind->buffer);
  std::memcpy(out, t.text + col->pos, n);
  out[n] = '\0';
  col->pos += n;
}

void getWChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const RDA_CliWText& w = valueOf(data).wtext;
  const uint32_t rest = restOf(w.length, col->pos);
  setInd(bind, int64_t{rest} * kWide);
  const int64_t capacity = roomOf(bind) / kWide;
  if (capacity <= rest) {
    truncated(stmt);
    if (capacity == 0) return;
  }
  const uint32_t n = capacity <= rest ? static_cast<uint32_t>(capacity - 1) : rest;
  std::memcpy(bind->buffer, w.text + col->pos, size_t{n} * sizeof(wchar_t));
  putWide(bind->buffer, n, L'\0');
  col->pos += n;
}

void cvrtWCharToChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const RDA_CliWText& w = valueOf(data).wtext;
  const uint32_t from = col->pos < w.length ? col->pos : w.length;
  char one[MB_LEN_MAX];
  // The rest's length in the locale's multibyte form, measured first.
  std::mbstate_t state{};
  uint64_t bytes = 0;
  bool convertible = true;
  for (uint32_t i = from; i < w.length; ++i) {
    const size_t k = std::wcrtomb(one, w.text[i], &state);
    if (k == static_cast<size_t>(-1)) {
      convertible = false;
      break;
    }
    bytes += k;
  }
  const int64_t room = roomOf(bind);
  auto* out = static_cast<char*>(bind->buffer);
  if (!convertible) {
    // Characters the locale cannot write: a question mark stands for the
    // rest of the value.
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** cvrtWCharToChar: column %d cannot be converted in this locale\n",
             static_cast<int>(col->colNum));
    setInd(bind, 4);
    col->pos = w.length;
    if (room <= 1) {
      truncated(stmt);
      if (room == 1) out[0] = '\0';
      return;
    }
    out[0] = '?';
    out[1] = '\0';
    return;
  }
  setInd(bind, static_cast<int64_t>(bytes));
  const bool cut = static_cast<uint64_t>(room) <= bytes;
  if (cut) {
    truncated(stmt);
    if (room == 0) return;
  }
  // Whole characters while they fit before the NUL.
  const uint64_t limit = cut ? static_cast<uint64_t>(room - 1) : bytes;
  state = std::mbstate_t{};
  uint64_t at = 0;
  uint32_t i = from;
  for (; i < w.length; ++i) {
    const size_t k = std::wcrtomb(one, w.text[i], &state);
    if (at + k > limit) break;
    std::memcpy(out + at, one, k);
    at += k;
  }
  out[at] = '\0';
  col->pos = i;
}

void cvrtCharToWChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const RDA_CliText& t = valueOf(data).text;
  if (col->pos >= t.length) {
    setInd(bind, 0);
    return;
  }
  const uint32_t rest = t.length - col->pos;
  setInd(bind, int64_t{rest} * kWide);
  const int64_t capacity = roomOf(bind) / kWide;
  if (capacity == 0) {
    truncated(stmt);
    return;
  }
  // Character by character through the locale; a byte it does not take
  // stands for the character of the same value (Latin-1).
  const auto* s = reinterpret_cast<const char*>(t.text) + col->pos;
  uint32_t left = rest;
  std::mbstate_t state{};
  int64_t chars = 0;
  bool cut = false;
  while (left > 0) {
    wchar_t c = 0;
    size_t k = std::mbrtowc(&c, s, left, &state);
    if (k == static_cast<size_t>(-1) || k == static_cast<size_t>(-2)) {
      c = static_cast<wchar_t>(static_cast<unsigned char>(*s));
      k = 1;
      state = std::mbstate_t{};
    } else if (k == 0) {
      k = 1;  // a NUL within the text
    }
    if (chars == capacity - 1) {
      cut = true;  // no room for this character and the NUL
      break;
    }
    putWide(bind->buffer, static_cast<size_t>(chars++), c);
    s += k;
    left -= static_cast<uint32_t>(k);
  }
  putWide(bind->buffer, static_cast<size_t>(chars), L'\0');
  if (cut) {
    truncated(stmt);
    col->pos = t.length - left;
    return;
  }
  col->pos = t.length;
  setInd(bind, chars * kWide);
}

void cvrtXToWChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data, RdaCliCvrtFn printer) {
  char printed[kPrintRoom];
  int64_t length = -1;
  RDA_CliBind text{RDA_CLI_C_CHAR, printed, static_cast<int64_t>(sizeof printed), &length};
  // The wide reader keeps its own position in the printed text.
  const uint32_t cutRead = col->flags & RDA_CLI_COL_CUT_READ;
  printed[0] = '\0';
  printer(stmt, &text, col, data);
  col->flags = (col->flags & ~RDA_CLI_COL_CUT_READ) | cutRead;
  if (length < 0) return;  // nothing printed: the printer said why
  RDA_CliValueData value{};
  const size_t n = strnlen(printed, sizeof printed - 1);
  value.text = RDA_CliText{static_cast<uint32_t>(static_cast<uint64_t>(length) < n ? static_cast<uint64_t>(length) : n),
                           reinterpret_cast<uint8_t*>(printed)};
  cvrtCharToWChar(stmt, bind, col, &value);
}

void cvrtNumToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { cvrtXToWChar(s, b, c, d, cvrtNumToChar); }
void cvrtIntToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { cvrtXToWChar(s, b, c, d, cvrtIntToChar); }
void cvrtSmallIntToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) {
  cvrtXToWChar(s, b, c, d, cvrtSmallIntToChar);
}
void cvrtDblToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { cvrtXToWChar(s, b, c, d, cvrtDblToChar); }
void cvrtDateToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { cvrtXToWChar(s, b, c, d, cvrtDateToX); }
void cvrtTimeToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { cvrtXToWChar(s, b, c, d, cvrtTimeToX); }
void cvrtTsToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { cvrtXToWChar(s, b, c, d, cvrtTsToX); }
void cvrtBitToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { cvrtXToWChar(s, b, c, d, cvrtBitToChar); }
void cvrtTinyintToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) {
  cvrtXToWChar(s, b, c, d, cvrtTinyintToChar);
}

// ---------------------------------------------------------------------------
// Binary

void cvrtBin2Hex(char* text, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    text[2 * i] = kHex[bytes[i] >> 4];
    text[2 * i + 1] = kHex[bytes[i] & 0x0F];
  }
  text[2 * n] = '\0';
}

void cvrtBin2WHex(wchar_t* text, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    putWide(text, 2 * i, static_cast<wchar_t>(kHex[bytes[i] >> 4]));
    putWide(text, 2 * i + 1, static_cast<wchar_t>(kHex[bytes[i] & 0x0F]));
  }
  putWide(text, 2 * n, L'\0');
}

void getLongVarBinary(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const uint64_t total = binaryTotal(col, data);
  const uint64_t rest = total > col->deliveredLen ? total - col->deliveredLen : 0;
  setInd(bind, static_cast<int64_t>(rest));
  const auto room = static_cast<uint64_t>(roomOf(bind));
  uint64_t want = rest;
  if (room < rest) {
    truncated(stmt);
    want = room;
  }
  auto* out = static_cast<uint8_t*>(bind->buffer);
  uint64_t at = 0;
  readParts(stmt, bind, col, data, want, [&](const uint8_t* bytes, uint32_t n) {
    std::memcpy(out + at, bytes, n);
    at += n;
  });
}

void cvrtLongVB2Char(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const uint64_t total = binaryTotal(col, data);
  const uint64_t rest = total > col->deliveredLen ? total - col->deliveredLen : 0;
  setInd(bind, static_cast<int64_t>(rest * 2));
  const int64_t room = roomOf(bind);
  if (room == 0) {
    truncated(stmt);
    return;
  }
  uint64_t want = rest;
  if (static_cast<uint64_t>(room - 1) < rest * 2) {
    truncated(stmt);
    want = static_cast<uint64_t>(room - 1) / 2;
  }
  auto* out = static_cast<char*>(bind->buffer);
  uint64_t at = 0;
  out[0] = '\0';
  readParts(stmt, bind, col, data, want, [&](const uint8_t* bytes, uint32_t n) {
    cvrtBin2Hex(out + at, bytes, n);
    at += uint64_t{n} * 2;
  });
}

void cvrtLongVB2WChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const uint64_t total = binaryTotal(col, data);
  const uint64_t rest = total > col->deliveredLen ? total - col->deliveredLen : 0;
  setInd(bind, static_cast<int64_t>(rest * 2 * kWide));
  const int64_t room = roomOf(bind);
  if (room < kWide) {
    truncated(stmt);
    return;
  }
  uint64_t want = rest;
  if (static_cast<uint64_t>(room - kWide) < rest * 2 * kWide) {
    truncated(stmt);
    want = static_cast<uint64_t>(room - kWide) / (2 * kWide);
  }
  auto* out = static_cast<wchar_t*>(bind->buffer);
  uint64_t at = 0;
  putWide(out, 0, L'\0');
  readParts(stmt, bind, col, data, want, [&](const uint8_t* bytes, uint32_t n) {
    cvrtBin2WHex(reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(out) + at * sizeof(wchar_t)), bytes, n);
    at += uint64_t{n} * 2;
  });
}

// ---------------------------------------------------------------------------
// Variants and arrays

void getVariant(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const int16_t own = col->curType;
  const int32_t row = own + 12;
  const int32_t defaultColumn = getCTypeIndex(RDA_CLI_C_DEFAULT);
  RdaCliCvrtFn cell = row >= 0 && row < kRdaCliCvrtRows && own != RDA_CLI_SQL_VARIANT
                          ? fSqlType2CTypeFunc[row][defaultColumn]
                          : nullptr;
  if (cell == nullptr) {
    refused(stmt, RDA_CLI_ROW_PROGRAM_TYPE);
    return;
  }
  // The item type, then the whole value: nothing unless both have room.
  int64_t need = 0;
  const RDA_CliValueData& v = valueOf(data);
  switch (own) {
    case RDA_CLI_SQL_CHAR:
    case RDA_CLI_SQL_VARCHAR:
    case RDA_CLI_SQL_LONGVARCHAR:
      need = int64_t{restOf(v.text.length, col->pos)} + 1;
      break;
    case RDA_CLI_SQL_WCHAR:
    case RDA_CLI_SQL_WVARCHAR:
    case RDA_CLI_SQL_WLONGVARCHAR:
      need = (int64_t{restOf(v.wtext.length, col->pos)} + 1) * kWide;
      break;
    case RDA_CLI_SQL_BINARY:
    case RDA_CLI_SQL_VARBINARY:
    case RDA_CLI_SQL_LONGVARBINARY: {
      const uint64_t total = binaryTotal(col, data);
      need = static_cast<int64_t>(total > col->deliveredLen ? total - col->deliveredLen : 0);
      break;
    }
    case RDA_CLI_SQL_NUMERIC:
    case RDA_CLI_SQL_DECIMAL: {
      // The decimal text's length, from a conversion that is given no
      // buffer (and so reads nothing of the value); one that fails has
      // said why.
      int64_t length = -1;
      RDA_CliBind probe{RDA_CLI_C_DEFAULT, nullptr, 0, &length};
      const uint32_t before = stmt->errors.count;
      const uint32_t cutRead = col->flags & RDA_CLI_COL_CUT_READ;
      cell(stmt, &probe, col, data);
      col->flags = (col->flags & ~RDA_CLI_COL_CUT_READ) | cutRead;
      if (stmt->errors.count != before || length < 0) return;
      need = length + 1;
      break;
    }
    default:
      need = fixedSizeOf(own);
      break;
  }
  const int64_t room = roomOf(bind);
  if (room < 8 + need) {
    truncated(stmt);
    setInd(bind, 8 + need);
    return;
  }
  const int64_t itemType = getSQLTypeToVariantItem(own);
  std::memcpy(bind->buffer, &itemType, sizeof itemType);
  int64_t valueInd = 0;
  RDA_CliBind value{RDA_CLI_C_DEFAULT, static_cast<char*>(bind->buffer) + 8, room - 8, &valueInd};
  cell(stmt, &value, col, data);
  setInd(bind, bind->bufLen);
}

void getArray(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  // Each element's C type and the room it is given, by the column's type.
  int16_t cType = RDA_CLI_C_CHAR;
  uint64_t size = 0;
  switch (col->sqlType) {
    case RDA_CLI_SQL_CHAR:
    case RDA_CLI_SQL_VARCHAR:
      size = uint64_t{col->colSize} + 1;
      break;
    case RDA_CLI_SQL_NUMERIC:
    case RDA_CLI_SQL_DECIMAL:
      size = 33;
      break;
    case RDA_CLI_SQL_INTEGER:
      cType = RDA_CLI_C_LONG, size = 4;
      break;
    case RDA_CLI_SQL_SMALLINT:
      cType = RDA_CLI_C_SHORT, size = 2;
      break;
    case RDA_CLI_SQL_FLOAT:
    case RDA_CLI_SQL_DOUBLE:
      cType = RDA_CLI_C_DOUBLE, size = 8;
      break;
    case RDA_CLI_SQL_REAL:
      cType = RDA_CLI_C_FLOAT, size = 4;
      break;
    case RDA_CLI_SQL_DATE:
      cType = RDA_CLI_C_DATE, size = 6;
      break;
    case RDA_CLI_SQL_TIME:
      cType = RDA_CLI_C_TIME, size = 6;
      break;
    case RDA_CLI_SQL_TIMESTAMP:
      cType = RDA_CLI_C_TIMESTAMP, size = 16;
      break;
    case RDA_CLI_SQL_VARIANT:
      cType = RDA_CLI_C_DEFAULT, size = uint64_t{col->colSize} + 1;
      break;
    case RDA_CLI_SQL_WCHAR:
    case RDA_CLI_SQL_WVARCHAR:
      cType = RDA_CLI_C_WCHAR, size = (uint64_t{col->colSize} + 1) * sizeof(wchar_t);
      break;
    default:
      refused(stmt, RDA_CLI_ROW_PROGRAM_TYPE);
      return;
  }
  // A 32-bit count, a pointer per element from byte 4 on, the elements'
  // data from byte (count + 1) x 8 on.
  const uint32_t count = static_cast<uint16_t>(valueOf(data).integer);
  const uint64_t dataAt = (uint64_t{count} + 1) * 8;
  const uint64_t blockSize = dataAt + uint64_t{count} * size;
  auto* block = blockSize <= kMaxArrayBlock ? static_cast<uint8_t*>(std::calloc(1, blockSize)) : nullptr;
  if (block == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** getArray: can't allocate %llu bytes for column %d\n",
             static_cast<unsigned long long>(blockSize), static_cast<int>(col->colNum));
    refused(stmt, RDA_CLI_ROW_NO_MEMORY);
    return;
  }
  std::memcpy(block, &count, sizeof count);
  uint64_t at = dataAt;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* element = nullptr;
    if (rda_cliFetchNextPartOfColumnValue(stmt, bind, col) == RDA_CLI_SUCCESS) {
      uint8_t* slot = block + at;
      int64_t elementInd = 0;
      RDA_CliBind into{cType, slot, static_cast<int64_t>(size), &elementInd};
      const uint32_t before = stmt->errors.count;
      RDA_cliCvrtSQLToCol(stmt, &into, col, col->curValue);
      if (!failedSince(stmt->errors, before)) {
        element = slot;
        // The next element starts after what this one used of its room.
        uint64_t used = size;
        if (cType == RDA_CLI_C_CHAR) {
          used = strnlen(reinterpret_cast<const char*>(slot), size) + 1;
        } else if (cType == RDA_CLI_C_WCHAR) {
          used = (wcsnlen(reinterpret_cast<const wchar_t*>(slot), size / sizeof(wchar_t)) + 1) * sizeof(wchar_t);
        }
        at += used < size ? used : size;
      }
    }
    std::memcpy(block + 4 + uint64_t{i} * 8, &element, sizeof element);
  }
  if (bind->buffer == nullptr) {
    std::free(block);
  } else {
    std::memcpy(bind->buffer, &block, sizeof block);
  }
  setInd(bind, sizeof block);
}
