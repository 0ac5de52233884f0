// The flasher under a full hub: `usbfwflash write` on a pseudo-terminal, so
// that it draws its progress block as it does for a person, with its log
// files and report on, writing the built-in image into one zero-latency
// device on each library, then into N at once (32 unless named; half on each
// library), each compared with the lone device of its own library. The write
// times per device come from its report.
//
//   bench-flash [N]

#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "BenchSupport.h"

using namespace zv;

namespace {

// User and system time in `usage`.
double CpuSeconds(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TCaseResult {
    bench::TLibraryTimes writes;
    double cpuPercent = 0;  // of a core, the flasher's whole process over its run
    double terminalKiB = 0;
};

// `devices` at once, alternating between the libraries from `first` (HubJson).
TCaseResult Flash(const std::filesystem::path& flasher, int devices, int first) {
    bench::TBenchWorld world(bench::HubJson(devices, first));
    const std::string report = (world.dir / "report.json").string();
    const std::string logs = (world.dir / "Logs").string();

    winsize size{};
    size.ws_row = 60;
    size.ws_col = 120;
    int terminal = -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = forkpty(&terminal, nullptr, nullptr, &size);
    if (child < 0) {
        std::perror("bench-flash: forkpty");
        std::exit(2);
    }
    if (child == 0) {
        setenv("TERM", "xterm", 1);
        execl(flasher.c_str(), "usbfwflash", "write", "--log-dir", logs.c_str(), "--report", report.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Read as a terminal would, so the flasher never waits on a full one.
    size_t drawn = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n > 0) {
            drawn += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the flasher has gone
        }
    }
    close(terminal);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double wall = bench::Seconds(std::chrono::steady_clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench-flash: usbfwflash on %d devices ended with status %d\n", devices, status);
        std::exit(1);
    }

    const nlohmann::json written = nlohmann::json::parse(std::ifstream(report));
    TCaseResult result;
    for (const auto& attempt : written["attempts"])
        result.writes.Add(attempt["library"] == "ftdi", attempt["elapsedMs"].get<double>());
    const size_t count = result.writes.ftdiMs.size() + result.writes.omMs.size();
    if (count != static_cast<size_t>(devices)) {
        std::fprintf(stderr, "bench-flash: %zu of %d devices written\n", count, devices);
        std::exit(1);
    }
    result.cpuPercent = CpuSeconds(usage) / wall * 100;
    result.terminalKiB = static_cast<double>(drawn) / 1024;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int devices = bench::HubSize(argc, argv, "bench-flash");
    bench::UseSimulatorLibraries(argv);
    const auto flasher = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "usbfwflash";

    const double ftdiAlone = Flash(flasher, 1, 0).writes.ftdiMs.at(0);
    const double omAlone = Flash(flasher, 1, 1).writes.omMs.at(0);
    std::printf("one device    write ftdi %.0f ms, om %.0f ms\n", ftdiAlone, omAlone);
    const TCaseResult many = Flash(flasher, devices, 0);
    const double ratio = bench::HubRatio(many.writes, ftdiAlone, omAlone);
    std::printf(
        "%d at once   write median ftdi %s, om %s  ratio to one %.3f | flasher %.1f %% of a core | terminal %.0f "
        "KiB\n",
        devices, bench::Spread(many.writes.ftdiMs).c_str(), bench::Spread(many.writes.omMs).c_str(), ratio,
        many.cpuPercent, many.terminalKiB);
    std::printf("ratio%d=%.3f cpu=%.1f\n", devices, ratio, many.cpuPercent);
    return 0;
}
