#pragma once
// A window of the loader made the way the process entry makes it, with its
// message boxes recorded instead of shown, and the event loop served by hand:
// the one fixture of the widget tests.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTimer>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "shell/Main.h"
#include "support/TempDir.h"
#include "transport/DriverLibraries.h"

namespace zv::testing_support {

// Serves the event loop until `done()` holds or `timeout` passes; `done` is
// looked at after every event, so it must change through one.
template <typename Done>
bool ServeUntil(Done done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ServeEventsUntil(deadline);
    }
    return true;
}

inline void Serve(std::chrono::milliseconds duration) {
    ServeUntil([] { return false; }, duration);
}

// The pane's text with the lines still queued for its next batch drawn.
inline QString PaneText(TMainForm& form) {
    form.FlushLogPane();
    return form.reLog->toPlainText();
}

class MainFormTest : public TempDirTest {
protected:
    // The simulator's libraries bound for real unless a library is to be missing.
    TMainFormEnvironment Environment(std::vector<std::string> arguments = {}, bool ftdi = true, bool om = true) {
        TMainFormEnvironment environment;
        environment.exeDir = dir;
        environment.arguments = std::move(arguments);
        environment.bindDrivers = [ftdi, om] {
            std::string omName;
            const TBindingResult bound = BindDriverLibraries(omName);
            return TBindingResult{ftdi && bound.ftdiBound, om && bound.omBound};
        };
        environment.prompt = [this](const QString& text) { prompts.push_back(text.toStdString()); };
        return environment;
    }

    // Shown, with the events of its showing served; its start-up search may
    // not have begun yet.
    std::unique_ptr<TMainForm> Show(TMainFormEnvironment environment) {
        auto form = std::make_unique<TMainForm>(std::move(environment));
        form->show();
        QCoreApplication::processEvents();
        return form;
    }
    std::unique_ptr<TMainForm> Show() { return Show(Environment()); }

    // Shown and settled: the search the window starts by itself has been
    // served to its end, so it cannot redraw the device area during a test.
    std::unique_ptr<TMainForm> ShowSettled(TMainFormEnvironment environment) {
        auto form = Show(std::move(environment));
        const bool settled = ServeUntil([&] { return !form->DevTimer->isActive() && !form->Core().Searching(); },
                                        std::chrono::seconds(20));
        EXPECT_TRUE(settled) << "the start-up search did not end";
        return form;
    }
    std::unique_ptr<TMainForm> ShowSettled() { return ShowSettled(Environment()); }

    void WriteSettings(const std::string& text) { std::ofstream(dir / "ZVFWLoader.ini", std::ios::binary) << text; }
    std::string ReadSettings() const {
        std::ifstream in(dir / "ZVFWLoader.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<std::string> prompts;
};

}  // namespace zv::testing_support
