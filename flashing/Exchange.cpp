#include "flashing/Exchange.h"

#include <cstring>

#include "platform/Text.h"
#include "transport/Channel.h"

namespace zv {

std::string DeviceText(const uint8_t* bytes, size_t size) {
    const auto* end = static_cast<const uint8_t*>(std::memchr(bytes, 0, size));
    return Cp1251ToUtf8(std::string(reinterpret_cast<const char*>(bytes), end ? end - bytes : size));
}

uint32_t ExchangeAppVersion(TDevEntry& device, std::span<uint8_t> buffer, uint32_t timeoutMs,
                            const std::atomic<bool>* cancel) {
    ChannelWrite(device, reinterpret_cast<const uint8_t*>(APP_VERSION_COMMAND), sizeof APP_VERSION_COMMAND - 1);
    return ChannelRead(device, buffer.data(), static_cast<uint32_t>(buffer.size()), timeoutMs, cancel);
}

TIdentificationReply ExchangeIdentification(TDevEntry& device, uint16_t command, uint32_t timeoutMs,
                                            const std::atomic<bool>* cancel) {
    TIdentificationReply reply;
    std::array<uint8_t, REPLY_BUFFER_SIZE> buffer{};
    const auto frame = BuildQueryFrame(command);
    if (!ChannelWrite(device, frame.data(), static_cast<uint32_t>(frame.size()))) return reply;
    reply.sent = true;
    reply.received = ChannelRead(device, buffer.data(), REPLY_BUFFER_SIZE, timeoutMs, cancel);
    if (auto payload = AcceptIdentificationReply(std::span<const uint8_t>(buffer.data(), reply.received)))
        reply.payload.emplace(payload->begin(), payload->end());
    return reply;
}

TSectorExchange ExchangeSectorFrame(TDevEntry& device, std::span<const uint8_t> frame, uint16_t sector,
                                    std::optional<uint32_t> address,
                                    std::array<uint8_t, SECTOR_REPLY_SIZE>& replyBuffer) {
    for (uint32_t send = 0; send < SECTOR_REQUEST_SENDS; ++send) {
        if (!ChannelWrite(device, frame.data(), static_cast<uint32_t>(frame.size()))) continue;
        const uint32_t received = ChannelRead(device, replyBuffer.data(), SECTOR_REPLY_SIZE, SECTOR_REPLY_TIMEOUT_MS);
        const TSectorReplyCheck check =
            CheckSectorReply(std::span<const uint8_t>(replyBuffer.data(), received), sector, address);
        if (check.kind == TSectorReply::NoAnswer) continue;
        if (check.kind == TSectorReply::Mismatch) return {TSectorResult::Failed, std::nullopt};
        if (check.status == STATUS_OK) return {TSectorResult::Ok, check.status};
        if (check.status == STATUS_PROTECTED) return {TSectorResult::Protected, check.status};
        return {TSectorResult::Failed, check.status};
    }
    return {TSectorResult::Failed, std::nullopt};
}

void ExchangeDrained(TDevEntry& device, uint16_t command) {
    const auto frame = BuildQueryFrame(command);
    if (!ChannelWrite(device, frame.data(), static_cast<uint32_t>(frame.size()))) return;
    std::array<uint8_t, REPLY_BUFFER_SIZE> buffer;
    ChannelRead(device, buffer.data(), REPLY_BUFFER_SIZE, DRAIN_REPLY_TIMEOUT_MS);
}

}  // namespace zv
