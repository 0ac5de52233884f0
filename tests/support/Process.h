#pragma once
// A program of the build run as a child process, the way a person or a script
// runs it: its output in files, its environment changed where asked, and every
// wait for it bounded. The one way the suites start programs.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zv::testing_support {

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// This process's id, to keep scratch names of parallel runs apart.
int CurrentProcessId();

// Sets, or with an empty value removes, a variable of this process's
// environment; children started later inherit it.
void SetEnvironment(const std::string& name, const std::string& value);

// The "NAME=VALUE" that puts `folder` first where a child looks for the
// libraries it loads by bare name.
std::string LibrarySearchPath(const std::filesystem::path& folder);

// Whether a folder's permission bits stop this process from making files in
// it: not for root, and not on Windows, where a folder's read-only attribute
// means nothing of the kind.
bool FolderPermissionsBind();

// A program's file name as the system has it (".exe" on Windows).
std::string ProgramFile(const std::string& path);

class TProcess {
public:
    struct TOptions {
        // "NAME=VALUE" entries that replace or join the test's own environment.
        std::vector<std::string> environment;
        // Where standard output and error go; empty: a scratch file of its own.
        std::filesystem::path out, err;
    };

    explicit TProcess(const std::vector<std::string>& arguments) : TProcess(arguments, TOptions{}) {}
    TProcess(const std::vector<std::string>& arguments, TOptions options);
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    bool Started() const;

    // The exit code (128 + the signal for a killed program on Linux); -1, and
    // the program killed, when it has not ended within `timeout`.
    int Wait(std::chrono::milliseconds timeout);

    // What Ctrl-C does: SIGINT on Linux, the console's Ctrl-Break event for
    // the child's process group on Windows.
    void Interrupt() const;
    // Whether Interrupt reaches the child: Wine delivers console events only
    // to the process that generates them.
    static bool InterruptReachesChildren();
    // Ends it at once, as a crash or a power cut would.
    void Kill() const;
    // SIGUSR1; false where the system has no such signal.
    bool AskForSummary() const;

    std::string Out() const { return ReadText(out_); }
    std::string Err() const { return ReadText(err_); }

private:
    struct TChild;
    std::unique_ptr<TChild> child_;
    int code_ = -1;
    std::filesystem::path out_, err_;
    bool ownsOut_ = true, ownsErr_ = true;

    // Merges `changes` into the test's own environment, which it replaces.
    static std::vector<std::string> ChildEnvironment(const std::vector<std::string>& current,
                                                     const std::vector<std::string>& changes, bool ignoreCase);
    void TakeOutputFiles(const TOptions& options);
    void RemoveOutputFiles();
};

// For a child whose time to exit is measured: ThreadSanitizer sleeps a second
// before a process ends, to give late races a chance; that second is not the
// program's. Empty in other builds; the test's own options are kept.
inline std::vector<std::string> WithoutSanitizerExitSleep() {
#if defined(__SANITIZE_THREAD__)
    const char* options = std::getenv("TSAN_OPTIONS");
    return {std::string("TSAN_OPTIONS=") + (options ? std::string(options) + ":" : "") + "atexit_sleep_ms=0"};
#else
    return {};
#endif
}

// A program run to its end: its exit code (-1 when it did not end in time) and
// what it printed.
struct TRunResult {
    int code = -1;
    std::string out, err;
};
inline TRunResult RunProgram(const std::vector<std::string>& arguments, TProcess::TOptions options = {},
                             std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    TProcess process(arguments, std::move(options));
    TRunResult result;
    result.code = process.Wait(timeout);
    result.out = process.Out();
    result.err = process.Err();
    return result;
}

// Waits until `ready()` holds (what a child writes to a file, say), looking
// every few milliseconds; false when `timeout` passes first.
inline bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace zv::testing_support
