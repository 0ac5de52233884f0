#include "platform/Library.h"

#include <windows.h>

namespace zv {

void* LoadSharedLibrary(const char* fileName) { return LoadLibraryA(fileName); }

void* SharedLibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeSharedLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace zv
