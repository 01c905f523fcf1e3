#pragma once
// Loading a shared library by name at run time (dlopen), as a driver library is bound.

namespace platform {

using LibraryHandle = void*;

// Loads the library by name through the usual search path; nullptr when it cannot be loaded.
LibraryHandle OpenLibrary(const char* name);

// The address of an exported symbol, or nullptr.
void* FindSymbol(LibraryHandle library, const char* name);

// Drops one reference taken by OpenLibrary; nullptr is ignored.
void CloseLibrary(LibraryHandle library);

}  // namespace platform
