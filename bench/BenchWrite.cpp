// Writing the built-in image on zero-latency simulated devices: one device,
// then eight and 32 at once, over each library. The floor of a write is the pauses
// the protocol imposes on the frames it actually sent: 1 ms between the 64-byte
// chunks of each frame and, over FTDI, 1 ms before each reply is taken.

#include <cstdio>

#include "BenchSupport.h"
#include "core/LoaderCore.h"
#include "flashing/Frames.h"
#include "transport/Channel.h"
#include "transport/DriverLibraries.h"

using namespace zv;

namespace {

double CpuSeconds() { return ProcessCpuSeconds(); }

uint32_t Pauses(uint32_t frameLength) { return (frameLength + CHANNEL_CHUNK_SIZE - 1) / CHANNEL_CHUNK_SIZE - 1; }

struct TResult {
    double wallMs = 0;
    double floorMs = 0;
    double cpuPercentPerDevice = 0;
};

TResult WriteAtOnce(const char* library, int devices) {
    bench::TBenchWorld world(bench::DevicesJson(devices, [library](int) { return library; }));
    TEventQueue queue;
    bench::TNullView view;
    TLoaderCore core(queue, view, world.dir);
    core.StartDeviceSearch();
    queue.RunUntil([&] { return !core.Searching(); }, std::chrono::seconds(60));
    if (core.Devices().Count() != static_cast<size_t>(devices)) {
        std::fprintf(stderr, "bench-write: found %zu devices, expected %d\n", core.Devices().Count(), devices);
        std::exit(1);
    }
    double floorMs = 0;
    bool failed = false;
    core.SetWriteObserver([&](const TWriteThread& thread, const TWriteOutcome&) {
        if (thread.ErrorCode != WRITE_OK) {
            std::fprintf(stderr, "bench-write: %s, %d devices: device %d ended with code %d, last reply %d\n", library,
                         devices, thread.Device->serialNumber, thread.ErrorCode, thread.LastReplyCode);
            failed = true;
        }
        // What this run sent: an erase and the parts of every sector with
        // data, then the done frame; each frame's reply is read once.
        uint32_t parts = 0, frames = 1;
        for (int32_t s = thread.Plan.firstSector; s <= thread.Plan.lastSector; ++s)
            if (thread.Plan.SectorHasData(s)) {
                parts += thread.Plan.map.table[s].size / FRAME_PART_SIZE;
                frames += 1;
            }
        frames += parts;
        const double readPauses = thread.Device->transport == TRANSPORT_FTDI ? frames * FTDI_POLL_MS : 0;
        floorMs = std::max(floorMs, parts * Pauses(FRAME_WRITE_LENGTH) * 1.0 + readPauses);
    });
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (const TDevEntry* entry : core.Devices().Entries()) core.WriteButtonClick(entry->panel.get());
    queue.RunUntil([&] { return core.WritesRunning() == 0; }, std::chrono::seconds(300));
    const double wallMs = bench::Seconds(std::chrono::steady_clock::now() - start) * 1000;
    const double cpu = CpuSeconds() - cpuStart;
    if (failed) std::exit(1);  // each failure was named as it ended
    return {wallMs, floorMs, cpu / (wallMs / 1000) / devices * 100};
}

}  // namespace

int main(int, char** argv) {
    bench::UseSimulatorLibraries(argv);
    bench::BindSimulatorLibraries("bench-write");
    constexpr int kRuns = 3;
    double worstOne = 0, worstEight = 0, worstHub = 0, worstCpu = 0;
    for (const char* library : {"ftdi", "om"}) {
        std::vector<double> one, eight, hub, floors, cpu;
        for (int run = 0; run < kRuns; ++run) {
            const TResult single = WriteAtOnce(library, 1);
            const TResult many = WriteAtOnce(library, 8);
            const TResult full = WriteAtOnce(library, 32);
            one.push_back(single.wallMs);
            eight.push_back(many.wallMs);
            hub.push_back(full.wallMs);
            floors.push_back(single.floorMs);
            cpu.push_back(std::max({single.cpuPercentPerDevice, many.cpuPercentPerDevice, full.cpuPercentPerDevice}));
        }
        const double oneMs = bench::Median(one), eightMs = bench::Median(eight), hubMs = bench::Median(hub);
        const double floorMs = bench::Median(floors), cpuPercent = bench::Median(cpu);
        std::printf(
            "%-4s one device %.0f ms  floor %.0f ms  ratio %.3f | eight at once %.0f ms  ratio to one %.3f | "
            "32 at once %.0f ms  ratio to one %.3f | CPU %.1f %% of a core per device\n",
            library, oneMs, floorMs, oneMs / floorMs, eightMs, eightMs / oneMs, hubMs, hubMs / oneMs, cpuPercent);
        worstOne = std::max(worstOne, oneMs / floorMs);
        worstEight = std::max(worstEight, eightMs / oneMs);
        worstHub = std::max(worstHub, hubMs / oneMs);
        worstCpu = std::max(worstCpu, cpuPercent);
    }
    std::printf("one=%.3f eight=%.3f hub32=%.3f cpu=%.1f\n", worstOne, worstEight, worstHub, worstCpu);
    return 0;
}
