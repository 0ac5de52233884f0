#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "sim/System.h"

namespace zvsim {
namespace {

int Fd(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

TFile TFile::Open(const std::string& path, TOpen how) {
    int flags = O_CLOEXEC;
    switch (how) {
        case TOpen::Read: flags |= O_RDONLY; break;
        case TOpen::ReadWrite: flags |= O_RDWR; break;
        case TOpen::ReadWriteCreate: flags |= O_RDWR | O_CREAT; break;
        case TOpen::Truncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
        case TOpen::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    return fd < 0 ? TFile() : TFile(fd);
}

void TFile::Reset() {
    if (handle != kNone) ::close(Fd(handle));
    handle = kNone;
}

bool TFile::WriteAt(const void* data, size_t size, uint64_t offset) const {
    auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(Fd(handle), bytes, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool TFile::Append(std::string_view text) const {
    return ::write(Fd(handle), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int64_t TFile::Read(void* buffer, size_t size) const {
    for (;;) {
        const ssize_t n = ::read(Fd(handle), buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool TFile::Resize(uint64_t size) const { return ::ftruncate(Fd(handle), static_cast<off_t>(size)) == 0; }

bool TFile::Lock() const {
    while (::flock(Fd(handle), LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

bool TFile::StampWriteTime(uint64_t fraction) const {
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_nsec = static_cast<long>(fraction % 10'000'000 * 100);
    times[1] = times[0];
    return ::futimens(Fd(handle), times) == 0;
}

std::string LastSystemError() { return std::strerror(errno); }

bool LastErrorWasMissingFile() { return errno == ENOENT; }

bool RenameOver(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST; }

TFileStamp StampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return {static_cast<uint64_t>(info.st_ino), static_cast<int64_t>(info.st_size),
            static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::string TemporaryFolder() { return "/tmp"; }

std::string UserTag() { return std::to_string(::getuid()); }

int ProcessId() { return static_cast<int>(::getpid()); }

void SetEnvironment(const std::string& name, const std::string& value) {
    if (value.empty())
        ::unsetenv(name.c_str());
    else
        ::setenv(name.c_str(), value.c_str(), 1);
}

void UseBinaryStandardOutput() {}

void* OpenLibraryFile(const std::string& path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* LibrarySymbol(void* library, const char* name) { return ::dlsym(library, name); }

const char* const FTDI_LIBRARY_FILE_NAME = "libftd2xx.so";
const char* const OM_LIBRARY_FILE_NAME = "libzvusb.so";

// The loader's endpoint: a Unix socket in its runtime folder.
void PostToLoaderWindow(const std::string& line) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder =
        runtime && *runtime ? std::string(runtime) + "/usbfwloader" : "/tmp/usbfwloader-" + UserTag();
    const std::string path = folder + "/TMainForm";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) [[maybe_unused]]
        const ssize_t sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    ::close(fd);
}

// The dynamic linker reads LD_LIBRARY_PATH only at start: the program starts
// again with `folder` first on it, unless it is first already.
void UseLibraryFolder(const std::string& folder, char** argv) {
    const char* current = std::getenv("LD_LIBRARY_PATH");
    if (current && std::string(current).rfind(folder, 0) == 0) return;
    const std::string path = current && *current ? folder + ":" + current : folder;
    ::setenv("LD_LIBRARY_PATH", path.c_str(), 1);
    ::execv("/proc/self/exe", argv);
    std::perror("execv");
    std::exit(2);
}

}  // namespace zvsim
