#pragma once
// The JSON report: one record per write attempt and one per targeted device
// that was never written, saved whole after every change so that a flasher
// that is killed leaves every finished attempt on disk.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zv::cli {

struct TAttemptRecord {
    int32_t serial = 0;
    std::string library;  // "ftdi" or "om"
    std::string firmwareBefore, bootloaderBefore, processor;
    std::string image;   // version of the image written
    int32_t code = 0;    // the write's result code, 0 for success
    std::string result;  // the panel's status text, as the window shows it
    std::string level;   // "normal", "success" or "error"
    bool interrupted = false;
    int32_t elapsedMs = 0;
    int32_t sectorsWritten = 0;
    int32_t sectorsSkipped = 0;
    std::string finished;  // UTC, ISO 8601
};

// A targeted device that was not written at all.
struct TMissedRecord {
    int32_t serial = 0;
    std::string library;  // empty when the device was not found
    std::string reason;
};

class TReport {
public:
    explicit TReport(std::string command) : command_(std::move(command)) {}

    // Writes the report to a temporary file beside `file` and renames it over
    // `file`, so a reader never sees half a report. False with `error` set
    // when it could not be saved.
    bool Save(const std::filesystem::path& file, std::string& error) const;
    std::string Json() const;

    std::vector<TAttemptRecord> attempts;
    std::vector<TMissedRecord> notWritten;
    bool interrupted = false;  // ended by a signal or a close message

private:
    std::string command_;
};

// Now, as the records' "finished" field gives it.
std::string UtcTimestamp();

}  // namespace zv::cli
