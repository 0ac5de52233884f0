#pragma once
// One device's panel in the device area: serial number, firmware and
// bootloader versions, a status line, the write button and a progress bar.
// Panels stack from the top of the device area in the order devices joined.

#include <string>

#include "devices/DevicePanel.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace zv {

class TAnchors;

// Panel height in the area is 90 plus a margin of 3 above and below.
constexpr int DEV_GROUP_HEIGHT = 90;
// Height of one device panel in the device area, margins included, and of
// the empty area.
constexpr int DEVICE_PANEL_PITCH = 96;
constexpr int DEVICE_AREA_MIN_HEIGHT = 90;
// The top position a new panel is given per entry in the registry.
constexpr int DEVICE_PANEL_TOP_STEP = 80;
// The bootloader column sits this far from the area's right edge, never left of
// BOOT_COLUMN_MIN_X.
constexpr int BOOT_COLUMN_FROM_RIGHT = 235;
constexpr int BOOT_COLUMN_MIN_X = 423;

class TFWLoaderDevGroup : public TDevicePanel {
public:
    // Appends the panel to `devPanel`'s stack; `top` is the registry's
    // position for it, which the stack order already gives.
    TFWLoaderDevGroup(QWidget* devPanel, int top, const std::string& serialText, const std::string& firmwareText,
                      const std::string& bootloaderText);
    ~TFWLoaderDevGroup() override;
    TFWLoaderDevGroup(const TFWLoaderDevGroup&) = delete;
    TFWLoaderDevGroup& operator=(const TFWLoaderDevGroup&) = delete;

    void SetStatus(const std::string& text, LogLevel style) override;
    void SetWriteEnabled(bool enabled) override;
    void SetProgress(int percent) override;
    void SetWriteHandler(std::function<void()> handler) override;

    int top;
    QGroupBox* groupBox;
    QLabel* lblSerialCaption;
    QLabel* lblSerial;
    QLabel* lblDevVerCaption;
    QLabel* lblDevVer;
    QLabel* lblBootVerCaption;
    QLabel* lblBootVer;
    QLabel* lblMessage;
    QPushButton* btnWrite;
    QProgressBar* progressBar;

private:
    std::function<void()> writeHandler_;
};

}  // namespace zv
