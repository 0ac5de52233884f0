#pragma once
// What the benchmarks share: the simulator's libraries on the search path, a
// window that draws nothing, and medians.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/LoaderView.h"
#include "platform/Runtime.h"
#include "sim/ScratchWorld.h"
#include "threading/EventQueue.h"
#include "transport/DriverLibraries.h"

namespace zv::bench {

inline void UseSimulatorLibraries(char** argv) {
    zvsim::UseSimulatorLibraries((ExecutableFolder().parent_path() / "sim").string(), argv);
}

// A world for one run, untraced: tracing would be measured too.
class TBenchWorld : public zvsim::TScratchWorld {
public:
    explicit TBenchWorld(const std::string& scenarioJson) : TScratchWorld("bench", scenarioJson, false) {}
};

// Binds both driver libraries or ends the benchmark.
inline void BindSimulatorLibraries(const char* benchmark) {
    std::string omName;
    const TBindingResult bound = BindDriverLibraries(omName);
    if (bound.ftdiBound && bound.omBound) return;
    std::fprintf(stderr, "%s: the simulator's libraries could not be bound\n", benchmark);
    std::exit(2);
}

// A window that draws nothing: the benchmarks measure the core.
class TNullView : public TLoaderView {
public:
    class TNullPanel : public TDevicePanel {
    public:
        void SetStatus(const std::string&, LogLevel) override {}
        void SetWriteEnabled(bool) override {}
        void SetProgress(int) override {}
        void SetWriteHandler(std::function<void()>) override {}
    };
    std::unique_ptr<TDevicePanel> CreateDevicePanel(int, const std::string&, const std::string&,
                                                    const std::string&) override {
        return std::make_unique<TNullPanel>();
    }
    void AppendLogLine(LogLevel, const std::string&) override {}
    void ShowDeviceCount(int) override {}
    void ShowFirmwareInfo(const std::string&, const std::string&, const std::string&) override {}
    void ShowWriteCounters(int, int) override {}
    void FileHistoryChanged() override {}
};

// A scenario of `devices` zero-latency devices in their bootloader, serials
// from 9000, each on the library `libraryOf(i)` names ("ftdi" or "om").
template <typename LibraryOf>
std::string DevicesJson(int devices, LibraryOf libraryOf) {
    std::string list;
    for (int i = 0; i < devices; ++i)
        list += std::string(i ? "," : "") + "{\"serial\": \"" + std::to_string(9000 + i) + "\", \"library\": \"" +
                libraryOf(i) +
                "\", \"firmware\": \"ZVMB-3.1\", \"bootloader\": \"ZVMB-1.04\", \"processor\": \"0x26013F37\"}";
    return "{\"devices\": [" + list + "]}";
}

// A hub of `devices`, alternating between the libraries from FTDI (`first` 0)
// or from the maker's library (1).
inline std::string HubJson(int devices, int first) {
    return DevicesJson(devices, [first](int i) { return (i + first) % 2 ? "om" : "ftdi"; });
}

// The number of devices written at once: the first argument, 32 without one.
inline int HubSize(int argc, char** argv, const char* benchmark) {
    const int devices = argc > 1 ? std::atoi(argv[1]) : 32;
    if (devices >= 2) return devices;
    std::fprintf(stderr, "usage: %s [DEVICES, at least 2]\n", benchmark);
    std::exit(2);
}

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Write times per device of one case, by library: a write over FTDI takes
// longer than one over the maker's library.
struct TLibraryTimes {
    std::vector<double> ftdiMs, omMs;
    void Add(bool ftdi, double ms) { (ftdi ? ftdiMs : omMs).push_back(ms); }
};

// Each device of a hub against a lone device of its own library: the median
// of their ratios.
inline double HubRatio(const TLibraryTimes& hub, double ftdiAloneMs, double omAloneMs) {
    std::vector<double> ratios;
    for (double ms : hub.ftdiMs) ratios.push_back(ms / ftdiAloneMs);
    for (double ms : hub.omMs) ratios.push_back(ms / omAloneMs);
    return Median(ratios);
}

// "median ms (least to most)".
inline std::string Spread(const std::vector<double>& ms) {
    char text[96];
    std::snprintf(text, sizeof text, "%.0f ms (%.0f to %.0f)", Median(ms), *std::min_element(ms.begin(), ms.end()),
                  *std::max_element(ms.begin(), ms.end()));
    return text;
}

inline double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace zv::bench
