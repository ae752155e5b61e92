// Builders of the SQL parts of RDA messages: data-type descriptors, data
// values and their lists, DBL exceptions, in the ISO family (RDASQL*) and in
// the X/Open family (RDAXOPEN*), and the list copies the DBL builders use to
// put caller arrays into a message. Everything is allocated in the XM tree
// given first, normally the tree of the message that will carry it.
//
// Failures set osi_errno 52481 (no resource) and return NULL or 0, except
// where a function says otherwise.
#pragma once

#include <cstdint>
#include <cwchar>

#include "src/asn1/rda_sql.h"

struct XmTree;

// Type codes of the data-type CHOICE (0x4000 + tag).
inline constexpr uint32_t RDA_SQLTYPE_CHAR = 0x4005;
inline constexpr uint32_t RDA_SQLTYPE_NUMERIC = 0x4006;
inline constexpr uint32_t RDA_SQLTYPE_DECIMAL = 0x4007;
inline constexpr uint32_t RDA_SQLTYPE_INTEGER = 0x4008;
inline constexpr uint32_t RDA_SQLTYPE_SMALLINT = 0x4009;
inline constexpr uint32_t RDA_SQLTYPE_FLOAT = 0x400A;
inline constexpr uint32_t RDA_SQLTYPE_REAL = 0x400B;
inline constexpr uint32_t RDA_SQLTYPE_DOUBLE = 0x400C;
inline constexpr uint32_t RDA_SQLTYPE_DATETIME = 0x400D;
inline constexpr uint32_t RDA_SQLTYPE_VARCHAR = 0x400F;
inline constexpr uint32_t RDA_SQLTYPE_BITVARYING = 0x4011;
inline constexpr uint32_t RDA_SQLTYPE_VARIANT = 0x4012;
inline constexpr uint32_t RDA_SQLTYPE_WCHAR = 0x4013;
inline constexpr uint32_t RDA_SQLTYPE_WVARCHAR = 0x4014;

// Value types of the value adders (0x4000 + tag of the value CHOICE).
inline constexpr uint32_t RDA_SQLVAL_CHAR = 0x4000;
inline constexpr uint32_t RDA_SQLVAL_NUMERIC = 0x4001;
inline constexpr uint32_t RDA_SQLVAL_DECIMAL = 0x4002;
inline constexpr uint32_t RDA_SQLVAL_INTEGER = 0x4003;
inline constexpr uint32_t RDA_SQLVAL_SMALLINT = 0x4004;
inline constexpr uint32_t RDA_SQLVAL_FLOAT = 0x4005;
inline constexpr uint32_t RDA_SQLVAL_REAL = 0x4006;
inline constexpr uint32_t RDA_SQLVAL_DOUBLE = 0x4007;
inline constexpr uint32_t RDA_SQLVAL_DATETIME = 0x4008;    // X/Open
inline constexpr uint32_t RDA_SQLVAL_VARCHAR = 0x400A;     // X/Open
inline constexpr uint32_t RDA_SQLVAL_BITVARYING = 0x400C;  // X/Open
inline constexpr uint32_t RDA_SQLVAL_WCHAR = 0x400D;       // X/Open, from wide characters
inline constexpr uint32_t RDA_SQLVAL_WVARCHAR = 0x400E;    // X/Open, from wide characters

// Longest numeric or decimal value the X/Open adder takes.
inline constexpr uint32_t RDA_XOPEN_NUMERIC_BUILD_MAX = 42;

// ---------------------------------------------------------------------------
// ISO family.

// A zero-filled descriptor: nullable 0 is carried as FALSE, any other value
// is left to the default (TRUE); a column name is copied.
RDASQLDataDescr* createSQLDescr(XmTree* tree, uint32_t nullable, const char* colName);
RDASQLDataDescr* rda_createSQLCharType(XmTree* tree, uint32_t nullable, const char* colName, const ObjIdV* charSet,
                                       int32_t length, uint32_t flag);
RDASQLDataDescr* rda_createSQLNumericType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                          int32_t second);
RDASQLDataDescr* rda_createSQLDecimalType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                          int32_t second);
RDASQLDataDescr* rda_createSQLIntegerType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                          int32_t second);
RDASQLDataDescr* rda_createSQLSmallIntType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                           int32_t second);
RDASQLDataDescr* rda_createSQLFloatType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                        int32_t second);
RDASQLDataDescr* rda_createSQLRealType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                       int32_t second);
RDASQLDataDescr* rda_createSQLDoublePrecisionType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                                  int32_t second);

// Appends one value to `list` (a ring of RDAValNode): indicator -1 is a NULL
// value (indicator only); otherwise the value of `valueType` taken from the
// argument its kind uses. 1 appended, 0 not.
int32_t rda_addSQLVal(XmTree* tree, RDAList* list, uint32_t valueType, const OctStgV* charItem, int32_t intVal,
                      int64_t longVal, const OctStgV* numericItem, int32_t indicator, double realVal);

// An exception from wide texts (NULL: left out) and a code (NULL: left out;
// 8 is carried as 100).
RDASQLDBLExcp* rda_createSQLDBLExcp(XmTree* tree, const wchar_t* sqlState, const int32_t* sqlCode,
                                    const wchar_t* errText);

// `count` rows (pointers to RDAResultVals or RDAXOPENResultVals) copied into
// nodes of `head`; a row's values move to its copy (the row's own list is
// left empty). A NULL entry stops
// the copy with 0 (rows copied so far stay in the list).
int32_t RDA_copyListOfResultVals(uint32_t count, void* const* vals, XmTree* tree, RDAList* head);
// `count` descriptor pointers (either family) put into nodes of `head`; the
// descriptors are shared, not copied.
int32_t RDA_copyListOfSDTD(uint32_t count, void* const* descrs, XmTree* tree, RDAList* head);
// A new list of copies of the ISO descriptors of `list` (names and
// character-set arcs shared); NULL without osi_errno on failure.
RDAList* RDA_dupListOfSDTD(XmTree* tree, const RDAList* list);

// Inline numeric copy of at most 8 octets: 1, or 0 (nothing copied).
int32_t ul_numericORdecimalcpy(RDAInlineOcts<RDA_NUMERIC_MAX>* dst, const OctStgV* src);
// Inline octet string copy of at most 1 octet: 1, or 0 (nothing copied).
int32_t ul_octstgcpy(OctStg* dst, const OctStg* src);

// ---------------------------------------------------------------------------
// Value lists and result rows of the DBL services (both families).

// A new empty SQLValList from the tree's page memory; NULL (52481) when none.
RDASQLValList* rda_createSQLValList(XmTree* tree);
// A new result row from the tree's page memory holding `exception` (an
// RDASQLDBLExcp* or RDAXOPENSQLDBLExcp*, may be NULL) and, when given, the
// values of `values` moved in; an RDAResultVals* or RDAXOPENResultVals*;
// NULL (52481) when none. `values` is left empty.
void* rda_createResultVal(XmTree* tree, void* exception, RDASQLValList* values);

// ---------------------------------------------------------------------------
// X/Open family.

RDAXOPENSQLDataDescr* createXOPENDescr(XmTree* tree, uint32_t nullable, const char* name);
RDAXOPENSQLDataDescr* rda_createXOPENCharType(XmTree* tree, uint32_t nullable, const char* name, const ObjIdV* charSet,
                                              int32_t length, uint32_t flag);
// `precision` NULL: no precision.
RDAXOPENSQLDataDescr* rda_createXOPENDateTimeType(XmTree* tree, uint32_t nullable, const char* name, int32_t kind,
                                                  const int32_t* precision);
RDAXOPENSQLDataDescr* rda_createXOPENNumericType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                 int32_t second);
RDAXOPENSQLDataDescr* rda_createXOPENDecimalType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                 int32_t second);
RDAXOPENSQLDataDescr* rda_createXOPENIntegerType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                 int32_t second);
RDAXOPENSQLDataDescr* rda_createXOPENSmallIntType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                  int32_t second);
RDAXOPENSQLDataDescr* rda_createXOPENFloatType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                               int32_t second);
RDAXOPENSQLDataDescr* rda_createXOPENRealType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                              int32_t second);
RDAXOPENSQLDataDescr* rda_createXOPENDoublePrecisionType(XmTree* tree, uint32_t nullable, const char* name,
                                                         int32_t first, int32_t second);
RDAXOPENSQLDataDescr* rda_createXOPENVarCharType(XmTree* tree, uint32_t nullable, const char* name,
                                                 const ObjIdV* charSet, int32_t maxLength);
RDAXOPENSQLDataDescr* rda_createXOPENBitVaryingType(XmTree* tree, uint32_t nullable, const char* name, int32_t length);
RDAXOPENSQLDataDescr* rda_createXOPENVariantType(XmTree* tree, uint32_t nullable, const char* name, int32_t length);
// Wide character types; with 8-bit characters (gCharacterMode 1) the char
// and varchar types instead.
RDAXOPENSQLDataDescr* rda_createXOPENWCharType(XmTree* tree, uint32_t nullable, const char* name, const ObjIdV* charSet,
                                               int32_t length, uint32_t flag);
RDAXOPENSQLDataDescr* rda_createXOPENWVarCharType(XmTree* tree, uint32_t nullable, const char* name,
                                                  const ObjIdV* charSet, int32_t maxLength);

// Appends one value to `list` (a ring of RDAValNode); node, value and its
// octets are one piece of the tree's page memory. A negative indicator is a
// NULL value (indicator only). `strItem` holds the octets of char, varchar
// and date-time values, and for wide char and wide varchar values `length`
// wide characters at `octets` (a wchar_t array), sent in UTF-8. 1 appended,
// 0 not; a value type outside the family is refused without osi_errno.
int32_t rda_addXOPENSQLVal(XmTree* tree, RDAList* list, uint32_t valueType, const OctStgV* strItem, int32_t intVal,
                           int64_t longVal, const OctStgV* numericItem, const BitStgV* bitItem, int32_t indicator,
                           double realVal);

// An exception with an empty diagnostics list and, when given, the
// diagnostics number.
RDAXOPENSQLDBLExcp* rda_createXOPENDBLExcp(XmTree* tree, const int32_t* value);
// Appends one diagnostics record (wide texts; `text` may be NULL). 1 or 0.
int32_t rda_addXOPENDBLExcp(XmTree* tree, RDAXOPENSQLDBLExcp* exception, const wchar_t* state,
                            const wchar_t* classOrigin, const wchar_t* subclassOrigin, const wchar_t* text);

// A bit string's first word and octet count, its octets duplicated into a
// new item of the tree: 1, or 0 when the octets cannot be had.
int32_t ul_bitsDup(XmTree* tree, BitStgV* dst, const BitStgV* src);
