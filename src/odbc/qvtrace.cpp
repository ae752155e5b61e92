// The records of the calls the numbered dispatch runs, written from the
// call's argument words on the connection's execution context: there the
// client's diagnostics of the connection are the calling thread's, so the
// exit record lists them in either threading mode.
#include "src/odbc/dispatch.h"
#include "src/odbc/qvprnt.h"

namespace {

using W = const uint64_t*;

template <class T>
T P(W w, int32_t i) {
  return reinterpret_cast<T>(static_cast<uintptr_t>(w[i]));
}
template <class T>
T S(W w, int32_t i) {
  return *reinterpret_cast<const T*>(static_cast<uintptr_t>(w[i]));
}

using Wc = SQLWCHAR*;
using Sm = SQLSMALLINT;
using Us = SQLUSMALLINT;

}  // namespace

void QvTraceDispatched(int phase, int32_t number, int16_t rc, const uint64_t* w) {
  if (w == nullptr) return;
  const SQLRETURN r = rc;
  switch (number) {
    case QV_FN_ALLOCSTMT: QVPrntSQLAllocStmt(phase, r, P<SQLHDBC>(w, 0), P<SQLHSTMT*>(w, 1)); break;
    case QV_FN_BINDCOL:
      QVPrntSQLBindCol(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), S<Sm>(w, 2), P<SQLPOINTER>(w, 3), S<SQLLEN>(w, 4),
                       P<SQLLEN*>(w, 5));
      break;
    case QV_FN_CANCEL: QVPrntSQLCancel(phase, r, P<SQLHSTMT>(w, 0)); break;
    case QV_FN_COLATTRIBUTES:
      QVPrntSQLColAttributesW(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), S<Us>(w, 2), P<SQLPOINTER>(w, 3), S<Sm>(w, 4),
                              P<Sm*>(w, 5), P<SQLLEN*>(w, 6));
      break;
    case QV_FN_CONNECT:
      QVPrntSQLConnectW(phase, r, P<SQLHDBC>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4), P<Wc>(w, 5),
                        S<Sm>(w, 6));
      break;
    case QV_FN_DESCRIBECOL:
      QVPrntSQLDescribeColW(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), P<Wc>(w, 2), S<Sm>(w, 3), P<Sm*>(w, 4),
                            P<Sm*>(w, 5), P<SQLULEN*>(w, 6), P<Sm*>(w, 7), P<Sm*>(w, 8));
      break;
    case QV_FN_DISCONNECT: QVPrntSQLDisconnect(phase, r, P<SQLHDBC>(w, 0)); break;
    case QV_FN_ERROR:
      QVPrntSQLErrorW(phase, r, P<SQLHENV>(w, 0), P<SQLHDBC>(w, 1), P<SQLHSTMT>(w, 2), P<Wc>(w, 3),
                      P<SQLINTEGER*>(w, 4), P<Wc>(w, 5), S<Sm>(w, 6), P<Sm*>(w, 7));
      break;
    case QV_FN_EXECDIRECT:
      QVPrntSQLExecDirectW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<SQLINTEGER>(w, 2));
      break;
    case QV_FN_EXECUTE: QVPrntSQLExecute(phase, r, P<SQLHSTMT>(w, 0)); break;
    case QV_FN_FETCH: QVPrntSQLFetch(phase, r, P<SQLHSTMT>(w, 0)); break;
    case QV_FN_FREESTMT: QVPrntSQLFreeStmt(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1)); break;
    case QV_FN_GETCURSORNAME:
      QVPrntSQLGetCursorName(phase, r, P<SQLHSTMT>(w, 0), P<SQLCHAR*>(w, 1), S<Sm>(w, 2), P<Sm*>(w, 3));
      break;
    case QV_FN_NUMRESULTCOLS: QVPrntSQLNumResultCols(phase, r, P<SQLHSTMT>(w, 0), P<Sm*>(w, 1)); break;
    case QV_FN_PREPARE: QVPrntSQLPrepareW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<SQLINTEGER>(w, 2)); break;
    case QV_FN_ROWCOUNT: QVPrntSQLRowCount(phase, r, P<SQLHSTMT>(w, 0), P<SQLLEN*>(w, 1)); break;
    case QV_FN_SETCURSORNAME:
      QVPrntSQLSetCursorName(phase, r, P<SQLHSTMT>(w, 0), P<SQLCHAR*>(w, 1), S<Sm>(w, 2));
      break;
    case QV_FN_TRANSACT: QVPrntSQLTransact(phase, r, P<SQLHENV>(w, 0), P<SQLHDBC>(w, 1), S<Us>(w, 2)); break;
    case QV_FN_COLUMNS:
      QVPrntSQLColumnsW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4), P<Wc>(w, 5),
                        S<Sm>(w, 6), P<Wc>(w, 7), S<Sm>(w, 8));
      break;
    case QV_FN_GETCONNECTOPTION:
      QVPrntSQLGetConnectOption(phase, r, P<SQLHDBC>(w, 0), S<Us>(w, 1), P<SQLPOINTER>(w, 2));
      break;
    case QV_FN_GETDATA:
      QVPrntSQLGetData(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), S<Sm>(w, 2), P<SQLPOINTER>(w, 3), S<SQLLEN>(w, 4),
                       P<SQLLEN*>(w, 5));
      break;
    case QV_FN_GETFUNCTIONS:
      QVPrntSQLGetFunctions(phase, r, P<SQLHDBC>(w, 0), S<Us>(w, 1), P<Us*>(w, 2));
      break;
    case QV_FN_GETINFO:
      QVPrntSQLGetInfo(phase, r, P<SQLHDBC>(w, 0), S<Us>(w, 1), P<SQLPOINTER>(w, 2), S<Sm>(w, 3), P<Sm*>(w, 4));
      break;
    case QV_FN_GETSTMTOPTION:
      QVPrntSQLGetStmtOption(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), P<SQLPOINTER>(w, 2));
      break;
    case QV_FN_GETTYPEINFO: QVPrntSQLGetTypeInfoW(phase, r, P<SQLHSTMT>(w, 0), S<Sm>(w, 1)); break;
    case QV_FN_PARAMDATA: QVPrntSQLParamData(phase, r, P<SQLHSTMT>(w, 0), P<SQLPOINTER*>(w, 1)); break;
    case QV_FN_PUTDATA: QVPrntSQLPutData(phase, r, P<SQLHSTMT>(w, 0), P<SQLPOINTER>(w, 1), S<SQLLEN>(w, 2)); break;
    case QV_FN_SETCONNECTOPTION:
      QVPrntSQLSetConnectOption(phase, r, P<SQLHDBC>(w, 0), S<Us>(w, 1), S<SQLULEN>(w, 2));
      break;
    case QV_FN_SETSTMTOPTION:
      QVPrntSQLSetStmtOption(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), S<SQLULEN>(w, 2));
      break;
    case QV_FN_SPECIALCOLUMNS:
      QVPrntSQLSpecialColumnsW(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), P<Wc>(w, 2), S<Sm>(w, 3), P<Wc>(w, 4),
                               S<Sm>(w, 5), P<Wc>(w, 6), S<Sm>(w, 7), S<Us>(w, 8), S<Us>(w, 9));
      break;
    case QV_FN_STATISTICS:
      QVPrntSQLStatisticsW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4),
                           P<Wc>(w, 5), S<Sm>(w, 6), S<Us>(w, 7), S<Us>(w, 8));
      break;
    case QV_FN_TABLES:
      QVPrntSQLTablesW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4), P<Wc>(w, 5),
                       S<Sm>(w, 6), P<Wc>(w, 7), S<Sm>(w, 8));
      break;
    case QV_FN_DRIVERCONNECT:
      QVPrntSQLDriverConnectW(phase, r, P<SQLHDBC>(w, 0), P<SQLHWND>(w, 1), P<Wc>(w, 2), S<Sm>(w, 3), P<Wc>(w, 4),
                              S<Sm>(w, 5), P<Sm*>(w, 6), S<Us>(w, 7));
      break;
    case QV_FN_DESCRIBEPARAM:
      QVPrntSQLDescribeParam(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), P<Sm*>(w, 2), P<SQLULEN*>(w, 3), P<Sm*>(w, 4),
                             P<Sm*>(w, 5));
      break;
    case QV_FN_FOREIGNKEYS:
      QVPrntSQLForeignKeysW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4),
                            P<Wc>(w, 5), S<Sm>(w, 6), P<Wc>(w, 7), S<Sm>(w, 8), P<Wc>(w, 9), S<Sm>(w, 10),
                            P<Wc>(w, 11), S<Sm>(w, 12));
      break;
    case QV_FN_NUMPARAMS: QVPrntSQLNumParams(phase, r, P<SQLHSTMT>(w, 0), P<Sm*>(w, 1)); break;
    case QV_FN_PRIMARYKEYS:
      QVPrntSQLPrimaryKeysW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4),
                            P<Wc>(w, 5), S<Sm>(w, 6));
      break;
    case QV_FN_PROCEDURECOLUMNS:
      QVPrntSQLProcedureColumnsW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4),
                                 P<Wc>(w, 5), S<Sm>(w, 6), P<Wc>(w, 7), S<Sm>(w, 8));
      break;
    case QV_FN_PROCEDURES:
      QVPrntSQLProceduresW(phase, r, P<SQLHSTMT>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4),
                           P<Wc>(w, 5), S<Sm>(w, 6));
      break;
    case QV_FN_BINDPARAMETER:
      QVPrntSQLBindParameter(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), S<Sm>(w, 2), S<Sm>(w, 3), S<Sm>(w, 4),
                             S<SQLULEN>(w, 5), S<Sm>(w, 6), P<SQLPOINTER>(w, 7), S<SQLLEN>(w, 8), P<SQLLEN*>(w, 9));
      break;
    case QV_FN_MORERESULTS: QVPrntSQLMoreResults(phase, r, P<SQLHSTMT>(w, 0)); break;
    case QV_FN_EXTENDEDFETCH:
      QVPrntSQLExtendedFetch(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), S<SQLLEN>(w, 2), P<SQLULEN*>(w, 3),
                             P<Us*>(w, 4));
      break;
    case QV_FN_BROWSECONNECT:
      QVPrntSQLBrowseConnectW(phase, r, P<SQLHDBC>(w, 0), P<Wc>(w, 1), S<Sm>(w, 2), P<Wc>(w, 3), S<Sm>(w, 4),
                              P<Sm*>(w, 5));
      break;
    case QV_FN_STARTTRANSACTION: QVPrntSQLStartTransaction(phase, r, P<SQLHDBC>(w, 0)); break;
    case QV_FN_PARAMATTRIBUTES:
      // Words: statement, parameter, descriptor type, size of the character
      // buffer, a length and a 16-bit value the call does not use, the
      // character buffer and the numeric value out. There is no word for
      // the length of the character output (the call writes none).
      QVPrntSQLParamAttributes(phase, r, P<SQLHSTMT>(w, 0), S<Us>(w, 1), S<Sm>(w, 2), P<SQLPOINTER>(w, 6), S<Sm>(w, 3),
                               nullptr, P<SQLLEN*>(w, 7));
      break;
    default:
      // The free connection is traced by its export in both modes.
      break;
  }
}
