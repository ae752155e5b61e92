#include "common/qvdll.h"

#include <dlfcn.h>

#include "src/runtime/tm.h"

HMODULE LoadLibrary(const char* path) {
  if (path == nullptr) return nullptr;
  void* handle = dlopen(path, RTLD_LAZY);
  if (handle == nullptr) {
    const char* why = dlerror();
    TM_TRACE(0, 8, "common/qvcrypt", "dlerror = %s\n", why != nullptr ? why : "");
  }
  return handle;
}

int32_t FreeLibrary(HMODULE handle) {
  if (handle == nullptr) return 0;
  return dlclose(handle) == 0 ? 1 : 0;
}

void* GetProcAddress(HMODULE handle, const char* name) {
  if (handle == nullptr || name == nullptr) return nullptr;
  return dlsym(handle, name);
}
