#pragma once
// The loader's core driven the way a front end drives it: a plain event-queue
// main thread, a recording window, and the real driver binding (the simulator's
// libraries, found through LD_LIBRARY_PATH as ctest sets it).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/LoaderCore.h"
#include "support/RecordingView.h"
#include "threading/EventQueue.h"
#include "transport/DriverLibraries.h"

namespace zv::testing_support {

class TLoaderHarness {
public:
    explicit TLoaderHarness(std::filesystem::path exeDir = std::filesystem::temp_directory_path())
        : core(queue, view, std::move(exeDir)) {
        std::string omName;
        const TBindingResult bound = BindDriverLibraries(omName);
        EXPECT_TRUE(bound.ftdiBound && bound.omBound) << "the simulator's libraries are not on LD_LIBRARY_PATH";
    }
    ~TLoaderHarness() { Shutdown(); }

    // One device search, served to its end.
    void Search(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        core.StartDeviceSearch();
        EXPECT_TRUE(queue.RunUntil([this] { return !core.Searching(); }, timeout)) << "search did not end";
    }

    void WaitForWrites(std::chrono::milliseconds timeout = std::chrono::seconds(120)) {
        EXPECT_TRUE(queue.RunUntil([this] { return core.WritesRunning() == 0; }, timeout)) << "writes did not end";
    }

    // The front ends' shutdown, served by this queue.
    void Shutdown() {
        core.Shutdown([this](TLoaderCore::TClock::time_point until) { queue.WaitAndProcess(until); });
    }

    // The registry's entries in joining order.
    std::vector<TDevEntry*> Devices() const { return core.Devices().Entries(); }

    // Log lines from `from` on, for word-for-word comparison.
    std::vector<std::string> Lines(size_t from = 0) const {
        return std::vector<std::string>(view.lines.begin() + static_cast<long>(std::min(from, view.lines.size())),
                                        view.lines.end());
    }

    TEventQueue queue;
    TRecordingView view;
    TLoaderCore core;
};

}  // namespace zv::testing_support
