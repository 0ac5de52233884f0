#include "shell/DevGroup.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "shell/Anchors.h"
#include "shell/Controls.h"

namespace zv {

namespace {

constexpr int kMargin = 3;
constexpr int kProgressHeight = 20;
// Inside the frame the progress bar keeps clear of the group box's border.
constexpr int kFrameInset = 2;
// Caption labels 12 pt, value labels 10 pt, at 96 dots per inch.
constexpr int kCaptionPixels = 16;
constexpr int kValuePixels = 13;

// The panel's labels keep the height of the layout whatever their font.
QLabel* MakePanelLabel(QWidget* parent, const QString& text, int left, int top, int height, int pixels, bool bold) {
    QLabel* label = MakeLabel(parent, text, left, top, pixels, bold);
    label->resize(label->width(), height);
    return label;
}

}  // namespace

TFWLoaderDevGroup::TFWLoaderDevGroup(QWidget* devPanel, int top, const std::string& serialText,
                                     const std::string& firmwareText, const std::string& bootloaderText)
    : top(top) {
    const int areaWidth = devPanel->width();
    const int width = areaWidth - 2 * kMargin;
    groupBox = new QGroupBox(QString::fromStdString("Прибор" + serialText), devPanel);
    groupBox->setObjectName(QString::fromStdString("groupBox" + serialText));
    groupBox->setFixedHeight(DEV_GROUP_HEIGHT);
    groupBox->resize(width, DEV_GROUP_HEIGHT);

    const int bootX = std::max(areaWidth - BOOT_COLUMN_FROM_RIGHT, BOOT_COLUMN_MIN_X);
    lblSerialCaption = MakePanelLabel(groupBox, "Серийный номер:", 4, 16, 19, kCaptionPixels, false);
    lblSerial = MakePanelLabel(groupBox, QString::fromStdString(serialText), 138, 19, 16, kValuePixels, true);
    lblDevVerCaption = MakePanelLabel(groupBox, "Версия прошивки:", 209, 16, 19, kCaptionPixels, false);
    lblDevVer = MakePanelLabel(groupBox, QString::fromStdString(firmwareText), 347, 19, 16, kValuePixels, true);
    lblBootVerCaption = MakePanelLabel(groupBox, "Версия загрузчика:", bootX, 16, 19, kCaptionPixels, false);
    lblBootVer =
        MakePanelLabel(groupBox, QString::fromStdString(bootloaderText), bootX + 146, 19, 16, kValuePixels, true);

    progressBar = new QProgressBar(groupBox);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(true);
    const int barLeft = kMargin + kFrameInset;
    const int barWidth = width - 2 * barLeft;
    progressBar->setGeometry(barLeft, DEV_GROUP_HEIGHT - kMargin - kFrameInset - kProgressHeight, barWidth,
                             kProgressHeight);

    btnWrite = new QPushButton("Прошить", groupBox);
    btnWrite->setGeometry(barLeft + barWidth - 99, 37, 100, 25);
    btnWrite->setEnabled(false);
    QObject::connect(btnWrite, &QPushButton::clicked, [this] {
        if (writeHandler_) writeHandler_();
    });

    lblMessage = new QLabel("Прибор подключен", groupBox);
    lblMessage->setFont(PixelFont(groupBox, kCaptionPixels, true));
    lblMessage->setAlignment(Qt::AlignCenter);
    lblMessage->setGeometry(barLeft, 38, btnWrite->x() - 4 - barLeft, 20);

    auto* anchors = new TAnchors(groupBox);
    anchors->Right(lblBootVerCaption);
    anchors->Right(lblBootVer);
    anchors->Right(btnWrite);
    anchors->LeftRight(lblMessage);
    anchors->LeftRight(progressBar);

    // The stack ends in a stretch, so a new panel goes just above it.
    auto* stack = static_cast<QBoxLayout*>(devPanel->layout());
    stack->insertWidget(stack->count() - 1, groupBox);
}

TFWLoaderDevGroup::~TFWLoaderDevGroup() {
    // The group box owns every control of the panel; deleting it takes it out
    // of the device area's stack, and the panels below move up.
    delete groupBox;
}

void TFWLoaderDevGroup::SetStatus(const std::string& text, LogLevel style) {
    lblMessage->setText(QString::fromStdString(text));
    const QColor color = LevelColor(style);
    QPalette palette = groupBox->palette();  // the window's text colour unless the level has its own
    if (color.isValid()) palette.setColor(QPalette::WindowText, color);
    lblMessage->setPalette(palette);
}

void TFWLoaderDevGroup::SetWriteEnabled(bool enabled) { btnWrite->setEnabled(enabled); }

void TFWLoaderDevGroup::SetProgress(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == progressBar->value()) return;
    // A progress bar repaints itself at once whenever its text changes; with a
    // hub of devices writing, that is a paint per step. Left to the window's
    // next paint instead, which draws every bar that changed since.
    progressBar->setUpdatesEnabled(false);
    progressBar->setValue(percent);
    progressBar->setUpdatesEnabled(true);
}

void TFWLoaderDevGroup::SetWriteHandler(std::function<void()> handler) { writeHandler_ = std::move(handler); }

}  // namespace zv
