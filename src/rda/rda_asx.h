// The abstract-syntax table of the RDA application entity: per application
// service element the abstract syntax it serves, the IDU type of its GIDUs
// and the BER routines of its messages. The decode routine runs inside a
// parse pass and returns the new record or NULL; the encode routine runs
// inside a format pass and returns the octets written.
//
// Minimal version: the two RDA rows (ISO and X/Open) that the RDA codecs
// serve, ended by a row of arc count 0; the ACSE row and the service
// element's send, receive and management routines come with the
// application layer.
#pragma once

#include <cstdint>

#include "src/asn1/ber_runtime.h"

inline constexpr uint32_t kRdaIduType = 200;  // IDU type of RDA GIDUs
inline constexpr int32_t kRdaAsxRows = 15;

struct AsxEntry {
  uint32_t arcCount;  // 0 ends the table
  const uint32_t* arcs;
  uint32_t aseId;  // IDU type the element handles
  AaParseFn decode;
  AaFormatFn encode;
};

extern const AsxEntry RDA_asxTBL[kRdaAsxRows];
