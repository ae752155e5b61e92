// Packet encryption of the TCP transport: the configured mode, libcrypto
// opened at run time, and wrappers that call through to its cipher or, with
// encryption off, do nothing.
//
// The cipher is AES-128 in ECB mode with one key built into the library and
// no initialisation vector: it hides traffic from casual capture, nothing
// more. Client and server must hold the same key.
#pragma once

#include <cstdint>

#include "src/runtime/tm.h"

// A libcrypto cipher context (opaque). The transport keeps one pointer per
// direction and connection, made by qvcrypt_CIPHER_CTX_init and given back
// by qvcrypt_CIPHER_CTX_cleanup.
struct QvCipherCtx;

inline constexpr int32_t QV_CRYPT_KEY_SIZE = 16;

extern int32_t gEncrypt;  // 0 off, 1 AES-128-ECB through libcrypto, 2 refused here
extern void* hCryptoLib;  // the loaded libcrypto, NULL when none
extern const unsigned char __gQvCrypt__[QV_CRYPT_KEY_SIZE];

// Reads [COMMON] EncryptionPackage and, for mode 1, loads and binds
// libcrypto (installation folder first, then the loader's search path).
// 1 ready, 0 failed.
int32_t qvcrypt_init(TmHandle traceModule);
// 1. libcrypto is unloaded at once, or, while cipher contexts made by
// qvcrypt_CIPHER_CTX_init are still open, by the cleanup of the last one
// (they stay usable until then).
int32_t qvcrypt_exit(TmHandle traceModule);
int32_t qvcrypt_getmode();
int32_t qvcrypt_init_windows(TmHandle traceModule);  // nothing on this platform: 1
int32_t qvcrypt_exit_windows(TmHandle traceModule);  // nothing on this platform: 1

// Wrappers. With encryption off each answers at once: init 1, the Init_ex
// pair 1, the Update and Final pairs 0, cleanup 1. With it on they answer
// libcrypto's result (1 success, 0 failure), and 0 for a missing context or
// argument. Update writes up to inLength + 15 octets, Final up to 16.
//
// Makes a context into *ctx when there is none, else resets the one there.
int32_t qvcrypt_CIPHER_CTX_init(QvCipherCtx** ctx);
int32_t qvcrypt_EncryptInit_ex(QvCipherCtx* ctx);
int32_t qvcrypt_DecryptInit_ex(QvCipherCtx* ctx);
int32_t qvcrypt_EncryptUpdate(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength, const unsigned char* in,
                              int32_t inLength);
int32_t qvcrypt_DecryptUpdate(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength, const unsigned char* in,
                              int32_t inLength);
int32_t qvcrypt_EncryptFinal_ex(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength);
int32_t qvcrypt_DecryptFinal_ex(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength);
// Frees *ctx (when there is one) and clears it.
int32_t qvcrypt_CIPHER_CTX_cleanup(QvCipherCtx** ctx);

// out = <qv_root>/bin/<platform folder>/<fileName>. 1 when it fits in
// `size` bytes; else 0 with `out` empty.
int32_t QvAppendBinPath(const char* fileName, char* out, int32_t size);
