#pragma once
// Reads a simulator trace file (see sim/README.md) into events, for tests of
// any folder. Header-only on purpose: no need to link the simulator.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zvsim {

struct TTraceEvent {
    uint64_t micros = 0;  // CLOCK_MONOTONIC
    std::string serial;
    std::string library;  // "ftdi" or "om"
    std::string kind;     // open, close, refuse, write, read, purge, reset, hang
    uint32_t count = 0;
    std::vector<uint8_t> bytes;
};

inline std::vector<TTraceEvent> LoadTrace(const std::filesystem::path& path) {
    std::vector<TTraceEvent> events;
    std::ifstream in(path);
    std::string line;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        TTraceEvent event;
        std::string hex;
        if (!(fields >> event.micros >> event.serial >> event.library >> event.kind >> event.count >> hex)) continue;
        if (hex != "-")
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                event.bytes.push_back(static_cast<uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
        events.push_back(std::move(event));
    }
    return events;
}

}  // namespace zvsim
