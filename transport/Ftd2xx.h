#pragma once
// Our declarations of the FTDI D2XX interface as the vendor publishes it for
// Linux: plain C calling convention, 32-bit DWORD/ULONG, FT_HANDLE a pointer.

#include <cstdint>

namespace zv::ftdi {

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;
using DWORD = uint32_t;
using ULONG = uint32_t;
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
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "the vendor's Linux layout on x86_64");

extern "C" {
using FT_ListDevices_t = FT_STATUS (*)(void* arg1, void* arg2, DWORD flags);
using FT_Open_t = FT_STATUS (*)(int deviceNumber, FT_HANDLE* handle);
using FT_Close_t = FT_STATUS (*)(FT_HANDLE handle);
using FT_ResetDevice_t = FT_STATUS (*)(FT_HANDLE handle);
using FT_Purge_t = FT_STATUS (*)(FT_HANDLE handle, ULONG mask);
using FT_Read_t = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned);
using FT_Write_t = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
using FT_SetDivisor_t = FT_STATUS (*)(FT_HANDLE handle, USHORT divisor);
using FT_SetTimeouts_t = FT_STATUS (*)(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout);
using FT_SetBaudRate_t = FT_STATUS (*)(FT_HANDLE handle, ULONG baudRate);
using FT_GetDeviceInfo_t = FT_STATUS (*)(FT_HANDLE handle, ULONG* device, DWORD* id, char* serialNumber,
                                         char* description, void* dummy);
using FT_GetStatus_t = FT_STATUS (*)(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventDWord);
using FT_GetQueueStatus_t = FT_STATUS (*)(FT_HANDLE handle, DWORD* rxBytes);
using FT_SetRts_t = FT_STATUS (*)(FT_HANDLE handle);
using FT_SetDataCharacteristics_t = FT_STATUS (*)(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity);
using FT_SetFlowControl_t = FT_STATUS (*)(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff);
using FT_SetLatencyTimer_t = FT_STATUS (*)(FT_HANDLE handle, UCHAR latency);
using FT_CreateDeviceInfoList_t = FT_STATUS (*)(DWORD* numDevices);
using FT_GetDeviceInfoList_t = FT_STATUS (*)(FT_DEVICE_LIST_INFO_NODE* list, DWORD* numDevices);
using FT_OpenEx_t = FT_STATUS (*)(void* arg1, DWORD flags, FT_HANDLE* handle);
using FT_Rescan_t = FT_STATUS (*)();
}

}  // namespace zv::ftdi
