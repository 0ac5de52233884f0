#include "firmware/ImageFile.h"

#include <filesystem>

#include "platform/Files.h"
#include "platform/Format.h"

namespace zv {

std::optional<std::vector<uint8_t>> ReadImageFile(const std::string& path, const TLogCallback& log) {
    std::error_code error;
    const std::filesystem::path file = Utf8Path(path);
    const auto status = std::filesystem::status(file, error);
    if (path.empty() || error || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) {
        if (log) log(llError, Format("Загрузка прошивки: Файл %s не найден", path.c_str()));
        return std::nullopt;
    }
    TFileRead read = ReadWholeFile(file, MAX_FIRMWARE_FILE_SIZE);
    if (read.status == TFileRead::TStatus::TooLarge) {
        if (log) log(llError, "Не верный размер файла прошивки");
        return std::nullopt;
    }
    if (read.status != TFileRead::TStatus::Read) return std::nullopt;
    return std::move(read.bytes);
}

}  // namespace zv
