// Decoding and encoding of an R-ExecuteDBL response (X/Open family) of 1000
// rows of 5 columns: INTEGER, double, a text of 20 characters, a date-time
// and a NULL. The response arrives in transport buffers of the default size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "src/asn1/ber.h"
#include "src/asn1/rda_idu.h"
#include "src/runtime/startup.h"
#include "src/session/buffer_pool.h"
#include "src/session/systemtls.h"

namespace {

constexpr int kRows = 1000;
using Bytes = std::vector<uint8_t>;

Bytes tlv(std::initializer_list<uint8_t> id, const Bytes& contents) {
  Bytes out(id);
  const size_t n = contents.size();
  if (n < 128) {
    out.push_back(static_cast<uint8_t>(n));
  } else {
    Bytes len;
    for (size_t v = n; v != 0; v >>= 8) len.insert(len.begin(), static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(0x80 + len.size()));
    out.insert(out.end(), len.begin(), len.end());
  }
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// One row: SEQUENCE { [1] { [1] { the five values } } }.
Bytes row(int i) {
  const int32_t v = 100000 + i;
  const Bytes integer = tlv({0x30}, tlv({0x83}, {0x03, static_cast<uint8_t>(v >> 8 & 0xFF), static_cast<uint8_t>(v & 0xFF)}));
  // REAL 1.5 * 2^i (base 2): 0x80, exponent, mantissa 3 with exponent - 1.
  const Bytes real = tlv({0x30}, tlv({0x87}, {0x80, static_cast<uint8_t>(i % 64 - 1), 0x03}));
  char name[21];
  std::snprintf(name, sizeof name, "customer-name-%06d", i);
  const Bytes chars = tlv({0x30}, tlv({0x80}, text(name)));
  char when[20];
  std::snprintf(when, sizeof when, "2026-12-10 15:%02d:%02d", i / 60 % 60, i % 60);
  const Bytes dateTime = tlv({0x30}, tlv({0x88}, text(when)));
  const Bytes null = tlv({0x30}, tlv({0x9E}, {0xFF}));
  return tlv({0x30}, tlv({0xA1}, tlv({0xA1}, cat({integer, real, chars, dateTime, null}))));
}

// The whole response: [20] { opId, [0] { [2] { rows } } }.
Bytes response() {
  Bytes rows;
  for (int i = 0; i < kRows; ++i) {
    const Bytes r = row(i);
    rows.insert(rows.end(), r.begin(), r.end());
  }
  return tlv({0xB4}, cat({tlv({0x02}, {0x06}), tlv({0xA0}, tlv({0xA2}, rows))}));
}

// A block shaped like a typical result set: the column descriptions, then
// 1000 rows of INTEGER, CHAR VARYING, DECIMAL, DATETIME and DOUBLE, about
// one value in three NULL.
Bytes typicalBlock() {
  struct Column {
    const char* name;
    Bytes type;  // the type alternative, whole
  };
  const Bytes intInt = cat({tlv({0x02}, {0x0A}), tlv({0x02}, {0x02})});
  const Column columns[] = {
      {"ORDER_ID", tlv({0xA8}, cat({tlv({0x02}, {0x0A}), tlv({0x0A}, {0x00})}))},
      {"CUSTOMER_NAME", tlv({0xAF}, tlv({0x02}, {0x40}))},
      {"AMOUNT", tlv({0xA7}, intInt)},
      {"ORDERED_AT", tlv({0xAD}, cat({tlv({0x0A}, {0x03}), tlv({0x02}, {0x00})}))},
      {"WEIGHT", tlv({0xAC}, cat({tlv({0x02}, {0x35}), tlv({0x02}, {0x00})}))},
  };
  Bytes descrs;
  for (const Column& c : columns) {
    const Bytes d = tlv({0x30}, cat({tlv({0x81}, text(c.name)), c.type}));
    descrs.insert(descrs.end(), d.begin(), d.end());
  }
  Bytes rows;
  for (int i = 0; i < kRows; ++i) {
    Bytes values;
    for (int c = 0; c < 5; ++c) {
      Bytes v;
      if ((i * 5 + c) % 3 == 0) {
        v = tlv({0x9E}, {0xFF});
      } else if (c == 0) {
        const int32_t n = 100000 + i;
        v = tlv({0x83}, {0x01, static_cast<uint8_t>(n >> 8 & 0xFF), static_cast<uint8_t>(n & 0xFF)});
      } else if (c == 1) {
        char name[32];
        std::snprintf(name, sizeof name, "customer %d of the region", i);
        v = tlv({0x80}, text(name));
      } else if (c == 2) {
        char amount[16];
        std::snprintf(amount, sizeof amount, "%d.%02d", i * 37 % 100000, i % 100);
        v = tlv({0x81}, text(amount));
      } else if (c == 3) {
        char when[20];
        std::snprintf(when, sizeof when, "2026-12-10 15:%02d:%02d", i / 60 % 60, i % 60);
        v = tlv({0x88}, text(when));
      } else {
        v = tlv({0x87}, {0x80, static_cast<uint8_t>(i % 64 - 1), 0x03});
      }
      v = tlv({0x30}, v);
      values.insert(values.end(), v.begin(), v.end());
    }
    const Bytes r = tlv({0x30}, tlv({0xA1}, tlv({0xA1}, values)));
    rows.insert(rows.end(), r.begin(), r.end());
  }
  return tlv({0xB4}, cat({tlv({0x02}, {0x07}), tlv({0xA0}, cat({tlv({0xA1}, tlv({0xA0}, descrs)), tlv({0xA2}, rows)}))}));
}

void setUp() {
  static bool done = false;
  if (done) return;
  if (qv_startRuntime({initSystemTLS}) == 0 || init_buffers(kSbDefaultCount, kSbDefaultSize) == 0) std::abort();
  done = true;
}

SessionBuffer* chainOf(const Bytes& data) {
  SessionBuffer* head = nullptr;
  for (size_t at = 0; at < data.size();) {
    const size_t n = std::min(data.size() - at, static_cast<size_t>(kSbDefaultSize));
    SessionBuffer* b = balloc(static_cast<int32_t>(n));
    if (b == nullptr) std::abort();
    std::memcpy(b->data, data.data() + at, n);
    if (head == nullptr) {
      head = b;
    } else {
      b->prev = head->prev;
      b->next = head;
      head->prev->next = b;
      head->prev = b;
    }
    at += n;
  }
  return head;
}

void freeChain(SessionBuffer* chain) {
  while (chain != nullptr) {
    SessionBuffer* next = chain->next != chain ? chain->next : nullptr;
    bfree(chain);
    chain = next;
  }
}

void* parse(void*) { return aRDAXOPENIdu(nullptr); }

RDAXOPENIdu* decode(SessionBuffer* chain) {
  int32_t err = 0;
  rtp_setp(chain);
  auto* idu = static_cast<RDAXOPENIdu*>(p_parse(parse, nullptr, &err));
  if (err != 0 || idu == nullptr) std::abort();
  return idu;
}

int64_t encode(RDAXOPENIdu* idu) {
  rtp_setf(balloc(-1));
  uint32_t err = 0;
  const int64_t n = p_format(fRDAXOPENIdu, idu, &err);
  SessionBuffer* out = nullptr;
  rtp_getf(&out);
  if (err != 0) std::abort();
  freeChain(out);
  return n;
}

void report(benchmark::State& state, size_t octets) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(octets));
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DecodeExecuteDBLResponse(benchmark::State& state) {
  setUp();
  const Bytes wire = response();
  for (auto _ : state) {
    state.PauseTiming();
    SessionBuffer* chain = chainOf(wire);
    state.ResumeTiming();
    RDAXOPENIdu* idu = decode(chain);
    benchmark::DoNotOptimize(idu);
    state.PauseTiming();
    if (idu->execDBL_RC.result.rows.count != kRows) std::abort();
    freeChain(chain);
    aafreeall(aagetlist());
    state.ResumeTiming();
  }
  report(state, wire.size());
}
BENCHMARK(BM_DecodeExecuteDBLResponse)->Unit(benchmark::kMicrosecond);

void BM_DecodeTypicalResultBlock(benchmark::State& state) {
  setUp();
  const Bytes wire = typicalBlock();
  for (auto _ : state) {
    state.PauseTiming();
    SessionBuffer* chain = chainOf(wire);
    state.ResumeTiming();
    RDAXOPENIdu* idu = decode(chain);
    benchmark::DoNotOptimize(idu);
    aafreeall(aagetlist());
    state.PauseTiming();
    if (idu == nullptr) std::abort();
    freeChain(chain);
    state.ResumeTiming();
  }
  report(state, wire.size());
}
BENCHMARK(BM_DecodeTypicalResultBlock)->Unit(benchmark::kMicrosecond);

void BM_EncodeExecuteDBLResponse(benchmark::State& state) {
  setUp();
  const Bytes wire = response();
  SessionBuffer* chain = chainOf(wire);
  RDAXOPENIdu* idu = decode(chain);
  freeChain(chain);
  if (encode(idu) != static_cast<int64_t>(wire.size())) std::abort();
  for (auto _ : state) benchmark::DoNotOptimize(encode(idu));
  aafreeall(aagetlist());
  report(state, wire.size());
}
BENCHMARK(BM_EncodeExecuteDBLResponse)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
