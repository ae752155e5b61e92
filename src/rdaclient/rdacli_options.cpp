#include "src/rdaclient/rdacli_options.h"

#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_handles.h"

namespace {
constexpr const char* kSrc = "src/rdacli_options";
}  // namespace

int32_t rda_cliSetStmtOption(RDA_CliHSTMT* hstmt, int32_t option, uint32_t value) {
  if (!RDA_cliIsLiveBlock(hstmt, RDA_CLI_TAG_HSTMT)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliSetMaxRows: invalid statement handle\n");
    return -2;
  }
  switch (option) {
    case RDA_CLI_OPT_QUERY_TIMEOUT:
      hstmt->queryTimeOut = value;
      return 0;
    case RDA_CLI_OPT_MAX_ROWS:
      hstmt->maxRows = value;
      return 0;
    case QV_SQL_UNIQUEROW:
      TM_TRACE(rda_cliTMHandle, 16, kSrc, "*** rda_cliSetStmtOption: QV_SQL_UNIQUEROW = %d\n", static_cast<int>(value));
      if (value != 0) hstmt->optionFlags |= RDA_CLI_STMT_UNIQUEROW;
      else hstmt->optionFlags &= ~RDA_CLI_STMT_UNIQUEROW;
      return 0;
    default:
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliSetStmtOption: invalid option:%d\n", option);
      return -1;
  }
}

int32_t rda_cliGetStmtOption(RDA_CliHSTMT* hstmt, int32_t option, uint32_t* value) {
  if (!RDA_cliIsLiveBlock(hstmt, RDA_CLI_TAG_HSTMT)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliSetMaxRows: invalid statement handle\n");
    return -2;
  }
  if (value == nullptr) return -1;
  switch (option) {
    case RDA_CLI_OPT_QUERY_TIMEOUT:
      *value = hstmt->queryTimeOut;
      return 0;
    case RDA_CLI_OPT_MAX_ROWS:
      *value = hstmt->maxRows;
      return 0;
    default:
      return -1;
  }
}
