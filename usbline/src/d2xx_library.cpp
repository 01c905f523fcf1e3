#include "d2xx_library.h"

namespace usbline {
namespace {

template <typename Function>
bool Bind(platform::LibraryHandle module, const char* name, Function& slot) {
    void* address = platform::FindSymbol(module, name);
    if (!address) return false;
    slot = reinterpret_cast<Function>(address);
    return true;
}

}  // namespace

bool D2xxLibrary::Load() {
    if (module_) return true;
    platform::LibraryHandle module = platform::OpenLibrary(kFileName);
    if (!module) return false;

    d2xx::EntryPoints api;
    const bool bound = Bind(module, "FT_ListDevices", api.ListDevices) &&
                       Bind(module, "FT_W32_CloseHandle", api.CloseHandle) &&
                       Bind(module, "FT_W32_CreateFile", api.CreateFile) &&
                       Bind(module, "FT_W32_SetupComm", api.SetupComm) &&
                       Bind(module, "FT_W32_PurgeComm", api.PurgeComm) &&
                       Bind(module, "FT_W32_SetCommTimeouts", api.SetCommTimeouts) &&
                       Bind(module, "FT_W32_GetCommState", api.GetCommState) &&
                       Bind(module, "FT_W32_SetCommState", api.SetCommState) &&
                       Bind(module, "FT_W32_SetCommMask", api.SetCommMask) &&
                       Bind(module, "FT_W32_ClearCommError", api.ClearCommError) &&
                       Bind(module, "FT_W32_GetLastError", api.GetLastError) &&
                       Bind(module, "FT_W32_GetOverlappedResult", api.GetOverlappedResult) &&
                       Bind(module, "FT_W32_ReadFile", api.ReadFile) &&
                       Bind(module, "FT_W32_WriteFile", api.WriteFile) &&
                       Bind(module, "FT_W32_GetCommModemStatus", api.GetCommModemStatus) &&
                       Bind(module, "FT_W32_EscapeCommFunction", api.EscapeCommFunction) &&
                       Bind(module, "FT_W32_WaitCommEvent", api.WaitCommEvent);
    if (!bound) {
        platform::CloseLibrary(module);
        return false;
    }
    // Not every version has it; without it the receive thread polls.
    Bind(module, "FT_SetEventNotification", api.SetEventNotification);
    module_ = module;
    api_ = api;
    return true;
}

void D2xxLibrary::Unload() {
    if (!module_) return;
    api_ = d2xx::EntryPoints{};
    platform::CloseLibrary(module_);
    module_ = nullptr;
}

}  // namespace usbline
