#include "sim/StateStore.h"

#include <cstdio>

namespace zvsim {

TStateStore::TStateStore(std::string folder, std::shared_ptr<const TScenario> scenario)
    : folder(std::move(folder)), scenario(std::move(scenario)) {
    Run({});
}

void TStateStore::Run(const std::function<bool(TStateFile&)>& change) {
    // The file work runs under the folder's flock only; the mutex guards the cache.
    TStateSignature stamp;
    try {
        const TStateFile state = TransactState(folder, *scenario, change, &stamp);
        Adopt(state, stamp);
    } catch (const std::exception& e) {
        std::lock_guard lock(mutex);
        if (!reported) std::fprintf(stderr, "zvsim: %s\n", e.what());
        reported = true;
    }
}

void TStateStore::Adopt(const TStateFile& state, const TStateSignature& stamp) {
    std::lock_guard lock(mutex);
    // A slower reader must not put back an older version than one already seen.
    if (state.generation < cache.generation) return;
    cache = state;
    signature = stamp;
}

bool TStateStore::Unchanged() {
    const TStateSignature now = StateSignature(folder);
    std::lock_guard lock(mutex);
    return now == signature;
}

void TStateStore::Refresh() {
    if (Unchanged()) return;
    // One thread reads the new version while the others wait for it: every
    // device's thread notices the same change at once, and each reading it
    // in turn under the folder's lock would stall them all.
    std::lock_guard reload(reloading);
    if (Unchanged()) return;
    Run({});
}

TPersisted TStateStore::Current(const std::string& serial) {
    Refresh();
    std::lock_guard lock(mutex);
    auto found = cache.devices.find(serial);
    if (found == cache.devices.end()) return {.plugged = false};
    return found->second;
}

void TStateStore::Change(const std::string& serial, const std::function<void(TPersisted&)>& change) {
    Run([&](TStateFile& file) {
        auto found = file.devices.find(serial);
        if (found == file.devices.end()) return false;
        change(found->second);
        return true;
    });
}

}  // namespace zvsim
