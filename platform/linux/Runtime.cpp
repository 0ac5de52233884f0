#include "platform/Runtime.h"

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace zv {

std::filesystem::path RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::filesystem::path folder = runtime && *runtime
                                             ? std::filesystem::path(runtime) / "usbfwloader"
                                             : std::filesystem::path("/tmp/usbfwloader-" + std::to_string(::getuid()));
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

namespace {

std::filesystem::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? std::filesystem::path(user->pw_dir) : std::filesystem::path();
}

std::filesystem::path XdgFolder(const char* variable, const char* fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value && *value == '/') return value;
    const std::filesystem::path home = HomeFolder();
    return home.empty() ? home : home / fallbackUnderHome;
}

}  // namespace

std::filesystem::path UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path UserStateFolder() { return XdgFolder("XDG_STATE_HOME", ".local/state"); }

std::filesystem::path ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : exe.parent_path();
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace zv
