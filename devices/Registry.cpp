#include "devices/Registry.h"

#include <algorithm>

namespace zv {

namespace {
template <typename List>
auto FindIt(List& list, int32_t serialNumber) {
    return std::find_if(list.begin(), list.end(),
                        [serialNumber](const auto& entry) { return entry->serialNumber == serialNumber; });
}

void Remove(TDeviceList& list, TDeviceList::iterator it) {
    if (it == list.end()) return;
    // Destroy before erasing, as the entry takes its panel off the window.
    it->reset();
    list.erase(it);
}

}  // namespace

TDevEntry* FindDeviceBySerial(const TDeviceList& list, int32_t serialNumber) {
    auto it = FindIt(list, serialNumber);
    return it == list.end() ? nullptr : it->get();
}

void RemoveDeviceBySerial(TDeviceList& list, int32_t serialNumber) { Remove(list, FindIt(list, serialNumber)); }

void RemoveDevice(TDeviceList& list, const TDevEntry& entry) {
    Remove(list, std::find_if(list.begin(), list.end(), [&entry](const auto& e) { return e.get() == &entry; }));
}

}  // namespace zv
