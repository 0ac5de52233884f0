#pragma once
// The device entry: one attached device from the scan that finds it until it
// is unplugged or the loader ends. Every subsystem works on a device through it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "devices/DevicePanel.h"
#include "devices/FirmwareVersion.h"
#include "threading/WorkerThread.h"

namespace zv {

// Which driver library serves a device (the entry's `transport`).
constexpr int32_t TRANSPORT_FTDI = 0;
constexpr int32_t TRANSPORT_OM = 1;

// "ftdi" or "om", as tables, reports and records name a library.
const char* LibraryName(int32_t transport);

// What tells attached devices apart: a serial number is unique only within
// its library, and not even there when a device reports a wrong one.
struct TDeviceKey {
    int32_t serialNumber = 0;
    int32_t transport = TRANSPORT_FTDI;
    bool operator==(const TDeviceKey&) const = default;
};

// A serial string read as a decimal int32 (optional sign, digits only);
// nullopt when it is no such number or does not fit.
std::optional<int32_t> ParseSerialNumber(std::string_view serial);

class TDevEntry {
public:
    TDevEntry(std::string_view serial, int16_t deviceIndex, int32_t transport);
    TDevEntry(const TDevEntry&) = delete;
    TDevEntry& operator=(const TDevEntry&) = delete;
    ~TDevEntry();

    TDeviceKey Key() const { return {serialNumber, transport}; }

    int32_t serialNumber;  // -1 when the serial string is not a number
    int16_t deviceIndex;   // position in the maker library's list; -1 for FTDI
    uint32_t processorId = 0;
    bool inBootloader = false;
    bool replugRequired = false;
    // Set by a search that no longer finds the device.
    bool disconnected = false;
    // Found while another attached device reported the same serial number:
    // written automatically only once that has ended.
    bool autoWriteHeld = false;
    std::unique_ptr<TDevicePanel> panel;
    // The write thread while one runs; not owned.
    TWorkerThread* writeThread = nullptr;
    TFirmwareVersion firmwareVersion;
    TFirmwareVersion bootloaderVersion;
    int32_t transport;
    void* ftHandle = nullptr;  // FT_HANDLE while the FTDI channel is open
    uint32_t omHandle = 0;     // maker-library handle while its channel is open
};

}  // namespace zv
