// ACSE APDU codec: every APDU against octets worked out by hand from X.690
// and the ASN.1 of ISO 8650 (with the private extensions of this system:
// the connection parameters and result in [PRIVATE 99], the release result
// of an RLRE, and the [PRIVATE 5] provider abort), and the decoder's
// defaults, bounds and errors.
#include <functional>

#include "acse/acse_fixture.h"

namespace {

TEST_F(AcseCodec, DescriptorsAreWellMade) { EXPECT_TRUE(ct_valid(kAcseApdu)); }

TEST_F(AcseCodec, AarqWithEveryElementRoundTrips) {
  int32_t err = -1;
  AcseApdu* apdu = decode(acsebytes::kAarqFull, &err);
  ASSERT_EQ(err, 0);
  ASSERT_NE(apdu, nullptr);
  EXPECT_EQ(apdu->code, AC_APDU_AARQ);
  const AcAarq& q = apdu->aarq;
  EXPECT_EQ(q.presence, 0xFFFDu);
  EXPECT_EQ(q.protocolVersion, 128u);
  ASSERT_EQ(q.contextName.count, 4u);
  EXPECT_EQ(q.contextName.arcs[3], 4u);
  EXPECT_EQ(q.calledApTitle.kind, UL_TITLE_OBJID);
  EXPECT_EQ(q.calledApTitle.objId.arcs[2], 5u);
  EXPECT_EQ(q.calledAeQual.kind, UL_QUAL_INTEGER);
  EXPECT_EQ(q.calledAeQual.integer, 7);
  EXPECT_EQ(q.calledApInvoke, 1);
  EXPECT_EQ(q.calledAeInvoke, 2);
  EXPECT_EQ(q.callingApTitle.kind, UL_TITLE_DN);
  ASSERT_NE(q.callingApTitle.dn, nullptr);
  EXPECT_EQ(q.callingApTitle.dn->count, 1u);
  EXPECT_EQ(q.callingAeQual.kind, UL_QUAL_RDN);
  ASSERT_NE(q.callingAeQual.rdn, nullptr);
  EXPECT_EQ(q.callingAeQual.rdn->count, 1u);
  EXPECT_EQ(q.callingApInvoke, 300);
  EXPECT_EQ(q.callingAeInvoke, -1);
  EXPECT_EQ(q.acseRequirements, kAcAuthenticationFU);
  ASSERT_EQ(q.mechanismName.count, 4u);
  EXPECT_EQ(q.mechanismName.arcs[0], 2u);
  EXPECT_EQ(q.authValue.kind, UL_AUTH_STRING);
  EXPECT_STREQ(q.authValue.string, "secret");
  EXPECT_STREQ(q.implementationInfo, "v1");
  ASSERT_EQ(q.userInfo.count, 1u);
  EXPECT_EQ(q.userInfo.ext[0].context, 1);
  EXPECT_EQ(intOf(q.userInfo.ext[0]), 5);

  const AcConnParams& p = q.connParams;
  EXPECT_EQ(p.presence, AC_CP_CONTEXTS | AC_CP_DEFAULT_CONTEXT | AC_CP_PRES_REQUIREMENTS | AC_CP_SYNC_POINT |
                            AC_CP_TOKENS | AC_CP_NSERVICE | AC_CP_TCLASS);
  EXPECT_EQ(p.presentationMode, 1);
  EXPECT_EQ(p.callingAddress.mask, 0u);
  EXPECT_EQ(p.calledAddress.mask, UL_PADDR_PSEL);
  ASSERT_EQ(p.contextCount, 2u);
  EXPECT_EQ(p.contexts[0].count, 5u);
  EXPECT_EQ(p.contexts[1].count, 3u);
  EXPECT_EQ(p.defaultContext.count, 3u);
  EXPECT_EQ(p.qos.value[0], 1);
  EXPECT_EQ(p.qos.value[5], 6);
  EXPECT_EQ(p.qos.objId.count, 2u);
  EXPECT_EQ(p.presRequirements, 0xC0u);
  EXPECT_EQ(p.sessRequirements, 0x0102u);
  EXPECT_EQ(p.initialSyncPoint, 0);
  EXPECT_EQ(p.initialTokens, 0x15);
  EXPECT_EQ(p.networkService, 2);
  EXPECT_EQ(p.transportClass, 0);

  EXPECT_EQ(encoded(apdu), acsebytes::kAarqFull);

  // The same octets cut into two buffers anywhere.
  for (size_t cut = 1; cut < acsebytes::kAarqFull.size(); ++cut) {
    ASSERT_NE(decode(acsebytes::kAarqFull, &err, {cut}), nullptr) << "cut at " << cut << ": " << err;
  }
}

TEST_F(AcseCodec, AareWithEveryElementRoundTrips) {
  int32_t err = -1;
  AcseApdu* apdu = decode(acsebytes::kAareFull, &err);
  ASSERT_EQ(err, 0);
  ASSERT_NE(apdu, nullptr);
  EXPECT_EQ(apdu->code, AC_APDU_AARE);
  const AcAare& r = apdu->aare;
  EXPECT_EQ(r.presence, 0x3FF1u);
  EXPECT_EQ(r.result, AC_RESULT_REJECTED_PERMANENT);
  EXPECT_EQ(r.resultSource, AC_SOURCE_USER);
  EXPECT_EQ(r.diagnostic, 13u);
  EXPECT_EQ(r.respApTitle.kind, UL_TITLE_OBJID);
  EXPECT_EQ(r.respAeQual.integer, 7);
  EXPECT_EQ(r.respApInvoke, 1);
  EXPECT_EQ(r.respAeInvoke, 2);
  EXPECT_EQ(r.acseRequirements, 128u);
  EXPECT_EQ(r.mechanismName.count, 4u);
  EXPECT_EQ(r.authValue.kind, UL_AUTH_BITSTRING);
  EXPECT_EQ(r.authValue.bits, 0xCDABu);
  EXPECT_STREQ(r.implementationInfo, "v2");
  ASSERT_EQ(r.userInfo.count, 1u);
  EXPECT_EQ(intOf(r.userInfo.ext[0]), 6);
  const AcConnResult& c = r.connResult;
  EXPECT_EQ(c.presence, AC_CR_RESPONDING_ADDRESS | AC_CR_PRES_REQUIREMENTS | AC_CR_SYNC_POINT | AC_CR_TOKENS);
  ASSERT_EQ(c.contextResultCount, 2);
  EXPECT_EQ(c.contextResults[0], 0);
  EXPECT_EQ(c.contextResults[1], 2);
  EXPECT_EQ(c.presentationResult, 0);
  EXPECT_EQ(c.qos.value[2], 3);
  EXPECT_EQ(c.presRequirements, 0x40u);
  EXPECT_EQ(c.sessRequirements, 0x0102u);
  EXPECT_EQ(c.initialTokens, 0x15);
  EXPECT_EQ(encoded(apdu), acsebytes::kAareFull);
}

TEST_F(AcseCodec, ReleaseAbortAndProviderAbortRoundTrip) {
  int32_t err = -1;
  AcseApdu* rlrq = decode(acsebytes::kRlrqFull, &err);
  ASSERT_NE(rlrq, nullptr) << err;
  EXPECT_EQ(rlrq->code, AC_APDU_RLRQ);
  EXPECT_EQ(rlrq->rlrq.presence, AC_RLS_REASON | AC_RLS_USER_INFO);
  EXPECT_EQ(rlrq->rlrq.reason, 1);
  EXPECT_EQ(intOf(rlrq->rlrq.userInfo.ext[0]), 5);
  EXPECT_EQ(encoded(rlrq), acsebytes::kRlrqFull);

  AcseApdu* rlre = decode(acsebytes::kRlreFull, &err);
  ASSERT_NE(rlre, nullptr) << err;
  EXPECT_EQ(rlre->code, AC_APDU_RLRE);
  EXPECT_EQ(rlre->rlre.presence, AC_RLS_REASON | AC_RLS_USER_INFO | AC_RLRE_RELEASE_RESULT);
  EXPECT_EQ(rlre->rlre.reason, 0);
  EXPECT_EQ(rlre->rlre.releaseResult, 1);
  EXPECT_EQ(encoded(rlre), acsebytes::kRlreFull);

  AcseApdu* abrt = decode(acsebytes::kAbrtFull, &err);
  ASSERT_NE(abrt, nullptr) << err;
  EXPECT_EQ(abrt->code, AC_APDU_ABRT);
  EXPECT_EQ(abrt->abrt.presence, AC_ABRT_DIAGNOSTIC | AC_ABRT_USER_INFO);
  EXPECT_EQ(abrt->abrt.source, AC_ABORT_PROVIDER);
  EXPECT_EQ(abrt->abrt.diagnostic, 3u);
  EXPECT_EQ(encoded(abrt), acsebytes::kAbrtFull);

  AcseApdu* pabrt = decode(hex("E5 03 02 01 FF"), &err);
  ASSERT_NE(pabrt, nullptr) << err;
  EXPECT_EQ(pabrt->code, 24581u);
  EXPECT_EQ(pabrt->pabrt.reason, -1);
  EXPECT_EQ(encoded(pabrt), hex("E5 03 02 01 FF"));
}

TEST_F(AcseCodec, EmptyApdusAreConstructed) {
  AcseApdu apdu{};
  apdu.code = AC_APDU_RLRQ;
  EXPECT_EQ(encoded(&apdu), hex("62 00"));
  apdu.code = AC_APDU_RLRE;
  EXPECT_EQ(encoded(&apdu), hex("63 00"));
  apdu.code = AC_APDU_ABRT;
  EXPECT_EQ(encoded(&apdu), hex("64 03 80 01 00"));
  int32_t err = -1;
  AcseApdu* back = decode(hex("62 00"), &err);
  ASSERT_NE(back, nullptr) << err;
  EXPECT_EQ(back->rlrq.presence, 0u);
}

TEST_F(AcseCodec, DecoderDefaults) {
  int32_t err = -1;
  // An AARQ of only its context name: version1 without its presence bit,
  // and [0] is not written back.
  const Bytes bare = tlv(0x60, acsebytes::kContextName);
  AcseApdu* apdu = decode(bare, &err);
  ASSERT_NE(apdu, nullptr) << err;
  EXPECT_EQ(apdu->aarq.protocolVersion, 128u);
  EXPECT_EQ(apdu->aarq.presence, 0u);
  EXPECT_EQ(encoded(apdu), bare);

  // Connection parameters without [10] and [11]: network service 0,
  // transport class 4, their bits clear, and not written back.
  const Bytes params = acsebytes::private99(tlv(
      0x30, hex("A0 03 02 01 00") + tlv(0xA1, acsebytes::kPaddrN) + tlv(0xA2, acsebytes::kPaddrN) +
                tlv(0xA5, acsebytes::kQos) + hex("A7 05 03 03 00 02 01")));
  const Bytes aarq = tlv(0x60, acsebytes::kContextName + params);
  apdu = decode(aarq, &err);
  ASSERT_NE(apdu, nullptr) << err;
  EXPECT_EQ(apdu->aarq.presence, AC_AARQ_CONN_PARAMS);
  EXPECT_EQ(apdu->aarq.connParams.presence, 0u);
  EXPECT_EQ(apdu->aarq.connParams.presentationMode, 0);
  EXPECT_EQ(apdu->aarq.connParams.networkService, 0);
  EXPECT_EQ(apdu->aarq.connParams.transportClass, 4);
  EXPECT_EQ(encoded(apdu), aarq);

  // The alternatives of result-source-diagnostic.
  for (const auto& [choice, source] : {std::pair{hex("A1 03 02 01 02"), AC_SOURCE_USER},
                                       std::pair{hex("A2 03 02 01 02"), AC_SOURCE_PROVIDER}}) {
    const Bytes aare = tlv(0x61, acsebytes::kContextName + hex("A2 03 02 01 02") + tlv(0xA3, choice));
    apdu = decode(aare, &err);
    ASSERT_NE(apdu, nullptr) << err;
    EXPECT_EQ(apdu->aare.resultSource, source);
    EXPECT_EQ(apdu->aare.diagnostic, 2u);
    EXPECT_EQ(apdu->aare.result, AC_RESULT_REJECTED_TRANSIENT);
    EXPECT_EQ(encoded(apdu), aare);
  }
}

TEST_F(AcseCodec, EndOfDataGivesNullWithoutError) {
  SessionBuffer* chain = chainOf({acsebytes::kRlrqFull});
  void* first = nullptr;
  void* second = &first;
  QvSetOsiError(0);
  EXPECT_EQ(parse(chain, [&] {
              first = aApdu(nullptr);
              second = aApdu(nullptr);
            }),
            0);
  freeChain(chain);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(QvGetOsiError(), 0u);
}

TEST_F(AcseCodec, UserInformationHoldsAtMostFourExternals) {
  Bytes four;
  for (uint8_t i = 1; i <= 4; ++i) four = four + acsebytes::external(i);
  int32_t err = -1;
  AcseApdu* apdu = decode(tlv(0x62, tlv(0xBE, four)), &err);
  ASSERT_NE(apdu, nullptr) << err;
  ASSERT_EQ(apdu->rlrq.userInfo.count, 4u);
  EXPECT_EQ(intOf(apdu->rlrq.userInfo.ext[3]), 4);
  EXPECT_EQ(encoded(apdu), tlv(0x62, tlv(0xBE, four))) << "in their order";

  EXPECT_EQ(decodeError(tlv(0x62, tlv(0xBE, four + acsebytes::external(5)))), AAE_SEQOFOVFLO);
  apdu->rlrq.userInfo.count = 5;
  EXPECT_EQ(formatError([&] { return fApdu(apdu); }), AAE_SEQOFOVFLO) << "never beyond the array";

  // An empty list is read as no entries.
  apdu = decode(hex("62 02 BE 00"), &err);
  ASSERT_NE(apdu, nullptr) << err;
  EXPECT_EQ(apdu->rlrq.presence, AC_RLS_USER_INFO);
  EXPECT_EQ(apdu->rlrq.userInfo.count, 0u);
  EXPECT_EQ(encoded(apdu), hex("62 02 BE 00"));
}

TEST_F(AcseCodec, ContextListsAreBounded) {
  auto withContexts = [](const Bytes& list) {
    const Bytes params = acsebytes::private99(tlv(
        0x30, hex("A0 03 02 01 01") + tlv(0xA1, acsebytes::kPaddrN) + tlv(0xA2, acsebytes::kPaddrN) +
                  tlv(0xA3, tlv(0x30, list)) + tlv(0xA5, acsebytes::kQos) + hex("A7 05 03 03 00 02 01")));
    return tlv(0x60, acsebytes::kContextName + params);
  };
  Bytes names;
  for (int i = 0; i < 32; ++i) names = names + hex("06 02 2A 03");
  int32_t err = -1;
  AcseApdu* apdu = decode(withContexts(names), &err);
  ASSERT_NE(apdu, nullptr) << err;
  EXPECT_EQ(apdu->aarq.connParams.contextCount, 32u);
  EXPECT_EQ(decodeError(withContexts(names + hex("06 02 2A 03"))), AAE_SEQOFOVFLO);
  EXPECT_EQ(decodeError(withContexts({})), AAE_OVFLO);
  EXPECT_EQ(decodeError(withContexts(hex("02 01 01"))), AAE_MSGPARAM) << "an item that is no OBJECT IDENTIFIER";
}

// An AARE whose connection result has the given QoS SEQUENCE, with `extra`
// appended to its contents.
Bytes aareWithQos(const Bytes& qos, const Bytes& extra) {
  const Bytes q = tlv(0x30, slice(qos, 2, qos.size() - 2) + extra);
  const Bytes result = acsebytes::private99(
      tlv(0x30, hex("A1 05 30 03 02 01 00 A2 03 02 01 00") + tlv(0xA3, q) + hex("A5 05 03 03 00 02 01")));
  return tlv(0x61, acsebytes::kContextName + hex("A2 03 02 01 00 A3 05 A1 03 02 01 00") + result);
}

TEST_F(AcseCodec, MalformedApdus) {
  const Bytes ctx = acsebytes::kContextName;
  struct Case {
    const char* what;
    Bytes wire;
    int32_t err;
  };
  const Case cases[] = {
      {"AARQ without its context name", hex("60 04 80 02 07 80"), AAE_MSGPARAM},
      {"AARE without result", tlv(0x61, ctx + hex("A3 05 A1 03 02 01 00")), AAE_MSGPARAM},
      {"AARE without result-source-diagnostic", tlv(0x61, ctx + hex("A2 03 02 01 00")), AAE_MSGPARAM},
      {"ABRT without source", hex("64 03 81 01 01"), AAE_MSGPARAM},
      {"[1] not closed after its OBJECT IDENTIFIER", hex("60 09 A1 07 06 03 2A 03 04 05 00"), AAE_REQEOC},
      {"[3] with an INTEGER and more", tlv(0x60, ctx + hex("A3 06 02 01 07 02 01 08")), AAE_REQEOC},
      {"element after the last", tlv(0x62, hex("80 01 01 05 00")), AAE_REQEOC},
      {"element out of order", tlv(0x62, tlv(0xBE, {}) + hex("80 01 01")), AAE_REQEOC},
      {"[12] holding nothing", tlv(0x60, ctx + hex("AC 00")), AAE_MSGPARAM},
      {"[12] other form", tlv(0x60, ctx + hex("8B 03 52 03 01 AC 02 83 00")), AAE_MSGPARAM},
      {"[12] other form, mechanism 0", tlv(0x60, ctx + hex("8B 02 02 01 AC 02 83 00")), AAE_MSGPARAM},
      {"[12] unknown alternative", tlv(0x60, ctx + hex("AC 02 84 00")), AAE_NOTINCHOICE},
      {"[12] password of 16 octets", tlv(0x60, ctx + hex("AC 12 80 10") + text("0123456789abcdef")), AAE_OVFLO},
      {"result-source [3]", tlv(0x61, ctx + hex("A2 03 02 01 00 A3 05 A3 03 02 01 00")), AAE_NOTINCHOICE},
      {"unknown outer identifier", hex("65 00"), AAE_NOTINCHOICE},
      {"QoS with an element after its OBJECT IDENTIFIER", aareWithQos(acsebytes::kQos, hex("05 00")), AAE_REQEOC},
      {"QoS without its OBJECT IDENTIFIER", aareWithQos(hex("30 12") + slice(acsebytes::kQos, 2, 18), {}),
       AAE_MSGPARAM},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeError(c.wire), c.err) << c.what;
}

TEST_F(AcseCodec, ExtensibilityToleratesWhatItMayAndIsRestored) {
  const Bytes ctx = acsebytes::kContextName;
  aaextensibility = 1;
  int32_t err = -1;
  AcseApdu* apdu = decode(hex("65 03 02 01 01"), &err);
  ASSERT_NE(apdu, nullptr) << err;
  EXPECT_EQ(apdu->code, 0x2005u) << "an unknown APDU keeps its code";
  EXPECT_EQ(formatError([&] { return fApdu(apdu); }), AAE_NONSPEC);

  apdu = decode(tlv(0x62, hex("80 01 01 05 00 05 00")), &err);
  ASSERT_NE(apdu, nullptr) << err << ": trailing elements skipped";
  EXPECT_EQ(apdu->rlrq.reason, 1);
  apdu = decode(aareWithQos(acsebytes::kQos, hex("05 00 02 01 07")), &err);
  ASSERT_NE(apdu, nullptr) << err << ": trailing elements of the QoS skipped";
  EXPECT_EQ(apdu->aare.connResult.qos.value[5], 6);

  apdu = decode(tlv(0x60, ctx + hex("AC 12 80 10") + text("0123456789abcdef")), &err);
  ASSERT_NE(apdu, nullptr) << err;
  EXPECT_STREQ(apdu->aarq.authValue.string, "0123456789abcde") << "truncated to 15 and its NUL";
  EXPECT_EQ(aaextensibility, 1u);

  // A value parsed inside user information that changes the flag does not
  // leave it changed.
  aaextensibility = 0;
  table_.entries[kAsInt].parse = [](void* arg) -> void* {
    aaextensibility = 1;
    return prsInt(arg);
  };
  apdu = decode(acsebytes::kRlrqFull, &err);
  EXPECT_NE(apdu, nullptr) << err;
  EXPECT_EQ(aaextensibility, 0u);
}

TEST_F(AcseCodec, EncoderRefusesKindsOutsideTheirChoice) {
  // A fresh AARE for each change (its rings cannot be copied by value).
  auto changed = [&](const std::function<void(AcseApdu&)>& change) {
    int32_t err = -1;
    AcseApdu* apdu = decode(acsebytes::kAareFull, &err);
    EXPECT_NE(apdu, nullptr) << err;
    if (apdu != nullptr) change(*apdu);
    return apdu;
  };
  const std::function<void(AcseApdu&)> refused[] = {
      [](AcseApdu& a) { a.aare.resultSource = 0; },
      [](AcseApdu& a) { a.aare.authValue.kind = 16388; },
      [](AcseApdu& a) { a.aare.respApTitle.kind = 2; },
      [](AcseApdu& a) { a.aare.respAeQual.kind = 6; },
      [](AcseApdu& a) { a.code = 8197; },
  };
  for (const auto& change : refused) {
    AcseApdu* apdu = changed(change);
    EXPECT_EQ(formatError([&] { return fApdu(apdu); }), AAE_NONSPEC);
  }

  // The other form writes an empty [3]: no mechanism writes anything.
  AcseApdu* apdu = changed([](AcseApdu& a) {
    a.aare.presence = AC_AARE_MECHANISM | AC_AARE_AUTH_VALUE;
    a.aare.authValue.kind = UL_AUTH_OTHER;
  });
  EXPECT_EQ(encoded(apdu), tlv(0x61, acsebytes::kContextName + hex("A2 03 02 01 01 A3 05 A1 03 02 01 0D") +
                                         hex("89 03 52 03 01 AA 02 83 00")));
}

TEST_F(AcseCodec, IndefiniteLengthsAreRead) {
  // RLRQ, [30] and the EXTERNAL of indefinite length.
  const Bytes wire = hex("62 80 80 01 01 BE 80 28 80 02 01 01 A0 80 02 01 05 00 00 00 00 00 00 00 00");
  int32_t err = -1;
  AcseApdu* apdu = decode(wire, &err);
  ASSERT_NE(apdu, nullptr) << err;
  EXPECT_EQ(apdu->rlrq.reason, 1);
  EXPECT_EQ(intOf(apdu->rlrq.userInfo.ext[0]), 5);
  EXPECT_EQ(encoded(apdu), acsebytes::kRlrqFull) << "written back in definite form";
}

}  // namespace
