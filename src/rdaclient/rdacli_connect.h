// The connect and disconnect road of a connection: association in the
// X/Open RDA application context, R-Initialize with the client's user data,
// R-Open of the data resource, and back again; a failure after the
// association aborts it.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"

struct RDA_CliHDBC;
struct XmTree;

inline constexpr int32_t kRdaCliUserDataSize = 16449;
inline constexpr int32_t kRdaCliMaskedConnectSize = 16400;
inline constexpr int32_t kRdaCliConnectStringMax = kRdaCliMaskedConnectSize - 1;
inline constexpr int32_t kRdaCliCredentialSize = 528;
inline constexpr int32_t kRdaCliResourceNameSize = 128;
// Length of an ODBC argument given NUL-terminated.
inline constexpr int16_t RDA_CLI_NTS = -3;

// Bits 3-5 of the optimisation level: credentials travel scrambled.
inline constexpr int32_t kRdaCliScrambleBits = 0x38;

// 0 connected; -1 error (diagnostics on the connection); -2 bad handle.
int32_t rda_cliConnect(RDA_CliHDBC* hdbc, const char* dataResource, int16_t dataResourceLength, const char* user,
                       int16_t userLength, const char* password, int16_t passwordLength, const char* connectString);
// 0 released; 1 released with information (not associated, or the road
// ended in an abort); -1 error; -2 bad handle.
int32_t rda_cliDisconnect(RDA_CliHDBC* hdbc);
// Aborts the connection's association.
void abortConnection(RDA_CliHDBC* hdbc);

// `dst` (of kRdaCliCredentialSize octets) gets an empty text, then for -3
// the source text, for a positive length that many octets; at most
// kRdaCliCredentialSize - 1 octets, always terminated.
void rda_copyBuffer(char* dst, const char* src, int16_t length);
// Scrambles a credential in place: each octet up to the terminator (-3) or
// of the given length is raised by 1, 2, ... 9, 1, 2, ... modulo 256.
void encryptAuthData(char* buffer, int16_t length);
// The dialogue-id suffix: the local entity's first network address, its
// transport selector, and eight octets of time(NULL) plus a process-wide
// counter, least significant first; octets in `tree` (length 0 when none
// can be had).
OctStgV rda_cliCreateDlgId(XmTree* tree);
// The R-Initialize user data: "KVO_RDA_CLIENT,<level>,<address>,<masked
// connect string>,V1" into `out` (kRdaCliUserDataSize octets); its length.
int32_t rda_cliInitUserData(char* out, const char* connectString);
