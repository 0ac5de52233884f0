#pragma once
// What a thread waits on for an object of the platform to have news: a file
// descriptor that becomes readable on Linux, an event object that becomes
// signalled on Windows.

namespace zv {

#if defined(_WIN32)
using TWaitHandle = void*;  // HANDLE
inline constexpr TWaitHandle NO_WAIT_HANDLE = nullptr;
#else
using TWaitHandle = int;
inline constexpr TWaitHandle NO_WAIT_HANDLE = -1;
#endif

}  // namespace zv
