#include "core/EventLog.h"

#include <ctime>

#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/LocalTime.h"
#include "platform/Text.h"

namespace zv {

TLocalTime LocalTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(when);
    const TCalendarTime calendar = LocalCalendarTime(seconds);
    TLocalTime local{calendar.fields, 0, calendar.utcOffsetSeconds};
    // Milliseconds of the same second that to_time_t truncated to; floor keeps
    // times before 1970 right too.
    local.milliseconds =
        static_cast<int>(duration_cast<milliseconds>(when - floor<std::chrono::seconds>(when)).count());
    return local;
}

std::string DevicePrefix(int32_t serialNumber) {
    if (serialNumber == 0) return "Прибор -------\t";
    return Format("Прибор %7d\t", serialNumber);
}

std::string LogLine(int32_t serialNumber, std::string_view body) {
    std::string line = DevicePrefix(serialNumber);
    line.append(body);
    return line;
}

std::string DailyFileName(std::chrono::system_clock::time_point when, std::string_view extension) {
    const std::tm t = LocalTime(when).fields;
    return Format("%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) + std::string(extension);
}

std::string DailyLogFileName(std::chrono::system_clock::time_point when) { return DailyFileName(when, ".log"); }

std::string LogFileRecord(std::chrono::system_clock::time_point when, std::string_view line) {
    const TLocalTime local = LocalTime(when);
    const std::tm& t = local.fields;
    std::string record = Format("[%02d.%02d.%04d %02d:%02d:%02d.%03d]\t", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
                                t.tm_hour, t.tm_min, t.tm_sec, local.milliseconds);
    record.append(line);
    record.append("\r\n");
    return Utf8ToCp1251(record);
}

void WriteLogFile(const std::filesystem::path& folder, std::string_view line,
                  std::chrono::system_clock::time_point when) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    // The file name and the record's stamp come from one reading of the
    // clock, so a line is never filed under the day before its own stamp.
    AppendToFile(folder / DailyLogFileName(when), LogFileRecord(when, line));
}

}  // namespace zv
