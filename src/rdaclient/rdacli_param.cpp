#include "src/rdaclient/rdacli_param.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

#include "src/asn1/rda_sql.h"
#include "src/rda/rda_list.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_sqltype.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_param";

// Defaults of a parameter the server does not describe.
constexpr int16_t kDefaultSqlType = RDA_CLI_SQL_VARCHAR;
constexpr uint64_t kDefaultColumnSize = 999;

constexpr uint32_t kAttrLong = 8;
constexpr uint32_t kAttrBinary = 16;
constexpr uint32_t kAttrBit = 32;
constexpr uint32_t kDirectionMask = 7;
constexpr int32_t kRadixDecimal = 1;

// Date-time field codes of a described datetime, and the column sizes of
// its SQL types.
constexpr int32_t kFieldDate = 1;
constexpr int32_t kFieldTime = 2;
constexpr int64_t kDateSize = 10;
constexpr int64_t kTimeSize = 8;
constexpr int64_t kTimestampSize = 19;
constexpr int64_t kTimestampFractionBase = 20;

bool acceptedCType(int16_t t) {
  switch (t) {
    case RDA_CLI_C_CHAR:
    case RDA_CLI_C_LONG:
    case RDA_CLI_C_SHORT:
    case RDA_CLI_C_FLOAT:
    case RDA_CLI_C_DOUBLE:
    case RDA_CLI_C_BINARY:
    case RDA_CLI_C_TINYINT:
    case RDA_CLI_C_BIT:
    case RDA_CLI_C_WCHAR:
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_USHORT:
    case RDA_CLI_C_ULONG:
      return true;
    default:
      return false;
  }
}

bool acceptedSqlType(int16_t t) {
  if (t >= RDA_CLI_SQL_CHAR && t <= RDA_CLI_SQL_VARCHAR) return true;
  return t < 0 && t >= RDA_CLI_SQL_WLONGVARCHAR && t != RDA_CLI_SQL_BIGINT;
}

template <class Record>
Record* findNumber(RdaCliRing* ring, int32_t number) {
  if (ring->head.next == nullptr) return nullptr;
  for (RdaCliLink* l = ring->head.next; l != &ring->head; l = l->next) {
    auto* r = reinterpret_cast<Record*>(l);
    if (r->number == number) return r;
  }
  return nullptr;
}

uint16_t lastNumber(const RdaCliRing& ring) {
  if (ring.head.next == nullptr || ring.head.prev == &ring.head) return 0;
  return reinterpret_cast<const RDA_CliParm*>(ring.head.prev)->number;
}

// The description of one parameter descriptor; false with a diagnostic when
// its type cannot describe a parameter.
bool describe(RDA_CliHSTMT* stmt, const RDAXOPENSQLDataDescr& d, RDA_CliParamSpec* spec) {
  const RDASQLType& t = d.type;
  const uint32_t attr = spec->attributes;
  int16_t type = RDA_cliCvrtTagToSQLType(t.code);
  int64_t precision = 0;
  int16_t scale = 0;
  switch (type) {
    case RDA_CLI_SQL_VARIANT:
      precision = t.length;
      break;
    case RDA_CLI_SQL_WVARCHAR:
      precision = t.varChar.maxLength;
      if ((attr & kAttrLong) != 0) type = RDA_CLI_SQL_WLONGVARCHAR;
      break;
    case RDA_CLI_SQL_WCHAR:
      precision = t.character.length;
      break;
    case RDA_CLI_SQL_VARBINARY:
      precision = t.length;
      if ((attr & kAttrLong) != 0) type = RDA_CLI_SQL_LONGVARBINARY;
      else if ((attr & kAttrBinary) != 0) type = RDA_CLI_SQL_BINARY;
      break;
    case RDA_CLI_SQL_CHAR:
      precision = t.character.length;
      if ((attr & kAttrBit) != 0) type = 0;
      break;
    case RDA_CLI_SQL_NUMERIC:
    case RDA_CLI_SQL_DECIMAL:
      precision = t.number.first;
      scale = static_cast<int16_t>(t.number.second & 0xFFFF);
      break;
    case RDA_CLI_SQL_INTEGER:
    case RDA_CLI_SQL_SMALLINT:
      if (t.number.second != kRadixDecimal) {
        if (type == RDA_CLI_SQL_INTEGER)
          TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColSpec: integer type with binary base is not supported\n");
        else
          TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColSpec: smallInt type with binary base is not supported\n");
        RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_ERROR, RDA_CLI_ERR_BINARY_RADIX, nullptr, stmt->tree);
        return false;
      }
      precision = t.number.first;
      if (type == RDA_CLI_SQL_SMALLINT) {
        if ((attr & kAttrBit) != 0) type = RDA_CLI_SQL_BIT;
        else if ((attr & kAttrBinary) != 0) type = RDA_CLI_SQL_TINYINT;
      }
      break;
    case RDA_CLI_SQL_FLOAT:
    case RDA_CLI_SQL_REAL:
    case RDA_CLI_SQL_DOUBLE:
      precision = t.number.first;
      break;
    case RDA_CLI_SQL_TIMESTAMP:
      if (t.dateTime.kind == kFieldDate) {
        type = RDA_CLI_SQL_DATE;
        precision = kDateSize;
      } else if (t.dateTime.kind == kFieldTime) {
        type = RDA_CLI_SQL_TIME;
        precision = kTimeSize;
      } else if ((t.dateTime.mask & (1u << 1)) != 0 && t.dateTime.precision >= 1) {
        precision = kTimestampFractionBase + t.dateTime.precision;
        scale = static_cast<int16_t>(t.dateTime.precision);
      } else {
        precision = kTimestampSize;
      }
      break;
    case RDA_CLI_SQL_VARCHAR:
      precision = t.varChar.maxLength;
      if ((attr & kAttrLong) != 0) type = RDA_CLI_SQL_LONGVARCHAR;
      break;
    default:
      RDA_cliStmtMessage(stmt, RDA_CLI_ROW_DATA_TYPE, "Invalid fSQLType %d for parameter %d", type,
                         static_cast<int>(spec->number));
      return false;
  }
  spec->sqlType = type;
  spec->precision = precision;
  spec->scale = scale;
  return true;
}

}  // namespace

const char* RDA_cliStmtMessage(RDA_CliHSTMT* stmt, uint32_t row, const char* format, ...) {
  // Without the thread's record the text is composed here instead.
  thread_local char own[kRdaCliMsgSize];
  char* text = qvGetRdaCliMsgBuf();
  if (text == nullptr) text = own;
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, kRdaCliMsgSize, format, args);
  va_end(args);
  RDA_cliAddError(&stmt->errors, row, 0, text, stmt->tree);
  return text;
}

int32_t rda_cliBindParam(RDA_CliHSTMT* stmt, int32_t number, int16_t cType, int16_t sqlType, uint64_t columnSize,
                         int16_t scale, void* value, int64_t* lenInd, RdaCliLink* chunks, int16_t direction,
                         int64_t bufferLength) {
  if (!RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliBindParam: invalid statement handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&stmt->errors);
  if (!acceptedCType(cType)) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_PROGRAM_TYPE, " Invalid fBufType: [%d]", cType);
    return RDA_CLI_ERROR;
  }
  if (!acceptedSqlType(sqlType)) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_DATA_TYPE, "Invalid fSQLType %d", sqlType);
    return RDA_CLI_ERROR;
  }
  RDA_CliParm* p = nullptr;
  if (number > static_cast<int32_t>(stmt->params.count)) {
    // A new parameter is the next number, and the record's number must hold it.
    if (number != lastNumber(stmt->params) + 1 || number > std::numeric_limits<uint16_t>::max()) {
      RDA_cliStmtMessage(stmt, RDA_CLI_ROW_INVALID_ARGUMENT, "Parameter %d is invalid", number);
      return RDA_CLI_ERROR;
    }
    p = static_cast<RDA_CliParm*>(_xm_allocItem(stmt->tree, sizeof(RDA_CliParm), XM_ZERO));
    if (p == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_clIBindParam: can't create RDA_CliParm\n");
      RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, stmt->tree);
      return RDA_CLI_ERROR;
    }
    p->number = static_cast<uint16_t>(number);
    RDA_cliRingAppend(&stmt->params, &p->links);
  } else {
    p = findNumber<RDA_CliParm>(&stmt->params, number);
    if (p == nullptr) {
      RDA_cliStmtMessage(stmt, RDA_CLI_ROW_INVALID_ARGUMENT, "Cannot find parameter %d", number);
      return RDA_CLI_ERROR;
    }
  }
  p->cType = cType;
  p->sqlType = sqlType;
  p->columnSize = columnSize;
  p->scale = scale;
  p->bindFlags |= RDA_CLI_PARM_BOUND;
  p->value = value;
  p->lenInd = lenInd;
  p->chunks = chunks;
  p->direction = direction;
  p->bufferLength = bufferLength;
  return RDA_CLI_SUCCESS;
}

RDA_CliParm* getParm(RDA_CliHSTMT* stmt, int32_t number) { return findNumber<RDA_CliParm>(&stmt->params, number); }

RDA_CliParamSpec* getParamSpec(RDA_CliHSTMT* stmt, int32_t number) {
  return findNumber<RDA_CliParamSpec>(&stmt->paramDescs, number);
}

int32_t rda_cliDescribeParam(RDA_CliHSTMT* stmt, int32_t number, int16_t* sqlType, uint64_t* columnSize,
                             int16_t* scale, int16_t* nullable, int16_t* direction) {
  if (!RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDescribeParam: invalid statement handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  int16_t type = kDefaultSqlType;
  uint64_t size = kDefaultColumnSize;
  int16_t digits = 0;
  int16_t canBeNull = 1;
  int16_t dir = RDA_CLI_PARAM_INPUT;
  if ((stmt->optionFlags & RDA_CLI_STMT_OPTIONS_SUPPORT) != 0) {
    const RDA_CliParamSpec* spec = getParamSpec(stmt, number);
    if (spec == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliDescribeParam: Param number %d does not exist\n", number);
      RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_INVALID_COLUMN, 0, nullptr, stmt->tree);
      return RDA_CLI_ERROR;
    }
    type = spec->sqlType;
    size = spec->precision < 0 ? 0 : static_cast<uint64_t>(spec->precision);
    digits = spec->scale;
    canBeNull = spec->nullable;
    dir = spec->direction;
  }
  if (sqlType != nullptr) *sqlType = type;
  if (columnSize != nullptr) *columnSize = size;
  if (scale != nullptr) *scale = digits;
  if (nullable != nullptr) *nullable = canBeNull;
  if (direction != nullptr) *direction = dir;
  return RDA_CLI_SUCCESS;
}

int32_t rda_cliParamAttributes(RDA_CliHSTMT* stmt, int32_t number, int16_t descType, char*, int16_t, int16_t*,
                               int64_t* numeric) {
  if (!RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliParamAttribute: invalid statement handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  RDA_cliClearErrorList(&stmt->errors);
  const RDA_CliParamSpec* spec = getParamSpec(stmt, number);
  if (spec == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliParamAttribute: parameter number %d does not exist\n", number);
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_INVALID_COLUMN, 0, nullptr, stmt->tree);
    return RDA_CLI_ERROR;
  }
  if (descType != RDA_CLI_PARAM_ATTR_DIRECTION) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_INVALID_ARGUMENT, "ParamAttribute: fDescType %d is invalid", descType);
    return RDA_CLI_ERROR;
  }
  if (numeric != nullptr) *numeric = spec->direction;
  return RDA_CLI_SUCCESS;
}

int32_t updateParamSpec(RDA_CliHSTMT* stmt, const RDAList* resultSpecs) {
  RDA_cliFreeRecords(&stmt->paramDescs);
  uint16_t number = 0;
  if (resultSpecs != nullptr && !rda_ringEmpty(*resultSpecs)) {
    for (const UL_Link* l = resultSpecs->links.next; l != &resultSpecs->links; l = l->next) {
      const auto* d = static_cast<const RDAXOPENSQLDataDescr*>(reinterpret_cast<const RDADescrNode*>(l)->descr);
      if (d == nullptr || (static_cast<uint32_t>(d->number) & RDA_CLI_ATTR_PARAMETER) == 0) continue;
      auto* spec = static_cast<RDA_CliParamSpec*>(_xm_allocItem(stmt->tree, sizeof(RDA_CliParamSpec), XM_ZERO));
      if (spec == nullptr) {
        RDA_cliStmtMessage(stmt, RDA_CLI_ROW_NO_MEMORY, "Cannot create parameter spec node");
        return 0;
      }
      spec->number = ++number;
      spec->attributes = static_cast<uint32_t>(d->number);
      spec->direction = static_cast<int16_t>(spec->attributes & kDirectionMask);
      spec->nullable = (d->mask & 1u) != 0 ? static_cast<int16_t>(d->nullable) : 1;
      if (!describe(stmt, *d, spec)) {
        _xm_freeItem(spec);
        return 0;
      }
      RDA_cliRingAppend(&stmt->paramDescs, &spec->links);
      TM_TRACE(rda_cliTMHandle, 32, kSrc, "updateParamSpec():Param=%d flags=%d\n", static_cast<int>(spec->number),
               static_cast<int>(spec->attributes));
    }
  }
  stmt->paramCount = stmt->paramDescs.count;
  return 1;
}
