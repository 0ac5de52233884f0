#pragma once
// Owner of a file descriptor.

#include <unistd.h>

#include <utility>

namespace zvsim {

class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : fd(fd) {}
    TFd(TFd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    TFd& operator=(TFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd = std::exchange(other.fd, -1);
        }
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Reset(); }

    explicit operator bool() const { return fd >= 0; }
    int Get() const { return fd; }
    int Release() { return std::exchange(fd, -1); }
    void Reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

private:
    int fd = -1;
};

}  // namespace zvsim
