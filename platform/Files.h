#pragma once
// Whole-file reads and writes with the path handed to the system in its own
// form (UTF-16 on Windows), so any folder name works. On failure `error`, when
// given, says which file and why.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// A path from UTF-8 text (a command line, a settings file), on every system.
inline std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Appends in one write to a file opened for appending only, so that lines of
// several threads or processes never interleave. Creates the file if missing.
bool AppendToFile(const std::filesystem::path& file, std::string_view bytes, std::string* error = nullptr);

// Truncates the file (creating it if missing) and writes `bytes`.
bool WriteFileInPlace(const std::filesystem::path& file, std::string_view bytes, std::string* error = nullptr);

// Writes `bytes` to "<file>.tmp" and renames it over `file`, so a crash never
// leaves half a file. The temporary is removed when anything fails.
bool WriteFileByRename(const std::filesystem::path& file, std::string_view bytes, std::string* error = nullptr);

// Whether this process may make files in `folder`.
bool MayCreateFilesIn(const std::filesystem::path& folder);

struct TFileRead {
    enum class TStatus { Read, Unreadable, TooLarge } status = TStatus::Unreadable;
    std::vector<uint8_t> bytes;
};
// Reads the whole file unless it holds more than `maxBytes`.
TFileRead ReadWholeFile(const std::filesystem::path& file, uint64_t maxBytes);

}  // namespace zv
