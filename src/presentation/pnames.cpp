#include "src/presentation/pnames.h"

const char* const p_names[kPNamesCount] = {
    "???",          "???",          "ACTD.req",     "ACTD.rsp",     "ACTE.req",     "ACTE.rsp",
    "ACTI.req",     "ACTI.rsp",     "ACTR.req",     "ACTS.req",     "CAPDTA.req",   "CAPDTA.rsp",
    "CGV.req",      "UEXRPT.req",   "CONN.req",     "CONN.+rsp",    "CONN.-rsp",    "DTA.req",
    "XDTA.req",     "RCV.req",      "TOKGV.req",    "TOKPLS.req",   "UABRT.req",    "RLSE.req",
    "RLSE.+rsp",    "RLSE.-rsp",    "RSYNC(A).req", "RSYNC(R).req", "RSYNC(S).req", "RSYNC.rsp",
    "SYNCMAJ.req",  "SYNCMAJ.rsp",  "SYNCMIN.req",  "SYNCMIN.rsp",  "TDTA.req",     "ALTCTX.req",
    "ALTCTX.rsp",
    // 37-75: session-side events inside the layer.
    "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???",
    "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???",
    "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???", "???",
    // 76-113: indications and confirms to the user.
    "ACTD.ind",     "ACTD.cnf",     "ACTE.ind",     "ACTE.cnf",     "ACTI.ind",     "ACTI.cnf",
    "ACTR.ind",     "ACTR.cnf",     "CAPDTA.ind",   "CAPDTA.cnf",   "CGV.ind",      "PEXRPT.ind",
    "UEXRPT.ind",   "CONN.ind",     "CONN.+cnf",    "CONN.-cnf",    "DTA.ind",      "DTA.cnf",
    "FLOWC.ind",    "XDTA.ind",     "TOKGV.ind",    "TOKPLS.ind",   "PABRT.ind",    "UABRT.ind",
    "SABRT.ind",    "PDABRT.ind",   "RLSE.ind",     "RLSE.+cnf",    "RLSE.-cnf",    "RSYNC.ind",
    "RSYNC.cnf",    "SYNCMAJ.ind",  "SYNCMAJ.cnf",  "SYNCMIN.ind",  "SYNCMIN.cnf",  "TDTA.ind",
    "ALTCTX.cnf",   "ALTCTX.ind",
};
