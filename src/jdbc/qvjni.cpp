#include "src/jdbc/qvjni.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/qvunicode.h"
#include "src/odbc/connstr.h"
#include "src/odbc/lmoinit.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/qvjni";

constexpr const char* kExceptionClass = "jdbc/sql/cli/qvcliexception";
constexpr const char* kWarningClass = "jdbc/sql/cli/qvcliwarning";
constexpr const char* kThrowableInit = "(Ljava/lang/String;Ljava/lang/String;I)V";
// Prefix of the error path's messages: the method name and " fails:".
constexpr size_t kPrefixChars = 160;
// The prefix and message joined for the trace, terminator included.
constexpr size_t kFullMessageChars = 512;

std::atomic<jmethodID> gStringFromBytes{nullptr};  // QvByteArrayToJstr
std::atomic<jmethodID> gConcat{nullptr};            // QvConcatJstr

// An ASCII text as wide characters, cut to fit `size` with its terminator.
void widenAscii(const char* text, wchar_t* out, size_t size) {
  size_t n = 0;
  for (; text != nullptr && text[n] != '\0' && n + 1 < size; ++n) out[n] = static_cast<unsigned char>(text[n]);
  out[n] = L'\0';
}

void deleteLocal(JNIEnv* env, jobject ref) {
  if (ref != nullptr) env->DeleteLocalRef(ref);
}

const char* returnCodeLine(SQLRETURN rc) {
  switch (rc) {
    case SQL_SUCCESS_WITH_INFO: return "    SQLRETURN  indicates: Warning Message";
    case SQL_NO_DATA: return "    SQLRETURN  indicates: No Data Found";
    case SQL_INVALID_HANDLE: return "    SQLRETURN indicates: Invalid Handle";
    case SQL_ERROR: return "    SQLRETURN  indicates: FATAL ERROR";
    default: return nullptr;
  }
}

// The method name widened and " fails:" behind it; empty without a name.
void failPrefix(const char* name, wchar_t* out, size_t size) {
  out[0] = L'\0';
  if (name == nullptr) return;
  // _qvmbstowcs terminates after what it converted: room for both.
  const size_t room = size - 1 - std::wcslen(L" fails:");
  const size_t n = std::strlen(name);
  if (n > room || _qvmbstowcs(out, name, n) == static_cast<size_t>(-1)) out[0] = L'\0';
  qvwcscat(out, L" fails:");
}

}  // namespace

void* AllocItem(size_t size) { return std::calloc(size == 0 ? 1 : size, 1); }

int32_t FreeItem(void* block) {
  if (block != nullptr) std::free(block);
  return 0;
}

QvjWideBuffer::QvjWideBuffer(size_t chars)
    : text_(static_cast<wchar_t*>(AllocItem((chars == 0 ? 1 : chars) * sizeof(wchar_t)))), chars_(chars) {}

// ---- Strings ----

QvjStr QvJstrToWstrUsingJchar(JNIEnv* env, wchar_t* dest, jstring text, size_t limit, size_t* chars) {
  if (chars != nullptr) *chars = 0;
  dest[0] = L'\0';
  const jsize units = env->GetStringLength(text);
  if (units <= 0) return QvjStr::Ok;
  // A character takes one or two units: more than twice the limit cannot fit.
  if (static_cast<size_t>(units) > 2 * limit) return QvjStr::TooLong;
  jchar stackUnits[kQvjStackUnits];
  jchar* buffer = stackUnits;
  if (units > kQvjStackUnits) {
    buffer = static_cast<jchar*>(AllocItem((static_cast<size_t>(units) + 1) * sizeof(jchar)));
    if (buffer == nullptr) return QvjStr::NoMemory;
  }
  QvjStr result = QvjStr::Ok;
  env->GetStringRegion(text, 0, units, buffer);
  if (env->ExceptionCheck()) {
    result = QvjStr::Failed;
  } else {
    const int32_t need = utf16towcs(buffer, units, nullptr, 0);
    if (need <= 0 || static_cast<size_t>(need) > limit) {
      result = QvjStr::TooLong;
    } else {
      utf16towcs(buffer, units, dest, static_cast<int32_t>(limit) + 1);
      dest[need] = L'\0';
      if (chars != nullptr) *chars = static_cast<size_t>(need);
    }
  }
  if (buffer != stackUnits) FreeItem(buffer);
  return result;
}

size_t QvjToUtf16(const wchar_t* text, size_t chars, jchar* out) {
  size_t n = 0;
  for (size_t i = 0; i < chars; ++i) {
    auto c = static_cast<uint32_t>(text[i]);
    if (c > 0x10FFFF) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      out[n++] = static_cast<jchar>(0xD800 + (c >> 10));
      out[n++] = static_cast<jchar>(0xDC00 + (c & 0x3FF));
    } else {
      out[n++] = static_cast<jchar>(c);
    }
  }
  return n;
}

jstring NewStringFromWstr(JNIEnv* env, const wchar_t* text) {
  const size_t chars = text != nullptr ? std::wcslen(text) : 0;
  jchar stackUnits[kQvjStackUnits];
  jchar* buffer = stackUnits;
  if (2 * chars > kQvjStackUnits) {
    buffer = static_cast<jchar*>(AllocItem((2 * chars + 1) * sizeof(jchar)));
    if (buffer == nullptr) {
      QvjThrowOwn(env, "S1001", "Memory allocation failure");
      return nullptr;
    }
  }
  const size_t units = QvjToUtf16(text, chars, buffer);
  jstring s = env->NewString(buffer, static_cast<jsize>(units));
  if (buffer != stackUnits) FreeItem(buffer);
  return s;
}

jstring QvByteArrayToJstr(JNIEnv* env, jbyteArray bytes) {
  if (bytes == nullptr) return nullptr;
  jclass cls = env->FindClass("java/lang/String");
  if (cls == nullptr) return nullptr;
  jmethodID init = gStringFromBytes.load(std::memory_order_acquire);
  if (init == nullptr) {
    init = env->GetMethodID(cls, "<init>", "([B)V");
    if (init != nullptr) gStringFromBytes.store(init, std::memory_order_release);
  }
  jstring s = init != nullptr ? static_cast<jstring>(env->NewObject(cls, init, bytes)) : nullptr;
  deleteLocal(env, cls);
  return s;
}

jstring QvCstrToJstr(JNIEnv* env, const char* text, int32_t length) {
  if (text == nullptr) return nullptr;
  if (gi8BitChar == 0) return env->NewStringUTF(text);
  const size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  if (n == 0) return env->NewStringUTF("");
  jbyteArray bytes = env->NewByteArray(static_cast<jsize>(n));
  if (bytes == nullptr) return nullptr;
  env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(n), reinterpret_cast<const jbyte*>(text));
  jstring s = env->ExceptionCheck() ? nullptr : QvByteArrayToJstr(env, bytes);
  deleteLocal(env, bytes);
  return s;
}

jstring QvConcatJstr(JNIEnv* env, jstring a, jstring b) {
  jmethodID concat = gConcat.load(std::memory_order_acquire);
  if (concat == nullptr) {
    jclass cls = env->FindClass("java/lang/String");
    if (cls == nullptr) return nullptr;
    concat = env->GetMethodID(cls, "concat", "(Ljava/lang/String;)Ljava/lang/String;");
    deleteLocal(env, cls);
    if (concat == nullptr) return nullptr;
    gConcat.store(concat, std::memory_order_release);
  }
  jobject joined = env->CallObjectMethod(a, concat, b);
  if (env->ExceptionCheck()) {
    deleteLocal(env, joined);
    return nullptr;
  }
  return static_cast<jstring>(joined);
}

// ---- Errors and warnings ----

void QvSignalError(JNIEnv* env, const wchar_t* message, const wchar_t* sqlState, int32_t native) {
  // A Java exception raised on the way here (by a method of the Java half)
  // stays the one the caller sees.
  if (env->ExceptionCheck()) return;
  jclass cls = env->FindClass(kExceptionClass);
  if (cls == nullptr) env->FatalError("Unable to find SQL Exception Class.");
  jmethodID init = env->GetMethodID(cls, "<init>", kThrowableInit);
  if (init == nullptr) env->FatalError("Unable to find  SQL Exception(String,String,int) method.");
  jstring jmessage = NewStringFromWstr(env, message);
  jstring jstate = jmessage != nullptr ? NewStringFromWstr(env, sqlState) : nullptr;
  if (jstate != nullptr) {
    jobject exception = env->NewObject(cls, init, jmessage, jstate, static_cast<jint>(native));
    if (exception == nullptr) env->FatalError("Unable to create SQL Exception Object.");
    env->Throw(static_cast<jthrowable>(exception));
    deleteLocal(env, exception);
  }
  deleteLocal(env, jstate);
  deleteLocal(env, jmessage);
  deleteLocal(env, cls);
}

void QvSignalWarning(JNIEnv* env, jobject obj, const wchar_t* message, const wchar_t* sqlState, int32_t native) {
  if (env->ExceptionCheck()) return;
  jclass cls = env->FindClass(kWarningClass);
  jmethodID init = cls != nullptr ? env->GetMethodID(cls, "<init>", kThrowableInit) : nullptr;
  if (init == nullptr) {
    // A Java half without warnings: no warning, and no error either.
    env->ExceptionClear();
    deleteLocal(env, cls);
    return;
  }
  jstring jmessage = NewStringFromWstr(env, message);
  jstring jstate = jmessage != nullptr ? NewStringFromWstr(env, sqlState) : nullptr;
  jobject warning = jstate != nullptr ? env->NewObject(cls, init, jmessage, jstate, static_cast<jint>(native)) : nullptr;
  if (warning != nullptr) {
    jclass own = env->GetObjectClass(obj);
    jmethodID chain = env->GetMethodID(own, "setNextWarning", "(Ljdbc/sql/cli/qvcliwarning;)V");
    if (chain == nullptr) {
      env->ExceptionClear();
    } else {
      env->CallVoidMethod(obj, chain, warning);
      // What the method threw stays pending for the native to see.
      env->ExceptionCheck();
    }
    deleteLocal(env, own);
  } else {
    env->ExceptionClear();
  }
  deleteLocal(env, warning);
  deleteLocal(env, jstate);
  deleteLocal(env, jmessage);
  deleteLocal(env, cls);
}

bool FlagBadConnection(JNIEnv* env, jobject obj, const wchar_t* sqlState) {
  if (env == nullptr || obj == nullptr || sqlState == nullptr) return false;
  if (qvwcscmp(sqlState, L"40001") != 0 && qvwcscmp(sqlState, L"HZ520") != 0) return false;
  jclass cls = env->GetObjectClass(obj);
  if (cls == nullptr) env->FatalError("Unable to find qvcli/qvclistmt Object Class.");
  jmethodID mark = env->GetMethodID(cls, "markConnectionAsBad", "()V");
  if (mark == nullptr) env->FatalError("Unable to find  markConnectionAsBad() method.");
  env->CallVoidMethod(obj, mark);
  // What the method threw stays pending for the Java caller.
  env->ExceptionCheck();
  deleteLocal(env, cls);
  return true;
}

void QvjReadDiagnostics(JNIEnv* env, jobject obj, const char* label, const char* name, SQLRETURN rc,
                        SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, bool readRecords, QvjDiag* out,
                        uint64_t level) {
  tr_trace(kSrc, __LINE__, htrJDBC, level, "%s: %s", label, name != nullptr ? name : "");
  if (rc != SQL_SUCCESS) {
    const char* line = returnCodeLine(rc);
    if (line != nullptr) {
      tr_trace(kSrc, __LINE__, htrJDBC, level, "%s", line);
    } else {
      tr_trace(kSrc, __LINE__, htrJDBC, level, "               Return Code = %d", rc);
    }
  }
  wchar_t prefix[kPrefixChars];
  failPrefix(name, prefix, kPrefixChars);

  while (readRecords) {
    SQLWCHAR state[kQvjStateChars] = {0};
    SQLINTEGER native = 0;
    SQLWCHAR message[kQvjMessageChars] = {0};
    SQLSMALLINT length = 0;
    const SQLRETURN r = QvjCall(
        [&] { return lmoSQLErrorW(henv, hdbc, hstmt, state, &native, message, kQvjMessageChars, &length); });
    // A message that filled the buffer is a record too, cut to its size.
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) break;
    message[kQvjMessageChars - 1] = L'\0';
    state[kQvjStateChars - 1] = L'\0';
    tr_tracew(kSrc, __LINE__, htrJDBC, level, L"Message:%ls SQLCode:%ls NativeCode:%ld\n", message, state,
              static_cast<long>(native));
    if (out != nullptr) {
      wchar_t full[kFullMessageChars];
      LmoWideText joined(full, kFullMessageChars);
      joined.put(prefix);
      joined.put(message);
      // The line ends here: without its newline the next line of the trace
      // would run on behind the message.
      tr_tracew(kSrc, __LINE__, htrJDBC, level, L"Full Message:%ls\n", full);
      qvwcscpy(out->message, message);
      qvwcscpy(out->sqlState, state);
      out->native = native;
    }
    if (FlagBadConnection(env, obj, state)) break;
  }
  if (out != nullptr && name != nullptr && out->message[0] == L'\0') {
    LmoWideText text(out->message, kQvjMessageChars);
    text.put(prefix);
  }
}

void QvjRaise(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name, QvjLogFn log) {
  QvjDiag d{};
  log(env, obj, name, rc, &d, 2);
  QvSignalError(env, d.message, d.sqlState, d.native);
}

void QvjWarn(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name, QvjLogFn log) {
  QvjDiag d{};
  log(env, obj, name, rc, &d, 64);
  QvSignalWarning(env, obj, d.message, d.sqlState, d.native);
}

bool QvjCheck(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name, QvjLogFn log) {
  if (!QvjSucceeded(rc)) {
    QvjRaise(env, obj, rc, name, log);
    return false;
  }
  if (rc == SQL_SUCCESS_WITH_INFO) QvjWarn(env, obj, rc, name, log);
  return !env->ExceptionCheck();
}

void QvjThrowOwn(JNIEnv* env, const char* sqlState, const char* text) {
  wchar_t message[kQvjMessageChars];
  wchar_t state[kQvjStateChars];
  LmoWideText m(message, kQvjMessageChars);
  wchar_t part[kQvjMessageChars];
  widenAscii(gsJDBCErrorMessagePrefix, part, kQvjMessageChars);
  m.put(part);
  widenAscii(text, part, kQvjMessageChars);
  m.put(part);
  widenAscii(sqlState, state, kQvjStateChars);
  QvSignalError(env, message, state, 0);
}

bool QvjTakeString(JNIEnv* env, jstring text, wchar_t* dest, size_t limit, const char* method,
                   const char* argument) {
  if (text == nullptr) {
    dest[0] = L'\0';
    return true;
  }
  return QvjStringTaken(env, QvJstrToWstrUsingJchar(env, dest, text, limit), method, argument, limit);
}

bool QvjStringTaken(JNIEnv* env, QvjStr result, const char* method, const char* argument, size_t limit) {
  switch (result) {
    case QvjStr::Ok:
      return true;
    case QvjStr::TooLong: {
      const std::string text = "Invalid string or buffer length - " + std::string(method) + ": " + argument +
                               " longer than " + std::to_string(limit) + " characters";
      TR_TRACE(kSrc, htrJDBC, 2, "%s", text.c_str());
      QvjThrowOwn(env, "S1090", text.c_str());
      return false;
    }
    case QvjStr::NoMemory:
      QvjThrowOwn(env, "S1001", "Memory allocation failure");
      return false;
    case QvjStr::Failed:
      return false;
  }
  return false;
}

void QvjSignalEscaped(JNIEnv* env, bool memory) noexcept {
  if (env->ExceptionCheck()) return;
  QvjThrowOwn(env, memory ? "S1001" : "S1000", memory ? "Memory allocation failure" : "General error");
}
