#pragma once
// Run-time binding of the two USB driver libraries. A non-null library handle
// is the one sign that a library is usable; it is published only after every
// entry point has been stored, so a worker that sees the handle sees them all.

#include <atomic>
#include <string>

#include "transport/Ftd2xx.h"
#include "transport/zvusb.h"

namespace zv {

#if defined(_WIN32)
inline constexpr const char* FTDI_LIBRARY_FILE = "ftd2xx.dll";
inline constexpr const char* OM_LIBRARY_FILE = "ZVUSB.dll";
#else
inline constexpr const char* FTDI_LIBRARY_FILE = "libftd2xx.so";
inline constexpr const char* OM_LIBRARY_FILE = "libzvusb.so";
#endif

// Entry points, in the order they are looked up. Written only by the binding.
struct TFtdiEntryPoints {
    ftdi::FT_ListDevices_t FT_ListDevices;
    ftdi::FT_Open_t FT_Open;
    ftdi::FT_Close_t FT_Close;
    ftdi::FT_ResetDevice_t FT_ResetDevice;
    ftdi::FT_Purge_t FT_Purge;
    ftdi::FT_Read_t FT_Read;
    ftdi::FT_Write_t FT_Write;
    ftdi::FT_SetDivisor_t FT_SetDivisor;
    ftdi::FT_SetTimeouts_t FT_SetTimeouts;
    ftdi::FT_SetBaudRate_t FT_SetBaudRate;
    ftdi::FT_GetDeviceInfo_t FT_GetDeviceInfo;
    ftdi::FT_GetStatus_t FT_GetStatus;
    ftdi::FT_GetQueueStatus_t FT_GetQueueStatus;
    ftdi::FT_SetRts_t FT_SetRts;
    ftdi::FT_SetDataCharacteristics_t FT_SetDataCharacteristics;
    ftdi::FT_SetFlowControl_t FT_SetFlowControl;
    ftdi::FT_SetLatencyTimer_t FT_SetLatencyTimer;
    ftdi::FT_CreateDeviceInfoList_t FT_CreateDeviceInfoList;
    ftdi::FT_GetDeviceInfoList_t FT_GetDeviceInfoList;
    ftdi::FT_OpenEx_t FT_OpenEx;
    ftdi::FT_Rescan_t FT_Rescan;
};

struct TOmEntryPoints {
    decltype(&::OM_GetListDevices) OM_GetListDevices;
    decltype(&::OM_OpenDevice) OM_OpenDevice;
    decltype(&::OM_CloseDevice) OM_CloseDevice;
    decltype(&::OM_ReadNotTimeOut) OM_ReadNotTimeOut;
    decltype(&::OM_Write) OM_Write;
    decltype(&::OM_Purge) OM_Purge;
    decltype(&::OM_SetTimeouts) OM_SetTimeouts;
};

extern TFtdiEntryPoints Ftdi;
extern TOmEntryPoints Om;

// Process-wide library handles; null while unbound. Never released once set.
extern std::atomic<void*> FtdiLibrary;
extern std::atomic<void*> OmLibrary;

// Load the library by bare file name and look up every entry point; at the
// first one missing the library is released. Return the handle or null. The
// caller publishes the handle (BindDriverLibraries does).
void* LoadFtdiLibrary();
void* LoadOmLibrary(std::string& omLibraryName);

struct TBindingResult {
    bool ftdiBound;
    bool omBound;
};

// Binds each library that is not bound yet and publishes its handle; a failed
// binding is tried again at the next call.
TBindingResult BindDriverLibraries(std::string& omLibraryName);

}  // namespace zv
