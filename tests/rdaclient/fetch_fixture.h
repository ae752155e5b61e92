// A statement with a result received whole (rows made in memory, fed to the
// confirm's handlers), its cursor open and its connection in a transaction,
// for the tests of the fetch and of the readers; and application buffers
// with guard bytes on both sides.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "rdaclient/result_fixture.h"
#include "src/rdaclient/rdacli_fetch.h"
#include "src/rdaclient/rdacli_handles.h"
#include "support/cli_diag.h"

// An application buffer of `size` bytes between two runs of guard bytes.
class GuardedBuffer {
 public:
  static constexpr uint8_t kGuard = 0xAB;
  static constexpr size_t kSide = 16;
  explicit GuardedBuffer(size_t size) : bytes_(size + 2 * kSide, kGuard), size_(size) {}
  void* data() { return bytes_.data() + kSide; }
  size_t size() const { return size_; }
  // The guards on both sides are whole.
  bool guardsIntact() const {
    for (size_t i = 0; i < kSide; ++i)
      if (bytes_[i] != kGuard || bytes_[kSide + size_ + i] != kGuard) return false;
    return true;
  }
  // No byte of the buffer was written.
  bool untouched() const {
    for (size_t i = 0; i < size_; ++i)
      if (bytes_[kSide + i] != kGuard) return false;
    return true;
  }
  const uint8_t* at(size_t i) const { return bytes_.data() + kSide + i; }
  // The buffer's text up to its NUL (or its end).
  std::string text() const { return std::string(reinterpret_cast<const char*>(at(0)), strnlen(reinterpret_cast<const char*>(at(0)), size_)); }
  // Its wide text up to the NUL character (or its end).
  std::wstring wide() const {
    std::wstring out;
    for (size_t i = 0; i + sizeof(wchar_t) <= size_; i += sizeof(wchar_t)) {
      wchar_t c;
      std::memcpy(&c, at(i), sizeof c);
      if (c == L'\0') break;
      out.push_back(c);
    }
    return out;
  }
  std::string bytes(size_t n) const { return std::string(reinterpret_cast<const char*>(at(0)), n < size_ ? n : size_); }
  void reset() { std::memset(bytes_.data(), kGuard, bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
  size_t size_;
};

class FetchTest : public ResultColumns {
 public:
  // The value builders, for tables of cases.
  using ResultColumns::addBits;
  using ResultColumns::addInt;
  using ResultColumns::addNull;
  using ResultColumns::addText;
  using ResultColumns::addWide;
  RDAXOPENSQLVal* addDouble(RDASQLValList* r, double v, uint32_t kind = RDA_SQLVAL_DOUBLE) {
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, kind, nullptr, 0, 0, nullptr, nullptr, 0, v), 1);
    return last(r);
  }
  RDAXOPENSQLVal* addNumeric(RDASQLValList* r, const std::string& digits) {
    const OctStgV o{static_cast<uint32_t>(digits.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(digits.data()))};
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, RDA_SQLVAL_NUMERIC, nullptr, 0, 0, &o, nullptr, 0, 0), 1);
    return last(r);
  }
  RDAXOPENSQLVal* addBytes(RDASQLValList* r, const std::string& bytes) {
    const BitStgV b{0, static_cast<uint32_t>(bytes.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data()))};
    EXPECT_EQ(rda_addXOPENSQLVal(msg, &r->values, RDA_SQLVAL_BITVARYING, nullptr, 0, 0, nullptr, &b, 0, 0), 1);
    return last(r);
  }

 protected:
  void SetUp() override {
    ResultColumns::SetUp();
    conn.state |= RDA_CLI_ST_TRANSACTION;
    stmt.resultTree = _xm_allocTree(stmt.tree);
    ASSERT_NE(stmt.resultTree, nullptr);
  }
  // The result described by `ds` with the rows `rs`, received with the end
  // of its data: no fetch of this statement asks the server for more.
  void receive(std::vector<Descr*> ds, std::vector<RDASQLValList*> rs) {
    ASSERT_EQ(updateColSpec(&stmt, descrs(std::move(ds))), 1);
    ASSERT_EQ(updateColVal(&stmt, rows(std::move(rs))), 1) << lastDiag(stmt.errors).message;
    stmt.state |= RDA_CLI_STMT_CURSOR_OPEN;
    stmt.endOfData = 1;
    stmt.moreResults = 1;
  }
};
