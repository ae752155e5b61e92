#include "src/session/tp0addr.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "src/runtime/xm.h"
#include "src/session/session.h"
#include "src/session/sessiontls.h"
#include "support/recordset.h"

namespace {

TEST(Tp0Random, SeedOneAndUnseededDrawTheSameSequence) {
  qvsrand(1);
  EXPECT_EQ(qvrand(), 41);
  EXPECT_EQ(qvrand(), 18467);
  EXPECT_EQ(qvrand(), 6334);
  qvsrand(0);
  EXPECT_EQ(qvrand(), 38);
  qvsrand(0xFFFFFFFFu);
  for (int i = 0; i < 1000; ++i) {
    const int32_t v = qvrand();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
  qvsrand(1);
}

TSAPaddr tsap(uint32_t len, std::initializer_list<uint8_t> octets) {
  TSAPaddr t{};
  t.len = len;
  size_t i = 0;
  for (uint8_t o : octets) t.sel[i++] = o;
  return t;
}

TEST(Tp0Address, TransportSelectorToPort) {
  const struct {
    TSAPaddr t;
    uint32_t ok;
    in_port_t port;
  } cases[] = {
      {tsap(2, {0x13, 0x88}), 1, htons(5000)},
      {tsap(2, {0xFF, 0xFF}), 1, htons(65535)},
      {tsap(0, {0x13, 0x88}), 1, 0},
      {tsap(3, {0x13, 0x88, 0x01}), 0, 4242},
      {tsap(1, {0x13}), 0, 4242},
      {tsap(0xFFFFFFFFu, {}), 0, 4242},
  };
  for (const auto& c : cases) {
    in_port_t port = 4242;
    EXPECT_EQ(cnvtTSAPToSocketPort(&c.t, &port), c.ok) << c.t.len;
    EXPECT_EQ(port, c.port) << c.t.len;
  }
}

TEST(Tp0Address, PortToTransportSelector) {
  TSAPaddr t{};
  std::memset(t.sel, 0xEE, sizeof t.sel);
  EXPECT_EQ(cnvtSocketPortToTSAP(&t, htons(5000)), 1u);
  EXPECT_EQ(t.len, 2u);
  EXPECT_EQ(t.sel[0], 0x13);
  EXPECT_EQ(t.sel[1], 0x88);
  EXPECT_EQ(t.sel[2], 0xEE);
  in_port_t back = 0;
  EXPECT_EQ(cnvtTSAPToSocketPort(&t, &back), 1u);
  EXPECT_EQ(back, htons(5000));
}

TEST(Tp0Address, NetworkAddressOfFourOctetsOnly) {
  NSAPaddr n{};
  n.len = 4;
  const uint8_t octets[] = {192, 168, 1, 20, 99};
  std::memcpy(n.addr, octets, sizeof octets);
  sockaddr_in sa{};
  sa.sin_port = htons(77);
  EXPECT_EQ(cnvtNSAPToSocketAddr(&n, &sa), 1u);
  char text[INET_ADDRSTRLEN];
  EXPECT_STREQ(inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text), "192.168.1.20");
  EXPECT_EQ(sa.sin_port, htons(77)) << "only the address is written";

  for (uint32_t len : {0u, 3u, 5u, 20u, 0x80000004u}) {
    n.len = len;
    sockaddr_in untouched{};
    std::memset(&untouched, 0x5A, sizeof untouched);
    sockaddr_in copy = untouched;
    EXPECT_EQ(cnvtNSAPToSocketAddr(&n, &copy), 0u) << len;
    EXPECT_EQ(std::memcmp(&copy, &untouched, sizeof copy), 0) << len;
  }
}

class Tp0Buffers : public RecordSetTest {};

TEST_F(Tp0Buffers, AllocatedBufferIsAFullRingOfOneRightAfterItsHeader) {
  XmTree* tree = _xm_allocTree(nullptr);
  SessionBuffer* b = tp0tcp_allocBuf(tree, 100);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->next, b);
  EXPECT_EQ(b->prev, b);
  EXPECT_EQ(b->area, reinterpret_cast<uint8_t*>(b) + 48);
  EXPECT_EQ(b->data, b->area);
  EXPECT_EQ(b->capacity, 100u);
  EXPECT_EQ(b->length, 100u);
  EXPECT_EQ(b->endFlag, 1u);
  EXPECT_EQ(xm_getParentOfItem(b), tree);
  std::memset(b->area, 0xAB, 100);  // the whole area is usable
  _xm_freeTree(tree);
}

TEST_F(Tp0Buffers, InitPutsTheBufferBackToItsStart) {
  SessionBuffer* b = tp0tcp_allocBuf(nullptr, 64);
  ASSERT_NE(b, nullptr);
  b->data += 10;
  b->length = 3;
  b->endFlag = 0;
  tp0tcp_initBuf(b);
  EXPECT_EQ(b->data, b->area);
  EXPECT_EQ(b->length, 64u);
  EXPECT_EQ(b->endFlag, 1u);
  tp0tcp_initBuf(nullptr);
  tp0tcp_freeBuf(b);
}

TEST_F(Tp0Buffers, FreeClosesTheRingOverTheBuffer) {
  SessionBuffer* a = tp0tcp_allocBuf(nullptr, 8);
  SessionBuffer* b = tp0tcp_allocBuf(nullptr, 8);
  SessionBuffer* c = tp0tcp_allocBuf(nullptr, 8);
  ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
  a->next = b, b->prev = a, b->next = c, c->prev = b, c->next = a, a->prev = c;
  tp0tcp_freeBuf(b);
  EXPECT_EQ(a->next, c);
  EXPECT_EQ(c->prev, a);
  tp0tcp_freeBuf(nullptr);
  tp0tcp_freeBuf(a);
  EXPECT_EQ(c->next, c);
  EXPECT_EQ(c->prev, c);
  tp0tcp_freeBuf(c);
}

void* failingAlloc(size_t) { return nullptr; }

TEST_F(Tp0Buffers, NoMemoryOrAnImpossibleSizeGivesNoBuffer) {
  XmTree* tree = _xm_allocTree(nullptr);
  EXPECT_EQ(tp0tcp_allocBuf(tree, 0xFFFFFFF0u), nullptr);
  xm_setDefaultAlloc(failingAlloc, XM_free);
  EXPECT_EQ(tp0tcp_allocBuf(tree, 16), nullptr);
  xm_setDefaultAlloc(XM_malloc, XM_free);
  _xm_freeTree(tree);
}

TEST_F(Tp0Buffers, ListenSocketIsReplacedAndThePreviousReturned) {
  EXPECT_EQ(QvSetListenSocket(17), -1);
  EXPECT_EQ(getSessionTLS(0)->tp0.listenSocket, 17);
  EXPECT_EQ(QvSetListenSocket(-1), 17);
  EXPECT_EQ(init_tcp(), 0);
  close_tcp();
}

}  // namespace
