#include "core/Storage.h"

#include <system_error>

#include "core/Settings.h"
#include "platform/Runtime.h"

namespace zv {
namespace {

constexpr const char* kFolderName = "usbfwloader";
constexpr const char* kLogFolderName = "Logs";

#ifdef ZV_PACKAGED
constexpr bool kInstalled = true;
#else
constexpr bool kInstalled = false;
#endif

}  // namespace

TStorage StorageFor(const std::filesystem::path& exeDir, bool installed, const std::filesystem::path& configHome,
                    const std::filesystem::path& stateHome) {
    TStorage beside{exeDir / SETTINGS_FILE_NAME, exeDir / kLogFolderName};
    std::error_code error;
    if (!installed || std::filesystem::exists(beside.settingsFile, error)) return beside;
    return {configHome.empty() ? beside.settingsFile : configHome / kFolderName / SETTINGS_FILE_NAME,
            stateHome.empty() ? beside.logFolder : stateHome / kFolderName / kLogFolderName};
}

TStorage StandardStorage(const std::filesystem::path& exeDir) {
    if (!kInstalled) return StorageFor(exeDir, false, {}, {});
    return StorageFor(exeDir, true, UserConfigFolder(), UserStateFolder());
}

void PrepareSettingsFolder(const TStorage& storage) {
    const std::filesystem::path folder = storage.settingsFile.parent_path();
    std::error_code error;
    if (folder.empty() || std::filesystem::exists(folder, error)) return;
    // A failure shows when the file itself cannot be written.
    if (std::filesystem::create_directories(folder, error))
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
}

}  // namespace zv
