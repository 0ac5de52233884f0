#include "cli/Flasher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "flashing/FlashPlan.h"
#include "platform/Format.h"
#include "platform/Runtime.h"
#include "transport/DriverLibraries.h"

namespace zv::cli {
namespace {

using namespace std::chrono_literals;

// What the window's DevTimer waits after the last device change.
constexpr auto kSearchDebounce = 100ms;

// The self-pipe the signal handler writes to; the main loop reads it.
int signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

const char* LibraryName(const TDevEntry& entry) { return entry.transport == TRANSPORT_OM ? "om" : "ftdi"; }

const char* LevelName(LogLevel level) {
    switch (level) {
        case llError: return "error";
        case llSuccess: return "success";
        case llNormal: break;
    }
    return "normal";
}

const TCliPanel* PanelOf(const TDevEntry& entry) { return dynamic_cast<const TCliPanel*>(entry.panel.get()); }

}  // namespace

TPolledQueue::TPolledQueue() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TPolledQueue::~TPolledQueue() { ::close(fd_); }

void TPolledQueue::Post(std::function<void()> call) {
    TEventQueue::Post(std::move(call));
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void TPolledQueue::Acknowledge() {
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

TFlasher::TFlasher(const TCliOptions& options, FILE* out, FILE* err, bool terminal)
    : options_(options),
      err_(err),
      view_(out, terminal),
      core_(queue_, view_, ExecutableFolder()),
      report_(options.command == TCommand::Watch ? "watch" : options.command == TCommand::Write ? "write" : "list") {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // Blocked everywhere but in ppoll: the workers the core starts inherit
    // the mask, so a signal never lands in one of their device waits.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stops, &previousMask_);
    waitMask_ = previousMask_;
    sigdelset(&waitMask_, SIGINT);
    sigdelset(&waitMask_, SIGTERM);

    // The log files are written here, not by the core beside the executable.
    core_.options.writeLogToFile = false;
    core_.onWriteFinished = [this](const TWriteThread& thread) { OnWriteFinished(thread); };
}

TFlasher::~TFlasher() {
    Shutdown();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

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
    if (!ServeUntil([this] { return !core_.SearchThread; })) {
        Shutdown();
        view_.PrintText("usbfwflash: interrupted during the search");
        return 1;
    }
    size_t widths[] = {6, 7, 11, 8, 10, 10};
    std::vector<std::vector<std::string>> rows;
    for (const auto& entry : core_.FDevices) {
        const TCliPanel* panel = PanelOf(*entry);
        rows.push_back({std::to_string(entry->serialNumber), LibraryName(*entry),
                        entry->inBootloader ? "bootloader" : "application", entry->firmwareVersion.formatVersion(),
                        entry->inBootloader ? entry->bootloaderVersion.formatVersion() : "-",
                        entry->inBootloader ? Format("0x%08X", entry->processorId) : "-",
                        panel ? panel->Status() : std::string()});
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
    core_.options.startApp = options_.startApp;
    core_.StartDeviceSearch();
    const bool searched = ServeUntil([this] { return !core_.SearchThread; });

    // Unknown when the search was cut short: every named device then.
    size_t targets = options_.serials.size();
    if (searched) {
        std::vector<TDevEntry*> found;
        for (const auto& entry : core_.FDevices) {
            const bool named = std::find(options_.serials.begin(), options_.serials.end(), entry->serialNumber) !=
                               options_.serials.end();
            if (options_.serials.empty() || named) found.push_back(entry.get());
        }
        for (TDevEntry* entry : found) {
            const TCliPanel* panel = PanelOf(*entry);
            if (entry->inBootloader && panel) {
                panel->Click();
                continue;
            }
            const std::string status = panel ? panel->Status() : std::string();
            report_.notWritten.push_back({entry->serialNumber, LibraryName(*entry),
                                          status.empty() ? "in application mode" : status});
        }
        for (const int32_t serial : options_.serials)
            if (std::none_of(found.begin(), found.end(), [serial](const TDevEntry* e) { return e->serialNumber == serial; }))
                report_.notWritten.push_back({serial, "", "not found"});
        // A serial number on both libraries makes two targets.
        targets = found.size() + static_cast<size_t>(std::count_if(report_.notWritten.begin(), report_.notWritten.end(),
                                                                   [](const TMissedRecord& m) { return m.library.empty(); }));
        SaveReport();
        if (targets == 0) view_.PrintText("usbfwflash: no device to write");
        ServeUntil([this] { return core_.WriteThreads.empty(); });
    }
    report_.interrupted = stopRequested_;
    Shutdown();
    SaveReport();

    const size_t unwritten = targets - static_cast<size_t>(written_);
    view_.PrintText(Format("usbfwflash: %d of %zu device(s) written%s", written_, targets,
                           stopRequested_ ? " (interrupted)" : ""));
    for (const TAttemptRecord& a : report_.attempts)
        if (a.code != WRITE_OK) view_.PrintText(Format("  %d: %s (code %d)", a.serial, a.result.c_str(), a.code));
    for (const TMissedRecord& m : report_.notWritten)
        view_.PrintText(Format("  %d: %s", m.serial, m.reason.c_str()));
    const bool allWritten = searched && targets > 0 && unwritten == 0 && report_.notWritten.empty();
    return allWritten && !reportSaveFailed_ ? 0 : 1;
}

int TFlasher::Watch() {
    if (!BindLibraries() || !PrepareOutputs() || !CheckImage()) return 1;
    core_.options.startApp = options_.startApp;
    core_.options.autoWrite = true;
    const std::filesystem::path socket = RuntimeFolder() / WINDOW_ENDPOINT_NAME;
    if (!endpoint_.Listen(socket))
        Complain("the loader window or another watcher listens at " + socket.string() +
                 "; searching on udev events only");
    udevOpen_ = udev_.Open();
    if (!udevOpen_) Complain("udev cannot be reached; searching only on device changes posted to the endpoint");
    ShowCounters();
    core_.StartDeviceSearch();
    while (!stopRequested_) {
        WaitForEvents(1s);
        if (stopRequested_) break;
        if (searchDue_ && std::chrono::steady_clock::now() >= *searchDue_) {
            searchDue_.reset();
            // The window would drop this change; a watcher searches again as
            // soon as the running search ends, so no device goes unseen.
            if (core_.SearchThread)
                searchAgain_ = true;
            else
                core_.StartDeviceSearch();
        }
        if (searchAgain_ && !core_.SearchThread) {
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
    const TBindingResult bound = BindDriverLibraries(omLibraryName);
    // The window's message boxes, word for word.
    if (!bound.ftdiBound) view_.PrintTo(err_, "Драйвер устройств FTDI не установлен.");
    if (!bound.omBound) view_.PrintTo(err_, "Драйвер устройств OM не установлен.");
    if (bound.ftdiBound || bound.omBound) return true;
    view_.PrintTo(err_, "Перед первым запуском программы подключите устройство к USB и установите драйвер.");
    return false;
}

bool TFlasher::PrepareOutputs() {
    if (options_.logDir) {
        std::error_code error;
        std::filesystem::create_directories(*options_.logDir, error);
        if (!std::filesystem::is_directory(*options_.logDir, error) || ::access(options_.logDir->c_str(), W_OK) != 0) {
            Complain("cannot write log files in " + options_.logDir->string());
            return false;
        }
        view_.SetLogFolder(*options_.logDir);
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
    core_.FExternFirmware = options_.image.has_value();
    core_.FirmwareFile = options_.image.value_or("");
    view_.Divert();
    TBlockList blocks;
    bool loaded = false;
    std::string failure;
    try {
        loaded = core_.LoadFirmware(blocks, core_.FFirmwareVersion);
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

void TFlasher::WaitForEvents(std::chrono::milliseconds limit) {
    auto timeout = limit;
    if (searchDue_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*searchDue_ - std::chrono::steady_clock::now());
        timeout = std::clamp(left, 0ms, limit);
    }
    pollfd fds[4];
    nfds_t count = 0;
    fds[count++] = {queue_.Fd(), POLLIN, 0};
    fds[count++] = {signalPipe[0], POLLIN, 0};
    const nfds_t endpointAt = count;
    if (endpoint_.Fd() >= 0) fds[count++] = {endpoint_.Fd(), POLLIN, 0};
    const nfds_t udevAt = count;
    if (udevOpen_) fds[count++] = {udev_.Fd(), POLLIN, 0};
    const timespec wait{static_cast<time_t>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000) * 1000000};
    // The stop signals are let in only here, so their handler never
    // interrupts anything but this wait.
    const int ready = ::ppoll(fds, count, &wait, &waitMask_);

    char bytes[16];
    bool signalled = false;
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) signalled = true;
    if (signalled) {
        view_.PrintText(stopRequested_ ? "usbfwflash: already stopping"
                                       : "usbfwflash: stopping; running writes end at their next sector");
        stopRequested_ = true;
    }
    queue_.Acknowledge();
    queue_.ProcessPending();
    if (ready <= 0) return;
    if (endpoint_.Fd() >= 0 && fds[endpointAt].revents != 0) {
        endpoint_.Serve([this](const TWindowMessage& message) {
            if (message.msg == WM_DEVICECHANGE && message.wParam == DBT_DEVNODES_CHANGED) {
                ArmSearch();
            } else if (message.msg == WM_CLOSE && !stopRequested_) {
                view_.PrintText("usbfwflash: close message received; stopping");
                stopRequested_ = true;
            }
        });
    }
    if (udevOpen_ && fds[udevAt].revents != 0 && udev_.Drain()) ArmSearch();
}

void TFlasher::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    core_.options.autoWrite = false;
    core_.RequestStopAll();
    while (core_.WorkersRunning()) WaitForEvents(100ms);
    // The devices' last state stays on screen as the panels go.
    view_.Freeze();
    core_.CloseDevices();
}

void TFlasher::OnWriteFinished(const TWriteThread& thread) {
    const TDevEntry& entry = *thread.Device;
    const TCliPanel* panel = PanelOf(entry);
    TAttemptRecord record;
    record.serial = entry.serialNumber;
    record.library = LibraryName(entry);
    record.firmwareBefore = entry.firmwareVersion.formatVersion();
    record.bootloaderBefore = entry.bootloaderVersion.formatVersion();
    record.processor = Format("0x%08X", entry.processorId);
    record.image = thread.ImageVersion.formatVersion();
    record.code = thread.ErrorCode;
    // What the core has just put on the panel, so the record and the window
    // can never disagree.
    record.result = panel ? panel->Status() : std::string();
    record.level = LevelName(panel ? panel->StatusLevel() : llNormal);
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

void TFlasher::ArmSearch() { searchDue_ = std::chrono::steady_clock::now() + kSearchDebounce; }

void TFlasher::Complain(const std::string& text) { view_.PrintTo(err_, "usbfwflash: " + text); }

}  // namespace zv::cli
