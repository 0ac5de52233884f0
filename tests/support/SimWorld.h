#pragma once
// A simulated world of devices for one test, in a folder named after it, and
// the simulator's control tool run in it. Set up while no worker thread runs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "sim/ScratchWorld.h"
#include "support/Process.h"

namespace zv::testing_support {

inline std::string BuildDir() {
    const char* dir = std::getenv("ZV_BUILD_DIR");
    return dir ? dir : "";
}

inline std::string TestName() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "-" + info->name() : "x";
}

class TSimWorld : public zvsim::TScratchWorld {
public:
    explicit TSimWorld(const std::string& scenarioJson) : TScratchWorld(TestName(), scenarioJson) {}

    // Runs the control tool in this world; returns its exit code.
    int Tool(const std::string& arguments) const {
        std::vector<std::string> argv = {ProgramFile(BuildDir() + "/bin/zvsim")};
        std::istringstream words(arguments);
        for (std::string word; words >> word;) argv.push_back(word);
        return RunProgram(argv, {{"ZVSIM_SCENARIO=" + scenario.string(), "ZVSIM_WORLD=" + world.string()}, {}, {}})
            .code;
    }
    void Plug(const std::string& serial) const { EXPECT_EQ(Tool("plug " + serial), 0); }
    void Unplug(const std::string& serial) const { EXPECT_EQ(Tool("unplug " + serial), 0); }
};

}  // namespace zv::testing_support
