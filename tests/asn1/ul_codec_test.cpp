// Upper-layer naming values: presentation addresses, AP/AE titles with
// directory names, AE qualifiers, authentication values and AE identifiers.
// Octets worked out by hand from X.690 and the ASN.1 of ISO 8650 / X.519.
#include <functional>

#include "asn1/pcontext_fixture.h"
#include "src/asn1/ul_codec.h"
#include "src/runtime/dif.h"
#include "src/runtime/xm.h"

namespace {

class UlCodec : public ContextTest {
 protected:
  // Runs `body` in a parse pass over `bytes`, nothing opened; the whole
  // input must be used unless the pass failed.
  static int32_t read(const Bytes& bytes, const std::function<void()>& body) {
    SessionBuffer* chain = chainOf({bytes});
    const int32_t err = parse(chain, [&] {
      body();
      EXPECT_EQ(ber_peektype(), 0) << "input left over";
    });
    freeChain(chain);
    return err;
  }
  // read() of `bytes` cut into two buffers at every position; the first
  // code other than 0, with the cut in *where.
  static int32_t readEveryCut(const Bytes& bytes, const std::function<void()>& body, size_t* where) {
    for (size_t c = 1; c < bytes.size(); ++c) {
      SessionBuffer* chain = chainSplit(bytes, {c});
      const int32_t err = parse(chain, body);
      freeChain(chain);
      if (err != 0) {
        *where = c;
        return err;
      }
    }
    return 0;
  }
};

Bytes octetsOf(const OctStgV& v) { return Bytes(v.octets, v.octets + v.length); }
Bytes octetsOf(const BerAny& v) { return Bytes(v.pointer, v.pointer + v.length); }

const Bytes kPaddrOnlyN = hex("30 08 A3 06 31 04 04 02 01 02");
const Bytes kAeIdOnlyP = hex("30 0C A0 0A 30 08 A3 06 31 04 04 02 01 02");
// RDN { 2.5.4.3 = PrintableString "A" }
const Bytes kRdnA = hex("31 0A 30 08 06 03 55 04 03 13 01 41");

TEST_F(UlCodec, PresentationAddressWithOnlyNetworkAddresses) {
  UL_Paddress pa{};
  pa.mask = 0xFF;
  EXPECT_EQ(read(kPaddrOnlyN, [&] { EXPECT_EQ(aUL_Paddress(&pa), UINT32_MAX); }), 0);
  EXPECT_EQ(pa.mask, 0u);
  ASSERT_EQ(pa.nAddrs.count, 1u);
  EXPECT_EQ(octetsOf(reinterpret_cast<UL_NaddrEntry*>(pa.nAddrs.links.next)->addr), hex("01 02"));
  EXPECT_EQ(formatted([&] { return fUL_Paddress(&pa); }), kPaddrOnlyN);
}

TEST_F(UlCodec, PresentationAddressSelectorsAndSeveralNetworkAddresses) {
  const Bytes wire = hex("30 1D A0 03 04 01 AA A1 03 04 01 BB A2 03 04 01 CC A3 0C 31 0A 04 02 01 02 04 00 04 02 03 04");
  UL_Paddress pa{};
  EXPECT_EQ(read(wire, [&] { aUL_Paddress(&pa); }), 0);
  EXPECT_EQ(pa.mask, UL_PADDR_PSEL | UL_PADDR_SSEL | UL_PADDR_TSEL);
  EXPECT_EQ(octetsOf(pa.pSel), hex("AA"));
  EXPECT_EQ(octetsOf(pa.sSel), hex("BB"));
  EXPECT_EQ(octetsOf(pa.tSel), hex("CC"));
  EXPECT_EQ(pa.nAddrs.count, 3u);
  EXPECT_EQ(formatted([&] { return fUL_Paddress(&pa); }), wire) << "addresses in ring order";
  size_t cut = 0;
  EXPECT_EQ(readEveryCut(wire, [&] { aUL_Paddress(&pa); }, &cut), 0) << "cut at " << cut;
}

TEST_F(UlCodec, MalformedPresentationAddresses) {
  struct Case {
    const char* what;
    Bytes wire;
    int32_t err;
  };
  const Case cases[] = {
      {"no [3]", hex("30 05 A0 03 04 01 01"), AAE_MSGPARAM},
      {"empty SET of network addresses", hex("30 04 A3 02 31 00"), AAE_OVFLO},
      {"[3] wrapper with more inside", hex("30 0A A3 08 31 04 04 02 01 02 05 00"), AAE_REQEOC},
      {"[0] holding an INTEGER", hex("30 0D A0 03 02 01 01 A3 06 31 04 04 02 01 02"), AAE_MSGPARAM},
      {"a network address that is no OCTET STRING", hex("30 07 A3 05 31 03 02 01 01"), AAE_MSGPARAM},
      {"element after [3]", hex("30 0A A3 06 31 04 04 02 01 02 05 00"), AAE_REQEOC},
  };
  for (const Case& c : cases) {
    UL_Paddress pa{};
    EXPECT_EQ(read(c.wire, [&] { aUL_Paddress(&pa); }), c.err) << c.what;
  }
  UL_Paddress pa{};
  uint32_t got = 1;
  SessionBuffer* chain = chainOf({hex("31 00")});
  EXPECT_EQ(parse(chain, [&] { got = aUL_Paddress(&pa); }), 0);
  freeChain(chain);
  EXPECT_EQ(got, 0u) << "another identifier: not a presentation address";
}

TEST_F(UlCodec, AeIdentifierWithOnlyTheAddressTakesItsDefaults) {
  UL_AEId* id = nullptr;
  EXPECT_EQ(read(kAeIdOnlyP, [&] { id = aUL_AEId(); }), 0);
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id->mask, 0u);
  EXPECT_EQ(id->nService, 0);
  EXPECT_EQ(id->tClass, 4);
  EXPECT_EQ(id->pAddress.nAddrs.count, 1u);
  EXPECT_EQ(formatted([&] { return fUL_AEId(id); }), kAeIdOnlyP);
}

TEST_F(UlCodec, AeIdentifierWithEveryElementRoundTrips) {
  define(1, 1, kAsInt, kTsBer);
  const Bytes wire = hex(
      "30 3B"
      " A0 0A 30 08 A3 06 31 04 04 02 01 02"  // [0] address
      " A1 04 06 02 2A 03"                    // [1] AP title 1.2.3
      " A2 03 02 01 07"                       // [2] AE qualifier 7
      " A3 03 02 01 01 A4 03 02 01 02"        // [3] [4] invocation ids
      " A5 03 02 01 00 A6 03 02 01 04"        // [5] [6] written also at their defaults
      " A7 03 02 01 09"                       // [7]
      " A8 03 06 01 2B"                       // [8] 1.3
      " A9 04 80 02 70 77");                  // [9] password "pw"
  UL_AEId* id = nullptr;
  EXPECT_EQ(read(wire, [&] { id = aUL_AEId(); }), 0);
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id->mask, 0x3FEu);
  EXPECT_EQ(id->apTitle.kind, UL_TITLE_OBJID);
  ASSERT_EQ(id->apTitle.objId.count, 3u);
  EXPECT_EQ(id->apTitle.objId.arcs[2], 3u);
  EXPECT_EQ(id->aeQual.kind, UL_QUAL_INTEGER);
  EXPECT_EQ(id->aeQual.integer, 7);
  EXPECT_EQ(id->apInvokeId, 1);
  EXPECT_EQ(id->aeInvokeId, 2);
  EXPECT_EQ(id->integer7, 9);
  EXPECT_EQ(id->objId8.count, 2u);
  EXPECT_EQ(id->authVal.kind, UL_AUTH_STRING);
  EXPECT_STREQ(id->authVal.string, "pw");
  EXPECT_EQ(formatted([&] { return fUL_AEId(id); }), wire);

  size_t cut = 0;
  EXPECT_EQ(readEveryCut(wire, [&] { EXPECT_NE(aUL_AEId(), nullptr); }, &cut), 0) << "cut at " << cut;

  EXPECT_EQ(read(hex("30 05 A1 03 06 01 2B"), [&] { aUL_AEId(); }), AAE_MSGPARAM) << "no [0]";
  EXPECT_EQ(read(hex("30 12 A0 0A 30 08 A3 06 31 04 04 02 01 02 A9 04 84 02 70 77"), [&] { aUL_AEId(); }),
            AAE_MSGPARAM)
      << "[9] holding no authentication value";
}

TEST_F(UlCodec, AeQualifierForms) {
  UL_AEQual q{};
  EXPECT_EQ(read(hex("02 01 07"), [&] { aUL_AEQual(&q); }), 0);
  EXPECT_EQ(q.kind, UL_QUAL_INTEGER);
  EXPECT_EQ(q.integer, 7);
  EXPECT_EQ(formatted([&] { return fUL_AEQual(&q); }), hex("02 01 07"));
  q.integer = 0x100000005;
  EXPECT_EQ(formatted([&] { return fUL_AEQual(&q); }), hex("02 01 05")) << "the low 32 bits";
  q.integer = -1;
  EXPECT_EQ(formatted([&] { return fUL_AEQual(&q); }), hex("02 01 FF"));

  EXPECT_EQ(read(kRdnA, [&] { aUL_AEQual(&q); }), 0);
  EXPECT_EQ(q.kind, UL_QUAL_RDN);
  ASSERT_NE(q.rdn, nullptr);
  ASSERT_EQ(q.rdn->count, 1u);
  const UL_AVA& ava = reinterpret_cast<UL_RDNEntry*>(q.rdn->links.next)->ava;
  ASSERT_EQ(ava.type.count, 4u);
  EXPECT_EQ(ava.type.arcs[0], 2u);
  EXPECT_EQ(ava.type.arcs[3], 3u);
  EXPECT_EQ(octetsOf(ava.value), hex("13 01 41")) << "the value element as it stands";
  EXPECT_EQ(formatted([&] { return fUL_AEQual(&q); }), kRdnA);

  q.kind = 3;
  EXPECT_EQ(formatError([&] { return fUL_AEQual(&q); }), AAE_NONSPEC);
}

TEST_F(UlCodec, AeTitleForms) {
  UL_APTitle t{};
  t.kind = 99;
  uint32_t got = 1;
  EXPECT_EQ(read(Bytes{}, [&] { got = aUL_AETitle(&t); }), 0);
  EXPECT_EQ(got, 0u) << "nothing there";
  SessionBuffer* chain = chainOf({hex("02 01 05")});
  EXPECT_EQ(parse(chain, [&] { got = aUL_AETitle(&t); }), 0);
  freeChain(chain);
  EXPECT_EQ(got, 0u) << "neither form";
  EXPECT_EQ(t.kind, 99u) << "kind unchanged";
  chain = chainOf({hex("02 01 05")});
  EXPECT_EQ(parse(chain, [&] { aUL_AETitleDummy(&t); }), AAE_MSGPARAM);
  freeChain(chain);

  const Bytes dn = hex("30 0E 31 0C 30 0A 06 03 55 04 03 13 03 41 42 43");
  EXPECT_EQ(read(dn, [&] { aUL_APTitle(&t); }), 0);
  EXPECT_EQ(t.kind, UL_TITLE_DN);
  ASSERT_NE(t.dn, nullptr);
  EXPECT_EQ(t.dn->count, 1u);
  EXPECT_EQ(reinterpret_cast<UL_DNEntry*>(t.dn->links.next)->rdn->count, 1u);
  EXPECT_EQ(formatted([&] { return fUL_AETitleDummy(&t); }), dn);

  t.kind = 5;
  EXPECT_EQ(formatError([&] { return fUL_APTitle(&t); }), AAE_NONSPEC);
}

TEST_F(UlCodec, DirectoryNames) {
  UL_Ring* dn = nullptr;
  EXPECT_EQ(read(hex("30 00"), [&] { dn = aUL_DN(); }), 0);
  ASSERT_NE(dn, nullptr);
  EXPECT_EQ(dn->count, 0u) << "an empty DN";
  EXPECT_EQ(formatted([&] { return fUL_DN(dn); }), hex("30 00"));

  EXPECT_EQ(read(hex("31 00"), [&] { aUL_RDN(); }), AAE_OVFLO) << "an RDN without an AVA";
  EXPECT_EQ(read(hex("30 02 31 00"), [&] { aUL_DN(); }), AAE_OVFLO);
  EXPECT_EQ(read(hex("30 05 30 03 06 01 2B"), [&] { aUL_DN(); }), AAE_MSGPARAM) << "an RDN that is no SET";
  EXPECT_EQ(read(hex("31 05 30 03 06 01 2B"), [&] { aUL_RDN(); }), AAE_MSGPARAM) << "an AVA without its value";

  // Two RDNs of two AVAs each come back in ring order.
  const Bytes twoByTwo = hex(
      "30 2C 31 14 30 08 06 03 55 04 03 13 01 41 30 08 06 03 55 04 0A 13 01 42"
      " 31 14 30 08 06 03 55 04 03 13 01 43 30 08 06 03 55 04 0A 13 01 44");
  EXPECT_EQ(read(twoByTwo, [&] { dn = aUL_DN(); }), 0);
  ASSERT_NE(dn, nullptr);
  EXPECT_EQ(dn->count, 2u);
  EXPECT_EQ(formatted([&] { return fUL_DN(dn); }), twoByTwo);

  UL_Ring* none = nullptr;
  uint32_t after = 0;
  SessionBuffer* chain = chainOf({hex("02 01 05")});
  EXPECT_EQ(parse(chain, [&] {
              none = aUL_RDN();
              after = static_cast<uint32_t>(ber_peektype());
            }),
            0);
  freeChain(chain);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(after, 2u);
}

TEST_F(UlCodec, AuthenticationValueForms) {
  UL_AuthVal a{};
  EXPECT_EQ(read(hex("80 02 70 77"), [&] { aUL_AuthVal(&a); }), 0);
  EXPECT_EQ(a.kind, UL_AUTH_STRING);
  EXPECT_STREQ(a.string, "pw");
  EXPECT_EQ(read(tlv(0x80, text("123456789012345")), [&] { aUL_AuthVal(&a); }), 0) << "15 characters fit";
  EXPECT_EQ(read(tlv(0x80, text("1234567890123456")), [&] { aUL_AuthVal(&a); }), AAE_OVFLO)
      << "16 characters leave no room for the NUL";

  EXPECT_EQ(read(hex("81 03 00 AB CD"), [&] { aUL_AuthVal(&a); }), 0);
  EXPECT_EQ(a.kind, UL_AUTH_BITSTRING);
  EXPECT_EQ(a.bits, 0xCDABu);
  EXPECT_EQ(formatted([&] { return fUL_AuthVal(&a); }), hex("81 03 00 AB CD"));

  EXPECT_EQ(read(hex("83 00"), [&] { aUL_AuthVal(&a); }), AAE_MSGPARAM) << "the other form reads nothing";
  a.kind = UL_AUTH_OTHER;
  EXPECT_EQ(formatted([&] { return fUL_AuthVal(&a); }), hex("83 00"));
  a.kind = 16388;
  EXPECT_EQ(formatError([&] { return fUL_AuthVal(&a); }), AAE_NONSPEC);

  // [2]: an EXTERNAL with indirect reference 1 and a single-ASN.1-type INTEGER.
  define(1, 1, kAsInt, kTsBer);
  EXPECT_EQ(read(hex("A2 08 02 01 01 A0 03 02 01 2A"), [&] { aUL_AuthVal(&a); }), 0);
  EXPECT_EQ(a.kind, UL_AUTH_EXTERNAL);
  EXPECT_EQ(a.external.context, 1);
  ASSERT_NE(a.external.value, nullptr);
  EXPECT_EQ(*static_cast<int32_t*>(a.external.value), 42);
  int32_t v = 42;
  a = UL_AuthVal{};
  a.kind = UL_AUTH_EXTERNAL;
  a.external.context = 1;
  a.external.directRef.count = kObjIdAbsent;
  a.external.encoding = kEncSingleAsn1;
  a.external.value = &v;
  EXPECT_EQ(formatted([&] { return fUL_AuthVal(&a); }), hex("A2 08 02 01 01 A0 03 02 01 2A"));
}

TEST_F(UlCodec, NetworkServiceAndTransportClassAreIntegers) {
  int32_t v = 0;
  EXPECT_EQ(read(hex("02 01 05"), [&] { aUL_NService(&v); }), 0);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(formatted([&] { return fUL_TClass(&v); }), hex("02 01 05"));
}

TEST_F(UlCodec, AddressesAndTitlesTheDirectoryFillsAreWritten) {
  XmTree* tree = _xm_allocTree(nullptr);
  ASSERT_NE(tree, nullptr);
  UL_Paddress pa{};
  ASSERT_EQ(DIFfetch_local_addr(tree, "\"P\"", "", "1.2.3.4", "1", &pa), DIF_OK);
  EXPECT_EQ(formatted([&] { return fUL_Paddress(&pa); }),
            hex("30 15 A0 03 04 01 50 A2 04 04 02 00 01 A3 08 31 06 04 04 01 02 03 04"));
  uint32_t flags = 0;
  UL_APTitle title{};
  UL_AEQual qual{};
  ASSERT_EQ(DIFfetch_local_aetitle(tree, "{ 1 2 3 } 7", &flags, &title, &qual), DIF_OK);
  EXPECT_EQ(formatted([&] { return fUL_AETitle(&title); }), hex("06 02 2A 03"));
  EXPECT_EQ(formatted([&] { return fUL_AEQual(&qual); }), hex("02 01 07"));
  _xm_freeTree(tree);
}

TEST_F(UlCodec, DescriptorsAreWellMade) {
  EXPECT_TRUE(ct_valid(kUlAeId));
  EXPECT_TRUE(ct_valid(kUlApTitle));
  EXPECT_TRUE(ct_valid(kUlAeQual));
}

}  // namespace
