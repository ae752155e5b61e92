// The SQLite side of the test peer: an R-ExecuteDBL indication run on one
// SQLite connection and answered with the X/Open descriptors, rows and
// exceptions a server of this product sends.
//
// A statement runs once per row of its argument values, the values bound to
// its markers in order (every `?` and `:name` marker is its own parameter,
// also when two markers have the same name). A query answers with one column
// descriptor per result column, typed from the column's declared type, and
// with up to the repetition count of rows (the count of the single-row
// argument form; 100 without one); every value is coerced to its column's
// described type. When the rows are used up within the response, a last
// entry carries the exception "02000". A statement that returns no rows
// answers with one entry whose exception holds the number of rows changed
// as its diagnostics number (with one "00000" diagnostics record). A failure answers with one entry whose
// exception holds the SQLSTATE, SQLite's error code and its message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "src/asn1/rda_requests.h"

struct GIDU;
struct XmTree;

namespace peer {

// Rows per response when the request names no repetition count.
inline constexpr int32_t kDefaultRowsPerResponse = 100;

// `text` with every `:name` marker outside literals, quoted names and
// comments made a `?`.
std::string positionalMarkers(std::string_view text);

enum class ColType { Integer, Double, VarChar, VarBinary, Numeric, Date, Time, Timestamp };
struct ColumnType {
  ColType type;
  int32_t precision;  // length of VarChar and VarBinary
  int32_t scale;
};
// The type a column is described with: from its declared type where there
// is one that says (`declType`, any case, may be NULL), else from the
// storage class of its first value (SQLITE_INTEGER ...; SQLITE_NULL when
// there is no row).
ColumnType columnTypeOf(const char* declType, int storageClass);

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

// What one R-ExecuteDBL answers: the descriptors and the result entries,
// all in `tree`, ready for the response builder.
struct ExecAnswer {
  std::vector<void*> specs;  // RDAXOPENSQLDataDescr*
  std::vector<void*> rows;   // RDAXOPENResultVals*
};
// Runs `req` on `db`; false only when memory ran out in `tree`.
bool runExecDBL(sqlite3* db, const RDAExecDBL_Req& req, XmTree* tree, ExecAnswer* answer);

// Runs a statement without arguments or result (BEGIN, COMMIT ...): "" on
// success, else the SQLite message.
std::string runPlain(sqlite3* db, const char* sql);

// The R-ExecuteDBL response to `indication` (an X/Open R-ExecuteDBL
// indication), NULL when it could not be built.
GIDU* answerExecDBL(sqlite3* db, const GIDU* indication);

}  // namespace peer
