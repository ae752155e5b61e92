// The connection side of the JNI bridge: the natives of jdbc.sql.cli.qvcli
// (one object per JDBC connection), the field IDs of that class, its error
// and warning path, and the local-transaction bookkeeping the statement
// natives ask of it.
#pragma once

#include <jni.h>

#include <cstdint>

#include "src/jdbc/qvjni.h"

// Fields of a qvcli object (0 / false while the IDs are not known).
SQLHENV QvjCliEnv(JNIEnv* env, jobject cli);
SQLHDBC QvjCliDbc(JNIEnv* env, jobject cli);

// Traces and collects the diagnostics of the object's connection (with its
// environment) at `level`; see QvjReadDiagnostics.
void logErrorMsg(JNIEnv* env, jobject obj, const char* name, SQLRETURN rc, QvjDiag* out, uint64_t level);
// The diagnostics thrown as a qvcliexception.
void QvCheckError(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name);
// The diagnostics chained as a qvcliwarning.
void QvCheckWarning(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name);
// The adapter's test of a return code on a qvcli native: true for success
// (a warning chained for 1), false after the error path threw or when the
// Java half raised an exception of its own while taking the warning.
bool QvCheckResult(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name);

// Marks the start of a local transaction on the statement's connection when
// autocommit is off (no ODBC call: the lower layers begin it with the first
// statement). False when asking for autocommit failed: its exception is
// pending and the statement must not run.
bool CondStartLocalTran(JNIEnv* env, jobject stmt, jobject cli);
