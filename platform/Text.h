#pragma once
// Conversions between the program's UTF-8 text and the Windows-1251 bytes
// that devices, image files and the daily log file carry.

#include <string>
#include <string_view>

namespace zv {

// Bytes without a Windows-1251 character (0x98) become U+FFFD, so a device's
// text is never dropped.
std::string Cp1251ToUtf8(std::string_view cp1251);

// Characters without a Windows-1251 byte become '?'; invalid UTF-8 too.
std::string Utf8ToCp1251(std::string_view utf8);

// Lower-cases Latin and Cyrillic letters the way the Windows-1251 locale does;
// every other character passes unchanged.
std::string LowerCaseText(std::string_view utf8);

}  // namespace zv
