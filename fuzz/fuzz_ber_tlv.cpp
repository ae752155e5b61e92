// Arbitrary octets parsed as nested TLVs through the BER runtime.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64),
// octet 1 holds switches (bit 0 extensibility, bit 1 the presentation layer's
// test parse, bit 2 the dump, bit 3 an empty buffer between the pieces); the
// rest is the encoding. Every element is read into a tree of values; a tree
// that was read whole is written again and must read back the same. Elements
// of the universal types are read once more by the value codec of their type,
// in a pass of their own that leaves the cursor where it was.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "src/asn1/ber.h"
#include "src/asn1/preencoded.h"

namespace {

struct Node {
  int32_t code;
  bool constructed;
  std::vector<uint8_t> contents;
  std::vector<size_t> children;
};

std::vector<Node>* gTree = nullptr;
uint64_t gSteps = 0;
int32_t gValueCode = 0;

// The value codec of a universal type on the element just opened; the form
// read (bit strings, octet strings, identifiers) changes with the step.
void* readValue(void* arg) {
  switch (gValueCode) {
    case 1: {
      uint32_t v;
      ber_getbit(&v);
      break;
    }
    case 2:
    case 10: {
      int32_t v;
      if (gSteps % 2 == 0) ber_getint(&v);
      else ber_getlong(&v);
      break;
    }
    case 3: {
      BitStgV v;
      uint32_t w;
      uint32_t flags[40];
      if (gSteps % 3 == 0) ber_getbitv(&v);
      else if (gSteps % 3 == 1) ber_getbitw(&w);
      else ber_getbits(40, flags);
      break;
    }
    case 4: {
      OctStgV v;
      uint8_t room[4 + 16];
      if (gSteps % 3 == 0) ber_getoctv(&v);
      else if (gSteps % 3 == 1) ber_getoctv_page(&v);
      else ber_getocts(16, reinterpret_cast<OctStg*>(room));
      break;
    }
    case 6: {
      ObjId id;
      ObjIdV idv;
      if (gSteps % 2 == 0) ber_getobj(kObjIdMaxArcs, &id);
      else ber_getobjv(&idv);
      break;
    }
    case 9: {
      double d;
      ber_getdouble(&d);
      break;
    }
    case 23: {
      BerTime t;
      ber_getutc(&t);
      break;
    }
    case 24: {
      BerTime t;
      ber_gettime(&t);
      break;
    }
    case 7:
    case 12:
    case 18:
    case 19:
    case 20:
    case 21:
    case 22:
    case 25:
    case 26:
    case 27: {
      char buf[32 + 1];
      if (gSteps % 2 == 0) ber_getstg(32, buf);
      else ber_getstgv();
      break;
    }
    default:
      break;
  }
  return arg;
}

void tryValue(int32_t code) {
  gValueCode = code;
  aa_push_mark();
  int32_t err = 0;
  p_parse(readValue, &err, &err);
  aa_pop_restore();
}

size_t readElement(int32_t code);

void readLevel(std::vector<size_t>& into) {
  int32_t code;
  while ((code = ber_gettype()) != 0) {
    if ((code & 0x6000) == 0x6000) {
      aaextens(AAE_NOTINCHOICE);  // PRIVATE elements are unknown here
      continue;
    }
    into.push_back(readElement(code));
  }
}

size_t readElement(int32_t code) {
  std::vector<Node>& tree = *gTree;
  tree.push_back(Node{code, cons != 0, {}, {}});
  const size_t at = tree.size() - 1;
  ++gSteps;
  if (code < 31) tryValue(code);
  if (cons != 0) {
    if (gSteps % 5 == 0) {
      // Measured and peeked at without consuming anything.
      uint8_t* pos = aapdu;
      const int32_t level = lev;
      (void)ber_getlen();
      (void)ber_peektype();
      if (aapdu != pos || lev != level) __builtin_trap();
    }
    std::vector<size_t> children;
    readLevel(children);
    (*gTree)[at].children = std::move(children);
    return at;
  }
  const int64_t n = eopenv[lev].remaining;
  if (gSteps % 3 == 0) {
    // Part of the contents read, the rest skipped after going back.
    aa_push_mark();
    uint8_t first = 0;
    if (n > 0) aa_copy(nullptr, &first, 1);
    aa_pop_restore();
  }
  // Contents are measured in the chain before memory is taken for them: in
  // the test parse of a first segment a length may run past the data.
  if (getLengthOfData(aapdu, currentBuffer) != n) __builtin_trap();
  auto* copy = static_cast<uint8_t*>(aamalloc(static_cast<uint64_t>(n)));
  if (copy == nullptr) aaRaise(AAE_NOMEM, "fuzz", __LINE__);
  aa_copy(nullptr, copy, static_cast<uint64_t>(n));
  if (ber_chkend() != 1) __builtin_trap();  // the contents end where the length said
  (*gTree)[at].contents.assign(copy, copy + n);
  return at;
}

std::vector<size_t> gTop;

void* parseAll(void* arg) {
  gTop.clear();
  readLevel(gTop);
  return arg;
}

void* dumpAll(void* arg) {
  display();
  return arg;
}

int64_t writeElement(const Node& node) {
  int64_t n = 0;
  if (node.constructed) {
    for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) n += writeElement((*gTree)[*it]);
  } else {
    n = static_cast<int64_t>(node.contents.size());
    if (n > 0) aa_copy(node.contents.data(), nullptr, static_cast<uint64_t>(n));
    cons = 0;
  }
  const uint32_t cls = static_cast<uint32_t>(node.code >> 13) << 6;
  return ber_addid(cls | (node.constructed ? 0x20u : 0u), node.code & 0x1FFF, n);
}

int64_t writeAll(void*) {
  int64_t n = 0;
  for (auto it = gTop.rbegin(); it != gTop.rend(); ++it) n += writeElement((*gTree)[*it]);
  return n;
}

bool sameTree(const std::vector<Node>& a, size_t i, const std::vector<Node>& b, size_t j) {
  const Node& x = a[i];
  const Node& y = b[j];
  if (x.code != y.code || x.constructed != y.constructed || x.contents != y.contents) return false;
  if (x.children.size() != y.children.size()) return false;
  for (size_t k = 0; k < x.children.size(); ++k)
    if (!sameTree(a, x.children[k], b, y.children[k])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  if (init_buffers(20, 64) == 0) std::abort();
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();  // the dump writes there
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] % 64;
  const uint8_t flags = data[1];
  data += 2;
  size -= 2;
  aaextensibility = flags & 1;
  rtp_testForPreEncoded = (flags >> 1) & 1;

  SessionBuffer* chain = chainOf(data, size, piece, (flags & 8) != 0);
  std::vector<Node> tree;
  gTree = &tree;
  gSteps = 0;
  int32_t err = 0;
  rtp_setp(chain);
  const bool whole = p_parse(parseAll, &err, &err) != nullptr;
  if (whole != (err == 0)) __builtin_trap();
  if ((flags & 4) != 0) {
    rtp_setp(chain);
    p_parse(dumpAll, &err, &err);
  }
  freeChain(chain);

  if (whole && rtp_testForPreEncoded == 0) {
    std::vector<size_t> top = gTop;
    rtp_setf(balloc(-1));
    uint32_t ferr = 0;
    const int64_t n = p_format(writeAll, nullptr, &ferr);
    SessionBuffer* out = nullptr;
    rtp_getf(&out);
    if (ferr != 0) __builtin_trap();
    std::vector<Node> again;
    gTree = &again;
    rtp_setp(out);
    if (p_parse(parseAll, &err, &err) == nullptr && n > 0) __builtin_trap();
    if (gTop.size() != top.size()) __builtin_trap();
    for (size_t k = 0; k < top.size(); ++k)
      if (!sameTree(tree, top[k], again, gTop[k])) __builtin_trap();
    freeChain(out);
  }
  gTree = nullptr;
  aafreeall(aagetlist());
  rtp_setp(nullptr);
  if (QvGetSbCount() != 0) __builtin_trap();  // every buffer went back
  aaextensibility = 0;
  rtp_testForPreEncoded = 0;
  return 0;
}
