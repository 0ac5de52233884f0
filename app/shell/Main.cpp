#include "app/shell/Main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QSplitter>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "app/CommandLine.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/shell/Anchors.h"
#include "app/shell/Controls.h"
#include "app/shell/DevGroup.h"
#include "transport/DriverLibraries.h"

namespace zv {

namespace {

constexpr int kDevTimerMs = 100;
constexpr int kGroupBoxMargin = 3;
constexpr int kGroupBoxHeight = 110;
constexpr int kSplitterHeight = 3;
constexpr int kDroppedWidth = 500;
// Room for "Прибор 5500250" before the message body.
constexpr int kLogTabStop = 92;

QCheckBox* MakeCheckBox(QWidget* parent, const QString& text, int left, int top, int width) {
    auto* box = new QCheckBox(text, parent);
    box->setFont(PixelFont(parent, 13));
    box->setGeometry(left, top, width, 17);
    return box;
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

TMainFormEnvironment TMainFormEnvironment::Standard(std::vector<std::string> arguments) {
    TMainFormEnvironment environment;
    environment.arguments = std::move(arguments);
    environment.bindFtdi = [] {
        std::string omName;
        return BindDriverLibraries(omName).ftdiBound;
    };
    environment.bindOm = [] {
        std::string omName;
        return BindDriverLibraries(omName).omBound;
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

TMainForm::TMainForm(TMainFormEnvironment environment, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)) {
    setObjectName("TMainForm");
    setWindowTitle(WINDOW_CAPTION);
    BuildControls();

    core_ = std::make_unique<TLoaderCore>(mainThread_, *this, environment_.exeDir);
    const TCommandLine commandLine = ApplyCommandLine(environment_.arguments);
    core_->FExternFirmware = commandLine.externFirmware;
    if (!commandLine.firmwareFile.empty()) edFWFile->setEditText(FromUtf8(commandLine.firmwareFile));

    DevTimer->start();
    ListenForDeviceChanges();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::BuildControls() {
    QFont windowFont(RegisterWindowFonts());
    windowFont.setPixelSize(11);
    setFont(windowFont);
    resize(FORM_CLIENT_WIDTH, FORM_CLIENT_HEIGHT);
    // 680 outer pixels on the desktop the layout was drawn for, less its frame.
    setMinimumWidth(FORM_CLIENT_WIDTH);

    GroupBox1 = new QGroupBox("Файл прошивки", this);
    GroupBox1->setFixedHeight(kGroupBoxHeight);
    GroupBox1->resize(FORM_CLIENT_WIDTH - 2 * kGroupBoxMargin, kGroupBoxHeight);
    groupAnchors_ = new TAnchors(GroupBox1);

    Label5 = MakeLabel(GroupBox1, "Дата создания:", 8, 63, 16, false);
    lblFirmwDate = MakeLabel(GroupBox1, "Неизвестна", 132, 66, 13, true);
    Label2 = MakeLabel(GroupBox1, "Версия прошивки:", 413, 63, 16, false);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblFileVer = MakeLabel(GroupBox1, "Неизвестна", 571, 66, 13, true);
    lblFileVer->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label1 = MakeLabel(GroupBox1, "Файл:", 8, 34, 16, false);

    edFWFile = new QComboBox(GroupBox1);
    edFWFile->setEditable(true);
    edFWFile->setCompleter(nullptr);
    edFWFile->setInsertPolicy(QComboBox::NoInsert);
    edFWFile->setGeometry(58, 36, 478, 21);
    btnFwOpen = new QPushButton("...", GroupBox1);
    btnFwOpen->setToolTip("Открыть файл прошивки");
    btnFwOpen->setGeometry(543, 34, 25, 25);
    btnFwLoad = new QPushButton("Прочитать", GroupBox1);
    btnFwLoad->setGeometry(573, 34, 75, 25);

    cbAutoWrite = MakeCheckBox(GroupBox1, "Прошивать автоматически", 8, 87, 209);
    cbWritelogToFile = MakeCheckBox(GroupBox1, "Записывать лог в файл", 420, 87, 219);
    cbStartApp = MakeCheckBox(GroupBox1, "Запускать приложение", 208, 87, 207);

    groupAnchors_->Right(Label2);
    groupAnchors_->Right(lblFileVer);
    groupAnchors_->LeftRight(edFWFile);
    groupAnchors_->Right(btnFwOpen);
    groupAnchors_->Right(btnFwLoad);
    groupAnchors_->Right(cbWritelogToFile);

    Panel1 = new QWidget(this);
    Splitter1 = new QSplitter(Qt::Vertical, Panel1);
    Splitter1->setHandleWidth(kSplitterHeight);
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);

    ScrollBox1 = new QScrollArea;
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    DevPanel = new QWidget;
    DevPanel->setObjectName("DevPanel");
    DevPanel->setMinimumHeight(DEVICE_AREA_MIN_HEIGHT);
    auto* stack = new QVBoxLayout(DevPanel);
    stack->setContentsMargins(kGroupBoxMargin, kGroupBoxMargin, kGroupBoxMargin, kGroupBoxMargin);
    stack->setSpacing(2 * kGroupBoxMargin);
    stack->addStretch(1);
    ScrollBox1->setWidget(DevPanel);

    reLog = new QPlainTextEdit;
    reLog->setReadOnly(true);
    reLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    reLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reLog->document()->setMaximumBlockCount(LOG_PANE_MAX_LINES);
    reLog->setTabStopDistance(kLogTabStop);
    reLog->setFont(windowFont);

    Splitter1->addWidget(ScrollBox1);
    Splitter1->addWidget(reLog);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({FORM_CLIENT_HEIGHT - kGroupBoxHeight - 2 * kGroupBoxMargin - LOG_PANE_HEIGHT - kSplitterHeight,
                         LOG_PANE_HEIGHT});
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(Splitter1);

    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(0, 0, 0, 0);
    formLayout->setSpacing(0);
    auto* groupRow = new QVBoxLayout;
    groupRow->setContentsMargins(kGroupBoxMargin, kGroupBoxMargin, kGroupBoxMargin, kGroupBoxMargin);
    groupRow->addWidget(GroupBox1);
    formLayout->addLayout(groupRow);
    formLayout->addWidget(Panel1, 1);

    setTabOrder(GroupBox1, Panel1);
    setTabOrder(edFWFile, btnFwOpen);
    setTabOrder(btnFwOpen, btnFwLoad);
    setTabOrder(btnFwLoad, cbAutoWrite);
    setTabOrder(cbAutoWrite, cbWritelogToFile);
    setTabOrder(cbWritelogToFile, cbStartApp);

    DevTimer = new QTimer(this);
    DevTimer->setInterval(kDevTimerMs);
    DevTimer->setSingleShot(true);
    // A coarse timer may fire a few milliseconds early; discovery must not.
    DevTimer->setTimerType(Qt::PreciseTimer);
    connect(DevTimer, &QTimer::timeout, this, [this] { DevTimerTimer(); });

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setNameFilters({"Encode Raw binary (*.eraw)", "Raw binary (*.raw)", "Any files (*)"});

    connect(btnFwOpen, &QPushButton::clicked, this, [this] { btnFwOpenClick(); });
    connect(btnFwLoad, &QPushButton::clicked, this, [this] { btnFwLoadClick(); });
    connect(edFWFile, &QComboBox::editTextChanged, this,
            [this](const QString& text) { core_->FirmwareFile = text.toStdString(); });
    connect(cbAutoWrite, &QCheckBox::toggled, this, [this](bool on) { core_->options.autoWrite = on; });
    connect(cbWritelogToFile, &QCheckBox::toggled, this, [this](bool on) { core_->options.writeLogToFile = on; });
    connect(cbStartApp, &QCheckBox::toggled, this, [this](bool on) { core_->options.startApp = on; });
}

void TMainForm::ListenForDeviceChanges() {
    if (environment_.runtimeFolder.empty()) return;
    if (endpoint_.Listen(environment_.runtimeFolder / WINDOW_ENDPOINT_NAME)) {
        endpointNotifier_ = new QSocketNotifier(endpoint_.Fd(), QSocketNotifier::Read, this);
        connect(endpointNotifier_, &QSocketNotifier::activated, this, [this] {
            endpoint_.Serve([this](const TWindowMessage& message) { HandleWindowMessage(message); });
        });
    }
    if (udev_.Open()) {
        udevNotifier_ = new QSocketNotifier(udev_.Fd(), QSocketNotifier::Read, this);
        connect(udevNotifier_, &QSocketNotifier::activated, this, [this] {
            if (udev_.Drain()) WMDeviceChange(DBT_DEVNODES_CHANGED);
        });
    }
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TMainForm::FormShow() {
    exeDir_ = environment_.exeDir;
    LoadSettings();
    btnFwLoadClick();
    edFWFile->view()->setMinimumWidth(kDroppedWidth);

    const bool ftdiBound = environment_.bindFtdi && environment_.bindFtdi();
    if (!ftdiBound) ReportError("Драйвер устройств FTDI не установлен.");
    const bool omBound = environment_.bindOm && environment_.bindOm();
    if (!omBound) ReportError("Драйвер устройств OM не установлен.");
    if (!ftdiBound && !omBound) {
        ReportError("Перед первым запуском программы подключите устройство к USB и установите драйвер.");
        // Closing ends the run once this handler has returned.
        QTimer::singleShot(0, this, [this] { close(); });
    }

    if (!core_->FExternFirmware) edFWFile->setEditText(QString());
    edFWFile->setVisible(core_->FExternFirmware);
    btnFwLoad->setVisible(core_->FExternFirmware);
    btnFwOpen->setVisible(core_->FExternFirmware);
}

void TMainForm::ReportError(const QString& text) {
    if (environment_.prompt) environment_.prompt(text);
}

void TMainForm::DevTimerTimer() {
    DevTimer->stop();
    if (!shuttingDown_) core_->StartDeviceSearch();
}

void TMainForm::WMDeviceChange(int64_t wParam) {
    if (wParam != DBT_DEVNODES_CHANGED || shuttingDown_) return;
    DevTimer->start();  // restarts: discovery runs 100 ms after the last change
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

void TMainForm::LoadSettings() {
    const TIniFile file(exeDir_ / SETTINGS_FILE_NAME);
    const TStoredSettings stored = LoadStoredSettings(file);
    core_->FileHistory = stored.history;
    FileHistoryChanged();
    if (edFWFile->currentText().isEmpty()) edFWFile->setEditText(FromUtf8(stored.lastFile));

    const QRect desktop = screen() ? screen()->virtualGeometry() : QRect(0, 0, 0, 0);
    const TStoredWindowSettings s = ParseMainFormValue(stored.mainForm, desktop.width(), desktop.height());
    if (s.left || s.top) move(s.left.value_or(x()), s.top.value_or(y()));
    // The stored sizes are outer sizes; the frame is the window system's.
    const QSize frame = frameGeometry().size() - geometry().size();
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
    const int logHeight = std::clamp(height, 0, std::max(0, total - kSplitterHeight));
    Splitter1->setSizes({total - kSplitterHeight - logHeight, logHeight});
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
    SaveStoredSettings(TIniFile(exeDir_ / SETTINGS_FILE_NAME), window, edFWFile->currentText().toStdString(),
                       core_->FileHistory);
}

void TMainForm::btnFwOpenClick() {
    OpenDialog1->selectFile(edFWFile->currentText());
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return;
    edFWFile->setEditText(OpenDialog1->selectedFiles().first());
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

std::unique_ptr<TDevicePanel> TMainForm::CreateDevicePanel(int top, const std::string& serialText,
                                                           const std::string& firmwareText,
                                                           const std::string& bootloaderText) {
    return std::make_unique<TFWLoaderDevGroup>(DevPanel, top, serialText, firmwareText, bootloaderText);
}

void TMainForm::AppendLogLine(LogLevel level, const std::string& line) {
    QTextCharFormat format;
    const QColor color = LevelColor(level);
    format.setForeground(color.isValid() ? color : reLog->palette().color(QPalette::Text));
    QTextCursor cursor(reLog->document());
    cursor.movePosition(QTextCursor::End);
    if (!reLog->document()->isEmpty()) cursor.insertBlock();
    cursor.insertText(FromUtf8(line), format);
    QScrollBar* bar = reLog->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TMainForm::SetDeviceAreaMinHeight(int pixels) { DevPanel->setMinimumHeight(pixels); }

void TMainForm::SetRightJustified(QLabel* label, const QString& text) {
    const int right = label->x() + label->width();
    label->setText(text);
    label->adjustSize();
    label->move(right - label->width(), label->y());
    groupAnchors_->Update(label);
}

void TMainForm::ShowFirmwareInfo(const std::string& version, const std::string& date) {
    SetRightJustified(lblFileVer, FromUtf8(version));
    lblFirmwDate->setText(FromUtf8(date));
    lblFirmwDate->adjustSize();
}

void TMainForm::FileHistoryChanged() {
    // Rebuilding the list must not change the file box's text.
    const QString text = edFWFile->currentText();
    const QSignalBlocker blocker(edFWFile);
    edFWFile->clear();
    for (const std::string& item : core_->FileHistory) edFWFile->addItem(FromUtf8(item));
    edFWFile->setEditText(text);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!shuttingDown_) {
        shuttingDown_ = true;
        DevTimer->stop();
        // Nothing new may start while the running workers wind down.
        setEnabled(false);
        core_->RequestStopAll();
    }
    if (core_->WorkersRunning()) {
        // Their hand-overs and end handlers need this thread's event loop.
        event->ignore();
        QTimer::singleShot(10, this, [this] { close(); });
        return;
    }
    event->accept();
}

void TMainForm::StopWorkers() {
    shuttingDown_ = true;
    DevTimer->stop();
    core_->RequestStopAll();
    while (core_->WorkersRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(2);
    }
}

void TMainForm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    delete endpointNotifier_;
    endpointNotifier_ = nullptr;
    delete udevNotifier_;
    udevNotifier_ = nullptr;
    try {
        SaveSettings();
    } catch (const TIniWriteError& error) {
        // Reported, but the channels are still closed and the entries freed.
        ReportError(QString::fromUtf8(error.what()));
    }
    StopWorkers();
    core_->CloseDevices();
}

}  // namespace zv
