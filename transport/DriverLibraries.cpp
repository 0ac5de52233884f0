#include "transport/DriverLibraries.h"

#include <mutex>

#include "platform/Library.h"

namespace zv {

TFtdiEntryPoints Ftdi{};
TOmEntryPoints Om{};
std::atomic<void*> FtdiLibrary{nullptr};
std::atomic<void*> OmLibrary{nullptr};

namespace {

// Looks up `name` and stores it in `slot` at once, as the binding goes.
template <typename F>
bool Bind(void* library, F& slot, const char* name) {
    void* symbol = SharedLibrarySymbol(library, name);
    if (!symbol) return false;
    slot = reinterpret_cast<F>(symbol);
    return true;
}

}  // namespace

void* LoadFtdiLibrary() {
    void* library = LoadSharedLibrary(FTDI_LIBRARY_FILE);
    if (!library) return nullptr;
    TFtdiEntryPoints& f = Ftdi;
    const bool all =
        Bind(library, f.FT_ListDevices, "FT_ListDevices") && Bind(library, f.FT_Open, "FT_Open") &&
        Bind(library, f.FT_Close, "FT_Close") && Bind(library, f.FT_ResetDevice, "FT_ResetDevice") &&
        Bind(library, f.FT_Purge, "FT_Purge") && Bind(library, f.FT_Read, "FT_Read") &&
        Bind(library, f.FT_Write, "FT_Write") && Bind(library, f.FT_SetDivisor, "FT_SetDivisor") &&
        Bind(library, f.FT_SetTimeouts, "FT_SetTimeouts") && Bind(library, f.FT_SetBaudRate, "FT_SetBaudRate") &&
        Bind(library, f.FT_GetDeviceInfo, "FT_GetDeviceInfo") && Bind(library, f.FT_GetStatus, "FT_GetStatus") &&
        Bind(library, f.FT_GetQueueStatus, "FT_GetQueueStatus") && Bind(library, f.FT_SetRts, "FT_SetRts") &&
        Bind(library, f.FT_SetDataCharacteristics, "FT_SetDataCharacteristics") &&
        Bind(library, f.FT_SetFlowControl, "FT_SetFlowControl") &&
        Bind(library, f.FT_SetLatencyTimer, "FT_SetLatencyTimer") &&
        Bind(library, f.FT_CreateDeviceInfoList, "FT_CreateDeviceInfoList") &&
        Bind(library, f.FT_GetDeviceInfoList, "FT_GetDeviceInfoList") && Bind(library, f.FT_OpenEx, "FT_OpenEx") &&
        Bind(library, f.FT_Rescan, "FT_Rescan");
    if (!all) {
        FreeSharedLibrary(library);
        return nullptr;
    }
    return library;
}

void* LoadOmLibrary(std::string& omLibraryName) {
    omLibraryName = OM_LIBRARY_FILE;
    void* library = LoadSharedLibrary(omLibraryName.c_str());
    if (!library) return nullptr;
    TOmEntryPoints& o = Om;
    const bool all = Bind(library, o.OM_GetListDevices, "OM_GetListDevices") &&
                     Bind(library, o.OM_OpenDevice, "OM_OpenDevice") &&
                     Bind(library, o.OM_CloseDevice, "OM_CloseDevice") &&
                     Bind(library, o.OM_ReadNotTimeOut, "OM_ReadNotTimeOut") && Bind(library, o.OM_Write, "OM_Write") &&
                     Bind(library, o.OM_Purge, "OM_Purge") && Bind(library, o.OM_SetTimeouts, "OM_SetTimeouts");
    if (!all) {
        FreeSharedLibrary(library);
        return nullptr;
    }
    return library;
}

TBindingResult BindDriverLibraries(std::string& omLibraryName) {
    // The entry-point variables have one writer at a time: binding is a main
    // thread affair, but tests and front ends may call this from anywhere.
    static std::mutex binding;
    std::lock_guard lock(binding);
    // Release publishes the entry points stored above together with the handle.
    if (!FtdiLibrary.load(std::memory_order_acquire)) FtdiLibrary.store(LoadFtdiLibrary(), std::memory_order_release);
    if (!OmLibrary.load(std::memory_order_acquire))
        OmLibrary.store(LoadOmLibrary(omLibraryName), std::memory_order_release);
    return {FtdiLibrary.load(std::memory_order_acquire) != nullptr,
            OmLibrary.load(std::memory_order_acquire) != nullptr};
}

}  // namespace zv
