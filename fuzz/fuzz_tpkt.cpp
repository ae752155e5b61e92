// Arbitrary octet streams on the transport's receive path: TPKT headers and
// bodies read in whatever pieces the stream gives, the TPDU dispatcher, the
// CC and DR handlers, and the data indication into the SPDU reader with the
// real action routines behind it.
//
// Input: octet 0 holds switches (bit 0: the connection waits for its CC,
// else it is open; bit 1: pool buffers of 1024 octets, else 10240; bits 2-3:
// TPDU size 128, 2048, 8192 or 65531; bit 4: the peer's end stays open after
// the stream, else it is shut; bit 5: the connection was accepted by the
// listening side and waits for the CR, which overrides bit 0; bit 6: packet
// data is enciphered, as with EncryptionPackage=1, when libcrypto can be
// loaded); octet 1 picks the session state (0..31); the rest is the stream.
// It goes through a socket pair, polled by the transport's own poll loop.
// Every buffer must be back in the pool and every endpoint free afterwards.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/qvcrypt.h"
#include "fuzz/fuzz_support.h"
#include "src/runtime/qvinfo.h"
#include "src/session/buffer_pool.h"
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spm_actions.h"
#include "src/session/stimer.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"

namespace {

constexpr size_t kMaxStream = 65536;  // within what a socket pair holds
constexpr int kMaxPasses = 64;
constexpr uint32_t kSizes[4] = {128, 2048, 8192, 65531};

// The user takes what it is given and grants one more unit of credit for
// each buffer of data.
int32_t user(Smachine* s, SIDU* sidu) {
  s_freeChain(sidu->userData);
  if (sidu->event == SI_DT_IND && s->credit < 4) ++s->credit;
  return 0;
}

SSAPaddr gSelector{};
int32_t gPoolSize = 0;
bool gCanDecipher = false;

// Loads libcrypto as EncryptionPackage=1 does, through a configuration file
// of its own that is gone again afterwards; whether it could.
bool loadCipher() {
  char dir[] = "/tmp/fuzz_tpkt_XXXXXX";
  if (mkdtemp(dir) == nullptr) return false;
  const std::string ini = std::string(dir) + "/mirodel.ini";
  const std::string text = std::string("[COMMON]\nqv_root=") + dir + "\nEncryptionPackage=1\n";
  FILE* f = std::fopen(ini.c_str(), "w");
  bool loaded = false;
  if (f != nullptr) {
    std::fputs(text.c_str(), f);
    std::fclose(f);
    loaded = qv_setInfo(QV_INFO_INIFILE, 0, ini.c_str()) == 1 && qvcrypt_init(-1) == 1 && qvcrypt_getmode() == 1;
  }
  unlink(ini.c_str());
  rmdir(dir);
  return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  gCanDecipher = loadCipher();
  init_timers();
  gSelector.ssap.len = 2;
  gSelector.ssap.sel[1] = 0x01;
  if (s_activate(&gSelector, user) != 1) std::abort();
  if (tp0tcp_init() != 0) std::abort();
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) std::abort();
  t->tpParams.forkFlag = 0;  // an accepted connection is served here
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size - 2 > kMaxStream) return 0;
  const uint8_t flags = data[0];
  const int32_t pool = (flags & 2) != 0 ? 1024 : 10240;
  if (pool != gPoolSize) {
    if (init_buffers(20, pool) != 1) std::abort();
    gPoolSize = pool;
  }
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) std::abort();
  t->tpParams.tpduSize = kSizes[(flags >> 2) & 3];
  t->tpParams.pollWait = 0;
  encryptMode = gCanDecipher && (flags & 64) != 0 ? 1 : 0;

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) std::abort();
  fcntl(pair[0], F_SETFL, fcntl(pair[0], F_GETFL) | O_NONBLOCK);
  size_t done = 0;
  while (done < size - 2) {
    const ssize_t n = send(pair[1], data + 2 + done, size - 2 - done, MSG_NOSIGNAL);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  if ((flags & 16) == 0) shutdown(pair[1], SHUT_WR);

  Smachine* s = s_alloc();
  if (s == nullptr) std::abort();
  s->next = &t->machines;
  s->prev = t->machines.prev;
  t->machines.prev->next = s;
  t->machines.prev = s;
  s->owner = find_ss_user(&gSelector);
  s->state = static_cast<uint8_t>(data[1] % kSessStates);
  s->version = 2;
  s->requirements = SR_DUPLEX;
  s->credit = 1;
  s_setAvailable(s);
  s_setOwned(s, 0);
  const bool accepted = (flags & 32) != 0;
  const uint32_t state = accepted || (flags & 1) != 0 ? kTcepCrSent : kTcepOpen;
  const int32_t id = tp0tcp_openTcep(s, pair[0], state);
  if (id < 0) std::abort();
  t->tp0.tcep[id].calledSide = accepted ? 1 : 0;

  for (int i = 0; i < kMaxPasses; ++i) {
    if (tp0tcp_poll_events() < 0) break;
    if (!s_isLive(t, s) || tp0tcp_tcepOf(s) == nullptr) break;
  }

  if (s_isLive(t, s)) s_release(s);  // closes what is still open
  for (const TCEP& e : t->tp0.tcep)
    if (e.state != kTcepFree || e.socket != kNoSocket) __builtin_trap();  // an endpoint left behind
  if (t->tp0.activeCount != 0) __builtin_trap();
  if (QvGetSbCount() != 0) __builtin_trap();  // a buffer went astray
  close(pair[1]);
  init_timers();
  return 0;
}
