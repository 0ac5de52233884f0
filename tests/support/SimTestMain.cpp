// The main of suites that run against the simulator: the loader finds its
// driver libraries by bare name and the dynamic linker reads LD_LIBRARY_PATH
// only at start, so put the simulator's folder first and start again.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const std::string sim = ZV_SIM_DIR;
    const char* current = std::getenv("LD_LIBRARY_PATH");
    if (!current || std::string(current).rfind(sim, 0) != 0) {
        const std::string path = current && *current ? sim + ":" + current : sim;
        setenv("LD_LIBRARY_PATH", path.c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
