#include "core/LoaderCore.h"

#include <algorithm>
#include <cstdarg>
#include <utility>

#include "core/EventLog.h"
#include "firmware/ImageFile.h"
#include "platform/Format.h"
#include "platform/MessageEndpoint.h"
#include "platform/Resources.h"
#include "platform/Runtime.h"
#include "platform/Sha256.h"
#include "platform/Version.h"
#include "transport/Channel.h"

namespace zv {

TDriverReport ReportDrivers(const TBindingResult& bound) {
    TDriverReport report;
    if (!bound.ftdiBound) report.messages.emplace_back("Драйвер устройств FTDI не установлен.");
    if (!bound.omBound) report.messages.emplace_back("Драйвер устройств OM не установлен.");
    if (!bound.ftdiBound && !bound.omBound) {
        report.messages.emplace_back(
            "Перед первым запуском программы подключите устройство к USB и установите драйвер.");
        report.quit = true;
    }
    return report;
}

bool AsksForReplug(const TDevEntry& entry) { return !entry.inBootloader && entry.replugRequired; }

namespace {

const char* LevelName(LogLevel level) {
    switch (level) {
        case llError: return "error";
        case llSuccess: return "success";
        case llNormal: break;
    }
    return "normal";
}

const char* ConfirmationName(TConfirmation confirmation) {
    switch (confirmation) {
        case TConfirmation::Confirmed: return "confirmed";
        case TConfirmation::Mismatch: return "mismatch";
        case TConfirmation::NoAnswer: return "no answer";
        case TConfirmation::NotAsked: break;
    }
    return "not asked";
}

}  // namespace

TLoaderCore::TLoaderCore(TMainThread& mainThread, TLoaderView& view, std::filesystem::path exeDir)
    : FMainThread(mainThread),
      FView(view),
      FExeDir(std::move(exeDir)),
      FStorage(StandardStorage(FExeDir)),
      FLogFolder(FStorage.logFolder) {}

TLoaderCore::~TLoaderCore() {
    if (WorkersRunning()) LeaveRunningWorkers();
    CloseDevices();
}

void TLoaderCore::LogMessage(LogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string body = FormatV(format, args);
    va_end(args);
    AddLogLine(level, LogLine(0, body));
}

void TLoaderCore::LogDeviceMessage(LogLevel level, int32_t serialNumber, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string body = FormatV(format, args);
    va_end(args);
    AddLogLine(level, LogLine(serialNumber, body));
}

void TLoaderCore::LogDeviceText(LogLevel level, int32_t serialNumber, const std::string& text) {
    AddLogLine(level, LogLine(serialNumber, text));
}

void TLoaderCore::AddLogLine(LogLevel level, const std::string& line) {
    FView.AppendLogLine(level, line);
    if (FOptions.writeLogToFile) WriteLogFile(FLogFolder, line);
}

std::optional<TLoaderCore::TClock::time_point> TLoaderCore::DeviceChanged(int64_t wParam) const {
    if (wParam != DBT_DEVNODES_CHANGED || FShuttingDown) return std::nullopt;
    // Restarted by every change: the search follows the last of a burst.
    return TClock::now() + DEVICE_CHANGE_DELAY;
}

void TLoaderCore::StartDeviceSearch() {
    if (FSearchThread || FShuttingDown) return;
    FSearchThread = std::make_unique<TReadVersion>(*this);
    FSearchThread->LeaveAlone = FLeftAlone;
    FSearchThread->Start([this] {
        ReadVersionTerminate();
        NotifyIfStopped();
    });
}

void TLoaderCore::ReadVersionTerminate() {
    TReadVersion& search = *FSearchThread;
    FLastUnanswered = search.Unanswered;
    if (search.StopRequested()) {
        // Shutting down: the findings are dropped with the thread object.
    } else if (search.ErrorCode != 0) {
        LogDeviceText(
            llError, 0,
            ElapsedHead(search.ElapsedMs) + Format("Ошибка %d поиске новых устройств. Последний код ответа прибора %d",
                                                   search.ErrorCode, search.LastReplyCode));
    } else {
        for (auto& gone : FDevices.TakeGone()) {
            LogDeviceMessage(llNormal, gone->serialNumber, "Прибор отключен");
            gone.reset();
        }
        for (size_t i = 0; i < search.NewDevices.size(); ++i) {
            std::unique_ptr<TDevEntry>& fresh = search.NewDevices[i];
            LogDeviceMessage(llNormal, fresh->serialNumber, "Прибор подключен");
            TDevEntry& entry = FDevices.Add(std::move(fresh));
            CreateDevicePanel(entry);
            entry.panel->SetWriteEnabled(entry.inBootloader);
            entry.panel->SetWriteHandler([this, panel = entry.panel.get()] { WriteButtonClick(panel); });
            LogDeviceMessage(llNormal, entry.serialNumber, "Версия прошивки %s",
                             entry.firmwareVersion.formatVersion().c_str());
            if (entry.inBootloader)
                LogMessage(llNormal, "Версия загрузчика %s", entry.bootloaderVersion.formatVersion().c_str());
            LogDeviceMessage(llNormal, entry.serialNumber, "Идентификатор процессора 0x%08X", entry.processorId);
            LogDeviceMessage(llNormal, entry.serialNumber, "Режим работы - %s",
                             entry.inBootloader ? "Загрузчик" : "Прошивка");
            if (AsksForReplug(entry)) SetDeviceStatus(entry, STATUS_REPLUG, llSuccess);
            if (entry.inBootloader && FOptions.autoWrite) {
                // The rest of this search's devices are not in yet: a twin
                // among them holds this one too, once it is.
                const bool twinFollows =
                    std::any_of(search.NewDevices.begin() + static_cast<std::ptrdiff_t>(i) + 1, search.NewDevices.end(),
                                [&entry](const auto& next) { return next->serialNumber == entry.serialNumber; });
                if (SharesSerial(entry) || twinFollows)
                    entry.autoWriteHeld = true;
                else
                    WriteButtonClick(entry.panel.get());
            }
        }
        search.NewDevices.clear();
        FView.ShowDeviceCount(static_cast<int>(FDevices.Count()));
        WarnAboutSharedSerials();
        for (TDevEntry* entry : FDevices.Entries()) {
            if (!entry->autoWriteHeld || SharesSerial(*entry)) continue;
            // The clash has ended: written as if it had just been found.
            entry->autoWriteHeld = false;
            if (entry->inBootloader && FOptions.autoWrite) WriteButtonClick(entry->panel.get());
        }
    }
    // The thread object goes when this handler is done with it.
    FSearchThread.reset();
}

bool TLoaderCore::SharesSerial(const TDevEntry& entry) const {
    return !entry.disconnected && FDevices.WithSerial(entry.serialNumber).size() > 1;
}

void TLoaderCore::WarnAboutSharedSerials() {
    const std::vector<TDevEntry*> entries = FDevices.Entries();
    std::vector<int32_t> warned;
    for (const TDevEntry* entry : entries) {
        if (std::find(warned.begin(), warned.end(), entry->serialNumber) != warned.end()) continue;
        const std::vector<TDevEntry*> twins = FDevices.WithSerial(entry->serialNumber);
        if (twins.size() < 2) continue;
        warned.push_back(entry->serialNumber);
        // Named by library and panel, the only things that tell them apart.
        std::string names;
        for (const TDevEntry* twin : twins) {
            const auto position = std::find(entries.begin(), entries.end(), twin) - entries.begin() + 1;
            if (!names.empty()) names += twin == twins.back() ? " и " : ", ";
            names +=
                Format("%s (панель %d)", twin->transport == TRANSPORT_OM ? "OM" : "FTDI", static_cast<int>(position));
        }
        LogDeviceMessage(llError, entry->serialNumber,
                         "Одинаковый серийный номер у приборов %s; автоматически они не прошиваются", names.c_str());
    }
}

void TLoaderCore::CreateDevicePanel(TDevEntry& entry) {
    const std::string firmware = entry.firmwareVersion.formatVersion();
    const std::string bootloader = entry.inBootloader ? entry.bootloaderVersion.formatVersion() : std::string();
    entry.panel = FView.CreateDevicePanel(static_cast<int>(FDevices.Count()), std::to_string(entry.serialNumber),
                                          firmware, bootloader);
}

void TLoaderCore::SetDeviceStatus(TDevEntry& entry, const std::string& text, LogLevel style) {
    if (entry.panel) entry.panel->SetStatus(text, style);
}

void TLoaderCore::WriteButtonClick(const TDevicePanel* sender) {
    TDevEntry* entry = FDevices.FindByPanel(sender);
    if (!entry) {
        LogMessage(llError, "Объект прибора не найден");
        return;
    }
    if (!entry->inBootloader || entry->writeThread || FShuttingDown) return;
    if (FOptions.skipCurrent && !FLoadedVersion.name.empty() &&
        entry->firmwareVersion.formatVersion() == FLoadedVersion.formatVersion()) {
        SkipDeviceWrite(*entry);
        return;
    }
    StartDeviceWrite(*entry);
}

TWriteRecord TLoaderCore::DeviceRecord(const TDevEntry& entry) {
    TWriteRecord record;
    record.serial = entry.serialNumber;
    record.library = LibraryName(entry.transport);
    record.processor = Format("0x%08X", entry.processorId);
    record.firmwareBefore = entry.firmwareVersion.formatVersion();
    record.bootloaderBefore = entry.bootloaderVersion.formatVersion();
    auto attempts =
        std::find_if(FAttempts.begin(), FAttempts.end(), [key = entry.Key()](const auto& a) { return a.first == key; });
    if (attempts == FAttempts.end()) attempts = FAttempts.insert(attempts, {entry.Key(), 0});
    record.attempt = ++attempts->second;
    record.host = HostName();
    record.loaderVersion = LoaderVersion();
    return record;
}

void TLoaderCore::SkipDeviceWrite(TDevEntry& entry) {
    const std::string version = FLoadedVersion.formatVersion();
    LogDeviceMessage(llNormal, entry.serialNumber, "Версия прошивки %s уже установлена; прибор пропущен",
                     version.c_str());
    SetDeviceStatus(entry, "Версия прошивки уже установлена", llSuccess);
    TWriteRecord record = DeviceRecord(entry);
    record.image = version;
    record.imageDate = FLoadedVersion.formatDate();
    record.imageSha256 = FLoadedSha256;
    record.outcome = OUTCOME_SKIPPED;
    record.result = "Версия прошивки уже установлена";
    record.level = LevelName(llSuccess);
    record.started = record.finished = LocalTimestamp(std::chrono::system_clock::now());
    FileRecord(record);
}

void TLoaderCore::FileRecord(const TWriteRecord& record) {
    std::string error;
    bool filed = true;
    if (FRecordsFile) {
        filed = AppendRecord(*FRecordsFile, record, error);
    } else if (FOptions.writeLogToFile) {
        std::error_code ignored;
        std::filesystem::create_directories(FLogFolder, ignored);
        filed = AppendRecord(FLogFolder / DailyRecordFileName(std::chrono::system_clock::now()), record, error);
    }
    if (!filed) LogMessage(llError, "Запись о прошивке не сохранена: %s", error.c_str());
    if (FRecordObserver) FRecordObserver(record);
}

void TLoaderCore::ResetCounters() {
    FCounters = {};
    FView.ShowWriteCounters(FCounters.written, FCounters.failed);
}

void TLoaderCore::StartDeviceWrite(TDevEntry& entry) {
    TWriteThread& thread = *FWriteThreads.emplace_back(std::make_unique<TWriteThread>(*this, entry));
    entry.writeThread = &thread;
    thread.Start([this, &thread] {
        WriteThreadTerminate(thread);
        NotifyIfStopped();
    });
    if (entry.panel) entry.panel->SetWriteEnabled(false);
    LogDeviceMessage(llNormal, entry.serialNumber, "Начинаем прошивку прибора");
    SetDeviceStatus(entry, "Обновление прошивки прибора...", llSuccess);
}

void TLoaderCore::WriteThreadTerminate(TWriteThread& thread) {
    TDevEntry& entry = *thread.Device;
    const TWriteOutcome outcome =
        DescribeWrite(thread.ErrorCode, thread.LastReplyCode, thread.ElapsedMs, thread.ReportedVersion);
    SetDeviceStatus(entry, outcome.status, outcome.statusLevel);
    LogDeviceText(outcome.logLevel, entry.serialNumber, outcome.logText);
    if (thread.ErrorCode == WRITE_OK)
        ++FCounters.written;
    else
        ++FCounters.failed;
    FView.ShowWriteCounters(FCounters.written, FCounters.failed);

    TWriteRecord record = DeviceRecord(entry);
    record.image = thread.ImageVersion.formatVersion();
    record.imageDate = thread.ImageVersion.formatDate();
    record.imageSha256 = thread.ImageSha256;
    record.outcome = thread.ErrorCode == WRITE_OK            ? OUTCOME_WRITTEN
                     : thread.ErrorCode == WRITE_INTERRUPTED ? OUTCOME_INTERRUPTED
                                                             : OUTCOME_FAILED;
    record.code = thread.ErrorCode;
    record.lastReplyCode = thread.LastReplyCode;
    record.result = outcome.status;
    record.level = LevelName(outcome.statusLevel);
    record.interrupted = thread.ErrorCode == WRITE_INTERRUPTED;
    record.started = LocalTimestamp(thread.StartedAt);
    record.finished = LocalTimestamp(std::chrono::system_clock::now());
    record.elapsedMs = thread.ElapsedMs;
    record.sectorsWritten = thread.SectorsWritten;
    record.sectorsSkipped = thread.SectorsSkipped;
    record.sectorsProtected = thread.SectorsProtected;
    record.confirmation = ConfirmationName(thread.Confirmation);
    record.versionAfter = thread.ReportedVersion;
    FileRecord(record);
    if (FWriteObserver) FWriteObserver(thread, outcome);
    entry.writeThread = nullptr;
    if (entry.panel) entry.panel->SetWriteEnabled(true);
    if (entry.disconnected) {
        LogDeviceMessage(llNormal, entry.serialNumber, "Прибор отключен");
        // This very entry: another with the same serial number may be writing.
        FDevices.Take(entry).reset();
    }
    FWriteThreads.remove_if([&thread](const auto& t) { return t.get() == &thread; });
}

void TLoaderCore::btnFwLoadClick() {
    TBlockList blocks;
    const bool loaded = LoadFirmware(blocks, FFirmwareVersion);
    if (loaded && !FEmbeddedLoaded &&
        std::find(FFileHistory.begin(), FFileHistory.end(), FFirmwareFile) == FFileHistory.end()) {
        FFileHistory.insert(FFileHistory.begin(), FFirmwareFile);
        FView.FileHistoryChanged();
    }
    ClearBlocks(blocks);
}

bool TLoaderCore::LoadFirmware(TBlockList& blocks, TFirmwareVersion& version) {
    if (!blocks.empty()) ClearBlocks(blocks);
    FLoadedVersion = {};
    FLoadedSha256.clear();
    const bool loaded =
        FExternFirmware ? LoadFirmwareFromFile(blocks, version) : LoadFirmwareFromResource(blocks, version);
    if (!loaded) {
        LogMessage(llError, "Ошибка загрузки прошивки");
        return false;
    }
    FLoadedVersion = version;
    const std::string versionText = version.formatVersion();
    const std::string dateText = version.formatDate();
    FView.ShowFirmwareInfo(versionText, dateText, FLoadedSha256);
    const std::string source = FExternFirmware ? "файла \"" + FFirmwareFile + "\"" : std::string("ресурсов");
    LogMessage(llNormal, "Загружена прошивка из %s", source.c_str());
    LogMessage(llNormal, "Версия прошивки \"%s\"", versionText.c_str());
    LogMessage(llNormal, "Дата компиляции \"%s\"", dateText.c_str());
    return true;
}

TLogCallback TLoaderCore::ImageLog() {
    return [this](LogLevel level, const std::string& message) { LogMessage(level, "%s", message.c_str()); };
}

bool TLoaderCore::LoadFirmwareFromFile(TBlockList& blocks, TFirmwareVersion& version) {
    if (!FExternFirmware) return false;
    const TLogCallback log = ImageLog();
    std::optional<std::vector<uint8_t>> image = ReadImageFile(FFirmwareFile, log);
    if (!image) return false;
    // Of the file as read: parsing works on the bytes in place.
    const std::string sha256 = Sha256Hex(*image);
    if (!ParseFirmwareImage(*image, version, blocks, log)) return false;
    FLoadedSha256 = sha256;
    return true;
}

bool TLoaderCore::LoadFirmwareFromResource(TBlockList& blocks, TFirmwareVersion& version) {
    if (FExternFirmware) return false;
    bool loaded = false;
    if (const auto resource = FindResource("FRMV", "RC_DATA"); resource && !resource->empty()) {
        std::vector<uint8_t> image(resource->begin(), resource->end());
        loaded = ParseFirmwareImage(image, version, blocks, ImageLog());
        // The resource never changes: hashed once, not for every write.
        if (loaded && FResourceSha256.empty()) FResourceSha256 = Sha256Hex(*resource);
        if (loaded) FLoadedSha256 = FResourceSha256;
    }
    FEmbeddedLoaded = loaded;
    return loaded;
}

void TLoaderCore::Shutdown(const TServe& serve) {
    BeginShutdown(nullptr);
    // Woken by what the workers hand over, their end handlers last of all.
    while (WorkersRunning() && TClock::now() < FShutdownDeadline) serve(FShutdownDeadline);
    if (WorkersRunning()) LeaveRunningWorkers();
    CloseDevices();
}

void TLoaderCore::BeginShutdown(std::function<void()> whenStopped) {
    FWhenStopped = std::move(whenStopped);
    if (FShuttingDown) return;
    FShuttingDown = true;
    FShutdownDeadline = TClock::now() + FShutdownTimeout;
    if (FSearchThread) FSearchThread->RequestStop();
    for (const auto& thread : FWriteThreads) thread->RequestStop();
}

void TLoaderCore::NotifyIfStopped() {
    if (!FShuttingDown || WorkersRunning() || !FWhenStopped) return;
    std::exchange(FWhenStopped, nullptr)();
}

void TLoaderCore::LeaveRunningWorkers() {
    // Workers that ended meanwhile are ended as usual here: their end handlers
    // wait in the queue, which is about to be closed.
    if (FSearchThread && FSearchThread->Finished()) ReadVersionTerminate();
    for (auto it = FWriteThreads.begin(); it != FWriteThreads.end();) {
        TWriteThread& thread = **it++;
        if (thread.Finished()) WriteThreadTerminate(thread);
    }

    const auto waited = static_cast<int>(FShutdownTimeout.count());
    if (FSearchThread) {
        LogMessage(llError, "Поиск устройств не остановился за %d мс; поток оставлен", waited);
        FSearchThread->Abandon();
        KeepUntilExit(std::move(FSearchThread));
    }
    for (auto& thread : FWriteThreads) {
        TDevEntry& entry = *thread->Device;
        LogDeviceMessage(llError, entry.serialNumber, "Прошивка не остановилась за %d мс; поток оставлен", waited);
        FLeftWrites.push_back({entry.serialNumber, entry.transport});
        // The entry stays with its worker; only its panel goes, with the window.
        if (std::unique_ptr<TDevEntry> kept = FDevices.Take(entry)) {
            kept->panel.reset();
            KeepUntilExit(std::move(kept));
        }
        thread->Abandon();
        KeepUntilExit(std::move(thread));
    }
    FWriteThreads.clear();
    FMainThread.Close();
}

void TLoaderCore::CloseDevices() {
    for (auto& entry : FDevices.TakeAll()) {
        ChannelClose(*entry);
        entry.reset();
    }
}

}  // namespace zv
