#include "platform/MessageEndpoint.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/Tick.h"

namespace zv {

namespace {

// A client writes a few short lines at once; more than this is not ours.
constexpr size_t kMaxClientBytes = 4096;
constexpr uint32_t kClientTimeoutMs = 200;

bool MakeAddress(const std::filesystem::path& socket, sockaddr_un& address) {
    const std::string path = socket.string();
    if (path.size() >= sizeof address.sun_path) return false;
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int Connect(const sockaddr_un& address) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool ParseWindowMessage(const std::string& line, TWindowMessage& message) {
    unsigned long msg = 0;
    long long wParam = 0, lParam = 0;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%lu %lld %lld%n", &msg, &wParam, &lParam, &consumed) != 3) return false;
    for (size_t i = static_cast<size_t>(consumed); i < line.size(); ++i)
        if (line[i] != ' ' && line[i] != '\r' && line[i] != '\t') return false;
    if (msg > UINT32_MAX) return false;
    message = {static_cast<uint32_t>(msg), wParam, lParam};
    return true;
}

bool PostWindowMessages(const std::filesystem::path& socket, const std::vector<TWindowMessage>& messages) {
    sockaddr_un address;
    if (!MakeAddress(socket, address)) return false;
    const int fd = Connect(address);
    if (fd < 0) return false;
    std::string text;
    for (const TWindowMessage& m : messages)
        text += std::to_string(m.msg) + ' ' + std::to_string(m.wParam) + ' ' + std::to_string(m.lParam) + '\n';
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    ::close(fd);
    return sent == text.size();
}

TMessageEndpoint::~TMessageEndpoint() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(path_.c_str());
}

bool TMessageEndpoint::Listen(const std::filesystem::path& socket) {
    sockaddr_un address;
    if (fd_ >= 0 || !MakeAddress(socket, address)) return false;
    if (const int other = Connect(address); other >= 0) {
        ::close(other);
        return false;  // a live endpoint belongs to another process
    }
    ::unlink(socket.c_str());  // stale, left by a process that was killed
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = socket;
    return true;
}

void TMessageEndpoint::Serve(const std::function<void(const TWindowMessage&)>& handle) {
    if (fd_ < 0) return;
    for (;;) {
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR) continue;
            return;  // no more waiting clients
        }
        std::string text;
        const uint32_t start = GetTickCount();
        char buffer[512];
        while (text.size() < kMaxClientBytes) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n > 0) {
                text.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0) break;  // the client has said all
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) break;
            const uint32_t waited = TicksSince(start);
            if (waited >= kClientTimeoutMs) break;
            pollfd ready{client, POLLIN, 0};
            ::poll(&ready, 1, static_cast<int>(kClientTimeoutMs - waited));
        }
        ::close(client);
        // Only complete lines count: a client cut short loses its last one.
        size_t begin = 0;
        for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
            TWindowMessage message;
            if (ParseWindowMessage(text.substr(begin, end - begin), message)) handle(message);
        }
    }
}

}  // namespace zv
