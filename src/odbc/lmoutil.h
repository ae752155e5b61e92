// Small helpers of the ODBC layer: the ring lists its records are kept on,
// the memory blocks behind them, the checks of the C and SQL type codes that
// SQLBindParameter applies and the byte length of a parameter value.
#pragma once

#include <cstddef>
#include <cstdint>

// Links of a ring through its head: an empty ring's head points at itself
// (a zero-filled head counts as empty too).
struct LmoLink {
  LmoLink* next;  // in a head: the oldest record
  LmoLink* prev;  // in a head: the newest record
};

bool lmoRingEmpty(const LmoLink* head);
void lmoRingAppend(LmoLink* head, LmoLink* node);
// Unlinks and returns the oldest record; NULL when the ring is empty.
LmoLink* lmoRingPopFirst(LmoLink* head);

// What every record on such a ring begins with: its links and the handle of
// the block it lives in.
struct LmoMemRecord {
  LmoLink link;
  void* memHandle;
};

// Kinds of record that QDelete frees.
inline constexpr int32_t kQDeletePlain = 0;
inline constexpr int32_t kQDeleteParams = 1;
inline constexpr int32_t kQDeleteColumns = 2;

// 0 when the C type is one the driver takes for parameters, else 1.
int32_t CheckBufType(int16_t cType);
// 0 when the SQL type is one the driver takes for parameters, else 1.
int32_t CheckSQLType(int16_t sqlType);
// The byte length of a parameter value of that C type into *lengthOut.
void GetDataLength(int16_t cType, const void* value, int64_t length, int64_t* lengthOut);

// Allocates `size` bytes (not zero-filled); the block's address goes to
// *handleOut and is returned. NULL when memory is short.
void* GAllocMem(void** handleOut, size_t size);
void QvFreeMem(void* handle);
// Empties a ring of LmoMemRecord records, freeing each one's block; kind 1
// (LmoParam) also frees each parameter's prepared value and long-data
// chunks. The driver keeps no column records of its own (the client holds
// the bindings): kind 2 frees the records alone.
void QDelete(LmoLink* head, int32_t kind);
