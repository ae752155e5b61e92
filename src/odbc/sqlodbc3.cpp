// Exports of the ODBC 3.51 call set: each translates its handle type,
// attribute or descriptor field and calls the ODBC 2 body that does the
// work. Refusals of their own are trace lines only (no diagnostic), as a
// driver manager that asks for an attribute the driver lacks expects.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/qvunicode.h"
#include "src/odbc/exports.h"
#include "src/odbc/exports3.h"
#include "src/odbc/lmoodbc3.h"
#include "src/odbc/odbcwide.h"
#include "src/odbc/odbcwidebuf.h"
#include "src/odbc/qvprnt.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/sqlodbc3";
constexpr SQLINTEGER kDriverUnicodeType = 1065;
constexpr SQLINTEGER kUnicodeUtf16 = 1;
// Room for a text connection option as the option core writes it.
constexpr int32_t kTextOptionBytes = 1024;
// What the narrow SQLColAttribute reads a text field through at least.
constexpr int64_t kAttributeChars = 128;
constexpr int64_t kWholeTextChars = 1024;
// Room for a whole diagnostic message.
constexpr SQLSMALLINT kWholeMessageChars = 4096;

SQLULEN word(SQLPOINTER value) { return static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value)); }

// The descriptor fields whose value is text.
bool textField(SQLUSMALLINT field) {
  switch (field) {
    case SQL_DESC_NAME: case SQL_DESC_LABEL: case SQL_DESC_CATALOG_NAME: case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_TYPE_NAME: case SQL_DESC_TABLE_NAME:
      return true;
    default:
      return false;
  }
}

// The statement attributes whose value is a 32-bit word.
bool wordStmtAttribute(SQLINTEGER attribute) {
  return (attribute >= 0 && attribute <= 8) || attribute == 10 || attribute == 11 || attribute == 12 ||
         attribute == 14 || attribute == 27;
}

// The text of a connection option into `out` (terminated); the option
// body's result.
SQLRETURN textOption(SQLHDBC dbc, SQLUSMALLINT option, char (&out)[kTextOptionBytes]) {
  std::memset(out, 0, sizeof out);
  const SQLRETURN rc = lmoSQLGetConnectOption(dbc, option, out);
  out[sizeof out - 1] = '\0';
  return rc;
}

// The bytes of a UTF-8 text that fit `size` - 1, cut at a character start.
size_t fitBytes(const char* text, size_t length, int64_t size) {
  if (size <= 0) return 0;
  size_t n = std::min(length, static_cast<size_t>(size - 1));
  if (n < length)
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

SQLRETURN getConnectText(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value, SQLINTEGER bufferLength,
                         SQLINTEGER* lengthOut, int32_t unit) {
  char text[kTextOptionBytes];
  SQLRETURN rc = textOption(dbc, option, text);
  if (!qvOk(rc)) return rc;
  bool cut = false;
  int64_t length = 0;
  if (unit == 1) {
    const size_t whole = std::strlen(text);
    const size_t n = value != nullptr ? fitBytes(text, whole, bufferLength) : 0;
    if (value != nullptr && bufferLength > 0) {
      std::memcpy(value, text, n);
      static_cast<char*>(value)[n] = '\0';
    }
    cut = value != nullptr && n < whole;
    length = static_cast<int64_t>(whole);
  } else {
    wchar_t wide[kTextOptionBytes];
    const int32_t chars = QvWidenText(text, -3, wide, kTextOptionBytes);
    const int64_t units = bufferLength > 0 ? bufferLength / unit : 0;
    const WideOut w = unit == 4 ? QvPutWide(wide, chars, static_cast<wchar_t*>(value), units)
                                : QvPutAppWide(wide, chars, value, units);
    cut = w.truncated;
    length = w.units * unit;
  }
  if (lengthOut != nullptr) *lengthOut = qvClamp32(length);
  return qvCutResult(rc, cut, dbc, nullptr);
}

SQLRETURN getConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                         SQLINTEGER* lengthOut, int32_t unit) {
  const uint32_t option = qvConnOption(attribute);
  if (option == kQvAttrUnsupported) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetConnectAttr: Invalid attribute: %d", static_cast<int>(attribute));
    return SQL_ERROR;
  }
  const auto opt = static_cast<SQLUSMALLINT>(option);
  if (qvIsTextConnectOption(opt)) return getConnectText(dbc, opt, value, bufferLength, lengthOut, unit);
  SQLULEN local = 0;
  const SQLRETURN rc = lmoSQLGetConnectOption(dbc, opt, value != nullptr ? value : &local);
  if (qvOk(rc) && lengthOut != nullptr) *lengthOut = 4;
  return rc;
}

}  // namespace

static SQLRETURN untracedAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out) {
  switch (type) {
    case SQL_HANDLE_ENV: return lmoSQLAllocEnv(out);
    case SQL_HANDLE_DBC: return lmoSQLAllocConnect(input, out);
    case SQL_HANDLE_STMT: return lmoSQLAllocStmt(input, out);
    default:
      TR_TRACE(kSrc, htrODBC, 2, "SQLAllocHandle: Invalid handle type: %hd", type);
      return SQL_ERROR;
  }
}

static SQLRETURN untracedFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV: return lmoSQLFreeEnv(handle);
    case SQL_HANDLE_DBC: return lmoSQLFreeConnect(handle);
    case SQL_HANDLE_STMT: return qvAppFreeStmt(handle, SQL_DROP);
    default:
      TR_TRACE(kSrc, htrODBC, 2, "SQLFreeHandle: Invalid handle type: %hd", type);
      return SQL_ERROR;
  }
}

static SQLRETURN untracedCloseCursor(SQLHSTMT stmt) { return qvAppFreeStmt(stmt, SQL_CLOSE); }

static SQLRETURN untracedEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  const auto c = static_cast<SQLUSMALLINT>(completion);
  switch (type) {
    case SQL_HANDLE_ENV: return lmoSQLTransact(handle, nullptr, c);
    case SQL_HANDLE_DBC: return lmoSQLTransact(nullptr, handle, c);
    default:
      TR_TRACE(kSrc, htrODBC, 2, "SQLEndTran: Invalid handle type: %hd", type);
      return SQL_ERROR;
  }
}

static SQLRETURN untracedFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  if (orientation != SQL_FETCH_NEXT) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLFetchScroll: Unsupported Fetch Orientation: %hd", orientation);
    return SQL_ERROR;
  }
  return qvAppExtendedFetch(stmt, SQL_FETCH_NEXT, offset, nullptr, nullptr);
}

static SQLRETURN untracedGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT, SQLCHAR* sqlState, SQLINTEGER* native,
                           SQLCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
  switch (type) {
    case SQL_HANDLE_ENV: return lmoSQLError(handle, nullptr, nullptr, sqlState, native, message, bufferLength, textLength);
    case SQL_HANDLE_DBC: return lmoSQLError(nullptr, handle, nullptr, sqlState, native, message, bufferLength, textLength);
    case SQL_HANDLE_STMT:
      return lmoSQLError(nullptr, nullptr, handle, sqlState, native, message, bufferLength, textLength);
    default:
      TR_TRACE(kSrc, htrODBC, 2, "SQLGetDiagRec: Unsupported handle type: %hd", type);
      return SQL_ERROR;
  }
}

namespace {

template <class ErrorW>
SQLRETURN diagRecW(ErrorW errorW, SQLSMALLINT type, SQLHANDLE handle, SQLWCHAR* sqlState, SQLINTEGER* native,
                   SQLWCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
  switch (type) {
    case SQL_HANDLE_ENV: return errorW(handle, nullptr, nullptr, sqlState, native, message, bufferLength, textLength);
    case SQL_HANDLE_DBC: return errorW(nullptr, handle, nullptr, sqlState, native, message, bufferLength, textLength);
    case SQL_HANDLE_STMT: return errorW(nullptr, nullptr, handle, sqlState, native, message, bufferLength, textLength);
    default:
      TR_TRACE(kSrc, htrODBC, 2, "SQLGetDiagRec: Unsupported handle type: %hd", type);
      return SQL_ERROR;
  }
}

}  // namespace

static SQLRETURN untracedGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT, SQLWCHAR* sqlState, SQLINTEGER* native,
                            SQLWCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
  return diagRecW(lmoSQLErrorW, type, handle, sqlState, native, message, bufferLength, textLength);
}

static SQLRETURN untracedSetEnvAttr(SQLHENV henv, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  QvDriverLock lock;
  LmoEnv* env = lmoLiveEnv(henv);
  if (env == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetEnvAttr: Invalid henv handle");
    return SQL_INVALID_HANDLE;
  }
  if (attribute != SQL_ATTR_ODBC_VERSION) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetEnvAttr(Attribute=%d): Driver not capable", static_cast<int>(attribute));
    return SQL_ERROR;
  }
  const SQLULEN version = word(value);
  if (version != SQL_OV_ODBC2 && version != SQL_OV_ODBC3) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetEnvAttr(SQL_ATTR_ODBC_VERSION): Invalid Argument value");
    return SQL_ERROR;
  }
  env->odbcVersion = static_cast<int32_t>(version);
  return SQL_SUCCESS;
}

static SQLRETURN untracedGetEnvAttr(SQLHENV henv, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                           SQLINTEGER* lengthOut) {
  QvDriverLock lock;
  LmoEnv* env = lmoLiveEnv(henv);
  if (env == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetEnvAttr: Invalid henv handle");
    return SQL_INVALID_HANDLE;
  }
  int32_t answer = 0;
  if (attribute == SQL_ATTR_ODBC_VERSION) {
    answer = env->odbcVersion;
  } else if (attribute == kDriverUnicodeType) {
    answer = kUnicodeUtf16;
    TR_TRACE(kSrc, htrODBC, 16, "SQLGetEnvAttr: Returning SDL_DD_CP_UTF16 ");
  } else {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetEnvAttr(Attribute=%d): Driver not capable", static_cast<int>(attribute));
    return SQL_ERROR;
  }
  if (value == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetEnvAttr: Invalid value buffer: 0x%p", value);
    return SQL_ERROR;
  }
  std::memcpy(value, &answer, sizeof answer);
  if (lengthOut != nullptr) *lengthOut = 4;
  return SQL_SUCCESS;
}

static SQLRETURN untracedSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  const uint32_t option = qvConnOption(attribute);
  if (option == kQvAttrUnsupported) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetConnectAttr: Invalid attribute: %d", static_cast<int>(attribute));
    return SQL_ERROR;
  }
  const auto opt = static_cast<SQLUSMALLINT>(option);
  // A counted text need not be terminated: the option body reads a
  // terminated copy.
  if (qvIsTextConnectOption(opt) && value != nullptr && length >= 0) {
    const auto* text = static_cast<const char*>(value);
    const std::string copy(text, strnlen(text, static_cast<size_t>(length)));
    return lmoSQLSetConnectOption(dbc, opt, word(const_cast<char*>(copy.c_str())));
  }
  return lmoSQLSetConnectOption(dbc, opt, word(value));
}

static SQLRETURN untracedGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                               SQLINTEGER* lengthOut) {
  return getConnectAttr(dbc, attribute, value, bufferLength, lengthOut, 1);
}

static SQLRETURN untracedSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  const uint32_t option = qvConnOption(attribute);
  if (option == kQvAttrUnsupported || !qvIsTextConnectOption(static_cast<SQLUSMALLINT>(option)) ||
      value == nullptr)
    return untracedSetConnectAttr(dbc, attribute, value, length);
  const int64_t chars = length >= 0 ? length / static_cast<int64_t>(sizeof(SQLWCHAR)) : -3;
  char* narrow = QvWcsToMbs(static_cast<const wchar_t*>(value), chars);
  if (narrow == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLSetConnectAttrW: Can't allocate memory for the option text");
    return SQL_ERROR;
  }
  const SQLRETURN rc = lmoSQLSetConnectOption(dbc, static_cast<SQLUSMALLINT>(option), word(narrow));
  std::free(narrow);
  return rc;
}

static SQLRETURN untracedGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                                SQLINTEGER* lengthOut) {
  return getConnectAttr(dbc, attribute, value, bufferLength, lengthOut, sizeof(SQLWCHAR));
}

static SQLRETURN untracedSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  const uint32_t option = qvStmtOption(attribute);
  if (option != kQvAttrUnsupported && option != kQvAttrDescriptor && option != kQvAttrIgnored)
    return lmoSQLSetStmtOption(stmt, static_cast<SQLUSMALLINT>(option), word(value));
  const bool nullPointer = value == nullptr && (attribute == SQL_ATTR_ROW_BIND_OFFSET_PTR ||
                                                attribute == SQL_ATTR_ROW_OPERATION_PTR ||
                                                attribute == SQL_ATTR_ROW_STATUS_PTR);
  if (option == kQvAttrIgnored || nullPointer) return lmoLiveStmt(stmt) != nullptr ? SQL_SUCCESS : SQL_INVALID_HANDLE;
  TR_TRACE(kSrc, htrODBC, 2, "SQLSetStmtAttr(%d). Driver does not support the attribute", static_cast<int>(attribute));
  return SQL_ERROR;
}

static SQLRETURN untracedGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                            SQLINTEGER* lengthOut) {
  const uint32_t option = qvStmtOption(attribute);
  if (option == kQvAttrDescriptor) {
    if (lmoLiveStmt(stmt) == nullptr) return SQL_INVALID_HANDLE;
    if (value == nullptr) {
      TR_TRACE(kSrc, htrODBC, 2, "SQLGetStmtAttr: Invalid value buffer: 0x%p", value);
      return SQL_ERROR;
    }
    QvDummyDesc* desc = attribute == SQL_ATTR_APP_ROW_DESC     ? &lDummyARD
                        : attribute == SQL_ATTR_APP_PARAM_DESC ? &lDummyAPD
                        : attribute == SQL_ATTR_IMP_ROW_DESC   ? &lDummyIRD
                                                               : &lDummyIPD;
    *static_cast<SQLHANDLE*>(value) = desc;
    if (lengthOut != nullptr) *lengthOut = 4;
    return SQL_SUCCESS;
  }
  if (option == kQvAttrUnsupported || option == kQvAttrIgnored) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLGetStmtAttr: Invalid attribute: %d", static_cast<int>(attribute));
    return SQL_ERROR;
  }
  SQLULEN local = 0;
  const SQLRETURN rc = lmoSQLGetStmtOption(stmt, static_cast<SQLUSMALLINT>(option), value != nullptr ? value : &local);
  if (qvOk(rc) && lengthOut != nullptr && wordStmtAttribute(attribute)) *lengthOut = 4;
  return rc;
}

namespace {

// The column attribute of a field, or 0 after the refusal's trace line.
bool mapField(SQLUSMALLINT field, SQLUSMALLINT* attribute) {
  const uint16_t a = qvColAttributeOfField(field);
  if (a == kQvFieldUnsupported) {
    TR_TRACE(kSrc, htrODBC, 2, "SQLColAttribute: Invalid field identifier: %u", static_cast<unsigned>(field));
    return false;
  }
  *attribute = a;
  return true;
}

}  // namespace

static SQLRETURN untracedColAttributeW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                              SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  SQLUSMALLINT attribute = 0;
  if (!mapField(field, &attribute)) return SQL_ERROR;
  return lmoSQLColAttributesW(stmt, column, attribute, text, bufferLength, textLength, number);
}

// Read through a wide buffer that holds what the caller's buffer can take
// (and at least 128 characters), so that a text is cut only where the
// caller's buffer ends, and the cut is told.
static SQLRETURN untracedColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                             SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  SQLUSMALLINT attribute = 0;
  if (!mapField(field, &attribute)) return SQL_ERROR;
  const int64_t chars = std::min<int64_t>(std::max<int64_t>({int64_t{bufferLength}, kAttributeChars, kWholeTextChars}) + 1,
                                          INT16_MAX / static_cast<int64_t>(sizeof(SQLWCHAR)));
  SQLWCHAR* wide = QvAllocateWstr(chars);
  if (wide == nullptr) return SQL_ERROR;
  SQLSMALLINT wideLength = 0;
  SQLRETURN rc = lmoSQLColAttributesW(stmt, column, attribute, wide, static_cast<SQLSMALLINT>(chars * sizeof(SQLWCHAR)),
                                      &wideLength, number);
  if (qvOk(rc)) {
    if (textField(field)) {
      bool cut = false;
      const int64_t whole = qvPutNarrow(wide, -3, static_cast<SQLCHAR*>(text), bufferLength, &cut);
      if (textLength != nullptr) *textLength = qvClamp16(whole);
      rc = qvCutResult(rc, cut, nullptr, stmt);
    } else if (textLength != nullptr) {
      *textLength = wideLength;
    }
  }
  QvReleaseWstr(wide);
  return rc;
}

// The bodies above between the records of their printers. The JNI natives
// and the narrow forms come in here, as do the exports.

SQLRETURN lmoSQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out) {
  return qvTraced(QVPrntSQLAllocHandle, [&] { return untracedAllocHandle(type, input, out); }, type, input, out);
}
SQLRETURN lmoSQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  return qvTraced(QVPrntSQLFreeHandle, [&] { return untracedFreeHandle(type, handle); }, type, handle);
}
SQLRETURN lmoSQLCloseCursor(SQLHSTMT stmt) {
  return qvTraced(QVPrntSQLCloseCursor, [&] { return untracedCloseCursor(stmt); }, stmt);
}
SQLRETURN lmoSQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  return qvTraced(QVPrntSQLEndTran, [&] { return untracedEndTran(type, handle, completion); }, type, handle,
                  completion);
}
SQLRETURN lmoSQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  return qvTraced(QVPrntSQLFetchScroll, [&] { return untracedFetchScroll(stmt, orientation, offset); }, stmt,
                  orientation, offset);
}
SQLRETURN lmoSQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* sqlState,
                           SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
  return qvTraced(QVPrntSQLGetDiagRec, [&] {
    return untracedGetDiagRec(type, handle, record, sqlState, native, message, bufferLength, textLength);
  }, type, handle, record, sqlState, native, message, bufferLength, textLength);
}
SQLRETURN lmoSQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLWCHAR* sqlState,
                            SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
  return qvTraced(QVPrntSQLGetDiagRecW, [&] {
    return untracedGetDiagRecW(type, handle, record, sqlState, native, message, bufferLength, textLength);
  }, type, handle, record, sqlState, native, message, bufferLength, textLength);
}
SQLRETURN lmoSQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  return qvTraced(QVPrntSQLSetEnvAttr, [&] { return untracedSetEnvAttr(env, attribute, value, length); }, env,
                  attribute, value, length);
}
SQLRETURN lmoSQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                           SQLINTEGER* lengthOut) {
  return qvTraced(QVPrntSQLGetEnvAttr, [&] {
    return untracedGetEnvAttr(env, attribute, value, bufferLength, lengthOut);
  }, env, attribute, value, bufferLength, lengthOut);
}
SQLRETURN lmoSQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  return qvTraced(QVPrntSQLSetConnectAttr, [&] { return untracedSetConnectAttr(dbc, attribute, value, length); },
                  dbc, attribute, value, length);
}
SQLRETURN lmoSQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                               SQLINTEGER* lengthOut) {
  return qvTraced(QVPrntSQLGetConnectAttr, [&] {
    return untracedGetConnectAttr(dbc, attribute, value, bufferLength, lengthOut);
  }, dbc, attribute, value, bufferLength, lengthOut);
}
SQLRETURN lmoSQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  return qvTraced(QVPrntSQLSetConnectAttrW, [&] { return untracedSetConnectAttrW(dbc, attribute, value, length); },
                  dbc, attribute, value, length);
}
SQLRETURN lmoSQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                                SQLINTEGER* lengthOut) {
  return qvTraced(QVPrntSQLGetConnectAttrW, [&] {
    return untracedGetConnectAttrW(dbc, attribute, value, bufferLength, lengthOut);
  }, dbc, attribute, value, bufferLength, lengthOut);
}
SQLRETURN lmoSQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  return qvTraced(QVPrntSQLSetStmtAttr, [&] { return untracedSetStmtAttr(stmt, attribute, value, length); }, stmt,
                  attribute, value, length);
}
SQLRETURN lmoSQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                            SQLINTEGER* lengthOut) {
  return qvTraced(QVPrntSQLGetStmtAttr, [&] {
    return untracedGetStmtAttr(stmt, attribute, value, bufferLength, lengthOut);
  }, stmt, attribute, value, bufferLength, lengthOut);
}
SQLRETURN lmoSQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                             SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  return qvTraced(QVPrntSQLColAttribute, [&] {
    return untracedColAttribute(stmt, column, field, text, bufferLength, textLength, number);
  }, stmt, column, field, text, bufferLength, textLength, number);
}
SQLRETURN lmoSQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                              SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  return qvTraced(QVPrntSQLColAttributeW, [&] {
    return untracedColAttributeW(stmt, column, field, text, bufferLength, textLength, number);
  }, stmt, column, field, text, bufferLength, textLength, number);
}

namespace {

// SQLGetDiagRecW for an application of UTF-16 text: the record is read and
// traced in the library's wide form, then given in the application's.
SQLRETURN appDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLWCHAR* sqlState,
                      SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
  SQLWCHAR state[6] = {0};
  SQLWCHAR* whole = QvAllocateWstr(kWholeMessageChars);
  if (whole == nullptr) return SQLRETURN{SQL_ERROR};
  SQLSMALLINT wholeLength = 0;
  SQLRETURN rc = lmoSQLGetDiagRecW(type, handle, record, state, native, whole, kWholeMessageChars, &wholeLength);
  if (qvOk(rc) || rc == SQL_NO_DATA) {
    if (sqlState != nullptr) QvPutAppWide(state, 5, sqlState, 6);
    const WideOut w = QvPutAppWide(whole, -3, message, bufferLength);
    if (textLength != nullptr) *textLength = qvClamp16(w.units);
    if (w.truncated && message != nullptr && rc == SQL_SUCCESS) rc = SQL_SUCCESS_WITH_INFO;
  }
  QvReleaseWstr(whole);
  return rc;
}

// SQLColAttributeW's text fields for an application of UTF-16 text: read and
// traced in the library's wide form, then given in the application's.
SQLRETURN appColAttributeW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                           SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  const int64_t units = bufferLength > 0 ? bufferLength / 2 : 0;
  const int64_t chars =
      std::min<int64_t>(std::max<int64_t>(units, kWholeTextChars) + 1, INT16_MAX / static_cast<int64_t>(sizeof(SQLWCHAR)));
  SQLWCHAR* whole = QvAllocateWstr(chars);
  if (whole == nullptr) return SQLRETURN{SQL_ERROR};
  SQLSMALLINT wholeBytes = 0;
  SQLRETURN rc = lmoSQLColAttributeW(stmt, column, field, whole, qvClamp16(chars * static_cast<int64_t>(sizeof(SQLWCHAR))),
                                     &wholeBytes, number);
  if (qvOk(rc)) {
    const WideOut w = QvPutAppWide(whole, -3, text, units);
    if (textLength != nullptr) *textLength = qvClamp16(w.units * 2);
    rc = qvCutResult(rc, w.truncated, nullptr, stmt);
  }
  QvReleaseWstr(whole);
  return rc;
}

}  // namespace

// ---------------------------------------------------------------------------

QV_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out) {
  // An environment is the start-up's to make: it runs before the driver is
  // attached.
  if (type == SQL_HANDLE_ENV) {
    try {
      return lmoSQLAllocHandle(type, input, out);
    } catch (...) {
      return SQL_ERROR;
    }
  }
  return qvExport([&] { return lmoSQLAllocHandle(type, input, out); });
}
QV_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  return qvExport([&] { return lmoSQLFreeHandle(type, handle); });
}
QV_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt) { return qvExport([&] { return lmoSQLCloseCursor(stmt); }); }
QV_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  return qvExport([&] { return lmoSQLEndTran(type, handle, completion); });
}
QV_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  return qvExport([&] { return lmoSQLFetchScroll(stmt, orientation, offset); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* sqlState,
                                          SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT bufferLength,
                                          SQLSMALLINT* textLength) {
  return qvExport(
      [&] { return lmoSQLGetDiagRec(type, handle, record, sqlState, native, message, bufferLength, textLength); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLWCHAR* sqlState,
                                           SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT bufferLength,
                                           SQLSMALLINT* textLength) {
  return qvExport([&] {
    if (QvWideIsUtf16()) return appDiagRecW(type, handle, record, sqlState, native, message, bufferLength, textLength);
    return lmoSQLGetDiagRecW(type, handle, record, sqlState, native, message, bufferLength, textLength);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  return qvExport([&] { return lmoSQLSetEnvAttr(env, attribute, value, length); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                          SQLINTEGER bufferLength, SQLINTEGER* lengthOut) {
  return qvExport([&] { return lmoSQLGetEnvAttr(env, attribute, value, bufferLength, lengthOut); });
}
QV_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                              SQLINTEGER length) {
  return qvExport([&] { return lmoSQLSetConnectAttr(dbc, attribute, value, length); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                              SQLINTEGER bufferLength, SQLINTEGER* lengthOut) {
  return qvExport([&] { return lmoSQLGetConnectAttr(dbc, attribute, value, bufferLength, lengthOut); });
}
// The text attributes' lengths are bytes of the application's wide form.
QV_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER length) {
  return qvExport([&] {
    const uint32_t option = qvConnOption(attribute);
    if (!QvWideIsUtf16() || value == nullptr || option == kQvAttrUnsupported ||
        !qvIsTextConnectOption(static_cast<SQLUSMALLINT>(option)))
      return lmoSQLSetConnectAttrW(dbc, attribute, value, length);
    WideIn text(value, length >= 0 ? length / 2 : -3);
    if (text.failed()) return SQLRETURN{SQL_ERROR};
    const int64_t chars = text.length() >= 0 ? text.length() : static_cast<int64_t>(std::wcslen(text.text()));
    return lmoSQLSetConnectAttrW(dbc, attribute, text.text(), qvClamp32(chars * static_cast<int64_t>(sizeof(SQLWCHAR))));
  });
}
QV_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER bufferLength, SQLINTEGER* lengthOut) {
  return qvExport([&] {
    return qvTraced(QVPrntSQLGetConnectAttrW, [&] {
      return getConnectAttr(dbc, attribute, value, bufferLength, lengthOut, QvWideIsUtf16() ? 2 : 4);
    }, dbc, attribute, value, bufferLength, lengthOut);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  return qvExport([&] { return lmoSQLSetStmtAttr(stmt, attribute, value, length); });
}
QV_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                            SQLINTEGER length) {
  return qvExport([&] {
    return qvTraced(QVPrntSQLSetStmtAttrW, [&] { return untracedSetStmtAttr(stmt, attribute, value, length); }, stmt,
                    attribute, value, length);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                           SQLINTEGER bufferLength, SQLINTEGER* lengthOut) {
  return qvExport([&] { return lmoSQLGetStmtAttr(stmt, attribute, value, bufferLength, lengthOut); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                            SQLINTEGER bufferLength, SQLINTEGER* lengthOut) {
  return qvExport([&] {
    return qvTraced(QVPrntSQLGetStmtAttrW, [&] {
      return untracedGetStmtAttr(stmt, attribute, value, bufferLength, lengthOut);
    }, stmt, attribute, value, bufferLength, lengthOut);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                            SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  return qvExport([&] { return lmoSQLColAttribute(stmt, column, field, text, bufferLength, textLength, number); });
}
// Byte counts of the application's wide form.
QV_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                             SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength,
                                             SQLLEN* number) {
  return qvExport([&] {
    if (QvWideIsUtf16() && text != nullptr && textField(field))
      return appColAttributeW(stmt, column, field, text, bufferLength, textLength, number);
    return lmoSQLColAttributeW(stmt, column, field, text, bufferLength, textLength, number);
  });
}
