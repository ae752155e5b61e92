// Fixture of the end-to-end tests of the client's SQL-text operations:
// rdapeer with a record of every R-ExecuteDBL it receives, the client's
// environment naming it and a connection connected to it; the texts the
// peer received since the last look; parameters bound by hand.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "support/cli_diag.h"
#include "support/client_env.h"
#include "support/peer_process.h"

inline constexpr int32_t NTS = -3;

// The level words of the peer's R-Initialize answer: level 0 (digit
// strings), level 1 with digit strings, level 1 with 8-byte integers.
inline const char* initData(int word) {
  switch (word) {
    case 64:
      return "KVO_RDA_SERVER,64,0,0,V1";
    case 1:
      return "KVO_RDA_SERVER,1,0,0,V1";
    default:
      return "KVO_RDA_SERVER,65,0,0,V1";
  }
}

class ClientSql : public ClientEnvTest {
 protected:
  // rdapeer with `options` and a record of what it receives, the client's
  // environment naming it, and one connection connected to it.
  void up(std::vector<std::string> options, int responseTimeOut = 30, const std::string& common = "") {
    record_ = dir("record" + std::to_string(peers_));
    options.insert(options.end(), {"--record", record_.string()});
    // An earlier peer goes on serving its connections.
    if (peer_ != nullptr) earlier_.push_back(std::move(peer_));
    peer_ = std::make_unique<PeerProcess>(dir("peer" + std::to_string(peers_++)), options);
    ASSERT_GT(peer_->port(), 0);
    if (env_ == nullptr) start(peer_->port(), responseTimeOut, common);
    c_ = conn();
    // A later peer is named by the connect string: the configuration's
    // resource names the first.
    const std::string there = "ADDRESS=127.0.0.1;PORT=" + std::to_string(peer_->port());
    ASSERT_EQ(connect(c_, peers_ == 1 ? "rdatest" : "elsewhere", there.c_str()), 0) << lastDiag(c_->errors).message;
    seen_ = 0;
  }
  RDA_CliHSTMT* stmt(RDA_CliHDBC* c = nullptr) {
    RDA_CliHSTMT* s = nullptr;
    EXPECT_EQ(rda_cliAllocStmt(c != nullptr ? c : c_, &s), 0);
    return s;
  }
  // The R-ExecuteDBL lines the peer has recorded since the last call.
  std::vector<PeerRecordLine> received() {
    std::vector<PeerRecordLine> out;
    const std::vector<PeerRecordLine> all = readPeerRecord(record_);
    for (size_t i = seen_; i < all.size(); ++i)
      if (all[i].kind == "R-ExecuteDBL") out.push_back(all[i]);
    seen_ = all.size();
    return out;
  }
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (const PeerRecordLine& l : received()) out.push_back(l.field("text").value_or("?"));
    return out;
  }
  static std::string id(const RDA_CliHSTMT* s) { return std::to_string(s->opId); }
  static std::string message(const RDA_CliHSTMT* s) { return lastDiag(s->errors).message; }

  // Direct execution of an 8-bit text.
  static int32_t run(RDA_CliHSTMT* s, const std::string& sql) {
    const std::wstring w(sql.begin(), sql.end());
    return rda_cliExecDirectNew(s, w.c_str(), NTS);
  }
  static int32_t prepare(RDA_CliHSTMT* s, const std::string& sql) {
    return rda_cliPrepare(s, sql.c_str(), NTS);
  }

  std::unique_ptr<PeerProcess> peer_;
  std::vector<std::unique_ptr<PeerProcess>> earlier_;
  std::filesystem::path record_;
  RDA_CliHDBC* c_ = nullptr;
  size_t seen_ = 0;
  int peers_ = 0;
};

// Three integers bound as parameters 1-3.
struct Ints {
  int32_t v[3] = {0, 0, 0};
  int64_t ind[3] = {4, 4, 4};
  void bind(RDA_CliHSTMT* s, int n = 3) {
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(rda_cliBindParam(s, i + 1, RDA_CLI_C_SLONG, RDA_CLI_SQL_INTEGER, 10, 0, &v[i], &ind[i], nullptr,
                                 RDA_CLI_PARAM_INPUT, 4),
                0);
  }
};

