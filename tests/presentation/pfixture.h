// Fixture of the presentation tests: a record set with the presentation
// layer started (BER registered, no users, no machines), selectors from
// text, and a parse pass around a decode hook.
#pragma once

#include <cstring>
#include <functional>

#include "common/timer2.h"
#include "src/asn1/ber_context.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/contexts.h"
#include "src/presentation/management.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/psyntax.h"
#include "src/presentation/users.h"
#include "support/recordset.h"

// A selector over the characters of a literal.
inline OctStgV sel(const char* s) {
  return OctStgV{static_cast<uint32_t>(std::strlen(s)), reinterpret_cast<uint8_t*>(const_cast<char*>(s))};
}

inline int32_t ignoreIndication(GIDU*) { return 1; }

class PresentationTest : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    ASSERT_EQ(init_presentation(nullptr, nullptr, nullptr, nullptr), 1);
    QvSetOsiError(0);
  }
  void TearDown() override {
    // Users and machines live in this thread's root tree, which goes now.
    init_pmgmt();
    pP = nullptr;
    RecordSetTest::TearDown();
  }

  // Registers a user of selector s; the user.
  static PsUser* activate(const char* s, uint64_t ref = 0, uint32_t mode = kPsModeNormal) {
    const OctStgV v = sel(s);
    EXPECT_EQ(p_activate(&v, ignoreIndication, mode, ref), 1) << s << ": " << QvGetOsiError();
    return find_ps_user(&v);
  }

  // Registers abstract syntax {1 9 n} for the user of s, associated with
  // BER; its index.
  static int32_t abstractSyntax(const char* s, uint32_t n) {
    const OctStgV v = sel(s);
    const uint32_t arcs[] = {1, 9, n};
    const int32_t a = p_asynreg(&v, 3, arcs, parseNothing, formatNothing, 0);
    EXPECT_GE(a, 0) << QvGetOsiError();
    EXPECT_EQ(p_assoc(&v, a, ps_asn1_tsidx), 1) << QvGetOsiError();
    return a;
  }
  static void* parseNothing(void* arg) { return arg; }
  static int64_t formatNothing(void*) { return 0; }

  // Runs `hook` in a parse pass for machine pm (in pP); the pass's error
  // word is the machine's last-error word, as the receiver runs it.
  static int32_t underParse(Pmachine* pm, const std::function<void()>& hook) {
    static const std::function<void()>* current = nullptr;
    current = &hook;
    set_Pcalled(pm);
    static int token = 0;
    p_parse(
        [](void* arg) -> void* {
          (*current)();
          return arg;
        },
        &token, &pm->lastError);
    return pm->lastError;
  }
};
