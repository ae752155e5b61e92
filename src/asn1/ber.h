// Everything a codec of the BER runtime uses.
#pragma once

#include "src/asn1/ber_context.h"
#include "src/asn1/ber_external.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/ber_values.h"
#include "src/asn1/decode_tree.h"
