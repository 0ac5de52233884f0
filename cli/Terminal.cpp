#include "cli/Terminal.h"

#include <algorithm>

#include "platform/Console.h"
#include "platform/Format.h"

namespace zv::cli {
namespace {

constexpr int kBarWidth = 20;

const char* Colour(LogLevel level) {
    switch (level) {
        case llError: return "\x1b[31m";
        case llSuccess: return "\x1b[32m";
        case llNormal: break;
    }
    return "";
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

size_t TextColumns(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(c); }));
}

std::string FitColumns(std::string_view text, size_t columns) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsContinuation(text[i])) continue;
        if (seen++ == columns) return std::string(text.substr(0, i));
    }
    return std::string(text);
}

std::string PadColumns(std::string_view text, size_t columns) {
    std::string padded(text);
    const size_t used = TextColumns(text);
    if (used < columns) padded.append(columns - used, ' ');
    return padded;
}

std::string ProgressLine(std::string_view serial, int percent, std::string_view status) {
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '-');
    return Format("%9.*s [%s] %3d%% ", static_cast<int>(serial.size()), serial.data(), bar.c_str(), percent) +
           std::string(status);
}

TCliPanel::TCliPanel(TCliView& view, std::string serial) : view_(view), serial_(std::move(serial)) {}

TCliPanel::~TCliPanel() { view_.PanelGone(this); }

void TCliPanel::SetStatus(const std::string& text, LogLevel style) {
    status_ = text;
    level_ = style;
    view_.PanelChanged();
}

void TCliPanel::SetWriteEnabled(bool) {}

void TCliPanel::SetProgress(int percent) {
    if (percent == percent_) return;
    percent_ = percent;
    view_.PanelChanged();
}

TCliView::TCliView(FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

std::vector<std::pair<LogLevel, std::string>> TCliView::TakeDiverted() {
    diverting_ = false;
    return std::exchange(diverted_, {});
}

std::unique_ptr<TDevicePanel> TCliView::CreateDevicePanel(int, const std::string& serialText, const std::string&,
                                                          const std::string&) {
    auto panel = std::make_unique<TCliPanel>(*this, serialText);
    panels_.push_back(panel.get());
    PanelChanged();
    return panel;
}

void TCliView::AppendLogLine(LogLevel level, const std::string& line) {
    if (level == llError) ++errorLines_;
    if (diverting_) {
        diverted_.emplace_back(level, line);
    } else if (Live()) {
        waiting_.emplace_back(level, line);
        ScheduleRedraw();
    } else {
        PrintLogLine(level, line);
    }
}

void TCliView::PrintLogLine(LogLevel level, const std::string& line) {
    waiting_.emplace_back(level, line);
    Redraw();
}

void TCliView::PrintText(const std::string& text) { PrintLogLine(llNormal, text); }

void TCliView::PrintTo(FILE* stream, const std::string& text) {
    Erase();
    EmitWaiting();
    std::fflush(out_);
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
    Draw();
    std::fflush(out_);
}

void TCliView::ShowCounters(const std::string& text) {
    if (text == counters_) return;
    counters_ = text;
    if (Live()) {
        PanelChanged();
    } else {
        PrintText(text);
    }
}

void TCliView::Freeze() {
    if (Live()) Redraw();
    frozen_ = true;
    drawn_ = 0;
}

void TCliView::Redraw() {
    redrawDue_.reset();
    Erase();
    EmitWaiting();
    Draw();
    std::fflush(out_);
}

void TCliView::RedrawIfDue() {
    if (redrawDue_ && std::chrono::steady_clock::now() >= *redrawDue_) Redraw();
}

void TCliView::ScheduleRedraw() {
    if (!redrawDue_) redrawDue_ = std::chrono::steady_clock::now() + REDRAW_INTERVAL;
}

void TCliView::PanelChanged() {
    if (Live()) ScheduleRedraw();
}

void TCliView::PanelGone(const TCliPanel* panel) {
    if (freezeWhenPanelsGo_) Freeze();
    std::erase(panels_, panel);
    PanelChanged();
}

void TCliView::Erase() {
    if (!Live() || drawn_ == 0) return;
    // To the start of the block's first line, then clear everything below.
    std::fprintf(out_, "\x1b[%dF\x1b[J", drawn_);
    drawn_ = 0;
}

void TCliView::EmitWaiting() {
    for (const auto& [level, line] : waiting_) Emit(level, line);
    waiting_.clear();
}

void TCliView::Draw() {
    if (!Live()) return;
    // One column short of the width, so no line wraps and the count of lines
    // to go back up stays right.
    const size_t width = Columns() - 1;
    for (const TCliPanel* panel : panels_) {
        const std::string line = FitColumns(ProgressLine(panel->Serial(), panel->Progress(), panel->Status()), width);
        std::fprintf(out_, "%s%s\x1b[0m\n", Colour(panel->StatusLevel()), line.c_str());
        ++drawn_;
    }
    if (!counters_.empty()) {
        std::fprintf(out_, "%s\n", FitColumns(counters_, width).c_str());
        ++drawn_;
    }
}

void TCliView::Emit(LogLevel level, const std::string& line) {
    if (terminal_ && level != llNormal)
        std::fprintf(out_, "%s%s\x1b[0m\n", Colour(level), line.c_str());
    else
        std::fprintf(out_, "%s\n", line.c_str());
}

size_t TCliView::Columns() const {
    const int columns = TerminalColumns(out_);
    return columns > 1 ? static_cast<size_t>(columns) : 80;
}

}  // namespace zv::cli
