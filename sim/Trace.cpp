#include "sim/Trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace zvsim {

TTrace::TTrace(const std::string& path) {
    if (path.empty()) return;
    fd = TFd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!fd) std::fprintf(stderr, "zvsim: cannot open trace file %s\n", path.c_str());
}

uint64_t MonotonicMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void TTrace::Event(std::string_view serial, std::string_view library, std::string_view event,
                   std::span<const uint8_t> bytes, uint32_t count) {
    if (!fd) return;
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
    [[maybe_unused]] const ssize_t written = ::write(fd.Get(), line.data(), line.size());
}

}  // namespace zvsim
