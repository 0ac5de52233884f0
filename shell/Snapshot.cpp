// Renders the loader's window, offscreen, once the simulated world it runs on
// shows one device written, one being written and one waiting for a replug,
// and saves it as a PNG: the picture a newcomer or a reviewer looks at.
//
//   usbfwsnapshot OUTPUT.png WORKDIR
//
// The simulator's libraries and world come from the environment, as for the
// loader itself. WORKDIR stands in for the executable's folder (settings, logs).

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>

#include <chrono>
#include <cstdio>

#include "shell/DevGroup.h"
#include "shell/Main.h"

namespace {

using namespace zv;

// One panel each: finished, halfway, and asking for a replug.
bool Composed(TLoaderCore& core) {
    bool written = false, writing = false, replug = false;
    for (const TDevEntry* entry : core.Devices().Entries()) {
        const auto* group = dynamic_cast<const TFWLoaderDevGroup*>(entry->panel.get());
        if (!group) continue;
        const QString status = group->lblMessage->text();
        written |= status == "Обновление прошивки завершено успешно";
        writing |= entry->writeThread && group->progressBar->value() >= 40;
        replug |= status == "Отключите прибор и подключите заново.";
    }
    return written && writing && replug;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: usbfwsnapshot OUTPUT.png WORKDIR\n");
        return 2;
    }
    TMainFormEnvironment environment = TMainFormEnvironment::Standard({});
    environment.exeDir = argv[2];
    environment.prompt = [](const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); };
    TMainForm form(std::move(environment));
    form.show();

    // Each state is reached through a hand-over, which wakes the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Composed(form.Core())) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "usbfwsnapshot: the devices did not reach the pictured states\n");
            return 1;
        }
        ServeEventsUntil(deadline);
    }
    form.FlushLogPane();
    QApplication::processEvents();
    const bool saved = form.grab().save(argv[1]);
    form.close();
    QApplication::processEvents();
    if (!saved) {
        std::fprintf(stderr, "usbfwsnapshot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", argv[1]);
    return 0;
}
