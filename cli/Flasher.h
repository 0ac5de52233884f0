#pragma once
// One run of the flasher: owns the loader core with its event loop and the
// terminal window, and drives the core through the same calls the window makes
// (search, write button, automatic writing, shutdown).

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Arguments.h"
#include "cli/EventLoop.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "core/LoaderCore.h"
#include "platform/MessageEndpoint.h"
#include "platform/UdevMonitor.h"

namespace zv::cli {

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
    using TClock = std::chrono::steady_clock;

    int List();
    int Write();
    int Watch();

    bool BindLibraries();
    bool PrepareOutputs();
    bool CheckImage();
    // Waits until `until` at most for anything to serve, then serves it.
    void WaitForEvents(TClock::time_point until);
    // Serves until `done` holds; false if a stop was asked for first.
    template <typename Done>
    bool ServeUntil(Done done) {
        while (!done()) {
            if (stopRequested_) return false;
            WaitForEvents(TClock::time_point::max());
        }
        return true;
    }
    void Shutdown();
    void OnWriteFinished(const TWriteThread& thread, const TWriteOutcome& outcome);
    void SaveReport();
    void ShowCounters();
    void Complain(const std::string& text);

    TCliOptions options_;
    FILE* err_;
    TEventLoop loop_;
    TCliView view_;
    TLoaderCore core_;
    TReport report_;
    bool reportSaveFailed_ = false;
    TMessageEndpoint endpoint_;
    TUdevMonitor udev_;
    std::optional<TClock::time_point> searchDue_;
    bool searchAgain_ = false;
    bool stopRequested_ = false;
    bool shutDown_ = false;
    int written_ = 0;
    int failed_ = 0;
};

}  // namespace zv::cli
