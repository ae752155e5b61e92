/* An ODBC application on a driver manager's library: it connects through
 * the driver manager as applications do and prints what it gets, one
 * finding a line. Texts on the command line and in the output are UTF-8;
 * the wide calls use the driver manager's own wide form (APP_WIDE_UNIT
 * bytes a character).
 *
 *   odbc_client threads N DSN UID PWD    N threads, each with a connection
 *                                        of its own, connect and disconnect
 *                                        at once
 *   odbc_client driverconnectw STRING    SQLDriverConnectW, then disconnect
 *   odbc_client connectw DSN UID PWD     SQLConnectW, then disconnect
 *   odbc_client execw DSN UID PWD SQL... SQLConnectW, then each text by
 *                                        SQLExecDirectW: its result, the
 *                                        columns by SQLDescribeColW, every
 *                                        row by SQLGetData SQL_C_WCHAR,
 *                                        and the further result sets
 *   odbc_client callw DSN UID PWD N SQL... as execw; the last text is a call
 *                                        with three parameters: N in, an
 *                                        integer and a wide text out, shown
 *                                        after its result sets
 *   odbc_client catalogw DSN UID PWD T   SQLConnectW, what SQLGetFunctions
 *                                        says of SQLMoreResults and
 *                                        SQLExecDirect, then the catalog
 *                                        calls' results in wide form: the
 *                                        tables, T's columns, primary key,
 *                                        keys referring to it and indexes,
 *                                        the procedures and the types
 *
 * A failed call is followed by its diagnostics ("diag STATE NATIVE TEXT").
 * The exit status is 0 when every connect succeeded, else 1. */
#include <locale.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#define MAX_THREADS 64
#define WIDE_MAX 2048

/* ---- UTF-8 and the driver manager's wide form ---- */

/* Code points of a UTF-8 text (invalid bytes as themselves); their count. */
static size_t decodeUtf8(const char* s, uint32_t* out, size_t max) {
  size_t n = 0;
  const unsigned char* p = (const unsigned char*)s;
  while (*p != 0 && n < max) {
    uint32_t c = *p;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra > 0) c &= 0x3F >> extra;
    ++p;
    for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i, ++p) c = (c << 6) | (*p & 0x3F);
    out[n++] = c;
  }
  return n;
}

/* A UTF-8 text in the wide form, terminated; its length in units. */
static SQLSMALLINT toWide(const char* s, SQLWCHAR* out, size_t max) {
  uint32_t cps[WIDE_MAX];
  const size_t n = decodeUtf8(s, cps, WIDE_MAX);
  size_t u = 0;
  for (size_t i = 0; i < n && u + 3 < max; ++i) {
    if (sizeof(SQLWCHAR) == 2 && cps[i] > 0xFFFF) {
      out[u++] = (SQLWCHAR)(0xD800 + ((cps[i] - 0x10000) >> 10));
      out[u++] = (SQLWCHAR)(0xDC00 + ((cps[i] - 0x10000) & 0x3FF));
    } else {
      out[u++] = (SQLWCHAR)cps[i];
    }
  }
  out[u] = 0;
  return (SQLSMALLINT)u;
}

static void putUtf8(uint32_t c) {
  if (c < 0x80) {
    putchar((int)c);
  } else if (c < 0x800) {
    putchar((int)(0xC0 | (c >> 6)));
    putchar((int)(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    putchar((int)(0xE0 | (c >> 12)));
    putchar((int)(0x80 | ((c >> 6) & 0x3F)));
    putchar((int)(0x80 | (c & 0x3F)));
  } else {
    putchar((int)(0xF0 | (c >> 18)));
    putchar((int)(0x80 | ((c >> 12) & 0x3F)));
    putchar((int)(0x80 | ((c >> 6) & 0x3F)));
    putchar((int)(0x80 | (c & 0x3F)));
  }
}

/* A terminated wide text as UTF-8 on standard output. */
static void printWide(const SQLWCHAR* w) {
  for (size_t i = 0; w[i] != 0; ++i) {
    uint32_t c = (uint32_t)w[i];
    if (sizeof(SQLWCHAR) == 2 && c >= 0xD800 && c < 0xDC00 && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + ((uint32_t)w[i + 1] - 0xDC00);
      ++i;
    }
    putUtf8(c);
  }
}

/* ---- Diagnostics ---- */

static pthread_mutex_t gOut = PTHREAD_MUTEX_INITIALIZER;

static void narrowDiagnostics(SQLHENV env, SQLHDBC dbc, const char* who) {
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR text[513];
  SQLSMALLINT length = 0;
  while (SQLError(env, dbc, SQL_NULL_HSTMT, state, &native, text, sizeof text, &length) == SQL_SUCCESS)
    printf("%s diag %s %d %s\n", who, (const char*)state, (int)native, (const char*)text);
}

static void wideDiagnostics(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  SQLWCHAR state[6];
  SQLINTEGER native = 0;
  SQLWCHAR text[513];
  SQLSMALLINT length = 0;
  SQLRETURN rc;
  while ((rc = SQLErrorW(env, dbc, stmt, state, &native, text, 513, &length)) == SQL_SUCCESS ||
         rc == SQL_SUCCESS_WITH_INFO) {
    printf("diag ");
    printWide(state);
    printf(" %d ", (int)native);
    printWide(text);
    printf("\n");
  }
}

/* ---- The commands ---- */

struct ThreadArgs {
  SQLHENV env;
  int index;
  const char* dsn;
  const char* uid;
  const char* pwd;
  int connected;
};

static void* connectOnce(void* p) {
  struct ThreadArgs* a = (struct ThreadArgs*)p;
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (SQLAllocConnect(a->env, &dbc) != SQL_SUCCESS) return NULL;
  const SQLRETURN rc = SQLConnect(dbc, (SQLCHAR*)a->dsn, SQL_NTS, (SQLCHAR*)a->uid, SQL_NTS, (SQLCHAR*)a->pwd, SQL_NTS);
  pthread_mutex_lock(&gOut);
  printf("thread %d connect %d\n", a->index, (int)rc);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    char who[32];
    snprintf(who, sizeof who, "thread %d", a->index);
    narrowDiagnostics(SQL_NULL_HENV, dbc, who);
  }
  pthread_mutex_unlock(&gOut);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    a->connected = 1;
    const SQLRETURN d = SQLDisconnect(dbc);
    pthread_mutex_lock(&gOut);
    printf("thread %d disconnect %d\n", a->index, (int)d);
    pthread_mutex_unlock(&gOut);
  }
  SQLFreeConnect(dbc);
  return NULL;
}

static int threads(SQLHENV env, int n, const char* dsn, const char* uid, const char* pwd) {
  pthread_t t[MAX_THREADS];
  struct ThreadArgs args[MAX_THREADS];
  if (n < 1 || n > MAX_THREADS) return 2;
  for (int i = 0; i < n; ++i) {
    args[i] = (struct ThreadArgs){env, i, dsn, uid, pwd, 0};
    pthread_create(&t[i], NULL, connectOnce, &args[i]);
  }
  int connected = 0;
  for (int i = 0; i < n; ++i) {
    pthread_join(t[i], NULL);
    connected += args[i].connected;
  }
  printf("connected %d of %d\n", connected, n);
  return connected == n ? 0 : 1;
}

static int finish(SQLHDBC dbc, SQLRETURN rc) {
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    wideDiagnostics(SQL_NULL_HENV, dbc, SQL_NULL_HSTMT);
    return 1;
  }
  printf("disconnect %d\n", (int)SQLDisconnect(dbc));
  return 0;
}

static int driverConnectW(SQLHDBC dbc, const char* text) {
  SQLWCHAR in[WIDE_MAX];
  SQLWCHAR out[1024];
  memset(out, 0, sizeof out);
  SQLSMALLINT outLength = -1;
  toWide(text, in, WIDE_MAX);
  const SQLRETURN rc = SQLDriverConnectW(dbc, NULL, in, SQL_NTS, out, 1024, &outLength, SQL_DRIVER_NOPROMPT);
  printf("rc %d\n", (int)rc);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    printf("out ");
    printWide(out);
    printf("\n");
  }
  return finish(dbc, rc);
}

static int connectW(SQLHDBC dbc, const char* dsn, const char* uid, const char* pwd) {
  SQLWCHAR d[256], u[256], p[256];
  toWide(dsn, d, 256);
  toWide(uid, u, 256);
  toWide(pwd, p, 256);
  const SQLRETURN rc = SQLConnectW(dbc, d, SQL_NTS, u, SQL_NTS, p, SQL_NTS);
  printf("rc %d\n", (int)rc);
  return finish(dbc, rc);
}

/* One result set: its columns and rows. */
static void printResult(SQLHSTMT stmt) {
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  printf("columns %d\n", (int)columns);
  for (SQLUSMALLINT c = 1; c <= columns; ++c) {
    SQLWCHAR name[128];
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    const SQLRETURN rc = SQLDescribeColW(stmt, c, name, 128, &nameLength, &type, &size, &digits, &nullable);
    printf("column %d rc %d ", (int)c, (int)rc);
    printWide(name);
    printf(" length %d type %d\n", (int)nameLength, (int)type);
  }
  if (columns == 0) return;
  SQLRETURN rc;
  while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      SQLWCHAR value[1024];
      SQLLEN ind = 0;
      const SQLRETURN g = SQLGetData(stmt, c, SQL_C_WCHAR, value, sizeof value, &ind);
      printf("value %d rc %d ", (int)c, (int)g);
      if (ind == SQL_NULL_DATA) {
        printf("NULL\n");
      } else {
        printWide(value);
        printf(" bytes %ld\n", (long)ind);
      }
    }
  }
  printf("fetch %d\n", (int)rc);
  if (rc != SQL_NO_DATA) wideDiagnostics(SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
}

/* The output values of a call: an integer and a wide text. */
struct CallOut {
  SQLINTEGER in;
  SQLINTEGER number;
  SQLWCHAR text[32];
  SQLLEN inInd, numberInd, textInd;
};

static int execW(SQLHDBC dbc, const char* dsn, const char* uid, const char* pwd, char** texts, int count,
                 struct CallOut* call) {
  SQLWCHAR d[256], u[256], p[256];
  toWide(dsn, d, 256);
  toWide(uid, u, 256);
  toWide(pwd, p, 256);
  const SQLRETURN connected = SQLConnectW(dbc, d, SQL_NTS, u, SQL_NTS, p, SQL_NTS);
  if (connected != SQL_SUCCESS && connected != SQL_SUCCESS_WITH_INFO) return finish(dbc, connected);
  for (int i = 0; i < count; ++i) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocStmt(dbc, &stmt);
    SQLWCHAR text[WIDE_MAX];
    toWide(texts[i], text, WIDE_MAX);
    const int calls = call != NULL && i == count - 1;
    if (calls) {
      call->inInd = sizeof call->in;
      call->numberInd = call->textInd = 0;
      memset(call->text, 0, sizeof call->text);
      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &call->in, 0, &call->inInd);
      SQLBindParameter(stmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &call->number, 0, &call->numberInd);
      SQLBindParameter(stmt, 3, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, 30, 0, call->text, sizeof call->text,
                       &call->textInd);
    }
    SQLRETURN rc = SQLExecDirectW(stmt, text, SQL_NTS);
    printf("exec %d rc %d\n", i, (int)rc);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      wideDiagnostics(SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
    } else {
      do {
        printResult(stmt);
        rc = SQLMoreResults(stmt);
        printf("more %d\n", (int)rc);
      } while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO);
      if (rc != SQL_NO_DATA) wideDiagnostics(SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
      if (calls) {
        printf("out %d bytes %ld ", (int)call->number, (long)call->numberInd);
        printWide(call->text);
        printf(" bytes %ld\n", (long)call->textInd);
      }
    }
    SQLFreeStmt(stmt, SQL_DROP);
  }
  return finish(dbc, SQL_SUCCESS);
}

static void catalogResult(const char* what, SQLHSTMT stmt, SQLRETURN rc) {
  printf("%s rc %d\n", what, (int)rc);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) wideDiagnostics(SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
  else printResult(stmt);
  SQLFreeStmt(stmt, SQL_CLOSE);
}

static int catalogW(SQLHDBC dbc, const char* dsn, const char* uid, const char* pwd, const char* table) {
  SQLWCHAR d[256], u[256], p[256], t[256], types[64];
  toWide(dsn, d, 256);
  toWide(uid, u, 256);
  toWide(pwd, p, 256);
  toWide(table, t, 256);
  toWide("TABLE,VIEW", types, 64);
  const SQLRETURN connected = SQLConnectW(dbc, d, SQL_NTS, u, SQL_NTS, p, SQL_NTS);
  if (connected != SQL_SUCCESS && connected != SQL_SUCCESS_WITH_INFO) return finish(dbc, connected);
  SQLUSMALLINT more = 9, exec = 9;
  SQLGetFunctions(dbc, SQL_API_SQLMORERESULTS, &more);
  SQLGetFunctions(dbc, SQL_API_SQLEXECDIRECT, &exec);
  printf("functions moreresults %d execdirect %d\n", (int)more, (int)exec);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(dbc, &stmt);
  catalogResult("tables", stmt, SQLTablesW(stmt, NULL, 0, NULL, 0, NULL, 0, types, SQL_NTS));
  catalogResult("columns", stmt, SQLColumnsW(stmt, NULL, 0, NULL, 0, t, SQL_NTS, NULL, 0));
  catalogResult("primarykeys", stmt, SQLPrimaryKeysW(stmt, NULL, 0, NULL, 0, t, SQL_NTS));
  catalogResult("foreignkeys", stmt, SQLForeignKeysW(stmt, NULL, 0, NULL, 0, t, SQL_NTS, NULL, 0, NULL, 0, NULL, 0));
  catalogResult("statistics", stmt, SQLStatisticsW(stmt, NULL, 0, NULL, 0, t, SQL_NTS, SQL_INDEX_ALL, SQL_QUICK));
  catalogResult("procedures", stmt, SQLProceduresW(stmt, NULL, 0, NULL, 0, NULL, 0));
  catalogResult("types", stmt, SQLGetTypeInfoW(stmt, SQL_INTEGER));
  SQLFreeStmt(stmt, SQL_DROP);
  return finish(dbc, SQL_SUCCESS);
}

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  /* Texts the driver converts between 8-bit and wide are in the locale
   * the environment names, as in any application. */
  setlocale(LC_ALL, "");
  setvbuf(stdout, NULL, _IOLBF, 0);
  SQLHENV env = SQL_NULL_HENV;
  if (SQLAllocEnv(&env) != SQL_SUCCESS) {
    printf("no environment\n");
    return 1;
  }
  int status = 2;
  if (strcmp(argv[1], "threads") == 0 && argc == 6) {
    status = threads(env, atoi(argv[2]), argv[3], argv[4], argv[5]);
  } else {
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (SQLAllocConnect(env, &dbc) != SQL_SUCCESS) {
      printf("no connection\n");
      return 1;
    }
    if (strcmp(argv[1], "driverconnectw") == 0 && argc == 3) status = driverConnectW(dbc, argv[2]);
    else if (strcmp(argv[1], "connectw") == 0 && argc == 5) status = connectW(dbc, argv[2], argv[3], argv[4]);
    else if (strcmp(argv[1], "execw") == 0 && argc >= 6)
      status = execW(dbc, argv[2], argv[3], argv[4], argv + 5, argc - 5, NULL);
    else if (strcmp(argv[1], "callw") == 0 && argc >= 7) {
      struct CallOut call = {atoi(argv[5]), 0, {0}, 0, 0, 0};
      status = execW(dbc, argv[2], argv[3], argv[4], argv + 6, argc - 6, &call);
    }
    else if (strcmp(argv[1], "catalogw") == 0 && argc == 6)
      status = catalogW(dbc, argv[2], argv[3], argv[4], argv[5]);
    SQLFreeConnect(dbc);
  }
  SQLFreeEnv(env);
  return status;
}
