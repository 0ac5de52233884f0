#include "platform/Runtime.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/windows/Wide.h"

namespace zv {

std::filesystem::path RuntimeFolder() {
    // The same variable as on Linux moves it, which keeps tests apart.
    const wchar_t* runtime = _wgetenv(L"XDG_RUNTIME_DIR");
    std::filesystem::path folder;
    if (runtime && *runtime) {
        folder = std::filesystem::path(runtime) / "usbfwloader";
    } else {
        wchar_t temp[MAX_PATH + 1] = {};
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        folder = std::filesystem::path(std::wstring(temp, n)) / (L"usbfwloader-" + UserNameWide());
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

namespace {

std::filesystem::path FolderFromVariable(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

std::filesystem::path UserConfigFolder() { return FolderFromVariable(L"APPDATA"); }

std::filesystem::path UserStateFolder() { return FolderFromVariable(L"LOCALAPPDATA"); }

std::filesystem::path ExecutableFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return std::filesystem::current_path();
        if (n < name.size()) {
            name.resize(n);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

std::string HostName() {
    wchar_t name[256] = {};
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
    return Utf8(std::wstring_view(name, size));
}

double ProcessCpuSeconds() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace zv
