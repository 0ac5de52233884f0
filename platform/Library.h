#pragma once
// Shared libraries loaded at run time by bare file name, in the system's
// usual search order, and their entry points looked up by name.

namespace zv {

// Null when the library cannot be found or loaded.
void* LoadSharedLibrary(const char* fileName);
// Null when the library has no such entry point.
void* SharedLibrarySymbol(void* library, const char* name);
void FreeSharedLibrary(void* library);

}  // namespace zv
