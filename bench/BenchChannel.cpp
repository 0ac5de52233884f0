// The device channel's cost over its floor: a 526-byte write frame out and its
// 14-byte reply back, many times over each library, on zero-latency devices.
// The floor is the pauses the channel must make: one of 1 ms between each of
// the frame's nine chunks, and over FTDI the read's 1 ms before it takes the
// reply. It also reports how long the pauses it made really lasted.

#include <array>
#include <cstdio>

#include "BenchSupport.h"
#include "flashing/Frames.h"
#include "platform/Tick.h"
#include "transport/Channel.h"
#include "transport/DriverLibraries.h"

using namespace zv;

int main(int, char** argv) {
    bench::UseSimulatorLibraries(argv);
    bench::TBenchWorld world(R"({"devices": [
      {"serial": "7001", "library": "ftdi", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"},
      {"serial": "7002", "library": "om", "firmware": "ZVMB-3.2", "bootloader": "ZVMB-1.04"}]})");
    bench::BindSimulatorLibraries("bench-channel");
    constexpr int kRounds = 150;
    std::array<uint8_t, FRAME_PART_SIZE> part;
    part.fill(0xFF);
    const auto frame = BuildWriteFrame(CMD_WRITE_SECTOR_V2, 10, 0xA000, part);
    const uint32_t chunks = (FRAME_WRITE_LENGTH + CHANNEL_CHUNK_SIZE - 1) / CHANNEL_CHUNK_SIZE;

    double worst = 0;
    struct TCase {
        const char* name;
        const char* serial;
        int16_t index;
        int32_t transport;
        uint32_t readPauses;
    };
    for (const TCase& c : {TCase{"ftdi", "7001", -1, TRANSPORT_FTDI, 1}, TCase{"om", "7002", 0, TRANSPORT_OM, 0}}) {
        TDevEntry device(c.serial, c.index, c.transport);
        if (!ChannelOpen(device)) {
            std::fprintf(stderr, "bench-channel: cannot open the %s device\n", c.name);
            return 2;
        }
        std::vector<double> times;
        const TPauseTotals pausesBefore = PauseTotals();
        for (int i = 0; i < kRounds; ++i) {
            std::array<uint8_t, SECTOR_REPLY_SIZE> reply{};
            const auto start = std::chrono::steady_clock::now();
            const bool sent = ChannelWrite(device, frame.data(), FRAME_WRITE_LENGTH);
            const uint32_t received = ChannelRead(device, reply.data(), SECTOR_REPLY_SIZE, SECTOR_REPLY_TIMEOUT_MS);
            times.push_back(bench::Seconds(std::chrono::steady_clock::now() - start) * 1000);
            if (!sent || received != SECTOR_REPLY_SIZE) {
                std::fprintf(stderr, "bench-channel: %s exchange %d failed\n", c.name, i);
                return 1;
            }
        }
        ChannelClose(device);
        const TPauseTotals pausesAfter = PauseTotals();
        const uint64_t pauses = pausesAfter.count - pausesBefore.count;
        const double pauseMs = pauses ? (pausesAfter.elapsedNs - pausesBefore.elapsedNs) / 1e6 / pauses : 0;
        const double askedMs = pauses ? (pausesAfter.requestedNs - pausesBefore.requestedNs) / 1e6 / pauses : 0;
        const double floorMs = (chunks - 1) * CHANNEL_CHUNK_PAUSE_MS + c.readPauses * FTDI_POLL_MS;
        const double median = bench::Median(times);
        const double ratio = median / floorMs;
        worst = std::max(worst, ratio);
        std::printf(
            "%-4s frame+reply median %.3f ms  floor %.1f ms  ratio %.3f  (%d rounds) | %llu pauses, mean %.4f ms "
            "for %.1f ms asked\n",
            c.name, median, floorMs, ratio, kRounds, static_cast<unsigned long long>(pauses), pauseMs, askedMs);
    }
    std::printf("ratio=%.3f\n", worst);
    return 0;
}
