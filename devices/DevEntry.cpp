#include "devices/DevEntry.h"

namespace zv {

const char* LibraryName(int32_t transport) { return transport == TRANSPORT_OM ? "om" : "ftdi"; }

std::optional<int32_t> ParseSerialNumber(std::string_view serial) {
    if (auto nul = serial.find('\0'); nul != std::string_view::npos) serial = serial.substr(0, nul);
    bool negative = false;
    if (!serial.empty() && (serial.front() == '+' || serial.front() == '-')) {
        negative = serial.front() == '-';
        serial.remove_prefix(1);
    }
    if (serial.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : serial) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}

TDevEntry::TDevEntry(std::string_view serial, int16_t deviceIndex_, int32_t transport_)
    : serialNumber(ParseSerialNumber(serial).value_or(-1)), deviceIndex(deviceIndex_), transport(transport_) {}

// The panel goes first: it takes its controls off the window while the entry
// it shows is still whole.
TDevEntry::~TDevEntry() { panel.reset(); }

}  // namespace zv
