// Table-driven BER codecs: one parse engine and one format engine walk
// constant descriptors of the ASN.1 types instead of a hand-written
// a<Type>/f<Type> pair per type. The RTSE, upper-layer and RDA codecs are
// written as such descriptors.
//
// A type (CtType) is one of
// - a primitive value (INTEGER, BOOLEAN, strings, ...) held in place;
// - a SEQUENCE or SET (CtSeq): a presence word and fields, each a CtField;
// - a CHOICE (CtChoice): a 32-bit type code and alternatives, each a CtField;
// - a SEQUENCE OF / SET OF (CtList): a ring of nodes, each holding one element;
// - a hand-written pair (CtCustom) for what fits none of these.
//
// A field (CtField) says how a value stands on the wire and where it lies in
// its record:
// - code: the identifier as a type code (ctUniv, ctApp, ctCtx, ctPriv). For
//   a field that is not explicit it replaces the identifier of the type
//   (implicit tagging; a universal code is the type's own tag). CT_SELF: the
//   type reads and writes its own identifier (CHOICE, ANY, self custom).
// - explicitOver(inner): the code is a constructed wrapper around a complete
//   inner element whose identifier is `inner` (or CT_SELF).
// - presence: mandatory, optional(bit), byDefault(bit, v), filled(bit, v),
//   whenNonZero(), whenSet(); see CtPresence.
// - offset: where the value lies in the record; indirect(): the record holds
//   a pointer to the value, which the parse allocates in the decode tree.
//
// Parsing follows the codec convention of the runtime: a SEQUENCE/SET/list
// type parses the contents of an element its caller opened; a CHOICE peeks
// and opens the chosen alternative itself. Formatting writes back to front
// and returns the octet count; a SEQUENCE/SET/list type writes its contents,
// the caller writes the identifier around them. Every error leaves the pass
// through aaRaise with the `src` name given to the entry point.
//
// Errors: 1 empty list, 2 an element of a SET twice, 3 a mandatory element
// missing (or a missing inner value of a wrapper), 4 contents left over,
// 6 an unknown element of a SET, 7 an unknown CHOICE alternative (where the
// field or choice says so), 18 no memory, 31 formatting a CHOICE record
// whose code names no alternative.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "src/asn1/ber_values.h"
#include "src/asn1/ul_types.h"

// ---------------------------------------------------------------------------
// Identifiers as type codes.

inline constexpr uint16_t CT_SELF = 0;  // the type reads and writes its own identifier
constexpr uint16_t ctUniv(uint16_t tag) { return tag; }
constexpr uint16_t ctApp(uint16_t tag) { return static_cast<uint16_t>(0x2000 + tag); }
constexpr uint16_t ctCtx(uint16_t tag) { return static_cast<uint16_t>(0x4000 + tag); }
constexpr uint16_t ctPriv(uint16_t tag) { return static_cast<uint16_t>(0x6000 + tag); }

// ---------------------------------------------------------------------------
// Kinds of values.

enum class CtKind : uint8_t {
  Int,       // int32_t: INTEGER or ENUMERATED contents of at most 4 octets
  Int64,     // int64_t read as a 32-bit INTEGER, written from its low 32 bits
  Bool,      // uint32_t: the BOOLEAN contents octet; non-zero is true
  Null,      // no field: the element must be empty
  Text,      // char*: character string, NUL-terminated, in the decode tree
  TextBuf,   // char[arg + 1] in place: character string of at most arg octets
  Octv,      // OctStgV: OCTET STRING in the decode tree
  Octs,      // {u32 length, u8[arg]} in place: OCTET STRING of at most arg octets
  ObjIdV,    // ObjIdV: OBJECT IDENTIFIER
  BitW,      // uint32_t: BIT STRING of at most 32 bits, written with arg bits
  BitV,      // BitStgV: BIT STRING in the decode tree
  Real,      // double
  Utc,       // BerTime: UTCTime
  Any,       // BerAny: the whole next element as it stands (self-identifying)
  External,  // ExternalValue: EXTERNAL contents
  Seq,       // SEQUENCE or SET contents (CtSeq)
  List,      // SEQUENCE OF / SET OF contents (CtList)
  Choice,    // CHOICE (CtChoice; self-identifying)
  Custom,    // hand-written pair (CtCustom)
};

// CtType::flags and CtList::flags.
inline constexpr uint8_t CT_PAGE = 1;  // memory from the decode tree's page allocator

struct CtField;
struct CtSeq;
struct CtChoice;
struct CtList;
struct CtCustom;

struct CtType {
  CtKind kind;
  uint8_t flags = 0;
  uint32_t arg = 0;   // TextBuf, Octs: most octets; BitW: bits written
  uint32_t size = 0;  // octets of the value's record (indirect fields, list elements)
  const CtSeq* seq = nullptr;
  const CtChoice* choice = nullptr;
  const CtList* list = nullptr;
  const CtCustom* custom = nullptr;
};

// ---------------------------------------------------------------------------
// Fields.

enum CtPresence : uint8_t {
  CT_MANDATORY,  // missing: error `missing` (3); written always; sets `bit` when present
  CT_OPTIONAL,   // missing: bit clear (an indirect pointer is cleared); written when bit is set
  CT_DEFAULT,    // missing: dflt stored and bit set; written when bit is set
  CT_FILL,       // missing: dflt stored, bit clear; written when bit is set
  CT_NONZERO,    // no bit: missing stores 0; written when the INTEGER is not 0
  CT_NONNULL,    // indirect, no bit: missing clears the pointer; written when it is set
};

// CtField::flags.
inline constexpr uint8_t CT_EXPLICIT = 1;  // code is a wrapper around an inner element
inline constexpr uint8_t CT_CONS = 2;      // the identifier is written constructed even when empty
                                           // (a SEQUENCE, SET or list type always is)
inline constexpr uint8_t CT_INDIRECT = 4;  // the record holds a pointer to the value
inline constexpr uint8_t CT_VALPROBE = 8;  // probe with the value variants (tags below 31 only)
inline constexpr uint8_t CT_ALONE = 16;    // read only when no earlier field of its SEQUENCE was read

struct CtField {
  uint16_t code = CT_SELF;
  uint16_t inner = CT_SELF;  // explicit fields: identifier of the inner element
  uint8_t flags = 0;
  uint8_t presence = CT_MANDATORY;
  uint8_t missing = 3;  // error of a missing mandatory element
  uint32_t bit = 0;     // presence-word bit
  int32_t dflt = 0;     // value stored by CT_DEFAULT and CT_FILL
  uint32_t offset = 0;  // of the value in the record
  const CtType* type = nullptr;

  constexpr CtField optional(uint32_t b) const { return with(CT_OPTIONAL, b, 0); }
  constexpr CtField byDefault(uint32_t b, int32_t v) const { return with(CT_DEFAULT, b, v); }
  constexpr CtField filled(uint32_t b, int32_t v) const { return with(CT_FILL, b, v); }
  constexpr CtField whenNonZero() const { return with(CT_NONZERO, 0, 0); }
  constexpr CtField whenSet() const { return with(CT_NONNULL, 0, 0); }
  // Mandatory, marking `b` in the presence word when read (SET members).
  constexpr CtField required(uint32_t b) const { return with(CT_MANDATORY, b, 0); }
  constexpr CtField explicitOver(uint16_t innerCode) const {
    CtField f = *this;
    f.flags |= CT_EXPLICIT;
    f.inner = innerCode;
    return f;
  }
  constexpr CtField constructed() const { return flag(CT_CONS); }
  constexpr CtField indirect() const { return flag(CT_INDIRECT); }
  constexpr CtField valueProbe() const { return flag(CT_VALPROBE); }
  // An OPTIONAL element that may stand only alone in its SEQUENCE: after an
  // earlier element it is not looked for (and so counts as extra data).
  constexpr CtField alone() const { return flag(CT_ALONE); }
  constexpr CtField missingIs(uint8_t code) const {
    CtField f = *this;
    f.missing = code;
    return f;
  }

 private:
  constexpr CtField with(uint8_t p, uint32_t b, int32_t v) const {
    CtField f = *this;
    f.presence = p;
    f.bit = b;
    f.dflt = v;
    return f;
  }
  constexpr CtField flag(uint8_t fl) const {
    CtField f = *this;
    f.flags |= fl;
    return f;
  }
};

// A mandatory field with the given identifier, type and offset.
constexpr CtField ctField(uint16_t code, const CtType& type, size_t offset = 0) {
  CtField f;
  f.code = code;
  f.type = &type;
  f.offset = static_cast<uint32_t>(offset);
  return f;
}

// ---------------------------------------------------------------------------
// Constructed types.

enum CtSeqForm : uint8_t {
  CT_SEQUENCE,  // fields in their order; one out of order counts as missing or extra
  CT_SET,       // fields in any order: 2 twice, 6 unknown (skipped under aaextensibility)
};
enum CtSeqEnd : uint8_t {
  CT_END_STRICT,  // contents left after the last field: 4
  CT_END_EXTENS,  // ... skipped under aaextensibility, else 4
};

struct CtSeq {
  std::span<const CtField> fields;
  int32_t maskOffset = -1;  // offset of the 32-bit presence word; -1 = none
  uint8_t form = CT_SEQUENCE;
  uint8_t end = CT_END_STRICT;
};

enum CtUnknown : uint8_t {
  CT_UNKNOWN_ABSENT,  // no alternative: zero result, the code field unchanged
  CT_UNKNOWN_EXTENS,  // skipped (the code kept) under aaextensibility, else 7
};

struct CtChoice {
  std::span<const CtField> alts;  // offsets from the start of the CHOICE's value
  uint32_t codeOffset = 0;        // of the 32-bit type code
  uint8_t unknown = CT_UNKNOWN_ABSENT;
};

// CtList::flags besides CT_PAGE.
inline constexpr uint8_t CT_EMPTY_OK = 2;  // a list without elements is valid (else error 1)

// The value is a UL_Ring head; each node begins with UL_Link and holds the
// element at element.offset (the element's value, or a pointer to it when
// element is indirect).
struct CtList {
  CtField element;
  uint32_t nodeSize = 0;
  uint8_t flags = 0;
};

// A hand-written pair. A self pair reads and writes its own identifier and
// returns 0 when its element is not there; a contents pair runs on an opened
// element, and 0 from its parse is a missing value (3).
struct CtCustom {
  bool self;
  uint32_t (*parse)(void* value);
  int64_t (*format)(void* value);
};

// Type builders.
constexpr CtType ctSeqType(const CtSeq& s, size_t size, uint8_t flags = 0) {
  return CtType{CtKind::Seq, flags, 0, static_cast<uint32_t>(size), &s};
}
constexpr CtType ctChoiceType(const CtChoice& c, size_t size, uint8_t flags = 0) {
  return CtType{CtKind::Choice, flags, 0, static_cast<uint32_t>(size), nullptr, &c};
}
constexpr CtType ctListType(const CtList& l, uint8_t flags = 0) {
  return CtType{CtKind::List, flags, 0, sizeof(UL_Ring), nullptr, nullptr, &l};
}
constexpr CtType ctCustomType(const CtCustom& c, size_t size = 0) {
  return CtType{CtKind::Custom, 0, 0, static_cast<uint32_t>(size), nullptr, nullptr, nullptr, &c};
}

// The primitive types.
inline constexpr CtType ctInt{CtKind::Int, 0, 0, sizeof(int32_t)};
inline constexpr CtType ctInt64{CtKind::Int64, 0, 0, sizeof(int64_t)};
inline constexpr CtType ctBool{CtKind::Bool, 0, 0, sizeof(uint32_t)};
inline constexpr CtType ctNull{CtKind::Null};
inline constexpr CtType ctText{CtKind::Text, 0, 0, sizeof(char*)};
inline constexpr CtType ctTextPage{CtKind::Text, CT_PAGE, 0, sizeof(char*)};
inline constexpr CtType ctOctv{CtKind::Octv, 0, 0, sizeof(OctStgV)};
inline constexpr CtType ctOctvPage{CtKind::Octv, CT_PAGE, 0, sizeof(OctStgV)};
inline constexpr CtType ctObjIdV{CtKind::ObjIdV, 0, 0, sizeof(ObjIdV)};
inline constexpr CtType ctBitV{CtKind::BitV, 0, 0, sizeof(BitStgV)};
inline constexpr CtType ctReal{CtKind::Real, 0, 0, sizeof(double)};
inline constexpr CtType ctUtc{CtKind::Utc, 0, 0, sizeof(BerTime)};
inline constexpr CtType ctAny{CtKind::Any, 0, 0, sizeof(BerAny)};
inline constexpr CtType ctExternal{CtKind::External, 0, 0, sizeof(ExternalValue)};
// BIT STRING written with `bits` bits; character strings and OCTET STRINGs
// of at most `max` octets in place.
constexpr CtType ctBitW(uint32_t bits) { return CtType{CtKind::BitW, 0, bits, sizeof(uint32_t)}; }
constexpr CtType ctTextBuf(uint32_t max) { return CtType{CtKind::TextBuf, 0, max, max + 1}; }
constexpr CtType ctOcts(uint32_t max) { return CtType{CtKind::Octs, 0, max, 4 + max}; }

// ---------------------------------------------------------------------------
// Entry points (inside a parse or format pass).

// The value of type t: a contents type parses the element its caller opened
// (always non-zero); a self type reads its own element and answers 0 when
// it is not there.
uint32_t ct_parseType(const CtType& t, void* value, const char* src);
// The field f of the record at base: 0 when its element is not there.
uint32_t ct_parseField(const CtField& f, void* base, const char* src);
// Contents (or, for a self type, the whole element) of the value; octets.
int64_t ct_formatType(const CtType& t, void* value, const char* src);
// The field's element, identifier included; octets.
int64_t ct_formatField(const CtField& f, void* base, const char* src);

// Whether the contents of the current level end here; leaves the level
// when they do (for hand-written contents codecs that read a list).
bool ct_atEnd();

// Whether the descriptors of t and of everything it contains are well made:
// identifiers fit the types (a self type only with CT_SELF or under a
// wrapper, a contents type never with CT_SELF), alternatives and SET members
// have distinct identifiers, SET members have presence bits, defaults sit on
// numbers, indirect values have sizes.
bool ct_valid(const CtType& t);
