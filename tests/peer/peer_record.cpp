#include "peer/peer_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "src/asn1/rda_idu.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_sqlbuild.h"

namespace peer {

namespace {

std::string_view octets(const OctStgV& o) {
  return o.octets != nullptr ? std::string_view(reinterpret_cast<const char*>(o.octets), o.length)
                             : std::string_view();
}

std::string argument(const RDAXOPENSQLVal* v) {
  if (v == nullptr) return "NULL";
  if ((v->mask & 1u) == 0)
    return (v->mask & 2u) != 0 && v->indicator != -1 ? "NULL(" + std::to_string(v->indicator) + ")" : "NULL";
  const RDAXOPENSQLValue& x = v->value;
  char buf[64];
  switch (x.code) {
    case RDA_SQLVAL_CHAR:
      return "CHAR:" + recordEscape(octets(x.octets));
    case RDA_SQLVAL_VARCHAR:
      return "VARCHAR:" + recordEscape(octets(x.octets));
    case RDA_SQLVAL_WCHAR:
      return "WCHAR:" + recordEscape(octets(x.octets));
    case RDA_SQLVAL_WVARCHAR:
      return "WVARCHAR:" + recordEscape(octets(x.octets));
    case RDA_SQLVAL_NUMERIC:
    case RDA_SQLVAL_DECIMAL: {
      const std::string_view n(reinterpret_cast<const char*>(x.numeric.octets),
                               std::min<uint32_t>(x.numeric.length, RDA_XOPEN_NUMERIC_MAX));
      return (x.code == RDA_SQLVAL_NUMERIC ? "NUMERIC:" : "DECIMAL:") + recordEscape(n);
    }
    case RDA_SQLVAL_INTEGER:
      return "INTEGER:" + std::to_string(x.integer);
    case RDA_SQLVAL_SMALLINT:
      return "SMALLINT:" + std::to_string(x.integer);
    case RDA_SQLVAL_FLOAT:
    case RDA_SQLVAL_REAL:
    case RDA_SQLVAL_DOUBLE:
      std::snprintf(buf, sizeof buf, "%.17g", x.real);
      return std::string(x.code == RDA_SQLVAL_FLOAT ? "FLOAT:" : x.code == RDA_SQLVAL_REAL ? "REAL:" : "DOUBLE:") +
             buf;
    case RDA_SQLVAL_DATETIME:
      return "DATETIME:" + recordEscape(std::string_view(x.dateTime, strnlen(x.dateTime, RDA_DATETIME_MAX)));
    case RDA_SQLVAL_BITVARYING:
      return "BIT:" + hexOf(std::string_view(reinterpret_cast<const char*>(x.bitString.octets),
                                             x.bitString.octets != nullptr ? x.bitString.count : 0));
    default:
      std::snprintf(buf, sizeof buf, "code 0x%X", x.code);
      return buf;
  }
}

void addValues(std::string& out, const RDAList& list) {
  if (rda_ringEmpty(list)) return;
  for (const UL_Link* p = list.links.next; p != &list.links; p = p->next)
    out += "\targ=" + argument(static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(p)->val));
}

}  // namespace

std::string recordEscape(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20 || u == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out;
}

std::string hexOf(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

std::shared_ptr<Recorder> Recorder::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  return std::shared_ptr<Recorder>(new Recorder(fd));
}

Recorder::~Recorder() { ::close(fd_); }

void Recorder::line(const std::string& text) const {
  const std::string l = text + "\n";
  // One write: appended whole, whichever process of the peer writes it.
  (void)!::write(fd_, l.data(), l.size());
}

void Recorder::initialize(const RDAInit_Req& req) const {
  std::string l = "R-Initialize";
  if ((req.mask & (1u << 6)) != 0 && (req.sql.mask & 2u) != 0) l += "\tuser-data=" + recordEscape(octets(req.sql.userData));
  if (req.identityOfUser != nullptr) l += "\tidentity=" + recordEscape(req.identityOfUser);
  if ((req.mask & (1u << 3)) != 0) {
    const RDAAuthData& a = req.userAuthData;
    if (a.code == RDA_AUTH_TEXT && a.text != nullptr) l += "\tauth=" + hexOf(a.text);
    else if (a.code == RDA_AUTH_OCTETS) l += "\tauth=" + hexOf(octets(a.octets));
    else if (a.code == RDA_AUTH_BITS && a.bits.octets != nullptr)
      l += "\tauth=" + hexOf(std::string_view(reinterpret_cast<const char*>(a.bits.octets), a.bits.count));
  }
  l += "\tsuffix=" + hexOf(octets(req.suffix.octets));
  line(l);
}

void Recorder::execute(const RDAExecDBL_Req& req) const {
  std::string l = "R-ExecuteDBL\ttext=" + recordEscape(octets(req.stmt.text));
  if ((req.mask & (1u << 4)) == 0) {
    l += "\trepetition=none";
  } else if (req.args.code == 0x4004) {
    l += "\trepetition=" + std::to_string(req.args.single.count);
    if ((req.args.single.mask & 2u) != 0) addValues(l, req.args.single.values.values);
  } else {
    l += "\trepetition=multi";
    const RDAList& rows = req.args.multi.rows;
    if (!rda_ringEmpty(rows))
      for (const UL_Link* p = rows.links.next; p != &rows.links; p = p->next) {
        l += "\trow";
        addValues(l, reinterpret_cast<const RDARowNode*>(p)->row.values);
      }
  }
  line(l);
}

}  // namespace peer
