// The SQLite side of the test peer: R-ExecuteDBL requests run on one SQLite
// connection and answered with the X/Open descriptors, rows and exceptions
// a server of this product sends.
//
// A client sends every SQL step as a text (peer_texts.h reads the texts of
// its protocol: PREPARE, DECLARE, OPEN, FETCH, ...); any other text runs as
// one SQLite statement on the plain road here. It runs once per row of its
// argument values, the values bound to its markers in order (every `?` and
// `:name` marker is its own parameter, also when two markers have the same
// name). A query answers with one column descriptor per result column,
// typed from the column's declared type, and with up to the repetition
// count of rows (the count of the single-row argument form; 100 without
// one); every value is coerced to its column's described type. When the rows
// are used up within the response, a last entry carries the exception
// "02000". A statement that returns no rows answers with one entry whose
// exception holds the number of rows changed as its diagnostics number
// (with one "00000" diagnostics record). A failure answers with one entry
// whose exception holds the SQLSTATE, SQLite's error code and its message.
//
// Values by column type: NUMERIC and DECIMAL as digit text, or in the
// 8-byte form when the dialogue negotiated it (encodeNumeric8); columns
// declared NCHAR, NVARCHAR or NTEXT as wide text; long binary columns
// (BLOB) in parts of 32000 octets, a value of an exact multiple of 32000
// octets ended by a part of none. Each descriptor carries the attribute
// text "catalog|schema|table|base column|label|type name".
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/asn1/rda_requests.h"

struct GIDU;
struct XmTree;

namespace peer {

// Rows per response when the request names no repetition count.
inline constexpr int32_t kDefaultRowsPerResponse = 100;
// The octets of one part of a long value.
inline constexpr uint32_t kLongPart = 32000;

// `text` as SQLite takes it: every `:name` marker outside literals, quoted
// names and comments made a `?`; the national-character prefix of a literal
// (N'x') dropped; and the owner prefix of a catalog table (SYS.QV_TABLES)
// dropped.
std::string sqliteText(std::string_view text);

enum class ColType { Integer, Double, VarChar, WVarChar, VarBinary, Numeric, Date, Time, Timestamp };
struct ColumnType {
  ColType type;
  int32_t precision;  // length of VarChar, WVarChar and VarBinary; fraction digits of a Timestamp
  int32_t scale;
  // A binary column without a declared length, sent in parts; a text column
  // declared LONG VARCHAR, described as long (its values go whole).
  bool isLong = false;
};
// The type a column is described with: from its declared type where there
// is one that says (`declType`, any case, may be NULL), else from the
// storage class of its first value (SQLITE_INTEGER ...; SQLITE_NULL when
// there is no row).
ColumnType columnTypeOf(const char* declType, int storageClass);
// The ODBC 2 type code, name, column size and octet length of a column
// type: what the catalog views say of a declared type, and what the client
// makes of its descriptor.
int32_t odbcTypeOf(const ColumnType& t);
const char* typeNameOf(const ColumnType& t);
int32_t columnSizeOf(const ColumnType& t);
int32_t octetLengthOf(const ColumnType& t);

// The 8-byte form of a NUMERIC or DECIMAL value: the magnitude (value
// times 10^scale) in two little-endian 32-bit words, the high word first,
// its top bit the sign. False when the digit text (as digitString makes
// it) does not fit 63 bits.
bool encodeNumeric8(std::string_view digits, uint8_t out[8]);
// And back, as digit text with `scale` digits after the point.
std::string decodeNumeric8(const uint8_t in[8], int32_t scale);

// The SQLSTATE an SQLite result code stands for; `prepared` tells whether
// the statement got past its preparation.
const char* sqlStateOf(int sqliteCode, bool prepared);

// Keeps a connection's statements away from files: ATTACH (and with it
// VACUUM INTO, which attaches its target) and DETACH are refused, answered
// with 42000 and kFileStatementsRefused, so that a client cannot write a
// database anywhere the peer's user may. The peer's own R-Open and R-Close
// attach and detach while `own` is set. An ATTACH of no file (a temporary
// database, as a plain VACUUM makes) is let through. `guard` outlives the
// connection.
struct FileGuard {
  bool own = false;
};
void guardFiles(sqlite3* db, FileGuard* guard);
inline constexpr const char* kFileStatementsRefused =
    "ATTACH, DETACH and VACUUM INTO are refused: the peer opens databases only through R-Open";

struct StmtCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

// One statement run as a cursor: prepared, its arguments bound, stepped to
// its first row.
struct Cursor {
  Stmt stmt;
  int columns = 0;
  std::vector<ColumnType> types;
  bool row = false;     // a stepped row waits to be sent
  int64_t sent = 0;     // rows sent so far
  int64_t limit = 0;    // rows it may send at most (0: no limit)
  int32_t changed = 0;  // rows a statement without result changed
  bool endsCall = false;  // the last result set of a procedure call
  bool finished() const { return !row || (limit > 0 && sent >= limit); }
};
// The state of one procedure call, by its cursor's name (peer_texts.h).
struct ProcCall;

// What one association keeps: its SQLite connection and the state of the
// client's protocol.
struct Session {
  sqlite3* db = nullptr;
  FileGuard guard;
  int level = 0;                    // negotiated optimisation level
  bool eightByteNumerics = false;   // numeric values in the 8-byte form
  std::map<int32_t, std::string> prepared;                  // stmt_id_N -> its SQL text
  std::map<std::string, std::unique_ptr<Cursor>> cursors;  // open cursors by name
  std::map<std::string, std::string> declared;             // the text last declared under a name
  std::map<std::string, std::shared_ptr<ProcCall>> calls;  // procedure calls by cursor name
  ~Session();
};

// A failure of one statement: the SQLSTATE, the native code and the text;
// an empty state stands for memory that ran out.
struct Failure {
  Failure() = default;
  Failure(std::string s, int32_t c, std::string t) : state(std::move(s)), code(c), text(std::move(t)) {}
  std::string state;
  int32_t code = 0;
  std::string text;
  // Further diagnostic records behind the first: SQLSTATE and text (the
  // answer's form of them has no native code).
  std::vector<std::pair<std::string, std::string>> more;
};

// One argument as a statement takes it: its value (NULL: a NULL), its
// descriptor where the request has one, and, for long data sent in parts,
// the parts joined.
struct Arg {
  const RDAXOPENSQLVal* value = nullptr;
  const RDAXOPENSQLDataDescr* spec = nullptr;
  bool joined = false;
  std::string parts;
  // Sent as fetch data for an output parameter (descriptor attribute bit
  // 0): not bound.
  bool output() const;
};
// The single-row arguments of a request (none without an argument part)
// and the rows it asks for per response. While the values outnumber the
// descriptors, a value of exactly 32000 octets goes on in the next one (a
// NULL value ends an exact multiple) and the parts make one argument.
std::vector<Arg> argumentsOf(const RDAExecDBL_Req& req, int32_t* repetition);

// What one R-ExecuteDBL answers: the descriptors and the result entries,
// all in `tree`, ready for the response builder.
struct ExecAnswer {
  std::vector<void*> specs;  // RDAXOPENSQLDataDescr*
  std::vector<void*> rows;   // RDAXOPENResultVals*
};
// Answer parts; false only when memory ran out.
bool addFailure(XmTree* tree, ExecAnswer* answer, const Failure& f);  // drops what the answer held
bool addState(XmTree* tree, ExecAnswer* answer, const char* state);
bool addRowCount(XmTree* tree, ExecAnswer* answer, int32_t count);
// One VARCHAR(999) descriptor per parameter marker, with attribute bit 30
// and the direction (1 in, 4 out) in bits 0-2.
bool addParamSpecs(XmTree* tree, ExecAnswer* answer, const std::vector<int>& directions);

// A value to bind, held by the peer beyond the request that brought it.
struct Held {
  int type = SQLITE_NULL;  // SQLITE_NULL, _INTEGER, _FLOAT, _TEXT or _BLOB
  int64_t integer = 0;
  double real = 0;
  std::string bytes;
};
// The values of `args` but the output ones; false with `f` set for a value
// of a kind that cannot be bound.
bool heldValues(const std::vector<Arg>& args, std::vector<Held>* out, Failure* f);

// Prepares `text` (sqliteText), binds `values` and steps to the first row;
// a statement without result runs to its end. The values must match the
// markers in number; with `some`, a statement may use fewer of them (the
// first ones, or any by ?NNN).
bool openCursor(Session& s, std::string_view text, const std::vector<Held>& values, Cursor* c, Failure* f,
                bool some = false);
// The descriptors of a cursor's columns; with `returnStatus` a nullable
// INTEGER "RETURN_VALUE" first.
bool describeCursor(Session& s, const Cursor& c, XmTree* tree, ExecAnswer* answer, bool returnStatus = false);
// The descriptors of a statement's columns without running it.
bool describeText(Session& s, std::string_view text, XmTree* tree, ExecAnswer* answer, int* markers, Failure* f);
// Up to `count` rows of the cursor; with `returnStatus` each row starts
// with a NULL. False with `f` set when a value or a step failed (state ""
// for memory).
bool sendRows(Session& s, Cursor& c, int32_t count, XmTree* tree, ExecAnswer* answer, Failure* f,
              bool returnStatus = false);

// The argument rows of a request for the plain road: the single-row form
// (argumentsOf), each row of the multi-row form, or one row of none; and
// the rows it asks for per response.
std::vector<std::vector<Arg>> plainRows(const RDAExecDBL_Req& req, int32_t* repetition);
// Runs `text` on the plain road (see above) once per row of arguments.
bool runPlainRoad(Session& s, std::string_view text, const std::vector<std::vector<Arg>>& rows, int32_t repetition,
                  XmTree* tree, ExecAnswer* answer);

// Runs `req` on the session; false only when memory ran out in `tree`
// (peer_texts.cpp).
bool runExecDBL(Session& s, const RDAExecDBL_Req& req, XmTree* tree, ExecAnswer* answer);

// Runs a statement without arguments or result (BEGIN, COMMIT ...): "" on
// success, else the SQLite message.
std::string runPlain(sqlite3* db, const char* sql);

// The R-ExecuteDBL response to `indication` (an X/Open R-ExecuteDBL
// indication), NULL when it could not be built.
GIDU* answerExecDBL(Session& s, const GIDU* indication);

}  // namespace peer
