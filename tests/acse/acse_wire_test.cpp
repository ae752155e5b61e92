// An outside decoder's view of our ACSE APDUs: an AARQ and an AARE built
// and encoded here travel in a presentation CP and CPA written out by hand,
// in the S-CONNECT user data of two session record sets joined by the
// in-memory wire, each SPDU in a TPKT and a COTP data TPDU; tshark's TPKT,
// COTP, session, presentation and ACSE dissectors read them.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "acse/acse_fixture.h"
#include "src/acse/acse_bld.h"
#include "src/session/session_ind.h"
#include "support/session_wire.h"
#include "support/tpkt_capture.h"

namespace {

class AcseWire : public AcseCodec {
 protected:
  uint32_t ctxArcs_[4] = {1, 2, 3, 4};
  ObjIdV ctx_{4, ctxArcs_};

  static UL_APTitle title(uint32_t* arcs) {
    UL_APTitle t{};
    t.kind = UL_TITLE_OBJID;
    t.objId = ObjIdV{3, arcs};
    return t;
  }
  static UL_AEQual qualifier(int64_t n) {
    UL_AEQual q{};
    q.kind = UL_QUAL_INTEGER;
    q.integer = n;
    return q;
  }
};

// CP: normal mode, selectors 1 and 2, context 1 = ACSE {2 2 1 0 1} in BER
// {2 1 1}, the AARQ as a single ASN.1 type of context 1.
Bytes cpAround(const Bytes& aarq) {
  const Bytes pdv = tlv(0x30, hex("02 01 01") + tlv(0xA0, aarq));
  const Bytes normal = hex("81 04 00 00 00 01 82 04 00 00 00 02") +
                       hex("A4 11 30 0F 02 01 01 06 04 52 01 00 01 30 04 06 02 51 01") + tlv(0x61, pdv);
  return tlv(0x31, hex("A0 03 80 01 01") + tlv(0xA2, normal));
}

// CPA: normal mode, responding selector 2, context 1 accepted in BER, the
// AARE as a single ASN.1 type of context 1.
Bytes cpaAround(const Bytes& aare) {
  const Bytes pdv = tlv(0x30, hex("02 01 01") + tlv(0xA0, aare));
  const Bytes normal = hex("83 04 00 00 00 02") + hex("A5 09 30 07 80 01 00 81 02 51 01") + tlv(0x61, pdv);
  return tlv(0x31, hex("A0 03 80 01 01") + tlv(0xA2, normal));
}

// A TPKT holding a COTP data TPDU (last unit) holding the SPDU.
std::string tpkt(const std::vector<uint8_t>& spdu) {
  std::string p = {0x03, 0x00, 0, 0, 0x02, static_cast<char>(0xF0), static_cast<char>(0x80)};
  p.append(spdu.begin(), spdu.end());
  p[2] = static_cast<char>(p.size() >> 8);
  p[3] = static_cast<char>(p.size() & 0xFF);
  return p;
}

std::string str(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST_F(AcseWire, TsharkDecodesOurAarqAndAare) {
  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";

  // The APDUs, built and encoded by the ACSE code.
  uint32_t calledArcs[3] = {1, 2, 5}, callingArcs[3] = {1, 2, 6}, mechArcs[4] = {2, 2, 3, 1};
  const UL_AEQual called = qualifier(7), calling = qualifier(8);
  const int32_t zero = 0;
  const uint32_t authentication = kAcAuthenticationFU;
  const ObjIdV mech{4, mechArcs};
  AcAuthValue pw{};
  pw.kind = UL_AUTH_STRING;
  std::strcpy(pw.string, "secret");
  char impl[] = "rda 1.0";
  AcseApdu aarq{};
  ASSERT_EQ(ac_bldAARQ(&aarq, &ctx_, title(calledArcs), &called, nullptr, nullptr, title(callingArcs), &calling,
                       &zero, &zero, &authentication, &mech, &pw, impl, 0, nullptr),
            1);
  const Bytes aarqBytes = encoded(&aarq);
  ASSERT_FALSE(aarqBytes.empty());
  ASSERT_EQ(slice(aarqBytes, 2, 4), hex("80 02 07 80")) << "protocol version first";
  AcseApdu aare{};
  ASSERT_EQ(ac_bldAARE(&aare, &ctx_, AC_RESULT_ACCEPTED, AC_SOURCE_USER, 0, title(calledArcs), &called, nullptr,
                       nullptr, &authentication, nullptr, nullptr, nullptr, 0, nullptr),
            1);
  const Bytes aareBytes = encoded(&aare);
  ASSERT_FALSE(aareBytes.empty());

  // S-CONNECT carrying the CP, accepted with the CPA.
  std::vector<CapturedTpkt> packets;
  {
    SessionWire w;
    SAddress peer{};
    peer.ssap = w.selector(SessionWire::B).ssap;
    SIDU req{};
    req.requirements = SR_DUPLEX;
    req.version = 2;
    req.address = &peer;
    w.enter(SessionWire::A);
    req.userData = w.buffer(str(cpAround(aarqBytes)));
    ASSERT_NE(w.connect(&req), nullptr);
    w.pump();
    ASSERT_EQ(w.seen(SessionWire::B).size(), 1u);
    EXPECT_EQ(w.seen(SessionWire::B)[0].sidu.event, SI_CON_IND);
    SIDU acc{};
    acc.event = 13;
    acc.requirements = SR_DUPLEX;
    w.enter(SessionWire::B);
    acc.userData = w.buffer(str(cpaAround(aareBytes)));
    ASSERT_EQ(w.request(SessionWire::B, &acc), 1);
    w.pump();
    ASSERT_EQ(w.sent(SessionWire::A).size(), 1u);
    ASSERT_EQ(w.sent(SessionWire::B).size(), 1u);
    packets.push_back({true, tpkt(w.sent(SessionWire::A)[0])});
    packets.push_back({false, tpkt(w.sent(SessionWire::B)[0])});
  }

  char dir[] = "/tmp/acsedecodeXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  TsharkDecode how;
  how.presentation = true;
  how.fields = {"ses.type",          "acse.aSO_context_name", "acse.ap_title_form2", "acse.aso_qualifier_form2",
                "acse.mechanism_name", "acse.charstring",      "acse.result",         "acse.service_user"};
  const TsharkView view = decodeTpktTraffic(packets, dir, 102, how);
  std::system(("rm -rf " + std::string(dir)).c_str());
  ASSERT_EQ(view.error, "");

  EXPECT_EQ(view.detail.find("Malformed"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Error"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Warning"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("BER Error"), std::string::npos) << view.detail;
  const size_t nl = view.fields.find('\n');
  ASSERT_NE(nl, std::string::npos) << view.fields;
  EXPECT_EQ(view.fields.substr(0, nl), "13;1.2.3.4;1.2.5,1.2.6;7,8;2.2.3.1;secret;;") << "CN with the AARQ";
  EXPECT_EQ(view.fields.substr(nl + 1, view.fields.find('\n', nl + 1) - nl - 1), "14;1.2.3.4;1.2.5;7;;;0;0")
      << "AC with the AARE";
  // Items the dissector names.
  for (const char* item : {"aarq", "protocol-version: 80", "1... .... = version1: True", "Padding: 7",
                           "calling-AP-invocation-identifier: 0", "calling-AE-invocation-identifier: 0",
                           "1... .... = authentication: True", "implementation-information: rda 1.0", "aare",
                           "result-source-diagnostic: service-user (1)", "abstract-syntax-name: 2.2.1.0.1 (id-as-acse)"})
    EXPECT_NE(view.detail.find(item), std::string::npos) << item << "\n" << view.detail;
}

}  // namespace
