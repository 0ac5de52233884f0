#include "cli/Arguments.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <type_traits>

#include "devices/DevEntry.h"
#include "platform/Files.h"

namespace zv::cli {
namespace {

struct TOptionRule {
    std::string_view name;
    bool takesValue;
    bool list, write, watch;  // the commands that accept it
};

constexpr TOptionRule kOptions[] = {
    {"--image", true, false, true, true},
    {"--start-app", false, false, true, true},
    {"--serial", true, false, true, false},
    {"--log-dir", true, true, true, true},
    {"--report", true, false, true, true},
    {"--records", true, false, true, true},
    {"--expect-sha256", true, false, true, true},
    {"--confirm", false, false, true, true},
    {"--confirm-timeout", true, false, true, true},
    {"--skip-current", false, false, true, true},
    {"--retry", true, false, true, true},
    {"--json", false, true, false, false},
    {"--log", false, true, true, true},
};

// A whole number within [low, high], decimal digits only.
std::optional<int64_t> ParseBounded(const std::string& text, int64_t low, int64_t high) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int64_t value = std::stoll(text);
    if (value < low || value > high) return std::nullopt;
    return value;
}

// Seconds as "5" or "2.5", to the millisecond.
std::optional<int64_t> ParseMilliseconds(const std::string& text) {
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (fraction.size() > 3 || (point != std::string::npos && fraction.empty())) return std::nullopt;
    const auto seconds = ParseBounded(whole, 0, 3600);
    fraction.resize(3, '0');
    const auto ms = ParseBounded(fraction, 0, 999);
    if (!seconds || !ms) return std::nullopt;
    return *seconds * 1000 + *ms;
}

const char* CommandName(TCommand command) {
    switch (command) {
        case TCommand::List: return "list";
        case TCommand::Write: return "write";
        case TCommand::Watch: return "watch";
        case TCommand::Help:
        case TCommand::Version: break;
    }
    return "help";
}

bool Accepts(const TOptionRule& rule, TCommand command) {
    return (command == TCommand::List && rule.list) || (command == TCommand::Write && rule.write) ||
           (command == TCommand::Watch && rule.watch);
}

// Stores one option's value; an error text when it cannot be used.
std::string Apply(TCliOptions& options, std::string_view name, const std::string& value) {
    auto once = [&](auto& slot) -> std::string {
        if (slot) return "option " + std::string(name) + " given twice";
        // A folder's name in any script, whatever the system's code page.
        if constexpr (std::is_same_v<std::decay_t<decltype(*slot)>, std::filesystem::path>)
            slot = Utf8Path(value);
        else
            slot = value;
        return {};
    };
    if (name == "--start-app" || name == "--confirm" || name == "--skip-current" || name == "--json" ||
        name == "--log") {
        bool& flag = name == "--start-app" ? options.startApp
                     : name == "--confirm" ? options.confirm
                     : name == "--json"    ? options.json
                     : name == "--log"     ? options.log
                                           : options.skipCurrent;
        flag = true;
        return {};
    }
    if (value.empty()) return "option " + std::string(name) + " needs a value";
    if (name == "--image") return once(options.image);
    if (name == "--log-dir") return once(options.logDir);
    if (name == "--report") return once(options.report);
    if (name == "--records") return once(options.records);
    if (name == "--expect-sha256") {
        std::string hex = value;
        std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::tolower(c); });
        if (hex.size() != 64 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
            return "--expect-sha256 needs the image's SHA-256 as 64 hex digits, not \"" + value + "\"";
        if (options.expectSha256) return "option --expect-sha256 given twice";
        options.expectSha256 = hex;
        return {};
    }
    if (name == "--confirm-timeout") {
        const auto ms = ParseMilliseconds(value);
        if (!ms || *ms == 0) return "--confirm-timeout needs seconds above 0 and at most 3600, not \"" + value + "\"";
        options.confirmTimeout = std::chrono::milliseconds(*ms);
        options.confirmTimeoutGiven = true;
        return {};
    }
    if (name == "--retry") {
        const auto retries = ParseBounded(value, 0, MAX_RETRIES);
        if (!retries)
            return "--retry needs a number of retries from 0 to " + std::to_string(MAX_RETRIES) + ", not \"" + value +
                   "\"";
        options.retries = static_cast<int>(*retries);
        return {};
    }
    // --serial: a device's serial number as the loader reads it, a decimal int32.
    const std::optional<int32_t> serial = ParseSerialNumber(value);
    if (!serial || *serial < 0 || value.front() == '+' || value.front() == '-')
        return "--serial needs a device serial number, not \"" + value + "\"";
    if (std::find(options.serials.begin(), options.serials.end(), *serial) == options.serials.end())
        options.serials.push_back(*serial);
    return {};
}

}  // namespace

TParseResult ParseArguments(const std::vector<std::string>& arguments) {
    TParseResult result;
    TCliOptions& options = result.options;
    if (arguments.empty()) {
        result.error = "no command given";
        return result;
    }
    if (std::find_if(arguments.begin(), arguments.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; }) != arguments.end() ||
        arguments.front() == "help") {
        options.command = TCommand::Help;
        return result;
    }
    if (std::find(arguments.begin(), arguments.end(), "--version") != arguments.end()) {
        options.command = TCommand::Version;
        return result;
    }
    const std::string& command = arguments.front();
    if (command == "list")
        options.command = TCommand::List;
    else if (command == "write")
        options.command = TCommand::Write;
    else if (command == "watch")
        options.command = TCommand::Watch;
    else {
        result.error = "unknown command \"" + command + "\"";
        return result;
    }

    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const size_t equals = argument.find('=');
        const std::string_view name = std::string_view(argument).substr(0, equals);
        const auto rule = std::find_if(std::begin(kOptions), std::end(kOptions),
                                       [name](const TOptionRule& r) { return r.name == name; });
        if (rule == std::end(kOptions)) {
            result.error = argument.rfind('-', 0) == 0 ? "unknown option \"" + argument + "\""
                                                       : "unexpected argument \"" + argument + "\"";
            return result;
        }
        if (!Accepts(*rule, options.command)) {
            result.error = std::string(name) + " does not apply to " + CommandName(options.command);
            return result;
        }
        std::string value;
        if (!rule->takesValue) {
            if (equals != std::string::npos) {
                result.error = "option " + std::string(name) + " takes no value";
                return result;
            }
        } else if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0) {
            // A following option is a forgotten value, not a file named "--…";
            // such a file can still be given as --image=--name.
            value = arguments[++i];
        }
        result.error = Apply(options, name, value);
        if (!result.Ok()) return result;
    }
    if (options.confirmTimeoutGiven && !options.confirm) result.error = "--confirm-timeout applies only with --confirm";
    if (options.log && options.logDir) result.error = "--log and --log-dir name two log folders; give one";
    // The application reports its version only once it has been started.
    if (options.confirm) options.startApp = true;
    return result;
}

const char* UsageText() {
    return R"(Usage: usbfwflash list [--json] [--log | --log-dir DIR]
  or:  usbfwflash write [OPTION]...
  or:  usbfwflash watch [OPTION]...
  or:  usbfwflash --help | --version

Writes firmware into the Zelvia GPS tracking devices plugged in by USB, with
the core of the loader's window and the same log lines, for production lines,
scripts and machines without a display.

Commands:
  list    Search once and show the devices found. Devices in application mode
          are sent the bootloader start, as in the window; they come up in
          their bootloader after a replug.
  write   Search once, then write every device found (or the ones named by
          --serial) at once. A device in application mode is not written, nor
          are devices that report the same serial number.
  watch   Write every device that appears in bootloader mode until Ctrl-C or
          SIGTERM. Searches at start, on the system's device notifications
          (udev; on Windows, USB device interface arrivals) and on "537 7 0" posted
          to the loader window's endpoint (what `zvsim plug` sends); "16 0 0"
          ends it like Ctrl-C. Running writes stop at a sector boundary and
          are reported as interrupted. A search that a silent device fails is
          made again without it a second later. SIGUSR1 prints a summary,
          as the end does.

Options (list takes --json, --log and --log-dir; watch takes write's, but --serial):
  --image FILE          write this image file instead of the built-in image
  --expect-sha256 HEX   refuse the image unless its SHA-256 is HEX (64 digits),
                        before any device is touched
  --start-app           start the application after a successful write
  --confirm             start the application, then check that it reports the
                        image's version on a fresh open
  --confirm-timeout S   how long the application may take to answer (5 s)
  --skip-current        do not write a device whose firmware already has the
                        image's version
  --retry N             try a failed write up to N more times when trying again
                        may help (the device did not open or stopped answering;
                        never a locked or incompatible one)
  --serial N            write only the device with serial number N (repeatable)
  --log-dir DIR         also append the log to daily files DIR/YYYYMMDD.log and
                        the write records to DIR/YYYYMMDD.jsonl
  --log                 the same in the loader's own log folder: Logs/ beside
                        the program, or in an installed copy
                        $XDG_STATE_HOME/usbfwloader/Logs/ (~/.local/state/...)
                        unless a ZVFWLoader.ini stands beside the program
  --report FILE         keep a JSON report of every write attempt in FILE
  --records FILE        append one JSON line per write attempt to FILE
  --json                list: print the devices as one JSON array

Output: on a terminal, one line per device with a progress bar and its
status below the log; otherwise plain log lines only.

Exit status:
  0  list: the search reported no error and no two devices report the same
     serial number; write: every targeted device was
     written (or skipped as current); watch: no write failed or was
     interrupted
  1  otherwise: a targeted device not written (failed, interrupted, asking
     for a replug, not found, sharing its serial number, or no device at
     all), the image refused, no driver library, or the log folder, report
     or records file unusable
  2  bad arguments
  3  every device was written, but one or more did not confirm the image's
     version after the start
)";
}

}  // namespace zv::cli
