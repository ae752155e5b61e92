// The test peer's server user: the answers of an RDA server with SQLite
// behind it, as handlers of the shared scripted server user.
//
// Each accepted association gets its own SQLite connection: the database
// file of the options, or a new in-memory database, with the catalog of
// peer_catalog.h. R-Initialize checks the user's identity (unscrambled when
// the client's level word says it is scrambled) and settles the dialogue's
// optimisation level and numeric form as the client reads the answer;
// R-Open attaches the database its resource name names (a file of that name
// in the scratch directory) and R-Close detaches it; R-BeginTransaction,
// R-Commit and R-Rollback run BEGIN, COMMIT and ROLLBACK; R-ExecuteDBL runs
// its text (peer_texts.h, peer_sql.h). When the association ends in any
// way, an open transaction is rolled back and the connection closed.
//
// For the client's error paths the peer can misbehave: refuse every
// association, abort each association after n RDA requests, never answer
// an RDA request, answer R-Initialize, R-Open or R-Terminate with an error,
// answer R-Initialize with other user data, stop answering R-ExecuteDBL,
// refuse an R-BeginTransaction, or turn an R-Commit into a rollback.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "peer/peer_auth.h"
#include "peer/peer_catalog.h"

class ServerUser;

namespace peer {

class Recorder;

struct PeerOptions {
  std::string database;                       // SQLite file; "": in-memory, one per association
  std::filesystem::path scratch;              // where R-Open finds the databases it attaches
  std::map<std::string, std::string> users;   // user name -> password; none: anyone may log on
  bool refuseAssociation = false;
  int abortAfter = -1;                        // RDA requests answered before the next gets an A-ABORT (-1: never)
  bool mute = false;                          // associations accepted, RDA requests never answered
  bool failInitialize = false;                // R-Initialize answered with an error
  std::string failInitText;                   // its text; "": kInitRefusedText
  // R-Initialize's user data; nothing: the answer carries none.
  std::optional<std::string> initData = std::string(kServerUserData);
  // R-Open answered with this error (0: none): 10 (open already, handle 1),
  // 11, or 17 (invalid sequence, with openErrorState as its state).
  uint32_t openError = 0;
  int32_t openErrorState = 0;
  bool failTerminate = false;                 // R-Terminate answered with error 19
  int muteAfter = -1;                         // R-ExecuteDBL answered so often, then never (-1: always)
  int failBegin = 0;                          // the n-th R-BeginTransaction gets error 19 (0: none)
  int commitRollback = 0;                     // the n-th R-Commit rolls back and answers code 7 (0: none)
  InfoValues info = defaultInfo();            // QV_INFO
  std::shared_ptr<Recorder> record;           // what clients send; NULL: nothing recorded
};

// The diagnostic texts of refused requests.
inline constexpr const char* kBadLogonText = "invalid user name or password";
inline constexpr const char* kInitRefusedText = "initialization refused";
inline constexpr const char* kTermRefusedText = "termination refused";
inline constexpr const char* kBeginRefusedText = "transaction refused";
inline constexpr const wchar_t* kCommitRolledBackText = L"the commit was turned into a rollback";

// Registers the peer's handlers with `server` (before it starts).
void installPeer(ServerUser& server, const PeerOptions& options);

}  // namespace peer
