#include "core/CommandLine.h"

#include <filesystem>
#include <string_view>

#include "platform/Text.h"

namespace zv {
namespace {

bool StartsWithOptionPrefix(std::string_view text) {
    return !text.empty() && (text.front() == '/' || text.front() == '-');
}

// The text from the last "." of the last path element on.
std::string_view Extension(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = last.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : last.substr(dot);
}

bool IsExistingFile(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

}  // namespace

TCommandLine ApplyCommandLine(const std::vector<std::string>& arguments) {
    TCommandLine result;
    for (const std::string& argument : arguments) {
        // The word is matched without regard to case, after one "/" or "-".
        std::string word = LowerCaseText(argument);
        if (StartsWithOptionPrefix(word)) word.erase(0, 1);

        // File names are case-sensitive here, so the file is looked up under
        // its own spelling. Only "-" is taken off a path: a leading "/" is the
        // root of an absolute path on this system.
        std::string path = argument;
        if (!path.empty() && path.front() == '-') path.erase(0, 1);
        if (!path.empty() && LowerCaseText(Extension(path)) == ".eraw" && IsExistingFile(path)) {
            result.externFirmware = true;
            result.firmwareFile = path;
        }
        if (word == "externfirmware") result.externFirmware = true;
    }
    return result;
}

}  // namespace zv
