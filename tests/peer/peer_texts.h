// The client's SQL-text protocol as the test peer answers it (runExecDBL in
// peer_sql.h). Every step of the client is the text of one R-ExecuteDBL:
//
//   PREPARE stmt_id_N [STMT_OPTIONS '...'] FROM :H   the SQL is the argument
//                             (the text itself ends with one zero octet);
//                             at a non-zero level the answer describes a
//                             query
//   DESCRIBE stmt_id_N        the description
//   RELEASE stmt_id_N         forgets it (also when unknown)
//   EXECUTE stmt_id_N [USING :H, ...]       runs it with the arguments
//   EXECUTE IMMEDIATE :H      the argument is the text: a driver command
//                             (_QV_...) or SQL
//   DECLARE c CURSOR FOR stmt_id_N | <SQL>  (no arguments)
//   OPEN c [USING :H, ...]    runs it, answers the description
//   FETCH c INTO :H, ...      the next rows, as many as the repetition count,
//                             "02000" with the last
//   CLOSE c                   (also for a cursor the peer no longer holds)
//   DECLARE c <word> CURSOR [STMT_OPTIONS 'mrows=..;qt=..;op=..' | MAXROWS n]
//           FOR stmt_id_N | <SQL>
//                             word empty (two blanks), NEXT or RESULT: runs
//                             with the arguments (those whose descriptor has
//                             attribute bit 0 are output parameters, not
//                             bound) and answers the description, the first
//                             block and "02000" when done; a statement
//                             without result answers its row count; mrows
//                             or MAXROWS above 0 ends the result after so
//                             many rows
//
// At a non-zero level the peer closes a cursor itself once it has sent
// "02000" and takes the next DECLARE of its name; at level 0 a cursor lives
// until CLOSE. A stmt_id the peer was never given in a PREPARE is the text
// last declared under the cursor name SQLCUR<N> (a direct execution).
//
// "CALL name(...)" (with or without braces) runs a procedure of the
// procedure table (peer_catalog.h): the open answers its first result set,
// NEXT the next one, or "02001" when none is left; the last set ends with
// "02001" after its "02000"; RESULT answers one row: a NULL return status,
// then the output parameters.
//
// "CALL rdapeer_diagnostics('state', code, 'text', ...)" fails with one
// diagnostic record per triple of literal arguments, in their order: the
// first with its native code, the further ones (whose wire form has no
// code) with SQLSTATE and text.
//
// When QV_INFO 8196 has the value 2 set, every PREPARE and DESCRIBE answer
// ends with one descriptor per parameter marker (VARCHAR(999), attribute
// bit 30, the direction in bits 0-2: 4 for a procedure's output parameter,
// else 1).
//
// Driver commands: "_QV_GET_INFO <type> <INFO_INT|INFO_BITMASK|INFO_TEXT>"
// answers that QV_INFO value as one row; "_QV_SET_INFO XA ..." is refused
// (HYC00: no transaction manager), "_QV_SET_INFO SQL_TXN_ISOLATION '<n>'"
// (S1009) unless n is 1, 2, 4 or 8; any other text beginning with _QV_ is
// answered with success.
//
// A malformed step (FETCH or OPEN of an unknown cursor, EXECUTE of an
// unknown statement, ...) is answered with an SQLSTATE exception.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace peer {

// Which of the client's texts a request carries.
enum class TextForm { Plain, Prepare, Describe, Release, Execute, Immediate, Declare, DeclareRows, Open, Fetch, Close };
struct ClientText {
  TextForm form = TextForm::Plain;
  int32_t id = -1;        // N of stmt_id_N
  std::string cursor;     // the cursor's name
  int mode = 0;           // DeclareRows: 0 (no word), 1 NEXT, 2 RESULT
  int64_t limit = 0;      // DeclareRows: mrows or MAXROWS
  std::string_view body;  // Declare, DeclareRows: what follows FOR
};
// `text` read as one of the forms above (keywords in any case); Plain for
// any other text. Trailing zero octets are not part of the text.
ClientText parseClientText(std::string_view text);

}  // namespace peer
