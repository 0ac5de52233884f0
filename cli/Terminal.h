#pragma once
// The flasher's window: log lines on standard output and, on a terminal, a
// block of one line per device (progress bar and status) kept below them and
// redrawn in place.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/LoaderView.h"

namespace zv::cli {

// Characters (code points) of UTF-8 text: what a terminal column count needs
// for the loader's texts, which hold no wide or combining characters.
size_t TextColumns(std::string_view text);
// The longest prefix of at most `columns` characters, never cut inside one.
std::string FitColumns(std::string_view text, size_t columns);
// Pads with spaces on the right to `columns` characters.
std::string PadColumns(std::string_view text, size_t columns);
// "  5500250 [##########----------]  50% status"; the percentage is kept in
// 0..100 so a bar never outgrows its frame.
std::string ProgressLine(std::string_view serial, int percent, std::string_view status);

class TCliView;

class TCliPanel : public TDevicePanel {
public:
    TCliPanel(TCliView& view, std::string serial);
    ~TCliPanel() override;

    void SetStatus(const std::string& text, LogLevel style) override;
    void SetWriteEnabled(bool enabled) override;
    void SetProgress(int percent) override;
    // The flasher presses no buttons: it starts writes through the core.
    void SetWriteHandler(std::function<void()>) override {}

    const std::string& Serial() const { return serial_; }
    const std::string& Status() const { return status_; }
    LogLevel StatusLevel() const { return level_; }
    int Progress() const { return percent_; }

private:
    TCliView& view_;
    std::string serial_;
    std::string status_;
    LogLevel level_ = llNormal;
    int percent_ = 0;
};

class TCliView : public TLoaderView {
public:
    // `terminal`: draw the device block and colours on `out`.
    TCliView(FILE* out, bool terminal);

    // While diverted, log lines are kept instead of printed; TakeDiverted
    // hands them over and ends the diversion.
    void Divert() { diverting_ = true; }
    std::vector<std::pair<LogLevel, std::string>> TakeDiverted();
    // Prints a line as the log does.
    void PrintLogLine(LogLevel level, const std::string& line);
    // A line of the flasher's own (tables, summaries): printed, not filed.
    void PrintText(const std::string& text);
    // A line for another stream (standard error), kept clear of the block.
    void PrintTo(FILE* stream, const std::string& text);
    // The counters line: under the device block on a terminal, otherwise a
    // printed line whenever it changes.
    void ShowCounters(const std::string& text);
    // Leaves the block as last drawn and draws no more.
    void Freeze();
    // Error lines seen so far.
    int ErrorLines() const { return errorLines_; }

    std::unique_ptr<TDevicePanel> CreateDevicePanel(int position, const std::string& serialText,
                                                    const std::string& firmwareText,
                                                    const std::string& bootloaderText) override;
    void AppendLogLine(LogLevel level, const std::string& line) override;
    void ShowDeviceCount(int) override {}
    void ShowFirmwareInfo(const std::string&, const std::string&) override {}
    void FileHistoryChanged() override {}

    // From the panels.
    void PanelChanged();
    void PanelGone(const TCliPanel* panel);

private:
    void Erase();
    void Draw();
    void Emit(LogLevel level, const std::string& line);
    size_t Columns() const;

    FILE* out_;
    bool terminal_;
    bool frozen_ = false;
    bool diverting_ = false;
    int errorLines_ = 0;
    int drawn_ = 0;  // lines of the block on screen
    std::vector<std::pair<LogLevel, std::string>> diverted_;
    std::vector<const TCliPanel*> panels_;  // live, in creation order
    std::string counters_;
};

}  // namespace zv::cli
