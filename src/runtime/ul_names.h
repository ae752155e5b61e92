// Upper-layer naming records that the directory fills and the ACSE and RDA
// codecs read and write: presentation addresses, AP titles, AE qualifiers,
// authentication values and the AE identifier record that gathers them, with
// the value records they are built of (object identifiers, octet and bit
// strings, EXTERNAL). The directory-name forms of titles and qualifiers, which
// only the codecs build, are declared with the codecs (src/asn1/ul_types.h).
//
// Lists are circular doubly linked rings: a head {links, count} and entries
// that begin with the same links. An empty ring's links point at its head.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Value records shared by every codec.

inline constexpr uint32_t kObjIdMaxArcs = 16;
inline constexpr uint32_t kObjIdAbsent = 0xFFFF;  // count of an absent optional reference

struct ObjId {
  uint32_t count;
  uint32_t arcs[kObjIdMaxArcs];
};

struct ObjIdV {
  uint32_t count;
  uint32_t* arcs;
};

struct OctStg {
  uint32_t length;
  uint8_t octets[];  // the containing type fixes the room
};

struct OctStgV {
  uint32_t length;
  uint8_t* octets;
};

struct BitStgV {
  uint32_t unused;  // unused bits of the last octet, 0-7
  uint32_t count;   // octets
  uint8_t* octets;
};

// An EXTERNAL value: a value of another abstract syntax.
inline constexpr uint32_t kExtDescriptorMax = 32;

struct ExternalValue {
  int32_t context;   // context index; -1 = no indirect reference
  ObjId directRef;   // count 0xFFFF = absent
  char descriptor[kExtDescriptorMax + 1];  // empty = absent
  uint32_t encoding;  // 16384 [0], 16385 [1], 16386 [2]; 0 = chosen for the context
  uint32_t status;    // error word of the embedded parse or format
  uint32_t argument;  // octet count of a pre-encoded value
  void* value;
};

// ---------------------------------------------------------------------------
// Rings.

struct UL_Link {
  UL_Link* next;
  UL_Link* prev;
};

// Head of a ring with the number of its entries.
struct UL_Ring {
  UL_Link links;
  uint32_t count;
};

// True when `entry` is linked into `ring`; found by address, so that a
// pointer handed back by a caller is checked before anything of it is read.
// A ring never set up holds nothing.
inline bool UL_ringHolds(const UL_Ring* ring, const void* entry) {
  if (ring == nullptr || ring->links.next == nullptr) return false;
  for (const UL_Link* l = ring->links.next; l != &ring->links; l = l->next)
    if (l == entry) return true;
  return false;
}

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
