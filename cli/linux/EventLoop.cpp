#include "cli/EventLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/Tick.h"

namespace zv::cli {
namespace {

// The self-pipe the signal handler writes to; the loop reads it.
int signalPipe[2] = {-1, -1};

constexpr int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGUSR1};

constexpr char STOP_BYTE = 1, SUMMARY_BYTE = 2;

void OnSignal(int signal) {
    const int saved = errno;
    const char byte = signal == SIGUSR1 ? SUMMARY_BYTE : STOP_BYTE;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TPolledQueue::TPolledQueue() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (handle_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TPolledQueue::~TPolledQueue() {
    // Before the descriptor goes: a worker may still be handing over.
    Close();
    ::close(handle_);
}

void TPolledQueue::Deliver(std::function<void()> call) {
    TEventQueue::Deliver(std::move(call));
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(handle_, &one, sizeof one);
}

void TPolledQueue::Acknowledge() {
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(handle_, &count, sizeof count);
}

struct TEventLoop::TRequests {
    sigset_t previousMask{};
    sigset_t waitMask{};
};

TEventLoop::TEventLoop() : requests_(std::make_unique<TRequests>()) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : HANDLED_SIGNALS) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&handled, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &handled, &requests_->previousMask);
    requests_->waitMask = requests_->previousMask;
    for (const int signal : HANDLED_SIGNALS) sigdelset(&requests_->waitMask, signal);
}

TEventLoop::~TEventLoop() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int signal : HANDLED_SIGNALS) ::sigaction(signal, &action, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &requests_->previousMask, nullptr);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

bool TEventLoop::TakeSummaryRequest() { return std::exchange(summaryAsked_, false); }

void TEventLoop::Watch(TWaitHandle handle, std::function<void()> onReady) {
    watched_.push_back({handle, std::move(onReady)});
}

bool TEventLoop::Wait(TClock::time_point until) {
    const int64_t timeout = MillisecondsUntil(until);
    std::vector<pollfd> fds = {{queue_.WaitHandle(), POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    for (const TWatched& w : watched_) fds.push_back({w.handle, POLLIN, 0});
    const timespec wait{static_cast<time_t>(timeout / 1000), static_cast<long>(timeout % 1000) * 1000000};
    // The stop signals are let in only here, so their handler never
    // interrupts anything but this wait.
    const int ready = ::ppoll(fds.data(), fds.size(), &wait, &requests_->waitMask);

    char bytes[16];
    bool signalled = false;
    for (ssize_t n; (n = ::read(signalPipe[0], bytes, sizeof bytes)) > 0;)
        for (ssize_t i = 0; i < n; ++i) (bytes[i] == SUMMARY_BYTE ? summaryAsked_ : signalled) = true;
    queue_.Acknowledge();
    queue_.ProcessPending();
    if (ready > 0)
        for (size_t i = 0; i < watched_.size(); ++i)
            if (fds[i + 2].revents != 0) watched_[i].onReady();
    return signalled;
}

}  // namespace zv::cli
