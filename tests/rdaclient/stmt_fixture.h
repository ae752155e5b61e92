// The hand-made blocks of the client (support/cli_blocks.h) for the
// parameter and request tests, with an associated connection, a buffer pool
// for the codecs, and the request a builder made read back through the
// X/Open codecs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "rda/rda_fixture.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_list.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/runtime/qvinfo.h"
#include "src/session/buffer_pool.h"
#include "support/cli_blocks.h"
#include "support/cli_diag.h"

// The octet helpers of the RDA builder tests.
struct RdaWire : RdaBuildTest {
  using RdaBuildTest::wireOf;
  // The message `wire` decodes to, read from buffers of the pool's size;
  // NULL when it does not decode.
  static RDAXOPENIdu* decoded(const Bytes& wire) {
    std::vector<Bytes> parts;
    for (size_t at = 0; at < wire.size(); at += kSbDefaultSize) {
      const size_t n = std::min(wire.size() - at, static_cast<size_t>(kSbDefaultSize));
      parts.emplace_back(wire.begin() + static_cast<long>(at), wire.begin() + static_cast<long>(at + n));
    }
    SessionBuffer* chain = chainOf(parts);
    rtp_setp(chain);
    int32_t err = -1;
    auto* idu = static_cast<RDAXOPENIdu*>(p_parse(aRDAXOPENIdu, nullptr, &err));
    freeChain(chain);
    return err == 0 ? idu : nullptr;
  }
};

class ClientStmtTest : public CliBlocksTest {
 protected:
  // Buffers of the pool: room for requests of a few long values.
  static constexpr int32_t kBuffers = 64;
  void SetUp() override {
    CliBlocksTest::SetUp();
    ASSERT_EQ(init_buffers(kBuffers, kSbDefaultSize), 1);
    savedCharacterMode_ = gCharacterMode;
    conn.decimalPoint = '.';
    conn.state = RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE;
    stmt.opId = 7;
  }
  void TearDown() override {
    aafreeall(aagetlist());
    close_buffers();
    gCharacterMode = savedCharacterMode_;
    CliBlocksTest::TearDown();
  }

  // Binds the next parameter (or parameter `number`).
  static constexpr int32_t kNext = INT32_MIN;
  int32_t bind(int16_t cType, int16_t sqlType, void* value, int64_t* lenInd, uint64_t size = 0, int16_t scale = 0,
               int32_t number = kNext, RdaCliLink* chunks = nullptr, int16_t direction = RDA_CLI_PARAM_INPUT) {
    if (number == kNext) number = static_cast<int32_t>(stmt.params.count) + 1;
    return rda_cliBindParam(&stmt, number, cType, sqlType, size, scale, value, lenInd, chunks, direction, 0);
  }

  // The octets of a request GIDU, which is deleted.
  static Bytes wire(GIDU* g) {
    EXPECT_NE(g, nullptr);
    if (g == nullptr) return {};
    Bytes b = RdaWire::wireOf(g);
    al_deleteGidu(g);
    return b;
  }
  // The R-ExecuteDBL request the octets decode to; NULL (with a failure)
  // when they do not.
  static const RDAExecDBL_Req* request(const Bytes& octets) {
    const RDAXOPENIdu* idu = RdaWire::decoded(octets);
    EXPECT_NE(idu, nullptr) << "the request decodes";
    if (idu == nullptr) return nullptr;
    EXPECT_EQ(idu->tag, rda_getRdaEventTag(RDA_EXECDBL_REQ)) << "R-ExecuteDBL request";
    return &idu->execDBL_RI.req;
  }
  static const RDAExecDBL_Req* request(GIDU* g) { return request(wire(g)); }

  // The argument descriptors and values of a decoded request.
  static std::vector<const RDAXOPENSQLDataDescr*> specsOf(const RDAExecDBL_Req& r) {
    std::vector<const RDAXOPENSQLDataDescr*> out;
    if ((r.mask & (1u << 2)) == 0) return out;
    for (const UL_Link* l = r.argSpecs.links.next; l != &r.argSpecs.links; l = l->next)
      out.push_back(static_cast<const RDAXOPENSQLDataDescr*>(reinterpret_cast<const RDADescrNode*>(l)->descr));
    return out;
  }
  static std::vector<const RDAXOPENSQLVal*> valuesOf(const RDAExecDBL_Req& r) {
    std::vector<const RDAXOPENSQLVal*> out;
    if ((r.mask & (1u << 4)) == 0 || r.args.code != 0x4004 || (r.args.single.mask & 2u) == 0) return out;
    const RDAList& values = r.args.single.values.values;
    for (const UL_Link* l = values.links.next; l != &values.links; l = l->next)
      out.push_back(static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(l)->val));
    return out;
  }
  static std::string octets(const RDAXOPENSQLVal* v) {
    const OctStgV& o = v->value.octets;
    return std::string(reinterpret_cast<const char*>(o.octets), o.length);
  }


 private:
  int32_t savedCharacterMode_ = 0;
};
