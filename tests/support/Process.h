#pragma once
// A program of the build run as a child process, the way a person or a script
// runs it: its output in files, its environment changed where asked, and every
// wait for it bounded. The one way the suites start programs.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zv::testing_support {

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TProcess {
public:
    struct TOptions {
        // "NAME=VALUE" entries that replace or join the test's own environment.
        std::vector<std::string> environment;
        // Where standard output and error go; empty: a scratch file of its own.
        std::filesystem::path out, err;
    };

    explicit TProcess(const std::vector<std::string>& arguments) : TProcess(arguments, TOptions{}) {}
    TProcess(const std::vector<std::string>& arguments, TOptions options) {
        static int runs = 0;
        const std::string tag = std::to_string(getpid()) + "-" + std::to_string(runs++);
        out_ = options.out.empty() ? ScratchFile("out-" + tag) : options.out;
        err_ = options.err.empty() ? ScratchFile("err-" + tag) : options.err;
        ownsOut_ = options.out.empty();
        ownsErr_ = options.err.empty();

        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('=') + 1);
            bool replaced = false;
            for (const std::string& o : options.environment) replaced |= o.rfind(name, 0) == 0;
            if (!replaced) env.push_back(entry);
        }
        env.insert(env.end(), options.environment.begin(), options.environment.end());
        std::vector<std::string> args = arguments;
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        for (auto& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        if (ownsOut_) std::filesystem::remove(out_, ignored);
        if (ownsErr_) std::filesystem::remove(err_, ignored);
    }
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    bool Started() const { return pid_ > 0 || code_ >= 0; }

    // The exit code (128 + the signal for a killed program); -1, and the
    // program killed, when it has not ended within `timeout`.
    int Wait(std::chrono::milliseconds timeout) {
        if (pid_ <= 0) return code_;
        if (!WaitForExit(timeout)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return -1;
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return code_;
    }

    void Signal(int signal) const {
        if (pid_ > 0) ::kill(pid_, signal);
    }

    std::string Out() const { return ReadText(out_); }
    std::string Err() const { return ReadText(err_); }

private:
    static std::filesystem::path ScratchFile(const std::string& name) {
        return std::filesystem::temp_directory_path() / ("zv-process-" + name + ".txt");
    }

    // Waits on a descriptor of the child that becomes readable when it ends.
    bool WaitForExit(std::chrono::milliseconds timeout) {
        const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
            ::close(fd);
            return ready > 0;
        }
        // A kernel without process descriptors: look now and then.
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (::waitpid(pid_, nullptr, WNOHANG | WNOWAIT) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    pid_t pid_ = -1;
    int code_ = -1;
    std::filesystem::path out_, err_;
    bool ownsOut_ = true, ownsErr_ = true;
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
