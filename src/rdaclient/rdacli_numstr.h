// Decimal text to the numeric wire form of a connection: a decimal digit
// string with the connection's decimal point, or the 8-byte form (sign and
// magnitude of the value times 10^scale, the high 32-bit word first, each
// word little-endian, the sign in the top bit).
#pragma once

#include <cstdint>

#include "src/runtime/ul_names.h"

struct RDA_CliHSTMT;

// Longest numeric text the converters take, and the least size of the
// buffer a numeric value record points to.
inline constexpr uint32_t kRdaCliNumericText = 42;
inline constexpr uint32_t kRdaCliNumericBuffer = kRdaCliNumericText + 1;
// Octets of the 8-byte form.
inline constexpr uint32_t kRdaCliNumeric8 = 8;
// Result of the 8-byte conversion for a value the form cannot carry.
inline constexpr int32_t RDA_CLI_NUM_OUT_OF_RANGE = -1;

// Converts `text` (narrow) in the numeric format of the statement's
// connection into `numeric` (whose octets point to kRdaCliNumericBuffer
// octets of the caller): 1, or 0 when it is refused (with 22003 on the
// statement for a value out of range). `maxPrecision` is the parameter's
// column size; `scale` holds the parameter's scale on entry and the value's
// scale on return.
int32_t RDA_cliCvrtNumStr(RDA_CliHSTMT* hstmt, const char* text, int32_t maxPrecision, OctStgV* numeric,
                          int32_t* precision, int16_t* scale, int32_t* indicator);
// The 8-byte form: 1; 0 for a text that is no decimal number; or
// RDA_CLI_NUM_OUT_OF_RANGE when its integer digits exceed `maxPrecision`
// (0: no limit) or its magnitude reaches 2^63. Fraction digits beyond
// `maxPrecision` are dropped from the end and counted in `*indicator`.
int32_t RDA_cliCvrtNumStr_8ByteNumeric(const char* text, int32_t maxPrecision, OctStgV* numeric, int32_t* precision,
                                       int16_t* scale, int32_t* indicator);

// Arithmetic on numbers of four 16-bit words, least significant first.
// The 8-word product of a and b.
void bmul(const uint16_t a[4], const uint16_t b[4], uint16_t product[8]);
// sum = a + b; the carry out of the top word.
uint16_t badd(const uint16_t a[4], const uint16_t b[4], uint16_t sum[4]);
