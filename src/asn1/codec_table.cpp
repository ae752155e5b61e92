// The parse and format engines of the table-driven codecs.
#include "src/asn1/codec_table.h"

#include <cstring>

#include "src/asn1/ber_external.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"

namespace {

uint8_t* at(void* base, uint32_t offset) { return static_cast<uint8_t*>(base) + offset; }

template <class T>
T& as(void* p) {
  return *static_cast<T*>(p);
}

uint32_t clsOf(uint32_t code) { return (code >> 7) & 0xC0; }
int32_t tagOf(uint32_t code) { return static_cast<int32_t>(code & 0x1FFF); }

bool isSelf(const CtType& t) {
  return t.kind == CtKind::Choice || t.kind == CtKind::Any || (t.kind == CtKind::Custom && t.custom->self);
}

void* allocate(uint32_t size, bool page, const char* src) {
  void* p = page ? aamallocFromPage(size) : aamalloc(size);
  if (p == nullptr) aaRaise(AAE_NOMEM, src, __LINE__);
  return p;
}

void ringInit(UL_Ring* ring) {
  ring->links.next = &ring->links;
  ring->links.prev = &ring->links;
  ring->count = 0;
}

void ringAppend(UL_Ring* ring, UL_Link* node) {
  node->next = &ring->links;
  node->prev = ring->links.prev;
  ring->links.prev->next = node;
  ring->links.prev = node;
  ++ring->count;
}

int64_t probe(uint32_t code, bool val) {
  return val ? ber_getidForVal(static_cast<int32_t>(clsOf(code)), tagOf(code))
             : ber_getid(static_cast<int32_t>(clsOf(code)), tagOf(code));
}

// Type code of the next element without consuming it; 0 at the end.
int32_t peekCode(bool val) {
  if (!val) return ber_peektype();
  aa_normalise();
  if (eop[lev] == aapdu) return 0;
  return ber_peektypeVal();  // the zero octet of an end-of-contents reads as 0
}

const CtField* find(std::span<const CtField> fields, uint32_t code) {
  for (const CtField& f : fields)
    if (f.code == code) return &f;
  return nullptr;
}

void storeNumber(const CtField& f, uint8_t* slot) {
  switch (f.type->kind) {
    case CtKind::Int:
      as<int32_t>(slot) = f.dflt;
      break;
    case CtKind::Int64:
      as<int64_t>(slot) = f.dflt;
      break;
    case CtKind::Bool:
      as<uint32_t>(slot) = static_cast<uint32_t>(f.dflt);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Parse

bool parseSelf(const CtType& t, void* value, const char* src);
void parseContents(const CtType& t, void* value, const char* src);
bool parseField(const CtField& f, void* base, const char* src);

// A field whose element is not there.
void absent(const CtField& f, void* base, uint32_t& mask, const char* src) {
  uint8_t* slot = at(base, f.offset);
  switch (f.presence) {
    case CT_MANDATORY:
      aaRaise(f.missing, src, __LINE__);
    case CT_OPTIONAL:
      if ((f.flags & CT_INDIRECT) != 0) as<void*>(slot) = nullptr;
      else if (f.type->kind == CtKind::List) ringInit(reinterpret_cast<UL_Ring*>(slot));
      break;
    case CT_DEFAULT:
      storeNumber(f, slot);
      mask |= f.bit;
      break;
    case CT_FILL:
    case CT_NONZERO:
      storeNumber(f, slot);
      break;
    case CT_NONNULL:
      as<void*>(slot) = nullptr;
      break;
    default:
      break;
  }
}

void storeMask(const CtSeq& s, void* rec, uint32_t mask) {
  if (s.maskOffset >= 0) as<uint32_t>(at(rec, static_cast<uint32_t>(s.maskOffset))) = mask;
}

void seqEnd(const CtSeq& s, const char* src) {
  if (ct_atEnd()) return;
  if (s.end == CT_END_EXTENS && aaextensibility != 0) {
    aa_skip();
    return;
  }
  aaRaise(AAE_REQEOC, src, __LINE__);
}

void parseSequence(const CtSeq& s, void* rec, const char* src) {
  uint32_t mask = 0;
  bool read = false;
  for (const CtField& f : s.fields) {
    if ((read && (f.flags & CT_ALONE) != 0) || !parseField(f, rec, src)) {
      absent(f, rec, mask, src);
      continue;
    }
    mask |= f.bit;
    read = true;
  }
  seqEnd(s, src);
  storeMask(s, rec, mask);
}

void parseSet(const CtSeq& s, void* rec, const char* src) {
  uint32_t mask = 0;
  for (int32_t code; (code = ber_peektype()) != 0;) {
    const CtField* f = find(s.fields, static_cast<uint32_t>(code));
    if (f == nullptr) {
      if (aaextensibility == 0) aaRaise(AAE_NOTINSET, src, __LINE__);
      (void)ber_gettype();
      aa_skip();
      continue;
    }
    if ((mask & f->bit) != 0) aaRaise(AAE_DUPPARAM, src, __LINE__);
    (void)parseField(*f, rec, src);
    mask |= f->bit;
  }
  if (!ct_atEnd()) aaRaise(AAE_REQEOC, src, __LINE__);
  uint32_t filled = mask;
  for (const CtField& f : s.fields)
    if ((mask & f.bit) == 0) absent(f, rec, filled, src);
  storeMask(s, rec, filled);
}

bool parseChoice(const CtChoice& c, void* value, const char* src) {
  const bool val = !c.alts.empty() && (c.alts[0].flags & CT_VALPROBE) != 0;
  const int32_t code = peekCode(val);
  const CtField* alt = find(c.alts, static_cast<uint32_t>(code));
  uint32_t& kind = as<uint32_t>(at(value, c.codeOffset));
  if (alt == nullptr) {
    if (code == 0 || c.unknown == CT_UNKNOWN_ABSENT) return false;
    if (aaextensibility == 0) aaRaise(AAE_NOTINCHOICE, src, __LINE__);
    kind = static_cast<uint32_t>(code);
    (void)ber_gettype();
    aa_skip();
    return true;
  }
  kind = static_cast<uint32_t>(code);
  if (!parseField(*alt, value, src)) aaRaise(AAE_MSGPARAM, src, __LINE__);
  return true;
}

void parseList(const CtList& l, void* value, const char* src) {
  auto* ring = static_cast<UL_Ring*>(value);
  ringInit(ring);
  const bool page = (l.flags & CT_PAGE) != 0;
  while (!ct_atEnd()) {
    auto* node = static_cast<UL_Link*>(allocate(l.nodeSize, page, src));
    if (!parseField(l.element, node, src)) aaRaise(AAE_MSGPARAM, src, __LINE__);
    ringAppend(ring, node);
  }
  if (ring->count == 0 && (l.flags & CT_EMPTY_OK) == 0) aaRaise(AAE_OVFLO, src, __LINE__);
}

void parseNull(const char* src) {
  const int64_t remaining = eopenv[lev].remaining;
  if (remaining == 0) {
    aa_leaveLevel();
    return;
  }
  if (remaining < 0 && ber_chkend() == 2) return;
  aaRaise(AAE_REQEOC, src, __LINE__);
}

void parseContents(const CtType& t, void* value, const char* src) {
  const bool page = (t.flags & CT_PAGE) != 0;
  switch (t.kind) {
    case CtKind::Int:
      ber_getint(static_cast<int32_t*>(value));
      return;
    case CtKind::Int64: {
      int32_t v = 0;
      ber_getint(&v);
      as<int64_t>(value) = v;
      return;
    }
    case CtKind::Bool:
      ber_getbit(static_cast<uint32_t*>(value));
      return;
    case CtKind::Null:
      parseNull(src);
      return;
    case CtKind::Text:
      as<char*>(value) = page ? ber_getstgv_page() : ber_getstgv();
      return;
    case CtKind::TextBuf:
      ber_getstg(t.arg, static_cast<char*>(value));
      return;
    case CtKind::Octv:
      if (page) ber_getoctv_page(static_cast<OctStgV*>(value));
      else ber_getoctv(static_cast<OctStgV*>(value));
      return;
    case CtKind::Octs:
      ber_getocts(t.arg, static_cast<OctStg*>(value));
      return;
    case CtKind::ObjIdV:
      ber_getobjv(static_cast<ObjIdV*>(value));
      return;
    case CtKind::BitW:
      ber_getbitw(static_cast<uint32_t*>(value));
      return;
    case CtKind::BitV:
      ber_getbitv(static_cast<BitStgV*>(value));
      return;
    case CtKind::Real:
      ber_getdouble(static_cast<double*>(value));
      return;
    case CtKind::Utc:
      ber_getutc(static_cast<BerTime*>(value));
      return;
    case CtKind::External:
      ber_getext(static_cast<ExternalValue*>(value));
      return;
    case CtKind::Seq:
      if (t.seq->form == CT_SET) parseSet(*t.seq, value, src);
      else parseSequence(*t.seq, value, src);
      return;
    case CtKind::List:
      parseList(*t.list, value, src);
      return;
    case CtKind::Custom:
      if (!t.custom->self) {
        if (t.custom->parse(value) == 0) aaRaise(AAE_MSGPARAM, src, __LINE__);
        return;
      }
      break;
    default:
      break;
  }
  // A self-identifying type in the place of contents: its element must be there.
  if (!parseSelf(t, value, src)) aaRaise(AAE_MSGPARAM, src, __LINE__);
}

bool parseSelf(const CtType& t, void* value, const char* src) {
  switch (t.kind) {
    case CtKind::Choice:
      return parseChoice(*t.choice, value, src);
    case CtKind::Any:
      return ber_getany(static_cast<BerAny*>(value)) != 0;
    case CtKind::Custom:
      return t.custom->parse(value) != 0;
    default:
      parseContents(t, value, src);
      return true;
  }
}

bool parseField(const CtField& f, void* base, const char* src) {
  uint8_t* slot = at(base, f.offset);
  const CtType& t = *f.type;
  const bool indirect = (f.flags & CT_INDIRECT) != 0;
  const bool page = (t.flags & CT_PAGE) != 0;
  if (f.code == CT_SELF) {
    if (!indirect) return parseSelf(t, slot, src);
    void* value = allocate(t.size, page, src);
    const bool there = parseSelf(t, value, src);
    as<void*>(slot) = there ? value : nullptr;
    return there;
  }
  const bool val = (f.flags & CT_VALPROBE) != 0;
  if (probe(f.code, val) < 0) return false;
  void* value = slot;
  if (indirect) {
    value = allocate(t.size, page, src);
    as<void*>(slot) = value;
  }
  if ((f.flags & CT_EXPLICIT) == 0) {
    parseContents(t, value, src);
    return true;
  }
  if (f.inner == CT_SELF) {
    if (!parseSelf(t, value, src)) aaRaise(AAE_MSGPARAM, src, __LINE__);
  } else {
    if (probe(f.inner, val) < 0) aaRaise(AAE_MSGPARAM, src, __LINE__);
    parseContents(t, value, src);
  }
  if (!ct_atEnd()) aaRaise(AAE_REQEOC, src, __LINE__);
  return true;
}

// ---------------------------------------------------------------------------
// Format

int64_t formatSelf(const CtType& t, void* value, const char* src);
int64_t formatContents(const CtType& t, void* value, const char* src);
int64_t formatField(const CtField& f, void* base, const char* src);

// Identifier and length of `code` around n octets; SEQUENCE and SET are
// constructed also when empty.
int64_t addIdentifier(uint32_t code, bool constructed, int64_t n) {
  uint32_t cls = clsOf(code);
  if (constructed || code == 16 || code == 17) cls |= 0x20;
  return ber_addid(cls, tagOf(code), n);
}

bool present(const CtField& f, void* base, uint32_t mask) {
  uint8_t* slot = at(base, f.offset);
  switch (f.presence) {
    case CT_MANDATORY:
      return true;
    case CT_NONZERO:
      return f.type->kind == CtKind::Int64 ? as<int64_t>(slot) != 0 : as<int32_t>(slot) != 0;
    case CT_NONNULL:
      return as<void*>(slot) != nullptr;
    default:
      return (mask & f.bit) != 0;
  }
}

int64_t formatSeq(const CtSeq& s, void* rec, const char* src) {
  const uint32_t mask = s.maskOffset >= 0 ? as<uint32_t>(at(rec, static_cast<uint32_t>(s.maskOffset))) : 0;
  int64_t n = 0;
  for (size_t i = s.fields.size(); i-- > 0;)
    if (present(s.fields[i], rec, mask)) n += formatField(s.fields[i], rec, src);
  return n;
}

int64_t formatChoice(const CtChoice& c, void* value, const char* src) {
  const CtField* alt = find(c.alts, as<uint32_t>(at(value, c.codeOffset)));
  if (alt == nullptr) aaRaise(AAE_NONSPEC, src, __LINE__);
  return formatField(*alt, value, src);
}

// Last node first, so that the elements stand in ring order. A list that
// the parse would refuse for having no elements is not written either: the
// sender gets the error instead of its peer.
int64_t formatList(const CtList& l, void* value, const char* src) {
  auto* ring = static_cast<UL_Ring*>(value);
  if ((l.flags & CT_EMPTY_OK) == 0 && (ring->links.next == nullptr || ring->links.next == &ring->links))
    aaRaise(AAE_OVFLO, src, __LINE__);
  int64_t n = 0;
  for (UL_Link* p = ring->links.prev; p != nullptr && p != &ring->links; p = p->prev)
    n += formatField(l.element, p, src);
  return n;
}

// Octets in place, primitive.
int64_t addInPlace(const uint8_t* p, size_t n) {
  if (n > 0) aa_copy(p, nullptr, n);
  cons = 0;
  return static_cast<int64_t>(n);
}

int64_t formatContents(const CtType& t, void* value, const char* src) {
  switch (t.kind) {
    case CtKind::Int:
      return ber_addint(as<int32_t>(value));
    case CtKind::Int64:
      return ber_addint(static_cast<int32_t>(static_cast<uint32_t>(as<int64_t>(value))));
    case CtKind::Bool:
      return ber_addbit(as<uint32_t>(value));
    case CtKind::Null:
      cons = 0;
      return 0;
    case CtKind::Text:
      return ber_addstgv(as<char*>(value));
    case CtKind::TextBuf: {
      const char* s = static_cast<const char*>(value);
      return addInPlace(reinterpret_cast<const uint8_t*>(s), strnlen(s, t.arg));
    }
    case CtKind::Octv:
      return ber_addoctv(static_cast<OctStgV*>(value));
    case CtKind::Octs: {
      const auto* o = static_cast<const OctStg*>(value);
      if (o->length > t.arg) aaRaise(AAE_OVFLO, src, __LINE__);
      return ber_addocts(o);
    }
    case CtKind::ObjIdV:
      return ber_addobjv(static_cast<ObjIdV*>(value));
    case CtKind::BitW:
      return ber_addbitw(t.arg, as<uint32_t>(value));
    case CtKind::BitV:
      return ber_addbitv(static_cast<BitStgV*>(value));
    case CtKind::Real:
      return ber_adddouble(as<double>(value));
    case CtKind::Utc:
      return ber_addutc(static_cast<const BerTime*>(value));
    case CtKind::External:
      return ber_addext(static_cast<ExternalValue*>(value));
    case CtKind::Seq:
      return formatSeq(*t.seq, value, src);
    case CtKind::List:
      return formatList(*t.list, value, src);
    default:
      return formatSelf(t, value, src);
  }
}

int64_t formatSelf(const CtType& t, void* value, const char* src) {
  switch (t.kind) {
    case CtKind::Choice:
      return formatChoice(*t.choice, value, src);
    case CtKind::Any:
      return ber_addany(static_cast<const BerAny*>(value));
    case CtKind::Custom:
      return t.custom->format(value);
    default:
      return formatContents(t, value, src);
  }
}

int64_t formatField(const CtField& f, void* base, const char* src) {
  void* value = at(base, f.offset);
  if ((f.flags & CT_INDIRECT) != 0) {
    value = as<void*>(value);
    if (value == nullptr) aaRaise(AAE_MSGPARAM, src, __LINE__);
  }
  const CtType& t = *f.type;
  if (f.code == CT_SELF) return formatSelf(t, value, src);
  // X.690 writes every SEQUENCE, SET and SEQUENCE OF constructed, also one
  // tagged implicitly that holds no element (A0 00, never 80 00).
  const bool structured = t.kind == CtKind::Seq || t.kind == CtKind::List;
  if ((f.flags & CT_EXPLICIT) == 0)
    return addIdentifier(f.code, structured || (f.flags & CT_CONS) != 0, formatContents(t, value, src));
  int64_t n;
  if (f.inner == CT_SELF) n = formatSelf(t, value, src);
  else n = addIdentifier(f.inner, structured, formatContents(t, value, src));
  return addIdentifier(f.code, (f.flags & CT_CONS) != 0, n);
}

// ---------------------------------------------------------------------------
// Descriptor checks

bool validType(const CtType& t, int depth);

bool lowTag(uint32_t code) { return code == CT_SELF || (code & 0x1FFF) <= 30; }

bool validField(const CtField& f, int depth) {
  if (f.type == nullptr) return false;
  const CtType& t = *f.type;
  const bool explicitly = (f.flags & CT_EXPLICIT) != 0;
  if (f.code == CT_SELF) {
    if (!isSelf(t) || explicitly) return false;
  } else if (explicitly && f.inner == CT_SELF) {
    if (!isSelf(t)) return false;
  } else if (isSelf(t)) {
    return false;
  }
  if ((f.flags & CT_VALPROBE) != 0 && (!lowTag(f.code) || !lowTag(f.inner))) return false;
  if ((f.flags & CT_INDIRECT) != 0 && t.size == 0) return false;
  if ((f.flags & CT_ALONE) != 0 && f.presence != CT_OPTIONAL) return false;
  switch (f.presence) {
    case CT_DEFAULT:
    case CT_FILL:
    case CT_NONZERO:
      if (t.kind != CtKind::Int && t.kind != CtKind::Int64 && t.kind != CtKind::Bool) return false;
      if ((f.flags & CT_INDIRECT) != 0) return false;
      break;
    case CT_NONNULL:
      if ((f.flags & CT_INDIRECT) == 0) return false;
      break;
    default:
      break;
  }
  return validType(t, depth + 1);
}

// Distinct non-self identifiers.
bool distinctCodes(std::span<const CtField> fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].code == CT_SELF) return false;
    for (size_t j = i + 1; j < fields.size(); ++j)
      if (fields[i].code == fields[j].code) return false;
  }
  return true;
}

bool validType(const CtType& t, int depth) {
  if (depth > 32) return false;
  switch (t.kind) {
    case CtKind::TextBuf:
    case CtKind::Octs:
      return t.arg > 0 && t.size == t.arg + (t.kind == CtKind::Octs ? 4 : 1);
    case CtKind::BitW:
      return t.arg > 0 && t.arg <= 32;
    case CtKind::Seq: {
      if (t.seq == nullptr) return false;
      const CtSeq& s = *t.seq;
      for (const CtField& f : s.fields) {
        if (!validField(f, depth)) return false;
        const bool needsMask = f.presence == CT_OPTIONAL || f.presence == CT_DEFAULT || f.presence == CT_FILL;
        if (needsMask && (f.bit == 0 || s.maskOffset < 0)) return false;
      }
      if (s.form == CT_SET) {
        if (!distinctCodes(s.fields)) return false;
        uint32_t bits = 0;
        for (const CtField& f : s.fields) {
          if (f.bit == 0 || (bits & f.bit) != 0 || f.presence == CT_NONZERO || f.presence == CT_NONNULL) return false;
          bits |= f.bit;
        }
      }
      return true;
    }
    case CtKind::Choice: {
      if (t.choice == nullptr || t.choice->alts.empty() || !distinctCodes(t.choice->alts)) return false;
      const uint8_t val = t.choice->alts[0].flags & CT_VALPROBE;
      for (const CtField& f : t.choice->alts)
        if ((f.flags & CT_VALPROBE) != val || !validField(f, depth)) return false;
      return true;
    }
    case CtKind::List: {
      if (t.list == nullptr) return false;
      const CtField& e = t.list->element;
      const uint32_t room = (e.flags & CT_INDIRECT) != 0 ? sizeof(void*) : (e.type != nullptr ? e.type->size : 0);
      if (e.presence != CT_MANDATORY || e.offset < sizeof(UL_Link) || e.offset + room > t.list->nodeSize) return false;
      return validField(e, depth);
    }
    case CtKind::Custom:
      return t.custom != nullptr && t.custom->parse != nullptr && t.custom->format != nullptr;
    default:
      return true;
  }
}

}  // namespace

// A level of definite length ends at its end only (two zero octets inside it
// are contents), one of indefinite length at its end-of-contents octets.
bool ct_atEnd() {
  if (eop[lev] == nullptr) return ber_chkend() == 2;
  aa_normalise();
  if (aapdu != eop[lev]) return false;
  aa_leaveLevel();
  return true;
}

uint32_t ct_parseType(const CtType& t, void* value, const char* src) {
  if (value == nullptr) aaRaise(AAE_MSGPARAM, src, __LINE__);
  if (isSelf(t)) return parseSelf(t, value, src) ? UINT32_MAX : 0;
  parseContents(t, value, src);
  return UINT32_MAX;
}

uint32_t ct_parseField(const CtField& f, void* base, const char* src) {
  if (base == nullptr) aaRaise(AAE_MSGPARAM, src, __LINE__);
  return parseField(f, base, src) ? UINT32_MAX : 0;
}

int64_t ct_formatType(const CtType& t, void* value, const char* src) {
  if (value == nullptr) aaRaise(AAE_MSGPARAM, src, __LINE__);
  return isSelf(t) ? formatSelf(t, value, src) : formatContents(t, value, src);
}

int64_t ct_formatField(const CtField& f, void* base, const char* src) {
  if (base == nullptr) aaRaise(AAE_MSGPARAM, src, __LINE__);
  return formatField(f, base, src);
}

bool ct_valid(const CtType& t) { return validType(t, 0); }
