// What reaches the window from outside: device-tree changes (udev and posted
// 537 messages), the discovery timer they arm, and the other window messages.

#include <QSocketNotifier>
#include <QTimer>

#include "shell/Main.h"

namespace zv {

void TMainForm::ListenForDeviceChanges() {
    if (environment_.runtimeFolder.empty()) return;
    if (endpoint_.Listen(environment_.runtimeFolder / WINDOW_ENDPOINT_NAME)) {
        endpointNotifier_ = new QSocketNotifier(endpoint_.WaitHandle(), QSocketNotifier::Read, this);
        connect(endpointNotifier_, &QSocketNotifier::activated, this,
                [this] { endpoint_.Serve([this](const TWindowMessage& message) { HandleWindowMessage(message); }); });
    }
    if (deviceMonitor_.Open()) {
        deviceNotifier_ = new QSocketNotifier(deviceMonitor_.WaitHandle(), QSocketNotifier::Read, this);
        connect(deviceNotifier_, &QSocketNotifier::activated, this, [this] {
            if (deviceMonitor_.Drain()) WMDeviceChange(DBT_DEVNODES_CHANGED);
        });
    }
}

void TMainForm::DevTimerTimer() {
    DevTimer->stop();
    core_->StartDeviceSearch();
}

void TMainForm::WMDeviceChange(int64_t wParam) {
    const auto due = core_->DeviceChanged(wParam);
    if (!due) return;
    DevTimer->start(TimerInterval(*due));
}

void TMainForm::WMRestoreInstance() {
    if (!isMinimized()) return;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    activateWindow();
}

void TMainForm::HandleWindowMessage(const TWindowMessage& message) {
    switch (message.msg) {
        case WM_DEVICECHANGE: WMDeviceChange(message.wParam); break;
        case WM_RESTORE_INSTANCE: WMRestoreInstance(); break;
        case WM_CLOSE: close(); break;
        // WM_SETFOCUS gives the focus back to the window's own control, which
        // Qt keeps anyway; it never raises the window.
        default: break;
    }
}

}  // namespace zv
