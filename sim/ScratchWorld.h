#pragma once
// For the programs that run against the simulator (tests, benchmarks): a world
// of simulated devices in a scratch folder of its own, and the simulator's
// libraries first on the search path. Header-only: nothing to link.

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zvsim {

// Names its scenario, world folder and trace to the libraries through the
// environment for as long as it lives. Make one while no thread calls them.
class TScratchWorld {
public:
    // `name` makes the folder's name readable; the process id and a count make
    // it unique. Without `trace`, nothing is traced.
    TScratchWorld(const std::string& name, const std::string& scenarioJson, bool trace = true) {
        static int count = 0;
        dir = std::filesystem::temp_directory_path() /
              ("zvsim-" + name + "-" + std::to_string(getpid()) + "-" + std::to_string(count++));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "world");
        scenario = dir / "scenario.json";
        world = dir / "world";
        std::ofstream(scenario) << scenarioJson;
        setenv("ZVSIM_SCENARIO", scenario.c_str(), 1);
        setenv("ZVSIM_WORLD", world.c_str(), 1);
        if (trace) {
            this->trace = dir / "trace.log";
            setenv("ZVSIM_TRACE", this->trace.c_str(), 1);
        } else {
            unsetenv("ZVSIM_TRACE");
        }
    }
    ~TScratchWorld() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    TScratchWorld(const TScratchWorld&) = delete;
    TScratchWorld& operator=(const TScratchWorld&) = delete;

    // The device's whole flash as the simulator keeps it.
    std::vector<uint8_t> Flash(const std::string& serial) const {
        std::ifstream in(world / (serial + ".flash"), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path dir, scenario, world, trace;
};

// The loader finds its driver libraries by bare file name, and the dynamic
// linker reads LD_LIBRARY_PATH only at start: puts `libraries` first on it and
// starts the program again, unless it is first already.
inline void UseSimulatorLibraries(const std::string& libraries, char** argv) {
    const char* current = std::getenv("LD_LIBRARY_PATH");
    if (current && std::string(current).rfind(libraries, 0) == 0) return;
    const std::string path = current && *current ? libraries + ":" + current : libraries;
    setenv("LD_LIBRARY_PATH", path.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    std::exit(2);
}

}  // namespace zvsim
