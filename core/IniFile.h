#pragma once
// An INI file read and written the way the Windows profile functions do it:
// every call opens the file for itself; section and key names match without
// regard to case; keys come back in file order; a value is cut to 2047
// characters; a write replaces the key's line in place or adds it at the end
// of its section (or a new section at the end of the file), and every other
// byte of the file stays as it was.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// "Unable to write to <path>".
class TIniWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TIniFile {
public:
    static constexpr size_t MAX_VALUE_LENGTH = 2047;

    explicit TIniFile(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& Path() const { return path_; }

    // A missing file, section or key gives `defaultValue`.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // The key names of a section, in file order.
    std::vector<std::string> ReadKeys(std::string_view section) const;
    // Raises TIniWriteError when the file cannot be written.
    void WriteString(std::string_view section, std::string_view key, std::string_view value) const;

private:
    std::filesystem::path path_;
};

}  // namespace zv
