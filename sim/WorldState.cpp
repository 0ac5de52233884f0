#include "sim/WorldState.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace zvsim {

using nlohmann::json;

namespace {

std::string SystemError(const std::string& what) { return what + ": " + LastSystemError(); }

class TStateLock {
public:
    explicit TStateLock(const std::string& folder)
        : file(TFile::Open(folder + "/state.lock", TFile::TOpen::ReadWriteCreate)) {
        if (!file) throw std::runtime_error(SystemError("cannot open " + folder + "/state.lock"));
        if (!file.Lock()) throw std::runtime_error(SystemError("cannot lock " + folder + "/state.lock"));
    }

private:
    TFile file;  // closing it releases the lock
};

TStateFile ReadState(const std::string& path) {
    TStateFile state;
    // Read through the world's own file calls, which let the file be renamed
    // over meanwhile, as a writer in another process may.
    const TFile in = TFile::Open(path, TFile::TOpen::Read);
    if (!in) return state;
    std::stringstream text;
    char buffer[4096];
    for (int64_t n; (n = in.Read(buffer, sizeof buffer)) > 0;) text.write(buffer, n);
    try {
        const json root = json::parse(text.str());
        state.generation = root.at("generation").get<uint64_t>();
        for (const auto& [serial, entry] : root.at("devices").items()) {
            TPersisted device;
            device.plugged = entry.at("plugged").get<bool>();
            device.mode = ParseMode(entry.at("mode").get<std::string>()).value_or(TMode::Bootloader);
            device.bootAfterReplug = entry.at("bootAfterReplug").get<bool>();
            device.connection = entry.at("connection").get<uint64_t>();
            // Missing from the files of worlds made before writes changed the version.
            device.flashDone = entry.value("flashDone", false);
            state.devices[serial] = device;
        }
    } catch (const json::exception& e) {
        std::fprintf(stderr, "zvsim: %s is damaged (%s); starting it again from the scenario\n", path.c_str(),
                     e.what());
        return {};
    }
    return state;
}

void WriteAll(const TFile& file, const uint8_t* data, size_t size, uint64_t offset, const std::string& path) {
    if (!file.WriteAt(data, size, offset)) throw std::runtime_error(SystemError("cannot write " + path));
}

void WriteState(const std::string& folder, const TStateFile& state) {
    json devices = json::object();
    for (const auto& [serial, device] : state.devices) {
        devices[serial] = {{"plugged", device.plugged},
                           {"mode", ModeName(device.mode)},
                           {"bootAfterReplug", device.bootAfterReplug},
                           {"connection", device.connection},
                           {"flashDone", device.flashDone}};
    }
    const std::string text = json{{"generation", state.generation}, {"devices", devices}}.dump(2) + "\n";
    const std::string path = folder + "/state.json";
    const std::string temporary = path + ".new";
    TFile file = TFile::Open(temporary, TFile::TOpen::Truncate);
    if (!file) throw std::runtime_error(SystemError("cannot create " + temporary));
    WriteAll(file, reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, temporary);
    // File times tick coarsely; the sub-second part carries the generation so
    // that a reader comparing signatures sees every write, even two within
    // one tick.
    file.StampWriteTime(state.generation);
    file.Reset();
    if (!RenameOver(temporary, path)) throw std::runtime_error(SystemError("cannot replace " + path));
}

}  // namespace

std::string WorldFolderFromEnv() {
    const char* folder = std::getenv("ZVSIM_WORLD");
    if (folder && *folder) return folder;
    return TemporaryFolder() + "/zvsim-" + UserTag();
}

void EnsureFolder(const std::string& folder) {
    // Every parent in turn; a drive ("C:") or the root needs no making.
    for (size_t slash = folder.find_first_of("/\\", 1);; slash = folder.find_first_of("/\\", slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && part.back() != ':' && !MakeFolder(part))
            throw std::runtime_error(SystemError("cannot create folder " + part));
        if (slash == std::string::npos) break;
    }
}

TStateSignature StateSignature(const std::string& folder) { return StampOf(folder + "/state.json"); }

TStateFile TransactState(const std::string& folder, const TScenario& scenario,
                         const std::function<bool(TStateFile&)>& change, TStateSignature* stamp) {
    TStateLock lock(folder);
    TStateFile state = ReadState(folder + "/state.json");
    bool changed = false;
    for (const TDeviceConfig& device : scenario.devices) {
        if (state.devices.contains(device.serial)) continue;
        state.devices[device.serial] = {.plugged = device.plugged, .mode = device.mode};
        changed = true;
    }
    if (change && change(state)) changed = true;
    if (changed) {
        ++state.generation;
        WriteState(folder, state);
    }
    if (stamp) *stamp = StateSignature(folder);
    return state;
}

bool PlugDevice(TStateFile& state, const std::string& serial) {
    TPersisted& device = state.devices.at(serial);
    if (device.plugged) return false;
    device.plugged = true;
    ++device.connection;
    if (device.bootAfterReplug) {
        device.mode = TMode::Bootloader;
        device.bootAfterReplug = false;
    }
    return true;
}

bool UnplugDevice(TStateFile& state, const std::string& serial) {
    TPersisted& device = state.devices.at(serial);
    if (!device.plugged) return false;
    device.plugged = false;
    return true;
}

std::string FlashFilePath(const std::string& folder, const std::string& serial) {
    return folder + "/" + serial + ".flash";
}

TFile OpenFlashFile(const std::string& folder, const TDeviceConfig& device, uint32_t size,
                    std::vector<uint8_t>& flash) {
    const std::string path = FlashFilePath(folder, device.serial);
    TFile file = TFile::Open(path, TFile::TOpen::ReadWrite);
    bool rewrite = false;
    std::string source = path;
    if (!file) {
        if (!LastErrorWasMissingFile()) throw std::runtime_error(SystemError("cannot open " + path));
        file = TFile::Open(path, TFile::TOpen::ReadWriteCreate);
        if (!file) throw std::runtime_error(SystemError("cannot create " + path));
        rewrite = true;
        source = device.flashPath;
    }
    flash.assign(size, 0xFF);
    if (!source.empty()) {
        const TFile in = TFile::Open(source, TFile::TOpen::Read);
        if (!in) throw std::runtime_error(SystemError("cannot read " + source));
        size_t filled = 0;
        for (;;) {
            uint8_t buffer[65536];
            const int64_t n = in.Read(buffer, sizeof buffer);
            if (n < 0) throw std::runtime_error(SystemError("cannot read " + source));
            if (n == 0) break;
            const size_t take = std::min<size_t>(static_cast<size_t>(n), size - std::min<size_t>(filled, size));
            std::memcpy(flash.data() + filled, buffer, take);
            filled += static_cast<size_t>(n);
        }
        if (filled != size) rewrite = true;
    }
    if (rewrite) {
        if (!file.Resize(size)) throw std::runtime_error(SystemError("cannot resize " + path));
        WriteAll(file, flash.data(), flash.size(), 0, path);
    }
    return file;
}

void WriteFlash(const TFile& file, const std::vector<uint8_t>& flash, uint32_t offset, uint32_t size) {
    WriteAll(file, flash.data() + offset, size, offset, "flash file");
}

}  // namespace zvsim
