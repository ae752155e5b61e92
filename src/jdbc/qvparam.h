// The native records in which the values of a prepared statement's
// parameters wait for its execution (one per parameter marker, in a heap
// array whose address the Java object keeps in _sql_paramDataArray), and
// the plain operations on them that the parameter natives are built from.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>

#include "src/odbc/odbcapi.h"

// One parameter marker's record.
struct ParamData {
  int64_t sqlType;    // ODBC SQL type; 12 after setNullParam
  int64_t cType;      // ODBC C type of the buffer; 1 after setNullParam
  void* data;         // the value, or NULL
  int32_t size;       // bytes of `data`; 0 after setNullParam
  SQLLEN indicator;   // length or indicator handed to the ODBC layer
  int32_t direction;  // 0 input, 1 output
};

// Directions of a record.
inline constexpr int32_t kQvjParamInput = 0;
inline constexpr int32_t kQvjParamOutput = 1;

// Output buffers by SQL type.
inline constexpr int32_t kQvjWideOutBytes = 4100;
inline constexpr int32_t kQvjCharOutBytes = 1025;
// Characters a string parameter set from Java may have.
inline constexpr size_t kQvjParamStringChars = 1024;

// The records of `count` markers: a zero-filled array that knows its own
// length; NULL when count is not 1 to 32767 (a statement's marker count
// is a 16-bit number) or memory ran short.
ParamData* QvjNewParamArray(int64_t count);
// The number of records of an array made by QvjNewParamArray.
int64_t QvjParamCount(const ParamData* array);
// Frees the records' buffers, last to first, and the array.
void QvjFreeParamArray(ParamData* array);

// Makes record n's (from 1) buffer `size` bytes: a block of another size
// is replaced by a new zero-filled one, allocated before the old one goes,
// so that a failure (false) leaves the record as it was. Stores the SQL
// type and indicator 0.
bool allocParam(ParamData* array, int32_t n, int16_t sqlType, int32_t size);

// What setParam makes of a value.
enum class QvjParamSet { Ok, UnsupportedType, BinaryOutput, NoMemory };

// Puts a value that is already out of Java into record n (from 1): sized by
// its SQL type (qvparam.cpp), copied for an input record (`value` the C
// type's layout; a wide string with its terminator; for binary types
// `bytes` octets). A refusal leaves the record unchanged.
QvjParamSet setParam(ParamData* array, int32_t n, int16_t sqlType, int16_t cType, const void* value, size_t bytes,
                     int32_t direction);

// SQL NULL in record n (from 1): SQL type 12, C type 1, buffer size 0 (the
// buffer stays for the next allocParam), indicator -1, input.
void setNullParam(ParamData* array, int32_t n);

// The functions of the Java statement object's parameter natives
// (qvparam.cpp).
bool CheckParamIndex(JNIEnv* env, jobject obj, jint index);
// The object's records, made on first use. NULL with *failed false when
// the statement has no markers; NULL with *failed true when they cannot be
// made.
ParamData* GetParamArray(JNIEnv* env, jobject obj, bool* failed);
