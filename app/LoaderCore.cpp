#include "app/LoaderCore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>

#include "flashing/Frames.h"
#include "flashing/WriteThread.h"
#include "platform/Format.h"
#include "platform/Resources.h"
#include "transport/Channel.h"

namespace zv {

TLoaderCore::TLoaderCore(TMainThread& mainThread, TLoaderView& view, std::filesystem::path exeDir)
    : mainThread_(mainThread), view_(view), exeDir_(std::move(exeDir)) {}

TLoaderCore::~TLoaderCore() { CloseDevices(); }

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
    view_.AppendLogLine(level, line);
    if (options.writeLogToFile.load()) WriteLogFile(LogFolder(exeDir_), line);
}

void TLoaderCore::StartDeviceSearch() {
    if (SearchThread) return;
    SearchThread = std::make_unique<TReadVersion>(*this);
    SearchThread->Start([this] { ReadVersionTerminate(); });
}

void TLoaderCore::ReadVersionTerminate() {
    TReadVersion& search = *SearchThread;
    if (search.StopRequested()) {
        // Shutting down: the findings are dropped with the thread object.
    } else if (search.ErrorCode != 0) {
        LogDeviceMessage(llError, 0, "(% 6d)Ошибка %d поиске новых устройств. Последний код ответа прибора %d",
                         search.ElapsedMs, search.ErrorCode, search.LastReplyCode);
    } else {
        std::lock_guard lock(DevicesLock);
        for (size_t i = 0; i < FDevices.size();) {
            TDevEntry& entry = *FDevices[i];
            if (!entry.disconnected || entry.writeThread.load()) {
                ++i;
                continue;
            }
            LogDeviceMessage(llNormal, entry.serialNumber, "Прибор отключен");
            RemoveDevice(FDevices, entry);
        }
        for (auto& fresh : search.NewDevices) {
            TDevEntry& entry = *fresh;
            LogDeviceMessage(llNormal, entry.serialNumber, "Прибор подключен");
            FDevices.push_back(std::move(fresh));
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
            if (!entry.inBootloader && entry.replugRequired)
                SetDeviceStatus(entry, "Отключите прибор и подключите заново.", llSuccess);
            if (entry.inBootloader && options.autoWrite.load()) WriteButtonClick(entry.panel.get());
        }
        search.NewDevices.clear();
        view_.SetDeviceAreaMinHeight(FDevices.empty() ? DEVICE_AREA_MIN_HEIGHT
                                                      : DEVICE_PANEL_PITCH * static_cast<int>(FDevices.size()));
    }
    // The thread object goes when this handler is done with it.
    std::unique_ptr<TReadVersion> finished = std::move(SearchThread);
}

void TLoaderCore::CreateDevicePanel(TDevEntry& entry) {
    const std::string firmware = entry.firmwareVersion.formatVersion();
    const std::string bootloader = entry.inBootloader ? entry.bootloaderVersion.formatVersion() : std::string();
    entry.panel = view_.CreateDevicePanel(DEVICE_PANEL_TOP_STEP * static_cast<int>(FDevices.size()),
                                          std::to_string(entry.serialNumber), firmware, bootloader);
}

void TLoaderCore::SetDeviceStatus(TDevEntry& entry, const std::string& text, LogLevel style) {
    if (entry.panel) entry.panel->SetStatus(text, style);
}

void TLoaderCore::WriteButtonClick(const TDevicePanel* sender) {
    // Only the main thread changes the list, so reading it needs no lock here.
    auto it = std::find_if(FDevices.begin(), FDevices.end(),
                           [sender](const auto& entry) { return entry->panel.get() == sender; });
    if (it == FDevices.end()) {
        LogMessage(llError, "Объект прибора не найден");
        return;
    }
    TDevEntry& entry = **it;
    if (entry.inBootloader && !entry.writeThread.load()) StartDeviceWrite(entry);
}

void TLoaderCore::StartDeviceWrite(TDevEntry& entry) {
    TWriteThread& thread = *WriteThreads.emplace_back(std::make_unique<TWriteThread>(*this, entry));
    {
        std::lock_guard lock(DevicesLock);
        entry.writeThread = &thread;
    }
    thread.Start([this, &thread] { WriteThreadTerminate(thread); });
    if (entry.panel) entry.panel->SetWriteEnabled(false);
    LogDeviceMessage(llNormal, entry.serialNumber, "Начинаем прошивку прибора");
    SetDeviceStatus(entry, "Обновление прошивки прибора...", llSuccess);
}

void TLoaderCore::WriteThreadTerminate(TWriteThread& thread) {
    TDevEntry& entry = *thread.Device;
    const int32_t serial = entry.serialNumber;
    if (thread.ErrorCode == WRITE_OK) {
        SetDeviceStatus(entry, "Обновление прошивки завершено успешно", llSuccess);
        LogDeviceMessage(llNormal, serial, "(% 6d)Прошивка завершена успешно", thread.ElapsedMs);
    } else {
        std::string status, text;
        if (thread.LastReplyCode == STATUS_LOCKED) {
            status = "Прибор заблокирован";
            text = "Установлена блокировка изменения настроек";
        } else if (thread.ErrorCode == WRITE_INCOMPATIBLE) {
            status = "Прошивка и прибор не совместимы";
            text = "Прибор не совместим с данной версией прошивки";
        } else {
            status = Format("Ошибка %d при обновлении прошивки", thread.ErrorCode);
            text = Format("(% 6d)Ошибка %d при прошивке. Последний код ответа прибора %d", thread.ElapsedMs,
                          thread.ErrorCode, thread.LastReplyCode);
        }
        SetDeviceStatus(entry, status, llError);
        LogDeviceText(llError, serial, text);
    }
    if (onWriteFinished) onWriteFinished(thread);
    {
        // The discovery thread reads the field under the lock and may ask the
        // thread to stop: it must never reach a thread that is going away.
        std::lock_guard lock(DevicesLock);
        entry.writeThread = nullptr;
    }
    if (entry.panel) entry.panel->SetWriteEnabled(true);
    if (entry.disconnected) {
        std::lock_guard lock(DevicesLock);
        LogDeviceMessage(llNormal, serial, "Прибор отключен");
        // This very entry: another with the same serial number may be writing.
        RemoveDevice(FDevices, entry);
    }
    WriteThreads.remove_if([&thread](const auto& t) { return t.get() == &thread; });
}

void TLoaderCore::btnFwLoadClick() {
    TBlockList blocks;
    const bool loaded = LoadFirmware(blocks, FFirmwareVersion);
    if (loaded && !FEmbeddedLoaded &&
        std::find(FileHistory.begin(), FileHistory.end(), FirmwareFile) == FileHistory.end()) {
        FileHistory.insert(FileHistory.begin(), FirmwareFile);
        view_.FileHistoryChanged();
    }
    ClearBlocks(blocks);
}

bool TLoaderCore::LoadFirmware(TBlockList& blocks, TFirmwareVersion& version) {
    if (!blocks.empty()) ClearBlocks(blocks);
    const bool loaded = FExternFirmware ? LoadFirmwareFromFile(blocks, version) : LoadFirmwareFromResource(blocks, version);
    if (!loaded) {
        LogMessage(llError, "Ошибка загрузки прошивки");
        return false;
    }
    const std::string versionText = version.formatVersion();
    const std::string dateText = version.formatDate();
    view_.ShowFirmwareInfo(versionText, dateText);
    const std::string source = FExternFirmware ? "файла \"" + FirmwareFile + "\"" : std::string("ресурсов");
    LogMessage(llNormal, "Загружена прошивка из %s", source.c_str());
    LogMessage(llNormal, "Версия прошивки \"%s\"", versionText.c_str());
    LogMessage(llNormal, "Дата компиляции \"%s\"", dateText.c_str());
    return true;
}

namespace {

// No image comes near this; a larger file is refused before it is read.
constexpr off_t kMaxFirmwareFileSize = 64 * 1024 * 1024;

}  // namespace

bool TLoaderCore::LoadFirmwareFromFile(TBlockList& blocks, TFirmwareVersion& version) {
    if (!FExternFirmware) return false;
    std::error_code error;
    const auto status = std::filesystem::status(FirmwareFile, error);
    if (FirmwareFile.empty() || error || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) {
        LogMessage(llError, "Загрузка прошивки: Файл %s не найден", FirmwareFile.c_str());
        return false;
    }
    const int fd = ::open(FirmwareFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return false;
    }
    if (info.st_size > kMaxFirmwareFileSize) {
        ::close(fd);
        LogMessage(llError, "Не верный размер файла прошивки");
        return false;
    }
    std::vector<uint8_t> image(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < image.size()) {
        const ssize_t n = ::read(fd, image.data() + done, image.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != image.size()) return false;
    return ParseFirmwareImage(image, version, blocks,
                              [this](LogLevel level, const std::string& message) { LogMessage(level, "%s", message.c_str()); });
}

bool TLoaderCore::LoadFirmwareFromResource(TBlockList& blocks, TFirmwareVersion& version) {
    if (FExternFirmware) return false;
    bool loaded = false;
    if (const auto resource = FindResource("FRMV", "RC_DATA"); resource && !resource->empty()) {
        std::vector<uint8_t> image(resource->begin(), resource->end());
        loaded = ParseFirmwareImage(image, version, blocks, [this](LogLevel level, const std::string& message) {
            LogMessage(level, "%s", message.c_str());
        });
    }
    FEmbeddedLoaded = loaded;
    return loaded;
}

void TLoaderCore::RequestStopAll() {
    if (SearchThread) SearchThread->RequestStop();
    for (const auto& entry : FDevices)
        if (TWriteThread* writer = entry->writeThread.load()) writer->RequestStop();
}

bool TLoaderCore::WorkersRunning() const {
    if (SearchThread) return true;
    for (const auto& entry : FDevices)
        if (entry->writeThread.load()) return true;
    return false;
}

void TLoaderCore::CloseDevices() {
    std::lock_guard lock(DevicesLock);
    for (auto& entry : FDevices) {
        ChannelClose(*entry);
        entry.reset();
    }
    FDevices.clear();
}

}  // namespace zv
