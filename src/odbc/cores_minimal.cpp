// Minimal version: the cores of fetch, cursor names and cancel (until the
// client's fetch road is there), and of the catalog road. Each checks its
// handle and answers -1 with S1C00 ("Driver not capable") on it.
#include <cstring>

#include "src/odbc/cores.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoconn.h"
#include "src/odbc/odbcwide.h"
#include "common/verinfo.h"
#include "src/runtime/gutrace.h"

namespace {

int16_t notCapable(LmoErrorList* list) {
  lmoClearErrorList(list);
  lmoAddError(list, kLmoErrNotCapable, 0, nullptr);
  return -1;
}

int16_t onStmt(LmoStmt* stmt) {
  LmoStmt* s = lmoLiveStmt(stmt);
  return s != nullptr ? notCapable(&s->errors) : -2;
}

}  // namespace

int16_t QVSQLCancel(LmoStmt* s) { return onStmt(s); }
int16_t QVSQLFetch(LmoStmt* s) { return onStmt(s); }
int16_t QVSQLGetCursorName(LmoStmt* s, char*, int16_t, int16_t*) { return onStmt(s); }
int16_t QVSQLSetCursorName(LmoStmt* s, char*, int16_t) { return onStmt(s); }

int16_t QVSQLColumnsW(LmoStmt* s, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t) {
  return onStmt(s);
}

int16_t QVSQLGetTypeInfoW(LmoStmt* s, int16_t) { return onStmt(s); }
int16_t QVSQLSpecialColumnsW(LmoStmt* s, uint16_t, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t, uint16_t,
                             uint16_t) {
  return onStmt(s);
}
int16_t QVSQLStatisticsW(LmoStmt* s, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t, uint16_t, uint16_t) {
  return onStmt(s);
}
int16_t QVSQLTablesW(LmoStmt* s, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t) {
  return onStmt(s);
}
int16_t QVSQLForeignKeysW(LmoStmt* s, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t,
                          wchar_t*, int16_t, wchar_t*, int16_t) {
  return onStmt(s);
}
int16_t QVSQLPrimaryKeysW(LmoStmt* s, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t) { return onStmt(s); }
int16_t QVSQLProcedureColumnsW(LmoStmt* s, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*,
                               int16_t) {
  return onStmt(s);
}
int16_t QVSQLProceduresW(LmoStmt* s, wchar_t*, int16_t, wchar_t*, int16_t, wchar_t*, int16_t) { return onStmt(s); }

void QvMapSqlState(LmoEnv*, wchar_t*) {}
