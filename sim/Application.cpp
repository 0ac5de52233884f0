// The application side of a device: it answers FL_READ_VERSION$ and
// START_BOOT_LOADER wherever they occur in its input, and nothing else.

#include <algorithm>

#include "sim/Bytes.h"
#include "sim/Device.h"

namespace zvsim {

namespace {

constexpr std::string_view READ_VERSION = "FL_READ_VERSION$";
constexpr std::string_view START_BOOT_LOADER = "START_BOOT_LOADER";
constexpr std::string_view STARTED = "STARTED";
// The tail of the input that is kept, so that a command split over writes is still found.
constexpr size_t TEXT_INPUT_KEPT = 256;

// The device starts its bootloader when it answers STARTED, line ends or spaces after it included.
bool AcceptsStart(const std::optional<std::string>& reply) {
    if (!reply || !reply->starts_with(STARTED)) return false;
    return reply->find_first_not_of(" \t\r\n", STARTED.size()) == std::string::npos;
}

}  // namespace

void TSimDevice::FeedText(std::string_view bytes, TClock::time_point now) {
    textInput.append(bytes);
    size_t from = 0;
    for (;;) {
        const size_t version = textInput.find(READ_VERSION, from);
        const size_t start = textInput.find(START_BOOT_LOADER, from);
        if (version == std::string::npos && start == std::string::npos) break;
        const bool isVersion = version < start;
        from = isVersion ? version + READ_VERSION.size() : start + START_BOOT_LOADER.size();
        std::optional<std::string> reply = config.startReply;
        if (isVersion) {
            // A confirmed write's version takes the place of the scenario's reply, a given versionReply included.
            reply = WrittenFirmware();
            if (!reply) reply = config.versionReply;
        }
        if (!isVersion && AcceptsStart(reply) && !store->Current(config.serial).bootAfterReplug)
            store->Change(config.serial, [](TPersisted& state) { state.bootAfterReplug = true; });
        if (reply && !reply->empty()) {
            const auto text = TextBytes(*reply);
            Reply({text.begin(), text.end()}, {.text = true, .command = std::nullopt}, config.timing.textMs, now);
        }
    }
    textInput.erase(0, std::max(from, textInput.size() > TEXT_INPUT_KEPT ? textInput.size() - TEXT_INPUT_KEPT : 0));
}

}  // namespace zvsim
