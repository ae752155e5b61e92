#include "peer/peer_texts.h"

#include <algorithm>
#include <cctype>
#include <strings.h>
#include <cstdlib>
#include <memory>
#include <vector>

#include "peer/peer_catalog.h"
#include "peer/peer_sql.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_sqlbuild.h"

namespace peer {

// A procedure call under way, by the name of its cursor: what is left of
// its result sets, and its input arguments for the rest of them and for its
// output parameters.
struct ProcCall {
  std::vector<std::string> results;
  std::string outputs;  // "": no output parameters
  std::vector<Held> inputs;
  size_t next = 0;  // the result set opened next
};

namespace {

bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view t) {
  while (!t.empty() && blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && (blank(t.back()) || t.back() == '\0')) t.remove_suffix(1);
  return t;
}

// A reader of the client's texts: keywords in any case, blanks exactly as
// the client writes them.
class Scan {
 public:
  explicit Scan(std::string_view t) : t_(t) {}
  bool done() const { return i_ == t_.size(); }
  std::string_view rest() const { return t_.substr(i_); }
  bool lit(std::string_view s) {
    if (t_.size() - i_ < s.size()) return false;
    for (size_t k = 0; k < s.size(); ++k)
      if (std::toupper(static_cast<unsigned char>(t_[i_ + k])) != std::toupper(static_cast<unsigned char>(s[k])))
        return false;
    i_ += s.size();
    return true;
  }
  // A keyword: the word not followed by a name character.
  bool word(std::string_view w) {
    const size_t at = i_;
    if (!lit(w)) return false;
    if (!done() && identChar(t_[i_])) {
      i_ = at;
      return false;
    }
    return true;
  }
  // Up to the next blank.
  std::string_view token() {
    const size_t at = i_;
    while (i_ < t_.size() && t_[i_] != ' ') ++i_;
    return t_.substr(at, i_ - at);
  }
  bool number(int64_t* v) {
    const size_t at = i_;
    if (i_ < t_.size() && t_[i_] == '-') ++i_;
    const size_t digits = i_;
    while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_])) && i_ - digits < 18) ++i_;
    if (i_ == digits || (i_ < t_.size() && identChar(t_[i_]))) {
      i_ = at;
      return false;
    }
    *v = std::strtoll(std::string(t_.substr(at, i_ - at)).c_str(), nullptr, 10);
    return true;
  }
  bool stmtId(int32_t* n) {
    const size_t at = i_;
    int64_t v = 0;
    if (lit("stmt_id_") && number(&v) && v >= 0 && v <= INT32_MAX) {
      *n = static_cast<int32_t>(v);
      return true;
    }
    i_ = at;
    return false;
  }
  // 'text' without quotes inside.
  bool quoted(std::string_view* out) {
    if (i_ >= t_.size() || t_[i_] != '\'') return false;
    const size_t close = t_.find('\'', i_ + 1);
    if (close == std::string_view::npos) return false;
    *out = t_.substr(i_ + 1, close - i_ - 1);
    i_ = close + 1;
    return true;
  }
  // ":H" host variables separated by commas, to the end (none at all
  // too).
  bool hosts() {
    blanks();
    if (done()) return true;
    for (;;) {
      if (!lit(":H")) return false;
      blanks();
      if (done()) return true;
      if (!lit(",")) return false;
      blanks();
    }
  }

 private:
  void blanks() {
    while (i_ < t_.size() && t_[i_] == ' ') ++i_;
  }

  std::string_view t_;
  size_t i_ = 0;
};

// "mrows=%d;qt=%d;op=%ld": the rows a result may have (0: no limit).
int64_t mrowsOf(std::string_view options) {
  const size_t at = options.find("mrows=");
  return at == std::string_view::npos ? 0 : std::strtoll(std::string(options.substr(at + 6)).c_str(), nullptr, 10);
}

// The text an argument carries (the SQL of a PREPARE, the command of an
// EXECUTE IMMEDIATE).
bool textOf(const std::vector<Arg>& args, std::string* text) {
  if (args.size() != 1) return false;
  const Arg& a = args[0];
  if (a.joined) {
    *text = a.parts;
  } else {
    if (a.value == nullptr || (a.value->mask & 1u) == 0) return false;
    const RDAXOPENSQLValue& x = a.value->value;
    if (x.code != RDA_SQLVAL_CHAR && x.code != RDA_SQLVAL_VARCHAR && x.code != RDA_SQLVAL_WCHAR &&
        x.code != RDA_SQLVAL_WVARCHAR)
      return false;
    *text = x.octets.octets != nullptr ? std::string(reinterpret_cast<const char*>(x.octets.octets), x.octets.length)
                                       : std::string();
  }
  while (!text->empty() && text->back() == '\0') text->pop_back();
  return true;
}

// ---------------------------------------------------------------------------
// Procedures.

struct CallText {
  std::string name;
  std::vector<std::string> items;  // the arguments as written
};
bool isMarker(std::string_view item) { return item == "?" || (item.size() > 1 && item[0] == ':'); }

// "CALL name(a, b)" or "{CALL name(a, b)}"; false for any other text.
bool parseCall(std::string_view text, CallText* out) {
  std::string_view t = trimmed(text);
  const bool braces = !t.empty() && t.front() == '{';
  if (braces) {
    if (t.back() != '}') return false;
    t = trimmed(t.substr(1, t.size() - 2));
  }
  Scan s(t);
  if (!s.word("CALL")) return false;
  std::string_view rest = trimmed(s.rest());
  size_t n = 0;
  while (n < rest.size() && (identChar(rest[n]) || rest[n] == '.')) ++n;
  std::string_view name = rest.substr(0, n);
  if (const size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(dot + 1);
  if (name.empty()) return false;
  out->name = std::string(name);
  out->items.clear();
  rest = trimmed(rest.substr(n));
  if (!rest.empty() && rest.back() == ';') rest = trimmed(rest.substr(0, rest.size() - 1));
  if (rest.empty()) return true;
  if (rest.front() != '(' || rest.back() != ')') return false;
  rest = rest.substr(1, rest.size() - 2);
  if (trimmed(rest).empty()) return true;
  // Split at the commas outside literals and parentheses.
  int depth = 0;
  bool quote = false;
  size_t from = 0;
  for (size_t i = 0; i <= rest.size(); ++i) {
    const char c = i < rest.size() ? rest[i] : ',';
    if (quote) {
      quote = c != '\'';
    } else if (c == '\'') {
      quote = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ',' && depth == 0) {
      out->items.emplace_back(trimmed(rest.substr(from, i - from)));
      from = i + 1;
    }
  }
  return !quote && depth == 0;
}

struct ProcDef {
  std::vector<bool> outputPositions;  // by parameter position: an OUT parameter
  std::vector<std::string> results;
  std::string outputs;
};

bool loadProc(Session& s, const std::string& name, ProcDef* d, Failure* f) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(s.db,
                         "SELECT upper(kind), seq, body FROM main.rdapeer_procedures WHERE lower(name) = lower(?) "
                         "ORDER BY seq",
                         -1, &raw, nullptr) != SQLITE_OK) {
    *f = Failure{"42000", 0, std::string("procedure table: ") + sqlite3_errmsg(s.db)};
    return false;
  }
  Stmt q(raw);
  sqlite3_bind_text(q.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = false;
  while (sqlite3_step(q.get()) == SQLITE_ROW) {
    found = true;
    const std::string kind = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0));
    const int64_t seq = sqlite3_column_int64(q.get(), 1);
    const auto* body = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 2));
    if ((kind == "IN" || kind == "OUT") && seq >= 1 && seq <= 1000) {
      if (d->outputPositions.size() < static_cast<size_t>(seq)) d->outputPositions.resize(static_cast<size_t>(seq));
      d->outputPositions[static_cast<size_t>(seq - 1)] = kind == "OUT";
    } else if (kind == "RESULT" && body != nullptr) {
      d->results.emplace_back(body);
    } else if (kind == "OUTPUT" && body != nullptr) {
      d->outputs = body;
    }
  }
  if (!found) *f = Failure{"42000", 0, "no procedure " + name};
  return found;
}

bool outputAt(const ProcDef& d, size_t position) {
  return position < d.outputPositions.size() && d.outputPositions[position];
}

// The directions of a call's parameter markers: 4 at an OUT position, 1
// elsewhere.
std::vector<int> callDirections(const CallText& call, const ProcDef& d) {
  std::vector<int> out;
  for (size_t i = 0; i < call.items.size(); ++i)
    if (isMarker(call.items[i])) out.push_back(outputAt(d, i) ? 4 : 1);
  return out;
}

// The value of a literal argument of a call.
bool literal(Session& s, const std::string& item, Held* h, Failure* f) {
  Cursor c;
  if (!openCursor(s, "SELECT " + item, {}, &c, f)) return false;
  *h = Held{};
  if (!c.row || c.columns != 1) return true;
  sqlite3_stmt* st = c.stmt.get();
  h->type = sqlite3_column_type(st, 0);
  if (h->type == SQLITE_INTEGER) h->integer = sqlite3_column_int64(st, 0);
  if (h->type == SQLITE_FLOAT) h->real = sqlite3_column_double(st, 0);
  if (h->type == SQLITE_TEXT || h->type == SQLITE_BLOB)
    h->bytes.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                    static_cast<size_t>(sqlite3_column_bytes(st, 0)));
  return true;
}

// The emulated procedure rdapeer_diagnostics(state, code, text, ...): the
// call fails with one diagnostic record per triple of literal arguments,
// in their order (the first one's code is the answer's native code, the
// records behind it carry none).
constexpr const char* kDiagnosticsProc = "rdapeer_diagnostics";

std::string heldText(const Held& h) {
  if (h.type == SQLITE_INTEGER) return std::to_string(h.integer);
  return h.bytes;
}

void diagnosticsFailure(Session& s, const CallText& call, Failure* f) {
  if (call.items.empty() || call.items.size() % 3 != 0) {
    *f = Failure{"07001", 0, std::string(kDiagnosticsProc) + " takes (state, code, text) triples of literals"};
    return;
  }
  Failure out;
  for (size_t i = 0; i < call.items.size(); i += 3) {
    Held state, code, text;
    if (isMarker(call.items[i]) || isMarker(call.items[i + 1]) || isMarker(call.items[i + 2])) {
      *f = Failure{"07001", 0, std::string(kDiagnosticsProc) + " takes literals only"};
      return;
    }
    if (!literal(s, call.items[i], &state, f) || !literal(s, call.items[i + 1], &code, f) ||
        !literal(s, call.items[i + 2], &text, f))
      return;
    if (i == 0) {
      out.state = heldText(state);
      out.code = static_cast<int32_t>(code.integer);
      out.text = heldText(text);
    } else {
      out.more.emplace_back(heldText(state), heldText(text));
    }
  }
  if (out.state.size() != 5) out.state = "HY000";
  *f = std::move(out);
}

// Starts a call under cursor `name`: its input arguments are the request's
// markers' values and the literals, at the positions that are not OUT.
bool startCall(Session& s, const std::string& name, const CallText& call, const std::vector<Arg>& args, Failure* f) {
  if (strcasecmp(call.name.c_str(), kDiagnosticsProc) == 0) {
    diagnosticsFailure(s, call, f);
    return false;
  }
  ProcDef def;
  if (!loadProc(s, call.name, &def, f)) return false;
  auto pc = std::make_shared<ProcCall>();
  pc->results = def.results;
  pc->outputs = def.outputs;
  size_t next = 0;
  for (size_t i = 0; i < call.items.size(); ++i) {
    Held h;
    bool have = true;
    if (isMarker(call.items[i])) {
      if (next >= args.size()) {
        *f = Failure{"07001", 0, "the call has more parameter markers than arguments"};
        return false;
      }
      std::vector<Held> one;
      if (!heldValues({args[next++]}, &one, f)) return false;
      have = !one.empty();
      if (have) h = one.front();
    } else if (!literal(s, call.items[i], &h, f)) {
      return false;
    }
    if (have && !outputAt(def, i)) pc->inputs.push_back(std::move(h));
  }
  s.calls[name] = std::move(pc);
  return true;
}

// ---------------------------------------------------------------------------
// Answers.

bool paramsDescribed(Session& s) {
  const std::optional<std::string> v = infoText(s.db, 8196);
  return v.has_value() && (std::strtol(v->c_str(), nullptr, 10) & 2) != 0;
}

// The SQL a body names: stmt_id_N (a prepared statement, or the text a
// direct execution declared as cursor SQLCUR<N>) or the SQL itself.
bool resolve(Session& s, std::string_view body, std::string* sql, Failure* f) {
  body = trimmed(body);
  Scan sc(body);
  int32_t n = 0;
  if (!(sc.stmtId(&n) && sc.done())) {
    *sql = std::string(body);
    return true;
  }
  if (const auto p = s.prepared.find(n); p != s.prepared.end()) {
    *sql = p->second;
    return true;
  }
  if (const auto d = s.declared.find("SQLCUR" + std::to_string(n)); d != s.declared.end()) {
    Scan again(trimmed(d->second));
    int32_t m = 0;
    if (!(again.stmtId(&m) && again.done())) {
      *sql = d->second;
      return true;
    }
  }
  *f = Failure{"26000", 0, "stmt_id_" + std::to_string(n) + " is not prepared"};
  return false;
}

// The description of a prepared text (its first result set for a call)
// and, when the server describes parameters, its parameter descriptors.
bool describePrepared(Session& s, const std::string& sql, bool columns, XmTree* tree, ExecAnswer* answer) {
  Failure f;
  std::vector<int> directions;
  CallText call;
  if (parseCall(sql, &call)) {
    ProcDef def;
    if (!loadProc(s, call.name, &def, &f)) return addFailure(tree, answer, f);
    int markers = 0;
    if (columns && !def.results.empty() && !describeText(s, def.results.front(), tree, answer, &markers, &f))
      return addFailure(tree, answer, f);
    directions = callDirections(call, def);
  } else {
    int markers = 0;
    if (!describeText(s, sql, tree, answer, &markers, &f)) return addFailure(tree, answer, f);
    if (!columns) answer->specs.clear();
    directions.assign(static_cast<size_t>(markers), 1);
  }
  return !paramsDescribed(s) || addParamSpecs(tree, answer, directions);
}

// The answer of a cursor just opened: its description, the first `rows`
// rows and the end marks; kept when rows are left, or until CLOSE at level 0.
bool openAnswer(Session& s, const std::string& name, std::unique_ptr<Cursor> c, int32_t rows, XmTree* tree,
                ExecAnswer* answer) {
  if (c->columns == 0) return addRowCount(tree, answer, c->changed);
  Failure f;
  if (!describeCursor(s, *c, tree, answer)) return false;
  if (!sendRows(s, *c, rows, tree, answer, &f)) return addFailure(tree, answer, f);
  if (c->finished()) {
    if (!addState(tree, answer, "02000") || (c->endsCall && !addState(tree, answer, "02001"))) return false;
    if (s.level != 0) return true;
  }
  s.cursors[name] = std::move(c);
  return true;
}

// The call's next result set as a cursor; NULL with `f` clear when none is
// left.
std::unique_ptr<Cursor> nextSet(Session& s, ProcCall& call, int64_t limit, Failure* f) {
  if (call.next >= call.results.size()) return nullptr;
  auto c = std::make_unique<Cursor>();
  if (!openCursor(s, call.results[call.next++], call.inputs, c.get(), f, true)) return nullptr;
  c->limit = limit;
  c->endsCall = call.next == call.results.size();
  return c;
}

bool driverCommand(Session& s, std::string_view command, XmTree* tree, ExecAnswer* answer) {
  Scan sc(trimmed(command));
  int64_t type = 0;
  if (sc.word("_QV_SET_INFO") && sc.lit(" ")) {
    // There is no transaction manager behind the peer.
    if (sc.word("XA")) return addFailure(tree, answer, Failure{"HYC00", 0, "XA transactions are not supported"});
    if (sc.word("SQL_TXN_ISOLATION")) {
      // The isolation levels of ODBC, one bit each.
      int64_t level = 0;
      if (sc.lit(" '") && sc.number(&level) && sc.lit("'") && sc.done() &&
          (level == 1 || level == 2 || level == 4 || level == 8))
        return true;
      return addFailure(tree, answer, Failure{"S1009", 0, "no such isolation level"});
    }
    return true;
  }
  if (!sc.word("_QV_GET_INFO")) return true;  // any other command: success
  std::string column;
  if (sc.lit(" ") && sc.number(&type) && sc.lit(" ")) column = std::string(sc.token());
  for (char& c : column) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!sc.done() || (column != "INFO_INT" && column != "INFO_BITMASK" && column != "INFO_TEXT"))
    return addFailure(tree, answer, Failure{"42000", 0, "_QV_GET_INFO <type> <INFO_INT|INFO_BITMASK|INFO_TEXT>"});
  return runPlainRoad(s, "SELECT " + column + " FROM QV_INFO WHERE INFO_NUM = " + std::to_string(type), {{}}, 1, tree,
                      answer);
}

bool declareRows(Session& s, const ClientText& t, const RDAExecDBL_Req& req, XmTree* tree, ExecAnswer* answer) {
  int32_t rows = 0;
  const std::vector<Arg> args = argumentsOf(req, &rows);
  Failure f;
  if (t.mode != 0) {
    // The next result set, or the output parameters, of the call under way.
    s.cursors.erase(t.cursor);
    const auto call = s.calls.find(t.cursor);
    if (t.mode == 1) {
      std::unique_ptr<Cursor> c = call != s.calls.end() ? nextSet(s, *call->second, t.limit, &f) : nullptr;
      if (c == nullptr) return f.text.empty() ? addState(tree, answer, "02001") : addFailure(tree, answer, f);
      return openAnswer(s, t.cursor, std::move(c), rows, tree, answer);
    }
    if (call == s.calls.end() || call->second->outputs.empty()) return addState(tree, answer, "02000");
    Cursor c;
    if (!openCursor(s, call->second->outputs, call->second->inputs, &c, &f, true) ||
        !describeCursor(s, c, tree, answer, true) || !sendRows(s, c, 1, tree, answer, &f, true))
      return addFailure(tree, answer, f);
    return addState(tree, answer, "02000");
  }
  if (s.cursors.count(t.cursor) != 0)
    return addFailure(tree, answer, Failure{"24000", 0, "cursor " + t.cursor + " is already open"});
  std::string sql;
  if (!resolve(s, t.body, &sql, &f)) return addFailure(tree, answer, f);
  s.declared[t.cursor] = sql;
  s.calls.erase(t.cursor);
  CallText call;
  std::unique_ptr<Cursor> c;
  if (parseCall(sql, &call)) {
    if (!startCall(s, t.cursor, call, args, &f)) return addFailure(tree, answer, f);
    c = nextSet(s, *s.calls[t.cursor], t.limit, &f);
    if (c == nullptr) return f.text.empty() ? addState(tree, answer, "02001") : addFailure(tree, answer, f);
  } else {
    std::vector<Held> values;
    c = std::make_unique<Cursor>();
    if (!heldValues(args, &values, &f) || !openCursor(s, sql, values, c.get(), &f)) return addFailure(tree, answer, f);
    c->limit = t.limit;
  }
  return openAnswer(s, t.cursor, std::move(c), rows, tree, answer);
}

bool open(Session& s, const ClientText& t, const RDAExecDBL_Req& req, XmTree* tree, ExecAnswer* answer) {
  if (s.cursors.count(t.cursor) != 0)
    return addFailure(tree, answer, Failure{"24000", 0, "cursor " + t.cursor + " is already open"});
  const auto declared = s.declared.find(t.cursor);
  if (declared == s.declared.end())
    return addFailure(tree, answer, Failure{"34000", 0, "cursor " + t.cursor + " is not declared"});
  Failure f;
  std::string sql;
  if (!resolve(s, declared->second, &sql, &f)) return addFailure(tree, answer, f);
  int32_t rows = 0;
  const std::vector<Arg> args = argumentsOf(req, &rows);
  CallText call;
  std::unique_ptr<Cursor> c;
  if (parseCall(sql, &call)) {
    if (!startCall(s, t.cursor, call, args, &f)) return addFailure(tree, answer, f);
    c = nextSet(s, *s.calls[t.cursor], 0, &f);
    if (c == nullptr) return f.text.empty() || addFailure(tree, answer, f);
  } else {
    std::vector<Held> values;
    c = std::make_unique<Cursor>();
    if (!heldValues(args, &values, &f) || !openCursor(s, sql, values, c.get(), &f)) return addFailure(tree, answer, f);
  }
  if (c->columns == 0) return addRowCount(tree, answer, c->changed);
  if (!describeCursor(s, *c, tree, answer)) return false;
  s.cursors[t.cursor] = std::move(c);
  return true;
}

bool fetch(Session& s, const ClientText& t, const RDAExecDBL_Req& req, XmTree* tree, ExecAnswer* answer) {
  const auto it = s.cursors.find(t.cursor);
  if (it == s.cursors.end())
    return addFailure(tree, answer, Failure{"24000", 0, "cursor " + t.cursor + " is not open"});
  int32_t rows = 0;
  (void)argumentsOf(req, &rows);
  Cursor& c = *it->second;
  Failure f;
  if (!sendRows(s, c, rows, tree, answer, &f)) return addFailure(tree, answer, f);
  if (!c.finished()) return true;
  if (!addState(tree, answer, "02000") || (c.endsCall && !addState(tree, answer, "02001"))) return false;
  if (s.level != 0) s.cursors.erase(it);
  return true;
}

}  // namespace

ClientText parseClientText(std::string_view text) {
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  const ClientText plain;
  ClientText c;
  Scan s(text);
  if (s.word("PREPARE")) {
    std::string_view options;
    if (!s.lit(" ") || !s.stmtId(&c.id)) return plain;
    if (s.lit(" STMT_OPTIONS ") && !s.quoted(&options)) return plain;
    if (!s.lit(" FROM :H") || !s.done()) return plain;
    c.form = TextForm::Prepare;
  } else if (s.word("DESCRIBE") || s.word("RELEASE")) {
    const bool describe = std::toupper(static_cast<unsigned char>(text[0])) == 'D';
    if (!s.lit(" ") || !s.stmtId(&c.id) || !s.done()) return plain;
    c.form = describe ? TextForm::Describe : TextForm::Release;
  } else if (s.word("EXECUTE")) {
    if (s.lit(" IMMEDIATE :H") && s.done()) {
      c.form = TextForm::Immediate;
    } else {
      if (!s.lit(" ") || !s.stmtId(&c.id)) return plain;
      if (!s.done() && !(s.lit(" USING") && s.hosts())) return plain;
      c.form = TextForm::Execute;
    }
  } else if (s.word("DECLARE")) {
    if (!s.lit(" ")) return plain;
    c.cursor = std::string(s.token());
    if (c.cursor.empty()) return plain;
    if (s.lit(" CURSOR FOR ")) {
      c.form = TextForm::Declare;
    } else {
      if (s.lit("  CURSOR")) c.mode = 0;
      else if (s.lit(" NEXT CURSOR")) c.mode = 1;
      else if (s.lit(" RESULT CURSOR")) c.mode = 2;
      else return plain;
      std::string_view options;
      if (s.lit(" STMT_OPTIONS ")) {
        if (!s.quoted(&options)) return plain;
        c.limit = mrowsOf(options);
      } else if (s.lit(" MAXROWS ") && !s.number(&c.limit)) {
        return plain;
      }
      if (!s.lit(" FOR ")) return plain;
      c.form = TextForm::DeclareRows;
    }
    c.body = s.rest();
  } else if (s.word("OPEN")) {
    if (!s.lit(" ")) return plain;
    c.cursor = std::string(s.token());
    if (!s.done() && !(s.lit(" USING") && s.hosts())) return plain;
    c.form = TextForm::Open;
  } else if (s.word("FETCH")) {
    if (!s.lit(" ")) return plain;
    c.cursor = std::string(s.token());
    if (!s.lit(" INTO") || !s.hosts()) return plain;
    c.form = TextForm::Fetch;
  } else if (s.word("CLOSE")) {
    if (!s.done() && !s.lit(" ")) return plain;
    c.cursor = std::string(s.token());
    if (!s.done()) return plain;
    c.form = TextForm::Close;
  } else {
    return plain;
  }
  return c;
}

bool runExecDBL(Session& s, const RDAExecDBL_Req& req, XmTree* tree, ExecAnswer* answer) {
  answer->specs.clear();
  answer->rows.clear();
  const std::string_view text(reinterpret_cast<const char*>(req.stmt.text.octets),
                              req.stmt.text.octets != nullptr ? req.stmt.text.length : 0);
  const ClientText t = parseClientText(text);
  int32_t rows = 0;
  std::string arg;
  Failure f;
  switch (t.form) {
    case TextForm::Plain: {
      const auto argRows = plainRows(req, &rows);
      return runPlainRoad(s, trimmed(text), argRows, rows, tree, answer);
    }
    case TextForm::Prepare: {
      if (!textOf(argumentsOf(req, &rows), &arg))
        return addFailure(tree, answer, Failure{"07001", 0, "PREPARE takes the statement's text as its one argument"});
      if (!describePrepared(s, arg, s.level != 0, tree, answer)) return false;
      // Refused texts are not kept.
      if (answer->specs.empty() && !answer->rows.empty()) return true;
      s.prepared[t.id] = arg;
      return true;
    }
    case TextForm::Describe: {
      std::string sql;
      if (!resolve(s, "stmt_id_" + std::to_string(t.id), &sql, &f)) return addFailure(tree, answer, f);
      return describePrepared(s, sql, true, tree, answer);
    }
    case TextForm::Release:
      s.prepared.erase(t.id);
      return true;
    case TextForm::Execute: {
      std::string sql;
      if (!resolve(s, "stmt_id_" + std::to_string(t.id), &sql, &f)) return addFailure(tree, answer, f);
      const auto argRows = plainRows(req, &rows);
      return runPlainRoad(s, sql, argRows, rows, tree, answer);
    }
    case TextForm::Immediate: {
      if (!textOf(argumentsOf(req, &rows), &arg))
        return addFailure(tree, answer,
                          Failure{"07001", 0, "EXECUTE IMMEDIATE takes the statement's text as its one argument"});
      Scan sc(trimmed(arg));
      if (sc.lit("_QV_")) return driverCommand(s, arg, tree, answer);
      return runPlainRoad(s, arg, {{}}, rows, tree, answer);
    }
    case TextForm::Declare:
      if (s.cursors.count(t.cursor) != 0)
        return addFailure(tree, answer, Failure{"24000", 0, "cursor " + t.cursor + " is already open"});
      s.declared[t.cursor] = std::string(t.body);
      s.calls.erase(t.cursor);
      return true;
    case TextForm::DeclareRows:
      return declareRows(s, t, req, tree, answer);
    case TextForm::Open:
      return open(s, t, req, tree, answer);
    case TextForm::Fetch:
      return fetch(s, t, req, tree, answer);
    case TextForm::Close:
      s.cursors.erase(t.cursor);
      return true;
  }
  return true;
}

}  // namespace peer
