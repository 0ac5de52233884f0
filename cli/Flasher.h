#pragma once
// One run of the flasher: owns the loader core with a pollable event-queue
// main thread and the terminal window, and drives the core through the same
// calls the window makes (search, write button, automatic writing, shutdown).

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <set>
#include <string>

#include "app/EventQueue.h"
#include "app/LoaderCore.h"
#include "cli/Arguments.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "platform/MessageEndpoint.h"
#include "platform/UdevMonitor.h"

namespace zv::cli {

// The event queue with an eventfd that becomes readable whenever a call is
// queued, so the main thread can wait for workers, udev, the endpoint and
// signals in one poll().
class TPolledQueue : public TEventQueue {
public:
    TPolledQueue();
    ~TPolledQueue() override;
    TPolledQueue(const TPolledQueue&) = delete;
    TPolledQueue& operator=(const TPolledQueue&) = delete;

    void Post(std::function<void()> call) override;
    int Fd() const { return fd_; }
    // Clears the readable state; the calls are then run by ProcessPending.
    void Acknowledge();

private:
    int fd_;
};

class TFlasher {
public:
    // Log lines and the device block go to `out`, the flasher's own
    // complaints to `err`.
    TFlasher(const TCliOptions& options, FILE* out, FILE* err, bool terminal);
    ~TFlasher();
    TFlasher(const TFlasher&) = delete;
    TFlasher& operator=(const TFlasher&) = delete;

    // The command's exit code.
    int Run();

private:
    int List();
    int Write();
    int Watch();

    bool BindLibraries();
    bool PrepareOutputs();
    bool CheckImage();
    // Waits up to `limit` for anything to serve, then serves it.
    void WaitForEvents(std::chrono::milliseconds limit);
    // Serves until `done` holds; false if a stop was asked for first.
    template <typename Done>
    bool ServeUntil(Done done) {
        while (!done()) {
            if (stopRequested_) return false;
            WaitForEvents(std::chrono::seconds(1));
        }
        return true;
    }
    void Shutdown();
    void OnWriteFinished(const TWriteThread& thread);
    void SaveReport();
    void ShowCounters();
    void ArmSearch();
    void Complain(const std::string& text);

    TCliOptions options_;
    FILE* err_;
    TPolledQueue queue_;
    TCliView view_;
    TLoaderCore core_;
    TReport report_;
    bool reportSaveFailed_ = false;
    TMessageEndpoint endpoint_;
    TUdevMonitor udev_;
    bool udevOpen_ = false;
    std::optional<std::chrono::steady_clock::time_point> searchDue_;
    bool searchAgain_ = false;
    bool stopRequested_ = false;
    bool shutDown_ = false;
    int written_ = 0;
    int failed_ = 0;
    sigset_t previousMask_{};
    sigset_t waitMask_{};
};

}  // namespace zv::cli
