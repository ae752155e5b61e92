// The core of SQLError: the driver's own diagnostics first, then the RDA
// client's, each behind the configured message prefix.
#include <cerrno>
#include <cstdint>
#include <cwchar>

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmodiag";

int16_t clamp16(int64_t n) { return static_cast<int16_t>(n > INT16_MAX ? INT16_MAX : n); }

}  // namespace

// A client message that ends in a bracketed decimal number ("... [123]")
// carries its native error there: the number is taken and the brackets cut
// off. Any other ending is part of the text. The message's new length, or
// -1 when it is left as it is.
int64_t lmoTakeBracketedNative(wchar_t* message, int32_t* native) {
  const size_t length = std::wcslen(message);
  if (length < 3 || message[length - 1] != L']') return -1;
  const wchar_t* open = std::wcsrchr(message, L'[');
  if (open == nullptr) return -1;
  const wchar_t* digits = open + 1;
  if (*digits == L'-' || *digits == L'+') ++digits;
  if (digits == message + length - 1) return -1;
  for (const wchar_t* p = digits; p < message + length - 1; ++p)
    if (*p < L'0' || *p > L'9') return -1;
  errno = 0;
  wchar_t* end = nullptr;
  const long long value = std::wcstoll(open + 1, &end, 10);
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return -1;
  *native = static_cast<int32_t>(value);
  const auto position = static_cast<int64_t>(open - message);
  message[position] = L'\0';
  return position;
}

int16_t QVSQLErrorW(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt, wchar_t* sqlState, int32_t* native, wchar_t* message,
                    int16_t messageSize, int16_t* messageLength) {
  if ((env != nullptr && !lmoIsLive(LmoKind::Env, env)) || (dbc != nullptr && !lmoIsLive(LmoKind::Dbc, dbc)) ||
      (stmt != nullptr && !lmoIsLive(LmoKind::Stmt, stmt)))
    return -2;
  wchar_t prefix[kQvMessagePrefixSize];
  const int32_t prefixLength = QvWidenText(gsJDBCErrorMessagePrefix, -3, prefix, kQvMessagePrefixSize);

  wchar_t localState[6];
  int32_t localNative = 0;
  int16_t localLength = 0;
  if (sqlState == nullptr) sqlState = localState;
  if (native == nullptr) native = &localNative;
  if (messageLength == nullptr) messageLength = &localLength;
  *native = 0;
  if (message == nullptr || messageSize < 0) messageSize = 0;

  // With room for more than the prefix, the prefix goes first and the text
  // behind it.
  wchar_t* text = message;
  int16_t textSize = messageSize;
  bool prefixed = false;
  if (messageSize > 0) {
    message[0] = L'\0';
    if (messageSize > prefixLength) {
      std::wmemcpy(message, prefix, static_cast<size_t>(prefixLength) + 1);
      text = message + prefixLength;
      textSize = static_cast<int16_t>(messageSize - prefixLength);
      prefixed = true;
    }
  }

  int16_t r = lmoError(env, dbc, stmt, sqlState, native, text, textSize, messageLength);
  if (r == 0) {
    if (prefixed) *messageLength = clamp16(int64_t{*messageLength} + prefixLength);
  } else if (r == 100) {
    int32_t length = 0;
    const int32_t c = rda_cliError(env != nullptr ? env->rdaEnv : nullptr, dbc != nullptr ? dbc->rdaDbc : nullptr,
                                   stmt != nullptr ? stmt->rdaStmt : nullptr, sqlState, native, text, textSize,
                                   &length);
    TR_TRACE(kSrc, htrODBC, 16, "    SQLErrorW: rda_cliError() returns.");
    if (c == 0) {
      int64_t whole = length;
      if (length == -3) whole = message != nullptr && messageSize > 0 ? static_cast<int64_t>(std::wcslen(message)) : 0;
      else if (prefixed) whole += prefixLength;
      if (message != nullptr && messageSize > 0) {
        const int64_t cut = lmoTakeBracketedNative(message, native);
        if (cut >= 0) whole = cut;
      }
      *messageLength = clamp16(whole);
      r = 0;
    } else if (c == 100) {
      std::wcscpy(sqlState, L"00000");
      if (messageSize > 0) message[0] = L'\0';
      *messageLength = 0;
    } else {
      r = static_cast<int16_t>(c);
    }
  }
  if (messageSize == 0) *messageLength = 0;
  return r;
}
