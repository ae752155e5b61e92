// The statement side of the JNI bridge: the natives of jdbc.sql.cli.qvclistmt
// (one object per JDBC statement, also its result set and the result set's
// metadata) and the statement side's error and warning path.
#pragma once

#include <jni.h>

#include <cstdint>

#include "src/jdbc/qvjni.h"

// Traces and collects the diagnostics of the object's statement (with its
// connection) at `level`: records are read only when both handles are set.
void logErrorMsgStmt(JNIEnv* env, jobject obj, const char* name, SQLRETURN rc, QvjDiag* out, uint64_t level);
// The diagnostics thrown as a qvcliexception.
void QvCheckErrorStmt(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name);
// The diagnostics chained as a qvcliwarning on the statement object.
void QvCheckWarningStmt(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name);
// The adapter's test of a return code on a qvclistmt native (see
// QvCheckResult).
bool QvCheckResultStmt(JNIEnv* env, jobject obj, SQLRETURN rc, const char* name);
