#pragma once
// One run of the flasher: owns the loader core with its event loop and the
// terminal window, and drives the core through the same calls the window makes
// (search, write button, automatic writing, shutdown).

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/EventLoop.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "core/LoaderCore.h"
#include "platform/DeviceMonitor.h"
#include "platform/MessageEndpoint.h"

namespace zv::cli {

// Every device took the image, but one or more did not report it running.
constexpr int EXIT_NOT_CONFIRMED = 3;

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
    // Hands the options that the core carries out over to it.
    void ConfigureCore();
    void StartSearch();
    // After a search: a silent device is left alone in the searches that
    // follow, the next one a second later, so it holds back no other.
    void SearchEnded();
    // Starts the retries that are due, searching again for a device that
    // went away.
    void ProcessRetries();
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
    void OnRecord(const TWriteRecord& record);
    void SaveReport();
    void ShowCounters();
    // Written, failed, the mean time of a written device and devices per hour.
    void PrintSummary();
    void Complain(const std::string& text);

    TCliOptions options_;
    FILE* err_;
    TEventLoop loop_;
    TCliView view_;
    TLoaderCore core_;
    TReport report_;
    bool reportSaveFailed_ = false;
    TMessageEndpoint endpoint_;
    TDeviceMonitor deviceMonitor_;
    struct TRetry {
        TDeviceKey device;
        TClock::time_point due;
        TClock::time_point giveUp;  // when a device that went away is not back
    };

    std::optional<TClock::time_point> searchDue_;
    bool searchAgain_ = false;
    std::optional<TClock::time_point> lastSearchStart_;
    // A search again after one that a silent device failed.
    std::optional<TClock::time_point> searchAfterSilence_;
    std::vector<TRetry> retries_;
    std::vector<std::pair<TDeviceKey, int>> retriesUsed_;
    TClock::time_point started_ = TClock::now();
    bool stopRequested_ = false;
    bool shutDown_ = false;
    int written_ = 0;
    int failed_ = 0;  // given up on: no retry is left or may mend it
    int skipped_ = 0;
    int unconfirmed_ = 0;  // of failed_: written, but the version did not come back
    int64_t writtenMs_ = 0;
};

}  // namespace zv::cli
