#include "src/odbc/qvprntval.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "src/odbc/lmo.h"
#include "src/odbc/lmoerr.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/qvprnt";

// The length a formatter is given; false when there is none to read.
bool readLength(const void* pointer, int64_t value, int32_t mode, int64_t* length) {
  switch (mode) {
    case kQvLenValue:
      *length = value;
      return true;
    case kQvLenPtr:
      if (pointer == nullptr) return false;
      *length = *static_cast<const SQLLEN*>(pointer);
      return true;
    case kQvLenPtr16:
      if (pointer == nullptr) return false;
      *length = *static_cast<const SQLSMALLINT*>(pointer);
      return true;
    case kQvLenPtr32:
      if (pointer == nullptr) return false;
      *length = *static_cast<const SQLINTEGER*>(pointer);
      return true;
    default:
      return false;
  }
}

bool knownMode(int32_t mode) { return mode >= kQvLenValue && mode <= kQvLenPtr32; }

size_t measure(const char* s, size_t max) { return strnlen(s, max); }
size_t measure(const wchar_t* s, size_t max) { return wcsnlen(s, max); }

// Algorithms of a text value up to its copy: writes the lines that end the
// value early and answers false then; else the count of units to copy.
template <class Ch>
bool textCount(const char* name, const Ch* text, const void* lengthPointer, int64_t length, int32_t mode,
               int64_t capacity, size_t* count) {
  if (text == nullptr) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<NULL>", name);
    return false;
  }
  int64_t n = 0;
  if (!readLength(lengthPointer, length, mode, &n)) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<Invalid pcbValue>", name);
    return false;
  }
  switch (n) {
    case SQL_NULL_DATA:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=<NULL DATA>", name);
      return false;
    case SQL_DATA_AT_EXEC:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=<DATA AT EXEC>", name);
      return false;
    case SQL_DEFAULT_PARAM:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=<SQL_DEFAULT_PARAM>", name);
      return false;
    default:
      break;
  }
  // A terminated text is measured no further than one unit past what is
  // shown, and never past the buffer.
  const int64_t readable = capacity >= 0 ? std::min<int64_t>(capacity, kQvShownChars + 1) : kQvShownChars + 1;
  if (n == SQL_NTS) n = static_cast<int64_t>(measure(text, static_cast<size_t>(readable)));
  else if (n == SQL_NO_TOTAL) n = kQvShownChars;
  if (n < 0) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<-ve pcbValue>", name);
    return false;
  }
  if (n > kQvShownChars) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<TRUNCATED for printing>", name);
    n = kQvShownChars;
  }
  if (capacity >= 0) n = std::min(n, capacity);
  *count = static_cast<size_t>(n);
  return true;
}

// At most `count` units up to the first zero, terminated.
template <class Ch>
void copyText(const Ch* text, size_t count, Ch* out) {
  size_t i = 0;
  for (; i < count && text[i] != 0; ++i) out[i] = text[i];
  out[i] = 0;
}

void wideValue(const char* name, const wchar_t* text, const void* lengthPointer, int64_t length, int32_t mode,
               int64_t capacity, bool mask) {
  size_t count = 0;
  if (!textCount(name, text, lengthPointer, length, mode, capacity, &count)) return;
  wchar_t copy[kQvShownChars + 1];
  copyText(text, count, copy);
  if (mask) HideAuthenticationDataForTracingW(copy);
  TR_TRACE(kSrc, htrODBC, 32, "   %s=", name);
  TR_TRACEW(kSrc, htrODBC, 32, L" %ls\n", copy);
}

template <class T>
T at(const void* data) {
  T v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

}  // namespace

void QVPrntHandle(const char* name, const void* pointer) {
  if (pointer == nullptr)
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<NULL>", name);
  else
    TR_TRACE(kSrc, htrODBC, 32, "   %s=%p", name, pointer);
}

void QVGetpcbValue(const char* name, const void* pointer, int64_t value, int32_t mode) {
  if (!knownMode(mode)) return;
  int64_t n = 0;
  if (!readLength(pointer, value, mode, &n)) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<NULL>", name);
    return;
  }
  switch (n) {
    case SQL_NULL_DATA: TR_TRACE(kSrc, htrODBC, 32, "   %s=SQL_NULL_DATA", name); break;
    case SQL_DATA_AT_EXEC: TR_TRACE(kSrc, htrODBC, 32, "   %s=SQL_DATA_AT_EXEC", name); break;
    case SQL_NTS: TR_TRACE(kSrc, htrODBC, 32, "   %s=SQL_NTS", name); break;
    case SQL_NO_TOTAL: TR_TRACE(kSrc, htrODBC, 32, "   %s=SQL_NO_TOTAL", name); break;
    case SQL_DEFAULT_PARAM: TR_TRACE(kSrc, htrODBC, 32, "   %s=SQL_DEFAULT_PARAM", name); break;
    default: TR_TRACE(kSrc, htrODBC, 32, "   %s=%ld", name, static_cast<long>(n)); break;
  }
}

void QVGetStrValue(const char* name, const char* text, const void* lengthPointer, int64_t length, int32_t mode,
                   int64_t capacity) {
  size_t count = 0;
  if (!textCount(name, text, lengthPointer, length, mode, capacity, &count)) return;
  char copy[kQvShownChars + 1];
  copyText(text, count, copy);
  TR_TRACE(kSrc, htrODBC, 32, "   %s=%s", name, copy);
}

void QVGetWStrValue(const char* name, const wchar_t* text, const void* lengthPointer, int64_t length, int32_t mode,
                    int64_t capacity) {
  wideValue(name, text, lengthPointer, length, mode, capacity, false);
}

void _QVGetWStrValue(const char* name, const wchar_t* text, const void* lengthPointer, int64_t length, int32_t mode,
                     int64_t capacity) {
  wideValue(name, text, lengthPointer, length, mode, capacity, true);
}

void QVGetrgbValue(const char* name, const void* data, const void* lengthPointer, int64_t length, int32_t mode,
                   SQLSMALLINT cType, int64_t capacity) {
  if (data == nullptr) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<NULL>", name);
    return;
  }
  if (!knownMode(mode)) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=Unknown pcbValue type=%d", name, mode);
    return;
  }
  int64_t n = 0;
  if (!readLength(lengthPointer, length, mode, &n)) {
    TR_TRACE(kSrc, htrODBC, 32, "   %s=<Invalid pcbValue>", name);
    return;
  }
  switch (n) {
    case SQL_NULL_DATA: TR_TRACE(kSrc, htrODBC, 32, "   %s=<NULL DATA>", name); return;
    case SQL_DATA_AT_EXEC: TR_TRACE(kSrc, htrODBC, 32, "   %s=<DATA AT EXEC>", name); return;
    case SQL_DEFAULT_PARAM: TR_TRACE(kSrc, htrODBC, 32, "   %s=<SQL_DEFAULT_PARAM>", name); return;
    default: break;
  }
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_BINARY:
      QVGetStrValue(name, static_cast<const char*>(data), lengthPointer, length, mode, capacity);
      break;
    case SQL_C_BIT:
    case SQL_C_UTINYINT:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%d", name, static_cast<int>(at<unsigned char>(data)));
      break;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%d", name, static_cast<int>(at<signed char>(data)));
      break;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%d", name, static_cast<int>(at<int16_t>(data)));
      break;
    case SQL_C_USHORT:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%u", name, static_cast<unsigned>(at<uint16_t>(data)));
      break;
    case SQL_C_LONG:
    case SQL_C_SLONG:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%ld", name, static_cast<long>(at<int32_t>(data)));
      break;
    case SQL_C_ULONG:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%u", name, static_cast<unsigned>(at<uint32_t>(data)));
      break;
    case SQL_C_FLOAT:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%f", name, static_cast<double>(at<float>(data)));
      break;
    case SQL_C_DOUBLE:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%lf", name, at<double>(data));
      break;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
      const auto t = at<TIMESTAMP_STRUCT>(data);
      TR_TRACE(kSrc, htrODBC, 32, "   %s=%d-%u-%u %u:%u:%u", name, static_cast<int>(t.year),
               static_cast<unsigned>(t.month), static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour),
               static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
      break;
    }
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_DEFAULT:
      TR_TRACE(kSrc, htrODBC, 32, "   %s=0x%lx", name, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(data)));
      break;
    default:
      break;  // wide text, numeric structures, 64-bit integers and unknown types
  }
}

void QVPrintSetOptionValue(SQLSMALLINT cType, SQLULEN value) {
  if (cType == SQL_C_ULONG) {
    TR_TRACE(kSrc, htrODBC, 32, "   vParam=%lu", static_cast<unsigned long>(static_cast<uint32_t>(value)));
  } else if (cType == SQL_C_CHAR) {
    const auto* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
    if (text == nullptr) {
      TR_TRACE(kSrc, htrODBC, 32, "   vParam=NULL");
      return;
    }
    char copy[kQvShownChars + 1];
    copyText(text, kQvShownChars, copy);
    TR_TRACE(kSrc, htrODBC, 32, "   vParam=%s", copy);
  }
}

void QVPrintSetOptionValueW(SQLSMALLINT cType, SQLULEN value) {
  if (cType != SQL_C_CHAR) {
    QVPrintSetOptionValue(cType, value);
    return;
  }
  const auto* text = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(value));
  if (text == nullptr) {
    TR_TRACE(kSrc, htrODBC, 32, "   vParam=NULL");
    return;
  }
  QVGetWStrValue("vParam", text, nullptr, SQL_NTS, kQvLenValue);
}

void QVPrintGetOptionValue(SQLSMALLINT cType, const void* value) {
  if (value == nullptr) {
    TR_TRACE(kSrc, htrODBC, 32, "   pvParam=NULL");
    return;
  }
  if (cType == SQL_C_ULONG) {
    TR_TRACE(kSrc, htrODBC, 32, "   pvParam=%lu", static_cast<unsigned long>(at<uint32_t>(value)));
  } else if (cType == SQL_C_CHAR) {
    char copy[kQvShownChars + 1];
    copyText(static_cast<const char*>(value), kQvShownChars, copy);
    TR_TRACE(kSrc, htrODBC, 32, "   pvParam=%s", copy);
  }
}

void QvTraceErrors(const void* env, const void* dbc, const void* stmt) {
  LmoEnv* e = lmoLiveEnv(env);
  LmoDbc* d = lmoLiveDbc(dbc);
  LmoStmt* s = lmoLiveStmt(stmt);
  if (e == nullptr && d == nullptr && s == nullptr) return;
  printErrList(e, d, s);
}

void QVPrntErrList(SQLSMALLINT handleType, const void* handle) {
  switch (handleType) {
    case SQL_HANDLE_ENV: QvTraceErrors(handle, nullptr, nullptr); break;
    case SQL_HANDLE_DBC: QvTraceErrors(nullptr, handle, nullptr); break;
    case SQL_HANDLE_STMT: QvTraceErrors(nullptr, nullptr, handle); break;
    default: break;
  }
}
