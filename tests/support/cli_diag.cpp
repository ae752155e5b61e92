#include "support/cli_diag.h"

#include "common/qvunicode.h"

std::string utf8(const wchar_t* text) {
  if (text == nullptr) return "";
  const auto len = static_cast<int32_t>(qvwcslen(text));
  if (len == 0) return "";
  std::string out(static_cast<size_t>(len) * 4 + 1, '\0');
  const int32_t n = unix_wcstoutf8(text, len, out.data(), static_cast<int32_t>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::vector<CliDiag> cliDiags(const RDA_CliErrorList& list) {
  std::vector<CliDiag> all;
  if (list.ring.next == nullptr) return all;
  for (const RDA_CliErrLink* l = list.ring.next; l != &list.ring; l = l->next) {
    const auto* e = static_cast<const RDA_CliError*>(l);
    all.push_back(CliDiag{utf8(e->sqlState), e->nativeError, utf8(e->message)});
  }
  return all;
}

CliDiag lastDiag(const RDA_CliErrorList& list) {
  std::vector<CliDiag> all = cliDiags(list);
  return all.empty() ? CliDiag{} : all.back();
}
