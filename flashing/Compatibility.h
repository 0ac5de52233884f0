#pragma once
// Whether a firmware image may be written into a device, decided from the
// device's reported type and bootloader number and the image's version.

#include "devices/DevEntry.h"
#include "devices/FirmwareVersion.h"

namespace zv {

bool IsImageCompatible(const TFirmwareVersion& image, const TDevEntry& device);

}  // namespace zv
