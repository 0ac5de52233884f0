// One device search over 16 new simulated devices on zero-latency hardware:
// 8 in bootloader mode and 8 in application mode, half of each behind each
// library. The floor is what the protocol makes the search wait: the probe
// time-outs of the application-mode devices (100 ms over FTDI; the maker
// library's own 500 ms read time-out), plus the channel's 1 ms pauses before
// every FTDI read that gets an answer.

#include <cstdio>

#include "BenchSupport.h"
#include "core/LoaderCore.h"
#include "discovery/ReadVersion.h"
#include "flashing/Frames.h"
#include "transport/Channel.h"
#include "transport/DriverLibraries.h"

using namespace zv;

namespace {

constexpr int kPerKind = 4;  // devices per library and mode

std::string Scenario() {
    std::string devices;
    int serial = 8100;
    for (const char* library : {"ftdi", "om"})
        for (const char* mode : {"bootloader", "application"})
            for (int i = 0; i < kPerKind; ++i) {
                if (!devices.empty()) devices += ",";
                devices +=
                    "{\"serial\": \"" + std::to_string(serial++) + "\", \"library\": \"" + library +
                    "\", \"mode\": \"" + mode +
                    "\", \"firmware\": \"ZVMB-3.2\", \"bootloader\": \"ZVMB-1.04 TR\", \"processor\": \"0x26013F37\"}";
            }
    return "{\"devices\": [" + devices + "]}";
}

}  // namespace

int main(int, char** argv) {
    bench::UseSimulatorLibraries(argv);
    bench::BindSimulatorLibraries("bench-discovery");
    // FTDI: an unanswered probe waits out its 100 ms; each read that gets an
    // answer pauses 1 ms first (3 in bootloader mode, 2 in application mode).
    // The maker library's probe waits its own 500 ms read time-out.
    const double floorMs = kPerKind * (VERSION_REPLY_TIMEOUT_MS + FTDI_POLL_MS) + kPerKind * 3 * FTDI_POLL_MS +
                           kPerKind * 2 * FTDI_POLL_MS + kPerKind * OM_READ_TIMEOUT_MS;
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        bench::TBenchWorld world(Scenario());
        TEventQueue queue;
        bench::TNullView view;
        TLoaderCore core(queue, view, world.dir);
        const auto start = std::chrono::steady_clock::now();
        core.StartDeviceSearch();
        queue.RunUntil([&] { return !core.Searching(); }, std::chrono::seconds(120));
        const double ms = bench::Seconds(std::chrono::steady_clock::now() - start) * 1000;
        if (core.Devices().Count() != 4 * kPerKind) {
            std::fprintf(stderr, "bench-discovery: found %zu devices, expected %d\n", core.Devices().Count(),
                         4 * kPerKind);
            return 1;
        }
        times.push_back(ms);
        std::printf("run %d: %zu devices in %.1f ms\n", run + 1, core.Devices().Count(), ms);
    }
    const double median = bench::Median(times);
    std::printf("search median %.1f ms  floor %.1f ms\n", median, floorMs);
    std::printf("ratio=%.3f\n", median / floorMs);
    return 0;
}
