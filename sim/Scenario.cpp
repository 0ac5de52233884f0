#include "sim/Scenario.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace zvsim {

using nlohmann::json;

const char* LibraryName(TLibrary library) { return library == TLibrary::Ftdi ? "ftdi" : "om"; }

const char* ModeName(TMode mode) {
    switch (mode) {
        case TMode::Bootloader: return "bootloader";
        case TMode::Application: return "application";
        case TMode::Silent: return "silent";
    }
    return "?";
}

std::optional<TMode> ParseMode(const std::string& text) {
    for (TMode mode : {TMode::Bootloader, TMode::Application, TMode::Silent})
        if (text == ModeName(mode)) return mode;
    return std::nullopt;
}

TTiming RealisticTiming() { return {.frameMs = 2, .eraseSmallMs = 25, .eraseLargeMs = 120, .partMs = 3, .textMs = 30}; }

const TDeviceConfig* TScenario::Find(const std::string& serial) const {
    for (const TDeviceConfig& device : devices)
        if (device.serial == serial) return &device;
    return nullptr;
}

namespace {

// "/x"; on Windows also a path with a drive ("C:/x") or a server's.
bool IsAbsolute(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end())).is_absolute() || path.starts_with('/');
}

[[noreturn]] void Fail(const std::string& where, const std::string& what) { throw TScenarioError(where + ": " + what); }

// Unknown keys are refused so that a misspelt field does not silently fall back to its default.
void CheckKeys(const json& object, std::initializer_list<const char*> known, const std::string& where) {
    if (!object.is_object()) Fail(where, "must be an object");
    for (const auto& [key, value] : object.items()) {
        bool found = key == "comment";
        for (const char* name : known) found = found || key == name;
        if (!found) Fail(where, "unknown field \"" + key + "\"");
    }
}

uint32_t Unsigned(const json& value, const std::string& where, uint32_t minimum = 0) {
    if (!value.is_number_integer() || value.get<int64_t>() < minimum || value.get<int64_t>() > UINT32_MAX)
        Fail(where, "must be an integer of at least " + std::to_string(minimum));
    return value.get<uint32_t>();
}

std::string Text(const json& value, const std::string& where) {
    if (!value.is_string()) Fail(where, "must be a string");
    return value.get<std::string>();
}

bool Flag(const json& value, const std::string& where) {
    if (!value.is_boolean()) Fail(where, "must be true or false");
    return value.get<bool>();
}

// A string, or null for silence.
std::optional<std::string> ReplyText(const json& value, const std::string& where) {
    if (value.is_null()) return std::nullopt;
    return Text(value, where);
}

uint32_t ProcessorId(const json& value, const std::string& where) {
    if (value.is_number_integer()) return Unsigned(value, where);
    std::string text = Text(value, where);
    if (text.starts_with("0x") || text.starts_with("0X")) text = text.substr(2);
    if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        Fail(where, "must be a hexadecimal identifier such as \"0x26013F37\"");
    return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
}

TTiming Timing(const json& value, const std::string& where) {
    if (value.is_string()) {
        if (value == "realistic") return RealisticTiming();
        if (value == "zero") return {};
        Fail(where, "must be \"realistic\", \"zero\" or an object");
    }
    CheckKeys(value, {"frameMs", "eraseMs", "eraseLargeMs", "partMs", "textMs", "frameIdleMs"}, where);
    TTiming timing;
    auto field = [&](const char* key, uint32_t& target) {
        if (value.contains(key)) target = Unsigned(value[key], where + "." + key);
    };
    field("frameMs", timing.frameMs);
    field("eraseMs", timing.eraseSmallMs);
    timing.eraseLargeMs = timing.eraseSmallMs;
    field("eraseLargeMs", timing.eraseLargeMs);
    field("partMs", timing.partMs);
    field("textMs", timing.textMs);
    field("frameIdleMs", timing.frameIdleMs);
    return timing;
}

TFault Fault(const json& value, const std::string& where) {
    if (!value.is_object() || !value.contains("kind")) Fail(where, "must be an object with a \"kind\"");
    const std::string kind = Text(value["kind"], where + ".kind");
    TFault fault;
    auto optional = [&](const char* key, auto read) {
        if (value.contains(key)) read(value[key], where + "." + key);
    };
    if (kind == "refuseOpen") {
        CheckKeys(value, {"kind", "from", "count"}, where);
        fault.kind = TFaultKind::RefuseOpen;
        fault.count = 0;
        optional("from", [&](const json& v, const std::string& w) { fault.first = Unsigned(v, w, 1); });
        optional("count", [&](const json& v, const std::string& w) { fault.count = Unsigned(v, w, 1); });
        return fault;
    }
    if (kind == "partialChunk") {
        CheckKeys(value, {"kind", "write", "bytes", "count"}, where);
        fault.kind = TFaultKind::PartialChunk;
        if (!value.contains("write") || !value.contains("bytes")) Fail(where, "needs \"write\" and \"bytes\"");
        fault.first = Unsigned(value["write"], where + ".write", 1);
        fault.bytes = Unsigned(value["bytes"], where + ".bytes");
        optional("count", [&](const json& v, const std::string& w) { fault.count = Unsigned(v, w, 1); });
        return fault;
    }
    if (kind == "hang") {
        CheckKeys(value, {"kind", "read", "write", "ms", "count"}, where);
        fault.kind = TFaultKind::Hang;
        if (value.contains("read") == value.contains("write")) Fail(where, "needs either \"read\" or \"write\"");
        if (!value.contains("ms")) Fail(where, "needs \"ms\"");
        fault.call = value.contains("read") ? TCallKind::Read : TCallKind::Write;
        const char* call = fault.call == TCallKind::Read ? "read" : "write";
        fault.first = Unsigned(value[call], where + "." + call, 1);
        fault.hangMs = Unsigned(value["ms"], where + ".ms", 1);
        optional("count", [&](const json& v, const std::string& w) { fault.count = Unsigned(v, w, 1); });
        return fault;
    }
    const std::pair<const char*, TFaultKind> replyKinds[] = {
        {"drop", TFaultKind::Drop},           {"shorten", TFaultKind::Shorten}, {"corrupt", TFaultKind::Corrupt},
        {"wrongEcho", TFaultKind::WrongEcho}, {"split", TFaultKind::Split},     {"noPayload", TFaultKind::NoPayload}};
    bool known = false;
    for (const auto& [name, k] : replyKinds) {
        if (kind == name) {
            fault.kind = k;
            known = true;
        }
    }
    if (!known) Fail(where, "unknown fault kind \"" + kind + "\"");
    CheckKeys(value, {"kind", "reply", "command", "bytes", "gapMs", "count"}, where);
    if (!value.contains("reply")) Fail(where, "needs \"reply\"");
    fault.first = Unsigned(value["reply"], where + ".reply", 1);
    optional("count", [&](const json& v, const std::string& w) { fault.count = Unsigned(v, w, 1); });
    optional("bytes", [&](const json& v, const std::string& w) { fault.bytes = Unsigned(v, w); });
    optional("gapMs", [&](const json& v, const std::string& w) { fault.gapMs = Unsigned(v, w); });
    optional("command", [&](const json& v, const std::string& w) {
        if (v == "text") {
            fault.filter = TReplyFilter::Text;
        } else {
            const uint32_t command = Unsigned(v, w);
            if (command > 0xFFFF) Fail(w, "must be a command number or \"text\"");
            fault.filter = TReplyFilter::Command;
            fault.command = static_cast<uint16_t>(command);
        }
    });
    return fault;
}

TDeviceConfig Device(const json& value, const std::string& where, const std::optional<TTiming>& worldTiming,
                     const std::string& baseFolder) {
    CheckKeys(value,
              {"serial", "library", "description", "mode", "firmware", "firmwareAfterWrite", "bootloader", "processor",
               "plugged", "listings", "protectedSectors", "locked", "startReply", "versionReply", "timing", "faults",
               "flash"},
              where);
    TDeviceConfig device;
    if (!value.contains("serial")) Fail(where, "needs a \"serial\"");
    device.serial = Text(value["serial"], where + ".serial");
    const std::string library = value.contains("library") ? Text(value["library"], where + ".library") : "ftdi";
    if (library == "ftdi") {
        device.library = TLibrary::Ftdi;
    } else if (library == "om") {
        device.library = TLibrary::Om;
    } else {
        Fail(where + ".library", "must be \"ftdi\" or \"om\"");
    }
    // Serials go into fixed-size listing fields and into the space-separated trace.
    const size_t longest = device.library == TLibrary::Ftdi ? 15 : 20;
    if (device.serial.empty() || device.serial.size() > longest)
        Fail(where + ".serial", "must have 1 to " + std::to_string(longest) + " characters");
    for (unsigned char c : device.serial)
        if (c <= ' ' || c == 0x7F) Fail(where + ".serial", "must not contain spaces or control characters");

    auto optional = [&](const char* key, auto read) {
        if (value.contains(key)) read(value[key], where + "." + key);
    };
    optional("description", [&](const json& v, const std::string& w) {
        device.description = Text(v, w);
        if (device.description.size() > 63) Fail(w, "must have at most 63 characters");
    });
    optional("mode", [&](const json& v, const std::string& w) {
        auto mode = ParseMode(Text(v, w));
        if (!mode) Fail(w, "must be \"bootloader\", \"application\" or \"silent\"");
        device.mode = *mode;
    });
    optional("firmware", [&](const json& v, const std::string& w) { device.firmware = Text(v, w); });
    optional("firmwareAfterWrite",
             [&](const json& v, const std::string& w) { device.firmwareAfterWrite = Text(v, w); });
    optional("bootloader", [&](const json& v, const std::string& w) { device.bootloader = Text(v, w); });
    optional("processor", [&](const json& v, const std::string& w) { device.processor = ProcessorId(v, w); });
    optional("plugged", [&](const json& v, const std::string& w) { device.plugged = Flag(v, w); });
    optional("listings", [&](const json& v, const std::string& w) { device.listings = Unsigned(v, w); });
    optional("locked", [&](const json& v, const std::string& w) { device.locked = Flag(v, w); });
    optional("protectedSectors", [&](const json& v, const std::string& w) {
        if (!v.is_array()) Fail(w, "must be a list of sector numbers");
        for (const json& sector : v) device.protectedSectors.insert(Unsigned(sector, w));
    });
    optional("startReply", [&](const json& v, const std::string& w) { device.startReply = ReplyText(v, w); });
    device.versionReply = device.firmware;
    optional("versionReply", [&](const json& v, const std::string& w) { device.versionReply = ReplyText(v, w); });
    if (worldTiming) device.timing = *worldTiming;
    optional("timing", [&](const json& v, const std::string& w) { device.timing = Timing(v, w); });
    optional("faults", [&](const json& v, const std::string& w) {
        if (!v.is_array()) Fail(w, "must be a list");
        for (size_t i = 0; i < v.size(); ++i) device.faults.push_back(Fault(v[i], w + "[" + std::to_string(i) + "]"));
    });
    optional("flash", [&](const json& v, const std::string& w) {
        device.flashPath = Text(v, w);
        if (!IsAbsolute(device.flashPath)) device.flashPath = baseFolder + "/" + device.flashPath;
    });
    return device;
}

TListingFaults ListingFaults(const json& value, const std::string& where, bool descriptions) {
    if (descriptions) {
        CheckKeys(value, {"failListing", "emptyDescriptions"}, where);
    } else {
        CheckKeys(value, {"failListing"}, where);
    }
    TListingFaults faults;
    if (value.contains("failListing")) {
        if (!value["failListing"].is_array()) Fail(where + ".failListing", "must be a list of call numbers");
        for (const json& call : value["failListing"]) faults.failListing.insert(Unsigned(call, where, 1));
    }
    if (value.contains("emptyDescriptions"))
        faults.emptyDescriptions = Unsigned(value["emptyDescriptions"], where + ".emptyDescriptions");
    return faults;
}

}  // namespace

TScenario ParseScenario(const std::string& text, const std::string& baseFolder) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::exception& e) {
        throw TScenarioError(std::string("not valid JSON: ") + e.what());
    }
    CheckKeys(root, {"devices", "timing", "ftdi", "om", "trace"}, "scenario");
    TScenario scenario;
    std::optional<TTiming> worldTiming;
    if (root.contains("timing")) worldTiming = Timing(root["timing"], "timing");
    if (root.contains("ftdi")) scenario.ftdi = ListingFaults(root["ftdi"], "ftdi", true);
    if (root.contains("om")) scenario.om = ListingFaults(root["om"], "om", false);
    if (root.contains("trace")) {
        scenario.trace = Text(root["trace"], "trace");
        if (!scenario.trace.empty() && !IsAbsolute(scenario.trace)) scenario.trace = baseFolder + "/" + scenario.trace;
    }
    if (root.contains("devices")) {
        const json& devices = root["devices"];
        if (!devices.is_array()) Fail("devices", "must be a list");
        for (size_t i = 0; i < devices.size(); ++i) {
            TDeviceConfig device = Device(devices[i], "devices[" + std::to_string(i) + "]", worldTiming, baseFolder);
            if (scenario.Find(device.serial)) Fail("devices[" + std::to_string(i) + "]", "serial used twice");
            scenario.devices.push_back(std::move(device));
        }
    }
    return scenario;
}

TScenario LoadScenario(const std::string& path) {
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    if (!in) throw TScenarioError("cannot read scenario file " + path);
    std::stringstream text;
    text << in.rdbuf();
    const size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    try {
        return ParseScenario(text.str(), folder);
    } catch (const TScenarioError& e) {
        throw TScenarioError(path + ": " + e.what());
    }
}

}  // namespace zvsim
