// The diagnostics of an RDA client block as plain values, for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/rdaclient/rdacli_error.h"

struct CliDiag {
  std::string state;    // SQLSTATE
  int32_t native = 0;   // native error
  std::string message;  // UTF-8
};

// Every entry of `list`, oldest first.
std::vector<CliDiag> cliDiags(const RDA_CliErrorList& list);
// The newest entry; an empty one when there is none.
CliDiag lastDiag(const RDA_CliErrorList& list);
// A wide text as UTF-8.
std::string utf8(const wchar_t* text);
