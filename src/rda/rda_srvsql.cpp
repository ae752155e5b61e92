// Rules of the SQL specialization in the server role, and the policy hooks
// they consult.
#include "src/rda/rda_oid.h"
#include "src/rda/rda_srvrules.h"

// ---------------------------------------------------------------------------
// Hooks. Minimal version: the service user's configuration keeps these
// tables; they stand here until it is built.

int32_t rda_surCntlSvcAuth(const ObjIdV*, const RDADlgIDClientInvoc*, const OctStgV*, const RDAAuthData*,
                           const RDAAuthData*) {
  return 1;
}
int32_t rda_surIsSQLConformLevelValid(const ObjIdV*, const ObjIdV*) { return 1; }
int32_t rda_surIsSQLAccessControlValid(const ObjIdV*, const RDAAccessCntlData*, const char*, const char*) { return 1; }
int32_t rda_surIsSQLHostIdValid(const ObjIdV*, const RDASQLDBLStmt*) { return 1; }
int32_t rda_surIsSQLUsageModeValid(const ObjIdV*, uint32_t, const RDASQLDBLStmt*) { return 1; }
int32_t rda_surIsSQLTransStmt(const ObjIdV*, const RDASQLDBLStmt*) { return 0; }
int32_t rda_surIsSchemaStmt(const ObjIdV*, const RDASQLDBLStmt*) { return 1; }

RdaSurUserAuthTbl RDA_surUserAuth = {rda_surCntlSvcAuth};
RdaSurSQLRulesTbl RDA_surSQLRulesTable = {rda_surIsSQLConformLevelValid, rda_surIsSQLAccessControlValid,
                                          rda_surIsSQLHostIdValid,       rda_surIsSQLUsageModeValid,
                                          rda_surIsSQLTransStmt,         rda_surIsSchemaStmt};

bool rda_srvIsXopen(const ACB* acb) {
  return acb != nullptr && ul_objidvcmp(&acb->appContext, rda_xopenAppCtxName) != 0;
}
