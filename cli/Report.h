#pragma once
// The JSON report: the production record of every write attempt and one per targeted device
// that was never written, saved whole after every change so that a flasher
// that is killed leaves every finished attempt on disk.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/WriteRecord.h"

namespace zv::cli {

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

    std::vector<TWriteRecord> attempts;
    std::vector<TMissedRecord> notWritten;
    bool interrupted = false;  // ended by a signal or a close message

private:
    std::string command_;
};

}  // namespace zv::cli
