#pragma once
// The loader's window: the firmware file group, the device area and the log
// pane. It owns the core for the whole run, forwards its events to it and
// draws what the core reports; no registry or protocol decision lives here.

#include <QWidget>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/LoaderCore.h"
#include "core/LoaderView.h"
#include "platform/DeviceMonitor.h"
#include "platform/MessageEndpoint.h"
#include "shell/QtMainThread.h"
#include "transport/DriverLibraries.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSocketNotifier;
class QSplitter;
class QTimer;

namespace zv {

class TAnchors;
class TLogPane;

inline constexpr const char* WINDOW_CAPTION = "Обновление прошивки Zelvia";
inline constexpr const char* MESSAGE_BOX_TITLE = "Zelvia Firmware Loader";
// The pane keeps this many lines and drops the oldest; the log file gets all.
inline constexpr int LOG_PANE_MAX_LINES = 5000;
// Digits of the image's SHA-256 that the window shows.
inline constexpr int SHA_DIGITS_SHOWN = 12;
// Design sizes of the window's client area and of the log pane.
inline constexpr int FORM_CLIENT_WIDTH = 664;
// The window is never narrower than this, frame included, whatever frame the
// window system draws.
inline constexpr int FORM_MIN_OUTER_WIDTH = 680;
inline constexpr int FORM_CLIENT_HEIGHT = 456;
inline constexpr int LOG_PANE_HEIGHT = 165;

// What a run of the window depends on outside itself; tests replace parts.
struct TMainFormEnvironment {
    std::filesystem::path exeDir;
    std::vector<std::string> arguments;  // the command line, program name excluded
    // Binds the driver libraries (those not bound before) and says which are.
    std::function<TBindingResult()> bindDrivers;
    // A modal error box with the loader's title; tests record the text.
    std::function<void(const QString& text)> prompt;
    // Folder of the message endpoint; empty: no endpoint and no udev monitor.
    std::filesystem::path runtimeFolder;

    // The real libraries, message boxes, endpoint and udev.
    static TMainFormEnvironment Standard(std::vector<std::string> arguments);
};

class TMainForm : public QWidget, public TLoaderView {
public:
    explicit TMainForm(TMainFormEnvironment environment, QWidget* parent = nullptr);
    ~TMainForm() override;

    TLoaderCore& Core() { return *core_; }

    void FormShow();
    void FormDestroy();
    void DevTimerTimer();
    void WMDeviceChange(int64_t wParam);
    void WMRestoreInstance();
    // A message posted to the window's endpoint.
    void HandleWindowMessage(const TWindowMessage& message);

    void LoadSettings();
    void SaveSettings();
    void btnFwOpenClick();
    // The file dialog, made on first use.
    QFileDialog* FileDialog();
    void btnFwLoadClick();

    // TLoaderView
    std::unique_ptr<TDevicePanel> CreateDevicePanel(int position, const std::string& serialText,
                                                    const std::string& firmwareText,
                                                    const std::string& bootloaderText) override;
    void AppendLogLine(LogLevel level, const std::string& line) override;
    void ShowDeviceCount(int count) override;
    void ShowFirmwareInfo(const std::string& version, const std::string& date, const std::string& sha256) override;
    void ShowWriteCounters(int written, int failed) override;
    void FileHistoryChanged() override;
    // Draws the log lines still queued for the pane's next batch.
    void FlushLogPane();
    // The log pane's context menu: the pane's own items and the counters' reset.
    QMenu* LogPaneMenu(const QPoint& position);

    // Controls, named as the window's description names them.
    QGroupBox* GroupBox1;
    QLabel* Label5;
    QLabel* lblFirmwDate;
    QLabel* Label2;
    QLabel* lblFileVer;
    QLabel* lblFileSha;  // the image's SHA-256, its first digits; the whole in the tooltip
    QLabel* Label1;
    QComboBox* edFWFile;
    QPushButton* btnFwOpen;
    QPushButton* btnFwLoad;
    QCheckBox* cbAutoWrite;
    QCheckBox* cbWritelogToFile;
    QCheckBox* cbStartApp;
    QWidget* Panel1;
    QSplitter* Splitter1;
    QPlainTextEdit* reLog;
    QLabel* lblCounters;  // under the log: this run's written and failed devices
    QScrollArea* ScrollBox1;
    QWidget* DevPanel;
    QTimer* DevTimer;
    QFileDialog* OpenDialog1 = nullptr;  // made by FileDialog()
    // Fires once, at the shutdown deadline of a close that waits for workers.
    QTimer* ShutdownTimer;

    bool FExternFirmware() const { return core_->ExternFirmware(); }
    const std::filesystem::path& FExeDir() const { return exeDir_; }
    // True once closing has begun: workers are being stopped.
    bool ShuttingDown() const { return core_->ShuttingDown(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The frame is known, or changes, only once the window system has placed
    // the window: the minimum width is set again whenever it moves or resizes.
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void ConnectControls();
    void SetLogPaneHeight(int height);
    void KeepMinimumOuterWidth();
    // What the window system's frame adds to the client area.
    QSize FrameSize() const;
    void SetRightJustified(QLabel* label, const QString& text);
    void ReportError(const QString& text);
    void ListenForDeviceChanges();

    TMainFormEnvironment environment_;
    std::filesystem::path exeDir_;
    TQtMainThread mainThread_;
    std::unique_ptr<TLoaderCore> core_;
    TAnchors* groupAnchors_ = nullptr;
    TLogPane* logPane_ = nullptr;  // owned by reLog
    TMessageEndpoint endpoint_;
    TDeviceMonitor deviceMonitor_;
    QSocketNotifier* endpointNotifier_ = nullptr;
    QSocketNotifier* deviceNotifier_ = nullptr;
    bool shown_ = false;
    bool destroyed_ = false;
};

// Registers the Tahoma faces the layout is measured in; returns the family
// the window uses (DejaVu Sans when Tahoma is not installed).
QString RegisterWindowFonts();

// Serves the GUI thread's events until one has been served or `until` has
// passed: how the window waits for its workers.
void ServeEventsUntil(std::chrono::steady_clock::time_point until);

// A Qt timer's interval for a wait that ends at `until`, never before it.
int TimerInterval(std::chrono::steady_clock::time_point until);

}  // namespace zv
