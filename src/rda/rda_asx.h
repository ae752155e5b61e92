// The static tables that configure the RDA application entity: the
// application service elements with their abstract syntaxes (RDA_asxTBL),
// the application contexts (RDA_actxTBL), the SACF route table of an
// association (RDA_sacfRouteTBL), and the service user's configuration
// (AL_surConf with its event-handler records and route table).
//
// The tables are constant; each thread's application entity works on a
// copy of RDA_asxTBL whose rows keep the presentation layer's index of their
// abstract syntax. A row's routines of service elements and entities not
// built here are NULL; the dispatch of the application layer refuses a GIDU
// that meets a NULL routine (traced) instead of calling it.
#pragma once

#include <cstdint>

#include "src/acse/al_tables.h"
#include "src/acse/gidu.h"
#include "src/acse/sur.h"

inline constexpr uint32_t kRdaIduType = 200;  // IDU type of RDA GIDUs
inline constexpr int32_t kRdaAsxRows = kAsxMaxRows;
inline constexpr int32_t kRdaActxRows = kActxMaxRows;
inline constexpr int32_t kSacfRouteEntries = 8;

inline constexpr uint32_t kSaoTag = 257;

extern const AsxEntry RDA_asxTBL[kRdaAsxRows];
extern const ActxEntry RDA_actxTBL[kRdaActxRows];
// Even indexes form the receive chain, odd ones the send chain.
extern const AlGiduFn RDA_sacfRouteTBL[kSacfRouteEntries];

extern const AlGiduFn routeRdaTbl[kSurRouteEntries];
extern const SurEventHndl eventHndl[2];
extern const AlSurConf AL_surConf;
