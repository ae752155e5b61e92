// SQL types of the RDA messages: statements, data-type descriptors, SQL data
// values and their lists, DBL arguments, result rows and SQL exceptions, in
// the ISO family (RDA<T>, kRda<T>) and the X/Open family (RDAXOPEN<T>,
// kRdaXopen<T>). The X/Open family widens the value and type CHOICEs, adds
// three descriptor elements, makes the exception of a result row optional,
// adds the diagnostics area (SQLDiag, ExcpInfo), and takes the memory of the
// values, descriptors, value lists and result rows from the decode tree's
// page allocator. See rda_codec.h for how these descriptors are written.
#pragma once

#include "src/asn1/rda_codec.h"

// Longest inline values.
inline constexpr uint32_t RDA_NUMERIC_MAX = 8;          // ISO numeric and decimal octets
inline constexpr uint32_t RDA_XOPEN_NUMERIC_MAX = 43;   // X/Open numeric and decimal octets
inline constexpr uint32_t RDA_DATETIME_MAX = 32;        // X/Open [8] characters
inline constexpr uint32_t RDA_SHORT_TEXT_MAX = 16;      // X/Open [9], SQLDiag and ExcpInfo names

// ---------------------------------------------------------------------------
// SQLDBLStmt: SEQUENCE { [0] OCTET STRING, [1] OBJECT IDENTIFIER OPTIONAL }.

struct RDASQLDBLStmt {
  uint32_t mask;  // bit 1: [1]
  OctStgV text;
  ObjIdV charSet;
};
inline constexpr CtField kRdaSQLDBLStmtFields[] = {
    ctField(ctCtx(0), ctOctv, offsetof(RDASQLDBLStmt, text)),
    ctField(ctCtx(1), ctObjIdV, offsetof(RDASQLDBLStmt, charSet)).optional(1u << 1),
};
inline constexpr CtField kRdaXopenSQLDBLStmtFields[] = {
    ctField(ctCtx(0), ctOctvPage, offsetof(RDASQLDBLStmt, text)),
    ctField(ctCtx(1), ctObjIdV, offsetof(RDASQLDBLStmt, charSet)).optional(1u << 1),
};
inline constexpr CtSeq kRdaSQLDBLStmtSeq{kRdaSQLDBLStmtFields, offsetof(RDASQLDBLStmt, mask)};
inline constexpr CtSeq kRdaXopenSQLDBLStmtSeq{kRdaXopenSQLDBLStmtFields, offsetof(RDASQLDBLStmt, mask)};
inline constexpr CtType kRdaSQLDBLStmt = ctSeqType(kRdaSQLDBLStmtSeq, sizeof(RDASQLDBLStmt));
inline constexpr CtType kRdaXopenSQLDBLStmt = ctSeqType(kRdaXopenSQLDBLStmtSeq, sizeof(RDASQLDBLStmt));

// ---------------------------------------------------------------------------
// Data types: the CHOICE of a descriptor. The alternatives' elements are
// universal; the families share the record and differ in the alternatives.

// [5] CHARACTER, [19] wide character: charSet OPTIONAL, length, flag.
struct RDACharType {
  uint32_t mask;  // bit 0: charSet
  ObjIdV charSet;
  int32_t length;
  uint32_t flag;
};
// [6]..[12]: two INTEGERs (the second ENUMERATED for [8] and [9]).
struct RDANumType {
  int32_t first;
  int32_t second;
};
// [13] datetime: ENUMERATED, INTEGER OPTIONAL.
struct RDADateTimeType {
  uint32_t mask;  // bit 1: the INTEGER
  int32_t kind;
  int32_t precision;
};
// [14]: ENUMERATED, INTEGER, INTEGER OPTIONAL.
struct RDAIntervalType {
  uint32_t mask;  // bit 2: the last INTEGER
  int32_t kind;
  int32_t leading;
  int32_t fraction;
};
// [15] CHARACTER VARYING, [20] wide character varying: charSet OPTIONAL, maximum length.
struct RDAVarCharType {
  uint32_t mask;  // bit 0: charSet
  ObjIdV charSet;
  int32_t maxLength;
};

struct RDASQLType {
  uint32_t code;  // 0x4000 + tag
  union {
    RDACharType character;    // [5], [19]
    RDANumType number;        // [6]..[12]
    RDADateTimeType dateTime; // [13]
    RDAIntervalType interval; // [14]
    RDAVarCharType varChar;   // [15], [20]
    int32_t length;           // [16], [17], [18]
  };
};

inline constexpr CtField kRdaCharTypeFields[] = {
    ctField(ctUniv(6), ctObjIdV, offsetof(RDACharType, charSet)).optional(1u << 0),
    ctField(ctUniv(2), ctInt, offsetof(RDACharType, length)),
    ctField(ctUniv(1), ctBool, offsetof(RDACharType, flag)),
};
inline constexpr CtSeq kRdaCharTypeSeq{kRdaCharTypeFields, offsetof(RDACharType, mask)};
inline constexpr CtType kRdaCharType = ctSeqType(kRdaCharTypeSeq, sizeof(RDACharType));

inline constexpr CtField kRdaIntIntFields[] = {
    ctField(ctUniv(2), ctInt, offsetof(RDANumType, first)),
    ctField(ctUniv(2), ctInt, offsetof(RDANumType, second)),
};
inline constexpr CtSeq kRdaIntIntSeq{kRdaIntIntFields};
inline constexpr CtType kRdaIntIntType = ctSeqType(kRdaIntIntSeq, sizeof(RDANumType));

inline constexpr CtField kRdaIntEnumFields[] = {
    ctField(ctUniv(2), ctInt, offsetof(RDANumType, first)),
    ctField(ctUniv(10), ctInt, offsetof(RDANumType, second)),
};
inline constexpr CtSeq kRdaIntEnumSeq{kRdaIntEnumFields};
inline constexpr CtType kRdaIntEnumType = ctSeqType(kRdaIntEnumSeq, sizeof(RDANumType));

inline constexpr CtField kRdaDateTimeTypeFields[] = {
    ctField(ctUniv(10), ctInt, offsetof(RDADateTimeType, kind)),
    ctField(ctUniv(2), ctInt, offsetof(RDADateTimeType, precision)).optional(1u << 1),
};
inline constexpr CtSeq kRdaDateTimeTypeSeq{kRdaDateTimeTypeFields, offsetof(RDADateTimeType, mask)};
inline constexpr CtType kRdaDateTimeType = ctSeqType(kRdaDateTimeTypeSeq, sizeof(RDADateTimeType));

inline constexpr CtField kRdaIntervalTypeFields[] = {
    ctField(ctUniv(10), ctInt, offsetof(RDAIntervalType, kind)),
    ctField(ctUniv(2), ctInt, offsetof(RDAIntervalType, leading)),
    ctField(ctUniv(2), ctInt, offsetof(RDAIntervalType, fraction)).optional(1u << 2),
};
inline constexpr CtSeq kRdaIntervalTypeSeq{kRdaIntervalTypeFields, offsetof(RDAIntervalType, mask)};
inline constexpr CtType kRdaIntervalType = ctSeqType(kRdaIntervalTypeSeq, sizeof(RDAIntervalType));

inline constexpr CtField kRdaVarCharTypeFields[] = {
    ctField(ctUniv(6), ctObjIdV, offsetof(RDAVarCharType, charSet)).optional(1u << 0),
    ctField(ctUniv(2), ctInt, offsetof(RDAVarCharType, maxLength)),
};
inline constexpr CtSeq kRdaVarCharTypeSeq{kRdaVarCharTypeFields, offsetof(RDAVarCharType, mask)};
inline constexpr CtType kRdaVarCharType = ctSeqType(kRdaVarCharTypeSeq, sizeof(RDAVarCharType));

inline constexpr CtField kRdaOneIntFields[] = {ctField(ctUniv(2), ctInt, 0)};
inline constexpr CtSeq kRdaOneIntSeq{kRdaOneIntFields};
inline constexpr CtType kRdaOneIntType = ctSeqType(kRdaOneIntSeq, sizeof(int32_t));

inline constexpr CtField kRdaNullTypeFields[] = {ctField(ctUniv(5), ctNull)};
inline constexpr CtSeq kRdaNullTypeSeq{kRdaNullTypeFields};
inline constexpr CtType kRdaNullType = ctSeqType(kRdaNullTypeSeq, 0);

// Alternative [n] of the type CHOICE.
constexpr CtField rdaTypeAlt(uint16_t n) {
  switch (n) {
    case 5:
    case 19:
      return ctField(ctCtx(n), kRdaCharType, offsetof(RDASQLType, character)).constructed();
    case 8:
    case 9:
      return ctField(ctCtx(n), kRdaIntEnumType, offsetof(RDASQLType, number)).constructed();
    case 13:
      return ctField(ctCtx(n), kRdaDateTimeType, offsetof(RDASQLType, dateTime)).constructed();
    case 14:
      return ctField(ctCtx(n), kRdaIntervalType, offsetof(RDASQLType, interval)).constructed();
    case 15:
    case 20:
      return ctField(ctCtx(n), kRdaVarCharType, offsetof(RDASQLType, varChar)).constructed();
    case 16:
    case 17:
    case 18:
      return ctField(ctCtx(n), kRdaOneIntType, offsetof(RDASQLType, length)).constructed();
    case 32:
      return ctField(ctCtx(n), kRdaNullType).constructed();
    default:  // 6, 7, 10, 11, 12
      return ctField(ctCtx(n), kRdaIntIntType, offsetof(RDASQLType, number)).constructed();
  }
}

template <uint16_t... N>
struct RdaTypeChoice {
  static constexpr CtField alts[] = {rdaTypeAlt(N)...};
  static constexpr CtChoice choice{alts, offsetof(RDASQLType, code)};
  static constexpr CtType type = ctChoiceType(choice, sizeof(RDASQLType));
};
inline constexpr const CtType& kRdaSQLType = RdaTypeChoice<5, 6, 7, 8, 9, 10, 11, 12>::type;
inline constexpr const CtType& kRdaXopenSQLType =
    RdaTypeChoice<5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 32>::type;

// ---------------------------------------------------------------------------
// SQLDataTypeDescr: SEQUENCE { [0] BOOLEAN DEFAULT TRUE, [1] name OPTIONAL,
// (X/Open: [2] BOOLEAN OPTIONAL, [3] INTEGER OPTIONAL, [4] name OPTIONAL,)
// type }. A type outside the family's alternatives is error 7.

struct RDASQLDataTypeDescr {
  uint32_t mask;  // bit 0: [0] (also when defaulted); bit 1: [1]
  uint32_t nullable;
  char* colName;
  RDASQLType type;
};
struct RDAXOPENSQLDataTypeDescr {
  uint32_t mask;  // bit 0: [0] (also when defaulted); bit 1: [1]; bit 2: [2]; bit 4: [4]
  uint32_t nullable;
  char* colName;
  int32_t number;  // [3], written when not 0
  char* name;      // [4]
  RDASQLType type;
};
// The names the RDA service gives the descriptors.
using RDASQLDataDescr = RDASQLDataTypeDescr;
using RDAXOPENSQLDataDescr = RDAXOPENSQLDataTypeDescr;

// The X/Open [2] flag: only its presence is kept; it is written as TRUE.
uint32_t rdaParseFlagTrue(void* unused);
int64_t rdaFormatFlagTrue(void* unused);
inline constexpr CtCustom kRdaFlagTrueCodec{false, rdaParseFlagTrue, rdaFormatFlagTrue};
inline constexpr CtType kRdaFlagTrue = ctCustomType(kRdaFlagTrueCodec);

inline constexpr CtField kRdaSQLDataTypeDescrFields[] = {
    ctField(ctCtx(0), ctBool, offsetof(RDASQLDataTypeDescr, nullable)).byDefault(1u << 0, 1),
    ctField(ctCtx(1), ctText, offsetof(RDASQLDataTypeDescr, colName)).optional(1u << 1),
    ctField(CT_SELF, kRdaSQLType, offsetof(RDASQLDataTypeDescr, type)).missingIs(AAE_NOTINCHOICE),
};
inline constexpr CtField kRdaXopenSQLDataTypeDescrFields[] = {
    ctField(ctCtx(0), ctBool, offsetof(RDAXOPENSQLDataTypeDescr, nullable)).byDefault(1u << 0, 1),
    ctField(ctCtx(1), ctText, offsetof(RDAXOPENSQLDataTypeDescr, colName)).optional(1u << 1),
    ctField(ctCtx(2), kRdaFlagTrue).optional(1u << 2),
    ctField(ctCtx(3), ctInt, offsetof(RDAXOPENSQLDataTypeDescr, number)).whenNonZero(),
    ctField(ctCtx(4), ctText, offsetof(RDAXOPENSQLDataTypeDescr, name)).optional(1u << 4),
    ctField(CT_SELF, kRdaXopenSQLType, offsetof(RDAXOPENSQLDataTypeDescr, type)).missingIs(AAE_NOTINCHOICE),
};
inline constexpr CtSeq kRdaSQLDataTypeDescrSeq{kRdaSQLDataTypeDescrFields, offsetof(RDASQLDataTypeDescr, mask)};
inline constexpr CtSeq kRdaXopenSQLDataTypeDescrSeq{kRdaXopenSQLDataTypeDescrFields,
                                                     offsetof(RDAXOPENSQLDataTypeDescr, mask)};
inline constexpr CtType kRdaSQLDataTypeDescr = ctSeqType(kRdaSQLDataTypeDescrSeq, sizeof(RDASQLDataTypeDescr));
inline constexpr CtType kRdaXopenSQLDataTypeDescr =
    ctSeqType(kRdaXopenSQLDataTypeDescrSeq, sizeof(RDAXOPENSQLDataTypeDescr), CT_PAGE);

// ListOfSDTD: SEQUENCE OF SQLDataTypeDescr, each node pointing to its record.
struct RDADescrNode {
  UL_Link links;
  void* descr;  // RDASQLDataTypeDescr* or RDAXOPENSQLDataTypeDescr*
};
inline constexpr CtList kRdaSDTDList{ctField(ctUniv(16), kRdaSQLDataTypeDescr, offsetof(RDADescrNode, descr)).indirect(),
                                     sizeof(RDADescrNode)};
inline constexpr CtList kRdaXopenSDTDList{
    ctField(ctUniv(16), kRdaXopenSQLDataTypeDescr, offsetof(RDADescrNode, descr)).indirect(), sizeof(RDADescrNode),
    CT_PAGE};
inline constexpr CtType kRdaListOfSDTD = ctListType(kRdaSDTDList);
inline constexpr CtType kRdaXopenListOfSDTD = ctListType(kRdaXopenSDTDList);

// SQLDBLArgSpec, SQLDBLResultSpec: SEQUENCE { [0] ListOfSDTD }; the record is the list.
inline constexpr CtField kRdaSpecFields[] = {ctField(ctCtx(0), kRdaListOfSDTD, 0)};
inline constexpr CtField kRdaXopenSpecFields[] = {ctField(ctCtx(0), kRdaXopenListOfSDTD, 0)};
inline constexpr CtSeq kRdaSpecSeq{kRdaSpecFields};
inline constexpr CtSeq kRdaXopenSpecSeq{kRdaXopenSpecFields};
inline constexpr CtType kRdaSQLDBLArgSpec = ctSeqType(kRdaSpecSeq, sizeof(RDAList));
inline constexpr CtType kRdaXopenSQLDBLArgSpec = ctSeqType(kRdaXopenSpecSeq, sizeof(RDAList));
inline constexpr const CtType& kRdaSQLDBLResultSpec = kRdaSQLDBLArgSpec;
inline constexpr const CtType& kRdaXopenSQLDBLResultSpec = kRdaXopenSQLDBLArgSpec;

// ---------------------------------------------------------------------------
// SQLVal: SEQUENCE { value CHOICE OPTIONAL, [30] INTEGER OPTIONAL }. ISO reads
// [30] after any value; X/Open only when no value precedes it. A value
// alternative outside the family leaves bit 0 clear and the element over.

template <uint32_t NumMax>
struct RDAInlineOcts {
  uint32_t length;
  uint8_t octets[NumMax];
};

struct RDASQLValue {
  uint32_t code;  // 0x4000 + tag of the value alternative
  union {
    OctStgV octets;                            // [0]
    RDAInlineOcts<RDA_NUMERIC_MAX> numeric;    // [1], [2]
    int32_t integer;                           // [3], [4]
    double real;                               // [5], [6], [7]
  };
};
struct RDAXOPENSQLValue {
  uint32_t code;
  union {
    OctStgV octets;                                // [0], [10], [13], [14]
    RDAInlineOcts<RDA_XOPEN_NUMERIC_MAX> numeric;  // [1], [2]
    int32_t integer;                               // [3], [4]
    double real;                                   // [5], [6], [7]
    char dateTime[RDA_DATETIME_MAX + 1];           // [8]
    char shortText[RDA_SHORT_TEXT_MAX + 1];        // [9]
    uint32_t bits;                                 // [11], 16 bits
    BitStgV bitString;                             // [12]
    uint32_t boolean;                              // [27]
  };
};

struct RDASQLVal {
  uint32_t mask;  // bit 0: a value; bit 1: [30]
  RDASQLValue value;
  int32_t indicator;  // [30]
};
struct RDAXOPENSQLVal {
  uint32_t mask;  // bit 0: a value; bit 1: [30] (only without a value)
  RDAXOPENSQLValue value;
  int32_t indicator;
};

inline constexpr CtType kRdaNumericOcts = ctOcts(RDA_NUMERIC_MAX);
inline constexpr CtType kRdaXopenNumericOcts = ctOcts(RDA_XOPEN_NUMERIC_MAX);
inline constexpr CtType kRdaDateTimeText = ctTextBuf(RDA_DATETIME_MAX);
inline constexpr CtType kRdaShortText = ctTextBuf(RDA_SHORT_TEXT_MAX);
inline constexpr CtType kRdaBits16 = ctBitW(16);

constexpr CtField rdaValAlt(uint16_t n, const CtType& t, size_t offset) {
  return ctField(ctCtx(n), t, offset).valueProbe();
}

inline constexpr CtField kRdaSQLValueAlts[] = {
    rdaValAlt(0, ctOctv, offsetof(RDASQLValue, octets)),
    rdaValAlt(1, kRdaNumericOcts, offsetof(RDASQLValue, numeric)),
    rdaValAlt(2, kRdaNumericOcts, offsetof(RDASQLValue, numeric)),
    rdaValAlt(3, ctInt, offsetof(RDASQLValue, integer)),
    rdaValAlt(4, ctInt, offsetof(RDASQLValue, integer)),
    rdaValAlt(5, ctReal, offsetof(RDASQLValue, real)),
    rdaValAlt(6, ctReal, offsetof(RDASQLValue, real)),
    rdaValAlt(7, ctReal, offsetof(RDASQLValue, real)),
};
inline constexpr CtField kRdaXopenSQLValueAlts[] = {
    rdaValAlt(0, ctOctvPage, offsetof(RDAXOPENSQLValue, octets)),
    rdaValAlt(1, kRdaXopenNumericOcts, offsetof(RDAXOPENSQLValue, numeric)),
    rdaValAlt(2, kRdaXopenNumericOcts, offsetof(RDAXOPENSQLValue, numeric)),
    rdaValAlt(3, ctInt, offsetof(RDAXOPENSQLValue, integer)),
    rdaValAlt(4, ctInt, offsetof(RDAXOPENSQLValue, integer)),
    rdaValAlt(5, ctReal, offsetof(RDAXOPENSQLValue, real)),
    rdaValAlt(6, ctReal, offsetof(RDAXOPENSQLValue, real)),
    rdaValAlt(7, ctReal, offsetof(RDAXOPENSQLValue, real)),
    rdaValAlt(8, kRdaDateTimeText, offsetof(RDAXOPENSQLValue, dateTime)),
    rdaValAlt(9, kRdaShortText, offsetof(RDAXOPENSQLValue, shortText)),
    rdaValAlt(10, ctOctvPage, offsetof(RDAXOPENSQLValue, octets)),
    rdaValAlt(11, kRdaBits16, offsetof(RDAXOPENSQLValue, bits)),
    rdaValAlt(12, ctBitV, offsetof(RDAXOPENSQLValue, bitString)),
    rdaValAlt(13, ctOctvPage, offsetof(RDAXOPENSQLValue, octets)),
    rdaValAlt(14, ctOctvPage, offsetof(RDAXOPENSQLValue, octets)),
    rdaValAlt(27, ctBool, offsetof(RDAXOPENSQLValue, boolean)),
};
inline constexpr CtChoice kRdaSQLValueChoice{kRdaSQLValueAlts, offsetof(RDASQLValue, code)};
inline constexpr CtChoice kRdaXopenSQLValueChoice{kRdaXopenSQLValueAlts, offsetof(RDAXOPENSQLValue, code)};
inline constexpr CtType kRdaSQLValue = ctChoiceType(kRdaSQLValueChoice, sizeof(RDASQLValue));
inline constexpr CtType kRdaXopenSQLValue = ctChoiceType(kRdaXopenSQLValueChoice, sizeof(RDAXOPENSQLValue));

inline constexpr CtField kRdaSQLValFields[] = {
    ctField(CT_SELF, kRdaSQLValue, offsetof(RDASQLVal, value)).optional(1u << 0),
    ctField(ctCtx(30), ctInt, offsetof(RDASQLVal, indicator)).optional(1u << 1).valueProbe(),
};
inline constexpr CtField kRdaXopenSQLValFields[] = {
    ctField(CT_SELF, kRdaXopenSQLValue, offsetof(RDAXOPENSQLVal, value)).optional(1u << 0),
    ctField(ctCtx(30), ctInt, offsetof(RDAXOPENSQLVal, indicator)).optional(1u << 1).valueProbe().alone(),
};
inline constexpr CtSeq kRdaSQLValSeq{kRdaSQLValFields, offsetof(RDASQLVal, mask)};
inline constexpr CtSeq kRdaXopenSQLValSeq{kRdaXopenSQLValFields, offsetof(RDAXOPENSQLVal, mask)};
inline constexpr CtType kRdaSQLVal = ctSeqType(kRdaSQLValSeq, sizeof(RDASQLVal));
inline constexpr CtType kRdaXopenSQLVal = ctSeqType(kRdaXopenSQLValSeq, sizeof(RDAXOPENSQLVal), CT_PAGE);

// ListOfSQLVal: SEQUENCE OF SQLVal, each node pointing to its value.
struct RDAValNode {
  UL_Link links;
  void* val;  // RDASQLVal* or RDAXOPENSQLVal*
};
inline constexpr CtList kRdaSQLValList_{
    ctField(ctUniv(16), kRdaSQLVal, offsetof(RDAValNode, val)).indirect().valueProbe(), sizeof(RDAValNode)};
inline constexpr CtList kRdaXopenSQLValList_{
    ctField(ctUniv(16), kRdaXopenSQLVal, offsetof(RDAValNode, val)).indirect().valueProbe(), sizeof(RDAValNode),
    CT_PAGE};
inline constexpr CtType kRdaListOfSQLVal = ctListType(kRdaSQLValList_);
inline constexpr CtType kRdaXopenListOfSQLVal = ctListType(kRdaXopenSQLValList_);

// SQLValList: CHOICE { [1] ListOfSQLVal }.
struct RDASQLValList {
  uint32_t code;  // 0x4001
  RDAList values;
};
using RDAXOPENSQLValList = RDASQLValList;
inline constexpr CtField kRdaSQLValListAlts[] = {
    ctField(ctCtx(1), kRdaListOfSQLVal, offsetof(RDASQLValList, values)).valueProbe(),
};
inline constexpr CtField kRdaXopenSQLValListAlts[] = {
    ctField(ctCtx(1), kRdaXopenListOfSQLVal, offsetof(RDASQLValList, values)).valueProbe(),
};
inline constexpr CtChoice kRdaSQLValListChoice{kRdaSQLValListAlts, offsetof(RDASQLValList, code)};
inline constexpr CtChoice kRdaXopenSQLValListChoice{kRdaXopenSQLValListAlts, offsetof(RDASQLValList, code)};
inline constexpr CtType kRdaSQLValList = ctChoiceType(kRdaSQLValListChoice, sizeof(RDASQLValList));
inline constexpr CtType kRdaXopenSQLValList = ctChoiceType(kRdaXopenSQLValListChoice, sizeof(RDASQLValList));

// ListOfSDAV: SEQUENCE OF SQLValList, one row per node.
struct RDARowNode {
  UL_Link links;
  RDASQLValList row;
};
inline constexpr CtList kRdaSDAVList{ctField(CT_SELF, kRdaSQLValList, offsetof(RDARowNode, row)), sizeof(RDARowNode)};
inline constexpr CtList kRdaXopenSDAVList{ctField(CT_SELF, kRdaXopenSQLValList, offsetof(RDARowNode, row)),
                                          sizeof(RDARowNode), CT_PAGE};
inline constexpr CtType kRdaListOfSDAV = ctListType(kRdaSDAVList);
inline constexpr CtType kRdaXopenListOfSDAV = ctListType(kRdaXopenSDAVList);

// ---------------------------------------------------------------------------
// DBL arguments: single row SEQUENCE { [0] INTEGER DEFAULT 1, [1] SQLValList
// OPTIONAL } or multi row SEQUENCE { [0] ListOfSDAV }, as [1]/[2] of DBLArgs
// and InvokeDBL_Req, [4]/[5] of ExecDBL_Req.

struct RDASingleRow {
  uint32_t mask;  // bit 0: [0] (also when defaulted); bit 1: [1]
  int32_t count;
  RDASQLValList values;
};
struct RDAMultiRow {
  RDAList rows;  // nodes RDARowNode
};
struct RDADBLArgs {
  uint32_t code;  // 0x4000 + tag of the form
  union {
    RDASingleRow single;
    RDAMultiRow multi;
  };
};

inline constexpr CtField kRdaSingleRowFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDASingleRow, count)).byDefault(1u << 0, 1),
    ctField(ctCtx(1), kRdaSQLValList, offsetof(RDASingleRow, values)).explicitOver(CT_SELF).optional(1u << 1),
};
inline constexpr CtField kRdaXopenSingleRowFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDASingleRow, count)).byDefault(1u << 0, 1),
    ctField(ctCtx(1), kRdaXopenSQLValList, offsetof(RDASingleRow, values)).explicitOver(CT_SELF).optional(1u << 1),
};
inline constexpr CtSeq kRdaSingleRowSeq{kRdaSingleRowFields, offsetof(RDASingleRow, mask)};
inline constexpr CtSeq kRdaXopenSingleRowSeq{kRdaXopenSingleRowFields, offsetof(RDASingleRow, mask)};
inline constexpr CtType kRdaSingleRow = ctSeqType(kRdaSingleRowSeq, sizeof(RDASingleRow));
inline constexpr CtType kRdaXopenSingleRow = ctSeqType(kRdaXopenSingleRowSeq, sizeof(RDASingleRow));

inline constexpr CtField kRdaMultiRowFields[] = {ctField(ctCtx(0), kRdaListOfSDAV, offsetof(RDAMultiRow, rows))};
inline constexpr CtField kRdaXopenMultiRowFields[] = {
    ctField(ctCtx(0), kRdaXopenListOfSDAV, offsetof(RDAMultiRow, rows))};
inline constexpr CtSeq kRdaMultiRowSeq{kRdaMultiRowFields};
inline constexpr CtSeq kRdaXopenMultiRowSeq{kRdaXopenMultiRowFields};
inline constexpr CtType kRdaMultiRow = ctSeqType(kRdaMultiRowSeq, sizeof(RDAMultiRow));
inline constexpr CtType kRdaXopenMultiRow = ctSeqType(kRdaXopenMultiRowSeq, sizeof(RDAMultiRow));

// The argument CHOICE with the single-row form at [S] and the multi-row form at [M].
template <uint16_t S, uint16_t M, const CtType& Single, const CtType& Multi>
struct RdaArgsChoice {
  static constexpr CtField alts[] = {
      ctField(ctCtx(S), Single, offsetof(RDADBLArgs, single)).constructed(),
      ctField(ctCtx(M), Multi, offsetof(RDADBLArgs, multi)).constructed(),
  };
  static constexpr CtChoice choice{alts, offsetof(RDADBLArgs, code)};
  static constexpr CtType type = ctChoiceType(choice, sizeof(RDADBLArgs));
};
inline constexpr const CtType& kRdaDBLArgs = RdaArgsChoice<1, 2, kRdaSingleRow, kRdaMultiRow>::type;
inline constexpr const CtType& kRdaXopenDBLArgs = RdaArgsChoice<1, 2, kRdaXopenSingleRow, kRdaXopenMultiRow>::type;
inline constexpr const CtType& kRdaExecDBLArgs = RdaArgsChoice<4, 5, kRdaSingleRow, kRdaMultiRow>::type;
inline constexpr const CtType& kRdaXopenExecDBLArgs = RdaArgsChoice<4, 5, kRdaXopenSingleRow, kRdaXopenMultiRow>::type;

// ---------------------------------------------------------------------------
// Diagnostics (X/Open): ExcpInfo, ListOfExcp, SQLDiag.

inline constexpr uint32_t RDA_EXCP_NAMES = 9;  // ExcpInfo [4]..[12]

struct RDAXOPENExcpInfo {
  uint32_t mask;  // bit 3: [3]; bits 4..12: [4]..[12]
  char* returnedSQLState;  // [0]
  char* classOrigin;       // [1]
  char* subclassOrigin;    // [2]
  char* messageText;       // [3]
  char names[RDA_EXCP_NAMES][RDA_SHORT_TEXT_MAX + 1];  // [4]..[12]
};

constexpr CtField rdaExcpName(uint16_t n) {
  return ctField(ctCtx(n), kRdaShortText, offsetof(RDAXOPENExcpInfo, names) + (n - 4u) * (RDA_SHORT_TEXT_MAX + 1))
      .optional(1u << n);
}
inline constexpr CtField kRdaXopenExcpInfoFields[] = {
    ctField(ctCtx(0), ctText, offsetof(RDAXOPENExcpInfo, returnedSQLState)),
    ctField(ctCtx(1), ctText, offsetof(RDAXOPENExcpInfo, classOrigin)),
    ctField(ctCtx(2), ctText, offsetof(RDAXOPENExcpInfo, subclassOrigin)),
    ctField(ctCtx(3), ctText, offsetof(RDAXOPENExcpInfo, messageText)).optional(1u << 3),
    rdaExcpName(4), rdaExcpName(5), rdaExcpName(6), rdaExcpName(7), rdaExcpName(8),
    rdaExcpName(9), rdaExcpName(10), rdaExcpName(11), rdaExcpName(12),
};
inline constexpr CtSeq kRdaXopenExcpInfoSeq{kRdaXopenExcpInfoFields, offsetof(RDAXOPENExcpInfo, mask)};
inline constexpr CtType kRdaXopenExcpInfo = ctSeqType(kRdaXopenExcpInfoSeq, sizeof(RDAXOPENExcpInfo));

struct RDAExcpNode {
  UL_Link links;
  RDAXOPENExcpInfo info;
};
inline constexpr CtList kRdaXopenExcpList{ctField(ctUniv(16), kRdaXopenExcpInfo, offsetof(RDAExcpNode, info)),
                                          sizeof(RDAExcpNode)};
inline constexpr CtType kRdaXopenListOfExcp = ctListType(kRdaXopenExcpList);

struct RDAXOPENSQLDiag {
  uint32_t mask;  // bit 0: [0]; bit 1: [1]; bit 2: [2]
  int32_t number;
  char first[RDA_SHORT_TEXT_MAX + 1];
  char second[RDA_SHORT_TEXT_MAX + 1];
  RDAList exceptions;  // [3], nodes RDAExcpNode
};
inline constexpr CtField kRdaXopenSQLDiagFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAXOPENSQLDiag, number)).optional(1u << 0),
    ctField(ctCtx(1), kRdaShortText, offsetof(RDAXOPENSQLDiag, first)).optional(1u << 1),
    ctField(ctCtx(2), kRdaShortText, offsetof(RDAXOPENSQLDiag, second)).optional(1u << 2),
    ctField(ctCtx(3), kRdaXopenListOfExcp, offsetof(RDAXOPENSQLDiag, exceptions)),
};
inline constexpr CtSeq kRdaXopenSQLDiagSeq{kRdaXopenSQLDiagFields, offsetof(RDAXOPENSQLDiag, mask)};
inline constexpr CtType kRdaXopenSQLDiag = ctSeqType(kRdaXopenSQLDiagSeq, sizeof(RDAXOPENSQLDiag));

// ---------------------------------------------------------------------------
// SQLDBLExcp: SEQUENCE { [0] SQLSTATE OPTIONAL, [1] INTEGER OPTIONAL, [2] text
// OPTIONAL (, X/Open: [3] SQLDiag OPTIONAL) }, a record of its own.

struct RDASQLDBLExcp {
  uint32_t mask;  // bits 0..2: [0]..[2]
  char* sqlState;
  int32_t code;
  char* errText;
};
struct RDAXOPENSQLDBLExcp {
  uint32_t mask;  // bits 0..3: [0]..[3]
  char* sqlState;
  int32_t code;
  char* errText;
  RDAXOPENSQLDiag diag;
};
inline constexpr CtField kRdaSQLDBLExcpFields[] = {
    ctField(ctCtx(0), ctText, offsetof(RDASQLDBLExcp, sqlState)).optional(1u << 0),
    ctField(ctCtx(1), ctInt, offsetof(RDASQLDBLExcp, code)).optional(1u << 1),
    ctField(ctCtx(2), ctText, offsetof(RDASQLDBLExcp, errText)).optional(1u << 2),
};
inline constexpr CtField kRdaXopenSQLDBLExcpFields[] = {
    ctField(ctCtx(0), ctText, offsetof(RDAXOPENSQLDBLExcp, sqlState)).optional(1u << 0),
    ctField(ctCtx(1), ctInt, offsetof(RDAXOPENSQLDBLExcp, code)).optional(1u << 1),
    ctField(ctCtx(2), ctText, offsetof(RDAXOPENSQLDBLExcp, errText)).optional(1u << 2),
    ctField(ctCtx(3), kRdaXopenSQLDiag, offsetof(RDAXOPENSQLDBLExcp, diag)).optional(1u << 3),
};
inline constexpr CtSeq kRdaSQLDBLExcpSeq{kRdaSQLDBLExcpFields, offsetof(RDASQLDBLExcp, mask)};
inline constexpr CtSeq kRdaXopenSQLDBLExcpSeq{kRdaXopenSQLDBLExcpFields, offsetof(RDAXOPENSQLDBLExcp, mask)};
inline constexpr CtType kRdaSQLDBLExcp = ctSeqType(kRdaSQLDBLExcpSeq, sizeof(RDASQLDBLExcp));
inline constexpr CtType kRdaXopenSQLDBLExcp = ctSeqType(kRdaXopenSQLDBLExcpSeq, sizeof(RDAXOPENSQLDBLExcp));

// ---------------------------------------------------------------------------
// ResultVals: SEQUENCE { [0] SQLDBLExcp (X/Open: OPTIONAL), [1] SQLValList
// OPTIONAL }; ListOfResultVals holds the rows in its nodes.

struct RDAResultVals {
  uint32_t mask;  // bit 1: [1]
  RDASQLDBLExcp* exception;
  RDASQLValList values;
};
struct RDAXOPENResultVals {
  uint32_t mask;  // bit 1: [1]
  RDAXOPENSQLDBLExcp* exception;  // null when absent
  RDASQLValList values;
};
inline constexpr CtField kRdaResultValsFields[] = {
    ctField(ctCtx(0), kRdaSQLDBLExcp, offsetof(RDAResultVals, exception)).indirect().valueProbe(),
    ctField(ctCtx(1), kRdaSQLValList, offsetof(RDAResultVals, values)).explicitOver(CT_SELF).optional(1u << 1).valueProbe(),
};
inline constexpr CtField kRdaXopenResultValsFields[] = {
    ctField(ctCtx(0), kRdaXopenSQLDBLExcp, offsetof(RDAXOPENResultVals, exception)).indirect().whenSet().valueProbe(),
    ctField(ctCtx(1), kRdaXopenSQLValList, offsetof(RDAXOPENResultVals, values))
        .explicitOver(CT_SELF)
        .optional(1u << 1)
        .valueProbe(),
};
inline constexpr CtSeq kRdaResultValsSeq{kRdaResultValsFields, offsetof(RDAResultVals, mask)};
inline constexpr CtSeq kRdaXopenResultValsSeq{kRdaXopenResultValsFields, offsetof(RDAXOPENResultVals, mask)};
inline constexpr CtType kRdaResultVals = ctSeqType(kRdaResultValsSeq, sizeof(RDAResultVals));
inline constexpr CtType kRdaXopenResultVals = ctSeqType(kRdaXopenResultValsSeq, sizeof(RDAXOPENResultVals));

struct RDAResultNode {
  UL_Link links;
  RDAResultVals row;
};
struct RDAXOPENResultNode {
  UL_Link links;
  RDAXOPENResultVals row;
};
inline constexpr CtList kRdaResultList{
    ctField(ctUniv(16), kRdaResultVals, offsetof(RDAResultNode, row)).valueProbe(), sizeof(RDAResultNode)};
inline constexpr CtList kRdaXopenResultList{
    ctField(ctUniv(16), kRdaXopenResultVals, offsetof(RDAXOPENResultNode, row)).valueProbe(),
    sizeof(RDAXOPENResultNode), CT_PAGE};
inline constexpr CtType kRdaListOfResultVals = ctListType(kRdaResultList);
inline constexpr CtType kRdaXopenListOfResultVals = ctListType(kRdaXopenResultList);

// ---------------------------------------------------------------------------
// Named functions. The types that read their own SEQUENCE identifier (SQLVal,
// SQLDataTypeDescr, ResultVals, ExcpInfo) answer 0 / null when the next
// element is no universal SEQUENCE; SQLVal, SQLDataTypeDescr and SQLDBLExcp
// allocate their record.

RDA_CODECS(SQLDBLStmt, RDASQLDBLStmt, RDASQLDBLStmt)
RDA_CODECS(SQLDBLArgSpec, RDAList, RDAList)
RDA_CODECS(SQLDBLResultSpec, RDAList, RDAList)
RDA_CODECS(ListOfSDTD, RDAList, RDAList)
RDA_CODECS(SQLValList, RDASQLValList, RDASQLValList)
RDA_CODECS(ListOfSQLVal, RDAList, RDAList)
RDA_CODECS(ListOfSDAV, RDAList, RDAList)
RDA_CODECS(DBLArgs, RDADBLArgs, RDADBLArgs)
RDA_CODECS(ResultVals, RDAResultVals, RDAXOPENResultVals)
RDA_CODECS(ListOfResultVals, RDAList, RDAList)

RDASQLVal* aRDASQLVal();
int64_t fRDASQLVal(RDASQLVal* record);
RDAXOPENSQLVal* aRDAXOPENSQLVal();
int64_t fRDAXOPENSQLVal(RDAXOPENSQLVal* record);
RDASQLDataTypeDescr* aRDASQLDataTypeDescr();
int64_t fRDASQLDataTypeDescr(RDASQLDataTypeDescr* record);
RDAXOPENSQLDataTypeDescr* aRDAXOPENSQLDataTypeDescr();
int64_t fRDAXOPENSQLDataTypeDescr(RDAXOPENSQLDataTypeDescr* record);
// SQLDBLExcp: the contents of the element its caller opened.
RDASQLDBLExcp* aRDASQLDBLExcp();
int64_t fRDASQLDBLExcp(RDASQLDBLExcp* record);
RDAXOPENSQLDBLExcp* aRDAXOPENSQLDBLExcp();
int64_t fRDAXOPENSQLDBLExcp(RDAXOPENSQLDBLExcp* record);

uint32_t aRDAXOPENSQLDiag(RDAXOPENSQLDiag* record);
int64_t fRDAXOPENSQLDiag(RDAXOPENSQLDiag* record);
uint32_t aRDAXOPENExcpInfo(RDAXOPENExcpInfo* record);
int64_t fRDAXOPENExcpInfo(RDAXOPENExcpInfo* record);
uint32_t aRDAXOPENListOfExcp(RDAList* record);
int64_t fRDAXOPENListOfExcp(RDAList* record);
