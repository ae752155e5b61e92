// Readers of values that can be longer than the application's buffer or
// that are not plain scalars: 8-bit and wide text and the conversions
// between them, long binary values over their parts, binary values as
// hexadecimal text, variants and array columns. They keep the column's read
// position, so that one value can be delivered in pieces.
#pragma once

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
void getVariant(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
void getArray(RDA_CliHSTMT*, RDA_CliBind*, RDA_CliCol*, const void*);
