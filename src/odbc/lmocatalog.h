// The catalog calls of the ODBC layer: each is one SELECT over a catalog
// table of the server (QV_TABLES, QV_COLUMNS, QV_STATISTICS, QV_FKEYS,
// QV_PROC, QV_PROCCOLUMNS, QV_TYPES), prepared and executed on the caller's
// statement; the application reads the result like any other.
//
// The texts are built here from the call's arguments. A value is written
// between quotes with each quote in it doubled, so that no argument can end
// its literal; the text grows as long as the arguments make it.
#pragma once

#include <cstdint>
#include <cwchar>
#include <string>

// Whether LIKE criteria carry an escape clause (configuration type 47), and
// the escape character they name.
extern int32_t giUseSchemaLikeEscapeClause;
extern wchar_t gcLikeEscapeChar;

// Reads the owner of the catalog tables (type 45, into gsSchemaOwner) and
// the escape-clause switch from the configuration.
void lmoReadCatalogSettings();

// One text argument of a catalog call: NULL adds no criterion (an empty text
// still does); the length in characters, -3 for a terminated text.
struct LmoCatArg {
  const wchar_t* text = nullptr;
  int32_t length = -3;
};

// The texts of the calls, as the cores send them. The owner, the literal
// form (gCharacterMode: 1 '...', else N'...') and the escape clause come from
// the process-wide settings.
std::wstring lmoTablesText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg table, LmoCatArg types);
std::wstring lmoColumnsText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg table, LmoCatArg column);
std::wstring lmoStatisticsText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg table, uint16_t unique);
std::wstring lmoSpecialColumnsText(int64_t driverTypeNumber, uint16_t identifierType, LmoCatArg catalog,
                                   LmoCatArg schema, LmoCatArg table, uint16_t scope, uint16_t nullable);
std::wstring lmoProcedureColumnsText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg procedure, LmoCatArg column);
std::wstring lmoProceduresText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg procedure);
std::wstring lmoForeignKeysText(LmoCatArg pkCatalog, LmoCatArg pkSchema, LmoCatArg pkTable, LmoCatArg fkCatalog,
                                LmoCatArg fkSchema, LmoCatArg fkTable);
std::wstring lmoPrimaryKeysText(LmoCatArg catalog, LmoCatArg schema, LmoCatArg table);
std::wstring lmoTypeInfoText(int16_t sqlType);
