// Shared fixture of the BER runtime tests: a record set with a buffer pool,
// chains built from bytes, and passes that run a lambda.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

#include "src/asn1/ber.h"
#include "src/asn1/preencoded.h"
#include "src/runtime/xm.h"
#include "support/recordset.h"

using Bytes = std::vector<uint8_t>;

class BerTest : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    ASSERT_EQ(init_buffers(kSbDefaultCount, kSbDefaultSize), 1);
    aaextensibility = 0;
    rtp_testForPreEncoded = 0;
    QvSetOsiError(0);
  }
  void TearDown() override {
    rtp_setp(nullptr);  // drops marks left behind
    close_buffers();
    RecordSetTest::TearDown();
  }

  // A chain whose buffers hold the given parts in order.
  static SessionBuffer* chainOf(std::initializer_list<Bytes> parts) { return chainOf(std::vector<Bytes>(parts)); }
  static SessionBuffer* chainOf(const std::vector<Bytes>& parts) {
    SessionBuffer* head = nullptr;
    for (const Bytes& p : parts) {
      SessionBuffer* b = balloc(static_cast<int32_t>(p.size()));
      if (b == nullptr) return head;
      if (!p.empty()) std::memcpy(b->data, p.data(), p.size());
      if (head == nullptr) {
        head = b;
      } else {
        b->prev = head->prev;
        b->next = head;
        head->prev->next = b;
        head->prev = b;
      }
    }
    return head;
  }
  // `bytes` cut at the given offsets.
  static SessionBuffer* chainSplit(const Bytes& bytes, std::initializer_list<size_t> cuts) {
    std::vector<Bytes> parts;
    size_t from = 0;
    for (size_t c : cuts) {
      parts.emplace_back(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(c));
      from = c;
    }
    parts.emplace_back(bytes.begin() + static_cast<long>(from), bytes.end());
    return chainOf(parts);
  }
  static Bytes bytesOf(const SessionBuffer* chain) {
    Bytes out;
    if (chain == nullptr) return out;
    const SessionBuffer* b = chain;
    do {
      out.insert(out.end(), b->data, b->data + b->length);
      b = b->next;
    } while (b != chain);
    return out;
  }
  static size_t ringSize(const SessionBuffer* chain) {
    size_t n = 0;
    const SessionBuffer* b = chain;
    do {
      ++n;
      b = b->next;
    } while (b != chain);
    return n;
  }
  static void freeChain(SessionBuffer* chain) {
    while (chain != nullptr) {
      SessionBuffer* next = chain->next != chain ? chain->next : nullptr;
      bfree(chain);
      chain = next;
    }
  }

  // Runs `body` in a parse pass over `chain`; the code p_parse reported.
  static int32_t parse(SessionBuffer* chain, std::function<void()> body) {
    rtp_setp(chain);
    body_ = std::move(body);
    int32_t err = -1;
    p_parse(&BerTest::run, &err, &err);
    return err;
  }
  // Runs `body` in a format pass over a fresh full buffer; the code is in
  // *err and the collected chain in *out.
  static int64_t format(std::function<int64_t()> body, uint32_t* err, SessionBuffer** out) {
    rtp_setf(balloc(-1));
    fbody_ = std::move(body);
    const int64_t n = p_format(&BerTest::runFormat, nullptr, err);
    rtp_getf(out);
    return n;
  }
  // The octets a format body writes, or an empty vector when it escaped.
  static Bytes formatted(std::function<int64_t()> body) {
    uint32_t err = 0;
    SessionBuffer* chain = nullptr;
    format(std::move(body), &err, &chain);
    Bytes out = err == 0 ? bytesOf(chain) : Bytes{};
    freeChain(chain);
    return out;
  }

 private:
  static void* run(void* arg) {
    body_();
    return arg;
  }
  static int64_t runFormat(void*) { return fbody_(); }
  static inline std::function<void()> body_;
  static inline std::function<int64_t()> fbody_;
};
