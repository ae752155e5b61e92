// Contents codecs of the universal types: INTEGER and ENUMERATED, BOOLEAN,
// BIT STRING (variable, flag word and flag array forms), OCTET STRING and the
// character strings, OBJECT IDENTIFIER, REAL, UTCTime, GeneralizedTime and
// ANY.
//
// A parse member (ber_get*) runs after its element was opened (ber_getid,
// ber_getidForVal or ber_gettype), consumes the contents and closes the
// element's level. A format member (ber_add*) writes the contents back to
// front and returns their octet count; the caller wraps them with ber_addid.
// Every failure leaves the pass through aaerror.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"

// String contents are written in pieces of this many octets.
inline constexpr uint32_t kBerSegment = 4096;

// A time value; month is 0-11, year has four digits for GeneralizedTime and
// 0-99 for UTCTime. Offsets west of UTC are stored negative.
struct BerTime {
  uint32_t sec;
  uint32_t min;
  uint32_t hour;
  uint32_t day;    // 1-31
  uint32_t month;  // 0-11
  uint32_t year;
  uint32_t msec;
  int32_t offMin;
  int32_t offHour;
  uint32_t zone;  // 1 = a zone was given
};

// A whole encoded element (identifier, length and contents).
struct BerAny {
  uint32_t length;
  uint8_t* pointer;
};

// INTEGER and ENUMERATED: at most four contents octets.
void ber_getint(int32_t* out);
void ber_getlong(int32_t* out);
int64_t ber_addint(int32_t v);
int64_t ber_addlong(int32_t v);
int64_t ber_addpos(int32_t v);
int64_t ber_addneg(int32_t v);
int64_t ber_addlpos(int32_t v);
int64_t ber_addlneg(int32_t v);

// BOOLEAN: the contents octet as read; writes 0xFF for true.
void ber_getbit(uint32_t* out);
int64_t ber_addbit(uint32_t v);

// BIT STRING.
uint32_t ber_getbitv(BitStgV* v);
int64_t ber_addbitv(BitStgV* v);
uint32_t ber_getbitw(uint32_t* w);  // first contents octet in w's low octet
int64_t ber_addbitw(uint32_t nbits, uint32_t w);
int32_t ber_getbits(int32_t max, uint32_t* flags);  // flags[i] = 255 when bit i is set
int64_t ber_addbits(uint32_t n, const uint32_t* flags);

// OCTET STRING and character strings.
uint32_t ber_getocts(uint32_t max, OctStg* v);
int64_t ber_addocts(const OctStg* v);
uint32_t ber_getoctv(OctStgV* v);
uint32_t ber_getoctv_page(OctStgV* v);
int64_t ber_addoctv(OctStgV* v);
void ber_getstg(uint32_t max, char* buf);  // buf holds max + 1 octets
char* ber_getstgv();
char* ber_getstgv_page();
int64_t ber_addstg(const char* s);
int64_t ber_addstgv(char* s);
// Segment walkers of the constructed forms.
uint8_t* getocts_cons(uint32_t* room, uint8_t* dst);
uint8_t* getoctv_cons(uint8_t* dst, const uint8_t* dstEnd);

// OBJECT IDENTIFIER.
void ber_getobj(uint32_t max, ObjId* id);
uint32_t ber_getobjv(ObjIdV* id);
int64_t ber_addobj(const ObjId* id);
int64_t ber_addobjv(ObjIdV* id);

// REAL.
void ber_getdouble(double* out);
int64_t ber_adddouble(double x);

// UTCTime and GeneralizedTime.
void ber_getutc(BerTime* t);
int64_t ber_addutc(const BerTime* t);
void ber_gettime(BerTime* t);
int64_t ber_addtime(const BerTime* t);
int64_t ber_addtim(uint32_t v);   // two digits
int64_t ber_addyear(uint32_t v);  // four digits
int64_t ber_addmsec(uint32_t v);  // three digits

// ANY: the whole next element.
uint32_t ber_getany(BerAny* a);
int64_t ber_addany(const BerAny* a);
