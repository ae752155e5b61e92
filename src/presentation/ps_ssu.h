// The presentation layer as the user of the session service: ps_ssu gets
// every session indication and confirm, finds the connection's machine (or
// makes one for an S-CONNECT indication), decodes the PPDU in the user data
// into a fresh PIDU and runs the protocol machine with the event it makes of
// the primitive. User data that arrives in segments is reassembled, or, for
// values of an abstract syntax registered as pre-encoded, handed to the user
// segment by segment as it comes.
#pragma once

#include <cstdint>

struct Pmachine;
struct Smachine;
struct SIDU;

// The most octets a reassembled unit of user data may hold; beyond it the
// connection is ended.
inline constexpr uint64_t kPsMaxSsdu = 64ull * 1024 * 1024;

// The session-user callback, registered with s_activate: 1, or 0 when the
// event was dropped or ended the connection. It takes over the SIDU's user
// data in every case.
int32_t ps_ssu(Smachine* s, SIDU* sidu);

// One segment of S-DATA or S-TYPED-DATA: 1 when the whole unit is ready to
// be decoded (it is then the SIDU's user data), else 0 (the segment was
// kept, or handed on as pre-encoded data; an error is in the machine's last
// error).
int32_t segmentedData(Pmachine* pm, SIDU* sidu);
// Whether the first segment of a unit holds a pre-encoded value, which then
// went to the user: 1 when it did.
int32_t PtestForPreEncoded(Pmachine* pm, SIDU* sidu);
// The segment to the user as a data indication holding its buffers: 1, or 0
// with PE_MALLOC.
int32_t PsendPreEncodedToUser(Pmachine* pm, SIDU* sidu);
