#pragma once
// printf-style formatting into a string of whatever length the text needs.

#include <cstdarg>
#include <string>

namespace zv {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace zv
