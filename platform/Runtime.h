#pragma once
// Where the loader's per-user run-time objects live (the single-instance lock
// and the window's message endpoint), and where its executable sits.

#include <filesystem>
#include <string>

namespace zv {

// $XDG_RUNTIME_DIR/usbfwloader, else /tmp/usbfwloader-<uid>; created with mode
// 0700 if missing. Creation failures surface when the objects inside are made.
std::filesystem::path RuntimeFolder();

// The user's folders for settings and for state that outlives a run (logs):
// $XDG_CONFIG_HOME and $XDG_STATE_HOME, else ~/.config and ~/.local/state (a
// relative value does not count); on Windows %APPDATA% and %LOCALAPPDATA%.
// Empty when the user has no home folder at all.
std::filesystem::path UserConfigFolder();
std::filesystem::path UserStateFolder();

// The folder of /proc/self/exe.
std::filesystem::path ExecutableFolder();

// This machine's name, as the production records give it.
std::string HostName();

// The processor time (user and system) this process has used so far.
double ProcessCpuSeconds();

}  // namespace zv
