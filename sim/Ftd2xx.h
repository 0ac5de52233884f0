/* The FTDI D2XX entry points the simulator exports, declared from the
   vendor's published interface (no vendor header is shipped): on Windows
   with unsigned long DWORD/ULONG and the WINAPI convention. */
#ifndef ZVSIM_FTD2XX_H
#define ZVSIM_FTD2XX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
typedef unsigned long DWORD;
typedef unsigned long ULONG;
#define FTAPI __stdcall
#else
typedef uint32_t DWORD;
typedef uint32_t ULONG;
#define FTAPI
#endif
typedef uint16_t USHORT;
typedef uint8_t UCHAR;
typedef void* PVOID;
typedef void* LPVOID;
typedef DWORD* LPDWORD;
typedef char* PCHAR;
typedef void* FT_HANDLE;
typedef ULONG FT_STATUS;
typedef ULONG FT_DEVICE;

enum {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

#define FT_OPEN_BY_SERIAL_NUMBER 1
#define FT_OPEN_BY_DESCRIPTION 2
#define FT_OPEN_BY_LOCATION 4

#define FT_LIST_NUMBER_ONLY 0x80000000u
#define FT_LIST_BY_INDEX 0x40000000u
#define FT_LIST_ALL 0x20000000u

#define FT_PURGE_RX 1
#define FT_PURGE_TX 2

#define FT_FLAGS_OPENED 1
#define FT_DEVICE_232R 5

typedef struct _ft_device_list_info_node {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
} FT_DEVICE_LIST_INFO_NODE;

FT_STATUS FTAPI FT_ListDevices(PVOID pArg1, PVOID pArg2, DWORD Flags);
FT_STATUS FTAPI FT_Open(int deviceNumber, FT_HANDLE* pHandle);
FT_STATUS FTAPI FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle);
FT_STATUS FTAPI FT_Close(FT_HANDLE ftHandle);
FT_STATUS FTAPI FT_ResetDevice(FT_HANDLE ftHandle);
FT_STATUS FTAPI FT_Purge(FT_HANDLE ftHandle, ULONG Mask);
FT_STATUS FTAPI FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpBytesReturned);
FT_STATUS FTAPI FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpBytesWritten);
FT_STATUS FTAPI FT_SetDivisor(FT_HANDLE ftHandle, USHORT Divisor);
FT_STATUS FTAPI FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout);
FT_STATUS FTAPI FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate);
FT_STATUS FTAPI FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID, PCHAR SerialNumber,
                                 PCHAR Description, LPVOID Dummy);
FT_STATUS FTAPI FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes, DWORD* dwEventDWord);
FT_STATUS FTAPI FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes);
FT_STATUS FTAPI FT_SetRts(FT_HANDLE ftHandle);
FT_STATUS FTAPI FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits, UCHAR Parity);
FT_STATUS FTAPI FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar, UCHAR XoffChar);
FT_STATUS FTAPI FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency);
FT_STATUS FTAPI FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs);
FT_STATUS FTAPI FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs);
FT_STATUS FTAPI FT_Rescan(void);

#ifdef __cplusplus
}
#endif

#endif
