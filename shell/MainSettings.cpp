// The window and "ZVFWLoader.ini": placement, log pane height, the options and
// the file history, read at start and written at the end.

#include <QCheckBox>
#include <QComboBox>
#include <QLayout>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>

#include <algorithm>

#include "core/IniFile.h"
#include "core/Settings.h"
#include "core/Storage.h"
#include "shell/Main.h"
#include "shell/MainLayout.h"

namespace zv {

void TMainForm::LoadSettings() {
    const TIniFile file(core_->Storage().settingsFile);
    const TStoredSettings stored = LoadStoredSettings(file);
    core_->SetFileHistory(stored.history);
    FileHistoryChanged();
    if (edFWFile->currentText().isEmpty()) edFWFile->setEditText(QString::fromStdString(stored.lastFile));

    const QRect desktop = screen() ? screen()->virtualGeometry() : QRect(0, 0, 0, 0);
    const TStoredWindowSettings s = ParseMainFormValue(stored.mainForm, desktop.width(), desktop.height());
    if (s.left || s.top) move(s.left.value_or(x()), s.top.value_or(y()));
    // The stored sizes are outer sizes; the frame is the window system's.
    const QSize frame = FrameSize();
    if (s.width) resize(std::max(*s.width - frame.width(), minimumWidth()), height());
    if (s.height) resize(width(), std::max(*s.height - frame.height(), 0));
    if (s.autoWrite) cbAutoWrite->setChecked(*s.autoWrite);
    if (s.writeLogToFile) cbWritelogToFile->setChecked(*s.writeLogToFile);
    if (s.startApp) cbStartApp->setChecked(*s.startApp);
    SetLogPaneHeight(s.logHeight.value_or(LOG_PANE_HEIGHT));
}

void TMainForm::SetLogPaneHeight(int height) {
    layout()->activate();
    const int total = Splitter1->height();
    const int logHeight = std::clamp(height, 0, std::max(0, total - SPLITTER_HEIGHT));
    Splitter1->setSizes({total - SPLITTER_HEIGHT - logHeight, logHeight});
}

void TMainForm::SaveSettings() {
    // A minimized window saves its normal bounds; a maximized one its present ones.
    const QRect bounds = isMinimized() ? normalGeometry() : frameGeometry();
    TWindowSettings window;
    window.left = bounds.x();
    window.top = bounds.y();
    window.width = bounds.width();
    window.height = bounds.height();
    window.autoWrite = cbAutoWrite->isChecked();
    window.logHeight = reLog->height();
    window.writeLogToFile = cbWritelogToFile->isChecked();
    window.startApp = cbStartApp->isChecked();
    PrepareSettingsFolder(core_->Storage());
    SaveStoredSettings(TIniFile(core_->Storage().settingsFile), window, edFWFile->currentText().toStdString(),
                       core_->FileHistory());
}

}  // namespace zv
