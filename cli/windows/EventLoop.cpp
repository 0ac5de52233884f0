#include "cli/EventLoop.h"

#include <windows.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/Tick.h"

namespace zv::cli {
namespace {

// Set by the console's control handler, which the system runs on a thread of
// its own; the loop waits on it.
HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    SetEvent(stopEvent);
    return TRUE;
}

HANDLE NewEvent() {
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEvent");
    return event;
}

}  // namespace

TPolledQueue::TPolledQueue() : handle_(NewEvent()) {}

TPolledQueue::~TPolledQueue() {
    // Before the event goes: a worker may still be handing over.
    Close();
    CloseHandle(handle_);
}

void TPolledQueue::Deliver(std::function<void()> call) {
    TEventQueue::Deliver(std::move(call));
    SetEvent(handle_);
}

void TPolledQueue::Acknowledge() { ResetEvent(handle_); }

struct TEventLoop::TRequests {};

TEventLoop::TEventLoop() : requests_(std::make_unique<TRequests>()) {
    stopEvent = NewEvent();
    // A program started in a new process group has Ctrl-C turned off; this
    // turns it on again, and the handler then takes it.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TEventLoop::~TEventLoop() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    CloseHandle(std::exchange(stopEvent, nullptr));
}

// No summary signal on Windows.
bool TEventLoop::TakeSummaryRequest() { return std::exchange(summaryAsked_, false); }

void TEventLoop::Watch(TWaitHandle handle, std::function<void()> onReady) {
    watched_.push_back({handle, std::move(onReady)});
}

bool TEventLoop::Wait(TClock::time_point until) {
    const int64_t timeout = MillisecondsUntil(until);
    std::vector<HANDLE> handles = {queue_.WaitHandle(), stopEvent};
    for (const TWatched& w : watched_) handles.push_back(w.handle);
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                           static_cast<DWORD>(std::min<int64_t>(timeout, INFINITE - 1)));

    const bool stopped = WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
    if (stopped) ResetEvent(stopEvent);
    queue_.Acknowledge();
    queue_.ProcessPending();
    // Every ready handle is served, not only the first that the wait names.
    for (size_t i = 0; i < watched_.size(); ++i)
        if (WaitForSingleObject(handles[i + 2], 0) == WAIT_OBJECT_0) watched_[i].onReady();
    return stopped;
}

}  // namespace zv::cli
