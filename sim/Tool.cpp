// zvsim: plugs and unplugs the devices of a simulated world, shows their flash
// and lists them. The world is the one the libraries use: ZVSIM_SCENARIO and
// ZVSIM_WORLD.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/FlashLayout.h"
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

std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::string(runtime) + "/usbfwloader";
    return "/tmp/usbfwloader-" + std::to_string(::getuid());
}

// Tells a running loader that devices changed. Nobody listening is not an error.
void PostDeviceChange() {
    const std::string path = RuntimeFolder() + "/TMainForm";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    TFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd || ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
    static constexpr char MESSAGE[] = "537 7 0\n";
    [[maybe_unused]] const ssize_t sent = ::send(fd.Get(), MESSAGE, sizeof MESSAGE - 1, MSG_NOSIGNAL);
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
    PostDeviceChange();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zvsim: %s\n", e.what());
        return 1;
    }
}
