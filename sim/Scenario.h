#pragma once
// The scenario: which devices a world has and how they behave, read from JSON.

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace zvsim {

enum class TLibrary { Ftdi, Om };
enum class TMode { Bootloader, Application, Silent };

const char* LibraryName(TLibrary library);
const char* ModeName(TMode mode);
std::optional<TMode> ParseMode(const std::string& text);

struct TTiming {
    uint32_t frameMs = 0;        // every bootloader reply
    uint32_t eraseSmallMs = 0;   // added by an erase of a sector up to 4 KiB
    uint32_t eraseLargeMs = 0;   // added by an erase of a larger sector
    uint32_t partMs = 0;         // added by a 512-byte write
    uint32_t textMs = 0;         // every application-mode reply
    uint32_t frameIdleMs = 100;  // a partial frame idle this long is dropped
};

TTiming RealisticTiming();

enum class TFaultKind { Drop, Shorten, Corrupt, WrongEcho, Split, NoPayload, PartialChunk, RefuseOpen, Hang };

// Which replies a reply fault counts.
enum class TReplyFilter { All, Command, Text };

// Which driver calls a hang counts.
enum class TCallKind { Read, Write };

struct TFault {
    TFaultKind kind = TFaultKind::Drop;
    uint32_t first = 1;  // 1-based reply, read call, write call or open number
    uint32_t count = 1;  // refuseOpen: 0 means every open from `first` on
    TReplyFilter filter = TReplyFilter::All;
    uint16_t command = 0;
    std::optional<uint32_t> bytes;
    uint32_t gapMs = 20;
    TCallKind call = TCallKind::Write;
    uint32_t hangMs = 0;

    bool Covers(uint32_t number) const { return number >= first && number - first < count; }
    bool RefusesOpen(uint32_t open) const {
        return kind == TFaultKind::RefuseOpen && (count == 0 ? open >= first : Covers(open));
    }
};

struct TDeviceConfig {
    std::string serial;
    TLibrary library = TLibrary::Ftdi;
    std::string description = "Zelvia";
    TMode mode = TMode::Bootloader;
    std::string firmware;
    std::optional<std::string> firmwareAfterWrite;  // the version once a write is confirmed by CMD_FLASH_DONE
    std::string bootloader;
    uint32_t processor = 0x26013F37;
    bool plugged = true;
    uint32_t listings = 1;
    std::set<uint32_t> protectedSectors;
    bool locked = false;
    std::optional<std::string> startReply = "STARTED";  // nullopt: silence
    std::optional<std::string> versionReply;            // nullopt: silence
    TTiming timing;
    std::vector<TFault> faults;
    std::string flashPath;  // absolute, or empty
};

struct TListingFaults {
    std::set<uint32_t> failListing;
    uint32_t emptyDescriptions = 0;
};

struct TScenario {
    std::vector<TDeviceConfig> devices;
    TListingFaults ftdi;
    TListingFaults om;
    std::string trace;

    const TDeviceConfig* Find(const std::string& serial) const;
};

struct TScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Relative paths in the scenario are taken from `baseFolder`. Throws TScenarioError.
TScenario ParseScenario(const std::string& text, const std::string& baseFolder);
TScenario LoadScenario(const std::string& path);

}  // namespace zvsim
