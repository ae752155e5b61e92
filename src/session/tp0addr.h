// Small services of TP0 over TCP: OSI address records to and from socket
// addresses and ports, the transport's own receive buffers, the thread's
// listening socket and the transport's pseudo-random generator (which picks
// the first of several server addresses). Host-name resolution, which the
// directory uses too, lives in the runtime base (src/runtime/hostaddr.h).
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "common/export.h"
#include "src/runtime/hostaddr.h"  // tp0hname_to_ipaddr

struct NSAPaddr;
struct TSAPaddr;
struct SessionBuffer;
struct XmTree;

// Keep-alive switch of the transport's sockets: 1 on, 0 off. The client's
// configuration sets it at start-up.
extern int32_t iKeepSocketAlive;

// A network address of exactly 4 octets (IPv4, first octet first) into the
// address field of `addr`; 1, or 0 with `addr` untouched for any other length.
uint32_t cnvtNSAPToSocketAddr(const NSAPaddr* nsap, sockaddr_in* addr);
// A transport selector of 0 octets (port 0) or 2 octets (high-order first)
// into `port` in network byte order; 1, or 0 with `port` untouched for any
// other length.
uint32_t cnvtTSAPToSocketPort(const TSAPaddr* tsap, in_port_t* port);
// A port in network byte order into a 2-octet transport selector; 1.
uint32_t cnvtSocketPortToTSAP(TSAPaddr* tsap, in_port_t port);

// Header octets in front of a transport buffer's data area.
inline constexpr uint32_t kTpBufHeader = 48;

// A transport buffer of `size` octets as one item of `tree` (the thread's
// root tree when NULL), not zero-filled: a ring of one, full (data = area,
// length = capacity = size), end flag 1. NULL when no item can be had.
SessionBuffer* tp0tcp_allocBuf(XmTree* tree, uint32_t size);
// Unlinks the buffer from its ring and frees its item; NULL is ignored.
void tp0tcp_freeBuf(SessionBuffer* buf);
// Makes the buffer ready to be filled again from its start; NULL is ignored.
void tp0tcp_initBuf(SessionBuffer* buf);

// Frees every buffer of the thread's held-buffer ring: the received units
// handed to the SPDU reader and the copies it kept.
void reclaim_buf();

// Nothing to set up or tear down for TCP.
int32_t init_tcp();
void close_tcp();

// Replaces the listening socket of the calling thread's session record
// (-1 = none) and returns the previous one; -1 without a session record.
QV_EXPORT int32_t QvSetListenSocket(int32_t sock);

// The transport's generator: one state word for the process.
void qvsrand(uint32_t seed);
// 0..32767.
int32_t qvrand();
