#include "src/rdaclient/rdacli_fetch.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "common/qvunicode.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/runtime/tm.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_fetch";
// Characters of a wide value a trace line shows at most.
constexpr size_t kShownChars = 512;

RDA_CliCol* colOf(RdaCliLink* l) { return reinterpret_cast<RDA_CliCol*>(l); }
RDA_CliValueItem* itemOf(RdaCliLink* l) { return reinterpret_cast<RDA_CliValueItem*>(l); }

bool ringEmpty(const RdaCliRing& r) { return r.head.next == nullptr || r.head.next == &r.head; }

RDA_CliCol* firstCol(RDA_CliHSTMT* stmt) {
  return ringEmpty(stmt->cols) ? nullptr : colOf(stmt->cols.head.next);
}

bool described(const RDA_CliCol* col) { return col != nullptr && (col->flags & RDA_CLI_COL_DESCRIBED) != 0; }

// The first value still queued on the column, or NULL.
RDA_CliValueItem* headItem(RDA_CliCol* col) { return ringEmpty(col->values) ? nullptr : itemOf(col->values.head.next); }

// Unlinks a queued value; one that is an XM item of its own is freed
// (otherwise it goes with its tree's pages).
void dropItem(RDA_CliCol* col, RdaCliLink* l) {
  RDA_cliRingRemove(&col->values, l);
  if (itemOf(l)->owned != 0) _xm_freeItem(l);
}

// The rest of the previous row's value: the further parts of a long value
// or the elements of an array, still queued after their first item.
void dropExtraParts(RDA_CliCol* col) {
  while (col->extraParts > 0 && !ringEmpty(col->values)) {
    dropItem(col, col->values.head.next);
    --col->extraParts;
  }
  col->extraParts = 0;
  col->partsTaken = 0;
}

// Before the next block replaces the cursor's tree: whatever is still
// queued cannot belong to a row any more, and no current value may point
// into the tree that goes.
void dropBlock(RDA_CliHSTMT* stmt) {
  for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next) {
    RDA_CliCol* col = colOf(l);
    while (!ringEmpty(col->values)) dropItem(col, col->values.head.next);
    col->extraParts = col->partsTaken = 0;
    col->curValue = col->startValue = nullptr;
  }
}

bool isFullPart(const RDA_CliValueItem* item) {
  return item->data != nullptr && item->sqlType == RDA_CLI_SQL_VARBINARY && item->value.bits.count == RDA_CLI_LONG_PART;
}

bool binaryColumn(int16_t sqlType) {
  return sqlType == RDA_CLI_SQL_LONGVARBINARY || sqlType == RDA_CLI_SQL_VARBINARY || sqlType == RDA_CLI_SQL_BINARY;
}

// Makes `item`, the head of the column's queue, the column's current
// value: its read position at the start, and for a long binary value its
// total length and the further parts it occupies in the queue, for an array
// value the elements that follow it. The walks end at the queue's end: a
// value can run no further than what was received.
void makeCurrent(RDA_CliCol* col, RDA_CliValueItem* item) {
  col->pos = col->totalLen = col->deliveredLen = 0;
  col->extraParts = col->partsTaken = 0;
  col->curType = item->sqlType;
  col->curValue = col->startValue = item->data;
  if (item->data == nullptr) return;
  const RdaCliLink* end = &col->values.head;
  if (binaryColumn(col->sqlType) && item->sqlType == RDA_CLI_SQL_VARBINARY) {
    uint64_t total = item->value.bits.count;
    if (col->sqlType == RDA_CLI_SQL_LONGVARBINARY && isFullPart(item)) {
      for (RdaCliLink* l = item->links.next; l != end && col->extraParts < UINT16_MAX; l = l->next) {
        const RDA_CliValueItem* part = itemOf(l);
        ++col->extraParts;
        if (part->data == nullptr || part->sqlType != RDA_CLI_SQL_VARBINARY) break;
        total += part->value.bits.count;
        if (!isFullPart(part)) break;
      }
    }
    col->totalLen = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
    TM_TRACE(rda_cliTMHandle, 128, kSrc, "rda_cliFetch(): Total items in value <%d> total bytes in column is %ld \n",
             static_cast<int>(col->extraParts), static_cast<long>(col->totalLen));
  } else if (col->arrayFlag != 0 && (item->sqlType == RDA_CLI_SQL_INTEGER || item->sqlType == RDA_CLI_SQL_SMALLINT)) {
    const int32_t count = item->value.integer;
    for (RdaCliLink* l = item->links.next; l != end && col->extraParts < count && col->extraParts < UINT16_MAX;
         l = l->next)
      ++col->extraParts;
  }
}

// Steps common to a fetch and to the delivery of output values: the
// diagnostics cleared, the preconditions, the rest of the previous row
// dropped. 0, or -1 with the diagnostic.
int32_t beginFetch(RDA_CliHSTMT* stmt) {
  RDA_cliClearErrorList(&stmt->errors);
  stmt->fetchState = 1;
  stmt->lastGetDataCol = 0;
  if ((stmt->conn->state & RDA_CLI_ST_TRANSACTION) == 0) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_COMPLETION_UNKNOWN, "%s", "Transaction is not open");
    return RDA_CLI_ERROR;
  }
  if ((stmt->state & RDA_CLI_STMT_CURSOR_OPEN) == 0) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_CURSOR_STATE, "%s", "Cursor is not open");
    return RDA_CLI_ERROR;
  }
  if (stmt->cols.count == 0 || firstCol(stmt) == nullptr) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_DESCRIPTOR_COUNT, "%s", "There are no columns to be fetched");
    return RDA_CLI_ERROR;
  }
  for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next)
    if (colOf(l)->extraParts != 0) dropExtraParts(colOf(l));
  return RDA_CLI_SUCCESS;
}

// A column of the row without its value: 07008, and the result goes.
int32_t noResult(RDA_CliHSTMT* stmt, const RDA_CliCol* col) {
  if (col != nullptr)
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_DESCRIPTOR_COUNT, "There is no result for this column %d",
                       static_cast<int>(col->colNum));
  else
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_DESCRIPTOR_COUNT, "%s", "There is no result for this column");
  RDA_cliClearResult(stmt);
  return RDA_CLI_ERROR;
}

// What a delivered row answers from the diagnostics it left.
int32_t rowResult(RDA_CliHSTMT* stmt) {
  if (stmt->errors.count == 0) return RDA_CLI_SUCCESS;
  if (RDA_cliTruncErrOnly(&stmt->errors) != 0) return RDA_CLI_SUCCESS_WITH_INFO;
  if (noDataErrOnly(&stmt->errors) != 0) return RDA_CLI_NO_DATA;
  return RDA_CLI_ERROR;
}

// Asks the server for the next block of rows: 0 when the fetch may go on,
// or the fetch's result.
int32_t nextBlock(RDA_CliHSTMT* stmt) {
  dropBlock(stmt);
  if (RDA_cliFetchCol(stmt) == 0) {
    if (stmt->conn->errors.count > 0) return RDA_CLI_ERROR;
    stmt->moreResults = lastResultSetErr(&stmt->errors) != 0 ? 0 : 1;
    stmt->endOfData = static_cast<uint32_t>(noDataErrOnly(&stmt->errors));
    if (stmt->endOfData == 0 && RDA_cliTruncErrOnly(&stmt->errors) == 0) return RDA_CLI_ERROR;
  }
  const RDA_CliCol* first = firstCol(stmt);
  if (stmt->endOfData == 0 && first != nullptr && !ringEmpty(first->values)) {
    stmt->blockReceived = 1;
    TM_TRACE(rda_cliTMHandle, 32, kSrc, "Marking that we recieved block of records \n");
  }
  return RDA_CLI_SUCCESS;
}

RDA_CliHSTMT* statement(RDA_CliHSTMT* stmt) {
  if (RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) return stmt;
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliFetch: invalid statement handle\n");
  return nullptr;
}

}  // namespace

int32_t rda_cliFetch(RDA_CliHSTMT* stmt) {
  if (statement(stmt) == nullptr) return RDA_CLI_INVALID_HANDLE;
  if (const int32_t begun = beginFetch(stmt); begun != RDA_CLI_SUCCESS) return begun;
  RDA_CliCol* first = firstCol(stmt);
  if (stmt->endOfData == 0 && ringEmpty(first->values)) {
    if (const int32_t asked = nextBlock(stmt); asked != RDA_CLI_SUCCESS) return asked;
    // A failed answer may have dropped the result.
    if ((first = firstCol(stmt)) == nullptr) return RDA_CLI_ERROR;
  }

  if (!described(first) || (stmt->endOfData != 0 && ringEmpty(first->values))) {
    if (stmt->moreResults != 0) return RDA_CLI_NO_DATA;
    // The last result set of a call has ended: its output values.
    const int32_t values = rda_cliGetReturnValue(stmt);
    return values != RDA_CLI_SUCCESS ? values : RDA_CLI_NO_DATA;
  }

  for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next) {
    RDA_CliCol* col = colOf(l);
    RDA_CliValueItem* item = described(col) ? headItem(col) : nullptr;
    if (item == nullptr) return noResult(stmt, col);
    makeCurrent(col, item);
    // Taken off the queue before the conversion, so that the further parts
    // are the queue's first items; the item itself stays valid in its tree
    // for SQLGetData until the next block replaces the tree.
    RDA_cliRingRemove(&col->values, &item->links);
    if ((col->flags & RDA_CLI_COL_BOUND) != 0) {
      RDA_cliCvrtSQLToCol(stmt, &col->bind, col, col->curValue);
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rda_cliFetch(): Bound column=<%d> fBufType=<%d> pcbValue=<%d>\n",
               static_cast<int>(col->colNum), static_cast<int>(col->bind.cType),
               col->bind.ind != nullptr ? static_cast<int>(*col->bind.ind) : 0);
      if (tm_siteOn(rda_cliTMHandle, 64)) printRGBValue(col->bind.cType, col->bind.buffer, col->bind.bufLen, col->bind.ind);
    }
  }
  const int32_t result = rowResult(stmt);
  if (result == RDA_CLI_SUCCESS && stmt->conn->productType == 2 && ringEmpty(first->values))
    return RDA_CLI_ROWLIMIT_EXCEEDED;
  return result;
}

int32_t rda_cliFetchReturnVal(RDA_CliHSTMT* stmt) {
  if (statement(stmt) == nullptr) return RDA_CLI_INVALID_HANDLE;
  if (const int32_t begun = beginFetch(stmt); begun != RDA_CLI_SUCCESS) return begun;
  RDA_CliCol* first = firstCol(stmt);
  if (!described(first) || (stmt->endOfData != 0 && ringEmpty(first->values))) return RDA_CLI_NO_DATA;

  RdaCliLink* at = &first->links;
  const RDA_CliValueItem* status = headItem(first);
  if (status != nullptr && status->data == nullptr) {
    // A NULL first: the row carries the call's return status before the
    // output values.
    const uint32_t returned = stmt->cols.count - 1;
    if (returned != stmt->returnValues) {
      RDA_cliStmtMessage(stmt, RDA_CLI_ROW_DESCRIPTOR_COUNT, "More parameters bound for output(%d) then returned(%d)",
                         static_cast<int>(stmt->returnValues), static_cast<int>(returned));
      RDA_cliClearResult(stmt);
      return RDA_CLI_ERROR;
    }
    TM_TRACE(rda_cliTMHandle, 16, kSrc, "*** rda_cliFetchReturnVal: Skipping Return Status\n");
    at = at->next;
  }
  if (!ringEmpty(stmt->params)) {
    for (RdaCliLink* p = stmt->params.head.next; p != &stmt->params.head; p = p->next) {
      auto* parm = reinterpret_cast<RDA_CliParm*>(p);
      if ((parm->direction & 6) == 0) continue;  // input only: no column
      RDA_CliCol* col = at != &stmt->cols.head ? colOf(at) : nullptr;
      RDA_CliValueItem* item = described(col) ? headItem(col) : nullptr;
      if (item == nullptr) return noResult(stmt, nullptr);
      makeCurrent(col, item);
      RDA_cliRingRemove(&col->values, &item->links);
      int64_t spare = 0;
      RDA_CliBind bind{parm->cType, parm->value, parm->bufferLength, parm->lenInd != nullptr ? parm->lenInd : &spare};
      RDA_cliCvrtSQLToCol(stmt, &bind, col, col->curValue);
      at = at->next;
    }
  }
  return rowResult(stmt);
}

int32_t rda_cliFetchNextPartOfColumnValue(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol* col) {
  TM_TRACE(rda_cliTMHandle, 128, kSrc, "rda_cliFetchNextPartOfColumnValue(): column %d, part %d of %d\n",
           static_cast<int>(col->colNum), static_cast<int>(col->partsTaken) + 1, static_cast<int>(col->extraParts));
  if (col->extraParts <= col->partsTaken) return RDA_CLI_NO_DATA;
  // The first part taken is the queue's head (the value's own first item
  // has left the queue); each later one follows the part taken before it.
  RdaCliLink* l = col->partsTaken > 0 && col->partAt != nullptr ? col->partAt->next : col->values.head.next;
  if (col->partsTaken > 0 && col->partAt == nullptr) {
    for (uint16_t i = 0; i < col->partsTaken && l != &col->values.head; ++i) l = l->next;
  }
  if (ringEmpty(col->values) || l == &col->values.head) return RDA_CLI_NO_DATA;
  ++col->partsTaken;
  col->partAt = l;
  col->pos = 0;
  const RDA_CliValueItem* item = itemOf(l);
  if (item->data == nullptr) return RDA_CLI_NO_DATA;
  col->curType = item->sqlType;
  col->curValue = item->data;
  return RDA_CLI_SUCCESS;
}

// ---------------------------------------------------------------------------
// Trace of a delivered value

void printRGBValue(int16_t cType, const void* buffer, int64_t bufLen, const int64_t* ind) {
  if (!tm_siteOn(rda_cliTMHandle, 64)) return;
  if (buffer == nullptr) {
    TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<NULL>\n");
    return;
  }
  if (ind == nullptr) {
    TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<Invalid pcbValue>\n");
    return;
  }
  if (*ind == -1) {
    TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<NULL DATA>\n");
    return;
  }
  auto as = [buffer](auto v) {
    std::memcpy(&v, buffer, sizeof v);
    return v;
  };
  const int64_t room = bufLen > 0 ? bufLen : 0;
  switch (cType) {
    case RDA_CLI_C_ULONG:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%lu>\n", static_cast<unsigned long>(as(uint32_t{})));
      return;
    case RDA_CLI_C_USHORT:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%u>\n", static_cast<unsigned>(as(uint16_t{})));
      return;
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_LONG:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%ld>\n", static_cast<long>(as(int32_t{})));
      return;
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SHORT:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%d>\n", static_cast<int>(as(int16_t{})));
      return;
    case RDA_CLI_C_WCHAR: {
      // The characters before the NUL or the buffer's end (as many as a
      // line shows), in UTF-8.
      wchar_t shown[kShownChars + 1];
      size_t n = static_cast<size_t>(room) / sizeof(wchar_t);
      if (n > kShownChars) n = kShownChars;
      std::memcpy(shown, buffer, n * sizeof(wchar_t));
      shown[n] = L'\0';
      char utf8[kShownChars * 4 + 1];
      if (wcstoutf8(shown, QV_NTS, utf8, sizeof utf8) <= 0) std::snprintf(utf8, sizeof utf8, "?");
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%s>\n", utf8);
      return;
    }
    case RDA_CLI_C_BIT:
    case RDA_CLI_C_TINYINT:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%u>\n", static_cast<unsigned>(as(uint8_t{})));
      return;
    case RDA_CLI_C_BINARY:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<Binary DATA>\n");
      return;
    case RDA_CLI_C_CHAR: {
      const auto* s = static_cast<const char*>(buffer);
      const size_t n = strnlen(s, static_cast<size_t>(room));
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%.*s>\n", static_cast<int>(n), s);
      return;
    }
    case RDA_CLI_C_FLOAT:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%f>\n", static_cast<double>(as(float{})));
      return;
    case RDA_CLI_C_DOUBLE:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%lf>\n", as(double{}));
      return;
    case RDA_CLI_C_DATE: {
      const RdaCliDate d = as(RdaCliDate{});
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%04d-%02d-%02d>\n", d.year, d.month, d.day);
      return;
    }
    case RDA_CLI_C_TIME: {
      const RdaCliTime t = as(RdaCliTime{});
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%02d:%02d:%02d>\n", t.hour, t.minute, t.second);
      return;
    }
    case RDA_CLI_C_TIMESTAMP: {
      const RdaCliTimestamp t = as(RdaCliTimestamp{});
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<%04d-%02d-%02d %02d:%02d:%02d.%09u>\n", t.year, t.month,
                      t.day, t.hour, t.minute, t.second, static_cast<unsigned>(t.fraction));
      return;
    }
    case RDA_CLI_C_DEFAULT:
      TM_TRACE(rda_cliTMHandle, 64, kSrc, "rgbValue=<0x%lx>", reinterpret_cast<unsigned long>(buffer));
      return;
    default:
      return;
  }
}
