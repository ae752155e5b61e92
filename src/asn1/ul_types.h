// Upper-layer naming records: presentation addresses, AP and AE titles, AE
// qualifiers with their directory-name forms, authentication values, and the
// AE identifier record that gathers them. The ACSE and RDA codecs read and
// write these records, and the directory fills them for the local and remote
// application entities. The records the directory fills are declared below
// it, in src/runtime/ul_names.h; the directory-name forms, which only the
// codecs build, are declared here.
//
// Lists are circular doubly linked rings: a head {links, count} and entries
// that begin with the same links. An empty ring's links point at its head.
#pragma once

#include <cstdint>

#include "src/asn1/ber_external.h"
#include "src/asn1/ber_values.h"
#include "src/asn1/decode_tree.h"
#include "src/runtime/ul_names.h"

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
