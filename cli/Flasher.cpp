#include "cli/Flasher.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <system_error>

#include "core/EventLog.h"
#include "flashing/FlashPlan.h"
#include "flashing/WriteOutcome.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/Runtime.h"
#include "transport/DriverLibraries.h"

namespace zv::cli {
namespace {

using namespace std::chrono_literals;

// A retry waits this long, and a search again after a silent device at least
// this long after the search before.
constexpr auto RETRY_PAUSE = 1s;
// How long a device that went away after a failed try may take to come back.
constexpr auto RETRY_GIVE_UP = 15s;

TDeviceKey RecordKey(const TWriteRecord& record) {
    return {record.serial, record.library == LibraryName(TRANSPORT_OM) ? TRANSPORT_OM : TRANSPORT_FTDI};
}

}  // namespace

TFlasher::TFlasher(const TCliOptions& options, FILE* out, FILE* err, bool terminal)
    : options_(options),
      err_(err),
      view_(out, terminal),
      core_(loop_.MainThread(), view_, ExecutableFolder()),
      report_(options.command == TCommand::Watch   ? "watch"
              : options.command == TCommand::Write ? "write"
                                                   : "list") {
    core_.SetRecordObserver([this](const TWriteRecord& record) { OnRecord(record); });
}

TFlasher::~TFlasher() { Shutdown(); }

int TFlasher::Run() {
    int code = 1;
    try {
        switch (options_.command) {
            case TCommand::List: code = List(); break;
            case TCommand::Write: code = Write(); break;
            case TCommand::Watch: code = Watch(); break;
            case TCommand::Help:
            case TCommand::Version: code = 0; break;
        }
    } catch (const std::exception& error) {
        Complain(error.what());
        code = 1;
    }
    // Whatever happened above, workers must end before the core goes.
    Shutdown();
    return code;
}

int TFlasher::List() {
    if (!BindLibraries() || !PrepareOutputs()) return 1;
    // The table says all the block would.
    view_.Freeze();
    // Standard output holds the array alone; the log goes to standard error.
    if (options_.json) view_.Divert();
    StartSearch();
    if (!ServeUntil([this] { return !core_.Searching(); })) {
        Shutdown();
        view_.PrintText("usbfwflash: interrupted during the search");
        return 1;
    }
    size_t widths[] = {6, 7, 11, 8, 10, 10};
    std::vector<std::vector<std::string>> rows;
    nlohmann::json devices = nlohmann::json::array();
    for (const TDevEntry* entry : core_.Devices().Entries()) {
        rows.push_back({std::to_string(entry->serialNumber), LibraryName(entry->transport),
                        entry->inBootloader ? "bootloader" : "application", entry->firmwareVersion.formatVersion(),
                        entry->inBootloader ? entry->bootloaderVersion.formatVersion() : "-",
                        entry->inBootloader ? Format("0x%08X", entry->processorId) : "-",
                        AsksForReplug(*entry) ? STATUS_REPLUG : ""});
        for (size_t i = 0; i < std::size(widths); ++i) widths[i] = std::max(widths[i], TextColumns(rows.back()[i]));
        nlohmann::json device = {{"serial", entry->serialNumber},   {"library", LibraryName(entry->transport)},
                                 {"mode", rows.back()[2]},          {"firmware", rows.back()[3]},
                                 {"replug", AsksForReplug(*entry)}, {"sharedSerial", core_.SharesSerial(*entry)}};
        if (entry->inBootloader) {
            device["bootloader"] = rows.back()[4];
            device["processor"] = rows.back()[5];
        }
        devices.push_back(std::move(device));
    }
    if (options_.json) {
        for (const auto& [level, line] : view_.TakeDiverted()) view_.PrintTo(err_, line);
        view_.PrintText(devices.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
        return view_.ErrorLines() == 0 ? 0 : 1;
    }
    auto line = [&widths](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t i = 0; i < std::size(widths); ++i) text += PadColumns(cells[i], widths[i] + 2);
        text += cells.back();
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    };
    view_.PrintText(line({"SERIAL", "LIBRARY", "MODE", "FIRMWARE", "BOOTLOADER", "PROCESSOR", "STATUS"}));
    for (const auto& row : rows) view_.PrintText(line(row));
    if (rows.empty()) view_.PrintText("(no devices found)");
    return view_.ErrorLines() == 0 ? 0 : 1;
}

int TFlasher::Write() {
    if (!BindLibraries() || !PrepareOutputs() || !CheckImage()) return 1;
    ConfigureCore();
    StartSearch();
    const bool searched = ServeUntil([this] { return !core_.Searching(); });

    // Unknown when the search was cut short: every named device then.
    size_t targets = options_.serials.size();
    if (searched) {
        std::vector<TDevEntry*> found;
        for (TDevEntry* entry : core_.Devices().Entries()) {
            const bool named = std::find(options_.serials.begin(), options_.serials.end(), entry->serialNumber) !=
                               options_.serials.end();
            if (options_.serials.empty() || named) found.push_back(entry);
        }
        for (TDevEntry* entry : found) {
            if (core_.SharesSerial(*entry)) {
                report_.notWritten.push_back({entry->serialNumber, LibraryName(entry->transport),
                                              "another attached device reports the same serial number"});
                continue;
            }
            if (entry->inBootloader) {
                // The write button, as the window presses it.
                core_.WriteButtonClick(entry->panel.get());
                continue;
            }
            report_.notWritten.push_back({entry->serialNumber, LibraryName(entry->transport),
                                          AsksForReplug(*entry) ? STATUS_REPLUG : "in application mode"});
        }
        for (const int32_t serial : options_.serials)
            if (std::none_of(found.begin(), found.end(),
                             [serial](const TDevEntry* e) { return e->serialNumber == serial; }))
                report_.notWritten.push_back({serial, "", "not found"});
        // A serial number on both libraries makes two targets.
        targets =
            found.size() + static_cast<size_t>(std::count_if(report_.notWritten.begin(), report_.notWritten.end(),
                                                             [](const TMissedRecord& m) { return m.library.empty(); }));
        SaveReport();
        if (targets == 0) view_.PrintText("usbfwflash: no device to write");
        ServeUntil([this] {
            ProcessRetries();
            return core_.WritesRunning() == 0 && retries_.empty() && !core_.Searching();
        });
    }
    report_.interrupted = stopRequested_;
    Shutdown();
    SaveReport();

    const size_t done = static_cast<size_t>(written_ + skipped_);
    view_.PrintText(Format("usbfwflash: %d of %zu device(s) written%s%s", written_, targets,
                           skipped_ ? Format(", %d already current", skipped_).c_str() : "",
                           stopRequested_ ? " (interrupted)" : ""));
    for (const TWriteRecord& a : report_.attempts)
        if (a.code != WRITE_OK)
            view_.PrintText(Format("  %d: %s (code %d%s)", a.serial, a.result.c_str(), a.code,
                                   a.attempt > 1 ? Format(", try %d", a.attempt).c_str() : ""));
    for (const TMissedRecord& m : report_.notWritten) view_.PrintText(Format("  %d: %s", m.serial, m.reason.c_str()));
    const bool complete = searched && targets > 0 && report_.notWritten.empty() && !reportSaveFailed_;
    if (complete && done == targets) return 0;
    // Every device took the image, but not every one showed it running.
    if (complete && unconfirmed_ > 0 && failed_ == unconfirmed_ && done + static_cast<size_t>(unconfirmed_) == targets)
        return EXIT_NOT_CONFIRMED;
    return 1;
}

int TFlasher::Watch() {
    if (!BindLibraries() || !PrepareOutputs() || !CheckImage()) return 1;
    ConfigureCore();
    core_.Options().autoWrite = true;
    const std::filesystem::path socket = RuntimeFolder() / WINDOW_ENDPOINT_NAME;
    if (endpoint_.Listen(socket)) {
        loop_.Watch(endpoint_.WaitHandle(), [this] {
            endpoint_.Serve([this](const TWindowMessage& message) {
                if (message.msg == WM_DEVICECHANGE) {
                    if (const auto due = core_.DeviceChanged(message.wParam)) {
                        searchDue_ = due;
                        // A silent device may have been replugged: it gets another try.
                        core_.SetLeftAlone({});
                    }
                } else if (message.msg == WM_CLOSE && !stopRequested_) {
                    view_.PrintText("usbfwflash: close message received; stopping");
                    stopRequested_ = true;
                }
            });
        });
    } else {
        Complain("the loader window or another watcher listens at " + socket.string() +
                 "; searching on the system's device notifications only");
    }
    if (deviceMonitor_.Open()) {
        loop_.Watch(deviceMonitor_.WaitHandle(), [this] {
            if (!deviceMonitor_.Drain()) return;
            if (const auto due = core_.DeviceChanged(DBT_DEVNODES_CHANGED)) {
                searchDue_ = due;
                core_.SetLeftAlone({});
            }
        });
    } else {
        Complain(
            "the system's device notifications cannot be had; searching only on device changes posted to the endpoint");
    }
    ShowCounters();
    StartSearch();
    while (!stopRequested_) {
        const bool searching = core_.Searching();
        WaitForEvents(TClock::time_point::max());
        if (stopRequested_) break;
        if (loop_.TakeSummaryRequest()) PrintSummary();
        if (searching && !core_.Searching()) SearchEnded();
        const auto now = TClock::now();
        if (searchDue_ && now >= *searchDue_) {
            searchDue_.reset();
            searchAfterSilence_.reset();
            // The window would drop this change; a watcher searches again as
            // soon as the running search ends, so no device goes unseen.
            if (core_.Searching())
                searchAgain_ = true;
            else
                StartSearch();
        }
        if (searchAfterSilence_ && now >= *searchAfterSilence_ && !core_.Searching()) {
            searchAfterSilence_.reset();
            StartSearch();
        }
        if (searchAgain_ && !core_.Searching()) {
            searchAgain_ = false;
            StartSearch();
        }
        ProcessRetries();
    }
    report_.interrupted = true;
    Shutdown();
    SaveReport();
    view_.PrintText(Format("usbfwflash: stopped; %d device(s) written, %d failed", written_, failed_));
    PrintSummary();
    return failed_ == 0 && !reportSaveFailed_ ? 0 : 1;
}

bool TFlasher::BindLibraries() {
    std::string omLibraryName;
    // The window's message boxes, word for word.
    const TDriverReport drivers = ReportDrivers(BindDriverLibraries(omLibraryName));
    for (const std::string& message : drivers.messages) view_.PrintTo(err_, message);
    return !drivers.quit;
}

bool TFlasher::PrepareOutputs() {
    if (options_.logDir || options_.log) {
        const std::filesystem::path folder = options_.logDir.value_or(core_.LogFolder());
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!std::filesystem::is_directory(folder, error) || !MayCreateFilesIn(folder)) {
            Complain("cannot write log files in " + folder.string());
            return false;
        }
        core_.SetLogFolder(folder);
        core_.Options().writeLogToFile = true;
    }
    if (options_.records) {
        // Opened for appending once now, so that a file that cannot take the
        // records is refused before any device is touched.
        std::string error;
        if (!AppendToFile(*options_.records, "", &error)) {
            Complain("cannot append records to " + error);
            return false;
        }
        core_.SetRecordsFile(*options_.records);
    }
    if (options_.report) {
        // Before any device is touched: a report that cannot be kept would
        // lose what the writes did.
        SaveReport();
        if (reportSaveFailed_) return false;
    }
    return true;
}

bool TFlasher::CheckImage() {
    core_.SetExternFirmware(options_.image.has_value());
    core_.SetFirmwareFile(options_.image.value_or(""));
    view_.Divert();
    TBlockList blocks;
    TFirmwareVersion version;
    bool loaded = false;
    std::string failure;
    try {
        loaded = core_.LoadFirmware(blocks, version);
    } catch (const std::exception& error) {
        failure = error.what();
    }
    ClearBlocks(blocks);
    const auto lines = view_.TakeDiverted();
    if (loaded && options_.expectSha256 && core_.LoadedImageSha256() != *options_.expectSha256) {
        for (const auto& [level, line] : lines) view_.PrintTo(err_, line);
        Complain("the image's SHA-256 is " + core_.LoadedImageSha256() + ", not the expected " +
                 *options_.expectSha256 + "; no device was written");
        return false;
    }
    if (loaded) {
        for (const auto& [level, line] : lines) view_.PrintLogLine(level, line);
        if (!core_.LoadedImageSha256().empty())
            view_.PrintText("usbfwflash: image SHA-256 " + core_.LoadedImageSha256());
        return true;
    }
    for (const auto& [level, line] : lines) view_.PrintTo(err_, line);
    if (!failure.empty()) view_.PrintTo(err_, failure);
    Complain("the image was refused; no device was written");
    return false;
}

void TFlasher::WaitForEvents(TClock::time_point until) {
    if (searchDue_) until = std::min(until, *searchDue_);
    if (searchAfterSilence_) until = std::min(until, *searchAfterSilence_);
    for (const TRetry& retry : retries_) until = std::min(until, retry.due);
    if (const auto redraw = view_.RedrawDue()) until = std::min(until, *redraw);
    const bool stop = loop_.Wait(until);
    view_.RedrawIfDue();
    if (!stop) return;
    view_.PrintText(stopRequested_ ? "usbfwflash: already stopping"
                                   : "usbfwflash: stopping; running writes end at their next sector");
    stopRequested_ = true;
}

void TFlasher::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // The devices' last state stays on screen as the panels go.
    view_.FreezeWhenPanelsGo();
    core_.Shutdown([this](TClock::time_point until) { WaitForEvents(until); });
    for (const TLeftWrite& left : core_.LeftWrites()) {
        // Neither written nor known to have failed: it counts as not written.
        report_.notWritten.push_back({left.serialNumber, LibraryName(left.transport),
                                      "still being written when the flasher stopped; left running"});
        ++failed_;
    }
    // A retry that never came to run leaves its failure standing.
    failed_ += static_cast<int>(retries_.size());
    retries_.clear();
    view_.Freeze();
}

void TFlasher::OnRecord(const TWriteRecord& record) {
    report_.attempts.push_back(record);
    const TDeviceKey key = RecordKey(record);
    auto used =
        std::find_if(retriesUsed_.begin(), retriesUsed_.end(), [&key](const auto& u) { return u.first == key; });
    if (record.outcome == OUTCOME_WRITTEN || record.outcome == OUTCOME_SKIPPED) {
        if (record.outcome == OUTCOME_WRITTEN) {
            ++written_;
            writtenMs_ += record.elapsedMs;
        } else {
            ++skipped_;
        }
        if (used != retriesUsed_.end()) retriesUsed_.erase(used);
    } else if (!stopRequested_ && RetryMayMend(record.code, record.lastReplyCode) &&
               (used == retriesUsed_.end() ? options_.retries > 0 : used->second < options_.retries)) {
        if (used == retriesUsed_.end()) used = retriesUsed_.insert(used, {key, 0});
        ++used->second;
        const auto now = TClock::now();
        retries_.push_back({key, now + RETRY_PAUSE, now + RETRY_GIVE_UP});
        core_.LogDeviceMessage(llNormal, record.serial, "Повторная попытка %d из %d через %lld с", used->second,
                               options_.retries, static_cast<long long>(RETRY_PAUSE.count()));
    } else {
        ++failed_;
        if (record.code == WRITE_NOT_CONFIRMED) ++unconfirmed_;
        if (used != retriesUsed_.end()) retriesUsed_.erase(used);
    }
    if (options_.command == TCommand::Watch) ShowCounters();
    SaveReport();
}

void TFlasher::ConfigureCore() {
    TLoaderOptions& options = core_.Options();
    options.startApp = options_.startApp;
    options.confirmTimeout = options_.confirm ? options_.confirmTimeout : std::chrono::milliseconds(0);
    options.skipCurrent = options_.skipCurrent;
}

void TFlasher::StartSearch() {
    if (core_.Searching()) return;
    lastSearchStart_ = TClock::now();
    core_.StartDeviceSearch();
}

void TFlasher::SearchEnded() {
    const std::vector<TDeviceKey>& silent = core_.LastSearchUnanswered();
    if (silent.empty()) return;
    std::vector<TDeviceKey> alone = core_.LeftAlone();
    for (const TDeviceKey& device : silent) {
        core_.LogDeviceMessage(llError, device.serialNumber, "Прибор (%s) не отвечает; поиск повторяется без него",
                               LibraryName(device.transport));
        if (std::find(alone.begin(), alone.end(), device) == alone.end()) alone.push_back(device);
    }
    core_.SetLeftAlone(std::move(alone));
    searchAfterSilence_ = *lastSearchStart_ + RETRY_PAUSE;
}

void TFlasher::ProcessRetries() {
    const auto now = TClock::now();
    for (auto retry = retries_.begin(); retry != retries_.end();) {
        if (now < retry->due || stopRequested_) {
            ++retry;
            continue;
        }
        TDevEntry* entry = nullptr;
        for (TDevEntry* e : core_.Devices().Entries())
            if (e->Key() == retry->device && !e->disconnected) entry = e;
        if (entry && entry->writeThread) {
            // Replugged and written automatically meanwhile: that write decides.
            retry = retries_.erase(retry);
            continue;
        }
        if (entry && entry->inBootloader) {
            core_.WriteButtonClick(entry->panel.get());
            retry = retries_.erase(retry);
            continue;
        }
        if (now >= retry->giveUp) {
            core_.LogDeviceMessage(llError, retry->device.serialNumber,
                                   "Прибор не вернулся для повторной попытки за %lld с",
                                   static_cast<long long>(RETRY_GIVE_UP.count()));
            ++failed_;
            retry = retries_.erase(retry);
            continue;
        }
        // Unplugged after its failure: searched for again, once a second.
        if (!core_.Searching() && (!lastSearchStart_ || now - *lastSearchStart_ >= RETRY_PAUSE)) StartSearch();
        retry->due = std::max(now, *lastSearchStart_) + RETRY_PAUSE;
        ++retry;
    }
}

void TFlasher::PrintSummary() {
    const double hours = std::chrono::duration<double, std::ratio<3600>>(TClock::now() - started_).count();
    view_.PrintText(Format("usbfwflash: summary: %d written, %d failed, %.1f s per device, %.0f devices per hour",
                           written_, failed_, written_ > 0 ? static_cast<double>(writtenMs_) / written_ / 1000.0 : 0.0,
                           hours > 0 ? written_ / hours : 0.0));
}

void TFlasher::SaveReport() {
    if (!options_.report) return;
    std::string error;
    const bool saved = report_.Save(*options_.report, error);
    if (!saved && !reportSaveFailed_) Complain("cannot save the report: " + error);
    reportSaveFailed_ = !saved;
}

void TFlasher::ShowCounters() { view_.ShowCounters(Format("devices written: %d, failed: %d", written_, failed_)); }

void TFlasher::Complain(const std::string& text) { view_.PrintTo(err_, "usbfwflash: " + text); }

}  // namespace zv::cli
