// Readers of values that can be longer than the application's buffer or
// that are not plain scalars: 8-bit and wide text and the conversions
// between them, long binary values over their parts, binary values as
// hexadecimal text, variants and array columns. They keep the column's read
// position, so that one value can be delivered in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "src/rdaclient/rdacli_cvrt.h"

void getChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtWCharToChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtCharToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtNumToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtIntToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtSmallIntToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDblToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtDateToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtTimeToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtTsToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtBitToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtTinyintToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getLongVarBinary(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtLongVB2Char(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void cvrtLongVB2WChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
// A variant value: its 8-byte item type, then the value as its own type's
// SQL_C_DEFAULT conversion gives it. A buffer that cannot hold both whole
// receives nothing: 01004, and the indicator says how many bytes it takes.
void getVariant(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getArray(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);

// Wide text of any value: `printer` (a converter to 8-bit text) prints the
// value into a scratch buffer, and the text goes on as cvrtCharToWChar
// delivers it.
void cvrtXToWChar(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*, RdaCliCvrtFn printer);

// `n` bytes as two lower-case hexadecimal digits each, then a NUL: 2n + 1
// characters.
void cvrtBin2Hex(char* text, const uint8_t* bytes, size_t n);
void cvrtBin2WHex(wchar_t* text, const uint8_t* bytes, size_t n);
