// libftd2xx.so: the FTDI D2XX entry points over the simulated world. Build
// variants leave one entry point out through ZVSIM_WITHOUT_<name>.

#include <cstring>

#include "sim/World.h"

#pragma GCC visibility push(default)
#include "sim/Ftd2xx.h"
#pragma GCC visibility pop

static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "the vendor's node layout on x86_64");

using namespace zvsim;

namespace {

// Handles are fake pointers that nobody dereferences; the base keeps them clear of null and small integers.
constexpr uintptr_t HANDLE_BASE = 0x5A000000;
constexpr ULONG DEVICE_ID = 0x04036001;  // vendor and product of an FT232R

std::shared_ptr<TWorld> World() { return CurrentWorld(TLibrary::Ftdi); }

FT_HANDLE ToHandle(uint64_t token) { return reinterpret_cast<FT_HANDLE>(HANDLE_BASE + token); }

FT_STATUS IoStatus(TIo io) { return io == TIo::Ok ? FT_OK : FT_IO_ERROR; }

// Runs `body` with the open handle `ftHandle`, or answers FT_INVALID_HANDLE.
template <typename TBody>
FT_STATUS WithHandle(FT_HANDLE ftHandle, TBody body) {
    const auto value = reinterpret_cast<uintptr_t>(ftHandle);
    if (value <= HANDLE_BASE) return FT_INVALID_HANDLE;
    const std::shared_ptr<THandle> handle = World()->FindHandle(value - HANDLE_BASE);
    if (!handle) return FT_INVALID_HANDLE;
    return body(*handle->device, *handle);
}

// Line settings mean nothing to a simulated device, but fail like any call once it is unplugged.
FT_STATUS AcceptSetting(FT_HANDLE ftHandle) {
    return WithHandle(ftHandle,
                      [](TSimDevice& device, THandle& handle) { return IoStatus(device.Check(handle.token)); });
}

void CopyText(char* target, size_t size, const std::string& text) {
    const size_t n = std::min(size - 1, text.size());
    std::memcpy(target, text.data(), n);
    std::memset(target + n, 0, size - n);
}

FT_STATUS OpenDevice(TWorld& world, const std::shared_ptr<TSimDevice>& device, FT_HANDLE* pHandle) {
    if (!device) return FT_DEVICE_NOT_FOUND;
    const uint64_t token = world.NextToken();
    switch (device->Open(token)) {
        case TOpen::Ok:
            world.AddHandle(device, token, 0);
            *pHandle = ToHandle(token);
            return FT_OK;
        case TOpen::NotPlugged: return FT_DEVICE_NOT_FOUND;
        case TOpen::Busy:
        case TOpen::Refused:
        case TOpen::Failed: break;
    }
    return FT_DEVICE_NOT_OPENED;
}

// Fills what FT_ListDevices asks for about one device: its serial, description or location.
[[maybe_unused]] void ListField(TWorld& world, const TSimDevice& device, DWORD what, void* target) {
    if (what == FT_OPEN_BY_LOCATION) {
        *static_cast<DWORD*>(target) = world.LocationOf(device);
    } else {
        const std::string& text = what == FT_OPEN_BY_DESCRIPTION ? device.Config().description : device.Config().serial;
        CopyText(static_cast<char*>(target), 64, text);
    }
}

}  // namespace

extern "C" {

#ifndef ZVSIM_WITHOUT_FT_ListDevices
FT_STATUS FT_ListDevices(PVOID pArg1, PVOID pArg2, DWORD Flags) {
    const auto world = World();
    const auto listed = world->Listing();
    if (Flags & FT_LIST_NUMBER_ONLY) {
        if (!pArg1) return FT_INVALID_PARAMETER;
        *static_cast<DWORD*>(pArg1) = static_cast<DWORD>(listed.size());
        return FT_OK;
    }
    DWORD what = Flags & (FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION);
    if (what == 0) what = FT_OPEN_BY_SERIAL_NUMBER;
    if (Flags & FT_LIST_BY_INDEX) {
        const auto index = static_cast<DWORD>(reinterpret_cast<uintptr_t>(pArg1));
        if (!pArg2) return FT_INVALID_PARAMETER;
        if (index >= listed.size()) return FT_DEVICE_NOT_FOUND;
        ListField(*world, *listed[index], what, pArg2);
        return FT_OK;
    }
    if (Flags & FT_LIST_ALL) {
        if (!pArg1 || !pArg2) return FT_INVALID_PARAMETER;
        for (size_t i = 0; i < listed.size(); ++i) {
            void* target = what == FT_OPEN_BY_LOCATION ? static_cast<void*>(static_cast<DWORD*>(pArg1) + i)
                                                       : static_cast<void*>(static_cast<char**>(pArg1)[i]);
            if (!target) return FT_INVALID_PARAMETER;
            ListField(*world, *listed[i], what, target);
        }
        *static_cast<DWORD*>(pArg2) = static_cast<DWORD>(listed.size());
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}
#endif

#ifndef ZVSIM_WITHOUT_FT_Open
FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* pHandle) {
    if (!pHandle) return FT_INVALID_PARAMETER;
    *pHandle = nullptr;
    const auto world = World();
    const auto listed = world->Listing();
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= listed.size()) return FT_DEVICE_NOT_FOUND;
    return OpenDevice(*world, listed[static_cast<size_t>(deviceNumber)], pHandle);
}
#endif

#ifndef ZVSIM_WITHOUT_FT_OpenEx
FT_STATUS FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle) {
    if (!pHandle) return FT_INVALID_PARAMETER;
    *pHandle = nullptr;
    const auto world = World();
    if (Flags == FT_OPEN_BY_LOCATION) {
        const auto location = static_cast<DWORD>(reinterpret_cast<uintptr_t>(pArg1));
        for (const auto& device : world->Listing())
            if (world->LocationOf(*device) == location) return OpenDevice(*world, device, pHandle);
        return FT_DEVICE_NOT_FOUND;
    }
    if (!pArg1) return FT_INVALID_PARAMETER;
    const std::string text = static_cast<const char*>(pArg1);
    if (Flags == FT_OPEN_BY_SERIAL_NUMBER) return OpenDevice(*world, world->FindDevice(text), pHandle);
    if (Flags == FT_OPEN_BY_DESCRIPTION) {
        for (const auto& device : world->Listing())
            if (device->Config().description == text) return OpenDevice(*world, device, pHandle);
        return FT_DEVICE_NOT_FOUND;
    }
    return FT_INVALID_PARAMETER;
}
#endif

#ifndef ZVSIM_WITHOUT_FT_Close
FT_STATUS FT_Close(FT_HANDLE ftHandle) {
    const auto value = reinterpret_cast<uintptr_t>(ftHandle);
    if (value <= HANDLE_BASE) return FT_INVALID_HANDLE;
    const auto handle = World()->RemoveHandle(value - HANDLE_BASE);
    if (!handle) return FT_INVALID_HANDLE;
    handle->device->Close(handle->token);
    return FT_OK;
}
#endif

#ifndef ZVSIM_WITHOUT_FT_ResetDevice
FT_STATUS FT_ResetDevice(FT_HANDLE ftHandle) {
    return WithHandle(ftHandle, [](TSimDevice& device, THandle& handle) {
        return IoStatus(device.PurgeReceived(handle.token, "reset"));
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_Purge
FT_STATUS FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
    return WithHandle(ftHandle, [Mask](TSimDevice& device, THandle& handle) {
        // Written bytes reach the device at once, so there is never anything to purge on the way out.
        if (Mask & FT_PURGE_RX) return IoStatus(device.PurgeReceived(handle.token, "purge"));
        return IoStatus(device.Check(handle.token));
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_Read
FT_STATUS FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpBytesReturned) {
    return WithHandle(ftHandle, [&](TSimDevice& device, THandle& handle) -> FT_STATUS {
        if (!lpBytesReturned || (!lpBuffer && dwBytesToRead > 0)) return FT_INVALID_PARAMETER;
        // A read time-out of 0 waits without limit, as the vendor's library does before FT_SetTimeouts.
        const uint32_t timeout = handle.readTimeoutMs;
        uint32_t returned = 0;
        const FT_STATUS status =
            IoStatus(device.Read(handle.token, static_cast<uint8_t*>(lpBuffer), dwBytesToRead,
                                 timeout ? std::optional<uint32_t>(timeout) : std::nullopt, TReadKind::Fill, returned));
        *lpBytesReturned = returned;
        return status;
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_Write
FT_STATUS FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpBytesWritten) {
    return WithHandle(ftHandle, [&](TSimDevice& device, THandle& handle) -> FT_STATUS {
        if (!lpBytesWritten || (!lpBuffer && dwBytesToWrite > 0)) return FT_INVALID_PARAMETER;
        uint32_t written = 0;
        const FT_STATUS status =
            IoStatus(device.Write(handle.token, {static_cast<const uint8_t*>(lpBuffer), dwBytesToWrite}, written));
        *lpBytesWritten = written;
        return status;
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_SetDivisor
FT_STATUS FT_SetDivisor(FT_HANDLE ftHandle, USHORT) { return AcceptSetting(ftHandle); }
#endif

#ifndef ZVSIM_WITHOUT_FT_SetTimeouts
FT_STATUS FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG) {
    return WithHandle(ftHandle, [ReadTimeout](TSimDevice& device, THandle& handle) {
        handle.readTimeoutMs = ReadTimeout;
        return IoStatus(device.Check(handle.token));
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_SetBaudRate
FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, ULONG) { return AcceptSetting(ftHandle); }
#endif

#ifndef ZVSIM_WITHOUT_FT_GetDeviceInfo
FT_STATUS FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID, PCHAR SerialNumber,
                           PCHAR Description, LPVOID) {
    return WithHandle(ftHandle, [&](TSimDevice& device, THandle& handle) {
        if (lpftDevice) *lpftDevice = FT_DEVICE_232R;
        if (lpdwID) *lpdwID = DEVICE_ID;
        if (SerialNumber) CopyText(SerialNumber, 16, device.Config().serial);
        if (Description) CopyText(Description, 64, device.Config().description);
        return IoStatus(device.Check(handle.token));
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_GetStatus
FT_STATUS FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes, DWORD* dwEventDWord) {
    return WithHandle(ftHandle, [&](TSimDevice& device, THandle& handle) -> FT_STATUS {
        if (!dwRxBytes) return FT_INVALID_PARAMETER;
        if (dwTxBytes) *dwTxBytes = 0;
        if (dwEventDWord) *dwEventDWord = 0;
        uint32_t queued = 0;
        const FT_STATUS status = IoStatus(device.Queued(handle.token, queued));
        *dwRxBytes = queued;
        return status;
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_GetQueueStatus
FT_STATUS FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
    return WithHandle(ftHandle, [&](TSimDevice& device, THandle& handle) -> FT_STATUS {
        if (!dwRxBytes) return FT_INVALID_PARAMETER;
        uint32_t queued = 0;
        const FT_STATUS status = IoStatus(device.Queued(handle.token, queued));
        *dwRxBytes = queued;
        return status;
    });
}
#endif

#ifndef ZVSIM_WITHOUT_FT_SetRts
FT_STATUS FT_SetRts(FT_HANDLE ftHandle) { return AcceptSetting(ftHandle); }
#endif

#ifndef ZVSIM_WITHOUT_FT_SetDataCharacteristics
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR, UCHAR, UCHAR) { return AcceptSetting(ftHandle); }
#endif

#ifndef ZVSIM_WITHOUT_FT_SetFlowControl
FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, USHORT, UCHAR, UCHAR) { return AcceptSetting(ftHandle); }
#endif

#ifndef ZVSIM_WITHOUT_FT_SetLatencyTimer
FT_STATUS FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR) { return AcceptSetting(ftHandle); }
#endif

#ifndef ZVSIM_WITHOUT_FT_CreateDeviceInfoList
FT_STATUS FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs) {
    if (!lpdwNumDevs) return FT_INVALID_PARAMETER;
    const auto world = World();
    if (world->ListingFaults().failListing.contains(world->NextListingCall())) {
        *lpdwNumDevs = 0;
        return FT_IO_ERROR;
    }
    auto listed = world->Listing();
    *lpdwNumDevs = static_cast<DWORD>(listed.size());
    world->SetSnapshot(std::move(listed));
    return FT_OK;
}
#endif

#ifndef ZVSIM_WITHOUT_FT_GetDeviceInfoList
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs) {
    if (!pDest || !lpdwNumDevs) return FT_INVALID_PARAMETER;
    const auto world = World();
    const bool emptyDescriptions = world->NextDescriptionCall() <= world->ListingFaults().emptyDescriptions;
    const auto listed = world->Snapshot();
    for (size_t i = 0; i < listed.size(); ++i) {
        const TSimDevice& device = *listed[i];
        FT_DEVICE_LIST_INFO_NODE& node = pDest[i];
        const uint64_t token = world->OpenToken(device);
        node.Flags = token ? FT_FLAGS_OPENED : 0;
        node.Type = FT_DEVICE_232R;
        node.ID = DEVICE_ID;
        node.LocId = world->LocationOf(device);
        CopyText(node.SerialNumber, sizeof node.SerialNumber, device.Config().serial);
        CopyText(node.Description, sizeof node.Description, emptyDescriptions ? "" : device.Config().description);
        node.ftHandle = token ? ToHandle(token) : nullptr;
    }
    *lpdwNumDevs = static_cast<DWORD>(listed.size());
    return FT_OK;
}
#endif

#ifndef ZVSIM_WITHOUT_FT_Rescan
FT_STATUS FT_Rescan(void) { return FT_NOT_SUPPORTED; }
#endif

}  // extern "C"
