#include "src/odbc/connstr.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "common/qvunicode.h"
#include "common/verinfo.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/connstr";

// Keywords count by their first 255 characters; a longer one is no keyword
// the driver reads.
constexpr size_t kKeywordMax = 255;
// lmo_getKeyValueAsInt reads at most this many characters of a value.
constexpr size_t kIntValueChars = 143;

template <class Ch>
Ch* blankStrip(Ch* text) {
  if (text == nullptr) return nullptr;
  size_t n = 0;
  while (text[n] != 0) ++n;
  while (n > 0 && text[n - 1] == Ch(' ')) --n;
  text[n] = 0;
  while (*text == Ch(' ')) ++text;
  return text;
}

size_t boundedLength(const wchar_t* text, size_t max) {
  size_t n = 0;
  if (text != nullptr)
    while (n < max && text[n] != L'\0') ++n;
  return n;
}

// Case-insensitive equality of `n` characters of text with a keyword.
bool isKeyword(const wchar_t* text, size_t n, const wchar_t* keyword) {
  return std::wcslen(keyword) == n && qvwcsnicmp(text, keyword, n) == 0;
}

}  // namespace

wchar_t* lmo_blank_strip(wchar_t* text) { return blankStrip(text); }
char* lmo_blank_stripA(char* text) { return blankStrip(text); }

LmoWideText::LmoWideText(wchar_t* buffer, size_t capacity, bool append) : buf(buffer), max(capacity) {
  if (buf == nullptr || max == 0) return;
  len = append ? boundedLength(buf, max - 1) : 0;
  buf[len] = L'\0';
}

void LmoWideText::put(const wchar_t* text, size_t n) {
  if (buf == nullptr || max == 0 || text == nullptr) return;
  const size_t room = max - 1 - len;
  const size_t take = boundedLength(text, n < room ? n : room);
  std::wmemcpy(buf + len, text, take);
  len += take;
  buf[len] = L'\0';
}

// ---------------------------------------------------------------------------
// The store

void QvSetConnectStr(LmoDbc* dbc, const wchar_t* text) {
  if (dbc == nullptr) return;
  LmoWideText store(dbc->connectStr, kLmoConnectStrChars + 1);
  store.put(text);
  if (text == nullptr) dbc->utf8ConnectStr[0] = '\0';
}

void QvAppendConnectStr(LmoDbc* dbc, const wchar_t* text) {
  if (dbc == nullptr || text == nullptr) return;
  LmoWideText store(dbc->connectStr, kLmoConnectStrChars + 1, true);
  store.put(L";");
  store.put(text);
}

void QvAppendConnectStrAtStart(LmoDbc* dbc, const wchar_t* text) {
  if (dbc == nullptr || text == nullptr) return;
  const std::wstring rest = dbc->connectStr;
  LmoWideText store(dbc->connectStr, kLmoConnectStrChars + 1);
  store.put(text);
  store.put(L";");
  store.put(rest.c_str());
}

wchar_t* QvGetConnectStr(LmoDbc* dbc, int32_t withOptions) {
  if (dbc == nullptr) return nullptr;
  if (withOptions != 0) QvAppendConnectOptions(dbc);
  return dbc->connectStr;
}

char* QvGetUtf8ConnectStr(LmoDbc* dbc, int32_t withOptions) {
  if (dbc == nullptr) return nullptr;
  QvToUtf8(QvGetConnectStr(dbc, withOptions), dbc->utf8ConnectStr, kLmoUtf8ConnectStrBytes);
  return dbc->utf8ConnectStr;
}

void QvGetConnectOptions(const LmoDbc* dbc, wchar_t* text, size_t textChars) {
  if (dbc == nullptr || text == nullptr || textChars == 0) return;
  char options[512];
  std::snprintf(options, sizeof options,
                ";;SQL_ACCESS_MODE=%lld;SQL_LOGIN_TIMEOUT=%lld;SQL_TXN_ISOLATION=%lld;SQL_AUTOCOMMIT=%lld;"
                "SQL_CURRENT_QUALIFIER=%s;QV_PRODUCT_CODE=%d;ODBC_VER=%d;CLIENT_VERSION=%s;",
                static_cast<long long>(dbc->accessMode), static_cast<long long>(dbc->loginTimeOut),
                static_cast<long long>(dbc->txnIsolation), static_cast<long long>(dbc->autocommit),
                dbc->currentQualifier, static_cast<int>(QvGetProductType()),
                static_cast<int>(dbc->env != nullptr ? dbc->env->odbcVersion : 3), QvGetProductVersion());
  wchar_t wide[sizeof options];
  QvWidenText(options, -3, wide, static_cast<int32_t>(sizeof options));
  LmoWideText(text, textChars, true).put(wide);
}

void QvAppendConnectOptions(LmoDbc* dbc) {
  if (dbc != nullptr) QvGetConnectOptions(dbc, dbc->connectStr, kLmoConnectStrChars + 1);
}

// ---------------------------------------------------------------------------
// The attributes the driver reads

int32_t lmo_parse(const wchar_t* text, wchar_t* dsn, wchar_t* uid, wchar_t* pwd, wchar_t* driver,
                  wchar_t* database, wchar_t* extendedFunctions, const char** tooLong) {
  if (text == nullptr || dsn == nullptr || uid == nullptr || pwd == nullptr || driver == nullptr ||
      database == nullptr || extendedFunctions == nullptr)
    return 0;
  const size_t textLength = std::wcslen(text);
  struct Field {
    const wchar_t* keyword;
    const char* name;
    wchar_t* out;
    size_t chars;  // with the terminator
  };
  Field fields[] = {
      {L"DSN", "DSN", dsn, kLmoAttrChars},
      {L"Driver", "Driver", driver, textLength + 1},
      {L"Database", "Database", database, kLmoAttrChars},
      {L"UID", "UID", uid, kLmoCredentialChars},
      {L"PWD", "PWD", pwd, kLmoCredentialChars},
      {L"ExtendedFunctions", "ExtendedFunctions", extendedFunctions, kLmoAttrChars},
  };
  Field& dsnField = fields[0];
  Field& driverField = fields[1];
  Field& databaseField = fields[2];
  for (Field& f : fields) f.out[0] = L'\0';

  bool seenDsn = false;
  bool seenDriver = false;
  size_t pos = 0;
  while (pos < textLength) {
    // The keyword ends at "=", a blank, ";" or the end.
    size_t end = pos;
    while (end < textLength && text[end] != L'=' && text[end] != L' ' && text[end] != L';') ++end;
    const size_t keywordLength = end - pos;
    Field* field = nullptr;
    if (keywordLength <= kKeywordMax)
      for (Field& f : fields)
        if (isKeyword(text + pos, keywordLength, f.keyword)) field = &f;
    if (field == nullptr || end >= textLength) {
      // Not a keyword of the driver: what follows its first character after
      // it is read as the next keyword.
      pos = end + 1;
      continue;
    }
    // The value begins one character after the keyword and runs to ";".
    const size_t value = end + 1;
    size_t valueEnd = value;
    while (valueEnd < textLength && text[valueEnd] != L';') ++valueEnd;
    const bool excluded = (field == &dsnField && seenDriver) || (field == &driverField && seenDsn) ||
                          (field == &databaseField && seenDsn);
    if (field == &dsnField) seenDsn = true;
    if (field == &driverField) seenDriver = true;
    const size_t n = excluded ? 0 : valueEnd - value;
    if (n + 1 > field->chars) {
      for (Field& f : fields) f.out[0] = L'\0';
      if (tooLong != nullptr) *tooLong = field->name;
      return -1;
    }
    std::wmemcpy(field->out, text + value, n);
    field->out[n] = L'\0';
    pos = valueEnd + 1;
  }
  return 1;
}

namespace {

constexpr const wchar_t* kDriverKeywords[] = {L"DSN", L"Driver", L"Database", L"Server",
                                             L"UID", L"PWD",    L"ExtendedFunctions"};

// Walks the attributes of `length` characters of text: every attribute is
// checked, and the custom ones are put into `out` when one is given.
int32_t walkCustomProperties(LmoDbc* dbc, const wchar_t* text, size_t length, LmoWideText* out) {
  LmoErrorList* errors = dbc != nullptr ? &dbc->errors : nullptr;
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < length && text[end] != L';') ++end;
    // A single ";" that ends the text closes the last attribute.
    if (start == length && start > 0) break;
    if (end - start > static_cast<size_t>(kLmoCustomAttrMax)) {
      lmoAddError(errors, kLmoErrBadLength, 0, "Connection string attribute exceeds maximum limit");
      return -1;
    }
    std::wstring attribute(text + start, end - start);
    const size_t eq = attribute.find(L'=');
    if (eq == std::wstring::npos) {
      lmoAddError(errors, kLmoErrBadLength, 0, "Connection string attribute not in the keyword=value format");
      return -1;
    }
    std::wstring keyword = attribute.substr(0, eq);
    const wchar_t* stripped = lmo_blank_strip(keyword.data());
    bool own = false;
    for (const wchar_t* k : kDriverKeywords) own = own || qvwcsicmp(stripped, k) == 0;
    if (!own && out != nullptr) {
      out->put(attribute.c_str());
      out->put(L";");
    }
    if (end >= length) break;
    start = end + 1;
  }
  return 0;
}

}  // namespace

int32_t lmo_append_custom_property(LmoDbc* dbc, const wchar_t* text, int64_t length, wchar_t* out,
                                   int64_t outMax) {
  if (out == nullptr) return -1;
  if (text == nullptr) {
    if (outMax > 0) out[0] = L'\0';
    return 0;
  }
  if (length <= 0) return 0;
  LmoWideText target(out, outMax > 0 ? static_cast<size_t>(outMax) : 0, true);
  return walkCustomProperties(dbc, text, boundedLength(text, static_cast<size_t>(length)), &target);
}

int32_t lmoCheckCustomProperties(LmoDbc* dbc, const wchar_t* text, int64_t length) {
  if (text == nullptr || length <= 0) return 0;
  return walkCustomProperties(dbc, text, boundedLength(text, static_cast<size_t>(length)), nullptr);
}

int32_t lmo_getKeyValue(const wchar_t* text, const wchar_t* keyword, wchar_t* out, size_t outChars) {
  if (out != nullptr && outChars > 0) out[0] = L'\0';
  if (text == nullptr || keyword == nullptr || *keyword == L'\0') return 1;
  const wchar_t* at = qvwcsistr(text, keyword);
  if (at == nullptr) return 1;
  const wchar_t* value = at + std::wcslen(keyword);
  if (*value != L'\0') ++value;  // the "="
  size_t n = 0;
  while (value[n] != L'\0' && value[n] != L';') ++n;
  LmoWideText target(out, out != nullptr ? outChars : 0);
  target.put(value, n);
  return 0;
}

int32_t lmo_getKeyValueAsInt(const wchar_t* text, const wchar_t* keyword, int32_t* out) {
  wchar_t value[kIntValueChars + 1];
  const int32_t r = lmo_getKeyValue(text, keyword, value, kIntValueChars + 1);
  if (out != nullptr) *out = r == 0 ? static_cast<int32_t>(std::wcstol(value, nullptr, 10)) : 0;
  return r;
}

// ---------------------------------------------------------------------------
// Browse connect

namespace {

struct BrowseAttr {
  const wchar_t* keyword;
  const wchar_t* prompt;
};

constexpr BrowseAttr kDriverAttrs[] = {
    {L"Database", L"Database Name"}, {L"TYPE", L"IP Type"},     {L"CONNECT_STRING", L"Connection String"},
    {L"SCHEMA_PATH", L"Schema Path"}, {L"PORT", L"Server Port"}, {L"ADDRESS", L"Server Network Address"},
};
constexpr BrowseAttr kUserAttrs[] = {{L"UID", L"User Name"}, {L"PWD", L"Password"}};

// The text the attributes are looked for in: the text without the value of
// its DSN (up to the next ";") or of its braced Driver (up to the "}" that
// closes it), so that a name holding a keyword does not count for it.
std::wstring searchedText(const wchar_t* text, bool driverForm) {
  std::wstring s = text;
  const wchar_t* at = qvwcsistr(text, driverForm ? L"Driver" : L"DSN");
  if (at == nullptr) return s;
  size_t from = static_cast<size_t>(at - text) + (driverForm ? 6 : 3);
  while (from < s.size() && s[from] == L' ') ++from;
  if (from >= s.size() || s[from] != L'=') return s;
  ++from;
  if (driverForm) {
    if (from >= s.size() || s[from] != L'{') return s;
    const size_t close = s.find(L'}', from);
    s.erase(from, close == std::wstring::npos ? std::wstring::npos : close + 1 - from);
  } else {
    const size_t semicolon = s.find(L';', from);
    s.erase(from, semicolon == std::wstring::npos ? std::wstring::npos : semicolon - from);
  }
  return s;
}

}  // namespace

int32_t QvCheckBrowseConnectStr(const wchar_t* text, wchar_t* out, int64_t outMax, int16_t* outLength,
                                int32_t step) {
  if (out != nullptr && outMax > 0) out[0] = L'\0';
  if (text == nullptr || *text == L'\0') {
    TR_TRACE(kSrc, htrODBC, 64, "Invalid input string");
    return -1;
  }
  std::wstring need;
  auto ask = [&](const BrowseAttr& a, const std::wstring& searched, const wchar_t* mark) {
    if (qvwcsistr(searched.c_str(), a.keyword) != nullptr) return;
    need += mark;
    need += a.keyword;
    need += L":";
    need += a.prompt;
    need += L"?;";
  };
  const bool driverForm = qvwcsistr(text, L"Driver") != nullptr;
  if (!driverForm && qvwcsistr(text, L"DSN") == nullptr) {
    TR_TRACEW(kSrc, htrODBC, 64, L"Driver or DSN keyword not found in input string %ls\n", text);
    return -1;
  }
  const std::wstring searched = searchedText(text, driverForm);
  if (driverForm)
    for (const BrowseAttr& a : kDriverAttrs) ask(a, searched, L"");
  if (step == 1)
    for (const BrowseAttr& a : kUserAttrs) ask(a, searched, L"*");
  if (!need.empty()) {
    if (outLength != nullptr) *outLength = static_cast<int16_t>(need.size() > INT16_MAX ? INT16_MAX : need.size());
    if (out == nullptr) TR_TRACE(kSrc, htrODBC, 64, "Output string is NULL");
    LmoWideText target(out, out != nullptr && outMax > 0 ? static_cast<size_t>(outMax) : 0);
    target.put(need.c_str());
    TR_TRACEW(kSrc, htrODBC, 64, L"Need data for output string = %ls\n", need.c_str());
    return 1;
  }
  std::wstring masked = text;
  HideAuthenticationDataForTracingW(masked.data());
  TR_TRACEW(kSrc, htrODBC, 64, L"Complete browse connect string %ls\n", masked.c_str());
  TR_TRACE(kSrc, htrODBC, 64, "Complete browse connect after %d Levels", static_cast<int>(step));
  return 0;
}
