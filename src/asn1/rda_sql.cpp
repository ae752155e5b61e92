// Named parse and format functions of the SQL types of both families.
#include "src/asn1/rda_sql.h"

#include "src/asn1/decode_tree.h"

uint32_t rdaParseFlagTrue(void*) {
  uint32_t ignored = 0;
  ber_getbit(&ignored);
  return 1;
}
int64_t rdaFormatFlagTrue(void*) { return ber_addbit(1); }

namespace {

// A type that reads its own universal SEQUENCE identifier.
template <const CtType& T>
inline constexpr CtField kWhole = ctField(ctUniv(16), T, 0);
template <const CtType& T>
inline constexpr CtField kWholeAllocated = ctField(ctUniv(16), T, 0).indirect();

// A record of its own: allocated, then read; null when its element is not there.
template <class Rec>
Rec* parseAllocated(const CtField& f, const char* src) {
  void* slot = nullptr;
  return ct_parseField(f, &slot, src) != 0 ? static_cast<Rec*>(slot) : nullptr;
}
template <class Rec>
Rec* parseContentsAllocated(const CtType& t, const char* src) {
  auto* rec = static_cast<Rec*>((t.flags & CT_PAGE) != 0 ? aamallocFromPage(sizeof(Rec)) : aamalloc(sizeof(Rec)));
  if (rec == nullptr) aaRaise(AAE_NOMEM, src, __LINE__);
  (void)ct_parseType(t, rec, src);
  return rec;
}

}  // namespace

RDA_CODECS_DEF(SQLDBLStmt, RDASQLDBLStmt, RDASQLDBLStmt, kRdaSQLDBLStmt, kRdaXopenSQLDBLStmt)
RDA_CODECS_DEF(SQLDBLArgSpec, RDAList, RDAList, kRdaSQLDBLArgSpec, kRdaXopenSQLDBLArgSpec)
RDA_CODECS_DEF(SQLDBLResultSpec, RDAList, RDAList, kRdaSQLDBLResultSpec, kRdaXopenSQLDBLResultSpec)
RDA_CODECS_DEF(ListOfSDTD, RDAList, RDAList, kRdaListOfSDTD, kRdaXopenListOfSDTD)
RDA_CODECS_DEF(SQLValList, RDASQLValList, RDASQLValList, kRdaSQLValList, kRdaXopenSQLValList)
RDA_CODECS_DEF(ListOfSQLVal, RDAList, RDAList, kRdaListOfSQLVal, kRdaXopenListOfSQLVal)
RDA_CODECS_DEF(ListOfSDAV, RDAList, RDAList, kRdaListOfSDAV, kRdaXopenListOfSDAV)
RDA_CODECS_DEF(DBLArgs, RDADBLArgs, RDADBLArgs, kRdaDBLArgs, kRdaXopenDBLArgs)
RDA_CODECS_DEF(ListOfResultVals, RDAList, RDAList, kRdaListOfResultVals, kRdaXopenListOfResultVals)

uint32_t aRDAResultVals(RDAResultVals* record) { return ct_parseField(kWhole<kRdaResultVals>, record, kRdaIsoSrc); }
int64_t fRDAResultVals(RDAResultVals* record) { return ct_formatField(kWhole<kRdaResultVals>, record, kRdaIsoSrc); }
uint32_t aRDAXOPENResultVals(RDAXOPENResultVals* record) {
  return ct_parseField(kWhole<kRdaXopenResultVals>, record, kRdaXopenSrc);
}
int64_t fRDAXOPENResultVals(RDAXOPENResultVals* record) {
  return ct_formatField(kWhole<kRdaXopenResultVals>, record, kRdaXopenSrc);
}

RDASQLVal* aRDASQLVal() { return parseAllocated<RDASQLVal>(kWholeAllocated<kRdaSQLVal>, kRdaIsoSrc); }
int64_t fRDASQLVal(RDASQLVal* record) { return ct_formatField(kWhole<kRdaSQLVal>, record, kRdaIsoSrc); }
RDAXOPENSQLVal* aRDAXOPENSQLVal() {
  return parseAllocated<RDAXOPENSQLVal>(kWholeAllocated<kRdaXopenSQLVal>, kRdaXopenSrc);
}
int64_t fRDAXOPENSQLVal(RDAXOPENSQLVal* record) {
  return ct_formatField(kWhole<kRdaXopenSQLVal>, record, kRdaXopenSrc);
}

RDASQLDataTypeDescr* aRDASQLDataTypeDescr() {
  return parseAllocated<RDASQLDataTypeDescr>(kWholeAllocated<kRdaSQLDataTypeDescr>, kRdaIsoSrc);
}
int64_t fRDASQLDataTypeDescr(RDASQLDataTypeDescr* record) {
  return ct_formatField(kWhole<kRdaSQLDataTypeDescr>, record, kRdaIsoSrc);
}
RDAXOPENSQLDataTypeDescr* aRDAXOPENSQLDataTypeDescr() {
  return parseAllocated<RDAXOPENSQLDataTypeDescr>(kWholeAllocated<kRdaXopenSQLDataTypeDescr>, kRdaXopenSrc);
}
int64_t fRDAXOPENSQLDataTypeDescr(RDAXOPENSQLDataTypeDescr* record) {
  return ct_formatField(kWhole<kRdaXopenSQLDataTypeDescr>, record, kRdaXopenSrc);
}

RDASQLDBLExcp* aRDASQLDBLExcp() { return parseContentsAllocated<RDASQLDBLExcp>(kRdaSQLDBLExcp, kRdaIsoSrc); }
int64_t fRDASQLDBLExcp(RDASQLDBLExcp* record) { return ct_formatType(kRdaSQLDBLExcp, record, kRdaIsoSrc); }
RDAXOPENSQLDBLExcp* aRDAXOPENSQLDBLExcp() {
  return parseContentsAllocated<RDAXOPENSQLDBLExcp>(kRdaXopenSQLDBLExcp, kRdaXopenSrc);
}
int64_t fRDAXOPENSQLDBLExcp(RDAXOPENSQLDBLExcp* record) {
  return ct_formatType(kRdaXopenSQLDBLExcp, record, kRdaXopenSrc);
}

uint32_t aRDAXOPENSQLDiag(RDAXOPENSQLDiag* record) { return ct_parseType(kRdaXopenSQLDiag, record, kRdaXopenSrc); }
int64_t fRDAXOPENSQLDiag(RDAXOPENSQLDiag* record) { return ct_formatType(kRdaXopenSQLDiag, record, kRdaXopenSrc); }
uint32_t aRDAXOPENExcpInfo(RDAXOPENExcpInfo* record) {
  return ct_parseField(kWhole<kRdaXopenExcpInfo>, record, kRdaXopenSrc);
}
int64_t fRDAXOPENExcpInfo(RDAXOPENExcpInfo* record) {
  return ct_formatField(kWhole<kRdaXopenExcpInfo>, record, kRdaXopenSrc);
}
uint32_t aRDAXOPENListOfExcp(RDAList* record) { return ct_parseType(kRdaXopenListOfExcp, record, kRdaXopenSrc); }
int64_t fRDAXOPENListOfExcp(RDAList* record) { return ct_formatType(kRdaXopenListOfExcp, record, kRdaXopenSrc); }
