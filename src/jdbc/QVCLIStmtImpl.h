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

// Fields of a qvclistmt object, for the other statement-side sources (0 or
// nothing while the IDs are not known).
SQLHDBC QvjStmtDbc(JNIEnv* env, jobject stmt);
SQLHSTMT QvjStmtHandle(JNIEnv* env, jobject stmt);
void QvjSetStmtHandle(JNIEnv* env, jobject stmt, SQLHSTMT hstmt);
jlong QvjStmtNumParams(JNIEnv* env, jobject stmt);
void QvjSetStmtNumParams(JNIEnv* env, jobject stmt, jlong count);
jlong QvjStmtParamArray(JNIEnv* env, jobject stmt);
void QvjSetStmtParamArray(JNIEnv* env, jobject stmt, jlong address);
void QvjSetParamWasNull(JNIEnv* env, jobject stmt, jlong value);
// CondStartLocalTran on the statement's _parentCli: false when its
// exception is pending.
bool QvjStmtStartLocalTran(JNIEnv* env, jobject stmt);
