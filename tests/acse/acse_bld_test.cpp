// Building ACSE APDU records from service parameters and taking received
// ones apart; what is built is checked on the wire against octets worked
// out by hand.
#include <cstring>

#include "acse/acse_fixture.h"
#include "src/acse/acse_bld.h"
#include "src/acse/acsetls.h"

namespace {

class AcseBuild : public AcseCodec {
 protected:
  uint32_t arcs_[4] = {1, 2, 3, 4};
  ObjIdV ctx_{4, arcs_};
  uint32_t titleArcs_[3] = {1, 2, 5};
  int32_t five_ = 5;
  AcUserData user_[1] = {{1, 0, &five_}};

  UL_APTitle title() const {
    UL_APTitle t{};
    t.kind = UL_TITLE_OBJID;
    t.objId = ObjIdV{3, const_cast<uint32_t*>(titleArcs_)};
    return t;
  }
  static AcAuthValue password(const char* pw) {
    AcAuthValue a{};
    a.kind = UL_AUTH_STRING;
    std::strncpy(a.string, pw, sizeof a.string - 1);
    return a;
  }
};

TEST_F(AcseBuild, AarqBuiltIsWrittenAsWorkedOut) {
  AcseApdu rec{};
  UL_AEQual qual{};
  qual.kind = UL_QUAL_INTEGER;
  qual.integer = 7;
  const int32_t zero = 0;
  const AcAuthValue pw = password("pw");
  ASSERT_EQ(ac_bldAARQ(&rec, &ctx_, title(), &qual, nullptr, nullptr, UL_APTitle{}, nullptr, &zero, &zero, nullptr,
                       nullptr, &pw, nullptr, 1, user_),
            1);
  EXPECT_EQ(rec.code, AC_APDU_AARQ);
  EXPECT_EQ(rec.aarq.presence, AC_AARQ_VERSION | AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AE_QUAL |
                                   AC_AARQ_CALLING_AP_INVOKE | AC_AARQ_CALLING_AE_INVOKE | AC_AARQ_AUTH_VALUE |
                                   AC_AARQ_USER_INFO);
  EXPECT_EQ(rec.aarq.contextName.arcs, arcs_) << "arcs shared, not copied";
  const Bytes wire = hex(
      "60 32"
      " 80 02 07 80"                          // version1
      " A1 05 06 03 2A 03 04"                 // {1 2 3 4}
      " A2 04 06 02 2A 05"                    // called AP title {1 2 5}
      " A3 03 02 01 07"                       // called AE qualifier 7
      " A8 03 02 01 00 A9 03 02 01 00"        // calling invocation ids 0, 0
      " AC 04 80 02 70 77"                    // password "pw"
      " BE 0A 28 08 02 01 01 A0 03 02 01 05");  // EXTERNAL: context 1, INTEGER 5
  EXPECT_EQ(encoded(&rec), wire);

  // Taken apart after a round over the wire.
  int32_t err = -1;
  AcseApdu* back = decode(wire, &err);
  ASSERT_NE(back, nullptr) << err;
  ObjIdV ctx{};
  UL_APTitle called{}, calling{};
  calling.kind = 99;
  const UL_AEQual* calledQual = nullptr;
  const UL_AEQual* callingQual = &qual;
  const int32_t* calledAp = &zero;
  const int32_t* callingAe = nullptr;
  const uint32_t* req = &arcs_[0];
  const ObjIdV* mech = &ctx_;
  AcAuthValue auth{};
  char* impl = reinterpret_cast<char*>(1);
  uint32_t count = 4;
  AcUserData got[4]{};
  ASSERT_EQ(ac_tearAARQ(back, &ctx, &called, &calledQual, &calledAp, nullptr, &calling, &callingQual, nullptr,
                        &callingAe, &req, &mech, &auth, &impl, &count, got),
            1);
  EXPECT_EQ(ctx.count, 4u);
  EXPECT_EQ(called.kind, UL_TITLE_OBJID);
  EXPECT_EQ(called.objId.count, 3u);
  ASSERT_NE(calledQual, nullptr);
  EXPECT_EQ(calledQual->integer, 7);
  EXPECT_EQ(calledAp, nullptr);
  EXPECT_EQ(calling.kind, 0u) << "absent title: kind 0";
  EXPECT_EQ(callingQual, nullptr);
  ASSERT_NE(callingAe, nullptr);
  EXPECT_EQ(*callingAe, 0);
  EXPECT_EQ(req, nullptr);
  EXPECT_EQ(mech, nullptr);
  EXPECT_EQ(auth.kind, UL_AUTH_STRING);
  EXPECT_STREQ(auth.string, "pw");
  EXPECT_EQ(impl, nullptr);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(got[0].pctxId, 1u);
  EXPECT_EQ(*static_cast<int32_t*>(got[0].value), 5);
}

TEST_F(AcseBuild, AarqRefusals) {
  AcseApdu rec{};
  AcUserData five[5] = {user_[0], user_[0], user_[0], user_[0], user_[0]};
  QvSetAcError(0);
  EXPECT_EQ(ac_bldAARQ(&rec, &ctx_, UL_APTitle{}, nullptr, nullptr, nullptr, UL_APTitle{}, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, 5, five),
            0);
  EXPECT_EQ(QvGetAcError(), AC_ERR_TOO_MANY_USER_DATA);
  EXPECT_EQ(rec.aarq.userInfo.count, 0u) << "nothing of the five copied";

  const ObjIdV empty{0, nullptr};
  QvSetAcError(0);
  EXPECT_EQ(ac_bldAARQ(&rec, &empty, UL_APTitle{}, nullptr, nullptr, nullptr, UL_APTitle{}, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, 0, nullptr),
            0);
  EXPECT_EQ(QvGetAcError(), AC_ERR_NO_CONTEXT_NAME);

  EXPECT_EQ(ac_bldAARQ(&rec, &ctx_, UL_APTitle{}, nullptr, nullptr, nullptr, UL_APTitle{}, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, 0, user_),
            1);
  EXPECT_EQ(rec.aarq.presence, AC_AARQ_VERSION) << "no user data with a count of 0";
  EXPECT_EQ(encoded(&rec), tlv(0x60, hex("80 02 07 80") + acsebytes::kContextName));
}

TEST_F(AcseBuild, AareSourceAndTear) {
  AcseApdu rec{};
  const auto build = [&](uint32_t source) {
    return ac_bldAARE(&rec, &ctx_, AC_RESULT_REJECTED_PERMANENT, source, 2, UL_APTitle{}, nullptr, nullptr, nullptr,
                      nullptr, nullptr, nullptr, nullptr, 0, nullptr);
  };
  QvSetAcError(0);
  EXPECT_EQ(build(0), 0);
  EXPECT_EQ(QvGetAcError(), AC_ERR_BAD_RESULT_SOURCE);
  ASSERT_EQ(build(AC_SOURCE_USER), 1);
  EXPECT_EQ(encoded(&rec), tlv(0x61, hex("80 02 07 80") + acsebytes::kContextName +
                                         hex("A2 03 02 01 01 A3 05 A1 03 02 01 02")));

  uint32_t result = 9, source = 9, diag = 9;
  ASSERT_EQ(ac_tearAARE(&rec, nullptr, &result, &source, &diag, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr, nullptr),
            1);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(source, AC_SOURCE_USER);
  EXPECT_EQ(diag, 2u);
  // A source kept unknown under extensibility leaves those outputs alone.
  rec.aare.resultSource = 16387;
  source = diag = 9;
  ASSERT_EQ(ac_tearAARE(&rec, nullptr, &result, &source, &diag, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr, nullptr),
            1);
  EXPECT_EQ(source, 9u);
  EXPECT_EQ(diag, 9u);
}

TEST_F(AcseBuild, ReleaseAndAbort) {
  AcseApdu rec{};
  ASSERT_EQ(ac_bldRLRQ(&rec, 2, 7, 0, nullptr), 1);
  EXPECT_EQ(rec.code, AC_APDU_RLRQ);
  EXPECT_EQ(rec.rlrq.presence, 0u) << "a reason only with flag 1";
  EXPECT_EQ(encoded(&rec), hex("62 00"));
  ASSERT_EQ(ac_bldRLRQ(&rec, 1, 7, 1, user_), 1);
  EXPECT_EQ(encoded(&rec), hex("62 0F 80 01 07 BE 0A 28 08 02 01 01 A0 03 02 01 05"));
  QvSetAcError(0);
  EXPECT_EQ(ac_bldRLRQ(&rec, 1, 7, 5, user_), 0);
  EXPECT_EQ(QvGetAcError(), AC_ERR_TOO_MANY_USER_DATA);

  // The RLRE keeps a release result the record already held.
  AcseApdu rlre{};
  rlre.rlre.presence = AC_RLRE_RELEASE_RESULT;
  rlre.rlre.releaseResult = 0;
  ASSERT_EQ(ac_bldRLRE(&rlre, 1, 0, 0, nullptr), 1);
  EXPECT_EQ(encoded(&rlre), hex("63 0B 80 01 00 FF 63 05 30 03 02 01 00"));
  int32_t flag = -5, reason = -5;
  uint32_t count = 2;
  AcUserData got[2]{};
  rlre.rlre.presence = 0;
  ASSERT_EQ(ac_tearRLRE(&rlre, &flag, &reason, &count, got), 1);
  EXPECT_EQ(flag, -5) << "no reason: the flag as it was";
  EXPECT_EQ(reason, -5);
  EXPECT_EQ(count, 0u);

  // The diagnostic of an ABRT is stored but never written.
  AcseApdu abrt{};
  ASSERT_EQ(ac_bldABRT(&abrt, AC_ABORT_PROVIDER, 5, 0, nullptr), 1);
  EXPECT_EQ(abrt.abrt.diagnostic, 5u);
  EXPECT_EQ(encoded(&abrt), hex("64 03 80 01 01"));
  ASSERT_EQ(ac_bldABRT(&abrt, AC_ABORT_USER, 5, 1, user_), 1);
  EXPECT_EQ(encoded(&abrt), hex("64 0F 80 01 00 BE 0A 28 08 02 01 01 A0 03 02 01 05"));
  uint32_t src = 9, diag = 9;
  count = 0;
  ASSERT_EQ(ac_tearABRT(&abrt, &src, &diag, &count, got), 1);
  EXPECT_EQ(src, 0u);
  EXPECT_EQ(diag, 5u);
  EXPECT_EQ(count, 0u) << "capacity 0";
}

TEST_F(AcseBuild, TearingTheWrongApduWritesNothing) {
  AcseApdu rec{};
  ASSERT_EQ(ac_bldRLRQ(&rec, 1, 3, 0, nullptr), 1);
  ObjIdV ctx{7, nullptr};
  uint32_t count = 4;
  EXPECT_EQ(ac_tearAARQ(&rec, &ctx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr, &count, nullptr),
            0);
  EXPECT_EQ(ctx.count, 7u);
  EXPECT_EQ(count, 4u);
  uint32_t src = 9;
  EXPECT_EQ(ac_tearABRT(&rec, &src, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(src, 9u);
  EXPECT_EQ(ac_tearRLRE(&rec, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(ac_tearRLRQ(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(AcseBuild, UserDataOutUpToTheCapacity) {
  int32_t v[4] = {1, 2, 3, 4};
  AcUserData in[4] = {{1, 10, &v[0]}, {3, 11, &v[1]}, {5, 12, &v[2]}, {7, 13, &v[3]}};
  AcseApdu rec{};
  ASSERT_EQ(ac_bldRLRQ(&rec, 0, 0, 4, in), 1);
  EXPECT_EQ(rec.rlrq.userInfo.ext[1].context, 3);
  EXPECT_EQ(rec.rlrq.userInfo.ext[1].argument, 11u);
  EXPECT_EQ(rec.rlrq.userInfo.ext[1].directRef.count, kObjIdAbsent);
  EXPECT_EQ(rec.rlrq.userInfo.ext[1].encoding, 0u);
  AcUserData out[4]{};
  uint32_t count = 2;
  int32_t flag = 0;
  ASSERT_EQ(ac_tearRLRQ(&rec, &flag, nullptr, &count, out), 1);
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(out[1].pctxId, 3u);
  EXPECT_EQ(out[1].formatter, 11u);
  EXPECT_EQ(out[1].value, &v[1]);
  EXPECT_EQ(out[2].value, nullptr) << "beyond the capacity untouched";
  count = 3;
  ac_tearRLRQ(&rec, nullptr, nullptr, &count, nullptr);
  EXPECT_EQ(count, 0u) << "no entry array";
}

TEST_F(AcseBuild, AuthenticationValuesAreCopiedByKind) {
  AcAuthValue field{};
  EXPECT_EQ(AC_setAuthValAARQ(nullptr, &field), 0);
  AcAuthValue none{};
  EXPECT_EQ(AC_setAuthValAARE(&none, &field), 0);
  AcAuthValue unknown{};
  unknown.kind = 16388;
  EXPECT_EQ(AC_setAuthValAARQ(&unknown, &field), 0);

  AcAuthValue ext{};
  ext.kind = UL_AUTH_EXTERNAL;
  ext.external.context = 3;
  ext.external.directRef = ObjId{2, {1, 2}};
  std::strcpy(ext.external.descriptor, "d");
  ext.external.encoding = 16385;
  ext.external.argument = 8;
  ext.external.value = &field;
  ASSERT_EQ(AC_setAuthValAARE(&ext, &field), 1);
  EXPECT_EQ(field.external.directRef.arcs[1], 2u);
  EXPECT_STREQ(field.external.descriptor, "d");
  EXPECT_EQ(field.external.value, &field);

  // A password without its NUL in the 16 octets is cut to 15.
  AcAuthValue full{};
  full.kind = UL_AUTH_STRING;
  std::memset(full.string, 'x', sizeof full.string);
  AcAuthValue got{};
  ASSERT_EQ(AC_getAuthValAARQ(&full, &got), 1);
  EXPECT_EQ(std::strlen(got.string), 15u);
  EXPECT_EQ(AC_getAuthValAARE(&full, nullptr), 0);
}

}  // namespace
