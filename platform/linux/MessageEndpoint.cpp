#include "platform/MessageEndpoint.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Tick.h"

namespace zv {

namespace {

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

bool PostWindowMessages(const std::filesystem::path& socket, const std::vector<TWindowMessage>& messages) {
    sockaddr_un address;
    if (!MakeAddress(socket, address)) return false;
    const int fd = Connect(address);
    if (fd < 0) return false;
    const std::string text = WindowMessagesText(messages);
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

struct TMessageEndpoint::TState {
    int fd = -1;
    std::filesystem::path path;
};

TMessageEndpoint::TMessageEndpoint() : state_(std::make_unique<TState>()) {}

TMessageEndpoint::~TMessageEndpoint() {
    if (state_->fd < 0) return;
    ::close(state_->fd);
    ::unlink(state_->path.c_str());
}

TWaitHandle TMessageEndpoint::WaitHandle() const { return state_->fd; }

bool TMessageEndpoint::Listen(const std::filesystem::path& socket) {
    sockaddr_un address;
    if (state_->fd >= 0 || !MakeAddress(socket, address)) return false;
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
    state_->fd = fd;
    state_->path = socket;
    return true;
}

void TMessageEndpoint::Serve(const std::function<void(const TWindowMessage&)>& handle) {
    if (state_->fd < 0) return;
    for (;;) {
        const int client = ::accept4(state_->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR) continue;
            return;  // no more waiting clients
        }
        std::string text;
        const uint32_t start = GetTickCount();
        char buffer[512];
        while (text.size() < ENDPOINT_MAX_CLIENT_BYTES) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n > 0) {
                text.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0) break;  // the client has said all
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) break;
            const uint32_t waited = TicksSince(start);
            if (waited >= ENDPOINT_CLIENT_TIMEOUT_MS) break;
            pollfd ready{client, POLLIN, 0};
            ::poll(&ready, 1, static_cast<int>(ENDPOINT_CLIENT_TIMEOUT_MS - waited));
        }
        ::close(client);
        HandWindowMessages(text, handle);
    }
}

}  // namespace zv
