#include "platform/MessageEndpoint.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "platform/Tick.h"

namespace zv {
namespace {

std::wstring PipeName(const std::filesystem::path& endpoint) {
    std::wstring name = endpoint.wstring();
    std::replace_if(
        name.begin(), name.end(), [](wchar_t c) { return c == L'\\' || c == L'/' || c == L':'; }, L'-');
    return L"\\\\.\\pipe\\" + name;
}

// Owner of a handle.
struct THandle {
    HANDLE handle = nullptr;
    THandle() = default;
    explicit THandle(HANDLE h) : handle(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    ~THandle() {
        if (handle) CloseHandle(handle);
    }
};

}  // namespace

bool PostWindowMessages(const std::filesystem::path& socket, const std::vector<TWindowMessage>& messages) {
    const std::wstring name = PipeName(socket);
    // One client at a time is served; a busy pipe is waited for, briefly.
    const uint32_t start = GetTickCount();
    THandle pipe;
    for (;;) {
        pipe.handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe.handle != INVALID_HANDLE_VALUE) break;
        pipe.handle = nullptr;
        if (GetLastError() != ERROR_PIPE_BUSY || TicksSince(start) >= 4 * ENDPOINT_CLIENT_TIMEOUT_MS) return false;
        WaitNamedPipeW(name.c_str(), ENDPOINT_CLIENT_TIMEOUT_MS);
    }
    const std::string text = WindowMessagesText(messages);
    DWORD sent = 0;
    return WriteFile(pipe.handle, text.data(), static_cast<DWORD>(text.size()), &sent, nullptr) && sent == text.size();
}

// A few pipe instances, as a socket has a backlog: clients that come while
// one is being served wait in their own instance. Each waits for its client
// with an overlapped connect, and all of them signal the one event that the
// caller waits on.
constexpr DWORD kInstances = 8;

struct TPipeInstance {
    THandle pipe;
    OVERLAPPED connect{};
    bool connectedAlready = false;  // the connect completed at once: no event comes
};

struct TMessageEndpoint::TState {
    THandle connected{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::array<TPipeInstance, kInstances> instanceSlots;
    std::span<TPipeInstance> instances;  // the ones made; empty while not listening

    // Arms the wait of `instance` for its next client.
    void AwaitClient(TPipeInstance& instance) {
        instance.connect = {};
        instance.connect.hEvent = connected.handle;
        instance.connectedAlready =
            ConnectNamedPipe(instance.pipe.handle, &instance.connect) || GetLastError() == ERROR_PIPE_CONNECTED;
        // Otherwise ERROR_IO_PENDING: the event tells.
    }

    bool ClientWaiting(TPipeInstance& instance) {
        if (std::exchange(instance.connectedAlready, false)) return true;
        DWORD ignored = 0;
        return GetOverlappedResult(instance.pipe.handle, &instance.connect, &ignored, FALSE) != 0;
    }

    // What the connected client writes until it closes, its time is up or it
    // has written too much.
    static std::string ReadClient(HANDLE pipe) {
        std::string text;
        THandle readDone{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        const uint32_t start = GetTickCount();
        char buffer[512];
        while (text.size() < ENDPOINT_MAX_CLIENT_BYTES) {
            OVERLAPPED read{};
            read.hEvent = readDone.handle;
            DWORD n = 0;
            if (!ReadFile(pipe, buffer, sizeof buffer, &n, &read)) {
                if (GetLastError() != ERROR_IO_PENDING) break;  // the client has said all
                const uint32_t waited = TicksSince(start);
                const DWORD left = waited >= ENDPOINT_CLIENT_TIMEOUT_MS ? 0 : ENDPOINT_CLIENT_TIMEOUT_MS - waited;
                if (WaitForSingleObject(readDone.handle, left) != WAIT_OBJECT_0) CancelIo(pipe);
                if (!GetOverlappedResult(pipe, &read, &n, TRUE)) break;
            }
            if (n == 0) break;
            text.append(buffer, n);
        }
        return text;
    }
};

TMessageEndpoint::TMessageEndpoint() : state_(std::make_unique<TState>()) {}

TMessageEndpoint::~TMessageEndpoint() {
    for (TPipeInstance& instance : state_->instances) CancelIo(instance.pipe.handle);
}

TWaitHandle TMessageEndpoint::WaitHandle() const {
    return state_->instances.empty() ? nullptr : state_->connected.handle;
}

bool TMessageEndpoint::Listen(const std::filesystem::path& socket) {
    if (!state_->instances.empty() || !state_->connected.handle) return false;
    const std::wstring name = PipeName(socket);
    size_t made = 0;
    for (DWORD i = 0; i < kInstances; ++i, ++made) {
        // The first instance only: a pipe of that name that exists belongs to
        // a live process, since the system removes a pipe with its last handle.
        const DWORD first = i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
        const HANDLE pipe =
            CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | first,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, kInstances,
                             0, ENDPOINT_MAX_CLIENT_BYTES, 0, nullptr);
        // Fewer instances serve as well, only with a shorter backlog.
        if (pipe == INVALID_HANDLE_VALUE) break;
        state_->instanceSlots[i].pipe.handle = pipe;
    }
    if (made == 0) return false;
    state_->instances = std::span(state_->instanceSlots).first(made);
    for (TPipeInstance& instance : state_->instances) state_->AwaitClient(instance);
    SetEvent(state_->connected.handle);  // a client may have connected at once
    return true;
}

void TMessageEndpoint::Serve(const std::function<void(const TWindowMessage&)>& handle) {
    if (state_->instances.empty()) return;
    ResetEvent(state_->connected.handle);
    // Until a pass finds nobody: arming a connect resets the shared event, so
    // a client that connected meanwhile is found by the next pass instead.
    for (bool served = true; served;) {
        served = false;
        for (TPipeInstance& instance : state_->instances) {
            if (!state_->ClientWaiting(instance)) continue;
            const std::string text = TState::ReadClient(instance.pipe.handle);
            DisconnectNamedPipe(instance.pipe.handle);
            HandWindowMessages(text, handle);
            state_->AwaitClient(instance);
            served = true;
        }
    }
}

}  // namespace zv
