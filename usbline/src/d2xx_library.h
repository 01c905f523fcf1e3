#pragma once
// FTDI's D2XX library, loaded by name at run time with every entry point that Usbline uses.
#include "d2xx/d2xx_types.h"
#include "platform/dynamic_library.h"

namespace usbline {

class D2xxLibrary {
public:
    static constexpr const char* kFileName = "libftd2xx.so";

    D2xxLibrary() = default;
    D2xxLibrary(const D2xxLibrary&) = delete;
    D2xxLibrary& operator=(const D2xxLibrary&) = delete;
    ~D2xxLibrary() { Unload(); }

    // Loads the library and binds its entry points. A library that lacks one of them is let
    // go again at once: nothing is left half bound. The event notification is optional (null
    // in Api() when missing). True when loaded.
    bool Load();
    void Unload();
    bool Loaded() const { return module_ != nullptr; }
    // Valid while Loaded().
    const d2xx::EntryPoints& Api() const { return api_; }

private:
    platform::LibraryHandle module_ = nullptr;
    d2xx::EntryPoints api_;
};

}  // namespace usbline
