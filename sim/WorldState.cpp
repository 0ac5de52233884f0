#include "sim/WorldState.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace zvsim {

using nlohmann::json;

namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

class TStateLock {
public:
    explicit TStateLock(const std::string& folder)
        : fd(::open((folder + "/state.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (!fd) throw std::runtime_error(SystemError("cannot open " + folder + "/state.lock"));
        while (::flock(fd.Get(), LOCK_EX) != 0)
            if (errno != EINTR) throw std::runtime_error(SystemError("cannot lock " + folder + "/state.lock"));
    }

private:
    TFd fd;  // closing it releases the lock
};

TStateFile ReadState(const std::string& path) {
    TStateFile state;
    std::ifstream in(path, std::ios::binary);
    if (!in) return state;
    std::stringstream text;
    text << in.rdbuf();
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

void WriteAll(int fd, const uint8_t* data, size_t size, off_t offset, const std::string& path) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(SystemError("cannot write " + path));
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
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
    TFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd) throw std::runtime_error(SystemError("cannot create " + temporary));
    WriteAll(fd.Get(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, temporary);
    // File times tick coarsely; the nanoseconds carry the generation so that a
    // reader comparing signatures sees every write, even two within one tick.
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_nsec = static_cast<long>(state.generation % 1000000000);
    times[1] = times[0];
    ::futimens(fd.Get(), times);
    fd.Reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0) throw std::runtime_error(SystemError("cannot replace " + path));
}

}  // namespace

std::string WorldFolderFromEnv() {
    const char* folder = std::getenv("ZVSIM_WORLD");
    if (folder && *folder) return folder;
    return "/tmp/zvsim-" + std::to_string(::getuid());
}

void EnsureFolder(const std::string& folder) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            throw std::runtime_error(SystemError("cannot create folder " + part));
        if (slash == std::string::npos) break;
    }
}

TStateSignature StateSignature(const std::string& folder) {
    struct stat info {};
    if (::stat((folder + "/state.json").c_str(), &info) != 0) return {};
    return {info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

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

TFd OpenFlashFile(const std::string& folder, const TDeviceConfig& device, uint32_t size, std::vector<uint8_t>& flash) {
    const std::string path = FlashFilePath(folder, device.serial);
    TFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    bool rewrite = false;
    std::string source = path;
    if (!fd) {
        if (errno != ENOENT) throw std::runtime_error(SystemError("cannot open " + path));
        fd = TFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (!fd) throw std::runtime_error(SystemError("cannot create " + path));
        rewrite = true;
        source = device.flashPath;
    }
    flash.assign(size, 0xFF);
    if (!source.empty()) {
        TFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
        if (!in) throw std::runtime_error(SystemError("cannot read " + source));
        size_t filled = 0;
        for (;;) {
            uint8_t buffer[65536];
            const ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw std::runtime_error(SystemError("cannot read " + source));
            if (n == 0) break;
            const size_t take = std::min<size_t>(static_cast<size_t>(n), size - std::min<size_t>(filled, size));
            std::memcpy(flash.data() + filled, buffer, take);
            filled += static_cast<size_t>(n);
        }
        if (filled != size) rewrite = true;
    }
    if (rewrite) {
        if (::ftruncate(fd.Get(), size) != 0) throw std::runtime_error(SystemError("cannot resize " + path));
        WriteAll(fd.Get(), flash.data(), flash.size(), 0, path);
    }
    return fd;
}

void WriteFlash(int fd, const std::vector<uint8_t>& flash, uint32_t offset, uint32_t size) {
    WriteAll(fd, flash.data() + offset, size, offset, "flash file");
}

}  // namespace zvsim
