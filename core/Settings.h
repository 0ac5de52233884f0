#pragma once
// What the loader keeps between runs in "ZVFWLoader.ini" (core/Storage.h says
// where): window placement, log pane height, the three options, the last
// firmware file and the file history.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/IniFile.h"

namespace zv {

inline constexpr const char* SETTINGS_FILE_NAME = "ZVFWLoader.ini";

// The eight numbers of "COMMON"/"MainForm".
struct TWindowSettings {
    int left = 0, top = 0, width = 0, height = 0;
    bool autoWrite = false;
    int logHeight = 0;
    bool writeLogToFile = false;
    bool startApp = false;
};

// The values of a stored "MainForm" text that pass their tests; a field
// that fails its test, or was not converted, is empty. Nothing is applied
// when fewer than four numbers convert.
struct TStoredWindowSettings {
    std::optional<int> left, top, width, height;
    std::optional<bool> autoWrite;
    std::optional<int> logHeight;
    std::optional<bool> writeLogToFile, startApp;
};
TStoredWindowSettings ParseMainFormValue(const std::string& text, int desktopWidth, int desktopHeight);
std::string FormatMainFormValue(const TWindowSettings& settings);

struct TStoredSettings {
    std::string mainForm;              // still to be parsed
    std::vector<std::string> history;  // non-empty "FILES" values, in file order
    std::string lastFile;
};
TStoredSettings LoadStoredSettings(const TIniFile& file);

// Writes "MainForm", "LastFile" and one "FILES" key per history entry, in that
// order. Raises TIniWriteError at the first write that fails; later keys are
// not written.
void SaveStoredSettings(const TIniFile& file, const TWindowSettings& window, const std::string& lastFile,
                        const std::vector<std::string>& history);

}  // namespace zv
