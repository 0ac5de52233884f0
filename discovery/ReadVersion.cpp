#include "discovery/ReadVersion.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstring>

#include "flashing/Exchange.h"
#include "platform/Bytes.h"
#include "platform/Format.h"
#include "platform/Text.h"
#include "platform/Tick.h"
#include "transport/Channel.h"
#include "transport/DriverLibraries.h"

namespace zv {
namespace {

constexpr char kStartBootloaderCommand[] = "START_BOOT_LOADER";
constexpr char kStarted[] = "STARTED";
constexpr char kStartError[] = "START ERROR";
constexpr const char* kDriverError = "Ошибка в драйвере";

bool StartsWith(const uint8_t* reply, uint32_t received, std::string_view expected) {
    return received >= expected.size() && std::memcmp(reply, expected.data(), expected.size()) == 0;
}

}  // namespace

TReadVersion::TReadVersion(TSearchHost& host) : Host(host), MainThread(host.HandOver()) {}

void TReadVersion::Start(std::function<void()> onTerminate) {
    Run(
        MainThread, [this] { Execute(); }, std::move(onTerminate));
}

void TReadVersion::Execute() {
    ErrorCode = 0;
    LastReplyCode = 0;
    StartTick = GetTickCount();
    SearchDevices();
}

void TReadVersion::LogException(const std::exception& error) {
    SendLog(llError, 0, std::string("Исключение \"") + error.what() + "\" при поиске устройств");
}

void TReadVersion::SearchDevices() {
    try {
        ListFtdiDevices();
        ListOmDevices();
    } catch (const std::exception& error) {
        LogException(error);
    }
    // A stopped search is being shut down: its findings would be dropped, and
    // an interrupted listing must not mark known devices as gone.
    if (StopRequested()) {
        ElapsedMs = static_cast<int32_t>(TicksSince(StartTick));
        return;
    }

    // The registry is the main thread's: it compares what was listed there.
    try {
        if (!MainThread.Synchronize([this] { Host.CompareWithRegistry(NewDevices); })) {
            // Closed by a shutdown: nothing will take the findings over.
            ElapsedMs = static_cast<int32_t>(TicksSince(StartTick));
            return;
        }
    } catch (const std::exception& error) {
        LogException(error);
    }

    std::erase_if(NewDevices, [this](const auto& entry) {
        return std::find(LeaveAlone.begin(), LeaveAlone.end(), entry->Key()) != LeaveAlone.end();
    });
    try {
        for (const auto& entry : NewDevices) {
            if (StopRequested()) break;
            IdentifyDevice(*entry);
        }
    } catch (const std::exception& error) {
        LogException(error);
    }

    ElapsedMs = static_cast<int32_t>(TicksSince(StartTick));
}

void TReadVersion::ListFtdiDevices() {
    if (!FtdiLibrary.load(std::memory_order_acquire)) return;
    std::vector<ftdi::FT_DEVICE_LIST_INFO_NODE> nodes;
    bool complete = false;
    for (int attempt = 0; attempt < FTDI_LIST_ATTEMPTS && !complete; ++attempt) {
        if (attempt > 0) {
            if (StopRequested()) return;
            SleepMs(FTDI_LIST_RETRY_MS);
        }
        ftdi::DWORD count = 0;
        if (Ftdi.FT_CreateDeviceInfoList(&count) != ftdi::FT_OK) {
            SendLog(llError, 0, kDriverError);
            return;
        }
        if (count == 0) return;
        nodes.assign(count, ftdi::FT_DEVICE_LIST_INFO_NODE{});
        if (Ftdi.FT_GetDeviceInfoList(nodes.data(), &count) != ftdi::FT_OK) {
            SendLog(llError, 0, kDriverError);
            return;
        }
        // The driver may report fewer nodes than it counted a moment ago.
        nodes.resize(std::min<size_t>(count, nodes.size()));
        complete = std::none_of(nodes.begin(), nodes.end(), [](const auto& n) { return n.Description[0] == 0; });
    }
    if (!complete) return;
    for (const auto& node : nodes) {
        const std::string_view description(node.Description, strnlen(node.Description, sizeof node.Description));
        if (description != FTDI_PRODUCT_DESCRIPTION) continue;
        const std::string_view serial(node.SerialNumber, strnlen(node.SerialNumber, sizeof node.SerialNumber));
        NewDevices.push_back(std::make_unique<TDevEntry>(serial, int16_t{-1}, TRANSPORT_FTDI));
    }
}

void TReadVersion::ListOmDevices() {
    if (!OmLibrary.load(std::memory_order_acquire)) return;
    uint32_t count = OM_FIRST_LIST_COUNT;
    if (Om.OM_GetListDevices(OM_LIST_ALL_DEVICES, nullptr, &count) != OM_OK) {
        SendLog(llError, 0, kDriverError);
        return;
    }
    if (count == 0) return;
    const uint32_t allocated = count;
    std::vector<uint8_t> records(size_t{allocated} * OM_DEVICE_RECORD_SIZE);
    if (Om.OM_GetListDevices(OM_LIST_ALL_DEVICES, records.data(), &count) != OM_OK) {
        SendLog(llError, 0, kDriverError);
        return;
    }
    for (uint32_t i = 0; i < std::min(count, allocated); ++i) {
        const uint8_t* record = records.data() + size_t{i} * OM_DEVICE_RECORD_SIZE;
        const auto index = static_cast<int16_t>(ReadU16(record + OM_RECORD_INDEX_OFFSET));
        const auto* serial = reinterpret_cast<const char*>(record + OM_RECORD_SERIAL_OFFSET);
        NewDevices.push_back(std::make_unique<TDevEntry>(
            std::string_view(serial, strnlen(serial, OM_RECORD_SERIAL_SIZE)), index, TRANSPORT_OM));
    }
}

bool TReadVersion::IdentifyDevice(TDevEntry& entry) {
    if (!ChannelOpen(entry)) {
        ErrorCode = ErrDeviceOpen;
        Unanswered.push_back(entry.Key());
        return false;
    }
    if (ProbeBootloader(entry)) {
        entry.inBootloader = true;
    } else if (!ReadAppVersion(entry)) {
        ErrorCode = ErrNoIdentification;
        Unanswered.push_back(entry.Key());
    }
    // The code belongs to the whole search: after one failed device the
    // following ones are only probed.
    if (ErrorCode == 0) {
        if (entry.inBootloader)
            ReadBootloaderInfo(entry);
        else
            StartBootloader(entry);
    }
    ChannelClose(entry);
    return ErrorCode == 0;
}

bool TReadVersion::ProbeBootloader(TDevEntry& entry) {
    const TIdentificationReply reply =
        ExchangeIdentification(entry, CMD_READ_FW_VERSION, VERSION_REPLY_TIMEOUT_MS, StopFlag());
    if (!reply.payload) return false;
    entry.firmwareVersion.parse(DeviceText(reply.payload->data(), reply.payload->size()));
    return true;
}

bool TReadVersion::ReadAppVersion(TDevEntry& entry) {
    // Not cleared between attempts; one byte more for the terminating zero.
    std::array<uint8_t, APP_VERSION_REPLY_SIZE + 1> buffer{};
    for (int attempt = 0; attempt < APP_VERSION_ATTEMPTS; ++attempt) {
        if (StopRequested()) return false;
        const uint32_t received = ExchangeAppVersion(entry, std::span(buffer.data(), APP_VERSION_REPLY_SIZE),
                                                     APP_VERSION_TIMEOUT_MS, StopFlag());
        if (received < APP_VERSION_MIN_REPLY) continue;
        buffer[received] = 0;
        entry.firmwareVersion.parse(DeviceText(buffer.data(), received));
        if (entry.firmwareVersion.number != 0) return true;
    }
    return false;
}

bool TReadVersion::ReadBootloaderInfo(TDevEntry& entry) {
    bool result = false;
    const TIdentificationReply version =
        ExchangeIdentification(entry, CMD_READ_BOOT_VERSION, VERSION_REPLY_TIMEOUT_MS, StopFlag());
    if (version.payload) {
        entry.bootloaderVersion.parse(DeviceText(version.payload->data(), version.payload->size()));
        result = true;
    }
    const TIdentificationReply processor =
        ExchangeIdentification(entry, CMD_READ_PROCESSOR_ID, PROCESSOR_REPLY_TIMEOUT_MS, StopFlag());
    if (!processor.sent) return result;
    if (processor.received < FRAME_HEADER_SIZE)
        SendLog(llError, 0, "нет ответа на запрос идентификатора");
    else if (processor.payload)
        entry.processorId = PayloadProcessorId(*processor.payload);
    return result;
}

bool TReadVersion::StartBootloader(TDevEntry& entry) {
    if (entry.inBootloader) return true;
    const int32_t serial = entry.serialNumber;
    SendLog(llNormal, serial, "Отправляем команду запуска загрузчика");
    bool outcome = false;
    if (!ChannelWrite(entry, reinterpret_cast<const uint8_t*>(kStartBootloaderCommand),
                      sizeof kStartBootloaderCommand - 1)) {
        SendLog(llError, serial, "Ошибка драйвера.");
    } else {
        std::array<uint8_t, REPLY_BUFFER_SIZE + 1> reply{};
        const uint32_t received =
            ChannelRead(entry, reply.data(), REPLY_BUFFER_SIZE, BOOT_START_TIMEOUT_MS, StopFlag());
        if (received == 0) {
            SendLog(llError, serial, "Прибор не ответил на команду запуска загрузчика.");
        } else {
            reply[received] = 0;
            if (StartsWith(reply.data(), received, kStarted)) {
                SendLog(llNormal, serial, "Команда запуска загрузчика обработана. Переподключите устройство.");
                outcome = true;
            } else if (StartsWith(reply.data(), received, kStartError)) {
                SendLog(llError, serial, "Ошибка запуска загрузчика");
            } else {
                SendLogFmt(llError, serial, "Неизвестный ответ прибора: %s",
                           DeviceText(reply.data(), received).c_str());
            }
        }
    }
    entry.replugRequired = outcome;
    return outcome;
}

void TReadVersion::SendLog(LogLevel level, int32_t device, std::string text) {
    MsgLevel = level;
    MsgDevice = device;
    MsgText = std::move(text);
    MainThread.Synchronize([this] { SyncLog(); });
}

void TReadVersion::SendLogFmt(LogLevel level, int32_t device, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    SendLog(level, device, std::move(text));
}

void TReadVersion::SyncLog() { Host.LogDeviceText(MsgLevel, MsgDevice, MsgText); }

}  // namespace zv
