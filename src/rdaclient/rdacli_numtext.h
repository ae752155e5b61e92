// NUMERIC and DECIMAL values received in the 8-byte form, made back into
// decimal text.
//
// The 8-byte form holds two little-endian 32-bit words, the high-order word
// first; the top bit of the high-order word is the sign, the other 63 bits
// the magnitude (sign and magnitude). A value of fewer than 8 bytes fills
// the last bytes of the field. The text is made from the magnitude and the
// column's scale (digits after the point) and checked against the column's
// precision: digits beyond it are cut from the fraction only (warning
// 01004), never from the integer part.
#pragma once

#include <cstdint>

struct RDA_CliHSTMT;

// Words of the multi-word division: four 16-bit words, least significant
// first.
inline constexpr int kRdaBigWords = 4;
// Largest scale whose text fits the numeric text area.
inline constexpr int16_t kRdaCliMaxScale = 40;

// The decimal text of `count` bytes (0..8) of the 8-byte form, in the
// calling thread's numeric text area (valid until the next conversion on
// the thread); warnings go to the statement. NULL when the value cannot be
// made into text: more than 8 bytes or a scale above 40 (error index 0,
// native 52508), or no thread record.
const char* RDA_cliCvrt8byteInt(RDA_CliHSTMT* stmt, uint32_t count, const uint8_t* bytes, int16_t scale,
                                int32_t precision);
// The decimal text of a magnitude below 2^32, without sign; NULL as above.
const char* cvrt4byteInt(RDA_CliHSTMT* stmt, uint32_t value, int16_t scale, int32_t precision);

// Unsigned division of four-word numbers: quotient and remainder. 0, or -1
// (nothing written) for a zero divisor.
int32_t bdiv(const uint16_t* dividend, const uint16_t* divisor, uint16_t* quotient, uint16_t* remainder);
// Shifts `count` words of `src` left by `bits` (below 16) into `dst`, the
// bits shifted out of each word carried into the next and `carryIn` into
// the lowest; returns the bits shifted out of the top word.
uint16_t bshift(const uint16_t* src, int bits, uint16_t* dst, uint16_t carryIn, int count);
