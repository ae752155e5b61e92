// The frame every JNI native of the bridge stands in: the error and warning
// path that turns ODBC diagnostics into Java exceptions and warnings, the
// string helpers between Java strings and the library's 4-byte wide text,
// and the guard that keeps every C++ exception inside the native.
//
// The natives are clients of the library's ODBC layer: they call its hidden
// bodies (lmoSQL*, 4-byte wide text), never an exported name.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <new>

#include "src/odbc/exports.h"
#include "src/odbc/odbcapi.h"

// Sizes of the error path's buffers, terminator included.
inline constexpr int32_t kQvjStateChars = 6;
inline constexpr int32_t kQvjMessageChars = 513;
// Java units that QvJstrToWstrUsingJchar takes on the stack; longer strings
// go through a heap block.
inline constexpr int32_t kQvjStackUnits = 2048;

// ---- Memory ----

// A zero-filled heap block, or NULL.
void* AllocItem(size_t size);
// Frees a block that is not NULL; 0.
int32_t FreeItem(void* block);

// A zero-filled heap buffer of wide characters, freed when it goes.
class QvjWideBuffer {
 public:
  explicit QvjWideBuffer(size_t chars);
  ~QvjWideBuffer() { FreeItem(text_); }
  QvjWideBuffer(const QvjWideBuffer&) = delete;
  QvjWideBuffer& operator=(const QvjWideBuffer&) = delete;
  wchar_t* get() const { return text_; }
  size_t chars() const { return chars_; }
  bool failed() const { return text_ == nullptr; }

 private:
  wchar_t* text_;
  size_t chars_;
};

// ---- Return codes ----

// The ODBC return code tested as unsigned 16 bits: 0 and 1 are success.
inline bool QvjSucceeded(SQLRETURN rc) { return static_cast<uint16_t>(rc) < 2; }

// Runs an ODBC body of the library under the guard of the exports: -1
// before the driver has started, and no exception leaves it.
template <class F>
SQLRETURN QvjCall(F&& body) noexcept;

// ---- Strings ----

// Results of QvJstrToWstrUsingJchar.
enum class QvjStr { Ok, TooLong, NoMemory, Failed };

// Copies a Java string into `dest`, a buffer of `limit` + 1 wide
// characters: surrogate pairs become one character, a lone surrogate stays
// as it is; the text is terminated and `limit` counts characters after the
// pairs are joined. *chars gets the characters copied. TooLong and NoMemory
// leave `dest` empty; Failed means a Java exception is pending.
QvjStr QvJstrToWstrUsingJchar(JNIEnv* env, wchar_t* dest, jstring text, size_t limit, size_t* chars = nullptr);

// A Java string of a wide text: characters above U+FFFF become surrogate
// pairs, values outside U+0000..U+10FFFF U+FFFD. NULL or empty text gives
// the empty string. NULL only when the VM could not make it (an exception
// is then pending).
jstring NewStringFromWstr(JNIEnv* env, const wchar_t* text);
// The UTF-16 units of `chars` wide characters, written to `out` (room for
// twice as many units); the count written.
size_t QvjToUtf16(const wchar_t* text, size_t chars, jchar* out);

// A Java string of an 8-bit text (`length` < 0: up to its terminator). With
// [JDBC] 8BitChar set the bytes are decoded by the VM's default character
// set (NULL text gives null, empty text ""); else the text goes to
// NewStringUTF.
jstring QvCstrToJstr(JNIEnv* env, const char* text, int32_t length);
// A new java.lang.String of the bytes (the VM's default character set);
// null for null bytes or a failed look-up.
jstring QvByteArrayToJstr(JNIEnv* env, jbyteArray bytes);
// a.concat(b); null when the method cannot be had.
jstring QvConcatJstr(JNIEnv* env, jstring a, jstring b);

// ---- Errors and warnings ----

// Throws a jdbc.sql.cli.qvcliexception (message, SQLSTATE, native code); a
// NULL text is taken as empty. An exception already pending is kept.
void QvSignalError(JNIEnv* env, const wchar_t* message, const wchar_t* sqlState, int32_t native);
// Chains a jdbc.sql.cli.qvcliwarning onto obj through its setNextWarning;
// a missing class or method is ignored.
void QvSignalWarning(JNIEnv* env, jobject obj, const wchar_t* message, const wchar_t* sqlState, int32_t native);
// For SQLSTATE 40001 and HZ520: calls obj.markConnectionAsBad() and
// answers true.
bool FlagBadConnection(JNIEnv* env, jobject obj, const wchar_t* sqlState);

// What one reading of diagnostics gives: the last record's message, state
// and native code (or the record that flagged the connection as bad).
struct QvjDiag {
  wchar_t message[kQvjMessageChars];
  wchar_t sqlState[kQvjStateChars];
  int32_t native;
};

// Traces a failed call (`label`: "QVCLIImpl" or "QVCLIStmtImpl", the
// method name and the return code) and, with `readRecords`, reads every
// diagnostic record of the handles through SQLErrorW: each is traced, the
// last one read (or the one with which FlagBadConnection marked obj) goes
// to `out`. When `name` is given and no record gave a message, the message
// is the name followed by " fails:". `out` may be NULL.
void QvjReadDiagnostics(JNIEnv* env, jobject obj, const char* label, const char* name, SQLRETURN rc,
                        SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, bool readRecords, QvjDiag* out,
                        uint64_t level);

// How a side of the bridge reads its object's diagnostics (logErrorMsg,
// logErrorMsgStmt).
using QvjLogFn = void (*)(JNIEnv* env, jobject obj, const char* name, SQLRETURN rc, QvjDiag* out, uint64_t level);
// The diagnostics read at level 2 and thrown as a qvcliexception.
void QvjRaise(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name, QvjLogFn log);
// The diagnostics read at level 64 and chained as a qvcliwarning on obj.
void QvjWarn(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name, QvjLogFn log);
// The adapter's test of a return code: true for success (a warning chained
// for 1), false after the error path threw, or when the Java half raised
// an exception of its own while taking the warning.
bool QvjCheck(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name, QvjLogFn log);

// Throws a qvcliexception whose message is the JDBC message prefix and
// `text`, for a refusal of the bridge itself.
void QvjThrowOwn(JNIEnv* env, const char* sqlState, const char* text);
// Copies a Java string argument (NULL: empty) into `dest` of `limit` + 1
// characters; false after an exception was thrown for it (QvjStringTaken).
bool QvjTakeString(JNIEnv* env, jstring text, wchar_t* dest, size_t limit, const char* method,
                   const char* argument);
// S1090 for a Java string argument over its limit, S1001 when memory ran
// short; nothing for a pending exception. False unless the copy succeeded.
bool QvjStringTaken(JNIEnv* env, QvjStr result, const char* method, const char* argument, size_t limit);

// ---- Exceptions inside a native ----

// Runs the native's body; a C++ exception that escapes it becomes a pending
// qvcliexception (S1001 for memory, S1000 otherwise) and the neutral value.
template <class R, class F>
R QvjGuard(JNIEnv* env, R neutral, F&& body) noexcept;
template <class F>
void QvjGuardVoid(JNIEnv* env, F&& body) noexcept;

void QvjSignalEscaped(JNIEnv* env, bool memory) noexcept;

// ---- Handles ----

template <class H>
H QvjHandle(jlong value) {
  return reinterpret_cast<H>(static_cast<intptr_t>(value));
}
template <class H>
jlong QvjField(H handle) {
  return static_cast<jlong>(reinterpret_cast<intptr_t>(handle));
}

// ---- Template bodies ----

template <class F>
SQLRETURN QvjCall(F&& body) noexcept {
  return qvExport(static_cast<F&&>(body));
}

template <class R, class F>
R QvjGuard(JNIEnv* env, R neutral, F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    QvjSignalEscaped(env, true);
  } catch (...) {
    QvjSignalEscaped(env, false);
  }
  return neutral;
}

template <class F>
void QvjGuardVoid(JNIEnv* env, F&& body) noexcept {
  try {
    body();
  } catch (const std::bad_alloc&) {
    QvjSignalEscaped(env, true);
  } catch (...) {
    QvjSignalEscaped(env, false);
  }
}
