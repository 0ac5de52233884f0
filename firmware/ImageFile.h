#pragma once
// Reading a firmware image file whole, before its format is checked.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "threading/Log.h"

namespace zv {

// No image comes near this; a larger file is refused before it is read.
constexpr uint64_t MAX_FIRMWARE_FILE_SIZE = 64 * 1024 * 1024;

// The file's bytes; nullopt when it is missing, a folder, too large or cannot
// be read. A missing file and an oversized one are reported to `log`.
std::optional<std::vector<uint8_t>> ReadImageFile(const std::string& path, const TLogCallback& log);

}  // namespace zv
