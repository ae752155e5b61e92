#include "src/rdaclient/rdacli_deliver.h"

#include <cstdio>

#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_error.h"

namespace {

// Minimal version: these readers are not built yet; each refuses its pair
// as one the matrix cannot convert.
void notYet(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void*) {
  char text[64];
  std::snprintf(text, sizeof text, "Cannot convert fSQLType %d to fBufType %d", static_cast<int>(col->sqlType),
                static_cast<int>(bind->cType));
  RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_PROGRAM_TYPE, 0, text, stmt->tree);
}

}  // namespace

void getChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void getWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtWCharToChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtCharToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtNumToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtIntToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtSmallIntToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtDblToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtDateToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtTimeToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtTsToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtBitToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtTinyintToWChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void getLongVarBinary(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtLongVB2Char(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void cvrtLongVB2WChar(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void getVariant(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
void getArray(RDA_CliHSTMT* s, RDA_CliBind* b, RDA_CliCol* c, const void* d) { notYet(s, b, c, d); }
