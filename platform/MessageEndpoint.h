#pragma once
// The window's message endpoint, standing in for posting a window message to
// another process: a Unix stream socket on which a client writes one message
// per line, "<msg> <wparam> <lparam>\n" in decimal, and closes. No reply.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zv {

struct TWindowMessage {
    uint32_t msg = 0;
    int64_t wParam = 0;
    int64_t lParam = 0;
    bool operator==(const TWindowMessage&) const = default;
};

// The numbers the loader answers to.
inline constexpr uint32_t WM_CLOSE = 16;
inline constexpr uint32_t WM_SETFOCUS = 7;
inline constexpr uint32_t WM_DEVICECHANGE = 537;
inline constexpr uint32_t WM_RESTORE_INSTANCE = 1025;  // WM_USER + 1
inline constexpr int64_t DBT_DEVNODES_CHANGED = 7;

inline constexpr const char* WINDOW_ENDPOINT_NAME = "TMainForm";

// Parses one line; false for anything but three decimal numbers.
bool ParseWindowMessage(const std::string& line, TWindowMessage& message);

// Posts the messages in one connection. False when nobody listens.
bool PostWindowMessages(const std::filesystem::path& socket, const std::vector<TWindowMessage>& messages);

class TMessageEndpoint {
public:
    TMessageEndpoint() = default;
    ~TMessageEndpoint();
    TMessageEndpoint(const TMessageEndpoint&) = delete;
    TMessageEndpoint& operator=(const TMessageEndpoint&) = delete;

    // Listens at `socket`, replacing a stale socket that nobody answers on.
    // False if another process listens there or the socket cannot be made.
    bool Listen(const std::filesystem::path& socket);
    // Readable when a client connects; -1 when not listening.
    int Fd() const { return fd_; }
    // Accepts the waiting clients and hands each of their messages over, in
    // order. A client gets a short time to finish its lines, so a stuck one
    // cannot hold the caller.
    void Serve(const std::function<void(const TWindowMessage&)>& handle);

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace zv
