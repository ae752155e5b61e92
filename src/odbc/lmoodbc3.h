// The translation tables of the ODBC 3.51 entry points: ODBC 3 connection
// and statement attributes onto the ODBC 2 options, descriptor fields onto
// column attributes, and ODBC 2 SQLSTATEs onto their ODBC 3 form.
#pragma once

#include <cstdint>

// Options of the attribute maps beside a real ODBC 2 option.
inline constexpr uint32_t kQvAttrUnsupported = 65535;
inline constexpr uint32_t kQvAttrDescriptor = 65280;  // a descriptor handle
inline constexpr uint32_t kQvAttrIgnored = 65534;     // accepted and ignored
// A descriptor field without a column attribute.
inline constexpr uint16_t kQvFieldUnsupported = 255;

struct QvAttrPair {
  int32_t attribute;
  uint32_t option;
};
struct QvFieldPair {
  uint16_t field;
  uint16_t attribute;
};
struct QvSqlStatePair {
  const wchar_t* odbc2;
  const wchar_t* odbc3;
};

// Each ended by the pair (65535, 65535); the first matching pair wins.
extern const QvAttrPair QvMapConnAttr[];
extern const QvAttrPair QvMapStmtAttr[];
extern const QvFieldPair QvMapColAttrField[];
// 44 pairs and a NULL pair.
inline constexpr int32_t kQvSqlStatePairs = 44;
extern const QvSqlStatePair QvMapSqlStateData[kQvSqlStatePairs + 1];

// The ODBC 2 option of an attribute, or kQvAttrUnsupported.
uint32_t qvConnOption(int32_t attribute);
uint32_t qvStmtOption(int32_t attribute);
// The column attribute of a descriptor field, or kQvFieldUnsupported.
uint16_t qvColAttributeOfField(uint16_t field);

// The records whose addresses stand for a statement's four descriptors.
struct QvDummyDesc {
  int32_t kind;
};
extern QvDummyDesc lDummyARD, lDummyAPD, lDummyIRD, lDummyIPD;
