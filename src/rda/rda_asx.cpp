#include "src/rda/rda_asx.h"

#include "src/acse/acse_apdu.h"
#include "src/acse/acse_ase.h"
#include "src/acse/flow.h"
#include "src/acse/sacf.h"
#include "src/acse/sao.h"
#include "src/acse/sur.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_ase.h"
#include "src/rda/rda_sacf.h"

namespace {

constexpr uint32_t kAcseArcs[] = {2, 2, 1, 0, 1};
constexpr uint32_t kRdaIsoArcs[] = {1, 0, 9579, 2, 1, 1};
constexpr uint32_t kRdaXopenArcs[] = {1, 2, 826, 0, 1050, 3, 2, 1, 1};

constexpr uint32_t kRdaBasicArcs[] = {1, 0, 9579, 2, 2, 1};
constexpr uint32_t kXopenBasicArcs[] = {1, 2, 826, 0, 1050, 3, 2, 2, 1};
// Rows of RDA_asxTBL: the ACSE with the ISO or the X/Open RDA element.
constexpr uint32_t kRdaBasicSyntaxes[] = {0, 1};
constexpr uint32_t kXopenBasicSyntaxes[] = {0, 2};

}  // namespace

const AsxEntry RDA_asxTBL[kRdaAsxRows] = {
    {5, kAcseArcs, 240, aApdu, fApdu, ac_aseSnd, ac_aseRcv, ac_aseInit, ac_aseEstab, ac_aseRel, ac_aseTerm, nullptr, 0},
    {6, kRdaIsoArcs, kRdaIduType, aRDAIdu, fRDAIdu, rda_aseSnd, rda_aseRcv, rda_aseInit, rda_aseEstab, rda_aseRel,
     rda_aseTerm, nullptr, 0},
    {9, kRdaXopenArcs, kRdaIduType, aRDAXOPENIdu, fRDAXOPENIdu, rda_aseSnd, rda_aseRcv, rda_aseInit, rda_aseEstab,
     rda_aseRel, rda_aseTerm, nullptr, 0},
};

const AlGiduFn RDA_sacfRouteTBL[kSacfRouteEntries] = {
    AL_sacfFlowRcv, RDA_sacfSeqCk, AL_sacfAseRcv, AL_sacfAseSnd,
    RDA_sacfSeqCk,  AL_sacfFlowSnd, RDA_aeRcvIndCnf, rda_aeSndPpduStep,
};

const ActxEntry RDA_actxTBL[kRdaActxRows] = {
    {"RDA Basic", 6, kRdaBasicArcs, 2, kRdaBasicSyntaxes, sizeof(SaoCB), kSaoTag, RDA_sacfRouteTBL,
     kSacfRouteEntries - 1, rda_saoSnd, rda_saoRcv, rda_sacfSnd, rda_sacfRcv, RDA_aeRcvIndCnf, RDA_aeSndPpdu,
     nullptr /* received presentation primitive to ASE GIDUs */, nullptr /* ASE GIDUs to a presentation primitive */,
     rda_saoInit, rda_saoTerm},
    {"X/OPEN Basic", 9, kXopenBasicArcs, 2, kXopenBasicSyntaxes, sizeof(SaoCB), kSaoTag, RDA_sacfRouteTBL,
     kSacfRouteEntries - 1, rda_saoSnd, rda_saoRcv, rda_sacfSnd, rda_sacfRcv, RDA_aeRcvIndCnf, RDA_aeSndPpdu,
     nullptr /* received presentation primitive to ASE GIDUs */, nullptr /* ASE GIDUs to a presentation primitive */,
     rda_saoInit, rda_saoTerm},
};

// Send chain from 0 up by four, receive chain from 2 up by four; the odd
// entries lead back the other way.
const AlGiduFn routeRdaTbl[kSurRouteEntries] = {
    nullptr /* sequencing rules */, nullptr /* operation queue */, nullptr /* sequencing rules */, AL_surSendToAe,
    nullptr /* execution rules, send */, nullptr /* sequencing rules */, nullptr /* execution rules, receive */,
    nullptr /* sequencing rules */, nullptr /* SQL execution rules, send */, nullptr /* execution rules, receive */,
    nullptr /* SQL execution rules, receive */, nullptr /* execution rules, send */, AL_surSendToAe,
    nullptr /* SQL execution rules, receive */, nullptr /* operation queue */, nullptr /* SQL execution rules, send */,
};

const SurEventHndl eventHndl[2] = {
    {kRdaIduType, routeRdaTbl, nullptr, nullptr, nullptr, nullptr},
    {0, nullptr, nullptr, nullptr, nullptr, nullptr},
};

const AlSurConf AL_surConf = {nullptr /* operation queue */, AL_surSendToAe, rda_aeSnd,
                              nullptr /* the service user's receive entry */, eventHndl, 260, 261, nullptr};
