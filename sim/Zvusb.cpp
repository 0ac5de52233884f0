// libzvusb.so: the maker library's entry points over the simulated world.
// Build variants leave one entry point out through ZVSIM_WITHOUT_<name>.

#include <cstring>

#include "sim/World.h"

#pragma GCC visibility push(default)
#include "transport/zvusb.h"
#pragma GCC visibility pop

using namespace zvsim;

namespace {

// The library's failure statuses (its interface fixes only OM_OK).
constexpr OM_STATUS OM_INVALID_HANDLE = 1;
constexpr OM_STATUS OM_DEVICE_NOT_FOUND = 2;
constexpr OM_STATUS OM_DEVICE_NOT_OPENED = 3;
constexpr OM_STATUS OM_IO_ERROR = 4;
constexpr OM_STATUS OM_LISTING_FAILED = 5;
constexpr OM_STATUS OM_INVALID_PARAMETER = 6;

constexpr uint32_t DEFAULT_READ_TIMEOUT_MS = 500;
constexpr uint32_t PURGE_RECEIVED = 1;

std::shared_ptr<TWorld> World() { return CurrentWorld(TLibrary::Om); }

OM_STATUS IoStatus(TIo io) { return io == TIo::Ok ? OM_OK : OM_IO_ERROR; }

template <typename TBody>
OM_STATUS WithHandle(OM_HANDLE number, TBody body) {
    const std::shared_ptr<THandle> handle = number ? World()->FindHandle(number) : nullptr;
    if (!handle) return OM_INVALID_HANDLE;
    return body(*handle->device, *handle);
}

}  // namespace

extern "C" {

#ifndef ZVSIM_WITHOUT_OM_GetListDevices
OM_STATUS OM_GetListDevices(uint32_t, void* records, uint32_t* count) {
    if (!count) return OM_INVALID_PARAMETER;
    const auto world = World();
    if (world->OmCallStartsListing(records == nullptr) &&
        world->ListingFaults().failListing.contains(world->NextListingCall()))
        return OM_LISTING_FAILED;
    const auto listed = world->Listing();
    if (records) {
        auto* record = static_cast<uint8_t*>(records);
        for (size_t i = 0; i < listed.size() && i < *count; ++i, record += OM_DEVICE_RECORD_SIZE) {
            std::memset(record, 0, OM_DEVICE_RECORD_SIZE);
            record[OM_RECORD_INDEX_OFFSET] = static_cast<uint8_t>(i);
            record[OM_RECORD_INDEX_OFFSET + 1] = static_cast<uint8_t>(i >> 8);
            const std::string& serial = listed[i]->Config().serial;
            std::memcpy(record + OM_RECORD_SERIAL_OFFSET, serial.data(),
                        std::min<size_t>(serial.size(), OM_RECORD_SERIAL_SIZE - 1));
        }
    }
    *count = static_cast<uint32_t>(listed.size());
    return OM_OK;
}
#endif

#ifndef ZVSIM_WITHOUT_OM_OpenDevice
OM_STATUS OM_OpenDevice(uint16_t deviceIndex, const char* serial, OM_HANDLE* handle) {
    if (!serial || !handle) return OM_INVALID_PARAMETER;
    *handle = 0;
    const auto world = World();
    const auto listed = world->Listing();
    if (deviceIndex >= listed.size() || listed[deviceIndex]->Config().serial != serial) return OM_DEVICE_NOT_FOUND;
    const auto& device = listed[deviceIndex];
    const uint64_t token = world->NextToken();
    switch (device->Open(token)) {
        case TOpen::Ok:
            world->AddHandle(device, token, DEFAULT_READ_TIMEOUT_MS);
            *handle = static_cast<OM_HANDLE>(token);
            return OM_OK;
        case TOpen::NotPlugged: return OM_DEVICE_NOT_FOUND;
        case TOpen::Busy:
        case TOpen::Refused:
        case TOpen::Failed: break;
    }
    return OM_DEVICE_NOT_OPENED;
}
#endif

#ifndef ZVSIM_WITHOUT_OM_CloseDevice
OM_STATUS OM_CloseDevice(OM_HANDLE* handle) {
    if (!handle) return OM_INVALID_PARAMETER;
    const auto removed = *handle ? World()->RemoveHandle(*handle) : nullptr;
    if (!removed) return OM_INVALID_HANDLE;
    removed->device->Close(removed->token);
    *handle = 0;
    return OM_OK;
}
#endif

#ifndef ZVSIM_WITHOUT_OM_ReadNotTimeOut
OM_STATUS OM_ReadNotTimeOut(OM_HANDLE handle, void* buffer, uint32_t capacity, uint32_t* received) {
    return WithHandle(handle, [&](TSimDevice& device, THandle& open) -> OM_STATUS {
        if (!received || (!buffer && capacity > 0)) return OM_INVALID_PARAMETER;
        return IoStatus(device.Read(open.token, static_cast<uint8_t*>(buffer), capacity, open.readTimeoutMs.load(),
                                    TReadKind::OneReply, *received));
    });
}
#endif

#ifndef ZVSIM_WITHOUT_OM_Write
OM_STATUS OM_Write(OM_HANDLE handle, const void* data, uint32_t count, uint32_t* written) {
    return WithHandle(handle, [&](TSimDevice& device, THandle& open) -> OM_STATUS {
        if (!written || (!data && count > 0)) return OM_INVALID_PARAMETER;
        return IoStatus(device.Write(open.token, {static_cast<const uint8_t*>(data), count}, *written));
    });
}
#endif

#ifndef ZVSIM_WITHOUT_OM_Purge
OM_STATUS OM_Purge(OM_HANDLE handle, uint32_t mask) {
    return WithHandle(handle, [mask](TSimDevice& device, THandle& open) {
        if (mask & PURGE_RECEIVED) return IoStatus(device.PurgeReceived(open.token, "purge"));
        return IoStatus(device.Check(open.token));
    });
}
#endif

#ifndef ZVSIM_WITHOUT_OM_SetTimeouts
OM_STATUS OM_SetTimeouts(OM_HANDLE handle, uint32_t readMs, uint32_t) {
    return WithHandle(handle, [readMs](TSimDevice& device, THandle& open) {
        open.readTimeoutMs = readMs;
        return IoStatus(device.Check(open.token));
    });
}
#endif

}  // extern "C"
