#pragma once
// The flasher's window: log lines on standard output and, on a terminal, a
// block of one line per device (progress bar and status) kept below them and
// redrawn in place. On a terminal, the lines and the block's changes are drawn
// together at most every REDRAW_INTERVAL, so that a hub of devices writing at
// once does not redraw the whole block for every line.

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
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

inline constexpr std::chrono::milliseconds REDRAW_INTERVAL{40};

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
    // From now on the first panel to go freezes the block with every panel
    // still in it: how the devices' last states stay on screen at the end.
    void FreezeWhenPanelsGo() { freezeWhenPanelsGo_ = true; }
    // When what is waiting to be drawn is due, if anything is.
    std::optional<std::chrono::steady_clock::time_point> RedrawDue() const { return redrawDue_; }
    // Draws what waits: the lines above the block, then the block.
    void Redraw();
    void RedrawIfDue();
    // Error lines seen so far.
    int ErrorLines() const { return errorLines_; }

    std::unique_ptr<TDevicePanel> CreateDevicePanel(int position, const std::string& serialText,
                                                    const std::string& firmwareText,
                                                    const std::string& bootloaderText) override;
    void AppendLogLine(LogLevel level, const std::string& line) override;
    void ShowDeviceCount(int) override {}
    void ShowFirmwareInfo(const std::string&, const std::string&, const std::string&) override {}
    // The flasher keeps counters of its own, retries and left writes included.
    void ShowWriteCounters(int, int) override {}
    void FileHistoryChanged() override {}

    // From the panels.
    void PanelChanged();
    void PanelGone(const TCliPanel* panel);

private:
    bool Live() const { return terminal_ && !frozen_; }
    void ScheduleRedraw();
    void Erase();
    void EmitWaiting();
    void Draw();
    void Emit(LogLevel level, const std::string& line);
    size_t Columns() const;

    FILE* out_;
    bool terminal_;
    bool frozen_ = false;
    bool diverting_ = false;
    bool freezeWhenPanelsGo_ = false;
    int errorLines_ = 0;
    int drawn_ = 0;  // lines of the block on screen
    std::vector<std::pair<LogLevel, std::string>> diverted_;
    std::vector<std::pair<LogLevel, std::string>> waiting_;  // lines not yet drawn
    std::optional<std::chrono::steady_clock::time_point> redrawDue_;
    std::vector<const TCliPanel*> panels_;  // live, in creation order
    std::string counters_;
};

}  // namespace zv::cli
