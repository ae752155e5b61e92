// SQL types of the RDA type tags that describe received columns and
// parameters.
#pragma once

#include <cstdint>

// tagToSQLTBL: entry (tag - 0x4000) of the 33 type tags of a result
// description.
inline constexpr uint32_t kRdaCliTypeTags = 33;
extern const int16_t tagToSQLTBL[kRdaCliTypeTags];
// The SQL type of type tag `tag` (0x4000 + n); 0 for a tag outside the
// table.
int16_t RDA_cliCvrtTagToSQLType(uint32_t tag);
