#include "platform/Library.h"

#include <dlfcn.h>

namespace zv {

void* LoadSharedLibrary(const char* fileName) { return dlopen(fileName, RTLD_NOW); }

void* SharedLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void FreeSharedLibrary(void* library) { dlclose(library); }

}  // namespace zv
