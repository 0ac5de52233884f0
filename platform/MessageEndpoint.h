#pragma once
// The window's message endpoint, standing in for posting a window message to
// another process: a client connects, writes one message per line,
// "<msg> <wparam> <lparam>\n" in decimal, and closes. No reply. On Linux the
// endpoint is a Unix stream socket at its path; on Windows a named pipe whose
// name is the path's, its separators and colons made '-':
// \\.\pipe\C--Users-...-usbfwloader-<user>-TMainForm.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Waitable.h"

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

// A client writes a few short lines at once: more than this is not ours, and
// one that takes longer is cut off, so a stuck client cannot hold the loader.
inline constexpr size_t ENDPOINT_MAX_CLIENT_BYTES = 4096;
inline constexpr uint32_t ENDPOINT_CLIENT_TIMEOUT_MS = 200;

// Parses one line; false for anything but three decimal numbers.
bool ParseWindowMessage(const std::string& line, TWindowMessage& message);

// Hands each complete, well-formed line of a client's text over, in order.
void HandWindowMessages(const std::string& text, const std::function<void(const TWindowMessage&)>& handle);
// The lines that post `messages`.
std::string WindowMessagesText(const std::vector<TWindowMessage>& messages);

// Posts the messages in one connection. False when nobody listens.
bool PostWindowMessages(const std::filesystem::path& socket, const std::vector<TWindowMessage>& messages);

class TMessageEndpoint {
public:
    TMessageEndpoint();
    ~TMessageEndpoint();
    TMessageEndpoint(const TMessageEndpoint&) = delete;
    TMessageEndpoint& operator=(const TMessageEndpoint&) = delete;

    // Listens at `socket`, replacing a stale socket that nobody answers on.
    // False if another process listens there or the socket cannot be made.
    bool Listen(const std::filesystem::path& socket);
    // Ready when a client connects; NO_WAIT_HANDLE when not listening.
    TWaitHandle WaitHandle() const;
    // Accepts the waiting clients and hands each of their messages over, in
    // order. A client gets a short time to finish its lines, so a stuck one
    // cannot hold the caller.
    void Serve(const std::function<void(const TWindowMessage&)>& handle);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

}  // namespace zv
