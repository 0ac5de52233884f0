#include "firmware/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Format.h"

namespace zv {
namespace {

// Closes on every way out.
struct TFile {
    int fd;
    ~TFile() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::optional<std::vector<uint8_t>> ReadImageFile(const std::string& path, const TLogCallback& log) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (path.empty() || error || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) {
        if (log) log(llError, Format("Загрузка прошивки: Файл %s не найден", path.c_str()));
        return std::nullopt;
    }
    const TFile file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) return std::nullopt;
    if (static_cast<uint64_t>(info.st_size) > MAX_FIRMWARE_FILE_SIZE) {
        if (log) log(llError, "Не верный размер файла прошивки");
        return std::nullopt;
    }
    std::vector<uint8_t> image(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < image.size()) {
        const ssize_t n = ::read(file.fd, image.data() + done, image.size() - done);
        if (n <= 0) return std::nullopt;
        done += static_cast<size_t>(n);
    }
    return image;
}

}  // namespace zv
