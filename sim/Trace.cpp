#include "sim/Trace.h"

#include <chrono>
#include <cstdio>

namespace zvsim {

TTrace::TTrace(const std::string& path) {
    if (path.empty()) return;
    file = TFile::Open(path, TFile::TOpen::Append);
    if (!file) std::fprintf(stderr, "zvsim: cannot open trace file %s\n", path.c_str());
}

uint64_t MonotonicMicros() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void TTrace::Event(std::string_view serial, std::string_view library, std::string_view event,
                   std::span<const uint8_t> bytes, uint32_t count) {
    if (!file) return;
    if (!bytes.empty()) count = static_cast<uint32_t>(bytes.size());
    std::string line;
    line.reserve(64 + serial.size() + 2 * bytes.size());
    char head[48];
    std::snprintf(head, sizeof head, "%llu ", static_cast<unsigned long long>(MonotonicMicros()));
    line += head;
    line += serial;
    line += ' ';
    line += library;
    line += ' ';
    line += event;
    line += ' ';
    line += std::to_string(count);
    line += ' ';
    static constexpr char DIGITS[] = "0123456789abcdef";
    for (uint8_t byte : bytes) {
        line += DIGITS[byte >> 4];
        line += DIGITS[byte & 15];
    }
    if (bytes.empty()) line += '-';
    line += '\n';
    // One write per line keeps lines whole when several threads or processes append.
    file.Append(line);
}

}  // namespace zvsim
