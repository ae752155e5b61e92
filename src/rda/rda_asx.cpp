#include "src/rda/rda_asx.h"

#include "src/asn1/rda_idu.h"

namespace {

constexpr uint32_t kRdaIsoArcs[] = {1, 0, 9579, 2, 1, 1};
constexpr uint32_t kRdaXopenArcs[] = {1, 2, 826, 0, 1050, 3, 2, 1, 1};

}  // namespace

const AsxEntry RDA_asxTBL[kRdaAsxRows] = {
    {6, kRdaIsoArcs, kRdaIduType, aRDAIdu, fRDAIdu},
    {9, kRdaXopenArcs, kRdaIduType, aRDAXOPENIdu, fRDAXOPENIdu},
};
