#include "src/rdaclient/rdacli_fetch.h"

#include "src/rdaclient/rdacli_handles.h"

// Minimal version: the values stay queued; their delivery into the output
// parameters comes with the fetch.
int32_t rda_cliFetchReturnVal(RDA_CliHSTMT*) { return RDA_CLI_SUCCESS; }
