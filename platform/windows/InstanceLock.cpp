#include "platform/InstanceLock.h"

#include <windows.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace zv {
namespace {

// A mutex is owned by a thread and may be taken again by its owner, which the
// lock must not allow: one holder per name in this process as well.
std::mutex heldGuard;
std::set<std::wstring> held;

bool TakeName(const std::wstring& name) {
    std::lock_guard lock(heldGuard);
    return held.insert(name).second;
}

void GiveName(const std::wstring& name) {
    std::lock_guard lock(heldGuard);
    held.erase(name);
}

struct TMutexLock {
    HANDLE mutex;
    std::wstring name;
};

}  // namespace

std::unique_ptr<TInstanceLock> TInstanceLock::Acquire(const std::filesystem::path& file,
                                                      std::chrono::milliseconds wait) {
    const std::wstring name = file.filename().wstring();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!TakeName(name)) {
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        // Abandoned: its holder ended without letting go, which is no holder.
        const DWORD got = WaitForSingleObject(mutex, static_cast<DWORD>(std::max<int64_t>(left.count(), 0)));
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED)
            return std::unique_ptr<TInstanceLock>(
                new TInstanceLock(reinterpret_cast<intptr_t>(new TMutexLock{mutex, name})));
        CloseHandle(mutex);
    }
    GiveName(name);
    return nullptr;
}

// Released by the thread that took it, as the loader and its tests do; from
// another thread the mutex stays owned until the taker ends.
TInstanceLock::~TInstanceLock() {
    auto* lock = reinterpret_cast<TMutexLock*>(handle_);
    ReleaseMutex(lock->mutex);
    CloseHandle(lock->mutex);
    GiveName(lock->name);
    delete lock;
}

}  // namespace zv
