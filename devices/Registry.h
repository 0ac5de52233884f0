#pragma once
// The device registry: the devices attached now, one entry each, in the order
// they joined, which is also the order of their panels. Lists of entries and
// the lookups on them.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "devices/DevEntry.h"

namespace zv {

using TDeviceList = std::vector<std::unique_ptr<TDevEntry>>;

// The registry owns its entries; one leaves it only to be destroyed (or, at a
// shutdown deadline, to stay with the worker that still uses it). Its lock
// keeps every operation whole; none calls out while holding it.
class TDeviceRegistry {
public:
    TDeviceRegistry() = default;
    TDeviceRegistry(const TDeviceRegistry&) = delete;
    TDeviceRegistry& operator=(const TDeviceRegistry&) = delete;
    ~TDeviceRegistry();

    // A search's comparison, by serial number within each library: a known
    // device that `listed` holds stays as it is, and the first listed entry
    // with its key is dropped; a known device that `listed` lacks is marked
    // disconnected and its write thread asked to stop. What is left in
    // `listed` is new. When devices share a key and fewer are listed than
    // known, which one left cannot be told: the writing ones stay, the idle
    // ones are marked gone and their listed twins are new again, so that every
    // panel shows a device that is there.
    void Compare(TDeviceList& listed);
    // Appends a new device; returns its entry.
    TDevEntry& Add(std::unique_ptr<TDevEntry> entry);

    // Takes out, in list order, the disconnected entries that no write uses.
    TDeviceList TakeGone();
    // Takes out this very entry (another may have the same serial number).
    std::unique_ptr<TDevEntry> Take(const TDevEntry& entry);
    // Takes out every entry, in list order.
    TDeviceList TakeAll();

    TDevEntry* FindBySerial(int32_t serialNumber) const;
    // The attached entries (not disconnected) with this serial number, in
    // list order, whichever their library.
    std::vector<TDevEntry*> WithSerial(int32_t serialNumber) const;
    // The entry the panel shows, or null.
    TDevEntry* FindByPanel(const TDevicePanel* panel) const;
    // The entries in list order, for one look; they stay the registry's.
    std::vector<TDevEntry*> Entries() const;
    size_t Count() const;
    bool Empty() const { return Count() == 0; }

private:
    mutable std::mutex FLock;
    TDeviceList FEntries;
};

}  // namespace zv
