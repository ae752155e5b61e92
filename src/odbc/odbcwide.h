// Text at the application boundary of the ODBC layer.
//
// Inside the library wide text is 4-byte wchar_t. Which form an application's
// wide buffers have depends on who loaded the library: unixODBC's driver
// manager hands its drivers 2-byte (UTF-16) SQLWCHARs, iODBC and the JNI
// natives 4-byte ones. The exported W functions ask QvWideIsUtf16() and
// convert with the helpers below; everything behind them is 4-byte.
#pragma once

#include <cstdint>
#include <cwchar>

// ---- Which wide form the application uses ----

// Looks once per process whether unixODBC's driver manager is loaded (its
// libodbc has uodbc_get_stats) and traces the answer; later calls do nothing.
void QvDetectWideUnit();
// 2 (UTF-16) or 4 (wchar_t).
int32_t QvWideUnitSize();
inline bool QvWideIsUtf16() { return QvWideUnitSize() == 2; }
// Test seam: 2 or 4 fixes the form without looking, 0 looks again at the
// next QvDetectWideUnit.
void QvSetWideUnitForTest(int32_t unit);

// ---- 8-bit text and 4-byte wide text ----

// Widens `len` bytes of 8-bit text (-3: up to its NUL) into `dst` of
// `dstChars` characters, terminated: every sequence the locale reads becomes
// its character, every other byte the character of its value. The
// characters written, without the terminator.
int32_t QvWidenText(const char* src, int64_t len, wchar_t* dst, int32_t dstChars);
// Narrows `len` characters (-3: up to the NUL) into `dst` of `dstBytes`
// bytes, terminated and cut at a character boundary: every character the
// locale writes becomes its bytes; any other character up to U+00FF its
// value, a greater one '?'. The bytes written, without the terminator.
int32_t QvNarrowText(const wchar_t* src, int64_t len, char* dst, int32_t dstBytes);
// The bytes QvNarrowText needs for the whole text, without terminator.
int64_t QvNarrowLength(const wchar_t* src, int64_t len);
// UTF-8 of a wide text for trace lines, cut to fit and terminated.
void QvToUtf8(const wchar_t* src, char* dst, int32_t dstBytes);

// A wide copy of `length` bytes (-3: measured) of text, length + 1
// characters zero-filled; an empty one for NULL text; NULL when memory is
// short. Released with QvReleaseWstr.
wchar_t* QvMbsToWcs(const char* text, int64_t length);
// An 8-bit copy (-3: measured); released with free(). NULL for NULL text or
// when memory is short.
char* QvWcsToMbs(const wchar_t* text, int64_t length);
// Narrows into `out`; when it does not fit and `spill` is given, returns a
// fresh copy of the whole text (freed by the caller) with *spill = 1, else
// cuts. NULL for NULL text, else out or the copy.
char* QvSQLCnvrtWideCharToMultiBytes(const wchar_t* wide, int64_t wideLength, char* out, int64_t outSize,
                                     int32_t* spill);
// Widens at most outSize - 1 characters of the text into `out`.
void QvSQLCnvrtMultiBytesToWideChar(wchar_t* out, int64_t outSize, const char* text, int64_t length);

// ---- The application's wide buffers ----

// An input text in the application's form, as 4-byte text. With 4-byte
// applications it is the caller's own pointer; with UTF-16 ones a converted
// copy (NUL-terminated). `length` is in characters, or the caller's -3;
// another negative length is passed on unchanged for the core to refuse.
class WideIn {
 public:
  WideIn(const void* text, int64_t length);
  ~WideIn();
  WideIn(const WideIn&) = delete;
  WideIn& operator=(const WideIn&) = delete;
  wchar_t* text() const { return text_; }
  int64_t length() const { return length_; }
  bool failed() const { return failed_; }

 private:
  wchar_t* text_ = nullptr;
  int64_t length_ = 0;
  bool owned_ = false;
  bool failed_ = false;
};

struct WideOut {
  int64_t units;   // the whole text's length in the application's units
  bool truncated;  // a buffer was given and the text did not fit whole
};

// Writes `chars` characters (-3: up to the NUL) into an application buffer of
// `dstUnits` units of its form, at most dstUnits - 1 of them and a NUL, never
// splitting a character. Nothing is written without a buffer.
WideOut QvPutAppWide(const wchar_t* text, int64_t chars, void* dst, int64_t dstUnits);
// The same into a 4-byte buffer.
WideOut QvPutWide(const wchar_t* text, int64_t chars, wchar_t* dst, int64_t dstChars);
