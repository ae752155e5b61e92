// The ODBC headers of the driver manager, with SQLWCHAR as the library's
// own 4-byte wchar_t: the W bodies behind the exports work in that form
// (the exports convert where the driver manager's form differs, odbcwide.h).
#pragma once

#ifndef SQL_WCHART_CONVERT
#define SQL_WCHART_CONVERT
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

static_assert(sizeof(SQLWCHAR) == 4, "the library's wide text is 4-byte wchar_t");
static_assert(sizeof(SQLLEN) == 8 && sizeof(SQLULEN) == 8, "64-bit lengths");
