#pragma once
// The event log's lines and daily files: the device prefix every line starts
// with, and the file record each line becomes in the day's file.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "threading/Log.h"

namespace zv {

// "Прибор %7d\t", or "Прибор -------\t" for serial number 0 (no device).
std::string DevicePrefix(int32_t serialNumber);

// The whole line as the pane and the file show it.
std::string LogLine(int32_t serialNumber, std::string_view body);

// The local calendar fields of `when` and its milliseconds within the second,
// from one reading: what the log's stamps and the records' times are made of.
struct TLocalTime {
    std::tm fields;
    int milliseconds;
    long utcOffsetSeconds;
};
TLocalTime LocalTime(std::chrono::system_clock::time_point when);

// "YYYYMMDD" and `extension` (".log"), of the local date of `when`.
std::string DailyFileName(std::chrono::system_clock::time_point when, std::string_view extension);
// "YYYYMMDD.log" of the local date of `when`.
std::string DailyLogFileName(std::chrono::system_clock::time_point when);

// "[dd.mm.yyyy hh:mm:ss.zzz]\t" + line + "\r\n", in Windows-1251.
std::string LogFileRecord(std::chrono::system_clock::time_point when, std::string_view line);

// Appends one record to the day's file in `folder`, creating the folder first.
// A folder or file that cannot be made or opened only loses this record.
void WriteLogFile(const std::filesystem::path& folder, std::string_view line,
                  std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

}  // namespace zv
