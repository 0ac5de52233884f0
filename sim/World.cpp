#include "sim/World.h"

#include <cstdio>
#include <cstdlib>

namespace zvsim {

namespace {

std::atomic<uint64_t> lastHandle{0};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

TWorld::TWorld(TLibrary library, const TKey& key) : library(library), key(key) {
    auto loaded = std::make_shared<TScenario>();
    try {
        if (key.scenario.empty()) throw TScenarioError("ZVSIM_SCENARIO is not set; the world has no devices");
        *loaded = LoadScenario(key.scenario);
    } catch (const TScenarioError& e) {
        std::fprintf(stderr, "zvsim: %s\n", e.what());
        *loaded = {};
    }
    scenario = loaded;
    try {
        EnsureFolder(key.folder);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zvsim: %s\n", e.what());
    }
    store = std::make_shared<TStateStore>(key.folder, scenario);
    auto trace = std::make_shared<TTrace>(key.trace.empty() ? scenario->trace : key.trace);
    for (const TDeviceConfig& device : scenario->devices)
        if (device.library == library) devices.push_back(std::make_shared<TSimDevice>(device, store, trace));
}

const TListingFaults& TWorld::ListingFaults() const {
    return library == TLibrary::Ftdi ? scenario->ftdi : scenario->om;
}

std::vector<std::shared_ptr<TSimDevice>> TWorld::Listing() {
    std::vector<std::shared_ptr<TSimDevice>> listed;
    for (const auto& device : devices) {
        if (!store->Current(device->Config().serial).plugged) continue;
        for (uint32_t i = 0; i < device->Config().listings; ++i) listed.push_back(device);
    }
    return listed;
}

std::shared_ptr<TSimDevice> TWorld::FindDevice(const std::string& serial) const {
    for (const auto& device : devices)
        if (device->Config().serial == serial) return device;
    return nullptr;
}

uint64_t TWorld::OpenToken(const TSimDevice& device) {
    std::lock_guard lock(mutex);
    for (const auto& [number, handle] : handles)
        if (handle->device.get() == &device) return number;
    return 0;
}

uint32_t TWorld::LocationOf(const TSimDevice& device) const {
    for (size_t i = 0; i < scenario->devices.size(); ++i)
        if (scenario->devices[i].serial == device.Config().serial) return 0x1001 + static_cast<uint32_t>(i);
    return 0;
}

bool TWorld::OmCallStartsListing(bool sizeQuery) {
    std::lock_guard lock(mutex);
    const bool starts = sizeQuery || !afterSizeQuery;
    afterSizeQuery = sizeQuery;
    return starts;
}

void TWorld::SetSnapshot(std::vector<std::shared_ptr<TSimDevice>> listed) {
    std::lock_guard lock(mutex);
    snapshot = std::move(listed);
}

std::vector<std::shared_ptr<TSimDevice>> TWorld::Snapshot() {
    {
        std::lock_guard lock(mutex);
        if (snapshot) return *snapshot;
    }
    return Listing();
}

uint64_t TWorld::NextToken() { return ++lastHandle; }

std::shared_ptr<THandle> TWorld::AddHandle(std::shared_ptr<TSimDevice> device, uint64_t token, uint32_t readTimeoutMs) {
    auto handle = std::make_shared<THandle>();
    handle->device = std::move(device);
    handle->token = token;
    handle->readTimeoutMs = readTimeoutMs;
    std::lock_guard lock(mutex);
    handles[handle->token] = handle;
    return handle;
}

std::shared_ptr<THandle> TWorld::FindHandle(uint64_t number) {
    std::lock_guard lock(mutex);
    auto found = handles.find(number);
    return found == handles.end() ? nullptr : found->second;
}

std::shared_ptr<THandle> TWorld::RemoveHandle(uint64_t number) {
    std::lock_guard lock(mutex);
    auto found = handles.find(number);
    if (found == handles.end()) return nullptr;
    auto handle = found->second;
    handles.erase(found);
    return handle;
}

std::shared_ptr<TWorld> CurrentWorld(TLibrary library) {
    static std::mutex mutex;
    static std::shared_ptr<TWorld> worlds[2];
    auto& current = worlds[library == TLibrary::Ftdi ? 0 : 1];
    const TWorld::TKey key{Env("ZVSIM_SCENARIO"), WorldFolderFromEnv(), Env("ZVSIM_TRACE")};
    {
        std::lock_guard lock(mutex);
        if (current && current->Key() == key) return current;
    }
    // Built outside the lock: building reads files and may wait for another process's flock.
    auto fresh = std::make_shared<TWorld>(library, key);
    std::lock_guard lock(mutex);
    if (!current || !(current->Key() == key)) current = fresh;
    return current;
}

}  // namespace zvsim
