#include "src/asn1/preencoded.h"

uint32_t rtp_testForPreEncoded = 0;
