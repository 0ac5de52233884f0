#pragma once
// Our declarations of the FTDI D2XX interface as the vendor publishes it: on
// Linux plain C calling convention and 32-bit DWORD/ULONG; on Windows the
// WINAPI convention and unsigned long, 32 bits there too. FT_HANDLE is a
// pointer on both.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define ZV_FTAPI __stdcall
#else
#define ZV_FTAPI
#endif

namespace zv::ftdi {

#if defined(_WIN32)
using FT_STATUS = unsigned long;
using DWORD = unsigned long;
using ULONG = unsigned long;
#else
using FT_STATUS = uint32_t;
using DWORD = uint32_t;
using ULONG = uint32_t;
#endif
using FT_HANDLE = void*;
using USHORT = uint16_t;
using UCHAR = uint8_t;

constexpr FT_STATUS FT_OK = 0;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;

struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};
// The vendor's layout on 64-bit Linux and Windows alike.
static_assert(sizeof(DWORD) == 4 && sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "the vendor's 64-bit layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32, "the vendor's 64-bit layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96, "the vendor's 64-bit layout");

extern "C" {
using FT_ListDevices_t = FT_STATUS(ZV_FTAPI*)(void* arg1, void* arg2, DWORD flags);
using FT_Open_t = FT_STATUS(ZV_FTAPI*)(int deviceNumber, FT_HANDLE* handle);
using FT_Close_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle);
using FT_ResetDevice_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle);
using FT_Purge_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, ULONG mask);
using FT_Read_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned);
using FT_Write_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
using FT_SetDivisor_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, USHORT divisor);
using FT_SetTimeouts_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout);
using FT_SetBaudRate_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, ULONG baudRate);
using FT_GetDeviceInfo_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, ULONG* device, DWORD* id, char* serialNumber,
                                                char* description, void* dummy);
using FT_GetStatus_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventDWord);
using FT_GetQueueStatus_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, DWORD* rxBytes);
using FT_SetRts_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle);
using FT_SetDataCharacteristics_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                                         UCHAR parity);
using FT_SetFlowControl_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff);
using FT_SetLatencyTimer_t = FT_STATUS(ZV_FTAPI*)(FT_HANDLE handle, UCHAR latency);
using FT_CreateDeviceInfoList_t = FT_STATUS(ZV_FTAPI*)(DWORD* numDevices);
using FT_GetDeviceInfoList_t = FT_STATUS(ZV_FTAPI*)(FT_DEVICE_LIST_INFO_NODE* list, DWORD* numDevices);
using FT_OpenEx_t = FT_STATUS(ZV_FTAPI*)(void* arg1, DWORD flags, FT_HANDLE* handle);
using FT_Rescan_t = FT_STATUS(ZV_FTAPI*)();
}

}  // namespace zv::ftdi
