#include "src/odbc/lmoerr.h"

#include <cwchar>

#include "common/qvthread.h"
#include "common/qvunicode.h"
#include "src/odbc/lmo.h"
#include "src/odbc/odbcwide.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/lmoerr";

}  // namespace

const LmoBuiltinRow ODBC_gSQLStateTable[kLmoErrorRows] = {
    {L"00000", L"Success"},  // 0
    {L"01000", L"Success with warning"},  // 1
    {L"01002", L"Success with warning - Disconnect error"},  // 2
    {L"01003", L"Success with warning - Null value eliminated in set function"},  // 3
    {L"01004", L"Success with warning - Data, right truncation"},  // 4
    {L"01005", L"Success with warning - Insufficient item descriptor areas"},  // 5
    {L"01006", L"Success with warning - Privilege not revoked"},  // 6
    {L"01007", L"Success with warning - Privilege not granted"},  // 7
    {L"02000", L"No data"},  // 8
    {L"07000", L"Dynamic SQL error"},  // 9
    {L"07001", L"Dynamic SQL error - 'using-clause' does not match dynamic parameters"},  // 10
    {L"07002", L"Dynamic SQL error - 'using-clause' does not match target specification"},  // 11
    {L"07003", L"Dynamic SQL error - Cursor specification cannot be executed"},  // 12
    {L"07004", L"Dynamic SQL error - 'using-clause' is required for dynamic parameters"},  // 13
    {L"07005", L"Dynamic SQL error - Prepared statement is not a cursor specification"},  // 14
    {L"07006", L"Dynamic SQL error - restricted data type attribute violation"},  // 15
    {L"07008", L"Dynamic SQL error - Invalid descriptor count"},  // 16
    {L"07009", L"Dynamic SQL error - Invalid descriptor index"},  // 17
    {L"08000", L"Connection exception"},  // 18
    {L"08001", L"Connection exception - Client unable to establish connection"},  // 19
    {L"08002", L"Connection exception - Connection name in use"},  // 20
    {L"08003", L"Connection exception - Connection does not exist"},  // 21
    {L"08004", L"Connection exception - Server rejected the connection"},  // 22
    {L"08006", L"Connection exception - Connection failure"},  // 23
    {L"08007", L"Connection exception - Transaction resolution unknown"},  // 24
    {L"0A000", L"Feature not supported"},  // 25
    {L"0A001", L"Feature not supported - Multiple-server transaction"},  // 26
    {L"21000", L"Cardinality violation"},  // 27
    {L"22000", L"Data exception"},  // 28
    {L"22001", L"Data exception - String data, right truncation"},  // 29
    {L"22002", L"Data exception - Null value, no indicator parameter"},  // 30
    {L"22003", L"Data exception - Numeric value out of range"},  // 31
    {L"22005", L"Data exception - Error in assignment"},  // 32
    {L"22012", L"Data exception - Division by zero"},  // 33
    {L"22019", L"Data exception - Invalid escape character"},  // 34
    {L"22024", L"Data exception - Non-terminated string"},  // 35
    {L"22025", L"Data exception - Invalid escape sequence"},  // 36
    {L"23000", L"Integrity constraint violation"},  // 37
    {L"24000", L"Invalid cursor state"},  // 38
    {L"25000", L"Invalid transaction state"},  // 39
    {L"26000", L"Invalid SQL statement identifier"},  // 40
    {L"28000", L"Invalid authorization specification"},  // 41
    {L"2D000", L"Invalid transaction termination"},  // 42
    {L"2E000", L"Invalid connection name"},  // 43
    {L"33000", L"Invalid SQL descriptor name"},  // 44
    {L"35000", L"Invalid exception number"},  // 45
    {L"37000", L"Syntax error or access violation in PREPARE or EXECUTE IMMEDIATE"},  // 46
    {L"40000", L"Transaction rollback"},  // 47
    {L"40003", L"Transaction rollback - Statement completion unknown"},  // 48
    {L"42000", L"Syntax error or access violation"},  // 49
    {L"44000", L"WITH CHECK OPTION violation"},  // 50
    {L"S1000", L"General error"},  // 51
    {L"S1001", L"Memory allocation failure"},  // 52
    {L"S1002", L"Invalid column number"},  // 53
    {L"S1003", L"Program type out of range"},  // 54
    {L"S1004", L"SQL data type out of range"},  // 55
    {L"S1008", L"Operation canceled"},  // 56
    {L"S1009", L"Invalid argument value"},  // 57
    {L"S1010", L"Function sequence error"},  // 58
    {L"S1012", L"Invalid transaction operation code"},  // 59
    {L"S1015", L"No cursor name available"},  // 60
    {L"S1090", L"Invalid string or buffer length"},  // 61
    {L"S1091", L"Descriptor type out of range"},  // 62
    {L"S1092", L"Option type out of range"},  // 63
    {L"S1093", L"Invalid parameter number"},  // 64
    {L"S1094", L"Invalid scale value"},  // 65
    {L"S1095", L"Function type out of range"},  // 66
    {L"S1096", L"Information type out of range"},  // 67
    {L"S1097", L"Column type out of range"},  // 68
    {L"S1098", L"Scope type out of range"},  // 69
    {L"S1099", L"Nullable type out of range"},  // 70
    {L"S1100", L"Uniqueness option type out of range"},  // 71
    {L"S1101", L"Accuracy option type out of range"},  // 72
    {L"S1102", L"Table type out of range"},  // 73
    {L"S1103", L"Direction option type out of range"},  // 74
    {L"S1106", L"Fetch type out of range"},  // 75
    {L"S1107", L"Row value out of range"},  // 76
    {L"S1108", L"Concurrency option out of range "},  // 77
    {L"S1109", L"Invalid cursor position; no keyset defined"},  // 78
    {L"S1110", L"Invalid driver completion"},  // 79
    {L"S1C00", L"Driver not capable"},  // 80
    {L"S1DE0", L"No data at execution values pending"},  // 81
    {L"S1T00", L"Timeout expired"},  // 82
    {L"99000", L"Yet to classify the error state"},  // 83
    {L"01S02", L"Option value changed"},  // 84
};

LmoSqlStateRow* gSQLStateTable = nullptr;
int32_t giSQLStateTableRows = 0;
void* hglb_gSQLStateTable = nullptr;
LmoBinHeader* gBinHeader = nullptr;
void* hglb_gBinHeader = nullptr;

namespace {

// Copies at most max characters of src into dst and terminates it.
void copyCut(wchar_t* dst, const wchar_t* src, size_t max) {
  size_t n = 0;
  if (src != nullptr)
    while (n < max && src[n] != L'\0') ++n;
  std::wmemcpy(dst, src != nullptr ? src : L"", n);
  dst[n] = L'\0';
}

// The row of an error index: the loaded table's, else the built-in one's.
bool rowOf(int32_t index, const wchar_t** sqlState, const wchar_t** message) {
  if (gSQLStateTable != nullptr && index >= 0 && index < giSQLStateTableRows) {
    *sqlState = gSQLStateTable[index].sqlState;
    *message = gSQLStateTable[index].message;
    return true;
  }
  if (index < 0 || index >= kLmoErrorRows) return false;
  *sqlState = ODBC_gSQLStateTable[index].sqlState;
  *message = ODBC_gSQLStateTable[index].message;
  return true;
}

// Row message, optionally " - " and a text, cut to the add-error limit.
void addComposed(LmoErrorList* list, int32_t index, int32_t native, const wchar_t* text) {
  const wchar_t* state = nullptr;
  const wchar_t* message = nullptr;
  if (index >= kLmoErrorRows || !rowOf(index, &state, &message)) {
    TR_TRACE(kSrc, htrODBC, 2, "Error index out of range.");
    return;
  }
  wchar_t composed[kLmoAddErrorChars + 1];
  copyCut(composed, message, kLmoAddErrorChars);
  if (text != nullptr) {
    size_t used = std::wcslen(composed);
    for (const wchar_t* p = L" - "; *p != L'\0' && used < kLmoAddErrorChars; ++p) composed[used++] = *p;
    composed[used] = L'\0';
    copyCut(composed + used, text, kLmoAddErrorChars - used);
  }
  lmoAddSQLStateW(list, state, native, composed);
}

LmoErrorList* listOf(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt) {
  if (stmt != nullptr) return &stmt->errors;
  if (dbc != nullptr) return &dbc->errors;
  if (env != nullptr) return &env->errors;
  return nullptr;
}

}  // namespace

void lmoAddError(LmoErrorList* list, int32_t index, int32_t native, const char* text) {
  if (list == nullptr) return;
  if (text == nullptr) {
    addComposed(list, index, native, nullptr);
    return;
  }
  wchar_t wide[kLmoAddErrorChars + 1];
  QvWidenText(text, -3, wide, kLmoAddErrorChars + 1);
  addComposed(list, index, native, wide);
}

void lmoAddErrorW(LmoErrorList* list, int32_t index, int32_t native, const wchar_t* text) {
  if (list != nullptr) addComposed(list, index, native, text);
}

int32_t lmoAddSQLState(LmoErrorList* list, const char* sqlState, int32_t native, const char* message) {
  wchar_t state[kLmoSqlStateChars];
  QvWidenText(sqlState != nullptr ? sqlState : "", -3, state, kLmoSqlStateChars);
  wchar_t* wide = QvAllocateWstr(kLmoMessageChars);
  if (wide == nullptr) return -1;
  QvWidenText(message != nullptr ? message : "", -3, wide, kLmoMessageChars);
  const int32_t r = lmoAddSQLStateW(list, state, native, wide);
  QvReleaseWstr(wide);
  return r;
}

int32_t lmoAddSQLStateW(LmoErrorList* list, const wchar_t* sqlState, int32_t native, const wchar_t* message) {
  if (list == nullptr) return -1;
  void* handle = nullptr;
  auto* e = static_cast<LmoError*>(GAllocMem(&handle, sizeof(LmoError)));
  if (e == nullptr) return -1;
  e->memHandle = handle;
  copyCut(e->sqlState, sqlState, kLmoSqlStateChars - 1);
  e->native = native;
  copyCut(e->message, message, kLmoMessageChars - 1);
  lmoRingAppend(&list->head, &e->link);
  ++list->count;
  return 0;
}

void lmoClearErrorList(LmoErrorList* list) {
  if (list == nullptr) return;
  QDelete(&list->head, kQDeletePlain);
  list->count = 0;
}

int16_t lmoError(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt, wchar_t* sqlStateOut, int32_t* nativeOut,
                 wchar_t* messageOut, int16_t messageSize, int16_t* lengthOut) {
  LmoErrorList* list = listOf(env, dbc, stmt);
  if (list == nullptr) return -2;
  LmoLink* node = lmoRingPopFirst(&list->head);
  if (node == nullptr) return 100;
  if (list->count > 0) --list->count;
  auto* e = reinterpret_cast<LmoError*>(node);
  if (sqlStateOut != nullptr) std::wmemcpy(sqlStateOut, e->sqlState, kLmoSqlStateChars);
  if (nativeOut != nullptr) *nativeOut = e->native;
  const size_t length = std::wcslen(e->message);
  if (messageOut != nullptr && messageSize > 0) copyCut(messageOut, e->message, static_cast<size_t>(messageSize) - 1);
  if (lengthOut != nullptr) *lengthOut = static_cast<int16_t>(length);
  QvFreeMem(e->memHandle);
  return 0;
}

int32_t lmo_initErrorStateTableInternal() {
  void* handle = nullptr;
  auto* rows = static_cast<LmoSqlStateRow*>(GAllocMem(&handle, sizeof(LmoSqlStateRow) * kLmoErrorRows));
  if (rows == nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "Error allocating memory for error message array.");
    return 0;
  }
  for (int32_t i = 0; i < kLmoErrorRows; ++i) {
    const LmoBuiltinRow& b = ODBC_gSQLStateTable[i];
    if (std::wcslen(b.sqlState) > kLmoSqlStateChars - 1)
      TR_TRACE(kSrc, htrODBC, 16, "Key %d was too long and has been truncated to %d characters.", i,
               kLmoSqlStateChars - 1);
    copyCut(rows[i].sqlState, b.sqlState, kLmoSqlStateChars - 1);
    if (std::wcslen(b.message) > kLmoMessageChars - 1)
      TR_TRACE(kSrc, htrODBC, 16, "Message %d was too long and has been truncated to %d characters.", i,
               kLmoMessageChars - 1);
    copyCut(rows[i].message, b.message, kLmoMessageChars - 1);
  }
  hglb_gSQLStateTable = handle;
  gSQLStateTable = rows;
  giSQLStateTableRows = kLmoErrorRows;
  return 1;
}

int32_t lmo_initErrorStateTable() {
  QvCheckedLock lock(hSerializeGlobalMutex);
  if (gSQLStateTable != nullptr) return 1;
  if (lmo_initErrorStateTableInternal() == 1) return 1;
  TR_TRACE(kSrc, htrODBC, 2,
           "lmo_initErrorStateTableInternal() returned error: Error message module initialization has failed.");
  return 0;
}

void lmo_freeErrorStateTable() {
  QvCheckedLock lock(hSerializeGlobalMutex);
  gSQLStateTable = nullptr;
  giSQLStateTableRows = 0;
  QvFreeMem(hglb_gSQLStateTable);
  hglb_gSQLStateTable = nullptr;
  gBinHeader = nullptr;
  QvFreeMem(hglb_gBinHeader);
  hglb_gBinHeader = nullptr;
}

const char* MapRetCodeToStr(int32_t code) {
  switch (code) {
    case 0: return "SQL_SUCCESS";
    case 1: return "SQL_SUCCESS_WITH_INFO";
    case 2: return "SQL_STILL_EXECUTING";
    case 99: return "SQL_NEED_DATA";
    case 100: return "SQL_NO_DATA";
    case 110: return "SQL_ROWLIMIT_EXCEEDED";
    case -1: return "SQL_ERROR";
    case -2: return "SQL_INVALID_HANDLE";
    default: return "";
  }
}

int16_t getOdbcError(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt) {
  LmoErrorList* list = listOf(env, dbc, stmt);
  if (list == nullptr) return -2;
  if (lmoRingEmpty(&list->head)) return 100;
  for (LmoLink* n = list->head.next; n != &list->head; n = n->next) {
    const auto* e = reinterpret_cast<const LmoError*>(n);
    char state[kLmoSqlStateChars * 4];
    char message[kLmoMessageChars * 4];
    QvToUtf8(e->sqlState, state, sizeof state);
    QvToUtf8(e->message, message, sizeof message);
    TR_TRACE(kSrc, htrODBC, 16, "   SQLState=%s, ErrorMsg=%s", state, message);
  }
  return 0;
}
