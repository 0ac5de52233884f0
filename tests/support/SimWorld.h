#pragma once
// A simulated world of devices for one test: its scenario, its state folder and
// its trace, named to the simulator libraries through the environment. Set up
// while no worker thread runs.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zv::testing_support {

inline std::string BuildDir() {
    const char* dir = std::getenv("ZV_BUILD_DIR");
    return dir ? dir : "";
}

class TSimWorld {
public:
    explicit TSimWorld(const std::string& scenarioJson) {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("zvsim-" + std::string(info ? info->test_suite_name() : "x") + "-" + (info ? info->name() : "x") + "-" +
               std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "world");
        scenario = dir / "scenario.json";
        trace = dir / "trace.log";
        std::ofstream(scenario) << scenarioJson;
        setenv("ZVSIM_SCENARIO", scenario.c_str(), 1);
        setenv("ZVSIM_WORLD", (dir / "world").c_str(), 1);
        setenv("ZVSIM_TRACE", trace.c_str(), 1);
    }
    ~TSimWorld() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    std::vector<uint8_t> Flash(const std::string& serial) const {
        std::ifstream in(dir / "world" / (serial + ".flash"), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // Runs the control tool in this world; returns its exit code.
    int Tool(const std::string& arguments) const {
        const std::string command = "ZVSIM_SCENARIO=" + scenario.string() + " ZVSIM_WORLD=" + (dir / "world").string() +
                                    " " + BuildDir() + "/bin/zvsim " + arguments + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Plug(const std::string& serial) const { EXPECT_EQ(Tool("plug " + serial), 0); }
    void Unplug(const std::string& serial) const { EXPECT_EQ(Tool("unplug " + serial), 0); }

    std::filesystem::path dir, scenario, trace;

private:
    static inline int counter_ = 0;
};

}  // namespace zv::testing_support
