#include "src/presentation/preencoded.h"

uint32_t rtp_testForPreEncoded = 0;
