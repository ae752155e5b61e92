#include "src/rda/rda_trace.h"

TmHandle rda_comTMHandle = -1;
TmHandle rda_surTMHandle = -1;
TmHandle rda_aeTMHandle = -1;
TmHandle rda_saoTMHandle = -1;
TmHandle rda_sacfTMHandle = -1;
TmHandle rda_aseTMHandle = -1;
