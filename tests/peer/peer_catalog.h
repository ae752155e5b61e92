// The catalog of the test peer: what the driver's catalog and information
// calls read from a server, set up on each new SQLite connection.
//
// TEMP views QV_TABLES, QV_COLUMNS, QV_STATISTICS, QV_FKEYS (primary keys
// as rows without a foreign-key table), QV_PROC and QV_PROCCOLUMNS with the
// column names the driver selects, over SQLite's own lists of the main and
// the attached databases (the qualifier is the SQLite schema name, the
// owner empty) and over the procedure table; TEMP tables QV_TYPES (with the
// date and time types under their ODBC 2 and ODBC 3 codes) and QV_INFO
// (INFO_NUM, INFO_NAME, INFO_INT, INFO_BITMASK, INFO_TEXT; each value given
// in all three value columns, the integer ones NULL for a value that is no
// whole number, and the row INFO_NAME 'LMO_DRIVER_TYPE'). DATA_TYPE,
// TYPE_NAME and the sizes come from the SQL function rdapeer_type(declared
// type, field), which describes a declared type as the peer's descriptors
// do, so that catalog and descriptions agree.
//
// The procedure table (created in the main database when missing) defines
// the procedures a client may CALL:
//
//   rdapeer_procedures (name TEXT, kind TEXT, seq INTEGER, body TEXT)
//
// kind 'IN' or 'OUT': a parameter at position seq (1, 2, ...), body its name
// and declared type ("amount NUMERIC(10,2)"); kind 'RESULT': a result set,
// in the order of seq, body its SELECT; kind 'OUTPUT': body the SELECT whose
// one row gives the output parameters. The SELECTs take the input
// arguments, in order, as their parameters (?1, ?2, ... to pick).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace peer {

inline constexpr const char* kProcedureTable = "rdapeer_procedures";

// QV_INFO values by information number: the defaults of the peer, replaced
// or added by --info N=VALUE; nothing stands for NULL.
using InfoValues = std::map<int32_t, std::optional<std::string>>;
// The information the peer answers: the connect-time types of the driver
// (8192 driver type number 2, 8193 0, 8194 ".", 8195 1, 8196 3, 8197 0),
// 23 and 24 (2), 26 (8), 29 ("\""), 111 ("N"), 10002 ("Y") and a few names
// and limits.
InfoValues defaultInfo();

// Sets up the catalog on `db`: "" when it is there, else what failed.
std::string setUpCatalog(sqlite3* db, const InfoValues& info);

// The INFO_TEXT of QV_INFO row `number`; nothing when there is none.
std::optional<std::string> infoText(sqlite3* db, int32_t number);

}  // namespace peer
