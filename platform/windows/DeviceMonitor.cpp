#include "platform/DeviceMonitor.h"

#include <windows.h>

#include <dbt.h>

#include <atomic>
#include <future>
#include <thread>

namespace zv {
namespace {

// GUID_DEVINTERFACE_USB_DEVICE: every USB device, whichever driver it has.
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

}  // namespace

// The window lives on the monitor's thread, whose message loop receives the
// notifications; they set a flag and signal the event the caller waits on.
struct TDeviceMonitor::TState {
    HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> pending{false};
    std::thread thread;
    HWND window = nullptr;

    ~TState() {
        if (thread.joinable()) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            thread.join();
        }
        if (changed) CloseHandle(changed);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* state = reinterpret_cast<TState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && state &&
            (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)) {
            state->pending = true;
            SetEvent(state->changed);
            return TRUE;
        }
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void Run(std::promise<HWND>& created) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = DEVICE_MONITOR_WINDOW_CLASS;
        RegisterClassExW(&windowClass);  // fails harmlessly when registered already
        const HWND hwnd = CreateWindowExW(0, DEVICE_MONITOR_WINDOW_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          instance, nullptr);
        if (!hwnd) {
            created.set_value(nullptr);
            return;
        }
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kUsbDeviceInterface;
        const HDEVNOTIFY notify = RegisterDeviceNotificationW(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (!notify) {
            DestroyWindow(hwnd);
            created.set_value(nullptr);
            return;
        }
        created.set_value(hwnd);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        UnregisterDeviceNotification(notify);
    }
};

TDeviceMonitor::TDeviceMonitor() : state_(std::make_unique<TState>()) {}

TDeviceMonitor::~TDeviceMonitor() = default;

bool TDeviceMonitor::Open() {
    TState& s = *state_;
    if (s.window) return true;
    if (!s.changed) return false;
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    s.thread = std::thread([&s, &created] { s.Run(created); });
    s.window = window.get();
    if (!s.window) s.thread.join();
    return s.window != nullptr;
}

TWaitHandle TDeviceMonitor::WaitHandle() const { return state_->window ? state_->changed : NO_WAIT_HANDLE; }

bool TDeviceMonitor::Drain() {
    // Reset before taking the flag: a change noted after this signals again.
    ResetEvent(state_->changed);
    return state_->pending.exchange(false);
}

}  // namespace zv
