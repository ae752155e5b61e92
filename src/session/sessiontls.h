// Per-thread record of the session layer (with multi-threading on, of the
// connection whose record set the thread serves): the registered users, the
// session connections, the transport's endpoints, the transport parameters
// and provider table, and the items of the SPDU just received.
#pragma once

#include <sys/uio.h>

#include <cstdint>

#include "common/tlsfamily.h"
#include "src/session/session.h"

struct XmTree;
struct QvCipherCtx;

// ---------------------------------------------------------------------------
// Transport parameters (the per-thread copy of qv_s_tpParams).

struct StpParams {
  const char* providerName;   // generic name of the provider of the next connect ("TP0TCP")
  int32_t listenQLen;         // above 0: server role, listen with this queue (at most 255);
                              // the client start-up sets 0, so the driver never listens
  uint32_t tpduSize;          // TPDU size asked for in each CR; the client start-up sets
                              // [CLIENT] tpduSize
  uint32_t forkFlag;          // 1: a child process serves each accepted connection; set by
                              // init_ifc, cleared for good by the first TCONreq
  uint32_t processLimit;      // children beyond which accepted connections are refused
  int32_t pollWait;           // seconds the poll loop waits; -1 = no time-out (init_ifc
                              // copies SessPollWaitTime)
  uint32_t addressSelection;  // bit 0: random first server address; bit 1: add the
                              // address's position in the list to the port. The client
                              // start-up sets [CLIENT] AddressSelection
  uint32_t providerKind;      // written by the presentation layer with the provider name
                              // (0 for "TP024", else 1); read by nothing below it
  uint32_t transportClass;    // written by the presentation layer when its connect names a
                              // class; read by nothing below it (TP0 is class 0)
  int32_t establishLimit;     // seconds from accept within which an incoming connection must
                              // bring its CR and then its CONNECT SPDU, or be closed; 0 = no
                              // limit but the session's own idle timer (the default)
};
extern const StpParams qv_s_tpParams;

// The calling thread's transport parameters; NULL without a SessionTLS.
StpParams* QvGetStpParams();

// Transport provider table (the per-thread copy of qv_s_stackInfo).
struct StackProvider {
  const char* genericName;
  const char* deviceName;
};
inline constexpr int32_t kMaxProviders = 4;
struct StackInfo {
  int32_t count;  // providers attached, counted from the template's 3
  StackProvider entry[3];
};
extern const StackInfo qv_s_stackInfo;

// The local transport address given to init_session: a transport selector
// record and the word after it (the start of the caller's block).
struct TpLocalAddr {
  TSAPaddr tsap;
  uint32_t word;
};
static_assert(sizeof(TpLocalAddr) == 36);

// ---------------------------------------------------------------------------
// Transport connection endpoints of TP0 over TCP.

inline constexpr int32_t kTcepCount = 20;
inline constexpr int32_t kNoSocket = 65535;

struct TcepLink {
  TcepLink* next;
  TcepLink* prev;
};

// Send states of a TCEP.
enum : uint32_t { TxIdle = 0, TxTPDU = 2, TxSeg = 3 };
// TCEP states.
enum : uint32_t { kTcepFree = 0, kTcepOpen = 1, kTcepFailed = 2, kTcepCrSent = 3 };

inline constexpr uint32_t kTpktHeaderSize = 4;
inline constexpr uint32_t kTpduHeaderRoom = 18;  // the longest TPDU header written (CR)
// Data TPDUs framed for one gathering write, and the octets of their
// TPKT and DT headers.
inline constexpr uint32_t kTxBatch = 32;
inline constexpr uint32_t kTxHeader = 7;
// The receive area of a connection: the longest TPKT and as much again, so
// that one read takes every TPDU that has arrived.
inline constexpr uint32_t kRxArea = 2 * 65536;

struct TCEP : TcepLink {
  int32_t socket;          // kNoSocket when there is none
  Smachine* owner;
  uint32_t state;          // kTcepFree, kTcepOpen, kTcepFailed, kTcepCrSent (CR sent, or
                           // accepted and waiting for the CR)
  uint8_t confirmPending;  // T-CONNECT confirm still to be fed by the poll loop
  uint8_t calledSide;      // 1: accepted by the listening side (its state 3 waits for a CR)
  uint32_t sendState;      // TxIdle, TxTPDU, TxSeg
  uint8_t header[kTpktHeaderSize + kTpduHeaderRoom];  // TPKT and TPDU header of a control
                                                      // TPDU, in wire order
  SessionBuffer* curUnit;  // the output-queue buffer being framed; NULL between buffers
  uint32_t bytesToWrite;   // octets of the control TPDU in hand the socket has not taken
  uint8_t* writePtr;       // next octet of the control TPDU, or of curUnit to frame
  SessionBuffer* assembly; // pool buffer being filled with received user data
  uint8_t peerRef[2];      // the peer's source reference from its CR
  uint32_t tpduSize;       // the size asked for, then the size the CC confirmed
  SessionBuffer* rcvBuf;   // transport buffer of kRxArea octets each read goes into
  uint32_t rxStart;        // first octet of rcvBuf's area not yet taken
  uint32_t rxEnd;          // end of the octets read into it
  const uint8_t* inTpdu;   // the TPDU being handled (in rcvBuf), from its LI octet
  uint32_t inTpduLength;
  XmTree* connTree;        // holds the receive buffer
  uint32_t segLeft;        // octets of the current unit still to frame
  uint32_t eot;            // the current unit's end flag
  // Data TPDUs framed and being written with one gathering write: their
  // headers, the pieces to write, and the buffer each TPDU completes.
  uint32_t txCount;        // TPDUs in the batch; 0 = none (a control TPDU is in hand)
  uint32_t txDoneCount;    // TPDUs of the batch written whole
  uint32_t txIovCount;
  uint32_t txIovAt;        // first piece not written whole
  uint8_t txHeader[kTxBatch][kTxHeader];
  uint32_t txIovEnd[kTxBatch];         // piece after each TPDU's last
  SessionBuffer* txCompletes[kTxBatch];  // buffer a TPDU ends, or NULL
  struct iovec txIov[2 * kTxBatch];
  uint8_t peerSockAddr[16];
  QvCipherCtx* encryptCtx; // contexts of the encryption wrapper, freed at close
  QvCipherCtx* decryptCtx;
  SessionBuffer* cipherBuf;  // pool buffer receiving each unit's ciphertext
};

struct Tp0Block {
  SessionBuffer held;     // ring of buffers freed once the current SPDU is handled
  int32_t listenSocket;   // -1 = none
  TCEP tcep[kTcepCount];
  TcepLink* cursor;       // next endpoint the poll loop serves; &active when none
  TcepLink active;        // endpoints in use, in the order they were opened
  uint32_t activeCount;
};

// ---------------------------------------------------------------------------
// Items of the SPDU just received, read by the actions of the machine.

struct SpduArea {
  int32_t pendingEvent;       // event the last reader chose; -1 = none
  ScidBlock cid;
  uint8_t protocolOptions;
  uint8_t version;
  uint8_t requirementsPresent;  // RF only
  uint32_t requirements;
  SAddress calling;
  SAddress called;            // in AC: responding
  uint8_t tokenItem;
  uint8_t transportDisconnect;
  uint8_t enclosure;
  uint8_t syncType;
  uint64_t serial;            // 1000000 = absent
  uint8_t prepareType;
  uint8_t reason;
  uint8_t tokenSetting;
  uint8_t resyncType;
  uint8_t dataOverflow;
  ActId activityId;           // AS
  ActId oldActivityId;        // linking information of AR
  ActId arActivityId;         // AR
  SessionBuffer* userData;    // user data of the SPDU just read
  SessionBuffer* delivered;   // user information of a DT, TD or EX
  const uint8_t* spduStart;
  uint32_t spduLength;
};

// ---------------------------------------------------------------------------

struct SessionTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  uint32_t sessionError;    // last session error; 0 at creation
  SsLink users;             // registered users, in order of registration
  SmLink machines;          // session connections of this thread
  Tp0Block tp0;
  StpParams tpParams;
  StackInfo stackInfo;
  SpduArea spdu;
  // SPDU reader and builders
  const uint8_t* parseCursor;
  const uint8_t* parseEnd;
  SessionBuffer* parseInput;
  uint8_t* writePtr;
  uint8_t* writeBase;       // the builders write no further back than this
  uint32_t writeOverflow;   // an encoder found no room before writeBase
  uint32_t released;        // set by s_release
  // transport provider interface
  TpLocalAddr localAddr;    // copy of the local transport address
  TpLocalAddr* localParams; // the parameters themselves (the listening side writes the port back)
  uint32_t bound;           // the local provider is bound
  uint32_t children;        // forked connection processes still running
  SessionTLS* next;
};

extern TLSFamily<SessionTLS> gSessionTLS;

int32_t initSessionTLS();
SessionTLS* getSessionTLS(int32_t remove);
// Unlinks the calling thread's record and frees it with the users and
// connection records still in it (their buffers go with the pool's tree).
void removeSessionTLS();
void destroySessionTLSCache();

// Frees the user and connection records of a record. Their buffers are items
// of the pool's tree, which goes (or has gone) with the pool, so they are
// not touched; timers still queued for the connections are cancelled when the
// thread's timer queue is still there.
void session_freeRecords(SessionTLS* t);

// Whether `s` is still one of the record's connections (the pointer is only
// compared, never read).
bool s_isLive(const SessionTLS* t, const Smachine* s);
