// Transport class 0 over TCP (RFC 1006): every transport connection is one
// TCP connection, and every TPDU travels in a TPKT.
//
// The calling side (tp0conn.cpp) opens non-blocking sockets to the server
// addresses, writes CR and takes the CC; tp0pkt.cpp frames and unframes the
// packets; tp0poll.cpp runs one pass of the poll loop, hands received data
// up and closes connections; tp0listen.cpp is the listening side. All state
// is in the calling thread's SessionTLS (the TP0 block and its 20 TCEPs),
// apart from the few process-wide values below.
//
// Results: 0 success; 1 nothing done (a dropped TPDU, a write that would
// block); -1 the connection was closed; 32797 no connection could be made.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <cstdint>

#include "common/export.h"

struct Smachine;
struct SessionBuffer;
struct SessionTLS;
struct TCEP;
struct Tp0Block;
struct TpLocalAddr;
struct sockaddr_in;

inline constexpr uint32_t kTp0ConnectFailed = 32797;

// TPDU codes (octet 1 of a TPDU, compared whole).
enum : uint8_t { kTpduCR = 0xE0, kTpduCC = 0xD0, kTpduDR = 0x80, kTpduDT = 0xF0 };
inline constexpr uint8_t kTpduEOT = 0x80;
// Parameter codes of CR and CC.
enum : uint8_t { kTpParamSize = 0xC0, kTpParamCalling = 0xC1, kTpParamCalled = 0xC2 };
inline constexpr uint8_t kTpktVersion = 3;
inline constexpr uint32_t kDtHeaderSize = 7;  // TPKT header and DT header
// Least header of each TPDU after its LI octet (LI may not be smaller).
inline constexpr uint8_t kTpduFixedCRCCDR = 6;
inline constexpr uint8_t kTpduFixedDT = 2;

// TPDU sizes: the smallest and largest a size code stands for.
inline constexpr uint32_t kTpduSizeMin = 128;
inline constexpr uint32_t kTpduSizeMax = 65531;

// [COMMON] tsapd, the port of every outgoing connection; -1 when not set.
extern int32_t tsapd_port;
// The packet-encryption mode taken from the wrapper at start-up: 0 off;
// bit 0 data enciphered through the wrapper. Added to the TPKT version.
extern uint32_t encryptMode;
// Called, when a host sets it, each time a connection is closed.
QV_EXPORT void (*QvAtTerminateFuncPtr)();
// Called, when a host sets it, for each incoming connection that the
// listening side closes because it did not complete its establishment
// within StpParams::establishLimit: the peer's address, and whether its CR
// had come (the CONNECT SPDU had not).
extern void (*tp0tcp_onEstablishCut)(const sockaddr_in* peer, int32_t crReceived);

// The system calls the transport waits in; tests replace them to watch or
// steer them.
struct Tp0Sys {
  int (*connect)(int fd, const sockaddr* addr, socklen_t len);
  int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
};
extern Tp0Sys gTp0Sys;

// ---------------------------------------------------------------------------
// Records

// Every endpoint free and without socket, the active list empty. Touches no
// buffer and no socket.
void tp0tcp_resetTable(Tp0Block* tp);
// Closes the sockets of the endpoints still in use and frees their cipher
// contexts, then resets the table. Their buffers and trees are left to the
// pool and the memory root that own them. Used when the records they point
// at go away.
void tp0tcp_dropAll(Tp0Block* tp);
// The TCEP of `s` when `s` holds one that is in use for it; else NULL.
TCEP* tp0tcp_tcepOf(Smachine* s);
// The id of an endpoint of the calling thread's table (-1 when not one).
int32_t tp0tcp_tcepId(const TCEP* e);

// ---------------------------------------------------------------------------
// Start-up and the calling side

uint32_t tp0tcp_init();
uint32_t tp0tcp_shutdown();
// TCP_NODELAY on a transport socket: false (traced) when it cannot be set.
bool tp0tcp_setNoDelay(int fd);
// A new TCP socket in the TCEP (no delay; keep-alive when iKeepSocketAlive, FIONBIO
// when nonBlocking is 1): 0, or 32797 with no socket left behind.
uint32_t createNewSocket(TCEP* e, uint32_t nonBlocking);
// Opens a transport connection to the server named by the peer address
// record of `s`: TCP connect to the first address that answers, then CR.
// 0 (the CC is awaited), 32797, or the CR write's result.
uint32_t tp0tcp_conn_req(Smachine* s);
// A CC, the TPDU in hand of the connection of `s`: 0 accepted, 1 refused
// (the connection is then failed and reported by the next pass of the
// poll loop).
uint32_t tp0tcp_conn_cfm(Smachine* s);
// Takes a free endpoint for a connection already made on `socket` and puts
// it in the active list in `state` (kTcepCrSent or kTcepOpen). The
// endpoint's id, or -1 with nothing
// taken (the socket is then the caller's). The listening side opens its
// accepted connections this way.
int32_t tp0tcp_openTcep(Smachine* s, int32_t socket, uint32_t state);
// The CR of the endpoint in its header area (after the TPKT header).
void tp0tcp_buildCR(TCEP* e, const uint8_t calling[2], const uint8_t called[2]);

// ---------------------------------------------------------------------------
// Packets

int32_t tp0tcp_send_conpkt(Smachine* s);
int32_t tp0tcp_send_pkt(Smachine* s);
// Reads what the socket holds into the connection's receive area and
// handles every whole TPDU in it while the session user has credit.
int32_t tp0tcp_rcv_pkt(Smachine* s);
// Whether a whole TPKT (or a header that ends the connection) waits in the
// receive area, to be handled without waiting for the socket.
bool tp0tcp_packetWaiting(const TCEP* e);
// Dispatches one received TPDU of `length` octets (from its LI octet on);
// it becomes the endpoint's TPDU in hand while it is handled.
int32_t tp0tcp_parse_pkt(TCEP* e, const uint8_t* tpdu, uint32_t length);
// 255 above 65530; else the exponent of the largest power of two not above
// the size, within 7..15.
uint32_t cnvtTPDUsizeToTPDUop(uint32_t size);
// 7..15: 2 to that power; 255: 65531; else 0 (unknown).
uint32_t cnvtTPDUopToTPDUsize(uint32_t code);

// ---------------------------------------------------------------------------
// Poll loop, data and disconnection

int32_t tp0tcp_poll_events();
uint32_t tp0tcp_data_ind(Smachine* s);
int32_t tp0tcp_disconn_req(Smachine* s, int32_t reason);
uint32_t tp0tcp_disconn_ind(Smachine* s);
void tp0tcp_close_con(TCEP* e);
// What closing leaves of an endpoint, without a word to the peer or the
// host's hook: this process's copy of the socket closed, the endpoint free
// and out of the active list, its buffers, cipher contexts and tree freed,
// its owner without TCEP id and credit. After a fork, the process that does
// not serve a connection lets go of it this way; the connection goes on in
// the process that does.
void tp0tcp_forgetTcep(TCEP* e);
uint32_t tp0tcp_closeSocket(int32_t socket);
QV_EXPORT int32_t tp0tcp_getSocket(Smachine* s);
int32_t tp0tcp_data_req(Smachine* s);

// ---------------------------------------------------------------------------
// Listening side

// Process-wide: 0 prints the listening port on standard output, else traces
// it only.
QV_EXPORT int32_t giQuietMode;
// The listening socket of the thread on the port of the local transport
// selector (tsapd_port when set); the selector gets the port actually used.
uint32_t tp0tcp_bind(TpLocalAddr* params, int32_t maxQueue);
uint32_t tp0tcp_unbind();
// Accepts one pending connection (QvCreateThreadOrAcceptConnection): 0
// served, 1 refused.
int32_t tp0tcp_procSocketConInd();

// What the transport asks of the layer that owns the threads (the ODBC
// layer's QvIsMainThread and QvCreateThreadOrAcceptConnection), which sets
// it at start-up: whether the calling thread may listen (non-zero: it may),
// and to take the connection waiting on the listening socket (its result;
// non-zero ends the poll pass with -1). Until set, every thread listens and
// the waiting connection is accepted in the calling thread
// (tp0tcp_procSocketConInd).
struct Tp0ThreadHooks {
  int32_t (*isMainThread)();
  int32_t (*acceptConnection)();
};
// Sets the hooks for the process; a NULL member (or NULL) restores that
// default.
void tp0tcp_setThreadHooks(const Tp0ThreadHooks* hooks);
// The poll loop's call of the accept hook.
int32_t tp0tcp_acceptWaiting();
// A CR, the TPDU in hand: 0 accepted, else 1 or the DR write's result.
uint32_t tp0tcp_conn_ind(Smachine* s);
// T-CONNECT indication for an accepted connection, in a child of its own
// when the fork switch is on: 0 (the session machine took it; in the child
// with forking), 4096 process limit reached, 4097 fork() failed, 4098 the
// parent after a successful fork, 4099 refused by the session machine.
uint32_t procConInd(Smachine* s);
// SIGCHLD handler of a server-role process that forks per connection: it
// only collects ended children; the next normal pass (the poll loop, the
// next fork) takes them off the thread's count and traces them.
void processTermChld_handler(int sig);
// Takes the children the handler collected off the thread's count and
// traces each; their number.
uint32_t tp0tcp_reportReapedChildren();
