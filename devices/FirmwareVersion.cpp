#include "devices/FirmwareVersion.h"

#include <cmath>
#include <cstdio>

#include "platform/Format.h"

namespace zv {
namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
int64_t DaysFromEpoch(int year, int month, int day) {
    // Howard Hinnant's days_from_civil, shifted from 1970-01-01 to 1899-12-30.
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    int64_t z = days - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    const double days = static_cast<double>(DaysFromEpoch(year, month, day));
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    // Before the epoch the time of day counts away from zero, as the days do.
    result = days < 0 ? days - time : days + time;
    return true;
}

TDateTimeFields DecodeDateTime(TDateTime value) {
    // Outside 0001-01-01 .. 9999-12-31 a value is no date; show the epoch.
    if (!std::isfinite(value) || std::fabs(value) > 2958466.0) value = 0;
    const int64_t totalMs = std::llround(value * kMsPerDay);
    const int64_t days = totalMs / kMsPerDay;  // truncates toward zero
    const int64_t msOfDay = (totalMs < 0 ? -totalMs : totalMs) % kMsPerDay;
    TDateTimeFields f{};
    CivilFromDays(days, f.year, f.month, f.day);
    f.hour = static_cast<int>(msOfDay / 3600000);
    f.minute = static_cast<int>(msOfDay / 60000 % 60);
    f.second = static_cast<int>(msOfDay / 1000 % 60);
    f.millisecond = static_cast<int>(msOfDay % 1000);
    return f;
}

void TFirmwareVersion::reset() {
    name.clear();
    suffix.clear();
    number = 0;
    buildDate = 0;
}

bool TFirmwareVersion::parse(std::string_view text) {
    // The text is zero-terminated for the device; nothing after a NUL counts.
    if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    if (text == "Unknown") {
        name = "unk";
        number = 1;
        return true;
    }
    std::string_view rest = text;
    if (auto dash = text.find('-'); dash != std::string_view::npos) {
        name = std::string(text.substr(0, dash));
        rest = text.substr(dash + 1);
    } else {
        name.clear();
    }
    if (name.empty()) return false;

    const std::string restText(rest);
    int major = 0, minor = 0;
    if (std::sscanf(restText.c_str(), "%d.%d", &major, &minor) != 2) return false;
    number = static_cast<uint16_t>(static_cast<unsigned>(major) * 100u + static_cast<unsigned>(minor));

    size_t pos = 0;
    while (pos < rest.size() && ((rest[pos] >= '0' && rest[pos] <= '9') || rest[pos] == '.')) ++pos;
    if (pos < rest.size()) suffix = std::string(TrimBlanks(rest.substr(pos)));
    return true;
}

std::string TFirmwareVersion::formatVersion() const {
    if (name == "unk") return "Empty";
    if (number == 0) return "?????";
    if (suffix.empty()) return Format("%s-%d.%d", name.c_str(), number / 100, number % 100);
    return Format("%s-%d.%d%s", name.c_str(), number / 100, number % 100, suffix.c_str());
}

std::string TFirmwareVersion::formatDate() const {
    if (std::trunc(buildDate) == 0) return "неизвестна";
    const TDateTimeFields f = DecodeDateTime(buildDate);
    return Format("%02d-%02d-%04d %02d:%02d:%02d", f.day, f.month, f.year, f.hour, f.minute, f.second);
}

}  // namespace zv
