#include "src/rdaclient/rdacli_column.h"

#include <cstdio>
#include <cstdlib>

#include "common/qvunicode.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/runtime/tm.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_column";

RDA_CliCol* colOf(RdaCliLink* l) { return reinterpret_cast<RDA_CliCol*>(l); }

bool hasColumns(const RDA_CliHSTMT* stmt) {
  return stmt->cols.head.next != nullptr && stmt->cols.head.next != &stmt->cols.head;
}

RDA_CliCol* firstCol(RDA_CliHSTMT* stmt) { return hasColumns(stmt) ? colOf(stmt->cols.head.next) : nullptr; }

bool described(const RDA_CliCol* col) { return col != nullptr && (col->flags & RDA_CLI_COL_DESCRIBED) != 0; }

bool prepared(const RDA_CliHSTMT* stmt) { return (stmt->state & RDA_CLI_STMT_PREPARED) != 0; }

RDA_CliHSTMT* statement(RDA_CliHSTMT* stmt, const char* call) {
  if (RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) return stmt;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: invalid statement handle %lx\n", call,
           reinterpret_cast<unsigned long>(stmt));
  return nullptr;
}

void addError(RDA_CliHSTMT* stmt, uint32_t index, const char* text) {
  RDA_cliAddError(&stmt->errors, index, 0, text, stmt->tree);
}

// "<format>" with one number, as a diagnostic.
void addErrorNum(RDA_CliHSTMT* stmt, uint32_t index, const char* format, int number) {
  char text[96];
  std::snprintf(text, sizeof text, format, number);
  addError(stmt, index, text);
}

// The C types a column can be bound to or read as (-26 and -28 are taken
// as -6); 256 only for binding.
bool acceptedCType(int16_t c, bool binding) {
  switch (c) {
    case 1: case 4: case 5: case 7: case 8: case 9: case 10: case 11: case 99:
    case -2: case -6: case -7: case -8: case -15: case -16: case -17: case -18: case -26: case -28:
      return true;
    case 256:
      return binding;
    default:
      return false;
  }
}

int16_t normalCType(int16_t c) {
  return c == RDA_CLI_C_STINYINT || c == RDA_CLI_C_UTINYINT ? RDA_CLI_C_TINYINT : c;
}

// Copies `text` (NULL: none) into a wide buffer of `chars` characters. A
// text that fits (the buffer has room for it and the NUL) gives -3 in
// `*fitted`; a longer one is cut to chars - 1 characters and a NUL (nothing
// at all when the buffer has no room even for the NUL) and the result is
// false. `*length` receives its full length in characters.
bool copyWide(const wchar_t* text, wchar_t* buf, int32_t chars, int32_t* length) {
  const auto len = static_cast<int32_t>(text != nullptr ? qvwcslen(text) : 0);
  *length = len;
  if (buf == nullptr) return true;
  if (len == 0) {
    if (chars >= 1) buf[0] = L'\0';
    return true;
  }
  if (chars > len) {
    wmemcpy(buf, text, static_cast<size_t>(len));
    buf[len] = L'\0';
    return true;
  }
  if (chars >= 1) {
    wmemcpy(buf, text, static_cast<size_t>(chars - 1));
    buf[chars - 1] = L'\0';
  }
  return false;
}

int16_t clamp16(int64_t v) { return static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v); }

// Length in bytes of a column's values, as ColAttribute reports it.
int64_t octetLength(const RDA_CliCol* col, bool wideByChar) {
  switch (col->sqlType) {
    case RDA_CLI_SQL_NUMERIC:
      return int64_t{col->colSize} + 2;
    case RDA_CLI_SQL_SMALLINT:
      return 2;
    case RDA_CLI_SQL_INTEGER:
    case RDA_CLI_SQL_REAL:
      return 4;
    case RDA_CLI_SQL_FLOAT:
    case RDA_CLI_SQL_DOUBLE:
      return 8;
    case RDA_CLI_SQL_DATE:
    case RDA_CLI_SQL_TIME:
      return 6;
    case RDA_CLI_SQL_TIMESTAMP:
      return 16;
    case RDA_CLI_SQL_WCHAR:
    case RDA_CLI_SQL_WVARCHAR:
      return wideByChar ? int64_t{col->colSize} * 4 : col->colSize;
    default:
      return col->colSize;
  }
}

}  // namespace

RDA_CliCol* getCol(RDA_CliHSTMT* stmt, int32_t number) {
  if (!hasColumns(stmt)) return nullptr;
  for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next)
    if (colOf(l)->colNum == number) return colOf(l);
  return nullptr;
}

int32_t rda_cliBindCol(RDA_CliHSTMT* stmt, int16_t number, int16_t cType, void* buffer, int64_t bufLen,
                       int64_t* ind) {
  if (statement(stmt, "rda_cliBindCol") == nullptr) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if (!acceptedCType(cType, true)) {
    addErrorNum(stmt, RDA_CLI_ROW_PROGRAM_TYPE, "BindCol: invalid fBufType %d", cType);
    return RDA_CLI_ERROR;
  }
  if (stmt->cols.head.next == nullptr) RDA_cliRingInit(&stmt->cols);
  RDA_CliCol* col = getCol(stmt, number);
  if (buffer == nullptr) {
    if (col == nullptr) {
      addErrorNum(stmt, RDA_CLI_ROW_INVALID_COLUMN, "BindCol: invalid column number %d", number);
      return RDA_CLI_ERROR;
    }
    col->flags &= ~RDA_CLI_COL_BOUND;
    return RDA_CLI_SUCCESS;
  }
  if (number < 1) {
    addErrorNum(stmt, RDA_CLI_ROW_INVALID_COLUMN, "BindCol: invalid column number %d", number);
    return RDA_CLI_ERROR;
  }
  if (described(firstCol(stmt)) && number > static_cast<int32_t>(stmt->cols.count) + 1) {
    addError(stmt, RDA_CLI_ROW_INVALID_COLUMN, nullptr);
    return RDA_CLI_ERROR;
  }
  if (col == nullptr) {
    col = static_cast<RDA_CliCol*>(_xm_allocItem(stmt->tree, sizeof(RDA_CliCol), XM_ZERO));
    if (col == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliBindCol: can't create column %d\n", static_cast<int>(number));
      addError(stmt, RDA_CLI_ROW_NO_MEMORY, nullptr);
      return RDA_CLI_ERROR;
    }
    col->colNum = number;
    RDA_cliRingInit(&col->values);
    RDA_cliRingAppend(&stmt->cols, &col->links);
  }
  col->flags |= RDA_CLI_COL_BOUND;
  col->bind.cType = normalCType(cType);
  col->bind.buffer = buffer;
  col->bind.bufLen = bufLen;
  if (ind == nullptr) {
    col->spareInd = 0;
    ind = &col->spareInd;
  }
  col->bind.ind = ind;
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliGetCol(RDA_CliHSTMT* stmt, int16_t number, int16_t cType, void* buffer, int64_t bufLen,
                      int64_t* ind) {
  if (statement(stmt, "rda_cliGetCol") == nullptr) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if (!acceptedCType(cType, false)) {
    addError(stmt, RDA_CLI_ROW_PROGRAM_TYPE, nullptr);
    return RDA_CLI_ERROR;
  }
  const int32_t which = std::abs(static_cast<int32_t>(number));
  stmt->lastGetDataCol = clamp16(which);
  RDA_CliCol* col = getCol(stmt, which);
  if (col == nullptr || (col->flags & RDA_CLI_COL_BOUND) != 0) {
    addErrorNum(stmt, RDA_CLI_ROW_INVALID_COLUMN, "GetCol: Col:%d is invalid", which);
    return RDA_CLI_ERROR;
  }
  if (!described(col)) {
    addError(stmt, RDA_CLI_ROW_SEQUENCE, "GetCol: Fetch was not called");
    return RDA_CLI_ERROR;
  }
  if (col->startValue == nullptr) {
    if (ind != nullptr) *ind = -1;
    return RDA_CLI_SUCCESS;
  }
  if (number < 0) {
    // Read again from the first byte.
    col->curValue = col->startValue;
    col->pos = col->deliveredLen = 0;
    col->partsTaken = 0;
  }
  if (col->curValue == RDA_cliConsumed()) return RDA_CLI_NO_DATA;
  col->bind.cType = normalCType(cType);
  col->bind.buffer = buffer;
  col->bind.bufLen = bufLen;
  col->bind.ind = ind != nullptr ? ind : &col->spareInd;
  const void* current = col->curValue;
  col->flags &= ~RDA_CLI_COL_CUT_READ;
  RDA_cliCvrtSQLToCol(stmt, &col->bind, col, current);
  // A reader of a value in parts may have moved on to a later part.
  const void* reached = col->curValue;
  col->curValue = RDA_cliConsumed();
  if (stmt->errors.count == 0) return RDA_CLI_SUCCESS;
  for (const RDA_CliError* e = RDA_cliFirstError(&stmt->errors); e != nullptr;
       e = e->next != &stmt->errors.ring ? static_cast<const RDA_CliError*>(e->next) : nullptr) {
    if (qvwcscmp(e->sqlState, L"01004") != 0) return RDA_CLI_ERROR;
  }
  // Cut: the next call goes on where this one stopped, unless the value
  // was delivered by a converter that keeps no read position (it would
  // deliver the same piece again and again).
  if ((col->flags & RDA_CLI_COL_CUT_READ) == 0) col->curValue = reached;
  col->flags &= ~RDA_CLI_COL_CUT_READ;
  return RDA_CLI_SUCCESS_WITH_INFO;
}

int32_t rda_cliNumResultCols(RDA_CliHSTMT* stmt, int16_t* count) {
  if (statement(stmt, "rda_cliNumResultCols") == nullptr) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  int16_t n = 0;
  if (hasColumns(stmt)) {
    // Only a text prepared and not yet run is described on request: the
    // answer of a run said what its result is, and the records left in the
    // ring then are bindings of columns it does not have.
    if (!described(firstCol(stmt)) && prepared(stmt) && (stmt->state & RDA_CLI_STMT_EXECUTED) == 0) {
      if (RDA_cliDescribeSQL(stmt) == 0) return RDA_CLI_ERROR;
      if (!described(firstCol(stmt))) {
        addError(stmt, RDA_CLI_ROW_SEQUENCE, "NumResultCol: result not available");
        return RDA_CLI_ERROR;
      }
    }
    if (described(firstCol(stmt))) n = clamp16(int64_t{stmt->cols.count} - stmt->hiddenCols);
  }
  if (count != nullptr) *count = n;
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliRowCount(RDA_CliHSTMT* stmt, int64_t* count) {
  if (statement(stmt, "rda_cliRowCount") == nullptr) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  if (count != nullptr)
    *count = stmt->resultKind == RDA_CLI_RESULT_ROWCOUNT ? static_cast<int32_t>(stmt->rowCount) : -1;
  return RDA_CLI_SUCCESS;
}

int32_t getResultCol(RDA_CliHSTMT* stmt, RDA_CliCol* col, wchar_t* name, int16_t bufLen, int16_t* nameLen,
                     int16_t* sqlType, uint64_t* colSize, int16_t* scale, int16_t* nullable) {
  int32_t result = RDA_CLI_SUCCESS;
  int32_t length = 0;
  if (copyWide(col->name, name, bufLen, &length)) {
    if (nameLen != nullptr) *nameLen = name != nullptr && length > 0 ? -3 : clamp16(length);
  } else {
    addErrorNum(stmt, RDA_CLI_ROW_TRUNCATED, "Column name of result column %d right truncated", col->colNum);
    if (nameLen != nullptr) *nameLen = clamp16(bufLen >= 1 ? bufLen - 1 : length);
    result = RDA_CLI_SUCCESS_WITH_INFO;
  }
  if (sqlType != nullptr) *sqlType = col->sqlType;
  if (colSize != nullptr) *colSize = col->colSize;
  if (scale != nullptr) *scale = col->scale;
  if (nullable != nullptr) *nullable = col->nullable;
  return result;
}

int32_t rda_cliDescribeCol(RDA_CliHSTMT* stmt, int16_t number, wchar_t* name, int16_t bufLen, int16_t* nameLen,
                           int16_t* sqlType, uint64_t* colSize, int16_t* scale, int16_t* nullable) {
  if (statement(stmt, "rda_cliDescribeCol") == nullptr) return RDA_CLI_INVALID_HANDLE;
  RDA_CliCol* col = getCol(stmt, number);
  if (col == nullptr) {
    addError(stmt, RDA_CLI_ROW_INVALID_COLUMN, nullptr);
    return RDA_CLI_ERROR;
  }
  if (!described(col)) {
    if (!prepared(stmt)) return RDA_CLI_SUCCESS;
    // The description rebuilds the column records.
    if (RDA_cliDescribeSQL(stmt) == 0 || !described(col = getCol(stmt, number))) {
      addErrorNum(stmt, RDA_CLI_ROW_SEQUENCE, "DescribeCol: result not available for column %d", number);
      return RDA_CLI_ERROR;
    }
  }
  return getResultCol(stmt, col, name, bufLen, nameLen, sqlType, colSize, scale, nullable);
}

int32_t rda_cliColAttribute(RDA_CliHSTMT* stmt, int16_t number, uint16_t descType, wchar_t* buf, int16_t bufLen,
                            int16_t* strLen, int64_t* num) {
  if (statement(stmt, "rda_cliColAttribute") == nullptr) return RDA_CLI_INVALID_HANDLE;
  RDA_cliClearErrorList(&stmt->errors);
  auto answer = [&](int64_t value) {
    if (num != nullptr) *num = value;
    if (strLen != nullptr) *strLen = 4;
    return RDA_CLI_SUCCESS;
  };
  if (descType == RDA_CLI_ATTR_COUNT) return answer(hasColumns(stmt) ? stmt->cols.count : 0);
  RDA_CliCol* col = getCol(stmt, number);
  if (col == nullptr) {
    addError(stmt, RDA_CLI_ROW_INVALID_COLUMN, nullptr);
    return RDA_CLI_ERROR;
  }
  if (!described(col)) {
    if (strLen != nullptr) *strLen = 0;
    return RDA_CLI_SUCCESS;
  }
  const wchar_t* text = nullptr;
  const char* cut = nullptr;  // the truncation text of a string answer
  switch (descType) {
    case RDA_CLI_ATTR_TYPE: return answer(col->sqlType);
    case RDA_CLI_ATTR_LENGTH: return answer(octetLength(col, false));
    case RDA_CLI_ATTR_OCTET_LENGTH: return answer(octetLength(col, true));
    case RDA_CLI_ATTR_PRECISION: return answer(col->colSize);
    case RDA_CLI_ATTR_SCALE: return answer(col->scale);
    case RDA_CLI_ATTR_NULLABLE: return answer(col->nullable != 0 ? 1 : 0);
    case RDA_CLI_ATTR_ARRAY: return answer(col->arrayFlag);
    case RDA_CLI_ATTR_VISIBLE: return answer((col->descFlags & RDA_CLI_DESC_HIDDEN) == 0 ? 1 : 0);
    case RDA_CLI_ATTR_TYPE2201: return answer((col->descFlags & RDA_CLI_DESC_TYPE2201) != 0 ? 1 : 0);
    case RDA_CLI_ATTR_FLAGS: return answer(col->descFlags);
    case RDA_CLI_ATTR_HIDDEN_COUNT: return answer(stmt->hiddenCols);
    case RDA_CLI_ATTR_NAME:
      text = col->name;
      cut = "Column name of result column %d right truncated";
      break;
    case RDA_CLI_ATTR_TYPE_NAME:
      text = col->typeName;
      cut = "Column type name of result column %d right truncated";
      break;
    case RDA_CLI_ATTR_TABLE_NAME:
      text = col->tableName;
      cut = "Column table name of result column %d right truncated";
      break;
    case RDA_CLI_ATTR_SCHEMA_NAME:
      text = col->schemaName;
      cut = "Column name of result column %d right truncated";
      break;
    case RDA_CLI_ATTR_CATALOG_NAME:
      text = col->catalogName;
      cut = "Column catalog name of result column %d right truncated";
      break;
    case RDA_CLI_ATTR_BASE_COLUMN:
      text = col->baseColName;
      cut = "Column base name of result column %d right truncated";
      break;
    case RDA_CLI_ATTR_LABEL:
      text = col->label;
      cut = "Column name of result column %d right truncated";
      break;
    default:
      addErrorNum(stmt, RDA_CLI_ROW_INVALID_ARGUMENT, "ColAttribute: fDescType %d is invalid", descType);
      return RDA_CLI_ERROR;
  }
  const int32_t chars = bufLen > 0 ? bufLen / static_cast<int32_t>(sizeof(wchar_t)) : 0;
  int32_t length = 0;
  if (copyWide(text, buf, chars, &length)) {
    if (strLen != nullptr)
      *strLen = length == 0 ? 0 : buf != nullptr ? -3 : clamp16(int64_t{length} * sizeof(wchar_t));
    return RDA_CLI_SUCCESS;
  }
  addErrorNum(stmt, RDA_CLI_ROW_TRUNCATED, cut, col->colNum);
  if (strLen != nullptr) *strLen = clamp16(int64_t{length} * sizeof(wchar_t));
  return RDA_CLI_SUCCESS_WITH_INFO;
}
