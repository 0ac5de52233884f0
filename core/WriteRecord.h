#pragma once
// The production record of one write attempt: which unit got which image,
// when, and what came of it. Both front ends keep the same records, one JSON
// object per line in a file that is only ever appended to.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

namespace zv {

// What an attempt came to, as a record's "outcome" names it.
inline constexpr const char* OUTCOME_WRITTEN = "written";
inline constexpr const char* OUTCOME_FAILED = "failed";
inline constexpr const char* OUTCOME_INTERRUPTED = "interrupted";
inline constexpr const char* OUTCOME_SKIPPED = "skipped";  // the device already holds the image

struct TWriteRecord {
    int32_t serial = 0;
    std::string library;    // "ftdi" or "om"
    std::string processor;  // "0x26013F37"
    std::string firmwareBefore, bootloaderBefore;
    std::string image, imageDate, imageSha256;  // the image written, hashed whole
    std::string outcome;                        // one of the OUTCOME_ names
    int32_t code = 0;                           // the write's result code, 0 for success
    int32_t lastReplyCode = 0;
    std::string result;  // the panel's status text, as the window shows it
    std::string level;   // "normal", "success" or "error"
    bool interrupted = false;
    std::string started, finished;  // local time with its offset, ISO 8601
    int32_t elapsedMs = 0;
    int32_t sectorsWritten = 0, sectorsSkipped = 0, sectorsProtected = 0;
    // "not asked", "confirmed", "mismatch" or "no answer".
    std::string confirmation = "not asked";
    std::string versionAfter;  // what the started application reported
    int32_t attempt = 1;       // this device's writes started in this run, this one included
    std::string host, loaderVersion;
};

nlohmann::json RecordJson(const TWriteRecord& record);
// One line of a records file: the JSON object, UTF-8 as it is, and "\n".
std::string RecordLine(const TWriteRecord& record);

// "YYYYMMDD.jsonl" of the local date of `when`, beside the day's log file.
std::string DailyRecordFileName(std::chrono::system_clock::time_point when);

// "2026-12-09T14:03:27.512+03:00".
std::string LocalTimestamp(std::chrono::system_clock::time_point when);

// Appends the record's line in one write, so that a crash never leaves half a
// record. False with `error` set when the file cannot take it.
bool AppendRecord(const std::filesystem::path& file, const TWriteRecord& record, std::string& error);

}  // namespace zv
