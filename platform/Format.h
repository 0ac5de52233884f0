#pragma once
// printf-style formatting into a string of whatever length the text needs.

#include <cstdarg>
#include <string>

namespace zv {

// MinGW's C99 printf is checked as GNU's, not as the system's.
#if defined(__MINGW32__)
#define ZV_PRINTF_FORMAT gnu_printf
#else
#define ZV_PRINTF_FORMAT printf
#endif

std::string Format(const char* format, ...) __attribute__((format(ZV_PRINTF_FORMAT, 1, 2)));
std::string FormatV(const char* format, va_list args) __attribute__((format(ZV_PRINTF_FORMAT, 1, 0)));

}  // namespace zv
