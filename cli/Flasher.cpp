#include "cli/Flasher.h"

#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "flashing/FlashPlan.h"
#include "platform/Format.h"
#include "platform/Runtime.h"
#include "transport/DriverLibraries.h"

namespace zv::cli {
namespace {

const char* LibraryName(int32_t transport) { return transport == TRANSPORT_OM ? "om" : "ftdi"; }

const char* LevelName(LogLevel level) {
    switch (level) {
        case llError: return "error";
        case llSuccess: return "success";
        case llNormal: break;
    }
    return "normal";
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
    core_.SetWriteObserver(
        [this](const TWriteThread& thread, const TWriteOutcome& outcome) { OnWriteFinished(thread, outcome); });
}

TFlasher::~TFlasher() { Shutdown(); }

int TFlasher::Run() {
    int code = 1;
    try {
        switch (options_.command) {
            case TCommand::List: code = List(); break;
            case TCommand::Write: code = Write(); break;
            case TCommand::Watch: code = Watch(); break;
            case TCommand::Help: code = 0; break;
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
    core_.StartDeviceSearch();
    if (!ServeUntil([this] { return !core_.Searching(); })) {
        Shutdown();
        view_.PrintText("usbfwflash: interrupted during the search");
        return 1;
    }
    size_t widths[] = {6, 7, 11, 8, 10, 10};
    std::vector<std::vector<std::string>> rows;
    for (const TDevEntry* entry : core_.Devices().Entries()) {
        rows.push_back({std::to_string(entry->serialNumber), LibraryName(entry->transport),
                        entry->inBootloader ? "bootloader" : "application", entry->firmwareVersion.formatVersion(),
                        entry->inBootloader ? entry->bootloaderVersion.formatVersion() : "-",
                        entry->inBootloader ? Format("0x%08X", entry->processorId) : "-",
                        AsksForReplug(*entry) ? STATUS_REPLUG : ""});
        for (size_t i = 0; i < std::size(widths); ++i) widths[i] = std::max(widths[i], TextColumns(rows.back()[i]));
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
    core_.Options().startApp = options_.startApp;
    core_.StartDeviceSearch();
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
        ServeUntil([this] { return core_.WritesRunning() == 0; });
    }
    report_.interrupted = stopRequested_;
    Shutdown();
    SaveReport();

    const size_t unwritten = targets - static_cast<size_t>(written_);
    view_.PrintText(
        Format("usbfwflash: %d of %zu device(s) written%s", written_, targets, stopRequested_ ? " (interrupted)" : ""));
    for (const TAttemptRecord& a : report_.attempts)
        if (a.code != WRITE_OK) view_.PrintText(Format("  %d: %s (code %d)", a.serial, a.result.c_str(), a.code));
    for (const TMissedRecord& m : report_.notWritten) view_.PrintText(Format("  %d: %s", m.serial, m.reason.c_str()));
    const bool allWritten = searched && targets > 0 && unwritten == 0 && report_.notWritten.empty();
    return allWritten && !reportSaveFailed_ ? 0 : 1;
}

int TFlasher::Watch() {
    if (!BindLibraries() || !PrepareOutputs() || !CheckImage()) return 1;
    core_.Options().startApp = options_.startApp;
    core_.Options().autoWrite = true;
    const std::filesystem::path socket = RuntimeFolder() / WINDOW_ENDPOINT_NAME;
    if (endpoint_.Listen(socket)) {
        loop_.Watch(endpoint_.Fd(), [this] {
            endpoint_.Serve([this](const TWindowMessage& message) {
                if (message.msg == WM_DEVICECHANGE) {
                    if (const auto due = core_.DeviceChanged(message.wParam)) searchDue_ = due;
                } else if (message.msg == WM_CLOSE && !stopRequested_) {
                    view_.PrintText("usbfwflash: close message received; stopping");
                    stopRequested_ = true;
                }
            });
        });
    } else {
        Complain("the loader window or another watcher listens at " + socket.string() +
                 "; searching on udev events only");
    }
    if (udev_.Open()) {
        loop_.Watch(udev_.Fd(), [this] {
            if (!udev_.Drain()) return;
            if (const auto due = core_.DeviceChanged(DBT_DEVNODES_CHANGED)) searchDue_ = due;
        });
    } else {
        Complain("udev cannot be reached; searching only on device changes posted to the endpoint");
    }
    ShowCounters();
    core_.StartDeviceSearch();
    while (!stopRequested_) {
        WaitForEvents(TClock::time_point::max());
        if (stopRequested_) break;
        if (searchDue_ && TClock::now() >= *searchDue_) {
            searchDue_.reset();
            // The window would drop this change; a watcher searches again as
            // soon as the running search ends, so no device goes unseen.
            if (core_.Searching())
                searchAgain_ = true;
            else
                core_.StartDeviceSearch();
        }
        if (searchAgain_ && !core_.Searching()) {
            searchAgain_ = false;
            core_.StartDeviceSearch();
        }
    }
    report_.interrupted = true;
    Shutdown();
    SaveReport();
    view_.PrintText(Format("usbfwflash: stopped; %d device(s) written, %d failed", written_, failed_));
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
    if (options_.logDir) {
        std::error_code error;
        std::filesystem::create_directories(*options_.logDir, error);
        if (!std::filesystem::is_directory(*options_.logDir, error) || ::access(options_.logDir->c_str(), W_OK) != 0) {
            Complain("cannot write log files in " + options_.logDir->string());
            return false;
        }
        core_.SetLogFolder(*options_.logDir);
        core_.Options().writeLogToFile = true;
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
    if (loaded) {
        for (const auto& [level, line] : lines) view_.PrintLogLine(level, line);
        return true;
    }
    for (const auto& [level, line] : lines) view_.PrintTo(err_, line);
    if (!failure.empty()) view_.PrintTo(err_, failure);
    Complain("the image was refused; no device was written");
    return false;
}

void TFlasher::WaitForEvents(TClock::time_point until) {
    if (searchDue_) until = std::min(until, *searchDue_);
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
    view_.Freeze();
}

void TFlasher::OnWriteFinished(const TWriteThread& thread, const TWriteOutcome& outcome) {
    const TDevEntry& entry = *thread.Device;
    TAttemptRecord record;
    record.serial = entry.serialNumber;
    record.library = LibraryName(entry.transport);
    record.firmwareBefore = entry.firmwareVersion.formatVersion();
    record.bootloaderBefore = entry.bootloaderVersion.formatVersion();
    record.processor = Format("0x%08X", entry.processorId);
    record.image = thread.ImageVersion.formatVersion();
    record.code = thread.ErrorCode;
    record.result = outcome.status;
    record.level = LevelName(outcome.statusLevel);
    record.interrupted = thread.ErrorCode == WRITE_INTERRUPTED;
    record.elapsedMs = thread.ElapsedMs;
    record.sectorsWritten = thread.SectorsWritten;
    record.sectorsSkipped = thread.SectorsSkipped;
    record.finished = UtcTimestamp();
    report_.attempts.push_back(std::move(record));
    if (thread.ErrorCode == WRITE_OK)
        ++written_;
    else
        ++failed_;
    if (options_.command == TCommand::Watch) ShowCounters();
    SaveReport();
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
