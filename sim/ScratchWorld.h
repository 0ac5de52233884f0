#pragma once
// For the programs that run against the simulator (tests, benchmarks): a world
// of simulated devices in a scratch folder of its own, and the simulator's
// libraries first on the search path. Links zvsim_system.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/System.h"

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
              ("zvsim-" + name + "-" + std::to_string(ProcessId()) + "-" + std::to_string(count++));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "world");
        scenario = dir / "scenario.json";
        world = dir / "world";
        std::ofstream(scenario) << scenarioJson;
        SetEnvironment("ZVSIM_SCENARIO", scenario.string());
        SetEnvironment("ZVSIM_WORLD", world.string());
        if (trace) {
            this->trace = dir / "trace.log";
            SetEnvironment("ZVSIM_TRACE", this->trace.string());
        } else {
            SetEnvironment("ZVSIM_TRACE", "");
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

// The loader finds its driver libraries by bare file name: puts `libraries`
// first where this program and its children look for them.
inline void UseSimulatorLibraries(const std::string& libraries, char** argv) { UseLibraryFolder(libraries, argv); }

}  // namespace zvsim
