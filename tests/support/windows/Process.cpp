#include <windows.h>

#include <mutex>

#include "support/Process.h"

namespace zv::testing_support {
namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// One argument as the C runtime splits a command line: in quotes, with the
// backslashes before a quote doubled.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
    line += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

HANDLE OutputFile(const std::filesystem::path& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Console control events reach only processes on the sender's console: a test
// run without one (under CTest, say) gets one of its own for its children.
void HaveConsole() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!GetConsoleWindow() && !AttachConsole(ATTACH_PARENT_PROCESS)) AllocConsole();
        // The test itself must outlive the Ctrl-Break it sends its children.
        SetConsoleCtrlHandler(nullptr, TRUE);
    });
}

}  // namespace

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

void SetEnvironment(const std::string& name, const std::string& value) {
    // Both the C runtime's copy, which getenv reads, and the system's, which
    // children inherit.
    _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
    SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

std::string LibrarySearchPath(const std::filesystem::path& folder) {
    const char* path = std::getenv("PATH");
    return "PATH=" + folder.string() + (path ? ";" + std::string(path) : "");
}

bool FolderPermissionsBind() { return false; }

std::string ProgramFile(const std::string& path) { return path + ".exe"; }

struct TProcess::TChild {
    PROCESS_INFORMATION info{};

    bool Running() const { return info.hProcess != nullptr; }
    void KillAndClose() {
        TerminateProcess(info.hProcess, 137);
        WaitForSingleObject(info.hProcess, INFINITE);
        Close();
    }
    void Close() {
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        info = {};
    }
};

TProcess::TProcess(const std::vector<std::string>& arguments, TOptions options) : child_(std::make_unique<TChild>()) {
    TakeOutputFiles(options);
    HaveConsole();
    std::vector<std::string> current;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e; e += wcslen(e) + 1) current.push_back(Utf8(e));
        FreeEnvironmentStringsW(block);
    }
    std::wstring environment;
    for (const std::string& entry : ChildEnvironment(current, options.environment, true)) {
        environment += Wide(entry);
        environment += L'\0';
    }
    environment += L'\0';
    std::wstring line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += L' ';
        AppendQuoted(line, Wide(argument));
    }

    const HANDLE out = OutputFile(out_), err = OutputFile(err_);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    // A group of its own, so that a Ctrl-Break can be sent to it alone.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                        CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                        &child_->info))
        child_->info = {};
    CloseHandle(out);
    CloseHandle(err);
}

TProcess::~TProcess() {
    if (child_->Running()) child_->KillAndClose();
    RemoveOutputFiles();
}

bool TProcess::Started() const { return child_->Running() || code_ >= 0; }

int TProcess::Wait(std::chrono::milliseconds timeout) {
    if (!child_->Running()) return code_;
    if (WaitForSingleObject(child_->info.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        child_->KillAndClose();
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(child_->info.hProcess, &code);
    child_->Close();
    code_ = static_cast<int>(code);
    return code_;
}

void TProcess::Interrupt() const {
    if (child_->Running()) GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, child_->info.dwProcessId);
}

bool TProcess::InterruptReachesChildren() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return !(ntdll && GetProcAddress(ntdll, "wine_get_version"));
}

void TProcess::Kill() const {
    if (child_->Running()) TerminateProcess(child_->info.hProcess, 137);
}

bool TProcess::AskForSummary() const { return false; }

}  // namespace zv::testing_support
