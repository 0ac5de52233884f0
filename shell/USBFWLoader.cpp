// The loader's process entry: one instance per user. A second start hands
// itself over to the running window and ends without showing anything.

#include <QApplication>
#include <QMessageBox>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/InstanceLock.h"
#include "platform/MessageEndpoint.h"
#include "platform/Runtime.h"
#include "shell/Main.h"

namespace {

bool HasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(name); value && *value) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zv;
    const std::filesystem::path runtime = RuntimeFolder();
    const auto instance = TInstanceLock::Acquire(runtime / INSTANCE_LOCK_NAME, std::chrono::milliseconds(50));
    if (!instance) {
        // Nobody listening (the first instance has no window yet) is fine.
        PostWindowMessages(runtime / WINDOW_ENDPOINT_NAME, {{WM_RESTORE_INSTANCE, 0, 0}, {WM_SETFOCUS, 0, 0}});
        return 0;
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "usbfwloader: no display; the window is drawn offscreen\n");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    QApplication application(argc, argv);
    // Qt has taken its own options out of argv; the rest is the command line.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        TMainFormEnvironment environment = TMainFormEnvironment::Standard(std::move(arguments));
        environment.exeDir = ExecutableFolder();
        environment.runtimeFolder = runtime;
        TMainForm form(std::move(environment));
        form.show();
        application.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromUtf8(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString());
    }
    return 0;
}
