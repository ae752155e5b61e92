// A scripted server user over a whole server-role stack, for tests and test
// peers.
//
// ServerUser brings up a StackSide in the server role, starts the entity and
// the service user and activates (start()). Each pass of runUntil() runs the
// stack's event loop; every indication the service user delivers is handed
// to the handler registered for its (IDU type, event), the handler's answer
// (if any) is sent, and the next event is asked for: the service user hands
// a server one indication at a time and delivers nothing more until then.
//
//   ServerUser server(iniFile);
//   server.on(AL_IDU_RDA, RDA_EXECDBL_IND, [](ServerCall& call) {
//     return rda_createSQLExecDBLRsp(call.ind, call.opId(), ...);
//   });
//   if (!server.start()) return 10;          // server.error() says why
//   child.ready(server.port());
//   server.runUntil([&] { return server.ended() == 1; }, 10s);
//
// Without a handler of its own an event gets a default: an A-ASSOCIATE is
// accepted for "X/OPEN Basic" and refused for any other context, an
// A-RELEASE is answered affirmatively, and the RDA services get a plain
// positive answer (R-BeginTransaction none: it has no positive response;
// R-ExecuteDBL an empty result). Aborts and local errors are only noted.
// Each association has a ServerAssoc, found by its ACB, from the A-ASSOCIATE
// indication until the association ends (affirmative release sent, abort
// sent or received, quick abort).
//
// One ServerUser per process: the service user's receive entry is a plain
// function. The indication is deleted after its handler returns, unless
// the handler took it over.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "src/acse/gidu.h"
#include "support/stack.h"

// What the server keeps of one association.
struct ServerAssoc {
  void* acb = nullptr;         // the association's reference (pc of its GIDUs)
  uint32_t indications = 0;    // RDA indications delivered on it so far
  std::shared_ptr<void> data;  // for the handlers
};

// One delivered GIDU as a handler sees it.
struct ServerCall {
  GIDU* ind;
  ServerAssoc* assoc;  // NULL for a GIDU of no known association
  // Set by a handler that took the indication over (the error builders
  // turn the failing GIDU into the error response).
  bool taken = false;
  // The operation identifier of an RDA indication (-1 for anything else).
  int32_t opId() const;
};

class ServerUser {
 public:
  // The handler's answer, or NULL to send nothing.
  using Handler = std::function<GIDU*(ServerCall& call)>;

  explicit ServerUser(const std::string& iniFile, int32_t pollWait = 1);
  ~ServerUser();
  ServerUser(const ServerUser&) = delete;
  ServerUser& operator=(const ServerUser&) = delete;

  void on(uint32_t iduType, uint32_t event, Handler handler);

  // Starts the entity and the service user and activates in the server
  // role; false (see error()) when any of it failed.
  bool start();
  const std::string& error() const;
  int port() const { return side_.port(); }
  StackSide& side() { return side_; }

  // Passes of the event loop, with every delivered GIDU dispatched, until
  // `done` or `limit`; true when done.
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  // Every event delivered so far, in order, with its error number.
  const std::vector<std::pair<uint32_t, uint32_t>>& seen() const { return seen_; }
  size_t live() const { return assocs_.size(); }
  uint32_t ended() const { return ended_; }  // associations ended so far

 private:
  static void receive(GIDU* gidu);
  void dispatch(GIDU* gidu);
  GIDU* answerByDefault(ServerCall& call);
  void end(void* acb);

  StackSide side_;
  std::string error_;
  int userRef_ = 0;
  std::map<std::pair<uint32_t, uint32_t>, Handler> handlers_;
  std::map<void*, std::unique_ptr<ServerAssoc>> assocs_;
  std::vector<GIDU*> pending_;
  std::vector<std::pair<uint32_t, uint32_t>> seen_;
  uint32_t ended_ = 0;
};
