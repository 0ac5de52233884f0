#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

namespace zv {

std::unique_ptr<TInstanceLock> TInstanceLock::Acquire(const std::filesystem::path& file,
                                                      std::chrono::milliseconds wait) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return std::unique_ptr<TInstanceLock>(new TInstanceLock(fd));
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(fd);
    return nullptr;
}

TInstanceLock::~TInstanceLock() { ::close(static_cast<int>(handle_)); }

}  // namespace zv
