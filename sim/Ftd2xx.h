/* The FTDI D2XX entry points the simulator exports, declared from the
   vendor's published Linux interface (no vendor header is shipped). */
#ifndef ZVSIM_FTD2XX_H
#define ZVSIM_FTD2XX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef uint32_t ULONG;
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

FT_STATUS FT_ListDevices(PVOID pArg1, PVOID pArg2, DWORD Flags);
FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* pHandle);
FT_STATUS FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle);
FT_STATUS FT_Close(FT_HANDLE ftHandle);
FT_STATUS FT_ResetDevice(FT_HANDLE ftHandle);
FT_STATUS FT_Purge(FT_HANDLE ftHandle, ULONG Mask);
FT_STATUS FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpBytesReturned);
FT_STATUS FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpBytesWritten);
FT_STATUS FT_SetDivisor(FT_HANDLE ftHandle, USHORT Divisor);
FT_STATUS FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout);
FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate);
FT_STATUS FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID, PCHAR SerialNumber,
                           PCHAR Description, LPVOID Dummy);
FT_STATUS FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes, DWORD* dwEventDWord);
FT_STATUS FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes);
FT_STATUS FT_SetRts(FT_HANDLE ftHandle);
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits, UCHAR Parity);
FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar, UCHAR XoffChar);
FT_STATUS FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency);
FT_STATUS FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs);
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs);
FT_STATUS FT_Rescan(void);

#ifdef __cplusplus
}
#endif

#endif
