#include "src/rdaclient/runmode.h"

int32_t gQVRunMode = 0;
