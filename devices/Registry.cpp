#include "devices/Registry.h"

#include <algorithm>

namespace zv {

namespace {
template <typename List>
auto FindIt(List& list, int32_t serialNumber) {
    return std::find_if(list.begin(), list.end(),
                        [serialNumber](const auto& entry) { return entry->serialNumber == serialNumber; });
}
}  // namespace

TDevEntry* FindDeviceBySerial(const TDeviceList& list, int32_t serialNumber) {
    auto it = FindIt(list, serialNumber);
    return it == list.end() ? nullptr : it->get();
}

void RemoveDeviceBySerial(TDeviceList& list, int32_t serialNumber) {
    auto it = FindIt(list, serialNumber);
    if (it == list.end()) return;
    // Destroy before erasing, as the entry takes its panel off the window.
    it->reset();
    list.erase(it);
}

}  // namespace zv
