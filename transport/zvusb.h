/* The maker's USB device library: the C interface that the loader binds at
   run time and that any implementation of libzvusb.so exports. */
#ifndef ZV_TRANSPORT_ZVUSB_H
#define ZV_TRANSPORT_ZVUSB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t OM_STATUS; /* 0 = success */
typedef uint32_t OM_HANDLE; /* 0 = none */

#define OM_OK 0u
#define OM_LIST_ALL_DEVICES 0xFFFFu
#define OM_DEVICE_RECORD_SIZE 25
#define OM_RECORD_INDEX_OFFSET 2
#define OM_RECORD_SERIAL_OFFSET 4
#define OM_RECORD_SERIAL_SIZE 21

/* records: NULL or *count packed 25-byte records (bytes 2..3: the device's
   index, little-endian; bytes 4..24: its serial number, zero-terminated).
   On return *count is the number of devices; never more records are filled
   than were given. */
OM_STATUS OM_GetListDevices(uint32_t mask, void* records, uint32_t* count);
OM_STATUS OM_OpenDevice(uint16_t deviceIndex, const char* serial, OM_HANDLE* handle);
OM_STATUS OM_CloseDevice(OM_HANDLE* handle);
/* The bytes of one reply, at most `capacity`, or none once the read time-out
   given at open has passed. */
OM_STATUS OM_ReadNotTimeOut(OM_HANDLE handle, void* buffer, uint32_t capacity, uint32_t* received);
OM_STATUS OM_Write(OM_HANDLE handle, const void* data, uint32_t count, uint32_t* written);
OM_STATUS OM_Purge(OM_HANDLE handle, uint32_t mask);
OM_STATUS OM_SetTimeouts(OM_HANDLE handle, uint32_t readMs, uint32_t writeMs);

#ifdef __cplusplus
}
#endif

#endif
