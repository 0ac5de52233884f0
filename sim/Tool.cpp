// zvsim: plugs and unplugs the devices of a simulated world, shows their flash
// and lists them. The world is the one the libraries use: ZVSIM_SCENARIO and
// ZVSIM_WORLD.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/FlashLayout.h"
#include "sim/System.h"
#include "sim/WorldState.h"

using namespace zvsim;

namespace {

constexpr int EXIT_USAGE = 2;  // bad usage, unknown serial, missing or unreadable scenario

int Usage() {
    std::fprintf(stderr,
                 "usage: zvsim plug SERIAL | unplug SERIAL | flash SERIAL | list\n"
                 "  the world is described by $ZVSIM_SCENARIO and kept in $ZVSIM_WORLD\n");
    return EXIT_USAGE;
}

int List(const std::string& folder, const TScenario& scenario) {
    const TStateFile state = TransactState(folder, scenario);
    for (const TDeviceConfig& device : scenario.devices) {
        const TPersisted& persisted = state.devices.at(device.serial);
        std::printf("%s %s %s %s%s\n", device.serial.c_str(), LibraryName(device.library),
                    persisted.plugged ? "plugged" : "unplugged", ModeName(persisted.mode),
                    persisted.bootAfterReplug ? " bootloader-after-replug" : "");
    }
    return 0;
}

int Flash(const std::string& folder, const TDeviceConfig& device) {
    std::vector<uint8_t> flash;
    OpenFlashFile(folder, device, LayoutForProcessor(device.processor).FlashSize(), flash);
    if (std::fwrite(flash.data(), 1, flash.size(), stdout) != flash.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "zvsim: cannot write the flash to standard output\n");
        return 1;
    }
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    const bool takesSerial = command == "plug" || command == "unplug" || command == "flash";
    if (!(takesSerial || command == "list") || argc != (takesSerial ? 3 : 2)) return Usage();

    const char* scenarioPath = std::getenv("ZVSIM_SCENARIO");
    if (!scenarioPath || !*scenarioPath) {
        std::fprintf(stderr, "zvsim: ZVSIM_SCENARIO does not name a scenario file\n");
        return EXIT_USAGE;
    }
    TScenario scenario;
    try {
        scenario = LoadScenario(scenarioPath);
    } catch (const TScenarioError& e) {
        std::fprintf(stderr, "zvsim: %s\n", e.what());
        return EXIT_USAGE;
    }
    const std::string folder = WorldFolderFromEnv();
    EnsureFolder(folder);
    if (command == "list") return List(folder, scenario);

    const std::string serial = argv[2];
    const TDeviceConfig* device = scenario.Find(serial);
    if (!device) {
        std::fprintf(stderr, "zvsim: no device with serial \"%s\" in %s\n", serial.c_str(), scenarioPath);
        return EXIT_USAGE;
    }
    if (command == "flash") return Flash(folder, *device);
    TransactState(folder, scenario, [&](TStateFile& state) {
        return command == "plug" ? PlugDevice(state, serial) : UnplugDevice(state, serial);
    });
    // Tells a running loader that devices changed.
    PostToLoaderWindow("537 7 0\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    UseBinaryStandardOutput();
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zvsim: %s\n", e.what());
        return 1;
    }
}
