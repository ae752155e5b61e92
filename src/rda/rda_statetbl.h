// Builders of the RDA state tables from compact row descriptions, used at
// compile time by the client and server tables.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "src/rda/rda_stateck.h"

namespace rda_statetbl {

// States as a bit set.
constexpr uint32_t in(std::initializer_list<uint32_t> states) {
  uint32_t set = 0;
  for (uint32_t s : states) set |= 1u << s;
  return set;
}

// One group of cells of an event: the states of the set get `action` and
// `next`.
struct Cells {
  uint32_t states;
  uint32_t action;
  uint32_t next;
};

// An event's cells in up to three groups; a group without states is none.
struct Row {
  uint32_t event;
  Cells cells[3];
};

constexpr uint32_t cell(uint32_t action, uint32_t next) { return action << 8 | next; }
inline constexpr uint32_t kRefusedCell = cell(0, kRdaStateRefused);

// Events x States cells, refused where no row names them. A row beyond the
// table, a state beyond it or an action beyond the action tables does not
// compile.
template <uint32_t Events, uint32_t States>
constexpr std::array<uint32_t, Events * States> stateTable(std::initializer_list<Row> rows) {
  std::array<uint32_t, Events * States> t{};
  for (uint32_t& c : t) c = kRefusedCell;
  for (const Row& r : rows) {
    if (r.event >= Events) throw "event beyond the table";
    for (const Cells& g : r.cells) {
      if ((g.states >> States) != 0) throw "state beyond the table";
      if (g.action >= kRdaActionCount) throw "action beyond the action tables";
      for (uint32_t s = 0; s < States; ++s)
        if ((g.states >> s & 1u) != 0) t[r.event * States + s] = cell(g.action, g.next);
    }
  }
  return t;
}

// Event code -> value.
struct Code {
  uint32_t code;
  uint32_t value;
};

// An event-code table: every row not named holds kRdaNoEvent.
constexpr RdaEventTbl eventTable(std::initializer_list<Code> codes) {
  RdaEventTbl t{};
  for (uint32_t& v : t) v = kRdaNoEvent;
  for (const Code& c : codes) {
    const uint32_t row = (c.code & AL_EV_CODE_MASK) >> 1;
    if (row >= kRdaEventTblRows) throw "code beyond the table";
    t[row] = c.value;
  }
  return t;
}

}  // namespace rda_statetbl
