#pragma once
// The bootloader frames a device received, read back from the simulator's
// trace: every write call's bytes joined and cut at each frame's length.

#include <string>
#include <vector>

#include "flashing/Frames.h"
#include "support/TraceReader.h"

namespace zv::testing_support {

struct TSentFrame {
    TFrameHeader header;
    std::vector<uint8_t> bytes;
    uint64_t micros;  // when its last chunk went out
};

inline std::vector<TSentFrame> SentFrames(const std::filesystem::path& tracePath, const std::string& serial) {
    std::vector<uint8_t> stream;
    std::vector<uint64_t> times;
    for (const auto& event : zvsim::LoadTrace(tracePath)) {
        if (event.serial != serial || event.kind != "write") continue;
        stream.insert(stream.end(), event.bytes.begin(), event.bytes.end());
        times.insert(times.end(), event.bytes.size(), event.micros);
    }
    std::vector<TSentFrame> frames;
    size_t pos = 0;
    while (stream.size() - pos >= FRAME_HEADER_SIZE) {
        const TFrameHeader header = ReadFrameHeader(std::span<const uint8_t>(stream.data() + pos, FRAME_HEADER_SIZE));
        if (header.length < FRAME_HEADER_SIZE || stream.size() - pos < header.length) break;
        frames.push_back({header,
                          std::vector<uint8_t>(stream.begin() + static_cast<long>(pos),
                                               stream.begin() + static_cast<long>(pos + header.length)),
                          times[pos + header.length - 1]});
        pos += header.length;
    }
    return frames;
}

inline size_t CountEvents(const std::filesystem::path& tracePath, const std::string& serial, const std::string& kind) {
    size_t count = 0;
    for (const auto& event : zvsim::LoadTrace(tracePath)) count += event.serial == serial && event.kind == kind;
    return count;
}

}  // namespace zv::testing_support
