/* An ODBC application that runs statements on a driver manager's library.
 * Each of THREADS threads connects on a connection of its own, creates its
 * table tI with a column for every C type the driver takes for parameters,
 * inserts ROWS rows through one prepared INSERT (every value made from the
 * row number), and sends a text of 1 MB through SQLPutData as SQL_C_CHAR
 * and as SQL_C_WCHAR (in pieces that split surrogate pairs) into table
 * bigI. With "read" it then reads every row back through bound columns and
 * the long texts through SQLGetData in pieces, and compares every value.
 *
 *   odbc_stmt DSN UID PWD THREADS ROWS [read]
 *
 * One line per thread ("thread I inserted N", "thread I read N") or its
 * first failure with the diagnostics; exit status 0 when every thread did
 * all of it. Wide buffers are the driver manager's SQLWCHAR. */
#include <locale.h>
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#define MAX_THREADS 16
#define BIG_CHARS (1024 * 1024)
#define PIECE_UNITS 2047 /* odd: pieces end inside pairs and characters */

static const char* gDsn;
static const char* gUid;
static const char* gPwd;
static int gRows;
static int gRead;
static pthread_mutex_t gOut = PTHREAD_MUTEX_INITIALIZER;

struct Failure {
  char text[2048];
};

static int ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

static void describe(struct Failure* f, const char* what, SQLHDBC dbc, SQLHSTMT stmt) {
  size_t used = (size_t)snprintf(f->text, sizeof f->text, "%s", what);
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR message[600];
  SQLSMALLINT length = 0;
  while (used < sizeof f->text &&
         SQLError(SQL_NULL_HENV, dbc, stmt, state, &native, message, sizeof message, &length) == SQL_SUCCESS)
    used += (size_t)snprintf(f->text + used, sizeof f->text - used, " [%s %s]", (char*)state, (char*)message);
}

/* ---- The values of row r ---- */

struct Row {
  char text[32];
  SQLINTEGER lng;
  SQLSMALLINT shrt;
  SQLREAL flt;
  SQLDOUBLE dbl;
  DATE_STRUCT date;
  TIME_STRUCT time;
  TIMESTAMP_STRUCT ts;
  unsigned char bin[4];
  SQLSCHAR tiny;
  unsigned char bit;
  SQLWCHAR wide[32];
  SQLSMALLINT sshort;
  SQLINTEGER slong;
  SQLUSMALLINT ushort;
  SQLUINTEGER ulong;
  SQLINTEGER dflt;
  char maybe[8];
};

/* The text "wé😀 <r>" in the driver manager's wide form; its length in
 * units. */
static SQLLEN wideText(int r, SQLWCHAR* out) {
  char digits[16];
  snprintf(digits, sizeof digits, "%d", r);
  SQLLEN n = 0;
  out[n++] = 'w';
  out[n++] = 0xE9;
  if (sizeof(SQLWCHAR) == 2) {
    out[n++] = 0xD83D;
    out[n++] = 0xDE00;
  } else {
    out[n++] = (SQLWCHAR)0x1F600;
  }
  out[n++] = ' ';
  for (const char* d = digits; *d != 0; ++d) out[n++] = (SQLWCHAR)*d;
  out[n] = 0;
  return n;
}

static void rowOf(int r, struct Row* v) {
  memset(v, 0, sizeof *v);
  snprintf(v->text, sizeof v->text, "row %d", r);
  v->lng = r * 7 - 3;
  v->shrt = (SQLSMALLINT)(r % 30000 - 15000);
  v->flt = (SQLREAL)(r * 0.25);
  v->dbl = r * 1.5 + 0.125;
  v->date = (DATE_STRUCT){(SQLSMALLINT)(2000 + r % 50), (SQLUSMALLINT)(r % 12 + 1), (SQLUSMALLINT)(r % 28 + 1)};
  v->time = (TIME_STRUCT){(SQLUSMALLINT)(r % 24), (SQLUSMALLINT)(r % 60), (SQLUSMALLINT)(r * 7 % 60)};
  v->ts = (TIMESTAMP_STRUCT){2001, 2, 3, (SQLUSMALLINT)(r % 24), (SQLUSMALLINT)(r % 60), (SQLUSMALLINT)(r % 60),
                             (SQLUINTEGER)(r % 1000) * 1000000u};
  v->bin[0] = (unsigned char)(r & 0xFF);
  v->bin[1] = (unsigned char)((r >> 8) & 0xFF);
  v->bin[2] = 0;
  v->bin[3] = 0xFF;
  v->tiny = (SQLSCHAR)(r % 100 - 50);
  v->bit = (unsigned char)(r % 2);
  wideText(r, v->wide);
  v->sshort = (SQLSMALLINT)(-(r % 1000));
  v->slong = -r * 3;
  v->ushort = (SQLUSMALLINT)(r % 30000);
  v->ulong = (SQLUINTEGER)r * 11u;
  v->dflt = r + 5;
  snprintf(v->maybe, sizeof v->maybe, "x");
}

/* The C and SQL type of each parameter and column after id. */
struct Column {
  SQLSMALLINT cType;
  SQLSMALLINT sqlType;
  size_t offset;
  SQLLEN size;
};
#define AT(field) offsetof(struct Row, field), (SQLLEN)sizeof(((struct Row*)0)->field)
static const struct Column kColumns[] = {
    {SQL_C_CHAR, SQL_VARCHAR, AT(text)},         {SQL_C_LONG, SQL_INTEGER, AT(lng)},
    {SQL_C_SHORT, SQL_SMALLINT, AT(shrt)},       {SQL_C_FLOAT, SQL_REAL, AT(flt)},
    {SQL_C_DOUBLE, SQL_DOUBLE, AT(dbl)},         {SQL_C_DATE, SQL_DATE, AT(date)},
    {SQL_C_TIME, SQL_TIME, AT(time)},            {SQL_C_TIMESTAMP, SQL_TIMESTAMP, AT(ts)},
    {SQL_C_BINARY, SQL_VARBINARY, AT(bin)},      {SQL_C_TINYINT, SQL_TINYINT, AT(tiny)},
    {SQL_C_BIT, SQL_BIT, AT(bit)},               {SQL_C_WCHAR, SQL_WVARCHAR, AT(wide)},
    {SQL_C_SSHORT, SQL_SMALLINT, AT(sshort)},    {SQL_C_SLONG, SQL_INTEGER, AT(slong)},
    {SQL_C_USHORT, SQL_SMALLINT, AT(ushort)},     {SQL_C_ULONG, SQL_INTEGER, AT(ulong)},
    {SQL_C_DEFAULT, SQL_INTEGER, AT(dflt)},      {SQL_C_CHAR, SQL_VARCHAR, AT(maybe)},
};
#define COLUMNS ((int)(sizeof kColumns / sizeof kColumns[0]))

static const char* kCreate =
    "(id INTEGER, c_char VARCHAR(30), c_long INTEGER, c_short SMALLINT, c_float REAL, c_double DOUBLE, c_date DATE, "
    "c_time TIME, c_ts TIMESTAMP(9), c_bin BLOB, c_tiny INTEGER, c_bit INTEGER, c_wchar NVARCHAR(30), c_sshort SMALLINT, "
    "c_slong INTEGER, c_ushort SMALLINT, c_ulong INTEGER, c_default INTEGER, c_null VARCHAR(5))";

/* The long texts: printable bytes, and "é😀ab" over and over in the wide
 * form (BIG_CHARS units). */
static char* bigNarrow(void) {
  char* t = malloc(BIG_CHARS + 1);
  for (int i = 0; i < BIG_CHARS; ++i) t[i] = (char)('a' + i % 26);
  t[BIG_CHARS] = 0;
  return t;
}
static SQLWCHAR* bigWide(SQLLEN* units) {
  SQLWCHAR* t = malloc((BIG_CHARS + 8) * sizeof(SQLWCHAR));
  SQLLEN n = 0;
  while (n < BIG_CHARS) {
    t[n++] = 0xE9;
    if (sizeof(SQLWCHAR) == 2) {
      t[n++] = 0xD83D;
      t[n++] = 0xDE00;
    } else {
      t[n++] = (SQLWCHAR)0x1F600;
    }
    t[n++] = 'a';
    t[n++] = 'b';
  }
  t[n] = 0;
  *units = n;
  return t;
}

/* ---- Writing ---- */

static int exec(SQLHDBC dbc, const char* sql, struct Failure* f) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(dbc, &stmt);
  const SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS);
  if (!ok(rc)) describe(f, sql, SQL_NULL_HDBC, stmt);
  SQLFreeStmt(stmt, SQL_DROP);
  return ok(rc);
}

static int insertRows(SQLHDBC dbc, int t, struct Failure* f) {
  char sql[256];
  snprintf(sql, sizeof sql, "INSERT INTO t%d VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", t);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(dbc, &stmt);
  if (!ok(SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS))) {
    describe(f, "prepare", SQL_NULL_HDBC, stmt);
    return 0;
  }
  struct Row v;
  SQLINTEGER id = 0;
  SQLLEN ind[COLUMNS];
  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, NULL);
  for (int c = 0; c < COLUMNS; ++c)
    SQLBindParameter(stmt, (SQLUSMALLINT)(c + 2), SQL_PARAM_INPUT, kColumns[c].cType, kColumns[c].sqlType, 30, 0,
                     (char*)&v + kColumns[c].offset, kColumns[c].size, &ind[c]);
  for (int r = 1; r <= gRows; ++r) {
    id = r;
    rowOf(r, &v);
    for (int c = 0; c < COLUMNS; ++c) ind[c] = 0;
    ind[0] = SQL_NTS;
    ind[8] = 4;
    ind[11] = SQL_NTS;
    ind[COLUMNS - 1] = r % 3 == 0 ? SQL_NULL_DATA : SQL_NTS;
    if (!ok(SQLExecute(stmt))) {
      char what[32];
      snprintf(what, sizeof what, "execute row %d", r);
      describe(f, what, SQL_NULL_HDBC, stmt);
      SQLFreeStmt(stmt, SQL_DROP);
      return 0;
    }
  }
  SQLFreeStmt(stmt, SQL_DROP);
  return 1;
}

/* The long texts through SQLPutData, in pieces of PIECE_UNITS units. */
static int insertBig(SQLHDBC dbc, int t, struct Failure* f) {
  char sql[64];
  snprintf(sql, sizeof sql, "INSERT INTO big%d VALUES (?, ?)", t);
  char* narrow = bigNarrow();
  SQLLEN wideUnits = 0;
  SQLWCHAR* wide = bigWide(&wideUnits);
  int result = 1;
  for (SQLINTEGER id = 1; id <= 2 && result; ++id) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocStmt(dbc, &stmt);
    const int isWide = id == 2;
    const SQLLEN bytes = isWide ? wideUnits * (SQLLEN)sizeof(SQLWCHAR) : BIG_CHARS;
    SQLLEN ind = SQL_LEN_DATA_AT_EXEC(bytes);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, NULL);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, isWide ? SQL_C_WCHAR : SQL_C_CHAR,
                     isWide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR, 0, 0, &ind, 0, &ind);
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS);
    SQLPOINTER token = NULL;
    if (rc == SQL_NEED_DATA) rc = SQLParamData(stmt, &token);
    if (rc == SQL_NEED_DATA) {
      const size_t unit = isWide ? sizeof(SQLWCHAR) : 1;
      const char* data = isWide ? (const char*)wide : narrow;
      const SQLLEN piece = PIECE_UNITS * (SQLLEN)unit;
      for (SQLLEN at = 0; at < bytes && ok(rc = SQL_SUCCESS); at += piece)
        if (!ok(rc = SQLPutData(stmt, (SQLPOINTER)(data + at), bytes - at < piece ? bytes - at : piece))) break;
      if (ok(rc)) rc = SQLParamData(stmt, &token);
    }
    if (!ok(rc)) {
      describe(f, isWide ? "wide long text" : "long text", SQL_NULL_HDBC, stmt);
      result = 0;
    }
    SQLFreeStmt(stmt, SQL_DROP);
  }
  free(narrow);
  free(wide);
  return result;
}

/* ---- Reading ---- */

static int sameRow(int r, const struct Row* got, const SQLLEN* ind, struct Failure* f) {
  struct Row want;
  rowOf(r, &want);
  SQLWCHAR scratch[32];
  const SQLLEN wideLength = wideText(r, scratch);
  for (int c = 0; c < COLUMNS; ++c) {
    const char* g = (const char*)got + kColumns[c].offset;
    const char* w = (const char*)&want + kColumns[c].offset;
    int same;
    if (c == COLUMNS - 1 && r % 3 == 0) same = ind[c] == SQL_NULL_DATA;
    else if (kColumns[c].cType == SQL_C_CHAR) same = strcmp(g, w) == 0;
    else if (kColumns[c].cType == SQL_C_WCHAR) same = memcmp(g, w, (size_t)(wideLength + 1) * sizeof(SQLWCHAR)) == 0;
    else same = memcmp(g, w, (size_t)kColumns[c].size) == 0;
    if (!same) {
      snprintf(f->text, sizeof f->text, "row %d column %d differs (indicator %ld)", r, c + 2, (long)ind[c]);
      return 0;
    }
  }
  return 1;
}

static int readRows(SQLHDBC dbc, int t, struct Failure* f) {
  char sql[64];
  snprintf(sql, sizeof sql, "SELECT * FROM t%d ORDER BY id", t);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(dbc, &stmt);
  struct Row v;
  SQLINTEGER id = 0;
  SQLLEN ind[COLUMNS], idInd = 0;
  SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &idInd);
  for (int c = 0; c < COLUMNS; ++c) {
    const SQLSMALLINT cType = kColumns[c].cType == SQL_C_DEFAULT ? SQL_C_LONG : kColumns[c].cType;
    SQLBindCol(stmt, (SQLUSMALLINT)(c + 2), cType, (char*)&v + kColumns[c].offset, kColumns[c].size, &ind[c]);
  }
  if (!ok(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS))) {
    describe(f, sql, SQL_NULL_HDBC, stmt);
    return 0;
  }
  int r = 0;
  SQLRETURN rc;
  while (ok(rc = SQLFetch(stmt))) {
    ++r;
    if (id != r || !sameRow(r, &v, ind, f)) {
      if (id != r) snprintf(f->text, sizeof f->text, "row %d came as %d", r, (int)id);
      SQLFreeStmt(stmt, SQL_DROP);
      return 0;
    }
  }
  if (rc != SQL_NO_DATA || r != gRows) {
    describe(f, "fetch", SQL_NULL_HDBC, stmt);
    SQLFreeStmt(stmt, SQL_DROP);
    return 0;
  }
  SQLFreeStmt(stmt, SQL_DROP);
  return 1;
}

/* The long texts back through SQLGetData in pieces of 10,000 bytes: the
 * narrow one as SQL_C_CHAR, the wide one as SQL_C_WCHAR, characters above
 * U+FFFF whole. A piece's length is what precedes its terminator. */
static int readBig(SQLHDBC dbc, int t, struct Failure* f) {
  char sql[64];
  snprintf(sql, sizeof sql, "SELECT id, v FROM big%d ORDER BY id", t);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocStmt(dbc, &stmt);
  if (!ok(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS))) {
    describe(f, sql, SQL_NULL_HDBC, stmt);
    return 0;
  }
  char* narrow = bigNarrow();
  SQLLEN wideUnits = 0;
  SQLWCHAR* wide = bigWide(&wideUnits);
  char* got = malloc((BIG_CHARS + 8) * sizeof(SQLWCHAR));
  int result = 1;
  for (int row = 1; row <= 2 && result; ++row) {
    if (!ok(SQLFetch(stmt))) {
      describe(f, "fetch of a long text", SQL_NULL_HDBC, stmt);
      result = 0;
      break;
    }
    const int isWide = row == 2;
    const SQLSMALLINT cType = isWide ? SQL_C_WCHAR : SQL_C_CHAR;
    size_t have = 0;
    SQLRETURN rc;
    SQLWCHAR piece[10000 / sizeof(SQLWCHAR)];
    SQLLEN ind = 0;
    while ((rc = SQLGetData(stmt, 2, cType, piece, sizeof piece, &ind)) != SQL_NO_DATA) {
      if (!ok(rc) || ind == SQL_NULL_DATA) break;
      size_t n = 0;
      if (isWide)
        while (n < sizeof piece / sizeof(SQLWCHAR) && piece[n] != 0) ++n;
      else
        n = strnlen((const char*)piece, sizeof piece);
      n *= isWide ? sizeof(SQLWCHAR) : 1;
      if (n == 0 || have + n > (BIG_CHARS + 8) * sizeof(SQLWCHAR)) break;
      memcpy(got + have, piece, n);
      have += n;
    }
    const void* text = isWide ? (const void*)wide : (const void*)narrow;
    const size_t want = isWide ? (size_t)wideUnits * sizeof(SQLWCHAR) : BIG_CHARS;
    if (rc != SQL_NO_DATA || have != want || memcmp(got, text, want) != 0) {
      snprintf(f->text, sizeof f->text, "long text %d: %zu bytes of %zu, last result %d", row, have, want, (int)rc);
      result = 0;
    }
  }
  free(got);
  free(narrow);
  free(wide);
  SQLFreeStmt(stmt, SQL_DROP);
  return result;
}

/* ---- Threads ---- */

struct Work {
  SQLHENV env;
  int index;
  int done;
};

static void* work(void* p) {
  struct Work* w = p;
  struct Failure f = {""};
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocConnect(w->env, &dbc);
  char sql[512];
  int stage = 0;
  if (!ok(SQLConnect(dbc, (SQLCHAR*)gDsn, SQL_NTS, (SQLCHAR*)gUid, SQL_NTS, (SQLCHAR*)gPwd, SQL_NTS))) {
    describe(&f, "connect", dbc, SQL_NULL_HSTMT);
  } else {
    snprintf(sql, sizeof sql, "CREATE TABLE t%d%s", w->index, kCreate);
    if (exec(dbc, sql, &f)) {
      snprintf(sql, sizeof sql, "CREATE TABLE big%d(id INTEGER, v TEXT)", w->index);
      if (exec(dbc, sql, &f) && insertRows(dbc, w->index, &f) && insertBig(dbc, w->index, &f)) stage = 1;
    }
    if (stage == 1) {
      pthread_mutex_lock(&gOut);
      printf("thread %d inserted %d\n", w->index, gRows);
      pthread_mutex_unlock(&gOut);
      if (!gRead) stage = 2;
      else if (readRows(dbc, w->index, &f) && readBig(dbc, w->index, &f)) stage = 2;
    }
    SQLDisconnect(dbc);
  }
  SQLFreeConnect(dbc);
  pthread_mutex_lock(&gOut);
  if (stage == 2 && gRead) printf("thread %d read %d\n", w->index, gRows);
  if (stage != 2) printf("thread %d failed: %s\n", w->index, f.text);
  pthread_mutex_unlock(&gOut);
  w->done = stage == 2;
  return NULL;
}

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  /* Texts the driver converts between 8-bit and wide are in the locale
   * the environment names, as in any application. */
  setlocale(LC_ALL, "");
  setvbuf(stdout, NULL, _IOLBF, 0);
  gDsn = argv[1];
  gUid = argv[2];
  gPwd = argv[3];
  const int threads = atoi(argv[4]);
  gRows = atoi(argv[5]);
  gRead = argc > 6 && strcmp(argv[6], "read") == 0;
  if (threads < 1 || threads > MAX_THREADS || gRows < 1) return 2;
  SQLHENV env = SQL_NULL_HENV;
  if (SQLAllocEnv(&env) != SQL_SUCCESS) {
    printf("no environment\n");
    return 1;
  }
  pthread_t t[MAX_THREADS];
  struct Work w[MAX_THREADS];
  for (int i = 0; i < threads; ++i) {
    w[i] = (struct Work){env, i, 0};
    pthread_create(&t[i], NULL, work, &w[i]);
  }
  int done = 0;
  for (int i = 0; i < threads; ++i) {
    pthread_join(t[i], NULL);
    done += w[i].done;
  }
  SQLFreeEnv(env);
  printf("done %d of %d\n", done, threads);
  return done == threads ? 0 : 1;
}
