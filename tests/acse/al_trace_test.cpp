// Rendering of GIDUs in trace lines: primitive names and references.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "src/acse/al_trace.h"
#include "src/acse/gidu.h"
#include "src/presentation/pidu.h"

namespace {

std::string nameOf(uint32_t event, uint32_t type, void* idu = nullptr) {
  GIDU g{};
  g.event = event;
  g.iduType = type;
  g.idu = idu;
  char buf[AL_EVENT_TEXT_SIZE];
  std::memset(buf, 'x', sizeof buf);
  const char* r = al_traceEvent(&g, buf);
  EXPECT_EQ(r, buf);
  EXPECT_NE(std::memchr(buf, '\0', sizeof buf), nullptr);
  return buf;
}

TEST(AlTraceEvent, NamesPrimitivesAndLocalEventsByIduType) {
  const struct {
    uint32_t event;
    uint32_t type;
    const char* name;
  } cases[] = {
      // RDA: requests, responses, error responses and the APDU forms.
      {0x8000, 200, "R-INIT.req"},
      {0x8004, 200, "R-INIT.ind"},
      {0x8008, 200, "R-INIT-RI"},
      {0x80D2, 200, "R-INIT.rsp"},
      {0x80D6, 200, "R-INIT.cnf"},
      {0x80DA, 200, "R-INIT-RC"},
      {0x81A2, 200, "R-INIT.ersp"},
      {0x81A6, 200, "R-INIT.ecnf"},
      {0x81AA, 200, "R-INIT-ERC"},
      {0x8262, 200, "R-DRDBL.ersp"},
      {0x8090, 200, "R-EXDBL.req"},
      {0x80F2, 200, "R-???.rsp"},  // R-BeginTransaction has no response
      {0x8370, 200, "R-SURNXTEVENT.req"},
      {0x8270, 200, "R-????.?"},  // service 39: beyond the table, in the error suffixes
      {0x40000 | 0x80D6, 200, "R-INIT.cnf"},
      // ACSE.
      {0x8000, 240, "A-ASSOC.req"},
      {0x8016, 240, "A-ASSOC.cnf"},
      {0x8036, 240, "A-REL.cnf"},
      {0x8044, 240, "A-ABORT.ind"},
      {0x48054, 240, "A-P-ABORT.ind"},
      {0x8060, 240, "A-????.req"},
      // Commitment and transaction processing, known to the trace only.
      {0x8056, 220, "C-CMT.cnf"},
      {0x80D0, 220, "C-????.req"},
      {0x8230, 180, "TP-BT.req"},
      {0x8370, 180, "TP-???.req"},
      {0x8380, 180, "TP-????.req"},
      {0x8000, 181, "UDT event"},
      {0x8000, 182, "Internal event"},
      {0x8000, 99, "????"},
      // Local events.
      {7, 200, "R-LOCERR.ind"},
      {0, 200, "R-ACT.req"},
      {6, 240, "A-QABORT"},
      {1, 180, "TP-ACT.cnf"},
      {3, 220, "C-DEACT.cnf"},
      {10, 0, "USTOP.ind"},
      {15, 20, "RESTART.CNF"},
      {16, 200, "R-????"},
  };
  for (const auto& c : cases) EXPECT_EQ(nameOf(c.event, c.type), c.name) << std::hex << c.event << std::dec << "/" << c.type;
}

TEST(AlTraceEvent, PresentationGidusAreNamedByTheirPidusEvent) {
  PIDU p{};
  p.event = 92;
  EXPECT_EQ(nameOf(0x8000, 20, &p), "P-DTA.ind");
  p.event = 114;
  EXPECT_EQ(nameOf(0x8000, 20, &p), "P-????");
  EXPECT_EQ(nameOf(0x8000, 20, nullptr), "P-????");
  // Type 21: the PIDU is wrapped in a header.
  p.event = 17;
  AeHDR h{};
  h.wrapped = &p;
  EXPECT_EQ(nameOf(0x8000, 21, &h), "P-*DTA.req");
  EXPECT_EQ(nameOf(0x8000, 21, nullptr), "P-*????");
}

TEST(AlTraceEvent, NullGiduWritesNothing) {
  char ev[AL_EVENT_TEXT_SIZE] = "keep";
  char refs[AL_REFS_TEXT_SIZE] = "keep";
  EXPECT_EQ(al_traceEvent(nullptr, ev), nullptr);
  EXPECT_EQ(al_traceRefs(nullptr, 1, refs), nullptr);
  EXPECT_STREQ(ev, "keep");
  EXPECT_STREQ(refs, "keep");
}

TEST(AlTraceRefs, ShortFormHasUcAndPcFullFormAllFour) {
  GIDU g{};
  g.ue = reinterpret_cast<void*>(0x1a);
  g.pe = reinterpret_cast<void*>(0x2b);
  g.uc = reinterpret_cast<void*>(0x3c);
  g.pc = reinterpret_cast<void*>(0xffffffffffffffffULL);
  char buf[AL_REFS_TEXT_SIZE];
  char gidu[32];
  std::snprintf(gidu, sizeof gidu, "gidu=%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&g)));
  EXPECT_EQ(std::string(al_traceRefs(&g, 0, buf)), std::string(gidu) + " uc=3c pc=ffffffffffffffff");
  EXPECT_EQ(std::string(al_traceRefs(&g, 1, buf)),
            std::string(gidu) + " ue=1a pe=2b uc=3c pc=ffffffffffffffff");
  // The widest references fit the buffer whole.
  g.ue = g.pe = g.uc = g.pc;
  EXPECT_EQ(std::string(al_traceRefs(&g, 1, buf)).size(), std::strlen(gidu) + 4 * 20);
}

}  // namespace
