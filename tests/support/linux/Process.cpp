#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/Process.h"

extern char** environ;

namespace zv::testing_support {

int CurrentProcessId() { return static_cast<int>(::getpid()); }

void SetEnvironment(const std::string& name, const std::string& value) {
    if (value.empty())
        ::unsetenv(name.c_str());
    else
        ::setenv(name.c_str(), value.c_str(), 1);
}

std::string LibrarySearchPath(const std::filesystem::path& folder) { return "LD_LIBRARY_PATH=" + folder.string(); }

bool FolderPermissionsBind() { return ::geteuid() != 0; }

std::string ProgramFile(const std::string& path) { return path; }

struct TProcess::TChild {
    pid_t pid = -1;

    // Waits on a descriptor of the child that becomes readable when it ends.
    bool WaitForExit(std::chrono::milliseconds timeout) const {
        const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
            ::close(fd);
            return ready > 0;
        }
        // A kernel without process descriptors: look now and then.
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (::waitpid(pid, nullptr, WNOHANG | WNOWAIT) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    void KillAndReap() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

TProcess::TProcess(const std::vector<std::string>& arguments, TOptions options) : child_(std::make_unique<TChild>()) {
    TakeOutputFiles(options);
    std::vector<std::string> current;
    for (char** e = environ; *e; ++e) current.emplace_back(*e);
    std::vector<std::string> env = ChildEnvironment(current, options.environment, false);
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
    if (posix_spawn(&child_->pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) child_->pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

TProcess::~TProcess() {
    if (child_->pid > 0) child_->KillAndReap();
    RemoveOutputFiles();
}

bool TProcess::Started() const { return child_->pid > 0 || code_ >= 0; }

int TProcess::Wait(std::chrono::milliseconds timeout) {
    if (child_->pid <= 0) return code_;
    if (!child_->WaitForExit(timeout)) {
        child_->KillAndReap();
        return -1;
    }
    int status = 0;
    ::waitpid(child_->pid, &status, 0);
    child_->pid = -1;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return code_;
}

void TProcess::Interrupt() const {
    if (child_->pid > 0) ::kill(child_->pid, SIGINT);
}

bool TProcess::InterruptReachesChildren() { return true; }

void TProcess::Kill() const {
    if (child_->pid > 0) ::kill(child_->pid, SIGKILL);
}

bool TProcess::AskForSummary() const {
    if (child_->pid > 0) ::kill(child_->pid, SIGUSR1);
    return true;
}

}  // namespace zv::testing_support
