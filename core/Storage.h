#pragma once
// Where the loader keeps its settings file and its daily files: beside the
// executable when built from source, in the user's own folders when
// installed, since an installed copy may not write beside /usr/bin.

#include <filesystem>

namespace zv {

struct TStorage {
    std::filesystem::path settingsFile;  // "ZVFWLoader.ini"
    std::filesystem::path logFolder;     // "Logs": YYYYMMDD.log and YYYYMMDD.jsonl
};

// Beside `exeDir` unless `installed`; then configHome/usbfwloader/ZVFWLoader.ini
// and stateHome/usbfwloader/Logs. A settings file that already stands beside
// the executable wins either way, so that a copy can be carried about with its
// settings. An empty user folder (no home at all) falls back to `exeDir`.
TStorage StorageFor(const std::filesystem::path& exeDir, bool installed, const std::filesystem::path& configHome,
                    const std::filesystem::path& stateHome);

// The rule for this build (installed when built for the package) and this user.
TStorage StandardStorage(const std::filesystem::path& exeDir);

// Makes the settings file's folder, private to the user when it is new, so
// that saving into a fresh user folder does not fail.
void PrepareSettingsFolder(const TStorage& storage);

}  // namespace zv
