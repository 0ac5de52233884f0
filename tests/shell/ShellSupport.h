#pragma once
// A window of the loader made the way the process entry makes it, with its
// message boxes recorded instead of shown, and the event loop served by hand.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/TempDir.h"
#include "app/shell/Main.h"
#include "transport/DriverLibraries.h"

namespace zv::testing_support {

// Serves the event loop until `done()` holds or `timeout` passes.
template <typename Done>
bool ServeUntil(Done done, std::chrono::milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count()) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

inline void Serve(std::chrono::milliseconds duration) {
    ServeUntil([] { return false; }, duration);
}

class MainFormTest : public TempDirTest {
protected:
    // The simulator's libraries bound for real unless a library is to be missing.
    TMainFormEnvironment Environment(std::vector<std::string> arguments = {}, bool ftdi = true, bool om = true) {
        TMainFormEnvironment environment;
        environment.exeDir = dir;
        environment.arguments = std::move(arguments);
        environment.bindFtdi = [ftdi] {
            std::string omName;
            return ftdi && BindDriverLibraries(omName).ftdiBound;
        };
        environment.bindOm = [om] {
            std::string omName;
            return om && BindDriverLibraries(omName).omBound;
        };
        environment.prompt = [this](const QString& text) { prompts.push_back(text.toStdString()); };
        return environment;
    }

    std::unique_ptr<TMainForm> Show(TMainFormEnvironment environment) {
        auto form = std::make_unique<TMainForm>(std::move(environment));
        form->show();
        QCoreApplication::processEvents();
        return form;
    }
    std::unique_ptr<TMainForm> Show() { return Show(Environment()); }

    // The search the window starts by itself, served to its end, so that it
    // cannot redraw the device area in the middle of a test.
    static bool WaitForStartupSearch(TMainForm& form) {
        return ServeUntil([&] { return !form.DevTimer->isActive() && !form.Core().SearchThread; },
                          std::chrono::seconds(10));
    }

    void WriteSettings(const std::string& text) { std::ofstream(dir / "ZVFWLoader.ini", std::ios::binary) << text; }
    std::string ReadSettings() const {
        std::ifstream in(dir / "ZVFWLoader.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<std::string> prompts;
};

}  // namespace zv::testing_support
