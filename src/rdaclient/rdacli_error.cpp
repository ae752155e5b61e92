#include "src/rdaclient/rdacli_error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/qvthread.h"
#include "common/qvunicode.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_error";

// Longest message of a row followed by a text.
constexpr int32_t kJoinedMax = kQvMessageMax - 1;
// A schema path this long leaves no room for the file name.

// The load-balancing refusal of a server ends its message with this number
// in brackets.
constexpr int32_t kLoadBalancingRefusal = static_cast<int32_t>(0x81000001u);

}  // namespace

const RdaCliStateText RDAC_gSQLStateTable[kRdaCliErrorRows] = {
    {L"00000", L"No error"},
    {L"01002", L"Success with warning - Disconnect error"},
    {L"01004", L"Success with warning - string data, right truncation"},
    {L"01006", L"Success with warning - Privilege not revoked"},
    {L"07001", L"Dynamic SQL error - 'using-clause' does not match dynamic parameters"},
    {L"07006", L"Dynamic SQL error - restricted data type attribute violation"},
    {L"07008", L"Dynamic SQL error - Invalid descriptor count"},
    {L"08001", L"Connection exception - Client unable to establish connection"},
    {L"08002", L"Connection exception - Connection name in use"},
    {L"08003", L"Connection exception - Connection does not exist"},
    {L"08004", L"Connection exception - Connection failure"},
    {L"08007", L"Connection exception - Transaction resolution unknown"},
    {L"08S01", L"Connection exception - Communication failure"},
    {L"21S01", L"Cardinality violation - Insert value list does not match column list"},
    {L"21S02", L"Cardinality violation - Degree of derived table does not match column list"},
    {L"22001", L"Data exception - String data, right truncation"},
    {L"22003", L"Data exception - Numeric value out of range"},
    {L"22005", L"Data exception - Error in assignment"},
    {L"22012", L"Data exception - Division by zero"},
    {L"23000", L"Integrity constraint violation"},
    {L"24000", L"Invalid cursor state"},
    {L"25000", L"Invalid transaction state"},
    {L"25S02", L"Invalid transaction state - Transaction is still active"},
    {L"25S03", L"Invalid transaction state - Transaction is rolled back"},
    {L"28000", L"Invalid authorization specification"},
    {L"2D000", L"Invalid transaction termination"},
    {L"34000", L"Invalid cursor name"},
    {L"37000", L"Syntax error or access violation in PREPARE or EXECUTE IMMEDIATE"},
    {L"40000", L"Transaction rollback"},
    {L"40001", L"Transaction rollback - Statement completion unknown"},
    {L"HZ010", L"RDA error: Access control violation"},
    {L"HZ020", L"RDA error: Bad Repetition Count"},
    {L"HZ030", L"RDA error: Command handle unkown"},
    {L"HZ040", L"RDA error: Control authentication failure"},
    {L"HZ050", L"RDA error: Resource handle not specified"},
    {L"HZ060", L"RDA error: Resource handle unknown"},
    {L"HZ070", L"RDA error: Resource name not specified"},
    {L"HZ080", L"RDA error: Resource not available"},
    {L"HZ090", L"RDA error: Resource already open"},
    {L"HZ100", L"RDA error: Resource unknown"},
    {L"HZ110", L"RDA error: Dialogue ID unknown"},
    {L"HZ120", L"RDA error: Duplicate command handle"},
    {L"HZ130", L"RDA error: Duplicate data resource handle"},
    {L"HZ140", L"RDA error: Duplicate dialogue ID"},
    {L"HZ150", L"RDA error: Duplicate operation ID"},
    {L"HZ160", L"RDA error: Invalid sequence"},
    {L"HZ170", L"RDA error: Data resource not available"},
    {L"HZ180", L"RDA error: Operation aborted"},
    {L"HZ190", L"RDA error: Operation cancelled"},
    {L"HZ200", L"RDA error: Service not negotiated"},
    {L"HZ210", L"RDA error: Transaction rolled back"},
    {L"HZ220", L"RDA error: User authentication failure"},
    {L"HZ330", L"RDA error: SQL access violation"},
    {L"HZ350", L"RDA error: SQL argument count mismatch"},
    {L"HZ360", L"RDA error: SQL argument type mismatch"},
    {L"HZ370", L"RDA error: SQL DBL transaction statement not allowed"},
    {L"HZ340", L"RDA error: SQL database resource already open"},
    {L"HZ300", L"RDA error: Host identifier error"},
    {L"HZ310", L"RDA error: Invalid SQL conformance level"},
    {L"HZ320", L"RDA error: Transaction not open"},
    {L"HZ380", L"RDA error: SQL usage violation"},
    {L"HZ500", L"RDA error: Connection establishment error"},
    {L"HZ510", L"RDA error: Connection release error"},
    {L"HZ520", L"RDA error: Connection failure"},
    {L"S0001", L"Invalid name: Base table or view already exists"},
    {L"S0002", L"Invalid name: Base table not found"},
    {L"S0011", L"Invalid name: Index already exists"},
    {L"S0012", L"Invalid name: Index not found"},
    {L"S0021", L"Invalid name: Column exists"},
    {L"S1001", L"CLI error: Memory allocation error"},
    {L"S1002", L"CLI error: Invalid column name"},
    {L"S1003", L"CLI error: Program type out of range"},
    {L"S1004", L"CLI error: Data type out of range"},
    {L"S1008", L"CLI error: Operation cancelled"},
    {L"S1009", L"CLI error: Invalid argument value"},
    {L"S1010", L"CLI error: Function sequence error"},
    {L"S1012", L"CLI error: Invalid transaction operation code"},
    {L"S1013", L"CLI error: Memory management error"},
    {L"S1015", L"CLI error: No cursor name available"},
    {L"S1900", L"ACSE error: Implementation defined ACSE error"},
    {L"S1901", L"Duvik proprietary error: Implementation defined Duvik error"},
    {L"08900", L"Connection exception - Server lookup Failed"},
};

QvErrorRow* sQLStateTBL = nullptr;
RdaBinHeader gRDABinHeader = {nullptr, nullptr};

// ---------------------------------------------------------------------------
// Rows

const wchar_t* rda_cliRowState(uint32_t errorIndex) {
  if (errorIndex >= kRdaCliErrorRows) return nullptr;
  return sQLStateTBL != nullptr ? sQLStateTBL[errorIndex].sqlState : RDAC_gSQLStateTable[errorIndex].sqlState;
}

const wchar_t* rda_cliRowMessage(uint32_t errorIndex) {
  if (errorIndex >= kRdaCliErrorRows) return nullptr;
  return sQLStateTBL != nullptr ? sQLStateTBL[errorIndex].message : RDAC_gSQLStateTable[errorIndex].message;
}

// ---------------------------------------------------------------------------
// Lists

namespace {

bool isEmpty(const RDA_CliErrorList* list) { return list->ring.next == nullptr || list->ring.next == &list->ring; }

// Copies at most `max` characters of `src` to `dst` (which holds max + 1)
// and terminates; the characters copied.
int32_t copyWide(wchar_t* dst, const wchar_t* src, int32_t max) {
  int32_t n = 0;
  if (src != nullptr)
    while (n < max && src[n] != L'\0') {
      dst[n] = src[n];
      ++n;
    }
  dst[n] = L'\0';
  return n;
}

// Text converters into a wide buffer of max + 1 characters.
using Widen = int32_t (*)(const char* text, wchar_t* out, int32_t max);

// 8-bit text: through the locale when it can be, else octet by octet.
int32_t widen8(const char* text, wchar_t* out, int32_t max) {
  out[0] = L'\0';
  if (text == nullptr) return 0;
  const size_t need = std::mbstowcs(nullptr, text, 0);
  if (need != static_cast<size_t>(-1) && need <= static_cast<size_t>(max)) {
    std::mbstowcs(out, text, need + 1);
    return static_cast<int32_t>(need);
  }
  int32_t n = 0;
  for (; n < max && text[n] != '\0'; ++n) out[n] = static_cast<unsigned char>(text[n]);
  out[n] = L'\0';
  return n;
}

// UTF-8 text, cut after `max` characters; a text that does not convert is
// taken octet by octet.
int32_t widenUtf8(const char* text, wchar_t* out, int32_t max) {
  out[0] = L'\0';
  if (text == nullptr) return 0;
  // The octets of the first `max` characters: a character begins at every
  // octet that is not a continuation octet.
  int32_t take = 0;
  int32_t chars = 0;
  for (; text[take] != '\0'; ++take) {
    if ((static_cast<unsigned char>(text[take]) & 0xC0) != 0x80 && chars++ == max) break;
  }
  if (take == 0) return 0;
  const int32_t n = unix_utf8towcs(text, take, out, max);
  if (n > 0) {
    out[n] = L'\0';
    return n;
  }
  int32_t k = 0;
  for (; k < max && text[k] != '\0'; ++k) out[k] = static_cast<unsigned char>(text[k]);
  out[k] = L'\0';
  return k;
}

RDA_CliError* newEntry(XmTree* tree) {
  return static_cast<RDA_CliError*>(_xm_allocItem(tree, sizeof(RDA_CliError), 0));
}

void append(RDA_CliErrorList* list, RDA_CliError* e) {
  if (list->ring.next == nullptr) RDA_cliInitErrorList(list);
  e->next = &list->ring;
  e->prev = list->ring.prev;
  list->ring.prev->next = e;
  list->ring.prev = e;
  ++list->count;
}

void unlink(RDA_CliErrorList* list, RDA_CliError* e) {
  e->prev->next = e->next;
  e->next->prev = e->prev;
  e->next = e->prev = e;
  if (list->count > 0) --list->count;
}

// The SQLSTATE of rows 79 and 80 given a text: computed from the native
// error.
void computedState(uint32_t errorIndex, int32_t nativeError, wchar_t* out) {
  const auto native = static_cast<uint32_t>(nativeError);
  char text[16] = "";
  if (errorIndex == RDA_CLI_ROW_ASSOC_REFUSED) {
    std::snprintf(text, sizeof text, "S2%03x", native);
  } else {
    const char* prefix = nullptr;
    switch (native >> 8) {
      case 0: prefix = "S8"; break;
      case 128: prefix = "S7"; break;
      case 160: prefix = "S6"; break;
      case 192: prefix = "S5"; break;
      case 205: prefix = "S4"; break;
      case 207: prefix = "S3"; break;
      default: break;
    }
    if (prefix == nullptr) {
      copyWide(out, rda_cliRowState(errorIndex), kQvSqlStateSize - 1);
      return;
    }
    std::snprintf(text, sizeof text, "%s%03x", prefix, native & 0xFF);
  }
  int32_t i = 0;
  for (; i < kQvSqlStateSize - 1 && text[i] != '\0'; ++i) out[i] = static_cast<unsigned char>(text[i]);
  out[i] = L'\0';
}

void addError(RDA_CliErrorList* list, uint32_t errorIndex, int32_t nativeError, const char* text, XmTree* tree,
              Widen widen) {
  if (list == nullptr) return;
  if (errorIndex >= kRdaCliErrorRows) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "RDA_cliAddError() : Error index out range errorInx %d, nativeError 0x%lx\n",
             static_cast<int>(errorIndex), static_cast<unsigned long>(static_cast<uint32_t>(nativeError)));
    return;
  }
  RDA_CliError* e = newEntry(tree);
  if (e == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliAddError: can't create RDA_CliError\n");
    return;
  }
  e->nativeError = nativeError;
  if (text != nullptr && (errorIndex == RDA_CLI_ROW_ASSOC_REFUSED || errorIndex == RDA_CLI_ROW_STACK_ERROR)) {
    computedState(errorIndex, nativeError, e->sqlState);
    widen(text, e->message, kQvMessageMax);
  } else {
    copyWide(e->sqlState, rda_cliRowState(errorIndex), kQvSqlStateSize - 1);
    int32_t n = copyWide(e->message, rda_cliRowMessage(errorIndex), kJoinedMax);
    if (text != nullptr && n + 3 < kJoinedMax) {
      n += copyWide(e->message + n, L" - ", 3);
      widen(text, e->message + n, kJoinedMax - n);
    }
  }
  append(list, e);
}

int32_t addState(RDA_CliErrorList* list, const wchar_t* sqlState, int32_t nativeError, const wchar_t* message,
                 XmTree* tree) {
  if (list == nullptr) return 0;
  RDA_CliError* e = newEntry(tree);
  if (e == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliAddSQLState: can't create RDA_CliError\n");
    return 0;
  }
  copyWide(e->sqlState, sqlState, kQvSqlStateSize - 1);
  e->nativeError = nativeError;
  copyWide(e->message, message, kQvMessageMax);
  append(list, e);
  return 1;
}

int32_t addStateText(RDA_CliErrorList* list, const char* sqlState, int32_t nativeError, const char* message,
                     XmTree* tree, Widen widen) {
  wchar_t state[kQvSqlStateSize];
  widen(sqlState, state, kQvSqlStateSize - 1);
  // The message is converted into the entry's own buffer: no second copy
  // of 2049 characters on the stack.
  if (list == nullptr) return 0;
  RDA_CliError* e = newEntry(tree);
  if (e == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliAddSQLState: can't create RDA_CliError\n");
    return 0;
  }
  copyWide(e->sqlState, state, kQvSqlStateSize - 1);
  e->nativeError = nativeError;
  widen(message, e->message, kQvMessageMax);
  append(list, e);
  return 1;
}

}  // namespace

void RDA_cliInitErrorList(RDA_CliErrorList* list) {
  list->ring.next = list->ring.prev = &list->ring;
  list->count = 0;
}

RDA_CliError* RDA_cliFirstError(const RDA_CliErrorList* list) {
  if (list == nullptr || isEmpty(list)) return nullptr;
  return static_cast<RDA_CliError*>(list->ring.next);
}

void RDA_cliAddError(RDA_CliErrorList* list, uint32_t errorIndex, int32_t nativeError, const char* text,
                     XmTree* tree) {
  addError(list, errorIndex, nativeError, text, tree, widen8);
}

void RDA_cliAddErrorUtf8(RDA_CliErrorList* list, uint32_t errorIndex, int32_t nativeError, const char* text,
                         XmTree* tree) {
  addError(list, errorIndex, nativeError, text, tree, widenUtf8);
}

int32_t RDA_cliAddSQLState(RDA_CliErrorList* list, const char* sqlState, int32_t nativeError, const char* message,
                           XmTree* tree) {
  return addStateText(list, sqlState, nativeError, message, tree, widen8);
}

int32_t RDA_cliAddSQLStateW(RDA_CliErrorList* list, const wchar_t* sqlState, int32_t nativeError,
                            const wchar_t* message, XmTree* tree) {
  return addState(list, sqlState, nativeError, message, tree);
}

int32_t RDA_cliAddSQLStateUtf8(RDA_CliErrorList* list, const char* sqlState, int32_t nativeError,
                               const char* message, XmTree* tree) {
  return addStateText(list, sqlState, nativeError, message, tree, widenUtf8);
}

void RDA_cliClearErrorList(RDA_CliErrorList* list) {
  if (list == nullptr) return;
  if (list->ring.next == nullptr) {
    RDA_cliInitErrorList(list);
    return;
  }
  while (!isEmpty(list)) {
    auto* e = static_cast<RDA_CliError*>(list->ring.next);
    unlink(list, e);
    _xm_freeItem(e);
  }
  list->count = 0;
}

void RDA_cliRemoveError(RDA_CliErrorList* list, RDA_CliError* entry) {
  if (list == nullptr || entry == nullptr) return;
  unlink(list, entry);
  _xm_freeItem(entry);
}

// ---------------------------------------------------------------------------
// Reading

int32_t rda_cliError(RDA_CliHENV* henv, RDA_CliHDBC* hdbc, RDA_CliHSTMT* hstmt, wchar_t* sqlState,
                     int32_t* nativeError, wchar_t* message, int32_t messageSize, int32_t* length) {
  if (hstmt != nullptr) {
    if (!RDA_cliIsLiveBlock(hstmt, RDA_CLI_TAG_HSTMT)) {
      TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliError: invalid statement handle\n");
      return -2;
    }
    if (hdbc == nullptr) hdbc = hstmt->conn;
  }
  if (hdbc != nullptr) {
    if (!RDA_cliIsLiveBlock(hdbc, RDA_CLI_TAG_HDBC)) {
      TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliError: invalid connection handle\n");
      return -2;
    }
    if (henv == nullptr) henv = hdbc->env;
  }
  if (henv != nullptr && !RDA_cliIsLiveBlock(henv, RDA_CLI_TAG_HENV)) {
    TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliError: invalid environment handle\n");
    return -2;
  }
  RDA_CliErrorList* list = nullptr;
  if (hstmt != nullptr && !isEmpty(&hstmt->errors)) list = &hstmt->errors;
  else if (hdbc != nullptr && !isEmpty(&hdbc->errors)) list = &hdbc->errors;
  else if (henv != nullptr) list = &henv->errors;
  if (list == nullptr && hdbc == nullptr && hstmt == nullptr) return 100;
  if (list == nullptr) list = hdbc != nullptr ? &hdbc->errors : &hstmt->errors;

  RDA_CliError* e = RDA_cliFirstError(list);
  if (e == nullptr) {
    if (sqlState != nullptr) copyWide(sqlState, L"00000", kQvSqlStateSize - 1);
    if (nativeError != nullptr) *nativeError = 0;
    if (length != nullptr) *length = 0;
    if (message != nullptr && messageSize > 0) message[0] = L'\0';
    return 100;
  }
  unlink(list, e);
  if (sqlState != nullptr) copyWide(sqlState, e->sqlState, kQvSqlStateSize - 1);
  if (nativeError != nullptr) *nativeError = e->nativeError;
  const auto full = static_cast<int32_t>(qvwcslen(e->message));
  if (full >= messageSize) {
    // Cut: as much as fits with its terminator, and the whole length.
    if (message != nullptr && messageSize > 0) copyWide(message, e->message, messageSize - 1);
    if (length != nullptr) *length = full;
  } else {
    if (message != nullptr) copyWide(message, e->message, full);
    if (length != nullptr) *length = -3;
  }
  _xm_freeItem(e);
  return 0;
}

namespace {

// Entry `n` (from 0) of `list`, or NULL.
RDA_CliError* entryAt(const RDA_CliErrorList* list, uintptr_t n) {
  if (isEmpty(list)) return nullptr;
  const RDA_CliErrLink* l = list->ring.next;
  for (; l != &list->ring && n > 0; l = l->next) --n;
  return l != &list->ring ? static_cast<RDA_CliError*>(const_cast<RDA_CliErrLink*>(l)) : nullptr;
}

// A wide text as UTF-8 in `out` (size octets), cut at a character boundary.
void narrow(const wchar_t* text, char* out, int32_t size) {
  if (out == nullptr || size <= 0) return;
  int32_t used = 0;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    char one[8];
    const int32_t n = unix_wcstoutf8(p, 1, one, sizeof one);
    if (n <= 0 || used + n > size - 1) break;
    std::memcpy(out + used, one, static_cast<size_t>(n));
    used += n;
  }
  out[used] = '\0';
}

}  // namespace

int32_t rda_cliGetError(RDA_CliHENV* henv, RDA_CliHDBC* hdbc, RDA_CliHSTMT* hstmt, char* sqlState, char* message,
                        int32_t messageSize, int32_t first) {
  const RDA_CliErrorList* list = nullptr;
  if (hstmt != nullptr) {
    if (!RDA_cliIsLiveBlock(hstmt, RDA_CLI_TAG_HSTMT)) {
      TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliGetError: invalid statement handle\n");
      return -2;
    }
    if (isEmpty(&hstmt->errors)) return 100;
    list = &hstmt->errors;
  } else if (hdbc != nullptr) {
    if (!RDA_cliIsLiveBlock(hdbc, RDA_CLI_TAG_HDBC)) {
      TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliGetError: invalid connection handle\n");
      return -2;
    }
    list = &hdbc->errors;
  } else if (henv != nullptr) {
    if (!RDA_cliIsLiveBlock(henv, RDA_CLI_TAG_HENV)) {
      TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliGetError: invalid environment handle\n");
      return -2;
    }
    list = &henv->errors;
  } else {
    TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliGetError: No valid handle\n");
    return -2;
  }
  if (isEmpty(list)) {
    if (sqlState != nullptr) std::memcpy(sqlState, "00000", kQvSqlStateSize);
    return 100;
  }
  RdaCliTLS* t = check_and_getRdaCliTLS(0);
  if (t == nullptr) return 100;
  // The cursor counts the entries read, not where they are: the list may
  // have lost entries since the last call.
  if (first == 1) t->diagCursor = 0;
  RDA_CliError* e = entryAt(list, t->diagCursor);
  if (e == nullptr) return 100;
  ++t->diagCursor;
  narrow(e->sqlState, sqlState, kQvSqlStateSize);
  narrow(e->message, message, messageSize);
  return 0;
}

int32_t rda_cli_IsLoadBalancingError(RDA_CliHDBC* hdbc) {
  if (!RDA_cliIsLiveBlock(hdbc, RDA_CLI_TAG_HDBC)) {
    TM_TRACE(rda_cliTMHandle, 4, kSrc, "*** rda_cliError: invalid connection handle\n");
    return 0;
  }
  int32_t result = 0;
  if (const RDA_CliError* e = RDA_cliFirstError(&hdbc->errors)) {
    const wchar_t* m = e->message;
    const auto len = static_cast<int32_t>(qvwcslen(m));
    if (len > 1 && m[len - 1] == L']') {
      int32_t open = len - 2;
      while (open > 0 && m[open] != L'[') --open;
      if (open > 0) {
        wchar_t digits[24];
        const int32_t n = len - 1 - (open + 1);
        if (n > 0 && n < static_cast<int32_t>(sizeof digits / sizeof digits[0])) {
          qvwmemcpy(digits, m + open + 1, static_cast<size_t>(n));
          digits[n] = L'\0';
          const long long v = std::wcstoll(digits, nullptr, 10);
          if (static_cast<int32_t>(static_cast<uint32_t>(v)) == kLoadBalancingRefusal) result = 1;
        }
      }
    }
  }
  TM_TRACE(rda_cliTMHandle, 16, kSrc, "rda_cli_IsLoadBalancingError returns. iIsLoadBalancingError=%d\n", result);
  return result;
}

void rda_cli_ClearPrevError(RDA_CliHDBC* hdbc) {
  if (RDA_cliIsLiveBlock(hdbc, RDA_CLI_TAG_HDBC)) RDA_cliClearErrorList(&hdbc->errors);
}

// ---------------------------------------------------------------------------
// The table

namespace {

void traceReader(void*, bool error, const char* text) {
  TM_TRACE(rda_cliTMHandle, error ? 8 : 64, kSrc, "%s\n", text);
}

QvErrorRow* allocReaderRows(void*, int32_t rows) {
  TM_TRACE(rda_cliTMHandle, 64, kSrc, "Creating error message array.\n");
  return static_cast<QvErrorRow*>(
      _xm_allocItem(nullptr, static_cast<uint32_t>(rows) * static_cast<uint32_t>(sizeof(QvErrorRow)), 0));
}

void freeReaderRows(void*, QvErrorRow* rows) { _xm_freeItem(rows); }

void freeHeader() {
  if (gRDABinHeader.header != nullptr) _xm_freeItem(gRDABinHeader.header);
  if (gRDABinHeader.section != nullptr) _xm_freeItem(gRDABinHeader.section);
  gRDABinHeader = {nullptr, nullptr};
}

// 1 when the table came from the file.
int32_t fromCustomFile() {
  char schema[QV_PATH_SIZE] = "";
  qv_getInfo(QV_INFO_SCHEMAPATH, 0, schema, sizeof schema, rda_cliTMHandle);
  if (std::strlen(schema) > kQvErrorSchemaPathMax) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "Full schema path too large to fit into buffer.\n");
    return 0;
  }
  char path[QV_PATH_SIZE];
  std::snprintf(path, sizeof path, "%s%s", schema, kQvErrorFileName);
  TM_TRACE(rda_cliTMHandle, 64, kSrc, "Attempting to open: %s.\n", path);
  gRDABinHeader.header = static_cast<QvErrorFileHeader*>(_xm_allocItem(nullptr, sizeof(QvErrorFileHeader), XM_ZERO));
  if (gRDABinHeader.header == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "Error allocating memory to hold header data.\n");
    return 0;
  }
  gRDABinHeader.section = static_cast<QvErrorSection*>(_xm_allocItem(nullptr, sizeof(QvErrorSection), XM_ZERO));
  if (gRDABinHeader.section == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "Error allocating memory to hold section header data.\n");
    freeHeader();
    return 0;
  }
  const QvErrorFileReader reader{"RDAC", static_cast<int32_t>(kRdaCliErrorRows), allocReaderRows, freeReaderRows,
                                 traceReader, nullptr};
  QvErrorRow* table = nullptr;
  switch (qvReadErrorFile(path, reader, gRDABinHeader.header, gRDABinHeader.section, &table)) {
    case QvErrorFileResult::Loaded:
      sQLStateTBL = table;
      return 1;
    case QvErrorFileResult::Missing:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "Binary error message file could not be found.\n");
      break;
    case QvErrorFileResult::Failed:
      break;
  }
  freeHeader();
  return 0;
}

int32_t internalTable() {
  auto* table = static_cast<QvErrorRow*>(
      _xm_allocItem(nullptr, static_cast<uint32_t>(kRdaCliErrorRows * sizeof(QvErrorRow)), 0));
  if (table == nullptr) return 0;
  for (uint32_t r = 0; r < kRdaCliErrorRows; ++r) {
    const RdaCliStateText& row = RDAC_gSQLStateTable[r];
    if (qvwcslen(row.sqlState) > kQvSqlStateSize - 1)
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "Key %d was too long and has been truncated to %d characters.\n",
               static_cast<int>(r), kQvSqlStateSize - 1);
    if (qvwcslen(row.message) > kQvMessageMax)
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "Message %d was too long and has been truncated to %d characters.\n",
               static_cast<int>(r), kQvMessageMax);
    copyWide(table[r].sqlState, row.sqlState, kQvSqlStateSize - 1);
    copyWide(table[r].message, row.message, kQvMessageMax);
  }
  sQLStateTBL = table;
  return 1;
}

}  // namespace

int32_t rda_initErrorStateTable() {
  QvGlobalLock lock;
  if (sQLStateTBL != nullptr) return 1;
  if (fromCustomFile() == 1) return 1;
  TM_TRACE(rda_cliTMHandle, 8, kSrc,
           "rda_initErrorStateTableFromCustomFile() was not successful. Internal SQLStateTable will be used.\n");
  if (internalTable() == 1) return 1;
  TM_TRACE(rda_cliTMHandle, 8, kSrc,
           "*** rda_initErrorStateTableInternal(): Error initializing the error message module\n");
  return 0;
}

void rda_freeErrorStateTable() {
  QvGlobalLock lock;
  if (sQLStateTBL != nullptr) _xm_freeItem(sQLStateTBL);
  sQLStateTBL = nullptr;
  freeHeader();
}
