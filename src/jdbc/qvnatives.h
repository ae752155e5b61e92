// The JNI natives the library exports for the classes jdbc.sql.cli.qvcli and
// jdbc.sql.cli.qvclistmt, as the JVM binds them by name.
#pragma once

#include <jni.h>

#include "common/export.h"

// ---- jdbc.sql.cli.qvcli ----
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_initStaticVarsCLI(JNIEnv* env, jclass cls);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_initCLI(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_freeCLI(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_openConnectionWithProperties(JNIEnv* env, jobject obj, jstring juid,
    jstring jpwd, jstring jdsn, jstring jconn, jboolean traceGiven, jboolean traceOn, jboolean readOnly, jboolean notRead,
    jboolean queryTimeoutGiven, jint queryTimeout, jboolean loginTimeoutGiven, jint loginTimeout,
    jboolean isolationGiven, jint isolation);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_closeConnection(JNIEnv* env, jobject obj);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_nativeSql(JNIEnv* env, jobject obj, jstring jsql);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(JNIEnv* env, jobject obj, jboolean value);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_getAutoCommit(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_internalCommit(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_internalRollback(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_setReadOnly(JNIEnv* env, jobject obj, jboolean value);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_isReadOnly(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_setCatalog(JNIEnv* env, jobject obj, jstring jcatalog);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_getCatalog(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvcli_setTransactionIsolation(JNIEnv* env, jobject obj, jint level);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvcli_getTransactionIsolation(JNIEnv* env, jobject obj);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvcli_isConnected(JNIEnv* env, jobject obj);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_getSubProtocol(JNIEnv* env, jobject obj);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvcli_getTraceFileName(JNIEnv* env, jobject obj);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvcli_getTraceLevel(JNIEnv* env, jobject obj);
// ---- jdbc.sql.cli.qvclistmt ----
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_initStaticVarsCLISTMT(JNIEnv* env, jclass cls);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_createStmt(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_closeStmt(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_closeResultSet(JNIEnv* env, jobject obj);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(JNIEnv* env, jobject obj,
    jstring jsql);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getRowCount(JNIEnv* env, jobject obj);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getUpdateCount(JNIEnv* env, jobject obj);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_getMoreResults(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_cancel(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setCursorName(JNIEnv* env, jobject obj, jstring jname);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getCursorName(JNIEnv* env, jobject obj);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getMaxFieldSize(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setMaxFieldSize(JNIEnv* env, jobject obj, jint max);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getMaxRows(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setMaxRows(JNIEnv* env, jobject obj, jint max);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getQueryTimeout(JNIEnv* env, jobject obj);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setQueryTimeout(JNIEnv* env, jobject obj, jint x);
QV_EXPORT void JNICALL Java_jdbc_sql_cli_qvclistmt_setEscapeProcessing(JNIEnv* env, jobject obj, jboolean enable);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getFetchSize(JNIEnv* , jobject obj);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_next(JNIEnv* env, jobject obj);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getString(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jbyteArray JNICALL Java_jdbc_sql_cli_qvclistmt_getBytes(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getInt(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jshort JNICALL Java_jdbc_sql_cli_qvclistmt_getShort(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jfloat JNICALL Java_jdbc_sql_cli_qvclistmt_getFloat(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jdouble JNICALL Java_jdbc_sql_cli_qvclistmt_getDouble(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getDate(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getTime(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jintArray JNICALL Java_jdbc_sql_cli_qvclistmt_getTimestamp(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnCount(JNIEnv* env, jobject obj);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnType(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isAutoIncrement(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isCaseSensitive(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isSearchable(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isCurrency(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isNullable(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isSigned(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnDisplaySize(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getPrecision(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jint JNICALL Java_jdbc_sql_cli_qvclistmt_getScale(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isColReadOnly(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isWritable(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jboolean JNICALL Java_jdbc_sql_cli_qvclistmt_isDefinitelyWritable(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnLabel(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnName(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getSchemaName(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getTableName(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getCatalogName(JNIEnv* env, jobject obj, jint column);
QV_EXPORT jstring JNICALL Java_jdbc_sql_cli_qvclistmt_getColumnTypeName(JNIEnv* env, jobject obj, jint column);
