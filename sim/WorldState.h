#pragma once
// The world folder: state.json, shared by every process of one world, and the
// devices' flash files. Read-modify-write of the state is guarded by a lock
// of state.lock.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/Scenario.h"
#include "sim/System.h"

namespace zvsim {

struct TPersisted {
    bool plugged = true;
    TMode mode = TMode::Bootloader;
    bool bootAfterReplug = false;
    uint64_t connection = 1;  // counts plug-ins, so that a handle of an earlier connection is recognised as dead
    bool flashDone = false;   // a write was confirmed by CMD_FLASH_DONE: the device runs firmwareAfterWrite
};

struct TStateFile {
    uint64_t generation = 0;
    std::map<std::string, TPersisted> devices;
};

// Cheap identity of the state file's current version.
using TStateSignature = TFileStamp;

// The folder named by ZVSIM_WORLD, or /tmp/zvsim-<uid> (%TEMP%\zvsim-<user>)
// when it is unset or empty.
std::string WorldFolderFromEnv();

// Creates the folder (and its parents) when missing. Throws std::runtime_error.
void EnsureFolder(const std::string& folder);

TStateSignature StateSignature(const std::string& folder);

// Reads state.json under an exclusive lock, adds the scenario's devices it
// lacks, lets `change` alter it (returning true when it did) and writes it back
// when anything changed. Returns the state as left in the file and, in
// `stamp`, that version's signature.
TStateFile TransactState(const std::string& folder, const TScenario& scenario,
                         const std::function<bool(TStateFile&)>& change = {}, TStateSignature* stamp = nullptr);

// Replugging: a device marked to run its bootloader after a replug does so.
bool PlugDevice(TStateFile& state, const std::string& serial);
bool UnplugDevice(TStateFile& state, const std::string& serial);

std::string FlashFilePath(const std::string& folder, const std::string& serial);

// The device's whole flash: <serial>.flash, created from the scenario's preload
// file or all 0xFF when missing, and padded with 0xFF or cut to `size`.
// Returns the file open for writing changes back. Throws std::runtime_error.
TFile OpenFlashFile(const std::string& folder, const TDeviceConfig& device, uint32_t size, std::vector<uint8_t>& flash);
// Writes `size` bytes of `flash` from `offset` back to the flash file.
void WriteFlash(const TFile& file, const std::vector<uint8_t>& flash, uint32_t offset, uint32_t size);

}  // namespace zvsim
