// Loading shared libraries at run time, under the loader names the rest of
// the code uses, over dlopen/dlsym/dlclose.
#pragma once

#include <cstdint>

using HMODULE = void*;

// dlopen with lazy binding; NULL on failure (the loader's message is traced).
HMODULE LoadLibrary(const char* path);
// dlclose; 1 on success, 0 on failure or for a NULL handle.
int32_t FreeLibrary(HMODULE handle);
// dlsym; NULL when the name is not there.
void* GetProcAddress(HMODULE handle, const char* name);
