#include "shell/Main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

#include "core/CommandLine.h"
#include "core/IniFile.h"
#include "platform/Tick.h"
#include "platform/Version.h"
#include "shell/Controls.h"
#include "shell/DevGroup.h"
#include "shell/LogPane.h"
#include "shell/MainLayout.h"
#include "transport/DriverLibraries.h"

namespace zv {
namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TMainFormEnvironment TMainFormEnvironment::Standard(std::vector<std::string> arguments) {
    TMainFormEnvironment environment;
    environment.arguments = std::move(arguments);
    environment.bindDrivers = [] {
        std::string omName;
        return BindDriverLibraries(omName);
    };
    environment.prompt = [](const QString& text) {
        QMessageBox box(QMessageBox::Critical, MESSAGE_BOX_TITLE, text, QMessageBox::Ok);
        box.exec();
    };
    return environment;
}

QString RegisterWindowFonts() {
    static const QString family = [] {
        const int regular = QFontDatabase::addApplicationFont("/usr/share/wine/fonts/tahoma.ttf");
        QFontDatabase::addApplicationFont("/usr/share/wine/fonts/tahomabd.ttf");
        return regular >= 0 ? QString("Tahoma") : QString("DejaVu Sans");
    }();
    return family;
}

int TimerInterval(std::chrono::steady_clock::time_point until) {
    return static_cast<int>(std::min<int64_t>(MillisecondsUntil(until), INT32_MAX));
}

void ServeEventsUntil(std::chrono::steady_clock::time_point until) {
    // The timer's own event ends the wait at `until` if nothing else does.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(TimerInterval(until));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

TMainForm::TMainForm(TMainFormEnvironment environment, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)) {
    setObjectName("TMainForm");
    setWindowTitle(WINDOW_CAPTION);
    BuildControls();

    core_ = std::make_unique<TLoaderCore>(mainThread_, *this, environment_.exeDir);
    ShowWriteCounters(0, 0);
    ConnectControls();
    const TCommandLine commandLine = ApplyCommandLine(environment_.arguments);
    core_->SetExternFirmware(commandLine.externFirmware);
    if (!commandLine.firmwareFile.empty()) edFWFile->setEditText(FromUtf8(commandLine.firmwareFile));

    DevTimer->start();
    ListenForDeviceChanges();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::ConnectControls() {
    connect(btnFwOpen, &QPushButton::clicked, this, [this] { btnFwOpenClick(); });
    connect(btnFwLoad, &QPushButton::clicked, this, [this] { btnFwLoadClick(); });
    connect(edFWFile, &QComboBox::editTextChanged, this,
            [this](const QString& text) { core_->SetFirmwareFile(text.toStdString()); });
    connect(cbAutoWrite, &QCheckBox::toggled, this, [this](bool on) { core_->Options().autoWrite = on; });
    connect(cbWritelogToFile, &QCheckBox::toggled, this, [this](bool on) { core_->Options().writeLogToFile = on; });
    connect(cbStartApp, &QCheckBox::toggled, this, [this](bool on) { core_->Options().startApp = on; });
}

QSize TMainForm::FrameSize() const { return frameGeometry().size() - geometry().size(); }

void TMainForm::KeepMinimumOuterWidth() { setMinimumWidth(std::max(FORM_MIN_OUTER_WIDTH - FrameSize().width(), 0)); }

void TMainForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    KeepMinimumOuterWidth();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    KeepMinimumOuterWidth();
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    KeepMinimumOuterWidth();
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TMainForm::FormShow() {
    exeDir_ = environment_.exeDir;
    LoadSettings();
    // First, so that every run's log says which loader wrote it and where.
    core_->LogMessage(llNormal, "Загрузчик прошивки Zelvia, версия %s", LoaderVersion());
    core_->LogMessage(llNormal, "Файл настроек: %s", core_->Storage().settingsFile.string().c_str());
    core_->LogMessage(llNormal, "Папка журналов: %s", core_->LogFolder().string().c_str());
    btnFwLoadClick();
    edFWFile->view()->setMinimumWidth(FILE_LIST_WIDTH);

    const TBindingResult bound = environment_.bindDrivers ? environment_.bindDrivers() : TBindingResult{false, false};
    const TDriverReport drivers = ReportDrivers(bound);
    for (const std::string& message : drivers.messages) ReportError(FromUtf8(message));
    // Closing ends the run once this handler has returned.
    if (drivers.quit) QTimer::singleShot(0, this, [this] { close(); });

    if (!core_->ExternFirmware()) edFWFile->setEditText(QString());
    edFWFile->setVisible(core_->ExternFirmware());
    btnFwLoad->setVisible(core_->ExternFirmware());
    btnFwOpen->setVisible(core_->ExternFirmware());
}

void TMainForm::ReportError(const QString& text) {
    if (environment_.prompt) environment_.prompt(text);
}

void TMainForm::btnFwOpenClick() {
    QFileDialog* dialog = FileDialog();
    dialog->selectFile(edFWFile->currentText());
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
    edFWFile->setEditText(dialog->selectedFiles().first());
    btnFwLoad->click();
}

void TMainForm::btnFwLoadClick() {
    try {
        core_->btnFwLoadClick();
    } catch (const TFirmwareError& error) {
        // What the toolkit's general error box would show for it.
        ReportError(QString::fromUtf8(error.what()));
    }
}

std::unique_ptr<TDevicePanel> TMainForm::CreateDevicePanel(int position, const std::string& serialText,
                                                           const std::string& firmwareText,
                                                           const std::string& bootloaderText) {
    return std::make_unique<TFWLoaderDevGroup>(DevPanel, DEVICE_PANEL_TOP_STEP * position, serialText, firmwareText,
                                               bootloaderText);
}

void TMainForm::AppendLogLine(LogLevel level, const std::string& line) { logPane_->Append(level, FromUtf8(line)); }

void TMainForm::FlushLogPane() { logPane_->Flush(); }

void TMainForm::ShowDeviceCount(int count) {
    // So the scroll box around the device area can reach every panel.
    DevPanel->setMinimumHeight(count == 0 ? DEVICE_AREA_MIN_HEIGHT : DEVICE_PANEL_PITCH * count);
}

void TMainForm::ShowFirmwareInfo(const std::string& version, const std::string& date, const std::string& sha256) {
    SetRightJustified(lblFileVer, FromUtf8(version));
    lblFirmwDate->setText(FromUtf8(date));
    lblFirmwDate->adjustSize();
    lblFileSha->setText(sha256.empty() ? QString() : "SHA-256 " + FromUtf8(sha256.substr(0, SHA_DIGITS_SHOWN)));
    lblFileSha->setToolTip(FromUtf8(sha256));
    lblFileSha->adjustSize();
}

void TMainForm::ShowWriteCounters(int written, int failed) {
    lblCounters->setText(QString("Прошито: %1   Ошибок: %2").arg(written).arg(failed));
}

void TMainForm::FileHistoryChanged() {
    // Rebuilding the list must not change the file box's text.
    const QString text = edFWFile->currentText();
    const QSignalBlocker blocker(edFWFile);
    edFWFile->clear();
    for (const std::string& item : core_->FileHistory()) edFWFile->addItem(FromUtf8(item));
    edFWFile->setEditText(text);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!core_->ShuttingDown()) {
        DevTimer->stop();
        // Nothing new may start while the running workers wind down.
        setEnabled(false);
        // The last end handler closes the window again; at the deadline the
        // workers still running are left.
        core_->BeginShutdown([this] { close(); });
        if (core_->WorkersRunning()) ShutdownTimer->start(TimerInterval(core_->ShutdownDeadline()));
    }
    if (core_->WorkersRunning()) {
        // Their hand-overs and end handlers need this thread's event loop.
        event->ignore();
        return;
    }
    ShutdownTimer->stop();
    event->accept();
}

void TMainForm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    delete endpointNotifier_;
    endpointNotifier_ = nullptr;
    delete deviceNotifier_;
    deviceNotifier_ = nullptr;
    try {
        SaveSettings();
    } catch (const TIniWriteError& error) {
        // Reported, but the channels are still closed and the entries freed.
        ReportError(QString::fromUtf8(error.what()));
    }
    DevTimer->stop();
    ShutdownTimer->stop();
    core_->Shutdown(ServeEventsUntil);
}

}  // namespace zv
