#include "src/rdaclient/rdacli_exec.h"

#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"

namespace {

constexpr const char* kSrc = "src/rdacli_exec";

constexpr const char* kNotPrepared = "SQL statement not prepared";

bool endsMarkerName(wchar_t c) { return c == L'\0' || c == L',' || c == L' ' || c == L')'; }

}  // namespace

uint32_t RDAutil_getParamCount(const wchar_t* sql) {
  if (sql == nullptr || (std::wcschr(sql, L'?') == nullptr && std::wcschr(sql, L':') == nullptr)) return 0;
  uint32_t count = 0;
  bool inSingle = false;
  bool inDouble = false;
  for (const wchar_t* p = sql; *p != L'\0'; ++p) {
    switch (*p) {
      case L'"':
        if (!inSingle) inDouble = !inDouble;
        break;
      case L'\'':
        if (inDouble) break;
        if (!inSingle) inSingle = true;
        else if (p[1] == L'\'') ++p;  // a quote written twice stands for itself
        else inSingle = false;
        break;
      case L'?':
        if (!inSingle && !inDouble) ++count;
        break;
      case L':':
        if (inSingle || inDouble) break;
        ++count;
        while (!endsMarkerName(p[1])) ++p;
        break;
      default:
        break;
    }
  }
  return count;
}

int32_t rda_cliNumParams(RDA_CliHSTMT* stmt, int16_t* count) {
  if (!RDA_cliIsLiveBlock(stmt, RDA_CLI_TAG_HSTMT)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** rda_cliNumParams: invalid statement handle\n");
    return RDA_CLI_INVALID_HANDLE;
  }
  if ((stmt->state & RDA_CLI_STMT_PREPARED) == 0) {
    RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_SEQUENCE, 0, kNotPrepared, stmt->tree);
    return RDA_CLI_ERROR;
  }
  if (count != nullptr) *count = static_cast<int16_t>(stmt->paramCount);
  return RDA_CLI_SUCCESS;
}
