// Small pieces shared by the PPDU and PDV codecs.
#pragma once

#include <cstdint>

#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"

// Whether the current parse level ends here; leaves it when it does. A level
// of definite length ends at its end only (two zero octets inside it are
// contents), one of indefinite length at its end-of-contents octets.
inline bool ps_levelEnds() {
  if (eop[lev] == nullptr) return ber_chkend() == 2;
  aa_normalise();
  if (aapdu != eop[lev]) return false;
  aa_leaveLevel();
  return true;
}

// aaextensibility set for a scope; the caller's setting comes back on every
// way out.
class PsExtensibility {
 public:
  explicit PsExtensibility(uint32_t on) : saved_(aaextensibility) { aaextensibility = on; }
  ~PsExtensibility() { aaextensibility = saved_; }
  PsExtensibility(const PsExtensibility&) = delete;
  PsExtensibility& operator=(const PsExtensibility&) = delete;

 private:
  uint32_t saved_;
};
