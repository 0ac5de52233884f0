#include "cli/Arguments.h"

#include <algorithm>
#include <string_view>

#include "devices/DevEntry.h"

namespace zv::cli {
namespace {

struct TOptionRule {
    std::string_view name;
    bool takesValue;
    bool list, write, watch;  // the commands that accept it
};

constexpr TOptionRule kOptions[] = {
    {"--image", true, false, true, true},   {"--start-app", false, false, true, true},
    {"--serial", true, false, true, false}, {"--log-dir", true, true, true, true},
    {"--report", true, false, true, true},
};

const char* CommandName(TCommand command) {
    switch (command) {
        case TCommand::List: return "list";
        case TCommand::Write: return "write";
        case TCommand::Watch: return "watch";
        case TCommand::Help: break;
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
        slot = value;
        return {};
    };
    if (name == "--start-app") {
        options.startApp = true;
        return {};
    }
    if (value.empty()) return "option " + std::string(name) + " needs a value";
    if (name == "--image") return once(options.image);
    if (name == "--log-dir") return once(options.logDir);
    if (name == "--report") return once(options.report);
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
    return result;
}

const char* UsageText() {
    return R"(Usage: usbfwflash list  [--log-dir DIR]
       usbfwflash write [--image FILE.eraw] [--start-app] [--serial N]... [--log-dir DIR] [--report FILE.json]
       usbfwflash watch [--image FILE.eraw] [--start-app] [--log-dir DIR] [--report FILE.json]
       usbfwflash --help

Commands:
  list    Search once and show the devices found. Devices in application mode
          are sent the bootloader start, as in the window; they come up in
          their bootloader after a replug.
  write   Search once, then write every device found (or the ones named by
          --serial) at once. A device in application mode is not written.
  watch   Write every device that appears in bootloader mode until Ctrl-C or
          SIGTERM. Searches at start, on udev events and on "537 7 0" posted
          to the loader window's endpoint (what `zvsim plug` sends); "16 0 0"
          ends it like Ctrl-C. Running writes stop at a sector boundary and
          are reported as interrupted.

Options:
  --image FILE     write this image file instead of the built-in image
  --start-app      start the application after a successful write
  --serial N       write only the device with serial number N (repeatable)
  --log-dir DIR    also append the log to daily files DIR/YYYYMMDD.log
  --report FILE    keep a JSON record of every write attempt in FILE

Output: on a terminal, one line per device with a progress bar and its
status below the log; otherwise plain log lines only.

Exit status:
  0  list: the search reported no error; write: every targeted device was
     written; watch: no write failed or was interrupted
  1  otherwise: a targeted device not written (failed, interrupted, asking
     for a replug, not found, or no device at all), the image refused, no
     driver library, or the log folder or report file unusable
  2  bad arguments
)";
}

}  // namespace zv::cli
