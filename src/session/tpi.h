// Transport provider interface: the session layer's only way to the
// transport. It starts and stops the transport for the thread, binds the
// local provider, turns session needs into transport requests, grants
// receive credit and runs one pass of the stack's event loop.
//
// Minimal version: TP0 over TCP is not built yet. The entries that need it
// answer as a transport with no connection would (TCONreq: no connection
// could be made; do_session_queue: no socket alive); the rest is final.
#pragma once

#include <cstdint>

struct Smachine;
struct SessionBuffer;
struct TpLocalAddr;

inline constexpr uint32_t kTpiAlreadyBound = 32790;
inline constexpr uint32_t kTpiNoProvider = 32793;
inline constexpr uint32_t kTpiListenFailed = 32794;
inline constexpr uint32_t kTpiConnectFailed = 32797;

extern int32_t SessPollWaitTime;  // seconds; the client configuration sets it
extern int32_t parentPid;

uint32_t init_ifc(TpLocalAddr* params);
uint32_t close_ifc();
// Binds the local provider by its generic name ("TP0TCP" only); the device
// name and the further argument are not used.
uint32_t s_tp_bind(const char* genericName, const char* deviceName, void* arg);
uint32_t TCONreq(Smachine* s);
void TCONres(Smachine* s);
// Grants receive credit: 1 in STA01A, STA15D, STA16, and in STA01C on the
// called side; unchanged elsewhere. The result carries no meaning.
uint32_t s_receive(Smachine* s);
uint32_t s_transmit(Smachine* s);
// T-DISCONNECT request; the connection is left in STA01 whatever the
// transport answers.
uint32_t disconnect(Smachine* s);
void TEXPreq(Smachine* s, const uint8_t* octets, uint32_t length);
int32_t do_session_queue();
void CloseCon(Smachine* s);
// Frees every buffer of the thread's held-buffer ring: the received units
// handed to the SPDU reader and the copies it kept.
void reclaim_buf();
void s_destruct(Smachine* s);
uint32_t QvIsMultiProcessed();

// Fixed answers of this provider.
void S_tpi_updateReceiveCreditAndPostReceiveBuffer(Smachine* s, uint32_t credit);
uint32_t S_tpi_forceCreditToNonZero(Smachine* s);
void S_tpi_enable_input(Smachine* s);
void S_tpi_disable_input(Smachine* s);
void S_tpi_initSpmTInfo(Smachine* s);
void S_tpi_releaseBuffers(Smachine* s);
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
