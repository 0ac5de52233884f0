#include "core/Settings.h"

#include <cstdio>

#include "platform/Format.h"

namespace zv {
namespace {

constexpr const char* kCommon = "COMMON";
constexpr const char* kFiles = "FILES";
constexpr const char* kMainForm = "MainForm";
constexpr const char* kLastFile = "LastFile";
// A window must keep this much of itself on the desktop to be placed there.
constexpr int kDesktopMargin = 100;

}  // namespace

TStoredWindowSettings ParseMainFormValue(const std::string& text, int desktopWidth, int desktopHeight) {
    std::array<int, 8> v;
    v.fill(-1);
    const int converted =
        std::sscanf(text.c_str(), "%d,%d,%d,%d,%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
    TStoredWindowSettings s;
    if (converted < 4) return s;
    if (v[0] >= 0 && v[0] < desktopWidth - kDesktopMargin) s.left = v[0];
    if (v[1] >= 0 && v[1] < desktopHeight - kDesktopMargin) s.top = v[1];
    if (v[2] >= 0) s.width = v[2];
    if (v[3] >= 0) s.height = v[3];
    if (v[4] >= 0) s.autoWrite = v[4] != 0;
    if (v[5] >= 0) s.logHeight = v[5];
    if (v[6] >= 0) s.writeLogToFile = v[6] != 0;
    if (v[7] >= 0) s.startApp = v[7] != 0;
    return s;
}

std::string FormatMainFormValue(const TWindowSettings& s) {
    return Format("%d,%d,%d,%d,%d,%d,%d,%d", s.left, s.top, s.width, s.height, s.autoWrite ? 1 : 0, s.logHeight,
                  s.writeLogToFile ? 1 : 0, s.startApp ? 1 : 0);
}

TStoredSettings LoadStoredSettings(const TIniFile& file) {
    TStoredSettings stored;
    stored.mainForm = file.ReadString(kCommon, kMainForm, "");
    for (const std::string& key : file.ReadKeys(kFiles)) {
        std::string value = file.ReadString(kFiles, key, "");
        if (!value.empty()) stored.history.push_back(std::move(value));
    }
    stored.lastFile = file.ReadString(kCommon, kLastFile, "");
    return stored;
}

void SaveStoredSettings(const TIniFile& file, const TWindowSettings& window, const std::string& lastFile,
                        const std::vector<std::string>& history) {
    file.WriteString(kCommon, kMainForm, FormatMainFormValue(window));
    file.WriteString(kCommon, kLastFile, lastFile);
    for (size_t i = 0; i < history.size(); ++i) file.WriteString(kFiles, std::to_string(i), history[i]);
}

}  // namespace zv
