// The texts an application hands the ODBC exports: its wide text in UTF-16
// (as unixODBC passes it) turned into the library's 4-byte form and back
// into buffers of every size, and its 8-bit text widened through the locale
// (or byte by byte) and narrowed again into a buffer of the caller's size.
// Written back, a text must never leave its buffer, must end with a
// terminator, and must keep every surrogate pair whole.
//
// Input: octet 0 picks the output buffer size (0-255 units); octet 1 the
// locale (even: C.UTF-8, odd: C); the rest is the text, read as UTF-16
// units and as 8-bit text.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/qvunicode.h"
#include "src/odbc/odbcwide.h"

namespace {

constexpr uint16_t kGuard = 0xBEEF;

void checkUtf16(const wchar_t* text, int64_t chars, size_t units) {
  std::vector<uint16_t> buf(units + 2, kGuard);
  const WideOut w = QvPutAppWide(text, chars, buf.data() + 1, static_cast<int64_t>(units));
  if (buf[0] != kGuard || buf[units + 1] != kGuard) std::abort();
  if (units == 0) return;
  size_t n = 0;
  while (n < units && buf[1 + n] != 0) ++n;
  if (n == units) std::abort();  // no terminator
  // A whole text ends at its length (a counted text may hold NULs).
  if (!w.truncated && (w.units >= static_cast<int64_t>(units) || buf[1 + w.units] != 0)) std::abort();
  // What was written reads back as the start of the text: no pair was cut.
  std::vector<wchar_t> back(n + 1, 0);
  const int32_t got = n > 0 ? utf16towcs(buf.data() + 1, static_cast<int32_t>(n), back.data(), static_cast<int32_t>(n + 1)) : 0;
  for (int32_t i = 0; i < got; ++i) {
    const wchar_t c = text[i] < 0 || text[i] > 0x10FFFF ? 0xFFFD : text[i];
    if (back[i] != c) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t outUnits = data[0];
  std::setlocale(LC_ALL, (data[1] & 1) != 0 ? "C" : "C.UTF-8");
  const uint8_t* text = data + 2;
  const size_t length = size - 2;

  // UTF-16 in: counted, and terminated.
  QvSetWideUnitForTest(2);
  std::vector<uint16_t> units(length / 2 + 1, 0);
  std::memcpy(units.data(), text, length / 2 * 2);
  {
    WideIn counted(units.data(), static_cast<int64_t>(length / 2));
    if (counted.failed()) std::abort();
    checkUtf16(counted.text(), counted.length(), outUnits);
    WideIn terminated(units.data(), -3);
    checkUtf16(terminated.text(), -3, outUnits);
  }

  // 8-bit text in, narrowed back into the caller's buffer.
  wchar_t* wide = QvMbsToWcs(reinterpret_cast<const char*>(text), static_cast<int64_t>(length));
  if (wide == nullptr) std::abort();
  std::vector<char> narrow(outUnits + 2, '#');
  QvNarrowText(wide, -3, narrow.data() + 1, static_cast<int32_t>(outUnits));
  if (narrow[0] != '#' || narrow[outUnits + 1] != '#') std::abort();
  if (outUnits > 0 && std::memchr(narrow.data() + 1, '\0', outUnits) == nullptr) std::abort();
  checkUtf16(wide, -3, outUnits);
  QvReleaseWstr(wide);
  QvSetWideUnitForTest(0);
  return 0;
}
