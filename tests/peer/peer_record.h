// The test peer's record of what clients sent (--record FILE): one line per
// R-Initialize and per R-ExecuteDBL, fields separated by tabs, for tests to
// read back (support/peer_process.h reads it).
//
//   R-Initialize <TAB> user-data=<text> <TAB> identity=<text> <TAB> auth=<hex> <TAB> suffix=<hex>
//   R-ExecuteDBL <TAB> text=<text> <TAB> repetition=<n|none|multi> [<TAB> row] <TAB> arg=<value> ...
//
// A field that the request does not carry is left out (user data, identity,
// authentication data). Texts are written as received, with the backslash,
// the control octets and DEL escaped (\\, \t, \n, \r, \xHH); octets above
// 127 stay as they are. An argument is NULL, NULL(<indicator>) or
// <kind>:<value> with the kind CHAR, NUMERIC, DECIMAL, INTEGER, SMALLINT,
// FLOAT, REAL, DOUBLE, DATETIME, VARCHAR, BIT, WCHAR or WVARCHAR (texts and
// numerics as escaped text, bit strings in hex); each row of the multi-row
// form starts with a field "row". A driver command's line is the
// R-ExecuteDBL that carries it.
//
// Lines are written with one write() each on a file opened for appending,
// so the processes of a forking peer never mix their lines.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct RDAInit_Req;
struct RDAExecDBL_Req;

namespace peer {

class Recorder {
 public:
  // The file, emptied; NULL when it cannot be opened.
  static std::shared_ptr<Recorder> open(const std::string& path);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void initialize(const RDAInit_Req& req) const;
  void execute(const RDAExecDBL_Req& req) const;

 private:
  explicit Recorder(int fd) : fd_(fd) {}
  void line(const std::string& text) const;
  int fd_;
};

// `bytes` escaped as the record writes texts.
std::string recordEscape(std::string_view bytes);
// Two upper-case hex digits per octet.
std::string hexOf(std::string_view bytes);

}  // namespace peer
