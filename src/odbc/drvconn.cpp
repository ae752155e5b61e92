// The cores of SQLDriverConnect and SQLBrowseConnect: the connect string
// taken apart, then the connect with a data source (SQLConnect's road) or
// without one (the Database names the server).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "common/qvstring.h"
#include "common/qvunicode.h"
#include "src/odbc/connstr.h"
#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoconn.h"
#include "src/odbc/lmoinit.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/drvconn";
constexpr int16_t kNts = -3;
constexpr int16_t kNeedData = 99;
constexpr int32_t kBrowseInChars = 1024;

LmoTLS* contextOf(LmoDbc* dbc) { return dbc->tls.lmo != nullptr ? dbc->tls.lmo : getLmoTLS(0); }

bool driverTypeUnknown(const LmoDbc* dbc) { return gqv_stricmp(dbc->driverType, "unknown") == 0; }

// After a connect: the map-default flag from the ExtendedFunctions value,
// then the set-up when no server told the driver type yet (the DSN-less
// road). After SQLConnect's road, whose set-up ran before the flag was
// known, the client is given the flag itself.
int16_t afterConnect(LmoDbc* dbc, LmoTLS* ctx, int16_t result) {
  QvSetMapDefaultWcharAsChar(dbc, ctx->extendedFunctions, ctx->dsn);
  if (!driverTypeUnknown(dbc)) {
    rda_cliSetMapDefaultWcharAsChar(dbc->rdaDbc, static_cast<uint32_t>(dbc->mapDefaultWcharAsChar));
    return result;
  }
  return result == 0 ? QVSQLInitConnInfo(dbc) : result;
}

// A failure before or of the connect leaves the connect strings empty.
int16_t failed(LmoDbc* dbc, int16_t result) {
  QvSetConnectStr(dbc, nullptr);
  return result;
}

int16_t badLength(LmoDbc* dbc, const char* caller, const char* what) {
  char text[96];
  std::snprintf(text, sizeof text, "%s: Bad length of %s", caller, what);
  lmoAddError(&dbc->errors, kLmoErrBadLength, 0, text);
  return failed(dbc, -1);
}

// Parses `text` into the context's attributes (the Driver value into
// `driver`, of text.size() + 1 characters); false with S1090 naming the
// keyword whose value does not fit.
bool parse(LmoDbc* dbc, LmoTLS* ctx, const std::wstring& text, std::vector<wchar_t>* driver, const char* caller) {
  driver->assign(text.size() + 1, L'\0');
  const char* tooLong = nullptr;
  if (lmo_parse(text.c_str(), ctx->dsn, ctx->uid, ctx->pwd, driver->data(), ctx->database, ctx->extendedFunctions,
                &tooLong) >= 0)
    return true;
  badLength(dbc, caller, tooLong != nullptr ? tooLong : "connection string");
  return false;
}

// Connects with the parsed attributes: with a DSN through SQLConnect's
// road, else to the server its Database names, with `text` and the
// options as the connect string.
int16_t connectParsed(LmoDbc* dbc, LmoTLS* ctx, const std::wstring& text, const char* caller) {
  if (ctx->dsn[0] != L'\0') {
    LmoWideText(ctx->database, kLmoAttrChars).put(ctx->dsn);
    return QVSQLConnectW(dbc, ctx->dsn, kNts, ctx->uid, kNts, ctx->pwd, kNts);
  }
  if (ctx->database[0] == L'\0') {
    lmoAddError(&dbc->errors, kLmoErrGeneral, 0, "Database keyword not present in the connect string");
    return failed(dbc, -1);
  }
  wchar_t* options = QvAllocateWstr(kLmoConnectStrChars + 1);
  char* utf8 = static_cast<char*>(std::malloc(kLmoConnectStrChars + 1));
  if (options == nullptr || utf8 == nullptr) {
    QvReleaseWstr(options);
    std::free(utf8);
    TR_TRACE(kSrc, htrODBC, 2, "SQLDriverConnect: Could not create connect option string");
    lmoAddError(&dbc->errors, kLmoErrMemory, 0, "SQLDriverConnect: Could not create connect option string");
    return failed(dbc, -1);
  }
  LmoWideText(options, kLmoConnectStrChars + 1).put(text.c_str(), text.size());
  QvGetConnectOptions(dbc, options, kLmoConnectStrChars + 1);
  lmoToUtf8(options, kNts, utf8, kLmoConnectStrChars + 1);
  // Whatever an earlier connect of the record learnt, this server is asked
  // again after the connect.
  std::snprintf(dbc->driverType, sizeof dbc->driverType, "%s", "unknown");
  const int32_t r = lmoConnectWide(dbc, ctx->database, ctx->uid, kNts, ctx->pwd, kNts, utf8, caller);
  QvReleaseWstr(options);
  std::free(utf8);
  return r != 0 ? failed(dbc, static_cast<int16_t>(r)) : 0;
}

// The connect string of a call, at most 16384 characters; false when it is
// longer.
bool inputText(const wchar_t* in, int16_t inLength, std::wstring* text) {
  size_t n = 0;
  if (in != nullptr) {
    const size_t max = inLength == kNts ? static_cast<size_t>(kLmoConnectStrChars) + 1 : static_cast<size_t>(inLength);
    while (n < max && in[n] != L'\0') ++n;
  }
  if (n > static_cast<size_t>(kLmoConnectStrChars)) return false;
  text->assign(in != nullptr ? in : L"", n);
  return true;
}

// Clears what a connect call starts without: the connection's flags and
// diagnostics.
LmoDbc* startCall(LmoDbc* dbc, const char* invalid) {
  LmoDbc* d = lmoLiveDbc(dbc);
  if (d == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "%s", invalid);
    return nullptr;
  }
  d->flags = 0;
  lmoClearErrorList(&d->errors);
  return d;
}

}  // namespace

int16_t QVSQLDriverConnectW(LmoDbc* dbc, void* window, wchar_t* in, int16_t inLength, wchar_t* out, int16_t outMax,
                            int16_t* outLength, uint16_t completion) {
  static constexpr const char* kCaller = "SQLDriverConnectW";
  LmoDbc* d = startCall(dbc, "SQLDriverConnectW: Invalid hdbc handle");
  if (d == nullptr) return -2;
  if (completion >= 4) {
    lmoAddError(&d->errors, kLmoErrDriverCompletion, 0, nullptr);
    return -1;
  }
  std::wstring text;
  if ((inLength < 0 && inLength != kNts) || !inputText(in, inLength, &text)) {
    lmoAddError(&d->errors, kLmoErrBadLength, 0, "SQLDriverConnectW: Bad length of connection string");
    return -1;
  }
  LmoTLS* ctx = contextOf(d);
  if (ctx == nullptr) return -1;
  ctx->windowHandle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window));
  QvSetConnectStr(d, text.c_str());
  std::vector<wchar_t> driver;
  if (!parse(d, ctx, text, &driver, kCaller)) return -1;
  // The custom properties go back in the output string: they are checked
  // before anything is connected.
  const bool output = out != nullptr && outMax > 0;
  if (output && lmoCheckCustomProperties(d, text.c_str(), static_cast<int64_t>(text.size())) != 0)
    return failed(d, -1);

  int16_t r = connectParsed(d, ctx, text, kCaller);
  if (r != 0) return r;
  if (output) {
    LmoWideText o(out, static_cast<size_t>(outMax));
    auto attribute = [&o](const wchar_t* keyword, const wchar_t* value) {
      if (value[0] == L'\0') return;
      o.put(keyword);
      o.put(value);
      o.put(L";");
    };
    attribute(L"DSN=", ctx->dsn);
    if (driver[0] != L'\0') {
      attribute(L"Driver=", driver.data());
      o.put(L"Server=Mirodel;");
      o.put(L"Database=");
      o.put(ctx->database);
      o.put(L";");
    }
    attribute(L"UID=", ctx->uid);
    attribute(L"PWD=", ctx->pwd);
    attribute(L"ExtendedFunctions=", ctx->extendedFunctions);
    r = static_cast<int16_t>(lmo_append_custom_property(d, text.c_str(), static_cast<int64_t>(text.size()), out, outMax));
    if (outLength != nullptr) *outLength = static_cast<int16_t>(std::wcslen(out));
  }
  return afterConnect(d, ctx, r);
}

int16_t QVSQLBrowseConnectW(LmoDbc* dbc, wchar_t* in, int16_t inLength, wchar_t* out, int16_t outMax,
                            int16_t* outLength) {
  static constexpr const char* kCaller = "SQLBrowseConnectW";
  LmoDbc* d = startCall(dbc, "SQLBrowseConnectW: Invalid hdbc handle");
  if (d == nullptr) return -2;
  if (inLength < 0 && inLength != kNts) {
    lmoAddError(&d->errors, kLmoErrBadLength, 0, "SQLBrowseConnectW: Bad length of connection string");
    return -1;
  }
  // A piece holds at most 1024 characters; a longer one is refused, not
  // cut.
  wchar_t piece[kBrowseInChars + 2];
  LmoWideText(piece, kBrowseInChars + 2)
      .put(in != nullptr ? in : L"", inLength == kNts ? kBrowseInChars + 1 : static_cast<size_t>(inLength));
  if (std::wcslen(piece) > static_cast<size_t>(kBrowseInChars)) {
    lmoAddError(&d->errors, kLmoErrBadLength, 0, "SQLBrowseConnectW: Bad length of connection string");
    return -1;
  }
  LmoTLS* ctx = contextOf(d);
  if (ctx == nullptr) return -1;
  if (ctx->browseStep == 0) QvSetConnectStr(d, piece);
  else QvAppendConnectStr(d, piece);
  ++ctx->browseStep;
  const int32_t check = QvCheckBrowseConnectStr(d->connectStr, out, outMax, outLength, ctx->browseStep);
  if (check == 1) {
    TR_TRACE(kSrc, htrODBC, 64, "Need more connect attributes");
    return kNeedData;
  }
  if (check == -1) {
    lmoAddSQLState(&d->errors, "01S00", 0, "SQLBrowseConnectW: Invalid connection string attribute");
    return -1;
  }
  ctx->browseStep = 0;
  const std::wstring text = d->connectStr;
  std::vector<wchar_t> driver;
  if (!parse(d, ctx, text, &driver, kCaller)) return -1;
  int16_t r = connectParsed(d, ctx, text, kCaller);
  if (r != 0) return r;
  if (out != nullptr && outMax > 0) {
    LmoWideText o(out, static_cast<size_t>(outMax));
    o.put(d->connectStr);
    if (outLength != nullptr) *outLength = static_cast<int16_t>(o.len);
  }
  return afterConnect(d, ctx, r);
}
