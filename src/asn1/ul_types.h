// Upper-layer naming records: presentation addresses, AP and AE titles, AE
// qualifiers with their directory-name forms, authentication values, and the
// AE identifier record that gathers them. The ACSE and RDA codecs read and
// write these records, and the directory fills them for the local and remote
// application entities.
//
// Lists are circular doubly linked rings: a head {links, count} and entries
// that begin with the same links. An empty ring's links point at its head.
#pragma once

#include <cstdint>

#include "src/asn1/ber_external.h"
#include "src/asn1/ber_values.h"
#include "src/asn1/decode_tree.h"

struct UL_Link {
  UL_Link* next;
  UL_Link* prev;
};

// Head of a ring with the number of its entries.
struct UL_Ring {
  UL_Link links;
  uint32_t count;
};

// ---------------------------------------------------------------------------
// Presentation address: SEQUENCE { [0] P-selector OPTIONAL, [1] S-selector
// OPTIONAL, [2] T-selector OPTIONAL, [3] SET OF network address }.

inline constexpr uint32_t UL_PADDR_PSEL = 1;
inline constexpr uint32_t UL_PADDR_SSEL = 2;
inline constexpr uint32_t UL_PADDR_TSEL = 4;

// One network address of the [3] ring.
struct UL_NaddrEntry {
  UL_Link links;
  OctStgV addr;
};
static_assert(sizeof(UL_NaddrEntry) == 32);

struct UL_Paddress {
  uint32_t mask;  // UL_PADDR_* bits of the optional selectors present
  OctStgV pSel;
  OctStgV sSel;
  OctStgV tSel;
  UL_Ring nAddrs;  // of UL_NaddrEntry; at least one on the wire
};

// ---------------------------------------------------------------------------
// Directory names.

// AttributeValueAssertion: SEQUENCE { OBJECT IDENTIFIER, ANY }. The value is
// the whole encoded element {length, octets}, carried as it stands.
struct UL_AVA {
  ObjIdV type;
  BerAny value;
};

// RelativeDistinguishedName: SET OF AVA, at least one.
struct UL_RDNEntry {
  UL_Link links;
  UL_AVA ava;
};

// DistinguishedName: SEQUENCE OF RDN; may be empty. Each entry points at an
// RDN ring (a UL_Ring of UL_RDNEntry).
struct UL_DNEntry {
  UL_Link links;
  UL_Ring* rdn;
};

// ---------------------------------------------------------------------------
// AP title and AE title: CHOICE { OBJECT IDENTIFIER, Name }, told by the
// universal tag; the kind is that tag number.

inline constexpr uint32_t UL_TITLE_OBJID = 6;
inline constexpr uint32_t UL_TITLE_DN = 16;

struct UL_APTitle {
  uint32_t kind;  // UL_TITLE_OBJID or UL_TITLE_DN
  union {
    ObjIdV objId;
    UL_Ring* dn;  // ring of UL_DNEntry
  };
};

// AE qualifier: CHOICE { INTEGER, RelativeDistinguishedName }.
inline constexpr uint32_t UL_QUAL_INTEGER = 2;
inline constexpr uint32_t UL_QUAL_RDN = 17;

struct UL_AEQual {
  uint32_t kind;  // UL_QUAL_INTEGER or UL_QUAL_RDN
  union {
    int64_t integer;  // written from its low 32 bits
    UL_Ring* rdn;     // ring of UL_RDNEntry
  };
};

// ---------------------------------------------------------------------------
// Authentication value.

// CHOICE of implicit tags; the kind is the type code of the alternative.
inline constexpr uint32_t UL_AUTH_STRING = 16384;    // [0] character string
inline constexpr uint32_t UL_AUTH_BITSTRING = 16385; // [1] BIT STRING
inline constexpr uint32_t UL_AUTH_EXTERNAL = 16386;  // [2] EXTERNAL
inline constexpr uint32_t UL_AUTH_OTHER = 16387;     // [3] other mechanism

struct UL_AuthVal {
  uint32_t kind;
  union {
    char string[16];  // NUL-terminated
    uint32_t bits;    // written as 16 bits
    ExternalValue external;
  };
};

// ---------------------------------------------------------------------------
// AE identifier.

inline constexpr uint32_t UL_AEID_APTITLE = 2;
inline constexpr uint32_t UL_AEID_AEQUAL = 4;
inline constexpr uint32_t UL_AEID_APINVOKE = 8;
inline constexpr uint32_t UL_AEID_AEINVOKE = 16;
inline constexpr uint32_t UL_AEID_NSERVICE = 32;
inline constexpr uint32_t UL_AEID_TCLASS = 64;
inline constexpr uint32_t UL_AEID_INTEGER7 = 128;
inline constexpr uint32_t UL_AEID_OBJID8 = 256;
inline constexpr uint32_t UL_AEID_AUTHVAL = 512;

// Values of the absent network service and transport class.
inline constexpr int32_t UL_NSERVICE_DEFAULT = 0;
inline constexpr int32_t UL_TCLASS_DEFAULT = 4;

struct UL_AEId {
  uint32_t mask;         // UL_AEID_* bits of the optional elements present
  UL_Paddress pAddress;  // [0], required
  UL_APTitle apTitle;    // [1]
  UL_AEQual aeQual;      // [2]
  int32_t apInvokeId;    // [3]
  int32_t aeInvokeId;    // [4]
  int32_t nService;      // [5]
  int32_t tClass;        // [6]
  int32_t integer7;      // [7]
  ObjIdV objId8;         // [8]
  UL_AuthVal authVal;    // [9]
};
static_assert(sizeof(UL_AEId) == 304);

// ---------------------------------------------------------------------------
// Generic interface data unit: SEQUENCE { INTEGER, four generic values,
// INTEGER, pre-encoded value, INTEGER, generic value }. A generic value is a
// primitive element of 1 to 4 octets carried raw.

struct UL_GenericIDU {
  UL_Link links;
  int32_t int1;
  void* generic[4];
  int32_t int2;
  uint8_t* preEncoded;
  int32_t int3;
  void* generic5;
};
