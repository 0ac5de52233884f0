#pragma once
// A library's world as this process sees it: the scenario named by
// ZVSIM_SCENARIO, the folder named by ZVSIM_WORLD, the devices of this library
// and the open handles. Each library holds one; it is rebuilt when one of the
// ZVSIM_ variables changes, which leaves the handles of the old one invalid.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/Device.h"
#include "sim/Scenario.h"
#include "sim/StateStore.h"
#include "sim/Trace.h"

namespace zvsim {

struct THandle {
    std::shared_ptr<TSimDevice> device;
    uint64_t token = 0;
    std::atomic<uint32_t> readTimeoutMs{0};
};

class TWorld {
public:
    struct TKey {
        std::string scenario;
        std::string folder;
        std::string trace;
        bool operator==(const TKey&) const = default;
    };

    TWorld(TLibrary library, const TKey& key);

    const TKey& Key() const { return key; }
    // Faults of the listing calls of this world's library.
    const TListingFaults& ListingFaults() const;

    // Plugged devices of this library in scenario order, each as often as it is listed.
    std::vector<std::shared_ptr<TSimDevice>> Listing();
    std::shared_ptr<TSimDevice> FindDevice(const std::string& serial) const;
    // The token of the device's open handle, or 0.
    uint64_t OpenToken(const TSimDevice& device);
    // FTDI location identifiers follow the scenario's order.
    uint32_t LocationOf(const TSimDevice& device) const;

    // 1-based numbers of this process's listing calls and description lookups.
    uint32_t NextListingCall() { return ++listingCalls; }
    uint32_t NextDescriptionCall() { return ++descriptionCalls; }
    // The maker library's listing starts with a size query; the call that fetches the records belongs to it.
    bool OmCallStartsListing(bool sizeQuery);

    // The FTDI listing as the last FT_CreateDeviceInfoList saw it (a fresh one before the first).
    void SetSnapshot(std::vector<std::shared_ptr<TSimDevice>> devices);
    std::vector<std::shared_ptr<TSimDevice>> Snapshot();

    // Handle numbers are unique in the process, across worlds.
    uint64_t NextToken();
    std::shared_ptr<THandle> AddHandle(std::shared_ptr<TSimDevice> device, uint64_t token, uint32_t readTimeoutMs);
    std::shared_ptr<THandle> FindHandle(uint64_t number);
    std::shared_ptr<THandle> RemoveHandle(uint64_t number);

private:
    const TLibrary library;
    const TKey key;
    std::shared_ptr<const TScenario> scenario;
    std::shared_ptr<TStateStore> store;
    std::vector<std::shared_ptr<TSimDevice>> devices;

    std::mutex mutex;
    std::map<uint64_t, std::shared_ptr<THandle>> handles;
    std::optional<std::vector<std::shared_ptr<TSimDevice>>> snapshot;
    bool afterSizeQuery = false;
    std::atomic<uint32_t> listingCalls{0};
    std::atomic<uint32_t> descriptionCalls{0};
};

// The world named by the environment right now.
std::shared_ptr<TWorld> CurrentWorld(TLibrary library);

}  // namespace zvsim
