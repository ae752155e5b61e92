#include "src/rda/rda_asx.h"

#include "src/acse/acse_apdu.h"
#include "src/acse/cvrt_apdu.h"
#include "src/acse/acse_ase.h"
#include "src/acse/flow.h"
#include "src/acse/sacf.h"
#include "src/acse/sao.h"
#include "src/acse/sur.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_ase.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_sacf.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_sur.h"

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
     RDA_sacfCvrtPpdu, AL_cvrtApdu, rda_saoInit, rda_saoTerm, RDA_SACF_ERR_BAD_APDU},
    {"X/OPEN Basic", 9, kXopenBasicArcs, 2, kXopenBasicSyntaxes, sizeof(SaoCB), kSaoTag, RDA_sacfRouteTBL,
     kSacfRouteEntries - 1, rda_saoSnd, rda_saoRcv, rda_sacfSnd, rda_sacfRcv, RDA_aeRcvIndCnf, RDA_aeSndPpdu,
     RDA_sacfCvrtPpdu, AL_cvrtApdu, rda_saoInit, rda_saoTerm, RDA_SACF_ERR_BAD_APDU},
};

// Send chain from 0 up by four, receive chain from 2 up by four; the odd
// entries lead back the other way.
const AlGiduFn routeRdaTbl[kSurRouteEntries] = {
    RDA_surSeqRules,        RDA_surOpQueHndl,       RDA_surSeqRules,        AL_surSendToAe,
    RDA_surExecRulesSnd,    RDA_surSeqRules,        RDA_surExecRulesRcv,    RDA_surSeqRules,
    RDA_surSQLExecRulesSnd, RDA_surExecRulesRcv,    RDA_surSQLExecRulesRcv, RDA_surExecRulesSnd,
    AL_surSendToAe,         RDA_surSQLExecRulesRcv, RDA_surOpQueHndl,       RDA_surSQLExecRulesSnd,
};

const SurEventHndl eventHndl[2] = {
    {kRdaIduType, routeRdaTbl, RDA_surCreateUCB, RDA_surDeleteUCB, RDA_surCreateACB, RDA_surDeleteACB},
    {0, nullptr, nullptr, nullptr, nullptr, nullptr},
};

const AlSurConf AL_surConf = {RDA_surOpQueHndl, AL_surSendToAe, rda_aeSnd,    rda_surRcv,
                              eventHndl,        kRdaSurUcbId,   kRdaSurAcbId, rda_surUcbQueue};
