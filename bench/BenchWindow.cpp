// The window under a full hub: the real window on the offscreen platform, the
// real binding and zero-latency simulated devices, with automatic writing and
// the log file on, as a user sets it. The built-in image is written into one
// device, then into N at once (32 unless named; half on each library).
//
//   bench-window [N]
//
// A lone device is written once on each library, since a write over FTDI
// takes longer than one over the maker's library; each of the N is compared
// with the lone device of its own library. For N at once also the main
// thread's CPU share while they write, and how late a 5 ms timer fires
// meanwhile (the event loop's latency, which a user feels as a sluggish
// window).

#include <QApplication>
#include <QTimer>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "BenchSupport.h"
#include "core/Settings.h"
#include "shell/Main.h"

using namespace zv;
using namespace std::chrono;

namespace {

constexpr milliseconds kProbeInterval{5};

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

struct TCaseResult {
    bench::TLibraryTimes writes;
    double mainCpuPercent = 0;
    double lateP50Ms = 0, lateP99Ms = 0;
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// `devices` at once, alternating between the libraries from `first` (HubJson).
TCaseResult WriteThroughWindow(int devices, int first) {
    bench::TBenchWorld world(bench::HubJson(devices, first));
    // Automatic writing and the log file on; the application is not started.
    std::ofstream(world.dir / SETTINGS_FILE_NAME, std::ios::binary)
        << "[COMMON]\r\nMainForm=10,10,700,500,1,165,1,0\r\n";

    TMainFormEnvironment environment;
    environment.exeDir = world.dir;
    environment.bindDrivers = [] {
        std::string omName;
        return BindDriverLibraries(omName);
    };
    environment.prompt = [](const QString& text) {
        std::fprintf(stderr, "bench-window: %s\n", text.toUtf8().constData());
        std::exit(1);
    };
    TMainForm form(std::move(environment));
    TLoaderCore& core = form.Core();
    TCaseResult result;
    int ended = 0;
    bool failed = false;
    core.SetWriteObserver([&](const TWriteThread& thread, const TWriteOutcome&) {
        failed |= thread.ErrorCode != WRITE_OK;
        result.writes.Add(thread.Device->transport == TRANSPORT_FTDI, thread.ElapsedMs);
        ++ended;
    });

    // Re-armed each time it fires: its lateness is the time the loop was busy.
    std::vector<double> lateMs;
    QTimer probe;
    probe.setSingleShot(true);
    probe.setTimerType(Qt::PreciseTimer);
    steady_clock::time_point probeDue;
    const auto armProbe = [&] {
        probeDue = steady_clock::now() + kProbeInterval;
        probe.start(kProbeInterval);
    };
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (core.WritesRunning() > 0) lateMs.push_back(bench::Seconds(steady_clock::now() - probeDue) * 1000);
        armProbe();
    });
    armProbe();

    form.show();
    const auto deadline = steady_clock::now() + seconds(300);
    bool started = false;
    double cpuStart = 0;
    steady_clock::time_point wallStart;
    while (ended < devices) {
        if (steady_clock::now() >= deadline) {
            std::fprintf(stderr, "bench-window: %d of %d writes ended in time\n", ended, devices);
            std::exit(1);
        }
        ServeEventsUntil(deadline);
        if (!started && core.WritesRunning() > 0) {
            started = true;
            cpuStart = ThreadCpuSeconds();
            wallStart = steady_clock::now();
        }
    }
    const double cpu = ThreadCpuSeconds() - cpuStart;
    const double wall = bench::Seconds(steady_clock::now() - wallStart);
    if (failed) {
        std::fprintf(stderr, "bench-window: a write failed\n");
        std::exit(1);
    }
    form.close();
    result.mainCpuPercent = cpu / wall * 100;
    result.lateP50Ms = Percentile(lateMs, 0.50);
    result.lateP99Ms = Percentile(lateMs, 0.99);
    return result;
}

// The offscreen platform says at every show that it keeps no size hints, and
// a benchmark needs no runtime folder.
QtMessageHandler standardHandler = nullptr;
void QuietOffscreenPlatform(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.contains("propagateSizeHints") && !message.contains("XDG_RUNTIME_DIR") && standardHandler)
        standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    const int devices = bench::HubSize(argc, argv, "bench-window");
    bench::UseSimulatorLibraries(argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    standardHandler = qInstallMessageHandler(QuietOffscreenPlatform);
    QApplication application(argc, argv);
    RegisterWindowFonts();

    const double ftdiAlone = WriteThroughWindow(1, 0).writes.ftdiMs.at(0);
    const double omAlone = WriteThroughWindow(1, 1).writes.omMs.at(0);
    std::printf("one device    write ftdi %.0f ms, om %.0f ms\n", ftdiAlone, omAlone);
    const TCaseResult many = WriteThroughWindow(devices, 0);
    const double ratio = bench::HubRatio(many.writes, ftdiAlone, omAlone);
    std::printf(
        "%d at once   write median ftdi %s, om %s  ratio to one %.3f | main thread %.1f %% of a core | "
        "loop late p50 %.2f ms p99 %.2f ms\n",
        devices, bench::Spread(many.writes.ftdiMs).c_str(), bench::Spread(many.writes.omMs).c_str(), ratio,
        many.mainCpuPercent, many.lateP50Ms, many.lateP99Ms);
    std::printf("ratio%d=%.3f main_cpu=%.1f latency_p99_ms=%.2f\n", devices, ratio, many.mainCpuPercent,
                many.lateP99Ms);
    return 0;
}
