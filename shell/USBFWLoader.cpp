// The loader's process entry: one instance per user. A second start hands
// itself over to the running window and ends without showing anything.

#include <QApplication>
#include <QMessageBox>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "platform/InstanceLock.h"
#include "platform/MessageEndpoint.h"
#include "platform/Runtime.h"
#include "platform/Version.h"
#include "shell/Main.h"

namespace {

constexpr const char* kHelpText = R"(Usage: usbfwloader [externfirmware | FILE.eraw]
  or:  usbfwloader --help | --version

Writes firmware into the Zelvia GPS tracking devices plugged in by USB, in a
window: it finds every device through the FTDI D2XX library (libftd2xx.so) and
the maker's library (libzvusb.so), switches a device that runs its application
to its bootloader, checks that the image fits it, and rewrites its flash
sector by sector, several devices at once. One window runs per user; a second
start brings the running window to the front.

Arguments:
  externfirmware   write an image file chosen in the window instead of the
                   built-in image (also /ExternFirmware or -EXTERNFIRMWARE; the
                   word is matched without regard to case)
  FILE.eraw        the same, with this file chosen; a leading '-' is taken off
  --help           print this text and end
  --version        print the version and end

Files:
  ZVFWLoader.ini   settings: window placement, the options, the file history;
                   beside the program, or in an installed copy in
                   $XDG_CONFIG_HOME/usbfwloader/ (~/.config/usbfwloader/) unless
                   a ZVFWLoader.ini stands beside the program
  Logs/            while "Записывать лог в файл" is ticked, the log of each day
                   in YYYYMMDD.log (Windows-1251, CR LF) and its write records in
                   YYYYMMDD.jsonl; beside the program, or in an installed copy in
                   $XDG_STATE_HOME/usbfwloader/Logs/ (~/.local/state/...)
The window's first log lines give its version and both places.

Without a display the window is drawn on Qt's offscreen platform.
)";

bool HasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(name); value && *value) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zv;
    // Answered before the single-instance hand-over, which would otherwise
    // bring a running window to the front instead.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kHelpText, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("usbfwloader %s\n", LoaderVersion());
            return 0;
        }
    }
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
