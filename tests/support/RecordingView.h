#pragma once
// A window that only remembers what the core drew on it, for tests.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/LoaderView.h"

namespace zv::testing_support {

struct TPanelRecord {
    int position = 0;
    std::string serial, firmware, bootloader;
    std::string status = "Прибор подключен";
    LogLevel statusStyle = llNormal;
    bool writeEnabled = false;
    std::vector<int> progress;
    bool destroyed = false;
};

class TRecordingPanel : public TDevicePanel {
public:
    explicit TRecordingPanel(std::shared_ptr<TPanelRecord> record) : record_(std::move(record)) {}
    ~TRecordingPanel() override { record_->destroyed = true; }
    void SetStatus(const std::string& text, LogLevel style) override {
        record_->status = text;
        record_->statusStyle = style;
    }
    void SetWriteEnabled(bool enabled) override { record_->writeEnabled = enabled; }
    void SetProgress(int percent) override { record_->progress.push_back(percent); }
    void SetWriteHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    // A press of the write button, as the user would make it.
    void Click() {
        if (handler_) handler_();
    }

private:
    std::shared_ptr<TPanelRecord> record_;
    std::function<void()> handler_;
};

class TRecordingView : public TLoaderView {
public:
    std::unique_ptr<TDevicePanel> CreateDevicePanel(int position, const std::string& serial,
                                                    const std::string& firmware,
                                                    const std::string& bootloader) override {
        auto record = std::make_shared<TPanelRecord>();
        record->position = position;
        record->serial = serial;
        record->firmware = firmware;
        record->bootloader = bootloader;
        panels.push_back(record);
        auto panel = std::make_unique<TRecordingPanel>(record);
        livePanels.push_back(panel.get());
        return panel;
    }
    void AppendLogLine(LogLevel level, const std::string& line) override {
        lines.push_back(line);
        levels.push_back(level);
    }
    void ShowDeviceCount(int count) override { deviceCount = count; }
    void ShowFirmwareInfo(const std::string& version, const std::string& date, const std::string& sha256) override {
        firmwareVersion = version;
        firmwareDate = date;
        firmwareSha256 = sha256;
    }
    void ShowWriteCounters(int written, int failed) override { counters = {written, failed}; }
    void FileHistoryChanged() override { ++historyChanges; }

    // Panels whose devices are still shown, in creation order.
    std::vector<std::shared_ptr<TPanelRecord>> Shown() const {
        std::vector<std::shared_ptr<TPanelRecord>> shown;
        for (const auto& p : panels)
            if (!p->destroyed) shown.push_back(p);
        return shown;
    }

    std::vector<std::shared_ptr<TPanelRecord>> panels;
    std::vector<TRecordingPanel*> livePanels;  // not owned; valid while shown
    std::vector<std::string> lines;
    std::vector<LogLevel> levels;
    int deviceCount = -1;  // -1: never shown
    std::string firmwareVersion = "Неизвестна", firmwareDate = "Неизвестна", firmwareSha256;
    std::pair<int, int> counters{-1, -1};  // {-1, -1}: never shown
    int historyChanges = 0;
};

}  // namespace zv::testing_support
