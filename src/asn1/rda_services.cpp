// Named parse and format functions of the service members.
#include "src/asn1/rda_services.h"

RDA_CODECS_DEF(Term_RI, RDATerm_RI, RDATerm_RI, kRdaTerm_RI, kRdaTerm_RI)
RDA_CODECS_DEF(Term_RC, RDATerm_RC, RDATerm_RC, kRdaTerm_RC, kRdaTerm_RC)
RDA_CODECS_DEF(BgnTrans_RI, RDABgnTrans_RI, RDABgnTrans_RI, kRdaBgnTrans_RI, kRdaBgnTrans_RI)
RDA_CODECS_DEF(BgnTrans_RC, RDABgnTrans_RC, RDABgnTrans_RC, kRdaBgnTrans_RC, kRdaBgnTrans_RC)
RDA_CODECS_DEF(Commit_RI, RDACommit_RI, RDACommit_RI, kRdaCommit_RI, kRdaCommit_RI)
RDA_CODECS_DEF(Commit_Result, RDACommit_Result, RDAXOPENCommit_Result, kRdaCommit_Result, kRdaXopenCommit_Result)
RDA_CODECS_DEF(Commit_RC, RDACommit_RC, RDAXOPENCommit_RC, kRdaCommit_RC, kRdaXopenCommit_RC)
RDA_CODECS_DEF(Rollback_RI, RDARollback_RI, RDARollback_RI, kRdaRollback_RI, kRdaRollback_RI)
RDA_CODECS_DEF(Rollback_RC, RDARollback_RC, RDARollback_RC, kRdaRollback_RC, kRdaRollback_RC)
