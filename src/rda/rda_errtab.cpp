// The error tables of the RDA service.
#include <array>

#include "src/rda/rda_erridu.h"

// Columns: Init Term BgnTr Commit Rollb Cancel Status Open Close ExecDBL DefineDBL InvokeDBL DropDBL.
const uint32_t rda_genErrStateTbl[RDA_GEN_ERR_ROWS][RDA_SERVICES] = {
    /*  0 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /*  1 */ {8192, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /*  2 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8193, 0, 8193, 0},
    /*  3 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8194, 0},
    /*  4 */ {0, 0, 0, 0, 0, 8195, 8195, 0, 0, 0, 0, 0, 0},
    /*  5 */ {0, 0, 0, 0, 0, 8196, 8196, 0, 0, 0, 0, 0, 0},
    /*  6 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8198, 8198, 0, 0},
    /*  7 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8199, 8199, 0, 0},
    /*  8 */ {0, 0, 0, 0, 0, 0, 0, 8200, 0, 0, 0, 0, 0},
    /*  9 */ {0, 0, 0, 0, 0, 0, 0, 8201, 0, 0, 0, 0, 0},
    /* 10 */ {0, 0, 0, 0, 0, 0, 0, 8197, 0, 0, 0, 0, 0},
    /* 11 */ {0, 0, 0, 0, 0, 0, 0, 8202, 0, 0, 0, 0, 0},
    /* 12 */ {0, 0, 0, 0, 0, 8203, 8203, 0, 0, 0, 0, 0, 0},
    /* 13 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8204, 0, 0},
    /* 14 */ {0, 0, 0, 0, 0, 0, 0, 8205, 0, 0, 0, 0, 0},
    /* 15 */ {8206, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* 16 */ {0, 8207, 8207, 8207, 8207, 8207, 8207, 8207, 8207, 8207, 8207, 8207, 8207},
    /* 17 */ {8208, 8208, 8208, 8208, 8208, 8208, 8208, 8208, 8208, 8208, 8208, 8208, 8208},
    /* 18 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8209, 8209, 0, 0},
    /* 19 */ {8210, 8210, 8210, 0, 0, 8210, 8210, 8210, 8210, 8210, 8210, 8210, 8210},
    /* 20 */ {0, 0, 0, 0, 0, 0, 0, 8211, 8211, 8211, 8211, 8211, 8211},
    /* 21 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* 22 */ {0, 8212, 8212, 0, 0, 8212, 8212, 8212, 8212, 8212, 8212, 8212, 8212},
    /* 23 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8213, 0, 8213, 0},
    /* 24 */ {8214, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

const uint32_t rda_sqlErrStateTbl[RDA_SQL_ERR_ROWS][RDA_SERVICES] = {
    /* 100 */ {0, 0, 0, 0, 0, 0, 0, 8219, 0, 0, 0, 0, 0},
    /* 101 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8221, 0, 8221, 0},
    /* 102 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8222, 0, 8222, 0},
    /* 103 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8224, 8224, 0, 0},
    /* 104 */ {0, 0, 0, 0, 0, 0, 0, 8220, 0, 0, 0, 0, 0},
    /* 105 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8215, 8215, 0, 0},
    /* 106 */ {0, 0, 0, 0, 0, 0, 0, 8216, 0, 0, 0, 0, 0},
    /* 107 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8223, 8223, 0, 0},
    /* 108 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8217, 0, 8217, 0},
    /* 109 */ {0, 0, 0, 0, 0, 0, 0, 8218, 8218, 0, 0, 0, 0},
    /* 110 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 8225, 8225, 8225, 0},
};

const uint32_t rda_genErrInvTbl[23] = {1,  2,  3,  4,  5,  10, 6,  7,  8,  9,  11, 12,
                                       13, 14, 15, 16, 17, 18, 19, 20, 22, 23, 24};

namespace {

// [value - 8215] for the SQL values 8215..8225: the number; the inverse of
// rda_sqlErrStateTbl.
constexpr uint32_t kSqlErrInv[RDA_SQL_ERR_ROWS] = {105, 106, 108, 109, 100, 104, 101, 102, 107, 103, 110};

// [(event & 0x7FFF) >> 1]: the service of an error response or confirm.
constexpr std::array<uint8_t, 312> kErrService = [] {
  std::array<uint8_t, 312> t{};
  for (auto& c : t) c = RDA_NO_SERVICE;
  for (uint32_t k = 0; k < RDA_SERVICES; ++k) {
    t[(0x01A2 + 16 * k) >> 1] = static_cast<uint8_t>(k);
    t[(0x01A6 + 16 * k) >> 1] = static_cast<uint8_t>(k);
  }
  return t;
}();

}  // namespace

uint32_t rda_errEventService(uint32_t event) {
  const uint32_t i = (event & 0x7FFF) >> 1;
  return i < kErrService.size() ? kErrService[i] : RDA_NO_SERVICE;
}

uint32_t rda_genErrOfValue(uint32_t value) {
  if (value < RDA_ERR_BASE || value > RDA_ERR_BASE + 22) return 0;
  return rda_genErrInvTbl[value - RDA_ERR_BASE];
}

uint32_t rda_sqlErrOfValue(uint32_t value) {
  if (value >= RDA_ERR_BASE && value <= RDA_ERR_BASE + 22) return rda_genErrInvTbl[value - RDA_ERR_BASE];
  if (value >= RDA_ERR_BASE + 23 && value <= RDA_ERR_BASE + 33) return kSqlErrInv[value - (RDA_ERR_BASE + 23)];
  return RDA_GENERR_OP_ABORTED;
}
