#pragma once
// Lists of device entries and the two lookups that the search, the registry
// and the flash result share.

#include <cstdint>
#include <memory>
#include <vector>

#include "devices/DevEntry.h"

namespace zv {

using TDeviceList = std::vector<std::unique_ptr<TDevEntry>>;

// The first entry, in list order, with this serial number, or null.
TDevEntry* FindDeviceBySerial(const TDeviceList& list, int32_t serialNumber);

// Destroys and removes the first entry with this serial number, if any.
void RemoveDeviceBySerial(TDeviceList& list, int32_t serialNumber);

// Destroys and removes this very entry, if the list holds it.
void RemoveDevice(TDeviceList& list, const TDevEntry& entry);

}  // namespace zv
