// EXTERNAL (UNIVERSAL 8): a value of another abstract syntax carried inside
// an APDU, parsed and formatted through the presentation-context entry
// points, as a single ASN.1 type ([0]), octet-aligned ([1], OCTET STRING
// contents) or arbitrary ([2], BIT STRING contents).
//
// The contents are one or more alternative groups: [direct reference],
// [indirect reference], [descriptor], encoding. While a presentation
// connection is set up an EXTERNAL may carry the value once per candidate
// transfer syntax; the reader takes the group of the transfer syntax in
// force for the context.
//
// Segmented [1] and [2] values are re-segmented in place: the writer turns
// the octets of a value just formatted into 4096-octet segments, the reader
// joins the segments into one run that the value's parse routine reads as a
// whole.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"
#include "src/runtime/ul_names.h"  // ExternalValue

struct SessionBuffer;

inline constexpr int32_t kExtMaxSegments = 31;

struct ExternalValueV {
  int32_t context;
  ObjIdV directRef;  // count 0xFFFF = absent
  char* descriptor;  // NULL = absent
  uint32_t encoding;
  uint32_t status;
  uint32_t argument;
  void* value;
};

// One recorded segment of a constructed [1] or [2] being joined.
struct StrEnv {
  int64_t length;
  uint8_t* start;
  SessionBuffer* startBuffer;
  uint8_t* end;
  SessionBuffer* endBuffer;
};
extern StrEnv strenv[kExtMaxSegments];

// Parse the contents of an opened EXTERNAL and close it; 1.
uint64_t ber_getext(ExternalValue* e);
uint64_t ber_getextv(ExternalValueV* e);
// Write the contents (the caller wraps them with ber_addid(32, 8, n)).
int64_t ber_addext(ExternalValue* e);
int64_t ber_addextv(ExternalValueV* e);

void rtp_goToCorrectEncoding(ExternalValue* e);
void rtp_goToCorrectEncodingv(ExternalValueV* e);
int64_t rtp_multiEncodingExt(ExternalValue* e);
int64_t rtp_multiEncodingExtv(ExternalValueV* e);
// The identifier of a context index.
uint32_t rtp_translateCtxId(int32_t index);

// Parse side: join a constructed [1] / [2] into one run and open a level
// over it; a primitive one is read in place.
void aaadjoct();
void aaadjbit();
int32_t ber_getoctn(int32_t count);
int32_t ber_getbitn(int32_t count, uint32_t* unused);

// Format side: the n octets just written become OCTET STRING / BIT STRING
// contents, segmented above 4096 octets.
int64_t afadjoct(int64_t n);
int64_t afadjbit(int64_t n);

// Walking the chain by (buffer, position).
SessionBuffer* findBufferFwd(const uint8_t* position);
SessionBuffer* findBufferBck(const uint8_t* position, SessionBuffer* buffer);
int32_t goToNextBuffer(SessionBuffer** buffer, uint8_t** position);
int32_t goToPrevBuffer(SessionBuffer** buffer, uint8_t** position);
// Copy n octets across buffer boundaries: forwards from the start positions,
// or backwards from the end positions; both positions advance.
void aa_copy_frwrd(uint8_t** src, SessionBuffer** srcBuf, uint8_t** dst, SessionBuffer** dstBuf, uint64_t n);
void aa_copy_bckwrd(uint8_t** src, SessionBuffer** srcBuf, uint8_t** dst, SessionBuffer** dstBuf, uint64_t n);
