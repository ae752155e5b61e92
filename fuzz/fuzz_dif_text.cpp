// Arbitrary text through the converters of directory entries and the trace
// mask parser: the values that come from configuration files and connection
// strings.
//
// Input: up to five lines, taken as P-selector, S-selector, network address,
// T-selector and AE title of one entry; the whole input is also given to
// each converter alone. The results must stay within their bounds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "src/asn1/ul_types.h"
#include "fuzz/fuzz_support.h"
#include "src/rdaclient/clicnf.h"
#include "src/runtime/dif.h"
#include "src/runtime/xm.h"

namespace {

// The converters take entry texts of at most 127 characters; longer values
// never reach them. The checks below hold for any input all the same.
constexpr size_t kMaxInput = 4096;

void convertAlone(XmTree* tree, const char* text) {
  (void)checkAddr(text);
  uint8_t out[kDifTextSize];
  if (DIFcvt_val(text, out, sizeof out) > static_cast<int32_t>(sizeof out)) __builtin_trap();
  if (DIFcvt_nsap(text, out, sizeof out) > static_cast<int32_t>(sizeof out)) __builtin_trap();
  (void)DIFcvt_tsap(text, out);
  UL_APTitle title{};
  UL_AEQual qual{};
  uint32_t flags = 0;
  if (DIFfetch_local_aetitle(tree, text, &flags, &title, &qual) == DIF_OK && title.objId.count > 0 &&
      title.objId.arcs == nullptr)
    __builtin_trap();
  int32_t v = 0;
  (void)DIFfetch_local_nserv(tree, text, &v);
  (void)DIFfetch_local_tclass(tree, text, &v);
  const char* p = text;
  if (set_up_ae_title(&p) != 0) {
    ++p;
    for (int i = 0; i < 1000 && getObjId(&p) >= 0; ++i) {
    }
  }
  uint32_t mask = 0;
  (void)parseTraceMask(text, &mask);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  XmTree* tree = _xm_allocTree(nullptr);
  if (tree == nullptr) std::abort();
  convertAlone(tree, text.c_str());

  std::vector<std::string> lines(5);
  size_t at = 0;
  for (std::string& line : lines) {
    const size_t end = text.find('\n', at);
    line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
  }
  UL_AEId ae{};
  if (DIFfetch_local_addr(tree, lines[0].c_str(), lines[1].c_str(), lines[2].c_str(), lines[3].c_str(),
                          &ae.pAddress) == DIF_OK) {
    const auto* node = reinterpret_cast<const UL_NaddrEntry*>(ae.pAddress.nAddrs.links.next);
    if (ae.pAddress.nAddrs.count != 1 || node->addr.length > kDifTextSize) __builtin_trap();
  }
  (void)DIFfetch_local_aetitle(tree, lines[4].c_str(), &ae.mask, &ae.apTitle, &ae.aeQual);
  _xm_freeTree(tree);
  return 0;
}
