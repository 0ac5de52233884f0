#pragma once
// The flasher's command line: a command (list, write, watch) and its options.
// Parsing is pure, so every refusal is decided before a device is touched.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zv::cli {

enum class TCommand { Help, List, Write, Watch };

struct TCliOptions {
    TCommand command = TCommand::Help;
    std::optional<std::string> image;  // file mode with this .eraw file
    bool startApp = false;             // cbStartApp
    std::vector<int32_t> serials;      // write: only these, each once
    std::optional<std::filesystem::path> logDir;
    std::optional<std::filesystem::path> report;
};

struct TParseResult {
    TCliOptions options;
    std::string error;  // empty when the arguments are usable
    bool Ok() const { return error.empty(); }
};

// `arguments` excludes the program name.
TParseResult ParseArguments(const std::vector<std::string>& arguments);

// The --help text, also printed after a refusal.
const char* UsageText();

}  // namespace zv::cli
