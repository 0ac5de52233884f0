#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zv {
namespace {

bool Fail(std::string* error, const std::filesystem::path& file, int code) {
    if (error) *error = file.string() + ": " + std::strerror(code);
    return false;
}

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteNew(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Fail(error, file, errno);
    const bool written = WriteAll(fd, bytes);
    const int writeErrno = errno;
    if (::close(fd) != 0 && written) return Fail(error, file, errno);
    return written || Fail(error, file, writeErrno);
}

}  // namespace

bool AppendToFile(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return Fail(error, file, errno);
    // One write: O_APPEND places it whole at the end, whoever else appends.
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    const int writeErrno = errno;
    ::close(fd);
    if (written == static_cast<ssize_t>(bytes.size())) return true;
    if (error) *error = file.string() + ": " + (written < 0 ? std::strerror(writeErrno) : "short write");
    return false;
}

bool WriteFileInPlace(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    return WriteNew(file, bytes, error);
}

bool WriteFileByRename(const std::filesystem::path& file, std::string_view bytes, std::string* error) {
    const std::filesystem::path temporary = file.string() + ".tmp";
    if (!WriteNew(temporary, bytes, error)) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        Fail(error, file, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool MayCreateFilesIn(const std::filesystem::path& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

TFileRead ReadWholeFile(const std::filesystem::path& file, uint64_t maxBytes) {
    TFileRead result;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return result;
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        if (static_cast<uint64_t>(info.st_size) > maxBytes) {
            result.status = TFileRead::TStatus::TooLarge;
        } else {
            result.bytes.resize(static_cast<size_t>(info.st_size));
            size_t done = 0;
            while (done < result.bytes.size()) {
                const ssize_t n = ::read(fd, result.bytes.data() + done, result.bytes.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            if (done == result.bytes.size())
                result.status = TFileRead::TStatus::Read;
            else
                result.bytes.clear();
        }
    }
    ::close(fd);
    return result;
}

}  // namespace zv
