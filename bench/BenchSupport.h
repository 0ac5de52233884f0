#pragma once
// What the benchmarks share: the simulator's libraries on the search path, a
// fresh simulated world per run, and medians.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/LoaderView.h"
#include "transport/DriverLibraries.h"

namespace zv::bench {

inline std::filesystem::path ExeDir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

// The loader finds its driver libraries by bare name, and the dynamic linker
// reads LD_LIBRARY_PATH only at start: put the simulator's folder first and
// start again if it is not there yet.
inline void UseSimulatorLibraries(char** argv) {
    const std::string sim = (ExeDir().parent_path() / "sim").string();
    const char* current = std::getenv("LD_LIBRARY_PATH");
    if (current && std::string(current).rfind(sim, 0) == 0) return;
    const std::string path = current && *current ? sim + ":" + current : sim;
    setenv("LD_LIBRARY_PATH", path.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    std::exit(2);
}

// A world of simulated devices in a folder of its own.
class TBenchWorld {
public:
    explicit TBenchWorld(const std::string& scenarioJson) {
        static int count = 0;
        dir = std::filesystem::temp_directory_path() /
              ("zv-bench-" + std::to_string(getpid()) + "-" + std::to_string(count++));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "world");
        std::ofstream(dir / "scenario.json") << scenarioJson;
        setenv("ZVSIM_SCENARIO", (dir / "scenario.json").c_str(), 1);
        setenv("ZVSIM_WORLD", (dir / "world").c_str(), 1);
        unsetenv("ZVSIM_TRACE");
    }
    ~TBenchWorld() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::filesystem::path dir;
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
    void SetDeviceAreaMinHeight(int) override {}
    void ShowFirmwareInfo(const std::string&, const std::string&) override {}
    void FileHistoryChanged() override {}
};

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace zv::bench
