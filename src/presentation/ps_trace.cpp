#include "src/presentation/ps_trace.h"

TmHandle ps_TM_handle = -1;
