#include "src/rdaclient/rdacli_execreq.h"

#include <cstring>

#include "common/charscpy.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_bufcvt.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_execreq";

constexpr int32_t kFetchCharLength = 10;
constexpr int32_t kIndNull = -1;

// The texts of one builder.
struct Texts {
  const char* name;        // in the "***" trace lines
  const char* traceTypes;  // trace of a bad SQL type or C type
  const char* traceOther;  // trace of the other messages
  const char* badSqlType;
  const char* badCType;
  const char* emptyCell;
  const char* cannotBuild;
};

constexpr Texts kExec{
    "RDA_cliCreateExecSQL",
    "RDA_cliCreateExecSQL() %s\n",
    "RDA_cliCreateExecSQL() %s\n",
    "Invalid SQL type %d",
    "Invalid  C type %d",
    "Conversion from fSQLType=[%d] to fBufType=[%d] failed.",
    "Cannot build argument",
};
constexpr Texts kExecFetch{
    "RDA_opt_cliCreateExecSQLWithFetchData",
    "RDA_cliCreateExecSQL() %s\n",
    "RDA_opt_cliCreateExecSQLWithFetchData() %s\n",
    "Invalid SQL type %d",
    "Invalid C type %d",
    "Conversion from  fSQLType=[%d] to fBufType=[%d] failed.",
    "Cannot build arguement",
};

// The call's tree, freed on every way out unless handed to the request
// builder.
class CallTree {
 public:
  CallTree() : tree_(_xm_allocTree(nullptr)) {}
  ~CallTree() {
    if (tree_ != nullptr) _xm_freeTree(tree_);
  }
  CallTree(const CallTree&) = delete;
  CallTree& operator=(const CallTree&) = delete;
  XmTree* get() const { return tree_; }
  XmTree* release() {
    XmTree* t = tree_;
    tree_ = nullptr;
    return t;
  }

 private:
  XmTree* tree_;
};

// A "***" line and S1001 on the statement.
GIDU* noMemory(RDA_CliHSTMT* stmt, const char* name, const char* what) {
  TM_TRACE(rda_cliTMHandle, 1, kSrc, "*** %s: %s\n", name, what);
  RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, stmt->tree);
  return nullptr;
}

// A failure of the arguments: 40001 with the message, traced.
template <class... Args>
GIDU* argumentFailed(RDA_CliHSTMT* stmt, const char* trace, const char* format, Args... args) {
  const char* text = RDA_cliStmtMessage(stmt, RDA_CLI_ROW_COMPLETION_UNKNOWN, format, args...);
  TM_TRACE(rda_cliTMHandle, 8, kSrc, trace, text);
  return nullptr;
}

// The SQL text as a counted octet string in the tree.
bool copyText(const char* sqlText, XmTree* tree, OctStgV* out) {
  char* copy = ul_charscpy(sqlText != nullptr ? sqlText : "", tree);
  if (copy == nullptr) return false;
  *out = OctStgV{static_cast<uint32_t>(std::strlen(copy)), reinterpret_cast<uint8_t*>(copy)};
  return true;
}

// The request of the built parts; the tree goes with it (or is freed by the
// request builder when it fails).
GIDU* request(RDA_CliHSTMT* stmt, const char* name, CallTree& tree, const OctStgV& text, uint32_t argCount,
              void* const* specs, RDASQLValList* list, int32_t repetition) {
  const GIDU* ref = stmt->conn != nullptr ? stmt->conn->tmpl : nullptr;
  if (ref == nullptr) {
    // An aborted connection has no template until it connects again.
    TM_TRACE(rda_cliTMHandle, 1, kSrc, "*** %s: the connection has no association\n", name);
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_CONNECTION, 0, nullptr, stmt->tree);
    return nullptr;
  }
  RDASQLValList* lists[] = {list};
  GIDU* g = rda_createSQLExecDBLReq(ref, static_cast<int32_t>(stmt->opId), nullptr, nullptr, &text, argCount, specs,
                                    0, nullptr, list != nullptr ? 1 : 0, lists, repetition, tree.release());
  if (g == nullptr) {
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_MEMORY, 0, nullptr, stmt->tree);
  }
  return g;
}

struct Arguments {
  RDAXOPENSQLDataDescr** specs = nullptr;
  RDASQLValList* list = nullptr;
};

// The specification array and the value list of `count` arguments; false
// with S1001 on the statement.
bool makeArguments(RDA_CliHSTMT* stmt, const char* name, XmTree* tree, uint32_t count, Arguments* out) {
  if (count > 0) {
    out->specs = static_cast<RDAXOPENSQLDataDescr**>(
        _xm_allocItem(tree, static_cast<uint32_t>(count * sizeof(RDAXOPENSQLDataDescr*)), XM_ZERO));
    if (out->specs == nullptr) {
      noMemory(stmt, name, "can't get sQLDBLArgSpecs");
      return false;
    }
  }
  out->list = rda_createSQLValList(tree);
  if (out->list == nullptr) {
    noMemory(stmt, name, "can't get sQLDBLArgVal");
    return false;
  }
  return true;
}

// Converts parameter `p` into argument `i`; false with the diagnostics.
bool convert(RDA_CliHSTMT* stmt, const Texts& texts, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec,
             RDASQLValList* list, XmTree* tree) {
  const int32_t row = p->sqlType + kRdaCliSqlTypeBase;
  if (row < 0 || row >= static_cast<int32_t>(kRdaCliSqlRows)) {
    argumentFailed(stmt, texts.traceTypes, texts.badSqlType, static_cast<int>(p->sqlType));
    return false;
  }
  const int32_t column = getCParamIndex(p->cType);
  if (column < 0) {
    argumentFailed(stmt, texts.traceTypes, texts.badCType, static_cast<int>(p->cType));
    return false;
  }
  const RdaCliParamConverter converter = bufToSQLTBL[static_cast<size_t>(row)][static_cast<size_t>(column)];
  if (converter == nullptr) {
    argumentFailed(stmt, texts.traceOther, texts.emptyCell, static_cast<int>(p->sqlType), static_cast<int>(p->cType));
    return false;
  }
  if (converter(stmt, p, spec, list, tree) == 0 || *spec == nullptr) {
    argumentFailed(stmt, texts.traceOther, "%s", texts.cannotBuild);
    return false;
  }
  (*spec)->number |= RDA_cliArgAttributes(p->sqlType);
  return true;
}

uint32_t countOf(const RdaCliRing* params) {
  return params != nullptr && params->head.next != nullptr ? params->count : 0;
}

}  // namespace

int32_t RDA_cliArgAttributes(int16_t sqlType) {
  switch (sqlType) {
    case RDA_CLI_SQL_LONGVARCHAR:
    case RDA_CLI_SQL_LONGVARBINARY:
    case RDA_CLI_SQL_WLONGVARCHAR:
      return RDA_CLI_ARG_LONG;
    case RDA_CLI_SQL_BINARY:
    case RDA_CLI_SQL_TINYINT:
      return RDA_CLI_ARG_BINARY;
    case RDA_CLI_SQL_BIT:
      return RDA_CLI_ARG_BIT;
    default:
      return 0;
  }
}

GIDU* RDA_cliCreateExecSQL(RDA_CliHSTMT* stmt, const char* sqlText, const RdaCliRing* params) {
  const Texts& t = kExec;
  TM_TRACE(rda_cliTMHandle, 32, kSrc, "RDA_cliCreateExecSQL(): %s\n", sqlText != nullptr ? sqlText : "");
  RDA_cliClearResult(stmt);
  CallTree tree;
  if (tree.get() == nullptr) return noMemory(stmt, t.name, "can't get xmTree");
  OctStgV text;
  if (!copyText(sqlText, tree.get(), &text)) return noMemory(stmt, t.name, "can't copy sQLStr");
  const uint32_t count = countOf(params);
  Arguments args;
  if (count > 0) {
    if (!makeArguments(stmt, t.name, tree.get(), count, &args)) return nullptr;
    uint32_t i = 0;
    for (const RdaCliLink* l = params->head.next; l != &params->head; l = l->next, ++i) {
      if (!convert(stmt, t, reinterpret_cast<const RDA_CliParm*>(l), &args.specs[i], args.list, tree.get()))
        return nullptr;
    }
  }
  return request(stmt, t.name, tree, text, count, reinterpret_cast<void* const*>(args.specs), args.list, 1);
}

GIDU* RDA_opt_cliCreateExecSQLWithFetchData(RDA_CliHSTMT* stmt, const char* sqlText, const RdaCliRing* params,
                                            int32_t rowCount) {
  const Texts& t = kExecFetch;
  TM_TRACE(rda_cliTMHandle, 32, kSrc, "RDA_opt_cliCreateExecSQLWithFetchData(): %s\n",
           sqlText != nullptr ? sqlText : "");
  RDA_cliClearResult(stmt);
  CallTree tree;
  if (tree.get() == nullptr) return noMemory(stmt, t.name, "can't get xmTree");
  OctStgV text;
  if (!copyText(sqlText, tree.get(), &text)) return noMemory(stmt, t.name, "can't copy sQLStr");
  const uint32_t count = countOf(params);
  Arguments args;
  if (!makeArguments(stmt, t.name, tree.get(), count, &args)) return nullptr;
  // The output parameters of the call: counted when the call's request
  // carries its parameters (the requests of its further result sets and of
  // its output values carry none, and keep the count).
  if (count > 0) stmt->returnValues = 0;
  uint32_t i = 0;
  for (const RdaCliLink* l = count > 0 ? params->head.next : nullptr; i < count; l = l->next, ++i) {
    const auto* p = reinterpret_cast<const RDA_CliParm*>(l);
    if ((p->direction & RDA_CLI_PARAM_OUTPUT) == 0) {
      if (!convert(stmt, t, p, &args.specs[i], args.list, tree.get())) return nullptr;
      continue;
    }
    // An output parameter asks for its value: a NULL CHARACTER, whatever
    // its type. The caller's record stays as it is.
    RDA_CliParm asked = *p;
    int64_t nullData = RDA_CLI_NULL_DATA;
    asked.lenInd = &nullData;
    if (cToC(stmt, &asked, &args.specs[i], args.list, tree.get()) == 0 || args.specs[i] == nullptr) {
      argumentFailed(stmt, t.traceOther, "%s", t.cannotBuild);
      return nullptr;
    }
    args.specs[i]->number |= RDA_CLI_ARG_FETCH_DATA;
    ++stmt->returnValues;
  }
  return request(stmt, t.name, tree, text, count, reinterpret_cast<void* const*>(args.specs), args.list, rowCount);
}

GIDU* RDA_cliCreateFetchSQL(RDA_CliHSTMT* stmt, const char* sqlText, int32_t rowCount) {
  constexpr const char* name = "RDA_cliCreateFetchSQL";
  TM_TRACE(rda_cliTMHandle, 32, kSrc, "RDA_cliCreateFetchSQL(): %s\n", sqlText != nullptr ? sqlText : "");
  CallTree tree;
  if (tree.get() == nullptr) return noMemory(stmt, name, "can't get xmTree");
  OctStgV text;
  if (!copyText(sqlText, tree.get(), &text)) return noMemory(stmt, name, "can't copy sQLStr");
  RDAXOPENSQLDataDescr* spec = rda_createXOPENCharType(tree.get(), 1, nullptr, nullptr, kFetchCharLength, 0);
  if (spec == nullptr) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_COMPLETION_UNKNOWN, "Cannot build ArgSpec for Char type Item");
    return nullptr;
  }
  RDASQLValList* list = rda_createSQLValList(tree.get());
  if (list == nullptr) return noMemory(stmt, name, "can't get sQLDBLArgVal");
  if (rda_addXOPENSQLVal(tree.get(), &list->values, RDA_SQLVAL_CHAR, nullptr, 0, 0, nullptr, nullptr, kIndNull, 0) ==
      0) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_COMPLETION_UNKNOWN, "Cannot build ArgVal for Char type Item");
    return nullptr;
  }
  void* specs[] = {spec};
  return request(stmt, name, tree, text, 1, specs, list, rowCount);
}
