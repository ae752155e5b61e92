#include "src/rdaclient/rdacli_result.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "src/asn1/rda_sql.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_confirm.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/runtime/tm.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_result";

constexpr uint32_t kRowChoice = 0x4001;  // a value list of a result element
constexpr uint32_t kValueTagBase = 0x4000;
constexpr uint32_t kTagChar = 0, kTagVarChar = 10, kTagWChar = 13, kTagWVarChar = 14;

// Parts of an attribute text: catalog, schema, table, base column, label,
// type name, and up to four more that nobody reads.
constexpr int kAttrParts = 10;

RDA_CliCol* colOf(RdaCliLink* l) { return reinterpret_cast<RDA_CliCol*>(l); }
RDA_CliValueItem* itemOf(RdaCliLink* l) { return reinterpret_cast<RDA_CliValueItem*>(l); }

template <class Node>
Node* nodeOf(const UL_Link* l) {
  return reinterpret_cast<Node*>(const_cast<UL_Link*>(l));
}

bool ringEmpty(const RdaCliRing& r) { return r.head.next == nullptr || r.head.next == &r.head; }

// Moves every record of `from` to the tail of `to`.
void moveAll(RdaCliRing* to, RdaCliRing* from) {
  while (!ringEmpty(*from)) {
    RdaCliLink* l = from->head.next;
    RDA_cliRingRemove(from, l);
    RDA_cliRingAppend(to, l);
  }
}

// Unlinks every queued value of the column, freeing those that are items of
// their own.
void dropValues(RDA_CliCol* col) {
  RdaCliRing& q = col->values;
  while (!ringEmpty(q)) {
    RdaCliLink* l = q.head.next;
    RDA_cliRingRemove(&q, l);
    if (itemOf(l)->owned != 0) _xm_freeItem(l);
  }
  RDA_cliRingInit(&q);
}

// Takes the description, the values and the current value from a column;
// the column number and the binding stay.
void clearColumn(RDA_CliCol* col) {
  col->flags &= ~RDA_CLI_COL_DESCRIBED;
  dropValues(col);
  _xm_freeItem(col->name);
  _xm_freeItem(col->attr);
  col->name = nullptr;
  col->attr = nullptr;
  col->baseColName = col->tableName = col->catalogName = col->schemaName = col->label = col->typeName = nullptr;
  col->sqlType = col->scale = col->nullable = 0;
  col->colSize = 0;
  col->descFlags = 0;
  col->arrayFlag = 0;
  col->pos = col->totalLen = col->deliveredLen = 0;
  col->extraParts = col->partsTaken = 0;
  col->curValue = col->startValue = nullptr;
  col->curType = 0;
}

void freeColumn(RDA_CliCol* col) {
  clearColumn(col);
  _xm_freeItem(col);
}

// A new column record in the statement's tree, or NULL.
RDA_CliCol* newColumn(RDA_CliHSTMT* stmt, int16_t number) {
  auto* col = static_cast<RDA_CliCol*>(_xm_allocItem(stmt->tree, sizeof(RDA_CliCol), XM_ZERO));
  if (col == nullptr) return nullptr;
  col->colNum = number;
  RDA_cliRingInit(&col->values);
  return col;
}

RDA_CliCol* findIn(RdaCliRing& ring, int16_t number) {
  if (ringEmpty(ring)) return nullptr;
  for (RdaCliLink* l = ring.head.next; l != &ring.head; l = l->next)
    if (colOf(l)->colNum == number) return colOf(l);
  return nullptr;
}

void addText(RDA_CliHSTMT* stmt, uint32_t index, int32_t native, const char* text) {
  RDA_cliAddError(&stmt->errors, index, native, text, stmt->tree);
}

uint32_t sizeOf(int32_t n) { return n > 0 ? static_cast<uint32_t>(n) : 0; }

// Cuts the wide attribute text at its '|' separators into the column's
// parts.
void splitAttributes(RDA_CliCol* col) {
  const wchar_t* parts[kAttrParts] = {};
  int n = 0;
  wchar_t* p = col->attr;
  parts[n++] = p;
  for (; *p != L'\0' && n < kAttrParts; ++p) {
    if (*p == L'|') {
      *p = L'\0';
      parts[n++] = p + 1;
    }
  }
  col->catalogName = parts[0];
  col->schemaName = parts[1];
  col->tableName = parts[2];
  col->baseColName = parts[3];
  col->label = parts[4];
  col->typeName = parts[5];
}

// Fills a column from its descriptor: 1, or 0 with a diagnostic (none when
// a text cannot be converted).
int32_t describe(RDA_CliHSTMT* stmt, RDA_CliCol* col, const RDAXOPENSQLDataTypeDescr& d) {
  char text[96];
  col->flags |= RDA_CLI_COL_DESCRIBED;
  if ((d.mask & 2u) != 0 && d.colName != nullptr) {
    col->name = ul_dupUtf8ToWchar(stmt->tree, d.colName, QV_NTS);
    if (col->name == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColSpec: can't convert the name of column %d\n",
               static_cast<int>(col->colNum));
      return 0;
    }
  }
  col->nullable = (d.mask & 1u) == 0 || d.nullable != 0 ? 1 : 0;
  col->arrayFlag = (d.mask & 4u) != 0 ? 1 : 0;
  const auto flags = static_cast<uint32_t>(d.number);
  const RDASQLType& t = d.type;
  int16_t type = RDA_cliCvrtTagToSQLType(t.code);
  int16_t scale = 0;
  uint32_t size = 0;
  switch (type) {
    case RDA_CLI_SQL_VARIANT:
      size = sizeOf(t.length);
      break;
    case RDA_CLI_SQL_WVARCHAR:
      size = sizeOf(t.varChar.maxLength);
      if ((flags & RDA_CLI_DESC_LONG) != 0) type = RDA_CLI_SQL_WLONGVARCHAR;
      break;
    case RDA_CLI_SQL_WCHAR:
      size = sizeOf(t.character.length);
      break;
    case RDA_CLI_SQL_VARBINARY:
      size = sizeOf(t.length);
      if ((flags & RDA_CLI_DESC_LONG) != 0) type = RDA_CLI_SQL_LONGVARBINARY;
      else if ((flags & RDA_CLI_DESC_FIXED) != 0) type = RDA_CLI_SQL_BINARY;
      break;
    case RDA_CLI_SQL_CHAR:
      size = sizeOf(t.character.length);
      if ((flags & RDA_CLI_DESC_BIT) != 0) type = RDA_CLI_SQL_UNKNOWN;
      break;
    case RDA_CLI_SQL_NUMERIC:
    case RDA_CLI_SQL_DECIMAL:
      size = sizeOf(t.number.first);
      scale = static_cast<int16_t>(t.number.second);
      break;
    case RDA_CLI_SQL_INTEGER:
    case RDA_CLI_SQL_SMALLINT:
      size = sizeOf(t.number.first);
      if (t.number.second != 1) {
        TM_TRACE(rda_cliTMHandle, 8, kSrc, type == RDA_CLI_SQL_INTEGER
                                               ? "*** updateColSpec: integer type with binary base is not supported\n"
                                               : "*** updateColSpec: smallInt type with binary base is not supported\n");
        addText(stmt, RDA_CLI_ROW_NO_ERROR, RDA_CLI_ERR_BINARY_RADIX, nullptr);
        return 0;
      }
      if (type == RDA_CLI_SQL_SMALLINT) {
        if ((flags & RDA_CLI_DESC_BIT) != 0) type = RDA_CLI_SQL_BIT;
        else if ((flags & RDA_CLI_DESC_FIXED) != 0) type = RDA_CLI_SQL_TINYINT;
      }
      break;
    case RDA_CLI_SQL_FLOAT:
    case RDA_CLI_SQL_REAL:
    case RDA_CLI_SQL_DOUBLE:
      size = sizeOf(t.number.first);
      break;
    case RDA_CLI_SQL_TIMESTAMP:  // the datetime tag
      if (t.dateTime.kind == 1) {
        type = RDA_CLI_SQL_DATE;
        size = 10;
      } else if (t.dateTime.kind == 2) {
        type = RDA_CLI_SQL_TIME;
        size = 8;
      } else if ((t.dateTime.mask & 2u) != 0 && t.dateTime.precision >= 1) {
        size = static_cast<uint32_t>(t.dateTime.precision) + 20;
        scale = static_cast<int16_t>(t.dateTime.precision);
      } else {
        size = 19;
      }
      break;
    case RDA_CLI_SQL_VARCHAR:
      size = sizeOf(t.varChar.maxLength);
      if ((flags & RDA_CLI_DESC_LONG) != 0) type = RDA_CLI_SQL_LONGVARCHAR;
      break;
    default:
      std::snprintf(text, sizeof text, "Invalid fSQLType %d for column %d", static_cast<int>(type),
                    static_cast<int>(col->colNum));
      addText(stmt, RDA_CLI_ROW_DATA_TYPE, 0, text);
      return 0;
  }
  col->sqlType = type;
  col->scale = scale;
  col->colSize = size;
  if ((d.mask & 16u) != 0 && d.name != nullptr) {
    col->attr = ul_dupUtf8ToWchar(stmt->tree, d.name, QV_NTS);
    if (col->attr == nullptr) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColSpec: can't convert the attributes of column %d\n",
               static_cast<int>(col->colNum));
      return 0;
    }
    splitAttributes(col);
  }
  col->descFlags = flags;
  return 1;
}

// The tree the values of the statement's current block go to.
XmTree* valueTree(RDA_CliHSTMT* stmt) { return stmt->resultTree != nullptr ? stmt->resultTree : stmt->tree; }

// A new value item with `extra` bytes after it, or NULL (S1001 added).
RDA_CliValueItem* newItem(RDA_CliHSTMT* stmt, XmTree* tree, uint64_t extra) {
  // Not zero-filled: a long part would be cleared only to be overwritten.
  const uint64_t size = sizeof(RDA_CliValueItem) + extra;
  void* mem = size <= UINT32_MAX ? xm_allocItemFromPage(tree, static_cast<uint32_t>(size), 0) : nullptr;
  if (mem == nullptr) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** copyValFromResult: can't allocate a value item\n");
    addText(stmt, RDA_CLI_ROW_NO_MEMORY, 0, nullptr);
    return nullptr;
  }
  auto* item = static_cast<RDA_CliValueItem*>(mem);
  item->links.next = item->links.prev = &item->links;
  item->data = nullptr;
  item->sqlType = 0;
  item->owned = tree == nullptr || tree->paging == 0 ? 1 : 0;
  std::memset(&item->value, 0, sizeof item->value);
  return item;
}

uint8_t* tailOf(RDA_CliValueItem* item) { return reinterpret_cast<uint8_t*>(item + 1); }

// A value the column cannot hold: 07006.
RDA_CliValueItem* refuseValue(RDA_CliHSTMT* stmt, const RDA_CliCol* col, uint32_t code, const char* why) {
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** copyValFromResult: column %d: %s (value tag %u)\n",
           static_cast<int>(col->colNum), why, static_cast<unsigned>(code - kValueTagBase));
  addText(stmt, RDA_CLI_ROW_RESTRICTED_TYPE, 0, nullptr);
  return nullptr;
}

// Builds the item of one received value and queues it on the column; the
// item, or NULL with a diagnostic.
RDA_CliValueItem* storeValue(RDA_CliHSTMT* stmt, RDA_CliCol* col, const RDAXOPENSQLVal& v, XmTree* tree) {
  RDA_CliValueItem* item = nullptr;
  if ((v.mask & 1u) == 0) {
    if ((v.mask & 2u) == 0 || v.indicator != -1) {
      char text[96];
      std::snprintf(text, sizeof text, "Invalid mask %d, neither dataItem nor indicator for NULL is present",
                    static_cast<int>(v.mask));
      addText(stmt, RDA_CLI_ROW_INVALID_ARGUMENT, 0, text);
      return nullptr;
    }
    if ((item = newItem(stmt, tree, 0)) == nullptr) return nullptr;
    item->sqlType = col->sqlType;
  } else {
    const RDAXOPENSQLValue& x = v.value;
    const int16_t type = RDA_cliCvrtValTagToSQLType(x.code);
    const uint32_t tag = x.code - kValueTagBase;
    bool cutByServer = false;  // the server sent a negative indicator with the data
    switch (type) {
      case RDA_CLI_SQL_INTEGER:
      case RDA_CLI_SQL_SMALLINT:
        if ((item = newItem(stmt, tree, 0)) == nullptr) return nullptr;
        item->value.integer = x.integer;
        break;
      case RDA_CLI_SQL_FLOAT:
      case RDA_CLI_SQL_REAL:
      case RDA_CLI_SQL_DOUBLE:
        if ((item = newItem(stmt, tree, 0)) == nullptr) return nullptr;
        item->value.real = x.real;
        break;
      case RDA_CLI_SQL_CHAR:
      case RDA_CLI_SQL_VARCHAR: {
        if (tag != kTagChar && tag != kTagVarChar) return refuseValue(stmt, col, x.code, "unknown text value");
        const uint32_t n = x.octets.octets != nullptr ? x.octets.length : 0;
        if ((item = newItem(stmt, tree, uint64_t{n} + 1)) == nullptr) return nullptr;
        item->value.text = RDA_CliText{n, tailOf(item)};
        if (n > 0) std::memcpy(tailOf(item), x.octets.octets, n);
        tailOf(item)[n] = '\0';
        cutByServer = true;
        break;
      }
      case RDA_CLI_SQL_WCHAR:
      case RDA_CLI_SQL_WVARCHAR: {
        if (tag != kTagWChar && tag != kTagWVarChar) return refuseValue(stmt, col, x.code, "unknown text value");
        const auto* src = reinterpret_cast<const char*>(x.octets.octets);
        const uint32_t bytes = src != nullptr ? x.octets.length : 0;
        if (bytes > INT32_MAX) return refuseValue(stmt, col, x.code, "wide text too long");
        const int32_t n = bytes > 0 ? utf8towcs(src, static_cast<int32_t>(bytes), nullptr, 0) : 0;
        if (bytes > 0 && n <= 0) return refuseValue(stmt, col, x.code, "malformed UTF-8 text");
        const uint64_t extra = (uint64_t{static_cast<uint32_t>(n)} + 1) * sizeof(wchar_t);
        if ((item = newItem(stmt, tree, extra)) == nullptr) return nullptr;
        auto* w = reinterpret_cast<wchar_t*>(tailOf(item));
        if (n > 0 && utf8towcs(src, static_cast<int32_t>(bytes), w, n) != n) {
          if (item->owned != 0) _xm_freeItem(item);
          return refuseValue(stmt, col, x.code, "malformed UTF-8 text");
        }
        w[n] = L'\0';
        item->value.wtext = RDA_CliWText{static_cast<uint32_t>(n), w};
        cutByServer = true;
        break;
      }
      case RDA_CLI_SQL_NUMERIC:
      case RDA_CLI_SQL_DECIMAL: {
        const uint32_t n = x.numeric.length <= RDA_XOPEN_NUMERIC_MAX ? x.numeric.length : RDA_XOPEN_NUMERIC_MAX;
        if ((item = newItem(stmt, tree, n)) == nullptr) return nullptr;
        item->value.text = RDA_CliText{n, tailOf(item)};
        std::memcpy(tailOf(item), x.numeric.octets, n);
        break;
      }
      case RDA_CLI_SQL_VARBINARY: {
        const uint32_t n = x.bitString.octets != nullptr ? x.bitString.count : 0;
        if ((item = newItem(stmt, tree, n)) == nullptr) return nullptr;
        item->value.bits = BitStgV{x.bitString.unused, n, tailOf(item)};
        if (n > 0) std::memcpy(tailOf(item), x.bitString.octets, n);
        cutByServer = true;
        break;
      }
      case RDA_CLI_SQL_TIMESTAMP: {  // the datetime tag
        if ((item = newItem(stmt, tree, 0)) == nullptr) return nullptr;
        const size_t n = strnlen(x.dateTime, RDA_DATETIME_MAX);
        std::memcpy(item->value.dateTime, x.dateTime, n);
        item->value.dateTime[n] = '\0';
        cutByServer = true;
        break;
      }
      default:
        return refuseValue(stmt, col, x.code, "value of a type the client does not read");
    }
    item->sqlType = type;
    item->data = &item->value;
    if (cutByServer && (v.mask & 2u) != 0 && v.indicator < 0) addText(stmt, RDA_CLI_ROW_TRUNCATED, 0, nullptr);
  }
  RDA_cliRingAppend(&col->values, &item->links);
  return item;
}

// The value of a value node.
const RDAXOPENSQLVal& valOf(const UL_Link* l) {
  return *static_cast<const RDAXOPENSQLVal*>(nodeOf<RDAValNode>(l)->val);
}

bool isFullPart(const RDA_CliValueItem* item) {
  return item->data != nullptr && item->sqlType == RDA_CLI_SQL_VARBINARY && item->value.bits.count == RDA_CLI_LONG_PART;
}

// Queues the values of one row on the columns, in column order: 1, or 0
// with a diagnostic.
int32_t splitRow(RDA_CliHSTMT* stmt, const RDAList& values, XmTree* tree) {
  const UL_Link* end = &values.links;
  const UL_Link* v = values.links.next != nullptr ? values.links.next : end;
  for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next) {
    RDA_CliCol* col = colOf(l);
    if (v == end) {
      char text[64];
      std::snprintf(text, sizeof text, "There is no result for this column %d", static_cast<int>(col->colNum));
      addText(stmt, RDA_CLI_ROW_DESCRIPTOR_COUNT, 0, text);
      return 0;
    }
    const RDAXOPENSQLVal& first = valOf(v);
    RDA_CliValueItem* item = storeValue(stmt, col, first, tree);
    if (item == nullptr) return 0;
    v = v->next;
    if (col->arrayFlag != 0 && item->data != nullptr) {
      // The element count, then the elements: no further than the row goes.
      if (item->sqlType != RDA_CLI_SQL_INTEGER && item->sqlType != RDA_CLI_SQL_SMALLINT) {
        refuseValue(stmt, col, first.value.code, "element count of an array is no integer");
        return 0;
      }
      const int32_t count = item->value.integer;
      for (int32_t k = 0; k < count; ++k) {
        if (v == end) {
          TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColVal: column %d: the row ends after %d of %d elements\n",
                   static_cast<int>(col->colNum), static_cast<int>(k), static_cast<int>(count));
          break;
        }
        if (storeValue(stmt, col, valOf(v), tree) == nullptr) return 0;
        v = v->next;
      }
    }
    if (col->sqlType == RDA_CLI_SQL_LONGVARBINARY) {
      // Parts of exactly 32000 bytes go on into the next value.
      while (isFullPart(item)) {
        if (v == end) {
          // The row ends inside the value: end it with an empty part, so
          // that it does not run into the next row's value.
          TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColVal: column %d: the row ends inside a long value\n",
                   static_cast<int>(col->colNum));
          if ((item = newItem(stmt, tree, 0)) == nullptr) return 0;
          item->sqlType = RDA_CLI_SQL_VARBINARY;
          item->value.bits = BitStgV{0, 0, tailOf(item)};
          item->data = &item->value;
          RDA_cliRingAppend(&col->values, &item->links);
          break;
        }
        if ((item = storeValue(stmt, col, valOf(v), tree)) == nullptr) return 0;
        v = v->next;
      }
    }
  }
  if (v != end) TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColVal: values beyond the last column ignored\n");
  return 1;
}

}  // namespace

// ---------------------------------------------------------------------------

void RDA_cliClearColumns(RDA_CliHSTMT* stmt) {
  if (!ringEmpty(stmt->cols)) {
    for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next)
      if ((colOf(l)->flags & RDA_CLI_COL_DESCRIBED) != 0) clearColumn(colOf(l));
  }
  stmt->hiddenCols = 0;
}

void RDA_cliDropQueuedValues(RDA_CliHSTMT* stmt) {
  if (ringEmpty(stmt->cols)) return;
  for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head; l = l->next) {
    RDA_CliCol* col = colOf(l);
    dropValues(col);
    col->curValue = col->startValue = nullptr;
    col->pos = col->totalLen = col->deliveredLen = 0;
    col->extraParts = col->partsTaken = 0;
  }
}

void RDA_cliFreeCols(RDA_CliHSTMT* stmt) {
  while (!ringEmpty(stmt->cols)) {
    RdaCliLink* l = stmt->cols.head.next;
    RDA_cliRingRemove(&stmt->cols, l);
    freeColumn(colOf(l));
  }
  RDA_cliRingInit(&stmt->cols);
  stmt->hiddenCols = 0;
}

int32_t updateColSpec(RDA_CliHSTMT* stmt, const RDAList* specs) {
  RDA_cliClearResult(stmt);
  stmt->state |= RDA_CLI_STMT_CONFIRMED;
  if (stmt->cols.head.next == nullptr) RDA_cliRingInit(&stmt->cols);
  RdaCliRing fresh;
  RDA_cliRingInit(&fresh);
  uint32_t hidden = 0;
  int32_t number = 0;
  bool ok = true;
  if (specs != nullptr && specs->links.next != nullptr) {
    for (const UL_Link* l = specs->links.next; ok && l != &specs->links; l = l->next) {
      const auto* d = static_cast<const RDAXOPENSQLDataTypeDescr*>(nodeOf<RDADescrNode>(l)->descr);
      if (d == nullptr || (static_cast<uint32_t>(d->number) & RDA_CLI_DESC_SKIP) != 0) continue;
      if (number == INT16_MAX) {
        TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** updateColSpec: more than %d columns\n", INT16_MAX);
        addText(stmt, RDA_CLI_ROW_INVALID_COLUMN, 0, nullptr);
        ok = false;
        break;
      }
      const auto n = static_cast<int16_t>(++number);
      RDA_CliCol* col = findIn(stmt->cols, n);
      if (col != nullptr) {
        RDA_cliRingRemove(&stmt->cols, &col->links);
        clearColumn(col);
      } else if ((col = newColumn(stmt, n)) == nullptr) {
        TM_TRACE(rda_cliTMHandle, 8, kSrc, "Cannot create column\n");
        addText(stmt, RDA_CLI_ROW_NO_MEMORY, 0, nullptr);
        ok = false;
        break;
      }
      RDA_cliRingAppend(&fresh, &col->links);
      ok = describe(stmt, col, *d) != 0;
      if (ok && (col->descFlags & RDA_CLI_DESC_HIDDEN) != 0) ++hidden;
    }
  }
  if (!ok) {
    // The failed description goes; the application's bindings stay, so that
    // the next result fills its buffers.
    moveAll(&stmt->cols, &fresh);
    for (RdaCliLink* l = stmt->cols.head.next; l != &stmt->cols.head;) {
      RdaCliLink* next = l->next;
      if ((colOf(l)->flags & RDA_CLI_COL_BOUND) != 0) {
        clearColumn(colOf(l));
      } else {
        RDA_cliRingRemove(&stmt->cols, l);
        freeColumn(colOf(l));
      }
      l = next;
    }
    stmt->hiddenCols = 0;
    return 0;
  }
  // Records not described again go; the new ring is the statement's.
  RDA_cliFreeCols(stmt);
  moveAll(&stmt->cols, &fresh);
  stmt->hiddenCols = hidden;
  return 1;
}

int32_t copyValFromResult(RDA_CliHSTMT* stmt, RDA_CliCol* col, const RDAXOPENSQLVal* val, XmTree* tree) {
  if (val == nullptr) return 0;
  return storeValue(stmt, col, *val, tree) != nullptr ? 1 : 0;
}

int32_t updateColVal(RDA_CliHSTMT* stmt, const RDAList* rows) {
  if (rows == nullptr || rows->links.next == nullptr) return 1;
  if (ringEmpty(stmt->cols)) {
    // No result columns: the first element that carries an exception (or
    // none at all) says how the statement ended.
    for (const UL_Link* l = rows->links.next; l != &rows->links; l = l->next) {
      const RDAXOPENResultVals& row = nodeOf<RDAXOPENResultNode>(l)->row;
      if (row.exception == nullptr || row.exception->mask != 0) return copyDBLExcp(&row, stmt);
    }
    return 1;
  }
  XmTree* tree = valueTree(stmt);
  int32_t result = 1;
  for (const UL_Link* l = rows->links.next; l != &rows->links; l = l->next) {
    const RDAXOPENResultVals& row = nodeOf<RDAXOPENResultNode>(l)->row;
    if (row.exception != nullptr && copyDBLExcp(&row, stmt) == 0) {
      result = 0;
      break;
    }
    if ((row.mask & 2u) != 0 && row.values.code == kRowChoice && splitRow(stmt, row.values.values, tree) == 0) {
      result = 0;
      break;
    }
  }
  for (RdaCliLink* c = stmt->cols.head.next; c != &stmt->cols.head; c = c->next) colOf(c)->extraParts = 0;
  return result;
}
