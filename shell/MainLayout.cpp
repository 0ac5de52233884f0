// The window's controls, placed in pixels as the layout was drawn, and the
// parts of it that move when a label's text changes.

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTimer>

#include "shell/Anchors.h"
#include "shell/Controls.h"
#include "shell/DevGroup.h"
#include "shell/LogPane.h"
#include "shell/Main.h"
#include "shell/MainLayout.h"

namespace zv {
namespace {

QCheckBox* MakeCheckBox(QWidget* parent, const QString& text, int left, int top, int width) {
    auto* box = new QCheckBox(text, parent);
    box->setFont(PixelFont(parent, 13));
    box->setGeometry(left, top, width, 17);
    return box;
}

}  // namespace

void TMainForm::BuildControls() {
    QFont windowFont(RegisterWindowFonts());
    windowFont.setPixelSize(11);
    setFont(windowFont);
    resize(FORM_CLIENT_WIDTH, FORM_CLIENT_HEIGHT);
    KeepMinimumOuterWidth();

    GroupBox1 = new QGroupBox("Файл прошивки", this);
    GroupBox1->setFixedHeight(GROUP_BOX_HEIGHT);
    GroupBox1->resize(FORM_CLIENT_WIDTH - 2 * GROUP_BOX_MARGIN, GROUP_BOX_HEIGHT);
    groupAnchors_ = new TAnchors(GroupBox1);

    Label5 = MakeLabel(GroupBox1, "Дата создания:", 8, 63, 16, false);
    lblFirmwDate = MakeLabel(GroupBox1, "Неизвестна", 132, 66, 13, true);
    Label2 = MakeLabel(GroupBox1, "Версия прошивки:", 413, 63, 16, false);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblFileVer = MakeLabel(GroupBox1, "Неизвестна", 571, 66, 13, true);
    lblFileVer->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lblFileSha = MakeLabel(GroupBox1, "", 290, 68, 11, false);
    lblFileSha->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    Splitter1->setHandleWidth(SPLITTER_HEIGHT);
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);

    ScrollBox1 = new QScrollArea;
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    DevPanel = new QWidget;
    DevPanel->setObjectName("DevPanel");
    DevPanel->setMinimumHeight(DEVICE_AREA_MIN_HEIGHT);
    auto* stack = new QVBoxLayout(DevPanel);
    stack->setContentsMargins(GROUP_BOX_MARGIN, GROUP_BOX_MARGIN, GROUP_BOX_MARGIN, GROUP_BOX_MARGIN);
    stack->setSpacing(2 * GROUP_BOX_MARGIN);
    stack->addStretch(1);
    ScrollBox1->setWidget(DevPanel);

    reLog = new QPlainTextEdit;
    reLog->setReadOnly(true);
    reLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    reLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reLog->setTabStopDistance(LOG_TAB_STOP);
    reLog->setFont(windowFont);
    logPane_ = new TLogPane(reLog, LOG_PANE_MAX_LINES);

    Splitter1->addWidget(ScrollBox1);
    Splitter1->addWidget(reLog);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes(
        {FORM_CLIENT_HEIGHT - GROUP_BOX_HEIGHT - 2 * GROUP_BOX_MARGIN - LOG_PANE_HEIGHT - SPLITTER_HEIGHT,
         LOG_PANE_HEIGHT});
    lblCounters = new QLabel;
    lblCounters->setFont(PixelFont(this, 12));
    lblCounters->setContentsMargins(GROUP_BOX_MARGIN, 1, GROUP_BOX_MARGIN, 1);
    reLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(reLog, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        QMenu* menu = LogPaneMenu(position);
        menu->exec(reLog->viewport()->mapToGlobal(position));
        delete menu;
    });

    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    panelLayout->addWidget(Splitter1, 1);
    panelLayout->addWidget(lblCounters);

    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(0, 0, 0, 0);
    formLayout->setSpacing(0);
    auto* groupRow = new QVBoxLayout;
    groupRow->setContentsMargins(GROUP_BOX_MARGIN, GROUP_BOX_MARGIN, GROUP_BOX_MARGIN, GROUP_BOX_MARGIN);
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
    DevTimer->setInterval(static_cast<int>(DEVICE_CHANGE_DELAY.count()));
    DevTimer->setSingleShot(true);
    // A coarse timer may fire a few milliseconds early; discovery must not.
    DevTimer->setTimerType(Qt::PreciseTimer);
    connect(DevTimer, &QTimer::timeout, this, [this] { DevTimerTimer(); });

    ShutdownTimer = new QTimer(this);
    ShutdownTimer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early: the workers get their whole time.
    ShutdownTimer->setTimerType(Qt::PreciseTimer);
    connect(ShutdownTimer, &QTimer::timeout, this, [this] {
        core_->LeaveRunningWorkers();
        close();
    });
}

QMenu* TMainForm::LogPaneMenu(const QPoint& position) {
    QMenu* menu = reLog->createStandardContextMenu(position);
    menu->addSeparator();
    QAction* reset = menu->addAction("Сбросить счётчики");
    connect(reset, &QAction::triggered, this, [this] { core_->ResetCounters(); });
    return menu;
}

QFileDialog* TMainForm::FileDialog() {
    // Made when first wanted: its file system model runs a thread of its own,
    // which a window that never opens a file does without.
    if (!OpenDialog1) {
        OpenDialog1 = new QFileDialog(this);
        OpenDialog1->setFileMode(QFileDialog::ExistingFile);
        OpenDialog1->setNameFilters({"Encode Raw binary (*.eraw)", "Raw binary (*.raw)", "Any files (*)"});
    }
    return OpenDialog1;
}

void TMainForm::SetRightJustified(QLabel* label, const QString& text) {
    const int right = label->x() + label->width();
    label->setText(text);
    label->adjustSize();
    label->move(right - label->width(), label->y());
    groupAnchors_->Update(label);
}

}  // namespace zv
