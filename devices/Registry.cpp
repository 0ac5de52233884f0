#include "devices/Registry.h"

#include <algorithm>
#include <utility>

namespace zv {
namespace {

template <typename List, typename Match>
auto FindIt(List& list, Match match) {
    return std::find_if(list.begin(), list.end(), [&match](const auto& entry) { return match(*entry); });
}

auto BySerial(int32_t serialNumber) {
    return [serialNumber](const TDevEntry& entry) { return entry.serialNumber == serialNumber; };
}

std::unique_ptr<TDevEntry> TakeAt(TDeviceList& list, TDeviceList::iterator it) {
    if (it == list.end()) return nullptr;
    std::unique_ptr<TDevEntry> entry = std::move(*it);
    list.erase(it);
    return entry;
}

}  // namespace

TDeviceRegistry::~TDeviceRegistry() {
    // In list order, as the panels were made.
    for (auto& entry : TakeAll()) entry.reset();
}

void TDeviceRegistry::Compare(TDeviceList& listed) {
    std::lock_guard lock(FLock);
    for (const auto& known : FEntries) {
        // Known and listed: the listed twin goes, the known entry stays.
        if (TakeAt(listed, FindIt(listed, BySerial(known->serialNumber)))) continue;
        if (known->writeThread) known->writeThread->RequestStop();
        known->disconnected = true;
    }
}

TDevEntry& TDeviceRegistry::Add(std::unique_ptr<TDevEntry> entry) {
    std::lock_guard lock(FLock);
    return *FEntries.emplace_back(std::move(entry));
}

TDeviceList TDeviceRegistry::TakeGone() {
    std::lock_guard lock(FLock);
    TDeviceList gone;
    for (auto it = FEntries.begin(); it != FEntries.end();) {
        if ((*it)->disconnected && !(*it)->writeThread) {
            gone.push_back(std::move(*it));
            it = FEntries.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}

std::unique_ptr<TDevEntry> TDeviceRegistry::Take(const TDevEntry& entry) {
    std::lock_guard lock(FLock);
    return TakeAt(FEntries, FindIt(FEntries, [&entry](const TDevEntry& e) { return &e == &entry; }));
}

TDeviceList TDeviceRegistry::TakeAll() {
    std::lock_guard lock(FLock);
    return std::exchange(FEntries, {});
}

TDevEntry* TDeviceRegistry::FindBySerial(int32_t serialNumber) const {
    std::lock_guard lock(FLock);
    auto it = FindIt(FEntries, BySerial(serialNumber));
    return it == FEntries.end() ? nullptr : it->get();
}

TDevEntry* TDeviceRegistry::FindByPanel(const TDevicePanel* panel) const {
    std::lock_guard lock(FLock);
    auto it = FindIt(FEntries, [panel](const TDevEntry& e) { return e.panel.get() == panel; });
    return it == FEntries.end() ? nullptr : it->get();
}

std::vector<TDevEntry*> TDeviceRegistry::Entries() const {
    std::lock_guard lock(FLock);
    std::vector<TDevEntry*> entries;
    for (const auto& entry : FEntries) entries.push_back(entry.get());
    return entries;
}

size_t TDeviceRegistry::Count() const {
    std::lock_guard lock(FLock);
    return FEntries.size();
}

}  // namespace zv
