#pragma once
// This process's view of the world state: a cache of state.json that is read
// again whenever another process (or the other library) has replaced the file.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "sim/WorldState.h"

namespace zvsim {

class TStateStore {
public:
    TStateStore(std::string folder, std::shared_ptr<const TScenario> scenario);

    const std::string& Folder() const { return folder; }

    // An unknown serial reads as unplugged.
    TPersisted Current(const std::string& serial);
    void Change(const std::string& serial, const std::function<void(TPersisted&)>& change);

private:
    bool Unchanged();
    void Refresh();
    void Adopt(const TStateFile& state, const TStateSignature& stamp);
    void Run(const std::function<bool(TStateFile&)>& change);

    const std::string folder;
    const std::shared_ptr<const TScenario> scenario;
    std::mutex mutex;
    std::mutex reloading;
    TStateFile cache;
    TStateSignature signature;
    bool reported = false;  // a failure to reach the folder is reported once
};

}  // namespace zvsim
