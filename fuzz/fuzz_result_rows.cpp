// R-ExecuteDBL confirms of the X/Open family decoded from arbitrary octets
// and handed to the client's confirm handler: the result description made
// into a statement's columns, the rows onto their queues; then every queued
// value becomes the column's current value, as the fetch makes it, and is
// converted into every C type the client reads, read through SQLGetData's
// road, and the columns are described.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64);
// octet 1 holds switches: bit 0 numerics in the 8-byte form, bit 1
// SQL_C_DEFAULT on wide text read as 8-bit text, bit 2 value items of their
// own (XM paging off); octet 2 the buffer length of the conversions (0-63,
// in a buffer of exactly that size for text targets); octet 3 is unused; the
// rest is the message.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_gidu.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_confirm.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_result.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/xm.h"
#include "fuzz/fuzz_support.h"

namespace {

RDA_CliHENV gEnv{};
RDA_CliHDBC gConn{};
RDA_CliHSTMT gStmt{};
int gFakeUcb = 0;

constexpr int16_t kCTypes[] = {-18, -17, -16, -15, -12, -8, -7, -6, -2, 1, 4, 5, 7, 8, 9, 10, 11, 99, 256};
constexpr size_t kFixedSize = 16;  // the most a C type of fixed size writes

bool fixedSize(int16_t c) { return c != RDA_CLI_C_CHAR && c != RDA_CLI_C_WCHAR && c != RDA_CLI_C_BINARY; }

void* decodeIdu(void*) { return aRDAXOPENIdu(nullptr); }

// Every value of every column, converted and read as the application would.
void readEverything(int64_t bufLen) {
  for (RdaCliLink* l = gStmt.cols.head.next; l != &gStmt.cols.head; l = l->next) {
    auto* col = reinterpret_cast<RDA_CliCol*>(l);
    wchar_t name[64];
    int16_t len = 0;
    rda_cliDescribeCol(&gStmt, col->colNum, name, static_cast<int16_t>(bufLen % 64), &len, nullptr, nullptr, nullptr,
                       nullptr);
    for (uint16_t d : {1, 2, 3, 4, 5, 7, 14, 15, 16, 17, 1013, 2001, 2200, 2201, 2202, 2203, 2204, 2205}) {
      int64_t num = 0;
      rda_cliColAttribute(&gStmt, col->colNum, d, name, static_cast<int16_t>(bufLen), &len, &num);
    }
    while (col->values.head.next != nullptr && col->values.head.next != &col->values.head) {
      auto* item = reinterpret_cast<RDA_CliValueItem*>(col->values.head.next);
      col->pos = col->totalLen = col->deliveredLen = 0;
      col->extraParts = col->partsTaken = 0;
      col->curType = item->sqlType;
      col->curValue = col->startValue = item->data;
      RDA_cliRingRemove(&col->values, &item->links);
      for (int16_t c : kCTypes) {
        // A text target gets exactly its length; the others at least what a
        // value of fixed size takes (SQL_C_DEFAULT may be either).
        const auto n = static_cast<size_t>(bufLen);
        const size_t size = fixedSize(c) ? (n > kFixedSize ? n : kFixedSize) : n;
        auto* buf = static_cast<uint8_t*>(std::calloc(1, size));
        int64_t ind = 0;
        RDA_CliBind bind{c, buf, bufLen, &ind};
        RDA_cliCvrtSQLToCol(&gStmt, &bind, col, item->data);
        if (c != RDA_CLI_C_ARRAY && c != RDA_CLI_C_VARIANT)
          rda_cliGetCol(&gStmt, static_cast<int16_t>(-col->colNum), c, buf, bufLen, &ind);
        if (c == RDA_CLI_C_ARRAY && size >= sizeof(void*)) {
          // An array value is a block handed to the caller, who frees it.
          void* block = nullptr;
          std::memcpy(&block, buf, sizeof block);
          std::free(block);
        }
        std::free(buf);
        RDA_cliClearErrorList(&gStmt.errors);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (qv_startRuntime({initSystemTLS, initSessionTLS, initRdaCliTLS}) == 0) std::abort();
  if (init_buffers(20, 64) == 0) std::abort();
  fuzzIntegerContext();
  gEnv.tag = RDA_CLI_TAG_HENV;
  al_selfLink(&gEnv.tmpl);
  gConn.tag = RDA_CLI_TAG_HDBC;
  gConn.env = &gEnv;
  gConn.tmpl = rda_createTemplateGidu(&gEnv, &gConn, &gFakeUcb, nullptr);
  if (gConn.tmpl == nullptr) std::abort();
  RDA_cliRingInit(&gConn.stmts);
  gStmt.tag = RDA_CLI_TAG_HSTMT;
  gStmt.conn = &gConn;
  RDA_cliRingAppend(&gConn.stmts, &gStmt.links);
  if (RDA_cliLinkBlock(&gStmt) == 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const size_t piece = 1 + data[0] % 64;
  const uint8_t flags = data[1];
  const int64_t bufLen = data[2] % 64;
  gConn.numericFormat = (flags & 1) != 0 ? 0 : 1;
  gConn.mapDefaultWcharAsChar = (flags & 2) != 0 ? 1 : 0;
  const int32_t savedPaging = giEnablePaging;
  giEnablePaging = (flags & 4) != 0 ? 0 : 1;
  gStmt.tree = _xm_allocTree(nullptr);
  giEnablePaging = savedPaging;
  if (gStmt.tree == nullptr) std::abort();
  RDA_cliRingInit(&gStmt.cols);
  RDA_cliRingInit(&gStmt.params);
  RDA_cliRingInit(&gStmt.paramDescs);
  RDA_cliInitErrorList(&gStmt.errors);

  SessionBuffer* chain = chainOf(data + 4, size - 4, piece, false);
  rtp_setp(chain);
  int32_t err = 0;
  auto* idu = static_cast<RDAXOPENIdu*>(p_parse(decodeIdu, nullptr, &err));
  freeChain(chain);
  if (idu != nullptr && idu->tag == RDA_EXECDBL_RC) {
    gStmt.opId = static_cast<uint32_t>(idu->execDBL_RC.opId);
    gStmt.state = 0;
    procExecDBLCnf(&gConn, &idu->execDBL_RC, nullptr);
    readEverything(bufLen);
  }
  aafreeall(aagetlist());
  rtp_setp(nullptr);

  RDA_cliClearErrorList(&gStmt.errors);
  _xm_freeTree(gStmt.tree);
  const RdaCliLink links = gStmt.links;
  gStmt = RDA_CliHSTMT{};
  gStmt.links = links;
  gStmt.tag = RDA_CLI_TAG_HSTMT;
  gStmt.conn = &gConn;
  if (QvGetSbCount() != 0) __builtin_trap();
  return 0;
}
