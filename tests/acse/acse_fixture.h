// Shared by the ACSE tests: APDUs worked out by hand (X.690 over the ASN.1
// of ISO 8650, with the private extensions of this system; inner elements
// are written out, the lengths of the outer wrappers are counted by tlv()),
// and a fixture that decodes and encodes them with a presentation context 1
// whose values are INTEGERs (for user information).
#pragma once

#include "asn1/pcontext_fixture.h"
#include "src/acse/acse_apdu.h"

namespace acsebytes {

// An element whose identifier takes several octets.
inline Bytes tlvId(const Bytes& id, const Bytes& contents) {
  const Bytes one = tlv(0x00, contents);  // length octets after a dummy identifier
  return id + Bytes(one.begin() + 1, one.end());
}
inline Bytes private99(const Bytes& contents) { return tlvId(hex("FF 63"), contents); }

// EXTERNAL: indirect reference 1, single-ASN.1-type INTEGER n (n < 128).
inline Bytes external(uint8_t n) { return hex("28 08 02 01 01 A0 03 02 01") + Bytes{n}; }

// {1 2 3 4}
inline const Bytes kContextName = hex("A1 05 06 03 2A 03 04");
// QoS 1-6 and {1 2}.
inline const Bytes kQos = hex("30 15 02 01 01 02 01 02 02 01 03 02 01 04 02 01 05 02 01 06 06 01 2A");
// Presentation address with network address 01 02 only.
inline const Bytes kPaddrN = hex("30 08 A3 06 31 04 04 02 01 02");
// RDN { 2.5.4.3 = PrintableString "A" }
inline const Bytes kRdnA = hex("31 0A 30 08 06 03 55 04 03 13 01 41");

inline const Bytes kConnParamsFull = private99(tlv(
    0x30, hex("A0 03 02 01 01")                          // [0] normal mode
              + tlv(0xA1, kPaddrN)                       // [1] calling address
              + hex("A2 0F 30 0D A0 03 04 01 AA A3 06 31 04 04 02 01 02")  // [2] with P-selector AA
              + hex("A3 0C 30 0A 06 04 52 01 00 01 06 02 2A 03")           // [3] {2 2 1 0 1} {1 2 3}
              + hex("A4 04 06 02 2A 03")                 // [4] {1 2 3}
              + tlv(0xA5, kQos)                          // [5]
              + hex("A6 04 03 02 06 C0")                 // [6] 2 bits 11
              + hex("A7 05 03 03 00 02 01")              // [7] 16 bits, word 0x0102
              + hex("A8 03 02 01 00 A9 03 02 01 15")     // [8] [9]
              + hex("AA 03 02 01 02 AB 03 02 01 00")));  // [10] TP0TCP, [11] class 0

inline const Bytes kAarqFull = tlv(
    0x60, hex("80 02 07 80")                            // [0] version1
              + kContextName                            // [1]
              + hex("A2 04 06 02 2A 05")                // [2] {1 2 5}
              + hex("A3 03 02 01 07")                   // [3] 7
              + hex("A4 03 02 01 01 A5 03 02 01 02")    // [4] [5]
              + tlv(0xA6, tlv(0x30, kRdnA))             // [6] directory name
              + tlv(0xA7, kRdnA)                        // [7] RDN
              + hex("A8 04 02 02 01 2C A9 03 02 01 FF") // [8] 300, [9] -1
              + hex("8A 02 07 80")                      // [10] authentication
              + hex("8B 03 52 03 01")                   // [11] {2 2 3 1}
              + hex("AC 08 80 06") + text("secret")     // [12] [0] password
              + hex("9D 02") + text("v1")               // [29]
              + tlv(0xBE, external(5))                  // [30]
              + kConnParamsFull);                       // [PRIVATE 99]

inline const Bytes kConnResultFull = private99(tlv(
    0x30, tlv(0xA0, kPaddrN)                               // [0] responding address
              + hex("A1 08 30 06 02 01 00 02 01 02")       // [1] results 0, 2
              + hex("A2 03 02 01 00")                      // [2] acceptance
              + tlv(0xA3, kQos)                            // [3]
              + hex("A4 04 03 02 06 40")                   // [4] 2 bits 01
              + hex("A5 05 03 03 00 02 01")                // [5]
              + hex("A6 03 02 01 00 A7 03 02 01 15")));    // [6] [7]

inline const Bytes kAareFull = tlv(
    0x61, hex("80 02 07 80")                            // [0]
              + kContextName                            // [1]
              + hex("A2 03 02 01 01")                   // [2] rejected (permanent)
              + hex("A3 05 A1 03 02 01 0D")             // [3] service user, 13
              + hex("A4 04 06 02 2A 05 A5 03 02 01 07") // [4] [5]
              + hex("A6 03 02 01 01 A7 03 02 01 02")    // [6] [7]
              + hex("88 02 07 80")                      // [8]
              + hex("89 03 52 03 01")                   // [9]
              + hex("AA 05 81 03 00 AB CD")             // [10] [1] 16 bits
              + hex("9D 02") + text("v2")               // [29]
              + tlv(0xBE, external(6))                  // [30]
              + kConnResultFull);

inline const Bytes kRlrqFull = tlv(0x62, hex("80 01 01") + tlv(0xBE, external(5)));
inline const Bytes kRlreFull = tlv(0x63, hex("80 01 00") + tlv(0xBE, external(5)) + private99(hex("30 03 02 01 01")));
inline const Bytes kAbrtFull = tlv(0x64, hex("80 01 01 81 01 03") + tlv(0xBE, external(5)));

}  // namespace acsebytes

class AcseCodec : public ContextTest {
 protected:
  void SetUp() override {
    ContextTest::SetUp();
    define(1, 1, kAsInt, kTsBer);
  }

  // Decodes the first APDU of `bytes` (cut at `cuts`); the pass code in *err.
  static AcseApdu* decode(const Bytes& bytes, int32_t* err, std::initializer_list<size_t> cuts = {}) {
    SessionBuffer* chain = chainSplit(bytes, cuts);
    AcseApdu* apdu = nullptr;
    *err = parse(chain, [&] { apdu = static_cast<AcseApdu*>(aApdu(nullptr)); });
    freeChain(chain);
    return *err == 0 ? apdu : nullptr;
  }
  static int32_t decodeError(const Bytes& bytes) {
    int32_t err = 0;
    decode(bytes, &err);
    return err;
  }
  static Bytes encoded(AcseApdu* apdu) {
    return formatted([&] { return fApdu(apdu); });
  }
};

// The INTEGER a user-information EXTERNAL carries.
inline int32_t intOf(const ExternalValue& e) { return e.value != nullptr ? *static_cast<int32_t*>(e.value) : -999; }
