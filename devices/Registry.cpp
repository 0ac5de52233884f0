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
    std::vector<TDeviceKey> done;
    for (const auto& first : FEntries) {
        const TDeviceKey key = first->Key();
        if (std::find(done.begin(), done.end(), key) != done.end()) continue;
        done.push_back(key);
        std::vector<TDevEntry*> known;
        for (const auto& entry : FEntries)
            if (entry->Key() == key) known.push_back(entry.get());
        const auto twins = static_cast<size_t>(
            std::count_if(listed.begin(), listed.end(), [&](const auto& e) { return e->Key() == key; }));
        // Writing entries first: a write is never stopped for an idle twin.
        std::stable_partition(known.begin(), known.end(), [](const TDevEntry* e) { return e->writeThread != nullptr; });
        size_t kept = 0;
        for (TDevEntry* entry : known) {
            const bool stays = twins >= known.size() || (entry->writeThread && kept < twins);
            if (stays) {
                // Known and listed: the listed twin goes, the known entry stays.
                ++kept;
                TakeAt(listed, FindIt(listed, [&key](const TDevEntry& e) { return e.Key() == key; }));
                continue;
            }
            if (entry->writeThread) entry->writeThread->RequestStop();
            entry->disconnected = true;
        }
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

std::vector<TDevEntry*> TDeviceRegistry::WithSerial(int32_t serialNumber) const {
    std::lock_guard lock(FLock);
    std::vector<TDevEntry*> entries;
    for (const auto& entry : FEntries)
        if (entry->serialNumber == serialNumber && !entry->disconnected) entries.push_back(entry.get());
    return entries;
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
