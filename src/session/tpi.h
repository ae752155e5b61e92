// Transport provider interface: the session layer's only way to the
// transport (TP0 over TCP, src/session/tp0tcp.h). It starts and stops the
// transport for the thread, binds the local provider, turns session needs
// into transport requests, grants receive credit and runs one pass of the
// stack's event loop. It also holds the process-per-connection switch of
// the server role.
#pragma once

#include <signal.h>

#include <cstdint>

#include "common/export.h"

struct Smachine;
struct SessionBuffer;
struct TpLocalAddr;

inline constexpr uint32_t kTpiAlreadyBound = 32790;
inline constexpr uint32_t kTpiNoProvider = 32793;
inline constexpr uint32_t kTpiListenFailed = 32794;
inline constexpr uint32_t kTpiConnectFailed = 32797;

extern int32_t SessPollWaitTime;  // seconds; the client configuration sets it
extern int32_t parentPid;         // the process that ran init_ifc
extern struct sigaction sigChldFunct;  // SIGCHLD disposition before init_ifc set its own
extern sigset_t SigCldMask;            // SIGCHLD alone

uint32_t init_ifc(TpLocalAddr* params);
uint32_t close_ifc();
// Binds the local provider by its generic name ("TP0TCP" only); the device
// name and the further argument are not used.
uint32_t s_tp_bind(const char* genericName, const char* deviceName, void* arg);
// T-CONNECT request: the thread never forks afterwards. 0 once the CR is
// written (the confirm comes through the poll loop), else the transport's
// code.
uint32_t TCONreq(Smachine* s);
void TCONres(Smachine* s);
// Grants receive credit: 1 in STA01A, STA15D, STA16, and in STA01C on the
// called side; unchanged elsewhere. The result carries no meaning.
uint32_t s_receive(Smachine* s);
// Sends the output queue when the connection has a transport endpoint and
// is past STA01B; otherwise 0 and the queue keeps its buffers.
uint32_t s_transmit(Smachine* s);
// T-DISCONNECT request; the connection is left in STA01 whatever the
// transport answers.
uint32_t disconnect(Smachine* s);
// Class 0 has no expedited data: nothing is sent.
void TEXPreq(Smachine* s, const uint8_t* octets, uint32_t length);
// One pass of the event loop: the poll loop, then (unless it answered a
// negative value) the expired session timers. The poll loop's answer.
int32_t do_session_queue();
void CloseCon(Smachine* s);
void s_destruct(Smachine* s);
QV_EXPORT uint32_t QvIsMultiProcessed();

// Fixed answers of this provider.
void S_tpi_updateReceiveCreditAndPostReceiveBuffer(Smachine* s, uint32_t credit);
uint32_t S_tpi_forceCreditToNonZero(Smachine* s);
void S_tpi_enable_input(Smachine* s);
void S_tpi_disable_input(Smachine* s);
void S_tpi_initSpmTInfo(Smachine* s);
// A connection record going away: a transport connection still open for it
// is closed, so that no endpoint is left pointing at the freed record.
void S_tpi_releaseBuffers(Smachine* s);
// Whether the transport offers an expedited flow: TP0 does not (0), so the
// session layer sends everything, short aborts included, as normal data.
uint32_t S_tpi_expeditedAvailable(Smachine* s);
uint32_t S_tpi_invalidProviderGenericName(const char* name);
uint32_t S_tpi_couldSendConnectResponseAndAllocateBuffer(Smachine* s, SessionBuffer** out);
void S_tpi_postSpecialReceiveBuffer(Smachine* s, SessionBuffer* buf);
void S_tpi_postReceiveBuffer(Smachine* s);
uint32_t S_tpi_receiveBufferOutstanding(Smachine* s);
uint32_t S_tpi_handleSReceiveRequest(Smachine* s);

// Steering point for tests: an entry whose hook is set forwards to it.
struct TpiHooks {
  uint32_t (*initIfc)(TpLocalAddr* params);
  uint32_t (*closeIfc)();
  uint32_t (*tpBind)(const char* genericName, const char* deviceName, void* arg);
  uint32_t (*tconReq)(Smachine* s);
  uint32_t (*transmit)(Smachine* s);
  uint32_t (*disconnect)(Smachine* s);
  uint32_t (*receive)(Smachine* s);
};
extern const TpiHooks* gTpiHooks;
