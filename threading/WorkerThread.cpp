#include "threading/WorkerThread.h"

#include <mutex>
#include <vector>

namespace zv {

void KeepUntilExit(std::shared_ptr<void> what) {
    static std::mutex lock;
    // Released on purpose, so that no exit handler destroys what it holds.
    static auto* const kept = std::make_unique<std::vector<std::shared_ptr<void>>>().release();
    std::lock_guard guard(lock);
    kept->push_back(std::move(what));
}

}  // namespace zv
