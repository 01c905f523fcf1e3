#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace platform {

LibraryHandle OpenLibrary(const char* name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }

void* FindSymbol(LibraryHandle library, const char* name) {
    return library ? dlsym(library, name) : nullptr;
}

void CloseLibrary(LibraryHandle library) {
    if (library) dlclose(library);
}

}  // namespace platform
