// The main of suites that run against the simulator: the loader finds its
// driver libraries by bare name, so the simulator's come first on the path.

#include <gtest/gtest.h>

#include "sim/ScratchWorld.h"

int main(int argc, char** argv) {
    zvsim::UseSimulatorLibraries(ZV_SIM_DIR, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
