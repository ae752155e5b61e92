#include "src/rdaclient/rdacli_param.h"

// Minimal version: no descriptions are kept; they come with the parameter
// handling.
int32_t updateParamSpec(RDA_CliHSTMT*, const RDAList*) { return 1; }
