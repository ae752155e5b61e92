/* An ODBC application in the driver manager's place: linked with a driver
 * manager's library (whose SQL* functions so come first in the global
 * scope), it opens the driver library itself, looks up the names given on
 * its command line, starts the driver with SQLAllocEnv and asks
 * SQLGetInfoW(NULL, SQL_DRIVER_VER) with a buffer in its own wide form
 * (APP_WIDE_UNIT bytes a character).
 *
 * Usage: odbc_loader LIBRARY NAME...   Prints one line per finding. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

typedef SQLRETURN (*AllocEnvFn)(SQLHENV*);
typedef SQLRETURN (*GetInfoFn)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  /* The driver manager in use, so that it stays linked. */
  SQLHENV dm = SQL_NULL_HENV;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &dm) == SQL_SUCCESS) SQLFreeHandle(SQL_HANDLE_ENV, dm);

  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) {
    printf("dlopen failed: %s\n", dlerror());
    return 1;
  }
  int missing = 0;
  for (int i = 2; i < argc; ++i) {
    if (dlsym(lib, argv[i]) == NULL) {
      printf("missing %s\n", argv[i]);
      ++missing;
    }
  }
  printf("found %d of %d\n", argc - 2 - missing, argc - 2);

  AllocEnvFn allocEnv = (AllocEnvFn)dlsym(lib, "SQLAllocEnv");
  GetInfoFn getInfoW = (GetInfoFn)dlsym(lib, "SQLGetInfoW");
  if (allocEnv == NULL || getInfoW == NULL) return 1;
  SQLHENV env = SQL_NULL_HENV;
  printf("SQLAllocEnv %d\n", (int)allocEnv(&env));

  unsigned char buf[256];
  memset(buf, 0xEE, sizeof buf);
  SQLSMALLINT length = -1;
  const int size = 40 * APP_WIDE_UNIT;
  const SQLRETURN rc = getInfoW(SQL_NULL_HDBC, SQL_DRIVER_VER, buf, (SQLSMALLINT)size, &length);
  printf("SQLGetInfoW %d length %d\n", (int)rc, (int)length);
  if (rc == SQL_SUCCESS && length >= 0 && length + APP_WIDE_UNIT <= size) {
    /* The text as ASCII, then whether a whole terminator follows it and the
     * bytes behind the buffer are untouched. */
    printf("text ");
    for (int i = 0; i < length; i += APP_WIDE_UNIT) {
      uint32_t c = 0;
      memcpy(&c, buf + i, APP_WIDE_UNIT);
      putchar(c < 128 ? (int)c : '?');
    }
    uint32_t end = 1;
    memcpy(&end, buf + length, APP_WIDE_UNIT);
    printf("\nterminated %s\n", end == 0 ? "yes" : "no");
    printf("guard %s\n", buf[size] == 0xEE ? "kept" : "overwritten");
  }
  /* The library stays loaded: what its start-up made lives until the
     process ends. */
  return 0;
}
