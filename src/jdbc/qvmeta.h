// The scalar DatabaseMetaData natives of jdbc.sql.cli.qvcli, built from one
// table: each asks SQLGetInfo one information type and makes a Java
// boolean, int or String of the answer by its rule. The list below names
// every such native with its Java result, information type, rule and the
// rule's operand; it makes the table and the exported functions.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>

// How a native makes its result of the answer.
enum class QvjMetaRule : uint8_t {
  Text,        // the 8-bit text answer
  Yes,         // text: its first character is 'Y'
  NotNo,       // text: its first character is not 'N'
  FirstIs,     // text: its first character is the operand
  Number,      // the 32-bit answer itself
  Equals,      // the answer equals the operand
  OneOf,       // bit (1 << answer) of the operand is set (answers 0 to 31)
  AnyBit,      // answer & operand is not 0
  NotZero,     // the answer is not 0
  Below,       // the answer is below the operand
  Functions,   // the scalar-function names of the answer's bits (operand: the list)
  Url,         // "jdbc:<sub-protocol>:<data source name>"
  AutoClose,   // 23, and 24 when 23 is above 1
  Major,       // the first number of the driver version
  Minor,       // its second number
  Isolation,   // supportsTransactionIsolationLevel (level)
  NoCall,      // supportsSpecificConvert: false without a question
};

// X(method, Java result, information type, rule, operand)
#define QVJ_METADATA(X)                                                           \
  X(getUserName, jstring, 47, Text, 0)                                            \
  X(getDatabaseProductName, jstring, 17, Text, 0)                                 \
  X(getDatabaseProductVersion, jstring, 18, Text, 0)                              \
  X(getDriverName, jstring, 6, Text, 0)                                           \
  X(getDriverVersion, jstring, 7, Text, 0)                                        \
  X(getIdentifierQuoteString, jstring, 29, Text, 0)                               \
  X(getSQLKeywords, jstring, 89, Text, 0)                                         \
  X(getSearchStringEscape, jstring, 14, Text, 0)                                  \
  X(getExtraNameCharacters, jstring, 94, Text, 0)                                 \
  X(getSchemaTerm, jstring, 39, Text, 0)                                          \
  X(getProcedureTerm, jstring, 40, Text, 0)                                       \
  X(getCatalogTerm, jstring, 42, Text, 0)                                         \
  X(getCatalogSeparator, jstring, 41, Text, 0)                                    \
  X(getURL, jstring, 2, Url, 0)                                                   \
  X(getNumericFunctions, jstring, 49, Functions, 0)                               \
  X(getStringFunctions, jstring, 50, Functions, 1)                                \
  X(getSystemFunctions, jstring, 51, Functions, 2)                                \
  X(getTimeDateFunctions, jstring, 52, Functions, 3)                              \
  X(allProceduresAreCallable, jboolean, 20, Yes, 0)                               \
  X(allTablesAreSelectable, jboolean, 19, Yes, 0)                                 \
  X(supportsColumnAliasing, jboolean, 87, Yes, 0)                                 \
  X(supportsExpressionsInOrderBy, jboolean, 27, Yes, 0)                           \
  X(supportsOrderByUnrelated, jboolean, 90, Yes, 0)                               \
  X(supportsLikeEscapeClause, jboolean, 113, Yes, 0)                              \
  X(supportsMultipleResultSets, jboolean, 36, Yes, 0)                             \
  X(supportsMultipleTransactions, jboolean, 37, Yes, 0)                           \
  X(supportsIntegrityEnhancementFacility, jboolean, 73, Yes, 0)                   \
  X(supportsStoredProcedures, jboolean, 21, Yes, 0)                               \
  X(doesMaxRowSizeIncludeBlobs, jboolean, 103, Yes, 0)                            \
  X(supportsOuterJoins, jboolean, 38, NotNo, 0)                                   \
  X(supportsFullOuterJoins, jboolean, 38, FirstIs, 'F')                           \
  X(supportsLimitedOuterJoins, jboolean, 38, FirstIs, 'P')                        \
  X(getMaxBinaryLiteralLength, jint, 112, Number, 0)                              \
  X(getMaxCharLiteralLength, jint, 108, Number, 0)                                \
  X(getMaxColumnNameLength, jint, 30, Number, 0)                                  \
  X(getMaxColumnsInGroupBy, jint, 97, Number, 0)                                  \
  X(getMaxColumnsInIndex, jint, 98, Number, 0)                                    \
  X(getMaxColumnsInOrderBy, jint, 99, Number, 0)                                  \
  X(getMaxColumnsInSelect, jint, 100, Number, 0)                                  \
  X(getMaxColumnsInTable, jint, 101, Number, 0)                                   \
  X(getMaxConnections, jint, 0, Number, 0)                                        \
  X(getMaxCursorNameLength, jint, 31, Number, 0)                                  \
  X(getMaxIndexLength, jint, 102, Number, 0)                                      \
  X(getMaxSchemaNameLength, jint, 32, Number, 0)                                  \
  X(getMaxProcedureNameLength, jint, 33, Number, 0)                               \
  X(getMaxCatalogNameLength, jint, 34, Number, 0)                                 \
  X(getMaxRowSize, jint, 104, Number, 0)                                          \
  X(getMaxStatementLength, jint, 105, Number, 0)                                  \
  X(getMaxStatements, jint, 1, Number, 0)                                         \
  X(getMaxTableNameLength, jint, 35, Number, 0)                                   \
  X(getMaxTablesInSelect, jint, 106, Number, 0)                                   \
  X(getMaxUserNameLength, jint, 107, Number, 0)                                   \
  X(getDefaultTransactionIsolation, jint, 26, Number, 0)                          \
  X(nullsAreSortedHigh, jboolean, 85, Equals, 0)                                  \
  X(nullsAreSortedLow, jboolean, 85, Equals, 1)                                   \
  X(nullsAreSortedAtStart, jboolean, 85, Equals, 2)                               \
  X(nullsAreSortedAtEnd, jboolean, 85, Equals, 4)                                 \
  X(usesLocalFiles, jboolean, 84, Equals, 2)                                      \
  X(usesLocalFilePerTable, jboolean, 84, Equals, 1)                               \
  X(supportsMixedCaseIdentifiers, jboolean, 28, OneOf, 0x16)                      \
  X(storesUpperCaseIdentifiers, jboolean, 28, Equals, 1)                          \
  X(storesLowerCaseIdentifiers, jboolean, 28, Equals, 2)                          \
  X(storesMixedCaseIdentifiers, jboolean, 28, Equals, 4)                          \
  X(supportsMixedCaseQuotedIdentifiers, jboolean, 93, OneOf, 0x16)                \
  X(storesUpperCaseQuotedIdentifiers, jboolean, 93, Equals, 1)                    \
  X(storesLowerCaseQuotedIdentifiers, jboolean, 93, Equals, 2)                    \
  X(storesMixedCaseQuotedIdentifiers, jboolean, 93, Equals, 4)                    \
  X(supportsAlterTableWithAddColumn, jboolean, 86, AnyBit, 0x1)                   \
  X(supportsAlterTableWithDropColumn, jboolean, 86, AnyBit, 0x2)                  \
  X(nullPlusNonNullIsNull, jboolean, 22, Equals, 0)                               \
  X(supportsConvert, jboolean, 48, Equals, 1)                                     \
  X(supportsTableCorrelationNames, jboolean, 74, OneOf, 0x6)                      \
  X(supportsDifferentTableCorrelationNames, jboolean, 74, Equals, 1)              \
  X(supportsGroupBy, jboolean, 88, NotZero, 0)                                    \
  X(supportsGroupByUnrelated, jboolean, 88, Equals, 3)                            \
  X(supportsGroupByBeyondSelect, jboolean, 88, Equals, 2)                         \
  X(supportsNonNullableColumns, jboolean, 75, Equals, 1)                          \
  X(supportsMinimumSQLGrammar, jboolean, 15, Below, 3)                            \
  X(supportsCoreSQLGrammar, jboolean, 15, OneOf, 0x6)                             \
  X(supportsExtendedSQLGrammar, jboolean, 15, Equals, 2)                          \
  X(supportsANSI92EntryLevelSQL, jboolean, 118, Equals, 1)                        \
  X(supportsANSI92IntermediateSQL, jboolean, 118, Equals, 4)                      \
  X(supportsANSI92FullSQL, jboolean, 118, Equals, 8)                              \
  X(isCatalogAtStart, jboolean, 114, Equals, 1)                                   \
  X(supportsSchemasInDataManipulation, jboolean, 91, AnyBit, 0x1)                 \
  X(supportsSchemasInProcedureCalls, jboolean, 91, AnyBit, 0x2)                   \
  X(supportsSchemasInTableDefinitions, jboolean, 91, AnyBit, 0x4)                 \
  X(supportsSchemasInIndexDefinitions, jboolean, 91, AnyBit, 0x8)                 \
  X(supportsSchemasInPrivilegeDefinitions, jboolean, 91, AnyBit, 0x10)            \
  X(supportsCatalogsInDataManipulation, jboolean, 92, AnyBit, 0x1)                \
  X(supportsCatalogsInProcedureCalls, jboolean, 92, AnyBit, 0x2)                  \
  X(supportsCatalogsInTableDefinitions, jboolean, 92, AnyBit, 0x4)                \
  X(supportsCatalogsInIndexDefinitions, jboolean, 92, AnyBit, 0x8)                \
  X(supportsCatalogsInPrivilegeDefinitions, jboolean, 92, AnyBit, 0x10)           \
  X(supportsPositionedDelete, jboolean, 80, AnyBit, 0x1)                          \
  X(supportsPositionedUpdate, jboolean, 80, AnyBit, 0x2)                          \
  X(supportsSelectForUpdate, jboolean, 80, AnyBit, 0x4)                           \
  X(supportsSubqueriesInComparisons, jboolean, 95, AnyBit, 0x1)                   \
  X(supportsSubqueriesInExists, jboolean, 95, AnyBit, 0x2)                        \
  X(supportsSubqueriesInIns, jboolean, 95, AnyBit, 0x4)                           \
  X(supportsSubqueriesInQuantifieds, jboolean, 95, AnyBit, 0x8)                   \
  X(supportsCorrelatedSubqueries, jboolean, 95, AnyBit, 0x10)                     \
  X(supportsUnion, jboolean, 96, AnyBit, 0x1)                                     \
  X(supportsUnionAll, jboolean, 96, AnyBit, 0x2)                                  \
  X(supportsOpenCursorsAcrossCommit, jboolean, 23, Equals, 2)                     \
  X(supportsOpenCursorsAcrossRollback, jboolean, 24, Equals, 2)                   \
  X(supportsOpenStatementsAcrossCommit, jboolean, 23, OneOf, 0x6)                 \
  X(supportsOpenStatementsAcrossRollback, jboolean, 24, OneOf, 0x6)               \
  X(supportsTransactions, jboolean, 46, NotZero, 0)                               \
  X(supportsDataManipulationTransactionsOnly, jboolean, 46, AnyBit, 0x1)          \
  X(supportsDataDefinitionAndDataManipulationTransactions, jboolean, 46, AnyBit, 0x2) \
  X(dataDefinitionIgnoredInTransactions, jboolean, 46, AnyBit, 0x4)               \
  X(dataDefinitionCausesTransactionCommit, jboolean, 46, AnyBit, 0x3)             \
  X(getAutoClose, jboolean, 23, AutoClose, 0)                                     \
  X(getDriverMajorVersion, jint, 7, Major, 0)                                     \
  X(getDriverMinorVersion, jint, 7, Minor, 0)

// The two natives with arguments (written out, their entries below).
#define QVJ_METADATA_WITH_ARGUMENTS(X)                          \
  X(supportsTransactionIsolationLevel, jboolean, 72, Isolation, 0) \
  X(supportsSpecificConvert, jboolean, 0, NoCall, 0)

// The natives' numbers in the table.
enum class QvjMeta : uint16_t {
#define QVJ_META_ENUM(m, type, info, rule, operand) m,
  QVJ_METADATA(QVJ_META_ENUM) QVJ_METADATA_WITH_ARGUMENTS(QVJ_META_ENUM)
#undef QVJ_META_ENUM
      Count
};
inline constexpr size_t kQvjMetaCount = static_cast<size_t>(QvjMeta::Count);

struct QvjMetaEntry {
  const char* method;  // the Java method name, also the error path's name
  uint16_t infoType;
  QvjMetaRule rule;
  int32_t operand;
};
extern const QvjMetaEntry kQvjMetaTable[kQvjMetaCount];

// ---- Plain parts, tested on their own ----

// Bytes of the 8-bit answer buffer, and of the texts made from it.
inline constexpr int32_t kQvjInfoTextBytes = 255;
inline constexpr size_t kQvjSubProtocolBytes = 128;
// "jdbc:" + sub-protocol (127) + ":" + data source name (254) + terminator.
inline constexpr size_t kQvjUrlBytes = 5 + (kQvjSubProtocolBytes - 1) + 1 + (kQvjInfoTextBytes - 1) + 1;

// A scalar-function table entry: the ODBC bit and the name.
struct QvjFunctionName {
  uint32_t bit;
  const char* name;
};
// The four lists: numeric (0), string (1), system (2), time and date (3);
// each ends with an entry whose name is empty.
const QvjFunctionName* QvjFunctionTable(int32_t which);
// Bytes of the longest text a list makes (every name, the commas, the
// terminator).
size_t QvjFunctionTextBytes(int32_t which);
// The names of the bits set in `mask`, "," between them, into `out` of
// `size` bytes (at least QvjFunctionTextBytes); the text's length.
size_t QvjFunctionText(int32_t which, uint32_t mask, char* out, size_t size);

// The first two of the "%d.%d.%d" numbers of a version text (0 for each
// one missing).
void QvjVersionParse(const char* text, int32_t* major, int32_t* minor);

// The boolean of an integer answer by a rule of Equals ... Below.
bool QvjMetaNumberTest(QvjMetaRule rule, int32_t operand, int32_t answer);
// The boolean of a text answer by Yes, NotNo or FirstIs.
bool QvjMetaTextTest(QvjMetaRule rule, int32_t operand, const char* answer);
// supportsTransactionIsolationLevel: a level is supported when its bit is
// in the server's mask; level 0 (none) only when the mask is 0.
bool QvjIsolationSupported(uint32_t mask, int32_t level);
// getURL's text into `out` of kQvjUrlBytes.
void QvjUrlText(const char* subProtocol, const char* dataSource, char* out, size_t size);
