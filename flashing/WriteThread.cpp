#include "flashing/WriteThread.h"

#include <algorithm>
#include <array>
#include <cstdarg>

#include "flashing/Compatibility.h"
#include "flashing/Exchange.h"
#include "platform/Format.h"
#include "platform/Tick.h"
#include "transport/Channel.h"

namespace zv {

TWriteThread::TWriteThread(TWriteHost& host, TDevEntry& device)
    : Device(&device), Host(host), MainThread(host.HandOver()) {}

void TWriteThread::Start(std::function<void()> onTerminate) {
    Run(
        MainThread, [this] { Execute(); }, std::move(onTerminate));
}

int TWriteThread::Elapsed() const { return static_cast<int>(TicksSince(StartTick)); }

uint16_t TWriteThread::EraseCommand() const {
    return UsesSecondCommandSet(*Device, ImageVersion) ? CMD_ERASE_SECTOR_V2 : CMD_ERASE_SECTOR;
}

uint16_t TWriteThread::WriteCommand() const {
    return UsesSecondCommandSet(*Device, ImageVersion) ? CMD_WRITE_SECTOR_V2 : CMD_WRITE_SECTOR;
}

void TWriteThread::Execute() {
    Blocks.clear();
    ErrorCode = WRITE_OK;
    LastReplyCode = 0;
    StartTick = GetTickCount();
    StartedAt = std::chrono::system_clock::now();

    SyncLoadImage();
    if (ErrorCode == WRITE_OK) {
        BuildFlashImage();
        if (!IsImageCompatible(ImageVersion, *Device)) ErrorCode = WRITE_INCOMPATIBLE;
    }
    if (ErrorCode == WRITE_OK) {
        SendLogFmt(llNormal, "Прошивается сектора с %d по %d", Plan.firstSector, Plan.lastSector);
        DoneUnits = 0;
        if (!ChannelOpen(*Device)) {
            SendLogFmt(llError, "Не удалось открыть устройство");
            ErrorCode = WRITE_OPEN_FAILED;
        } else {
            int32_t sector = Plan.firstSector;
            for (; sector <= Plan.lastSector && !StopRequested(); ++sector) {
                SendStepFmt(llNormal, " Перепрошивка сектора %d:", sector);
                if (Plan.SectorHasData(sector)) {
                    if (!EraseSector(sector)) {
                        ErrorCode = WRITE_ERASE_FAILED;
                        break;
                    }
                    if (!WriteSector(sector)) {
                        ErrorCode = WRITE_WRITE_FAILED;
                        break;
                    }
                    ++SectorsWritten;
                } else {
                    SendStepFmt(llNormal, " Сектор %d пустой. Пропускаем.", sector);
                    DoneUnits += static_cast<int32_t>(Plan.map.table[sector].size / FLASH_UNIT_SIZE);
                    ++SectorsSkipped;
                    SyncProgress();
                }
            }
            // A stop request leaves sectors unwritten: that is no success.
            if (ErrorCode == WRITE_OK && sector <= Plan.lastSector) ErrorCode = WRITE_INTERRUPTED;
            if (ErrorCode == WRITE_OK)
                SendDoneFrames();
            else
                SendFailedFrame();
        }
        ChannelClose(*Device);
        if (ErrorCode == WRITE_OK && ConfirmWithin.count() > 0) ConfirmVersion(ConfirmWithin);
    }
    ClearBlocks(Blocks);
    Plan.flashImage = {};
    ElapsedMs = Elapsed();
}

void TWriteThread::SyncLoadImage() {
    bool loaded = false;
    try {
        MainThread.Synchronize([this, &loaded] {
            loaded = Host.LoadFirmware(Blocks, ImageVersion);
            ImageSha256 = Host.LoadedImageSha256();
        });
    } catch (const std::exception&) {
        // An oversized payload raised by the loader is a failed load too.
    }
    // So is a hand-over closed by a shutdown before the image was loaded.
    if (!loaded) ErrorCode = WRITE_IMAGE_NOT_LOADED;
}

void TWriteThread::BuildFlashImage() {
    const TSectorMap map = SelectSectorMap(
        *Device, [this](LogLevel level, const std::string& body) { SendLogFmt(level, "%s", body.c_str()); });
    Plan = PlanFlash(map, Blocks);
    ErrorCode = Plan.errorCode;
}

bool TWriteThread::EraseSector(int32_t sector) {
    SendStepFmt(llNormal, " Стираем сектор %d...", sector);
    const TSectorInfo& info = Plan.map.table[sector];
    const auto frame = BuildEraseFrame(EraseCommand(), static_cast<uint16_t>(sector), info.offset);
    std::array<uint8_t, SECTOR_REPLY_SIZE> reply{};
    const TSectorExchange result =
        ExchangeSectorFrame(*Device, frame, static_cast<uint16_t>(sector), std::nullopt, reply);
    if (result.status) LastReplyCode = *result.status;
    if (result.result == TSectorResult::Protected) {
        NoteProtected(sector);
        SendStepFmt(llError, " Сектор защищен от стирания");
    }
    const bool ok = result.result != TSectorResult::Failed;
    SendStepFmt(ok ? llNormal : llError, " Стирание сектора %d: %s", sector, ok ? "OK" : "Ошибка!");
    return ok;
}

bool TWriteThread::WriteSector(int32_t sector) {
    SendStepFmt(llNormal, " Запись сектора %d:", sector);
    const TSectorInfo& info = Plan.map.table[sector];
    const int parts = static_cast<int>(info.size / FRAME_PART_SIZE);
    // One reply buffer for the whole sector: a failed part reports what the
    // last read left in it.
    std::array<uint8_t, SECTOR_REPLY_SIZE> reply{};
    bool ok = true;
    for (int part = 0; part < parts && ok; ++part) {
        SendStepFmt(llNormal, "\tЧасть %d из %d", part, parts);
        const uint32_t address = info.offset + static_cast<uint32_t>(part) * FRAME_PART_SIZE;
        const auto frame = BuildWriteFrame(
            WriteCommand(), static_cast<uint16_t>(sector), address,
            std::span<const uint8_t, FRAME_PART_SIZE>(Plan.flashImage.data() + address, FRAME_PART_SIZE));
        const TSectorExchange result =
            ExchangeSectorFrame(*Device, frame, static_cast<uint16_t>(sector), address, reply);
        if (result.status) LastReplyCode = *result.status;
        if (result.result == TSectorResult::Protected) {
            NoteProtected(sector);
            SendStepFmt(llError, " Сектор защищен от записи");
        }
        ok = result.result != TSectorResult::Failed;
        if (ok) {
            ++DoneUnits;
            SyncProgress();
        }
    }
    if (ok) {
        SendStepFmt(llNormal, " Сектор %d записан", sector);
    } else {
        const TFrameHeader h = ReadFrameHeader(reply);
        SendStepFmt(llError, " Ошибка при записи сектора %d (%d, %d, %d, %d, %d)", sector, h.length, h.headerSize,
                    h.command, h.param, static_cast<int32_t>(h.address));
    }
    return ok;
}

void TWriteThread::NoteProtected(int32_t sector) {
    if (sector == LastProtectedSector) return;
    LastProtectedSector = sector;
    ++SectorsProtected;
}

void TWriteThread::SendDoneFrames() {
    ExchangeDrained(*Device, CMD_FLASH_DONE);
    bool startApp = false;
    std::chrono::milliseconds confirm{0};
    MainThread.Synchronize([this, &startApp, &confirm] {
        startApp = Host.StartApp();
        confirm = Host.ConfirmTimeout();
    });
    if (startApp) {
        SendLogFmt(llNormal, "Отправлена команда запуска приложения");
        ExchangeDrained(*Device, CMD_START_APP);
        ConfirmWithin = confirm;
    }
}

void TWriteThread::ConfirmVersion(std::chrono::milliseconds timeout) {
    SendLogFmt(llNormal, "Проверяем версию запущенной прошивки");
    Confirmation = TConfirmation::NoAnswer;
    const uint32_t start = GetTickCount();
    const auto budget = static_cast<uint32_t>(timeout.count());
    // One byte more for the terminating zero.
    std::array<uint8_t, APP_VERSION_REPLY_SIZE + 1> buffer{};
    for (;;) {
        // The application may take a while to come up, on a new connection.
        if (ChannelOpen(*Device)) {
            const uint32_t left = budget - std::min(budget, TicksSince(start));
            const uint32_t received =
                ExchangeAppVersion(*Device, std::span(buffer.data(), APP_VERSION_REPLY_SIZE),
                                   std::max<uint32_t>(std::min(left, APP_VERSION_TIMEOUT_MS), 1), StopFlag());
            ChannelClose(*Device);
            TFirmwareVersion reported;
            if (received >= APP_VERSION_MIN_REPLY && reported.parse(DeviceText(buffer.data(), received)) &&
                reported.number != 0) {
                ReportedVersion = reported.formatVersion();
                Confirmation = ReportedVersion == ImageVersion.formatVersion() ? TConfirmation::Confirmed
                                                                               : TConfirmation::Mismatch;
                break;
            }
        }
        if (StopRequested() || TicksSince(start) >= budget) break;
        SleepMs(CONFIRM_RETRY_MS);
    }
    if (Confirmation == TConfirmation::Confirmed)
        SendLogFmt(llNormal, "Прибор сообщает версию прошивки %s", ReportedVersion.c_str());
    else
        ErrorCode = WRITE_NOT_CONFIRMED;
}

void TWriteThread::SendFailedFrame() { ExchangeDrained(*Device, CMD_FLASH_FAILED); }

void TWriteThread::SendLogFmt(LogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    SendLog(level, std::move(text));
}

void TWriteThread::SendStepFmt(LogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = ElapsedHead(Elapsed()) + FormatV(format, args);
    va_end(args);
    SendLog(level, std::move(text));
}

void TWriteThread::SendLog(LogLevel level, std::string text) {
    MsgText = std::move(text);
    MsgLevel = level;
    MainThread.Synchronize([this] { Host.LogDeviceText(MsgLevel, Device->serialNumber, MsgText); });
}

void TWriteThread::SyncProgress() {
    const int percent = Plan.totalUnits > 0 ? static_cast<int>(DoneUnits * 100.0 / Plan.totalUnits) : 0;
    MainThread.Synchronize([this, percent] {
        if (Device->panel) Device->panel->SetProgress(percent);
    });
}

}  // namespace zv
