#pragma once
// The fixture of the fault tests: a device with faults, and the hung calls
// that its trace shows.

#include <fstream>
#include <sstream>
#include <thread>

#include "SimHarness.h"

namespace zvsim::test {

class Faults : public TSimTest {
protected:
    // A bootloader device with the given faults, opened with a short read time-out.
    FT_HANDLE Device(const std::string& faults) {
        OneDevice(R"("firmware": "ZVOM-3.2", "faults": )" + faults);
        FT_HANDLE h = OpenFtdi();
        Ftdi().FT_SetTimeouts(h, 60, 60);
        return h;
    }

    // Waits up to 2 s for the trace to show `hangs` hung calls of the device.
    bool WaitForHangs(size_t hangs, const std::string& serial = "5500250") const {
        for (const auto until = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < until;) {
            std::ifstream in(dir / "trace.log");
            size_t seen = 0;
            for (std::string line; std::getline(in, line);) {
                std::string micros, device, library, kind;
                std::istringstream(line) >> micros >> device >> library >> kind;
                seen += device == serial && kind == "hang";
            }
            if (seen >= hangs) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    template <typename TCall>
    static std::chrono::milliseconds Took(TCall call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
};

}  // namespace zvsim::test
