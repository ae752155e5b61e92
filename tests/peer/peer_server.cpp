#include "peer/peer_server.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "peer/peer_auth.h"
#include "peer/peer_record.h"
#include "peer/peer_sql.h"
#include "src/acse/acse_apdu.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_stackbuild.h"
#include "support/credentials.h"
#include "support/server_user.h"

namespace peer {

namespace {

// What the peer keeps of an association: its SQLite session and counts of
// the requests the misbehaviour options count.
struct PeerAssoc {
  Session session;
  std::string attached;  // the schema R-Open attached, "" for none
  bool initialised = false;
  int executes = 0;
  int begins = 0;
  int commits = 0;
};

PeerAssoc* stateOf(const ServerCall& call) {
  return call.assoc != nullptr ? static_cast<PeerAssoc*>(call.assoc->data.get()) : nullptr;
}

const RDAXOPENIdu& iduOf(const ServerCall& call) { return *static_cast<const RDAXOPENIdu*>(call.ind->idu); }

// The error response of generic error `number` with its parameter (see
// rda_createGenErrIdu); the indication goes with it.
GIDU* errorAnswer(ServerCall& call, uint32_t number, const void* diag) {
  GIDU* err = rda_createGenErrIdu(call.ind, number, diag);
  // Without an answer the builder may or may not have freed the indication:
  // it is left alone rather than freed twice.
  call.taken = true;
  return err;
}

// Error 19 ("operation aborted") with a diagnostic text.
GIDU* refuse(ServerCall& call, const std::string& text) {
  RDAErrDiag diag{};
  diag.mask = 1u << 1;
  diag.text = const_cast<char*>(text.c_str());
  return errorAnswer(call, RDA_GENERR_OP_ABORTED, &diag);
}

// A data resource name the peer attaches as a file of its directory:
// letters, digits and '_', as long as a client's resource names may be.
bool plainName(const char* s) {
  if (s == nullptr || *s == '\0' || std::strlen(s) > 128) return false;
  for (const char* p = s; *p != '\0'; ++p)
    if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '_') return false;
  return true;
}

std::string textOf(const OctStgV& o) {
  return o.octets != nullptr ? std::string(reinterpret_cast<const char*>(o.octets), o.length) : std::string();
}

GIDU* initialize(const PeerOptions& options, ServerCall& call) {
  PeerAssoc* a = stateOf(call);
  const RDAInit_RI& ri = iduOf(call).init_RI;
  const RDAInit_Req& req = ri.req;
  if (options.record) options.record->initialize(req);
  if (options.failInitialize || a == nullptr)
    return refuse(call, options.failInitText.empty() ? kInitRefusedText : options.failInitText);

  const bool hasUserData = (req.mask & (1u << 6)) != 0 && (req.sql.mask & 2u) != 0;
  const std::optional<int> level = clientLevelWord(hasUserData ? textOf(req.sql.userData) : "");
  const bool scrambled = level.has_value() && credentialsScrambled(*level);
  std::string user = req.identityOfUser != nullptr ? req.identityOfUser : "";
  std::string password;
  if ((req.mask & (1u << 3)) != 0) {
    const RDAAuthData& auth = req.userAuthData;
    if (auth.code == RDA_AUTH_TEXT && auth.text != nullptr) password = auth.text;
    else if (auth.code == RDA_AUTH_OCTETS) password = textOf(auth.octets);
  }
  if (scrambled) {
    user = unscrambleCredential(user);
    password = unscrambleCredential(password);
  }
  if (!options.users.empty()) {
    const auto it = options.users.find(user);
    if (it == options.users.end() || it->second != password) return refuse(call, kBadLogonText);
  }

  a->initialised = true;
  const Negotiated n = negotiate(hasUserData ? std::optional<std::string_view>(textOf(req.sql.userData)) : std::nullopt,
                                 options.initData.has_value() ? std::optional<std::string_view>(*options.initData)
                                                              : std::nullopt);
  a->session.level = n.level;
  a->session.eightByteNumerics = n.eightByteNumerics;
  const std::string& data = options.initData.value_or("");
  const OctStgV userData{static_cast<uint32_t>(data.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(data.data()))};
  // Control service only where the client asked for it; then it comes with
  // authentication data of the server's.
  const uint32_t controlled = (req.mask & (1u << 4)) != 0 && req.flag != 0 ? 1 : 0;
  const uint32_t flag = 1;
  RDAAuthData serverAuth{};
  serverAuth.code = RDA_AUTH_TEXT;
  serverAuth.text = const_cast<char*>("rdapeer");
  return rda_createSQLInitRsp(call.ind, ri.opId, controlled, controlled != 0 ? &flag : nullptr,
                              controlled != 0 ? &serverAuth : nullptr, req.functionalUnits,
                              options.initData.has_value() ? &userData : nullptr);
}

GIDU* open(const PeerOptions& options, ServerCall& call) {
  PeerAssoc* a = stateOf(call);
  const RDAOpen_RI& ri = iduOf(call).open_RI;
  const char* name = (ri.req.mask & (1u << 2)) != 0 ? ri.req.dataResourceName : nullptr;
  if (options.openError != 0) {
    const uint32_t handle = 1;
    const RDAInvSequence state{1u, options.openErrorState};
    return errorAnswer(call, options.openError,
                       options.openError == RDA_GENERR_DATA_RSRC_OPEN ? static_cast<const void*>(&handle)
                       : options.openError == RDA_GENERR_INV_SEQUENCE ? static_cast<const void*>(&state)
                                                                      : nullptr);
  }
  if (a == nullptr || a->session.db == nullptr) return refuse(call, "no database");
  if (name != nullptr && *name != '\0') {
    if (!plainName(name)) return refuse(call, std::string("not a database name: ") + name);
    if (!a->attached.empty()) return refuse(call, "a database is open already");
    const std::string file = (options.scratch / (std::string(name) + ".sqlite")).string();
    char* sql = sqlite3_mprintf("ATTACH DATABASE %Q AS \"%w\"", file.c_str(), name);
    a->session.guard.own = true;
    const std::string failed = runPlain(a->session.db, sql);
    a->session.guard.own = false;
    sqlite3_free(sql);
    if (!failed.empty()) return refuse(call, failed);
    a->attached = name;
  }
  return rda_createSQLOpenRsp(call.ind, ri.opId, 0, nullptr, nullptr);
}

GIDU* close(ServerCall& call) {
  PeerAssoc* a = stateOf(call);
  const int32_t op = call.opId();
  if (a != nullptr && a->session.db != nullptr && !a->attached.empty()) {
    // The cursors go with the data resource.
    a->session.cursors.clear();
    char* sql = sqlite3_mprintf("DETACH DATABASE \"%w\"", a->attached.c_str());
    a->session.guard.own = true;
    const std::string failed = runPlain(a->session.db, sql);
    a->session.guard.own = false;
    sqlite3_free(sql);
    if (!failed.empty()) return refuse(call, failed);
    a->attached.clear();
  }
  return rda_createSQLCloseRsp(call.ind, op);
}

GIDU* beginTransaction(const PeerOptions& options, ServerCall& call) {
  PeerAssoc* a = stateOf(call);
  if (a == nullptr || a->session.db == nullptr) return refuse(call, "no database");
  if (++a->begins == options.failBegin) return refuse(call, kBeginRefusedText);
  const std::string failed = runPlain(a->session.db, "BEGIN");
  // Begun: there is no positive answer.
  return failed.empty() ? nullptr : refuse(call, failed);
}

void rollBack(PeerAssoc* a) {
  if (a != nullptr && a->session.db != nullptr && sqlite3_get_autocommit(a->session.db) == 0)
    (void)runPlain(a->session.db, "ROLLBACK");
}

GIDU* commit(const PeerOptions& options, ServerCall& call) {
  PeerAssoc* a = stateOf(call);
  const int32_t op = call.opId();
  if (a != nullptr && ++a->commits == options.commitRollback) {
    rollBack(a);
    return rda_createSQLCommitRsp(call.ind, op, 7, kCommitRolledBackText);
  }
  std::string failed = a != nullptr && a->session.db != nullptr ? runPlain(a->session.db, "COMMIT") : "no database";
  if (failed.empty()) return rda_createSQLCommitRsp(call.ind, op, 0, nullptr);
  // The commit failed: what was done is rolled back, and the answer says so.
  rollBack(a);
  const std::wstring text(failed.begin(), failed.end());
  return rda_createSQLCommitRsp(call.ind, op, 1, text.c_str());
}

GIDU* rollback(ServerCall& call) {
  rollBack(stateOf(call));
  return rda_createSQLRollbackRsp(call.ind, call.opId());
}

GIDU* execute(const PeerOptions& options, ServerCall& call) {
  PeerAssoc* a = stateOf(call);
  if (options.record) options.record->execute(iduOf(call).execDBL_RI.req);
  if (a == nullptr || a->session.db == nullptr) return refuse(call, "no database");
  if (options.muteAfter >= 0 && ++a->executes > options.muteAfter) return nullptr;
  GIDU* rsp = answerExecDBL(a->session, call.ind);
  return rsp != nullptr ? rsp : refuse(call, "no memory for the answer");
}

// The RDA services the peer answers.
struct Service {
  uint32_t event;
  GIDU* (*answer)(const PeerOptions&, ServerCall&);
};
constexpr Service kServices[] = {
    {RDA_INIT_IND, initialize},
    {RDA_TERM_IND,
     [](const PeerOptions& o, ServerCall& c) {
       return o.failTerminate ? refuse(c, kTermRefusedText) : rda_createSQLTermRsp(c.ind, c.opId());
     }},
    {RDA_OPEN_IND, open},
    {RDA_CLOSE_IND, [](const PeerOptions&, ServerCall& c) { return close(c); }},
    {RDA_BGNTRANS_IND, beginTransaction},
    {RDA_COMMIT_IND, commit},
    {RDA_ROLLBACK_IND, [](const PeerOptions&, ServerCall& c) { return rollback(c); }},
    {RDA_EXECDBL_IND, execute},
};

}  // namespace

void installPeer(ServerUser& server, const PeerOptions& options) {
  server.on(AL_IDU_ACSE, AL_A_ASSOC_IND, [options](ServerCall& call) -> GIDU* {
    const auto* apdu = static_cast<const AcseApdu*>(call.ind->idu);
    const bool xopen = apdu != nullptr && apdu->code == AC_APDU_AARQ &&
                       ul_objidvcmp(&apdu->aarq.contextName, rda_xopenAppCtxName) == 1;
    auto state = std::make_shared<PeerAssoc>();
    const std::string file = options.database.empty() ? ":memory:" : options.database;
    const bool opened = xopen && !options.refuseAssociation &&
                        sqlite3_open_v2(file.c_str(), &state->session.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                        nullptr) == SQLITE_OK;
    bool ready = false;
    if (opened && call.assoc != nullptr) {
      sqlite3_busy_timeout(state->session.db, 2000);
      guardFiles(state->session.db, &state->session.guard);
      ready = setUpCatalog(state->session.db, options.info).empty();
      if (ready) call.assoc->data = state;
    }
    return rda_createAssocRsp(call.ind, rda_xopenAppCtxName, ready ? AC_RESULT_ACCEPTED : AC_RESULT_REJECTED_PERMANENT,
                              nullptr, SR_DUPLEX);
  });
  for (const Service& s : kServices) {
    const auto answer = s.answer;
    server.on(AL_IDU_RDA, s.event, [options, answer](ServerCall& call) -> GIDU* {
      if (options.abortAfter >= 0 && call.assoc != nullptr &&
          call.assoc->indications > static_cast<uint32_t>(options.abortAfter))
        return rda_createAbortReq(call.ind);
      if (options.mute) return nullptr;
      return answer(options, call);
    });
  }
}

}  // namespace peer
