#pragma once
// The flasher's command line: a command (list, write, watch) and its options.
// Parsing is pure, so every refusal is decided before a device is touched.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zv::cli {

enum class TCommand { Help, Version, List, Write, Watch };

struct TCliOptions {
    TCommand command = TCommand::Help;
    std::optional<std::string> image;  // file mode with this .eraw file
    bool startApp = false;             // cbStartApp
    std::vector<int32_t> serials;      // write: only these, each once
    std::optional<std::filesystem::path> logDir;
    bool log = false;  // daily files in the loader's own log folder
    std::optional<std::filesystem::path> report;
    std::optional<std::filesystem::path> records;  // production records, appended
    std::optional<std::string> expectSha256;       // 64 lower-case hex digits
    bool confirm = false;                          // implies startApp
    std::chrono::milliseconds confirmTimeout{5000};
    bool confirmTimeoutGiven = false;
    bool skipCurrent = false;
    int retries = 0;    // further tries of a failed write that a retry may mend
    bool json = false;  // list: one JSON array
};

constexpr int MAX_RETRIES = 10;

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
