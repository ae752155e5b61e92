#include "common/qvcrypt.h"

#include <cstdio>
#include <mutex>

#include "common/qvdll.h"
#include "common/sys_deps.h"
#include "src/runtime/qvinfo.h"

// The one key of every connection, both directions.
const unsigned char __gQvCrypt__[QV_CRYPT_KEY_SIZE] = {0xC8, 0x91, 0xCE, 0x3F, 0x2F, 0xFE, 0x36, 0xE0,
                                                         0x0C, 0x33, 0xB7, 0x86, 0x1C, 0x01, 0xB6, 0xDE};

int32_t gEncrypt = 0;
void* hCryptoLib = nullptr;

namespace {

constexpr const char* kSrc = "common/qvcrypt";
constexpr const char* kCryptoLib = "libcrypto.so";
// The unversioned name comes only with the development package.
constexpr const char* kSystemNames[] = {"libcrypto.so", "libcrypto.so.3"};

using CtxNewFn = QvCipherCtx* (*)();
using CtxFreeFn = void (*)(QvCipherCtx*);
using CtxResetFn = int (*)(QvCipherCtx*);
using InitExFn = int (*)(QvCipherCtx*, const void* cipher, void* engine, const unsigned char* key,
                         const unsigned char* iv);
using UpdateFn = int (*)(QvCipherCtx*, unsigned char* out, int* outLength, const unsigned char* in, int inLength);
using FinalFn = int (*)(QvCipherCtx*, unsigned char* out, int* outLength);
using CipherFn = const void* (*)();

// The bound entry points; all NULL unless libcrypto is loaded.
struct CryptoApi {
  CtxNewFn ctxNew;
  CtxFreeFn ctxFree;
  CtxResetFn ctxReset;
  InitExFn decryptInit;
  UpdateFn decryptUpdate;
  FinalFn decryptFinal;
  InitExFn encryptInit;
  UpdateFn encryptUpdate;
  FinalFn encryptFinal;
  CipherFn aes128Ecb;
};

CryptoApi api{};
const void* pCipher = nullptr;

// Contexts made and not yet given back. libcrypto stays loaded while one
// lives: an exit meanwhile only marks the library for unloading, and the
// last cleanup unloads it.
std::mutex gLifeMutex;
int64_t gLiveContexts = 0;
bool gUnloadPending = false;

bool on() { return (gEncrypt & 1) != 0; }

template <class Fn>
bool bind(HMODULE lib, Fn* slot, const char* name, const char* oldName = nullptr) {
  void* p = GetProcAddress(lib, name);
  if (p == nullptr && oldName != nullptr) p = GetProcAddress(lib, oldName);
  *slot = reinterpret_cast<Fn>(p);
  return p != nullptr;
}

// Binds every entry point; false (and nothing bound) when one is missing.
bool bindAll(HMODULE lib) {
  CryptoApi a{};
  const bool ok = bind(lib, &a.ctxNew, "EVP_CIPHER_CTX_new") && bind(lib, &a.ctxFree, "EVP_CIPHER_CTX_free") &&
                  bind(lib, &a.ctxReset, "EVP_CIPHER_CTX_reset", "EVP_CIPHER_CTX_cleanup") &&
                  bind(lib, &a.decryptInit, "EVP_DecryptInit_ex") &&
                  bind(lib, &a.decryptUpdate, "EVP_DecryptUpdate") &&
                  bind(lib, &a.decryptFinal, "EVP_DecryptFinal_ex") &&
                  bind(lib, &a.encryptInit, "EVP_EncryptInit_ex") &&
                  bind(lib, &a.encryptUpdate, "EVP_EncryptUpdate") &&
                  bind(lib, &a.encryptFinal, "EVP_EncryptFinal_ex") && bind(lib, &a.aes128Ecb, "EVP_aes_128_ecb");
  if (!ok) return false;
  const void* cipher = a.aes128Ecb();
  if (cipher == nullptr) return false;
  api = a;
  pCipher = cipher;
  return true;
}

int32_t initOpenssl(TmHandle tm) {
  TM_TRACE(tm, 128, kSrc, "qvcrypt_init_openssl() called\n");
  std::lock_guard<std::mutex> lock(gLifeMutex);
  gUnloadPending = false;  // a new start keeps a library that an exit left for its contexts
  if (hCryptoLib != nullptr) {
    // Already loaded and bound by an earlier start.
    TM_TRACE(tm, 128, kSrc, "qvcrypt_init_openssl() return: Status=%d \n", 1);
    return 1;
  }
  HMODULE lib = nullptr;
  char path[512];
  if (QvAppendBinPath(kCryptoLib, path, sizeof path) != 0) {
    TM_TRACE(tm, 16, kSrc,
             "qvcrypt_init_openssl(): Check for crypto lib in install binary folder. Library Path:<%s> \n", path);
    lib = LoadLibrary(path);
  }
  for (const char* name : kSystemNames) {
    if (lib != nullptr) break;
    TM_TRACE(tm, 16, kSrc, "qvcrypt_init_openssl(): Check for crypto lib in system path. File:<%s> \n", name);
    lib = LoadLibrary(name);
  }
  if (lib != nullptr && !bindAll(lib)) {
    FreeLibrary(lib);
    lib = nullptr;
  }
  if (lib == nullptr) {
    TM_TRACE(tm, 8, kSrc, "qvcrypt_init_openssl(): Unable to load %s \n", kCryptoLib);
    return 0;
  }
  hCryptoLib = lib;
  TM_TRACE(tm, 128, kSrc, "qvcrypt_init_openssl() return: Status=%d \n", 1);
  return 1;
}

// Unbinds and closes libcrypto; under gLifeMutex, with no context alive.
void unload() {
  gUnloadPending = false;
  if (hCryptoLib == nullptr) return;
  api = CryptoApi{};
  pCipher = nullptr;
  FreeLibrary(hCryptoLib);
  hCryptoLib = nullptr;
}

int32_t exitOpenssl(TmHandle tm) {
  TM_TRACE(tm, 128, kSrc, "qvcrypt_exit_openssl() called\n");
  {
    std::lock_guard<std::mutex> lock(gLifeMutex);
    if (gLiveContexts > 0 && hCryptoLib != nullptr) {
      // Connections still hold contexts: they are freed by libcrypto when
      // the connections close, and the library goes with the last one.
      TM_TRACE(tm, 16, kSrc, "qvcrypt_exit_openssl(): %ld cipher contexts still open, unloading deferred\n",
               static_cast<long>(gLiveContexts));
      gUnloadPending = true;
    } else {
      unload();
    }
  }
  TM_TRACE(tm, 128, kSrc, "qvcrypt_exit_openssl() return: Status = %d\n", 1);
  return 1;
}

int32_t initEx(InitExFn fn, QvCipherCtx* ctx) {
  if (!on()) return 1;
  if (fn == nullptr || ctx == nullptr || pCipher == nullptr) return 0;
  return fn(ctx, pCipher, nullptr, __gQvCrypt__, nullptr) == 1 ? 1 : 0;
}

int32_t update(UpdateFn fn, QvCipherCtx* ctx, unsigned char* out, int32_t* outLength, const unsigned char* in,
               int32_t inLength) {
  if (!on()) return 0;
  if (fn == nullptr || ctx == nullptr || out == nullptr || outLength == nullptr || inLength < 0 ||
      (in == nullptr && inLength != 0))
    return 0;
  int n = 0;
  const int r = fn(ctx, out, &n, in, inLength);
  *outLength = n;
  return r == 1 ? 1 : 0;
}

int32_t final(FinalFn fn, QvCipherCtx* ctx, unsigned char* out, int32_t* outLength) {
  if (!on()) return 0;
  if (fn == nullptr || ctx == nullptr || out == nullptr || outLength == nullptr) return 0;
  int n = 0;
  const int r = fn(ctx, out, &n);
  *outLength = n;
  return r == 1 ? 1 : 0;
}

}  // namespace

int32_t qvcrypt_init(TmHandle tm) {
  TM_TRACE(tm, 128, kSrc, "qvcrypt_init() called \n");
  gEncrypt = qv_getInfo(QV_INFO_ENCRYPTIONPACKAGE, 0, nullptr, 0, tm);
  TM_TRACE(tm, 64, kSrc, "qvcrypt_init(): Mode=%d \n", gEncrypt);
  int32_t status = 1;
  if (static_cast<uint32_t>(gEncrypt) > 2) {
    TM_TRACE(tm, 8, kSrc, "qvcrypt_init() Error - Invalid encryption mode %d\n", gEncrypt);
    status = 0;
  } else if (gEncrypt == 2) {
    TM_TRACE(tm, 8, kSrc, "qvcrypt_init() Error - Window ecnryption not supported on non-windows platforms\n");
    status = 0;
  } else if (gEncrypt == 1) {
    status = initOpenssl(tm);
  }
  TM_TRACE(tm, 128, kSrc, "qvcrypt_init() return: Status = %d\n", status);
  return status;
}

int32_t qvcrypt_exit(TmHandle tm) {
  TM_TRACE(tm, 128, kSrc, "qvcrypt_exit() called");
  if ((gEncrypt & 2) != 0) qvcrypt_exit_windows(tm);
  if ((gEncrypt & 1) != 0) exitOpenssl(tm);
  TM_TRACE(tm, 128, kSrc, "qvcrypt_exit() return: Status = %d\n", 1);
  return 1;
}

int32_t qvcrypt_getmode() { return gEncrypt; }

int32_t qvcrypt_init_windows(TmHandle tm) {
  TM_TRACE(tm, 128, kSrc, "qvcrypt_init_windows() called\n");
  TM_TRACE(tm, 128, kSrc, "qvcrypt_init_windows() return: Status=%d \n", 1);
  return 1;
}

int32_t qvcrypt_exit_windows(TmHandle tm) {
  TM_TRACE(tm, 128, kSrc, "qvcrypt_exit_windows() called\n");
  TM_TRACE(tm, 128, kSrc, "qvcrypt_exit_windows() return: Status = %d\n", 1);
  return 1;
}

int32_t qvcrypt_CIPHER_CTX_init(QvCipherCtx** ctx) {
  if (!on()) return 1;
  if (ctx == nullptr || api.ctxNew == nullptr || api.ctxReset == nullptr) return 0;
  if (*ctx != nullptr) return api.ctxReset(*ctx) == 1 ? 1 : 0;
  std::lock_guard<std::mutex> lock(gLifeMutex);
  if (api.ctxNew == nullptr) return 0;
  *ctx = api.ctxNew();
  if (*ctx == nullptr) return 0;
  ++gLiveContexts;
  return 1;
}

int32_t qvcrypt_EncryptInit_ex(QvCipherCtx* ctx) { return initEx(api.encryptInit, ctx); }
int32_t qvcrypt_DecryptInit_ex(QvCipherCtx* ctx) { return initEx(api.decryptInit, ctx); }

int32_t qvcrypt_EncryptUpdate(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength, const unsigned char* in,
                              int32_t inLength) {
  return update(api.encryptUpdate, ctx, out, outLength, in, inLength);
}

int32_t qvcrypt_DecryptUpdate(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength, const unsigned char* in,
                              int32_t inLength) {
  return update(api.decryptUpdate, ctx, out, outLength, in, inLength);
}

int32_t qvcrypt_EncryptFinal_ex(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength) {
  return final(api.encryptFinal, ctx, out, outLength);
}

int32_t qvcrypt_DecryptFinal_ex(QvCipherCtx* ctx, unsigned char* out, int32_t* outLength) {
  return final(api.decryptFinal, ctx, out, outLength);
}

int32_t qvcrypt_CIPHER_CTX_cleanup(QvCipherCtx** ctx) {
  if (!on()) return 1;
  if (ctx == nullptr) return 0;
  if (*ctx == nullptr) return 1;
  std::lock_guard<std::mutex> lock(gLifeMutex);
  if (api.ctxFree != nullptr) {
    api.ctxFree(*ctx);
    if (--gLiveContexts == 0 && gUnloadPending) unload();
  }
  *ctx = nullptr;
  return 1;
}

int32_t QvAppendBinPath(const char* fileName, char* out, int32_t size) {
  if (out == nullptr || size <= 0) return 0;
  out[0] = '\0';
  if (fileName == nullptr) return 0;
  char root[QV_PATH_SIZE] = "";
  qv_getInfo(QV_INFO_ROOT, 0, root, sizeof root, -1);
  const int n = std::snprintf(out, static_cast<size_t>(size), "%s/bin/%s/%s", root, QvGetPlatformFolderName(), fileName);
  if (n < 0 || n >= size) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}
