#pragma once
// The version record: one firmware or bootloader version as the loader
// compares and shows it (type name, packed number, suffix, build date).

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// A date and time as whole days since 30-12-1899 plus the fraction of the day,
// the form image build dates are kept in.
using TDateTime = double;

// Encodes a calendar date and time; nullopt-like false when the fields do not
// form a valid date and time (years 1..9999).
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, TDateTime& result);

struct TDateTimeFields {
    int year, month, day, hour, minute, second, millisecond;
};
TDateTimeFields DecodeDateTime(TDateTime value);

class TFirmwareVersion {
public:
    std::string name;    // type identifier, e.g. "ZVOM"; "unk" for "Unknown"
    std::string suffix;  // text after the number, blanks trimmed, e.g. "TR"
    TDateTime buildDate = 0;
    uint16_t number = 0;  // major * 100 + minor; 0 when no number was read

    void reset();

    // Fills the record from a version text such as "ZVOM-1.04 TR". Fields the
    // text does not supply keep their values; the record is not reset first.
    bool parse(std::string_view text);

    std::string formatVersion() const;
    std::string formatDate() const;
};

}  // namespace zv
